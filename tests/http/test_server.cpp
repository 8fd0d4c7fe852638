#include "http/test_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

#include "testproxy/loopback_net.h"

namespace cloakwise::http::testing {
namespace {

int ListenOnLoopback(int backlog, std::uint16_t* port) {
  return testproxy::ListenLoopback("127.0.0.1", 0, port, backlog);
}

// Position just past the request in data, or npos while it is incomplete.
std::size_t RequestEnd(const std::string& data) {
  const auto headEnd = data.find("\r\n\r\n");
  if (headEnd == std::string::npos) return std::string::npos;
  std::size_t length = 0;
  const std::string head = data.substr(0, headEnd);
  const auto at = head.find("\r\nContent-Length: ");
  if (at != std::string::npos) length = std::stoul(head.substr(at + 18));
  const std::size_t end = headEnd + 4 + length;
  return data.size() >= end ? end : std::string::npos;
}

}  // namespace

ServerConnection::~ServerConnection() {
  Close();
}

std::string ServerConnection::ReadRequest(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto end = RequestEnd(pending_);
    if (end != std::string::npos) {
      std::string request = pending_.substr(0, end);
      pending_.erase(0, end);
      server_.Record(request);
      return request;
    }
    if (fd_ < 0 || server_.Stopping() || std::chrono::steady_clock::now() >= deadline) return "";
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    char buffer[4096];
    const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) return "";
    pending_.append(buffer, static_cast<std::size_t>(n));
  }
}

bool ServerConnection::Send(std::string_view data) {
  while (!data.empty() && fd_ >= 0) {
    const ssize_t n = send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return fd_ >= 0;
}

void ServerConnection::Trickle(std::string_view data, int pauseMs) {
  for (const char c : data) {
    if (server_.Stopping() || !Send(std::string_view(&c, 1))) return;
    Sleep(pauseMs);
  }
}

void ServerConnection::Sleep(int ms) {
  server_.SleepFor(ms);
}

bool ServerConnection::WaitForClientClose(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (fd_ >= 0 && std::chrono::steady_clock::now() < deadline && !server_.Stopping()) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    char buffer[4096];
    if (recv(fd_, buffer, sizeof buffer, 0) <= 0) return true;
  }
  return false;
}

void ServerConnection::Close() {
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
}

void ServerConnection::Reset() {
  if (fd_ < 0) return;
  linger hard{1, 0};
  setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  Close();
}

TestServer::TestServer(Handler handler) : handler_(std::move(handler)) {
  listener_ = ListenOnLoopback(16, &port_);
  acceptor_ = std::thread([this] {
    while (!stopping_) {
      pollfd p{listener_, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      ++connections_;
      std::lock_guard lock(mutex_);
      workers_.emplace_back([this, fd] {
        ServerConnection connection(fd, *this);
        handler_(connection);
      });
    }
  });
}

TestServer::~TestServer() {
  stopping_ = true;
  wake_.notify_all();
  acceptor_.join();
  close(listener_);
  std::vector<std::thread> workers;
  {
    std::lock_guard lock(mutex_);
    workers.swap(workers_);
  }
  for (auto& w : workers) w.join();
}

std::string TestServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> TestServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void TestServer::Record(const std::string& request) {
  std::lock_guard lock(mutex_);
  requests_.push_back(request);
}

void TestServer::SleepFor(int ms) {
  std::unique_lock lock(mutex_);
  wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_.load(); });
}

BlackholeListener::BlackholeListener() {
  // Backlog 0 still queues one connection on Linux; fill the queue until a
  // connect stays pending, which proves that further SYNs are dropped.
  listener_ = ListenOnLoopback(0, &port_);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port_);
  for (int i = 0; i < 16; ++i) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    fillers_.push_back(fd);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) continue;
    pollfd p{fd, POLLOUT, 0};
    if (poll(&p, 1, 200) == 0) return;  // this one hangs: the queue is full
  }
  throw std::runtime_error("could not fill the accept queue");
}

BlackholeListener::~BlackholeListener() {
  for (const int fd : fillers_) close(fd);
  close(listener_);
}

std::uint16_t RefusingPort() {
  std::uint16_t port = 0;
  const int fd = ListenOnLoopback(1, &port);
  close(fd);
  return port;
}

long long MillisecondsOf(const std::function<void()>& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

}  // namespace cloakwise::http::testing
