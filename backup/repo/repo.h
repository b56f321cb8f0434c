// tarn::backup::Repo: one open backup repository on one back-end, an
// encrypted, content-addressed, deduplicating object store. Remote layout:
// a plain "/config" (keys sealed under the password), packs of sealed blobs
// under "/data/xx/", index objects under "/index/", snapshot records under
// "/snapshots/", each sealed object named by the SHA-256 of its bytes.
//
// Made as a shared object and shared between the task that drives it and
// status readers. The task's threads call the operations: storeBlob from
// several threads at once (a backup's file readers), everything else from
// one thread while no store is in progress. Storing runs as a pipeline: the
// storing thread hashes a blob, tests it for a duplicate and hands it on; seal
// threads compress and seal blobs side by side and append them to the open
// packs strictly in the order they were handed on; upload worker threads
// upload closed packs. Both kinds of thread start with the first use and are
// joined by the destructor. What all stages hold together is bounded by one
// budget (options.pipelineBytes): a store waits for room, so slow uploads
// hold the file readers back instead of piling up packs. A failure found
// after storeBlob returned is kept as the sticky error and reported by the
// next store or flush. Status readers read the public counters at any
// time. Every remote call goes through the repository's own connection pool
// with its retry policy, so object access needs no lock of its own.
//
// The open packs belong to whichever seal thread is appending (one at a
// time), and to the task's thread only while the seal stage is idle, which
// flush and retirement wait for before they touch them.
//
// Locks: sealMutex guards the seal stage; queueMutex guards the upload queue
// and the index state; dirMutex guards knownDirs; readMutex guards the read
// cache and serialises readBlob, which takes queueMutex for its lookup first
// and never holds both. sealMutex may be held while queueMutex is taken,
// never the other way round. Only readMutex is held across remote calls
// (readBlob's download); the others never are, nor across compression or
// sealing. readPackRange holds no lock at all, so that a restore downloads
// several ranges at once. The budget's own lock is a leaf, taken under any
// of these; a store waits on it holding none.
//
// Clients on several computers may share one repository. A task holds the
// repository lock for its whole work: lock objects under "/locks/", shared
// by backups, restores and checks, exclusive for forgetting and reclaiming
// space, each naming its holder and written anew while held; one not
// written anew for kLockStaleSec, or left by a holder of this computer that
// is gone (its process ended, the computer restarted, or no repository of
// this very process holds it any more), is stale and removed. lockMutex
// guards the lock's state and is held across the lock's own remote calls;
// it is taken with no other lock of the repository held, and only dirMutex
// and queueMutex, briefly, under it.
//
// The object access layer is repo_access.cpp; creation and opening
// repo_open.cpp; the lock repo_lock.cpp; blobs repo_blobs.cpp; the seal
// stage repo_seal.cpp; the upload pipeline repo_upload.cpp;
// the index repo_index.cpp; snapshot records snapshot.cpp; retirement
// repo_retire.cpp; verification repo_check.cpp.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "backup/repo/blob_id.h"
#include "backup/repo/check_report.h"
#include "backup/repo/chunker.h"
#include "backup/repo/pack_format.h"
#include "backup/repo/pipeline_budget.h"
#include "backup/repo/seal.h"
#include "backup/repo/snapshot.h"
#include "engine/backend.h"
#include "engine/connection_pool.h"
#include "engine/worker_pool.h"
#include "foundation/cancel_token.h"
#include "foundation/endpoint_config.h"
#include "foundation/mount_config.h"
#include "foundation/retry.h"
#include "foundation/status.h"

namespace tarn::backup {

constexpr uint32_t kDefaultPackTargetSize = 16777216;  // 16 MiB
constexpr uint32_t kMinPackTargetSize = 1048576;       // 1 MiB
constexpr uint32_t kDefaultKdfIterations = 600000;
constexpr uint32_t kDefaultIndexSegmentPacks = 32;
constexpr int32_t kDefaultConnections = 3;
constexpr uint64_t kMaxBlobBytes = 0xFFFFFF00ull;
// "/config" is not authenticated: an iteration count or chunk size beyond
// these is refused, so a damaged or forged file can neither hold an open in
// key derivation for hours nor make a backup cut chunks that a pack's 32-bit
// offsets cannot hold.
constexpr int64_t kMaxKdfIterations = 10000000;
constexpr int64_t kMaxChunkBytes = 67108864;  // 64 MiB
constexpr uint32_t kNoCachedPack = 0xFFFFFFFF;
// Windows of packs kept for reading: a walk of snapshots whose trees lie in
// several packs moves between them for every folder.
constexpr size_t kReadWindows = 4;
// A held lock is written anew this often; one not written anew for
// kLockStaleSec is stale: its holder is taken for gone.
constexpr int64_t kLockRefreshSec = 300;
constexpr int64_t kLockStaleSec = 1800;
// Space reclamation leaves a pack that no index names alone until it is
// this old, so that a writer that takes no lock (an older Tarn) keeps the
// packs it has not indexed yet.
constexpr int64_t kUnnamedPackMinAgeSec = 3600;
// Seal threads when the options leave the count open: one per processor, at
// most this many.
constexpr int32_t kMaxSealThreads = 16;
// Bytes of blobs the store pipeline may hold from the store that hands them
// on to the end of their pack's upload (see PipelineBudget): room for an
// open pack, two uploading and one waiting, with blobs being sealed beside.
constexpr uint64_t kDefaultPipelineBytes = 67108864;  // 64 MiB

struct RepoOptions {
  uint32_t packTargetSize = kDefaultPackTargetSize;
  int32_t connections = kDefaultConnections;
  bool compress = true;
  uint32_t indexSegmentPacks = kDefaultIndexSegmentPacks;
  uint64_t speedLimitBytesPerSec = 0;
  RetryPolicy retry;
  // The first call to the server (probe): a refused connection means the
  // host answers and nothing listens there, which waiting seldom cures. It
  // is tried as a drive tries an operation, a few seconds in all, and never
  // longer than `retry` would.
  RetryPolicy refusedRetry = RetryPolicyFor(NetOptions{});
  uint32_t kdfIterations = kDefaultKdfIterations;
  // Threads that compress and seal blobs; 0: one per processor.
  int32_t sealThreads = 0;
  // What the store pipeline may hold; a store waits for room beyond it.
  uint64_t pipelineBytes = kDefaultPipelineBytes;
  // Unix seconds for lock times and the age of packs on storage; empty: the
  // system clock.
  std::function<int64_t()> clock;
  // Once a call found the server silent (it timed out), every later call
  // ends at once as timed out instead of waiting again, as a drive's do,
  // and so do the calls in flight: a task, which one failed call ends
  // anyway, then ends within one call's budget. The silence lasts until a
  // call gets an answer, so a repository kept for later requests leaves it
  // off.
  bool refuseWhileSilent = false;
};

enum class LockMode { kNone, kShared, kExclusive };

struct BlobLocation {
  uint32_t pack = 0;  // position in Repo::packs
  uint32_t offset = 0;
  uint32_t storedLength = 0;
  uint32_t rawLength = 0;
  uint8_t type = 0;
};

struct PackInfo {
  BlobId id;
  uint32_t length = 0;
  bool retired = false;
  // For a pack that no index named, read from its header: its time on
  // storage; 0 for packs an index names.
  int64_t unnamedSince = 0;
  // Not on storage when the index was read: its blobs are lost unless
  // stored again.
  bool missing = false;
  // Of another size than the index says, or found damaged by a read (now or
  // by an earlier task): its blobs may still be read, but none counts as
  // held, so that a backup stores them again.
  bool damaged = false;
};

// What the repository holds of one blob.
enum class BlobState {
  kHeld,     // indexed in a sound pack, or in a pack not yet uploaded
  kDamaged,  // indexed only in a pack found damaged
  kMissing,  // not indexed, or only in a pack the storage does not hold
};

// An object as a listing of the storage shows it.
struct StoredObject {
  uint64_t size = 0;
  int64_t mtime = 0;  // Unix seconds on the server's clock
};

// What the repository's folders hold besides what they are for: pack
// objects by name (known ones included), and temporaries, by path: uploads
// left with ".part" appended and the hidden work files of uploads whose
// process died.
struct StoredData {
  std::unordered_map<std::string, StoredObject> packs;
  std::vector<std::pair<std::string, StoredObject>> temporaries;
};

struct OpenPack {
  std::vector<uint8_t> bytes;
  std::vector<PackEntry> entries;
};

struct QueuedPack {
  BlobId id;
  std::vector<uint8_t> bytes;  // released once uploaded
  uint32_t length = 0;         // recorded when the upload succeeded
  std::vector<PackEntry> entries;
};

struct PruneReport {
  uint64_t packsExamined = 0;
  uint64_t packsDeleted = 0;
  uint64_t packsRepacked = 0;
  uint64_t orphansRemoved = 0;
  uint64_t bytesFreed = 0;
  uint64_t bytesKept = 0;
  uint64_t youngPacksKept = 0;      // packs no index names, left alone for their age
  uint64_t packsAdopted = 0;        // packs no index named, read from their headers
  uint64_t temporariesRemoved = 0;  // upload leftovers older than kUnnamedPackMinAgeSec
  // Ids of the versions that need a folder listing that cannot be read
  // (set by the backup engine's walk before the packs are retired).
  std::vector<std::string> incompleteVersions;
};

using BlobIdSet = std::unordered_set<BlobId, BlobIdHash>;

// "/data/" + the first two hex digits of the id + "/" + all 64.
std::string PackPath(const BlobId& id);

// The name of this computer, as lock objects and snapshot records give it.
std::string LocalHostName();
// When a process of this computer started, in clock ticks after the boot,
// as lock objects record their holder's; 0 when that cannot be read.
int64_t ProcessStartTicks(int64_t pid);

// Creates the endpoint's root folder on its server with every missing parent,
// each through a back-end made for that folder's parent.
Status EnsureRemoteRoot(const EndpointConfig& endpoint);

class Repo {
 public:
  using BackendFactory = std::function<std::unique_ptr<IBackend>()>;
  using CheckProgress = std::function<void(uint64_t verified, uint64_t total)>;

  // No connection and no thread yet.
  Repo(BackendFactory factory, const RepoOptions& options);
  // Stops and joins the upload workers; packs still queued are dropped, so
  // owners flush first.
  ~Repo();
  Repo(const Repo&) = delete;
  Repo& operator=(const Repo&) = delete;

  // --- creation and opening (task thread, before anything else) ---
  // ok when "/config" exists, code 1 when not. A refused connection is
  // retried under refusedRetry, other network failures under retry.
  Status probe();
  // For a folder without "/config": ok when it holds none of a
  // repository's data either, code 2 when it does, the message naming what
  // was found ("backup data without its \"/config\" (data/, index/)"): new
  // keys could never read that data. Code 1 when the folder is not there.
  Status checkNoStrayData();
  Status init(const std::string& password);
  Status open(const std::string& password);

  // --- the repository lock (repo_lock.cpp), task thread ---
  // Takes the lock for `purpose` ("backup", "prune"...), writing a lock
  // object that names this computer and process. Code 12 naming the holder
  // when another client's lock stands in the way: any lock for the exclusive
  // one, an exclusive one for the shared one. The exclusive lock may be
  // taken while the shared one is held; the shared one stays when it is
  // refused. Stale locks met on the way are removed.
  Status lock(LockMode mode, const std::string& purpose);
  // Removes the lock object; nothing when no lock is held.
  void unlock();
  LockMode lockMode();
  // Ok, or why the lock was lost (another client removed it as stale).
  Status lockStatus();
  // Writes the lock anew now; a refresh thread does it every
  // kLockRefreshSec while a lock is held.
  Status refreshLock();

  // --- blobs ---
  // The id is written also when the blob was already stored. Safe to call
  // from several threads at once.
  Status storeBlob(uint8_t type, const void* data, size_t length, BlobId& id);
  // Appends to the open pack of its type without the dedup test.
  Status addBlob(uint8_t type, const BlobId& id, const void* data, size_t length);
  // Held: in a sound pack or in a pack whose upload has not ended yet. A
  // blob of a missing or damaged pack is not, so that a backup that meets
  // it stores it again and never makes a version of data that is lost.
  bool hasBlob(const BlobId& id);
  BlobState blobState(const BlobId& id);
  // Only uploaded blobs: opened, decompressed and checked against their id.
  Status readBlob(const BlobId& id, std::vector<uint8_t>& out);

  // --- reads that the caller plans itself (restore), from any thread at
  // once: no lock is held while a range downloads ---
  // Where an uploaded blob lies: code 1 when the index does not know it or
  // its pack is missing. A blob of a damaged pack is located all the same:
  // only reading it tells.
  Status locateBlob(const BlobId& id, BlobLocation& loc, PackInfo& pack);
  // Bytes [offset, offset + length) of a pack; a pack that ends sooner is
  // damage (code 18).
  Status readPackRange(const PackInfo& pack, uint64_t offset, uint64_t length, std::vector<uint8_t>& out);
  // Opens a blob from its sealed bytes as read out of its pack: decrypts,
  // decompresses and checks the content against the id. A blob that does
  // not open marks its pack damaged.
  Status openBlob(const BlobId& id, const BlobLocation& loc, const uint8_t* sealed, std::vector<uint8_t>& out);
  // The same without a buffer of its own: decrypts over `sealed` (its
  // storedLength bytes are overwritten) and points `plain` at the
  // loc.rawLength bytes of content, which lie there when the blob was stored
  // as it is and in `scratch` when it was compressed.
  Status openBlobInPlace(const BlobId& id, const BlobLocation& loc, uint8_t* sealed, std::vector<uint8_t>& scratch,
                         const uint8_t*& plain);
  // The number of connections reads may use at once.
  int32_t connectionCount() const { return options.connections; }

  // --- upload pipeline ---
  // Waits until every blob handed on is in a pack and nothing is queued or
  // in flight, or until the first failure, which it returns.
  Status waitUploads();
  // Closes both open packs, waits for every upload, writes the last index
  // segment. Owners call it before letting the repository go.
  Status flush();

  // --- index, snapshots, space, verification ---
  // Packs that earlier tasks found damaged (call before loadIndex): their
  // blobs count as not held. Ids of packs this repository does not have
  // are ignored.
  void setKnownDamage(const std::vector<BlobId>& packs);
  // Reads every index object and lists the pack objects on storage. One
  // object that is damaged is left out, named in indexDamage and the log.
  // Packs that no index names (a lost or damaged index object, a run killed
  // before its segment) are read from their headers at once, whatever their
  // age; only their removal waits (retirePacks). Packs the index names that
  // storage lacks or holds at another size are marked missing or damaged,
  // and a blob listed in several packs lives in one that storage holds.
  Status loadIndex();
  // What the last loadIndex found damaged, one text per index object.
  std::vector<std::string> indexDamage();
  // What the last loadIndex found of the packs: one text per pack that is
  // missing, of another size, or known damaged.
  std::vector<std::string> packDamage();
  // Packs this object found damaged that were not known so before.
  std::vector<BlobId> damageFound();
  // Packs given as known damaged that this object no longer counts so:
  // storage does not hold them, or a check read them whole.
  std::vector<BlobId> damageCleared();
  // Flushes and reads the index again, unless it was read while the
  // exclusive lock was held: what its holder decides on must include what
  // other clients stored until it took the lock.
  Status reloadIndexIfStale();
  // Every pack object under "/data" by its name; with temporaries, also the
  // temporaries of every folder of the repository.
  Status listStored(StoredData& out, bool withTemporaries);
  // Reads the index again first when it is stale (reloadIndexIfStale);
  // `adopted` counts the packs that no index names and that are at least
  // kUnnamedPackMinAgeSec old, which the next full index names. Packs whose
  // header does not open are left to the orphan sweep.
  Status adoptUnnamedPacks(uint64_t& adopted);
  Status writeSnapshot(SnapshotInfo& info);
  // Every readable record, oldest first. Records that do not open are left
  // out and named in *damaged (when given); retirePacks refuses to run
  // while the last complete listing left any out.
  Status listSnapshots(std::vector<SnapshotInfo>& out, std::vector<std::string>* damaged = nullptr);
  // Removes a record by its object name, whether it opens or not.
  Status deleteSnapshot(const std::string& id);
  // `referenced` must hold every blob that any remaining snapshot reaches.
  // Only under the exclusive lock; the index is read again first when it
  // was read before the lock was taken.
  Status retirePacks(const BlobIdSet& referenced, PruneReport& report);
  Status checkPack(bool readData, CheckReport& report, const CheckProgress& progress);

 private:
  friend class RepoTestPeer;

  // openBlob without marking the pack (readBlob marks it once readMutex is
  // let go).
  Status openSealed(const BlobId& id, const BlobLocation& loc, const uint8_t* sealed, std::vector<uint8_t>& out) const;
  // A decrypted blob: decompressed into `scratch` unless stored as it is,
  // then checked against its id; `plain` points at the content.
  Status checkOpened(const BlobId& id, const BlobLocation& loc, const uint8_t* opened, size_t size,
                     std::vector<uint8_t>& scratch, const uint8_t*& plain) const;

  // Object access: each runs one pool operation under its label.
  Status ensureDir(const std::string& path);
  Status getObject(const std::string& path, std::vector<uint8_t>& out);
  Status getRange(const std::string& path, uint64_t offset, uint64_t length, std::vector<uint8_t>& out);
  Status listDir(const std::string& path, std::vector<DirEntry>& out);
  Status listDirWithLeftovers(const std::string& path, std::vector<DirEntry>& out, std::vector<DirEntry>& leftovers);
  // The entries of a pack from the header at its end (two ranged reads).
  Status readPackHeaderOf(const BlobId& id, uint64_t size, std::vector<PackEntry>& out);
  // Every pack of `stored` that no known pack matches, from its header.
  Status adoptPacks(const StoredData& stored);
  // Call with queueMutex held. Places a blob that the index or a header
  // lists, keeping a location in a pack that holds it over one that does not.
  void placeBlobLocked(const BlobId& id, const BlobLocation& loc, bool overwrite);
  BlobState blobStateLocked(const BlobId& id) const;
  // Marks a pack damaged and remembers that this object found it so. Takes
  // queueMutex: never with readMutex held.
  void noteDamaged(uint32_t pack);
  void noteDamaged(const BlobId& pack);
  void noteDamagedLocked(uint32_t pack);
  // Call with queueMutex held: known damaged, or found so by this object.
  bool damagedBeforeLocked(const BlobId& pack) const;
  Status putObject(const std::string& path, const std::vector<uint8_t>& bytes);
  Status removeObject(const std::string& path);

  // A blob handed to the seal stage, from the store that made it to its
  // append to an open pack.
  struct SealJob {
    uint64_t seq = 0;
    uint8_t type = 0;
    BlobId id;
    uint64_t rawLength = 0;
    // Room for the nonce, the plaintext, room for the tag; sealed where it
    // lies (or replaced by its compressed form, sealed the same way).
    std::vector<uint8_t> bytes;
    Status status;  // a sealing failure
  };

  // The id must be in `pending` already. Waits for room in the budget.
  Status submitBlob(uint8_t type, const BlobId& id, const void* data, size_t length);
  void sealWorker();
  // Compresses (when it pays) and seals the job's bytes; no thread keeps a
  // buffer of its own between blobs.
  void sealJob(SealJob& job);
  // Call with sealMutex held (through `lock`) and sealAppending set: appends
  // every sealed job whose turn has come, releasing the lock meanwhile.
  void appendReadyLocked(std::unique_lock<std::mutex>& lock);
  // The appending thread only. Accounts the job's bytes to the budget
  // whether it is appended or dropped.
  Status appendSealed(SealJob& job);
  // Keeps the first failure; every later store, flush and wait reports it.
  void recordFailure(const Status& st);
  // Waits until the seal stage is idle and returns the sticky error.
  Status drainSeals();
  // Drains the seal stage and closes both open packs.
  Status closeOpenPacks();
  Status flushPack(OpenPack& pack);
  void uploadWorker();
  // Call with queueMutex held: forgets the blobs of a pack that will never
  // be uploaded, so that nothing counts them as stored.
  void dropPendingLocked(const std::vector<PackEntry>& entries);
  Status writeIndexSegment(std::vector<QueuedPack> packs);
  Status writeIndex();
  // Seals an index object, names it by its hash and stores it under /index.
  Status storeIndexObject(const std::vector<uint8_t>& plain, BlobId& name);

  // One lock object as read from storage.
  struct LockRecord;
  int64_t clockNow() const;
  // The locks of other holders that still stand, stale ones removed on the
  // way; `ours` are the names of this repository's own lock objects. Call
  // with lockMutex held.
  Status readLocksLocked(const std::vector<std::string>& ours, std::vector<LockRecord>& out);
  // Call with lockMutex held.
  Status writeLockLocked(bool exclusive, const std::string& purpose, int64_t since, std::string& name);
  void removeLockLocked(const std::string& name);
  Status refreshLocked();
  void lockRefresher();

  struct PackVerdict;
  class PackReader;

  BackendFactory factory;
  RepoOptions options;  // after the raises of the constructor
  ConnectionPool pool;
  RateLimiter limiter;  // charged by uploads only

 public:
  // Set by the owner right after construction; honoured by every remote
  // operation, transfer loop and the upload back-pressure wait.
  const CancelToken* cancel = nullptr;

  // Only ever increased; readable at any time.
  std::atomic<uint64_t> bytesUploaded{0};
  std::atomic<uint64_t> bytesDownloaded{0};
  std::atomic<uint64_t> packsUploaded{0};
  std::atomic<uint64_t> blobsAdded{0};
  std::atomic<uint64_t> blobsDeduplicated{0};
  std::atomic<uint64_t> bytesAdded{0};   // plaintext of added blobs
  std::atomic<uint64_t> bytesStored{0};  // sealed bytes of added blobs

  // Set by open; unchanged afterwards.
  std::string repoId;
  ChunkerParams chunkerParams;

 private:
  std::vector<uint8_t> idKey;
  GcmCipher cipher;

  std::mutex queueMutex;
  std::condition_variable queueCv;  // every change a producer, worker or waiter waits for
  std::unordered_map<BlobId, BlobLocation, BlobIdHash> index;  // guarded by queueMutex
  std::vector<PackInfo> packs;                                   // guarded by queueMutex
  std::vector<BlobId> indexObjects;                              // guarded by queueMutex
  std::vector<BlobId> damagedIndexObjects;                       // guarded by queueMutex; left out by loadIndex
  std::vector<std::string> indexDamageTexts;                     // guarded by queueMutex
  std::vector<std::string> packDamageTexts;                      // guarded by queueMutex
  BlobIdSet knownDamage;                                         // guarded by queueMutex
  std::vector<BlobId> foundDamage;                               // guarded by queueMutex
  std::vector<BlobId> clearedDamage;                             // guarded by queueMutex
  BlobIdSet pending;                                             // guarded by queueMutex
  std::vector<QueuedPack> unindexed;                             // guarded by queueMutex
  std::deque<QueuedPack> uploadQueue;                            // guarded by queueMutex
  int32_t inFlight = 0;                                          // guarded by queueMutex
  Status uploadError;                                            // guarded by queueMutex
  bool stopping = false;                                         // guarded by queueMutex
  std::vector<std::thread> workers;                              // guarded by queueMutex
  OpenPack dataPack;  // the appending seal thread, or the task thread while the stage is idle
  OpenPack treePack;  // the same
  // Records left out by the last complete snapshot listing.
  std::atomic<uint64_t> damagedSnapshots{0};

  int32_t sealThreadCount = 1;  // set by the constructor
  PipelineBudget budget;         // made by the constructor from options
  std::mutex sealMutex;
  std::condition_variable sealWork;  // a job was queued, or the stage stops
  std::condition_variable sealDone;  // a job was appended, or appending ended
  std::deque<std::unique_ptr<SealJob>> sealQueue;       // guarded by sealMutex; waiting to be sealed
  std::map<uint64_t, std::unique_ptr<SealJob>> sealed;  // guarded by sealMutex; sealed, waiting for their turn
  uint64_t sealSubmitted = 0;  // guarded by sealMutex; sequence numbers handed out
  uint64_t sealAppended = 0;   // guarded by sealMutex; jobs appended or dropped, in sequence
  bool sealAppending = false;  // guarded by sealMutex; a seal thread owns the open packs
  bool sealStopping = false;   // guarded by sealMutex
  std::vector<std::thread> sealWorkers;  // guarded by sealMutex

  std::mutex dirMutex;
  std::unordered_set<std::string> knownDirs;  // guarded by dirMutex; only grows

  std::mutex lockMutex;
  std::condition_variable lockWake;  // the refresh thread is to stop
  LockMode heldMode = LockMode::kNone;  // guarded by lockMutex
  std::string heldName;                 // guarded by lockMutex; the object under /locks
  std::string heldPurpose;              // guarded by lockMutex
  int64_t heldSince = 0;                // guarded by lockMutex
  std::vector<std::string> strayLocks;  // guarded by lockMutex; old objects of ours a refresh could not remove
  Status lockLost;                      // guarded by lockMutex
  bool lockStopping = false;            // guarded by lockMutex
  std::thread lockThread;               // guarded by lockMutex
  // The lock mode under which the index was last read; the task thread's.
  LockMode indexReadUnder = LockMode::kNone;

  // One downloaded stretch of a pack.
  struct ReadWindow {
    uint32_t pack = kNoCachedPack;
    uint64_t start = 0;
    std::vector<uint8_t> bytes;
    uint64_t lastUse = 0;
  };
  std::mutex readMutex;  // held for the whole of readBlob
  std::vector<ReadWindow> readWindows;  // guarded by readMutex; at most kReadWindows
  uint64_t readClock = 0;               // guarded by readMutex
};

}  // namespace tarn::backup
