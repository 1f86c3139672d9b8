// The shell box, file list and link stand-ins, the preview with its I/O component, and the
// guard that shows exceptions from event handlers.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QTreeWidgetItem>
#include <unistd.h>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "gui_test_support.h"
#include "imaging/component/vistrel_io.h"
#include "imaging/model/bitmap.h"
#include "imaging/view/vistrel_view.h"
#include "platform/qt/ui_qt.h"
#include "shell/orvik_shell_combo.h"
#include "shell/orvik_shell_link.h"
#include "shell/orvik_shell_list.h"

namespace fs = std::filesystem;
using guitest::Environment;
using guitest::TempDir;

namespace {

std::vector<std::string> Names(const TOrvikShellList& list) {
  std::vector<std::string> names;
  for (int i = 0; i < list.topLevelItemCount(); ++i) {
    names.push_back(list.topLevelItem(i)->text(0).toStdString());
  }
  return names;
}

QTreeWidgetItem* Find(const TOrvikShellList& list, const std::string& name) {
  for (int i = 0; i < list.topLevelItemCount(); ++i) {
    if (list.topLevelItem(i)->text(0).toStdString() == name) return list.topLevelItem(i);
  }
  return nullptr;
}

}  // namespace

TEST(OrvikShellCombo, ListsTheDrivesAndInsertsTheChainOfADeeperFolder) {
  TempDir drive;
  Environment env({{drive.Str() + "/", "PHOTOS"}});
  drive.Write("Photos/2004/x.jpg");
  TOrvikShellCombo combo;
  const auto items = combo.Items();
  ASSERT_GE(items.size(), 4u);
  EXPECT_EQ(items[2], drive.Str() + "/");
  // Without a link the box starts on the computer, which has no file-system path.
  EXPECT_EQ(combo.ItemIndex(), 1);
  EXPECT_EQ(combo.Path(), "");

  int changes = 0;
  QObject::connect(&combo, &TOrvikShellCombo::Changed, [&] { ++changes; });
  combo.SetPath(drive.Str() + "/Photos/2004");
  EXPECT_EQ(combo.Path(), drive.Str() + "/Photos/2004");
  EXPECT_EQ(combo.Items()[3], "Photos");
  EXPECT_EQ(combo.Items()[4], "2004");
  EXPECT_EQ(combo.ItemIndex(), 4);
  EXPECT_EQ(changes, 1);

  // Choosing the drive removes the chain; a missing folder changes nothing.
  combo.SetItemIndex(2);
  EXPECT_EQ(combo.Items().size(), items.size());
  EXPECT_EQ(combo.Path(), drive.Str() + "/");
  combo.SetPath(drive.Str() + "/missing");
  EXPECT_EQ(combo.Path(), drive.Str() + "/");
  EXPECT_EQ(changes, 2);

  // Every entry of the dropped-down list takes the item height.
  combo.SetItemHeight(23);
  EXPECT_EQ(combo.view()->sizeHintForRow(0), 23);
  EXPECT_EQ(combo.view()->sizeHintForRow(2), 23);
}

TEST(OrvikShellCombo, ADriveMountedLaterAppearsWhenTheBoxDropsDown) {
  TempDir data, disc;
  Environment env({{data.Str() + "/", "DATA"}});
  TOrvikShellCombo combo;
  combo.SetPath(data.Str() + "/");
  const auto before = combo.Items();
  ASSERT_EQ(combo.Path(), data.Str() + "/");

  platform::SetDriveTable(std::make_shared<platform::FixedDriveTable>(
      std::vector<platform::FixedDriveTable::Drive>{{data.Str() + "/", "DATA"},
                                                    {disc.Str() + "/", "VANDREL"}}));
  combo.showPopup();
  combo.hidePopup();
  const auto after = combo.Items();
  EXPECT_EQ(after.size(), before.size() + 1);
  EXPECT_NE(std::find(after.begin(), after.end(), disc.Str() + "/"), after.end());
  EXPECT_EQ(combo.Path(), data.Str() + "/");  // the selection is kept

  // The selected drive goes away: the box shows the computer again.
  platform::SetDriveTable(std::make_shared<platform::FixedDriveTable>(
      std::vector<platform::FixedDriveTable::Drive>{{disc.Str() + "/", "VANDREL"}}));
  combo.showPopup();
  combo.hidePopup();
  EXPECT_EQ(combo.ItemIndex(), 1);
  EXPECT_EQ(combo.Path(), "");
}

TEST(OrvikShellList, ShowsFoldersAndFilteredImagesAndFollowsTheLink) {
  TempDir dir;
  Environment env({{dir.Str() + "/", ""}});
  dir.Write("dest/a.JPG", std::string(2000, 'a'));
  dir.Write("dest/b.tiff");
  dir.Write("dest/c.txt");
  dir.Write("dest/.hidden.jpg");
  dir.Write("dest/Sub/d.png");

  TOrvikShellLink link;
  TOrvikShellCombo combo;
  TOrvikShellList list;
  list.SetNoFillOnStartup(true);
  list.SetFilter("*.jpg;*.tif;*.bmp;*.png");
  list.SetShowParentFolder(true);
  EXPECT_EQ(list.topLevelItemCount(), 0);  // not filled before a path is given
  combo.SetShellLink(&link);
  list.SetShellLink(&link);

  combo.SetPath(dir.Str() + "/dest");
  EXPECT_EQ(fs::path(list.Path()), dir.Path() / "dest");
  EXPECT_EQ(Names(list), (std::vector<std::string>{"..", "Sub", "a.JPG", "b.tiff"}));
  EXPECT_EQ(Find(list, "a.JPG")->text(1).toStdString(), "2 KB");
  EXPECT_EQ(Find(list, "a.JPG")->text(2).toStdString(), "JPG File");
  EXPECT_EQ(Find(list, "Sub")->text(2).toStdString(), "File folder");

  // Opening a folder in the list makes the box follow.
  emit list.itemActivated(Find(list, "Sub"), 0);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"..", "d.png"}));
  EXPECT_EQ(fs::path(combo.Path()), dir.Path() / "dest" / "Sub");
  emit list.itemActivated(Find(list, ".."), 0);
  EXPECT_EQ(fs::path(combo.Path()), dir.Path() / "dest");

  // A disabled list neither refills nor navigates.
  list.setEnabled(false);
  dir.Write("dest/new.jpg");
  list.Refill();
  EXPECT_EQ(Find(list, "new.jpg"), nullptr);
  emit list.itemActivated(Find(list, "Sub"), 0);
  EXPECT_EQ(fs::path(list.Path()), dir.Path() / "dest");
  list.setEnabled(true);
  list.Refill();
  EXPECT_NE(Find(list, "new.jpg"), nullptr);
}

TEST(OrvikShellLink, KeepsBoxesAndListTogetherAndLetsControlsOutliveIt) {
  TempDir dir;
  Environment env({{dir.Str() + "/", ""}});
  dir.Write("a/x.jpg");
  TOrvikShellCombo first, second;
  TOrvikShellList list;
  {
    TOrvikShellLink link;
    first.SetShellLink(&link);
    list.SetShellLink(&link);
    second.SetShellLink(&link);
    second.SetShellLink(&link);  // a control is linked once
    EXPECT_EQ(link.Controls().size(), 3u);
    second.SetPath(dir.Str() + "/a");
    EXPECT_EQ(fs::path(list.Path()), dir.Path() / "a");
    EXPECT_EQ(fs::path(first.Path()), dir.Path() / "a");
  }
  EXPECT_EQ(first.ShellLink(), nullptr);
  EXPECT_EQ(second.ShellLink(), nullptr);
  EXPECT_EQ(list.ShellLink(), nullptr);
}

TEST(VistrelView, ItsIoComponentLoadsIntoTheViewAndFailsCleanly) {
  TempDir dir;
  TVistrelView view;
  TVistrelIO* io = view.ImageIO();
  EXPECT_EQ(view.ImageIO(), io);  // created once
  EXPECT_EQ(io->AttachedVistrel(), &view);
  EXPECT_EQ(io->TargetBitmap(), view.Bitmap());
  // Not an image: the load fails through the flag and the view stays empty.
  dir.Write("not-an-image.jpg", "plain text");
  io->LoadFromFile((dir.Path() / "not-an-image.jpg").string());
  EXPECT_TRUE(io->AbortFlag());
  EXPECT_TRUE(view.ImageRect().isEmpty());
  // Nothing loaded, nothing written.
  const fs::path out = dir.Path() / "never-written.jpg";
  io->SaveJpegFile(out.string());
  EXPECT_TRUE(io->AbortFlag());
  EXPECT_FALSE(fs::exists(out));
}

TEST(VistrelView, FitsTheImageCentredAndPaintsIt) {
  TVistrelView view;
  view.SetAutoFit(true);
  view.resize(175, 124);  // client area 171 x 120 inside the two-pixel edge
  view.Bitmap()->Allocate(30, 20, vl24RGB);
  view.Bitmap()->Fill(0x0000FF);  // a toolkit colour: pure red
  view.Update();
  // 30 x 20 enlarged by min(171/30, 120/20) = 5.7 to 171 x 114, centred vertically.
  EXPECT_EQ(view.ImageRect(), QRect(2, 5, 171, 114));
  const QImage shot = view.grab().toImage();
  EXPECT_EQ(shot.pixelColor(87, 62), QColor(255, 0, 0));
  EXPECT_NE(shot.pixelColor(87, 3), QColor(255, 0, 0));  // the margin keeps the background
}

TEST(VistrelView, AnImageStoreThatCannotBeReadPaintsOnlyTheBackground) {
  TVistrelView view;
  view.SetAutoFit(true);
  view.resize(175, 124);
  view.SetLegacyBitmap(false);  // the image may then go to a temporary file
  TVLBitmap& bitmap = *view.Bitmap();
  bitmap.MemoryThreshold = 0;  // kept in a temporary file
  bitmap.Allocate(30, 20, vl24RGB);
  ASSERT_EQ(bitmap.Location(), vlFile);
  ASSERT_EQ(::truncate(bitmap.FileBuffer().FileName().c_str(), 0), 0);
  // The failed read must not leave the paint event as an exception.
  const QImage shot = view.grab().toImage();
  EXPECT_EQ(shot.pixelColor(87, 62), view.palette().color(QPalette::Button));
}

TEST(GuardedCall, ShowsTheExceptionAndCarriesOn) {
  TempDir dir;
  Environment env({});
  EXPECT_FALSE(platform::qt::GuardedCall([] { throw std::runtime_error("disc removed"); }));
  EXPECT_FALSE(platform::qt::GuardedCall([] { throw 42; }));
  EXPECT_TRUE(platform::qt::GuardedCall([] {}));
  ASSERT_EQ(env.Messages.size(), 2u);
  EXPECT_EQ(env.Messages[0], "disc removed");
  EXPECT_FALSE(env.Messages[1].empty());
}
