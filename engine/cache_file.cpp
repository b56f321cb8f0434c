#include "engine/cache_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>

#include "engine/clock.h"
#include "engine/map_file.h"
#include "foundation/log.h"

namespace tarn {

namespace {

constexpr uint8_t kAllBits = kBlockPresent | kBlockDirty | kBlockWrittenSinceUpload;
constexpr size_t kInFlightListedInWarning = 40;
constexpr const char* kNotKept = "no room on the cache's disk to keep fetched blocks";

Status TooLarge() { return Status(Status::kTooLarge, "file too large for the cache"); }

std::string CutEtag(const std::string& etag) { return etag.substr(0, std::min(etag.size(), kMaxMapEtagBytes)); }

// Offsets and lengths come from callers that may pass anything; their sum
// must not wrap around into a small number.
uint64_t SatAdd(uint64_t a, uint64_t b) { return b > UINT64_MAX - a ? UINT64_MAX : a + b; }

uint64_t CeilDiv(uint64_t a, uint64_t b) { return a / b + (a % b != 0 ? 1 : 0); }

// Records are numbered across all objects, so that an object made again for
// a path never repeats a number an earlier one gave out for another copy.
std::atomic<uint64_t> g_records{0};
uint64_t NextRecord() { return g_records.fetch_add(1, std::memory_order_relaxed) + 1; }

}  // namespace

CacheFile::CacheFile(std::string binPath, std::string mapPath, std::string path, std::string name,
                     uint32_t blockSize, Env* env, std::shared_ptr<const RoomKeeper> room)
    : env_(env != nullptr ? env : Env::Default()),
      blockSize_(blockSize),
      maxFileBytes_(MaxCachedFileBytes(blockSize)),
      room_(std::move(room)),
      binPath_(std::move(binPath)),
      mapPath_(std::move(mapPath)),
      path_(std::move(path)),
      name_(std::move(name)),
      remoteRecord_(NextRecord()) {}

CacheFile::~CacheFile() = default;

// A full disk is reported as such so that the application sees "disk full"
// rather than a generic failure; everything else is an io error.
Status CacheFile::localFailure(const char* what, int err) {
  const int32_t code = (err == ENOSPC || err == EDQUOT) ? Status::kNoSpace : Status::kIo;
  return Status(code, what, err);
}

uint64_t CacheFile::blockCountLocked(uint64_t size) const { return CeilDiv(size, blockSize_); }

void CacheFile::growStatesLocked() {
  const uint64_t count = blockCountLocked(size_);
  if (states_.size() < count) states_.resize(count, 0);
}

bool CacheFile::allPresentLocked(uint64_t first, uint64_t last) const {
  for (uint64_t b = first; b <= last; ++b)
    if (b >= states_.size() || !(states_[b] & kBlockPresent)) return false;
  return true;
}

bool CacheFile::anyPresentLocked(uint64_t first, uint64_t last) const {
  for (uint64_t b = first; b <= last && b < states_.size(); ++b)
    if (states_[b] & kBlockPresent) return true;
  return false;
}

bool CacheFile::hasDirtyLocked() const {
  return std::any_of(states_.begin(), states_.end(), [](uint8_t s) { return (s & kBlockDirty) != 0; });
}

uint64_t CacheFile::firstBusyLocked(uint64_t first, uint64_t last) const {
  for (auto it = inFlight_.lower_bound(first); it != inFlight_.end() && *it <= last; ++it)
    if (*it < states_.size() && !(states_[*it] & kBlockPresent)) return *it;
  return last + 1;
}

Status CacheFile::read(uint64_t offset, void* buffer, uint64_t length, uint64_t& got, const Fetcher& fetcher,
                       const CancelToken* cancel) {
  got = 0;
  std::unique_lock<std::mutex> lock(mu_);
  uint64_t n = 0;
  // A fetch that a concurrent write, reset or truncation made stale stores
  // nothing; the blocks are then looked at again with the new size.
  for (bool again = false;; again = true) {
    if (offset >= size_ || length == 0) return Status();
    n = std::min(size_ - offset, length);
    const uint64_t first = offset / blockSize_;
    const uint64_t last = (offset + n - 1) / blockSize_;
    growStatesLocked();
    if (allPresentLocked(first, last)) break;
    if (again && IsCancelled(cancel)) return Status(Status::kCanceled, "");
    ReadInto into{offset, n, buffer, false};
    Status st = fetchBlocks(first, last, fetcher, cancel, lock, true, &into);
    if (into.done) {
      got = n;
      return Status();
    }
    // What the cache has no room to keep still reaches its reader.
    if (st.code == Status::kNoSpace)
      return readThroughLocked(offset, static_cast<uint8_t*>(buffer), n, got, fetcher, cancel, lock);
    if (!st.ok()) return st;
  }
  int err = 0;
  if (!readAt(offset, buffer, n, &err)) return localFailure("cache read failed", err);
  got = n;
  return Status();
}

bool CacheFile::readIfCached(uint64_t offset, void* buffer, uint64_t length) {
  std::lock_guard<std::mutex> lock(mu_);
  if (offset > size_ || length > size_ - offset) return false;
  if (length == 0) return true;
  if (!allPresentLocked(offset / blockSize_, (offset + length - 1) / blockSize_)) return false;
  int err = 0;
  return readAt(offset, buffer, length, &err);
}

bool CacheFile::wantsFetch(uint64_t offset, uint64_t length) {
  std::lock_guard<std::mutex> lock(mu_);
  if (offset >= size_ || length == 0) return false;
  const uint64_t last = (std::min(size_, offset + length) - 1) / blockSize_;
  for (uint64_t b = offset / blockSize_; b <= last; ++b)
    if ((b >= states_.size() || !(states_[b] & kBlockPresent)) && inFlight_.count(b) == 0) return true;
  return false;
}

bool CacheFile::holdsNoBlock() {
  std::lock_guard<std::mutex> lock(mu_);
  return inFlight_.empty() &&
         std::none_of(states_.begin(), states_.end(), [](uint8_t s) { return (s & kBlockPresent) != 0; });
}

bool CacheFile::holdsRange(uint64_t offset, uint64_t length) {
  if (length == 0) return true;
  std::lock_guard<std::mutex> lock(mu_);
  return allPresentLocked(offset / blockSize_, (offset + length - 1) / blockSize_);
}

uint64_t CacheFile::unheldBytes(uint64_t offset, uint64_t length) {
  // A range no file can reach takes nothing: its write is refused.
  if (length == 0 || offset > maxFileBytes_ || length > maxFileBytes_ - offset) return 0;
  const uint64_t last = (offset + length - 1) / blockSize_;
  std::lock_guard<std::mutex> lock(mu_);
  uint64_t blocks = 0;
  for (uint64_t b = offset / blockSize_; b <= last; ++b)
    if (b >= states_.size() || !(states_[b] & kBlockPresent)) ++blocks;
  return blocks * blockSize_;
}

Status CacheFile::ensureRange(uint64_t offset, uint64_t length, const Fetcher& fetcher, const CancelToken* cancel) {
  std::unique_lock<std::mutex> lock(mu_);
  for (bool again = false;; again = true) {
    if (offset >= size_ || length == 0) return Status();
    const uint64_t first = offset / blockSize_;
    const uint64_t last = (offset + std::min(length, size_ - offset) - 1) / blockSize_;
    growStatesLocked();
    if (allPresentLocked(first, last)) return Status();
    if (again && IsCancelled(cancel)) return Status(Status::kCanceled, "");
    Status st = fetchBlocks(first, last, fetcher, cancel, lock);
    if (!st.ok()) return st;
  }
}

Status CacheFile::prefetchRange(uint64_t offset, uint64_t length, const Fetcher& fetcher,
                                const CancelToken* cancel) {
  std::unique_lock<std::mutex> lock(mu_);
  if (offset >= size_ || length == 0) return Status();
  const uint64_t first = offset / blockSize_;
  const uint64_t last = (std::min(size_, offset + length) - 1) / blockSize_;
  growStatesLocked();
  return fetchBlocks(first, last, fetcher, cancel, lock, false);
}

Status CacheFile::fetchBlocks(uint64_t first, uint64_t last, const Fetcher& fetcher, const CancelToken* cancel,
                              std::unique_lock<std::mutex>& lock, bool waitForOthers, ReadInto* into) {
  uint64_t waitStart = 0;
  bool warned = false;
  for (;;) {
    if (states_.empty() || first >= states_.size()) return Status();  // shrunk meanwhile
    last = std::min<uint64_t>(last, states_.size() - 1);
    const uint64_t busy = firstBusyLocked(first, last);
    if (busy > last || !waitForOthers) break;
    const uint64_t now = SteadyNowMs();
    if (waitStart == 0) waitStart = now == 0 ? 1 : now;
    if (!warned && now - waitStart > kInFlightWarnMs) {
      warned = true;
      std::string listed;
      size_t i = 0;
      for (auto it = inFlight_.begin(); it != inFlight_.end() && i < kInFlightListedInWarning; ++it, ++i)
        listed += std::to_string(*it) + " ";
      vx::log::write(vx::log::kWarn, "cache %s: waiting 30 s for block %llu (range %llu..%llu), %zu in flight: %s",
                     name_.c_str(), static_cast<unsigned long long>(busy), static_cast<unsigned long long>(first),
                     static_cast<unsigned long long>(last), inFlight_.size(), listed.c_str());
    }
    cv_.wait_for(lock, std::chrono::milliseconds(kInFlightWaitSliceMs));
    if (IsCancelled(cancel)) return Status(Status::kCanceled, "");
  }

  // Runs end at kMaxFetchRunBytes so that one buffer never has to hold a
  // whole large file. Each run is reserved only when its turn comes: a
  // reader of a later block fetches it at once instead of waiting for every
  // run before it, and this fetch then skips it.
  const uint64_t maxRunBlocks = std::max<uint64_t>(1, kMaxFetchRunBytes / blockSize_);
  const uint64_t size = size_;
  const uint64_t remoteSize = remoteSize_;
  const uint64_t epoch = epoch_;
  auto wanted = [&](uint64_t b) {
    return b <= last && b < states_.size() && !(states_[b] & kBlockPresent) && inFlight_.count(b) == 0;
  };
  for (uint64_t b = first;; ++b) {
    // Without waiting for others, blocks in flight are theirs to bring in.
    while (b <= last && b < states_.size() && !wanted(b)) ++b;
    if (!wanted(b)) return Status();
    const uint64_t runFirst = b;
    inFlight_.insert(b);
    while (b - runFirst + 1 < maxRunBlocks && wanted(b + 1)) inFlight_.insert(++b);
    const uint64_t runLast = b;
    lock.unlock();
    const uint64_t off = runFirst * blockSize_;
    const uint64_t end = std::min({size, (runLast + 1) * blockSize_, remoteSize});
    const uint64_t len = end > off ? end - off : 0;
    Status st;
    std::vector<uint8_t> buf;
    const Timestamp readSince = Timestamp::now();
    // Bytes the disk has no room to keep are not fetched here: a reader
    // gets them through (see read), and anyone else is told. Room is asked
    // for with no lock held: making it may take a while.
    std::unique_ptr<RoomHold> hold = len == 0 || !room_ ? nullptr : (*room_)(len);
    const bool keep = len == 0 || !room_ || hold != nullptr;
    if (len > 0 && keep) {
      try {
        buf.resize(len);
        uint64_t delivered = 0;
        st = fetcher(this, off, buf.data(), len, delivered, cancel);
        if (st.ok() && delivered < len) st = Status(Status::kNetwork, "short read from server");
      } catch (const std::exception& e) {
        st = Status(Status::kIo, std::string("fetch failed: ") + e.what());
      }
    }
    lock.lock();
    // Blocks present by now hold newer bytes than the buffer: the reader
    // gets its range from the buffer only when all of it is stored from there.
    const bool handOver = into != nullptr && !into->done && into->length != 0 && into->offset >= off &&
                          into->offset + into->length <= off + buf.size() &&
                          !anyPresentLocked(into->offset / blockSize_, (into->offset + into->length - 1) / blockSize_);
    if (st.ok() && epoch_ == epoch) {
      st = keep ? storeFetched(runFirst, runLast, buf, readSince, lock) : Status(Status::kNoSpace, kNotKept);
      // Fetched bytes the disk was too full for are the reader's all the same.
      if (keep && (st.ok() || st.code == Status::kNoSpace) && handOver) {
        std::memcpy(into->out, buf.data() + (into->offset - off), into->length);
        into->done = true;
      }
    }
    // Every reserved block leaves inFlight_ however the fetch ends, or its
    // later readers would wait for ever.
    inFlight_.erase(inFlight_.lower_bound(runFirst), inFlight_.upper_bound(runLast));
    cv_.notify_all();
    // A stale fetch ends here; the caller looks at the blocks again.
    if (!st.ok() || epoch_ != epoch) return st;
  }
}

Status CacheFile::storeFetched(uint64_t runFirst, uint64_t runLast, const std::vector<uint8_t>& buf,
                               Timestamp readSince, std::unique_lock<std::mutex>& lock) {
  const uint64_t base = runFirst * blockSize_;
  // The pieces still missing; blocks that a write or a stream fill made
  // present meanwhile hold newer (or the same) bytes and are left alone.
  std::vector<std::pair<uint64_t, uint64_t>> pieces;
  for (uint64_t b = runFirst; b <= runLast && b < states_.size(); ++b) {
    if (states_[b] & kBlockPresent) continue;
    if (!pieces.empty() && pieces.back().second + 1 == b)
      pieces.back().second = b;
    else
      pieces.emplace_back(b, b);
  }
  if (pieces.empty()) return Status();
  // The bytes reach the file without the mutex, so that readers and the
  // other fetches do not wait behind the copy; the blocks stay reserved, and
  // whatever would change or destroy them waits for unlockedStores_ first.
  ++unlockedStores_;
  lock.unlock();
  Status st;
  uint64_t reached = 0;
  for (const auto& [b, e] : pieces) {
    const uint64_t from = b * blockSize_ - base;
    const uint64_t to = std::min<uint64_t>((e + 1) * blockSize_ - base, buf.size());
    if (to <= from) continue;
    st = data_->write(base + from, buf.data() + from, static_cast<size_t>(to - from));
    if (!st.ok()) break;
    reached = std::max(reached, base + to);
  }
  lock.lock();
  dataLength_ = std::max(dataLength_, reached);
  if (--unlockedStores_ == 0) storesCv_.notify_all();
  if (!st.ok()) return localFailure("cache write failed", st.native);
  for (const auto& [b, e] : pieces)
    for (uint64_t k = b; k <= e && k < states_.size(); ++k) states_[k] |= kBlockPresent;
  noteStoredLocked(readSince);
  needsSave_ = true;
  return Status();
}

bool CacheFile::versionedByTimeLocked() const { return etag_.empty() && remoteMtime_.nanoseconds == 0; }

void CacheFile::noteDelivered(Timestamp readSince) {
  std::lock_guard<std::mutex> lock(mu_);
  noteStoredLocked(readSince);
}

void CacheFile::noteStoredLocked(Timestamp readSince) {
  if (!versionedByTimeLocked() || readSince.seconds >= remoteMtime_.seconds + kCopySettleSeconds) return;
  copy_ = kMapCopyUnsettled;
  unsettledSinceMs_ = std::max<uint64_t>(SteadyNowMs(), 1);
  needsSave_ = true;
}

bool CacheFile::retakeUnsettledCopy(uint64_t minAgeMs) {
  std::lock_guard<std::mutex> saveLock(saveMu_);
  std::unique_lock<std::mutex> lock(mu_);
  if (copy_ == kMapCopySettled || !versionedByTimeLocked() || dirty_ || hasDirtyLocked()) return false;
  if (unsettledSinceMs_ != 0 && SteadyNowMs() - unsettledSinceMs_ < minAgeMs) return false;
  waitForStoresLocked(lock);
  // Readers may hold bytes of it though no block is here (bytes fetched for
  // a reader alone): the new record tells them too.
  copy_ = kMapCopySettled;
  needsSave_ = true;
  ++copiesTaken_;
  states_.assign(blockCountLocked(size_), 0);
  ++epoch_;
  remoteRecord_ = NextRecord();
  dropDataLocked();
  return true;
}

void CacheFile::waitForStoresLocked(std::unique_lock<std::mutex>& lock) {
  storesCv_.wait(lock, [this] { return unlockedStores_ == 0; });
}

Status CacheFile::write(uint64_t offset, const void* data, uint64_t length) {
  if (length == 0) return Status();
  // A bounded end keeps the block arithmetic below from wrapping around.
  if (offset > maxFileBytes_ || length > maxFileBytes_ - offset)
    return Status(Status::kTooLarge, "write beyond the largest file size");
  const uint64_t end = offset + length;
  const uint64_t first = offset / blockSize_;
  const uint64_t last = (end - 1) / blockSize_;
  std::unique_lock<std::mutex> saveLock(saveMu_, std::defer_lock);
  std::unique_lock<std::mutex> lock(mu_);
  waitForStoresLocked(lock);
  if (overwritesClaimedLocked(first, last)) {
    lock.unlock();
    saveLock.lock();
    lock.lock();
    waitForStoresLocked(lock);
    // Held to the end: no save may call the blocks clean again before the
    // write marks them dirty.
    if (overwritesClaimedLocked(first, last)) {
      Status st = unclaimCleanBlocks(lock);
      if (!st.ok()) return st;
    }
  }
  growStatesLocked();
  if (end > size_) {
    // Extend first so that a failure leaves size and states untouched.
    Status st = extendDataLocked(end);
    if (!st.ok()) return localFailure("cache extend failed", st.native);
    const uint64_t oldSize = size_;
    size_ = end;
    growStatesLocked();
    if (oldSize == 0) {
      // An empty file has no old last block whose server bytes could matter;
      // fetching one would bring back data the file no longer has.
      for (uint64_t b = 0; b < first; ++b) states_[b] |= kBlockPresent | kBlockDirty;
    } else {
      const uint64_t oldLast = (oldSize - 1) / blockSize_;
      for (uint64_t b = oldLast; b < first; ++b) {
        if (b == oldLast && !(states_[b] & kBlockPresent)) continue;
        states_[b] |= kBlockPresent | kBlockDirty;
      }
    }
    needsSave_ = true;
  }
  Status st = writeAt(offset, data, length);
  if (!st.ok()) return localFailure("cache write failed", st.native);
  for (uint64_t b = first; b <= last; ++b) states_[b] |= kAllBits;
  needsSave_ = true;
  writtenSinceWriteOut_ += length;
  if (writtenSinceWriteOut_ < kWriteOutBytes) return Status();
  writtenSinceWriteOut_ = 0;
  lock.unlock();
  if (saveLock.owns_lock()) saveLock.unlock();
  // Only starts the disk's writes; the data file lives as long as the object.
  (void)data_->startSync();
  return Status();
}

Status CacheFile::truncate(uint64_t newSize) {
  if (newSize > maxFileBytes_) return TooLarge();
  std::lock_guard<std::mutex> saveLock(saveMu_);
  std::unique_lock<std::mutex> lock(mu_);
  waitForStoresLocked(lock);
  if (newSize == size_) return Status();
  const uint64_t oldSize = size_;
  const uint64_t newCount = blockCountLocked(newSize);
  ++epoch_;
  if (newSize < oldSize) {
    std::vector<uint8_t> oldStates = states_;
    size_ = newSize;
    states_.resize(newCount, 0);
    if (newCount > 0) states_[newCount - 1] |= kBlockDirty | kBlockWrittenSinceUpload;
    needsSave_ = true;
    // Cutting the data file before the map stops claiming the cut blocks
    // would let a crash in between serve zeros as data.
    Status st;
    if (!sayLessBeforeDestroyLocked())
      st = Status(Status::kIo, "cache truncate failed");
    else if (Status cut = setDataLengthLocked(newSize); !cut.ok())
      st = localFailure("cache truncate failed", cut.native);
    if (!st.ok()) {
      // The data file is whole; a map that already says the new size is
      // rewritten by the next save, or cuts the file at a restart.
      size_ = oldSize;
      states_ = std::move(oldStates);
      needsSave_ = true;
    }
    return st;
  }
  Status st = extendDataLocked(newSize);
  if (!st.ok()) return localFailure("cache extend failed", st.native);
  size_ = newSize;
  states_.resize(newCount, 0);
  const uint64_t from = oldSize == 0 ? 0 : (oldSize - 1) / blockSize_;
  for (uint64_t b = from; b < newCount; ++b) {
    if (oldSize > 0 && b == from) {
      if (states_[b] & kBlockPresent) states_[b] |= kBlockDirty | kBlockWrittenSinceUpload;
    } else {
      states_[b] |= kAllBits;
    }
  }
  needsSave_ = true;
  return Status();
}

void CacheFile::reset() {
  std::lock_guard<std::mutex> saveLock(saveMu_);
  std::unique_lock<std::mutex> lock(mu_);
  waitForStoresLocked(lock);
  // Content that was to replace the server's copy whole records no copy of
  // the server: nothing of it is left to read until one is taken.
  if (std::exchange(replaceWhole_, false)) size_ = remoteSize_;
  states_.assign(blockCountLocked(size_), 0);
  copy_ = kMapCopySettled;
  pendingMtime_ = Timestamp();  // the local changes it belonged to are gone
  ++epoch_;
  needsSave_ = true;
  dropDataLocked();
}

void CacheFile::fillFromStream(uint64_t offset, const void* data, uint64_t length, uint64_t epoch,
                               Timestamp readSince) {
  std::lock_guard<std::mutex> lock(mu_);
  if (removed_ || length == 0 || epoch != epoch_) return;
  const uint64_t limit = std::min(remoteSize_, size_);
  const uint64_t pieceEnd = SatAdd(offset, length);
  const auto* bytes = static_cast<const uint8_t*>(data);
  bool stored = false;
  for (uint64_t b = CeilDiv(offset, blockSize_); b < states_.size(); ++b) {
    const uint64_t start = b * blockSize_;
    const uint64_t end = std::min(limit, start + blockSize_);
    if (end <= start || end > pieceEnd) break;
    if (start + blockSize_ > limit && limit != size_) break;
    if (!(states_[b] & (kBlockPresent | kBlockDirty))) {
      if (!writeAt(start, bytes + (start - offset), end - start).ok()) break;
      states_[b] |= kBlockPresent;
      stored = true;
    }
  }
  if (stored) {
    noteStoredLocked(readSince);
    needsSave_ = true;
    cv_.notify_all();
  }
}

Status CacheFile::applyRemote(const RemoteAttr& attr, bool* changed, bool* conflict, uint64_t seenRecord) {
  if (changed) *changed = false;
  if (conflict) *conflict = false;
  if (attr.size > maxFileBytes_) return TooLarge();
  // Taken only when the data is to be dropped, and then before mu_.
  std::unique_lock<std::mutex> saveLock(saveMu_, std::defer_lock);
  for (;;) {
    std::unique_lock<std::mutex> lock(mu_);
    if (seenRecord != kAnyRecord && seenRecord != remoteRecord_) return Status();
    const bool anyDirty = hasDirtyLocked();
    bool differs;
    if (attr.size != remoteSize_)
      differs = true;
    else if (!attr.etag.empty())
      differs = CutEtag(attr.etag) != CutEtag(etag_);  // a reloaded map holds the cut text
    else
      differs = !(attr.mtime == remoteMtime_);
    if (!differs && attr.fileId != 0) fileId_ = attr.fileId;
    if (!differs && (!states_.empty() || size_ == remoteSize_)) return Status();
    if (etag_.empty() && remoteSize_ == 0 && attr.size == 0) {
      etag_ = attr.etag;
      remoteMtime_ = attr.mtime;
      needsSave_ = true;
      return Status();
    }
    if (anyDirty) {
      if (conflict) *conflict = differs;
      return Status();
    }
    if (!saveLock.owns_lock()) {
      lock.unlock();
      saveLock.lock();
      continue;  // decide again: the object may have changed meanwhile
    }
    if (unlockedStores_ != 0) {
      waitForStoresLocked(lock);
      continue;
    }
    // A copy recorded before (not a first one) was changed on the server.
    if (!etag_.empty() || remoteSize_ != 0 || !remoteMtime_.isZero()) ++copiesTaken_;
    size_ = remoteSize_ = attr.size;
    etag_ = attr.etag;
    remoteMtime_ = attr.mtime;
    fileId_ = attr.fileId;
    states_.assign(blockCountLocked(size_), 0);
    copy_ = kMapCopySettled;
    ++epoch_;
    remoteRecord_ = NextRecord();
    needsSave_ = true;
    dropDataLocked();
    if (changed) *changed = true;
    return Status();
  }
}

void CacheFile::clearUploadMarks(uint64_t offset, uint64_t length) {
  std::lock_guard<std::mutex> lock(mu_);
  const uint64_t end = std::min(size_, SatAdd(offset, length));
  for (uint64_t b = offset / blockSize_; b < states_.size() && b * blockSize_ < end; ++b)
    states_[b] &= static_cast<uint8_t>(~kBlockWrittenSinceUpload);
}

void CacheFile::markRangeClean(uint64_t offset, uint64_t length) {
  std::lock_guard<std::mutex> lock(mu_);
  const uint64_t end = std::min(size_, SatAdd(offset, length));
  for (uint64_t b = CeilDiv(offset, blockSize_); b < states_.size(); ++b) {
    const uint64_t start = b * blockSize_;
    if (start >= end || std::min(size_, start + blockSize_) > end) break;
    if (!(states_[b] & kBlockWrittenSinceUpload)) states_[b] &= static_cast<uint8_t>(~kBlockDirty);
  }
  if (length != 0) needsSave_ = true;
}

void CacheFile::markUploaded(const std::string& etag, uint64_t remoteSize, Timestamp mtime) {
  std::lock_guard<std::mutex> lock(mu_);
  for (uint8_t& s : states_)
    if (!(s & kBlockWrittenSinceUpload)) s &= static_cast<uint8_t>(~kBlockDirty);
  etag_ = etag;
  remoteSize_ = remoteSize;
  remoteMtime_ = mtime;
  dirty_ = false;
  // The server holds this content now: later changes are changes of it.
  replaceWhole_ = false;
  remoteRecord_ = NextRecord();
  fileId_ = 0;  // an upload may have put a new file in the old one's place
  // The sent bytes count as settled: taking them anew would drop a file the
  // drive wrote from the cache that serves it while the server is away,
  // for a change another client would have to make in the same second.
  needsSave_ = true;
}

std::vector<std::pair<uint64_t, uint64_t>> CacheFile::dirtyRanges() {
  std::lock_guard<std::mutex> lock(mu_);
  std::vector<std::pair<uint64_t, uint64_t>> out;
  const uint64_t count = std::min<uint64_t>(states_.size(), blockCountLocked(size_));
  for (uint64_t b = 0; b < count; ++b) {
    if (!(states_[b] & kBlockDirty)) continue;
    const uint64_t start = b * blockSize_;
    const uint64_t len = std::min<uint64_t>(size_ - start, blockSize_);
    if (!out.empty() && out.back().first + out.back().second == start)
      out.back().second += len;
    else
      out.emplace_back(start, len);
  }
  return out;
}

void CacheFile::setPendingMtime(Timestamp mtime) {
  std::lock_guard<std::mutex> lock(mu_);
  if (pendingMtime_ == mtime) return;
  pendingMtime_ = mtime;
  needsSave_ = true;
}

Timestamp CacheFile::pendingMtime() {
  std::lock_guard<std::mutex> lock(mu_);
  return pendingMtime_;
}

void CacheFile::clearPendingMtime(Timestamp sent) {
  std::lock_guard<std::mutex> lock(mu_);
  if (pendingMtime_.isZero() || !(pendingMtime_ == sent)) return;
  pendingMtime_ = Timestamp();
  needsSave_ = true;
}

bool CacheFile::replaceServerCopy() {
  std::lock_guard<std::mutex> saveLock(saveMu_);
  std::unique_lock<std::mutex> lock(mu_);
  waitForStoresLocked(lock);
  const uint64_t count = blockCountLocked(size_);
  growStatesLocked();
  if (count != 0 && !allPresentLocked(0, count - 1)) return false;
  for (uint64_t b = 0; b < count; ++b) states_[b] |= kBlockDirty;
  remoteSize_ = 0;
  etag_.clear();
  remoteMtime_ = Timestamp();
  fileId_ = 0;
  copy_ = kMapCopySettled;
  dirty_ = true;
  replaceWhole_ = true;
  // A fetch under way brings bytes of the copy that is no longer recorded.
  ++epoch_;
  remoteRecord_ = NextRecord();
  needsSave_ = true;
  // Before anything can write over a block that a map on disk still calls
  // the server's (a write no longer sees it as such).
  (void)sayLessBeforeDestroyLocked();
  return true;
}

bool CacheFile::replacesWhole() {
  std::lock_guard<std::mutex> lock(mu_);
  return replaceWhole_;
}

uint64_t CacheFile::missingBytes() {
  std::lock_guard<std::mutex> lock(mu_);
  uint64_t missing = 0;
  const uint64_t count = blockCountLocked(size_);
  for (uint64_t b = 0; b < count; ++b)
    if (b >= states_.size() || !(states_[b] & kBlockPresent))
      missing += std::min<uint64_t>(blockSize_, size_ - b * blockSize_);
  return missing;
}

bool CacheFile::hasDirty() {
  std::lock_guard<std::mutex> lock(mu_);
  return hasDirtyLocked();
}

bool CacheFile::hasUnsent() {
  std::lock_guard<std::mutex> lock(mu_);
  return dirty_ || hasDirtyLocked();
}

bool CacheFile::isComplete() {
  std::lock_guard<std::mutex> lock(mu_);
  const uint64_t count = blockCountLocked(size_);
  return count == 0 || allPresentLocked(0, count - 1);
}

bool CacheFile::isDirty() {
  std::lock_guard<std::mutex> lock(mu_);
  return dirty_;
}

bool CacheFile::isRemoved() {
  std::lock_guard<std::mutex> lock(mu_);
  return removed_;
}

uint64_t CacheFile::size() {
  std::lock_guard<std::mutex> lock(mu_);
  return size_;
}

void CacheFile::setDirty(bool dirty) {
  std::lock_guard<std::mutex> lock(mu_);
  if (dirty_ == dirty) return;
  dirty_ = dirty;
  needsSave_ = true;
}

RemoteAttr CacheFile::serverCopy(uint64_t* taken) {
  std::lock_guard<std::mutex> lock(mu_);
  RemoteAttr copy;
  copy.size = remoteSize_;
  copy.mtime = remoteMtime_;
  copy.etag = etag_;
  copy.fileId = fileId_;
  if (taken != nullptr) *taken = copiesTaken_;
  return copy;
}

uint64_t CacheFile::copiesTaken() {
  std::lock_guard<std::mutex> lock(mu_);
  return copiesTaken_;
}

uint64_t CacheFile::remoteRecord() {
  std::lock_guard<std::mutex> lock(mu_);
  return remoteRecord_;
}

uint64_t CacheFile::epoch() {
  std::lock_guard<std::mutex> lock(mu_);
  return epoch_;
}

uint64_t CacheFile::remoteSize() {
  std::lock_guard<std::mutex> lock(mu_);
  return remoteSize_;
}

std::string CacheFile::etag() {
  std::lock_guard<std::mutex> lock(mu_);
  return etag_;
}

Timestamp CacheFile::remoteMtime() {
  std::lock_guard<std::mutex> lock(mu_);
  return remoteMtime_;
}

std::string CacheFile::path() {
  std::lock_guard<std::mutex> lock(mu_);
  return path_;
}

std::string CacheFile::name() {
  std::lock_guard<std::mutex> lock(mu_);
  return name_;
}

std::string CacheFile::binPath() {
  std::lock_guard<std::mutex> lock(mu_);
  return binPath_;
}

std::string CacheFile::mapPath() {
  std::lock_guard<std::mutex> lock(mu_);
  return mapPath_;
}

}  // namespace tarn
