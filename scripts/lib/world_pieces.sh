# The pieces of a proxy world on their own: the list service with its judge,
# the test proxies, squid and tinyproxy, each tracked and ended like the
# world's (see world_processes.sh). Source it; it starts nothing by itself.
#
#   start_judge_service BIN POOL DIR PORT [TUNNEL_PORT]
#                                           sets SERVICE_PORT, SERVICE_HOST, TUNNEL_PORT,
#                                           SERVICE_INI, JUDGE_URL
#       The array PROXY_WORLD_SERVICE_ARGS, when set, goes on the service's
#       command line: --check and its sources for a live pool, say.
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
# PROXY_WORLD_ORIGIN=ADDR lets the squids through to ADDR (any port) as
# well, from 127.0.0.5, for a browser test's own web server there.

source "$(dirname "${BASH_SOURCE[0]}")/world_processes.sh"

start_judge_service() {
  local bin=$1 pool=$2 dir=$3 port=$4 tunnel=${5:-0} word
  rm -f "$dir/service.port"
  _PW_FILES+=("$dir/service.port" "$dir/service.log")
  _PW_LOGS+=("$dir/service.log")
  _pw_spawn "$dir/service-console.log" "$bin" --pool "$pool" --port "$port" \
    --tunnel-port "$tunnel" --port-file "$dir/service.port" --log "$dir/service.log" \
    --max-seconds "$(_pw_max_seconds)" ${PROXY_WORLD_SERVICE_ARGS[@]+"${PROXY_WORLD_SERVICE_ARGS[@]}"}
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
