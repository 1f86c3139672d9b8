#pragma once
// A temporary folder per test used as the bitmap temporary-file folder.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "imaging/model/bitmap.h"

class BitmapTempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vl-bitmap-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    Dir = std::string(pattern) + "/";
    SetVLTempDirectory(Dir);
  }
  void TearDown() override {
    SetVLTempDirectory("");
    std::filesystem::remove_all(Dir);
  }
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
  std::string Dir;
};
