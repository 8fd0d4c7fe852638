#include "browserproxy/system_proxy.h"

namespace cloakwise {

using namespace platform;

namespace {

const std::vector<std::uint32_t> kConnectionOptions = {kPerConnFlags, kPerConnProxyServer,
                                                       kPerConnProxyBypass, kPerConnAutoConfigUrl};

ConnectionSettings FromOptions(const PerConnectionOptionList& list) {
  ConnectionSettings settings;
  settings.connection = list.connection;
  for (const PerConnectionOption& option : list.options) {
    const auto* number = std::get_if<std::uint32_t>(&option.value);
    const auto* text = std::get_if<std::string>(&option.value);
    if (option.option == kPerConnFlags && number) settings.flags = *number;
    if (option.option == kPerConnProxyServer && text) settings.proxyServer = *text;
    if (option.option == kPerConnProxyBypass && text) settings.proxyBypass = *text;
    if (option.option == kPerConnAutoConfigUrl && text) settings.autoConfigUrl = *text;
  }
  return settings;
}

}  // namespace

std::vector<std::string> SystemProxy::ConnectionNames() {
  // The LAN first, then every named connection: a new profile (and Wine)
  // has none, and WinHTTP and the browsers that follow Windows read the LAN.
  std::vector<std::string> names{""};
  ScopedKey key(registry_, RegistryRoot::CurrentUser, kConnectionsKey, /*create=*/false);
  if (key) {
    for (std::string& name : registry_.ListValueNames(key.get())) {
      if (!name.empty()) names.push_back(std::move(name));
    }
  }
  return names;
}

std::vector<std::pair<std::string, std::optional<RegistryValue>>> SystemProxy::ReadValues() {
  std::vector<std::pair<std::string, std::optional<RegistryValue>>> values;
  ScopedKey key(registry_, RegistryRoot::CurrentUser, kInternetSettingsKey, /*create=*/false);
  for (const char* name : kSavedValueNames) {
    values.emplace_back(name, key ? registry_.ReadValue(key.get(), name) : std::nullopt);
  }
  return values;
}

// A connection whose settings cannot be read is left out: what cannot be put
// back is not changed either. The stored values are read first: Wine's
// WinInet writes ProxyEnable when it is asked for a connection's settings.
InternetSettings SystemProxy::Capture(const std::vector<std::string>& connections) {
  InternetSettings settings;
  settings.values = ReadValues();
  for (const auto& read : options_.QueryConnections(connections, kConnectionOptions)) {
    if (read) settings.connections.push_back(FromOptions(*read));
  }
  return settings;
}

std::optional<SavedInternetSettings> SystemProxy::ReadSaved(bool* unreadable) {
  ScopedKey key(registry_, RegistryRoot::CurrentUser, kProgramKey, /*create=*/false);
  if (!key) return std::nullopt;
  const auto text = registry_.ReadString(key.get(), kSavedSettingsValue);
  if (!text) return std::nullopt;
  auto saved = DecodeSavedSettings(*text);
  if (!saved && unreadable) *unreadable = true;
  return saved;
}

void SystemProxy::WriteSaved(const SavedInternetSettings& saved) {
  ScopedKey key(registry_, RegistryRoot::CurrentUser, kProgramKey, /*create=*/true);
  if (key) registry_.WriteString(key.get(), kSavedSettingsValue, EncodeSavedSettings(saved));
}

void ForgetProgramValues(Registry& registry, std::initializer_list<const char*> names) {
  bool empty = false;
  {
    ScopedKey key(registry, RegistryRoot::CurrentUser, kProgramKey, /*create=*/false);
    if (!key) return;
    for (const char* name : names) registry.DeleteValue(key.get(), name);
    empty = registry.ListValueNames(key.get()).empty();
  }
  if (empty) registry.DeleteKey(RegistryRoot::CurrentUser, kProgramKey);
}

void SystemProxy::ForgetSaved() {
  ForgetProgramValues(registry_, {kSavedSettingsValue, kLegacyInstalledProxyValue});
}

bool SystemProxy::LegacyNoteExists() {
  ScopedKey key(registry_, RegistryRoot::CurrentUser, kProgramKey, /*create=*/false);
  return key && registry_.ReadString(key.get(), kLegacyInstalledProxyValue).has_value();
}

bool SystemProxy::Installed() {
  bool unreadable = false;
  return ReadSaved(&unreadable).has_value() || unreadable;
}

void SystemProxy::Install(const ProxyAddress& proxy) {
  // The user's settings are saved before anything changes, and the note of
  // what the program made of them is dropped while it changes them: a run
  // killed in between leaves a memory that puts the user's back whole.
  const std::optional<SavedInternetSettings> earlier = ReadSaved();
  SavedInternetSettings saved;
  if (earlier) {
    // Installing over the program's own proxy: the connections stay those
    // saved first, and a setting the user changed meanwhile is theirs.
    std::vector<std::string> names;
    for (const ConnectionSettings& c : earlier->user.connections) names.push_back(c.connection);
    const InternetSettings now = Capture(names);
    saved.user =
        earlier->program ? KeepLaterChanges(earlier->user, *earlier->program, now) : earlier->user;
  } else {
    saved.user = Capture(ConnectionNames());
  }
  WriteSaved(saved);

  const std::string text = proxy.Text();
  options_.SetProxy(ProxyInfo{kInternetOpenTypeProxy, text, ""});
  options_.Notify(kInternetOptionSettingsChanged);
  for (const ConnectionSettings& c : saved.user.connections) {
    options_.SetPerConnection(PerConnectionOptionList{c.connection,
                                                      {{kPerConnFlags, kProxyTypeProxy},
                                                       {kPerConnProxyBypass, std::string()},
                                                       {kPerConnProxyServer, text}}});
  }
  options_.Notify(kInternetOptionSettingsChanged);
  options_.Notify(kInternetOptionRefresh);
  // The stored values come last, after the live settings have been
  // refreshed, as programs that read only them expect.
  {
    ScopedKey key(registry_, RegistryRoot::CurrentUser, kInternetSettingsKey, /*create=*/true);
    if (key) {
      registry_.WriteString(key.get(), "ProxyServer", text);
      registry_.WriteDword(key.get(), "ProxyEnable", 1);
    }
  }

  std::vector<std::string> names;
  for (const ConnectionSettings& c : saved.user.connections) names.push_back(c.connection);
  saved.program = Capture(names);
  WriteSaved(saved);
}

bool SystemProxy::Restore() {
  bool unreadable = false;
  const std::optional<SavedInternetSettings> saved = ReadSaved(&unreadable);
  if (!saved) {
    // A memory that cannot be read cannot be put back; keeping it would only
    // fail again at every start. An earlier build's note goes the same way.
    if (unreadable || LegacyNoteExists()) ForgetSaved();
    return unreadable;
  }
  std::vector<std::string> names;
  for (const ConnectionSettings& c : saved->user.connections) names.push_back(c.connection);
  const InternetSettings now = Capture(names);
  // Without the note of what the program made of them (a run killed while
  // installing), every setting goes back to the user's.
  const InternetSettings target =
      saved->program ? KeepLaterChanges(saved->user, *saved->program, now) : saved->user;

  WriteConnections(target, now);
  WriteValues(target);
  ForgetSaved();
  return true;
}

// Only what differs from now is written, so a restore that finds the user's
// settings in place changes nothing.
void SystemProxy::WriteConnections(const InternetSettings& target, const InternetSettings& now) {
  std::vector<const ConnectionSettings*> changed;
  const auto current = ConnectionsByName(now);
  for (const ConnectionSettings& c : target.connections) {
    const auto n = current.find(c.connection);
    if (n == current.end() || !(*n->second == c)) changed.push_back(&c);
  }
  if (changed.empty()) return;
  options_.SetProxy(ProxyInfo{kInternetOpenTypeDirect, "", ""});
  options_.Notify(kInternetOptionSettingsChanged);
  for (const ConnectionSettings* c : changed) {
    options_.SetPerConnection(PerConnectionOptionList{c->connection,
                                                      {{kPerConnFlags, c->flags},
                                                       {kPerConnProxyBypass, c->proxyBypass},
                                                       {kPerConnProxyServer, c->proxyServer},
                                                       {kPerConnAutoConfigUrl, c->autoConfigUrl}}});
  }
  options_.Notify(kInternetOptionSettingsChanged);
  options_.Notify(kInternetOptionRefresh);
}

// Read afresh: WinInet writes some of these values itself when a
// connection's settings are set.
void SystemProxy::WriteValues(const InternetSettings& target) {
  const auto now = ReadValues();
  ScopedKey key(registry_, RegistryRoot::CurrentUser, kInternetSettingsKey, /*create=*/true);
  if (!key) return;
  for (const auto& [name, value] : target.values) {
    std::optional<RegistryValue> current;
    for (const auto& [n, v] : now) {
      if (n == name) current = v;
    }
    if (current == value) continue;
    if (value) {
      registry_.WriteValue(key.get(), name, *value);
    } else {
      registry_.DeleteValue(key.get(), name);
    }
  }
}

}  // namespace cloakwise
