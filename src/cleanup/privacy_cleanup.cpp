#include "cleanup/privacy_cleanup.h"

#include "browsers/firefox_profiles.h"
#include "cleanup/chromium_traces.h"
#include "cleanup/firefox_traces.h"
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
    report_.Stayed(kHeldClipboard);
  }
  if (stopping_) return;  // the program is ending: no line to show
  ShowStatus(report_.LastLine());
}

bool PrivacyCleanup::Perform(CleanupTaskId task) {
  const CleanupRun run{services_, guard_, report_, [this] { return stopping_; }};
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
      DeleteFirefoxFiles(run, task);
      break;
    case CleanupTaskId::FirefoxCache:
      DeleteFirefoxCaches(run);
      break;
    case CleanupTaskId::ChromiumCache:
    case CleanupTaskId::ChromiumCookies:
    case CleanupTaskId::ChromiumHistory:
      DeleteChromiumParts(run, task);
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

}  // namespace cloakwise::cleanup
