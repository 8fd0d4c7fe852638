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

/webrtc?stun=HOST:PORT&run=NAME is a page that asks WebRTC for the machine's
addresses, as a page that wants the user's address does: it gathers every
candidate against that STUN server, writes them into itself as
"candidates:[...]" and sends them back as GET /report?run=NAME&c=..., which
is logged as "report NAME PEER CANDIDATES" (CANDIDATES "-" for none). Its
load, which ends a headless browser's visit, waits for that report (for
/hold?run=NAME, held until the report came, at most 10 s), so the visit
lasts as long as the gathering does and no longer.

    origin.py ADDRESS HTTP_PORT HTTPS_PORT CERT KEY LOG MAX_SECONDS

With HTTPS_PORT "-" (and CERT and KEY "-") there is no HTTPS port.
"""
import html
import http.server
import json
import ssl
import sys
import threading
import time
import urllib.parse

address, http_port, https_port, cert, key, log_path, max_seconds = sys.argv[1:8]
if not address.startswith("127."):
    sys.exit("origin.py: loopback addresses only")
log = open(log_path, "a", buffering=1)
lock = threading.Lock()
reports = {}  # run name -> set once its candidates came back

# Gathering ends with a null candidate, or within the page's own bound: a
# browser that gathers nothing at all still reports, as "-".
WEBRTC_PAGE = """<html><body><p id="out">gathering</p><script>
var run = %(run)s, found = [], sent = false;
function report() {
  if (sent) return;
  sent = true;
  document.getElementById('out').textContent = 'candidates:' + JSON.stringify(found);
  new Image().src = '/report?run=' + encodeURIComponent(run) + '&c=' +
    encodeURIComponent(found.join(' | ') || '-');
}
try {
  var pc = new RTCPeerConnection({iceServers: [{urls: 'stun:' + %(stun)s}]});
  pc.createDataChannel('probe');
  pc.onicecandidate = function (e) {
    if (!e.candidate) report();
    else if (e.candidate.candidate) found.push(e.candidate.candidate);
  };
  pc.createOffer().then(function (o) { return pc.setLocalDescription(o); })
    .catch(function (err) { found.push('error ' + err.name); report(); });
} catch (err) {
  found.push('error ' + err.name);
  report();
}
setTimeout(report, 5000);
</script><img src="/hold?run=%(run_url)s"></body></html>"""


# A string as script text: no "</script>" can end the script early.
def script_string(text):
    return json.dumps(text).replace("<", "\\u003c")


def reported(run):
    with lock:
        return reports.setdefault(run, threading.Event())


class Page(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with lock:
            log.write(f"{self.server.scheme} {self.client_address[0]} GET {self.path}\n")
        path, _, query = self.path.partition("?")
        if path in ("/webrtc", "/hold", "/report"):
            return self.webrtc(path, urllib.parse.parse_qs(query))
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

    def webrtc(self, path, query):
        run = query.get("run", ["-"])[0]
        if path == "/webrtc":
            stun = query.get("stun", [""])[0]
            body = (WEBRTC_PAGE % {"run": script_string(run), "stun": script_string(stun),
                                   "run_url": html.escape(urllib.parse.quote(run))}).encode()
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.send_header("Cache-Control", "no-store")
        else:
            if path == "/report":
                with lock:
                    log.write(f"report {run} {self.client_address[0]} {query.get('c', ['-'])[0]}\n")
                reported(run).set()
            else:
                reported(run).wait(10)
            body = b""
            self.send_response(204)
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
