#pragma once
// TVLMarkerList: the JPEG markers kept from a file and written back. Each entry is the
// marker type (the second byte of the marker: 0xE0 + n for APPn, 0xFE for COM) and an own
// copy of its data, without the marker and length bytes.

#include <cstddef>
#include <cstdint>
#include <vector>

class TVLMarkerList {
 public:
  // A marker segment holds at most this many data bytes (its 16-bit length counts itself).
  static constexpr size_t kMaxMarkerData = 65533;

  int32_t Count() const { return int32_t(FEntries.size()); }
  // Out-of-range indexes give 0 / nullptr / 0.
  uint8_t EntryType(int32_t Index) const;
  const uint8_t* EntryData(int32_t Index) const;
  int32_t EntryLength(int32_t Index) const;
  const std::vector<uint8_t>* EntryBytes(int32_t Index) const;
  // Index of the first entry of that type, -1 when none.
  int32_t FindType(uint8_t Type) const;
  // Appends a copy; returns its index. Data longer than a marker segment can hold
  // (kMaxMarkerData) is refused: nothing is added and -1 is returned. Data may be null when
  // Length is 0.
  int32_t AppendEntry(uint8_t Type, const uint8_t* Data, size_t Length);
  // Replaces an entry (type and data); out-of-range indexes and oversized data do nothing
  // (returns false).
  bool ReplaceEntry(int32_t Index, uint8_t Type, const uint8_t* Data, size_t Length);
  // Inserts a copy before Index (Index == Count appends); returns its index or -1.
  int32_t InsertEntry(int32_t Index, uint8_t Type, const uint8_t* Data, size_t Length);
  void RemoveEntry(int32_t Index);
  void Clear() { FEntries.clear(); }
  // Clears, then copies every entry of Source in order; nothing happens without a Source.
  void Assign(const TVLMarkerList* Source);
  void Assign(const TVLMarkerList& Source) { Assign(&Source); }

 private:
  struct TEntry {
    uint8_t Type = 0;
    std::vector<uint8_t> Data;
  };
  bool ValidIndex(int32_t Index) const { return Index >= 0 && Index < Count(); }
  std::vector<TEntry> FEntries;
};
