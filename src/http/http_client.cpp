#include "http/http_client.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <optional>

#include "core/text.h"
#include "http/reply_reader.h"
#include "http/request.h"
#include "http/url.h"
#include "platform/ui_thread.h"

namespace cloakwise::http {
namespace {

using SteadyClock = std::chrono::steady_clock;

// The anti-freeze: on the user-interface thread no wait lasts longer than
// this before pending messages get their turn.
constexpr int kUiReadSliceMs = 250;
constexpr int kUiConnectSliceMs = 125;
// Error bodies are only a courtesy to the caller; a slow one is not waited for.
constexpr int kErrorBodyTimeoutMs = 2000;

int MsUntil(SteadyClock::time_point t) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t - SteadyClock::now());
  return static_cast<int>(std::clamp<long long>(left.count(), 0, 1 << 30));
}

using text::EqualsIgnoreCase;

// Every wait of one request: the per-wait read time-out, the total bound of
// the request and, on the user-interface thread, the message slices.
class Waiter {
 public:
  Waiter(platform::UiThread* ui, int readTimeoutMs, std::optional<SteadyClock::time_point> deadline)
      : ui_(ui), readTimeoutMs_(readTimeoutMs), deadline_(deadline) {}

  void SetReadTimeout(int ms) { readTimeoutMs_ = ms; }
  const std::optional<SteadyClock::time_point>& Deadline() const { return deadline_; }

  // On the user-interface thread, lets pending messages run once a slice
  // has passed since they last did: a peer that never stops sending never
  // makes a wait time out, and would freeze the window for the whole
  // exchange.
  void Breathe(TcpSocket& socket) {
    if (!ui_ || SteadyClock::now() < nextMessages_) return;
    ui_->ProcessMessages();
    nextMessages_ = SteadyClock::now() + std::chrono::milliseconds(kUiReadSliceMs);
    // A message processed just now may have disconnected us.
    if (!socket.IsOpen()) throw SocketError(0, "Disconnected while waiting");
  }

  void WaitReadable(TcpSocket& socket) { Wait(socket, true); }
  // A peer that takes no data for as long counts as a read time-out too.
  void WaitWritable(TcpSocket& socket) { Wait(socket, false); }

 private:
  void Wait(TcpSocket& socket, bool readable) {
    const auto started = SteadyClock::now();
    const std::optional<SteadyClock::time_point> limit =
        readTimeoutMs_ > 0 ? std::optional(started + std::chrono::milliseconds(readTimeoutMs_))
                           : std::nullopt;
    for (;;) {
      // A message processed in the last slice may have disconnected us.
      if (!socket.IsOpen()) throw SocketError(0, "Disconnected while waiting");
      int slice = -1;
      if (limit) slice = MsUntil(*limit);
      if (deadline_) slice = slice < 0 ? MsUntil(*deadline_) : std::min(slice, MsUntil(*deadline_));
      if (ui_) slice = slice < 0 ? kUiReadSliceMs : std::min(slice, kUiReadSliceMs);
      SocketStatus status;
      const WaitResult r =
          readable ? socket.WaitReadable(slice, &status) : socket.WaitWritable(slice, &status);
      if (r == WaitResult::kReady) return;
      if (r == WaitResult::kFailed) throw SocketError(status.code, status.text);
      const auto now = SteadyClock::now();
      if ((limit && now >= *limit) || (deadline_ && now >= *deadline_)) throw ReadTimeout();
      if (ui_) {
        ui_->ProcessMessages();
        nextMessages_ = SteadyClock::now() + std::chrono::milliseconds(kUiReadSliceMs);
      }
    }
  }

  platform::UiThread* ui_;
  int readTimeoutMs_;
  std::optional<SteadyClock::time_point> deadline_;
  SteadyClock::time_point nextMessages_ = SteadyClock::now() + std::chrono::milliseconds(kUiReadSliceMs);
};

class SocketSource : public ByteSource {
 public:
  SocketSource(TcpSocket& socket, Waiter& waiter, std::size_t& received)
      : socket_(socket), waiter_(waiter), received_(received) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    for (;;) {
      waiter_.Breathe(socket_);
      SocketStatus status;
      const long n = socket_.Receive(buffer, size, &status);
      if (n >= 0) {
        received_ += static_cast<std::size_t>(n);
        return static_cast<std::size_t>(n);
      }
      if (!status.Ok()) throw SocketError(status.code, status.text);
      waiter_.WaitReadable(socket_);
    }
  }

 private:
  TcpSocket& socket_;
  Waiter& waiter_;
  std::size_t& received_;
};

void SendAll(TcpSocket& socket, Waiter& waiter, const std::string& data) {
  std::size_t sent = 0;
  while (sent < data.size()) {
    SocketStatus status;
    const long n = socket.Send(data.data() + sent, data.size() - sent, &status);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (!status.Ok()) {
      throw SocketError(status.code, status.text);
    } else {
      waiter.WaitWritable(socket);
    }
  }
}

void Connect(TcpSocket& socket, const std::string& host, int port, const ClientSettings& settings,
             platform::UiThread* ui, const Waiter& waiter) {
  std::uint32_t address = 0;
  const SocketStatus resolved = ResolveIpv4(host, &address);
  if (!resolved.Ok()) throw SocketError(resolved.code, resolved.text);
  if (port < 1 || port > 65535) {
    throw SocketError(0, "Invalid port " + std::to_string(port));
  }

  // The read time-out bounds the connect too; on the user-interface thread a
  // connect without one still gets a limit, so the window never hangs on a
  // dead host for as long as the system would wait.
  int limitMs = settings.readTimeoutMs > 0 ? settings.readTimeoutMs
                : ui                       ? settings.uiConnectLimitMs
                                           : 0;
  const bool limited = limitMs > 0;
  std::optional<SteadyClock::time_point> end;
  if (limited) end = SteadyClock::now() + std::chrono::milliseconds(limitMs);
  if (waiter.Deadline() && (!end || *waiter.Deadline() < *end)) end = waiter.Deadline();
  auto fail = [&](const SocketStatus& status) -> void {
    socket.Close();
    if (limited) throw ConnectFailed(status.code, status.text);
    throw SocketError(status.code, status.text);
  };

  const SocketStatus started = socket.StartConnect(address, static_cast<std::uint16_t>(port));
  if (!started.Ok()) fail(started);
  for (;;) {
    if (!socket.IsOpen()) throw SocketError(0, "Disconnected while connecting");
    int slice = end ? MsUntil(*end) : -1;
    if (ui) slice = slice < 0 ? kUiConnectSliceMs : std::min(slice, kUiConnectSliceMs);
    SocketStatus status;
    const WaitResult r = socket.WaitConnected(slice, &status);
    if (r == WaitResult::kReady) return;
    if (r == WaitResult::kFailed) fail(status);
    if (end && SteadyClock::now() >= *end) {
      socket.Close();
      throw ConnectTimeout();
    }
    if (ui) ui->ProcessMessages();
  }
}

// Reentrancy guard: a message processed during a wait on the user-interface
// thread must not start a second request on the same instance.
class BusyGuard {
 public:
  explicit BusyGuard(bool& busy) : busy_(busy) {
    if (busy_) throw HttpError("A request is already in progress on this client");
    busy_ = true;
  }
  ~BusyGuard() { busy_ = false; }
  BusyGuard(const BusyGuard&) = delete;
  BusyGuard& operator=(const BusyGuard&) = delete;

 private:
  bool& busy_;
};

void RefuseUnsupported(const ClientSettings& s) {
  if (s.rangeStart != 0 || s.rangeEnd != 0 || s.basicAuthentication || s.proxyBasicAuthentication ||
      s.inProcessAuthentication || s.handleRedirects) {
    throw HttpError("Ranges, authentication and redirect following are not supported");
  }
}

}  // namespace

int EffectiveRequestLimitMs(const ClientSettings& settings) {
  if (settings.maxRequestMs >= 0) return settings.maxRequestMs;
  if (settings.readTimeoutMs <= 0) return 0;
  const long long tenfold = 10LL * settings.readTimeoutMs;
  return static_cast<int>(std::clamp<long long>(tenfold, 30000, 1 << 30));
}

void HttpClient::Disconnect() {
  socket_.Close();
  connectedHost_.clear();
  connectedPort_ = 0;
}

std::string HttpClient::Get(const std::string& url) {
  BusyGuard busy(busy_);
  return Request("GET", url, "", settings_.protocolVersion, settings_.contentLength);
}

std::string HttpClient::Post(const std::string& url, const std::vector<std::string>& fields) {
  BusyGuard busy(busy_);
  // Every POST opens a fresh connection.
  Disconnect();
  if (settings_.contentType.empty() || EqualsIgnoreCase(settings_.contentType, "text/html")) {
    settings_.contentType = "application/x-www-form-urlencoded";
  }
  const std::string body = EncodeFormFields(fields, settings_.forceEncodeParams);
  const std::string version = settings_.keepOriginalProtocol ? settings_.protocolVersion : "1.0";
  return Request("POST", url, body, version, static_cast<std::int64_t>(body.size()));
}

std::string HttpClient::Request(const char* method, const std::string& urlText,
                                const std::string& body, const std::string& version,
                                std::int64_t contentLength) {
  RefuseUnsupported(settings_);
  const Url url = ParseUrl(urlText, settings_.port);
  const bool viaProxy = !settings_.proxyServer.empty();
  const std::string host = viaProxy ? settings_.proxyServer : url.host;
  const int port = viaProxy ? settings_.proxyPort : url.port;

  std::optional<SteadyClock::time_point> deadline;
  if (const int total = EffectiveRequestLimitMs(settings_); total > 0) {
    deadline = SteadyClock::now() + std::chrono::milliseconds(total);
  }
  Waiter waiter(ui_, settings_.readTimeoutMs, deadline);

  // One try of the whole exchange; tells whether it reused a kept
  // connection and how many reply bytes came in.
  auto attempt = [&](bool& reused, std::size_t& received) -> std::string {
    reused =
        socket_.IsOpen() && host == connectedHost_ && port == connectedPort_ && !socket_.IsStale();
    if (!reused) {
      Disconnect();
      Connect(socket_, host, port, settings_, ui_, waiter);
      connectedHost_ = host;
      connectedPort_ = port;
    }

    const auto now = CookieJar::Clock::now();
    const std::string cookie = settings_.allowCookies ? cookies_.HeaderFor(url, now) : "";
    SendAll(socket_, waiter,
            WriteRequestHead(method, url, settings_, version, contentLength, cookie) + body);

    SocketSource source(socket_, waiter, received);
    ReplyReader reader(source, ReplyLimits{settings_.maxLineBytes, settings_.maxHeaderBytes,
                                           settings_.maxBodyBytes});
    const ReplyHead head = reader.ReadHead();
    lastStatus_ = head.status;
    lastStatusLine_ = head.statusLine;
    if (settings_.allowCookies) {
      for (const auto& setCookie : head.FindAll("Set-Cookie")) cookies_.Store(setCookie, url, now);
    }
    if (head.status == -1) throw HttpStatusError(head.statusLine, -1, "");

    if (head.status < 200 || head.status > 299) {
      // Redirects are not followed: they fail like any other status, and so
      // does a switch of protocols (101), whose head ends what HTTP can read.
      std::string errorBody;
      waiter.SetReadTimeout(kErrorBodyTimeoutMs);
      try {
        reader.ReadBody(head, true, errorBody);
      } catch (const HttpError&) {
        // The status is the failure; the error body is what came in time.
      }
      throw HttpStatusError(head.statusLine, head.status, std::move(errorBody));
    }

    std::string replyBody = reader.ReadBody(head, false);

    const std::string connection = head.Find("Connection").value_or("");
    const std::string proxyConnection = head.Find("Proxy-Connection").value_or("");
    bool keep = version == "1.0" ? EqualsIgnoreCase(connection, "keep-alive") ||
                                       EqualsIgnoreCase(proxyConnection, "keep-alive")
                                 : !EqualsIgnoreCase(connection, "close") &&
                                       !EqualsIgnoreCase(proxyConnection, "close");
    // Bytes beyond the reply mean the next reply could not be told apart.
    keep = keep && !reader.PeerClosed() && !reader.HasUnreadInput() && !reader.AmbiguousFraming();
    if (!keep) Disconnect();
    return replyBody;
  };

  // A kept connection may have been closed by the server while it sat idle,
  // with the close still on its way: the request then fails before a single
  // byte of reply. It is sent once more on a fresh connection, as browsers do.
  for (int tries = 0;; ++tries) {
    bool reused = false;
    std::size_t received = 0;
    try {
      return attempt(reused, received);
    } catch (const HttpError& e) {
      Disconnect();
      const bool closedUnderUs = dynamic_cast<const ConnectionClosed*>(&e) != nullptr ||
                                 dynamic_cast<const SocketError*>(&e) != nullptr;
      if (tries == 0 && reused && received == 0 && closedUnderUs) continue;
      throw;
    } catch (...) {
      Disconnect();
      throw;
    }
  }
}

std::string HttpClient::GetThroughTunnel(const std::string& urlText) {
  BusyGuard busy(busy_);
  RefuseUnsupported(settings_);
  if (settings_.proxyServer.empty()) throw HttpError("A tunnel needs a proxy");
  const Url url = ParseUrl(urlText, settings_.port);
  std::optional<SteadyClock::time_point> deadline;
  if (const int total = EffectiveRequestLimitMs(settings_); total > 0) {
    deadline = SteadyClock::now() + std::chrono::milliseconds(total);
  }
  Waiter waiter(ui_, settings_.readTimeoutMs, deadline);
  const ReplyLimits limits{settings_.maxLineBytes, settings_.maxHeaderBytes,
                           settings_.maxBodyBytes};
  // A tunnel is a connection of its own: nothing kept goes into it, and it
  // is never kept for the next request.
  Disconnect();
  try {
    Connect(socket_, settings_.proxyServer, settings_.proxyPort, settings_, ui_, waiter);
    const std::string target = url.host + ":" + std::to_string(url.port);
    SendAll(socket_, waiter,
            "CONNECT " + target + " HTTP/1.1\r\nHost: " + target +
                "\r\nUser-Agent: " + settings_.userAgent + "\r\n\r\n");
    std::size_t received = 0;
    SocketSource source(socket_, waiter, received);
    // The proxy's answer, then the far end's: each must be a 2xx.
    const auto readHead = [&](ReplyReader& reader) {
      ReplyHead head = reader.ReadHead();
      lastStatus_ = head.status;
      lastStatusLine_ = head.statusLine;
      if (head.status < 200 || head.status > 299) {
        throw HttpStatusError(head.statusLine, head.status, "");
      }
      return head;
    };
    {
      ReplyReader reader(source, limits);
      readHead(reader);
      // The far end speaks only once asked: anything already here came from
      // the proxy, which then answered before it had connected, if at all.
      if (reader.HasUnreadInput()) {
        throw MalformedReply("The proxy sent bytes of its own after accepting the tunnel");
      }
    }
    ClientSettings direct = settings_;
    direct.proxyServer.clear();
    direct.connection = "close";
    SendAll(socket_, waiter, WriteRequestHead("GET", url, direct, "1.1", -1, ""));
    ReplyReader reader(source, limits);
    std::string body = reader.ReadBody(readHead(reader), false);
    Disconnect();
    return body;
  } catch (...) {
    Disconnect();
    throw;
  }
}

}  // namespace cloakwise::http
