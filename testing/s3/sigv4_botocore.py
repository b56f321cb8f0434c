#!/usr/bin/env python3
"""Signs requests with botocore's Signature Version 4 signer, an
implementation independent of ours, for the signing tests.

Reads a JSON list of requests on stdin, each with method, host, bucket, key
(both unencoded; the path is encoded here), query (list of [name, value],
unencoded), headers (list of [name, value]), payloadHash, amzDate, region,
accessKey and secretKey. Writes a JSON list of canonicalRequest,
stringToSign, signature and authorization in the same order.
"""
import json
import sys
from urllib.parse import quote

from botocore.auth import S3SigV4Auth
from botocore.awsrequest import AWSRequest
from botocore.credentials import Credentials


def sign(r):
    path = "/" + quote(r["bucket"], safe="/~") + "/" + quote(r["key"], safe="/~") if r["bucket"] \
        else "/" + quote(r["key"], safe="/~")
    request = AWSRequest(method=r["method"], url="http://" + r["host"] + path,
                         headers=dict(r["headers"]), params=[tuple(p) for p in r["query"]])
    request.context["timestamp"] = r["amzDate"]
    request.headers["X-Amz-Content-SHA256"] = r["payloadHash"]
    auth = S3SigV4Auth(Credentials(r["accessKey"], r["secretKey"]), "s3", r["region"])
    canonical = auth.canonical_request(request)
    to_sign = auth.string_to_sign(request, canonical)
    signature = auth.signature(to_sign, request)
    auth._inject_signature_to_request(request, signature)
    return {"canonicalRequest": canonical, "stringToSign": to_sign, "signature": signature,
            "authorization": request.headers["Authorization"]}


json.dump([sign(r) for r in json.load(sys.stdin)], sys.stdout)
