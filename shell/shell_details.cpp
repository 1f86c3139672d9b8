// The detail columns of a folder (Name, Size, Type, Changed) and the order of its objects.

#include <sys/stat.h>

#include "platform/drives.h"
#include "shell/shell_folder.h"
#include "shell/shell_text.h"

namespace {

using TKindT = TShellItemKind;

// Rank of an object among the desktop's children: the computer, the home folder and the trash
// come first, in that order, then the desktop folder's entries.
int Rank(TKindT kind) {
  switch (kind) {
    case TKindT::Computer: return 0;
    case TKindT::Home: return 1;
    case TKindT::Trash: return 2;
    case TKindT::Drive: return 3;
    default: return 4;
  }
}

template <typename T>
int Order(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

int DriveIndex(const std::vector<std::string>& roots, const std::string& root) {
  for (size_t i = 0; i < roots.size(); ++i) {
    if (roots[i] == root) return static_cast<int>(i);
  }
  return static_cast<int>(roots.size());
}

}  // namespace

namespace shell {

// Sizes in KB as the detail view shows them: rounded to the nearest KB, with sizes from 1 to
// 1023 bytes counting as 1 KB. 64-bit throughout.
std::string SizeText(uint64_t size) {
  uint64_t kb = size / 1024 + (size % 1024 >= 512 ? 1 : 0);
  if (size > 0 && kb == 0) kb = 1;
  return Formatter()->FormatNumber(kb) + " KB";
}

int CompareIDs(int column, const TIDList& a, const TIDList& b) {
  return TShellFolder::Bind(TIDList())->CompareIDs(column, a, b);
}

}  // namespace shell

const std::string& TShellFolder::TypeText(const TShellItem& item) {
  TCached& c = Cache(item);
  if (!c.HasType) {
    c.HasType = true;
    switch (item.Kind) {
      case TKindT::Folder: c.Type = shell::TypeName(item.Name, true); break;
      case TKindT::File: c.Type = shell::TypeName(item.Name, false); break;
      case TKindT::Drive: c.Type = "Drive"; break;
      case TKindT::TrashEntry: {
        const TFindData* fd = FindData(item);
        c.Type = shell::TypeName(DisplayName(item), fd && fd->IsDirectory);
        break;
      }
      default: c.Type = "System Folder"; break;
    }
  }
  return c.Type;
}

const std::wstring& TShellFolder::SortKey(const TShellItem& item) {
  TCached& c = Cache(item);
  if (!c.HasKey) {
    c.HasKey = true;
    c.Key = shell::CollationKey(DisplayName(item));
  }
  return c.Key;
}

TShellDetails TShellFolder::GetDetailsOf(const TIDList* list, int column) {
  static const TShellDetails kHeaders[] = {{"Name", TShellDetails::alLeft, 150},
                                           {"Size", TShellDetails::alRight, 60},
                                           {"Type", TShellDetails::alLeft, 120},
                                           {"Changed", TShellDetails::alLeft, 100}};
  if (column < 0 || column > 3) return {};
  TShellDetails d = kHeaders[column];
  if (!list) return d;
  d.Text.clear();
  if (list->Count() == 0) return d;
  const TShellItem item = list->Item(0);
  switch (column) {
    case 0:
      d.Text = DisplayName(item);
      break;
    case 1:
      if (!IsFolderItem(item)) {
        const TFindData* fd = FindData(item);
        if (fd && !fd->IsDirectory) d.Text = shell::SizeText(fd->Size);
      }
      break;
    case 2:
      d.Text = TypeText(item);
      break;
    case 3:
      if (const TFindData* fd = FindData(item); fd && fd->ModifiedTime != 0) {
        d.Text = shell::Formatter()->FormatDateTime(fd->ModifiedTime);
      }
      break;
  }
  return d;
}

int TShellFolder::CompareItems(int column, const TShellItem& a, const TShellItem& b) {
  // A file-system object is named by its name alone: the kind byte is what the directory said
  // when the list was made.
  if (a.Name == b.Name && (a.Kind == b.Kind || (a.IsFileSystem() && b.IsFileSystem()))) return 0;
  if (int r = Order(Rank(a.Kind), Rank(b.Kind))) return r;
  if (a.Kind == TKindT::Drive && b.Kind == TKindT::Drive) {
    const std::vector<std::string> roots = platform::Drives().RootPaths();
    if (int r = Order(DriveIndex(roots, a.Name), DriveIndex(roots, b.Name))) return r;
    return a.Name.compare(b.Name) < 0 ? -1 : 1;
  }
  if (a.Kind != b.Kind && (!a.IsFileSystem() || !b.IsFileSystem())) {
    return Order(static_cast<int>(a.Kind), static_cast<int>(b.Kind));
  }
  const auto isFolder = [this](const TShellItem& i) {
    if (i.Kind == TKindT::TrashEntry) {
      const TFindData* fd = FindData(i);
      return fd && fd->IsDirectory;
    }
    return IsFolderItem(i);
  };
  const bool fa = isFolder(a), fb = isFolder(b);
  if (fa != fb) return fa ? -1 : 1;
  switch (column) {
    case 1: {
      const TFindData* da = fa ? nullptr : FindData(a);
      const TFindData* db = fb ? nullptr : FindData(b);
      if (int r = Order(da ? da->Size : 0, db ? db->Size : 0)) return r;
      break;
    }
    case 2: {
      const std::string& ta = TypeText(a);
      const std::string& tb = TypeText(b);
      if (ta != tb) {
        if (int r = shell::CompareCollated(ta, tb)) return r;
      }
      break;
    }
    case 3: {
      const TFindData* da = FindData(a);
      const TFindData* db = FindData(b);
      if (int r = Order(da ? da->ModifiedTime : 0, db ? db->ModifiedTime : 0)) return r;
      break;
    }
    default:
      break;
  }
  if (int r = SortKey(a).compare(SortKey(b))) return r < 0 ? -1 : 1;
  const int r = a.Name.compare(b.Name);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int TShellFolder::CompareIDs(int column, const TIDList& a, const TIDList& b) {
  const size_t na = a.Count(), nb = b.Count();
  if (na == 0 || nb == 0) return Order(na, nb);
  const TShellItem ia = a.Item(0), ib = b.Item(0);
  if (int r = CompareItems(column, ia, ib)) return r;
  if (na == 1 || nb == 1) return Order(na, nb);
  std::unique_ptr<TShellFolder> child = Bind(FIDList.Append(ia.Kind, ia.Name), FPlaces);
  if (!child) return Order(a.Skip(1).Bytes(), b.Skip(1).Bytes());
  return child->CompareIDs(column, a.Skip(1), b.Skip(1));
}
