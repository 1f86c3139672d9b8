// The JPEG reader: one image from a stream into a bitmap and the parameter set.

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/codecs/exif_decode.h"
#include "imaging/codecs/jpeg/jpeg_glue.h"
#include "imaging/codecs/jpeg/jpeg_internal.h"
#include "imaging/codecs/jpeg/jpeg_scan.h"
#include "imaging/codecs/jpeg_codec.h"
#include "imaging/io/image_limits.h"
#include "imaging/io/params.h"
#include "imaging/io/stream.h"
#include "imaging/model/orientation.h"
#include "imaging/model/pixel_conversions.h"

namespace {

constexpr uint8_t kApp0 = 0xE0, kApp1 = 0xE1, kApp13 = 0xED;

// A decompression object with its error state and source manager, destroyed with it.
struct TDecompressor {
  explicit TDecompressor(bool* AbortFlag) {
    InitJpegErrors(*reinterpret_cast<j_common_ptr>(&Info), Errors, AbortFlag);
  }
  ~TDecompressor() { jpeg_destroy_decompress(&Info); }  // safe on a zeroed object
  TDecompressor(const TDecompressor&) = delete;
  TDecompressor& operator=(const TDecompressor&) = delete;

  j_common_ptr Common() { return reinterpret_cast<j_common_ptr>(&Info); }

  jpeg_decompress_struct Info{};
  TJpegErrorState Errors;
  TJpegSourceHolder Source;
};

// How decoded rows reach the bitmap.
enum TRowKind {
  rkDirect,      // the library writes the bitmap's row: gray, BGR, YCbCr, CMYK kept as CMYK
  rkCmykToRgb,   // CMYK through the row buffer into vl24RGB
  rkNone,        // unknown colour space: nothing is decoded
};

// Step 7: the parameter fields and the output colour space by the file's colour space.
J_COLOR_SPACE ChooseOutput(const jpeg_decompress_struct& Info, bool KeepNative, bool KeepYCbCr,
                           TIOParamsVals& Params) {
  Params.BitsPerSample = 8;
  switch (Info.jpeg_color_space) {
    case JCS_GRAYSCALE:
      Params.JpegColorSpace = jcGrayScale;
      Params.SamplesPerPixel = 1;
      // The library expands gray to blue, green and red itself when a colour bitmap is asked
      // for.
      return KeepNative ? JCS_GRAYSCALE : JCS_EXT_BGR;
    case JCS_RGB:
      Params.JpegColorSpace = jcRGB;
      Params.SamplesPerPixel = 3;
      // Unconverted RGB data comes out in blue, green, red order: the library's reorder is
      // the only one, with or without KeepYCbCr.
      return JCS_EXT_BGR;
    case JCS_YCbCr:
      Params.JpegColorSpace = jcYCbCr;
      Params.SamplesPerPixel = 3;
      return KeepYCbCr ? JCS_YCbCr : JCS_EXT_BGR;
    case JCS_CMYK:
      Params.JpegColorSpace = jcCMYK;
      Params.SamplesPerPixel = 4;
      return JCS_CMYK;
    case JCS_YCCK:
      Params.JpegColorSpace = jcYCbCrK;
      Params.SamplesPerPixel = 4;
      return JCS_CMYK;
    default:
      return Info.jpeg_color_space;
  }
}

// Step 13: the bitmap's pixel format for an output colour space (vlNull: not allocated).
TVLPixelFormat FormatFor(J_COLOR_SPACE Output, bool KeepNative) {
  if (!KeepNative) return vl24RGB;
  switch (Output) {
    case JCS_GRAYSCALE: return vl8g;
    case JCS_EXT_BGR:
    case JCS_YCbCr: return vl24RGB;
    case JCS_CMYK: return vlCMYK;
    default: return vlNull;
  }
}

J_DCT_METHOD DctMethod(TVLJPEGDCTMethod Method, J_DCT_METHOD Default) {
  switch (Method) {
    case jdISLOW: return JDCT_ISLOW;
    case jdIFAST: return JDCT_IFAST;
    case jdFLOAT: return JDCT_FLOAT;
    default: return Default;
  }
}

// Step 11: the scale denominator.
unsigned int ScaleDenominator(const jpeg_decompress_struct& Info, const TIOParamsVals& Params) {
  switch (Params.JpegScale) {
    case jsFullSize: return 1;
    case jsHalf: return 2;
    case jsQuarter: return 4;
    case jsEighth: return 8;
    case jsAutoCalc:
      if (Params.Width > 0 && Params.Height > 0) {
        for (unsigned int d : {8u, 4u, 2u})
          if (Info.image_width / d >= unsigned(Params.Width) &&
              Info.image_height / d >= unsigned(Params.Height))
            return d;
      }
      return 1;
    default: return 1;
  }
}

// Step 9: the resolution of the JFIF header (the library's defaults, unit 0 and density 1,
// when the file has none).
void ReadJfifResolution(const jpeg_decompress_struct& Info, TIOParamsVals& Params) {
  if (Info.density_unit == 2) {
    Params.SetDpiX(TruncSaturated(Info.X_density * 2.54));
    Params.SetDpiY(TruncSaturated(Info.Y_density * 2.54));
  } else {
    Params.SetDpiX(Info.X_density);
    Params.SetDpiY(Info.Y_density);
  }
}

// Step 17: every saved marker except the first APP0 (the JFIF header, which a writer makes
// anew). Must run before the library frees its image memory.
void CollectMarkers(const jpeg_decompress_struct& Info, TIOParamsVals& Params) {
  Params.JpegMarkers.Clear();
  bool app0Seen = false;
  for (jpeg_saved_marker_ptr m = Info.marker_list; m != nullptr; m = m->next) {
    if (m->marker == kApp0 && !app0Seen) {
      app0Seen = true;
      continue;
    }
    Params.JpegMarkers.AppendEntry(uint8_t(m->marker), m->data, m->data_length);
  }
}

bool IsExifBlock(const TVLMarkerList& Markers, int32_t Index) {
  return Markers.EntryLength(Index) >= int32_t(sizeof kExifHeader) &&
         std::memcmp(Markers.EntryData(Index), kExifHeader, sizeof kExifHeader) == 0;
}

// Step 21: IPTC from the first APP13, EXIF from the first APP1 that holds an EXIF block, and
// the resolution rule. True when an EXIF block was accepted.
bool ReadMetadataMarkers(TIOParamsVals& Params) {
  const TVLMarkerList& markers = Params.JpegMarkers;
  const int32_t iptc = markers.FindType(kApp13);
  if (iptc >= 0) Params.IptcRecords.DecodeRecords(markers.EntryData(iptc), size_t(markers.EntryLength(iptc)));

  // An XMP packet may come first in its own APP1: the EXIF block is the first APP1 that
  // carries the EXIF header.
  int32_t exif = -1;
  for (int32_t i = 0; i < markers.Count() && exif < 0; ++i)
    if (markers.EntryType(i) == kApp1 && IsExifBlock(markers, i)) exif = i;
  if (exif < 0) return false;
  const int32_t savedX = Params.DpiX(), savedY = Params.DpiY();
  const std::vector<uint8_t> block(*markers.EntryBytes(exif));  // the decoder may edit the list
  if (!DecodeExifBlock(block.data(), block.size(), Params)) return false;
  if (savedX == 1 && savedY == 1) {
    // No resolution from the JFIF header (an aspect ratio only): EXIF gives it.
    const double f = Params.ExifResolutionUnit == 3 ? 2.54 : 1.0;
    const int32_t x = TruncSaturated(Params.ExifXResolution * f);
    const int32_t y = TruncSaturated(Params.ExifYResolution * f);
    Params.SetDpiX(x);
    Params.SetDpiY(y);
  } else {
    Params.SetDpiX(savedX);
    Params.SetDpiY(savedY);
  }
  return true;
}

}  // namespace

void DecodeJpegImage(TStream& Stream, TStream* TablesStream, TVLBitmap& Bitmap, bool InvertCMYK,
                     bool ReadMetadata, bool KeepYCbCr, bool ParamsOnly,
                     TVLProgressState& Progress, TIOParamsVals& Params) {
  TAbortFlagScope flagScope(Progress);
  bool& aborted = *Progress.AbortFlag;
  Params.JpegWarningCount = 0;
  Params.JpegLastWarning = 0;

  int64_t start = -1;
  try {
    start = LocateJpegStart(Stream);
    if (start >= 0) {
      Stream.Seek(start, soBeginning);
      std::vector<uint8_t> profile;
      if (ReadJpegIccProfile(Stream, profile))
        Params.SourceProfile().LoadProfileBytes(profile.data(), profile.size());
      Stream.Seek(start, soBeginning);
    }
  } catch (...) {
    start = -1;  // a stream that fails to read is a failed read like any other
  }
  if (start < 0) {
    aborted = true;
    return;
  }

  TDecompressor d(Progress.AbortFlag);
  try {
    JpegCall(d.Errors, [&] { jpeg_create_decompress(&d.Info); });
    LimitJpegMemory(*d.Common());
  } catch (const EVLJpegException&) {
    return;  // the library could not even start (memory); the flag is set
  }

  // Step 5: the tables of an abbreviated datastream. A library error there is a bad file;
  // an exception of the tables stream itself is a failure of the environment and leaves.
  if (TablesStream != nullptr && TablesStream != &Stream) {
    d.Source.Attach(d.Info, *TablesStream);
    int result = JPEG_HEADER_TABLES_ONLY;
    if (!JpegTry(d.Errors, [&] { result = jpeg_read_header(&d.Info, FALSE); })) {
      if (d.Errors.Pending) ThrowJpegFailure(d.Errors);
    } else if (result == JPEG_HEADER_OK) {
      // The tables stream held an image: keep its tables, drop the rest.
      JpegTry(d.Errors, [&] { jpeg_abort_decompress(&d.Info); });
    }
    d.Source.GiveBackUnread();
  }
  d.Source.Attach(d.Info, Stream);

  int32_t stored = 0;     // rows stored into the bitmap
  bool decoding = false;  // jpeg_start_decompress succeeded
  if (!aborted) {
    try {
      JpegCall(d.Errors, [&] {
        jpeg_save_markers(&d.Info, JPEG_COM, 0xFFFF);
        for (int i = 0; i < 16; ++i) jpeg_save_markers(&d.Info, JPEG_APP0 + i, 0xFFFF);
      });
      JpegCall(d.Errors, [&] { jpeg_read_header(&d.Info, TRUE); });

      const bool keepNative = Params.KeepNativeFormat;
      d.Info.out_color_space = ChooseOutput(d.Info, keepNative, KeepYCbCr, Params);
      d.Info.dct_method = DctMethod(Params.JpegDCTMethod, d.Info.dct_method);
      ReadJfifResolution(d.Info, Params);
      Params.ColorMap.clear();
      Params.JpegProgressive = d.Info.progressive_mode != 0;
      Params.JpegFullWidth = int32_t(d.Info.image_width);
      Params.JpegFullHeight = int32_t(d.Info.image_height);
      d.Info.scale_num = 1;
      d.Info.scale_denom = ScaleDenominator(d.Info, Params);
      Params.JpegScaleApplied = int32_t(d.Info.scale_denom);

      // A size beyond what any reader accepts fails before the library sizes its buffers.
      if (!ImageSizeAllowed(d.Info.image_width, d.Info.image_height)) {
        aborted = true;
      } else if (ParamsOnly) {
        JpegCall(d.Errors, [&] { jpeg_calc_output_dimensions(&d.Info); });
        Params.Width = int32_t(d.Info.output_width);
        Params.Height = int32_t(d.Info.output_height);
      } else {
        JpegCall(d.Errors, [&] { jpeg_start_decompress(&d.Info); });
        decoding = true;
        Params.Width = int32_t(d.Info.output_width);
        Params.Height = int32_t(d.Info.output_height);
      }
    } catch (...) {
      aborted = true;
    }
  }

  if (decoding && !aborted) {
    const int32_t width = int32_t(d.Info.output_width);
    const int32_t height = int32_t(d.Info.output_height);
    const J_COLOR_SPACE output = d.Info.out_color_space;
    const TVLPixelFormat format = FormatFor(output, Params.KeepNativeFormat);
    const TRowKind kind = output == JCS_CMYK && format == vl24RGB ? rkCmykToRgb
                          : (output == JCS_GRAYSCALE || output == JCS_EXT_BGR ||
                             output == JCS_YCbCr || output == JCS_CMYK)
                              ? rkDirect
                              : rkNone;
    std::vector<JSAMPLE> rowBuffer(size_t(width) * size_t(std::max(4, d.Info.out_color_components)));
    // Allocation failures leave to the caller (with the library object cleaned up).
    if (format != vlNull) Bitmap.Allocate(width, height, format);

    Progress.StepPercent = 100.0 / height;
    Progress.StepsDone = 0;
    TRowAccessScope writeOnly(Bitmap, raWrite);
    try {
      while (kind != rkNone && format != vlNull && d.Info.output_scanline < d.Info.output_height &&
             stored < Bitmap.Height()) {
        JSAMPROW row = kind == rkDirect ? Bitmap.Scanline(stored) : rowBuffer.data();
        if (row == nullptr) break;
        JDIMENSION got = 0;
        JpegCall(d.Errors, [&] { got = jpeg_read_scanlines(&d.Info, &row, 1); });
        if (got == 0) break;
        if (kind == rkCmykToRgb) {
          if (InvertCMYK)
            for (size_t i = 0; i < size_t(width) * 4; ++i) rowBuffer[i] = JSAMPLE(255 - rowBuffer[i]);
          ConvertSampleRow(rowBuffer.data(), slCMYK, Bitmap.Scanline(stored), &Params, width,
                           slTRGB);
        }
        ++stored;
        Progress.StepsDone += int32_t(got);
        Progress.Report();
        if (aborted) break;
      }
    } catch (...) {
      aborted = true;
    }
    if (stored < height) aborted = true;
  }

  CollectMarkers(d.Info, Params);
  if (decoding && !aborted) {
    // The image is complete; a damaged tail after it does not fail the read.
    const bool before = aborted;
    JpegTry(d.Errors, [&] { jpeg_finish_decompress(&d.Info); });
    aborted = before;
  }
  d.Source.GiveBackUnread();
  if (d.Info.err->num_warnings > 0) {
    Params.JpegWarningCount = int32_t(std::min<long>(d.Info.err->num_warnings, INT32_MAX));
    Params.JpegLastWarning = d.Errors.LastWarning;
  }

  if (!ReadMetadata) return;
  ReadMetadataMarkers(Params);
  // The orientation turns decoded pixels only: never a bitmap left untouched.
  if (Params.JpegAutoOrient && !ParamsOnly && stored > 0) {
    const int32_t o = Params.ExifOrientation;
    ApplyOrientation(Bitmap, o);
    if (o >= 5 && o <= 8) std::swap(Params.Width, Params.Height);
  }
}
