#pragma once
// TIOParamsVals: everything known about one image file besides its pixels: size, samples,
// resolution, the page to read, the writing options of every format, and the metadata the
// last reader found. Readers call ClearReadInfo before they start (writing options stay);
// writers read the fields. Fields are public except the few whose value must be mirrored
// into other fields or reported to the owner; those have a getter and a setter.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/io/file_types.h"
#include "imaging/io/param_enums.h"
#include "imaging/io/param_objects.h"
#include "imaging/model/icc.h"
#include "imaging/model/iptc.h"
#include "imaging/model/marker_list.h"
#include "imaging/model/pixel_format.h"
#include "platform/object.h"

class TVLBitmap;

// What a parameter set needs of the component that owns it. The I/O component implements
// it; a parameter set made without owner (nullptr) reports nothing to anybody.
// The constructor already runs ResetToDefaults, which calls these hooks: an owner that
// creates its parameter set as a member must have initialised whatever the hooks read
// (declare those members before the parameter set, or create the set in the body).
class IParamsOwner {
 public:
  // The resolution was set through SetDpiX / SetDpiY: pass it to the attached view, if any.
  virtual void ParamsDpiXChanged(int32_t /*DpiX*/) {}
  virtual void ParamsDpiYChanged(int32_t /*DpiY*/) {}
  // When the owner works on a toolkit bitmap, its size (ResetToDefaults takes Width and
  // Height from it); false otherwise.
  virtual bool ParamsToolkitBitmapSize(int32_t& /*Width*/, int32_t& /*Height*/) { return false; }

 protected:
  ~IParamsOwner() = default;
};

// Resolution assumed when a file gives none or gives less than 2 dots per inch.
extern int32_t FallbackDpiX;  // 300
extern int32_t FallbackDpiY;  // 300

// TIFF LZW decompressor entry point. With State null it starts on the strip whose bytes are
// Data[0..DataLength) and decodes its first row; with State set it decodes the next row.
// Returns RowLength decoded bytes (valid until the next call) or nullptr on bad data. With
// Data null it frees State (setting it to null) and returns nullptr.
using TVLLzwDecoder = const uint8_t* (*)(const uint8_t* Data, size_t DataLength,
                                         int32_t RowLength, void*& State);
// TIFF LZW compressor: appends the compressed form of Data[0..Length) to Out; false on
// failure.
using TVLLzwEncoder = bool (*)(const uint8_t* Data, size_t Length, std::vector<uint8_t>& Out);
// GIF LZW entry points (GIF codec not built): decode / encode a whole image's data.
using TVLGifLzwDecoder = bool (*)(const uint8_t* Data, size_t Length, int32_t CodeSize,
                                  std::vector<uint8_t>& Out);
using TVLGifLzwEncoder = bool (*)(const uint8_t* Data, size_t Length, int32_t CodeSize,
                                  std::vector<uint8_t>& Out);

// Process-wide built-in LZW entry points, null until the TIFF codec installs its own.
// ResetToDefaults copies them into TiffLzwDecoder / TiffLzwEncoder; a reader that finds the
// field null falls back to these.
extern TVLLzwDecoder StandardLzwDecoder;
extern TVLLzwEncoder StandardLzwEncoder;

// The plain fields of the parameter set except the Exif ones, with their defaults. Width
// and Height start at 0.
struct TVLParamsFields {
  // --- Common fields ---
  std::string FileName;
  TVLFileType FileType = ftUnknown;
  int32_t BitsPerSample = 8;
  int32_t SamplesPerPixel = 3;
  int32_t Width = 0;
  int32_t Height = 0;
  bool KeepNativeFormat = false;
  std::vector<TRGB> ColorMap;  // palette of the image last read (empty: none)
  TVLIPTCInfoList IptcRecords;

  // --- TIFF ---
  TVLTIFFCompression TiffCompression = tcUNCOMPRESSED;
  int32_t TiffDirectoryIndex = 0;
  TVLTIFFPhotometric TiffPhotometric = tpRGB;
  int32_t TiffPlanarConfiguration = 1;
  int32_t TiffPositionX = 0;
  int32_t TiffPositionY = 0;
  std::string TiffDocumentName;
  std::string TiffImageDescription;
  std::string TiffPageName;
  int32_t TiffPageNumber = 0;
  int32_t TiffPageCount = 0;
  TVLLzwDecoder TiffLzwDecoder = nullptr;
  TVLLzwEncoder TiffLzwEncoder = nullptr;
  bool TiffAutoOrient = false;
  int32_t TiffJPEGQuality = 80;
  TVLJPEGColorSpace TiffJPEGColorSpace = jcYCbCr;
  int32_t TiffDirectoryCount = 0;
  int32_t TiffFillOrder = 1;
  // Strips or tiles of the last TIFF image read whose data ended before their last row (the
  // missing rows are zero); the read itself still counts as a success.
  int32_t TiffWarningCount = 0;

  // --- JPEG ---
  TVLJPEGColorSpace JpegColorSpace = jcYCbCr;
  int32_t JpegQuality = 80;
  TVLJPEGDCTMethod JpegDCTMethod = jdISLOW;
  bool JpegOptimizeCoding = false;
  int32_t JpegSmoothing = 0;
  bool JpegProgressive = false;
  TVLJPEGScale JpegScale = jsFullSize;
  TVLMarkerList JpegMarkers;
  int32_t JpegScaleApplied = 1;
  int32_t JpegFullWidth = 0;
  int32_t JpegFullHeight = 0;
  bool JpegAutoOrient = false;
  bool JpegThumbnailFromExif = false;
  int32_t JpegWarningCount = 0;
  int32_t JpegLastWarning = 0;

  // --- PNG ---
  TRGB PngBackground{};
  bool PngInterlaced = false;
  uint8_t PngRowFilter = 0;
  int32_t PngCompression = 5;
  std::vector<std::string> PngTextKeys;    // text chunks, pairwise with PngTextValues
  std::vector<std::string> PngTextValues;

  // --- BMP ---
  uint8_t BmpVersion = 1;
  uint8_t BmpCompression = 0;

  // --- Formats whose codecs are not built; kept so that defaults, clearing and copying
  // treat them like the others ---
  // GIF
  std::string GifVersion = "GIF89a";
  int32_t GifFrameIndex = 0;
  int32_t GifImageCount = 0;
  TRGB GifBackground{};
  bool GifInterlaced = false;
  bool GifTransparent = false;
  TRGB GifTranspColor{};
  int32_t GifDelayTime = 0;
  int32_t GifXPos = 0;
  int32_t GifYPos = 0;
  int32_t GifWinWidth = 0;
  int32_t GifWinHeight = 0;
  std::vector<std::string> GifComments;
  TVLGifLzwDecoder GifLzwDecoder = nullptr;
  TVLGifLzwEncoder GifLzwEncoder = nullptr;
  // Icon and cursor
  int32_t IcoImageIndex = 0;
  int32_t IcoImageCount = 0;
  std::array<int32_t, 2> IcoSize{};  // width, height of the image to write (0: bitmap's)
  int32_t IcoBitCount = 0;
  int32_t CurHotX = 0;
  int32_t CurHotY = 0;
  // Targa
  bool TgaCompressed = true;
  std::string TgaDescriptor;
  std::string TgaAuthor;
  std::string TgaImageName;
  TRGB TgaBackground{};
  // PostScript
  int32_t PSPaperWidth = 595;
  int32_t PSPaperHeight = 842;
  std::string PSTitle = "No Title";
  TVLTIFFCompression PSCompression = tcUNCOMPRESSED;
  // PDF
  int32_t PDFPaperWidth = 595;
  int32_t PDFPaperHeight = 842;
  TVLTIFFCompression PDFCompression = tcUNCOMPRESSED;
  // Camera raw
  bool RawHalfSize = true;
  double RawGamma = 0.6;
  bool RawAutoAdjustColors = false;
  // Headerless pixel data
  int32_t RawPixelsRowAlign = 8;
  int32_t RawPixelsHeaderSize = 0;
  bool RawPixelsBigEndian = false;
  // Multipage PCX
  int32_t DcxImageIndex = 0;
  int32_t DcxImageCount = 0;

};

// The Exif fields; ClearExif sets them back to these values.
struct TVLExifFields {
  // --- EXIF (cleared by ClearExif) ---
  bool ExifPresent = false;
  std::string ExifImageDescription;
  std::string ExifMake;
  std::string ExifModel;
  int32_t ExifOrientation = 0;
  double ExifXResolution = 0;
  double ExifYResolution = 0;
  int32_t ExifResolutionUnit = 0;
  std::string ExifSoftware;
  std::string ExifArtist;
  std::string ExifDateTime;
  std::array<double, 2> ExifWhitePoint{};
  std::array<double, 6> ExifPrimaryChromaticities{};
  std::array<double, 3> ExifYCbCrCoefficients{};
  int32_t ExifYCbCrPositioning = 0;
  std::array<double, 6> ExifReferenceBlackWhite{};
  std::string ExifCopyright;
  double ExifExposureTime = 0;
  double ExifFNumber = 0;
  int32_t ExifExposureProgram = 0;
  std::array<int32_t, 2> ExifISOSpeedRatings{};
  std::string ExifVersion;  // 4 characters as stored
  std::string ExifDateTimeOriginal;
  std::string ExifDateTimeDigitized;
  double ExifCompressedBitsPerPixel = 0;
  double ExifShutterSpeedValue = 0;
  double ExifApertureValue = 0;
  double ExifBrightnessValue = 0;
  double ExifExposureBiasValue = 0;
  double ExifMaxApertureValue = 0;
  double ExifSubjectDistance = 0;
  int32_t ExifMeteringMode = 0;
  int32_t ExifLightSource = 0;
  int32_t ExifFlash = 0;
  double ExifFocalLength = 0;
  std::string ExifSubsecTime;
  std::string ExifSubsecTimeOriginal;
  std::string ExifSubsecTimeDigitized;
  std::string ExifFlashPixVersion;  // 4 characters as stored
  int32_t ExifColorSpace = 0;
  int32_t ExifImageWidth = 0;
  int32_t ExifImageHeight = 0;
  std::string ExifRelatedSoundFile;
  double ExifFocalPlaneXResolution = 0;
  double ExifFocalPlaneYResolution = 0;
  int32_t ExifFocalPlaneResolutionUnit = 0;
  double ExifExposureIndex = 0;
  int32_t ExifSensingMethod = 0;
  int32_t ExifFileSource = 0;
  int32_t ExifSceneType = 0;
  std::string ExifUserComment;      // the value from its 9th byte on
  std::string ExifUserCommentCode;  // its first 8 bytes (character code)
  TVLTagsHandler ExifMakerNote;
  std::u16string ExifXPTitle;
  std::u16string ExifXPComment;
  std::u16string ExifXPAuthor;
  std::u16string ExifXPKeywords;
  std::u16string ExifXPSubject;

};

class TIOParamsVals : public TObject, public TVLParamsFields, public TVLExifFields {
 public:
  explicit TIOParamsVals(IParamsOwner* OwnerComponent = nullptr);
  ~TIOParamsVals() override;
  TIOParamsVals(const TIOParamsVals&) = delete;
  TIOParamsVals& operator=(const TIOParamsVals&) = delete;

  IParamsOwner* OwnerComponent() const { return FOwner; }

  // Every field to its default (see the .cpp for the order).
  void ResetToDefaults();
  // Clears what describes the last file read; writing options and sizes stay.
  void ClearReadInfo();
  // Clears every Exif field, frees the thumbnail and deletes an APP1 marker in JpegMarkers.
  void ClearExif();
  // Deep copy of every field; resolution, index, orientation and thumbnail flag go through
  // their setters (so the owner is told about the resolution).
  void Assign(const TIOParamsVals& Source);

  // --- Mirrored fields ---
  int32_t DpiX() const { return FDpiX; }
  int32_t DpiY() const { return FDpiY; }
  void SetDpiX(int32_t Value);  // also ExifXResolution; tells the owner
  void SetDpiY(int32_t Value);  // also ExifYResolution; tells the owner
  int32_t ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int32_t Value);  // also TiffDirectoryIndex and the other formats' indexes
  int32_t ImageCount() const { return FImageCount; }
  void SetImageCount(int32_t Value);  // also TiffDirectoryCount and the other formats' counts
  bool ThumbnailOnly() const { return FThumbnailOnly; }
  void SetThumbnailOnly(bool Value);  // also JpegThumbnailFromExif
  int32_t TiffOrientation() const { return FTiffOrientation; }
  void SetTiffOrientation(int32_t Value);  // also ExifOrientation

  // --- Objects made on first use ---
  TVLICC& SourceProfile();
  TVLICC& TargetProfile();
  TVLImagingAnnot& Annotations();
  bool HasSourceProfile() const { return FSourceProfile != nullptr; }
  bool HasTargetProfile() const { return FTargetProfile != nullptr; }
  bool HasAnnotations() const { return FAnnotations != nullptr; }

  int32_t ColorMapCount() const { return int32_t(ColorMap.size()); }
  // The EXIF thumbnail (cleared by ClearExif).
  std::unique_ptr<TVLBitmap> ExifThumbnail;

 private:
  IParamsOwner* FOwner;
  int32_t FDpiX = 300;
  int32_t FDpiY = 300;
  int32_t FImageIndex = 0;
  int32_t FImageCount = 0;
  bool FThumbnailOnly = false;
  int32_t FTiffOrientation = 1;
  std::unique_ptr<TVLICC> FSourceProfile;
  std::unique_ptr<TVLICC> FTargetProfile;
  std::unique_ptr<TVLImagingAnnot> FAnnotations;
};
