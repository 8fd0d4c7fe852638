// The sort's side of the list: it reads the keys once, then swaps rows only
// while nothing else has changed them (see SortByPing in list_check.h).
#include <algorithm>
#include <utility>

#include "checker/custom_proxy_list.h"

namespace cloakwise::checker {

CustomProxyList::AnswerSnapshot CustomProxyList::SnapshotAnswers() const {
  MutexLock lock(mutex_);
  AnswerSnapshot snapshot{version_, {}, {}};
  snapshot.answersMs.reserve(rows_.size());
  snapshot.states.reserve(rows_.size());
  for (const Row& row : rows_) {
    snapshot.answersMs.push_back(row.answerMs);
    snapshot.states.push_back(row.state);
  }
  return snapshot;
}

std::uint64_t CustomProxyList::Version() const {
  MutexLock lock(mutex_);
  return version_;
}

std::optional<std::uint64_t> CustomProxyList::SwapRows(std::uint64_t version, std::size_t a,
                                                       std::size_t b) {
  std::uint64_t now = 0;
  {
    MutexLock lock(mutex_);
    if (version != version_ || a >= rows_.size() || b >= rows_.size()) return std::nullopt;
    std::swap(rows_[a], rows_[b]);
    // A waiting row may have moved up past the point claims start from.
    firstMaybeWaiting_ = std::min({firstMaybeWaiting_, a, b});
    now = ++version_;
  }
  Notify();
  return now;
}

}  // namespace cloakwise::checker
