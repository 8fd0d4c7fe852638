// Cookies kept per client: which requests get them back, and what a server
// cannot make the jar keep.
#include "http/cookie_jar.h"

#include <gtest/gtest.h>

namespace cloakwise::http {
namespace {

using Clock = CookieJar::Clock;
const Clock::time_point kNow = Clock::time_point(std::chrono::seconds(1700000000));

Url At(const std::string& text) {
  return ParseUrl(text, 80);
}

TEST(CookieJar, SendsBackByHostAndPath) {
  CookieJar jar;
  jar.Store("sid=1", At("http://svc.example/app/login.php"), kNow);
  jar.Store("all=2; Path=/", At("http://svc.example/app/login.php"), kNow);
  jar.Store("wide=3; Domain=.example", At("http://svc.example/"), kNow);
  EXPECT_EQ(jar.HeaderFor(At("http://svc.example/app/x.php"), kNow), "sid=1; all=2; wide=3");
  EXPECT_EQ(jar.HeaderFor(At("http://svc.example/application"), kNow), "all=2; wide=3");
  EXPECT_EQ(jar.HeaderFor(At("http://other.example/app/x"), kNow), "wide=3");
  EXPECT_EQ(jar.HeaderFor(At("http://example/"), kNow), "wide=3");
  EXPECT_EQ(jar.HeaderFor(At("http://notexample/"), kNow), "");
  EXPECT_EQ(jar.HeaderFor(At("http://svc.example.evil/app/"), kNow), "");
}

TEST(CookieJar, ReplacesAndExpires) {
  CookieJar jar;
  const Url url = At("http://h/");
  jar.Store("a=1", url, kNow);
  jar.Store("a=2", url, kNow);
  EXPECT_EQ(jar.HeaderFor(url, kNow), "a=2");
  jar.Store("b=1; Max-Age=60", url, kNow);
  EXPECT_EQ(jar.HeaderFor(url, kNow + std::chrono::seconds(59)), "a=2; b=1");
  EXPECT_EQ(jar.HeaderFor(url, kNow + std::chrono::seconds(61)), "a=2");
  jar.Store("a=gone; Max-Age=0", url, kNow);
  jar.Store("c=1; Expires=Thu, 01 Jan 1970 00:00:01 GMT", url, kNow);
  EXPECT_EQ(jar.HeaderFor(url, kNow), "b=1");
  // Max-Age wins over Expires, whichever comes first.
  jar.Store("d=1; Expires=Thu, 01 Jan 1970 00:00:01 GMT; Max-Age=100", url, kNow);
  EXPECT_EQ(jar.HeaderFor(url, kNow), "b=1; d=1");
}

TEST(CookieJar, KeepsWhatAServerMustNotPlant) {
  CookieJar jar;
  const Url url = At("http://svc.example/");
  jar.Store("x=1; Domain=other.example", url, kNow);  // a foreign domain
  jar.Store("=nameless", url, kNow);
  jar.Store("novalue", url, kNow);
  jar.Store("s=1; Secure", url, kNow);  // never over plain HTTP
  jar.Store(std::string("n=a\rCookie: evil=1"), url, kNow);
  jar.Store(std::string("z=a") + '\0' + "b", url, kNow);
  jar.Store("big=" + std::string(5000, 'x'), url, kNow);
  EXPECT_EQ(jar.HeaderFor(url, kNow), "");
  EXPECT_LE(jar.Size(), 1u);  // at most the secure one, never sent

  for (int i = 0; i < 500; ++i) jar.Store("c" + std::to_string(i) + "=1", url, kNow);
  EXPECT_EQ(jar.Size(), CookieJar::kMaxCookies);
  EXPECT_NE(jar.HeaderFor(url, kNow).find("c499=1"), std::string::npos);  // newest kept
  EXPECT_EQ(jar.HeaderFor(url, kNow).find("c0=1"), std::string::npos);
}

TEST(CookieDate, ReadsTheCommonForms) {
  const auto expected = Clock::time_point(std::chrono::seconds(1623233894));  // 2021-06-09 10:18:14
  EXPECT_EQ(ParseCookieDate("Wed, 09 Jun 2021 10:18:14 GMT"), expected);
  EXPECT_EQ(ParseCookieDate("Wednesday, 09-Jun-21 10:18:14 GMT"), expected);
  EXPECT_EQ(ParseCookieDate("Wed Jun  9 10:18:14 2021"), expected);
  EXPECT_FALSE(ParseCookieDate("tomorrow"));
  EXPECT_FALSE(ParseCookieDate("Wed, 32 Jun 2021 10:18:14 GMT"));
  EXPECT_FALSE(ParseCookieDate("Wed, 09 Jun 2021 25:18:14 GMT"));
}

}  // namespace
}  // namespace cloakwise::http
