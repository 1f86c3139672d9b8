#pragma once
// The TIFF reader's pixel-format decision and its conversion of decoded rows (as the row
// decoder hands them out) into bitmap rows, with alpha samples into the mask.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/model/pixel_format.h"

struct TTiffVars;
class TVLMask;
class TIOParamsVals;

// The bitmap format an image is read into: vl1g for bilevel images; with KeepNative the
// native formats (vl8p, vl8g, vl16g, vlCMYK, vlRGB48) where the image has one; otherwise
// vl24RGB. JPEG-compressed images always go to vl24RGB.
TVLPixelFormat TiffTargetFormat(const TTiffVars& Vars, bool KeepNative);

// True when the image's samples carry alpha that the reader hands back in a mask: 4 samples
// with ExtraSamples 2, 2 samples of 8 bits, or 4 samples with Photometric 2.
bool TiffHasAlpha(const TTiffVars& Vars);

class TTiffRowConverter {
 public:
  // Alpha may be null (alpha ignored or not present). Params is passed to ConvertSampleRow.
  TTiffRowConverter(const TTiffVars& Vars, TVLPixelFormat Target, TVLMask* Alpha,
                    const TIOParamsVals* Params);

  // False for sample layouts the reader does not convert: their rows stay as allocated.
  bool Supported() const { return FKind != 0; }
  // Whether the conversion writes alpha values.
  bool WritesAlpha() const { return FAlpha != nullptr && FAlphaSample >= 0; }

  // Bytes of a decoded row that Convert reads for Width pixels. A row decoder that hands out
  // fewer (a fax-coded image that is not bilevel, say) cannot feed this conversion.
  size_t InputBytes(int32_t Width) const;

  // Converts Width pixels of a decoded row into Dest, which receives them from its first
  // byte on in the target format. Alpha values go to mask row Y from column X0 on (clipped to
  // the mask).
  void Convert(const uint8_t* Src, uint8_t* Dest, int32_t Width, int32_t X0, int32_t Y);

 private:
  int FKind = 0;
  int32_t FSamples = 1;
  int32_t FAlphaSample = -1;  // index of the alpha sample in a pixel, -1 for none
  bool FLittleEndian = true;
  bool FInvert = false;  // min-is-white gray
  bool FWide = false;    // 16-bit samples
  unsigned FShift16 = 8;
  std::vector<uint8_t> FPalette;  // 256 entries, blue-green-red
  TVLMask* FAlpha;
  const TIOParamsVals* FParams;
  std::vector<uint8_t> FScratch;
};
