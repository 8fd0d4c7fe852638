// The desktop calls against Wine's own libraries.
#include <gtest/gtest.h>

#include <algorithm>

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

}  // namespace
}  // namespace cloakwise::platform
