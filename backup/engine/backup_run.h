// One backup run: a snapshot of a job's sources in an open repository.
// RunBackup walks every source (folders with the folder walk, single files
// read in full), stores a root listing that names the sources, flushes the
// repository, commits the file-state cache and writes the snapshot record.
// Nothing of a run that fails is recorded: no snapshot, and state.bin as the
// run before left it; the blobs it stored are found again by the next run.
//
// RunBackup and its BackupRun run on the task's worker thread; the
// repository's seal and upload threads work beside it, and status readers
// read the shared Progress at any time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "backup/engine/blob_sink.h"
#include "backup/engine/file_state_cache.h"
#include "backup/engine/folder_walk.h"
#include "backup/engine/progress.h"
#include "backup/repo/folder_listing.h"
#include "backup/repo/repo.h"
#include "backup/repo/snapshot.h"
#include "foundation/cancel_token.h"
#include "foundation/status.h"

namespace tarn::backup {

struct BackupRunArgs {
  std::string jobId;    // becomes the snapshot's "job"
  std::string jobName;  // becomes the snapshot's "name"
  std::vector<std::string> sources;   // folders or files, in the job's order
  std::vector<std::string> excludes;  // patterns, as the folder walk matches them
  // The job's own folder, where state.bin and state.new lie; empty: the run
  // neither reads nor writes a file-state cache.
  std::string stateDir;
};

// The repository seen by the folder walk.
class RepoBlobSink : public BlobSink {
 public:
  explicit RepoBlobSink(Repo& repo) : repo_(repo) {}
  Status storeBlob(uint8_t type, const uint8_t* data, size_t size, BlobId& id) override {
    return repo_.storeBlob(type, data, size, id);
  }
  bool hasBlob(const BlobId& id) const override { return repo_.hasBlob(id); }

 private:
  Repo& repo_;
};

class BackupRun {
 public:
  // Everything is borrowed. Opens state.bin and prepares state.new when the
  // arguments name a state folder. A null progress is replaced by one of the
  // run's own.
  BackupRun(Repo& repo, const BackupRunArgs& args, Progress* progress, const CancelToken* cancel,
            std::vector<std::string>& problems);
  // Deletes a state.new that was not committed.
  ~BackupRun();
  BackupRun(const BackupRun&) = delete;
  BackupRun& operator=(const BackupRun&) = delete;

  // Walks every source, stores the root listing, flushes the repository and
  // commits the file-state cache; fills the snapshot's sources and tree.
  Status backupSources(SnapshotInfo& snapshot);

  // The name of a source's entry in the root listing: its last component,
  // followed by " (2)", " (3)"... while an entry of that name, compared
  // without regard to case, is already there.
  static std::string sourceEntryName(const std::string& path, const std::vector<ListingEntry>& rootEntries);

  // Set before backupSources; see FolderWalk::setReadHook.
  void setReadHook(FolderWalk::ReadHook hook) { walk_.setReadHook(std::move(hook)); }

  uint64_t files() const { return walk_.files(); }
  uint64_t dirs() const { return walk_.dirs(); }
  uint64_t bytes() const { return walk_.bytes(); }
  uint64_t errors() const { return progress_.errors.load(); }
  const WalkNotes& notes() const { return walk_.notes(); }

 private:
  Repo& repo_;
  const BackupRunArgs& args_;
  Progress ownProgress_;
  Progress& progress_;
  RepoBlobSink sink_;
  FileStateCache state_;
  FolderWalk walk_;
};

// Makes one snapshot. On success the record is written and `snapshot` holds
// it with its id; on failure nothing is written and the status says why.
// Problem texts of the walk go to `problems` (at most kMaxProblems kept),
// what it left out or stored in part on purpose to `notes` (when given).
// `readHook`: see FolderWalk::setReadHook.
Status RunBackup(Repo& repo, const BackupRunArgs& args, Progress* progress, const CancelToken* cancel,
                 SnapshotInfo& snapshot, std::vector<std::string>& problems, WalkNotes* notes = nullptr,
                 FolderWalk::ReadHook readHook = nullptr);

// Mount points a note names; the rest are counted.
constexpr size_t kMaxNotedMounts = 10;

// What a backup's note adds about the walk's notes, each part beginning
// with "; "; empty when there is nothing to tell.
std::string WalkNotesText(const WalkNotes& notes);

}  // namespace tarn::backup
