// The history clean-up on a profile that real Firefox ESR made by visiting
// pages of a loopback server, with Debian's SQLite: afterwards no visit and
// no page that is not bookmarked is left, every bookmark is, and Firefox
// opens the profile again without complaint. A Firefox that runs on the
// profile keeps its history untouched.
#include "cleanup/firefox_history.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "http/test_server.h"
#include "platform/posix/files_posix.h"
#include "platform/posix/sqlite_posix.h"

namespace cloakwise::cleanup {
namespace {

namespace fs = std::filesystem;

// The first value a query of a database answers, read by SQLite itself.
std::string Answer(const fs::path& database, const std::string& query) {
  sqlite3* db = nullptr;
  std::string value = "(no answer)";
  if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_exec(
        db, query.c_str(),
        [](void* out, int, char** values, char**) {
          *static_cast<std::string*>(out) = values[0] ? values[0] : "NULL";
          return 1;
        },
        &value, nullptr);
  }
  sqlite3_close(db);
  return value;
}

long long Count(const fs::path& database, const std::string& query) {
  return std::atoll(Answer(database, query).c_str());
}

class RealFirefoxProfile : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ =
        new fs::path(fs::temp_directory_path() / ("cloakwise-firefox-" + std::to_string(getpid())));
    fs::create_directories(*folder_ / "profile");
    fs::create_directories(*folder_ / "home");
    std::ofstream(*folder_ / "profile" / "prefs.js") << QuietPrefs();
    server_ = new http::testing::TestServer([](http::testing::ServerConnection& c) {
      if (c.ReadRequest().empty()) return;
      const std::string page =
          "<html><head><title>visited</title></head><body>a page</body></html>";
      c.Send("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
             std::to_string(page.size()) + "\r\nConnection: close\r\n\r\n" + page);
    });
    for (const char* page : {"/one", "/two", "/three"}) Visit(server_->Url(page));
  }
  static void TearDownTestSuite() {
    delete server_;
    fs::remove_all(*folder_);
    delete folder_;
  }

  static std::string QuietPrefs() {
    std::ifstream in(CLOAKWISE_QUIET_FIREFOX_PREFS);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // One headless run of Firefox on the profile, which ends once the page is
  // pictured; its exit status.
  static int Visit(const std::string& url) {
    const std::string command = "HOME='" + (*folder_ / "home").string() +
                                "' MOZ_REMOTE_SETTINGS_DEVTOOLS=1 timeout 90 firefox-esr "
                                "--headless --no-remote --profile '" +
                                Profile().string() + "' --screenshot '" +
                                (*folder_ / "shot.png").string() + "' '" + url +
                                "' >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  static fs::path Profile() { return *folder_ / "profile"; }
  static fs::path Places() { return Profile() / "places.sqlite"; }

  platform::PosixSqlite sqlite;
  platform::PosixFileSystem files;
  static fs::path* folder_;
  static http::testing::TestServer* server_;
};

fs::path* RealFirefoxProfile::folder_ = nullptr;
http::testing::TestServer* RealFirefoxProfile::server_ = nullptr;

TEST_F(RealFirefoxProfile, HistoryGoesEveryBookmarkStaysAndFirefoxOpensItAgain) {
  const std::string bookmarks = "SELECT count(*) FROM moz_bookmarks WHERE type = 1";
  const std::string visited = "SELECT count(*) FROM moz_places WHERE url LIKE 'http://127.0.0.1:%'";
  ASSERT_GE(Count(Places(), "SELECT count(*) FROM moz_historyvisits"), 3)
      << "Firefox made no history";
  ASSERT_EQ(Count(Places(), visited), 3);
  const long long bookmarked = Count(Places(), bookmarks);
  ASSERT_GT(bookmarked, 0) << "a new profile has Firefox's own bookmarks";

  EXPECT_EQ(ClearFirefoxHistory(sqlite, files, Profile().string() + "/"), HistoryOutcome::Cleared);
  EXPECT_EQ(Count(Places(), "SELECT count(*) FROM moz_historyvisits"), 0);
  EXPECT_EQ(Count(Places(), "SELECT count(*) FROM moz_inputhistory"), 0);
  EXPECT_EQ(Count(Places(), visited), 0);
  EXPECT_EQ(Count(Places(), "SELECT count(*) FROM moz_places WHERE foreign_count = 0"), 0)
      << "no page that is neither bookmarked nor tagged";
  EXPECT_EQ(Count(Places(), bookmarks), bookmarked);
  EXPECT_EQ(Count(Places(), "SELECT count(*) FROM moz_places WHERE visit_count > 0"), 0);
  EXPECT_EQ(
      Count(Profile() / "favicons.sqlite",
            "SELECT count(*) FROM moz_pages_w_icons WHERE page_url LIKE 'http://127.0.0.1:%'"),
      0);

  // Firefox opens it, keeps it, and finds every bookmark.
  EXPECT_EQ(Visit("about:blank"), 0);
  EXPECT_FALSE(fs::exists(Profile() / "places.sqlite.corrupt"));
  EXPECT_EQ(Count(Places(), bookmarks), bookmarked);
  EXPECT_EQ(Answer(Places(), "PRAGMA integrity_check"), "ok");
  EXPECT_EQ(Count(Places(), visited), 0);
}

TEST_F(RealFirefoxProfile, AFirefoxThatRunsOnTheProfileKeepsItsHistory) {
  Visit(server_->Url("/again"));
  const long long visits = Count(Places(), "SELECT count(*) FROM moz_historyvisits");
  ASSERT_GT(visits, 0);
  const pid_t firefox = fork();
  if (firefox == 0) {
    setenv("HOME", (*folder_ / "home").c_str(), 1);
    execlp("timeout", "timeout", "60", "firefox-esr", "--headless", "--no-remote", "--profile",
           Profile().c_str(), "about:blank", nullptr);
    _exit(127);
  }
  // Running once it holds the profile's lock.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!files.HeldByAnotherProgram((Profile() / ".parentlock").string()) &&
         std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  const HistoryOutcome outcome = ClearFirefoxHistory(sqlite, files, Profile().string() + "/");
  kill(firefox, SIGTERM);
  waitpid(firefox, nullptr, 0);
  EXPECT_EQ(outcome, HistoryOutcome::InUse);
  EXPECT_EQ(Count(Places(), "SELECT count(*) FROM moz_historyvisits"), visits);
}

TEST(SqliteOfTheSystem, WhatIsNoDatabaseIsNeitherOpenedNorMade) {
  platform::PosixSqlite sqlite;
  platform::PosixFileSystem files;
  const fs::path folder =
      fs::temp_directory_path() / ("cloakwise-nodb-" + std::to_string(getpid()));
  fs::create_directories(folder);
  EXPECT_EQ(ClearFirefoxHistory(sqlite, files, folder.string() + "/"), HistoryOutcome::Cleared)
      << "a profile without places.sqlite has no history to clear";
  EXPECT_FALSE(fs::exists(folder / "places.sqlite"));
  std::ofstream(folder / "places.sqlite") << "not a database at all";
  EXPECT_EQ(ClearFirefoxHistory(sqlite, files, folder.string() + "/"), HistoryOutcome::Failed);
  std::ifstream in(folder / "places.sqlite");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "not a database at all");
  fs::remove_all(folder);
}

}  // namespace
}  // namespace cloakwise::cleanup
