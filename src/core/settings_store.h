#pragma once

#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/files.h"

namespace cloakwise {

// A write the file system refused. The text is "Unable to write to <path>".
class SettingsWriteError : public std::runtime_error {
 public:
  explicit SettingsWriteError(const std::string& path)
      : std::runtime_error("Unable to write to " + path) {}
};

// options.ini. It caches nothing: every read goes to the file, and every write
// is in the file when it returns. The file is replaced whole on each write, so
// a search worker reading it while the user-interface thread writes it sees
// either the old or the new file, never a torn one, and a crash never leaves
// a half-written one. The one exception is a folder where no new file may be
// made: there the file is written in place (see Modify).
class SettingsStore {
 public:
  static constexpr std::size_t kMaxStringLength = 2047;

  // Opening the store clears away the temporary files that writes of
  // earlier runs left when they were killed.
  SettingsStore(platform::FileSystem& files, std::string path);

  const std::string& Path() const { return path_; }

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
  std::int32_t ReadInteger(std::string_view section, std::string_view key,
                           std::int32_t defaultValue) const;
  bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;
  bool ValueExists(std::string_view section, std::string_view key) const;
  // The entries of a section as "key=value" texts, in file order.
  std::vector<std::string> ReadSectionValues(std::string_view section) const;

  // Each write throws SettingsWriteError when the file cannot be replaced.
  // Names and values that would spill into another line are refused with
  // std::invalid_argument before anything is written.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);
  void EraseSection(std::string_view section);
  // The section erased and written anew with these entries, in this order, in
  // one replacement of the file: the same text as EraseSection followed by one
  // WriteString per entry, without rewriting the file once per entry, and a
  // reader never sees the section half written.
  void ReplaceSection(std::string_view section,
                      const std::vector<std::pair<std::string, std::string>>& entries);

 private:
  std::string ReadText() const;
  template <class Change>
  void Modify(Change&& change);

  platform::FileSystem& files_;
  std::string path_;
  // Writers hold it exclusively, so two writers never lose each other's
  // change; readers share it. The atomic replacement alone would keep
  // readers from seeing a torn file on Windows and Linux, but Wine refuses to
  // replace a file that another handle holds open, so our own readers step
  // aside while a write is under way.
  mutable std::shared_mutex mutex_;
};

}  // namespace cloakwise
