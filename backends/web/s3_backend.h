// The S3 implementation of the storage interface, for backup destinations
// and server probes on S3-compatible object stores (never drives): endpoint
// parsing, Signature Version 4, the one request engine, and the mapping of
// replies onto statuses. Metadata and namespace operations, reads and
// uploads live in their own files behind this header.
//
// One object is one HTTP session with at most one connection to one server;
// the connection pool leases it to one thread at a time, so the region
// correction and the server kind change without a lock. The streams it hands
// out keep a plain pointer to it and must not outlive it. A multipart upload
// sends its parts on connections of its own, on threads it owns (see
// S3PartUploader); those threads only call the const request path. The
// cancel token the pool hands in is read by every wait on the leasing
// thread, and by the lanes of an upload started under it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "backends/web/webdav_backend.h"
#include "engine/backend.h"
#include "foundation/cancel_token.h"
#include "platform/http_client.h"

namespace tarn {

constexpr uint64_t kS3MaxObjectBytes = 5497558138880ull;  // 5 TiB
constexpr uint64_t kS3MaxCopyBytes = 5368709120ull;       // 5 GiB in one copy request
constexpr uint32_t kS3MaxNameBytes = 1024;
constexpr uint32_t kS3MaxPathBytes = 1024;
constexpr uint32_t kS3ListPageKeys = 1000;
constexpr uint64_t kS3PartBytes = 16777216;  // parts are 16 MiB unless the size needs more
constexpr uint64_t kS3PartRoundBytes = 1048576;
constexpr uint32_t kS3MaxParts = 10000;
// A multipart upload sends up to this many parts at once, each on its own
// connection, as long as the parts in flight and the one being filled fit
// in kS3UploadMemoryBytes; larger parts go one at a time on the back-end's
// own connection.
constexpr size_t kS3UploadLanes = 4;
constexpr uint64_t kS3UploadMemoryBytes = 5 * kS3PartBytes;
constexpr const char* kS3DefaultRegion = "us-east-1";
constexpr const char* kS3Service = "s3";
// The domain of the public service's endpoints, and what its China
// endpoints append to it.
constexpr std::string_view kS3PublicDomain = ".amazonaws.com";
constexpr std::string_view kS3ChinaSuffix = ".cn";

using S3Pairs = std::vector<std::pair<std::string, std::string>>;

struct S3Endpoint {
  std::string host;  // lower case; an IPv6 literal in brackets
  uint16_t port = 0;
  bool tls = true;
  std::string bucket;
  std::string prefix;  // no leading or trailing "/"
  std::string region;
  bool virtualHosted = false;
};

struct S3Request {
  std::string method = "GET";
  std::string key;  // unencoded, no leading "/"
  bool bucketLevel = false;
  S3Pairs query;    // unencoded; a value may be empty
  S3Pairs headers;  // sent in this order
  const uint8_t* body = nullptr;
  uint64_t bodyLength = 0;
};

struct S3Response {
  uint32_t status = 0;
  std::string body;
  std::string etag;  // through NormalizeEtag
  std::string lastModified;
  std::string date;
  std::string contentRange;
  uint64_t contentLength = 0;
  bool hasContentLength = false;
  std::string errorCode;
  std::string errorMessage;
};

struct SigV4Request {
  std::string method;
  std::string path;  // already encoded, without query
  S3Pairs query;
  S3Pairs headers;
  std::string payloadHash;
  std::string amzDate;  // YYYYMMDDTHHMMSSZ
  std::string region;
  std::string service = kS3Service;
  std::string accessKey;
  std::string secretKey;
};

struct SigV4Result {
  std::string canonicalRequest;
  std::string stringToSign;
  std::string signedHeaders;
  std::string signature;
  std::string authorization;
};

struct S3Object {
  std::string key;
  bool isPrefix = false;
  uint64_t size = 0;
  Timestamp lastModified;
  std::string etag;
};

struct S3ListPage {
  std::vector<S3Object> objects;
  bool truncated = false;
  std::string nextToken;
};

class S3Backend : public IBackend {
 public:
  explicit S3Backend(EndpointConfig config);
  ~S3Backend() override;
  S3Backend(const S3Backend&) = delete;
  S3Backend& operator=(const S3Backend&) = delete;

  Status connect() override;
  void disconnect() override;
  bool isConnected() const override;
  Status ping() override;
  const EndpointConfig& config() const override { return config_; }

  Status stat(const std::string& path, RemoteAttr& out) override;
  Status list(const std::string& path, std::vector<DirEntry>& out) override;
  Status statfs(FsStats& out) override;
  Status readRange(const std::string& path, uint64_t offset, uint8_t* buffer, uint64_t length, uint64_t& got) override;
  Status openRead(const std::string& path, uint64_t offset, std::unique_ptr<IReadStream>& out) override;
  Status openWrite(const std::string& path, uint64_t offset, uint64_t size,
                   std::unique_ptr<IWriteStream>& out) override;
  Status writeAt(const std::string& path, uint64_t offset, const uint8_t* data, uint64_t length) override;
  Status truncate(const std::string& path, uint64_t size) override;
  Status create(const std::string& path) override;
  Status mkdir(const std::string& path) override;
  Status remove(const std::string& path, bool isDir) override;
  Status rename(const std::string& from, const std::string& to, bool overwrite) override;
  Status setTimes(const std::string& path, const Timestamp& mtime, const Timestamp& atime) override;

  // Requests in flight, the upload lanes' included, end once this token is
  // cancelled.
  void setCancelToken(const CancelToken* cancel) override { cancel_ = cancel; }

  static S3Endpoint parseEndpoint(const EndpointConfig& config);
  static SigV4Result sign(const SigV4Request& request);

  // One signed exchange with the one region correction. Ok whenever a reply
  // arrived; mapError judges it. With keepOpen and a 2xx reply the open
  // request goes to the caller with its body unread.
  Status execute(const S3Request& request, S3Response& response,
                 std::unique_ptr<http::HttpRequest>* keepOpen = nullptr);
  Status mapError(const S3Response& response, const char* step, const std::string& key) const;

  std::string objectKey(std::string_view path) const;
  std::string folderPrefix(std::string_view path) const;
  Status headObject(const std::string& key, RemoteAttr& out);
  Status listObjects(const std::string& prefix, bool useDelimiter, uint32_t maxKeys, const std::string& token,
                     S3ListPage& out);
  Status putObject(const std::string& key, const uint8_t* data, uint64_t length, S3Response& response);

  const S3Endpoint& endpoint() const { return endpoint_; }
  const std::string& hostHeader() const { return hostHeader_; }

 private:
  friend class S3PartUploader;

  // What one exchange saw beside the reply record.
  struct ReplyNotes {
    std::string server;  // the Server header
    std::string region;  // the Region of an error document
  };

  http::SessionOptions sessionOptions() const;
  // Points a connection at the endpoint; no traffic yet.
  Status openConnection(http::HttpConnection& connection) const;
  bool cancelled() const { return IsCancelled(cancel_); }
  // One attempt on the given connection, signed for region; touches no state
  // of the back-end, so upload threads run it on connections of their own.
  Status exchange(http::HttpConnection& connection, const S3Request& request, const std::string& payloadHash,
                  const std::string& region, S3Response& response, ReplyNotes& notes,
                  std::unique_ptr<http::HttpRequest>* keepOpen) const;

  EndpointConfig config_;
  S3Endpoint endpoint_;
  std::unique_ptr<http::HttpConnection> session_;
  bool connected_ = false;
  std::string hostHeader_;
  const CancelToken* cancel_ = nullptr;
};

std::unique_ptr<IBackend> MakeS3Backend(const EndpointConfig& config);

std::string S3RegionFromHost(std::string_view host);
std::string S3UriEncode(std::string_view text, bool encodeSlash);
std::string S3CanonicalQuery(const S3Pairs& query);
Timestamp HttpDateToTimestamp(const std::string& text);
std::string QueryHeaderText(const http::HttpRequest& request, std::string_view name);
std::string ToLower(std::string_view text);
bool IsOneOf(std::string_view text, std::initializer_list<std::string_view> options);
std::string DecodeListKey(bool urlEncoded, std::string_view key);
Timestamp IsoTimeToTimestamp(const std::string& text);
// The UTC time as x-amz-date writes it.
std::string AmzDate(int64_t unixSeconds);
// Bytes per part of an upload of size bytes: 16 MiB, or more when 10000
// parts of 16 MiB would not hold the object.
uint64_t S3PartSize(uint64_t size);
// A successful GET from offset honours its range: 206, offset 0, or a
// Content-Range that starts at offset.
bool RangeHonoured(const S3Response& response, uint64_t offset);

}  // namespace tarn
