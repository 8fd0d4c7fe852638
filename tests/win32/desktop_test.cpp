// The desktop calls against Wine's own libraries.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

#include "platform/win32/desktop_win32.h"

namespace cloakwise::platform {
namespace {

TEST(Win32Desktop, FindsInetIsOfflineAndTheHostsAddresses) {
  Win32Desktop desktop;
  // Wine ships URL.DLL with InetIsOffline; with no network configured as
  // offline it answers 0.
  const auto offline = desktop.CallInetIsOffline();
  ASSERT_TRUE(offline.has_value());
  EXPECT_EQ(*offline, 0);
  const auto addresses = desktop.OwnHostAddresses();
  ASSERT_TRUE(addresses.has_value());
  ASSERT_FALSE(addresses->empty());
  for (const auto& a : *addresses) {
    EXPECT_EQ(std::count(a.begin(), a.end(), '.'), 3) << a;
  }
}

TEST(Win32Desktop, ExecutablePathIsTheRunningProgram) {
  Win32Desktop desktop;
  const std::string path = desktop.ExecutablePath();
  EXPECT_NE(path.find(":\\"), std::string::npos) << path;
  EXPECT_NE(path.find("win32_platform_tests.exe"), std::string::npos) << path;
}

// Copy to clipboard and the clean-up's clipboard task, on the real clipboard.
TEST(Win32Desktop, PutsTextOnTheClipboardAndEmptiesIt) {
  Win32Desktop desktop;
  const auto clipboardText = []() -> std::optional<std::string> {
    if (!OpenClipboard(nullptr)) return std::nullopt;
    std::optional<std::string> text;
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
      if (const char* chars = static_cast<const char*>(GlobalLock(data))) {
        text = chars;
        GlobalUnlock(data);
      }
    }
    CloseClipboard();
    return text;
  };
  ASSERT_TRUE(desktop.SetClipboardText("10.0.0.1:8080\r\n"));
  EXPECT_EQ(clipboardText(), "10.0.0.1:8080\r\n");
  ASSERT_TRUE(desktop.EmptyClipboard());
  EXPECT_EQ(clipboardText(), std::nullopt);

  // Held by another window, the clipboard is reported so, after a short wait.
  HWND other = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(OpenClipboard(other));
  EXPECT_FALSE(desktop.SetClipboardText("x"));
  EXPECT_FALSE(desktop.EmptyClipboard());
  CloseClipboard();
  DestroyWindow(other);
}

}  // namespace
}  // namespace cloakwise::platform
