#pragma once
// The shell services: the namespace that the shell controls browse, and the seams through
// which the window toolkit supplies what only it has.
//
// The namespace: the desktop (the empty ID list) holds the computer, the home folder, the
// trash and then the entries of the XDG desktop folder; the computer holds the drives of the
// drive table (never touched on disk, so a hung mount cannot freeze a window that merely lists
// it); drives and the home folder hold directories. A file-system path resolves to the
// computer's form: the computer, the drive whose root is the path's drive prefix, then one
// item per component.
//
// The seams (TShellHooks) have plain fallbacks here, so everything works and can be tested
// without the toolkit; the program installs the toolkit's versions at start-up.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/shell_id_list.h"

// Attribute bits of namespace objects (the values the platform's shell uses).
enum : uint32_t {
  SFGAO_CANCOPY = 0x00000001,
  SFGAO_CANMOVE = 0x00000002,
  SFGAO_CANLINK = 0x00000004,
  SFGAO_CANRENAME = 0x00000010,
  SFGAO_CANDELETE = 0x00000020,
  SFGAO_HASPROPSHEET = 0x00000040,
  SFGAO_DROPTARGET = 0x00000100,
  SFGAO_ENCRYPTED = 0x00002000,
  SFGAO_LINK = 0x00010000,
  SFGAO_SHARE = 0x00020000,
  SFGAO_READONLY = 0x00040000,
  SFGAO_HIDDEN = 0x00080000,
  SFGAO_STREAM = 0x00400000,
  SFGAO_REMOVABLE = 0x02000000,
  SFGAO_COMPRESSED = 0x04000000,
  SFGAO_FILESYSANCESTOR = 0x10000000,
  SFGAO_FOLDER = 0x20000000,
  SFGAO_FILESYSTEM = 0x40000000,
  SFGAO_HASSUBFOLDER = 0x80000000,
};

// The special folders, in this order. Provided here: the desktop, the computer (also for
// SF_FILESYSTEMFOLDER), the home folder (personal), the trash (bit bucket), the XDG desktop,
// pictures and templates folders, app data (the XDG config folder) and local app data (the XDG
// data folder). The others are not provided.
enum TOrvikShellFolder {
  SF_FILESYSTEMFOLDER, SF_BITBUCKET, SF_CONTROLS, SF_DESKTOP, SF_DESKTOPDIRECTORY, SF_DRIVES,
  SF_FONTS, SF_NETHOOD, SF_NETWORK, SF_PERSONAL, SF_PRINTERS, SF_PROGRAMS, SF_RECENT,
  SF_SENDTO, SF_STARTMENU, SF_STARTUP, SF_TEMPLATES, SF_FAVORITES, SF_COMMON_STARTMENU,
  SF_COMMON_STARTUP, SF_COMMON_DESKTOPDIRECTORY, SF_APPDATA, SF_PRINTHOOD, SF_COMMON_FAVORITES,
  SF_INTERNET_CACHE, SF_COOKIES, SF_HISTORY, SF_COMMON_PROGRAMS, SF_ALTSTARTUP,
  SF_COMMON_APPDATA, SF_COMMON_DOCUMENTS, SF_INTERNET, SF_LOCAL_APPDATA, SF_MYPICTURES,
  SF_PROGRAM_FILES, SF_SYSTEM, SF_PROGRAM_FILES_COMMON,
};

// Numbers and times of the detail columns. The fallback groups digits by three with commas
// and writes local times as "YYYY-MM-DD HH:MM"; the program installs the application locale's.
class TShellFormatter {
 public:
  virtual ~TShellFormatter() = default;
  virtual std::string FormatNumber(uint64_t value) const;
  // unixSeconds: seconds since 1970 (UTC); the text shows local time.
  virtual std::string FormatDateTime(int64_t unixSeconds) const;
};

struct TShellHooks {
  // The type text of a file or folder by its name (no content is read). Fallback: "Folder";
  // the upper-cased extension and " File"; "File".
  std::function<std::string(const std::string& name, bool folder)> TypeName;
  // The icon-theme name for a file by its name; empty for the generic file icon (fallback).
  std::function<std::string(const std::string& name)> FileIconName;
  // Opens a file or folder with the desktop's handler, never executing it. Fallback: xdg-open.
  std::function<bool(const std::string& path)> Open;
  // Moves a file or folder to the trash. Fallback: our own freedesktop trash code.
  std::function<bool(const std::string& path)> MoveToTrash;
  // The clipboard: replaces its contents by (MIME type, bytes) pairs, and reads one type.
  // Fallback: a clipboard inside the process.
  std::function<void(const std::vector<std::pair<std::string, std::string>>& formats)>
      SetClipboard;
  std::function<std::optional<std::string>(const std::string& mime)> ClipboardData;
  std::shared_ptr<const TShellFormatter> Formatter;
};

// Installs hooks (unset members keep their fallbacks); returns the previous ones. Install at
// start-up, before worker threads use the services.
TShellHooks SetShellHooks(TShellHooks hooks);
TShellHooks CurrentShellHooks();

// The user's places, read from the environment and the XDG user-dirs file. Paths carry no
// trailing '/' ("/" stays "/"); empty when not there.
struct TShellPlaces {
  std::string Home;
  std::string ConfigHome;     // XDG config folder (app data)
  std::string DataHome;       // XDG data folder (local app data)
  std::string XdgDesktop;     // the XDG desktop folder as configured
  std::string DesktopPath;    // the desktop's own path: XdgDesktop when it exists and is not Home
  std::string Pictures;       // XDG pictures folder, when configured
  std::string Templates;      // XDG templates folder, when configured
  std::string Trash;          // the home trash: DataHome + "/Trash"
  static TShellPlaces Current();
};

namespace shell {

// The services behind the seams, falling back where no hook is installed.
std::string TypeName(const std::string& name, bool folder);
std::string FileIconName(const std::string& name);
bool Open(const std::string& path);
// The fallback of Open: runs xdg-open with the path's exact bytes as its argument.
bool OpenWithXdg(const std::string& path);
bool MoveToTrash(const std::string& path);
void SetClipboard(const std::vector<std::pair<std::string, std::string>>& formats);
std::optional<std::string> ClipboardData(const std::string& mime);
std::shared_ptr<const TShellFormatter> Formatter();

// An absolute path with "//", "." and ".." resolved lexically and without a trailing '/'
// ("/" stays "/"); empty for a relative or empty path.
std::string NormalizePath(std::string_view path);
// The path followed by '/' unless it already ends with one; empty stays empty.
std::string WithSlash(std::string_view path);

// A path as an absolute ID list: "" gives the computer; a drive root gives its drive without
// touching it; any other path must exist. Relative paths fail.
std::optional<TIDList> ParseDisplayName(const std::string& path);
// The file-system path of an ID list (a drive root keeps its '/', other paths have none);
// nullopt for virtual objects (the computer, the trash and its entries, a desktop whose
// folder is missing).
std::optional<std::string> PathFromIDList(const TIDList& list, const TShellPlaces& places);
std::optional<std::string> PathFromIDList(const TIDList& list);

std::optional<TIDList> SpecialFolderLocation(TOrvikShellFolder folder,
                                             const TShellPlaces& places);
// The first special folder from SF_BITBUCKET on whose ID list names the same object;
// SF_FILESYSTEMFOLDER when none does.
TOrvikShellFolder SpecialFolderOf(const TIDList& absolute, const TShellPlaces& places);

// The desktop's comparison of two absolute ID lists for a detail column: <0, 0 (one object),
// >0. Items are compared level by level; a list that is a prefix of the other comes first.
int CompareIDs(int column, const TIDList& a, const TIDList& b);

}  // namespace shell
