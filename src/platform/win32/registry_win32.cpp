#include <windows.h>

#include <cstring>

#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"

namespace cloakwise::platform {
namespace {

HKEY Handle(Registry::Key key) {
  return reinterpret_cast<HKEY>(key);
}

}  // namespace

std::optional<Registry::Key> Win32Registry::OpenKey(RegistryRoot root, const std::string& path,
                                                    bool create) {
  const HKEY base = root == RegistryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  const std::wstring widePath = Widen(path);
  HKEY key = nullptr;
  LONG status;
  if (create) {
    status = RegCreateKeyExW(base, widePath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_ALL_ACCESS, nullptr, &key, nullptr);
  } else {
    status = RegOpenKeyExW(base, widePath.c_str(), 0, KEY_ALL_ACCESS, &key);
    // An ordinary user may only read keys such as HKLM's; reading is all
    // that is asked of a key opened without creating it.
    if (status == ERROR_ACCESS_DENIED) {
      status = RegOpenKeyExW(base, widePath.c_str(), 0, KEY_READ, &key);
    }
  }
  if (status != ERROR_SUCCESS) return std::nullopt;
  return reinterpret_cast<Key>(key);
}

void Win32Registry::CloseKey(Key key) {
  RegCloseKey(Handle(key));
}

bool Win32Registry::WriteString(Key key, const std::string& name, const std::string& value) {
  // The size counts the closing NUL, which readers of REG_SZ expect.
  const std::wstring data = Widen(value);
  return RegSetValueExW(Handle(key), Widen(name).c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(data.c_str()),
                        static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool Win32Registry::WriteDword(Key key, const std::string& name, std::uint32_t value) {
  const DWORD data = value;
  return RegSetValueExW(Handle(key), Widen(name).c_str(), 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&data), sizeof data) == ERROR_SUCCESS;
}

bool Win32Registry::DeleteValue(Key key, const std::string& name) {
  return RegDeleteValueW(Handle(key), Widen(name).c_str()) == ERROR_SUCCESS;
}

std::vector<std::string> Win32Registry::ListValueNames(Key key) {
  std::vector<std::string> names;
  DWORD maxName = 0;
  if (RegQueryInfoKeyW(Handle(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       &maxName, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return names;
  }
  std::wstring buffer(maxName + 1, L'\0');
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(buffer.size());
    const LONG status = RegEnumValueW(Handle(key), index, buffer.data(), &length, nullptr, nullptr,
                                      nullptr, nullptr);
    if (status == ERROR_MORE_DATA) {
      // A value was added since the size was asked; try this index again.
      buffer.resize(buffer.size() * 2);
      --index;
      continue;
    }
    if (status != ERROR_SUCCESS) break;
    names.push_back(Narrow(std::wstring_view(buffer.data(), length)));
  }
  return names;
}

std::optional<std::string> Win32Registry::ReadString(Key key, const std::string& name) {
  const std::wstring wideName = Widen(name);
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(Handle(key), wideName.c_str(), nullptr, &type, nullptr, &size) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return std::nullopt;
  }
  // The data need not end in a NUL, nor even fill its last character.
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  if (RegQueryValueExW(Handle(key), wideName.c_str(), nullptr, &type,
                       reinterpret_cast<BYTE*>(value.data()), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  value.resize(size / sizeof(wchar_t));
  while (!value.empty() && value.back() == L'\0') value.pop_back();
  return Narrow(value);
}

std::optional<RegistryValue> Win32Registry::ReadValue(Key key, const std::string& name) {
  const std::wstring wideName = Widen(name);
  std::string bytes;
  DWORD type = 0;
  // A value may grow between asking its size and reading it: ask again.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = 0;
    if (RegQueryValueExW(Handle(key), wideName.c_str(), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
      return std::nullopt;
    }
    bytes.assign(size, '\0');
    const LONG status = RegQueryValueExW(Handle(key), wideName.c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(bytes.data()), &size);
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) return std::nullopt;
    bytes.resize(size);
    if (type != REG_SZ && type != REG_EXPAND_SZ) return RegistryValue{type, bytes};
    std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return RegistryValue{type, Narrow(text)};
  }
  return std::nullopt;
}

bool Win32Registry::WriteValue(Key key, const std::string& name, const RegistryValue& value) {
  const std::wstring wideName = Widen(name);
  if (value.type == REG_SZ || value.type == REG_EXPAND_SZ) {
    const std::wstring data = Widen(value.data);
    return RegSetValueExW(Handle(key), wideName.c_str(), 0, value.type,
                          reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  }
  return RegSetValueExW(Handle(key), wideName.c_str(), 0, value.type,
                        reinterpret_cast<const BYTE*>(value.data.data()),
                        static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS;
}

bool Win32Registry::DeleteKey(RegistryRoot root, const std::string& path) {
  const HKEY base = root == RegistryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  return RegDeleteKeyW(base, Widen(path).c_str()) == ERROR_SUCCESS;
}

}  // namespace cloakwise::platform
