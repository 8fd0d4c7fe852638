# The proxy world's processes: each one started, tracked, given a free port,
# waited for, and ended with the files it wrote. Sourced by proxy_world.sh
# and world_pieces.sh; defines functions and starts nothing by itself.
#
# Clean-up on exit. The first start_* call chains stop_proxy_world in front
# of whatever EXIT, INT and TERM traps are set then (the caller's EXIT trap
# still sees the script's exit status in $?); on INT and TERM without a trap
# of the caller's it then exits 130 / 143. A trap set afterwards with
# plain `trap ... EXIT` replaces the chain: set yours first, or set
# PROXY_WORLD_TRAP=0 before starting and call stop_proxy_world in your own.
# On a failing exit the tails of the world's logs go to stderr first.
# PROXY_WORLD_KEEP=1 keeps the files; PROXY_WORLD_MAX_SECONDS (default 3600)
# ends every process of the world by itself, should no trap ever run.

if [ -z "${_PW_LOADED:-}" ]; then
  _PW_LOADED=1
  _PW_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  _PW_TEMPLATES=$_PW_ROOT/tests/search/real_proxies
  _PW_PIDS=()      # everything to end, wrappers and what they run
  _PW_FILES=()     # everything to remove
  _PW_LOGS=()      # what to show when the caller fails
  _PW_RESERVED=()  # ports picked for a process that may not listen yet
  _PW_ARMED=""
  _PW_OLD_EXIT="" _PW_OLD_INT="" _PW_OLD_TERM=""
  _PW_MADE_DIR=""
fi

_pw_max_seconds() { echo "${PROXY_WORLD_MAX_SECONDS:-3600}"; }

# True while the process runs; a child that ended but is not yet reaped
# counts as ended.
_pw_alive() {
  local stat
  read -r stat 2>/dev/null <"/proc/$1/stat" || return 1
  stat=${stat##*) }
  [ "${stat%% *}" != Z ]
}

# Starts a command in the background with its output in LOG; it runs in this
# shell, so the world can end it, and its PID is the last of _PW_PIDS.
_pw_spawn() {
  local log=$1
  shift
  "$@" </dev/null >"$log" 2>&1 &
  _PW_PIDS+=("$!")
  _PW_FILES+=("$log")
  _PW_LOGS+=("$log")
  _pw_arm_traps
}

# Waits up to 10 s for a non-empty FILE, giving up early when PID has ended.
_pw_wait_file() {
  local i
  for ((i = 0; i < 100; i++)); do
    [ -s "$1" ] && return 0
    _pw_alive "$2" || break
    sleep 0.1
  done
  [ -s "$1" ] && return 0
  echo "proxy world: $1 did not appear" >&2
  return 1
}

# On any address: one listening on 0.0.0.0 would answer on every loopback
# address as well.
_pw_port_used() { [ -n "$(ss -Htan "sport = :$1")" ]; }

# Prints a free port below the kernel's range for port 0 and outgoing
# connections, so only another program choosing its own port can take it
# before it is bound; a start that loses such a race is retried. The caller
# reserves it (_pw_reserve), so the next pick is another.
_pw_free_port() {
  local low=20000 high i p used
  read -r high _ </proc/sys/net/ipv4/ip_local_port_range
  high=$((high - 1))
  [ "$high" -gt $((low + 1000)) ] || low=1024
  for ((i = 0; i < 100; i++)); do
    p=$((low + (RANDOM * 32768 + RANDOM) % (high - low)))
    used=""
    for used in "${_PW_RESERVED[@]}" ""; do [ "$used" = "$p" ] && break; done
    if [ "$used" != "$p" ] && ! _pw_port_used "$p"; then
      echo "$p"
      return 0
    fi
  done
  echo "proxy world: no free port" >&2
  return 1
}

_pw_reserve() { _PW_RESERVED+=("$1"); }

# Prints a privileged loopback port nothing listens on, other than those
# given.
_pw_dead_port() {
  local p taken
  for ((p = 1; p < 1024; p++)); do
    for taken in "$@" ""; do [ "$taken" = "$p" ] && break; done
    [ "$taken" = "$p" ] && continue
    if ! _pw_port_used "$p"; then
      echo "$p"
      return 0
    fi
  done
  echo "proxy world: no unused port below 1024" >&2
  return 1
}

# Waits up to 10 s until ADDR:PORT (ADDR 127.0.0.1 unless given) listens in
# PID or a child of it (the proxies run under timeout) and tracks that process
# too. Fails early when PID ends or another program has taken the port.
_pw_wait_own_listener() {
  local port=$1 pid=$2 address=${3:-127.0.0.1} i users holder stat
  for ((i = 0; i < 100; i++)); do
    users=$(ss -Htlnp "src $address and sport = :$port" | grep -o 'pid=[0-9]*' || true)
    for holder in ${users//pid=/}; do
      read -r stat 2>/dev/null <"/proc/$holder/stat" || continue
      read -r -a stat <<<"${stat##*) }"
      if [ "$holder" = "$pid" ] || [ "${stat[1]}" = "$pid" ]; then
        [ "$holder" = "$pid" ] || _PW_PIDS+=("$holder")
        return 0
      fi
    done
    [ -z "$users" ] || return 1
    _pw_alive "$pid" || return 1
    sleep 0.1
  done
  return 1
}

# Ends the given processes: TERM, up to 5 s to go, then KILL; reaps them.
_pw_end_pids() {
  local pid i left
  [ $# -gt 0 ] || return 0
  for pid; do kill -TERM "$pid" 2>/dev/null || true; done
  for ((i = 0; i < 50; i++)); do
    left=""
    for pid; do if _pw_alive "$pid"; then left=1; fi; done
    [ -n "$left" ] || break
    sleep 0.1
  done
  for pid; do if _pw_alive "$pid"; then kill -KILL "$pid" 2>/dev/null || true; fi; done
  for pid; do wait "$pid" 2>/dev/null || true; done
}

# Prints the command of the trap now set for a signal.
_pw_trap_of() {
  eval "set -- $(trap -p "$1")"
  echo "${3:-}"
}

# The handlers run the caller's own trap commands after the world's clean-up,
# with $? still the status the script is leaving with. Under `set -e` a trap
# command list stops at its first failing command, so a status cannot just be
# handed on through a "; " list.
_pw_arm_traps() {
  [ "${PROXY_WORLD_TRAP:-1}" != 0 ] && [ -z "$_PW_ARMED" ] || return 0
  _PW_ARMED=1
  _PW_OLD_EXIT=$(_pw_trap_of EXIT)
  _PW_OLD_INT=$(_pw_trap_of INT)
  _PW_OLD_INT=${_PW_OLD_INT:-exit 130}
  _PW_OLD_TERM=$(_pw_trap_of TERM)
  _PW_OLD_TERM=${_PW_OLD_TERM:-exit 143}
  trap _pw_on_exit EXIT
  trap '_pw_on_signal "$_PW_OLD_INT"' INT
  trap '_pw_on_signal "$_PW_OLD_TERM"' TERM
}

_pw_status() { return "$1"; }

_pw_on_signal() {
  stop_proxy_world
  eval "$1"
}

_pw_show_logs() {
  local log shown=" "
  for log in "${_PW_LOGS[@]}"; do
    if [ ! -s "$log" ] || [[ $shown == *" $log "* ]]; then continue; fi
    shown+="$log "
    if [ -n "${PROXY_WORLD_DIR:-}" ]; then echo "--- ${log#"$PROXY_WORLD_DIR/"}"; else echo "--- $log"; fi >&2
    tail -n 20 "$log" >&2
  done
}

_pw_on_exit() {
  local rc=$?
  case $rc in 0 | 130 | 143) ;; *) _pw_show_logs ;; esac
  stop_proxy_world
  if [ "$rc" -eq 0 ]; then
    eval "$_PW_OLD_EXIT"
  else
    _pw_status "$rc" || eval "$_PW_OLD_EXIT"
  fi
}

stop_proxy_world() {
  local f
  _pw_end_pids "${_PW_PIDS[@]}"
  if [ "${PROXY_WORLD_KEEP:-0}" != 1 ]; then
    for f in "${_PW_FILES[@]}"; do rm -rf "$f"; done
    [ -z "$_PW_MADE_DIR" ] || rmdir "$_PW_MADE_DIR" 2>/dev/null || true
  fi
  _PW_PIDS=() _PW_FILES=() _PW_LOGS=() _PW_RESERVED=() _PW_MADE_DIR=""
  unset PROXY_WORLD_DIR PROXY_WORLD_NAME PROXY_WORLD_PIDS PROXY_WORLD_CANDIDATES
  unset SERVICE_PORT SERVICE_HOST TUNNEL_PORT SERVICE_INI JUDGE_URL
}
