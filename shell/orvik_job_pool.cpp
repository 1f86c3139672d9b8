#include "shell/orvik_job_pool.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

#include "imaging/model/bitmap.h"
#include "shell/nautex.h"
#include "shell/shell_event_pump.h"

struct TOrvikJobPool::TState {
  struct TJob {
    uint64_t Ticket;
    TWork Work;
    TDone Done;
    std::shared_ptr<std::atomic<bool>> Cancel;
  };
  std::shared_ptr<TShellEventPump> Pump;
  size_t Limit = kMaxRunning;
  mutable std::mutex Mutex;
  std::condition_variable Idle;
  std::deque<TJob> Queue;
  std::map<uint64_t, std::shared_ptr<std::atomic<bool>>> RunningJobs;
  size_t WorkerCount = 0;
  uint64_t NextTicket = 1;
  bool Closed = false;
  std::function<void()>* OnEmpty = nullptr;  // the pool's member; valid while not Closed

  static void Serve(std::shared_ptr<TState> self);
};

void TOrvikJobPool::TState::Serve(std::shared_ptr<TState> self) {
  std::unique_lock<std::mutex> lock(self->Mutex);
  while (!self->Queue.empty() && !self->Closed) {
    TJob job = std::move(self->Queue.front());
    self->Queue.pop_front();
    self->RunningJobs[job.Ticket] = job.Cancel;
    lock.unlock();
    try {
      job.Work(*job.Cancel);
    } catch (...) {
      // A failing job ends like any other; its callback tells nothing more than that it ended.
    }
    lock.lock();
    self->RunningJobs.erase(job.Ticket);
    if (!self->Closed) {
      const bool cancelled = job.Cancel->load();
      const bool empty = self->Queue.empty() && self->RunningJobs.empty();
      self->Pump->Post([weak = std::weak_ptr<TState>(self), ticket = job.Ticket,
                        done = std::move(job.Done), cancelled, empty] {
        std::shared_ptr<TState> state = weak.lock();
        if (!state) return;
        std::function<void()> onEmpty;
        {
          std::lock_guard<std::mutex> guard(state->Mutex);
          if (state->Closed) return;
          if (empty && state->OnEmpty) onEmpty = *state->OnEmpty;
        }
        if (done) done(ticket, cancelled);
        if (onEmpty) onEmpty();
      });
    }
  }
  --self->WorkerCount;
  self->Idle.notify_all();
}

TOrvikJobPool::TOrvikJobPool(std::shared_ptr<TShellEventPump> Pump, size_t Limit)
    : FState(std::make_shared<TState>()) {
  FState->Pump = Pump ? std::move(Pump) : ShellEventPump();
  FState->Limit = Limit == 0 ? 1 : Limit;
  FState->OnEmpty = &OnEmpty;
}

TOrvikJobPool::~TOrvikJobPool() {
  std::unique_lock<std::mutex> lock(FState->Mutex);
  FState->Closed = true;
  FState->OnEmpty = nullptr;
  FState->Queue.clear();
  for (auto& [ticket, cancel] : FState->RunningJobs) cancel->store(true);
  // One wait for all of them; whatever still runs afterwards ends on its own.
  FState->Idle.wait_for(lock, FShutdownWait, [this] { return FState->WorkerCount == 0; });
}

uint64_t TOrvikJobPool::Add(TWork Work, TDone Done) {
  std::lock_guard<std::mutex> lock(FState->Mutex);
  const uint64_t ticket = FState->NextTicket++;
  FState->Queue.push_back(
      {ticket, std::move(Work), std::move(Done), std::make_shared<std::atomic<bool>>(false)});
  // A new worker when the busy ones cannot take the queued jobs, up to the limit.
  const size_t free = FState->WorkerCount - FState->RunningJobs.size();
  if (FState->Queue.size() > free && FState->WorkerCount < FState->Limit) {
    ++FState->WorkerCount;
    try {
      std::thread(TState::Serve, FState).detach();
    } catch (const std::system_error&) {
      --FState->WorkerCount;  // the running workers take the job later
    }
  }
  return ticket;
}

void TOrvikJobPool::Cancel(uint64_t Ticket) {
  std::lock_guard<std::mutex> lock(FState->Mutex);
  std::erase_if(FState->Queue, [Ticket](const TState::TJob& j) { return j.Ticket == Ticket; });
  auto it = FState->RunningJobs.find(Ticket);
  if (it != FState->RunningJobs.end()) it->second->store(true);
}

void TOrvikJobPool::CancelAll() {
  std::lock_guard<std::mutex> lock(FState->Mutex);
  FState->Queue.clear();
  for (auto& [ticket, cancel] : FState->RunningJobs) cancel->store(true);
}

size_t TOrvikJobPool::Running() const {
  std::lock_guard<std::mutex> lock(FState->Mutex);
  return FState->RunningJobs.size();
}

size_t TOrvikJobPool::Waiting() const {
  std::lock_guard<std::mutex> lock(FState->Mutex);
  return FState->Queue.size();
}

size_t TOrvikJobPool::Workers() const {
  std::lock_guard<std::mutex> lock(FState->Mutex);
  return FState->WorkerCount;
}

uint64_t QueueThumbnailJob(TOrvikJobPool& Pool, const TIDList& Absolute, int Width, int Height,
                           std::function<void(TThumbnailResult& Result)> Done) {
  auto result = std::make_shared<TThumbnailResult>();
  result->IDList = Absolute;
  const uint64_t ticket = Pool.Add(
      [result, Width, Height](const std::atomic<bool>& cancelled) {
        if (cancelled) return;
        // A navigator of the job's own: navigators are used by one thread each.
        TNautex nautex;
        nautex.SetShowErrorMessages(false);
        try {
          nautex.SetAbsoluteIDList(result->IDList);
          result->Bitmap = nautex.Thumbnail(Width, Height);
        } catch (const std::exception&) {
          result->Bitmap.reset();
        }
      },
      [result, done = std::move(Done)](uint64_t ticket, bool) {
        result->Ticket = ticket;
        if (done) done(*result);
      });
  return ticket;
}
