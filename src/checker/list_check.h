#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "checker/custom_proxy_list.h"
#include "core/steady_clock.h"
#include "http/http_client.h"
#include "judge/judge.h"

// The check of the custom list: each worker claims entries one at a time and
// asks the judge through each which anonymity it sees, then the list is
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

// Whole seconds, a half going to the even neighbour, then " Sec.":
// 1500 ms and 2500 ms both show "2 Sec.", 500 ms shows "0 Sec.".
std::string PingText(std::int64_t elapsedMs);

// One worker's run: claims waiting entries and probes each through `client`,
// the worker's own, until none is left: the judge, then, when it answered,
// the tunnel; an entry that answers the judge and does not tunnel ends "HTTP
// only". shouldStop is asked after each entry, so a program that is closing
// waits for one entry's probes at most. The time of an answer runs from
// before the claim to the end of the judge's reply. An entry that cannot be
// probed at all (no host:port in it) ends "Not working" without touching the
// network.
void RunListCheck(http::HttpClient& client, CustomProxyList& list, const judge::ServiceUrls& urls,
                  const std::function<bool()>& shouldStop = {}, const Clock& clock = {});

// The whole seconds of a Ping text, kUnknownPingKey for "Unknown" and for
// anything else that is no number.
int PingSortKey(std::string_view ping);
// A row's place: PingSortKey, beyond kHttpOnlyKeyBase for an "HTTP only" row.
int RowSortKey(RowState state, std::string_view ping);

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
