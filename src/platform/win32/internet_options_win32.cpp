#include <windows.h>
#include <wininet.h>

#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

namespace cloakwise::platform {

namespace {

// Wine's WinInet (8.0 at least) leaves two fields of its record of the
// process-wide proxy unset, and frees them at the next setting of this
// option: the heap faults whenever that memory last held a small number, as
// it did in a long run of this program. Wine takes a process's proxy from the
// registry values that the same install writes with the per-connection
// option, so under Wine this option is left alone and nothing is lost.
bool UnderWine() {
  static const bool wine = [] {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }();
  return wine;
}

}  // namespace

bool Win32InternetOptions::SetProxy(const ProxyInfo& info) {
  if (UnderWine()) return true;
  // The one 8-bit call left: its texts are an address and the bypass list,
  // plain ASCII.
  INTERNET_PROXY_INFO buffer{};
  buffer.dwAccessType = info.accessType;
  buffer.lpszProxy = info.proxy.c_str();
  buffer.lpszProxyBypass = info.proxyBypass.c_str();
  return InternetSetOptionA(nullptr, INTERNET_OPTION_PROXY, &buffer, sizeof buffer) != FALSE;
}

bool Win32InternetOptions::SetPerConnection(const PerConnectionOptionList& list) {
  // The structures want writable texts; keep copies alive for the call.
  std::wstring connection = Widen(list.connection);
  std::vector<std::wstring> texts;
  texts.reserve(list.options.size());  // no reallocation: the options point into it
  std::vector<INTERNET_PER_CONN_OPTIONW> options(list.options.size());
  for (std::size_t i = 0; i < list.options.size(); ++i) {
    options[i].dwOption = list.options[i].option;
    if (const auto* number = std::get_if<std::uint32_t>(&list.options[i].value)) {
      options[i].Value.dwValue = *number;
    } else {
      texts.push_back(Widen(std::get<std::string>(list.options[i].value)));
      options[i].Value.pszValue = texts.back().data();
    }
  }
  INTERNET_PER_CONN_OPTION_LISTW buffer{};
  buffer.dwSize = sizeof buffer;
  // No name at all is the LAN; an empty name would be a dial-up entry "".
  buffer.pszConnection = list.connection.empty() ? nullptr : connection.data();
  buffer.dwOptionCount = static_cast<DWORD>(options.size());
  buffer.dwOptionError = 0;
  buffer.pOptions = options.data();
  return InternetSetOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &buffer,
                            sizeof buffer) != FALSE;
}

namespace {

std::optional<PerConnectionOptionList> QueryPerConnection(
    const std::string& connection, const std::vector<std::uint32_t>& options) {
  std::wstring name = Widen(connection);
  std::vector<INTERNET_PER_CONN_OPTIONW> asked(options.size());
  for (std::size_t i = 0; i < options.size(); ++i) asked[i].dwOption = options[i];
  INTERNET_PER_CONN_OPTION_LISTW buffer{};
  buffer.dwSize = sizeof buffer;
  buffer.pszConnection = connection.empty() ? nullptr : name.data();
  buffer.dwOptionCount = static_cast<DWORD>(asked.size());
  buffer.pOptions = asked.data();
  DWORD size = sizeof buffer;
  if (!InternetQueryOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &buffer, &size)) {
    return std::nullopt;
  }
  // The texts are WinInet's to allocate and ours to free, each of them,
  // whatever else is read.
  PerConnectionOptionList list{connection, {}};
  for (const INTERNET_PER_CONN_OPTIONW& option : asked) {
    PerConnectionOption& read = list.options.emplace_back();
    read.option = option.dwOption;
    switch (option.dwOption) {
      case INTERNET_PER_CONN_FLAGS:
      case INTERNET_PER_CONN_AUTODISCOVERY_FLAGS:
        read.value = static_cast<std::uint32_t>(option.Value.dwValue);
        break;
      default:
        read.value = option.Value.pszValue ? Narrow(option.Value.pszValue) : std::string();
        if (option.Value.pszValue) GlobalFree(option.Value.pszValue);
        break;
    }
  }
  return list;
}

}  // namespace

std::vector<std::optional<PerConnectionOptionList>> Win32InternetOptions::QueryConnections(
    const std::vector<std::string>& connections, const std::vector<std::uint32_t>& options) {
  std::vector<std::optional<PerConnectionOptionList>> lists;
  lists.reserve(connections.size());
  if (!UnderWine()) {
    for (const std::string& name : connections) lists.push_back(QueryPerConnection(name, options));
    return lists;
  }
  // Wine's WinInet (8.0 at least) keeps one setting for every connection and
  // answers each name with it, rebuilding it from the registry at every
  // query (about 17 ms): asked once per name, a profile with thousands of
  // connection names took minutes to install and to put back. One question
  // gives what each would have answered.
  const auto shared = QueryPerConnection("", options);
  for (const std::string& name : connections) {
    auto& list = lists.emplace_back(shared);
    if (list) list->connection = name;
  }
  return lists;
}

bool Win32InternetOptions::Notify(std::uint32_t option) {
  return InternetSetOptionW(nullptr, option, nullptr, 0) != FALSE;
}

}  // namespace cloakwise::platform
