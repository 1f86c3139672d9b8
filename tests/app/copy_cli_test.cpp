// The headless copy tool as a program: an interrupt stops it like the window's cancel button,
// after the file being copied, with nothing half-written left behind.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

// The tool next to this test program in the build tree, or empty.
std::string CopyTool() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  const fs::path tool = self.parent_path().parent_path() / "app" / "vandrel-copy-cli";
  return fs::exists(tool, ec) ? tool.string() : std::string();
}

TEST(CopyCli, AnInterruptCancelsAfterTheCurrentFileAndLeavesNoTemporaryFiles) {
  const std::string tool = CopyTool();
  if (tool.empty()) GTEST_SKIP() << "vandrel-copy-cli is not built";
  TempFolder t;
  const int files = 400;
  for (int i = 0; i < files; ++i) t.Write("disc/f" + std::to_string(1000 + i) + ".jpg", "jpeg");
  t.Mkdir("dest");

  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  // A one-page pipe that the test does not drain: the tool blocks on its progress lines
  // long before it is done, whatever the speed of the machine.
  ASSERT_GT(::fcntl(out[0], F_SETPIPE_SZ, 4096), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::dup2(out[1], 1);
    ::close(out[0]);
    ::close(out[1]);
    ::execl(tool.c_str(), tool.c_str(), "--source", (t / "disc").c_str(), "--dest",
            (t / "dest").c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(out[1]);
  // The first output proves the tool runs (it catches interrupts before it prints).
  std::string output(4096, '\0');
  ssize_t got = ::read(out[0], output.data(), output.size());
  ASSERT_GT(got, 0);
  output.resize(static_cast<size_t>(got));
  ASSERT_EQ(::kill(child, SIGINT), 0);
  char buffer[4096];
  while ((got = ::read(out[0], buffer, sizeof buffer)) > 0) output.append(buffer, static_cast<size_t>(got));
  ::close(out[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);

  ASSERT_TRUE(WIFEXITED(status)) << "the interrupt killed the tool";
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(output.find("Copy files was canceled"), std::string::npos) << output;
  int copied = 0;
  for (const auto& e : fs::recursive_directory_iterator(t / "dest")) {
    if (!e.is_regular_file()) continue;
    EXPECT_EQ(e.path().filename().string().front(), 'f') << "left behind: " << e.path();
    EXPECT_EQ(ReadAll(e.path().string()), "jpeg") << e.path();
    ++copied;
  }
  EXPECT_GT(copied, 0);
  EXPECT_LT(copied, files);
}

TEST(CopyCli, VerifyOnTheSampleDiscChecksEveryCopy) {
  const std::string tool = CopyTool();
  if (tool.empty()) GTEST_SKIP() << "vandrel-copy-cli is not built";
  TempFolder t;
  const std::string disc = VANDREL_SOURCE_DIR "/samples/disc";
  const std::string command = "'" + tool + "' --verify --source '" + disc + "' --dest '" +
                              t.Path() + "' 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
  EXPECT_EQ(::pclose(pipe), 0) << output;
  // Not a terminal: plain lines, no progress line.
  EXPECT_EQ(output.find('\r'), std::string::npos) << output;
  EXPECT_NE(output.find("0 failed\n10 copies verified against the source"), std::string::npos)
      << output;
  for (const auto& e : fs::recursive_directory_iterator(t / "Vandrel Images")) {
    if (!e.is_regular_file()) continue;
    const std::string rel = fs::relative(e.path(), t / "Vandrel Images").string();
    EXPECT_EQ(ReadAll(e.path().string()), ReadAll(disc + "/" + rel)) << rel;
  }
}

}  // namespace
