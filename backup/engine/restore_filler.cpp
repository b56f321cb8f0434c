#include "backup/engine/restore_filler.h"

#include <utility>

namespace tarn::backup {

bool EndsRestore(const Status& st) {
  return st.code == Status::kNetwork || st.code == Status::kTimeout || st.code == Status::kCanceled ||
         st.code == Status::kAuthFailed;
}

FileFiller::FileFiller(Repo& repo, Progress& progress, const CancelToken* cancel, size_t workers)
    : repo_(repo), progress_(progress), cancel_(cancel) {
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
  // unknown blob costs no reads at all.
  std::vector<std::pair<BlobLocation, PackInfo>> places(raw->content.size());
  Status missing;
  for (size_t i = 0; i < raw->content.size() && missing.ok(); ++i)
    missing = repo_.locateBlob(raw->content[i], places[i].first, places[i].second);

  std::lock_guard<std::mutex> lock(mu_);
  jobs_[raw] = std::move(job);
  if (!missing.ok() || raw->content.empty()) {
    if (!missing.ok()) failLocked(raw, missing.toString(), 0);
    doneLocked(raw, 0);
    return;
  }
  raw->remaining = raw->content.size();
  uint64_t offset = 0;
  for (size_t i = 0; i < raw->content.size(); ++i) {
    planLocked(raw, raw->content[i], places[i].first, places[i].second, offset);
    offset += places[i].first.rawLength;
  }
  raw->content = std::vector<BlobId>();
  if (gathering_ != nullptr && queue_.empty() && gathering_->end - gathering_->start >= kEagerRangeBytes)
    queueGatheredLocked();
}

void FileFiller::planLocked(FillJob* job, const BlobId& id, const BlobLocation& loc, const PackInfo& pack,
                            uint64_t offset) {
  if (gathering_ != nullptr) {
    Range& g = *gathering_;
    auto known = g.positions.find(id);
    if (known != g.positions.end()) {
      g.blobs[known->second].targets.push_back(Target{job, offset});
      return;
    }
    const uint64_t end = uint64_t(loc.offset) + loc.storedLength;
    bool joins = g.packIndex == loc.pack && loc.offset >= g.end && loc.offset - g.end <= kMaxRangeGap &&
                 end - g.start <= kMaxRangeBytes;
    if (!joins) queueGatheredLocked();
  }
  if (gathering_ == nullptr) {
    gathering_ = std::make_unique<Range>();
    gathering_->pack = pack;
    gathering_->packIndex = loc.pack;
    gathering_->start = loc.offset;
  }
  Range& g = *gathering_;
  g.positions[id] = g.blobs.size();
  g.blobs.push_back(RangeBlob{id, loc, {Target{job, offset}}});
  g.end = uint64_t(loc.offset) + loc.storedLength;
}

void FileFiller::queueGatheredLocked() {
  if (gathering_ == nullptr) return;
  gathering_->positions.clear();
  queue_.push_back(std::move(*gathering_));
  gathering_.reset();
  work_.notify_one();
}

void FileFiller::doneLocked(FillJob* job, size_t writes) {
  job->remaining -= writes;
  if (job->remaining != 0) return;
  auto it = jobs_.find(job);
  done_.push_back(std::move(it->second));
  jobs_.erase(it);
  finished_.notify_all();
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

std::vector<std::unique_ptr<FillJob>> FileFiller::takeFinished(bool wait) {
  std::unique_lock<std::mutex> lock(mu_);
  if (wait && done_.empty() && !jobs_.empty()) {
    queueGatheredLocked();
    finished_.wait(lock, [&] { return !done_.empty(); });
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
      if (IsCancelled(cancel_)) noteFailureLocked(Status(Status::kCanceled, ""));
      read = failure_.ok();
      if (read) {
        // A range whose every file has failed already is not worth reading.
        read = false;
        for (const RangeBlob& b : range.blobs)
          for (const Target& t : b.targets) read = read || !t.job->failed;
      }
    }
    if (read)
      fill(range);
    else
      drop(range, std::string());
  }
}

void FileFiller::fill(Range& range) {
  std::vector<uint8_t> bytes;
  Status st = repo_.readPackRange(range.pack, range.start, range.end - range.start, bytes);
  if (!st.ok()) {
    if (EndsRestore(st)) {
      std::lock_guard<std::mutex> lock(mu_);
      noteFailureLocked(st);
    }
    drop(range, EndsRestore(st) ? std::string() : st.toString());
    return;
  }
  // A read can take long: a run cancelled meanwhile writes nothing more.
  if (IsCancelled(cancel_)) {
    {
      std::lock_guard<std::mutex> lock(mu_);
      noteFailureLocked(Status(Status::kCanceled, ""));
    }
    drop(range, std::string());
    return;
  }
  std::vector<uint8_t> plain;
  for (RangeBlob& blob : range.blobs) {
    Status opened = repo_.openBlob(blob.id, blob.loc, bytes.data() + (blob.loc.offset - range.start), plain);
    for (const Target& t : blob.targets) {
      bool skip = false;
      {
        std::lock_guard<std::mutex> lock(mu_);
        if (!opened.ok()) failLocked(t.job, opened.toString(), 0);
        skip = t.job->failed;
        if (skip) {
          doneLocked(t.job, 1);
          continue;
        }
      }
      // Outside the lock: other workers write other parts of the same file.
      Status written = t.job->file.writeAt(t.offset, plain.data(), plain.size());
      std::lock_guard<std::mutex> lock(mu_);
      if (written.ok())
        progress_.bytes.fetch_add(plain.size(), std::memory_order_relaxed);
      else
        failLocked(t.job, "write failed", written.native);
      doneLocked(t.job, 1);
    }
  }
}

void FileFiller::drop(Range& range, const std::string& problem) {
  std::lock_guard<std::mutex> lock(mu_);
  for (const RangeBlob& blob : range.blobs) {
    for (const Target& t : blob.targets) {
      if (!problem.empty())
        failLocked(t.job, problem, 0);
      else
        t.job->failed = true;
      doneLocked(t.job, 1);
    }
  }
}

}  // namespace tarn::backup
