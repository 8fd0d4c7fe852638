// The client as built into cloakwise.exe (Winsock), run under Wine against a
// native Linux server on loopback: the same request bytes, bodies, failure
// kinds and time-outs as the native suites check, across a real socket.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "http/http_client.h"
#include "platform/win32/win32_platform.h"

namespace cloakwise::http {
namespace {

struct Ports {
  int server = 0;
  int blackhole = 0;
  int refused = 0;
};

Ports ServerPorts() {
  Ports p;
  const char* text = std::getenv("CLOAKWISE_TEST_PORTS");
  if (text) std::istringstream(text) >> p.server >> p.blackhole >> p.refused;
  return p;
}

std::string At(int port, const std::string& path) {
  return "http://127.0.0.1:" + std::to_string(port) + path;
}

class ClientUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(ports.server, 0) << "run through tests/http/win32/run_against_native_server.sh";
  }
  Ports ports = ServerPorts();
  const std::string host = "Host: 127.0.0.1:" + std::to_string(ports.server) + "\r\n";
  const std::string tail =
      "Accept: text/html, */*\r\n"
      "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n\r\n";
};

// The echo body is "conn=N\n" and the request as the server received it.
std::string RequestOf(const std::string& echo) {
  return echo.substr(echo.find('\n') + 1);
}
std::string ConnectionOf(const std::string& echo) {
  return echo.substr(0, echo.find('\n'));
}

template <class Kind>
long long FailsWith(const std::function<void()>& request) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(request(), Kind);
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

TEST_F(ClientUnderWine, DirectGetThenPostThenGet) {
  HttpClient client;
  const std::string get1 = client.Get(At(ports.server, "/echo?a=1"));
  EXPECT_EQ(RequestOf(get1), "GET /echo?a=1 HTTP/1.1\r\nContent-Type: text/html\r\n" + host + tail);
  const std::string post = client.Post(At(ports.server, "/echo"), {"posttxt=a b+c"});
  EXPECT_EQ(RequestOf(post),
            "POST /echo HTTP/1.0\r\nConnection: keep-alive\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\n"
            "Content-Length: 15\r\n" +
                host + tail + "posttxt=a+b%2Bc");
  const std::string get2 = client.Get(At(ports.server, "/echo"));
  EXPECT_EQ(RequestOf(get2),
            "GET /echo HTTP/1.1\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\n" +
                host + tail);
  EXPECT_NE(ConnectionOf(get1), ConnectionOf(post));  // every POST connects anew
}

TEST_F(ClientUnderWine, GetThroughAProxy) {
  HttpClient client;
  client.Settings().proxyServer = "127.0.0.1";
  client.Settings().proxyPort = ports.server;
  client.Settings().readTimeoutMs = 10000;
  const std::string echo = client.Get("http://judge.example/echo");
  EXPECT_EQ(RequestOf(echo),
            "GET http://judge.example:80/echo HTTP/1.1\r\n"
            "Content-Type: text/html\r\nHost: judge.example\r\n" +
                tail);
}

TEST_F(ClientUnderWine, BodiesCookiesAndReuse) {
  HttpClient client;
  client.Settings().readTimeoutMs = 5000;
  EXPECT_EQ(client.Get(At(ports.server, "/chunked")), "Hello, Wine");
  EXPECT_EQ(client.Get(At(ports.server, "/close")), "until the close");
  EXPECT_EQ(client.Get(At(ports.server, "/cookie")), "set");
  const std::string first = client.Get(At(ports.server, "/echo"));
  const std::string second = client.Get(At(ports.server, "/echo"));
  EXPECT_NE(RequestOf(first).find("\r\nCookie: session=w1\r\n"), std::string::npos);
  EXPECT_EQ(ConnectionOf(first), ConnectionOf(second));  // kept under 1.1
  client.Settings().protocolVersion = "1.0";             // no keep-alive in the reply: not kept
  const std::string third = client.Get(At(ports.server, "/echo"));
  const std::string fourth = client.Get(At(ports.server, "/echo"));
  EXPECT_NE(ConnectionOf(third), ConnectionOf(fourth));
}

TEST_F(ClientUnderWine, FailureKinds) {
  HttpClient client;
  try {
    client.Get(At(ports.server, "/missing"));
    ADD_FAILURE() << "no failure";
  } catch (const HttpStatusError& e) {
    EXPECT_EQ(e.Code(), 404);
    EXPECT_STREQ(e.what(), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(e.ErrorBody(), "no such page");
  }
  FailsWith<HttpStatusError>([&] { client.Get(At(ports.server, "/redirect")); });
  FailsWith<SocketError>([&] { client.Get(At(ports.refused, "/")); });
  client.Settings().readTimeoutMs = 3000;
  FailsWith<ConnectFailed>([&] { client.Get(At(ports.refused, "/")); });
}

TEST_F(ClientUnderWine, BothTimeouts) {
  HttpClient client;
  client.Settings().readTimeoutMs = 600;
  const long long connectMs =
      FailsWith<ConnectTimeout>([&] { client.Get(At(ports.blackhole, "/")); });
  EXPECT_GE(connectMs, 550);
  EXPECT_LT(connectMs, 3000);
  const long long readMs =
      FailsWith<ReadTimeout>([&] { client.Get(At(ports.server, "/silent")); });
  EXPECT_GE(readMs, 550);
  EXPECT_LT(readMs, 3000);
}

TEST_F(ClientUnderWine, MessagesRunWhileTheUiThreadWaits) {
  platform::Win32UiThread ui;
  HttpClient serviceClient(&ui);
  std::atomic<bool> stop{false};
  int ran = 0;
  std::thread poster([&] {
    while (!stop) {
      ui.Post([&] { ++ran; });
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  EXPECT_EQ(serviceClient.Get(At(ports.server, "/slow")), "late");
  stop = true;
  poster.join();
  EXPECT_GE(ran, 2);  // 800 ms of waiting, cut into slices of 250 ms
}

}  // namespace
}  // namespace cloakwise::http
