// The parameter set of one image: defaults, clearing after a read, deep copies and the
// setters that keep mirrored fields and the owner's view in step.

#include "imaging/io/params.h"

#include "imaging/model/bitmap.h"

int32_t FallbackDpiX = 300;
int32_t FallbackDpiY = 300;
TVLLzwDecoder StandardLzwDecoder = nullptr;
TVLLzwEncoder StandardLzwEncoder = nullptr;

namespace {
constexpr uint8_t kApp1 = 0xE1;  // the marker type of EXIF blocks
}

TIOParamsVals::TIOParamsVals(IParamsOwner* OwnerComponent) : FOwner(OwnerComponent) {
  FDpiX = FallbackDpiX;
  FDpiY = FallbackDpiY;
  ResetToDefaults();
}

TIOParamsVals::~TIOParamsVals() = default;

// --- Setters ---------------------------------------------------------------------------------

void TIOParamsVals::SetDpiX(int32_t Value) {
  FDpiX = Value;
  ExifXResolution = Value;
  if (FOwner) FOwner->ParamsDpiXChanged(Value);
}

void TIOParamsVals::SetDpiY(int32_t Value) {
  FDpiY = Value;
  ExifYResolution = Value;
  if (FOwner) FOwner->ParamsDpiYChanged(Value);
}

void TIOParamsVals::SetImageIndex(int32_t Value) {
  FImageIndex = Value;
  TiffDirectoryIndex = Value;
  GifFrameIndex = Value;
  IcoImageIndex = Value;
  DcxImageIndex = Value;
}

void TIOParamsVals::SetImageCount(int32_t Value) {
  FImageCount = Value;
  TiffDirectoryCount = Value;
  GifImageCount = Value;
  IcoImageCount = Value;
  DcxImageCount = Value;
}

void TIOParamsVals::SetThumbnailOnly(bool Value) {
  FThumbnailOnly = Value;
  JpegThumbnailFromExif = Value;
}

void TIOParamsVals::SetTiffOrientation(int32_t Value) {
  FTiffOrientation = Value;
  ExifOrientation = Value;
}

// --- Objects made on first use ----------------------------------------------------------------

TVLICC& TIOParamsVals::SourceProfile() {
  if (!FSourceProfile) FSourceProfile = std::make_unique<TVLICC>();
  return *FSourceProfile;
}

TVLICC& TIOParamsVals::TargetProfile() {
  // Colour management is never switched on, so there is no default output profile to load:
  // the target profile starts empty.
  if (!FTargetProfile) FTargetProfile = std::make_unique<TVLICC>();
  return *FTargetProfile;
}

TVLImagingAnnot& TIOParamsVals::Annotations() {
  if (!FAnnotations) FAnnotations = std::make_unique<TVLImagingAnnot>();
  return *FAnnotations;
}

// --- Defaults and clearing --------------------------------------------------------------------

void TIOParamsVals::ResetToDefaults() {
  ColorMap.clear();
  FileName.clear();
  FileType = ftUnknown;
  BitsPerSample = 8;
  SamplesPerPixel = 3;
  KeepNativeFormat = false;
  // Sizes are kept unless the owner works on a toolkit bitmap; the resolution is reset (and
  // reported) only when there is an owner.
  int32_t width = Width, height = Height;
  if (FOwner) {
    int32_t w = 0, h = 0;
    if (FOwner->ParamsToolkitBitmapSize(w, h)) {
      width = w;
      height = h;
    }
    SetDpiX(FallbackDpiX);
    SetDpiY(FallbackDpiY);
  }
  static_cast<TVLParamsFields&>(*this) = TVLParamsFields{};
  Width = width;
  Height = height;
  FImageIndex = 0;
  FImageCount = 0;
  FThumbnailOnly = false;
  FTiffOrientation = 1;
  TiffLzwDecoder = StandardLzwDecoder;
  TiffLzwEncoder = StandardLzwEncoder;
  // The owned lists are emptied (the IPTC list counts that as a change, as any Clear does).
  IptcRecords.Clear();
  JpegMarkers.Clear();
  FAnnotations.reset();
  FSourceProfile.reset();
  FTargetProfile.reset();
  ClearExif();
}

void TIOParamsVals::ClearReadInfo() {
  IptcRecords.Clear();
  FAnnotations.reset();
  JpegMarkers.Clear();
  ClearExif();
  PngTextKeys.clear();
  PngTextValues.clear();
  GifComments.clear();
  TiffDocumentName.clear();
  TiffImageDescription.clear();
  TiffPageName.clear();
  TiffWarningCount = 0;
  TgaDescriptor.clear();
  TgaAuthor.clear();
  TgaImageName.clear();
  FSourceProfile.reset();
}

void TIOParamsVals::ClearExif() {
  static_cast<TVLExifFields&>(*this) = TVLExifFields{};
  ExifThumbnail.reset();
  const int32_t app1 = JpegMarkers.FindType(kApp1);
  if (app1 >= 0) JpegMarkers.RemoveEntry(app1);
}

// --- Copying -----------------------------------------------------------------------------------

void TIOParamsVals::Assign(const TIOParamsVals& Source) {
  if (&Source == this) return;
  // The mirrored values go through their setters first (so the owner hears about the
  // resolution); the plain copy that follows then gives every mirror the source's own value.
  SetDpiX(Source.FDpiX);
  SetDpiY(Source.FDpiY);
  SetImageIndex(Source.FImageIndex);
  SetImageCount(Source.FImageCount);
  SetThumbnailOnly(Source.FThumbnailOnly);
  SetTiffOrientation(Source.FTiffOrientation);

  // Value members: strings, the colour map, the text lists, the marker list, the IPTC list
  // and the maker-note holder are all copied deeply by their assignment.
  static_cast<TVLParamsFields&>(*this) = static_cast<const TVLParamsFields&>(Source);
  static_cast<TVLExifFields&>(*this) = static_cast<const TVLExifFields&>(Source);
  IptcRecords.Assign(Source.IptcRecords);

  if (Source.ExifThumbnail) {
    auto thumb = std::make_unique<TVLBitmap>();
    thumb->Assign(*Source.ExifThumbnail);
    ExifThumbnail = std::move(thumb);
  } else {
    ExifThumbnail.reset();
  }
  if (Source.FSourceProfile)
    SourceProfile().Assign(*Source.FSourceProfile);
  else
    FSourceProfile.reset();
  if (Source.FTargetProfile)
    TargetProfile().Assign(*Source.FTargetProfile);
  else
    FTargetProfile.reset();
  if (Source.FAnnotations)
    Annotations().Assign(*Source.FAnnotations);
  else
    FAnnotations.reset();
}
