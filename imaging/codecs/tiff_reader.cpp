// The TIFF reader: header and directory walk, the parameter set, the pixel-format decision
// and the size check, then strips, tiles or an old-style JPEG stream into the bitmap.

#include "imaging/codecs/tiff_reader.h"

#include <memory>
#include <vector>

#include "imaging/codecs/jpeg/jpeg_internal.h"
#include "imaging/codecs/jpeg_codec.h"
#include "imaging/codecs/tiff/row_decoder.h"
#include "imaging/codecs/tiff/tiff_blocks.h"
#include "imaging/codecs/tiff/tiff_directory.h"
#include "imaging/codecs/tiff/tiff_pixels.h"
#include "imaging/codecs/tiff/tiff_tags.h"
#include "imaging/io/image_limits.h"
#include "imaging/io/params.h"
#include "imaging/io/stream.h"
#include "imaging/model/bitmap.h"
#include "imaging/model/mask.h"
#include "imaging/model/orientation.h"

namespace {

constexpr int64_t kMaxThumbnailSide = 400;
// Rows longer than this are not believed (the row decoder refuses them as well).
constexpr uint64_t kMaxRowBytes = uint64_t(1) << 30;

// The old-style JPEG test: compression 6 without a lossless process, or any image that
// points at an interchange-format JPEG stream.
bool IsOldStyleJpeg(const TTiffVars& V) {
  return (V.Compression == 6 && V.JPEGProc <= 1) ||
         (V.JPEGInterchangeFormat != 0 && V.JPEGProc <= 1);
}

// An old-style JPEG image: the JPEG stream at JPEGInterchangeFormat (or the first strip) is
// measured up to its end-of-image marker, copied and decoded with a parameter set of its own.
// A stream that cannot be located is a failure.
void ReadOldStyleJpeg(const TTiffDirectory& Dir, const TTiffVars& V, TVLBitmap& Bitmap,
                      TVLProgressState& Progress) {
  int64_t start = -1;
  if (V.JPEGInterchangeFormat != 0) start = Dir.Base() + V.JPEGInterchangeFormat;
  else if (!V.StripOffsets.empty()) start = Dir.Base() + V.StripOffsets[0];
  else if (!V.TileOffsets.empty()) start = Dir.Base() + V.TileOffsets[0];
  TStream& s = Dir.Stream();
  if (start < 0 || start >= Dir.StreamSize() || s.Seek(start, soBeginning) != start) {
    Progress.Abort();
    return;
  }
  const int64_t length = MeasureJpegData(s);
  if (length <= 0) {
    Progress.Abort();
    return;
  }
  std::vector<uint8_t> data(static_cast<size_t>(length));
  data.resize(Dir.ReadBytesAt(start, data.data(), data.size()));
  TMemoryStream jpeg(data.data(), data.size());
  TIOParamsVals scratch(nullptr);
  DecodeJpeg(jpeg, nullptr, Bitmap, false, false, false, false, false, Progress, scratch);
}

// Bytes of one stored row of the whole image, in 64 bits: 0 when the product overflows.
uint64_t StoredRowBytes(const TTiffVars& V) {
  const uint64_t bits = uint64_t(V.ImageWidth) * uint64_t(V.SamplesPerPixel);
  if (V.BitsPerSample <= 0 || bits > (UINT64_MAX / 2) / uint64_t(V.BitsPerSample)) return 0;
  return (bits * uint64_t(V.BitsPerSample) + 7) / 8;
}

// Sets up the caller's mask (or a new one) for an image with alpha: 8 bits, opaque.
TVLMask* PrepareAlpha(const TTiffVars& V, bool IgnoreAlpha, std::unique_ptr<TVLMask>& Mask) {
  if (IgnoreAlpha || !TiffHasAlpha(V)) return nullptr;
  if (!Mask) Mask = std::make_unique<TVLMask>();
  Mask->Setup(int32_t(V.ImageWidth), int32_t(V.ImageLength), 8);
  Mask->Fill(255);
  return Mask.get();
}

// Turns the bitmap upright, and its alpha (still in the mask) with it.
void AutoOrient(TVLBitmap& Bitmap, TVLMask* Mask, int32_t Orientation) {
  if (Orientation <= 1 || Orientation > 8) return;
  if (Mask != nullptr && Mask->Width() == Bitmap.Width() && Mask->Height() == Bitmap.Height()) {
    Bitmap.AlphaLayer()->LoadFromMask(Mask);
    ApplyOrientation(Bitmap, Orientation);
    Bitmap.AlphaLayer()->StoreToMask(*Mask);
    Bitmap.DropAlphaLayer();
  } else {
    ApplyOrientation(Bitmap, Orientation);
  }
}

void DecodeTiffImage(TVLBitmap& Bitmap, TStream& Stream, int32_t& PageCount, bool IsThumbnail,
                     bool IgnoreAlpha, bool OffsetsFromCurrent,
                     std::unique_ptr<TVLMask>& AlphaMask, bool ParamsOnly,
                     TVLProgressState& Progress, TIOParamsVals& Params) {
  PageCount = 0;
  const int64_t base = OffsetsFromCurrent ? Stream.Position() : 0;
  TTiffHeader header;
  if (base < 0 || ReadTiffHeader(Stream, base, header) != thsOk) {
    Progress.Abort();
    return;
  }
  if (header.FirstOffset == 0) return;

  TTiffDirectory dir(Stream, base, header.LittleEndian);
  const int32_t wanted = Params.TiffDirectoryIndex;
  const TTiffWalk walk = WalkTiffDirectories(dir, header.FirstOffset, wanted);
  PageCount = walk.PageCount;
  if (!walk.Found) {
    // A first directory that cannot be read is a bad file; a page that does not exist is not.
    if (walk.PageCount == 0) Progress.Abort();
    return;
  }

  std::unique_ptr<TTiffDirectory> exif;
  if (const uint32_t at = dir.Integer(34665, 0); at > 0) {
    exif = std::make_unique<TTiffDirectory>(Stream, base, header.LittleEndian);
    if (!exif->ReadAt(at)) exif.reset();
  }

  TTiffVars v;
  if (!ReadTiffVars(dir, v)) {
    Progress.Abort();
    return;
  }
  Params.TiffWarningCount = 0;
  FillTiffParams(dir, exif.get(), v, PageCount, Params);
  if (exif) Params.ExifPresent = true;

  // Parameters alone need no image (an EXIF block's first directory describes none).
  if (ParamsOnly) return;
  if (!IsThumbnail && (v.ImageWidth == 0 || v.ImageLength == 0)) {
    Progress.Abort();
    return;
  }
  if (v.Compression == 5 && Params.TiffLzwDecoder == nullptr && StandardLzwDecoder == nullptr) {
    Progress.Abort();
    return;
  }

  TRowAccessScope access(Bitmap, raWrite);
  if (IsThumbnail && (v.ImageWidth > kMaxThumbnailSide || v.ImageLength > kMaxThumbnailSide)) {
    Progress.Abort();
    return;
  }
  if (IsOldStyleJpeg(v)) {
    ReadOldStyleJpeg(dir, v, Bitmap, Progress);
  } else {
    // Every size is checked before anything is allocated.
    const uint64_t rowBytes = StoredRowBytes(v);
    if (!ImageSizeAllowed(v.ImageWidth, v.ImageLength) || rowBytes == 0 ||
        rowBytes > kMaxRowBytes) {
      Progress.Abort();
      return;
    }
    const TVLPixelFormat format = TiffTargetFormat(v, Params.KeepNativeFormat);
    Bitmap.Allocate(int32_t(v.ImageWidth), int32_t(v.ImageLength), format);
    if (format == vl8p)
      for (size_t i = 0; i < v.ColorMap.size() && i < 256; ++i)
        Bitmap.SetPaletteColor(int32_t(i), v.ColorMap[i]);
    TVLMask* mask = PrepareAlpha(v, IgnoreAlpha, AlphaMask);
    TTiffRowConverter converter(v, format, mask, &Params);
    if (converter.WritesAlpha()) mask->SetAllMax(false);
    const bool tiled = v.TileWidth > 0 || v.TileLength > 0;
    const bool compressionKnown = v.Compression == 7 || TiffRowCompressionSupported(v.Compression);
    if (compressionKnown && (converter.Supported() || v.Compression == 7)) {
      TTiffBlockReader blocks{dir, v, Bitmap, converter, Progress, Params};
      if (tiled && (!v.TileOffsets.empty() || !v.StripOffsets.empty())) {
        // Tiles write parts of rows: a file-backed bitmap must keep what earlier tiles wrote.
        Bitmap.RowAccess = raRead | raWrite;
        blocks.ReadTiles();
      } else if (!tiled) {
        blocks.ReadStrips();
      }
      Params.TiffWarningCount = blocks.Warnings;
    }
    if (mask != nullptr) mask->RecheckAllMax();
  }
  if (Params.TiffAutoOrient) AutoOrient(Bitmap, AlphaMask.get(), v.Orientation);
}

}  // namespace

void DecodeTiff(TVLBitmap& Bitmap, TStream& Stream, int32_t& PageCount, bool IsThumbnail,
                bool IgnoreAlpha, bool OffsetsFromCurrent, std::unique_ptr<TVLMask>& AlphaMask,
                bool ParamsOnly, TVLProgressState& Progress, TIOParamsVals& Params) {
  TAbortFlagScope flag(Progress);
  DecodeTiffImage(Bitmap, Stream, PageCount, IsThumbnail, IgnoreAlpha, OffsetsFromCurrent,
                  AlphaMask, ParamsOnly, Progress, Params);
}

bool HasCameraRawHeader(TStream& Stream) {
  const int64_t saved = Stream.Position();
  bool raw = false;
  try {
    TTiffHeader header;
    if (saved >= 0 && ReadTiffHeader(Stream, saved, header) == thsOk && header.FirstOffset != 0) {
      TTiffDirectory dir(Stream, saved, header.LittleEndian);
      if (dir.ReadAt(header.FirstOffset)) {
        const TTiffEntry* version = dir.Find(50706);
        const TTiffEntry* photometric = dir.Find(262);
        const uint32_t p = dir.Integer(262, 0);
        raw = (version != nullptr && version->Count == 4) ||
              (photometric != nullptr && photometric->Count == 1 && (p == 32803 || p == 34892)) ||
              (dir.Has(330) && dir.Has(37398) && dir.Integer(256, 0) < 200 &&
               dir.Integer(257, 0) < 200);
      }
    }
  } catch (...) {
    raw = false;
  }
  Stream.Seek(saved, soBeginning);
  return raw;
}
