// The reply reader without sockets: framing of every body form, the line and
// size limits, and every read failing in turn.
#include "http/reply_reader.h"

#include <gtest/gtest.h>

#include "http/errors.h"
#include "http/scripted_source.h"

namespace cloakwise::http {
namespace {

using testing::ScriptedSource;

struct Read {
  ReplyHead head;
  std::string body;
  bool closed = false;
  bool unread = false;
};

Read ReadAll(const std::vector<std::string>& pieces, ReplyLimits limits = {},
             bool errorBody = false) {
  ScriptedSource source(pieces);
  ReplyReader reader(source, limits);
  Read r;
  r.head = reader.ReadHead();
  r.body = reader.ReadBody(r.head, errorBody);
  r.closed = reader.PeerClosed();
  r.unread = reader.HasUnreadInput();
  return r;
}

// Every split of the text into two reads must give the same reply.
void ExpectSameForEverySplit(const std::string& text, const std::string& body) {
  for (std::size_t cut = 0; cut <= text.size(); ++cut) {
    const Read r = ReadAll({text.substr(0, cut), text.substr(cut)});
    ASSERT_EQ(r.body, body) << "split at " << cut;
  }
}

TEST(ParseStatusCode, TakesTheSecondWordOfAnHttpLine) {
  const std::pair<const char*, int> cases[] = {
      {"HTTP/1.1 200 OK", 200},  {"HTTP/1.0 404", 404},   {"http/1.1 302 Found", 302},
      {"HTTP/1.1  204  x", 204}, {"HTTP/1.1 -5 Odd", -5}, {"HTTP/1.1", -1},
      {"HTTP/1.1 OK 200", -1},   {"HTTP/1.1 20x OK", -1}, {"HTTP/1.1 9999999999 Big", -1},
      {"GARBAGE 200 OK", -1},    {"<html> 200", -1},      {"", -1},
      {"HTTP/1.1 -", -1},
  };
  for (const auto& [line, code] : cases) EXPECT_EQ(ParseStatusCode(line), code) << line;
  EXPECT_EQ(ParseStatusCode("HTTP/1.1 2" + std::string(1, '\0') + "00 OK"), -1);
}

TEST(ReplyReader, ReadsEachBodyForm) {
  struct Case {
    const char* name;
    std::string reply;
    std::string body;
    bool closed;
  };
  const Case cases[] = {
      {"length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", "hello", false},
      {"length, server closes early", "HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nhel", "hel",
       true},
      {"chunked",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n"
       "A;x=1\r\n0123456789\r\n0\r\n\r\n",
       "abc0123456789", false},
      {"chunked, upper case and size with a comment",
       "HTTP/1.1 200 OK\r\ntransfer-encoding: Chunked\r\n\r\n2 two\r\nab\r\n0\r\n\r\n", "ab",
       false},
      {"chunked, a trailer read to its end",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nab\r\n0\r\n"
       "X-Sum: 1\r\nY: 2\r\n\r\n",
       "ab", false},
      {"chunked, close after the last chunk",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nz\r\n0\r\n", "z", true},
      {"to the close", "HTTP/1.0 200 OK\r\nServer: x\r\n\r\nall of it", "all of it", true},
      {"length 0", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", "", false},
      {"the same length twice, and as a list",
       "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 02, 2\r\n\r\nok", "ok", false},
      {"bare line feeds", "HTTP/1.1 200 OK\nContent-Length: 2\n\nok", "ok", false},
      {"chunked beside a length: chunked frames it",
       "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n"
       "5\r\nhello\r\n0\r\n\r\n",
       "hello", false},
      {"chunked last of the codings, over two lines",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip,\r\nTransfer-Encoding: ,CHUNKED \r\n\r\n"
       "2\r\nab\r\n0\r\n\r\n",
       "ab", false},
      {"chunked before another coding: up to the close",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked, gzip\r\n\r\n2\r\nab\r\n0\r\n\r\n",
       "2\r\nab\r\n0\r\n\r\n", true},
      {"chunked, then another coding on a later line: up to the close",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nTransfer-Encoding: identity\r\n\r\n"
       "2\r\nab\r\n0\r\n\r\n",
       "2\r\nab\r\n0\r\n\r\n", true},
      {"a coding other than chunked outweighs a length",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\nContent-Length: 2\r\n\r\nabcd", "abcd", true},
      {"a word that merely contains chunked is not chunked",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunkedchunked\r\n\r\n2\r\nab\r\n0\r\n\r\n",
       "2\r\nab\r\n0\r\n\r\n", true},
  };
  for (const auto& c : cases) {
    const Read r = ReadAll({c.reply});
    EXPECT_EQ(r.head.status, 200) << c.name;
    EXPECT_EQ(r.body, c.body) << c.name;
    EXPECT_EQ(r.closed, c.closed) << c.name;
    EXPECT_FALSE(r.unread) << c.name;
  }
}

// Whoever else reads the reply on its way, a proxy or a cache, must not be
// able to find another end in it than ours: lengths and chunk sizes that
// could be read two ways fail instead of being cut at a guess.
TEST(ReplyReader, FailsAReplyWhoseEndCannotBeTrusted) {
  const std::string ok = "HTTP/1.1 200 OK\r\n";
  const std::string chunked = ok + "Transfer-Encoding: chunked\r\n\r\n";
  const std::pair<const char*, std::string> malformed[] = {
      {"two different lengths", ok + "Content-Length: 3\r\nContent-Length: 4\r\n\r\nabcd"},
      {"a list of two lengths", ok + "Content-Length: 3, 4\r\n\r\nabcd"},
      {"a list with an empty element", ok + "Content-Length: 3,\r\n\r\nabc"},
      {"length not a number", ok + "Content-Length: 3x\r\n\r\nabcdef"},
      {"negative length", ok + "Content-Length: -5\r\n\r\nabcdef"},
      {"empty length", ok + "Content-Length: \r\n\r\nabcdef"},
      {"length with a blank inside", ok + "Content-Length: 1 2\r\n\r\nabcdef"},
      {"a bad length beside chunked",
       ok + "Content-Length: x\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n"},
      {"chunk size not a number", chunked + "2\r\nab\r\nzz\r\n\r\n"},
      {"negative chunk size", chunked + "2\r\nab\r\n-5\r\n\r\n"},
      {"empty chunk size line", chunked + "2\r\nab\r\n\r\n\r\n"},
      {"chunk size ended by a bare CR", chunked + "5\r\r;ABCD\r\n34\r\nE\r\n0\r\n\r\n"},
      {"chunk longer than its size", chunked + "3\r\nabcdef\r\n0\r\n\r\n"},
  };
  for (const auto& [name, reply] : malformed) {
    EXPECT_THROW(ReadAll({reply}), MalformedReply) << name;
    EXPECT_THROW(ReadAll({reply}, {}, true), MalformedReply) << name << ", error body";
  }
}

TEST(ReplyReader, GivesTheSameBodyWhereverTheReadsSplit) {
  ExpectSameForEverySplit(
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n",
      "abcde");
  ExpectSameForEverySplit("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nwxyz", "wxyz");
}

TEST(ReplyReader, SkipsInterimRepliesWithTheirHeaders) {
  const Read r =
      ReadAll({"HTTP/1.1 100 Continue\r\nX-Early: 1\r\n\r\n"
               "HTTP/1.1 102 Processing\r\n\r\n"
               "HTTP/1.1 103 Early Hints\r\nLink: </style.css>; rel=preload\r\n\r\n"
               "HTTP/1.1 199 Whatever\r\n\r\n"
               "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"});
  EXPECT_EQ(r.head.status, 200);
  EXPECT_EQ(r.head.statusLine, "HTTP/1.1 200 OK");
  EXPECT_FALSE(r.head.Find("X-Early"));
  EXPECT_FALSE(r.head.Find("Link"));
  EXPECT_EQ(r.body, "ok");
  // A switch of protocols is the last reply: what follows is not HTTP.
  EXPECT_EQ(
      ReadAll({"HTTP/1.1 101 Switching Protocols\r\n\r\nHTTP/1.1 200 OK\r\n\r\n"}).head.status,
      101);
}

TEST(ReplyReader, StatusesWithoutABodyEndAtTheirHead) {
  const std::pair<int, std::string> cases[] = {
      {204, "HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\n"},
      {304, "HTTP/1.1 304 Not Modified\r\nTransfer-Encoding: chunked\r\n\r\n"},
      {101, "HTTP/1.1 101 Switching Protocols\r\nUpgrade: h2c\r\nContent-Length: 4\r\n\r\n"},
  };
  for (const auto& [status, head] : cases) {
    ScriptedSource source({head + "next"});
    ReplyReader reader(source, {});
    const ReplyHead h = reader.ReadHead();
    EXPECT_EQ(h.status, status);
    EXPECT_EQ(reader.ReadBody(h, false), "") << status;
    EXPECT_EQ(reader.UnreadBytes(), 4u) << status;
  }
}

TEST(ReplyReader, TellsWhenALengthStoodBesideATransferCoding) {
  auto ambiguous = [](const std::string& reply) {
    ScriptedSource source({reply});
    ReplyReader reader(source, {});
    reader.ReadBody(reader.ReadHead(), false);
    return reader.AmbiguousFraming();
  };
  const std::string ok = "HTTP/1.1 200 OK\r\n";
  const std::string chunks = "\r\n1\r\nx\r\n0\r\n\r\n";
  EXPECT_TRUE(ambiguous(ok + "Content-Length: 1\r\nTransfer-Encoding: chunked\r\n" + chunks));
  EXPECT_TRUE(ambiguous(ok + "Content-Length: 1\r\nTransfer-Encoding: gzip\r\n\r\nx"));
  EXPECT_FALSE(ambiguous(ok + "Transfer-Encoding: chunked\r\n" + chunks));
  EXPECT_FALSE(ambiguous(ok + "Content-Length: 1\r\n\r\nx"));
}

TEST(ReplyReader, NotesBytesBeyondTheReply) {
  EXPECT_TRUE(ReadAll({"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nokEXTRA"}).unread);
  EXPECT_FALSE(ReadAll({"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"}).unread);
}

TEST(ReplyReader, HeaderLinesAreParsedWithoutGuessing) {
  const std::string nul(1, '\0');
  const std::string reply =
      "HTTP/1.1 200 OK\r\n"
      "X-Bare: one\rContent-Length: 3\r\n"  // a bare CR is part of the value, not a line end
      " Content-Length: 4\r\n"              // folded: ignored
      "Bad Name: 1\r\n"                     // a blank in the name: ignored
      "NoColon\r\n"
      ": nameless\r\n"
      "X-Nul: a" +
      nul +
      "b\r\n"
      "Set-Cookie: a=1\r\nset-cookie: b=2\r\n"
      "\r\n"
      "abcdef";
  const Read r = ReadAll({reply});
  EXPECT_EQ(r.head.Find("X-Bare"), std::optional<std::string>("one\rContent-Length: 3"));
  EXPECT_FALSE(r.head.Find("Content-Length"));
  EXPECT_FALSE(r.head.Find("Bad Name"));
  EXPECT_EQ(r.head.Find("x-nul"), std::optional<std::string>(std::string("a\0b", 3)));
  EXPECT_EQ(r.head.FindAll("Set-Cookie"), (std::vector<std::string>{"a=1", "b=2"}));
  EXPECT_EQ(r.body, "abcdef");  // no length header counted, so up to the close
}

TEST(ReplyReader, StopsAtALineWithoutAStatusCode) {
  ScriptedSource source({"GARBAGE\r\nContent-Length: 2\r\n\r\nok"});
  ReplyReader reader(source, {});
  const ReplyHead head = reader.ReadHead();
  EXPECT_EQ(head.status, -1);
  EXPECT_EQ(head.statusLine, "GARBAGE");
  EXPECT_TRUE(head.headers.empty());
}

TEST(ReplyReader, LineLimitIsExact) {
  ReplyLimits limits;
  limits.maxLineBytes = 64;
  const std::string fits = "X: " + std::string(61, 'a');
  ReadAll({"HTTP/1.1 200 OK\r\n" + fits + "\r\nContent-Length: 0\r\n\r\n"}, limits);
  EXPECT_THROW(ReadAll({"HTTP/1.1 200 OK\r\n" + fits + "a\r\n\r\n"}, limits),
               LineTooLong);
  // An unterminated line fails as soon as it cannot fit, not at the close.
  EXPECT_THROW(ReadAll({"HTTP/1.1 200 OK\r\n" + std::string(100, 'a')}, limits),
               LineTooLong);
  // With the default limit the same line is merely cut off by the close.
  EXPECT_THROW(ReadAll({"HTTP/1.1 200 OK\r\n" + std::string(100, 'a')}), ConnectionClosed);
}

TEST(ReplyReader, DefaultLineLimitIs16384Bytes) {
  const std::string head = "HTTP/1.1 200 OK\r\nX: ";
  const std::string atLimit = head + std::string(16384 - 3, 'v') + "\r\nContent-Length: 0\r\n\r\n";
  EXPECT_EQ(ReadAll({atLimit}).head.status, 200);
  EXPECT_THROW(ReadAll({head + std::string(16384 - 2, 'v') + "\r\n\r\n"}),
               LineTooLong);
}

TEST(ReplyReader, RefusesSizesBeyondTheCapsBeforeReadingThem) {
  ReplyLimits limits;
  limits.maxBodyBytes = 1000;
  limits.maxHeaderBytes = 200;
  const std::pair<const char*, std::string> tooLarge[] = {
      {"length over the cap", "HTTP/1.1 200 OK\r\nContent-Length: 1001\r\n\r\n"},
      {"length that overflows 64 bits",
       "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999999\r\n\r\n"},
      {"chunk over the cap", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3E9\r\n"},
      {"chunk that overflows 64 bits",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFFFFFFFFFFFFFF\r\n"},
      {"chunks adding up over the cap",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
       "3E8\r\n" +
           std::string(1000, 'x') + "\r\n1\r\n"},
      {"stream over the cap", "HTTP/1.0 200 OK\r\n\r\n" + std::string(1001, 'x')},
      {"header block over its cap", "HTTP/1.1 200 OK\r\n" + std::string(30, 'X') + ": 1\r\n" +
                                        std::string(200, 'Y') + ": 1\r\n\r\n"},
      {"endless interim replies",
       [] {
         std::string s;
         for (int i = 0; i < 20; ++i) s += "HTTP/1.1 103 Early Hints\r\n\r\n";
         return s;
       }()},
      {"endless trailer",
       [] {
         std::string s = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n";
         for (int i = 0; i < 20; ++i) s += "X-Trailer: 0123456789\r\n";
         return s;
       }()},
  };
  for (const auto& [name, reply] : tooLarge) {
    EXPECT_THROW(ReadAll({reply}, limits), ReplyTooLarge) << name;
  }
  // Exactly at the cap is fine.
  EXPECT_EQ(
      ReadAll({"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(1000, 'x')}, limits)
          .body.size(),
      1000u);
}

TEST(ReplyReader, CutsAnErrorBodyAtTheCapInsteadOfFailing) {
  ReplyLimits limits;
  limits.maxBodyBytes = 10;
  EXPECT_EQ(
      ReadAll({"HTTP/1.1 500 X\r\nContent-Length: 99999999999\r\n\r\n0123456789abc"}, limits, true)
          .body,
      "0123456789");
  EXPECT_EQ(ReadAll({"HTTP/1.1 500 X\r\n\r\n0123456789abc"}, limits, true).body, "0123456789");
  EXPECT_EQ(ReadAll({"HTTP/1.1 500 X\r\nTransfer-Encoding: chunked\r\n\r\n4\r\n0123\r\n"
                     "FFFFFFFF\r\n456789abcdef"},
                    limits, true)
                .body,
            "0123456789");
}

TEST(ReplyReader, ClosesThatLeaveARequiredPartMissingFail) {
  const char* incomplete[] = {
      "",
      "HTTP/1.1 200 OK",
      "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n",
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab",
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nabcde",
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n",
  };
  for (const char* reply : incomplete) {
    EXPECT_THROW(ReadAll({reply}), ConnectionClosed) << reply;
  }
}

// Every read of a valid reply fails in turn: the failure must come out as it
// went in, never as a wrong or partial body.
TEST(ReplyReader, PassesOnAFailureAtEveryRead) {
  const std::vector<std::string> pieces = {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n",
                                           "Transfer-Encoding: chunked\r\n\r\n",
                                           "3\r\nabc\r\n",
                                           "2\r\nde\r\n",
                                           "0\r\n",
                                           "\r\n"};
  int reads = 0;
  {
    ScriptedSource source(pieces);
    ReplyReader reader(source, {});
    const ReplyHead head = reader.ReadHead();
    ASSERT_EQ(reader.ReadBody(head, false), "abcde");
    reads = source.Reads();
  }
  ASSERT_GE(reads, 6);
  for (int n = 0; n < reads; ++n) {
    ScriptedSource source(pieces);
    source.FailAt(n, [] { throw SocketError(104, "Connection reset by peer"); });
    ReplyReader reader(source, {});
    EXPECT_THROW(
        {
          const ReplyHead head = reader.ReadHead();
          reader.ReadBody(head, false);
        },
        SocketError)
        << "read " << n;
  }
}

}  // namespace
}  // namespace cloakwise::http
