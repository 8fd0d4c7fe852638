#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace cloakwise::http {

// The settings of one client object, with the values every instance starts
// with. Callers change only the proxy server, the proxy port and the read
// time-out, right before a request.
struct ClientSettings {
  int port = 80;                        // default port of a URL without one
  std::string protocolVersion = "1.1";  // of GET; POST sends 1.0 (see keepOriginalProtocol)
  std::string accept = "text/html, */*";
  std::string contentType = "text/html";  // sent on every request while non-empty
  std::string userAgent = "Mozilla/3.0 (compatible; Indy Library)";
  std::int64_t contentLength = -1;  // of GET: below 0 sends no Content-Length
  std::string connection;           // an explicit Connection value; empty adds keep-alive on 1.0
  std::string proxyServer;          // empty: connect directly to the URL's host
  int proxyPort = 0;
  int readTimeoutMs = 0;  // every wait for data, and the connect; 0 waits without limit
  bool allowCookies = true;
  bool forceEncodeParams = true;      // encode the field values of a POST
  bool keepOriginalProtocol = false;  // false: POST always goes out as 1.0

  // Range, credentials and redirect following are never used by the program;
  // the client keeps the start values and refuses a request that changes them.
  std::int64_t rangeStart = 0;
  std::int64_t rangeEnd = 0;
  bool basicAuthentication = false;
  bool proxyBasicAuthentication = false;
  bool inProcessAuthentication = false;
  bool handleRedirects = false;
  int redirectMaximum = 15;
  int authenticationRetries = 3;

  // Guards against hostile servers and proxies. Probes read a digit and the
  // list service a few lines, so these never touch a real reply.
  std::size_t maxBodyBytes = 8u << 20;     // bodies (error bodies are cut there instead)
  std::size_t maxHeaderBytes = 64u << 10;  // status and header lines of one reply, 100s included
  std::size_t maxLineBytes = 16384;        // one status or header line
  // The whole request (connect, send, reply). Below 0: ten times the read
  // time-out but at least 30 s, and no bound while the read time-out is 0.
  int maxRequestMs = -1;
  // Connect limit on the user-interface thread when the read time-out is 0.
  int uiConnectLimitMs = 120000;
};

// The total time bound maxRequestMs stands for; 0 means none.
int EffectiveRequestLimitMs(const ClientSettings& settings);

}  // namespace cloakwise::http
