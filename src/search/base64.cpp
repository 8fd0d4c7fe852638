#include "search/base64.h"

#include <cstdint>

namespace cloakwise::search {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int SextetOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t group = static_cast<unsigned char>(bytes[i]) << 16 |
                                static_cast<unsigned char>(bytes[i + 1]) << 8 |
                                static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[group >> 18 & 63];
    out += kAlphabet[group >> 12 & 63];
    out += kAlphabet[group >> 6 & 63];
    out += kAlphabet[group & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    std::uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kAlphabet[group >> 18 & 63];
    out += kAlphabet[group >> 12 & 63];
    out += rest == 2 ? kAlphabet[group >> 6 & 63] : '=';
    out += '=';
  }
  return out;
}

std::optional<std::string> Base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t at = 0; at < text.size(); at += 4) {
    const bool last = at + 4 == text.size();
    int padding = 0;
    std::uint32_t group = 0;
    for (std::size_t i = 0; i < 4; ++i) {
      const char c = text[at + i];
      int sextet = SextetOf(c);
      if (c == '=' && last && i >= 2) {
        ++padding;
        sextet = 0;
      } else if (sextet < 0 || padding > 0) {
        return std::nullopt;  // a stray character, or data after the padding
      }
      group = group << 6 | static_cast<std::uint32_t>(sextet);
    }
    out += static_cast<char>(group >> 16 & 255);
    if (padding < 2) out += static_cast<char>(group >> 8 & 255);
    if (padding < 1) out += static_cast<char>(group & 255);
  }
  return out;
}

}  // namespace cloakwise::search
