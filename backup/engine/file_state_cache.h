// The file-state cache of one backup job: what the last finished run found in
// every folder (per file its size, its modification and change times, its
// device and inode, and the blob ids of its content), so that the walk can
// take an unchanged file without reading it. A file replaced by another of
// the same size and modification time (a copy that keeps times, an unpacked
// archive, a rename over it, an edit in place with the time set back) has
// another change time or inode, so all of these must match. Two files in
// the job's folder: "state.bin", written by the last run that finished, and
// "state.new", written during this run and moved over state.bin only after
// the run's data has reached the repository. The cache is only a shortcut: a
// missing or damaged state.bin makes the run read every file, and the walk
// checks every id against the repository anyway.
//
// Format of both files: folder blocks one after another, no header, integers
// little-endian: u32 pathLength, the folder path (UTF-8), u32 recordsLength,
// then file records: u16 nameLength, the name (UTF-8), u64 size, u64
// modification time (FILETIME units), u32 count, count blob ids of 32 bytes.
// Blocks written now carry kIdentifiedBlockTag before their path, and their
// records hold u64 change time (FILETIME units), u64 device and u64 inode
// between the modification time and the count. Blocks without the tag, as
// earlier versions wrote them, are read too: their records vouch for no
// file, which is read once more. Earlier versions find no tagged block and
// read every file.
//
// One FileStateCache per run, owned by the run and used by its walking thread
// only. The reader indexes state.bin's block headers at open and reads one
// folder's records when that folder is walked.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "backup/repo/blob_id.h"
#include "backup/repo/folder_listing.h"
#include "foundation/file_util.h"

namespace tarn::backup {

inline constexpr char kStateFileName[] = "state.bin";
inline constexpr char kStateNewFileName[] = "state.new";
// A block whose path is longer ends the index: nothing after it is trusted.
// No such block is written: a folder that deep has its files read each run.
constexpr uint32_t kMaxStatePathLength = 70000;
// Names this long or longer are not recorded (their length has 16 bits).
constexpr size_t kMaxStateNameLength = 65536;
// Before the path of a block whose records carry identities; no path a walk
// records starts with a NUL.
inline constexpr std::string_view kIdentifiedBlockTag{"\0id", 3};

// What tells a file from another of the same size and modification time.
struct FileIdentity {
  uint64_t ctime = 0;  // FILETIME units, from st_ctim
  uint64_t device = 0;
  uint64_t inode = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

struct FileRecord {
  uint64_t size = 0;
  uint64_t mtime = 0;
  std::vector<BlobId> ids;
  // None in records of earlier versions: such a record matches no file.
  std::optional<FileIdentity> identity;
};

// A folder's records by file name (byte order).
using FolderRecords = std::map<std::string, FileRecord>;

class FileStateCache {
 public:
  FileStateCache() = default;
  // Deletes a state.new that was not committed (a failed or cancelled run).
  ~FileStateCache();
  FileStateCache(const FileStateCache&) = delete;
  FileStateCache& operator=(const FileStateCache&) = delete;

  // Opens state.bin and indexes its blocks. A missing, unreadable or short
  // file leaves the cache empty; a damaged one is indexed up to the first
  // block that does not fit.
  void open(const std::string& statePath);
  // Creates stateDir (with its parents) and an empty state.new in it. An
  // empty stateDir does nothing; a failure means this run writes no state.
  void prepareWriter(const std::string& stateDir);

  // The records of the last run's block for the folder; empty when there is
  // none or it cannot be read. Records parsed before damage are kept.
  FolderRecords readFolder(const std::string& folderPath) const;
  // Appends the folder's block of file records (folders and overlong names
  // left out; nothing when no file remains); identities[i] is that of
  // entries[i], and an entry without one gets an identity no file has. The
  // first failed write deletes state.new, and the rest of the run writes and
  // commits nothing.
  void appendFolder(const std::string& folderPath, const std::vector<ListingEntry>& entries,
                    const std::vector<FileIdentity>& identities = {});

  // After the repository holds the run's data: closes state.bin and moves
  // state.new over it. A failure is logged and leaves the old state.bin.
  void commit();
  // Closes both files, deleting an uncommitted state.new.
  void close();

  // True while state.new is open for this run.
  bool writing() const { return writer_.has_value(); }

 private:
  struct BlockRef {
    uint64_t offset = 0;  // of the records
    uint32_t length = 0;
    bool identified = false;  // the records carry identities
  };

  void dropWriter();

  std::optional<vx::UniqueFd> reader_;
  std::unordered_map<std::string, BlockRef> index_;
  std::optional<vx::UniqueFd> writer_;
  std::string newPath_;
  std::string binPath_;
};

}  // namespace tarn::backup
