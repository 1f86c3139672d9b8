#include "shell/orvik_shell_change_notifier.h"

#include <algorithm>

#include "platform/fs.h"
#include "shell/shell_event_pump.h"
#include "shell/shell_services.h"

TOrvikShellChangeNotifier::TOrvikShellChangeNotifier(TComponent* Owner)
    : TOrvikBaseComponent(Owner), FClock(platform::TickCount), FAlive(std::make_shared<bool>(true)) {
  FEnabled = TShellChangeHub::Instance().Available();
}

TOrvikShellChangeNotifier::~TOrvikShellChangeNotifier() {
  StopWatching();
  FAlive.reset();
}

void TOrvikShellChangeNotifier::SetEnabledValue(bool Value) {
  if (Value && !TShellChangeHub::Instance().Available()) Value = false;
  FEnabled = Value;
  if (Value) {
    StartWatching();
  } else {
    StopWatching();
  }
}

int TOrvikShellChangeNotifier::Register(const TIDList& list, bool recursive) {
  TShellChangeHub& hub = TShellChangeHub::Instance();
  if (!hub.Available()) {
    FEnabled = false;  // no change notification here: the controls simply do not refresh
    return 0;
  }
  return hub.Subscribe(list, recursive, [this](TNotificationEvent e, const TIDList& a,
                                               const TIDList* b) { HandleEvent(e, a, b); });
}

void TOrvikShellChangeNotifier::StartWatching() {
  if (!FEnabled) return;
  if (FDirectoryPaths.empty()) {
    if (FSingle) {
      if (!FSingleHandle) FSingleHandle = Register(*FSingle, FRecursive);
    } else {
      // The placeholder watches the computer, which means the mount table alone; it never
      // turns on recursive watching.
      FDirectoryPaths.push_back("");
      FDirectoryHandles.push_back(0);
    }
  }
  for (size_t i = 0; i < FDirectoryPaths.size() && FEnabled; ++i) {
    if (FDirectoryHandles[i]) continue;
    // A path that cannot be resolved is kept without a watch.
    if (std::optional<TIDList> list = shell::ParseDisplayName(FDirectoryPaths[i])) {
      FDirectoryHandles[i] = Register(*list, FRecursive);
    }
  }
  FActive = FEnabled;
}

void TOrvikShellChangeNotifier::StopWatching() {
  if (!FActive) return;
  FActive = false;
  TShellChangeHub& hub = TShellChangeHub::Instance();
  for (int& handle : FDirectoryHandles) {
    if (handle) hub.Unsubscribe(handle);
    handle = 0;
  }
  if (FSingleHandle) hub.Unsubscribe(FSingleHandle);
  FSingleHandle = 0;
}

void TOrvikShellChangeNotifier::ApplyDirectories(std::vector<std::string> paths) {
  StopWatching();
  std::sort(paths.begin(), paths.end());
  paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
  // The placeholder goes once real folders are there.
  if (paths.size() > 1 && paths.front().empty()) paths.erase(paths.begin());
  FDirectoryPaths = std::move(paths);
  FDirectoryHandles.assign(FDirectoryPaths.size(), 0);
  StartWatching();
}

void TOrvikShellChangeNotifier::SetDirectories(std::vector<std::string> Paths) {
  ApplyDirectories(std::move(Paths));
}

void TOrvikShellChangeNotifier::AddDirectory(const std::string& Path) {
  std::vector<std::string> paths = FDirectoryPaths;
  paths.push_back(Path);
  ApplyDirectories(std::move(paths));
}

void TOrvikShellChangeNotifier::RemoveDirectory(const std::string& Path) {
  std::vector<std::string> paths = FDirectoryPaths;
  std::erase(paths, Path);
  ApplyDirectories(std::move(paths));
}

void TOrvikShellChangeNotifier::SetRecursive(bool Value) {
  if (Value == FRecursive) return;
  const bool active = FActive;
  StopWatching();
  FRecursive = Value;
  if (active) StartWatching();
}

void TOrvikShellChangeNotifier::SetEventFilter(TNotificationEvents Value) {
  if (Value == FEventFilter) return;
  const bool active = FActive;
  StopWatching();
  FEventFilter = Value;
  if (active) StartWatching();
}

void TOrvikShellChangeNotifier::WatchIDList(const TIDList* Absolute) {
  StopWatching();
  FSingle.reset();
  if (!Absolute) return;
  FDirectoryPaths.clear();
  FDirectoryHandles.clear();
  FSingle = *Absolute;
  StartWatching();
}

void TOrvikShellChangeNotifier::HandleEvent(TNotificationEvent Event, const TIDList& Id1,
                                            const TIDList* Id2) {
  if (!FEnabled) return;
  if (!(FEventFilter & (EventBit(Event) | EventBit(neUnknown)))) return;
  const uint64_t now = FClock ? FClock() : platform::TickCount();
  if (Event != neAssociationChange && Event != neImageListChange && FHasLast &&
      Event == FLastEvent && Id1.Count() > 0 && now - FLastTick < kDuplicateMs &&
      shell::CompareIDs(0, Id1, FLastId) == 0) {
    return;
  }
  FHasLast = true;
  FLastEvent = Event;
  FLastId = Id1;
  FLastTick = now;
  if (FInternal) FInternal(this, Event, Id1, Id2);
  if (!OnChange) return;
  const std::string path1 = shell::PathFromIDList(Id1).value_or(std::string());
  const std::string path2 = Id2 ? shell::PathFromIDList(*Id2).value_or(std::string()) : "";
  ShellEventPump()->Post([this, alive = std::weak_ptr<bool>(FAlive), Event, path1, path2] {
    if (!alive.lock() || !OnChange) return;
    OnChange(this, Event, path1, path2);
  });
}
