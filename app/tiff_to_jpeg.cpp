#include "app/tiff_to_jpeg.h"

#include "imaging/component/vistrel_io.h"

bool SaveLoadedTiffAsJpeg(TVistrelIO& Io, const std::string& Path) {
  if (Io.Params().TiffWarningCount > 0) return false;
  Io.Params().JpegColorSpace = jcYCbCr;
  Io.SaveJpegFile(Path);
  return !Io.AbortFlag();
}
