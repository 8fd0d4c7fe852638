// libFuzzer target: the rewriting of a Firefox profile's user.js, on any
// bytes a user's file may hold. What must hold whatever the file:
// - rewriting again with the same lines changes nothing;
// - the program's lines come out exactly once each, and no other proxy
//   line is left;
// - a file without proxy lines keeps every byte, gaining at most the line
//   end its unfinished last line needs before the program's lines.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "browserproxy/firefox_proxy.h"

namespace {

constexpr std::string_view kPrefix = "user_pref(\"network.proxy.";

void Check(bool condition) {
  if (!condition) std::abort();
}

// Lines of an 8-bit file: CR, LF and CR LF end them.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const auto end = text.find_first_of("\r\n");
    const std::size_t length = end == text.npos ? text.size() : end;
    lines.push_back(text.substr(0, length));
    std::size_t skip = length;
    if (end != text.npos) {
      skip += text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1;
    }
    text.remove_prefix(skip);
  }
  return lines;
}

bool Marked(std::string_view file) {
  return file.starts_with("\xFF\xFE") || file.starts_with("\xFE\xFF");
}

// A UTF-8 mark is no part of the first line.
std::string_view Body(std::string_view file) {
  return file.substr(file.starts_with("\xEF\xBB\xBF") ? 3 : 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const bool install = in.ConsumeBool();
  const std::string file = in.ConsumeRemainingBytesAsString();
  std::vector<std::string> lines;
  if (install) {
    lines = {"user_pref(\"network.proxy.type\", 1);",
             "user_pref(\"network.proxy.http\", \"10.0.0.1\");",
             "user_pref(\"network.proxy.http_port\",8080);"};
  }
  const std::string once = cloakwise::ReplaceProxyLines(file, lines);
  Check(cloakwise::ReplaceProxyLines(once, lines) == once);
  if (Marked(file)) return 0;  // the checks below read 8-bit lines

  std::size_t found = 0;
  for (const std::string_view line : Lines(Body(once))) {
    if (!line.starts_with(kPrefix)) continue;
    Check(found < lines.size() && line == lines[found]);
    ++found;
  }
  Check(found == lines.size());

  bool hasProxyLine = false;
  for (const std::string_view line : Lines(Body(file))) {
    hasProxyLine = hasProxyLine || line.starts_with(kPrefix);
  }
  if (!hasProxyLine) {
    const std::string kept = cloakwise::ReplaceProxyLines(file, {});
    const std::string_view body = Body(file);
    const bool unfinished = !body.empty() && body.back() != '\r' && body.back() != '\n';
    Check(kept == (unfinished ? file + "\r\n" : file));
  }
  return 0;
}
