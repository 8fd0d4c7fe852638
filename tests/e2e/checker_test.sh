#!/usr/bin/env bash
# The Proxy Checker under Wine and Xvfb, driven by real clicks and keys,
# against squid and tinyproxy in all three set-ups and test proxies that are
# slow, answer garbage, close, never answer in time, carry no tunnel (elite
# over HTTP, "HTTP only" for HTTPS) or are not there at all:
# the stored list, the paste window (a row of a site's table, an http://
# line, and a box telling what was left out), Check List pressed twice, the
# result read off the screen and checked row by row against what the world
# is and against cloakwise-check on the same list, the copy by type, "Use
# this proxy" on a row that is no proxy and on the fastest one, Close during
# a check ending at once, and a list of about 300 that is mostly silent
# checked in seconds while the grid takes keys.
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/e2e.sh"
e2e_start "$1" "$2"

world="dead-1 test-anonymous-2800 squid-elite test-elite-12000 test-elite-noconnect test-elite-garbage"
world+=" test-elite-1200 squid-transparent tinyproxy-anonymous test-elite-close squid-anonymous tinyproxy-elite"
start_world checker "$world"

# What each row must show once checked, from what each candidate is: the real
# proxies answer at once, the test proxies after their delay (the probe gives
# up at 10 s), one that carries no tunnel is "HTTP only", the faulty and the
# dead ones and the rows that are no proxy never work.
declare -A expected
stored=() pasted=()
for c in "${PROXY_WORLD_CANDIDATES[@]}"; do
  read -r name address kind mode _ delay tunnels <<<"$c"
  row="Unknown Not working Unknown"
  if [ "$kind" != dead ] && [[ $name != *-garbage && $name != *-close ]] && [ "$delay" -lt 10000 ]; then
    status=OK
    [ "$tunnels" = yes ] || status="HTTP only"
    row="${mode^} $status $(((delay + 500) / 1000)) Sec."
  fi
  expected[$address]="$address $row"
  case "$name" in squid-anonymous | tinyproxy-elite) pasted+=("$address") ;; *) stored+=("$address") ;; esac
done
stored=("${stored[@]:0:2}" 127.0.0.5 "${stored[@]:2}")  # a hand-edited row without a port
expected[127.0.0.5]="127.0.0.5 Unknown Not working Unknown"
# Ports no proxy has, kept from a list an older version let through: they
# stay listed, and never work. Pasted now, such lines are refused.
stored+=(127.0.0.6:80.5 127.0.0.7:1e3)
expected[127.0.0.6:80.5]="127.0.0.6:80.5 Unknown Not working Unknown"
expected[127.0.0.7:1e3]="127.0.0.7:1e3 Unknown Not working Unknown"
listed=("${stored[@]}" "${pasted[@]}")

new_app_folder CheckerTest
{
  printf '[Options]\r\nStartUp=0\r\nFirefox=0\r\n[Service]\r\n%s[Proxy list]\r\n' "$SERVICE_INI"
  for i in "${!stored[@]}"; do printf '%d=%s\r\n' $((i + 1)) "${stored[$i]}"; done
} >"$app/options.ini"
wine reg add "$internet_settings" /v ProxyServer /t REG_SZ /d : /f >/dev/null

# The grid as the user reads it: the picture of the window, read by OCR, one
# "proxy type status ping" line per row. The list has the grid's 15 rows.
kGridX=16 kGridY=70 kGridWidth=311
row_y() { echo $((kGridY + 1 + 16 + 16 * $1 + 8)); }
grid_shot() { import -window "$window" "$out/grid-now.png"; }
# The picture's grid read by OCR with one way of scaling it: $1 filter, $2
# size, $3 threshold.
grid_ocr() {
  convert "$out/grid-now.png" -crop "${kGridWidth}x258+$kGridX+$kGridY" +repage -colorspace Gray -negate \
    -filter "$1" -resize "$2%" -threshold "$3%" "$out/grid-ocr.png"
  tesseract "$out/grid-ocr.png" - --psm 6 2>/dev/null | sed -e '1d' -e '/^\s*$/d'
}
# The font is small enough that each way of scaling it misreads a row or
# other (a dot lost, an 8 read as 3), rarely the same one: a row counts as
# read when one of these ways reads it as expected.
kOcrWays=("Lanczos 400 55" "Lanczos 300 55" "Mitchell 500 65" "Lanczos 400 60" "Mitchell 400 55")
grid_text() { grid_shot && grid_ocr ${kOcrWays[0]}; }
# What of a grid line the OCR reads the same every time, for comparing: the
# font's dots are small enough that it loses or moves some of them in an
# address, and reads its 0 and O, 1 and l alike, so the address counts by
# its digits (no two addresses here share them; a 7 may read as ?); it
# reads stray marks
# between the columns, so only words with a letter or digit count. Only
# digits stand before "Sec.".
grid_key() {
  awk '{
    match($0, /^[0-9Ol?.: ]+/)
    address = substr($0, 1, RLENGTH)
    gsub(/[.: ]/, "", address); gsub(/O/, "0", address); gsub(/l/, "1", address); gsub(/\?/, "7", address)
    n = split(substr($0, RLENGTH + 1), words, " ")
    line = address
    for (i = 1; i <= n; i++) {
      if (words[i] !~ /[[:alnum:]]/) continue
      if (i < n && words[i + 1] == "Sec." && words[i] == "O") words[i] = "0"
      line = line " " words[i]
    }
    print line
  }' "$1"
}
# Whether every row of the key file $1 is read so by one of the key files
# after it that have as many rows.
rows_read() {
  awk 'FNR == 1 { file++ } file == 1 { want[FNR] = $0; rows = FNR; next }
       { got[file, FNR] = $0; count[file] = FNR }
       END {
         for (r = 1; r <= rows; r++) {
           read = 0
           for (f = 2; f <= file; f++) if (count[f] == rows && got[f, r] == want[r]) read = 1
           if (!read) exit 1
         }
       }' "$@"
}
# Looks at the grid up to $2 times, a second apart, until it reads as the
# file $1.
wait_for_grid() {
  grid_key "$1" >"$out/want-key.txt"
  for _ in $(seq "$2"); do
    grid_shot
    local keys=() i=0
    for way in "${kOcrWays[@]}"; do
      # shellcheck disable=SC2086  # the way is three words
      grid_ocr $way >"$out/grid-$i.txt"
      grid_key "$out/grid-$i.txt" >"$out/grid-$i.key"
      keys+=("$out/grid-$i.key")
      i=$((i + 1))
    done
    rows_read "$out/want-key.txt" "${keys[@]}" && return 0
    sleep 1
  done
  diff "$1" "$out/grid-0.txt" || true
  return 1
}

(cd "$app" && exec wine cloakwise.exe) >"$out/cloakwise.log" 2>&1 &
app_pid=$!
window=$(wait_for_window '^Cloakwise$')
[ -n "$window" ] || fail "the main window did not appear"
sleep 1

echo "-- the Checker view shows the stored list"
click_in_window "$window" 140 370
for p in "${stored[@]}"; do echo "$p Unknown Unknown Unknown"; done >"$out/want.txt"
wait_for_grid "$out/want.txt" 10 || fail "the stored list is not on the Checker view"
shot "$window" loaded

echo "-- Add Proxy: pasted as copied from a site's table and from a list of URLs, with a repeat and lines that are no proxy"
click_in_window "$window" 388 137
paste=$(wait_for_window '^Add Proxy List$')
[ -n "$paste" ] || fail "the paste window did not open"
sleep 0.5
printf '%s\t%s\tAT\tanonymous\t2 min ago\nhttp://%s\n%s\nnot a proxy\n127.0.0.8:80.5\n127.0.0.9:1e3 Elite\n' \
  "${pasted[0]%:*}" "${pasted[0]##*:}" "${pasted[1]}" "${stored[3]}" |
  xclip -selection clipboard  # serves the text until the program copies something of its own
sleep 0.5
xdotool key --window "$paste" ctrl+v
sleep 0.5
shot "$paste" paste-window
click_in_window "$paste" 144 350  # ADD
wait_until_gone '^Add Proxy List$' || fail "ADD did not close the paste window"
# Four lines were not taken: the repeat and the three that are no proxy.
box=$(wait_for_window '^Add Proxy$')
[ -n "$box" ] || fail "no box told what the paste left out"
shot "$box" paste-counted
xdotool key --window "$box" Return
wait_until_gone '^Add Proxy$' || fail "the box did not close"
for p in "${listed[@]}"; do echo "$p Unknown Unknown Unknown"; done >"$out/want.txt"
wait_for_grid "$out/want.txt" 10 || fail "the pasted proxies are not at the end of the list"
saved=$(tr -d '\r' <"$app/options.ini" | sed -n '/^\[Proxy list\]$/,/^\[/p' | grep -c '=') || true
[ "$saved" -eq ${#listed[@]} ] || fail "options.ini holds $saved proxies, not ${#listed[@]}"

echo "-- cloakwise-check on the same list, for the order"
cp "$app/options.ini" "$out/list.ini"
"$root/build/native/tools/check/cloakwise-check" --judge "$JUDGE_URL" \
  --tunnel "http://127.0.0.1:$TUNNEL_PORT/tunnel.php" --format csv "$out/list.ini" \
  >"$out/check.csv" 2>"$out/check.log" || fail "cloakwise-check failed: $(cat "$out/check.log")"
# proxy,type,status,ping with no comma in any of them here; the grid has no
# tunnel column
tail -n +2 "$out/check.csv" | tr -d '"\r' | cut -d, -f1-4 | tr ',' ' ' >"$out/checked.txt"
sort "$out/checked.txt" >"$out/got-rows.txt"
for p in "${listed[@]}"; do echo "${expected[$p]}"; done | sort >"$out/want-rows.txt"
diff "$out/want-rows.txt" "$out/got-rows.txt" || fail "cloakwise-check does not see the world as it is"
# "HTTP only" rows come after all others, by their own answer times.
awk '{ print (/ HTTP only / ? 100000 : 0) + ($(NF-1) ~ /^[0-9]+$/ ? $(NF-1) : 50) }' "$out/checked.txt" |
  sort -n -c || fail "cloakwise-check did not sort by answer time"
grep -q "^$(world_address test-elite-noconnect) Elite HTTP only " \
  "$out/checked.txt" || fail "the proxy without tunnels is not HTTP only"

echo "-- Check List, pressed again while the check runs"
click_in_window "$window" 388 85
sleep 1.5
click_in_window "$window" 388 85  # starts the check over; it must still end
sleep 1
grid_text >"$out/grid.txt"
grep -q 'Checking' "$out/grid.txt" || fail "no row shows Checking... during the check: $(cat "$out/grid.txt")"
shot "$window" checking
wait_for_grid "$out/checked.txt" 30 || fail "the checked grid differs from cloakwise-check"
shot "$window" checked

echo "-- Copy to clipboard, by type"
# Sets lastCopied to what the program put on the clipboard.
copy_by_type() {  # item of the submenu from its top (0..2), screenshot name
  # Reading the clipboard holds it for a moment: never while the program
  # copies, so the last copy read stands for what was there before.
  local before menu="" copied=""
  before=$(xdotool search --onlyvisible --name '' 2>/dev/null | sort)
  click_in_window "$window" 60 "$(row_y 4)" 3
  # Keys go to the menu only once it is there: a new, nameless window.
  for _ in $(seq 50); do
    menu=$(comm -13 <(echo "$before") <(xdotool search --onlyvisible --name '' 2>/dev/null | sort) | sed -n 1p)
    [ -n "$menu" ] && break
    sleep 0.1
  done
  [ -n "$menu" ] || fail "the list's menu did not open"
  sleep 0.3
  xdotool key Up  # from nothing selected to the last item, "Copy to clipboard"
  sleep 0.2
  xdotool key Right
  sleep 0.3
  for _ in $(seq "$1"); do xdotool key Down; sleep 0.1; done
  sleep 0.3
  [ -z "${2:-}" ] || shot root "$2" >&2
  xdotool key Return
  # Wine hands the clipboard to X a moment later; asking for it holds the
  # clipboard, so not before the program has surely copied.
  sleep 1
  for _ in $(seq 10); do
    copied=$(timeout 2 xclip -o -selection clipboard 2>/dev/null | tr -d '\r' || true)
    [ -n "$copied" ] && [ "$copied" != "$lastCopied" ] && break
    sleep 0.5
  done
  lastCopied=$copied
}
lastCopied=""
types=("Anonymous|Elite" "Anonymous" "Elite")
for item in 0 1 2; do
  copy_by_type "$item" "$([ $item -eq 2 ] && echo list-menu)"
  got=$lastCopied
  # Only proxies that carry the whole web are copied.
  want=$(awk -v t="^(${types[$item]})$" '$2 ~ t && $3 != "HTTP" { print $1 }' "$out/checked.txt")
  [ "$got" = "$want" ] || fail "copy item $item gave '$got', not '$want'"
done

echo "-- Use this proxy: refused on a row that is no proxy, then the fastest row"
bad=$(grep -n '^127.0.0.6:80.5 ' "$out/checked.txt" | cut -d: -f1)
xdotool mousemove --window "$window" 60 "$(row_y $((bad - 1)))" sleep 0.2 click --repeat 2 --delay 80 1
sleep 1
[ "$(proxy_server)" = ":" ] || fail "a row that is no proxy was installed: $(proxy_server)"
fastest=$(head -n1 "$out/checked.txt" | cut -d' ' -f1)
xdotool mousemove --window "$window" 60 "$(row_y 0)" sleep 0.2 click --repeat 2 --delay 80 1
wait_for_proxy_server "$fastest" 10 || fail "Use this proxy did not install $fastest: $(proxy_server)"
wine reg query "$internet_settings" /v ProxyEnable | tr -d '\r' | grep -q '0x1$' || fail "ProxyEnable is not 1"

echo "-- Close during a check ends within a second, and Wine's own ending"
click_in_window "$window" 388 85
sleep 1.5  # the probe of the proxy that never answers in time is under way
closed=$(date +%s%N)
tray_menu 1 || fail "no tray icon"
for _ in $(seq 150); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "cloakwise.exe is still running 15 s after Close"
took=$((($(date +%s%N) - closed) / 1000000))
echo "ended ${took} ms after Close"
[ "$took" -lt 5000 ] || fail "Close took $took ms"
[ "$(proxy_server)" = ":" ] || fail "Close left the proxy $(proxy_server)"
echo "-- a public list of about 300, two thirds silent: checked in seconds, the grid answering all along"
start_test_proxies "$root/build/native/tools/testproxy/cloakwise-testproxy" "$work/silent" \
  127.0.0.90 $(printf '0:elite:silent %.0s' $(seq 200)) >"$out/silent.log" 2>&1 ||
  fail "the silent proxies did not start: $(cat "$out/silent.log")"
big=()
for port in "${TEST_PROXY_PORTS[@]:0:100}"; do big+=("127.0.0.90:$port"); done
big+=("${listed[@]}")
for port in "${TEST_PROXY_PORTS[@]:100}"; do big+=("127.0.0.90:$port"); done
for port in $(seq 3000 3087); do big+=("127.0.0.91:$port"); done  # nothing listens there
{
  printf '[Options]\r\nStartUp=0\r\nFirefox=0\r\n[Service]\r\n%s[Proxy list]\r\n' "$SERVICE_INI"
  for i in "${!big[@]}"; do printf '%d=%s\r\n' $((i + 1)) "${big[$i]}"; done
} >"$app/options.ini"
cp "$app/options.ini" "$out/big.ini"
"$root/build/native/tools/check/cloakwise-check" --judge "$JUDGE_URL" \
  --tunnel "http://127.0.0.1:$TUNNEL_PORT/tunnel.php" --format csv "$out/big.ini" \
  >"$out/big.csv" 2>"$out/big-check.log" &
check_pid=$!
(cd "$app" && exec wine cloakwise.exe) >"$out/cloakwise-big.log" 2>&1 &
app_pid=$!
window=$(wait_for_window '^Cloakwise$')
[ -n "$window" ] || fail "the main window did not appear again"
sleep 1
click_in_window "$window" 140 370
# The two checks one after the other: neither slows the other's answers.
wait "$check_pid" || fail "cloakwise-check failed on the big list: $(cat "$out/big-check.log")"
# sed reads to the end: a head that stopped early would end the pipe's
# writer with SIGPIPE, and pipefail would end the test with it.
sed -n '2,16p' "$out/big.csv" | tr -d '"\r' | cut -d, -f1-4 | tr ',' ' ' >"$out/big-top.txt"
started=$(date +%s%N)
click_in_window "$window" 388 85  # Check List
sleep 2
# A list this long has a scroll bar beside the Ping column, which the OCR
# would read as a letter: the picture stops at the column's edge.
kGridWidth=297
# The grid takes keys while two hundred probes wait: End shows the last
# rows, the closed ports at the end of the list.
click_in_window "$window" 60 "$(row_y 1)"
xdotool key --window "$window" End
shown=""
for _ in $(seq 10); do
  grid_shot
  for way in "${kOcrWays[@]}"; do
    # shellcheck disable=SC2086  # the way is three words
    grid_ocr $way >"$out/grid-end.txt"
    grid_key "$out/grid-end.txt" | grep -q '^12700913' && shown=yes && break
  done
  [ -n "$shown" ] && break
  sleep 0.5
done
shot "$window" big-list-end
[ -n "$shown" ] || fail "End during the check did not show the last rows: $(cat "$out/grid-end.txt")"
xdotool key --window "$window" Home
# Done once the top row, a silent proxy while the check runs, is the sorted
# list's fastest.
took=""
for _ in $(seq 60); do
  grid_text >"$out/grid-big.txt"
  if ! grep -q 'Checking' "$out/grid-big.txt" && head -n1 "$out/grid-big.txt" | grep -q ' OK '; then
    took=$((($(date +%s%N) - started) / 1000000))
    break
  fi
  sleep 0.3
done
[ -n "$took" ] || fail "the big list's check did not end: $(cat "$out/grid-big.txt")"
echo "a list of ${#big[@]} checked in ${took} ms"
# Six at a time, the 200 silent ones alone took 200 / 6 time-outs of 10 s.
[ "$took" -lt 25000 ] || fail "the big list took $took ms"
wait_for_grid "$out/big-top.txt" 20 || fail "the big list's grid differs from cloakwise-check"
shot "$window" big-list-checked
tray_menu 1 || fail "no tray icon"
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "cloakwise.exe is still running after Close"
echo "PASS: e2e checker: paste, check, sort, copy, use and close against real proxies"
