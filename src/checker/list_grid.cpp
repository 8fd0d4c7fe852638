// What the grid, "Use this proxy", the clipboard and the check tool read of
// the rows.
#include <algorithm>

#include "checker/custom_proxy_list.h"

namespace cloakwise::checker {
namespace {

constexpr const char* kHeaders[kColumnCount] = {"Proxy", "Type", "Status", "Ping"};

bool TypeMatches(CopyFilter filter, const std::string& type) {
  switch (filter) {
    case CopyFilter::AnonymousOrElite:
      return type == "Anonymous" || type == "Elite";
    case CopyFilter::Anonymous:
      return type == "Anonymous";
    case CopyFilter::Elite:
      return type == "Elite";
  }
  return false;
}

}  // namespace

std::size_t CustomProxyList::RowCount() const {
  MutexLock lock(mutex_);
  return rows_.size();
}

std::string CustomProxyList::Cell(std::size_t row, int column) const {
  MutexLock lock(mutex_);
  if (row >= rows_.size()) return {};
  const Row& r = rows_[row];
  switch (column) {
    case kProxyColumn:
      return r.proxy;
    case kTypeColumn:
      return r.type;
    case kStatusColumn:
      return StatusText(r.state);
    case kPingColumn:
      return r.ping;
  }
  return {};
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
    if (row.state != RowState::HttpOnly && TypeMatches(filter, row.type)) {
      copied += row.proxy + "\r\n";
    }
  }
  return copied;
}

std::optional<ProxyEntry> CustomProxyList::EntryAt(std::size_t row) const {
  MutexLock lock(mutex_);
  if (IsEmptyLocked() || row >= rows_.size()) return std::nullopt;
  return ProxyEntry{rows_[row].proxy, rows_[row].type};
}

std::vector<ProxyRow> CustomProxyList::Rows() const {
  MutexLock lock(mutex_);
  std::vector<ProxyRow> rows;
  rows.reserve(rows_.size());
  for (const Row& row : rows_) rows.push_back({row.proxy, row.type, row.state, row.ping});
  return rows;
}

}  // namespace cloakwise::checker
