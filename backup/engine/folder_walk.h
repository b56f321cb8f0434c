// The folder walk of a backup run: turns one local folder tree into folder
// listings and content blobs. It lists each folder, leaves out what the job
// excludes and what must not or cannot be read, takes the blob ids of files
// that have not changed since the last run from the file-state cache, reads
// and chunks the others, stores every chunk and every folder's listing
// through the run's BlobSink, and appends each folder's file records to the
// cache's state.new. What cannot be read becomes a problem text; only
// cancellation and failures of the sink end the walk.
//
// On Linux: folders are walked by descriptor (openat, readdir, fstatat
// without following links), without recursion however deep a user nests
// them, and with descriptors held only for the source and the last few
// folders on the way down; a folder closed meanwhile is opened again as the
// parent of the one below it, told by its device and inode, and one moved
// away while the walk was below it is left out and named. A walk goes on into other file systems mounted
// below a source (a tmpfs, a disk of its own, a btrfs subvolume), but not
// into the kernel's virtual ones (proc, sysfs, devtmpfs...) nor into
// network and FUSE mounts (this system's own drives among them): those mount
// points are named in the walk's notes. Links to folders, FIFOs, sockets and
// devices are skipped and counted, never opened; a link to a file is read
// through; names that are not UTF-8 cannot be stored in a listing and become
// problems. Excludes match with fnmatch without case: a pattern holding "/"
// against the full path, any other against the name alone.
//
// A file that changes while it is read (its size, modification or change
// time differ after the read) is read again, up to kMaxReadAttempts times in
// all; one that keeps changing is stored as the last read found it, with a
// problem that names it, and counted in the notes.
//
// The files of a folder that must be read are read, cut and stored by the
// walk's reader threads (FileReaders) side by side, with the walking
// thread's file-system rights; the walking thread takes their outcomes in
// name order before it goes into a sub-folder and before it writes the
// folder's listing, so listings, problem texts and the file-state cache come
// out as a walk on one thread would make them.
//
// Owned by the backup run and called by its worker thread only; it and its
// reader threads update the shared Progress with atomic adds and its current
// path under its lock. The sink is called from the reader threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "backup/engine/blob_sink.h"
#include "backup/engine/file_chunker.h"
#include "backup/engine/file_readers.h"
#include "backup/engine/file_state_cache.h"
#include "backup/engine/progress.h"
#include "backup/repo/folder_listing.h"
#include "foundation/cancel_token.h"
#include "foundation/status.h"
#include "platform/local_dir.h"

namespace tarn::backup {

// The file attributes a listing records.
constexpr uint32_t kAttributeReadOnly = 0x1;
constexpr uint32_t kAttributeDirectory = 0x10;
constexpr uint32_t kAttributeNormal = 0x80;

// Reads of a file that keeps changing while it is read, the last one kept.
constexpr int kMaxReadAttempts = 3;

// The listing attributes of an entry: read-only without write bits, the
// folder bit for folders, "normal" when neither applies.
uint32_t ListingAttributes(const localfs::Entry& entry);
// The entry's permission bits, owner and group as a listing records them.
void RecordModeAndOwner(const localfs::Entry& entry, ListingEntry& out);

// True for the file systems a walk does not go into: the kernel's virtual
// ones and network and FUSE mounts, by the type the mount table gives.
bool IsLeftOutFileSystem(std::string_view type);

// What a walk left out or stored in part on purpose, for the job's note.
struct WalkNotes {
  uint64_t changedFiles = 0;  // stored while they kept changing
  uint64_t specialFiles = 0;  // FIFOs, sockets and devices skipped
  // Mount points left out, each as its path and " (" type ")".
  std::vector<std::string> skippedMounts;
  uint64_t danglingLinks = 0;  // symbolic links that lead nowhere
  // Folders left out with a problem (counted among the errors) as they
  // could not be listed; folders whose names cannot be stored are among the
  // bad names instead.
  uint64_t unreadFolders = 0;
  uint64_t badNames = 0;        // left out as their names are not valid UTF-8 (problems too)
  uint64_t badNameFolders = 0;  // of those, folders, with all they hold
};

// The problem text of a folder whose name a listing cannot hold.
inline constexpr std::string_view kFolderNameNotUtf8 =
    "the folder's name is not valid UTF-8; nothing in it is backed up";

// A name or path for problem texts, which must stay valid, printable UTF-8:
// each byte that is not part of a valid sequence, and each control character
// (NUL included, which a hostile listing may hold) or character that moves
// the text around it, is written as \xNN (vx::EscapeControls).
std::string PrintableName(std::string_view name);

// True when the first non-empty pattern that matches exists.
bool IsExcluded(const std::vector<std::string>& patterns, std::string_view name, std::string_view fullPath);

class FolderWalk {
 public:
  // Everything is borrowed and must outlive the walk; state may be null (a
  // run without file-state cache), cancel may be null (never cancelled).
  // With readers 0 every file is read on the walking thread.
  FolderWalk(BlobSink& sink, const ChunkerParams& chunking, const std::vector<std::string>& excludes,
             FileStateCache* state, Progress& progress, const CancelToken* cancel,
             std::vector<std::string>& problems, int readers = kDefaultFileReaders);

  // Walks the folder at `path` (absolute, as the file-state cache keys it)
  // and stores its listing: on success with stored true, `tree` is the id
  // of the listing. Success with stored false: the folder could not be
  // listed, a problem was recorded, and it is to be left out. A failed
  // status (cancellation, the sink) ends the run.
  Status backupFolder(const std::string& path, BlobId& tree, bool& stored);
  // Reads and chunks the file at `path`, filling the entry's content and
  // size (the bytes actually read). stored false: it could not be opened or
  // read (a problem was recorded) or it is no regular file (counted as
  // skipped).
  Status backupFile(const std::string& path, ListingEntry& entry, bool& stored);
  // Counts the problem and keeps its text while fewer than kMaxProblems are
  // kept: the path, ": ", the message and, for an errno other than 0, the
  // system's text in " (" and ")".
  void recordProblem(const std::string& path, std::string_view message, int error);
  // The same for a file or folder left out as its name is not valid UTF-8:
  // a listing cannot hold it, and an altered one would restore elsewhere.
  void recordBadName(const std::string& path);

  // What this walk stored or reused.
  uint64_t files() const { return files_; }
  uint64_t dirs() const { return dirs_; }
  uint64_t bytes() const { return bytes_; }
  const WalkNotes& notes() const { return notes_; }

  // Called on a reader thread after each read of the file at `path`
  // (attempt 1 for the first), before the file is looked at again to see
  // whether it changed meanwhile; tests change files there. Set before the
  // walk.
  using ReadHook = std::function<void(const std::string& path, int attempt)>;
  void setReadHook(ReadHook hook) { readHook_ = std::move(hook); }

 private:
  // One entry of a folder on its way into the listing, in name order: a
  // finished entry, a problem to record, or a file handed to a reader.
  struct Slot {
    enum class Kind { kEntry, kProblem, kFile } kind = Kind::kEntry;
    ListingEntry entry;
    std::string path;         // problems and files
    std::string_view message;  // a problem's text, or the one a reader found
    int error = 0;
    bool folder = false;   // a problem that leaves a folder out
    enum class BadName { kNone, kFile, kFolder } badName = BadName::kNone;  // left out for its name
    Status status;         // a reader's failure that ends the run
    bool stored = false;   // the reader stored the file
    bool changed = false;  // stored while it kept changing
    bool special = false;  // no regular file (any more): skipped
    FileIdentity identity;  // of the file the entry records
  };
  // What reading one file came to.
  struct FileOutcome {
    Status status;
    bool stored = false;
    bool changed = false;
    bool special = false;
    std::string_view problem;  // empty: none
    int error = 0;
    FileIdentity identity;  // of the file read
  };
  // A folder's listing entries as they are settled, each with the identity
  // of the file it records (none for folders) for the file-state cache.
  struct Listing {
    std::vector<ListingEntry> entries;
    std::vector<FileIdentity> identities;
    void add(ListingEntry entry, const FileIdentity& identity) {
      entries.push_back(std::move(entry));
      identities.push_back(identity);
    }
  };

  // One folder on the walk's way down, from the source to the folder being
  // walked: what is left of its entries and what its listing holds so far.
  struct Level {
    // Closed while kOpenLevels levels lie below it (never the source's).
    localfs::LocalDir dir;
    uint64_t device = 0;        // the file system the walk stays on in it
    uint64_t folderDevice = 0;  // the folder's own device and inode, which
    uint64_t inode = 0;         // tell it when it is opened again
    std::string name;           // in the folder above; empty for the source
    size_t pathLength = 0;      // of path_ while it is walked
    std::vector<localfs::Entry> found;  // in listing order
    size_t next = 0;                    // the first entry not yet walked
    FolderRecords records;
    Listing listing;
    ListingEntry sub;   // the entry of the sub-folder being walked
    bool lost = false;  // not found again after it was closed: left out
  };
  // A deque keeps each level in place while levels come and go below it.
  using Levels = std::deque<Level>;

  // Lists `dir`, the folder `name` of the last level (`opened` the result
  // of opening it; no name for the source), and adds it below the last
  // level; device is the file system the walk stays on in it. entered
  // false: it could not be listed, a problem was recorded.
  Status enter(Levels& levels, localfs::LocalDir dir, const Status& opened, const std::string& name,
               uint64_t device, bool& entered);
  // Walks the last level's entries on from where it stopped, until it
  // enters a sub-folder (entered) or the entries end.
  Status walkEntries(Levels& levels, bool& entered);
  // Stores the last level's listing (unless it was lost) and takes the
  // level away: tree and stored as backupFolder gives them.
  Status leave(Levels& levels, BlobId& tree, bool& stored);
  // Opens the last level's folder again, which was closed on the way down:
  // as the parent of `left`, the folder just left, or where that was moved
  // meanwhile, by name from the nearest open level. What cannot be found
  // again is lost.
  void reopen(Levels& levels, const localfs::LocalDir& left);
  // Leaves the levels from `from` down out, with a problem that names it.
  void lose(Levels& levels, size_t from);
  // Hands the slot's file to a reader, which fills the slot's entry and
  // outcome; `dir` (null: by path) and the slot must outlive the read.
  void submitRead(Slot& slot, const localfs::LocalDir* dir, std::string name);
  // Waits for the readers and moves the slots, in order, into the listing
  // and the problem list. The first failure of a reader is returned.
  Status settle(std::deque<Slot>& slots, Listing& listing);
  // Reads a file, relative to `dir` when it is open, else by path; runs on
  // a reader thread.
  FileOutcome readFile(FileChunker& chunker, const localfs::LocalDir* dir, const std::string& name,
                       const std::string& path, ListingEntry& entry);
  // Reads the open file into the entry's content until a read sees it
  // unchanged from start to end, or kMaxReadAttempts reads were made.
  FileOutcome readContent(FileChunker& chunker, localfs::LocalFile& file, const std::string& path,
                          ListingEntry& entry);
  // The record vouches for the file: the same size, times and identity, and
  // every blob still held; the entry then takes its content.
  bool unchanged(const FolderRecords& records, ListingEntry& entry, const FileIdentity& identity) const;
  void countFile(uint64_t size);
  // Whether the walk goes into the folder `name` of `dir`, which lies on
  // another file system than its parent; a mount point left out is noted.
  bool entersMount(const localfs::LocalDir& dir, const std::string& name, const std::string& path);
  // The same for a folder opened already.
  bool entersMount(const localfs::LocalDir& opened, const std::string& path);
  void noteMount(const std::string& path, const Status& looked, const std::string& type);

  // Levels whose folders stay open, the last ones on the way down.
  static constexpr size_t kOpenLevels = 32;

  BlobSink& sink_;
  const std::vector<std::string>& excludes_;
  const bool byPath_;  // an exclude pattern matches full paths
  FileStateCache* state_;
  Progress& progress_;
  const CancelToken* cancel_;
  std::vector<std::string>& problems_;
  FileReaders readers_;
  uint64_t files_ = 0;
  uint64_t dirs_ = 0;
  uint64_t bytes_ = 0;
  WalkNotes notes_;  // the walking thread's
  ReadHook readHook_;
  std::string path_;  // of the folder being walked
  // The last level's entries on their way into its listing; a deque keeps
  // each slot in place while readers fill it. Empty whenever the walk goes
  // into a sub-folder or leaves one.
  std::deque<Slot> slots_;
};

}  // namespace tarn::backup
