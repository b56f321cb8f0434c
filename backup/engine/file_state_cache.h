// The file-state cache of one backup job: what the last finished run found in
// every folder (per file its size, its modification time and the blob ids of
// its content), so that the walk can take an unchanged file without reading
// it. Two files in the job's folder: "state.bin", written by the last run
// that finished, and "state.new", written during this run and moved over
// state.bin only after the run's data has reached the repository. The cache
// is only a shortcut: a missing or damaged state.bin makes the run read every
// file, and the walk checks every id against the repository anyway.
//
// Format of both files: folder blocks one after another, no header, integers
// little-endian: u32 pathLength, the folder path (UTF-8), u32 recordsLength,
// then file records: u16 nameLength, the name (UTF-8), u64 size, u64
// modification time (FILETIME units), u32 count, count blob ids of 32 bytes.
//
// One FileStateCache per run, owned by the run and used by its walking thread
// only. The reader indexes state.bin's block headers at open and reads one
// folder's records when that folder is walked.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "backup/repo/blob_id.h"
#include "backup/repo/folder_listing.h"
#include "foundation/file_util.h"

namespace tarn::backup {

inline constexpr char kStateFileName[] = "state.bin";
inline constexpr char kStateNewFileName[] = "state.new";
// A block whose path is longer ends the index: nothing after it is trusted.
constexpr uint32_t kMaxStatePathLength = 70000;
// Names this long or longer are not recorded (their length has 16 bits).
constexpr size_t kMaxStateNameLength = 65536;

struct FileRecord {
  uint64_t size = 0;
  uint64_t mtime = 0;
  std::vector<BlobId> ids;
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
  // left out; nothing when no file remains). The first failed write deletes
  // state.new, and the rest of the run writes and commits nothing.
  void appendFolder(const std::string& folderPath, const std::vector<ListingEntry>& entries);

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
  };

  void dropWriter();

  std::optional<vx::UniqueFd> reader_;
  std::unordered_map<std::string, BlockRef> index_;
  std::optional<vx::UniqueFd> writer_;
  std::string newPath_;
  std::string binPath_;
};

}  // namespace tarn::backup
