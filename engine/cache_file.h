// One cached remote file: a sparse data file holding the file's bytes at
// their own offsets, and a block map (map_file.h) recording sizes, the
// server's version and one state byte per block. Made by DataCache::open and
// shared by std::shared_ptr between the volume, its open files, its worker
// threads and the cache; every public method may be called from any thread.
//
// Missing blocks are brought in through a Fetcher that the caller supplies;
// the object never talks to the server. The mutex is released around fetcher
// calls only; the blocks of a running fetch are reserved in inFlight_, and
// every change that must win over a fetch (a write, reset, applyRemote,
// truncate) is detected when the fetch comes back: fetched bytes are stored
// only into blocks that are still missing and only while the object's epoch
// is the one the fetch began in.
//
// Lock order: DataCache's mutex before this object's mutex.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "foundation/backend_types.h"
#include "foundation/cancel_token.h"
#include "foundation/status.h"

namespace tarn {

class CacheFile;

// Brings in `length` bytes of the remote file at `offset` into `buffer` and
// reports how many it delivered; fewer is allowed only at the end of the file.
using Fetcher = std::function<Status(CacheFile* file, uint64_t offset, uint8_t* buffer, uint64_t length,
                                     uint64_t& delivered, const CancelToken* cancel)>;

// The largest logical size a cached file can have (the largest off_t).
inline constexpr uint64_t kMaxCacheFileBytes = 0x7fffffffffffffffull;
// The longest piece one positional read or write moves.
inline constexpr uint64_t kMaxIoChunk = 1ull << 30;
// Waits for blocks fetched by someone else run in slices of this length so
// that cancellation is seen quickly.
inline constexpr uint32_t kInFlightWaitSliceMs = 50;
// A wait for blocks in flight longer than this is logged once per call.
inline constexpr uint64_t kInFlightWarnMs = 30000;

class CacheFile : public std::enable_shared_from_this<CacheFile> {
 public:
  CacheFile(std::string binPath, std::string mapPath, std::string path, std::string name, uint32_t blockSize);
  ~CacheFile();
  CacheFile(const CacheFile&) = delete;
  CacheFile& operator=(const CacheFile&) = delete;

  // Opens (or creates) the data file, mode 0600. Called once by the cache.
  Status openData();
  // Loads the map file; false leaves the object empty and due for a save.
  bool loadMap();
  // Writes the map when it changed; an object with unsent changes has its map
  // flushed to disk before the old one is replaced.
  bool saveMap();

  Status read(uint64_t offset, void* buffer, uint64_t length, uint64_t& got, const Fetcher& fetcher,
              const CancelToken* cancel);
  bool readIfCached(uint64_t offset, void* buffer, uint64_t length);
  Status ensureRange(uint64_t offset, uint64_t length, const Fetcher& fetcher, const CancelToken* cancel);
  // ensureRange for readahead: fetches the missing blocks that no other fetch
  // is bringing in and returns without waiting for the others, so that
  // readahead pieces sharing a block run side by side rather than in turn.
  Status prefetchRange(uint64_t offset, uint64_t length, const Fetcher& fetcher, const CancelToken* cancel);
  Status write(uint64_t offset, const void* data, uint64_t length);
  Status truncate(uint64_t newSize);
  void reset();
  void fillFromStream(uint64_t offset, const void* data, uint64_t length);
  void applyRemote(const RemoteAttr& attr, bool* changed, bool* conflict);

  void clearUploadMarks(uint64_t offset, uint64_t length);
  void markRangeClean(uint64_t offset, uint64_t length);
  void markUploaded(const std::string& etag, uint64_t remoteSize, Timestamp mtime);
  std::vector<std::pair<uint64_t, uint64_t>> dirtyRanges();

  bool hasDirty();
  bool isComplete();
  bool isDirty();
  bool isRemoved();
  uint64_t size();
  void setDirty(bool dirty);

  uint32_t blockSize() const { return blockSize_; }
  uint64_t remoteSize();
  std::string etag();
  Timestamp remoteMtime();
  std::string path();
  std::string name();
  std::string binPath();
  std::string mapPath();
  // How many saves were flushed to disk (maps with unsent changes).
  uint64_t flushedSaves();

 private:
  friend class DataCache;

  // waitForOthers false: blocks another fetch is bringing in are skipped.
  Status fetchBlocks(uint64_t first, uint64_t last, const Fetcher& fetcher, const CancelToken* cancel,
                     std::unique_lock<std::mutex>& lock, bool waitForOthers = true);
  // Stores fetched bytes into the run's blocks that are still missing; the
  // caller holds the mutex and has checked the epoch.
  Status storeFetchedLocked(uint64_t runFirst, uint64_t runLast, const std::vector<uint8_t>& buf);
  bool readAt(uint64_t offset, void* buffer, uint64_t length);
  bool writeAt(uint64_t offset, const void* data, uint64_t length);
  uint64_t blockCountLocked(uint64_t size) const;
  void growStatesLocked();
  bool allPresentLocked(uint64_t first, uint64_t last) const;
  bool hasDirtyLocked() const;
  bool inFlightLocked(uint64_t block) const;
  // Drops every cached byte while the file keeps its length.
  void dropDataLocked();

  // Used by DataCache.
  void markRemoved();
  // Makes the data file's length the loaded size (a crash may leave it off).
  void fitDataLength();
  void rebind(std::string binPath, std::string mapPath, std::string path, std::string name);
  // Moves the object's files to new names and rebinds it there. The data
  // file stays open: a running fetch keeps writing through the descriptor,
  // which follows the file.
  void relocate(std::string binPath, std::string mapPath, std::string path, std::string name,
                const std::function<bool(const std::string&)>& deleteFile);
  bool saveMapLocked();

  const uint32_t blockSize_;
  int fd_ = -1;  // set once by openData; closed by the destructor only

  std::mutex mu_;
  std::condition_variable cv_;  // blocks became present or left inFlight_
  std::string binPath_;         // guarded by mu_
  std::string mapPath_;         // guarded by mu_
  std::string path_;            // guarded by mu_
  std::string name_;            // guarded by mu_
  std::vector<uint8_t> states_; // guarded by mu_
  uint64_t size_ = 0;           // guarded by mu_
  uint64_t remoteSize_ = 0;     // guarded by mu_
  std::string etag_;            // guarded by mu_
  Timestamp remoteMtime_;       // guarded by mu_
  bool dirty_ = false;          // guarded by mu_
  bool needsSave_ = true;       // guarded by mu_
  bool onDisk_ = false;         // guarded by mu_
  bool removed_ = false;        // guarded by mu_
  std::vector<uint64_t> inFlight_;  // guarded by mu_
  // Advanced by every change that makes fetched data stale.
  uint64_t epoch_ = 0;          // guarded by mu_
  uint64_t flushedSaves_ = 0;   // guarded by mu_
};

}  // namespace tarn
