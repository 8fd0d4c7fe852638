#include "ui/win32/main_window.h"
#include "ui/win32/session_end.h"

#include <shellapi.h>

#include <cstring>
#include <optional>

#include "platform/win32/wide.h"
#include "ui/win32/grid_painter.h"
#include "ui/win32/paint.h"

namespace cloakwise::ui::win32 {
namespace {

constexpr UINT kTrayMessage = WM_APP + 10;
constexpr UINT kTrayId = 1;

// Puts as much of the text in a fixed field of the tray's data as fits, with
// its closing NUL, never half of a character that takes two units.
template <std::size_t N>
void CopyTrayText(wchar_t (&field)[N], const std::string& utf8) {
  const std::wstring text = platform::Widen(utf8);
  std::size_t length = text.size() < N - 1 ? text.size() : N - 1;
  if (length > 0 && length < text.size() && text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF) {
    --length;
  }
  text.copy(field, length);
  field[length] = L'\0';
}

// The tray icons are drawn here rather than shipped: a shield for the idle
// set, and eight frames of a turning dot around it while searching.
HICON MakeIcon(int frame) {
  const int size = 16;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP color = CreateCompatibleBitmap(screen, size, size);
  HBITMAP mask = CreateBitmap(size, size, 1, 1, nullptr);
  ReleaseDC(nullptr, screen);

  HGDIOBJ old = SelectObject(dc, mask);
  PatBlt(dc, 0, 0, size, size, BLACKNESS);  // every pixel opaque
  SelectObject(dc, color);
  RECT all{0, 0, size, size};
  FillSolidRect(dc, all, RGB(20, 24, 32));
  HBRUSH shield = CreateSolidBrush(frame < 0 ? RGB(120, 160, 200) : RGB(70, 200, 90));
  HGDIOBJ oldBrush = SelectObject(dc, shield);
  HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
  const POINT outline[] = {{3, 2}, {12, 2}, {12, 8}, {8, 14}, {3, 8}};
  Polygon(dc, outline, 5);
  if (frame >= 0) {
    static const POINT ring[8] = {{7, 0},  {13, 2}, {15, 7}, {13, 13},
                                  {7, 15}, {1, 13}, {0, 7},  {1, 2}};
    HBRUSH dot = CreateSolidBrush(RGB(255, 220, 60));
    SelectObject(dc, dot);
    Ellipse(dc, ring[frame].x - 1, ring[frame].y - 1, ring[frame].x + 3, ring[frame].y + 3);
    SelectObject(dc, shield);
    DeleteObject(dot);
  }
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  SelectObject(dc, old);
  DeleteObject(shield);
  DeleteDC(dc);

  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmColor = color;
  info.hbmMask = mask;
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(color);
  DeleteObject(mask);
  return icon;
}

// Adds the visible items of a menu, and of the menus its items unfold, to a
// popup menu; an item's command id is its place in `commands`, plus one.
void AppendItems(HMENU target, const Menu& menu, std::vector<MenuItem*>& commands) {
  for (MenuItem* item : menu.Items()) {
    if (!item->Visible()) continue;
    const UINT grayed = item->Enabled() ? 0 : MF_GRAYED;
    if (item->IsSeparator()) {
      AppendMenuA(target, MF_SEPARATOR, 0, nullptr);
    } else if (const Menu* submenu = item->Submenu()) {
      HMENU popup = CreatePopupMenu();
      AppendItems(popup, *submenu, commands);
      AppendMenuA(target, MF_STRING | MF_POPUP | grayed, reinterpret_cast<UINT_PTR>(popup),
                  item->Caption().c_str());
    } else {
      commands.push_back(item);
      AppendMenuA(target, MF_STRING | grayed, commands.size(), item->Caption().c_str());
    }
  }
}

std::optional<Grid::Key> GridKey(WPARAM key) {
  switch (key) {
    case VK_UP:
      return Grid::Key::Up;
    case VK_DOWN:
      return Grid::Key::Down;
    case VK_PRIOR:
      return Grid::Key::PageUp;
    case VK_NEXT:
      return Grid::Key::PageDown;
    case VK_HOME:
      return Grid::Key::Home;
    case VK_END:
      return Grid::Key::End;
    default:
      return std::nullopt;
  }
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, MainForm& form, Layout& layout)
    : form_(form), layout_(layout) {
  idleIcons_.push_back(MakeIcon(-1));
  for (int i = 0; i < TrayIcon::kSearchIconCount; ++i) searchIcons_.push_back(MakeIcon(i));
  font_ = MakeFont(13, false, "Arial");
  bold_ = MakeFont(13, true, "Arial");
  serif_ = MakeFont(21, false, "Times New Roman");
  small_ = MakeFont(12, false, "Arial");
  smallSerif_ = MakeFont(17, false, "Times New Roman");
  // The list's columns are narrow: Tahoma's eight points fill them as their
  // widths expect, and a point less serves where the system puts a wider
  // face in its place. The widest status decides.
  {
    HFONT large = MakeFont(11, false, "Tahoma"), small = MakeFont(10, false, "Tahoma");
    HDC screen = GetDC(nullptr);
    cell_ = FittingFont(screen, {large, small}, "Not working", Grid::kColumnWidths[2] - 3);
    ReleaseDC(nullptr, screen);
    DeleteObject(cell_ == large ? small : large);
    cellBold_ = MakeFont(cell_ == large ? 11 : 10, true, "Tahoma");
  }

  const std::wstring className = platform::Widen(kMainWindowClass);
  WNDCLASSW wc{};
  wc.style = CS_DBLCLKS;  // a double click on the proxy list uses the proxy
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hIcon = idleIcons_.front();
  wc.lpszClassName = className.c_str();
  RegisterClassW(&wc);

  const int x = (GetSystemMetrics(SM_CXSCREEN) - Layout::kWidth) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - Layout::kHeight) / 2;
  window_ =
      CreateWindowExW(0, className.c_str(), L"Cloakwise", WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX, x,
                      y, Layout::kWidth, Layout::kHeight, nullptr, nullptr, instance, this);
  taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
  showRequest_ = RegisterWindowMessageW(platform::Widen(kShowRequestMessage).c_str());
  form_.SetObserver(this);
  UpdateTray(true);
}

MainWindow::~MainWindow() {
  form_.SetObserver(nullptr);
  if (window_) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
  for (HICON icon : idleIcons_) DestroyIcon(icon);
  for (HICON icon : searchIcons_) DestroyIcon(icon);
  for (HFONT f : {font_, bold_, serif_, small_, smallSerif_, cell_, cellBold_}) DeleteObject(f);
}

void MainWindow::SetSessionEndHandler(std::function<void()> handler) {
  onSessionEnd_ = std::move(handler);
  sessionEndHandled = static_cast<bool>(onSessionEnd_);
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
    UpdateTray(false);
  } else {
    InvalidateRect(window_, nullptr, FALSE);
  }
}

void MainWindow::ShowFromTray() {
  if (IsIconic(window_)) ShowWindow(window_, SW_RESTORE);
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
}

void MainWindow::HideToTray() {
  form_.window.SetVisible(false);
}

void MainWindow::StartDrag() {
  ReleaseCapture();
  SendMessageW(window_, WM_SYSCOMMAND, 0xF012, 0);  // SC_MOVE by the caption
}

void MainWindow::UpdateTray(bool add) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = window_;
  data.uID = kTrayId;
  data.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
  data.uCallbackMessage = kTrayMessage;
  const auto& icons = form_.trayIcon.Set() == TrayIcon::IconSet::Idle ? idleIcons_ : searchIcons_;
  data.hIcon = icons[static_cast<std::size_t>(form_.trayIcon.IconIndex()) % icons.size()];
  CopyTrayText(data.szTip, "Cloakwise");
  const auto& balloon = form_.trayIcon.LastBalloon();
  if (balloon.serial != balloonShown_) {
    balloonShown_ = balloon.serial;
    data.uFlags |= NIF_INFO;
    CopyTrayText(data.szInfoTitle, balloon.title);
    CopyTrayText(data.szInfo, balloon.text);
    data.dwInfoFlags = NIIF_INFO;
    data.uTimeout = 10000;
  }
  if (add || !trayAdded_) {
    trayAdded_ = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
  } else {
    Shell_NotifyIconW(NIM_MODIFY, &data);
  }
}

MenuItem* MainWindow::TrackMenu(const Menu& menu, UINT alignment) {
  HMENU popup = CreatePopupMenu();
  std::vector<MenuItem*> commands;
  AppendItems(popup, menu, commands);
  POINT at;
  GetCursorPos(&at);
  // Without this a tray menu stays open when the user clicks elsewhere.
  SetForegroundWindow(window_);
  const UINT chosen = TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON | alignment, at.x, at.y,
                                     0, window_, nullptr);
  PostMessageA(window_, WM_NULL, 0, 0);
  DestroyMenu(popup);  // and the menus it unfolds
  return chosen > 0 && chosen <= commands.size() ? commands[chosen - 1] : nullptr;
}

void MainWindow::OpenMenu() {
  if (onMenuPopup) onMenuPopup();
  // The main menu unfolds upwards from the mouse.
  if (MenuItem* item = TrackMenu(form_.mainMenu, TPM_BOTTOMALIGN)) item->Click();
}

void MainWindow::OpenListMenu() {
  if (onListMenuOpening) onListMenuOpening();
  if (MenuItem* item = TrackMenu(form_.listMenu, TPM_TOPALIGN | TPM_LEFTALIGN)) item->Click();
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  try {
    return self->HandleMessage(message, wParam, lParam);
  } catch (...) {
    if (self->onError) self->onError(std::current_exception());
    return 0;
  }
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const int x = static_cast<short>(LOWORD(lParam));
  const int y = static_cast<short>(HIWORD(lParam));
  if (message == taskbarCreated_ && taskbarCreated_ != 0) {
    UpdateTray(true);  // the shell came back: the icon must be added again
    return 0;
  }
  if (message == showRequest_ && showRequest_ != 0) {
    if (onShowRequest) onShowRequest();
    return 0;
  }
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window_, &ps);
      Paint(dc);
      EndPaint(window_, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;  // Paint covers every pixel
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (message == WM_LBUTTONDOWN) {
        layout_.LeftDown(x, y);
      } else {
        layout_.DoubleClick(x, y);
      }
      // A scroll bar thumb follows the mouse even outside the window.
      if (layout_.Capturing()) SetCapture(window_);
      return 0;
    case WM_MOUSEMOVE:
      if (layout_.Capturing()) layout_.MouseMove(x, y);
      return 0;
    case WM_LBUTTONUP: {
      const bool captured = layout_.Capturing();
      layout_.LeftClick(x, y);
      if (captured) ReleaseCapture();
      return 0;
    }
    case WM_CAPTURECHANGED:
      // Another window took the mouse in the middle of a drag.
      if (layout_.Capturing() && reinterpret_cast<HWND>(lParam) != window_) layout_.CancelCapture();
      return 0;
    case WM_RBUTTONUP:
      layout_.RightClick(x, y);
      return 0;
    case WM_MOUSEWHEEL:
      layout_.Wheel(GET_WHEEL_DELTA_WPARAM(wParam));
      return 0;
    case WM_KEYDOWN:
      if (const auto key = GridKey(wParam)) {
        layout_.KeyDown(*key);
        return 0;
      }
      return DefWindowProcW(window_, message, wParam, lParam);
    case WM_SETCURSOR: {
      POINT p;
      GetCursorPos(&p);
      ScreenToClient(window_, &p);
      const auto* hit = layout_.Hit(p.x, p.y);
      const bool clickable =
          hit &&
          (hit->action || (hit->control && hit->kind != Layout::Kind::Gauge &&
                           hit->kind != Layout::Kind::Heading && hit->kind != Layout::Kind::Grid));
      SetCursor(LoadCursor(nullptr, clickable ? IDC_HAND : IDC_ARROW));
      return TRUE;
    }
    case kTrayMessage:
      if (lParam == WM_LBUTTONUP && onTrayClick) onTrayClick();
      if (lParam == WM_RBUTTONUP) OpenMenu();
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_MINIMIZE) {
        HideToTray();  // minimising sends the window to the tray
        return 0;
      }
      return DefWindowProcW(window_, message, wParam, lParam);
    case WM_CLOSE:
      if (CloseQuery()) DestroyWindow(window_);
      return 0;
    case WM_QUERYENDSESSION:
      if (!onSessionEnd_) return FALSE;  // not ready to clear anything yet
      onSessionEnd_();
      return TRUE;
    case WM_ENDSESSION:
      if (wParam) DestroyWindow(window_);
      return 0;
    case WM_DESTROY: {
      NOTIFYICONDATAW data{};
      data.cbSize = sizeof data;
      data.hWnd = window_;
      data.uID = kTrayId;
      Shell_NotifyIconW(NIM_DELETE, &data);
    }
      window_ = nullptr;
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window_, message, wParam, lParam);
  }
}

void MainWindow::Paint(HDC target) {
  Canvas canvas(target, Layout::kWidth, Layout::kHeight);
  HDC dc = canvas.dc();
  SetBkMode(dc, TRANSPARENT);
  FillSolidRect(dc, {0, 0, Layout::kWidth, Layout::kHeight}, RGB(0, 0, 0));
  FillGradient(dc, {0, 40, Layout::kWidth, 370}, RGB(24, 30, 44), RGB(6, 8, 14));
  FillGradient(dc, {0, 0, Layout::kWidth, Layout::kTopStrip}, RGB(150, 20, 24), RGB(70, 8, 10));
  DrawText(dc, bold_, RGB(255, 255, 255), {12, 0, 300, Layout::kTopStrip}, "Cloakwise",
           DT_LEFT | DT_VCENTER | DT_SINGLELINE);

  for (const auto& w : layout_.Widgets()) {
    if (w.view && *w.view != form_.view.Current()) continue;
    if (w.control && !w.control->Visible()) continue;
    const RECT r{w.rect.x, w.rect.y, w.rect.x + w.rect.w, w.rect.y + w.rect.h};
    const bool enabled = !w.control || w.control->Enabled();
    const COLORREF text = enabled ? RGB(235, 238, 245) : RGB(110, 115, 125);
    switch (w.kind) {
      case Layout::Kind::Label: {
        const std::string& caption = w.control ? static_cast<Label*>(w.control)->Caption() : w.text;
        DrawText(dc, font_, text, r, caption, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
        break;
      }
      case Layout::Kind::Heading:
        DrawText(dc, bold_, RGB(120, 180, 235), r, w.text, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
        break;
      case Layout::Kind::TextButton: {
        const std::string& caption = static_cast<Label*>(w.control)->Caption();
        DrawFrame(dc, r, RGB(150, 20, 24), RGB(40, 46, 62));
        DrawText(dc, FittingFont(dc, {serif_, smallSerif_}, caption, w.rect.w - 6), text, r,
                 caption, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        break;
      }
      case Layout::Kind::CheckBox:
        DrawCheckBox(dc, r, static_cast<CheckBox*>(w.control)->Checked(), enabled);
        break;
      case Layout::Kind::Slider: {
        const auto* s = static_cast<Slider*>(w.control);
        DrawSlider(dc, r, s->Position() - s->Min(), s->Max() - s->Min());
        break;
      }
      case Layout::Kind::Spin:
        DrawSpin(dc, font_, r, static_cast<SpinEdit*>(w.control)->Text());
        break;
      case Layout::Kind::Gauge:
        DrawGauge(dc, r, static_cast<Gauge*>(w.control)->Position());
        break;
      case Layout::Kind::HotSpot:
        DrawText(dc, small_, RGB(200, 205, 215), r, w.text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        break;
      case Layout::Kind::Tab: {
        const bool current = w.tab == form_.view.Current();
        FillGradient(dc, r, current ? RGB(150, 20, 24) : RGB(50, 56, 72),
                     current ? RGB(90, 10, 12) : RGB(24, 28, 38));
        const HFONT tabFont = current
                                  ? FittingFont(dc, {bold_, font_, small_}, w.text, w.rect.w - 4)
                                  : FittingFont(dc, {font_, small_}, w.text, w.rect.w - 4);
        DrawText(dc, tabFont, RGB(255, 255, 255), r, w.text,
                 DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        break;
      }
      case Layout::Kind::Grid:
        PaintGrid(dc, r, *static_cast<Grid*>(w.control), cell_, cellBold_);
        break;
    }
  }
  FillGradient(dc, {380, 370, Layout::kWidth, Layout::kHeight}, RGB(50, 56, 72), RGB(24, 28, 38));
}

}  // namespace cloakwise::ui::win32
