#pragma once

#include "cleanup/cleanup_run.h"
#include "cleanup/cleanup_tasks.h"

// What Firefox keeps of the user's browsing, in every profile: the saved
// form entries, the cookies, the history, and the cache it keeps apart from
// the profiles. What Firefox holds while it runs, the run's report tells.
namespace cloakwise::cleanup {

// The Firefox task's files of every profile, and for the history task the
// history inside places.sqlite, the bookmarks kept.
void DeleteFirefoxFiles(const CleanupRun& run, CleanupTaskId task);

// Every file of every profile's cache.
void DeleteFirefoxCaches(const CleanupRun& run);

}  // namespace cloakwise::cleanup
