#include "cleanup/privacy_cleanup.h"

#include <algorithm>

#include "browsers/firefox_profiles.h"
#include "cleanup/firefox_history.h"
#include "cleanup/safe_delete.h"
#include "cleanup/windows_traces.h"
#include "core/option_keys.h"

namespace cloakwise::cleanup {
namespace {

constexpr char kConfirmationTitle[] = "PC Privacy";
constexpr char kConfirmationText[] =
    "Before clicking \"OK\" please close all Internet Explorer and Firefox windows. The program "
    "may froze for few seconds while cleaning.";
constexpr char kClipboardError[] = "Cannot open clipboard";
constexpr char kHeldClipboard[] = "another program held the clipboard";

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
  const CleanupRun run{services_, guard_, report_, Stopped()};
  switch (task) {
    case CleanupTaskId::IeCache:
      DeleteUrlCacheEntries(run);
      break;
    case CleanupTaskId::IeTypedUrls:
      DeleteTypedUrls(services_.registry);
      break;
    case CleanupTaskId::IeCookies:
      DeleteWithShell(run, platform::ShellFolder::Cookies, "*.txt");
      break;
    case CleanupTaskId::IeHistory:
      DeleteHistoryFiles(run);
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
      DeleteTemporaryFiles(run);
      break;
    case CleanupTaskId::RecentDocuments:
      DeleteWithShell(run, platform::ShellFolder::Recent, "*.*");
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

}  // namespace cloakwise::cleanup
