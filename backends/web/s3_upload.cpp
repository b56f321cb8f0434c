// Uploads: an object of up to one part goes in a single PUT at finish; a
// larger one becomes a multipart upload (initiate, numbered parts, complete)
// whose parts go out in parallel where memory allows. Nothing is visible
// under the key before the PUT or the complete succeeds, and an abandoned
// upload deletes its parts, so the previous object always survives; only a
// store that let a request of the upload go unanswered is not asked to, as
// it would hold the caller a whole time-out more.
#include <algorithm>

#include "backends/web/s3_backend.h"
#include "backends/web/s3_part_uploader.h"
#include "backends/web/xml.h"
#include "foundation/remote_path.h"

namespace tarn {

class S3WriteStream : public IWriteStream {
 public:
  S3WriteStream(S3Backend* backend, std::string key, uint64_t size);
  ~S3WriteStream() override;

  Status write(const uint8_t* data, uint64_t length) override;
  Status finish(RemoteAttr* out) override;
  void abort() override;

 private:
  Status flushPart();
  Status startUpload();
  Status complete(S3Response& reply);
  void reserveFor(uint64_t needed);
  // Passes a failure on, noting one that got no answer.
  Status failed(Status st);

  S3Backend* backend_;
  std::string key_;
  uint64_t size_;
  uint64_t partSize_;
  size_t lanes_ = 0;  // 0: parts go one at a time on the back-end's connection
  std::vector<uint8_t> buffer_;
  uint64_t written_ = 0;
  std::string uploadId_;
  std::vector<std::string> etags_;  // of parts sent on the back-end's connection
  uint32_t partsSent_ = 0;
  std::unique_ptr<S3PartUploader> uploader_;
  bool finished_ = false;
  bool unanswered_ = false;  // a request of the upload timed out
};

uint64_t S3PartSize(uint64_t size) {
  if (size <= static_cast<uint64_t>(kS3MaxParts) * kS3PartBytes) return kS3PartBytes;
  const uint64_t perPart = (size + kS3MaxParts - 1) / kS3MaxParts;
  return (perPart + kS3PartRoundBytes - 1) / kS3PartRoundBytes * kS3PartRoundBytes;
}

Status S3Backend::openWrite(const std::string& path, uint64_t offset, uint64_t size,
                            std::unique_ptr<IWriteStream>& out) {
  if (offset != 0) return Status(Status::kUnsupported, "S3 upload must start at 0");
  if (IsRootPath(path)) return Status(Status::kIsDirectory, path);
  if (size > kS3MaxObjectBytes) return Status(Status::kTooLarge, "S3 objects end at 5 TiB");
  if (!connected_) return Status(Status::kNetwork, "not connected");
  out = std::make_unique<S3WriteStream>(this, objectKey(path), size);
  return Status();
}

S3WriteStream::S3WriteStream(S3Backend* backend, std::string key, uint64_t size)
    : backend_(backend), key_(std::move(key)), size_(size), partSize_(S3PartSize(size)) {
  const uint64_t partsInBudget = kS3UploadMemoryBytes / partSize_;
  if (partsInBudget >= 2) lanes_ = static_cast<size_t>(std::min<uint64_t>(kS3UploadLanes, partsInBudget - 1));
  if (size_ != 0) buffer_.reserve(static_cast<size_t>(std::min(partSize_, size_)));
}

S3WriteStream::~S3WriteStream() {
  if (!finished_) abort();
}

void S3WriteStream::reserveFor(uint64_t needed) {
  if (buffer_.capacity() >= needed) return;
  const uint64_t grown = std::min<uint64_t>(std::max<uint64_t>(needed, 2 * buffer_.capacity()), partSize_);
  buffer_.reserve(static_cast<size_t>(grown));
}

Status S3WriteStream::failed(Status st) {
  if (st.code == Status::kTimeout) unanswered_ = true;
  return st;
}

Status S3WriteStream::write(const uint8_t* data, uint64_t length) {
  if (finished_) return Status(Status::kInvalid, "S3 upload: write after finish");
  while (length > 0) {
    // A full buffer goes out only when more bytes arrive, so the last part
    // is always sent by finish.
    if (buffer_.size() == partSize_) {
      if (Status st = flushPart(); !st.ok()) return failed(std::move(st));
    }
    const uint64_t take = std::min<uint64_t>(length, partSize_ - buffer_.size());
    reserveFor(buffer_.size() + take);
    buffer_.insert(buffer_.end(), data, data + take);
    written_ += take;
    data += take;
    length -= take;
  }
  return Status();
}

Status S3WriteStream::startUpload() {
  S3Request request;
  request.method = "POST";
  request.key = key_;
  request.query = {{"uploads", ""}};
  request.headers = {{"Content-Type", "application/octet-stream"}};
  S3Response reply;
  if (Status st = backend_->execute(request, reply); !st.ok()) return st;
  if (Status st = backend_->mapError(reply, "POST(uploads)", key_); !st.ok()) return st;
  std::unique_ptr<XmlNode> root = ParseXml(reply.body);
  if (root) uploadId_ = TrimSpace(root->childText("uploadid"));
  if (uploadId_.empty()) return Status(Status::kProtocol, "S3 upload: no UploadId in the reply");
  if (lanes_ > 0)
    uploader_ = std::make_unique<S3PartUploader>(*backend_, key_, uploadId_, backend_->endpoint().region, lanes_);
  return Status();
}

Status S3WriteStream::flushPart() {
  if (partsSent_ >= kS3MaxParts) return Status(Status::kTooLarge, "S3 upload: more than 10000 parts");
  if (uploadId_.empty()) {
    if (Status st = startUpload(); !st.ok()) return st;
  }
  const uint32_t number = partsSent_ + 1;
  if (uploader_) {
    if (Status st = uploader_->submit(number, buffer_); !st.ok()) return st;
    ++partsSent_;
    buffer_ = uploader_->takeSpare();
    buffer_.reserve(static_cast<size_t>(partSize_));
    return Status();
  }
  S3Response reply;
  if (Status st = backend_->execute(S3PartRequest(key_, uploadId_, number, buffer_), reply); !st.ok()) return st;
  std::string etag;
  if (Status st = S3PartEtag(*backend_, reply, key_, etag); !st.ok()) return st;
  etags_.push_back(std::move(etag));
  ++partsSent_;
  buffer_.clear();
  return Status();
}

Status S3WriteStream::complete(S3Response& reply) {
  const std::vector<std::string> etags = uploader_ ? uploader_->etags() : etags_;
  std::string body = "<CompleteMultipartUpload>";
  for (size_t i = 0; i < etags.size(); ++i) {
    body += "<Part><PartNumber>" + std::to_string(i + 1) + "</PartNumber><ETag>\"" + XmlEscape(etags[i]) +
            "\"</ETag></Part>";
  }
  body += "</CompleteMultipartUpload>";
  S3Request request;
  request.method = "POST";
  request.key = key_;
  request.query = {{"uploadId", uploadId_}};
  request.headers = {{"Content-Type", "application/xml"}};
  request.body = reinterpret_cast<const uint8_t*>(body.data());
  request.bodyLength = body.size();
  if (Status st = backend_->execute(request, reply); !st.ok()) return st;
  // The store may fail the assembly after its 200 has gone out.
  if (Status st = backend_->mapError(reply, "POST(complete)", key_); !st.ok()) return st;
  if (std::unique_ptr<XmlNode> root = ParseXml(reply.body)) reply.etag = NormalizeEtag(root->childText("etag"));
  return Status();
}

Status S3WriteStream::finish(RemoteAttr* out) {
  if (finished_) return Status(Status::kInvalid, "S3 upload: already finished");
  if (size_ != 0 && written_ != size_) {
    abort();
    return Status(Status::kInvalid, "S3 upload: body shorter than announced");
  }
  S3Response reply;
  if (!uploadId_.empty()) {
    // Parts that failed before go again with the last one, so finish can be
    // retried.
    if (uploader_) uploader_->requeueFailed();
    if (!buffer_.empty()) {
      if (Status st = flushPart(); !st.ok()) return failed(std::move(st));
    }
    if (uploader_) {
      if (Status st = uploader_->drain(); !st.ok()) return failed(std::move(st));
    }
    if (Status st = complete(reply); !st.ok()) return failed(std::move(st));
  } else {
    if (Status st = backend_->putObject(key_, buffer_.data(), buffer_.size(), reply); !st.ok()) return st;
  }
  finished_ = true;
  uploader_.reset();
  std::vector<uint8_t>().swap(buffer_);
  if (out != nullptr) {
    *out = RemoteAttr{};
    out->type = RemoteAttr::kFile;
    out->size = written_;
    out->etag = reply.etag;
    out->mtime = out->ctime = HttpDateToTimestamp(reply.date);
  }
  return Status();
}

void S3WriteStream::abort() {
  // Parts in flight are cancelled before the upload is deleted, so none
  // can land after the DELETE.
  uploader_.reset();
  if (!uploadId_.empty() && !finished_ && !unanswered_) {
    S3Request request;
    request.method = "DELETE";
    request.key = key_;
    request.query = {{"uploadId", uploadId_}};
    S3Response reply;
    (void)backend_->execute(request, reply);
  }
  uploadId_.clear();
  std::vector<uint8_t>().swap(buffer_);
  finished_ = true;
}

}  // namespace tarn
