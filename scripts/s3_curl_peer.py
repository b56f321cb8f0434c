#!/usr/bin/env python3
"""curl doing what the S3 benchmark (s3_bench) does, against the same store,
for comparison: one PUT of 16 MiB, a multipart upload of eight 16 MiB parts
(one curl after another, and four at a time), and ranged GETs in 256 KiB
and 4 MiB blocks of the 64 MiB object that s3_bench wrote (run it first).
Each curl run reuses one connection for its requests; payload hashes are
computed inside the timed span, as the back-end computes them. Reads the
TARN_S3_* variables; prints the median of three runs in MiB/s.
"""
import hashlib
import os
import re
import subprocess
import sys
import tempfile
import time
import urllib.parse

PART = 16 << 20
RUNS = 3  # the median is reported
EMPTY_SHA = hashlib.sha256(b"").hexdigest()


def env(name):
    value = os.environ.get(name)
    if not value:
        sys.exit("s3_curl_peer: %s is not set" % name)
    return value


URL = env("TARN_S3_URL")
BUCKET = env("TARN_S3_BUCKET")
REGION = env("TARN_S3_REGION")
# The access key holds a colon, which only the URL's user part can carry.
SPLIT = urllib.parse.urlsplit(URL)
BASE = "%s://%s:%s@%s/%s/bench-curl" % (SPLIT.scheme, urllib.parse.quote(env("TARN_S3_ACCESS_KEY"), safe=""),
                                       urllib.parse.quote(env("TARN_S3_SECRET_KEY"), safe=""), SPLIT.netloc,
                                       BUCKET)
BENCH = BASE[:-len("/bench-curl")] + "/bench"
SIGN = ["--aws-sigv4", "aws:amz:%s:s3" % REGION]


def curl_config(path, segments, parallel=0):
    """Runs one curl over the segments (lists of config lines), each a request."""
    with open(path, "w") as f:
        for i, lines in enumerate(segments):
            if i:
                f.write("next\n")
            f.write("".join(line + "\n" for line in lines))
    args = ["curl", "-sS", "--no-progress-meter", "--fail", "-K", path]
    if parallel:
        args += ["--parallel", "--parallel-max", str(parallel)]
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)


def put_segment(url, data_file, sha, headers_file=None):
    lines = ['aws-sigv4 = "%s"' % SIGN[1], 'url = "%s"' % url, 'upload-file = "%s"' % data_file,
             'header = "x-amz-content-sha256: %s"' % sha, 'output = "/dev/null"']
    if headers_file:
        lines.append('dump-header = "%s"' % headers_file)
    return lines


def single_put(tmp, data):
    path = os.path.join(tmp, "single.bin")
    with open(path, "wb") as f:
        f.write(data)
    start = time.perf_counter()
    sha = hashlib.sha256(data).hexdigest()
    curl_config(os.path.join(tmp, "single.cfg"), [put_segment(BASE + "/single.bin", path, sha)])
    return time.perf_counter() - start


def request(method, url, body=b"", headers=()):
    args = ["curl", "-sS", "--fail", "-X", method] + SIGN + [
        "-H", "x-amz-content-sha256: " + hashlib.sha256(body).hexdigest()]
    for h in headers:
        args += ["-H", h]
    if body:
        args += ["--data-binary", "@-"]
    return subprocess.run(args + [url], input=body, check=True, capture_output=True).stdout.decode()


def multipart(tmp, data, parallel):
    parts = []
    for i in range(0, len(data), PART):
        path = os.path.join(tmp, "part%d.bin" % (i // PART + 1))
        with open(path, "wb") as f:
            f.write(data[i:i + PART])
        parts.append(path)
    key = BASE + "/multipart.bin"
    start = time.perf_counter()
    upload = re.search(r"<UploadId>([^<]+)</UploadId>", request("POST", key + "?uploads=")).group(1)
    segments = []
    for n, path in enumerate(parts, 1):
        with open(path, "rb") as f:
            sha = hashlib.sha256(f.read()).hexdigest()
        url = "%s?partNumber=%d&uploadId=%s" % (key, n, urllib.parse.quote(upload, safe=""))
        segments.append(put_segment(url, path, sha, path + ".headers"))
    curl_config(os.path.join(tmp, "parts.cfg"), segments, parallel)
    body = "<CompleteMultipartUpload>"
    for n, path in enumerate(parts, 1):
        with open(path + ".headers") as f:
            etag = re.search(r"(?im)^etag:\s*\"?([^\"\r\n]+)", f.read()).group(1)
        body += "<Part><PartNumber>%d</PartNumber><ETag>\"%s\"</ETag></Part>" % (n, etag)
    body += "</CompleteMultipartUpload>"
    reply = request("POST", key + "?uploadId=" + urllib.parse.quote(upload, safe=""), body.encode(),
                    ["Content-Type: application/xml"])
    if "<Error>" in reply:
        sys.exit("s3_curl_peer: complete failed: " + reply)
    return time.perf_counter() - start


def ranged_reads(tmp, size, block):
    segments = []
    for at in range(0, size, block):
        segments.append(['aws-sigv4 = "%s"' % SIGN[1], 'url = "%s/bench-read.bin"' % BENCH,
                         'header = "x-amz-content-sha256: %s"' % EMPTY_SHA,
                         'range = "%d-%d"' % (at, at + block - 1), 'output = "/dev/null"'])
    start = time.perf_counter()
    curl_config(os.path.join(tmp, "read%d.cfg" % block), segments)
    return time.perf_counter() - start


def report(name, size, run):
    seconds = sorted(run() for _ in range(RUNS))[RUNS // 2]
    print("%-38s %8.1f ms %10.1f MiB/s" % (name, seconds * 1000, size / seconds / (1 << 20)))


def main():
    data = os.urandom(8 * PART)
    with tempfile.TemporaryDirectory(prefix="s3-curl-") as tmp:
        report("curl PUT 16 MiB", PART, lambda: single_put(tmp, data[:PART]))
        report("curl multipart 128 MiB, 1 at a time", len(data), lambda: multipart(tmp, data, 0))
        report("curl multipart 128 MiB, 4 at a time", len(data), lambda: multipart(tmp, data, 4))
        # The object that s3_bench wrote and read (a multipart object).
        read_size = 64 << 20
        for block in (256 << 10, 4 << 20):
            report("curl ranged GETs of %d KiB" % (block >> 10), read_size,
                   lambda: ranged_reads(tmp, read_size, block))


if __name__ == "__main__":
    main()
