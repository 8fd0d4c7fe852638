#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <optional>

#include "checker/custom_proxy_list.h"
#include "core/steady_clock.h"
#include "core/settings_store.h"
#include "judge/judge.h"

// The check of the custom list: one run claims entries and asks the judge
// through many of them at once which anonymity it sees, then the list is
// ordered by answer time.
namespace cloakwise::checker {

// Every probe of the list waits this long for the connect and for each read,
// whatever time-out the options view sets for the search.
inline constexpr int kProbeReadTimeoutMs = 10000;
// Where an entry without an answer time sorts: after anything faster.
inline constexpr int kUnknownPingKey = 50;
// "HTTP only" entries sort after all others, by their own answer times.
inline constexpr int kHttpOnlyKeyBase = 100000;

using Clock = MillisecondClock;


// How many probes a check keeps in flight, unless options.ini says otherwise
// ([Options] ParallelChecks, 1 to kMaxParallelChecks). Public lists are
// mostly dead, and a proxy that takes the connection and never answers holds
// its probe for the whole time-out: 400 at once check 2 000 such entries in
// about 30 s. More would gain little and fill the connection table of a home
// router (commonly 16 384 entries, each kept about two minutes after a
// connection that never completed) with our half-open connections while
// the user browses.
inline constexpr int kDefaultParallelChecks = 400;
inline constexpr int kMaxParallelChecks = 512;
// Anything but a whole number in range is the default.
int ReadParallelChecks(const SettingsStore& settings);

// One check run: claims waiting entries and probes up to inFlight of them at
// once, until none is waiting and none is in flight: the judge, then, when it
// answered, the tunnel; an entry that answers the judge and does not tunnel
// ends "HTTP only". The time of an answer runs from before the claim to the
// end of the judge's reply. An entry that cannot be probed at all (no
// host:port in it) ends "Not working" without touching the network. Once
// shouldStop holds (asked every tenth of a second) the entries in flight go
// back to waiting and the run returns false.
struct RunFigures {
  std::size_t peakConnections = 0;  // the most the run held open at once
  std::int64_t probeMs = 0;         // the probes' own times, added up
};
bool RunListCheck(CustomProxyList& list, const judge::ServiceUrls& urls, std::size_t inFlight,
                  const std::function<bool()>& shouldStop = {}, const Clock& clock = {},
                  RunFigures* figures = nullptr);

// The whole seconds the Ping cell shows, kUnknownPingKey without an answer.
int PingSortKey(std::optional<std::int64_t> answerMs);
// A row's place: PingSortKey, beyond kHttpOnlyKeyBase for an "HTTP only" row.
int RowSortKey(RowState state, std::optional<std::int64_t> answerMs);

// Orders the rows by RowSortKey with the exchange sort the grid has always
// used: for each row from the top, every row below it with a strictly
// smaller key is swapped with it. Equal keys are never swapped with each
// other, yet their order is not kept (keys 2, 2, 1 end as 1, the second 2,
// the first 2).
//
// afterSwap runs after each swap, on the calling thread; the window lets
// pending messages run there, so the user may add, delete or clear rows, or
// start a new check, in the middle. The keys are read once into an array
// that is swapped along with the rows; any change made meanwhile shows in
// the list's version, and the sort then starts over on the list as it now
// is: the rows already in place cost comparisons only, and no swap ever
// lands on rows it was not meant for.
void SortByPing(CustomProxyList& list, const std::function<void()>& afterSwap = {});

}  // namespace cloakwise::checker
