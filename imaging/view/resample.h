#pragma once
// The resamplers behind the zoom filters: each scales a whole bitmap (or a rectangle of one)
// to the size its destination is already allocated with.

#include <cstdint>
#include <functional>

#include "imaging/view/resample_filter.h"

class TVLBitmap;

// Optional percentage callback; none is called when it is empty.
using TVLResampleProgress = std::function<void(int Percent)>;

// A source rectangle; a zero width or height means the whole bitmap.
struct TVLSourceRect {
  int32_t X = 0, Y = 0, Width = 0, Height = 0;
};

// Source must be vl24RGB (anything else returns without touching Dest); Dest is vl24RGB of the
// wanted size (the projection filters reallocate it as vl1g of that size).
void ResampleBitmap(TVLBitmap& Source, TVLBitmap& Dest, TResampleFilter Filter,
                    const TVLResampleProgress& Progress = {}, TVLSourceRect Rect = {});

// Two passes: 17-bit fixed-point interpolation along an enlarged axis, an integer box
// average along a reduced one; each box shares its last column (row) with the next box.
void FastLinearResample(TVLBitmap& Source, TVLBitmap& Dest,
                        const TVLResampleProgress& Progress = {}, TVLSourceRect Rect = {});

// A vl1g source into a vl24RGB gray Dest (vl1g for the projection filters).
void Resample1Bit(TVLBitmap& Source, TVLBitmap& Dest, TResampleFilter Filter,
                  TVLSourceRect Rect = {});

// The gray reduction of the vl1g rectangle (X0, Y0)-(X1, Y1) into the vl24RGB Dest.
void Reduce1Bit(TVLBitmap& Source, int32_t X0, int32_t Y0, TVLBitmap& Dest, int32_t Y1, int32_t X1);

// One-channel resampling of a vl8g bitmap (alpha channels) into the vl8g Dest, with the
// scheme the filter uses on colour.
void ResampleGray(TVLBitmap& Source, TVLBitmap& Dest, TResampleFilter Filter,
                  TVLSourceRect Rect = {});
