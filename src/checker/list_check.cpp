#include "checker/list_check.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "core/text.h"

namespace cloakwise::checker {
namespace {

CheckResult NotWorking() {
  return CheckResult{kUnknownText, RowState::NotWorking, kUnknownText};
}

// One entry through the judge. Whatever goes wrong on the way (refused,
// timed out, an error page, a captive portal answering its own text) means
// the proxy does not work for us.
CheckResult Probe(http::HttpClient& client, const std::string& proxy,
                  const judge::ServiceUrls& urls, const Clock& now, std::int64_t started) {
  const auto address = ProxyAddress::Parse(proxy);
  if (!address) return NotWorking();
  const auto level = judge::AskJudgeThrough(client, *address, urls.judge, kProbeReadTimeoutMs);
  if (!level) return NotWorking();
  // A stop request does not cut the entry short: a check started over may
  // already have claimed this row again, and only a true result may land.
  const std::string ping = PingText(now() - started);
  const bool tunnels = judge::TunnelsThrough(client, *address, urls.tunnel, kProbeReadTimeoutMs);
  return CheckResult{judge::LevelName(*level), tunnels ? RowState::Working : RowState::HttpOnly,
                     ping};
}

}  // namespace

std::string PingText(std::int64_t elapsedMs) {
  // Whole-number arithmetic, so no floating-point step can move a half.
  const std::int64_t ms = std::max<std::int64_t>(elapsedMs, 0);
  std::int64_t seconds = ms / 1000;
  const std::int64_t rest = ms % 1000;
  if (rest > 500 || (rest == 500 && seconds % 2 == 1)) ++seconds;
  return std::to_string(seconds) + " Sec.";
}

void RunListCheck(http::HttpClient& client, CustomProxyList& list, const judge::ServiceUrls& urls,
                  const std::function<bool()>& shouldStop, const Clock& clock) {
  const Clock now = clock ? clock : Clock(SteadyMilliseconds);
  for (;;) {
    const std::int64_t started = now();
    const auto claimed = list.Claim();
    if (!claimed) return;
    CheckResult result;
    try {
      result = Probe(client, claimed->proxy, urls, now, started);
    } catch (...) {
      // Something beyond a failed request: the entry must not stay
      // checking for ever, or the check would never end.
      list.Finish(claimed->id, NotWorking());
      throw;
    }
    list.Finish(claimed->id, result);
    if (shouldStop && shouldStop()) return;
  }
}

int PingSortKey(std::string_view ping) {
  return text::ParseDecimal(ping.substr(0, ping.find(' ')), 9).value_or(kUnknownPingKey);
}

int RowSortKey(RowState state, std::string_view ping) {
  return (state == RowState::HttpOnly ? kHttpOnlyKeyBase : 0) + PingSortKey(ping);
}

void SortByPing(CustomProxyList& list, const std::function<void()>& afterSwap) {
  for (;;) {
    const CustomProxyList::PingSnapshot snapshot = list.SnapshotPings();
    std::vector<int> keys;
    keys.reserve(snapshot.pings.size());
    for (std::size_t row = 0; row < snapshot.pings.size(); ++row) {
      keys.push_back(RowSortKey(snapshot.states[row], snapshot.pings[row]));
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
