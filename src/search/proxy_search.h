#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "activeproxy/active_proxy.h"
#include "core/proxy_address.h"
#include "core/settings_store.h"
#include "core/steady_clock.h"
#include "core/thread_annotations.h"
#include "core/worker_thread.h"
#include "http/http_client.h"
#include "platform/ui_thread.h"
#include "search/client_identity.h"
#include "search/probe.h"
#include "search/proxy_list_service.h"
#include "ui/status_presenter.h"

namespace cloakwise::search {

// What the search needs of the rest of the program.
struct SearchServices {
  ui::StatusPresenter& status;
  platform::UiThread& ui;
  ActiveProxy& activeProxy;
  // The program's message box (a refusal of the service).
  std::function<void(const std::string& title, const std::string& text)> showMessage;
  // A fetch that a start, "Change IP now" or a rotation tick waited for
  // failed: the rotation stops.
  std::function<void()> onStartFailed;
};

// Who asked for a batch: the user (START, "Change IP now", a rotation tick)
// or the search itself after a batch that failed.
enum class BatchRequest { User, FailedBatch };

// Finds a proxy in batches of three candidates from the list service, probes
// the three at once through the judge, one worker and one client each, and
// installs the fastest that reaches the chosen anonymity.
//
// Every member function runs on the user-interface thread except RunProbe,
// which is each worker's run. The slots belong to the user-interface thread:
// a probe hands its result over in its report, which lands only in the batch
// the probe was started for.
class ProxySearch {
 public:
  static constexpr int kServiceExchangeLimitMs = 30000;
  using Clock = MillisecondClock;

  ProxySearch(SearchServices services, SettingsStore& settings, Clock clock = {});
  // Stops the workers and waits for their probes, each bounded by its
  // time-outs; the clients outlive them.
  ~ProxySearch();
  ProxySearch(const ProxySearch&) = delete;
  ProxySearch& operator=(const ProxySearch&) = delete;

  // Fetches a batch and starts its three probes. While a fetch is under way
  // a second call joins it: that fetch's batch serves both. A fetch that
  // fails (the service unreachable, a time-out, a refusal, fewer than three
  // candidates) is told to onStartFailed when any request it served came
  // from the user; after a failed batch alone it is shown nowhere, and the
  // search waits for the next request. A batch that arrives after Stop is
  // dropped, and so is its failure.
  void StartBatch(BatchRequest request);
  // The rotation stopped: no report of a probe under way arrives any more,
  // and a fetch under way is dropped when it ends.
  void Stop();

  struct Slot {
    // The service's host:port; nothing when it names no proxy.
    std::optional<ProxyAddress> address;
    std::string description;  // shown to the user
    SlotState state = SlotState::Failed;
    int speed = 0;
    std::optional<AnonymityLevel> level;
    bool reached = false;  // the probe got as far as a proxy that took the connection
  };
  // How long the search waits before the next batch after `batches` in a
  // row that installed nothing: doubling, at most 30 s; from 0.1 s when the
  // last one's probes reached a proxy (lists are full of proxies that answer
  // the judge and carry no HTTPS), from 0.5 s when none did. A request of the
  // user's never waits for it.
  static std::uint32_t PauseAfterFailedBatches(int batches, bool reached);
  // For the tests alone: TEST_ names keep the program's own code off them.
  const std::array<Slot, 3>& TEST_Slots() const { return slots_; }
  bool TEST_Fetching() const { return fetching_; }
  // Waiting out a pause before the next batch.
  bool TEST_Pausing() const { return pause_.has_value(); }
  // Nothing under way: no fetch, no probe, no pause before the next batch.
  bool Idle() const { return !fetching_ && !pause_ && !ProbesRunning(); }
  // A probe has begun and its worker has not yet ended.
  bool ProbesRunning() const;

 private:
  struct Job {
    std::optional<ProxyAddress> address;
    std::uint64_t batch = 0;
  };
  struct ProbeResult {
    SlotState state = SlotState::Failed;
    std::optional<AnonymityLevel> level;
    int speed = 0;
    bool reached = false;
  };

  void RunProbe(WorkerThread& self, int slot);
  // stopped: whether the worker was asked to stop, when its report would be
  // dropped anyway.
  ProbeResult ProbeCandidate(const ProxyAddress& address, const std::function<bool()>& stopped);
  void OnProbeReported(int slot, std::uint64_t batch, const ProbeResult& result);
  void Install(int slot);
  void CancelPause();
  void FindTheService();

  SearchServices services_;
  Clock clock_;
  SettingsStore& settings_;
  ClientIdentity identity_;
  http::HttpClient serviceClient_;
  std::unique_ptr<ProxyListService> service_;
  judge::ServiceUrls urls_;  // written before the first probe, read-only after

  std::array<Slot, 3> slots_;
  std::uint64_t batch_ = 0;  // grows with every batch and every stop
  bool fetching_ = false;
  bool batchWanted_ = false;
  bool userWaiting_ = false;  // a request the fetch under way serves came from the user
  // Batches in a row that installed nothing, and the pause before the next.
  int failedBatches_ = 0;
  std::optional<platform::UiThread::TimerId> pause_;

  Mutex jobsMutex_;
  std::array<Job, 3> jobs_ GUARDED_BY(jobsMutex_);  // what each worker's next run probes

  std::array<std::unique_ptr<WorkerThread>, 3> searchWorkers_;
};

}  // namespace cloakwise::search
