// Prints the current user's LAN proxy settings as WinInet hands them to
// every program that asks, one line, for the end-to-end runs to compare
// before and after the program's proxy was in use.
#include <cstdio>

#include "win32/lan_settings.h"

int main() {
  const std::string seen = cloakwise::test_support::LanSettings();
  std::printf("%s\n", seen.c_str());
  return seen.rfind("unreadable", 0) == 0 ? 1 : 0;
}
