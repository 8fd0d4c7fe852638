// llhttp's own test cases, replayed through the reply reader. They are kept
// unchanged in llhttp_cases/ with their licence: the reply cases, and the
// request cases about framing, whose request line becomes a status line.
//
// llhttp is strict and well tested. Where it takes a reply, ours must take it
// with the same status, the same body and the same end; where it is still
// waiting for bytes, ours must be waiting too, with the same body so far;
// where it refuses a reply, ours must fail it. Where ours is lenient on
// purpose, the case is listed below with its reason and with what ours does
// instead, so that only a new disagreement fails the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "http/errors.h"
#include "http/reply_reader.h"

#ifndef CLOAKWISE_LLHTTP_CASES
#error "CLOAKWISE_LLHTTP_CASES names the folder of the llhttp cases"
#endif

namespace cloakwise::http {
namespace {

namespace fs = std::filesystem;

enum class Outcome { kTakes, kWaits, kRefuses };

const char* Name(Outcome o) {
  switch (o) {
    case Outcome::kTakes:
      return "takes it";
    case Outcome::kWaits:
      return "waits for more";
    case Outcome::kRefuses:
      return "refuses it";
  }
  return "?";
}

// What ours does where it parts from llhttp on purpose.
const char* const kStatusLine =
    "the status line needs only an HTTP/ prefix and a numeric second word; the version frames "
    "nothing, and a code outside 2xx fails the request anyway";
const char* const kBareLf = "a line may end in a line feed alone";
const char* const kBareCr = "a bare carriage return is data within its line, never a line end";
const char* const kIgnoredLine =
    "a folded header line, or one whose name holds a blank, is ignored rather than guessed at";
const char* const kChunkLine =
    "a chunk size runs to its first blank or semicolon; the rest of that line is skipped unread";
const char* const kOtherProtocol = "only an HTTP/ status line starts a reply";
const char* const kCodingOverLength =
    "with both a length and a transfer coding the coding frames the reply, and the connection "
    "is not reused";

struct Difference {
  const char* file;
  const char* title;
  Outcome ours;
  const char* reason;
};

const Difference kDifferences[] = {
    {"response/invalid.md", "Extra digit in HTTP major version", Outcome::kWaits, kStatusLine},
    {"response/invalid.md", "Extra digit in HTTP major version #2", Outcome::kWaits, kStatusLine},
    {"response/invalid.md", "Extra digit in HTTP minor version", Outcome::kWaits, kStatusLine},
    {"response/invalid.md", "Invalid HTTP version", Outcome::kWaits, kStatusLine},
    {"response/invalid.md", "Extra space between HTTP version and status code", Outcome::kWaits,
     kStatusLine},
    {"response/invalid.md", "One-digit status code", Outcome::kWaits, kStatusLine},
    {"response/sample.md", "RTSP response", Outcome::kRefuses, kOtherProtocol},
    {"response/sample.md", "ICE response", Outcome::kRefuses, kOtherProtocol},
    {"response/invalid.md", "Only LFs present and no body", Outcome::kTakes, kBareLf},
    {"response/invalid.md", "Only LFs present", Outcome::kWaits, kBareLf},
    {"response/sample.md", "No carriage ret", Outcome::kWaits, kBareLf},
    {"response/invalid.md", "Headers separated by CR", Outcome::kWaits, kBareCr},
    {"response/invalid.md", "Bare CR after response line", Outcome::kWaits, kBareCr},
    {"response/invalid.md", "Bare CR followed by CR after response line", Outcome::kWaits, kBareCr},
    {"request/content-length.md", "`Content-Length` with CR instead of dash", Outcome::kWaits,
     kBareCr},
    {"request/content-length.md", "Missing CRLF-CRLF before body", Outcome::kWaits, kBareCr},
    {"response/invalid.md", "Invalid space after start line", Outcome::kWaits, kIgnoredLine},
    {"response/sample.md", "Spaces in header name", Outcome::kTakes, kIgnoredLine},
    {"request/content-length.md", "Invalid whitespace token with `Content-Length` header field",
     Outcome::kWaits, kIgnoredLine},
    {"response/transfer-encoding.md", "Trailing space on chunked body", Outcome::kTakes,
     kChunkLine},
    {"response/transfer-encoding.md", "No semicolon before chunk extensions", Outcome::kTakes,
     kChunkLine},
    {"response/transfer-encoding.md", "No extension after semicolon", Outcome::kTakes, kChunkLine},
    {"response/transfer-encoding.md", "Unbalanced chunk extensions quoting", Outcome::kWaits,
     kChunkLine},
    {"request/transfer-encoding.md", "No semicolon before chunk extensions", Outcome::kTakes,
     kChunkLine},
    {"request/transfer-encoding.md", "No extension after semicolon", Outcome::kTakes, kChunkLine},
    {"request/transfer-encoding.md", "Unbalanced chunk extensions quoting", Outcome::kWaits,
     kChunkLine},
    {"request/transfer-encoding.md", "Space after chunk header", Outcome::kTakes, kChunkLine},
    {"request/content-length.md",
     "Error on simultaneous `Content-Length` and `Transfer-Encoding: identity`", Outcome::kWaits,
     kCodingOverLength},
    {"request/transfer-encoding.md", "POST with `Transfer-Encoding` and `Content-Length`",
     Outcome::kWaits, kCodingOverLength},
    {"request/transfer-encoding.md",
     "POST with empty `Transfer-Encoding` and `Content-Length` (lenient)", Outcome::kWaits,
     kCodingOverLength},
};

// llhttp's reasons for refusing a request that a reply does not share: a
// reply whose last transfer coding is not chunked runs to the close.
const std::string kRequestOnlyRefusals[] = {
    "Request has invalid `Transfer-Encoding`",
    "Invalid `Transfer-Encoding` header value",
};

// One case of a markdown file, as written.
struct MdCase {
  std::string file;
  std::string title;
  std::string meta;
  std::string input;
  std::string log;
};

std::vector<MdCase> ReadCases(const fs::path& path, const std::string& file, int* metaComments) {
  std::ifstream in(path, std::ios::binary);
  std::vector<MdCase> cases;
  MdCase next{file, "", "", "", ""};
  bool haveInput = false;
  bool haveLog = false;
  std::string* block = nullptr;
  std::string line;
  while (std::getline(in, line)) {
    if (block) {
      if (line == "```") {
        block = nullptr;
        if (haveInput && haveLog) {
          cases.push_back(next);
          next = MdCase{file, next.title, "", "", ""};
          haveInput = haveLog = false;
        }
      } else {
        *block += line + "\n";
      }
    } else if (line.rfind("```http", 0) == 0) {
      block = &next.input;
      haveInput = true;
    } else if (line.rfind("```log", 0) == 0) {
      block = &next.log;
      haveLog = true;
    } else if (line.rfind("#", 0) == 0) {
      next = MdCase{file, std::string(line.substr(line.find_first_not_of("# "))), "", "", ""};
      haveInput = haveLog = false;
    } else if (const auto at = line.find("<!-- meta="); at != std::string::npos) {
      next.meta = line.substr(at + 10, line.rfind("-->") - at - 10);
      ++*metaComments;
    }
  }
  return cases;
}

void ReplaceAll(std::string& s, std::string_view from, std::string_view to) {
  std::string out;
  std::size_t at = 0;
  for (std::size_t hit; (hit = s.find(from, at)) != std::string::npos; at = hit + from.size()) {
    out.append(s, at, hit - at).append(to);
  }
  s = out.append(s, at);
}

// The bytes of an input block, decoded in the order llhttp's own harness
// decodes them. Nothing when it uses an escape this replay does not know.
std::optional<std::string> DecodeInput(std::string s) {
  if (s.find('\r') != std::string::npos || s.find("${") != std::string::npos) return std::nullopt;
  if (!s.empty() && s.back() == '\n') s.pop_back();
  ReplaceAll(s, "\\\n", "");
  ReplaceAll(s, "\n", "\r\n");
  ReplaceAll(s, "\\r", "\r");
  ReplaceAll(s, "\\n", "\n");
  ReplaceAll(s, "\\t", "\t");
  ReplaceAll(s, "\\f", "\f");
  for (std::size_t i = s.find('\\'); i != std::string::npos; i = s.find('\\', i + 1)) {
    const char next = i + 1 < s.size() ? s[i + 1] : ' ';
    if (next == 'x' || (next >= '0' && next <= '7')) return std::nullopt;
  }
  return s;
}

std::string MetaValue(const std::string& meta, const std::string& key) {
  const auto at = meta.find("\"" + key + "\"");
  if (at == std::string::npos) return "";
  const auto open = meta.find('"', meta.find(':', at) + 1);
  return meta.substr(open + 1, meta.find('"', open + 1) - open - 1);
}

struct Event {
  long off;  // -1 for none
  std::string what;
  bool inRequestLine = false;  // of a request case: not in the replayed input
};

long NumberAfter(const std::string& text, const std::string& key) {
  const auto at = text.find(key);
  return at == std::string::npos ? -1 : std::strtol(text.c_str() + at + key.size(), nullptr, 10);
}

struct Result {
  Outcome outcome = Outcome::kWaits;
  int status = -1;  // -1 until the head is complete
  std::string body;
  std::size_t end = 0;  // where a reply that was taken ends
  std::string detail;
};

std::string Describe(const Result& r) {
  std::string s = Name(r.outcome);
  if (r.status != -1) s += ", status " + std::to_string(r.status);
  if (r.outcome != Outcome::kRefuses) s += ", body \"" + r.body + "\"";
  if (r.outcome == Outcome::kTakes) s += ", ends at " + std::to_string(r.end);
  if (!r.detail.empty()) s += " (" + r.detail + ")";
  return s;
}

// llhttp's verdict on the first reply that is not an interim one, read off
// its event log. Every span it logs must be the input's bytes at its offset,
// which checks the decoding of the input as well.
Result Theirs(const std::vector<Event>& events, const std::string& input, bool fromRequest,
              std::string* problem) {
  Result r;
  bool interim = false;
  for (const Event& e : events) {
    if (e.inRequestLine) continue;
    if (const auto span = e.what.find(" span["); span != std::string::npos) {
      const auto len = static_cast<std::size_t>(NumberAfter(e.what, "len="));
      const auto name = e.what.substr(span + 6, e.what.find(']', span) - span - 6);
      std::string value = e.what.substr(e.what.find("]=", span) + 2);
      value = value == "cr" ? "\r" : value == "lf" ? "\n" : value.substr(1, value.size() - 2);
      if (e.off < 0 || static_cast<std::size_t>(e.off) + len > input.size()) {
        *problem = "span beyond the input: " + e.what;
        return r;
      }
      const std::string bytes = input.substr(static_cast<std::size_t>(e.off), len);
      if (bytes != value) {
        *problem = "span " + e.what + " does not match the input \"" + bytes + "\"";
        return r;
      }
      if (name == "body" && !interim) r.body += bytes;
    } else if (e.what == "message begin") {
      r = Result{};
      interim = false;
    } else if (e.what.rfind("headers complete", 0) == 0) {
      const int status = fromRequest ? 200 : static_cast<int>(NumberAfter(e.what, "status="));
      interim = status >= 100 && status <= 199 && status != 101;
      if (!interim) r.status = status;
    } else if (e.what == "message complete") {
      if (interim) continue;
      r.outcome = Outcome::kTakes;
      r.end = static_cast<std::size_t>(e.off);
      return r;
    } else if (e.what.rfind("error", 0) == 0) {
      r.outcome = Outcome::kRefuses;
      const auto reason = e.what.find("reason=\"");
      r.detail = reason == std::string::npos
                     ? e.what
                     : e.what.substr(reason + 8, e.what.size() - reason - 9);
      return r;
    }
  }
  return r;
}

// Hands out the input, then reports that more bytes are yet to come, as the
// input ends without the peer's close.
struct MoreToCome {};

class CaseSource : public ByteSource {
 public:
  explicit CaseSource(const std::string& input) : input_(input) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    if (offset_ == input_.size()) throw MoreToCome{};
    const std::size_t n = std::min(size, input_.size() - offset_);
    std::memcpy(buffer, input_.data() + offset_, n);
    offset_ += n;
    return n;
  }

 private:
  const std::string& input_;
  std::size_t offset_ = 0;
};

// The reply as the client reads it: a status line without a code fails the
// request, and so does any failure of the reader.
Result Ours(const std::string& input) {
  CaseSource source(input);
  ReplyReader reader(source, ReplyLimits{});
  Result r;
  try {
    const ReplyHead head = reader.ReadHead();
    r.status = head.status;
    if (head.status == -1) {
      r.outcome = Outcome::kRefuses;
      r.detail = "no status code";
      return r;
    }
    reader.ReadBody(head, false, r.body);
    r.outcome = Outcome::kTakes;
    r.end = input.size() - reader.UnreadBytes();
  } catch (const MoreToCome&) {
    r.outcome = Outcome::kWaits;
  } catch (const HttpError& e) {
    r.outcome = Outcome::kRefuses;
    r.detail = e.what();
  }
  return r;
}

bool Same(const Result& a, const Result& b) {
  if (a.outcome != b.outcome) return false;
  if (a.outcome == Outcome::kRefuses) return true;
  return a.status == b.status && a.body == b.body &&
         (a.outcome != Outcome::kTakes || a.end == b.end);
}

std::optional<std::string> SkipReason(const MdCase& c) {
  const std::string type = MetaValue(c.meta, "type");
  if (type.find("lenient") != std::string::npos) return "needs one of llhttp's lenient flags";
  if (type.size() >= 7 && type.compare(type.size() - 7, 7, "-finish") == 0) {
    return "checks llhttp's finish call";
  }
  if (c.meta.find("\"pause\"") != std::string::npos) return "pauses llhttp mid-reply";
  if (c.meta.find("\"skipBody\"") != std::string::npos) return "skips the body of a reply to HEAD";
  return std::nullopt;
}

std::vector<Event> ReadLog(std::string log, std::string* problem) {
  ReplaceAll(log, "\\t", "\t");
  ReplaceAll(log, "\\f", "\f");
  std::vector<Event> events;
  for (std::size_t at = 0, nl; (nl = log.find('\n', at)) != std::string::npos; at = nl + 1) {
    const std::string line = log.substr(at, nl - at);
    if (line.rfind("off=", 0) != 0) {
      *problem = "a log line this replay does not read: " + line;
      return events;
    }
    const long off =
        line.compare(4, 4, "NULL") == 0 ? -1 : std::strtol(line.c_str() + 4, nullptr, 10);
    events.push_back({off, line.substr(line.find(' ') + 1)});
  }
  return events;
}

// A request case becomes a reply: its request line turns into a status line
// of the same version, and the offsets after it move along.
bool TurnIntoReply(std::string& input, std::vector<Event>& events) {
  const auto lineEnd = input.find("\r\n");
  const auto version = input.rfind(" HTTP/", lineEnd);
  if (lineEnd == std::string::npos || version == std::string::npos) return false;
  const std::string statusLine = input.substr(version + 1, lineEnd - version - 1) + " 200 OK";
  const long shift = static_cast<long>(statusLine.size()) - static_cast<long>(lineEnd);
  input = statusLine + input.substr(lineEnd);
  for (Event& e : events) {
    e.inRequestLine = e.off < static_cast<long>(lineEnd);
    if (!e.inRequestLine) e.off += shift;
  }
  return true;
}

struct Replay {
  std::optional<std::string> skipped;
  std::string problem;  // in the case or its reading, not in either parser
  Result theirs;
  Result ours;
};

Replay ReplayCase(const MdCase& c) {
  Replay replay;
  if ((replay.skipped = SkipReason(c))) return replay;
  std::optional<std::string> input = DecodeInput(c.input);
  if (!input) {
    replay.problem = "an escape this replay does not decode";
    return replay;
  }
  std::vector<Event> events = ReadLog(c.log, &replay.problem);
  const bool fromRequest = MetaValue(c.meta, "type").rfind("request", 0) == 0;
  if (fromRequest && !TurnIntoReply(*input, events)) replay.problem = "no request line";
  if (!replay.problem.empty()) return replay;

  replay.theirs = Theirs(events, *input, fromRequest, &replay.problem);
  if (fromRequest && replay.theirs.outcome == Outcome::kRefuses &&
      std::find(std::begin(kRequestOnlyRefusals), std::end(kRequestOnlyRefusals),
                replay.theirs.detail) != std::end(kRequestOnlyRefusals)) {
    replay.skipped = "refuses a request for a rule that a reply does not share";
    return replay;
  }
  replay.ours = Ours(*input);
  // llhttp refuses a bad header as soon as it reads it; ours judges the head
  // once it is whole. Where the input stops inside the head, ours is given
  // its end.
  if (replay.theirs.outcome == Outcome::kRefuses && replay.theirs.status == -1 &&
      replay.ours.outcome == Outcome::kWaits && replay.ours.status == -1) {
    replay.ours = Ours(*input + "\r\n");
  }
  return replay;
}

TEST(LlhttpCases, EveryApplicableCaseAgreesOrIsAKnownDifference) {
  const fs::path root(CLOAKWISE_LLHTTP_CASES);
  std::vector<fs::path> files;
  for (const char* folder : {"response", "request"}) {
    for (const auto& entry : fs::directory_iterator(root / folder)) {
      if (entry.path().extension() == ".md") files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  ASSERT_GE(files.size(), 11u) << "llhttp cases missing from " << root;

  int read = 0;
  int metaComments = 0;
  int agree = 0;
  std::map<std::string, int> differences;
  std::map<std::string, int> skipped;
  std::set<std::string> listedSeen;
  for (const fs::path& path : files) {
    const std::string file =
        path.parent_path().filename().string() + "/" + path.filename().string();
    for (const MdCase& c : ReadCases(path, file, &metaComments)) {
      SCOPED_TRACE(file + ": " + c.title);
      ++read;
      const Replay r = ReplayCase(c);
      if (!r.problem.empty()) {
        ADD_FAILURE() << r.problem;
      } else if (r.skipped) {
        ++skipped[*r.skipped];
      } else if (const auto listed = std::find_if(
                     std::begin(kDifferences), std::end(kDifferences),
                     [&](const Difference& d) { return file == d.file && c.title == d.title; });
                 listed != std::end(kDifferences)) {
        EXPECT_TRUE(listedSeen.insert(file + c.title).second) << "two cases share a listed title";
        EXPECT_FALSE(Same(r.theirs, r.ours)) << "listed as a difference, but agrees now";
        EXPECT_EQ(r.ours.outcome, listed->ours)
            << "llhttp " << Describe(r.theirs) << "; ours " << Describe(r.ours);
        ++differences[listed->reason];
      } else if (Same(r.theirs, r.ours)) {
        ++agree;
      } else {
        ADD_FAILURE() << "disagreement: llhttp " << Describe(r.theirs) << "; ours "
                      << Describe(r.ours);
      }
    }
  }
  EXPECT_EQ(read, metaComments) << "a case was not read whole";
  EXPECT_EQ(listedSeen.size(), std::size(kDifferences)) << "a listed difference matched no case";

  int differing = 0;
  int skips = 0;
  for (const auto& [reason, n] : differences) differing += n;
  for (const auto& [reason, n] : skipped) skips += n;
  std::printf("llhttp cases: %d read, %d agree, %d accepted differences, %d skipped\n", read, agree,
              differing, skips);
  for (const auto& [reason, n] : differences) std::printf("  differ %2d: %s\n", n, reason.c_str());
  for (const auto& [reason, n] : skipped) std::printf("  skip   %2d: %s\n", n, reason.c_str());
}

}  // namespace
}  // namespace cloakwise::http
