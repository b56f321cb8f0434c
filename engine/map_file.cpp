#include "engine/map_file.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "foundation/backend_types.h"
#include "foundation/log.h"
#include "foundation/text.h"

namespace tarn {

namespace {

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

// The number of state bytes a map of this size has: one per block.
uint64_t BlockCount(uint64_t size, uint64_t blockSize) { return size / blockSize + (size % blockSize != 0 ? 1 : 0); }

// Where the trailers start: after the states of the size. 0 when the header
// gives no usable block size or size.
uint64_t TrailersAt(std::string_view bytes) {
  if (bytes.size() < kMapHeaderSize) return 0;
  const uint64_t blockSize = GetU32(bytes, kMapOffBlockSize);
  const uint64_t size = GetU64(bytes, kMapOffSize);
  if (blockSize == 0 || size > kMaxRemoteFileBytes) return 0;
  return kMapHeaderSize + BlockCount(size, blockSize);
}

bool HasTag(std::string_view bytes, uint64_t at, const char* tag, size_t tagBytes, size_t trailerBytes) {
  return bytes.size() >= at + trailerBytes && bytes.substr(at, tagBytes) == std::string_view(tag, tagBytes);
}

}  // namespace

std::string EncodeMap(const MapHeader& header, const std::vector<uint8_t>& states) {
  const bool mtime = !header.pendingMtime.isZero() && header.blockSize != 0;
  const bool boot = !header.writtenUnder.empty() && header.writtenUnder.size() <= kMapBootField &&
                    header.blockSize != 0;
  // The trailers sit where the states of the size end, so they must end there.
  const uint64_t count = mtime || boot ? BlockCount(header.size, header.blockSize) : states.size();
  std::string out(kMapHeaderSize + count + (mtime ? kMapTrailerBytes : 0) + (boot ? kMapBootTrailerBytes : 0), '\0');
  out.replace(0, kMapMagicBytes, kMapMagic, kMapMagicBytes);
  PutU32(out, kMapOffBlockSize, header.blockSize);
  PutU32(out, kMapOffHeaderSize, kMapHeaderSize);
  PutU64(out, kMapOffSize, header.size);
  PutU64(out, kMapOffRemoteSize, header.remoteSize);
  PutU64(out, kMapOffMtimeSeconds, static_cast<uint64_t>(header.remoteMtime.seconds));
  PutU32(out, kMapOffMtimeNanos, header.remoteMtime.nanoseconds);
  out[kMapOffDirty] = header.dirty ? 1 : 0;
  out[kMapOffCopy] = static_cast<char>(header.copy);
  out[kMapOffReplaceWhole] = header.replaceWhole ? 1 : 0;
  PutText(out, kMapOffEtag, kMapEtagField, header.etag);
  PutText(out, kMapOffPath, kMapPathField, header.path);
  const size_t copied = static_cast<size_t>(std::min<uint64_t>(count, states.size()));
  if (copied != 0) std::memcpy(out.data() + kMapHeaderSize, states.data(), copied);
  size_t at = kMapHeaderSize + static_cast<size_t>(count);
  if (mtime) {
    out.replace(at, kMapMtimeTagBytes, kMapMtimeTag, kMapMtimeTagBytes);
    PutU64(out, at + kMapMtimeTagBytes, static_cast<uint64_t>(header.pendingMtime.seconds));
    PutU32(out, at + kMapMtimeTagBytes + 8, header.pendingMtime.nanoseconds);
    at += kMapTrailerBytes;
  }
  if (boot) {
    out.replace(at, kMapBootTagBytes, kMapBootTag, kMapBootTagBytes);
    out.replace(at + kMapBootTagBytes, header.writtenUnder.size(), header.writtenUnder);
  }
  return out;
}

uint64_t MapBootAt(std::string_view bytes) {
  uint64_t at = TrailersAt(bytes);
  if (at == 0) return 0;
  if (HasTag(bytes, at, kMapMtimeTag, kMapMtimeTagBytes, kMapTrailerBytes)) at += kMapTrailerBytes;
  if (!HasTag(bytes, at, kMapBootTag, kMapBootTagBytes, kMapBootTrailerBytes)) return 0;
  return at + kMapBootTagBytes;
}

bool CommitMapInPlace(Env& env, const std::string& path, uint64_t bootAt) {
  std::unique_ptr<EnvFile> file;
  if (!env.open(path, Env::OpenMode::kReadWrite, &file).ok()) return false;
  const std::string zeros(kMapBootField, '\0');
  bool ok = file->write(bootAt, zeros.data(), zeros.size()).ok() && file->syncData().ok();
  return file->close().ok() && ok;
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
  const uint8_t copy = static_cast<uint8_t>(bytes[kMapOffCopy]);
  out->copy = copy == kMapCopySettled || copy == kMapCopyUnsettled ? copy : kMapCopyUnknown;
  out->replaceWhole = bytes[kMapOffReplaceWhole] != 0;
  out->etag = GetText(bytes, kMapOffEtag, kMapEtagField);
  out->path = GetText(bytes, kMapOffPath, kMapPathField);
  out->pendingMtime = Timestamp();
  out->writtenUnder.clear();
  const uint64_t at = TrailersAt(bytes);
  if (at != 0 && HasTag(bytes, at, kMapMtimeTag, kMapMtimeTagBytes, kMapTrailerBytes)) {
    out->pendingMtime.seconds = static_cast<int64_t>(GetU64(bytes, at + kMapMtimeTagBytes));
    out->pendingMtime.nanoseconds = GetU32(bytes, at + kMapMtimeTagBytes + 8);
  }
  if (const uint64_t bootAt = MapBootAt(bytes); bootAt != 0) {
    // Only trailing NULs are padding: zeros in front are a torn field.
    std::string_view field = bytes.substr(bootAt, kMapBootField);
    const size_t end = field.find_last_not_of('\0');
    if (end != std::string_view::npos) out->writtenUnder = std::string(field.substr(0, end + 1));
  }
  return true;
}

bool HasMapMagic(std::string_view bytes) {
  return bytes.size() >= kMapMagicBytes && bytes.substr(0, kMapMagicBytes) == std::string_view(kMapMagic, kMapMagicBytes);
}

uint64_t MaxCachedFileBytes(uint32_t blockSize) { return std::min(kMaxRemoteFileBytes, kMaxMapStates * blockSize); }

bool DecodeUsableMap(std::string_view bytes, uint32_t blockSize, MapHeader* out) {
  // A size no file can have would make the block count wrap.
  return DecodeMapHeader(bytes, out) && HasMapMagic(bytes) && out->headerSize == kMapHeaderSize &&
         out->blockSize == blockSize && out->size <= MaxCachedFileBytes(blockSize) &&
         out->remoteSize <= kMaxRemoteFileBytes;
}

std::string_view MapStates(std::string_view bytes) {
  if (bytes.size() < kMapHeaderSize) return {};
  return bytes.substr(kMapHeaderSize);
}

bool MapHasDirty(std::string_view bytes) {
  if (bytes.size() < kMapHeaderSize) return false;
  if (bytes[kMapOffDirty] != 0) return true;
  std::string_view states = MapStates(bytes);
  // Bytes past the states of the size (a trailer) are no states.
  if (const uint64_t at = TrailersAt(bytes); at != 0)
    states = states.substr(0, static_cast<size_t>(std::min<uint64_t>(states.size(), at - kMapHeaderSize)));
  for (char c : states)
    if (static_cast<uint8_t>(c) & kBlockDirty) return true;
  return false;
}

uint64_t MapPresentBytes(std::string_view bytes) {
  if (bytes.size() < kMapHeaderSize || !HasMapMagic(bytes)) return 0;
  const uint64_t blockSize = GetU32(bytes, kMapOffBlockSize);
  const uint64_t size = GetU64(bytes, kMapOffSize);
  if (blockSize == 0 || size > kMaxRemoteFileBytes) return 0;
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

std::string WithMapPath(std::string_view bytes, const std::string& path) {
  std::string out(bytes);
  if (out.size() < kMapHeaderSize) return out;
  std::fill(out.begin() + kMapOffPath, out.begin() + kMapOffPath + kMapPathField, '\0');
  PutText(out, kMapOffPath, kMapPathField, path);
  return out;
}

bool ReadSmallFile(Env& env, const std::string& path, std::string* out) {
  return env.readFile(path, kMaxSmallFileBytes, out).ok();
}

bool WriteFileAtomic(Env& env, const std::string& path, std::string_view data, bool createNewFirst, bool flush) {
  if (createNewFirst && env.writeFile(path, data, true, flush).ok()) return true;
  return env.writeFileAtomic(path, data, flush).ok();
}

bool OverwriteInPlace(Env& env, const std::string& path, std::string_view data) {
  EnvFileInfo info;
  std::unique_ptr<EnvFile> file;
  // Made anew it would take the inode it is there to spare.
  if (!env.stat(path, &info).ok() || !env.open(path, Env::OpenMode::kReadWrite, &file).ok()) return false;
  if (!file->write(0, data.data(), data.size()).ok()) return false;
  if (info.size > data.size() && !file->truncate(data.size()).ok()) return false;
  return file->close().ok();
}

bool DeleteFileRetry(Env& env, const std::string& path) {
  for (int attempt = 1; attempt <= kDeleteAttempts; ++attempt) {
    const Status st = env.unlink(path);
    if (st.ok() || st.native == ENOENT || st.native == ENOTDIR) return true;
    if (st.native != EBUSY && st.native != EINTR && st.native != ETXTBSY) return false;
    if (attempt == kDeleteAttempts) {
      vx::log::write(vx::log::kWarn, "cache: cannot delete %s: %s", path.c_str(),
                     vx::FormatWin32Error(static_cast<uint32_t>(st.native)).c_str());
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kDeleteRetryPauseMs));
  }
  return false;
}

}  // namespace tarn
