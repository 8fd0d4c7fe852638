#!/usr/bin/env bash
# The installer and the uninstaller under Wine, in a copy of the run's
# prefix: a silent install for the current user, the installed program
# started from where it was installed and finding a proxy of the reference
# service, then a silent uninstall that ends the running program (whose own
# exit clears the proxy) and removes its files, its shortcut, its start-up
# entry and its compatibility flag, but keeps the user's options.ini; then
# a run killed with its proxy in use, and an uninstall that puts the user's
# own settings back although the program never starts again.
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/e2e.sh"
e2e_start "$1" "$2"

setup=$(ls "$root"/build/dist/cloakwise-*-setup.exe 2>/dev/null | head -n1 || true)
if [ -z "$setup" ] || [ "$setup" -ot "$exe" ]; then
  "$root/scripts/package" >"$out/package.log" 2>&1 || { cat "$out/package.log"; fail "scripts/package failed"; }
  setup=$(ls "$root"/build/dist/cloakwise-*-setup.exe | head -n1)
fi

# What the installer registers and removes is seen alone, and the other
# tests' prefix stays as it was; the copy gets a Wine server of its own.
prefix=$(mktemp -d /tmp/cloakwise-installer-wine.XXXXXX)
cp -a "$WINEPREFIX/." "$prefix/"
export WINEPREFIX="$prefix"
e2e_on_exit 'WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1; rm -rf "$prefix"'

start_world installer "test-elite test-anonymous test-transparent"
elite=$(world_address test-elite)
[ -n "$elite" ] || fail "the world lacks its elite proxy"

winvar() { wine cmd /c "echo %$1%" | tr -d '\r'; }
localAppData=$(winvar LOCALAPPDATA)
installWin="$localAppData\\Programs\\Cloakwise"
install=$(winepath -u "$installWin")
shortcut="$(winepath -u "$(winvar APPDATA)")/Microsoft/Windows/Start Menu/Programs/Cloakwise.lnk"
layers='HKCU\Software\Microsoft\Windows NT\CurrentVersion\AppCompatFlags\Layers'
run='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
uninstallKey='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Cloakwise'
has_value() { wine reg query "$1" /v "$2" >/dev/null 2>&1; }
has_key() { wine reg query "$1" >/dev/null 2>&1; }

echo "-- silent install for the current user"
timeout 60 wine "$(winepath -w "$setup")" /S >"$out/setup.log" 2>&1 || fail "the installer failed"
for f in cloakwise.exe readme.txt uninstall.exe; do [ -f "$install/$f" ] || fail "not installed: $f"; done
# What ships is the build without its debugging information (strip stamps
# the time into it): the installer installs the portable zip's copy.
shipped=$(mktemp /tmp/cloakwise-shipped.XXXXXX)
python3 -c 'import sys, zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read("cloakwise.exe"))' \
  "$(ls "$root"/build/dist/cloakwise-*-portable.zip | head -n1)" >"$shipped"
cmp -s "$install/cloakwise.exe" "$shipped" || fail "the installed cloakwise.exe is not the one shipped"
rm -f "$shipped"
[ -f "$shortcut" ] || fail "no Start-menu shortcut"
has_value "$uninstallKey" UninstallString || fail "no uninstall entry"

echo "-- the installed program finds the reference service's elite proxy"
# The user's own setting, which must be back once the program has gone.
wine reg add "$internet_settings" /v ProxyServer /t REG_SZ /d : /f >/dev/null
printf '[Options]\r\nStartUp=1\r\nProxyType=2\r\nFirefox=1\r\n[Service]\r\n%s' "$SERVICE_INI" >"$install/options.ini"
# A Firefox profile of the user's, which the program's proxy goes into.
profile="$(winepath -u "$(winvar APPDATA)")/Mozilla/Firefox/Profiles/e2e.default"
user_firefox_profile "$profile" "$prefix/home"
firefox_run() { firefox_visit "$profile" about:blank "$1"; }  # NAME

# Nothing of the program's is left in the profile, and Firefox, run on it,
# keeps the profile's own choice, auto-detection.
firefox_is_the_users() {
  [ "$(od -c "$profile/user.js")" = "$own_user_js" ] || fail "$1: user.js is not the user's own: $(cat -A "$profile/user.js")"
  firefox_run "$2"
  grep -qF 'user_pref("network.proxy.type", 4);' "$profile/prefs.js" || fail "$1: Firefox lost its own setting: $(grep network.proxy "$profile/prefs.js")"
  ! grep -qF "${elite%:*}" "$profile/prefs.js" || fail "$1: Firefox kept the program's proxy: $(grep network.proxy "$profile/prefs.js")"
}
start_and_protect() {
  (cd "$install" && exec wine "$installWin\\cloakwise.exe") >"$out/cloakwise.log" 2>&1 &
  app_pid=$!
  window=$(wait_for_window '^Cloakwise$')
  [ -n "$window" ] || fail "the installed program showed no window"
  sleep 1
  click_in_window "$window" 224 258  # START
  wait_for_proxy_server "$elite" 30 || fail "no proxy installed: registry $(proxy_server)"
  grep -qF 'is in use' "$profile/user.js" || fail "no proxy in Firefox: $(cat "$profile/user.js")"
}
start_and_protect
has_value "$run" Cloakwise || fail "the program wrote no Run value"
has_value "$layers" "$installWin\\cloakwise.exe" || fail "the program wrote no Layers value"

echo "-- /restore leaves a running copy's proxy to that copy"
set +e
timeout 30 wine "$installWin\\cloakwise.exe" /restore >"$out/restore-while-running.log" 2>&1
rc=$?
set -e
[ "$rc" = 2 ] || fail "/restore beside a running copy ended with $rc, not 2"
[ "$(proxy_server)" = "$elite" ] || fail "/restore took a running copy's proxy away: $(proxy_server)"

echo "-- silent uninstall while the program runs"
# The uninstaller hands over to a copy of itself in the temporary folder and
# returns; what it does shows in the files and the registry.
timeout 60 wine "$installWin\\uninstall.exe" /S >"$out/uninstall.log" 2>&1 || fail "the uninstaller failed"
for _ in $(seq 150); do
  [ ! -e "$install/uninstall.exe" ] && ! has_key "$uninstallKey" && break
  sleep 0.2
done
for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.2; done
kill -0 "$app_pid" 2>/dev/null && fail "the uninstaller left cloakwise.exe running"
app_pid=""
[ "$(proxy_server)" = ":" ] || fail "the proxy outlived the program: $(proxy_server)"
for f in cloakwise.exe readme.txt uninstall.exe; do [ ! -e "$install/$f" ] || fail "left behind: $f"; done
[ ! -e "$shortcut" ] || fail "the Start-menu shortcut is left"
[ -f "$install/options.ini" ] || fail "a silent uninstall removed options.ini"
grep -q "Host=$SERVICE_HOST" "$install/options.ini" || fail "options.ini was changed"
! has_value "$run" Cloakwise || fail "the Run value is left"
! has_value "$layers" "$installWin\\cloakwise.exe" || fail "the Layers value is left"
! has_key "$uninstallKey" || fail "the uninstall entry is left"
! has_key 'HKCU\Software\Cloakwise' || fail "the uninstall left the program's key"
firefox_is_the_users "after the uninstall" after-uninstall

echo "-- a run killed with its proxy in use, then a silent uninstall"
timeout 60 wine "$(winepath -w "$setup")" /S >"$out/setup-again.log" 2>&1 || fail "the second install failed"
start_and_protect
wine taskkill /F /IM cloakwise.exe >/dev/null 2>&1 || true
for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.2; done
kill -0 "$app_pid" 2>/dev/null && fail "cloakwise.exe was not killed"
app_pid=""
[ "$(proxy_server)" = "$elite" ] || fail "the killed run had no proxy in place: $(proxy_server)"
# Firefox runs with the proxy and saves it into prefs.js, as a user's would.
firefox_run killed-run
grep -qF "\"${elite%:*}\"" "$profile/prefs.js" || fail "Firefox did not save the program's proxy: $(grep network.proxy "$profile/prefs.js")"
timeout 60 wine "$installWin\\uninstall.exe" /S >"$out/uninstall-again.log" 2>&1 || fail "the uninstaller failed"
for _ in $(seq 150); do
  [ ! -e "$install/cloakwise.exe" ] && ! has_key "$uninstallKey" && break
  sleep 0.2
done
[ ! -e "$install/cloakwise.exe" ] || fail "the second uninstall left cloakwise.exe"
[ "$(proxy_server)" = ":" ] || fail "the killed run's proxy outlived the uninstall: $(proxy_server)"
! has_key 'HKCU\Software\Cloakwise' || fail "the uninstall left the program's key"
firefox_is_the_users "after the killed run's uninstall" after-second-uninstall
echo "PASS: e2e install, run and uninstall for the current user"
