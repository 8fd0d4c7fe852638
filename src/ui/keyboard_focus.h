#pragma once

#include <vector>

#include "ui/layout.h"

namespace cloakwise::ui {

// The main window without a mouse: which painted control has the keyboard,
// Tab and Shift+Tab through them in reading order, and what the keys do to
// the focused one. Everything a key does goes through the layout's own
// clicks and frame actions, so a key and a click can never disagree.
class KeyboardFocus {
 public:
  using Key = FocusKey;

  KeyboardFocus(MainForm& form, Layout& layout) : form_(form), layout_(layout) {}

  // The widgets Tab stops at on the current view and page, in reading
  // order: top to bottom, and left to right along a line.
  std::vector<const Layout::Widget*> Stops() const;
  // Null until a key chose one, or once it is no longer among the stops.
  const Layout::Widget* Focused() const;
  // Whether the key meant something here; the rest go to Windows.
  bool KeyDown(Key key, bool shift, bool ctrl);

  // Windows draws the focus only once the keyboard was used, and a mouse
  // click hides it again. A click on a control (a box's caption stands for
  // its box) also gives it the focus, so Tab goes on from there.
  bool CueShown() const { return cueShown_; }
  void MouseUsed(const Layout::Widget* clicked = nullptr);

 private:
  void Move(bool backwards);
  void NextView(bool backwards);
  // A click in the middle of the widget: the same path the mouse takes.
  void Press(const Layout::Widget& w);
  bool OnFocused(const Layout::Widget& w, Key key);
  // The button Enter presses on the current view when no button has the
  // focus.
  Control* DefaultButton() const;
  void Frame(const char* shown);

  MainForm& form_;
  Layout& layout_;
  const Layout::Widget* focused_ = nullptr;
  bool cueShown_ = false;
};

}  // namespace cloakwise::ui
