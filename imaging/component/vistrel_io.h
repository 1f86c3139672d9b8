#pragma once
// TVistrelIO: the component through which images enter and leave the system. It chooses a
// file format by the name's extension (through the format registry), opens the file, lets
// the format's reader fill its target bitmap and its parameter set, and tells an attached
// view that the image and its resolution changed. Saving writes the target bitmap in the
// format chosen the same way, or in the one named by the operation.
//
// Failure of a reader or writer (bad or unsupported data) is reported through AbortFlag, not
// by exceptions: the operation completes and fires OnFinishWork. Failures of the environment
// (a file that cannot be opened or created, memory exhaustion, a library error the JPEG
// writer lets through) raise and reach the caller. Every operation runs on the caller's
// thread; the progress and finish events are called from inside it.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/io/file_types.h"
#include "imaging/component/format_registry.h"
#include "imaging/io/params.h"
#include "imaging/io/progress.h"
#include "imaging/model/pixel_format.h"
#include "platform/object.h"

class TStream;
class TVLBitmap;
class TVLMask;
class TVLView;
class TToolkitBitmap;

// Language of the parameter and preview dialogs (no dialogs are built; kept as a property).
enum TMsgLanguage : int32_t {
  msSystem, msEnglish, msItalian, msGerman, msSpanish, msFrench, msPortuguese, msGreek,
  msRussian, msDutch, msSwedish, msPolish, msJapanese, msCzech, msUser
};
// Measure unit of the dialogs (not used).
enum TVLMeasureUnit : int32_t { muInches, muCentimeters, muSelectableDefInches, muSelectableDefCm };
// Options of the parameters dialog, a set of bits (not used).
using TPreviewParams = uint32_t;
// The font of the dialogs (not used).
struct TVLPreviewFont {
  std::string Name = "MS Sans Serif";
  int32_t Height = -11;
};

// Builds the APP1 EXIF payload that SaveJpegFile writes.
using TVLExifBlockBuilder = std::function<std::vector<uint8_t>(const TIOParamsVals& Params)>;

class TVistrelIO : public TComponent, private IParamsOwner {
 public:
  explicit TVistrelIO(TComponent* Owner = nullptr);
  ~TVistrelIO() override;
  TVistrelIO(const TVistrelIO&) = delete;
  TVistrelIO& operator=(const TVistrelIO&) = delete;

  // ---- Published properties ---------------------------------------------------------------
  // The view whose bitmap is read and written; nullptr detaches (the component then works on
  // a new bitmap of its own).
  TVLView* AttachedVistrel() const { return FView; }
  void SetAttachedVistrel(TVLView* View);
  // A toolkit bitmap to work on instead of a view's bitmap; it is adopted by the target
  // bitmap before each load and save.
  TToolkitBitmap* AttachedBitmap() const { return FAttachedBitmap; }
  void SetAttachedBitmap(TToolkitBitmap* Bitmap) { FAttachedBitmap = Bitmap; }
  // Background colour; the attached view's while one is attached (writing it then changes
  // nothing).
  TColor Background() const;
  void SetBackground(TColor Value);
  // Progress in percent and the end of every load and save.
  TVLProgressEvent OnProgress;
  TNotifyEvent OnFinishWork;
  // Stream operations write and expect a block header ahead of each image. Only the TIFF
  // stream loader looks at it so far: with headers on, TIFF offsets count from the stream's
  // start.
  bool StreamHeaders() const { return FStreamHeaders; }
  void SetStreamHeaders(bool Value) { FStreamHeaders = Value; }
  // After loading, resample so that horizontal and vertical resolution agree, smoothing with
  // FilteredAdjustDPI.
  bool AutoAdjustDPI() const { return FAutoAdjustDPI; }
  void SetAutoAdjustDPI(bool Value) { FAutoAdjustDPI = Value; }
  bool FilteredAdjustDPI() const { return FFilteredAdjustDPI; }
  void SetFilteredAdjustDPI(bool Value) { FFilteredAdjustDPI = Value; }
  // Readers keep the file's own pixel format (stored as Params().KeepNativeFormat).
  bool NativePixelFormat() const;
  void SetNativePixelFormat(bool Value);
  // Dialog properties, kept but not used.
  TMsgLanguage MsgLanguage() const { return FMsgLanguage; }
  void SetMsgLanguage(TMsgLanguage Value) { FMsgLanguage = Value; }
  TPreviewParams PreviewsParams() const { return FPreviewsParams; }
  void SetPreviewsParams(TPreviewParams Value) { FPreviewsParams = Value; }
  bool SimplifiedParamsDialogs() const { return FSimplifiedParamsDialogs; }
  void SetSimplifiedParamsDialogs(bool Value) { FSimplifiedParamsDialogs = Value; }
  TVLMeasureUnit DialogsMeasureUnit() const { return FDialogsMeasureUnit; }
  void SetDialogsMeasureUnit(TVLMeasureUnit Value) { FDialogsMeasureUnit = Value; }
  TVLPreviewFont& PreviewFont() { return FPreviewFont; }
  std::function<void(TObject* Sender, TObject* PreviewForm)> OnIOPreview;
  std::function<void(TObject* Sender, TVLBitmap* ABitmap, bool& Handled)> OnAcquireBitmap;
  std::function<void(TObject* Sender, bool& Handled)> OnDoPreviews;

  // ---- State --------------------------------------------------------------------------------
  TIOParamsVals& Params() { return *FParams; }
  const TIOParamsVals& Params() const { return *FParams; }
  // The result of the last operation: false after a successful load or save, true after a
  // failed one; unchanged after LoadFromFile with an extension that no format lists.
  bool AbortFlag() const { return FAbortFlag; }
  // The bitmap that loads fill and saves read: the attached view's, or one of the component.
  TVLBitmap* TargetBitmap() const { return FTargetBitmap; }

  // ---- Replaceable writers (defaults: EncodeJpeg and BuildExifBlock) -------------------------
  TVLWriteProc JpegWriter;
  TVLExifBlockBuilder ExifBlockBuilder;

  // ---- Loading --------------------------------------------------------------------------------
  // Loads by extension: TIFF, JPEG, BMP and PNG through their loaders below, other registered
  // formats through the registry. "" fails (AbortFlag) and an unknown extension is ignored.
  void LoadFromFile(const std::string& FileName);
  // Loads as the given type; a type without loader or registry record does nothing.
  void LoadFileAsType(const std::string& FileName, TVLFileType FileType);
  // Loads as the type the file's content shows, falling back to LoadFromFile.
  void LoadFileByContent(const std::string& FileName);

  // Format loaders. File loaders raise EFOpenError when the file cannot be opened (after
  // setting AbortFlag and firing OnFinishWork); stream loaders read from the stream's
  // position.
  virtual void LoadTiffFile(const std::string& FileName);
  virtual void LoadTiffStream(TStream& Stream);
  virtual void LoadJpegFile(const std::string& FileName);
  virtual void LoadJpegStream(TStream& Stream);
  virtual void LoadBmpFile(const std::string& FileName);
  virtual void LoadBmpStream(TStream& Stream);
  virtual void LoadPngFile(const std::string& FileName);
  virtual void LoadPngStream(TStream& Stream);
  // Loaders of formats whose readers are not built: they open the file and fail through
  // AbortFlag.
  virtual void LoadGifFile(const std::string& FileName);
  virtual void LoadPcxFile(const std::string& FileName);
  virtual void LoadIcoFile(const std::string& FileName);
  virtual void LoadCurFile(const std::string& FileName);
  virtual void LoadMetaFile(const std::string& FileName);  // WMF and EMF
  virtual void LoadTgaFile(const std::string& FileName);
  virtual void LoadPxmFile(const std::string& FileName);
  virtual void LoadJp2File(const std::string& FileName);
  virtual void LoadJ2kFile(const std::string& FileName);
  virtual void LoadWbmpFile(const std::string& FileName);
  virtual void LoadDcxFile(const std::string& FileName);
  virtual void LoadRawFile(const std::string& FileName);
  virtual void LoadRawPixelsFile(const std::string& FileName);
  // Network and video loading are not built: both fail through AbortFlag.
  virtual void LoadFromURL(const std::string& URL);
  virtual void LoadVideoFrame(const std::string& FileName);

  // ---- Saving ----------------------------------------------------------------------------------
  // Saves in the format given by the extension; "" does nothing; an extension that no format
  // writes sets AbortFlag.
  void SaveToFile(const std::string& FileName);
  // Writes TargetBitmap as JPEG (converted to vl24RGB first unless it is vl24RGB or vl1g),
  // with the Jpeg fields of Params and its marker list, to which the IPTC records (APP13)
  // and, when Params.ExifPresent, an EXIF block (APP1) are added first (a block too large for
  // one marker segment fails the save through AbortFlag). Raises EFCreateError
  // when the file cannot be created. The image is written beside the file and takes its
  // place only when the writer succeeds: when the writer raises or reports failure no
  // partial JPEG is left behind, and a file that had the name stays as it was.
  virtual void SaveJpegFile(const std::string& FileName);
  virtual void SaveTiffFile(const std::string& FileName);
  virtual void SavePngFile(const std::string& FileName);
  virtual void SaveBmpFile(const std::string& FileName);
  // Writers of formats that are not built: they set AbortFlag and write nothing.
  virtual void SaveGifFile(const std::string& FileName);
  virtual void SavePcxFile(const std::string& FileName);
  virtual void SaveDcxFile(const std::string& FileName);
  virtual void SaveJp2File(const std::string& FileName);
  virtual void SaveJ2kFile(const std::string& FileName);
  virtual void SaveTgaFile(const std::string& FileName);
  virtual void SavePxmFile(const std::string& FileName);
  virtual void SaveIcoFile(const std::string& FileName);
  virtual void SaveWbmpFile(const std::string& FileName);
  virtual void SavePSFile(const std::string& FileName);
  virtual void SavePDFFile(const std::string& FileName);

  // ---- Steps shared by the operations ------------------------------------------------------------
  // False without a target bitmap; adopts an attached toolkit bitmap first.
  bool PrepareTarget();
  // Tells the attached view (Update, then ImageChange) or marks the toolkit bitmap modified.
  void UpdateAttached();
  // Resamples the target so that DpiX and DpiY agree (see the .cpp); with FilteredAdjustDPI
  // smoothed on vl24RGB, otherwise stretched in the bitmap's own format.
  void AdjustDPI();
  // A resolution below 2 becomes FallbackDpiX / FallbackDpiY.
  void CheckDPI();

  // Progress: calls OnProgress when it is set.
  virtual void DoProgress(TObject* Sender, int Percent);
  // DoProgress(this, 100), then OnFinishWork.
  virtual void FireFinishWork();

 protected:
  // A progress record bound to DoProgress and to AbortFlag.
  TVLProgressState MakeProgress();

 private:
  // Reads one image with the stream, the progress record and the mask the reader may return.
  using TLoaderReader =
      std::function<void(TStream& Stream, TVLProgressState& Progress,
                         std::unique_ptr<TVLMask>& AlphaMask)>;
  // The common shape of a format loader. With FileName set the file is opened (and closed);
  // otherwise Stream is read. AbortFirst is the AbortFlag value before preparing.
  void RunLoader(const std::string* FileName, TStream* Stream, TVLFileType FileType,
                 bool AbortFirst, const TLoaderReader& Reader);
  // A loader of a format whose reader is not built.
  void LoadNotBuilt(const std::string& FileName, TVLFileType FileType);
  // Step 6 of LoadFromFile: the format's own loader; false when the type has none.
  bool LoadByType(const std::string& FileName, TVLFileType FileType);
  // Step 7: a registry record's read entry.
  void LoadThroughRegistry(const TVLFormatEntry& Entry, const std::string& FileName);
  // The format's own writer; false when the type has none.
  bool SaveByType(const std::string& FileName, TVLFileType FileType);
  void SaveThroughRegistry(const TVLFormatEntry& Entry, const std::string& FileName);
  // Runs Write on a new file that replaces FileName only when Write neither raises nor sets
  // AbortFlag (otherwise it is removed). AbortFlag is false when Write starts and true when
  // an exception leaves.
  void WriteNewFile(const std::string& FileName, const std::function<void(TStream&)>& Write);
  // Writes with one of the format writers that take any pixel format.
  void SaveWith(const std::string& FileName, const TVLWriteProc& Writer);
  // A writer of a format that is not built.
  void SaveNotBuilt();
  // The IPTC and EXIF marker steps of SaveJpegFile; false when the block does not fit in one
  // marker segment.
  bool PutIptcMarker();
  bool PutExifMarker();

  // The view's bitmap becomes the target (or a bitmap of ours wrapping its toolkit bitmap).
  void FetchViewBitmap();
  void UseOwnBitmap();
  void ViewChanged(TVLView* View, bool Destroying);

  // IParamsOwner
  void ParamsDpiXChanged(int32_t DpiX) override;
  void ParamsDpiYChanged(int32_t DpiY) override;
  bool ParamsToolkitBitmapSize(int32_t& Width, int32_t& Height) override;

  std::unique_ptr<TVLBitmap> FOwnedBitmap;  // set when the target is the component's own
  TVLBitmap* FTargetBitmap = nullptr;
  TVLView* FView = nullptr;
  int FViewCallback = -1;
  TToolkitBitmap* FAttachedBitmap = nullptr;
  std::unique_ptr<TIOParamsVals> FParams;
  bool FAbortFlag = false;
  bool FQuietDpi = false;  // AdjustDPI writes the resolution without telling the view
  TColor FBackground = 0;
  bool FStreamHeaders = false;
  bool FAutoAdjustDPI = false;
  bool FFilteredAdjustDPI = false;
  TMsgLanguage FMsgLanguage = msSystem;
  TPreviewParams FPreviewsParams = 0;
  bool FSimplifiedParamsDialogs = true;
  TVLMeasureUnit FDialogsMeasureUnit = muInches;
  TVLPreviewFont FPreviewFont;
};
