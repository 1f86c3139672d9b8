#include "app/copy_outcome.h"

#include <unistd.h>

#include <cerrno>

#include "app/copy_workflow.h"
#include "platform/fs.h"

namespace {

// How many names of files that could not be copied the closing message lists.
constexpr size_t kFailedNamesShown = 5;

std::string Count(int n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

bool FailureStopsTheCopy(const TFileFailure& failure, const std::string& destination) {
  if (failure.Errno == ENOSPC || failure.Errno == EDQUOT || failure.Errno == EROFS) return true;
  return !platform::DirectoryExists(destination) ||
         ::access(destination.c_str(), W_OK | X_OK) != 0;
}

TDestinationWatch::TDestinationWatch(const std::string& destination) : FPath(destination) {
  if (const auto id = platform::GetFileId(destination); id && platform::DirectoryExists(destination)) {
    FKnown = true;
    FDevice = id->Device;
    FInode = id->Inode;
  }
}

bool TDestinationWatch::StillThere() const {
  if (!FKnown) return true;  // a destination created by the copy itself
  const auto id = platform::GetFileId(FPath);
  return id && id->Device == FDevice && id->Inode == FInode;
}

std::string ClosingMessage(const std::string& root, const TCopySummary& s) {
  std::string text = TCopyWorkflow::kCopiedMessage + root;
  const int failed = static_cast<int>(s.FailedFiles.size());
  if (failed > 0 || s.NotCopied > 0) {
    text += "\n\n" + Count(s.Total, "image", "images") + " found: " + std::to_string(s.Copied) +
            " copied, " + std::to_string(s.Converted) + " converted to JPEG, " +
            std::to_string(s.Skipped) + " already present, " + std::to_string(failed) +
            " failed, " + std::to_string(s.NotCopied) + " not copied.";
  }
  if (!s.StopReason.empty()) {
    text += "\nThe copy stopped: " + s.StopReason;
  }
  if (failed > 0) {
    text += "\n\n" + Count(failed, "file could not be copied:", "files could not be copied:");
    for (int i = 0; i < failed && static_cast<size_t>(i) < kFailedNamesShown; ++i) {
      text += "\n" + s.FailedFiles[i];
      if (static_cast<size_t>(i) < s.FailureReasons.size() && !s.FailureReasons[i].empty()) {
        text += " (" + s.FailureReasons[i] + ")";
      }
    }
    if (static_cast<size_t>(failed) > kFailedNamesShown) {
      text += "\n... and " + std::to_string(failed - kFailedNamesShown) + " more.";
    }
  }
  // "As JPEG" was asked for; say so when TIFFs arrived as TIFFs all the same.
  if (const int tiffs = s.UnconvertedTiffs; tiffs > 0) {
    text += "\n\n" + std::to_string(tiffs) +
            (tiffs == 1 ? " TIFF file could not be converted to JPEG and was copied unchanged."
                        : " TIFF files could not be converted to JPEG and were copied unchanged.");
  }
  if (const int twins = s.TiffsKeptForNameTwins; twins > 0) {
    text += "\n\n" + std::to_string(twins) +
            (twins == 1 ? " TIFF file was copied unchanged because its JPEG name belongs to "
                          "another image."
                        : " TIFF files were copied unchanged because their JPEG names belong "
                          "to other images.");
  }
  return text;
}
