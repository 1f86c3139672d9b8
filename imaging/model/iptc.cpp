// IPTC records and their encoding in APP13 blocks and TIFF tags.

#include "imaging/model/iptc.h"

#include <cstring>

namespace {

constexpr uint8_t kTag = 0x1C;
// "Photoshop 3.0", 0, "8BIM", resource 0x0404, empty name; the 32-bit size follows.
constexpr uint8_t kPhotoshopHeader[22] = {'P', 'h', 'o', 't', 'o', 's', 'h', 'o', 'p', ' ', '3',
                                          '.', '0', 0,   '8', 'B', 'I', 'M', 0x04, 0x04, 0,  0};
constexpr size_t kPhotoshopHeaderSize = 26;  // including the size field
// Record 2, dataset 0, length 2, value 2: record version 2.
constexpr uint8_t kVersionRecord[7] = {kTag, 0x02, 0x00, 0x00, 0x02, 0x00, 0x02};
constexpr size_t kShortLengthLimit = 32768;

void Put32be(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  out[at] = uint8_t(v >> 24);
  out[at + 1] = uint8_t(v >> 16);
  out[at + 2] = uint8_t(v >> 8);
  out[at + 3] = uint8_t(v);
}

}  // namespace

int32_t TVLIPTCInfoList::IndexOf(uint8_t Record, uint8_t Dataset) const {
  for (size_t i = 0; i < FRecords.size(); ++i)
    if (FRecords[i].Record == Record && FRecords[i].Dataset == Dataset) return int32_t(i);
  return -1;
}

void TVLIPTCInfoList::AppendRecord(uint8_t Record, uint8_t Dataset, const uint8_t* Data, size_t Length) {
  TRecord r;
  r.Record = Record;
  r.Dataset = Dataset;
  if (Data != nullptr && Length > 0) r.Data.assign(Data, Data + Length);
  FRecords.push_back(std::move(r));
  FEditedSinceRead = true;
}

void TVLIPTCInfoList::RemoveRecord(int32_t Index) {
  if (Index < 0 || Index >= Count()) return;
  FRecords.erase(FRecords.begin() + Index);
  FEditedSinceRead = true;
}

void TVLIPTCInfoList::Clear() {
  FRecords.clear();
  FEditedSinceRead = true;
}

void TVLIPTCInfoList::Assign(const TVLIPTCInfoList& Source) {
  if (&Source != this) FRecords = Source.FRecords;
  FEditedSinceRead = true;
}

void TVLIPTCInfoList::DecodeRecords(const uint8_t* Data, size_t Length) {
  FRecords.clear();
  if (Data == nullptr) Length = 0;
  size_t pos = 0;
  while (pos < Length && Data[pos] != kTag) ++pos;
  // A record needs its tag, two numbers and at least a 16-bit length.
  while (pos < Length && Data[pos] == kTag && Length - pos > 5) {
    const uint8_t record = Data[pos + 1];
    const uint8_t dataset = Data[pos + 2];
    uint64_t len;
    size_t start;
    if (Data[pos + 3] & 0x80) {
      if (Length - pos < 9) break;
      len = (uint64_t(Data[pos + 5]) << 24) | (uint64_t(Data[pos + 6]) << 16) |
            (uint64_t(Data[pos + 7]) << 8) | uint64_t(Data[pos + 8]);
      start = pos + 9;
    } else {
      len = (uint64_t(Data[pos + 3]) << 8) | uint64_t(Data[pos + 4]);
      start = pos + 5;
    }
    if (len > Length - start) break;  // data would run past the buffer
    TRecord r;
    r.Record = record;
    r.Dataset = dataset;
    r.Data.assign(Data + start, Data + start + len);
    FRecords.push_back(std::move(r));
    pos = start + size_t(len);
  }
  FEditedSinceRead = false;
}

std::vector<uint8_t> TVLIPTCInfoList::EncodeRecords(bool WithPhotoshopHeader) const {
  std::vector<uint8_t> out;
  if (FRecords.empty()) return out;
  if (WithPhotoshopHeader) {
    out.assign(kPhotoshopHeader, kPhotoshopHeader + sizeof kPhotoshopHeader);
    out.resize(kPhotoshopHeaderSize, 0);
  } else {
    out.assign(kVersionRecord, kVersionRecord + sizeof kVersionRecord);
  }
  const size_t recordsStart = out.size();
  for (const TRecord& r : FRecords) {
    if ((r.Record == 2 && r.Dataset == 0) || r.Data.empty()) continue;
    // The extended length holds 32 bits; a larger record cannot be encoded and is left out.
    if (uint64_t(r.Data.size()) > 0xFFFFFFFFull) continue;
    out.push_back(kTag);
    out.push_back(r.Record);
    out.push_back(r.Dataset);
    const size_t n = r.Data.size();
    if (n < kShortLengthLimit) {
      out.push_back(uint8_t(n >> 8));
      out.push_back(uint8_t(n));
    } else {
      out.push_back(0x80);
      out.push_back(0x04);
      const size_t at = out.size();
      out.resize(at + 4);
      Put32be(out, at, uint32_t(n));
    }
    out.insert(out.end(), r.Data.begin(), r.Data.end());
  }
  const size_t recordBytes = out.size() - recordsStart;
  if (out.size() % 2 != 0) out.push_back(0);
  if (WithPhotoshopHeader) Put32be(out, kPhotoshopHeaderSize - 4, uint32_t(recordBytes));
  return out;
}
