// The seal stage: blobs handed on by the storing thread are compressed and
// sealed by several threads at once and appended to the open packs in the
// order they were handed on, so that a pack holds its blobs in store order
// whichever thread finished first. The thread that seals the blob whose turn
// has come appends it and every later one already sealed; a full pack is
// closed and queued for upload on that thread. A store waits for room in the
// pipeline's budget before its blob enters.
#include <algorithm>
#include <chrono>

#include "backup/repo/compression.h"
#include "backup/repo/repo.h"
#include "foundation/error.h"

namespace tarn::backup {
namespace {

// A pack's buffer is made once, with room beyond the target for a largest
// chunk (and at least a sixteenth of the target): a pack closes once it
// reaches the target, so no chunk makes the buffer grow, which would hold
// the old and the new one at once. A larger blob (a listing of a huge
// folder) closes the pack first.
constexpr uint64_t kPackSlackDivisor = 16;
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
  for (;;) {
    Status refused;
    {
      std::lock_guard<std::mutex> queueLock(queueMutex);
      if (!uploadError.ok())
        refused = uploadError;
      else if (IsCancelled(cancel) || stopping)
        refused = Status(Status::kCanceled, "");
      if (!refused.ok()) pending.erase(id);
    }
    if (!refused.ok()) return refused;
    if (budget.admit(length, kCancelPoll)) break;
  }

  auto job = std::make_unique<SealJob>();
  job->type = type;
  job->id = id;
  job->rawLength = length;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  job->bytes.reserve(length + kSealOverhead);
  job->bytes.resize(kNonceSize);
  job->bytes.insert(job->bytes.end(), bytes, bytes + length);
  job->bytes.resize(length + kSealOverhead);
  ++blobsAdded;
  bytesAdded += length;

  std::lock_guard<std::mutex> lock(sealMutex);
  if (sealWorkers.empty())
    for (int32_t i = 0; i < sealThreadCount; ++i) sealWorkers.emplace_back([this] { sealWorker(); });
  job->seq = sealSubmitted++;
  sealQueue.push_back(std::move(job));
  // One job wakes one sealer; waking all costs a context switch each.
  sealWork.notify_one();
  return Status();
}

void Repo::sealJob(SealJob& job) {
  const size_t length = size_t(job.rawLength);
  try {
    if (options.compress && length >= kMinCompressSize) {
      // Compressed straight into what becomes the sealed form: the room for
      // the nonce is made in front of it within the same allocation.
      std::vector<uint8_t> packed;
      packed.reserve(length + kSealOverhead);
      if (CompressBlob(job.bytes.data() + kNonceSize, length, packed)) {
        packed.insert(packed.begin(), kNonceSize, 0);
        packed.resize(packed.size() + kTagSize);
        job.bytes.swap(packed);
      }
    }
    if (!cipher.sealInPlace(job.bytes.data(), job.bytes.size() - kSealOverhead, kLabelBlob))
      job.status = Status(Status::kIo, "encryption failed");
  } catch (const vx::Error&) {
    job.status = Status(Status::kIo, "encryption failed");
  }
}

void Repo::sealWorker() {
  std::unique_lock<std::mutex> lock(sealMutex);
  for (;;) {
    sealWork.wait(lock, [&] { return sealStopping || !sealQueue.empty(); });
    if (sealStopping) return;
    std::unique_ptr<SealJob> job = std::move(sealQueue.front());
    sealQueue.pop_front();
    lock.unlock();

    sealJob(*job);

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
    job.reset();
    lock.lock();
    ++sealAppended;
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
      budget.appended(job.rawLength, 0);
      return refused;
    }
  }
  OpenPack& pack = job.type == kBlobTree ? treePack : dataPack;
  const uint64_t sealedLength = job.bytes.size();
  auto endWith = [&] {
    return uint64_t(pack.bytes.size()) + sealedLength + (pack.entries.size() + 1) * kPackEntrySize + kSealOverhead +
           kPackTrailerSize;
  };
  // A pack's offsets are u32: a blob that would carry the pack and its header
  // past 4 GiB starts a new pack instead, as does one that would outgrow the
  // pack's buffer. A lone blob always fits.
  const uint64_t room = uint64_t(options.packTargetSize) +
                        std::max<uint64_t>(options.packTargetSize / kPackSlackDivisor,
                                           uint64_t(chunkerParams.max) + kSealOverhead);
  if (!pack.entries.empty() && (endWith() > kMaxPackBytes || endWith() > room)) {
    Status st = flushPack(pack);
    if (!st.ok()) {
      std::lock_guard<std::mutex> lock(queueMutex);
      pending.erase(job.id);
      budget.appended(job.rawLength, 0);
      return st;
    }
  }
  if (pack.bytes.capacity() < endWith()) pack.bytes.reserve(std::max(room, endWith()));
  PackEntry entry{job.type, job.id, uint32_t(pack.bytes.size()), uint32_t(sealedLength), uint32_t(job.rawLength)};
  pack.bytes.insert(pack.bytes.end(), job.bytes.begin(), job.bytes.end());
  pack.entries.push_back(entry);
  bytesStored += sealedLength;
  budget.appended(job.rawLength, sealedLength);
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
