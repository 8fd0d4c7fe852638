// The check of the custom list: timing texts, the ping sort, and check runs
// through real test proxies to the reference service's judge, each proxy on
// a loopback address of its own, and through a world shaped like a public
// list.
#include "checker/list_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "fakes/fake_files.h"
#include "service/reference_service.h"
#include "testproxy/public_list_world.h"
#include "testproxy/test_proxy.h"

namespace cloakwise::checker {
namespace {

using testproxy::Anonymity;
using testproxy::Fault;

TEST(ListCheck, PingIsWholeSecondsWithHalvesToTheEvenNeighbour) {
  const struct {
    std::int64_t ms;
    const char* ping;
  } cases[] = {{0, "0 Sec."},    {499, "0 Sec."},    {500, "0 Sec."},  {501, "1 Sec."},
               {1499, "1 Sec."}, {1500, "2 Sec."},   {2500, "2 Sec."}, {2501, "3 Sec."},
               {3500, "4 Sec."}, {10499, "10 Sec."}, {-20, "0 Sec."}};
  for (const auto& c : cases) EXPECT_EQ(PingText(c.ms), c.ping) << c.ms;
}

TEST(ListCheck, SortKeyIsTheSecondsShownOrFiftyWithoutThem) {
  const struct {
    std::optional<std::int64_t> ms;
    int key;
  } cases[] = {{3000, 3},  {0, 0},    {51000, 51}, {std::nullopt, 50},
               {1500, 2},  {2500, 2}, {499, 0},    {-20, 0}};
  for (const auto& c : cases) EXPECT_EQ(PingSortKey(c.ms), c.key) << c.ms.value_or(-1);
}

// Row i becomes the proxy 10.0.0.<i+1>:80 with the answer time its Ping text
// stands for; one written "HTTP only 3 Sec." is a row of that status.
void FillWithPings(CustomProxyList& list, const std::vector<std::string>& pings) {
  for (std::size_t i = 0; i < pings.size(); ++i) {
    list.AddPastedLines("10.0.0." + std::to_string(i + 1) + ":80");
  }
  const std::string httpOnly = std::string(kHttpOnlyText) + " ";
  for (std::size_t i = 0; i < pings.size(); ++i) {
    const auto claimed = list.Claim();
    const bool working = pings[i] != kUnknownText;
    const bool tunnels = !pings[i].starts_with(httpOnly);
    const std::string ping = tunnels ? pings[i] : pings[i].substr(httpOnly.size());
    list.Finish(claimed->id,
                {working ? std::optional(AnonymityLevel::Elite) : std::nullopt,
                 !working  ? RowState::NotWorking
                 : tunnels ? RowState::Working
                           : RowState::HttpOnly,
                 working ? std::optional<std::int64_t>(std::stoll(ping) * 1000) : std::nullopt});
  }
}

// The original row index of each row, read back from its Proxy text.
std::vector<int> Order(const CustomProxyList& list) {
  std::vector<int> order;
  for (const ProxyRow& row : list.Rows()) order.push_back(std::stoi(row.proxy.substr(7)) - 1);
  return order;
}

TEST(ListCheck, SortExchangesRowsExactlyAsTheGridAlwaysHas) {
  const struct {
    std::vector<std::string> pings;
    std::vector<int> order;
    int swaps;
  } cases[] = {
      // Equal keys are never swapped, yet their order is not kept.
      {{"2 Sec.", "2 Sec.", "1 Sec."}, {2, 1, 0}, 1},
      {{"Unknown", "3 Sec.", "0 Sec."}, {2, 1, 0}, 3},
      {{"51 Sec.", "Unknown", "49 Sec."}, {2, 1, 0}, 3},
      {{"3 Sec.", "1 Sec.", "2 Sec.", "1 Sec."}, {1, 3, 2, 0}, 4},
      {{"0 Sec.", "1 Sec.", "Unknown"}, {0, 1, 2}, 0},
      {{"7 Sec."}, {0}, 0},
      // HTTP-only rows go after all others, by their own times.
      {{"HTTP only 1 Sec.", "Unknown", "3 Sec.", "HTTP only 0 Sec."}, {2, 1, 3, 0}, 4},
  };
  for (const auto& c : cases) {
    CustomProxyList list;
    FillWithPings(list, c.pings);
    int swaps = 0;
    SortByPing(list, [&] { ++swaps; });
    EXPECT_EQ(Order(list), c.order) << ::testing::PrintToString(c.pings);
    EXPECT_EQ(swaps, c.swaps) << ::testing::PrintToString(c.pings);
  }
}

TEST(ListCheck, SortSurvivesEditsMadeWhileItLetsMessagesRun) {
  const std::vector<std::string> pings = {"9 Sec.", "Unknown", "3 Sec.", "0 Sec.",
                                          "7 Sec.", "3 Sec.",  "1 Sec.", "Unknown",
                                          "2 Sec.", "5 Sec.",  "0 Sec.", "4 Sec."};
  const struct {
    const char* edit;
    int atSwap;
    std::function<void(CustomProxyList&)> apply;
  } cases[] = {
      {"first row deleted", 1, [](CustomProxyList& l) { l.DeleteRow(0); }},
      {"last row deleted", 3, [](CustomProxyList& l) { l.DeleteRow(l.RowCount() - 1); }},
      {"middle row deleted", 5, [](CustomProxyList& l) { l.DeleteRow(6); }},
      {"rows added", 2, [](CustomProxyList& l) { l.AddPastedLines("10.0.1.1:80\n10.0.1.2:80"); }},
      {"cleared", 2, [](CustomProxyList& l) { l.Clear(); }},
      {"check started again", 1, [](CustomProxyList& l) { l.ResetForCheck(); }},
      {"sorted inside the sort", 1, [](CustomProxyList& l) { SortByPing(l); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.edit);
    CustomProxyList list;
    FillWithPings(list, pings);
    std::map<std::string, std::string> pingOf;
    for (const ProxyRow& row : list.Rows()) pingOf[row.proxy] = CellText(row, kPingColumn);
    int swaps = 0;
    SortByPing(list, [&] {
      if (++swaps == c.atSwap) c.apply(list);
    });

    // Every row kept its own cells, none is there twice, and the rows are
    // in order of their keys.
    const std::vector<ProxyRow> rows = list.Rows();
    std::set<std::string> seen;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      EXPECT_TRUE(seen.insert(rows[i].proxy).second) << rows[i].proxy << " twice";
      if (pingOf.count(rows[i].proxy) && rows[i].state != RowState::Waiting) {
        EXPECT_EQ(CellText(rows[i], kPingColumn), pingOf[rows[i].proxy]) << rows[i].proxy;
      }
      if (i > 0) {
        EXPECT_LE(RowSortKey(rows[i - 1].state, rows[i - 1].answerMs),
                  RowSortKey(rows[i].state, rows[i].answerMs))
            << i;
      }
    }
  }
}

class ListCheckTest : public ::testing::Test {
 protected:
  ListCheckTest() {
    service = std::make_unique<service::ReferenceService>(service::ServiceOptions{});
    urls = judge::MakeServiceUrls("127.0.0.1:" + std::to_string(service->Ports()[0]),
                                  service->TunnelPort());
  }
  ~ListCheckTest() override { proxies.clear(); }

  // A proxy on a loopback address of its own, as real candidates each have
  // their own host.
  std::string Proxy(Anonymity anonymity, Fault fault = Fault::None, long long value = 0) {
    proxies.push_back(testproxy::StartOnAddress("127.0.0." + std::to_string(10 + proxies.size()),
                                                anonymity, fault, value));
    return proxies.back()->Endpoint();
  }

  // The list as loaded from an options.ini holding these values.
  static void LoadValues(CustomProxyList& list, const std::vector<std::string>& values) {
    fakes::FakeFileSystem files;
    std::string& ini = files.files["options.ini"] = "[Proxy list]\r\n";
    for (std::size_t i = 0; i < values.size(); ++i) {
      ini += std::to_string(i + 1) + "=" + values[i] + "\r\n";
    }
    list.Load(SettingsStore(files, "options.ini"));
  }

  // A check run on a thread of its own, as the program runs it.
  std::thread StartCheck(CustomProxyList& list, std::size_t inFlight = 6) {
    return std::thread([this, &list, inFlight] { RunListCheck(list, urls, inFlight); });
  }
  static bool WaitFor(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }
  static std::size_t CountState(const CustomProxyList& list, RowState state) {
    const auto rows = list.Rows();
    return static_cast<std::size_t>(std::count_if(
        rows.begin(), rows.end(), [&](const ProxyRow& r) { return r.state == state; }));
  }

  std::unique_ptr<service::ReferenceService> service;
  judge::ServiceUrls urls;
  std::vector<std::unique_ptr<testproxy::TestProxy>> proxies;
};

TEST_F(ListCheckTest, EachEntryShowsWhatTheJudgeSawThroughItOrThatItDoesNotWork) {
  const std::string elite = Proxy(Anonymity::Elite);
  const std::string unusable = elite.substr(0, elite.find(':'));
  const std::string port = elite.substr(elite.find(':') + 1);
  // The row's Type, Status and Ping as the grid shows them.
  using Shown = std::array<std::string, 3>;
  const Shown notWorking{kUnknownText, kNotWorkingText, kUnknownText};
  const struct {
    std::string proxy;
    Shown row;
  } cases[] = {
      {elite, {"Elite", kWorkingText, "0 Sec."}},
      {Proxy(Anonymity::Anonymous), {"Anonymous", kWorkingText, "0 Sec."}},
      {Proxy(Anonymity::Transparent), {"Transparent", kWorkingText, "0 Sec."}},
      {Proxy(Anonymity::Elite, Fault::Delay, 900), {"Elite", kWorkingText, "1 Sec."}},
      {Proxy(Anonymity::Elite, Fault::Refuse), notWorking},
      {Proxy(Anonymity::Elite, Fault::Garbage), notWorking},
      {Proxy(Anonymity::Elite, Fault::Close), notWorking},
      {Proxy(Anonymity::Elite, Fault::WrongDigit, 3), notWorking},
      // A body far beyond a digit is no judge speaking, and is not waited for.
      {Proxy(Anonymity::Elite, Fault::Huge, 64 << 20), notWorking},
      // Answers the judge, but carries no HTTPS.
      {Proxy(Anonymity::Elite, Fault::NoConnect), {"Elite", kHttpOnlyText, "0 Sec."}},
      {Proxy(Anonymity::Anonymous, Fault::ConnectDrop), {"Anonymous", kHttpOnlyText, "0 Sec."}},
      {"127.0.0.99:1", notWorking},  // nothing listens there
      // Rows no proxy can be made of end without a connection: the elite
      // proxy above must see its own probe only.
      {unusable + ":" + port + ".5", notWorking},
      {unusable + ":" + port + "e0", notWorking},
      {unusable + ":0", notWorking},
      {unusable + ":65536", notWorking},
      {unusable, notWorking},
      {"", notWorking},
      {"no_such host:" + port, notWorking},
  };
  std::vector<std::string> values;
  for (const auto& c : cases) values.push_back(c.proxy);
  CustomProxyList list;
  LoadValues(list, values);
  ASSERT_TRUE(list.ResetForCheck());
  EXPECT_TRUE(RunListCheck(list, urls, 6));

  EXPECT_FALSE(list.CheckPending());
  const std::vector<ProxyRow> rows = list.Rows();
  ASSERT_EQ(rows.size(), std::size(cases));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].proxy, cases[i].proxy);
    const Shown shown{CellText(rows[i], kTypeColumn), CellText(rows[i], kStatusColumn),
                      CellText(rows[i], kPingColumn)};
    EXPECT_EQ(shown, cases[i].row) << cases[i].proxy;
  }
  EXPECT_EQ(proxies[0]->Requests(), 2u) << "the judge and the tunnel, nothing more";
}

TEST_F(ListCheckTest, AnswerTimeRunsFromBeforeTheClaimToTheEndOfTheReply) {
  CustomProxyList list;
  list.AddPastedLines(Proxy(Anonymity::Elite));
  int reads = 0;
  // The first reading is taken before the claim; every later one is 2.5 s on.
  RunListCheck(list, urls, 6, {}, [&] { return reads++ == 0 ? 1000 : 3500; });
  EXPECT_EQ(list.Cell(0, kPingColumn), "2 Sec.");
}

TEST_F(ListCheckTest, AStopEndsTheRunWithinATenthOfASecondAndPutsBackWhatWasInFlight) {
  CustomProxyList list;
  list.AddPastedLines(Proxy(Anonymity::Elite));
  for (int i = 0; i < 3; ++i) list.AddPastedLines(Proxy(Anonymity::Elite, Fault::Silent));
  std::atomic<bool> stop{false};
  std::atomic<bool> complete{true};
  std::thread check([&] { complete = RunListCheck(list, urls, 6, [&] { return stop.load(); }); });
  ASSERT_TRUE(WaitFor([&] { return CountState(list, RowState::Working) == 1; }));
  const auto stopped = std::chrono::steady_clock::now();
  stop = true;
  check.join();
  EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::milliseconds(500));
  EXPECT_FALSE(complete);
  EXPECT_EQ(CountState(list, RowState::Waiting), 3u) << "the silent ones, to be claimed again";
  EXPECT_EQ(CountState(list, RowState::Checking), 0u);
}

TEST_F(ListCheckTest, AMostlyDeadPublicListTakesAboutOneTimeOutPerRoundOfProbesInFlight) {
  // 300 entries: 30 working, 120 refused, 150 silent. The 150 silent ones
  // fit in one round of the program's probes in flight.
  const testproxy::PublicListWorld world = testproxy::BuildPublicListWorld(300, 40);
  std::string pasted;
  for (const std::string& proxy : world.list) pasted += proxy + "\n";
  CustomProxyList list;
  ASSERT_EQ(list.AddPastedLines(pasted).added, 300u);
  ASSERT_TRUE(list.ResetForCheck());

  const auto started = std::chrono::steady_clock::now();
  RunFigures figures;
  const std::size_t inFlight = kDefaultParallelChecks;
  ASSERT_TRUE(RunListCheck(list, urls, inFlight, {}, {}, &figures));
  const auto took = std::chrono::steady_clock::now() - started;
  const auto bound = std::chrono::milliseconds(world.BoundMs(inFlight, kProbeReadTimeoutMs));
  EXPECT_LT(took, 2 * bound);
  EXPECT_LE(figures.peakConnections, inFlight);
  EXPECT_GT(figures.peakConnections, 150u) << "every silent entry was in flight at once";

  // Each row is what its proxy is: the working ones Elite with their own
  // answer time (the judge and the tunnel each wait out the delay), the
  // rest not working.
  for (const ProxyRow& row : list.Rows()) {
    const auto working = world.delayOf.find(row.proxy);
    if (working == world.delayOf.end()) {
      EXPECT_EQ(row, (ProxyRow{row.proxy, std::nullopt, RowState::NotWorking, std::nullopt}));
      continue;
    }
    EXPECT_EQ(row.level, AnonymityLevel::Elite) << row.proxy;
    EXPECT_EQ(row.state, RowState::Working) << row.proxy;
    // At least the proxy's own delay; the rest is the loopback world's, which
    // under a sanitizer and a parallel test run adds a fair part of a second.
    ASSERT_TRUE(row.answerMs) << row.proxy;
    EXPECT_GE(*row.answerMs, working->second) << row.proxy;
    EXPECT_LE(*row.answerMs, working->second + 1500) << row.proxy;
  }
}

TEST_F(ListCheckTest, ResultsStayOnTheirEntriesWhileRowsAreDeletedAddedSortedAndCleared) {
  // Each entry's level tells which proxy answered, so a result written on
  // the wrong entry shows.
  std::map<std::string, AnonymityLevel> levelOf;
  std::vector<std::string> first, later;
  const Anonymity kinds[] = {Anonymity::Transparent, Anonymity::Anonymous, Anonymity::Elite};
  const AnonymityLevel levels[] = {AnonymityLevel::Transparent, AnonymityLevel::Anonymous,
                                   AnonymityLevel::Elite};
  for (int i = 0; i < 9; ++i) {
    const std::string proxy = Proxy(kinds[i % 3], Fault::Delay, 500);
    levelOf[proxy] = levels[i % 3];
    (i < 6 ? first : later).push_back(proxy);
  }
  const auto paste = [](CustomProxyList& list, const std::vector<std::string>& proxies) {
    std::string text;
    for (const auto& proxy : proxies) text += proxy + "\n";
    list.AddPastedLines(text);
  };

  CustomProxyList list;
  paste(list, first);
  std::thread check = StartCheck(list);
  ASSERT_TRUE(WaitFor([&] { return CountState(list, RowState::Checking) == 6; }));
  const std::string deleted = list.EntryAt(0)->proxy;
  list.DeleteRow(0);  // its probe is under way
  paste(list, later);
  list.SwapRows(list.Version(), 0, list.RowCount() - 1);
  check.join();

  std::set<std::string> checked;
  for (const ProxyRow& row : list.Rows()) {
    EXPECT_EQ(row.state, RowState::Working) << row.proxy;
    EXPECT_EQ(row.level, levelOf[row.proxy]) << row.proxy;
    checked.insert(row.proxy);
  }
  EXPECT_EQ(checked.size(), 8u);
  EXPECT_FALSE(checked.count(deleted));

  // Cleared in the middle of a check: the blank row gets no result.
  ASSERT_TRUE(list.ResetForCheck());
  check = StartCheck(list);
  ASSERT_TRUE(WaitFor([&] { return CountState(list, RowState::Checking) == 6; }));
  list.Clear();
  check.join();
  EXPECT_EQ(list.Rows(), std::vector<ProxyRow>{ProxyRow{}});
  EXPECT_TRUE(list.IsEmpty());
}

}  // namespace
}  // namespace cloakwise::checker
