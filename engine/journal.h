// The journal of one drive: the namespace changes (create, mkdir, unlink,
// rmdir, rename) made while the drive is in offline mode, in the order they
// were made, and the renames made online whose local side (cache objects,
// upload queue) must follow the server's even across a crash. Kept in
// "journal.json" in the drive's cache folder and replayed against the server
// once the drive is online again. Owned by its volume (std::unique_ptr),
// made and loaded by start; any thread may call it.
//
// The file is rewritten whole after every change, through the Env's atomic
// and durable replacement, so a crash leaves the old or the new list. Saves
// run one at a time and each writes the newest records, so a save that lost
// the race never puts an older list over a newer one. Replays also run one
// at a time (the tick's and those that namespace operations start before
// their own server call), so a record is never sent twice; a replay sends
// nothing while the file lags behind the records, since a record sent but
// still in the file would be sent again after a restart. A file that exists
// but does not load is set aside, never written over.
//
// Lock order: replayMu_, then saveMu_, then mu_; mu_ is never held across a
// server call or a file operation.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
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

// The name of a kind as the file and the messages write it ("?" if unknown).
const char* JournalOpKindName(uint32_t kind);
// Exact, case-sensitive; false for any other text.
bool ParseJournalOpKind(std::string_view name, uint32_t& kind);

// A journal file larger than this is not read (it would take years of
// offline changes to grow so far).
inline constexpr uint64_t kMaxJournalBytes = 64ull << 20;
// A journal file that does not load is kept under its name and this suffix
// (and the time it was set aside).
inline constexpr std::string_view kUnreadJournalSuffix = ".unread-";

class Journal {
 public:
  // A null env is Env::Default(); the env must outlive the journal.
  explicit Journal(std::string filePath, Env* env = nullptr);
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // Reads the file into the records; false (records untouched) when there is
  // none or it cannot be read or is not JSON. Records of unknown kind are
  // skipped. A file that is there but does not load is set aside (and the
  // problem reported) so that the next save cannot destroy its records.
  bool load();
  // Writes the records; false when the file could not be written (the
  // records stay in memory, the problem is reported, and the next change
  // or replay writes them again).
  bool save();
  // Adds a record (stamped now when its time is 0) and saves. When the save
  // fails the record is taken back and the failure returned. `id` (may be
  // null) receives the record's number.
  Status append(JournalOp op, uint64_t* id = nullptr);
  // Removes a record an operation made and has finished with, and saves.
  bool drop(uint64_t id);
  // The local side of a rename is done: clears its "moving" mark, and saves.
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
  // null) receives the paths and destinations of the records sent.
  Status replay(IBackend& backend, std::vector<JournalFailure>* failed, std::vector<std::string>* sent = nullptr);

  bool isEmpty();
  // Records wait, or the file still lists some a replay sent.
  bool needsReplay();
  uint64_t count();
  // Every path and destination the records name.
  std::vector<std::string> touchedPaths();
  // Why the journal cannot be trusted to survive a restart (a file set
  // aside, a save that failed); empty when all is well.
  std::string problem();

  const std::string& filePath() const { return filePath_; }

 private:
  // Records `text` as the problem; logged once until it clears.
  void reportProblem(const std::string& text);
  // Removes the record of `id`; true when there was one. mu_ held.
  bool eraseLocked(uint64_t id);

  const std::string filePath_;
  Env* const env_;
  std::mutex replayMu_;  // one replay at a time
  std::mutex saveMu_;    // one writer of the file at a time
  uint64_t savedVersion_ = 0;  // guarded by saveMu_; the version on disk

  std::mutex mu_;
  std::vector<JournalOp> ops_;  // guarded by mu_
  uint64_t version_ = 0;        // guarded by mu_; advanced by every change
  uint64_t diskVersion_ = 0;    // guarded by mu_; savedVersion_ as others may read it
  uint64_t nextId_ = 0;         // guarded by mu_
  bool keepFile_ = false;       // guarded by mu_; a file that did not load stays where it is
  std::string setAside_;        // guarded by mu_; why the file did not load
  std::string saveProblem_;     // guarded by mu_; why the last save failed
};

}  // namespace tarn
