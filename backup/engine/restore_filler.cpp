#include "backup/engine/restore_filler.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "backup/engine/folder_walk.h"

namespace tarn::backup {

namespace {

// The owner's permission bits alone.
constexpr uint32_t kOwnerBits = 0700;
// The grain at which stretches of zeros are left unwritten: the block of
// the usual file systems.
constexpr uint64_t kHoleBlock = 4096;

bool AllZero(const uint8_t* data, size_t size) {
  return size == 0 || (data[0] == 0 && std::memcmp(data, data + 1, size - 1) == 0);
}

void SetModeAndOwner(const localfs::WriteFile& file, const FillJob& job) {
  uint32_t mode = job.mode;
  // Where the owner cannot be given (a file system that holds none, or
  // refuses it), the bits meant for that owner's group and the others do
  // not go to the caller's.
  if (job.setOwner && !file.setOwner(job.uid, job.gid).ok()) mode &= kOwnerBits;
  // A file system that keeps no bits leaves the file as it was made: owner
  // only.
  (void)file.setMode(mode);
}

}  // namespace

bool EndsRestore(const Status& st) {
  return st.code == Status::kNetwork || st.code == Status::kTimeout || st.code == Status::kCanceled ||
         st.code == Status::kAuthFailed;
}

Status CreateTemporary(FillJob& job) {
  std::lock_guard<std::mutex> lock(job.createMu);
  if (job.createTried) return job.createStatus;
  job.createTried = true;
  Status st = job.folder->createFile(job.tempName, job.file);
  job.created = st.ok();
  if (!st.ok()) job.createStatus = Status(st.code, "cannot create", st.native);
  return job.createStatus;
}

Status WriteLeavingHoles(const localfs::WriteFile& file, uint64_t offset, const uint8_t* data, size_t size,
                         uint64_t fileSize) {
  size_t pending = 0;  // the start of what is still to be written
  for (size_t done = 0; done < size;) {
    const uint64_t at = offset + done;
    const size_t piece = size_t(std::min<uint64_t>(size - done, kHoleBlock - at % kHoleBlock));
    if (at + piece < fileSize && AllZero(data + done, piece)) {
      if (done > pending) {
        Status st = file.writeAt(offset + pending, data + pending, done - pending);
        if (!st.ok()) return st;
      }
      pending = done + piece;
    }
    done += piece;
  }
  if (size == pending) return Status();
  return file.writeAt(offset + pending, data + pending, size - pending);
}

Status PlaceFile(FillJob& job) {
  SetModeAndOwner(job.file, job);
  Status s = job.file.setModified(job.mtime);
  bool named = false;
  if (s.ok()) {
    // Where nothing had the name, the complete file goes straight under it.
    if (job.nameFree) s = job.folder->nameFileAs(job.file, job.name, named);
    if (s.ok() && !named) s = job.folder->nameFile(job.file);
    if (!s.ok()) {
      (void)job.file.close();
      return Status(s.code, "cannot create", s.native);
    }
  }
  Status closed = job.file.close();
  if (s.ok()) s = closed;
  if (!s.ok()) {
    (void)job.folder->remove(named ? job.name : job.tempName);
    return Status(s.code, "write failed", s.native);
  }
  if (named) return Status();
  // The existing file's own mode is not touched: a rename replaces a
  // read-only file too, so a failed one leaves it exactly as it was.
  s = job.folder->rename(job.tempName, job.name);
  if (!s.ok()) {
    (void)job.folder->remove(job.tempName);
    return Status(s.code, "cannot replace the existing file", s.native);
  }
  return Status();
}

FileFiller::FileFiller(Repo& repo, RestoreRights& rights, Progress& progress, const CancelToken* cancel,
                       size_t workers)
    : repo_(repo), rights_(rights), progress_(progress), cancel_(cancel) {
  if (workers == 0) workers = 1;
  workers_.reserve(workers);
  for (size_t i = 0; i < workers; ++i) workers_.emplace_back([this] { worker(); });
}

FileFiller::~FileFiller() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    stopping_ = true;
  }
  work_.notify_all();
  for (std::thread& t : workers_) t.join();
}

void FileFiller::add(std::unique_ptr<FillJob> job) {
  FillJob* raw = job.get();
  // Every blob is looked up before any is planned, so that a file with an
  // unknown blob costs no reads and leaves no temporary.
  std::vector<std::pair<BlobLocation, PackInfo>> places(raw->content.size());
  Status missing;
  for (size_t i = 0; i < raw->content.size() && missing.ok(); ++i)
    missing = repo_.locateBlob(raw->content[i], places[i].first, places[i].second);

  std::lock_guard<std::mutex> lock(mu_);
  jobs_[raw] = std::move(job);
  if (!missing.ok()) {
    failLocked(raw, missing.toString(), 0);
    completeLocked(raw);
    return;
  }
  raw->remaining = raw->content.size();
  for (const auto& [loc, pack] : places) raw->size += loc.rawLength;
  uint64_t offset = 0;
  for (size_t i = 0; i < raw->content.size(); ++i) {
    planLocked(raw, raw->content[i], places[i].first, places[i].second, offset);
    offset += places[i].first.rawLength;
  }
  raw->content = std::vector<BlobId>();
}

void FileFiller::planLocked(FillJob* job, const BlobId& id, const BlobLocation& loc, const PackInfo& pack,
                            uint64_t offset) {
  // A blob that a file planned a little earlier shares (a copy, an image and
  // its next version) is read once for both while its range still waits.
  auto waiting = queued_.find(id);
  if (waiting != queued_.end()) {
    waiting->second->targets.push_back(Target{job, offset});
    return;
  }
  Gathered& g = gathering_[loc.pack];
  auto known = g.positions.find(id);
  if (known != g.positions.end()) {
    g.blobs[known->second].targets.push_back(Target{job, offset});
    return;
  }
  if (g.blobs.empty()) g.pack = pack;
  g.positions[id] = g.blobs.size();
  g.blobs.push_back(RangeBlob{id, loc, {Target{job, offset}}});
  g.bytes += loc.storedLength;
  if (g.bytes >= kGatherBytes) queuePackLocked(loc.pack);
}

void FileFiller::queuePackLocked(uint32_t packIndex) {
  auto it = gathering_.find(packIndex);
  if (it == gathering_.end()) return;
  Gathered g = std::move(it->second);
  gathering_.erase(it);
  std::sort(g.blobs.begin(), g.blobs.end(),
            [](const RangeBlob& a, const RangeBlob& b) { return a.loc.offset < b.loc.offset; });
  Range range;
  for (RangeBlob& blob : g.blobs) {
    const uint64_t start = blob.loc.offset;
    const uint64_t end = start + blob.loc.storedLength;
    if (!range.blobs.empty() && (start - range.end > kMaxRangeGap || end - range.start > kMaxRangeBytes)) {
      pushRangeLocked(std::move(range));
      range = Range();
    }
    if (range.blobs.empty()) {
      range.pack = g.pack;
      range.start = start;
    }
    range.end = end;
    range.blobs.push_back(std::move(blob));
  }
  if (!range.blobs.empty()) pushRangeLocked(std::move(range));
  work_.notify_all();
}

void FileFiller::pushRangeLocked(Range range) {
  queue_.push_back(std::move(range));
  // The deque keeps its elements in place, and a range's blobs stay where
  // they are until a worker takes it.
  for (RangeBlob& blob : queue_.back().blobs) queued_[blob.id] = &blob;
}

void FileFiller::queueAllLocked() {
  while (!gathering_.empty()) queuePackLocked(gathering_.begin()->first);
}

void FileFiller::failLocked(FillJob* job, const std::string& problem, int error) {
  if (job->failed) return;
  job->failed = true;
  job->problem = problem;
  job->error = error;
}

void FileFiller::noteFailureLocked(const Status& st) {
  if (failure_.ok()) failure_ = st;
}

void FileFiller::completeLocked(FillJob* job) {
  auto it = jobs_.find(job);
  done_.push_back(std::move(it->second));
  jobs_.erase(it);
  finished_.notify_all();
}

std::vector<std::unique_ptr<FillJob>> FileFiller::takeFinished(bool wait) {
  std::unique_lock<std::mutex> lock(mu_);
  // Waiting, the task thread adds nothing more for a while: what is still
  // being gathered is handed over as soon as the workers run short of work.
  auto starving = [&] { return queue_.size() < workers_.size() && !gathering_.empty(); };
  while (wait && done_.empty() && !jobs_.empty()) {
    if (starving()) queueAllLocked();
    finished_.wait(lock, [&] { return !done_.empty() || starving(); });
  }
  return std::exchange(done_, {});
}

size_t FileFiller::inFlight() const {
  std::lock_guard<std::mutex> lock(mu_);
  return jobs_.size() + done_.size();
}

Status FileFiller::failure() const {
  std::lock_guard<std::mutex> lock(mu_);
  return failure_;
}

void FileFiller::worker() {
  for (;;) {
    Range range;
    bool read = true;
    {
      std::unique_lock<std::mutex> lock(mu_);
      work_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      range = std::move(queue_.front());
      queue_.pop_front();
      for (const RangeBlob& b : range.blobs) queued_.erase(b.id);
      if (queue_.size() < workers_.size() && !gathering_.empty()) finished_.notify_all();
      if (IsCancelled(cancel_)) noteFailureLocked(Status(Status::kCanceled, ""));
      Status broken = rights_.broken();
      if (!broken.ok()) noteFailureLocked(broken);
      read = failure_.ok();
      if (read) {
        // A range whose every file has failed already is not worth reading.
        read = false;
        for (const RangeBlob& b : range.blobs)
          for (const Target& t : b.targets) read = read || !t.job->failed;
      }
    }
    if (!read) {
      process(range, nullptr, std::string());
      continue;
    }
    // Read with the service's rights: this thread has left the caller's.
    std::vector<uint8_t> bytes;
    Status st = repo_.readPackRange(range.pack, range.start, range.end - range.start, bytes);
    // A read can take long: a run cancelled meanwhile writes nothing more.
    if (st.ok() && IsCancelled(cancel_)) st = Status(Status::kCanceled, "");
    if (!st.ok() && EndsRestore(st)) {
      std::lock_guard<std::mutex> lock(mu_);
      noteFailureLocked(st);
    }
    if (st.ok())
      process(range, bytes.data(), std::string());
    else
      process(range, nullptr, EndsRestore(st) ? std::string() : st.toString());
  }
}

void FileFiller::process(Range& range, uint8_t* bytes, const std::string& dropped) {
  // One switch for the whole range: it may create, fill and place many files.
  const Status refused = rights_.enter();
  const bool touch = refused.ok();
  std::vector<uint8_t> scratch;
  for (RangeBlob& blob : range.blobs) {
    const uint8_t* plain = nullptr;
    std::string problem = dropped;
    if (bytes != nullptr) {
      // A pack's entries do not overlap, so each blob opens over its own
      // bytes; entries that a damaged index makes overlap fail to open.
      Status st = repo_.openBlobInPlace(blob.id, blob.loc, bytes + (blob.loc.offset - range.start), scratch, plain);
      if (!st.ok()) problem = st.toString();
    }
    const Plain content{plain, plain != nullptr ? size_t(blob.loc.rawLength) : 0};
    for (const Target& t : blob.targets) writeTarget(t, problem, content, touch, refused);
  }
  if (touch) {
    rights_.leave();
    Status broken = rights_.broken();
    if (!broken.ok()) {
      std::lock_guard<std::mutex> lock(mu_);
      noteFailureLocked(broken);
    }
  }
}

void FileFiller::writeTarget(const Target& t, const std::string& problem, const Plain& plain, bool touch,
                             const Status& refused) {
  FillJob* job = t.job;
  const bool opened = plain.data != nullptr;
  bool skip = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    // No problem text: the run's own failure says it all.
    if (!opened && problem.empty())
      job->failed = true;
    else if (!opened)
      failLocked(job, problem, 0);
    else if (!touch && !rights_.broken().ok())
      job->failed = true;
    else if (!touch)
      failLocked(job, refused.message, refused.native);
    skip = job->failed;
  }
  if (!skip) {
    Status st = CreateTemporary(*job);
    if (st.ok()) {
      st = WriteLeavingHoles(job->file, t.offset, plain.data, plain.size, job->size);
      if (!st.ok()) st = Status(st.code, "write failed", st.native);
    }
    std::lock_guard<std::mutex> lock(mu_);
    if (st.ok()) {
      job->written += plain.size;
      progress_.bytes.fetch_add(plain.size, std::memory_order_relaxed);
    } else {
      failLocked(job, st.message, st.native);
    }
  }
  bool last = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    last = --job->remaining == 0;
  }
  // The last write owns the job: nobody else touches it any more.
  if (last) finishJob(*job, touch);
}

void FileFiller::finishJob(FillJob& job, bool touch) {
  Status placed;
  if (!job.failed) {
    placed = PlaceFile(job);
  } else {
    (void)job.file.close();
    if (touch && job.created) (void)job.folder->remove(job.tempName);
  }
  std::lock_guard<std::mutex> lock(mu_);
  if (!job.failed && placed.ok())
    job.restored = true;
  else if (!placed.ok())
    failLocked(&job, placed.message, placed.native);
  // Bytes count as restored only in files that are in place: what a failed
  // file had written went with its temporary.
  if (!job.restored) progress_.bytes.fetch_sub(std::exchange(job.written, 0), std::memory_order_relaxed);
  completeLocked(&job);
}

}  // namespace tarn::backup
