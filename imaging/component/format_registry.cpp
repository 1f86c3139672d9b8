// The file-format registry and its lookups.

#include "imaging/component/format_registry.h"

#include <mutex>

namespace {

// Entry points of the built-in records. The component never calls them for an internal
// format (it has an operation of its own for each); should anything else call them, they
// report failure rather than pretend to have read or written an image.
void PlaceholderEntry(TStream&, TVLBitmap&, TIOParamsVals&, TVLProgressState& Progress) {
  Progress.Abort();
}
bool PlaceholderTry(TStream&) { return false; }

TVLFormatEntry BuiltIn(TVLFileType type, const char* name, const char* exts, bool canRead,
                       bool canWrite) {
  TVLFormatEntry e;
  e.FileType = type;
  e.FullName = name;
  e.Extensions = exts;
  e.InternalFormat = true;
  if (canRead) e.ReadFunction = PlaceholderEntry;
  if (canWrite) e.WriteFunction = PlaceholderEntry;
  e.TryFunction = PlaceholderTry;
  return e;
}

struct Registry {
  std::mutex Lock;
  std::vector<TVLFormatEntry> Entries;

  Registry() {
    Entries = {
        BuiltIn(ftTIFF, "TIFF Bitmap", "TIF;TIFF;FAX;G3N;G3F;XIF", true, true),
        BuiltIn(ftGIF, "CompuServe Bitmap", "GIF", true, true),
        BuiltIn(ftJPEG, "JPEG Bitmap", "JPG;JPEG;JPE", true, true),
        BuiltIn(ftPCX, "PaintBrush", "PCX", true, true),
        BuiltIn(ftBMP, "Windows Bitmap", "BMP;DIB;RLE", true, true),
        BuiltIn(ftICO, "Windows Icon", "ICO", true, true),
        BuiltIn(ftCUR, "Windows Cursor", "CUR", true, false),
        BuiltIn(ftPNG, "Portable Network Graphics", "PNG", true, true),
        BuiltIn(ftWMF, "Windows Metafile", "WMF", true, false),
        BuiltIn(ftEMF, "Enhanced Windows Metafile", "EMF", true, false),
        BuiltIn(ftTGA, "Targa Bitmap", "TGA;TARGA;VDA;ICB;VST;PIX", true, true),
        BuiltIn(ftPXM, "Portable Pixmap, GrayMap, BitMap", "PXM;PPM;PGM;PBM", true, true),
        BuiltIn(ftWBMP, "Wireless Bitmap", "WBMP", true, true),
        BuiltIn(ftJP2, "JPEG2000", "JP2", true, true),
        BuiltIn(ftJ2K, "JPEG2000 Code Stream", "J2K;JPC;J2C", true, true),
        BuiltIn(ftPS, "PostScript Level 2", "PS;EPS", false, true),
        BuiltIn(ftPDF, "Adobe PDF", "PDF", false, true),
        BuiltIn(ftDCX, "Multipage PCX", "DCX", true, true),
        BuiltIn(ftRAW, "Camera RAW", "CRW;CR2;NEF;RAW;PEF;RAF;X3F;BAY;ORF;SRF;MRW;DCR", true,
                false),
    };
  }
};

// Built on first use and kept until the process ends.
Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

// True when one of the ";"-separated extensions in List equals Ext.
bool ListsExtension(std::string_view list, std::string_view ext) {
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(';', start);
    if (end == std::string_view::npos) end = list.size();
    if (EqualNoCase(list.substr(start, end - start), ext)) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

std::string ExtractFileExtension(std::string_view FileName) {
  const size_t dot = FileName.find_last_of("./");
  if (dot == std::string_view::npos || FileName[dot] != '.') return std::string();
  return std::string(FileName.substr(dot));
}

std::optional<TVLFormatEntry> FindFormatByExtension(std::string_view Extension) {
  if (!Extension.empty() && Extension.front() == '.') Extension.remove_prefix(1);
  if (Extension.empty()) return std::nullopt;  // never matches an empty list item
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.Lock);
  for (const TVLFormatEntry& e : r.Entries)
    if (ListsExtension(e.Extensions, Extension)) return e;
  return std::nullopt;
}

std::optional<TVLFormatEntry> FindFormatByType(TVLFileType FileType) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.Lock);
  for (const TVLFormatEntry& e : r.Entries)
    if (e.FileType == FileType) return e;
  return std::nullopt;
}

std::vector<TVLFormatEntry> RegisteredFormats() {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.Lock);
  return r.Entries;
}

void RegisterFileFormat(const TVLFormatEntry& Entry) {
  TVLFormatEntry copy = Entry;
  copy.InternalFormat = false;
  if (copy.FullName.size() > kFormatTextMax) copy.FullName.resize(kFormatTextMax);
  if (copy.Extensions.size() > kFormatTextMax) copy.Extensions.resize(kFormatTextMax);
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.Lock);
  r.Entries.push_back(std::move(copy));
}

bool UnregisterFileFormat(TVLFileType FileType) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.Lock);
  for (auto it = r.Entries.begin(); it != r.Entries.end(); ++it) {
    if (it->FileType == FileType) {
      r.Entries.erase(it);
      return true;
    }
  }
  return false;
}
