#pragma once

// What the loopback tools share as processes: a one-line-per-event log, a
// port file written in one step, and running until SIGINT, SIGTERM or a time
// limit.

#include <signal.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace cloakwise::tools {

// Lines go to the file (appended) or, without a path, to stderr; nothing when
// the file cannot be opened.
inline std::function<void(const std::string&)> OpenLineLog(const std::string& path) {
  FILE* file = path.empty() ? stderr : std::fopen(path.c_str(), "a");
  if (!file) return {};
  auto mutex = std::make_shared<std::mutex>();
  return [file, mutex](const std::string& line) {
    std::lock_guard lock(*mutex);
    std::fprintf(file, "%s\n", line.c_str());
    std::fflush(file);
  };
}

// Call before any thread starts: the threads inherit the blocked signals, so
// only WaitForStop takes them.
inline sigset_t BlockStopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  return signals;
}

inline void WaitForStop(const sigset_t& signals, int maxSeconds) {
  timespec wait{maxSeconds > 0 ? maxSeconds : 86400 * 365, 0};
  sigtimedwait(&signals, nullptr, &wait);
}

// A reader polling for the file never sees it half written.
inline void WritePortFile(const std::string& path, const std::string& text) {
  if (path.empty()) return;
  const std::string partial = path + ".part";
  std::ofstream(partial) << text;
  std::rename(partial.c_str(), path.c_str());
}

}  // namespace cloakwise::tools
