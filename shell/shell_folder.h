#pragma once
// A folder of the namespace, bound from its absolute ID list: the desktop, the computer, the
// trash or a file-system folder. It enumerates its objects and answers for each (given by its
// relative ID list, of which the first item is used) its attributes, names, details and icon,
// renames it, and orders two of them for a detail column.
//
// Enumeration reads names with readdir only: the kind of an entry comes from the directory
// itself, and only links (and file systems that do not report kinds) are looked up. Sizes and
// times are read when a detail column or a comparison asks for them, and kept until the next
// enumeration starts, so that sorting does not read them again for every comparison.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "shell/shell_id_list.h"
#include "shell/shell_services.h"

// What the file system says of an object (links followed; a dangling link describes itself).
struct TFindData {
  std::string FileName;
  uint64_t Size = 0;         // bytes; 0 for folders
  int64_t ModifiedTime = 0;  // seconds since 1970 (UTC); 0 when unknown
  uint32_t Mode = 0;         // st_mode
  bool IsDirectory = false;
  bool IsLink = false;
};

namespace shell {
// A size as the Size column shows it: "1 KB" for 1 to 1535 bytes, "2 KB" from 1536, and so on,
// with the formatter's thousands separators.
std::string SizeText(uint64_t size);
// The display name of the object an absolute ID list names ("Desktop" for the empty list).
std::string DisplayNameOf(const TIDList& absolute);
}  // namespace shell

struct TShellDetails {
  enum TAlign { alLeft = 0, alRight = 1, alCenter = 2 };
  std::string Text;
  TAlign Align = alLeft;
  int Width = 0;
};

enum class TShellNameForm {
  Normal,   // the name shown to the user (raw bytes for file-system objects)
  Parsing,  // the full file-system path; empty for virtual objects
};

class TShellEnum {
 public:
  enum TResult { Ok, End, Error };
  virtual ~TShellEnum() = default;
  // The next object as a one-item relative ID list.
  virtual TResult Next(TIDList& item) = 0;
};

class TShellFolder {
 public:
  enum class TKind { Desktop, Computer, Trash, FileSystem };

  // The folder an absolute ID list names; nullptr when it names no folder (a file, a trash
  // entry, a malformed list). Binding touches nothing on disk.
  static std::unique_ptr<TShellFolder> Bind(const TIDList& absolute);
  static std::unique_ptr<TShellFolder> Bind(const TIDList& absolute, const TShellPlaces& places);

  TKind Kind() const { return FKind; }
  const TIDList& IDList() const { return FIDList; }
  // The folder's file-system path without trailing '/' (a drive root keeps it); empty for
  // virtual folders and for a desktop without a folder of its own.
  const std::string& Path() const { return FPath; }
  const TShellPlaces& Places() const { return FPlaces; }

  // Folders, non-folders and hidden objects; nullptr when the folder cannot be read.
  std::unique_ptr<TShellEnum> EnumObjects();
  // An object of this folder by its exact name (for a drive, its root path; for a trash entry,
  // its path in the trash); nullopt when there is none.
  std::optional<TIDList> ParseDisplayName(const std::string& name);

  uint32_t GetAttributesOf(const TIDList& item, uint32_t mask);
  std::string GetDisplayNameOf(const TIDList& item, TShellNameForm form);
  // Renames a file-system object without ever replacing another one; returns the new item, or
  // nullopt with error set to an errno value (EINVAL for a name with '/' or NUL, ".", "..").
  std::optional<TIDList> SetNameOf(const TIDList& item, const std::string& newName, int& error);
  // Column caption (item nullptr) or an object's value; see shell_details.cpp.
  TShellDetails GetDetailsOf(const TIDList* item, int column);
  // <0, 0 (one object), >0. Lists of several items descend into subfolders.
  int CompareIDs(int column, const TIDList& a, const TIDList& b);

  // The object's file-system path; nullopt for virtual objects.
  std::optional<std::string> ItemPath(const TIDList& item) const;
  // File-system data of an object (cached); nullptr for the computer, the trash, drives and
  // objects that are gone.
  const TFindData* FindData(const TIDList& item);
  int IconIndex(const TIDList& item, bool open);
  int OverlayIndex(const TIDList& item);
  // Forgets the cached sizes, times and types.
  void ForgetCache() { FCache.clear(); }

 private:
  struct TCached {
    bool Looked = false;
    bool Found = false;
    TFindData Data;
    bool HasType = false;
    std::string Type;
    bool HasKey = false;
    std::wstring Key;          // collation key of the display name
    std::string DisplayName;  // of a trash entry
  };

  TShellFolder(TKind kind, TIDList idList, std::string path, TShellPlaces places);
  // The path of the object on disk, also for trash entries.
  std::optional<std::string> PhysicalPath(const TShellItem& item) const;
  TCached& Cache(const TShellItem& item);
  const TFindData* FindData(const TShellItem& item);
  const std::string& TypeText(const TShellItem& item);
  const std::wstring& SortKey(const TShellItem& item);
  std::string DisplayName(const TShellItem& item);
  bool IsFolderItem(const TShellItem& item);
  int CompareItems(int column, const TShellItem& a, const TShellItem& b);

  TKind FKind;
  TIDList FIDList;
  std::string FPath;
  TShellPlaces FPlaces;
  std::unordered_map<std::string, TCached> FCache;  // by item kind and name
};
