#include "cleanup/cleanup_report.h"

#include <algorithm>

namespace cloakwise::cleanup {

void CleanupReport::Stayed(const std::string& what) {
  for (const Remainder& left : stayed_) {
    if (left.what == what) return;
  }
  stayed_.push_back({what, {}});
}

void CleanupReport::KeptByRunning(std::string_view browser, std::string_view part) {
  const std::string what = std::string(browser) + " was running";
  auto it = std::find_if(stayed_.begin(), stayed_.end(),
                         [&](const Remainder& left) { return left.what == what; });
  if (it == stayed_.end()) it = stayed_.insert(stayed_.end(), {what, {}});
  if (std::find(it->parts.begin(), it->parts.end(), part) == it->parts.end())
    it->parts.emplace_back(part);
}

std::string CleanupReport::LastLine() const {
  if (stayed_.empty()) return "Cleaning finished! Your privacy is protected.";
  std::string text = "Cleaning finished, but ";
  for (std::size_t i = 0; i < stayed_.size(); ++i) {
    const Remainder& left = stayed_[i];
    text += (i ? "; " : "") + left.what;
    if (left.parts.empty()) continue;
    text += ": its ";
    for (std::size_t k = 0; k < left.parts.size(); ++k) {
      text += (k == 0 ? "" : k + 1 == left.parts.size() ? " and " : ", ") + left.parts[k];
    }
    text += " stayed";
  }
  return text + ".";
}

}  // namespace cloakwise::cleanup
