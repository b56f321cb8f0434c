// The WebDAV implementation of the storage interface, with the streamed PUT
// and the chunked upload of the Nextcloud/ownCloud family. One object is one
// HTTP session with at most one connection to one server; it is leased to one
// thread at a time by the connection pool and holds no locks. Streams it hands
// out keep a plain pointer to it and must not outlive it.
//
// setCancelToken may be called by the owner before handing the object to a
// worker; the token is read by long waits on the worker's thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/backend.h"
#include "foundation/cancel_token.h"
#include "platform/http_client.h"

namespace tarn {

constexpr const char* kDavUserAgent = "Tarn/0.1 (Windows)";
constexpr uint32_t kDavDefaultConnectTimeoutMs = 15000;
constexpr uint32_t kDavDefaultIoTimeoutMs = 30000;
constexpr uint64_t kDavChunkBytes = 10485760;          // chunk size and chunked-upload threshold
constexpr uint64_t kDavMaxIgnoredRangeSkip = 8388608;  // largest prefix readRange discards
constexpr uint64_t kDavSkipPieceBytes = 1048576;
constexpr uint64_t kDavPutPieceBytes = 1048576;
constexpr uint32_t kDavAssemblyTimeoutMs = 7200000;
constexpr uint32_t kDavAssemblyPollMs = 5000;
constexpr int kDavAssemblyMaxMisses = 3;

struct DavRequest {
  std::string verb;
  std::string path;                  // remote path, turned into a URL path
  std::string target;                // URL path used as it stands when not empty
  std::vector<std::string> headers;  // lines without line ends
  std::string body;
  bool readBody = true;
  uint64_t streamLength = 0;  // non-zero: the caller streams a body of this length
  uint32_t timeoutMs = 0;     // non-zero: this request's receive time-out
};

struct DavResponse {
  uint32_t status = 0;
  std::string body;
  std::string contentType;
  std::string etag;
  std::string server;
  uint64_t contentLength = 0;
  bool hasContentLength = false;
  std::string dav;
};

// How long the chunked upload waits for a server that assembles in the
// background, and how often it looks.
struct DavAssemblyTiming {
  uint32_t pollMs = kDavAssemblyPollMs;
  uint32_t deadlineMs = kDavAssemblyTimeoutMs;
};

class WebDavBackend : public IBackend {
 public:
  explicit WebDavBackend(const EndpointConfig& config);
  ~WebDavBackend() override;

  Status connect() override;
  void disconnect() override;
  bool isConnected() const override;
  Status ping() override;
  const EndpointConfig& config() const override { return config_; }

  Status stat(const std::string& path, RemoteAttr& out) override;
  Status list(const std::string& path, std::vector<DirEntry>& out) override;
  Status statfs(FsStats& out) override;
  Status readRange(const std::string& path, uint64_t offset, uint8_t* buffer, uint64_t length,
                   uint64_t& got) override;
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

  // Long waits (the assembly of a chunked upload, a request in flight) end
  // with canceled when this token is cancelled.
  void setCancelToken(std::shared_ptr<const CancelToken> token) { cancel_ = std::move(token); }
  void setAssemblyTiming(const DavAssemblyTiming& timing) { assembly_ = timing; }

  // One HTTP exchange. Ok whenever a response arrived, whatever its status.
  // With handle, the open request goes to the caller: for a streamed body
  // right after the headers went out, otherwise before the body is read.
  Status send(const DavRequest& request, DavResponse& response,
              std::unique_ptr<http::HttpRequest>* handle = nullptr);
  Status propfind(const std::string& path, int depth, std::vector<DirEntry>& entries, RemoteAttr* own,
                  FsStats* stats);

  std::string urlPath(std::string_view path) const;
  std::string absoluteUrl(std::string_view path) const;

  // What construction made of the endpoint.
  const std::string& host() const { return host_; }
  uint16_t port() const { return port_; }
  bool secure() const { return secure_; }
  const std::string& basePath() const { return basePath_; }
  const std::string& chunkRoot() const { return chunkRoot_; }
  bool chunkedUploads() const { return chunkedUploads_; }
  uint32_t authScheme() const { return authScheme_; }

 private:
  friend class DavReadStream;
  friend class DavPutStream;
  friend class NcChunkedStream;

  bool cancelled() const { return IsCancelled(cancel_.get()); }
  void noteRangeIgnored(const std::string& path);
  // Sleeps up to ms in short slices; false when cancelled meanwhile.
  bool sleepCancellable(uint32_t ms) const;
  Status prepareChunkedUpload(const std::string& path, uint64_t size, std::unique_ptr<IWriteStream>& out);

  EndpointConfig config_;
  std::unique_ptr<http::HttpConnection> session_;
  bool connected_ = false;
  std::string host_;
  uint16_t port_ = 0;
  bool secure_ = false;
  std::string basePath_;
  std::string basicAuth_;
  bool chunkedUploads_ = false;
  std::string chunkRoot_;
  uint32_t authScheme_ = 0;
  std::shared_ptr<const CancelToken> cancel_;
  DavAssemblyTiming assembly_;
};

std::unique_ptr<IBackend> MakeWebDavBackend(const EndpointConfig& config);

Status HttpStatusError(uint32_t status, const std::string& operation, const std::string& path);
Status WinHttpError(uint32_t error, const std::string& step);
Timestamp ParseHttpTime(std::string_view text);
std::string TrimSpace(std::string_view text);
std::string HrefToPath(std::string_view href);

}  // namespace tarn
