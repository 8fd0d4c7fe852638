#include "http/reply_reader.h"

#include <algorithm>
#include <cctype>

#include "core/text.h"
#include "http/errors.h"

namespace cloakwise::http {
namespace {

constexpr std::size_t kReadSize = 16384;

using text::EqualsIgnoreCase;
using text::TrimBlanks;

enum class LengthKind { kNone, kValue, kTooLarge };

// Calls each element of a comma-separated list, blanks trimmed, empty ones
// included.
template <class Visit>
void ForEachListElement(std::string_view list, Visit visit) {
  for (;;) {
    const auto comma = list.find(',');
    visit(TrimBlanks(list.substr(0, comma)));
    if (comma == std::string_view::npos) return;
    list.remove_prefix(comma + 1);
  }
}

// Every Content-Length line, each perhaps a list, must give one and the same
// decimal number. A reply that gives two, or one that is no number, has no end
// that can be trusted and fails rather than be cut at a guess.
LengthKind ParseContentLength(const std::vector<std::string>& headers, std::uint64_t cap,
                              std::uint64_t* value) {
  if (headers.empty()) return LengthKind::kNone;
  std::string_view digits;
  bool first = true;
  for (const std::string& header : headers) {
    ForEachListElement(header, [&](std::string_view element) {
      const bool number =
          !element.empty() &&
          std::all_of(element.begin(), element.end(), [](char c) { return c >= '0' && c <= '9'; });
      if (!number) throw MalformedReply("Content-Length is no number");
      while (element.size() > 1 && element.front() == '0') element.remove_prefix(1);
      if (!first && element != digits) throw MalformedReply("two different Content-Length values");
      digits = element;
      first = false;
    });
  }
  std::uint64_t n = 0;
  for (const char c : digits) {
    n = n * 10 + static_cast<std::uint64_t>(c - '0');
    if (n > cap) return LengthKind::kTooLarge;  // also stops any overflow
  }
  *value = n;
  return LengthKind::kValue;
}

// The last transfer coding named by all Transfer-Encoding lines together,
// read as one list; nothing when there is no such line.
std::optional<std::string> LastTransferCoding(const ReplyHead& head) {
  const std::vector<std::string> lines = head.FindAll("Transfer-Encoding");
  if (lines.empty()) return std::nullopt;
  std::string_view last;
  for (const std::string& line : lines) {
    ForEachListElement(line, [&last](std::string_view coding) {
      if (!coding.empty()) last = coding;
    });
  }
  return std::string(last);
}

// 1xx, 204 and 304 replies end at their head, whatever it announces.
bool HasNoBody(int status) {
  return (status >= 100 && status <= 199) || status == 204 || status == 304;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::string> ReplyHead::Find(std::string_view name) const {
  for (const auto& [n, v] : headers) {
    if (EqualsIgnoreCase(n, name)) return v;
  }
  return std::nullopt;
}

std::vector<std::string> ReplyHead::FindAll(std::string_view name) const {
  std::vector<std::string> found;
  for (const auto& [n, v] : headers) {
    if (EqualsIgnoreCase(n, name)) found.push_back(v);
  }
  return found;
}

int ParseStatusCode(std::string_view line) {
  auto nextWord = [&line]() {
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    const auto end = std::min(line.find(' '), line.size());
    const std::string_view word = line.substr(0, end);
    line.remove_prefix(end);
    return word;
  };
  const std::string_view version = nextWord();
  if (version.size() < 5 || !EqualsIgnoreCase(version.substr(0, 5), "HTTP/")) return -1;
  std::string_view code = nextWord();
  const bool negative = !code.empty() && code.front() == '-';
  if (negative) code.remove_prefix(1);
  const auto value = text::ParseDecimal(code, 9);
  if (!value) return -1;
  return negative ? -*value : *value;
}

bool ReplyReader::Fill() {
  if (closed_) return false;
  if (start_ > 0 && start_ >= buffer_.size() / 2) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  const std::size_t old = buffer_.size();
  buffer_.resize(old + kReadSize);
  std::size_t n = 0;
  try {
    n = source_.Read(buffer_.data() + old, kReadSize);
  } catch (...) {
    buffer_.resize(old);
    throw;
  }
  buffer_.resize(old + n);
  if (n == 0) closed_ = true;
  return n > 0;
}

std::string ReplyReader::ReadLine() {
  std::size_t scanned = 0;  // from start_: Fill may move the buffer's contents
  for (;;) {
    const auto lf = buffer_.find('\n', start_ + scanned);
    if (lf != std::string::npos) {
      std::size_t end = lf;
      if (end > start_ && buffer_[end - 1] == '\r') --end;
      if (end - start_ > limits_.maxLineBytes) throw LineTooLong();
      std::string line = buffer_.substr(start_, end - start_);
      start_ = lf + 1;
      return line;
    }
    // Without a line feed in sight, the line is already too long once it
    // holds more than the limit and a carriage return.
    if (buffer_.size() - start_ > limits_.maxLineBytes + 1) {
      throw LineTooLong();
    }
    scanned = buffer_.size() - start_;
    if (!Fill()) throw ConnectionClosed();
  }
}

std::string ReplyReader::ReadHeaderLine() {
  std::string line = ReadLine();
  headerBytes_ += line.size() + 2;
  if (headerBytes_ > limits_.maxHeaderBytes) throw ReplyTooLarge("header block");
  return line;
}

ReplyHead ReplyReader::ReadHead() {
  ReplyHead head;
  for (;;) {
    head = ReplyHead{};
    // Stray line ends before a status line are tolerated (and counted).
    do {
      head.statusLine = ReadHeaderLine();
    } while (head.statusLine.empty());
    head.status = ParseStatusCode(head.statusLine);
    // Whatever follows a line that is not a status line is not headers.
    if (head.status == -1) return head;
    for (;;) {
      const std::string line = ReadHeaderLine();
      if (line.empty()) break;
      // A line starting with a blank (old-style folding) or without a name
      // is ignored rather than guessed at.
      const auto colon = line.find(':');
      if (colon == 0 || colon == std::string::npos || line[0] == ' ' || line[0] == '\t') continue;
      const std::string_view name(line.data(), colon);
      if (name.find_first_of(" \t") != std::string_view::npos) continue;
      head.headers.emplace_back(std::string(name),
                                std::string(TrimBlanks(std::string_view(line).substr(colon + 1))));
    }
    // Interim replies (100 Continue, 102 Processing, 103 Early Hints) come
    // before the real one; their count is bounded by the header limit.
    if (head.status < 100 || head.status > 199 || head.status == 101) return head;
  }
}

std::uint64_t ReplyReader::RoomFor(const std::string& body) const {
  return body.size() >= limits_.maxBodyBytes ? 0 : limits_.maxBodyBytes - body.size();
}

void ReplyReader::ReadExact(std::string& out, std::uint64_t count, bool closeEndsBody) {
  while (count > 0) {
    if (start_ == buffer_.size() && !Fill()) {
      if (closeEndsBody) return;
      throw ConnectionClosed();
    }
    const std::size_t take =
        static_cast<std::size_t>(std::min<std::uint64_t>(count, buffer_.size() - start_));
    out.append(buffer_, start_, take);
    start_ += take;
    count -= take;
  }
}

void ReplyReader::ReadChunked(std::string& out, bool errorBody) {
  for (;;) {
    const std::string line = ReadLine();
    // The size runs up to the first blank or extension, which are skipped.
    // A size that is no number leaves the body without a trustworthy end.
    const std::string_view text = std::string_view(line).substr(0, line.find_first_of(" \t;"));
    if (text.empty() ||
        !std::all_of(text.begin(), text.end(), [](char c) { return HexDigit(c) >= 0; })) {
      throw MalformedReply("chunk size is no number");
    }
    std::uint64_t size = 0;
    for (const char c : text) {
      size = size * 16 + static_cast<std::uint64_t>(HexDigit(c));
      if (size > RoomFor(out)) break;  // before it can overflow
    }
    if (size == 0) {
      SkipTrailer();
      return;
    }
    if (size > RoomFor(out)) {
      if (!errorBody) throw ReplyTooLarge("chunk of " + std::string(text) + " bytes");
      ReadExact(out, RoomFor(out), true);
      return;
    }
    ReadExact(out, size, false);
    // Data that runs on past its size means the sizes cannot be trusted:
    // dropping the rest of the line would hide it.
    if (!ReadLine().empty()) throw MalformedReply("chunk longer than its size");
  }
}

void ReplyReader::SkipTrailer() {
  // Trailer lines run up to an empty line, all of them read so that none is
  // taken for the start of the next reply. A server that closes instead has
  // still delivered the whole body.
  try {
    while (!ReadHeaderLine().empty()) {
    }
  } catch (const ConnectionClosed&) {
  }
}

void ReplyReader::ReadToClose(std::string& out, bool errorBody) {
  for (;;) {
    if (start_ == buffer_.size() && !Fill()) return;
    const std::size_t available = buffer_.size() - start_;
    const std::uint64_t room = RoomFor(out);
    if (available > room) {
      if (!errorBody) throw ReplyTooLarge("body beyond " + std::to_string(limits_.maxBodyBytes));
      out.append(buffer_, start_, static_cast<std::size_t>(room));
      start_ += static_cast<std::size_t>(room);
      return;
    }
    out.append(buffer_, start_, available);
    start_ += available;
  }
}

void ReplyReader::ReadBody(const ReplyHead& head, bool errorBody, std::string& body) {
  if (HasNoBody(head.status)) return;
  std::uint64_t length = 0;
  const LengthKind kind =
      ParseContentLength(head.FindAll("Content-Length"), limits_.maxBodyBytes, &length);
  if (const std::optional<std::string> coding = LastTransferCoding(head)) {
    // A transfer coding frames the reply whatever length it also gives. Only
    // chunked tells where the body ends; with any other last coding the
    // server marks the end by closing.
    ambiguousFraming_ = kind != LengthKind::kNone;
    if (EqualsIgnoreCase(*coding, "chunked")) {
      ReadChunked(body, errorBody);
    } else {
      ReadToClose(body, errorBody);
    }
  } else if (kind == LengthKind::kTooLarge) {
    if (!errorBody) throw ReplyTooLarge("Content-Length " + *head.Find("Content-Length"));
    ReadExact(body, limits_.maxBodyBytes, true);
  } else if (kind == LengthKind::kValue) {
    body.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(length, 1u << 20)));
    // A server that closes early has ended the body; what came is the body.
    ReadExact(body, length, true);
  } else {
    ReadToClose(body, errorBody);
  }
}

}  // namespace cloakwise::http
