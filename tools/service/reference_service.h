#pragma once

// The vendor side over HTTP: /proxy.php (the list service), /feedback.php
// (the judge) and /status (the operator's view of the pool), on one or more
// loopback ports.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "service/service_desk.h"

namespace httplib {
class Server;
}

namespace cloakwise::service {

struct ServiceOptions {
  std::vector<std::string> pool;
  std::string bindAddress = "127.0.0.1";  // refused unless in 127.0.0.0/8
  std::vector<std::uint16_t> ports{0};    // 0: any free port
  std::uint16_t tunnelPort = 0;           // where the tunnel probe asks; 0: any free port
  // Faults for the client's tests: the reply of this step (1 or 2) is cut
  // off after a few bytes, or made of something other than digits.
  int dropStep = 0;
  int garbleStep = 0;
  // Asked at each list-service request, on the service's thread: true drops
  // this reply as dropStep would (a fault that comes at a moment of the
  // test's choosing).
  std::function<bool(int step)> dropIf;
  // Receives one line per request.
  std::function<void(const std::string&)> log;
  // Replaces the random token and padding (tests that need fixed replies).
  std::function<std::string(std::size_t)> filler;
  // Where batches come from instead of the pool's round robin (the live
  // pool); unset: the pool, unchecked.
  ServiceDesk::BatchSupply batches;
  // /status's body, JSON when asked for (?format=json); unset: the pool's
  // size alone.
  std::function<std::string(bool json)> status;
  // How often one address may have a batch; any number unless set.
  RateLimit rateLimit;
};

// The time as the request log writes it, UTC to the millisecond.
std::string LogTimestamp();

bool IsLoopbackAddress(const std::string& address);

class ReferenceService {
 public:
  // Binds every port; throws std::runtime_error when one cannot be bound.
  explicit ReferenceService(ServiceOptions options);
  ~ReferenceService();
  ReferenceService(const ReferenceService&) = delete;
  ReferenceService& operator=(const ReferenceService&) = delete;

  // The bound ports, in the order asked for.
  const std::vector<std::uint16_t>& Ports() const { return ports_; }
  // One more, for the tunnel probe: where a proxy's CONNECT must lead (it
  // answers like every other port).
  std::uint16_t TunnelPort() const { return tunnelPort_; }
  std::string BaseUrl(std::size_t index = 0) const;
  // options.ini's [Service] section for a program that uses this service:
  // its first port, and its tunnel port.
  std::string OptionsIniSection() const;
  ServiceDesk& Desk() { return desk_; }

  void Stop();

 private:
  void Install(httplib::Server& server, std::uint16_t port);

  ServiceOptions options_;
  ServiceDesk desk_;
  std::vector<std::unique_ptr<httplib::Server>> servers_;
  std::vector<std::thread> threads_;
  std::vector<std::uint16_t> ports_;
  std::uint16_t tunnelPort_ = 0;
};

}  // namespace cloakwise::service
