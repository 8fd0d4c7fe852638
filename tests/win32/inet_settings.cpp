// Prints the current user's LAN proxy settings as WinInet hands them to
// every program that asks, one line, for the end-to-end tests to compare
// before and after the program's proxy was in use.
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <string>

namespace {

std::string Text(const wchar_t* text) {
  if (!text) return "-";
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size - 1 : 0, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  return "\"" + out + "\"";
}

}  // namespace

int main() {
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
    std::printf("unreadable %lu\n", GetLastError());
    return 1;
  }
  std::printf("flags=%lu server=%s bypass=%s script=%s\n", options[0].Value.dwValue,
              Text(options[1].Value.pszValue).c_str(), Text(options[2].Value.pszValue).c_str(),
              Text(options[3].Value.pszValue).c_str());
  for (int i = 1; i < 4; ++i) {
    if (options[i].Value.pszValue) GlobalFree(options[i].Value.pszValue);
  }
  return 0;
}
