// IPTC records and their encoding in APP13 blocks and TIFF tags.

#include "imaging/model/iptc.h"

#include <algorithm>

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

uint32_t Get32be(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// When Data is a Photoshop resource block ("Photoshop 3.0", 0, then "8BIM" resources), the
// IPTC records are the content of resource 0x0404: its bounds go to Begin and End and the
// result is true (Begin == End when the block has no such resource). Other data gives false.
// Scanning a resource block for the first 0x1C could start inside a size field or inside
// another resource, so the resources are walked instead.
bool FindIptcResource(const uint8_t* Data, size_t Length, size_t& Begin, size_t& End) {
  constexpr size_t kSignature = 14;  // "Photoshop 3.0" and its zero byte
  if (Length < kSignature + 4 || std::memcmp(Data, kPhotoshopHeader, kSignature) != 0 ||
      std::memcmp(Data + kSignature, "8BIM", 4) != 0)
    return false;  // not a resource block: scanned like any other data
  Begin = End = 0;
  size_t pos = kSignature;
  // A resource: "8BIM", 16-bit id, name (length byte and text, padded to an even count),
  // 32-bit size, data padded to an even count.
  while (Length - pos >= 12 && std::memcmp(Data + pos, "8BIM", 4) == 0) {
    const unsigned id = (unsigned(Data[pos + 4]) << 8) | Data[pos + 5];
    const size_t nameBytes = (size_t(Data[pos + 6]) + 2) & ~size_t(1);
    if (Length - pos - 6 < nameBytes + 4) break;
    const size_t sizeAt = pos + 6 + nameBytes;
    const uint64_t size = Get32be(Data + sizeAt);
    const size_t dataAt = sizeAt + 4;
    const size_t available = Length - dataAt;
    if (id == 0x0404) {
      Begin = dataAt;
      End = dataAt + size_t(size < available ? size : available);
      break;
    }
    if (size + (size & 1) > available) break;
    pos = dataAt + size_t(size + (size & 1));
  }
  return true;
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
  size_t begin = 0, end = 0;
  if (FindIptcResource(Data, Length, begin, end)) {
    pos = begin;
    Length = end;
  }
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
    out.assign(kPhotoshopHeaderSize, 0);
    std::copy(kPhotoshopHeader, kPhotoshopHeader + sizeof kPhotoshopHeader, out.begin());
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
