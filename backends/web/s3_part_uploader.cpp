#include "backends/web/s3_part_uploader.h"

#include <algorithm>

#include "foundation/codec.h"
#include "foundation/hash.h"

namespace tarn {

S3Request S3PartRequest(const std::string& key, const std::string& uploadId, uint32_t number,
                        const std::vector<uint8_t>& data) {
  S3Request request;
  request.method = "PUT";
  request.key = key;
  request.query = {{"partNumber", std::to_string(number)}, {"uploadId", uploadId}};
  request.body = data.data();
  request.bodyLength = data.size();
  return request;
}

Status S3PartEtag(const S3Backend& backend, const S3Response& reply, const std::string& key, std::string& etag) {
  if (Status st = backend.mapError(reply, "PUT(part)", key); !st.ok()) return st;
  // The complete request names every part by its ETag.
  if (reply.etag.empty()) return Status(Status::kProtocol, "S3 upload: a part came back without an ETag");
  etag = reply.etag;
  return Status();
}

S3PartUploader::S3PartUploader(const S3Backend& backend, std::string key, std::string uploadId, std::string region,
                               size_t maxLanes)
    : backend_(backend),
      key_(std::move(key)),
      uploadId_(std::move(uploadId)),
      region_(std::move(region)),
      maxLanes_(std::max<size_t>(maxLanes, 1)),
      cancel_(backend.cancel_) {}

S3PartUploader::~S3PartUploader() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    stop_ = true;
  }
  changed_.notify_all();
  for (std::thread& lane : lanes_) lane.join();
}

Status S3PartUploader::submit(uint32_t number, std::vector<uint8_t>& data) {
  std::unique_lock<std::mutex> lock(mu_);
  if (busy_ >= lanes_.size() && lanes_.size() < maxLanes_) lanes_.emplace_back(&S3PartUploader::laneMain, this);
  changed_.wait(lock, [&] { return busy_ < maxLanes_ || !failed_.empty(); });
  if (!failed_.empty()) return failed_.front().failure;
  if (etags_.size() < number) etags_.resize(number);
  Part part;
  part.number = number;
  part.data = std::move(data);
  queue_.push_back(std::move(part));
  ++busy_;
  lock.unlock();
  changed_.notify_all();
  return Status();
}

void S3PartUploader::requeueFailedLocked() {
  for (Part& part : failed_) {
    part.failure = Status();
    queue_.push_back(std::move(part));
    ++busy_;
  }
  failed_.clear();
  while (lanes_.size() < std::min(busy_, maxLanes_)) lanes_.emplace_back(&S3PartUploader::laneMain, this);
  changed_.notify_all();
}

void S3PartUploader::requeueFailed() {
  std::lock_guard<std::mutex> lock(mu_);
  requeueFailedLocked();
}

Status S3PartUploader::drain() {
  std::unique_lock<std::mutex> lock(mu_);
  requeueFailedLocked();
  changed_.wait(lock, [&] { return busy_ == 0; });
  if (failed_.empty()) return Status();
  auto first = std::min_element(failed_.begin(), failed_.end(),
                                [](const Part& a, const Part& b) { return a.number < b.number; });
  return first->failure;
}

std::vector<uint8_t> S3PartUploader::takeSpare() {
  std::lock_guard<std::mutex> lock(mu_);
  if (spares_.empty()) return {};
  std::vector<uint8_t> spare = std::move(spares_.back());
  spares_.pop_back();
  return spare;
}

std::vector<std::string> S3PartUploader::etags() const {
  std::lock_guard<std::mutex> lock(mu_);
  return etags_;
}

Status S3PartUploader::sendPart(http::HttpConnection& connection, const Part& part, std::string& etag) const {
  S3Request request = S3PartRequest(key_, uploadId_, part.number, part.data);
  const std::string payloadHash = vx::HexEncode(vx::Sha256(part.data.data(), part.data.size()));
  S3Response reply;
  S3Backend::ReplyNotes notes;
  if (Status st = backend_.exchange(connection, request, payloadHash, region_, reply, notes, nullptr); !st.ok())
    return st;
  return S3PartEtag(backend_, reply, key_, etag);
}

void S3PartUploader::laneMain() {
  http::HttpConnection connection(backend_.sessionOptions());
  connection.setCancelCheck([this] { return stop_.load() || IsCancelled(cancel_); });
  const Status opened = backend_.openConnection(connection);
  for (;;) {
    Part part;
    {
      std::unique_lock<std::mutex> lock(mu_);
      changed_.wait(lock, [&] { return stop_ || !queue_.empty(); });
      if (stop_) return;
      part = std::move(queue_.front());
      queue_.pop_front();
    }
    std::string etag;
    Status st = opened.ok() ? sendPart(connection, part, etag) : opened;
    {
      std::lock_guard<std::mutex> lock(mu_);
      if (st.ok()) {
        etags_[part.number - 1] = std::move(etag);
        part.data.clear();
        spares_.push_back(std::move(part.data));
      } else {
        part.failure = std::move(st);
        failed_.push_back(std::move(part));
      }
      --busy_;
    }
    changed_.notify_all();
  }
}

}  // namespace tarn
