// The upload pipeline: closed packs wait in a queue no longer than the
// number of upload workers, so the thread that closes a pack blocks instead
// of buffering; the first failed upload becomes the sticky error that every
// later store, flush and wait reports.
#include <algorithm>
#include <chrono>

#include "backup/repo/repo.h"

namespace tarn::backup {
namespace {

// The back-pressure wait wakes this often to see a cancelled token, which
// sends no notification of its own.
constexpr auto kCancelPoll = std::chrono::milliseconds(ConnectionPool::kWaitSliceMs);

}  // namespace

void Repo::dropPendingLocked(const std::vector<PackEntry>& entries) {
  for (const PackEntry& e : entries) pending.erase(e.id);
}

Status Repo::flushPack(OpenPack& pack) {
  if (pack.entries.empty()) return Status();
  const uint64_t appended = pack.bytes.size();
  std::vector<uint8_t> table = PackHeaderTable(pack.entries);
  std::vector<uint8_t> sealed;
  if (!cipher.seal(table.data(), table.size(), kLabelPack, sealed)) return Status(Status::kIo, "encryption failed");
  pack.bytes.insert(pack.bytes.end(), sealed.begin(), sealed.end());
  AppendU32LE(pack.bytes, uint32_t(sealed.size()));
  std::vector<uint8_t> hash = ObjectHash(pack.bytes.data(), pack.bytes.size());

  QueuedPack queued;
  std::copy(hash.begin(), hash.end(), queued.id.bytes.begin());
  queued.bytes = std::move(pack.bytes);
  queued.entries = std::move(pack.entries);
  pack.bytes.clear();
  pack.entries.clear();

  std::vector<QueuedPack> segment;
  {
    std::unique_lock<std::mutex> lock(queueMutex);
    if (workers.empty() && !stopping) {
      int count = std::max(1, options.connections - 1);
      for (int i = 0; i < count; ++i) workers.emplace_back([this] { uploadWorker(); });
    }
    while (uploadQueue.size() >= workers.size() && uploadError.ok() && !IsCancelled(cancel) && !stopping)
      queueCv.wait_for(lock, kCancelPoll);
    if (!uploadError.ok() || IsCancelled(cancel) || stopping) {
      // The pack is discarded: its blobs exist nowhere now.
      dropPendingLocked(queued.entries);
      budget.closed(appended, 0);
      return uploadError.ok() ? Status(Status::kCanceled, "") : uploadError;
    }
    budget.closed(appended, queued.bytes.size());
    uploadQueue.push_back(std::move(queued));
    if (unindexed.size() >= options.indexSegmentPacks) segment.swap(unindexed);
    queueCv.notify_all();
  }
  if (!segment.empty()) return writeIndexSegment(std::move(segment));
  return Status();
}

void Repo::uploadWorker() {
  for (;;) {
    QueuedPack pack;
    {
      std::unique_lock<std::mutex> lock(queueMutex);
      queueCv.wait(lock, [&] { return stopping || !uploadQueue.empty(); });
      if (stopping) return;
      pack = std::move(uploadQueue.front());
      uploadQueue.pop_front();
      ++inFlight;
      queueCv.notify_all();
    }
    Status st = putObject(PackPath(pack.id), pack.bytes);
    const uint64_t length = pack.bytes.size();
    std::vector<uint8_t>().swap(pack.bytes);
    budget.uploaded(length);
    std::lock_guard<std::mutex> lock(queueMutex);
    --inFlight;
    if (st.ok()) {
      uint32_t position = uint32_t(packs.size());
      pack.length = uint32_t(length);
      packs.push_back(PackInfo{pack.id, pack.length, false});
      for (const PackEntry& e : pack.entries) {
        index[e.id] = BlobLocation{position, e.offset, e.storedLength, e.rawLength, e.type};
        pending.erase(e.id);
      }
      unindexed.push_back(std::move(pack));
      ++packsUploaded;
    } else {
      dropPendingLocked(pack.entries);
      if (uploadError.ok()) uploadError = st;
    }
    queueCv.notify_all();
  }
}

Status Repo::waitUploads() {
  // Failures of the seal stage are sticky and show below.
  (void)drainSeals();
  std::unique_lock<std::mutex> lock(queueMutex);
  queueCv.wait(lock, [&] { return (uploadQueue.empty() && inFlight == 0) || !uploadError.ok(); });
  if (uploadError.ok()) return Status();
  for (const QueuedPack& dropped : uploadQueue) {
    dropPendingLocked(dropped.entries);
    budget.uploaded(dropped.bytes.size());
  }
  uploadQueue.clear();
  queueCv.notify_all();
  queueCv.wait(lock, [&] { return inFlight == 0; });
  return uploadError;
}

Status Repo::flush() {
  Status st = closeOpenPacks();
  Status waited = waitUploads();
  if (st.ok()) st = waited;
  std::vector<QueuedPack> segment;
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    segment.swap(unindexed);
  }
  Status written = writeIndexSegment(std::move(segment));
  return st.ok() ? written : st;
}

}  // namespace tarn::backup
