// cloakwise-check run as a program against test proxies and the judge that
// this test process serves on loopback.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "service/reference_service.h"
#include "testproxy/test_proxy.h"

namespace cloakwise {
namespace {

namespace fs = std::filesystem;
using testproxy::Anonymity;
using testproxy::Fault;

struct ToolRun {
  int status = -1;
  std::string out, err;
};

class CheckToolTest : public ::testing::Test {
 protected:
  CheckToolTest() {
    folder = fs::temp_directory_path() /
             ("cloakwise-check-test-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(folder);
    service = std::make_unique<service::ReferenceService>(service::ServiceOptions{});
    judgeUrl = service->BaseUrl() + "/feedback.php";
    tunnelUrl = "http://127.0.0.1:" + std::to_string(service->TunnelPort()) + "/tunnel.php";
  }
  ~CheckToolTest() override {
    proxies.clear();
    fs::remove_all(folder);
  }

  std::string Proxy(Anonymity anonymity, Fault fault = Fault::None) {
    testproxy::ProxyOptions options;
    options.bindAddress = "127.0.0." + std::to_string(40 + proxies.size());
    options.ports = {testproxy::PortPlan{0, anonymity, fault, 0}};
    proxies.push_back(std::make_unique<testproxy::TestProxy>(options));
    return options.bindAddress + ":" + std::to_string(proxies.back()->Ports()[0]);
  }

  std::string File(const std::string& name, const std::string& content) {
    const fs::path path = folder / name;
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }

  ToolRun Run(const std::vector<std::string>& args) {
    std::string command = CLOAKWISE_CHECK_TOOL;
    for (const std::string& arg : args) command += " '" + arg + "'";
    const std::string errPath = (folder / "stderr.txt").string();
    command += " 2>'" + errPath + "'";
    ToolRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
      run.out.append(buffer, n);
    }
    const int wait = ::pclose(pipe);
    run.status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
    std::stringstream err;
    err << std::ifstream(errPath).rdbuf();
    run.err = err.str();
    return run;
  }

  fs::path folder;
  std::unique_ptr<service::ReferenceService> service;
  std::string judgeUrl, tunnelUrl;
  std::vector<std::unique_ptr<testproxy::TestProxy>> proxies;
};

TEST_F(CheckToolTest, PrintsTheSortedGridOfAPastedListAsJsonCsvAndTable) {
  const std::string refused = Proxy(Anonymity::Elite, Fault::Refuse);
  const std::string elite = Proxy(Anonymity::Elite);
  const std::string transparent = Proxy(Anonymity::Transparent);
  const std::string httpOnly = Proxy(Anonymity::Elite, Fault::NoConnect);
  const std::string list =
      File("list.txt", refused + "\n" + elite + " Elite, fast\r\n\n" + transparent +
                           "\nnot a proxy\n" + elite + "\n" + httpOnly + "\n");
  const std::vector<std::string> service = {"--judge", judgeUrl, "--tunnel", tunnelUrl};
  const auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), service.begin(), service.end());
    return Run(args);
  };

  const ToolRun json = run({"--format", "json", list});
  EXPECT_EQ(json.status, 0) << json.err;
  const auto row = [](const std::string& proxy, const std::string& type, const std::string& status,
                      const std::string& ping, const std::string& tunnel) {
    return "{\"proxy\":\"" + proxy + "\",\"type\":\"" + type + "\",\"status\":\"" + status +
           "\",\"ping\":\"" + ping + "\",\"tunnel\":" + tunnel + "}";
  };
  EXPECT_EQ(json.out, "[\n  " + row(elite, "Elite", "OK", "0 Sec.", "true") + ",\n  " +
                          row(transparent, "Transparent", "OK", "0 Sec.", "true") + ",\n  " +
                          row(refused, "Unknown", "Not working", "Unknown", "null") + ",\n  " +
                          row(httpOnly, "Elite", "HTTP only", "0 Sec.", "false") + "\n]\n");
  EXPECT_EQ(json.err, "cloakwise-check: 2 of 6 lines skipped (not host:port, or listed twice)\n");

  const ToolRun csv = run({"--workers", "1", "--format", "csv", list});
  EXPECT_EQ(csv.status, 0) << csv.err;
  EXPECT_EQ(csv.out, "proxy,type,status,ping,tunnel\n" + elite + ",Elite,OK,0 Sec.,yes\n" +
                         transparent + ",Transparent,OK,0 Sec.,yes\n" + refused +
                         ",Unknown,Not working,Unknown,-\n" + httpOnly +
                         ",Elite,HTTP only,0 Sec.,no\n");

  const ToolRun table = run({list});
  EXPECT_EQ(table.status, 0) << table.err;
  const auto line = table.out.substr(table.out.find(httpOnly));
  EXPECT_TRUE(line.find("HTTP only") != std::string::npos && line.ends_with("  no\n")) << table.out;
}

TEST_F(CheckToolTest, ChecksTheStoredListOfAnOptionsFileAndEscapesOddTexts) {
  const std::string elite = Proxy(Anonymity::Elite);
  const std::string ini = File("options.ini",
                               "[Options]\r\nTimeout=9\r\n[Proxy list]\r\n1=127.0.0.99:1\r\n"
                               "2=we\"ird\\\x01\xe9\r\n3=" +
                                   elite + "\r\n");
  const ToolRun run = Run({"--judge", judgeUrl, "--tunnel", tunnelUrl, "--format", "json", ini});
  EXPECT_EQ(run.status, 0) << run.err;
  // Keys 50, 50, 0: the fast entry swaps with the first row only.
  EXPECT_EQ(run.out, "[\n  {\"proxy\":\"" + elite +
                         "\",\"type\":\"Elite\",\"status\":\"OK\",\"ping\":\"0 Sec.\","
                         "\"tunnel\":true},\n"
                         "  {\"proxy\":\"we\\\"ird\\\\\\u0001\\u00e9\",\"type\":\"Unknown\","
                         "\"status\":\"Not working\",\"ping\":\"Unknown\",\"tunnel\":null},\n"
                         "  {\"proxy\":\"127.0.0.99:1\",\"type\":\"Unknown\","
                         "\"status\":\"Not working\",\"ping\":\"Unknown\",\"tunnel\":null}\n]\n");

  const ToolRun table = Run({"--judge", judgeUrl, File("empty.ini", "[Proxy list]\r\n1=\r\n")});
  EXPECT_EQ(table.status, 0) << table.err;
  EXPECT_EQ(table.out, "Proxy  Type  Status  Ping  Tunnel\n") << "the empty list has no entries";
}

TEST_F(CheckToolTest, BadOptionsAndUnreadableFilesEndWithStatusTwo) {
  const std::string list = File("list.txt", "127.0.0.99:1\n");
  const std::vector<std::vector<std::string>> cases = {
      {"--judge", judgeUrl, (folder / "missing.txt").string()},
      {"--judge", judgeUrl, folder.string()},
      {"--judge", judgeUrl},
      {"--judge", judgeUrl, list, list},
      {"--judge", "ftp://127.0.0.1/feedback.php", list},
      {"--judge", judgeUrl, "--parallel", "0", list},
      {"--judge", judgeUrl, "--parallel", "513", list},
      {"--judge", judgeUrl, "--workers", "six", list},
      {"--judge", judgeUrl, "--format", "xml", list},
      {"--judge", judgeUrl, "--tunnel", "ftp://127.0.0.1/tunnel.php", list},
      {"--judge", judgeUrl, "--verbose", "1", list},
      {list, "--format"},
  };
  for (const auto& args : cases) {
    const ToolRun run = Run(args);
    EXPECT_EQ(run.status, 2) << ::testing::PrintToString(args);
    EXPECT_EQ(run.out, "") << ::testing::PrintToString(args);
    EXPECT_NE(run.err.find("cloakwise-check: "), std::string::npos) << run.err;
  }
}

}  // namespace
}  // namespace cloakwise
