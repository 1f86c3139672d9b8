// The change-callback list and resolution of TVLView.

#include "imaging/component/view_link.h"

TVLView::~TVLView() { CallAll(true); }

void TVLView::SetDpiX(int32_t Value) {
  if (Value != 0) FDpiX = Value;
}

void TVLView::SetDpiY(int32_t Value) {
  if (Value != 0) FDpiY = Value;
}

void TVLView::SetDpi(int32_t X, int32_t Y) {
  SetDpiX(X);
  SetDpiY(Y);
}

int TVLView::AddChangeCallback(TChangeCallback Callback) {
  const int handle = FNextHandle++;
  FCallbacks.push_back(Entry{handle, std::move(Callback)});
  return handle;
}

void TVLView::RemoveChangeCallback(int Handle) {
  if (Handle < 0) return;
  for (auto it = FCallbacks.begin(); it != FCallbacks.end(); ++it) {
    if (it->Handle == Handle) {
      FCallbacks.erase(it);
      return;
    }
  }
}

void TVLView::CallChangeCallbacks() { CallAll(false); }

// A callback may remove itself or others while it runs, so the handles are taken first and
// each is looked up again before its call.
void TVLView::CallAll(bool Destroying) {
  std::vector<int> handles;
  handles.reserve(FCallbacks.size());
  for (const Entry& e : FCallbacks) handles.push_back(e.Handle);
  for (int h : handles) {
    for (const Entry& e : FCallbacks) {
      if (e.Handle == h) {
        TChangeCallback cb = e.Callback;  // the entry may go away during the call
        if (cb) cb(this, Destroying);
        break;
      }
    }
  }
  if (Destroying) FCallbacks.clear();
}
