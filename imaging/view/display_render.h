#pragma once
// Drawing a rectangle of a bitmap, scaled to a destination rectangle, into a 24-bit target:
// either resampled by the zoom filter and copied 1:1, or point-sampled through per-axis index
// tables by the row renderer of the source's pixel format, optionally blended by an opacity
// and the alpha channel and adjusted by the bitmap's display settings.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/view/resample_filter.h"

class TVLBitmap;

// A rectangle with its right and bottom edges included.
struct TVLRect {
  int32_t Left = 0, Top = 0, Right = -1, Bottom = -1;
};

// Tables built by VLRender that the caller asked to keep.
struct TVLRenderTables {
  std::vector<uint8_t*> Rows;
  std::vector<int32_t> X, Y;
};

struct TVLRenderArgs {
  // The target's row table (top row first); built for the call when null or empty.
  std::vector<uint8_t*>* Rows = nullptr;
  // Optional source-index tables: entry d names the source column (row) for destination
  // column DstX + d (row DstY + d). Entries past Length are never read.
  const int32_t* XTable = nullptr;
  size_t XLength = 0;
  const int32_t* YTable = nullptr;
  size_t YLength = 0;
  const TVLRect* ClipRect = nullptr;  // only pixels inside it are written
  int32_t DstX = 0, DstY = 0, DstWidth = 0, DstHeight = 0;
  int32_t SrcX = 0, SrcY = 0, SrcWidth = 0, SrcHeight = 0;
  bool UseAlpha = false;    // honour the source's alpha channel
  bool SolidUnder = false;  // a single-colour background lies under the drawing
  int32_t Opacity = 255;    // 0 invisible .. 255 opaque
  TResampleFilter Filter = rfNone;
  int32_t Operation = 0;  // 0 copies; other values are the layer blend operations
  // When set, tables built here are handed back instead of freed.
  TVLRenderTables* KeepTables = nullptr;
};

// Draws into Target, which must be vl24RGB.
void VLRender(TVLBitmap& Source, TVLBitmap& Target, const TVLRenderArgs& Args);

// Installs the row renderers of every pixel format into the model (done by VLRender too).
void InstallVLRowRenderers();

// One channel of a blend operation: S is the layer's value, D the value under it.
uint8_t VLBlendChannel(int32_t Operation, int32_t S, int32_t D);
