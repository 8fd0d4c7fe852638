#pragma once

#include <initializer_list>

#include "ui/controls.h"
#include "ui/grid.h"

namespace cloakwise::ui {

enum class View { Status = 1, Privacy = 2, Options = 3, Checker = 4 };

// Which one of several is shown: the view on top of the four stacked ones,
// the page of a view that has more than one. The first until changed.
template <typename T, T kFirst>
class Selector : public Control {
 public:
  using Control::Control;
  T Current() const { return current_; }
  void Set(T value) {
    if (current_ == value) return;
    current_ = value;
    Changed();
  }

 private:
  T current_ = kFirst;
};
using ViewSelector = Selector<View, View::Status>;
using PageSelector = Selector<int, 0>;

// The status view: the address in use, the anonymity and speed, START/STOP
// and the indicators beneath it.
struct StatusView : ControlGroup {
  Label localAddressLabel{*this, "localAddressLabel", "127.0.0.1"};
  Label proxyAddressLabel{*this, "proxyAddressLabel", "[none]"};
  Label proxyDescriptionLabel{*this, "proxyDescriptionLabel", "[none]"};
  Label anonymityLabel{*this, "anonymityLabel", ""};
  Gauge speedGauge{*this, "speedGauge"};
  Label startStopButton{*this, "startStopButton", "START"};
  Picture inactiveIndicator{*this, "inactiveIndicator", true};
  Picture searchingIndicator{*this, "searchingIndicator", false};
  Picture activeIndicator{*this, "activeIndicator", false};
  // Shown only while that browser goes through the program's proxy.
  Picture ieHiddenBadge{*this, "ieHiddenBadge", false};
  Picture firefoxHiddenBadge{*this, "firefoxHiddenBadge", false};
};

// The options view. Headings and slider marks are layout text.
struct OptionsView : ControlGroup {
  CheckBox runAtStartupBox{*this, "runAtStartupBox", false};
  BoxCaption runAtStartupCaption{*this, "runAtStartupCaption", "Run at startup", runAtStartupBox};
  CheckBox rotateEveryBox{*this, "rotateEveryBox", false};
  BoxCaption rotateEveryCaption{*this, "rotateEveryCaption", "Change the proxy every:", rotateEveryBox};
  SpinEdit rotationMinutesField{*this, "rotationMinutesField", 1, 1440, 10};
  BoxCaption minutesCaption{*this, "minutesCaption", "minutes.", rotateEveryBox};
  CheckBox firefoxBox{*this, "firefoxBox", false};
  BoxCaption firefoxCaption{*this, "firefoxCaption", "Change Firefox proxy", firefoxBox};
  Slider securitySlider{*this, "securitySlider", 0, 2, 1};
  Slider speedSlider{*this, "speedSlider", 0, 8, 5};
  Picture securityHelpButton{*this, "securityHelpButton"};
  Picture speedHelpButton{*this, "speedHelpButton"};
  CheckBox cleanAtStartupBox{*this, "cleanAtStartupBox", false};
  BoxCaption cleanAtStartupCaption{*this, "cleanAtStartupCaption",
                              "Run PC Privacy clean up when program starts", cleanAtStartupBox};
  Label saveButton{*this, "saveButton", "SAVE"};
};

// The privacy view: a box and its clickable caption per clean-up task, in
// the order the clean-up runs them; "APPLY"; the run's status line. The
// group headings are layout text.
struct PrivacyView : ControlGroup {
  // Internet Explorer and the computer on the first, the other browsers on
  // the second.
  PageSelector pages{*this, "privacyPages"};
  CheckBox ieCacheBox{*this, "ieCacheBox", true};
  BoxCaption ieCacheCaption{*this, "ieCacheCaption", "Delete Temporary Internet Files - Cache", ieCacheBox};
  CheckBox ieTypedUrlsBox{*this, "ieTypedUrlsBox", true};
  BoxCaption ieTypedUrlsCaption{*this, "ieTypedUrlsCaption", "Delete Typed URLs in IE bar", ieTypedUrlsBox};
  CheckBox ieCookiesBox{*this, "ieCookiesBox", true};
  BoxCaption ieCookiesCaption{*this, "ieCookiesCaption", "Delete Stored Cookies", ieCookiesBox};
  CheckBox ieHistoryBox{*this, "ieHistoryBox", true};
  BoxCaption ieHistoryCaption{*this, "ieHistoryCaption", "Delete History", ieHistoryBox};
  CheckBox firefoxFormHistoryBox{*this, "firefoxFormHistoryBox", true};
  BoxCaption firefoxFormHistoryCaption{*this, "firefoxFormHistoryCaption",
                                  "Delete Stored Passwords and Autocomplete", firefoxFormHistoryBox};
  CheckBox firefoxCookiesBox{*this, "firefoxCookiesBox", true};
  BoxCaption firefoxCookiesCaption{*this, "firefoxCookiesCaption", "Delete Stored Cookies", firefoxCookiesBox};
  CheckBox firefoxHistoryBox{*this, "firefoxHistoryBox", true};
  BoxCaption firefoxHistoryCaption{*this, "firefoxHistoryCaption",
                              "Delete History and Typed URLs in bar", firefoxHistoryBox};
  CheckBox firefoxCacheBox{*this, "firefoxCacheBox", true};
  BoxCaption firefoxCacheCaption{*this, "firefoxCacheCaption", "Delete Cache", firefoxCacheBox};
  // Chrome, Edge and the other browsers of the same make.
  CheckBox chromiumCacheBox{*this, "chromiumCacheBox", true};
  BoxCaption chromiumCacheCaption{*this, "chromiumCacheCaption", "Delete Cache", chromiumCacheBox};
  CheckBox chromiumCookiesBox{*this, "chromiumCookiesBox", true};
  BoxCaption chromiumCookiesCaption{*this, "chromiumCookiesCaption", "Delete Stored Cookies", chromiumCookiesBox};
  CheckBox chromiumHistoryBox{*this, "chromiumHistoryBox", true};
  BoxCaption chromiumHistoryCaption{*this, "chromiumHistoryCaption", "Delete History", chromiumHistoryBox};
  CheckBox tempFilesBox{*this, "tempFilesBox", true};
  BoxCaption tempFilesCaption{*this, "tempFilesCaption", "Delete Temporary PC Files", tempFilesBox};
  CheckBox recentDocumentsBox{*this, "recentDocumentsBox", true};
  BoxCaption recentDocumentsCaption{*this, "recentDocumentsCaption",
                               "Delete Recently Opened Documents in Start Menu", recentDocumentsBox};
  CheckBox clipboardBox{*this, "clipboardBox", true};
  BoxCaption clipboardCaption{*this, "clipboardCaption", "Clear Clipboard", clipboardBox};
  CheckBox recycleBinBox{*this, "recycleBinBox", true};
  BoxCaption recycleBinCaption{*this, "recycleBinCaption", "Empty Recycle Bin", recycleBinBox};
  Label applyButton{*this, "applyButton", "APPLY"};
  Label cleanupStatusLabel{*this, "cleanupStatusLabel", "Ready for clean-up."};
};

// The proxy checker view: the custom proxy list and the buttons that act on
// it. The heading above the list is layout text.
struct CheckerView : ControlGroup {
  Grid proxyGrid{*this, "proxyGrid"};
  Label checkListButton{*this, "checkListButton", "Check List"};
  Label addProxyButton{*this, "addProxyButton", "Add Proxy"};
  Label deleteProxyButton{*this, "deleteProxyButton", "Del Proxy"};
  Label clearListButton{*this, "clearListButton", "Clear List"};
};

// The main menu, opened from the tray, "MENU" and a right click on a view.
struct MainMenu : Menu {
  MenuItem browseAnonymouslyItem{*this, "browseAnonymouslyItem", "Browse anonymous", false};
  MenuItem browseSeparator{*this, "browseSeparator", "-", false};
  MenuItem startStopItem{*this, "startStopItem", "Stop/Start"};
  MenuItem changeIpNowItem{*this, "changeIpNowItem", "Change IP now"};
  MenuItem whatIsMyIpItem{*this, "whatIsMyIpItem", "What is my IP..."};
  MenuItem proxyCheckerItem{*this, "proxyCheckerItem", "Proxy Checker..."};
  MenuItem privacyItem{*this, "privacyItem", "Protect PC Privacy..."};
  MenuItem optionsItem{*this, "optionsItem", "Options..."};
  MenuItem helpItem{*this, "helpItem", "Help..."};
  MenuItem aboutItem{*this, "aboutItem", "About..."};
  MenuItem closeItem{*this, "closeItem", "Close"};
};

// The proxy list's menu, opened by a right click on the list. The copy items
// live in a menu of their own that "Copy to clipboard" unfolds.
struct ProxyListMenu : Menu {
  MenuItem useProxyItem{*this, "useProxyItem", "Use this proxy"};
  MenuItem listSeparator{*this, "listSeparator", "-"};
  MenuItem checkListItem{*this, "checkListItem", "Check the List"};
  MenuItem addProxiesItem{*this, "addProxiesItem", "Add Proxy List"};
  MenuItem deleteItem{*this, "deleteItem", "Delete"};
  MenuItem clearListItem{*this, "clearListItem", "Clear List"};
  Menu copyItems;
  MenuItem copySubmenu{*this, "copySubmenu", "Copy to clipboard", copyItems};
  MenuItem copyAnonymousAndEliteItem{copyItems, "copyAnonymousAndEliteItem", "All Anon/Elite"};
  MenuItem copyAnonymousItem{copyItems, "copyAnonymousItem", "All Anon"};
  MenuItem copyEliteItem{copyItems, "copyEliteItem", "All Elite"};
};

// The state of the main window and everything on it: what the window shows
// and what the handlers change. Controls carry their design values, which
// they keep until start-up assigns the stored options.
class MainForm : public ControlGroup {
 public:
  explicit MainForm(platform::UiThread& ui) : trayIcon(*this, "trayIcon", ui) {}

  Control window{*this, "mainWindow", /*visible=*/false};
  ViewSelector view{*this, "views"};

  StatusView status;
  OptionsView options;
  PrivacyView privacy;
  CheckerView checker;
  MainMenu mainMenu;
  ProxyListMenu listMenu;

  TrayIcon trayIcon;

  // Every control of the window, for a renderer that wants to hear of each
  // change.
  void SetObserver(ModelObserver* observer) {
    ControlGroup::SetObserver(observer);
    for (ControlGroup* group : std::initializer_list<ControlGroup*>{
             &status, &options, &privacy, &checker, &mainMenu, &listMenu, &listMenu.copyItems}) {
      group->SetObserver(observer);
    }
  }
};

// The program-information window.
class AboutForm {
 public:
  Control window{"aboutWindow", false};
  Label title{"title", "Program information"};
  Label version{"version", "Cloakwise ver 1.0"};
  Label close{"close", "Close"};
};

}  // namespace cloakwise::ui
