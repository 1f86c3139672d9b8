// TVistrelIO: saving by extension, the JPEG writer with its marker steps, and the other
// format writers.

#include <cctype>
#include <memory>
#include <string_view>

#include "imaging/codecs/bmp_codec.h"
#include "imaging/codecs/png_codec.h"
#include "imaging/codecs/tiff_writer.h"
#include "imaging/component/replacement_file.h"
#include "imaging/io/stream.h"
#include "imaging/component/vistrel_io.h"
#include "imaging/model/bitmap.h"
#include "imaging/model/mask.h"

namespace {

constexpr uint8_t kApp1 = 0xE1;   // EXIF
constexpr uint8_t kApp13 = 0xED;  // IPTC with the Photoshop header

std::string LowerAscii(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Extensions that choose a writer directly. ".win" is a Targa extension that the registry
// does not list.
struct TExtensionWriter {
  std::string_view Extension;
  TVLFileType FileType;
};
constexpr TExtensionWriter kSaveTable[] = {
    {".jpg", ftJPEG}, {".jpeg", ftJPEG}, {".jpe", ftJPEG},
    {".tif", ftTIFF}, {".tiff", ftTIFF}, {".fax", ftTIFF}, {".g3f", ftTIFF}, {".g3n", ftTIFF},
    {".png", ftPNG},
    {".bmp", ftBMP},  {".dib", ftBMP},   {".rle", ftBMP},
    {".gif", ftGIF},  {".pcx", ftPCX},   {".dcx", ftDCX},  {".jp2", ftJP2},
    {".j2k", ftJ2K},  {".jpc", ftJ2K},   {".j2c", ftJ2K},
    {".tga", ftTGA},  {".targa", ftTGA}, {".vda", ftTGA},  {".icb", ftTGA}, {".vst", ftTGA},
    {".win", ftTGA},
    {".pxm", ftPXM},  {".pbm", ftPXM},   {".pgm", ftPXM},  {".ppm", ftPXM},
    {".ico", ftICO},  {".wbmp", ftWBMP}, {".ps", ftPS},    {".eps", ftPS},  {".pdf", ftPDF},
};

TVLFileType WriterTypeFor(const std::string& ext) {
  for (const TExtensionWriter& e : kSaveTable)
    if (e.Extension == ext) return e.FileType;
  return ftUnknown;
}

// Makes the bitmap one the JPEG and external writers take: vl24RGB, or vl1g as it is.
void MakeWritable(TVLBitmap& bitmap) {
  const TVLPixelFormat pf = bitmap.PixelFormat();
  if (pf != vl24RGB && pf != vl1g) bitmap.SetPixelFormat(vl24RGB);
}

}  // namespace

// ---- Dispatch ------------------------------------------------------------------------------------

void TVistrelIO::SaveToFile(const std::string& FileName) {
  if (FileName.empty()) return;
  const std::string ext = LowerAscii(ExtractFileExtension(FileName));
  if (SaveByType(FileName, WriterTypeFor(ext))) return;
  const std::optional<TVLFormatEntry> entry = FindFormatByExtension(ext);
  if (!entry || !entry->WriteFunction) {
    FAbortFlag = true;
    return;
  }
  // A built-in format reached through an extension only the registry lists (".xif",
  // ".pix") goes to that format's own writer; its registry entry is a placeholder.
  if (entry->InternalFormat && SaveByType(FileName, entry->FileType)) return;
  SaveThroughRegistry(*entry, FileName);
}

bool TVistrelIO::SaveByType(const std::string& FileName, TVLFileType FileType) {
  switch (FileType) {
    case ftJPEG: SaveJpegFile(FileName); return true;
    case ftTIFF: SaveTiffFile(FileName); return true;
    case ftPNG: SavePngFile(FileName); return true;
    case ftBMP: SaveBmpFile(FileName); return true;
    case ftGIF: SaveGifFile(FileName); return true;
    case ftPCX: SavePcxFile(FileName); return true;
    case ftDCX: SaveDcxFile(FileName); return true;
    case ftJP2: SaveJp2File(FileName); return true;
    case ftJ2K: SaveJ2kFile(FileName); return true;
    case ftTGA: SaveTgaFile(FileName); return true;
    case ftPXM: SavePxmFile(FileName); return true;
    case ftICO: SaveIcoFile(FileName); return true;
    case ftWBMP: SaveWbmpFile(FileName); return true;
    case ftPS: SavePSFile(FileName); return true;
    case ftPDF: SavePDFFile(FileName); return true;
    default: return false;
  }
}

void TVistrelIO::SaveThroughRegistry(const TVLFormatEntry& Entry, const std::string& FileName) {
  FAbortFlag = true;
  if (!PrepareTarget()) return;
  MakeWritable(*TargetBitmap());
  WriteNewFile(FileName, [&](TStream& stream) {
    Params().FileName = FileName;
    Params().FileType = Entry.FileType;
    TVLProgressState progress = MakeProgress();
    Entry.WriteFunction(stream, *TargetBitmap(), Params(), progress);
  });
  FireFinishWork();
}

// The image is written into a new file beside FileName, which replaces FileName only once
// the writer has succeeded. Should the writer raise or report failure, the new file is
// removed and a file that already had that name stays as it was: a failed save neither
// leaves a partial image behind nor destroys the one it would have replaced.
void TVistrelIO::WriteNewFile(const std::string& FileName,
                              const std::function<void(TStream&)>& Write) {
  TReplacement out(FileName);  // removes the new file unless committed
  FAbortFlag = false;
  try {
    Write(out.Stream());
    if (!FAbortFlag) out.Commit();
  } catch (...) {
    FAbortFlag = true;  // a caller that catches the exception sees a failed save
    throw;
  }
}

// ---- JPEG ------------------------------------------------------------------------------------------

void TVistrelIO::SaveJpegFile(const std::string& FileName) {
  FAbortFlag = true;
  if (!PrepareTarget()) {
    FireFinishWork();
    return;
  }
  TVLBitmap& bitmap = *TargetBitmap();
  // There is no image to write (nothing was ever loaded, or a reader failed before
  // allocating): fail without creating or replacing a file.
  if (bitmap.IsEmpty()) {
    FireFinishWork();
    return;
  }
  MakeWritable(bitmap);
  WriteNewFile(FileName, [&](TStream& stream) {
    // A block that no marker segment can hold fails the save (nothing is written).
    if (!PutIptcMarker() || !PutExifMarker()) {
      FAbortFlag = true;
      return;
    }
    TVLProgressState progress = MakeProgress();
    JpegWriter(stream, bitmap, Params(), progress);
  });
  FireFinishWork();
}

// The IPTC records go into an APP13 block when the user changed them, or when there are
// records but no markers (a file read from another format). A non-empty block replaces the
// first APP13 or is appended; an empty one removes the APP13. False when the block is too
// large for one marker segment (the list is then left as it was).
bool TVistrelIO::PutIptcMarker() {
  TIOParamsVals& p = Params();
  const bool edited = p.IptcRecords.EditedSinceRead();
  if (!edited && !(p.IptcRecords.Count() > 0 && p.JpegMarkers.Count() == 0)) return true;
  const std::vector<uint8_t> block = p.IptcRecords.EncodeRecords(true);
  const int32_t index = p.JpegMarkers.FindType(kApp13);
  if (block.empty()) {
    if (index >= 0) p.JpegMarkers.RemoveEntry(index);
    return true;
  }
  if (index >= 0) return p.JpegMarkers.ReplaceEntry(index, kApp13, block.data(), block.size());
  return p.JpegMarkers.AppendEntry(kApp13, block.data(), block.size()) >= 0;
}

// With EXIF data read, an EXIF block replaces the first APP1 or is appended. When no block
// can be built (empty result) the marker list is left as it is. False when the block is too
// large for one marker segment.
bool TVistrelIO::PutExifMarker() {
  TIOParamsVals& p = Params();
  if (!p.ExifPresent || !ExifBlockBuilder) return true;
  const std::vector<uint8_t> block = ExifBlockBuilder(p);
  if (block.empty()) return true;
  const int32_t index = p.JpegMarkers.FindType(kApp1);
  if (index >= 0) return p.JpegMarkers.ReplaceEntry(index, kApp1, block.data(), block.size());
  return p.JpegMarkers.AppendEntry(kApp1, block.data(), block.size()) >= 0;
}

// ---- TIFF, PNG, BMP ----------------------------------------------------------------------------------

// The TIFF, PNG and BMP writers take the bitmap in any format; a target without image fails
// without touching the file system.
void TVistrelIO::SaveWith(const std::string& FileName, const TVLWriteProc& Writer) {
  FAbortFlag = true;
  if (!PrepareTarget() || TargetBitmap()->IsEmpty()) {
    FireFinishWork();
    return;
  }
  WriteNewFile(FileName, [&](TStream& stream) {
    TVLProgressState progress = MakeProgress();
    Writer(stream, *TargetBitmap(), Params(), progress);
  });
  FireFinishWork();
}

void TVistrelIO::SaveTiffFile(const std::string& FileName) { SaveWith(FileName, EncodeTiff); }
void TVistrelIO::SaveBmpFile(const std::string& FileName) { SaveWith(FileName, EncodeBmp); }
void TVistrelIO::SavePngFile(const std::string& FileName) {
  SaveWith(FileName, [](TStream& s, TVLBitmap& b, TIOParamsVals& p, TVLProgressState& pr) {
    // The alpha channel goes to the writer as a mask.
    std::unique_ptr<TVLMask> mask;
    if (b.HasAlphaLayer()) {
      mask = std::make_unique<TVLMask>();
      b.AlphaLayer()->StoreToMask(*mask);
    }
    EncodePng(s, b, p, mask.get(), pr);
  });
}

// ---- Formats whose writers are not built --------------------------------------------------------------

void TVistrelIO::SaveNotBuilt() {
  FAbortFlag = true;
  FireFinishWork();
}

void TVistrelIO::SaveGifFile(const std::string&) { SaveNotBuilt(); }
void TVistrelIO::SavePcxFile(const std::string&) { SaveNotBuilt(); }
void TVistrelIO::SaveDcxFile(const std::string&) { SaveNotBuilt(); }
void TVistrelIO::SaveJp2File(const std::string&) { SaveNotBuilt(); }
void TVistrelIO::SaveJ2kFile(const std::string&) { SaveNotBuilt(); }
void TVistrelIO::SaveTgaFile(const std::string&) { SaveNotBuilt(); }
void TVistrelIO::SavePxmFile(const std::string&) { SaveNotBuilt(); }
void TVistrelIO::SaveIcoFile(const std::string&) { SaveNotBuilt(); }
void TVistrelIO::SaveWbmpFile(const std::string&) { SaveNotBuilt(); }
void TVistrelIO::SavePSFile(const std::string&) { SaveNotBuilt(); }
void TVistrelIO::SavePDFFile(const std::string&) { SaveNotBuilt(); }
