// Fills the files of a restore with their content. The restore's task thread
// creates each file and hands it over (add); the filler looks up where its
// blobs lie and gathers them into reads of one pack range each, merging
// neighbouring blobs, also of different files, and blobs that several files
// share. Worker threads read those ranges, several at once, open each blob
// and write it at its offset into every file that needs it, as it arrives.
// Files whose every blob is written, or that failed, come back to the task
// thread (takeFinished), which sets their times and moves them into place.
//
// Memory stays bounded: a worker holds one range (kMaxRangeBytes, or one
// larger blob) and the blob it opens; the task thread keeps at most
// kMaxFilesInFlight files open. Workers read the repository and write to
// descriptors the task thread opened: they never touch a destination path,
// so they keep the service's own rights.
//
// Threads: add, takeFinished, inFlight and failure belong to the task
// thread; the workers are the filler's own, joined by its destructor. Lock:
// mu_ guards the queue of ranges, the range being gathered, the jobs and
// their outcome fields, the finished list and the first failure.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "backup/engine/progress.h"
#include "backup/repo/repo.h"
#include "foundation/cancel_token.h"
#include "foundation/status.h"
#include "platform/local_write.h"

namespace tarn::backup {

// Files open for filling at once; the task thread waits for one to finish
// before it creates the next.
constexpr size_t kMaxFilesInFlight = 256;
// The longest pack range one read asks for; a larger blob is read alone.
constexpr uint64_t kMaxRangeBytes = 4u * 1024 * 1024;
// Unneeded bytes between two blobs of one pack that a read takes in rather
// than asking twice.
constexpr uint64_t kMaxRangeGap = 256u * 1024;
// A range is handed to the workers before it is full once it holds this much
// and no other range waits, so that workers do not sit idle.
constexpr uint64_t kEagerRangeBytes = 512u * 1024;

// Read failures that end a whole restore rather than one file: the storage
// cannot be reached or refuses us, or the run was cancelled.
bool EndsRestore(const Status& st);

// One file being filled.
struct FillJob {
  std::shared_ptr<const localfs::WriteFolder> folder;  // where it goes
  std::string name;      // its final name in the folder
  std::string tempName;  // the name it is written under
  std::string path;      // the plain path, for messages
  uint64_t mtime = 0;    // FILETIME units
  uint32_t attributes = 0;
  std::vector<BlobId> content;
  localfs::WriteFile file;

  // Outcome, guarded by the filler's mu_ until the job comes back.
  size_t remaining = 0;  // blob writes not yet done or dropped
  bool failed = false;
  std::string problem;  // the first failure's text; empty when the run's failure dropped it
  int error = 0;        // errno of a failed write
};

class FileFiller {
 public:
  // Borrows everything; they must outlive the filler. `workers` threads are
  // started at once.
  FileFiller(Repo& repo, Progress& progress, const CancelToken* cancel, size_t workers);
  // Stops and joins the workers. Files still held are closed, not finished:
  // owners drain first.
  ~FileFiller();
  FileFiller(const FileFiller&) = delete;
  FileFiller& operator=(const FileFiller&) = delete;

  // Takes the file over. A blob the index does not know fails the file at
  // once, and a file without blobs is finished at once.
  void add(std::unique_ptr<FillJob> job);
  // The files done since the last call. With wait set and files in flight,
  // first hands over the range being gathered and waits for at least one.
  std::vector<std::unique_ptr<FillJob>> takeFinished(bool wait);
  // Files added and not yet taken back.
  size_t inFlight() const;
  // The first storage failure (network, time-out, authentication) or
  // cancellation a worker met; once set, no more ranges are read and every
  // file still waiting comes back failed without a problem text.
  Status failure() const;

 private:
  struct Target {
    FillJob* job;
    uint64_t offset;  // in the file
  };
  struct RangeBlob {
    BlobId id;
    BlobLocation loc;
    std::vector<Target> targets;
  };
  // A run of blobs of one pack read with one request.
  struct Range {
    PackInfo pack;
    uint32_t packIndex = 0;
    uint64_t start = 0;
    uint64_t end = 0;
    std::vector<RangeBlob> blobs;
    std::unordered_map<BlobId, size_t, BlobIdHash> positions;  // blob id -> index in blobs
  };

  // Callers hold mu_.
  void planLocked(FillJob* job, const BlobId& id, const BlobLocation& loc, const PackInfo& pack, uint64_t offset);
  void queueGatheredLocked();
  void doneLocked(FillJob* job, size_t writes);
  void failLocked(FillJob* job, const std::string& problem, int error);
  void noteFailureLocked(const Status& st);

  void worker();
  void fill(Range& range);
  // Drops a range unread: its files fail (with `problem`, or none).
  void drop(Range& range, const std::string& problem);

  Repo& repo_;
  Progress& progress_;
  const CancelToken* cancel_;

  mutable std::mutex mu_;
  std::condition_variable work_;      // a range is queued, or the filler stops
  std::condition_variable finished_;  // a job is done
  std::deque<Range> queue_;           // guarded by mu_
  std::unique_ptr<Range> gathering_;  // guarded by mu_; the range still growing
  std::unordered_map<FillJob*, std::unique_ptr<FillJob>> jobs_;  // guarded by mu_
  std::vector<std::unique_ptr<FillJob>> done_;                    // guarded by mu_
  Status failure_;                    // guarded by mu_
  bool stopping_ = false;             // guarded by mu_
  std::vector<std::thread> workers_;  // started by the constructor, joined by the destructor
};

}  // namespace tarn::backup
