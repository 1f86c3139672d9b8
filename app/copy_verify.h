#pragma once
// Copies that are checked before they get their final name. The bytes of the source are
// hashed (XXH3-128) as they are read and written; the copy is then flushed to the device,
// dropped from the page cache and read back, and its hash must equal the source's. A file
// that fails the check never appears under its final name.

#include <functional>
#include <string>

#include "platform/fs.h"

inline constexpr const char* kVerificationFailed = "verification failed";

// Test seam: runs once the copy is written and flushed, before it is read back, with the
// source path and the copy's temporary path.
using TBeforeReadBack = std::function<void(const std::string& src, const std::string& tempPath)>;

// Copies src to dst like platform::CopyFileNoOverwrite (permission bits and modification
// time kept, never replacing a file at dst) and verifies the copy. On failure `reason`
// receives kVerificationFailed when the copy differs from the source or the source changed
// while it was copied, else what went wrong; `errnum` (when given) the system's error code of
// a failed write to the destination (ENOSPC for a full one), else 0.
platform::CopyResult CopyFileVerified(const std::string& src, const std::string& dst,
                                      std::string& reason,
                                      const TBeforeReadBack& beforeReadBack = {},
                                      int* errnum = nullptr);

// Verifies a file a writer has just produced at `path` (a converted image under its
// temporary name): hashes the bytes as written, flushes them, drops them from the cache and
// compares them with what is read back. False (with `reason`) when they differ or cannot
// be read.
bool VerifyWrittenFile(const std::string& path, std::string& reason,
                       const TBeforeReadBack& beforeReadBack = {});
