// Reading the image description from a TIFF directory and filling the parameter set.

#include "imaging/codecs/tiff/tiff_tags.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "imaging/codecs/tiff/tiff_directory.h"
#include "imaging/codecs/tiff/tiff_exif.h"
#include "imaging/io/params.h"

namespace {

// trunc(Value) kept within the 32-bit range; NaN gives 0.
int32_t Saturate(double Value) {
  if (std::isnan(Value)) return 0;
  if (Value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (Value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return int32_t(Value);
}

// The palette of tag 320: red, green and blue runs of 2^bits values each, as many entries as
// both the bit depth and the tag's count allow. 16-bit maps give their high bytes, unless all
// values are below 256 (maps written with 8-bit values).
std::vector<TRGB> ReadColorMap(const TTiffDirectory& Dir, int32_t Bits) {
  std::vector<uint32_t> v = Dir.Integers(320);
  if (v.empty() || Bits < 1 || Bits > 16) return {};
  const size_t runs = size_t(1) << Bits;
  const size_t entries = std::min(runs, v.size() / 3);
  if (entries == 0) return {};
  // Entry i takes red from i, green from runs + i and blue from 2 runs + i; with a short
  // map the runs are as long as the count allows.
  const size_t run = std::min(runs, v.size() / 3);
  uint32_t largest = 0;
  for (size_t i = 0; i < 3 * run; ++i) largest = std::max(largest, v[i]);
  const unsigned shift = largest < 256 ? 0 : 8;
  std::vector<TRGB> map(entries);
  for (size_t i = 0; i < entries; ++i) {
    map[i].r = uint8_t(v[i] >> shift);
    map[i].g = uint8_t(v[run + i] >> shift);
    map[i].b = uint8_t(v[2 * run + i] >> shift);
  }
  return map;
}

}  // namespace

bool ReadTiffVars(const TTiffDirectory& Dir, TTiffVars& V) {
  V.LittleEndian = Dir.LittleEndian();
  V.ImageWidth = Dir.Integer(256, 0);
  V.ImageLength = Dir.Integer(257, 0);
  V.SamplesPerPixel = int32_t(std::min<uint32_t>(Dir.Integer(277, 1), 0xFFFF));
  if (const TTiffEntry* e = Dir.Find(258)) {
    if (e->Count <= 1) {
      V.BitsPerSample = int32_t(std::min<uint32_t>(Dir.Integer(258, 1), 0xFFFF));
    } else {
      const std::vector<uint32_t> bits = Dir.Integers(258);
      if (bits.empty()) return false;
      for (uint32_t b : bits)
        if (b != bits[0]) return false;
      V.BitsPerSample = int32_t(std::min<uint32_t>(bits[0], 0xFFFF));
    }
  } else {
    V.BitsPerSample = 1;
  }
  const uint32_t rps = Dir.Integer(278, 0);
  V.RowsPerStrip = (rps == 0 || rps == 0xFFFFFFFF) ? V.ImageLength : int64_t(rps);
  if (Dir.Has(322)) V.TileWidth = Dir.Integer(322, 0);
  if (Dir.Has(323)) V.TileLength = Dir.Integer(323, 0);
  V.Photometric = int32_t(Dir.Integer(262, 2));
  V.PlanarConfiguration = int32_t(Dir.Integer(284, 1));
  V.Orientation = int32_t(Dir.Integer(274, 1));
  V.Compression = int32_t(Dir.Integer(259, 1));
  V.StripOffsets = Dir.Integers(273);
  V.StripByteCounts = Dir.Integers(279);
  V.TileOffsets = Dir.Integers(324);
  V.TileByteCounts = Dir.Integers(325);
  V.ResolutionUnit = int32_t(Dir.Integer(296, 2));
  V.Predictor = int32_t(Dir.Integer(317, 1));
  V.JPEGTables = Dir.Bytes(347);
  V.XResolution = Dir.Rational(282);
  V.YResolution = Dir.Rational(283);
  V.XPosition = Dir.Rational(286);
  V.YPosition = Dir.Rational(287);
  V.T4Options = Dir.Integer(292, 0);
  V.FillOrder = int32_t(Dir.Integer(266, 1));
  Dir.Ascii(305, V.Software);
  V.JPEGProc = Dir.Integer(512, 0);
  V.JPEGInterchangeFormat = Dir.Integer(513, 0);
  V.ExtraSamples = int32_t(Dir.Integer(338, 0));
  if (V.BitsPerSample == 1 && V.SamplesPerPixel == 1 && V.Compression >= 1 &&
      V.Compression <= 4 && V.Photometric == 2)
    V.Photometric = 0;
  V.ColorMap = ReadColorMap(Dir, V.BitsPerSample);
  return true;
}

void FillTiffParams(const TTiffDirectory& Dir, const TTiffDirectory* Exif, const TTiffVars& V,
                    int32_t PageCount, TIOParamsVals& P) {
  if (const std::vector<uint8_t> iptc = Dir.Bytes(33723); !iptc.empty())
    P.IptcRecords.DecodeRecords(iptc.data(), iptc.size());
  else
    P.IptcRecords.Clear();
  if (Dir.Has(32932)) P.Annotations().Data = Dir.Bytes(32932);
  if (Dir.Has(34675)) {
    const std::vector<uint8_t> icc = Dir.Bytes(34675);
    P.SourceProfile().LoadProfileBytes(icc.data(), icc.size());
  }

  P.BitsPerSample = V.BitsPerSample;
  P.SamplesPerPixel = V.SamplesPerPixel;
  P.Width = int32_t(std::min<int64_t>(V.ImageWidth, INT32_MAX));
  P.Height = int32_t(std::min<int64_t>(V.ImageLength, INT32_MAX));
  P.SetImageCount(PageCount);
  P.SetTiffOrientation(V.Orientation);

  P.TiffCompression = TIFFCompressionFromTag(uint32_t(V.Compression), V.T4Options);
  TVLTIFFPhotometric photometric;
  if (TIFFPhotometricFromTag(uint32_t(V.Photometric), photometric)) P.TiffPhotometric = photometric;
  P.TiffPlanarConfiguration = V.PlanarConfiguration;

  Dir.Ascii(269, P.TiffDocumentName);
  Dir.Ascii(270, P.TiffImageDescription);
  Dir.Ascii(285, P.TiffPageName);
  if (const TTiffEntry* e = Dir.Find(297)) {
    P.TiffPageNumber = int32_t(Dir.IntegerAt(*e, 0));
    P.TiffPageCount = int32_t(Dir.IntegerAt(*e, 1));
  }
  P.TiffFillOrder = V.FillOrder;

  FillMainDirectoryExif(Dir, P);
  if (Exif != nullptr) FillExifDirectory(*Exif, P);

  P.ColorMap = V.ColorMap;

  const double factor = V.ResolutionUnit == 3 ? 2.54 : 1.0;
  const int32_t dpiX = Saturate(V.XResolution * factor);
  const int32_t dpiY = Saturate(V.YResolution * factor);
  P.SetDpiX(dpiX == 0 ? FallbackDpiX : dpiX);
  P.SetDpiY(dpiY == 0 ? FallbackDpiY : dpiY);
  // The Exif resolution keeps the file's own value, which goes with ExifResolutionUnit.
  if (V.XResolution > 0) P.ExifXResolution = V.XResolution;
  if (V.YResolution > 0) P.ExifYResolution = V.YResolution;
  P.TiffPositionX = Saturate(V.XPosition * factor);
  P.TiffPositionY = Saturate(V.YPosition * factor);
}
