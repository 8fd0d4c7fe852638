#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cleanup/cleanup_report.h"
#include "platform/files.h"
#include "platform/shell.h"

// Finding a browser's files and deleting them inside its profile, for the
// Firefox and the Chromium deleters alike.
namespace cloakwise::cleanup {

// A folder's sub-path written with '\\', joined with the folder's own
// separator.
std::string Join(const std::string& folder, std::string_view relative);

// The local application-data folder, where Firefox keeps its caches and the
// Chromium browsers their profiles; nothing when it is no usable folder.
std::optional<std::string> LocalAppData(platform::Shell& shell);

// Deletes a file of a browser's profile unless a link on its way leads out
// of the profile (a synced folder, or one planted), which the report then
// tells; false when the file is held.
bool RemoveFromProfile(platform::FileSystem& files, CleanupReport& report, const std::string& path,
                       const std::string& finalProfile);

}  // namespace cloakwise::cleanup
