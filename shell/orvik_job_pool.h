#pragma once
// The job pool: background work (the file list's thumbnails) in a queue served by at most 15
// worker threads, started in the order queued. Each job gets a cancel flag to look at; a
// finished job's callback runs later on the user-interface thread (through the shell's event
// pump) with the job's ticket, a counter that matches results to requests. Destroying the pool
// drops the waiting jobs, asks the running ones to stop, waits once (2 seconds at most) for
// them, and calls nothing back afterwards; a job that has not stopped by then finishes on its
// own, holding only what it was given.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "shell/shell_id_list.h"

class TShellEventPump;
class TVLBitmap;

class TOrvikJobPool {
 public:
  static constexpr size_t kMaxRunning = 15;
  using TWork = std::function<void(const std::atomic<bool>& Cancelled)>;
  // Cancelled: the job was asked to stop before it ended.
  using TDone = std::function<void(uint64_t Ticket, bool Cancelled)>;

  explicit TOrvikJobPool(std::shared_ptr<TShellEventPump> Pump = nullptr,
                         size_t Limit = kMaxRunning);
  ~TOrvikJobPool();
  TOrvikJobPool(const TOrvikJobPool&) = delete;
  TOrvikJobPool& operator=(const TOrvikJobPool&) = delete;

  // Queues a job; returns its ticket (1, 2, 3, ...).
  uint64_t Add(TWork Work, TDone Done = {});
  // A waiting job is dropped (its callback never runs); a running one is asked to stop.
  void Cancel(uint64_t Ticket);
  void CancelAll();

  size_t Running() const;
  size_t Waiting() const;
  size_t Workers() const;
  // Fired on the user-interface thread after a finished job leaves the pool empty.
  std::function<void()> OnEmpty;
  // How long destruction waits for running jobs (default 2000 ms).
  void SetShutdownWait(std::chrono::milliseconds Wait) { FShutdownWait = Wait; }

 private:
  struct TState;
  std::shared_ptr<TState> FState;
  std::chrono::milliseconds FShutdownWait{2000};
};

// The result of a thumbnail job.
struct TThumbnailResult {
  uint64_t Ticket = 0;
  TIDList IDList;                      // the object's absolute ID list
  std::unique_ptr<TVLBitmap> Bitmap;   // nullptr when the object has no thumbnail
};

// Queues a job that makes the thumbnail of the object an absolute ID list names, with a
// navigator of its own, and hands the result to done on the user-interface thread.
uint64_t QueueThumbnailJob(TOrvikJobPool& Pool, const TIDList& Absolute, int Width, int Height,
                           std::function<void(TThumbnailResult& Result)> Done);
