// Volume: the order in which the server gets a deletion and the uploads
// closed before it. An editor's save (the document renamed to a backup, a
// new document written and closed, the backup deleted) would otherwise have
// the server drop the backup, its last whole copy, while the new content is
// still on its way. Such a deletion goes into the journal at once, marked to
// wait for those uploads, and the program does not wait for them: the
// journal's order holds it back, and any later change that names what it
// names waits its turn behind it. A change that timed out may still be
// carried out by the server once it wakes, and is looked at again then.
#include <chrono>

#include "engine/clock.h"
#include "engine/volume.h"
#include "foundation/log.h"
#include "foundation/remote_path.h"

namespace tarn {

std::vector<std::string> Volume::uploadsBeside(const std::string& path) {
  std::vector<std::string> out;
  const std::string parent = ParentPath(path);
  const std::string prefix = IsRootPath(parent) ? std::string("/") : parent + "/";
  std::lock_guard<std::mutex> lock(uploadMu_);
  for (auto it = uploadQueue_.lower_bound(prefix);
       it != uploadQueue_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
    // Only the files of the folder itself: what lies deeper is another's.
    if (it->first == path || it->first.find('/', prefix.size()) != std::string::npos) continue;
    if (!it->second.dropped) out.push_back(it->first);
  }
  return out;
}

bool Volume::uploadsDoneAt(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    // An upload that a waiting record holds back cannot go first: waiting
    // for it would wait for ever.
    if (journal_->holds(path)) continue;
    {
      std::lock_guard<std::mutex> lock(uploadMu_);
      // Nor can one held back by a deletion or rename of its file, which
      // decides what becomes of it.
      if (uploadBlockedLocked(path)) continue;
      if (uploadQueue_.contains(path)) return false;
    }
    // After a restart, changes are known on the disk before the queue has them.
    if (hasUnsentAt(path)) return false;
  }
  return true;
}

Status Volume::replayBefore(std::initializer_list<const std::string*> paths) {
  const CancelToken* token = callToken();
  for (;;) {
    Status st = replayJournal();
    // A network failure is tried again while a record names the paths, as
    // the operation's own call would be; a silent server ends the wait at once.
    if (!st.ok() && (st.code != Status::kNetwork || IsCancelled(token))) return st;
    if (offline_.load() || (st.ok() && journal_->isEmpty())) return Status();
    bool named = false;
    for (const std::string* path : paths) named = named || journal_->touches(*path);
    // Records of other names may go after this change: the tick sends them.
    if (!named) return Status();
    // The record at the head waits for uploads: they go now rather than
    // after their write-back delay, since this change waits too.
    const std::vector<std::string> awaited = journal_->awaited();
    {
      std::unique_lock<std::mutex> lock(uploadMu_);
      for (const std::string& path : awaited) {
        auto it = uploadQueue_.find(path);
        if (it != uploadQueue_.end() && !it->second.running) it->second.due = 0;
      }
    }
    wakeUploader();
    if (IsCancelled(token)) return inTime(Status(Status::kCanceled, ""));
    std::unique_lock<std::mutex> lock(uploadMu_);
    uploadCv_.wait_for(lock, std::chrono::milliseconds(timings_.uploadWaitSliceMs));
  }
}

Status Volume::unlinkAfterUploads(const std::string& path, bool& deferred) {
  deferred = false;
  std::vector<std::string> after = uploadsBeside(path);
  if (after.empty()) return Status();
  JournalOp op{kJournalUnlink, path};
  op.after = std::move(after);
  Status st = journal_->append(std::move(op));
  if (st.ok()) deferred = true;
  return st;
}

void Volume::forgetTimedOutChange(const std::string& path, const std::string& to, const Status& st,
                                  bool silentBefore, bool undoCreate) {
  // A call made while the server was known to be silent was refused at once.
  if (st.code != Status::kTimeout || silentBefore) return;
  meta_->invalidateTree(path);
  if (!to.empty()) meta_->invalidateTree(to);
  if (!undoCreate) return;
  Status recorded = journal_->append(JournalOp{kJournalUndoCreate, path});
  if (!recorded.ok())
    vx::log::write(vx::log::kWarn, "%s: a create of %s that timed out may leave an empty file on the server: %s",
                   config_.id.c_str(), path.c_str(), recorded.toString().c_str());
}

bool Volume::deletedBeforeReplay(const std::string& path) {
  return !offline_.load() && !journal_->isEmpty() && journal_->deletes(path);
}

void Volume::hideDeletedBeforeReplay(const std::string& folder, std::shared_ptr<const DirListing>& listing) {
  if (offline_.load() || journal_->isEmpty()) return;
  std::shared_ptr<DirListing> shown;
  for (size_t i = 0; i < listing->size(); ++i) {
    if (listing->removed(i) || !journal_->deletes(JoinRemotePath(folder, listing->name(i)))) continue;
    if (!shown) shown = std::make_shared<DirListing>(*listing);
    shown->remove(i);
  }
  if (shown) listing = std::move(shown);
}

}  // namespace tarn
