#!/usr/bin/env bash
# The proxy in use, judged by real clients: cloakwise.exe under Wine and Xvfb
# installs squid (the world's elite candidate) and real Firefox ESR, started
# headless on the very profile the program wrote, sends its HTTP and HTTPS
# requests through it (squid's log, and the web server seeing them come from
# squid's address only). STOP, Close and the next start after a killed run
# each leave the user's own settings as they were before START: the stored
# values and the LAN settings as WinInet reads them, and the profile's own
# Firefox setting, which Firefox shows in prefs.js once it has run. Close
# from the tray while the restart notice waits for OK leaves no proxy.
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/e2e.sh"
e2e_start "$1" "$2"
# A proxy of the host's own would stand in for the prefix's settings.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
inet_settings="$(dirname "$exe")/inet_settings.exe"
[ -x "$inet_settings" ] || fail "no $inet_settings"

start_squid_world inuse

# A web server on 127.0.0.2, plain and TLS: squid reaches it from 127.0.0.5.
httpPort=$((28000 + RANDOM % 1000))
httpsPort=$((httpPort + 1000))
openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=127.0.0.2 -days 1 \
  -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1
python3 "$root/tests/e2e/tools/origin.py" 127.0.0.2 "$httpPort" "$httpsPort" \
  "$work/cert.pem" "$work/key.pem" "$work/origin.log" 600 >"$out/origin.log" 2>&1 &
origin_pid=$!
e2e_on_exit 'kill $origin_pid 2>/dev/null'
for _ in $(seq 50); do grep -q ready "$work/origin.log" 2>/dev/null && break; sleep 0.1; done
grep -q ready "$work/origin.log" || fail "the web server did not start"

# The user's own settings: a proxy of theirs switched off, with a bypass list.
for value in AutoConfigURL ProxyOverride; do wine reg delete "$internet_settings" /v $value /f >/dev/null 2>&1 || true; done
wine reg add "$internet_settings" /v ProxyServer /t REG_SZ /d 10.9.8.7:3128 /f >/dev/null
wine reg add "$internet_settings" /v ProxyEnable /t REG_DWORD /d 0 /f >/dev/null
wine reg add "$internet_settings" /v ProxyOverride /t REG_SZ /d '<local>;*.corp' /f >/dev/null
user_settings() {
  local value
  for value in ProxyServer ProxyEnable ProxyOverride AutoConfigURL; do
    wine reg query "$internet_settings" /v $value 2>/dev/null | tr -d '\r' | grep -E "^ +$value " || echo "$value -"
  done
  wine "$inet_settings" | tr -d '\r'
}
before=$(user_settings)
echo "$before"

# Firefox, set by the user to detect the network's proxy by itself.
appdata=$(winepath -u "$(wine cmd /c 'echo %APPDATA%' | tr -d '\r')")
profile="$appdata/Mozilla/Firefox/Profiles/e2e.default"
rm -rf "$appdata/Mozilla"
user_firefox_profile "$profile" "$work/home"
visit() { firefox_visit "$profile" "$1" "$2"; }  # URL NAME

new_app_folder InUseTest
printf '[Options]\r\nStartUp=0\r\nFirefox=1\r\nProxyType=2\r\n[Service]\r\n%s' "$SERVICE_INI" >"$app/options.ini"
start_app() { start_app_in "$app"; }
ended() {
  for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || return 0; sleep 0.1; done
  return 1
}
# START, and the restart notice: it comes once both browsers use squid.
start_and_wait_for_notice() {
  click_in_window "$window" 224 258
  notice=$(wait_for_window '^Proxy changed$')
  [ -n "$notice" ] || fail "no restart notice after START"
  [ "$(proxy_server)" = "$squid" ] || fail "the notice came before the system proxy: $(proxy_server)"
  grep -qF "user_pref(\"network.proxy.ssl\", \"${squid%:*}\");" "$profile/user.js" ||
    fail "the notice came before Firefox's proxy: $(cat "$profile/user.js")"
}

echo "-- START: squid is installed in Windows and in the Firefox profile"
start_app
start_and_wait_for_notice
shot root notice
xdotool key --window "$notice" Return
wait_until_gone '^Proxy changed$' || fail "the notice did not close"
tail -n +1 "$profile/user.js"

echo "-- real Firefox goes through squid for HTTP and HTTPS alike"
: >"$work/origin.log"
squidLines=$(wc -l <"$squid_log")
visit "http://127.0.0.2:$httpPort/plain" firefox-http
visit "https://127.0.0.2:$httpsPort/secure" firefox-https
tail -n +$((squidLines + 1)) "$squid_log" | tee "$out/squid-during.log"
grep -q "GET http://127.0.0.2:$httpPort/plain" "$out/squid-during.log" || fail "Firefox's HTTP did not go through squid"
grep -q "CONNECT 127.0.0.2:$httpsPort" "$out/squid-during.log" || fail "Firefox's HTTPS did not go through squid"
cat "$work/origin.log"
grep -q . "$work/origin.log" || fail "the web server saw nothing"
grep -v ' 127\.0\.0\.5' "$work/origin.log" && fail "Firefox reached the web server directly"

echo "-- STOP: the user's own settings, and Firefox's own, come back"
click_in_window "$window" 224 258
wait_for_proxy_server 10.9.8.7:3128 10 || fail "STOP left the proxy $(proxy_server)"
after=$(user_settings)
[ "$after" = "$before" ] || fail "after STOP: $after"
grep -qF 'user_pref("network.proxy.type", 4);' "$profile/user.js" || fail "user.js after STOP: $(cat "$profile/user.js")"
: >"$work/origin.log"
visit "http://127.0.0.2:$httpPort/after-stop" firefox-after-stop
grep -qF 'user_pref("network.proxy.type", 4);' "$profile/prefs.js" ||
  fail "Firefox does not have its own setting back: $(grep network.proxy "$profile/prefs.js")"
grep -q '^http 127\.0\.0\.1 GET /after-stop' "$work/origin.log" || fail "Firefox did not go direct after STOP"

echo "-- START, then Close from the tray while the restart notice is open"
start_and_wait_for_notice
tray_menu 1 || fail "no tray icon"
ended || fail "cloakwise.exe is still running after Close"
after=$(user_settings)
[ "$after" = "$before" ] || fail "after Close during the notice: $after"

echo "-- once Firefox has run, the next start lets go of the lines it no longer needs"
visit "http://127.0.0.2:$httpPort/after-close" firefox-after-close
start_app
[ "$(od -c "$profile/user.js")" = "$own_user_js" ] || fail "user.js is not the user's own again: $(cat -A "$profile/user.js")"

echo "-- a run killed with the proxy in use: the next start puts the user's settings back"
start_and_wait_for_notice
xdotool key --window "$notice" Return
wait_until_gone '^Proxy changed$' || true
wine taskkill /F /IM cloakwise.exe >/dev/null 2>&1 || true
ended || fail "cloakwise.exe was not killed"
[ "$(proxy_server)" = "$squid" ] || fail "the killed run had no proxy in place: $(proxy_server)"
start_app
after=$(user_settings)
[ "$after" = "$before" ] || fail "after the start that followed the killed run: $after"
grep -qF 'is in use' "$profile/user.js" && fail "the killed run's Firefox proxy is still in use"
shot "$window" after-killed-run
tray_menu 1 || fail "no tray icon"
ended || fail "cloakwise.exe is still running after Close"
wine reg query 'HKCU\Software\Cloakwise' >/dev/null 2>&1 && fail "the program left a key of its own"
echo "PASS: e2e the proxy in use, judged by real Firefox, WinInet and squid"
