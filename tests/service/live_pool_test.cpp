// The live pool as the service runs it: a public-list-shaped world of test
// proxies checked against the service's own judge, a restart on the same
// SQLite file, sources that fail or turn to junk, and the desk's batches
// and refusals.
#include "service/live_pool.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "search/digit_codec.h"
#include "search/proxy_list_service.h"
#include "service/reference_service.h"
#include "testproxy/public_list_world.h"
#include "testproxy/test_proxy.h"
#include "unit/temp_folder.h"

namespace cloakwise::service {
namespace {

constexpr std::int64_t kMinute = 60000;

// The two steps of the exchange as the program makes them; the second
// reply's text without its padding.
std::string AskBatch(ServiceDesk& desk, std::uint32_t clientNumber,
                     const std::string& address = "127.0.0.9") {
  const search::ClientIdentity client{"Cloakwise", "1.0", clientNumber};
  const DeskReply first =
      desk.Answer(search::DigitEncode(search::FirstRequestText(client)), address, "");
  const std::string token = search::DigitDecode(first.body).substr(0, ServiceDesk::kTokenLength);
  const DeskReply second =
      desk.Answer(search::DigitEncode(search::SecondRequestText(client, token)), address, token);
  return search::StripServicePadding(search::DigitDecode(second.body));
}

// The addresses of a batch, each line checked for the form the program reads.
std::vector<std::string> Addresses(const std::string& batch) {
  std::vector<std::string> addresses;
  for (const std::string& line : search::SplitCandidates(batch)) {
    const auto blank = line.find(' ');
    EXPECT_NE(blank, std::string::npos) << line;
    EXPECT_GT(line.size(), blank + 1) << "a description follows: " << line;
    addresses.push_back(line.substr(0, blank));
  }
  return addresses;
}

// A live pool and the service that serves it, on a clock of the test's.
struct Served {
  explicit Served(LivePoolOptions options, std::int64_t* now = nullptr) {
    if (now) options.clock = [now] { return *now; };
    options.log = [this](const std::string& line) { log += line + "\n"; };
    pool = std::make_unique<LivePool>(std::move(options));
    ServiceOptions serviceOptions;
    serviceOptions.batches = [this] { return pool->Batch(); };
    serviceOptions.status = [this](bool json) { return pool->Status(json); };
    service = std::make_unique<ReferenceService>(serviceOptions);
    urls = judge::MakeServiceUrls("127.0.0.1:" + std::to_string(service->Ports()[0]),
                                  service->TunnelPort());
  }
  ~Served() { service.reset(); }  // before the pool it asks

  nlohmann::json Status() {
    httplib::Client client("127.0.0.1", service->Ports()[0]);
    const auto reply = client.Get("/status?format=json");
    return reply ? nlohmann::json::parse(reply->body) : nlohmann::json();
  }

  std::string log;
  std::unique_ptr<LivePool> pool;
  std::unique_ptr<ReferenceService> service;
  judge::ServiceUrls urls;
};

LivePoolOptions WithList(const std::string& path) {
  LivePoolOptions options;
  options.sources = {SourceFromArgument(path)};
  options.policy.probeTimeoutMs = 4000;
  return options;
}

TEST(LivePool, APublicListShapedWorldLeavesItsWorkingProxiesInThePoolAndNoDeadOneInABatch) {
  // 30 entries: 3 working elite proxies that tunnel, 12 closed ports, 15
  // that take the connection and never answer.
  const testproxy::PublicListWorld world = testproxy::BuildPublicListWorld(30, 71);
  testing::TempFolder folder("live-world");
  std::ofstream list(folder.File("list.txt"));
  for (const std::string& proxy : world.list) list << proxy << "\tUS\telite\n";
  list.close();
  Served served(WithList(folder.File("list.txt")));

  const auto started = std::chrono::steady_clock::now();
  const RoundFigures round = served.pool->RunRound(served.urls);
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_LT(took, std::chrono::milliseconds(2 * (4000 + world.slowestMs)))
      << "the silent ones wait out one time-out together";
  EXPECT_EQ(round.checked, 30u);
  EXPECT_EQ(round.tunnelling, 3u);
  EXPECT_NE(served.log.find("pool: round: 30 checked, 3 working (elite 3, anonymous 0, "
                            "transparent 0), 3 tunnelling, 27 failed, 0 dropped; 30 entries, "
                            "3 servable;"),
            std::string::npos)
      << served.log;

  std::set<std::string> working, handed;
  for (const auto& [proxy, delay] : world.delayOf) working.insert(proxy);
  for (const PoolEntry& entry : served.pool->Keeper().Entries()) {
    EXPECT_EQ(entry.Working(), working.count(entry.address) > 0) << entry.address;
  }
  for (std::uint32_t client = 1; client <= 12; ++client) {
    for (const std::string& address : Addresses(AskBatch(served.service->Desk(), client))) {
      EXPECT_TRUE(working.count(address)) << address << " is dead";
      handed.insert(address);
    }
  }
  EXPECT_EQ(handed, working);

  const nlohmann::json status = served.Status();
  EXPECT_EQ(status["entries"], 30);
  EXPECT_EQ(status["working"]["elite"], 3);
  EXPECT_EQ(status["servable"], 3);
  EXPECT_EQ(status["failing"], 27);
  EXPECT_EQ(status["checksLastMinute"], 30);
  EXPECT_LE(status["oldestAgeSeconds"].get<int>(), 10);
  EXPECT_EQ(status["sources"][0]["proxies"], 30);
}

TEST(LivePool, ARestartOnTheSameFileServesWhatWorkedAtOnceAndChecksAgainInTime) {
  auto elite = testproxy::StartOnAddress("127.0.0.72", testproxy::Anonymity::Elite);
  // A list over HTTP, which counts its readers, and one in a file.
  std::atomic<int> fetches{0};
  httplib::Server lists;
  lists.Get("/list.txt", [&](const httplib::Request&, httplib::Response& response) {
    ++fetches;
    response.set_content(elite->Endpoint() + "\n127.0.0.73:9\n", "text/plain");
  });
  const int port = lists.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { lists.listen_after_bind(); });
  testing::TempFolder folder("live-restart");
  std::ofstream(folder.File("list.txt")) << "127.0.0.76:9\n";
  LivePoolOptions options = WithList("http://127.0.0.1:" + std::to_string(port) + "/list.txt");
  options.sources.push_back(SourceFromArgument(folder.File("list.txt")));
  options.dbPath = folder.File("pool.db");
  std::int64_t now = 1'700'000'000'000;
  {
    Served first(options, &now);
    first.pool->RunRound(first.urls);
  }
  ASSERT_EQ(fetches, 1);

  // No round yet after the restart: what the file holds is served.
  now += kMinute;
  Served again(options, &now);
  EXPECT_EQ(Addresses(AskBatch(again.service->Desk(), 1)),
            std::vector<std::string>(3, elite->Endpoint()));
  nlohmann::json status = again.Status();
  EXPECT_EQ(status["entries"], 3);
  EXPECT_EQ(status["working"]["total"], 1);
  EXPECT_EQ(status["freshestAgeSeconds"], 60);
  // The first round reads the file again, which may have been edited; the
  // list on another host waits for its time, and no entry is due yet.
  EXPECT_EQ(again.pool->RunRound(again.urls).checked, 0u);
  status = again.Status();
  EXPECT_EQ(fetches, 1);
  EXPECT_EQ(status["sources"][0]["lastGoodAgeSeconds"], 60);
  EXPECT_EQ(status["sources"][1]["lastGoodAgeSeconds"], 0);

  // Not seen working for longer than the pool vouches for: none to give,
  // until it is checked again.
  now += 30 * kMinute;
  EXPECT_EQ(AskBatch(again.service->Desk(), 1),
            "STRNo proxies available at the moment, please try again later.");
  again.pool->RunRound(again.urls);
  EXPECT_EQ(fetches, 2);
  EXPECT_EQ(Addresses(AskBatch(again.service->Desk(), 1)).at(0), elite->Endpoint());
  lists.stop();
  serving.join();
}

TEST(LivePool, ItsThreadChecksWhatIsDueAndStopsAtOnceWhileProbesWaitForSilentProxies) {
  auto elite = testproxy::StartOnAddress("127.0.0.77", testproxy::Anonymity::Elite);
  std::vector<std::unique_ptr<testproxy::TestProxy>> silent;
  testing::TempFolder folder("live-thread");
  std::ofstream list(folder.File("list.txt"));
  list << elite->Endpoint() << "\n";
  for (int i = 0; i < 3; ++i) {
    silent.push_back(testproxy::StartOnAddress("127.0.0." + std::to_string(78 + i),
                                               testproxy::Anonymity::Elite,
                                               testproxy::Fault::Silent));
    list << silent.back()->Endpoint() << "\n";
  }
  list.close();
  LivePoolOptions options = WithList(folder.File("list.txt"));
  options.policy.probeTimeoutMs = 30000;  // the silent ones outlast the test
  Served served(options);
  served.pool->Start(served.urls);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!served.pool->Batch() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(Addresses(AskBatch(served.service->Desk(), 1)).at(0), elite->Endpoint());
  const auto stopping = std::chrono::steady_clock::now();
  served.pool->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::milliseconds(1000));
  EXPECT_NE(served.log.find("checked, 1 working"), std::string::npos) << served.log;
  EXPECT_NE(served.log.find("stopped early"), std::string::npos) << served.log;
}

TEST(StaticPool, ItsStatusSaysItIsServedUnchecked) {
  ServiceOptions options;
  options.pool = {"127.0.0.1:1 one", "127.0.0.1:2 two"};
  ReferenceService service(options);
  httplib::Client client("127.0.0.1", service.Ports()[0]);
  const auto text = client.Get("/status");
  const auto json = client.Get("/status?format=json");
  ASSERT_TRUE(text && json);
  EXPECT_EQ(text->body, "entries: 2\nchecking: off\n");
  EXPECT_EQ(nlohmann::json::parse(json->body),
            (nlohmann::json{{"checking", false}, {"entries", 2}}));
}

TEST(LivePool, ASourceThatFailsOrTurnsToJunkNeverEmptiesThePool) {
  auto elite = testproxy::StartOnAddress("127.0.0.74", testproxy::Anonymity::Elite);
  testing::TempFolder folder("live-sources");
  const std::string path = folder.File("list.txt");
  std::ofstream(path) << elite->Endpoint() << "\n";
  std::int64_t now = 1'700'000'000'000;
  Served served(WithList(path), &now);
  served.pool->RunRound(served.urls);

  const struct {
    const char* change;
    std::function<void()> apply;
    std::int64_t minutes;  // on the clock before the round
    std::string logged;
  } steps[] = {
      {"junk", [&] { std::ofstream(path) << "<html>\n<p>gone</p>\n"; }, 31,
       " failed (1 in a row), the pool keeps what it has: names no proxy, only 2 lines of "
       "something else, read again in 60 s"},
      {"gone", [&] { std::filesystem::remove(path); }, 1,
       " failed (2 in a row), the pool keeps what it has: cannot read " + path +
           ", read again in 120 s"},
      {"back", [&] { std::ofstream(path) << elite->Endpoint() << "\n127.0.0.75:9\n"; }, 2,
       ": 2 proxies, 1 new, read again in 1800 s"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.change);
    step.apply();
    now += step.minutes * kMinute;
    served.log.clear();
    served.pool->RunRound(served.urls);
    EXPECT_NE(served.log.find("pool: source " + path + step.logged), std::string::npos)
        << served.log;
    const auto entry = served.pool->Keeper().Find(elite->Endpoint());
    ASSERT_TRUE(entry);
    EXPECT_TRUE(entry->Working());
  }
}

TEST(LivePool, TheDeskRefusesWithTheProgramsOwnTextWhenThereIsNoneOrTheCallerAsksTooFast) {
  const std::string none = "STRNo proxies available at the moment, please try again later.";
  std::optional<std::string> supplied = "127.0.0.1:1 a;127.0.0.1:2 b;127.0.0.1:3 c";
  std::int64_t now = 0;
  ServiceDesk desk({"127.0.0.1:9 static, never served"});
  desk.SupplyBatchesFrom([&] { return supplied; });
  desk.LimitRate({2, 1000}, [&] { return now; });
  const struct {
    std::int64_t at;
    const char* address;
    bool empty;
    std::string reply;
  } asks[] = {
      {0, "127.0.0.9", false, *supplied},    {0, "127.0.0.9", false, *supplied},
      {0, "127.0.0.9", false, none},         {0, "127.0.0.8", false, *supplied},
      {1000, "127.0.0.9", false, *supplied}, {1000, "127.0.0.8", true, none},
  };
  for (const auto& a : asks) {
    now = a.at;
    if (a.empty) supplied.reset();
    EXPECT_EQ(AskBatch(desk, 7, a.address), a.reply) << a.address << " at " << a.at;
  }
}

}  // namespace
}  // namespace cloakwise::service
