#pragma once

#include "ui/controls.h"

namespace cloakwise::ui {

enum class View { Status = 1, Privacy = 2, Options = 3, Checker = 4 };

// Which of the four stacked views is on top.
class ViewSelector : public Control {
 public:
  using Control::Control;
  View Current() const { return current_; }
  void Set(View view) {
    if (current_ == view) return;
    current_ = view;
    Changed();
  }

 private:
  View current_ = View::Status;
};

// The state of the main window and everything on it: what the window shows
// and what the handlers change. Controls carry their design values, which
// they keep until start-up assigns the stored options.
class MainForm {
 public:
  explicit MainForm(platform::UiThread& ui) : t1(ui, 0, false), Timer1(ui, 1000, false), tray1("tray1", ui) {}

  Control window{"TForm1", /*visible=*/false};
  ViewSelector view{"views"};

  // StatusView
  Label Label1{"Label1", "127.0.0.1"};
  Label Label4{"Label4", "[none]"};
  Label Label5{"Label5", "[none]"};
  Label label31{"label31", ""};
  Gauge g1{"g1"};
  Label Label2{"Label2", "START"};
  Picture Image39{"Image39", true};   // INACTIVE
  Picture Image35{"Image35", false};  // Searching
  Picture Image38{"Image38", false};  // ACTIVE
  Picture Image10{"Image10", true};   // Internet Explorer HIDDEN
  Picture Image9{"Image9", true};     // Firefox HIDDEN

  // OptionsView
  CheckBox ch1{"ch1", false};
  Label Label12{"Label12", "Run at startup"};
  CheckBox ch2{"ch2", false};
  Label Label11{"Label11", "Change the proxy every:"};
  SpinEdit cntmin{"cntmin", 1, 1440, 10};
  Label Label9{"Label9", "minutes."};
  CheckBox ch3{"ch3", false};
  Label Label10{"Label10", "Change Firefox proxy"};
  Label Label26{"Label26", "Proxy security:"};
  Slider FatScrollBar2{"FatScrollBar2", 0, 2, 1};
  Label Label27{"Label27", "Transparent"};
  Label Label29{"Label29", "Anonymous"};
  Label Label28{"Label28", "Elite"};
  Label Label6{"Label6", "Proxy speed:"};
  Slider FatScrollBar1{"FatScrollBar1", 0, 8, 5};
  Label Label8{"Label8", "Fast"};
  Label Label30{"Label30", "Medium"};
  Label Label25{"Label25", "Slow"};
  Picture Image36{"Image36"};
  Picture Image37{"Image37"};
  CheckBox CheckBox7{"CheckBox7", false};
  Label Label19{"Label19", "Run PC Privacy clean up when program starts"};
  Label Label7{"Label7", "SAVE"};

  // PrivacyView: the captions of the two Firefox rows that depend on a
  // profile, and the task boxes.
  Label Label22{"Label22", "Delete Stored Cookies"};
  Label Label21{"Label21", "Delete History and Typed URLs in bar"};
  CheckBox CheckBox1{"CheckBox1", true}, CheckBox2{"CheckBox2", true}, CheckBox3{"CheckBox3", true},
      CheckBox4{"CheckBox4", true}, CheckBox5{"CheckBox5", true}, CheckBox6{"CheckBox6", true},
      CheckBox8{"CheckBox8", true}, CheckBox9{"CheckBox9", true}, CheckBox10{"CheckBox10", true},
      CheckBox11{"CheckBox11", true}, CheckBox12{"CheckBox12", true};

  // Timers: the rotation timer starts disabled and gets its interval from
  // start-up; the Searching blink.
  Timer t1;
  Timer Timer1;

  TrayIcon tray1;

  // Menu Pop1, in order.
  MenuItem n1{"n1", "Browse anonymous", false};
  MenuItem n2{"n2", "-", false};
  MenuItem StopStart1{"StopStart1", "Stop/Start"};
  MenuItem Changeproxynow1{"Changeproxynow1", "Change IP now"};
  MenuItem Myip1{"Myip1", "What is my IP..."};
  MenuItem ProxyCheker1{"ProxyCheker1", "Proxy Checker..."};
  MenuItem ProtectPCPrivacy1{"ProtectPCPrivacy1", "Protect PC Privacy..."};
  MenuItem Options1{"Options1", "Options..."};
  MenuItem Help1{"Help1", "Help..."};
  MenuItem About1{"About1", "About..."};
  MenuItem Close1{"Close1", "Close"};

  // Every control, for a renderer that wants to hear of each change.
  void SetObserver(ModelObserver* observer) {
    Control* all[] = {&window, &view, &Label1, &Label4, &Label5, &label31, &g1, &Label2, &Image39,
                      &Image35, &Image38, &Image10, &Image9, &ch1, &Label12, &ch2, &Label11,
                      &cntmin, &Label9, &ch3, &Label10, &Label26, &FatScrollBar2, &Label27,
                      &Label29, &Label28, &Label6, &FatScrollBar1, &Label8, &Label30, &Label25,
                      &Image36, &Image37, &CheckBox7, &Label19, &Label7, &CheckBox1, &CheckBox2,
                      &CheckBox3, &CheckBox4, &CheckBox5, &CheckBox6, &CheckBox8, &CheckBox9,
                      &CheckBox10, &CheckBox11, &CheckBox12, &Label22, &Label21, &tray1};
    for (Control* c : all) c->SetObserver(observer);
    for (MenuItem* m : Pop1()) m->SetObserver(observer);
  }

  std::vector<MenuItem*> Pop1() {
    return {&n1, &n2, &StopStart1, &Changeproxynow1, &Myip1, &ProxyCheker1,
            &ProtectPCPrivacy1, &Options1, &Help1, &About1, &Close1};
  }
};

// The program-information window.
class AboutForm {
 public:
  Control window{"TForm3", false};
  Label title{"Label1", "Program information"};
  Label version{"Label2", "Cloakwise ver 1.0"};
  Label close{"Button1", "Close"};
};

}  // namespace cloakwise::ui
