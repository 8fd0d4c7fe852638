// GETs of a judge page through a proxy on loopback: this client against
// libcurl in the same run, on a kept connection and with a new connection per
// request (as a probe of a fresh proxy does). Prints the median latency and
// the CPU time of the calling thread per request, and their ratios, for people
// and as BENCH lines for scripts/bench.
#include <curl/curl.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "http/http_client.h"
#include "loopback_proxy.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kJudgeUrl = "http://judge.example/feedback.php";
constexpr int kRounds = 6;  // alternating blocks, so drift hits both alike
constexpr int kRequestsPerBlock = 250;
constexpr auto kTimeLimit = std::chrono::seconds(90);

double ThreadCpuUs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

struct Figures {
  std::vector<double> latencyUs;
  double cpuUs = 0;
  int requests = 0;
  double Median() {
    std::sort(latencyUs.begin(), latencyUs.end());
    return latencyUs.empty() ? 0 : latencyUs[latencyUs.size() / 2];
  }
  double CpuPerRequest() const { return requests ? cpuUs / requests : 0; }
};

// One block of requests; request() must return the body.
void Block(Figures& f, const std::function<std::string()>& request) {
  const double cpuStart = ThreadCpuUs();
  for (int i = 0; i < kRequestsPerBlock; ++i) {
    const auto start = Clock::now();
    const std::string body = request();
    f.latencyUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    if (body != "2") throw std::runtime_error("unexpected body: " + body);
  }
  f.cpuUs += ThreadCpuUs() - cpuStart;
  f.requests += kRequestsPerBlock;
}

std::size_t AppendBody(char* data, std::size_t size, std::size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

void SetUpCurl(CURL* curl, const std::string& proxy, std::string* body) {
  curl_easy_setopt(curl, CURLOPT_URL, kJudgeUrl);
  curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 10000L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, AppendBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, body);
}

std::string CurlGet(CURL* curl, std::string& body) {
  body.clear();
  const CURLcode rc = curl_easy_perform(curl);
  if (rc != CURLE_OK) throw std::runtime_error(curl_easy_strerror(rc));
  return body;
}

// One line of the convention in bench/CMakeLists.txt, for scripts/bench.
void MachineLine(const char* scenario, const char* measure, double ours, double curl) {
  std::printf("BENCH\thttp_client vs libcurl, %s\t%s\t%.1f\t%.1f\tus\n", scenario, measure, ours,
              curl);
}

void Report(const char* scenario, Figures& ours, Figures& curl) {
  // The time limit can cut a scenario short; a figure of nothing is no figure.
  if (ours.requests == 0 || curl.requests == 0)
    throw std::runtime_error(std::string("no time left to measure: ") + scenario);
  const double oursMedian = ours.Median();
  const double curlMedian = curl.Median();
  std::printf("%-26s %-10s median %8.1f us   cpu %7.1f us/request   (%d requests)\n", scenario,
              "cloakwise", oursMedian, ours.CpuPerRequest(), ours.requests);
  std::printf("%-26s %-10s median %8.1f us   cpu %7.1f us/request   (%d requests)\n", scenario,
              "libcurl", curlMedian, curl.CpuPerRequest(), curl.requests);
  std::printf("%-26s cloakwise/libcurl: latency %.2f, cpu %.2f\n", scenario,
              oursMedian / curlMedian, ours.CpuPerRequest() / curl.CpuPerRequest());
  MachineLine(scenario, "median latency", oursMedian, curlMedian);
  MachineLine(scenario, "cpu per request", ours.CpuPerRequest(), curl.CpuPerRequest());
}

}  // namespace

int main() {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  cloakwise::bench::LoopbackService service;
  const std::string proxy = "http://127.0.0.1:" + std::to_string(service.ProxyPort());
  const auto deadline = Clock::now() + kTimeLimit;
  std::printf("GET %s through a loopback proxy, %d x %d requests per client and scenario\n",
              kJudgeUrl, kRounds, kRequestsPerBlock);

  try {
    // A kept connection: one client object, one curl handle.
    Figures oursKept, curlKept;
    cloakwise::http::HttpClient client;
    client.Settings().proxyServer = "127.0.0.1";
    client.Settings().proxyPort = service.ProxyPort();
    client.Settings().readTimeoutMs = 10000;
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(), curl_easy_cleanup);
    std::string curlBody;
    SetUpCurl(handle.get(), proxy, &curlBody);
    client.Get(kJudgeUrl);  // warm up both
    CurlGet(handle.get(), curlBody);
    for (int round = 0; round < kRounds && Clock::now() < deadline; ++round) {
      Block(oursKept, [&] { return client.Get(kJudgeUrl); });
      Block(curlKept, [&] { return CurlGet(handle.get(), curlBody); });
    }

    // A new connection per request: a new client object or curl handle each.
    Figures oursFresh, curlFresh;
    for (int round = 0; round < kRounds && Clock::now() < deadline; ++round) {
      Block(oursFresh, [&] {
        cloakwise::http::HttpClient probe;
        probe.Settings().proxyServer = "127.0.0.1";
        probe.Settings().proxyPort = service.ProxyPort();
        probe.Settings().readTimeoutMs = 10000;
        return probe.Get(kJudgeUrl);
      });
      Block(curlFresh, [&] {
        std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> fresh(curl_easy_init(),
                                                                  curl_easy_cleanup);
        std::string body;
        SetUpCurl(fresh.get(), proxy, &body);
        return CurlGet(fresh.get(), body);
      });
    }
    Report("kept connection", oursKept, curlKept);
    Report("new connection each", oursFresh, curlFresh);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "benchmark failed: %s\n", e.what());
    return 1;
  }
  curl_global_cleanup();
  return 0;
}
