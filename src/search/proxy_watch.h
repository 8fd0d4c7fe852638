#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "activeproxy/active_proxy.h"
#include "core/proxy_address.h"
#include "core/settings_store.h"
#include "core/thread_annotations.h"
#include "core/worker_thread.h"
#include "search/proxy_search.h"

namespace cloakwise::search {

// Keeps an eye on the proxy in use. Free proxies die within hours, and a
// dead one takes the user's every browser off the web while the window
// would go on saying all is well. So, while a proxy is in use, it asks the
// judge through it, and the tunnel too, now and then; when that fails twice
// running, the proxy is taken for dead and a search starts at once, whether
// the rotation is on or not. Until the next proxy is in use the dead one
// stays in the settings: the user's traffic never goes direct unasked.
//
// One probe at a time, on a worker of its own with one client for its whole
// life; its report is dropped once the protection stops or the proxy in use
// is another, so STOP, Close and a log-off never wait for it.
//
// User-interface thread only, but for the worker's run.
class ProxyWatch {
 public:
  // A probe a third of a minute after the last: a dead proxy is replaced
  // within a minute, at the cost of a judge and a tunnel request three times
  // a minute, a few hundred bytes each.
  static constexpr std::uint32_t kIntervalMs = 20000;
  // After one failure the next probe comes soon: a single lost answer on a
  // busy line is no death.
  static constexpr std::uint32_t kRetryMs = 3000;
  static constexpr int kFailuresToReplace = 2;

  // Whether the proxy still carries the judge's page and a tunnel, within
  // the probe's time-out; on the worker's thread.
  using Probe = std::function<bool(const ProxyAddress&)>;

  struct Services {
    platform::UiThread& ui;
    ActiveProxy& activeProxy;
    ProxySearch& search;
    SettingsStore& settings;
    Probe probe;  // the judge's probes unless a test gives its own
  };

  explicit ProxyWatch(Services services);
  ~ProxyWatch();
  ProxyWatch(const ProxyWatch&) = delete;
  ProxyWatch& operator=(const ProxyWatch&) = delete;

  // A probe under way is dropped: closing never waits for it.
  void Stop() { worker_.Stop(); }
  // A proxy went in use: its first probe comes a whole interval later.
  void ProxyInstalled();
  // The watch's timer, which runs from an install until the protection
  // stops or a search of the user's begins: a probe of the proxy in use,
  // none while an earlier probe runs; while a replacement is wanted and the
  // search has come to rest without one, the next batch.
  void OnWatchTick();
  const ui::Timer& WatchTimer() const { return timer_; }
  bool Probing() const { return worker_.Running(); }
  int Failures() const { return failures_; }

 private:
  void RunProbe(WorkerThread& self);
  void OnProbeReported(const ProxyAddress& probed, std::uint64_t install, bool answered);
  void Replace();
  bool DefaultProbe(const ProxyAddress& proxy);

  Services services_;
  ui::Timer timer_;
  Mutex mutex_;
  // What the running probe asks about: set before the worker starts.
  std::optional<ProxyAddress> probing_ GUARDED_BY(mutex_);
  std::uint64_t probingInstall_ GUARDED_BY(mutex_) = 0;
  int failures_ = 0;
  WorkerThread worker_;
};

}  // namespace cloakwise::search
