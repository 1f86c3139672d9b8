// The EXIF block writer. Until the TIFF-structure writer is built it builds no block, so
// JPEG files are written without an APP1 EXIF marker.

#include "imaging/codecs/exif_writer.h"

std::vector<uint8_t> BuildExifBlock(const TIOParamsVals&) { return {}; }
