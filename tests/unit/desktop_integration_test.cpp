#include "app/desktop_integration.h"

#include <gtest/gtest.h>

#include "app/vendor.h"
#include "fakes/fake_desktop.h"
#include "fakes/fake_files.h"
#include "fakes/fake_registry.h"

namespace cloakwise {
namespace {

using platform::RegistryRoot;
using Data = fakes::FakeRegistry::Data;

class DesktopIntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override { desktop.exePath = "C:\\Apps\\prog.exe"; }
  void GiveProgramFiles(const std::string& folder) {
    registry.AddValue(RegistryRoot::LocalMachine, kCurrentVersionKey, "ProgramFilesDir", folder);
  }

  fakes::FakeRegistry registry;
  fakes::FakeFileSystem files;
  fakes::FakeDesktop desktop;
  DesktopIntegration integration{registry, files, desktop};
};

TEST_F(DesktopIntegrationTest, RunAtStartupWritesBothValuesAndDisablingKeepsTheFlag) {
  integration.SetRunAtStartup(true);
  EXPECT_EQ(registry.Value(RegistryRoot::CurrentUser, kRunKey, "Cloakwise"),
            Data(std::string("\"C:\\Apps\\prog.exe\" /startup")));
  EXPECT_EQ(registry.Value(RegistryRoot::CurrentUser, kLayersKey, "C:\\Apps\\prog.exe"),
            Data(std::string("RUNASADMIN")));

  registry.calls.clear();
  integration.SetRunAtStartup(false);
  EXPECT_EQ(registry.calls, (std::vector<std::string>{
                                "CreateKey HKCU\\" + std::string(kLayersKey),
                                "WriteString C:\\Apps\\prog.exe=RUNASADMIN",
                                "CloseKey",
                                "CreateKey HKCU\\" + std::string(kRunKey),
                                "DeleteValue Cloakwise",
                                "CloseKey",
                            }));
  EXPECT_FALSE(registry.Value(RegistryRoot::CurrentUser, kRunKey, "Cloakwise"));
  EXPECT_TRUE(registry.Value(RegistryRoot::CurrentUser, kLayersKey, "C:\\Apps\\prog.exe"));
  integration.SetRunAtStartup(false);  // nothing to delete: no error either
}

TEST_F(DesktopIntegrationTest, OnlineUnlessInetIsOfflineSaysOtherwise) {
  desktop.inetIsOffline = 0;
  EXPECT_TRUE(integration.IsOnline());
  desktop.inetIsOffline = 1;
  EXPECT_FALSE(integration.IsOnline());
  desktop.inetIsOffline = -1;
  EXPECT_FALSE(integration.IsOnline());
  desktop.inetIsOffline = std::nullopt;  // no URL.DLL or no function
  EXPECT_TRUE(integration.IsOnline());
  EXPECT_EQ(desktop.calls.size(), 4u) << "the library is asked on every call";
}

TEST_F(DesktopIntegrationTest, WhatIsMyIpUsesInternetExplorerWhenItIsThere) {
  GiveProgramFiles("C:\\Program Files");
  files.files["C:\\Program Files\\Internet Explorer\\iexplore.exe"] = "";
  integration.OpenIpEchoPage();
  integration.BrowseAnonymously();
  EXPECT_EQ(desktop.calls,
            (std::vector<std::string>{
                "ShellOpen main C:\\Program Files\\Internet Explorer\\iexplore.exe | " +
                    std::string(kIpEchoPage),
                "ShellOpen main C:\\Program Files\\Internet Explorer\\iexplore.exe | "}));
}

TEST_F(DesktopIntegrationTest, WithoutTheBrowserThePageOpensInTheDefaultBrowser) {
  GiveProgramFiles("C:\\Program Files\\");
  integration.OpenIpEchoPage();
  integration.BrowseAnonymously();
  EXPECT_EQ(desktop.calls, (std::vector<std::string>{"ShellOpen app " + std::string(kIpEchoPage) + " | ",
                                                     "ShellOpen app  | "}));
}

TEST_F(DesktopIntegrationTest, WithoutProgramFilesNoBrowserIsLookedUpOnTheCurrentDrive) {
  files.files["\\Internet Explorer\\iexplore.exe"] = "";
  EXPECT_EQ(integration.GetProgramFilesFolder(), "");
  integration.OpenIpEchoPage();
  EXPECT_EQ(desktop.calls, (std::vector<std::string>{"ShellOpen app " + std::string(kIpEchoPage) + " | "}));
  EXPECT_EQ(registry.calls.front(), "OpenKey HKLM\\" + std::string(kCurrentVersionKey))
      << "opened without creating it";
}

TEST_F(DesktopIntegrationTest, HelpOpensTheFileAndTheOptionsTopicByName) {
  integration.OpenHelp();
  integration.OpenOptionsHelp();
  EXPECT_EQ(desktop.calls,
            (std::vector<std::string>{"Help help.chm", "Help help.chm::/options.htm"}));
}

}  // namespace
}  // namespace cloakwise
