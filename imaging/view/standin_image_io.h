#pragma once
// A placeholder for the view's image I/O component until the real one is attached. It
// recognises no format: every load fails through the abort flag and shows nothing, and
// there is never an image to write.

#include <string>

class TStandInImageIO {
 public:
  // Fails every load by setting the abort flag; the view keeps showing nothing.
  void LoadFromFile(const std::string& path);
  // Always throws std::runtime_error: no image is loaded.
  void SaveJpegFile(const std::string& path);
  // True when the last load failed.
  bool AbortFlag() const { return FAbortFlag; }

 private:
  bool FAbortFlag = false;
};
