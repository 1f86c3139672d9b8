// Accepting EXIF blocks and handing their TIFF structure to the TIFF reader.

#include "imaging/codecs/exif_decode.h"

#include <cstring>

TExifTiffReader ExifTiffReader = nullptr;

bool DecodeExifBlock(const uint8_t* Data, size_t Length, TIOParamsVals& Params) {
  if (Data == nullptr || Length < 5 || std::memcmp(Data, "Exif", 5) != 0) return false;
  if (ExifTiffReader && Length > sizeof kExifHeader)
    ExifTiffReader(Data + sizeof kExifHeader, Length - sizeof kExifHeader, Params);
  return true;
}
