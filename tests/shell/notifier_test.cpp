// The change notifier on real inotify, the event translation and the duplicate filter.

#include <sys/inotify.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "shell/orvik_shell_change_notifier.h"
#include "shell_sandbox.h"

namespace fs = std::filesystem;
using K = TShellItemKind;

namespace {

struct TSeen {
  TNotificationEvent Event;
  TIDList Id1;
  std::optional<TIDList> Id2;
};

struct TRecorder {
  std::vector<TSeen> Events;
  explicit TRecorder(TOrvikShellChangeNotifier& n) {
    n.SetInternalCallback([this](TObject*, TNotificationEvent e, const TIDList& a, const TIDList* b) {
      Events.push_back({e, a, b ? std::optional<TIDList>(*b) : std::nullopt});
    });
  }
  bool Has(TNotificationEvent e, const TIDList& id) const {
    for (const TSeen& s : Events) {
      if (s.Event == e && s.Id1 == id) return true;
    }
    return false;
  }
};

void Touch(const std::string& path, const std::string& bytes = "x") {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<uint8_t> RawEvent(int wd, uint32_t mask, uint32_t cookie, const std::string& name,
                              uint32_t len) {
  inotify_event e{};
  e.wd = wd;
  e.mask = mask;
  e.cookie = cookie;
  e.len = len;
  std::vector<uint8_t> bytes(sizeof e);
  std::memcpy(bytes.data(), &e, sizeof e);
  bytes.insert(bytes.end(), name.begin(), name.end());
  bytes.resize(sizeof e + len);  // the name padded with NUL bytes
  return bytes;
}

}  // namespace

TEST(ChangeNotifier, ReportsCreateWriteRenameDeleteAndTheFolderGoing) {
  ShellSandbox box;
  const std::string dir = box.Dir.Mkdir("drive/w");
  TOrvikShellChangeNotifier n;
  ASSERT_TRUE(n.Enabled());
  n.SetRecursive(false);
  TRecorder rec(n);
  std::vector<std::string> changes;
  n.OnChange = [&](TObject*, TNotificationEvent e, const std::string& p1, const std::string& p2) {
    changes.push_back(std::to_string(e) + " " + p1 + " " + p2);
  };
  const TIDList root = *shell::ParseDisplayName(dir);
  n.WatchIDList(&root);
  ASSERT_TRUE(n.Active());
  const TIDList a = root.Append(K::File, "a.jpg"), b = root.Append(K::File, "b.jpg");

  Touch(dir + "/a.jpg");
  ASSERT_TRUE(box.WaitFor([&] { return rec.Has(neFileChange, a); }));
  EXPECT_TRUE(rec.Has(neFileCreate, a));
  fs::rename(dir + "/a.jpg", dir + "/b.jpg");
  ASSERT_TRUE(box.WaitFor([&] { return rec.Has(neFileRename, a); }));
  EXPECT_EQ(rec.Events.back().Id2, b);  // one rename with both names
  fs::create_directory(dir + "/sub");
  fs::remove(dir + "/b.jpg");
  ASSERT_TRUE(box.WaitFor([&] { return rec.Has(neFileDelete, b); }));
  EXPECT_TRUE(rec.Has(neFolderCreate, root.Append(K::Folder, "sub")));
  // OnChange came later, with the paths.
  ASSERT_TRUE(box.WaitFor([&] { return changes.size() == rec.Events.size(); }));
  EXPECT_EQ(changes[0], std::to_string(neFileCreate) + " " + dir + "/a.jpg ");
  EXPECT_EQ(changes[2], std::to_string(neFileRename) + " " + dir + "/a.jpg " + dir + "/b.jpg");
  // The watched folder itself goes: a folder update.
  fs::remove_all(dir);
  ASSERT_TRUE(box.WaitFor([&] { return rec.Has(neFolderUpdate, root); }));
}

TEST(ChangeNotifier, MovesBetweenFoldersOverflowAndRecursiveWatches) {
  ShellSandbox box;
  const std::string one = box.Dir.Mkdir("drive/one"), two = box.Dir.Mkdir("drive/two");
  const std::string outside = box.Dir.Mkdir("drive/outside");
  TOrvikShellChangeNotifier n;
  TRecorder rec(n);
  n.SetRecursive(false);
  n.SetDirectories({two, one, one});
  EXPECT_EQ(n.Directories(), (std::vector<std::string>{one, two}));
  const TIDList r1 = *shell::ParseDisplayName(one), r2 = *shell::ParseDisplayName(two);
  Touch(outside + "/x.jpg");
  fs::rename(outside + "/x.jpg", one + "/x.jpg");  // in from an unwatched folder: a create
  ASSERT_TRUE(box.WaitFor([&] { return rec.Has(neFileCreate, r1.Append(K::File, "x.jpg")); }));
  fs::rename(one + "/x.jpg", two + "/y.jpg");  // between watched folders: one rename
  ASSERT_TRUE(box.WaitFor([&] { return rec.Has(neFileRename, r1.Append(K::File, "x.jpg")); }));
  EXPECT_EQ(rec.Events.back().Id2, r2.Append(K::File, "y.jpg"));
  box.Settle();
  EXPECT_FALSE(rec.Has(neFileDelete, r1.Append(K::File, "x.jpg")));
  fs::rename(two + "/y.jpg", outside + "/y.jpg");  // out to an unwatched folder: a delete
  ASSERT_TRUE(box.WaitFor([&] { return rec.Has(neFileDelete, r2.Append(K::File, "y.jpg")); }));

  // A queue overflow: every watched folder is to be read again.
  const std::vector<uint8_t> overflow = RawEvent(-1, IN_Q_OVERFLOW, 0, "", 0);
  TShellChangeHub::Instance().DispatchBuffer(overflow);
  EXPECT_TRUE(rec.Has(neFolderUpdate, r1));
  EXPECT_TRUE(rec.Has(neFolderUpdate, r2));

  // Recursive: a new subfolder is watched as it appears.
  n.SetDirectories({outside});
  n.SetRecursive(true);
  const TIDList ro = *shell::ParseDisplayName(outside);
  fs::create_directory(outside + "/s");
  ASSERT_TRUE(box.WaitFor([&] { return rec.Has(neFolderCreate, ro.Append(K::Folder, "s")); }));
  Touch(outside + "/s/deep.jpg");
  ASSERT_TRUE(box.WaitFor(
      [&] { return rec.Has(neFileCreate, ro.Append(K::Folder, "s").Append(K::File, "deep.jpg")); }));
}

TEST(ChangeNotifier, RawEventsAreReadWithinTheirBounds) {
  std::vector<uint8_t> buffer = RawEvent(3, IN_CREATE, 0, "a.jpg", 16);
  const std::vector<uint8_t> second = RawEvent(3, IN_DELETE, 0, "b", 4);
  buffer.insert(buffer.end(), second.begin(), second.end());
  auto events = ParseInotifyEvents(buffer);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].Name, "a.jpg");
  EXPECT_EQ(events[1].Mask, static_cast<uint32_t>(IN_DELETE));
  // A record claiming more than the buffer holds ends the parse; a partial header is ignored.
  buffer.resize(buffer.size() - 2);
  EXPECT_EQ(ParseInotifyEvents(buffer).size(), 1u);
  EXPECT_TRUE(ParseInotifyEvents(std::vector<uint8_t>(5, 0)).empty());
}

TEST(ChangeNotifier, DuplicateFilterOnAFakeClockAndNothingAfterDestruction) {
  ShellSandbox box;
  auto n = std::make_unique<TOrvikShellChangeNotifier>();
  uint64_t now = 0;
  n->SetClock([&] { return now; });
  TRecorder rec(*n);
  int changes = 0;
  n->OnChange = [&](TObject*, TNotificationEvent, const std::string&, const std::string&) { ++changes; };
  const TIDList id = shell::ParseDisplayName(box.Drive)->Append(K::File, "x.jpg");
  for (uint64_t t : {0, 1000, 2499}) {
    now = t;
    n->HandleEvent(neFileCreate, id, nullptr);
  }
  EXPECT_EQ(rec.Events.size(), 1u);
  EXPECT_EQ(changes, 0);  // OnChange is a queued call
  now = 2500;
  n->HandleEvent(neFileCreate, id, nullptr);
  EXPECT_EQ(rec.Events.size(), 2u);
  // Another event, another object, the association event and the empty list always pass.
  n->HandleEvent(neFileChange, id, nullptr);
  n->HandleEvent(neFileChange, id.Parent().Append(K::File, "y.jpg"), nullptr);
  n->HandleEvent(neAssociationChange, id, nullptr);
  n->HandleEvent(neAssociationChange, id, nullptr);
  n->HandleEvent(neFolderUpdate, TIDList(), nullptr);
  n->HandleEvent(neFolderUpdate, TIDList(), nullptr);
  EXPECT_EQ(rec.Events.size(), 8u);
  // Events outside the filter are not passed on.
  n->SetEventFilter(EventBit(neFileDelete));
  n->HandleEvent(neFileCreate, id.Parent().Append(K::File, "z.jpg"), nullptr);
  EXPECT_EQ(rec.Events.size(), 8u);
  box.Pump->ProcessEvents(0);
  EXPECT_EQ(changes, 8);
  // A notifier destroyed with calls still queued calls nothing back.
  n->SetEventFilter(kAllNotificationEvents);
  n->HandleEvent(neFileDelete, id, nullptr);
  n.reset();
  box.Pump->ProcessEvents(0);
  EXPECT_EQ(changes, 8);
}

TEST(ChangeNotifier, ThePlaceholderWatchesTheMountTableOnly) {
  ShellSandbox box;
  TOrvikShellChangeNotifier n;
  TRecorder rec(n);
  std::vector<std::string> added;
  n.OnChange = [&](TObject*, TNotificationEvent e, const std::string& p1, const std::string&) {
    if (e == neDriveAdd) added.push_back(p1);
  };
  n.SetRecursive(false);
  const size_t watches = TShellChangeHub::Instance().WatchCount();
  n.SetEnabled(false);
  n.SetEnabled(true);
  EXPECT_EQ(n.Directories(), std::vector<std::string>{""});
  EXPECT_FALSE(n.Recursive());
  EXPECT_EQ(TShellChangeHub::Instance().WatchCount(), watches);
  const std::string disc = box.Dir.Mkdir("disc") + "/";
  platform::SetDriveTable(std::make_shared<platform::FixedDriveTable>(
      std::vector<platform::FixedDriveTable::Drive>{{box.Drive, "PHOTOS"}, {disc, "VANDREL"}}));
  TShellChangeHub::Instance().CheckDrives();
  EXPECT_TRUE(rec.Has(neDriveAdd, TIDList::Single(K::Computer).Append(K::Drive, disc)));
  ASSERT_TRUE(box.WaitFor([&] { return !added.empty(); }));
  EXPECT_EQ(added, std::vector<std::string>{disc});
  // A real folder replaces the placeholder.
  n.AddDirectory(box.Drive);
  EXPECT_EQ(n.Directories(), std::vector<std::string>{box.Drive});
}
