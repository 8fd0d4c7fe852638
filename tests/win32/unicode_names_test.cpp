// Names and texts in scripts that no 8-bit code page holds together, through
// the real platform layer: what goes in as UTF-8 comes back byte for byte.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/settings_store.h"
#include "platform/win32/desktop_win32.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"
#include "win32/temp_folder.h"

namespace cloakwise::platform {
namespace {

// Cyrillic, CJK, and characters beyond the 16-bit range that UTF-16 spells
// in two units.
const std::vector<std::string> kNames = {
    "\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB3\xD0\xB0",                   // Прога
    "\xE4\xBB\xA3\xE7\x90\x86 \xE8\xA8\xAD\xE5\xAE\x9A",          // 代理 設定
    "\xF0\x9F\x9B\xA1\xEF\xB8\x8F shield \xF0\x9F\xA6\x8A",       // 🛡️ shield 🦊
};

TEST(Win32Wide, ConvertsWholeTextsAndReplacesWhatIsNoUnicode) {
  const struct {
    std::string utf8;
    std::wstring utf16;
    bool roundTrips;
  } cases[] = {
      {"", L"", true},
      {std::string("a\0b", 3), std::wstring(L"a\0b", 3), true},
      {kNames[0], L"\u041F\u0440\u043E\u0433\u0430", true},
      {"\xF0\x9F\xA6\x8A", L"\xD83E\xDD8A", true},
      {"a\xFF" "b", L"a\xFFFD" L"b", false},       // a byte no UTF-8 starts with
      {"\xE2\x82" "b", L"\xFFFD" L"b", false},     // a character cut short
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Widen(c.utf8), c.utf16) << c.utf8;
    if (c.roundTrips) {
      EXPECT_EQ(Narrow(c.utf16), c.utf8);
    }
  }
  EXPECT_EQ(Narrow(L"x\xD83E"), "x\xEF\xBF\xBD") << "a lone surrogate half";
  const std::string longPath = "C:\\" + std::string(40000, 'p') + kNames[0];
  EXPECT_EQ(Narrow(Widen(longPath)), longPath) << "nothing is cut";
}

TEST(Win32UnicodeNames, FoldersFilesSettingsRegistryAndClipboardKeepEveryName) {
  testing::TempFolder root("unicode");
  Win32FileSystem files;
  Win32Registry registry;
  Win32Desktop desktop;
  const std::string testKey = "Software\\CloakwiseTests\\Unicode";
  RegDeleteTreeW(HKEY_CURRENT_USER, Widen(testKey).c_str());

  for (const std::string& name : kNames) {
    SCOPED_TRACE(name);
    const std::string folder = root.path() + name + "\\";
    ASSERT_TRUE(CreateDirectoryW(Widen(folder).c_str(), nullptr));

    // The settings file beside a program installed in such a folder.
    {
      SettingsStore store(files, folder + "options.ini");
      store.WriteInteger("Options", "ProxyChange", 7);
    }
    EXPECT_EQ(SettingsStore(files, folder + "options.ini").ReadInteger("Options", "ProxyChange", 0), 7);

    const std::string file = folder + name + ".txt";
    ASSERT_TRUE(files.WriteFileAtomic(file, name));
    EXPECT_TRUE(files.FileExists(file));
    EXPECT_EQ(files.ReadFile(file), name);

    auto listed = files.ListDirectory(folder);
    ASSERT_TRUE(listed);
    std::vector<std::string> names;
    for (const auto& entry : *listed) {
      names.push_back(entry.name);
      EXPECT_FALSE(entry.link) << entry.name << " is no link";
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected{name + ".txt", "options.ini"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);

    EXPECT_TRUE(files.RemoveFile(file));
    EXPECT_FALSE(files.FileExists(file));

    {
      ScopedKey key(registry, RegistryRoot::CurrentUser, testKey + "\\" + name, true);
      ASSERT_TRUE(key);
      const std::string exe = "\"" + folder + "cloakwise.exe\" /startup";
      EXPECT_TRUE(registry.WriteString(key.get(), name, exe));
      EXPECT_EQ(registry.ReadString(key.get(), name), exe);
      EXPECT_EQ(registry.ListValueNames(key.get()), std::vector<std::string>{name});
      EXPECT_TRUE(registry.DeleteValue(key.get(), name));
    }

    ASSERT_TRUE(desktop.SetClipboardText(name));
    std::wstring onClipboard;
    ASSERT_TRUE(OpenClipboard(nullptr));
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
      onClipboard = static_cast<const wchar_t*>(GlobalLock(data));
      GlobalUnlock(data);
    }
    CloseClipboard();
    EXPECT_EQ(Narrow(onClipboard), name);
  }

  // The folders themselves, listed from their parent.
  auto listed = files.ListDirectory(root.path());
  ASSERT_TRUE(listed);
  std::vector<std::string> names;
  for (const auto& entry : *listed) {
    EXPECT_TRUE(entry.directory);
    names.push_back(entry.name);
  }
  std::sort(names.begin(), names.end());
  std::vector<std::string> expected = kNames;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);
  desktop.EmptyClipboard();
  RegDeleteTreeW(HKEY_CURRENT_USER, Widen(testKey).c_str());
}

}  // namespace
}  // namespace cloakwise::platform
