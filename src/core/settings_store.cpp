#include "core/settings_store.h"

#include "core/ini_text.h"
#include "core/text.h"

namespace cloakwise {
namespace {

bool HasLineBreakOrNul(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != s.npos;
}

// Names that would spill into another line, or that the reader would take
// apart differently (blanks it trims, a key read as a comment), could never
// be found again: each write of one would add another line.
void CheckName(std::string_view what, std::string_view name) {
  if (name.empty() || HasLineBreakOrNul(name) || name.find_first_of("=[]") != name.npos ||
      text::IsBlank(name.front()) || text::IsBlank(name.back()) ||
      (what == "key" && name.front() == ';')) {
    throw std::invalid_argument("settings: unusable " + std::string(what) + " name");
  }
}

}  // namespace

SettingsStore::SettingsStore(platform::FileSystem& files, std::string path)
    : files_(files), path_(std::move(path)) {
  files_.RemoveAbandonedTemporaryFiles(path_);
}

std::string SettingsStore::ReadText() const {
  std::shared_lock lock(mutex_);
  return files_.ReadFile(path_).value_or(std::string());
}

std::string SettingsStore::ReadString(std::string_view section, std::string_view key,
                                      std::string_view defaultValue) const {
  auto value = ini::Document::Parse(ReadText()).Get(section, key);
  if (!value) return std::string(defaultValue);
  if (value->size() > kMaxStringLength) value->resize(kMaxStringLength);
  return *value;
}

std::int32_t SettingsStore::ReadInteger(std::string_view section, std::string_view key,
                                        std::int32_t defaultValue) const {
  const auto value = ini::Document::Parse(ReadText()).Get(section, key);
  if (!value) return defaultValue;
  return ini::ParseInteger(*value).value_or(defaultValue);
}

bool SettingsStore::ReadBool(std::string_view section, std::string_view key,
                             bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool SettingsStore::ValueExists(std::string_view section, std::string_view key) const {
  return ini::Document::Parse(ReadText()).Get(section, key).has_value();
}

std::vector<std::string> SettingsStore::ReadSectionValues(std::string_view section) const {
  std::vector<std::string> out;
  for (auto& [key, value] : ini::Document::Parse(ReadText()).Entries(section)) {
    out.push_back(key + "=" + value);
  }
  return out;
}

template <class Change>
void SettingsStore::Modify(Change&& change) {
  std::unique_lock lock(mutex_);
  auto current = files_.ReadFile(path_);
  // A file that exists but cannot be read must not be replaced by a file
  // holding only the one new value.
  if (!current && files_.FileExists(path_)) throw SettingsWriteError(path_);
  auto doc = ini::Document::Parse(current.value_or(std::string()));
  change(doc);
  const std::string content = doc.Serialize();
  if (files_.WriteFileAtomic(path_, content)) return;
  // A program folder the user may not add files to, with options.ini itself
  // left writable, has no room for the temporary file. Rather than refuse to
  // start, write through the file itself. That gives up what the temporary
  // file bought: a kill or power cut mid-write leaves options.ini torn, and
  // a reader in another process may see it half written. Our own readers
  // wait on the lock held here.
  if (!files_.WriteFileInPlace(path_, content)) throw SettingsWriteError(path_);
}

void SettingsStore::WriteString(std::string_view section, std::string_view key,
                                std::string_view value) {
  CheckName("section", section);
  CheckName("key", key);
  if (HasLineBreakOrNul(value)) throw std::invalid_argument("settings: value spans lines");
  Modify([&](ini::Document& doc) { doc.Set(section, key, value); });
}

void SettingsStore::WriteInteger(std::string_view section, std::string_view key,
                                 std::int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void SettingsStore::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void SettingsStore::EraseSection(std::string_view section) {
  CheckName("section", section);
  Modify([&](ini::Document& doc) { doc.EraseSection(section); });
}

void SettingsStore::ReplaceSection(
    std::string_view section, const std::vector<std::pair<std::string, std::string>>& entries) {
  CheckName("section", section);
  for (const auto& [key, value] : entries) {
    CheckName("key", key);
    if (HasLineBreakOrNul(value)) throw std::invalid_argument("settings: value spans lines");
  }
  Modify([&](ini::Document& doc) {
    doc.EraseSection(section);
    for (const auto& [key, value] : entries) doc.Set(section, key, value);
  });
}

}  // namespace cloakwise
