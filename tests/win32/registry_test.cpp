// The real registry of the Wine prefix, through the platform layer.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/win32/win32_platform.h"

namespace cloakwise::platform {
namespace {

constexpr char kTestKey[] = "Software\\CloakwiseTests\\Registry";

class Win32RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey); }
  void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey); }
  Win32Registry registry;
};

TEST_F(Win32RegistryTest, CreatesWritesListsReadsAndDeletes) {
  EXPECT_FALSE(registry.OpenKey(RegistryRoot::CurrentUser, kTestKey, false)) << "not there yet";
  {
    ScopedKey key(registry, RegistryRoot::CurrentUser, kTestKey, true);
    ASSERT_TRUE(key);
    EXPECT_TRUE(registry.ListValueNames(key.get()).empty());
    EXPECT_TRUE(registry.WriteString(key.get(), "Cloakwise", "\"C:\\Apps\\prog.exe\" /startup"));
    EXPECT_TRUE(registry.WriteDword(key.get(), "ProxyEnable", 1));
    EXPECT_TRUE(registry.WriteString(key.get(), std::string(200, 'n'), ""));
  }
  ScopedKey key(registry, RegistryRoot::CurrentUser, kTestKey, false);
  ASSERT_TRUE(key);
  EXPECT_EQ(registry.ReadString(key.get(), "cloakwise"), "\"C:\\Apps\\prog.exe\" /startup");
  EXPECT_EQ(registry.ReadString(key.get(), std::string(200, 'n')), "");
  EXPECT_EQ(registry.ReadString(key.get(), "ProxyEnable"), std::nullopt) << "not a text value";
  // Enumeration order is the registry's own (Wine sorts by name).
  auto names = registry.ListValueNames(key.get());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Cloakwise", "ProxyEnable", std::string(200, 'n')}));

  DWORD data = 0, size = sizeof data, type = 0;
  ASSERT_EQ(RegQueryValueExA(reinterpret_cast<HKEY>(key.get()), "ProxyEnable", nullptr, &type,
                             reinterpret_cast<BYTE*>(&data), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(data, 1u);

  EXPECT_TRUE(registry.DeleteValue(key.get(), "Cloakwise"));
  EXPECT_FALSE(registry.DeleteValue(key.get(), "Cloakwise")) << "already gone";
  EXPECT_EQ(registry.ReadString(key.get(), "Cloakwise"), std::nullopt);
}

TEST_F(Win32RegistryTest, LocalMachineOpensForReadingWithoutCreating) {
  ScopedKey key(registry, RegistryRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                false);
  ASSERT_TRUE(key);
  const auto folder = registry.ReadString(key.get(), "ProgramFilesDir");
  ASSERT_TRUE(folder);
  EXPECT_NE(folder->find(":\\"), std::string::npos) << *folder;
  EXPECT_FALSE(registry.OpenKey(RegistryRoot::LocalMachine, "SOFTWARE\\CloakwiseNoSuchKey", false));
}

}  // namespace
}  // namespace cloakwise::platform
