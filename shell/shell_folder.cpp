#include "shell/shell_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/drives.h"
#include "shell/shell_icons.h"
#include "shell/shell_trash.h"
#include "shell/shell_verbs.h"

namespace {

using TKindT = TShellItemKind;

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

// Entries of one directory by readdir.
class TDirEnum : public TShellEnum {
 public:
  // kind: the item kind for every entry (TrashEntry) or, with File, folders and files apart.
  TDirEnum(const std::string& path, TKindT kind) : FPath(path), FKind(kind) {
    FDir = ::opendir(path.c_str());
  }
  ~TDirEnum() override {
    if (FDir) ::closedir(FDir);
  }
  bool Opened() const { return FDir != nullptr; }

  TResult Next(TIDList& item) override {
    if (!FDir) return End;
    while (true) {
      errno = 0;
      dirent* d = ::readdir(FDir);
      if (!d) return errno ? Error : End;
      const std::string_view name(d->d_name);
      if (name == "." || name == "..") continue;
      if (FKind == TKindT::TrashEntry) {
        item = TIDList::Single(TKindT::TrashEntry, Join(FPath, std::string(name)));
        return Ok;
      }
      bool folder = d->d_type == DT_DIR;
      if (d->d_type == DT_LNK || d->d_type == DT_UNKNOWN) {
        struct stat st;
        folder = ::fstatat(::dirfd(FDir), d->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
      }
      item = TIDList::Single(folder ? TKindT::Folder : TKindT::File, name);
      return Ok;
    }
  }

 private:
  std::string FPath;
  TKindT FKind;
  DIR* FDir = nullptr;
};

// Fixed items first, then the entries of one or more directories.
class TListEnum : public TShellEnum {
 public:
  std::vector<TIDList> Fixed;
  std::vector<std::unique_ptr<TDirEnum>> Dirs;

  TResult Next(TIDList& item) override {
    if (FNext < Fixed.size()) {
      item = Fixed[FNext++];
      return Ok;
    }
    while (FDir < Dirs.size()) {
      const TResult r = Dirs[FDir]->Next(item);
      if (r != End) return r;
      ++FDir;
    }
    return End;
  }

 private:
  size_t FNext = 0;
  size_t FDir = 0;
};

bool TrashHasEntries(const TShellPlaces& places) {
  for (const std::string& folder : shell::TrashFilesFolders(places)) {
    TDirEnum e(folder, TKindT::TrashEntry);
    TIDList item;
    if (e.Next(item) == TShellEnum::Ok) return true;
  }
  return false;
}

}  // namespace

TShellFolder::TShellFolder(TKind kind, TIDList idList, std::string path, TShellPlaces places)
    : FKind(kind), FIDList(std::move(idList)), FPath(std::move(path)), FPlaces(std::move(places)) {}

std::unique_ptr<TShellFolder> TShellFolder::Bind(const TIDList& absolute) {
  return Bind(absolute, TShellPlaces::Current());
}

std::unique_ptr<TShellFolder> TShellFolder::Bind(const TIDList& absolute,
                                                 const TShellPlaces& places) {
  const size_t count = absolute.Count();
  if (count == 0) {
    return std::unique_ptr<TShellFolder>(
        new TShellFolder(TKind::Desktop, absolute, places.DesktopPath, places));
  }
  const TShellItem first = absolute.Item(0);
  if (count == 1 && first.Kind == TKindT::Computer) {
    return std::unique_ptr<TShellFolder>(new TShellFolder(TKind::Computer, absolute, "", places));
  }
  if (count == 1 && first.Kind == TKindT::Trash) {
    return std::unique_ptr<TShellFolder>(new TShellFolder(TKind::Trash, absolute, "", places));
  }
  const TKindT last = absolute.LastItem().Kind;
  if (last != TKindT::Folder && last != TKindT::Drive && last != TKindT::Home) return nullptr;
  std::optional<std::string> path = shell::PathFromIDList(absolute, places);
  if (!path) return nullptr;
  return std::unique_ptr<TShellFolder>(
      new TShellFolder(TKind::FileSystem, absolute, std::move(*path), places));
}

std::unique_ptr<TShellEnum> TShellFolder::EnumObjects() {
  ForgetCache();
  auto e = std::make_unique<TListEnum>();
  switch (FKind) {
    case TKind::Desktop:
      e->Fixed = {TIDList::Single(TKindT::Computer), TIDList::Single(TKindT::Home),
                  TIDList::Single(TKindT::Trash)};
      if (!FPath.empty()) e->Dirs.push_back(std::make_unique<TDirEnum>(FPath, TKindT::File));
      break;
    case TKind::Computer:
      for (const std::string& root : platform::Drives().RootPaths()) {
        if (!root.empty()) e->Fixed.push_back(TIDList::Single(TKindT::Drive, root));
      }
      break;
    case TKind::Trash:
      for (const std::string& folder : shell::TrashFilesFolders(FPlaces)) {
        auto dir = std::make_unique<TDirEnum>(folder, TKindT::TrashEntry);
        if (dir->Opened()) e->Dirs.push_back(std::move(dir));
      }
      break;
    case TKind::FileSystem: {
      auto dir = std::make_unique<TDirEnum>(FPath, TKindT::File);
      if (!dir->Opened()) return nullptr;
      e->Dirs.push_back(std::move(dir));
      break;
    }
  }
  return e;
}

std::optional<TIDList> TShellFolder::ParseDisplayName(const std::string& name) {
  if (name.empty()) return std::nullopt;
  switch (FKind) {
    case TKind::Computer:
      for (const std::string& root : platform::Drives().RootPaths()) {
        if (root == name) return TIDList::Single(TKindT::Drive, root);
      }
      return std::nullopt;
    case TKind::Trash: {
      for (const std::string& folder : shell::TrashFilesFolders(FPlaces)) {
        if (name.size() > folder.size() && name.compare(0, folder.size() + 1, folder + "/") == 0 &&
            shell::IsValidNewName(name.substr(folder.size() + 1))) {
          struct stat st;
          if (::lstat(name.c_str(), &st) == 0) return TIDList::Single(TKindT::TrashEntry, name);
        }
      }
      return std::nullopt;
    }
    case TKind::Desktop:
    case TKind::FileSystem: {
      if (!shell::IsValidNewName(name) || FPath.empty()) return std::nullopt;
      struct stat st;
      const std::string path = Join(FPath, name);
      if (::stat(path.c_str(), &st) != 0 && ::lstat(path.c_str(), &st) != 0) return std::nullopt;
      return TIDList::Single(S_ISDIR(st.st_mode) ? TKindT::Folder : TKindT::File, name);
    }
  }
  return std::nullopt;
}

bool TShellFolder::IsFolderItem(const TShellItem& item) {
  switch (item.Kind) {
    case TKindT::Computer:
    case TKindT::Home:
    case TKindT::Trash:
    case TKindT::Drive:
    case TKindT::Folder:
      return true;
    default:
      return false;
  }
}

std::optional<std::string> TShellFolder::ItemPath(const TIDList& list) const {
  if (list.Count() == 0) return std::nullopt;
  const TShellItem item = list.Item(0);
  switch (item.Kind) {
    case TKindT::Drive:
      return FKind == TKind::Computer ? std::optional<std::string>(item.Name) : std::nullopt;
    case TKindT::Home:
      return FKind == TKind::Desktop ? std::optional<std::string>(FPlaces.Home) : std::nullopt;
    case TKindT::Folder:
    case TKindT::File:
      if ((FKind != TKind::FileSystem && FKind != TKind::Desktop) || FPath.empty() ||
          !shell::IsValidNewName(item.Name)) {
        return std::nullopt;
      }
      return Join(FPath, item.Name);
    default:
      return std::nullopt;
  }
}

std::optional<std::string> TShellFolder::PhysicalPath(const TShellItem& item) const {
  if (item.Kind == TKindT::TrashEntry) {
    if (FKind != TKind::Trash) return std::nullopt;
    return item.Name;
  }
  return ItemPath(TIDList::Single(item.Kind, item.Name));
}

TShellFolder::TCached& TShellFolder::Cache(const TShellItem& item) {
  std::string key;
  key.reserve(item.Name.size() + 1);
  key += static_cast<char>(item.Kind);
  key += item.Name;
  return FCache[key];
}

const TFindData* TShellFolder::FindData(const TShellItem& item) {
  // Drives are never looked at: a hung mount must not freeze a listing.
  if (item.Kind == TKindT::Drive || item.Kind == TKindT::Computer || item.Kind == TKindT::Trash) {
    return nullptr;
  }
  TCached& c = Cache(item);
  if (!c.Looked) {
    c.Looked = true;
    const std::optional<std::string> path = PhysicalPath(item);
    struct stat st;
    if (path && ::lstat(path->c_str(), &st) == 0) {
      c.Found = true;
      c.Data.IsLink = S_ISLNK(st.st_mode);
      struct stat target;
      if (c.Data.IsLink && ::stat(path->c_str(), &target) == 0) st = target;
      const size_t slash = path->rfind('/');
      c.Data.FileName = slash == std::string::npos ? *path : path->substr(slash + 1);
      c.Data.Mode = st.st_mode;
      c.Data.IsDirectory = S_ISDIR(st.st_mode);
      c.Data.Size = S_ISREG(st.st_mode) && st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
      c.Data.ModifiedTime = static_cast<int64_t>(st.st_mtim.tv_sec);
    }
  }
  return c.Found ? &c.Data : nullptr;
}

const TFindData* TShellFolder::FindData(const TIDList& item) {
  if (item.Count() == 0) return nullptr;
  return FindData(item.Item(0));
}

uint32_t TShellFolder::GetAttributesOf(const TIDList& list, uint32_t mask) {
  if (list.Count() == 0) return 0;
  const TShellItem item = list.Item(0);
  uint32_t a = 0;
  switch (item.Kind) {
    case TKindT::Computer:
      a = SFGAO_FOLDER | SFGAO_FILESYSANCESTOR | SFGAO_HASSUBFOLDER;
      break;
    case TKindT::Home:
      a = SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR | SFGAO_HASSUBFOLDER |
          SFGAO_DROPTARGET | SFGAO_CANCOPY | SFGAO_CANLINK;
      break;
    case TKindT::Trash:
      a = SFGAO_FOLDER;
      break;
    case TKindT::Drive:
      a = SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR | SFGAO_HASSUBFOLDER |
          SFGAO_DROPTARGET | SFGAO_CANCOPY | SFGAO_CANLINK;
      if (item.Name != "/") a |= SFGAO_REMOVABLE;
      break;
    case TKindT::TrashEntry:
      a = SFGAO_CANCOPY;
      break;
    case TKindT::Folder:
    case TKindT::File:
      if (!ItemPath(list)) return 0;
      a = SFGAO_FILESYSTEM | SFGAO_CANCOPY | SFGAO_CANMOVE | SFGAO_CANLINK | SFGAO_CANRENAME |
          SFGAO_CANDELETE;
      a |= item.Kind == TKindT::Folder
               ? SFGAO_FOLDER | SFGAO_FILESYSANCESTOR | SFGAO_HASSUBFOLDER | SFGAO_DROPTARGET
               : SFGAO_STREAM;
      if (item.Name[0] == '.') a |= SFGAO_HIDDEN;
      if (mask & (SFGAO_LINK | SFGAO_READONLY)) {
        if (const TFindData* fd = FindData(item)) {
          if (fd->IsLink) a |= SFGAO_LINK;
          if ((fd->Mode & S_IWUSR) == 0) a |= SFGAO_READONLY;
        }
      }
      break;
  }
  return a & mask;
}

std::string TShellFolder::DisplayName(const TShellItem& item) {
  switch (item.Kind) {
    case TKindT::Computer: return "Computer";
    case TKindT::Home: return "Home";
    case TKindT::Trash: return "Trash";
    case TKindT::Drive: {
      std::string label;
      if (platform::Drives().VolumeLabel(item.Name, label) && !label.empty()) return label;
      if (item.Name == "/") return "File System";
      std::string root = item.Name;
      while (root.size() > 1 && root.back() == '/') root.pop_back();
      return root.substr(root.rfind('/') + 1);
    }
    case TKindT::TrashEntry: {
      TCached& c = Cache(item);
      if (c.DisplayName.empty()) c.DisplayName = shell::TrashOriginalName(item.Name);
      return c.DisplayName;
    }
    case TKindT::Folder:
    case TKindT::File:
      return item.Name;
  }
  return {};
}

std::string TShellFolder::GetDisplayNameOf(const TIDList& list, TShellNameForm form) {
  if (list.Count() == 0) return {};
  if (form == TShellNameForm::Parsing) return ItemPath(list).value_or(std::string());
  return DisplayName(list.Item(0));
}

std::optional<TIDList> TShellFolder::SetNameOf(const TIDList& list, const std::string& newName,
                                               int& error) {
  error = EINVAL;
  if (list.Count() == 0 || !shell::IsValidNewName(newName)) return std::nullopt;
  const TShellItem item = list.Item(0);
  const std::optional<std::string> from = ItemPath(list);
  if (!from || !item.IsFileSystem()) {
    error = EPERM;
    return std::nullopt;
  }
  error = 0;
  if (newName == item.Name) return TIDList::Single(item.Kind, item.Name);
  error = shell::RenameNoReplace(*from, Join(FPath, newName));
  if (error != 0) return std::nullopt;
  ForgetCache();
  return TIDList::Single(item.Kind, newName);
}

int TShellFolder::IconIndex(const TIDList& list, bool open) {
  if (list.Count() == 0) return iiDesktop;
  const TShellItem item = list.Item(0);
  switch (item.Kind) {
    case TKindT::Computer: return iiComputer;
    case TKindT::Home: return iiHome;
    case TKindT::Trash: return TrashHasEntries(FPlaces) ? iiTrashFull : iiTrash;
    case TKindT::Drive: return item.Name == "/" ? iiDrive : iiRemovableDrive;
    case TKindT::Folder: return open ? iiFolderOpen : iiFolder;
    case TKindT::File: return shell::IconIndexForThemeName(shell::FileIconName(item.Name));
    case TKindT::TrashEntry: {
      const TFindData* fd = FindData(item);
      if (fd && fd->IsDirectory) return iiFolder;
      return shell::IconIndexForThemeName(shell::FileIconName(DisplayName(item)));
    }
  }
  return iiFile;
}

int TShellFolder::OverlayIndex(const TIDList& list) {
  return GetAttributesOf(list, SFGAO_LINK) ? oiLink : oiNone;
}

std::string shell::DisplayNameOf(const TIDList& absolute) {
  if (absolute.Count() == 0) return "Desktop";
  std::unique_ptr<TShellFolder> parent = TShellFolder::Bind(absolute.Parent());
  return parent ? parent->GetDisplayNameOf(absolute.Last(), TShellNameForm::Normal) : std::string();
}
