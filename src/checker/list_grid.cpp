// What the grid, "Use this proxy", the clipboard and the check tool read of
// the rows.
#include <algorithm>

#include "checker/custom_proxy_list.h"

namespace cloakwise::checker {
namespace {

constexpr const char* kHeaders[kColumnCount] = {"Proxy", "Type", "Status", "Ping"};

bool LevelMatches(CopyFilter filter, std::optional<AnonymityLevel> level) {
  switch (filter) {
    case CopyFilter::AnonymousOrElite:
      return level == AnonymityLevel::Anonymous || level == AnonymityLevel::Elite;
    case CopyFilter::Anonymous:
      return level == AnonymityLevel::Anonymous;
    case CopyFilter::Elite:
      return level == AnonymityLevel::Elite;
  }
  return false;
}

}  // namespace

std::int64_t WholeSeconds(std::int64_t ms) {
  // Whole-number arithmetic, so no floating-point step can move a half.
  ms = std::max<std::int64_t>(ms, 0);
  std::int64_t seconds = ms / 1000;
  const std::int64_t rest = ms % 1000;
  if (rest > 500 || (rest == 500 && seconds % 2 == 1)) ++seconds;
  return seconds;
}

std::string PingText(std::int64_t answerMs) {
  return std::to_string(WholeSeconds(answerMs)) + " Sec.";
}

std::string CellText(const ProxyRow& row, int column) {
  const bool blank = row.state == RowState::Blank;
  switch (column) {
    case kProxyColumn:
      return row.proxy;
    case kTypeColumn:
      return blank ? "" : row.level ? judge::LevelName(*row.level) : kUnknownText;
    case kStatusColumn:
      return StatusText(row.state);
    case kPingColumn:
      return blank ? "" : row.answerMs ? PingText(*row.answerMs) : kUnknownText;
  }
  return {};
}

std::size_t CustomProxyList::RowCount() const {
  MutexLock lock(mutex_);
  return rows_.size();
}

std::string CustomProxyList::Cell(std::size_t row, int column) const {
  MutexLock lock(mutex_);
  if (row >= rows_.size()) return {};
  return CellText(rows_[row].View(), column);
}

std::string CustomProxyList::Header(int column) const {
  return column >= 0 && column < kColumnCount ? kHeaders[column] : "";
}

std::string CustomProxyList::CopyText(CopyFilter filter) const {
  MutexLock lock(mutex_);
  std::string copied;
  // Only proxies that carry the whole web: an "HTTP only" one, pasted into
  // a browser, would break every HTTPS page.
  for (const Row& row : rows_) {
    if (row.state != RowState::HttpOnly && LevelMatches(filter, row.level)) {
      copied += row.proxy + "\r\n";
    }
  }
  return copied;
}

std::optional<ProxyEntry> CustomProxyList::EntryAt(std::size_t row) const {
  MutexLock lock(mutex_);
  if (IsEmptyLocked() || row >= rows_.size()) return std::nullopt;
  return ProxyEntry{rows_[row].proxy, rows_[row].level};
}

std::vector<ProxyRow> CustomProxyList::Rows() const {
  MutexLock lock(mutex_);
  std::vector<ProxyRow> rows;
  rows.reserve(rows_.size());
  for (const Row& row : rows_) rows.push_back(row.View());
  return rows;
}

}  // namespace cloakwise::checker
