// Copying and writing without overwriting, attribute clearing and folder creation.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <stdexcept>

#include "platform/copy_batch.h"
#include "platform/fs.h"
#include "tests/support/temp_folder.h"

using namespace platform;

namespace {

struct stat StatOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st;
}

}  // namespace

TEST(CopyFileNoOverwrite, CopiesBytesModeAndModificationTime) {
  TempFolder t;
  std::string bytes(3 * 1024 * 1024 + 17, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 + 7);
  std::string src = t.Write("src.tif", bytes);
  ASSERT_EQ(::chmod(src.c_str(), 0440), 0);
  struct timespec times[2] = {{1000000000, 0}, {1234567890, 500}};
  ASSERT_EQ(::utimensat(AT_FDCWD, src.c_str(), times, 0), 0);
  t.Mkdir("out");

  std::string error;
  EXPECT_EQ(CopyFileNoOverwrite(src, t / "out/copy.tif", &error), CopyResult::Copied) << error;
  EXPECT_EQ(ReadAll(t / "out/copy.tif"), bytes);
  struct stat st = StatOf(t / "out/copy.tif");
  EXPECT_EQ(st.st_mode & 07777, 0440u);
  EXPECT_EQ(st.st_mtim.tv_sec, 1234567890);
  EXPECT_EQ(st.st_mtim.tv_nsec, 500);
  EXPECT_EQ(FolderNames(t / "out"), std::vector<std::string>{"copy.tif"});

  // An empty file is copied too.
  std::string empty = t.Write("empty.jpg", "");
  EXPECT_EQ(CopyFileNoOverwrite(empty, t / "out/empty.jpg"), CopyResult::Copied);
  EXPECT_TRUE(FileExists(t / "out/empty.jpg"));
}

TEST(CopyFileNoOverwrite, NeverReplacesAndLeavesNoTemporaryFile) {
  TempFolder t;
  std::string src = t.Write("src.jpg", "new contents");
  std::string dst = t.Write("out/dst.jpg", "precious");
  EXPECT_EQ(CopyFileNoOverwrite(src, dst), CopyResult::AlreadyExists);
  EXPECT_EQ(ReadAll(dst), "precious");

  std::string error;
  EXPECT_EQ(CopyFileNoOverwrite(t / "missing.jpg", t / "out/x.jpg", &error), CopyResult::Failed);
  EXPECT_FALSE(error.empty());
  // A destination folder that does not exist.
  EXPECT_EQ(CopyFileNoOverwrite(src, t / "nofolder/x.jpg"), CopyResult::Failed);
  // A FIFO is refused at once instead of blocking on its open.
  ASSERT_EQ(::mkfifo((t / "pipe.jpg").c_str(), 0644), 0);
  EXPECT_EQ(CopyFileNoOverwrite(t / "pipe.jpg", t / "out/pipe.jpg"), CopyResult::Failed);
  // A destination path that names a folder.
  t.Mkdir("out/folder.jpg");
  EXPECT_EQ(CopyFileNoOverwrite(src, t / "out/folder.jpg"), CopyResult::AlreadyExists);
  std::vector<std::string> names = FolderNames(t / "out");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"dst.jpg", "folder.jpg"}));
}

TEST(CopyFileNoOverwrite, FailedWriteRemovesTheTemporaryFile) {
  TempFolder t;
  std::string src = t.Write("big.tif", std::string(256 * 1024, 'b'));
  t.Mkdir("out");
  // A file-size limit makes the write fail part-way, even for root.
  struct rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string error;
  CopyResult r = CopyFileNoOverwrite(src, t / "out/big.tif", &error);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(r, CopyResult::Failed);
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(FolderNames(t / "out").empty());
}

TEST(WriteFileNoOverwrite, PublishesOnlyCompleteWrites) {
  TempFolder t;
  ::umask(022);
  std::string written;
  EXPECT_EQ(WriteFileNoOverwrite(t / "a.JPG",
                                 [&](const std::string& temp) {
                                   written = temp;
                                   std::ofstream(temp, std::ios::binary) << "jpeg";
                                   return true;
                                 }),
            CopyResult::Copied);
  EXPECT_EQ(written.rfind(t.Path(), 0), 0u) << "temporary file must be in the destination folder";
  EXPECT_EQ(ReadAll(t / "a.JPG"), "jpeg");
  EXPECT_EQ(StatOf(t / "a.JPG").st_mode & 0777, 0644u);

  // The writer reports failure, or throws: nothing appears, the temporary file is gone.
  auto partial = [](const std::string& temp) {
    std::ofstream(temp, std::ios::binary) << "half";
    return false;
  };
  EXPECT_EQ(WriteFileNoOverwrite(t / "b.JPG", partial), CopyResult::Failed);
  EXPECT_THROW(WriteFileNoOverwrite(t / "c.JPG",
                                    [](const std::string&) -> bool {
                                      throw std::runtime_error("disk full");
                                    }),
               std::runtime_error);
  // An existing file is never handed to the writer nor replaced.
  bool called = false;
  EXPECT_EQ(WriteFileNoOverwrite(t / "a.JPG",
                                 [&](const std::string&) {
                                   called = true;
                                   return true;
                                 }),
            CopyResult::AlreadyExists);
  EXPECT_FALSE(called);
  EXPECT_EQ(FolderNames(t.Path()), std::vector<std::string>{"a.JPG"});
}

TEST(WriteFileNoOverwrite, ALongNonAsciiNameGetsAWholeCharacterTemporaryName) {
  TempFolder t;
  // 83 three-byte characters: 249 bytes, near the name limit. File systems that store names
  // as Unicode (vfat, exFAT, NTFS) refuse a name with a broken character.
  std::string name;
  for (int i = 0; i < 83; ++i) name += "\xe2\x82\xac";
  std::string temp;
  EXPECT_EQ(WriteFileNoOverwrite(t / name,
                                 [&](const std::string& path) {
                                   temp = path.substr(t.Path().size());
                                   std::ofstream(path, std::ios::binary) << "jpeg";
                                   return true;
                                 }),
            CopyResult::Copied);
  EXPECT_EQ(ReadAll(t / name), "jpeg");
  ASSERT_GT(temp.size(), 1u);
  // The shortened copy of the name inside ".<name>.vandrel-<pid>.XXXXXX.part" ends on a whole
  // character.
  ASSERT_NE(temp.rfind(".vandrel-"), std::string::npos) << temp;
  const std::string kept = temp.substr(1, temp.rfind(".vandrel-") - 1);
  ASSERT_LE(kept.size(), 200u);
  EXPECT_EQ(kept, name.substr(0, kept.size()));
  EXPECT_EQ(kept.size() % 3, 0u) << "a character was cut";
}

TEST(FileAttributes, ClearMakesReadOnlyFileWritableUnderTheUmask) {
  TempFolder t;
  ::umask(027);
  std::string f = t.Write("ro.jpg");
  ASSERT_EQ(::chmod(f.c_str(), 0444), 0);
  EXPECT_EQ(ProcessUmask(), 027u);
  EXPECT_TRUE(ClearFileAttributes(f));
  EXPECT_EQ(StatOf(f).st_mode & 0777, 0640u);
  EXPECT_EQ(GetFileAttributes(f), 0u);
  // Folders, links and what links point to are left alone.
  std::string d = t.Mkdir("dir");
  ASSERT_EQ(::chmod(d.c_str(), 0500), 0);
  ASSERT_EQ(::symlink(f.c_str(), (t / "link").c_str()), 0);
  ASSERT_EQ(::chmod(f.c_str(), 0400), 0);
  for (const std::string& p : {d, t / "link", t / "missing"}) EXPECT_FALSE(ClearFileAttributes(p)) << p;
  EXPECT_EQ(StatOf(d).st_mode & 0777, 0500u);
  EXPECT_EQ(StatOf(f).st_mode & 0777, 0400u);
  ::umask(022);
}

TEST(Folders, ForceDirectoriesAndCurrentDirectory) {
  TempFolder t;
  EXPECT_TRUE(ForceDirectories(t / "a/b/Vandrel Images/c"));
  EXPECT_TRUE(DirectoryExists(t / "a/b/Vandrel Images/c"));
  EXPECT_TRUE(ForceDirectories(t / "a/b"));  // already there
  t.Write("file");
  EXPECT_FALSE(ForceDirectories(t / "file/sub"));
  EXPECT_FALSE(ForceDirectories(""));

  std::string before = GetCurrentDir();
  ASSERT_TRUE(SetCurrentDir(t / "a/b"));
  EXPECT_EQ(GetCurrentDir() + "/", std::filesystem::canonical(t / "a/b").string() + "/");
  EXPECT_FALSE(SetCurrentDir(t / "none"));
  ASSERT_TRUE(SetCurrentDir(before));
  EXPECT_EQ(TempDirectory().back(), '/');
}

// Temporaries of a process that no longer runs are ours to remove; anything else stays: a
// live writer's, another name, a folder, a user's file that merely looks alike.
TEST(RemoveStaleTemporaries, RemovesOnlyOurTemporariesOfDeadProcesses) {
  TempFolder t;
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ASSERT_GT(dead, 0);
  ::waitpid(dead, nullptr, 0);
  const std::string d = std::to_string(dead), live = std::to_string(::getpid());
  struct Entry {
    std::string Name;
    bool Removed;
  };
  const Entry entries[] = {
      {".a.jpg.vandrel-" + d + ".Ab3dE9.part", true},
      {".vl-save-" + d + "-12.part", true},
      {".a.jpg.vandrel-" + live + ".Ab3dE9.part", false},
      {".vl-save-" + live + "-1.part", false},
      {".a.jpg.vandrel-" + d + ".Ab3.part", false},
      {".notes.part", false},
      {"a.jpg.vandrel-" + d + ".Ab3dE9.part", false},
      {".vl-save-x" + d + "-1.part", false},
  };
  for (const Entry& e : entries) t.Write(e.Name, "partial");
  t.Mkdir(".b.jpg.vandrel-" + d + ".Zz9zZ9.part");
  EXPECT_EQ(RemoveStaleTemporaries(t.Path()), 2);
  for (const Entry& e : entries) EXPECT_EQ(FileExists(t / e.Name), !e.Removed) << e.Name;
  EXPECT_TRUE(DirectoryExists(t / (".b.jpg.vandrel-" + d + ".Zz9zZ9.part")));
}

// Where unnamed files are not offered, the named way gives the same results.
TEST(CopyFileNoOverwrite, TheNamedTemporaryWayCopiesAndNeverReplaces) {
  TempFolder t;
  SetUnnamedTemporaries(false);
  std::string src = t.Write("src.jpg", "bytes");
  std::string dst = t.Write("out/taken.jpg", "precious");
  EXPECT_EQ(CopyFileNoOverwrite(src, t / "out/new.jpg"), CopyResult::Copied);
  EXPECT_EQ(CopyFileNoOverwrite(src, dst), CopyResult::AlreadyExists);
  SetUnnamedTemporaries(true);
  EXPECT_EQ(ReadAll(t / "out/new.jpg"), "bytes");
  EXPECT_EQ(ReadAll(dst), "precious");
  std::vector<std::string> names = FolderNames(t / "out");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"new.jpg", "taken.jpg"}));
}

// A batch names its files only once they are flushed; what is never flushed leaves nothing.
TEST(CopyBatch, NamesFilesWhenFlushedAndLeavesNothingOtherwise) {
  TempFolder t;
  const std::string src = t.Write("src.jpg", "bytes");
  t.Write("out/taken.jpg", "precious");
  std::vector<std::string> settled;
  auto done = [&](const std::string& name) {
    return [&settled, name](CopyResult r, const std::string&, int) {
      settled.push_back(name + (r == CopyResult::Copied ? ":copied" : r == CopyResult::AlreadyExists ? ":exists" : ":failed"));
    };
  };
  {
    CopyBatch batch(2);
    batch.Add(src, t / "out/taken.jpg", done("taken"));
    batch.Add(t / "missing.jpg", t / "out/m.jpg", done("missing"));
    batch.Add(src, t / "out/a.jpg", done("a"));
    EXPECT_FALSE(FileExists(t / "out/a.jpg"));
    batch.Add(src, t / "out/b.jpg", done("b"));  // the batch is full: both are named
    batch.Add(src, t / "out/c.jpg", done("c"));
    EXPECT_EQ(batch.Pending(), 1u);
  }  // c was never flushed
  EXPECT_EQ(settled, (std::vector<std::string>{"taken:exists", "missing:failed", "a:copied", "b:copied"}));
  std::vector<std::string> names = FolderNames(t / "out");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.jpg", "b.jpg", "taken.jpg"}));
  EXPECT_EQ(ReadAll(t / "out/b.jpg"), "bytes");
}
