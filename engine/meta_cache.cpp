#include "engine/meta_cache.h"

#include "engine/clock.h"
#include "foundation/remote_path.h"

namespace tarn {
namespace {

int64_t NowMs() { return static_cast<int64_t>(SteadyNowMs()); }

}  // namespace

MetaCache::MetaCache(uint32_t metaTtlMs, uint32_t dirTtlMs, uint32_t negativeTtlMs, bool offline)
    : metaTtlMs_(metaTtlMs), dirTtlMs_(dirTtlMs), negativeTtlMs_(negativeTtlMs), offline_(offline) {}

void MetaCache::setConfig(uint32_t metaTtlMs, uint32_t dirTtlMs, uint32_t negativeTtlMs, bool offline) {
  std::lock_guard<std::mutex> lock(mu_);
  metaTtlMs_ = metaTtlMs;
  dirTtlMs_ = dirTtlMs;
  negativeTtlMs_ = negativeTtlMs;
  offline_ = offline;
}

bool MetaCache::freshLocked(int64_t expiresMs, int64_t now) const { return offline_ || now < expiresMs; }

bool MetaCache::getAttr(const std::string& path, RemoteAttr* out, bool* negative) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = attrs_.find(path);
  if (it == attrs_.end() || !freshLocked(it->second.expiresMs, NowMs())) return false;
  if (negative != nullptr) *negative = it->second.negative;
  if (!it->second.negative && out != nullptr) *out = it->second.attr;
  return true;
}

bool MetaCache::getListing(const std::string& path, std::vector<DirEntry>* out) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = listings_.find(path);
  if (it == listings_.end() || !freshLocked(it->second.expiresMs, NowMs())) return false;
  if (out != nullptr) *out = it->second.entries;
  return true;
}

void MetaCache::putAttrLocked(const std::string& path, const RemoteAttr& attr, int64_t now) {
  MetaAttrEntry& entry = attrs_[path];
  entry.attr = attr;
  entry.negative = false;
  entry.expiresMs = now + metaTtlMs_;
}

void MetaCache::putAttr(const std::string& path, const RemoteAttr& attr) {
  std::lock_guard<std::mutex> lock(mu_);
  putAttrLocked(path, attr, NowMs());
}

void MetaCache::putAttrAndEntry(const std::string& path, const RemoteAttr& attr) {
  std::lock_guard<std::mutex> lock(mu_);
  putAttrLocked(path, attr, NowMs());
  auto it = listings_.find(ParentPath(path));
  if (it == listings_.end()) return;
  std::string name = BaseName(path);
  for (DirEntry& entry : it->second.entries) {
    if (entry.name == name) {
      entry.attr = attr;
      return;
    }
  }
  it->second.entries.push_back(DirEntry{name, attr});
}

void MetaCache::putNegative(const std::string& path) {
  std::lock_guard<std::mutex> lock(mu_);
  MetaAttrEntry& entry = attrs_[path];
  entry.negative = true;
  entry.expiresMs = NowMs() + negativeTtlMs_;
}

void MetaCache::putListing(const std::string& path, const std::vector<DirEntry>& entries) {
  std::lock_guard<std::mutex> lock(mu_);
  int64_t now = NowMs();
  MetaListing& listing = listings_[path];
  listing.entries = entries;
  listing.expiresMs = now + dirTtlMs_;
  for (const DirEntry& entry : entries) putAttrLocked(JoinRemotePath(path, entry.name), entry.attr, now);
}

void MetaCache::updateLocal(const std::string& path, uint64_t size, const Timestamp& mtime) {
  std::lock_guard<std::mutex> lock(mu_);
  auto attr = attrs_.find(path);
  if (attr != attrs_.end() && !attr->second.negative) {
    attr->second.attr.size = size;
    attr->second.attr.mtime = mtime;
    attr->second.expiresMs = NowMs() + metaTtlMs_;
  }
  auto listing = listings_.find(ParentPath(path));
  if (listing == listings_.end()) return;
  std::string name = BaseName(path);
  for (DirEntry& entry : listing->second.entries) {
    if (entry.name == name) {
      entry.attr.size = size;
      entry.attr.mtime = mtime;
    }
  }
}

void MetaCache::invalidate(const std::string& path) {
  std::lock_guard<std::mutex> lock(mu_);
  attrs_.erase(path);
  listings_.erase(path);
  listings_.erase(ParentPath(path));
}

void MetaCache::eraseListingsUnderLocked(const std::string& path) {
  std::erase_if(listings_, [&](const auto& item) { return IsUnderPath(path, item.first); });
}

void MetaCache::invalidateTree(const std::string& path) {
  std::lock_guard<std::mutex> lock(mu_);
  std::erase_if(attrs_, [&](const auto& item) { return IsUnderPath(path, item.first); });
  eraseListingsUnderLocked(path);
  listings_.erase(ParentPath(path));
}

void MetaCache::renameTree(const std::string& oldPath, const std::string& newPath) {
  std::lock_guard<std::mutex> lock(mu_);
  std::vector<std::pair<std::string, MetaAttrEntry>> moved;
  for (auto it = attrs_.begin(); it != attrs_.end();) {
    if (IsUnderPath(oldPath, it->first)) {
      moved.emplace_back(RebasePath(it->first, oldPath, newPath), std::move(it->second));
      it = attrs_.erase(it);
    } else {
      ++it;
    }
  }
  const MetaAttrEntry* top = nullptr;
  for (auto& [key, entry] : moved) {
    if (key == newPath) top = &entry;
    else attrs_[key] = entry;
  }
  eraseListingsUnderLocked(oldPath);
  eraseListingsUnderLocked(newPath);
  listings_.erase(ParentPath(oldPath));
  listings_.erase(ParentPath(newPath));
  // No answer about the new path may outlive the move unless the move brought one.
  attrs_.erase(newPath);
  if (top != nullptr) attrs_[newPath] = *top;
}

void MetaCache::clear() {
  std::lock_guard<std::mutex> lock(mu_);
  attrs_.clear();
  listings_.clear();
}

}  // namespace tarn
