// The reference service's side: what it accepts, what it refuses and why,
// the judge's reading of headers, and that no input brings it down.
#include <gtest/gtest.h>
#include <httplib.h>

#include <random>

#include "search/base64.h"
#include "search/digit_codec.h"
#include "search/proxy_list_service.h"
#include "service/judge.h"
#include "service/reference_service.h"
#include "service/service_desk.h"
#include "testproxy/loopback_net.h"

namespace cloakwise::service {
namespace {

using search::DigitDecode;
using search::DigitEncode;

const search::ClientIdentity kClient{"Cloakwise", "1.0", 2024};

std::string Posttxt(const std::string& plain) {
  return DigitEncode(plain);
}

// A filler that counts, so tokens and padding are known to the test.
std::function<std::string(std::size_t)> CountingFiller() {
  auto counter = std::make_shared<int>(0);
  return [counter](std::size_t n) {
    std::string text = std::to_string(++*counter);
    return std::string(n - text.size(), 'F') + text;
  };
}

TEST(ClientNumberDecoding, ReversesTheClientsEncoding) {
  for (const std::uint32_t n : {0u, 1u, 42u, 123456789u, 2147483647u, 4294967295u}) {
    EXPECT_EQ(DecodeClientNumber(search::EncodeClientNumber(n)), n);
  }
  EXPECT_EQ(DecodeClientNumber("fw=="), 1u);
}

TEST(ClientNumberDecoding, RefusesWhatNoClientSends) {
  const std::string leadingZero = search::Base64Encode(search::ShiftWithKey("07"));
  const std::string elevenDigits = search::Base64Encode(search::ShiftWithKey("12345678901"));
  const std::string letters = search::Base64Encode(search::ShiftWithKey("12a"));
  for (const std::string& bad : {std::string(""), std::string("fw="), leadingZero, elevenDigits,
                                 letters, std::string("MTIz") /* unshifted "123" */}) {
    EXPECT_EQ(DecodeClientNumber(bad), std::nullopt) << bad;
  }
}

TEST(RequestParsing, ReadsBothStepsOfTheClient) {
  const auto first = ParseServiceRequest(Posttxt(search::FirstRequestText(kClient)));
  ASSERT_TRUE(std::holds_alternative<ServiceRequest>(first));
  EXPECT_EQ(std::get<ServiceRequest>(first).step, 1);
  EXPECT_EQ(std::get<ServiceRequest>(first).idText1, "Cloakwise");
  EXPECT_EQ(std::get<ServiceRequest>(first).clientNumber, 2024u);

  const auto second =
      ParseServiceRequest(Posttxt(search::SecondRequestText(kClient, "AbCdEfGh12")));
  ASSERT_TRUE(std::holds_alternative<ServiceRequest>(second));
  EXPECT_EQ(std::get<ServiceRequest>(second).step, 2);
  EXPECT_EQ(std::get<ServiceRequest>(second).token, "AbCdEfGh12");
}

TEST(RequestParsing, RefusesMalformedTextsWithAReason) {
  const std::string e = search::EncodeClientNumber(5);
  struct Case {
    std::string posttxt;
    std::string reason;
  };
  for (const auto& c : {
           Case{"", "Malformed request."},
           Case{"99089079", "Malformed request."},  // not whole groups
           Case{"9908907a0", "Malformed request."},
           Case{Posttxt("8;a;b;" + e), "Unsupported client version."},
           Case{Posttxt("7;a;b"), "Malformed request."},
           Case{Posttxt("7;a;b;" + e + ";x"), "Malformed request."},
           Case{Posttxt("7;a;b;MTIz"), "Invalid client number."},
           Case{Posttxt("7;a;b;" + e + ";ABCDEFGHIJ=" + DigitEncode("ABCDEFGHIK") + ";"),
                "Invalid session token."},
           Case{Posttxt("7;a;b;" + e + ";SHORT=" + DigitEncode("SHORT") + ";"),
                "Invalid session token."},
       }) {
    const auto parsed = ParseServiceRequest(c.posttxt);
    ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << c.posttxt;
    EXPECT_EQ(std::get<std::string>(parsed), c.reason) << DigitDecode(c.posttxt.substr(0, 300));
  }
}

TEST(CandidatePool, ReadsLinesAndSkipsCommentsAndBlanks) {
  const auto pool = ParseCandidatePool(
      "# our pool\n127.0.0.1:3128 Squid, loopback\r\n\n  127.0.0.2:8888 Tiny  \n10.0.0.1:80\n");
  EXPECT_EQ(pool, (std::vector<std::string>{"127.0.0.1:3128 Squid, loopback", "127.0.0.2:8888 Tiny",
                                            "10.0.0.1:80"}));
}

TEST(CandidatePool, NamesTheFirstBadLine) {
  for (const char* bad : {"127.0.0.1 no port\n", "127.0.0.1:0 zero\n", "127.0.0.1:70000 big\n",
                          ":80 no host\n", "127.0.0.1:80 semi;colon\n", "a b:80 blank in host\n"}) {
    try {
      ParseCandidatePool(std::string("127.0.0.9:1 fine\n") + bad);
      ADD_FAILURE() << "accepted " << bad;
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "line 2: expected host:port and a description, without \";\"");
    }
  }
}

class Desk : public ::testing::Test {
 protected:
  ServiceDesk desk{{"127.0.0.1:1 one", "127.0.0.1:2 two", "127.0.0.1:3 three"}, CountingFiller()};

  std::string FirstToken(const search::ClientIdentity& client = kClient) {
    const DeskReply reply = desk.Answer(Posttxt(search::FirstRequestText(client)), "127.0.0.9", "");
    return DigitDecode(reply.body).substr(0, ServiceDesk::kTokenLength);
  }
  std::string Second(const std::string& token, const std::string& cookie,
                     const search::ClientIdentity& client = kClient) {
    const DeskReply reply =
        desk.Answer(Posttxt(search::SecondRequestText(client, token)), "127.0.0.9", cookie);
    EXPECT_EQ(reply.step, 2);
    return search::StripServicePadding(DigitDecode(reply.body));
  }
};

TEST_F(Desk, FirstReplyIsTokenThenCallerAndSetsTheSessionCookie) {
  const DeskReply reply = desk.Answer(Posttxt(search::FirstRequestText(kClient)), "127.0.0.9", "");
  EXPECT_EQ(reply.step, 1);
  EXPECT_EQ(DigitDecode(reply.body), "FFFFFFFFF1127.0.0.9");
  EXPECT_EQ(reply.session, "FFFFFFFFF1");
}

TEST_F(Desk, SecondReplyIsThreeCandidatesInsideTheFillers) {
  const std::string token = FirstToken();
  const DeskReply reply =
      desk.Answer(Posttxt(search::SecondRequestText(kClient, token)), "127.0.0.9", token);
  EXPECT_EQ(DigitDecode(reply.body),
            "FFFFFFFFF2127.0.0.1:1 one;127.0.0.1:2 two;127.0.0.1:3 threeFFFFFFF3");
}

TEST_F(Desk, ATokenBuysOneBatchOnly) {
  const std::string token = FirstToken();
  EXPECT_FALSE(Second(token, token).starts_with("STR"));
  EXPECT_EQ(Second(token, token), "STRSession expired, please try again.");
  EXPECT_EQ(desk.OpenSessions(), 0u);
}

TEST_F(Desk, TheSecondStepNeedsTheCookieAndTheSameClient) {
  std::string token = FirstToken();
  EXPECT_EQ(Second(token, ""), "STRSession cookie missing.");
  token = FirstToken();
  EXPECT_EQ(Second(token, token, {"Cloakwise", "1.0", 2025}),
            "STRSession belongs to another client.");
  EXPECT_EQ(Second("NEVERGIVEN", "NEVERGIVEN"), "STRSession expired, please try again.");
}

TEST_F(Desk, RefusesAMalformedSecondStepAtOnce) {
  const std::string text = search::SecondRequestText(kClient, "NEVERGIVEN");
  const DeskReply reply = desk.Answer(Posttxt("9" + text.substr(1)), "127.0.0.9", "");
  EXPECT_EQ(search::StripServicePadding(DigitDecode(reply.body)), "STRUnsupported client version.");
}

TEST_F(Desk, CarriesAFirstStepRefusalToTheSecond) {
  const DeskReply first = desk.Answer(Posttxt("7;old;client"), "127.0.0.9", "");
  EXPECT_EQ(first.step, 1);
  const std::string token = DigitDecode(first.body).substr(0, ServiceDesk::kTokenLength);
  EXPECT_EQ(Second(token, token), "STRMalformed request.");
}

TEST(DeskPool, AnEmptyPoolIsRefusedAtTheSecondStep) {
  ServiceDesk empty({}, CountingFiller());
  const DeskReply first = empty.Answer(Posttxt(search::FirstRequestText(kClient)), "127.0.0.1", "");
  const std::string token = DigitDecode(first.body).substr(0, 10);
  const DeskReply second =
      empty.Answer(Posttxt(search::SecondRequestText(kClient, token)), "127.0.0.1", token);
  EXPECT_EQ(search::StripServicePadding(DigitDecode(second.body)),
            "STRNo proxies available at the moment, please try again later.");
}

// The judge's reading of the headers that reached it.
struct JudgeCase {
  const char* name;
  HeaderList headers;
  Verdict verdict;
};

class JudgeRules : public ::testing::TestWithParam<JudgeCase> {};

TEST_P(JudgeRules, GiveTheExpectedLevel) {
  HeaderList headers = {{"Host", "127.0.0.1:8080"},
                        {"Accept", "text/html, */*"},
                        {"User-Agent", "Mozilla/3.0 (compatible; Indy Library)"}};
  headers.insert(headers.end(), GetParam().headers.begin(), GetParam().headers.end());
  EXPECT_EQ(JudgeHeaders(headers), GetParam().verdict);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, JudgeRules,
    ::testing::Values(
        JudgeCase{"Nothing", {}, Verdict::Elite},
        JudgeCase{"BrowserHeaders",
                  {{"Cache-Control", "no-cache"}, {"Connection", "keep-alive"}},
                  Verdict::Elite},
        JudgeCase{"XForwardedFor", {{"X-Forwarded-For", "127.0.0.1"}}, Verdict::Transparent},
        JudgeCase{"XForwardedForLowerCase",
                  {{"x-forwarded-for", "10.0.0.1, 127.0.0.1"}},
                  Verdict::Transparent},
        JudgeCase{"XForwardedForV6", {{"X-Forwarded-For", "2001:db8::7"}}, Verdict::Transparent},
        JudgeCase{"XForwardedForUnknown", {{"X-Forwarded-For", "unknown"}}, Verdict::Anonymous},
        JudgeCase{"ForwardedFor",
                  {{"Forwarded", "for=192.0.2.60;proto=http;by=203.0.113.43"}},
                  Verdict::Transparent},
        JudgeCase{"ForwardedForQuotedV6",
                  {{"Forwarded", "For=\"[2001:db8:cafe::17]:4711\""}},
                  Verdict::Transparent},
        JudgeCase{
            "ForwardedByOnly", {{"Forwarded", "for=unknown;by=203.0.113.43"}}, Verdict::Anonymous},
        JudgeCase{
            "ForwardedHidden", {{"Forwarded", "for=_hidden, for=_SEVKISEK"}}, Verdict::Anonymous},
        JudgeCase{"XRealIp", {{"X-Real-IP", "127.0.0.1"}}, Verdict::Transparent},
        JudgeCase{"ClientIp", {{"Client-IP", "127.0.0.1"}}, Verdict::Transparent},
        JudgeCase{"XClientIp", {{"X-Client-IP", "127.0.0.1"}}, Verdict::Transparent},
        JudgeCase{"TrueClientIp", {{"True-Client-IP", "127.0.0.1"}}, Verdict::Transparent},
        JudgeCase{"XTinyproxy", {{"X-Tinyproxy", "127.0.0.1"}}, Verdict::Transparent},
        JudgeCase{"XOriginatingIp", {{"X-Originating-IP", "[127.0.0.1]"}}, Verdict::Transparent},
        JudgeCase{"ClientHeaderWithPort", {{"X-Real-IP", "127.0.0.1:51514"}}, Verdict::Transparent},
        JudgeCase{"ClientHeaderWithoutAddress", {{"X-Real-IP", "hidden"}}, Verdict::Anonymous},
        JudgeCase{"Via", {{"Via", "1.1 proxy (squid/5.7)"}}, Verdict::Anonymous},
        JudgeCase{"ViaNamingTheProxyAddress", {{"Via", "1.1 127.0.0.1:3128"}}, Verdict::Anonymous},
        JudgeCase{"ProxyConnection", {{"Proxy-Connection", "keep-alive"}}, Verdict::Anonymous},
        JudgeCase{"XProxyId", {{"X-Proxy-ID", "1234"}}, Verdict::Anonymous},
        JudgeCase{"XBlueCoatVia", {{"X-BlueCoat-Via", "abc"}}, Verdict::Anonymous},
        JudgeCase{"AddressInAnUnrelatedHeader", {{"Referer", "http://127.0.0.1/"}}, Verdict::Elite},
        JudgeCase{"VersionNumberIsNoAddress", {{"X-Forwarded-For", "1.1"}}, Verdict::Anonymous},
        JudgeCase{"TransparentWinsOverVia",
                  {{"Via", "1.1 tinyproxy"}, {"X-Tinyproxy", "127.0.0.1"}},
                  Verdict::Transparent}),
    [](const ::testing::TestParamInfo<JudgeCase>& info) { return std::string(info.param.name); });

// Anything at all on the wire: the service keeps answering.
TEST(ServiceRobustness, SurvivesGarbageAndStillAnswers) {
  ServiceOptions options;
  options.pool = {"127.0.0.1:1 one"};
  ReferenceService service(options);
  const std::uint16_t port = service.Ports()[0];
  std::mt19937 random(20240611);
  const std::atomic<bool> stop{false};
  auto noise = [&](std::size_t n) {
    std::string bytes(n, '\0');
    for (auto& b : bytes) b = static_cast<char>(random() & 0xff);
    return bytes;
  };
  const std::vector<std::string> inputs = {
      noise(1000),
      "GET / HTTP/1.1\r\n\r\n",
      "POST /proxy.php HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n\r\n",
      "POST /proxy.php HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\n"
      "Content-Length: 20\r\n\r\nposttxt=%ff%00%zz&&",
      "POST /proxy.php HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\n"
      "Content-Length: 13\r\n\r\nposttxt=99999",
      "GET /feedback.php HTTP/1.1\r\nX-Forwarded-For: " + noise(300) + "\r\n\r\n",
      "GET /feedback.php HTTP/1.1\r\nForwarded: for=for=for=\r\nVia:\r\n\r\n",
      "GET /feedback.php HTTP/1.1\r\n" + std::string(200000, 'A') + "\r\n\r\n",
      "\r\n\r\n\r\n",
  };
  for (int round = 0; round < 40; ++round) {
    const std::string input = round < static_cast<int>(inputs.size()) ? inputs[round] : noise(4096);
    const int fd = testproxy::ConnectLoopback("127.0.0.1", port);
    ASSERT_GE(fd, 0);
    testproxy::SendAll(fd, input);
    shutdown(fd, SHUT_WR);
    testproxy::MessageReader reader(fd, stop, 3000);
    testproxy::HttpHead head;
    reader.ReadHead(head);  // any answer or none; only survival counts here
    close(fd);
  }
  httplib::Client client("127.0.0.1", port);
  const auto judged = client.Get("/feedback.php");
  ASSERT_TRUE(judged);
  EXPECT_EQ(judged->body, "2");
  const auto refused =
      client.Post("/proxy.php", "posttxt=12a", "application/x-www-form-urlencoded");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 200);
}

TEST(ServiceBinding, RefusesAddressesOutsideLoopback) {
  ServiceOptions options;
  options.bindAddress = "0.0.0.0";
  EXPECT_THROW(ReferenceService{options}, std::runtime_error);
  EXPECT_TRUE(IsLoopbackAddress("127.1.2.3"));
  EXPECT_FALSE(IsLoopbackAddress("128.0.0.1"));
}

TEST(ServiceBinding, ListensOnEveryPortAskedFor) {
  ServiceOptions options;
  options.ports = {0, 0, 0};
  ReferenceService service(options);
  ASSERT_EQ(service.Ports().size(), 3u);
  for (const auto port : service.Ports()) {
    httplib::Client client("127.0.0.1", port);
    const auto judged = client.Get("/feedback.php");
    ASSERT_TRUE(judged) << port;
    EXPECT_EQ(judged->body, "2");
  }
}

}  // namespace
}  // namespace cloakwise::service
