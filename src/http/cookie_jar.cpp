#include "http/cookie_jar.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "core/text.h"

namespace cloakwise::http {
namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), text::ToLowerAscii);
  return s;
}

std::string Trim(const std::string& s) {
  return std::string(text::TrimBlanks(s));
}

bool HasControlByte(const std::string& s) {
  return std::any_of(s.begin(), s.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; });
}

bool IsDottedAddress(const std::string& host) {
  return !host.empty() && host.find_first_not_of("0123456789.") == std::string::npos;
}

bool DomainMatches(const std::string& host, const std::string& domain) {
  if (host == domain) return true;
  return !IsDottedAddress(host) && host.size() > domain.size() &&
         host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
         host[host.size() - domain.size() - 1] == '.';
}

bool PathMatches(const std::string& requestPath, const std::string& cookiePath) {
  if (requestPath.compare(0, cookiePath.size(), cookiePath) != 0) return false;
  return requestPath.size() == cookiePath.size() || cookiePath.back() == '/' ||
         requestPath[cookiePath.size()] == '/';
}

std::string DefaultPath(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

}  // namespace

std::optional<CookieJar::Clock::time_point> ParseCookieDate(const std::string& text) {
  static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
  int hour = -1, minute = 0, second = 0, day = -1, month = -1, year = -1;
  std::string token;
  auto take = [&](const std::string& t) {
    if (t.empty()) return;
    int h, mi, s;
    char extra;
    if (hour < 0 && std::sscanf(t.c_str(), "%2d:%2d:%2d%c", &h, &mi, &s, &extra) == 3) {
      hour = h, minute = mi, second = s;
    } else if (std::all_of(t.begin(), t.end(), [](unsigned char c) { return std::isdigit(c); })) {
      if (day < 0 && t.size() <= 2) {
        day = std::stoi(t);
      } else if (year < 0 && (t.size() == 2 || t.size() == 4)) {
        year = std::stoi(t);
      }
    } else if (month < 0 && t.size() >= 3) {
      const std::string m = Lower(t.substr(0, 3));
      for (int i = 0; i < 12; ++i) {
        if (m == kMonths[i]) month = i + 1;
      }
    }
  };
  for (const char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c)) || c == ':') {
      token += c;
    } else {
      take(token);
      token.clear();
    }
  }
  take(token);
  if (year >= 0 && year < 70) year += 2000;
  if (year >= 70 && year < 100) year += 1900;
  if (hour < 0 || day < 1 || day > 31 || month < 1 || year < 1601 || hour > 23 || minute > 59 ||
      second > 59) {
    return std::nullopt;
  }
  const long long seconds =
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
      hour * 3600 + minute * 60 + second;
  return CookieJar::Clock::time_point(std::chrono::seconds(seconds));
}

void CookieJar::Store(const std::string& setCookie, const Url& url, Clock::time_point now) {
  if (setCookie.size() > kMaxCookieBytes || HasControlByte(setCookie)) return;
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (;;) {
    const auto semi = setCookie.find(';', from);
    parts.push_back(setCookie.substr(from, semi - from));
    if (semi == std::string::npos) break;
    from = semi + 1;
  }
  const auto eq = parts[0].find('=');
  if (eq == std::string::npos) return;
  Cookie cookie;
  cookie.name = Trim(parts[0].substr(0, eq));
  cookie.value = Trim(parts[0].substr(eq + 1));
  if (cookie.name.empty()) return;
  const std::string host = Lower(url.host);
  cookie.domain = host;
  cookie.path = DefaultPath(url.path);
  std::optional<Clock::time_point> maxAgeExpiry;
  std::optional<Clock::time_point> dateExpiry;
  for (std::size_t i = 1; i < parts.size(); ++i) {
    const auto attrEq = parts[i].find('=');
    const std::string name = Lower(Trim(parts[i].substr(0, attrEq)));
    const std::string value = attrEq == std::string::npos ? "" : Trim(parts[i].substr(attrEq + 1));
    if (name == "domain" && !value.empty()) {
      std::string domain = Lower(value[0] == '.' ? value.substr(1) : value);
      // A server may widen a cookie only to a domain it belongs to.
      if (domain.empty() || !DomainMatches(host, domain)) return;
      cookie.domain = domain;
      cookie.hostOnly = domain == host;
    } else if (name == "path" && !value.empty() && value[0] == '/') {
      cookie.path = value;
    } else if (name == "secure") {
      cookie.secure = true;
    } else if (name == "max-age" && !value.empty()) {
      char* end = nullptr;
      const long long seconds = std::strtoll(value.c_str(), &end, 10);
      if (*end != '\0') continue;
      // Far-future lifetimes are cut to 400 days, which also keeps the sum
      // below from overflowing.
      maxAgeExpiry = now + std::chrono::seconds(std::clamp(seconds, 0LL, 400LL * 86400));
    } else if (name == "expires") {
      if (const auto date = ParseCookieDate(value)) dateExpiry = date;
    }
  }
  // Max-Age wins over Expires wherever they stand.
  cookie.expires = maxAgeExpiry ? maxAgeExpiry : dateExpiry;
  const bool removeNow = cookie.expires && *cookie.expires <= now;
  cookies_.erase(std::remove_if(cookies_.begin(), cookies_.end(),
                                [&](const Cookie& c) {
                                  return c.name == cookie.name && c.domain == cookie.domain &&
                                         c.path == cookie.path;
                                }),
                 cookies_.end());
  if (removeNow) return;
  cookies_.erase(std::remove_if(cookies_.begin(), cookies_.end(),
                                [&](const Cookie& c) { return c.expires && *c.expires <= now; }),
                 cookies_.end());
  if (cookies_.size() >= kMaxCookies) cookies_.erase(cookies_.begin());
  cookies_.push_back(std::move(cookie));
}

std::string CookieJar::HeaderFor(const Url& url, Clock::time_point now) const {
  const std::string host = Lower(url.host);
  std::vector<const Cookie*> matching;
  for (const auto& c : cookies_) {
    if (c.secure || (c.expires && *c.expires <= now)) continue;
    if (c.hostOnly ? host != c.domain : !DomainMatches(host, c.domain)) continue;
    if (!PathMatches(url.path, c.path)) continue;
    matching.push_back(&c);
  }
  // Longer paths first, as browsers send them; ties keep their age order.
  std::stable_sort(matching.begin(), matching.end(), [](const Cookie* a, const Cookie* b) {
    return a->path.size() > b->path.size();
  });
  std::string header;
  for (const Cookie* c : matching) {
    if (!header.empty()) header += "; ";
    header += c->name + "=" + c->value;
  }
  return header;
}

}  // namespace cloakwise::http
