#include "browserproxy/firefox_proxy.h"

#include <gtest/gtest.h>

#include <set>

#include "core/option_keys.h"
#include "fakes/app_harness.h"

namespace cloakwise {
namespace {

using platform::DirectoryEntry;

constexpr char kInstall[] =
    "user_pref(\"network.proxy.type\", 1);\r\n"
    "user_pref(\"network.proxy.http\", \"1.2.3.4\");\r\n"
    "user_pref(\"network.proxy.http_port\",8080);\r\n"
    "user_pref(\"network.proxy.no_proxies_on\", \"\");\r\n";
constexpr char kClear[] =
    "user_pref(\"network.proxy.type\", 0);\r\n"
    "user_pref(\"network.proxy.http\", \"\");\r\n"
    "user_pref(\"network.proxy.http_port\",);\r\n"
    "user_pref(\"network.proxy.no_proxies_on\", \"\");\r\n";
constexpr char kNotice[] =
    "Proxy changed: If your Firefox browser is opened, you should restart it to activate the new "
    "proxy settings.";

class FirefoxProxyTest : public ::testing::Test, public fakes::AppHarness {
 protected:
  // Adds a profile folder; with content, its user.js too.
  void Profile(const std::string& name, std::optional<std::string> content = std::nullopt) {
    files.folders[kProfiles].push_back(DirectoryEntry{name, true, false, false});
    if (content) files.files[std::string(kProfiles) + name + "\\user.js"] = *content;
  }
  std::string UserJs(const std::string& name) {
    return files.files[std::string(kProfiles) + name + "\\user.js"];
  }
  FirefoxProxy& firefox = app.firefoxProxy;
  ui::MainForm& form() { return app.form; }
};

TEST_F(FirefoxProxyTest, InstallReplacesOldProxyLinesAndKeepsTheRest) {
  Profile("abc.default",
          "user_pref(\"browser.startup.homepage\", \"about:blank\");\n"
          "user_pref(\"network.proxy.type\", 0);\n"
          "\n"
          " user_pref(\"network.proxy.http\", \"kept\");\r"
          "user_pref(\"network.proxy.ftp\", \"gone\");\r\n"
          "user_pref(\"Network.proxy.http\", \"case differs\");");
  firefox.SetFirefoxProxy("1.2.3.4:8080", true, false);
  // Each line kept keeps its own end; the last one gets an end of its own.
  EXPECT_EQ(UserJs("abc.default"),
            std::string("user_pref(\"browser.startup.homepage\", \"about:blank\");\n"
                        "\n"
                        " user_pref(\"network.proxy.http\", \"kept\");\r"
                        "user_pref(\"Network.proxy.http\", \"case differs\");\r\n") +
                kInstall);
  EXPECT_TRUE(modal.shown.empty());
}

TEST_F(FirefoxProxyTest, EveryProfileIsReadAfreshAndTheNoticeComesOnceAfterAll) {
  Profile("one", "user_pref(\"a\", 1);\r\n");
  Profile("two");
  Profile(".hidden-looking-but-not");  // only the hidden attribute counts
  files.folders[kProfiles].push_back(DirectoryEntry{"hidden", true, true, false});
  files.folders[kProfiles].push_back(DirectoryEntry{"system", true, false, true});
  files.folders[kProfiles].push_back(DirectoryEntry{"profiles.ini", false, false, false});
  int writesWhenShown = -1;
  modal.whileShowing = [&] { writesWhenShown = static_cast<int>(files.writes.size()); };
  firefox.SetFirefoxProxy("1.2.3.4:8080", true, true);
  EXPECT_EQ(UserJs("one"), std::string("user_pref(\"a\", 1);\r\n") + kInstall);
  EXPECT_EQ(UserJs("two"), kInstall) << "nothing of the first profile's file";
  EXPECT_EQ(files.writes.size(), 3u);
  EXPECT_EQ(files.temporaryCleanups, files.writes) << "each write first clears what a killed one left";
  EXPECT_FALSE(files.files.count(std::string(kProfiles) + "hidden\\user.js"));
  EXPECT_FALSE(files.files.count(std::string(kProfiles) + "system\\user.js"));
  EXPECT_EQ(modal.shown, std::vector<std::string>{kNotice});
  EXPECT_EQ(writesWhenShown, 3) << "the notice follows the last write";
}

TEST_F(FirefoxProxyTest, ClearingWritesTheExactClearingLinesEvenWhenNothingWasInstalled) {
  Profile("p", "");
  firefox.SetFirefoxProxy("", false, false);
  EXPECT_EQ(UserJs("p"), kClear);
  firefox.SetFirefoxProxy("", false, false);
  EXPECT_EQ(UserJs("p"), kClear);
}

TEST_F(FirefoxProxyTest, NoProfilesMeansNoFilesAndNoNotice) {
  firefox.SetFirefoxProxy("1.2.3.4:8080", true, true);
  files.folders.clear();  // no Firefox at all
  firefox.SetFirefoxProxy("1.2.3.4:8080", true, true);
  desktop.appData = std::nullopt;  // the shell cannot say where
  firefox.SetFirefoxProxy("1.2.3.4:8080", true, true);
  EXPECT_TRUE(files.writes.empty());
  EXPECT_TRUE(modal.shown.empty());
  EXPECT_EQ(files.listings.size(), 2u) << "nothing is listed without an application-data folder";
}

TEST_F(FirefoxProxyTest, ProfileFolderNamesAreUsedExactlyAsListed) {
  // Windows keeps blanks inside a path; only a trimmed name misses the folder.
  const std::vector<std::string> names = {"odd ", " lead", "two  "};
  std::vector<std::string> paths;
  for (const std::string& name : names) {
    Profile(name, "mine();\r\n");
    paths.push_back(std::string(kProfiles) + name + "\\user.js");
  }
  firefox.SetFirefoxProxy("", false, false);
  EXPECT_EQ(files.writes, paths);
  for (const std::string& name : names) {
    EXPECT_EQ(UserJs(name), std::string("mine();\r\n") + kClear) << '"' << name << '"';
  }
}

TEST_F(FirefoxProxyTest, ProxyWithoutColonIsAllPort) {
  Profile("p");
  firefox.SetFirefoxProxy("1.2.3.4", true, false);
  EXPECT_NE(UserJs("p").find("user_pref(\"network.proxy.http\", \"\");\r\n"
                             "user_pref(\"network.proxy.http_port\",1.2.3.4);"),
            std::string::npos);
}

TEST_F(FirefoxProxyTest, EveryByteOfTheUsersLinesSurvives) {
  using namespace std::string_literals;
  const std::string proxyLine = "user_pref(\"network.proxy.type\", 1);\r\n";
  struct Case {
    std::string before, kept;
  };
  const Case cases[] = {
      // A NUL is a byte like any other: neither the end of the file nor of a
      // line, and a line that merely holds a proxy preference after it stays.
      {"keep();\r\n\0"s + proxyLine, "keep();\r\n\0"s + proxyLine},
      {"a\0b();\n"s + proxyLine + "c();\n\0"s, "a\0b();\nc();\n\0\r\n"s},
      // A UTF-8 mark stays in front and hides no proxy line.
      {"\xEF\xBB\xBF" + proxyLine + "mine();\n", "\xEF\xBB\xBFmine();\n"},
      {"\xEF\xBB\xBF", "\xEF\xBB\xBF"},
      // Lone CRs, bytes of another code page.
      {"a\rb\r" + proxyLine + "caf\xE9\r", "a\rb\rcaf\xE9\r"},
  };
  for (const Case& c : cases) {
    Profile("p", c.before);
    firefox.SetFirefoxProxy("", false, false);
    EXPECT_EQ(UserJs("p"), c.kept + kClear) << testing::PrintToString(c.before);
    files.folders[kProfiles].clear();
  }
}

// The bytes of text in UTF-16, byte-order mark first.
std::string Utf16(std::u16string_view text, bool bigEndian) {
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    bytes += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

TEST_F(FirefoxProxyTest, Utf16FilesAreRewrittenInTheirOwnEncoding) {
  using namespace std::string_literals;
  const std::u16string proxyLine = u"user_pref(\"network.proxy.type\", 1);\r\n";
  // U+0A0D is CR LF or LF CR as bytes, in either order, and still no line end.
  const std::u16string mine = u"mine(\u0A0D);\r\n\u0000\r\ncaf\u00E9();\nlast();"s;
  struct Case {
    bool bigEndian, enable;
    std::u16string before, kept;
    std::string stray;  // bytes after the last whole character
  };
  const Case cases[] = {
      {false, false, proxyLine + mine, mine + u"\r\n", ""},
      {true, true, mine + u"\r" + proxyLine, mine + u"\r", ""},
      {true, false, u"", u"", ""},
      // A last odd byte stays last, so the program's lines stay aligned.
      {false, true, u"a();", u"a();\r\n", "\x7F"},
  };
  for (const Case& c : cases) {
    Profile("p", Utf16(c.before, c.bigEndian) + c.stray);
    firefox.SetFirefoxProxy("1.2.3.4:8080", c.enable, false);
    const std::string ours = c.enable ? kInstall : kClear;
    EXPECT_EQ(UserJs("p"),
              Utf16(c.kept + std::u16string(ours.begin(), ours.end()), c.bigEndian) + c.stray)
        << testing::PrintToString(Utf16(c.before, c.bigEndian) + c.stray);
    files.folders[kProfiles].clear();
  }
}

TEST_F(FirefoxProxyTest, ProxyTextsThatWouldBreakOutOfThePreferenceAreRefusedBeforeAnyWrite) {
  Profile("p", "mine();\r\n");
  for (const std::string evil : {"1.2.3.4\", evil(\":80", "1.2.3.4:80);evil(", "a\\b:80",
                                 "1.2.3.4:80\r\nuser_pref(\"x\", 1)"}) {
    EXPECT_THROW(firefox.SetFirefoxProxy(evil, true, true), UnsafeProxyText) << evil;
  }
  EXPECT_TRUE(files.writes.empty());
  EXPECT_TRUE(modal.shown.empty());
  EXPECT_EQ(UserJs("p"), "mine();\r\n");
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

TEST_F(FirefoxProxyTest, FileErrorsNameTheFirstFailingProfileAfterEveryOtherIsWritten) {
  const auto path = [](const std::string& name) { return kProfiles + name + "\\user.js"; };
  struct Case {
    bool enable;
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
    std::vector<std::string> shown;
    FirefoxProxy proxy(refusing, desktop, ui,
                       [&](const std::string& t, const std::string&) { shown.push_back(t); });
    for (const std::string name : {"a", "b", "c", "d"}) {
      refusing.folders[kProfiles].push_back(DirectoryEntry{name, true, false, false});
      refusing.files[path(name)] = "mine();\r\n";
      if (c.readOnly.count(name)) refusing.readOnly.insert(path(name));
      if (c.unreadable.count(name)) refusing.unreadable.insert(path(name));
    }
    try {
      proxy.SetFirefoxProxy("1.2.3.4:8080", c.enable, true);
      ADD_FAILURE() << "no error";
    } catch (const FileError& e) {
      EXPECT_EQ(std::string(e.what()), c.error);
    }
    for (const std::string name : {"a", "b", "c", "d"}) {
      const bool failing = c.readOnly.count(name) || c.unreadable.count(name);
      const std::string ours = failing ? "" : c.enable ? kInstall : kClear;
      EXPECT_EQ(refusing.files[path(name)], "mine();\r\n" + ours) << name;
    }
    EXPECT_TRUE(shown.empty()) << "the error stands in for the restart notice";
  }
}

TEST_F(FirefoxProxyTest, ExitClearsFirefoxAfterTheSystemProxyAndStaysWhenThatFails) {
  Start();
  Profile("p", std::string("mine();\r\n") + kInstall);
  form().mainMenu.closeItem.Click();
  EXPECT_EQ(UserJs("p"), std::string("mine();\r\n") + kClear);
  EXPECT_TRUE(desktop.quit);

  fakes::AppHarness failing;
  failing.Start();
  failing.files.folders[kProfiles].push_back(DirectoryEntry{"p", true, false, false});
  failing.files.readOnly.insert(std::string(kProfiles) + "p\\user.js");
  failing.files.folders[kProfiles].push_back(DirectoryEntry{"q", true, false, false});
  failing.app.form.mainMenu.closeItem.Click();
  EXPECT_FALSE(failing.desktop.quit) << "the close is abandoned";
  EXPECT_TRUE(failing.app.form.window.Visible());
  EXPECT_EQ(failing.desktop.calls.back().rfind("Error Cannot create file", 0), 0u);
  EXPECT_EQ(failing.files.files[std::string(kProfiles) + "q\\user.js"], kClear)
      << "the profile after the failing one is cleared all the same";
  EXPECT_EQ(failing.registry.Value(platform::RegistryRoot::CurrentUser, kInternetSettingsKey,
                                   "ProxyServer"),
            fakes::FakeRegistry::Data(std::string(":")))
      << "the system proxy was cleared before";
}

TEST_F(FirefoxProxyTest, WithoutProfilesFolderTheFirefoxOptionsAreGreyedAndStoredOff) {
  files.folders.clear();
  Ini() = "[Options]\r\nStartUp=1\r\nFirefox=1\r\n";
  Start();
  EXPECT_TRUE(form().options.firefoxBox.Checked());
  app.ShowView(ui::View::Options);
  EXPECT_FALSE(form().options.firefoxBox.Checked());
  EXPECT_FALSE(form().options.firefoxBox.Enabled());
  EXPECT_FALSE(form().options.firefoxCaption.Enabled());
  EXPECT_EQ(app.Settings().ReadString(kOptionsSection, "Firefox", ""), "0");
  app.ShowView(ui::View::Privacy);
  EXPECT_FALSE(form().privacy.firefoxCookiesBox.Enabled());
  EXPECT_FALSE(form().privacy.firefoxHistoryBox.Checked());
  EXPECT_TRUE(form().privacy.firefoxFormHistoryBox.Checked()) << "the stored-passwords row stays";
  EXPECT_EQ(app.Settings().ReadString(kOptionsSection, "opt5", ""), "0");
  EXPECT_EQ(app.Settings().ReadString(kOptionsSection, "opt6", ""), "0");
}

}  // namespace
}  // namespace cloakwise
