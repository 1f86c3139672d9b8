#pragma once
// TNautex: a cursor over the shell namespace. It holds one current folder (its absolute ID
// list, its bound folder and, for file-system folders, its path) and one current object inside
// it (a relative ID list), enumerates the folder's objects through its filters, and answers
// what the shell controls ask about the current object: names, attributes, icons, detail
// texts, and verbs.
//
// Paths: Folder ends in '/' (a drive root keeps its one '/'), "//", "." and ".." are resolved,
// and names and paths are compared byte for byte; only the filter masks ignore case. Object
// and display names of file-system objects are the raw bytes of their names.

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/object.h"
#include "shell/shell_filter.h"
#include "shell/shell_folder.h"
#include "shell/shell_id_list.h"
#include "shell/shell_services.h"
#include "shell/shell_verbs.h"

class TVLBitmap;

class ENautexError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TColumnInfo {
  TShellDetails::TAlign Align = TShellDetails::alLeft;
  int Width = 0;
};

class TNautex : public TComponent {
 public:
  explicit TNautex(TComponent* Owner = nullptr);
  ~TNautex() override;
  TNautex(const TNautex&) = delete;
  TNautex& operator=(const TNautex&) = delete;

  // ---- Properties -------------------------------------------------------------------------
  // Masks separated by semicolons ("*.jpg;*.tif"); folders always pass.
  std::string Filter() const { return FMasks.Get(); }
  void SetFilter(const std::string& Value) { FMasks.Set(Value); }
  // The current folder's path ending in '/', or empty for folders without one.
  std::string Folder() const { return FFolder; }
  // Navigates; "" opens the computer. Throws ENautexError (the system's path-not-found text, a
  // line break and the path) for a relative or unknown path, keeping the old folder.
  void SetFolder(const std::string& Value);
  std::string ObjectName();
  // Looks the object up by name: in the folder, or a path (whose folder is opened first); a
  // drive root becomes the current object of the computer. "" clears the object. Throws
  // ENautexError ("Error! Cannot find Object "N" in Folder "F"") when nothing matches.
  void SetObjectName(const std::string& Name);
  bool FileSystemOnly() const { return FFileSystemOnly; }
  void SetFileSystemOnly(bool Value) { FFileSystemOnly = Value; }
  // Names of objects of the folder for the next verb, instead of the current object.
  std::vector<std::string>& MultiObjects() { return FMultiObjects; }
  bool ShowErrorMessages() const { return FShowErrorMessages; }
  void SetShowErrorMessages(bool Value) { FShowErrorMessages = Value; }
  bool ShowContextMenuOnTop() const { return FShowContextMenuOnTop; }
  void SetShowContextMenuOnTop(bool Value) { FShowContextMenuOnTop = Value; }
  // Reading identifies the current folder; writing opens a special folder (one that is not
  // provided leaves the navigator as it is).
  TOrvikShellFolder SpecialFolder() const;
  void SetSpecialFolder(TOrvikShellFolder Value);
  std::string Version() const { return "TNautex V4.2"; }
  // Set by a read-only list: the context menu refuses "delete", "cut" and "paste".
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value) { FReadOnly = Value; }
  bool Loaded() const { return FLoaded; }
  void SetLoaded(bool Value) { FLoaded = Value; }

  // Called instead of renaming for the verb "rename".
  TNotifyEvent OnRename;
  // Decides whether a verb is carried out.
  std::function<void(TObject* Sender, const std::string& Verb, bool& Allowed)> OnContextMenuSelect;

  // ---- ID lists ------------------------------------------------------------------------------
  // Makes that folder current (nullptr: no folder). Throws ENautexError "Nautex.SetFolderIDList:
  // Desktop.BindToObject: Could not get Folder" for a list that names no folder, keeping the
  // current folder.
  void SetFolderIDList(const TIDList* List);
  void SetFolderIDList(const TIDList& List) { SetFolderIDList(&List); }
  std::optional<TIDList> FolderIDList() const { return FFolderIDList; }
  std::optional<TIDList> ObjectIDList() const { return FObject; }
  void SetObjectIDList(const TIDList* List);
  void SetObjectIDList(const TIDList& List) { SetObjectIDList(&List); }
  // The folder's list joined with the object's (the folder's alone without an object).
  TIDList AbsoluteIDList();
  // Opens the list's parent folder and makes its last item the object; the empty list opens
  // the desktop.
  void SetAbsoluteIDList(const TIDList& List);
  // The bound folder, for comparisons and details (nullptr without a folder).
  TShellFolder* FolderObject() const { return FFolderObj.get(); }

  // ---- Navigation and enumeration -------------------------------------------------------------
  // The parent folder becomes current, with the former folder as its object.
  void OpenParent();
  // A current object that is a folder becomes the current folder. Returns whether a folder
  // is available afterwards.
  bool OpenObject();
  // The next object of the folder that passes FileSystemOnly and the filter masks; false at
  // the end (the enumeration then starts again with the next call).
  bool NextObject();
  void EndEnumeration() { FEnum.reset(); }

  // ---- The current object --------------------------------------------------------------------
  // The object's name as shown (without an object, the folder's: "Desktop", "Computer", ...).
  std::string DisplayName();
  // The object's file-system path (the folder's without an object); empty for virtual ones.
  std::string ObjectPath();
  uint32_t GetAttributes(uint32_t Mask);
  bool IsFolder();
  bool IsHidden() { return GetAttributes(SFGAO_HIDDEN) != 0; }
  bool IsLink() { return GetAttributes(SFGAO_LINK) != 0; }
  bool CanRename() { return GetAttributes(SFGAO_CANRENAME) != 0; }
  // For a link to a directory, the directory's path; else empty.
  std::string LinkTarget();
  TOrvikShellFolder ObjectSpecialFolder();
  int SmallIconIndex() { return IconIndex(false); }
  int OpenIconIndex() { return IconIndex(true); }
  int OverlayIndex();
  // A column's caption (Header) or the object's value in it.
  std::string DetailText(int Column, bool Header);
  TColumnInfo ColumnInfo(int Column);
  // Last change of the object in seconds since 1970 (UTC), 0 when unknown.
  int64_t ModifiedTime();
  // The object's file-system data (nullptr for virtual objects and drives). Read once and kept
  // until the folder is enumerated again or a verb changes it; the pointer is valid until then.
  const TFindData* FindData();
  // The current folder's order of two relative lists for a column.
  int CompareIDs(int Column, const TIDList& A, const TIDList& B);
  std::string InfoTip();
  // The object's image reduced to fit Width x Height (64 x 64 when either is not positive),
  // made with our imaging library; nullptr when the object is no readable image.
  std::unique_ptr<TVLBitmap> Thumbnail(int Width, int Height);

  // ---- Verbs -----------------------------------------------------------------------------------
  // Carries out "open" ("" and "default" too), "delete" (to the trash), "rename" (OnRename),
  // "copy", "cut" and "paste" on the object or MultiObjects, which is emptied afterwards.
  // Returns success; see VerbPaths and LastError.
  bool InvokeVerb(const std::string& Verb);
  // Renames the object without replacing another (a name with '/' or NUL, "." and ".." are
  // refused); returns the display name of the object afterwards. Ok tells whether it changed.
  std::string RenameObject(const std::string& NewName, bool* Ok = nullptr);
  // The paths the last verb acted on: for "delete" only those really gone, for "copy" and
  // "cut" the paths placed on the clipboard, for "paste" the clipboard's paths.
  const std::vector<std::string>& VerbPaths() const { return FVerbPaths; }
  const shell::TPasteResult& LastPaste() const { return FLastPaste; }
  // errno value of the last failed verb or rename, 0 after success.
  int LastError() const { return FLastError; }
  // The verbs a context menu offers for the object or MultiObjects.
  std::vector<std::string> ContextMenuVerbs();
  // Carries out a verb chosen from a context menu: OnContextMenuSelect (or, for a read-only
  // navigator, the refusal of "delete", "cut" and "paste") decides; "rename" goes to OnRename.
  // Returns the verb, or empty when it was refused, failed, or a deletion left the object.
  std::string RunContextMenuVerb(const std::string& Verb);

 private:
  int IconIndex(bool open);
  bool PassesFilters();
  std::optional<TIDList> LookUp(const std::string& name);
  std::string ObjectNameOf(const TIDList& item);
  std::optional<std::string> PathOf(const TIDList& item) const;
  [[noreturn]] void ThrowPathNotFound(const std::string& path) const;

  std::optional<TIDList> FFolderIDList;
  std::unique_ptr<TShellFolder> FFolderObj;
  std::string FFolder;
  std::optional<TIDList> FObject;
  std::optional<TIDList> FAbsolute;
  std::unique_ptr<TShellEnum> FEnum;
  TFilterMasks FMasks;
  std::vector<std::string> FMultiObjects;
  bool FFileSystemOnly = false;
  bool FShowErrorMessages = true;
  bool FShowContextMenuOnTop = false;
  bool FReadOnly = false;
  bool FLoaded = false;
  std::vector<std::string> FVerbPaths;
  shell::TPasteResult FLastPaste;
  int FLastError = 0;
};
