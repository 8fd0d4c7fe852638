#pragma once

// Blocking sockets on 127.0.0.0/8 and just enough HTTP/1.x framing for the
// test proxy and the benchmarks' loopback judge.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cloakwise::testproxy {

// A listening socket on address:port (port 0: any free one); throws
// std::runtime_error unless address is in 127.0.0.0/8 and the bind succeeds.
// A backlog of 0 makes a port whose queue fills at once: connects to it then
// hang, as to a black-holed host.
int ListenLoopback(const std::string& address, std::uint16_t port, std::uint16_t* bound,
                   int backlog = 128);
// A connected socket, or -1. Refuses any address outside 127.0.0.0/8.
int ConnectLoopback(const std::string& address, std::uint16_t port);
bool IsLoopbackIpv4(const std::string& address);
void SetNoDelay(int fd);
bool SendAll(int fd, std::string_view data);
// Closes with a reset rather than an orderly end.
void CloseWithReset(int fd);

struct HttpHead {
  std::string startLine;
  std::vector<std::pair<std::string, std::string>> headers;

  std::optional<std::string> Find(std::string_view name) const;  // case-insensitive
  void Remove(std::string_view name);
  std::string Serialize() const;  // start line, headers, empty line
};

// Reads messages from one socket. Every wait gives up when *stop turns true or
// after idleMs without a byte.
class MessageReader {
 public:
  static constexpr std::size_t kMaxHead = 64 * 1024;

  MessageReader(int fd, const std::atomic<bool>& stop, int idleMs = 30000)
      : fd_(fd), stop_(stop), idleMs_(idleMs) {}

  // False when the peer closed before a whole head, went silent, or sent
  // something that is not a head.
  bool ReadHead(HttpHead& head);
  // The body after a head: by Content-Length, chunked (returned decoded) or,
  // when untilClose, whatever comes until the peer closes. False on a
  // malformed or truncated body, or one longer than maxBody.
  bool ReadBody(const HttpHead& head, bool untilClose, std::size_t maxBody, std::string& body);
  bool PeerClosed() const { return closed_; }
  // What arrived beyond the messages read so far, handed over once.
  std::string TakePending() { return std::exchange(pending_, std::string()); }

 private:
  bool Fill();  // appends what arrives; false on close, error, stop or silence
  bool ReadLine(std::string& line);

  int fd_;
  const std::atomic<bool>& stop_;
  int idleMs_;
  std::string pending_;
  bool closed_ = false;
};

// Copies bytes both ways between two sockets (a tunnel), until either side
// closes, nothing moves for idleMs, or *stop turns true.
void Relay(int a, int b, const std::atomic<bool>& stop, int idleMs = 30000);

// Sleeps up to ms, in short steps so that *stop ends it early.
void SleepUnlessStopped(long long ms, const std::atomic<bool>& stop);

}  // namespace cloakwise::testproxy
