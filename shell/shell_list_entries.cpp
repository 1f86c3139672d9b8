#include "shell/shell_list_entries.h"

#include <algorithm>
#include <numeric>

#include "platform/fs.h"
#include "shell/shell_icons.h"

TShellListEntries::TShellListEntries(TNautex& Nav) : FNav(Nav) {}

void TShellListEntries::RememberWidths(const std::vector<int>& Widths) {
  if (!FHadPath) return;
  for (size_t i = 0; i < Widths.size() && i < FWidths.size(); ++i) FWidths[i] = Widths[i];
}

int TShellListEntries::RememberedWidth(int Column) const {
  return Column >= 0 && Column < kMaxColumns ? FWidths[Column] : 0;
}

void TShellListEntries::MakeColumns() {
  FHadPath = !FNav.Folder().empty();
  FColumns.clear();
  for (int c = 0; static_cast<int>(FColumns.size()) < kMaxColumns; ++c) {
    TListColumn column;
    column.Caption = FNav.DetailText(c, true);
    if (column.Caption.empty()) break;
    const TColumnInfo info = FNav.ColumnInfo(c);
    if (info.Width > 0) {
      const int position = static_cast<int>(FColumns.size());
      const int remembered = FWidths[position];
      column.ShellWidth = !(FHadPath && remembered >= 1);
      column.Width = column.ShellWidth ? info.Width : remembered;
      column.Align = info.Align;
      column.ShellColumn = c;
      FColumns.push_back(std::move(column));
    }
    if (!Details) break;
  }
}

bool TShellListEntries::AddCurrentObject(std::vector<TOrvikShellListItem>& To) {
  if (!ShowFolders && FNav.IsFolder()) return false;
  if (!PassesObjectFilter(FNav, Options)) return false;
  TOrvikShellListItem item;
  item.Caption = FNav.DisplayName();
  item.IDList = FNav.ObjectIDList();
  To.push_back(std::move(item));
  return true;
}

void TShellListEntries::AddParentEntry() {
  TOrvikShellListItem item;
  item.Caption = " .. ";
  item.IsParent = true;
  item.HasDetails = item.HasIcon = true;
  item.ImageIndex = iiTemporaryFolder;
  FItems.push_back(std::move(item));
}

void TShellListEntries::Fill() {
  ++FFillCount;
  FItems.clear();
  MakeColumns();
  FNav.EndEnumeration();
  while (FNav.NextObject()) AddCurrentObject(FItems);
  const std::optional<TIDList> folder = FNav.FolderIDList();
  if (ShowParentFolder && AllowGoingUp && folder && !folder->IsEmpty()) AddParentEntry();
  Sort();
}

int TShellListEntries::FindByName(const std::string& Name, int Seen) {
  for (int i = Count() - 1; i >= 0; --i) {
    const TOrvikShellListItem& item = FItems[i];
    if (item.IsParent || item.Seen != Seen || !item.IDList) continue;
    if (item.IDList->LastItem().Name == Name) return i;
  }
  return -1;
}

bool TShellListEntries::Update(const TListChangeSink& Sink) {
  if (Count() >= kInPlaceLimit) return false;
  for (TOrvikShellListItem& item : FItems) {
    if (!item.IsParent) item.Seen = 0;
  }
  std::vector<TOrvikShellListItem> added;
  FNav.EndEnumeration();
  while (FNav.NextObject()) {
    const std::optional<TIDList> object = FNav.ObjectIDList();
    if (!object || object->Count() == 0) continue;
    const int row = FindByName(object->LastItem().Name, 0);
    if (row < 0) {
      AddCurrentObject(added);
      continue;
    }
    TOrvikShellListItem& item = FItems[row];
    item.Seen = 1;
    item.IDList = object;  // a file that became a folder (or back) is named anew
    if (item.HasDetails) {
      // A file that was written since its texts were made shows its new size and time.
      const TFindData* fd = FNav.FindData();
      const uint64_t size = fd ? fd->Size : 0;
      const int64_t time = fd ? fd->ModifiedTime : 0;
      if (size != item.DetailSize || time != item.DetailTime) {
        item.HasDetails = false;
        item.SubItems.clear();
        if (Sink.RowChanged) Sink.RowChanged(row);
      }
    }
  }
  for (int i = Count() - 1; i >= 0; --i) {
    if (!FItems[i].IsParent && FItems[i].Seen == 0) Remove(i, Sink);
  }
  if (!added.empty()) {
    const int first = Count();
    const int last = first + static_cast<int>(added.size()) - 1;
    if (Sink.BeforeInsert) Sink.BeforeInsert(first, last);
    for (TOrvikShellListItem& item : added) FItems.push_back(std::move(item));
    if (Sink.AfterInsert) Sink.AfterInsert(first, last);
    Sort(Sink);
  }
  return true;
}

int TShellListEntries::FindIDList(const TIDList& Item) {
  for (int i = 0; i < Count(); ++i) {
    if (FItems[i].IDList && FNav.CompareIDs(0, *FItems[i].IDList, Item) == 0) return i;
  }
  return -1;
}

void TShellListEntries::Remove(int Row, const TListChangeSink& Sink) {
  if (Row < 0 || Row >= Count()) return;
  if (Sink.BeforeRemove) Sink.BeforeRemove(Row);
  FItems.erase(FItems.begin() + Row);
  if (Sink.AfterRemove) Sink.AfterRemove(Row);
}

void TShellListEntries::MakeCurrent(int Row) {
  const TOrvikShellListItem& item = FItems[Row];
  FNav.SetObjectIDList(item.IDList ? &*item.IDList : nullptr);
}

void TShellListEntries::FillSubItems(TOrvikShellListItem& Item) {
  Item.SubItems.clear();
  for (size_t c = 1; c < FColumns.size(); ++c) {
    Item.SubItems.push_back(FNav.DetailText(FColumns[c].ShellColumn, false));
  }
  const TFindData* fd = FNav.FindData();
  Item.DetailSize = fd ? fd->Size : 0;
  Item.DetailTime = fd ? fd->ModifiedTime : 0;
  Item.HasDetails = true;
}

void TShellListEntries::EnsureDetails(int Row) {
  if (Row < 0 || Row >= Count()) return;
  TOrvikShellListItem& item = FItems[Row];
  if (item.IsParent || (item.HasIcon && (item.HasDetails || !Details))) return;
  MakeCurrent(Row);
  if (Details && !item.HasDetails) FillSubItems(item);
  if (!item.HasIcon) {
    item.HasIcon = true;
    item.ImageIndex = FNav.SmallIconIndex();
    item.Overlay = FNav.OverlayIndex();
    if (FNav.IsHidden()) item.Ghosted = true;
  }
}

int TShellListEntries::Compare(int A, int B) {
  const TOrvikShellListItem& a = FItems[A];
  const TOrvikShellListItem& b = FItems[B];
  if (a.IsParent != b.IsParent) return a.IsParent ? -1 : 1;
  if (a.IsParent) return 0;
  int r = 0;
  if (SortColumn < static_cast<int>(FColumns.size()) && a.IDList && b.IDList) {
    r = FNav.CompareIDs(FColumns[SortColumn].ShellColumn, *a.IDList, *b.IDList);
    r = r < 0 ? -1 : (r > 0 ? 1 : 0);
  } else {
    r = platform::UpperAscii(a.Caption).compare(platform::UpperAscii(b.Caption));
    r = r < 0 ? -1 : (r > 0 ? 1 : 0);
  }
  return Descending ? -r : r;
}

void TShellListEntries::Sort(const TListChangeSink& Sink) {
  if (SortColumn >= static_cast<int>(FColumns.size())) SortColumn = 0;
  std::vector<int> order(FItems.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [this](int a, int b) { return Compare(a, b) < 0; });
  bool changed = false;
  for (size_t i = 0; i < order.size() && !changed; ++i) changed = order[i] != static_cast<int>(i);
  if (!changed) return;
  if (Sink.BeforeReorder) Sink.BeforeReorder();
  std::vector<TOrvikShellListItem> sorted;
  sorted.reserve(FItems.size());
  std::vector<int> newRow(FItems.size());
  for (size_t i = 0; i < order.size(); ++i) {
    newRow[order[i]] = static_cast<int>(i);
    sorted.push_back(std::move(FItems[order[i]]));
  }
  FItems = std::move(sorted);
  if (Sink.AfterReorder) Sink.AfterReorder(newRow);
}

void TShellListEntries::ClickColumn(int Column, const TListChangeSink& Sink) {
  Descending = Column == SortColumn && !Descending;
  SortColumn = Column;
  Sort(Sink);
}

std::string TShellListEntries::PathOf(int Row) {
  const std::optional<TIDList> folder = FNav.FolderIDList();
  if (!folder || Row < 0 || Row >= Count()) return {};
  const TOrvikShellListItem& item = FItems[Row];
  if (item.IsParent) return shell::PathFromIDList(folder->Parent()).value_or(std::string());
  return shell::PathFromIDList(folder->Join(*item.IDList)).value_or(std::string());
}

void TShellListEntries::SetCaption(int Row, const std::string& Caption, const TIDList& IDList) {
  FItems[Row].Caption = Caption;
  FItems[Row].IDList = IDList;
  FItems[Row].HasDetails = false;
}
