#!/usr/bin/env python3
"""A small WebDAV server for what no packaged server covers: the chunked
upload of the Nextcloud/ownCloud family (upload folders, chunk PUTs, MOVE of
".file" with OC-Total-Length, assembly in the background), PROPPATCH of the
modification time, quota properties, and faults (a server that ignores Range,
dropped connections, slow and trickled replies, broken status lines and
headers, odd status codes, a PUT that ignores If-None-Match, MOVEs refused
for no stated reason or answered 204 for a new name, hrefs written without
escapes, a COPY that fails onto names outside ASCII, a listing without end,
207 answers to COPY, MOVE and DELETE, locked files, a COPY and MOVE that
ignore "Overwrite: F", a PUT written into the file as it arrives, a 206
without its bytes, a size that is no size).

Files live in memory. Every request is appended to the log file as one JSON
line, so tests can see what went over the wire.

Prints "PORT <n>" on stdout once it listens.
"""

import argparse
import email.utils
import hashlib
import html
import itertools
import json
import os
import re
import socket
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from fake_serve import serve  # noqa: E402

LOCK = threading.Lock()
NODES = {}  # path -> dict(dir, data, size, mtime, etag)
COUNTERS = {"get": 0}
ARGS = None


def now_etag(data_id):
    return hashlib.sha1(("%s-%f" % (data_id, time.time())).encode()).hexdigest()[:16]


def put_node(path, data=None, is_dir=False, size=None):
    node = {
        "dir": is_dir,
        "data": data if data is not None else b"",
        "size": size if size is not None else (len(data) if data is not None else 0),
        "mtime": time.time(),
        "etag": now_etag(path),
    }
    NODES[path] = node
    return node


def norm(path):
    parts = [p for p in path.split("/") if p not in ("", ".")]
    out = []
    for p in parts:
        if p == "..":
            if out:
                out.pop()
        else:
            out.append(p)
    return "/" + "/".join(out)


def parent(path):
    return norm(path.rsplit("/", 1)[0]) if path != "/" else "/"


def children(path):
    prefix = path.rstrip("/") + "/"
    return sorted(p for p in NODES if p.startswith(prefix) and "/" not in p[len(prefix):] and p != path)


def subtree(path):
    prefix = path.rstrip("/") + "/"
    return [p for p in NODES if p == path or p.startswith(prefix)]


def http_date(t):
    return email.utils.formatdate(t, usegmt=True)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "FakeDav/1.0"

    def log_message(self, fmt, *args):
        pass

    # --- plumbing -------------------------------------------------------
    def path_of(self, raw=None):
        raw = raw if raw is not None else self.path
        return norm(urllib.parse.unquote(urllib.parse.urlsplit(raw).path))

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        if "chunked" in (self.headers.get("Transfer-Encoding") or "").lower():
            self.chunked_seen = True
        keep = ARGS.discard_over == 0 or length <= ARGS.discard_over
        chunks = []
        got = 0
        digest = hashlib.sha256()
        while got < length:
            piece = self.rfile.read(min(1 << 20, length - got))
            if not piece:
                break
            got += len(piece)
            digest.update(piece)
            if keep:
                chunks.append(piece)
        self.body_sha = digest.hexdigest()
        return (b"".join(chunks) if keep else None), got

    def record(self, extra=None):
        if not ARGS.log:
            return
        entry = {"method": self.command, "path": self.path, "client": self.client_address[1],
                 "headers": {k: v for k, v in self.headers.items()}}
        if extra:
            entry.update(extra)
        with LOCK:
            with open(ARGS.log, "a") as f:
                f.write(json.dumps(entry) + "\n")

    def reply(self, status, body=b"", headers=None, content_type=None):
        if status >= 400 and ARGS.error_body:
            body = b"e" * ARGS.error_body
        self.send_response(status)
        for k, v in (headers or {}).items():
            self.send_header(k, v)
        if content_type:
            self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if body and self.command != "HEAD":
            self.wfile.write(body)

    def outcome(self, status, path, inner=None):
        """Answers a COPY, MOVE or DELETE: with --multistatus as a 207 that
        names the status of each member (`inner`: (path, status) pairs,
        else the request's own path), otherwise with the status itself."""
        if not ARGS.multistatus:
            return self.reply(status)
        members = inner or [(path, status)]
        parts = ['<?xml version="1.0" encoding="utf-8"?>\n<d:multistatus xmlns:d="DAV:">']
        for p, code in members:
            parts.append("<d:response><d:href>%s</d:href><d:status>HTTP/1.1 %d %s</d:status></d:response>"
                         % (urllib.parse.quote(p), code, self.responses.get(code, ("",))[0]))
        parts.append("</d:multistatus>\n")
        self.reply(207, "".join(parts).encode(), content_type='application/xml; charset="utf-8"')

    def locked_in(self, path):
        """The locked path at or under `path`, or None."""
        lock = ARGS.locked
        if lock and (lock == path or lock.startswith(path.rstrip("/") + "/")):
            return lock
        return None

    def check_auth(self):
        if ARGS.offer_schemes:
            self.send_response(401)
            for scheme in ARGS.offer_schemes.split(","):
                self.send_header("WWW-Authenticate", scheme)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return False
        if not ARGS.basic:
            return True
        import base64
        want = "Basic " + base64.b64encode(ARGS.basic.encode()).decode()
        if self.headers.get("Authorization") == want:
            return True
        self.reply(401, b"", {"WWW-Authenticate": 'Basic realm="fake"'})
        return False

    def handle_one(self, fn):
        length = int(self.headers.get("Content-Length") or 0)
        self.record({"length": length})
        if ARGS.raw_reply:
            return self.raw_reply()
        if ARGS.dir_redirect and self.slash_mismatch():
            return
        if ARGS.slow_ms:
            time.sleep(ARGS.slow_ms / 1000.0)
        if not self.check_auth():
            self.read_body()
            return
        fn()

    # --- verbs ----------------------------------------------------------
    def do_GET(self):
        self.handle_one(self.get)

    def do_PUT(self):
        self.handle_one(self.put)

    def do_PROPFIND(self):
        self.handle_one(self.propfind)

    def do_PROPPATCH(self):
        self.handle_one(self.proppatch)

    def do_MKCOL(self):
        self.handle_one(self.mkcol)

    def do_DELETE(self):
        self.handle_one(self.delete)

    def do_MOVE(self):
        self.handle_one(self.move)

    def do_COPY(self):
        if not ARGS.copy_fails_non_ascii and not ARGS.copy:
            # As without the method: unlogged, as BaseHTTPRequestHandler does.
            return self.send_error(501, "Unsupported method ('COPY')")
        self.handle_one(self.copy)

    def slash_mismatch(self):
        """As Apache with mod_dir: a folder URL without its slash is
        redirected to the URL with one, a file URL with one is refused."""
        raw = urllib.parse.urlsplit(self.path).path
        with LOCK:
            node = NODES.get(self.path_of())
        if node is None or raw == "/":
            return False
        if node["dir"] and not raw.endswith("/"):
            self.read_body()
            self.reply(301, b"", {"Location": "http://%s%s/" % (self.headers.get("Host"), raw)})
            return True
        if not node["dir"] and raw.endswith("/"):
            self.read_body()
            self.reply(400)
            return True
        return False

    def raw_reply(self):
        """Answers with bytes no HTTP server should send, then closes."""
        if ARGS.raw_reply == "no-status-line":
            self.wfile.write(b"HTTQ/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")
        elif ARGS.raw_reply == "huge-header":
            self.wfile.write(b"HTTP/1.1 200 OK\r\nX-Big: " + b"a" * (1 << 20) + b"\r\nContent-Length: 0\r\n\r\n")
        elif ARGS.raw_reply == "many-headers":
            lines = b"".join(b"X-%d: %s\r\n" % (i, b"a" * 1000) for i in range(400))
            self.wfile.write(b"HTTP/1.1 200 OK\r\n" + lines + b"Content-Length: 0\r\n\r\n")
        self.wfile.flush()
        self.close_connection = True

    def trickle(self, status, body, headers):
        """Sends the body one byte at a time, --trickle-ms apart."""
        self.send_response(status)
        for k, v in headers.items():
            self.send_header(k, v)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.flush()
        for i in range(len(body)):
            time.sleep(ARGS.trickle_ms / 1000.0)
            self.wfile.write(body[i:i + 1])
            self.wfile.flush()

    def get(self):
        path = self.path_of()
        if path == "/moved":
            return self.reply(301, b"", {"Location": "/plain/"})
        if ARGS.get_status:
            return self.reply(ARGS.get_status)
        with LOCK:
            node = NODES.get(path)
            COUNTERS["get"] += 1
            nth = COUNTERS["get"]
        if node is None:
            return self.reply(404)
        if node["dir"]:
            return self.reply(200, b"folder", content_type="text/plain")
        data = node["data"]
        size = len(data)
        rng = self.headers.get("Range")
        status, start, end = 200, 0, size
        if rng and not ARGS.ignore_range:
            m = re.match(r"bytes=(\d+)-(\d*)$", rng.strip())
            if m:
                start = int(m.group(1))
                end = min(int(m.group(2)) + 1, size) if m.group(2) else size
                if start >= size:
                    return self.reply(416, b"", {"Content-Range": "bytes */%d" % size})
                status = 206
        if status == 206 and ARGS.wrong_range:
            start, end = start + 1, min(end + 1, size)
        if status == 206 and ARGS.range_cost_ms_per_mib:
            # A server that reads its way to the offset of every range.
            time.sleep(start / (1 << 20) * ARGS.range_cost_ms_per_mib / 1000.0)
        body = data[start:end]
        headers = {"ETag": '"%s"' % node["etag"], "Last-Modified": http_date(node["mtime"])}
        if status == 206:
            headers["Content-Range"] = "bytes %d-%d/%d" % (start, end - 1, size)
            asked_end = re.match(r"bytes=\d+-(\d*)$", rng.strip()).group(1)
            if ARGS.empty_partial_past_end and (not asked_end or int(asked_end) + 1 > size):
                body = b""
        if ARGS.drop_get_after and nth == 1:
            self.send_response(status)
            for k, v in headers.items():
                self.send_header(k, v)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body[: ARGS.drop_get_after])
            self.wfile.flush()
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
            return
        if ARGS.trickle_ms:
            return self.trickle(status, body, headers)
        self.reply(status, body, headers, "application/octet-stream")

    def put_in_place(self, path):
        """Writes the body into the file as it arrives, as servers without
        a file of their own for uploads do: a cut body leaves what came."""
        length = int(self.headers.get("Content-Length") or 0)
        with LOCK:
            if parent(path) not in NODES or NODES[parent(path)]["dir"] is False:
                self.read_body()
                return self.reply(409)
            existed = path in NODES
            node = put_node(path, b"")
        got = 0
        while got < length:
            piece = self.rfile.read1(min(4096, length - got))
            if not piece:
                return
            got += len(piece)
            with LOCK:
                node["data"] += piece
                node["size"] = len(node["data"])
                node["mtime"] = time.time()
                node["etag"] = now_etag(path)
        self.reply(204 if existed else 201, b"", {"ETag": '"%s"' % node["etag"]})

    def put(self):
        path = self.path_of()
        if ARGS.put_in_place and self.headers.get("If-None-Match") != "*":
            return self.put_in_place(path)
        data, got = self.read_body()
        with LOCK:
            if getattr(self, "chunked_seen", False):
                return self.reply(411)
            if parent(path) not in NODES or NODES[parent(path)]["dir"] is False:
                return self.reply(409)
            existing = NODES.get(path)
            if existing is not None and existing["dir"]:
                return self.reply(405)
            if self.headers.get("If-None-Match") == "*" and existing is not None and not ARGS.ignore_if_none_match:
                return self.reply(412)
            node = put_node(path, data, size=got)
            if data is None:
                node["data"] = b""
                node["sha256"] = self.body_sha
        self.reply(204 if existing is not None else 201, b"", {"ETag": '"%s"' % node["etag"]})

    def mkcol(self):
        path = self.path_of()
        self.read_body()
        with LOCK:
            if path in NODES:
                return self.reply(405)
            if parent(path) not in NODES:
                return self.reply(409)
            put_node(path, is_dir=True)
        self.reply(201)

    def delete(self):
        path = self.path_of()
        self.read_body()
        with LOCK:
            if path not in NODES:
                return self.reply(404)
            lock = self.locked_in(path)
            if lock is not None:
                inner = [(lock, 423)] + ([(path, 424)] if lock != path else [])
                return self.outcome(423, path, inner)
            for p in subtree(path):
                del NODES[p]
        self.outcome(204, path)

    def destination(self):
        dest = self.headers.get("Destination") or ""
        return self.path_of(dest)

    def move(self):
        path = self.path_of()
        self.read_body()
        dest = self.destination()
        if path.endswith("/.file"):
            return self.assemble(parent(path), dest)
        if ARGS.refuse_move:
            return self.reply(ARGS.refuse_move)
        overwrite = (self.headers.get("Overwrite") or "T").upper() != "F" or ARGS.ignore_overwrite
        with LOCK:
            if path not in NODES:
                return self.reply(404)
            if parent(dest) not in NODES:
                return self.reply(409)
            existed = dest in NODES
            if existed and not overwrite:
                return self.outcome(412, dest)
            lock = self.locked_in(path) or (self.locked_in(dest) if existed else None)
            if lock is not None:
                return self.outcome(423, lock)
            for p in subtree(dest):
                del NODES[p]
            for p in sorted(subtree(path)):
                NODES[dest + p[len(path):]] = NODES.pop(p)
        made = ARGS.new_name_status or 201
        self.outcome(made if not existed or ARGS.ignore_overwrite else 204, dest)

    def copy(self):
        """Files only, as creates use it; onto a name that holds letters
        outside ASCII it answers --copy-fails-non-ascii."""
        path = self.path_of()
        self.read_body()
        dest = self.destination()
        if ARGS.copy_fails_non_ascii and any(ord(c) > 127 for c in dest):
            return self.reply(ARGS.copy_fails_non_ascii)
        overwrite = (self.headers.get("Overwrite") or "T").upper() != "F" or ARGS.ignore_overwrite
        with LOCK:
            node = NODES.get(path)
            if node is None:
                return self.reply(404)
            if node["dir"]:
                return self.reply(403)
            if parent(dest) not in NODES:
                return self.reply(409)
            existed = dest in NODES
            if existed and not overwrite:
                return self.outcome(412, dest)
            if existed and self.locked_in(dest) is not None:
                return self.outcome(423, dest)
            put_node(dest, node["data"], size=node["size"])
        self.outcome(204 if existed and not ARGS.ignore_overwrite else 201, dest)

    def assemble(self, folder, dest):
        total = int(self.headers.get("OC-Total-Length") or -1)

        def work():
            with LOCK:
                if folder not in NODES:
                    return 404
                names = [c for c in children(folder)]
                data = b"".join(NODES[c]["data"] for c in names)
                if total >= 0 and len(data) != total:
                    return 400
                if parent(dest) not in NODES:
                    return 409
                existed = dest in NODES
                for p in subtree(folder):
                    del NODES[p]
                put_node(dest, data)
                return 204 if existed else 201

        if ARGS.move_status:
            def later():
                time.sleep(ARGS.assemble_delay_ms / 1000.0)
                if ARGS.assemble_drop:
                    with LOCK:
                        for p in subtree(folder):
                            del NODES[p]
                else:
                    work()

            threading.Thread(target=later, daemon=True).start()
            return self.reply(ARGS.move_status)
        self.reply(work())

    def endless_propfind(self, path):
        """A 207 that never ends: one more child after another until the
        client goes (or, so that a client without bounds fails its test
        rather than hangs it, until 64 MiB went out)."""
        self.send_response(207)
        self.send_header("Content-Type", 'application/xml; charset="utf-8"')
        self.send_header("Content-Length", str(1 << 50))
        self.end_headers()
        base = urllib.parse.quote(path.rstrip("/"))
        try:
            self.wfile.write(b'<?xml version="1.0" encoding="utf-8"?>\n<d:multistatus xmlns:d="DAV:">')
            sent = 0
            for i in itertools.count():
                if sent > 64 << 20:
                    break
                sent += self.wfile.write((
                    "<d:response><d:href>%s/x%d</d:href><d:propstat><d:prop><d:resourcetype/>"
                    "<d:getcontentlength>1</d:getcontentlength></d:prop><d:status>HTTP/1.1 200 OK</d:status>"
                    "</d:propstat></d:response>" % (base, i)).encode())
        except (BrokenPipeError, ConnectionResetError):
            pass
        self.close_connection = True

    def propfind(self):
        path = self.path_of()
        self.read_body()
        if path == ARGS.endless_propfind:
            return self.endless_propfind(path)
        depth = self.headers.get("Depth", "infinity")
        with LOCK:
            node = NODES.get(path)
            if node is None or (ARGS.stale_propfind and not node["dir"]):
                return self.reply(404)
            if ARGS.propfind_status:
                return self.reply(ARGS.propfind_status)
            paths = [path]
            if depth == "1" and node["dir"]:
                paths += children(path)
            parts = ['<?xml version="1.0" encoding="utf-8"?>\n<d:multistatus xmlns:d="DAV:">']
            for p in paths:
                n = NODES[p]
                href = urllib.parse.quote(p + ("/" if n["dir"] and p != "/" else ""))
                if ARGS.raw_hrefs:
                    href = html.escape(p + ("/" if n["dir"] and p != "/" else ""), quote=False)
                if p == ARGS.wrong_href:
                    href = href.rstrip("/") + "-elsewhere"
                props = []
                if n["dir"]:
                    props.append("<d:resourcetype><d:collection/></d:resourcetype>")
                else:
                    props.append("<d:resourcetype/>")
                    size = "-1" if p == ARGS.bad_size else "%d" % n["size"]
                    props.append("<d:getcontentlength>%s</d:getcontentlength>" % size)
                props.append("<d:getlastmodified>%s</d:getlastmodified>" % http_date(n["mtime"]))
                props.append('<d:getetag>"%s"</d:getetag>' % n["etag"])
                if ARGS.quota and p == path:
                    avail, used = ARGS.quota.split(",")
                    props.append("<d:quota-available-bytes>%s</d:quota-available-bytes>" % avail)
                    props.append("<d:quota-used-bytes>%s</d:quota-used-bytes>" % used)
                parts.append(
                    "<d:response><d:href>%s</d:href><d:propstat><d:prop>%s</d:prop>"
                    "<d:status>HTTP/1.1 200 OK</d:status></d:propstat>"
                    "<d:propstat><d:prop><d:creationdate/></d:prop>"
                    "<d:status>HTTP/1.1 404 Not Found</d:status></d:propstat></d:response>" % (href, "".join(props))
                )
            parts.append(" " * ARGS.propfind_padding + "</d:multistatus>\n")
        self.reply(207, "".join(parts).encode(), content_type='application/xml; charset="utf-8"')

    def proppatch(self):
        path = self.path_of()
        data, _ = self.read_body()
        text = (data or b"").decode("utf-8", "replace")
        m = re.search(r"<d:lastmodified>(-?\d+)</d:lastmodified>", text)
        with LOCK:
            node = NODES.get(path)
            if node is None:
                return self.reply(404)
            href = urllib.parse.quote(path)
            if ARGS.proppatch_refuse or not m:
                status = "HTTP/1.1 403 Forbidden"
                note = "<d:responsedescription>setting 200 properties is not allowed</d:responsedescription>"
            else:
                node["mtime"] = float(m.group(1))
                status = "HTTP/1.1 200 OK"
                note = ""
        body = (
            '<?xml version="1.0"?><d:multistatus xmlns:d="DAV:"><d:response><d:href>%s</d:href>'
            "<d:propstat><d:prop><d:lastmodified/></d:prop><d:status>%s</d:status></d:propstat>%s"
            "</d:response></d:multistatus>" % (href, status, note)
        )
        self.reply(207, body.encode(), content_type="application/xml")


def main():
    global ARGS
    ap = argparse.ArgumentParser()
    ap.add_argument("--bind", default="127.0.0.1")
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--user", default="alice", help="the layout's user: /remote.php/dav/files/USER")
    ap.add_argument("--log", default="")
    ap.add_argument("--basic", default="", help="USER:PASSWORD required as Basic authentication")
    ap.add_argument("--offer-schemes", default="", help="answer every request 401 offering these schemes")
    ap.add_argument("--ignore-range", action="store_true")
    ap.add_argument("--drop-get-after", type=int, default=0, help="the first GET ends after N body bytes")
    ap.add_argument("--slow-ms", type=int, default=0)
    ap.add_argument("--propfind-status", type=int, default=0, help="answer PROPFIND of present paths with this")
    ap.add_argument("--proppatch-refuse", action="store_true")
    ap.add_argument("--move-status", type=int, default=0, help="answer the assembling MOVE with this and assemble later")
    ap.add_argument("--assemble-delay-ms", type=int, default=300)
    ap.add_argument("--assemble-drop", action="store_true", help="after --move-status, drop the upload")
    ap.add_argument("--quota", default="", help="AVAILABLE,USED reported for the requested object")
    ap.add_argument("--discard-over", type=int, default=0, help="keep only the size of bodies above N bytes")
    ap.add_argument("--get-status", type=int, default=0, help="answer every GET with this status and no body")
    ap.add_argument("--wrong-range", action="store_true", help="answer ranged GETs with the range one byte later")
    ap.add_argument("--range-cost-ms-per-mib", type=float, default=0,
                    help="a ranged GET waits N ms for every MiB of its offset before its first byte")
    ap.add_argument("--trickle-ms", type=int, default=0, help="send GET bodies one byte every N ms")
    ap.add_argument("--raw-reply", default="", choices=["", "no-status-line", "huge-header", "many-headers"],
                    help="answer every request with this broken reply")
    ap.add_argument("--ignore-if-none-match", action="store_true", help="PUT replaces files whatever If-None-Match says")
    ap.add_argument("--dir-redirect", action="store_true", help="folder URLs without a slash answer 301")
    ap.add_argument("--error-body", type=int, default=0, help="error replies carry a body of N bytes")
    ap.add_argument("--propfind-padding", type=int, default=0, help="N blanks at the end of every PROPFIND reply")
    ap.add_argument("--wrong-href", default="", help="PROPFIND replies name another path for this one")
    ap.add_argument("--endless-propfind", default="", help="PROPFIND of this path streams a reply without end")
    ap.add_argument("--refuse-move", type=int, default=0, help="answer every MOVE but the assembling one with this")
    ap.add_argument("--new-name-status", type=int, default=0,
                    help="answer a MOVE onto a new name with this (nginx: 204)")
    ap.add_argument("--raw-hrefs", action="store_true",
                    help="PROPFIND hrefs are paths as they stand: '?', '#', blanks and UTF-8 not escaped")
    ap.add_argument("--copy-fails-non-ascii", type=int, default=0,
                    help="serve COPY of files, but answer one onto a name outside ASCII with this status")
    ap.add_argument("--stale-propfind", action="store_true", help="PROPFIND answers 404 for files, as a lagging index")
    ap.add_argument("--copy", action="store_true", help="serve COPY of files")
    ap.add_argument("--bad-size", default="", help="PROPFIND replies give this file the size -1")
    ap.add_argument("--multistatus", action="store_true",
                    help="answer COPY, MOVE and DELETE with a 207 that holds the status of each member")
    ap.add_argument("--locked", default="", help="COPY onto, MOVE and DELETE of a tree holding this path answer 423")
    ap.add_argument("--ignore-overwrite", action="store_true",
                    help="COPY and MOVE replace what stands at the target whatever Overwrite says, answering 201")
    ap.add_argument("--put-in-place", action="store_true",
                    help="a PUT empties the file, then writes the body into it as it arrives")
    ap.add_argument("--empty-partial-past-end", action="store_true",
                    help="a range that runs past the end of the file is answered 206 with no bytes")
    ARGS = ap.parse_args()

    for p in ["/", "/remote.php", "/remote.php/dav", "/remote.php/dav/files", "/remote.php/dav/uploads",
              "/remote.php/dav/files/" + ARGS.user, "/remote.php/dav/uploads/" + ARGS.user, "/plain"]:
        put_node(p, is_dir=True)

    serve(Handler, ARGS.bind, ARGS.port)

if __name__ == "__main__":
    main()
