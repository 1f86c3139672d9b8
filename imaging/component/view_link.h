#pragma once
// TVLView: what an image view offers the components that work on its image (the I/O
// component above all). A view holds a bitmap, a resolution and a list of change callbacks;
// attached components register a callback to learn when the view's bitmap object is
// replaced and when the view is destroyed. The window's view control implements the
// abstract part (bitmap, repaint, image-changed notification, background).

#include <cstdint>
#include <functional>
#include <vector>

#include "imaging/model/pixel_format.h"

class TVLBitmap;
class TToolkitBitmap;

class TVLView {
 public:
  // Called with Destroying false when the view's bitmap object may have been replaced, and
  // with Destroying true from the view's destructor (the view must then be forgotten; only
  // RemoveChangeCallback may still be called on it).
  using TChangeCallback = std::function<void(TVLView* View, bool Destroying)>;

  TVLView() = default;
  TVLView(const TVLView&) = delete;
  TVLView& operator=(const TVLView&) = delete;
  // Calls every remaining callback with Destroying true, in registration order.
  virtual ~TVLView();

  // The image the view shows, or nullptr when it has only a toolkit bitmap.
  virtual TVLBitmap* Bitmap() = 0;
  // The toolkit bitmap that holds the image, or nullptr.
  virtual TToolkitBitmap* ToolkitBitmap() = 0;
  // Refits the image and requests a repaint.
  virtual void Update() = 0;
  // Announces that the image changed (fires the view's own change event).
  virtual void ImageChange() = 0;
  // The view's background colour.
  virtual TColor Background() const = 0;

  // Resolution of the shown image in dots per inch; a value of 0 is ignored.
  int32_t DpiX() const { return FDpiX; }
  int32_t DpiY() const { return FDpiY; }
  virtual void SetDpiX(int32_t Value);
  virtual void SetDpiY(int32_t Value);
  // SetDpiX(X), then SetDpiY(Y).
  virtual void SetDpi(int32_t X, int32_t Y);

  // Appends a callback; returns its handle (never negative).
  int AddChangeCallback(TChangeCallback Callback);
  // Removes the callback with that handle; unknown and negative handles are ignored.
  void RemoveChangeCallback(int Handle);
  // Calls every registered callback in order with Destroying false.
  void CallChangeCallbacks();
  int ChangeCallbackCount() const { return int(FCallbacks.size()); }

 private:
  struct Entry {
    int Handle;
    TChangeCallback Callback;
  };
  void CallAll(bool Destroying);

  int32_t FDpiX = 300;
  int32_t FDpiY = 300;
  int FNextHandle = 0;
  std::vector<Entry> FCallbacks;
};
