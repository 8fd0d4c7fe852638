#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "http/url.h"

namespace cloakwise::http {

// The cookies of one client object. A hostile server could try to fill it, so
// cookies are few and small, and none carries a control byte back into a
// request.
class CookieJar {
 public:
  using Clock = std::chrono::system_clock;
  static constexpr std::size_t kMaxCookies = 100;
  static constexpr std::size_t kMaxCookieBytes = 4096;

  // Takes the cookie of one Set-Cookie value received in reply to url.
  void Store(const std::string& setCookie, const Url& url, Clock::time_point now);
  // The Cookie header value for a request to url; empty when none matches.
  std::string HeaderFor(const Url& url, Clock::time_point now) const;
  std::size_t Size() const { return cookies_.size(); }

 private:
  struct Cookie {
    std::string name;
    std::string value;
    std::string domain;
    std::string path;
    bool hostOnly = true;
    bool secure = false;
    std::optional<Clock::time_point> expires;
  };
  std::vector<Cookie> cookies_;  // oldest first
};

// Parses the date of an Expires attribute ("Wed, 09 Jun 2021 10:18:14 GMT" and
// the older forms with dashes or two-digit years).
std::optional<CookieJar::Clock::time_point> ParseCookieDate(const std::string& text);

}  // namespace cloakwise::http
