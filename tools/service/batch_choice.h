#pragma once

// Which three of the servable entries a client's batch holds.

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace cloakwise::service {

// Batches come from the fresher half of the servable entries, or from the
// freshest kLeastWindow when that half is smaller: what worked a minute ago
// is a better bet than what worked half an hour ago. Within that window each
// batch takes the three after the last one's, so clients asking one after
// the other (a crowd after an outage, or a client whose three failed asking
// again) get different threes, and the load spreads over the window.
inline constexpr std::size_t kLeastWindow = 12;

// The positions, among `available` lines freshest first, that batch number
// `turn` takes, in order; with fewer than three a line comes more than once.
// available must not be 0.
std::array<std::size_t, 3> PickThree(std::size_t available, std::uint64_t turn);

// Counts the batches handed out. Thread-safe.
class BatchChoice {
 public:
  // The batch as the desk sends it, three lines joined by ";"; nothing when
  // there is no line.
  std::optional<std::string> Next(const std::vector<std::string>& freshestFirst);

 private:
  std::mutex mutex_;
  std::uint64_t turn_ = 0;
};

}  // namespace cloakwise::service
