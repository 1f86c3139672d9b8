// Accepting EXIF blocks and reading their TIFF structure with the TIFF reader.

#include "imaging/codecs/exif_decode.h"

#include <cstring>
#include <memory>

#include "imaging/codecs/tiff_reader.h"
#include "imaging/io/params.h"
#include "imaging/io/stream.h"
#include "imaging/model/bitmap.h"
#include "imaging/model/mask.h"
#include "imaging/model/orientation.h"

namespace {

// Reads the EXIF fields (first directory and its EXIF directory) through the TIFF reader in
// parameters-only mode, then the second directory as the thumbnail. A structure that cannot
// be read leaves Params' Exif fields as they were and reports false; nothing here touches the
// caller's failure flag.
bool ReadExifTiff(const uint8_t* Data, size_t Length, TIOParamsVals& Params) {
  TMemoryStream stream(Data, Length);
  TIOParamsVals fields(nullptr);
  TVLBitmap unused;
  std::unique_ptr<TVLMask> mask;
  int32_t pages = 0;
  bool failed = false;
  TVLProgressState progress;
  progress.AbortFlag = &failed;
  DecodeTiff(unused, stream, pages, false, true, false, mask, true, progress, fields);
  if (failed || pages == 0) return false;

  static_cast<TVLExifFields&>(Params) = static_cast<const TVLExifFields&>(fields);
  Params.ExifPresent = true;
  Params.ExifThumbnail.reset();
  if (pages < 2) return true;

  TIOParamsVals thumbParams(nullptr);
  thumbParams.TiffDirectoryIndex = 1;
  auto thumb = std::make_unique<TVLBitmap>();
  thumb->SetLocation(vlMemory);
  failed = false;
  stream.Seek(0, soBeginning);
  DecodeTiff(*thumb, stream, pages, true, true, false, mask, false, progress, thumbParams);
  if (!failed && !thumb->IsEmpty()) {
    ApplyOrientation(*thumb, Params.ExifOrientation);
    Params.ExifThumbnail = std::move(thumb);
  }
  return true;
}

}  // namespace

TExifTiffReader ExifTiffReader = &ReadExifTiff;

bool DecodeExifBlock(const uint8_t* Data, size_t Length, TIOParamsVals& Params) {
  if (Data == nullptr || Length < 5 || std::memcmp(Data, "Exif", 5) != 0) return false;
  if (ExifTiffReader && Length > sizeof kExifHeader)
    ExifTiffReader(Data + sizeof kExifHeader, Length - sizeof kExifHeader, Params);
  return true;
}
