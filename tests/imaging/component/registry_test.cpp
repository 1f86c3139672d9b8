// The file-format registry: the built-in records, lookup by extension, external formats,
// and the progress record the codecs report through.

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>

#include "imaging/component/format_registry.h"
#include "imaging/io/progress.h"
#include "io_test_support.h"

namespace {

struct Expected {
  TVLFileType Type;
  const char* Name;
  const char* Extensions;
  bool Read;
  bool Write;
};

const Expected kBuiltIn[] = {
    {ftTIFF, "TIFF Bitmap", "TIF;TIFF;FAX;G3N;G3F;XIF", true, true},
    {ftGIF, "CompuServe Bitmap", "GIF", true, true},
    {ftJPEG, "JPEG Bitmap", "JPG;JPEG;JPE", true, true},
    {ftPCX, "PaintBrush", "PCX", true, true},
    {ftBMP, "Windows Bitmap", "BMP;DIB;RLE", true, true},
    {ftICO, "Windows Icon", "ICO", true, true},
    {ftCUR, "Windows Cursor", "CUR", true, false},
    {ftPNG, "Portable Network Graphics", "PNG", true, true},
    {ftWMF, "Windows Metafile", "WMF", true, false},
    {ftEMF, "Enhanced Windows Metafile", "EMF", true, false},
    {ftTGA, "Targa Bitmap", "TGA;TARGA;VDA;ICB;VST;PIX", true, true},
    {ftPXM, "Portable Pixmap, GrayMap, BitMap", "PXM;PPM;PGM;PBM", true, true},
    {ftWBMP, "Wireless Bitmap", "WBMP", true, true},
    {ftJP2, "JPEG2000", "JP2", true, true},
    {ftJ2K, "JPEG2000 Code Stream", "J2K;JPC;J2C", true, true},
    {ftPS, "PostScript Level 2", "PS;EPS", false, true},
    {ftPDF, "Adobe PDF", "PDF", false, true},
    {ftDCX, "Multipage PCX", "DCX", true, true},
    {ftRAW, "Camera RAW", "CRW;CR2;NEF;RAW;PEF;RAF;X3F;BAY;ORF;SRF;MRW;DCR", true, false},
};

std::vector<std::string> Split(const std::string& list) {
  std::vector<std::string> out;
  std::stringstream ss(list);
  for (std::string item; std::getline(ss, item, ';');) out.push_back(item);
  return out;
}

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Every other letter in lower case: "TiF".
std::string Mixed(std::string s) {
  for (size_t i = 1; i < s.size(); i += 2) s[i] = char(std::tolower(static_cast<unsigned char>(s[i])));
  return s;
}

TEST(FormatRegistry, HoldsTheNineteenBuiltInRecordsInOrder) {
  const std::vector<TVLFormatEntry> all = RegisteredFormats();
  ASSERT_GE(all.size(), std::size(kBuiltIn));
  for (size_t i = 0; i < std::size(kBuiltIn); ++i) {
    SCOPED_TRACE(kBuiltIn[i].Name);
    EXPECT_EQ(all[i].FileType, kBuiltIn[i].Type);
    EXPECT_EQ(all[i].FullName, kBuiltIn[i].Name);
    EXPECT_EQ(all[i].Extensions, kBuiltIn[i].Extensions);
    EXPECT_TRUE(all[i].InternalFormat);
    EXPECT_EQ(bool(all[i].ReadFunction), kBuiltIn[i].Read);
    EXPECT_EQ(bool(all[i].WriteFunction), kBuiltIn[i].Write);
  }
}

TEST(FormatRegistry, FindsEveryExtensionInAnyCaseWithOrWithoutDot) {
  for (const Expected& e : kBuiltIn) {
    for (const std::string& ext : Split(e.Extensions)) {
      for (const std::string& query : {ext, Lower(ext), Mixed(ext), "." + ext, "." + Lower(ext)}) {
        SCOPED_TRACE(query);
        const auto found = FindFormatByExtension(query);
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(found->FileType, e.Type);
      }
    }
  }
}

TEST(FormatRegistry, UnknownAndMalformedExtensionsFindNothing) {
  for (const char* query : {"", ".", "XYZ", ".avi", "TI", "TIFFF", "TIF;TIFF", ";", "..tif"})
    EXPECT_FALSE(FindFormatByExtension(query).has_value()) << query;
}

TEST(FormatRegistry, ExtractsTheExtensionOfTheLastPathComponent) {
  EXPECT_EQ(ExtractFileExtension("/d/Album1/img.TIF"), ".TIF");
  EXPECT_EQ(ExtractFileExtension("a.tar.gz"), ".gz");
  EXPECT_EQ(ExtractFileExtension("/d/dir.x/noext"), "");
  EXPECT_EQ(ExtractFileExtension("noext"), "");
  EXPECT_EQ(ExtractFileExtension("trailing."), ".");
}

TEST(FormatRegistry, RegistersAndRemovesExternalFormats) {
  const TVLFileType type = TVLFileType(100);
  TVLFormatEntry e = iotest::External(100, "MYF;MF2", nullptr);
  e.InternalFormat = true;  // the registry clears it
  e.FullName = std::string(100, 'n');
  const size_t before = RegisteredFormats().size();
  RegisterFileFormat(e);
  EXPECT_EQ(RegisteredFormats().size(), before + 1);
  const auto found = FindFormatByExtension("mf2");
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->FileType, type);
  EXPECT_FALSE(found->InternalFormat);
  EXPECT_EQ(found->FullName.size(), kFormatTextMax);
  ASSERT_TRUE(FindFormatByType(type).has_value());

  // A built-in record listing the same extension comes first.
  iotest::ScopedFormat shadow(iotest::External(101, "TIF", nullptr));
  EXPECT_EQ(FindFormatByExtension("tif")->FileType, ftTIFF);

  EXPECT_TRUE(UnregisterFileFormat(type));
  EXPECT_FALSE(FindFormatByExtension("MYF").has_value());
  EXPECT_FALSE(UnregisterFileFormat(type));
}

TEST(ProgressState, ReportsTruncatedPercentAndSetsTheCallersFlag) {
  std::vector<int> seen;
  bool abort = false;
  TVLProgressState p;
  p.OnProgress = [&](TObject*, int percent) { seen.push_back(percent); };
  p.AbortFlag = &abort;
  p.StepPercent = 100.0 / 3.0;
  p.Step();
  p.Step();
  p.Step();
  EXPECT_EQ(seen, (std::vector<int>{33, 66, 100}));
  EXPECT_FALSE(p.Aborted());
  p.Abort();
  EXPECT_TRUE(abort);

  TVLProgressState silent;  // no callback and no flag: nothing happens, nothing breaks
  silent.StepPercent = 1e300;
  silent.Step();
  silent.Abort();
  EXPECT_EQ(silent.Percent(), INT32_MAX);
  EXPECT_FALSE(silent.Aborted());
}

}  // namespace
