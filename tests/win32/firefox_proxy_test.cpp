// Firefox preferences in the prefix's real application-data folder, and the
// restart notice in the real message box.
#include "browserproxy/firefox_proxy.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "activeproxy/active_proxy.h"
#include "browsers/firefox_profiles.h"
#include "platform/win32/desktop_win32.h"
#include "platform/win32/shell_win32.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"
#include "ui/win32/dialogs.h"
#include "win32/screenshot.h"

namespace cloakwise {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void Spit(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Counts the boxes the real host shows.
class CountingHost : public ui::ModalHost {
 public:
  explicit CountingHost(HINSTANCE instance) : real_(instance, platform::OwnerWindow::None()) {}
  void RunModal(ui::MessageBoxForm& form) override {
    ++shown;
    real_.RunModal(form);
  }
  int shown = 0;

 private:
  ui::win32::MessageBoxHost real_;
};

class Win32FirefoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    profiles = fs::path(browsers::FirefoxProfilesFolder(desktop));
    RemoveProfiles();
    fs::create_directories(profiles / "one.default");
    fs::create_directories(profiles / "two.work");
    fs::create_directories(profiles / "hidden.profile");
    SetFileAttributesA((profiles / "hidden.profile").string().c_str(), FILE_ATTRIBUTE_HIDDEN);
    Spit(profiles / "one.default" / "user.js",
         "user_pref(\"browser.startup.homepage\", \"about:blank\");\n"
         "user_pref(\"network.proxy.type\", 0);\n");
    Spit(profiles / "hidden.profile" / "user.js", "untouched\n");
    // Windows drops blanks only at the end of a path's last name: the
    // separator after it keeps the blank in this folder's name.
    ASSERT_TRUE(CreateDirectoryA(oddFolder().c_str(), nullptr));
    Spit(oddFolder() + "user.js", "mine();\n");
    // A profile named in scripts no 8-bit code page holds together.
    ASSERT_TRUE(CreateDirectoryW(platform::Widen(unicodeFolder()).c_str(), nullptr));
  }
  void TearDown() override { RemoveProfiles(); }
  // The odd folder's own name cannot be walked by std::filesystem, which
  // stats it without its blank: it goes by hand first.
  void RemoveProfiles() {
    for (const char* file : {"user.js", "prefs.js"}) DeleteFileA((oddFolder() + file).c_str());
    RemoveDirectoryA(("\\\\?\\" + oddFolder().substr(0, oddFolder().size() - 1)).c_str());
    fs::remove_all(profiles.parent_path().parent_path().parent_path());
  }
  std::string oddFolder() const { return profiles.string() + "odd \\"; }
  std::string unicodeFolder() const {
    return profiles.string() +
           "\xD0\xBB\xD0\xB8\xD1\x81\xE7\x8B\x90\xF0\x9F\xA6\x8A.default\\";  // лис狐🦊
  }

  platform::Win32FileSystem files;
  platform::Win32Desktop desktop;
  platform::Win32UiThread ui;
  CountingHost host{GetModuleHandleA(nullptr)};
  ui::MessageBoxForm box{host};
  FirefoxProxy firefox{files, desktop};
  fs::path profiles;
};

TEST_F(Win32FirefoxTest, EveryVisibleProfileGetsTheProxyAndComesBackByteForByte) {
  ASSERT_NE(profiles.string().find("Mozilla\\Firefox\\Profiles"), std::string::npos);
  const std::string one = Slurp(profiles / "one.default" / "user.js");
  EXPECT_EQ(firefox.Install({"1.2.3.4", 8080}), 4);
  for (const fs::path& file :
       {profiles / "one.default" / "user.js", profiles / "two.work" / "user.js",
        fs::path(oddFolder() + "user.js")}) {
    const std::string text = Slurp(file);
    EXPECT_NE(text.find("user_pref(\"network.proxy.ssl\", \"1.2.3.4\");"), std::string::npos)
        << file;
  }
  EXPECT_EQ(Slurp(profiles / "one.default" / "user.js").substr(0, one.size()), one);
  EXPECT_TRUE(firefox.Restore());
  // Firefox ran on each profile since, and saved the profile's own values.
  Sleep(20);
  for (const std::string& folder :
       {(profiles / "one.default").string() + "\\", (profiles / "two.work").string() + "\\",
        oddFolder(), unicodeFolder()}) {
    ASSERT_TRUE(files.WriteFileAtomic(folder + "prefs.js", "user_pref(\"x\", 1);\n"));
  }
  EXPECT_FALSE(firefox.Restore());
  EXPECT_EQ(Slurp(profiles / "one.default" / "user.js"), one);
  EXPECT_FALSE(fs::exists(profiles / "two.work" / "user.js")) << "the program made it";
  EXPECT_FALSE(files.FileExists(unicodeFolder() + "user.js"));
  EXPECT_EQ(Slurp(oddFolder() + "user.js"), "mine();\n");
  EXPECT_EQ(Slurp(profiles / "hidden.profile" / "user.js"), "untouched\n");
  EXPECT_EQ(host.shown, 0);
  // Nothing but the profile's own files is left: no temporary files.
  int entries = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(profiles / "one.default")) ++entries;
  EXPECT_EQ(entries, 2);
}

// The notice comes once both browsers go through the proxy: while it waits
// for OK, nothing still goes direct. A Chrome that is open is named in the
// same box, which grows to show every line.
TEST_F(Win32FirefoxTest, TheRestartNoticeComesOnceAfterBothInstalls) {
  platform::Win32Shell shell;
  const auto local = shell.FolderPath(platform::ShellFolder::LocalAppData);
  ASSERT_TRUE(local);
  const fs::path userData = fs::path(*local) / "Google" / "Chrome" / "User Data";
  fs::remove_all(userData.parent_path().parent_path());
  fs::create_directories(userData / "Default");
  Spit(userData / "Default" / "Preferences", "{}");
  // Chrome holds this file, unshared, while it runs.
  HANDLE chromeLock = CreateFileW((userData / "lockfile").wstring().c_str(), GENERIC_WRITE, 0,
                                  nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_NE(chromeLock, INVALID_HANDLE_VALUE);
  static int boxHeight = 0;
  boxHeight = 0;
  // While the box is up, a timer on this thread pictures the screen and
  // presses Enter, as the user would.
  static std::string shot;
  static int checksWhileShown = 0;
  if (const char* dir = std::getenv("CLOAKWISE_SCREENSHOTS"))
    shot = std::string(dir) + "\\firefox-notice.bmp";
  static fs::path profilesSeen;
  profilesSeen = profiles;
  checksWhileShown = 0;
  const UINT_PTR timer = SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR, DWORD) {
    HWND box = FindWindowA(ui::win32::kMessageBoxClass, "Proxy changed");
    if (!box || !IsWindowVisible(box)) return;
    char server[64] = {};
    DWORD size = sizeof server;
    RegGetValueA(HKEY_CURRENT_USER, kInternetSettingsKey, "ProxyServer", RRF_RT_REG_SZ, nullptr,
                 server, &size);
    if (Slurp(profilesSeen / "two.work" / "user.js").find("1.2.3.4") != std::string::npos &&
        std::string(server) == "1.2.3.4:8080")
      ++checksWhileShown;
    RECT client{};
    GetClientRect(box, &client);
    boxHeight = client.bottom;
    if (!shot.empty()) test_support::SaveScreen(shot);
    PostMessageA(GetFocus() ? GetFocus() : box, WM_KEYDOWN, VK_RETURN, 0);
  });
  platform::Win32Registry registry;
  platform::Win32InternetOptions options;
  SystemProxy system(registry, options);
  ChromiumWebRtc chromium(files, shell, registry);
  ui::MainForm form(ui);
  ui::StatusPresenter status(form, ui);
  const auto none = [](const std::string&) {};
  ActiveProxy active({status, ui, system, firefox, chromium, [] { return true; },
                      [this](const std::string& title, const std::string& text) {
                        box.ShowMessageBox(title, text);
                      },
                      none, none, {}});
  const auto chosen = ProxyAddress::Parse("1.2.3.4:8080");
  ASSERT_TRUE(chosen);
  active.UseChosen({*chosen, "Custom Proxy", "Elite Proxy", 0, "1.2.3.4"});
  ui.ProcessMessages();  // the notice is posted, and shown from here
  KillTimer(nullptr, timer);
  EXPECT_EQ(host.shown, 1);
  EXPECT_EQ(checksWhileShown, 1);
  EXPECT_FALSE(box.Showing());
  EXPECT_NE(box.text.Caption().find("Chrome is open"), std::string::npos) << box.text.Caption();
  EXPECT_GT(boxHeight, 167) << "the box grew for the second paragraph";
  EXPECT_EQ(Slurp(userData / "Default" / "Preferences"), "{}") << "an open Chrome is left alone";
  active.Stop();
  EXPECT_FALSE(system.Installed());
  CloseHandle(chromeLock);
  fs::remove_all(userData.parent_path().parent_path());
}

}  // namespace
}  // namespace cloakwise
