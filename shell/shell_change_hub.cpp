#include "shell/shell_change_hub.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <unordered_map>

#include "platform/drives.h"
#include "shell/shell_event_pump.h"
#include "shell/shell_folder.h"
#include "shell/shell_trash.h"

namespace {

constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF |
                                IN_ONLYDIR;
// Subfolders a recursive watch takes at most, so that one subtree cannot use up the user's
// inotify watches.
constexpr size_t kMaxRecursiveWatches = 1000;

std::string Join(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

bool StartsWith(const std::vector<std::string>& rel, const std::vector<std::string>& prefix) {
  return rel.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), rel.begin());
}

}  // namespace

std::vector<TRawInotifyEvent> ParseInotifyEvents(std::span<const uint8_t> bytes) {
  std::vector<TRawInotifyEvent> events;
  size_t off = 0;
  while (bytes.size() - off >= sizeof(inotify_event)) {
    inotify_event header;
    std::memcpy(&header, bytes.data() + off, sizeof header);
    const size_t total = sizeof header + header.len;
    if (header.len > bytes.size() - off - sizeof header) break;
    TRawInotifyEvent e;
    e.Wd = header.wd;
    e.Mask = header.mask;
    e.Cookie = header.cookie;
    const char* name = reinterpret_cast<const char*>(bytes.data() + off + sizeof header);
    e.Name.assign(name, strnlen(name, header.len));
    events.push_back(std::move(e));
    off += total;
  }
  return events;
}

TShellChangeHub& TShellChangeHub::Instance() {
  static TShellChangeHub hub;
  return hub;
}

TShellChangeHub::TShellChangeHub() { FFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC); }

TShellChangeHub::~TShellChangeHub() {
  if (FPump) {
    if (FFdHandle) FPump->UnwatchFd(FFdHandle);
    if (FMountHandle) FPump->UnwatchFd(FMountHandle);
  }
  if (FFd >= 0) ::close(FFd);
  if (FMountFd >= 0) ::close(FMountFd);
}

void TShellChangeHub::EnsurePump() {
  std::shared_ptr<TShellEventPump> pump = ShellEventPump();
  if (pump != FPump) {
    if (FPump) {
      if (FFdHandle) FPump->UnwatchFd(FFdHandle);
      if (FMountHandle) FPump->UnwatchFd(FMountHandle);
    }
    FFdHandle = FMountHandle = 0;
    FPump = std::move(pump);
  }
  if (!FFdHandle && FFd >= 0) {
    FFdHandle = FPump->WatchFd(FFd, TShellEventPump::TWatchKind::Read, [this] { ReadEvents(); });
  }
  const bool wantDrives = std::any_of(FSubs.begin(), FSubs.end(),
                                      [](const auto& s) { return s.second.Drives; });
  if (wantDrives && FMountFd < 0) FMountFd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
  if (wantDrives && FMountFd >= 0 && !FMountHandle) {
    FMountHandle = FPump->WatchFd(FMountFd, TShellEventPump::TWatchKind::Priority,
                                  [this] { CheckDrives(); });
  }
}

bool TShellChangeHub::AddWatch(int sub, const std::string& path,
                               const std::vector<std::string>& rel) {
  if (FFd < 0) return false;
  // Subfolders are taken as they are; only the watched folder itself may be reached by a link.
  const uint32_t mask = rel.empty() ? kWatchMask : kWatchMask | IN_DONT_FOLLOW;
  const int wd = ::inotify_add_watch(FFd, path.c_str(), mask);
  if (wd < 0) return false;
  TWatch& w = FWatches[wd];
  if (w.Refs.empty()) w.Path = path;
  w.Refs.push_back({sub, rel});
  FSubs[sub].Wds.push_back(wd);
  return true;
}

void TShellChangeHub::AddTree(int sub, const std::string& path,
                              const std::vector<std::string>& rel) {
  std::vector<std::pair<std::string, std::vector<std::string>>> pending = {{path, rel}};
  while (!pending.empty() && FSubs[sub].Wds.size() < kMaxRecursiveWatches) {
    auto [folder, folderRel] = std::move(pending.back());
    pending.pop_back();
    if (!AddWatch(sub, folder, folderRel)) continue;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) continue;
    while (dirent* d = ::readdir(dir)) {
      const std::string name = d->d_name;
      if (name == "." || name == "..") continue;
      bool isDir = d->d_type == DT_DIR;
      if (d->d_type == DT_UNKNOWN) {
        struct stat st;
        isDir = ::fstatat(::dirfd(dir), d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISDIR(st.st_mode);
      }
      if (!isDir) continue;
      std::vector<std::string> childRel = folderRel;
      childRel.push_back(name);
      pending.emplace_back(Join(folder, name), std::move(childRel));
    }
    ::closedir(dir);
  }
}

void TShellChangeHub::ReleaseWatch(int wd, int sub) {
  auto it = FWatches.find(wd);
  if (it == FWatches.end()) return;
  std::erase_if(it->second.Refs, [sub](const TRef& r) { return r.Sub == sub; });
  if (it->second.Refs.empty()) {
    ::inotify_rm_watch(FFd, wd);
    FWatches.erase(it);
  }
}

void TShellChangeHub::DropWatchesBelow(int sub, const std::vector<std::string>& rel) {
  TSubscription& s = FSubs[sub];
  std::vector<int> keep;
  for (int wd : s.Wds) {
    const TRef* ref = RefFor(wd, sub);
    if (ref && StartsWith(ref->Rel, rel)) {
      ReleaseWatch(wd, sub);
    } else {
      keep.push_back(wd);
    }
  }
  s.Wds = std::move(keep);
}

int TShellChangeHub::Subscribe(const TIDList& absolute, bool recursive, TSink sink) {
  std::unique_ptr<TShellFolder> folder = TShellFolder::Bind(absolute);
  if (!folder) return 0;
  const int id = FNextSub++;
  TSubscription& s = FSubs[id];
  s.Root = absolute;
  s.Sink = std::move(sink);
  s.Path = folder->Path();
  const bool firstDrives = std::none_of(FSubs.begin(), FSubs.end(),
                                        [](const auto& other) { return other.second.Drives; });
  switch (folder->Kind()) {
    case TShellFolder::TKind::Computer:
      s.Drives = true;  // the computer is watched through the mount table alone
      break;
    case TShellFolder::TKind::Desktop:
      s.Drives = recursive;
      if (!s.Path.empty()) AddWatch(id, s.Path, {});
      break;
    case TShellFolder::TKind::Trash:
      s.Trash = true;
      for (const std::string& files : shell::TrashFilesFolders(folder->Places())) {
        AddWatch(id, files, {});
      }
      break;
    case TShellFolder::TKind::FileSystem:
      s.Recursive = recursive;
      if (recursive) {
        AddTree(id, s.Path, {});
      } else {
        AddWatch(id, s.Path, {});
      }
      break;
  }
  if (s.Wds.empty() && !s.Drives) {
    FSubs.erase(id);
    return 0;
  }
  // Drives are compared with the table as it was when someone started to look.
  if (s.Drives && firstDrives) FDriveRoots = platform::Drives().RootPaths();
  EnsurePump();
  return id;
}

void TShellChangeHub::Unsubscribe(int id) {
  auto it = FSubs.find(id);
  if (it == FSubs.end()) return;
  for (int wd : it->second.Wds) ReleaseWatch(wd, id);
  FSubs.erase(it);
}

const TShellChangeHub::TRef* TShellChangeHub::RefFor(int wd, int sub) const {
  auto it = FWatches.find(wd);
  if (it == FWatches.end()) return nullptr;
  for (const TRef& r : it->second.Refs) {
    if (r.Sub == sub) return &r;
  }
  return nullptr;
}

std::optional<TIDList> TShellChangeHub::ItemList(const TRef& ref, const TWatch& watch,
                                                 const std::string& name, bool isDir) const {
  auto sub = FSubs.find(ref.Sub);
  if (sub == FSubs.end()) return std::nullopt;
  TIDList list = sub->second.Root;
  for (const std::string& part : ref.Rel) list = list.Append(TShellItemKind::Folder, part);
  if (name.empty()) return list;
  if (sub->second.Trash) return list.Append(TShellItemKind::TrashEntry, Join(watch.Path, name));
  return list.Append(isDir ? TShellItemKind::Folder : TShellItemKind::File, name);
}

void TShellChangeHub::Translate(const std::vector<TRawInotifyEvent>& events,
                                std::vector<TDelivery>& out) {
  std::vector<bool> used(events.size(), false);
  // The halves of moves into a watched folder, by cookie, in the order read.
  std::unordered_map<uint32_t, std::vector<size_t>> movedTo;
  for (size_t i = 0; i < events.size(); ++i) {
    if ((events[i].Mask & IN_MOVED_TO) && events[i].Cookie != 0) movedTo[events[i].Cookie].push_back(i);
  }
  // Every subscription of a watch gets the event, with ID lists from its own folder.
  const auto emit = [&](const TRawInotifyEvent& e, TNotificationEvent ev) {
    auto it = FWatches.find(e.Wd);
    if (it == FWatches.end()) return;
    for (const TRef& ref : it->second.Refs) {
      if (auto id = ItemList(ref, it->second, e.Name, e.Mask & IN_ISDIR)) {
        out.push_back({ref.Sub, ev, std::move(*id), std::nullopt});
      }
    }
  };
  for (size_t i = 0; i < events.size(); ++i) {
    if (used[i]) continue;
    const TRawInotifyEvent& e = events[i];
    const bool dir = e.Mask & IN_ISDIR;
    if (e.Mask & IN_Q_OVERFLOW) {
      // Events were lost: every watched folder must be read again.
      for (const auto& [id, s] : FSubs) out.push_back({id, neFolderUpdate, s.Root, std::nullopt});
      continue;
    }
    if (e.Mask & IN_IGNORED) {
      // The system dropped the watch (its folder is gone).
      auto it = FWatches.find(e.Wd);
      if (it == FWatches.end()) continue;
      for (const TRef& ref : it->second.Refs) {
        if (auto sub = FSubs.find(ref.Sub); sub != FSubs.end()) std::erase(sub->second.Wds, e.Wd);
      }
      FWatches.erase(it);
      continue;
    }
    if (e.Mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
      auto it = FWatches.find(e.Wd);
      if (it == FWatches.end()) continue;
      // A subfolder of a recursive watch is reported by its parent's event; the watched folder
      // itself becomes a folder update.
      for (const TRef& ref : it->second.Refs) {
        auto sub = FSubs.find(ref.Sub);
        if (ref.Rel.empty() && sub != FSubs.end()) {
          out.push_back({ref.Sub, neFolderUpdate, sub->second.Root, std::nullopt});
        }
      }
      continue;
    }
    if (e.Mask & IN_MOVED_FROM) {
      // The move-in read after this move-out with the same cookie completes a rename.
      size_t j = events.size();
      if (auto m = movedTo.find(e.Cookie); e.Cookie != 0 && m != movedTo.end()) {
        for (size_t k : m->second) {
          if (k > i && !used[k]) {
            j = k;
            break;
          }
        }
      }
      if (j == events.size()) {
        emit(e, dir ? neFolderDelete : neFileDelete);
        continue;
      }
      used[j] = true;
      const TRawInotifyEvent& to = events[j];
      // One rename for every subscription that sees either side.
      std::set<int> subs;
      for (int wd : {e.Wd, to.Wd}) {
        auto it = FWatches.find(wd);
        if (it != FWatches.end()) {
          for (const TRef& r : it->second.Refs) subs.insert(r.Sub);
        }
      }
      const auto listFor = [&](int wd, int sub, const std::string& name) -> std::optional<TIDList> {
        auto it = FWatches.find(wd);
        if (it == FWatches.end() || it->second.Refs.empty()) return std::nullopt;
        const TRef* ref = RefFor(wd, sub);
        return ItemList(ref ? *ref : it->second.Refs.front(), it->second, name, dir);
      };
      for (int sub : subs) {
        std::optional<TIDList> from = listFor(e.Wd, sub, e.Name);
        std::optional<TIDList> dest = listFor(to.Wd, sub, to.Name);
        if (from && dest) out.push_back({sub, dir ? neFolderRename : neFileRename, *from, *dest});
      }
      continue;
    }
    if (e.Mask & (IN_MOVED_TO | IN_CREATE)) emit(e, dir ? neFolderCreate : neFileCreate);
    else if (e.Mask & IN_DELETE) emit(e, dir ? neFolderDelete : neFileDelete);
    else if (e.Mask & IN_CLOSE_WRITE) emit(e, neFileChange);
    else if (e.Mask & IN_ATTRIB) emit(e, neAttributesChange);
  }
}

void TShellChangeHub::Deliver(std::vector<TDelivery>& deliveries) {
  // Recursive watches follow folders that appear and move.
  for (const TDelivery& d : deliveries) {
    auto sub = FSubs.find(d.Sub);
    if (sub == FSubs.end() || !sub->second.Recursive) continue;
    const bool created = d.Event == neFolderCreate, renamed = d.Event == neFolderRename;
    if (!created && !renamed) continue;
    const size_t depth = sub->second.Root.Count();
    const auto relOf = [&](const TIDList& list) {
      std::vector<std::string> rel;
      for (size_t k = depth; k < list.Count(); ++k) rel.push_back(list.Item(k).Name);
      return rel;
    };
    if (renamed) DropWatchesBelow(d.Sub, relOf(d.Id1));
    const TIDList& target = renamed ? *d.Id2 : d.Id1;
    if (target.Count() <= depth) continue;
    const std::vector<std::string> rel = relOf(target);
    std::string path = sub->second.Path;
    for (const std::string& part : rel) path = Join(path, part);
    AddTree(d.Sub, path, rel);
  }
  // A sink may subscribe or unsubscribe; each delivery looks its subscription up again.
  for (TDelivery& d : deliveries) {
    auto sub = FSubs.find(d.Sub);
    if (sub == FSubs.end()) continue;
    TSink sink = sub->second.Sink;
    sink(d.Event, d.Id1, d.Id2 ? &*d.Id2 : nullptr);
  }
}

void TShellChangeHub::DispatchBuffer(std::span<const uint8_t> bytes) {
  std::vector<TDelivery> deliveries;
  Translate(ParseInotifyEvents(bytes), deliveries);
  Deliver(deliveries);
}

void TShellChangeHub::ReadEvents() {
  if (FFd < 0) return;
  // Everything pending is read before translating, so that both halves of a move are seen
  // together.
  std::vector<uint8_t> all;
  alignas(inotify_event) uint8_t buffer[65536];
  while (true) {
    const ssize_t n = ::read(FFd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    all.insert(all.end(), buffer, buffer + n);
  }
  if (!all.empty()) DispatchBuffer(all);
}

void TShellChangeHub::CheckDrives() {
  const std::vector<std::string> roots = platform::Drives().RootPaths();
  std::vector<TDelivery> deliveries;
  const TIDList computer = TIDList::Single(TShellItemKind::Computer);
  const auto report = [&](const std::vector<std::string>& from, const std::vector<std::string>& in,
                          TNotificationEvent ev) {
    for (const std::string& root : from) {
      if (std::find(in.begin(), in.end(), root) != in.end()) continue;
      for (const auto& [id, s] : FSubs) {
        if (s.Drives) deliveries.push_back({id, ev, computer.Append(TShellItemKind::Drive, root), std::nullopt});
      }
    }
  };
  report(FDriveRoots, roots, neDriveRemove);
  report(roots, FDriveRoots, neDriveAdd);
  FDriveRoots = roots;
  Deliver(deliveries);
}
