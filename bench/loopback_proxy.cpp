#include "loopback_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <string>

namespace cloakwise::bench {
namespace {

int Listen(std::uint16_t* port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 64) != 0) {
    throw std::runtime_error("cannot listen on loopback");
  }
  socklen_t size = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &size);
  *port = ntohs(addr.sin_port);
  return fd;
}

bool SendAll(int fd, const std::string& data) {
  std::size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

// Reads one message whose head ends with an empty line and whose body has a
// Content-Length (0 when none); false when the peer went away.
bool ReadMessage(int fd, std::string& pending, std::string& message) {
  for (;;) {
    const auto headEnd = pending.find("\r\n\r\n");
    if (headEnd != std::string::npos) {
      std::size_t length = 0;
      const auto at = pending.find("Content-Length: ");
      if (at != std::string::npos && at < headEnd) length = std::stoul(pending.substr(at + 16));
      const std::size_t end = headEnd + 4 + length;
      if (pending.size() >= end) {
        message = pending.substr(0, end);
        pending.erase(0, end);
        return true;
      }
    }
    char buffer[16384];
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    pending.append(buffer, static_cast<std::size_t>(n));
  }
}

void NoDelay(int fd) {
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

}  // namespace

LoopbackService::LoopbackService() {
  judgeListener_ = Listen(&judgePort_);
  proxyListener_ = Listen(&proxyPort_);
  acceptors_.emplace_back([this] { AcceptLoop(judgeListener_, false); });
  acceptors_.emplace_back([this] { AcceptLoop(proxyListener_, true); });
}

LoopbackService::~LoopbackService() {
  stopping_ = true;
  for (auto& t : acceptors_) t.join();
  std::unique_lock lock(mutex_);
  for (const int fd : open_) shutdown(fd, SHUT_RDWR);
  idle_.wait(lock, [this] { return active_ == 0; });
  close(judgeListener_);
  close(proxyListener_);
}

void LoopbackService::AcceptLoop(int listener, bool proxy) {
  while (!stopping_) {
    pollfd p{listener, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    NoDelay(fd);
    {
      std::lock_guard lock(mutex_);
      ++active_;
    }
    Track(fd);
    // Detached: a run that opens a connection per request would otherwise
    // pile up thousands of finished threads. The destructor waits for active_.
    std::thread([this, fd, proxy] {
      proxy ? ServeProxy(fd) : ServeJudge(fd);
      Release(fd);
      std::lock_guard lock(mutex_);
      if (--active_ == 0) idle_.notify_all();
    }).detach();
  }
}

void LoopbackService::ServeJudge(int fd) {
  std::string pending, request;
  while (!stopping_ && ReadMessage(fd, pending, request)) {
    if (!SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 1\r\n\r\n2")) {
      break;
    }
  }
}

void LoopbackService::ServeProxy(int fd) {
  int upstream = -1;
  std::string pending, upPending, request, reply;
  while (!stopping_ && ReadMessage(fd, pending, request)) {
    // "GET http://host:port/path HTTP/1.1" becomes "GET /path HTTP/1.1".
    const auto scheme = request.find("://");
    const auto path = request.find('/', scheme + 3);
    if (scheme == std::string::npos || path == std::string::npos) break;
    request.erase(request.find(' ') + 1, path - request.find(' ') - 1);
    if (upstream < 0) {
      upstream = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      NoDelay(upstream);
      sockaddr_in addr{};
      addr.sin_family = AF_INET;
      addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      addr.sin_port = htons(judgePort_);
      Track(upstream);
      if (connect(upstream, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) break;
    }
    if (!SendAll(upstream, request) || !ReadMessage(upstream, upPending, reply) ||
        !SendAll(fd, reply)) {
      break;
    }
  }
  if (upstream >= 0) Release(upstream);
}

void LoopbackService::Track(int fd) {
  std::lock_guard lock(mutex_);
  open_.push_back(fd);
}

// Closed under the lock, so the destructor never shuts down a number that
// has meanwhile been handed to another connection.
void LoopbackService::Release(int fd) {
  std::lock_guard lock(mutex_);
  std::erase(open_, fd);
  close(fd);
}

}  // namespace cloakwise::bench
