// Reads that the cache has no room to keep: the blocks it holds come from
// the data file, the rest from the server straight into the reader's buffer,
// and nothing new is stored.
#include <algorithm>
#include <cstring>
#include <exception>

#include "engine/cache_file.h"

namespace tarn {

Status CacheFile::readThrough(uint64_t offset, void* buffer, uint64_t length, uint64_t& got, const Fetcher& fetcher,
                              const CancelToken* cancel) {
  std::unique_lock<std::mutex> lock(mu_);
  return readThroughLocked(offset, static_cast<uint8_t*>(buffer), length, got, fetcher, cancel, lock);
}

Status CacheFile::readThroughLocked(uint64_t offset, uint8_t* out, uint64_t length, uint64_t& got,
                                    const Fetcher& fetcher, const CancelToken* cancel,
                                    std::unique_lock<std::mutex>& lock) {
  got = 0;
  // A change that makes what was fetched stale (a new server copy, a reset,
  // a cut) starts the range over, as it would a fetch into the cache.
  for (bool stale = true; stale;) {
    if (offset >= size_ || length == 0) return Status();
    const uint64_t n = std::min(size_ - offset, length);
    const uint64_t end = offset + n;
    const uint64_t epoch = epoch_;
    const uint64_t remoteSize = remoteSize_;
    growStatesLocked();
    stale = false;
    for (uint64_t b = offset / blockSize_; !stale && b * blockSize_ < end;) {
      const uint64_t from = std::max(offset, b * blockSize_);
      if (states_[b] & kBlockPresent) {
        const uint64_t to = std::min(end, (b + 1) * blockSize_);
        int err = 0;
        if (!readAt(from, out + (from - offset), to - from, &err)) return localFailure("cache read failed", err);
        ++b;
        continue;
      }
      uint64_t last = b;
      while ((last + 1) * blockSize_ < end && !(states_[last + 1] & kBlockPresent)) ++last;
      const uint64_t to = std::min(end, (last + 1) * blockSize_);
      // Past the server's copy a missing block reads as zeros.
      const uint64_t fetchTo = std::clamp(remoteSize, from, to);
      lock.unlock();
      Status st;
      if (IsCancelled(cancel)) {
        st = Status(Status::kCanceled, "");
      } else if (fetchTo > from) {
        try {
          uint64_t delivered = 0;
          st = fetcher(this, from, out + (from - offset), fetchTo - from, delivered, cancel);
          if (st.ok() && delivered < fetchTo - from) st = Status(Status::kNetwork, "short read from server");
        } catch (const std::exception& e) {
          st = Status(Status::kIo, std::string("fetch failed: ") + e.what());
        }
      }
      if (st.ok() && to > fetchTo) std::memset(out + (fetchTo - offset), 0, to - fetchTo);
      lock.lock();
      if (!st.ok()) return st;
      stale = epoch_ != epoch;
      b = last + 1;
    }
    if (!stale) got = n;
  }
  return Status();
}

}  // namespace tarn
