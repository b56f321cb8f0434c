#include "engine/meta_cache.h"

#include <algorithm>
#include <iterator>

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
std::string ListingKey(const std::string& path) { return TouchKey(path); }

// What a listing counts beyond its entries: its key, table slot and record.
constexpr uint64_t kListingOverheadBytes = 256;

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
  const int64_t now = NowMs();
  putAttrLocked(path, attr, now);
  trimAttrsLocked(now);
  return true;
}

bool MetaCache::answerNegative(const Question& q, const std::string& path) {
  std::lock_guard<std::mutex> lock(mu_);
  if (touchedSinceLocked(path, q.since_, false)) return false;
  const int64_t now = NowMs();
  putNegativeLocked(path, now);
  trimAttrsLocked(now);
  return true;
}

bool MetaCache::answerListing(const Question& q, const std::string& path, const std::vector<DirEntry>& entries) {
  return answerListing(q, path, std::make_shared<DirListing>(entries));
}

bool MetaCache::answerListing(const Question& q, const std::string& path, std::shared_ptr<DirListing> entries) {
  std::lock_guard<std::mutex> lock(mu_);
  if (touchedSinceLocked(path, q.since_, true)) return false;
  putListingLocked(path, std::move(entries), NowMs());
  return true;
}

MetaCache::MetaCache(uint32_t metaTtlMs, uint32_t dirTtlMs, uint32_t negativeTtlMs, bool offline,
                     MetaCacheLimits limits)
    : limits_(limits), metaTtlMs_(metaTtlMs), dirTtlMs_(dirTtlMs), negativeTtlMs_(negativeTtlMs), offline_(offline) {}

void MetaCache::setConfig(uint32_t metaTtlMs, uint32_t dirTtlMs, uint32_t negativeTtlMs, bool offline) {
  std::lock_guard<std::mutex> lock(mu_);
  metaTtlMs_ = metaTtlMs;
  dirTtlMs_ = dirTtlMs;
  negativeTtlMs_ = negativeTtlMs;
  offline_ = offline;
}

bool MetaCache::freshLocked(int64_t expiresMs, int64_t now) const { return offline_ || now < expiresMs; }

MetaListing* MetaCache::listedLocked(const std::string& path, size_t* index) {
  if (IsRootPath(path)) return nullptr;
  auto it = listings_.find(ListingKey(ParentPath(path)));
  if (it == listings_.end()) return nullptr;
  *index = it->second.entries->find(BaseName(path));
  return *index == DirListing::kNone ? nullptr : &it->second;
}

bool MetaCache::getAttr(const std::string& path, RemoteAttr* out, bool* negative) {
  std::lock_guard<std::mutex> lock(mu_);
  const int64_t now = NowMs();
  auto it = attrs_.find(path);
  if (it != attrs_.end()) {
    if (!freshLocked(it->second.expiresMs, now)) return false;
    if (negative != nullptr) *negative = it->second.negative;
    if (!it->second.negative && out != nullptr) *out = it->second.attr;
    return true;
  }
  size_t i = 0;
  const MetaListing* listing = listedLocked(path, &i);
  if (listing == nullptr || !freshLocked(listing->attrsExpireMs, now)) return false;
  if (negative != nullptr) *negative = false;
  if (out != nullptr) *out = listing->entries->attr(i);
  return true;
}

bool MetaCache::getListing(const std::string& path, std::shared_ptr<const DirListing>* out) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = listings_.find(ListingKey(path));
  if (it == listings_.end() || !it->second.listed || !freshLocked(it->second.expiresMs, NowMs())) return false;
  if (out != nullptr) *out = it->second.entries;
  return true;
}

bool MetaCache::getListing(const std::string& path, std::vector<DirEntry>* out) {
  std::shared_ptr<const DirListing> listing;
  if (!getListing(path, &listing)) return false;
  if (out != nullptr) *out = listing->entries();
  return true;
}

bool MetaCache::listedAsMissing(const std::string& path) {
  if (IsRootPath(path)) return false;
  std::lock_guard<std::mutex> lock(mu_);
  auto it = listings_.find(ListingKey(ParentPath(path)));
  if (it == listings_.end() || !it->second.listed || !freshLocked(it->second.expiresMs, NowMs())) return false;
  return it->second.entries->find(BaseName(path)) == DirListing::kNone;
}

bool MetaCache::getLastAttr(const std::string& path, RemoteAttr* out) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = attrs_.find(path);
  if (it != attrs_.end()) {
    if (it->second.negative) return false;
    *out = it->second.attr;
    return true;
  }
  size_t i = 0;
  const MetaListing* listing = listedLocked(path, &i);
  if (listing == nullptr) return false;
  *out = listing->entries->attr(i);
  return true;
}

bool MetaCache::getLastListing(const std::string& path, std::shared_ptr<const DirListing>* out) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = listings_.find(ListingKey(path));
  if (it == listings_.end() || !it->second.listed) return false;
  *out = it->second.entries;
  return true;
}

bool MetaCache::getLastListing(const std::string& path, std::vector<DirEntry>* out) {
  std::shared_ptr<const DirListing> listing;
  if (!getLastListing(path, &listing)) return false;
  *out = listing->entries();
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
  const int64_t now = NowMs();
  putAttrLocked(path, attr, now);
  trimAttrsLocked(now);
}

void MetaCache::putAttrAndEntry(const std::string& path, const RemoteAttr& attr) {
  std::lock_guard<std::mutex> lock(mu_);
  touchLocked(path);
  const int64_t now = NowMs();
  putAttrLocked(path, attr, now);
  auto it = IsRootPath(path) ? listings_.end() : listings_.find(ListingKey(ParentPath(path)));
  if (it != listings_.end() && it->second.listed) {
    DirListing& entries = changeLocked(it->second);
    const std::string name = BaseName(path);
    if (size_t i = entries.find(name); i != DirListing::kNone)
      entries.setAttr(i, attr);
    else
      entries.add(name, attr);
    recountLocked(it->second);
    trimListingsLocked(&it->second);
  }
  trimAttrsLocked(now);
}

void MetaCache::putNegativeLocked(const std::string& path, int64_t now) {
  MetaAttrEntry& entry = attrs_[path];
  entry.negative = true;
  entry.expiresMs = now + negativeTtlMs_;
}

void MetaCache::putNegative(const std::string& path) {
  std::lock_guard<std::mutex> lock(mu_);
  touchLocked(path);
  const int64_t now = NowMs();
  putNegativeLocked(path, now);
  trimAttrsLocked(now);
}

void MetaCache::putListing(const std::string& path, const std::vector<DirEntry>& entries) {
  std::lock_guard<std::mutex> lock(mu_);
  touchTreeLocked(path);
  putListingLocked(path, std::make_shared<DirListing>(entries), NowMs());
}

void MetaCache::putListingLocked(const std::string& path, std::shared_ptr<DirListing> entries, int64_t now) {
  const std::string key = ListingKey(path);
  eraseListingLocked(key);
  // Attribute entries of the listed names are older than the listing now;
  // the cheaper side of the two is walked.
  if (attrs_.size() < entries->count()) {
    std::erase_if(attrs_, [&](const auto& item) {
      return !IsRootPath(item.first) && ParentPath(item.first) == key &&
             entries->find(BaseName(item.first)) != DirListing::kNone;
    });
  } else {
    for (size_t i = 0; i < entries->size(); ++i)
      if (!entries->removed(i)) attrs_.erase(JoinRemotePath(key, entries->name(i)));
  }
  // Too large to keep: the folder is asked for again next time.
  if (entries->bytes() + kListingOverheadBytes > limits_.folderBytes) return;
  MetaListing& listing = listings_[key];
  listing.entries = std::move(entries);
  listing.expiresMs = now + dirTtlMs_;
  listing.attrsExpireMs = now + metaTtlMs_;
  listing.listed = true;
  listing.order = ++nextOrder_;
  listingOrder_[listing.order] = key;
  listing.bytes = 0;
  recountLocked(listing);
  trimListingsLocked(&listing);
}

DirListing& MetaCache::changeLocked(MetaListing& listing) {
  // use_count() alone is a relaxed read; taking a reference reads the count
  // with acquire, so a reader that has let go has also finished reading.
  const std::shared_ptr<DirListing> taken = listing.entries;
  if (taken.use_count() > 2) listing.entries = std::make_shared<DirListing>(*taken);
  return *listing.entries;
}

void MetaCache::recountLocked(MetaListing& listing) {
  listingBytes_ -= listing.bytes;
  listing.bytes = listing.entries->bytes() + kListingOverheadBytes;
  listingBytes_ += listing.bytes;
}

MetaCache::ListingMap::iterator MetaCache::eraseListingLocked(ListingMap::iterator it) {
  listingBytes_ -= it->second.bytes;
  listingOrder_.erase(it->second.order);
  return listings_.erase(it);
}

void MetaCache::eraseListingLocked(const std::string& path) {
  auto it = listings_.find(path);
  if (it != listings_.end()) eraseListingLocked(it);
}

void MetaCache::eraseListingsUnderLocked(const std::string& path) {
  for (auto it = listings_.begin(); it != listings_.end();)
    it = IsUnderPath(path, it->first) ? eraseListingLocked(it) : std::next(it);
}

void MetaCache::unlistLocked(const std::string& folder, const std::string& path) {
  auto it = listings_.find(ListingKey(folder));
  if (it == listings_.end()) return;
  it->second.listed = false;
  if (IsRootPath(path)) return;
  if (size_t i = it->second.entries->find(BaseName(path)); i != DirListing::kNone) {
    changeLocked(it->second).remove(i);
    recountLocked(it->second);
  }
}

void MetaCache::trimListingsLocked(const MetaListing* keep) {
  auto next = listingOrder_.begin();
  while (listingBytes_ > limits_.listingBytes && next != listingOrder_.end()) {
    auto it = listings_.find(next->second);
    ++next;
    if (&it->second != keep) eraseListingLocked(it);
  }
}

MetaCache::AttrMap::iterator MetaCache::eraseAttrLocked(AttrMap::iterator it) {
  // The older listing entry of the name must not answer in its place.
  size_t i = 0;
  if (listedLocked(it->first, &i) != nullptr) eraseListingLocked(ListingKey(ParentPath(it->first)));
  return attrs_.erase(it);
}

void MetaCache::trimAttrsLocked(int64_t now) {
  if (attrs_.size() <= limits_.maxAttrs) return;
  // Down to three quarters, so that the walks stay rare.
  const size_t target = limits_.maxAttrs - limits_.maxAttrs / 4;
  for (auto it = attrs_.begin(); it != attrs_.end();) it = now >= it->second.expiresMs ? eraseAttrLocked(it) : std::next(it);
  if (attrs_.size() <= target) return;
  std::vector<std::pair<int64_t, AttrMap::iterator>> byAge;
  byAge.reserve(attrs_.size());
  for (auto it = attrs_.begin(); it != attrs_.end(); ++it) byAge.emplace_back(it->second.expiresMs, it);
  const size_t drop = attrs_.size() - target;
  std::nth_element(byAge.begin(), byAge.begin() + static_cast<std::ptrdiff_t>(drop), byAge.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (size_t i = 0; i < drop; ++i) eraseAttrLocked(byAge[i].second);
}

MetaSeen MetaCache::seen() {
  MetaSeen out;
  std::lock_guard<std::mutex> lock(mu_);
  for (const auto& [path, entry] : attrs_)
    if (!entry.negative) out.attrs.emplace_back(path, entry.attr);
  for (const auto& [path, listing] : listings_)
    (listing.listed ? out.listings : out.unlisted).emplace_back(path, listing.entries);
  return out;
}

void MetaCache::restore(MetaSeen seen) {
  std::lock_guard<std::mutex> lock(mu_);
  // Listings first: an attribute entry that one of them holds is not kept
  // beside it.
  for (bool listed : {true, false}) {
    for (auto& [path, entries] : listed ? seen.listings : seen.unlisted) {
      const std::string key = ListingKey(path);
      if (!entries || listings_.contains(key)) continue;
      MetaListing& listing = listings_[key];  // expiry 0: expired
      listing.entries = std::move(entries);
      listing.listed = listed;
      listing.order = ++nextOrder_;
      listingOrder_[listing.order] = key;
      recountLocked(listing);
    }
  }
  trimListingsLocked(nullptr);
  for (const auto& [path, attr] : seen.attrs) {
    size_t i = 0;
    if (attrs_.contains(path) || listedLocked(path, &i) != nullptr) continue;
    attrs_[path].attr = attr;
  }
  trimAttrsLocked(NowMs());
}

void MetaCache::updateLocal(const std::string& path, uint64_t size, const Timestamp& mtime) {
  std::lock_guard<std::mutex> lock(mu_);
  touchLocked(path);
  const int64_t now = NowMs();
  size_t i = 0;
  MetaListing* listing = listedLocked(path, &i);
  auto attr = attrs_.find(path);
  if (attr == attrs_.end() && listing != nullptr) {
    // The entry the listing held becomes one of its own, renewed.
    attr = attrs_.emplace(path, MetaAttrEntry{listing->entries->attr(i), false, 0}).first;
  }
  if (attr != attrs_.end() && !attr->second.negative) {
    attr->second.attr.size = size;
    attr->second.attr.mtime = mtime;
    attr->second.expiresMs = now + metaTtlMs_;
  }
  if (listing != nullptr && listing->listed) {
    changeLocked(*listing).setSizeAndTime(i, size, mtime);
    recountLocked(*listing);
  }
  trimAttrsLocked(now);
}

void MetaCache::invalidate(const std::string& path) {
  std::lock_guard<std::mutex> lock(mu_);
  touchLocked(path);
  if (!asking_.empty()) touched_[TouchKey(path)].names = changes_;  // its listing goes too
  attrs_.erase(path);
  // The entries' attributes stay, as they would in entries of their own.
  if (auto own = listings_.find(ListingKey(path)); own != listings_.end()) own->second.listed = false;
  if (!IsRootPath(path)) unlistLocked(ParentPath(path), path);
}

void MetaCache::invalidateTree(const std::string& path) {
  std::lock_guard<std::mutex> lock(mu_);
  touchTreeLocked(path);
  std::erase_if(attrs_, [&](const auto& item) { return IsUnderPath(path, item.first); });
  eraseListingsUnderLocked(path);
  if (!IsRootPath(path)) unlistLocked(ParentPath(path), path);
}

void MetaCache::renameTree(const std::string& oldPath, const std::string& newPath) {
  std::lock_guard<std::mutex> lock(mu_);
  touchTreeLocked(oldPath);
  touchTreeLocked(newPath);
  std::vector<std::pair<std::string, MetaAttrEntry>> moved;
  bool topMoved = false;
  for (auto it = attrs_.begin(); it != attrs_.end();) {
    if (IsUnderPath(oldPath, it->first)) {
      topMoved = topMoved || it->first == oldPath;
      moved.emplace_back(RebasePath(it->first, oldPath, newPath), std::move(it->second));
      it = attrs_.erase(it);
    } else {
      ++it;
    }
  }
  // The old path's attributes may live in its folder's listing only.
  size_t i = 0;
  if (const MetaListing* parent = topMoved ? nullptr : listedLocked(oldPath, &i); parent != nullptr)
    moved.emplace_back(newPath, MetaAttrEntry{parent->entries->attr(i), false, parent->attrsExpireMs});
  // Listings below the old path move as sources of their entries' attributes
  // only: the server's folders are not the ones they listed any more.
  std::vector<std::pair<std::string, MetaListing>> movedListings;
  for (auto it = listings_.begin(); it != listings_.end();) {
    if (IsUnderPath(oldPath, it->first)) {
      MetaListing listing = std::move(it->second);
      listing.listed = false;
      movedListings.emplace_back(ListingKey(RebasePath(it->first, oldPath, newPath)), std::move(listing));
      it = eraseListingLocked(it);
    } else {
      it = IsUnderPath(newPath, it->first) ? eraseListingLocked(it) : std::next(it);
    }
  }
  if (!IsRootPath(oldPath)) unlistLocked(ParentPath(oldPath), oldPath);
  if (!IsRootPath(newPath)) unlistLocked(ParentPath(newPath), newPath);
  for (auto& [key, listing] : movedListings) {
    MetaListing& placed = listings_[key] = std::move(listing);
    listingOrder_[placed.order] = key;
    listingBytes_ += placed.bytes;
  }
  const MetaAttrEntry* top = nullptr;
  for (auto& [key, entry] : moved) {
    if (key == newPath) top = &entry;
    else attrs_[key] = entry;
  }
  // No answer about the new path may outlive the move unless the move brought one.
  attrs_.erase(newPath);
  if (top != nullptr) attrs_[newPath] = *top;
  trimAttrsLocked(NowMs());
}

void MetaCache::clear() {
  std::lock_guard<std::mutex> lock(mu_);
  touchTreeLocked("/");
  attrs_.clear();
  listings_.clear();
  listingOrder_.clear();
  listingBytes_ = 0;
}

uint64_t MetaCache::listingBytes() {
  std::lock_guard<std::mutex> lock(mu_);
  return listingBytes_;
}

}  // namespace tarn
