// The side of CacheFile that reaches the disk: the data file's descriptor
// and length, the map's load and save, and the moves and drops whose order
// decides what a restart finds (see the header comment of cache_file.h).
#include "engine/cache_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/map_file.h"
#include "foundation/log.h"

namespace tarn {
namespace {

// A block the map would call the server's: present and not changed here.
bool HeldClean(uint8_t s) { return (s & (kBlockPresent | kBlockDirty)) == kBlockPresent; }

}  // namespace

Status CacheFile::openData() {
  std::lock_guard<std::mutex> lock(mu_);
  Status st = env_->open(binPath_, Env::OpenMode::kReadWrite, &data_);
  if (!st.ok()) return localFailure("cannot open cache data file", st.native);
  uint64_t length = 0;
  if (data_->size(&length).ok()) dataLength_ = length;
  return Status();
}

Status CacheFile::setDataLengthLocked(uint64_t length) {
  Status st = data_->truncate(length);
  if (st.ok()) dataLength_ = length;
  return st;
}

Status CacheFile::extendDataLocked(uint64_t end) {
  // Blocks past the old size are marked present without being written, so
  // whatever lies there must be zeros.
  if (dataLength_ > size_) {
    Status st = setDataLengthLocked(size_);
    if (!st.ok()) return st;
  }
  return setDataLengthLocked(end);
}

MapHeader CacheFile::headerLocked() const {
  MapHeader h;
  h.blockSize = blockSize_;
  h.size = size_;
  h.remoteSize = remoteSize_;
  h.remoteMtime = remoteMtime_;
  h.dirty = dirty_;
  h.copy = copy_;
  h.replaceWhole = replaceWhole_;
  h.etag = etag_;
  h.path = path_;
  h.pendingMtime = pendingMtime_;
  return h;
}

std::string CacheFile::encodeMapLocked() const { return EncodeMap(headerLocked(), states_); }

bool CacheFile::sayLessBeforeDestroyLocked() {
  if (!onDisk_ || removed_) return true;  // no map that could claim the bytes
  // Written under mu_: nothing may change between this map and the bytes it
  // covers going away. The operations that come here are rare.
  const bool unsent = dirty_ || hasDirtyLocked();
  if (unsent && !data_->sync().ok()) return false;
  if (claimsCleanLocked()) diskClaimsClean_ = true;
  if (!WriteFileAtomic(*env_, mapPath_, encodeMapLocked(), false, true)) return false;
  needsSave_ = false;
  stampedOnDisk_ = false;
  diskUnsent_ = unsent;
  ++mapWrites_;
  return true;
}

bool CacheFile::claimsCleanLocked() const {
  return std::any_of(states_.begin(), states_.end(), HeldClean);
}

bool CacheFile::overwritesClaimedLocked(uint64_t first, uint64_t last) const {
  if (!diskClaimsClean_ || removed_) return false;
  for (uint64_t b = first; b <= last && b < states_.size(); ++b)
    if (HeldClean(states_[b])) return true;
  return false;
}

Status CacheFile::unclaimCleanBlocks(std::unique_lock<std::mutex>& lock) {
  // Clean blocks are only missing in this map: a restart fetches them again,
  // which costs time but never passes a local change off as the server's.
  std::vector<uint8_t> states = states_;
  for (uint8_t& s : states)
    if (HeldClean(s)) s = 0;
  MapHeader header = headerLocked();
  // Unsent changes whose bytes are not synced stay unbelieved after a power loss.
  const bool stamp = stampedOnDisk_;
  if (stamp) header.writtenUnder = env_->bootId();
  const std::string bytes = EncodeMap(header, states);
  const std::string mapPath = mapPath_;
  lock.unlock();
  // Durable: the data file may reach the disk before any later map does.
  const bool ok = WriteFileAtomic(*env_, mapPath, bytes, false, true);
  lock.lock();
  if (!ok) return Status(Status::kIo, "cache map write failed");
  if (stamp) stampAt_ = bytes.size() - kMapBootField;
  ++mapWrites_;
  // The bytes this map does not call clean are recorded by the next save.
  diskClaimsClean_ = false;
  needsSave_ = true;
  return Status();
}

void CacheFile::dropDataLocked() {
  if (!sayLessBeforeDestroyLocked()) {
    vx::log::write(vx::log::kWarn, "cache %s: cannot record dropped blocks; old bytes kept", name_.c_str());
    return;
  }
  // Cutting to 0 and growing again frees every allocated range of the sparse
  // file; the results are ignored because the states already say "missing".
  (void)setDataLengthLocked(0);
  (void)setDataLengthLocked(size_);
}

bool CacheFile::loadMap() {
  std::lock_guard<std::mutex> lock(mu_);
  std::string bytes;
  MapHeader h;
  // A map of another boot may claim bytes a power loss took: the cache
  // sweeps those at start, and one left over is no map either.
  if (!ReadSmallFile(*env_, mapPath_, &bytes) || !DecodeUsableMap(bytes, blockSize_, &h) ||
      !(h.writtenUnder.empty() || h.writtenUnder == env_->bootId())) {
    states_.clear();
    size_ = remoteSize_ = 0;
    etag_.clear();
    remoteMtime_ = Timestamp();
    pendingMtime_ = Timestamp();
    dirty_ = false;
    replaceWhole_ = false;
    copy_ = kMapCopySettled;
    onDisk_ = false;
    needsSave_ = true;
    return false;
  }
  size_ = h.size;
  remoteSize_ = h.remoteSize;
  remoteMtime_ = h.remoteMtime;
  dirty_ = h.dirty;
  replaceWhole_ = h.replaceWhole;
  etag_ = h.etag;
  pendingMtime_ = h.pendingMtime;
  // A map of an older version cannot say: its blocks are read anew at the
  // first open where the server tells copies apart by time alone.
  copy_ = h.copy == kMapCopySettled ? kMapCopySettled : kMapCopyUnsettled;
  unsettledSinceMs_ = 0;
  std::string_view stored = MapStates(bytes);
  const uint64_t count = blockCountLocked(size_);
  states_.assign(count, 0);
  // An empty file has no states, and memcpy may not see its null pointer.
  std::copy_n(stored.data(), std::min<uint64_t>(count, stored.size()), states_.data());
  needsSave_ = false;
  onDisk_ = true;
  diskClaimsClean_ = claimsCleanLocked();
  stampedOnDisk_ = !h.writtenUnder.empty();
  stampAt_ = stampedOnDisk_ ? MapBootAt(bytes) : 0;
  diskUnsent_ = !stampedOnDisk_ && (dirty_ || hasDirtyLocked());
  return true;
}

void CacheFile::fitDataLength() {
  std::lock_guard<std::mutex> lock(mu_);
  uint64_t actual = 0;
  if (!data_->size(&actual).ok()) return;
  dataLength_ = actual;
  if (actual < size_) {
    // The data file lost its tail (a crash); blocks it does not reach whole
    // hold nothing any more, whatever the map said.
    for (uint64_t b = actual / blockSize_; b < states_.size(); ++b) {
      if (!(states_[b] & kBlockPresent)) continue;
      states_[b] &= static_cast<uint8_t>(~kBlockPresent);
      needsSave_ = true;
    }
  }
  if (actual != size_) (void)setDataLengthLocked(size_);
}

bool CacheFile::saveMap() {
  std::lock_guard<std::mutex> saveLock(saveMu_);
  return saveWithSaveLockHeld();
}

bool CacheFile::saveMapUnflushed() {
  std::lock_guard<std::mutex> saveLock(saveMu_);
  return saveWithSaveLockHeld(false);
}

std::vector<std::shared_ptr<CacheFile>> CacheFile::commitMaps(Env& env,
                                                              const std::vector<std::shared_ptr<CacheFile>>& batch) {
  struct Due {
    CacheFile* file;
    uint64_t writes;
    std::string mapPath;
    uint64_t at;
    std::unique_ptr<EnvFile> map;
  };
  std::vector<Due> due;
  for (const std::shared_ptr<CacheFile>& f : batch) {
    std::lock_guard<std::mutex> lock(f->mu_);
    if (f->removed_ || !f->stampedOnDisk_) continue;
    due.push_back({f.get(), f->mapWrites_, f->mapPath_, f->stampAt_, nullptr});
  }
  // The bytes every stamped map claims, then the maps themselves: the first
  // sync of each round commits what the others need, the rest wait only for
  // their own writes.
  for (Due& d : due) (void)d.file->data_->startSync();
  std::erase_if(due, [](Due& d) { return !d.file->data_->syncData().ok(); });
  const std::string zeros(kMapBootField, '\0');
  std::erase_if(due, [&](Due& d) {
    std::lock_guard<std::mutex> saveLock(d.file->saveMu_);
    {
      // A map written since may claim bytes the round above did not sync.
      std::lock_guard<std::mutex> lock(d.file->mu_);
      if (d.file->removed_ || d.file->mapWrites_ != d.writes) return true;
    }
    if (!env.open(d.mapPath, Env::OpenMode::kReadWrite, &d.map).ok() ||
        !d.map->write(d.at, zeros.data(), zeros.size()).ok())
      return true;
    (void)d.map->startSync();
    return false;
  });
  std::erase_if(due, [](Due& d) { return !d.map->syncData().ok() || !d.map->close().ok(); });
  // One folder holds every map and data file of a cache.
  if (!due.empty() && !env.syncDir(EnvParentDir(due.front().mapPath)).ok()) due.clear();
  for (Due& d : due) {
    std::lock_guard<std::mutex> lock(d.file->mu_);
    if (d.file->mapWrites_ != d.writes) continue;
    d.file->stampedOnDisk_ = false;
    d.file->diskUnsent_ = true;
  }
  std::vector<std::shared_ptr<CacheFile>> again;
  for (const std::shared_ptr<CacheFile>& f : batch) {
    std::lock_guard<std::mutex> lock(f->mu_);
    if (!f->removed_ && (f->stampedOnDisk_ || f->needsSave_)) again.push_back(f);
  }
  return again;
}

bool CacheFile::saveWithSaveLockHeld(bool flushMap) {
  std::string bytes;
  std::string mapPath;
  bool durable;
  bool createNew;
  bool stamp;
  {
    std::lock_guard<std::mutex> lock(mu_);
    // A durable save of a stamped map makes it committed.
    if (flushMap && stampedOnDisk_ && !removed_) needsSave_ = true;
    if (!needsSave_ || removed_) return true;
    // The map is the only record of changes not yet uploaded: those must
    // survive a power loss, and the bytes they claim must be there too.
    durable = dirty_ || hasDirtyLocked();
    MapHeader header = headerLocked();
    // Unless committed changes could be lost with it, an unflushed map need
    // not wait for the data file: it names the boot instead.
    if (durable && !flushMap && !diskUnsent_) header.writtenUnder = env_->bootId();
    stamp = !header.writtenUnder.empty() && header.writtenUnder.size() <= kMapBootField;
    bytes = EncodeMap(header, states_);
    if (claimsCleanLocked()) diskClaimsClean_ = true;
    mapPath = mapPath_;
    createNew = !onDisk_;
    needsSave_ = false;
  }
  bool ok = stamp || !durable || data_->sync().ok();
  ok = ok && WriteFileAtomic(*env_, mapPath, bytes, createNew, durable && flushMap);
  // A disk too full for the temporary would keep an old map that calls the
  // object changed, and its content would go up again at every open. A map
  // without unsent changes may go over it in place: the two describe the
  // same data file, and a crash's mixture at worst sends it once more.
  if (!ok && !durable && !createNew) ok = OverwriteInPlace(*env_, mapPath, bytes);
  std::lock_guard<std::mutex> lock(mu_);
  if (ok) {
    ++mapWrites_;
    onDisk_ = true;
    stampedOnDisk_ = stamp;
    stampAt_ = stamp ? bytes.size() - kMapBootField : 0;
    if (durable && !stamp) diskUnsent_ = true;
  }
  // A map left unflushed is written again, durably, by the next save; a
  // stamped one is committed in place.
  if (!ok || (durable && !flushMap && !stamp)) needsSave_ = true;
  return ok;
}

void CacheFile::markRemoved() {
  // saveMu_ first: a save in progress must not put the map back after the
  // cache deleted it.
  std::lock_guard<std::mutex> saveLock(saveMu_);
  std::lock_guard<std::mutex> lock(mu_);
  removed_ = true;
  needsSave_ = false;
}

void CacheFile::relocate(std::string binPath, std::string mapPath, std::string path, std::string name) {
  // saveMu_ for the whole move: a save beside it would write the map under
  // the old name, and a restart would find the old path with the changes.
  std::lock_guard<std::mutex> saveLock(saveMu_);
  std::string oldBin, oldMap;
  {
    std::lock_guard<std::mutex> lock(mu_);
    oldBin = binPath_;
    oldMap = mapPath_;
  }
  DeleteFileRetry(*env_, binPath);
  DeleteFileRetry(*env_, mapPath);
  // The new map first, naming the new path; the data file's rename is then
  // the one step that moves the object. Until it, the new map has no data
  // and means nothing; after it, the old map has none.
  {
    std::lock_guard<std::mutex> lock(mu_);
    mapPath_ = mapPath;
    path_ = std::move(path);
    name_ = std::move(name);
    onDisk_ = false;
    needsSave_ = true;
  }
  saveWithSaveLockHeld();
  (void)env_->rename(oldBin, binPath);
  {
    std::lock_guard<std::mutex> lock(mu_);
    binPath_ = binPath;
  }
  DeleteFileRetry(*env_, oldMap);
  if (hasUnsent()) (void)env_->syncDir(EnvParentDir(binPath));
}

bool CacheFile::readAt(uint64_t offset, void* buffer, uint64_t length, int* err) {
  auto* out = static_cast<uint8_t*>(buffer);
  size_t got = 0;
  Status st = data_->read(offset, out, static_cast<size_t>(length), &got);
  if (!st.ok()) {
    *err = st.native;
    return false;
  }
  // Past the end of the data: what was never written reads as zeros.
  if (got < length) std::memset(out + got, 0, static_cast<size_t>(length - got));
  return true;
}

Status CacheFile::writeAt(uint64_t offset, const void* data, uint64_t length) {
  Status st = data_->write(offset, data, static_cast<size_t>(length));
  if (st.ok()) dataLength_ = std::max(dataLength_, offset + length);
  return st;
}

}  // namespace tarn
