#pragma once
// Delivery on the user-interface thread. The change notifier reads its descriptors and the job
// pool hands back its results through a pump: the program installs one that runs inside the
// toolkit's event loop; without it, a manual pump runs the same work whenever its owner asks
// (tests, tools without a window).

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class TShellEventPump {
 public:
  enum class TWatchKind {
    Read,      // the descriptor has data to read
    Priority,  // the descriptor reports an exceptional condition (POLLPRI), as a mount table does
  };
  virtual ~TShellEventPump() = default;
  // Calls callback on the user-interface thread whenever fd is ready; returns a handle for
  // UnwatchFd. Only called on that thread.
  virtual int WatchFd(int fd, TWatchKind kind, std::function<void()> callback) = 0;
  virtual void UnwatchFd(int handle) = 0;
  // Queues fn to run later on the user-interface thread, after the event being handled.
  // Callable from any thread.
  virtual void Post(std::function<void()> fn) = 0;
};

// A pump driven by explicit calls to ProcessEvents on the thread that owns it.
class TManualEventPump : public TShellEventPump {
 public:
  TManualEventPump();
  ~TManualEventPump() override;
  TManualEventPump(const TManualEventPump&) = delete;
  TManualEventPump& operator=(const TManualEventPump&) = delete;

  int WatchFd(int fd, TWatchKind kind, std::function<void()> callback) override;
  void UnwatchFd(int handle) override;
  void Post(std::function<void()> fn) override;

  // Waits up to timeoutMs for a watched descriptor to become ready or a call to be posted,
  // then runs the callbacks of the ready descriptors and every call posted so far. Returns the
  // number of callbacks run.
  int ProcessEvents(int timeoutMs);

 private:
  struct TWatch {
    int Handle;
    int Fd;
    TWatchKind Kind;
    std::shared_ptr<std::function<void()>> Callback;
  };
  std::vector<TWatch> FWatches;
  int FNextHandle = 1;
  int FWakeFd = -1;  // an eventfd that Post signals, so a waiting ProcessEvents returns
  std::mutex FMutex;
  std::vector<std::function<void()>> FPosted;
};

// The pump in use: the one installed, else a process-wide manual pump.
std::shared_ptr<TShellEventPump> ShellEventPump();
// Installs a pump (nullptr restores the process-wide manual pump); returns the previous one.
std::shared_ptr<TShellEventPump> SetShellEventPump(std::shared_ptr<TShellEventPump> pump);
