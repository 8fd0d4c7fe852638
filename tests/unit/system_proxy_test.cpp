#include "browserproxy/system_proxy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "fakes/fake_internet_options.h"
#include "fakes/fake_registry.h"

namespace cloakwise {
namespace {

using namespace platform;
using Connection = fakes::FakeInternetOptions::Connection;
using Data = fakes::FakeRegistry::Data;

const ProxyAddress kFirst{"1.2.3.4", 8080};
const ProxyAddress kSecond{"5.6.7.8", 3128};

Connection Conn(std::uint32_t flags, std::string server = "", std::string bypass = "",
                std::string url = "") {
  return {flags, std::move(server), std::move(bypass), std::move(url)};
}

// A user's Internet settings before the program touches them.
struct UserSettings {
  const char* name;
  std::map<std::string, Connection> connections;  // "" is the LAN
  std::vector<std::pair<std::string, Data>> values;
};

const UserSettings kSetups[] = {
    {"direct", {{"", Conn(kProxyTypeDirect)}}, {}},
    {"auto-detect", {{"", Conn(kProxyTypeDirect | kProxyTypeAutoDetect)}}, {{"ProxyEnable", 0u}}},
    {"configuration script",
     {{"", Conn(kProxyTypeDirect | kProxyTypeAutoProxyUrl, "", "", "http://wpad.corp/proxy.pac")}},
     {{"AutoConfigURL", std::string("http://wpad.corp/proxy.pac")}, {"ProxyEnable", 0u}}},
    {"own proxy and bypass list",
     {{"", Conn(kProxyTypeDirect | kProxyTypeProxy, "10.9.8.7:3128", "<local>;*.corp")}},
     {{"ProxyServer", std::string("10.9.8.7:3128")},
      {"ProxyEnable", 1u},
      {"ProxyOverride", std::string("<local>;*.corp")}}},
    {"several connections",
     {{"", Conn(kProxyTypeDirect)},
      {"Office VPN", Conn(kProxyTypeProxy, "10.0.0.1:8080", "<local>")},
      {"Dial-up", Conn(kProxyTypeDirect | kProxyTypeAutoDetect)}},
     {{"ProxyEnable", 0u}, {"ProxyServer", std::string("old:1")}}},
};

// What a user, or any program reading the settings, finds: each connection
// and stored value, and whether anything of the program's is left.
struct Seen {
  std::map<std::string, Connection> connections;
  std::map<std::string, std::optional<Data>> values;
  bool programKey = false;
  bool operator==(const Seen&) const = default;
};

class SystemProxyTest : public ::testing::Test {
 public:
  void Given(const UserSettings& setup) {
    options.connections = setup.connections;
    for (const auto& [name, _] : setup.connections) {
      if (!name.empty())
        registry.AddValue(RegistryRoot::CurrentUser, kConnectionsKey, name, "blob");
    }
    for (const auto& [name, data] : setup.values) {
      registry.AddValue(RegistryRoot::CurrentUser, kInternetSettingsKey, name, data);
    }
  }
  Seen Look() {
    Seen seen{options.connections, {}, registry.KeyExists(RegistryRoot::CurrentUser, kProgramKey)};
    for (const char* name : kSavedValueNames) {
      seen.values[name] = registry.Value(RegistryRoot::CurrentUser, kInternetSettingsKey, name);
    }
    return seen;
  }
  bool InUse(const ProxyAddress& proxy) {
    for (const auto& [name, c] : options.connections) {
      if (c.flags != kProxyTypeProxy || c.proxyServer != proxy.Text() || !c.proxyBypass.empty())
        return false;
    }
    return Look().values["ProxyServer"] == Data(proxy.Text()) &&
           Look().values["ProxyEnable"] == Data(1u);
  }
  // As a run killed in the middle of an install leaves it: the user's
  // settings noted, nothing yet of what the program made of them.
  void ForgetProgramPart() {
    ScopedKey key(registry, RegistryRoot::CurrentUser, kProgramKey, false);
    auto saved = DecodeSavedSettings(*registry.ReadString(key.get(), kSavedSettingsValue));
    saved->program.reset();
    registry.WriteString(key.get(), kSavedSettingsValue, EncodeSavedSettings(*saved));
  }

  fakes::FakeRegistry registry;
  fakes::FakeInternetOptions options;
  SystemProxy proxy{registry, options};
};

TEST_F(SystemProxyTest, TheUsersOwnSettingsComeBackExactlyHoweverTheProxyWent) {
  enum class Ending { Restored, AfterASecondInstall, KilledWhileInstalling };
  for (const UserSettings& setup : kSetups) {
    for (const Ending ending :
         {Ending::Restored, Ending::AfterASecondInstall, Ending::KilledWhileInstalling}) {
      SCOPED_TRACE(std::string(setup.name) + ", ending " +
                   std::to_string(static_cast<int>(ending)));
      registry = {};
      options = {};
      Given(setup);
      const Seen before = Look();
      proxy.Install(kFirst);
      ASSERT_TRUE(InUse(kFirst));
      if (ending == Ending::AfterASecondInstall) {
        proxy.Install(kSecond);
        ASSERT_TRUE(InUse(kSecond));
      }
      if (ending == Ending::KilledWhileInstalling) ForgetProgramPart();
      EXPECT_TRUE(proxy.Installed());
      // The next start's object, or the same one: the memory is the registry's.
      SystemProxy next(registry, options);
      EXPECT_TRUE(next.Restore());
      EXPECT_EQ(Look(), before);
      EXPECT_FALSE(next.Installed());
    }
  }
}

TEST_F(SystemProxyTest, ASettingTheUserChangedWhileTheProxyWasInUseStaysTheirs) {
  const struct {
    const char* what;
    std::function<void(SystemProxyTest&)> change;
    Connection lan;
    std::optional<Data> proxyOverride;
  } cases[] = {
      {"the bypass list",
       [](SystemProxyTest& t) {
         t.options.connections[""].proxyBypass = "*.new";
         t.registry.AddValue(RegistryRoot::CurrentUser, kInternetSettingsKey, "ProxyOverride",
                             std::string("*.new"));
       },
       Conn(kProxyTypeDirect | kProxyTypeProxy, "10.9.8.7:3128", "*.new"),
       Data(std::string("*.new"))},
      {"a proxy of their own",
       [](SystemProxyTest& t) { t.options.connections[""].proxyServer = "10.1.1.1:80"; },
       Conn(kProxyTypeDirect | kProxyTypeProxy, "10.1.1.1:80", "<local>;*.corp"),
       Data(std::string("<local>;*.corp"))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    registry = {};
    options = {};
    Given(kSetups[3]);
    proxy.Install(kFirst);
    c.change(*this);
    proxy.Install(kSecond);  // a rotation keeps the change as the user's
    proxy.Restore();
    EXPECT_EQ(options.connections[""], c.lan);
    EXPECT_EQ(Look().values["ProxyOverride"], c.proxyOverride);
    EXPECT_EQ(Look().values["ProxyServer"], Data(std::string("10.9.8.7:3128")));
  }
}

TEST_F(SystemProxyTest, InstallSavesFirstThenSetsTheLanAndEveryConnection) {
  Given(kSetups[4]);
  proxy.Install(kFirst);
  EXPECT_EQ(options.OptionCodes(), (std::vector<std::uint32_t>{38, 39, 75, 75, 75, 39, 37}));
  EXPECT_EQ(*options.calls[0].proxy, (ProxyInfo{kInternetOpenTypeProxy, "1.2.3.4:8080", ""}));
  const auto writes = options.PerConnectionWrites();
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[0],
            (PerConnectionOptionList{"",
                                     {{kPerConnFlags, kProxyTypeProxy},
                                      {kPerConnProxyBypass, std::string()},
                                      {kPerConnProxyServer, std::string("1.2.3.4:8080")}}}))
      << "the LAN first, which WinHTTP and the browsers following Windows read";
  EXPECT_EQ(writes[1].connection, "Dial-up") << "then the named ones, as the registry lists them";
  EXPECT_EQ(writes[2].connection, "Office VPN");
  // Noted before anything changes; what the program made of them, after.
  const auto at = [&](const std::string& prefix) {
    return std::find_if(registry.calls.begin(), registry.calls.end(),
                        [&](const std::string& call) { return call.rfind(prefix, 0) == 0; }) -
           registry.calls.begin();
  };
  const auto firstNote = at(std::string("WriteString ") + kSavedSettingsValue);
  EXPECT_LT(firstNote, at("WriteString ProxyServer=1.2.3.4:8080"));
  EXPECT_EQ(registry.calls.back(), "CloseKey");
  EXPECT_EQ(registry.calls[registry.calls.size() - 2].rfind(
                std::string("WriteString ") + kSavedSettingsValue, 0),
            0u);
}

TEST_F(SystemProxyTest, WithNothingOfTheProgramsInPlaceRestoreWritesNothing) {
  Given(kSetups[3]);
  EXPECT_FALSE(proxy.Restore());
  EXPECT_TRUE(options.calls.empty());
  for (const std::string& call : registry.calls) {
    EXPECT_TRUE(call.rfind("Write", 0) && call.rfind("Delete", 0)) << call;
  }
  // A restore that finds the user's settings already back writes none either.
  proxy.Install(kFirst);
  options.connections = kSetups[3].connections;
  registry.AddValue(RegistryRoot::CurrentUser, kInternetSettingsKey, "ProxyServer",
                    std::string("10.9.8.7:3128"));
  registry.AddValue(RegistryRoot::CurrentUser, kInternetSettingsKey, "ProxyEnable", 1u);
  options.calls.clear();
  EXPECT_TRUE(proxy.Restore());
  EXPECT_TRUE(options.calls.empty());
}

TEST_F(SystemProxyTest, WhatCannotBeReadIsNeitherChangedNorLeftBehind) {
  Given(kSetups[4]);
  options.unreadable.insert("Office VPN");
  const Seen before = Look();
  proxy.Install(kFirst);
  EXPECT_EQ(options.connections["Office VPN"], before.connections.at("Office VPN"));
  proxy.Restore();
  EXPECT_EQ(Look(), before);

  // A memory that is no record of ours, and an earlier build's note, go.
  for (const char* name : {kSavedSettingsValue, kLegacyInstalledProxyValue}) {
    registry.AddValue(RegistryRoot::CurrentUser, kProgramKey, name, std::string("garbage"));
    proxy.Restore();
    EXPECT_FALSE(registry.KeyExists(RegistryRoot::CurrentUser, kProgramKey)) << name;
    EXPECT_EQ(Look(), before);
  }
}

TEST(SavedSettingsRecord, ReadsBackWhatItWroteAndNothingElse) {
  SavedInternetSettings saved;
  saved.user.connections = {{"", 9, "", "", "http://wpad/x y%.pac"},
                            {"VPN é\n", 3, "h:1", "<local>", ""}};
  saved.user.values = {{"ProxyServer", RegistryValue{kRegSz, ""}},
                       {"ProxyEnable", RegistryValue{kRegDword, std::string("\x01\0\0\0", 4)}},
                       {"ProxyOverride", std::nullopt}};
  saved.program = saved.user;
  saved.program->connections[0].flags = 2;
  const std::string text = EncodeSavedSettings(saved);
  EXPECT_EQ(text.find_first_of(std::string("\r\t\0", 3)), std::string::npos);
  EXPECT_EQ(DecodeSavedSettings(text), saved);
  saved.program.reset();
  EXPECT_EQ(DecodeSavedSettings(EncodeSavedSettings(saved)), saved);

  const std::string header = "Cloakwise saved Internet settings 1\n";
  for (const std::string& bad :
       {std::string(), header, header + "user\n", std::string("x\nuser\nend\n"),
        header + "user\nend\nextra\n", header + "user\nconnection :a 1 :b :c\nend\n",
        header + "user\nvalue :a 1 :%Z\nend\n", header + "user\nconnection :a x :b :c :d\nend\n",
        header + "program\nend\n", header + "user\nvalue :a 4 :%0\nend\n",
        // Only the values the program saves, each once, each in a form it
        // can have: a planted name, a ProxyEnable of one byte, a text value
        // of another type, a value twice.
        header + "user\nvalue :EvilValue 1 :x\nend\n", header + "user\nvalue :EvilValue -\nend\n",
        header + "user\nvalue :ProxyEnable 4 :%01\nend\n",
        header + "user\nvalue :ProxyServer 4 :abcd\nend\n",
        header + "user\nvalue :ProxyServer 1 :a\nvalue :ProxyServer 1 :b\nend\n"}) {
    EXPECT_FALSE(DecodeSavedSettings(bad)) << bad;
  }
}

}  // namespace
}  // namespace cloakwise
