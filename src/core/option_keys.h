#pragma once

// Every section and key of options.ini. The texts are the file format that
// users' existing files hold: they never change, only these names may.
namespace cloakwise {

inline constexpr char kOptionsSection[] = "Options";
inline constexpr char kKeyRunAtStartup[] = "StartUp";  // missing: the first run
inline constexpr char kKeyFirefox[] = "Firefox";
inline constexpr char kKeyRotationMinutes[] = "ProxyChange";
inline constexpr char kKeyMinimumAnonymity[] = "ProxyType";
inline constexpr char kKeyProbeTimeoutSeconds[] = "Timeout";
inline constexpr char kKeyRotateEvery[] = "Change1";
inline constexpr char kKeyCleanAtStartup[] = "PC-clean";
// How many proxies the list check probes at once.
inline constexpr char kKeyParallelChecks[] = "ParallelChecks";

// One key per clean-up task.
inline constexpr char kKeyCleanIeCache[] = "opt1";
inline constexpr char kKeyCleanIeTypedUrls[] = "opt2";
inline constexpr char kKeyCleanIeCookies[] = "opt3";
inline constexpr char kKeyCleanIeHistory[] = "opt4";
inline constexpr char kKeyCleanFirefoxCookies[] = "opt5";
inline constexpr char kKeyCleanFirefoxHistory[] = "opt6";
inline constexpr char kKeyCleanTempFiles[] = "opt7";
inline constexpr char kKeyCleanRecentDocuments[] = "opt8";
inline constexpr char kKeyCleanClipboard[] = "opt9";
inline constexpr char kKeyCleanRecycleBin[] = "opt10";
inline constexpr char kKeyCleanFirefoxFormHistory[] = "opt11";
inline constexpr char kKeyCleanFirefoxCache[] = "opt12";
inline constexpr char kKeyCleanChromiumCache[] = "opt13";
inline constexpr char kKeyCleanChromiumCookies[] = "opt14";
inline constexpr char kKeyCleanChromiumHistory[] = "opt15";

// The user's own proxies, one "host:port" line each.
inline constexpr char kProxyListSection[] = "Proxy list";

// Where the proxy-list service and the judge live: host or host:port.
inline constexpr char kServiceSection[] = "Service";
inline constexpr char kServiceHostKey[] = "Host";
// The port of the judge's host that the tunnel probe asks for; 443 unless set.
inline constexpr char kServiceTunnelPortKey[] = "TunnelPort";

}  // namespace cloakwise
