#include "ui/win32/main_window.h"

namespace cloakwise::ui::win32 {
namespace {

constexpr char kClassName[] = "TForm1";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, const std::string& title, int clientWidth,
                       int clientHeight) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszClassName = kClassName;
  RegisterClassA(&wc);

  RECT frame{0, 0, clientWidth, clientHeight};
  AdjustWindowRect(&frame, kStyle, FALSE);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  window_ = CreateWindowExA(0, kClassName, title.c_str(), kStyle, x, y, width, height, nullptr,
                            nullptr, instance, this);
}

MainWindow::~MainWindow() {
  if (window_) {
    SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
}

void MainWindow::Show() {
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    auto* self = static_cast<MainWindow*>(create->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self) return self->HandleMessage(message, wParam, lParam);
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window_, &ps);
      RECT client;
      GetClientRect(window_, &client);
      if (onPaint) onPaint(dc, client);
      EndPaint(window_, &ps);
      return 0;
    }
    case WM_CLOSE:
      if (CloseQuery()) DestroyWindow(window_);
      return 0;
    case WM_QUERYENDSESSION:
      // Logging off or shutting down: the same close query runs, and the
      // session is always allowed to end.
      CloseQuery();
      return TRUE;
    case WM_ENDSESSION:
      if (wParam) DestroyWindow(window_);
      return 0;
    case WM_DESTROY:
      window_ = nullptr;
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window_, message, wParam, lParam);
  }
}

}  // namespace cloakwise::ui::win32
