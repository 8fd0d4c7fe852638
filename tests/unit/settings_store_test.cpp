#include "core/settings_store.h"

#include <gtest/gtest.h>

#include "core/ini_text.h"
#include "fakes/fake_files.h"

namespace cloakwise {
namespace {

constexpr char kPath[] = "C:\\Apps\\options.ini";

class SettingsStoreTest : public ::testing::Test {
 protected:
  void Given(const std::string& text) { files.files[kPath] = text; }
  const std::string& File() { return files.files[kPath]; }

  fakes::FakeFileSystem files;
  SettingsStore store{files, kPath};
};

struct IntegerCase {
  const char* text;
  std::int32_t expected;  // with default -7
};

void PrintTo(const IntegerCase& c, std::ostream* os) {
  *os << '"' << c.text << '"';
}

class IntegerReadTest : public SettingsStoreTest,
                        public ::testing::WithParamInterface<IntegerCase> {};

TEST_P(IntegerReadTest, ReadsOrFallsBack) {
  Given(std::string("[Options]\r\nTimeout=") + GetParam().text + "\r\n");
  EXPECT_EQ(store.ReadInteger("Options", "Timeout", -7), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Forms, IntegerReadTest,
    ::testing::Values(IntegerCase{"9", 9}, IntegerCase{"0009", 9}, IntegerCase{"-12", -12},
                      IntegerCase{"+12", 12}, IntegerCase{"0x0A", 10}, IntegerCase{"0XA", 10},
                      IntegerCase{"$a", 10}, IntegerCase{"$FF", 255}, IntegerCase{"x1f", 31},
                      IntegerCase{"X1F", 31}, IntegerCase{"-$10", -16},
                      IntegerCase{"2147483647", 2147483647},
                      IntegerCase{"-2147483648", -2147483647 - 1},
                      IntegerCase{"0x7FFFFFFF", 2147483647},
                      // Everything below does not convert completely.
                      IntegerCase{"2147483648", -7}, IntegerCase{"99999999999999999999", -7},
                      IntegerCase{"0x100000000", -7}, IntegerCase{"10abc", -7},
                      IntegerCase{"12 34", -7}, IntegerCase{"", -7}, IntegerCase{"$", -7},
                      IntegerCase{"0x", -7}, IntegerCase{"-", -7}, IntegerCase{"1.5", -7},
                      IntegerCase{"0xG", -7}, IntegerCase{"ten", -7}, IntegerCase{"--1", -7}));

TEST_F(SettingsStoreTest, IntegerReadSkipsLeadingBlanksButValueBlanksAreTrimmedAnyway) {
  EXPECT_EQ(ini::ParseInteger("   42"), 42);
  EXPECT_EQ(ini::ParseInteger("\t-3"), -3);
  EXPECT_EQ(ini::ParseInteger("42 "), std::nullopt);
  Given("[Options]\r\nTimeout =   11   \r\n");
  EXPECT_EQ(store.ReadInteger("Options", "Timeout", 0), 11);
}

TEST_F(SettingsStoreTest, MissingFileKeyOrSectionGivesDefaults) {
  EXPECT_EQ(store.ReadInteger("Options", "Timeout", 9), 9);
  EXPECT_EQ(store.ReadString("Options", "Host", "dflt"), "dflt");
  EXPECT_FALSE(store.ValueExists("Options", "StartUp"));
  Given("[Other]\r\nTimeout=3\r\n");
  EXPECT_EQ(store.ReadInteger("Options", "Timeout", 9), 9);
  EXPECT_TRUE(store.ReadSectionValues("Options").empty());
  EXPECT_TRUE(files.writes.empty()) << "reading never creates the file";
}

TEST_F(SettingsStoreTest, BooleansAreIntegersWithDefaultOneOrZero) {
  Given("[Options]\r\na=1\r\nb=0\r\nc=5\r\nd=-1\r\ne=yes\r\nf=\r\n");
  EXPECT_TRUE(store.ReadBool("Options", "a", false));
  EXPECT_FALSE(store.ReadBool("Options", "b", true));
  EXPECT_TRUE(store.ReadBool("Options", "c", false));
  EXPECT_TRUE(store.ReadBool("Options", "d", false));
  EXPECT_TRUE(store.ReadBool("Options", "e", true)) << "unconvertible text gives the default";
  EXPECT_FALSE(store.ReadBool("Options", "e", false));
  EXPECT_FALSE(store.ReadBool("Options", "f", false));
  EXPECT_TRUE(store.ReadBool("Options", "missing", true));
}

TEST_F(SettingsStoreTest, NamesMatchWithoutCaseAndValueExistsIgnoresTheValue) {
  Given("[OPTIONS]\r\nstartup=\r\nFirefox=1\r\n");
  EXPECT_TRUE(store.ValueExists("Options", "StartUp"));
  EXPECT_TRUE(store.ReadBool("options", "FIREFOX", false));
  store.WriteBool("Options", "FireFox", false);
  EXPECT_EQ(File(), "[OPTIONS]\r\nstartup=\r\nFirefox=0\r\n") << "the stored spelling is kept";
}

TEST_F(SettingsStoreTest, StringsAreCutAt2047Characters) {
  Given("[Proxy list]\r\n1=" + std::string(5000, 'a') + "\r\n");
  EXPECT_EQ(store.ReadString("Proxy list", "1", "").size(), 2047u);
  Given("[Proxy list]\r\n1=\"quoted\"\r\n2='single'\r\n3=\"odd\r\n");
  EXPECT_EQ(store.ReadString("Proxy list", "1", ""), "quoted");
  EXPECT_EQ(store.ReadString("Proxy list", "2", ""), "single");
  EXPECT_EQ(store.ReadString("Proxy list", "3", ""), "\"odd");
}

TEST_F(SettingsStoreTest, FirstWriteCreatesTheSectionInWindowsLineEnds) {
  store.WriteBool("Options", "StartUp", true);
  store.WriteBool("Options", "Firefox", false);
  store.WriteInteger("Options", "Timeout", 9);
  EXPECT_EQ(File(), "[Options]\r\nStartUp=1\r\nFirefox=0\r\nTimeout=9\r\n");
  EXPECT_TRUE(store.ValueExists("Options", "StartUp"));
}

TEST_F(SettingsStoreTest, WritesKeepEveryOtherLineAndTheFilesLineEnds) {
  Given("; kept comment\n[Options]\nTimeout=9\n\n[Proxy list]\n1=1.2.3.4:80\n");
  store.WriteInteger("Options", "Timeout", 12);
  store.WriteString("Options", "ProxyType", "2");
  store.WriteString("Service", "Host", "127.0.0.1:8000");
  EXPECT_EQ(File(),
            "; kept comment\n[Options]\nTimeout=12\nProxyType=2\n\n[Proxy list]\n1=1.2.3.4:80\n"
            "\n[Service]\nHost=127.0.0.1:8000\n");
}

TEST_F(SettingsStoreTest, EachLineKeepsItsOwnLineEnd) {
  // Mixed ends, as a file edited by hand on two systems has them; a CR alone
  // ends a line too; lines added take the first line's end.
  Given("[Options]\nTimeout=9\r\n; note\r\r\n[Other]\nx=1\r");
  store.WriteInteger("Options", "Timeout", 12);
  EXPECT_EQ(File(), "[Options]\nTimeout=12\r\n; note\r\r\n[Other]\nx=1\r");
  store.WriteInteger("Options", "ProxyType", 2);
  store.WriteInteger("Other", "y", 3);
  EXPECT_EQ(File(), "[Options]\nTimeout=12\r\nProxyType=2\n; note\r\r\n[Other]\nx=1\ry=3\n");

  // An old editor's file, with a CR alone after every line: read line by
  // line, and lines added end in CR LF.
  Given("[Options]\rStartUp=0\rFirefox=1\r");
  EXPECT_EQ(store.ReadInteger("Options", "StartUp", 7), 0);
  EXPECT_EQ(store.ReadInteger("Options", "Firefox", 7), 1);
  store.WriteInteger("Options", "Timeout", 9);
  EXPECT_EQ(File(), "[Options]\rStartUp=0\rFirefox=1\rTimeout=9\r\n");
}

TEST_F(SettingsStoreTest, FileWithoutFinalNewlineGetsOneOnlyWhereLinesAreAdded) {
  Given("[Options]\r\nTimeout=9");
  EXPECT_EQ(store.ReadInteger("Options", "Timeout", 0), 9);
  store.WriteInteger("Options", "Timeout", 7);
  EXPECT_EQ(File(), "[Options]\r\nTimeout=7");
  store.WriteInteger("Options", "ProxyType", 2);
  EXPECT_EQ(File(), "[Options]\r\nTimeout=7\r\nProxyType=2\r\n");
}

TEST_F(SettingsStoreTest, DuplicateSectionsReadAsOneAndTheFirstKeyWins) {
  Given("[Options]\r\nTimeout=6\r\n[Proxy list]\r\n1=a\r\n[options]\r\nTimeout=8\r\nFirefox=1\r\n");
  EXPECT_EQ(store.ReadInteger("Options", "Timeout", 0), 6);
  EXPECT_TRUE(store.ReadBool("Options", "Firefox", false));
  EXPECT_EQ(store.ReadSectionValues("Options"),
            (std::vector<std::string>{"Timeout=6", "Firefox=1"}));
  store.WriteBool("Options", "Firefox", false);
  store.WriteInteger("Options", "Timeout", 5);
  store.WriteInteger("Options", "New", 1);
  EXPECT_EQ(File(),
            "[Options]\r\nTimeout=5\r\nNew=1\r\n[Proxy list]\r\n1=a\r\n[options]\r\nTimeout=8\r\n"
            "Firefox=0\r\n");
}

TEST_F(SettingsStoreTest, SectionValuesAndErase) {
  Given(
      "[Proxy list]\r\n1=1.1.1.1:80\r\n2 = 2.2.2.2:8080\r\nbare\r\n[Options]\r\nTimeout=9\r\n"
      "[PROXY LIST]\r\n3=3.3.3.3:3128\r\n");
  EXPECT_EQ(
      store.ReadSectionValues("Proxy list"),
      (std::vector<std::string>{"1=1.1.1.1:80", "2=2.2.2.2:8080", "bare=", "3=3.3.3.3:3128"}));
  store.EraseSection("proxy list");
  EXPECT_EQ(File(), "[Options]\r\nTimeout=9\r\n");
  store.EraseSection("Absent");
  EXPECT_EQ(File(), "[Options]\r\nTimeout=9\r\n");
}

TEST_F(SettingsStoreTest, ReplacedSectionReadsAsEraseThenOneWritePerEntryInOneWrite) {
  const std::string before = "[Proxy list]\r\n7=old\r\n[Options]\r\nTimeout=9\r\n";
  Given(before);
  store.EraseSection("Proxy list");
  store.WriteString("Proxy list", "1", "1.1.1.1:80");
  store.WriteString("Proxy list", "2", "");
  const std::string stepwise = File();
  Given(before);
  files.writes.clear();
  store.ReplaceSection("Proxy list", {{"1", "1.1.1.1:80"}, {"2", ""}});
  EXPECT_EQ(File(), stepwise);
  EXPECT_EQ(files.writes.size(), 1u);
  EXPECT_THROW(store.ReplaceSection("Proxy list", {{"1", "a"}, {"2", "b\nc"}}),
               std::invalid_argument);
  EXPECT_EQ(File(), stepwise) << "refused before anything is written";
}

TEST_F(SettingsStoreTest, RefusedWriteRaisesTheErrorTextAndKeepsTheFile) {
  Given("[Options]\r\nTimeout=9\r\n");
  files.readOnly.insert(kPath);
  try {
    store.WriteInteger("Options", "Timeout", 5);
    FAIL() << "no error raised";
  } catch (const SettingsWriteError& e) {
    EXPECT_STREQ(e.what(), "Unable to write to C:\\Apps\\options.ini");
  }
  EXPECT_EQ(File(), "[Options]\r\nTimeout=9\r\n");
}

TEST_F(SettingsStoreTest, WhereNoTemporaryFileCanBeMadeTheFileIsWrittenThroughItself) {
  Given("[Options]\r\nStartUp=0\r\n");
  files.noTemporary.insert(kPath);
  store.WriteInteger("Options", "Timeout", 9);
  EXPECT_EQ(File(), "[Options]\r\nStartUp=0\r\nTimeout=9\r\n");
  EXPECT_EQ(files.inPlaceWrites, std::vector<std::string>{kPath});
}

TEST_F(SettingsStoreTest, UnreadableExistingFileIsNeverReplacedByAOneValueFile) {
  Given("[Options]\r\nTimeout=9\r\n[Proxy list]\r\n1=1.2.3.4:80\r\n");
  files.unreadable.insert(kPath);
  EXPECT_THROW(store.WriteBool("Options", "Firefox", true), SettingsWriteError);
  EXPECT_TRUE(files.writes.empty());
  EXPECT_EQ(store.ReadInteger("Options", "Timeout", 4), 4) << "reads fall back to defaults";
}

TEST_F(SettingsStoreTest, TextsThatWouldSpillIntoOtherLinesAreRefusedBeforeWriting) {
  Given("[Options]\r\nTimeout=9\r\n");
  EXPECT_THROW(store.WriteString("Options", "Host", "a\r\n[Options]\r\nTimeout=1"),
               std::invalid_argument);
  EXPECT_THROW(store.WriteString("Options", "Ho=st", "x"), std::invalid_argument);
  EXPECT_THROW(store.WriteString("Opt]ions", "Host", "x"), std::invalid_argument);
  EXPECT_THROW(store.WriteString("Options", "", "x"), std::invalid_argument);
  EXPECT_THROW(store.WriteString("Options", "Host", std::string("a\0b", 3)), std::invalid_argument);
  // Names the reader would trim or take for a comment: never found again.
  for (const char* key : {" Host", "Host\t", ";Host"}) {
    EXPECT_THROW(store.WriteString("Options", key, "x"), std::invalid_argument) << key;
  }
  EXPECT_THROW(store.WriteString(" Options", "Host", "x"), std::invalid_argument);
  EXPECT_THROW(store.EraseSection("Options "), std::invalid_argument);
  EXPECT_TRUE(files.writes.empty());
}

TEST_F(SettingsStoreTest, MalformedLinesAreKeptAndDoNotBreakReads) {
  const std::string odd =
      "garbage before any section\r\n[Options\r\n=novalue\r\n[]\r\n"
      "[Options]\r\n  Timeout  =  10  \r\n===\r\n";
  Given(odd);
  EXPECT_EQ(store.ReadInteger("Options", "Timeout", 0), 10);
  store.WriteInteger("Options", "ProxyType", 2);
  EXPECT_EQ(File(), odd.substr(0, odd.size() - 5) + "ProxyType=2\r\n===\r\n");
}

std::string Utf16(std::u16string_view text, bool bigEndian) {
  std::string out;
  for (const char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    out += bigEndian ? high : low;
    out += bigEndian ? low : high;
  }
  return out;
}

// A file saved with a byte-order mark, as editors and Windows' own profile
// functions save it, is read as it was meant and written back in its own
// encoding: the mark stays, lines the program does not change go back byte
// for byte, and the file never ends up in two encodings.
TEST_F(SettingsStoreTest, FilesWithAByteOrderMarkKeepTheirMarkAndEncoding) {
  // Lines as UTF-16 holds them: an accent, a character beyond 16 bits, and a
  // lone half of a surrogate pair that no conversion can make sense of.
  const std::u16string before =
      u"[Options]\r\nStartUp=0\r\nFirefox=1\r\n; caf\u00e9 \U0001F600 \xD800!\r\n"
      u"[Proxy list]\r\n1=\u00e9t\u00e9:80\r\n";
  // A value the program writes: 8-bit text, 0xE9 being an ANSI "e" with an
  // accent, next to the same letter in UTF-8.
  const std::string ansiValue = "\xE9 \xC3\xA9 \x80";
  const std::u16string after =
      u"[Options]\r\nStartUp=0\r\nFirefox=0\r\nNote=\u00e9 \u00e9 \u20ac\r\n"
      u"; caf\u00e9 \U0001F600 \xD800!\r\n[Proxy list]\r\n1=\u00e9t\u00e9:80\r\n";
  // The same lines in UTF-8, the lone half encoded as any 16-bit unit is.
  const std::string beforeUtf8 =
      "[Options]\r\nStartUp=0\r\nFirefox=1\r\n; caf\xC3\xA9 \xF0\x9F\x98\x80 \xED\xA0\x80!\r\n"
      "[Proxy list]\r\n1=\xC3\xA9t\xC3\xA9:80\r\n";
  const std::string afterUtf8 =
      "[Options]\r\nStartUp=0\r\nFirefox=0\r\nNote=\xC3\xA9 \xC3\xA9 \xE2\x82\xAC\r\n"
      "; caf\xC3\xA9 \xF0\x9F\x98\x80 \xED\xA0\x80!\r\n[Proxy list]\r\n1=\xC3\xA9t\xC3\xA9:80\r\n";
  struct Case {
    const char* name;
    std::string before, after;
  };
  for (const Case& c :
       {Case{"UTF-8", "\xEF\xBB\xBF" + beforeUtf8, "\xEF\xBB\xBF" + afterUtf8},
        Case{"UTF-16 LE", "\xFF\xFE" + Utf16(before, false), "\xFF\xFE" + Utf16(after, false)},
        Case{"UTF-16 BE", "\xFE\xFF" + Utf16(before, true), "\xFE\xFF" + Utf16(after, true)}}) {
    SCOPED_TRACE(c.name);
    Given(c.before);
    EXPECT_TRUE(store.ValueExists("Options", "StartUp")) << "the first section is found";
    EXPECT_FALSE(store.ReadBool("Options", "StartUp", true));
    EXPECT_EQ(store.ReadSectionValues("Proxy list"),
              std::vector<std::string>{"1=\xC3\xA9t\xC3\xA9:80"})
        << "text outside ASCII reads as UTF-8";
    store.WriteBool("Options", "Firefox", false);
    store.WriteString("Options", "Note", ansiValue);
    EXPECT_EQ(File(), c.after);
    EXPECT_EQ(store.ReadString("Options", "Note", ""), "\xC3\xA9 \xC3\xA9 \xE2\x82\xAC");
  }
  // Half a 16-bit unit at the end of a UTF-16 file stays its last byte.
  Given("\xFF\xFE" + Utf16(u"[Options]\r\n", false) + "\x41");
  store.WriteInteger("Options", "Timeout", 9);
  EXPECT_EQ(File(), "\xFF\xFE" + Utf16(u"[Options]\r\nTimeout=9\r\n", false) + "\x41");
  // A mark alone is an empty file of that encoding.
  Given("\xFE\xFF");
  store.WriteInteger("Options", "Timeout", 9);
  EXPECT_EQ(File(), "\xFE\xFF" + Utf16(u"[Options]\r\nTimeout=9\r\n", true));
}

}  // namespace
}  // namespace cloakwise
