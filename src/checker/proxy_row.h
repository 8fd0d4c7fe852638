#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "judge/judge.h"

// One row of the custom list as the rest of the program sees it: the values
// a check finds, and the texts the grid, the clipboard and the check tool
// show of them, made in one place (CellText).
namespace cloakwise::checker {

using judge::AnonymityLevel;

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

// One row: its Proxy text as typed or stored, and what its last check found.
struct ProxyRow {
  std::string proxy;
  std::optional<AnonymityLevel> level;  // what the judge saw through it
  RowState state = RowState::Blank;
  std::optional<std::int64_t> answerMs;  // the probe's start to the judge's answer
  bool operator==(const ProxyRow&) const = default;
};

// Whole seconds, a half going to the even neighbour: 1500 ms and 2500 ms
// are both 2, 499 ms is 0.
std::int64_t WholeSeconds(std::int64_t ms);
// The seconds and " Sec.": "2 Sec.".
std::string PingText(std::int64_t answerMs);
// What the grid shows in a column of the row: "" throughout for a blank
// row; "Unknown" for a level or an answer time not known.
std::string CellText(const ProxyRow& row, int column);

// What "Use this proxy" needs of a row.
struct ProxyEntry {
  std::string proxy;
  std::optional<AnonymityLevel> level;
};

// Names one entry for as long as it exists, wherever sorting and deleting
// move it. Writing new text into a row makes it a new entry.
using EntryId = std::uint64_t;

struct ClaimedEntry {
  EntryId id = 0;
  std::string proxy;
};

// What a check leaves on an entry.
struct CheckResult {
  std::optional<AnonymityLevel> level;
  RowState state = RowState::NotWorking;
  std::optional<std::int64_t> answerMs;
};

}  // namespace cloakwise::checker
