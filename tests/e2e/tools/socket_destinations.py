#!/usr/bin/env python3
"""Where a browser's sockets went, from a trace made by
    strace -f -yy -e trace=connect,sendto,sendmsg,sendmmsg -o TRACE BROWSER ...
and whether all of it went to the proxy in use:

    socket_destinations.py TRACE PROXY_HOST:PORT

Allowed, for internet sockets (IPv4 and IPv6; local and netlink sockets are
the browser talking to itself and to the kernel):
  - any connect to, and anything sent to, the proxy;
  - DNS: port 53 of a name server of /etc/resolv.conf, the lookups a
    browser may make for its own services (a page's names are the proxy's
    to look up);
  - a connect on a UDP socket to any other address, when nothing is sent
    there: such a connect sends no packet, and both browsers make one only
    to learn which local address routes to a public address (Chromium also
    to sort a name's addresses).
Everything else fails: a TCP connect to any other address, and a datagram
to any other address, whether named in the send or given by the socket's
earlier connect (a send without an address goes where its socket was
connected: the -yy annotation shows the peer, else the last connect of that
descriptor in the same thread, else it counts as going elsewhere). A trace
with no connection to the proxy at all fails too, as one that could not
have told anything.

Prints one line per destination with what went there, then "ok" or the
offending calls. Exit status 0 when all is allowed, 1 otherwise.
"""
import collections
import ipaddress
import re
import sys

trace_path, proxy = sys.argv[1], sys.argv[2]
proxy_host, _, proxy_port = proxy.rpartition(":")
proxy_dest = (ipaddress.ip_address(proxy_host), int(proxy_port))
resolvers = set()
with open("/etc/resolv.conf") as conf:
    for line in conf:
        words = line.split()
        if len(words) >= 2 and words[0] == "nameserver":
            try:
                resolvers.add(ipaddress.ip_address(words[1].split("%")[0]))
            except ValueError:
                pass

# A descriptor's -yy annotation, "<UDP:[192.0.2.2:5->10.0.0.1:53]>" or
# "<UNIX-STREAM:[1->2]>", ends at the first "]>".
CALL = re.compile(r"^(\d+)\s+(connect|sendto|sendmsg|sendmmsg)\((\d+)(?:<(.*?\])>)?(.*)$")
UNFINISHED = " <unfinished ...>"
RESUMED = re.compile(r"^(\d+)\s+<\.\.\. (\w+) resumed>(.*)$")
INET4 = re.compile(r'sa_family=AF_INET, sin_port=htons\((\d+)\), sin_addr=inet_addr\("([^"]+)"\)')
INET6 = re.compile(r'sa_family=AF_INET6, sin6_port=htons\((\d+)\),.*?inet_pton\(AF_INET6, "([^"]+)"')
PEER = re.compile(r"->\[?([0-9a-fA-F.:]+?)\]?:(\d+)\]$")


def plain(address):
    address = ipaddress.ip_address(address)
    if address.version == 6 and address.ipv4_mapped:
        return address.ipv4_mapped
    return address


def named_destinations(text):
    found = [(plain(a), int(p)) for p, a in INET4.findall(text)]
    found += [(plain(a), int(p)) for p, a in INET6.findall(text)]
    return found


def show(dest):
    address, port = dest
    return f"[{address}]:{port}" if address.version == 6 else f"{address}:{port}"


# strace splits a call that another thread interrupted into an unfinished
# line and a resumed one; sendmmsg shows its messages only when resumed.
calls = []
pending = {}
with open(trace_path, errors="replace") as trace:
    for line in trace:
        line = line.rstrip("\n")
        resumed = RESUMED.match(line)
        if resumed:
            pid = resumed.group(1)
            if pid in pending:
                calls.append(pending.pop(pid) + resumed.group(3))
            continue
        if CALL.match(line):
            if line.endswith(UNFINISHED):
                pending[line.split()[0]] = line[: -len(UNFINISHED)]
            else:
                calls.append(line)
calls.extend(pending.values())

kinds = collections.defaultdict(collections.Counter)  # destination -> what went there
bad = []
connected = {}  # (pid, fd) -> destination of the last connect, for sends without one
for text in calls:
    pid, name, fd, annotation, rest = CALL.match(text).groups()
    annotation = annotation or ""
    protocol = annotation.split(":")[0]
    if "AF_UNIX" in rest or "AF_NETLINK" in rest or protocol.startswith(("UNIX", "NETLINK")):
        continue
    udp = protocol.startswith("UDP")
    if name == "connect":
        if "AF_UNSPEC" in rest:  # dissolves a UDP socket's association
            connected.pop((pid, fd), None)
            continue
        dests = named_destinations(rest)
        if not dests:
            continue
        dest = dests[0]
        connected[(pid, fd)] = dest
        kinds[dest][f"{protocol or 'socket'} connect"] += 1
        if dest != proxy_dest and not udp and not (dest[0] in resolvers and dest[1] == 53):
            bad.append(text)
        continue
    dests = named_destinations(rest)
    if not dests:
        peer = PEER.search(annotation)
        if peer:
            dests = [(plain(peer.group(1)), int(peer.group(2)))]
        elif (pid, fd) in connected:
            dests = [connected[(pid, fd)]]
        elif protocol.startswith(("TCP", "UDP")):
            bad.append(text + "   (destination unknown)")
            continue
        else:
            continue
    for dest in dests:
        kinds[dest][f"{protocol or 'socket'} {name}"] += 1
        if dest == proxy_dest or (dest[0] in resolvers and dest[1] == 53):
            continue
        bad.append(text)

for dest in sorted(kinds, key=lambda d: (d[0].version, d[0], d[1])):
    label = "the proxy" if dest == proxy_dest else (
        "name server" if dest[0] in resolvers and dest[1] == 53 else "")
    what = ", ".join(f"{n} {k}" for k, n in sorted(kinds[dest].items()))
    print(f"{show(dest):<44} {what}{'  (' + label + ')' if label else ''}")
if not any("connect" in k for k in kinds.get(proxy_dest, {})):
    print(f"no connection to the proxy {show(proxy_dest)} at all")
    sys.exit(1)
if bad:
    print("not through the proxy:")
    for text in bad:
        print("  " + text[:300])
    sys.exit(1)
print("ok: every internet socket went to the proxy" + (", or to a name server" if any(
    d[0] in resolvers and d[1] == 53 for d in kinds) else ""))
