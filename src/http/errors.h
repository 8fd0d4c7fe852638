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

class ConnectTimeout : public HttpError {
 public:
  ConnectTimeout() : HttpError("Connect timed out.") {}
};

// Connect refused or failed while a connect limit applied.
class ConnectFailed : public HttpError {
 public:
  ConnectFailed(int code, const std::string& text) : HttpError(text), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};

// Any other socket failure: a refused connect without a limit, a reset, a
// failed name lookup.
class SocketError : public HttpError {
 public:
  SocketError(int code, const std::string& text) : HttpError(text), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};

class ConnectionClosed : public HttpError {
 public:
  ConnectionClosed() : HttpError("Connection Closed Gracefully.") {}
};

// Also raised when a whole request outlives its total time bound: to the caller
// a reply that trickles forever is just a read that took too long.
class ReadTimeout : public HttpError {
 public:
  ReadTimeout() : HttpError("Read Timeout") {}
};

class LineTooLong : public HttpError {
 public:
  LineTooLong() : HttpError("Max line length exceeded.") {}
};

// A reply outside 2xx, a redirect, or a status line without a numeric code.
class HttpStatusError : public HttpError {
 public:
  HttpStatusError(const std::string& statusLine, int code, std::string errorBody)
      : HttpError(statusLine), code_(code), errorBody_(std::move(errorBody)) {}
  int Code() const { return code_; }
  const std::string& ErrorBody() const { return errorBody_; }

 private:
  int code_;
  std::string errorBody_;
};

// A reply whose end cannot be trusted: a length that is no number or two
// lengths that differ, a chunk size that is no number, chunk data that does
// not end where its size said.
class MalformedReply : public HttpError {
 public:
  explicit MalformedReply(const std::string& what) : HttpError("Malformed reply: " + what) {}
};

// A reply whose header block or body would exceed the client's caps. Raised
// before anything of the announced size is allocated.
class ReplyTooLarge : public HttpError {
 public:
  explicit ReplyTooLarge(const std::string& what) : HttpError("Reply too large: " + what) {}
};

}  // namespace cloakwise::http
