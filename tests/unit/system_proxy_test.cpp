#include "browserproxy/system_proxy.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "fakes/fake_internet_options.h"
#include "fakes/fake_registry.h"

namespace cloakwise {
namespace {

using namespace platform;
using Codes = std::vector<std::uint32_t>;

class SystemProxyTest : public ::testing::Test {
 protected:
  void AddConnection(const std::string& name) {
    registry.AddValue(RegistryRoot::CurrentUser, kConnectionsKey, name, std::string("blob"));
  }
  std::optional<fakes::FakeRegistry::Data> Stored(const std::string& name) {
    return registry.Value(RegistryRoot::CurrentUser, kInternetSettingsKey, name);
  }
  static PerConnectionOptionList PerConnection(const std::string& name, std::uint32_t flags,
                                               const std::string& proxy) {
    return {name, {{kPerConnFlags, flags}, {kPerConnProxyBypass, std::string()},
                   {kPerConnProxyServer, proxy}}};
  }

  fakes::FakeRegistry registry;
  fakes::FakeInternetOptions options;
  SystemProxy proxy{registry, options};
};

TEST_F(SystemProxyTest, InstallRunsEveryStepInOrder) {
  proxy.SetSystemProxy("1.2.3.4", "8080");

  ASSERT_EQ(options.OptionCodes(), (Codes{38, 39, 39, 37}));
  EXPECT_EQ(*options.calls[0].proxy, (ProxyInfo{kInternetOpenTypeProxy, "1.2.3.4:8080", ""}));
  EXPECT_EQ(registry.calls, (std::vector<std::string>{
                                "CreateKey HKCU\\" + std::string(kConnectionsKey),
                                "ListValueNames",
                                "CloseKey",
                                "CreateKey HKCU\\" + std::string(kInternetSettingsKey),
                                "WriteString ProxyServer=1.2.3.4:8080",
                                "WriteDword ProxyEnable=1",
                                "CloseKey",
                            }));
  EXPECT_TRUE(registry.KeyExists(RegistryRoot::CurrentUser, kConnectionsKey))
      << "a missing Connections key is created";
  EXPECT_EQ(registry.OpenKeyCount(), 0);
}

// The note of the program's own proxy comes first and goes last, so a run
// killed at any point never leaves a proxy without it.
TEST_F(SystemProxyTest, TheProgramsProxyIsNotedBeforeItIsSetAndForgottenAfterItIsCleared) {
  const auto position = [&](const std::string& call) {
    return std::find(registry.calls.begin(), registry.calls.end(), call) - registry.calls.begin();
  };
  proxy.InstallProgramProxy("1.2.3.4", "8080");
  EXPECT_LT(position("WriteString " + std::string(kInstalledProxyValue) + "=1.2.3.4:8080"),
            position("WriteString ProxyServer=1.2.3.4:8080"));
  registry.calls.clear();
  proxy.ClearProgramProxy();
  EXPECT_LT(position("WriteString ProxyServer=:"),
            position("DeleteValue " + std::string(kInstalledProxyValue)));
  EXPECT_LT(position("DeleteValue " + std::string(kInstalledProxyValue)),
            static_cast<std::ptrdiff_t>(registry.calls.size()));
}

TEST_F(SystemProxyTest, ClearWritesTheColonAloneAndDirectEverywhere) {
  AddConnection("DefaultConnectionSettings");
  proxy.SetSystemProxy("", "");

  ASSERT_EQ(options.OptionCodes(), (Codes{38, 39, 75, 39, 37}));
  EXPECT_EQ(*options.calls[0].proxy, (ProxyInfo{kInternetOpenTypeDirect, ":", ""}));
  EXPECT_EQ(*options.calls[2].perConnection,
            PerConnection("DefaultConnectionSettings", kProxyTypeDirect, ":"));
  EXPECT_EQ(Stored("ProxyServer"), fakes::FakeRegistry::Data(std::string(":")));
  EXPECT_EQ(Stored("ProxyEnable"), fakes::FakeRegistry::Data(0u));
}

TEST_F(SystemProxyTest, OnlyTheColonAloneClears) {
  proxy.SetSystemProxy("", "8080");
  EXPECT_EQ(options.calls[0].proxy->accessType, kInternetOpenTypeProxy);
  EXPECT_EQ(options.calls[0].proxy->proxy, ":8080");
  EXPECT_EQ(Stored("ProxyServer"), fakes::FakeRegistry::Data(std::string(":8080")));
  EXPECT_EQ(Stored("ProxyEnable"), fakes::FakeRegistry::Data(1u));
}

TEST_F(SystemProxyTest, EachConnectionGetsItsOptionsBetweenTheTwoNotifications) {
  AddConnection("DefaultConnectionSettings");
  AddConnection("SavedLegacySettings");
  AddConnection("Office VPN");
  proxy.SetSystemProxy("10.0.0.1", "3128");

  ASSERT_EQ(options.OptionCodes(), (Codes{38, 39, 75, 75, 75, 39, 37}));
  EXPECT_EQ(*options.calls[2].perConnection,
            PerConnection("DefaultConnectionSettings", kProxyTypeProxy, "10.0.0.1:3128"));
  EXPECT_EQ(*options.calls[3].perConnection,
            PerConnection("SavedLegacySettings", kProxyTypeProxy, "10.0.0.1:3128"));
  EXPECT_EQ(*options.calls[4].perConnection,
            PerConnection("Office VPN", kProxyTypeProxy, "10.0.0.1:3128"));
}

TEST_F(SystemProxyTest, FailuresAreIgnoredAndLaterStepsStillRun) {
  options.result = false;
  registry.Deny(RegistryRoot::CurrentUser, kConnectionsKey);
  proxy.SetSystemProxy("1.2.3.4", "80");
  EXPECT_EQ(options.OptionCodes(), (Codes{38, 39, 39, 37}));
  EXPECT_EQ(Stored("ProxyServer"), fakes::FakeRegistry::Data(std::string("1.2.3.4:80")));

  registry.Deny(RegistryRoot::CurrentUser, kInternetSettingsKey);
  registry.calls.clear();
  proxy.SetSystemProxy("", "");
  EXPECT_EQ(registry.calls.back(), "CreateKey HKCU\\" + std::string(kInternetSettingsKey))
      << "nothing is written to a key that did not open";
  EXPECT_EQ(Stored("ProxyServer"), fakes::FakeRegistry::Data(std::string("1.2.3.4:80")));
}

TEST_F(SystemProxyTest, ProxyTextIsUsedUnchangedAndOtherValuesAreUntouched) {
  registry.AddValue(RegistryRoot::CurrentUser, kInternetSettingsKey, "ProxyOverride",
                    std::string("<local>"));
  proxy.SetSystemProxy(" host ", "80 ");
  EXPECT_EQ(Stored("ProxyServer"), fakes::FakeRegistry::Data(std::string(" host :80 ")));
  EXPECT_EQ(Stored("ProxyOverride"), fakes::FakeRegistry::Data(std::string("<local>")));
}

}  // namespace
}  // namespace cloakwise
