#pragma once
// Reading the EXIF block of a JPEG APP1 marker into a parameter set.

#include <cstddef>
#include <cstdint>

class TIOParamsVals;

// The six bytes that begin an EXIF APP1 block: "Exif", 0, 0.
constexpr uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};

// Reads the TIFF structure of an EXIF block (Data points just after the six header bytes):
// fills the Exif fields of Params (setting ExifPresent) and ExifThumbnail (turned upright by
// the EXIF orientation). Returns false, leaving the fields as they were, when the structure
// cannot be read.
using TExifTiffReader = bool (*)(const uint8_t* Data, size_t Length, TIOParamsVals& Params);
extern TExifTiffReader ExifTiffReader;  // the TIFF reader's; may be replaced

// Accepts the block when it begins with "Exif" and a zero byte; then, when ExifTiffReader
// is set, lets it fill the Exif fields from the TIFF structure after
// the six header bytes. Returns whether the block was accepted (the header test alone).
bool DecodeExifBlock(const uint8_t* Data, size_t Length, TIOParamsVals& Params);
