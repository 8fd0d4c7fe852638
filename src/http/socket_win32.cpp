// Winsock flavour of the socket layer, for cloakwise.exe.
//
// Many sockets are waited for with select(), not WSAPoll: WSAPoll on Windows
// before 10 version 2004 never reports a connect that failed, so a refused
// probe would wait out its whole time-out. Winsock's fd_set is a counted
// array, and its size is ours to choose before the header is read.
#define FD_SETSIZE 1024
#include <winsock2.h>
#include <ws2tcpip.h>

#include <memory>
#include <mutex>
#include <utility>

#include "http/socket.h"
#include "http/socket_platform.h"
#include "platform/win32/wide.h"

namespace cloakwise::http {
namespace {

constexpr NativeSocket kNoSocket = static_cast<NativeSocket>(INVALID_SOCKET);

// Winsock must be started once per process before any call; it is never
// cleaned up, since sockets may live until the process ends.
void EnsureWinsock() {
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  });
}

SocketStatus FromCode(int code) {
  return SocketStatus{code, SocketErrorText(code)};
}

enum Direction { kRead = 1, kWrite = 2 };

// The three sets select() takes, empty. Winsock's FD_SETSIZE limits how many
// sockets a set holds, not their values.
struct SelectSets {
  fd_set reads, writes, errors;
  SelectSets() {
    FD_ZERO(&reads);
    FD_ZERO(&writes);
    FD_ZERO(&errors);
  }
  void Add(SOCKET sock, bool forWrite) {
    FD_SET(sock, forWrite ? &writes : &reads);
    FD_SET(sock, &errors);
  }
  WaitResult Wait(int timeoutMs, SocketStatus* status) {
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int n = select(0, &reads, &writes, &errors, timeoutMs < 0 ? nullptr : &limit);
    if (n == SOCKET_ERROR) {
      *status = FromCode(WSAGetLastError());
      return WaitResult::kFailed;
    }
    return n == 0 ? WaitResult::kTimedOut : WaitResult::kReady;
  }
};

// select() with one socket.
WaitResult SelectOne(NativeSocket s, int direction, int timeoutMs, bool* excepted,
                     SocketStatus* status) {
  // Too big for the stack of every thread that waits.
  auto sets = std::make_unique<SelectSets>();
  const SOCKET sock = static_cast<SOCKET>(s);
  sets->Add(sock, direction == kWrite);
  const WaitResult r = sets->Wait(timeoutMs, status);
  if (r == WaitResult::kReady && excepted) *excepted = FD_ISSET(sock, &sets->errors) != 0;
  return r;
}

}  // namespace

std::string SocketErrorText(int code) {
  // The system's words in its own language, in any script.
  wchar_t buffer[512] = {};
  const DWORD n =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     static_cast<DWORD>(code), 0, buffer, sizeof buffer / sizeof *buffer, nullptr);
  std::string text = cloakwise::platform::Narrow(std::wstring_view(buffer, n));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  const std::string prefix = "Socket Error # " + std::to_string(code);
  return text.empty() ? prefix : prefix + "\n" + text;
}

namespace detail {

void StartSockets() {
  EnsureWinsock();
}

SocketStatus HostNotFound(int resolverCode) {
  return FromCode(resolverCode == 0 ? WSAHOST_NOT_FOUND : resolverCode);
}

}  // namespace detail

TcpSocket::TcpSocket(TcpSocket&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoSocket)) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, kNoSocket);
  }
  return *this;
}

SocketStatus TcpSocket::StartConnect(std::uint32_t address, std::uint16_t port) {
  EnsureWinsock();
  Close();
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return FromCode(WSAGetLastError());
  handle_ = static_cast<NativeSocket>(s);
  u_long nonBlocking = 1;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  // Requests go out in one piece and then wait for the reply; Nagle would
  // only add a delay.
  const BOOL one = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(port);
  target.sin_addr.s_addr = address;
  if (connect(s, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0) return {};
  const int code = WSAGetLastError();
  if (code == WSAEWOULDBLOCK) return {};
  Close();
  return FromCode(code);
}

WaitResult WaitForAny(SocketWait* waits, std::size_t count, int timeoutMs, SocketStatus* status) {
  static_assert(FD_SETSIZE >= kMaxWaitedSockets);
  if (count > kMaxWaitedSockets) {
    *status = SocketStatus{WSAEINVAL, "Too many sockets to wait for at once"};
    return WaitResult::kFailed;
  }
  auto sets = std::make_unique<SelectSets>();
  for (std::size_t i = 0; i < count; ++i) {
    waits[i].ready = false;
    sets->Add(static_cast<SOCKET>(waits[i].socket->handle_), waits[i].forWrite);
  }
  const WaitResult r = sets->Wait(timeoutMs, status);
  if (r != WaitResult::kReady) return r;
  for (std::size_t i = 0; i < count; ++i) {
    const SOCKET sock = static_cast<SOCKET>(waits[i].socket->handle_);
    waits[i].ready = FD_ISSET(sock, &sets->reads) || FD_ISSET(sock, &sets->writes) ||
                     FD_ISSET(sock, &sets->errors);
  }
  return WaitResult::kReady;
}

namespace {

// How a connect ended, once select() has said it did: SO_ERROR names why; a
// failure select() put in its error set without a code is a refusal.
SocketStatus ConnectError(NativeSocket s, bool excepted) {
  int error = 0;
  int size = sizeof error;
  if (getsockopt(static_cast<SOCKET>(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                 &size) != 0) {
    error = WSAGetLastError();
  }
  if (error == 0 && excepted) error = WSAECONNREFUSED;
  return error == 0 ? SocketStatus{} : FromCode(error);
}

}  // namespace

SocketStatus TcpSocket::ConnectOutcome() {
  bool excepted = false;
  SocketStatus ignored;
  SelectOne(handle_, kWrite, 0, &excepted, &ignored);
  return ConnectError(handle_, excepted);
}

WaitResult TcpSocket::WaitConnected(int timeoutMs, SocketStatus* status) {
  bool excepted = false;
  const WaitResult r = SelectOne(handle_, kWrite, timeoutMs, &excepted, status);
  if (r != WaitResult::kReady) return r;
  const SocketStatus outcome = ConnectError(handle_, excepted);
  if (!outcome.Ok()) {
    *status = outcome;
    return WaitResult::kFailed;
  }
  return WaitResult::kReady;
}

WaitResult TcpSocket::WaitReadable(int timeoutMs, SocketStatus* status) {
  // An error condition counts as readable: the following Receive reports it.
  return SelectOne(handle_, kRead, timeoutMs, nullptr, status);
}

WaitResult TcpSocket::WaitWritable(int timeoutMs, SocketStatus* status) {
  return SelectOne(handle_, kWrite, timeoutMs, nullptr, status);
}

long TcpSocket::Receive(char* buffer, std::size_t size, SocketStatus* status) {
  const int n = recv(static_cast<SOCKET>(handle_), buffer,
                     static_cast<int>(size > 0x7fffffff ? 0x7fffffff : size), 0);
  if (n >= 0) return n;
  const int code = WSAGetLastError();
  *status = code == WSAEWOULDBLOCK ? SocketStatus{} : FromCode(code);
  return -1;
}

long TcpSocket::Send(const char* data, std::size_t size, SocketStatus* status) {
  const int n = send(static_cast<SOCKET>(handle_), data,
                     static_cast<int>(size > 0x7fffffff ? 0x7fffffff : size), 0);
  if (n >= 0) return n;
  const int code = WSAGetLastError();
  *status = code == WSAEWOULDBLOCK ? SocketStatus{} : FromCode(code);
  return -1;
}

bool TcpSocket::IsStale() {
  if (handle_ == kNoSocket) return true;
  SocketStatus ignored;
  return SelectOne(handle_, kRead, 0, nullptr, &ignored) != WaitResult::kTimedOut;
}

bool TcpSocket::IsOpen() const {
  return handle_ != kNoSocket;
}

void TcpSocket::Close() {
  if (handle_ != kNoSocket) {
    closesocket(static_cast<SOCKET>(handle_));
    handle_ = kNoSocket;
  }
}

}  // namespace cloakwise::http
