#include "cleanup/firefox_traces.h"

#include <string>

#include "browsers/firefox_profiles.h"
#include "cleanup/firefox_history.h"
#include "cleanup/profile_files.h"
#include "cleanup/safe_delete.h"

namespace cloakwise::cleanup {

void DeleteFirefoxFiles(const CleanupRun& run, CleanupTaskId task) {
  platform::FileSystem& files = run.services.files;
  for (std::string profile : browsers::FirefoxProfiles(run.services.desktop, files)) {
    if (run.stopped()) return;
    if (profile.back() != '\\') profile += '\\';
    const auto finalProfile = files.FinalFolderPath(profile);
    if (!finalProfile) continue;
    bool held = false;
    for (std::string_view name : FirefoxFilesOf(task)) {
      if (name.empty()) continue;
      if (!RemoveFromProfile(files, run.report, profile + std::string(name), *finalProfile)) {
        held = true;
      }
    }
    if (task == CleanupTaskId::FirefoxHistory) {
      switch (ClearFirefoxHistory(run.services.sqlite, files, profile)) {
        case HistoryOutcome::Cleared:
          break;
        case HistoryOutcome::NoSqlite:
          run.report.Stayed("Firefox's history stayed: this system has no SQLite");
          break;
        case HistoryOutcome::InUse:
          held = true;
          break;
        case HistoryOutcome::Failed:
          run.report.Stayed("Firefox's history stayed: its database refused the change");
          break;
      }
    }
    if (held) run.report.KeptByRunning("Firefox", PartOf(task));
  }
}

// Firefox keeps its cache apart from the profile, under the local
// application-data folder, in a folder of the profile's name.
void DeleteFirefoxCaches(const CleanupRun& run) {
  const auto local = LocalAppData(run.services.shell);
  if (!local) return;
  const std::string profiles = Join(*local, "Mozilla\\Firefox\\Profiles\\");
  const auto entries = run.services.files.ListDirectory(profiles);
  if (!entries) return;
  std::size_t held = 0;
  for (const platform::DirectoryEntry& entry : *entries) {
    if (run.stopped()) return;
    if (!entry.directory || entry.link) continue;
    const auto cache = run.guard.Emptiable(Join(profiles, entry.name + "\\cache2\\"), run.report);
    if (cache) {
      held += DeleteFilesRecursively(run.services.files, run.services.ui, *cache, run.stopped);
    }
  }
  if (held) run.report.KeptByRunning("Firefox", PartOf(CleanupTaskId::FirefoxCache));
}

}  // namespace cloakwise::cleanup
