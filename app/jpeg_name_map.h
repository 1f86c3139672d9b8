#pragma once
// The JPEG names of a copy with "As JPEG": a TIFF becomes "<name>.JPG" only when no other
// image of the disc is copied under that name and no earlier TIFF of the same run took it.
// Otherwise the TIFF is copied unchanged under its own name, so that no image is lost to a
// name twin (a.TIF beside a.tif, IMG1.TIF beside IMG1.JPG). Names are compared byte for byte:
// names that differ in case are different files here.

#include <string>
#include <unordered_set>
#include <vector>

class TJpegNameMap {
 public:
  // The source paths of the images found on the disc.
  explicit TJpegNameMap(const std::vector<std::string>& discFiles);

  // The source-side path a TIFF at tiffPath would be written as: its extension replaced by
  // ".JPG".
  static std::string JpegPath(const std::string& tiffPath);
  // Takes the JPEG name of tiffPath for it; false when another image has it already.
  bool Claim(const std::string& tiffPath);

 private:
  std::unordered_set<std::string> FDisc;
  std::unordered_set<std::string> FClaimed;
};
