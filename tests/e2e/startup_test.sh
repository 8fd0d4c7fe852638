#!/usr/bin/env bash
# cloakwise.exe under Wine and Xvfb, as a user meets it: it starts, shows its
# window, and when the session ends (log-off) it goes, leaving the user's own
# proxy settings in the real registry of the prefix as they were: it had
# installed nothing. It is installed in a folder whose name the 8-bit code
# page cannot spell, as a user's own folder may be. A record of saved
# settings planted beforehand, naming a value of its own and a ProxyEnable of
# one byte, writes nothing into the user's settings, and is gone.
set -euo pipefail
exe="$1"
out="$2"  # folder for the screenshot and logs
: "${WINEPREFIX:?}"
export WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$out"

fail() { echo "FAIL: $*"; exit 1; }
settings='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'

app="$WINEPREFIX/drive_c/Прога"
mkdir -p "$app"
rm -f "$app/options.ini"  # the one checked below is this start's own
cp "$exe" "$app/cloakwise.exe"
wine reg delete 'HKCU\Software\Cloakwise' /f >/dev/null 2>&1 || true  # as on a new machine
wine reg add "$settings" /v ProxyServer /t REG_SZ /d 5.6.7.8:3128 /f >/dev/null
wine reg add "$settings" /v ProxyEnable /t REG_DWORD /d 1 /f >/dev/null
wine reg delete "$settings" /v EvilValue /f >/dev/null 2>&1 || true

source "$(dirname "$0")/../../scripts/lib/desktop.sh"
ensure_display "$out/xvfb.log"
# After the display is chosen: regedit starts Wine's desktop, which stays on
# the display it found.
# The record is lines of text, which reg.exe cannot give a value: a .reg file
# (UTF-16, as regedit reads its text values) holds it as its bytes.
python3 - "$out/planted.reg" <<'PY'
import sys
record = ("Cloakwise saved Internet settings 1\nuser\nvalue :EvilValue 1 :planted\n"
          "value :ProxyEnable 4 :%01\nvalue :ProxyServer 1 :6.6.6.6:1\nend\n")
data = ",".join("%02x" % b for b in (record + "\0").encode("utf-16-le"))
text = ("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Cloakwise]\r\n"
        '"SavedInternetSettings"=hex(1):' + data + "\r\n")
with open(sys.argv[1], "wb") as f:
    f.write(b"\xff\xfe" + text.encode("utf-16-le"))
PY
wine regedit /S "$(winepath -w "$out/planted.reg")" >/dev/null 2>&1
wine reg query 'HKCU\Software\Cloakwise' /v SavedInternetSettings 2>/dev/null | grep -q 'settings 1' ||
  fail "the record was not planted"

(cd "$app" && exec wine cloakwise.exe) >"$out/cloakwise.log" 2>&1 &
app_pid=$!

window=$(wait_for_window '^Cloakwise$')
[ -n "$window" ] || fail "no visible window named Cloakwise"
sleep 1
geometry=$(xdotool getwindowgeometry "$window")
echo "$geometry" | grep -q "Geometry: 448x397" || fail "window geometry: $geometry"
[ -f "$app/options.ini" ] || fail "no options.ini beside the program in $app"
import -window root "$out/startup.png"
echo "screenshot: $out/startup.png"

# End the Windows session as a log-off does: the program gets
# WM_QUERYENDSESSION and must agree, putting back whatever it installed. Its start-up
# entry goes first: the next Wine command begins a new session, which would
# start the program again, holding this script's output open.
wine reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v Cloakwise /f >/dev/null 2>&1 || true
wineboot -e >/dev/null 2>&1 || true
for _ in $(seq 100); do kill -0 $app_pid 2>/dev/null || break; sleep 0.1; done
kill -0 $app_pid 2>/dev/null && fail "cloakwise.exe still running after the session ended"

server=$(wine reg query "$settings" /v ProxyServer 2>>"$out/wine.log" | tr -d '\r')
enable=$(wine reg query "$settings" /v ProxyEnable 2>>"$out/wine.log" | tr -d '\r')
echo "$server" | grep -Eq 'ProxyServer +REG_SZ +5.6.7.8:3128$' || fail "ProxyServer after log-off: $server"
echo "$enable" | grep -Eq 'ProxyEnable +REG_DWORD +0x1$' || fail "ProxyEnable after log-off: $enable"
wine reg query "$settings" /v EvilValue >/dev/null 2>&1 && fail "a value the program never saves was written"
wine reg query 'HKCU\Software\Cloakwise' /v SavedInternetSettings >/dev/null 2>&1 &&
  fail "the planted record is still there"
echo "PASS: e2e startup and log-off"
