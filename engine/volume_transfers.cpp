// Volume reports: the status record for the service and the transfer list
// that the read path and the uploader keep.
#include <algorithm>
#include <optional>

#include "engine/clock.h"
#include "engine/data_cache.h"
#include "engine/volume.h"

namespace tarn {
namespace {

bool Finished(const TransferInfo& t) { return t.state == "done" || t.state == "failed"; }

}  // namespace

void Volume::status(VolumeStatus& out) {
  out = VolumeStatus();
  out.offlineMode = offline_.load();
  // The pool's count of returns, when the volume runs.
  std::optional<uint64_t> returns;
  {
    ActiveCall call(this);
    if (call.ok()) {
      out.online = !out.offlineMode && pool_->usable();
      returns = pool_->returns();
      out.slots = static_cast<uint32_t>(pool_->size());
      out.cacheBytes = cache_->diskBytes();
      out.journalOps = journal_->count();
      out.journalProblem = journal_->problem();
    }
  }
  std::string failing;  // the first file refused for good, with the answer
  {
    std::lock_guard<std::mutex> lock(uploadMu_);
    out.pendingUploads = static_cast<uint32_t>(uploadQueue_.size());
    for (const auto& [path, entry] : uploadQueue_) {
      if (entry.sameFailures < kStuckUploadFailures) continue;
      if (out.failingUploads++ == 0) failing = "the upload of " + path + " keeps failing: " + entry.lastError;
    }
  }
  countOpenChanges(out);
  if (out.failingUploads > 1) failing += " (and " + std::to_string(out.failingUploads - 1) + " more files)";
  {
    std::lock_guard<std::mutex> lock(transfersMu_);
    out.activeTransfers = static_cast<uint32_t>(std::count_if(
        transfers_.begin(), transfers_.end(), [](const TransferInfo& t) { return t.state == "active" || t.state == "retry"; }));
  }
  out.bytesDown = bytesDown_.load();
  out.bytesUp = bytesUp_.load();
  // The server can be used: a failed connect is over.
  if (out.online) requestSucceeded(RequestKind::kConnect);
  std::lock_guard<std::mutex> lock(lastErrorMu_);
  // A failure that made the server unusable was the reason of a state that
  // ended once the server could be used again.
  if (returns && lastErrorMs_ != 0 && lastErrorUnusable_ && *returns != lastErrorReturns_) {
    lastError_.clear();
    lastErrorMs_ = 0;
    lastErrorUnusable_ = false;
  }
  if (!failing.empty()) {
    // A server that keeps refusing a file stays in view until it takes it:
    // it will not mend itself, and the changes live only in the cache.
    out.lastError = std::move(failing);
    out.lastErrorMs = lastErrorMs_;
  } else if (lastErrorMs_ != 0 && !(out.offlineMode && lastErrorUnusable_)) {
    // Offline mode asks nothing of the server: why it could not be used is
    // no reason of this state (the look after it tells anew).
    out.lastError = lastError_;
    out.lastErrorMs = lastErrorMs_;
  } else if (!out.journalProblem.empty()) {
    // A journal that may not survive a restart stays in view until it is mended.
    out.lastError = "journal: " + out.journalProblem;
  }
}

void Volume::countOpenChanges(VolumeStatus& out) {
  std::vector<std::shared_ptr<OpenFile>> open;
  {
    std::lock_guard<std::mutex> lock(openChangedMu_);
    for (const auto& [raw, weak] : openChanged_)
      if (std::shared_ptr<OpenFile> file = weak.lock()) open.push_back(std::move(file));
  }
  // Two handles of one file are one file; a flushed file the upload queue
  // holds is counted there.
  std::map<std::string, uint64_t> sizes;
  for (const std::shared_ptr<OpenFile>& file : open) {
    if (file->deleted.load() || !file->cache || file->cache->isRemoved() || !hasLocalChanges(*file->cache)) continue;
    {
      std::lock_guard<std::mutex> lock(file->mu);
      if (!file->modified) continue;
    }
    sizes[file->cache->path()] = file->cache->size();
  }
  {
    std::lock_guard<std::mutex> lock(uploadMu_);
    std::erase_if(sizes, [this](const auto& entry) { return uploadQueue_.count(entry.first) != 0; });
  }
  out.openChangedFiles = static_cast<uint32_t>(sizes.size());
  for (const auto& [path, size] : sizes) out.openChangedBytes += size;
}

std::vector<TransferInfo> Volume::transfers() {
  std::vector<TransferInfo> out;
  {
    std::lock_guard<std::mutex> lock(transfersMu_);
    out = transfers_;
  }
  const size_t firstWaiting = out.size();
  {
    std::lock_guard<std::mutex> lock(uploadMu_);
    for (const auto& [path, entry] : uploadQueue_) {
      if (entry.running) continue;
      TransferInfo t;
      t.path = path;
      t.upload = true;
      t.updatedMs = static_cast<uint64_t>(std::max<int64_t>(entry.due, 0));
      t.attempt = entry.attempts;
      t.state = entry.attempts != 0 ? "retry" : "waiting";
      t.error = entry.lastError;
      out.push_back(std::move(t));
    }
  }
  // A failed attempt whose file waits to be tried again is that waiting
  // line, which carries its failure.
  const auto waits = [&out, firstWaiting](const std::string& path) {
    return std::any_of(out.begin() + static_cast<std::ptrdiff_t>(firstWaiting), out.end(),
                       [&path](const TransferInfo& t) { return t.path == path; });
  };
  size_t kept = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    if (i < firstWaiting && out[i].upload && out[i].state == "failed" && waits(out[i].path)) continue;
    if (kept != i) out[kept] = std::move(out[i]);
    ++kept;
  }
  const size_t dropped = out.size() - kept;
  out.resize(kept);
  const size_t waitingFrom = firstWaiting - dropped;
  // A waiting upload's size is what it will send; the cache is not asked
  // under uploadMu_, which its own lock must never wait inside.
  ActiveCall call(this);
  if (!call.ok()) return out;
  for (size_t i = waitingFrom; i < out.size(); ++i) {
    uint64_t size = 0;
    Timestamp mtime;
    if (cache_->unsentChanges(out[i].path, &size, &mtime)) out[i].total = size;
  }
  return out;
}

uint64_t Volume::TransferBegin(const std::string& path, bool upload, uint64_t total, const std::string& error,
                               uint32_t attempt) {
  const uint64_t now = SteadyNowMs();
  std::lock_guard<std::mutex> lock(transfersMu_);
  const uint64_t id = ++nextTransferId_;
  std::erase_if(transfers_, [&](const TransferInfo& t) {
    return t.path == path && t.upload == upload && t.state == "failed";
  });
  TransferInfo t;
  t.id = id;
  t.path = path;
  t.upload = upload;
  t.total = total;
  t.startedMs = t.updatedMs = now;
  t.state = "active";
  t.error = error;
  t.attempt = attempt;
  transfers_.push_back(std::move(t));
  return id;
}

void Volume::updateTransfer(uint64_t id, uint64_t done, const char* state, const std::string* error,
                            int32_t attempt) {
  const uint64_t now = SteadyNowMs();
  std::lock_guard<std::mutex> lock(transfersMu_);
  auto it = std::find_if(transfers_.begin(), transfers_.end(), [id](const TransferInfo& t) { return t.id == id; });
  if (it == transfers_.end()) return;
  it->done = done;
  it->updatedMs = now;
  if (state != nullptr) it->state = state;
  if (error != nullptr) it->error = *error;
  if (attempt >= 0) it->attempt = static_cast<uint32_t>(attempt);
}

void Volume::TransferEnd(uint64_t id, bool ok, const std::string& error) {
  const uint64_t now = SteadyNowMs();
  std::lock_guard<std::mutex> lock(transfersMu_);
  auto it = std::find_if(transfers_.begin(), transfers_.end(), [id](const TransferInfo& t) { return t.id == id; });
  if (it == transfers_.end()) return;
  it->state = ok ? "done" : "failed";
  it->error = error;
  it->updatedMs = now;
  if (ok && it->total != 0) it->done = it->total;
  size_t finished = static_cast<size_t>(std::count_if(transfers_.begin(), transfers_.end(), Finished));
  for (auto t = transfers_.begin(); finished > kMaxFinishedTransfers && t != transfers_.end();) {
    if (Finished(*t)) {
      t = transfers_.erase(t);
      --finished;
    } else {
      ++t;
    }
  }
}

}  // namespace tarn
