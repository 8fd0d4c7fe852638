#pragma once

#include <map>
#include <string>
#include <variant>
#include <vector>

#include "platform/registry.h"

namespace cloakwise::fakes {

// An in-memory registry that records every call as a line of text, in the
// form "Verb HKCU\path" or "Verb <name>=<data>", for tests to assert order and
// arguments.
class FakeRegistry : public platform::Registry {
 public:
  // Text and DWORD values as themselves; a value of any other type as the
  // registry would hand it over.
  using Data = std::variant<std::string, std::uint32_t, platform::RegistryValue>;

  std::optional<Key> OpenKey(platform::RegistryRoot root, const std::string& path,
                             bool create) override;
  void CloseKey(Key key) override;
  bool WriteString(Key key, const std::string& name, const std::string& value) override;
  bool WriteDword(Key key, const std::string& name, std::uint32_t value) override;
  bool DeleteValue(Key key, const std::string& name) override;
  std::vector<std::string> ListValueNames(Key key) override;
  std::optional<std::string> ReadString(Key key, const std::string& name) override;
  std::optional<platform::RegistryValue> ReadValue(Key key, const std::string& name) override;
  bool WriteValue(Key key, const std::string& name, const platform::RegistryValue& value) override;
  bool DeleteKey(platform::RegistryRoot root, const std::string& path) override;

  // Test set-up and inspection, not recorded.
  void AddValue(platform::RegistryRoot root, const std::string& path, const std::string& name,
                Data data);
  bool KeyExists(platform::RegistryRoot root, const std::string& path) const;
  std::optional<Data> Value(platform::RegistryRoot root, const std::string& path,
                            const std::string& name) const;
  // Keys that OpenKey refuses, as a failing registry would.
  void Deny(platform::RegistryRoot root, const std::string& path);
  void RemoveValue(platform::RegistryRoot root, const std::string& path, const std::string& name);
  int OpenKeyCount() const { return static_cast<int>(open_.size()); }

  std::vector<std::string> calls;

 private:
  struct KeyData {
    std::vector<std::pair<std::string, Data>> values;  // in enumeration order
  };
  static std::string FullName(platform::RegistryRoot root, const std::string& path);
  KeyData* Find(Key key);

  std::map<std::string, KeyData> keys_;  // by lower-case full name
  std::map<std::string, bool> denied_;
  std::map<Key, std::string> open_;
  Key next_ = 1;
};

}  // namespace cloakwise::fakes
