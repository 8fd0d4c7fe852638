// The list client as built into cloakwise.exe (Winsock, the real message
// loop, options.ini through the Windows file layer), run under Wine against
// the native reference service on loopback.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <vector>

#include "core/option_keys.h"
#include "core/settings_store.h"
#include "http/http_client.h"
#include "judge/judge.h"
#include "platform/win32/win32_platform.h"
#include "search/client_identity.h"
#include "search/proxy_list_service.h"
#include "ui/controls.h"
#include "ui/message_box.h"

namespace cloakwise::search {
namespace {

class RecordingModalHost : public ui::ModalHost {
 public:
  void RunModal(ui::MessageBoxForm& form) override {
    shown.push_back(form.title.Caption() + ": " + form.text.Caption());
  }
  std::vector<std::string> shown;
};

class FetchUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* ports = std::getenv("CLOAKWISE_SERVICE_PORTS");
    ASSERT_NE(ports, nullptr) << "run through tests/search/win32/run_against_service.sh";
    std::istringstream(ports) >> batchPort >> emptyPort;
    ASSERT_NE(emptyPort, 0);
  }
  std::string Host(int port) { return "127.0.0.1:" + std::to_string(port); }

  int batchPort = 0;
  int emptyPort = 0;
  platform::Win32UiThread ui;
  ui::Label localAddressLabel{"localAddressLabel", "127.0.0.1"};
  RecordingModalHost modal;
  ui::MessageBoxForm box{modal};
  http::HttpClient serviceClient{&ui};
  const ClientIdentity identity = MakeClientIdentity();
  std::vector<std::string> list;

  search::ServiceReports Reports() {
    return {[this](const std::string& address) { localAddressLabel.SetCaption(address); },
            [this](const std::string& title, const std::string& text) {
              box.ShowMessageBox(title, text);
            }};
  }
};

TEST_F(FetchUnderWine, FetchesABatchOfThree) {
  localAddressLabel.SetCaption("");
  ProxyListService service(serviceClient, Reports(), ui, identity, Host(batchPort));
  service.FetchProxyBatch(list);
  EXPECT_EQ(localAddressLabel.Caption(), "127.0.0.1");
  EXPECT_EQ(list, (std::vector<std::string>{"127.0.0.11:3128 Loopback one",
                                            "127.0.0.12:8080 Loopback two, with a comma",
                                            "127.0.0.13:80 Loopback three"}));
  EXPECT_TRUE(modal.shown.empty());
}

TEST_F(FetchUnderWine, ShowsTheServicesRefusal) {
  ProxyListService service(serviceClient, Reports(), ui, identity, Host(emptyPort));
  service.FetchProxyBatch(list);
  EXPECT_EQ(modal.shown, std::vector<std::string>{
                             "Error: No proxies available at the moment, please try again later."});
  EXPECT_TRUE(list.empty());
}

TEST_F(FetchUnderWine, TakesTheServiceHostFromOptionsIni) {
  const auto folder = std::filesystem::temp_directory_path() / "cloakwise-service-host";
  std::filesystem::create_directories(folder);
  const std::string path = (folder / "options.ini").string();
  platform::Win32FileSystem files;
  SettingsStore settings(files, path);
  settings.WriteString(kServiceSection, kServiceHostKey, Host(batchPort));
  const std::string host = judge::ReadServiceHost(settings);
  std::filesystem::remove_all(folder);
  EXPECT_EQ(host, Host(batchPort));

  ProxyListService service(serviceClient, Reports(), ui, identity, host);
  service.FetchProxyBatch(list);
  EXPECT_EQ(list.size(), 3u);
}

}  // namespace
}  // namespace cloakwise::search
