#pragma once
// The entries of the shell file list, kept apart from the widget that shows them: one entry
// per object of the navigator's folder that passes the filters, the parent entry " .. ", the
// detail columns with the widths the user gave them carried from one file-system folder to
// the next, the sort order, and the incremental refresh that brings the entries up to date
// with the folder without rebuilding them. Icons and detail texts are worked out only when
// an entry is first shown (EnsureDetails).

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "shell/nautex.h"
#include "shell/shell_object_filter.h"

struct TOrvikShellListItem {
  std::optional<TIDList> IDList;  // relative to the folder; none for the parent entry
  std::string Caption;            // the display name (raw bytes)
  std::vector<std::string> SubItems;  // detail texts of list columns 1 and on
  bool HasDetails = false;
  bool HasIcon = false;
  int ImageIndex = -1;
  int Overlay = -1;
  bool Ghosted = false;   // hidden, or cut to the clipboard
  int Seen = 1;
  bool IsParent = false;
  // What the detail texts were worked out from, so that a changed file gets them again.
  uint64_t DetailSize = 0;
  int64_t DetailTime = 0;
};

struct TListColumn {
  std::string Caption;
  TShellDetails::TAlign Align = TShellDetails::alLeft;
  int Width = 0;
  int ShellColumn = 0;
  bool ShellWidth = true;  // the width is the shell's, not one carried over from the user
};

// What an incremental refresh changed, for a view that keeps its selection and scrolling.
struct TListChangeSink {
  std::function<void(int Row)> BeforeRemove, AfterRemove;
  std::function<void(int First, int Last)> BeforeInsert, AfterInsert;
  // The rows are about to be reordered / were reordered: NewRow[old] gives the new position.
  std::function<void()> BeforeReorder;
  std::function<void(const std::vector<int>& NewRow)> AfterReorder;
  std::function<void(int Row)> RowChanged;
};

class TShellListEntries {
 public:
  static constexpr int kMaxColumns = 255;
  // Folders with at least this many entries are refilled instead of refreshed in place.
  static constexpr int kInPlaceLimit = 301;

  explicit TShellListEntries(TNautex& Nav);

  TNautex& Nav() { return FNav; }
  const std::vector<TOrvikShellListItem>& Items() const { return FItems; }
  int Count() const { return static_cast<int>(FItems.size()); }
  const TOrvikShellListItem& Item(int i) const { return FItems[i]; }
  const std::vector<TListColumn>& Columns() const { return FColumns; }

  uint32_t Options = soShowNethood | soShowRecycleBin | soShowFiles;
  bool ShowFolders = true;
  bool ShowParentFolder = false;
  bool Details = true;
  // The link allows going up (a list without a link always may).
  bool AllowGoingUp = true;
  int SortColumn = 0;
  bool Descending = false;

  // Takes the widths the user gave the current columns (kept when the folder has a path).
  void RememberWidths(const std::vector<int>& Widths);
  int RememberedWidth(int Column) const;

  // Rebuilds everything for the navigator's current folder: columns, entries, parent entry,
  // order. Counts the folder reads for tests.
  void Fill();
  // Brings the entries up to date with the folder: below kInPlaceLimit entries in place
  // (the sink hears of every change); returns false when the list is too long for that
  // and must be refilled.
  bool Update(const TListChangeSink& Sink = {});
  // Removes the entry whose object the folder compares equal to Item; -1 when none.
  int FindIDList(const TIDList& Item);
  void Remove(int Row, const TListChangeSink& Sink = {});
  // Drops every entry (a folder that could not be opened).
  void Clear() { FItems.clear(); }

  // Works out icon, overlay and detail texts of an entry not done yet.
  void EnsureDetails(int Row);
  // Sorts by SortColumn and Descending; the sink hears of the new order.
  void Sort(const TListChangeSink& Sink = {});
  // A header click: the sort column, toggling the direction on the current one.
  void ClickColumn(int Column, const TListChangeSink& Sink = {});
  // <0, 0, >0 in the list's order (the parent entry first whatever the direction).
  int Compare(int A, int B);

  // The path of an entry's object; the folder's parent for the parent entry.
  std::string PathOf(int Row);
  // Makes the entry's object the navigator's current object.
  void MakeCurrent(int Row);
  void SetCaption(int Row, const std::string& Caption, const TIDList& IDList);
  void SetGhosted(int Row, bool Value) { FItems[Row].Ghosted = Value; }
  int FillCount() const { return FFillCount; }

 private:
  void MakeColumns();
  bool AddCurrentObject(std::vector<TOrvikShellListItem>& To);
  void AddParentEntry();
  // From the last entry to the first, an entry whose file name (or caption) is Name.
  int FindByName(const std::string& Name, int Seen);
  void FillSubItems(TOrvikShellListItem& Item);

  TNautex& FNav;
  std::vector<TOrvikShellListItem> FItems;
  std::vector<TListColumn> FColumns;
  std::array<int, kMaxColumns> FWidths{};
  bool FHadPath = false;
  int FFillCount = 0;
};
