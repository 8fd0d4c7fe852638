#pragma once

#include "cleanup/cleanup_run.h"
#include "platform/registry.h"
#include "platform/shell.h"

// What Internet Explorer and the computer itself keep of the user's doings:
// Internet Explorer's cache, typed addresses, cookies and history, and the
// temporary files and recent documents. A folder the guard refuses, and
// what could not go, the run's report tells.
namespace cloakwise::cleanup {

// Every entry of the WinINet cache, letting messages run after each.
void DeleteUrlCacheEntries(const CleanupRun& run);

// Every value of the addresses typed into Internet Explorer's bar.
void DeleteTypedUrls(platform::Registry& registry);

// The shell folder's entries that match the pattern, through the shell's
// delete, once no link among them is left for it to follow.
void DeleteWithShell(const CleanupRun& run, platform::ShellFolder which, const char* pattern);

// Every file below Internet Explorer's history folder.
void DeleteHistoryFiles(const CleanupRun& run);

// Every file and subfolder of the temporary folder, which itself stays.
void DeleteTemporaryFiles(const CleanupRun& run);

}  // namespace cloakwise::cleanup
