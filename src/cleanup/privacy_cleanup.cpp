#include "cleanup/privacy_cleanup.h"

#include <algorithm>

#include "browsers/firefox_profiles.h"
#include "cleanup/firefox_history.h"
#include "cleanup/safe_delete.h"
#include "core/option_keys.h"

namespace cloakwise::cleanup {
namespace {

constexpr char kConfirmationTitle[] = "PC Privacy";
constexpr char kConfirmationText[] =
    "Before clicking \"OK\" please close all Internet Explorer and Firefox windows. The program "
    "may froze for few seconds while cleaning.";
constexpr char kClipboardError[] = "Cannot open clipboard";
constexpr char kHeldClipboard[] = "another program held the clipboard";
constexpr char kTypedUrlsKey[] = "Software\\Microsoft\\Internet Explorer\\TypedURLs";

// The task's word for what it removes, in a browser's name.
const char* WhatOf(CleanupTaskId task) {
  switch (task) {
    case CleanupTaskId::FirefoxFormHistory:
      return "saved form entries";
    case CleanupTaskId::FirefoxCookies:
    case CleanupTaskId::ChromiumCookies:
      return "cookies";
    case CleanupTaskId::FirefoxCache:
    case CleanupTaskId::ChromiumCache:
      return "cache";
    default:
      return "history";
  }
}

// A folder's sub-path written with '\\', joined with the folder's own
// separator.
std::string Join(const std::string& folder, std::string_view relative) {
  std::string path = folder;
  for (const char c : relative) path += c == '\\' ? folder.back() : c;
  return path;
}

}  // namespace

PrivacyCleanup::PrivacyCleanup(ui::PrivacyView& view, ui::MessageBoxForm& messageBox,
                               CleanupServices services, SettingsStore& settings)
    : view_(view),
      messageBox_(messageBox),
      services_(services),
      settings_(settings),
      guard_(services.files, services.shell, services.desktop) {
  Wire();
}

void PrivacyCleanup::Wire() {
  for (const CleanupTask& task : kCleanupTasks) {
    (view_.*task.box).onChange = [this, &task] { OnTaskBoxChanged(task); };
  }
  view_.applyButton.onClick = [this] { Run(false); };
}

void PrivacyCleanup::ViewShown() {
  if (browsers::HasFirefoxProfiles(services_.desktop, services_.files)) return;
  view_.firefoxCookiesCaption.SetEnabled(false);
  view_.firefoxHistoryCaption.SetEnabled(false);
  view_.firefoxCookiesBox.SetChecked(false);
  view_.firefoxHistoryBox.SetChecked(false);
  view_.firefoxCookiesBox.SetEnabled(false);
  view_.firefoxHistoryBox.SetEnabled(false);
}

void PrivacyCleanup::ApplyStoredChoices() {
  for (const CleanupTask& task : kCleanupTasks) {
    (view_.*task.box).SetChecked(settings_.ReadBool(kOptionsSection, task.key, true));
  }
}

void PrivacyCleanup::OnTaskBoxChanged(const CleanupTask& task) {
  settings_.WriteBool(kOptionsSection, task.key, (view_.*task.box).Checked());
}

void PrivacyCleanup::ShowStatus(const std::string& text) {
  view_.cleanupStatusLabel.SetCaption(text);
  // So the line repaints before a task that has no loop of its own.
  services_.ui.ProcessMessages();
}

bool PrivacyCleanup::KeepAnswering() {
  services_.ui.ProcessMessages();
  return !stopping_;
}

void PrivacyCleanup::Run(bool atStartup) {
  // The run lets messages through while it works; a second "APPLY" among
  // them would start a run inside the run.
  if (running_) return;
  running_ = true;
  stopping_ = false;
  struct Done {
    bool& running;
    bool& stopping;
    ~Done() { running = stopping = false; }
  } done{running_, stopping_};

  if (!atStartup) messageBox_.ShowMessageBox(kConfirmationTitle, kConfirmationText);
  report_.Clear();
  guard_.Know();
  for (const CleanupTask& task : kCleanupTasks) {
    if (stopping_) return;
    if (!(view_.*task.box).Checked()) continue;
    ShowStatus(task.statusText);
    if (stopping_) return;
    if (Perform(task.id)) continue;
    if (!atStartup) {
      // The user is there to see it; the run ends at the clipboard.
      services_.desktop.ShowError(kClipboardError);
      return;
    }
    // Nobody waits for a box at start-up, and the program must start.
    Stayed(kHeldClipboard);
  }
  if (stopping_) return;  // the program is ending: no line to show
  ShowStatus(report_.LastLine());
}

void PrivacyCleanup::Stayed(const std::string& what) {
  report_.Stayed(what);
}

void PrivacyCleanup::KeptByRunning(std::string_view browser, CleanupTaskId task) {
  report_.KeptByRunning(browser, WhatOf(task));
}

bool PrivacyCleanup::Perform(CleanupTaskId task) {
  switch (task) {
    case CleanupTaskId::IeCache:
      DeleteUrlCacheEntries();
      break;
    case CleanupTaskId::IeTypedUrls:
      DeleteTypedUrls();
      break;
    case CleanupTaskId::IeCookies:
      DeleteWithShell(platform::ShellFolder::Cookies, "*.txt");
      break;
    case CleanupTaskId::IeHistory:
      DeleteHistoryFiles();
      break;
    case CleanupTaskId::FirefoxFormHistory:
    case CleanupTaskId::FirefoxCookies:
    case CleanupTaskId::FirefoxHistory:
      DeleteFirefoxFiles(task);
      break;
    case CleanupTaskId::FirefoxCache:
      DeleteFirefoxCaches();
      break;
    case CleanupTaskId::ChromiumCache:
    case CleanupTaskId::ChromiumCookies:
    case CleanupTaskId::ChromiumHistory:
      DeleteChromiumParts(task);
      break;
    case CleanupTaskId::TempFiles:
      DeleteTemporaryFiles();
      break;
    case CleanupTaskId::RecentDocuments:
      DeleteWithShell(platform::ShellFolder::Recent, "*.*");
      break;
    case CleanupTaskId::Clipboard:
      return services_.desktop.EmptyClipboard();
    case CleanupTaskId::RecycleBin:
      services_.shell.EmptyRecycleBin();
      break;
  }
  return true;
}

std::optional<std::string> PrivacyCleanup::Emptiable(const std::optional<std::string>& folder) {
  return guard_.Emptiable(folder, report_);
}

bool PrivacyCleanup::RemoveFromProfile(const std::string& path, const std::string& finalProfile) {
  switch (RemoveInside(services_.files, path, finalProfile)) {
    case InsideRemoval::Gone:
      return true;
    case InsideRemoval::Held:
      return false;
    case InsideRemoval::Outside:
      // One line for the folder, whatever number of its files was meant.
      Stayed(ParentFolder(path) + " was left alone: a link leads it out of the profile");
      return true;
  }
  return true;
}

void PrivacyCleanup::DeleteUrlCacheEntries() {
  services_.urlCache.ForEachEntry([this](const std::string& url) {
    if (stopping_) return;
    services_.urlCache.DeleteEntry(url);
    KeepAnswering();
  });
}

void PrivacyCleanup::DeleteTypedUrls() {
  platform::Registry& registry = services_.registry;
  const auto key = registry.OpenKey(platform::RegistryRoot::CurrentUser, kTypedUrlsKey, true);
  if (!key) return;
  // The names first: deleting while enumerating would skip values.
  for (const std::string& name : registry.ListValueNames(*key)) registry.DeleteValue(*key, name);
  registry.CloseKey(*key);
}

void PrivacyCleanup::DeleteWithShell(platform::ShellFolder which, const char* pattern) {
  const auto folder = Emptiable(services_.shell.FolderPath(which));
  if (!folder) return;
  // The shell's delete walks into folders, links among them: none may be
  // left for it to follow, or it does not go there at all.
  if (RemoveLinksBelow(services_.files, *folder, pattern)) {
    services_.shell.ShellDelete(*folder + pattern);
  }
}

void PrivacyCleanup::DeleteHistoryFiles() {
  if (const auto folder = Emptiable(services_.shell.FolderPath(platform::ShellFolder::History))) {
    DeleteFilesRecursively(services_.files, services_.ui, *folder, Stopped());
  }
}

void PrivacyCleanup::DeleteFirefoxFiles(CleanupTaskId task) {
  for (std::string profile : browsers::FirefoxProfiles(services_.desktop, services_.files)) {
    if (stopping_) return;
    if (profile.back() != '\\') profile += '\\';
    const auto finalProfile = services_.files.FinalFolderPath(profile);
    if (!finalProfile) continue;
    bool held = false;
    for (std::string_view name : FirefoxFilesOf(task)) {
      if (name.empty()) continue;
      if (!RemoveFromProfile(profile + std::string(name), *finalProfile)) held = true;
    }
    if (task == CleanupTaskId::FirefoxHistory) {
      switch (ClearFirefoxHistory(services_.sqlite, services_.files, profile)) {
        case HistoryOutcome::Cleared:
          break;
        case HistoryOutcome::NoSqlite:
          Stayed("Firefox's history stayed: this system has no SQLite");
          break;
        case HistoryOutcome::InUse:
          held = true;
          break;
        case HistoryOutcome::Failed:
          Stayed("Firefox's history stayed: its database refused the change");
          break;
      }
    }
    if (held) KeptByRunning("Firefox", task);
  }
}

// Firefox keeps its cache apart from the profile, under the local
// application-data folder, in a folder of the profile's name.
void PrivacyCleanup::DeleteFirefoxCaches() {
  const auto local =
      UsableFolder(services_.shell.FolderPath(platform::ShellFolder::LocalAppData), {});
  if (!local) return;
  const std::string profiles = Join(*local, "Mozilla\\Firefox\\Profiles\\");
  const auto entries = services_.files.ListDirectory(profiles);
  if (!entries) return;
  std::size_t held = 0;
  for (const platform::DirectoryEntry& entry : *entries) {
    if (stopping_) return;
    if (!entry.directory || entry.link) continue;
    if (const auto cache = Emptiable(Join(profiles, entry.name + "\\cache2\\"))) {
      held += DeleteFilesRecursively(services_.files, services_.ui, *cache, Stopped());
    }
  }
  if (held) KeptByRunning("Firefox", CleanupTaskId::FirefoxCache);
}

void PrivacyCleanup::DeleteChromiumParts(CleanupTaskId task) {
  const auto local =
      UsableFolder(services_.shell.FolderPath(platform::ShellFolder::LocalAppData), {});
  if (!local) return;
  const ChromiumParts parts = ChromiumPartsOf(task);
  for (const ChromiumBrowser& browser : kChromiumBrowsers) {
    const std::string userData = Join(*local, std::string(browser.userData) + "\\");
    const auto entries = services_.files.ListDirectory(userData);
    if (!entries) continue;
    std::size_t held = 0;
    for (const platform::DirectoryEntry& entry : *entries) {
      if (stopping_) return;
      if (!entry.directory || entry.link || !IsChromiumProfile(entry.name)) continue;
      const std::string profile = userData + entry.name + userData.back();
      const auto finalProfile = services_.files.FinalFolderPath(profile);
      if (!finalProfile) continue;
      for (std::string_view folder : parts.folders) {
        if (folder.empty()) continue;
        if (const auto usable = Emptiable(Join(profile, std::string(folder) + "\\"))) {
          held += DeleteFilesRecursively(services_.files, services_.ui, *usable, Stopped());
        }
      }
      for (std::string_view file : parts.files) {
        if (file.empty()) continue;
        if (!RemoveFromProfile(Join(profile, file), *finalProfile)) ++held;
        if (!KeepAnswering()) return;
      }
    }
    if (held) KeptByRunning(browser.name, task);
  }
}

void PrivacyCleanup::DeleteTemporaryFiles() {
  const auto temp = Emptiable(services_.shell.TempFolder());
  if (!temp) return;
  const std::size_t filesStayed =
      DeleteFilesRecursively(services_.files, services_.ui, *temp, Stopped());
  // Then the subfolders themselves, with whatever the walk left in them
  // (dot names, files in use), through the shell and so to the Recycle Bin
  // where it can. The temporary folder itself stays.
  const auto entries = services_.files.ListDirectory(*temp);
  if (!entries) return;
  std::size_t foldersStayed = 0;
  for (const platform::DirectoryEntry& entry : *entries) {
    if (!KeepAnswering()) return;
    if (!entry.directory || entry.hidden || entry.system) continue;
    const std::string path = *temp + entry.name;
    if (entry.link) {
      services_.files.RemoveFile(path);
      continue;
    }
    if (RemoveLinksBelow(services_.files, path + temp->back(), "*.*")) {
      services_.shell.ShellDelete(path);
    }
    // The shell works within MAX_PATH characters: what it left of a deep
    // tree goes here, folder by folder.
    if (services_.files.FinalFolderPath(path + temp->back())) {
      foldersStayed +=
          RemoveEmptyFolders(services_.files, services_.ui, path + temp->back(), Stopped());
    }
  }
  if (stopping_ || filesStayed + foldersStayed == 0) return;
  const auto count = [](std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  std::string what = filesStayed ? count(filesStayed, "temporary file", "temporary files") : "";
  if (foldersStayed) {
    what += filesStayed ? " and " + count(foldersStayed, "folder", "folders")
                        : count(foldersStayed, "temporary folder", "temporary folders");
  }
  // In use by a program, or refused: the two lines of the view have no
  // room for why.
  Stayed(what + " stayed");
}

}  // namespace cloakwise::cleanup
