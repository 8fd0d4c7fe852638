#pragma once

#include <optional>
#include <vector>

#include "platform/internet_options.h"

namespace cloakwise::fakes {

// Records every InternetSetOptionA call with the buffer it would carry.
class FakeInternetOptions : public platform::InternetOptions {
 public:
  struct Call {
    std::uint32_t option;
    std::optional<platform::ProxyInfo> proxy;
    std::optional<platform::PerConnectionOptionList> perConnection;
  };

  bool SetProxy(const platform::ProxyInfo& info) override;
  bool SetPerConnection(const platform::PerConnectionOptionList& list) override;
  bool Notify(std::uint32_t option) override;

  std::vector<std::uint32_t> OptionCodes() const;

  std::vector<Call> calls;
  bool result = true;  // what every call reports
};

}  // namespace cloakwise::fakes
