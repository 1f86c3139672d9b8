// Decodes arbitrary bytes as IPTC records (plain, or inside a Photoshop resource block), then
// checks that encoding the records and decoding the result gives them back, in both forms.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "imaging/model/iptc.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// The records that encoding keeps: all but (2, 0) and empty ones.
bool Written(const TVLIPTCInfoList::TRecord& r) {
  return !(r.Record == 2 && r.Dataset == 0) && !r.Data.empty();
}

void CheckRoundTrip(const TVLIPTCInfoList& list, bool withPhotoshopHeader) {
  const std::vector<uint8_t> block = list.EncodeRecords(withPhotoshopHeader);
  Check(block.size() % 2 == 0);
  TVLIPTCInfoList back;
  back.DecodeRecords(block.data(), block.size());
  Check(!back.EditedSinceRead());
  // Without the Photoshop header the block starts with the record-version record.
  int32_t j = (!withPhotoshopHeader && !block.empty()) ? 1 : 0;
  for (int32_t i = 0; i < list.Count(); ++i) {
    const TVLIPTCInfoList::TRecord& r = list.Item(i);
    if (!Written(r)) continue;
    Check(j < back.Count());
    const TVLIPTCInfoList::TRecord& b = back.Item(j++);
    Check(b.Record == r.Record && b.Dataset == r.Dataset && b.Data == r.Data);
  }
  Check(j == back.Count());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TVLIPTCInfoList list;
  list.DecodeRecords(Data, Size);
  Check(!list.EditedSinceRead());
  size_t total = 0;
  for (int32_t i = 0; i < list.Count(); ++i) total += list.Item(i).Data.size();
  Check(total <= Size);  // every record's data came from the input
  CheckRoundTrip(list, true);
  CheckRoundTrip(list, false);
  return 0;
}
