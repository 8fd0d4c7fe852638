// Firefox preferences in the prefix's real application-data folder, with the
// real message box.
#include "browserproxy/firefox_proxy.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/win32/desktop_win32.h"
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
  explicit CountingHost(HINSTANCE instance) : real_(instance) {}
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
    profiles = fs::path(FirefoxProfilesFolder(desktop));
    fs::remove_all(profiles.parent_path().parent_path().parent_path());  // ...\Mozilla
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
  void TearDown() override {
    DeleteFileA((oddFolder() + "user.js").c_str());
    RemoveDirectoryA(("\\\\?\\" + oddFolder().substr(0, oddFolder().size() - 1)).c_str());
    fs::remove_all(profiles.parent_path().parent_path().parent_path());
  }
  std::string oddFolder() const { return profiles.string() + "odd \\"; }
  std::string unicodeFolder() const {
    return profiles.string() + "\xD0\xBB\xD0\xB8\xD1\x81\xE7\x8B\x90\xF0\x9F\xA6\x8A.default\\";  // лис狐🦊
  }

  platform::Win32FileSystem files;
  platform::Win32Desktop desktop;
  platform::Win32UiThread ui;
  CountingHost host{GetModuleHandleA(nullptr)};
  ui::MessageBoxForm box{host};
  FirefoxProxy firefox{files, desktop, ui,
                       [this](const std::string& title, const std::string& text) {
                         box.ShowMessageBox(title, text);
                       }};
  fs::path profiles;
};

TEST_F(Win32FirefoxTest, InstallAndClearEveryVisibleProfileByteForByte) {
  ASSERT_NE(profiles.string().find("Mozilla\\Firefox\\Profiles"), std::string::npos);
  firefox.SetFirefoxProxy("1.2.3.4:8080", true, false);
  EXPECT_EQ(Slurp(profiles / "one.default" / "user.js"),
            "user_pref(\"browser.startup.homepage\", \"about:blank\");\n"
            "user_pref(\"network.proxy.type\", 1);\r\n"
            "user_pref(\"network.proxy.http\", \"1.2.3.4\");\r\n"
            "user_pref(\"network.proxy.http_port\",8080);\r\n"
            "user_pref(\"network.proxy.no_proxies_on\", \"\");\r\n");
  firefox.SetFirefoxProxy("", false, false);
  const std::string cleared =
      "user_pref(\"network.proxy.type\", 0);\r\n"
      "user_pref(\"network.proxy.http\", \"\");\r\n"
      "user_pref(\"network.proxy.http_port\",);\r\n"
      "user_pref(\"network.proxy.no_proxies_on\", \"\");\r\n";
  EXPECT_EQ(Slurp(profiles / "two.work" / "user.js"), cleared);
  EXPECT_EQ(Slurp(profiles / "one.default" / "user.js"),
            "user_pref(\"browser.startup.homepage\", \"about:blank\");\n" + cleared);
  EXPECT_EQ(Slurp(profiles / "hidden.profile" / "user.js"), "untouched\n");
  EXPECT_EQ(Slurp(oddFolder() + "user.js"), "mine();\n" + cleared);
  EXPECT_EQ(files.ReadFile(unicodeFolder() + "user.js"), cleared);
  EXPECT_EQ(host.shown, 0);
  // Nothing but user.js is left in a profile: no temporary files.
  int entries = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(profiles / "one.default")) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST_F(Win32FirefoxTest, TheRestartNoticeIsShownOnceAfterAllProfiles) {
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
    // Both profiles are written before the notice appears.
    if (Slurp(profilesSeen / "two.work" / "user.js").find("1.2.3.4") != std::string::npos)
      ++checksWhileShown;
    if (!shot.empty()) test_support::SaveScreen(shot);
    PostMessageA(GetFocus() ? GetFocus() : box, WM_KEYDOWN, VK_RETURN, 0);
  });
  firefox.SetFirefoxProxy("1.2.3.4:8080", true, true);
  KillTimer(nullptr, timer);
  EXPECT_EQ(host.shown, 1);
  EXPECT_EQ(checksWhileShown, 1);
  EXPECT_FALSE(box.Showing());
}

}  // namespace
}  // namespace cloakwise
