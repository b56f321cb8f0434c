#include "backup/engine/file_chunker.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tarn::backup {

namespace {

// The smallest buffer worth allocating; also the step a file's size is
// rounded up by.
constexpr size_t kMinBuffer = 65536;

uint64_t RoundUp(uint64_t n, uint64_t unit) { return (n + unit - 1) / unit * unit; }

}  // namespace

// A largest chunk and half another: every refill reads at least half a
// largest chunk, while less than one is moved to the front before it.
FileChunker::FileChunker(const ChunkerParams& params)
    : chunker_(params), limit_(static_cast<size_t>(chunker_.params().max) * 3 / 2) {}

void FileChunker::growTo(size_t capacity, size_t keep) {
  if (capacity <= capacity_) return;
  auto bigger = std::make_unique_for_overwrite<uint8_t[]>(capacity);
  if (keep != 0) std::memcpy(bigger.get(), buffer_.get(), keep);
  buffer_ = std::move(bigger);
  capacity_ = capacity;
}

Status FileChunker::chunkFile(localfs::LocalFile& file, const CancelToken* cancel, std::atomic<uint64_t>* bytesRead,
                              const ChunkFn& onChunk, uint64_t& total, int& readError) {
  total = 0;
  readError = 0;
  const size_t max = chunker_.params().max;
  // Room for the whole file and the read that finds its end, so that a file
  // that fits is read in one pass.
  growTo(static_cast<size_t>(std::min<uint64_t>(limit_, RoundUp(file.size() + 1, kMinBuffer))), 0);
  size_t filled = 0;
  bool ended = false;
  for (;;) {
    while (filled < capacity_ && !ended) {
      size_t got = 0;
      Status s = file.read(buffer_.get() + filled, capacity_ - filled, got);
      if (!s.ok()) {
        readError = s.native != 0 ? s.native : EIO;
        return Status();
      }
      if (got == 0) {
        ended = true;
      } else {
        filled += got;
        if (bytesRead != nullptr) bytesRead->fetch_add(got, std::memory_order_relaxed);
      }
    }
    if (!ended && filled < max) {
      // Full without a whole largest chunk: the file is larger than listed.
      growTo(std::min(limit_, std::max(2 * capacity_, kMinBuffer)), filled);
      continue;
    }
    size_t pos = 0;
    while (pos < filled && (ended || filled - pos >= max)) {
      if (IsCancelled(cancel)) return Status(Status::kCanceled, "");
      const size_t n = static_cast<size_t>(chunker_.cut(buffer_.get() + pos, filled - pos));
      Status s = onChunk(buffer_.get() + pos, n);
      if (!s.ok()) return s;
      pos += n;
      total += n;
    }
    if (ended) return Status();
    std::memmove(buffer_.get(), buffer_.get() + pos, filled - pos);
    filled -= pos;
  }
}

}  // namespace tarn::backup
