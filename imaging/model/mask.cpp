#include "imaging/model/mask.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

void TVLMask::ResetBounds() {
  FBoundLeft = kEmptyBound;
  FBoundTop = kEmptyBound;
  FBoundRight = 0;
  FBoundBottom = 0;
}

void TVLMask::Widen(int32_t X0, int32_t Y0, int32_t X1, int32_t Y1) {
  FBoundLeft = std::min(FBoundLeft, X0);
  FBoundTop = std::min(FBoundTop, Y0);
  FBoundRight = std::max(FBoundRight, X1);
  FBoundBottom = std::max(FBoundBottom, Y1);
}

void TVLMask::Allocate(int32_t Width, int32_t Height, int32_t Depth) {
  FBits.clear();
  FBits.shrink_to_fit();
  FWidth = FHeight = FDepth = FRowBytes = 0;
  ResetBounds();
  FAllMax = false;
  if (Width < 0 || Height < 0 || (Depth != 1 && Depth != 8)) return;
  const int64_t rowBytes = ((int64_t(Width) * Depth + 31) / 32) * 4;
  if (rowBytes > INT32_MAX) throw std::length_error("mask row too long");
  const int64_t total = rowBytes * Height;
  if (uint64_t(total) > FBits.max_size()) throw std::length_error("mask too large");
  FBits.assign(size_t(total), 0);
  FWidth = Width;
  FHeight = Height;
  FDepth = Depth;
  FRowBytes = int32_t(rowBytes);
}

void TVLMask::Setup(int32_t Width, int32_t Height, int32_t Depth) {
  Allocate(Width, Height, Depth);
}

void TVLMask::Resize(int32_t Width, int32_t Height) {
  if (FDepth == 0) return;
  TVLMask old;
  old.FWidth = FWidth;
  old.FHeight = FHeight;
  old.FRowBytes = FRowBytes;
  old.FBits.swap(FBits);
  const int32_t depth = FDepth;
  const int32_t left = FBoundLeft, top = FBoundTop, right = FBoundRight, bottom = FBoundBottom;
  const bool allMax = FAllMax;

  Allocate(Width, Height, depth);
  if (FDepth == 0) return;
  // Only the bits of the kept columns are copied: Fill writes the row padding too, and that
  // must not turn into pixels when the mask grows.
  const int32_t rows = std::min(old.FHeight, FHeight);
  const uint64_t keptBits = uint64_t(std::min(old.FWidth, FWidth)) * uint64_t(depth);
  const size_t whole = size_t(keptBits / 8);
  const uint8_t tailMask = uint8_t(0xFF00 >> (keptBits % 8));
  for (int32_t y = 0; y < rows && keptBits > 0; ++y) {
    uint8_t* dst = Scanline(y);
    const uint8_t* src = old.Scanline(y);
    std::memcpy(dst, src, whole);
    if (keptBits % 8) dst[whole] = src[whole] & tailMask;
  }

  // The box only shrinks with the mask; content cut off entirely leaves it empty.
  if (left != kEmptyBound) {
    const int32_t r = std::min(right, FWidth - 1), b = std::min(bottom, FHeight - 1);
    if (left <= r && top <= b) {
      FBoundLeft = left;
      FBoundTop = top;
      FBoundRight = r;
      FBoundBottom = b;
    }
  }
  // A full mask stays full only when no new pixels were added.
  FAllMax = allMax && FWidth <= old.FWidth && FHeight <= old.FHeight;
}

uint8_t* TVLMask::Scanline(int32_t Y) {
  if (Y < 0 || Y >= FHeight || FBits.empty()) return nullptr;
  return FBits.data() + size_t(FRowBytes) * size_t(FHeight - 1 - Y);
}

const uint8_t* TVLMask::Scanline(int32_t Y) const {
  return const_cast<TVLMask*>(this)->Scanline(Y);
}

int32_t TVLMask::GetPixel(int32_t X, int32_t Y) const {
  if (X < 0 || X >= FWidth) return 0;
  const uint8_t* row = Scanline(Y);
  if (!row) return 0;
  if (FDepth == 1) return (row[X >> 3] >> (7 - (X & 7))) & 1;
  return row[X];
}

void TVLMask::SetPixel(int32_t X, int32_t Y, int32_t Value) {
  if (X < 0 || X >= FWidth) return;
  uint8_t* row = Scanline(Y);
  if (!row) return;
  if (Value != 0) Widen(X, Y, X, Y);
  if (FDepth == 1) {
    const uint8_t bit = uint8_t(0x80 >> (X & 7));
    if (Value != 0)
      row[X >> 3] |= bit;
    else
      row[X >> 3] &= uint8_t(~bit);
    // A cleared bit makes a full 1-bit mask no longer full.
    if (Value == 0) FAllMax = false;
  } else {
    row[X] = uint8_t(Value);
    if (FAllMax && Value != 255) FAllMax = false;
  }
}

void TVLMask::FillRow(int32_t Value, int32_t FromX, int32_t Y, int32_t ToX) {
  if (FDepth == 0 || FWidth == 0 || FHeight == 0) return;
  FromX = std::max(FromX, 0);
  ToX = std::min(ToX, FWidth - 1);
  Y = std::clamp(Y, 0, FHeight - 1);
  if (FromX > ToX) return;
  uint8_t* row = Scanline(Y);
  if (FDepth == 8) {
    std::memset(row + FromX, uint8_t(Value), size_t(ToX - FromX + 1));
    if (FAllMax && Value != 255) FAllMax = false;
    if (Value != 0) Widen(FromX, Y, ToX, Y);
  } else {
    for (int32_t x = FromX; x <= ToX; ++x) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
    Widen(FromX, Y, ToX, Y);
  }
}

bool TVLMask::Fill(int32_t Value) {
  std::fill(FBits.begin(), FBits.end(), uint8_t(Value));
  // A 1-bit mask is full when every bit got set, an 8-bit one when every byte is 255.
  FAllMax = FDepth != 0 && uint8_t(Value) == 255;
  if (uint8_t(Value) == 0 || FWidth == 0 || FHeight == 0)
    ResetBounds();
  else if (FDepth == 8)
    Widen(0, 0, FWidth - 1, FHeight - 1);
  else
    RecomputeBounds();
  return FAllMax;
}

void TVLMask::Clear() {
  Fill(0);
  ResetBounds();
}

void TVLMask::RecomputeBounds() {
  ResetBounds();
  for (int32_t y = 0; y < FHeight; ++y)
    for (int32_t x = 0; x < FWidth; ++x)
      if (GetPixel(x, y) != 0) Widen(x, y, x, y);
}

void TVLMask::RecheckAllMax() {
  FAllMax = FDepth != 0;
  for (int32_t y = 0; y < FHeight && FAllMax; ++y) {
    const uint8_t* row = Scanline(y);
    if (FDepth == 8) {
      for (int32_t x = 0; x < FWidth; ++x)
        if (row[x] != 255) {
          FAllMax = false;
          break;
        }
    } else {
      const int32_t full = FWidth >> 3;
      for (int32_t i = 0; i < full; ++i)
        if (row[i] != 0xFF) {
          FAllMax = false;
          break;
        }
      const int32_t rest = FWidth & 7;
      if (FAllMax && rest) {
        const uint8_t want = uint8_t(0xFF00 >> rest);
        if ((row[full] & want) != want) FAllMax = false;
      }
    }
  }
}

void TVLMask::Discard() { Allocate(0, 0, 0); }
