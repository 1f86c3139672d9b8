#pragma once
// The EXIF block writer: the payload of a JPEG APP1 marker built from the Exif fields of a
// parameter set.

#include <cstdint>
#include <vector>

class TIOParamsVals;

// The APP1 payload ("Exif" 0 0 and a TIFF structure) for the Exif fields of Params. An empty
// result means that no block could be built; the caller then writes no APP1 marker.
std::vector<uint8_t> BuildExifBlock(const TIOParamsVals& Params);
