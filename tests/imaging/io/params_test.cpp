// The parameter set: defaults, clearing after a read, mirrored setters and deep copies.

#include <gtest/gtest.h>

#include "imaging/io/params.h"
#include "imaging/model/bitmap.h"

namespace {

// Records what the parameter set tells its owner.
class FakeOwner : public IParamsOwner {
 public:
  void ParamsDpiXChanged(int32_t v) override { calls.push_back("x" + std::to_string(v)); }
  void ParamsDpiYChanged(int32_t v) override { calls.push_back("y" + std::to_string(v)); }
  bool ParamsToolkitBitmapSize(int32_t& w, int32_t& h) override {
    if (!hasBitmap) return false;
    w = 640;
    h = 480;
    return true;
  }
  bool hasBitmap = false;
  std::vector<std::string> calls;
};

const uint8_t kBytes[] = {1, 2, 3, 4, 5, 6, 7, 8};

// Fills a set as a reader and an application would.
void FillAsRead(TIOParamsVals& p) {
  p.Width = 100;
  p.Height = 50;
  p.JpegQuality = 55;
  p.TiffCompression = tcLZW;
  p.PngCompression = 9;
  p.FileName = "/a/b.jpg";
  p.IptcRecords.AppendRecord(2, 120, kBytes, 3);
  p.JpegMarkers.AppendEntry(0xE0, kBytes, 4);
  p.JpegMarkers.AppendEntry(0xE1, kBytes, 5);
  p.ExifPresent = true;
  p.ExifMake = "Maker";
  p.ExifISOSpeedRatings = {100, 200};
  p.ExifMakerNote.Data.assign(kBytes, kBytes + 8);
  p.ExifXPTitle.assign(1, u'T');
  p.ExifThumbnail = std::make_unique<TVLBitmap>();
  p.Annotations().Data.assign(kBytes, kBytes + 2);
  p.SourceProfile().LoadProfileBytes(kBytes, 8);
  p.PngTextKeys = {"Title"};
  p.PngTextValues = {"x"};
  p.TiffDocumentName = "doc";
  p.TiffPageName = "page";
  p.TgaAuthor = "me";
}

}  // namespace

TEST(ParamsTest, DefaultsOfTheWritingOptions) {
  TIOParamsVals p;
  EXPECT_EQ(p.OwnerComponent(), nullptr);
  EXPECT_EQ(p.DpiX(), 300);
  EXPECT_EQ(p.DpiY(), 300);
  EXPECT_EQ(p.JpegQuality, 80);
  EXPECT_EQ(p.JpegColorSpace, jcYCbCr);
  EXPECT_EQ(p.JpegDCTMethod, jdISLOW);
  EXPECT_FALSE(p.JpegProgressive);
  EXPECT_EQ(p.JpegScale, jsFullSize);
  EXPECT_EQ(p.TiffPhotometric, tpRGB);
  EXPECT_EQ(p.TiffOrientation(), 1);
  EXPECT_EQ(p.ExifOrientation, 0);
  EXPECT_EQ(p.PngCompression, 5);
  EXPECT_EQ(p.BmpVersion, 1);
  EXPECT_EQ(p.GifVersion, "GIF89a");
  EXPECT_EQ(p.PSTitle, "No Title");
  EXPECT_EQ(p.PDFPaperHeight, 842);
  EXPECT_FALSE(p.HasSourceProfile());
  EXPECT_FALSE(p.HasAnnotations());
  EXPECT_STREQ(TIFFCompressionName(tcPACKBITS), "PACKBITS");
  EXPECT_STREQ(TIFFPhotometricName(tpWHITEISZERO), "WHITEISZERO/Gray");
  EXPECT_EQ(TIFFCompressionFromTag(3, 1), tcG3FAX2D);
  EXPECT_EQ(TIFFCompressionFromTag(32773, 0), tcPACKBITS);
  EXPECT_EQ(TIFFCompressionFromTag(8, 0), tcUNKNOWN);
  TVLTIFFPhotometric ph = tpRGB;
  EXPECT_TRUE(TIFFPhotometricFromTag(8, ph));
  EXPECT_EQ(ph, tpCIELAB);
  EXPECT_FALSE(TIFFPhotometricFromTag(7, ph));
}

TEST(ParamsTest, ClearReadInfoKeepsOptionsAndSizesAndEmptiesReadMetadata) {
  TIOParamsVals p;
  FillAsRead(p);
  p.ClearReadInfo();
  EXPECT_EQ(p.Width, 100);
  EXPECT_EQ(p.Height, 50);
  EXPECT_EQ(p.JpegQuality, 55);
  EXPECT_EQ(p.TiffCompression, tcLZW);
  EXPECT_EQ(p.PngCompression, 9);
  EXPECT_EQ(p.FileName, "/a/b.jpg");
  EXPECT_EQ(p.IptcRecords.Count(), 0);
  EXPECT_EQ(p.JpegMarkers.Count(), 0);
  EXPECT_FALSE(p.ExifPresent);
  EXPECT_EQ(p.ExifMake, "");
  EXPECT_EQ(p.ExifISOSpeedRatings[1], 0);
  EXPECT_TRUE(p.ExifMakerNote.Empty());
  EXPECT_TRUE(p.ExifXPTitle.empty());
  EXPECT_EQ(p.ExifThumbnail, nullptr);
  EXPECT_FALSE(p.HasAnnotations());
  EXPECT_FALSE(p.HasSourceProfile());
  EXPECT_TRUE(p.PngTextKeys.empty());
  EXPECT_TRUE(p.PngTextValues.empty());
  EXPECT_EQ(p.TiffDocumentName, "");
  EXPECT_EQ(p.TiffPageName, "");
  EXPECT_EQ(p.TgaAuthor, "");
}

TEST(ParamsTest, ClearExifRemovesOnlyTheFirstApp1) {
  TIOParamsVals p;
  p.JpegMarkers.AppendEntry(0xE1, kBytes, 1);
  p.JpegMarkers.AppendEntry(0xED, kBytes, 1);
  p.SetTiffOrientation(6);
  p.ClearExif();
  ASSERT_EQ(p.JpegMarkers.Count(), 1);
  EXPECT_EQ(p.JpegMarkers.EntryType(0), 0xED);
  EXPECT_EQ(p.ExifOrientation, 0);
  EXPECT_EQ(p.TiffOrientation(), 6);
}

TEST(ParamsTest, SettersMirrorAndTellTheOwner) {
  FakeOwner owner;
  TIOParamsVals p(&owner);
  owner.calls.clear();
  p.SetDpiX(72);
  p.SetDpiY(96);
  EXPECT_EQ(p.DpiX(), 72);
  EXPECT_EQ(p.ExifXResolution, 72.0);
  EXPECT_EQ(p.ExifYResolution, 96.0);
  EXPECT_EQ(owner.calls, (std::vector<std::string>{"x72", "y96"}));
  p.SetImageIndex(2);
  EXPECT_EQ(p.TiffDirectoryIndex, 2);
  EXPECT_EQ(p.GifFrameIndex, 2);
  p.SetImageCount(5);
  EXPECT_EQ(p.TiffDirectoryCount, 5);
  p.SetThumbnailOnly(true);
  EXPECT_TRUE(p.JpegThumbnailFromExif);
  p.SetTiffOrientation(8);
  EXPECT_EQ(p.ExifOrientation, 8);
}

TEST(ParamsTest, ResetToDefaultsTouchesResolutionOnlyThroughAnOwner) {
  FallbackDpiX = 150;  // process-wide; restored below
  TIOParamsVals alone;
  alone.SetDpiX(72);
  alone.Width = 33;
  alone.JpegQuality = 10;
  alone.ResetToDefaults();
  EXPECT_EQ(alone.DpiX(), 72);  // no owner: the resolution stays
  EXPECT_EQ(alone.Width, 33);   // sizes stay
  EXPECT_EQ(alone.JpegQuality, 80);

  FakeOwner owner;
  TIOParamsVals owned(&owner);
  owned.SetDpiX(72);
  owned.Width = 33;
  owned.ExifPresent = true;
  owned.IptcRecords.AppendRecord(2, 5, kBytes, 1);
  owner.calls.clear();
  owned.ResetToDefaults();
  EXPECT_EQ(owner.calls, (std::vector<std::string>{"x150", "y300"}));
  EXPECT_EQ(owned.DpiX(), 150);
  EXPECT_EQ(owned.Width, 33);  // owner without toolkit bitmap: kept
  // The resolution setters ran before ClearExif, which empties their EXIF mirrors.
  EXPECT_EQ(owned.ExifXResolution, 0.0);
  EXPECT_FALSE(owned.ExifPresent);
  EXPECT_EQ(owned.IptcRecords.Count(), 0);
  owner.hasBitmap = true;
  owned.ResetToDefaults();
  EXPECT_EQ(owned.Width, 640);
  EXPECT_EQ(owned.Height, 480);
  FallbackDpiX = 300;
}

TEST(ParamsTest, AssignIsDeepAndGoesThroughTheSetters) {
  TIOParamsVals src;
  FillAsRead(src);
  src.ColorMap.resize(16);
  for (int i = 0; i < 16; ++i) src.ColorMap[size_t(i)] = MakeRGB(uint8_t(i), 0, 0);
  src.SetDpiX(72);
  src.SetImageIndex(3);
  src.ExifThumbnail->Allocate(4, 2, vl24RGB);
  src.ExifThumbnail->SetPixelRGB(1, 1, MakeRGB(9, 8, 7));
  src.TargetProfile().LoadProfileBytes(kBytes, 2);

  FakeOwner owner;
  TIOParamsVals dst(&owner);
  owner.calls.clear();
  dst.Assign(src);
  EXPECT_EQ(owner.calls.front(), "x72");
  EXPECT_EQ(dst.OwnerComponent(), &owner);
  EXPECT_EQ(dst.DpiX(), 72);
  EXPECT_EQ(dst.TiffDirectoryIndex, 3);
  EXPECT_EQ(dst.JpegQuality, 55);
  EXPECT_EQ(dst.ExifMake, "Maker");
  EXPECT_TRUE(dst.IptcRecords.EditedSinceRead());
  ASSERT_EQ(dst.ColorMapCount(), 16);
  ASSERT_NE(dst.ExifThumbnail, nullptr);
  EXPECT_NE(dst.ExifThumbnail.get(), src.ExifThumbnail.get());
  EXPECT_EQ(dst.ExifThumbnail->Width(), 4);
  EXPECT_EQ(dst.ExifThumbnail->PixelRGB(1, 1), MakeRGB(9, 8, 7));

  // Change or free everything in the source: the copy keeps its own.
  src.ColorMap[15] = MakeRGB(1, 1, 1);
  src.ColorMap.clear();
  src.ClearReadInfo();
  src.TargetProfile().Clear();
  EXPECT_EQ(dst.ColorMap[15], MakeRGB(15, 0, 0));
  EXPECT_EQ(dst.IptcRecords.Count(), 1);
  EXPECT_EQ(dst.JpegMarkers.Count(), 2);
  EXPECT_EQ(dst.JpegMarkers.EntryLength(1), 5);
  EXPECT_EQ(dst.ExifMakerNote.Size(), 8u);
  EXPECT_EQ(dst.PngTextKeys.size(), 1u);
  ASSERT_TRUE(dst.HasAnnotations());
  EXPECT_EQ(dst.Annotations().Data.size(), 2u);
  ASSERT_TRUE(dst.HasSourceProfile());
  EXPECT_EQ(dst.SourceProfile().RawLength(), 8u);
  EXPECT_EQ(dst.TargetProfile().RawLength(), 2u);
  EXPECT_EQ(dst.ExifThumbnail->Height(), 2);

  // Assigning a set without the optional objects frees ours.
  TIOParamsVals empty;
  dst.Assign(empty);
  EXPECT_FALSE(dst.HasAnnotations());
  EXPECT_FALSE(dst.HasSourceProfile());
  EXPECT_EQ(dst.ExifThumbnail, nullptr);
  EXPECT_EQ(dst.ColorMapCount(), 0);
}
