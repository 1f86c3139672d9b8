#include "shell/shell_combo_entries.h"

#include "shell/shell_icons.h"

namespace {

bool IsDrive(const std::optional<TIDList>& list) {
  return list && list->Count() > 0 && list->LastItem().Kind == TShellItemKind::Drive;
}

}  // namespace

void TShellComboEntries::Clear() {
  FItems.clear();
  FSelected = -1;
}

void TShellComboEntries::Insert(int Position, TOrvikComboItem Item) {
  FItems.insert(FItems.begin() + Position, std::move(Item));
  if (FSelected >= Position) ++FSelected;
}

void TShellComboEntries::Erase(int Index) {
  FItems.erase(FItems.begin() + Index);
  if (FSelected == Index) FSelected = -1;
  else if (FSelected > Index) --FSelected;
}

int TShellComboEntries::AddEntry(int Position, TOrvikComboItem Item) {
  if (Item.EntryText.empty() && Item.DisplayName.empty()) return -1;
  if (Position < 0 || Position > Count()) Position = Count();
  Insert(Position, std::move(Item));
  return Position;
}

void TShellComboEntries::AddFolderEntries(int P, int L) {
  int d = P;
  while (FNav.NextObject()) {
    if (!FNav.IsFolder() || !PassesObjectFilter(FNav, FOptions)) continue;
    TOrvikComboItem item;
    item.DisplayName = FNav.DisplayName();
    item.EntryText = FNav.ObjectName();
    if (item.EntryText.empty()) item.EntryText = item.DisplayName;
    item.Level = L;
    item.ImageIndex = FNav.SmallIconIndex();
    item.IDList = FNav.AbsoluteIDList();
    const bool drive = IsDrive(FNav.ObjectIDList());
    if (AddEntry(drive ? d : P, std::move(item)) < 0) continue;
    if (drive) ++d;
    ++P;
  }
}

void TShellComboEntries::Fill() {
  Clear();
  const TIDList desktop;
  TOrvikComboItem top;
  top.DisplayName = top.EntryText = shell::DisplayNameOf(desktop);
  top.ImageIndex = iiDesktop;
  top.IDList = desktop;
  AddEntry(0, std::move(top));
  FNav.SetFolderIDList(desktop);
  AddFolderEntries(1, 1);
  if (Count() < 2) return;
  FNav.SetSpecialFolder(SF_DRIVES);
  if (FNav.SpecialFolder() == SF_DRIVES) AddFolderEntries(2, 2);
}

std::string TShellComboEntries::PathOf(int Index) const {
  if (Index < 0 || Index >= Count() || !FItems[Index].IDList) return {};
  return shell::PathFromIDList(*FItems[Index].IDList).value_or(std::string());
}

int TShellComboEntries::FindIDList(const TIDList& List) const {
  for (int i = 0; i < Count(); ++i) {
    if (FItems[i].IDList && shell::CompareIDs(0, *FItems[i].IDList, List) == 0) return i;
  }
  return -1;
}

std::vector<std::string> TShellComboEntries::DriveRoots() const {
  std::vector<std::string> roots;
  for (const TOrvikComboItem& item : FItems) {
    if (item.Permanent && IsDrive(item.IDList)) roots.push_back(item.EntryText);
  }
  return roots;
}

void TShellComboEntries::RemoveChainEntries() {
  for (int i = Count() - 1; i >= 0; --i) {
    if (!FItems[i].Permanent) Erase(i);
  }
}

void TShellComboEntries::RemoveChainBelowSelection() {
  for (int i = Count() - 1; i > FSelected && FSelected >= 0; --i) {
    if (!FItems[i].Permanent) Erase(i);
  }
}

bool TShellComboEntries::SelectIDList(const TIDList& List) {
  const std::string path = shell::PathFromIDList(List).value_or(std::string());
  // A folder on a drive the box does not list (one that came after the fill) is reached
  // through the chain of its ID list instead.
  if (!path.empty() && !List.IsEmpty() && InsertPathChain(path)) return true;
  RemoveChainEntries();
  const int found = FindIDList(List);
  if (found >= 0) {
    FSelected = found;
    return true;
  }
  InsertIDListChain(List);
  return FSelected >= 0;
}

bool TShellComboEntries::InsertPathChain(const std::string& Path) {
  RemoveChainEntries();
  // The drive that holds the path: the drive entry with the longest root that begins it.
  int drive = -1;
  for (int i = 0; i < Count(); ++i) {
    if (!IsDrive(FItems[i].IDList)) continue;
    const std::string& root = FItems[i].EntryText;
    const std::string withSlash = shell::WithSlash(Path);
    if (withSlash.compare(0, root.size(), root) != 0) continue;
    if (drive < 0 || root.size() > FItems[drive].EntryText.size()) drive = i;
  }
  if (drive < 0) {
    FSelected = -1;
    return false;
  }
  const std::string root = FItems[drive].EntryText;
  FNav.SetFolderIDList(*FItems[drive].IDList);
  int last = drive;
  std::string rest = shell::WithSlash(Path).substr(root.size());
  while (!rest.empty()) {
    const size_t slash = rest.find('/');
    const std::string component = rest.substr(0, slash);
    rest = slash == std::string::npos ? std::string() : rest.substr(slash + 1);
    if (component.empty()) continue;
    FNav.SetObjectName(component);
    TOrvikComboItem item;
    item.EntryText = item.DisplayName = component;
    item.ImageIndex = FNav.SmallIconIndex();
    if (!FNav.OpenObject() || FNav.ObjectIDList()) {
      throw ENautexError("Error! Cannot find Object \"" + component + "\" in Folder \"" +
                         FNav.Folder() + "\"");
    }
    item.Level = FItems[last].Level + 1;
    item.Permanent = false;
    item.IDList = FNav.FolderIDList();
    Insert(last + 1, std::move(item));
    ++last;
  }
  FSelected = last;
  if (last != drive && FItems[last].IDList) {
    FNav.SetAbsoluteIDList(*FItems[last].IDList);
    FItems[last].ImageIndex = FNav.OpenIconIndex();
  }
  return true;
}

void TShellComboEntries::InsertIDListChain(const TIDList& List) {
  RemoveChainEntries();
  int ancestor = -1;
  size_t depth = 0;
  for (size_t n = List.Count() + 1; n-- > 0;) {
    ancestor = FindIDList(List.Cut(n));
    if (ancestor >= 0) {
      depth = n;
      break;
    }
  }
  if (ancestor < 0) return;
  int last = ancestor;
  for (size_t n = depth + 1; n <= List.Count(); ++n) {
    const TIDList partial = List.Cut(n);
    FNav.SetAbsoluteIDList(partial);
    TOrvikComboItem item;
    item.EntryText = item.DisplayName = FNav.DisplayName();
    item.ImageIndex = FNav.SmallIconIndex();
    item.Level = FItems[last].Level + 1;
    item.Permanent = false;
    item.IDList = partial;
    if (item.EntryText.empty()) continue;
    Insert(last + 1, std::move(item));
    ++last;
  }
  FSelected = last;
}
