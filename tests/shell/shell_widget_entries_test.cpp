// The entries behind the shell box and the shell file list, over the sandbox's namespace.

#include <sys/stat.h>
#include <utime.h>

#include <algorithm>

#include "shell/shell_combo_entries.h"
#include "shell/shell_list_entries.h"
#include "shell_sandbox.h"

namespace {

std::vector<std::pair<std::string, int>> Levels(const TShellComboEntries& e) {
  std::vector<std::pair<std::string, int>> out;
  for (const TOrvikComboItem& item : e.Items()) out.push_back({item.DisplayName, item.Level});
  return out;
}

std::vector<std::string> Captions(const TShellListEntries& e, bool filesOnly = false) {
  std::vector<std::string> out;
  for (const TOrvikShellListItem& item : e.Items()) {
    if (filesOnly && (item.IsParent || item.IDList->LastItem().Kind != TShellItemKind::File)) continue;
    out.push_back(item.Caption);
  }
  return out;
}

struct Counts {
  int Inserts = 0, Removes = 0, Reorders = 0, Changed = 0;
  TListChangeSink Sink() {
    TListChangeSink s;
    s.BeforeInsert = [this](int first, int last) { Inserts += last - first + 1; };
    s.BeforeRemove = [this](int) { ++Removes; };
    s.BeforeReorder = [this] { ++Reorders; };
    s.RowChanged = [this](int) { ++Changed; };
    return s;
  }
};

void SetTime(const std::string& path, time_t t) {
  struct utimbuf times{t, t};
  ASSERT_EQ(::utime(path.c_str(), &times), 0);
}

}  // namespace

TEST(ShellComboEntries, FillsLevelsAndInsertsAndRemovesChains) {
  ShellSandbox box;
  box.Dir.Mkdir("drive/Photos/2004");
  box.Dir.Mkdir("home/Desktop/Projects");
  TNautex nav;
  TShellComboEntries e(nav);
  e.Fill();
  // The desktop, the computer with its drive (by label) right after it, then the desktop's
  // other folders.
  const auto levels = Levels(e);
  ASSERT_GE(levels.size(), 5u);
  EXPECT_EQ(levels[0], (std::pair<std::string, int>{"Desktop", 0}));
  EXPECT_EQ(levels[1].second, 1);
  EXPECT_EQ(levels[2], (std::pair<std::string, int>{"PHOTOS", 2}));
  EXPECT_EQ(e.Item(2).EntryText, box.Drive);  // the entry string is the root path
  for (size_t i = 3; i < levels.size(); ++i) EXPECT_EQ(levels[i].second, 1) << levels[i].first;
  EXPECT_NE(std::find(levels.begin(), levels.end(), std::pair<std::string, int>{"Projects", 1}),
            levels.end());
  const int permanent = e.Count();

  // A nested folder: its chain below the drive, the last one selected.
  nav.SetFolder(box.Drive + "Photos/2004");
  ASSERT_TRUE(e.SelectIDList(*nav.FolderIDList()));
  EXPECT_EQ(e.Count(), permanent + 2);
  EXPECT_EQ(e.Item(3).EntryText, "Photos");
  EXPECT_EQ(e.Item(3).Level, 3);
  EXPECT_EQ(e.Item(4).EntryText, "2004");
  EXPECT_EQ(e.Item(4).Level, 4);
  EXPECT_FALSE(e.Item(4).Permanent);
  EXPECT_EQ(e.Selected(), 4);
  EXPECT_EQ(e.SelectedPath(), box.Drive + "Photos/2004");

  // Choosing the drive drops the chain below it; the computer has no path.
  e.SetSelected(2);
  e.RemoveChainBelowSelection();
  EXPECT_EQ(e.Count(), permanent);
  EXPECT_EQ(e.SelectedPath(), box.Drive);
  ASSERT_TRUE(e.SelectIDList(TIDList::Single(TShellItemKind::Computer)));
  EXPECT_EQ(e.Selected(), 1);
  EXPECT_EQ(e.SelectedPath(), "");

  // A folder vanished between lookup and chain: the navigator's error.
  box.Dir.Mkdir("drive/Photos/2005");
  nav.SetFolder(box.Drive + "Photos/2005");
  const TIDList later = *nav.FolderIDList();
  std::filesystem::remove(box.Drive + "Photos/2005");
  EXPECT_THROW(e.SelectIDList(later), ENautexError);
}

TEST(ShellListEntries, FillsFiltersSortsAndCarriesColumnWidths) {
  ShellSandbox box;
  box.Dir.Write("drive/A/a.jpg", std::string(3000, 'a'));
  box.Dir.Write("drive/A/b.txt");
  box.Dir.Write("drive/A/c.png", std::string(100, 'c'));
  box.Dir.Write("drive/A/d.bmp", std::string(9000, 'd'));
  box.Dir.Mkdir("drive/A/Sub");
  box.Dir.Write("drive/B/x.jpg");
  TNautex nav;
  nav.SetFilter("*.jpg;*.tif;*.bmp;*.png");
  TShellListEntries e(nav);
  e.ShowParentFolder = true;
  nav.SetFolder(box.Drive + "A");
  e.Fill();
  EXPECT_EQ(Captions(e), (std::vector<std::string>{" .. ", "Sub", "a.jpg", "c.png", "d.bmp"}));
  // Nothing is worked out before an entry is shown.
  for (const auto& item : e.Items()) EXPECT_EQ(item.HasDetails, item.IsParent);
  ASSERT_EQ(e.Columns().size(), 4u);
  e.EnsureDetails(2);
  EXPECT_EQ(e.Item(2).SubItems[0], "3 KB");

  // By size, both ways; the parent entry stays first.
  const struct {
    int Column;
    bool Descending;
    std::vector<std::string> Files;
  } clicks[] = {{1, false, {"c.png", "a.jpg", "d.bmp"}}, {1, true, {"d.bmp", "a.jpg", "c.png"}},
                {0, false, {"a.jpg", "c.png", "d.bmp"}}, {0, true, {"d.bmp", "c.png", "a.jpg"}}};
  for (const auto& c : clicks) {
    e.ClickColumn(c.Column);
    EXPECT_EQ(e.Descending, c.Descending);
    EXPECT_EQ(Captions(e, true), c.Files);
    EXPECT_TRUE(e.Item(0).IsParent);
  }

  // Column widths the user gave carry over to the next file-system folder, not through the
  // computer folder (which has no path).
  e.RememberWidths({210, 55, 66, 77});
  nav.SetFolder(box.Drive + "B");
  e.Fill();
  EXPECT_EQ(e.Columns()[0].Width, 210);
  EXPECT_EQ(e.Columns()[3].Width, 77);
  nav.SetFolder("");
  e.RememberWidths({300, 55, 66, 77});
  e.Fill();
  e.RememberWidths({111, 1, 1, 1});  // the computer's columns are not kept
  nav.SetFolder(box.Drive + "B");
  e.Fill();
  EXPECT_EQ(e.Columns()[0].Width, 300);
}

TEST(ShellListEntries, RefreshesInPlaceAndRedoesDetailsOfChangedFiles) {
  ShellSandbox box;
  const std::string folder = box.Dir.Mkdir("drive/F");
  const std::string grown = box.Dir.Write("drive/F/grown.jpg", "");
  box.Dir.Write("drive/F/old.jpg");
  TNautex nav;
  TShellListEntries e(nav);
  nav.SetFolder(folder);
  e.Fill();
  e.EnsureDetails(0);
  ASSERT_EQ(e.Item(0).Caption, "grown.jpg");
  EXPECT_EQ(e.Item(0).SubItems[0], "0 KB");

  for (int i = 0; i < 50; ++i) box.Dir.Write("drive/F/n" + std::to_string(100 + i) + ".jpg");
  std::filesystem::remove(folder + "/old.jpg");
  box.Dir.Write("drive/F/grown.jpg", std::string(5000, 'g'));
  SetTime(grown, 1000000);
  Counts counts;
  ASSERT_TRUE(e.Update(counts.Sink()));
  EXPECT_EQ(counts.Inserts, 50);
  EXPECT_EQ(counts.Removes, 1);
  EXPECT_EQ(counts.Changed, 1);
  EXPECT_EQ(e.FillCount(), 1);
  EXPECT_EQ(e.Count(), 51);
  EXPECT_EQ(e.Item(0).Caption, "grown.jpg");
  e.EnsureDetails(0);
  EXPECT_EQ(e.Item(0).SubItems[0], "5 KB");
  EXPECT_EQ(e.Item(50).Caption, "n149.jpg");  // new entries take their sorted places

  // A deleted object reported by the notifier is found by its ID list.
  const TIDList item = *e.Item(1).IDList;
  EXPECT_EQ(e.FindIDList(item), 1);

  // Long lists are refilled instead.
  for (int i = 0; i < 260; ++i) box.Dir.Write("drive/F/m" + std::to_string(i) + ".jpg");
  e.Fill();
  EXPECT_FALSE(e.Update());
}
