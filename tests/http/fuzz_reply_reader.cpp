// libFuzzer harness for the reply reader: any byte stream, cut into reads of
// any size, must end in a reply or one of the client's failures, within the
// limits, without touching memory it does not own.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "http/cookie_jar.h"
#include "http/errors.h"
#include "http/reply_reader.h"
#include "http/url.h"

namespace {

using namespace cloakwise::http;

class FuzzSource : public ByteSource {
 public:
  FuzzSource(const std::uint8_t* data, std::size_t size, std::size_t step)
      : data_(data), size_(size), step_(step) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t n = std::min({size, step_, size_ - offset_});
    std::memcpy(buffer, data_ + offset_, n);
    offset_ += n;
    return n;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t step_;
  std::size_t offset_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // The first byte picks how the stream is cut into reads.
  const std::size_t step = 1 + (data[0] & 0x3f);
  const bool errorBody = (data[0] & 0x40) != 0;
  FuzzSource source(data + 1, size - 1, step);
  // Small limits, so the fuzzer reaches them.
  const ReplyLimits limits{256, 2048, 4096};
  ReplyReader reader(source, limits);
  try {
    const ReplyHead head = reader.ReadHead();
    if (head.statusLine.size() > limits.maxLineBytes) __builtin_trap();
    CookieJar jar;
    const Url url = ParseUrl("http://fuzz.example/a/b", 80);
    const auto now = CookieJar::Clock::now();
    for (const auto& value : head.FindAll("Set-Cookie")) jar.Store(value, url, now);
    const std::string cookies = jar.HeaderFor(url, now);
    for (const char c : cookies) {
      if (static_cast<unsigned char>(c) < 0x20) __builtin_trap();
    }
    if (head.status == -1) return 0;
    // Interim replies are passed over; only a switch of protocols ends there.
    const bool interim = head.status >= 100 && head.status <= 199;
    if (interim && head.status != 101) __builtin_trap();
    const std::string body = reader.ReadBody(head, errorBody);
    if (body.size() > limits.maxBodyBytes) __builtin_trap();
    if ((interim || head.status == 204 || head.status == 304) && !body.empty()) __builtin_trap();
  } catch (const HttpError&) {
  }
  return 0;
}
