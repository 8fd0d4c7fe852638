#include "checker/list_checker.h"

#include "checker/list_check.h"
#include "core/option_keys.h"
#include "judge/judge.h"

namespace cloakwise::checker {

ListChecker::ListChecker(Services services, SettingsStore& settings)
    : services_(std::move(services)), settings_(settings) {
  checkRun_ =
      std::make_unique<WorkerThread>(services_.ui, [this](WorkerThread& self) { RunCheck(self); });
  ui::CheckerView& view = services_.view;
  view.proxyGrid.SetSource(&list_);
  view.proxyGrid.onDoubleClick = [this] { UseSelectedProxy(); };
  view.checkListButton.onClick = [this] { StartCheck(); };
  view.addProxyButton.onClick = [this] { AddProxiesFromPasteWindow(); };
  view.deleteProxyButton.onClick = [this] { DeleteSelectedProxy(); };
  view.clearListButton.onClick = [this] { ClearList(); };
  ui::ProxyListMenu& menu = services_.menu;
  menu.useProxyItem.onClick = [this] { UseSelectedProxy(); };
  menu.checkListItem.onClick = [this] { StartCheck(); };
  menu.addProxiesItem.onClick = [this] { AddProxiesFromPasteWindow(); };
  menu.deleteItem.onClick = [this] { DeleteSelectedProxy(); };
  menu.clearListItem.onClick = [this] { ClearList(); };
  menu.copyAnonymousAndEliteItem.onClick = [this] {
    CopyProxiesByType(CopyFilter::AnonymousOrElite);
  };
  menu.copyAnonymousItem.onClick = [this] { CopyProxiesByType(CopyFilter::Anonymous); };
  menu.copyEliteItem.onClick = [this] { CopyProxiesByType(CopyFilter::Elite); };
  list_.SetChangeHandler([this] { ScheduleRepaint(); });
}

ListChecker::~ListChecker() {
  checkRun_->Stop();
  checkRun_.reset();
  *alive_ = false;
  services_.view.proxyGrid.SetSource(nullptr);
}

void ListChecker::ScheduleRepaint() {
  // Workers change rows many times a second: one repaint waiting is enough.
  if (repaintPosted_->exchange(true)) return;
  services_.ui.Post([this, alive = alive_, posted = repaintPosted_] {
    *posted = false;
    if (*alive) services_.view.proxyGrid.Invalidate();
  });
}

void ListChecker::LoadCustomProxyList() {
  urls_ = judge::ReadServiceUrls(settings_);
  list_.Load(settings_);
  services_.view.proxyGrid.Invalidate();
}

bool ListChecker::Checking() const {
  return checkRun_->Running();
}

void ListChecker::StartCheck() {
  if (!list_.ResetForCheck()) return;
  inFlight_ = static_cast<std::size_t>(ReadParallelChecks(settings_));
  // A run still in an earlier check puts back what it had in flight and
  // ends; the fresh one starts as soon as its end has been handled.
  checkRun_->Restart();
}

void ListChecker::RunCheck(WorkerThread& self) {
  RunListCheck(list_, urls_, inFlight_, [&self] { return self.StopRequested(); });
  self.ReportToUiThread([this] { OnCheckFinished(); });
}

void ListChecker::OnCheckFinished() {
  // A row pasted after the run's last claim still waits: the run goes on.
  if (list_.CheckPending()) return checkRun_->Restart();
  SortByPing(list_, [this] { services_.ui.ProcessMessages(); });
}

void ListChecker::UseSelectedProxy() {
  const auto entry =
      list_.IsEmpty() ? std::nullopt : list_.EntryAt(services_.view.proxyGrid.CurrentRow());
  if (!entry) return;
  // Only an address and a whole port may reach the registry and user.js.
  const auto address = ProxyAddress::Parse(entry->proxy);
  if (!address) {
    services_.status.ShowBalloon(
        "Cannot use this proxy", "\"" + entry->proxy + "\" is not an address and port (IP:Port).");
    return;
  }
  services_.activeProxy.UseChosen(
      ProxyChoice{*address, "Custom Proxy", judge::ProxyKindText(entry->level), 0, address->host});
}

void ListChecker::AddProxiesFromPasteWindow() {
  const std::string text = services_.askForProxyList ? services_.askForProxyList() : std::string();
  const PasteCounts counts = list_.AddPastedLines(text);
  list_.Save(settings_);
  // The grid shows what was added; only lines that went nowhere need words,
  // or the user would hunt the grid for proxies that are not there.
  if (counts.refused == 0 && counts.alreadyListed == 0) return;
  const auto count = [](std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + ' ' + (n == 1 ? one : many);
  };
  std::string message = counts.added == 0 ? std::string("No proxies added.")
                                          : count(counts.added, "proxy", "proxies") + " added.";
  message += ' ' + count(counts.refused + counts.alreadyListed, "line", "lines") + " left out: ";
  if (counts.refused > 0) message += std::to_string(counts.refused) + " not in the form IP:Port";
  if (counts.refused > 0 && counts.alreadyListed > 0) message += ", ";
  if (counts.alreadyListed > 0) {
    message += std::to_string(counts.alreadyListed) + " already in the list";
  }
  if (services_.showMessage) services_.showMessage("Add Proxy", message + '.');
}

void ListChecker::DeleteSelectedProxy() {
  list_.DeleteRow(services_.view.proxyGrid.CurrentRow());
  list_.Save(settings_);
}

void ListChecker::ClearList() {
  list_.Clear();
  settings_.EraseSection(kProxyListSection);
}

void ListChecker::CopyProxiesByType(CopyFilter filter) {
  if (!services_.setClipboard(list_.CopyText(filter))) {
    services_.showError("Cannot copy to the clipboard: another program holds it.");
  }
}

void ListChecker::OnListMenuOpening() {
  services_.menu.useProxyItem.SetEnabled(!list_.IsEmpty());
}

}  // namespace cloakwise::checker
