#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cleanup/cleanup_report.h"
#include "cleanup/cleanup_run.h"
#include "cleanup/cleanup_tasks.h"
#include "cleanup/folder_guard.h"
#include "cleanup/safe_delete.h"
#include "core/settings_store.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/sqlite.h"
#include "platform/ui_thread.h"
#include "platform/url_cache.h"
#include "ui/main_form.h"
#include "ui/message_box.h"

namespace cloakwise::cleanup {

// The privacy clean-up: the task boxes and captions of the privacy view,
// "APPLY" and the run it starts, and the run at start-up.
//
// User-interface thread only. Run from "APPLY" (wired here) or from
// start-up.
class PrivacyCleanup {
 public:
  PrivacyCleanup(ui::PrivacyView& view, ui::MessageBoxForm& messageBox, CleanupServices services,
                 SettingsStore& settings);

  // Every checked task in order, the status line telling which, and at the
  // end whether everything went: what stayed, and why, when something a
  // checked task was to remove is still there. A run by the user is
  // confirmed first; the start-up run is not, and a clipboard held by
  // another program does not end it. A run asked for while one is under way
  // (from its own yields) is refused.
  void Run(bool atStartup);
  // Each task's box as stored (checked unless stored off); each change is
  // written back, as a user's would be.
  void ApplyStoredChoices();
  // Without Firefox profiles the Firefox cookie and history tasks can do
  // nothing: each time the view is shown they are then greyed out and
  // stored as off. Nothing turns them on again while the program runs.
  void ViewShown();
  bool Running() const { return running_; }
  // Close and log-off: the run under way ends at its next yield, deleting
  // nothing more.
  void Stop() { stopping_ = running_; }

 private:
  void Wire();
  void OnTaskBoxChanged(const CleanupTask& task);
  void ShowStatus(const std::string& text);
  // Lets pending messages run; false once the run must stop.
  bool KeepAnswering();
  std::function<bool()> Stopped() {
    return [this] { return stopping_; };
  }
  // False only for a clipboard that could not be emptied.
  bool Perform(CleanupTaskId task);

  void DeleteFirefoxFiles(CleanupTaskId task);
  void DeleteFirefoxCaches();
  void DeleteChromiumParts(CleanupTaskId task);
  // What stayed of a checked task, as the last line tells it.
  void Stayed(const std::string& what);
  void KeptByRunning(std::string_view browser, CleanupTaskId task);
  // The folder in its final spelling, unless it is missing or one the
  // clean-up must not empty, which the last line then tells.
  std::optional<std::string> Emptiable(const std::optional<std::string>& folder);
  // Deletes a file of a browser's profile unless a link on its way leads out
  // of the profile (a synced folder, or one planted), which the last line
  // then tells; false when the file is held.
  bool RemoveFromProfile(const std::string& path, const std::string& finalProfile);

  ui::PrivacyView& view_;
  ui::MessageBoxForm& messageBox_;
  CleanupServices services_;
  SettingsStore& settings_;
  bool running_ = false;
  bool stopping_ = false;
  FolderGuard guard_;
  CleanupReport report_;  // of the run under way
};

}  // namespace cloakwise::cleanup
