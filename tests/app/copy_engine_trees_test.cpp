// Crafted source trees and destinations: every image of the disc is accounted for, nothing
// outside the disc is read, and nothing the user owns is changed. Each case builds a tree,
// copies it and compares the destination and the counts; the counts always add up.

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/copy_outcome.h"
#include "app/copy_verify.h"
#include "tests/app/copy_workflow_fixture.h"

namespace copytest {
namespace {

struct TreeCase {
  const char* Name;
  bool AsJpeg;
  // Builds the disc and the destination; may change the source or destination folder.
  std::function<void(CopyWorkflowTest&)> Build;
  std::vector<std::string> Copies;                  // below "Vandrel Images", sorted
  int Copied, Converted, Skipped, Failed;            // NotCopied is always 0 here
  std::function<void(CopyWorkflowTest&)> Check = nullptr;
};

mode_t ModeOf(const fs::path& p) {
  struct stat st {};
  ::lstat(p.c_str(), &st);
  return st.st_mode & 07777;
}

// One tree's bench, set up and torn down inside the table-driven test.
class CopyEngineTrees : public CopyWorkflowTest {
 public:
  void TestBody() override {}
};

const TreeCase kCases[] = {
    {"AnUnreadableFileInTheMiddle", false,
     [](CopyWorkflowTest& t) {
       t.DiscFile("a.jpg");
       ASSERT_EQ(::mkfifo((t.Disc / "b.jpg").c_str(), 0644), 0);  // found, but never readable
       t.DiscFile("c.jpg");
     },
     {"a.jpg", "c.jpg"}, 2, 0, 0, 1},
    {"CaseTwinsAreAllCopied", false,
     [](CopyWorkflowTest& t) {
       t.DiscFile("A/a.TIF");
       t.DiscFile("A/a.tif");
       t.DiscFile("A/IMG1.TIF");
       t.DiscFile("A/IMG1.JPG");
     },
     {"A/IMG1.JPG", "A/IMG1.TIF", "A/a.TIF", "A/a.tif"}, 4, 0, 0, 0},
    {"JpegNameTwinsKeepTheirTiffName", true,
     [](CopyWorkflowTest& t) {
       t.DiscFile("A/a.TIF");
       t.DiscFile("A/a.tif");
       t.DiscFile("A/IMG1.TIF");
       t.DiscFile("A/IMG1.JPG");
       t.DiscFile("A/IMG1.jpg");  // a different name here: no twin of IMG1.TIF's JPEG
     },
     {"A/IMG1.JPG", "A/IMG1.TIF", "A/IMG1.jpg", "A/a.JPG", "A/a.tif"}, 4, 1, 0, 0,
     [](CopyWorkflowTest& t) {
       EXPECT_EQ(ReadFile(t.Images() + "/A/IMG1.JPG"), "data of A/IMG1.JPG");
       EXPECT_EQ(ReadFile(t.Images() + "/A/IMG1.TIF"), "data of A/IMG1.TIF");
       EXPECT_EQ(t.Workflow->LastSummary().TiffsKeptForNameTwins, 2);
     }},
    {"AFolderAtATargetName", false,
     [](CopyWorkflowTest& t) {
       t.DiscFile("a.jpg");
       t.DiscFile("b.jpg");
       fs::create_directories(t.Images() + "/a.jpg");
       ::chmod((t.Images() + "/a.jpg").c_str(), 0700);
     },
     {"b.jpg"}, 1, 0, 0, 1,
     [](CopyWorkflowTest& t) {
       EXPECT_EQ(ModeOf(t.Images() + "/a.jpg"), 0700u);
       EXPECT_EQ(t.Workflow->LastSummary().FailureReasons,
                 std::vector<std::string>{"a folder of that name exists"});
     }},
    {"ASourceRootBelowAThumbsFolder", false,
     [](CopyWorkflowTest& t) {
       t.DiscFile("MY THUMBS/THUMBS/a.jpg");
       t.DiscFile("MY THUMBS/THUMBS/THUMBS/t.jpg");  // below the root, still a thumbnail
       t.Workflow->SetSource((t.Disc / "MY THUMBS/THUMBS").string());
     },
     {"MY THUMBS/THUMBS/a.jpg"}, 1, 0, 0, 0},
    {"ALinkInTheDestinationKeepsItsTarget", false,
     [](CopyWorkflowTest& t) {
       t.DiscFile("a.jpg");
       WriteFile(t.Root / "mine.jpg", "the user's own file");
       ::chmod((t.Root / "mine.jpg").c_str(), 0400);
       fs::create_directories(t.Images());
       fs::create_symlink(t.Root / "mine.jpg", t.Images() + "/a.jpg");
     },
     {"a.jpg"}, 0, 0, 1, 0,
     [](CopyWorkflowTest& t) {
       EXPECT_TRUE(fs::is_symlink(t.Images() + "/a.jpg"));
       EXPECT_EQ(ReadFile(t.Root / "mine.jpg"), "the user's own file");
       EXPECT_EQ(ModeOf(t.Root / "mine.jpg"), 0400u);
     }},
    {"LinksOnTheDiscStayOnTheDisc", false,
     [](CopyWorkflowTest& t) {
       t.DiscFile("A/a.jpg");
       t.DiscFile("B/b.jpg");
       WriteFile(t.Root / "outside/o.jpg", "not on the disc");
       fs::create_directory_symlink("../B", t.Disc / "A/toB");     // the disc's own folder
       fs::create_directory_symlink("..", t.Disc / "A/up");        // a cycle
       fs::create_directory_symlink("/", t.Disc / "A/root");
       fs::create_directory_symlink(t.Root / "outside", t.Disc / "A/out");
       fs::create_symlink(t.Root / "outside/o.jpg", t.Disc / "A/o.jpg");
       fs::create_symlink("../B/b.jpg", t.Disc / "A/same.jpg");    // a file of the disc
     },
     {"A/a.jpg", "A/same.jpg", "A/toB/b.jpg"}, 3, 0, 0, 0},
    {"TheTemporaryOfAKilledCopyIsRemoved", false,
     [](CopyWorkflowTest& t) {
       t.DiscFile("A/a.jpg");
       const pid_t gone = ::fork();
       if (gone == 0) ::_exit(0);
       ::waitpid(gone, nullptr, 0);
       WriteFile(t.Images() + "/A/.a.jpg.vandrel-" + std::to_string(gone) + ".Ab3dE9.part", "partial");
     },
     {"A/a.jpg"}, 1, 0, 0, 0},
    {"ADestinationInsideTheSource", false,
     [](CopyWorkflowTest& t) {
       t.DiscFile("a.jpg");
       t.Dest = t.Disc / "out";
       t.Workflow->SetDestination(t.Dest.string());
       WriteFile(t.Images() + "/a.jpg", "copied before");
       WriteFile(t.Images() + "/old.jpg", "copied before");
     },
     {"a.jpg", "old.jpg"}, 0, 0, 1, 0},
};

TEST(CopyEngineTreesTest, EveryImageIsAccountedForAndNothingOutsideIsTouched) {
  for (const TreeCase& c : kCases) {
    SCOPED_TRACE(c.Name);
    CopyEngineTrees t;
    t.SetUp();
    t.AsJpeg = c.AsJpeg;
    c.Build(t);
    t.Workflow->CopyFilesClick();
    EXPECT_EQ(t.Copies(), c.Copies);
    const TCopySummary& s = t.Workflow->LastSummary();
    EXPECT_EQ(s.Copied, c.Copied);
    EXPECT_EQ(s.Converted, c.Converted);
    EXPECT_EQ(s.Skipped, c.Skipped);
    EXPECT_EQ(static_cast<int>(s.FailedFiles.size()), c.Failed);
    EXPECT_EQ(s.NotCopied, 0);
    EXPECT_EQ(s.Copied + s.Converted + s.Skipped + static_cast<int>(s.FailedFiles.size()) + s.NotCopied,
              s.Total);
    EXPECT_EQ(s.Error, "");
    if (c.Check) c.Check(t);
    t.TearDown();
  }
}

// A destination that fills up: the file that hits the limit fails, the loop stops, the rest
// is counted as not copied, and no final name holds a partial file; the same with copies that
// are checked by reading them back.
class FullDestinationTest : public CopyWorkflowTest, public ::testing::WithParamInterface<bool> {};

TEST_P(FullDestinationTest, StopsTheCopyAndCountsTheRest) {
  const fs::path mount = Root / "small";
  fs::create_directories(mount);
  if (::mount("tmpfs", mount.c_str(), "tmpfs", 0, "size=1m") != 0) {
    GTEST_SKIP() << "cannot mount a small file system here";
  }
  struct Unmount {
    fs::path Path;
    ~Unmount() { ::umount2(Path.c_str(), MNT_DETACH); }
  } unmount{mount};
  const std::string big(300 * 1024, 'p');
  for (int i = 0; i < 6; ++i) WriteFile(Disc / ("f" + std::to_string(i) + ".jpg"), big + char('0' + i));
  Dest = mount;
  Workflow->SetDestination(mount.string());
  if (GetParam()) {
    Workflow->Hooks().CopyFile = [](const std::string& S, const std::string& T, std::string& reason,
                                    int& errnum) { return CopyFileVerified(S, T, reason, {}, &errnum); };
  }
  Workflow->CopyFilesClick();

  const TCopySummary& s = Workflow->LastSummary();
  EXPECT_EQ(s.FailedFiles.size(), 1u);
  EXPECT_GT(s.NotCopied, 0);
  EXPECT_EQ(s.Copied + 1 + s.NotCopied, 6);
  for (const std::string& f : Copies()) {
    EXPECT_EQ(ReadFile(Images() + "/" + f), ReadFile(Disc / f)) << "partial file under " << f;
  }
  EXPECT_EQ(static_cast<int>(Copies().size()), s.Copied);
  ASSERT_EQ(Messages.size(), 2u);
  EXPECT_NE(Messages[0].find(" failed, " + std::to_string(s.NotCopied) + " not copied."), std::string::npos)
      << Messages[0];
  EXPECT_NE(Messages[0].find("The copy stopped: "), std::string::npos) << Messages[0];
  EXPECT_TRUE(Messages[1].starts_with("error:")) << Messages[1];
}

INSTANTIATE_TEST_SUITE_P(PlainAndVerified, FullDestinationTest, ::testing::Bool());

// A destination folder replaced during the copy (removed and made again, or a volume
// unmounted from under it) is not written to: the copy stops at the next file.
TEST_F(CopyWorkflowTest, AReplacedDestinationStopsTheCopy) {
  for (const char* f : {"a.jpg", "b.jpg", "c.jpg"}) DiscFile(f);
  OnLoad = [&](const std::string& p) {
    if (p.ends_with("/b.jpg")) {
      fs::remove_all(Dest);
      fs::create_directories(Dest);
    }
    return true;
  };
  Workflow->CopyFilesClick();
  const TCopySummary& s = Workflow->LastSummary();
  EXPECT_TRUE(fs::is_empty(Dest));
  EXPECT_EQ(s.Copied + static_cast<int>(s.FailedFiles.size()) + s.NotCopied, 3);
  EXPECT_EQ(s.NotCopied, 1);
  EXPECT_NE(s.StopReason.find("is no longer there"), std::string::npos) << s.StopReason;
}

}  // namespace
}  // namespace copytest
