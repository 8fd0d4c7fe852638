#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace cloakwise::ui::win32 {

// The program's main window. It owns no logic: the close query and the
// painting come from the composition root.
class MainWindow {
 public:
  MainWindow(HINSTANCE instance, const std::string& title, int clientWidth, int clientHeight);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  HWND Handle() const { return window_; }
  void Show();

  // Asked before the window closes, also when the user logs off or Windows
  // shuts down; false keeps the program running.
  std::function<bool()> onCloseQuery;
  // Draws the client area on a black background.
  std::function<void(HDC, const RECT&)> onPaint;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  bool CloseQuery() { return !onCloseQuery || onCloseQuery(); }

  HWND window_ = nullptr;
};

}  // namespace cloakwise::ui::win32
