// What options.ini keeps of the list: the Proxy texts, in row order.
#include <algorithm>
#include <utility>

#include "checker/custom_proxy_list.h"
#include "core/option_keys.h"

namespace cloakwise::checker {

void CustomProxyList::Load(const SettingsStore& settings) {
  // The file is read before the lock is taken: workers never wait on disk.
  const std::vector<std::string> lines = settings.ReadSectionValues(kProxyListSection);
  {
    MutexLock lock(mutex_);
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
    MutexLock lock(mutex_);
    entries.reserve(rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      entries.emplace_back(std::to_string(i + 1), rows_[i].proxy);
    }
  }
  settings.ReplaceSection(kProxyListSection, entries);
}

}  // namespace cloakwise::checker
