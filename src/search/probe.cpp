#include "search/probe.h"

#include <algorithm>

namespace cloakwise::search {

JudgeVerdict Accept(std::optional<AnonymityLevel> level, int minimumLevel) {
  if (!level) return {};
  const bool rejected = (*level == AnonymityLevel::Transparent && minimumLevel > 0) ||
                        (*level == AnonymityLevel::Anonymous && minimumLevel == 2);
  return {rejected ? SlotState::Failed : SlotState::Accepted, level};
}

int SpeedScore(std::int64_t elapsedMs) {
  // (1 - elapsed / 13000) * 100 = (13000 - elapsed) / 130, rounded in whole
  // numbers so no floating-point step can move a half.
  const std::int64_t left = 13000 - elapsedMs;
  if (left <= 0) return 0;
  std::int64_t score = left / 130;
  const std::int64_t rest = left % 130;
  if (rest * 2 > 130 || (rest * 2 == 130 && score % 2 == 1)) ++score;
  return static_cast<int>(std::min<std::int64_t>(score, 100));
}

std::string DescribeBatch(const std::vector<std::string>& descriptions) {
  std::string shown;
  for (std::size_t i = 0; i < descriptions.size(); ++i) {
    const auto earlier = descriptions.begin() + static_cast<std::ptrdiff_t>(i);
    if (std::find(descriptions.begin(), earlier, descriptions[i]) != earlier) continue;
    if (i > 0) shown += ", ";
    shown += descriptions[i];
  }
  return shown;
}

}  // namespace cloakwise::search
