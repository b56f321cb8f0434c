// Volume rename: the server's rename (or the journal's record while offline)
// and the local state that follows it: block cache objects, metadata and the
// upload queue. Uploads of the source and of a target it replaces are stopped
// and waited for first, so that none of them can land on the server after the
// rename and put old content under either name.
//
// A file renamed over one the server holds must not leave the server's file
// empty, half written or missing while its content is on its way (the save of
// an editor: a temporary written, then renamed over the document). When the
// server does not have the content yet, or cannot replace a file in one step
// by a rename, the content goes up whole in one step after the rename (every
// back-end's whole upload replaces its target only once it has all of it):
// the server's copy of the source, which is not that content, is removed, and
// the target keeps its old copy until then.
#include "engine/clock.h"
#include "engine/volume.h"
#include "foundation/log.h"
#include "foundation/remote_path.h"

namespace tarn {

bool Volume::dropWaitingUploadLocked(const std::string& path) {
  auto it = uploadQueue_.find(path);
  if (it == uploadQueue_.end() || it->second.running) return false;
  uploadQueue_.erase(it);
  return true;
}

void Volume::forEachEntryUnderLocked(const std::string& path,
                                     const std::function<void(const std::string&, UploadEntry&)>& fn) {
  auto it = uploadQueue_.find(path);
  if (it != uploadQueue_.end()) fn(it->first, it->second);
  // The keys below a folder sort together right after its name and "/".
  const std::string prefix = IsRootPath(path) ? std::string("/") : path + "/";
  for (it = uploadQueue_.lower_bound(prefix);
       it != uploadQueue_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it)
    fn(it->first, it->second);
}

Status Volume::holdUploadsForRename(const std::string& from, const std::string& to, bool& pending) {
  pending = false;
  std::vector<std::string> flagged;
  const CancelToken* token = callToken();
  std::unique_lock<std::mutex> lock(uploadMu_);
  renaming_.insert(from);
  renaming_.insert(to);
  const uint64_t start = SteadyNowMs();
  for (;;) {
    bool running = false;
    auto stop = [&](const std::string& path, UploadEntry& entry) {
      if (!entry.running) return;
      running = true;
      if (entry.stopRequested) return;
      entry.stopRequested = true;
      // Ends a piece blocked on the server; what it did not finish stays dirty.
      if (entry.cancel) entry.cancel->cancel();
      flagged.push_back(path);
    };
    forEachEntryUnderLocked(from, stop);
    forEachEntryUnderLocked(to, stop);
    if (!running) break;
    // An upload stuck on a silent server may not stop before the rename's
    // budget ends.
    const bool late = IsCancelled(token);
    if (late || SteadyNowMs() - start >= timings_.renameWaitMs) {
      // An upload left flagged would stop at its first piece forever.
      for (const std::string& path : flagged) {
        auto it = uploadQueue_.find(path);
        if (it != uploadQueue_.end() && !it->second.dropped) it->second.stopRequested = false;
      }
      renaming_.erase(renaming_.find(from));
      renaming_.erase(renaming_.find(to));
      return late ? inTime(Status(Status::kCanceled, "")) : Status(Status::kBusy, "upload in progress");
    }
    uploadCv_.wait_for(lock, std::chrono::milliseconds(timings_.uploadWaitSliceMs));
  }
  auto it = uploadQueue_.find(from);
  if (it != uploadQueue_.end()) {
    uploadQueue_.erase(it);
    pending = true;
  }
  // Entries below a renamed folder move with it and start afresh there.
  forEachEntryUnderLocked(from, [](const std::string&, UploadEntry& entry) {
    if (entry.stopRequested && !entry.dropped) {
      entry.stopRequested = false;
      entry.attempts = 0;
      entry.due = 0;
    }
  });
  return Status();
}

void Volume::endRename(const std::string& from, const std::string& to) {
  std::lock_guard<std::mutex> lock(uploadMu_);
  renaming_.erase(renaming_.find(from));
  renaming_.erase(renaming_.find(to));
}

Status Volume::rename(const std::string& fromPath, const std::string& toPath, bool replace,
                      const std::function<void()>& moved) {
  if (config_.compat.readOnly) return Status(Status::kAccessDenied, "read-only mount");
  if (fromPath == toPath) return Status();
  ActiveCall call(this);
  if (!call.ok()) return Status(Status::kCanceled, "volume stopped");
  std::string from = fromPath, to = toPath;
  RenameFence::Pass pass = fence_.beginRename(from, to);
  const bool online = !offline_.load();
  // Offline changes still waiting go first: either name may be one of theirs.
  Status st = online ? replayBefore({&from, &to}) : Status();
  if (!st.ok()) {
    recordError(RequestKind::kRename, st);
    return st;
  }
  st = checkName(to);
  if (!st.ok()) return st;
  RemoteAttr attr;
  st = statRemote(from, attr, true);
  if (!st.ok()) return st;
  const bool isDir = attr.isDir();
  if (isDir && !caps()->renameDirs) return Status(Status::kUnsupported, "server cannot rename directories");
  bool pending = false;
  st = holdUploadsForRename(from, to, pending);
  if (!st.ok()) return st;
  const bool silentBefore = pool_->silent();
  auto fail = [&](const Status& failure) {
    forgetTimedOutChange(from, to, failure, silentBefore, false);
    recordError(RequestKind::kRename, failure);
    if (pending) queueUpload(from, 0, nullptr);
    endRename(from, to);
    return failure;
  };
  bool byUpload = false;
  bool targetHeld = false;
  if (!isDir && replace) {
    st = planReplaceByUpload(from, to, attr, pending, byUpload, targetHeld);
    if (!st.ok()) return fail(st);
    // The object holds the content to send now, whatever it held before.
    pending = pending || byUpload;
  }

  // Changes not yet sent live in the cache under the source's name. Between
  // the server's rename and theirs, a crash would leave them there, to be
  // uploaded under a name the server no longer has: the journal records the
  // rename before it is sent, and a start finishes what it names.
  uint64_t record = 0;
  if (!online || isDir || pending || hasUnsentAt(from)) {
    JournalOp op{kJournalRename, from, to};
    op.moving = true;
    op.online = online;
    op.held = true;
    op.byUpload = byUpload;
    st = journal_->append(std::move(op), &record);
    if (!st.ok()) return fail(st);
  }
  if (online && byUpload) {
    // The source's copy goes; a target the server lacks is made, empty, so
    // that the name is there as the drive shows it until the upload.
    st = serverCall("unlink", [&](IBackend& b) { return b.remove(from, false); });
    if (st.code == Status::kNotFound) st = Status();
    if (st.ok() && !targetHeld) {
      st = serverCall("create", [&](IBackend& b) { return b.create(to); });
      if (st.code == Status::kExists) st = Status();
    }
    if (!st.ok()) {
      journal_->drop(record);
      return fail(st);
    }
  } else if (online) {
    st = serverCall("rename", [&](IBackend& b) { return b.rename(from, to, replace); });
    if (!st.ok()) {
      // A folder the drive saw empty holds what another client put there.
      if (st.code == Status::kNotEmpty) meta_->invalidateTree(to);
      journal_->drop(record);
      return fail(st);
    }
  }
  if (!isDir) {
    Status moved = cache_->renameObject(from, to);
    if (!moved.ok())
      vx::log::write(vx::log::kWarn, "%s: cache rename %s -> %s: %s", config_.id.c_str(), from.c_str(), to.c_str(),
                     moved.toString().c_str());
  } else {
    cache_->renameTree(from, to);
    // Records still waiting for replay run after the server's rename.
    if (online) journal_->rebase(from, to);
  }
  // Offline the cached listings are the only view of the folders: they are
  // changed with the rename rather than dropped by it.
  const std::string fromParent = ParentPath(from), toParent = ParentPath(to);
  std::vector<DirEntry> fromListing, toListing, ownListing;
  const bool keepFrom = !online && meta_->getListing(fromParent, &fromListing);
  const bool keepTo = !online && toParent != fromParent && meta_->getListing(toParent, &toListing);
  const bool keepOwn = !online && isDir && meta_->getListing(from, &ownListing);
  meta_->renameTree(from, to);
  meta_->putNegative(from);
  auto drop = [](std::vector<DirEntry>& listing, const std::string& name) {
    std::erase_if(listing, [&](const DirEntry& e) { return e.name == name; });
  };
  if (keepFrom) drop(fromListing, BaseName(from));
  if (keepFrom || keepTo) {
    std::vector<DirEntry>& target = toParent == fromParent ? fromListing : toListing;
    drop(target, BaseName(to));
    target.push_back(DirEntry{BaseName(to), attr});
  }
  if (keepFrom) meta_->putListing(fromParent, fromListing);
  if (keepTo) meta_->putListing(toParent, toListing);
  if (keepOwn) meta_->putListing(to, ownListing);
  {
    std::lock_guard<std::mutex> lock(uploadMu_);
    std::vector<std::pair<std::string, UploadEntry>> moved;
    forEachEntryUnderLocked(from, [&](const std::string& path, UploadEntry& entry) {
      if (!entry.running) moved.emplace_back(path, std::move(entry));
    });
    // The replaced target's own pending upload is moot.
    if (!isDir) uploadQueue_.erase(to);
    for (auto& [path, entry] : moved) {
      uploadQueue_.erase(path);
      if (path == from) pending = true;
      uploadQueue_[RebasePath(path, from, to)] = std::move(entry);
    }
  }
  // Offline the record stays for the replay; online the server has it.
  if (record != 0) (void)(online ? journal_->drop(record) : journal_->markMoved(record));
  if (pending) queueUpload(to, 0, nullptr);
  endRename(from, to);
  pass.moved();
  if (moved) moved();
  return Status();
}

Status Volume::planReplaceByUpload(const std::string& from, const std::string& to, const RemoteAttr& source,
                                   bool pending, bool& byUpload, bool& targetHeld) {
  byUpload = targetHeld = false;
  std::shared_ptr<const BackendCaps> caps = this->caps();
  // One file under two spellings: the server's copy is the source's own.
  if (!caps->caseSensitive && EqualsIgnoreCase(from, to)) return Status();
  std::shared_ptr<CacheFile> object = cache_->open(from, false);
  // Content that is already to replace the server's copy whole stays so:
  // the server's file under the source's name is not that content.
  const bool replacing = object && object->replacesWhole();
  const bool unsent = pending || (object && hasLocalChanges(*object));
  if (offline_.load()) {
    // Nothing is fetched offline, and what the server holds under the
    // target by the time the journal is replayed is not known: content
    // wholly here that the server has not got goes up whole after the
    // replay, rather than a rename putting the empty file that an offline
    // create made over whatever stands there then.
    if (!object || !unsent || object->missingBytes() != 0) return Status();
    if (!replacing && !object->replaceServerCopy()) return Status();
    if (object->pendingMtime().isZero() && !source.mtime.isZero()) object->setPendingMtime(source.mtime);
  } else {
    RemoteAttr target;
    targetHeld = statRemote(to, target, true).ok() && !target.isDir();
    if (!replacing && !(targetHeld && (unsent || !caps->atomicReplace))) return Status();
    if (!replacing) {
      // Every byte must be here before the source's copy goes: what is
      // missing is fetched, a little; a large file is renamed on the server.
      if (!object) {
        object = cache_->open(from, true);
        if (!object) return Status();
        if (!object->applyRemote(source, nullptr, nullptr).ok()) return Status();
      }
      const uint64_t extra = unsent ? object->missingBytes() : object->size();
      if (extra > kReplaceByUploadMaxBytes) return Status();
      Status st = object->ensureRange(0, object->size(), fetcher(), callToken());
      if (!st.ok()) return inTime(st);
      if (!object->replaceServerCopy()) return Status();
      // The file keeps its time, not that of the target's old copy, which
      // the server shows until the upload; an upload sets it where the
      // server keeps times.
      if (object->pendingMtime().isZero() && !source.mtime.isZero()) object->setPendingMtime(source.mtime);
    }
  }
  // Durable before the server's copy goes: a restart uploads the content.
  if (!object->saveMap()) return Status(Status::kIo, "cannot record the changes of " + from + " in the cache");
  byUpload = true;
  return Status();
}

bool Volume::hasUnsentAt(const std::string& path) {
  std::shared_ptr<CacheFile> cached = cache_->open(path, false);
  return cached && hasLocalChanges(*cached);
}

void Volume::finishMovesOfRenames() {
  for (const JournalOp& op : journal_->pendingMoves()) {
    vx::log::write(vx::log::kInfo, "%s: moving what the cache holds of %s to %s, as the rename before the stop asked",
                   config_.id.c_str(), op.path.c_str(), op.to.c_str());
    cache_->renameTree(op.path, op.to);
    journal_->markMoved(op.id);
  }
}

}  // namespace tarn
