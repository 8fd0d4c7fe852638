#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/shell.h"
#include "platform/url_cache.h"

namespace cloakwise::fakes {

// Records every shell call as a line of text; the folders are what a test
// sets.
class FakeShell : public platform::Shell {
 public:
  std::optional<std::string> FolderPath(platform::ShellFolder folder) override {
    const auto found = folders.find(folder);
    if (found == folders.end()) return std::nullopt;
    return found->second;
  }
  std::optional<std::string> TempFolder() override { return tempFolder; }
  bool ShellDelete(const std::string& pathOrPattern) override {
    calls.push_back("ShellDelete " + pathOrPattern);
    if (onShellDelete) onShellDelete(pathOrPattern);
    return true;
  }
  bool EmptyRecycleBin() override {
    calls.push_back("EmptyRecycleBin");
    return true;
  }

  std::map<platform::ShellFolder, std::string> folders = {
      {platform::ShellFolder::Cookies, "C:\\Users\\u\\Cookies\\"},
      {platform::ShellFolder::History, "C:\\Users\\u\\History\\"},
      {platform::ShellFolder::Recent, "C:\\Users\\u\\Recent\\"},
      {platform::ShellFolder::Windows, "C:\\Windows\\"},
      {platform::ShellFolder::Profile, "C:\\Users\\u\\"},
      {platform::ShellFolder::LocalAppData, "C:\\Users\\u\\AppData\\Local\\"},
      {platform::ShellFolder::RoamingAppData, "C:\\Users\\u\\AppData\\Roaming\\"},
      {platform::ShellFolder::Documents, "C:\\Users\\u\\Documents\\"},
      {platform::ShellFolder::Public, "C:\\Users\\Public\\"},
      {platform::ShellFolder::ProgramFiles, "C:\\Program Files\\"},
  };
  std::optional<std::string> tempFolder = std::string("C:\\Users\\u\\Temp\\");
  std::vector<std::string> calls;
  // What the real shell would do to the files, when a test needs it done.
  std::function<void(const std::string&)> onShellDelete;
};

// A URL cache of the entries a test puts in; deleting one records it.
class FakeUrlCache : public platform::UrlCache {
 public:
  void ForEachEntry(const std::function<void(const std::string& url)>& visit) override {
    const std::vector<std::string> now = entries;
    for (const std::string& url : now) visit(url);
  }
  bool DeleteEntry(const std::string& url) override {
    deleted.push_back(url);
    std::erase(entries, url);
    return true;
  }
  std::vector<std::string> entries;
  std::vector<std::string> deleted;
};

}  // namespace cloakwise::fakes
