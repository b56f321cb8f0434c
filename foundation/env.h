// The local file system as the product's stores see it: open files with
// positional I/O, renames, deletions, folder syncs and listings. Stores whose
// files must survive a crash in a known state (the block cache, the offline
// journal) reach the disk only through an Env, so that a test can hand them a
// MemoryEnv (memory_env.h) that fails or holds any step and shows what a
// restart would find. Env::Default() is the POSIX implementation; it lives
// for the whole process and any thread may call it. An EnvFile belongs to the
// object that opened it; its positional calls may come from several threads.
//
// Every call returns a Status: the code follows the error (not-found,
// exists, no-space, access-denied, io, ...), the message names the step and
// the path, and native holds errno.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/status.h"

namespace tarn {

// Files made through an Env are private to the service; so are its folders.
inline constexpr uint32_t kEnvFileMode = 0600;
inline constexpr uint32_t kEnvFolderMode = 0700;
// Suffix of the temporary that Env::writeFileAtomic moves into place.
inline constexpr std::string_view kEnvTempSuffix = ".tmp";

struct EnvFileInfo {
  bool isDir = false;
  uint64_t size = 0;
  Timestamp mtime;
};

// How large the file system that holds a path is, and how much of it a
// writer without privilege may still fill: bytes, and files (inodes) where
// the file system counts them (totalInodes 0: it does not).
struct EnvSpace {
  uint64_t totalBytes = 0;
  uint64_t freeBytes = 0;
  uint64_t totalInodes = 0;
  uint64_t freeInodes = 0;
};

class EnvFile {
 public:
  virtual ~EnvFile() = default;

  // Reads up to `length` bytes at `offset`; fewer only at the end of the file.
  virtual Status read(uint64_t offset, void* buffer, size_t length, size_t* got) = 0;
  // Writes all `length` bytes at `offset`.
  virtual Status write(uint64_t offset, const void* data, size_t length) = 0;
  // Sets the end of the file; what lies beyond a growing end reads as zeros.
  virtual Status truncate(uint64_t size) = 0;
  // The file's content is on the disk when this returns ok.
  virtual Status sync() = 0;
  // The content, and the length where it grew, are on the disk when this
  // returns ok; other attributes (times) may lag. Cheaper than sync for a
  // file that only grows.
  virtual Status syncData() { return sync(); }
  // Starts writing the file's bytes to the disk without waiting for them,
  // so that the syncs of a batch of files that follow share the file
  // system's commits instead of paying one each. Promises nothing.
  virtual Status startSync() { return Status(); }
  virtual Status size(uint64_t* out) = 0;
  // A failed close may be the first sign of lost data; the destructor closes
  // without telling.
  virtual Status close() = 0;
};

class Env {
 public:
  enum class OpenMode {
    kRead,       // existing file, read only
    kReadWrite,  // read and write, created when missing
    kCreateNew,  // write only, must not exist yet
    kReplace,    // write only, created or cut to nothing
  };

  virtual ~Env() = default;

  static Env* Default();

  virtual Status open(const std::string& path, OpenMode mode, std::unique_ptr<EnvFile>* file) = 0;
  // Replaces `to` when it exists.
  virtual Status rename(const std::string& from, const std::string& to) = 0;
  virtual Status unlink(const std::string& path) = 0;
  // Makes the folder's entries (files created, renamed or deleted in it)
  // survive a crash.
  virtual Status syncDir(const std::string& path) = 0;
  // One folder, its parent existing; "exists" when it is already there.
  virtual Status makeDir(const std::string& path) = 0;
  // The names in a folder, without "." and "..", in no particular order.
  virtual Status list(const std::string& path, std::vector<std::string>* names) = 0;
  virtual Status stat(const std::string& path, EnvFileInfo* info) = 0;
  // The space of the file system that holds `path`; "unsupported" where
  // the Env cannot tell.
  virtual Status space(const std::string& path, EnvSpace* out);
  // Names the machine's current boot: writes that were never synced survive
  // a process crash but not a power loss, which starts a new boot. Empty
  // when it cannot be told, so that nothing may count on it.
  virtual std::string bootId() const = 0;

  // Helpers made of the steps above, so a test Env sees each of them.

  // Creates the folder and its missing parents, syncing each parent that
  // gained a folder so that the new folders survive a crash.
  Status makeDirs(const std::string& path);
  // The whole file; "too-large" above maxBytes.
  Status readFile(const std::string& path, uint64_t maxBytes, std::string* out);
  // Writes a whole file, which must not exist yet with createNew. With
  // durable the file and its folder entry are on the disk when ok returns.
  Status writeFile(const std::string& path, std::string_view data, bool createNew, bool durable);
  // Replaces the file through path + ".tmp" and a rename, so that a crash
  // leaves the old or the new content, never a mixture. With durable the new
  // content is on the disk when ok returns; without, a power loss may leave
  // the old one.
  Status writeFileAtomic(const std::string& path, std::string_view data, bool durable);
};

// The folder part of a path ("." for a bare name, "/" for a top-level entry).
std::string EnvParentDir(const std::string& path);

}  // namespace tarn
