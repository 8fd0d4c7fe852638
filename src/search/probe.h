#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The rules of one probe through a candidate proxy, apart from the network:
// which candidates can be probed at all, how the judge's reply is read, and
// how fast is fast.
namespace cloakwise::search {

enum class SlotState { Pending, Failed, Accepted };

// The anonymity the judge sees through a proxy.
enum class AnonymityLevel { Transparent = 0, Anonymous = 1, Elite = 2 };

struct ProxyAddress {
  std::string host;
  int port = 0;
};

// A candidate's "host:port", split at the first ':' with blanks and control
// characters trimmed from both parts. Nothing unless the host is a dotted
// IPv4 address or a host name and the port a whole decimal number in
// 1..65535: such a candidate could only be probed at an address nobody
// chose, or be written into the registry and user.js as something else.
std::optional<ProxyAddress> ParseCandidate(std::string_view candidate);

struct JudgeVerdict {
  SlotState state = SlotState::Failed;
  std::optional<AnonymityLevel> level;  // set whenever the judge answered a digit
};

// The judge's body, trimmed, must be exactly "0", "1" or "2"; a level below
// the lowest accepted one is rejected. A stored minimum above 2 acts like 1
// and one below 0 like 0, as the file has always been read.
JudgeVerdict ReadJudgeReply(std::string_view body, int minimumLevel);

// 100 for an answer within 65 ms, one point less for every further 130 ms,
// 0 from 12935 ms on; halves go to the even neighbour.
int SpeedScore(std::int64_t elapsedMs);

// The batch's descriptions for the status view: each one once, in order,
// joined by ", ".
std::string DescribeBatch(const std::vector<std::string>& descriptions);

// "Transparent Proxy", "Anonymous Proxy", "Elite Proxy".
std::string AnonymityText(AnonymityLevel level);

}  // namespace cloakwise::search
