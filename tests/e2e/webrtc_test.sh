#!/usr/bin/env bash
# A page asks WebRTC for the machine's address: a loopback STUN server
# answers each request with the address it came from, and the page reports
# every candidate it gathered. Before START, real Firefox ESR and real
# Chromium both tell it (the STUN server is asked, the page gets a
# candidate), so the check is able to fail. With squid in use, Firefox on the
# profile the program wrote and Chromium on the Chrome profiles the program
# changed, with the proxy the registry holds, gather nothing, the STUN server
# hears nothing, and every internet socket either browser opens goes to
# squid (strace). STOP gives back the user's own: the registry's proxy,
# Firefox's value once Firefox has run, Chrome's Preferences without the
# program's keys (byte for byte where no browser ran), and the page learns
# the address from Chromium again.
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/e2e.sh"
e2e_start "$1" "$2"
# A proxy of the host's own would stand in for the prefix's settings.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
command -v strace >/dev/null || fail "strace is not installed (scripts/setup installs it)"

start_squid_world webrtc

# The page on 127.0.0.2, which squid reaches from 127.0.0.5; the STUN
# server on 127.0.0.3.
httpPort=$((30000 + RANDOM % 1000))
origin_log="$work/origin.log"
start_plain_origin 127.0.0.2 "$httpPort" "$origin_log" 300
grep -q ready "$origin_log" || fail "the web server did not start"
stun_log="$work/stun.log"
python3 "$root/tests/e2e/tools/stun_server.py" 127.0.0.3 0 "$stun_log" 300 >"$out/stun.log" 2>&1 &
stun_pid=$!
e2e_on_exit 'kill $stun_pid 2>/dev/null'
for _ in $(seq 50); do grep -q ready "$stun_log" 2>/dev/null && break; sleep 0.1; done
stunPort=$(awk '$1 == "ready" { print $2 }' "$stun_log")
[ -n "$stunPort" ] || fail "the STUN server did not start"
page() { echo "http://127.0.0.2:$httpPort/webrtc?stun=127.0.0.3:$stunPort&run=$1"; }
stun_requests() { grep -cv '^ready' "$stun_log" || true; }
# The report of the visit NAME: "report NAME PEER CANDIDATES", CANDIDATES "-"
# when the page gathered none.
report() { awk -v run="$1" '$1 == "report" && $2 == run' "$origin_log"; }
# The visit NAME told the page the machine's address: the STUN server was
# asked since it had COUNT requests, and a host or server-reflexive
# candidate came back. WHY says what it means when it did not.
expect_leak() {  # NAME COUNT WHY
  local line
  line=$(report "$1")
  echo "$1: $(($(stun_requests) - $2)) STUN request(s); ${line:-no report}"
  [ -n "$line" ] || fail "$1: the page never reported"
  [ "$(stun_requests)" -gt "$2" ] || fail "$1: the STUN server heard nothing: $3"
  [[ $line == *" typ host"* || $line == *" typ srflx"* ]] || fail "$1: the page got no candidate: $3"
}
# The visit NAME came through squid, whose log had LINES lines before it, and
# learned nothing: no candidate, and the STUN server heard nothing more than
# its COUNT requests. (squid logs no query, so the page's run is told by the
# address its requests reached the web server from.)
expect_no_leak() {
  local line
  line=$(report "$1")
  echo "$1: $(($(stun_requests) - $2)) STUN request(s); ${line:-no report}"
  [ -n "$line" ] || fail "$1: the page never reported"
  tail -n +$(($3 + 1)) "$squid_log" | grep -q "GET http://127.0.0.2:$httpPort/webrtc" ||
    fail "$1: squid did not carry the page: $(tail -n 5 "$squid_log")"
  grep -q "^http 127\.0\.0\.5 GET /webrtc?.*&run=$1\$" "$origin_log" &&
    [ "$(awk '{ print $3 }' <<<"$line")" = 127.0.0.5 ] ||
    fail "$1: the page went around squid: $(grep -F "run=$1" "$origin_log")"
  [ "$(awk '{ print $4 }' <<<"$line")" = - ] || fail "$1: the page learned the machine's address: $line"
  [ "$(stun_requests)" -eq "$2" ] || fail "$1: the STUN server was asked: $(tail -n 3 "$stun_log")"
}
# Runs a browser's command line under strace, into OUT/NAME.strace: every
# socket it connects or sends on, in every process it starts.
traced() {
  local name=$1
  shift
  strace -f -yy -e trace=connect,sendto,sendmsg,sendmmsg -o "$out/$name.strace" "$@"
}
# Whether every internet socket in OUT/NAME.strace went to squid.
expect_all_through_squid() {
  python3 "$root/tests/e2e/tools/socket_destinations.py" "$out/$1.strace" "$squid" >"$out/$1-sockets.txt" ||
    fail "$1 went around squid: $(cat "$out/$1-sockets.txt")"
  cat "$out/$1-sockets.txt"
}

# The user's own settings: a proxy of theirs switched off.
for value in AutoConfigURL ProxyOverride; do wine reg delete "$internet_settings" /v $value /f >/dev/null 2>&1 || true; done
wine reg add "$internet_settings" /v ProxyServer /t REG_SZ /d 10.9.8.7:3128 /f >/dev/null
wine reg add "$internet_settings" /v ProxyEnable /t REG_DWORD /d 0 /f >/dev/null

# Firefox, set by the user to detect the network's proxy by itself. Test
# settings go into prefs.js, where the user's own values live: ICE may use a
# loopback address, so a loopback STUN server is asked at all; and "wpad"
# is a local name, so detecting the proxy sends no DNS query off this machine.
appdata=$(winepath -u "$(wine cmd /c 'echo %APPDATA%' | tr -d '\r')")
localdata=$(winepath -u "$(wine cmd /c 'echo %LOCALAPPDATA%' | tr -d '\r')")
profile="$appdata/Mozilla/Firefox/Profiles/webrtc.default"
chrome="$localdata/Google/Chrome/User Data"
# The Linux Firefox leaves a link ("lock") in the profile that Wine cannot
# remove, which later tests would trip over.
rm -rf "$appdata/Mozilla" "$chrome"
e2e_on_exit 'rm -rf "$appdata/Mozilla" "$chrome"'
user_firefox_profile "$profile" "$work/home"
printf '%s\n' 'user_pref("media.peerconnection.ice.loopback", true);' \
  'user_pref("network.dns.localDomains", "wpad");' >>"$profile/prefs.js"
grep -qF '"network.proxy.allow_hijacking_localhost", true' "$profile/prefs.js" ||
  fail "the profile would not send the loopback page to squid"

# Chromium on a folder of profiles ("User Data"), saving the page it made.
# Its own services' names are never looked up (the page's and the proxy's
# addresses are literals, let through), so nothing it does leaves this
# machine by DNS; host candidates show the address itself, not an mDNS
# name Chromium would announce by multicast on the network.
# With trace_chromium=1 it runs under strace (traced).
chromium_visit() {  # USER_DATA NAME [FLAGS...]
  local data=$1 name=$2 run=()
  shift 2
  [ "${trace_chromium:-0}" = 0 ] || run=(traced "$name")
  "${run[@]}" timeout 60 chromium --headless=new --no-sandbox --disable-gpu --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --host-resolver-rules='MAP * ~NOTFOUND, EXCLUDE 127.0.0.*' \
    --disable-features=WebRtcHideLocalIpsWithMdns \
    --user-data-dir="$data" "$@" --dump-dom "$(page "$name")" >"$out/chromium-$name.html" 2>"$out/chromium-$name.log" || true
}

echo "-- before START: Firefox and Chromium tell the page the machine's address"
count=$(stun_requests)
firefox_visit "$profile" "$(page firefox-before)" firefox-before
expect_leak firefox-before "$count" "the check could tell nothing"
# This run makes the user's Chrome profile, Preferences and all.
count=$(stun_requests)
chromium_visit "$chrome" chromium-before
expect_leak chromium-before "$count" "the check could tell nothing"
[ -f "$chrome/Default/Preferences" ] && [ -f "$chrome/Local State" ] || fail "Chromium made no profile"
# A second profile, which no browser opens until STOP.
cp -r "$chrome/Default" "$chrome/Profile 1"
cp "$chrome/Default/Preferences" "$work/default.before"
cp "$chrome/Profile 1/Preferences" "$work/profile1.before"
# Key paths of a Preferences file, one a line.
pref_paths() {
  python3 -c 'import json, sys
def walk(node, path):
    for key, value in node.items():
        print(path + key)
        if isinstance(value, dict): walk(value, path + key + ".")
walk(json.load(open(sys.argv[1])), "")' "$1" | sort
}
pref_paths "$work/default.before" | grep -q '^webrtc\.ip_handling_policy$' &&
  fail "Chromium's own profile already keeps WebRTC to the proxy: the check could tell nothing"

new_app_folder WebRtcTest
printf '[Options]\r\nStartUp=0\r\nFirefox=1\r\nProxyType=2\r\n[Service]\r\n%s' "$SERVICE_INI" >"$app/options.ini"
start_app_in "$app"

echo "-- START: squid in Windows, in the Firefox profile and in both Chrome profiles"
click_in_window "$window" 224 258
notice=$(wait_for_window '^Proxy changed$')
[ -n "$notice" ] || fail "no restart notice after START"
[ "$(proxy_server)" = "$squid" ] || fail "the notice came before the system proxy: $(proxy_server)"
xdotool key --window "$notice" Return
wait_until_gone '^Proxy changed$' || fail "the notice did not close"
cat "$profile/user.js"
cp "$chrome/Default/Preferences" "$out/chrome-default-preferences-started.json"
cp "$chrome/Profile 1/Preferences" "$out/chrome-profile1-preferences-started.json"
for p in Default "Profile 1"; do
  echo "$p: $(comm -13 <(pref_paths "$work/default.before") <(pref_paths "$chrome/$p/Preferences") | tr '\n' ' ')"
done

echo "-- Firefox on the profile the program wrote: nothing but squid"
count=$(stun_requests)
squidLines=$(wc -l <"$squid_log")
traced firefox-started timeout 60 firefox-esr --headless --no-remote --profile "$profile" \
  --screenshot "$out/firefox-started.png" "$(page firefox-started)" >"$out/firefox-firefox-started.log" 2>&1 || true
expect_no_leak firefox-started "$count" "$squidLines"
expect_all_through_squid firefox-started

echo "-- Chromium with the system proxy, on the profiles the program changed: nothing but squid"
# Chrome takes the proxy from the Windows settings; the Linux build is given
# the same value. Chromium never sends loopback pages to a proxy unless told
# (<-loopback>): here the page is one, as a web site would be anywhere else.
count=$(stun_requests)
squidLines=$(wc -l <"$squid_log")
trace_chromium=1 chromium_visit "$chrome" chromium-started \
  --proxy-server="$(proxy_server)" --proxy-bypass-list='<-loopback>'
expect_no_leak chromium-started "$count" "$squidLines"
expect_all_through_squid chromium-started

echo "-- STOP: the user's own settings come back"
grep -qF '"media.peerconnection.ice.proxy_only_if_behind_proxy", true' "$profile/prefs.js" ||
  fail "Firefox did not save the program's WebRTC setting: the check after STOP could tell nothing"
click_in_window "$window" 224 258
wait_for_proxy_server 10.9.8.7:3128 10 || fail "STOP left the proxy $(proxy_server)"
# Firefox shows the profile's own value in prefs.js once it has run.
firefox_visit "$profile" "$(page firefox-stopped)" firefox-stopped
grep -qF '"media.peerconnection.ice.proxy_only_if_behind_proxy", true' "$profile/prefs.js" &&
  fail "Firefox still keeps WebRTC to a proxy after STOP: $(grep -F proxy_only "$profile/prefs.js" "$profile/user.js")"
# What START added to the Chrome profiles' Preferences, none of which the
# user had: none of it stays.
added=$(comm -13 <(pref_paths "$work/default.before") <(pref_paths "$out/chrome-default-preferences-started.json"))
[ -n "$added" ] || fail "START changed nothing in Chrome's Preferences"
left=$(comm -12 <(echo "$added") <(pref_paths "$chrome/Default/Preferences"))
[ -z "$left" ] || fail "Chrome's Preferences after STOP still hold: $left"
cmp -s "$out/chrome-profile1-preferences-started.json" "$work/profile1.before" &&
  fail "START left the second Chrome profile as it was: its check below could tell nothing"
cmp "$chrome/Profile 1/Preferences" "$work/profile1.before" ||
  fail "the Chrome profile no browser opened is not the user's own again"
count=$(stun_requests)
chromium_visit "$chrome" chromium-stopped
expect_leak chromium-stopped "$count" "the profile's own WebRTC setting is not back"

tray_menu 1 || fail "no tray icon"
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "cloakwise.exe is still running after Close"
echo "PASS: e2e WebRTC tells a page nothing around the proxy, in real Firefox and Chromium"
