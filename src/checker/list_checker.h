#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "activeproxy/active_proxy.h"
#include "checker/custom_proxy_list.h"
#include "core/settings_store.h"
#include "core/worker_thread.h"
#include "judge/judge.h"
#include "platform/ui_thread.h"
#include "ui/main_form.h"
#include "ui/paste_list_form.h"

namespace cloakwise::checker {

// The checker view's handlers: the user's own list, its check through the
// judge (one run, many probes in flight), and "Use this proxy".
//
// User-interface thread only, except each worker's run.
class ListChecker {
 public:
  struct Services {
    ui::CheckerView& view;
    ui::ProxyListMenu& menu;
    ui::StatusPresenter& status;  // its balloons
    platform::UiThread& ui;
    ActiveProxy& activeProxy;
    std::function<std::string()> askForProxyList;  // the paste window's text
    std::function<bool(const std::string&)> setClipboard;
    std::function<void(const std::string&)> showError;
    // The program's own message box.
    std::function<void(const std::string& title, const std::string& text)> showMessage;
  };

  ListChecker(Services services, SettingsStore& settings);
  // A check under way ends within a tenth of a second; the list outlives it.
  ~ListChecker();
  ListChecker(const ListChecker&) = delete;
  ListChecker& operator=(const ListChecker&) = delete;

  // Start-up: the stored list, and where the judge lives.
  void LoadCustomProxyList();

  void StartCheck();
  void UseSelectedProxy();
  void AddProxiesFromPasteWindow();
  void DeleteSelectedProxy();
  void ClearList();
  void CopyProxiesByType(CopyFilter filter);
  void OnListMenuOpening();

  CustomProxyList& List() { return list_; }
  bool Checking() const;

 private:
  void RunCheck(WorkerThread& self);
  void OnCheckFinished();
  void ScheduleRepaint();

  Services services_;
  SettingsStore& settings_;
  judge::ServiceUrls urls_;
  CustomProxyList list_;
  // Tells a repaint posted from a worker whether this object still exists.
  std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
  std::shared_ptr<std::atomic<bool>> repaintPosted_ = std::make_shared<std::atomic<bool>>(false);
  // Read from options.ini as each check starts.
  std::atomic<std::size_t> inFlight_{0};
  std::unique_ptr<WorkerThread> checkRun_;
};

}  // namespace cloakwise::checker
