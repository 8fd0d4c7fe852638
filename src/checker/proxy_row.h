#pragma once

#include <cstdint>
#include <string>

// One row of the custom list as the rest of the program sees it: the state
// the check decides on, and the texts the grid and the check tool show.
namespace cloakwise::checker {

enum Column : int { kProxyColumn = 0, kTypeColumn, kStatusColumn, kPingColumn, kColumnCount };

// Where a row is in a check. Blank is no entry at all: the empty list's one
// row, or a blank row a hand-edited options.ini holds; it shows nothing and
// is never claimed until a check asks for every row.
enum class RowState { Blank, Waiting, Checking, Working, NotWorking, HttpOnly };

// Texts of the Type, Status and Ping cells. A waiting row shows "Unknown" in
// all three, so do the Type and Ping of a row that did not work.
inline constexpr char kUnknownText[] = "Unknown";
inline constexpr char kCheckingText[] = "Checking...";
inline constexpr char kWorkingText[] = "OK";
inline constexpr char kNotWorkingText[] = "Not working";
// Answers the judge, but carries no tunnel: no HTTPS page loads through it.
inline constexpr char kHttpOnlyText[] = "HTTP only";

// The Status cell of a row in this state.
constexpr const char* StatusText(RowState state) {
  switch (state) {
    case RowState::Blank:
      return "";
    case RowState::Waiting:
      return kUnknownText;
    case RowState::Checking:
      return kCheckingText;
    case RowState::Working:
      return kWorkingText;
    case RowState::NotWorking:
      return kNotWorkingText;
    case RowState::HttpOnly:
      return kHttpOnlyText;
  }
  return "";
}

// The check of this row is over: it has the result it will show.
constexpr bool HasResult(RowState state) {
  return state == RowState::Working || state == RowState::NotWorking || state == RowState::HttpOnly;
}

// Which entries "Copy to clipboard" takes, by their Type cell.
enum class CopyFilter { AnonymousOrElite = 0, Anonymous = 1, Elite = 2 };

// Every cell of one row, the Status as the state it is shown from.
struct ProxyRow {
  std::string proxy, type;
  RowState state = RowState::Blank;
  std::string ping;
  std::string Status() const { return StatusText(state); }
  bool operator==(const ProxyRow&) const = default;
};

// What "Use this proxy" needs of a row.
struct ProxyEntry {
  std::string proxy;
  std::string type;
};

// Names one entry for as long as it exists, wherever sorting and deleting
// move it. Writing new text into a row makes it a new entry.
using EntryId = std::uint64_t;

struct ClaimedEntry {
  EntryId id = 0;
  std::string proxy;
};

// What a check leaves on an entry: its Type and Ping texts and its state.
struct CheckResult {
  std::string type;
  RowState state = RowState::NotWorking;
  std::string ping;
};

}  // namespace cloakwise::checker
