#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "http/settings.h"
#include "http/url.h"

namespace cloakwise::http {

// Letters and digits stay, a blank becomes "+", every other byte "%XX".
std::string EncodeFormValue(std::string_view value);

// The body of a form POST from lines name=value (values encoded when asked).
std::string EncodeFormFields(const std::vector<std::string>& fields, bool encodeValues);

// The request line and header block, ended by the empty line. The target is
// the absolute URL with its port written out when a proxy is set.
std::string WriteRequestHead(std::string_view method, const Url& url,
                             const ClientSettings& settings, std::string_view version,
                             std::int64_t contentLength, const std::string& cookieHeader);

}  // namespace cloakwise::http
