#pragma once

#include <atomic>
#include <functional>

#include "app/application.h"
#include "fakes/fake_desktop.h"
#include "fakes/fake_files.h"
#include "fakes/fake_internet_options.h"
#include "fakes/fake_paste_list_host.h"
#include "fakes/fake_registry.h"
#include "fakes/fake_shell.h"
#include "fakes/fake_sqlite.h"
#include "fakes/fake_ui_thread.h"

namespace cloakwise::fakes {

// The whole program on fakes, with options.ini at C:\Apps\options.ini
// unless the program is placed elsewhere.
struct AppHarness {
  static constexpr char kIni[] = "C:\\Apps\\options.ini";
  static constexpr char kProfiles[] =
      "C:\\Users\\u\\AppData\\Roaming\\Mozilla\\Firefox\\Profiles\\";

  // Firefox is installed, with no profile yet, unless a test says otherwise.
  // tickCount, when given, is the clock the probes time themselves by.
  explicit AppHarness(std::function<std::int64_t()> tickCount = {},
                      std::string exePath = "C:\\Apps\\cloakwise.exe")
      : desktop(std::move(exePath)),
        app(PlatformServices{registry, internetOptions, files, ui, desktop, modal, shell, urlCache,
                             sqlite, std::move(tickCount), &pasteList,
                             [this](const ProxyAddress& proxy) {
                               ++watchProbes;
                               return proxyAnswers(proxy);
                             }}) {
    files.folders[kProfiles] = {};
  }

  FakeRegistry registry;
  FakeInternetOptions internetOptions;
  FakeFileSystem files;
  FakeUiThread ui;
  FakeDesktop desktop;
  FakeModalHost modal;
  FakeShell shell;
  FakeUrlCache urlCache;
  FakeSqlite sqlite;
  FakePasteListHost pasteList;
  // What the watch on the proxy in use finds, on the probe's thread; the
  // proxy answers unless a test says otherwise. Declared before the
  // program, which calls it.
  std::function<bool(const ProxyAddress&)> proxyAnswers = [](const ProxyAddress&) { return true; };
  std::atomic<int> watchProbes{0};
  Application app;

  std::string& Ini() { return files.files[kIni]; }
  void Start(std::vector<std::string> args = {}) { app.Startup(args); }
  std::optional<FakeRegistry::Data> RunValue() {
    return registry.Value(platform::RegistryRoot::CurrentUser, kRunKey, "Cloakwise");
  }
};

}  // namespace cloakwise::fakes
