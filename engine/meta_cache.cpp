#include "engine/meta_cache.h"

#include <algorithm>

#include "engine/clock.h"
#include "foundation/remote_path.h"

namespace tarn {
namespace {

int64_t NowMs() { return static_cast<int64_t>(SteadyNowMs()); }

// Records of changes are pruned once there are this many, down to those a
// question under way may still meet.
constexpr size_t kTouchedPruneAt = 4096;

// Every spelling of the root is one key.
std::string TouchKey(const std::string& path) { return IsRootPath(path) ? std::string("/") : path; }

}  // namespace

MetaCache::Question::~Question() {
  if (cache_ != nullptr) cache_->forget(*this);
}

MetaCache::Question MetaCache::ask() {
  std::lock_guard<std::mutex> lock(mu_);
  asking_.insert(changes_);
  return Question(this, changes_);
}

void MetaCache::forget(const Question& q) {
  std::lock_guard<std::mutex> lock(mu_);
  asking_.erase(asking_.find(q.since_));
  if (asking_.empty()) {
    touched_.clear();
  } else if (touched_.size() >= kTouchedPruneAt) {
    const uint64_t oldest = *asking_.begin();
    std::erase_if(touched_, [oldest](const auto& item) {
      const Touched& t = item.second;
      return std::max({t.self, t.names, t.tree}) <= oldest;
    });
  }
}

void MetaCache::touchLocked(const std::string& path) {
  ++changes_;
  if (asking_.empty()) return;  // no answer under way that could be older
  touched_[TouchKey(path)].self = changes_;
  touched_[TouchKey(ParentPath(path))].names = changes_;
}

void MetaCache::touchTreeLocked(const std::string& path) {
  ++changes_;
  if (asking_.empty()) return;
  touched_[TouchKey(path)].tree = changes_;
  touched_[TouchKey(ParentPath(path))].names = changes_;
}

bool MetaCache::touchedSinceLocked(const std::string& path, uint64_t since, bool names) const {
  if (touched_.empty()) return false;
  const std::string key = TouchKey(path);
  for (std::string p = key;; p = TouchKey(ParentPath(p))) {
    auto it = touched_.find(p);
    if (it != touched_.end()) {
      const Touched& t = it->second;
      if (t.tree > since) return true;
      if (p == key && (t.self > since || (names && t.names > since))) return true;
    }
    if (p == "/") return false;
  }
}

bool MetaCache::changedSince(const Question& q, const std::string& path, bool names) {
  std::lock_guard<std::mutex> lock(mu_);
  return touchedSinceLocked(path, q.since_, names);
}

bool MetaCache::answerAttr(const Question& q, const std::string& path, const RemoteAttr& attr) {
  std::lock_guard<std::mutex> lock(mu_);
  if (touchedSinceLocked(path, q.since_, false)) return false;
  putAttrLocked(path, attr, NowMs());
  return true;
}

bool MetaCache::answerNegative(const Question& q, const std::string& path) {
  std::lock_guard<std::mutex> lock(mu_);
  if (touchedSinceLocked(path, q.since_, false)) return false;
  putNegativeLocked(path, NowMs());
  return true;
}

bool MetaCache::answerListing(const Question& q, const std::string& path, const std::vector<DirEntry>& entries) {
  std::lock_guard<std::mutex> lock(mu_);
  if (touchedSinceLocked(path, q.since_, true)) return false;
  putListingLocked(path, entries, NowMs());
  return true;
}

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

bool MetaCache::listedAsMissing(const std::string& path) {
  if (IsRootPath(path)) return false;
  std::lock_guard<std::mutex> lock(mu_);
  auto it = listings_.find(ParentPath(path));
  if (it == listings_.end() || !freshLocked(it->second.expiresMs, NowMs())) return false;
  const std::string name = BaseName(path);
  return std::none_of(it->second.entries.begin(), it->second.entries.end(),
                      [&](const DirEntry& e) { return e.name == name; });
}

bool MetaCache::getLastAttr(const std::string& path, RemoteAttr* out) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = attrs_.find(path);
  if (it == attrs_.end() || it->second.negative) return false;
  *out = it->second.attr;
  return true;
}

bool MetaCache::getLastListing(const std::string& path, std::vector<DirEntry>* out) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = listings_.find(path);
  if (it == listings_.end()) return false;
  *out = it->second.entries;
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
  touchLocked(path);
  putAttrLocked(path, attr, NowMs());
}

void MetaCache::putAttrAndEntry(const std::string& path, const RemoteAttr& attr) {
  std::lock_guard<std::mutex> lock(mu_);
  touchLocked(path);
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

void MetaCache::putNegativeLocked(const std::string& path, int64_t now) {
  MetaAttrEntry& entry = attrs_[path];
  entry.negative = true;
  entry.expiresMs = now + negativeTtlMs_;
}

void MetaCache::putNegative(const std::string& path) {
  std::lock_guard<std::mutex> lock(mu_);
  touchLocked(path);
  putNegativeLocked(path, NowMs());
}

void MetaCache::putListing(const std::string& path, const std::vector<DirEntry>& entries) {
  std::lock_guard<std::mutex> lock(mu_);
  touchTreeLocked(path);
  putListingLocked(path, entries, NowMs());
}

void MetaCache::putListingLocked(const std::string& path, const std::vector<DirEntry>& entries, int64_t now) {
  MetaListing& listing = listings_[path];
  listing.entries = entries;
  listing.expiresMs = now + dirTtlMs_;
  for (const DirEntry& entry : entries) putAttrLocked(JoinRemotePath(path, entry.name), entry.attr, now);
}

MetaSeen MetaCache::seen() {
  MetaSeen out;
  std::lock_guard<std::mutex> lock(mu_);
  for (const auto& [path, entry] : attrs_)
    if (!entry.negative) out.attrs.emplace_back(path, entry.attr);
  for (const auto& [path, listing] : listings_) out.listings.emplace_back(path, listing.entries);
  return out;
}

void MetaCache::restore(const MetaSeen& seen) {
  std::lock_guard<std::mutex> lock(mu_);
  for (const auto& [path, attr] : seen.attrs) {
    auto [it, added] = attrs_.try_emplace(path);
    if (added) it->second.attr = attr;  // expiresMs 0: expired
  }
  for (const auto& [path, entries] : seen.listings) {
    auto [it, added] = listings_.try_emplace(path);
    if (added) it->second.entries = entries;
  }
}

void MetaCache::updateLocal(const std::string& path, uint64_t size, const Timestamp& mtime) {
  std::lock_guard<std::mutex> lock(mu_);
  touchLocked(path);
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
  touchLocked(path);
  if (!asking_.empty()) touched_[TouchKey(path)].names = changes_;  // its listing goes too
  attrs_.erase(path);
  listings_.erase(path);
  listings_.erase(ParentPath(path));
}

void MetaCache::eraseListingsUnderLocked(const std::string& path) {
  std::erase_if(listings_, [&](const auto& item) { return IsUnderPath(path, item.first); });
}

void MetaCache::invalidateTree(const std::string& path) {
  std::lock_guard<std::mutex> lock(mu_);
  touchTreeLocked(path);
  std::erase_if(attrs_, [&](const auto& item) { return IsUnderPath(path, item.first); });
  eraseListingsUnderLocked(path);
  listings_.erase(ParentPath(path));
}

void MetaCache::renameTree(const std::string& oldPath, const std::string& newPath) {
  std::lock_guard<std::mutex> lock(mu_);
  touchTreeLocked(oldPath);
  touchTreeLocked(newPath);
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
  touchTreeLocked("/");
  attrs_.clear();
  listings_.clear();
}

}  // namespace tarn
