#pragma once
// The entries of the shell box, kept apart from the widget that shows them: the desktop at
// level 0, its folders at level 1 with the computer's drives and folders at level 2 right after
// the first of them, and, for a chosen deeper folder, the chain of folders leading to it
// (entries that are not permanent and go away when another entry is chosen). All namespace
// work goes through the box's navigator.

#include <optional>
#include <string>
#include <vector>

#include "shell/nautex.h"
#include "shell/shell_object_filter.h"

struct TOrvikComboItem {
  std::string EntryText;    // the entry string: a drive's root path, a folder's name
  std::string DisplayName;  // drawn in the dropped-down list
  int Level = 0;
  int ImageIndex = -1;      // system image list index of the small icon
  bool Permanent = true;    // made by the fill (not a chain entry)
  std::optional<TIDList> IDList;  // absolute
};

class TShellComboEntries {
 public:
  explicit TShellComboEntries(TNautex& Nav) : FNav(Nav) {}

  const std::vector<TOrvikComboItem>& Items() const { return FItems; }
  int Count() const { return static_cast<int>(FItems.size()); }
  const TOrvikComboItem& Item(int i) const { return FItems[i]; }
  int Selected() const { return FSelected; }
  // Selects an entry (-1: none) without running anything else.
  void SetSelected(int Index) { FSelected = Index >= 0 && Index < Count() ? Index : -1; }
  uint32_t Options() const { return FOptions; }
  // Stored without soShowFiles: the box lists folders only.
  void SetOptions(uint32_t Value) { FOptions = Value & ~uint32_t(soShowFiles); }

  void Clear();
  // Rebuilds the permanent entries (nothing selected afterwards).
  void Fill();
  // Adds the folders of the navigator's current folder from position P with level L: drives
  // first in the order found, then the other folders in the order found.
  void AddFolderEntries(int P, int L);
  // Inserts an entry (a position beyond the end or negative appends); an entry without any
  // text is not added. Returns its position, or -1.
  int AddEntry(int Position, TOrvikComboItem Item);

  // Selects the folder an absolute ID list names: a file-system folder through its path
  // chain below its drive, anything else (and a folder of a drive without an entry) through
  // an entry that holds it or the chain of its ID list. Returns
  // false when nothing could be selected. Throws ENautexError for a chain component that
  // cannot be found.
  bool SelectIDList(const TIDList& List);
  // The chain below the drive that holds path; false when no drive entry holds it.
  bool InsertPathChain(const std::string& Path);
  void InsertIDListChain(const TIDList& List);
  void RemoveChainEntries();
  // Removes the chain entries below the selected one (the chain above it stays).
  void RemoveChainBelowSelection();

  // The file-system path of an entry (a drive root keeps its '/'); empty for virtual ones.
  std::string PathOf(int Index) const;
  std::string SelectedPath() const { return PathOf(FSelected); }
  // The first entry whose ID list names the same object; -1 for none.
  int FindIDList(const TIDList& List) const;
  // The root paths of the drive entries, in order (to notice drives coming and going).
  std::vector<std::string> DriveRoots() const;

 private:
  void Insert(int Position, TOrvikComboItem Item);
  void Erase(int Index);

  TNautex& FNav;
  std::vector<TOrvikComboItem> FItems;
  int FSelected = -1;
  uint32_t FOptions = soShowNethood | soShowRecycleBin;
};
