// A small Linux HTTP server for the Windows build's client tests: the client
// runs under Wine and meets this server across a real loopback socket. It
// writes "port blackhole-port refused-port" to the file named by its argument,
// serves until stopped (at most five minutes), and answers by path:
//   /echo...    200, the body is "conn=N\n" and the request exactly as it came
//   /chunked    200, a chunked body "Hello, Wine"
//   /close      HTTP/1.0 200, the body runs to the close
//   /cookie     200 with Set-Cookie: session=w1; Path=/
//   /slow       200 "late" after 800 ms
//   /silent     no answer
//   /missing    404 with a body
//   /redirect   302 with a Location
// Everything listens on 127.0.0.1 only.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "testproxy/loopback_net.h"

namespace {

std::atomic<int> connections{0};

int Listen(int backlog, int* port) {
  std::uint16_t bound = 0;
  try {
    const int fd = cloakwise::testproxy::ListenLoopback("127.0.0.1", 0, &bound, backlog);
    *port = bound;
    return fd;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    std::exit(1);
  }
}

using cloakwise::testproxy::SendAll;

// One request with its Content-Length body; false when the client went away
// or stayed silent for ten seconds.
bool ReadRequest(int fd, std::string& pending, std::string& request) {
  for (;;) {
    const auto headEnd = pending.find("\r\n\r\n");
    if (headEnd != std::string::npos) {
      std::size_t length = 0;
      const auto at = pending.find("\r\nContent-Length: ");
      if (at != std::string::npos && at < headEnd) length = std::stoul(pending.substr(at + 18));
      if (pending.size() >= headEnd + 4 + length) {
        request = pending.substr(0, headEnd + 4 + length);
        pending.erase(0, request.size());
        return true;
      }
    }
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 10000) <= 0) return false;
    char buffer[4096];
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    pending.append(buffer, static_cast<std::size_t>(n));
  }
}

std::string Reply(const std::string& status, const std::string& body,
                  const std::string& extra = "") {
  return "HTTP/1.1 " + status + "\r\n" + extra + "Content-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

void Serve(int fd) {
  const int id = ++connections;
  std::string pending, request;
  while (ReadRequest(fd, pending, request)) {
    // The path, from either the origin form or a proxy's absolute form.
    std::string target = request.substr(request.find(' ') + 1);
    target.erase(target.find(' '));
    if (const auto scheme = target.find("://"); scheme != std::string::npos) {
      target.erase(0, target.find('/', scheme + 3));
    }
    if (target.rfind("/echo", 0) == 0) {
      if (!SendAll(fd, Reply("200 OK", "conn=" + std::to_string(id) + "\n" + request))) break;
    } else if (target == "/chunked") {
      if (!SendAll(fd,
                   "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                   "7\r\nHello, \r\n4\r\nWine\r\n0\r\n\r\n")) {
        break;
      }
    } else if (target == "/close") {
      SendAll(fd, "HTTP/1.0 200 OK\r\n\r\nuntil the close");
      break;
    } else if (target == "/cookie") {
      if (!SendAll(fd, Reply("200 OK", "set", "Set-Cookie: session=w1; Path=/\r\n"))) break;
    } else if (target == "/slow") {
      std::this_thread::sleep_for(std::chrono::milliseconds(800));
      if (!SendAll(fd, Reply("200 OK", "late"))) break;
    } else if (target == "/silent") {
      pollfd p{fd, POLLIN, 0};
      poll(&p, 1, 10000);  // until the client gives up
      break;
    } else if (target == "/missing") {
      if (!SendAll(fd, Reply("404 Not Found", "no such page"))) break;
    } else if (target == "/redirect") {
      if (!SendAll(fd, Reply("302 Found", "", "Location: /echo\r\n"))) break;
    } else {
      if (!SendAll(fd, Reply("400 Bad Request", target))) break;
    }
  }
  close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s PORT-FILE\n", argv[0]);
    return 2;
  }
  int port = 0, blackholePort = 0, refusedPort = 0;
  const int listener = Listen(16, &port);
  close(Listen(1, &refusedPort));

  // A listener whose accept queue is full and never drained.
  const int blackhole = Listen(0, &blackholePort);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(blackholePort));
  std::vector<int> fillers;
  for (bool full = false; !full && fillers.size() < 16;) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    fillers.push_back(fd);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) continue;
    pollfd p{fd, POLLOUT, 0};
    full = poll(&p, 1, 200) == 0;
  }

  FILE* out = std::fopen(argv[1], "w");
  std::fprintf(out, "%d %d %d\n", port, blackholePort, refusedPort);
  std::fclose(out);

  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(5);
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{listener, POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) continue;
    const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) std::thread(Serve, fd).detach();
  }
  (void)blackhole;
  return 0;
}
