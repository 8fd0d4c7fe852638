#include "testproxy/loopback_net.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace cloakwise::testproxy {
namespace {

bool SameNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool ToAddress(const std::string& address, std::uint16_t port, sockaddr_in& out) {
  out = sockaddr_in{};
  out.sin_family = AF_INET;
  out.sin_port = htons(port);
  return inet_pton(AF_INET, address.c_str(), &out.sin_addr) == 1 &&
         (ntohl(out.sin_addr.s_addr) >> 24) == 127;
}

}  // namespace

bool IsLoopbackIpv4(const std::string& address) {
  sockaddr_in unused;
  return ToAddress(address, 0, unused);
}

int ListenLoopback(const std::string& address, std::uint16_t port, std::uint16_t* bound,
                   int backlog) {
  sockaddr_in addr;
  if (!ToAddress(address, port, addr)) {
    throw std::runtime_error("only addresses in 127.0.0.0/8, not " + address);
  }
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(fd, backlog) != 0) {
    if (fd >= 0) close(fd);
    throw std::runtime_error("cannot listen on " + address + ":" + std::to_string(port));
  }
  socklen_t size = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &size);
  if (bound) *bound = ntohs(addr.sin_port);
  return fd;
}

int ConnectLoopback(const std::string& address, std::uint16_t port) {
  sockaddr_in addr;
  if (!ToAddress(address, port, addr)) return -1;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  SetNoDelay(fd);
  return fd;
}

void SetNoDelay(int fd) {
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

bool SendAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void CloseWithReset(int fd) {
  const linger reset{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  close(fd);
}

void Relay(int a, int b, const std::atomic<bool>& stop, int idleMs) {
  int silentMs = 0;
  while (!stop && silentMs < idleMs) {
    pollfd polls[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
    const int ready = poll(polls, 2, 50);
    if (ready < 0) return;
    if (ready == 0) {
      silentMs += 50;
      continue;
    }
    silentMs = 0;
    for (int i = 0; i < 2; ++i) {
      if (!(polls[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[16384];
      const ssize_t n = recv(polls[i].fd, buffer, sizeof buffer, 0);
      if (n <= 0 ||
          !SendAll(polls[1 - i].fd, std::string_view(buffer, static_cast<std::size_t>(n))))
        return;
    }
  }
}

void SleepUnlessStopped(long long ms, const std::atomic<bool>& stop) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!stop && std::chrono::steady_clock::now() < end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(20)));
  }
}

std::optional<std::string> HttpHead::Find(std::string_view name) const {
  for (const auto& [n, v] : headers) {
    if (SameNoCase(n, name)) return v;
  }
  return std::nullopt;
}

void HttpHead::Remove(std::string_view name) {
  std::erase_if(headers, [&](const auto& h) { return SameNoCase(h.first, name); });
}

std::string HttpHead::Serialize() const {
  std::string out = startLine + "\r\n";
  for (const auto& [n, v] : headers) out += n + ": " + v + "\r\n";
  return out + "\r\n";
}

bool MessageReader::Fill() {
  int silentMs = 0;
  while (!stop_) {
    pollfd p{fd_, POLLIN, 0};
    const int ready = poll(&p, 1, 50);
    if (ready < 0) return false;
    if (ready == 0) {
      if ((silentMs += 50) >= idleMs_) return false;
      continue;
    }
    char buffer[16384];
    const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) {
      closed_ = true;
      return false;
    }
    pending_.append(buffer, static_cast<std::size_t>(n));
    return true;
  }
  return false;
}

bool MessageReader::ReadLine(std::string& line) {
  for (;;) {
    const auto end = pending_.find('\n');
    if (end != std::string::npos) {
      line = pending_.substr(0, end);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      pending_.erase(0, end + 1);
      return true;
    }
    if (pending_.size() > kMaxHead || !Fill()) return false;
  }
}

bool MessageReader::ReadHead(HttpHead& head) {
  head = HttpHead{};
  std::size_t total = 0;
  std::string line;
  do {  // blank lines before a message are tolerated
    if (!ReadLine(line)) return false;
  } while (line.empty());
  head.startLine = line;
  for (;;) {
    if (!ReadLine(line)) return false;
    total += line.size();
    if (total > kMaxHead) return false;
    if (line.empty()) return true;
    const auto colon = line.find(':');
    if (colon == std::string::npos || colon == 0) return false;
    std::string value = line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(" \t"));
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
    head.headers.emplace_back(line.substr(0, colon), value);
  }
}

bool MessageReader::ReadBody(const HttpHead& head, bool untilClose, std::size_t maxBody,
                             std::string& body) {
  body.clear();
  const auto encoding = head.Find("Transfer-Encoding");
  if (encoding && SameNoCase(*encoding, "chunked")) {
    for (;;) {
      std::string sizeLine;
      if (!ReadLine(sizeLine)) return false;
      std::size_t size = 0;
      try {
        size = std::stoul(sizeLine, nullptr, 16);
      } catch (const std::exception&) {
        return false;
      }
      if (size > maxBody - std::min(maxBody, body.size())) return false;
      if (size == 0) {
        do {  // trailers
          if (!ReadLine(sizeLine)) return false;
        } while (!sizeLine.empty());
        return true;
      }
      while (pending_.size() < size + 2) {
        if (!Fill()) return false;
      }
      body.append(pending_, 0, size);
      pending_.erase(0, size + 2);
    }
  }
  if (const auto length = head.Find("Content-Length")) {
    std::size_t size = 0;
    try {
      size = std::stoul(*length);
    } catch (const std::exception&) {
      return false;
    }
    if (size > maxBody) return false;
    while (pending_.size() < size) {
      if (!Fill()) return false;
    }
    body = pending_.substr(0, size);
    pending_.erase(0, size);
    return true;
  }
  if (!untilClose) return true;
  while (Fill()) {
    if (pending_.size() > maxBody) return false;
  }
  body.swap(pending_);
  pending_.clear();
  return closed_;
}

}  // namespace cloakwise::testproxy
