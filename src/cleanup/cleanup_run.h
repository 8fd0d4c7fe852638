#pragma once

#include <functional>

#include "cleanup/cleanup_report.h"
#include "cleanup/folder_guard.h"
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/sqlite.h"
#include "platform/ui_thread.h"
#include "platform/url_cache.h"

namespace cloakwise::cleanup {

struct CleanupServices {
  platform::FileSystem& files;
  platform::Shell& shell;
  platform::UrlCache& urlCache;
  platform::Registry& registry;
  platform::Desktop& desktop;
  platform::UiThread& ui;
  platform::Sqlite& sqlite;
};

// What a task's deleter works with while a run is under way: the platform,
// the run's folder guard (which has learnt the folders it refuses) and the
// report its last line is made from, and whether the run must stop.
struct CleanupRun {
  const CleanupServices& services;
  FolderGuard& guard;
  CleanupReport& report;
  // True once close or log-off asked the run to end: nothing more goes.
  std::function<bool()> stopped;

  // Lets pending messages run; false once the run must stop.
  bool KeepAnswering() const {
    services.ui.ProcessMessages();
    return !stopped();
  }
};

}  // namespace cloakwise::cleanup
