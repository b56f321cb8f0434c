// The block cache folder of one drive: names the cached objects, hands out one
// live CacheFile per remote path, scans the map files for unsent changes and
// disk use, evicts clean objects down to a byte limit, and moves or removes
// objects when the drive renames or deletes files. Owned by its volume
// (std::unique_ptr); every method may be called from any thread.
//
// Folder layout: <root>/data/<name>.bin (sparse data file) and
// <root>/data/<name>.map (block map), where <name> is the first 32 hex digits
// of the SHA-256 of the remote path's bytes.
//
// While the files of a name are being deleted or moved, the name is "busy":
// open, remove, rename and eviction of that name wait until the file work is
// done, so nobody is handed an object whose files vanish under it.
//
// Lock order: this cache's mutex before any CacheFile's mutex; the cache's
// mutex is never taken while an object's mutex is held.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/cache_file.h"
#include "foundation/status.h"

namespace tarn {

inline constexpr uint32_t kDefaultCacheBlockBytes = 1048576;
inline constexpr uint64_t kDefaultCacheMaxBytes = 4294967296ull;
inline constexpr int kDeleteAttempts = 50;
inline constexpr int kDeleteRetryPauseMs = 2;
// Object names are this many hex digits of the path's SHA-256.
inline constexpr size_t kObjectNameDigits = 32;

// One entry of an eviction pass.
struct EvictCandidate {
  std::string mapPath;
  std::string binPath;
  std::string name;
  uint64_t bytes = 0;
  uint64_t lastWrite = 0;  // data file modification time, FILETIME units
};

// Deletes a file; a missing file counts as deleted. Retries briefly on
// transient failures and logs a warning when it gives up.
bool DeleteFileRetry(const std::string& path);

class DataCache {
 public:
  using FileDeleter = std::function<bool(const std::string& path)>;

  DataCache(std::string root, uint32_t blockSize, uint64_t maxBytes, bool keepDirtyForever = false);
  ~DataCache();
  DataCache(const DataCache&) = delete;
  DataCache& operator=(const DataCache&) = delete;

  // Creates the root and its "data" folder (mode 0700) and drops temporary
  // map files that an interrupted save left behind.
  bool ensureDir(std::string* error = nullptr);

  // The live object of the path, or a new one from its files (created when
  // `create` is set). Empty on failure; `status` then says why (a path too
  // long for the map is refused rather than stored cut).
  std::shared_ptr<CacheFile> open(const std::string& path, bool create, Status* status = nullptr);
  bool exists(const std::string& path);
  void remove(const std::string& path);
  // Moves one object. A live object of the target path is marked removed, so
  // it can never overwrite the moved map. Fails only for a target path too
  // long for the map; nothing is moved then.
  Status renameObject(const std::string& oldPath, const std::string& newPath);
  void renameTree(const std::string& oldPrefix, const std::string& newPrefix);

  std::vector<std::string> dirtyFiles() const;
  uint64_t diskBytes() const;
  void evictTo(uint64_t limit);
  void evictToLimit() { evictTo(maxBytes_); }
  void forEachMap(const std::function<void(const std::string& mapPath)>& fn) const;

  static std::string objectName(const std::string& path);
  // True when the path fits the map's path field whole.
  static bool pathFits(const std::string& path);
  std::string binPath(const std::string& name) const;
  std::string mapPath(const std::string& name) const;

  const std::string& root() const { return root_; }
  uint32_t blockSize() const { return blockSize_; }
  uint64_t maxBytes() const { return maxBytes_; }
  bool keepDirtyForever() const { return keepDirtyForever_; }

  // Replaces DeleteFileRetry for this cache (a test holds a deletion at a gate).
  void setFileDeleter(FileDeleter deleter);

 private:
  // Waits while `name` is busy; lock holds mu_.
  void waitNotBusyLocked(std::unique_lock<std::mutex>& lock, const std::string& name);
  // The live object of `name`, dropping an expired entry; lock holds mu_.
  std::shared_ptr<CacheFile> liveLocked(const std::string& name);
  void releaseBusy(const std::vector<std::string>& names);
  bool deleteFile(const std::string& path);
  std::string dataDir() const;

  const std::string root_;
  const uint32_t blockSize_;
  const uint64_t maxBytes_;
  const bool keepDirtyForever_;

  mutable std::mutex mu_;
  std::condition_variable busyCv_;  // a name left busy_
  std::unordered_map<std::string, std::weak_ptr<CacheFile>> live_;  // guarded by mu_
  std::set<std::string> busy_;                                      // guarded by mu_
  FileDeleter deleter_;                                             // guarded by mu_
};

}  // namespace tarn
