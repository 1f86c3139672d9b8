#pragma once
// Helpers shared by the I/O component tests: a temporary folder, a fake view and an
// external format registered for the duration of a test.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "imaging/component/format_registry.h"
#include "imaging/component/view_link.h"
#include "imaging/model/bitmap.h"
#include "tests/support/temp_folder.h"

namespace iotest {

namespace fs = std::filesystem;

// A fresh folder, removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir() : path_(folder_.Path()) {
    if (folder_.Path().empty()) throw std::runtime_error("mkdtemp failed");
    if (!path_.has_filename()) path_ = path_.parent_path();
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  // Creates a file with the given content and returns its path.
  std::string Write(const std::string& name, const std::string& content) const {
    return folder_.Write(name, content);
  }
  const fs::path& Path() const { return path_; }

 private:
  TempFolder folder_;
  fs::path path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A view that records what the component asks of it.
class FakeView : public TVLView {
 public:
  TVLBitmap Image;
  TVLBitmap Other;
  TVLBitmap* Shown = &Image;
  TToolkitBitmap* Toolkit = nullptr;
  TColor Back = 0x00123456;
  std::vector<std::string> Log;

  TVLBitmap* Bitmap() override { return Shown; }
  TToolkitBitmap* ToolkitBitmap() override { return Toolkit; }
  void Update() override { Log.push_back("Update"); }
  void ImageChange() override { Log.push_back("ImageChange"); }
  TColor Background() const override { return Back; }
  void SetDpiX(int32_t v) override {
    Log.push_back("DpiX " + std::to_string(v));
    TVLView::SetDpiX(v);
  }
  void SetDpiY(int32_t v) override {
    Log.push_back("DpiY " + std::to_string(v));
    TVLView::SetDpiY(v);
  }
};

// Registers an external format for the lifetime of the object.
class ScopedFormat {
 public:
  explicit ScopedFormat(const TVLFormatEntry& e) : type_(e.FileType) { RegisterFileFormat(e); }
  ~ScopedFormat() { UnregisterFileFormat(type_); }

 private:
  TVLFileType type_;
};

inline TVLFormatEntry External(int type, const std::string& exts, TVLReadProc read,
                               TVLWriteProc write = nullptr) {
  TVLFormatEntry e;
  e.FileType = TVLFileType(type);
  e.FullName = "Test format";
  e.Extensions = exts;
  e.ReadFunction = std::move(read);
  e.WriteFunction = std::move(write);
  return e;
}

}  // namespace iotest
