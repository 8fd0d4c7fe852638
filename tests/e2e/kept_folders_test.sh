#!/usr/bin/env bash
# The start-up clean-up of temporary files under Wine, with TEMP and TMP
# naming the user's own folders in the ways a mistake or a hostile
# environment does: a link to the profile, the documents, the folder of all
# users, the program's own folder; then a Chrome profile with folders linked
# out of it. Nothing of the user's may go.
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/e2e.sh"
e2e_start "$1" "$2"

env_key='HKCU\Environment'
unix_path() { winepath -u "$(wine cmd /c "echo %$1%" | tr -d '\r')"; }
profile=$(unix_path USERPROFILE)
documents="$profile/Documents"
app="$WINEPREFIX/drive_c/KeptFoldersTest"
link="$WINEPREFIX/drive_c/ProfileLink"

# The prefix's own values come back, whatever happens here.
saved_env=$(mktemp)
for name in TEMP TMP; do
  value=$(wine reg query "$env_key" /v "$name" 2>/dev/null | tr -d '\r' | awk -v n="$name" '$1 == n { sub(/^.*REG_[A-Z_]+ +/, ""); print }')
  echo "$name=$value" >>"$saved_env"
done
e2e_on_exit 'while IFS="=" read -r name value; do
  if [ -n "$value" ]; then wine reg add "$env_key" /v "$name" /t REG_EXPAND_SZ /d "$value" /f >/dev/null
  else wine reg delete "$env_key" /v "$name" /f >/dev/null 2>&1; fi
done <"$saved_env"'
e2e_on_exit 'rm -f "$saved_env" "$link"; rm -rf "$app" "$documents/Work" "$profile/canary.txt"'

rm -rf "$link" "$app"
ln -s "$profile" "$link"
mkdir -p "$app" "$documents/Work"
cp "$exe" "$app/cloakwise.exe"
echo "keep me" >"$documents/Work/report.txt"
echo "keep me" >"$profile/canary.txt"

for temp in 'C:\ProfileLink' 'C:\users' "$(winepath -w "$documents")" 'C:\KeptFoldersTest' '.'; do
  echo "-- TEMP=$temp"
  {
    printf '[Options]\r\nStartUp=0\r\nPC-clean=1\r\n'
    for i in $(seq 15); do printf 'opt%d=%d\r\n' "$i" $((i == 7)); done
    printf '[Proxy list]\r\n1=127.0.0.9:8080\r\n'
  } >"$app/options.ini"
  for name in TEMP TMP; do wine reg add "$env_key" /v "$name" /t REG_EXPAND_SZ /d "$temp" /f >/dev/null; done
  (cd "$app" && exec wine cloakwise.exe) >"$out/cloakwise.log" 2>&1 &
  app_pid=$!
  window=$(wait_for_window '^Cloakwise$')
  [ -n "$window" ] || fail "the main window did not appear"
  sleep 2  # the run is over before the window shows; let any straggler end
  for f in "$documents/Work/report.txt" "$profile/canary.txt"; do
    [ "$(cat "$f" 2>/dev/null)" = "keep me" ] || fail "gone or changed: $f"
  done
  [ -f "$app/cloakwise.exe" ] || fail "the program itself is gone"
  grep -q '^1=127.0.0.9:8080' "$app/options.ini" || fail "options.ini lost the proxy list"
  [ -L "$link" ] || fail "the link to the profile is gone"
  shot_name=$(echo "$temp" | tr -c 'A-Za-z0-9\n' '_')
  click_in_window "$window" 237 383  # the Hide Privacy tab, where the last line is
  sleep 0.5
  shot "$window" "privacy-$shot_name"
  tray_menu 1 || fail "no tray icon"
  for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$app_pid" 2>/dev/null && fail "cloakwise.exe is still running after Close"
  app_pid=""
done
# A Chrome profile whose cookies' folder is a link to the documents (a sync
# tool, or planted): what is there is the user's and stays. Its cache linked
# to a folder on another disk, as people move caches, is the browser's and
# is emptied.
echo "-- a Chrome profile with its Network folder linked to the documents"
chrome="$(unix_path LOCALAPPDATA)/Google/Chrome/User Data/Default"
movedCache="$WINEPREFIX/drive_c/CacheDisk/Chrome"
e2e_on_exit 'rm -rf "$(dirname "$(dirname "$chrome")")" "$WINEPREFIX/drive_c/CacheDisk"'
mkdir -p "$chrome" "$movedCache"
echo "keep me" >"$documents/Work/Cookies"
echo "cookie" >"$chrome/Cookies"
echo "cached" >"$movedCache/f_000001"
ln -s "$documents/Work" "$chrome/Network"
ln -s "$movedCache" "$chrome/Cache"
for name in TEMP TMP; do wine reg add "$env_key" /v "$name" /t REG_EXPAND_SZ /d '%USERPROFILE%\Temp' /f >/dev/null; done
{
  printf '[Options]\r\nStartUp=0\r\nPC-clean=1\r\n'
  for i in $(seq 15); do printf 'opt%d=%d\r\n' "$i" $((i == 13 || i == 14)); done
} >"$app/options.ini"
(cd "$app" && exec wine cloakwise.exe) >"$out/cloakwise.log" 2>&1 &
app_pid=$!
window=$(wait_for_window '^Cloakwise$')
[ -n "$window" ] || fail "the main window did not appear"
sleep 2
[ "$(cat "$documents/Work/Cookies" 2>/dev/null)" = "keep me" ] || fail "the document behind the linked Network folder is gone"
[ ! -e "$chrome/Cookies" ] || fail "the profile's own cookies stayed"
[ ! -e "$movedCache/f_000001" ] || fail "the cache moved to another disk was not emptied"
[ -L "$chrome/Network" ] && [ -L "$chrome/Cache" ] || fail "a link of the profile is gone"
click_in_window "$window" 237 383
sleep 0.5
shot "$window" privacy-network-link
tray_menu 1 || fail "no tray icon"
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "cloakwise.exe is still running after Close"
app_pid=""
echo "PASS: e2e the clean-up keeps the user's own folders whole"
