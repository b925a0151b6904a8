#!/usr/bin/env python3
"""Stand-in for the photo-hosting service, for tests, the demo and development.

    python3 tools/standin/standin.py [--port N] [--port-file F] [--watch-pid P]

Listens on 127.0.0.1 (port 0: a free one), prints the port on the first line of stdout and
serves until stopped (SIGTERM/SIGINT), until process --watch-pid ends, or after
--idle seconds without a request. Requests may come in origin form ("POST /path") or in
absolute form ("POST http://host:80/path"), so the client reaches it as its proxy while
its host names stay the real ones.

Control paths (never journalled), for tests in any language:
    GET  /__health                    "ok"
    GET  /__journal                   JSON summary of every request
    GET  /__journal/count             number of journalled requests
    GET  /__arrived                   number of service requests whose head has arrived
                                      (journalled or not yet: a body still coming in)
    GET  /__journal/count/PATH        number of journalled requests for service path /PATH
    GET  /__journal/N/head            request line and headers of request N (from 0), raw
    GET  /__journal/N/body            raw body of request N
    GET  /__journal/N/fields          its form parts, one per line: NAME=VALUE (value
                                      percent-encoded), files as NAME=@FILENAME:SIZE
    GET  /__journal/N/connection      serial number of the connection it came on (requests
                                      on one kept-open connection share it)
    POST /__reset                     empties journal, scripts, accounts and pictures
    POST /__journal/clear             empties the journal alone
    POST /__script                    form-urlencoded fault for the next matching request
    POST /__account                   login=..&password=..[&albums=N][&id=..][&ticket=..]
                                      [&title=..&title=..][&untitled=K,..]
                                      (ticket: a ticket already valid for that user;
                                      title, repeated: the albums by name, in the service's
                                      order; untitled: 1-based positions of albums sent
                                      without a Title element)
    POST /__challenge                 digits=N: length of step 1's random block text
                                      (default 40, back to it on /__reset)
    POST /__version                   major=..&minor=..&path=..[&times=N] (texts served as
                                      given; times: only for the next N version requests)
    POST /__tags                      the tags the tag query searches: tags=T1%0AT2..
                                      (one per line) replaces the list, append=1 adds to
                                      it, generate=N&stem=S adds N tags S00000..
    GET  /__tags/asked                SUBSTR_TAG of every journalled tag query, one a line
An upload (/api3/rest/uplimg/prepared) answered normally keeps an HTTP/1.1 connection
open for the next request unless it asked to close; every other answer, and one to an
HTTP/1.0 request, says "Connection: close".
Any request for /echo... is journalled and answered 200 with the body's length, whatever
its form, for tests of the bytes on the wire.
Fault keys (POST /__script): path (default: any service path), times (default 1),
skip (matching requests let through first),
status, delay (seconds before the answer head), drop=before-head|mid-body|mid-request
(mid-request: the connection reset once half the request body came in), raw (these bytes
instead of an HTTP answer, then the connection reset), size (answer
of exactly this many bytes), body (the answer verbatim), code+msg (an Err element),
noerr=1 (no Err element), omit=ELEMENT (drop that element from the answer),
malformed=1 (cut the XML short), slowread (body read at this many bytes per second),
location (a Location header on the answer, with status=302 or 307 a redirect),
keepalive=1 (the connection stays open for one more request), element+text (that
element's text replaced by this text).
slowwrite (answer body sent at this many bytes per second, in tenths).
"""

import argparse
import json
import os
import re
import signal
import socket
import socketserver
import sys
import tempfile
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import formdata  # noqa: E402
import service  # noqa: E402

MAX_BODY = 64 * 1024 * 1024
REASONS = {200: "OK", 204: "No Content", 302: "Found", 307: "Temporary Redirect",
           400: "Bad Request", 404: "Not Found",
           411: "Length Required", 413: "Payload Too Large", 500: "Internal Server Error",
           503: "Service Unavailable"}


class Journal:
    def __init__(self):
        self.lock = threading.Lock()
        self.entries = []

    def add(self, entry):
        with self.lock:
            self.entries.append(entry)

    def get(self, index):
        with self.lock:
            return self.entries[index] if 0 <= index < len(self.entries) else None

    def count(self):
        with self.lock:
            return len(self.entries)

    def clear(self):
        with self.lock:
            self.entries = []


class Scripts:
    """Faults waiting for requests, first matching entry first."""

    def __init__(self):
        self.lock = threading.Lock()
        self.entries = []

    def add(self, fault):
        fault["times"] = int(fault.get("times", "1"))
        fault["skip"] = int(fault.get("skip", "0"))
        with self.lock:
            self.entries.append(fault)

    def take(self, path):
        with self.lock:
            for fault in self.entries:
                if fault.get("path", path) == path:
                    if fault["skip"] > 0:  # this one goes by; a later fault may take it
                        fault["skip"] -= 1
                        continue
                    fault["times"] -= 1
                    if fault["times"] <= 0:
                        self.entries.remove(fault)
                    return dict(fault)
        return None

    def clear(self):
        with self.lock:
            self.entries = []


class Handler(socketserver.StreamRequestHandler):
    # An upload answered normally leaves an HTTP/1.1 connection open for the next
    # request, as the real service does (the sending phase sends its uploads over one
    # connection); a request that asks to close, a scripted fault that breaks the
    # connection and an HTTP/1.0 request (tinyproxy's) end it. Every other answer closes:
    # under Wine WinHTTP keeps open connections for the whole process, so the client's
    # lone exchanges (login, tag queries), which on Windows never share a connection,
    # would share one here, unlike anything their tests were written for.
    def handle(self):
        self.connection.settimeout(self.server.io_timeout)
        self.serial = self.server.next_connection()
        try:
            # A scripted keep-alive answer leaves the connection open for one more
            # request (a client following a redirect on the same connection).
            self.keep_alive = True
            while self.keep_alive:
                self.keep_alive = False
                self.serve_one()
        except (OSError, ValueError):
            pass

    def serve_one(self):
        # Acknowledge at once what arrives next. WinHTTP sends a request's head and its body
        # in separate writes, and with Nagle's rule the body waits until the head is
        # acknowledged; on loopback, whose segments hold 64 KB, any body under that size
        # would then wait out the delayed acknowledgement (40 ms) on a kept connection,
        # where on a real link only one under a single segment (1.4 KB) would, and the
        # client's uploads are never that small. (Linux leaves quick-ack mode by itself,
        # so it is asked again for every request.)
        quickack = getattr(socket, "TCP_QUICKACK", None)
        if quickack is not None:
            self.connection.setsockopt(socket.IPPROTO_TCP, quickack, 1)
        raw_head = b""
        line = self.rfile.readline(65537)
        if not line:
            return
        raw_head += line
        while True:
            header = self.rfile.readline(65537)
            if not header:
                return
            raw_head += header
            if header in (b"\r\n", b"\n"):
                break
            if len(raw_head) > 256 * 1024:
                return self.send(400, "text/plain", b"head too large\n")
        parts = line.decode("latin-1").rstrip("\r\n").split(" ")
        if len(parts) != 3 or not parts[2].startswith("HTTP/1."):
            return self.send(400, "text/plain", b"bad request line\n")
        method, target, version = parts
        headers = []
        for h in raw_head.decode("latin-1").split("\r\n")[1:]:
            if h:
                key, _, value = h.partition(":")
                headers.append((key.strip().lower(), value.strip()))
        hmap = dict(headers)
        split = urllib.parse.urlsplit(target)
        path = split.path if split.scheme else target.split("?")[0]
        host = split.netloc if split.scheme else hmap.get("host", "")

        fault = None
        generation = self.server.generation
        if not path.startswith("/__"):
            self.server.count_arrival()
            fault = self.server.scripts.take(path)
        body = self.read_body(method, hmap, fault)
        if body is None:
            return
        self.server.touch()
        if path.startswith("/__"):
            return self.control(method, path, body)

        entry = {"method": method, "target": target, "path": path, "host": host,
                 "head": raw_head, "body": body, "time": time.time(),
                 "connection": self.serial}
        closing = [v.lower() for k, v in headers if k in ("connection", "proxy-connection")]
        entry["reuse"] = (path == service.UPLOAD_PATH and version == "HTTP/1.1"
                          and "close" not in closing)
        # A request that began before a reset (a slow body a test gave up on) belongs to
        # the test that made it, not to the journal of the next one.
        if generation == self.server.generation:
            self.server.journal.add(entry)
        self.answer_service(method, path, hmap, body, fault, entry)

    def read_body(self, method, hmap, fault):
        if "transfer-encoding" in hmap:
            self.send(411, "text/plain", b"chunked bodies are not accepted\n")
            return None
        length = hmap.get("content-length")
        if length is None:
            if method == "POST":
                self.send(411, "text/plain", b"Content-Length required\n")
                return None
            return b""
        if not re.fullmatch(r"\d{1,12}", length):
            self.send(400, "text/plain", b"bad Content-Length\n")
            return None
        n = int(length)
        if n > MAX_BODY:
            self.send(413, "text/plain", b"body too large\n")
            return None
        rate = float(fault["slowread"]) if fault and "slowread" in fault else 0
        chunks, got = [], 0
        # A proxy or server that gives up while the body is still coming in.
        cut = n // 2 if fault and fault.get("drop") == "mid-request" else None
        while got < n:
            if cut is not None and got >= cut:
                self.drop()
                return None
            want = min(n - got, max(1, int(rate / 10)) if rate else 1 << 20)
            if cut is not None:
                want = max(1, min(want, cut - got))
            chunk = self.rfile.read(want)
            if not chunk:
                return None  # the client went away mid-body
            chunks.append(chunk)
            got += len(chunk)
            if rate:
                time.sleep(0.1)
        return b"".join(chunks)

    def answer_service(self, method, path, hmap, body, fault, entry):
        parts, form_error = [], None
        if method == "POST":
            try:
                parts = formdata.parse(body, formdata.boundary_of(hmap.get("content-type")))
            except formdata.FormError as e:
                form_error = str(e)
        entry["parts"] = parts
        entry["form_error"] = form_error
        if path.startswith("/echo"):
            result = (200, "text/plain", b"%d" % len(body))  # journal-only: wire tests
        elif form_error and path in SERVICE_PATHS:
            result = (400, "text/plain", ("bad form: %s\n" % form_error).encode())
        else:
            result = self.server.service.handle(method, path, parts)
        if result is None:
            result = (404, "text/plain", b"not found\n")
        status, ctype, data = result
        if fault:
            status, ctype, data = apply_fault(fault, status, ctype, data)
            if "delay" in fault:
                time.sleep(float(fault["delay"]))
            if "raw" in fault:
                # Not HTTP at all, as a misconfigured proxy port would answer.
                self.wfile.write(fault["raw"].encode("utf-8"))
                self.wfile.flush()
                return self.drop()
            drop = fault.get("drop")
            if drop == "before-head":
                return self.drop()
            if drop == "mid-body":
                head = self.head(status, ctype, len(data))
                self.wfile.write(head + data[:len(data) // 2])
                self.wfile.flush()
                return self.drop()
            if "slowwrite" in fault:
                return self.send_slowly(status, ctype, data, float(fault["slowwrite"]))
        extra = {"Location": fault["location"]} if fault and "location" in fault else {}
        if (fault and fault.get("keepalive")) or entry["reuse"]:
            self.keep_alive = True
            extra["Connection"] = "keep-alive"
        self.send(status, ctype, data, extra)

    def drop(self):
        # RST rather than FIN, as a crashed server or a broken link would end it.
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\0\0\0\0\0\0\0")
        self.connection.close()

    def head(self, status, ctype, length, extra=None):
        extra = dict(extra or {})
        extra.setdefault("Connection", "close")
        lines = "".join("%s: %s\r\n" % item for item in extra.items())
        return ("HTTP/1.1 %d %s\r\nContent-Type: %s\r\nContent-Length: %d\r\n%s\r\n"
                % (status, REASONS.get(status, "Status"), ctype, length, lines)).encode("latin-1")

    def send_slowly(self, status, ctype, data, rate):
        # Head at once, then the body in tenth-of-a-second slices: a client sees data
        # arrive (and can give up between chunks) long before the answer is complete.
        self.wfile.write(self.head(status, ctype, len(data), None))
        self.wfile.flush()
        step = max(1, int(rate / 10))
        for start in range(0, len(data), step):
            self.wfile.write(data[start:start + step])
            self.wfile.flush()
            time.sleep(0.1)

    def send(self, status, ctype, data, extra=None):
        self.wfile.write(self.head(status, ctype, len(data), extra) + data)
        self.wfile.flush()

    def control(self, method, path, body):
        srv = self.server
        form = {k: v[0] for k, v in urllib.parse.parse_qs(body.decode("utf-8"),
                                                             keep_blank_values=True).items()}
        m = re.fullmatch(r"/__journal/(\d+)/(head|body|fields|connection)", path)
        if path == "/__health":
            return self.send(200, "text/plain", b"ok")
        if path == "/__journal/count":
            return self.send(200, "text/plain", str(srv.journal.count()).encode())
        if path == "/__arrived":
            return self.send(200, "text/plain", str(srv.arrivals()).encode())
        if path.startswith("/__journal/count/"):
            wanted = path[len("/__journal/count"):]
            with srv.journal.lock:
                n = sum(1 for e in srv.journal.entries if e["path"] == wanted)
            return self.send(200, "text/plain", str(n).encode())
        if path == "/__tags/asked":
            with srv.journal.lock:
                asked = [tag_token(e) for e in srv.journal.entries
                         if e["path"] == service.TAGS_PATH]
            return self.send(200, "text/plain; charset=utf-8",
                             "".join(t + "\n" for t in asked).encode("utf-8"))
        if path == "/__journal":
            with srv.journal.lock:
                summary = [{"method": e["method"], "target": e["target"], "path": e["path"],
                            "host": e["host"], "head": e["head"].decode("latin-1"),
                            "connection": e["connection"],
                            "body_length": len(e["body"]), "form_error": e.get("form_error"),
                            "fields": fields_text(e.get("parts", [])).splitlines()}
                           for e in srv.journal.entries]
            return self.send(200, "application/json",
                             json.dumps(summary, ensure_ascii=False, indent=1).encode())
        if m:
            entry = srv.journal.get(int(m.group(1)))
            if entry is None:
                return self.send(404, "text/plain", b"no such entry\n")
            what = m.group(2)
            data = (entry["head"] if what == "head" else entry["body"] if what == "body"
                    else b"%d" % entry["connection"] if what == "connection"
                    else fields_text(entry.get("parts", [])).encode("utf-8"))
            return self.send(200, "application/octet-stream", data)
        if method != "POST":
            return self.send(404, "text/plain", b"unknown control path\n")
        if path == "/__journal/clear":
            srv.journal.clear()
            return self.send(200, "text/plain", b"ok")
        if path == "/__reset":
            srv.generation += 1
            srv.journal.clear()
            srv.scripts.clear()
            srv.count_arrival(reset=True)
            srv.service.reset()
            return self.send(200, "text/plain", b"ok")
        if path == "/__script":
            srv.scripts.add(form)
            return self.send(200, "text/plain", b"ok")
        if path == "/__account":
            lists = urllib.parse.parse_qs(body.decode("utf-8"), keep_blank_values=True)
            untitled = {int(k) for k in form.get("untitled", "").split(",") if k.strip()}
            uid = srv.service.add_account(form.get("login", ""), form.get("password", ""),
                                          int(form.get("albums", "0")), form.get("id"),
                                          lists.get("title"), untitled)
            if form.get("ticket"):
                srv.service.add_ticket(form["ticket"], uid)
            return self.send(200, "text/plain", uid.encode())
        if path == "/__challenge":
            srv.service.set_block_digits(int(form.get("digits", "40")))
            return self.send(200, "text/plain", b"ok")
        if path == "/__version":
            srv.service.set_version(form.get("major", "3"), form.get("minor", "1"),
                                    form.get("path", ""), int(form.get("times", "0") or 0))
            return self.send(200, "text/plain", b"ok")
        if path == "/__tags":
            tags = [t for t in form.get("tags", "").split("\n") if t]
            count = int(form.get("generate", "0"))
            tags += ["%s%05d" % (form.get("stem", "tag"), i) for i in range(count)]
            srv.service.set_tags(tags, append=form.get("append") == "1")
            return self.send(200, "text/plain", b"ok")
        return self.send(404, "text/plain", b"unknown control path\n")


def tag_token(entry):
    """SUBSTR_TAG of a journalled tag query ("(none)" when the field was left out)."""
    for p in entry.get("parts", []):
        if p.name == "SUBSTR_TAG" and p.filename is None:
            return p.data.decode("utf-8", "replace")
    return "(none)"


SERVICE_PATHS = (service.UPLOAD_PATH, service.LOGIN1_PATH, service.LOGIN2_PATH,
                 service.ALBUMS_PATH, service.TAGS_PATH, service.VERSION_PATH)


def fields_text(parts):
    lines = []
    for p in parts:
        if p.filename is not None:
            lines.append("%s=@%s:%d" % (p.name, p.filename, len(p.data)))
        else:
            lines.append("%s=%s" % (p.name, urllib.parse.quote(p.data, safe="")))
    return "".join(line + "\n" for line in lines)


def apply_fault(fault, status, ctype, data):
    """The answer as the fault script changes it."""
    if "status" in fault:
        status = int(fault["status"])
    if "code" in fault:
        data = service.envelope(code=int(fault["code"]), msg=fault.get("msg", ""))
    if fault.get("noerr"):
        data = re.sub(rb"<Err/>|<Err>.*?</Err>", b"", data, flags=re.S)
    if "element" in fault:  # that element's text replaced; CR and LF kept as references
        name = re.escape(fault["element"].encode())
        text = (fault.get("text", "").replace("&", "&amp;").replace("<", "&lt;")
                .replace(">", "&gt;").replace("\r", "&#13;").replace("\n", "&#10;"))
        data = re.sub(rb"<" + name + rb"(/>|>.*?</" + name + rb">)",
                      lambda m: b"<%s>%s</%s>" % (fault["element"].encode(), text.encode("utf-8"),
                                                  fault["element"].encode()), data, flags=re.S)
    if "omit" in fault:
        name = re.escape(fault["omit"].encode())
        data = re.sub(rb"<" + name + rb"(/>|>.*?</" + name + rb">)", b"", data, flags=re.S)
    if fault.get("malformed"):
        data = data[:max(1, len(data) * 2 // 3)]
    if "body" in fault:
        data = fault["body"].encode("utf-8")
    if "size" in fault:
        n = int(fault["size"])
        data = (data + b" " * n)[:n] if data.startswith(b"<") else b"a" * n
    return status, ctype, data


class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, port, picture_dir, public_host, io_timeout):
        super().__init__(("127.0.0.1", port), Handler)
        self.port = self.server_address[1]
        self.io_timeout = io_timeout
        self.journal = Journal()
        self.scripts = Scripts()
        self.service = service.Service(picture_dir,
                                       "http://" + (public_host or "127.0.0.1:%d" % self.port))
        self.last_request = time.monotonic()
        self.arrival_lock = threading.Lock()
        self.arrived = 0
        self.generation = 0  # raised by every reset
        self.connections = 0

    def next_connection(self):
        with self.arrival_lock:
            self.connections += 1
            return self.connections

    def count_arrival(self, reset=False):
        with self.arrival_lock:
            self.arrived = 0 if reset else self.arrived + 1

    def arrivals(self):
        with self.arrival_lock:
            return self.arrived

    def touch(self):
        self.last_request = time.monotonic()


def alive(pid):
    try:
        os.kill(pid, 0)
        return True
    except ProcessLookupError:
        return False
    except PermissionError:
        return True


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--port-file", help="also write the port into this file")
    ap.add_argument("--public-host", help="host[:port] of returned picture addresses")
    ap.add_argument("--watch-pid", type=int, help="stop when this process ends")
    ap.add_argument("--idle", type=float, default=0, help="stop after this many idle seconds")
    ap.add_argument("--io-timeout", type=float, default=900)
    args = ap.parse_args()

    with tempfile.TemporaryDirectory(prefix="lumexia-standin-") as pictures:
        server = Server(args.port, pictures, args.public_host, args.io_timeout)
        stop = threading.Event()
        signal.signal(signal.SIGTERM, lambda *_: stop.set())
        signal.signal(signal.SIGINT, lambda *_: stop.set())
        threading.Thread(target=server.serve_forever, daemon=True).start()
        print(server.port, flush=True)
        if args.port_file:
            tmp = args.port_file + ".tmp"
            with open(tmp, "w") as f:
                f.write("%d\n" % server.port)
            os.replace(tmp, args.port_file)
        while not stop.wait(0.5):
            if args.watch_pid and not alive(args.watch_pid):
                break
            if args.idle and time.monotonic() - server.last_request > args.idle:
                break
        server.shutdown()
        server.server_close()


if __name__ == "__main__":
    main()
