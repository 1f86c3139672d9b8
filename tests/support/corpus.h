#pragma once
// The shared image corpus (../shared/testdata): its MANIFEST.tsv rows, file bytes, and the
// reference decodes as 8-bit RGBA. Tests that use it skip when it is absent.

#include <png.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace corpus {

inline const std::string kCorpus = VANDREL_TESTDATA_DIR;

// One row of MANIFEST.tsv.
struct TEntry {
  std::string Path, Format, Exercises, Expected, Reference;
};

// The rows of one format ("BMP", "PNG", "TIFF"); empty when the corpus is absent.
inline std::vector<TEntry> Entries(const std::string& Format) {
  std::vector<TEntry> out;
  std::ifstream in(kCorpus + "/MANIFEST.tsv");
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream ss(line);
    for (std::string c; std::getline(ss, c, '\t');) f.push_back(c);
    if (f.size() >= 7 && f[1] == Format) out.push_back({f[0], f[1], f[4], f[5], f[6]});
  }
  return out;
}

inline std::vector<uint8_t> ReadFile(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A reference image as 8-bit RGBA, read with libpng's simplified API.
struct TReference {
  int32_t Width = 0, Height = 0;
  std::vector<uint8_t> Rgba;
  bool Load(const std::string& Path) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, Path.c_str())) return false;
    img.format = PNG_FORMAT_RGBA;
    Rgba.resize(PNG_IMAGE_SIZE(img));
    Width = int32_t(img.width), Height = int32_t(img.height);
    return png_image_finish_read(&img, nullptr, Rgba.data(), 0, nullptr) != 0;
  }
};

}  // namespace corpus
