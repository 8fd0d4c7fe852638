#include "ui/win32/main_window.h"

#include <optional>
#include <utility>

#include "platform/win32/wide.h"
#include "ui/win32/dpi.h"
#include "ui/win32/icon.h"
#include "ui/win32/keyboard_input.h"
#include "ui/win32/window_accessible.h"

namespace cloakwise::ui::win32 {
MainWindow::MainWindow(HINSTANCE instance, MainForm& form, platform::OwnerWindow& owner,
                       Actions actions, Layout* laidOut)
    : WindowShell(SystemScale()),
      form_(form),
      owner_(owner),
      actions_(std::move(actions)),
      ownLayout_(laidOut ? nullptr
                         : std::make_unique<Layout>(
                               form, FrameActions{[this] { HideToTray(); }, [this] { OpenMenu(); },
                                                  actions_.openVendorPage, [this] { StartDrag(); },
                                                  actions_.showView})),
      layout_(laidOut ? *laidOut : *ownLayout_),
      flatMenu_(scale_),
      minutesField_(form, onError),
      focus_(form, layout_),
      painter_(layout_, focus_, gdi_) {
  // A right click on the proxy list opens the list's own menu.
  form_.checker.proxyGrid.onContextMenu = [this] { OpenListMenu(); };
  windowIcon_ = MakeWindowIcon(scale_);
  const std::wstring className = platform::Widen(kMainWindowClass);
  WNDCLASSW wc = WindowClass(instance, className.c_str());
  wc.style = CS_DBLCLKS;  // a double click on the proxy list uses the proxy
  wc.hIcon = windowIcon_;
  RegisterClassW(&wc);

  const RECT at = CentredOnScreen(Layout::kWidth, Layout::kHeight, scale_);
  window_ = CreateWindowExW(
      0, className.c_str(), L"Cloakwise", WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
      at.left, at.top, at.right - at.left, at.bottom - at.top, nullptr, nullptr, instance, this);
  owner_.Set(window_);
  minutesField_.Create(window_, instance, layout_, gdi_->fieldFace, scale_);
  // Centred by the primary monitor's scale; the window may open on another.
  if (const Scale own = WindowScale(window_); own != scale_) Rescale(own, nullptr);
  showRequest_ = RegisterWindowMessageW(platform::Widen(kShowRequestMessage).c_str());
  form_.SetObserver(this);
  tray_.Add(window_, form_.trayIcon);
}

MainWindow::~MainWindow() {
  form_.SetObserver(nullptr);
  if (window_) {
    Unbind(window_);
    DestroyWindow(window_);
  }
  DestroyIcon(windowIcon_);
}

void MainWindow::ControlChanged(const Control& control) {
  if (!window_) return;
  if (&control == &form_.window) {
    if (form_.window.Visible()) {
      ShowFromTray();
    } else {
      ShowWindow(window_, SW_HIDE);
    }
  } else if (&control == &form_.trayIcon) {
    tray_.Update(form_.trayIcon);
  } else {
    InvalidateRect(window_, nullptr, FALSE);
    minutesField_.Sync();
  }
}

void MainWindow::ShowFromTray() {
  if (IsIconic(window_)) ShowWindow(window_, SW_RESTORE);
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
}

void MainWindow::ShowAsAsked() {
  if (actions_.showMainWindow) actions_.showMainWindow();
  ShowFromTray();
}

void MainWindow::HideToTray() {
  form_.window.SetVisible(false);
}

void MainWindow::StartDrag() {
  ReleaseCapture();
  SendMessageW(window_, WM_SYSCOMMAND, 0xF012, 0);  // SC_MOVE by the caption
}

MenuItem* MainWindow::TrackMenu(const Menu& menu, UINT alignment) {
  POINT at;
  if (menuFromKeys_) {
    // Opened by the menu key: at the control with the focus (or at MENU),
    // not wherever the mouse was left.
    const Layout::Widget* anchor = focus_.Focused();
    if (!anchor) anchor = layout_.Find("MENU");
    const Rect r = scale_.ToPixels(anchor->rect);
    at = (alignment & TPM_BOTTOMALIGN) ? POINT{r.x, r.y} : POINT{r.x + r.w / 2, r.y + r.h / 2};
    ClientToScreen(window_, &at);
  } else {
    GetCursorPos(&at);
  }
  return flatMenu_.Track(window_, menu, at, alignment);
}

void MainWindow::OpenMenu() {
  if (actions_.mainMenuOpening) actions_.mainMenuOpening();
  // The main menu unfolds upwards from the mouse.
  if (MenuItem* item = TrackMenu(form_.mainMenu, TPM_BOTTOMALIGN)) item->Click();
}

void MainWindow::OpenListMenu() {
  if (actions_.listMenuOpening) actions_.listMenuOpening();
  if (MenuItem* item = TrackMenu(form_.listMenu, TPM_TOPALIGN | TPM_LEFTALIGN)) item->Click();
}

bool MainWindow::Rescale(const Scale& scale, const RECT* suggested) {
  scale_ = scale;
  RECT at;
  if (suggested) {
    at = *suggested;
  } else {
    GetWindowRect(window_, &at);
  }
  SetWindowPos(window_, nullptr, at.left, at.top, scale_.ToPixels(Layout::kWidth),
               scale_.ToPixels(Layout::kHeight), SWP_NOZORDER | SWP_NOACTIVATE);
  minutesField_.Place(scale_);
  flatMenu_.SetScale(scale_);
  HICON icon = MakeWindowIcon(scale_);
  SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  SetClassLongPtrW(window_, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
  DestroyIcon(std::exchange(windowIcon_, icon));
  InvalidateRect(window_, nullptr, FALSE);
  return true;
}

LRESULT MainWindow::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) window_ = window;
  if (tray_.ShellRestarted(message, form_.trayIcon)) return 0;
  if (message == showRequest_ && showRequest_ != 0) {
    if (actions_.closing && actions_.closing()) return kClosingAnswer;
    ShowAsAsked();
    return kShownAnswer;
  }
  if (MouseMessage(message, wParam, lParam)) return 0;
  if (const auto answer = minutesField_.ParentMessage(message, wParam, lParam)) return *answer;
  if (const auto answer = flatMenu_.OwnerMessage(message, lParam)) return *answer;
  switch (message) {
    case WM_GETOBJECT:
      // Everything is painted: a screen reader is told the controls by the
      // layout's description of them.
      if (static_cast<LONG>(lParam) != static_cast<LONG>(OBJID_CLIENT)) break;
      return WindowAccessible::Answer(
          window_, wParam, [this] { return ScreenReaderItems(); },
          [this](const Rect& r) { return ToRect(scale_.ToPixels(r)); });
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (KeyDown(message, wParam)) return 0;
      break;
    case TrayIcon::kMessage:
      TrayClicked(static_cast<UINT>(lParam));
      return 0;
    case WM_SYSCOMMAND:
      if (SystemCommand(wParam)) return 0;
      break;
    case WM_CLOSE:
      if (CloseQuery()) DestroyWindow(window_);
      return 0;
    case WM_QUERYENDSESSION:
    case WM_ENDSESSION:
      return SessionEnd(message, wParam);
    case WM_DESTROY:
      tray_.Remove();
      window_ = nullptr;
      owner_.Set(nullptr);
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool MainWindow::MouseMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  // The mouse in the layout's units.
  const POINT mouse = MouseUnits(lParam, scale_);
  const int x = mouse.x, y = mouse.y;
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      // A click elsewhere ends typing in the minutes field, as leaving it does.
      minutesField_.EndTyping();
      // As Windows does, the cue waits for the next key, and the focus is
      // where the click was.
      if (focus_.CueShown()) InvalidateRect(window_, nullptr, FALSE);
      focus_.MouseUsed(layout_.Hit(x, y));
      if (message == WM_LBUTTONDOWN) {
        layout_.LeftDown(x, y);
      } else {
        layout_.DoubleClick(x, y);
      }
      // A scroll bar thumb follows the mouse even outside the window.
      if (layout_.Capturing()) SetCapture(window_);
      return true;
    case WM_MOUSEMOVE:
      if (layout_.Capturing()) layout_.MouseMove(x, y);
      return true;
    case WM_LBUTTONUP: {
      const bool captured = layout_.Capturing();
      layout_.LeftClick(x, y);
      if (captured) ReleaseCapture();
      return true;
    }
    case WM_CAPTURECHANGED:
      // Another window took the mouse in the middle of a drag.
      if (layout_.Capturing() && reinterpret_cast<HWND>(lParam) != window_) layout_.CancelCapture();
      return true;
    case WM_RBUTTONUP:
      focus_.MouseUsed(layout_.Hit(x, y));  // a right click on the list focuses it too
      layout_.RightClick(x, y);
      return true;
    case WM_MOUSEWHEEL:
      layout_.Wheel(GET_WHEEL_DELTA_WPARAM(wParam));
      return true;
  }
  return false;
}

void MainWindow::TrayClicked(UINT mouseMessage) {
  if (mouseMessage == WM_LBUTTONUP) ShowAsAsked();
  if (mouseMessage == WM_RBUTTONUP) OpenMenu();
}

bool MainWindow::SystemCommand(WPARAM command) {
  // Minimising sends the window to the tray. Alt+F4 and the taskbar's Close
  // hide it too, as the close picture does; only the tray's Close, the
  // installer's WM_CLOSE and the end of the session end the program.
  if ((command & 0xFFF0) != SC_MINIMIZE && (command & 0xFFF0) != SC_CLOSE) return false;
  HideToTray();
  return true;
}

LRESULT MainWindow::SessionEnd(UINT message, WPARAM wParam) {
  if (message == WM_QUERYENDSESSION) {
    // Whatever the program has installed goes back first: the session may
    // end at any moment.
    if (actions_.sessionEnding) actions_.sessionEnding();
    return TRUE;
  }
  if (wParam) {
    DestroyWindow(window_);
  } else if (actions_.sessionEndCancelled) {
    actions_.sessionEndCancelled();
  }
  return 0;
}

std::vector<AccessibleItem> MainWindow::ScreenReaderItems() const {
  const Layout::Widget* focused = focus_.Focused();
  return AccessibleItems(layout_, focused ? focused->control : nullptr);
}

bool MainWindow::KeyDown(UINT message, WPARAM virtualKey) {
  // Of the system keys only Shift+F10 is the program's; Alt+F4 and the rest
  // stay Windows'.
  if (message == WM_SYSKEYDOWN && virtualKey != VK_F10) return false;
  const bool shift = KeyHeld(VK_SHIFT);
  const auto key = FocusKey(virtualKey, shift);
  if (!key) return false;
  const Layout::Widget* before = focus_.Focused();
  menuFromKeys_ = *key == KeyboardFocus::Key::Menu;
  const bool taken = focus_.KeyDown(*key, shift, KeyHeld(VK_CONTROL));
  menuFromKeys_ = false;
  if (!taken) return false;
  if (focus_.Focused() != before) WindowAccessible::FocusMoved(window_, ScreenReaderItems());
  // The minutes are typed into a real text field, which takes the keys
  // while it has the focus and hands Tab back.
  minutesField_.FollowFocus(focus_.Focused());
  InvalidateRect(window_, nullptr, FALSE);
  return true;
}

}  // namespace cloakwise::ui::win32
