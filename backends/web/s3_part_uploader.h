// Sends the parts of one multipart upload in parallel, each lane a thread
// with its own connection to the endpoint, so that a large object is not
// limited to one TCP stream. Owned by the S3WriteStream that started the
// upload; its methods are called by that stream's one caller thread.
//
// Memory stays bounded: submit blocks while every lane is busy, and the
// buffers of sent parts come back through takeSpare for the next part. A
// failed part keeps its bytes and is sent again by the next drain. The
// back-end's cancel token when the upload starts ends the lanes' requests
// too; a stream is used within one pooled operation, so the token outlives it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "backends/web/s3_backend.h"

namespace tarn {

// The request that sends one part, and the check of its reply that yields
// the part's ETag; shared by the lanes and the one-connection path.
S3Request S3PartRequest(const std::string& key, const std::string& uploadId, uint32_t number,
                        const std::vector<uint8_t>& data);
Status S3PartEtag(const S3Backend& backend, const S3Response& reply, const std::string& key, std::string& etag);

class S3PartUploader {
 public:
  S3PartUploader(const S3Backend& backend, std::string key, std::string uploadId, std::string region, size_t maxLanes);
  // Abandons parts in flight (their requests are cancelled) and joins the lanes.
  ~S3PartUploader();
  S3PartUploader(const S3PartUploader&) = delete;
  S3PartUploader& operator=(const S3PartUploader&) = delete;

  // Queues part `number` (from 1), taking the bytes out of data. Waits for a
  // free lane. Refuses with the failure of an earlier part, leaving data alone.
  Status submit(uint32_t number, std::vector<uint8_t>& data);
  // Queues the parts that failed to be sent again.
  void requeueFailed();
  // Sends failed parts again, waits for every part, and returns the first
  // failure of this round, or ok.
  Status drain();
  // A buffer of a sent part, emptied, or an empty vector when none is free.
  std::vector<uint8_t> takeSpare();
  // The ETags by part number (index 0 is part 1); complete after drain is ok.
  std::vector<std::string> etags() const;

 private:
  struct Part {
    uint32_t number = 0;
    std::vector<uint8_t> data;
    Status failure;
  };

  void laneMain();
  // With mu_ held: failed parts back in the queue, and lanes for the queue.
  void requeueFailedLocked();
  Status sendPart(http::HttpConnection& connection, const Part& part, std::string& etag) const;

  const S3Backend& backend_;
  const std::string key_;
  const std::string uploadId_;
  const std::string region_;
  const size_t maxLanes_;
  const CancelToken* const cancel_;  // the back-end's when the upload started

  mutable std::mutex mu_;
  std::condition_variable changed_;           // a part was queued or finished, or stop was asked
  std::deque<Part> queue_;                    // guarded by mu_
  std::vector<Part> failed_;                  // guarded by mu_
  std::vector<std::vector<uint8_t>> spares_;  // guarded by mu_
  std::vector<std::string> etags_;            // guarded by mu_
  size_t busy_ = 0;                           // queued and running parts; guarded by mu_
  std::atomic<bool> stop_{false};             // set under mu_ so that waiters see it
  std::vector<std::thread> lanes_;            // touched only by the owner's thread
};

}  // namespace tarn
