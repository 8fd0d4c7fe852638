#pragma once

#include <windows.h>

#include <atomic>

namespace cloakwise::ui::win32 {

// Windows ends a session once every top-level window agrees. Until the main
// window can clear the proxies when asked, no window of the program may
// agree, or the session could end with a proxy still installed.
inline std::atomic<bool> sessionEndHandled{false};

// What every window of the program but the main one answers to
// WM_QUERYENDSESSION.
inline LRESULT AnswerQueryEndSession() {
  return sessionEndHandled ? TRUE : FALSE;
}

}  // namespace cloakwise::ui::win32
