#include "engine/data_cache.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "engine/map_file.h"
#include "foundation/codec.h"
#include "foundation/file_util.h"
#include "foundation/hash.h"
#include "foundation/log.h"
#include "foundation/remote_path.h"
#include "foundation/text.h"

namespace tarn {

namespace {

constexpr const char* kDataFolder = "data";
constexpr const char* kBinSuffix = ".bin";
constexpr const char* kMapSuffix = ".map";
constexpr const char* kTmpSuffix = ".tmp";
constexpr mode_t kFolderMode = 0700;

bool EndsWith(const std::string& s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// Calls fn with the name of every regular file in dir.
void ForEachFile(const std::string& dir, const std::function<void(const std::string&)>& fn) {
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return;
  std::vector<std::string> names;
  while (const dirent* e = ::readdir(d)) {
    if (e->d_type != DT_REG && e->d_type != DT_UNKNOWN) continue;
    names.emplace_back(e->d_name);
  }
  ::closedir(d);
  for (const std::string& n : names) fn(n);
}

}  // namespace

bool DeleteFileRetry(const std::string& path) {
  for (int attempt = 1; attempt <= kDeleteAttempts; ++attempt) {
    if (::unlink(path.c_str()) == 0 || errno == ENOENT || errno == ENOTDIR) return true;
    const int err = errno;
    if (err != EBUSY && err != EINTR && err != ETXTBSY) return false;
    if (attempt == kDeleteAttempts) {
      vx::log::write(vx::log::kWarn, "cache: cannot delete %s: %s", path.c_str(),
                     vx::FormatWin32Error(static_cast<uint32_t>(err)).c_str());
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kDeleteRetryPauseMs));
  }
  return false;
}

DataCache::DataCache(std::string root, uint32_t blockSize, uint64_t maxBytes, bool keepDirtyForever)
    : root_(std::move(root)), blockSize_(blockSize), maxBytes_(maxBytes), keepDirtyForever_(keepDirtyForever) {}

DataCache::~DataCache() = default;

std::string DataCache::dataDir() const { return vx::JoinPath(root_, kDataFolder); }

std::string DataCache::binPath(const std::string& name) const { return vx::JoinPath(dataDir(), name + kBinSuffix); }

std::string DataCache::mapPath(const std::string& name) const { return vx::JoinPath(dataDir(), name + kMapSuffix); }

std::string DataCache::objectName(const std::string& path) {
  try {
    return vx::HexEncode(vx::Sha256(path.data(), path.size())).substr(0, kObjectNameDigits);
  } catch (const std::exception&) {
    return std::string();
  }
}

bool DataCache::pathFits(const std::string& path) { return path.size() <= kMaxMapPathBytes; }

bool DataCache::ensureDir(std::string* error) {
  const bool rootExisted = PathExists(root_);
  const std::string data = dataDir();
  bool ok = vx::MakeDirs(root_) && vx::MakeDirs(data);
  if (ok && !rootExisted) ok = ::chmod(root_.c_str(), kFolderMode) == 0;
  if (ok) ok = ::chmod(data.c_str(), kFolderMode) == 0;
  if (!ok) {
    if (error != nullptr) *error = "cannot create cache directory " + root_;
    return false;
  }
  // No object is open yet, so every temporary map is a leftover of a save
  // that was interrupted before its rename.
  ForEachFile(data, [&](const std::string& name) {
    if (EndsWith(name, kTmpSuffix)) ::unlink(vx::JoinPath(data, name).c_str());
  });
  return true;
}

void DataCache::setFileDeleter(FileDeleter deleter) {
  std::lock_guard<std::mutex> lock(mu_);
  deleter_ = std::move(deleter);
}

bool DataCache::deleteFile(const std::string& path) {
  FileDeleter deleter;
  {
    std::lock_guard<std::mutex> lock(mu_);
    deleter = deleter_;
  }
  return deleter ? deleter(path) : DeleteFileRetry(path);
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

  std::unique_lock<std::mutex> lock(mu_);
  waitNotBusyLocked(lock, name);
  if (std::shared_ptr<CacheFile> obj = liveLocked(name)) return obj;
  const std::string map = mapPath(name);
  if (!create && !PathExists(map)) return fail(Status(Status::kNotFound, "not cached"));
  const std::string bin = binPath(name);
  const bool dataExisted = PathExists(bin);
  auto obj = std::make_shared<CacheFile>(bin, map, path, name, blockSize_);
  Status st = obj->openData();
  if (!st.ok()) return fail(std::move(st));
  // Without its data file a map's present blocks would read as zeros and
  // could be uploaded as such; the object starts empty instead.
  if (dataExisted && obj->loadMap()) obj->fitDataLength();
  live_[name] = obj;
  if (status != nullptr) *status = Status();
  return obj;
}

bool DataCache::exists(const std::string& path) {
  if (!pathFits(path)) return false;
  const std::string name = objectName(path);
  return !name.empty() && PathExists(mapPath(name));
}

void DataCache::remove(const std::string& path) {
  if (!pathFits(path)) return;
  const std::string name = objectName(path);
  if (name.empty()) return;
  {
    std::unique_lock<std::mutex> lock(mu_);
    waitNotBusyLocked(lock, name);
    if (std::shared_ptr<CacheFile> obj = liveLocked(name)) obj->markRemoved();
    live_.erase(name);
    busy_.insert(name);
  }
  deleteFile(mapPath(name));
  deleteFile(binPath(name));
  releaseBusy({name});
}

Status DataCache::renameObject(const std::string& oldPath, const std::string& newPath) {
  if (!pathFits(newPath)) return Status(Status::kInvalid, "remote path too long for the cache");
  if (!pathFits(oldPath)) return Status();  // never cached
  const std::string oldName = objectName(oldPath);
  const std::string newName = objectName(newPath);
  if (oldName.empty() || newName.empty()) return Status(Status::kIo, "cannot name cache object");
  if (oldName == newName) return Status();

  std::shared_ptr<CacheFile> live;
  {
    std::unique_lock<std::mutex> lock(mu_);
    busyCv_.wait(lock, [&] { return busy_.count(oldName) == 0 && busy_.count(newName) == 0; });
    live = liveLocked(oldName);
    live_.erase(oldName);
    // A holder of the replaced object must never write its map over the one
    // that is moved into place.
    if (std::shared_ptr<CacheFile> replaced = liveLocked(newName)) replaced->markRemoved();
    live_.erase(newName);
    busy_.insert(oldName);
    busy_.insert(newName);
  }
  vx::log::write(vx::log::kDebug, "cache rename %s -> %s: live object %s", oldPath.c_str(), newPath.c_str(),
                 live ? "rebound" : "none, files moved");

  const std::string oldBin = binPath(oldName), oldMap = mapPath(oldName);
  const std::string newBin = binPath(newName), newMap = mapPath(newName);
  if (!live) {
    if (!PathExists(oldMap)) {
      releaseBusy({oldName, newName});
      return Status();
    }
    deleteFile(newMap);
    deleteFile(newBin);
    (void)::rename(oldBin.c_str(), newBin.c_str());
    (void)::rename(oldMap.c_str(), newMap.c_str());
    releaseBusy({oldName, newName});
    if (std::shared_ptr<CacheFile> moved = open(newPath, false)) {
      moved->rebind(newBin, newMap, newPath, newName);
      moved->saveMap();
    }
    return Status();
  }

  // Copied first: deleteFile takes the cache mutex, which must not be taken
  // under the object's.
  FileDeleter deleter;
  {
    std::lock_guard<std::mutex> lock(mu_);
    deleter = deleter_ ? deleter_ : FileDeleter(DeleteFileRetry);
  }
  live->relocate(newBin, newMap, newPath, newName, deleter);
  {
    std::lock_guard<std::mutex> lock(mu_);
    live_[newName] = live;
    busy_.erase(oldName);
    busy_.erase(newName);
  }
  busyCv_.notify_all();
  return Status();
}

void DataCache::renameTree(const std::string& oldPrefix, const std::string& newPrefix) {
  std::vector<std::string> paths;
  forEachMap([&](const std::string& map) {
    std::string bytes;
    MapHeader h;
    if (!ReadSmallFile(map, &bytes) || !DecodeMapHeader(bytes, &h)) return;
    if (IsUnderPath(oldPrefix, h.path)) paths.push_back(h.path);
  });
  for (const std::string& p : paths) renameObject(p, RebasePath(p, oldPrefix, newPrefix));
}

void DataCache::forEachMap(const std::function<void(const std::string& mapPath)>& fn) const {
  const std::string dir = dataDir();
  ForEachFile(dir, [&](const std::string& name) {
    if (EndsWith(name, kMapSuffix)) fn(vx::JoinPath(dir, name));
  });
}

std::vector<std::string> DataCache::dirtyFiles() const {
  std::vector<std::string> out;
  forEachMap([&](const std::string& map) {
    std::string bytes;
    MapHeader h;
    if (!ReadSmallFile(map, &bytes) || !HasMapMagic(bytes) || !DecodeMapHeader(bytes, &h)) return;
    if (MapHasDirty(bytes)) out.push_back(h.path);
  });
  return out;
}

uint64_t DataCache::diskBytes() const {
  uint64_t total = 0;
  forEachMap([&](const std::string& map) {
    std::string bytes;
    if (ReadSmallFile(map, &bytes)) total += MapPresentBytes(bytes);
  });
  return total;
}

void DataCache::evictTo(uint64_t limit) {
  if (diskBytes() <= limit) return;
  std::vector<EvictCandidate> candidates;
  forEachMap([&](const std::string& map) {
    std::string bytes;
    if (!ReadSmallFile(map, &bytes) || bytes.size() < kMapHeaderSize || MapHasDirty(bytes)) return;
    EvictCandidate c;
    c.mapPath = map;
    c.binPath = map.substr(0, map.size() - std::string_view(kMapSuffix).size()) + kBinSuffix;
    const size_t slash = map.rfind('/');
    c.name = map.substr(slash + 1, map.size() - slash - 1 - std::string_view(kMapSuffix).size());
    c.bytes = MapPresentBytes(bytes);
    struct stat st {};
    if (::stat(c.binPath.c_str(), &st) == 0)
      c.lastWrite = Timestamp::fromTimespec(st.st_mtim.tv_sec, st.st_mtim.tv_nsec).toFileTime();
    candidates.push_back(std::move(c));
  });
  std::sort(candidates.begin(), candidates.end(), [](const EvictCandidate& a, const EvictCandidate& b) {
    return a.lastWrite != b.lastWrite ? a.lastWrite < b.lastWrite : a.name < b.name;
  });

  uint64_t total = diskBytes();
  for (const EvictCandidate& c : candidates) {
    if (total <= limit) break;
    {
      std::lock_guard<std::mutex> lock(mu_);
      if (busy_.count(c.name) != 0 || liveLocked(c.name)) continue;  // in use
      live_.erase(c.name);
      busy_.insert(c.name);
    }
    // The scan is old news: the object may have been opened, changed, saved
    // and let go since. Nobody can open it now, so this look is final.
    std::string bytes;
    if (ReadSmallFile(c.mapPath, &bytes) && MapHasDirty(bytes)) {
      releaseBusy({c.name});
      continue;
    }
    if (deleteFile(c.binPath) && deleteFile(c.mapPath)) total -= std::min(total, c.bytes);
    releaseBusy({c.name});
  }
}

}  // namespace tarn
