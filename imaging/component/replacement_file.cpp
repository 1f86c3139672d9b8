// Files written beside their target and renamed over it once complete.

#include "imaging/component/replacement_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace {

[[noreturn]] void Refuse(const std::string& FileName, const std::string& why) {
  throw EFCreateError("Cannot create file \"" + FileName + "\": " + why);
}

// The folder part of FileName with its trailing '/', or "" for a bare name.
std::string FolderOf(const std::string& FileName) {
  const size_t slash = FileName.rfind('/');
  return slash == std::string::npos ? std::string() : FileName.substr(0, slash + 1);
}

// A name in FileName's folder that no file has, reserved by creating it empty (mode 0666
// less the umask, as for any new file). Raises EFCreateError when nothing can be created
// there.
std::string ReserveTempName(const std::string& FileName) {
  static std::atomic<unsigned> counter{0};
  const std::string base = FolderOf(FileName) + ".vl-save-" + std::to_string(::getpid()) + "-";
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string name = base + std::to_string(counter++) + ".part";
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return name;
    }
    if (errno != EEXIST) Refuse(FileName, std::strerror(errno));
  }
  Refuse(FileName, "no temporary name is free");
}

}  // namespace

TReplacement::TReplacement(const std::string& FileName) : FFileName(FileName) {
  // An existing target must be a regular file that may be written: a folder, a device or
  // a write-protected file is not replaced behind its owner's back.
  struct stat st{};
  bool exists = false;
  if (::stat(FileName.c_str(), &st) == 0) {
    exists = true;
    if (S_ISDIR(st.st_mode)) Refuse(FileName, std::strerror(EISDIR));
    if (!S_ISREG(st.st_mode)) Refuse(FileName, "not a regular file");
    const int fd = ::open(FileName.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) Refuse(FileName, std::strerror(errno));
    ::close(fd);
  } else if (errno != ENOENT) {
    Refuse(FileName, std::strerror(errno));
  }
  FTempName = ReserveTempName(FileName);
  try {
    FStream = std::make_unique<TFileStream>(FTempName, fmCreate);
  } catch (...) {
    ::unlink(FTempName.c_str());
    throw;
  }
  if (exists) ::fchmod(FStream->Handle(), st.st_mode & 07777);
}

TReplacement::~TReplacement() { Discard(); }

void TReplacement::Commit() {
  if (!FStream) return;
  FStream.reset();
  if (::rename(FTempName.c_str(), FFileName.c_str()) != 0) {
    const int err = errno;
    ::unlink(FTempName.c_str());
    FTempName.clear();
    Refuse(FFileName, std::strerror(err));
  }
  FTempName.clear();
}

void TReplacement::Discard() {
  FStream.reset();
  if (!FTempName.empty()) ::unlink(FTempName.c_str());
  FTempName.clear();
}
