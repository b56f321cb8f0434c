// Local file functions of the support library: paths, folders, whole-file
// reading, atomic replacement and wiping of secret buffers. Stateless free
// functions; any thread. Paths are UTF-8 with "/" as separator. None of them
// logs or throws (except on memory exhaustion): failure is false or empty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

// Owns one file descriptor and closes it on every path. Not shared between
// threads.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      close();
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }
  ~UniqueFd() { close(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void release() { fd_ = -1; }
  // False when the kernel reports a failure, which for a file being written
  // may be the first sign of lost data.
  bool close();

 private:
  int fd_;
};

// The largest file ReadWholeFile accepts.
constexpr uint64_t kMaxReadWholeFile = 64ull * 1024 * 1024;

// dir + "/" + name, with exactly one separator between them.
std::string JoinPath(std::string_view dir, std::string_view name);

// Creates the folder and its missing parents; true when it exists afterwards.
bool MakeDirs(const std::string& path);
// The same, each folder it makes given exactly `mode`, whatever the
// process's umask (folders that other users must reach); folders already
// there keep theirs.
bool MakeDirs(const std::string& path, uint32_t mode);

// True when the path exists and is not a folder.
bool FileExists(const std::string& path);

// Full path of the running executable; empty on failure.
std::string ModulePath();
// The folder holding the running executable; empty on failure.
std::string ModuleDir();

// Whole file (at most kMaxReadWholeFile bytes). The string form leaves `out`
// unchanged on failure; the vector form clears it first.
bool ReadWholeFile(const std::string& path, std::string& out);
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out);
// The last `maxBytes` bytes of a file, the whole file when it is smaller;
// `out` is left unchanged on failure.
bool ReadFileTail(const std::string& path, uint64_t maxBytes, std::string& out);

// Writes path + ".tmp", syncs it, renames it over `path` and syncs the
// folder. A failure before the rename removes the temporary and leaves the
// old file untouched; a failed sync of the folder after the rename also gives
// false, with the new content in place but not known to be durable. While
// another writer of the same path holds the temporary, the call fails at
// once instead of waiting; callers that write one file from several threads
// serialise those writes themselves.
bool WriteFileAtomic(const std::string& path, const void* data, size_t size);
bool WriteFileAtomic(const std::string& path, const std::string& data);
bool WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& data);
// The same for a file that only its owner may read: mode 0600 from the
// temporary's first byte on, whatever mode the file it replaces had.
bool WritePrivateFileAtomic(const std::string& path, const std::string& data);
// Takes every access of group and others from a regular file (mode 0600),
// not through a link; false when that cannot be done.
bool RestrictToOwner(const std::string& path);

// Writes all of the data at the descriptor's position, resuming after short
// writes and interruptions; false on the first error.
bool WriteAll(int fd, const void* data, size_t size);

// Syncs the folder that holds `path`: a renamed file survives a crash only
// once its folder entry is on disk.
bool SyncParentFolder(const std::string& path);

// Zero the bytes in a way the compiler cannot drop; the containers are
// emptied afterwards.
void SecureWipe(std::string& data);
void SecureWipe(std::vector<uint8_t>& data);
void SecureWipe(void* data, size_t size);

}  // namespace vx
