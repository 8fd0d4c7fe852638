#include "platform/win32/wide.h"

#include <windows.h>

namespace cloakwise::platform {
namespace {

// The conversions count in int; a longer text goes in slices, and a slice
// never ends inside a character, so none is split between two calls.
constexpr std::size_t kSlice = std::size_t{1} << 30;

}  // namespace

std::wstring Widen(std::string_view utf8) {
  std::wstring result;
  while (!utf8.empty()) {
    std::size_t take = utf8.size() < kSlice ? utf8.size() : kSlice;
    // A UTF-8 character is at most four bytes: back off its continuations.
    while (take < utf8.size() && take > kSlice - 4 &&
           (static_cast<unsigned char>(utf8[take]) & 0xC0) == 0x80) {
      --take;
    }
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(take), nullptr, 0);
    const std::size_t at = result.size();
    result.resize(at + static_cast<std::size_t>(length));
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(take), result.data() + at,
                        length);
    utf8.remove_prefix(take);
  }
  return result;
}

std::string Narrow(std::wstring_view utf16) {
  std::string result;
  while (!utf16.empty()) {
    std::size_t take = utf16.size() < kSlice ? utf16.size() : kSlice;
    if (take < utf16.size() && utf16[take] >= 0xDC00 && utf16[take] <= 0xDFFF) --take;
    const int length = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(take),
                                           nullptr, 0, nullptr, nullptr);
    const std::size_t at = result.size();
    result.resize(at + static_cast<std::size_t>(length));
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(take), result.data() + at,
                        length, nullptr, nullptr);
    utf16.remove_prefix(take);
  }
  return result;
}

}  // namespace cloakwise::platform
