#include "engine/cache_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>

#include "engine/clock.h"
#include "engine/map_file.h"
#include "foundation/log.h"

namespace tarn {

namespace {

constexpr mode_t kDataFileMode = 0600;
constexpr uint8_t kAllBits = kBlockPresent | kBlockDirty | kBlockWrittenSinceUpload;
constexpr size_t kInFlightListedInWarning = 40;

// A full disk is reported as such so that the application sees "disk full"
// rather than a generic failure; everything else is an io error.
Status LocalFailure(const char* what, int err) {
  const int32_t code = (err == ENOSPC || err == EDQUOT) ? Status::kNoSpace : Status::kIo;
  return Status(code, what, err);
}

std::string CutEtag(const std::string& etag) { return etag.substr(0, std::min(etag.size(), kMaxMapEtagBytes)); }

}  // namespace

CacheFile::CacheFile(std::string binPath, std::string mapPath, std::string path, std::string name,
                     uint32_t blockSize)
    : blockSize_(blockSize),
      binPath_(std::move(binPath)),
      mapPath_(std::move(mapPath)),
      path_(std::move(path)),
      name_(std::move(name)) {}

CacheFile::~CacheFile() {
  if (fd_ >= 0) ::close(fd_);
}

Status CacheFile::openData() {
  std::lock_guard<std::mutex> lock(mu_);
  int fd = ::open(binPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kDataFileMode);
  if (fd < 0) return LocalFailure("cannot open cache data file", errno);
  fd_ = fd;
  return Status();
}

uint64_t CacheFile::blockCountLocked(uint64_t size) const { return (size + blockSize_ - 1) / blockSize_; }

void CacheFile::growStatesLocked() {
  const uint64_t count = blockCountLocked(size_);
  if (states_.size() < count) states_.resize(count, 0);
}

bool CacheFile::allPresentLocked(uint64_t first, uint64_t last) const {
  for (uint64_t b = first; b <= last; ++b)
    if (b >= states_.size() || !(states_[b] & kBlockPresent)) return false;
  return true;
}

bool CacheFile::hasDirtyLocked() const {
  return std::any_of(states_.begin(), states_.end(), [](uint8_t s) { return (s & kBlockDirty) != 0; });
}

bool CacheFile::inFlightLocked(uint64_t block) const {
  return std::find(inFlight_.begin(), inFlight_.end(), block) != inFlight_.end();
}

void CacheFile::dropDataLocked() {
  // Cutting to 0 and growing again frees every allocated range of the sparse
  // file; the results are ignored because the states already say "missing".
  (void)!::ftruncate(fd_, 0);
  (void)!::ftruncate(fd_, static_cast<off_t>(size_));
}

bool CacheFile::loadMap() {
  std::lock_guard<std::mutex> lock(mu_);
  std::string bytes;
  MapHeader h;
  const bool ok = ReadSmallFile(mapPath_, &bytes) && DecodeMapHeader(bytes, &h) && HasMapMagic(bytes) &&
                  h.headerSize == kMapHeaderSize && h.blockSize == blockSize_;
  if (!ok) {
    states_.clear();
    size_ = remoteSize_ = 0;
    etag_.clear();
    remoteMtime_ = Timestamp();
    dirty_ = false;
    onDisk_ = false;
    needsSave_ = true;
    return false;
  }
  size_ = h.size;
  remoteSize_ = h.remoteSize;
  remoteMtime_ = h.remoteMtime;
  dirty_ = h.dirty;
  etag_ = h.etag;
  std::string_view stored = MapStates(bytes);
  const uint64_t count = blockCountLocked(size_);
  states_.assign(count, 0);
  std::memcpy(states_.data(), stored.data(), std::min<uint64_t>(count, stored.size()));
  needsSave_ = false;
  onDisk_ = true;
  return true;
}

bool CacheFile::saveMap() {
  std::lock_guard<std::mutex> lock(mu_);
  return saveMapLocked();
}

bool CacheFile::saveMapLocked() {
  if (!needsSave_ || removed_) return true;
  MapHeader h;
  h.blockSize = blockSize_;
  h.size = size_;
  h.remoteSize = remoteSize_;
  h.remoteMtime = remoteMtime_;
  h.dirty = dirty_;
  h.etag = etag_;
  h.path = path_;
  // The map is the only record of changes not yet uploaded: those must not be
  // lost to a power failure between the write and the rename.
  const bool durable = dirty_ || hasDirtyLocked();
  if (!WriteFileAtomic(mapPath_, EncodeMap(h, states_), !onDisk_, durable)) return false;
  needsSave_ = false;
  onDisk_ = true;
  if (durable) ++flushedSaves_;
  return true;
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
    Status st = fetchBlocks(first, last, fetcher, cancel, lock);
    if (!st.ok()) return st;
  }
  if (!readAt(offset, buffer, n)) return LocalFailure("cache read failed", errno);
  got = n;
  return Status();
}

bool CacheFile::readIfCached(uint64_t offset, void* buffer, uint64_t length) {
  std::lock_guard<std::mutex> lock(mu_);
  if (offset + length > size_) return false;
  if (length == 0) return true;
  if (!allPresentLocked(offset / blockSize_, (offset + length - 1) / blockSize_)) return false;
  return readAt(offset, buffer, length);
}

Status CacheFile::ensureRange(uint64_t offset, uint64_t length, const Fetcher& fetcher, const CancelToken* cancel) {
  std::unique_lock<std::mutex> lock(mu_);
  for (bool again = false;; again = true) {
    if (offset >= size_ || length == 0) return Status();
    const uint64_t first = offset / blockSize_;
    const uint64_t last = (std::min(size_, offset + length) - 1) / blockSize_;
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
                              std::unique_lock<std::mutex>& lock, bool waitForOthers) {
  uint64_t waitStart = 0;
  bool warned = false;
  for (;;) {
    if (states_.empty() || first >= states_.size()) return Status();  // shrunk meanwhile
    last = std::min<uint64_t>(last, states_.size() - 1);
    uint64_t busy = last + 1;
    for (uint64_t b = first; b <= last; ++b) {
      if (!(states_[b] & kBlockPresent) && inFlightLocked(b)) {
        busy = b;
        break;
      }
    }
    if (busy > last || !waitForOthers) break;
    const uint64_t now = SteadyNowMs();
    if (waitStart == 0) waitStart = now == 0 ? 1 : now;
    if (!warned && now - waitStart > kInFlightWarnMs) {
      warned = true;
      std::string listed;
      for (size_t i = 0; i < inFlight_.size() && i < kInFlightListedInWarning; ++i)
        listed += std::to_string(inFlight_[i]) + " ";
      vx::log::write(vx::log::kWarn, "cache %s: waiting 30 s for block %llu (range %llu..%llu), %zu in flight: %s",
                     name_.c_str(), static_cast<unsigned long long>(busy), static_cast<unsigned long long>(first),
                     static_cast<unsigned long long>(last), inFlight_.size(), listed.c_str());
    }
    cv_.wait_for(lock, std::chrono::milliseconds(kInFlightWaitSliceMs));
    if (IsCancelled(cancel)) return Status(Status::kCanceled, "");
  }

  std::vector<std::pair<uint64_t, uint64_t>> runs;
  for (uint64_t b = first; b <= last; ++b) {
    if ((states_[b] & kBlockPresent) || inFlightLocked(b)) continue;
    if (!runs.empty() && runs.back().second + 1 == b)
      runs.back().second = b;
    else
      runs.emplace_back(b, b);
    inFlight_.push_back(b);
  }
  if (runs.empty()) return Status();

  const uint64_t size = size_;
  const uint64_t remoteSize = remoteSize_;
  const uint64_t epoch = epoch_;
  auto leaveInFlight = [this](uint64_t from, uint64_t to) {
    std::erase_if(inFlight_, [from, to](uint64_t b) { return b >= from && b <= to; });
  };

  lock.unlock();
  for (size_t i = 0; i < runs.size(); ++i) {
    const auto [runFirst, runLast] = runs[i];
    const uint64_t off = runFirst * blockSize_;
    const uint64_t end = std::min({size, (runLast + 1) * blockSize_, remoteSize});
    const uint64_t len = end > off ? end - off : 0;
    Status st;
    std::vector<uint8_t> buf;
    if (len > 0) {
      buf.resize(len);
      uint64_t delivered = 0;
      try {
        st = fetcher(this, off, buf.data(), len, delivered, cancel);
      } catch (const std::exception& e) {
        // The blocks must leave inFlight_ whatever the fetcher does, or every
        // later reader of them would wait forever.
        st = Status(Status::kIo, std::string("fetch failed: ") + e.what());
      }
      if (st.ok() && delivered < len) st = Status(Status::kNetwork, "short read from server");
    }
    lock.lock();
    leaveInFlight(runFirst, runLast);
    // Storing happens under the mutex so that no write, reset or truncation
    // can slip in between the check below and the bytes reaching the file.
    if (st.ok() && epoch_ == epoch) st = storeFetchedLocked(runFirst, runLast, buf);
    if (!st.ok()) {
      for (size_t j = i + 1; j < runs.size(); ++j) leaveInFlight(runs[j].first, runs[j].second);
      cv_.notify_all();
      return st;
    }
    if (epoch_ != epoch) {
      // Everything fetched from here on would be dropped as stale; the caller
      // looks at the blocks again and fetches what it still needs.
      for (size_t j = i + 1; j < runs.size(); ++j) leaveInFlight(runs[j].first, runs[j].second);
      cv_.notify_all();
      return Status();
    }
    cv_.notify_all();
    if (i + 1 < runs.size()) lock.unlock();
  }
  return Status();
}

Status CacheFile::storeFetchedLocked(uint64_t runFirst, uint64_t runLast, const std::vector<uint8_t>& buf) {
  const uint64_t base = runFirst * blockSize_;
  uint64_t b = runFirst;
  while (b <= runLast && b < states_.size()) {
    // Blocks that a write or a stream fill made present meanwhile hold newer
    // (or the same) bytes and are left alone.
    if (states_[b] & kBlockPresent) {
      ++b;
      continue;
    }
    uint64_t e = b;
    while (e + 1 <= runLast && e + 1 < states_.size() && !(states_[e + 1] & kBlockPresent)) ++e;
    const uint64_t from = b * blockSize_ - base;
    const uint64_t to = std::min<uint64_t>((e + 1) * blockSize_ - base, buf.size());
    if (to > from && !writeAt(base + from, buf.data() + from, to - from))
      return LocalFailure("cache write failed", errno);
    for (uint64_t k = b; k <= e; ++k) states_[k] |= kBlockPresent;
    needsSave_ = true;
    b = e + 1;
  }
  return Status();
}

Status CacheFile::write(uint64_t offset, const void* data, uint64_t length) {
  if (length == 0) return Status();
  // An end past the largest file offset would wrap around and turn the block
  // arithmetic below into writes outside the state list.
  if (offset > kMaxCacheFileBytes || length > kMaxCacheFileBytes - offset)
    return Status(Status::kTooLarge, "write beyond the largest file size");
  std::lock_guard<std::mutex> lock(mu_);
  const uint64_t end = offset + length;
  const uint64_t first = offset / blockSize_;
  const uint64_t last = (end - 1) / blockSize_;
  growStatesLocked();
  if (end > size_) {
    // Extend first so that a failure leaves size and states untouched.
    if (::ftruncate(fd_, static_cast<off_t>(end)) != 0) return LocalFailure("cache extend failed", errno);
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
  if (!writeAt(offset, data, length)) return LocalFailure("cache write failed", errno);
  for (uint64_t b = first; b <= last; ++b) states_[b] |= kAllBits;
  needsSave_ = true;
  return Status();
}

Status CacheFile::truncate(uint64_t newSize) {
  std::lock_guard<std::mutex> lock(mu_);
  if (newSize == size_) return Status();
  const uint64_t oldSize = size_;
  const uint64_t newCount = blockCountLocked(newSize);
  if (newSize < oldSize) {
    if (::ftruncate(fd_, static_cast<off_t>(newSize)) != 0) return LocalFailure("cache truncate failed", errno);
    size_ = newSize;
    states_.resize(newCount, 0);
    if (newCount > 0) states_[newCount - 1] |= kBlockDirty | kBlockWrittenSinceUpload;
  } else {
    if (::ftruncate(fd_, static_cast<off_t>(newSize)) != 0) return LocalFailure("cache extend failed", errno);
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
  }
  ++epoch_;
  needsSave_ = true;
  return Status();
}

void CacheFile::reset() {
  std::lock_guard<std::mutex> lock(mu_);
  states_.clear();
  dropDataLocked();
  states_.assign(blockCountLocked(size_), 0);
  ++epoch_;
  needsSave_ = true;
}

void CacheFile::fillFromStream(uint64_t offset, const void* data, uint64_t length) {
  std::lock_guard<std::mutex> lock(mu_);
  if (removed_ || length == 0) return;
  const uint64_t limit = std::min(remoteSize_, size_);
  const auto* bytes = static_cast<const uint8_t*>(data);
  bool stored = false;
  for (uint64_t b = (offset + blockSize_ - 1) / blockSize_; b < states_.size(); ++b) {
    const uint64_t start = b * blockSize_;
    const uint64_t end = std::min(limit, start + blockSize_);
    if (end <= start || end > offset + length) break;
    if (start + blockSize_ > limit && limit != size_) break;
    if (!(states_[b] & (kBlockPresent | kBlockDirty))) {
      if (!writeAt(start, bytes + (start - offset), end - start)) break;
      states_[b] |= kBlockPresent;
      stored = true;
    }
  }
  if (stored) {
    needsSave_ = true;
    cv_.notify_all();
  }
}

void CacheFile::applyRemote(const RemoteAttr& attr, bool* changed, bool* conflict) {
  std::lock_guard<std::mutex> lock(mu_);
  if (changed) *changed = false;
  if (conflict) *conflict = false;
  const bool anyDirty = hasDirtyLocked();
  bool differs;
  if (attr.size != remoteSize_)
    differs = true;
  else if (!attr.etag.empty())
    differs = CutEtag(attr.etag) != CutEtag(etag_);  // a reloaded map holds the cut text
  else
    differs = !(attr.mtime == remoteMtime_);
  if (!differs && (!states_.empty() || size_ == remoteSize_)) return;
  if (etag_.empty() && remoteSize_ == 0 && attr.size == 0) {
    etag_ = attr.etag;
    remoteMtime_ = attr.mtime;
    needsSave_ = true;
    return;
  }
  if (anyDirty) {
    if (conflict) *conflict = differs;
    return;
  }
  states_.clear();
  size_ = remoteSize_ = attr.size;
  etag_ = attr.etag;
  remoteMtime_ = attr.mtime;
  states_.assign(blockCountLocked(size_), 0);
  dropDataLocked();
  ++epoch_;
  needsSave_ = true;
  if (changed) *changed = true;
}

void CacheFile::clearUploadMarks(uint64_t offset, uint64_t length) {
  std::lock_guard<std::mutex> lock(mu_);
  const uint64_t end = std::min(size_, offset + length);
  for (uint64_t b = offset / blockSize_; b < states_.size() && b * blockSize_ < end; ++b)
    states_[b] &= static_cast<uint8_t>(~kBlockWrittenSinceUpload);
}

void CacheFile::markRangeClean(uint64_t offset, uint64_t length) {
  std::lock_guard<std::mutex> lock(mu_);
  const uint64_t end = std::min(size_, offset + length);
  for (uint64_t b = (offset + blockSize_ - 1) / blockSize_; b < states_.size(); ++b) {
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

bool CacheFile::hasDirty() {
  std::lock_guard<std::mutex> lock(mu_);
  return hasDirtyLocked();
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

uint64_t CacheFile::flushedSaves() {
  std::lock_guard<std::mutex> lock(mu_);
  return flushedSaves_;
}

void CacheFile::markRemoved() {
  std::lock_guard<std::mutex> lock(mu_);
  removed_ = true;
  needsSave_ = false;
}

void CacheFile::fitDataLength() {
  std::lock_guard<std::mutex> lock(mu_);
  struct stat st {};
  if (::fstat(fd_, &st) == 0 && static_cast<uint64_t>(st.st_size) != size_)
    (void)!::ftruncate(fd_, static_cast<off_t>(size_));
}

void CacheFile::relocate(std::string binPath, std::string mapPath, std::string path, std::string name,
                         const std::function<bool(const std::string&)>& deleteFile) {
  // All under the mutex: a save running beside the move would write the map
  // under the old name, and a restart would then find the old path dirty.
  std::lock_guard<std::mutex> lock(mu_);
  deleteFile(mapPath);
  deleteFile(binPath);
  (void)::rename(binPath_.c_str(), binPath.c_str());
  if (onDisk_) (void)::rename(mapPath_.c_str(), mapPath.c_str());
  binPath_ = std::move(binPath);
  mapPath_ = std::move(mapPath);
  path_ = std::move(path);
  name_ = std::move(name);
  needsSave_ = true;
  saveMapLocked();  // the stored path must name the new file
}

void CacheFile::rebind(std::string binPath, std::string mapPath, std::string path, std::string name) {
  std::lock_guard<std::mutex> lock(mu_);
  binPath_ = std::move(binPath);
  mapPath_ = std::move(mapPath);
  path_ = std::move(path);
  name_ = std::move(name);
  needsSave_ = true;
}

bool CacheFile::readAt(uint64_t offset, void* buffer, uint64_t length) {
  auto* out = static_cast<uint8_t*>(buffer);
  uint64_t done = 0;
  while (done < length) {
    const size_t want = static_cast<size_t>(std::min(length - done, kMaxIoChunk));
    ssize_t n = ::pread(fd_, out + done, want, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      // Past the end of the data: what was never written reads as zeros.
      std::memset(out + done, 0, static_cast<size_t>(length - done));
      return true;
    }
    done += static_cast<uint64_t>(n);
  }
  return true;
}

bool CacheFile::writeAt(uint64_t offset, const void* data, uint64_t length) {
  const auto* in = static_cast<const uint8_t*>(data);
  uint64_t done = 0;
  while (done < length) {
    const size_t want = static_cast<size_t>(std::min(length - done, kMaxIoChunk));
    ssize_t n = ::pwrite(fd_, in + done, want, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<uint64_t>(n);
  }
  return true;
}

}  // namespace tarn
