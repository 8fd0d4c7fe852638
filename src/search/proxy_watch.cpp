#include "search/proxy_watch.h"

#include <algorithm>

#include "core/option_keys.h"
#include "judge/judge.h"
#include "judge/probe_runner.h"

namespace cloakwise::search {
namespace {

constexpr int kDefaultProbeSeconds = 5;
constexpr int kMaxProbeSeconds = 60;

}  // namespace

ProxyWatch::ProxyWatch(Services services)
    : services_(std::move(services)),
      timer_(services_.ui, kIntervalMs, false),
      worker_(services_.ui, [this](WorkerThread& self) { RunProbe(self); }) {
  if (!services_.probe) {
    services_.probe = [this](const ProxyAddress& proxy) { return DefaultProbe(proxy); };
  }
  timer_.SetHandler([this] { OnWatchTick(); });
}

void ProxyWatch::ProxyInstalled() {
  failures_ = 0;
  timer_.SetEnabled(false);
  timer_.SetInterval(kIntervalMs);
  timer_.SetEnabled(true);
}

ProxyWatch::~ProxyWatch() {
  timer_.SetEnabled(false);
  worker_.Stop();
}

// The search's own probes, with the search's time-out: what made the proxy
// good enough to use is what keeps it in use.
bool ProxyWatch::DefaultProbe(const ProxyAddress& proxy) {
  const int seconds = services_.settings.ReadInteger(kOptionsSection, kKeyProbeTimeoutSeconds,
                                                     kDefaultProbeSeconds);
  judge::ProbeSettings probe;
  probe.timeoutMs = std::clamp(seconds, 1, kMaxProbeSeconds) * 1000;
  // Asked to stop (STOP, Close), the probe ends within a tenth of a second:
  // its report would be dropped anyway.
  const auto outcome = judge::ProbeProxy(proxy, judge::ReadServiceUrls(services_.settings), probe,
                                         [this] { return worker_.StopRequested(); });
  return outcome && outcome->level && outcome->tunnels;
}

void ProxyWatch::OnWatchTick() {
  ActiveProxy& active = services_.activeProxy;
  if (active.Replacing()) {
    // Every batch failed and the search came to rest (the service did not
    // answer): ask again, no faster than the watch's pace.
    if (services_.search.Idle()) services_.search.StartBatch(BatchRequest::FailedBatch);
    return;
  }
  if (active.CurrentState() != ActiveProxy::State::InUse || !active.InUse()) {
    // Stopped, or searching at the user's word: the next install wakes it.
    failures_ = 0;
    timer_.SetEnabled(false);
    return;
  }
  if (worker_.Running()) return;
  {
    MutexLock lock(mutex_);
    probing_ = *active.InUse();
    probingInstall_ = active.Installs();
  }
  worker_.Start();
}

void ProxyWatch::RunProbe(WorkerThread& self) {
  ProxyAddress proxy;
  std::uint64_t install = 0;
  {
    MutexLock lock(mutex_);
    if (!probing_) return;
    proxy = *probing_;
    install = probingInstall_;
  }
  const bool answered = services_.probe(proxy);
  self.ReportToUiThread([&] { OnProbeReported(proxy, install, answered); });
}

void ProxyWatch::OnProbeReported(const ProxyAddress& probed, std::uint64_t install,
                                 bool answered) {
  ActiveProxy& active = services_.activeProxy;
  // A probe of a proxy no longer in use, or of one the user has stopped,
  // says nothing any more.
  if (active.CurrentState() != ActiveProxy::State::InUse || active.Installs() != install ||
      !active.InUse() || !(*active.InUse() == probed)) {
    failures_ = 0;
    return;
  }
  if (answered) {
    failures_ = 0;
    timer_.SetInterval(kIntervalMs);
    return;
  }
  if (++failures_ < kFailuresToReplace) {
    timer_.SetInterval(kRetryMs);
    return;
  }
  failures_ = 0;
  timer_.SetInterval(kIntervalMs);
  Replace();
}

void ProxyWatch::Replace() {
  if (!services_.activeProxy.ProxyStoppedAnswering()) return;
  // A fetch that fails is told nowhere: the protection stays on, and the
  // watch asks again at its own pace.
  services_.search.StartBatch(BatchRequest::FailedBatch);
}

}  // namespace cloakwise::search
