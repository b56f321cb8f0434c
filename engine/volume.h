// One configured drive at run time. The service makes one Volume per mounted
// drive, shares it (std::shared_ptr) with the mount host, starts it before
// mounting and stops it after unmounting. It serves file reads from the block
// cache and fetches what is missing through its connection pool, keeps a
// maintenance thread (keepalive, eviction, idle streams) and reports status
// and transfers.
//
// Threads: the mount host's callback threads and the service's threads call
// the public operations; the volume runs one tick thread and four worker
// pools ("prefetch", "upload", "reaper", "replay"). start and stop are
// called one at a time by the owner; everything else may be called from any
// thread.
//
// Locks: there is no lock over the whole volume. Each group of members has a
// mutex of its own (upload state, transfers, last error, streams, tick
// wake-up); no operation holds two of them at once or one across a server
// call. The pool, the caches, the journal and every OpenFile lock
// themselves; the journal's lock is taken inside uploadMu_ (the tick's look
// at the records that hold uploads back) and never the other way round.
//
// Operations on paths hold a pass of the rename fence (rename_fence.h) for
// their run: one inside a folder being renamed waits for the rename and
// goes on at the folder's new place, and a rename begins once those already
// under way in its source or target have ended.
//
// The operations live in one file per concern: volume.cpp (lifecycle and
// tick), volume_read.cpp (read path), volume_namespace.cpp (attributes,
// listings, open, create, rename, delete, times, sizes, space, close),
// volume_write.cpp (writes, flush and the upload queue's bookkeeping),
// volume_upload.cpp (the upload jobs), volume_transfers.cpp (status and
// transfer records). The constructor, which makes the default back-ends by
// protocol, is engine/factory/volume_backends.cpp: whoever makes a volume
// links tarn_backend_factory.
//
// Namespace changes go to the server at once while online and into the
// offline journal (journal.h) while offline; file contents reach the server
// only through the upload queue. An upload of a path never runs while the
// path is being renamed or deleted, nor while a journal record that names it
// waits for replay, so the server sees changes in the order they were made.
// The tick only starts a replay, on the "replay" thread, so uploads of paths
// no record names go on while a long replay runs.
//
// Time on the server: each public operation has one budget, the connect
// plus the I/O time-out from its start, for every server call, retry and
// wait (for a connection, a block in flight, an upload to stop) it makes:
// its token (callToken) is cancelled when the budget ends, and what that
// cuts short ends as a time-out. Once a call found the server silent (a
// time-out), calls do not ask it again one by one: what the caches hold
// answers, what needs the server fails at once, and the tick asks the
// server in the background until it answers.
//
// Online means the server can be used now: the last connect or answer says
// so. While no connection is up the tick looks at the server (a connect
// and a ping) now and then, so that an idle drive's state follows the
// server, and a failure that made the server unusable shows as the reason
// only until it is usable again.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/backend.h"
#include "engine/cache_file.h"
#include "engine/cache_room.h"
#include "engine/connection_pool.h"
#include "engine/data_cache.h"
#include "engine/journal.h"
#include "engine/meta_cache.h"
#include "engine/rename_fence.h"
#include "engine/worker_pool.h"
#include "foundation/cancel_token.h"
#include "foundation/log_limiter.h"
#include "foundation/mount_config.h"
#include "foundation/status.h"

namespace tarn {

// A rename over a file the server holds sends the content up whole rather
// than renaming the server's copy (see volume_rename.cpp) only while that
// costs at most this many bytes more than the rename: what must be fetched
// first of content not yet sent, or the whole file of content the server
// has but cannot put in the target's place in one step.
inline constexpr uint64_t kReplaceByUploadMaxBytes = 64ull << 20;
// Finished transfer records kept for the transfers list.
inline constexpr size_t kMaxFinishedTransfers = 50;
// Closes whose maps wait for the reaper's commit, at most; each holds its
// data file open until then.
inline constexpr size_t kMaxMapsAwaitingCommit = 64;
// The kernel asks again at once for a page its readahead failed to bring: a
// read of the same bytes this soon after a failure is that repeat, and
// shares its budget even when the failure came at its deadline.
inline constexpr uint64_t kReadRepeatWindowMs = 1000;

// The volume's intervals in milliseconds. The defaults are the product's;
// tests shorten them. The keepalive interval is the drive's own setting.
struct VolumeTimings {
  uint32_t tickMs = 1000;              // longest wait of the tick thread between steps
  uint32_t maintenanceMs = 60000;      // eviction and dirty rescan pass
  uint32_t streamIdleMs = 20000;       // sequential streams unused this long are closed
  uint32_t fetchAcquireMs = 60000;     // wait for a free connection in the read path, within the retry budget
  uint32_t connectSlackMs = 1000;      // added to the connect time-out for start's connect
  uint32_t renameWaitMs = 30000;       // a rename waits this long for uploads it stopped
  uint32_t stopUploadWaitMs = 30000;   // stopUpload waits this long for the job it stopped
  uint32_t uploadWaitSliceMs = 200;    // slices of the waits on the upload condition variable
  uint32_t replayAcquireMs = 5000;     // wait for a connection to replay the journal
  uint32_t statfsMemoMs = 10000;       // space figures are asked of the server at most this often
  // With no connection up, the tick looks at a server it could use this
  // often (at the keepalive interval when the drive has one), and at one
  // it could not use at this shorter one, so that its return shows soon.
  uint32_t idleLookMs = 30000;
  uint32_t lookAgainMs = 10000;
  // While new data is refused at the reserve of the cache's disk, the tick
  // looks this often whether it would fit now, dropping copies for it.
  uint32_t roomLookMs = 5000;
};

// One open handle of the drive, shared by the mount host (the handle's
// context) and the volume's workers.
struct OpenFile {
  std::string path;
  bool isDir = false;
  RemoteAttr attr;
  std::shared_ptr<CacheFile> cache;  // empty for a folder
  bool modified = false;             // guarded by mu; changed since the handle's last close
  std::atomic<bool> deleted{false};  // the mount host deleted the file at cleanup
  uint64_t readaheadEnd = 0;         // guarded by mu; where the previous read ended
  uint32_t readaheadWindow = 0;      // guarded by mu; in blocks
  uint64_t readaheadPosted = 0;      // guarded by mu; end of what readahead was given
  // The bytes, the deadline and the end of the last read that failed on the
  // server: the kernel asks again at once for the same bytes, and that
  // repeat gets what is left of the first one's budget. Guarded by mu.
  uint64_t failedReadFrom = 0;
  uint64_t failedReadTo = 0;
  uint64_t failedReadDeadlineMs = 0;
  uint64_t failedReadAtMs = 0;
  // The server's copy the handle reads, fixed by its open (or first read)
  // and kept up with the uploads of the drive. Once the cache takes another copy of the
  // file from the server (it was replaced or changed there), the handle
  // reads on from this one alone, or fails: never an early end or zeros.
  RemoteAttr copy;          // guarded by mu
  uint64_t copyTaken = 0;   // guarded by mu; the cache's count of taken copies when copy was
  bool copyBound = false;   // guarded by mu
  bool copyGone = false;    // guarded by mu; the loss was logged
  // The handle reads the file through from its start: one sequential stream
  // serves its reads, and one readahead task at a time runs that stream
  // ahead up to readaheadPosted.
  bool streaming = false;            // guarded by mu
  bool streamAhead = false;          // guarded by mu; the readahead task runs
  // Guards modified, attr.size, attr.mtime, the readahead state and the
  // copy while they change.
  std::mutex mu;
};

// One entry of the transfer list.
struct TransferInfo {
  uint64_t id = 0;  // 0 for records made up for queued uploads
  std::string path;
  bool upload = false;
  uint64_t done = 0;
  uint64_t total = 0;  // 0 when unknown
  uint64_t startedMs = 0;
  uint64_t updatedMs = 0;  // for a queued upload: when it becomes due
  uint32_t attempt = 0;
  std::string state;  // "active", "retry", "waiting", "done", "failed"
  std::string error;
};

struct VolumeStatus {
  bool online = false;
  bool offlineMode = false;
  uint32_t slots = 0;
  uint64_t cacheBytes = 0;
  uint32_t pendingUploads = 0;
  uint32_t activeTransfers = 0;
  uint64_t journalOps = 0;
  // Open files whose writes go up only at their close (or flush), and their
  // size: data the server does not have that no upload holds yet.
  uint32_t openChangedFiles = 0;
  uint64_t openChangedBytes = 0;
  std::string journalProblem;  // why the journal may not survive a restart; empty when sound
  uint64_t bytesDown = 0;
  uint64_t bytesUp = 0;
  // The latest failure of a server request, shown until the next request of
  // its kind succeeds; empty when none.
  std::string lastError;
  uint64_t lastErrorMs = 0;
  // Files whose upload the server refused with the same answer
  // kStuckUploadFailures times in a row; while there are any, lastError
  // names the first with that answer.
  uint32_t failingUploads = 0;
};

// The kinds of server request whose failures a drive's status shows: a
// failure shows, however long ago it came, until the next request of its
// kind succeeds (a connection made, a file read, an upload done, ...).
// kCacheRoom is no request of the server: new data refused at the reserve
// of the cache's disk, shown until the disk has room above it again.
enum class RequestKind { kOther, kConnect, kStat, kList, kCreate, kUnlink, kRename, kRead, kUpload, kCacheRoom };

// Refusals of one file's upload with the same answer of the server (no
// network failure, which passes) after which the drive shows it for as long
// as it lasts: it will not mend itself.
inline constexpr uint32_t kStuckUploadFailures = 3;

// One file in the upload queue.
struct UploadEntry {
  int64_t due = 0;  // steady-clock ms from which the upload may start
  uint32_t attempts = 0;
  bool running = false;
  bool stopRequested = false;
  bool dropped = false;
  std::shared_ptr<CancelToken> cancel;
  std::string lastError;
  uint32_t sameFailures = 0;  // refusals in a row with lastError as the answer
  // The object while something else keeps it live (an open handle, a
  // running upload); a waiting entry holds no open file of its own, so any
  // number of files can wait, and the job opens the object by path.
  std::weak_ptr<CacheFile> cache;
};

// The readahead pieces after a read that ended at `end` of a file of `size`
// bytes: `window` blocks cut into one piece per spare connection.
std::vector<std::pair<uint64_t, uint64_t>> PlanReadahead(uint64_t end, uint64_t size, uint32_t blockBytes,
                                                         uint32_t windowBlocks, int32_t connections);

// What a volume keeps in its cache folder, by name (the block cache's
// folder, the journal and its log, what the metadata cache saw): what
// removing a drive's cache takes out of a folder that holds other files.
std::vector<std::string> VolumeCacheEntries();

class Volume {
 public:
  using BackendFactory = ConnectionPool::Factory;
  struct SeqStream;

  // An empty factory makes back-ends from the drive's endpoint by protocol.
  // The cache folder and the journal live on `env` (null: Env::Default()),
  // which must outlive the volume.
  Volume(MountConfig config, std::string cacheRoot, BackendFactory factory, VolumeTimings timings = {},
         Env* env = nullptr);
  ~Volume();
  Volume(const Volume&) = delete;
  Volume& operator=(const Volume&) = delete;

  // --- lifecycle (volume.cpp) ---
  // A second call while started returns ok at once. Fails when the cache
  // folder cannot be made, or when the first connect is refused as invalid
  // (a server certificate this side does not trust); a server out of reach
  // is served from cache. `within` (may be null) bounds the wait of the
  // first connect by its deadline, so that a mount that checked the server
  // first ends within one budget, and ends it when cancelled, as an unmount
  // of a mount still under way asks; a connect its deadline ends counts as
  // the server's silence, one it cancels as a server out of reach.
  Status start(std::string* errorText, const CancelToken* within = nullptr);
  // waitMs 0: do not wait for uploads. Reads in progress end as canceled.
  void stop(uint32_t waitMs);
  void setOffline(bool offline);
  // The network changed or the machine woke up.
  void kick();
  void rescanDirty();
  void clearCache();
  // Records a failure of a request of `kind`, shown until the next request
  // of that kind succeeds (kOther: until the next failure); one that failed
  // to reach the server (or to connect) goes also once the server can be
  // used again.
  void setLastError(const Status& status, RequestKind kind = RequestKind::kOther);
  // Asks the server now whether the drive can use it (a connect where none
  // is up, and a ping), within withinMs (0: the drive's own time-outs);
  // the status's online and reason follow the answer.
  Status lookAtServer(uint32_t withinMs);
  // Enters or re-times the upload queue entry of a path.
  void queueUpload(const std::string& path, uint32_t delayMs, std::shared_ptr<CacheFile> cache);
  // Wakes the tick thread for an early step.
  void wakeUploader();

  // --- namespace operations (volume_namespace.cpp) ---
  // Attributes and listings as the drive shows them: a file with local
  // changes shows its local size.
  Status getattr(const std::string& path, RemoteAttr& out);
  Status readdir(const std::string& path, std::vector<DirEntry>& out);
  // The same listing shared, not copied: it never changes.
  Status readdir(const std::string& path, std::shared_ptr<const DirListing>& out);
  Status open(const std::string& path, std::shared_ptr<OpenFile>& out);
  // A new empty file or folder, opened.
  Status create(const std::string& path, bool isDir, std::shared_ptr<OpenFile>& out);
  // `moved` (may be empty) runs once the rename took effect and before any
  // operation waiting for it goes on: a caller that keeps its own map of
  // names moves them there, so that no path it builds later names the old
  // place.
  Status rename(const std::string& from, const std::string& to, bool replace,
                const std::function<void()>& moved = {});
  // The path with its parent folders in the server's spelling.
  std::string resolveCase(const std::string& path);
  Status setTimes(const std::string& path, Timestamp mtime, Timestamp atime);
  Status setSize(const std::shared_ptr<OpenFile>& file, uint64_t size);
  // Deletes a file or an empty folder.
  Status unlink(const std::string& path, bool isDir);
  Status statfs(FsStats& out);
  // Saves the handle's map and queues its upload when it has local changes;
  // the write-back delay starts again only for changes this handle made
  // since its last close.
  void closeNow(const std::shared_ptr<OpenFile>& file);
  // closeNow on the "reaper" thread, so the caller does not wait for the map.
  void closeAsync(const std::shared_ptr<OpenFile>& file);
  // Makes the maps that closes left unflushed durable, all that gathered
  // meanwhile in one go on the "reaper" thread.
  void commitMapsLater(std::shared_ptr<CacheFile> cache);
  void commitMaps();

  // --- writes and the upload queue (volume_write.cpp) ---
  // "no-space" for a write that needs new space in the cache while its disk
  // is down to the reserve; the drive's status then says why.
  Status write(const std::shared_ptr<OpenFile>& file, uint64_t offset, const void* data, uint64_t length);
  // Saves the map and makes a pending upload due at once.
  Status flush(const std::shared_ptr<OpenFile>& file);
  // The user's stop: the upload ends and the local changes are dropped.
  Status stopUpload(const std::string& path);
  // True when the upload queue became empty within timeoutMs and, online,
  // the journal's records reached the server: the replay runs beside the
  // uploads and may outlast them.
  bool waitUploadsIdle(uint32_t timeoutMs);
  bool uploadStopRequested(const std::string& path);
  bool isDeleting(const std::string& path);
  bool isRenaming(const std::string& path);

  // --- reports (volume_transfers.cpp) ---
  void status(VolumeStatus& out);
  std::vector<TransferInfo> transfers();
  // `error` and `attempt`: what the try before this one ended with.
  uint64_t TransferBegin(const std::string& path, bool upload, uint64_t total, const std::string& error = {},
                         uint32_t attempt = 0);
  void TransferEnd(uint64_t id, bool ok, const std::string& error);
  // A null state or error, or a negative attempt, leaves that field alone.
  void updateTransfer(uint64_t id, uint64_t done, const char* state, const std::string* error, int32_t attempt);

  // --- read path (volume_read.cpp) ---
  Status read(const std::shared_ptr<OpenFile>& file, uint64_t offset, void* buffer, uint64_t length,
              uint64_t& got);
  // Fetches from the server under the path the object has now, which
  // follows renames; nothing for an object deleted while open. The
  // sequential one reads through the path's stream where a connection is
  // free for it.
  Fetcher fetcher();
  Fetcher sequentialFetcher();
  // The fetcher's body. ownBytes: the bytes go to a reader only, not into
  // the cache.
  Status fetchRange(CacheFile& file, uint64_t offset, uint8_t* buffer, uint64_t length, uint64_t& got,
                    const CancelToken* cancel, bool ownBytes = false, bool sequential = false);
  // sequential: a stream of a server that honours ranges, opened where the
  // read needs it and only on a free connection; *noConnection tells that
  // there was none, for the stream or for checking the copy it delivers,
  // and that got holds only checked bytes.
  Status streamRead(CacheFile& file, const std::string& path, uint64_t offset, uint8_t* buffer, uint64_t length,
                    uint64_t& got, const CancelToken* cancel, bool sequential = false, bool* noConnection = nullptr);
  // The handle reads the copy its cache object records now: the one its
  // open found (and told the kernel of).
  static void bindCopy(OpenFile& file);
  // A read of a handle whose copy the cache no longer holds: from the
  // server's copy the handle began with, while the server has it.
  Status readOwnCopy(OpenFile& file, uint64_t offset, uint8_t* buffer, uint64_t length, uint64_t& got);
  // A small read far from the handle's previous one, or a handle's first
  // read of blocks nobody has yet, of a file without local changes, online:
  // it is served straight from the server.
  bool readsOnlyItsOwn(OpenFile& file, uint64_t offset, uint64_t length);
  void scheduleReadahead(const std::shared_ptr<OpenFile>& file, uint64_t offset, uint64_t length);
  void prefetchWhole(const std::shared_ptr<OpenFile>& file);

  const MountConfig& config() const { return config_; }
  // The capability record in use. It is replaced whole (at the first
  // connect of a start), never changed in place, so a snapshot stays valid;
  // a name policy is made over a snapshot where one is needed.
  std::shared_ptr<const BackendCaps> caps() const { return caps_.load(); }
  bool isOffline() const { return offline_.load(); }
  bool isStarted() const { return started_.load(); }
  // The drive's cache folder (set by start).
  const std::string& cacheDir() const { return cacheDir_; }

 private:
  // Counts a caller of the public operations so that stop can wait for them
  // before it destroys what they use; ok() is false on a volume that is not
  // started or is stopping. The outermost one of the volume on a thread is
  // the operation whose budget every call below it shares (callToken); an
  // operation nested in another keeps the outer one's.
  class ActiveCall {
   public:
    explicit ActiveCall(Volume* volume);
    ~ActiveCall();
    ActiveCall(const ActiveCall&) = delete;
    ActiveCall& operator=(const ActiveCall&) = delete;
    bool ok() const { return ok_; }
    // The deadline of the operation this call belongs to (0: none).
    uint64_t deadlineMs() const { return owner_->deadlineMs_; }
    // Ends the operation's budget at `deadlineMs` when that comes sooner;
    // only before its first server call.
    void keepDeadline(uint64_t deadlineMs);

   private:
    friend class Volume;
    Volume* volume_;
    bool ok_;
    ActiveCall* outer_;  // the thread's call before this one
    ActiveCall* owner_;  // the outermost call of this volume on the thread
    uint64_t deadlineMs_ = 0;
    std::shared_ptr<CancelToken> token_;  // made on first use, by callToken
  };

  // The token of the calling thread's operation: cancelled when the drive
  // stops or the operation's budget ends. On a thread that runs no
  // operation (the workers) the drive's own token.
  const CancelToken* callToken();
  // A result that the operation's deadline cut short is a time-out.
  Status inTime(Status st);
  // Looks at the server in the background (lookAtServer) when it is due:
  // always while the server is silent, and at the look intervals while no
  // connection is up; one look at a time. Only the tick calls it.
  void lookWhenDue(uint64_t now);
  // A look's failure `st` is of the kind that already shows as the reason
  // the server cannot be used: the first, with its prefix and time, stays.
  bool sameUnusableState(const Status& st);

  // The read at offset continues an earlier read of the handle.
  static bool continuesRead(OpenFile& file, uint64_t offset);
  // Whether the handle's read at offset goes through the path's stream: a
  // handle's reads from the start of a file larger than what is fetched
  // whole, until one lands far from the one before.
  bool readsAsStream(OpenFile& file, uint64_t offset);
  // The readahead task of a streaming handle.
  void runStreamAhead(const std::shared_ptr<OpenFile>& file, const CancelToken* cancel);
  // A streaming handle closed: its stream goes unless another read uses it.
  void endStream(OpenFile& file);
  // Drops the cached blocks of a clean object when the server's copy `now`
  // is not the one it records (and took no newer record since seenRecord).
  void dropIfChanged(CacheFile& file, const std::string& path, const RemoteAttr& now, uint64_t seenRecord);
  void tickLoop();
  // One maintenance step; only the tick thread runs it. Returns how long
  // the thread may wait before the next.
  uint64_t tick();
  // Closes the streams unused for idleMs that no read uses now.
  void closeIdleStreams(uint64_t now, uint64_t idleMs);
  // A stream keeps its connection between reads: while none is free, the
  // streams that stand idle give theirs back rather than keep a call
  // waiting. Never called with a stream's mutex held.
  void freeIdleConnection();
  void dropAllStreams();
  // Takes the back-end's capabilities at the first successful connect of a
  // start, whenever that happens, with the stored probe result laid over.
  void noteConnected(IBackend& backend);
  void waitForCallers();
  // What the metadata cache saw, kept in the cache folder across restarts
  // for offline mode.
  void loadSeen();
  void saveSeen();

  // --- namespace helpers (volume_namespace.cpp) ---
  // `answered` (may be null): out is the server's answer within the
  // metadata lifetime, not what the drive last saw of an unreachable server.
  Status statRemote(const std::string& path, RemoteAttr& out, bool useCache, bool* answered = nullptr);
  Status listRemote(const std::string& path, std::vector<DirEntry>& out, bool useCache);
  Status listRemote(const std::string& path, std::shared_ptr<const DirListing>& out, bool useCache);
  // The attributes of the path's cache object; false when there is none.
  bool cachedObjectAttr(const std::string& path, RemoteAttr& out);
  // A listing of the path's folder would show the path's name as it is
  // spelled, so that one lacking it says the name is missing.
  bool listingShowsName(const std::string& path);
  // A create whose cache object could not be made (`why`) is taken back on
  // the server or, offline, out of the journal (its `record`); returns
  // what the caller reports.
  Status undoCreate(const std::string& path, bool online, uint64_t record, const Status& why);
  // The name policy's judgement of a name about to be created.
  Status checkName(const std::string& path);
  // A cached file with changes not yet uploaded shows its local size and
  // the time set on it since; false (attr untouched) for any other.
  bool showLocalChanges(const std::string& path, RemoteAttr& attr);
  // What a look that changes kept overtaking shows at its end: the local
  // changes, or else what the drive's own change since the question
  // recorded (an upload that ended meanwhile); false (attr untouched) when
  // neither applies.
  bool showOwnChange(const MetaCache::Question& question, const std::string& path, RemoteAttr& attr);
  // The last error: the failure's message after a prefix naming the kind
  // of request ("stat: ", "list: ", ...).
  void recordError(RequestKind kind, const Status& st);
  // A request of `kind` succeeded: a failure of that kind shows no longer.
  void requestSucceeded(RequestKind kind);
  // Runs one server call under the ordinary policy and the volume's token.
  // `cachedAnswer`: the caller has an answer of its own to give when the
  // server cannot be reached, and gives it at once rather than after every
  // retry of the connect, or after the connect time-out on a server that
  // does not answer.
  Status serverCall(const char* label, const ConnectionPool::Operation& op, bool cachedAnswer = false);
  // Replays what the journal still holds, so that an online change reaches
  // the server after the offline changes made before it.
  // `sent` (may be null) receives the names of the records sent.
  Status replayJournal(std::vector<std::string>* sent = nullptr);
  // The replay's answer to a file made offline under a name the server gave
  // another file meanwhile: the server's file stays, and the drive's moves
  // to a free name beside it (see KeepOfflineFile).
  Status keepOfflineFile(IBackend& backend, const std::string& path, std::string& keptAs);
  // The tick's part: starts a replay on the "replay" thread unless one is
  // queued or running there.
  void startReplay();
  // Online, the journal holds records still to be sent.
  bool replayPending();
  // Stops and waits for the running uploads a rename touches (the source,
  // and the target it replaces), and marks both paths as renaming.
  Status holdUploadsForRename(const std::string& from, const std::string& to, bool& pending);
  void endRename(const std::string& from, const std::string& to);
  // Whether a rename of the file `from` (with `source` its attributes, and
  // `pending` its upload taken out of the queue) over `to` sends its content
  // to `to` by a whole upload instead of renaming the server's copy (see
  // volume_rename.cpp); when it does, the cache object has every byte, is
  // marked to replace the server's copy whole, and its map is on the disk.
  // `targetHeld`: the server holds a file at `to`.
  Status planReplaceByUpload(const std::string& from, const std::string& to, const RemoteAttr& source, bool pending,
                             bool& byUpload, bool& targetHeld);
  // The path has a cached object with changes not yet uploaded.
  bool hasUnsentAt(const std::string& path);

  // --- order of deletions and uploads (volume_order.cpp) ---
  // The files of the path's folder (the path aside) whose uploads wait or run.
  std::vector<std::string> uploadsBeside(const std::string& path);
  // No upload of these paths waits or runs, or one that the journal holds back.
  bool uploadsDoneAt(const std::vector<std::string>& paths);
  // replayJournal, and then, while a record still waiting (for the uploads
  // it must follow) names one of the paths, hurries those uploads and waits
  // within the operation's budget, so that the change comes after it.
  Status replayBefore(std::initializer_list<const std::string*> paths);
  // Online, a deletion of a file while others beside it wait for upload
  // goes into the journal to follow them (`deferred`); otherwise nothing.
  Status unlinkAfterUploads(const std::string& path, bool& deferred);
  // A change the server did not answer in time may still be carried out
  // once it wakes: what the drive had seen of `path` and `to` (may be empty)
  // is dropped, so that their next look asks the server, and with
  // `undoCreate` the empty file of a create goes once it answers again.
  // `silentBefore`: the server was known to be silent when the call began.
  void forgetTimedOutChange(const std::string& path, const std::string& to, const Status& st, bool silentBefore,
                            bool undoCreate);
  // Online, a waiting record removed the path: the server may still show it.
  bool deletedBeforeReplay(const std::string& path);
  void hideDeletedBeforeReplay(const std::string& folder, std::shared_ptr<const DirListing>& listing);
  // At start: the local side of renames a stop or crash cut short.
  void finishMovesOfRenames();
  // Takes path out of the upload queue unless its upload runs; whether it
  // was waiting there. Caller holds uploadMu_.
  bool dropWaitingUploadLocked(const std::string& path);
  // Calls fn for every queue entry at or below path; caller holds uploadMu_.
  void forEachEntryUnderLocked(const std::string& path,
                               const std::function<void(const std::string&, UploadEntry&)>& fn);
  // An upload of path may not start: it or a folder above it is being
  // renamed or deleted. Caller holds uploadMu_.
  bool uploadBlockedLocked(const std::string& path) const;
  static bool hasLocalChanges(CacheFile& cache) { return cache.hasDirty() || cache.isDirty(); }
  // The handle's writes wait for its close: the status counts them.
  void noteOpenChange(const std::shared_ptr<OpenFile>& file);
  // Fills the status's open files with changes that no upload holds yet.
  void countOpenChanges(VolumeStatus& out);

  // --- writes (volume_write.cpp) ---
  // Room for `bytes` more and `objects` new cache objects above the
  // reserve of the cache's disk; a refusal of what the drive's user does
  // (`refused`: "writes", "creates", ...) shows in the status while the
  // disk stays at its reserve.
  // With `hold`, the room for the bytes is held until it is destroyed.
  Status makeCacheRoom(uint64_t bytes, uint64_t objects, const char* refused,
                       std::unique_ptr<RoomHold>* hold = nullptr);
  // The room keeper of the block cache: room for fetched blocks, or null
  // when they are not to be kept.
  std::unique_ptr<RoomHold> holdFetched(uint64_t bytes);
  // The tick's part: a refusal shows no longer once the disk has room.
  void followCacheRoom();

  // --- uploads (volume_upload.cpp) ---
  // Starts due uploads; only the tick thread calls it. Returns the time
  // until the next waiting upload becomes due.
  uint64_t uploadTick();
  // One upload job on the "upload" pool.
  void runUpload(const std::string& path);
  Status uploadFile(const std::string& path, TransferInfo& info, std::shared_ptr<CacheFile> cache,
                    const CancelToken* cancel);
  // Each sets `mtime` after the content when not zero, and reports the file
  // size it brought the server to. uploadInPlace fills `seen` when the last
  // thing it asked the server was the file's attributes as they stay.
  Status uploadInPlace(const std::string& path, const std::shared_ptr<CacheFile>& cache, TransferInfo& info,
                       const CancelToken* cancel, Timestamp mtime, uint64_t& sentSize,
                       std::optional<RemoteAttr>& seen);
  Status uploadWhole(const std::string& path, const std::shared_ptr<CacheFile>& cache, TransferInfo& info,
                     const CancelToken* cancel, Timestamp mtime, uint64_t& sentSize);
  // A piece of an upload, with the server's bytes of the blocks the cache
  // has no room to keep brought through; false when the piece is not all
  // there (`st` says why, or is ok for a file cut meanwhile).
  bool readPieceThrough(CacheFile& cache, uint64_t offset, uint8_t* buffer, uint64_t length,
                        const CancelToken* cancel, Status& st);
  // Also for each failed attempt: a server out of reach shows in the status
  // while the upload tries again (for ever, by default), not only once it
  // gave up.
  void recordUploadError(const std::string& path, const Status& st);
  // The server's size must be localSize; attr (may be null) gets what the
  // server reported.
  Status verifyUpload(const std::string& path, const std::shared_ptr<CacheFile>& cache, uint64_t localSize,
                      const CancelToken* cancel, RemoteAttr* attr);
  // The upload must not go on: the object was removed, or its path is being
  // deleted or its upload was asked to stop.
  bool uploadMustEnd(const std::string& path, CacheFile& cache);
  // After content reached the server: true when the file was deleted
  // meanwhile, in which case what the upload left there is undone.
  bool undoUploadOfDeleted(const std::string& path, CacheFile& cache, const CancelToken* cancel);
  // The upload of path found its folder missing on the server: makes it and
  // its missing parents again; false when the folder is there or cannot be made.
  bool remakeMissingFolders(const std::string& path, const CancelToken* cancel);
  // Job end: the queue entry's next state after an attempt.
  void finishUpload(const std::string& path, const Status& st, const std::shared_ptr<CacheFile>& cache);

  const MountConfig config_;
  const std::string cacheRoot_;
  BackendFactory backendFactory_;
  const VolumeTimings timings_;
  Env* const env_;
  std::atomic<std::shared_ptr<const BackendCaps>> caps_;
  std::atomic<bool> capsFromServer_{false};  // this start has seen a connect
  std::string cacheDir_;  // set by start, before any caller can enter

  // Made by start, destroyed by stop (after the callers are gone).
  std::unique_ptr<ConnectionPool> pool_;
  std::unique_ptr<MetaCache> meta_;
  std::unique_ptr<DataCache> cache_;
  std::unique_ptr<CacheRoom> room_;  // of cache_'s disk
  std::unique_ptr<Journal> journal_;
  std::unique_ptr<WorkerPool> prefetchPool_;
  std::unique_ptr<WorkerPool> uploadPool_;
  std::unique_ptr<WorkerPool> reaperPool_;
  std::unique_ptr<WorkerPool> replayPool_;  // one thread
  std::atomic<bool> replayPosted_{false};   // a replay task is queued or running
  std::mutex commitMu_;
  std::vector<std::shared_ptr<CacheFile>> commitDue_;  // guarded by commitMu_
  bool commitPosted_ = false;                          // guarded by commitMu_
  RateLimiter limiter_;

  RenameFence fence_{config_.id};  // locks itself
  static thread_local ActiveCall* currentCall_;  // the innermost live call of the thread
  std::atomic<bool> probing_{false};  // a look at the server is under way
  std::atomic<bool> lookSoon_{false};  // look at the next tick: the network changed
  bool silenceLogged_ = false;        // tick thread only
  uint64_t lastLookMs_ = 0;           // tick thread only

  std::atomic<bool> started_{false};
  std::atomic<bool> offline_{false};
  std::atomic<bool> stopping_{false};
  std::atomic<int> activeCalls_{0};
  // Replaced by start (before any caller enters), cancelled by stop.
  std::shared_ptr<CancelToken> cancel_;

  std::mutex uploadMu_;
  std::condition_variable uploadCv_;                  // an upload job ended
  std::map<std::string, UploadEntry> uploadQueue_;    // guarded by uploadMu_
  int64_t runningUploads_ = 0;                        // guarded by uploadMu_; jobs on the pool
  // Multisets: two operations on one path at once each hold it.
  std::multiset<std::string> deleting_;               // guarded by uploadMu_
  std::multiset<std::string> renaming_;               // guarded by uploadMu_

  // One memo of the space figures per volume.
  std::mutex statfsMu_;
  FsStats statfsMemo_;       // guarded by statfsMu_
  uint64_t statfsMemoMs_ = 0;  // guarded by statfsMu_; when the memo was taken

  // Handles written since their last close; a handle gone without a close
  // (a dropped mount) expires here.
  std::mutex openChangedMu_;
  std::map<const OpenFile*, std::weak_ptr<OpenFile>> openChanged_;  // guarded by openChangedMu_

  std::mutex transfersMu_;
  std::vector<TransferInfo> transfers_;  // guarded by transfersMu_
  uint64_t nextTransferId_ = 0;          // guarded by transfersMu_

  std::atomic<uint64_t> bytesDown_{0};
  std::atomic<uint64_t> bytesUp_{0};

  std::mutex lastErrorMu_;
  std::string lastError_;     // guarded by lastErrorMu_
  uint64_t lastErrorMs_ = 0;  // guarded by lastErrorMu_
  RequestKind lastErrorKind_ = RequestKind::kOther;  // guarded by lastErrorMu_
  // The failure made the server unusable; it goes once the pool's count of
  // returns has passed lastErrorReturns_.
  int32_t lastErrorCode_ = 0;        // guarded by lastErrorMu_
  bool lastErrorUnusable_ = false;   // guarded by lastErrorMu_
  uint64_t lastErrorReturns_ = 0;    // guarded by lastErrorMu_

  std::atomic<bool> rangeIgnored_{false};
  vx::log::LineLimiter refusalLog_;  // locks itself
  // Any user of the drive makes lines about single files at will (an
  // upload each): per kind, a few a minute and a count of the rest, so that
  // no amount of traffic rotates the service's other records away.
  vx::log::LineLimiter fileLog_;  // locks itself
  // A refusal at the reserve of the cache's disk is in the status, and
  // what it refused, which the tick looks for room for.
  std::atomic<bool> roomShort_{false};
  std::atomic<uint64_t> refusedBytes_{0};
  std::atomic<uint64_t> refusedObjects_{0};
  uint64_t lastRoomLookMs_ = 0;  // tick thread only

  std::mutex streamsMu_;
  std::map<std::string, std::shared_ptr<SeqStream>> streams_;  // guarded by streamsMu_

  std::thread tickThread_;
  std::mutex tickMu_;
  std::condition_variable tickCv_;
  bool wake_ = false;  // guarded by tickMu_

  uint64_t lastKeepaliveMs_ = 0;    // tick thread only
  uint64_t lastMaintenanceMs_ = 0;  // tick thread only
};

// One sequential download of one remote file, used when the server ignores
// ranged reads. Shared by the streams table and the read using it.
struct Volume::SeqStream {
  std::mutex mu;  // one read at a time uses the stream
  // The connection the stream runs on, held while the stream lives, so the
  // volume drops every stream before it destroys its pool.
  ConnectionPool::Lease lease;           // guarded by mu
  std::unique_ptr<IReadStream> stream;   // guarded by mu; closed before the lease goes
  uint64_t position = 0;                 // guarded by mu; file offset of the next byte
  // The cached object and its epoch when the stream was opened: bytes of an
  // older server copy must not be stored over a newer one.
  const CacheFile* file = nullptr;       // guarded by mu; identity only
  uint64_t epoch = 0;                    // guarded by mu
  Timestamp openedAt;                    // guarded by mu; wall clock, when the stream was opened
  std::vector<uint8_t> buffer;           // guarded by mu; one block
  std::atomic<uint64_t> lastUseMs{0};
};

}  // namespace tarn
