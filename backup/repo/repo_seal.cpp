// The seal stage: blobs handed on by the storing thread are compressed and
// sealed by several threads at once and appended to the open packs in the
// order they were handed on, so that a pack holds its blobs in store order
// whichever thread finished first. The thread that seals the blob whose turn
// has come appends it and every later one already sealed; a full pack is
// closed and queued for upload on that thread.
#include <algorithm>
#include <chrono>

#include "backup/repo/compression.h"
#include "backup/repo/repo.h"
#include "foundation/error.h"

namespace tarn::backup {
namespace {

constexpr uint64_t kPackReserveExtra = 1048576;
// The wait for room wakes this often to see a cancelled token, which sends
// no notification of its own.
constexpr auto kCancelPoll = std::chrono::milliseconds(ConnectionPool::kWaitSliceMs);

}  // namespace

void Repo::recordFailure(const Status& st) {
  std::lock_guard<std::mutex> lock(queueMutex);
  if (uploadError.ok()) uploadError = st;
  queueCv.notify_all();
}

Status Repo::submitBlob(uint8_t type, const BlobId& id, const void* data, size_t length) {
  auto job = std::make_unique<SealJob>();
  job->type = type;
  job->id = id;
  job->rawLength = length;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  job->data.assign(bytes, bytes + length);
  ++blobsAdded;
  bytesAdded += length;

  std::unique_lock<std::mutex> lock(sealMutex);
  if (sealWorkers.empty())
    for (int32_t i = 0; i < sealThreadCount; ++i) sealWorkers.emplace_back([this] { sealWorker(); });
  for (;;) {
    Status refused;
    {
      std::lock_guard<std::mutex> queueLock(queueMutex);
      if (!uploadError.ok())
        refused = uploadError;
      else if (IsCancelled(cancel))
        refused = Status(Status::kCanceled, "");
      if (!refused.ok()) pending.erase(id);
    }
    if (!refused.ok()) return refused;
    if (sealBacklog == 0 || sealBacklog + length <= sealBacklogLimit) break;
    sealDone.wait_for(lock, kCancelPoll);
  }
  job->seq = sealSubmitted++;
  sealBacklog += length;
  sealQueue.push_back(std::move(job));
  // One job wakes one sealer; waking all costs a context switch each.
  sealWork.notify_one();
  sealDone.notify_all();
  return Status();
}

void Repo::sealWorker() {
  std::vector<uint8_t> compressed;
  std::unique_lock<std::mutex> lock(sealMutex);
  for (;;) {
    sealWork.wait(lock, [&] { return sealStopping || !sealQueue.empty(); });
    if (sealStopping) return;
    std::unique_ptr<SealJob> job = std::move(sealQueue.front());
    sealQueue.pop_front();
    lock.unlock();

    const uint8_t* payload = job->data.data();
    size_t payloadLength = job->data.size();
    if (options.compress && CompressBlob(payload, payloadLength, compressed)) {
      payload = compressed.data();
      payloadLength = compressed.size();
    }
    try {
      if (!cipher.seal(payload, payloadLength, kLabelBlob, job->sealed))
        job->status = Status(Status::kIo, "encryption failed");
    } catch (const vx::Error&) {
      job->status = Status(Status::kIo, "encryption failed");
    }
    std::vector<uint8_t>().swap(job->data);

    lock.lock();
    const uint64_t seq = job->seq;
    sealed.emplace(seq, std::move(job));
    if (!sealAppending && seq == sealAppended) {
      sealAppending = true;
      appendReadyLocked(lock);
      sealAppending = false;
      sealDone.notify_all();
    }
  }
}

void Repo::appendReadyLocked(std::unique_lock<std::mutex>& lock) {
  for (auto it = sealed.find(sealAppended); it != sealed.end(); it = sealed.find(sealAppended)) {
    std::unique_ptr<SealJob> job = std::move(it->second);
    sealed.erase(it);
    lock.unlock();
    Status st = appendSealed(*job);
    if (!st.ok()) recordFailure(st);
    lock.lock();
    ++sealAppended;
    sealBacklog -= job->rawLength;
    sealDone.notify_all();
  }
}

Status Repo::appendSealed(SealJob& job) {
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    Status refused = !uploadError.ok() ? uploadError : job.status;
    if (!refused.ok()) {
      // This blob is stored nowhere: nothing may count it as stored.
      pending.erase(job.id);
      return refused;
    }
  }
  OpenPack& pack = job.type == kBlobTree ? treePack : dataPack;
  // A pack's offsets are u32: a blob that would carry the pack and its header
  // past 4 GiB starts a new pack instead. A lone blob always fits.
  uint64_t end = uint64_t(pack.bytes.size()) + job.sealed.size() + (pack.entries.size() + 1) * kPackEntrySize +
                 kSealOverhead + kPackTrailerSize;
  if (end > kMaxPackBytes && !pack.entries.empty()) {
    Status st = flushPack(pack);
    if (!st.ok()) {
      std::lock_guard<std::mutex> lock(queueMutex);
      pending.erase(job.id);
      return st;
    }
  }
  PackEntry entry{job.type, job.id, uint32_t(pack.bytes.size()), uint32_t(job.sealed.size()),
                  uint32_t(job.rawLength)};
  if (pack.bytes.capacity() < options.packTargetSize) pack.bytes.reserve(options.packTargetSize + kPackReserveExtra);
  pack.bytes.insert(pack.bytes.end(), job.sealed.begin(), job.sealed.end());
  pack.entries.push_back(entry);
  bytesStored += job.sealed.size();
  if (pack.bytes.size() >= options.packTargetSize) return flushPack(pack);
  return Status();
}

Status Repo::drainSeals() {
  {
    std::unique_lock<std::mutex> lock(sealMutex);
    sealDone.wait(lock, [&] { return sealAppended == sealSubmitted && !sealAppending; });
  }
  std::lock_guard<std::mutex> lock(queueMutex);
  return uploadError;
}

Status Repo::closeOpenPacks() {
  Status st = drainSeals();
  // Both are closed even after a failure, which discards what they hold.
  Status data = flushPack(dataPack);
  Status tree = flushPack(treePack);
  if (st.ok()) st = data;
  if (st.ok()) st = tree;
  return st;
}

}  // namespace tarn::backup
