// The client against scripted servers on 127.0.0.1: the exact bytes of each
// request form, every body form, the failure kinds and both time-outs,
// cookies, and when a connection is reused.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <typeinfo>

#include "http/body_cases.h"
#include "http/expect_failure.h"
#include "http/http_client.h"
#include "http/test_server.h"

namespace cloakwise::http {
namespace {

using testing::BlackholeListener;
using testing::Expect;
using testing::MillisecondsOf;
using testing::RefusingPort;
using testing::ServerConnection;
using testing::TestServer;

constexpr const char* kAgent = "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n";

// Answers every request with the next reply of the list (the last one
// repeats); closes when the client does, or after a reply that says so.
TestServer::Handler Replies(std::vector<std::string> replies) {
  auto next = std::make_shared<std::atomic<std::size_t>>(0);
  return [replies = std::move(replies), next](ServerConnection& c) {
    for (;;) {
      if (c.ReadRequest().empty()) return;
      const std::size_t i = std::min((*next)++, replies.size() - 1);
      c.Send(replies[i]);
      if (replies[i].find("Connection: close") != std::string::npos) return;
    }
  };
}

std::string Ok(const std::string& body, const std::string& extra = "") {
  return "HTTP/1.1 200 OK\r\n" + extra + "Content-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

std::string HostOf(const TestServer& s) {
  return "Host: 127.0.0.1:" + std::to_string(s.Port());
}

TEST(RequestBytes, DirectGet) {
  TestServer server(Replies({Ok("1")}));
  HttpClient client;
  EXPECT_EQ(client.Get(server.Url("/feedback.php?x=1")), "1");
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0], "GET /feedback.php?x=1 HTTP/1.1\r\nContent-Type: text/html\r\n" +
                                      HostOf(server) + "\r\nAccept: text/html, */*\r\n" + kAgent +
                                      "\r\n");
}

TEST(RequestBytes, GetThroughAProxyWritesTheAbsoluteUrlWithPort80) {
  TestServer proxy(Replies({Ok("2")}));
  HttpClient client;
  client.Settings().proxyServer = "127.0.0.1";
  client.Settings().proxyPort = proxy.Port();
  client.Settings().readTimeoutMs = 10000;
  // The judge's name is never resolved: only the proxy is connected to.
  EXPECT_EQ(client.Get("http://judge.example/feedback.php"), "2");
  EXPECT_EQ(client.Get("http://judge.example:8080/feedback.php"), "2");
  const auto requests = proxy.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], std::string("GET http://judge.example:80/feedback.php HTTP/1.1\r\n"
                                     "Content-Type: text/html\r\nHost: judge.example\r\n"
                                     "Accept: text/html, */*\r\n") +
                             kAgent + "\r\n");
  EXPECT_EQ(requests[1].substr(0, requests[1].find("Accept")),
            "GET http://judge.example:8080/feedback.php HTTP/1.1\r\n"
            "Content-Type: text/html\r\nHost: judge.example:8080\r\n");
}

TEST(RequestBytes, PostAfterGetIsAFreshVersion10RequestAndItsContentTypeSticks) {
  TestServer server(Replies({Ok("g"), Ok("p"), Ok("g2")}));
  HttpClient client;
  EXPECT_EQ(client.Get(server.Url("/a")), "g");
  EXPECT_EQ(client.Post(server.Url("/proxy.php"), {"posttxt=a b+c"}), "p");
  EXPECT_EQ(client.Get(server.Url("/a")), "g2");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[1],
            "POST /proxy.php HTTP/1.0\r\nConnection: keep-alive\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\n"
            "Content-Length: 15\r\n" +
                HostOf(server) + "\r\nAccept: text/html, */*\r\n" + kAgent + "\r\nposttxt=a+b%2Bc");
  EXPECT_EQ(requests[2], "GET /a HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\n" +
                             HostOf(server) + "\r\nAccept: text/html, */*\r\n" + kAgent + "\r\n");
  // The GET's connection was open and reusable, yet the POST opened its own;
  // its keep-alive reply was not asked to stay open under 1.0 rules, so the
  // last GET opened a third.
  EXPECT_EQ(server.Connections(), 3);
}

TEST(RequestBytes, PostThroughAProxyAsksTheProxyToKeepAlive) {
  TestServer proxy(Replies({Ok("p")}));
  HttpClient client;
  client.Settings().proxyServer = "127.0.0.1";
  client.Settings().proxyPort = proxy.Port();
  client.Settings().contentType = "TEXT/HTML";
  EXPECT_EQ(client.Post("http://svc.example/proxy.php", {"a=1", "b=2 3"}), "p");
  ASSERT_EQ(proxy.Requests().size(), 1u);
  EXPECT_EQ(proxy.Requests()[0],
            std::string("POST http://svc.example:80/proxy.php HTTP/1.0\r\n"
                        "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 10\r\n"
                        "Proxy-Connection: keep-alive\r\nHost: svc.example\r\n"
                        "Accept: text/html, */*\r\n") +
                kAgent + "\r\na=1&b=2+3&");
}

TEST(RequestBytes, AContentTypeOfTheCallersOwnIsKept) {
  TestServer server(Replies({Ok("p")}));
  HttpClient client;
  client.Settings().contentType = "text/plain";
  client.Post(server.Url("/"), {"a=1"});
  EXPECT_EQ(client.Settings().contentType, "text/plain");
  EXPECT_NE(server.Requests().at(0).find("\r\nContent-Type: text/plain\r\n"), std::string::npos);
}

TEST(Bodies, EveryFormOverASocket) {
  testing::ExpectBodies(
      {
          {"length", Ok("hello"), "hello"},
          {"chunked",
           "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
           "4\r\nWiki\r\n5\r\npedia\r\n0\r\n\r\n",
           "Wikipedia"},
          {"to the close", "HTTP/1.0 200 OK\r\n\r\nuntil the end", "until the end"},
          {"204 with a stray body is empty", "HTTP/1.1 204 No Content\r\n\r\n", ""},
          {"length 0", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", ""},
          {"100 skipped", "HTTP/1.1 100 Continue\r\n\r\n" + Ok("after"), "after"},
          {"102 and 103 skipped",
           "HTTP/1.1 102 Processing\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </a.css>\r\n\r\n" +
               Ok("after"),
           "after"},
          {"length, early close", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nshort", "short"},
          {"binary, byte for byte", Ok(std::string("\0\xff\r\n\x80", 5)),
           std::string("\0\xff\r\n\x80", 5)},
      },
      5000);
}

TEST(Bodies, ALargeBodyWithinTheCapArrivesWhole) {
  std::string big(3 << 20, 'x');
  for (std::size_t i = 0; i < big.size(); i += 4096) big[i] = static_cast<char>('a' + i % 26);
  TestServer server(Replies({Ok(big)}));
  HttpClient client;
  EXPECT_EQ(client.Get(server.Url()), big);
}

TEST(Failures, StatusesOutside2xxCarryCodeLineAndErrorBody) {
  TestServer server(
      Replies({"HTTP/1.1 404 Not Found\r\nContent-Length: 8\r\n\r\nnot here",
               "HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\nContent-Length: 0\r\n\r\n",
               "HTTP/1.1 407 Proxy Authentication Required\r\n\r\nauth first",
               "HTTP/1.1 500 Oops\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nbad\r\n0\r\n\r\n"}));
  HttpClient client;
  auto e = Expect<HttpStatusError>([&] { client.Get(server.Url()); });
  EXPECT_STREQ(e.what(), "HTTP/1.1 404 Not Found");
  EXPECT_EQ(e.Code(), 404);
  EXPECT_EQ(e.ErrorBody(), "not here");
  e = Expect<HttpStatusError>([&] { client.Get(server.Url()); });
  EXPECT_EQ(e.Code(), 302);
  e = Expect<HttpStatusError>([&] { client.Get(server.Url()); });
  EXPECT_EQ(e.Code(), 407);
  EXPECT_EQ(e.ErrorBody(), "auth first");
  e = Expect<HttpStatusError>([&] { client.Get(server.Url()); });
  EXPECT_EQ(e.ErrorBody(), "bad");
  EXPECT_FALSE(client.Connected());         // a failed request never leaves a connection behind
  EXPECT_EQ(server.Requests().size(), 4u);  // and the redirect was not followed
}

TEST(Failures, AnErrorBodyIsWaitedForAtMostTwoSeconds) {
  TestServer server([](ServerConnection& c) {
    c.ReadRequest();
    c.Send("HTTP/1.1 503 Busy\r\nContent-Length: 10\r\n\r\npart");
    c.Sleep(6000);
  });
  HttpClient client;
  client.Settings().readTimeoutMs = 8000;
  const auto ms = MillisecondsOf([&] {
    auto e = Expect<HttpStatusError>([&] { client.Get(server.Url()); });
    EXPECT_EQ(e.Code(), 503);
    EXPECT_EQ(e.ErrorBody(), "part");
  });
  EXPECT_GE(ms, 1900);
  EXPECT_LT(ms, 4000);
}

TEST(Failures, ConnectRefused) {
  const std::uint16_t port = RefusingPort();
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
  HttpClient worker;
  auto plain = Expect<SocketError>([&] { worker.Get(url); });
  EXPECT_EQ(plain.Code(), ECONNREFUSED);
  EXPECT_FALSE(std::string(plain.what()).empty());
  // With a limit in force the same refusal is a connect failure.
  worker.Settings().readTimeoutMs = 2000;
  auto limited = Expect<ConnectFailed>([&] { worker.Get(url); });
  EXPECT_EQ(limited.Code(), ECONNREFUSED);
}

TEST(Failures, ServerGoneBeforeOrDuringTheReply) {
  TestServer closes([](ServerConnection& c) { c.ReadRequest(); });
  TestServer resets([](ServerConnection& c) {
    c.ReadRequest();
    c.Reset();
  });
  TestServer longLine([](ServerConnection& c) {
    c.ReadRequest();
    c.Send("HTTP/1.1 200 OK\r\nX-Long: " + std::string(20000, 'x') + "\r\n\r\n");
  });
  HttpClient client;
  client.Settings().readTimeoutMs = 5000;
  Expect<ConnectionClosed>([&] { client.Get(closes.Url()); });
  Expect<SocketError>([&] { client.Get(resets.Url()); });
  Expect<LineTooLong>([&] { client.Get(longLine.Url()); });
}

TEST(Timeouts, ASilentServerFailsWithReadTimeout) {
  TestServer silent([](ServerConnection& c) {
    c.ReadRequest();
    c.Sleep(5000);
  });
  HttpClient client;
  client.Settings().readTimeoutMs = 400;
  const auto ms = MillisecondsOf([&] {
    auto e = Expect<ReadTimeout>([&] { client.Get(silent.Url()); });
    EXPECT_STREQ(e.what(), "Read Timeout");
  });
  EXPECT_GE(ms, 390);
  EXPECT_LT(ms, 1500);
}

TEST(Timeouts, TheReadTimeoutAlsoBoundsTheConnect) {
  BlackholeListener blackhole;
  HttpClient client;
  client.Settings().readTimeoutMs = 500;
  const std::string url = "http://127.0.0.1:" + std::to_string(blackhole.Port()) + "/";
  const auto ms = MillisecondsOf([&] {
    auto e = Expect<ConnectTimeout>([&] { client.Get(url); });
    EXPECT_STREQ(e.what(), "Connect timed out.");
  });
  EXPECT_GE(ms, 490);
  EXPECT_LT(ms, 1500);
  // The same bound when the connect goes to a proxy.
  client.Settings().proxyServer = "127.0.0.1";
  client.Settings().proxyPort = blackhole.Port();
  Expect<ConnectTimeout>([&] { client.Get("http://judge.example/feedback.php"); });
}

TEST(Cookies, AreSentBackByTheSameInstanceOnly) {
  TestServer server(
      Replies({Ok("1", "Set-Cookie: sid=abc; Path=/\r\nSet-Cookie: t=2\r\n"), Ok("2"), Ok("3")}));
  HttpClient client;
  client.Get(server.Url("/login"));
  client.Get(server.Url("/next"));
  HttpClient other;
  other.Get(server.Url("/next"));
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].find("Cookie:"), std::string::npos);
  EXPECT_NE(requests[1].find("\r\nCookie: sid=abc; t=2\r\n\r\n"), std::string::npos);
  EXPECT_EQ(requests[2].find("Cookie:"), std::string::npos);
}

TEST(Cookies, NotStoredWhenTurnedOff) {
  TestServer server(Replies({Ok("1", "Set-Cookie: sid=abc\r\n"), Ok("2")}));
  HttpClient client;
  client.Settings().allowCookies = false;
  client.Get(server.Url());
  client.Get(server.Url());
  EXPECT_EQ(server.Requests().at(1).find("Cookie:"), std::string::npos);
}

struct ReuseCase {
  const char* name;
  std::string version;
  std::string reply;
  int connections;
};

TEST(ConnectionReuse, FollowsTheKeepAliveDecision) {
  const ReuseCase cases[] = {
      {"1.1, nothing said", "1.1", Ok("x"), 1},
      {"1.1, Connection: close", "1.1", Ok("x", "Connection: close\r\n"), 2},
      {"1.1, Proxy-Connection:  Close ", "1.1", Ok("x", "Proxy-Connection:  Close \r\n"), 2},
      {"1.0, nothing said", "1.0", Ok("x"), 2},
      {"1.0, Connection: Keep-Alive", "1.0", Ok("x", "Connection: Keep-Alive\r\n"), 1},
      {"1.0, Proxy-Connection: keep-alive", "1.0", Ok("x", "Proxy-Connection: keep-alive\r\n"), 1},
      {"1.1, body to the close", "1.1", "HTTP/1.1 200 OK\r\n\r\nx", 2},
      {"1.1, bytes beyond the reply", "1.1", Ok("x") + "HTTP/1.1 200 OK\r\n", 2},
      {"1.1, chunked with a trailer", "1.1",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nx\r\n0\r\nX-T: 1\r\n\r\n", 1},
      {"1.1, a length beside chunked", "1.1",
       "HTTP/1.1 200 OK\r\nContent-Length: 1\r\nTransfer-Encoding: chunked\r\n\r\n"
       "1\r\nx\r\n0\r\n\r\n",
       2},
  };
  for (const auto& c : cases) {
    TestServer server([&c](ServerConnection& conn) {
      while (!conn.ReadRequest(2000).empty()) {
        conn.Send(c.reply);
        if (c.reply.find("200 OK\r\n\r\n") != std::string::npos) return;  // body ends at close
      }
    });
    HttpClient client;
    client.Settings().protocolVersion = c.version;
    client.Settings().readTimeoutMs = 5000;
    EXPECT_EQ(client.Get(server.Url()), "x") << c.name;
    EXPECT_EQ(client.Get(server.Url()), "x") << c.name;
    EXPECT_EQ(server.Connections(), c.connections) << c.name;
  }
}

TEST(ConnectionReuse, OnlyToTheSameHostAndPort) {
  TestServer a(Replies({Ok("a")}));
  TestServer b(Replies({Ok("b")}));
  HttpClient client;
  EXPECT_EQ(client.Get(a.Url()), "a");
  EXPECT_EQ(client.Get(b.Url()), "b");
  EXPECT_EQ(client.Get(a.Url()), "a");
  EXPECT_EQ(a.Connections(), 2);
  EXPECT_EQ(b.Connections(), 1);
}

TEST(ConnectionReuse, AKeptConnectionTheServerDroppedIsReplacedQuietly) {
  TestServer server([](ServerConnection& c) {
    c.ReadRequest();
    c.Send(Ok("x"));  // says nothing about closing, then closes anyway
  });
  HttpClient client;
  EXPECT_EQ(client.Get(server.Url()), "x");
  EXPECT_TRUE(client.Connected());
  for (int i = 0; i < 100 && server.Requests().size() < 1; ++i) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let the close arrive
  EXPECT_EQ(client.Get(server.Url()), "x");
  EXPECT_EQ(server.Connections(), 2);
}

TEST(Settings, StartValues) {
  HttpClient client;
  const ClientSettings& s = client.Settings();
  EXPECT_EQ(s.port, 80);
  EXPECT_EQ(s.protocolVersion, "1.1");
  EXPECT_EQ(s.accept, "text/html, */*");
  EXPECT_EQ(s.contentType, "text/html");
  EXPECT_EQ(s.userAgent, "Mozilla/3.0 (compatible; Indy Library)");
  EXPECT_EQ(s.contentLength, -1);
  EXPECT_EQ(s.rangeStart, 0);
  EXPECT_EQ(s.rangeEnd, 0);
  EXPECT_FALSE(s.basicAuthentication);
  EXPECT_EQ(s.proxyServer, "");
  EXPECT_EQ(s.proxyPort, 0);
  EXPECT_FALSE(s.proxyBasicAuthentication);
  EXPECT_EQ(s.readTimeoutMs, 0);
  EXPECT_TRUE(s.allowCookies);
  EXPECT_TRUE(s.forceEncodeParams);
  EXPECT_FALSE(s.keepOriginalProtocol);
  EXPECT_FALSE(s.inProcessAuthentication);
  EXPECT_FALSE(s.handleRedirects);
  EXPECT_EQ(s.redirectMaximum, 15);
  EXPECT_EQ(s.authenticationRetries, 3);
}

TEST(Settings, WhatTheClientCannotDoIsRefusedBeforeConnecting) {
  TestServer server(Replies({Ok("x")}));
  HttpClient client;
  client.Settings().handleRedirects = true;
  EXPECT_THROW(client.Get(server.Url()), HttpError);
  client.Settings().handleRedirects = false;
  client.Settings().rangeEnd = 10;
  EXPECT_THROW(client.Get(server.Url()), HttpError);
  EXPECT_EQ(server.Connections(), 0);
}

}  // namespace
}  // namespace cloakwise::http

namespace cloakwise::http {
namespace {

// The server closes a kept connection just as the next request arrives, the
// way tinyproxy does after an HTTP/1.1 reply that said nothing of closing.
TEST(ConnectionReuse, ARequestLostToAClosingKeptConnectionIsSentOnceMoreOnANewOne) {
  std::atomic<int> accepted{0};
  TestServer server([&](ServerConnection& c) {
    if (accepted++ == 0) {
      c.ReadRequest();
      c.Send(Ok("first"));
      c.ReadRequest();  // takes the second request, then drops it unanswered
      c.Close();
      return;
    }
    c.ReadRequest();
    c.Send(Ok("second"));
  });
  HttpClient client;
  EXPECT_EQ(client.Get(server.Url()), "first");
  EXPECT_EQ(client.Get(server.Url()), "second");
  EXPECT_EQ(server.Connections(), 2);
  EXPECT_EQ(server.Requests().size(), 3u);
}

TEST(ConnectionReuse, AFreshConnectionThatClosesIsNotTriedAgain) {
  TestServer server([](ServerConnection& c) {
    c.ReadRequest();
    c.Close();
  });
  HttpClient client;
  EXPECT_THROW(client.Get(server.Url()), ConnectionClosed);
  EXPECT_EQ(server.Connections(), 1);
}

TEST(ConnectionReuse, AKeptConnectionThatFailsTwiceIsTriedOnlyOnceMore) {
  std::atomic<int> accepted{0};
  TestServer server([&](ServerConnection& c) {
    c.ReadRequest();
    if (accepted++ == 0) {
      c.Send(Ok("first"));
      c.ReadRequest();
    }
    c.Close();
  });
  HttpClient client;
  EXPECT_EQ(client.Get(server.Url()), "first");
  EXPECT_THROW(client.Get(server.Url()), ConnectionClosed);
  EXPECT_EQ(server.Connections(), 2);
}

}  // namespace
}  // namespace cloakwise::http
