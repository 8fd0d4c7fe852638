#pragma once

// A reply source without sockets: hands out pieces of text one read at a
// time, then the end of the stream, and can fail at a chosen read the way a
// socket would.

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "http/reply_reader.h"

namespace cloakwise::http::testing {

class ScriptedSource : public ByteSource {
 public:
  explicit ScriptedSource(std::vector<std::string> pieces) : pieces_(std::move(pieces)) {}

  // The read with this index (0-based) runs fail instead of reading.
  void FailAt(int read, std::function<void()> fail) {
    failAt_ = read;
    fail_ = std::move(fail);
  }

  std::size_t Read(char* buffer, std::size_t size) override {
    if (reads_++ == failAt_) fail_();
    while (next_ < pieces_.size() && offset_ == pieces_[next_].size()) {
      ++next_;
      offset_ = 0;
    }
    if (next_ == pieces_.size()) return 0;
    const std::size_t n = std::min(size, pieces_[next_].size() - offset_);
    std::memcpy(buffer, pieces_[next_].data() + offset_, n);
    offset_ += n;
    return n;
  }

  int Reads() const { return reads_; }

 private:
  std::vector<std::string> pieces_;
  std::size_t next_ = 0;
  std::size_t offset_ = 0;
  int reads_ = 0;
  int failAt_ = -1;
  std::function<void()> fail_;
};

}  // namespace cloakwise::http::testing
