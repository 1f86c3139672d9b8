#pragma once
// Turning a bitmap upright by the Orientation value of an EXIF or TIFF directory.

#include <cstdint>

class TVLBitmap;

// Transforms Bitmap for Orientation: 1 nothing; 2 mirror left-right; 3 a half turn; 4 mirror
// top-bottom; 5 the pixel at (x, y) moves to (y, x); 6 a quarter turn clockwise; 7 the pixel
// at (x, y) of a W x H image moves to (H - 1 - y, W - 1 - x); 8 a quarter turn
// counter-clockwise; any other value nothing. Quarter turns swap width and height. The
// bitmap's alpha channel, when it has one, is transformed with it.
void ApplyOrientation(TVLBitmap& Bitmap, int32_t Orientation);
