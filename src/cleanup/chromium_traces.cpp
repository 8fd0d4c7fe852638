#include "cleanup/chromium_traces.h"

#include <string>

#include "cleanup/profile_files.h"
#include "cleanup/safe_delete.h"

namespace cloakwise::cleanup {

void DeleteChromiumParts(const CleanupRun& run, CleanupTaskId task) {
  platform::FileSystem& files = run.services.files;
  const auto local = LocalAppData(run.services.shell);
  if (!local) return;
  const ChromiumParts parts = ChromiumPartsOf(task);
  for (const ChromiumBrowser& browser : kChromiumBrowsers) {
    const std::string userData = Join(*local, std::string(browser.userData) + "\\");
    const auto entries = files.ListDirectory(userData);
    if (!entries) continue;
    std::size_t held = 0;
    for (const platform::DirectoryEntry& entry : *entries) {
      if (run.stopped()) return;
      if (!entry.directory || entry.link || !IsChromiumProfile(entry.name)) continue;
      const std::string profile = userData + entry.name + userData.back();
      const auto finalProfile = files.FinalFolderPath(profile);
      if (!finalProfile) continue;
      for (std::string_view folder : parts.folders) {
        if (folder.empty()) continue;
        const auto usable =
            run.guard.Emptiable(Join(profile, std::string(folder) + "\\"), run.report);
        if (usable) held += DeleteFilesRecursively(files, run.services.ui, *usable, run.stopped);
      }
      for (std::string_view file : parts.files) {
        if (file.empty()) continue;
        if (!RemoveFromProfile(files, run.report, Join(profile, file), *finalProfile)) ++held;
        if (!run.KeepAnswering()) return;
      }
    }
    if (held) run.report.KeptByRunning(browser.name, PartOf(task));
  }
}

}  // namespace cloakwise::cleanup
