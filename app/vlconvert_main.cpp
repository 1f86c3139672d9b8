// vlconvert IN OUT: loads an image file with the I/O component, chosen by IN's extension,
// and writes it to OUT in the format of OUT's extension (JPEG for .jpg, .jpeg and .jpe).
// Prints what was loaded and whether each step failed. The exit status says which step
// failed: 0 both succeeded, 1 the load failed, 2 wrong arguments or an unsupported format,
// 3 the save failed.

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

enum TExit { kOk = 0, kLoadFailed = 1, kUsage = 2, kSaveFailed = 3 };

// The step under way, so that an error is reported with the step it ended.
TExit gFailingStep = kLoadFailed;

int Run(const std::string& in, const std::string& out) {
  for (const std::string* path : {&in, &out}) {
    if (!Listed(*path)) {
      std::fprintf(stderr, "%s: unsupported format\n", path->c_str());
      return kUsage;
    }
  }
  TVistrelIO io;
  io.LoadFromFile(in);
  TVLBitmap& bitmap = *io.TargetBitmap();
  std::printf("%s %s: %d x %d, %s, %d x %d dpi, AbortFlag %s\n",
              io.AbortFlag() ? "failed to load" : "loaded", in.c_str(), bitmap.Width(), bitmap.Height(),
              PixelFormatName(bitmap.PixelFormat()), io.Params().DpiX(), io.Params().DpiY(),
              io.AbortFlag() ? "set" : "clear");
  if (io.Params().FileType == ftTIFF)
    std::printf("pages %d, warnings %d\n", io.Params().ImageCount(),
                io.Params().TiffWarningCount);
  if (io.AbortFlag()) return kLoadFailed;

  gFailingStep = kSaveFailed;
  const std::string ext = Lower(ExtractFileExtension(out));
  if (ext == ".jpg" || ext == ".jpeg" || ext == ".jpe")
    io.SaveJpegFile(out);
  else
    io.SaveToFile(out);
  std::printf("saved %s: AbortFlag %s\n", out.c_str(), io.AbortFlag() ? "set" : "clear");
  return io.AbortFlag() ? kSaveFailed : kOk;
}

}  // namespace

const char* const kHelpText =
    "Usage: vlconvert IN OUT\n"
    "Converts an image file: loads IN in the format of its extension and writes OUT in the\n"
    "format of its extension (JPEG for .jpg, .jpeg and .jpe).\n"
    "\n"
    "  --help     show this text\n"
    "  --version  show the program's version\n";

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--help") {
    std::fputs(kHelpText, stdout);
    return 0;
  }
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::puts("vlconvert " VANDREL_VERSION);
    return 0;
  }
  if (argc != 3) {
    std::fprintf(stderr, "usage: vlconvert IN OUT\n");
    return kUsage;
  }
  try {
    return Run(argv[1], argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vlconvert: %s: %s\n",
                 gFailingStep == kLoadFailed ? "load failed" : "save failed", e.what());
  } catch (...) {
    std::fprintf(stderr, "vlconvert: %s: unknown error\n",
                 gFailingStep == kLoadFailed ? "load failed" : "save failed");
  }
  return gFailingStep;
}
