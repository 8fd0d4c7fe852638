// FetchProxyBatch over real loopback sockets: against a server that answers
// with scripted bodies (the cutting rules at their edges), and against the
// reference service (the whole exchange, refusals and broken replies).
#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "fakes/fake_desktop.h"
#include "fakes/fake_ui_thread.h"
#include "http/http_client.h"
#include "search/digit_codec.h"
#include "search/proxy_list_service.h"
#include "service/reference_service.h"
#include "testproxy/loopback_net.h"
#include "ui/controls.h"
#include "ui/message_box.h"

namespace cloakwise::search {
namespace {

// Answers each POST of /proxy.php with the next scripted body and keeps what
// came in.
class ScriptedService {
 public:
  explicit ScriptedService(std::vector<std::string> bodies) : bodies_(std::move(bodies)) {
    server_.Post("/proxy.php", [this](const httplib::Request& request, httplib::Response& reply) {
      std::lock_guard lock(mutex_);
      posts_.push_back(request.body);
      cookies_.push_back(request.get_header_value("Cookie"));
      reply.set_header("Set-Cookie", "sid=s" + std::to_string(posts_.size()));
      reply.set_content(next_ < bodies_.size() ? bodies_[next_++] : "", "text/html");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~ScriptedService() {
    server_.stop();
    thread_.join();
  }
  std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
  std::vector<std::string> Posts() {
    std::lock_guard lock(mutex_);
    return posts_;
  }
  std::vector<std::string> Cookies() {
    std::lock_guard lock(mutex_);
    return cookies_;
  }

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
  std::mutex mutex_;
  std::vector<std::string> bodies_;
  std::size_t next_ = 0;
  std::vector<std::string> posts_;
  std::vector<std::string> cookies_;
};

class ListClient : public ::testing::Test {
 protected:
  // The pieces of the main window the client touches.
  fakes::FakeUiThread ui;
  ui::Label localAddressLabel{"localAddressLabel", "127.0.0.1"};
  fakes::FakeModalHost modal;
  ui::MessageBoxForm box{modal};
  http::HttpClient serviceClient{&ui};
  const ClientIdentity identity{"Cloakwise", "1.0", 42};
  std::vector<std::string> list;

  search::ServiceReports Reports() {
    return {[this](const std::string& address) { localAddressLabel.SetCaption(address); },
            [this](const std::string& title, const std::string& text) { box.ShowMessageBox(title, text); }};
  }

  void Fetch(const std::string& host) {
    ProxyListService service(serviceClient, Reports(), ui, identity, host);
    service.FetchProxyBatch(list);
  }
};

std::string Reply(const std::string& plain) {
  return DigitEncode(plain);
}

const std::string kToken = "TOKEN12345";
const std::string kHead = "0123456789";
const std::string kTail = "abcdefgh";

TEST_F(ListClient, PostsBothStepsAsTheServiceExpects) {
  ScriptedService service({Reply(kToken + "10.1.2.3"), Reply(kHead + "a:1 A;b:2 B;c:3 C" + kTail)});
  Fetch(service.Host());
  const auto posts = service.Posts();
  ASSERT_EQ(posts.size(), 2u);
  EXPECT_EQ(posts[0], "posttxt=" + DigitEncode("7;Cloakwise;1.0;" + EncodeClientNumber(42)));
  EXPECT_EQ(posts[1], "posttxt=" + DigitEncode("7;Cloakwise;1.0;" + EncodeClientNumber(42) + ";" +
                                               kToken + "=" + DigitEncode(kToken) + ";"));
  // One client object for both posts: the first reply's cookie goes back.
  EXPECT_EQ(service.Cookies()[0], "");
  EXPECT_EQ(service.Cookies()[1], "sid=s1");
  EXPECT_EQ(localAddressLabel.Caption(), "10.1.2.3");
  EXPECT_EQ(list, (std::vector<std::string>{"a:1 A", "b:2 B", "c:3 C"}));
  EXPECT_TRUE(modal.shown.empty());
}

TEST_F(ListClient, AppendsToWhatTheListAlreadyHolds) {
  ScriptedService service({Reply(kToken), Reply(kHead + "x;y;z" + kTail)});
  list = {"old"};
  Fetch(service.Host());
  EXPECT_EQ(list, (std::vector<std::string>{"old", "x", "y", "z"}));
}

TEST_F(ListClient, FirstReplyOfTenCharactersEmptiesTheAddressButKeepsTheToken) {
  ScriptedService service({Reply(kToken), Reply(kHead + "x;y;z" + kTail)});
  Fetch(service.Host());
  EXPECT_EQ(localAddressLabel.Caption(), "");
  EXPECT_NE(DigitDecode(service.Posts()[1].substr(8)).find(";" + kToken + "="), std::string::npos);
}

TEST_F(ListClient, ShortFirstReplyGivesAShortToken) {
  ScriptedService service({Reply("abc"), Reply(kHead + "x;y;z" + kTail)});
  Fetch(service.Host());
  EXPECT_EQ(localAddressLabel.Caption(), "");
  EXPECT_TRUE(DigitDecode(service.Posts()[1].substr(8)).ends_with(";abc=990890790;"));
}

TEST_F(ListClient, ShortSecondRepliesGiveShortPayloads) {
  struct Case {
    std::string decoded;
    std::vector<std::string> lines;
  };
  for (const auto& c : {Case{kHead, {"", "", ""}},                   // 10
                        Case{kHead + "p", {"", "", "p"}},            // 11
                        Case{kHead + "p;q;r;s", {"p", "q", "r;s"}},  // 17
                        Case{kHead + "abcdefgh", {"", "", ""}},      // 18
                        Case{"tiny", {"", "", ""}}}) {
    ScriptedService service({Reply(kToken), Reply(c.decoded)});
    list.clear();
    Fetch(service.Host());
    EXPECT_EQ(list, c.lines) << c.decoded.size() << " characters";
  }
}

TEST_F(ListClient, KeepsFurtherSemicolonsInTheThirdLine) {
  ScriptedService service({Reply(kToken), Reply(kHead + "a;b;c;d;e" + kTail)});
  Fetch(service.Host());
  EXPECT_EQ(list, (std::vector<std::string>{"a", "b", "c;d;e"}));
}

TEST_F(ListClient, ShowsARefusalInTheErrorBoxAndReturnsNothing) {
  ScriptedService service(
      {Reply(kToken + "10.9.8.7"), Reply(kHead + "STRYour version is too old." + kTail)});
  list = {"kept"};
  Fetch(service.Host());
  EXPECT_EQ(modal.shown, std::vector<std::string>{"Error: Your version is too old."});
  EXPECT_EQ(list, std::vector<std::string>{"kept"});
  EXPECT_EQ(localAddressLabel.Caption(), "10.9.8.7");
}

TEST_F(ListClient, ARefusalWithoutTextShowsAnEmptyBox) {
  ScriptedService service({Reply(kToken), Reply(kHead + "STR" + kTail)});
  Fetch(service.Host());
  EXPECT_EQ(modal.shown, std::vector<std::string>{"Error: "});
  EXPECT_TRUE(list.empty());
}

TEST_F(ListClient, LetsPendingMessagesRunOnceBeforeReturning) {
  ScriptedService service({Reply(kToken), Reply(kHead + "STRbusy" + kTail)});
  bool ran = false;
  // Posted while the box is up; only the closing ProcessMessages runs it.
  modal.whileShowing = [&] { ui.Post([&] { ran = true; }); };
  Fetch(service.Host());
  EXPECT_TRUE(ran);
  EXPECT_EQ(ui.PendingTasks(), 0u);
}

TEST_F(ListClient, AnUnreadableReplyFailsTheBatchButTheAddressIsShown) {
  ScriptedService service({Reply(kToken + "10.0.0.5"), "12345a789"});
  EXPECT_THROW(Fetch(service.Host()), DigitDecodeError);
  EXPECT_EQ(localAddressLabel.Caption(), "10.0.0.5");
  EXPECT_TRUE(list.empty());
  EXPECT_TRUE(modal.shown.empty());
}

TEST_F(ListClient, AnUnreadableFirstReplyStopsBeforeTheSecondPost) {
  ScriptedService service({"99089079\r\n0", Reply(kHead + "x;y;z" + kTail)});
  EXPECT_THROW(Fetch(service.Host()), DigitDecodeError);
  EXPECT_EQ(service.Posts().size(), 1u);
  EXPECT_EQ(localAddressLabel.Caption(), "127.0.0.1");
}

TEST_F(ListClient, TransportFailuresPropagateUnchanged) {
  // Nothing listens on a port the kernel just handed out and took back.
  std::uint16_t port = 0;
  close(testproxy::ListenLoopback("127.0.0.1", 0, &port));
  EXPECT_THROW(Fetch("127.0.0.1:" + std::to_string(port)), http::HttpError);
  EXPECT_TRUE(modal.shown.empty());
  EXPECT_EQ(localAddressLabel.Caption(), "127.0.0.1");
}

TEST_F(ListClient, AReplyLongerThanABatchFailsAtOnce) {
  // Longer than any batch, and announced so: nothing of it is waited for.
  ScriptedService service({std::string(ProxyListService::kReplyLimitBytes + 1, '1')});
  const auto started = std::chrono::steady_clock::now();
  EXPECT_THROW(Fetch(service.Host()), http::ReplyTooLarge);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  EXPECT_EQ(service.Posts().size(), 1u) << "no second step";
}

TEST_F(ListClient, AnErrorStatusIsATransportFailure) {
  httplib::Server server;
  server.Post("/proxy.php", [](const httplib::Request&, httplib::Response& reply) {
    reply.status = 503;
    reply.set_content(DigitEncode(kToken), "text/html");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread thread([&] { server.listen_after_bind(); });
  EXPECT_THROW(Fetch("127.0.0.1:" + std::to_string(port)), http::HttpStatusError);
  server.stop();
  thread.join();
  EXPECT_EQ(localAddressLabel.Caption(), "127.0.0.1");
}

// Against the reference service, as the program meets the real one.
class AgainstReferenceService : public ListClient {
 protected:
  std::unique_ptr<service::ReferenceService> Start(std::vector<std::string> pool, int dropStep = 0,
                                                   int garbleStep = 0) {
    service::ServiceOptions options;
    options.pool = std::move(pool);
    options.dropStep = dropStep;
    options.garbleStep = garbleStep;
    options.log = [this](const std::string& line) {
      std::lock_guard lock(logMutex);
      log.push_back(line);
    };
    auto started = std::make_unique<service::ReferenceService>(options);
    host = "127.0.0.1:" + std::to_string(started->Ports()[0]);
    return started;
  }
  // The service logs a request after its reply has gone out, so a loaded
  // machine may even log the first request after the second.
  std::vector<std::string> LogOnceItHas(std::size_t lines) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
      {
        std::lock_guard lock(logMutex);
        if (log.size() >= lines || std::chrono::steady_clock::now() > end) return log;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  std::string host;
  std::mutex logMutex;
  std::vector<std::string> log;
};

const std::vector<std::string> kPool = {"127.0.0.1:3128 Loopback squid",
                                        "127.0.0.2:8888 Tiny, test", "127.0.0.3:8080 Third",
                                        "127.0.0.4:80 Fourth"};

TEST_F(AgainstReferenceService, FetchesBatchesOfThreeInTurn) {
  auto service = Start(kPool);
  Fetch(host);
  EXPECT_EQ(localAddressLabel.Caption(), "127.0.0.1");  // the address the service saw
  EXPECT_EQ(list, (std::vector<std::string>{kPool[0], kPool[1], kPool[2]}));
  list.clear();
  Fetch(host);
  EXPECT_EQ(list, (std::vector<std::string>{kPool[3], kPool[0], kPool[1]}));
  EXPECT_TRUE(modal.shown.empty());
  EXPECT_EQ(service->Desk().OpenSessions(), 0u) << "each token buys one batch";
}

TEST_F(AgainstReferenceService, ShowsTheServicesRefusal) {
  auto service = Start({});
  Fetch(host);
  EXPECT_EQ(modal.shown, std::vector<std::string>{
                             "Error: No proxies available at the moment, please try again later."});
  EXPECT_TRUE(list.empty());
}

TEST_F(AgainstReferenceService, ARefusedFirstStepIsToldAtTheSecond) {
  auto service = Start(kPool);
  // An identity the service cannot read: a ";" inside a text shifts the fields.
  ClientIdentity broken{"Cloak;wise", "1.0", 7};
  ProxyListService client(serviceClient, Reports(), ui, broken, host);
  client.FetchProxyBatch(list);
  EXPECT_EQ(modal.shown, std::vector<std::string>{"Error: Malformed request."});
  EXPECT_EQ(localAddressLabel.Caption(), "127.0.0.1");
  EXPECT_TRUE(list.empty());
}

TEST_F(AgainstReferenceService, ADroppedSecondReplyFailsAfterShowingTheAddress) {
  auto service = Start(kPool, /*dropStep=*/2);
  EXPECT_THROW(Fetch(host), http::HttpError);
  EXPECT_EQ(localAddressLabel.Caption(), "127.0.0.1");
  EXPECT_TRUE(list.empty());
  EXPECT_TRUE(modal.shown.empty());
}

TEST_F(AgainstReferenceService, ADroppedFirstReplyFailsBeforeTheSecondStep) {
  auto service = Start(kPool, /*dropStep=*/1);
  localAddressLabel.SetCaption("unchanged");
  EXPECT_THROW(Fetch(host), http::HttpError);
  EXPECT_EQ(localAddressLabel.Caption(), "unchanged");
  const auto log = LogOnceItHas(1);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("[dropped]"), std::string::npos) << log[0];
}

TEST_F(AgainstReferenceService, AGarbledReplyFailsLikeALostConnection) {
  auto service = Start(kPool, 0, /*garbleStep=*/2);
  EXPECT_THROW(Fetch(host), DigitDecodeError);
  EXPECT_EQ(localAddressLabel.Caption(), "127.0.0.1");
  EXPECT_TRUE(list.empty());
  EXPECT_TRUE(modal.shown.empty());
}

TEST_F(AgainstReferenceService, LogsOneLinePerRequest) {
  auto service = Start(kPool);
  Fetch(host);
  auto log = LogOnceItHas(2);
  ASSERT_EQ(log.size(), 2u);
  if (log[0].find("step 2") != std::string::npos) std::swap(log[0], log[1]);
  EXPECT_NE(log[0].find("POST /proxy.php 200 step 1: token "), std::string::npos) << log[0];
  EXPECT_NE(log[1].find("step 2: batch " + kPool[0] + ";"), std::string::npos) << log[1];
  for (const auto& line : log) EXPECT_EQ(line.find('\n'), std::string::npos);
}

}  // namespace
}  // namespace cloakwise::search
