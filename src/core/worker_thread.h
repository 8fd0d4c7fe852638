#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "platform/ui_thread.h"

namespace cloakwise {

// One worker: each Start runs the run handler once on a fresh thread. The
// handler reports to the user-interface thread through ReportToUiThread, which
// waits for the report to finish and is skipped once Stop was asked for. The
// end of a run is handled on the user-interface thread; until then Start does
// nothing.
class WorkerThread {
 public:
  using RunHandler = std::function<void(WorkerThread&)>;

  WorkerThread(platform::UiThread& ui, RunHandler run);
  // Asks a run under way to stop and lets the user-interface thread process
  // its messages until the run has ended.
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // User-interface thread.
  void Start();
  // Asks the run under way to stop (its reports are dropped from now on) and
  // drops a start that Restart left waiting.
  void Stop();
  // A fresh run: at once when none is under way; otherwise the current run
  // is asked to stop and the fresh one starts as soon as its end has been
  // handled. Safe from inside this worker's own report, whose run then ends
  // before the fresh one begins, so no report of the old run can arrive
  // after the fresh run started.
  void Restart();
  // A run has started and its end has not been handled yet.
  bool Running() const { return state_->current != nullptr; }
  // The stop request of the last run, taken when its handler returned.
  bool LastRunWasStopped() const { return state_->stopMirror.load(); }

  // From the run handler, on the worker thread: runs method on the
  // user-interface thread and waits for it; does nothing once stop was asked
  // for. An exception the method throws is thrown again here.
  void ReportToUiThread(const std::function<void()>& method);
  // From the run handler: whether stop was asked for this run.
  bool StopRequested() const;

 private:
  struct Run {
    std::atomic<bool> stop{false};
    std::atomic<bool> ended{false};
    std::thread thread;
  };
  // Shared with the end notification, which may arrive after this object is
  // gone.
  struct State {
    std::shared_ptr<Run> current;
    std::atomic<bool> stopMirror{false};
    // Set by Restart while a run is under way; the worker it belongs to, or
    // null once that worker is being destroyed.
    bool startPending = false;
    WorkerThread* owner = nullptr;
  };

  static void HandleEnd(const std::shared_ptr<State>& state, const std::shared_ptr<Run>& run);

  platform::UiThread& ui_;
  RunHandler run_;
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace cloakwise
