#include "core/worker_thread.h"

#include <chrono>

namespace cloakwise {
namespace {

// The run the calling worker thread belongs to, so that a report knows whose
// stop request to honour.
thread_local std::atomic<bool>* currentStop = nullptr;

}  // namespace

WorkerThread::WorkerThread(platform::UiThread& ui, RunHandler run) : ui_(ui), run_(std::move(run)) {
  state_->owner = this;
}

WorkerThread::~WorkerThread() {
  state_->owner = nullptr;
  state_->startPending = false;
  const std::shared_ptr<Run> run = state_->current;
  if (!run) return;
  run->stop = true;
  while (!run->ended.load()) {
    ui_.ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // The end notice may still be queued, or dropped if the user-interface
  // thread is shutting down: handle the end here either way.
  HandleEnd(state_, run);
}

void WorkerThread::HandleEnd(const std::shared_ptr<State>& state, const std::shared_ptr<Run>& run) {
  if (run->thread.joinable()) run->thread.join();
  if (state->current != run) return;
  state->current.reset();
  if (state->startPending && state->owner) {
    state->startPending = false;
    state->owner->Start();
  }
}

void WorkerThread::Start() {
  if (state_->current) return;
  auto run = std::make_shared<Run>();
  state_->current = run;
  state_->stopMirror = false;
  // The thread reaches the user-interface thread directly, not through this
  // object: once `ended` is set the object may be gone.
  run->thread = std::thread([this, &ui = ui_, run, state = state_] {
    currentStop = &run->stop;
    try {
      run_(*this);
    } catch (...) {
      // An error ends the run; the handler reported what it wanted to.
    }
    state->stopMirror = run->stop.load();
    currentStop = nullptr;
    run->ended = true;
    ui.Post([state, run] { HandleEnd(state, run); });
  });
}

void WorkerThread::Stop() {
  state_->startPending = false;
  if (state_->current) state_->current->stop = true;
}

void WorkerThread::Restart() {
  if (!state_->current) {
    Start();
    return;
  }
  state_->current->stop = true;
  state_->startPending = true;
}

bool WorkerThread::StopRequested() const {
  return currentStop && currentStop->load();
}

void WorkerThread::ReportToUiThread(const std::function<void()>& method) {
  std::atomic<bool>* stop = currentStop;
  if (stop && stop->load()) return;
  // Checked again on the user-interface thread: a stop that comes while the
  // report waits in the queue still suppresses it.
  ui_.Send([&] {
    if (!(stop && stop->load())) method();
  });
}

}  // namespace cloakwise
