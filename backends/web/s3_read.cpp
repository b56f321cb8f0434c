// Reads: one ranged GET per block, and a sequential stream that resumes at
// its offset with a new GET after it was closed. Bodies go straight into the
// caller's buffer. A store that answers a ranged GET with the whole object
// is refused: its bytes would land at the wrong offset.
#include "backends/web/s3_backend.h"

namespace tarn {

class S3ReadStream : public IReadStream {
 public:
  S3ReadStream(S3Backend* backend, std::string key, uint64_t offset)
      : backend_(backend), key_(std::move(key)), offset_(offset) {}
  ~S3ReadStream() override { close(); }

  Status read(uint8_t* buffer, uint64_t length, uint64_t& got) override;
  void close() override { request_.reset(); }

 private:
  Status open();

  S3Backend* backend_;
  std::string key_;
  uint64_t offset_;
  std::unique_ptr<http::HttpRequest> request_;
  bool eof_ = false;
};

namespace {

constexpr uint32_t kRangeNotSatisfiable = 416;

Status IgnoredRange(const std::string& key, uint32_t status) {
  return Status(Status::kProtocol, "GET " + key + ": the server ignored Range", static_cast<int32_t>(status));
}

}  // namespace

bool RangeHonoured(const S3Response& response, uint64_t offset) {
  if (response.status == 206 || offset == 0) return true;
  return response.contentRange.rfind("bytes " + std::to_string(offset) + "-", 0) == 0;
}

Status S3Backend::readRange(const std::string& path, uint64_t offset, uint8_t* buffer, uint64_t length, uint64_t& got) {
  got = 0;
  if (length == 0) return Status();
  const std::string key = objectKey(path);
  S3Request request;
  request.key = key;
  request.headers = {{"Range", "bytes=" + std::to_string(offset) + "-" + std::to_string(offset + length - 1)}};
  S3Response response;
  std::unique_ptr<http::HttpRequest> r;
  if (Status st = execute(request, response, &r); !st.ok()) return st;
  if (!r) {
    if (response.status == kRangeNotSatisfiable) return Status();
    return mapError(response, "GET", key);
  }
  if (!RangeHonoured(response, offset)) return IgnoredRange(key, response.status);
  while (got < length) {
    size_t n = 0;
    if (uint32_t err = r->read(buffer + got, static_cast<size_t>(length - got), n); err != 0)
      return WinHttpError(err, "GET read", r->failureWords());
    if (n == 0) break;
    got += n;
  }
  // Reading the end of a body that holds exactly the range lets the
  // connection be kept; anything more is left unread and the connection goes.
  if (got == length && response.hasContentLength && response.contentLength == length) {
    uint8_t probe = 0;
    size_t n = 0;
    (void)r->read(&probe, 1, n);
  }
  return Status();
}

Status S3Backend::openRead(const std::string& path, uint64_t offset, std::unique_ptr<IReadStream>& out) {
  out = std::make_unique<S3ReadStream>(this, objectKey(path), offset);
  return Status();
}

Status S3ReadStream::open() {
  S3Request request;
  request.key = key_;
  if (offset_ != 0) request.headers = {{"Range", "bytes=" + std::to_string(offset_) + "-"}};
  S3Response response;
  if (Status st = backend_->execute(request, response, &request_); !st.ok()) return st;
  if (!request_) {
    if (response.status == kRangeNotSatisfiable) {
      eof_ = true;
      return Status();
    }
    return backend_->mapError(response, "GET", key_);
  }
  if (!RangeHonoured(response, offset_)) {
    close();
    return IgnoredRange(key_, response.status);
  }
  return Status();
}

Status S3ReadStream::read(uint8_t* buffer, uint64_t length, uint64_t& got) {
  got = 0;
  if (length == 0 || eof_) return Status();
  if (!request_) {
    if (Status st = open(); !st.ok()) return st;
    if (eof_) return Status();
  }
  size_t n = 0;
  if (uint32_t err = request_->read(buffer, static_cast<size_t>(length), n); err != 0) {
    const Status failed = WinHttpError(err, "GET read", request_->failureWords());
    close();
    return failed;
  }
  if (n == 0) {
    eof_ = true;
    close();
    return Status();
  }
  got = n;
  offset_ += n;
  return Status();
}

}  // namespace tarn
