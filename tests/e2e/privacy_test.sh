#!/usr/bin/env bash
# The privacy clean-up under Wine and Xvfb, started by a real click on APPLY:
# real files in the prefix's temporary, cookie, history and recent folders;
# a Firefox profile and two Chrome profiles that real Firefox ESR and real
# Chromium made by visiting a loopback page that sets a cookie; typed
# addresses in the registry, text on the clipboard; links out of the
# temporary folder and out of a cache, whose targets must survive; the
# privacy view's two pages pictured before, during and after the run.
# Afterwards Chromium opens the cleaned profile again and is asked which
# cookie it still sends.
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/e2e.sh"
e2e_start "$1" "$2"

unix_path() { winepath -u "$(wine cmd /c "echo %$1%" | tr -d '\r')"; }

outside=$(mktemp -d /tmp/cloakwise-e2e-outside.XXXXXX)
trash=$(mktemp -d /tmp/cloakwise-e2e-trash.XXXXXX)
e2e_on_exit 'rm -rf "$outside" "$trash"'
echo "keep me" >"$outside/canary.txt"

temp=$(unix_path TEMP)
appdata=$(unix_path APPDATA)
localdata=$(unix_path LOCALAPPDATA)
cookies="$localdata/Microsoft/Windows/INetCookies"
history="$localdata/Microsoft/Windows/History"
recent="$appdata/Microsoft/Windows/Recent"
profile="$appdata/Mozilla/Firefox/Profiles/privacy.default"
chrome="$localdata/Google/Chrome/User Data"
firefoxCache="$localdata/Mozilla/Firefox/Profiles/privacy.default/cache2"
# An earlier run's, in a prefix kept; and this run's, when it ends: the
# Linux Firefox leaves a link ("lock") in the profile that Wine cannot remove
# and the later tests would trip over.
rm -rf "$profile" "$chrome" "$(dirname "$firefoxCache")"
e2e_on_exit 'rm -rf "$profile" "$chrome" "$(dirname "$firefoxCache")"'
mkdir -p "$temp/sub/deeper" "$temp/plain/inner" "$temp/bulk" "$cookies" "$history/day" "$recent" "$profile"
echo x >"$temp/a.tmp"
echo x >"$temp/.dotfile"
echo x >"$temp/sub/deeper/b.tmp"
echo x >"$temp/plain/inner/.c.tmp"  # left by the walk, removed with its folder
# Enough files that the run is still going when the picture is taken.
(cd "$temp/bulk" && seq -f 'f%g.tmp' 1 1500 | xargs touch)
# A tree 600 folders deep, a file every 200 levels: its paths run to some
# 1300 characters, far past the 260 of a short Windows path. (Wine hands
# each path to Linux whole, so each call costs as much as the path is deep:
# deeper trees take minutes here.)
mkdir -p "$temp/deep"
(cd "$temp/deep" && for level in $(seq 600); do
  mkdir d && cd d
  [ $((level % 200)) -ne 0 ] || echo x >"level-$level.tmp"
done)
ln -sfn "$outside" "$temp/link-out"
ln -sfn "$outside" "$temp/sub/link-in-sub"
ln -sfn "$outside/canary.txt" "$temp/file-link.tmp"
echo x >"$cookies/user@site.txt"
echo x >"$cookies/index.dat"
echo x >"$history/day/visit.dat"
echo x >"$recent/report.doc.lnk"
for f in cookies.sqlite-wal formhistory.sqlite history.dat logins.json; do
  echo data >"$profile/$f"
done

echo "-- real browsers visit a page that leaves a cookie and a cached copy"
work=$(mktemp -d /tmp/cloakwise-e2e-browsers.XXXXXX)
e2e_on_exit 'rm -rf "$work"'
port=$((29000 + RANDOM % 1000))
start_plain_origin 127.0.0.7 "$port" "$work/origin.log" 600
site="http://127.0.0.7:$port"
# Chromium on a folder of profiles ("User Data"), printing the page it made.
chromium_page() {
  timeout 60 chromium --headless=new --no-sandbox --disable-gpu --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$1" --dump-dom "$2" 2>>"$out/chromium.log"
}
# The cookies a Chromium profile still sends to the site, as the page saw them.
cookies_sent() { chromium_page "$1" "$site/echo" | grep -o "seen:[^;<']*;" || true; }
chromium_page "$work/chromium" "$site/trace/page" >/dev/null
[ "$(cookies_sent "$work/chromium")" = "seen:visit=yes;" ] ||
  fail "Chromium kept no cookie of the site: the check after the clean-up could tell nothing"
mkdir -p "$chrome"
cp -r "$work/chromium/Default" "$chrome/Default"
cp -r "$work/chromium/Default" "$chrome/Profile 1"
cp "$work/chromium/Local State" "$chrome/"
printf '{"roots":{"bookmark_bar":{"children":[{"name":"kept","type":"url","url":"%s/kept"}],"name":"Bookmarks bar","type":"folder"},"other":{"children":[],"name":"Other","type":"folder"}},"version":1}\n' \
  "$site" >"$chrome/Default/Bookmarks"
ln -sfn "$outside" "$chrome/Default/Cache/Cache_Data/link-out"
for f in History Cookies Cache/Cache_Data Sessions; do
  [ -e "$chrome/Default/$f" ] || fail "Chromium made no $f: the check after the clean-up could tell nothing"
done

cp "$root/tests/e2e/tools/quiet-firefox-prefs.js" "$profile/prefs.js"
mkdir -p "$work/home"
HOME="$work/home" timeout 90 firefox-esr --headless --no-remote --profile "$profile" \
  --screenshot "$work/firefox.png" "$site/trace/page" >"$out/firefox.log" 2>&1 ||
  fail "Firefox did not picture the page: $(tail -3 "$out/firefox.log")"
# Windows' Firefox keeps the cache apart from the profile.
mkdir -p "$(dirname "$firefoxCache")"
mv "$profile/cache2" "$firefoxCache" || fail "Firefox cached nothing"
[ -n "$(find "$firefoxCache" -type f)" ] || fail "Firefox cached nothing"
cp "$profile/places.sqlite" "$work/places.before"
typed='HKCU\Software\Microsoft\Internet Explorer\TypedURLs'
wine reg add "$typed" /v url1 /t REG_SZ /d 'http://a.example/' /f >/dev/null
wine reg add "$typed" /v url2 /t REG_SZ /d 'http://b.example/' /f >/dev/null
printf 'secret text' | xclip -selection clipboard

new_app_folder PrivacyTest
printf '[Options]\r\nStartUp=0\r\n' >"$app/options.ini"

# Wine's Recycle Bin is the desktop's trash: keep it in this run's folder.
export XDG_DATA_HOME="$trash"
(cd "$app" && exec wine cloakwise.exe) >"$out/cloakwise.log" 2>&1 &
app_pid=$!
window=$(wait_for_window '^Cloakwise$')
[ -n "$window" ] || fail "the main window did not appear"
sleep 1
click_in_window "$window" 237 383  # the Hide Privacy tab
sleep 0.5
shot "$window" privacy-before
click_in_window "$window" 328 57  # the page of Firefox, Chrome and Edge
sleep 0.5
shot "$window" privacy-browsers

status_text() {
  import -window "$window" "$out/status.png"
  convert "$out/status.png" -crop 310x72+16+262 +repage -colorspace Gray -negate -resize 400% \
    -threshold 55% "$out/status-ocr.png"
  tesseract "$out/status-ocr.png" - --psm 6 2>/dev/null | tr '\n' ' '
}

echo "-- APPLY, confirmed"
click_in_window "$window" 378 317
box=$(wait_for_window '^PC Privacy$')
[ -n "$box" ] || fail "no confirmation before the run"
shot "$box" privacy-confirmation
xdotool key --window "$box" Return
# The status line names each task as the run reaches it.
during=""
for _ in $(seq 20); do
  during=$(status_text)
  case "$during" in *Deleting* | *Clearing* | *Empty*) break ;; esac
  sleep 0.2
done
cp "$out/status.png" "$out/privacy-during.png"
echo "screenshot: $out/privacy-during.png ($during)"
for _ in $(seq 60); do
  case "$(status_text)" in *"Cleaning finished"*) break ;; esac
  sleep 1
done
# Wine has no SQLite of Windows' own (winsqlite3.dll), so Firefox's history
# stays, and the last line must say so instead of "protected".
[[ "$(status_text)" == *"Cleaning finished, but Firefox"*"history stayed"*"no SQLite"* ]] ||
  fail "the run did not tell what stayed: $(status_text)"
shot "$window" privacy-after

echo "-- what is gone and what stays"
# First what lies behind the links: nothing of it may have been touched.
[ "$(cat "$outside/canary.txt" 2>/dev/null)" = "keep me" ] || fail "the file behind the links is gone"
[ "$(ls -A "$outside")" = "canary.txt" ] || fail "the folder behind the links changed: $(ls -A "$outside")"
# The links themselves may go; Wine 8 can remove neither kind, so here they
# may stay, as links.
for f in "$temp/link-out" "$temp/file-link.tmp"; do
  [ ! -e "$f" ] || [ -L "$f" ] || fail "a link became something else: $f"
done
# A folder that still holds a link is not handed to the shell's delete,
# which would follow it: "sub" stays, emptied, where its link cannot go.
gone=("$temp/a.tmp" "$temp/bulk" "$temp/plain" "$temp/deep" "$temp/sub/deeper/b.tmp"
  "$cookies/user@site.txt" "$history/day/visit.dat" "$recent/report.doc.lnk"
  "$profile/cookies.sqlite" "$profile/cookies.sqlite-wal" "$profile/formhistory.sqlite" "$profile/history.dat"
  "$chrome/Default/History" "$chrome/Default/Cookies" "$chrome/Profile 1/History"
  "$chrome/Profile 1/Cookies" "$chrome/Profile 1/Visited Links")
[ -z "$(find "$firefoxCache" "$chrome/Default/Cache" "$chrome/Profile 1/Cache" "$chrome/Default/Sessions" \
  -type f)" ] || fail "files stayed in a cache or the sessions: $(find "$firefoxCache" "$chrome" -path "*Cache*" -type f -o -path "*Sessions*" -type f | head -3)"
for f in "${gone[@]}"; do
  [ ! -e "$f" ] && [ ! -L "$f" ] || fail "still there: $f"
done
kept=("$temp" "$temp/.dotfile" "$cookies/index.dat" "$history/day" "$profile/places.sqlite"
  "$profile/logins.json" "$chrome/Local State" "$chrome/Default/Preferences" "$chrome/Default/Login Data")
for f in "${kept[@]}"; do
  [ -e "$f" ] || fail "deleted, but must stay: $f"
done
cmp -s "$profile/places.sqlite" "$work/places.before" || fail "Firefox's history changed, yet the line says it stayed"
grep -q "$site/kept" "$chrome/Default/Bookmarks" || fail "the Chrome bookmarks are gone"
# Chromium itself, on the profile as the clean-up left it: no cookie of the
# site to send, and no memory of the page visited.
[ "$(cookies_sent "$chrome")" = "seen:;" ] || fail "Chromium still sends $(cookies_sent "$chrome")"
visited=$(python3 -c 'import sqlite3, sys
print(sqlite3.connect(sys.argv[1]).execute("SELECT count(*) FROM urls WHERE url LIKE ?", ("%/trace/%",)).fetchone()[0])' \
  "$chrome/Default/History") || fail "Chromium made no history database again"
[ "$visited" = 0 ] || fail "Chromium still remembers the page visited"
wine reg query "$typed" >"$out/typed.txt" 2>&1 || fail "the typed-URL key is gone: $(cat "$out/typed.txt")"
grep -q 'url[12]' "$out/typed.txt" && fail "typed URLs are left: $(tr -d '\r' <"$out/typed.txt")"
# The shell moved the emptied folders to the Recycle Bin. Wine 8 does not
# empty it (its SHEmptyRecycleBin does nothing), so that is not checked here.
[ -e "$trash/Trash/files/plain" ] || fail "the shell's delete did not use the Recycle Bin"
# The deep tree's files were deleted by the walk, past 260 characters too;
# only its emptied folders may have gone to the Recycle Bin.
[ -z "$(find "$trash" -name 'level-*.tmp' | head -1)" ] || fail "files deep in the tree stayed, in the Recycle Bin"
clip=$(timeout 5 xclip -o -selection clipboard 2>/dev/null || true)
[ -z "$clip" ] || fail "the clipboard still holds '$clip'"

tray_menu 1 || fail "no tray icon"
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "cloakwise.exe is still running after Close"
echo "PASS: e2e privacy clean-up against real folders, links, registry and clipboard"
