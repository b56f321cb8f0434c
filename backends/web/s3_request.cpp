// The one request engine of the S3 back-end (signing, sending, reading the
// reply and its error document, the one region correction) and the mapping
// of a reply onto a status.
#include <cstdlib>

#include "backends/web/s3_backend.h"
#include "backends/web/xml.h"
#include "foundation/codec.h"
#include "foundation/hash.h"
#include "foundation/log.h"
#include "foundation/text.h"

namespace tarn {
namespace {

// Only the head of a reply is searched for an error document, so object
// bodies are never parsed as XML.
constexpr size_t kErrorSniffBytes = 400;
constexpr size_t kMaxReplyBytes = 16 << 20;
constexpr size_t kReplyPieceBytes = 64 << 10;
constexpr const char* kWrongEndpoint = " - wrong endpoint or region for this bucket";

bool IsSuccess(uint32_t status) { return status >= 200 && status <= 299; }

int32_t CodeForErrorCode(const std::string& code) {
  if (IsOneOf(code,
              {"SignatureDoesNotMatch", "InvalidAccessKeyId", "InvalidToken", "ExpiredToken", "TokenRefreshRequired",
               "AuthorizationHeaderMalformed", "InvalidSecurity", "MissingSecurityHeader", "RequestTimeTooSkewed"}))
    return Status::kAuthFailed;
  if (IsOneOf(code, {"AccessDenied", "AllAccessDisabled", "AccountProblem", "InvalidObjectState"}))
    return Status::kAccessDenied;
  if (IsOneOf(code, {"NoSuchKey", "NoSuchBucket", "NoSuchUpload", "NoSuchVersion"})) return Status::kNotFound;
  if (code == "BucketNotEmpty") return Status::kNotEmpty;
  if (IsOneOf(code, {"EntityTooLarge", "MaxMessageLengthExceeded"})) return Status::kTooLarge;
  if (IsOneOf(code, {"QuotaExceeded", "XMinioStorageFull", "InsufficientStorage"})) return Status::kNoSpace;
  if (code == "PreconditionFailed") return Status::kExists;
  if (IsOneOf(code, {"SlowDown", "ServiceUnavailable", "InternalError", "RequestTimeout", "OperationAborted",
                     "Throttling", "RequestLimitExceeded"}))
    return Status::kNetwork;
  if (IsOneOf(code, {"PermanentRedirect", "TemporaryRedirect"})) return Status::kInvalid;
  return Status::kOk;  // not listed: the HTTP status decides
}

}  // namespace

Timestamp HttpDateToTimestamp(const std::string& text) {
  int64_t seconds = 0;
  if (text.empty() || !ParseHttpDate(text, seconds)) return Timestamp{};
  return Timestamp{seconds, 0};
}

std::string QueryHeaderText(const http::HttpRequest& request, std::string_view name) { return request.header(name); }

http::SessionOptions S3Backend::sessionOptions() const {
  http::SessionOptions options;
  options.userAgent = kDavUserAgent;
  options.connectTimeoutMs = config_.connectTimeoutMs != 0 ? config_.connectTimeoutMs : kDavDefaultConnectTimeoutMs;
  options.ioTimeoutMs = config_.ioTimeoutMs != 0 ? config_.ioTimeoutMs : kDavDefaultIoTimeoutMs;
  options.lowSpeedBytes = kDavLowSpeedBytes;
  options.verifyTls = config_.verifyTls;
  return options;
}

Status S3Backend::openConnection(http::HttpConnection& connection) const {
  // The HTTP layer wants an IPv6 literal without its brackets.
  std::string host = endpoint_.host;
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  if (uint32_t err = connection.open(host, endpoint_.port, endpoint_.tls); err != 0)
    return WinHttpError(err, "connect");
  return Status();
}

Status S3Backend::exchange(http::HttpConnection& connection, const S3Request& request, const std::string& payloadHash,
                           const std::string& region, S3Response& response, ReplyNotes& notes,
                           std::unique_ptr<http::HttpRequest>* keepOpen) const {
  response = S3Response{};
  notes = ReplyNotes{};
  std::string path = "/";
  if (!endpoint_.virtualHosted) path += S3UriEncode(endpoint_.bucket, false) + "/";
  if (!request.bucketLevel) path += S3UriEncode(request.key, false);
  const std::string query = S3CanonicalQuery(request.query);
  std::unique_ptr<http::HttpRequest> r =
      connection.openRequest(request.method, query.empty() ? path : path + "?" + query);

  S3Pairs headers = request.headers;
  headers.emplace_back("x-amz-content-sha256", payloadHash);
  headers.emplace_back("x-amz-date", AmzDate(vx::UnixNow()));
  if (!config_.user.empty()) {
    SigV4Request sig;
    sig.method = request.method;
    sig.path = path;
    sig.query = request.query;
    sig.headers.emplace_back("host", hostHeader_);
    for (const auto& header : headers)
      if (ToLower(header.first).compare(0, 6, "x-amz-") == 0) sig.headers.push_back(header);
    sig.payloadHash = payloadHash;
    sig.amzDate = headers.back().second;
    sig.region = region;
    sig.accessKey = config_.user;
    sig.secretKey = config_.password;
    headers.emplace_back("Authorization", sign(sig).authorization);
  }
  // The Host line goes out exactly as it was signed.
  r->addHeader("Host: " + hostHeader_);
  for (const auto& [name, value] : headers) r->addHeader(name + ": " + value);

  std::string_view body(reinterpret_cast<const char*>(request.body), request.body != nullptr ? request.bodyLength : 0);
  if (uint32_t err = r->send(body); err != 0) return WinHttpError(err, "send", r->failureWords());

  response.status = r->status();
  response.etag = NormalizeEtag(QueryHeaderText(*r, "ETag"));
  response.lastModified = QueryHeaderText(*r, "Last-Modified");
  response.date = QueryHeaderText(*r, "Date");
  response.contentRange = QueryHeaderText(*r, "Content-Range");
  if (r->hasHeader("Content-Length")) {
    response.hasContentLength = true;
    const std::string length = QueryHeaderText(*r, "Content-Length");
    if (!ParseRemoteSize(length, response.contentLength))
      return Status(Status::kProtocol, request.method + " " + request.key + ": size out of range (" + length + ")");
  }
  notes.server = QueryHeaderText(*r, "Server");

  if (keepOpen != nullptr && IsSuccess(response.status)) {
    *keepOpen = std::move(r);
    return Status();
  }
  if (request.method != "HEAD") {
    // Replies read whole are listings and small documents; a store that
    // sends more is not followed into memory.
    uint8_t piece[kReplyPieceBytes];
    for (;;) {
      size_t got = 0;
      if (uint32_t err = r->read(piece, sizeof piece, got); err != 0) return WinHttpError(err, "read", r->failureWords());
      if (got == 0) break;
      if (response.body.size() + got > kMaxReplyBytes)
        return Status(Status::kProtocol, "read: the reply is larger than 16 MiB",
                      static_cast<int32_t>(response.status));
      response.body.append(reinterpret_cast<const char*>(piece), got);
    }
  }
  r.reset();

  if (std::string_view(response.body).substr(0, kErrorSniffBytes).find("<Error>") != std::string_view::npos) {
    std::unique_ptr<XmlNode> root = ParseXml(response.body);
    if (root && root->name == "error") {
      response.errorCode = TrimSpace(root->childText("code"));
      response.errorMessage = TrimSpace(root->childText("message"));
      notes.region = TrimSpace(root->childText("region"));
    }
  }
  return Status();
}

Status S3Backend::execute(const S3Request& request, S3Response& response,
                          std::unique_ptr<http::HttpRequest>* keepOpen) {
  if (keepOpen != nullptr) keepOpen->reset();
  if (!connected_ || !session_) return Status(Status::kNetwork, "not connected");
  const std::string payloadHash =
      vx::HexEncode(vx::Sha256(request.body, request.body != nullptr ? request.bodyLength : 0));
  bool corrected = false;
  for (;;) {
    ReplyNotes notes;
    Status st = exchange(*session_, request, payloadHash, endpoint_.region, response, notes, keepOpen);
    if (!st.ok()) return st;
    if (caps_.server == "s3") {
      std::string server = ToLower(notes.server);
      if (server.find("minio") != std::string::npos)
        caps_.server = "minio";
      else if (server.find("amazons3") != std::string::npos)
        caps_.server = "aws";
    }
    if (response.errorCode == "AuthorizationHeaderMalformed" && !notes.region.empty() &&
        notes.region != endpoint_.region && !corrected) {
      vx::log::write(vx::log::kInfo, "s3: the bucket lives in region %s, not %s", notes.region.c_str(),
                     endpoint_.region.c_str());
      endpoint_.region = notes.region;
      corrected = true;
      continue;
    }
    return Status();
  }
}

Status S3Backend::mapError(const S3Response& response, const char* step, const std::string& key) const {
  if (IsSuccess(response.status) && response.errorCode.empty()) return Status();
  const std::string subject = std::string(step) + " " + (key.empty() ? endpoint_.bucket : key);
  const auto native = static_cast<int32_t>(response.status);
  std::string message = !response.errorCode.empty()
                            ? response.errorCode + ": " + response.errorMessage + " (" + subject + ")"
                            : subject + " -> HTTP " + std::to_string(response.status);
  if (int32_t code = CodeForErrorCode(response.errorCode); code != Status::kOk) {
    if (code == Status::kInvalid) message += kWrongEndpoint;
    return Status(code, message, native);
  }
  switch (response.status) {
    case 301:
    case 307:
      return Status(Status::kInvalid, message + kWrongEndpoint, native);
    case 400:
      return Status(Status::kInvalid, message, native);
    case 401:
      return Status(Status::kAuthFailed, message, native);
    case 403:
      return Status(Status::kAccessDenied, message, native);
    case 404:
      return Status(Status::kNotFound, message, native);
    case 409:
      return Status(Status::kConflict, message, native);
    case 412:
      return Status(Status::kExists, message, native);
    case 413:
      return Status(Status::kTooLarge, message, native);
    case 416:
      return Status(Status::kInvalid, message + " (range)", native);
    case 507:
      return Status(Status::kNoSpace, message, native);
    default:
      break;
  }
  if (response.status >= 500 || IsSuccess(response.status)) return Status(Status::kNetwork, message, native);
  return Status(Status::kIo, message, native);
}

}  // namespace tarn
