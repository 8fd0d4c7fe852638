// The list as the check workers' queue: a check puts every row back to
// waiting, each worker claims one waiting row at a time and hands its result
// back to the entry it claimed.
#include <algorithm>

#include "checker/custom_proxy_list.h"

namespace cloakwise::checker {

bool CustomProxyList::ResetForCheck() {
  {
    MutexLock lock(mutex_);
    if (IsEmptyLocked()) return false;
    for (Row& row : rows_) {
      row.level.reset();
      row.answerMs.reset();
      row.state = RowState::Waiting;
    }
    firstMaybeWaiting_ = 0;
    ++version_;
  }
  Notify();
  return true;
}

bool CustomProxyList::CheckPending() const {
  MutexLock lock(mutex_);
  return std::any_of(rows_.begin(), rows_.end(), [](const Row& row) {
    return row.state == RowState::Waiting || row.state == RowState::Checking;
  });
}

std::optional<ClaimedEntry> CustomProxyList::Claim() {
  std::optional<ClaimedEntry> claimed;
  {
    MutexLock lock(mutex_);
    for (std::size_t i = firstMaybeWaiting_; i < rows_.size(); ++i) {
      Row& row = rows_[i];
      if (row.state != RowState::Waiting) continue;
      row.state = RowState::Checking;
      firstMaybeWaiting_ = i + 1;
      claimed = ClaimedEntry{row.id, row.proxy};
      break;
    }
    if (!claimed) firstMaybeWaiting_ = rows_.size();
  }
  if (claimed) Notify();
  return claimed;
}

void CustomProxyList::Unclaim(EntryId id) {
  {
    MutexLock lock(mutex_);
    const auto row =
        std::find_if(rows_.begin(), rows_.end(), [id](const Row& r) { return r.id == id; });
    if (row == rows_.end() || row->state != RowState::Checking) return;
    row->state = RowState::Waiting;
    firstMaybeWaiting_ =
        std::min(firstMaybeWaiting_, static_cast<std::size_t>(row - rows_.begin()));
  }
  Notify();
}

void CustomProxyList::Finish(EntryId id, const CheckResult& result) {
  {
    MutexLock lock(mutex_);
    const auto row =
        std::find_if(rows_.begin(), rows_.end(), [id](const Row& r) { return r.id == id; });
    if (row == rows_.end() || row->state != RowState::Checking) return;
    row->level = result.level;
    row->state = result.state;
    row->answerMs = result.answerMs;
    ++version_;
  }
  Notify();
}

}  // namespace cloakwise::checker
