#include "fakes/fake_registry.h"

#include <algorithm>

#include "core/text.h"

namespace cloakwise::fakes {
namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

}  // namespace

std::string FakeRegistry::FullName(platform::RegistryRoot root, const std::string& path) {
  return (root == platform::RegistryRoot::CurrentUser ? "HKCU\\" : "HKLM\\") + path;
}

std::optional<platform::Registry::Key> FakeRegistry::OpenKey(platform::RegistryRoot root,
                                                             const std::string& path, bool create) {
  const std::string name = FullName(root, path);
  calls.push_back((create ? "CreateKey " : "OpenKey ") + name);
  const std::string id = Lower(name);
  if (denied_.count(id)) return std::nullopt;
  if (!keys_.count(id)) {
    if (!create) return std::nullopt;
    keys_[id];
  }
  const Key key = next_++;
  open_[key] = id;
  return key;
}

void FakeRegistry::CloseKey(Key key) {
  calls.push_back("CloseKey");
  open_.erase(key);
}

FakeRegistry::KeyData* FakeRegistry::Find(Key key) {
  const auto it = open_.find(key);
  return it == open_.end() ? nullptr : &keys_[it->second];
}

static void Store(std::vector<std::pair<std::string, FakeRegistry::Data>>& values,
                  const std::string& name, FakeRegistry::Data data) {
  for (auto& [n, d] : values) {
    if (text::EqualsIgnoreCase(n, name)) {
      d = std::move(data);
      return;
    }
  }
  values.emplace_back(name, std::move(data));
}

bool FakeRegistry::WriteString(Key key, const std::string& name, const std::string& value) {
  calls.push_back("WriteString " + name + "=" + value);
  KeyData* data = Find(key);
  if (!data) return false;
  Store(data->values, name, value);
  return true;
}

bool FakeRegistry::WriteDword(Key key, const std::string& name, std::uint32_t value) {
  calls.push_back("WriteDword " + name + "=" + std::to_string(value));
  KeyData* data = Find(key);
  if (!data) return false;
  Store(data->values, name, value);
  return true;
}

bool FakeRegistry::DeleteValue(Key key, const std::string& name) {
  calls.push_back("DeleteValue " + name);
  KeyData* data = Find(key);
  if (!data) return false;
  return std::erase_if(data->values,
                       [&](const auto& v) { return text::EqualsIgnoreCase(v.first, name); }) > 0;
}

std::vector<std::string> FakeRegistry::ListValueNames(Key key) {
  calls.push_back("ListValueNames");
  std::vector<std::string> names;
  if (KeyData* data = Find(key)) {
    for (const auto& v : data->values) names.push_back(v.first);
  }
  return names;
}

std::optional<std::string> FakeRegistry::ReadString(Key key, const std::string& name) {
  calls.push_back("ReadString " + name);
  KeyData* data = Find(key);
  if (!data) return std::nullopt;
  for (const auto& [n, d] : data->values) {
    if (text::EqualsIgnoreCase(n, name) && std::holds_alternative<std::string>(d)) {
      return std::get<std::string>(d);
    }
  }
  return std::nullopt;
}

std::optional<platform::RegistryValue> FakeRegistry::ReadValue(Key key, const std::string& name) {
  calls.push_back("ReadValue " + name);
  KeyData* data = Find(key);
  if (!data) return std::nullopt;
  for (const auto& [n, d] : data->values) {
    if (!text::EqualsIgnoreCase(n, name)) continue;
    if (const auto* text = std::get_if<std::string>(&d))
      return platform::RegistryValue{platform::kRegSz, *text};
    if (const auto* number = std::get_if<std::uint32_t>(&d)) {
      std::string bytes(4, '\0');
      for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((*number >> (8 * i)) & 0xFF);
      return platform::RegistryValue{platform::kRegDword, bytes};
    }
    return std::get<platform::RegistryValue>(d);
  }
  return std::nullopt;
}

bool FakeRegistry::WriteValue(Key key, const std::string& name,
                              const platform::RegistryValue& value) {
  Data data = value;
  std::string shown =
      "(type " + std::to_string(value.type) + ", " + std::to_string(value.data.size()) + " bytes)";
  if (value.type == platform::kRegSz) {
    data = value.data;
    shown = value.data;
  } else if (value.type == platform::kRegDword && value.data.size() == 4) {
    std::uint32_t number = 0;
    for (int i = 3; i >= 0; --i) number = number << 8 | static_cast<unsigned char>(value.data[i]);
    data = number;
    shown = "#" + std::to_string(number);
  }
  calls.push_back("WriteValue " + name + "=" + shown);
  KeyData* keyData = Find(key);
  if (!keyData) return false;
  Store(keyData->values, name, std::move(data));
  return true;
}

bool FakeRegistry::DeleteKey(platform::RegistryRoot root, const std::string& path) {
  const std::string id = Lower(FullName(root, path));
  calls.push_back("DeleteKey " + FullName(root, path));
  if (denied_.count(id) || !keys_.count(id)) return false;
  for (const auto& [other, _] : keys_) {
    if (other.size() > id.size() && other.compare(0, id.size() + 1, id + "\\") == 0) return false;
  }
  keys_.erase(id);
  return true;
}

void FakeRegistry::RemoveValue(platform::RegistryRoot root, const std::string& path,
                               const std::string& name) {
  const auto it = keys_.find(Lower(FullName(root, path)));
  if (it == keys_.end()) return;
  std::erase_if(it->second.values,
                [&](const auto& v) { return text::EqualsIgnoreCase(v.first, name); });
}

void FakeRegistry::AddValue(platform::RegistryRoot root, const std::string& path,
                            const std::string& name, Data data) {
  Store(keys_[Lower(FullName(root, path))].values, name, std::move(data));
}

bool FakeRegistry::KeyExists(platform::RegistryRoot root, const std::string& path) const {
  return keys_.count(Lower(FullName(root, path))) > 0;
}

std::optional<FakeRegistry::Data> FakeRegistry::Value(platform::RegistryRoot root,
                                                      const std::string& path,
                                                      const std::string& name) const {
  const auto it = keys_.find(Lower(FullName(root, path)));
  if (it == keys_.end()) return std::nullopt;
  for (const auto& [n, d] : it->second.values) {
    if (text::EqualsIgnoreCase(n, name)) return d;
  }
  return std::nullopt;
}

void FakeRegistry::Deny(platform::RegistryRoot root, const std::string& path) {
  denied_[Lower(FullName(root, path))] = true;
}

}  // namespace cloakwise::fakes
