#pragma once

#include <array>
#include <string_view>

#include "browsers/chromium_family.h"
#include "ui/main_form.h"

namespace cloakwise::cleanup {

enum class CleanupTaskId {
  IeCache,
  IeTypedUrls,
  IeCookies,
  IeHistory,
  FirefoxFormHistory,
  FirefoxCookies,
  FirefoxHistory,
  FirefoxCache,
  ChromiumCache,
  ChromiumCookies,
  ChromiumHistory,
  TempFiles,
  RecentDocuments,
  Clipboard,
  RecycleBin,
};

// One task of the clean-up: its box and caption on the privacy view, the
// options.ini key that stores the box, and the status text shown while it
// runs.
struct CleanupTask {
  CleanupTaskId id;
  ui::CheckBox ui::PrivacyView::*box;
  ui::BoxCaption ui::PrivacyView::*caption;
  const char* key;
  const char* statusText;
};

// In the order the clean-up runs them, the view shows them and start-up loads
// their boxes.
extern const std::array<CleanupTask, 15> kCleanupTasks;

// The files each Firefox task removes from every profile. Firefox's own
// files of today come with the old ones, each SQLite database with its
// journal companions; a file that also holds something the user keeps
// (places.sqlite: bookmarks beside the history; logins.json and key4.db:
// the saved passwords) is never among them.
std::array<std::string_view, 5> FirefoxFilesOf(CleanupTaskId task);

// What a browser's task removes, as the last line names it when a running
// browser kept it: "saved form entries", "cookies", "cache" or "history".
const char* PartOf(CleanupTaskId task);

using browsers::ChromiumBrowser;
using browsers::IsChromiumProfile;
using browsers::kChromiumBrowsers;

// What each Chromium task removes from a profile: folders (whose files go)
// and files, each with its journal where the browser keeps one. Never
// Bookmarks, Login Data, Preferences or Web Data.
struct ChromiumParts {
  std::array<std::string_view, 3> folders;
  std::array<std::string_view, 12> files;
};
ChromiumParts ChromiumPartsOf(CleanupTaskId task);

}  // namespace cloakwise::cleanup
