#pragma once
// Writing a file so that it replaces one of the same name only when the writing succeeded.
// The data goes into a new file in the same folder; Commit renames it over the target,
// Discard (or destruction without Commit) removes it. The target is never truncated, so a
// failed save leaves an existing file as it was, and a program reading the old file keeps
// reading it whole.

#include <memory>
#include <string>

#include "imaging/io/stream.h"

class TReplacement {
 public:
  // Raises EFCreateError when FileName cannot be written: its folder is missing or not
  // writable, or the name belongs to something other than a regular file, or to a file that
  // may not be written.
  explicit TReplacement(const std::string& FileName);
  ~TReplacement();
  TReplacement(const TReplacement&) = delete;
  TReplacement& operator=(const TReplacement&) = delete;

  // The stream to write the new content to.
  TStream& Stream() { return *FStream; }
  // Closes the new file and puts it in place of the target (which keeps its permissions);
  // raises EFCreateError when that fails, leaving the target as it was.
  void Commit();
  // Closes and removes the new file.
  void Discard();

 private:
  std::string FFileName;
  std::string FTempName;
  std::unique_ptr<TFileStream> FStream;
};
