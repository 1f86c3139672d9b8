#pragma once
// One layer of the view: a bitmap placed over the image (layer 0 is the image itself), with
// its position, size, opacity, blend operation and own filter.

#include <cstdint>
#include <memory>

#include "imaging/model/bitmap.h"
#include "imaging/view/display_render.h"
#include "imaging/view/resample_filter.h"

class TVLLayer {
 public:
  // Takes a bitmap the layer owns, or a new empty one when none is given.
  explicit TVLLayer(std::unique_ptr<TVLBitmap> Bitmap = nullptr)
      : FBitmap(Bitmap ? std::move(Bitmap) : std::make_unique<TVLBitmap>()) {}

  TVLBitmap* LayerBitmap() const { return FBitmap.get(); }

  int32_t Left = 0, Top = 0;
  int32_t DrawWidth = 0, DrawHeight = 0;  // in layer-0 pixels; 0 takes the bitmap's size
  bool Visible = true;
  bool ShowBox = true;
  int32_t Opacity = 255;
  bool CropToImage = false;
  bool Locked = false;
  int32_t Operation = 0;
  bool OwnFilterOn = false;
  TResampleFilter OwnFilter = rfNone;
  bool IsMask = false;
  bool MagnifyOn = false;
  double MagnifyRate = 2.0;
  uint8_t MagnifyShape = 0;
  uint8_t MagnifySource = 1;
  // Where the layer was last drawn, in client coordinates, and with which rectangles.
  TVLRect ClientRect{0, 0, 0, 0};
  int32_t LastDstX = 0, LastDstY = 0, LastDstWidth = 0, LastDstHeight = 0;
  int32_t LastSrcX = 0, LastSrcY = 0, LastSrcWidth = 0, LastSrcHeight = 0;

  // True when the layer has neither a size nor a position of its own.
  bool PlainImage() const { return Left == 0 && Top == 0 && DrawWidth == 0 && DrawHeight == 0; }

 private:
  std::unique_ptr<TVLBitmap> FBitmap;
};

enum TVLLayerEvent : int32_t {
  vllSelected = 0,
  vllMoved = 1,
  vllResized = 2,
  vllMoving = 3,
  vllResizing = 4,
};
