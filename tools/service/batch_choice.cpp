#include "service/batch_choice.h"

#include <algorithm>

namespace cloakwise::service {

std::array<std::size_t, 3> PickThree(std::size_t available, std::uint64_t turn) {
  const std::size_t window =
      available <= kLeastWindow ? available : std::max(kLeastWindow, available / 2);
  std::array<std::size_t, 3> picked{};
  for (std::size_t i = 0; i < 3; ++i) picked[i] = (3 * turn + i) % window;
  // The freshest of the three first, as the program tries them in order.
  std::sort(picked.begin(), picked.end());
  return picked;
}

std::optional<std::string> BatchChoice::Next(const std::vector<std::string>& freshestFirst) {
  if (freshestFirst.empty()) return std::nullopt;
  std::uint64_t turn;
  {
    std::lock_guard lock(mutex_);
    turn = turn_++;
  }
  std::string batch;
  for (const std::size_t at : PickThree(freshestFirst.size(), turn)) {
    if (!batch.empty()) batch += ';';
    batch += freshestFirst[at];
  }
  return batch;
}

}  // namespace cloakwise::service
