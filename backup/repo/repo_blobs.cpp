// Storing blobs (the dedup test before a blob enters the seal stage), the
// membership test, and reading a blob back through a few cached windows of
// packs.
#include <algorithm>

#include "backup/repo/compression.h"
#include "backup/repo/repo.h"
#include "platform/xpress_huffman.h"

namespace tarn::backup {
namespace {

// One download of at least this much serves the blobs of a pack around it.
constexpr uint64_t kReadWindow = 4194304;
constexpr size_t kShortHex = 8;

std::string Short(const BlobId& id) { return BlobIdToHex(id).substr(0, kShortHex); }

// Every 64 KiB of output of a compressed stream costs at least one 256-byte
// code table, so a stored length bounds the raw length a blob can honestly
// have; a larger one is refused before its buffer is made.
bool RawLengthPlausible(uint64_t payload, uint64_t raw) {
  return raw <= (payload / xpress::kTableBytes + 1) * xpress::kBlockSize;
}

}  // namespace

Status Repo::storeBlob(uint8_t type, const void* data, size_t length, BlobId& id) {
  id = ComputeBlobId(idKey, data, length);
  if (length > kMaxBlobBytes) return Status(Status::kTooLarge, "blob too large");
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    if (!uploadError.ok()) return uploadError;
    if (blobStateLocked(id) == BlobState::kHeld) {
      ++blobsDeduplicated;
      return Status();
    }
    // Pending from here on, so that the same content stored again before
    // this blob is sealed counts as a duplicate.
    pending.insert(id);
  }
  return submitBlob(type, id, data, length);
}

Status Repo::addBlob(uint8_t type, const BlobId& id, const void* data, size_t length) {
  if (length > kMaxBlobBytes) return Status(Status::kTooLarge, "blob too large");
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    if (!uploadError.ok()) return uploadError;
    pending.insert(id);
  }
  return submitBlob(type, id, data, length);
}

bool Repo::hasBlob(const BlobId& id) { return blobState(id) == BlobState::kHeld; }

BlobState Repo::blobState(const BlobId& id) {
  std::lock_guard<std::mutex> lock(queueMutex);
  return blobStateLocked(id);
}

BlobState Repo::blobStateLocked(const BlobId& id) const {
  if (pending.count(id) != 0) return BlobState::kHeld;
  auto it = index.find(id);
  if (it == index.end() || it->second.pack >= packs.size() || packs[it->second.pack].missing)
    return BlobState::kMissing;
  return packs[it->second.pack].damaged ? BlobState::kDamaged : BlobState::kHeld;
}

Status Repo::locateBlob(const BlobId& id, BlobLocation& loc, PackInfo& pack) {
  std::lock_guard<std::mutex> lock(queueMutex);
  auto it = index.find(id);
  if (it == index.end() || it->second.pack >= packs.size())
    return Status(Status::kNotFound, "blob " + Short(id) + " is not in the repository");
  if (packs[it->second.pack].missing)
    return Status(Status::kNotFound, "blob " + Short(id) + " is not in the repository: its pack " +
                                         Short(packs[it->second.pack].id) + " is missing");
  loc = it->second;
  pack = packs[loc.pack];
  return Status();
}

Status Repo::readPackRange(const PackInfo& pack, uint64_t offset, uint64_t length, std::vector<uint8_t>& out) {
  if (offset > pack.length || length > pack.length - offset)
    return Status(Status::kProtocol, "index entry points past the end of its pack");
  Status st = getRange(PackPath(pack.id), offset, length, out);
  if (!st.ok()) return st;
  if (out.size() < length) {
    noteDamaged(pack.id);
    return Status(Status::kProtocol, "pack " + Short(pack.id) + " is shorter than the index says");
  }
  return Status();
}

Status Repo::openBlob(const BlobId& id, const BlobLocation& loc, const uint8_t* sealed, std::vector<uint8_t>& out) {
  Status st = openSealed(id, loc, sealed, out);
  if (!st.ok()) noteDamaged(loc.pack);
  return st;
}

Status Repo::openSealed(const BlobId& id, const BlobLocation& loc, const uint8_t* sealed,
                        std::vector<uint8_t>& out) const {
  std::vector<uint8_t> opened;
  if (!cipher.open(sealed, size_t(loc.storedLength), kLabelBlob, opened))
    return Status(Status::kProtocol, "blob " + Short(id) + " does not decrypt (damaged pack)");
  std::vector<uint8_t> decompressed;
  const uint8_t* plain = nullptr;
  Status st = checkOpened(id, loc, opened.data(), opened.size(), decompressed, plain);
  if (!st.ok()) return st;
  out = plain == opened.data() ? std::move(opened) : std::move(decompressed);
  return Status();
}

Status Repo::openBlobInPlace(const BlobId& id, const BlobLocation& loc, uint8_t* sealed,
                             std::vector<uint8_t>& scratch, const uint8_t*& plain) {
  plain = nullptr;
  Status st;
  if (!cipher.openInPlace(sealed, size_t(loc.storedLength), kLabelBlob))
    st = Status(Status::kProtocol, "blob " + Short(id) + " does not decrypt (damaged pack)");
  else
    st = checkOpened(id, loc, sealed + kNonceSize, size_t(loc.storedLength) - kSealOverhead, scratch, plain);
  if (!st.ok()) noteDamaged(loc.pack);
  return st;
}

Status Repo::checkOpened(const BlobId& id, const BlobLocation& loc, const uint8_t* opened, size_t size,
                         std::vector<uint8_t>& scratch, const uint8_t*& plain) const {
  plain = nullptr;
  if (size == loc.rawLength) {
    plain = opened;
  } else if (!RawLengthPlausible(size, loc.rawLength) || !DecompressBlob(opened, size, loc.rawLength, scratch)) {
    return Status(Status::kProtocol, "blob " + Short(id) + " does not decompress");
  } else {
    plain = scratch.data();
  }
  if (!(ComputeBlobId(idKey, plain, size_t(loc.rawLength)) == id)) {
    plain = nullptr;
    return Status(Status::kProtocol, "blob " + Short(id) + " has the wrong content");
  }
  return Status();
}

Status Repo::readBlob(const BlobId& id, std::vector<uint8_t>& out) {
  BlobLocation loc;
  PackInfo pack;
  Status located = locateBlob(id, loc, pack);
  if (!located.ok()) return located;

  // Damage is noted once readMutex is let go: the two are never held at once.
  bool damaged = false;
  Status st = [&]() -> Status {
    std::lock_guard<std::mutex> lock(readMutex);
    const uint64_t offset = loc.offset;
    const uint64_t stored = loc.storedLength;
    ReadWindow* window = nullptr;
    ReadWindow* latest = nullptr;  // of this pack
    for (ReadWindow& w : readWindows) {
      if (w.pack != loc.pack) continue;
      if (latest == nullptr || w.lastUse > latest->lastUse) latest = &w;
      if (offset >= w.start && offset + stored <= w.start + w.bytes.size()) window = &w;
    }
    if (window == nullptr) {
      if (offset + stored > pack.length) {
        damaged = true;
        return Status(Status::kProtocol, "index entry points past the end of its pack");
      }
      // Reading on past the pack's last window (a restore) starts the next
      // one at the blob. Any other miss takes the aligned window around the
      // blob, so that a walk that reads a pack's trees in any order
      // downloads each window once.
      const bool onwards = latest != nullptr && offset >= latest->start + latest->bytes.size();
      uint64_t start = offset - offset % kReadWindow;
      if (onwards || offset + stored > start + kReadWindow) start = offset;
      const uint64_t length = std::min(std::max(stored, kReadWindow), pack.length - start);
      if (readWindows.size() < kReadWindows) {
        window = &readWindows.emplace_back();
      } else {
        window = &*std::min_element(readWindows.begin(), readWindows.end(),
                                    [](const ReadWindow& a, const ReadWindow& b) { return a.lastUse < b.lastUse; });
      }
      window->pack = kNoCachedPack;
      Status got = getRange(PackPath(pack.id), start, length, window->bytes);
      if (!got.ok()) return got;
      if (window->bytes.size() < offset - start + stored) {
        damaged = true;
        return Status(Status::kProtocol, "pack " + Short(pack.id) + " is shorter than the index says");
      }
      window->pack = loc.pack;
      window->start = start;
    }
    window->lastUse = ++readClock;
    Status opened = openSealed(id, loc, window->bytes.data() + (offset - window->start), out);
    damaged = !opened.ok();
    return opened;
  }();
  if (damaged) noteDamaged(loc.pack);
  return st;
}

}  // namespace tarn::backup
