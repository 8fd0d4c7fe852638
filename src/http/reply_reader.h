#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cloakwise::http {

// Where reply bytes come from: a socket in the client, a buffer in the tests
// and the fuzzer.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Waits for data and reads between 1 and size bytes; returns 0 once the
  // peer has closed. Throws the client's failure kinds (time-outs, resets).
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
};

struct ReplyLimits {
  std::size_t maxLineBytes = 16384;
  std::size_t maxHeaderBytes = 64u << 10;
  std::size_t maxBodyBytes = 8u << 20;
};

struct ReplyHead {
  std::string statusLine;
  int status = -1;
  std::vector<std::pair<std::string, std::string>> headers;  // value trimmed

  // The first header of that name (case-insensitive), if any.
  std::optional<std::string> Find(std::string_view name) const;
  std::vector<std::string> FindAll(std::string_view name) const;
};

// The status code: the second blank-separated word of a line that starts
// with "HTTP/", or -1 when there is none or it is not a number.
int ParseStatusCode(std::string_view statusLine);

// Reads one reply at a time from a source, within the limits. Nothing is ever
// allocated for a size the server announces beyond the limits.
class ReplyReader {
 public:
  ReplyReader(ByteSource& source, const ReplyLimits& limits) : source_(source), limits_(limits) {}

  // The status line and, when it carries a code, the header lines up to the
  // empty line. Interim replies (1xx) are passed over, all but 101: a switch
  // of protocols is the last reply there is to read.
  ReplyHead ReadHead();

  // The body as the head frames it: none for 1xx, 204 and 304; else by a
  // Transfer-Encoding (chunked when that is the last coding, otherwise up to
  // the close), else by Content-Length, else up to the close. Lengths that
  // are no number or that differ fail the reply. An error body is cut at the
  // body limit instead of failing.
  std::string ReadBody(const ReplyHead& head, bool errorBody) {
    std::string body;
    ReadBody(head, errorBody, body);
    return body;
  }
  // The same into body, which keeps what arrived when the read fails.
  void ReadBody(const ReplyHead& head, bool errorBody, std::string& body);

  // The peer has closed its side.
  bool PeerClosed() const { return closed_; }
  // Bytes arrived beyond the reply: the connection cannot carry another one.
  bool HasUnreadInput() const { return start_ < buffer_.size(); }
  std::size_t UnreadBytes() const { return buffer_.size() - start_; }
  // The reply gave both a length and a transfer coding. The coding framed it,
  // but a proxy on the way may have trusted the length: the connection cannot
  // be trusted to carry another reply.
  bool AmbiguousFraming() const { return ambiguousFraming_; }

 private:
  std::string ReadLine();
  // A line of the header block or the trailer, counted against its limit.
  std::string ReadHeaderLine();
  bool Fill();  // false at the end of the stream
  // Appends up to count bytes; a close before that throws unless allowed.
  void ReadExact(std::string& out, std::uint64_t count, bool closeEndsBody);
  void ReadChunked(std::string& out, bool errorBody);
  void SkipTrailer();
  void ReadToClose(std::string& out, bool errorBody);
  std::uint64_t RoomFor(const std::string& body) const;

  ByteSource& source_;
  ReplyLimits limits_;
  std::string buffer_;
  std::size_t start_ = 0;
  std::size_t headerBytes_ = 0;
  bool closed_ = false;
  bool ambiguousFraming_ = false;
};

}  // namespace cloakwise::http
