#pragma once
// Copies made in batches: each file's bytes go into an unnamed file in its destination
// folder at once, with its writeback started, and a batch is flushed to the disk together
// (one journal commit serves them all) before its files are given their names, none of which replaces an existing file. A copy
// killed at any moment leaves neither a partial file under a final name nor a temporary
// file; one flush for many files costs what a plain copy followed by `sync` costs. Where the
// file system has no unnamed files, each file is copied and named at once, as
// CopyFileNoOverwrite does.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/fs.h"

namespace platform {

class CopyBatch {
 public:
  // Called when a file's copy is settled: Copied once it carries its name, AlreadyExists
  // when the name was taken meanwhile, Failed with the reason and error number.
  using Done = std::function<void(CopyResult result, const std::string& error, int errnum)>;

  // A batch is flushed when it holds maxFiles files or maxBytes bytes.
  // The defaults bound the pause a flush makes (the window services no messages meanwhile)
  // to a few seconds even on a slow stick, while flushes stay few.
  explicit CopyBatch(size_t maxFiles = 16, uint64_t maxBytes = uint64_t{32} << 20);
  // Pending files that were never flushed vanish with their unnamed files.
  ~CopyBatch();
  CopyBatch(const CopyBatch&) = delete;
  CopyBatch& operator=(const CopyBatch&) = delete;

  // Copies src's bytes for dst. done is called now when the copy fails, finds dst taken or
  // cannot be held back, and otherwise by the Flush that names it (which Add itself runs
  // when the batch is full).
  void Add(const std::string& src, const std::string& dst, Done done);
  // Flushes the pending files and names them, settling each.
  void Flush();
  size_t Pending() const { return FPending.size(); }

 private:
  struct Item {
    int Fd = -1;
    std::string Dst;
    Done OnDone;
  };
  size_t FMaxFiles;
  uint64_t FMaxBytes;
  uint64_t FBytes = 0;
  std::vector<Item> FPending;
};

}  // namespace platform
