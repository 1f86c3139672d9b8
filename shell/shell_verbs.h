#pragma once
// The file operations behind the navigator's verbs: renaming that never replaces, the
// clipboard's file lists (text/uri-list, with the cut marks that desktop file managers read)
// and pasting them, where a name clash gets "name (2).ext" and a move removes its source only
// after the copy succeeded.

#include <string>
#include <string_view>
#include <vector>

namespace shell {

// A name a file may be given: not empty, not "." or "..", without '/' or NUL.
bool IsValidNewName(std::string_view name);

// Renames from to to unless to exists; 0 on success, else an errno value (EEXIST when to is
// taken). Where the file system cannot rename atomically without replacing, a file is linked
// and unlinked, and failing that the target is checked just before renaming.
int RenameNoReplace(const std::string& from, const std::string& to);

// The clipboard's formats for a copy or cut of these paths.
void PlaceOnClipboard(const std::vector<std::string>& paths, bool cut);
// The paths on the clipboard, and whether they were cut; false when it holds no file list.
bool ClipboardFiles(std::vector<std::string>& paths, bool& cut);

// The first of "name", "name (2).ext", "name (3).ext", ... that does not exist in folder; a
// folder's name has no extension ("photos.2004 (2)").
std::string FreeTargetName(const std::string& folder, const std::string& name,
                           bool isFolder = false);

struct TPasteResult {
  std::vector<std::string> Sources;  // the clipboard's paths
  std::vector<std::string> Created;  // the new paths in the target folder
  bool HadFileList = false;
  bool Move = false;
  bool Ok = false;  // every source was copied or moved
};

// Copies (or, for a cut, moves) the clipboard's files and folders into targetFolder. A folder
// is never copied or moved into itself. After a completed move the clipboard is emptied.
TPasteResult PasteClipboard(const std::string& targetFolder);
// The same for a given list of sources.
bool PasteFiles(const std::vector<std::string>& sources, bool move, const std::string& targetFolder,
                std::vector<std::string>& created);

}  // namespace shell
