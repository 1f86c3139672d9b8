// vlconvert IN OUT: loads an image file with the I/O component, chosen by IN's extension,
// and writes it to OUT in the format of OUT's extension (JPEG for .jpg, .jpeg and .jpe).
// Prints what was loaded and whether each step failed; exits with 0 only when both the
// load and the save succeeded.

#include <cstdio>
#include <exception>
#include <string>

#include "app/version.h"
#include "imaging/component/format_registry.h"
#include "imaging/component/vistrel_io.h"
#include "imaging/model/bitmap.h"

namespace {

const char* PixelFormatName(TVLPixelFormat f) {
  static const char* const kNames[kPixelFormatCount] = {
      "vlNull", "vl1g", "vl8p", "vl8g", "vl16g", "vl24RGB", "vl32f", "vlCMYK", "vlRGB48",
      "vlCIELab"};
  return (f >= 0 && f < kPixelFormatCount) ? kNames[f] : "?";
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

bool Listed(const std::string& path) {
  return FindFormatByExtension(ExtractFileExtension(path)).has_value();
}

int Run(const std::string& in, const std::string& out) {
  for (const std::string* path : {&in, &out}) {
    if (!Listed(*path)) {
      std::fprintf(stderr, "%s: unsupported format\n", path->c_str());
      return 2;
    }
  }
  TVistrelIO io;
  io.LoadFromFile(in);
  TVLBitmap& bitmap = *io.TargetBitmap();
  std::printf("%s %s: %d x %d, %s, %d x %d dpi, AbortFlag %s\n",
              io.AbortFlag() ? "failed" : "loaded", in.c_str(), bitmap.Width(), bitmap.Height(),
              PixelFormatName(bitmap.PixelFormat()), io.Params().DpiX(), io.Params().DpiY(),
              io.AbortFlag() ? "set" : "clear");
  if (io.AbortFlag()) return 1;

  const std::string ext = Lower(ExtractFileExtension(out));
  if (ext == ".jpg" || ext == ".jpeg" || ext == ".jpe")
    io.SaveJpegFile(out);
  else
    io.SaveToFile(out);
  std::printf("saved %s: AbortFlag %s\n", out.c_str(), io.AbortFlag() ? "set" : "clear");
  return io.AbortFlag() ? 1 : 0;
}

}  // namespace

const char* const kUsage =
    "Usage: vlconvert IN OUT\n"
    "Converts an image file: loads IN in the format of its extension and writes OUT in the\n"
    "format of its extension (JPEG for .jpg, .jpeg and .jpe).\n"
    "\n"
    "  --help     show this text\n"
    "  --version  show the program's version\n";

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::puts("vlconvert " VANDREL_VERSION);
    return 0;
  }
  if (argc != 3) {
    std::fprintf(stderr, "usage: vlconvert IN OUT\n");
    return 2;
  }
  try {
    return Run(argv[1], argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vlconvert: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "vlconvert: unknown error\n");
  }
  return 3;
}
