#!/usr/bin/env python3
"""Loopback HTTP test server for Mireva's tests.

Serves on 127.0.0.1 at a free port and prints "PORT <n>" on its first line of
standard output. What it answers is read from a JSON routes file at every
request, so a test may rewrite the file between requests:

{
  "static_dir": "/path",            # files served for paths without a route
  "routes": {
    "/path": {                       # exact path; "/path?query" matches first if present
      "status": 200,                 # default 200
      "headers": {"Name": "value"},  # extra response headers
      "body": "text",                # body as UTF-8 text, or
      "body_hex": "8aa0...",         # body as bytes in hex, or
      "body_file": "/abs/file",      # body from a file, or
      "body_repeat": ["a", 70000],   # a text repeated to the given length
      "content_type": "text/html",   # default text/html
      "delay_ms": 0,                 # wait before answering
      "chunk_size": 0,               # >0: send the body in pieces of this size
      "chunk_delay_ms": 0,           # wait between pieces
      "truncate_after": -1,          # >=0: promise the whole length, close after n bytes
      "content_length": n,           # Content-Length sent instead of the body's own:
                                     # shorter, the rest of the body follows anyway;
                                     # longer, the connection closes after the body
      "endless": false,              # true: the body is sent again and again until
                                     # the client goes (chunked, or within
                                     # "content_length" when one is given)
      "bomb": ["gzip", 1073741824],  # the body is that many zero bytes compressed
                                     # ("gzip" or "deflate"), with Content-Encoding;
                                     # made as it is sent, so a client that stops
                                     # early costs little
      "interim": [{"status": 103,    # 1xx answers sent before the answer itself,
                   "headers": {}}],  # each with its own headers
      "redirect_chain": [50, "/x"],  # "?hop=k" (none: 0) redirects (302) to
                                     # "?hop=k+1" until k is 50, then to "/x"
      "auth": "user:pass",           # Basic auth required; 401 with a realm otherwise
      "realm": "Test",
      "require_cookie": "k=v",       # 403 unless the Cookie header holds k=v
      "set_cookie": "k=v",           # Set-Cookie on the answer
      "sequence": [ {...}, {...} ],  # answers in turn for successive requests;
                                     # the last one repeats
      "await": ["name", 5, 5000],    # answer only once 5 requests of routes
                                     # awaiting "name" are in (all at once);
                                     # 504 when they are not within 5000 ms
      "ranges": true,                # "Range: bytes=n-" gets 206 and the rest,
                                     # unless If-Range differs from the ETag
                                     # or Last-Modified in "headers"
      "etag": "\"v1\""                # sent as ETag; a request whose If-None-Match
                                     # names it gets 304 without a body

    }
  }
}

Every request is appended to the log file (--log) as one line:
METHOD<TAB>PATH<TAB>Header: value<TAB>Header: value ...
with two headers of the server's own at the end: "X-Test-Arrived-Ms" (when
it arrived, milliseconds on a steady clock) and "X-Test-Active" (requests
being answered at that moment, this one included).
"""
import argparse
import json
import os
import struct
import threading
import time
import zlib
from urllib.parse import parse_qs
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

COUNTS = {}
LOCK = threading.Lock()
ARRIVED = {}  # await name -> requests arrived
ARRIVAL = threading.Condition(LOCK)
ACTIVE = [0]  # requests being answered


def load_routes(path):
    try:
        with open(path, "r", encoding="utf-8") as f:
            return json.load(f)
    except (OSError, ValueError):
        return {}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "MirevaTest/1.0"

    def log_message(self, fmt, *args):  # keep test output quiet
        pass

    def handle(self):
        try:
            super().handle()
        except (BrokenPipeError, ConnectionResetError):
            pass  # the client gave up on an answer, as tests make it do

    def log_request_line(self, arrived_ms, active):
        if not self.server.log_path:
            return
        fields = [self.command, self.path]
        for k, v in self.headers.items():
            fields.append("%s: %s" % (k, v))
        fields.append("X-Test-Arrived-Ms: %d" % arrived_ms)
        fields.append("X-Test-Active: %d" % active)
        with LOCK:
            with open(self.server.log_path, "a", encoding="utf-8") as f:
                f.write("\t".join(fields).replace("\n", " ") + "\n")

    def do_HEAD(self):
        self.handle_any(head=True)

    def do_GET(self):
        self.handle_any(head=False)

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0") or 0)
        if length:
            self.rfile.read(length)
        self.handle_any(head=False)

    def handle_any(self, head):
        with LOCK:
            ACTIVE[0] += 1
            active = ACTIVE[0]
        try:
            self.log_request_line(int(time.monotonic() * 1000), active)
            self.handle_logged(head)
        finally:
            with LOCK:
                ACTIVE[0] -= 1

    def handle_logged(self, head):
        config = load_routes(self.server.routes_path)
        routes = config.get("routes", {})
        route = routes.get(self.path)
        if route is None:
            route = routes.get(self.path.split("?", 1)[0])
        if route is not None and "sequence" in route:
            with LOCK:
                n = COUNTS.get(self.path, 0)
                COUNTS[self.path] = n + 1
            seq = route["sequence"]
            route = seq[min(n, len(seq) - 1)]
        if route is None:
            route = self.static_route(config.get("static_dir"))
        self.answer(route, head)

    def static_route(self, static_dir):
        if static_dir:
            rel = self.path.split("?", 1)[0].lstrip("/")
            full = os.path.normpath(os.path.join(static_dir, rel))
            if full.startswith(os.path.normpath(static_dir)) and os.path.isfile(full):
                ctype = "text/html"
                for ext, t in ((".gif", "image/gif"), (".jpg", "image/jpeg"),
                               (".png", "image/png"), (".txt", "text/plain"),
                               (".css", "text/css"), (".js", "text/javascript")):
                    if full.lower().endswith(ext):
                        ctype = t
                return {"body_file": full, "content_type": ctype}
        return {"status": 404, "body": "<html><body>Not Found</body></html>"}

    @staticmethod
    def all_arrived(name, count, timeout_ms):
        """Counts this request in and waits until `count` have arrived."""
        deadline = time.monotonic() + timeout_ms / 1000.0
        with ARRIVAL:
            ARRIVED[name] = ARRIVED.get(name, 0) + 1
            ARRIVAL.notify_all()
            while ARRIVED[name] < count:
                left = deadline - time.monotonic()
                if left <= 0:
                    return False
                ARRIVAL.wait(left)
        return True

    def answer(self, route, head):
        if "await" in route and not self.all_arrived(*route["await"]):
            route = {"status": 504, "body": "<html>504 not all requests came</html>"}
        delay = route.get("delay_ms", 0)
        if delay:
            time.sleep(delay / 1000.0)
        auth = route.get("auth")
        if auth:
            import base64
            expected = "Basic " + base64.b64encode(auth.encode()).decode()
            if self.headers.get("Authorization") != expected:
                route = {"status": 401, "body": "<html>401 Authorization Required</html>",
                         "headers": {"WWW-Authenticate":
                                     'Basic realm="%s"' % route.get("realm", "Test")}}
        need = route.get("require_cookie")
        if need:
            cookies = [c.strip() for c in self.headers.get("Cookie", "").split(";")]
            if need not in cookies:
                route = {"status": 403, "body": "<html>403 Forbidden</html>"}
        if "redirect_chain" in route:
            route = self.chain_hop(route["redirect_chain"])
        if "etag" in route:
            if self.headers.get("If-None-Match") == route["etag"]:
                self.send_response(304)
                self.send_header("ETag", route["etag"])
                for k, v in route.get("headers", {}).items():
                    self.send_header(k, v)
                self.end_headers()
                return
            route = dict(route, headers=dict(route.get("headers", {}), ETag=route["etag"]))
        for interim in route.get("interim", []):
            self.send_interim(interim)
        if "bomb" in route:
            self.send_bomb(route, head)
            return
        body = self.body_of(route)
        status = route.get("status", 200)
        endless = route.get("endless", False)
        content_range = None
        start = self.range_start(route, len(body))
        if start is not None:
            status = 206
            content_range = "bytes %d-%d/%d" % (start, len(body) - 1, len(body))
            body = body[start:]
        length = route.get("content_length", None if endless else len(body))
        self.send_response(status)
        self.send_header("Content-Type", route.get("content_type", "text/html"))
        if content_range:
            self.send_header("Content-Range", content_range)
        if length is None:
            self.send_header("Transfer-Encoding", "chunked")
        else:
            self.send_header("Content-Length", str(length))
        if route.get("set_cookie"):
            self.send_header("Set-Cookie", route["set_cookie"] + "; Path=/")
        for k, v in route.get("headers", {}).items():
            self.send_header(k, v)
        self.end_headers()
        if head:
            return
        if endless:
            self.send_endlessly(body or b"x", length is None, route.get("chunk_delay_ms", 0))
            return
        truncate = route.get("truncate_after", -1)
        if truncate >= 0:
            body = body[:truncate]
        chunk = route.get("chunk_size", 0)
        try:
            if chunk and chunk > 0:
                for i in range(0, len(body), chunk):
                    self.wfile.write(body[i:i + chunk])
                    self.wfile.flush()
                    d = route.get("chunk_delay_ms", 0)
                    if d:
                        time.sleep(d / 1000.0)
            else:
                self.wfile.write(body)
            self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            pass
        if truncate >= 0 or length > len(body):
            self.close_connection = True

    def range_start(self, route, size):
        """Where a "ranges" route's answer starts for this request, or None
        for the whole body."""
        asked = self.headers.get("Range", "")
        if not route.get("ranges") or not asked.startswith("bytes=") or not asked.endswith("-"):
            return None
        if_range = self.headers.get("If-Range")
        headers = route.get("headers", {})
        if if_range is not None and if_range not in (headers.get("ETag"),
                                                     headers.get("Last-Modified")):
            return None
        try:
            start = int(asked[len("bytes="):-1])
        except ValueError:
            return None
        return start if 0 <= start < size else None

    def chain_hop(self, chain):
        hops, final = chain
        path, _, query = self.path.partition("?")
        hop = int(parse_qs(query).get("hop", ["0"])[0])
        location = final if hop >= hops else "%s?hop=%d" % (path, hop + 1)
        return {"status": 302, "headers": {"Location": location}, "body": "moved"}

    def send_interim(self, interim):
        status = interim.get("status", 100)
        lines = ["HTTP/1.1 %d %s" % (status, self.responses.get(status, ("Info",))[0])]
        lines += ["%s: %s" % kv for kv in interim.get("headers", {}).items()]
        self.wfile.write(("\r\n".join(lines) + "\r\n\r\n").encode("latin-1"))
        self.wfile.flush()

    def send_endlessly(self, piece, chunked, delay_ms):
        if chunked:
            piece = b"%x\r\n%s\r\n" % (len(piece), piece)
        self.close_connection = True
        try:
            while True:
                self.wfile.write(piece)
                self.wfile.flush()
                if delay_ms:
                    time.sleep(delay_ms / 1000.0)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def send_bomb(self, route, head):
        encoding, size = route["bomb"]
        gzip = encoding == "gzip"
        block = bytes(1 << 20)
        blocks = max(1, size // len(block))
        # After a full flush the compressor starts afresh, so every block of
        # zeros compresses to the same bytes; only the checksum at the end
        # depends on the whole, and it is counted as the blocks go out.
        c = zlib.compressobj(9, zlib.DEFLATED, 31 if gzip else 15)
        first = c.compress(block) + c.flush(zlib.Z_FULL_FLUSH)
        same = c.compress(block) + c.flush(zlib.Z_FULL_FLUSH)
        tail = c.flush()[:-8 if gzip else -4]
        length = len(first) + (blocks - 1) * len(same) + len(tail) + (8 if gzip else 4)
        self.send_response(route.get("status", 200))
        self.send_header("Content-Type", route.get("content_type", "text/html"))
        self.send_header("Content-Encoding", encoding)
        self.send_header("Content-Length", str(length))
        self.end_headers()
        if head:
            return
        check = 0 if gzip else 1
        try:
            for i in range(blocks):
                check = (zlib.crc32 if gzip else zlib.adler32)(block, check)
                self.wfile.write(first if i == 0 else same)
            self.wfile.write(tail)
            size = blocks * len(block)
            self.wfile.write(struct.pack("<II", check, size & 0xFFFFFFFF) if gzip
                             else struct.pack(">I", check))
            self.wfile.flush()
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True

    @staticmethod
    def body_of(route):
        if "body_hex" in route:
            return bytes.fromhex(route["body_hex"])
        if "body_file" in route:
            with open(route["body_file"], "rb") as f:
                return f.read()
        if "body_repeat" in route:
            text, length = route["body_repeat"]
            data = (text.encode("utf-8") * (length // max(1, len(text)) + 1))[:length]
            return data
        return route.get("body", "").encode("utf-8")


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 256


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--routes", required=True)
    ap.add_argument("--log", default="")
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--lifetime", type=float, default=600.0,
                    help="seconds after which the server ends by itself")
    args = ap.parse_args()
    httpd = Server(("127.0.0.1", args.port), Handler)
    httpd.routes_path = args.routes
    httpd.log_path = args.log
    print("PORT %d" % httpd.server_address[1], flush=True)
    threading.Timer(args.lifetime, lambda: os._exit(0)).start()
    httpd.serve_forever()


if __name__ == "__main__":
    main()
