#!/usr/bin/env python3
"""A web server for the browser tests: one plain HTTP and one HTTPS port on
a loopback address, answering every GET with a short page, and logging each
request's peer so a test can tell requests that came through a proxy (whose
connections leave from an address of their own) from direct ones. A form
posted, as to the proxy-list service, is logged too and answered 404.

Pages under /trace leave what a visit leaves in a browser: a cookie, and a
page the cache keeps for a day. Pages under /trace and /echo write the
cookies the browser sent as "seen:COOKIES;" into themselves, for a browser
that prints the page it made (a headless Chromium's --dump-dom).

    origin.py ADDRESS HTTP_PORT HTTPS_PORT CERT KEY LOG MAX_SECONDS

With HTTPS_PORT "-" (and CERT and KEY "-") there is no HTTPS port.
"""
import http.server
import ssl
import sys
import threading
import time

address, http_port, https_port, cert, key, log_path, max_seconds = sys.argv[1:8]
if not address.startswith("127."):
    sys.exit("origin.py: loopback addresses only")
log = open(log_path, "a", buffering=1)
lock = threading.Lock()


class Page(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with lock:
            log.write(f"{self.server.scheme} {self.client_address[0]} GET {self.path}\n")
        body = b"<html><body>origin</body></html>"
        trace = self.path.startswith("/trace")
        if trace or self.path.startswith("/echo"):
            body = (b"<html><body>origin <p><script>"
                    b"document.write('seen:' + document.cookie + ';')</script></p></body></html>")
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        if trace:
            self.send_header("Set-Cookie", "visit=yes; Max-Age=86400; Path=/")
            self.send_header("Cache-Control", "max-age=86400")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_POST(self):
        self.rfile.read(int(self.headers.get("Content-Length") or 0))
        with lock:
            log.write(f"{self.server.scheme} {self.client_address[0]} POST {self.path}\n")
        self.send_response(404)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def log_message(self, *args):
        pass


class Server(http.server.ThreadingHTTPServer):
    def __init__(self, port, scheme):
        super().__init__((address, int(port)), Page)
        self.scheme = scheme
        if scheme == "https":
            self.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            self.context.load_cert_chain(cert, key)

    # Each connection's peer is logged as it comes: a browser that refuses
    # the certificate still shows where its connection came from.
    def get_request(self):
        connection, peer = self.socket.accept()
        if self.scheme == "https":
            with lock:
                log.write(f"https-connect {peer[0]}\n")
            connection = self.context.wrap_socket(connection, server_side=True,
                                                  do_handshake_on_connect=False)
        return connection, peer

    def handle_error(self, request, client_address):
        pass  # a refused certificate ends the handshake; nothing to report


def serve(port, scheme):
    threading.Thread(target=Server(port, scheme).serve_forever, daemon=True).start()


serve(http_port, "http")
if https_port != "-":
    serve(https_port, "https")
with lock:
    log.write("ready\n")
time.sleep(float(max_seconds))
