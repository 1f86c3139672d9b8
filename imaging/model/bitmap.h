#pragma once
// TVLBitmap, the one image container of the imaging library: a width, a height, one of the
// ten pixel formats with byte-exact row layouts, rows reached only through Scanline, a
// storage location (process memory, a temporary file, or a toolkit bitmap) and an optional
// 8-bit alpha channel that is itself a TVLBitmap.
//
// Errors: allocation failures (a size that does not fit, memory the system refuses, a format
// a toolkit bitmap cannot hold, a temporary file that cannot be written back) raise
// EVLBitmapError. A failed allocation leaves the bitmap empty (vlNull, 0 x 0), the four formats
// refused in vlTBitmap included: never sizes without usable storage behind them.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "imaging/model/file_buffer.h"
#include "imaging/model/pixel_format.h"
#include "platform/object.h"

class TToolkitBitmap;
class TVLMask;
class TVLBitmap;
class TVLDibbitmap;

// Raised for allocation and storage failures of bitmaps.
class EVLBitmapError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Three little-endian 16-bit words, red, green, blue (the vlRGB48 pixel layout).
#pragma pack(push, 1)
struct TRGB48 {
  uint16_t r = 0;
  uint16_t g = 0;
  uint16_t b = 0;
  bool operator==(const TRGB48&) const = default;
};
#pragma pack(pop)
static_assert(sizeof(TRGB48) == 6);

// Row access flags (a set): rows of a file-backed bitmap are read from the file only with
// raRead and written back only with raWrite.
enum TVLRowAccessFlag : uint8_t { raRead = 1, raWrite = 2 };
using TVLRowAccess = uint8_t;

// ---- Process-wide settings ------------------------------------------------------------------
// Memory threshold for new bitmaps in bytes; -1 (the default) means half of the physical
// memory available when the bitmap is constructed (32 MiB when the system reports none).
void SetVLDefaultMemoryThreshold(int64_t Bytes);
int64_t VLDefaultMemoryThreshold();
// Folder for temporary image files; empty (the default) uses the system's temporary folder.
// A non-empty value is used as given (include the trailing '/').
void SetVLTempDirectory(const std::string& Dir);
std::string VLTempDirectory();

// Arguments of the row-rendering operations the display resampling calls: the target's row
// table and the target, the blend operation, the ranges and the coordinate tables.
struct TVLRowRenderParams {
  uint8_t** Rows = nullptr;     // target row table (top row first)
  TVLBitmap* Target = nullptr;  // the bitmap drawn into
  int32_t Operation = 0;        // 0 copies; other values are layer blend operations
  bool SolidUnder = false;      // plain background: whole previous rows may be copied
  int32_t StepY = 16384;        // 2.14 fixed-point source steps
  int32_t StepX = 16384;
  int32_t LastRow = -1;         // destination range, inclusive
  int32_t FirstRow = 0;
  int32_t FirstCol = 0;
  int32_t LastCol = -1;
  int32_t DstX = 0, DstY = 0, SrcX = 0, SrcY = 0;
  const int32_t* YTable = nullptr;  // source row per destination row of the range
  const int32_t* XTable = nullptr;  // source column per destination column of the range
  // Blending only:
  const uint8_t* OpacityRow = nullptr;
  bool UseAlpha = false;
  int32_t Opacity = 255;
};

// Row renderers per pixel format (indexed by TVLPixelFormat), installed by the display code so
// that this model does not depend on it. Until a table is installed the row-rendering
// operations draw nothing.
using TVLRowRenderProc = void (*)(TVLBitmap& Source, const TVLRowRenderParams& P);
struct TVLRowRenderTable {
  TVLRowRenderProc Render[kPixelFormatCount] = {};
  TVLRowRenderProc Blend[kPixelFormatCount] = {};
};
void SetVLRowRenderTable(const TVLRowRenderTable* Table);
const TVLRowRenderTable* VLRowRenderTable();

// The abstract row-access interface shared by TVLBitmap and TVLDibbitmap.
class TVLBaseBitmap : public TObject {
 public:
  TVLRowAccess RowAccess = raRead | raWrite;

  virtual uint8_t* GetScanline(int32_t Row) = 0;
  virtual int32_t GetBitCount() = 0;
  virtual int32_t GetHeight() = 0;
  virtual int32_t GetWidth() = 0;
  virtual TVLPixelFormat GetPixelFormat() = 0;
  virtual int32_t GetRowBytes() = 0;
  // An index outside the palette reads as black.
  virtual TRGB GetPaletteColor(int32_t Index) = 0;
  virtual void SetPaletteColor(int32_t Index, TRGB Color) = 0;
  virtual int32_t GetPaletteSize() = 0;
  virtual TVLBaseBitmap* Allocate(int32_t Width, int32_t Height, TVLPixelFormat Format) = 0;
  virtual void Assign(TObject* Source) = 0;
};

class TVLBitmap : public TVLBaseBitmap {
 public:
  TVLBitmap();
  // Wraps a caller's toolkit bitmap without owning it (AdoptToolkitBitmap).
  explicit TVLBitmap(TToolkitBitmap* Encapsulate);
  ~TVLBitmap() override;
  TVLBitmap(const TVLBitmap&) = delete;
  TVLBitmap& operator=(const TVLBitmap&) = delete;

  // ---- The base interface --------------------------------------------------------------------
  uint8_t* GetScanline(int32_t Row) override;
  int32_t GetBitCount() override;
  int32_t GetHeight() override;
  int32_t GetWidth() override;
  TVLPixelFormat GetPixelFormat() override;
  int32_t GetRowBytes() override;
  TRGB GetPaletteColor(int32_t Index) override;
  void SetPaletteColor(int32_t Index, TRGB Color) override;
  int32_t GetPaletteSize() override;
  // Frees the current image and allocates a new one (pixels zero in vlMemory and vlFile).
  TVLBitmap* Allocate(int32_t Width, int32_t Height, TVLPixelFormat Format) override;
  // Source: a TVLBitmap or a TToolkitBitmap (as CopyFromToolkitBitmap); anything else is
  // ignored. In vlTBitmap an empty source changes nothing, and a source format the toolkit
  // bitmap cannot hold is assigned from a converted copy (vl16g, vl32f as vl8g, the others as
  // vl24RGB); the source itself is left alone.
  void Assign(TObject* Source) override;
  void Assign(TVLBitmap& Source) { Assign(static_cast<TObject*>(&Source)); }

  // ---- Row rendering for the display (one pair per format; through the installed table) -------
  virtual void RenderRows24RGB(const TVLRowRenderParams& P);
  virtual void BlendRows24RGB(const TVLRowRenderParams& P);
  virtual void RenderRows1g(const TVLRowRenderParams& P);
  virtual void BlendRows1g(const TVLRowRenderParams& P);
  virtual void RenderRows8g(const TVLRowRenderParams& P);
  virtual void BlendRows8g(const TVLRowRenderParams& P);
  virtual void RenderRows8p(const TVLRowRenderParams& P);
  virtual void BlendRows8p(const TVLRowRenderParams& P);
  virtual void RenderRows16g(const TVLRowRenderParams& P);
  virtual void BlendRows16g(const TVLRowRenderParams& P);
  virtual void RenderRows32f(const TVLRowRenderParams& P);
  virtual void BlendRows32f(const TVLRowRenderParams& P);
  virtual void RenderRowsCMYK(const TVLRowRenderParams& P);
  virtual void BlendRowsCMYK(const TVLRowRenderParams& P);
  virtual void RenderRowsCIELab(const TVLRowRenderParams& P);
  virtual void BlendRowsCIELab(const TVLRowRenderParams& P);
  virtual void RenderRowsRGB48(const TVLRowRenderParams& P);
  virtual void BlendRowsRGB48(const TVLRowRenderParams& P);

  // ---- Storage ----------------------------------------------------------------------------------
  // Releases pixels, palette, row table and temporary file (and the alpha channel when
  // AlsoAlpha); all sizes become 0.
  void DiscardImage(bool AlsoAlpha = true);
  bool IsEmpty();
  TVLLocation Location() const { return FLocation; }
  // Moves the pixels to another location, keeping them and the alpha channel; the threshold
  // rule of allocation may still choose between vlMemory and vlFile. Formats a toolkit bitmap
  // cannot hold are converted first (vl16g, vl32f to vl8g, the others to vl24RGB). On an empty
  // bitmap only the location for the next allocation changes. An alpha channel never moves
  // to vlTBitmap.
  void SetLocation(TVLLocation Value);
  // Hands all storage to Target (whose previous image is freed); this bitmap becomes empty.
  void HandOverTo(TVLBitmap& Target);
  // The temporary-file store behind vlFile (for inspection).
  TVLFileBuffer& FileBuffer() { return *FFileBuffer; }

  // ---- Row and property access ---------------------------------------------------------------
  // In vlFile the pointer is valid only until the next Scanline call on this bitmap.
  uint8_t* Scanline(int32_t Row) { return GetScanline(Row); }
  int32_t Width() { return GetWidth(); }
  int32_t Height() { return GetHeight(); }
  int32_t BitCount() { return GetBitCount(); }
  int32_t RowBytes() { return GetRowBytes(); }
  TVLPixelFormat PixelFormat() { return GetPixelFormat(); }
  int32_t ChannelsPerPixel();
  int32_t PaletteSize() { return GetPaletteSize(); }
  TRGB Palette(int32_t Index) { return GetPaletteColor(Index); }
  void SetPalette(int32_t Index, TRGB Color) { SetPaletteColor(Index, Color); }

  // ---- Pixel access (no bounds checks beyond the row; X, Y must lie inside the image) ----------
  bool PixelBit(int32_t X, int32_t Y);  // vl1g
  void SetPixelBit(int32_t X, int32_t Y, bool Value);
  uint8_t Pixel8(int32_t X, int32_t Y);  // vl8p, vl8g, alpha
  void SetPixel8(int32_t X, int32_t Y, uint8_t Value);
  uint16_t Pixel16(int32_t X, int32_t Y);  // vl16g
  void SetPixel16(int32_t X, int32_t Y, uint16_t Value);
  float PixelFloat(int32_t X, int32_t Y);  // vl32f
  void SetPixelFloat(int32_t X, int32_t Y, float Value);
  uint32_t Pixel32(int32_t X, int32_t Y);  // vlCMYK (C in bits 0-7), vl32f bits
  void SetPixel32(int32_t X, int32_t Y, uint32_t Value);
  TRGB PixelRGB(int32_t X, int32_t Y);  // vl24RGB (also vlCIELab bytes L, a, b as b, g, r)
  void SetPixelRGB(int32_t X, int32_t Y, TRGB Value);
  TRGB48 PixelRGB48(int32_t X, int32_t Y);  // vlRGB48
  void SetPixelRGB48(int32_t X, int32_t Y, TRGB48 Value);
  // Any format read as a colour.
  TRGB PixelAsRGB(int32_t X, int32_t Y);
  // The alpha byte: of this bitmap when it is an alpha channel, else of its alpha channel
  // (created when absent).
  uint8_t Alpha(int32_t X, int32_t Y);
  void SetAlpha(int32_t X, int32_t Y, uint8_t Value);

  // ---- Alpha channel ---------------------------------------------------------------------------
  // Creates the alpha channel (filled with 255) when absent; nullptr for an alpha channel itself.
  TVLBitmap* AlphaLayer();
  bool HasAlphaLayer() const { return FAlpha != nullptr; }
  void DropAlphaLayer();
  bool IsAlphaLayer() const { return FIsAlphaLayer; }
  // Moves this bitmap's alpha channel (or its absence) to Dest, replacing Dest's.
  void MoveAlphaLayerTo(TVLBitmap& Dest);

  // Every pixel holds the format's maximum value.
  bool AllMax() const { return FAllMax; }
  void SetAllMax(bool Value) { FAllMax = Value; }

  // ---- Whole-image operations ---------------------------------------------------------------------
  // Change one dimension keeping the content anchored at the top-left.
  void SetWidth(int32_t Value);
  void SetHeight(int32_t Value);
  // Converts the pixels to another format in place (the current format and vlNull do
  // nothing). In vlTBitmap vl16g becomes vl8g and the formats a toolkit bitmap cannot hold
  // raise EVLBitmapError with the pixels unchanged.
  void SetPixelFormat(TVLPixelFormat Value);
  // Like Assign, but keeps this bitmap's alpha channel, RowAlignment and MonoMethod and clears
  // AllMax; an empty source changes nothing.
  void AssignPixelsOnly(TVLBitmap& Source);
  // Fills the whole image; returns and stores AllMax.
  bool Fill(double Value);
  // Fills the inclusive rectangle clamped to the image; AllMax is never set by it, and is
  // cleared when Value is not the format's maximum.
  void FillRect(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, double Value);
  void CopyRectInto(TVLBitmap& Dest, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY,
                    int32_t RectWidth, int32_t RectHeight);
  void MaxAlphaRectTo(TVLBitmap& Dest, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY,
                      int32_t RectWidth, int32_t RectHeight);
  // Changes the canvas size; alignments 0 left/top, 1 centre, 2 right/bottom.
  void Resize(int32_t NewWidth, int32_t NewHeight, double FillValue, int32_t AlphaFillValue,
              int32_t HorizAlign, int32_t VertAlign);
  bool IsAllGray();
  void RecheckAllMax();
  bool AllBytesZero();

  // ---- Toolkit bitmap interchange ------------------------------------------------------------------
  // Switches to vlTBitmap and returns the toolkit bitmap (nullptr for an alpha channel).
  TToolkitBitmap* ToolkitBitmap();
  // The toolkit bitmap currently held (vlTBitmap), or nullptr, without switching.
  TToolkitBitmap* CurrentToolkitBitmap() const { return FToolkit; }
  // Takes a caller's 1- or 24-bit toolkit bitmap as storage without copying (never freed
  // here); other depths are copied (CopyFromToolkitBitmap). FreeFirst also drops the alpha
  // channel.
  void AdoptToolkitBitmap(TToolkitBitmap* Bitmap, bool FreeFirst);
  // Copies the pixels of any toolkit depth (1 bit monochrome -> vl1g, 1 bit with a colour
  // table, 4 and 8 bits -> vl8p, 15 to 32 bits -> vl24RGB); in vlTBitmap the toolkit bitmap
  // is copied as a whole into one of our own.
  void CopyFromToolkitBitmap(TToolkitBitmap& Bitmap);
  // 1 bit -> vl1g, 8 bits -> vl8g, 24 bits -> vl24RGB, rows copied.
  void CopyFromDibSection(TVLDibbitmap& Dib);
  // Mask -> bitmap (vl1g or vl8g); nullptr fills the bitmap with 255.
  void LoadFromMask(TVLMask* Mask);
  void StoreToMask(TVLMask& Mask);

  // ---- Settings --------------------------------------------------------------------------------------
  int64_t MemoryThreshold;          // bytes; set from the process-wide setting at construction
  uint8_t MonoMethod = 1;           // 0 ordered dither, 1 threshold
  int32_t PaletteColorCount = 256;  // palette colours in use / wanted when quantizing
  double DisplayRangeMin = 0;
  double DisplayRangeMax = 0;
  int32_t DisplayOffsetRed = 0;
  int32_t DisplayOffsetGreen = 0;
  int32_t DisplayOffsetBlue = 0;
  bool DisplayOffsetsOn = false;
  int32_t DisplayContrast = 0;
  int32_t RowAlignment = 32;  // bits; applies from the next allocation

 private:
  void InitDefaults();
  void FreeImage();
  void AllocateStorage();
  void AllocateMemory(uint64_t Size);
  void AllocateToolkit();
  void RebuildRowTable();
  void SyncToolkit();
  void ReleaseMappedRow();
  void CopyRowsFrom(TVLBitmap& Source);
  void AssignFrom(TVLBitmap& Source, bool PixelsOnly);
  void AssignIntoToolkit(TVLBitmap& Source);
  void ChangeDimension(int32_t NewWidth, int32_t NewHeight);
  void ShiftContent(int32_t DX, int32_t DY, double FillValue);
  void CreateAlpha();
  void SetToolkitFormat(TVLPixelFormat Value);
  uint8_t* PixelPtr(int32_t X, int32_t Y, int32_t BytesPerPixel);

  std::unique_ptr<TVLFileBuffer> FFileBuffer;
  std::vector<TRGB> FPalette;  // 256 entries for vl8p
  std::unique_ptr<TVLBitmap> FAlpha;
  uint8_t* FBits = nullptr;    // 32-byte aligned row base (vlMemory)
  void* FBlock = nullptr;      // the allocation it lies in
  uint64_t FBlockSize = 0;
  TToolkitBitmap* FToolkit = nullptr;
  std::vector<uint8_t*> FRowTable;  // vlTBitmap
  uint64_t FPaletteStamp = 0;       // toolkit change stamp the palette was copied at
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  int32_t FBitCount = 0;
  int32_t FChannels = 0;
  int32_t FRowBytes = 0;
  TVLPixelFormat FPixelFormat = vlNull;
  bool FIsAlphaLayer = false;
  TVLLocation FLocation = vlFile;
  bool FAllMax = false;
  bool FEncapsulated = false;
};

// Bytes per row for a width, bit count and row alignment in bits; throws EVLBitmapError when
// the result does not fit a signed 32-bit value.
int32_t VLRowBytes(int32_t Width, int32_t BitCount, int32_t RowAlignment = 32);
