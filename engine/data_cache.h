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
// While the files of a name are being read into a new object, deleted or
// moved, the name is "busy": open, remove, rename and eviction of that name
// wait until the file work is done, so nobody is handed an object whose
// files vanish under it, and a name never has two objects. No file-system
// call runs under the cache's mutex.
//
// A data file and its map mean something only together: a map without its
// data file, or a data file without a usable map, is an empty object. The
// file steps of remove and rename are ordered so that a crash between any
// two of them leaves either the old object or nothing, never a mixture.
//
// Lock order: this cache's mutex before any CacheFile's mutexes; the cache's
// mutex is never taken while an object's mutex is held. Work that may wait
// for an object's save (marking it removed, moving it) runs with the name
// busy and the cache's mutex free.
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
// Object names are this many hex digits of the path's SHA-256.
inline constexpr size_t kObjectNameDigits = 32;

// What an eviction pass dropped.
struct Evicted {
  uint64_t bytes = 0;    // of the blocks the objects held
  uint64_t objects = 0;  // each a data file and a map
};

// One entry of an eviction pass.
struct EvictCandidate {
  std::string mapPath;
  std::string binPath;
  std::string name;
  uint64_t bytes = 0;
  uint64_t lastWrite = 0;  // data file modification time, FILETIME units
};

// The folder of the root that holds the data files and their maps.
inline constexpr const char* kDataFolderName = "data";

class DataCache {
 public:
  // A null env is Env::Default(); the env must outlive the cache and its objects.
  DataCache(std::string root, uint32_t blockSize, uint64_t maxBytes, bool keepDirtyForever = false,
            Env* env = nullptr);
  ~DataCache();
  DataCache(const DataCache&) = delete;
  DataCache& operator=(const DataCache&) = delete;

  // Creates the root and its "data" folder (mode 0700) and drops what an
  // interrupted save, move or removal left behind: temporary maps, and data
  // files or maps without their other half, and changes a power loss may
  // have torn (see map_file.h). Call it before any object is open.
  bool ensureDir(std::string* error = nullptr);

  // The live object of the path, or a new one from its files (created when
  // `create` is set). Empty on failure; `status` then says why (a path too
  // long for the map is refused rather than stored cut).
  std::shared_ptr<CacheFile> open(const std::string& path, bool create, Status* status = nullptr);
  bool exists(const std::string& path);
  // True when the path's object has unsent changes; `size` and
  // `pendingMtime` then say what the drive shows of them. Asks the live
  // object when there is one and otherwise reads only the map, so that a
  // listing opens no data files and makes no objects. Once ensureDir has
  // run, the map of a name is read only while it may hold changes: found so
  // at start, or opened or moved into since, until a look finds it without.
  bool unsentChanges(const std::string& path, uint64_t* size, Timestamp* pendingMtime);
  void remove(const std::string& path);
  // Moves one object. What was cached under the target path is dropped (a
  // live object there is marked removed, so it can never overwrite the moved
  // map), even when the source was not cached. Fails only for a target path
  // too long for the map; nothing is moved then.
  Status renameObject(const std::string& oldPath, const std::string& newPath);
  // Moves every object at or under the old path, live ones not yet saved too.
  void renameTree(const std::string& oldPrefix, const std::string& newPrefix);

  std::vector<std::string> dirtyFiles() const;
  uint64_t diskBytes() const;
  void evictTo(uint64_t limit);
  void evictToLimit() { evictTo(maxBytes_); }
  // Drops clean objects that nobody holds, least recently written first,
  // until at least `bytes` of blocks and `objects` objects went or none is
  // left to drop.
  Evicted makeRoom(uint64_t bytes, uint64_t objects);
  // What fetched blocks ask of before they are stored (see RoomKeeper);
  // set before any object is opened.
  void setRoomKeeper(RoomKeeper keeper);
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
  Env* env() const { return env_; }

 private:
  // The name may have got a map with unsent changes; lock holds mu_.
  void mayHoldUnsentLocked(const std::string& name);
  // Waits while `name` is busy; lock holds mu_.
  void waitNotBusyLocked(std::unique_lock<std::mutex>& lock, const std::string& name);
  // The live object of `name`, dropping an expired entry; lock holds mu_.
  std::shared_ptr<CacheFile> liveLocked(const std::string& name);
  void releaseBusy(const std::vector<std::string>& names);
  // A new object of `name` from its files; the name is busy.
  std::shared_ptr<CacheFile> load(const std::string& path, const std::string& name, bool create, Status* status);
  bool fileExists(const std::string& file) const;
  // Clean objects, least recently written first; any may be in use by now.
  std::vector<EvictCandidate> evictCandidates() const;
  // Drops a candidate unless it is in use or has changes by now; whether
  // its files went.
  bool evictOne(const EvictCandidate& c);
  // Moves the files of an object nobody holds; both names are busy.
  void moveFiles(const std::string& oldName, const std::string& newName, const std::string& newPath);
  std::string dataDir() const;
  // At start, for the object whose files are `base` + ".map"/".bin": a map
  // written before its bytes were synced is committed when only the process
  // died, and dropped with its data after a power loss. True when the folder
  // changed or a map was committed, so that it wants a sync. `unsent` says
  // whether the object may still hold unsent changes.
  bool settleUnsynced(const std::string& base, bool* unsent);

  const std::string root_;
  const uint32_t blockSize_;
  const uint64_t maxBytes_;
  const bool keepDirtyForever_;
  Env* const env_;
  std::shared_ptr<const RoomKeeper> room_;  // set before objects are opened; handed to each

  mutable std::mutex mu_;
  std::condition_variable busyCv_;  // a name left busy_
  std::unordered_map<std::string, std::weak_ptr<CacheFile>> live_;  // guarded by mu_
  std::set<std::string> busy_;                                      // guarded by mu_
  // Names whose map may hold unsent changes, each with the stamp of its last
  // open or move, so that a look that found a map clean drops only a name
  // nobody opened since. A listing reads no map of any other name.
  std::unordered_map<std::string, uint64_t> mayHoldUnsent_;  // guarded by mu_
  uint64_t unsentStamp_ = 0;                                 // guarded by mu_
  bool unsentKnown_ = false;  // guarded by mu_; ensureDir filled mayHoldUnsent_
};

}  // namespace tarn
