#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "platform/win32/owner_window.h"
#include "ui/accessible_items.h"
#include "ui/keyboard_focus.h"
#include "ui/layout.h"
#include "ui/main_form.h"
#include "ui/scale.h"
#include "ui/win32/flat_menu.h"
#include "ui/win32/gdi_set.h"
#include "ui/win32/main_painter.h"
#include "ui/win32/minutes_field.h"
#include "ui/win32/tray_icon.h"
#include "ui/win32/window_shell.h"

namespace cloakwise::ui::win32 {

inline constexpr char kMainWindowClass[] = "CloakwiseMain";
// What a second copy of the program sends the running one before it ends,
// and the running one's answers: shown, or on its way out, when the second
// copy waits for it to end and then runs itself.
inline constexpr char kShowRequestMessage[] = "Cloakwise.ShowMainWindow";
inline constexpr LRESULT kShownAnswer = 1;
inline constexpr LRESULT kClosingAnswer = 2;

// The main window: paints the model through the layout, turns clicks into
// the layout's actions, and carries the tray icon and its menu.
class MainWindow : public ModelObserver, private WindowShell<MainWindow> {
 public:
  // What the window asks of the program; each may be left empty.
  struct Actions {
    std::function<void()> openVendorPage;
    std::function<void(View)> showView;
    // Asked before the window closes; false keeps the program running.
    std::function<bool()> closeQuery;
    // Puts back what must not outlive the program when Windows ends the
    // session, which may always end.
    std::function<void()> sessionEnding;
    // Windows asked to end the session, then went on with it after all.
    std::function<void()> sessionEndCancelled;
    std::function<void()> mainMenuOpening;
    std::function<void()> listMenuOpening;
    // The tray icon was clicked, or another copy asked this one to show
    // itself.
    std::function<void()> showMainWindow;
    // True once the program is on its way out: another copy started by the
    // user then waits for this one to end.
    std::function<bool()> closing;
  };

  // owner: filled in with the window's handle while it exists, for the
  // services that show something over it.
  MainWindow(HINSTANCE instance, MainForm& form, platform::OwnerWindow& owner, Actions actions)
      : MainWindow(instance, form, owner, std::move(actions), nullptr) {}
  // Laid out by the caller, whose frame actions then stand in for the
  // window's own (the tests record them).
  MainWindow(HINSTANCE instance, MainForm& form, Layout& layout, platform::OwnerWindow& owner,
             Actions actions)
      : MainWindow(instance, form, owner, std::move(actions), &layout) {}
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  HWND Handle() const { return window_; }

  // The main menu at the cursor.
  void OpenMenu();
  // The proxy list's menu at the cursor.
  void OpenListMenu();
  void HideToTray();
  void StartDrag();
  void ShowFromTray();
  // The tray icon's click, and another copy's request: the program shows
  // its window.
  void ShowAsAsked();

  // An exception that a handler let escape; it cannot cross the window
  // procedure.
  using WindowShell::onError;

  void ControlChanged(const Control& control) override;

 private:
  MainWindow(HINSTANCE instance, MainForm& form, platform::OwnerWindow& owner, Actions actions,
             Layout* laidOut);
  friend class platform::WindowBase<MainWindow>;
  friend class WindowShell<MainWindow>;
  void Paint(HDC dc) { painter_.Paint(dc, scale_); }
  bool ClickableAt(POINT p) const { return layout_.ClickableAt(p.x, p.y); }
  // The window's size, its text field, menus and icon at a new scale;
  // suggested: where Windows wants the window, if it said.
  bool Rescale(const Scale& scale, const RECT* suggested);
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // The mouse on the painted controls; false when the message is not the
  // mouse's.
  bool MouseMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // WM_KEYDOWN or WM_SYSKEYDOWN: a key for the painted controls; false
  // leaves it to Windows.
  bool KeyDown(UINT message, WPARAM virtualKey);
  // The mouse message of a click on the tray icon.
  void TrayClicked(UINT mouseMessage);
  // False leaves the command to Windows.
  bool SystemCommand(WPARAM command);
  // WM_QUERYENDSESSION and WM_ENDSESSION.
  LRESULT SessionEnd(UINT message, WPARAM wParam);
  std::vector<AccessibleItem> ScreenReaderItems() const;
  // Shows the menu at the cursor until the user chooses or leaves; returns
  // the item chosen, if any.
  MenuItem* TrackMenu(const Menu& menu, UINT alignment);
  bool CloseQuery() { return !actions_.closeQuery || actions_.closeQuery(); }

  MainForm& form_;
  platform::OwnerWindow& owner_;
  Actions actions_;
  std::unique_ptr<Layout> ownLayout_;
  Layout& layout_;
  HWND window_ = nullptr;
  UINT showRequest_ = 0;
  TrayIcon tray_;
  HICON windowIcon_ = nullptr;
  FlatMenu flatMenu_;
  MinutesField minutesField_;
  KeyboardFocus focus_;
  MainPainter painter_;
  bool menuFromKeys_ = false;  // while the menu key's menu opens
};

}  // namespace cloakwise::ui::win32
