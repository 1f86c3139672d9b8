// TVistrelIO: loading by extension, by type and by content, and the format loaders.

#include <cctype>
#include <memory>

#include "imaging/codecs/bmp_codec.h"
#include "imaging/codecs/jpeg_codec.h"
#include "imaging/codecs/png_codec.h"
#include "imaging/codecs/tiff_reader.h"
#include "imaging/io/stream.h"
#include "imaging/component/format_detect.h"
#include "imaging/component/view_link.h"
#include "imaging/component/vistrel_io.h"
#include "imaging/model/bitmap.h"
#include "imaging/model/mask.h"

namespace {

std::string LowerAscii(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Reader of a format whose codec is not built.
void NotBuiltReader(TStream&, TVLProgressState& Progress, std::unique_ptr<TVLMask>&) {
  Progress.Abort();
}

}  // namespace

// ---- Dispatch ------------------------------------------------------------------------------------

void TVistrelIO::LoadFromFile(const std::string& FileName) {
  if (TargetBitmap() == nullptr) return;
  if (FileName.empty()) {
    FAbortFlag = true;
    FireFinishWork();
    return;
  }
  if (LowerAscii(FileName.substr(0, 7)) == "http://") {
    LoadFromURL(FileName);
    return;
  }
  const std::string ext = LowerAscii(ExtractFileExtension(FileName));
  if (ext == ".avi") {
    LoadVideoFrame(FileName);
    return;
  }
  const std::optional<TVLFormatEntry> entry = FindFormatByExtension(ext);
  if (!entry) return;  // not a format we know: nothing is read and nothing reported
  if (entry->InternalFormat && LoadByType(FileName, entry->FileType)) return;
  LoadThroughRegistry(*entry, FileName);
}

bool TVistrelIO::LoadByType(const std::string& FileName, TVLFileType FileType) {
  switch (FileType) {
    case ftTIFF: LoadTiffFile(FileName); return true;
    case ftJPEG: LoadJpegFile(FileName); return true;
    case ftBMP: LoadBmpFile(FileName); return true;
    case ftPNG: LoadPngFile(FileName); return true;
    case ftGIF: LoadGifFile(FileName); return true;
    case ftPCX: LoadPcxFile(FileName); return true;
    case ftICO: LoadIcoFile(FileName); return true;
    case ftCUR: LoadCurFile(FileName); return true;
    case ftWMF:
    case ftEMF: LoadMetaFile(FileName); return true;
    case ftTGA: LoadTgaFile(FileName); return true;
    case ftPXM: LoadPxmFile(FileName); return true;
    case ftJP2: LoadJp2File(FileName); return true;
    case ftJ2K: LoadJ2kFile(FileName); return true;
    case ftWBMP: LoadWbmpFile(FileName); return true;
    case ftDCX: LoadDcxFile(FileName); return true;
    case ftRAW: LoadRawFile(FileName); return true;
    default: return false;
  }
}

void TVistrelIO::LoadThroughRegistry(const TVLFormatEntry& Entry, const std::string& FileName) {
  TIOParamsVals& params = Params();
  params.FileName.clear();
  params.FileType = ftUnknown;
  params.ClearReadInfo();
  if (!Entry.ReadFunction) {  // PostScript, PDF and other write-only formats
    FAbortFlag = true;
    FireFinishWork();
    return;
  }
  if (!PrepareTarget()) {
    FAbortFlag = true;
    return;
  }
  std::unique_ptr<TFileStream> file;
  try {
    file = std::make_unique<TFileStream>(FileName, fmOpenRead);
  } catch (...) {
    FAbortFlag = true;  // a caller that catches the exception sees a failed load
    FireFinishWork();
    throw;
  }
  FAbortFlag = false;
  params.FileName = FileName;
  params.FileType = Entry.FileType;
  TVLProgressState progress = MakeProgress();
  try {
    Entry.ReadFunction(*file, *TargetBitmap(), params, progress);
  } catch (...) {
    // An external reader's failure, whatever it raises, is a failed load.
    FAbortFlag = true;
  }
  try {
    if (!FAbortFlag) {
      if (AutoAdjustDPI()) AdjustDPI();
      if (AttachedVistrel() != nullptr) AttachedVistrel()->SetDpi(params.DpiX(), params.DpiY());
    }
    UpdateAttached();
  } catch (...) {
    FAbortFlag = true;  // the caller gets the exception and a failed load
    throw;
  }
  file.reset();
  FireFinishWork();
}

void TVistrelIO::LoadFileAsType(const std::string& FileName, TVLFileType FileType) {
  if (FileType == ftRawPixels) {
    LoadRawPixelsFile(FileName);
    return;
  }
  if (LoadByType(FileName, FileType)) return;
  if (const std::optional<TVLFormatEntry> entry = FindFormatByType(FileType))
    LoadThroughRegistry(*entry, FileName);
}

void TVistrelIO::LoadFileByContent(const std::string& FileName) {
  const TVLFileType type = DetectFileType(FileName, false);
  if (type != ftUnknown)
    LoadFileAsType(FileName, type);
  else
    LoadFromFile(FileName);
}

// ---- The common shape of a format loader -----------------------------------------------------------

void TVistrelIO::RunLoader(const std::string* FileName, TStream* Stream, TVLFileType FileType,
                           bool AbortFirst, const TLoaderReader& Reader) {
  FAbortFlag = AbortFirst;
  if (!PrepareTarget()) {
    FireFinishWork();
    return;
  }
  TIOParamsVals& params = Params();
  params.ClearReadInfo();
  std::unique_ptr<TFileStream> file;
  try {
    if (FileName != nullptr) {
      file = std::make_unique<TFileStream>(*FileName, fmOpenRead);
      Stream = file.get();
    }
    FAbortFlag = false;
    if (FileType == ftPNG) params.PngBackground = ColorToRGB(Background());
    TVLBitmap& bitmap = *TargetBitmap();
    bitmap.DropAlphaLayer();
    TVLProgressState progress = MakeProgress();
    std::unique_ptr<TVLMask> mask;
    Reader(*Stream, progress, mask);
    CheckDPI();
    // A mask that does not match the image (a reader that failed half-way) is dropped, so
    // the bitmap never gets an alpha channel of another size.
    if (mask && mask->Width() == bitmap.Width() && mask->Height() == bitmap.Height())
      bitmap.AlphaLayer()->LoadFromMask(mask.get());
    mask.reset();
    if (AutoAdjustDPI()) AdjustDPI();
    if (AttachedVistrel() != nullptr) AttachedVistrel()->SetDpi(params.DpiX(), params.DpiY());
    params.FileName = FileName != nullptr ? *FileName : std::string();
    params.FileType = FileType;
    if (FileType == ftPNG) {
      const TRGB c = params.PngBackground;
      SetBackground(TColor(uint32_t(c.r) | (uint32_t(c.g) << 8) | (uint32_t(c.b) << 16)));
    }
    UpdateAttached();
  } catch (...) {
    // The file could not be opened or the reader raised: the load failed, whatever the
    // flag said before, and the caller gets the exception.
    file.reset();
    FAbortFlag = true;
    FireFinishWork();
    throw;
  }
  file.reset();
  FireFinishWork();
}

void TVistrelIO::LoadNotBuilt(const std::string& FileName, TVLFileType FileType) {
  RunLoader(&FileName, nullptr, FileType, false, NotBuiltReader);
}

// ---- TIFF, JPEG, BMP, PNG ----------------------------------------------------------------------------

namespace {
// The TIFF reader as the component calls it: not a thumbnail, alpha kept, parameters and
// pixels; offsets count from the position the data starts at unless stream headers say
// otherwise.
auto TiffReader(TVistrelIO& io, bool offsetsFromCurrent) {
  return [&io, offsetsFromCurrent](TStream& s, TVLProgressState& p,
                                   std::unique_ptr<TVLMask>& mask) {
    int32_t pageCount = 0;
    DecodeTiff(*io.TargetBitmap(), s, pageCount, false, false, offsetsFromCurrent, mask, false,
               p, io.Params());
  };
}
auto JpegReader(TVistrelIO& io) {
  return [&io](TStream& s, TVLProgressState& p, std::unique_ptr<TVLMask>&) {
    DecodeJpeg(s, nullptr, *io.TargetBitmap(), true, false, true, false, false, p, io.Params());
  };
}
auto BmpReader(TVistrelIO& io) {
  return [&io](TStream& s, TVLProgressState& p, std::unique_ptr<TVLMask>& mask) {
    DecodeBmp(s, *io.TargetBitmap(), 0, false, mask, false, false, p, io.Params());
  };
}
auto PngReader(TVistrelIO& io) {
  return [&io](TStream& s, TVLProgressState& p, std::unique_ptr<TVLMask>& mask) {
    DecodePng(s, *io.TargetBitmap(), io.Params(), false, mask, false, p);
  };
}
}  // namespace

void TVistrelIO::LoadTiffFile(const std::string& FileName) {
  RunLoader(&FileName, nullptr, ftTIFF, false, TiffReader(*this, true));
}
void TVistrelIO::LoadTiffStream(TStream& Stream) {
  RunLoader(nullptr, &Stream, ftTIFF, false, TiffReader(*this, !StreamHeaders()));
}
void TVistrelIO::LoadJpegFile(const std::string& FileName) {
  RunLoader(&FileName, nullptr, ftJPEG, true, JpegReader(*this));
}
void TVistrelIO::LoadJpegStream(TStream& Stream) {
  RunLoader(nullptr, &Stream, ftJPEG, true, JpegReader(*this));
}
void TVistrelIO::LoadBmpFile(const std::string& FileName) {
  RunLoader(&FileName, nullptr, ftBMP, false, BmpReader(*this));
}
void TVistrelIO::LoadBmpStream(TStream& Stream) {
  RunLoader(nullptr, &Stream, ftBMP, false, BmpReader(*this));
}
void TVistrelIO::LoadPngFile(const std::string& FileName) {
  RunLoader(&FileName, nullptr, ftPNG, true, PngReader(*this));
}
void TVistrelIO::LoadPngStream(TStream& Stream) {
  RunLoader(nullptr, &Stream, ftPNG, true, PngReader(*this));
}

// ---- Formats whose readers are not built -----------------------------------------------------------

void TVistrelIO::LoadGifFile(const std::string& FileName) { LoadNotBuilt(FileName, ftGIF); }
void TVistrelIO::LoadPcxFile(const std::string& FileName) { LoadNotBuilt(FileName, ftPCX); }
void TVistrelIO::LoadIcoFile(const std::string& FileName) { LoadNotBuilt(FileName, ftICO); }
void TVistrelIO::LoadCurFile(const std::string& FileName) { LoadNotBuilt(FileName, ftCUR); }
void TVistrelIO::LoadMetaFile(const std::string& FileName) {
  const bool emf = LowerAscii(ExtractFileExtension(FileName)) == ".emf";
  LoadNotBuilt(FileName, emf ? ftEMF : ftWMF);
}
void TVistrelIO::LoadTgaFile(const std::string& FileName) { LoadNotBuilt(FileName, ftTGA); }
void TVistrelIO::LoadPxmFile(const std::string& FileName) { LoadNotBuilt(FileName, ftPXM); }
void TVistrelIO::LoadJp2File(const std::string& FileName) { LoadNotBuilt(FileName, ftJP2); }
void TVistrelIO::LoadJ2kFile(const std::string& FileName) { LoadNotBuilt(FileName, ftJ2K); }
void TVistrelIO::LoadWbmpFile(const std::string& FileName) { LoadNotBuilt(FileName, ftWBMP); }
void TVistrelIO::LoadDcxFile(const std::string& FileName) { LoadNotBuilt(FileName, ftDCX); }
void TVistrelIO::LoadRawFile(const std::string& FileName) { LoadNotBuilt(FileName, ftRAW); }
void TVistrelIO::LoadRawPixelsFile(const std::string& FileName) {
  LoadNotBuilt(FileName, ftRawPixels);
}

void TVistrelIO::LoadFromURL(const std::string&) {
  FAbortFlag = true;
  FireFinishWork();
}

void TVistrelIO::LoadVideoFrame(const std::string& FileName) {
  FAbortFlag = true;
  Params().FileName = FileName;
  Params().FileType = ftAVI;
  FireFinishWork();
}
