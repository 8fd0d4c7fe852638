#pragma once

// The current user's LAN proxy settings as WinInet hands them to every
// program that asks, as one line of text: what the tests compare before and
// after the program's proxy was in use.
#include <windows.h>
#include <wininet.h>

#include <string>

namespace cloakwise::test_support {

inline std::string LanSettings() {
  const auto text = [](const wchar_t* value) {
    if (!value) return std::string("-");
    const int size = WideCharToMultiByte(CP_UTF8, 0, value, -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, value, -1, out.data(), size, nullptr, nullptr);
    return "\"" + out + "\"";
  };
  INTERNET_PER_CONN_OPTIONW options[4] = {};
  options[0].dwOption = INTERNET_PER_CONN_FLAGS;
  options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
  options[2].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
  options[3].dwOption = INTERNET_PER_CONN_AUTOCONFIG_URL;
  INTERNET_PER_CONN_OPTION_LISTW list{};
  list.dwSize = sizeof list;
  list.dwOptionCount = 4;
  list.pOptions = options;
  DWORD size = sizeof list;
  if (!InternetQueryOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size)) {
    return "unreadable " + std::to_string(GetLastError());
  }
  std::string seen = "flags=" + std::to_string(options[0].Value.dwValue) +
                     " server=" + text(options[1].Value.pszValue) +
                     " bypass=" + text(options[2].Value.pszValue) +
                     " script=" + text(options[3].Value.pszValue);
  for (int i = 1; i < 4; ++i) {
    if (options[i].Value.pszValue) GlobalFree(options[i].Value.pszValue);
  }
  return seen;
}

}  // namespace cloakwise::test_support
