# Shared by the demo and the end-to-end tests: a virtual X display for Wine
# and a wait for a window to appear on it. Source it; it defines functions.

# Starts Xvfb on a free display, exports DISPLAY and stops it on exit.
start_xvfb() {
  local log="$1" n
  for n in $(seq 90 190); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
  done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset >"$log" 2>&1 &
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
