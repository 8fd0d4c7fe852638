#pragma once

#include <string>
#include <vector>

#include "http/cookie_jar.h"
#include "http/errors.h"
#include "http/settings.h"
#include "http/socket.h"

namespace cloakwise::platform {
class UiThread;
}

namespace cloakwise::http {

// The program's blocking HTTP client: GET and form POST, directly or through
// an HTTP proxy. One instance serves one thread. The instance used on the
// user-interface thread gets that thread, so its waits let pending messages
// run; worker instances get none and block plainly.
class HttpClient {
 public:
  explicit HttpClient(platform::UiThread* uiThread = nullptr) : ui_(uiThread) {}
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  ClientSettings& Settings() { return settings_; }
  const ClientSettings& Settings() const { return settings_; }

  // Both return the reply body byte for byte and throw an HttpError kind on
  // any failure.
  std::string Get(const std::string& url);
  // fields: lines name=value.
  std::string Post(const std::string& url, const std::vector<std::string>& fields);
  // Through the proxy of Settings() (which must name one), a tunnel to the
  // URL's host and port (CONNECT), then a GET of the URL through it, spoken
  // to that host directly: what a browser does for https://. Always a fresh
  // connection, closed at the end. A refusal of the tunnel is an
  // HttpStatusError with the proxy's status; a proxy that sends bytes of its
  // own after accepting the tunnel gives MalformedReply.
  std::string GetThroughTunnel(const std::string& url);

  void Disconnect();
  bool Connected() const { return socket_.IsOpen(); }

  int LastStatus() const { return lastStatus_; }
  const std::string& LastStatusLine() const { return lastStatusLine_; }
  const CookieJar& Cookies() const { return cookies_; }

 private:
  std::string Request(const char* method, const std::string& urlText, const std::string& body,
                      const std::string& version, std::int64_t contentLength);

  platform::UiThread* ui_;
  ClientSettings settings_;
  TcpSocket socket_;
  std::string connectedHost_;
  int connectedPort_ = 0;
  CookieJar cookies_;
  int lastStatus_ = 0;
  std::string lastStatusLine_;
  bool busy_ = false;
};

}  // namespace cloakwise::http
