#pragma once

// A judge page and the test proxy in front of it, both on 127.0.0.1, for the
// benchmarks: keep-alive on both sides, one thread per connection.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "testproxy/test_proxy.h"

namespace cloakwise::bench {

class LoopbackService {
 public:
  LoopbackService();
  ~LoopbackService();
  std::uint16_t ProxyPort() const { return proxy_->Ports()[0]; }
  std::uint16_t JudgePort() const { return judgePort_; }

 private:
  void AcceptLoop();
  void ServeJudge(int fd);
  void Release(int fd);

  int judgeListener_ = -1;
  std::uint16_t judgePort_ = 0;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::condition_variable idle_;
  std::thread acceptor_;
  std::vector<int> open_;  // descriptors of live connections, to wake them at the end
  int active_ = 0;         // connection threads still running
  // Elite, no faults, and every request to the judge whatever host it names.
  std::unique_ptr<testproxy::TestProxy> proxy_;
};

}  // namespace cloakwise::bench
