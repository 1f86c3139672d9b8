// The vlconvert tool: exit codes and messages. The tool is found beside the test program's
// build folder (app/vlconvert); the tests skip when it has not been built.

#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "io_test_support.h"

namespace {

namespace fs = std::filesystem;
using iotest::TempDir;

fs::path ToolPath() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return self.parent_path().parent_path() / "app" / "vlconvert";
}

struct TRun {
  int ExitCode = -1;
  std::string Output;  // stdout and stderr together
};

// Arguments are quoted for the shell (test paths hold no single quotes).
TRun RunTool(const std::string& args) {
  TRun r;
  const std::string command = "'" + ToolPath().string() + "' " + args + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return r;
  char buf[512];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) r.Output.append(buf, n);
  const int status = ::pclose(pipe);
  r.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

class VlconvertTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(ToolPath())) GTEST_SKIP() << "vlconvert not built";
  }
  TempDir dir;
};

TEST_F(VlconvertTest, UnknownExtensionIsAnUnsupportedFormat) {
  const std::string in = dir.Write("a.xyz", "data");
  TRun r = RunTool("'" + in + "' '" + dir.File("b.jpg") + "'");
  EXPECT_NE(r.ExitCode, 0);
  EXPECT_NE(r.Output.find("unsupported format"), std::string::npos) << r.Output;
  r = RunTool("'" + dir.Write("a.tif", "x") + "' '" + dir.File("b.qqq") + "'");
  EXPECT_NE(r.ExitCode, 0);
  EXPECT_NE(r.Output.find("unsupported format"), std::string::npos) << r.Output;
  EXPECT_FALSE(fs::exists(dir.File("b.qqq")));
}

TEST_F(VlconvertTest, FailedLoadIsReportedAndNothingIsWritten) {
  const TRun r = RunTool("'" + dir.Write("bad.tif", "not a TIFF") + "' '" + dir.File("out.jpg") + "'");
  EXPECT_NE(r.ExitCode, 0);
  EXPECT_NE(r.Output.find("AbortFlag set"), std::string::npos) << r.Output;
  EXPECT_NE(r.Output.find("failed "), std::string::npos) << r.Output;
  EXPECT_EQ(r.Output.find("loaded "), std::string::npos) << r.Output;
  EXPECT_NE(r.Output.find("300 x 300 dpi"), std::string::npos) << r.Output;
  EXPECT_FALSE(fs::exists(dir.File("out.jpg")));
}

TEST_F(VlconvertTest, ReadsAndWritesJpeg) {
  const std::string in = std::string(VANDREL_TESTDATA_DIR) + "/jpeg/jfif_118dpcm.jpg";
  if (!fs::exists(in)) GTEST_SKIP() << "no test corpus";
  const TRun r = RunTool("'" + in + "' '" + dir.File("out.jpg") + "'");
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  EXPECT_NE(r.Output.find("loaded " + in + ": 227 x 149, vl24RGB, 299 x 299 dpi"),
            std::string::npos)
      << r.Output;
  const TRun again = RunTool("'" + dir.File("out.jpg") + "' '" + dir.File("again.jpeg") + "'");
  EXPECT_EQ(again.ExitCode, 0) << again.Output;
  EXPECT_NE(again.Output.find("227 x 149, vl24RGB, 299 x 299 dpi"), std::string::npos)
      << again.Output;
}

// The samples of a PNG file as libpng reads them with expansion to 8 bits (no gamma or
// colour handling), channel count first; empty when it cannot be read.
std::vector<uint8_t> Samples(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return {};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<uint8_t> out;
  if (setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, f);
    png_read_png(png, info, PNG_TRANSFORM_EXPAND | PNG_TRANSFORM_STRIP_16 | PNG_TRANSFORM_GRAY_TO_RGB, nullptr);
    png_bytepp rows = png_get_rows(png, info);
    const size_t length = png_get_rowbytes(png, info);
    out.push_back(png_get_channels(png, info));
    for (png_uint_32 y = 0; y < png_get_image_height(png, info); ++y) out.insert(out.end(), rows[y], rows[y] + length);
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return out;
}

// The alpha channel of an RGBA PNG survives PNG to PNG, PNG to BMP and BMP to PNG.
TEST_F(VlconvertTest, AlphaSurvivesPngAndBmp) {
  const std::string in = std::string(VANDREL_TESTDATA_DIR) + "/png/basn6a08.png";
  if (!fs::exists(in)) GTEST_SKIP() << "no test corpus";
  const std::vector<uint8_t> original = Samples(in);
  ASSERT_FALSE(original.empty());
  ASSERT_EQ(original[0], 4);
  const std::string steps[][2] = {{in, dir.File("a.png")},
                                  {dir.File("a.png"), dir.File("b.bmp")},
                                  {dir.File("b.bmp"), dir.File("c.png")}};
  for (const auto& step : steps) {
    const TRun r = RunTool("'" + step[0] + "' '" + step[1] + "'");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
  }
  EXPECT_EQ(Samples(dir.File("a.png")), original);
  EXPECT_EQ(Samples(dir.File("c.png")), original);
}

TEST_F(VlconvertTest, MissingInputAndWrongArgumentsFail) {
  TRun r = RunTool("'" + dir.File("missing.tif") + "' '" + dir.File("out.jpg") + "'");
  EXPECT_NE(r.ExitCode, 0);
  EXPECT_NE(r.Output.find("missing.tif"), std::string::npos) << r.Output;
  r = RunTool("only-one-argument.tif");
  EXPECT_NE(r.ExitCode, 0);
  EXPECT_NE(r.Output.find("usage"), std::string::npos) << r.Output;
}

}  // namespace
