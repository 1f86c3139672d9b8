#include "app/jpeg_name_map.h"

TJpegNameMap::TJpegNameMap(const std::vector<std::string>& discFiles)
    : FDisc(discFiles.begin(), discFiles.end()) {}

std::string TJpegNameMap::JpegPath(const std::string& tiffPath) {
  const size_t slash = tiffPath.rfind('/');
  const size_t dot = tiffPath.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
    return tiffPath + ".JPG";
  }
  return tiffPath.substr(0, dot) + ".JPG";
}

bool TJpegNameMap::Claim(const std::string& tiffPath) {
  const std::string jpeg = JpegPath(tiffPath);
  if (FDisc.count(jpeg) != 0) return false;
  return FClaimed.insert(jpeg).second;
}
