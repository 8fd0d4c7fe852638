#pragma once

#include "cleanup/cleanup_run.h"
#include "cleanup/cleanup_tasks.h"

// What the Chromium browsers (Chrome, Edge, Chromium, Brave, Vivaldi) keep
// of the user's browsing, in every profile of each. What a browser holds
// while it runs, the run's report tells, one account per browser.
namespace cloakwise::cleanup {

// The Chromium task's folders (their files) and files, in every profile of
// every Chromium browser, letting messages run after each file.
void DeleteChromiumParts(const CleanupRun& run, CleanupTaskId task);

}  // namespace cloakwise::cleanup
