#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui_thread.h"

namespace cloakwise::ui {

class Control;
class ModelObserver;

// The controls of one view (or menu, or window): each control adds itself
// when it is built, so a renderer reaches every control without a list that
// someone must remember to extend.
class ControlGroup {
 public:
  ControlGroup() = default;
  ControlGroup(const ControlGroup&) = delete;
  ControlGroup& operator=(const ControlGroup&) = delete;

  void Register(Control* control) { controls_.push_back(control); }
  const std::vector<Control*>& Controls() const { return controls_; }
  void SetObserver(ModelObserver* observer);

 private:
  std::vector<Control*> controls_;
};

// Told of every change of a control's state, so that a renderer can repaint
// what changed. Logic never paints; it only changes the model.
class ModelObserver {
 public:
  virtual ~ModelObserver() = default;
  virtual void ControlChanged(const Control& control) = 0;
};

class Control {
 public:
  explicit Control(std::string name, bool visible = true)
      : name_(std::move(name)), visible_(visible) {}
  Control(ControlGroup& group, std::string name, bool visible = true)
      : Control(std::move(name), visible) {
    group.Register(this);
  }
  virtual ~Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  const std::string& Name() const { return name_; }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  void SetObserver(ModelObserver* observer) { observer_ = observer; }

 protected:
  void Changed() {
    if (observer_) observer_->ControlChanged(*this);
  }

 private:
  std::string name_;
  bool visible_;
  bool enabled_ = true;
  ModelObserver* observer_ = nullptr;
};

// A control that can be clicked: labels used as buttons, pictures, menu items.
class Clickable : public Control {
 public:
  using Control::Control;
  std::function<void()> onClick;
  // A click on a hidden or disabled control does nothing, as on screen.
  void Click() {
    if (Visible() && Enabled() && onClick) onClick();
  }
};

class Label : public Clickable {
 public:
  Label(std::string name, std::string caption, bool visible = true)
      : Clickable(std::move(name), visible), caption_(std::move(caption)) {}
  Label(ControlGroup& group, std::string name, std::string caption, bool visible = true)
      : Clickable(group, std::move(name), visible), caption_(std::move(caption)) {}
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption);

 private:
  std::string caption_;
};

using Picture = Clickable;

class MenuItem;

// A popup menu: its items in the order they were declared.
class Menu : public ControlGroup {
 public:
  std::vector<MenuItem*> Items() const;
};

class MenuItem : public Label {
 public:
  MenuItem(Menu& menu, std::string name, std::string caption, bool visible = true)
      : Label(menu, std::move(name), std::move(caption), visible) {}
  // An item that unfolds the items of another menu; choosing it runs nothing.
  MenuItem(Menu& menu, std::string name, std::string caption, Menu& submenu)
      : Label(menu, std::move(name), std::move(caption)), submenu_(&submenu) {}
  bool IsSeparator() const { return Caption() == "-"; }
  Menu* Submenu() const { return submenu_; }

 private:
  Menu* submenu_ = nullptr;
};

// Text the user types or pastes, kept here once the window that edits it
// hands it over.
class TextBox : public Control {
 public:
  using Control::Control;
  const std::string& Text() const { return text_; }
  void SetText(std::string text);

 private:
  std::string text_;
};

// Setting a value from code runs onChange exactly when the value changes, as
// a click by the user would.
class CheckBox : public Control {
 public:
  CheckBox(std::string name, bool checked) : Control(std::move(name)), checked_(checked) {}
  CheckBox(ControlGroup& group, std::string name, bool checked)
      : Control(group, std::move(name)), checked_(checked) {}
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);
  // The user's click on the box or on its caption label.
  void Toggle() {
    if (Enabled()) SetChecked(!checked_);
  }
  std::function<void()> onChange;

 private:
  bool checked_;
};

// The label that names a check box: a click on it toggles the box, as a
// Windows check box's own text does. The layout pairs them from this.
class BoxCaption : public Label {
 public:
  BoxCaption(ControlGroup& group, std::string name, std::string caption, CheckBox& box)
      : Label(group, std::move(name), std::move(caption)), box_(box) {
    onClick = [&box] { box.Toggle(); };
  }
  CheckBox& Box() const { return box_; }

 private:
  CheckBox& box_;
};

// A position outside min..max is ignored: the slider keeps its position.
class Slider : public Control {
 public:
  Slider(std::string name, int min, int max, int position)
      : Control(std::move(name)), min_(min), max_(max), position_(position) {}
  Slider(ControlGroup& group, std::string name, int min, int max, int position)
      : Control(group, std::move(name)), min_(min), max_(max), position_(position) {}
  int Min() const { return min_; }
  int Max() const { return max_; }
  int Position() const { return position_; }
  bool SetPosition(int position);
  std::function<void()> onChange;

 private:
  int min_, max_, position_;
};

// A numeric field with up and down arrows. A value set from code is clamped
// into min..max; while the user types, the typed number is taken as it is and
// only clamped when the field loses the focus.
class SpinEdit : public Control {
 public:
  SpinEdit(std::string name, int min, int max, int value)
      : Control(std::move(name)), min_(min), max_(max), value_(value) {}
  SpinEdit(ControlGroup& group, std::string name, int min, int max, int value)
      : Control(group, std::move(name)), min_(min), max_(max), value_(value) {}
  int Min() const { return min_; }
  int Max() const { return max_; }
  int Value() const { return value_; }
  const std::string& Text() const { return text_; }
  void SetValue(int value);
  // The user changed the text: runs onChange with the number typed, or with
  // 1 when the text is not a number.
  void EditText(const std::string& text);
  // The field lost the focus.
  void ExitEdit();
  std::function<void()> onChange;

 private:
  void Assign(int value, std::string text);
  int min_, max_, value_;
  std::string text_ = std::to_string(value_);
};

// A bar from 0 to 100; positions outside are ignored.
class Gauge : public Control {
 public:
  using Control::Control;
  int Position() const { return position_; }
  void SetPosition(int position);

 private:
  int position_ = 0;
};

// A repeating timer on the user-interface thread; it runs while it is
// enabled with a non-zero interval. Changing the interval starts the count
// again.
class Timer {
 public:
  Timer(platform::UiThread& ui, std::uint32_t intervalMs, bool enabled)
      : ui_(ui), interval_(intervalMs), enabled_(enabled) {}
  ~Timer() { Stop(); }
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  bool Enabled() const { return enabled_; }
  std::uint32_t Interval() const { return interval_; }
  void SetEnabled(bool enabled);
  void SetInterval(std::uint32_t intervalMs);
  void SetHandler(std::function<void()> onTimer);
  bool Running() const { return id_ != 0; }

 private:
  void Restart();
  void Stop();

  platform::UiThread& ui_;
  std::uint32_t interval_;
  bool enabled_;
  std::function<void()> onTimer_;
  platform::UiThread::TimerId id_ = 0;
};

// The notification-area icon: an icon set, optional cycling through it every
// 200 ms, and balloons.
class TrayIcon : public Control {
 public:
  enum class IconSet { Idle, Search };
  static constexpr int kIdleIconCount = 1;
  static constexpr int kSearchIconCount = 8;
  static constexpr std::size_t kMaxBalloonTitle = 63;
  static constexpr std::size_t kMaxBalloonText = 255;

  struct Balloon {
    std::string title;
    std::string text;
    int serial = 0;  // grows with each balloon, so a renderer sees a repeat
  };

  TrayIcon(ControlGroup& group, std::string name, platform::UiThread& ui);

  IconSet Set() const { return set_; }
  int IconIndex() const { return index_; }
  bool Cycling() const { return cycling_; }
  const Balloon& LastBalloon() const { return balloon_; }

  // Shows the set's first icon; cycling stays as it was.
  void SetIconSet(IconSet set);
  // On: starts again at the first icon. Off: the current icon stays.
  void SetCycling(bool on);
  void ShowBalloon(std::string title, std::string text);

 private:
  void Advance();
  int Count() const { return set_ == IconSet::Idle ? kIdleIconCount : kSearchIconCount; }

  IconSet set_ = IconSet::Idle;
  int index_ = 0;
  bool cycling_ = false;
  Balloon balloon_;
  Timer cycle_;
};

}  // namespace cloakwise::ui
