#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "search/client_identity.h"

namespace cloakwise::http {
class HttpClient;
}
namespace cloakwise::platform {
class UiThread;
}

namespace cloakwise::search {

// The plain texts of the two requests, before DigitEncode.
std::string FirstRequestText(const ClientIdentity& identity);
std::string SecondRequestText(const ClientIdentity& identity, const std::string& token);

// The second reply without the service's 10 leading and 8 trailing filler
// characters; a short reply loses what it has of them.
std::string StripServicePadding(std::string_view decoded);

// The three candidate lines of a payload, split at its first two ";". The
// third line keeps any further ";".
std::array<std::string, 3> SplitCandidates(std::string_view payload);

// How the service client reaches the window: the address the service saw,
// and the service's refusal in a message box.
struct ServiceReports {
  std::function<void(const std::string& address)> showLocalAddress;
  std::function<void(const std::string& title, const std::string& text)> showMessage;
};

// The client of the vendor's proxy-list service. It runs on the
// user-interface thread and shares nothing with the search workers.
class ProxyListService {
 public:
  // The longest reply taken.
  static constexpr std::size_t kReplyLimitBytes = 64 * 1024;

  // serviceClient is the user-interface thread's own HTTP client; host is
  // "name" or "name:port" of the service.
  ProxyListService(http::HttpClient& serviceClient, ServiceReports reports, platform::UiThread& ui,
                   const ClientIdentity& identity, const std::string& host);

  // Appends the three candidate lines of a new batch to list. A refusal of
  // the service is shown in the message box and leaves list as it was;
  // transport failures and unreadable replies propagate as http::HttpError.
  void FetchProxyBatch(std::vector<std::string>& list);

  const std::string& Url() const { return url_; }

 private:
  std::string Exchange(const std::string& plainRequest);

  http::HttpClient& serviceClient_;
  ServiceReports reports_;
  platform::UiThread& ui_;
  const ClientIdentity& identity_;
  std::string url_;
};

}  // namespace cloakwise::search
