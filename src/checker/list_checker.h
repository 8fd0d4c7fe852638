#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "activeproxy/active_proxy.h"
#include "checker/custom_proxy_list.h"
#include "core/settings_store.h"
#include "core/worker_thread.h"
#include "http/http_client.h"
#include "judge/judge.h"
#include "platform/ui_thread.h"
#include "ui/main_form.h"
#include "ui/paste_list_form.h"

namespace cloakwise::checker {

// The checker view's handlers: the user's own list, its six-worker check
// through the judge, and "Use this proxy".
//
// User-interface thread only, except each worker's run.
class ListChecker {
 public:
  struct Services {
    ui::MainForm& form;
    platform::UiThread& ui;
    ActiveProxy& activeProxy;
    std::function<std::string()> askForProxyList;  // the paste window's text
    std::function<bool(const std::string&)> setClipboard;
    std::function<void(const std::string&)> showError;
  };

  ListChecker(Services services, SettingsStore& settings);
  // Each worker stops after the probe it is in, then ends; the list and the
  // clients outlive them.
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
  void RunCheckWorker(WorkerThread& self, int index);
  void OnCheckWorkerFinished();
  void ScheduleRepaint();

  Services services_;
  SettingsStore& settings_;
  judge::ServiceUrls urls_;
  CustomProxyList list_;
  // Tells a repaint posted from a worker whether this object still exists.
  std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
  std::shared_ptr<std::atomic<bool>> repaintPosted_ = std::make_shared<std::atomic<bool>>(false);
  // The clients outlive the workers that use them: declared first.
  std::array<http::HttpClient, 6> checkClients_;
  std::array<std::unique_ptr<WorkerThread>, 6> checkWorkers_;
};

}  // namespace cloakwise::checker
