#pragma once

#include <stdexcept>
#include <string>

namespace cloakwise::http {

// Every failure of the client derives from HttpError; callers catch that one
// type. The kinds exist so tests (and a curious debugger) can tell a slow proxy
// from a broken or hostile one.
class HttpError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class EIdConnectTimeout : public HttpError {
 public:
  EIdConnectTimeout() : HttpError("Connect timed out.") {}
};

// Connect refused or failed while a connect limit applied.
class EIdConnectException : public HttpError {
 public:
  EIdConnectException(int code, const std::string& text) : HttpError(text), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};

// Any other socket failure: a refused connect without a limit, a reset, a
// failed name lookup.
class EIdSocketError : public HttpError {
 public:
  EIdSocketError(int code, const std::string& text) : HttpError(text), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};

class EIdConnClosedGracefully : public HttpError {
 public:
  EIdConnClosedGracefully() : HttpError("Connection Closed Gracefully.") {}
};

// Also raised when a whole request outlives its total time bound: to the caller
// a reply that trickles forever is just a read that took too long.
class EIdReadTimeout : public HttpError {
 public:
  EIdReadTimeout() : HttpError("Read Timeout") {}
};

class EIdReadLnMaxLineLengthExceeded : public HttpError {
 public:
  EIdReadLnMaxLineLengthExceeded() : HttpError("Max line length exceeded.") {}
};

// A reply outside 2xx, a redirect, or a status line without a numeric code.
class EIdHTTPProtocolException : public HttpError {
 public:
  EIdHTTPProtocolException(const std::string& statusLine, int code, std::string errorBody)
      : HttpError(statusLine), code_(code), errorBody_(std::move(errorBody)) {}
  int Code() const { return code_; }
  const std::string& ErrorBody() const { return errorBody_; }

 private:
  int code_;
  std::string errorBody_;
};

// A reply whose header block or body would exceed the client's caps. Raised
// before anything of the announced size is allocated.
class EReplyTooLarge : public HttpError {
 public:
  explicit EReplyTooLarge(const std::string& what) : HttpError("Reply too large: " + what) {}
};

}  // namespace cloakwise::http
