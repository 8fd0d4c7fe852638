#pragma once

namespace cloakwise {

// The vendor's home page, opened by the link at the bottom of every window.
inline constexpr char kVendorHomePage[] = "http://www.cloakwise.example/";

// A public page that shows the visitor's IP address. Internet Explorer
// follows the system proxy, so with a proxy installed it shows the proxy's.
inline constexpr char kIpEchoPage[] = "https://ifconfig.me/";

}  // namespace cloakwise
