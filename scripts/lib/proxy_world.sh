# A local "proxy world" for Cloakwise's main job: the list service with its
# judge on 127.0.0.1, and proxy candidates of every kind around it, each on a
# loopback address of its own (127.0.0.11, .12, ... in pool order). The
# program takes a winner on the host of the proxy it has installed for that
# same proxy and keeps it, so candidates sharing one host would never let
# "Change IP now" install another. Used by the demo, the end-to-end tests and
# tests/search/real_proxies. Source it; it defines functions and starts
# nothing by itself.
#
#   start_proxy_world DIR [BUILD_DIR] [WORLD]
#       Starts the world's candidates, writes DIR/pool.txt and DIR/world.txt
#       (each candidate's address, kind, expected digit, injected delay and
#       whether it tunnels, and the batches in the order the service hands
#       them out), then starts the service on that pool. Exports SERVICE_PORT,
#       SERVICE_HOST (what options.ini takes as [Service] Host=), TUNNEL_PORT
#       (its TunnelPort=), SERVICE_INI (both lines, CR LF ended), JUDGE_URL,
#       PROXY_WORLD_NAME, PROXY_WORLD_DIR, PROXY_WORLD_PIDS, and sets the array
#       PROXY_WORLD_CANDIDATES, one "NAME ADDRESS KIND MODE DIGIT DELAY_MS
#       TUNNEL" each (KIND dead, MODE, DIGIT and TUNNEL "-", for a port nothing
#       listens on; TUNNEL yes or no).
#       BUILD_DIR defaults to build/native; PROXY_WORLD_SERVICE_BIN and
#       PROXY_WORLD_TESTPROXY_BIN name the binaries instead. WORLD defaults
#       to $PROXY_WORLD, else "default".
#   stop_proxy_world
#       Ends every process this file started (TERM, up to 5 s, then KILL) and
#       removes the files it wrote, and DIR when it made it. Safe to call
#       again.
#   start_judge_service BIN POOL DIR PORT [TUNNEL_PORT]
#                                           sets SERVICE_PORT, SERVICE_HOST, TUNNEL_PORT,
#                                           SERVICE_INI, JUDGE_URL
#   start_squid MODE JUDGE_PORT DIR [ADDR]            sets PROXY_PORT
#   start_tinyproxy MODE JUDGE_PORT DIR [ADDR]        sets PROXY_PORT
#   start_test_proxies BIN DIR [ADDR] PORTS:MODE...   sets the array TEST_PROXY_PORTS
#       The pieces on their own, tracked and ended like the world's. MODE is
#       transparent, anonymous or elite; ADDR, where the proxy listens, is in
#       127.0.0.0/8 and defaults to 127.0.0.1. The real proxies let requests
#       from 127.0.0.1 through to 127.0.0.1:JUDGE_PORT only (Linux gives a
#       connection to any loopback address the source 127.0.0.1), and each
#       wants a DIR of its own, made here and removed by stop_proxy_world, in
#       a folder that their own users (they drop root) may pass through. The
#       test proxies' DIR is made here too when missing; one call is one
#       process, on one address. The real proxies let tunnels (CONNECT)
#       through to 127.0.0.1:$TUNNEL_PORT, unless MODE ends in -noconnect:
#       squid then denies every CONNECT and tinyproxy lacks the port's
#       ConnectPort, as proxies for plain HTTP only are set up.
#
# Worlds. The service hands out the pool three candidates at a time, in turn,
# and starts over at the end (a pool of 8 gives 8 different batches):
#   default       test-elite-noconnect test-elite-40 test-anonymous-10 |
#                 test-transparent tinyproxy-anonymous dead-1 |
#                 test-elite-150 squid-transparent squid-elite, then over.
#                 Every batch mixed: the fastest elite carries no HTTPS beside
#                 a slower one that does, no elite at all beside a dead one,
#                 real squids beside a slow test proxy.
#   elite-choice  squid-transparent tinyproxy-anonymous squid-elite, every batch.
#   all-dead      dead-1 dead-2 dead-3 | test-elite-40 test-anonymous-10
#                 test-transparent, batches alternating.
#   Any WORLD with a blank in it is taken as a list of candidate names.
# Candidates: test-MODE[-DELAY] are cloakwise-testproxy processes, one each (DELAY
# is the delay it injects, in ms), and test-MODE-FAULT ones that refuse,
# close, answer garbage or a wrong digit (FAULT refuse, close, garbage,
# wrongdigit), or answer GET but refuse tunnels, accept them and drop them,
# or accept them and carry nothing (noconnect, connectdrop, connectstall);
# squid-MODE[-noconnect] and tinyproxy-MODE[-noconnect] are those programs
# with the set-ups the judge tests use; dead-N is a loopback port below 1024
# that nothing listens on, so nobody else can take it meanwhile. Every one,
# dead or alive, has its own address; a world holds at most 200 candidates.
#
# Clean-up on exit. The first start_* call chains stop_proxy_world in front
# of whatever EXIT, INT and TERM traps are set then (the caller's EXIT trap
# still sees the script's exit status in $?); on INT and TERM without a trap
# of the caller's it then exits 130 / 143. A trap set afterwards with
# plain `trap ... EXIT` replaces the chain: set yours first, or set
# PROXY_WORLD_TRAP=0 before starting and call stop_proxy_world in your own.
# On a failing exit the tails of the world's logs go to stderr first.
# PROXY_WORLD_ORIGIN=ADDR lets the squids through to ADDR (any port) as
# well, from 127.0.0.5, for a browser test's own web server there.
# PROXY_WORLD_KEEP=1 keeps the files; PROXY_WORLD_MAX_SECONDS (default 3600)
# ends every process of the world by itself, should no trap ever run.
#
#   source scripts/lib/proxy_world.sh
#   start_proxy_world build/world build/native elite-choice
#   printf '[Service]\nHost=%s\n' "$SERVICE_HOST" >options.ini

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

start_judge_service() {
  local bin=$1 pool=$2 dir=$3 port=$4 tunnel=${5:-0} word
  rm -f "$dir/service.port"
  _PW_FILES+=("$dir/service.port" "$dir/service.log")
  _PW_LOGS+=("$dir/service.log")
  _pw_spawn "$dir/service-console.log" "$bin" --pool "$pool" --port "$port" \
    --tunnel-port "$tunnel" --port-file "$dir/service.port" --log "$dir/service.log" \
    --max-seconds "$(_pw_max_seconds)"
  _pw_wait_file "$dir/service.port" "${_PW_PIDS[-1]}" || return 1
  { read -r SERVICE_PORT _ && read -r word TUNNEL_PORT; } <"$dir/service.port"
  export SERVICE_PORT SERVICE_HOST="127.0.0.1:$SERVICE_PORT" TUNNEL_PORT
  export SERVICE_INI=$'Host='"$SERVICE_HOST"$'\r\nTunnelPort='"$TUNNEL_PORT"$'\r\n'
  export JUDGE_URL="http://$SERVICE_HOST/feedback.php"
}

# True for a dotted IPv4 address in 127.0.0.0/8.
_pw_loopback_address() {
  [[ $1 =~ ^127\.[0-9]{1,3}\.[0-9]{1,3}\.[0-9]{1,3}$ ]]
}

start_test_proxies() {
  local bin=$1 dir=$2 address=127.0.0.1 port _
  shift 2
  # A plan always holds a ":" and an option starts with "-"; an address does
  # neither, so it can be left out.
  if [ $# -gt 0 ] && [[ $1 != *:* && $1 != -* ]]; then
    address=$1
    shift
  fi
  if ! _pw_loopback_address "$address"; then
    echo "proxy world: $address is not a loopback address" >&2
    return 2
  fi
  if [ ! -d "$dir" ]; then
    mkdir -p "$dir" || return 1
    _PW_FILES+=("$dir")
  fi
  rm -f "$dir/testproxy.port"
  _PW_FILES+=("$dir/testproxy.port" "$dir/testproxy.log")
  _PW_LOGS+=("$dir/testproxy.log")
  _pw_spawn "$dir/testproxy-console.log" "$bin" --bind "$address" \
    --port-file "$dir/testproxy.port" --log "$dir/testproxy.log" \
    --max-seconds "$(_pw_max_seconds)" "$@"
  _pw_wait_file "$dir/testproxy.port" "${_PW_PIDS[-1]}" || return 1
  TEST_PROXY_PORTS=()
  while read -r port _; do TEST_PROXY_PORTS+=("$port"); done <"$dir/testproxy.port"
}

start_squid() { _pw_start_real squid "$@"; }
start_tinyproxy() { _pw_start_real tinyproxy "$@"; }

# The judge tests' templates, with the additions that make each set-up.
_pw_write_conf() {  # KIND MODE PORT DIR JUDGE_PORT ADDR
  local kind=$1 mode=${2%-noconnect} port=$3 dir=$4 judge=$5 address=$6 conf=$4/$1.conf
  sed -e "s|@ADDR@|$address|g" -e "s|@PORT@|$port|g" -e "s|@DIR@|$dir|g" \
    -e "s|@JUDGE_PORT@|$judge|g" -e "s|@TUNNEL_PORT@|${TUNNEL_PORT:-443}|g" \
    "$_PW_TEMPLATES/$kind.conf.in" >"$conf"
  if [ "$mode" != "$2" ]; then
    case "$kind" in
      squid) sed -i 's|^# @NOCONNECT@$|http_access deny CONNECT|' "$conf" ;;
      tinyproxy) sed -i "/^ConnectPort ${TUNNEL_PORT:-443}\$/d" "$conf" ;;
    esac
  fi
  # A web server of a test's own, for a browser to reach through the proxy;
  # what squid sends it leaves from 127.0.0.5, so the server tells requests
  # through the proxy from direct ones.
  if [ "$kind" = squid ] && [ -n "${PROXY_WORLD_ORIGIN:-}" ]; then
    _pw_loopback_address "$PROXY_WORLD_ORIGIN" || { echo "proxy world: bad origin" >&2; return 2; }
    sed -i "s|^# @ORIGIN@\$|acl origin dst $PROXY_WORLD_ORIGIN/32\nhttp_access allow tests origin\ntcp_outgoing_address 127.0.0.5 origin|" "$conf"
  fi
  case "$kind:$mode" in
    squid:*) echo "127.0.0.1 localhost" >"$dir/hosts" ;;&
    squid:transparent) ;;  # squid's defaults: X-Forwarded-For with the client, and Via
    squid:anonymous) echo "forwarded_for delete" >>"$conf" ;;
    squid:elite) printf '%s\n' "forwarded_for delete" "via off" \
      "request_header_access Cache-Control deny all" >>"$conf" ;;
    tinyproxy:*) echo '^127\.0\.0\.1$' >"$dir/filter" ;;&
    tinyproxy:transparent) echo "XTinyproxy Yes" >>"$conf" ;;
    tinyproxy:anonymous) ;;  # tinyproxy's defaults: Via only
    tinyproxy:elite) echo "DisableViaHeader Yes" >>"$conf" ;;
  esac
}

# squid and tinyproxy started as root drop it for their own users, which must
# then pass through every folder above their own.
_pw_open_to_proxies() {
  local d
  [ "$(id -u)" -eq 0 ] || return 0
  d=$(cd "$1" && pwd) || return 1
  while [ "$d" != / ]; do
    if [ -z "$(find "$d" -maxdepth 0 -perm -o=x)" ]; then
      echo "proxy world: squid and tinyproxy cannot pass through $d (chmod o+x it)" >&2
      return 1
    fi
    d=$(dirname "$d")
  done
}

_pw_start_real() {
  local kind=$1 mode=$2 judge=$3 dir=$4 address=${5:-127.0.0.1} attempt conf port pid
  case "${mode%-noconnect}" in transparent | anonymous | elite) ;; *)
    echo "proxy world: unknown set-up $mode" >&2
    return 2
    ;;
  esac
  if ! _pw_loopback_address "$address"; then
    echo "proxy world: $address is not a loopback address" >&2
    return 2
  fi
  _pw_open_to_proxies "$(dirname "$dir")" || return 1
  if [ -n "$(ls -A "$dir" 2>/dev/null)" ]; then
    echo "proxy world: $dir is not empty; give each proxy a folder of its own" >&2
    return 1
  fi
  mkdir -p "$dir" || return 1
  _PW_FILES+=("$dir")
  # The proxies drop root for their own users and must still write here.
  chmod 777 "$dir"
  _PW_LOGS+=("$dir/cache.log" "$dir/tinyproxy.log")
  conf=$dir/$kind.conf
  for attempt in 1 2 3; do
    port=$(_pw_free_port) || return 1
    _pw_reserve "$port"
    _pw_write_conf "$kind" "$mode" "$port" "$dir" "$judge" "$address"
    case "$kind" in
      squid)
        if ! squid -k parse -f "$conf" >"$dir/parse.log" 2>&1; then
          cat "$dir/parse.log" >&2
          return 1
        fi
        _pw_spawn "$dir/console.log" timeout -k 5 "$(_pw_max_seconds)" squid -N -f "$conf"
        ;;
      tinyproxy)
        _pw_spawn "$dir/console.log" timeout -k 5 "$(_pw_max_seconds)" tinyproxy -d -c "$conf"
        ;;
    esac
    pid=${_PW_PIDS[-1]}
    if _pw_wait_own_listener "$port" "$pid" "$address"; then
      PROXY_PORT=$port
      return 0
    fi
    echo "proxy world: $kind did not listen on $address:$port (attempt $attempt)" >&2
    _pw_end_pids "$pid"
  done
  return 1
}

# Prints KIND MODE DELAY FAULT for a candidate's name: DELAY in ms, 0 for
# none, and FAULT - for none.
_pw_candidate() {
  local kind mode delay=0 fault=-
  case "$1" in
    test-transparent | test-anonymous | test-elite) kind=testproxy mode=${1#test-} ;;
    # test-MODE-DELAY: a test proxy that waits DELAY ms before it answers.
    test-transparent-[0-9]* | test-anonymous-[0-9]* | test-elite-[0-9]*)
      kind=testproxy mode=${1#test-} mode=${mode%-*} delay=${1##*-}
      case "$delay" in *[!0-9]* | ??????*) echo "proxy world: bad delay in $1" >&2; return 1 ;; esac
      ;;
    # test-MODE-FAULT: a test proxy that misbehaves in the way named.
    test-*-refuse | test-*-close | test-*-garbage | test-*-wrongdigit | test-*-noconnect | \
      test-*-connectdrop | test-*-connectstall)
      kind=testproxy mode=${1#test-} mode=${mode%-*} fault=${1##*-}
      case "$mode" in transparent | anonymous | elite) ;; *)
        echo "proxy world: unknown candidate $1" >&2
        return 1
        ;;
      esac
      ;;
    squid-transparent | squid-anonymous | squid-elite | squid-*-noconnect)
      kind=squid mode=${1#squid-} ;;
    tinyproxy-transparent | tinyproxy-anonymous | tinyproxy-elite | tinyproxy-*-noconnect)
      kind=tinyproxy mode=${1#tinyproxy-} ;;
    dead-[1-9]) kind=dead mode=- ;;
    *)
      echo "proxy world: unknown candidate $1" >&2
      return 1
      ;;
  esac
  echo "$kind $mode $delay $fault"
}

_pw_world() {
  case "$1" in
    default) echo test-elite-noconnect test-elite-40 test-anonymous-10 test-transparent \
      tinyproxy-anonymous dead-1 test-elite-150 squid-transparent squid-elite ;;
    elite-choice) echo squid-transparent tinyproxy-anonymous squid-elite ;;
    all-dead) echo dead-1 dead-2 dead-3 test-elite-40 test-anonymous-10 test-transparent ;;
    *" "*) echo "$1" ;;
    *)
      echo "proxy world: unknown world $1 (default, elite-choice, all-dead)" >&2
      return 1
      ;;
  esac
}

_pw_digit() {
  case "${1%-noconnect}" in transparent) echo 0 ;; anonymous) echo 1 ;; elite) echo 2 ;; *) echo - ;; esac
}

# Whether the candidate carries tunnels: KIND MODE FAULT.
_pw_tunnels() {
  case "$1:$2:$3" in
    dead:*) echo - ;;
    *-noconnect:* | testproxy:*:noconnect | testproxy:*:connectdrop | testproxy:*:connectstall) echo no ;;
    *) echo yes ;;
  esac
}

# The loopback address of the candidate at INDEX (from 0) in the pool. The
# service and judge keep 127.0.0.1, and .2 to .10 stay free for other uses.
_pw_candidate_host() { echo "127.0.0.$((11 + $1))"; }

_pw_start_world_once() {  # DIR WORLD NAME...
  local dir=$1 world=$2 name servicePort index=0 host folder address dead=() plan line i n cycle
  local kind mode delay fault port
  shift 2
  local pool=("$@")
  # The service's ports first: the real proxies let requests through to them
  # only.
  servicePort=$(_pw_free_port) || return 1
  _pw_reserve "$servicePort"
  TUNNEL_PORT=$(_pw_free_port) || return 1
  _pw_reserve "$TUNNEL_PORT"
  PROXY_WORLD_CANDIDATES=()
  _PW_FILES+=("$dir/pool.txt" "$dir/world.txt")
  : >"$dir/pool.txt"
  for name; do
    read -r kind mode delay fault <<<"$(_pw_candidate "$name")"
    host=$(_pw_candidate_host "$index")
    # A name a world repeats gets a folder per place.
    folder=$dir/$name
    [ ! -e "$folder" ] || folder=$dir/$name.$((index + 1))
    index=$((index + 1))
    case "$kind" in
      testproxy)
        plan=0:$mode
        [ "$delay" -eq 0 ] || plan+=:delay=$delay
        [ "$fault" = - ] || plan+=:$fault
        start_test_proxies "$PROXY_WORLD_TESTPROXY_BIN" "$folder" "$host" "$plan" || return 1
        address=$host:${TEST_PROXY_PORTS[0]}
        ;;
      squid | tinyproxy)
        "start_$kind" "$mode" "$servicePort" "$folder" "$host" || return 1
        address=$host:$PROXY_PORT
        ;;
      dead)
        port=$(_pw_dead_port "${dead[@]}") || return 1
        dead+=("$port")
        address=$host:$port
        ;;
    esac
    PROXY_WORLD_CANDIDATES+=("$name $address $kind $mode $(_pw_digit "$mode") $delay $(_pw_tunnels "$kind" "$mode" "$fault")")
    echo "$address $name" >>"$dir/pool.txt"
  done
  start_judge_service "$PROXY_WORLD_SERVICE_BIN" "$dir/pool.txt" "$dir" "$servicePort" "$TUNNEL_PORT" ||
    return 1

  {
    echo "# Cloakwise proxy world \"$world\", started $(date '+%F %T')"
    echo "# service and judge: $SERVICE_HOST, tunnel port $TUNNEL_PORT"
    echo "#   (options.ini: [Service] Host=$SERVICE_HOST and TunnelPort=$TUNNEL_PORT)"
    echo "# judge URL:         $JUDGE_URL"
    echo "#"
    printf '# %-20s %-21s %-10s %-12s %-6s %-8s %s\n' candidate address kind anonymity digit delay_ms tunnels
    for line in "${PROXY_WORLD_CANDIDATES[@]}"; do
      # shellcheck disable=SC2086
      printf '  %-20s %-21s %-10s %-12s %-6s %-8s %s\n' $line
    done
    echo "#"
    echo "# batches, as the service hands them out in turn; then it starts over:"
    n=${#pool[@]}
    cycle=$((n % 3 == 0 ? n / 3 : n))
    for ((i = 0; i < cycle; i++)); do
      printf '#   %d: %s %s %s\n' $((i + 1)) "${pool[3 * i % n]}" "${pool[(3 * i + 1) % n]}" \
        "${pool[(3 * i + 2) % n]}"
    done
  } >"$dir/world.txt"
}

start_proxy_world() {
  local dir=${1:?usage: start_proxy_world DIR [BUILD_DIR] [WORLD]}
  local build=${2:-$_PW_ROOT/build/native} world=${3:-${PROXY_WORLD:-default}}
  local names count attempt name
  if [ -n "${PROXY_WORLD_DIR:-}" ]; then
    echo "proxy world: one is running already in $PROXY_WORLD_DIR" >&2
    return 1
  fi
  PROXY_WORLD_SERVICE_BIN=${PROXY_WORLD_SERVICE_BIN:-$build/tools/service/cloakwise-service}
  PROXY_WORLD_TESTPROXY_BIN=${PROXY_WORLD_TESTPROXY_BIN:-$build/tools/testproxy/cloakwise-testproxy}
  for name in "$PROXY_WORLD_SERVICE_BIN" "$PROXY_WORLD_TESTPROXY_BIN"; do
    if [ ! -x "$name" ]; then
      echo "proxy world: $name is missing; build the targets cloakwise-service and" \
        "cloakwise-testproxy first" >&2
      return 1
    fi
  done
  names=$(_pw_world "$world") || return 2
  for name in $names; do _pw_candidate "$name" >/dev/null || return 2; done
  count=$(wc -w <<<"$names")
  if [ "$count" -gt 200 ]; then
    echo "proxy world: $count candidates, more than the 200 loopback addresses it hands out" >&2
    return 2
  fi
  _pw_arm_traps
  for attempt in 1 2 3; do
    if [ ! -d "$dir" ]; then
      mkdir -p "$dir" || return 1
      dir=$(cd "$dir" && pwd)
      _PW_MADE_DIR=$dir
    fi
    dir=$(cd "$dir" && pwd)
    # squid and tinyproxy drop root and must still reach their folders in it.
    chmod go+x "$dir" && _pw_open_to_proxies "$dir" || return 1
    export PROXY_WORLD_DIR=$dir PROXY_WORLD_NAME=$world
    # shellcheck disable=SC2086
    if _pw_start_world_once "$dir" "$world" $names; then
      export PROXY_WORLD_PIDS="${_PW_PIDS[*]}"
      return 0
    fi
    # Most likely a port taken between choosing and binding it: start over.
    echo "proxy world: start $attempt of \"$world\" failed" >&2
    _pw_show_logs
    stop_proxy_world
  done
  return 1
}
