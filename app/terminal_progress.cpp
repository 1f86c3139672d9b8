#include "app/terminal_progress.h"

#include <algorithm>
#include <cinttypes>
#include <numeric>

namespace {

// m:ss, or h:mm:ss from an hour on.
std::string Duration(uint64_t seconds) {
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%" PRIu64 ":%02u:%02u", seconds / 3600,
                  unsigned(seconds / 60 % 60), unsigned(seconds % 60));
  } else {
    std::snprintf(text, sizeof text, "%u:%02u", unsigned(seconds / 60), unsigned(seconds % 60));
  }
  return text;
}

// Redrawing more often than this only costs terminal output.
constexpr std::chrono::milliseconds kRedrawInterval{100};

}  // namespace

std::string ProgressLine(const TProgressState& s) {
  // Per cent of the bytes, rounded down so that 100% means done; by files when the files
  // are all empty.
  const uint64_t done = s.BytesTotal ? s.BytesDone : uint64_t(s.FilesDone);
  const uint64_t total = s.BytesTotal ? s.BytesTotal : uint64_t(s.FilesTotal);
  const unsigned percent = total ? unsigned(std::min<uint64_t>(done, total) * 100 / total) : 100;

  std::string rate = "-- MB/s", left = "--:-- left";
  if (s.Seconds >= 1 && s.BytesDone > 0) {
    const double bytesPerSecond = double(s.BytesDone) / s.Seconds;
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB/s", bytesPerSecond / 1e6);
    rate = text;
    const uint64_t remaining = s.BytesTotal > s.BytesDone ? s.BytesTotal - s.BytesDone : 0;
    left = Duration(uint64_t(double(remaining) / bytesPerSecond + 0.5)) + " left";
  }
  char head[64];
  std::snprintf(head, sizeof head, "%3u%%  %d of %d files  ", percent, s.FilesDone, s.FilesTotal);
  return head + rate + "  " + left;
}

void TTerminalProgress::Start(std::vector<uint64_t> sizes) {
  FSizes = std::move(sizes);
  FState = TProgressState{};
  FState.FilesTotal = static_cast<int>(FSizes.size());
  FState.BytesTotal = std::accumulate(FSizes.begin(), FSizes.end(), uint64_t{0});
  FStart = std::chrono::steady_clock::now();
  Draw(true);
}

void TTerminalProgress::FileStarting(int index) {
  if (index < 0 || index > FState.FilesTotal) return;
  // Files are started in order; the count only moves forward.
  while (FState.FilesDone < index) FState.BytesDone += FSizes[FState.FilesDone++];
  Draw(false);
}

void TTerminalProgress::Clear() {
  if (!FShown) return;
  std::fputs("\r\x1b[K", FOut);
  std::fflush(FOut);
  FShown = false;
}

void TTerminalProgress::Finish() {
  Draw(true);
  if (FShown) std::fputc('\n', FOut);
  std::fflush(FOut);
  FShown = false;
}

void TTerminalProgress::Draw(bool force) {
  const auto now = std::chrono::steady_clock::now();
  if (!force && FShown && now - FLastDraw < kRedrawInterval) return;
  FLastDraw = now;
  FState.Seconds = std::chrono::duration<double>(now - FStart).count();
  std::fprintf(FOut, "\r%s\x1b[K", ProgressLine(FState).c_str());
  std::fflush(FOut);
  FShown = true;
}
