// The paste window on a desktop: typing, Ctrl+V from the clipboard, a paste
// far longer than an edit box takes by default, ADD, the owner held off
// while it is up, and a move to a monitor of another scale.
#include "ui/win32/paste_list_window.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "ui/scale.h"
#include "win32/screenshot.h"

namespace cloakwise {
namespace {

bool PutOnClipboard(const std::string& text) {
  if (!OpenClipboard(nullptr)) return false;
  EmptyClipboard();
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  std::memcpy(GlobalLock(memory), text.c_str(), text.size() + 1);
  GlobalUnlock(memory);
  const bool put = SetClipboardData(CF_TEXT, memory) != nullptr;
  CloseClipboard();
  return put;
}

// Ctrl+V through the system's input queue, as the keyboard sends it.
void PressCtrlV() {
  INPUT keys[4]{};
  const WORD codes[4] = {VK_CONTROL, 'V', 'V', VK_CONTROL};
  for (int i = 0; i < 4; ++i) {
    keys[i].type = INPUT_KEYBOARD;
    keys[i].ki.wVk = codes[i];
    keys[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
  }
  SendInput(4, keys, sizeof(INPUT));
}

// What the user does, one step a timer tick, while the window's own loop
// runs; and what the test saw meanwhile.
struct PasteScript {
  HWND owner = nullptr;
  std::string typed;
  bool bigPaste = false;
  std::string shot;
  int tick = 0;
  bool ownerDisabled = false;
  bool textHadFocus = false;
  RECT placed{};
  double pasteMs = 0;
  int moveToDpi = 0;  // dragged to a monitor of this scale before ADD
  SIZE movedWindow{}, movedText{};
};
PasteScript script;

HWND PasteWindow() {
  return FindWindowA(ui::win32::kPasteListClass, nullptr);
}

void PlayUser(HWND, UINT, UINT_PTR, DWORD) {
  HWND window = PasteWindow();
  HWND text = window ? FindWindowExA(window, nullptr, "EDIT", nullptr) : nullptr;
  if (!text) return;
  switch (++script.tick) {
    case 1:
      script.ownerDisabled = !IsWindowEnabled(script.owner);
      script.textHadFocus = GetFocus() == text;
      GetWindowRect(window, &script.placed);
      for (char c : script.typed) PostMessageA(text, WM_CHAR, static_cast<unsigned char>(c), 0);
      if (script.bigPaste) {
        const auto start = std::chrono::steady_clock::now();
        SendMessageA(text, WM_PASTE, 0, 0);
        script.pasteMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
      } else {
        PressCtrlV();
      }
      break;
    case 2:
      if (script.moveToDpi) {
        const ui::Scale scale(script.moveToDpi);
        RECT suggested{10, 10, 10 + scale.ToPixels(ui::win32::PasteListWindow::kWidth),
                       10 + scale.ToPixels(ui::win32::PasteListWindow::kHeight)};
        SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(script.moveToDpi, script.moveToDpi),
                     reinterpret_cast<LPARAM>(&suggested));
        RECT w, t;
        GetWindowRect(window, &w);
        GetWindowRect(text, &t);
        script.movedWindow = {w.right - w.left, w.bottom - w.top};
        script.movedText = {t.right - t.left, t.bottom - t.top};
      }
      break;
    case 3:
      if (!script.shot.empty()) test_support::SaveScreen(script.shot);
      break;
    case 4: {
      const ui::Scale scale(script.moveToDpi ? script.moveToDpi : ui::Scale::kBaseDpi);
      const RECT add = ui::win32::PasteListWindow::kAddRect;
      PostMessageA(window, WM_LBUTTONUP, 0,
                   MAKELPARAM(scale.ToPixels((add.left + add.right) / 2),
                              scale.ToPixels((add.top + add.bottom) / 2)));
      break;
    }
    default:
      if (script.tick > 40) PostMessageA(window, WM_CLOSE, 0, 0);  // never hang the run
  }
}

class PasteListWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 0, 0, 80, 40, nullptr,
                            nullptr, GetModuleHandleA(nullptr), nullptr);
    ownerHandle.Set(owner);
  }
  void TearDown() override { DestroyWindow(owner); }

  std::string Ask(PasteScript steps) {
    script = std::move(steps);
    script.owner = owner;
    const UINT_PTR timer = SetTimer(nullptr, 0, 250, PlayUser);
    std::string answer = form.AskForProxyList();
    KillTimer(nullptr, timer);
    return answer;
  }

  HWND owner = nullptr;
  platform::OwnerWindow ownerHandle;
  ui::win32::PasteListWindow host{GetModuleHandleA(nullptr), ownerHandle};
  ui::PasteListForm form{host};
};

TEST_F(PasteListWindowTest, TakesTypingAndCtrlVAndAnswersWithAllOfItWhenAddIsClicked) {
  const std::string copied = "10.0.0.1:8080\r\n192.168.1.20:3128 Elite\r\n10.0.0.1 : 8080\r\n";
  ASSERT_TRUE(PutOnClipboard(copied));
  PasteScript steps;
  steps.typed = "1.2.3.4:80\r";  // Enter starts a new line in the box
  steps.shot = test_support::ScreenshotPath("paste-window.bmp");
  const std::string answer = Ask(steps);

  EXPECT_EQ(answer, "1.2.3.4:80\r\n" + copied);
  EXPECT_EQ(form.proxyListText.Text(), answer);
  EXPECT_FALSE(form.Showing());
  EXPECT_EQ(script.tick, 4) << "closed by ADD";
  EXPECT_TRUE(script.ownerDisabled);
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_TRUE(script.textHadFocus);
  EXPECT_EQ(PasteWindow(), nullptr);
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  EXPECT_EQ(script.placed.right - script.placed.left, 288);
  EXPECT_EQ(script.placed.bottom - script.placed.top, 372);
  EXPECT_EQ(script.placed.left, (width - 288) / 2);
  EXPECT_EQ(script.placed.top, (height - 372) / 2);
}

TEST_F(PasteListWindowTest, TakesAListOfAHundredThousandProxiesWhole) {
  std::string copied;
  for (int i = 0; i < 100000; ++i) {
    copied += "10." + std::to_string(i / 65536) + "." + std::to_string(i / 256 % 256) + "." +
              std::to_string(i % 256) + ":8080\r\n";
  }
  ASSERT_TRUE(PutOnClipboard(copied));
  PasteScript steps;
  steps.bigPaste = true;
  steps.moveToDpi = 192;  // and dragged to a monitor at 200 % before ADD
  const std::string answer = Ask(steps);
  std::printf("pasting %zu bytes took %.0f ms\n", copied.size(), script.pasteMs);
  EXPECT_EQ(answer.size(), copied.size());
  EXPECT_TRUE(answer == copied);
  EXPECT_EQ(script.tick, 4) << "closed by ADD, clicked at its doubled place";
  EXPECT_EQ(script.movedWindow.cx, 2 * 288);
  EXPECT_EQ(script.movedWindow.cy, 2 * 372);
  EXPECT_EQ(script.movedText.cx, 2 * 264);
}

}  // namespace
}  // namespace cloakwise
