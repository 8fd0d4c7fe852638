#!/usr/bin/env bash
# The program's main job under Wine and Xvfb, driven by real clicks, against
# the reference service and real proxies on loopback (test proxies, squid,
# tinyproxy): START finds and installs a proxy in the registry and in the
# Firefox profile, "Change IP now" and a rotation tick install another
# batch's winner, STOP clears both again.
#
# The pool, three candidates a batch, with only Elite accepted:
#   1  a transparent proxy that answers after 2.5 s, two dead ones:
#      Searching is on screen meanwhile, and the batch fails
#   2  three dead ones: followed at once by
#   3  an elite test proxy that answers at once but carries no tunnel (no
#      HTTPS), tinyproxy anonymous, squid elite: squid elite wins
#   4  three test proxies, elite, anonymous, transparent: "Change IP now"
#   then the pool starts over, and the rotation tick goes through 1-3 again.
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/e2e.sh"
e2e_start "$1" "$2"

world="test-transparent-2500 dead-1 dead-2 dead-3 dead-4 dead-5 test-elite-noconnect tinyproxy-anonymous squid-elite test-elite-40 test-anonymous-10 test-transparent"
start_world search "$world"
squidElite=$(world_address squid-elite)
testElite=$(world_address test-elite-40)
[ -n "$squidElite" ] && [ -n "$testElite" ] || fail "the world lacks its elite proxies"

new_app_folder SearchTest
# Elite only, Firefox too, and a new search every minute.
printf '[Options]\r\nStartUp=0\r\nFirefox=1\r\nProxyType=2\r\nChange1=1\r\nProxyChange=1\r\n[Service]\r\n%s' \
  "$SERVICE_INI" >"$app/options.ini"
appdata=$(winepath -u "$(wine cmd /c 'echo %APPDATA%' | tr -d '\r')")
profile="$appdata/Mozilla/Firefox/Profiles/search.default"
rm -rf "$appdata/Mozilla"
mkdir -p "$profile"
printf 'user_pref("browser.startup.homepage", "about:blank");\r\n' >"$profile/user.js"
wine reg add "$internet_settings" /v ProxyServer /t REG_SZ /d : /f >/dev/null
wine reg add "$internet_settings" /v ProxyEnable /t REG_DWORD /d 0 /f >/dev/null

firefox_has() {  # host:port, for HTTP and HTTPS
  grep -qF "user_pref(\"network.proxy.http\", \"${1%:*}\");" "$profile/user.js" &&
    grep -qF "user_pref(\"network.proxy.http_port\", ${1#*:});" "$profile/user.js" &&
    grep -qF "user_pref(\"network.proxy.ssl\", \"${1%:*}\");" "$profile/user.js" &&
    grep -qF "user_pref(\"network.proxy.ssl_port\", ${1#*:});" "$profile/user.js"
}
# Each install with the Firefox option on shows the restart notice once both
# proxies are in place; OK closes it.
installed() {  # host:port seconds
  local box
  wait_for_proxy_server "$1" "$2" && firefox_has "$1" || return 1
  box=$(wait_for_window '^Proxy changed$')
  [ -n "$box" ] || return 1
  sleep 0.3
  xdotool key --window "$box" Return
  wait_until_gone '^Proxy changed$'
}

(cd "$app" && exec wine cloakwise.exe) >"$out/cloakwise.log" 2>&1 &
app_pid=$!
started=$(date +%s)
window=$(wait_for_window '^Cloakwise$')
[ -n "$window" ] || fail "the main window did not appear"
sleep 1

echo "-- START: a slow failing batch, a dead one, then squid elite beside a faster elite proxy without tunnels"
click_in_window "$window" 224 258  # START
sleep 0.4  # the Searching indicator blinks: on for the first second
import -window "$window" "$out/searching.png"
echo "screenshot: $out/searching.png"
# The tray icon turns while searching: three pictures a little more than a
# frame (200 ms) apart each differ from the one before.
tray=$(tray_window)
for i in 1 2 3; do
  import -window "$tray" -crop 20x20+0+0 +repage "$out/tray-search-$i.png"
  sleep 0.25
done
for i in 1 2; do
  [ "$(compare -metric AE "$out/tray-search-$i.png" "$out/tray-search-$((i + 1)).png" null: 2>&1)" != 0 ] ||
    fail "the tray icon did not turn while searching"
done
montage "$out"/tray-search-[123].png -scale 400% -tile 3x1 -geometry +4+4 "$out/tray-search.png"
echo "screenshot: $out/tray-search.png"
installed "$squidElite" 20 || fail "squid elite was not installed: registry $(proxy_server)"
grep -c 'step 2: batch' "$work/world/service.log" | grep -qx 3 ||
  fail "expected three batches before the install: $(grep 'step 2' "$work/world/service.log")"
sleep 0.5
import -window "$window" "$out/active.png"
echo "screenshot: $out/active.png"
wine reg query "$internet_settings" /v ProxyEnable | tr -d '\r' | grep -q '0x1$' || fail "ProxyEnable is not 1"

echo "-- Change IP now: the next batch's winner"
tray_menu 8 || fail "no tray icon"
installed "$testElite" 20 || fail "Change IP now did not install $testElite: registry $(proxy_server)"

echo "-- a rotation tick a minute after start-up"
now=$(date +%s)
wait=$((started + 60 - now + 30))
installed "$squidElite" "$wait" || fail "the rotation tick did not install $squidElite: registry $(proxy_server)"

echo "-- STOP"
click_in_window "$window" 224 258
wait_for_proxy_server ":" 10 || fail "STOP left the proxy $(proxy_server)"
wine reg query "$internet_settings" /v ProxyEnable | tr -d '\r' | grep -q '0x0$' || fail "ProxyEnable is not 0"
# The user's line stays first; the program's lines now put back the
# profile's own settings, until Firefox has them.
head -n1 "$profile/user.js" | grep -qxF $'user_pref("browser.startup.homepage", "about:blank");\r' &&
  grep -qF 'these lines put back' "$profile/user.js" && ! grep -qF 'is in use' "$profile/user.js" ||
  fail "user.js after STOP: $(cat -A "$profile/user.js")"
sleep 0.5
import -window "$window" "$out/stopped.png"
echo "screenshot: $out/stopped.png"

# Close from the tray menu. (A log-off here would start the Run key's
# programs of the earlier tests with the next Wine command.)
tray_menu 1 || fail "no tray icon"
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "cloakwise.exe is still running after Close"
echo "PASS: e2e search, change, rotation and stop against real proxies"
