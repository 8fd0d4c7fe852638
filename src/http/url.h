#pragma once

#include <string>

namespace cloakwise::http {

struct Url {
  std::string scheme;  // lower case; "http" when the text had none
  std::string host;
  int port = 80;
  std::string path;   // path and document, always starting with "/"
  std::string query;  // with its "?", or empty

  std::string PathAndQuery() const { return path + query; }
};

// Throws HttpError for a URL the client cannot send: no host, a bad port, or
// a scheme other than http (the program speaks plain HTTP only).
Url ParseUrl(const std::string& text, int defaultPort);

}  // namespace cloakwise::http
