#pragma once

// A judge page and an HTTP proxy in front of it, both on 127.0.0.1, for the
// benchmarks: keep-alive on both sides, one thread per connection.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace cloakwise::bench {

class LoopbackService {
 public:
  LoopbackService();
  ~LoopbackService();
  std::uint16_t ProxyPort() const { return proxyPort_; }
  std::uint16_t JudgePort() const { return judgePort_; }

 private:
  void AcceptLoop(int listener, bool proxy);
  void ServeJudge(int fd);
  void ServeProxy(int fd);
  void Track(int fd);
  void Release(int fd);

  int judgeListener_ = -1;
  int proxyListener_ = -1;
  std::uint16_t judgePort_ = 0;
  std::uint16_t proxyPort_ = 0;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::condition_variable idle_;
  std::vector<std::thread> acceptors_;
  std::vector<int> open_;  // descriptors of live connections, to wake them at the end
  int active_ = 0;         // connection threads still running
};

}  // namespace cloakwise::bench
