// The list of JPEG markers kept with an image.

#include "imaging/model/marker_list.h"

namespace {

std::vector<uint8_t> CopyOf(const uint8_t* Data, size_t Length) {
  if (Data == nullptr || Length == 0) return {};
  return std::vector<uint8_t>(Data, Data + Length);
}

}  // namespace

uint8_t TVLMarkerList::EntryType(int32_t Index) const {
  return ValidIndex(Index) ? FEntries[size_t(Index)].Type : 0;
}

const uint8_t* TVLMarkerList::EntryData(int32_t Index) const {
  return ValidIndex(Index) ? FEntries[size_t(Index)].Data.data() : nullptr;
}

int32_t TVLMarkerList::EntryLength(int32_t Index) const {
  return ValidIndex(Index) ? int32_t(FEntries[size_t(Index)].Data.size()) : 0;
}

const std::vector<uint8_t>* TVLMarkerList::EntryBytes(int32_t Index) const {
  return ValidIndex(Index) ? &FEntries[size_t(Index)].Data : nullptr;
}

int32_t TVLMarkerList::FindType(uint8_t Type) const {
  for (size_t i = 0; i < FEntries.size(); ++i)
    if (FEntries[i].Type == Type) return int32_t(i);
  return -1;
}

int32_t TVLMarkerList::AppendEntry(uint8_t Type, const uint8_t* Data, size_t Length) {
  return InsertEntry(Count(), Type, Data, Length);
}

int32_t TVLMarkerList::InsertEntry(int32_t Index, uint8_t Type, const uint8_t* Data, size_t Length) {
  if (Index < 0 || Index > Count() || Length > kMaxMarkerData) return -1;
  FEntries.insert(FEntries.begin() + Index, TEntry{Type, CopyOf(Data, Length)});
  return Index;
}

bool TVLMarkerList::ReplaceEntry(int32_t Index, uint8_t Type, const uint8_t* Data, size_t Length) {
  if (!ValidIndex(Index) || Length > kMaxMarkerData) return false;
  // Copy first: Data may point into the entry being replaced.
  std::vector<uint8_t> copy = CopyOf(Data, Length);
  FEntries[size_t(Index)] = TEntry{Type, std::move(copy)};
  return true;
}

void TVLMarkerList::RemoveEntry(int32_t Index) {
  if (ValidIndex(Index)) FEntries.erase(FEntries.begin() + Index);
}

void TVLMarkerList::Assign(const TVLMarkerList* Source) {
  if (Source == nullptr || Source == this) return;
  FEntries = Source->FEntries;
}
