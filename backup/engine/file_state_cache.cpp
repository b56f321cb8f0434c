#include "backup/engine/file_state_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "foundation/log.h"
#include "foundation/text.h"

namespace tarn::backup {

namespace {

constexpr size_t kBlockHeaderSize = 8;    // pathLength + recordsLength
constexpr size_t kRecordFixedSize = 22;   // all of a record but its name and ids
constexpr size_t kIdentitySize = 24;      // change time, device and inode
constexpr size_t kHeaderWindow = 65536;   // bytes read at once while indexing
constexpr mode_t kStateFileMode = 0600;  // the records name every file backed up

uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Load32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint64_t Load64(const uint8_t* p) { return uint64_t(Load32(p)) | (uint64_t(Load32(p + 4)) << 32); }

void Put16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}
void Put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void Put64(std::string& out, uint64_t v) {
  Put32(out, static_cast<uint32_t>(v));
  Put32(out, static_cast<uint32_t>(v >> 32));
}
void Patch32(std::string& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Reads up to `size` bytes at `offset`; fewer only at the end of the file or
// on an error.
size_t ReadAt(int fd, uint64_t offset, void* out, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::pread(fd, static_cast<uint8_t*>(out) + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

// The block headers are small and many: reading them through a window keeps
// the index pass at one system call per window instead of three per block.
class WindowReader {
 public:
  explicit WindowReader(int fd) : fd_(fd) {}

  bool read(uint64_t offset, void* out, size_t size) {
    if (offset < start_ || offset + size > start_ + filled_) {
      window_.resize(std::max(size, kHeaderWindow));
      start_ = offset;
      filled_ = ReadAt(fd_, offset, window_.data(), window_.size());
      if (filled_ < size) return false;
    }
    std::memcpy(out, window_.data() + (offset - start_), size);
    return true;
  }

 private:
  int fd_;
  std::vector<uint8_t> window_;
  uint64_t start_ = 0;
  size_t filled_ = 0;
};

}  // namespace

FileStateCache::~FileStateCache() { close(); }

void FileStateCache::open(const std::string& statePath) {
  reader_.reset();
  index_.clear();
  int fd = ::open(statePath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  reader_.emplace(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return;
  const uint64_t fileSize = static_cast<uint64_t>(st.st_size);
  WindowReader in(fd);
  uint64_t offset = 0;
  while (fileSize - offset >= kBlockHeaderSize) {
    uint8_t word[4];
    if (!in.read(offset, word, sizeof word)) break;
    const uint32_t pathLength = Load32(word);
    if (pathLength > kMaxStatePathLength) break;
    std::string path(pathLength, '\0');
    if (!in.read(offset + 4, path.data(), pathLength)) break;
    if (!in.read(offset + 4 + pathLength, word, sizeof word)) break;
    const uint32_t recordsLength = Load32(word);
    const uint64_t records = offset + kBlockHeaderSize + pathLength;
    if (records + recordsLength > fileSize) break;
    const bool identified = path.starts_with(kIdentifiedBlockTag);
    if (identified) path.erase(0, kIdentifiedBlockTag.size());
    index_[std::move(path)] = BlockRef{records, recordsLength, identified};
    offset = records + recordsLength;
  }
}

void FileStateCache::prepareWriter(const std::string& stateDir) {
  if (stateDir.empty()) return;
  newPath_ = vx::JoinPath(stateDir, kStateNewFileName);
  binPath_ = vx::JoinPath(stateDir, kStateFileName);
  if (!vx::MakeDirs(stateDir)) return;
  // A state.new left by an interrupted run is emptied: its records may name
  // blobs that never reached the repository.
  int fd = ::open(newPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, kStateFileMode);
  if (fd >= 0) writer_.emplace(fd);
}

FolderRecords FileStateCache::readFolder(const std::string& folderPath) const {
  FolderRecords out;
  // No block holds a longer path, and hashing one costs as much as its length.
  if (folderPath.size() + kIdentifiedBlockTag.size() > kMaxStatePathLength) return out;
  auto it = index_.find(folderPath);
  if (it == index_.end() || !reader_) return out;
  std::vector<uint8_t> data(it->second.length);
  if (ReadAt(reader_->get(), it->second.offset, data.data(), data.size()) != data.size()) return out;

  const size_t fixedSize = kRecordFixedSize + (it->second.identified ? kIdentitySize : 0);
  size_t pos = 0;
  const size_t end = data.size();
  while (end - pos >= 2) {
    const size_t nameLength = Load16(&data[pos]);
    if (end - pos < fixedSize + nameLength) break;
    const uint8_t* p = &data[pos + 2];
    std::string name(reinterpret_cast<const char*>(p), nameLength);
    p += nameLength;
    FileRecord record;
    record.size = Load64(p);
    record.mtime = Load64(p + 8);
    p += 16;
    if (it->second.identified) {
      record.identity = FileIdentity{Load64(p), Load64(p + 8), Load64(p + 16)};
      p += kIdentitySize;
    }
    const uint64_t count = Load32(p);
    const size_t idsAt = pos + fixedSize + nameLength;
    if ((end - idsAt) / kBlobIdSize < count) break;
    record.ids.resize(count);
    for (uint64_t i = 0; i < count; ++i)
      std::memcpy(record.ids[i].bytes.data(), &data[idsAt + i * kBlobIdSize], kBlobIdSize);
    out[std::move(name)] = std::move(record);
    pos = idsAt + count * kBlobIdSize;
  }
  return out;
}

void FileStateCache::appendFolder(const std::string& folderPath, const std::vector<ListingEntry>& entries,
                                  const std::vector<FileIdentity>& identities) {
  const size_t pathLength = kIdentifiedBlockTag.size() + folderPath.size();
  // The index of the next run stops at a longer path and would lose every
  // block after it: such a folder's files are read again instead.
  if (!writer_ || pathLength > kMaxStatePathLength) return;
  // A folder of folders has no block; deciding that costs no copy of its path.
  if (std::none_of(entries.begin(), entries.end(),
                   [](const ListingEntry& e) { return !e.isDir && e.name.size() < kMaxStateNameLength; }))
    return;
  std::string block;
  Put32(block, static_cast<uint32_t>(pathLength));
  block.append(kIdentifiedBlockTag);
  block.append(folderPath);
  const size_t lengthAt = block.size();
  Put32(block, 0);
  const size_t recordsAt = block.size();
  for (size_t i = 0; i < entries.size(); ++i) {
    const ListingEntry& e = entries[i];
    if (e.isDir || e.name.size() >= kMaxStateNameLength) continue;
    const FileIdentity identity = i < identities.size() ? identities[i] : FileIdentity();
    Put16(block, static_cast<uint16_t>(e.name.size()));
    block.append(e.name);
    Put64(block, e.size);
    Put64(block, e.mtime);
    Put64(block, identity.ctime);
    Put64(block, identity.device);
    Put64(block, identity.inode);
    Put32(block, static_cast<uint32_t>(e.content.size()));
    for (const BlobId& id : e.content) block.append(reinterpret_cast<const char*>(id.bytes.data()), kBlobIdSize);
  }
  const size_t recordsLength = block.size() - recordsAt;
  // Lengths that do not fit their 32 bits would make the block unreadable and
  // hide every block after it; the folder's files are read again next time.
  constexpr size_t kMaxLength = std::numeric_limits<uint32_t>::max();
  if (recordsLength > kMaxLength) return;
  Patch32(block, lengthAt, static_cast<uint32_t>(recordsLength));
  if (!vx::WriteAll(writer_->get(), block.data(), block.size())) dropWriter();
}

void FileStateCache::commit() {
  reader_.reset();
  index_.clear();
  if (!writer_) return;
  // state.new must be on disk before it takes state.bin's name: a crash just
  // after the rename must find the new records, not an empty file.
  bool synced = ::fsync(writer_->get()) == 0;
  int error = synced ? 0 : errno;
  if (!writer_->close() && synced) {
    synced = false;
    error = errno;
  }
  writer_.reset();
  if (synced && ::rename(newPath_.c_str(), binPath_.c_str()) == 0) {
    // Losing the rename in a crash only brings the old state.bin back, which
    // is still true of the repository: no error.
    vx::SyncParentFolder(binPath_);
    return;
  }
  if (synced) error = errno;
  vx::log::write(vx::log::kWarn, "backup: cannot replace %s: %s", binPath_.c_str(),
                 vx::FormatWin32Error(static_cast<uint32_t>(error)).c_str());
  ::unlink(newPath_.c_str());
}

void FileStateCache::close() {
  if (writer_) dropWriter();
  reader_.reset();
  index_.clear();
}

void FileStateCache::dropWriter() {
  writer_.reset();
  ::unlink(newPath_.c_str());
}

}  // namespace tarn::backup
