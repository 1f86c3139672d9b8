#pragma once
// The progress record that every image reader and writer receives from the I/O component.
// A codec counts finished units (rows, strips) in StepsDone, reports
// trunc(StepsDone x StepPercent) percent through OnProgress, and stops or reports failure by
// setting the caller's abort flag, which it polls between units.

#include <cmath>
#include <cstdint>
#include <functional>

#include "platform/object.h"

// Progress in percent; the first argument is the object doing the work.
using TVLProgressEvent = std::function<void(TObject* Sender, int Percent)>;

struct TVLProgressState {
  // The caller's progress callback; empty means that no progress is reported.
  TVLProgressEvent OnProgress;
  TObject* Sender = nullptr;
  // Units done so far; the codec counts it up.
  int32_t StepsDone = 0;
  // Percent per unit and a free scale factor, both set by the codec (for example 100 / height).
  double StepPercent = 0.0;
  double StepScale = 0.0;
  // The caller's abort flag; may be null when the caller has none.
  bool* AbortFlag = nullptr;

  // True when the caller's abort flag is set.
  bool Aborted() const { return AbortFlag != nullptr && *AbortFlag; }
  // Sets the caller's abort flag (failure or a request to stop).
  void Abort() const {
    if (AbortFlag != nullptr) *AbortFlag = true;
  }
  // The percentage the record stands at: trunc(StepsDone x StepPercent), kept in int range.
  int Percent() const {
    const double p = std::trunc(double(StepsDone) * StepPercent);
    if (!(p > -2147483648.0)) return p != p ? 0 : INT32_MIN;  // NaN gives 0
    if (p > 2147483647.0) return INT32_MAX;
    return int(p);
  }
  // Calls OnProgress with the current percentage, when a callback is set.
  void Report() const {
    if (OnProgress) OnProgress(Sender, Percent());
  }
  // Counts one more unit done and reports it.
  void Step() {
    if (StepsDone < INT32_MAX) ++StepsDone;
    Report();
  }
};
