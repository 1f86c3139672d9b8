#pragma once
// How the copy accounts for its files: the failure of one file, whether a failure ends the
// whole copy (it would repeat for every file that follows), and the closing message, whose
// numbers always add up to the number of images found.

#include <string>

struct TCopySummary;

// Why one file could not be copied: a text for the user and the system's error number
// (0 when there is none).
struct TFileFailure {
  std::string Reason;
  int Errno = 0;
};

// True when a failure concerns the destination as a whole and would repeat for every file:
// the destination is full, read-only, removed or not writable. Other failures concern one
// file (an unreadable or vanished source, an image that cannot be converted, a name that
// cannot be created) and the copy goes on with the next.
bool FailureStopsTheCopy(const TFileFailure& failure, const std::string& destination);

// Whether the destination chosen at the start of a copy is still the same folder (same
// device and inode): one that was removed, or a mount point whose volume went away, must
// not be silently recreated or written to instead.
class TDestinationWatch {
 public:
  explicit TDestinationWatch(const std::string& destination);
  bool StillThere() const;

 private:
  std::string FPath;
  bool FKnown = false;
  unsigned long long FDevice = 0, FInode = 0;
};

// The message shown when the copy is over: where the images went and, when not every image
// arrived, how many of them were copied, converted, already present, failed or not copied,
// with the names and reasons of the first few failures.
std::string ClosingMessage(const std::string& root, const TCopySummary& summary);
