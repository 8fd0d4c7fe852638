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
#       again. It and the clean-up on exit are world_processes.sh's; the
#       service and the proxies on their own are world_pieces.sh's.
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
#   source scripts/lib/proxy_world.sh
#   start_proxy_world build/world build/native elite-choice
#   printf '[Service]\nHost=%s\n' "$SERVICE_HOST" >options.ini

source "$(dirname "${BASH_SOURCE[0]}")/world_pieces.sh"

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
