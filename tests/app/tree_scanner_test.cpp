// The directory tree scanner: walk order, masks, hidden and system entries, recursion,
// start folders, failures, link loops and handlers that change or break the search.

#include "app/tree_scanner.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "platform/ui.h"
#include "tests/support/temp_folder.h"

namespace {

using Strings = std::vector<std::string>;

// Records the events of a scanner as short texts with the temp folder's path cut off.
struct Recorder {
  TTreeScanner& S;
  std::string Base;
  Strings Log;

  Recorder(TTreeScanner& s, std::string base) : S(s), Base(std::move(base)) {
    S.OnDirectoryFound = [this](TObject*) { Log.push_back("dir " + Rel(S.FileFound())); };
    S.OnFileFound = [this](TObject*) { Log.push_back("file " + Rel(S.FileFound())); };
    S.OnDirectoryDone = [this](TObject*) { Log.push_back("done " + Rel(S.FileFound())); };
    S.OnSearchDone = [this](TObject*) { Log.push_back("search done"); };
  }
  std::string Rel(const std::string& path) const {
    return path.rfind(Base, 0) == 0 ? "~/" + path.substr(Base.size()) : path;
  }
  Strings Files() const {
    Strings out;
    for (const std::string& l : Log) {
      if (l.rfind("file ", 0) == 0) out.push_back(l.substr(5));
    }
    return out;
  }
};

// Counts the message-queue servicing the scanner asks for.
struct MessagePump {
  int Count = 0;
  platform::UiHooks Previous;
  MessagePump() { Previous = platform::SetUiHooks({[this] { ++Count; }, nullptr, nullptr}); }
  ~MessagePump() { platform::SetUiHooks(Previous); }
};

}  // namespace

TEST(TreeScanner, DefaultsAfterConstruction) {
  TTreeScanner s;
  EXPECT_TRUE(s.Recursive());
  EXPECT_FALSE(s.FindHiddenFiles());
  EXPECT_FALSE(s.FindHiddenFolders());
  EXPECT_FALSE(s.SearchInProgress());
  EXPECT_EQ(s.FileMask(), "");
  EXPECT_EQ(s.FileMaskCommaText(), "");
  EXPECT_EQ(s.FileSize(), 0);
  EXPECT_EQ(s.FilesFoundCount(), 0);
  EXPECT_FALSE(s.OnFileFound);
}

TEST(TreeScanner, WalksDepthFirstFilesBeforeSortedSubfolders) {
  TempFolder t;
  t.Write("A/a2");
  t.Write("A/a1");
  t.Write("A/B/b1");
  t.Mkdir("A/C");
  MessagePump pump;
  TTreeScanner s;
  Recorder r(s, t.Path());
  s.SetInitialDirectory(t / "A");
  s.SetFileMask("*.*");
  s.Search();
  Strings expected = {"dir ~/A/",      "file ~/A/a1", "file ~/A/a2", "dir ~/A/B/",
                      "file ~/A/B/b1", "done ~/A/B/b1", "dir ~/A/C/", "done ~/A/C/",
                      "done ~/A/C/",   "search done"};
  EXPECT_EQ(r.Log, expected);
  EXPECT_EQ(s.FilesFoundCount(), 3);
  EXPECT_EQ(s.DirectoriesFoundCount(), 3);
  EXPECT_EQ(pump.Count, 3);
  EXPECT_FALSE(s.SearchInProgress());
  EXPECT_EQ(s.InitialDirectory(), t / "A/");

  // A second search starts its counts afresh.
  s.SetFileMask("*.none");
  s.Search();
  EXPECT_EQ(s.FilesFoundCount(), 0);
  EXPECT_EQ(s.DirectoriesFoundCount(), 3);
}

TEST(TreeScanner, MasksAreCaseInsensitiveAndAFileIsReportedOnce) {
  TempFolder t;
  t.Write("x.tif", "1234");
  t.Write("y.TIFF", "12");
  t.Write("z.jpg");
  t.Write("B.tif");
  t.Write("b.tif");  // differs only in case: a separate file here, reported too
  TTreeScanner s;
  Recorder r(s, t.Path());
  std::vector<int32_t> sizes;
  s.OnFileFound = [&](TObject*) {
    r.Log.push_back("file " + r.Rel(s.FileFound()));
    sizes.push_back(s.FileSize());
  };
  s.SetFileMaskCommaText("*.tif,*.TIF");
  EXPECT_EQ(s.FileMaskCommaText(), "*.tif");
  EXPECT_EQ(s.FileMask(), "*.tif");
  s.SetInitialDirectory(t.Path());
  s.Search();
  EXPECT_EQ(r.Files(), (Strings{"~/B.tif", "~/b.tif", "~/x.tif", "~/y.TIFF"}));
  EXPECT_EQ(sizes, (std::vector<int32_t>{1, 1, 4, 2}));
  EXPECT_EQ(s.FileSize(), 0);

  r.Log.clear();
  s.SetFileMaskCommaText("*.tif, *.ti?, *.jpg");
  s.Search();
  EXPECT_EQ(r.Files(), (Strings{"~/B.tif", "~/b.tif", "~/x.tif", "~/y.TIFF", "~/z.jpg"}));
}

TEST(TreeScanner, HiddenAndSystemEntries) {
  TempFolder t;
  t.Write("a.jpg");
  t.Write(".h.jpg");
  t.Write(".hid/in.jpg");
  ASSERT_EQ(::mkfifo((t / "pipe.jpg").c_str(), 0644), 0);
  TTreeScanner s;
  Recorder r(s, t.Path());
  s.SetInitialDirectory(t.Path());
  s.SetFileMask("*.jpg");
  s.Search();
  // A FIFO is a system entry: reported as a file, never taken for a folder.
  EXPECT_EQ(r.Files(), (Strings{"~/a.jpg", "~/pipe.jpg"}));
  EXPECT_EQ(s.DirectoriesFoundCount(), 1);

  r.Log.clear();
  s.SetFindHiddenFiles(true);
  s.Search();
  EXPECT_EQ(r.Files(), (Strings{"~/.h.jpg", "~/a.jpg", "~/pipe.jpg"}));

  r.Log.clear();
  s.SetFindHiddenFiles(false);
  s.SetFindHiddenFolders(true);
  s.Search();
  EXPECT_EQ(r.Files(), (Strings{"~/a.jpg", "~/pipe.jpg", "~/.hid/in.jpg"}));
  EXPECT_EQ(s.DirectoriesFoundCount(), 2);
}

TEST(TreeScanner, RecursiveIsReadWhenCollectingAndBeforeEnteringEachSubfolder) {
  TempFolder t;
  t.Write("top.jpg");
  t.Write("S1/in1.jpg");
  t.Write("S2/in2.jpg");
  TTreeScanner s;
  Recorder r(s, t.Path());
  s.SetInitialDirectory(t.Path());
  s.SetFileMask("*.jpg");
  s.SetRecursive(false);
  s.Search();
  EXPECT_EQ(r.Log, (Strings{"dir ~/", "file ~/top.jpg", "done ~/top.jpg", "search done"}));
  EXPECT_EQ(s.DirectoriesFoundCount(), 1);

  // Switched off after the subfolders were collected: they are reported, not entered.
  r.Log.clear();
  s.SetRecursive(true);
  s.OnFileFound = [&](TObject*) {
    r.Log.push_back("file " + r.Rel(s.FileFound()));
    s.SetRecursive(false);
  };
  s.Search();
  EXPECT_EQ(r.Log, (Strings{"dir ~/", "file ~/top.jpg", "dir ~/S1/", "dir ~/S2/", "done ~/S2/",
                            "search done"}));
  EXPECT_EQ(s.DirectoriesFoundCount(), 1);
}

TEST(TreeScanner, StartFolderIsNormalisedOrTakenFromTheCurrentDirectory) {
  EXPECT_EQ(TTreeScanner::NormalizeFolder("/a/b"), "/a/b/");
  EXPECT_EQ(TTreeScanner::NormalizeFolder("/a/b/"), "/a/b/");
  EXPECT_EQ(TTreeScanner::NormalizeFolder("/"), "/");
  EXPECT_EQ(TTreeScanner::NormalizeFolder("rel"), "rel/");

  TempFolder t;
  t.Write("here.jpg");
  std::string before = platform::GetCurrentDir();
  ASSERT_TRUE(platform::SetCurrentDir(t.Path()));
  TTreeScanner s;
  Recorder r(s, platform::GetCurrentDir() + "/");
  s.SetFileMask("*.jpg");
  s.Search();
  platform::SetCurrentDir(before);
  EXPECT_EQ(s.InitialDirectory(), r.Base);
  EXPECT_EQ(r.Files(), Strings{"~/here.jpg"});

  // A current directory that was removed: the walk stays there instead of starting at "/".
  t.Mkdir("gone");
  ASSERT_TRUE(platform::SetCurrentDir(t / "gone"));
  ASSERT_EQ(::rmdir((t / "gone").c_str()), 0);
  s.SetInitialDirectory("");
  s.Search();
  platform::SetCurrentDir(before);
  EXPECT_EQ(s.InitialDirectory(), "./");
  EXPECT_EQ(s.DirectoriesFoundCount(), 1);
  EXPECT_EQ(s.FilesFoundCount(), 0);
}

TEST(TreeScanner, FoldersThatCannotBeSearchedAreStillReportedAndCounted) {
  TempFolder t;
  TTreeScanner s;
  Recorder r(s, t.Path());
  s.SetFileMask("*.*");
  s.SetInitialDirectory(t / "missing");
  s.Search();
  EXPECT_EQ(r.Log, (Strings{"dir ~/missing/", "done ~/missing/", "search done"}));
  EXPECT_EQ(s.DirectoriesFoundCount(), 1);
}

TEST(TreeScanner, UnreadableFolderContributesNothing) {
  TempFolder t;
  t.Write("locked/secret.jpg");
  ASSERT_EQ(::chmod((t / "locked").c_str(), 0), 0);
  const Strings expected{"dir ~/", "dir ~/locked/", "done ~/locked/", "done ~/locked/",
                         "search done"};
  auto scan = [&](Strings& log) {
    TTreeScanner s;
    Recorder r(s, t.Path());
    s.SetFileMask("*.*");
    s.SetInitialDirectory(t.Path());
    s.Search();
    log = r.Log;
    return s.DirectoriesFoundCount();
  };
  if (::geteuid() != 0) {
    Strings log;
    EXPECT_EQ(scan(log), 2);
    EXPECT_EQ(log, expected);
    return;
  }
  // Root reads folders without permissions, so the scan runs in a child process that has
  // become the unprivileged user "nobody".
  ASSERT_EQ(::chmod(t.Path().c_str(), 0755), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    Strings log;
    const int dirs = scan(log);
    ::_exit(dirs == 2 && log == expected ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: wrong events or counts as nobody, 3: no setuid";
}

TEST(TreeScanner, LinksBackToAnAncestorAreNotFollowed) {
  TempFolder t;
  t.Write("A/a.jpg");
  t.Write("A/B/b.jpg");
  t.Write("Other/o.jpg");
  ASSERT_EQ(::symlink("..", (t / "A/B/up").c_str()), 0);
  ASSERT_EQ(::symlink(".", (t / "A/self").c_str()), 0);
  ASSERT_EQ(::symlink("../../Other", (t / "A/B/side").c_str()), 0);
  TTreeScanner s;
  Recorder r(s, t.Path());
  s.SetInitialDirectory(t / "A");
  s.SetFileMask("*.jpg");
  s.Search();
  // "side" leads out of the start folder and is not followed either.
  EXPECT_EQ(r.Files(), (Strings{"~/A/a.jpg", "~/A/B/b.jpg"}));
  EXPECT_EQ(s.DirectoriesFoundCount(), 2);
}

TEST(TreeScanner, AFolderReachedThroughSeveralLinksIsWalkedOnce) {
  // Each level links twice to the next: followed blindly, the walk would visit the last
  // level 2^depth times (a hostile disc could make that endless in practice).
  TempFolder t;
  const int depth = 8;
  for (int i = 0; i <= depth; ++i) t.Write("L" + std::to_string(i) + "/p.jpg");
  for (int i = 0; i < depth; ++i) {
    const std::string next = "../L" + std::to_string(i + 1);
    const std::string here = "L" + std::to_string(i) + "/";
    ASSERT_EQ(::symlink(next.c_str(), (t / here + "a").c_str()), 0);
    ASSERT_EQ(::symlink(next.c_str(), (t / here + "b").c_str()), 0);
  }
  TTreeScanner s;
  Recorder r(s, t.Path());
  s.SetInitialDirectory(t.Path());
  s.SetFileMask("*.jpg");
  s.Search();
  EXPECT_EQ(s.DirectoriesFoundCount(), depth + 2);
  EXPECT_EQ(s.FilesFoundCount(), depth + 1);
  ASSERT_EQ(r.Files().size(), static_cast<size_t>(depth + 1));
  EXPECT_EQ(r.Files()[1], "~/L0/a/p.jpg");  // the first link in sorted order is taken
}

TEST(TreeScanner, MaskWritesDuringASearchAreIgnored) {
  TempFolder t;
  t.Write("a.jpg");
  t.Write("b.jpg");
  t.Write("c.png");
  TTreeScanner s;
  Recorder r(s, t.Path());
  s.OnFileFound = [&](TObject*) {
    r.Log.push_back("file " + r.Rel(s.FileFound()));
    EXPECT_TRUE(s.SearchInProgress());
    s.SetFileMask("*.png");
    s.SetFileMaskCommaText("*.png,*.bmp");
  };
  s.SetInitialDirectory(t.Path());
  s.SetFileMask("*.jpg");
  s.Search();
  EXPECT_EQ(r.Files(), (Strings{"~/a.jpg", "~/b.jpg"}));
  EXPECT_EQ(s.FileMaskCommaText(), "*.jpg");
}

TEST(TreeScanner, HandlerExceptionAbandonsTheSearch) {
  TempFolder t;
  t.Write("a.jpg");
  t.Write("b.jpg");
  TTreeScanner s;
  Recorder r(s, t.Path());
  s.OnFileFound = [&](TObject*) {
    r.Log.push_back("file " + r.Rel(s.FileFound()));
    throw std::runtime_error("handler failed");
  };
  s.SetInitialDirectory(t.Path());
  s.SetFileMask("*.jpg");
  EXPECT_THROW(s.Search(), std::runtime_error);
  EXPECT_EQ(r.Log, (Strings{"dir ~/", "file ~/a.jpg"}));
  EXPECT_FALSE(s.SearchInProgress());
  s.SetFileMask("*.png");  // accepted again
  EXPECT_EQ(s.FileMask(), "*.png");
}

TEST(TreeScanner, NestedSearchRunsInsideAndResetsTheCounts) {
  TempFolder t;
  t.Write("a.jpg");
  t.Write("S/s.jpg");
  TTreeScanner s;
  Recorder r(s, t.Path());
  bool nested = false;
  s.OnDirectoryFound = [&](TObject*) {
    r.Log.push_back("dir " + r.Rel(s.FileFound()));
    if (!nested && s.FileFound() == t / "S/") {
      nested = true;
      s.SetFileMask("*.png");  // ignored: a search is running
      s.Search();
      EXPECT_TRUE(s.SearchInProgress());
    }
  };
  s.SetInitialDirectory(t.Path());
  s.SetFileMask("*.jpg");
  s.Search();
  Strings expected = {"dir ~/",   "file ~/a.jpg",  "dir ~/S/",        "dir ~/",
                      "file ~/a.jpg", "dir ~/S/",  "file ~/S/s.jpg",  "done ~/S/s.jpg",
                      "done ~/S/s.jpg", "search done", "file ~/S/s.jpg", "done ~/S/s.jpg",
                      "done ~/S/s.jpg", "search done"};
  EXPECT_EQ(r.Log, expected);
  // The inner search reset the counts; the outer one went on counting from there (the
  // folder S is counted after its OnDirectoryFound, in which the inner search ran).
  EXPECT_EQ(s.FilesFoundCount(), 3);
  EXPECT_EQ(s.DirectoriesFoundCount(), 3);
  EXPECT_FALSE(s.SearchInProgress());
}

TEST(TreeScanner, FileSizeIsTheLow32BitsOfLargeFiles) {
  TempFolder t;
  std::string big = t.Write("big.tif", "");
  if (::truncate(big.c_str(), (int64_t{5} << 30) + 7) != 0) GTEST_SKIP() << "no sparse files";
  TTreeScanner s;
  int32_t size = -1;
  s.OnFileFound = [&](TObject*) { size = s.FileSize(); };
  s.SetInitialDirectory(t.Path());
  s.SetFileMask("*.tif");
  s.Search();
  EXPECT_EQ(size, 0x40000007);  // 5 GiB + 7 = 0x1'4000'0007
}
