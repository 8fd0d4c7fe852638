# Shared by the end-to-end tests of cloakwise.exe. Source it, then call
#   e2e_start EXE OUT
# which sets exe, out (the folder for screenshots and logs, made here) and
# root (the source tree), needs WINEPREFIX, quiets Wine, chooses the display
# (scripts/lib/desktop.sh, whose functions it brings) and clears app_pid.
# fail MESSAGE pictures the screen and exits 1; shot WINDOW NAME saves a
# picture of a window (or "root") as OUT/NAME.png. However the test exits,
# the program under test (app_pid) is ended first, since a copy left running
# would take the place of the next test's, and then the commands given to
# e2e_on_exit run, and the display started here is stopped. Set no EXIT trap
# of your own; the proxy world chains its stop in front of this one.
# new_app_folder makes the program's folder, no_system_proxy clears the
# prefix's proxy; start_plain_origin starts the tests' web server, start_world a proxy world
# and world_address names its candidates' addresses, start_squid_world the
# world around squid, start_app_in the program (see below);
# user_firefox_profile and firefox_visit make a user's Firefox profile and
# run real Firefox on it.

e2e_start() {
  exe="$1"
  out="$2"
  : "${WINEPREFIX:?}"
  export WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="mscoree,mshtml="
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  mkdir -p "$out"
  source "$root/scripts/lib/desktop.sh"
  ensure_display "$out/xvfb.log"
  app_pid=""
  _e2e_exit_commands=()
  trap _e2e_on_exit EXIT
  # An earlier test's program, ended by force, leaves its memory of the
  # settings it replaced, which the next start would put back over this
  # test's own: each test starts as on a machine the program never ran on.
  wine reg delete 'HKCU\Software\Cloakwise' /f >/dev/null 2>&1 || true
}

e2e_on_exit() { _e2e_exit_commands+=("$1"); }

# Starts tests/e2e/tools/origin.py on ADDRESS:PORT, plain HTTP only, logging
# requests to LOG for at most SECONDS, and waits until it listens; it is
# ended with the test.
start_plain_origin() {
  local address=$1 port=$2 log=$3 seconds=$4 pid
  python3 "$root/tests/e2e/tools/origin.py" "$address" "$port" - - - "$log" "$seconds" \
    >>"$out/origin.log" 2>&1 &
  pid=$!
  e2e_on_exit "kill $pid 2>/dev/null"
  for _ in $(seq 50); do grep -q ready "$log" 2>/dev/null && break; sleep 0.1; done
}

# Makes the test's folder, work, and starts the proxy world of CANDIDATES in
# work/world, its service and judge included. squid and tinyproxy drop root,
# so the folder is open to all; its removal is set before the world chains
# its own stop in front of it.
start_world() {  # NAME CANDIDATES
  work=$(mktemp -d "/tmp/cloakwise-e2e-$1.XXXXXX")
  chmod 755 "$work"
  e2e_on_exit 'rm -rf "$work"'
  source "$root/scripts/lib/proxy_world.sh"
  start_proxy_world "$work/world" "$root/build/native" "$2" >"$out/world.log" 2>&1 ||
    { cat "$out/world.log"; fail "the proxy world did not start"; }
}

# The address of the world's candidate NAME; nothing when it has none.
world_address() {
  awk -v name="$1" '$1 == name { print $2 }' "$work/world/world.txt"
}

# The proxy world around squid as the one elite candidate among dead ones,
# with the tests' web server on 127.0.0.2: sets squid (its address) and
# squid_log (its access log).
start_squid_world() {  # NAME
  export PROXY_WORLD_ORIGIN=127.0.0.2
  start_world "$1" "squid-elite dead-1 dead-2"
  squid=$(world_address squid-elite)
  squid_log=$(find "$work/world" -name access.log -print -quit)
  [ -n "$squid" ] && [ -n "$squid_log" ] || fail "the world has no squid"
}

# Makes C:\NAME afresh in the prefix with a copy of the program in it, as a
# user unpacks the portable zip: sets app to its Linux path.
new_app_folder() {  # NAME
  app="$WINEPREFIX/drive_c/$1"
  rm -rf "$app"
  mkdir -p "$app"
  cp "$exe" "$app/cloakwise.exe"
}

# The prefix without a system proxy: no server named, and the proxy off.
no_system_proxy() {
  wine reg delete "$internet_settings" /v ProxyServer /f >/dev/null 2>&1 || true
  wine reg add "$internet_settings" /v ProxyEnable /t REG_DWORD /d 0 /f >/dev/null
}

# Starts cloakwise.exe in the folder APP, adding to OUT/cloakwise.log, and
# waits for its main window: sets app_pid and window.
start_app_in() {  # APP
  (cd "$1" && exec wine cloakwise.exe) >>"$out/cloakwise.log" 2>&1 &
  app_pid=$!
  window=$(wait_for_window '^Cloakwise$')
  [ -n "$window" ] || fail "the main window did not appear"
  sleep 1
}

_e2e_on_exit() {
  local rc=$? command
  if [ -n "${app_pid:-}" ] && kill -0 "$app_pid" 2>/dev/null; then
    kill "$app_pid" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
  fi
  for command in "${_e2e_exit_commands[@]}"; do eval "$command" || true; done
  [ -z "${XVFB_PID:-}" ] || kill "$XVFB_PID" 2>/dev/null || true
  return "$rc"
}

fail() {
  echo "FAIL: $*"
  import -window root "$out/failure.png" 2>/dev/null || true
  exit 1
}

shot() {
  import -window "$1" "$out/$2.png"
  echo "screenshot: $out/$2.png"
}

# Makes a Firefox profile in PROFILE as a user left it: set to detect the
# network's proxy by itself (type 4), quiet (tools/quiet-firefox-prefs.js),
# with a user.js of the user's own, whose bytes go into own_user_js. HOME
# becomes HOME_FOLDER, where Firefox may write.
user_firefox_profile() {
  rm -rf "$1"
  mkdir -p "$1"
  { cat "$root/tests/e2e/tools/quiet-firefox-prefs.js"; echo 'user_pref("network.proxy.type", 4);'; } >"$1/prefs.js"
  printf 'user_pref("browser.startup.homepage", "about:blank");\r\n' >"$1/user.js"
  own_user_js=$(od -c "$1/user.js")
  export HOME="$2" MOZ_REMOTE_SETTINGS_DEVTOOLS=1
  mkdir -p "$HOME"
}

# One headless run of real Firefox on PROFILE, visiting URL; NAME names its
# screenshot and log in OUT. Firefox saves the profile's prefs.js as it ends.
firefox_visit() {
  timeout 60 firefox-esr --headless --no-remote --profile "$1" --screenshot "$out/$3.png" "$2" \
    >"$out/firefox-$3.log" 2>&1 || true
}
