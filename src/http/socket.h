#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace cloakwise::http {

// The thin layer between the client and the operating system's sockets: one
// implementation over POSIX sockets, one over Winsock. It never throws; the
// client turns its results into failure kinds. Every socket is non-blocking so
// that each wait is an explicit, bounded call.

#ifdef _WIN32
using NativeSocket = std::uintptr_t;
#else
using NativeSocket = int;
#endif

struct SocketStatus {
  int code = 0;  // 0: success; otherwise errno or the Winsock error code
  std::string text;
  bool Ok() const { return code == 0; }
};

enum class WaitResult { kReady, kTimedOut, kFailed };

// Resolves a host name or dotted address to an IPv4 address in network order.
SocketStatus ResolveIpv4(const std::string& host, std::uint32_t* address);

// The platform's text for a socket error code.
std::string SocketErrorText(int code);

class TcpSocket;

// One socket among many waited for at once: what it waits for, and what came.
struct SocketWait {
  TcpSocket* socket = nullptr;
  bool forWrite = false;  // a connect's end or room to send; otherwise data to read
  bool ready = false;     // set by WaitForAny: the socket can go on, or has failed
};

// The most sockets one WaitForAny takes.
inline constexpr std::size_t kMaxWaitedSockets = 1024;

// Waits until at least one socket is ready or timeoutMs has passed (< 0:
// without limit) and marks the ready ones. Errors and hang-ups count as
// ready: the following call on that socket reports them. kFailed, with status
// set, only when the wait itself fails or more than kMaxWaitedSockets come.
WaitResult WaitForAny(SocketWait* waits, std::size_t count, int timeoutMs, SocketStatus* status);

class TcpSocket {
 public:
  TcpSocket() = default;
  ~TcpSocket() { Close(); }
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;
  TcpSocket(TcpSocket&& other) noexcept;
  TcpSocket& operator=(TcpSocket&& other) noexcept;

  // Opens a socket and starts connecting; the outcome comes from
  // WaitConnected. An immediate failure (refused on some systems) is returned.
  SocketStatus StartConnect(std::uint32_t address, std::uint16_t port);

  // After WaitForAny marked a connecting socket ready: how its connect ended.
  SocketStatus ConnectOutcome();

  // timeoutMs < 0 waits without limit. kFailed sets status to the error.
  WaitResult WaitConnected(int timeoutMs, SocketStatus* status);
  WaitResult WaitReadable(int timeoutMs, SocketStatus* status);
  WaitResult WaitWritable(int timeoutMs, SocketStatus* status);

  // Both return the number of bytes moved, or -1 with status set; -1 with an
  // Ok status means the call would block. Receive returns 0 when the peer has
  // closed its side.
  long Receive(char* buffer, std::size_t size, SocketStatus* status);
  long Send(const char* data, std::size_t size, SocketStatus* status);

  // True when a connection kept from an earlier reply can no longer carry a
  // request: the peer closed or reset it, or sent bytes nobody asked for.
  bool IsStale();

  bool IsOpen() const;
  void Close();

 private:
  friend WaitResult WaitForAny(SocketWait*, std::size_t, int, SocketStatus*);
  NativeSocket handle_ = static_cast<NativeSocket>(-1);
};

}  // namespace cloakwise::http
