#include "backup/engine/restore_run.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "backup/engine/folder_walk.h"
#include "backup/engine/local_path.h"
#include "foundation/text.h"

namespace tarn::backup {

namespace {

// Filler workers per repository connection: while some download, the others
// open blobs and write them.
constexpr size_t kWorkersPerConnection = 2;
constexpr size_t kMinWorkers = 2;
constexpr size_t kMaxWorkers = 16;
// Folders that wait for their bits, each with an open descriptor, before the
// restore waits for the files in flight to set them.
constexpr size_t kMaxLateFolders = 128;
// What an owner needs of a folder to put things into it.
constexpr uint32_t kOwnerWriteAndSearch = S_IWUSR | S_IXUSR;
constexpr uint32_t kNewFolderBits = 0777;

size_t WorkerCount(const Repo& repo) {
  size_t connections = size_t(std::max<int32_t>(repo.connectionCount(), 1));
  return std::clamp(connections * kWorkersPerConnection, kMinWorkers, kMaxWorkers);
}

// The folder holding a full path ("/" for a top-level one) and the name in it.
std::pair<std::string, std::string> SplitLast(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {std::string(), path};
  return {slash == 0 ? std::string("/") : path.substr(0, slash), path.substr(slash + 1)};
}

}  // namespace

uint32_t RestoredMode(const ListingEntry& entry, bool withOwner, uint32_t umask) {
  if (!entry.hasMode) {
    uint32_t mode = (entry.isDir ? localfs::kOwnerOnlyFolder : localfs::kOwnerOnlyFile) & ~umask;
    if (!entry.isDir && (entry.attributes & kAttributeReadOnly) != 0) mode &= ~uint32_t(S_IWUSR | S_IWGRP | S_IWOTH);
    return mode;
  }
  uint32_t mode = entry.mode & kListingModeBits;
  // A program that runs as its file's owner must not run as someone else.
  if (!entry.isDir && !withOwner) mode &= ~uint32_t(S_ISUID | S_ISGID);
  return mode;
}

RestoreRun::RestoreRun(Repo& repo, const RestoreRequest& request, Progress& progress, const CancelToken* cancel,
                       std::vector<std::string>& problems)
    : repo_(repo),
      progress_(progress),
      cancel_(cancel),
      problems_(problems),
      restoreOwners_(request.restoreOwners),
      umask_(request.umask),
      callerUid_(request.callerUid),
      rights_(request.asCaller),
      filler_(repo, rights_, progress, cancel, WorkerCount(repo)) {}

Status RestoreRun::ended() {
  Status broken = rights_.broken();
  if (!broken.ok()) return broken;
  if (IsCancelled(cancel_)) return Status(Status::kCanceled, "");
  return filler_.failure();
}

void RestoreRun::recordProblem(const std::string& path, std::string_view message, int error) {
  RecordProblem(progress_, problems_, path, message, error);
}

void RestoreRun::recordUnreadable(const std::string& path, const std::string& why) {
  unreadable_.push_back(path);
  progress_.errors.fetch_add(1, std::memory_order_relaxed);
  if (problems_.size() < kMaxProblems) problems_.push_back("folder " + path + " could not be read: " + why);
}

Status RestoreRun::recordLostFolder(const ListingEntry& folder, const std::string& path, std::string_view message,
                                    const Status& st) {
  uint64_t files = 0;
  std::vector<std::pair<BlobId, std::string>> folders = {{folder.tree, path}};
  while (!folders.empty()) {
    auto [tree, at] = std::move(folders.back());
    folders.pop_back();
    if (IsCancelled(cancel_)) return Status(Status::kCanceled, "");
    std::vector<uint8_t> blob;
    std::vector<ListingEntry> entries;
    Status read = repo_.readBlob(tree, blob);
    if (!read.ok() && EndsRestore(read)) return read;
    if (!read.ok()) {
      recordUnreadable(at, read.toString());
      continue;
    }
    if (!ParseFolderListing(std::string_view(reinterpret_cast<const char*>(blob.data()), blob.size()), entries)) {
      recordUnreadable(at, "the folder listing in the snapshot is damaged");
      continue;
    }
    for (const ListingEntry& e : entries) {
      if (e.isDir)
        folders.emplace_back(e.tree, JoinPath(at, e.name));
      else
        ++files;
    }
  }
  // A failed switch names itself; a failed system call takes the step's
  // message with its errno.
  std::string text(st.message.empty() ? message : std::string_view(st.message));
  if (st.native != 0) text += " (" + vx::FormatWin32Error(static_cast<uint32_t>(st.native)) + ")";
  if (files == 1) text += "; the 1 file in it is not restored";
  if (files > 1) text += "; the " + std::to_string(files) + " files in it are not restored";
  recordProblem(path, text, 0);
  if (files > 1) progress_.errors.fetch_add(files - 1, std::memory_order_relaxed);
  return Status();
}

void RestoreRun::recordFailure(const std::string& path, std::string_view message, const Status& st) {
  // A failed switch names itself; a failed system call takes the step's
  // message with its errno.
  recordProblem(path, st.message.empty() ? message : std::string_view(st.message), st.native);
}

Status RestoreRun::restoreEntry(const ListingEntry& entry, const Destination& dest) {
  collect(false);
  Status st = ended();
  if (!st.ok()) return st;
  return entry.isDir ? restoreFolder(entry, dest) : restoreFile(entry, dest);
}

Status RestoreRun::openSubFolder(const Destination& dest, std::shared_ptr<const localfs::WriteFolder>& out) {
  if (dest.folder == nullptr) return ensureFolder(dest.path, out, true);
  auto folder = std::make_shared<localfs::WriteFolder>();
  Status st = rights_.run([&] { return dest.folder->openFolder(dest.name, true, *folder); });
  if (st.ok()) out = std::move(folder);
  return st;
}

Status RestoreRun::restoreFolder(const ListingEntry& entry, const Destination& dest) {
  Levels levels;
  path_ = dest.path;
  Status st = enterFolder(levels, entry, dest);
  while (st.ok() && !levels.empty()) {
    Level& level = levels.back();
    if (level.next == level.entries.size()) {
      if (!level.lost) progress_.dirs.fetch_add(1, std::memory_order_relaxed);
      const std::shared_ptr<const localfs::WriteFolder> left = std::move(level.folder);
      levels.pop_back();
      if (levels.empty()) break;
      path_.resize(levels.back().pathLength);
      if (levels.back().folder == nullptr && !levels.back().lost) reopen(levels, left);
      continue;
    }
    const ListingEntry& e = level.entries[level.next++];
    if (!IsValidEntryName(e.name)) {
      recordProblem(path_, "refused the name \"" + PrintableName(e.name) + "\"", 0);
      continue;
    }
    collect(false);
    st = ended();
    if (!st.ok()) break;
    if (!e.isDir) {
      st = restoreFile(e, Destination{level.folder, e.name, JoinPath(path_, e.name)});
      continue;
    }
    // The way down is one path that grows and shrinks, not one per level.
    path_ += '/';
    path_ += e.name;
    st = enterFolder(levels, e, Destination{level.folder, e.name, std::string()});
  }
  return st;
}

Status RestoreRun::enterFolder(Levels& levels, const ListingEntry& entry, const Destination& dest) {
  const size_t above = levels.empty() ? 0 : levels.back().pathLength;
  std::shared_ptr<const localfs::WriteFolder> folder;
  Status st = openSubFolder(dest, folder);
  if (!st.ok()) {
    Status counted = recordLostFolder(entry, path_, "cannot create the folder", st);
    path_.resize(above);
    Status broken = rights_.broken();
    return broken.ok() ? counted : broken;
  }
  settleFolder(entry, folder);

  std::vector<uint8_t> blob;
  st = repo_.readBlob(entry.tree, blob);
  if (!st.ok()) {
    if (EndsRestore(st)) return st;
    recordUnreadable(path_, st.toString());
    path_.resize(above);
    return Status();
  }
  std::vector<ListingEntry> entries;
  if (!ParseFolderListing(std::string_view(reinterpret_cast<const char*>(blob.data()), blob.size()), entries)) {
    recordUnreadable(path_, "the folder listing in the snapshot is damaged");
    path_.resize(above);
    return Status();
  }
  if (levels.size() > kOpenLevels) levels[levels.size() - kOpenLevels].folder.reset();
  Level& level = levels.emplace_back();
  level.device = folder->device();
  level.inode = folder->inode();
  level.folder = std::move(folder);
  level.name = dest.name;
  level.pathLength = path_.size();
  level.entries = std::move(entries);
  return Status();
}

void RestoreRun::reopen(Levels& levels, const std::shared_ptr<const localfs::WriteFolder>& left) {
  auto same = [](const localfs::WriteFolder& folder, const Level& level) {
    return folder.device() == level.device && folder.inode() == level.inode;
  };
  auto up = std::make_shared<localfs::WriteFolder>();
  Status st = left == nullptr ? Status(Status::kNotFound, "") : rights_.run([&] { return left->openParent(*up); });
  if (st.ok() && same(*up, levels.back())) {
    levels.back().folder = std::move(up);
    return;
  }
  // The folder just left was moved elsewhere meanwhile: the way down is
  // followed again by name from the nearest folder still open (the first
  // always is), each folder told by its device and inode.
  size_t from = levels.size() - 1;
  while (levels[from].folder == nullptr) --from;
  for (size_t i = from + 1; i < levels.size(); ++i) {
    auto next = std::make_shared<localfs::WriteFolder>();
    st = rights_.run([&] { return levels[i - 1].folder->openFolder(levels[i].name, false, *next); });
    if (!st.ok() || !same(*next, levels[i])) return lose(levels, i);
    levels[i].folder = std::move(next);
    if (i - 1 > 0 && i - 1 + kOpenLevels < levels.size()) levels[i - 1].folder.reset();
  }
}

void RestoreRun::lose(Levels& levels, size_t from) {
  uint64_t left = 0;
  for (size_t i = from; i < levels.size(); ++i) {
    left += levels[i].entries.size() - levels[i].next;
    levels[i].lost = true;
    levels[i].next = levels[i].entries.size();
  }
  recordProblem(path_.substr(0, levels[from].pathLength),
                "the folder was moved away while it was restored; " + std::to_string(left) +
                    (left == 1 ? " item in it is" : " items in it are") + " not restored",
                0);
}

Status RestoreRun::restoreFile(const ListingEntry& entry, const Destination& dest) {
  progress_.setCurrent(dest.path);
  const std::string temp = dest.name + std::string(kRestoreTempSuffix);
  // Two items of one restore can land on the same place (overlapping
  // sources); the second must not take the first one's temporary away while
  // it is being filled.
  TempKey key{dest.folder->device(), dest.folder->inode(), temp};
  while (pending_.count(key) != 0) collect(true);

  // In a folder this restore made nothing can be unchanged, and no old file
  // or leftover temporary needs replacing: the file may go straight under
  // its name. Elsewhere it goes through its temporary, which replaces both.
  const bool nameFree = dest.folder->made();
  bool unchanged = false;
  Status st = rights_.run([&] {
    localfs::Entry found;
    unchanged = !nameFree && dest.folder->stat(dest.name, found).ok() && found.kind == localfs::Kind::kFile &&
                found.size == entry.size && found.mtime == entry.mtime;
    return Status();
  });
  if (!st.ok()) {
    recordFailure(dest.path, "cannot create", st);
    return rights_.broken();
  }
  if (unchanged) {
    progress_.files.fetch_add(1, std::memory_order_relaxed);
    progress_.bytes.fetch_add(entry.size, std::memory_order_relaxed);
    return Status();
  }

  auto job = std::make_unique<FillJob>();
  job->folder = dest.folder;
  job->name = dest.name;
  job->tempName = temp;
  job->path = dest.path;
  job->mtime = entry.mtime;
  job->setOwner = restoreOwners_ && entry.hasOwner;
  job->uid = entry.uid;
  job->gid = entry.gid;
  job->mode = RestoredMode(entry, job->setOwner, umask_);
  job->nameFree = nameFree;
  job->content = entry.content;
  job->blobs = entry.content.size();
  if (job->content.empty()) {
    // No worker reaches a file without blobs: it is made here.
    st = rights_.run([&] {
      Status made = CreateTemporary(*job);
      return made.ok() ? PlaceFile(*job) : made;
    });
    if (st.ok())
      progress_.files.fetch_add(1, std::memory_order_relaxed);
    else
      recordFailure(dest.path, "cannot create", st);
    return rights_.broken();
  }
  pending_.insert(std::move(key));
  submit(std::move(job));
  return Status();
}

void RestoreRun::submit(std::unique_ptr<FillJob> job) {
  // Each bound, once reached, is waited down to half of it: files go over in
  // batches that make long reads.
  if (job->blobs > 1 && largeInFlight_ >= kMaxFilesInFlight)
    while (largeInFlight_ > kResumeFilesInFlight) collect(true);
  if (job->blobs == 1 && smallInFlight_ >= kMaxSmallFilesInFlight)
    while (smallInFlight_ > kMaxSmallFilesInFlight / 2) collect(true);
  if (folders_.count(job->folder.get()) == 0 && folders_.size() >= kMaxFoldersInFlight)
    while (folders_.size() > kMaxFoldersInFlight / 2) collect(true);
  hold(*job, true);
  filler_.add(std::move(job));
}

void RestoreRun::hold(const FillJob& job, bool held) {
  size_t& files = job.blobs > 1 ? largeInFlight_ : smallInFlight_;
  size_t& users = folders_[job.folder.get()];
  if (held) {
    ++files;
    ++users;
    return;
  }
  --files;
  if (--users == 0) folders_.erase(job.folder.get());
}

void RestoreRun::collect(bool wait) {
  for (std::unique_ptr<FillJob>& job : filler_.takeFinished(wait)) {
    hold(*job, false);
    if (job->restored)
      progress_.files.fetch_add(1, std::memory_order_relaxed);
    else if (!job->problem.empty())
      recordProblem(job->path, job->problem, job->error);
    pending_.erase(TempKey{job->folder->device(), job->folder->inode(), job->tempName});
  }
}

void RestoreRun::settleFolder(const ListingEntry& entry, const std::shared_ptr<const localfs::WriteFolder>& folder) {
  if (!entry.hasMode && !folder->made()) return;
  const bool withOwner = restoreOwners_ && entry.hasOwner;
  const uint32_t mode = RestoredMode(entry, withOwner, umask_);
  // Root puts things into any folder; anyone else needs to write and search
  // it, and owns the folders the restore makes.
  if (restoreOwners_ || (mode & kOwnerWriteAndSearch) == kOwnerWriteAndSearch) {
    setFolderMode(*folder, mode, withOwner ? &entry : nullptr);
    return;
  }
  lateFolders_.push_back(LateFolder{folder, mode});
  if (lateFolders_.size() >= kMaxLateFolders) settleLateFolders();
}

void RestoreRun::setFolderMode(const localfs::WriteFolder& folder, uint32_t mode, const ListingEntry* owner) {
  (void)rights_.run([&] {
    // As with files: bits meant for another owner's group and the others
    // stay with that owner, and a folder that keeps no bits or is not the
    // caller's keeps its own.
    if (owner != nullptr && !folder.setOwner(owner->uid, owner->gid).ok()) mode &= S_IRWXU;
    (void)folder.setMode(mode);
    return Status();
  });
}

void RestoreRun::settleLateFolders() {
  while (filler_.inFlight() > 0) collect(true);
  for (const LateFolder& late : lateFolders_) setFolderMode(*late.folder, late.mode, nullptr);
  lateFolders_.clear();
}

Status RestoreRun::finish() {
  settleLateFolders();
  Status broken = rights_.broken();
  if (!broken.ok()) return broken;
  return filler_.failure();
}

Status RestoreRun::ensureFolder(const std::string& path, std::shared_ptr<const localfs::WriteFolder>& out,
                                bool ofVersion) {
  auto folder = std::make_shared<localfs::WriteFolder>();
  const uint32_t parentMode = kNewFolderBits & ~umask_;
  const uint32_t mode = ofVersion ? localfs::kOwnerOnlyFolder : parentMode;
  Status st = rights_.run(
      [&] { return localfs::WriteFolder::openPath(path, callerUid_, true, mode, parentMode, *folder); });
  if (st.ok()) out = std::move(folder);
  return st;
}

Status RestoreRun::openTarget(const std::string& target, std::shared_ptr<const localfs::WriteFolder>& out) {
  Status st = ensureFolder(target, out);
  const char* step = "cannot create ";
  if (st.ok()) {
    step = "cannot write to ";
    st = rights_.run([&] {
      Status probe = out->probeWrite();
      return probe.code == Status::kUnsupported ? Status() : probe;
    });
  }
  if (st.ok()) return st;
  if (!st.message.empty()) return st;  // a failed switch or a refused link names itself
  bool refused = st.native == EACCES || st.native == EPERM || st.native == EROFS;
  return Status(refused ? Status::kAccessDenied : Status::kIo,
                step + target + ": " + vx::FormatWin32Error(static_cast<uint32_t>(st.native)), st.native);
}

Status RestoreRun::placeRecorded(const std::string& source, const std::vector<std::string>& below,
                                 const ListingEntry& item, Destination& out, bool& placed) {
  out = Destination();
  out.path = source;
  placed = true;
  for (const std::string& name : below) out.path = JoinPath(out.path, name);
  if (below.empty() && item.isDir) return Status();  // the source folder itself

  std::string anchor = source;
  std::vector<std::string> walk = below;
  if (below.empty()) {
    auto [parent, name] = SplitLast(source);
    anchor = parent;
    out.name = name;
  } else {
    out.name = walk.back();
    walk.pop_back();
  }

  std::shared_ptr<const localfs::WriteFolder> folder;
  Status st;
  if (item.isDir) {
    st = ensureFolder(anchor, folder);
  } else {
    auto opened = std::make_shared<localfs::WriteFolder>();
    st = rights_.run([&] { return localfs::WriteFolder::openPath(anchor, callerUid_, false, 0, 0, *opened); });
    if (st.ok()) folder = std::move(opened);
  }
  for (const std::string& name : walk) {
    if (!st.ok()) break;
    auto next = std::make_shared<localfs::WriteFolder>();
    st = rights_.run([&] { return folder->openFolder(name, item.isDir, *next, kNewFolderBits & ~umask_); });
    folder = std::move(next);
  }
  if (st.ok() && out.name.empty()) st = localfs::StatusFromErrno(EISDIR);
  if (!st.ok()) {
    placed = false;
    if (item.isDir) return recordLostFolder(item, out.path, "cannot create the folder", st);
    recordFailure(out.path, "cannot create", st);
    return Status();
  }
  out.folder = std::move(folder);
  return Status();
}

}  // namespace tarn::backup
