#include "search/digit_codec.h"

#include <algorithm>

#include "search/base64.h"

namespace cloakwise::search {
namespace {

constexpr std::size_t kShiftPeriod = 12;

unsigned char ShiftAt(std::size_t oneBasedPosition) {
  const std::size_t inPeriod = oneBasedPosition % kShiftPeriod;
  return inPeriod == 0 ? 0 : static_cast<unsigned char>(kShiftKey[inPeriod - 1]);
}

}  // namespace

std::string DigitEncode(std::string_view text) {
  std::string digits;
  digits.reserve(text.size() * 3);
  for (const unsigned char c : text) {
    digits += static_cast<char>('0' + c / 100);
    digits += static_cast<char>('0' + c / 10 % 10);
    digits += static_cast<char>('0' + c % 10);
  }
  std::reverse(digits.begin(), digits.end());
  return digits;
}

std::string DigitDecode(std::string_view digits) {
  const std::string reversed(digits.rbegin(), digits.rend());
  std::string text;
  text.reserve(reversed.size() / 3);
  for (std::size_t at = 0; at + 3 <= reversed.size(); at += 3) {
    unsigned value = 0;
    for (std::size_t i = at; i < at + 3; ++i) {
      const char c = reversed[i];
      if (c < '0' || c > '9') throw DigitDecodeError(reversed.substr(at, 3));
      value = value * 10 + static_cast<unsigned>(c - '0');
    }
    text += static_cast<char>(value % 256);
  }
  return text;
}

std::string ShiftWithKey(std::string_view text) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char>(static_cast<unsigned char>(out[i]) + ShiftAt(i + 1));
  }
  return out;
}

std::string UnshiftWithKey(std::string_view text) {
  std::string out(text);
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char>(static_cast<unsigned char>(out[i]) - ShiftAt(i + 1));
  }
  return out;
}

std::string EncodeClientNumber(std::uint32_t number) {
  return Base64Encode(ShiftWithKey(std::to_string(number)));
}

}  // namespace cloakwise::search
