// Volume uploads: the tick hands due queue entries to the "upload" pool; a job
// sends the changed ranges (servers that write at an offset) or the whole
// file, checks the server's size, marks the object clean, and otherwise
// reschedules the entry by the upload back-off. Uploads are never given up.
// Content that is to replace the server's copy whole (a rename put it over a
// file the server holds) always goes up whole: a whole upload replaces its
// target only once all of it is there, where writes at offsets would change
// the file its readers see piece by piece.
#include <algorithm>
#include <functional>
#include <thread>

#include "engine/clock.h"
#include "engine/volume.h"
#include "foundation/log.h"
#include "foundation/remote_path.h"

namespace tarn {
namespace {

// One piece of a whole upload: streams need no larger pieces to run at speed.
constexpr uint64_t kWholePieceBytes = 4ull << 20;

Status SizeMismatch(uint64_t server, uint64_t local) {
  return Status(Status::kConflict, "server size " + std::to_string(server) + " != local " + std::to_string(local));
}

}  // namespace

uint64_t Volume::uploadTick() {
  uint64_t untilDue = UINT64_MAX;
  if (offline_.load() || stopping_.load()) return untilDue;
  std::vector<std::string> start;
  {
    std::lock_guard<std::mutex> lock(uploadMu_);
    const int64_t now = static_cast<int64_t>(SteadyNowMs());
    int64_t free = std::max<int64_t>(1, config_.transfer.parallelChunks) - runningUploads_;
    for (auto& [path, entry] : uploadQueue_) {
      if (free <= 0) break;
      // An offline record that names the path (or a folder above it) must
      // reach the server before the path's content does.
      if (entry.running || uploadBlockedLocked(path) || journal_->holds(path)) continue;
      if (entry.due > now) {
        // The tick wakes when the first of them is due, not a tick later.
        untilDue = std::min(untilDue, static_cast<uint64_t>(entry.due - now));
        continue;
      }
      entry.running = true;
      start.push_back(path);
      --free;
      ++runningUploads_;
    }
  }
  for (const std::string& path : start) uploadPool_->post([this, path] { runUpload(path); });
  return untilDue;
}

void Volume::runUpload(const std::string& path) {
  auto token = std::make_shared<CancelToken>(cancel_);
  std::shared_ptr<CacheFile> cached;
  {
    std::lock_guard<std::mutex> lock(uploadMu_);
    auto it = uploadQueue_.find(path);
    if (it != uploadQueue_.end()) {
      cached = it->second.cache.lock();
      it->second.cancel = token;
    }
  }
  Status st;
  if (stopping_.load()) {
    st = Status(Status::kCanceled, "");
  } else if (cached && !cached->isRemoved() && cached->path() != path) {
    // The object was renamed after this entry was made: its upload goes on
    // under the name it has now.
    queueUpload(cached->path(), 0, cached);
    st = Status(Status::kNotFound, "moved");
  } else {
    TransferInfo info;
    st = uploadFile(path, info, cached, token.get());
  }
  finishUpload(path, st, cached);
}

void Volume::finishUpload(const std::string& path, const Status& st, const std::shared_ptr<CacheFile>& cached) {
  // The cache is asked before the upload mutex is taken. An object that was
  // removed, or moved to another name, no longer belongs to this entry.
  const bool stale = cached && (cached->isRemoved() || cached->path() != path);
  bool again = false;
  bool gone = false;
  if (st.ok()) {
    std::shared_ptr<CacheFile> object = cached && !stale ? cached : cache_->open(path, false);
    again = object && hasLocalChanges(*object);
  } else if (st.code == Status::kNotFound) {
    gone = cache_->open(path, false) == nullptr;
  }
  const RetryPolicy policy = UploadRetryPolicyFor(config_.net);
  {
    std::lock_guard<std::mutex> lock(uploadMu_);
    --runningUploads_;
    auto it = uploadQueue_.find(path);
    if (it != uploadQueue_.end()) {
      UploadEntry& entry = it->second;
      const int64_t now = static_cast<int64_t>(SteadyNowMs());
      entry.running = false;
      entry.cancel.reset();
      if (stale && entry.cache.lock() == cached) entry.cache.reset();
      if (entry.dropped || (st.ok() && !again) || (st.code == Status::kNotFound && gone)) {
        uploadQueue_.erase(it);
      } else if (st.ok()) {
        // Written while the upload ran: up again after the usual delay.
        entry.due = now + config_.cache.writebackDelayMs;
        entry.attempts = 0;
        entry.lastError.clear();
        entry.sameFailures = 0;
      } else if (!entry.stopRequested &&
                 ((st.code == Status::kNotFound && stale) || (st.code == Status::kCanceled && !stopping_.load()))) {
        // A new file took the name of the one deleted or moved away, or a
        // rename took back the stop it asked for: the file goes up at once.
        entry.due = now;
      } else if (!entry.stopRequested) {
        // An entry stopped for a rename is the rename's to move; any other
        // failure waits for its back-off.
        entry.attempts += 1;
        int64_t delay = policy.delayFor(static_cast<int32_t>(entry.attempts));
        if (!st.retryable()) delay = std::max<int64_t>(delay, policy.maxDelayMs);
        entry.due = now + delay;
        const std::string answer = st.toString();
        // Only the server's own answer counts: a network that comes and goes
        // is no reason to call the file stuck.
        entry.sameFailures = st.retryable() ? 0 : answer == entry.lastError ? entry.sameFailures + 1 : 1;
        entry.lastError = answer;
        if (entry.sameFailures == kStuckUploadFailures)
          vx::log::write(vx::log::kError, "%s: the upload of %s keeps failing: %s (tried again every %lld s)",
                         config_.id.c_str(), path.c_str(), answer.c_str(),
                         static_cast<long long>(std::max<int64_t>(delay, 0) / 1000));
      }
    }
  }
  uploadCv_.notify_all();
  wakeUploader();
}

bool Volume::uploadMustEnd(const std::string& path, CacheFile& cache) {
  if (cache.isRemoved()) return true;
  std::lock_guard<std::mutex> lock(uploadMu_);
  auto it = uploadQueue_.find(path);
  return (it != uploadQueue_.end() && it->second.stopRequested) || deleting_.count(path) != 0;
}

bool Volume::undoUploadOfDeleted(const std::string& path, CacheFile& cache, const CancelToken* cancel) {
  {
    // A deletion in progress decides first whether the file is gone.
    std::unique_lock<std::mutex> lock(uploadMu_);
    while (deleting_.count(path) != 0) uploadCv_.wait_for(lock, std::chrono::milliseconds(timings_.uploadWaitSliceMs));
  }
  if (!cache.isRemoved()) return false;
  if (std::shared_ptr<CacheFile> fresh = cache_->open(path, false)) {
    // A new file of this name: its own upload replaces what this one left.
    fresh->setDirty(true);
    fresh->saveMap();
    queueUpload(path, 0, fresh);
    return true;
  }
  Status st = pool_->run(RetryPolicyFor(config_.net), cancel, "unlink", [&](IBackend& b) {
    noteConnected(b);
    return b.remove(path, false);
  });
  if (!st.ok() && st.code != Status::kNotFound)
    vx::log::write(vx::log::kWarn, "%s: cannot remove %s again after its upload: %s", config_.id.c_str(), path.c_str(),
                   st.toString().c_str());
  return true;
}

bool Volume::remakeMissingFolders(const std::string& path, const CancelToken* cancel) {
  const std::string parent = ParentPath(path);
  if (IsRootPath(parent)) return false;
  RemoteAttr attr;
  Status st = pool_->run(RetryPolicyFor(config_.net), cancel, "stat", [&](IBackend& b) { return b.stat(parent, attr); });
  if (st.code != Status::kNotFound) return false;  // the folder is there: the failure was another
  vx::log::write(vx::log::kWarn, "%s: folder %s is gone from the server; made again for %s", config_.id.c_str(),
                 parent.c_str(), path.c_str());
  std::string folder;
  for (const std::string& name : SplitPath(parent)) {
    folder = JoinRemotePath(folder.empty() ? std::string("/") : folder, name);
    st = pool_->run(RetryPolicyFor(config_.net), cancel, "mkdir", [&](IBackend& b) { return b.mkdir(folder); });
    if (!st.ok() && st.code != Status::kExists) {
      vx::log::write(vx::log::kWarn, "%s: cannot make folder %s again: %s", config_.id.c_str(), folder.c_str(),
                     st.toString().c_str());
      return false;
    }
  }
  meta_->invalidateTree(parent);
  return true;
}

Status Volume::uploadFile(const std::string& path, TransferInfo& info, std::shared_ptr<CacheFile> cache,
                          const CancelToken* cancel) {
  const char* id = config_.id.c_str();
  if (cache && cache->isRemoved()) return Status(Status::kNotFound, "deleted");
  if (!cache) cache = cache_->open(path, false);
  if (!cache) return Status(Status::kNotFound, "no cache file");
  if (!hasLocalChanges(*cache)) return Status();
  cache->setDirty(true);
  cache->saveMap();

  const bool inPlace = caps()->randomWrite && !cache->replacesWhole();
  uint64_t total = 0;
  if (inPlace) {
    for (const auto& range : cache->dirtyRanges()) total += range.second;
  } else {
    total = cache->size();
  }
  // Another try of a refused file shows the last refusal meanwhile, so that
  // the list never hides why it is still going on.
  std::string before;
  uint32_t attempt = 0;
  {
    std::lock_guard<std::mutex> lock(uploadMu_);
    if (auto it = uploadQueue_.find(path); it != uploadQueue_.end() && it->second.attempts != 0) {
      before = it->second.lastError;
      attempt = it->second.attempts + 1;
    }
  }
  info = TransferInfo();
  info.id = TransferBegin(path, true, total, before, attempt);
  info.path = path;
  info.upload = true;
  info.total = total;

  // A time set on the file goes up after the content, which would undo it.
  const bool keepsTimes = config_.compat.setMtime && caps()->setMtime;
  const Timestamp pendingMtime = cache->pendingMtime();
  uint64_t sent = 0;
  std::optional<RemoteAttr> seen;
  auto send = [&] {
    seen.reset();
    return inPlace ? uploadInPlace(path, cache, info, cancel, pendingMtime, sent, seen)
                   : uploadWhole(path, cache, info, cancel, pendingMtime, sent);
  };
  Status st = send();
  // A folder of the path is gone from the server (renamed or deleted there
  // by another client, or by a rename whose record was lost): the changes go
  // where the file last was, into folders made again, rather than being
  // retried for ever against a missing parent.
  if (st.code == Status::kNotFound && !uploadMustEnd(path, *cache) && cache->path() == path &&
      remakeMissingFolders(path, cancel))
    st = send();
  RemoteAttr attr;
  bool sizeChecked = false;
  if (st.ok() && seen) {
    // The upload's last question was the size: asking again tells nothing new.
    attr = *seen;
    if (attr.size != sent) st = SizeMismatch(attr.size, sent);
    sizeChecked = st.ok();
  } else if (st.ok() && config_.transfer.verifyAfterUpload) {
    st = verifyUpload(path, cache, sent, cancel, &attr);
    sizeChecked = st.ok();
  }
  bool undone = false;
  if (st.ok() && undoUploadOfDeleted(path, *cache, cancel)) {
    undone = true;
    st = Status(Status::kNotFound, "deleted");
  }
  if (st.ok() && !sizeChecked) {
    // Without verification the upload still counts only once the server
    // shows the size that was sent.
    st = pool_->run(RetryPolicyFor(config_.net), cancel, "stat-after-upload", [&](IBackend& b) {
      noteConnected(b);
      return b.stat(path, attr);
    });
    if (st.ok() && attr.size != sent) st = SizeMismatch(attr.size, sent);
  }
  if (st.ok()) {
    // The record first: once the object is clean, the drive shows whatever
    // the record says, and an older one (a listing taken before the upload
    // ended, with the empty copy a create left) must not be shown meanwhile.
    meta_->putAttrAndEntry(path, attr);
    cache->markUploaded(attr.etag, attr.size, attr.mtime);
    // What the server cannot keep is not kept waiting for it either.
    cache->clearPendingMtime(keepsTimes ? pendingMtime : cache->pendingMtime());
    // A size or a time set while the upload ran is a change still to send.
    if (cache->size() != attr.size || !cache->pendingMtime().isZero()) cache->setDirty(true);
    cache->saveMap();
    TransferEnd(info.id, true, "");
    requestSucceeded(RequestKind::kUpload);
    vx::log::WriteLimited(fileLog_, "uploaded", SteadyNowMs(), vx::log::kInfo, "%s: uploaded %s (%s)", id, path.c_str(),
                          FormatBytes(cache->size()).c_str());
    return Status();
  }

  if ((st.code == Status::kCanceled || IsCancelled(cancel)) && uploadStopRequested(path)) {
    TransferEnd(info.id, false, isRenaming(path) ? "renamed; continues under the new name" : "stopped");
    return st;
  }
  const bool removed = cache->isRemoved();
  const bool deleting = isDeleting(path);
  const bool renaming = isRenaming(path);
  const bool exists = cache_->open(path, false) != nullptr;
  if (removed || deleting || renaming || (st.code == Status::kNotFound && !exists)) {
    // What a failed piece may still have left on the server goes too.
    if (!undone && (removed || deleting)) undoUploadOfDeleted(path, *cache, cancel);
    TransferEnd(info.id, false, "deleted before the upload finished");
    vx::log::WriteLimited(fileLog_, "dropped", SteadyNowMs(), vx::log::kInfo,
                          "%s: upload of %s dropped, file deleted meanwhile", id, path.c_str());
    return Status(Status::kNotFound, "deleted");
  }
  recordUploadError(path, st);
  TransferEnd(info.id, false, st.toString());
  vx::log::WriteLimited(fileLog_, "failed", SteadyNowMs(), vx::log::kWarn, "%s: upload of %s failed: %s", id,
                        path.c_str(), st.toString().c_str());
  return st;
}

Status Volume::uploadInPlace(const std::string& path, const std::shared_ptr<CacheFile>& cache, TransferInfo& info,
                             const CancelToken* cancel, Timestamp mtime, uint64_t& sentSize,
                             std::optional<RemoteAttr>& seen) {
  const RetryPolicy policy = UploadRetryPolicyFor(config_.net);
  const ConnectionPool::FailureObserver uploadFailed = [&](const Status& failed) { recordUploadError(path, failed); };
  std::vector<std::pair<uint64_t, uint64_t>> ranges = cache->dirtyRanges();
  uint64_t done = 0;
  auto ended = [&] {
    return Status(Status::kCanceled,
                  cache->isRemoved() || isDeleting(path) ? "deleted during upload" : "renamed during upload");
  };
  // Pieces go up side by side, one connection each with one left for reads,
  // and together no larger than one chunk, so the buffers stay as they were.
  // A lane takes the next piece as soon as its own is sent: a slow piece
  // holds up its own lane only.
  const uint64_t lanes = static_cast<uint64_t>(std::max<int32_t>(1, config_.net.connections - 1));
  const uint64_t block = cache->blockSize();
  const uint64_t pieceBytes = std::max(block, config_.transfer.chunkBytes / lanes / block * block);
  while (!ranges.empty()) {
    if (uploadMustEnd(path, *cache)) return ended();
    std::vector<std::pair<uint64_t, uint64_t>> pieces;
    for (const auto& [offset, length] : ranges)
      for (uint64_t pos = offset; pos < offset + length; pos += pieceBytes)
        pieces.emplace_back(pos, std::min(pieceBytes, offset + length - pos));
    std::mutex mu;
    size_t next = 0;             // guarded by mu
    Status failed;               // guarded by mu
    Status unfetched;            // guarded by mu: a dirty block the cache could not bring back
    bool stop = false;           // guarded by mu: ended, cancelled or failed
    bool replan = false;         // guarded by mu
    uint64_t sinceSave = 0;      // guarded by mu
    auto lane = [&] {
      std::vector<uint8_t> bytes;
      for (;;) {
        const bool mustEnd = uploadMustEnd(path, *cache) || IsCancelled(cancel);
        std::pair<uint64_t, uint64_t> piece;
        {
          std::lock_guard<std::mutex> lock(mu);
          stop = stop || mustEnd;
          if (stop || replan || next == pieces.size()) return;
          piece = pieces[next++];
        }
        const uint64_t offset = piece.first, length = piece.second;
        cache->clearUploadMarks(offset, length);
        bytes.resize(length);
        Status st;
        bool present = cache->readIfCached(offset, bytes.data(), length);
        // A file cut to a block boundary leaves its new last block dirty but
        // absent: the server's bytes are the ones to keep there.
        if (!present) st = cache->ensureRange(offset, length, fetcher(), cancel);
        if (st.ok() && !present) present = cache->readIfCached(offset, bytes.data(), length);
        if (st.code == Status::kNoSpace) present = readPieceThrough(*cache, offset, bytes.data(), length, cancel, st);
        if (st.ok() && present) {
          st = pool_->run(
              policy, cancel, "write",
              [&](IBackend& b) {
                noteConnected(b);
                return b.writeAt(path, offset, bytes.data(), length);
              },
              uploadFailed);
        }
        if (st.ok() && present) {
          limiter_.consume(length, cancel);
          bytesUp_ += length;
          cache->markRangeClean(offset, length);
        }
        bool save = false;
        {
          std::lock_guard<std::mutex> lock(mu);
          if (!st.ok()) {
            Status& first = present ? failed : unfetched;
            if (first.ok()) first = st;
            stop = true;
            return;
          }
          // The file shrank meanwhile: what is dirty now is looked at anew.
          if (!present) {
            replan = true;
            return;
          }
          done += length;
          sinceSave += length;
          save = sinceSave >= config_.transfer.chunkBytes;
          if (save) sinceSave = 0;
          // Under the lanes' lock, so that the progress shown never goes back.
          updateTransfer(info.id, done, nullptr, nullptr, -1);
        }
        // What went up survives a restart; the map goes to the disk once a
        // chunk, as each round's did.
        if (save) cache->saveMap();
      }
    };
    std::vector<std::thread> helpers;
    for (uint64_t i = 1; i < std::min<uint64_t>(lanes, pieces.size()); ++i) helpers.emplace_back(lane);
    lane();
    for (std::thread& t : helpers) t.join();
    if (!unfetched.ok()) return unfetched;
    // The server cannot write at an offset after all (the drive chose before
    // it first heard from it), or it has no copy to write into (made offline,
    // or deleted there meanwhile, and the local file wins): the file goes up
    // whole.
    if ((failed.code == Status::kUnsupported || failed.code == Status::kNotFound) && !uploadMustEnd(path, *cache))
      return uploadWhole(path, cache, info, cancel, mtime, sentSize);
    if (!failed.ok()) return failed;
    if (uploadMustEnd(path, *cache)) return ended();
    if (IsCancelled(cancel)) return Status(Status::kCanceled, "");
    std::vector<std::pair<uint64_t, uint64_t>> now = cache->dirtyRanges();
    if (replan && !now.empty() && now.front() == ranges.front())
      return Status(Status::kIo, "dirty block missing from cache");
    ranges = std::move(now);
    if (!ranges.empty()) cache->saveMap();
  }
  if (uploadMustEnd(path, *cache)) return ended();

  std::shared_ptr<const BackendCaps> caps = this->caps();
  const uint64_t localSize = cache->size();
  const bool setsTimes = config_.compat.setMtime && caps->setMtime;
  if (setsTimes) {
    RemoteAttr known;
    bool negative = false;
    if (mtime.isZero() && meta_->getAttr(path, &known, &negative) && !negative) mtime = known.mtime;
    if (mtime.isZero()) mtime = Timestamp::now();
  }
  auto setTimes = [&] {
    if (setsTimes)
      (void)pool_->run(RetryPolicyFor(config_.net), cancel, "setTimes",
                       [&](IBackend& b) { return b.setTimes(path, mtime, Timestamp()); });
  };
  // The time goes first, so that the size asked for next is that of the copy
  // as it stays, and checks the upload as well; only a truncation, which
  // moves the time again, needs it set once more.
  setTimes();
  RemoteAttr attr;
  Status st = pool_->run(policy, cancel, "stat", [&](IBackend& b) {
    noteConnected(b);
    return b.stat(path, attr);
  });
  if (st.ok() && attr.size != localSize && caps->truncate) {
    st = pool_->run(policy, cancel, "truncate", [&](IBackend& b) { return b.truncate(path, localSize); });
    if (!st.ok()) return st;
    setTimes();
  } else if (st.ok()) {
    seen = attr;
  }
  sentSize = localSize;
  return Status();
}

Status Volume::uploadWhole(const std::string& path, const std::shared_ptr<CacheFile>& cache, TransferInfo& info,
                           const CancelToken* cancel, Timestamp mtime, uint64_t& sentSize) {
  const uint64_t size = cache->size();
  // The whole content goes up, so every block must be here first; where the
  // cache's disk has no room for the server's bytes, they go through from
  // the server on a connection of their own.
  Status st = cache->ensureRange(0, size, fetcher(), cancel);
  const bool through = st.code == Status::kNoSpace && config_.net.connections > 1;
  if (!st.ok() && !through) return st;
  cache->clearUploadMarks(0, size);
  if (!config_.compat.setMtime || !caps()->setMtime) {
    mtime = Timestamp();
  } else if (mtime.isZero()) {
    RemoteAttr known;
    bool negative = false;
    if (meta_->getAttr(path, &known, &negative) && !negative) mtime = known.mtime;
  }
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min({config_.transfer.chunkBytes, kWholePieceBytes, size})));
  const auto attempt = [&](IBackend& b) -> Status {
    noteConnected(b);
    std::unique_ptr<IWriteStream> stream;
    // An empty file goes up whole with the request that opens the upload.
    if (size == 0) b.setCancelToken(cancel_.get());
    Status s = b.openWrite(path, 0, size, stream);
    if (!s.ok()) return s;
    for (uint64_t offset = 0; offset < size;) {
      if (uploadMustEnd(path, *cache)) {
        stream->abort();
        return Status(Status::kCanceled, "interrupted upload");
      }
      const uint64_t n = std::min<uint64_t>(size - offset, buffer.size());
      Status piece;
      if (!cache->readIfCached(offset, buffer.data(), n) &&
          !(through && readPieceThrough(*cache, offset, buffer.data(), n, cancel, piece))) {
        stream->abort();
        return piece.ok() ? Status(Status::kIo, "block missing from cache during upload") : piece;
      }
      // Once the last bytes are on their way the server may apply the
      // upload whatever this side does (an HTTP server that has the whole
      // body): its answer is waited for, so that a rename or deletion that
      // stopped the upload comes after it and nothing brings the old name
      // back. Only the drive's stop cuts that wait short.
      if (offset + n == size) b.setCancelToken(cancel_.get());
      s = stream->write(buffer.data(), n);
      if (!s.ok()) {
        stream->abort();
        return s;
      }
      offset += n;
      bytesUp_ += n;
      limiter_.consume(n, offset < size ? cancel : cancel_.get());
      updateTransfer(info.id, offset, nullptr, nullptr, -1);
      if (offset < size && IsCancelled(cancel)) {
        stream->abort();
        return Status(Status::kCanceled, "");
      }
    }
    RemoteAttr attr;
    s = stream->finish(&attr);
    if (!s.ok()) return s;
    if (!mtime.isZero()) (void)b.setTimes(path, mtime, Timestamp());
    return Status();
  };
  st = pool_->run(UploadRetryPolicyFor(config_.net), cancel, "put", attempt,
                  [&](const Status& failed) { recordUploadError(path, failed); });
  if (st.ok()) sentSize = size;
  return st;
}

bool Volume::readPieceThrough(CacheFile& cache, uint64_t offset, uint8_t* buffer, uint64_t length,
                              const CancelToken* cancel, Status& st) {
  uint64_t got = 0;
  st = cache.readThrough(offset, buffer, length, got, fetcher(), cancel);
  // The file was cut meanwhile: what is left is looked at anew.
  return st.ok() && got == length;
}

void Volume::recordUploadError(const std::string& path, const Status& st) {
  setLastError(Status(st.code, "upload of " + path + ": " + st.message, st.native), RequestKind::kUpload);
}

Status Volume::verifyUpload(const std::string& path, const std::shared_ptr<CacheFile>& cache, uint64_t localSize,
                            const CancelToken* cancel, RemoteAttr* attr) {
  (void)cache;
  RemoteAttr got;
  Status st = pool_->run(RetryPolicyFor(config_.net), cancel, "verify", [&](IBackend& b) {
    noteConnected(b);
    return b.stat(path, got);
  });
  if (!st.ok()) return st;
  if (attr != nullptr) *attr = got;
  return got.size == localSize ? Status() : SizeMismatch(got.size, localSize);
}

}  // namespace tarn
