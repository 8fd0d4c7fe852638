// The pool's sources: what each kind of list yields, what a source that
// fails or answers junk yields, and when each is fetched again.
#include "service/pool_sources.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <fstream>
#include <thread>

#include "unit/temp_folder.h"

namespace cloakwise::service {
namespace {

constexpr std::int64_t kMinute = 60000;

TEST(PoolSources, EachKindOfListYieldsItsProxiesOnceAndCountsWhatNamesNone) {
  using Candidates = std::vector<Candidate>;
  const struct {
    const char* name;
    SourceKind kind;
    std::string text;
    Candidates candidates;
    std::size_t refused;
    std::string problem;
  } cases[] = {
      {"pool file",
       SourceKind::PoolFile,
       "# ours\n127.0.0.1:3128 Squid, loopback\n127.0.0.2:8888\n127.0.0.1:3128 again\n",
       {{"127.0.0.1:3128", "Squid, loopback"}, {"127.0.0.2:8888", ""}},
       0,
       ""},
      {"pool file with a bad line",
       SourceKind::PoolFile,
       "127.0.0.1:3128 a\n127.0.0.1 b\n",
       {},
       0,
       "line 2: expected host:port and a description, without \";\""},
      {"pasted forms",
       SourceKind::ListFile,
       "127.0.0.1:80\r\n127.0.0.2\t8080\tDE\telite\nhttp://127.0.0.3:3128/\n127.0.0.4:81 NL\n"
       "  127.0.0.5:82\nno proxy here\n\n127.0.0.1:80\n",
       {{"127.0.0.1:80", ""}, {"127.0.0.2:8080", ""}, {"127.0.0.3:3128", ""}, {"127.0.0.4:81", ""}},
       2,
       ""},
      {"an error page",
       SourceKind::Url,
       "<html><body>\n<h1>503 Service Unavailable</h1>\n</body></html>\n",
       {},
       3,
       "names no proxy, only 3 lines of something else"},
      {"binary junk",
       SourceKind::ListFile,
       std::string("\x01\xff:\x80\n\0 127.0.0.1:80\n", 13),
       {},
       1,
       "names no proxy, only 1 line of something else"},
      {"nothing", SourceKind::Url, "", {}, 0, "names no proxy"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const SourceRead read = ReadCandidates(c.kind, c.text);
    EXPECT_EQ(read.candidates, c.candidates);
    EXPECT_EQ(read.refused, c.refused);
    EXPECT_EQ(read.problem, c.problem);
  }
}

TEST(PoolSources, AFileOrAListOnLoopbackIsFetchedAndAFailureSaysWhy) {
  testing::TempFolder folder("pool-sources");
  std::ofstream(folder.File("list.txt")) << "127.0.0.1:3128\n127.0.0.2:80\n";
  httplib::Server server;
  server.Get("/list.txt", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("127.0.0.3:8080\n", "text/plain");
  });
  server.Get("/broken", [](const httplib::Request&, httplib::Response& response) {
    response.status = 500;
    response.set_content("oops", "text/plain");
  });
  server.Get("/huge", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(std::string(5000, '1'), "text/plain");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { server.listen_after_bind(); });
  for (int i = 0; i < 5000 && !server.is_running(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const std::string base = "http://127.0.0.1:" + std::to_string(port);

  SourcePolicy policy;
  policy.timeoutMs = 2000;
  policy.maxBytes = 4000;
  const struct {
    std::string source;
    std::size_t candidates;
    std::string problem;  // how it starts
  } cases[] = {
      {folder.File("list.txt"), 2, ""},
      {base + "/list.txt", 1, ""},
      {folder.File("missing.txt"), 0, "cannot read " + folder.File("missing.txt")},
      {base + "/broken", 0, "HTTP/1.1 500"},
      {base + "/huge", 0, ""},  // too long: some problem, whatever the client calls it
      {"http://127.0.0.1:1/list.txt", 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    const SourceRead read = FetchSource(SourceFromArgument(c.source), policy);
    EXPECT_EQ(read.candidates.size(), c.candidates);
    EXPECT_EQ(read.problem.empty(), c.candidates > 0) << read.problem;
    EXPECT_TRUE(read.problem.starts_with(c.problem)) << read.problem;
  }
  EXPECT_THROW(SourceFromArgument("https://127.0.0.1/list.txt"), std::invalid_argument);
  EXPECT_EQ(SourceFromArgument("HTTP://127.0.0.1/x").kind, SourceKind::Url);
  server.stop();
  serving.join();
}

TEST(PoolSources, AGoodSourceIsReadAgainLaterAndAFailingOneSoonerBackingOff) {
  const SourcePolicy policy;  // again after 30 minutes; retried after 1, 2, 4... at most 30
  const SourceRead good{{{"127.0.0.1:80", ""}}, 0, ""}, bad{{}, 0, "refused"};
  const struct {
    const SourceRead* read;
    std::int64_t next;  // minutes after the fetch
    int failures;
  } fetches[] = {{&good, 30, 0}, {&bad, 1, 1},  {&bad, 2, 2},  {&bad, 4, 3},  {&bad, 8, 4},
                 {&bad, 16, 5},  {&bad, 30, 6}, {&bad, 30, 7}, {&good, 30, 0}};
  SourceState state;
  state.name = "list.txt";
  std::int64_t now = 0;
  for (const auto& f : fetches) {
    RecordFetch(state, *f.read, now, policy);
    EXPECT_EQ(state.nextFetchMs - now, f.next * kMinute) << state.failures;
    EXPECT_EQ(state.failures, f.failures);
    EXPECT_EQ(state.lastProblem, f.read->problem);
    now += kMinute;
  }
  EXPECT_EQ(state.lastGoodMs, now - kMinute);
  EXPECT_EQ(state.lastCount, 1u);
}

}  // namespace
}  // namespace cloakwise::service
