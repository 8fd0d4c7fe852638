#include "http/request.h"

#include "core/text.h"

namespace cloakwise::http {
namespace {

bool IsAsciiAlnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

void AddHeader(std::string& out, std::string_view name, std::string_view value) {
  if (value.empty()) return;
  out.append(name).append(": ").append(value).append("\r\n");
}

}  // namespace

std::string EncodeFormValue(std::string_view value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(value.size() * 3);
  for (const unsigned char c : value) {
    if (IsAsciiAlnum(c)) {
      out += static_cast<char>(c);
    } else if (c == ' ') {
      out += '+';
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string EncodeFormFields(const std::vector<std::string>& fields, bool encodeValues) {
  std::string body;
  for (const auto& field : fields) {
    const auto eq = field.find('=');
    std::string line = field;
    if (encodeValues && eq != std::string::npos) {
      line = field.substr(0, eq + 1) + EncodeFormValue(std::string_view(field).substr(eq + 1));
    }
    body += line;
    // Several fields are joined with "&", the last one included; a single
    // field is sent on its own.
    if (fields.size() > 1) body += '&';
  }
  return std::string(text::TrimBlanksAndControls(body));
}

std::string WriteRequestHead(std::string_view method, const Url& url,
                             const ClientSettings& settings, std::string_view version,
                             std::int64_t contentLength, const std::string& cookieHeader) {
  const bool viaProxy = !settings.proxyServer.empty();
  std::string out;
  out.reserve(256);
  out.append(method).append(" ");
  if (viaProxy) {
    // Proxies get the absolute form, always with the port written out.
    out.append(url.scheme).append("://").append(url.host).append(":");
    out.append(std::to_string(url.port));
  }
  out.append(url.PathAndQuery()).append(" HTTP/").append(version).append("\r\n");

  std::string connection = settings.connection;
  std::string proxyConnection;
  if (version == "1.0" && connection.empty()) {
    (viaProxy ? proxyConnection : connection) = "keep-alive";
  }
  AddHeader(out, "Connection", connection);
  AddHeader(out, "Content-Type", settings.contentType);
  if (contentLength >= 0) AddHeader(out, "Content-Length", std::to_string(contentLength));
  AddHeader(out, "Proxy-Connection", proxyConnection);
  std::string host = url.host;
  if (url.port != 80) {
    host += ':';
    host += std::to_string(url.port);
  }
  AddHeader(out, "Host", host);
  AddHeader(out, "Accept", settings.accept);
  AddHeader(out, "User-Agent", settings.userAgent);
  AddHeader(out, "Cookie", cookieHeader);
  out.append("\r\n");
  return out;
}

}  // namespace cloakwise::http
