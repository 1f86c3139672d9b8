#pragma once
// Two small holders owned by the parameter set: the copied maker-note directory of an EXIF
// block, and the image annotations of TIFF tag 32932. Both keep raw bytes.

#include <cstdint>
#include <vector>

// The maker's EXIF directory, copied into memory of its own: an entry count followed by the
// entries (12 bytes each), then the data of entries longer than 4 bytes, with their offsets
// rewritten to count from the start of Data. Empty when the note did not qualify.
class TVLTagsHandler {
 public:
  std::vector<uint8_t> Data;
  bool LittleEndian = true;  // byte order of the numbers in Data

  size_t Size() const { return Data.size(); }
  bool Empty() const { return Data.empty(); }
  void Clear() {
    Data.clear();
    LittleEndian = true;
  }
  void Assign(const TVLTagsHandler& Source) {
    Data = Source.Data;
    LittleEndian = Source.LittleEndian;
  }
};

// Image annotations (TIFF tag 32932), kept as the bytes of the tag.
class TVLImagingAnnot {
 public:
  std::vector<uint8_t> Data;

  bool Empty() const { return Data.empty(); }
  void Clear() { Data.clear(); }
  void Assign(const TVLImagingAnnot& Source) { Data = Source.Data; }
};
