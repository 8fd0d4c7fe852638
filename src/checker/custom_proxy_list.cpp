// The rows themselves and the user's edits of them.
#include "checker/custom_proxy_list.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

#include "checker/paste_grammar.h"

namespace cloakwise::checker {

CustomProxyList::CustomProxyList() {
  MutexLock lock(mutex_);
  rows_.push_back(BlankRow());
}

void CustomProxyList::SetChangeHandler(ChangeHandler onChanged) {
  onChanged_ = std::move(onChanged);
}

void CustomProxyList::Notify() const {
  if (onChanged_) onChanged_();
}

CustomProxyList::Row CustomProxyList::BlankRow() {
  return Row{nextId_++, {}, std::nullopt, std::nullopt, RowState::Blank};
}

CustomProxyList::Row CustomProxyList::NewEntry(std::string proxy) {
  return Row{nextId_++, std::move(proxy), std::nullopt, std::nullopt, RowState::Waiting};
}

bool CustomProxyList::IsEmptyLocked() const {
  return rows_.size() == 1 && rows_[0].proxy.empty();
}

PasteCounts CustomProxyList::AddPastedLines(std::string_view text) {
  // Parsed before the lock is taken: workers never wait on a long paste.
  const PastedLines pasted = PastedProxies(text);
  PasteCounts counts;
  counts.refused = pasted.refused;
  {
    MutexLock lock(mutex_);
    std::unordered_set<std::string> listed;
    for (const Row& row : rows_) listed.insert(row.proxy);
    for (const std::string& proxy : pasted.proxies) {
      if (!listed.insert(proxy).second) {
        ++counts.alreadyListed;
        continue;
      }
      if (IsEmptyLocked()) {
        rows_[0] = NewEntry(proxy);
        firstMaybeWaiting_ = 0;
      } else {
        rows_.push_back(NewEntry(proxy));
      }
      ++counts.added;
    }
    if (counts.added > 0) ++version_;
  }
  if (counts.added > 0) Notify();
  return counts;
}

bool CustomProxyList::ProxyAlreadyListed(std::string_view proxy) const {
  MutexLock lock(mutex_);
  return std::any_of(rows_.begin(), rows_.end(),
                     [&](const Row& row) { return row.proxy == proxy; });
}

void CustomProxyList::DeleteRow(std::size_t row) {
  {
    MutexLock lock(mutex_);
    if (row >= rows_.size()) return;
    if (rows_.size() > 1) {
      rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row));
    } else {
      rows_[0] = BlankRow();
    }
    firstMaybeWaiting_ = 0;
    ++version_;
  }
  Notify();
}

void CustomProxyList::Clear() {
  {
    MutexLock lock(mutex_);
    rows_.clear();
    rows_.push_back(BlankRow());
    firstMaybeWaiting_ = 0;
    ++version_;
  }
  Notify();
}

bool CustomProxyList::IsEmpty() const {
  MutexLock lock(mutex_);
  return IsEmptyLocked();
}

}  // namespace cloakwise::checker
