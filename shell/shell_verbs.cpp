#include "shell/shell_verbs.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>

#include "platform/fs.h"
#include "shell/shell_services.h"
#include "shell/shell_text.h"

namespace shell {
namespace {

constexpr const char* kUriList = "text/uri-list";
constexpr const char* kGnomeFiles = "x-special/gnome-copied-files";
constexpr const char* kKdeCut = "application/x-kde-cutselection";

std::string Join(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string ParentOf(const std::string& norm) {
  const size_t slash = norm.rfind('/');
  return slash == 0 || slash == std::string::npos ? "/" : norm.substr(0, slash);
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// Copies a file, link or folder tree to dst, which must not exist. A folder that cannot be
// copied completely is removed again, so dst either holds a full copy or nothing.
bool CopyTree(const std::string& src, const std::string& dst) {
  struct stat st;
  if (::lstat(src.c_str(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode)) {
    std::string target(4096, '\0');
    const ssize_t n = ::readlink(src.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<size_t>(n) >= target.size()) return false;
    target.resize(static_cast<size_t>(n));
    return ::symlink(target.c_str(), dst.c_str()) == 0;
  }
  if (S_ISREG(st.st_mode)) {
    return platform::CopyFileNoOverwrite(src, dst) == platform::CopyResult::Copied;
  }
  if (!S_ISDIR(st.st_mode)) return false;  // devices, sockets and pipes are not copied
  if (::mkdir(dst.c_str(), 0700) != 0) return false;
  bool ok = true;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(src.c_str()), ::closedir);
  if (!dir) ok = false;
  while (ok) {
    errno = 0;
    dirent* d = ::readdir(dir.get());
    if (!d) {
      ok = errno == 0;
      break;
    }
    const std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    ok = CopyTree(Join(src, name), Join(dst, name));
  }
  if (!ok) {
    std::error_code ec;
    std::filesystem::remove_all(dst, ec);
    return false;
  }
  ::chmod(dst.c_str(), st.st_mode & 07777);
  return true;
}

}  // namespace

bool IsValidNewName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  const int err = errno;
  if (err != EINVAL && err != ENOSYS && err != ENOTSUP) return err;
  // The file system cannot refuse to replace by itself.
  struct stat src;
  if (::lstat(from.c_str(), &src) != 0) return errno;
  if (!S_ISDIR(src.st_mode)) {
    if (::link(from.c_str(), to.c_str()) == 0) {
      ::unlink(from.c_str());
      return 0;
    }
    if (errno == EEXIST) return EEXIST;
  }
  struct stat dst;
  if (::lstat(to.c_str(), &dst) == 0 &&
      !(dst.st_dev == src.st_dev && dst.st_ino == src.st_ino)) {  // not a change of case only
    return EEXIST;
  }
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

void PlaceOnClipboard(const std::vector<std::string>& paths, bool cut) {
  std::string gnome = cut ? "cut" : "copy";
  std::string plain;
  for (const std::string& p : paths) {
    gnome += "\nfile://" + PercentEncode(p);
    if (!plain.empty()) plain += '\n';
    plain += p;
  }
  SetClipboard({{kUriList, EncodeUriList(paths)},
                {kGnomeFiles, gnome},
                {kKdeCut, cut ? "1" : "0"},
                {"text/plain", plain}});
}

bool ClipboardFiles(std::vector<std::string>& paths, bool& cut) {
  paths.clear();
  cut = false;
  const std::optional<std::string> gnome = ClipboardData(kGnomeFiles);
  if (std::optional<std::string> list = ClipboardData(kUriList)) {
    paths = DecodeUriList(*list);
  } else if (gnome) {
    const size_t nl = gnome->find('\n');
    if (nl != std::string::npos) paths = DecodeUriList(gnome->substr(nl + 1));
  } else {
    return false;
  }
  if (gnome) {
    cut = gnome->rfind("cut", 0) == 0 && (gnome->size() == 3 || (*gnome)[3] == '\n');
  } else if (std::optional<std::string> kde = ClipboardData(kKdeCut)) {
    cut = *kde == "1";
  }
  return !paths.empty();
}

std::string FreeTargetName(const std::string& folder, const std::string& name, bool isFolder) {
  if (!Exists(Join(folder, name))) return name;
  const size_t dot = name.rfind('.');
  const bool hasExt = !isFolder && dot != std::string::npos && dot > 0;
  const std::string stem = hasExt ? name.substr(0, dot) : name;
  const std::string ext = hasExt ? name.substr(dot) : std::string();
  for (int n = 2;; ++n) {
    const std::string candidate = stem + " (" + std::to_string(n) + ")" + ext;
    if (!Exists(Join(folder, candidate))) return candidate;
  }
}

bool PasteFiles(const std::vector<std::string>& sources, bool move, const std::string& targetFolder,
                std::vector<std::string>& created) {
  const std::string target = NormalizePath(targetFolder);
  if (target.empty()) return false;
  bool ok = true;
  for (const std::string& source : sources) {
    const std::string src = NormalizePath(source);
    struct stat st;
    if (src.empty() || src == "/" || ::lstat(src.c_str(), &st) != 0) {
      ok = false;
      continue;
    }
    // Never into itself or below itself.
    if (S_ISDIR(st.st_mode) && (target == src || target.rfind(src + "/", 0) == 0)) {
      ok = false;
      continue;
    }
    const std::string name = src.substr(src.rfind('/') + 1);
    if (move && ParentOf(src) == target) continue;  // already there
    bool done = false;
    if (move) {
      for (int attempt = 0; attempt < 100 && !done; ++attempt) {
        const std::string dst = Join(target, FreeTargetName(target, name, S_ISDIR(st.st_mode)));
        const int err = RenameNoReplace(src, dst);
        if (err == 0) {
          created.push_back(dst);
          done = true;
        } else if (err != EEXIST) {
          break;  // another volume (or a refusal): copy, then remove the source
        }
      }
      if (done) continue;
    }
    for (int attempt = 0; attempt < 100 && !done; ++attempt) {
      const std::string dst = Join(target, FreeTargetName(target, name, S_ISDIR(st.st_mode)));
      if (Exists(dst)) continue;
      if (!CopyTree(src, dst)) {
        if (Exists(dst)) continue;  // someone took the name meanwhile
        break;
      }
      created.push_back(dst);
      done = true;
      if (move) {
        std::error_code ec;
        std::filesystem::remove_all(src, ec);
        if (ec) ok = false;  // the copy stands; the source stays where it was
      }
    }
    if (!done) ok = false;
  }
  return ok;
}

TPasteResult PasteClipboard(const std::string& targetFolder) {
  TPasteResult r;
  r.HadFileList = ClipboardFiles(r.Sources, r.Move);
  if (!r.HadFileList) return r;
  r.Ok = PasteFiles(r.Sources, r.Move, targetFolder, r.Created);
  if (r.Move && r.Ok) SetClipboard({});
  return r;
}

}  // namespace shell
