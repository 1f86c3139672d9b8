// Drives the bounded byte readers and the JPEG marker list with operations drawn from the
// input. The memory view and the stream reader read the same bytes and must agree on every
// value and on failure; the marker list is checked against a plain model of its entries.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "imaging/io/byte_reader.h"
#include "imaging/io/stream.h"
#include "imaging/model/marker_list.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

void FuzzReaders(const uint8_t* Data, size_t Size) {
  TByteView script(Data, Size);
  TByteView view(Data, Size);
  TMemoryStream stream(Data, Size);
  TStreamReader reader(stream);
  while (!script.AtEnd()) {
    const uint8_t op = script.get8();
    switch (op % 8) {
      case 0: Check(view.get8() == reader.get8()); break;
      case 1: Check(view.get16le() == reader.get16le()); break;
      case 2: Check(view.get16be() == reader.get16be()); break;
      case 3: Check(view.get32le() == reader.get32le()); break;
      case 4: Check(view.get32be() == reader.get32be()); break;
      case 5: {  // the same absolute position on both
        const size_t pos = script.get16le();
        if (pos <= view.Length()) {
          Check(view.Seek(pos));
          Check(stream.Seek(int64_t(pos), soBeginning) == int64_t(pos));
        } else {  // refused, position kept (on a copy: the reader has no such failure)
          TByteView probe = view;
          Check(!probe.Seek(pos) && probe.Position() == view.Position() && probe.Failed());
        }
        break;
      }
      case 6: {  // a sub-view stays inside the data
        const size_t pos = script.get16le(), count = script.get16le();
        TByteView outer = view;  // a failed Sub marks its view failed, which the reader
                                 // has no counterpart for
        TByteView sub = outer.Sub(pos, count);
        Check(sub.Length() == count || outer.Failed());
        Check(sub.Length() == 0 || (sub.Data() >= Data && sub.Data() + sub.Length() <= Data + Size));
        uint8_t buf[8];
        while (sub.Take(buf, sizeof buf)) {
        }
        break;
      }
      default: {
        const size_t count = script.get8();
        std::vector<uint8_t> a(count), b(count);
        Check(view.Take(a.data(), count) == reader.Take(b.data(), count));
        Check(a == b);
      }
    }
    Check(view.Failed() == reader.Failed());
    Check(view.Position() <= view.Length());
  }
}

void FuzzMarkerList(const uint8_t* Data, size_t Size) {
  static const std::vector<uint8_t> kLarge(TVLMarkerList::kMaxMarkerData + 2, 0xAB);
  TVLMarkerList list;
  std::vector<std::pair<uint8_t, std::vector<uint8_t>>> model;
  TByteView script(Data, Size);
  while (!script.AtEnd()) {
    const uint8_t op = script.get8();
    const uint8_t type = script.get8();
    const int32_t index = int32_t(script.get8()) % (int32_t(model.size()) + 2) - 1;
    // The entry's bytes: a slice of the input, or a block around the size limit.
    size_t length = script.get8();
    const uint8_t* bytes = Data + script.Position();
    length = std::min(length, script.Remaining());
    if (op & 0x80) {
      bytes = kLarge.data();
      length = TVLMarkerList::kMaxMarkerData - 1 + (op & 3);
    }
    const bool fits = length <= TVLMarkerList::kMaxMarkerData;
    const bool valid = index >= 0 && size_t(index) < model.size();
    std::vector<uint8_t> copy(bytes, bytes + length);
    switch (op % 5) {
      case 0: {
        const int32_t r = list.AppendEntry(type, bytes, length);
        Check(fits ? r == int32_t(model.size()) : r == -1);
        if (fits) model.emplace_back(type, copy);
        break;
      }
      case 1: {
        const bool insertable = index >= 0 && size_t(index) <= model.size() && fits;
        Check(list.InsertEntry(index, type, bytes, length) == (insertable ? index : -1));
        if (insertable) model.insert(model.begin() + index, {type, copy});
        break;
      }
      case 2: {
        Check(list.ReplaceEntry(index, type, bytes, length) == (valid && fits));
        if (valid && fits) model[size_t(index)] = {type, copy};
        break;
      }
      case 3:
        list.RemoveEntry(index);
        if (valid) model.erase(model.begin() + index);
        break;
      default: {
        int32_t first = -1;
        for (size_t i = 0; i < model.size(); ++i)
          if (model[i].first == type) {
            first = int32_t(i);
            break;
          }
        Check(list.FindType(type) == first);
        TVLMarkerList other;
        other.Assign(list);
        list.Assign(nullptr);  // no effect
        Check(other.Count() == list.Count());
      }
    }
    if (op & 1) script.Skip(length);  // sometimes move past the slice
    Check(list.Count() == int32_t(model.size()));
    for (size_t i = 0; i < model.size(); ++i) {
      const int32_t k = int32_t(i);
      Check(list.EntryType(k) == model[i].first);
      Check(size_t(list.EntryLength(k)) == model[i].second.size());
      const std::vector<uint8_t>* b = list.EntryBytes(k);
      Check(b != nullptr && *b == model[i].second);
    }
    Check(list.EntryData(list.Count()) == nullptr && list.EntryLength(-1) == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzReaders(Data, Size);
  FuzzMarkerList(Data, Size);
  return 0;
}
