#include "fakes/fake_ui_thread.h"

#include <exception>

namespace cloakwise::fakes {

void FakeUiThread::Post(std::function<void()> task) {
  std::lock_guard lock(mutex_);
  if (shutdown_) return;
  queue_.push_back(std::move(task));
  queued_.notify_all();
}

void FakeUiThread::Send(const std::function<void()>& task) {
  if (std::this_thread::get_id() == owner_) {
    task();
    return;
  }
  struct Call {
    bool done = false;
    std::exception_ptr error;
  };
  auto call = std::make_shared<Call>();
  std::unique_lock lock(mutex_);
  if (shutdown_) return;
  queue_.push_back([this, call, &task] {
    std::exception_ptr error;
    try {
      task();
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard l(mutex_);
    call->error = error;
    call->done = true;
    finished_.notify_all();
  });
  queued_.notify_all();
  finished_.wait(lock, [&] { return call->done || shutdown_; });
  if (call->error) std::rethrow_exception(call->error);
}

void FakeUiThread::ProcessMessages() {
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return;
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    task();
  }
}

bool FakeUiThread::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    ProcessMessages();
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    // Wake for new tasks at once, and every few milliseconds for conditions
    // that a worker changes without queuing anything.
    std::unique_lock lock(mutex_);
    queued_.wait_for(lock, std::chrono::milliseconds(2), [&] { return !queue_.empty(); });
  }
}

platform::UiThread::TimerId FakeUiThread::StartTimer(std::uint32_t intervalMs,
                                                     std::function<void()> onTick) {
  const TimerId id = nextTimer_++;
  intervalMs = intervalMs == 0 ? 1 : intervalMs;
  timers_[id] = TimerEntry{intervalMs, now_ + intervalMs, std::move(onTick)};
  return id;
}

void FakeUiThread::StopTimer(TimerId id) {
  timers_.erase(id);
}

std::uint32_t FakeUiThread::TimerInterval(TimerId id) const {
  const auto it = timers_.find(id);
  return it == timers_.end() ? 0 : it->second.interval;
}

std::uint64_t FakeUiThread::NextDue() const {
  std::uint64_t next = 0;
  for (const auto& [id, timer] : timers_) {
    if (next == 0 || timer.due < next) next = timer.due;
  }
  return next;
}

void FakeUiThread::AdvanceTime(std::uint64_t ms) {
  const std::uint64_t end = now_ + ms;
  for (;;) {
    auto next = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (it->second.due <= end && (next == timers_.end() || it->second.due < next->second.due)) {
        next = it;
      }
    }
    if (next == timers_.end()) break;
    now_ = next->second.due;
    next->second.due += next->second.interval;
    // Copy: the handler may stop or restart its own timer.
    auto onTick = next->second.onTick;
    onTick();
  }
  now_ = end;
}

void FakeUiThread::Shutdown() {
  std::lock_guard lock(mutex_);
  shutdown_ = true;
  queue_.clear();
  queued_.notify_all();
  finished_.notify_all();
}

std::size_t FakeUiThread::PendingTasks() {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

}  // namespace cloakwise::fakes
