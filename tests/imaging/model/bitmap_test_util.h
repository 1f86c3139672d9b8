#pragma once
// A temporary folder per test used as the bitmap temporary-file folder.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "imaging/model/bitmap.h"
#include "tests/support/temp_folder.h"

class BitmapTempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = Folder.Path();
    ASSERT_FALSE(Dir.empty());
    SetVLTempDirectory(Dir);
  }
  void TearDown() override { SetVLTempDirectory(""); }
  // Number of files in the folder.
  size_t FileCount() const {
    size_t n = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(Dir)) ++n;
    return n;
  }
  static uint64_t FileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? uint64_t(st.st_size) : 0;
  }
  TempFolder Folder;
  std::string Dir;  // Folder's path, ending with '/'
};
