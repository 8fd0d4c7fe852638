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

}  // namespace
}  // namespace cloakwise
