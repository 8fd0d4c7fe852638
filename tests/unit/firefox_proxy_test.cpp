#include "browserproxy/firefox_proxy.h"

#include <gtest/gtest.h>

#include <set>

#include "browserproxy/user_js.h"
#include "core/option_keys.h"
#include "fakes/app_harness.h"

namespace cloakwise {
namespace {

using namespace std::string_literals;
using platform::DirectoryEntry;

const ProxyAddress kProxy{"1.2.3.4", 8080};

constexpr char kOwnLines[] =
    "user_pref(\"network.proxy.type\", 1);\r\n"
    "user_pref(\"network.proxy.http\", \"1.2.3.4\");\r\n"
    "user_pref(\"network.proxy.http_port\", 8080);\r\n"
    "user_pref(\"network.proxy.ssl\", \"1.2.3.4\");\r\n"
    "user_pref(\"network.proxy.ssl_port\", 8080);\r\n"
    "user_pref(\"network.proxy.no_proxies_on\", \"\");\r\n"
    "user_pref(\"media.peerconnection.ice.proxy_only_if_behind_proxy\", true);\r\n";
constexpr char kWebRtcOwnDefault[] =
    "user_pref(\"media.peerconnection.ice.proxy_only_if_behind_proxy\", false);";

// The bytes of text in UTF-16, byte-order mark first.
std::string Utf16(std::u16string_view text, bool bigEndian) {
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    bytes += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

// The preference lines of the program's putting-back block, in order.
std::vector<std::string> PuttingBackLines(const std::string& file) {
  std::vector<std::string> lines;
  const auto start = file.find("// Cloakwise: these lines put back");
  if (start == std::string::npos) return lines;
  for (std::size_t at = file.find("user_pref(", start); at != std::string::npos;
       at = file.find("user_pref(", at + 1)) {
    lines.push_back(file.substr(at, file.find(";", at) - at + 1));
  }
  return lines;
}

TEST(UserJs, TheUsersFileReadsBackByteForByteOnceFirefoxHasItsValuesBack) {
  const std::string proxyLine = "user_pref(\"network.proxy.type\", 4);\r\n";
  const std::u16string mine = u"mine(\u0A0D);\r\n\u0000\r\ncaf\u00E9();\nlast();"s;
  const struct {
    const char* what;
    std::optional<std::string> userJs;  // nothing: the profile has none
  } cases[] = {
      {"no file", std::nullopt},
      {"an empty file", ""},
      {"lines of the user's", "user_pref(\"browser.startup.homepage\", \"about:blank\");\r\n"},
      {"no end on the last line", "a();\nb();"},
      {"the user's own proxy lines",
       "x();\n"s + proxyLine + " user_pref(\"network.proxy.http\", \"h\");\r"},
      {"NULs, lone CRs, another code page", "a\0b();\r\r\0"s + proxyLine + "caf\xE9\r"},
      {"a UTF-8 mark", "\xEF\xBB\xBF" + proxyLine + "mine();"},
      {"UTF-16", Utf16(mine, false)},
      {"UTF-16 big-endian, cut inside a character", Utf16(u"a();\r\n", true) + "\x7F"},
      {"bytes that would read as a mark", "\r\n\xFF\xFEmine();"},
  };
  for (const char* prefs : {"", "user_pref(\"network.proxy.type\", 4);\n",
                            "user_pref(\"network.proxy.http\", \"10.0.0.1\");\n"}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.what) + " with prefs.js " + prefs);
      const std::string installed =
          userjs::Install(c.userJs.value_or(""), c.userJs.has_value(), prefs, kProxy);
      EXPECT_EQ(userjs::StateOf(installed), userjs::State::InUse);
      EXPECT_EQ(userjs::Install(installed, true, "", kProxy), installed) << "the same block once";
      const userjs::Content putBack = userjs::PutBack(installed);
      ASSERT_TRUE(putBack);
      EXPECT_EQ(userjs::PutBack(*putBack), putBack) << "nothing more to put back";
      // While prefs.js may still hold the program's values, the lines stay.
      const std::string ours =
          "user_pref(\"network.proxy.type\", 1);\nuser_pref(\"network.proxy.http\", \"1.2.3.4\");\n"
          "user_pref(\"network.proxy.http_port\", 8080);\nuser_pref(\"network.proxy.ssl\", "
          "\"1.2.3.4\");\n"
          "user_pref(\"network.proxy.ssl_port\", 8080);\n"
          "user_pref(\"media.peerconnection.ice.proxy_only_if_behind_proxy\", true);\n";
      EXPECT_EQ(userjs::Tidy(*putBack, prefs, /*prefsWrittenSince=*/false), putBack);
      EXPECT_EQ(userjs::Tidy(*putBack, ours, true), putBack);
      // Firefox has run on them and saved the profile's own values.
      EXPECT_EQ(userjs::Tidy(*putBack, prefs, true), c.userJs);
    }
  }
}

TEST(UserJs, PuttingBackSetsEachPreferenceTheProfileHadWhereFirefoxMayHoldTheProgramsValue) {
  const struct {
    const char* what;
    std::string userJs, prefs;
    std::vector<std::string> lines;
  } cases[] = {
      {"a profile that never set one",
       "",
       "",
       {"user_pref(\"network.proxy.type\", 5);", "user_pref(\"network.proxy.http\", \"\");",
        "user_pref(\"network.proxy.http_port\", 0);", "user_pref(\"network.proxy.ssl\", \"\");",
        "user_pref(\"network.proxy.ssl_port\", 0);", kWebRtcOwnDefault}},
      {"auto-detect and a bypass list in prefs.js",
       "",
       "user_pref(\"network.proxy.no_proxies_on\", \"localhost, .corp\");\n"
       "user_pref(\"network.proxy.type\", 4);\n"
       "user_pref(\"network.proxy.ssl_port\", 8080);\n",
       {"user_pref(\"network.proxy.type\", 4);", "user_pref(\"network.proxy.http\", \"\");",
        "user_pref(\"network.proxy.http_port\", 0);", "user_pref(\"network.proxy.ssl\", \"\");",
        "user_pref(\"network.proxy.no_proxies_on\", \"localhost, .corp\");", kWebRtcOwnDefault}},
      {"what the user's own user.js sets comes back with it",
       "user_pref(\"network.proxy.type\", 4);\nuser_pref('network.proxy.http', \"h\");\n"
       "user_pref(\"network.proxy.http_port\", 1);\nuser_pref(\"network.proxy.ssl\", \"\");\n",
       "user_pref(\"network.proxy.type\", 2);\n",
       {"user_pref(\"network.proxy.ssl_port\", 0);", kWebRtcOwnDefault}},
      {"values beyond ASCII, and ones that cannot be copied",
       "",
       "user_pref(\"network.proxy.http\", \"pr\xC3\xB6xy\xF0\x9F\xA6\x8A\");\n"
       "user_pref(\"network.proxy.type\", 1); evil();\n"
       "user_pref(\"network.proxy.ssl\", \"a\" + x);\n",
       {"user_pref(\"network.proxy.type\", 5);",
        "user_pref(\"network.proxy.http\", \"pr\\u00f6xy\\ud83e\\udd8a\");",
        "user_pref(\"network.proxy.http_port\", 0);", "user_pref(\"network.proxy.ssl\", \"\");",
        "user_pref(\"network.proxy.ssl_port\", 0);", kWebRtcOwnDefault}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string installed = userjs::Install(c.userJs, true, c.prefs, kProxy);
    EXPECT_EQ(installed.substr(0, c.userJs.size()), c.userJs);
    EXPECT_NE(installed.find(kOwnLines), std::string::npos);
    EXPECT_EQ(PuttingBackLines(userjs::PutBack(installed).value_or("")), c.lines);
    // Installing again, after Firefox saved the program's values, and over a
    // putting-back block, keeps the memory of the profile's own.
    const std::string again =
        userjs::Install(installed, true, "user_pref(\"network.proxy.type\", 1);", kProxy);
    EXPECT_EQ(PuttingBackLines(userjs::PutBack(again).value_or("")), c.lines);
    const std::string over = userjs::Install(*userjs::PutBack(installed), true, "", kProxy);
    EXPECT_EQ(PuttingBackLines(userjs::PutBack(over).value_or("")), c.lines);
  }
}

TEST(UserJs, EachLineGoesOnceFirefoxHoldsAnythingButTheProgramsValue) {
  const std::string putBack = *userjs::PutBack(userjs::Install(
      "", true,
      "user_pref(\"network.proxy.type\", 4);\nuser_pref(\"network.proxy.http\", \"h\");\n",
      kProxy));
  const struct {
    const char* prefs;
    std::vector<std::string> kept;
  } cases[] = {
      // The program's values still saved: every line stays.
      {"user_pref(\"network.proxy.type\", 1);\nuser_pref(\"network.proxy.http\", \"1.2.3.4\");\n"
       "user_pref(\"network.proxy.http_port\", 8080);\nuser_pref(\"network.proxy.ssl\", "
       "\"1.2.3.4\");\n"
       "user_pref(\"network.proxy.ssl_port\", 8080);\n"
       "user_pref(\"media.peerconnection.ice.proxy_only_if_behind_proxy\", true);\n",
       PuttingBackLines(putBack)},
      // The type is back, the ports are not yet.
      {"user_pref(\"network.proxy.type\", 4);\nuser_pref(\"network.proxy.http_port\", 8080);\n"
       "user_pref(\"network.proxy.ssl_port\", 8080);\nuser_pref(\"network.proxy.ssl\", \"x\");\n",
       {"user_pref(\"network.proxy.http_port\", 0);", "user_pref(\"network.proxy.ssl_port\", 0);"}},
      // Something else the user chose in Firefox since wins over the memory.
      {"user_pref(\"network.proxy.type\", 0);\nuser_pref(\"network.proxy.http\", \"other\");\n",
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.prefs);
    const userjs::Content tidied = userjs::Tidy(putBack, c.prefs, true);
    if (c.kept.empty()) {
      EXPECT_EQ(tidied, "");
    } else {
      EXPECT_EQ(PuttingBackLines(tidied.value_or("")), c.kept);
    }
  }
}

// The value of a preference that a file sets last; nothing when none.
std::optional<std::string> LastValue(const std::string& file, const std::string& name) {
  std::optional<std::string> value;
  const std::string start = "user_pref(\"" + name + "\", ";
  for (auto at = file.find(start); at != std::string::npos; at = file.find(start, at + 1)) {
    const auto from = at + start.size();
    value = file.substr(from, file.find(");", from) - from);
  }
  return value;
}

// While the proxy is in use the profile keeps WebRTC to it; once Firefox has
// run on what was put back, the profile says of WebRTC what it said before.
TEST(UserJs, TheProfilesOwnWebRtcSettingComesBack) {
  const std::string name = "media.peerconnection.ice.proxy_only_if_behind_proxy";
  const std::string userLine = "user_pref(\"" + name + "\", false);\r\n";
  const struct {
    const char* what;
    std::string userJs, prefs;
    bool earlierBuildsBlock;  // installed first by a build that did not set it
  } cases[] = {
      {"never set", "", "", false},
      {"true in prefs.js", "", "user_pref(\"" + name + "\", true);\n", false},
      {"false in prefs.js", "", "user_pref(\"" + name + "\", false);\n", false},
      {"false in the user's user.js", userLine, "", false},
      {"an earlier build's block, true in prefs.js", "",
       "user_pref(\"" + name + "\", true);\n", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string installed = userjs::Install(c.userJs, true, c.prefs, kProxy);
    if (c.earlierBuildsBlock) {
      std::string older;
      for (std::size_t at = 0; at < installed.size();) {
        const std::size_t next = installed.find('\n', at) + 1;
        const std::string line = installed.substr(at, next - at);
        if (line.find(name) == std::string::npos || at < c.userJs.size()) older += line;
        at = next;
      }
      installed = userjs::Install(older, true, c.prefs, kProxy);
    }
    EXPECT_EQ(LastValue(installed, name), "true") << "kept to the proxy while in use";
    // Firefox ran meanwhile and saved the program's value.
    const std::string saved = c.prefs + "user_pref(\"" + name + "\", true);\n";
    EXPECT_EQ(userjs::Install(installed, true, saved, kProxy), installed);
    const auto putBack = userjs::PutBack(installed);
    ASSERT_TRUE(putBack);
    const auto afterRun = userjs::PrefsWithOwnValues(*putBack, saved);
    ASSERT_TRUE(afterRun);
    const std::string tidied = userjs::Tidy(*putBack, *afterRun, true).value_or("");
    EXPECT_EQ(tidied, c.userJs);
    // What Firefox goes by: user.js over prefs.js over its default.
    const auto effective = [&](const std::string& userJs, const std::string& prefs) {
      return LastValue(userJs, name).value_or(LastValue(prefs, name).value_or("false"));
    };
    EXPECT_EQ(effective(tidied, *afterRun), effective(c.userJs, c.prefs));
  }
}

class FirefoxProxyTest : public ::testing::Test, public fakes::AppHarness {
 protected:
  // Adds a profile folder; with content, its user.js too.
  void Profile(const std::string& name, std::optional<std::string> content = std::nullopt) {
    files.folders[kProfiles].push_back(DirectoryEntry{name, true, false, false});
    if (content) files.files[Path(name)] = *content;
  }
  static std::string Path(const std::string& name, const char* file = "user.js") {
    return std::string(kProfiles) + name + "\\" + file;
  }
  FirefoxProxy& firefox = app.firefoxProxy;
};

TEST_F(FirefoxProxyTest, EveryProfileGetsTheProxyAndItsOwnSettingsBack) {
  Profile("one", "user_pref(\"a\", 1);\r\n");
  Profile("two");
  Profile(".hidden-looking-but-not");  // only the hidden attribute counts
  files.folders[kProfiles].push_back(DirectoryEntry{"hidden", true, true, false});
  files.folders[kProfiles].push_back(DirectoryEntry{"system", true, false, true});
  files.folders[kProfiles].push_back(DirectoryEntry{"profiles.ini", false, false, false});
  files.temporaryCleanups.clear();  // options.ini's, when the program was made
  EXPECT_EQ(firefox.Install(kProxy), 3);
  EXPECT_EQ(files.writes.size(), 3u);
  EXPECT_EQ(files.temporaryCleanups, files.writes)
      << "each write first clears what a killed one left";
  EXPECT_TRUE(firefox.Installed());
  EXPECT_EQ(files.files[Path("two")].find("user_pref(\"a\""), std::string::npos);
  EXPECT_FALSE(files.files.count(Path("hidden")) || files.files.count(Path("system")));

  EXPECT_TRUE(firefox.Restore());
  EXPECT_FALSE(firefox.Installed());
  // Firefox ran on two profiles and saved their own values.
  for (const char* name : {"one", "two"}) {
    ASSERT_TRUE(files.WriteFileAtomic(Path(name, "prefs.js"), "user_pref(\"x\", 1);\n"));
  }
  EXPECT_FALSE(firefox.Restore()) << "nothing was in use any more";
  EXPECT_EQ(files.files[Path("one")], "user_pref(\"a\", 1);\r\n");
  EXPECT_FALSE(files.files.count(Path("two"))) << "the program made it, and it goes";
  EXPECT_EQ(userjs::StateOf(files.files[Path(".hidden-looking-but-not")]),
            userjs::State::PuttingBack);
}

TEST_F(FirefoxProxyTest, ProfilesWithoutTheProgramsLinesAreOnlyRead) {
  const std::vector<std::string> names = {"odd ", " lead", "plain"};
  for (const std::string& name : names) Profile(name, "mine();\r\n");
  EXPECT_FALSE(firefox.Restore());
  EXPECT_TRUE(files.writes.empty());
  // Windows keeps blanks inside a path; only a trimmed name misses the folder.
  firefox.Install(kProxy);
  EXPECT_EQ(files.writes, (std::vector<std::string>{Path("odd "), Path(" lead"), Path("plain")}));
  files.folders.clear();  // no Firefox at all
  EXPECT_EQ(firefox.Install(kProxy), 0);
  desktop.appData = std::nullopt;  // the shell cannot say where
  EXPECT_EQ(firefox.Install(kProxy), 0);
  EXPECT_EQ(files.listings.size(), 3u) << "nothing is listed without an application-data folder";
}

// The uninstaller's last step: Firefox never runs again before the block
// would be tidied, so prefs.js gets what one run would have saved.
TEST_F(FirefoxProxyTest, PutBackForGoodLeavesWhatOneFirefoxRunWouldHave) {
  const std::string own = "user_pref(\"network.proxy.type\", 4);\n";
  const std::string other = "user_pref(\"browser.x\", 1);\n";
  const struct {
    const char* what;
    std::optional<std::string> prefs;  // after Firefox ran with the proxy in use
    bool runs;
    std::optional<std::string> expected;  // nothing: no prefs.js
  } cases[] = {
      {"Firefox saved the program's values", other + kOwnLines + "tail();", false,
       // The bypass list was the profile's own value too, and stays.
       other + "user_pref(\"network.proxy.no_proxies_on\", \"\");\r\ntail();\r\n" +
           "user_pref(\"network.proxy.type\", 4);\r\n"},
      {"Firefox never ran", std::nullopt, false, "user_pref(\"network.proxy.type\", 4);\n"},
      {"Firefox runs on it", other + kOwnLines, true, std::nullopt},
      {"prefs.js in UTF-16", Utf16(u"user_pref(\"network.proxy.type\", 1);\n", false), false,
       std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    files.files.clear();
    files.folders.clear();
    files.held.clear();
    Profile("p", "mine();\r\n");
    files.files[Path("p", "prefs.js")] = own;
    firefox.Install(kProxy);
    if (c.prefs) files.files[Path("p", "prefs.js")] = *c.prefs;
    firefox.Restore();
    const std::string putBack = files.files[Path("p")];
    const std::string prefs = files.files[Path("p", "prefs.js")];
    if (c.runs) files.held.insert(Path("p", "parent.lock"));
    const bool settled = c.expected && !c.runs;
    EXPECT_EQ(firefox.PutBackForGood(), settled);
    EXPECT_EQ(files.files[Path("p")], settled ? "mine();\r\n" : putBack);
    EXPECT_EQ(files.files[Path("p", "prefs.js")], settled ? *c.expected : prefs);
  }
}

// Each refusal names the file it was about, so a reason fetched after other
// files were touched would show the wrong one.
class NamingRefusals : public fakes::FakeFileSystem {
 public:
  std::optional<std::string> ReadFile(const std::string& path) override {
    lastError = "reading " + path;
    return FakeFileSystem::ReadFile(path);
  }
  bool WriteFileAtomic(const std::string& path, std::string_view content) override {
    lastError = "writing " + path;
    return FakeFileSystem::WriteFileAtomic(path, content);
  }
};

TEST_F(FirefoxProxyTest, FileErrorsNameTheFirstFailingProfileAfterEveryOtherIsDone) {
  const auto path = [](const std::string& name) { return kProfiles + name + "\\user.js"; };
  const std::string installed = userjs::Install("mine();\r\n", true, "", kProxy);
  struct Case {
    bool install;
    std::set<std::string> readOnly, unreadable;
    std::string error;
  };
  const Case cases[] = {
      {true, {"b"}, {}, "Cannot create file \"" + path("b") + "\". writing " + path("b")},
      {false, {}, {"c"}, "Cannot open file \"" + path("c") + "\". reading " + path("c")},
      {false, {"b"}, {"c"}, "Cannot create file \"" + path("b") + "\". writing " + path("b")},
      {true, {"d"}, {}, "Cannot create file \"" + path("d") + "\". writing " + path("d")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    NamingRefusals refusing;
    FirefoxProxy proxy(refusing, desktop);
    for (const std::string name : {"a", "b", "c", "d"}) {
      refusing.folders[kProfiles].push_back(DirectoryEntry{name, true, false, false});
      refusing.files[path(name)] = c.install ? "mine();\r\n" : installed;
      if (c.readOnly.count(name)) refusing.readOnly.insert(path(name));
      if (c.unreadable.count(name)) refusing.unreadable.insert(path(name));
    }
    try {
      c.install ? static_cast<void>(proxy.Install(kProxy)) : static_cast<void>(proxy.Restore());
      ADD_FAILURE() << "no error";
    } catch (const FileError& e) {
      EXPECT_EQ(std::string(e.what()), c.error);
    }
    for (const std::string name : {"a", "b", "c", "d"}) {
      const bool failing = c.readOnly.count(name) || c.unreadable.count(name);
      EXPECT_EQ(userjs::StateOf(refusing.files[path(name)]) == userjs::State::InUse,
                c.install != failing)
          << name;
    }
  }
}

TEST_F(FirefoxProxyTest, WithoutProfilesFolderTheFirefoxOptionsAreGreyedAndStoredOff) {
  files.folders.clear();
  Ini() = "[Options]\r\nStartUp=1\r\nFirefox=1\r\n";
  Start();
  EXPECT_TRUE(app.form.options.firefoxBox.Checked());
  app.ShowView(ui::View::Options);
  EXPECT_FALSE(app.form.options.firefoxBox.Checked());
  EXPECT_FALSE(app.form.options.firefoxBox.Enabled());
  EXPECT_FALSE(app.form.options.firefoxCaption.Enabled());
  EXPECT_EQ(app.TEST_Settings().ReadString(kOptionsSection, "Firefox", ""), "0");
  app.ShowView(ui::View::Privacy);
  EXPECT_FALSE(app.form.privacy.firefoxCookiesBox.Enabled());
  EXPECT_FALSE(app.form.privacy.firefoxHistoryBox.Checked());
  EXPECT_TRUE(app.form.privacy.firefoxFormHistoryBox.Checked()) << "the stored-passwords row stays";
  EXPECT_EQ(app.TEST_Settings().ReadString(kOptionsSection, "opt5", ""), "0");
  EXPECT_EQ(app.TEST_Settings().ReadString(kOptionsSection, "opt6", ""), "0");
}

}  // namespace
}  // namespace cloakwise
