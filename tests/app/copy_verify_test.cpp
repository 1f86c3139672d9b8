// Verified copies: a good copy is kept; a copy that differs from its source, or a source
// that changed while it was copied, leaves nothing under the final name and is counted as
// failed with its reason while the copy goes on.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "app/copy_verify.h"
#include "tests/app/copy_workflow_fixture.h"

namespace copytest {
namespace {

// Overwrites the first byte of a file in place, keeping its size.
void FlipFirstByte(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  char c = 0;
  ASSERT_EQ(::pread(fd, &c, 1, 0), 1);
  c = static_cast<char>(c ^ 0x5A);
  ASSERT_EQ(::pwrite(fd, &c, 1, 0), 1);
  ::close(fd);
}

TEST_F(CopyWorkflowTest, VerifiedCopiesAndTheirFailures) {
  enum class Fault { None, SourceChanged, CopyDamaged };
  struct Case {
    Fault F;
    platform::CopyResult Result;
    const char* Reason;
  };
  const std::string big(3 << 20, 'p');  // more than one read
  const Case cases[] = {{Fault::None, platform::CopyResult::Copied, ""},
                        {Fault::SourceChanged, platform::CopyResult::Failed, kVerificationFailed},
                        {Fault::CopyDamaged, platform::CopyResult::Failed, kVerificationFailed}};
  int n = 0;
  for (const Case& c : cases) {
    const fs::path src = Disc / ("s" + std::to_string(n));
    const fs::path dst = Dest / ("d" + std::to_string(n++));
    WriteFile(src, big);
    fs::last_write_time(src, fs::file_time_type::clock::now() - std::chrono::hours(50));
    std::string reason;
    const auto result = CopyFileVerified(src, dst, reason, [&](const std::string& s, const std::string& temp) {
      if (c.F == Fault::SourceChanged) std::ofstream(s, std::ios::app) << "more";
      if (c.F == Fault::CopyDamaged) FlipFirstByte(temp);
    });
    EXPECT_EQ(result, c.Result) << reason;
    EXPECT_EQ(reason, c.Reason);
    if (c.F == Fault::None) {
      EXPECT_EQ(ReadFile(dst), big);
      EXPECT_EQ(fs::last_write_time(dst), fs::last_write_time(src));
    } else {
      EXPECT_FALSE(fs::exists(dst));
    }
  }
  EXPECT_EQ(FilesBelow(Dest), (std::vector<std::string>{"d0"})) << "a temporary was left";

  // A file written by a converter: damaged between its writing and its read back.
  const std::string written = (Dest / "w.jpg").string();
  WriteFile(written, big);
  std::string reason;
  EXPECT_TRUE(VerifyWrittenFile(written, reason)) << reason;
  EXPECT_FALSE(VerifyWrittenFile(written, reason, [](const std::string&, const std::string& p) {
    FlipFirstByte(p);
  }));
  EXPECT_EQ(reason, kVerificationFailed);
}

TEST_F(CopyWorkflowTest, AFailedVerificationIsCountedAndTheCopyGoesOn) {
  DiscFile("a.jpg");
  DiscFile("b.jpg");
  DiscFile("c.tif");
  DiscFile("d.jpg");
  AsJpeg = true;
  // b's copy and c's conversion are damaged on their way to the disk.
  Workflow->Hooks().CopyFile = [](const std::string& S, const std::string& T, std::string& reason,
                                  int&) {
    return CopyFileVerified(S, T, reason, [&](const std::string&, const std::string& temp) {
      if (S.ends_with("/b.jpg")) FlipFirstByte(temp);
    });
  };
  Workflow->Hooks().CheckWritten = [](const std::string& temp, std::string& reason) {
    return VerifyWrittenFile(temp, reason, [](const std::string&, const std::string& p) {
      FlipFirstByte(p);
    });
  };
  Workflow->CopyFilesClick();

  const TCopySummary& s = Workflow->LastSummary();
  EXPECT_EQ(s.Copied, 2);
  EXPECT_EQ(s.Converted, 0);
  ASSERT_EQ(s.FailedFiles.size(), 2u);
  EXPECT_EQ(s.FailureReasons, (std::vector<std::string>(2, kVerificationFailed)));
  EXPECT_EQ(Copies(), (std::vector<std::string>{"a.jpg", "d.jpg"}));
  EXPECT_EQ(ReadFile(Dest / "Vandrel Images/d.jpg"), "data of d.jpg");
}

}  // namespace
}  // namespace copytest
