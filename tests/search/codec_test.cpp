// The digit encoding, the number shift and Base64, and how a reply is cut
// into its parts: the rules both ends of the list exchange must agree on.
#include <gtest/gtest.h>

#include <string>

#include "core/settings_store.h"
#include "fakes/fake_files.h"
#include "judge/judge.h"
#include "search/base64.h"
#include "search/client_identity.h"
#include "search/digit_codec.h"
#include "search/proxy_list_service.h"

namespace cloakwise::search {
namespace {

TEST(DigitCodec, EncodesEachByteAsThreeDigitsThenReverses) {
  EXPECT_EQ(DigitEncode("abc"), "990890790");
  EXPECT_EQ(DigitEncode(""), "");
  // Leading zeros are kept, and bytes above 127 are unsigned.
  EXPECT_EQ(DigitEncode(std::string("\x00\x07\xff", 3)), "552700000");
}

TEST(DigitCodec, DecodesWhatItEncodes) {
  EXPECT_EQ(DigitDecode("990890790"), "abc");
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(DigitDecode(DigitEncode(all)), all);
}

TEST(DigitCodec, IgnoresOneOrTwoSurplusLeadingDigits) {
  EXPECT_EQ(DigitDecode("1990890790"), "abc");
  EXPECT_EQ(DigitDecode("21990890790"), "abc");
  EXPECT_EQ(DigitDecode("12"), "");
  EXPECT_EQ(DigitDecode(""), "");
}

TEST(DigitCodec, TakesGroupsAboveTwoHundredFiftyFiveModulo256) {
  // "300" read backwards is "003"; "999" is 999 % 256 = 231.
  EXPECT_EQ(DigitDecode("999"), std::string(1, static_cast<char>(231)));
  EXPECT_EQ(DigitDecode("003"), std::string(1, static_cast<char>(300 % 256)));
}

TEST(DigitCodec, RefusesAGroupThatIsNoNumber) {
  for (const char* bad : {"99a890790", "990890\n90", "990 90790", "-90890790", "99089079x"}) {
    EXPECT_THROW(DigitDecode(bad), DigitDecodeError) << bad;
  }
  // The failure is one the caller already catches for lost connections.
  EXPECT_THROW(DigitDecode("abc"), http::HttpError);
  // A surplus character is never read, whatever it is.
  EXPECT_EQ(DigitDecode("x990890790"), "abc");
}

TEST(NumberShift, UsesTheFirstElevenKeyCharactersAndSkipsEveryTwelfth) {
  const std::string text(25, '\x01');
  const std::string shifted = ShiftWithKey(text);
  ASSERT_EQ(shifted.size(), text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::size_t position = i + 1;
    const char expected =
        position % 12 == 0 ? '\x01' : static_cast<char>(kShiftKey[position % 12 - 1] + 1);
    EXPECT_EQ(shifted[i], expected) << "position " << position;
  }
  EXPECT_EQ(shifted[11], '\x01');                      // the 12th stays
  EXPECT_EQ(shifted[12], static_cast<char>('N' + 1));  // the 13th starts the key again
  EXPECT_EQ(UnshiftWithKey(shifted), text);
}

TEST(NumberShift, WrapsAroundModulo256) {
  const std::string shifted = ShiftWithKey("\xff");
  EXPECT_EQ(static_cast<unsigned char>(shifted[0]), ('N' + 255) % 256);
}

TEST(ClientNumber, IsTheShiftedDecimalInBase64) {
  // "1" + 'N' (78) = 127 -> 0x7F -> "fw==".
  EXPECT_EQ(EncodeClientNumber(1), "fw==");
  // "0" shifted by 'N' is 126 (~).
  EXPECT_EQ(EncodeClientNumber(0), Base64Encode("~"));
  EXPECT_EQ(EncodeClientNumber(123456), Base64Encode(ShiftWithKey("123456")));
}

TEST(ClientNumber, OutputLengthFollowsTheDigitCount) {
  struct Case {
    std::uint32_t number;
    std::size_t length;
  };
  for (const auto& c :
       {Case{0, 4}, Case{7, 4}, Case{999, 4}, Case{1000, 8}, Case{999999, 8}, Case{1000000, 12},
        Case{999999999, 12}, Case{1000000000, 16}, Case{2147483647, 16}, Case{4294967295u, 16}}) {
    EXPECT_EQ(EncodeClientNumber(c.number).size(), c.length) << c.number;
  }
}

TEST(Base64, MatchesTheStandardVectors) {
  const std::pair<const char*, const char*> vectors[] = {{"", ""},
                                                         {"f", "Zg=="},
                                                         {"fo", "Zm8="},
                                                         {"foo", "Zm9v"},
                                                         {"foob", "Zm9vYg=="},
                                                         {"fooba", "Zm9vYmE="},
                                                         {"foobar", "Zm9vYmFy"}};
  for (const auto& [plain, encoded] : vectors) {
    EXPECT_EQ(Base64Encode(plain), encoded);
    EXPECT_EQ(Base64Decode(encoded), std::optional<std::string>(plain));
  }
  EXPECT_EQ(Base64Encode("\xfb\xff"), "+/8=");
}

TEST(Base64, DecodingRefusesWhatIsNotStrictBase64) {
  for (const char* bad : {"Zg=", "Zg", "Z===", "Zm9v\n", "Zm9v====", "Zg==Zg==", "Zm*v", "=Zm9"}) {
    EXPECT_EQ(Base64Decode(bad), std::nullopt) << bad;
  }
}

TEST(RequestTexts, CarryTheIdentityAndForTheSecondTheToken) {
  const ClientIdentity id{"Cloakwise", "1.0", 1};
  EXPECT_EQ(FirstRequestText(id), "7;Cloakwise;1.0;fw==");
  EXPECT_EQ(SecondRequestText(id, "abc"), "7;Cloakwise;1.0;fw==;abc=990890790;");
  const ClientIdentity empty{"", "", 0};
  EXPECT_EQ(FirstRequestText(empty), "7;;;" + EncodeClientNumber(0));
}

TEST(ReplyPadding, DropsTenLeadingAndEightTrailingCharacters) {
  struct Case {
    std::string decoded;
    std::string payload;
  };
  const std::string ten = "0123456789";
  for (const auto& c : {
           Case{"", ""},
           Case{"short", ""},                 // shorter than the token filler
           Case{ten, ""},                     // exactly 10
           Case{ten + "a", "a"},              // 11: nothing taken from the end
           Case{ten + "abcdefg", "abcdefg"},  // 17: still nothing from the end
           Case{ten + "abcdefgh", ""},        // 18: the end filler is all that is left
           Case{ten + "PAYLOADabcdefgh", "PAYLOAD"},
       }) {
    EXPECT_EQ(StripServicePadding(c.decoded), c.payload) << c.decoded;
  }
}

TEST(CandidateSplit, CutsAtTheFirstTwoSemicolons) {
  using Lines = std::array<std::string, 3>;
  EXPECT_EQ(SplitCandidates("a;b;c"), (Lines{"a", "b", "c"}));
  EXPECT_EQ(SplitCandidates("a;b"), (Lines{"a", "", "b"}));
  EXPECT_EQ(SplitCandidates("a"), (Lines{"", "", "a"}));
  EXPECT_EQ(SplitCandidates(""), (Lines{"", "", ""}));
  EXPECT_EQ(SplitCandidates("a;b;c;d"), (Lines{"a", "b", "c;d"}));
  EXPECT_EQ(SplitCandidates(";;"), (Lines{"", "", ""}));
  EXPECT_EQ(SplitCandidates("1.2.3.4:80 Fast one;5.6.7.8:3128 Slow;9.9.9.9:8080 Elite, Paris"),
            (Lines{"1.2.3.4:80 Fast one", "5.6.7.8:3128 Slow", "9.9.9.9:8080 Elite, Paris"}));
}

TEST(ClientIdentityChoice, NamesTheProgramAndVersionAndNothingPersonal) {
  const ClientIdentity a = MakeClientIdentity();
  EXPECT_EQ(a.programName, "Cloakwise");
  EXPECT_EQ(a.programVersion, CLOAKWISE_VERSION);
  EXPECT_LE(a.runNumber, 2147483647u);
  // Each run draws its own number; twenty draws all equal would mean a fixed one.
  bool differs = false;
  for (int i = 0; i < 20 && !differs; ++i) differs = MakeClientIdentity().runNumber != a.runNumber;
  EXPECT_TRUE(differs);
}

using judge::kDefaultServiceHost;
using judge::MakeServiceUrls;
using judge::ReadServiceHost;
using judge::ServiceUrls;

class ServiceHostSetting : public ::testing::Test {
 protected:
  fakes::FakeFileSystem files;
  SettingsStore settings{files, "C:\\Apps\\options.ini"};
};

TEST_F(ServiceHostSetting, DefaultsToTheVendorHost) {
  EXPECT_EQ(ReadServiceHost(settings), kDefaultServiceHost);
  files.files["C:\\Apps\\options.ini"] = "[Service]\r\nHost=  \r\n";
  EXPECT_EQ(ReadServiceHost(settings), kDefaultServiceHost);
}

TEST_F(ServiceHostSetting, ReadsHostAndPortFromTheServiceSection) {
  files.files["C:\\Apps\\options.ini"] =
      "[Options]\r\nHost=wrong.example\r\n[Service]\r\nHost= 127.0.0.1:8080 \r\n";
  EXPECT_EQ(ReadServiceHost(settings), "127.0.0.1:8080");
}

TEST(ServiceUrlsFromHost, PutBothPagesOnTheSameHost) {
  const ServiceUrls urls = MakeServiceUrls("127.0.0.1:8080");
  EXPECT_EQ(urls.proxyList, "http://127.0.0.1:8080/proxy.php");
  EXPECT_EQ(urls.judge, "http://127.0.0.1:8080/feedback.php");
  EXPECT_EQ(MakeServiceUrls(kDefaultServiceHost).judge,
            std::string("http://") + kDefaultServiceHost + "/feedback.php");
}

}  // namespace
}  // namespace cloakwise::search
