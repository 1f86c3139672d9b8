#include "imaging/view/standin_image_io.h"

#include <stdexcept>

void TStandInImageIO::LoadFromFile(const std::string& /*path*/) { FAbortFlag = true; }

void TStandInImageIO::SaveJpegFile(const std::string& path) {
  throw std::runtime_error("Cannot write " + path + ": no image is loaded.");
}
