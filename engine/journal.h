// The journal of one drive: the namespace changes (create, mkdir, unlink,
// rmdir, rename) made while the drive is in offline mode, in the order they
// were made, the renames made online whose local side (cache objects,
// upload queue) must follow the server's even across a crash, deletions
// that wait for uploads, and what a create that timed out may have left. Replayed
// against the server once the drive is online again. Owned by its volume
// (std::unique_ptr), made and loaded by start; any thread may call it.
//
// On disk it is two files in the drive's cache folder: the document
// ("journal.json", the records as of its last writing) and, beside it, a log
// ("journal.log") of the changes made since, one line each, appended and
// synced before the call that made the change returns, so that a change
// costs one small write however many records wait. The log is folded into
// the document (written whole through the Env's atomic and durable
// replacement, then the log started afresh) at load, at the end of a
// replay, and whenever the log outgrows the document. Both carry a
// generation, advanced by every fold: a log of an older generation than the
// document is already in it, so a crash between the two steps of a fold,
// or a log that could not be started afresh, applies nothing twice. A line
// cut short by a crash was never acknowledged and is dropped; while the log
// may end in such a piece, every change is folded instead of appended.
// Lines of one journal are written one at a time, in the order of the
// changes.
//
// Replays run one at a time (the one the tick starts on a thread of its own
// and those that namespace operations start before their own server call),
// so a record is never sent twice; a replay takes its turn before its
// connection, so one waiting for another holds none. A replay sends nothing
// while the files lag behind the records (a change they failed to take),
// since a record sent but still on disk would be sent again after a
// restart. A file that exists but does not load is set aside, never
// written over.
//
// Lock order: replayMu_, then saveMu_, then mu_; mu_ is never held across a
// server call or a file operation.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/backend.h"
#include "foundation/env.h"
#include "foundation/status.h"

namespace tarn {

enum JournalOpKind : uint32_t {
  kJournalCreate = 0,
  kJournalMkdir = 1,
  kJournalUnlink = 2,
  kJournalRmdir = 3,
  kJournalRename = 4,
  // Online: a create the server did not answer in time, which it may still
  // carry out once it wakes. The empty file it leaves goes (the program was
  // told that nothing was made); a file with content stays.
  kJournalUndoCreate = 5,
};

// One record of the journal.
struct JournalOp {
  uint32_t kind = kJournalCreate;
  std::string path;  // the source of a rename
  std::string to;    // the destination of a rename; empty otherwise
  int64_t at = 0;    // seconds since 1970 (UTC)
  // A rename whose cache objects and uploads may still be under the source
  // ("moving" in the file): a start moves them before anything else.
  bool moving = false;
  // Recorded just before it was sent online ("online"): the server may have
  // it already, so a missing source means it is done.
  bool online = false;
  // A rename whose content reaches the destination by a whole upload
  // ("byUpload"; see Volume::rename): the server's step is removing the
  // source, whose copy is not that content, and the destination keeps its
  // copy until the upload replaces it.
  bool byUpload = false;
  // A deletion that takes the server's last whole copy of a file while the
  // files closed before it beside it are still on their way up ("after"):
  // it is sent once their uploads are done, so that the server never holds
  // less than the disk did.
  std::vector<std::string> after;
  // In memory only: the number the journal gave the record, and whether the
  // operation that made it is still sending it (a replay stops before it).
  uint64_t id = 0;
  bool held = false;
};

// A record the server refused for good during a replay.
struct JournalFailure {
  uint32_t kind = kJournalCreate;
  std::string path;
  std::string to;
  int64_t at = 0;
  Status status;
};

// Keeps a file made offline whose name the server gave a file with content
// meanwhile (another client made it): makes it on the server under a free
// name beside the server's file, moves the drive's side there, and gives
// that name in `keptAs`.
using KeepOfflineFile = std::function<Status(IBackend& backend, const std::string& path, std::string& keptAs)>;

// The name of a kind as the file and the messages write it ("?" if unknown).
const char* JournalOpKindName(uint32_t kind);
// Exact, case-sensitive; false for any other text.
bool ParseJournalOpKind(std::string_view name, uint32_t& kind);

// A journal file (the document or the log) larger than this is not read (it
// would take years of offline changes to grow so far).
inline constexpr uint64_t kMaxJournalBytes = 64ull << 20;
// A journal file that does not load is kept under its name and this suffix
// (and the time it was set aside).
inline constexpr std::string_view kUnreadJournalSuffix = ".unread-";
// The log is folded into the document once it is larger than this and
// than the document, so that the folds of N changes cost O(N) in all.
inline constexpr uint64_t kJournalFoldBytes = 1ull << 20;

// The log beside a document: its name with ".json" replaced by ".log".
std::string JournalLogPath(const std::string& documentPath);

class Journal {
 public:
  // Whether the uploads of these paths are done (none waits or runs); the
  // owner's answer, asked without the journal's locks held.
  using UploadsDone = std::function<bool(const std::vector<std::string>&)>;

  // A null env is Env::Default(); the env must outlive the journal.
  // `foldBytes`: the log size from which it is folded (tests use less).
  explicit Journal(std::string filePath, Env* env = nullptr, uint64_t foldBytes = kJournalFoldBytes);
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // Reads the document and the log into the records, and folds the log;
  // false (records untouched) when there is neither, or nothing could be
  // read. Records of unknown kind are skipped. A file that is there but does
  // not load is set aside (and the problem reported) so that no later write
  // can destroy its records.
  bool load();
  // Brings the files up to the records when a change failed to reach them;
  // false when they could not be written (the records stay in memory, the
  // problem is reported, and the next change or replay tries again).
  bool save();
  // Adds a record (stamped now when its time is 0) and records it on disk.
  // When that fails the record is taken back and the failure returned.
  // `id` (may be null) receives the record's number.
  Status append(JournalOp op, uint64_t* id = nullptr);
  // Removes a record an operation made and has finished with.
  bool drop(uint64_t id);
  // The local side of a rename is done: clears its "moving" mark.
  bool markMoved(uint64_t id);
  // Renames whose local side may not be done, in order.
  std::vector<JournalOp> pendingMoves();
  // Moves the paths of every record at or below `from` to below `to`: for a
  // folder renamed on the server while records still wait for replay. A
  // record still held by its operation keeps its paths.
  void rebase(const std::string& from, const std::string& to);
  // Sends the records in order on `backend`, dropping each that succeeded or
  // failed for good (added to `failed` when given). A network failure or
  // time-out stops the replay with that status and keeps the record first;
  // so does a record still held by its operation (with ok). A replay whose
  // progress cannot be written stops with an io failure. `sent` (may be
  // null) receives the paths and destinations of the records sent. A create
  // whose name the server holds counts as done when what is there is an
  // empty file; with `keep`, anything else is kept and the offline file goes
  // beside it, the records after it following it there.
  Status replay(IBackend& backend, std::vector<JournalFailure>* failed, std::vector<std::string>* sent = nullptr,
                const KeepOfflineFile* keep = nullptr);
  // Waits for the replay under way, if any, and holds the turn of the next
  // until the lock is let go; replay(turn, ...) then sends in that turn.
  [[nodiscard]] std::unique_lock<std::mutex> replayTurn();
  Status replay(const std::unique_lock<std::mutex>& turn, IBackend& backend, std::vector<JournalFailure>* failed,
                std::vector<std::string>* sent = nullptr, const KeepOfflineFile* keep = nullptr);

  // A record with "after" paths waits at the head of the replay until
  // `done` says their uploads are done (none set: it does not wait).
  void setUploadsDone(UploadsDone done);
  // The next record may go now (or the files lag and a replay saves them).
  bool sendable();
  // The paths the first record with "after" paths waits for; empty if none.
  std::vector<std::string> awaited();
  // A record names the path, a folder above it or a name below it, or
  // waits for the upload of one of those.
  bool touches(const std::string& path);
  // The last record that names the path takes it away (a deletion, or a
  // rename from it): the server may still show it until the replay.
  bool deletes(const std::string& path);

  bool isEmpty();
  // Records wait, or the file still lists some a replay sent.
  bool needsReplay();
  uint64_t count();
  // Every path and destination the records name.
  std::vector<std::string> touchedPaths();
  // A record names the path or a folder above it: what is at the path must
  // wait for the replay. Costs the path's depth, however many records wait.
  bool holds(std::string_view path);
  // Why the journal cannot be trusted to survive a restart (a file set
  // aside, a save that failed); empty when all is well.
  std::string problem();

  const std::string& filePath() const { return filePath_; }

 private:
  // Records `text` as the problem; logged once until it clears.
  void reportProblem(const std::string& text);
  // Removes the record of `id`; true when there was one. mu_ held.
  bool eraseLocked(uint64_t id);
  // The record may be sent: it waits for no upload.
  bool due(const JournalOp& op);
  // Counts (or uncounts) the names of a record in named_. mu_ held.
  void nameLocked(const JournalOp& op, int delta);
  // A file that does not load: moved aside, or kept where it is for good.
  void setAside(const std::string& file, const std::string& why);
  // Writes one change's line to the log, or folds when the files lag behind
  // the records; false (the problem reported) when neither reached the
  // disk. saveMu_ held.
  bool writeChangeLocked(const std::string& line);
  // Writes the records as the document of the next generation and starts
  // the log afresh; true once the document is on disk (a log that could not
  // be started afresh leaves the journal behind). saveMu_ held.
  bool foldLocked();
  // Opens the log for appending; an empty or new one gets the line of the
  // document's generation first. saveMu_ held.
  Status openLogLocked();

  const std::string filePath_;
  const std::string logPath_;
  Env* const env_;
  const uint64_t foldBytes_;
  std::mutex replayMu_;  // one replay at a time
  std::mutex saveMu_;    // one writer of the files at a time
  std::unique_ptr<EnvFile> log_;  // guarded by saveMu_; open once the first line is due
  uint64_t logBytes_ = 0;         // guarded by saveMu_; where the next line goes
  uint64_t docBytes_ = 0;         // guarded by saveMu_; size of the last document written
  uint64_t generation_ = 0;       // guarded by saveMu_; the document's

  std::mutex mu_;
  std::deque<JournalOp> ops_;   // guarded by mu_
  // How many times the records name each path and destination, so that a
  // tick's look at every waiting upload does not scan every record.
  std::unordered_map<std::string, uint64_t> named_;  // guarded by mu_
  uint64_t nextId_ = 0;         // guarded by mu_
  // The files lack a change the records have (its line failed), or end in
  // a line cut short: the next write folds rather than appends. Changed
  // with saveMu_ held too.
  bool behind_ = false;         // guarded by mu_
  UploadsDone uploadsDone_;     // guarded by mu_
  bool keepFile_ = false;       // guarded by mu_; a file that did not load stays where it is
  std::string setAside_;        // guarded by mu_; why a file did not load
  std::string saveProblem_;     // guarded by mu_; why the last write failed
};

}  // namespace tarn
