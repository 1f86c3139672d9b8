#pragma once
// A plain 1-bit or 8-bit raster the size of an image: readers hand back per-pixel transparency
// in an 8-bit mask (0 transparent .. 255 opaque); the view keeps its selection in a 1-bit one.
// Besides the bits it tracks the bounding box of the non-zero pixels and whether every pixel
// holds the maximum value.

#include <cstdint>
#include <vector>

class TVLMask {
 public:
  static constexpr int32_t kEmptyBound = 2147483647;

  TVLMask() = default;

  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  int32_t Depth() const { return FDepth; }  // 1 or 8, 0 when not allocated
  int32_t RowBytes() const { return FRowBytes; }

  // Bounding box of the non-zero pixels; BoundLeft = BoundTop = kEmptyBound when empty
  // (then BoundRight = BoundBottom = 0).
  int32_t BoundLeft() const { return FBoundLeft; }
  int32_t BoundTop() const { return FBoundTop; }
  int32_t BoundRight() const { return FBoundRight; }
  int32_t BoundBottom() const { return FBoundBottom; }

  // Every pixel holds the maximum value.
  bool AllMax() const { return FAllMax; }
  void SetAllMax(bool Value) { FAllMax = Value; }

  // Frees the old bits and allocates zeroed ones; Depth is 1 or 8 (anything else, or a
  // negative size, leaves the mask discarded). Throws std::length_error when the size
  // cannot be represented.
  void Setup(int32_t Width, int32_t Height, int32_t Depth);
  // New zeroed bits of the new size; the part present in both sizes is kept (top-left).
  void Resize(int32_t Width, int32_t Height);

  // The bit (0/1) or byte at (X, Y); 0 outside the mask.
  int32_t GetPixel(int32_t X, int32_t Y) const;
  bool IsSelected(int32_t X, int32_t Y) const { return GetPixel(X, Y) != 0; }
  // Writes one pixel (1-bit: set when Value is non-zero); ignored outside the mask.
  void SetPixel(int32_t X, int32_t Y, int32_t Value);
  // Writes the span FromX..ToX of row Y (clamped to the mask); 1-bit masks get their bits set.
  void FillRow(int32_t Value, int32_t FromX, int32_t Y, int32_t ToX);

  // Pointer to row Y (rows lie bottom-up in memory); nullptr outside the mask.
  uint8_t* Scanline(int32_t Y);
  const uint8_t* Scanline(int32_t Y) const;

  // Every byte (padding included) becomes Value; returns the new AllMax.
  bool Fill(int32_t Value);
  // Fill(0) and an empty bounding box.
  void Clear();
  // The bounding box is empty.
  bool IsEmpty() const { return FBoundLeft == kEmptyBound; }
  // Rescans all pixels for the bounding box of the non-zero ones.
  void RecomputeBounds();
  // AllMax := every pixel of the Width columns is set (1-bit) or 255 (8-bit).
  void RecheckAllMax();
  // Releases the bits; sizes become 0.
  void Discard();

 private:
  void ResetBounds();
  void Widen(int32_t X0, int32_t Y0, int32_t X1, int32_t Y1);
  void Allocate(int32_t Width, int32_t Height, int32_t Depth);

  int32_t FWidth = 0;
  int32_t FHeight = 0;
  int32_t FDepth = 0;
  int32_t FRowBytes = 0;
  std::vector<uint8_t> FBits;
  int32_t FBoundLeft = kEmptyBound;
  int32_t FBoundTop = kEmptyBound;
  int32_t FBoundRight = 0;
  int32_t FBoundBottom = 0;
  bool FAllMax = false;
};
