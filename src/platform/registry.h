#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cloakwise::platform {

enum class RegistryRoot { CurrentUser, LocalMachine };

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegDword = 4;

// A value as the registry holds it, whatever its type: text types (REG_SZ,
// REG_EXPAND_SZ) as UTF-8 text, every other type as its bytes (a REG_DWORD
// is four bytes, lowest first). What is read can be written back unchanged.
struct RegistryValue {
  std::uint32_t type = kRegSz;
  std::string data;
  friend bool operator==(const RegistryValue&, const RegistryValue&) = default;
};

// The Windows registry, as far as the program uses it. Keys are opened and
// closed inside the operation that needs them; every call reports failure by
// its result and never throws. Key paths, value names and string data are
// UTF-8; strings are stored as the registry's own Unicode REG_SZ.
//
// User-interface thread only: the proxy in use is put in and taken away there.
class Registry {
 public:
  using Key = std::uintptr_t;

  virtual ~Registry() = default;

  // Opens root\path with full access; with create, a missing key is created.
  virtual std::optional<Key> OpenKey(RegistryRoot root, const std::string& path, bool create) = 0;
  virtual void CloseKey(Key key) = 0;
  virtual bool WriteString(Key key, const std::string& name, const std::string& value) = 0;
  virtual bool WriteDword(Key key, const std::string& name, std::uint32_t value) = 0;
  virtual bool DeleteValue(Key key, const std::string& name) = 0;
  // All value names of the key, in the order the registry enumerates them.
  virtual std::vector<std::string> ListValueNames(Key key) = 0;
  virtual std::optional<std::string> ReadString(Key key, const std::string& name) = 0;
  // Any value, with its type; nothing when the value does not exist.
  virtual std::optional<RegistryValue> ReadValue(Key key, const std::string& name) = 0;
  virtual bool WriteValue(Key key, const std::string& name, const RegistryValue& value) = 0;
  // Removes root\path when it holds no subkey; its values go with it.
  virtual bool DeleteKey(RegistryRoot root, const std::string& path) = 0;
};

// Closes the key it holds when it goes out of scope.
class ScopedKey {
 public:
  ScopedKey(Registry& registry, RegistryRoot root, const std::string& path, bool create)
      : registry_(registry), key_(registry.OpenKey(root, path, create)) {}
  ~ScopedKey() {
    if (key_) registry_.CloseKey(*key_);
  }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;

  explicit operator bool() const { return key_.has_value(); }
  Registry::Key get() const { return *key_; }

 private:
  Registry& registry_;
  std::optional<Registry::Key> key_;
};

}  // namespace cloakwise::platform
