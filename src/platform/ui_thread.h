#pragma once

#include <cstdint>
#include <functional>

namespace cloakwise::platform {

// The user-interface thread: the one thread that touches controls. Workers
// reach it only through Post and Send.
class UiThread {
 public:
  using TimerId = std::uint32_t;

  virtual ~UiThread() = default;

  // Queues a task from any thread. A task that cannot be queued, or that
  // arrives after shutdown, is dropped (and freed).
  virtual void Post(std::function<void()> task) = 0;

  // From a worker: runs the task on the user-interface thread and waits for
  // it. An exception the task throws is thrown again in the caller. On the
  // user-interface thread itself the task runs at once.
  virtual void Send(const std::function<void()>& task) = 0;

  // On the user-interface thread: runs whatever is pending, then returns.
  virtual void ProcessMessages() = 0;

  // Repeating timer on the user-interface thread; returns a non-zero id.
  virtual TimerId StartTimer(std::uint32_t intervalMs, std::function<void()> onTick) = 0;
  virtual void StopTimer(TimerId id) = 0;
};

}  // namespace cloakwise::platform
