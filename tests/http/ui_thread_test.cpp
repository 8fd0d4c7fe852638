// On the user-interface thread the client lets pending messages run while it
// waits; on a worker it does not. The connect there has a limit of its own.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "fakes/fake_ui_thread.h"
#include "http/expect_failure.h"
#include "http/http_client.h"
#include "http/test_server.h"

namespace cloakwise::http {
namespace {

using Clock = std::chrono::steady_clock;
using testing::BlackholeListener;
using testing::Expect;
using testing::MillisecondsOf;
using testing::ServerConnection;
using testing::TestServer;

// Posts a task every few milliseconds that records when the user-interface
// thread got round to it.
class MessageSource {
 public:
  explicit MessageSource(fakes::FakeUiThread& ui) : ui_(ui) {
    poster_ = std::thread([this] {
      while (!stop_) {
        ui_.Post([this] { ran_.push_back(Clock::now()); });
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    });
  }
  ~MessageSource() { Stop(); }
  void Stop() {
    stop_ = true;
    if (poster_.joinable()) poster_.join();
  }
  // Runs on the user-interface thread only, so needs no lock.
  const std::vector<Clock::time_point>& Ran() const { return ran_; }
  long long LongestGapMs() const {
    long long gap = 0;
    for (std::size_t i = 1; i < ran_.size(); ++i) {
      gap = std::max<long long>(
          gap,
          std::chrono::duration_cast<std::chrono::milliseconds>(ran_[i] - ran_[i - 1]).count());
    }
    return gap;
  }

 private:
  fakes::FakeUiThread& ui_;
  std::atomic<bool> stop_{false};
  std::thread poster_;
  std::vector<Clock::time_point> ran_;
};

TEST(AntiFreeze, MessagesRunWhileTheReplyIsAwaited) {
  TestServer slow([](ServerConnection& c) {
    c.ReadRequest();
    c.Sleep(1000);
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
  });
  fakes::FakeUiThread ui;
  HttpClient serviceClient(&ui);  // read time-out 0, as the list service's instance has
  MessageSource messages(ui);
  EXPECT_EQ(serviceClient.Post(slow.Url("/proxy.php"), {"posttxt=1"}), "ok");
  messages.Stop();
  EXPECT_GE(messages.Ran().size(), 3u);
  EXPECT_LE(messages.LongestGapMs(), 400);  // slices of 250 ms, with slack for a busy machine
}

TEST(AntiFreeze, MessagesRunWhileAReplyStreamsWithoutEnd) {
  // Data every few milliseconds: no wait ever times out, yet the window's
  // messages must have their turn each slice.
  TestServer endless([](ServerConnection& c) {
    c.ReadRequest();
    c.Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
    for (int i = 0; i < 1000 && c.Send("40\r\n" + std::string(64, 'x') + "\r\n"); ++i) c.Sleep(5);
  });
  fakes::FakeUiThread ui;
  HttpClient serviceClient(&ui);
  serviceClient.Settings().maxRequestMs = 1500;
  MessageSource messages(ui);
  Expect<ReadTimeout>([&] { serviceClient.Post(endless.Url("/proxy.php"), {"posttxt=1"}); });
  messages.Stop();
  EXPECT_GE(messages.Ran().size(), 3u);
  EXPECT_LE(messages.LongestGapMs(), 400);
}

TEST(AntiFreeze, AWorkerInstanceLeavesMessagesAlone) {
  TestServer slow([](ServerConnection& c) {
    c.ReadRequest();
    c.Sleep(400);
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
  });
  fakes::FakeUiThread ui;
  HttpClient worker;
  bool ran = false;
  ui.Post([&] { ran = true; });
  EXPECT_EQ(worker.Get(slow.Url()), "ok");
  EXPECT_FALSE(ran);
  EXPECT_EQ(ui.PendingTasks(), 1u);
}

TEST(AntiFreeze, ConnectOnTheUiThreadHasItsOwnLimitAndKeepsMessagesFlowing) {
  BlackholeListener blackhole;
  fakes::FakeUiThread ui;
  HttpClient serviceClient(&ui);
  serviceClient.Settings().uiConnectLimitMs = 800;  // 120000 in the program; the same code path
  MessageSource messages(ui);
  const std::string url = "http://127.0.0.1:" + std::to_string(blackhole.Port()) + "/";
  const auto ms = MillisecondsOf([&] { Expect<ConnectTimeout>([&] { serviceClient.Get(url); }); });
  messages.Stop();
  EXPECT_GE(ms, 790);
  EXPECT_LT(ms, 2000);
  EXPECT_GE(messages.Ran().size(), 4u);
  EXPECT_LE(messages.LongestGapMs(), 300);  // polled every 125 ms
  EXPECT_EQ(ClientSettings{}.uiConnectLimitMs, 120000);
}

TEST(AntiFreeze, ARefusalOnTheUiThreadIsAConnectFailure) {
  fakes::FakeUiThread ui;
  HttpClient serviceClient(&ui);
  const std::string url = "http://127.0.0.1:" + std::to_string(testing::RefusingPort()) + "/";
  Expect<ConnectFailed>([&] { serviceClient.Get(url); });
}

TEST(AntiFreeze, AMessageCannotStartASecondRequestOnTheSameInstance) {
  TestServer slow([](ServerConnection& c) {
    c.ReadRequest();
    c.Sleep(600);
    c.Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
  });
  fakes::FakeUiThread ui;
  HttpClient serviceClient(&ui);
  bool refused = false;
  ui.Post([&] {
    try {
      serviceClient.Get(slow.Url());
    } catch (const HttpError&) {
      refused = true;
    }
  });
  EXPECT_EQ(serviceClient.Get(slow.Url()), "ok");
  EXPECT_TRUE(refused);
  EXPECT_EQ(slow.Connections(), 1);
}

TEST(AntiFreeze, AMessageThatDisconnectsTheClientEndsItsWait) {
  TestServer slow([](ServerConnection& c) {
    c.ReadRequest();
    c.Sleep(5000);
  });
  BlackholeListener blackhole;
  fakes::FakeUiThread ui;
  HttpClient serviceClient(&ui);  // no read time-out: only the disconnect can end these waits
  ui.Post([&] { serviceClient.Disconnect(); });
  EXPECT_LT(MillisecondsOf([&] { Expect<SocketError>([&] { serviceClient.Get(slow.Url()); }); }), 1000);
  ui.Post([&] { serviceClient.Disconnect(); });
  const std::string url = "http://127.0.0.1:" + std::to_string(blackhole.Port()) + "/";
  EXPECT_LT(MillisecondsOf([&] { Expect<SocketError>([&] { serviceClient.Get(url); }); }), 1000);
}

}  // namespace
}  // namespace cloakwise::http
