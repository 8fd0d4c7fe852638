#pragma once

// Loopback servers that the client tests script byte by byte: a well-behaved
// origin, a proxy, or a hostile one. Everything listens on 127.0.0.1 only.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace cloakwise::http::testing {

class TestServer;

class ServerConnection {
 public:
  ServerConnection(int fd, TestServer& server) : fd_(fd), server_(server) {}
  ~ServerConnection();
  ServerConnection(const ServerConnection&) = delete;
  ServerConnection& operator=(const ServerConnection&) = delete;

  // One request: the head up to the empty line and a Content-Length body.
  // Recorded with the server. Empty when the client closed or went silent.
  std::string ReadRequest(int timeoutMs = 5000);
  bool Send(std::string_view data);
  // Sends one byte at a time with a pause after each, until done or stopped.
  void Trickle(std::string_view data, int pauseMs);
  // Sleeps, waking early when the server stops.
  void Sleep(int ms);
  // Waits for the client to close its side; false on time-out.
  bool WaitForClientClose(int timeoutMs);
  void Close();
  // Closes with a reset instead of an orderly end.
  void Reset();

 private:
  int fd_;
  TestServer& server_;
  std::string pending_;  // bytes read beyond the last request
};

class TestServer {
 public:
  using Handler = std::function<void(ServerConnection&)>;
  // Each accepted connection runs the handler on a thread of its own.
  explicit TestServer(Handler handler);
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  std::uint16_t Port() const { return port_; }
  std::string Url(const std::string& path = "/") const;
  std::vector<std::string> Requests() const;
  int Connections() const { return connections_; }
  bool Stopping() const { return stopping_; }

 private:
  friend class ServerConnection;
  void Record(const std::string& request);
  void SleepFor(int ms);

  int listener_ = -1;
  std::uint16_t port_ = 0;
  Handler handler_;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<std::string> requests_;
  std::vector<std::thread> workers_;
  std::thread acceptor_;
};

// A loopback port whose accept queue is full and never drained: a connect to
// it gets no answer, as if the host were black-holed.
class BlackholeListener {
 public:
  BlackholeListener();
  ~BlackholeListener();
  std::uint16_t Port() const { return port_; }

 private:
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::vector<int> fillers_;
};

// A loopback port with nothing listening: connects are refused.
std::uint16_t RefusingPort();

// Milliseconds a callable took.
long long MillisecondsOf(const std::function<void()>& f);

}  // namespace cloakwise::http::testing
