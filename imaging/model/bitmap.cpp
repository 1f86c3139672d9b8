// TVLBitmap: construction, allocation in the three locations, row access, palette, alpha
// channel, location changes and hand-over.

#include "imaging/model/bitmap.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "imaging/model/bitmap_internal.h"
#include "platform/fs.h"
#include "platform/toolkit_bitmap.h"

using namespace vlbitmap_detail;

namespace {

std::atomic<int64_t> gDefaultThreshold{-1};
std::mutex gTempDirMutex;
std::string gTempDir;

constexpr int64_t kFallbackThreshold = 33554432;  // 32 MiB

}  // namespace

void SetVLDefaultMemoryThreshold(int64_t Bytes) { gDefaultThreshold = Bytes; }
int64_t VLDefaultMemoryThreshold() { return gDefaultThreshold; }

void SetVLTempDirectory(const std::string& Dir) {
  std::lock_guard<std::mutex> lock(gTempDirMutex);
  gTempDir = Dir;
}

std::string VLTempDirectory() {
  std::lock_guard<std::mutex> lock(gTempDirMutex);
  return gTempDir;
}

int32_t VLRowBytes(int32_t Width, int32_t BitCount, int32_t RowAlignment) {
  if (Width <= 0 || BitCount <= 0) return 0;
  if (RowAlignment <= 0 || RowAlignment % 8 != 0) RowAlignment = 32;
  const uint64_t bits = uint64_t(Width) * uint64_t(BitCount);
  const uint64_t units = (bits + uint64_t(RowAlignment) - 1) / uint64_t(RowAlignment);
  const uint64_t bytes = units * uint64_t(RowAlignment / 8);
  if (bytes > uint64_t(INT32_MAX)) throw EVLBitmapError("Image row too large");
  return int32_t(bytes);
}

// ---- Construction ----------------------------------------------------------------------------

TVLBitmap::TVLBitmap() { InitDefaults(); }

TVLBitmap::TVLBitmap(TToolkitBitmap* Encapsulate) {
  InitDefaults();
  AdoptToolkitBitmap(Encapsulate, true);
}

TVLBitmap::~TVLBitmap() {
  FAlpha.reset();
  FreeImage();
  if (!FEncapsulated) delete FToolkit;
  FToolkit = nullptr;
}

void TVLBitmap::InitDefaults() {
  FFileBuffer = std::make_unique<TVLFileBuffer>();
  const int64_t setting = gDefaultThreshold;
  if (setting == -1) {
    const uint64_t half = platform::AvailablePhysicalMemory() / 2;
    MemoryThreshold = half == 0 ? kFallbackThreshold
                                : int64_t(std::min<uint64_t>(half, uint64_t(INT64_MAX)));
  } else {
    MemoryThreshold = setting;
  }
}

// ---- Storage -----------------------------------------------------------------------------------

void TVLBitmap::FreeImage() {
  FFileBuffer->Close();
  if (FBlock) ::munmap(FBlock, size_t(FBlockSize));
  FBlock = nullptr;
  FBits = nullptr;
  FBlockSize = 0;
  FPalette.clear();
  FRowTable.clear();
  if (FToolkit && !FEncapsulated) {
    delete FToolkit;
    FToolkit = nullptr;
  }
  FWidth = FHeight = FBitCount = FChannels = FRowBytes = 0;
  FPixelFormat = vlNull;
}

void TVLBitmap::DiscardImage(bool AlsoAlpha) {
  FreeImage();
  FAllMax = false;
  if (AlsoAlpha) DropAlphaLayer();
}

TVLBitmap* TVLBitmap::Allocate(int32_t Width, int32_t Height, TVLPixelFormat Format) {
  DropAlphaLayer();
  FreeImage();
  FWidth = std::max(Width, 0);
  FHeight = std::max(Height, 0);
  FPixelFormat = (Format >= vlNull && Format < kPixelFormatCount) ? Format : vlNull;
  AllocateStorage();
  return this;
}

void TVLBitmap::AllocateStorage() {
  FAllMax = false;
  FBitCount = PixelFormatBits(FPixelFormat);
  FChannels = PixelFormatChannels(FPixelFormat);
  try {
    FRowBytes = VLRowBytes(FWidth, FBitCount, RowAlignment);
  } catch (...) {
    FreeImage();
    throw;
  }
  if (FWidth <= 0 || FHeight <= 0 || FPixelFormat == vlNull) return;
  if (FPixelFormat == vl8p) FPalette.assign(256, TRGB{});

  const int64_t size = int64_t(FRowBytes) * int64_t(FHeight);
  if (FLocation == vlFile && MemoryThreshold > size) FLocation = vlMemory;
  if (FLocation == vlMemory && MemoryThreshold < size) FLocation = vlFile;

  if (FLocation == vlFile && !FFileBuffer->Create(uint64_t(size), VLTempDirectory()))
    FLocation = vlMemory;
  if (FLocation == vlMemory) AllocateMemory(uint64_t(size));
  if (FLocation == vlTBitmap) AllocateToolkit();
  FAllMax = false;
}

void TVLBitmap::AllocateMemory(uint64_t Size) {
  const uint64_t blockSize = Size + 32;
  void* block = ::mmap(nullptr, size_t(blockSize), PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) {
    FreeImage();
    throw EVLBitmapError("Out of memory for an image of " + std::to_string(Size) + " bytes");
  }
  FBlock = block;
  FBlockSize = blockSize;
  const uintptr_t base = (reinterpret_cast<uintptr_t>(block) + 31) & ~uintptr_t(31);
  FBits = reinterpret_cast<uint8_t*>(base);
}

void TVLBitmap::AllocateToolkit() {
  if (const char* refused = ToolkitRefusal(FPixelFormat)) {
    FreeImage();  // never left half-made
    throw EVLBitmapError(refused);
  }
  if (FPixelFormat == vl16g) {
    FPixelFormat = vl8g;
    FBitCount = PixelFormatBits(vl8g);
    FChannels = PixelFormatChannels(vl8g);
    FRowBytes = VLRowBytes(FWidth, FBitCount, RowAlignment);
  }
  try {
    if (!FToolkit) {
      FToolkit = new TToolkitBitmap();
      FEncapsulated = false;
    }
    FToolkit->SetSize(1, 1);
    FToolkit->SetBitCount(ToolkitBitCount(FPixelFormat));
    FToolkit->SetSize(FWidth, FHeight);
    if (FPixelFormat == vl8g) FToolkit->SetColorTable(GrayRamp());
  } catch (const std::exception& e) {
    FreeImage();
    throw EVLBitmapError(e.what());
  }
  FRowBytes = FToolkit->RowBytes();
  RebuildRowTable();
}

void TVLBitmap::RebuildRowTable() {
  FRowTable.clear();
  if (!FToolkit) return;
  FRowTable.resize(size_t(std::max(FToolkit->Height(), 0)));
  for (int32_t r = 0; r < int32_t(FRowTable.size()); ++r) FRowTable[size_t(r)] = FToolkit->ScanLine(r);
}

void TVLBitmap::SyncToolkit() {
  if (FLocation != vlTBitmap || !FToolkit) return;
  TToolkitBitmap* t = FToolkit;
  int32_t bits = t->BitCount();
  if (bits != 1 && bits != 8 && bits != 24) {
    // Depths the pixel formats have no layout for are turned into 24 bits.
    t->SetBitCount(24);
    bits = 24;
  }
  const TVLPixelFormat format =
      bits == 1 ? vl1g
                : bits == 8 ? ((FIsAlphaLayer || t->HasGrayRampTable()) ? vl8g : vl8p) : vl24RGB;
  if (t->Width() != FWidth || t->Height() != FHeight || format != FPixelFormat) {
    FWidth = t->Width();
    FHeight = t->Height();
    FPixelFormat = format;
    FBitCount = PixelFormatBits(format);
    FChannels = PixelFormatChannels(format);
    FRowBytes = t->RowBytes();
    if (FAlpha && (FAlpha->Width() != FWidth || FAlpha->Height() != FHeight)) {
      FAlpha->Allocate(FWidth, FHeight, vl8g);
      FAlpha->Fill(255);
    }
    RebuildRowTable();
  } else if (int32_t(FRowTable.size()) != FHeight ||
             (FHeight > 0 && FRowTable[0] != t->ScanLine(0))) {
    FRowBytes = t->RowBytes();
    RebuildRowTable();
  }
  if (format == vl8p) {
    if (FPalette.size() != 256 || FPaletteStamp != t->ChangeStamp()) {
      FPalette.resize(256);
      for (int32_t i = 0; i < 256; ++i) FPalette[size_t(i)] = t->ColorTableEntry(i);
      FPaletteStamp = t->ChangeStamp();
    }
  } else {
    FPalette.clear();
  }
}

// ---- Row and property access ---------------------------------------------------------------

void TVLBitmap::ReleaseMappedRow() { FFileBuffer->ReleaseAll(); }

uint8_t* TVLBitmap::GetScanline(int32_t Row) {
  switch (FLocation) {
    case vlMemory:
      if (!FBits || Row < 0 || Row >= FHeight) return nullptr;
      return FBits + size_t(FRowBytes) * size_t(FHeight - 1 - Row);
    case vlFile:
      if (!FFileBuffer->IsOpen() || Row < 0 || Row >= FHeight) return nullptr;
      return FFileBuffer->MapRow(uint64_t(Row) * uint64_t(FRowBytes), uint32_t(FRowBytes),
                                 RowAccess);
    case vlTBitmap:
      if (!FToolkit) return nullptr;
      if (FToolkit->Width() != FWidth || FToolkit->Height() != FHeight ||
          int32_t(FRowTable.size()) != FHeight ||
          (FHeight > 0 && FRowTable[0] != FToolkit->ScanLine(0)))
        SyncToolkit();
      if (Row < 0 || Row >= int32_t(FRowTable.size())) return nullptr;
      return FRowTable[size_t(Row)];
  }
  return nullptr;
}

int32_t TVLBitmap::GetBitCount() {
  SyncToolkit();
  return FBitCount;
}
int32_t TVLBitmap::GetHeight() {
  SyncToolkit();
  return FHeight;
}
int32_t TVLBitmap::GetWidth() {
  SyncToolkit();
  return FWidth;
}
TVLPixelFormat TVLBitmap::GetPixelFormat() {
  SyncToolkit();
  return FPixelFormat;
}
int32_t TVLBitmap::GetRowBytes() {
  SyncToolkit();
  return FRowBytes;
}
int32_t TVLBitmap::ChannelsPerPixel() {
  SyncToolkit();
  return FChannels;
}

bool TVLBitmap::IsEmpty() {
  SyncToolkit();
  return FWidth == 0 || FHeight == 0 || FRowBytes == 0 || FBitCount == 0;
}

TRGB TVLBitmap::GetPaletteColor(int32_t Index) {
  SyncToolkit();
  if (Index < 0 || Index >= int32_t(FPalette.size())) return TRGB{};
  return FPalette[size_t(Index)];
}

void TVLBitmap::SetPaletteColor(int32_t Index, TRGB Color) {
  SyncToolkit();
  if (Index < 0 || Index >= int32_t(FPalette.size())) return;
  FPalette[size_t(Index)] = Color;
  if (FLocation == vlTBitmap && FToolkit) FToolkit->SetColorTableEntry(Index, Color);
}

int32_t TVLBitmap::GetPaletteSize() {
  SyncToolkit();
  return int32_t(FPalette.size());
}

// ---- Alpha channel ----------------------------------------------------------------------------

void TVLBitmap::CreateAlpha() {
  auto alpha = std::make_unique<TVLBitmap>();
  alpha->FIsAlphaLayer = true;
  alpha->MemoryThreshold = MemoryThreshold;
  alpha->FLocation = FLocation == vlTBitmap ? vlMemory : FLocation;
  alpha->Allocate(Width(), Height(), vl8g);
  alpha->Fill(255);
  FAlpha = std::move(alpha);
}

TVLBitmap* TVLBitmap::AlphaLayer() {
  if (FIsAlphaLayer) return nullptr;
  if (!FAlpha) CreateAlpha();
  return FAlpha.get();
}

void TVLBitmap::DropAlphaLayer() {
  if (FIsAlphaLayer) return;
  FAlpha.reset();
}

void TVLBitmap::MoveAlphaLayerTo(TVLBitmap& Dest) {
  if (&Dest == this || Dest.FIsAlphaLayer) return;
  Dest.FAlpha = std::move(FAlpha);
}

uint8_t TVLBitmap::Alpha(int32_t X, int32_t Y) {
  if (FIsAlphaLayer) return Pixel8(X, Y);
  return AlphaLayer()->Pixel8(X, Y);
}

void TVLBitmap::SetAlpha(int32_t X, int32_t Y, uint8_t Value) {
  if (FIsAlphaLayer) SetPixel8(X, Y, Value);
  else AlphaLayer()->SetPixel8(X, Y, Value);
}

// ---- Hand-over and location ------------------------------------------------------------------

void TVLBitmap::HandOverTo(TVLBitmap& Target) {
  if (&Target == this) return;
  Target.DiscardImage(true);
  if (Target.FToolkit && !Target.FEncapsulated) delete Target.FToolkit;
  Target.FFileBuffer = std::move(FFileBuffer);
  FFileBuffer = std::make_unique<TVLFileBuffer>();
  Target.FPalette = std::move(FPalette);
  FPalette.clear();
  Target.FAlpha = std::move(FAlpha);
  Target.FBits = FBits;
  Target.FBlock = FBlock;
  Target.FBlockSize = FBlockSize;
  FBits = nullptr;
  FBlock = nullptr;
  FBlockSize = 0;
  Target.FToolkit = FToolkit;
  Target.FEncapsulated = FEncapsulated;
  FToolkit = nullptr;
  FEncapsulated = false;
  Target.FRowTable = std::move(FRowTable);
  FRowTable.clear();
  Target.FWidth = FWidth;
  Target.FHeight = FHeight;
  Target.FBitCount = FBitCount;
  Target.FChannels = FChannels;
  Target.FRowBytes = FRowBytes;
  Target.FPixelFormat = FPixelFormat;
  Target.FLocation = FLocation;
  Target.FAllMax = FAllMax;
  Target.RowAlignment = RowAlignment;
  Target.MonoMethod = MonoMethod;
  FWidth = FHeight = FBitCount = FChannels = FRowBytes = 0;
  FPixelFormat = vlNull;
  FAllMax = false;
}

void TVLBitmap::CopyRowsFrom(TVLBitmap& Source) {
  const int32_t rows = std::min(Height(), Source.Height());
  const int32_t bytes = std::min(RowBytes(), Source.RowBytes());
  TAccessGuard readOnly(Source, raRead);
  TAccessGuard writeOnly(*this, raWrite);
  for (int32_t r = 0; r < rows; ++r) {
    const uint8_t* src = Source.Scanline(r);
    uint8_t* dst = Scanline(r);
    if (src && dst) std::memcpy(dst, src, size_t(bytes));
  }
  ReleaseMappedRow();
}

void TVLBitmap::SetLocation(TVLLocation Value) {
  if (Value == FLocation) return;
  if (Value == vlTBitmap && FIsAlphaLayer) return;  // an alpha channel never lives there
  if (IsEmpty() && Value != vlTBitmap) {
    DiscardImage(false);
    FLocation = Value;
    return;
  }
  // A toolkit bitmap holds only 1-, 8- and 24-bit pixels: other formats are converted first.
  if (Value == vlTBitmap && !IsEmpty() && !ToolkitCanHold(PixelFormat()))
    SetPixelFormat((PixelFormat() == vl16g || PixelFormat() == vl32f) ? vl8g : vl24RGB);
  TVLBitmap temp;
  temp.MemoryThreshold = MemoryThreshold;
  const bool allMax = FAllMax;
  const bool empty = IsEmpty();
  HandOverTo(temp);
  const TVLLocation oldLocation = FLocation;
  FLocation = Value;
  try {
    if (empty) {
      if (Value == vlTBitmap && !FToolkit) {
        FToolkit = new TToolkitBitmap();
        FEncapsulated = false;
      }
    } else {
      Allocate(temp.FWidth, temp.FHeight, temp.FPixelFormat);
      CopyRowsFrom(temp);
      for (int32_t i = 0; i < int32_t(temp.FPalette.size()); ++i)
        SetPaletteColor(i, temp.FPalette[size_t(i)]);
    }
  } catch (...) {
    FLocation = oldLocation;
    FAlpha.reset();
    temp.HandOverTo(*this);
    throw;
  }
  FAlpha = std::move(temp.FAlpha);
  FAllMax = allMax;
}

// ---- Row rendering (through the table the display code installs) ----------------------------

namespace {
const TVLRowRenderTable* gRowRenderTable = nullptr;

void CallRowRenderer(TVLBitmap& Source, TVLPixelFormat Format, bool Blend,
                     const TVLRowRenderParams& P) {
  if (!gRowRenderTable) return;
  const TVLRowRenderProc proc =
      Blend ? gRowRenderTable->Blend[Format] : gRowRenderTable->Render[Format];
  if (proc) proc(Source, P);
}
}  // namespace

void SetVLRowRenderTable(const TVLRowRenderTable* Table) { gRowRenderTable = Table; }
const TVLRowRenderTable* VLRowRenderTable() { return gRowRenderTable; }

void TVLBitmap::RenderRows24RGB(const TVLRowRenderParams& P) {
  CallRowRenderer(*this, vl24RGB, false, P);
}
void TVLBitmap::BlendRows24RGB(const TVLRowRenderParams& P) {
  CallRowRenderer(*this, vl24RGB, true, P);
}
void TVLBitmap::RenderRows1g(const TVLRowRenderParams& P) {
  CallRowRenderer(*this, vl1g, false, P);
}
void TVLBitmap::BlendRows1g(const TVLRowRenderParams& P) {
  CallRowRenderer(*this, vl1g, true, P);
}
void TVLBitmap::RenderRows8g(const TVLRowRenderParams& P) {
  CallRowRenderer(*this, vl8g, false, P);
}
void TVLBitmap::BlendRows8g(const TVLRowRenderParams& P) {
  CallRowRenderer(*this, vl8g, true, P);
}
void TVLBitmap::RenderRows8p(const TVLRowRenderParams& P) {
  CallRowRenderer(*this, vl8p, false, P);
}
void TVLBitmap::BlendRows8p(const TVLRowRenderParams& P) {
  CallRowRenderer(*this, vl8p, true, P);
}
void TVLBitmap::RenderRows16g(const TVLRowRenderParams& P) {
  CallRowRenderer(*this, vl16g, false, P);
}
void TVLBitmap::BlendRows16g(const TVLRowRenderParams& P) {
  CallRowRenderer(*this, vl16g, true, P);
}
void TVLBitmap::RenderRows32f(const TVLRowRenderParams& P) {
  CallRowRenderer(*this, vl32f, false, P);
}
void TVLBitmap::BlendRows32f(const TVLRowRenderParams& P) {
  CallRowRenderer(*this, vl32f, true, P);
}
void TVLBitmap::RenderRowsCMYK(const TVLRowRenderParams& P) {
  CallRowRenderer(*this, vlCMYK, false, P);
}
void TVLBitmap::BlendRowsCMYK(const TVLRowRenderParams& P) {
  CallRowRenderer(*this, vlCMYK, true, P);
}
void TVLBitmap::RenderRowsCIELab(const TVLRowRenderParams& P) {
  CallRowRenderer(*this, vlCIELab, false, P);
}
void TVLBitmap::BlendRowsCIELab(const TVLRowRenderParams& P) {
  CallRowRenderer(*this, vlCIELab, true, P);
}
void TVLBitmap::RenderRowsRGB48(const TVLRowRenderParams& P) {
  CallRowRenderer(*this, vlRGB48, false, P);
}
void TVLBitmap::BlendRowsRGB48(const TVLRowRenderParams& P) {
  CallRowRenderer(*this, vlRGB48, true, P);
}
