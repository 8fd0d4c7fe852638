#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>
#include <string>

#include "platform/win32/owner_window.h"
#include "ui/paste_list_form.h"
#include "ui/win32/dialog_shell.h"
#include "ui/win32/gdi_set.h"

namespace cloakwise::ui::win32 {

inline constexpr char kPasteListClass[] = "CloakwisePasteList";

// The paste window: a borderless, always-on-top window of 288 x 372 in the
// middle of the desktop, with a multi-line text box that takes typing and
// pasting, and "ADD", which closes it. Modal: the owner takes no input
// meanwhile, but timers and hand-overs from workers keep running.
class PasteListWindow : public PasteListHost, private DialogShell<PasteListWindow> {
 public:
  static constexpr int kWidth = 288, kHeight = 372;
  // Room for a pasted list of about a million proxies.
  static constexpr std::size_t kTextLimit = 16u << 20;
  // A line of the list is a proxy, maybe with a word or two after it; a
  // longer one is no proxy, and a line of a megabyte freezes the box's
  // wrapping under Wine.
  static constexpr std::size_t kLongestLine = 1024;
  static constexpr char kLineTooLongText[] =
      "A line of the text to paste is too long to be a proxy. Nothing was pasted.";
  static constexpr RECT kTextRect{12, 62, 12 + 264, 62 + 250};
  static constexpr RECT kAddRect{96, 336, 96 + 96, 336 + 28};

  // owner: disabled while the window is up.
  PasteListWindow(HINSTANCE instance, const platform::OwnerWindow& owner);
  ~PasteListWindow() override;
  PasteListWindow(const PasteListWindow&) = delete;
  PasteListWindow& operator=(const PasteListWindow&) = delete;

  std::string RunModal(PasteListForm& form) override;

  using DialogShell::onError;

 private:
  friend class platform::WindowBase<PasteListWindow>;
  friend class WindowShell<PasteListWindow>;
  friend class DialogShell<PasteListWindow>;
  bool Serving() const { return form_ != nullptr; }
  void PaintFace(HDC dc);
  bool ClickableAt(POINT units) const;
  // Dragged by its title to a monitor of another scale.
  bool Rescale(const Scale& scale, const RECT* suggested);
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // The text box's place and font at the window's scale.
  void PlaceTextBox(HWND text);

  HINSTANCE instance_;
  const platform::OwnerWindow& owner_;
  HWND window_ = nullptr;                  // while it is up
  std::shared_ptr<const GdiSet> textGdi_;  // the text box's font, at the scale
  PasteListForm* form_ = nullptr;
};

}  // namespace cloakwise::ui::win32
