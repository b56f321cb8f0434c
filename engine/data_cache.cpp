#include "engine/data_cache.h"

#include <algorithm>

#include "engine/map_file.h"
#include "foundation/codec.h"
#include "foundation/file_util.h"
#include "foundation/hash.h"
#include "foundation/log.h"
#include "foundation/remote_path.h"
#include "foundation/text.h"

namespace tarn {

namespace {

constexpr std::string_view kBinSuffix = ".bin";
constexpr std::string_view kMapSuffix = ".map";

bool EndsWith(const std::string& s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string WithoutSuffix(const std::string& s, std::string_view suffix) {
  return s.substr(0, s.size() - suffix.size());
}

}  // namespace

DataCache::DataCache(std::string root, uint32_t blockSize, uint64_t maxBytes, bool keepDirtyForever, Env* env)
    : root_(std::move(root)),
      blockSize_(blockSize),
      maxBytes_(maxBytes),
      keepDirtyForever_(keepDirtyForever),
      env_(env != nullptr ? env : Env::Default()) {}

DataCache::~DataCache() = default;

std::string DataCache::dataDir() const { return vx::JoinPath(root_, kDataFolderName); }

std::string DataCache::binPath(const std::string& name) const {
  return vx::JoinPath(dataDir(), name + std::string(kBinSuffix));
}

std::string DataCache::mapPath(const std::string& name) const {
  return vx::JoinPath(dataDir(), name + std::string(kMapSuffix));
}

bool DataCache::fileExists(const std::string& file) const {
  EnvFileInfo info;
  return env_->stat(file, &info).ok();
}

std::string DataCache::objectName(const std::string& path) {
  try {
    return vx::HexEncode(vx::Sha256(path.data(), path.size())).substr(0, kObjectNameDigits);
  } catch (const std::exception&) {
    return std::string();
  }
}

bool DataCache::pathFits(const std::string& path) { return path.size() <= kMaxMapPathBytes; }

bool DataCache::ensureDir(std::string* error) {
  const std::string data = dataDir();
  if (!env_->makeDirs(root_).ok() || !env_->makeDirs(data).ok()) {
    if (error != nullptr) *error = "cannot create cache directory " + root_;
    return false;
  }
  std::vector<std::string> names;
  if (!env_->list(data, &names).ok()) return true;
  const std::set<std::string> present(names.begin(), names.end());
  for (const std::string& name : names) {
    // No object is open yet: a temporary is a save cut short before its
    // rename, and a lone half of a pair is a move or removal cut short.
    bool stray = EndsWith(name, kEnvTempSuffix);
    if (EndsWith(name, kMapSuffix)) stray = present.count(WithoutSuffix(name, kMapSuffix) + std::string(kBinSuffix)) == 0;
    if (EndsWith(name, kBinSuffix)) stray = present.count(WithoutSuffix(name, kBinSuffix) + std::string(kMapSuffix)) == 0;
    if (stray) DeleteFileRetry(*env_, vx::JoinPath(data, name));
  }
  bool changed = false;
  std::vector<std::string> unsentNames;
  for (const std::string& name : names) {
    if (!EndsWith(name, kMapSuffix) || present.count(WithoutSuffix(name, kMapSuffix) + std::string(kBinSuffix)) == 0)
      continue;
    bool unsent = true;
    changed |= settleUnsynced(vx::JoinPath(data, WithoutSuffix(name, kMapSuffix)), &unsent);
    if (unsent) unsentNames.push_back(WithoutSuffix(name, kMapSuffix));
  }
  if (changed) (void)env_->syncDir(data);
  std::lock_guard<std::mutex> lock(mu_);
  for (const std::string& name : unsentNames) mayHoldUnsentLocked(name);
  unsentKnown_ = true;
  return true;
}

void DataCache::mayHoldUnsentLocked(const std::string& name) { mayHoldUnsent_[name] = ++unsentStamp_; }

bool DataCache::settleUnsynced(const std::string& base, bool* unsent) {
  const std::string map = base + std::string(kMapSuffix);
  const std::string bin = base + std::string(kBinSuffix);
  std::string bytes;
  MapHeader h;
  // A map that cannot be read now is looked at again when listed.
  *unsent = true;
  if (!ReadSmallFile(*env_, map, &bytes) || !DecodeMapHeader(bytes, &h)) return false;
  *unsent = MapHasDirty(bytes);
  if (h.writtenUnder.empty()) return false;
  if (h.writtenUnder == env_->bootId()) {
    // Only the process died: the bytes are in the page cache, and now on the disk.
    std::unique_ptr<EnvFile> data;
    const uint64_t at = MapBootAt(bytes);
    return env_->open(bin, Env::OpenMode::kReadWrite, &data).ok() && data->syncData().ok() &&
           CommitMapInPlace(*env_, map, at);
  }
  vx::log::write(vx::log::kWarn,
                 "cache: changes to %s were not on the disk yet when the machine stopped; they are dropped and "
                 "the server's copy stays",
                 h.path.c_str());
  *unsent = false;
  DeleteFileRetry(*env_, bin);
  DeleteFileRetry(*env_, map);
  return true;
}

void DataCache::waitNotBusyLocked(std::unique_lock<std::mutex>& lock, const std::string& name) {
  busyCv_.wait(lock, [&] { return busy_.count(name) == 0; });
}

void DataCache::releaseBusy(const std::vector<std::string>& names) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (const std::string& n : names) busy_.erase(n);
  }
  busyCv_.notify_all();
}

std::shared_ptr<CacheFile> DataCache::liveLocked(const std::string& name) {
  auto it = live_.find(name);
  if (it == live_.end()) return nullptr;
  std::shared_ptr<CacheFile> obj = it->second.lock();
  if (!obj) live_.erase(it);
  return obj;
}

std::shared_ptr<CacheFile> DataCache::open(const std::string& path, bool create, Status* status) {
  auto fail = [status](Status st) -> std::shared_ptr<CacheFile> {
    if (status != nullptr) *status = std::move(st);
    return nullptr;
  };
  // A cut path could never be matched to its file again after a restart, and
  // the file's unsent changes would be stranded.
  if (!pathFits(path)) return fail(Status(Status::kInvalid, "remote path too long for the cache"));
  const std::string name = objectName(path);
  if (name.empty()) return fail(Status(Status::kIo, "cannot name cache object"));

  {
    std::unique_lock<std::mutex> lock(mu_);
    waitNotBusyLocked(lock, name);
    if (std::shared_ptr<CacheFile> obj = liveLocked(name)) return obj;
    // The files are read with the name busy rather than the cache locked, so
    // a slow disk holds up only this name; whoever wants it meanwhile waits
    // for the one object made here.
    busy_.insert(name);
    mayHoldUnsentLocked(name);
  }
  Status st;
  std::shared_ptr<CacheFile> obj = load(path, name, create, &st);
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (obj) live_[name] = obj;
    busy_.erase(name);
  }
  busyCv_.notify_all();
  if (status != nullptr) *status = std::move(st);
  return obj;
}

std::shared_ptr<CacheFile> DataCache::load(const std::string& path, const std::string& name, bool create,
                                           Status* status) {
  const std::string map = mapPath(name);
  const bool mapExisted = fileExists(map);
  if (!create && !mapExisted) {
    *status = Status(Status::kNotFound, "not cached");
    return nullptr;
  }
  const std::string bin = binPath(name);
  const bool dataExisted = fileExists(bin);
  auto obj = std::make_shared<CacheFile>(bin, map, path, name, blockSize_, env_, room_);
  *status = obj->openData();
  if (!status->ok()) return nullptr;
  // Either half alone is an empty object: a map without its data file would
  // serve zeros as data, and old bytes without their map would be taken for
  // the gaps of a new file, uploaded as its content.
  if (dataExisted && mapExisted) obj->loadMap();
  obj->fitDataLength();
  return obj;
}

bool DataCache::exists(const std::string& path) {
  if (!pathFits(path)) return false;
  const std::string name = objectName(path);
  return !name.empty() && fileExists(mapPath(name));
}

bool DataCache::unsentChanges(const std::string& path, uint64_t* size, Timestamp* pendingMtime) {
  if (!pathFits(path)) return false;
  const std::string name = objectName(path);
  if (name.empty()) return false;
  std::shared_ptr<CacheFile> obj;
  uint64_t stamp = 0;
  bool known = false;
  {
    std::unique_lock<std::mutex> lock(mu_);
    waitNotBusyLocked(lock, name);
    obj = liveLocked(name);
    if (!obj && unsentKnown_) {
      auto it = mayHoldUnsent_.find(name);
      if (it == mayHoldUnsent_.end()) return false;
      known = true;
      stamp = it->second;
    }
  }
  if (obj) {
    if (!obj->hasUnsent()) return false;
    *size = obj->size();
    *pendingMtime = obj->pendingMtime();
    return true;
  }
  // What open would load: a map this cache cannot use, or one whose data
  // file is gone, is an empty object.
  std::string bytes;
  MapHeader h;
  const bool read = ReadSmallFile(*env_, mapPath(name), &bytes);
  if (!read || !DecodeUsableMap(bytes, blockSize_, &h) || !MapHasDirty(bytes) || !fileExists(binPath(name))) {
    // A map that failed to read may yet hold changes; only one that is gone is done with.
    if (known && (read || !fileExists(mapPath(name)))) {
      std::lock_guard<std::mutex> lock(mu_);
      auto it = mayHoldUnsent_.find(name);
      if (it != mayHoldUnsent_.end() && it->second == stamp && busy_.count(name) == 0 && !liveLocked(name))
        mayHoldUnsent_.erase(it);
    }
    return false;
  }
  *size = h.size;
  *pendingMtime = h.pendingMtime;
  return true;
}

void DataCache::remove(const std::string& path) {
  if (!pathFits(path)) return;
  const std::string name = objectName(path);
  if (name.empty()) return;
  std::shared_ptr<CacheFile> obj;
  {
    std::unique_lock<std::mutex> lock(mu_);
    waitNotBusyLocked(lock, name);
    obj = liveLocked(name);
    live_.erase(name);
    busy_.insert(name);
  }
  bool unsent;
  if (obj) {
    obj->markRemoved();
    unsent = obj->hasUnsent();
  } else {
    std::string bytes;
    unsent = ReadSmallFile(*env_, mapPath(name), &bytes) && MapHasDirty(bytes);
  }
  // The data file first: a map left alone by a crash here describes nothing.
  DeleteFileRetry(*env_, binPath(name));
  DeleteFileRetry(*env_, mapPath(name));
  // Changes of a deleted file must not come back with a power loss and be
  // uploaded, bringing the file back on the server.
  if (unsent) (void)env_->syncDir(dataDir());
  releaseBusy({name});
}

void DataCache::moveFiles(const std::string& oldName, const std::string& newName, const std::string& newPath) {
  const std::string oldBin = binPath(oldName), oldMap = mapPath(oldName);
  const std::string newBin = binPath(newName), newMap = mapPath(newName);
  // What was cached under the target goes, whether or not the source was
  // cached: the server's copy there is replaced.
  DeleteFileRetry(*env_, newBin);
  DeleteFileRetry(*env_, newMap);
  std::string bytes;
  if (!ReadSmallFile(*env_, oldMap, &bytes)) return;
  // As for a live object: the new map first, naming the new path, then the
  // data file's rename, which alone moves the object.
  const bool unsent = MapHasDirty(bytes);
  if (!WriteFileAtomic(*env_, newMap, WithMapPath(bytes, newPath), true, unsent)) return;
  (void)env_->rename(oldBin, newBin);
  DeleteFileRetry(*env_, oldMap);
  if (unsent) (void)env_->syncDir(dataDir());
}

Status DataCache::renameObject(const std::string& oldPath, const std::string& newPath) {
  if (!pathFits(newPath)) return Status(Status::kInvalid, "remote path too long for the cache");
  if (!pathFits(oldPath)) return Status();  // never cached
  const std::string oldName = objectName(oldPath);
  const std::string newName = objectName(newPath);
  if (oldName.empty() || newName.empty()) return Status(Status::kIo, "cannot name cache object");
  if (oldName == newName) return Status();

  std::shared_ptr<CacheFile> live, replaced;
  {
    std::unique_lock<std::mutex> lock(mu_);
    busyCv_.wait(lock, [&] { return busy_.count(oldName) == 0 && busy_.count(newName) == 0; });
    live = liveLocked(oldName);
    live_.erase(oldName);
    replaced = liveLocked(newName);
    live_.erase(newName);
    busy_.insert(oldName);
    busy_.insert(newName);
    mayHoldUnsentLocked(newName);
  }
  vx::log::write(vx::log::kDebug, "cache rename %s -> %s: live object %s", oldPath.c_str(), newPath.c_str(),
                 live ? "rebound" : "none, files moved");
  // A holder of the replaced object must never write its map over the one
  // that is moved into place.
  if (replaced) replaced->markRemoved();
  if (live) {
    live->relocate(binPath(newName), mapPath(newName), newPath, newName);
    std::lock_guard<std::mutex> lock(mu_);
    live_[newName] = live;
  } else {
    moveFiles(oldName, newName, newPath);
  }
  releaseBusy({oldName, newName});
  return Status();
}

void DataCache::renameTree(const std::string& oldPrefix, const std::string& newPrefix) {
  std::set<std::string> paths;
  // Objects created and written but not saved yet have no map; their dirty
  // data must move with the folder too. They are looked at before the maps:
  // one saved for the first time and let go between the two looks (a file
  // closed meanwhile) is then still live at the first or has its map at the
  // second, and never missed by both.
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (auto it = live_.begin(); it != live_.end();) {
      std::shared_ptr<CacheFile> obj = it->second.lock();
      if (!obj) {
        it = live_.erase(it);
        continue;
      }
      std::string p = obj->path();
      if (IsUnderPath(oldPrefix, p)) paths.insert(std::move(p));
      ++it;
    }
  }
  forEachMap([&](const std::string& map) {
    std::string bytes;
    MapHeader h;
    if (!ReadSmallFile(*env_, map, &bytes) || !DecodeMapHeader(bytes, &h)) return;
    if (IsUnderPath(oldPrefix, h.path)) paths.insert(h.path);
  });
  for (const std::string& p : paths) renameObject(p, RebasePath(p, oldPrefix, newPrefix));
}

void DataCache::forEachMap(const std::function<void(const std::string& mapPath)>& fn) const {
  const std::string dir = dataDir();
  std::vector<std::string> names;
  if (!env_->list(dir, &names).ok()) return;
  for (const std::string& name : names)
    if (EndsWith(name, kMapSuffix)) fn(vx::JoinPath(dir, name));
}

std::vector<std::string> DataCache::dirtyFiles() const {
  std::vector<std::string> out;
  forEachMap([&](const std::string& map) {
    std::string bytes;
    MapHeader h;
    if (!ReadSmallFile(*env_, map, &bytes) || !HasMapMagic(bytes) || !DecodeMapHeader(bytes, &h)) return;
    // A map whose data file is gone holds no changes.
    if (MapHasDirty(bytes) && fileExists(WithoutSuffix(map, kMapSuffix) + std::string(kBinSuffix)))
      out.push_back(h.path);
  });
  return out;
}

uint64_t DataCache::diskBytes() const {
  uint64_t total = 0;
  forEachMap([&](const std::string& map) {
    std::string bytes;
    if (ReadSmallFile(*env_, map, &bytes)) total += MapPresentBytes(bytes);
  });
  return total;
}

std::vector<EvictCandidate> DataCache::evictCandidates() const {
  std::vector<EvictCandidate> candidates;
  forEachMap([&](const std::string& map) {
    std::string bytes;
    if (!ReadSmallFile(*env_, map, &bytes) || bytes.size() < kMapHeaderSize || MapHasDirty(bytes)) return;
    EvictCandidate c;
    c.mapPath = map;
    c.binPath = WithoutSuffix(map, kMapSuffix) + std::string(kBinSuffix);
    const size_t slash = map.rfind('/');
    c.name = WithoutSuffix(map.substr(slash + 1), kMapSuffix);
    c.bytes = MapPresentBytes(bytes);
    EnvFileInfo info;
    if (env_->stat(c.binPath, &info).ok()) c.lastWrite = info.mtime.toFileTime();
    candidates.push_back(std::move(c));
  });
  std::sort(candidates.begin(), candidates.end(), [](const EvictCandidate& a, const EvictCandidate& b) {
    return a.lastWrite != b.lastWrite ? a.lastWrite < b.lastWrite : a.name < b.name;
  });
  return candidates;
}

bool DataCache::evictOne(const EvictCandidate& c) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (busy_.count(c.name) != 0 || liveLocked(c.name)) return false;  // in use
    live_.erase(c.name);
    busy_.insert(c.name);
  }
  // The scan is old news: the object may have been opened, changed, saved
  // and let go since. Nobody can open it now, so this look is final.
  std::string bytes;
  bool gone = false;
  if (!(ReadSmallFile(*env_, c.mapPath, &bytes) && MapHasDirty(bytes)))
    gone = DeleteFileRetry(*env_, c.binPath) && DeleteFileRetry(*env_, c.mapPath);
  releaseBusy({c.name});
  return gone;
}

void DataCache::evictTo(uint64_t limit) {
  if (diskBytes() <= limit) return;
  const std::vector<EvictCandidate> candidates = evictCandidates();
  uint64_t total = diskBytes();
  for (const EvictCandidate& c : candidates) {
    if (total <= limit) break;
    if (evictOne(c)) total -= std::min(total, c.bytes);
  }
}

Evicted DataCache::makeRoom(uint64_t bytes, uint64_t objects) {
  Evicted freed;
  if (bytes == 0 && objects == 0) return freed;
  for (const EvictCandidate& c : evictCandidates()) {
    if (freed.bytes >= bytes && freed.objects >= objects) break;
    if (!evictOne(c)) continue;
    freed.bytes += c.bytes;
    freed.objects += 1;
  }
  return freed;
}

void DataCache::setRoomKeeper(RoomKeeper keeper) {
  room_ = keeper ? std::make_shared<const RoomKeeper>(std::move(keeper)) : nullptr;
}

}  // namespace tarn
