#include "fakes/fake_internet_options.h"

namespace cloakwise::fakes {

bool FakeInternetOptions::SetProxy(const platform::ProxyInfo& info) {
  calls.push_back({platform::kInternetOptionProxy, info, std::nullopt});
  return result;
}

bool FakeInternetOptions::SetPerConnection(const platform::PerConnectionOptionList& list) {
  calls.push_back({platform::kInternetOptionPerConnectionOption, std::nullopt, list});
  return result;
}

bool FakeInternetOptions::Notify(std::uint32_t option) {
  calls.push_back({option, std::nullopt, std::nullopt});
  return result;
}

std::vector<std::uint32_t> FakeInternetOptions::OptionCodes() const {
  std::vector<std::uint32_t> codes;
  for (const Call& c : calls) codes.push_back(c.option);
  return codes;
}

}  // namespace cloakwise::fakes
