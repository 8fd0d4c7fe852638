#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "http/errors.h"

namespace cloakwise::search {

// A reply of the list service that is not made of digit groups. It derives
// from the HTTP client's failure type on purpose: to the caller an unreadable
// reply is the same failure as a lost connection, caught in the same place.
class DigitDecodeError : public http::HttpError {
 public:
  explicit DigitDecodeError(const std::string& group)
      : http::HttpError("'" + group + "' is not a valid integer value") {}
};

// The list service's shift key. Only its first 11 characters shift; every
// 12th character of a text goes out unchanged.
inline constexpr char kShiftKey[] = "NWRFatzKib3e";

// Each byte as three decimal digits, the whole digit string then reversed.
std::string DigitEncode(std::string_view text);

// The reverse of DigitEncode. One or two surplus digits at the start of the
// text are ignored; a group holding anything but the digits 0-9 throws
// DigitDecodeError.
std::string DigitDecode(std::string_view digits);

// Adds the key's bytes to the text's, position by position, modulo 256.
std::string ShiftWithKey(std::string_view text);
// The service's side of ShiftWithKey.
std::string UnshiftWithKey(std::string_view text);

// The client number as the service wants it: decimal, shifted, Base64.
std::string EncodeClientNumber(std::uint32_t number);

}  // namespace cloakwise::search
