#include "checker/custom_proxy_list.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

#include "checker/paste_grammar.h"
#include "core/option_keys.h"

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

CustomProxyList::CustomProxyList() {
  rows_.push_back(BlankRow());
}

void CustomProxyList::SetChangeHandler(ChangeHandler onChanged) {
  onChanged_ = std::move(onChanged);
}

void CustomProxyList::Notify() const {
  if (onChanged_) onChanged_();
}

CustomProxyList::Row CustomProxyList::BlankRow() {
  return Row{nextId_++, {}};
}

CustomProxyList::Row CustomProxyList::NewEntry(std::string proxy) {
  return Row{nextId_++, {std::move(proxy), kUnknownText, kUnknownText, kUnknownText}};
}

bool CustomProxyList::IsEmptyLocked() const {
  return rows_.size() == 1 && rows_[0].cells[kProxyColumn].empty();
}

std::size_t CustomProxyList::RowCount() const {
  std::lock_guard lock(mutex_);
  return rows_.size();
}

std::string CustomProxyList::Cell(std::size_t row, int column) const {
  if (column < 0 || column >= kColumnCount) return {};
  std::lock_guard lock(mutex_);
  return row < rows_.size() ? rows_[row].cells[column] : std::string();
}

std::string CustomProxyList::Header(int column) const {
  return column >= 0 && column < kColumnCount ? kHeaders[column] : "";
}

void CustomProxyList::Load(const SettingsStore& settings) {
  // The file is read before the lock is taken: workers never wait on disk.
  const std::vector<std::string> lines = settings.ReadSectionValues(kProxyListSection);
  {
    std::lock_guard lock(mutex_);
    rows_.clear();
    // Key names mean nothing: a hand-edited file with gaps or odd names
    // still lists its entries in file order. Nothing is held against the
    // paste rule: an entry a user kept from an earlier version stays, and
    // shows that it does not work once checked.
    for (const std::string& line : lines) {
      std::string proxy = line.substr(line.find('=') + 1);
      // options.ini can hold no NUL, and an interrupted write on some file
      // systems pads the file with them: NULs are taken out of an entry, and
      // an entry of nothing else is dropped, so the list can always be
      // written back.
      const bool hadNul = line.find('\0') != std::string::npos;
      proxy.erase(std::remove(proxy.begin(), proxy.end(), '\0'), proxy.end());
      if (hadNul && proxy.empty()) continue;
      rows_.push_back(proxy.empty() ? BlankRow() : NewEntry(std::move(proxy)));
    }
    if (rows_.empty()) rows_.push_back(BlankRow());
    firstMaybeWaiting_ = 0;
    ++version_;
  }
  Notify();
}

void CustomProxyList::Save(SettingsStore& settings) const {
  std::vector<std::pair<std::string, std::string>> entries;
  {
    std::lock_guard lock(mutex_);
    entries.reserve(rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      entries.emplace_back(std::to_string(i + 1), rows_[i].cells[kProxyColumn]);
    }
  }
  settings.ReplaceSection(kProxyListSection, entries);
}

std::size_t CustomProxyList::AddPastedLines(std::string_view text) {
  // Parsed before the lock is taken: workers never wait on a long paste.
  const std::vector<std::string> proxies = PastedProxies(text);
  std::size_t added = 0;
  {
    std::lock_guard lock(mutex_);
    std::unordered_set<std::string> listed;
    for (const Row& row : rows_) listed.insert(row.cells[kProxyColumn]);
    for (const std::string& proxy : proxies) {
      if (!listed.insert(proxy).second) continue;
      if (IsEmptyLocked()) {
        rows_[0] = NewEntry(proxy);
        firstMaybeWaiting_ = 0;
      } else {
        rows_.push_back(NewEntry(proxy));
      }
      ++added;
    }
    if (added > 0) ++version_;
  }
  if (added > 0) Notify();
  return added;
}

bool CustomProxyList::ProxyAlreadyListed(std::string_view proxy) const {
  std::lock_guard lock(mutex_);
  return std::any_of(rows_.begin(), rows_.end(),
                     [&](const Row& row) { return row.cells[kProxyColumn] == proxy; });
}

void CustomProxyList::DeleteRow(std::size_t row) {
  {
    std::lock_guard lock(mutex_);
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
    std::lock_guard lock(mutex_);
    rows_.clear();
    rows_.push_back(BlankRow());
    firstMaybeWaiting_ = 0;
    ++version_;
  }
  Notify();
}

std::string CustomProxyList::CopyText(CopyFilter filter) const {
  std::lock_guard lock(mutex_);
  std::string copied;
  // Only proxies that carry the whole web: an "HTTP only" one, pasted into
  // a browser, would break every HTTPS page.
  for (const Row& row : rows_) {
    if (row.cells[kStatusColumn] != kHttpOnlyText && TypeMatches(filter, row.cells[kTypeColumn])) {
      copied += row.cells[kProxyColumn] + "\r\n";
    }
  }
  return copied;
}

bool CustomProxyList::IsEmpty() const {
  std::lock_guard lock(mutex_);
  return IsEmptyLocked();
}

std::optional<ProxyEntry> CustomProxyList::EntryAt(std::size_t row) const {
  std::lock_guard lock(mutex_);
  if (IsEmptyLocked() || row >= rows_.size()) return std::nullopt;
  return ProxyEntry{rows_[row].cells[kProxyColumn], rows_[row].cells[kTypeColumn]};
}

std::vector<ProxyRow> CustomProxyList::Rows() const {
  std::lock_guard lock(mutex_);
  std::vector<ProxyRow> rows;
  rows.reserve(rows_.size());
  for (const Row& row : rows_) {
    const auto& c = row.cells;
    rows.push_back({c[kProxyColumn], c[kTypeColumn], c[kStatusColumn], c[kPingColumn]});
  }
  return rows;
}

bool CustomProxyList::ResetForCheck() {
  {
    std::lock_guard lock(mutex_);
    if (IsEmptyLocked()) return false;
    for (Row& row : rows_) {
      row.cells[kTypeColumn] = row.cells[kStatusColumn] = row.cells[kPingColumn] = kUnknownText;
    }
    firstMaybeWaiting_ = 0;
    ++version_;
  }
  Notify();
  return true;
}

bool CustomProxyList::CheckPending() const {
  std::lock_guard lock(mutex_);
  return std::any_of(rows_.begin(), rows_.end(), [](const Row& row) {
    const std::string& status = row.cells[kStatusColumn];
    return status == kUnknownText || status == kCheckingText;
  });
}

std::optional<ClaimedEntry> CustomProxyList::Claim() {
  std::optional<ClaimedEntry> claimed;
  {
    std::lock_guard lock(mutex_);
    for (std::size_t i = firstMaybeWaiting_; i < rows_.size(); ++i) {
      Row& row = rows_[i];
      if (row.cells[kStatusColumn] != kUnknownText) continue;
      row.cells[kStatusColumn] = kCheckingText;
      firstMaybeWaiting_ = i + 1;
      claimed = ClaimedEntry{row.id, row.cells[kProxyColumn]};
      break;
    }
    if (!claimed) firstMaybeWaiting_ = rows_.size();
  }
  if (claimed) Notify();
  return claimed;
}

void CustomProxyList::Finish(EntryId id, const CheckResult& result) {
  {
    std::lock_guard lock(mutex_);
    const auto row =
        std::find_if(rows_.begin(), rows_.end(), [id](const Row& r) { return r.id == id; });
    if (row == rows_.end() || row->cells[kStatusColumn] != kCheckingText) return;
    row->cells[kTypeColumn] = result.type;
    row->cells[kStatusColumn] = result.status;
    row->cells[kPingColumn] = result.ping;
    ++version_;
  }
  Notify();
}

CustomProxyList::PingSnapshot CustomProxyList::SnapshotPings() const {
  std::lock_guard lock(mutex_);
  PingSnapshot snapshot{version_, {}, {}};
  snapshot.pings.reserve(rows_.size());
  snapshot.statuses.reserve(rows_.size());
  for (const Row& row : rows_) {
    snapshot.pings.push_back(row.cells[kPingColumn]);
    snapshot.statuses.push_back(row.cells[kStatusColumn]);
  }
  return snapshot;
}

std::uint64_t CustomProxyList::Version() const {
  std::lock_guard lock(mutex_);
  return version_;
}

std::optional<std::uint64_t> CustomProxyList::SwapRows(std::uint64_t version, std::size_t a,
                                                       std::size_t b) {
  std::uint64_t now = 0;
  {
    std::lock_guard lock(mutex_);
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
