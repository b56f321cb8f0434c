// Plain records that back-ends report and the engine, the name policy and the
// configuration exchange: capabilities, attributes, listing entries, space.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/status.h"

namespace tarn {

// The largest file size the system accepts from a server or a stored record:
// ext4's own limit, so a cache could never hold a larger file anyway, and small
// enough that block counts and offsets derived from it cannot wrap.
inline constexpr uint64_t kMaxRemoteFileBytes = 1ull << 44;

struct BackendCaps {
  bool rangeRead = true;
  bool randomWrite = false;
  bool resumableUpload = false;
  bool truncate = false;
  bool renameOverwrite = true;
  bool renameDirs = true;
  bool setMtime = false;
  bool caseSensitive = true;
  bool freeSpace = false;
  // Listings show names that start with a dot. nginx leaves them out of
  // every listing and still serves them by name: a listing that lacks one
  // does not say it is missing.
  bool listsHiddenNames = true;
  uint32_t maxNameBytes = 255;
  uint32_t maxPathBytes = 4096;
  uint64_t maxFileBytes = 0;  // 0: no limit known
  std::string invalidChars;
  std::string server;
  // Used by the backup repository: rename is a real server-side move (not a
  // copy), and folders exist only through the objects beneath them.
  bool nativeRename = true;
  bool implicitFolders = false;
  // Used by the drive engine: a rename over an existing file replaces it in
  // one step on the server, so that its readers find the old file or the
  // new one, never none (POSIX renames; a WebDAV MOVE removes the target
  // first).
  bool atomicReplace = false;
  // Used by the drive engine: a file read through from its start costs less
  // as one stream than as ranged reads (one GET rather than one a range).
  bool streamSequential = false;
  // Used by the server check: create fails, in one step on the server,
  // wherever something stands. False where the back-end must look first
  // (a WebDAV server that replaces what stands at the target of a COPY or
  // MOVE whatever Overwrite says), so that a file another client makes in
  // the same moment may still be replaced.
  bool exclusiveCreate = true;
};

struct RemoteAttr {
  enum Type : uint32_t { kFile = 0, kDirectory = 1, kSymlink = 2, kOther = 3 };

  uint32_t type = kFile;
  uint64_t size = 0;
  Timestamp mtime;
  Timestamp ctime;
  Timestamp atime;
  uint32_t mode = 0;
  bool readOnly = false;
  std::string etag;
  uint64_t fileId = 0;

  bool isDir() const { return type == kDirectory; }
};

struct DirEntry {
  std::string name;
  RemoteAttr attr;
};

struct FsStats {
  uint64_t total = 0;
  uint64_t free = 0;
  uint64_t available = 0;
  bool known = false;
};

// The size and the free space a drive shows when its server tells none:
// large enough that no program refuses to copy for want of room.
inline constexpr uint64_t kUnknownSpaceBytes = 1ull << 50;

}  // namespace tarn
