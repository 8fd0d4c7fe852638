#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cleanup/cleanup_report.h"
#include "cleanup/safe_delete.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/shell.h"

namespace cloakwise::cleanup {

// The folders no clean-up empties, nor any folder that holds one: Windows'
// own, the programs', and the user's, wherever an environment variable or a
// link points the temporary folder or a browser's.
class FolderGuard {
 public:
  FolderGuard(platform::FileSystem& files, platform::Shell& shell, platform::Desktop& desktop)
      : files_(files), shell_(shell), desktop_(desktop) {}

  // Learns where those folders are now, for the run about to start.
  void Know();
  // The folder in its final spelling, to be emptied there whatever its links
  // do meanwhile; nothing when it is missing, or one that must not be
  // emptied, which the report then tells.
  std::optional<std::string> Emptiable(const std::optional<std::string>& folder,
                                       CleanupReport& report);

 private:
  platform::FileSystem& files_;
  platform::Shell& shell_;
  platform::Desktop& desktop_;
  std::vector<KnownFolder> known_;
};

}  // namespace cloakwise::cleanup
