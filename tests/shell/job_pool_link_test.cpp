// The job pool, thumbnail jobs and the shell link.

#include <condition_variable>
#include <mutex>

#include "imaging/component/vistrel_io.h"
#include "imaging/model/bitmap.h"
#include "shell/orvik_job_pool.h"
#include "shell/orvik_shell_link.h"
#include "shell_sandbox.h"

using K = TShellItemKind;

namespace {

// Jobs that wait until released, noting the order in which they start.
struct TGate {
  std::mutex Mutex;
  std::condition_variable Cv;
  int Released = 0;
  std::vector<int> Started;

  TOrvikJobPool::TWork Job(int index) {
    return [this, index](const std::atomic<bool>& cancelled) {
      std::unique_lock<std::mutex> lock(Mutex);
      Started.push_back(index);
      Cv.notify_all();
      Cv.wait(lock, [&] { return Released > 0 || cancelled; });
      if (Released > 0) --Released;
    };
  }
  void Release(int n = 1) {
    std::lock_guard<std::mutex> lock(Mutex);
    Released += n;
    Cv.notify_all();
  }
  bool WaitStarted(size_t n) {
    std::unique_lock<std::mutex> lock(Mutex);
    return Cv.wait_for(lock, std::chrono::seconds(5), [&] { return Started.size() >= n; });
  }
};

}  // namespace

TEST(JobPool, FifteenRunFiveWaitAndStartInOrder) {
  ShellSandbox box;
  TGate gate;
  std::vector<uint64_t> done;
  int empty = 0;
  {
    TOrvikJobPool pool(box.Pump);
    pool.OnEmpty = [&] { ++empty; };
    for (int i = 1; i <= 20; ++i) {
      pool.Add(gate.Job(i), [&](uint64_t ticket, bool) { done.push_back(ticket); });
    }
    ASSERT_TRUE(gate.WaitStarted(15));
    EXPECT_EQ(pool.Running(), 15u);
    EXPECT_EQ(pool.Waiting(), 5u);
    EXPECT_EQ(pool.Workers(), 15u);
    std::vector<int> first(gate.Started.begin(), gate.Started.begin() + 15);
    std::sort(first.begin(), first.end());
    for (int i = 0; i < 15; ++i) EXPECT_EQ(first[i], i + 1);
    // Each finished job lets the next waiting one start, in the order queued.
    for (size_t n = 16; n <= 20; ++n) {
      gate.Release();
      ASSERT_TRUE(gate.WaitStarted(n));
    }
    EXPECT_EQ(std::vector<int>(gate.Started.begin() + 15, gate.Started.end()),
              (std::vector<int>{16, 17, 18, 19, 20}));
    gate.Release(15);
    ASSERT_TRUE(box.WaitFor([&] { return done.size() == 20; }));
    EXPECT_EQ(empty, 1);
    std::sort(done.begin(), done.end());
    EXPECT_EQ(done.front(), 1u);
    EXPECT_EQ(done.back(), 20u);
  }
}

TEST(JobPool, NothingIsCalledBackAfterDestruction) {
  ShellSandbox box;
  TGate gate;
  int calls = 0;
  {
    TOrvikJobPool pool(box.Pump);
    pool.SetShutdownWait(std::chrono::milliseconds(50));
    pool.OnEmpty = [&] { ++calls; };
    pool.Add([](const std::atomic<bool>&) {}, [&](uint64_t, bool) { ++calls; });
    // A job that ignores the request to stop outlives the brief wait.
    pool.Add([&gate](const std::atomic<bool>&) {
      std::unique_lock<std::mutex> lock(gate.Mutex);
      gate.Started.push_back(0);
      gate.Cv.notify_all();
      gate.Cv.wait(lock, [&] { return gate.Released > 0; });
    }, [&](uint64_t, bool) { ++calls; });
    ASSERT_TRUE(gate.WaitStarted(1));
  }
  gate.Release();
  box.Settle(100);
  EXPECT_EQ(calls, 0);
}

TEST(JobPool, ThumbnailJobsUseTheirOwnNavigator) {
  ShellSandbox box;
  const std::string path = box.Drive + "wide.jpg";
  {
    TVistrelIO io;
    io.TargetBitmap()->Allocate(200, 100, vl24RGB);
    io.TargetBitmap()->Fill(0x3366CC);
    io.SaveJpegFile(path);
    ASSERT_FALSE(io.AbortFlag());
  }
  box.Dir.Write("drive/not-an-image.jpg", "text");
  TOrvikJobPool pool(box.Pump);
  std::vector<TThumbnailResult> results;
  const auto keep = [&](TThumbnailResult& r) { results.push_back(std::move(r)); };
  const TIDList image = *shell::ParseDisplayName(path);
  const uint64_t first = QueueThumbnailJob(pool, image, 64, 64, keep);
  const uint64_t second = QueueThumbnailJob(pool, *shell::ParseDisplayName(box.Drive + "not-an-image.jpg"), 64, 64, keep);
  ASSERT_TRUE(box.WaitFor([&] { return results.size() == 2; }));
  for (TThumbnailResult& r : results) {
    if (r.Ticket == first) {
      EXPECT_EQ(r.IDList, image);
      ASSERT_TRUE(r.Bitmap);
      EXPECT_EQ(r.Bitmap->Width(), 64);
      EXPECT_EQ(r.Bitmap->Height(), 32);
    } else {
      EXPECT_EQ(r.Ticket, second);
      EXPECT_FALSE(r.Bitmap);
    }
  }
}

namespace {

// A control that records what the link asks of it and, like a real one, reports a folder it
// is told to show back to the link.
struct TFakeControl : IOrvikShellControl {
  TFakeControl(std::string name, std::vector<std::string>* log) : Name(std::move(name)), Log(log) {}
  std::string Name;
  std::vector<std::string>* Log;
  TOrvikShellLink* Link = nullptr;
  void SetShellLink(TOrvikShellLink* link) override {
    if (Link == link) return;
    if (Link) Link->RemoveControl(this);
    Link = link;
    if (Link) Link->AddControl(this);
    Log->push_back(Name + ".SetShellLink");
  }
  TOrvikShellLink* GetShellLink() const override { return Link; }
  void ShowFolder(const TIDList& list) override {
    Log->push_back(Name + ".ShowFolder");
    if (Link) Link->FolderChanged(this, list);
  }
  void ShowFolderObject(const TIDList&, const TIDList&) override { Log->push_back(Name + ".ShowFolderObject"); }
  void SelectAll() override {}
  void Repopulate() override { Log->push_back(Name + ".Repopulate"); }
  void UpdateContents() override { Log->push_back(Name + ".UpdateContents"); }
  bool GoToParent() override { return false; }
};

}  // namespace

TEST(ShellLink, PassesChangesOnOnceWithoutBounceAndNotWhenDisabled) {
  std::vector<std::string> log;
  TFakeControl a("a", &log), b("b", &log), c("c", &log);
  int changes = 0;
  {
    TOrvikShellLink link;
    link.OnChange = [&](TObject*) { ++changes; };
    for (TFakeControl* x : {&a, &b, &c, &b}) x->SetShellLink(&link);
    EXPECT_EQ(link.Controls().size(), 3u);
    log.clear();
    const TIDList folder = TIDList::Single(K::Home);
    link.FolderChanged(&a, folder);
    EXPECT_EQ(log, (std::vector<std::string>{"b.ShowFolder", "c.ShowFolder"}));
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(link.Enabled());
    log.clear();
    link.ObjectSelected(&b, folder, TIDList::Single(K::File, "x"));
    link.RepopulateOthers(&c);
    EXPECT_EQ(log, (std::vector<std::string>{"a.ShowFolderObject", "c.ShowFolderObject",
                                             "a.Repopulate", "b.Repopulate"}));
    // Switched off, it passes nothing on, and switching it on again replays nothing.
    log.clear();
    link.SetEnabled(false);
    link.FolderChanged(&a, folder);
    link.UpdateOthers(&a);
    link.SetEnabled(true);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(changes, 2);
    // Destruction: every control forgets the link, the last one first.
  }
  EXPECT_EQ(log, (std::vector<std::string>{"c.SetShellLink", "b.SetShellLink", "a.SetShellLink"}));
  EXPECT_EQ(a.Link, nullptr);
}
