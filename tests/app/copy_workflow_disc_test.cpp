// A real read-only disc: an ISO 9660 image mounted with fuseiso where desktop automounters
// put discs, found by the system's drive table through its label, and copied.

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/fs.h"
#include "tests/app/copy_workflow_fixture.h"

namespace copytest {
namespace {

bool HaveTool(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Unmounts the image (and removes the mount folder if the test made it) whatever happens.
struct MountGuard {
  std::string MountPoint;
  bool Mounted = false;
  bool CreatedFolder = false;
  bool CreatedParent = false;
  ~MountGuard() {
    if (Mounted) {
      const std::string q = Quoted(MountPoint);
      if (std::system(("fusermount -u " + q + " 2>/dev/null").c_str()) != 0) {
        [[maybe_unused]] int rc = std::system(("fusermount3 -u " + q + " 2>/dev/null").c_str());
      }
    }
    std::error_code ec;
    if (CreatedFolder) fs::remove(MountPoint, ec);
    if (CreatedParent) fs::remove(fs::path(MountPoint).parent_path(), ec);
  }
};

TEST(CopyWorkflowDiscTest, CopiesAMountedReadOnlyDisc) {
  if (!fs::exists("/dev/fuse")) GTEST_SKIP() << "no /dev/fuse: FUSE is not available";
  for (const char* tool : {"genisoimage", "fuseiso", "fusermount"}) {
    if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
  }
  const passwd* pw = getpwuid(geteuid());
  if (!pw) GTEST_SKIP() << "no user name for this process";
  const std::string mountPoint = std::string("/media/") + pw->pw_name + "/VANDREL PHOTOS";
  if (fs::exists(mountPoint) && !fs::is_empty(mountPoint)) {
    GTEST_SKIP() << mountPoint << " is in use";
  }

  char pattern[] = "/tmp/vandrel-disc-test.XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const fs::path work = pattern;
  struct Cleanup {
    fs::path Dir;
    ~Cleanup() {
      std::error_code ec;
      fs::remove_all(Dir, ec);
    }
  } cleanup{work};
  const fs::path content = work / "content";
  std::string binary;
  for (int i = 0; i < 5000; ++i) binary += static_cast<char>((i * 7 + i / 256) & 0xFF);
  WriteFile(content / "Album1/img.jpg", binary);
  WriteFile(content / "Album1/Sub/b.tif", binary.substr(100));
  WriteFile(content / "root.png", "png bytes");
  WriteFile(content / "THUMBS/img.jpg", "thumbnail");
  for (const auto& e : fs::recursive_directory_iterator(content)) {
    if (e.is_regular_file()) fs::permissions(e.path(), fs::perms::owner_read | fs::perms::group_read);
  }
  const fs::path iso = work / "disc.iso";
  ASSERT_EQ(std::system(("genisoimage -quiet -V 'VANDREL PHOTOS' -R -J -o " + Quoted(iso.string()) +
                         " " + Quoted(content.string()) + " 2>/dev/null")
                            .c_str()),
            0);

  MountGuard guard;
  guard.MountPoint = mountPoint;
  std::error_code ec;
  guard.CreatedParent = !fs::exists(fs::path(mountPoint).parent_path());
  guard.CreatedFolder = fs::create_directories(mountPoint, ec);
  if (ec) GTEST_SKIP() << "cannot create " << mountPoint << ": " << ec.message();
  if (std::system(("fuseiso " + Quoted(iso.string()) + " " + Quoted(mountPoint) + " 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "fuseiso could not mount the image";
  }
  guard.Mounted = true;

  platform::SetDriveTable(nullptr);  // the system's drives
  const fs::path dest = work / "dest";
  fs::create_directories(dest);
  std::vector<std::string> messages;
  TCopyHooks hooks;
  hooks.ProcessMessages = [] {};
  hooks.ShowMessage = [&](const std::string& m) { messages.push_back(m); };
  hooks.OpenFolder = [](const std::string&) {};
  hooks.SetDestPath = [](const std::string&) {};
  hooks.DestPath = [&] { return dest.string(); };
  TCopyWorkflow workflow(std::move(hooks));
  workflow.FormShow();
  ASSERT_TRUE(messages.empty()) << messages.front();
  EXPECT_EQ(workflow.FileCountText(), "Contains 3 of your images.");
  workflow.CopyFilesClick();

  const fs::path images = dest / "Vandrel Images";
  EXPECT_EQ(FilesBelow(images), (std::vector<std::string>{"Album1/Sub/b.tif", "Album1/img.jpg", "root.png"}));
  for (const char* f : {"Album1/Sub/b.tif", "Album1/img.jpg", "root.png"}) {
    EXPECT_EQ(ReadFile(images / f), ReadFile(content / f)) << f;
    EXPECT_TRUE(OwnerWritable(images / f)) << f;
  }
  EXPECT_TRUE(workflow.LastSummary().FailedFiles.empty());
  EXPECT_EQ(messages, std::vector<std::string>{std::string(TCopyWorkflow::kCopiedMessage) + images.string()});
}

}  // namespace
}  // namespace copytest
