#include "shell/shell_event_pump.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

TManualEventPump::TManualEventPump() { FWakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC); }

TManualEventPump::~TManualEventPump() {
  if (FWakeFd >= 0) ::close(FWakeFd);
}

int TManualEventPump::WatchFd(int fd, TWatchKind kind, std::function<void()> callback) {
  const int handle = FNextHandle++;
  FWatches.push_back(
      {handle, fd, kind, std::make_shared<std::function<void()>>(std::move(callback))});
  return handle;
}

void TManualEventPump::UnwatchFd(int handle) {
  std::erase_if(FWatches, [handle](const TWatch& w) { return w.Handle == handle; });
}

void TManualEventPump::Post(std::function<void()> fn) {
  {
    std::lock_guard<std::mutex> lock(FMutex);
    FPosted.push_back(std::move(fn));
  }
  if (FWakeFd >= 0) {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(FWakeFd, &one, sizeof one);
  }
}

int TManualEventPump::ProcessEvents(int timeoutMs) {
  std::vector<pollfd> fds;
  fds.push_back({FWakeFd, POLLIN, 0});
  for (const TWatch& w : FWatches) {
    fds.push_back({w.Fd, static_cast<short>(w.Kind == TWatchKind::Read ? POLLIN : POLLPRI), 0});
  }
  {
    std::lock_guard<std::mutex> lock(FMutex);
    if (!FPosted.empty()) timeoutMs = 0;
  }
  int ready = ::poll(fds.data(), fds.size(), timeoutMs < 0 ? 0 : timeoutMs);
  int run = 0;
  if (ready > 0) {
    uint64_t drained;
    if (fds[0].revents) {
      [[maybe_unused]] ssize_t n = ::read(FWakeFd, &drained, sizeof drained);
    }
    // Callbacks may add or remove watches; run the ones that were ready, if still watched.
    std::vector<std::pair<int, std::shared_ptr<std::function<void()>>>> due;
    for (size_t i = 1; i < fds.size(); ++i) {
      if (fds[i].revents) due.emplace_back(FWatches[i - 1].Handle, FWatches[i - 1].Callback);
    }
    for (auto& [handle, callback] : due) {
      const bool watched = std::any_of(FWatches.begin(), FWatches.end(),
                                       [h = handle](const TWatch& w) { return w.Handle == h; });
      if (!watched) continue;
      (*callback)();
      ++run;
    }
  }
  std::vector<std::function<void()>> posted;
  {
    std::lock_guard<std::mutex> lock(FMutex);
    posted.swap(FPosted);
  }
  for (auto& fn : posted) {
    fn();
    ++run;
  }
  return run;
}

namespace {

std::mutex& PumpMutex() {
  static std::mutex m;
  return m;
}

std::shared_ptr<TShellEventPump>& InstalledPump() {
  static std::shared_ptr<TShellEventPump> pump;
  return pump;
}

}  // namespace

std::shared_ptr<TShellEventPump> ShellEventPump() {
  static const std::shared_ptr<TShellEventPump> fallback = std::make_shared<TManualEventPump>();
  std::lock_guard<std::mutex> lock(PumpMutex());
  return InstalledPump() ? InstalledPump() : fallback;
}

std::shared_ptr<TShellEventPump> SetShellEventPump(std::shared_ptr<TShellEventPump> pump) {
  std::lock_guard<std::mutex> lock(PumpMutex());
  std::shared_ptr<TShellEventPump> previous = std::move(InstalledPump());
  InstalledPump() = std::move(pump);
  return previous;
}
