// The shell box and the shell file list as widgets under the offscreen platform, with change
// events delivered through Qt's event loop.

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>
#include <chrono>
#include <filesystem>
#include <thread>

#include "gui_test_support.h"
#include "shell/orvik_shell_combo.h"
#include "shell/orvik_shell_link.h"
#include "shell/orvik_shell_list.h"
#include "shell/shell_services.h"

namespace fs = std::filesystem;
using guitest::Environment;
using guitest::TempDir;

namespace {

std::vector<std::string> Names(const TOrvikShellList& list) {
  std::vector<std::string> names;
  for (const auto& item : list.Entries().Items()) names.push_back(item.Caption);
  return names;
}

int RowOf(const TOrvikShellList& list, const std::string& caption) {
  const auto names = Names(list);
  const auto it = std::find(names.begin(), names.end(), caption);
  return it == names.end() ? -1 : static_cast<int>(it - names.begin());
}

// Runs the event loop until pred holds or the time is up.
bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 3000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void Settle(int ms) {
  WaitFor([] { return false; }, ms);
}

void Key(QWidget& w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, key, mods);
  QApplication::sendEvent(&w, &press);
}

}  // namespace

TEST(OrvikShellCombo, ListsLevelsInsertsChainsAndRefillsWhenDropped) {
  TempDir data, disc;
  Environment env({{data.Str() + "/", "DATA"}});
  data.Write("Photos/2004/x.jpg");
  TOrvikShellCombo combo;
  const TShellComboEntries& e = combo.Entries();
  ASSERT_GE(e.Count(), 4);
  EXPECT_EQ(e.Item(0).Level, 0);
  EXPECT_EQ(e.Item(1).Level, 1);
  EXPECT_EQ(e.Item(2).DisplayName, "DATA");  // drawn by label, listed by root path
  EXPECT_EQ(combo.Items()[2], data.Str() + "/");
  EXPECT_EQ(e.Item(2).Level, 2);
  EXPECT_EQ(combo.ItemIndex(), 1);  // a box of its own starts on the computer
  EXPECT_EQ(combo.Path(), "");

  int changes = 0;
  QObject::connect(&combo, &TOrvikShellCombo::Changed, [&] { ++changes; });
  combo.SetPath(data.Str() + "/Photos/2004");
  EXPECT_EQ(combo.Path(), data.Str() + "/Photos/2004");
  EXPECT_EQ(combo.Items()[3], "Photos");
  EXPECT_EQ(combo.Items()[4], "2004");
  EXPECT_EQ(e.Item(4).Level, 4);
  EXPECT_EQ(combo.ItemIndex(), 4);
  EXPECT_EQ(changes, 1);
  const size_t withChain = combo.Items().size();
  combo.SetItemIndex(2);
  EXPECT_EQ(combo.Items().size(), withChain - 2);
  EXPECT_EQ(combo.Path(), data.Str() + "/");
  combo.SetPath(data.Str() + "/missing");  // unknown: nothing changes
  EXPECT_EQ(combo.Path(), data.Str() + "/");
  EXPECT_EQ(changes, 2);
  combo.SetItemHeight(23);
  EXPECT_EQ(combo.view()->sizeHintForRow(2), 23);

  // A disc mounted later is there when the box drops down; the selection stays.
  platform::SetDriveTable(std::make_shared<platform::FixedDriveTable>(
      std::vector<platform::FixedDriveTable::Drive>{{data.Str() + "/", "DATA"},
                                                    {disc.Str() + "/", "VANDREL PHOTOS"}}));
  combo.showPopup();
  combo.hidePopup();
  EXPECT_EQ(combo.Entries().Item(3).DisplayName, "VANDREL PHOTOS");
  EXPECT_EQ(combo.Path(), data.Str() + "/");

  // The folder's context menu: its verbs, none for the desktop itself.
  combo.SetPath(data.Str() + "/Photos");
  const auto verbs = combo.ContextMenuVerbs();
  EXPECT_NE(std::find(verbs.begin(), verbs.end(), "copy"), verbs.end());
  EXPECT_EQ(std::find(verbs.begin(), verbs.end(), "rename"), verbs.end());
  combo.SetItemIndex(0);
  EXPECT_TRUE(combo.ContextMenuVerbs().empty());
  EXPECT_FALSE(combo.RunContextMenuVerb("delete"));

  // Typing a path and pressing Enter goes there; an unknown one changes nothing.
  TOrvikShellCombo typed;
  ASSERT_TRUE(typed.lineEdit());
  for (const auto& [text, path] : std::vector<std::pair<std::string, std::string>>{
           {data.Str() + "/Photos", data.Str() + "/Photos"}, {"/no/such/folder", data.Str() + "/Photos"}}) {
    typed.lineEdit()->setText(QString::fromStdString(text));
    emit typed.lineEdit()->returnPressed();
    EXPECT_EQ(typed.Path(), path);
  }
}

TEST(OrvikShellList, FollowsTheLinkSortsAndNavigatesUpToTheDesktop) {
  TempDir dir;
  Environment env({{dir.Str() + "/", ""}});
  dir.Write("dest/a.JPG", std::string(2000, 'a'));
  dir.Write("dest/b.png", std::string(9000, 'b'));
  dir.Write("dest/c.txt");
  dir.Write("dest/.hidden.jpg");
  dir.Write("dest/Sub/d.png");
  TOrvikShellLink link;
  TOrvikShellCombo combo;
  TOrvikShellList list;
  list.SetNoFillOnStartup(true);
  list.SetFilter("*.jpg;*.tif;*.bmp;*.png");
  list.SetShowParentFolder(true);
  EXPECT_EQ(list.Entries().Count(), 0);  // not filled before a folder is given
  combo.SetShellLink(&link);
  list.SetShellLink(&link);

  combo.SetPath(dir.Str() + "/dest");
  EXPECT_EQ(list.Path(), dir.Str() + "/dest");
  EXPECT_EQ(Names(list), (std::vector<std::string>{" .. ", "Sub", "a.JPG", "b.png"}));
  const QAbstractItemModel* model = list.model();
  EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "Size");
  EXPECT_EQ(model->index(RowOf(list, "a.JPG"), 1).data().toString(), "2 KB");

  // Size twice: descending, with the header's indicator; the parent entry stays first.
  list.header()->sectionClicked(1);
  list.header()->sectionClicked(1);
  EXPECT_EQ(list.header()->sortIndicatorSection(), 1);
  EXPECT_EQ(list.header()->sortIndicatorOrder(), Qt::DescendingOrder);
  EXPECT_EQ(Names(list)[0], " .. ");
  EXPECT_LT(RowOf(list, "b.png"), RowOf(list, "a.JPG"));

  // Opening a folder makes the box follow; Backspace goes up to the desktop and no further.
  list.SelectRow(RowOf(list, "Sub"));
  Key(list, Qt::Key_Return);
  EXPECT_EQ(Names(list), (std::vector<std::string>{" .. ", "d.png"}));
  EXPECT_EQ(combo.Path(), dir.Str() + "/dest/Sub");
  for (int i = 0; i < 8; ++i) Key(list, Qt::Key_Backspace);
  EXPECT_EQ(list.SpecialFolder(), SF_DESKTOP);
  EXPECT_EQ(combo.ItemIndex(), 0);
  EXPECT_EQ(RowOf(list, " .. "), -1);
}

TEST(OrvikShellList, RefreshesOnceInPlaceAfterABurstAndFollowsItsFolder) {
  TempDir dir;
  Environment env({{dir.Str() + "/", ""}});
  dir.Write("f/keep.jpg");
  dir.Write("f/old.jpg");
  TOrvikShellList list;
  list.SetPath(dir.Str() + "/f");
  const int fills = list.Entries().FillCount();
  list.SelectRow(RowOf(list, "old.jpg"));
  for (int i = 0; i < 50; ++i) dir.Write("f/new" + std::to_string(10 + i) + ".jpg");
  ASSERT_TRUE(WaitFor([&] { return list.Entries().Count() == 52 && !list.RefreshTimerActive(); }));
  EXPECT_EQ(list.Entries().FillCount(), fills);  // in place, not rebuilt
  ASSERT_EQ(list.SelectedRows().size(), 1u);
  EXPECT_EQ(list.Entries().Item(list.SelectedRows()[0]).Caption, "old.jpg");

  // A rename from outside is shown.
  fs::rename(dir.Str() + "/f/old.jpg", dir.Str() + "/f/renamed.jpg");
  ASSERT_TRUE(WaitFor([&] { return RowOf(list, "renamed.jpg") >= 0 && RowOf(list, "old.jpg") < 0; }));

  // Deleted and made again within the timer's period: refilled and watched anew.
  fs::remove_all(dir.Str() + "/f");
  dir.Write("f/again.jpg");
  ASSERT_TRUE(WaitFor([&] { return list.Entries().FillCount() > fills; }));
  dir.Write("f/after.jpg");
  ASSERT_TRUE(WaitFor([&] { return RowOf(list, "after.jpg") >= 0; }));

  // Deleted while the list is disabled: it stays on its folder until enabled again, then
  // shows the computer.
  list.setEnabled(false);
  fs::remove_all(dir.Str() + "/f");
  ASSERT_TRUE(WaitFor([&] { return list.RefreshPending(); }));
  Settle(300);
  EXPECT_EQ(list.Path(), dir.Str() + "/f");
  list.setEnabled(true);
  EXPECT_EQ(list.SpecialFolder(), SF_DRIVES);
  EXPECT_EQ(list.Path(), "");

  // Deleted while shown and enabled: the computer at the next tick.
  dir.Write("g/x.jpg");
  list.SetPath(dir.Str() + "/g");
  fs::remove_all(dir.Str() + "/g");
  EXPECT_TRUE(WaitFor([&] { return list.SpecialFolder() == SF_DRIVES; }));
}

// A first file in an empty folder (a copy starting in the destination) gets room for its
// texts when it is added in place, as a fill would give it.
TEST(OrvikShellList, RowsAddedInPlaceGetRoomForTheirTexts) {
  TempDir dir;
  Environment env({{dir.Str() + "/", ""}});
  fs::create_directories(dir.Str() + "/empty");
  TOrvikShellList list;
  list.SetPath(dir.Str() + "/empty");
  dir.Write("empty/a file with a rather long name.jpg");
  ASSERT_TRUE(WaitFor([&] { return list.Entries().Count() == 1 && !list.RefreshTimerActive(); }));
  const int row = RowOf(list, "a file with a rather long name.jpg");
  ASSERT_GE(row, 0);
  for (int column = 0; column < list.model()->columnCount(); ++column) {
    const QString text = list.model()->index(row, column).data().toString();
    EXPECT_GE(list.columnWidth(column), list.fontMetrics().horizontalAdvance(text)) << column;
  }
}

TEST(OrvikShellList, ReadOnlyRefusesDeleteCutPasteAndDrops) {
  TempDir dir, other;
  Environment env({{dir.Str() + "/", ""}});
  dir.Write("f/a.jpg");
  const std::string outside = other.Write("b.jpg");
  TOrvikShellList list;
  list.SetReadOnly(true);
  list.SetPath(dir.Str() + "/f");
  list.SelectRow(RowOf(list, "a.jpg"));
  Key(list, Qt::Key_C, Qt::ControlModifier);  // copying out is allowed
  for (auto [key, mods] : std::vector<std::pair<int, Qt::KeyboardModifiers>>{
           {Qt::Key_Delete, Qt::NoModifier}, {Qt::Key_X, Qt::ControlModifier},
           {Qt::Key_V, Qt::ControlModifier}, {Qt::Key_F2, Qt::NoModifier}}) {
    Key(list, key, mods);
  }
  EXPECT_TRUE(fs::exists(dir.Str() + "/f/a.jpg"));
  EXPECT_EQ(fs::directory_iterator(dir.Str() + "/f") == fs::directory_iterator(), false);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Str() + "/f"), fs::directory_iterator()), 1);
  EXPECT_EQ(list.indexWidget(list.model()->index(0, 0)), nullptr);  // no editor opened

  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(outside))});
  EXPECT_FALSE(list.DropFiles(&mime, QPoint(5, 200), Qt::CopyAction));
  EXPECT_FALSE(fs::exists(dir.Str() + "/f/b.jpg"));

  // Writable: a drop copies, and a clash gets a new name instead of overwriting.
  list.SetReadOnly(false);
  dir.Write("f/b.jpg", "mine");
  EXPECT_TRUE(list.DropFiles(&mime, QPoint(5, 200), Qt::CopyAction));
  EXPECT_EQ(ReadAll(dir.Str() + "/f/b.jpg"), "mine");
  EXPECT_TRUE(fs::exists(dir.Str() + "/f/b (2).jpg")) << (env.Messages.empty() ? "" : env.Messages[0]);

  // A trash that refuses the file: reported, and the file is neither deleted nor dropped
  // from the list.
  TShellHooks failing = CurrentShellHooks();
  failing.MoveToTrash = [](const std::string&) { return false; };
  const TShellHooks previous = SetShellHooks(failing);
  list.FillList();
  list.SelectRow(RowOf(list, "a.jpg"));
  Key(list, Qt::Key_Delete);
  SetShellHooks(previous);
  EXPECT_TRUE(fs::exists(dir.Str() + "/f/a.jpg"));
  EXPECT_GE(RowOf(list, "a.jpg"), 0);
  ASSERT_FALSE(env.Messages.empty());
  EXPECT_NE(env.Messages.back().find("trash"), std::string::npos);
}

TEST(OrvikShellList, WorksOutDetailsOnlyForTheRowsDrawn) {
  TempDir dir;
  Environment env({{dir.Str() + "/", ""}});
  for (int i = 0; i < 400; ++i) dir.Write("big/f" + std::to_string(1000 + i) + ".jpg");
  TOrvikShellList list;
  list.resize(400, 200);
  list.SetPath(dir.Str() + "/big");
  list.show();
  list.grab();
  int detailed = 0;
  for (const auto& item : list.Entries().Items()) detailed += item.HasDetails ? 1 : 0;
  EXPECT_GT(detailed, 0);
  EXPECT_LT(detailed, 40);
}

TEST(OrvikShellList, MakesThumbnailsInTheJobPoolForTheRowsDrawn) {
  Environment env({{std::string(VANDREL_SOURCE_DIR) + "/", ""}});
  TOrvikShellList list;
  list.SetThumbnails(true);
  list.resize(400, 300);
  list.SetPath(std::string(VANDREL_SOURCE_DIR) + "/samples/disc/Album1");
  list.show();
  list.grab();
  ASSERT_TRUE(WaitFor([&] { return list.ThumbnailsDone() > 0; }, 10000));
  const QVariant thumb = list.model()->index(RowOf(list, "img.jpg"), 0).data(Qt::DecorationRole);
  EXPECT_EQ(thumb.value<QPixmap>().size(), QSize(100, 100));
}

TEST(OrvikShellList, ContextMenuOffersOnlyWhatTheListAllows) {
  TempDir dir;
  Environment env({{dir.Str() + "/", ""}});
  dir.Write("f/a.jpg");
  TOrvikShellList list;
  list.SetShowParentFolder(true);
  list.SetPath(dir.Str() + "/f");
  list.SelectRow(RowOf(list, "a.jpg"));
  const auto has = [](const std::vector<std::string>& v, const char* verb) {
    return std::find(v.begin(), v.end(), verb) != v.end();
  };
  const auto writable = list.ContextMenuVerbs();
  for (const char* verb : {"open", "copy", "cut", "delete", "rename"}) EXPECT_TRUE(has(writable, verb)) << verb;
  list.SetReadOnly(true);
  const auto readOnly = list.ContextMenuVerbs();
  EXPECT_TRUE(has(readOnly, "copy"));
  for (const char* verb : {"cut", "delete", "rename", "paste"}) EXPECT_FALSE(has(readOnly, verb)) << verb;
  list.SelectRow(RowOf(list, " .. "));
  EXPECT_TRUE(list.ContextMenuVerbs().empty());
}
