#pragma once
// The system image list's indices. The first indices are fixed icons of the namespace; every
// further index stands for an icon-theme name (a file type's icon), handed out on first use
// and kept for the life of the process. The toolkit side turns an index into a picture
// through ShellIconKey.

#include <string>

enum TShellIconIndex : int {
  iiFolder = 0,
  iiFolderOpen,
  iiFile,
  iiDrive,
  iiRemovableDrive,
  iiComputer,
  iiHome,
  iiDesktop,
  iiTrash,
  iiTrashFull,
  iiTemporaryFolder,  // the parent entry of a file list
  kFirstThemeIcon,
};

// Overlay indices (drawn over an icon); -1 for none.
enum TShellOverlayIndex : int { oiNone = -1, oiShare = 0, oiLink = 1 };

namespace shell {

// The index for an icon-theme name; the generic file icon for an empty name. Thread-safe.
int IconIndexForThemeName(const std::string& themeName);
// For a fixed index, a name for it ("folder", "folder-open", "computer", ...); for a later
// index the icon-theme name it was handed out for; empty for an unknown index.
std::string ShellIconKey(int index);

}  // namespace shell
