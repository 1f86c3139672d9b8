#pragma once
// The copy's progress as one line on a terminal, rewritten in place: per cent of the bytes,
// files done of the total, the rate in MB/s (1 MB = 1,000,000 bytes) and the time left.
// Only used when standard output is a terminal; elsewhere the tool prints plain lines.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct TProgressState {
  uint64_t BytesDone = 0;
  uint64_t BytesTotal = 0;
  int FilesDone = 0;
  int FilesTotal = 0;
  double Seconds = 0;  // since the copy started
};

// The line's text, e.g. " 42%  12 of 30 files  18.5 MB/s  0:41 left". The rate and the
// time left read "--" until a first second has passed with bytes copied.
std::string ProgressLine(const TProgressState& state);

class TTerminalProgress {
 public:
  explicit TTerminalProgress(std::FILE* out) : FOut(out) {}

  // A new copy of files of these sizes begins.
  void Start(std::vector<uint64_t> sizes);
  // The file with this index (counted from 0) is next: the ones before it are done.
  void FileStarting(int index);
  // Removes the line, so that a message can be printed; the next update draws it again.
  void Clear();
  // The copy is over: draws the last state and ends the line. (FileStarting with the number
  // of files first marks them all done.)
  void Finish();

 private:
  void Draw(bool force);

  std::FILE* FOut;
  std::vector<uint64_t> FSizes;
  TProgressState FState;
  std::chrono::steady_clock::time_point FStart, FLastDraw;
  bool FShown = false;
};
