#pragma once
// Change events of the namespace, from the one inotify descriptor of the process and the
// mount table. Watches are shared: a folder watched by several notifiers is registered once,
// with a reference count. Events are read on the user-interface thread (through the shell's
// event pump) and handed to the subscribers as namespace events with ID lists:
//   - a create, delete or close-after-writing of an entry gives a create, delete or file
//     change of a file or folder; a move out of a folder and a move into a folder read
//     together (same cookie) give one rename with both ID lists;
//   - the deletion, move or unmount of a watched folder itself, and a queue overflow, give a
//     folder update of the watched folder;
//   - a drive that comes or goes (the mount table changes) gives a drive add or remove to the
//     subscribers of the computer folder.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "shell/shell_id_list.h"

class TShellEventPump;

enum TNotificationEvent {
  neAssociationChange, neAttributesChange, neFileChange, neFileCreate, neFileDelete,
  neFileRename, neDriveAdd, neDriveRemove, neShellDriveAdd, neDriveSpaceChange, neMediaInsert,
  neMediaRemove, neFolderCreate, neFolderDelete, neFolderRename, neFolderUpdate, neNetShare,
  neNetUnShare, neServerDisconnect, neImageListChange, neUnknown,
};

// A set of events, one bit per value.
using TNotificationEvents = uint32_t;
constexpr TNotificationEvents EventBit(TNotificationEvent e) { return 1u << e; }
// neAssociationChange to neImageListChange.
constexpr TNotificationEvents kAllNotificationEvents = (1u << neUnknown) - 1;

struct TRawInotifyEvent {
  int Wd = 0;
  uint32_t Mask = 0;
  uint32_t Cookie = 0;
  std::string Name;
};

// The events of a buffer as read from an inotify descriptor; a record that claims more bytes
// than the buffer holds ends the parse.
std::vector<TRawInotifyEvent> ParseInotifyEvents(std::span<const uint8_t> bytes);

class TShellChangeHub {
 public:
  using TSink = std::function<void(TNotificationEvent Event, const TIDList& Id1, const TIDList* Id2)>;

  static TShellChangeHub& Instance();
  ~TShellChangeHub();

  // False when the system offers no inotify descriptor; notifiers then switch off.
  bool Available() const { return FFd >= 0; }
  // Watches the object an absolute ID list names: the computer (the mount table only), the
  // desktop (its folder; with recursive also the mount table), the trash (its files folders)
  // or a file-system folder (with recursive, its subfolders too, up to a limit). Returns a
  // subscription id, or 0 when nothing can be watched.
  int Subscribe(const TIDList& absolute, bool recursive, TSink sink);
  void Unsubscribe(int id);

  // Reads everything pending on the descriptor and hands it out.
  void ReadEvents();
  // Hands out a buffer of raw events as if it had been read.
  void DispatchBuffer(std::span<const uint8_t> bytes);
  // Compares the drive table with the one seen last and reports the drives added and removed.
  void CheckDrives();
  // Inotify watches held, for tests.
  size_t WatchCount() const { return FWatches.size(); }

 private:
  struct TRef {
    int Sub;
    std::vector<std::string> Rel;  // folder names from the subscription's folder down
  };
  struct TWatch {
    std::string Path;
    std::vector<TRef> Refs;
  };
  struct TSubscription {
    TIDList Root;
    std::string Path;
    bool Recursive = false;
    bool Drives = false;
    bool Trash = false;
    TSink Sink;
    std::vector<int> Wds;
  };
  struct TDelivery {
    int Sub;
    TNotificationEvent Event;
    TIDList Id1;
    std::optional<TIDList> Id2;
  };

  TShellChangeHub();
  void EnsurePump();
  bool AddWatch(int sub, const std::string& path, const std::vector<std::string>& rel);
  void AddTree(int sub, const std::string& path, const std::vector<std::string>& rel);
  void DropWatchesBelow(int sub, const std::vector<std::string>& rel);
  void ReleaseWatch(int wd, int sub);
  std::optional<TIDList> ItemList(const TRef& ref, const TWatch& watch, const std::string& name,
                                  bool isDir) const;
  const TRef* RefFor(int wd, int sub) const;
  void Translate(const std::vector<TRawInotifyEvent>& events, std::vector<TDelivery>& out);
  void Deliver(std::vector<TDelivery>& deliveries);

  int FFd = -1;
  int FMountFd = -1;
  std::shared_ptr<TShellEventPump> FPump;
  int FFdHandle = 0;
  int FMountHandle = 0;
  int FNextSub = 1;
  std::map<int, TWatch> FWatches;
  std::map<int, TSubscription> FSubs;
  std::vector<std::string> FDriveRoots;
};
