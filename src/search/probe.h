#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "judge/judge.h"

// The search's rules for one probed candidate, apart from the network: which
// answers it accepts, how fast is fast, and how a batch is shown.
namespace cloakwise::search {

enum class SlotState { Pending, Failed, Accepted };

using judge::AnonymityLevel;

struct JudgeVerdict {
  SlotState state = SlotState::Failed;
  std::optional<AnonymityLevel> level;  // set whenever the judge answered a digit
};

// A digit below the lowest accepted level is rejected. A stored minimum above
// 2 acts like 1 and one below 0 like 0, as the file has always been read.
JudgeVerdict Accept(std::optional<AnonymityLevel> level, int minimumLevel);

// 100 for an answer within 65 ms, one point less for every further 130 ms,
// 0 from 12935 ms on; halves go to the even neighbour.
int SpeedScore(std::int64_t elapsedMs);

// The batch's descriptions for the status view: each one once, in order,
// joined by ", ".
std::string DescribeBatch(const std::vector<std::string>& descriptions);

}  // namespace cloakwise::search
