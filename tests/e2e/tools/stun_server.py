#!/usr/bin/env python3
"""A STUN server on a loopback address, for the tests of what a page learns
by WebRTC: a Binding request is answered with the address it came from
(XOR-MAPPED-ADDRESS, and MAPPED-ADDRESS for older clients), which is how a
page behind no proxy finds the machine's address. Every datagram received,
STUN or not, is logged as "binding SOURCE:PORT" or "other SOURCE:PORT" on a
line of its own, so a test can tell that nothing reached it at all.

    stun_server.py ADDRESS PORT LOG MAX_SECONDS

PORT 0 takes a free port. The log's first line is "ready PORT"; the server
ends by itself after MAX_SECONDS.
"""
import socket
import struct
import sys
import time

address, port, log_path, max_seconds = sys.argv[1:5]
if not address.startswith("127."):
    sys.exit("stun_server.py: loopback addresses only")

MAGIC_COOKIE = 0x2112A442
BINDING_REQUEST = 0x0001
BINDING_SUCCESS = 0x0101
MAPPED_ADDRESS = 0x0001
XOR_MAPPED_ADDRESS = 0x0020


def attribute(kind, value):
    padding = b"\0" * (-len(value) % 4)
    return struct.pack("!HH", kind, len(value)) + value + padding


def binding_success(transaction, source):
    host, source_port = source
    raw = socket.inet_aton(host)
    xored = bytes(b ^ m for b, m in zip(raw, struct.pack("!I", MAGIC_COOKIE)))
    body = attribute(XOR_MAPPED_ADDRESS,
                     struct.pack("!BBH", 0, 1, source_port ^ (MAGIC_COOKIE >> 16)) + xored)
    body += attribute(MAPPED_ADDRESS, struct.pack("!BBH", 0, 1, source_port) + raw)
    return struct.pack("!HHI", BINDING_SUCCESS, len(body), MAGIC_COOKIE) + transaction + body


server = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
server.bind((address, int(port)))
log = open(log_path, "a", buffering=1)
log.write(f"ready {server.getsockname()[1]}\n")
deadline = time.monotonic() + float(max_seconds)
while True:
    left = deadline - time.monotonic()
    if left <= 0:
        break
    server.settimeout(left)
    try:
        data, source = server.recvfrom(2048)
    except socket.timeout:
        break
    is_binding = (len(data) >= 20 and struct.unpack("!H", data[:2])[0] == BINDING_REQUEST
                  and struct.unpack("!I", data[4:8])[0] == MAGIC_COOKIE)
    log.write(f"{'binding' if is_binding else 'other'} {source[0]}:{source[1]}\n")
    if is_binding:
        server.sendto(binding_success(data[8:20], source), source)
