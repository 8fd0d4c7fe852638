#pragma once

#include <string>

#include "platform/files.h"
#include "platform/sqlite.h"

namespace cloakwise::cleanup {

// What became of a Firefox profile's history.
enum class HistoryOutcome {
  Cleared,   // or there was none to clear
  NoSqlite,  // the system has no SQLite: not touched
  InUse,     // Firefox holds the database: not touched
  Failed,    // SQLite refused the change: rolled back, not touched
};

// Deletes the history of the Firefox profile in folder (a path ending with
// its separator) from its places.sqlite, through SQLite: every visit, the
// address bar's typed and adaptive entries, and every page that is neither
// bookmarked nor tagged (nor given a keyword), with what belongs to those
// pages alone (annotations, origins, metadata, and their icons in
// favicons.sqlite). Bookmarks, tags and keywords stay, their pages as
// unvisited. Deleted content is overwritten in the file, and the whole
// change is one transaction: it is made completely or not at all.
// A Firefox that runs on the profile (it holds the profile's lock file)
// keeps the history as it is: it writes what it holds in memory back.
HistoryOutcome ClearFirefoxHistory(platform::Sqlite& sqlite, platform::FileSystem& files,
                                   const std::string& folder);

}  // namespace cloakwise::cleanup
