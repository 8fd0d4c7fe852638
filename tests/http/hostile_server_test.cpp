// Servers and proxies that misbehave on purpose. Each must end in its own
// failure, within its time bound, leaving no connection open (and, in the
// AddressSanitizer build, nothing leaked).
#include <gtest/gtest.h>

#include <functional>

#include "http/body_cases.h"
#include "http/expect_failure.h"
#include "http/http_client.h"
#include "http/test_server.h"

namespace cloakwise::http {
namespace {

using testing::Expect;
using testing::MillisecondsOf;
using testing::ServerConnection;
using testing::TestServer;

// Sends the piece again and again (up to a limit) until the client goes.
void Flood(ServerConnection& c, const std::string& piece, std::size_t limit) {
  for (std::size_t sent = 0; sent < limit; sent += piece.size()) {
    if (!c.Send(piece)) return;
  }
  c.Sleep(5000);
}

struct HostileCase {
  const char* name;
  std::function<void(ServerConnection&)> serve;
  std::function<void(const std::function<void()>&)> check;  // runs the request
  int readTimeoutMs = 2000;
  int maxRequestMs = -1;
  int boundMs = 1500;
};

template <class Kind>
std::function<void(const std::function<void()>&)> Fails() {
  return [](const std::function<void()>& request) { Expect<Kind>(request); };
}

std::function<void(const std::function<void()>&)> FailsWithStatus(int code) {
  return [code](const std::function<void()>& request) {
    EXPECT_EQ(Expect<HttpStatusError>(request).Code(), code);
  };
}

void RunCase(const HostileCase& c) {
  SCOPED_TRACE(c.name);
  TestServer server([&c](ServerConnection& conn) {
    conn.ReadRequest();
    c.serve(conn);
  });
  HttpClient client;
  client.Settings().readTimeoutMs = c.readTimeoutMs;
  client.Settings().maxRequestMs = c.maxRequestMs;
  const auto ms =
      MillisecondsOf([&] { c.check([&] { client.Get(server.Url("/feedback.php")); }); });
  EXPECT_LT(ms, c.boundMs);
  EXPECT_FALSE(client.Connected());
}

const std::string kOkHead = "HTTP/1.1 200 OK\r\n";
const std::string kChunkedHead = kOkHead + "Transfer-Encoding: chunked\r\n\r\n";

TEST(HostileServer, Catalogue) {
  const HostileCase cases[] = {
      {"reset after the request", [](ServerConnection& c) { c.Reset(); }, Fails<SocketError>()},
      {"close before any reply", [](ServerConnection& c) { c.Close(); }, Fails<ConnectionClosed>()},
      {"close mid-header", [](ServerConnection& c) { c.Send(kOkHead + "Content-Le"); },
       Fails<ConnectionClosed>()},
      {"close mid-body, chunked",
       [](ServerConnection& c) { c.Send(kChunkedHead + "10\r\nonly part"); },
       Fails<ConnectionClosed>()},
      {"reset mid-body",
       [](ServerConnection& c) {
         c.Send(kOkHead + "Content-Length: 100\r\n\r\nsome");
         c.Sleep(100);
         c.Reset();
       },
       Fails<SocketError>()},
      {"garbage status line",
       [](ServerConnection& c) {
         c.Send("SSH-2.0-OpenSSH_9.2\r\n");
         c.Sleep(5000);
       },
       FailsWithStatus(-1)},
      {"status line with a NUL in its code",
       [](ServerConnection& c) { c.Send("HTTP/1.1 2" + std::string(1, '\0') + "00 OK\r\n\r\n"); },
       FailsWithStatus(-1)},
      {"status without code",
       [](ServerConnection& c) { c.Send("HTTP/1.1\r\nContent-Length: 0\r\n\r\n"); },
       FailsWithStatus(-1)},
      {"binary noise without line ends",
       [](ServerConnection& c) { Flood(c, std::string("\x00\xff\x7f\r", 4), 1 << 20); },
       Fails<LineTooLong>()},
      {"endless header line",
       [](ServerConnection& c) {
         c.Send(kOkHead + "X-Endless: ");
         Flood(c, std::string(1000, 'a'), 4 << 20);
       },
       Fails<LineTooLong>()},
      {"endless header lines",
       [](ServerConnection& c) {
         c.Send(kOkHead);
         Flood(c, "X-More: yes\r\n", 4 << 20);
       },
       Fails<ReplyTooLarge>()},
      {"endless 100 Continue",
       [](ServerConnection& c) { Flood(c, "HTTP/1.1 100 Continue\r\n\r\n", 4 << 20); },
       Fails<ReplyTooLarge>()},
      {"a length with a NUL inside",
       [](ServerConnection& c) {
         c.Send(kOkHead + "Content-Length: 2" + std::string(1, '\0') + "0\r\n\r\nok!");
         c.Sleep(5000);
       },
       Fails<MalformedReply>()},
      {"a negative length",
       [](ServerConnection& c) {
         c.Send(kOkHead + "Content-Length: -5\r\n\r\nall");
         c.Sleep(5000);
       },
       Fails<MalformedReply>()},
      {"two lengths",
       [](ServerConnection& c) {
         c.Send(kOkHead + "Content-Length: 2\r\nContent-Length: 20\r\n\r\nok");
         c.Sleep(5000);
       },
       Fails<MalformedReply>()},
      {"a negative chunk size",
       [](ServerConnection& c) {
         c.Send(kChunkedHead + "2\r\nab\r\n-5\r\nxyz\r\n");
         c.Sleep(5000);
       },
       Fails<MalformedReply>()},
      {"a switch of protocols",
       [](ServerConnection& c) {
         c.Send("HTTP/1.1 101 Switching Protocols\r\nUpgrade: h2c\r\n\r\nnot HTTP");
         c.Sleep(5000);
       },
       FailsWithStatus(101)},
      {"huge chunk size",
       [](ServerConnection& c) {
         c.Send(kChunkedHead + "FFFFFFFFFFFFFFFFFFFF\r\n");
         c.Sleep(5000);
       },
       Fails<ReplyTooLarge>()},
      {"chunk size over the body cap",
       [](ServerConnection& c) {
         c.Send(kChunkedHead + "7FFFFFFF\r\n");
         c.Sleep(5000);
       },
       Fails<ReplyTooLarge>()},
      {"huge Content-Length",
       [](ServerConnection& c) {
         c.Send(kOkHead + "Content-Length: 184467440737095516160\r\n\r\n");
         c.Sleep(5000);
       },
       Fails<ReplyTooLarge>()},
      {"Content-Length over the body cap",
       [](ServerConnection& c) {
         c.Send(kOkHead + "Content-Length: 9000000\r\n\r\n");
         c.Sleep(5000);
       },
       Fails<ReplyTooLarge>()},
      {"huge body up to the close",
       [](ServerConnection& c) {
         c.Send("HTTP/1.0 200 OK\r\n\r\n");
         Flood(c, std::string(64 << 10, 'z'), 64 << 20);
       },
       Fails<ReplyTooLarge>(), 2000, -1, 5000},
      {"huge chunked body",
       [](ServerConnection& c) {
         c.Send(kChunkedHead);
         Flood(c, "8000\r\n" + std::string(0x8000, 'z') + "\r\n", 64 << 20);
       },
       Fails<ReplyTooLarge>(), 2000, -1, 5000},
      {"redirect loop",
       [](ServerConnection& c) {
         for (;;) {
           c.Send("HTTP/1.1 302 Found\r\nLocation: /feedback.php\r\nContent-Length: 0\r\n\r\n");
           if (c.ReadRequest(3000).empty()) return;
         }
       },
       FailsWithStatus(302)},
      {"silent after the head",
       [](ServerConnection& c) {
         c.Send(kOkHead + "Content-Length: 10\r\n\r\nab");
         c.Sleep(5000);
       },
       Fails<ReadTimeout>(), 300, -1, 1200},
      {"carriage returns without line feeds",
       [](ServerConnection& c) {
         c.Send("HTTP/1.1 200 OK\rContent-Length: 2\r\rok");
         c.Sleep(5000);
       },
       Fails<ReadTimeout>(), 300, -1, 1200},
      {"trickled head, one byte per wait",
       [](ServerConnection& c) { c.Trickle(kOkHead + "X-Slow: " + std::string(10000, 's'), 50); },
       Fails<ReadTimeout>(), 300, 1500, 2500},
      {"trickled body, one byte per wait",
       [](ServerConnection& c) {
         c.Send(kOkHead + "Content-Length: 100000\r\n\r\n");
         c.Trickle(std::string(100000, 'b'), 50);
       },
       Fails<ReadTimeout>(), 300, 1500, 2500},
      {"trickled error body",
       [](ServerConnection& c) {
         c.Send("HTTP/1.1 500 Oops\r\nContent-Length: 100000\r\n\r\n");
         c.Trickle(std::string(100000, 'e'), 50);
       },
       FailsWithStatus(500), 300, 1500, 2500},
  };
  for (const auto& c : cases) RunCase(c);
}

// Proxies asked for a tunnel (CONNECT): a refusal, a tunnel that is no
// tunnel, or one that leads nowhere, each ends in a failure within its
// bound; only the tunnel that carries a real exchange returns its body.
TEST(HostileServer, TunnelCatalogue) {
  const std::string established = "HTTP/1.1 200 Connection established\r\n\r\n";
  const std::string answer = kOkHead + "Content-Length: 2\r\n\r\nok";
  const HostileCase cases[] = {
      {"a tunnel carrying the exchange",
       [&](ServerConnection& c) {
         c.Send(established);
         if (c.ReadRequest().rfind("GET /tunnel.php?n=1 HTTP/1.1\r\n", 0) == 0) c.Send(answer);
         c.Sleep(5000);
       },
       [](const std::function<void()>& request) { EXPECT_NO_THROW(request()); }},
      {"no status line", [](ServerConnection& c) { c.Send("tunnel? sure\r\n\r\n"); },
       FailsWithStatus(-1)},
      {"authentication wanted",
       [](ServerConnection& c) {
         c.Send("HTTP/1.1 407 Proxy Authentication Required\r\nContent-Length: 0\r\n\r\n");
         c.Sleep(5000);
       },
       FailsWithStatus(407)},
      {"refused", [](ServerConnection& c) { c.Send("HTTP/1.1 403 Forbidden\r\n\r\n"); },
       FailsWithStatus(403)},
      {"a 200 with bytes of the proxy's own behind it",
       [&](ServerConnection& c) {
         c.Send(established + "\x16\x03\x01 hello");
         c.Sleep(5000);
       },
       Fails<MalformedReply>()},
      {"garbage once the tunnel is asked through",
       [&](ServerConnection& c) {
         c.Send(established);
         c.ReadRequest();
         c.Send("SSH-2.0-OpenSSH_9.2\r\n");
         c.Sleep(5000);
       },
       FailsWithStatus(-1)},
      {"a tunnel that never answers",
       [&](ServerConnection& c) {
         c.Send(established);
         c.Sleep(5000);
       },
       Fails<ReadTimeout>(), 300, -1, 1200},
      // An orderly close, or a reset when the request crossed it on the way.
      {"a tunnel dropped at once",
       [&](ServerConnection& c) {
         c.Send(established);
         c.Close();
       },
       [](const std::function<void()>& request) {
         try {
           request();
           ADD_FAILURE() << "no failure";
         } catch (const ConnectionClosed&) {
         } catch (const SocketError&) {
         }
       }},
      {"a huge reply",
       [](ServerConnection& c) {
         c.Send(kOkHead);
         Flood(c, "X-More: yes\r\n", 4 << 20);
       },
       Fails<ReplyTooLarge>()},
  };
  for (const HostileCase& c : cases) {
    SCOPED_TRACE(c.name);
    TestServer proxy([&c](ServerConnection& conn) {
      if (conn.ReadRequest().rfind("CONNECT 127.0.0.1:9 HTTP/1.1\r\nHost: 127.0.0.1:9\r\n", 0) == 0)
        c.serve(conn);
    });
    HttpClient client;
    client.Settings().proxyServer = "127.0.0.1";
    client.Settings().proxyPort = proxy.Port();
    client.Settings().readTimeoutMs = c.readTimeoutMs;
    const auto ms = MillisecondsOf([&] {
      c.check(
          [&] { EXPECT_EQ(client.GetThroughTunnel("http://127.0.0.1:9/tunnel.php?n=1"), "ok"); });
    });
    EXPECT_LT(ms, c.boundMs);
    EXPECT_FALSE(client.Connected());
  }
}

TEST(HostileServer, RefusedConnectEndsWithinItsLimit) {
  HttpClient client;
  client.Settings().readTimeoutMs = 2000;
  const std::string url = "http://127.0.0.1:" + std::to_string(testing::RefusingPort()) + "/";
  EXPECT_LT(MillisecondsOf([&] { Expect<ConnectFailed>([&] { client.Get(url); }); }), 500);
}

// Sizes and separators that must not be believed: the reply survives them,
// and the body is what was really sent.
TEST(HostileServer, SeparatorsThatMustNotConfuseTheParser) {
  const std::string nul(1, '\0');
  testing::ExpectBodies(
      {
          {"a length hidden behind a bare CR",
           kOkHead + "X-A: 1\rContent-Length: 999999999999\r\n\r\nok", "ok"},
          {"a length hidden behind a NUL",
           kOkHead + "X-A: 1" + nul + "Content-Length: 999999999999\r\n\r\nok", "ok"},
          {"a length hidden in a name with a blank", kOkHead + "Content-Length : 2\r\n\r\nall",
           "all"},
          {"a length beside chunked",
           kOkHead + "Content-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n",
           "ok"},
          {"a folded length line", kOkHead + "Content-Length: 2\r\n Content-Length: 99\r\n\r\nok",
           "ok"},
      },
      2000);
}

TEST(HostileServer, AReplySlowerThanOneReadTimeoutButNeverIdleThatLongArrives) {
  // The guard against trickles is the total bound, never the read time-out
  // summed up: this reply takes twice the read time-out in all.
  TestServer patient([](ServerConnection& c) {
    c.ReadRequest();
    c.Send(kOkHead + "Content-Length: 3\r\n\r\n");
    for (char b : std::string("abc")) {
      c.Sleep(200);
      c.Send(std::string(1, b));
    }
  });
  HttpClient client;
  client.Settings().readTimeoutMs = 300;
  EXPECT_EQ(client.Get(patient.Url()), "abc");
}

}  // namespace
}  // namespace cloakwise::http
