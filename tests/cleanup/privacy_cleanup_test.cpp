// The clean-up run on the program's fakes: what each task asks of the
// platform, in order, with the status line it shows meanwhile.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "cleanup/cleanup_tasks.h"
#include "core/option_keys.h"
#include "fakes/app_harness.h"

namespace cloakwise {
namespace {

constexpr char kTypedUrls[] = "Software\\Microsoft\\Internet Explorer\\TypedURLs";
constexpr char kProfile[] =
    "C:\\Users\\u\\AppData\\Roaming\\Mozilla\\Firefox\\Profiles\\abc.default";
constexpr char kFinished[] = "Cleaning finished! Your privacy is protected.";
constexpr char kLocal[] = "C:\\Users\\u\\AppData\\Local\\";

// The status line's texts, in the order the run showed them.
struct StatusLog : ui::ModelObserver {
  explicit StatusLog(ui::Label& label) : label(label) {}
  void ControlChanged(const ui::Control& control) override {
    if (&control == &label) texts.push_back(label.Caption());
  }
  ui::Label& label;
  std::vector<std::string> texts;
};

class PrivacyCleanupTest : public ::testing::Test, public fakes::AppHarness {
 protected:
  void SetUp() override {
    Ini() = "[Options]\r\nStartUp=0\r\n";
    files.folders[kProfiles] = {{"abc.default", true}, {"hidden", true, true}};
    for (const char* name : {"formhistory.dat", "formhistory.sqlite", "formhistory.sqlite-wal",
                             "cookies.txt", "cookies.sqlite", "cookies.sqlite-shm", "history.dat",
                             "places.sqlite", "logins.json", "key4.db"}) {
      files.files[std::string(kProfile) + "\\" + name] = "data";
      files.folders[std::string(kProfile) + "\\"].push_back({name, false});
    }
    files.folders["C:\\Users\\u\\History\\"] = {{"index.dat", false}};
    files.folders["C:\\Users\\u\\Cookies\\"] = {{"user@site.txt", false}};
    // A link the file system will not remove: the shell's delete, which
    // would follow it, must not go there.
    files.folders["C:\\Users\\u\\Recent\\"] = {{"doc.lnk", false},
                                               {"linked", true, false, false, true}};
    files.folders["C:\\Users\\u\\Temp\\"] = {
        {"a.tmp", false}, {"sub", true}, {"link", true, false, false, true}};
    files.folders["C:\\Users\\u\\Temp\\sub\\"] = {{"b.tmp", false}};
    registry.AddValue(platform::RegistryRoot::CurrentUser, kTypedUrls, "url1", std::string("a"));
    registry.AddValue(platform::RegistryRoot::CurrentUser, kTypedUrls, "url2", std::string("b"));
    urlCache.entries = {"http://a.example/", "http://b.example/"};
    desktop.clipboard = "secret";
  }
  std::vector<std::string> Run(bool atStartup = false) {
    StatusLog log(app.form.privacy.cleanupStatusLabel);
    app.form.privacy.SetObserver(&log);
    app.privacyCleanup.Run(atStartup);
    app.form.privacy.SetObserver(nullptr);
    return log.texts;
  }
  std::vector<std::string> AllStatusTexts() {
    std::vector<std::string> texts;
    for (const auto& task : cleanup::kCleanupTasks) texts.push_back(task.statusText);
    texts.push_back(kFinished);
    return texts;
  }
};

TEST_F(PrivacyCleanupTest, ApplyConfirmsThenRunsEveryTaskInOrderKeepingWhatTheUserKeeps) {
  Start();
  app.form.privacy.applyButton.Click();
  EXPECT_EQ(modal.shown,
            std::vector<std::string>{
                "PC Privacy: Before clicking \"OK\" please close all Internet Explorer "
                "and Firefox windows. The program may froze for few seconds while "
                "cleaning."});
  EXPECT_EQ(app.form.privacy.cleanupStatusLabel.Caption(), kFinished);
  modal.shown.clear();

  EXPECT_EQ(Run(), AllStatusTexts());
  EXPECT_EQ(urlCache.deleted, (std::vector<std::string>{"http://a.example/", "http://b.example/"}));
  EXPECT_TRUE(registry.KeyExists(platform::RegistryRoot::CurrentUser, kTypedUrls));
  EXPECT_FALSE(registry.Value(platform::RegistryRoot::CurrentUser, kTypedUrls, "url1"));
  EXPECT_FALSE(registry.Value(platform::RegistryRoot::CurrentUser, kTypedUrls, "url2"));
  EXPECT_EQ(shell.calls, (std::vector<std::string>{
                             "ShellDelete C:\\Users\\u\\Cookies\\*.txt",
                             "ShellDelete C:\\Users\\u\\Temp\\sub", "EmptyRecycleBin",
                             // "sub" went in the first run
                             "ShellDelete C:\\Users\\u\\Cookies\\*.txt", "EmptyRecycleBin"}));
  EXPECT_NE(
      std::find(files.deletions.begin(), files.deletions.end(), "C:\\Users\\u\\Recent\\linked"),
      files.deletions.end());
  for (const char* gone : {"formhistory.dat", "formhistory.sqlite", "formhistory.sqlite-wal",
                           "cookies.txt", "cookies.sqlite", "cookies.sqlite-shm", "history.dat"}) {
    EXPECT_FALSE(files.FileExists(std::string(kProfile) + "\\" + gone)) << gone;
  }
  for (const char* kept : {"places.sqlite", "logins.json", "key4.db"}) {
    EXPECT_TRUE(files.FileExists(std::string(kProfile) + "\\" + kept)) << kept;
  }
  // The walk deletes files and the link itself, never what is behind it.
  for (const char* deleted : {"C:\\Users\\u\\History\\index.dat", "C:\\Users\\u\\Temp\\a.tmp",
                              "C:\\Users\\u\\Temp\\sub\\b.tmp", "C:\\Users\\u\\Temp\\link"}) {
    EXPECT_NE(std::find(files.deletions.begin(), files.deletions.end(), deleted),
              files.deletions.end())
        << deleted;
  }
  EXPECT_EQ(std::count(files.listings.begin(), files.listings.end(), "C:\\Users\\u\\Temp\\link\\"),
            0);
  EXPECT_TRUE(desktop.clipboard.empty());
  EXPECT_EQ(modal.shown.size(), 1u) << "a run by the user is confirmed every time";
}

TEST_F(PrivacyCleanupTest, UncheckedTasksAndUnusableFoldersAreSkipped) {
  Start();
  for (const auto& task : cleanup::kCleanupTasks) (app.form.privacy.*task.box).SetChecked(false);
  EXPECT_EQ(app.TEST_Settings().ReadString(kOptionsSection, kKeyCleanRecycleBin, ""), "0");
  EXPECT_EQ(Run(), std::vector<std::string>{kFinished});
  EXPECT_TRUE(shell.calls.empty());
  EXPECT_TRUE(urlCache.deleted.empty());

  // Folders the shell cannot name, or that name too much, are left alone.
  app.form.privacy.tempFilesCaption.Click();
  app.form.privacy.recentDocumentsCaption.Click();
  app.form.privacy.ieCookiesCaption.Click();
  app.form.privacy.ieHistoryCaption.Click();
  EXPECT_EQ(app.TEST_Settings().ReadString(kOptionsSection, kKeyCleanTempFiles, ""), "1");
  shell.tempFolder = "";
  shell.folders.erase(platform::ShellFolder::Recent);
  shell.folders[platform::ShellFolder::Cookies] = "C:\\";
  shell.folders[platform::ShellFolder::History] = "C:\\Users\\u\\";  // the profile itself
  files.listings.clear();
  Run();
  EXPECT_TRUE(shell.calls.empty());
  EXPECT_TRUE(files.listings.empty());
  EXPECT_TRUE(files.deletions.empty());
}

// However the temporary folder or a browser's folder is spelt or linked,
// the user's own folders and the system's are never emptied, and the last
// line says so.
TEST_F(PrivacyCleanupTest, AFolderThatIsOrHoldsAKnownFolderIsLeftWhole) {
  const struct {
    const char* temp;     // the temporary folder as the system gives it
    const char* linksTo;  // what it leads to, if it is a link
    const char* why;      // what the last line says of it
  } cases[] = {
      {"C:\\Users\\u\\Documents\\", nullptr, "is the user's documents"},
      {"c:\\USERS\\U\\documents", nullptr, "is the user's documents"},
      {"C:\\ProfileLink\\", "C:\\Users\\u\\", "is the user's profile"},
      {"C:\\Users\\", nullptr, "holds the user's profile"},
      {"C:\\Users\\u\\AppData\\", nullptr, "holds the local application data"},
      {"C:\\Apps\\", nullptr, "is this program's folder"},
      {"C:\\Program Files\\", nullptr, "is the program files"},
      {"C:\\Users\\Public\\", nullptr, "is the public folder"},
      {"D:\\Link\\", "C:\\", "is a drive root"},
  };
  Ini() = "[Options]\r\nStartUp=0\r\n";
  Start();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.temp);
    shell.tempFolder = c.temp;
    files.links.clear();
    if (c.linksTo) files.links[std::string(c.temp)] = c.linksTo;
    std::string shown = c.temp;
    if (shown.back() != '\\') shown += '\\';
    const std::string final = c.linksTo ? c.linksTo : shown;
    files.folders[final] = {{"doc.txt", false}, {"Work", true}};
    files.files[final + "doc.txt"] = "the user's";
    files.deletions.clear();
    shell.calls.clear();
    for (const auto& task : cleanup::kCleanupTasks) {
      (app.form.privacy.*task.box).SetChecked(task.id == cleanup::CleanupTaskId::TempFiles);
    }
    Run();
    EXPECT_TRUE(files.deletions.empty());
    EXPECT_TRUE(shell.calls.empty());
    EXPECT_EQ(app.form.privacy.cleanupStatusLabel.Caption(),
              "Cleaning finished, but " + shown + " was left alone: it " + c.why + ".");
  }
  // A browser's cache linked to the documents is kept whole too; the
  // temporary folder, below the local application data, is emptied.
  shell.tempFolder = "C:\\Users\\u\\AppData\\Local\\Temp\\";
  files.folders[*shell.tempFolder] = {{"a.tmp", false}};
  files.files[*shell.tempFolder + "a.tmp"] = "";
  files.links = {{std::string(kLocal) + "Mozilla\\Firefox\\Profiles\\abc.default\\cache2\\",
                  "C:\\Users\\u\\Documents\\"}};
  files.folders[std::string(kLocal) + "Mozilla\\Firefox\\Profiles\\"] = {{"abc.default", true}};
  app.form.privacy.firefoxCacheBox.SetChecked(true);
  Run();
  EXPECT_EQ(files.deletions, std::vector<std::string>{*shell.tempFolder + "a.tmp"});
  EXPECT_EQ(app.form.privacy.cleanupStatusLabel.Caption(),
            "Cleaning finished, but " + std::string(kLocal) +
                "Mozilla\\Firefox\\Profiles\\abc.default\\cache2\\ was left alone: it is the "
                "user's documents.");
}

TEST_F(PrivacyCleanupTest, CloseOrLogOffStopsTheRunAtItsNextYield) {
  Ini() = "[Options]\r\nStartUp=0\r\n";
  Start();
  // A log-off the system then calls off, and a Close.
  for (const bool logOff : {true, false}) {
    SCOPED_TRACE(logOff ? "log-off" : "Close");
    auto& temp = files.folders["C:\\Users\\u\\Temp\\"];
    temp.clear();
    for (int i = 0; i < 100; ++i) {
      temp.push_back({"f" + std::to_string(i) + ".tmp", false});
      files.files["C:\\Users\\u\\Temp\\f" + std::to_string(i) + ".tmp"] = "";
    }
    files.deletions.clear();
    shell.calls.clear();
    // The tenth file deleted: the user closes, from a message the walk lets
    // through.
    files.afterRemove = [&] {
      if (files.deletions.size() != 10) return;
      ui.Post([&] { logOff ? (void)app.PrepareToClose(true) : app.CloseProgram(); });
    };
    app.form.privacy.applyButton.Click();
    files.afterRemove = nullptr;
    EXPECT_EQ(files.deletions.size(), 10u) << "nothing after the yield that saw it";
    EXPECT_EQ(std::count(shell.calls.begin(), shell.calls.end(), "EmptyRecycleBin"), 0)
        << "no later task ran";
    EXPECT_FALSE(desktop.clipboard.empty());
    EXPECT_FALSE(app.privacyCleanup.Running());
    EXPECT_EQ(desktop.quit, !logOff);
    if (logOff) app.SessionEndCancelled();
  }
}

TEST_F(PrivacyCleanupTest, AHeldClipboardEndsTheUsersRunButNotTheStartupRun) {
  desktop.clipboardHeld = true;
  Ini() = "[Options]\r\nStartUp=0\r\nPC-clean=1\r\n";
  Start();
  // At start-up: no confirmation, no box, and the run goes on to the end.
  EXPECT_TRUE(modal.shown.empty());
  EXPECT_EQ(std::count(desktop.calls.begin(), desktop.calls.end(), "Error Cannot open clipboard"),
            0);
  EXPECT_EQ(shell.calls.back(), "EmptyRecycleBin");
  EXPECT_EQ(app.form.privacy.cleanupStatusLabel.Caption(),
            "Cleaning finished, but another program held the clipboard.");

  shell.calls.clear();
  const auto texts = Run();
  EXPECT_EQ(desktop.calls.back(), "Error Cannot open clipboard");
  EXPECT_EQ(texts.back(), "Clearing the clipboard...");
  EXPECT_EQ(std::count(shell.calls.begin(), shell.calls.end(), "EmptyRecycleBin"), 0);
}

TEST_F(PrivacyCleanupTest, ASecondApplyDuringTheRunIsRefused) {
  Start();
  int runs = 0;
  modal.whileShowing = [&] {
    ++runs;
    app.form.privacy.applyButton.Click();  // from the confirmation's own loop
  };
  urlCache.entries = {"http://a.example/"};
  app.form.privacy.applyButton.Click();
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(urlCache.deleted.size(), 1u);
  EXPECT_FALSE(app.privacyCleanup.Running());
  app.form.privacy.applyButton.Click();
  EXPECT_EQ(runs, 2);
}

// Browser profiles as the browsers leave them, under the local
// application-data folder, and what the test makes of them: Put makes a
// file with the folders above it.
struct BrowserCase {
  const char* name;
  void (*arrange)(fakes::AppHarness&);
  const char* lastLine;
  bool historyKept;  // Firefox's, in places.sqlite
};

constexpr char kChrome[] = "C:\\Users\\u\\AppData\\Local\\Google\\Chrome\\User Data\\";
constexpr char kEdge[] = "C:\\Users\\u\\AppData\\Local\\Microsoft\\Edge\\User Data\\";
constexpr char kFirefoxCache[] =
    "C:\\Users\\u\\AppData\\Local\\Mozilla\\Firefox\\Profiles\\abc.default\\cache2\\";
constexpr const char* kChromiumRemoved[] = {"Cache\\Cache_Data\\f_000001",
                                            "Code Cache\\js\\index",
                                            "GPUCache\\data_0",
                                            "Network\\Cookies",
                                            "Network\\Cookies-journal",
                                            "Cookies",
                                            "History",
                                            "History-journal",
                                            "Visited Links",
                                            "Top Sites",
                                            "Shortcuts",
                                            "Favicons",
                                            "Sessions\\Tabs_1"};
constexpr const char* kChromiumKept[] = {"Bookmarks", "Login Data", "Preferences", "Web Data"};

std::string At(const char* folder, const char* path) {
  return std::string(folder) + path;
}

class BrowserCleanupTest : public PrivacyCleanupTest,
                           public ::testing::WithParamInterface<BrowserCase> {
 protected:
  void SetUp() override {
    PrivacyCleanupTest::SetUp();
    for (const std::string& profile : Profiles()) {
      for (const char* file : kChromiumRemoved) Put(profile + file);
      for (const char* file : kChromiumKept) Put(profile + file);
    }
    // The browser's own, not the user's.
    Put(At(kChrome, "System Profile\\History"));
    Put(At(kChrome, "Local State"));
    Put(At(kFirefoxCache, "entries\\0A1B"));
    Put(At(kFirefoxCache, "doomed\\1"));
    Places().tables = {"moz_places", "moz_historyvisits"};
  }
  static std::vector<std::string> Profiles() {
    return {At(kChrome, "Default\\"), At(kChrome, "Profile 1\\"), At(kEdge, "Default\\")};
  }
  fakes::FakeSqlite::Database& Places() {
    return sqlite.databases[std::string(kProfile) + "\\places.sqlite"];
  }
  void Put(const std::string& path) {
    files.files[path] = "data";
    for (std::size_t start = std::strlen(kLocal);;) {
      const std::size_t end = path.find('\\', start);
      auto& entries = files.folders[path.substr(0, start)];
      const std::string name = path.substr(start, end - start);
      if (std::none_of(entries.begin(), entries.end(), [&](auto& e) { return e.name == name; })) {
        entries.push_back({name, end != std::string::npos});
      }
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
};

TEST_P(BrowserCleanupTest, EveryProfileLosesItsTracesAndTheLastLineTellsWhatStayed) {
  Ini() = "[Options]\r\nStartUp=0\r\nPC-clean=1\r\n";  // the run at start-up: no box to answer
  GetParam().arrange(*this);
  Start();
  EXPECT_EQ(app.form.privacy.cleanupStatusLabel.Caption(), GetParam().lastLine);
  for (const std::string& profile : Profiles()) {
    for (const char* file : kChromiumRemoved) {
      EXPECT_EQ(files.FileExists(profile + file), files.undeletable.count(profile + file) > 0)
          << profile << file;
    }
    for (const char* file : kChromiumKept)
      EXPECT_TRUE(files.FileExists(profile + file)) << profile << file;
  }
  EXPECT_TRUE(files.FileExists(At(kChrome, "System Profile\\History")));
  EXPECT_TRUE(files.FileExists(At(kChrome, "Local State")));
  EXPECT_FALSE(files.FileExists(At(kFirefoxCache, "doomed\\1")));
  const auto& executed = Places().executed;
  EXPECT_NE(std::any_of(executed.begin(), executed.end(),
                        [](const std::string& s) {
                          return s.find("DELETE FROM moz_historyvisits") != std::string::npos;
                        }),
            GetParam().historyKept);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, BrowserCleanupTest,
    ::testing::Values(
        BrowserCase{"AllGone", [](fakes::AppHarness&) {}, kFinished, false},
        BrowserCase{"NoSqlite", [](fakes::AppHarness& t) { t.sqlite.available = false; },
                    "Cleaning finished, but Firefox's history stayed: this system has no SQLite.",
                    true},
        BrowserCase{"FirefoxRuns",
                    [](fakes::AppHarness& t) {
                      t.files.held.insert(std::string(kProfile) + "\\parent.lock");
                      t.files.undeletable.insert(std::string(kProfile) + "\\cookies.sqlite");
                      t.files.undeletable.insert(At(kFirefoxCache, "entries\\0A1B"));
                      t.files.files["C:\\Users\\u\\Temp\\a.tmp"] = "in use";
                      t.files.undeletable.insert("C:\\Users\\u\\Temp\\a.tmp");
                    },
                    "Cleaning finished, but Firefox was running: its cookies, history and cache "
                    "stayed; 1 temporary file stayed.",
                    true},
        // The cookies' folder is a link to the user's documents, which hold
        // a file of that name: it stays, and the last line says why.
        BrowserCase{"NetworkLinkedOut",
                    [](fakes::AppHarness& t) {
                      const std::string network = At(kChrome, "Default\\Network\\");
                      const std::string work = "C:\\Users\\u\\Documents\\Work\\";
                      t.files.files.erase(network + "Cookies");
                      t.files.files.erase(network + "Cookies-journal");
                      t.files.links[network] = work;
                      t.files.folders[work] = {{"Cookies", false}};
                      t.files.files[work + "Cookies"] = "the user's";
                      t.files.undeletable.insert(work + "Cookies");  // a delete would be seen
                    },
                    "Cleaning finished, but C:\\Users\\u\\AppData\\Local\\Google\\Chrome\\User "
                    "Data\\Default\\Network\\ was left alone: a link leads it out of the profile.",
                    false},
        BrowserCase{"ChromeRunsClipboardHeld",
                    [](fakes::AppHarness& t) {
                      t.files.undeletable.insert(At(kChrome, "Profile 1\\Network\\Cookies"));
                      t.files.undeletable.insert(At(kChrome, "Default\\History"));
                      t.desktop.clipboardHeld = true;
                    },
                    "Cleaning finished, but Chrome was running: its cookies and history stayed; "
                    "another program held the clipboard.",
                    false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace cloakwise
