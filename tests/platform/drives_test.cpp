// Drive table: mountinfo parsing, drive roots, labels and the drive prefix.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>

#include "platform/drives.h"
#include "tests/support/temp_folder.h"

using namespace platform;

namespace {

const char* kMountInfo =
    "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
    "23 22 0:21 / /proc rw,nosuid - proc proc rw\n"
    "40 22 11:0 / /media/ann/VANDREL\\040PHOTOS ro,nosuid shared:7 - iso9660 /dev/sr0 ro\n"
    "41 22 8:17 / /run/media/bob/USB\\011STICK rw - vfat /dev/sdb1 rw\n"
    "42 22 0:50 / /mnt/ram rw - tmpfs tmpfs rw\n"
    "43 22 8:33 / /mnt/data rw - ext4 /dev/sdc1 rw\n"
    "44 22 8:34 / /media rw - ext4 /dev/sdc2 rw\n"
    "45 22 8:35 / /srv/other rw - ext4 /dev/sdc3 rw\n"
    "46 22 8:33 / /mnt/data rw - ext4 /dev/sdc1 rw\n"
    "garbage line without fields\n";

struct DriveTableRestore {
  ~DriveTableRestore() { SetDriveTable(nullptr); }
};

}  // namespace

TEST(Drives, ParsesMountInfoWithEscapesAndOptionalFields) {
  std::vector<MountEntry> m = ParseMountInfo(kMountInfo);
  ASSERT_EQ(m.size(), 9u);
  EXPECT_EQ(m[0].MountPoint, "/");
  EXPECT_EQ(m[0].Source, "/dev/sda1");
  EXPECT_EQ(m[0].FsType, "ext4");
  EXPECT_EQ(m[2].MountPoint, "/media/ann/VANDREL PHOTOS");
  EXPECT_EQ(m[2].FsType, "iso9660");
  EXPECT_EQ(m[2].Source, "/dev/sr0");
  EXPECT_EQ(m[3].MountPoint, "/run/media/bob/USB\tSTICK");
}

TEST(Drives, RootsAreRootThenRemovableMountsWithoutPseudoOrDuplicates) {
  std::vector<std::string> roots = DriveRootsFromMounts(ParseMountInfo(kMountInfo));
  std::vector<std::string> expected = {"/", "/media/ann/VANDREL PHOTOS/",
                                       "/run/media/bob/USB\tSTICK/", "/mnt/data/"};
  EXPECT_EQ(roots, expected);
  // The root is a drive even when the table does not list it.
  EXPECT_EQ(DriveRootsFromMounts({}), std::vector<std::string>{"/"});
}

TEST(Drives, LabelsFromAutomounterFoldersAndUdevNames) {
  EXPECT_EQ(LabelFromMountPoint("/media/ann/VANDREL PHOTOS"), "VANDREL PHOTOS");
  EXPECT_EQ(LabelFromMountPoint("/run/media/bob/DISC"), "DISC");
  EXPECT_EQ(LabelFromMountPoint("/media/cdrom"), "");
  EXPECT_EQ(LabelFromMountPoint("/media/ann/a/b"), "");
  EXPECT_EQ(LabelFromMountPoint("/mnt/ann/DISC"), "");
  EXPECT_EQ(UnescapeUdevName("DIGITAL\\x20PHOTOS\\x2f2"), "DIGITAL PHOTOS/2");
  EXPECT_EQ(UnescapeUdevName("bad\\x2"), "bad\\x2");
}

TEST(Drives, VolumeLabelPrefersByLabelLinkToTheSourceDevice) {
  TempFolder t;
  // Stand-ins for device nodes and the by-label folder.
  std::string dev = t.Write("dev/sr0", "");
  t.Write("dev/sdc1", "");
  t.Mkdir("by-label");
  ASSERT_EQ(::symlink("../dev/sr0", (t / "by-label/VANDREL\\x20DISC").c_str()), 0);
  std::vector<MountEntry> mounts = {{"/", "/dev/root", "ext4"},
                                    {"/media/ann/CDROM", dev, "iso9660"},
                                    {"/mnt/data", t / "dev/sdc1", "ext4"}};
  std::string label = "stale";
  EXPECT_TRUE(VolumeLabelFromMounts(mounts, t / "by-label", "/media/ann/CDROM/", label));
  EXPECT_EQ(label, "VANDREL DISC");
  EXPECT_TRUE(VolumeLabelFromMounts(mounts, t / "by-label", "/mnt/data/", label));
  EXPECT_EQ(label, "");
  // Not a mount root: the query fails with an empty label.
  label = "stale";
  EXPECT_FALSE(VolumeLabelFromMounts(mounts, t / "by-label", "/media/ann/CDROM/sub/", label));
  EXPECT_EQ(label, "");
  EXPECT_FALSE(VolumeLabelFromMounts(mounts, t / "by-label", "Desktop", label));
  // Without a by-label entry the automounter's folder name serves.
  mounts[1].Source = "/dev/none";
  EXPECT_TRUE(VolumeLabelFromMounts(mounts, t / "by-label", "/media/ann/CDROM/", label));
  EXPECT_EQ(label, "CDROM");
}

TEST(Drives, DrivePrefixUsesInstalledTableAndWholeComponents) {
  DriveTableRestore restore;
  SetDriveTable(std::make_shared<FixedDriveTable>(std::vector<FixedDriveTable::Drive>{
      {"/", ""}, {"/media/ann/DISC/", "DISC"}, {"/media/ann/DISC/inner/", "IN"}}));
  EXPECT_EQ(DrivePrefix("/media/ann/DISC/a/b.jpg"), "/media/ann/DISC/");
  EXPECT_EQ(DrivePrefix("/media/ann/DISC"), "/media/ann/DISC/");
  EXPECT_EQ(DrivePrefix("/media/ann/DISC/inner/x"), "/media/ann/DISC/inner/");
  EXPECT_EQ(DrivePrefix("/media/ann/DISCO/x"), "/");
  EXPECT_EQ(DrivePrefix("/home/u/x"), "/");
  std::string label;
  EXPECT_TRUE(Drives().VolumeLabel("/media/ann/DISC/", label));
  EXPECT_EQ(label, "DISC");
  EXPECT_FALSE(Drives().VolumeLabel("/media/ann/", label));
  SetDriveTable(nullptr);
  // The system's table always has the root first.
  std::vector<std::string> roots = Drives().RootPaths();
  ASSERT_FALSE(roots.empty());
  EXPECT_EQ(roots[0], "/");
  EXPECT_TRUE(Drives().VolumeLabel("/", label));
}

// The system's table is read once and again when the mount table changes: a volume mounted or
// unmounted meanwhile is seen at the next query.
TEST(Drives, TheSystemTableFollowsMountsAndUnmounts) {
  TempFolder t;
  char point[] = "/mnt/vandrel-drive-test-XXXXXX";
  if (::mkdtemp(point) == nullptr) GTEST_SKIP() << "cannot create a mount point under /mnt";
  const std::string root = std::string(point) + "/";
  const auto listed = [&] {
    const std::vector<std::string> roots = Drives().RootPaths();
    return std::find(roots.begin(), roots.end(), root) != roots.end();
  };
  EXPECT_FALSE(listed());
  if (::mount(t.Path().c_str(), point, nullptr, MS_BIND, nullptr) != 0) {
    ::rmdir(point);
    GTEST_SKIP() << "cannot mount here";
  }
  EXPECT_TRUE(listed());
  EXPECT_TRUE(listed());
  ::umount2(point, MNT_DETACH);
  EXPECT_FALSE(listed());
  ::rmdir(point);
}
