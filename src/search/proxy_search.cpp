#include "search/proxy_search.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "core/option_keys.h"
#include "judge/judge.h"
#include "judge/probe_runner.h"

namespace cloakwise::search {
namespace {

// A probe's read time-out, from the stored seconds; the options view writes
// 5 to 13. A hand-edited 0 would wait without limit and a huge value would
// overflow, so the stored value is kept within reason.
constexpr int kDefaultProbeSeconds = 5;
constexpr int kMaxProbeSeconds = 60;

// A service line: the candidate before its first blank, the description
// after it; a line without a blank is all description.
std::pair<std::string, std::string> SplitServiceLine(const std::string& line) {
  const auto blank = line.find(' ');
  if (blank == std::string::npos) return {"", line};
  return {line.substr(0, blank), line.substr(blank + 1)};
}

}  // namespace

ProxySearch::ProxySearch(SearchServices services, SettingsStore& settings, Clock clock)
    : services_(std::move(services)),
      clock_(clock ? std::move(clock) : Clock(SteadyMilliseconds)),
      settings_(settings),
      identity_(MakeClientIdentity()),
      serviceClient_(&services_.ui) {
  // Each exchange with the service is bounded as a whole: one that never
  // answers, or never ends its answer, must not hold the search.
  serviceClient_.Settings().maxRequestMs = kServiceExchangeLimitMs;
  for (int k = 0; k < 3; ++k) {
    searchWorkers_[k] = std::make_unique<WorkerThread>(
        services_.ui, [this, k](WorkerThread& self) { RunProbe(self, k); });
  }
}

ProxySearch::~ProxySearch() {
  batchWanted_ = false;
  for (auto& worker : searchWorkers_) worker.reset();
}

std::uint32_t ProxySearch::PauseAfterFailedBatches(int batches, bool reached) {
  constexpr std::uint32_t kLongestMs = 30000;
  std::uint32_t pause = reached ? 100 : 500;
  for (int k = 1; k < batches && pause < kLongestMs; ++k) pause *= 2;
  return std::min(pause, kLongestMs);
}

void ProxySearch::CancelPause() {
  if (pause_) services_.ui.StopTimer(*pause_);
  pause_.reset();
}

// Where the service and the judge live is read once, from the settings as
// the first batch finds them: before it no probe runs, after it the workers
// only read the addresses.
void ProxySearch::FindTheService() {
  urls_ = judge::ReadServiceUrls(settings_);
  ui::StatusPresenter& status = services_.status;
  service_ = std::make_unique<ProxyListService>(
      serviceClient_,
      ServiceReports{[&status](const std::string& address) { status.ShowLocalAddress(address); },
                     services_.showMessage},
      services_.ui, identity_, judge::ReadServiceHost(settings_));
}

void ProxySearch::StartBatch(BatchRequest request) {
  if (request == BatchRequest::User) {
    CancelPause();
    failedBatches_ = 0;
  }
  batchWanted_ = true;
  if (fetching_) {
    // The fetch under way serves this request too, and its failure is told
    // to whoever waits for it.
    userWaiting_ = userWaiting_ || request == BatchRequest::User;
    return;
  }
  userWaiting_ = request == BatchRequest::User;
  if (!service_) FindTheService();

  std::vector<std::string> lines;
  bool fetched = false;
  {
    fetching_ = true;
    struct Done {
      bool& fetching;
      ~Done() { fetching = false; }
    } done{fetching_};
    try {
      service_->FetchProxyBatch(lines);
      fetched = lines.size() >= 3;
    } catch (const std::exception&) {
      // Told below, or nowhere.
    }
  }
  if (!batchWanted_) return;  // stopped meanwhile: nobody waits for this batch
  if (!fetched) {
    const bool told = userWaiting_;
    userWaiting_ = false;
    if (told) services_.onStartFailed();
    return;
  }
  userWaiting_ = false;

  // From here on no result of an earlier probe can land: every report names
  // the batch it was started for.
  ++batch_;
  std::vector<std::string> descriptions;
  {
    MutexLock lock(jobsMutex_);
    for (int k = 0; k < 3; ++k) {
      auto [candidate, description] = SplitServiceLine(lines[k]);
      // Parsed once, as it arrives: only an address ever reaches a probe
      // or the settings.
      const auto address = ProxyAddress::Parse(candidate);
      jobs_[k] = Job{address, batch_};
      Slot& slot = slots_[k];
      slot.address = address;
      slot.description = std::move(description);
      slot.state = SlotState::Pending;
      slot.speed = 0;
      slot.reached = false;
      descriptions.push_back(slot.description);
    }
  }
  services_.status.ShowSearchingIn(DescribeBatch(descriptions));
  // A worker still finishing an earlier probe, the one whose report started
  // this batch included, begins its fresh probe as soon as that run has ended.
  for (auto& worker : searchWorkers_) worker->Restart();
}

void ProxySearch::Stop() {
  // A fetch under way runs in a nested message loop, maybe this one's
  // caller: closing its connection ends it at once, and its batch is
  // dropped.
  if (fetching_) serviceClient_.Disconnect();
  CancelPause();
  failedBatches_ = 0;
  batchWanted_ = false;
  ++batch_;
  for (auto& worker : searchWorkers_) worker->Stop();
  for (Slot& slot : slots_) slot.state = SlotState::Pending;
}

bool ProxySearch::ProbesRunning() const {
  for (const auto& worker : searchWorkers_) {
    if (worker->Running()) return true;
  }
  return false;
}

void ProxySearch::RunProbe(WorkerThread& self, int slot) {
  Job job;
  {
    MutexLock lock(jobsMutex_);
    job = jobs_[slot];
  }
  // A candidate that names no proxy fails as one that reached nothing,
  // reported as every probe is: its batch ends, and pauses, as any other.
  const ProbeResult result =
      job.address ? ProbeCandidate(*job.address, [&self] { return self.StopRequested(); })
                  : ProbeResult{};
  self.ReportToUiThread([&] { OnProbeReported(slot, job.batch, result); });
}

ProxySearch::ProbeResult ProxySearch::ProbeCandidate(const ProxyAddress& address,
                                                     const std::function<bool()>& stopped) {
  const int seconds =
      settings_.ReadInteger(kOptionsSection, kKeyProbeTimeoutSeconds, kDefaultProbeSeconds);
  const int minimum = settings_.ReadInteger(kOptionsSection, kKeyMinimumAnonymity, 0);
  judge::ProbeSettings probe;
  probe.timeoutMs = std::clamp(seconds, 1, kMaxProbeSeconds) * 1000;
  probe.answerClock = clock_;
  // Only a level the user accepts is worth the tunnel: a proxy that carries
  // no HTTPS would break the user's browsing, however fast it answers.
  probe.tunnelWhen = [minimum](AnonymityLevel level) {
    return Accept(level, minimum).state == SlotState::Accepted;
  };
  const auto outcome = judge::ProbeProxy(address, urls_, probe, stopped);
  if (!outcome) return {};
  const JudgeVerdict verdict = Accept(outcome->level, minimum);
  ProbeResult result{verdict.state, verdict.level, 0, outcome->reached};
  if (result.state != SlotState::Accepted) return result;
  if (!outcome->tunnels) {
    result.state = SlotState::Failed;
    return result;
  }
  // The speed is the judge's answer.
  result.speed = SpeedScore(outcome->answerMs);
  return result;
}

void ProxySearch::OnProbeReported(int reported, std::uint64_t batch, const ProbeResult& result) {
  if (batch != batch_) return;  // a probe of a batch that is gone
  Slot& own = slots_[reported];
  if (result.level) own.level = result.level;
  own.speed = result.speed;
  own.state = result.state;
  own.reached = result.reached;

  // The accepted slot with the highest speed; the lower slot among equals,
  // and never one of speed 0.
  int best = -1;
  int bestSpeed = 0;
  bool allFailed = true;
  for (int k = 0; k < 3; ++k) {
    allFailed = allFailed && slots_[k].state == SlotState::Failed;
    if (slots_[k].state == SlotState::Accepted && slots_[k].speed > bestSpeed) {
      best = k;
      bestSpeed = slots_[k].speed;
    }
  }
  if (allFailed) {
    // The view keeps "Searching in..." should this fetch fail, until the
    // next rotation tick, "Change IP now" or a stop.
    // Candidates that fail at once, refused or answering the judge without
    // a tunnel, would have the search ask the service thousands of times a
    // minute.
    const bool anyReached =
        std::any_of(slots_.begin(), slots_.end(), [](const Slot& slot) { return slot.reached; });
    const std::uint64_t waitingFor = batch_;
    CancelPause();
    pause_ = services_.ui.StartTimer(PauseAfterFailedBatches(++failedBatches_, anyReached),
                                     [this, waitingFor] {
                                       CancelPause();
                                       if (batch_ == waitingFor)
                                         StartBatch(BatchRequest::FailedBatch);
                                     });
    return;
  }
  if (best >= 0) {
    failedBatches_ = 0;
    Install(best);
  }
}

void ProxySearch::Install(int best) {
  const Slot& slot = slots_[best];
  // Only a probe of an address is ever accepted.
  const ProxyAddress& address = *slot.address;
  services_.activeProxy.InstallFound(ProxyChoice{
      address, slot.description, judge::ProxyKindText(slot.level.value_or(AnonymityLevel::Anonymous)),
      slot.speed, address.host + " - " + slot.description});
}

}  // namespace cloakwise::search
