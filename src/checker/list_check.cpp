#include "checker/list_check.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "core/option_keys.h"
#include "core/text.h"
#include "judge/probe_runner.h"

namespace cloakwise::checker {
namespace {

CheckResult NotWorking() {
  return CheckResult{std::nullopt, RowState::NotWorking, std::nullopt};
}

// Whatever went wrong on the way (refused, timed out, an error page, a
// captive portal answering its own text) means the proxy does not work for us.
CheckResult ResultOf(const judge::ProbeOutcome& outcome) {
  if (!outcome.level) return NotWorking();
  return CheckResult{outcome.level, outcome.tunnels ? RowState::Working : RowState::HttpOnly,
                     outcome.answerMs};
}

}  // namespace

int ReadParallelChecks(const SettingsStore& settings) {
  const int stored =
      settings.ReadInteger(kOptionsSection, kKeyParallelChecks, kDefaultParallelChecks);
  return stored >= 1 && stored <= kMaxParallelChecks ? stored : kDefaultParallelChecks;
}

bool RunListCheck(CustomProxyList& list, const judge::ServiceUrls& urls, std::size_t inFlight,
                  const std::function<bool()>& shouldStop, const Clock& clock,
                  RunFigures* figures) {
  judge::ProbeSettings settings;
  settings.timeoutMs = kProbeReadTimeoutMs;
  settings.inFlight = inFlight;
  settings.answerClock = clock;
  judge::ProbeRunner runner(urls, std::move(settings));
  std::int64_t probeMs = 0;
  const bool complete = runner.Run(
      [&list]() -> std::optional<judge::ProbeJob> {
        while (const auto claimed = list.Claim()) {
          if (const auto address = ProxyAddress::Parse(claimed->proxy)) {
            return judge::ProbeJob{claimed->id, *address};
          }
          list.Finish(claimed->id, NotWorking());
        }
        return std::nullopt;
      },
      [&](const judge::ProbeJob& job, const judge::ProbeOutcome& outcome) {
        probeMs += outcome.tookMs;
        list.Finish(job.tag, ResultOf(outcome));
      },
      shouldStop, [&list](const judge::ProbeJob& job) { list.Unclaim(job.tag); });
  if (figures) *figures = RunFigures{runner.PeakConnections(), probeMs};
  return complete;
}

int PingSortKey(std::optional<std::int64_t> answerMs) {
  // Answers beyond any time-out the program sets cannot come; capped all the
  // same, so no key overflows.
  return answerMs ? static_cast<int>(std::min<std::int64_t>(WholeSeconds(*answerMs), 99999))
                  : kUnknownPingKey;
}

int RowSortKey(RowState state, std::optional<std::int64_t> answerMs) {
  return (state == RowState::HttpOnly ? kHttpOnlyKeyBase : 0) + PingSortKey(answerMs);
}

void SortByPing(CustomProxyList& list, const std::function<void()>& afterSwap) {
  for (;;) {
    const CustomProxyList::AnswerSnapshot snapshot = list.SnapshotAnswers();
    std::vector<int> keys;
    keys.reserve(snapshot.answersMs.size());
    for (std::size_t row = 0; row < snapshot.answersMs.size(); ++row) {
      keys.push_back(RowSortKey(snapshot.states[row], snapshot.answersMs[row]));
    }

    std::uint64_t version = snapshot.version;
    bool overtaken = false;
    for (std::size_t i = 0; i + 1 < keys.size() && !overtaken; ++i) {
      for (std::size_t j = i + 1; j < keys.size(); ++j) {
        if (!(keys[j] < keys[i])) continue;
        const auto swapped = list.SwapRows(version, i, j);
        if (!swapped) {
          overtaken = true;
          break;
        }
        version = *swapped;
        std::swap(keys[i], keys[j]);
        if (afterSwap) afterSwap();
        if (list.Version() != version) {
          overtaken = true;
          break;
        }
      }
    }
    if (!overtaken) return;
  }
}

}  // namespace cloakwise::checker
