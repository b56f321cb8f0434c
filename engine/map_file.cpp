#include "engine/map_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "foundation/file_util.h"

namespace tarn {

namespace {

constexpr mode_t kCacheFileMode = 0600;

void PutU32(std::string& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xff);
}

void PutU64(std::string& out, size_t at, uint64_t v) {
  for (int i = 0; i < 8; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xff);
}

uint32_t GetU32(std::string_view in, size_t at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<uint8_t>(in[at + i])) << (8 * i);
  return v;
}

uint64_t GetU64(std::string_view in, size_t at) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(static_cast<uint8_t>(in[at + i])) << (8 * i);
  return v;
}

// Copies text into a zero-filled field, cut so that the last byte stays NUL.
void PutText(std::string& out, size_t at, size_t field, const std::string& text) {
  size_t n = std::min(text.size(), field - 1);
  out.replace(at, n, text, 0, n);
}

std::string GetText(std::string_view in, size_t at, size_t field) {
  std::string_view f = in.substr(at, field - 1);
  size_t nul = f.find('\0');
  return std::string(nul == std::string_view::npos ? f : f.substr(0, nul));
}


bool WriteAll(int fd, std::string_view data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool SyncFolder(const std::string& path) {
  vx::UniqueFd dir(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return dir.valid() && ::fsync(dir.get()) == 0;
}

}  // namespace

std::string EncodeMap(const MapHeader& header, const std::vector<uint8_t>& states) {
  std::string out(kMapHeaderSize + states.size(), '\0');
  out.replace(0, kMapMagicBytes, kMapMagic, kMapMagicBytes);
  PutU32(out, kMapOffBlockSize, header.blockSize);
  PutU32(out, kMapOffHeaderSize, kMapHeaderSize);
  PutU64(out, kMapOffSize, header.size);
  PutU64(out, kMapOffRemoteSize, header.remoteSize);
  PutU64(out, kMapOffMtimeSeconds, static_cast<uint64_t>(header.remoteMtime.seconds));
  PutU32(out, kMapOffMtimeNanos, header.remoteMtime.nanoseconds);
  out[kMapOffDirty] = header.dirty ? 1 : 0;
  PutText(out, kMapOffEtag, kMapEtagField, header.etag);
  PutText(out, kMapOffPath, kMapPathField, header.path);
  if (!states.empty()) std::memcpy(out.data() + kMapHeaderSize, states.data(), states.size());
  return out;
}

bool DecodeMapHeader(std::string_view bytes, MapHeader* out) {
  if (bytes.size() < kMapHeaderSize) return false;
  out->blockSize = GetU32(bytes, kMapOffBlockSize);
  out->headerSize = GetU32(bytes, kMapOffHeaderSize);
  out->size = GetU64(bytes, kMapOffSize);
  out->remoteSize = GetU64(bytes, kMapOffRemoteSize);
  out->remoteMtime.seconds = static_cast<int64_t>(GetU64(bytes, kMapOffMtimeSeconds));
  out->remoteMtime.nanoseconds = GetU32(bytes, kMapOffMtimeNanos);
  out->dirty = bytes[kMapOffDirty] != 0;
  out->etag = GetText(bytes, kMapOffEtag, kMapEtagField);
  out->path = GetText(bytes, kMapOffPath, kMapPathField);
  return true;
}

bool HasMapMagic(std::string_view bytes) {
  return bytes.size() >= kMapMagicBytes && bytes.substr(0, kMapMagicBytes) == std::string_view(kMapMagic, kMapMagicBytes);
}

std::string_view MapStates(std::string_view bytes) {
  if (bytes.size() < kMapHeaderSize) return {};
  return bytes.substr(kMapHeaderSize);
}

bool MapHasDirty(std::string_view bytes) {
  if (bytes.size() < kMapHeaderSize) return false;
  if (bytes[kMapOffDirty] != 0) return true;
  for (char c : MapStates(bytes))
    if (static_cast<uint8_t>(c) & kBlockDirty) return true;
  return false;
}

uint64_t MapPresentBytes(std::string_view bytes) {
  if (bytes.size() < kMapHeaderSize || !HasMapMagic(bytes)) return 0;
  const uint64_t blockSize = GetU32(bytes, kMapOffBlockSize);
  const uint64_t size = GetU64(bytes, kMapOffSize);
  if (blockSize == 0) return 0;
  uint64_t total = 0;
  uint64_t index = 0;
  for (char c : MapStates(bytes)) {
    const uint64_t start = index++ * blockSize;
    if (!(static_cast<uint8_t>(c) & kBlockPresent)) continue;
    if (start >= size) break;
    total += std::min(size - start, blockSize);
  }
  return total;
}

bool ReadSmallFile(const std::string& path, std::string* out) {
  out->clear();
  vx::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return false;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (static_cast<uint64_t>(st.st_size) > kMaxSmallFileBytes) return false;
  std::string buf(static_cast<size_t>(st.st_size), '\0');
  size_t done = 0;
  while (done < buf.size()) {
    ssize_t n = ::pread(fd.get(), buf.data() + done, buf.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // an error, or the file shrank under us
    done += static_cast<size_t>(n);
  }
  *out = std::move(buf);
  return true;
}

bool WriteFileWhole(const std::string& path, std::string_view data, bool createNew, bool flush) {
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (createNew ? O_EXCL : O_TRUNC);
  vx::UniqueFd fd(::open(path.c_str(), flags, kCacheFileMode));
  if (!fd.valid()) return false;
  if (!WriteAll(fd.get(), data)) return false;
  if (flush && ::fsync(fd.get()) != 0) return false;
  return fd.close();
}

bool WriteFileAtomic(const std::string& path, std::string_view data, bool createNewFirst, bool flush) {
  if (createNewFirst && WriteFileWhole(path, data, true, flush)) return !flush || SyncFolder(path);
  const std::string tmp = path + ".tmp";
  if (!WriteFileWhole(tmp, data, false, flush) || ::rename(tmp.c_str(), path.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return false;
  }
  return !flush || SyncFolder(path);
}

}  // namespace tarn
