#pragma once

// The list service's side of the two-step exchange, apart from HTTP: what a
// posttxt value means and what the reply to it is. Thread-safe.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "service/rate_limit.h"

namespace cloakwise::service {

struct ServiceRequest {
  int step = 1;  // 1 or 2
  std::string idText1;
  std::string idText2;
  std::uint32_t clientNumber = 0;
  std::string token;  // step 2 only
};

// Which step a request, well-formed or not, was meant for: 2 when it has the
// second request's closing ";", else 1.
int RequestStep(std::string_view posttxt);

// A request as the client sends it, or the reason it is refused.
std::variant<ServiceRequest, std::string> ParseServiceRequest(std::string_view posttxt);

// Reverses the client's number encoding; nullopt unless it yields 1 to 10
// decimal digits without a leading zero (or "0" itself).
std::optional<std::uint32_t> DecodeClientNumber(std::string_view encoded);

// One host:port and description per line; blank lines and lines starting
// with "#" are skipped. Throws std::runtime_error naming the first bad line.
std::vector<std::string> ParseCandidatePool(std::string_view text);

struct DeskReply {
  int step = 1;         // which reply this is, as the faults of the server see it
  std::string body;     // digit-encoded
  std::string session;  // set as the session cookie when not empty
  std::string logNote;  // what happened, for the request log
};

class ServiceDesk {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::size_t kTokenLength = 10;
  static constexpr std::size_t kMaxSessions = 10000;
  static constexpr std::chrono::seconds kSessionLifetime{120};

  // filler(n) returns n characters for the token and the padding; the default
  // draws letters and digits at random.
  explicit ServiceDesk(std::vector<std::string> pool,
                       std::function<std::string(std::size_t)> filler = {});

  // cookie: the session cookie the request carried, or empty.
  DeskReply Answer(std::string_view posttxt, const std::string& callerAddress,
                   const std::string& cookie);

  std::size_t OpenSessions();

  // Where batches come from instead of the pool's round robin: three lines
  // joined by ";", or nothing when there is none to give. Set before the
  // first request.
  using BatchSupply = std::function<std::optional<std::string>()>;
  void SupplyBatchesFrom(BatchSupply supply);
  // How often one caller address may have a batch; any number unless set.
  // Set before the first request.
  void LimitRate(RateLimit limit, MillisecondClock clock = {});

 private:
  struct Session {
    Clock::time_point created;
    std::string client;                  // the identity that asked for it
    std::optional<std::string> refusal;  // told at the second step
  };

  DeskReply FirstReply(const std::string& callerAddress, const std::string& client,
                       std::optional<std::string> refusal);
  DeskReply Refusal(const std::string& reason, const std::string& logNote);
  std::string NextBatch();
  void Forget(Clock::time_point now);

  std::vector<std::string> pool_;
  std::function<std::string(std::size_t)> filler_;
  std::mutex mutex_;
  std::map<std::string, Session> sessions_;
  std::size_t next_ = 0;  // round robin through the pool
  BatchSupply supply_;
  std::unique_ptr<RateLimiter> limiter_;
};

}  // namespace cloakwise::service
