#include "loopback_proxy.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "testproxy/loopback_net.h"

namespace cloakwise::bench {

LoopbackService::LoopbackService() {
  judgeListener_ = testproxy::ListenLoopback("127.0.0.1", 0, &judgePort_);
  testproxy::ProxyOptions options;
  options.ports = testproxy::ParsePortSpec("0:elite");
  options.upstream.emplace("127.0.0.1", judgePort_);
  proxy_ = std::make_unique<testproxy::TestProxy>(options);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackService::~LoopbackService() {
  proxy_->Stop();
  stopping_ = true;
  acceptor_.join();
  std::unique_lock lock(mutex_);
  for (const int fd : open_) shutdown(fd, SHUT_RDWR);
  idle_.wait(lock, [this] { return active_ == 0; });
  close(judgeListener_);
}

void LoopbackService::AcceptLoop() {
  while (!stopping_) {
    pollfd p{judgeListener_, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    const int fd = accept4(judgeListener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    testproxy::SetNoDelay(fd);
    {
      std::lock_guard lock(mutex_);
      ++active_;
      open_.push_back(fd);
    }
    // Detached: a run that opens a connection per request would otherwise
    // pile up thousands of finished threads. The destructor waits for active_.
    std::thread([this, fd] {
      ServeJudge(fd);
      Release(fd);
      std::lock_guard lock(mutex_);
      if (--active_ == 0) idle_.notify_all();
    }).detach();
  }
}

void LoopbackService::ServeJudge(int fd) {
  testproxy::MessageReader reader(fd, stopping_);
  testproxy::HttpHead request;
  std::string body;
  while (!stopping_ && reader.ReadHead(request) && reader.ReadBody(request, false, 1 << 20, body)) {
    if (!testproxy::SendAll(
            fd, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 1\r\n\r\n2")) {
      break;
    }
  }
}

// Closed under the lock, so the destructor never shuts down a number that
// has meanwhile been handed to another connection.
void LoopbackService::Release(int fd) {
  std::lock_guard lock(mutex_);
  std::erase(open_, fd);
  close(fd);
}

}  // namespace cloakwise::bench
