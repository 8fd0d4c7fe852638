#include "search/proxy_list_service.h"

#include <algorithm>

#include "http/http_client.h"
#include "judge/judge.h"
#include "platform/ui_thread.h"
#include "search/digit_codec.h"
#include "ui/controls.h"
#include "ui/message_box.h"

namespace cloakwise::search {
namespace {

constexpr std::size_t kTokenLength = 10;
constexpr std::size_t kLeadingFiller = 10;
constexpr std::size_t kTrailingFiller = 8;
constexpr std::string_view kRefusalMarker = "STR";

std::string IdentityPrefix(const ClientIdentity& identity) {
  return "7;" + identity.programName + ";" + identity.programVersion + ";" +
         EncodeClientNumber(identity.runNumber);
}

// The text before the next ";" of rest, which then loses it and the ";".
std::string TakeField(std::string_view& rest) {
  const auto separator = rest.find(';');
  if (separator == std::string_view::npos) return "";
  std::string field(rest.substr(0, separator));
  rest.remove_prefix(separator + 1);
  return field;
}

}  // namespace

std::string FirstRequestText(const ClientIdentity& identity) {
  return IdentityPrefix(identity);
}

std::string SecondRequestText(const ClientIdentity& identity, const std::string& token) {
  return IdentityPrefix(identity) + ";" + token + "=" + DigitEncode(token) + ";";
}

std::string StripServicePadding(std::string_view decoded) {
  decoded.remove_prefix(std::min(kLeadingFiller, decoded.size()));
  if (decoded.size() >= kTrailingFiller) decoded.remove_suffix(kTrailingFiller);
  return std::string(decoded);
}

std::array<std::string, 3> SplitCandidates(std::string_view payload) {
  std::array<std::string, 3> lines;
  lines[0] = TakeField(payload);
  lines[1] = TakeField(payload);
  lines[2] = std::string(payload);
  return lines;
}

ProxyListService::ProxyListService(http::HttpClient& serviceClient, ServiceReports reports,
                                   platform::UiThread& ui, const ClientIdentity& identity,
                                   const std::string& host)
    : serviceClient_(serviceClient),
      reports_(std::move(reports)),
      ui_(ui),
      identity_(identity),
      url_(judge::MakeServiceUrls(host).proxyList) {
  // A batch of three lines, digit-encoded with its padding, is well under a
  // kilobyte: a longer reply is no batch, and fails as soon as it passes
  // this instead of streaming on for the exchange's whole time bound.
  serviceClient_.Settings().maxBodyBytes = kReplyLimitBytes;
}

std::string ProxyListService::Exchange(const std::string& plainRequest) {
  return DigitDecode(serviceClient_.Post(url_, {"posttxt=" + DigitEncode(plainRequest)}));
}

void ProxyListService::FetchProxyBatch(std::vector<std::string>& list) {
  const std::string first = Exchange(FirstRequestText(identity_));
  // The address is shown even when the second step then fails.
  reports_.showLocalAddress(first.size() > kTokenLength ? first.substr(kTokenLength) : "");
  const std::string token = first.substr(0, kTokenLength);

  const std::string payload = StripServicePadding(Exchange(SecondRequestText(identity_, token)));
  if (payload.starts_with(kRefusalMarker)) {
    reports_.showMessage("Error", payload.substr(kRefusalMarker.size()));
  } else {
    for (auto& line : SplitCandidates(payload)) list.push_back(std::move(line));
  }
  ui_.ProcessMessages();
}

}  // namespace cloakwise::search
