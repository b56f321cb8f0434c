// The block-map file of a cached object: its binary layout, and the small
// file reader, writer and deleter (over an Env) that the block cache uses.
// Free functions without state; any thread may call them. A map is the only
// persistent record of an object's sizes, server version and unsent changes,
// so its layout is fixed and written field by field in little-endian order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/env.h"
#include "foundation/status.h"

namespace tarn {

inline constexpr char kMapMagic[] = "TARNMAP1";  // 8 bytes on disk, no terminator
inline constexpr size_t kMapMagicBytes = 8;
inline constexpr uint32_t kMapHeaderSize = 4400;

// Field offsets inside the header.
inline constexpr size_t kMapOffBlockSize = 8;
inline constexpr size_t kMapOffHeaderSize = 12;
inline constexpr size_t kMapOffSize = 16;
inline constexpr size_t kMapOffRemoteSize = 24;
inline constexpr size_t kMapOffMtimeSeconds = 32;
inline constexpr size_t kMapOffMtimeNanos = 40;
inline constexpr size_t kMapOffDirty = 44;
// How far the present blocks can be trusted to be the recorded copy where
// the server tells copies apart by a whole-second time alone (one of the
// kMapCopy values); maps written before it hold zero there.
inline constexpr size_t kMapOffCopy = 45;
// Nonzero: the server's copy under the path is to be replaced whole by the
// object's content, of which it holds no byte (see
// CacheFile::replaceServerCopy); maps written before it hold zero there.
inline constexpr size_t kMapOffReplaceWhole = 46;
inline constexpr size_t kMapOffEtag = 48;
inline constexpr size_t kMapEtagField = 256;
inline constexpr size_t kMapOffPath = 304;
inline constexpr size_t kMapPathField = 4096;

// The longest texts a map can hold; the field's last byte is always a NUL.
inline constexpr size_t kMaxMapEtagBytes = kMapEtagField - 1;
inline constexpr size_t kMaxMapPathBytes = kMapPathField - 1;

// The copy field. Unknown: a map of an older version. Settled: every present
// block was read a whole second after the copy's time, or none is present.
// Unsettled: some block was read within that second, so a change of the
// same size made later in it cannot be seen.
inline constexpr uint8_t kMapCopyUnknown = 0;
inline constexpr uint8_t kMapCopySettled = 1;
inline constexpr uint8_t kMapCopyUnsettled = 2;

// Bits of a block state byte.
inline constexpr uint8_t kBlockPresent = 1;
inline constexpr uint8_t kBlockDirty = 2;
inline constexpr uint8_t kBlockWrittenSinceUpload = 4;

// A modification time set on a file with unsent changes waits in its map
// until an upload sends it: a trailer right after the block states (one
// per block of the size), which readers that do not know it never reach.
inline constexpr char kMapMtimeTag[] = "MTIM";  // 4 bytes on disk, no terminator
inline constexpr size_t kMapMtimeTagBytes = 4;
inline constexpr size_t kMapTrailerBytes = kMapMtimeTagBytes + 8 + 4;  // tag, seconds (i64), nanoseconds (u32)

// A map written before the data file's bytes it claims were synced names the
// boot it was written under in a last trailer: after a process crash (the
// same boot) the bytes are in the page cache and the map holds, after a power
// loss (another boot) they may not be, and the map is not believed. Once the
// data file is synced the field is zeroed in place; a field torn by a power
// loss halfway is neither zero nor a boot, so it is not believed either.
inline constexpr char kMapBootTag[] = "BOOT";  // 4 bytes on disk, no terminator
inline constexpr size_t kMapBootTagBytes = 4;
inline constexpr size_t kMapBootField = 40;     // the boot's name, NUL-padded
inline constexpr size_t kMapBootTrailerBytes = kMapBootTagBytes + kMapBootField;

// Files the cache reads whole are refused above this size.
inline constexpr uint64_t kMaxSmallFileBytes = 64ull * 1024 * 1024;
// The most state bytes a map can hold and still be read back.
inline constexpr uint64_t kMaxMapStates =
    kMaxSmallFileBytes - kMapHeaderSize - kMapTrailerBytes - kMapBootTrailerBytes;

// Deleting a file the system still holds open is retried this often.
inline constexpr int kDeleteAttempts = 50;
inline constexpr int kDeleteRetryPauseMs = 2;

// The header fields of one map.
struct MapHeader {
  uint32_t blockSize = 0;
  uint32_t headerSize = kMapHeaderSize;
  uint64_t size = 0;
  uint64_t remoteSize = 0;
  Timestamp remoteMtime;
  bool dirty = false;
  uint8_t copy = kMapCopyUnknown;
  bool replaceWhole = false;
  std::string etag;
  std::string path;
  Timestamp pendingMtime;  // zero: no time waits for an upload
  // The boot the map was written under before its data file was synced;
  // empty: synced first. A torn field reads as a name no boot has.
  std::string writtenUnder;
};

// The whole map file: the header (etag and path cut to fit), the states and,
// with a pending time or a boot, the states cut or padded to the block count
// of the size and the trailers (the boot's last, kMapBootField bytes before
// the end). A boot longer than the field is not written.
std::string EncodeMap(const MapHeader& header, const std::vector<uint8_t>& states);

// Where the boot field of a map starts; 0 when it has none.
uint64_t MapBootAt(std::string_view bytes);

// Zeroes the boot field of the map at `bootAt` and syncs the map: the data
// file's bytes it claims must be on the disk already.
bool CommitMapInPlace(Env& env, const std::string& path, uint64_t bootAt);

// Reads the header fields (and a trailer's time) of a map without judging
// them. False only when the bytes are shorter than a header. The etag and
// path end at their first NUL.
bool DecodeMapHeader(std::string_view bytes, MapHeader* out);

// True when the bytes begin with the map magic.
bool HasMapMagic(std::string_view bytes);

// The largest size a cached file of this block size can take: the bound on
// server sizes, or less when the map's states would be too many to read back.
uint64_t MaxCachedFileBytes(uint32_t blockSize);

// DecodeMapHeader of a map that an object of this block size takes as it
// stands: the magic, this layout's header size, the same block size and sizes
// a file can have. False for anything else (a damaged or foreign map).
bool DecodeUsableMap(std::string_view bytes, uint32_t blockSize, MapHeader* out);

// The state bytes after the header (empty for a short map).
std::string_view MapStates(std::string_view bytes);

// True when the map's dirty byte is set or a state byte (of a block of the
// size, when the header gives a block size) has the dirty bit.
bool MapHasDirty(std::string_view bytes);

// Bytes held by the present blocks of one map, counted with the map's own
// block size and size; 0 for a short map, a foreign magic, block size 0 or a
// size no file can have (a damaged map).
uint64_t MapPresentBytes(std::string_view bytes);

// The map with its stored path replaced by `path` (cut to fit), every other
// byte kept as it was. A map shorter than a header comes back unchanged.
std::string WithMapPath(std::string_view bytes, const std::string& path);

// Reads a whole file of at most kMaxSmallFileBytes. False when it cannot be
// opened, is too large or cannot be read to its end.
bool ReadSmallFile(Env& env, const std::string& path, std::string* out);

// Writes a map: with createNewFirst as a new file when none exists yet,
// otherwise (or when that fails) through path + ".tmp" and a rename. With
// flush the new content and its folder entry are on disk when true returns.
bool WriteFileAtomic(Env& env, const std::string& path, std::string_view data, bool createNewFirst, bool flush);

// Writes an existing file's new content over the old where it lies, which
// takes no new inode and, for content no longer than the old, no new space:
// for a disk too full for the temporary of an atomic write. Not atomic; a
// crash may leave a mixture of old and new.
bool OverwriteInPlace(Env& env, const std::string& path, std::string_view data);

// Deletes a file; a missing file counts as deleted. Retries briefly on
// transient failures and logs a warning when it gives up.
bool DeleteFileRetry(Env& env, const std::string& path);

}  // namespace tarn
