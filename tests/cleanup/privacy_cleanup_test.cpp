// The clean-up run on the program's fakes: what each task asks of the
// platform, in order, with the status line it shows meanwhile.
#include <gtest/gtest.h>

#include "cleanup/cleanup_tasks.h"
#include "core/option_keys.h"
#include "fakes/app_harness.h"

namespace cloakwise {
namespace {

constexpr char kTypedUrls[] = "Software\\Microsoft\\Internet Explorer\\TypedURLs";
constexpr char kProfile[] = "C:\\Users\\u\\AppData\\Roaming\\Mozilla\\Firefox\\Profiles\\abc.default";
constexpr char kFinished[] = "Cleaning finished! Your privacy is protected.";

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
    }
    files.folders["C:\\Users\\u\\History\\"] = {{"index.dat", false}};
    files.folders["C:\\Users\\u\\Cookies\\"] = {{"user@site.txt", false}};
    // A link the file system will not remove: the shell's delete, which
    // would follow it, must not go there.
    files.folders["C:\\Users\\u\\Recent\\"] = {{"doc.lnk", false}, {"linked", true, false, false, true}};
    files.folders["C:\\Users\\u\\Temp\\"] = {{"a.tmp", false}, {"sub", true}, {"link", true, false, false, true}};
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
  EXPECT_EQ(modal.shown, std::vector<std::string>{
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
                             "ShellDelete C:\\Users\\u\\Cookies\\*.txt",
                             "ShellDelete C:\\Users\\u\\Temp\\sub", "EmptyRecycleBin"}));
  EXPECT_NE(std::find(files.deletions.begin(), files.deletions.end(), "C:\\Users\\u\\Recent\\linked"),
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
  EXPECT_EQ(std::count(files.listings.begin(), files.listings.end(), "C:\\Users\\u\\Temp\\link\\"), 0);
  EXPECT_TRUE(desktop.clipboard.empty());
  EXPECT_EQ(modal.shown.size(), 1u) << "a run by the user is confirmed every time";
}

TEST_F(PrivacyCleanupTest, UncheckedTasksAndUnusableFoldersAreSkipped) {
  Start();
  for (const auto& task : cleanup::kCleanupTasks) (app.form.privacy.*task.box).SetChecked(false);
  EXPECT_EQ(app.Settings().ReadString(kOptionsSection, kKeyCleanRecycleBin, ""), "0");
  EXPECT_EQ(Run(), std::vector<std::string>{kFinished});
  EXPECT_TRUE(shell.calls.empty());
  EXPECT_TRUE(urlCache.deleted.empty());

  // Folders the shell cannot name, or that name too much, are left alone.
  app.form.privacy.tempFilesCaption.Click();
  app.form.privacy.recentDocumentsCaption.Click();
  app.form.privacy.ieCookiesCaption.Click();
  app.form.privacy.ieHistoryCaption.Click();
  EXPECT_EQ(app.Settings().ReadString(kOptionsSection, kKeyCleanTempFiles, ""), "1");
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

TEST_F(PrivacyCleanupTest, AHeldClipboardEndsTheUsersRunButNotTheStartupRun) {
  desktop.clipboardHeld = true;
  Ini() = "[Options]\r\nStartUp=0\r\nPC-clean=1\r\n";
  Start();
  // At start-up: no confirmation, no box, and the run goes on to the end.
  EXPECT_TRUE(modal.shown.empty());
  EXPECT_EQ(std::count(desktop.calls.begin(), desktop.calls.end(), "Error Cannot open clipboard"), 0);
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

}  // namespace
}  // namespace cloakwise
