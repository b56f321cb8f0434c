// One cached remote file: a sparse data file holding the file's bytes at
// their own offsets, and a block map (map_file.h) recording sizes, the
// server's version and one state byte per block. Made by DataCache::open and
// shared by std::shared_ptr between the volume, its open files, its worker
// threads and the cache; every public method may be called from any thread.
//
// Missing blocks are brought in through a Fetcher that the caller supplies;
// the object never talks to the server. The mutex is released around fetcher
// calls and while fetched bytes reach the data file; the blocks of a running
// fetch are reserved in inFlight_, and every change that must win over a
// fetch (a write, reset, applyRemote, truncate) is detected when the fetch
// comes back, or waits while its bytes are written: fetched bytes are stored
// only into blocks that are still missing and only while the object's epoch
// is the one the fetch began in.
//
// What a restart finds: the map on disk never claims more than the data
// file holds. Before bytes are destroyed (a shrinking truncate, a reset, a
// dropped server copy) a map that says less is made durable; before a map
// with unsent changes is made durable, the data file is synced; before a
// write lands on a block the map on disk calls clean, a map that calls no
// block clean is made durable (once for every clean block of the file, so
// a run of writes pays for one save).
//
// Lock order: DataCache's mutex, then saveMu_, then mu_. saveMu_ serialises
// the map writes and file moves of one object, so that fsyncs happen without
// mu_ and readers never wait behind an upload's save.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/map_file.h"
#include "foundation/backend_types.h"
#include "foundation/cancel_token.h"
#include "foundation/env.h"
#include "foundation/status.h"

namespace tarn {

class CacheFile;
struct MapHeader;

// Brings in `length` bytes of the remote file at `offset` into `buffer` and
// reports how many it delivered; fewer is allowed only at the end of the file.
using Fetcher = std::function<Status(CacheFile* file, uint64_t offset, uint8_t* buffer, uint64_t length,
                                     uint64_t& delivered, const CancelToken* cancel)>;

// Room on the cache's disk held for bytes on their way to it, given back
// when the hold is destroyed, once they are there (or not coming).
class RoomHold {
 public:
  virtual ~RoomHold() = default;
};

// Asked before blocks are fetched to be stored, with none of the object's
// locks held: a hold of room for `bytes` more on the cache's disk, made if
// need be by dropping other objects. Null: no room; a reader gets the bytes
// through without their being kept, anyone else is told "no-space".
using RoomKeeper = std::function<std::unique_ptr<RoomHold>(uint64_t bytes)>;

// One fetcher call brings in at most this much (the default upload chunk),
// so that reading a huge file needs a bounded buffer; a block larger than
// this is still fetched whole.
inline constexpr uint64_t kMaxFetchRunBytes = 16ull << 20;
// Written bytes are sent on to the disk each time this many have gathered,
// so that the sync before an upload or a commit finds little left to do,
// rather than a large file's whole content at once after its close.
inline constexpr uint64_t kWriteOutBytes = 16ull << 20;
// Waits for blocks fetched by someone else run in slices of this length so
// that cancellation is seen quickly.
inline constexpr uint32_t kInFlightWaitSliceMs = 50;
// A wait for blocks in flight longer than this is logged once per call.
inline constexpr uint64_t kInFlightWarnMs = 30000;
// Where a server tells copies apart by a whole-second modification time
// alone, bytes read this long after that time are the copy's last: a change
// made later would have a later time. One second for the time's own, one
// for the clocks of server and drive to differ by.
inline constexpr int64_t kCopySettleSeconds = 2;

// Defined in cache_file.cpp (reads, fetches, writes, marks),
// cache_file_disk.cpp (the data file, the map, moves and drops) and
// cache_file_through.cpp (reads the disk has no room to keep).
class CacheFile : public std::enable_shared_from_this<CacheFile> {
 public:
  // A null env is Env::Default(); without a room keeper every fetched
  // block is kept.
  CacheFile(std::string binPath, std::string mapPath, std::string path, std::string name, uint32_t blockSize,
            Env* env = nullptr, std::shared_ptr<const RoomKeeper> room = nullptr);
  ~CacheFile();
  CacheFile(const CacheFile&) = delete;
  CacheFile& operator=(const CacheFile&) = delete;

  // Opens (or creates) the data file. Called once by the cache.
  Status openData();
  // Loads the map file; false leaves the object empty and due for a save.
  bool loadMap();
  // Writes the map when it changed; see the header comment for what a map
  // with unsent changes waits for.
  bool saveMap();
  // saveMap without waiting for the disk: what it records outlives the
  // process at once, and a power loss once commitMap has run. While no map
  // with unsent changes is committed on the disk, nothing is synced: the map
  // names the boot it was written under, and a restart after a power loss
  // does not believe it (the changes are lost, never taken from a data file
  // that may not hold them). Otherwise the data file is synced first, so
  // that the committed changes stay whole.
  bool saveMapUnflushed();
  // Makes what the last saveMapUnflushed of each object recorded survive a
  // power loss: the data files are synced, then the boot fields zeroed and
  // the maps synced, each step for the whole batch at once, then their
  // folder. Returns the objects that want a whole saveMap still: a map
  // left unflushed after a synced data file, a map changed meanwhile, or
  // a step that failed.
  static std::vector<std::shared_ptr<CacheFile>> commitMaps(Env& env,
                                                            const std::vector<std::shared_ptr<CacheFile>>& batch);

  Status read(uint64_t offset, void* buffer, uint64_t length, uint64_t& got, const Fetcher& fetcher,
              const CancelToken* cancel);
  bool readIfCached(uint64_t offset, void* buffer, uint64_t length);
  // The range as read() gives it, with missing blocks brought from the
  // server straight into `buffer` and kept nowhere: for a reader the cache
  // has no room for.
  Status readThrough(uint64_t offset, void* buffer, uint64_t length, uint64_t& got, const Fetcher& fetcher,
                     const CancelToken* cancel);
  Status ensureRange(uint64_t offset, uint64_t length, const Fetcher& fetcher, const CancelToken* cancel);
  // ensureRange for readahead: fetches the missing blocks that no other fetch
  // is bringing in and returns without waiting for the others, so that
  // readahead pieces sharing a block run side by side rather than in turn.
  Status prefetchRange(uint64_t offset, uint64_t length, const Fetcher& fetcher, const CancelToken* cancel);
  // True when a block of the range is neither present nor being fetched,
  // so that readahead of it has work to do.
  bool wantsFetch(uint64_t offset, uint64_t length);
  // No block is present or being fetched: no byte of the server's copy is
  // here or on its way.
  bool holdsNoBlock();
  // Every block of the range is here: a write into it takes no new space.
  bool holdsRange(uint64_t offset, uint64_t length);
  // The space a write of the range takes: its blocks that are not here.
  uint64_t unheldBytes(uint64_t offset, uint64_t length);
  Status write(uint64_t offset, const void* data, uint64_t length);
  Status truncate(uint64_t newSize);
  void reset();
  // Stores the whole blocks of one piece of a sequential download that was
  // opened while epoch() returned `epoch`; a piece of an older epoch (the
  // server's copy was replaced, or the file reset or cut meanwhile) is old
  // data and stores nothing. `readSince`: the wall-clock time the download
  // began (zero: not known, taken as within the copy's second).
  void fillFromStream(uint64_t offset, const void* data, uint64_t length, uint64_t epoch,
                      Timestamp readSince = Timestamp());
  // "too-large" for a size no cached file can have; nothing changes then.
  // With `seenRecord` (a remoteRecord() read before the attributes were
  // asked for), attributes older than the object's own record of the server
  // (an upload ended meanwhile) change nothing.
  Status applyRemote(const RemoteAttr& attr, bool* changed, bool* conflict, uint64_t seenRecord = kAnyRecord);
  // Changed whenever the object takes a new record of the server's copy (an
  // upload that ended, a new copy taken by applyRemote or anew); numbers
  // are never given out twice in a process, across objects too.
  uint64_t remoteRecord();
  static constexpr uint64_t kAnyRecord = UINT64_MAX;
  // Where the server tells copies apart by a whole-second time alone (no
  // version text), blocks read within kCopySettleSeconds of the copy's time
  // may miss a change of the same size made later in that second. Once `minAgeMs` (the metadata lifetime)
  // have passed since such a block came, or after a restart, the clean
  // object drops its blocks to read them anew; true when it did.
  bool retakeUnsettledCopy(uint64_t minAgeMs);
  // Bytes of the recorded copy, read from the server from `readSince` on,
  // went to a reader without being stored: they count as blocks read then.
  void noteDelivered(Timestamp readSince);
  // The server's copy the object records (size, time, version text and,
  // where the server has one and it is known, the file id), and in `taken`
  // how many copies changed on the server it has taken in place of an
  // earlier one: what the drive uploaded itself does not count.
  RemoteAttr serverCopy(uint64_t* taken);
  // The count serverCopy gives in `taken`, without the copy.
  uint64_t copiesTaken();

  void clearUploadMarks(uint64_t offset, uint64_t length);
  void markRangeClean(uint64_t offset, uint64_t length);
  void markUploaded(const std::string& etag, uint64_t remoteSize, Timestamp mtime);
  std::vector<std::pair<uint64_t, uint64_t>> dirtyRanges();

  // A modification time set on the file while it has unsent changes: kept
  // (in the map too) until an upload sends it. Zero: none.
  void setPendingMtime(Timestamp mtime);
  Timestamp pendingMtime();
  // The upload sent `sent`: a time set meanwhile stays pending.
  void clearPendingMtime(Timestamp sent);

  // The server's copy under the object's name is to be replaced whole, in
  // one step, by the object's content (a rename put it over a file the
  // server holds while the server had none of its bytes): every block
  // becomes a local change, no byte of a server copy is recorded or ever
  // fetched again, and uploads send the whole file until one ends. The map
  // saying so is durable when the object had one. False (nothing changed)
  // while a block is missing.
  bool replaceServerCopy();
  bool replacesWhole();
  // Bytes of the size that no block here holds.
  uint64_t missingBytes();
  bool hasDirty();
  bool isComplete();
  bool isDirty();
  bool isRemoved();
  uint64_t size();
  void setDirty(bool dirty);
  // Advanced by every change that makes data read from the server earlier
  // stale: a new server copy, a reset, a truncation.
  uint64_t epoch();

  uint32_t blockSize() const { return blockSize_; }
  // The largest size this object can take: the bound on server sizes, or
  // less when the block size would give a map too large to read back.
  uint64_t maxFileBytes() const { return maxFileBytes_; }
  uint64_t remoteSize();
  std::string etag();
  Timestamp remoteMtime();
  std::string path();
  std::string name();
  std::string binPath();
  std::string mapPath();

 private:
  friend class DataCache;

  static Status localFailure(const char* what, int err);
  // A reader's range that a fetch hands over from its own buffer.
  struct ReadInto {
    uint64_t offset;
    uint64_t length;
    void* out;
    bool done;
  };
  // waitForOthers false: blocks another fetch is bringing in are skipped.
  // With `into`, a run that brings in the whole range and stores all of it
  // copies it out as well (into->done).
  Status fetchBlocks(uint64_t first, uint64_t last, const Fetcher& fetcher, const CancelToken* cancel,
                     std::unique_lock<std::mutex>& lock, bool waitForOthers = true, ReadInto* into = nullptr);
  // readThrough with the mutex held through `lock`; let go while the
  // server is asked.
  Status readThroughLocked(uint64_t offset, uint8_t* out, uint64_t length, uint64_t& got, const Fetcher& fetcher,
                           const CancelToken* cancel, std::unique_lock<std::mutex>& lock);
  // Stores fetched bytes into the run's blocks that are still missing; the
  // caller holds the mutex through `lock` and has checked the epoch. The
  // mutex is let go while the bytes are written. "no-space" when the room
  // keeper refused them: nothing was stored.
  Status storeFetched(uint64_t runFirst, uint64_t runLast, const std::vector<uint8_t>& buf, Timestamp readSince,
                      std::unique_lock<std::mutex>& lock);
  // The server tells the recorded copy from others by its time alone.
  bool versionedByTimeLocked() const;
  // Blocks of the recorded copy read from `readSince` on were stored.
  void noteStoredLocked(Timestamp readSince);
  // Waits until no fetch writes its bytes outside the mutex: what changes or
  // destroys bytes of the data file calls this first.
  void waitForStoresLocked(std::unique_lock<std::mutex>& lock);
  bool readAt(uint64_t offset, void* buffer, uint64_t length, int* err);
  Status writeAt(uint64_t offset, const void* data, uint64_t length);
  // Sets the data file's length, keeping dataLength_ in step.
  Status setDataLengthLocked(uint64_t length);
  // Makes the data file reach `end` with zeros beyond size_, cutting any
  // bytes that a skipped drop left past size_ first.
  Status extendDataLocked(uint64_t end);
  uint64_t blockCountLocked(uint64_t size) const;
  void growStatesLocked();
  bool allPresentLocked(uint64_t first, uint64_t last) const;
  bool anyPresentLocked(uint64_t first, uint64_t last) const;
  bool hasDirtyLocked() const;
  // Some block is present and not dirty: a map of these states calls it clean.
  bool claimsCleanLocked() const;
  // The first block of first..last that is missing and in flight, or last + 1.
  uint64_t firstBusyLocked(uint64_t first, uint64_t last) const;
  MapHeader headerLocked() const;
  std::string encodeMapLocked() const;
  // Writes the map of the current state durably before bytes it might claim
  // are destroyed; saveMu_ and mu_ held. True when nothing on disk can
  // claim more than the data file will hold afterwards.
  bool sayLessBeforeDestroyLocked();
  // Drops every cached byte while the file keeps its length; the states are
  // already missing. Skipped (the bytes stay, unclaimed) when the map could
  // not be made to say so first.
  void dropDataLocked();
  // Writes the map; saveMu_ held, mu_ not. flushMap false: see saveMapUnflushed.
  bool saveWithSaveLockHeld(bool flushMap = true);
  // A write of first..last would land on a block that a map on disk may
  // still call clean, whose bytes a restart would take for the server's.
  bool overwritesClaimedLocked(uint64_t first, uint64_t last) const;
  // Makes the map on disk call no block clean; lock holds mu_ and saveMu_ is
  // held. mu_ is let go while the map reaches the disk.
  Status unclaimCleanBlocks(std::unique_lock<std::mutex>& lock);

  // Used by DataCache.
  void markRemoved();
  // Fits the data file to the loaded size; blocks the data file does not
  // reach (a crash cut it) become missing.
  void fitDataLength();
  // Unsent changes: dirty blocks or the whole-file flag.
  bool hasUnsent();
  // Moves the object's files to new names (the replaced files there are
  // deleted) and rebinds it. The data file stays open: a running fetch keeps
  // writing through it, and it follows the file.
  void relocate(std::string binPath, std::string mapPath, std::string path, std::string name);

  Env* const env_;
  const uint32_t blockSize_;
  const uint64_t maxFileBytes_;
  const std::shared_ptr<const RoomKeeper> room_;
  std::unique_ptr<EnvFile> data_;  // set once by openData, before the object is shared

  std::mutex saveMu_;  // serialises map writes and file moves; taken before mu_
  std::mutex mu_;
  std::condition_variable cv_;  // blocks became present or left inFlight_
  std::condition_variable storesCv_;  // unlockedStores_ reached zero
  std::string binPath_;         // guarded by mu_; changed with saveMu_ held too
  std::string mapPath_;         // guarded by mu_; changed with saveMu_ held too
  std::string path_;            // guarded by mu_
  std::string name_;            // guarded by mu_
  std::vector<uint8_t> states_; // guarded by mu_
  uint64_t size_ = 0;           // guarded by mu_
  uint64_t remoteSize_ = 0;     // guarded by mu_
  std::string etag_;            // guarded by mu_
  Timestamp remoteMtime_;       // guarded by mu_
  bool dirty_ = false;          // guarded by mu_
  bool replaceWhole_ = false;   // guarded by mu_; see replaceServerCopy
  Timestamp pendingMtime_;      // guarded by mu_
  bool needsSave_ = true;       // guarded by mu_
  bool onDisk_ = false;         // guarded by mu_; changed with saveMu_ held too
  bool removed_ = false;        // guarded by mu_; set with saveMu_ held too
  // The map last written names this boot: the bytes it claims are not
  // synced. stampAt_ is where its boot field starts.
  bool stampedOnDisk_ = false;  // guarded by mu_; changed with saveMu_ held too
  uint64_t stampAt_ = 0;        // guarded by mu_; changed with saveMu_ held too
  // Advanced by every map write, so that a commit knows the map it synced
  // the data of is still the one it zeroes.
  uint64_t mapWrites_ = 0;      // guarded by mu_; changed with saveMu_ held too
  // A map with unsent changes whose bytes were synced may be on disk: a
  // stamped map over it would have a power loss drop committed changes.
  bool diskUnsent_ = false;     // guarded by mu_; changed with saveMu_ held too
  // A map that calls some block clean may be on disk; set before such a map
  // is written, cleared only by a durable map that calls none clean.
  bool diskClaimsClean_ = false;  // guarded by mu_; changed with saveMu_ held too (or before sharing)
  std::set<uint64_t> inFlight_; // guarded by mu_
  uint32_t unlockedStores_ = 0; // guarded by mu_; fetches writing without mu_
  uint64_t epoch_ = 0;          // guarded by mu_
  uint64_t remoteRecord_ = 0;   // guarded by mu_
  uint64_t copiesTaken_ = 0;    // guarded by mu_
  uint64_t fileId_ = 0;         // guarded by mu_; of the recorded copy, 0: not known
  uint8_t copy_ = kMapCopySettled;  // guarded by mu_; settled while no block is present
  uint64_t unsettledSinceMs_ = 0;  // guarded by mu_; steady ms of the last unsettled store, 0: before this run
  uint64_t dataLength_ = 0;     // guarded by mu_; the data file's length
  uint64_t writtenSinceWriteOut_ = 0;  // guarded by mu_
};

}  // namespace tarn
