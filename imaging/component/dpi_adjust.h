#pragma once
// Resizing a bitmap so that its horizontal and vertical resolution agree: a nearest-neighbour
// stretch in the bitmap's own pixel format, and a smoothing resample on vl24RGB. Both resize
// an alpha channel, when there is one, to the same size.

#include <cstdint>

class TVLBitmap;

// Stretches Bitmap to NewWidth x NewHeight (both at least 1) by nearest neighbour, keeping
// its pixel format and palette. An empty bitmap is left alone.
void StretchNearest(TVLBitmap& Bitmap, int32_t NewWidth, int32_t NewHeight);

// Converts Bitmap to vl24RGB and resamples it to NewWidth x NewHeight with a triangle filter
// (bilinear when enlarging, averaging over the covered source pixels when reducing). The
// alpha channel is resampled the same way as 8-bit gray. An empty bitmap is left alone.
void ResampleSmooth(TVLBitmap& Bitmap, int32_t NewWidth, int32_t NewHeight);
