# Shared by the demo and the end-to-end tests: a virtual X display for Wine
# and a wait for a window to appear on it. Source it; it defines functions.

# Starts Xvfb on a free display, exports DISPLAY and stops it on exit.
start_xvfb() {
  local log="$1" n
  for n in $(seq 90 190); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
  done
  # Room for the main window at twice its size, as at a scale of 200 %.
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >"$log" 2>&1 &
  XVFB_PID=$!
  trap 'kill $XVFB_PID 2>/dev/null || true' EXIT
  export DISPLAY=":$n"
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  xsetroot -solid '#5a6e82'  # so a black window stands out in a screenshot
}

# Uses the display already given when it answers, else starts Xvfb. Wine
# binds a prefix's desktop to the display of the first program that needs
# it, so choose the display before the prefix is first used.
ensure_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  start_xvfb "$1"
}

# Prints the id of the first visible window whose name matches, waiting up
# to about 30 seconds; prints nothing when none appears.
wait_for_window() {
  local pattern="$1" window=""
  for _ in $(seq 150); do
    window=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | head -n1 || true)
    [ -n "$window" ] && break
    sleep 0.2
  done
  echo "$window"
}

# Prints the id of Wine's notification area window, where tray icons live.
tray_window() {
  xdotool search --onlyvisible --name '^Wine System Tray$' 2>/dev/null | head -n1 || true
}

# Clicks with the given button (1 left, 3 right) at a point of a window.
click_in_window() {
  local window="$1" x="$2" y="$3" button="${4:-1}"
  xdotool mousemove --window "$window" "$x" "$y" sleep 0.2 click "$button"
}

# Waits until no visible window matches; fails after about 10 seconds.
wait_until_gone() {
  for _ in $(seq 50); do
    [ -z "$(xdotool search --onlyvisible --name "$1" 2>/dev/null)" ] && return 0
    sleep 0.2
  done
  return 1
}

# Opens the main menu from the tray icon and chooses the item that lies $1
# places above its bottom ("Close" is 1): the menu opens with nothing
# selected, and Up starts from its last item. Fails without a tray icon.
# With a second argument, pictures the screen with the item highlighted.
tray_menu() {
  local tray menu="" candidate height before
  tray=$(tray_window)
  [ -n "$tray" ] || return 1
  # Keys go to the menu only once it is there: a new window of the program's
  # own (balloons and the icon's tooltip belong to Wine's explorer.exe, and a
  # balloon may pop up just now) that is taller than a tooltip. A balloon
  # lying over the icon takes the click instead, so click again when no menu
  # came; a loaded machine may take a while to show it.
  for _ in 1 2 3; do
    before=$(xdotool search --onlyvisible --classname '^cloakwise\.exe$' 2>/dev/null | sort)
    click_in_window "$tray" 10 10 3
    for _ in $(seq 30); do
      for candidate in $(comm -13 <(echo "$before") \
          <(xdotool search --onlyvisible --classname '^cloakwise\.exe$' 2>/dev/null | sort)); do
        height=$(xdotool getwindowgeometry "$candidate" 2>/dev/null | awk -F'x' '/Geometry/ { print $2 }')
        if [ "${height:-0}" -ge 60 ]; then
          menu=$candidate
          break
        fi
      done
      [ -n "$menu" ] && break
      sleep 0.1
    done
    [ -n "$menu" ] && break
  done
  [ -n "$menu" ] || return 1
  sleep 0.2
  for _ in $(seq "$1"); do xdotool key Up; sleep 0.1; done
  if [ -n "${2:-}" ]; then sleep 0.3; import -window root "$2"; echo "screenshot: $2"; fi
  xdotool key Return
  sleep 0.5
}

# The Internet settings' proxy as the prefix's registry holds it now; empty
# when the value is missing.
internet_settings='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
proxy_server() {
  wine reg query "$internet_settings" /v ProxyServer 2>/dev/null | tr -d '\r' |
    awk '$1 == "ProxyServer" { print $3 }'
}

# Waits up to $2 seconds (default 30) until the registry's proxy is $1.
wait_for_proxy_server() {
  local want="$1" tries=$((${2:-30} * 4))
  for _ in $(seq "$tries"); do
    [ "$(proxy_server)" = "$want" ] && return 0
    sleep 0.25
  done
  return 1
}

# Presses OK on every message box titled $1 that appears within $2 seconds
# (default 10) and stops once $3 (a command) succeeds; fails if it never does.
dismiss_boxes_until() {
  local title="$1" seconds="${2:-10}" done_cmd="$3" box
  for _ in $(seq $((seconds * 5))); do
    eval "$done_cmd" && return 0
    box=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n1 || true)
    if [ -n "$box" ]; then
      sleep 0.3
      xdotool key --window "$box" Return 2>/dev/null || true  # it may close between search and key
    fi
    sleep 0.2
  done
  eval "$done_cmd"
}
