// The terminal progress line's text for known states.

#include <gtest/gtest.h>

#include "app/terminal_progress.h"

namespace {

TEST(TerminalProgress, LineForKnownStates) {
  struct Case {
    TProgressState State;
    const char* Line;
  };
  const Case cases[] = {
      // Nothing measured yet: no rate, no time left.
      {{0, 400'000'000, 0, 120, 0.0}, "  0%  0 of 120 files  -- MB/s  --:-- left"},
      {{50'000'000, 400'000'000, 15, 120, 0.5}, " 12%  15 of 120 files  -- MB/s  --:-- left"},
      // 100 MB in 4 s: 25 MB/s, 300 MB left take 12 s.
      {{100'000'000, 400'000'000, 30, 120, 4.0}, " 25%  30 of 120 files  25.0 MB/s  0:12 left"},
      // Per cent rounds down: 99.9% is not done.
      {{999, 1000, 9, 10, 1.0}, " 99%  9 of 10 files  0.0 MB/s  0:00 left"},
      // Slow copies: minutes, then hours.
      {{1'000'000, 601'000'000, 1, 50, 2.0}, "  0%  1 of 50 files  0.5 MB/s  20:00 left"},
      {{1'000'000, 4'001'000'000, 1, 50, 1.0}, "  0%  1 of 50 files  1.0 MB/s  1:06:40 left"},
      {{400'000'000, 400'000'000, 120, 120, 8.0}, "100%  120 of 120 files  50.0 MB/s  0:00 left"},
      // Only empty files: per cent by files.
      {{0, 0, 3, 4, 2.0}, " 75%  3 of 4 files  -- MB/s  --:-- left"},
  };
  for (const Case& c : cases) EXPECT_EQ(ProgressLine(c.State), c.Line);
}

}  // namespace
