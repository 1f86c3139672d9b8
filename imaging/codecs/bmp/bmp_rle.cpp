#include "imaging/codecs/bmp/bmp_rle.h"

#include <algorithm>
#include <cstring>

#include "imaging/codecs/bmp/bmp_headers.h"
#include "imaging/io/stream.h"
#include "imaging/model/bitmap.h"

namespace bmp {

bool TBoundedInput::Refill() {
  if (FLeft <= 0) return false;
  const size_t want = size_t(std::min<int64_t>(FLeft, int64_t(FBuffer.size())));
  const size_t got = FStream.Read(FBuffer.data(), want);
  FLeft = got == want ? FLeft - int64_t(got) : 0;  // a short read ends the data
  FPos = 0;
  FEnd = got;
  return got > 0;
}

TIndexRows::TIndexRows(TVLBitmap& Bitmap, const std::array<TRGB, 256>& Palette, bool TopDown)
    : FBitmap(Bitmap),
      FPalette(Palette),
      FTopDown(TopDown),
      FIndexed(Bitmap.PixelFormat() == vl8p),
      FWidth(Bitmap.Width()),
      FHeight(Bitmap.Height()) {}

bool TIndexRows::Select(int32_t FileRow) {
  FRow = nullptr;
  if (FileRow < 0 || FileRow >= FHeight) return false;
  FRow = FBitmap.Scanline(FTopDown ? FileRow : FHeight - 1 - FileRow);
  return FRow != nullptr;
}

void TIndexRows::Fill(int32_t X, int32_t Count, uint8_t Index) {
  if (FRow == nullptr) return;
  const int32_t from = std::max(X, 0);
  const int32_t to = int32_t(std::min<int64_t>(int64_t(X) + Count, FWidth));
  if (from >= to) return;
  if (FIndexed) {
    std::memset(FRow + from, Index, size_t(to - from));
  } else {
    for (int32_t x = from; x < to; ++x) Store(x, Index);
  }
}

void DecodeRle(TBoundedInput& Input, bool Four, TIndexRows& Rows, TVLProgressState& Progress) {
  const int32_t width = Rows.Width();
  const int32_t height = Rows.Height();
  int32_t row = 0;
  int32_t col = 0;  // kept within 0..width: pixels past the row end are dropped
  auto advance = [&](int64_t n) { col = int32_t(std::min<int64_t>(col + n, width)); };
  Rows.Select(row);
  uint8_t count, value;
  while (row < height && Input.Get(count) && Input.Get(value)) {
    if (count > 0) {  // a run
      if (!Four) {
        Rows.Fill(col, count, value);
      } else {
        const uint8_t hi = value >> 4, lo = value & 15;
        for (int32_t i = 0; i < count && col + i < width; ++i) Rows.Put(col + i, (i & 1) ? lo : hi);
      }
      advance(count);
      continue;
    }
    if (value == kRleEndOfBitmap) break;
    if (value == kRleEndOfLine) {
      ++row;
      col = 0;
      Progress.StepsDone = row;
      Progress.Report();
      if (Progress.Aborted()) break;
      Rows.Select(row);
      continue;
    }
    if (value == kRleDelta) {
      uint8_t dx, dy;
      if (!Input.Get(dx) || !Input.Get(dy)) break;
      advance(dx);
      if (dy > 0) {
        row += dy;
        Progress.StepsDone = std::min(row, height);
        Progress.Report();
        if (Progress.Aborted()) break;
        Rows.Select(row);
      }
      continue;
    }
    // A literal of value pixels, padded to an even number of bytes.
    const int32_t n = value;
    const int32_t bytes = Four ? (n + 1) / 2 : n;
    bool complete = true;
    for (int32_t i = 0; i < bytes; ++i) {
      uint8_t b;
      if (!Input.Get(b)) {
        complete = false;
        break;
      }
      if (!Four) {
        Rows.Put(col + i, b);
      } else {
        Rows.Put(col + 2 * i, b >> 4);
        if (2 * i + 1 < n) Rows.Put(col + 2 * i + 1, b & 15);
      }
    }
    if (!complete || ((bytes & 1) && !Input.Skip(1))) break;
    advance(n);
  }
}

namespace {

// Appends the values Indices[0..Count) that belong to no run, in pieces of at most 255.
void PutLiterals(const uint8_t* v, int32_t Count, bool Four, std::vector<uint8_t>& Out) {
  while (Count > 0) {
    const int32_t n = std::min(Count, 255);
    if (n == 1) {
      Out.insert(Out.end(), {1, Four ? uint8_t(v[0] << 4 | v[0]) : v[0]});
    } else if (n == 2) {
      if (Four)
        Out.insert(Out.end(), {2, uint8_t(v[0] << 4 | v[1])});
      else
        Out.insert(Out.end(), {1, v[0], 1, v[1]});
    } else {
      Out.insert(Out.end(), {0, uint8_t(n)});
      const size_t start = Out.size();
      if (!Four) {
        Out.insert(Out.end(), v, v + n);
      } else {
        for (int32_t i = 0; i < n; i += 2)
          Out.push_back(uint8_t(v[i] << 4 | (i + 1 < n ? v[i + 1] : 0)));
      }
      if ((Out.size() - start) & 1) Out.push_back(0);
    }
    v += n;
    Count -= n;
  }
}

}  // namespace

void EncodeRleRow(const uint8_t* Indices, int32_t Count, bool Four, std::vector<uint8_t>& Out) {
  int32_t pending = 0;  // start of the values not yet written
  int32_t i = 0;
  while (i < Count) {
    int32_t run = 1;
    while (i + run < Count && run < 255 && Indices[i + run] == Indices[i]) ++run;
    if (run < 2) {
      ++i;
      continue;
    }
    PutLiterals(Indices + pending, i - pending, Four, Out);
    const uint8_t v = Indices[i];
    Out.insert(Out.end(), {uint8_t(run), Four ? uint8_t(v << 4 | v) : v});
    i += run;
    pending = i;
  }
  PutLiterals(Indices + pending, Count - pending, Four, Out);
  Out.insert(Out.end(), {0, kRleEndOfLine});
}

}  // namespace bmp
