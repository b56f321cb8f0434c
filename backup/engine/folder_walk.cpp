#include "backup/engine/folder_walk.h"

#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "backup/engine/local_path.h"
#include "foundation/text.h"

namespace tarn::backup {

namespace {

using localfs::Entry;
using localfs::Kind;

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

// Mount types a walk leaves out. The kernel's virtual file systems hold no
// data of the user's and some of their files never end or block a reader;
// network and FUSE mounts are other computers' data or this system's own
// drives, and may hang a walk when their server goes.
constexpr std::string_view kLeftOutFileSystems[] = {
    "proc",     "sysfs",      "devtmpfs",  "devpts",   "cgroup",   "cgroup2",   "securityfs", "debugfs",
    "tracefs",  "pstore",     "bpf",       "configfs", "fusectl",  "hugetlbfs", "mqueue",     "binfmt_misc",
    "autofs",   "efivarfs",   "selinuxfs", "nsfs",     "rpc_pipefs", "nfsd",    "devfs",      "usbfs",
    "xenfs",    "resctrl",    "nfs",       "nfs4",     "cifs",     "smb3",      "smbfs",      "ncpfs",
    "afs",      "ceph",       "9p",        "coda",     "glusterfs", "lustre",   "davfs",      "fuse",
    "fuseblk",
};
constexpr std::string_view kFusePrefix = "fuse.";
constexpr std::string_view kBadNameProblem = "the name is not valid UTF-8";

// A pattern as fnmatch reads it: plain text (escapes taken away), "*" and
// plain text, or anything else. Outside a single-byte locale fnmatch folds
// case by wide characters, and every pattern is "anything else".
enum class TextShape { kText, kStarText, kOther };
TextShape ShapeOf(std::string_view pattern, std::string& text) {
  text.clear();
  if (MB_CUR_MAX != 1) return TextShape::kOther;
  const bool star = !pattern.empty() && pattern.front() == '*';
  for (size_t i = star ? 1 : 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (c == '*' || c == '?' || c == '[') return TextShape::kOther;
    if (c == '\\' && ++i == pattern.size()) return TextShape::kOther;
    text.push_back(pattern[i]);
  }
  return star ? TextShape::kStarText : TextShape::kText;
}

// Equal but for case, as fnmatch with FNM_CASEFOLD compares in a
// single-byte locale.
bool EqualsFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

uint64_t ModifiedTime(const localfs::LocalFile::Stamp& s) {
  return Timestamp::fromTimespec(s.mtimeSec, s.mtimeNsec).toFileTime();
}
uint64_t ChangeTime(const localfs::LocalFile::Stamp& s) {
  return Timestamp::fromTimespec(s.ctimeSec, s.ctimeNsec).toFileTime();
}

}  // namespace

uint32_t ListingAttributes(const Entry& e) {
  uint32_t attributes = 0;
  if (e.kind == Kind::kFolder) attributes |= kAttributeDirectory;
  if ((e.mode & kWriteBits) == 0) attributes |= kAttributeReadOnly;
  return attributes != 0 ? attributes : kAttributeNormal;
}

void RecordModeAndOwner(const Entry& e, ListingEntry& out) {
  out.hasMode = true;
  out.mode = e.mode & kListingModeBits;
  out.hasOwner = true;
  out.uid = e.uid;
  out.gid = e.gid;
}

bool IsLeftOutFileSystem(std::string_view type) {
  if (type.substr(0, kFusePrefix.size()) == kFusePrefix) return true;
  for (std::string_view t : kLeftOutFileSystems)
    if (t == type) return true;
  return false;
}

std::string PrintableName(std::string_view name) { return vx::EscapeControls(name, {}, vx::HexDigits::kUpper); }

bool IsExcluded(const std::vector<std::string>& patterns, std::string_view name, std::string_view fullPath) {
  std::string text;
  std::string subject;
  for (const std::string& pattern : patterns) {
    if (pattern.empty()) continue;
    const std::string_view against = pattern.find('/') != std::string::npos ? fullPath : name;
    // Every entry of a deep folder has a long path: plain text and "*" with
    // plain text are decided by its end alone, as fnmatch would decide them.
    const TextShape shape = ShapeOf(pattern, text);
    if (shape == TextShape::kText && EqualsFolded(against, text)) return true;
    if (shape == TextShape::kStarText && against.size() >= text.size() &&
        EqualsFolded(against.substr(against.size() - text.size()), text))
      return true;
    if (shape != TextShape::kOther) continue;
    subject.assign(against);
    if (::fnmatch(pattern.c_str(), subject.c_str(), FNM_CASEFOLD) == 0) return true;
  }
  return false;
}

FolderWalk::FolderWalk(BlobSink& sink, const ChunkerParams& chunking, const std::vector<std::string>& excludes,
                       FileStateCache* state, Progress& progress, const CancelToken* cancel,
                       std::vector<std::string>& problems, int readers)
    : sink_(sink),
      excludes_(excludes),
      byPath_(std::any_of(excludes.begin(), excludes.end(),
                          [](const std::string& p) { return p.find('/') != std::string::npos; })),
      state_(state),
      progress_(progress),
      cancel_(cancel),
      problems_(problems),
      readers_(chunking, readers) {}

void FolderWalk::recordProblem(const std::string& path, std::string_view message, int error) {
  RecordProblem(progress_, problems_, path, message, error);
}

void FolderWalk::recordBadName(const std::string& path) {
  recordProblem(PrintableName(path), kBadNameProblem, 0);
  ++notes_.badNames;
}

void FolderWalk::countFile(uint64_t size) {
  ++files_;
  bytes_ += size;
}

Status FolderWalk::backupFolder(const std::string& path, BlobId& tree, bool& stored) {
  stored = false;
  path_ = path;
  localfs::LocalDir dir;
  Status opened = localfs::LocalDir::open(path, dir);
  const uint64_t device = dir.device();
  Levels levels;
  bool entered = false;
  Status s = enter(levels, std::move(dir), opened, std::string(), device, entered);
  if (!s.ok() || !entered) return s;
  for (;;) {
    s = walkEntries(levels, entered);
    if (!s.ok()) return s;
    if (entered) continue;
    const localfs::LocalDir left = std::move(levels.back().dir);
    BlobId done;
    bool kept = false;
    s = leave(levels, done, kept);
    if (!s.ok()) return s;
    if (levels.empty()) {
      tree = done;
      stored = kept;
      return Status();
    }
    Level& parent = levels.back();
    if (!parent.dir.valid() && !parent.lost) reopen(levels, left);
    if (!kept || parent.lost) continue;
    parent.sub.isDir = true;
    parent.sub.tree = done;
    parent.listing.add(std::move(parent.sub), FileIdentity());
  }
}

Status FolderWalk::backupFile(const std::string& path, ListingEntry& entry, bool& stored) {
  std::deque<Slot> slots;
  Slot& slot = slots.emplace_back();
  slot.kind = Slot::Kind::kFile;
  slot.entry = entry;
  slot.path = path;
  submitRead(slot, nullptr, std::string());
  Listing done;
  Status s = settle(slots, done);
  stored = !done.entries.empty();
  if (stored) entry = std::move(done.entries.front());
  return s;
}

Status FolderWalk::enter(Levels& levels, localfs::LocalDir dir, const Status& opened, const std::string& name,
                         uint64_t device, bool& entered) {
  entered = false;
  if (IsCancelled(cancel_)) return Status(Status::kCanceled, "");
  const size_t above = path_.size();
  if (!name.empty()) {
    if (path_.empty() || path_.back() != '/') path_ += '/';
    path_ += name;
  }
  std::vector<Entry> found;
  const Status listed = opened.ok() ? dir.list(found) : opened;
  // A folder that vanished since its parent was listed is stored empty.
  const bool vanished = !opened.ok() && opened.native == ENOENT;
  if (!listed.ok() && !vanished) {
    recordProblem(path_, opened.ok() ? "the folder listing broke off" : "cannot list the folder", listed.native);
    ++notes_.unreadFolders;
    path_.resize(above);
    return Status();
  }
  std::sort(found.begin(), found.end(),
            [](const Entry& a, const Entry& b) { return vx::LessInUtf16Order(a.name, b.name); });
  // A deep tree would hold a descriptor for every folder on the way down:
  // those far above are closed, and opened again when the walk is back.
  if (levels.size() > kOpenLevels) levels[levels.size() - kOpenLevels].dir = localfs::LocalDir();
  Level& level = levels.emplace_back();
  level.folderDevice = dir.device();
  level.inode = dir.inode();
  level.dir = std::move(dir);
  level.device = device;
  level.name = name;
  level.pathLength = path_.size();
  level.found = std::move(found);
  if (state_ != nullptr) level.records = state_->readFolder(path_);
  level.listing.entries.reserve(level.found.size());
  level.listing.identities.reserve(level.found.size());
  entered = true;
  return Status();
}

Status FolderWalk::leave(Levels& levels, BlobId& tree, bool& stored) {
  stored = false;
  Level& level = levels.back();
  if (!level.lost) {
    const std::string bytes = WriteFolderListing(level.listing.entries);
    Status s =
        sink_.storeBlob(BlobSink::kTreeBlob, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), tree);
    if (!s.ok()) return s;
    if (state_ != nullptr) state_->appendFolder(path_, level.listing.entries, level.listing.identities);
    progress_.dirs.fetch_add(1, std::memory_order_relaxed);
    ++dirs_;
    stored = true;
  }
  levels.pop_back();
  path_.resize(levels.empty() ? 0 : levels.back().pathLength);
  return Status();
}

void FolderWalk::reopen(Levels& levels, const localfs::LocalDir& left) {
  auto same = [](const localfs::LocalDir& dir, const Level& level) {
    return dir.device() == level.folderDevice && dir.inode() == level.inode;
  };
  localfs::LocalDir up;
  if (left.valid() && left.openParent(up).ok() && same(up, levels.back())) {
    levels.back().dir = std::move(up);
    return;
  }
  // The folder just left was moved elsewhere meanwhile: the way down is
  // followed again by name from the nearest folder still open (the source
  // always is), each folder told by its device and inode.
  size_t from = levels.size() - 1;
  while (!levels[from].dir.valid()) --from;
  for (size_t i = from + 1; i < levels.size(); ++i) {
    localfs::LocalDir next;
    if (!levels[i - 1].dir.openFolder(levels[i].name, next).ok() || !same(next, levels[i])) return lose(levels, i);
    levels[i].dir = std::move(next);
    if (i - 1 > 0 && i - 1 + kOpenLevels < levels.size()) levels[i - 1].dir = localfs::LocalDir();
  }
}

void FolderWalk::lose(Levels& levels, size_t from) {
  recordProblem(path_.substr(0, levels[from].pathLength),
                "the folder was moved away while it was backed up; it is left out", 0);
  ++notes_.unreadFolders;
  for (size_t i = from; i < levels.size(); ++i) {
    levels[i].lost = true;
    levels[i].next = levels[i].found.size();
  }
}

Status FolderWalk::walkEntries(Levels& levels, bool& entered) {
  entered = false;
  Level& level = levels.back();
  const localfs::LocalDir& dir = level.dir;
  const uint64_t device = level.device;
  std::deque<Slot>& slots = slots_;
  Listing& listing = level.listing;
  auto problem = [&](std::string problemPath, std::string_view message, int error, bool folder = false) {
    Slot& slot = slots.emplace_back();
    slot.kind = Slot::Kind::kProblem;
    slot.path = std::move(problemPath);
    slot.message = message;
    slot.error = error;
    slot.folder = folder;
  };
  while (level.next < level.found.size()) {
    Entry& e = level.found[level.next++];
    // Built only where it is needed: in a deep tree each costs the depth.
    auto full = [&] { return JoinPath(path_, e.name); };
    if (IsExcluded(excludes_, e.name, byPath_ ? full() : std::string())) continue;
    if (!vx::IsValidUtf8(e.name)) {
      const bool folder = e.error == 0 && e.kind == Kind::kFolder;
      problem(JoinPath(path_, PrintableName(e.name)), folder ? kFolderNameNotUtf8 : kBadNameProblem, 0);
      slots.back().badName = folder ? Slot::BadName::kFolder : Slot::BadName::kFile;
      continue;
    }
    if (e.error != 0) {
      problem(full(), "cannot open", e.error);
      continue;
    }
    if (e.kind == Kind::kLink) {
      // A link to a file is read through to its target; a link to anything
      // else is never followed.
      Status target = dir.statTarget(e.name, e);
      // A link that leads nowhere holds nothing to back up: the note counts
      // it, and no problem makes the run end done in part.
      if (target.native == ENOENT || target.native == ENOTDIR || target.native == ELOOP) {
        progress_.skipped.fetch_add(1, std::memory_order_relaxed);
        ++notes_.danglingLinks;
        continue;
      }
      if (!target.ok()) {
        problem(full(), "cannot open", target.native);
        continue;
      }
      if (e.kind != Kind::kFile) {
        progress_.skipped.fetch_add(1, std::memory_order_relaxed);
        continue;
      }
    }
    if (e.kind == Kind::kOther) {  // a FIFO, socket or device
      progress_.skipped.fetch_add(1, std::memory_order_relaxed);
      ++notes_.specialFiles;
      continue;
    }
    if (e.kind == Kind::kFolder && e.device != device && !entersMount(dir, e.name, full())) continue;

    ListingEntry entry;
    entry.name = e.name;
    entry.attributes = ListingAttributes(e);
    RecordModeAndOwner(e, entry);
    if (e.kind == Kind::kFolder) {
      // What came before the sub-folder is recorded before what is in it.
      Status s = settle(slots, listing);
      if (!s.ok()) return s;
      localfs::LocalDir sub;
      Status opened = dir.openFolder(e.name, sub);
      // Mounted on, or taken off, since it was listed.
      if (opened.ok() && sub.device() != e.device && sub.device() != device && !entersMount(sub, full())) continue;
      const uint64_t subDevice = opened.ok() ? sub.device() : device;
      level.sub = std::move(entry);
      // The level stays where it is while others are added below it.
      s = enter(levels, std::move(sub), opened, e.name, subDevice, entered);
      if (!s.ok() || entered) return s;
      continue;
    }
    entry.size = e.size;
    entry.mtime = e.mtime;
    Slot& slot = slots.emplace_back();
    const FileIdentity listed{e.ctime, e.device, e.inode};
    if (unchanged(level.records, entry, listed)) {
      progress_.bytes.fetch_add(entry.size, std::memory_order_relaxed);
      progress_.files.fetch_add(1, std::memory_order_relaxed);
      slot.entry = std::move(entry);
      slot.stored = true;
      slot.identity = listed;
      continue;
    }
    slot.kind = Slot::Kind::kFile;
    slot.entry = std::move(entry);
    slot.path = full();
    submitRead(slot, &dir, e.name);
  }
  return settle(slots, listing);
}

void FolderWalk::submitRead(Slot& slot, const localfs::LocalDir* dir, std::string name) {
  readers_.submit([this, &slot, dir, name = std::move(name)](FileChunker& chunker, const Status& rights) {
    FileOutcome out;
    if (rights.ok()) {
      out = readFile(chunker, dir, name, slot.path, slot.entry);
    } else {
      out.problem = "cannot open";
      out.error = rights.native;
    }
    slot.status = out.status;
    slot.stored = out.stored;
    slot.changed = out.changed;
    slot.special = out.special;
    slot.message = out.problem;
    slot.error = out.error;
    slot.identity = out.identity;
  });
}

Status FolderWalk::settle(std::deque<Slot>& slots, Listing& listing) {
  readers_.wait();
  Status failed;
  for (Slot& slot : slots) {
    if (!slot.status.ok()) {
      if (failed.ok()) failed = slot.status;
      continue;
    }
    if (!failed.ok()) continue;
    if (!slot.message.empty()) recordProblem(slot.path, slot.message, slot.error);
    if (slot.special) ++notes_.specialFiles;
    if (slot.folder) ++notes_.unreadFolders;
    if (slot.badName != Slot::BadName::kNone) ++notes_.badNames;
    if (slot.badName == Slot::BadName::kFolder) ++notes_.badNameFolders;
    if (slot.kind == Slot::Kind::kProblem || !slot.stored) continue;
    if (slot.changed) ++notes_.changedFiles;
    countFile(slot.entry.size);
    listing.add(std::move(slot.entry), slot.identity);
  }
  slots.clear();
  return failed;
}

bool FolderWalk::entersMount(const localfs::LocalDir& dir, const std::string& name, const std::string& path) {
  std::string type;
  Status looked = dir.fileSystemOf(name, type);
  if (looked.ok() && !IsLeftOutFileSystem(type)) return true;
  noteMount(path, looked, type);
  return false;
}

bool FolderWalk::entersMount(const localfs::LocalDir& opened, const std::string& path) {
  std::string type;
  Status looked = opened.fileSystem(type);
  if (looked.ok() && !IsLeftOutFileSystem(type)) return true;
  noteMount(path, looked, type);
  return false;
}

void FolderWalk::noteMount(const std::string& path, const Status& looked, const std::string& type) {
  // A mount the table does not show cannot be told from a network one.
  progress_.skipped.fetch_add(1, std::memory_order_relaxed);
  notes_.skippedMounts.push_back(path + " (" + (looked.ok() ? PrintableName(type) : std::string("unknown")) + ")");
}

bool FolderWalk::unchanged(const FolderRecords& records, ListingEntry& entry, const FileIdentity& identity) const {
  auto it = records.find(entry.name);
  if (it == records.end() || it->second.size != entry.size || it->second.mtime != entry.mtime ||
      it->second.identity != identity)
    return false;
  for (const BlobId& id : it->second.ids)
    if (!sink_.hasBlob(id)) return false;
  entry.content = it->second.ids;
  return true;
}

FolderWalk::FileOutcome FolderWalk::readFile(FileChunker& chunker, const localfs::LocalDir* dir,
                                             const std::string& name, const std::string& path, ListingEntry& entry) {
  FileOutcome out;
  if (IsCancelled(cancel_)) {
    out.status = Status(Status::kCanceled, "");
    return out;
  }
  progress_.setCurrent(path);
  localfs::LocalFile file;
  Status opened = dir != nullptr ? dir->openFile(name, file) : localfs::LocalFile::open(path, file);
  if (opened.code == Status::kUnsupported) {  // replaced by a FIFO or the like since it was listed
    progress_.skipped.fetch_add(1, std::memory_order_relaxed);
    out.special = true;
    return out;
  }
  if (!opened.ok()) {
    out.problem = "cannot open";
    out.error = opened.native;
    return out;
  }
  return readContent(chunker, file, path, entry);
}

FolderWalk::FileOutcome FolderWalk::readContent(FileChunker& chunker, localfs::LocalFile& file,
                                                const std::string& path, ListingEntry& entry) {
  FileOutcome out;
  localfs::LocalFile::Stamp before = file.openedStamp();
  for (int attempt = 1;; ++attempt) {
    entry.content.clear();
    uint64_t total = 0;
    uint64_t counted = 0;
    int readError = 0;
    out.status = chunker.chunkFile(
        file, cancel_, &progress_.bytesRead,
        [&](const uint8_t* data, size_t size) {
          BlobId id;
          Status stored = sink_.storeBlob(BlobSink::kDataBlob, data, size, id);
          if (!stored.ok()) return stored;
          entry.content.push_back(id);
          progress_.bytes.fetch_add(size, std::memory_order_relaxed);
          counted += size;
          return Status();
        },
        total, readError);
    if (!out.status.ok()) return out;
    if (readError != 0) {
      out.problem = "read failed";
      out.error = readError;
      return out;
    }
    if (readHook_) readHook_(path, attempt);
    localfs::LocalFile::Stamp after;
    Status looked = file.stamp(after);
    if (!looked.ok()) {
      out.problem = "read failed";
      out.error = looked.native;
      return out;
    }
    entry.size = total;
    // The stamp of the content read, so that the next run reads a file
    // that changed again after this one.
    entry.mtime = ModifiedTime(before);
    out.identity = FileIdentity{ChangeTime(before), file.device(), file.inode()};
    if (after == before) break;
    if (attempt == kMaxReadAttempts) {
      // What was read may mix blocks of several versions of the file; it
      // is kept, as the best there is, under a warning.
      out.changed = true;
      out.problem = "kept changing while it was read; the stored copy may mix old and new content";
      break;
    }
    // The chunks of this read stay in the repository; those the next read
    // sees again are not stored twice.
    progress_.bytes.fetch_sub(counted, std::memory_order_relaxed);
    before = after;
    Status rewound = file.rewind();
    if (!rewound.ok()) {
      out.problem = "read failed";
      out.error = rewound.native;
      return out;
    }
  }
  progress_.files.fetch_add(1, std::memory_order_relaxed);
  out.stored = true;
  return out;
}

}  // namespace tarn::backup
