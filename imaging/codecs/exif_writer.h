#pragma once
// The EXIF block writer: the payload of a JPEG APP1 marker built from the Exif fields of a
// parameter set. The payload is "Exif" 0 0 followed by a small little-endian TIFF structure
// (header, the values too long for their entries, the EXIF directory, the first directory)
// without image data and without a thumbnail.

#include <cstdint>
#include <vector>

class TIOParamsVals;
class TVLTagsHandler;

// The APP1 payload ("Exif" 0 0 and a TIFF structure) for the Exif fields of Params. An empty
// result means that no block could be built; the caller then writes no APP1 marker. The
// block is returned whatever its size: whether a marker segment can hold it is the caller's
// decision.
std::vector<uint8_t> BuildExifBlock(const TIOParamsVals& Params);

// A real number as a TIFF rational. The numerator is stored as its 32-bit two's-complement
// pattern, so negative values read back correctly as signed rationals.
struct TVLExifRational {
  int32_t Numerator = 0;
  uint32_t Denominator = 1;
  bool operator==(const TVLExifRational&) const = default;
};

// Value as Numerator / Denominator: the denominator starts at 1 000 000 and is divided by 10
// while the numerator would pass 2 147 483 640 in magnitude (never below 1); the numerator is
// the product rounded to the nearest integer (ties to even), saturated to 32 bits. NaN gives
// 0 / 1.
TVLExifRational RealToRational(double Value);

// The maker-note directory of Note (entry count, 12-byte entries, their data; numbers in the
// note's own byte order, offsets counted from the note's start) with the offset of every
// entry whose data is longer than 4 bytes increased by Base, so that it counts from the TIFF
// header the note is copied into at position Base. Empty when the note cannot be carried
// over intact: the entries do not fit, an entry has an unknown type, its data lies outside
// the note, or a rebased offset does not fit in 32 bits.
std::vector<uint8_t> RebaseMakerNote(const TVLTagsHandler& Note, uint64_t Base);
