// Fills the files of a restore with their content. The restore's task thread
// hands each file over (add) with the folder it goes into; the filler looks
// up where its blobs lie and gathers them per pack, blobs that several files
// share once; a pack's gathered blobs are handed to the workers, in order of
// their place in the pack, as reads of one range each that take in the
// blobs lying near one another, whichever files they belong to (a backup that
// reads several files at once interleaves their blobs in its packs). Worker threads read those ranges, several at once, with the
// service's rights; then each switches to the caller's rights, creates the
// temporaries of the files the range is the first to reach, writes every blob
// at its offset into every file that needs it, and moves each file that is
// complete into place. Files come back to the task thread (takeFinished) with
// their outcome, to be counted.
//
// Memory stays bounded: a worker holds one range (kMaxRangeBytes, or one
// larger blob), whose blobs it decrypts where they lie, and the one blob it
// decompresses; at most kMaxFilesInFlight files of several blobs and
// kMaxSmallFilesInFlight of one are in the filler, and a file is open only
// from its first write to its last.
//
// Threads: add, takeFinished, inFlight and failure belong to the task
// thread; the workers are the filler's own, joined by its destructor. Locks:
// mu_ guards the queue of ranges, the blobs being gathered, the jobs and
// their outcome fields, the finished list and the first failure; a job's
// createMu guards its creation and is never held with mu_; the rights'
// own lock is a leaf, taken under mu_ and never the other way round.
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
#include "backup/engine/restore_rights.h"
#include "backup/repo/repo.h"
#include "foundation/cancel_token.h"
#include "foundation/status.h"
#include "platform/local_write.h"

namespace tarn::backup {

// Files of more than one blob in the filler at once: each may hold its
// descriptor from its first range to its last. At this many the task thread
// waits until no more than kResumeFilesInFlight are left, so that it hands
// files over in batches that make long reads.
constexpr size_t kMaxFilesInFlight = 320;
constexpr size_t kResumeFilesInFlight = kMaxFilesInFlight / 2;
// A file of one blob is created, written and placed by one worker in one
// go, so it holds a descriptor only meanwhile; many of them may wait in the
// filler, so that small files too fill long reads. What bounds them is the
// descriptors of their folders, which every waiting file keeps open.
// Descriptors at once: kMaxFilesInFlight files, one per worker and
// kMaxFoldersInFlight folders, well inside the usual limit of 1024.
constexpr size_t kMaxSmallFilesInFlight = 4096;
constexpr size_t kMaxFoldersInFlight = 256;
// The longest pack range one read asks for; a larger blob is read alone.
constexpr uint64_t kMaxRangeBytes = 4u * 1024 * 1024;
// Unneeded bytes between two blobs of one pack that a read takes in rather
// than asking twice.
constexpr uint64_t kMaxRangeGap = 256u * 1024;
// A pack's gathered blobs are handed over once they come to this much, or
// when the workers run short of work while the task thread waits.
constexpr uint64_t kGatherBytes = 2 * kMaxRangeBytes;

// Read failures that end a whole restore rather than one file: the storage
// cannot be reached or refuses us, or the run was cancelled.
bool EndsRestore(const Status& st);

// One restored file on its way.
struct FillJob {
  std::shared_ptr<const localfs::WriteFolder> folder;  // where it goes
  std::string name;      // its final name in the folder
  std::string tempName;  // the name it is written under
  std::string path;      // the plain path, for messages
  uint64_t mtime = 0;    // FILETIME units
  uint32_t mode = 0;     // the permission bits it ends with
  bool setOwner = false;  // give it uid and gid
  uint32_t uid = 0;
  uint32_t gid = 0;
  bool nameFree = false;  // in a folder this restore made: nothing else has its name
  std::vector<BlobId> content;  // emptied once the filler has planned the file
  size_t blobs = 0;             // how many content had
  uint64_t size = 0;            // the length its blobs make, once planned

  std::mutex createMu;
  bool createTried = false;  // guarded by createMu
  bool created = false;      // guarded by createMu
  Status createStatus;       // guarded by createMu
  // Opened under createMu; then written at offsets by any worker.
  localfs::WriteFile file;

  // Outcome, guarded by the filler's mu_ until the job comes back.
  size_t remaining = 0;  // blob writes not yet done or dropped
  uint64_t written = 0;  // bytes counted as restored; taken back when the file fails
  bool failed = false;
  bool restored = false;  // in place under its name
  std::string problem;    // the failure's text; empty when the run's failure dropped it
  int error = 0;          // errno of the failing call
};

// Creates the file's temporary. With the caller's rights.
Status CreateTemporary(FillJob& job);
// Writes content at `offset` of a new file `fileSize` long, leaving out the
// stretches of zeros that fill whole blocks: a new file reads as zeros
// where nothing was written, and those blocks stay holes (a sparse disk
// image restored takes the space of its data). The stretch that holds the
// file's last byte is written all the same, so that the file has its length.
Status WriteLeavingHoles(const localfs::WriteFile& file, uint64_t offset, const uint8_t* data, size_t size,
                         uint64_t fileSize);
// Sets the owner, the bits and the time of a completely written file,
// closes it and moves it over its name; on failure removes the temporary
// and returns the problem's message with its errno. With the caller's
// rights.
Status PlaceFile(FillJob& job);

class FileFiller {
 public:
  // Borrows everything; they must outlive the filler. `workers` threads are
  // started at once.
  FileFiller(Repo& repo, RestoreRights& rights, Progress& progress, const CancelToken* cancel, size_t workers);
  // Stops and joins the workers. Files still held are closed, not finished:
  // owners drain first.
  ~FileFiller();
  FileFiller(const FileFiller&) = delete;
  FileFiller& operator=(const FileFiller&) = delete;

  // Takes over a file of at least one blob. A blob the index does not know
  // fails it at once, before anything is created.
  void add(std::unique_ptr<FillJob> job);
  // The files done since the last call. With wait set and files in flight,
  // first hands over the range being gathered and waits for at least one.
  std::vector<std::unique_ptr<FillJob>> takeFinished(bool wait);
  // Files added and not yet taken back.
  size_t inFlight() const;
  // The first storage failure (network, time-out, authentication),
  // cancellation or failed switch back a worker met; once set, no more
  // ranges are read and every file still waiting comes back failed without
  // a problem text.
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
    uint64_t start = 0;
    uint64_t end = 0;
    std::vector<RangeBlob> blobs;
  };
  // The blobs of one pack gathered so far.
  struct Gathered {
    PackInfo pack;
    uint64_t bytes = 0;
    std::vector<RangeBlob> blobs;
    std::unordered_map<BlobId, size_t, BlobIdHash> positions;  // blob id -> index in blobs
  };

  // Callers hold mu_.
  void planLocked(FillJob* job, const BlobId& id, const BlobLocation& loc, const PackInfo& pack, uint64_t offset);
  // Cuts a pack's gathered blobs into ranges and queues them.
  void queuePackLocked(uint32_t packIndex);
  // Queues a range and notes where its blobs wait.
  void pushRangeLocked(Range range);
  void queueAllLocked();
  void failLocked(FillJob* job, const std::string& problem, int error);
  void noteFailureLocked(const Status& st);
  void completeLocked(FillJob* job);

  // An opened blob's content; data null when it could not be opened.
  struct Plain {
    const uint8_t* data;
    size_t size;
  };

  void worker();
  // Writes the range's blobs into their files, opening each over its bytes;
  // `bytes` null drops them, failing their files with the problem `dropped`
  // (none when empty).
  void process(Range& range, uint8_t* bytes, const std::string& dropped);
  // One blob (or its failure, `problem`) into one file, finishing the file
  // when it was its last write. `touch` false: the destination may not be
  // touched, and `refused` says why.
  void writeTarget(const Target& t, const std::string& problem, const Plain& plain, bool touch,
                   const Status& refused);
  // Places a complete file, or removes the temporary of a failed one, and
  // hands it back.
  void finishJob(FillJob& job, bool touch);

  Repo& repo_;
  RestoreRights& rights_;
  Progress& progress_;
  const CancelToken* cancel_;

  mutable std::mutex mu_;
  std::condition_variable work_;      // a range is queued, or the filler stops
  std::condition_variable finished_;  // a job is done, or the workers run short of work
  std::deque<Range> queue_;                               // guarded by mu_
  // The blobs of the queued ranges, where they wait in queue_.
  std::unordered_map<BlobId, RangeBlob*, BlobIdHash> queued_;  // guarded by mu_
  std::unordered_map<uint32_t, Gathered> gathering_;       // guarded by mu_; by pack
  std::unordered_map<FillJob*, std::unique_ptr<FillJob>> jobs_;  // guarded by mu_
  std::vector<std::unique_ptr<FillJob>> done_;                    // guarded by mu_
  Status failure_;                    // guarded by mu_
  bool stopping_ = false;             // guarded by mu_
  std::vector<std::thread> workers_;  // started by the constructor, joined by the destructor
};

}  // namespace tarn::backup
