#pragma once
// TOrvikShellChangeNotifier turns the namespace's change events for some folders into events
// of its own: for the folders in Directories (by path), or for one folder given by its ID
// list (WatchIDList, as the file list uses it). An event that repeats the last one passed on
// (same event, same non-empty first ID list) within 2.5 seconds is dropped. The internal
// callback gets each event at once, with its ID lists; OnChange gets the paths later, as a
// queued call on the user-interface thread after the event has been handled. Nothing is called
// back once the notifier is destroyed.
//
// Use with a file list: call WatchIDList for a folder before reading it, and leave the notifier
// on while the list fills, so that no change between reading and watching is lost.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shell/orvik_base_component.h"
#include "shell/shell_change_hub.h"
#include "shell/shell_id_list.h"

class TOrvikShellChangeNotifier : public TOrvikBaseComponent {
 public:
  using TChangeEvent = std::function<void(TObject* Sender, TNotificationEvent Event,
                                          const std::string& Path1, const std::string& Path2)>;
  using TInternalCallback = std::function<void(TObject* Sender, TNotificationEvent Event,
                                               const TIDList& Id1, const TIDList* Id2)>;
  static constexpr uint64_t kDuplicateMs = 2500;

  // Enabled when the system offers change notification.
  explicit TOrvikShellChangeNotifier(TComponent* Owner = nullptr);
  ~TOrvikShellChangeNotifier() override;
  TOrvikShellChangeNotifier(const TOrvikShellChangeNotifier&) = delete;
  TOrvikShellChangeNotifier& operator=(const TOrvikShellChangeNotifier&) = delete;

  // Folders by path, kept sorted byte by byte without duplicates; "" stands for the computer
  // (drives coming and going). Changing them restarts watching.
  const std::vector<std::string>& Directories() const { return FDirectoryPaths; }
  void SetDirectories(std::vector<std::string> Paths);
  void AddDirectory(const std::string& Path);
  void RemoveDirectory(const std::string& Path);
  // Watch subfolders too (not for the computer, which is watched through the mount table).
  bool Recursive() const { return FRecursive; }
  void SetRecursive(bool Value);
  TNotificationEvents EventFilter() const { return FEventFilter; }
  void SetEventFilter(TNotificationEvents Value);
  TChangeEvent OnChange;
  void SetInternalCallback(TInternalCallback Callback) { FInternal = std::move(Callback); }
  // Watches one folder instead of Directories; nullptr stops watching it.
  void WatchIDList(const TIDList* Absolute);
  bool Active() const { return FActive; }
  // The clock of the duplicate filter, in milliseconds (default: the tick count).
  void SetClock(std::function<uint64_t()> Clock) { FClock = std::move(Clock); }
  std::string Version() const { return "TOrvikShellChangeNotifier V4.2"; }

  // Takes an event as if it had been received from the watches.
  void HandleEvent(TNotificationEvent Event, const TIDList& Id1, const TIDList* Id2);

 protected:
  void SetEnabledValue(bool Value) override;

 private:
  void StartWatching();
  void StopWatching();
  int Register(const TIDList& list, bool recursive);
  void ApplyDirectories(std::vector<std::string> paths);

  std::vector<std::string> FDirectoryPaths;
  std::vector<int> FDirectoryHandles;
  std::optional<TIDList> FSingle;
  int FSingleHandle = 0;
  bool FRecursive = true;
  TNotificationEvents FEventFilter = kAllNotificationEvents;
  bool FActive = false;
  bool FHasLast = false;
  TNotificationEvent FLastEvent = neUnknown;
  TIDList FLastId;
  uint64_t FLastTick = 0;
  std::function<uint64_t()> FClock;
  TInternalCallback FInternal;
  std::shared_ptr<bool> FAlive;
};
