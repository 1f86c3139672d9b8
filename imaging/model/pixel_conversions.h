#pragma once
// Conversions between the pixel formats of TVLBitmap, the single-pixel colour-space formulas
// behind them (gray weights, CMYK, CIE L*a*b*) and the process-wide row-conversion hook that
// the codecs use to turn whole rows of samples into the bitmap's layout.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/model/pixel_format.h"

class TVLBitmap;
class TIOParamsVals;  // the per-image parameter set of the I/O layer; never dereferenced here

// ---- Gray weights -------------------------------------------------------------------------
// Process-wide weights (percent) of red, green and blue in an 8-bit gray value. They are read
// at every use, so a change applies to every later conversion. Defaults 21 / 71 / 8.
extern int32_t GrayWeightRed;
extern int32_t GrayWeightGreen;
extern int32_t GrayWeightBlue;
void SetGrayWeights(int32_t Red, int32_t Green, int32_t Blue);

// (R * red weight + G * green weight + B * blue weight) div 100, kept within 0..255.
uint8_t Gray8(int32_t R, int32_t G, int32_t B);
inline uint8_t Gray8(TRGB c) { return Gray8(c.r, c.g, c.b); }

// ---- Single-pixel conversions -------------------------------------------------------------
// Colours are packed as PackRGB (blue bits 0-7, green 8-15, red 16-23).
// CMYK values are packed C bits 0-7, M 8-15, Y 16-23, K 24-31, each inverted (255 = no ink).
// Lab values are packed L bits 0-7, a 8-15, b 16-23; L byte = L* x 2.5, a and b signed bytes.
uint32_t RGBToCMYK(uint32_t Color);
uint32_t CMYKToRGB(uint32_t Value);
uint32_t RGBToLab(uint32_t Color);
uint32_t LabToRGB(uint32_t Value);

// ---- Ordered dither -----------------------------------------------------------------------
// The 8 x 8 ordered-dither matrix (values 0..63), indexed [x mod 8][y mod 8].
extern const uint8_t kDitherMatrix[8][8];

// ---- Whole-bitmap conversion --------------------------------------------------------------
// Converts the pixels of Source into Dest, which must already be allocated with the same size
// and a different pixel format and must not live in a toolkit bitmap; otherwise nothing
// happens. Source's alpha channel moves to Dest. Some pairs first switch Source itself to
// vl24RGB (its pixel format changes) and convert from there.
void ConvertFormat(TVLBitmap& Dest, TVLBitmap& Source);

// Reads row Y of any pixel format as Width TRGB values (the PixelAsRGB rules). Out must hold
// Bitmap.Width() entries. Handy for code that wants colour rows whatever the format.
void ReadRowAsRGB(TVLBitmap& Bitmap, int32_t Y, TRGB* Out);

// Collects the distinct colours of the image in the order met (rows from the top, pixels
// from the left); false as soon as there are more than Limit. Writers use it to decide
// whether a palette of Limit entries holds the image exactly.
bool DistinctColors(TVLBitmap& Bitmap, size_t Limit, std::vector<TRGB>& Colors);

// ---- Row-conversion hook ------------------------------------------------------------------
// Sample layouts of ConvertSampleRow.
enum TSampleLayout : int32_t {
  slRGB = 0,          // bytes red, green, blue (source only)
  slTRGB = 1,         // bytes blue, green, red
  slCMYK = 2,         // bytes C, M, Y, K inverted (255 = no ink)
  slPlainCMYK = 3,    // bytes C, M, Y, K, 0 = no ink (source only)
  slLab = 4,          // bytes L, a, b
  slGray8 = 5,        // one gray byte (destination only)
  slRGB48High = 6,    // words red, green, blue; the high byte is kept (source only)
  slRGB48Low = 7,     // words red, green, blue; the low byte is kept (source only)
};

// Converts Count pixels of one row from SourceLayout to DestLayout. Unsupported pairs do
// nothing. Source is never written to (plain CMYK is inverted on the fly).
using TConvertSampleRowProc = void (*)(const void* Source, int SourceLayout, void* Dest,
                                       const TIOParamsVals* Params, int Count, int DestLayout);
void DefaultConvertSampleRow(const void* Source, int SourceLayout, void* Dest,
                             const TIOParamsVals* Params, int Count, int DestLayout);
// Process-wide hook, DefaultConvertSampleRow unless replaced.
extern TConvertSampleRowProc ConvertSampleRow;
