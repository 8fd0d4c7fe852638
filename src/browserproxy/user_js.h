#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/proxy_address.h"

// A Firefox profile's user.js, as the program changes it: the user's own
// lines are never touched. While the program's proxy is in use, a block of
// its own lines stands at the end of the file, where it outweighs any line
// before it; the block also keeps what the profile's prefs.js held for each
// preference it sets. When the proxy goes, the block goes, and where Firefox
// may meanwhile have saved the program's values into prefs.js, a smaller
// block puts the profile's own values back; that one goes too, once prefs.js
// shows Firefox has them. A file without the program's lines reads back byte
// for byte as the user left it.
//
// Files are bytes in their own encoding: 8-bit (Firefox reads UTF-8), or
// UTF-16 with a byte-order mark; the program's lines are ASCII in either.
namespace cloakwise::userjs {

// What the file says of the program's proxy.
enum class State { None, InUse, PuttingBack };
State StateOf(std::string_view userJs);

// The new content of a user.js, or nothing when the file is to go (it did
// not exist before the program made it, and nothing of the user's is in it).
using Content = std::optional<std::string>;

// The file with the program's proxy in use: its block, at the end, in place
// of any earlier one. existed: the file was there; prefsJs: the profile's
// prefs.js, read for what the block keeps (an earlier block's memory wins,
// since prefs.js may by now hold the program's own values).
std::string Install(std::string_view userJs, bool existed, std::string_view prefsJs,
                    const ProxyAddress& proxy);

// The file with the profile's own settings coming back; nothing to do (no
// block in use) gives the file unchanged.
Content PutBack(std::string_view userJs);

// The file once Firefox has the profile's own values back: each line of the
// putting-back block goes whose preference prefs.js no longer holds with the
// program's value, provided prefs.js was written after user.js (so Firefox
// has read the block since); the block goes with its last line.
Content Tidy(std::string_view userJs, std::string_view prefsJs, bool prefsWrittenSince);

// The profile's prefs.js as Firefox would save it after one run on the
// putting-back block: each preference of the block with the block's value,
// or without a line where that is Firefox's default; every other line as it
// was. For when no run of the program will come to tidy the block (it is
// being uninstalled) and Firefox is not running. Nothing when user.js has
// no putting-back block alone, or prefs.js is not in Firefox's UTF-8.
std::optional<std::string> PrefsWithOwnValues(std::string_view userJs, std::string_view prefsJs);

}  // namespace cloakwise::userjs
