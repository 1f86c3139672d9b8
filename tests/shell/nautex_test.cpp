// The navigator over the sandbox's namespace.

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "shell/nautex.h"
#include "shell/shell_trash.h"
#include "shell_sandbox.h"

namespace fs = std::filesystem;
using K = TShellItemKind;

namespace {

std::vector<std::string> Enumerate(TNautex& n) {
  std::vector<std::string> names;
  while (n.NextObject()) names.push_back(n.DisplayName());
  return names;
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const ENautexError& e) {
    return e.what();
  }
  return "(no error)";
}

bool Exists(const std::string& p) {
  struct stat st;
  return ::lstat(p.c_str(), &st) == 0;
}

const std::string kNotFound = std::error_code(ENOENT, std::generic_category()).message() + "\n";

}  // namespace

TEST(Nautex, FolderRoundTripsAndErrors) {
  ShellSandbox box;
  const std::string photos = box.Dir.Mkdir("drive/Photos");
  box.Dir.Mkdir("drive/photos");
  const std::string file = box.Dir.Write("drive/f.jpg");
  TNautex n;
  EXPECT_EQ(n.Folder(), "");  // starts on the computer
  EXPECT_EQ(n.SpecialFolder(), SF_DRIVES);
  n.SetFolder(photos + "/.//../Photos");
  EXPECT_EQ(n.Folder(), photos + "/");
  // Byte for byte: the other case is another folder.
  n.SetFolder(box.Drive + "photos");
  EXPECT_EQ(n.Folder(), box.Drive + "photos/");
  n.SetFolder(box.Drive);
  EXPECT_EQ(n.Folder(), box.Drive);  // a drive root keeps its one '/'
  // Errors keep the folder: relative, missing, and a file.
  for (const std::string& bad : {std::string("drive/Photos"), box.Drive + "missing"}) {
    EXPECT_EQ(ErrorOf([&] { n.SetFolder(bad); }), kNotFound + bad);
    EXPECT_EQ(n.Folder(), box.Drive);
  }
  EXPECT_EQ(ErrorOf([&] { n.SetFolder(file); }),
            "Nautex.SetFolderIDList: Desktop.BindToObject: Could not get Folder");
  EXPECT_EQ(n.Folder(), box.Drive);
  EXPECT_EQ(ErrorOf([&] { n.SetFolderIDList(TIDList::Single(K::Trash).Append(K::TrashEntry, "/x")); }),
            "Nautex.SetFolderIDList: Desktop.BindToObject: Could not get Folder");
  EXPECT_EQ(n.Folder(), box.Drive);
  n.SetFolder("");
  EXPECT_EQ(n.Folder(), "");
  // The parent of a drive is the computer, with the drive as its object.
  n.SetFolder(photos);
  n.OpenParent();
  EXPECT_EQ(n.Folder(), box.Drive);
  EXPECT_EQ(n.ObjectName(), "Photos");
  EXPECT_TRUE(n.OpenObject());
  EXPECT_EQ(n.Folder(), photos + "/");
  n.SetAbsoluteIDList(*shell::ParseDisplayName(file));
  EXPECT_EQ(n.Folder(), box.Drive);
  EXPECT_EQ(n.ObjectPath(), file);
}

TEST(Nautex, ObjectNameLookupAndDriveRoots) {
  ShellSandbox box;
  box.Dir.Write("drive/Album/a.jpg");
  TNautex n;
  n.SetObjectName(box.Drive);
  EXPECT_EQ(n.Folder(), "");
  EXPECT_EQ(n.ObjectName(), box.Drive);  // a drive is named by its root path
  EXPECT_EQ(n.DisplayName(), "PHOTOS");
  EXPECT_TRUE(n.IsFolder());
  n.SetObjectName(box.Drive + "Album/a.jpg");
  EXPECT_EQ(n.Folder(), box.Drive + "Album/");
  EXPECT_EQ(n.ObjectName(), "a.jpg");
  n.SetObjectName("");
  EXPECT_FALSE(n.ObjectIDList());
  n.SetFolder(box.Drive);
  n.SetObjectName("Album/");
  EXPECT_EQ(n.ObjectName(), "Album");
  EXPECT_EQ(ErrorOf([&] { n.SetObjectName("album"); }),
            "Error! Cannot find Object \"album\" in Folder \"" + box.Drive + "\"");
  // In a virtual folder objects are found by their display names too.
  n.SetSpecialFolder(SF_DESKTOP);
  n.SetObjectName("Trash");
  EXPECT_EQ(n.ObjectSpecialFolder(), SF_BITBUCKET);
}

TEST(Nautex, SpecialFolders) {
  ShellSandbox box;
  const std::string pictures = box.Dir.Mkdir("home/Bilder");
  box.Dir.Write("home/.config/user-dirs.dirs",
                "# written by xdg-user-dirs\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
  TNautex n;
  n.SetSpecialFolder(SF_PERSONAL);
  EXPECT_EQ(n.Folder(), box.Home + "/");
  EXPECT_EQ(n.SpecialFolder(), SF_PERSONAL);
  n.SetSpecialFolder(SF_MYPICTURES);
  EXPECT_EQ(n.Folder(), pictures + "/");
  EXPECT_EQ(n.SpecialFolder(), SF_MYPICTURES);
  n.SetSpecialFolder(SF_APPDATA);
  EXPECT_EQ(n.Folder(), box.Home + "/.config/");
  n.SetSpecialFolder(SF_FONTS);  // not provided: nothing changes
  EXPECT_EQ(n.Folder(), box.Home + "/.config/");
  n.SetSpecialFolder(SF_BITBUCKET);
  EXPECT_EQ(n.Folder(), "");
  EXPECT_EQ(n.SpecialFolder(), SF_BITBUCKET);
  // The desktop's path is the XDG desktop folder, which exists and is not the home folder.
  n.SetSpecialFolder(SF_DESKTOP);
  EXPECT_EQ(n.Folder(), box.Desktop + "/");
  EXPECT_EQ(n.SpecialFolder(), SF_DESKTOP);
  EXPECT_EQ(n.DisplayName(), "Desktop");  // no object: the folder's own name
  std::vector<TOrvikShellFolder> kinds;
  while (n.NextObject()) kinds.push_back(n.ObjectSpecialFolder());
  EXPECT_EQ(kinds, (std::vector<TOrvikShellFolder>{SF_DRIVES, SF_PERSONAL, SF_BITBUCKET}));
  // A desktop folder that is the home folder gives the desktop no path.
  box.Dir.Write("home/.config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/\"\n");
  n.SetSpecialFolder(SF_DESKTOP);
  EXPECT_EQ(n.Folder(), "");
}

TEST(Nautex, EnumerationWithFiltersAndFileSystemOnly) {
  ShellSandbox box;
  for (const char* f : {"a.JPG", "a.jpeg", "b.tif", "c.txt", ".hidden.jpg"}) box.Dir.Write(std::string("drive/") + f);
  box.Dir.Mkdir("drive/photos.dat");
  ASSERT_EQ(::symlink("photos.dat", (box.Drive + "link").c_str()), 0);
  TNautex n;
  n.SetFolder(box.Drive);
  n.SetFilter("*.jpg;*.tif");
  using V = std::vector<std::string>;
  // Folders (a link to one too) always pass; hidden objects are for the controls to drop.
  EXPECT_EQ(Sorted(Enumerate(n)), (V{".hidden.jpg", "a.JPG", "b.tif", "link", "photos.dat"}));
  EXPECT_EQ(Sorted(Enumerate(n)).size(), 5u);  // the next call starts again
  n.SetObjectName("link");
  EXPECT_TRUE(n.IsLink());
  EXPECT_TRUE(n.IsFolder());
  EXPECT_EQ(n.LinkTarget(), box.Drive + "photos.dat");
  EXPECT_EQ(n.OverlayIndex(), 1);
  n.SetObjectName(".hidden.jpg");
  EXPECT_TRUE(n.IsHidden());
  EXPECT_FALSE(n.IsLink());
  // The desktop: the computer, home and trash, then the desktop folder's entries; with
  // FileSystemOnly the trash stays and so does the computer.
  box.Dir.Write("home/Desktop/notes.txt");
  n.SetFilter("*");
  n.SetSpecialFolder(SF_DESKTOP);
  EXPECT_EQ(Enumerate(n), (V{"Computer", "Home", "Trash", "notes.txt"}));
  n.SetFileSystemOnly(true);
  EXPECT_EQ(Enumerate(n), (V{"Computer", "Home", "Trash", "notes.txt"}));
  n.SetObjectName("Trash");
  EXPECT_FALSE(n.IsFolder());  // not a file-system ancestor
  n.SetSpecialFolder(SF_DRIVES);
  EXPECT_EQ(Enumerate(n), (V{"PHOTOS"}));
}

TEST(Nautex, OddByteNamesAreTheirOwnFiles) {
  ShellSandbox box;
  const std::string ff = std::string("a\xff.jpg"), fe = std::string("a\xfe.jpg");
  box.Dir.Write("drive/" + ff, "ff");
  box.Dir.Write("drive/" + fe, "fe");
  TNautex n;
  n.SetFolder(box.Drive);
  EXPECT_EQ(Sorted(Enumerate(n)), Sorted({ff, fe}));
  n.SetObjectName(ff);
  EXPECT_EQ(n.ObjectPath(), box.Drive + ff);
  bool ok = false;
  EXPECT_EQ(n.RenameObject("b.jpg", &ok), "b.jpg");
  EXPECT_TRUE(ok);
  EXPECT_EQ(ReadAll(box.Drive + "b.jpg"), "ff");
  EXPECT_EQ(ReadAll(box.Drive + fe), "fe");
  n.MultiObjects() = {fe};
  EXPECT_TRUE(n.InvokeVerb("delete"));
  EXPECT_EQ(n.VerbPaths(), std::vector<std::string>{box.Drive + fe});
  EXPECT_TRUE(Exists(box.Drive + "b.jpg"));
  EXPECT_FALSE(Exists(box.Drive + fe));
}

TEST(Nautex, RenameNeverReplacesAndRefusesBadNames) {
  ShellSandbox box;
  box.Dir.Write("drive/a.jpg", "a");
  box.Dir.Write("drive/b.jpg", "b");
  TNautex n;
  n.SetFolder(box.Drive);
  n.SetObjectName("a.jpg");
  EXPECT_TRUE(n.CanRename());
  bool ok = true;
  EXPECT_EQ(n.RenameObject("b.jpg", &ok), "a.jpg");
  EXPECT_FALSE(ok);
  EXPECT_EQ(n.LastError(), EEXIST);
  EXPECT_EQ(ReadAll(box.Drive + "b.jpg"), "b");
  for (const std::string& bad : {std::string(), std::string("."), std::string(".."),
                                 std::string("x/y"), std::string("x\0y", 3)}) {
    n.RenameObject(bad, &ok);
    EXPECT_FALSE(ok) << bad;
    EXPECT_EQ(n.LastError(), EINVAL);
  }
  EXPECT_EQ(Sorted(FolderNames(box.Drive)), (std::vector<std::string>{"a.jpg", "b.jpg"}));
  // A change of case is a rename like any other, and the object follows it.
  EXPECT_EQ(n.RenameObject("A.jpg", &ok), "A.jpg");
  EXPECT_TRUE(ok);
  EXPECT_EQ(n.ObjectName(), "A.jpg");
  EXPECT_EQ(ReadAll(box.Drive + "A.jpg"), "a");
}

TEST(Nautex, DeleteGoesToTheTrashAndReportsOnlyWhatWentAway) {
  ShellSandbox box;
  box.Dir.Write("drive/keep.jpg");
  box.Dir.Write("drive/x y.jpg", "data");
  box.Dir.Mkdir("drive/dir");
  TNautex n;
  n.SetFolder(box.Drive);
  n.SetObjectName("x y.jpg");
  ASSERT_TRUE(n.InvokeVerb("delete"));
  EXPECT_FALSE(Exists(box.Drive + "x y.jpg"));
  const std::string trash = box.Home + "/.local/share/Trash";
  EXPECT_EQ(ReadAll(trash + "/files/x y.jpg"), "data");
  EXPECT_NE(ReadAll(trash + "/info/x y.jpg.trashinfo").find("Path=" + box.Drive + "x%20y.jpg\n"),
            std::string::npos);
  // A second file of that name gets a name of its own in the trash.
  box.Dir.Write("drive/x y.jpg", "again");
  n.MultiObjects() = {"x y.jpg"};
  ASSERT_TRUE(n.InvokeVerb("DELETE"));
  EXPECT_EQ(ReadAll(trash + "/files/x y.jpg.2"), "again");
  // The trash lists its entries by their original names.
  n.SetSpecialFolder(SF_BITBUCKET);
  EXPECT_EQ(Enumerate(n), (std::vector<std::string>{"x y.jpg", "x y.jpg"}));
  // When the trash refuses one of several objects, only the others are reported.
  TShellHooks hooks = CurrentShellHooks();
  hooks.MoveToTrash = [](const std::string& p) {
    return p.find("keep") == std::string::npos && shell::MoveToTrashOwn(p);
  };
  SetShellHooks(hooks);
  n.SetFolder(box.Drive);
  n.MultiObjects() = {"keep.jpg", "dir", "missing"};
  EXPECT_FALSE(n.InvokeVerb("delete"));
  EXPECT_EQ(n.VerbPaths(), std::vector<std::string>{box.Drive + "dir"});
  EXPECT_TRUE(Exists(box.Drive + "keep.jpg"));
  EXPECT_TRUE(n.MultiObjects().empty());
}

TEST(Nautex, CopyCutPasteOpenAndTheReadOnlyMenu) {
  ShellSandbox box;
  box.Dir.Write("drive/a.jpg", "A");
  box.Dir.Write("drive/sub/s.jpg", "S");
  TNautex n;
  n.SetFolder(box.Drive);
  n.SetObjectName("a.jpg");
  ASSERT_TRUE(n.InvokeVerb("copy"));
  EXPECT_EQ(shell::ClipboardData("text/uri-list"), "file://" + box.Drive + "a.jpg\r\n");
  n.SetObjectIDList(nullptr);
  ASSERT_TRUE(n.InvokeVerb("paste"));  // no object: into the folder
  n.SetObjectName("a.jpg");
  ASSERT_TRUE(n.InvokeVerb("paste"));  // a file object: into its folder as well
  EXPECT_EQ(ReadAll(box.Drive + "a (2).jpg"), "A");
  EXPECT_EQ(ReadAll(box.Drive + "a (3).jpg"), "A");
  // Cut a folder and paste it into another: moved, and the clipboard is emptied.
  box.Dir.Mkdir("drive/target");
  n.SetObjectName("sub");
  ASSERT_TRUE(n.InvokeVerb("cut"));
  n.SetObjectName("target");
  ASSERT_TRUE(n.InvokeVerb("paste"));
  EXPECT_EQ(ReadAll(box.Drive + "target/sub/s.jpg"), "S");
  EXPECT_FALSE(Exists(box.Drive + "sub"));
  EXPECT_FALSE(shell::ClipboardData("text/uri-list"));
  // A folder is never pasted into itself.
  n.SetObjectName("target");
  n.InvokeVerb("copy");
  n.SetFolder(box.Drive + "target");
  EXPECT_FALSE(n.InvokeVerb("paste"));
  EXPECT_FALSE(Exists(box.Drive + "target/target"));
  // Open hands the exact path to the desktop; a read-only menu refuses deleting.
  n.SetObjectName("sub");
  EXPECT_TRUE(n.InvokeVerb(""));
  EXPECT_EQ(box.Opened, std::vector<std::string>{box.Drive + "target/sub"});
  n.SetReadOnly(true);
  EXPECT_EQ(n.RunContextMenuVerb("Delete"), "");
  EXPECT_TRUE(Exists(box.Drive + "target/sub"));
  EXPECT_EQ(n.RunContextMenuVerb("open"), "open");
}
