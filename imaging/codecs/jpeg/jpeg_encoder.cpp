// The JPEG writer: a vl24RGB bitmap and the Jpeg fields of the parameter set into one image.

#include <algorithm>
#include <vector>

#include "imaging/codecs/jpeg/jpeg_glue.h"
#include "imaging/codecs/jpeg/jpeg_internal.h"
#include "imaging/codecs/jpeg_codec.h"
#include "imaging/io/params.h"
#include "imaging/io/stream.h"
#include "imaging/model/pixel_conversions.h"

namespace {

constexpr uint8_t kApp14 = 0xEE;  // Adobe: the library writes it when the colour space needs it

// A compression object with its error state and destination manager, destroyed with it.
struct TCompressor {
  explicit TCompressor(bool* AbortFlag) {
    InitJpegErrors(*reinterpret_cast<j_common_ptr>(&Info), Errors, AbortFlag);
  }
  ~TCompressor() { jpeg_destroy_compress(&Info); }  // safe on a zeroed object
  TCompressor(const TCompressor&) = delete;
  TCompressor& operator=(const TCompressor&) = delete;

  jpeg_compress_struct Info{};
  TJpegErrorState Errors;
  TJpegDestinationHolder Destination;
};

// The JPEG colour space written for JpegColorSpace, and whether the rows go in as CMYK.
J_COLOR_SPACE JpegSpace(TVLJPEGColorSpace Space, bool& CmykInput) {
  CmykInput = Space == jcCMYK || Space == jcYCbCrK;
  switch (Space) {
    case jcGrayScale: return JCS_GRAYSCALE;
    case jcYCbCr: return JCS_YCbCr;
    case jcCMYK: return JCS_CMYK;
    case jcYCbCrK: return JCS_YCCK;
    default: return JCS_RGB;
  }
}

// A JFIF density: the fallback for none (0 or less), the largest a JFIF header holds above it.
UINT16 JfifDensity(int32_t Dpi, int32_t Fallback) {
  const int32_t value = Dpi > 0 ? Dpi : Fallback;
  if (value <= 0) return 300;
  return value > 65535 ? 65535 : UINT16(value);
}

J_DCT_METHOD DctMethod(TVLJPEGDCTMethod Method, J_DCT_METHOD Default) {
  switch (Method) {
    case jdISLOW: return JDCT_ISLOW;
    case jdIFAST: return JDCT_IFAST;
    case jdFLOAT: return JDCT_FLOAT;
    default: return Default;
  }
}

}  // namespace

void EncodeJpegImage(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                     TVLProgressState& Progress) {
  TAbortFlagScope flagScope(Progress);
  bool& aborted = *Progress.AbortFlag;
  const int32_t width = Bitmap.Width(), height = Bitmap.Height();
  if (width <= 0 || height <= 0) {
    aborted = true;
    return;
  }

  TCompressor c(Progress.AbortFlag);
  JpegCall(c.Errors, [&] { jpeg_create_compress(&c.Info); });
  LimitJpegMemory(*reinterpret_cast<j_common_ptr>(&c.Info));
  c.Destination.Attach(c.Info, Stream);

  bool cmykInput = false;
  const J_COLOR_SPACE space = JpegSpace(Params.JpegColorSpace, cmykInput);
  c.Info.image_width = JDIMENSION(width);
  c.Info.image_height = JDIMENSION(height);
  // Rows go in as they lie in the bitmap (blue, green, red): the library's colour converter
  // reorders them, so no row is swapped here.
  c.Info.input_components = cmykInput ? 4 : 3;
  c.Info.in_color_space = cmykInput ? JCS_CMYK : JCS_EXT_BGR;
  JpegCall(c.Errors, [&] {
    jpeg_set_defaults(&c.Info);
    jpeg_set_colorspace(&c.Info, space);
  });
  c.Info.density_unit = 1;
  c.Info.X_density = JfifDensity(Params.DpiX(), FallbackDpiX);
  c.Info.Y_density = JfifDensity(Params.DpiY(), FallbackDpiY);
  c.Info.dct_method = DctMethod(Params.JpegDCTMethod, c.Info.dct_method);
  c.Info.optimize_coding = Params.JpegOptimizeCoding ? TRUE : FALSE;
  c.Info.smoothing_factor = std::clamp(Params.JpegSmoothing, 0, 100);
  JpegCall(c.Errors, [&] {
    jpeg_set_quality(&c.Info, Params.JpegQuality, TRUE);
    if (Params.JpegColorSpace == jcCMYK) c.Info.write_JFIF_header = TRUE;
    if (Params.JpegProgressive) jpeg_simple_progression(&c.Info);
    jpeg_start_compress(&c.Info, TRUE);
  });
  const TVLMarkerList& markers = Params.JpegMarkers;
  for (int32_t i = 0; i < markers.Count(); ++i) {
    if (markers.EntryType(i) == kApp14) continue;
    const JOCTET* data = markers.EntryData(i);
    const unsigned int length = unsigned(markers.EntryLength(i));
    const int code = markers.EntryType(i);
    JpegCall(c.Errors, [&] { jpeg_write_marker(&c.Info, code, data, length); });
  }

  std::vector<JSAMPLE> cmykRow(cmykInput ? size_t(width) * 4 : 0);
  Progress.StepPercent = 100.0 / height;
  Progress.StepsDone = 0;
  TRowAccessScope readOnly(Bitmap, raRead);
  for (int32_t y = 0; y < height && !aborted; ++y) {
    JSAMPROW row = Bitmap.Scanline(y);
    if (row == nullptr) {
      aborted = true;
      break;
    }
    if (cmykInput) {
      ConvertSampleRow(row, slTRGB, cmykRow.data(), &Params, width, slCMYK);
      row = cmykRow.data();
    }
    JpegCall(c.Errors, [&] { jpeg_write_scanlines(&c.Info, &row, 1); });
    Progress.Step();
  }
  if (!aborted) JpegCall(c.Errors, [&] { jpeg_finish_compress(&c.Info); });
}
