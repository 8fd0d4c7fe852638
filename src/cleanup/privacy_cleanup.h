#pragma once

#include <string>

#include "cleanup/cleanup_report.h"
#include "cleanup/cleanup_run.h"
#include "cleanup/cleanup_tasks.h"
#include "cleanup/folder_guard.h"
#include "core/settings_store.h"
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
  // Hands the task to the deleter of its traces; false only for a clipboard
  // that could not be emptied.
  bool Perform(CleanupTaskId task);

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
