// The main window on the checker view with ten thousand proxies in the list:
// painted from the model, driven by the window messages that the user's
// mouse and keys send, and with the list's menu unfolded on screen.
#include <gtest/gtest.h>
#include <oleacc.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fakes/layout_points.h"
#include "platform/win32/win32_platform.h"
#include "ui/layout.h"
#include "ui/scale.h"
#include "ui/win32/main_window.h"
#include "win32/screenshot.h"

namespace cloakwise {
namespace {

// A checked list, made up row by row on demand; counts the cells read, so a
// test sees what one repaint costs.
class ProxyRows : public ui::GridSource {
 public:
  explicit ProxyRows(std::size_t count) : count(count) {}
  std::size_t RowCount() const override { return count; }
  std::string Cell(std::size_t row, int column) const override {
    ++cellsRead;
    static const char* const kTypes[] = {"Elite", "Anonymous", "Unknown", "Unknown"};
    static const char* const kStatuses[] = {"OK", "OK", "Not working", "Checking..."};
    switch (column) {
      case 0:
        return "10." + std::to_string(row / 65536 % 256) + "." + std::to_string(row / 256 % 256) +
               "." + std::to_string(row % 256) + ":" + std::to_string(3128 + row % 5000);
      case 1:
        return kTypes[row % 4];
      case 2:
        return kStatuses[row % 4];
      default:
        return row % 4 < 2 ? std::to_string(row % 7 + 1) + " Sec." : "Unknown";
    }
  }
  std::string Header(int column) const override {
    static const char* const kHeaders[] = {"Proxy", "Type", "Status", "Ping"};
    return kHeaders[column];
  }
  std::size_t count;
  mutable std::size_t cellsRead = 0;
};

class CheckerWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    grid.SetSource(&rows);
    grid.onContextMenu = [this] { window.OpenListMenu(); };
    grid.onDoubleClick = [this] { used.push_back(grid.CurrentRow()); };
    form.view.Set(ui::View::Checker);
    form.window.SetVisible(true);
    Pump();
  }

  void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  void Mouse(UINT message, int x, int y) {
    SendMessageA(window.Handle(), message, 0, MAKELPARAM(x, y));
  }
  void Mouse(UINT message, fakes::WindowPoint p) { Mouse(message, p.x, p.y); }
  // The middle of a shown row, and a point given in the grid's own geometry.
  fakes::WindowPoint Row(int shown) { return fakes::RowPoint(layout, grid, shown); }
  fakes::WindowPoint InGrid(int x, int y) {
    const fakes::WindowPoint origin = fakes::GridOrigin(layout, grid);
    return {origin.x + x, origin.y + y};
  }
  void Key(WPARAM key) { SendMessageA(window.Handle(), WM_KEYDOWN, key, 0); }
  void WheelNotches(int notches) {
    SendMessageA(window.Handle(), WM_MOUSEWHEEL,
                 MAKEWPARAM(0, static_cast<WORD>(static_cast<short>(notches * WHEEL_DELTA))), 0);
  }
  POINT OnScreen(int x, int y) {
    POINT p{x, y};
    ClientToScreen(window.Handle(), &p);
    return p;
  }
  void Repaint() {
    RedrawWindow(window.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  }

  ui::win32::MainWindow::Actions Actions() {
    const auto forward = [](std::function<void()>& to) {
      return [&to] {
        if (to) to();
      };
    };
    ui::win32::MainWindow::Actions actions;
    actions.sessionEnding = forward(sessionEnding);
    actions.sessionEndCancelled = forward(sessionEndCancelled);
    actions.listMenuOpening = forward(listMenuOpening);
    return actions;
  }

  platform::Win32UiThread ui;
  ui::MainForm form{ui};
  std::vector<std::string> frame;
  ui::Layout layout{form, ui::FrameActions{
                              [this] { frame.push_back("hide"); },
                              [this] { frame.push_back("main menu"); },
                              [this] { frame.push_back("vendor"); },
                              [this] { frame.push_back("drag"); },
                              [this](ui::View view) { form.view.Set(view); },
                          }};
  // What the program would be asked, for the cases that listen.
  std::function<void()> sessionEnding, sessionEndCancelled, listMenuOpening;
  platform::OwnerWindow owner;
  ui::win32::MainWindow window{GetModuleHandleA(nullptr), form, layout, owner, Actions()};
  ui::Grid& grid = form.checker.proxyGrid;
  ProxyRows rows{10000};
  std::vector<std::size_t> used;
};

TEST_F(CheckerWindowTest, KeysWheelAndMouseReachTheList) {
  Key(VK_END);
  EXPECT_EQ(grid.CurrentRow(), 9999u);
  EXPECT_EQ(grid.TopRow(), 9985u);
  Key(VK_HOME);
  Key(VK_NEXT);
  EXPECT_EQ(grid.CurrentRow(), 15u);
  EXPECT_EQ(grid.TopRow(), 15u);
  WheelNotches(-1);
  EXPECT_EQ(grid.TopRow(), 18u);
  Mouse(WM_LBUTTONDOWN, Row(2));
  Mouse(WM_LBUTTONUP, Row(2));
  EXPECT_EQ(grid.CurrentRow(), 20u);

  // The class asks for double clicks, and one on a row uses that row.
  EXPECT_TRUE(GetClassLongPtrA(window.Handle(), GCL_STYLE) & CS_DBLCLKS);
  Mouse(WM_LBUTTONDBLCLK, Row(4));
  Mouse(WM_LBUTTONUP, Row(4));
  EXPECT_EQ(used, std::vector<std::size_t>{22});

  // The thumb holds the mouse until the button is released.
  const auto bar = grid.ScrollBarGeometry();
  Mouse(WM_LBUTTONDOWN, InGrid(bar.left + 5, bar.thumbTop + 3));
  EXPECT_EQ(GetCapture(), window.Handle());
  Mouse(WM_MOUSEMOVE, 200, 1000);
  Mouse(WM_LBUTTONUP, 200, 1000);
  EXPECT_EQ(grid.TopRow(), grid.MaxTopRow());
  EXPECT_EQ(GetCapture(), nullptr);

  Mouse(WM_RBUTTONUP, fakes::PointOn(layout, "Custom Proxy List:"));  // beside the list
  EXPECT_EQ(frame, std::vector<std::string>{"main menu"});
  form.view.Set(ui::View::Status);
  Key(VK_HOME);
  EXPECT_EQ(grid.CurrentRow(), 22u) << "keys reach the list only on its view";
}

TEST_F(CheckerWindowTest, RepaintReadsOnlyTheRowsOnScreenAndHighlightsTheCurrentOne) {
  grid.SelectRow(5000);  // the last row shown
  ASSERT_EQ(grid.TopRow(), 5000u - grid.PageRows() + 1);
  Repaint();
  rows.cellsRead = 0;
  Repaint();
  EXPECT_EQ(rows.cellsRead, grid.PageRows() * ui::Grid::kColumnCount);

  // The window's own pixels: what the screen shows once the system has
  // copied them out.
  HDC painted = GetDC(window.Handle());
  const int last = static_cast<int>(grid.PageRows()) - 1;
  const COLORREF highlight = GetPixel(painted, InGrid(2, 0).x, Row(last).y);
  const COLORREF plain = GetPixel(painted, InGrid(2, 0).x, Row(last - 1).y);
  ReleaseDC(window.Handle(), painted);
  EXPECT_GT(GetRValue(highlight), 100) << std::hex << highlight;
  EXPECT_LT(GetGValue(highlight), 60) << std::hex << highlight;
  EXPECT_LT(GetRValue(plain), 40) << std::hex << plain;
  if (const auto shot = test_support::ScreenshotPath("checker-view.bmp"); !shot.empty()) {
    Pump();
    Sleep(300);  // until the window's pixels have reached the screen
    test_support::SaveScreen(shot);
  }
}

// Nothing is installed before the handler is set, so the session may end at
// any moment; once set, the handler puts things back first, and a session
// end called off is told.
// A screen reader asks through oleacc, as it asks any program: the painted
// controls come back by role and name, and the list's rows with their cells.
TEST_F(CheckerWindowTest, AScreenReaderHearsTheButtonsTheListAndItsRows) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  IAccessible* window = nullptr;
  ASSERT_EQ(AccessibleObjectFromWindow(this->window.Handle(), static_cast<DWORD>(OBJID_CLIENT),
                                       __uuidof(IAccessible), reinterpret_cast<void**>(&window)),
            S_OK);
  long count = 0;
  ASSERT_EQ(window->get_accChildCount(&count), S_OK);
  std::vector<VARIANT> children(static_cast<std::size_t>(count));
  long got = 0;
  ASSERT_EQ(AccessibleChildren(window, 0, count, children.data(), &got), S_OK);
  std::vector<std::string> heard;
  int rows = 0;
  for (long i = 0; i < got; ++i) {
    VARIANT& child = children[static_cast<std::size_t>(i)];
    ASSERT_EQ(child.vt, VT_I4) << "the items are simple elements";
    VARIANT role, state;
    BSTR name = nullptr;
    ASSERT_EQ(window->get_accRole(child, &role), S_OK);
    ASSERT_EQ(window->get_accName(child, &name), S_OK);
    ASSERT_EQ(window->get_accState(child, &state), S_OK);
    char text[256] = {};
    WideCharToMultiByte(CP_UTF8, 0, name, -1, text, sizeof text, nullptr, nullptr);
    SysFreeString(name);
    const bool selected = state.lVal & STATE_SYSTEM_SELECTED;
    if (role.lVal == ROLE_SYSTEM_PUSHBUTTON) heard.push_back(std::string("button ") + text);
    if (role.lVal == ROLE_SYSTEM_LIST) heard.push_back(std::string("list ") + text);
    if (role.lVal == ROLE_SYSTEM_LISTITEM && ++rows <= 3)
      heard.push_back(std::string("row ") + text + (selected ? " (selected)" : ""));
  }
  window->Release();
  CoUninitialize();
  EXPECT_EQ(heard, (std::vector<std::string>{
                       "button x", "button MENU", "button www.cloakwise.example", "button >>",
                       "list Custom Proxy List", "row 10.0.0.0:3128, Elite, OK, 1 Sec. (selected)",
                       "row 10.0.0.1:3129, Anonymous, OK, 2 Sec.",
                       "row 10.0.0.2:3130, Unknown, Not working, Unknown", "button Check List",
                       "button Add Proxy", "button Del Proxy", "button Clear List"}));
  EXPECT_EQ(rows, 15) << "every shown row, and only those";
}

TEST_F(CheckerWindowTest, TheSessionMayAlwaysEndAndTheHandlerRunsFirst) {
  EXPECT_EQ(SendMessageA(window.Handle(), WM_QUERYENDSESSION, 0, 0), TRUE);
  int cleared = 0;
  int cancelled = 0;
  sessionEnding = [&] { ++cleared; };
  sessionEndCancelled = [&] { ++cancelled; };
  EXPECT_EQ(SendMessageA(window.Handle(), WM_QUERYENDSESSION, 0, 0), TRUE);
  SendMessageA(window.Handle(), WM_ENDSESSION, FALSE, 0);
  EXPECT_EQ(cleared, 1);
  EXPECT_EQ(cancelled, 1);
  sessionEnding = nullptr;
  sessionEndCancelled = nullptr;
}

// The menu runs its own loop; a timer on this thread plays the user's keys
// into it, pictures the screen with the submenu unfolded, and chooses.
struct MenuScript {
  HWND window = nullptr;
  int tick = 0;
  int menusOpen = 0;
  std::string shot;
};
MenuScript script;

int VisibleMenus() {
  int count = 0;
  for (HWND menu = FindWindowExA(nullptr, nullptr, "#32768", nullptr); menu;
       menu = FindWindowExA(nullptr, menu, "#32768", nullptr)) {
    if (IsWindowVisible(menu)) ++count;
  }
  return count;
}

void PlayMenuKeys(HWND, UINT, UINT_PTR, DWORD) {
  const auto press = [](WPARAM key) { PostMessageA(script.window, WM_KEYDOWN, key, 0); };
  switch (++script.tick) {
    case 1:
      press(VK_UP);  // from nothing selected to the last item, "Copy to clipboard"
      break;
    case 2:
      press(VK_RIGHT);  // unfolds it with its first item selected
      break;
    case 3:
      press(VK_DOWN);
      press(VK_DOWN);
      break;
    case 4:
      script.menusOpen = VisibleMenus();
      if (!script.shot.empty()) test_support::SaveScreen(script.shot);
      press(VK_RETURN);
      break;
    default:
      if (script.tick > 20) press(VK_ESCAPE);  // never stay in the menu
  }
}

// Plays two Up keys and Return into a menu, noting where the menu stood.
RECT mainMenuRect{};
void PlayMainMenuKeys(HWND, UINT, UINT_PTR, DWORD) {
  const auto press = [](WPARAM key) { PostMessageA(script.window, WM_KEYDOWN, key, 0); };
  switch (++script.tick) {
    case 1:
    case 2:
      press(VK_UP);  // "Close", then "About..."
      break;
    case 3:
      if (HWND menu = FindWindowExA(nullptr, nullptr, "#32768", nullptr)) {
        GetWindowRect(menu, &mainMenuRect);
      }
      if (!script.shot.empty()) test_support::SaveScreen(script.shot);
      press(VK_RETURN);
      break;
    default:
      if (script.tick > 20) press(VK_ESCAPE);
  }
}

TEST_F(CheckerWindowTest, RightClickOnARowOpensTheListMenuWithItsCopySubmenu) {
  int openings = 0;
  form.listMenu.useProxyItem.SetEnabled(false);
  listMenuOpening = [&] {
    ++openings;
    form.listMenu.useProxyItem.SetEnabled(true);
  };
  std::vector<std::string> chosen;
  for (ui::MenuItem* item :
       {&form.listMenu.copyAnonymousAndEliteItem, &form.listMenu.copyAnonymousItem,
        &form.listMenu.copyEliteItem, &form.listMenu.useProxyItem, &form.listMenu.clearListItem}) {
    item->onClick = [&chosen, item] { chosen.push_back(item->Caption()); };
  }
  script = MenuScript{window.Handle(), 0, 0, test_support::ScreenshotPath("list-menu.bmp")};
  const POINT at = OnScreen(Row(7).x, Row(7).y);
  SetCursorPos(at.x, at.y);
  const UINT_PTR timer = SetTimer(nullptr, 0, 300, PlayMenuKeys);
  Mouse(WM_RBUTTONUP, Row(7));  // returns when the menu has closed
  KillTimer(nullptr, timer);
  Pump();

  EXPECT_EQ(grid.CurrentRow(), 7u) << "the row under the mouse is selected first";
  EXPECT_EQ(openings, 1);
  EXPECT_EQ(script.menusOpen, 2) << "the menu and its unfolded submenu";
  EXPECT_EQ(chosen, std::vector<std::string>{"All Elite"});
  EXPECT_TRUE(frame.empty()) << "not the main menu";

  // The click gave the list the focus: the menu key opens the same menu
  // on it, wherever the mouse was left.
  const POINT away = OnScreen(400, 60);
  SetCursorPos(away.x, away.y);
  script = MenuScript{window.Handle(), 0, 0, ""};
  const UINT_PTR again = SetTimer(nullptr, 0, 300, PlayMainMenuKeys);
  Key(VK_APPS);
  KillTimer(nullptr, again);
  Pump();
  EXPECT_EQ(openings, 2);
  const ui::Rect list = layout.Find(grid)->rect;
  const POINT middle = OnScreen(list.x + list.w / 2, list.y + list.h / 2);
  EXPECT_NEAR(mainMenuRect.left, middle.x, 2);
  EXPECT_NEAR(mainMenuRect.top, middle.y, 2);
}

// The main menu from MENU: it unfolds upwards from the mouse, drawn flat,
// and the keys move through it as through any menu.
TEST_F(CheckerWindowTest, MainMenuUnfoldsUpwardsFromTheMouse) {
  form.view.Set(ui::View::Status);
  std::vector<std::string> chosen;
  for (ui::MenuItem* item : form.mainMenu.Items()) {
    item->onClick = [&chosen, item] { chosen.push_back(item->Caption()); };
  }
  script = MenuScript{window.Handle(), 0, 0, test_support::ScreenshotPath("main-menu.bmp")};
  const POINT at = OnScreen(30, 354);  // on MENU
  SetCursorPos(at.x, at.y);
  const UINT_PTR timer = SetTimer(nullptr, 0, 300, PlayMainMenuKeys);
  window.OpenMenu();
  KillTimer(nullptr, timer);
  Pump();
  EXPECT_EQ(chosen, std::vector<std::string>{"About..."});
  EXPECT_LE(mainMenuRect.bottom, at.y + 1);
  EXPECT_GT(mainMenuRect.bottom - mainMenuRect.top, 100) << "every item shown";
}

// Moved to a monitor at 200 %: the window takes the place Windows suggests
// at twice its size, a click at a doubled point reaches the row under it,
// the minutes' text field doubles; and all of it comes back at 100 %.
TEST_F(CheckerWindowTest, MovedToAMonitorOfAnotherScaleTheWindowFollows) {
  HWND field = FindWindowExA(window.Handle(), nullptr, "EDIT", nullptr);
  ASSERT_NE(field, nullptr);
  const auto widthOf = [](HWND w) {
    RECT r;
    GetWindowRect(w, &r);
    return r.right - r.left;
  };
  const int fieldAt96 = widthOf(field);
  const auto moveTo = [this](int dpi) {
    const ui::Scale scale(dpi);
    RECT suggested{20, 30, 20 + scale.ToPixels(ui::Layout::kWidth),
                   30 + scale.ToPixels(ui::Layout::kHeight)};
    SendMessageA(window.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&suggested));
    RECT client, placed;
    GetClientRect(window.Handle(), &client);
    GetWindowRect(window.Handle(), &placed);
    EXPECT_EQ(client.right, scale.ToPixels(ui::Layout::kWidth)) << dpi;
    EXPECT_EQ(client.bottom, scale.ToPixels(ui::Layout::kHeight)) << dpi;
    EXPECT_EQ(placed.left, 20) << dpi;
  };
  moveTo(192);
  EXPECT_EQ(widthOf(field), 2 * fieldAt96);
  const fakes::WindowPoint row = Row(3);
  Mouse(WM_LBUTTONDOWN, 2 * row.x, 2 * row.y);
  Mouse(WM_LBUTTONUP, 2 * row.x, 2 * row.y);
  EXPECT_EQ(grid.CurrentRow(), 3u);
  moveTo(96);
  EXPECT_EQ(widthOf(field), fieldAt96);
  Mouse(WM_LBUTTONDOWN, Row(5));
  Mouse(WM_LBUTTONUP, Row(5));
  EXPECT_EQ(grid.CurrentRow(), 5u);
}

// The pointer as the window sets it when the mouse rests at a point.
TEST_F(CheckerWindowTest, HandCursorOverStartArrowOverPlainText) {
  form.view.Set(ui::View::Status);
  form.status.startStopButton.onClick = [] {};
  const struct {
    int x, y;
    LPCTSTR cursor;
    const char* picture;
  } points[] = {{224, 258, IDC_HAND, "hand-over-start.bmp"}, {100, 125, IDC_ARROW, nullptr}};
  for (const auto& p : points) {
    const POINT at = OnScreen(p.x, p.y);
    SetCursorPos(at.x, at.y);
    SendMessageA(window.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(window.Handle()),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), LoadCursor(nullptr, p.cursor)) << p.x << "," << p.y;
    if (p.picture && !test_support::ScreenshotPath(p.picture).empty()) {
      Repaint();
      Pump();
      Sleep(300);  // until the window's pixels have reached the screen
      test_support::SaveScreen(test_support::ScreenshotPath(p.picture));
    }
  }
}

// The same window on the options view: the minutes are typed into a real
// text field, stepped with the arrow keys, and clamped once the user leaves.
using OptionsWindowTest = CheckerWindowTest;

TEST_F(OptionsWindowTest, MinutesFieldTakesTypingAndArrowsAndClampsOnLeaving) {
  ui::SpinEdit& minutes = form.options.rotationMinutesField;
  std::vector<int> changes;
  minutes.onChange = [&] { changes.push_back(minutes.Value()); };
  HWND field = FindWindowExW(window.Handle(), nullptr, L"EDIT", nullptr);
  ASSERT_NE(field, nullptr);
  EXPECT_FALSE(IsWindowVisible(field)) << "not on the checker view";
  form.view.Set(ui::View::Options);
  ASSERT_TRUE(IsWindowVisible(field));
  const auto text = [&] {
    char buffer[16] = {};
    GetWindowTextA(field, buffer, sizeof buffer);
    return std::string(buffer);
  };
  EXPECT_EQ(text(), "10");

  SetFocus(field);
  SendMessageW(field, EM_SETSEL, 0, -1);
  for (char c : std::string("25")) SendMessageW(field, WM_CHAR, static_cast<WPARAM>(c), 0);
  SendMessageW(field, WM_KEYDOWN, VK_UP, 0);
  EXPECT_EQ(text(), "26");
  SendMessageW(field, EM_SETSEL, 0, -1);
  for (char c : std::string("5000")) SendMessageW(field, WM_CHAR, static_cast<WPARAM>(c), 0);
  EXPECT_EQ(minutes.Value(), 5000) << "no clamping while typing";
  Mouse(WM_LBUTTONDOWN, 200, 200);  // a click elsewhere leaves the field
  Mouse(WM_LBUTTONUP, 200, 200);
  EXPECT_NE(GetFocus(), field);
  EXPECT_EQ(text(), "1440");
  EXPECT_EQ(changes, (std::vector<int>{2, 25, 26, 5, 50, 500, 5000, 1440}));

  form.view.Set(ui::View::Status);
  EXPECT_FALSE(IsWindowVisible(field));
}

}  // namespace
}  // namespace cloakwise
