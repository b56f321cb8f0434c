// Volume writes: bytes go into the block cache object and nothing is sent
// until the handle is closed or flushed. Also the upload queue's bookkeeping
// that the namespace operations and the service use: the user's stop, the
// wait for an empty queue, and the questions a running upload asks.
#include <algorithm>

#include "engine/clock.h"
#include "engine/volume.h"
#include "foundation/log.h"
#include "foundation/log_limiter.h"
#include "foundation/remote_path.h"

namespace tarn {

Status Volume::write(const std::shared_ptr<OpenFile>& file, uint64_t offset, const void* data, uint64_t length) {
  if (file->isDir) return Status(Status::kIsDirectory, file->path);
  if (config_.compat.readOnly) return Status(Status::kAccessDenied, "read-only mount");
  if (length == 0) return Status();
  if (!file->cache) return Status(Status::kIo, "no cache file for " + file->path);
  ActiveCall call(this);
  if (!call.ok()) return Status(Status::kCanceled, "volume stopped");
  CacheFile& cached = *file->cache;
  // Held until the bytes are written, so that writers side by side do not
  // together pass the reserve.
  std::unique_ptr<RoomHold> room;
  if (const uint64_t need = cached.unheldBytes(offset, length); need != 0) {
    Status st = makeCacheRoom(need, 0, "writes", &room);
    if (!st.ok()) return st;
  }
  const uint64_t block = cached.blockSize();
  const uint64_t remote = cached.remoteSize();
  // A block the write covers only in part keeps the server's bytes around the
  // new ones; a block wholly past the server's copy reads as zeros there.
  const uint64_t end = offset + length;
  const uint64_t head = offset - offset % block;
  const uint64_t tail = end - (end - 1) % block - 1;
  const bool headPartial = offset % block != 0;
  const bool tailPartial = end % block != 0;
  if (headPartial && head < remote) {
    Status st = cached.ensureRange(head, block, fetcher(), callToken());
    if (!st.ok()) return inTime(st);
  }
  // One block cut at both ends was fetched above; one that starts on its
  // boundary but ends inside still needs its tail.
  if (tailPartial && (tail != head || !headPartial) && tail < remote) {
    Status st = cached.ensureRange(tail, block, fetcher(), callToken());
    if (!st.ok()) return inTime(st);
  }
  Status st = cached.write(offset, data, length);
  if (!st.ok()) return st;
  const uint64_t size = cached.size();
  const Timestamp now = Timestamp::now();
  bool first;
  {
    std::lock_guard<std::mutex> lock(file->mu);
    first = !std::exchange(file->modified, true);
    file->attr.size = size;
    file->attr.mtime = now;
  }
  if (first) noteOpenChange(file);
  // The object's own path follows renames made while the handle was open.
  meta_->updateLocal(cached.path(), size, now);
  return Status();
}

void Volume::noteOpenChange(const std::shared_ptr<OpenFile>& file) {
  std::lock_guard<std::mutex> lock(openChangedMu_);
  std::erase_if(openChanged_, [](const auto& entry) { return entry.second.expired(); });
  openChanged_[file.get()] = file;
}

Status Volume::makeCacheRoom(uint64_t bytes, uint64_t objects, const char* refused, std::unique_ptr<RoomHold>* hold) {
  Status st;
  if (hold != nullptr)
    *hold = room_->hold(bytes, &st);
  else
    st = room_->make(bytes, objects);
  if (st.ok()) return st;
  // What is written stays; only new data waits until there is room again.
  setLastError(st, RequestKind::kCacheRoom);
  refusedBytes_ = bytes;
  refusedObjects_ = objects;
  roomShort_ = true;
  vx::log::WriteLimited(fileLog_, "no space", SteadyNowMs(), vx::log::kWarn, "%s: %s refused: %s", config_.id.c_str(),
                        refused, st.message.c_str());
  return st;
}

std::unique_ptr<RoomHold> Volume::holdFetched(uint64_t bytes) {
  Status st;
  std::unique_ptr<RoomHold> hold = room_->hold(bytes, &st);
  if (!hold)
    vx::log::WriteLimited(fileLog_, "reads not kept", SteadyNowMs(), vx::log::kInfo,
                          "%s: files are read without being kept: %s", config_.id.c_str(), st.message.c_str());
  return hold;
}

void Volume::followCacheRoom() {
  if (!roomShort_.load()) return;
  const uint64_t now = SteadyNowMs();
  if (now - lastRoomLookMs_ < timings_.roomLookMs) return;
  lastRoomLookMs_ = now;
  if (!room_->make(refusedBytes_.load(), refusedObjects_.load()).ok()) return;
  roomShort_ = false;
  requestSucceeded(RequestKind::kCacheRoom);
  vx::log::write(vx::log::kInfo, "%s: the cache's disk has room again", config_.id.c_str());
}

Status Volume::flush(const std::shared_ptr<OpenFile>& file) {
  if (file->isDir || !file->cache) return Status();
  CacheFile& cached = *file->cache;
  cached.saveMap();
  if (hasLocalChanges(cached)) queueUpload(cached.path(), 0, file->cache);
  return Status();
}

Status Volume::stopUpload(const std::string& path) {
  ActiveCall call(this);
  if (!call.ok()) return Status(Status::kCanceled, "volume stopped");
  bool found = false;
  {
    std::lock_guard<std::mutex> lock(uploadMu_);
    auto it = uploadQueue_.find(path);
    if (it != uploadQueue_.end()) {
      found = true;
      UploadEntry& entry = it->second;
      if (entry.running) {
        entry.stopRequested = entry.dropped = true;
        if (entry.cancel) entry.cancel->cancel();
      } else {
        uploadQueue_.erase(it);
      }
    }
  }
  std::shared_ptr<CacheFile> cached = cache_->open(path, false);
  const bool changed = cached && hasLocalChanges(*cached);
  if (!found && !changed) return Status(Status::kNotFound, "no upload of " + path);
  {
    std::unique_lock<std::mutex> lock(uploadMu_);
    const uint64_t start = SteadyNowMs();
    for (;;) {
      auto it = uploadQueue_.find(path);
      if (it == uploadQueue_.end() || !it->second.running) break;
      if (SteadyNowMs() - start >= timings_.stopUploadWaitMs) break;  // goes on regardless
      uploadCv_.wait_for(lock, std::chrono::milliseconds(timings_.uploadWaitSliceMs));
    }
  }
  if (changed) {
    cached->reset();
    cached->setDirty(false);
    cached->saveMap();
  }
  meta_->invalidate(path);
  vx::log::write(vx::log::kInfo, "%s: upload of %s stopped by the user; the server's copy stays", config_.id.c_str(),
                 path.c_str());
  return Status();
}

bool Volume::waitUploadsIdle(uint32_t timeoutMs) {
  const uint64_t deadline = SteadyNowMs() + timeoutMs;
  std::unique_lock<std::mutex> lock(uploadMu_);
  while (!uploadQueue_.empty() || replayPending()) {
    // Offline no upload runs: nothing is worth waiting for.
    if (offline_.load()) return false;
    const uint64_t now = SteadyNowMs();
    if (now >= deadline) return false;
    uploadCv_.wait_for(lock, std::chrono::milliseconds(std::min<uint64_t>(timings_.uploadWaitSliceMs, deadline - now)));
    lock.unlock();
    wakeUploader();
    lock.lock();
  }
  return true;
}

bool Volume::uploadStopRequested(const std::string& path) {
  std::lock_guard<std::mutex> lock(uploadMu_);
  auto it = uploadQueue_.find(path);
  return it != uploadQueue_.end() && it->second.stopRequested;
}

bool Volume::isDeleting(const std::string& path) {
  std::lock_guard<std::mutex> lock(uploadMu_);
  return deleting_.count(path) != 0;
}

bool Volume::isRenaming(const std::string& path) {
  std::lock_guard<std::mutex> lock(uploadMu_);
  return renaming_.count(path) != 0;
}

bool Volume::uploadBlockedLocked(const std::string& path) const {
  for (const std::string& p : renaming_)
    if (IsUnderPath(p, path)) return true;
  for (const std::string& p : deleting_)
    if (IsUnderPath(p, path)) return true;
  return false;
}

}  // namespace tarn
