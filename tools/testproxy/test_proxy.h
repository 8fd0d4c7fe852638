#pragma once

// A forward HTTP proxy on loopback for the tests, the demo and the benchmarks.
// Each port has its own anonymity and, optionally, one fault. It only ever
// connects to 127.0.0.0/8.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace cloakwise::testproxy {

enum class Anonymity {
  Transparent,  // adds X-Forwarded-For with the client's address, and Via
  Anonymous,    // adds Via only
  Elite,        // adds nothing
};

enum class Fault {
  None,
  Delay,       // waits value ms before forwarding
  Refuse,      // resets every connection at once
  Close,       // sends the first half of the reply head, then closes
  Garbage,     // answers with bytes that are no HTTP at all, then closes
  WrongDigit,  // forwards, but the body becomes the digit value
  Trickle,     // sends the reply one byte every value ms
  Huge,        // answers 200 with a body of value bytes, without asking upstream
  // Tunnels (CONNECT), which every other port carries to 127.0.0.0/8:
  NoConnect,     // refuses them with 405, as proxies for plain HTTP only do
  ConnectDrop,   // accepts with 200, then closes without connecting
  ConnectStall,  // accepts with 200, then carries nothing either way
  // Takes every connection and never says a word, like a proxy behind a
  // firewall or overloaded: a client waits out its whole time-out.
  Silent,
};

struct PortPlan {
  std::uint16_t port = 0;  // 0: any free port
  Anonymity anonymity = Anonymity::Elite;
  Fault fault = Fault::None;
  long long value = 0;
};

// "PORT[-LAST]:MODE[:FAULT[=VALUE]]", e.g. "0:elite", "8100-8199:anonymous",
// "8200:transparent:delay=1500". Throws std::invalid_argument with a reason.
std::vector<PortPlan> ParsePortSpec(const std::string& spec);
const char* AnonymityName(Anonymity anonymity);
const char* FaultName(Fault fault);

struct ProxyOptions {
  std::string bindAddress = "127.0.0.1";
  std::vector<PortPlan> ports;
  // When set, every request goes to this loopback address whatever its URL
  // names; otherwise the URL's host must itself be in 127.0.0.0/8.
  std::optional<std::pair<std::string, std::uint16_t>> upstream;
  std::function<void(const std::string&)> log;  // one line per request
  int maxConnections = 2048;
};

class TestProxy;
class MessageReader;

// One port on an address of its own in 127.0.0.0/8: the tests give each
// candidate its own host, as real proxies have.
std::unique_ptr<TestProxy> StartOnAddress(const std::string& address, Anonymity anonymity,
                                          Fault fault = Fault::None, long long value = 0);

class TestProxy {
 public:
  // Binds every port; throws std::runtime_error when one cannot be bound.
  explicit TestProxy(ProxyOptions options);
  ~TestProxy();
  TestProxy(const TestProxy&) = delete;
  TestProxy& operator=(const TestProxy&) = delete;

  // The bound ports, one per planned port, in plan order.
  const std::vector<std::uint16_t>& Ports() const { return ports_; }
  // "address:port" of the first port, as a proxy list names it.
  std::string Endpoint() const { return options_.bindAddress + ":" + std::to_string(ports_.at(0)); }
  std::uint64_t Requests() const { return requests_; }
  // Ends every connection and waits for their threads.
  void Stop();

 private:
  struct Listener {
    int fd;
    PortPlan plan;
  };
  class Connection;

  void AcceptLoop();
  void Serve(int fd, const PortPlan& plan, const std::string& client);
  // A CONNECT request: the tunnel, or the plan's fault instead.
  void Tunnel(int fd, MessageReader& reader, const PortPlan& plan, const std::string& client,
              const std::string& target);
  void Log(const PortPlan& plan, const std::string& client, const std::string& what);
  void Track(int fd);
  void Release(int fd);

  ProxyOptions options_;
  std::vector<Listener> listeners_;
  std::vector<std::uint16_t> ports_;
  std::atomic<bool> stopping_{false};
  std::atomic<std::uint64_t> requests_{0};
  std::thread acceptor_;
  std::mutex mutex_;
  std::condition_variable idle_;
  std::vector<int> open_;  // live sockets, shut down to wake their threads at the end
  std::vector<int> held_;  // the connections of silent ports, closed at the end
  int active_ = 0;
  bool stopped_ = false;
};

}  // namespace cloakwise::testproxy
