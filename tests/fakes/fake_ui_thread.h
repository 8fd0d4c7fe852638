#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "platform/ui_thread.h"

namespace cloakwise::fakes {

// The user-interface thread of the native tests: the thread that creates it.
// Posted and sent tasks queue until the test pumps them with ProcessMessages
// (or PumpUntil); timers run on a fake clock moved by AdvanceTime.
class FakeUiThread : public platform::UiThread {
 public:
  FakeUiThread() : owner_(std::this_thread::get_id()) {}
  ~FakeUiThread() override { Shutdown(); }

  void Post(std::function<void()> task) override;
  void Send(const std::function<void()>& task) override;
  void ProcessMessages() override;
  TimerId StartTimer(std::uint32_t intervalMs, std::function<void()> onTick) override;
  void StopTimer(TimerId id) override;

  // Pumps until the predicate holds or the wall-clock limit passes; returns
  // the predicate's last value.
  bool PumpUntil(const std::function<bool()>& done,
                 std::chrono::milliseconds limit = std::chrono::seconds(10));
  // Moves the fake clock, firing every timer that falls due, in time order.
  void AdvanceTime(std::uint64_t ms);
  // From now on tasks are dropped and waiting senders return.
  void Shutdown();

  std::size_t PendingTasks();
  std::size_t ActiveTimers() const { return timers_.size(); }
  std::uint32_t TimerInterval(TimerId id) const;
  std::uint64_t Now() const { return now_; }
  // When the next timer falls due; 0 when none runs.
  std::uint64_t NextDue() const;

 private:
  struct TimerEntry {
    std::uint32_t interval;
    std::uint64_t due;
    std::function<void()> onTick;
  };

  std::thread::id owner_;
  std::mutex mutex_;
  std::condition_variable queued_;
  std::condition_variable finished_;
  std::deque<std::function<void()>> queue_;
  bool shutdown_ = false;

  std::map<TimerId, TimerEntry> timers_;
  TimerId nextTimer_ = 1;
  std::uint64_t now_ = 0;
};

}  // namespace cloakwise::fakes
