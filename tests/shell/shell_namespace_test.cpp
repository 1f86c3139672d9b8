// The namespace: paths and ID lists, the order of objects, detail texts.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "shell/shell_folder.h"
#include "shell_sandbox.h"

using K = TShellItemKind;

namespace {

void SetTimes(const std::string& path, time_t t) {
  const timespec times[2] = {{t, 0}, {t, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

void WriteSparse(const std::string& path, uint64_t size) {
  const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
  ::close(fd);
}

std::vector<std::string> SortedNames(TShellFolder& folder, int column) {
  std::vector<TIDList> items;
  auto e = folder.EnumObjects();
  TIDList item;
  while (e && e->Next(item) == TShellEnum::Ok) items.push_back(item);
  std::sort(items.begin(), items.end(), [&](const TIDList& a, const TIDList& b) {
    return folder.CompareIDs(column, a, b) < 0;
  });
  std::vector<std::string> names;
  for (const TIDList& i : items) names.push_back(folder.GetDisplayNameOf(i, TShellNameForm::Normal));
  return names;
}

class TTestFormatter : public TShellFormatter {
 public:
  std::string FormatNumber(uint64_t v) const override { return std::to_string(v) + "#"; }
  std::string FormatDateTime(int64_t t) const override { return "@" + std::to_string(t); }
};

}  // namespace

TEST(ShellNamespace, PathsAndIDListsRoundTrip) {
  ShellSandbox box;
  box.Dir.Write("drive/Album/x.jpg");
  box.Dir.Write("home/Desktop/note.txt");
  const auto parsed = shell::ParseDisplayName(box.Drive + "Album//./x.jpg");
  ASSERT_TRUE(parsed);
  const std::vector<TShellItem> items = parsed->Items();
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0].Kind, K::Computer);
  EXPECT_EQ(items[1].Kind, K::Drive);
  EXPECT_EQ(items[1].Name, box.Drive);
  EXPECT_EQ(items[2].Kind, K::Folder);
  EXPECT_EQ(items[3].Kind, K::File);
  EXPECT_EQ(shell::PathFromIDList(*parsed), box.Drive + "Album/x.jpg");
  // A drive root keeps its '/' and is never looked at: this one does not even exist.
  platform::SetDriveTable(std::make_shared<platform::FixedDriveTable>(
      std::vector<platform::FixedDriveTable::Drive>{{box.Drive, "PHOTOS"}, {"/no/such/drive/", ""}}));
  const auto ghost = shell::ParseDisplayName("/no/such/drive");
  ASSERT_TRUE(ghost);
  EXPECT_EQ(*ghost, TIDList::Single(K::Computer).Append(K::Drive, "/no/such/drive/"));
  EXPECT_EQ(shell::PathFromIDList(*ghost), "/no/such/drive/");
  // The computer, home and desktop forms.
  EXPECT_EQ(shell::ParseDisplayName(""), TIDList::Single(K::Computer));
  EXPECT_EQ(shell::PathFromIDList(TIDList::Single(K::Home).Append(K::File, "f")), box.Home + "/f");
  EXPECT_EQ(shell::PathFromIDList(TIDList()), box.Desktop);
  EXPECT_EQ(shell::PathFromIDList(TIDList::Single(K::File, "note.txt")), box.Desktop + "/note.txt");
  // Virtual objects and malformed lists have no path; relative and missing paths fail.
  for (const TIDList& none :
       {TIDList::Single(K::Computer), TIDList::Single(K::Trash),
        TIDList::Single(K::Trash).Append(K::TrashEntry, box.Home + "/x"),
        TIDList::Single(K::Home).Append(K::File, "a").Append(K::File, "b"),
        TIDList::Single(K::Home).Append(K::Folder, "..")}) {
    EXPECT_FALSE(shell::PathFromIDList(none)) << none.Size();
  }
  EXPECT_FALSE(shell::ParseDisplayName("drive/Album"));
  EXPECT_FALSE(shell::ParseDisplayName(box.Drive + "missing"));
}

TEST(ShellNamespace, CompareIDsPutsFoldersFirstThenTheColumnKeyThenNameThenBytes) {
  ShellSandbox box;
  const std::string dir = box.Dir.Mkdir("drive/cmp");
  box.Dir.Mkdir("drive/cmp/b_dir");
  box.Dir.Mkdir("drive/cmp/A_dir");
  box.Dir.Write("drive/cmp/a.txt", std::string(10, 'x'));
  box.Dir.Write("drive/cmp/A.txt", std::string(20, 'x'));
  box.Dir.Write("drive/cmp/c.png", "x");
  // 4 GiB and 5 bytes: its low 32 bits would put it before a.txt.
  WriteSparse(dir + "/B.jpg", (4ull << 30) + 5);
  SetTimes(dir + "/c.png", 1000);
  SetTimes(dir + "/A.txt", 2000);
  SetTimes(dir + "/B.jpg", 3000);
  SetTimes(dir + "/a.txt", 4000);
  auto folder = TShellFolder::Bind(*shell::ParseDisplayName(dir));
  ASSERT_TRUE(folder);
  using V = std::vector<std::string>;
  EXPECT_EQ(SortedNames(*folder, 0), (V{"A_dir", "b_dir", "A.txt", "a.txt", "B.jpg", "c.png"}));
  EXPECT_EQ(SortedNames(*folder, 1), (V{"A_dir", "b_dir", "c.png", "a.txt", "A.txt", "B.jpg"}));
  EXPECT_EQ(SortedNames(*folder, 2), (V{"A_dir", "b_dir", "B.jpg", "c.png", "A.txt", "a.txt"}));
  EXPECT_EQ(SortedNames(*folder, 3), (V{"A_dir", "b_dir", "c.png", "A.txt", "B.jpg", "a.txt"}));

  // The desktop's children, and lists naming one object.
  const TIDList drive = TIDList::Single(K::Computer).Append(K::Drive, box.Drive);
  EXPECT_LT(shell::CompareIDs(0, TIDList::Single(K::Computer), TIDList::Single(K::Home)), 0);
  EXPECT_LT(shell::CompareIDs(0, TIDList::Single(K::Home), TIDList::Single(K::Trash)), 0);
  EXPECT_LT(shell::CompareIDs(0, TIDList::Single(K::Trash), TIDList::Single(K::Folder, "a")), 0);
  EXPECT_EQ(shell::CompareIDs(0, drive.Append(K::Folder, "x"), drive.Append(K::File, "x")), 0);
  EXPECT_LT(shell::CompareIDs(0, drive, drive.Append(K::File, "x")), 0);
  EXPECT_NE(shell::CompareIDs(0, drive.Append(K::File, "x"), drive.Append(K::File, "X")), 0);
  EXPECT_EQ(shell::CompareIDs(0, TIDList(), TIDList()), 0);
}

TEST(ShellNamespace, DetailColumnsWithAnInjectedFormatter) {
  ShellSandbox box;
  TShellHooks hooks = CurrentShellHooks();
  hooks.Formatter = std::make_shared<TTestFormatter>();
  SetShellHooks(hooks);
  const std::string file = box.Dir.Write("drive/p.jpg", std::string(1536, 'x'));
  box.Dir.Mkdir("drive/sub");
  SetTimes(file, 86400);
  auto folder = TShellFolder::Bind(*shell::ParseDisplayName(box.Drive));
  ASSERT_TRUE(folder);
  const std::pair<const char*, int> headers[] = {{"Name", 150}, {"Size", 60}, {"Type", 120}, {"Changed", 100}};
  for (int c = 0; c < 4; ++c) {
    const TShellDetails d = folder->GetDetailsOf(nullptr, c);
    EXPECT_EQ(d.Text, headers[c].first);
    EXPECT_EQ(d.Width, headers[c].second);
    EXPECT_EQ(d.Align, c == 1 ? TShellDetails::alRight : TShellDetails::alLeft);
  }
  EXPECT_EQ(folder->GetDetailsOf(nullptr, 4).Text, "");
  const TIDList p = TIDList::Single(K::File, "p.jpg");
  const TIDList sub = TIDList::Single(K::Folder, "sub");
  const auto texts = [&](const TIDList& item) {
    std::vector<std::string> t;
    for (int c = 0; c < 4; ++c) t.push_back(folder->GetDetailsOf(&item, c).Text);
    return t;
  };
  EXPECT_EQ(texts(p), (std::vector<std::string>{"p.jpg", "2# KB", "JPG File", "@86400"}));
  EXPECT_EQ(texts(sub)[1], "");
  EXPECT_EQ(texts(sub)[2], "Folder");
  // A drive shows its label and nothing read from the disc.
  auto computer = TShellFolder::Bind(TIDList::Single(K::Computer));
  const TIDList drive = TIDList::Single(K::Drive, box.Drive);
  EXPECT_EQ(computer->GetDetailsOf(&drive, 0).Text, "PHOTOS");
  EXPECT_EQ(computer->GetDetailsOf(&drive, 1).Text, "");
  EXPECT_EQ(computer->GetDetailsOf(&drive, 3).Text, "");
}
