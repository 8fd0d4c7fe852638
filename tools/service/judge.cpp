#include "service/judge.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace cloakwise::service {
namespace {

// Headers in which proxies and load balancers pass on who their client was.
constexpr std::array<std::string_view, 22> kClientHeaders = {"x-forwarded-for",
                                                             "x-real-ip",
                                                             "client-ip",
                                                             "x-client-ip",
                                                             "true-client-ip",
                                                             "x-tinyproxy",
                                                             "forwarded-for",
                                                             "x-forwarded",
                                                             "x-originating-ip",
                                                             "x-remote-ip",
                                                             "x-remote-addr",
                                                             "x-cluster-client-ip",
                                                             "x-proxyuser-ip",
                                                             "cf-connecting-ip",
                                                             "fastly-client-ip",
                                                             "x-coming-from",
                                                             "coming-from",
                                                             "x-original-forwarded-for",
                                                             "x-forwarded-for-original",
                                                             "x-host-ip",
                                                             "http-client-ip",
                                                             "x-envoy-external-address"};

// Headers that only a proxy adds. Any client header above also gives a proxy
// away when it holds no address ("unknown", an obfuscated name).
constexpr std::array<std::string_view, 13> kProxyHeaders = {"via",
                                                            "forwarded",
                                                            "proxy-connection",
                                                            "x-proxy-id",
                                                            "x-proxy-connection",
                                                            "proxy-agent",
                                                            "x-bluecoat-via",
                                                            "x-forwarded-host",
                                                            "x-forwarded-server",
                                                            "x-forwarded-proto",
                                                            "surrogate-capability",
                                                            "x-via",
                                                            "proxy-authorization"};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

template <std::size_t N>
bool Listed(const std::array<std::string_view, N>& list, const std::string& name) {
  return std::find(list.begin(), list.end(), name) != list.end();
}

bool IsAddress(std::string item) {
  // "[v6]:port" or "[v6]"
  if (!item.empty() && item.front() == '[') {
    const auto close = item.find(']');
    if (close == std::string::npos) return false;
    item = item.substr(1, close - 1);
  }
  in6_addr v6{};
  if (inet_pton(AF_INET6, item.c_str(), &v6) == 1) return true;
  // "v4:port"
  if (const auto colon = item.find(':'); colon != std::string::npos) item.erase(colon);
  in_addr v4{};
  return inet_pton(AF_INET, item.c_str(), &v4) == 1;
}

// The for= values of a Forwarded header; its by= and host= name the proxy
// and the site, not the client.
std::vector<std::string> ForwardedFor(const std::string& value) {
  std::vector<std::string> found;
  const std::string lower = Lower(value);
  std::size_t at = 0;
  while ((at = lower.find("for=", at)) != std::string::npos) {
    const bool startsPair =
        at == 0 || std::string_view(", ;\t").find(lower[at - 1]) != std::string_view::npos;
    at += 4;
    if (!startsPair) continue;
    const auto end = value.find_first_of(",;", at);
    found.push_back(value.substr(at, end == std::string::npos ? std::string::npos : end - at));
  }
  return found;
}

}  // namespace

bool CarriesIpAddress(const std::string& value) {
  std::string item;
  auto check = [&] {
    const bool address = IsAddress(item);
    item.clear();
    return address;
  };
  for (const char c : value) {
    if (c == ',' || c == ';' || c == ' ' || c == '\t' || c == '"' || c == '=') {
      if (check()) return true;
    } else {
      item += c;
    }
  }
  return check();
}

Verdict JudgeHeaders(const HeaderList& headers) {
  bool proxySeen = false;
  for (const auto& [rawName, value] : headers) {
    const std::string name = Lower(rawName);
    if (name == "forwarded") {
      for (const auto& client : ForwardedFor(value)) {
        if (CarriesIpAddress(client)) return Verdict::Transparent;
      }
      proxySeen = true;
    } else if (Listed(kClientHeaders, name)) {
      if (CarriesIpAddress(value)) return Verdict::Transparent;
      proxySeen = true;
    } else if (Listed(kProxyHeaders, name)) {
      proxySeen = true;
    }
  }
  return proxySeen ? Verdict::Anonymous : Verdict::Elite;
}

}  // namespace cloakwise::service
