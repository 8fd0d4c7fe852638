#include "core/text.h"

#include <gtest/gtest.h>

#include <string>

namespace cloakwise::text {
namespace {

using namespace std::string_literals;

TEST(Text, TrimsBlanksOnlyOrBlanksAndControls) {
  const struct {
    std::string in, blanks, blanksAndControls;
  } cases[] = {
      {" \t a b \t ", "a b", "a b"},
      {"\r\n a\x01 \0"s, "\r\n a\x01 \0"s, "a"},
      {"\xA0x\xA0", "\xA0x\xA0", "\xA0x\xA0"},  // bytes above 127 are text, not blanks
      {"", "", ""},
      {" \t", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TrimBlanks(c.in), c.blanks) << c.in;
    EXPECT_EQ(TrimBlanksAndControls(c.in), c.blanksAndControls) << c.in;
  }
}

TEST(Text, SplitsAtTheFirstColonOnly) {
  const auto split = SplitAtFirstColon("1.2.3.4:80:x");
  ASSERT_TRUE(split);
  EXPECT_EQ(split->first, "1.2.3.4");
  EXPECT_EQ(split->second, "80:x");
  EXPECT_EQ(SplitAtFirstColon(":")->second, "");
  EXPECT_FALSE(SplitAtFirstColon("1.2.3.4"));
}

TEST(Text, ComparesIgnoringAsciiCaseOnly) {
  EXPECT_TRUE(EqualsIgnoreCase("Keep-Alive", "keep-ALIVE"));
  EXPECT_FALSE(EqualsIgnoreCase("keep-alive", "keep-alive "));
  EXPECT_FALSE(EqualsIgnoreCase("\xC4", "\xE4")) << "no locale folding of 8-bit letters";
  EXPECT_TRUE(ContainsIgnoreCase("gzip, Chunked", "chunked"));
  EXPECT_FALSE(ContainsIgnoreCase("chunke", "chunked"));
  EXPECT_TRUE(ContainsIgnoreCase("x", ""));
}

}  // namespace
}  // namespace cloakwise::text
