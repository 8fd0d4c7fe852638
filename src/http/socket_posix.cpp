#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "http/socket.h"
#include "http/socket_platform.h"

namespace cloakwise::http {
namespace {

SocketStatus FromErrno(int code) {
  return SocketStatus{code, SocketErrorText(code)};
}

// poll() that survives signals; timeoutMs < 0 waits without limit.
WaitResult PollOne(int fd, short events, int timeoutMs, short* revents, SocketStatus* status) {
  pollfd p{fd, events, 0};
  for (;;) {
    const int n = poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
    if (n > 0) {
      *revents = p.revents;
      return WaitResult::kReady;
    }
    if (n == 0) return WaitResult::kTimedOut;
    if (errno != EINTR) {
      *status = FromErrno(errno);
      return WaitResult::kFailed;
    }
  }
}

}  // namespace

std::string SocketErrorText(int code) {
  char buffer[256] = {};
  // The GNU variant may return a static string instead of filling the buffer.
  const char* text = strerror_r(code, buffer, sizeof buffer);
  return text ? text : "Socket Error # " + std::to_string(code);
}

namespace detail {

void StartSockets() {}

SocketStatus HostNotFound(int resolverCode) {
  return SocketStatus{resolverCode == 0 ? EAI_NONAME : resolverCode,
                      std::string("Host not found: ") + gai_strerror(resolverCode)};
}

}  // namespace detail

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, -1);
  }
  return *this;
}

SocketStatus TcpSocket::StartConnect(std::uint32_t address, std::uint16_t port) {
  Close();
  handle_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (handle_ < 0) return FromErrno(errno);
  // Requests are written in one piece and then wait for the reply; Nagle
  // would only add a delay when a POST body goes out in a second segment.
  const int one = 1;
  setsockopt(handle_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(port);
  target.sin_addr.s_addr = address;
  if (connect(handle_, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0 ||
      errno == EINPROGRESS) {
    return {};
  }
  const SocketStatus failed = FromErrno(errno);
  Close();
  return failed;
}

WaitResult WaitForAny(SocketWait* waits, std::size_t count, int timeoutMs, SocketStatus* status) {
  if (count > kMaxWaitedSockets) {
    *status = SocketStatus{EINVAL, "Too many sockets to wait for at once"};
    return WaitResult::kFailed;
  }
  std::vector<pollfd> polled(count);
  for (std::size_t i = 0; i < count; ++i) {
    waits[i].ready = false;
    polled[i] = pollfd{waits[i].socket->handle_,
                       static_cast<short>(waits[i].forWrite ? POLLOUT : POLLIN), 0};
  }
  for (;;) {
    const int n = poll(polled.data(), polled.size(), timeoutMs < 0 ? -1 : timeoutMs);
    if (n == 0) return WaitResult::kTimedOut;
    if (n > 0) break;
    if (errno != EINTR) {
      *status = FromErrno(errno);
      return WaitResult::kFailed;
    }
  }
  for (std::size_t i = 0; i < count; ++i) waits[i].ready = polled[i].revents != 0;
  return WaitResult::kReady;
}

SocketStatus TcpSocket::ConnectOutcome() {
  int error = 0;
  socklen_t size = sizeof error;
  if (getsockopt(handle_, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
  return error == 0 ? SocketStatus{} : FromErrno(error);
}

WaitResult TcpSocket::WaitConnected(int timeoutMs, SocketStatus* status) {
  short revents = 0;
  const WaitResult r = PollOne(handle_, POLLOUT, timeoutMs, &revents, status);
  if (r != WaitResult::kReady) return r;
  const SocketStatus outcome = ConnectOutcome();
  if (!outcome.Ok()) {
    *status = outcome;
    return WaitResult::kFailed;
  }
  return WaitResult::kReady;
}

WaitResult TcpSocket::WaitReadable(int timeoutMs, SocketStatus* status) {
  short revents = 0;
  // Errors and hang-ups count as readable: the following Receive reports them.
  return PollOne(handle_, POLLIN, timeoutMs, &revents, status);
}

WaitResult TcpSocket::WaitWritable(int timeoutMs, SocketStatus* status) {
  short revents = 0;
  return PollOne(handle_, POLLOUT, timeoutMs, &revents, status);
}

long TcpSocket::Receive(char* buffer, std::size_t size, SocketStatus* status) {
  for (;;) {
    const ssize_t n = recv(handle_, buffer, size, 0);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      *status = {};
    } else {
      *status = FromErrno(errno);
    }
    return -1;
  }
}

long TcpSocket::Send(const char* data, std::size_t size, SocketStatus* status) {
  for (;;) {
    // MSG_NOSIGNAL: a peer that vanished must give an error, not kill the process.
    const ssize_t n = send(handle_, data, size, MSG_NOSIGNAL);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      *status = {};
    } else {
      *status = FromErrno(errno);
    }
    return -1;
  }
}

bool TcpSocket::IsStale() {
  if (handle_ < 0) return true;
  pollfd p{handle_, POLLIN, 0};
  const int n = poll(&p, 1, 0);
  return n != 0;  // readable (data, end of stream, error) or poll failed
}

bool TcpSocket::IsOpen() const {
  return handle_ >= 0;
}

void TcpSocket::Close() {
  if (handle_ >= 0) {
    close(handle_);
    handle_ = -1;
  }
}

}  // namespace cloakwise::http
