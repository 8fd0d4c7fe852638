// What the client writes: form encoding, URL parts, and the request head for
// the cases the sockets tests do not reach.
#include "http/request.h"

#include <gtest/gtest.h>

#include "http/errors.h"
#include "http/url.h"

namespace cloakwise::http {
namespace {

TEST(FormEncoding, EncodesValuesByteForByte) {
  const std::pair<std::string, std::string> cases[] = {
      {"a b+c", "a+b%2Bc"},          {"", ""},
      {"AZaz09", "AZaz09"},          {"-_.~*", "%2D%5F%2E%7E%2A"},
      {"\xe9\x01\xff", "%E9%01%FF"}, {"x=y&z", "x%3Dy%26z"},
  };
  for (const auto& [value, encoded] : cases) EXPECT_EQ(EncodeFormValue(value), encoded) << value;
}

TEST(FormEncoding, JoinsFieldsWithATrailingAmpersandAndTrims) {
  EXPECT_EQ(EncodeFormFields({"posttxt=a b+c"}, true), "posttxt=a+b%2Bc");
  EXPECT_EQ(EncodeFormFields({"a=1", "b=x y", "c="}, true), "a=1&b=x+y&c=&");
  // Names are left alone, only values are encoded.
  EXPECT_EQ(EncodeFormFields({"my name=v v"}, true), "my name=v+v");
  EXPECT_EQ(EncodeFormFields({"a=x y"}, false), "a=x y");
  EXPECT_EQ(EncodeFormFields({"  a=1\t"}, false), "a=1");
  EXPECT_EQ(EncodeFormFields({}, true), "");
}

TEST(ParseUrl, SplitsTheParts) {
  struct Case {
    const char* text;
    const char* host;
    int port;
    const char* path;
    const char* query;
  };
  const Case cases[] = {
      {"http://judge.example/feedback.php", "judge.example", 80, "/feedback.php", ""},
      {"judge.example/feedback.php", "judge.example", 80, "/feedback.php", ""},
      {"HTTP://h:8080", "h", 8080, "/", ""},
      {"http://h?x=1", "h", 80, "/", "?x=1"},
      {"http://h/a/b.php?x=1&y=2#frag", "h", 80, "/a/b.php", "?x=1&y=2"},
      {"http://user:pw@h:81/p", "h", 81, "/p", ""},
      {"http://h:/p", "h", 80, "/p", ""},
  };
  for (const auto& c : cases) {
    const Url url = ParseUrl(c.text, 80);
    EXPECT_EQ(url.scheme, "http") << c.text;
    EXPECT_EQ(url.host, c.host) << c.text;
    EXPECT_EQ(url.port, c.port) << c.text;
    EXPECT_EQ(url.path, c.path) << c.text;
    EXPECT_EQ(url.query, c.query) << c.text;
  }
  EXPECT_EQ(ParseUrl("h/p", 8000).port, 8000);  // the instance's default port
}

TEST(ParseUrl, RefusesWhatCannotBeSent) {
  const char* bad[] = {"https://h/",   "ftp://h/",          "http:///p",
                       "http://h:0/",  "http://h:70000/",   "http://h:8x/",
                       "http://h/a b", "http://h/\r\nX: 1", ""};
  for (const char* text : bad) EXPECT_THROW(ParseUrl(text, 80), HttpError) << text;
}

TEST(RequestHead, KeepAliveHeaderFollowsVersionAndRoute) {
  ClientSettings s;
  const Url url = ParseUrl("http://svc.example/proxy.php", 80);
  EXPECT_EQ(WriteRequestHead("GET", url, s, "1.0", -1, ""),
            "GET /proxy.php HTTP/1.0\r\nConnection: keep-alive\r\nContent-Type: text/html\r\n"
            "Host: svc.example\r\nAccept: text/html, */*\r\n"
            "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n\r\n");
  s.proxyServer = "10.0.0.5";
  s.proxyPort = 8080;
  EXPECT_EQ(WriteRequestHead("POST", url, s, "1.0", 3, "k=v"),
            "POST http://svc.example:80/proxy.php HTTP/1.0\r\nContent-Type: text/html\r\n"
            "Content-Length: 3\r\nProxy-Connection: keep-alive\r\nHost: svc.example\r\n"
            "Accept: text/html, */*\r\nUser-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
            "Cookie: k=v\r\n\r\n");
  // A Connection value of the caller's own replaces the keep-alive header.
  s.connection = "close";
  s.contentType.clear();
  s.accept.clear();
  EXPECT_EQ(WriteRequestHead("GET", url, s, "1.0", 0, ""),
            "GET http://svc.example:80/proxy.php HTTP/1.0\r\nConnection: close\r\n"
            "Content-Length: 0\r\nHost: svc.example\r\n"
            "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n\r\n");
}

TEST(RequestLimit, TotalBoundDerivesFromTheReadTimeout) {
  ClientSettings s;
  EXPECT_EQ(EffectiveRequestLimitMs(s), 0);  // no read time-out, no bound
  s.readTimeoutMs = 1000;
  EXPECT_EQ(EffectiveRequestLimitMs(s), 30000);
  s.readTimeoutMs = 10000;
  EXPECT_EQ(EffectiveRequestLimitMs(s), 100000);
  s.readTimeoutMs = 2000000000;
  EXPECT_EQ(EffectiveRequestLimitMs(s), 1 << 30);
  s.maxRequestMs = 1500;
  EXPECT_EQ(EffectiveRequestLimitMs(s), 1500);
}

}  // namespace
}  // namespace cloakwise::http
