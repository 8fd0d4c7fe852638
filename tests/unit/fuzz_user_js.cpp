// libFuzzer target: a Firefox profile's user.js through the program's whole
// round, on any bytes a user's file and Firefox's prefs.js may hold. What
// must hold whatever the files:
// - installing twice gives the same file, with the proxy in use;
// - putting back twice gives the same file, with nothing in use;
// - once Firefox has saved anything but the program's values, the user's
//   file comes back byte for byte, unless it held the program's own marks;
// - so it does once prefs.js is rewritten as the uninstaller rewrites it.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "browserproxy/user_js.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// The program's marks, in any of the encodings a user.js may have.
bool MayHoldOwnMarks(std::string_view file) {
  const std::string_view word = "Cloakwise";
  std::string le, be;
  for (const char c : word) {
    le += c, le += '\0';
    be += '\0', be += c;
  }
  return file.find(word) != std::string_view::npos || file.find(le) != std::string_view::npos ||
         file.find(be) != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cloakwise;
  FuzzedDataProvider in(data, size);
  const std::string prefs = in.ConsumeRandomLengthString(512);
  const std::string file = in.ConsumeRemainingBytesAsString();
  const ProxyAddress proxy{"10.0.0.1", 8080};

  const std::string installed = userjs::Install(file, true, prefs, proxy);
  Check(userjs::StateOf(installed) == userjs::State::InUse);
  Check(userjs::Install(installed, true, prefs, proxy) == installed);
  const userjs::Content putBack = userjs::PutBack(installed);
  Check(putBack.has_value());
  Check(userjs::StateOf(*putBack) != userjs::State::InUse);
  Check(userjs::PutBack(*putBack) == putBack);
  if (MayHoldOwnMarks(file)) return 0;
  // Firefox saved values of its own for every preference the program set.
  const std::string saved = "user_pref(\"network.proxy.no_proxies_on\", \"x\");";
  Check(userjs::Tidy(*putBack, saved, /*prefsWrittenSince=*/true) == file);
  if (const auto own = userjs::PrefsWithOwnValues(*putBack, prefs)) {
    Check(userjs::Tidy(*putBack, *own, /*prefsWrittenSince=*/true) == file);
  }
  return 0;
}
