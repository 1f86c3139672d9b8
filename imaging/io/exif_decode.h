#pragma once
// Reading the EXIF block of a JPEG APP1 marker into a parameter set.

#include <cstddef>
#include <cstdint>

class TIOParamsVals;

// The six bytes that begin an EXIF APP1 block: "Exif", 0, 0.
constexpr uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};

// Accepts the block when it begins with "Exif" and a zero byte, and fills the Exif fields
// of Params from the TIFF structure that follows the six header bytes. Returns whether the
// block was accepted.
bool DecodeExifBlock(const uint8_t* Data, size_t Length, TIOParamsVals& Params);
