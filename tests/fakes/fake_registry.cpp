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
