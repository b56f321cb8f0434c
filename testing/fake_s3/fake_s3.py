#!/usr/bin/env python3
"""A small S3 store for what the real test store does not show: the region
correction (AuthorizationHeaderMalformed naming another region), redirects,
error documents inside 200 replies, keys URL-encoded with "+" in listings,
SlowDown and InternalError, a store that ignores Range, part replies without
an ETag, short listing pages, parts held until a test lets them go, and server kinds named in the Server header.

Path-style addresses only; any bucket exists. Objects live in memory.
Signatures are not checked, only the region of the credential scope. Every
request is appended to the log file as one JSON line, so tests can see what
went over the wire.

Prints "PORT <n>" on stdout once it listens.
"""

import argparse
import email.utils
import hashlib
import json
import os
import re
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from fake_serve import serve  # noqa: E402

LOCK = threading.Lock()
OBJECTS = {}  # (bucket, key) -> dict(data, etag, mtime)
UPLOADS = {}  # upload id -> dict(bucket, key, parts: number -> (data, etag))
FAULTS = []   # dict(method, status, code, left, match)
ARGS = None


def http_date(t):
    return email.utils.formatdate(t, usegmt=True)


def iso_date(t):
    return time.strftime("%Y-%m-%dT%H:%M:%S.000Z", time.gmtime(t))


def xml_text(s):
    return s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def error_doc(code, message="", extra=""):
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Error><Code>%s</Code><Message>%s</Message>%s"
            "<RequestId>fake</RequestId></Error>" % (code, xml_text(message), extra)).encode()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def version_string(self):
        return ARGS.server

    def log_message(self, fmt, *args):
        pass

    def record(self):
        if not ARGS.log:
            return
        entry = {"method": self.command, "path": self.path, "client": self.client_address[1],
                 "headers": {k.lower(): v for k, v in self.headers.items()}}
        with LOCK:
            with open(ARGS.log, "a") as f:
                f.write(json.dumps(entry) + "\n")

    def reply(self, status, body=b"", headers=None, content_type=None):
        self.send_response(status)
        for k, v in (headers or {}).items():
            self.send_header(k, v)
        if content_type:
            self.send_header("Content-Type", content_type)
        length = str(len(body))
        if self.command == "HEAD" and status == 200 and ARGS.claim_size:
            length = ARGS.claim_size
        self.send_header("Content-Length", length)
        self.end_headers()
        if body and self.command != "HEAD":
            self.wfile.write(body)

    def fail(self, status, code, message="", extra=""):
        self.reply(status, error_doc(code, message, extra) if code != "-" else b"", content_type="application/xml")

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        data = bytearray()
        while len(data) < length:
            piece = self.rfile.read(min(1 << 20, length - len(data)))
            if not piece:
                break
            data += piece
        return bytes(data)

    # --- dispatch -------------------------------------------------------
    def handle_any(self):
        self.record()
        body = self.read_body() if self.command in ("PUT", "POST", "DELETE") else b""
        split = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(split.query, keep_blank_values=True))
        parts = split.path.split("/", 2)
        bucket = urllib.parse.unquote(parts[1]) if len(parts) > 1 else ""
        key = urllib.parse.unquote(parts[2]) if len(parts) > 2 else ""

        auth = self.headers.get("Authorization") or ""
        m = re.search(r"Credential=[^/]+/\d{8}/([^/]+)/", auth)
        region = m.group(1) if m else ""
        if ARGS.malformed_always and auth:
            a, b = ARGS.malformed_always.split(",")
            return self.fail(400, "AuthorizationHeaderMalformed", "wrong region",
                             "<Region>%s</Region>" % (b if region == a else a))
        if auth and region != ARGS.region:
            return self.fail(400, "AuthorizationHeaderMalformed",
                             "the region '%s' is wrong; expecting '%s'" % (region, ARGS.region),
                             "<Region>%s</Region>" % ARGS.region)
        for f in FAULTS:
            if f["method"] in ("*", self.command) and f["match"] in self.path and f["left"] != 0:
                f["left"] -= 1
                return self.fail(f["status"], f["code"], "injected")

        if not key:
            if self.command == "GET" and query.get("list-type") == "2":
                return self.list_objects(bucket, query)
            return self.fail(400, "InvalidRequest", "bucket operations are not served")
        if self.command == "POST" and "uploads" in query:
            return self.initiate(bucket, key)
        if "uploadId" in query:
            return self.multipart(bucket, key, query, body)
        if self.command == "PUT":
            source = self.headers.get("x-amz-copy-source")
            return self.copy(bucket, key, source) if source else self.put(bucket, key, body)
        if self.command in ("GET", "HEAD"):
            return self.get(bucket, key)
        if self.command == "DELETE":
            with LOCK:
                OBJECTS.pop((bucket, key), None)
            return self.reply(204)
        return self.fail(405, "MethodNotAllowed")

    do_GET = do_HEAD = do_PUT = do_POST = do_DELETE = handle_any

    # --- objects --------------------------------------------------------
    def store(self, bucket, key, data, etag=None):
        obj = {"data": data, "etag": etag or hashlib.md5(data).hexdigest(), "mtime": time.time()}
        with LOCK:
            OBJECTS[(bucket, key)] = obj
        return obj

    def put(self, bucket, key, data):
        obj = self.store(bucket, key, data)
        self.reply(200, headers={"ETag": '"%s"' % obj["etag"]})

    def copy(self, bucket, key, source):
        src = urllib.parse.unquote(source).lstrip("/").split("/", 1)
        with LOCK:
            obj = OBJECTS.get((src[0], src[1] if len(src) > 1 else ""))
        if obj is None:
            return self.fail(404, "NoSuchKey", "no source")
        new = self.store(bucket, key, obj["data"], obj["etag"])
        body = ("<CopyObjectResult><LastModified>%s</LastModified><ETag>\"%s\"</ETag></CopyObjectResult>"
                % (iso_date(new["mtime"]), new["etag"]))
        self.reply(200, body.encode(), content_type="application/xml")

    def get(self, bucket, key):
        with LOCK:
            obj = OBJECTS.get((bucket, key))
        if obj is None:
            return self.fail(404, "NoSuchKey", "The specified key does not exist.")
        data = obj["data"]
        headers = {"ETag": '"%s"' % obj["etag"], "Last-Modified": http_date(obj["mtime"])}
        rng = self.headers.get("Range")
        if rng and not ARGS.ignore_range and self.command == "GET":
            m = re.match(r"bytes=(\d+)-(\d*)$", rng)
            start = int(m.group(1))
            end = int(m.group(2)) if m.group(2) else len(data) - 1
            if start >= len(data):
                return self.fail(416, "InvalidRange", "The requested range is not satisfiable")
            end = min(end, len(data) - 1)
            headers["Content-Range"] = "bytes %d-%d/%d" % (start, end, len(data))
            return self.reply(206, data[start:end + 1], headers)
        self.reply(200, data, headers)

    # --- listings -------------------------------------------------------
    def list_objects(self, bucket, query):
        prefix = query.get("prefix", "")
        delimiter = query.get("delimiter", "")
        limit = min(int(query.get("max-keys", "1000")), ARGS.page_size or 1000)
        after = query.get("continuation-token", "")
        encode = query.get("encoding-type") == "url" and not ARGS.plain_keys
        with LOCK:
            keys = sorted(k for (b, k) in OBJECTS if b == bucket and k.startswith(prefix))
            meta = {k: OBJECTS[(bucket, k)] for k in keys}
        entries = []  # (sort key, is prefix, key)
        seen = set()
        for k in keys:
            rest = k[len(prefix):]
            if delimiter and delimiter in rest:
                p = prefix + rest.split(delimiter, 1)[0] + delimiter
                if p not in seen:
                    seen.add(p)
                    entries.append((p, True))
            else:
                entries.append((k, False))
        entries = [e for e in entries if e[0] > after]
        page, more = entries[:limit], len(entries) > limit
        enc = (lambda s: urllib.parse.quote_plus(s, safe="/")) if encode else xml_text
        out = ["<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ListBucketResult xmlns=\"http://s3.amazonaws.com/doc/2006-03-01/\">",
               "<Name>%s</Name><Prefix>%s</Prefix><KeyCount>%d</KeyCount><MaxKeys>%d</MaxKeys>"
               % (bucket, enc(prefix), len(page), limit)]
        if encode:
            out.append("<EncodingType>url</EncodingType>")
        out.append("<IsTruncated>%s</IsTruncated>" % ("true" if more else "false"))
        if more and not ARGS.no_token:
            out.append("<NextContinuationToken>%s</NextContinuationToken>" % xml_text(page[-1][0]))
        for name, is_prefix in page:
            if is_prefix:
                out.append("<CommonPrefixes><Prefix>%s</Prefix></CommonPrefixes>" % enc(name))
            else:
                o = meta[name]
                out.append("<Contents><Key>%s</Key><LastModified>%s</LastModified><ETag>&quot;%s&quot;</ETag>"
                           "<Size>%s</Size><StorageClass>STANDARD</StorageClass></Contents>"
                           % (enc(name), iso_date(o["mtime"]), o["etag"], ARGS.claim_size or len(o["data"])))
        out.append("</ListBucketResult>")
        if ARGS.pad_listing:
            out.append("<!--%s-->" % ("x" * ARGS.pad_listing))
        self.reply(200, "".join(out).encode(), content_type="application/xml")

    # --- multipart uploads ----------------------------------------------
    def initiate(self, bucket, key):
        upload = hashlib.sha1(("%s/%s/%f" % (bucket, key, time.time())).encode()).hexdigest()
        with LOCK:
            UPLOADS[upload] = {"bucket": bucket, "key": key, "parts": {}}
        body = ("<InitiateMultipartUploadResult><Bucket>%s</Bucket><Key>%s</Key><UploadId>%s</UploadId>"
                "</InitiateMultipartUploadResult>" % (bucket, xml_text(key), upload))
        self.reply(200, body.encode(), content_type="application/xml")

    def multipart(self, bucket, key, query, body):
        upload = query["uploadId"]
        with LOCK:
            state = UPLOADS.get(upload)
        if state is None:
            return self.fail(404, "NoSuchUpload", "The specified upload does not exist.")
        if self.command == "PUT":
            while ARGS.hold_parts and not os.path.exists(ARGS.hold_parts):
                time.sleep(0.01)
            etag = hashlib.md5(body).hexdigest()
            with LOCK:
                state["parts"][int(query["partNumber"])] = (body, etag)
            return self.reply(200, headers={} if ARGS.part_no_etag else {"ETag": '"%s"' % etag})
        if self.command == "DELETE":
            with LOCK:
                UPLOADS.pop(upload, None)
            return self.reply(204)
        listed = [(int(n), e) for n, e in re.findall(r'<PartNumber>(\d+)</PartNumber><ETag>(?:&quot;|")([^&"]*)(?:&quot;|")</ETag>',
                                                     body.decode())]
        with LOCK:
            parts = state["parts"]
            if [n for n, _ in listed] != sorted(parts) or any(parts[n][1] != e for n, e in listed):
                return self.fail(400, "InvalidPart", "the part list does not match")
            data = b"".join(parts[n][0] for n in sorted(parts))
            UPLOADS.pop(upload, None)
        etag = "%s-%d" % (hashlib.md5(b"".join(bytes.fromhex(parts[n][1]) for n in sorted(parts))).hexdigest(),
                          len(parts))
        self.store(bucket, key, data, etag)
        out = ("<CompleteMultipartUploadResult><Bucket>%s</Bucket><Key>%s</Key><ETag>&quot;%s&quot;</ETag>"
               "</CompleteMultipartUploadResult>" % (bucket, xml_text(key), etag))
        self.reply(200, out.encode(), content_type="application/xml")


def main():
    global ARGS
    ap = argparse.ArgumentParser()
    ap.add_argument("--bind", default="127.0.0.1")
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--log", default="")
    ap.add_argument("--region", default="us-east-1", help="requests signed for another region are refused")
    ap.add_argument("--malformed-always", default="",
                    help="A,B: refuse every signed request, naming whichever of A and B it was not signed for")
    ap.add_argument("--fault", action="append", default=[],
                    help="METHOD:STATUS:CODE[:COUNT[:MATCH]]: answer matching requests with an error "
                         "(CODE - for no body, COUNT 0 for always, MATCH a text of the request line)")
    ap.add_argument("--ignore-range", action="store_true")
    ap.add_argument("--server", default="FakeS3/1.0", help="the Server header")
    ap.add_argument("--part-no-etag", action="store_true")
    ap.add_argument("--hold-parts", default="", help="part uploads wait until this file exists")
    ap.add_argument("--page-size", type=int, default=0, help="at most N entries per listing page")
    ap.add_argument("--no-token", action="store_true", help="truncated listings carry no continuation token")
    ap.add_argument("--plain-keys", action="store_true", help="never URL-encode listed keys")
    ap.add_argument("--claim-size", default="", help="listings and HEAD replies give this size text")
    ap.add_argument("--pad-listing", type=int, default=0, help="listings end with a comment of N bytes")
    ARGS = ap.parse_args()
    for text in ARGS.fault:
        f = (text.split(":", 4) + ["0", ""])[:5]
        FAULTS.append({"method": f[0], "status": int(f[1]), "code": f[2], "left": int(f[3] or 0) or -1,
                       "match": f[4]})

    serve(Handler, ARGS.bind, ARGS.port)

if __name__ == "__main__":
    main()
