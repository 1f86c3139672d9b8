#pragma once
// TVLIPTCInfoList: IPTC (IIM) records, with their encoding in a JPEG APP13 block (with the
// Photoshop header) and in a TIFF tag (with a leading record-version record).
//
// One record is 0x1C, record number, dataset number, then a 16-bit big-endian length when
// it is below 32768 (5 header bytes), otherwise 0x80 0x04 and a 32-bit big-endian length
// (9 header bytes), then the data.

#include <cstddef>
#include <cstdint>
#include <vector>

class TVLIPTCInfoList {
 public:
  struct TRecord {
    uint8_t Record = 0;
    uint8_t Dataset = 0;
    std::vector<uint8_t> Data;
  };

  int32_t Count() const { return int32_t(FRecords.size()); }
  const TRecord& Item(int32_t Index) const { return FRecords.at(size_t(Index)); }
  // Index of the first record with these numbers, -1 when none.
  int32_t IndexOf(uint8_t Record, uint8_t Dataset) const;

  // True after any change through the editing operations; cleared by DecodeRecords.
  bool EditedSinceRead() const { return FEditedSinceRead; }
  void SetEditedSinceRead(bool Value) { FEditedSinceRead = Value; }

  void AppendRecord(uint8_t Record, uint8_t Dataset, const uint8_t* Data, size_t Length);
  void RemoveRecord(int32_t Index);
  void Clear();
  void Assign(const TVLIPTCInfoList& Source);

  // Replaces the list with the records found in Data: decoding starts at the first 0x1C
  // byte and stops at the first byte that is not 0x1C or at a record whose data does not lie
  // inside Data. In a Photoshop resource block only the IPTC resource (0x0404) is decoded.
  void DecodeRecords(const uint8_t* Data, size_t Length);
  // Encodes the list: with the Photoshop header as a complete APP13 block, otherwise as the
  // block stored in a TIFF tag. Records (2, 0) and empty records are left out; an odd total
  // is padded with a zero byte. An empty list gives no bytes.
  std::vector<uint8_t> EncodeRecords(bool WithPhotoshopHeader) const;

 private:
  std::vector<TRecord> FRecords;
  bool FEditedSinceRead = false;
};
