// Thumbnails of image files, made with our own imaging library.

#include <algorithm>

#include "imaging/component/dpi_adjust.h"
#include "imaging/component/vistrel_io.h"
#include "imaging/model/bitmap.h"
#include "shell/nautex.h"

std::unique_ptr<TVLBitmap> TNautex::Thumbnail(int Width, int Height) {
  if (Width <= 0 || Height <= 0) Width = Height = 64;
  if (!FObject || GetAttributes(SFGAO_FOLDER)) return nullptr;
  const std::string path = ObjectPath();
  if (path.empty()) return nullptr;
  auto bitmap = std::make_unique<TVLBitmap>();
  try {
    TVistrelIO io;
    io.LoadFromFile(path);
    TVLBitmap* loaded = io.TargetBitmap();
    if (!loaded || loaded->IsEmpty() || loaded->Width() <= 0 || loaded->Height() <= 0) {
      return nullptr;
    }
    loaded->HandOverTo(*bitmap);
  } catch (const std::exception&) {
    return nullptr;  // a file that cannot be opened has no thumbnail
  }
  // Reduced to fit, keeping the aspect ratio; a smaller image keeps its size.
  const int64_t w = bitmap->Width(), h = bitmap->Height();
  if (w > Width || h > Height) {
    const double scale = std::min(static_cast<double>(Width) / w, static_cast<double>(Height) / h);
    const int32_t nw = std::max<int32_t>(1, static_cast<int32_t>(w * scale + 0.5));
    const int32_t nh = std::max<int32_t>(1, static_cast<int32_t>(h * scale + 0.5));
    ResampleSmooth(*bitmap, std::min(nw, Width), std::min(nh, Height));
  } else if (bitmap->PixelFormat() != vl24RGB) {
    bitmap->SetPixelFormat(vl24RGB);
  }
  return bitmap;
}
