#!/usr/bin/env python3
"""A loopback server that reads a request and then stalls, for the tests of
Close while an exchange hangs. Modes:
  silent  answers nothing
  status  sends a status line, then nothing
  body    sends a head promising a long body, then two bytes of it
  stream  sends a head without a length, then a body that never ends
          (4 KB every 20 ms)
  trickle sends a status line, then one header byte every 5 s
Each connection is held 60 s at most and the server ends after 180 s.
Prints the port it listens on, then serves."""
import socket
import sys
import threading
import time

mode, address = sys.argv[1], sys.argv[2]
if not address.startswith("127."):
    sys.exit("loopback only")

listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind((address, 0))
listener.listen(16)
print(listener.getsockname()[1], flush=True)


def serve(conn):
    end = time.monotonic() + 60
    try:
        conn.settimeout(5)
        data = b""
        while b"\r\n\r\n" not in data and len(data) < 65536:
            chunk = conn.recv(4096)
            if not chunk:
                return
            data += chunk
        if mode == "status":
            conn.sendall(b"HTTP/1.1 200 OK\r\n")
        elif mode == "body":
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n12")
        elif mode == "stream":
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n")
            while time.monotonic() < end:
                conn.sendall(b"1.2.3.4:8080\n" * 315)
                time.sleep(0.02)
        elif mode == "trickle":
            conn.sendall(b"HTTP/1.1 200 OK\r\n")
            for byte in b"X-Slow: " + b"a" * 64:
                if time.monotonic() > end:
                    break
                conn.sendall(bytes([byte]))
                time.sleep(5)
        while time.monotonic() < end:
            time.sleep(0.5)
    except OSError:
        pass
    finally:
        conn.close()


listener.settimeout(1)
stop = time.monotonic() + 180
while time.monotonic() < stop:
    try:
        conn, _ = listener.accept()
    except socket.timeout:
        continue
    threading.Thread(target=serve, args=(conn,), daemon=True).start()
