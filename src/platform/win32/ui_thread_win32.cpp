#include <windows.h>

#include <memory>

#include "platform/win32/wide.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/window_base.h"

namespace cloakwise::platform {
namespace {

constexpr UINT kPostedTask = WM_APP + 1;
constexpr UINT kSentTask = WM_APP + 2;
constexpr wchar_t kClassName[] = L"CloakwiseUiThread";

struct SentTask {
  const std::function<void()>* task;
  std::exception_ptr error;
};

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = WindowOwner<Win32UiThread>(window, message, lParam);
  if (self && (message == kPostedTask || message == kSentTask || message == WM_TIMER)) {
    return self->HandleMessage(message, wParam, lParam);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

Win32UiThread::Win32UiThread() : owner_(GetCurrentThreadId()) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kClassName;
  RegisterClassW(&wc);  // fails harmlessly when a second instance registers again
  window_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            GetModuleHandleW(nullptr), this);
}

Win32UiThread::~Win32UiThread() {
  {
    std::lock_guard lock(mutex_);
    shutdown_ = true;
  }
  const HWND window = static_cast<HWND>(window_);
  for (auto& [id, tick] : timers_) KillTimer(window, id);
  // Free what was posted but never ran.
  MSG msg;
  while (PeekMessageW(&msg, window, kPostedTask, kPostedTask, PM_REMOVE)) {
    delete reinterpret_cast<std::function<void()>*>(msg.lParam);
  }
  DestroyWindow(window);
}

void Win32UiThread::Post(std::function<void()> task) {
  auto payload = std::make_unique<std::function<void()>>(std::move(task));
  std::lock_guard lock(mutex_);
  if (shutdown_) return;
  if (PostMessageW(static_cast<HWND>(window_), kPostedTask, 0,
                   reinterpret_cast<LPARAM>(payload.get()))) {
    payload.release();  // the window procedure owns it now
  }
}

void Win32UiThread::Send(const std::function<void()>& task) {
  if (GetCurrentThreadId() == owner_) {
    task();
    return;
  }
  {
    std::lock_guard lock(mutex_);
    if (shutdown_) return;
  }
  // The data lives on this stack; SendMessage does not return before the
  // user-interface thread has finished with it (or the window is gone).
  SentTask sent{&task, nullptr};
  SendMessageW(static_cast<HWND>(window_), kSentTask, 0, reinterpret_cast<LPARAM>(&sent));
  if (sent.error) std::rethrow_exception(sent.error);
}

void Win32UiThread::ProcessMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Leave the quit request for the real message loop.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

int Win32UiThread::RunMessageLoop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

UiThread::TimerId Win32UiThread::StartTimer(std::uint32_t intervalMs,
                                            std::function<void()> onTick) {
  const TimerId id = nextTimer_++;
  timers_[id] = std::move(onTick);
  SetTimer(static_cast<HWND>(window_), id, intervalMs, nullptr);
  return id;
}

void Win32UiThread::StopTimer(TimerId id) {
  KillTimer(static_cast<HWND>(window_), id);
  timers_.erase(id);
}

void Win32UiThread::Report(std::exception_ptr error) {
  if (onError) {
    onError(error);
    return;
  }
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    MessageBoxW(nullptr, Widen(e.what()).c_str(), L"Cloakwise", MB_OK | MB_ICONERROR);
  } catch (...) {
    MessageBoxW(nullptr, L"Unexpected error", L"Cloakwise", MB_OK | MB_ICONERROR);
  }
}

std::intptr_t Win32UiThread::HandleMessage(unsigned message, std::uintptr_t wParam,
                                           std::intptr_t lParam) {
  // No exception may cross the window procedure: it would unwind through
  // the system's own frames.
  try {
    if (message == kPostedTask) {
      std::unique_ptr<std::function<void()>> task(reinterpret_cast<std::function<void()>*>(lParam));
      (*task)();
    } else if (message == kSentTask) {
      auto* sent = reinterpret_cast<SentTask*>(lParam);
      try {
        (*sent->task)();
      } catch (...) {
        sent->error = std::current_exception();
      }
    } else if (message == WM_TIMER) {
      const auto it = timers_.find(static_cast<TimerId>(wParam));
      if (it != timers_.end()) {
        auto onTick = it->second;  // the handler may stop its own timer
        onTick();
      }
    }
  } catch (...) {
    Report(std::current_exception());
  }
  return 0;
}

}  // namespace cloakwise::platform
