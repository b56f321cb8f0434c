// The in-memory cache of one drive's remote attributes, folder listings and
// "does not exist" answers. Owned by its tarn::Volume; any thread may call
// it. Every operation holds the one mutex for its whole run and none talks to
// the server. Keys are remote paths compared byte for byte; lifetimes are
// steady-clock milliseconds (SteadyNowMs), and while offline nothing expires.
//
// Two kinds of news arrive: the server's answers to questions (stat, list),
// and the drive's own changes (a create, a write, a rename, an upload that
// ended). A server answer describes the server as it was when the question
// went out, so it is stored only when no change of the drive touched its
// path since then; otherwise it may be older than what the cache knows, and
// the asker asks again.
//
// Memory: a listing is stored packed (DirListing) and shared with whoever
// reads it, and the attributes of its entries are served from it rather
// than copied into entries of their own. Listings held count against a
// byte budget (one folder's and all of them), and the oldest go first when
// a new one would pass it; attribute entries of their own are bounded by
// count. So whatever servers send, the cache holds at most its budget.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/dir_listing.h"
#include "foundation/backend_types.h"

namespace tarn {

// Listings held, in all and for one folder, in DirListing::bytes; and the
// attribute entries held beside them. About 150 bytes an entry for the
// usual names, so a folder of 800,000 entries still fits.
inline constexpr uint64_t kMetaListingBytes = 256ull << 20;
inline constexpr uint64_t kMetaFolderBytes = 128ull << 20;
inline constexpr size_t kMetaMaxAttrs = 262144;

struct MetaCacheLimits {
  uint64_t listingBytes = kMetaListingBytes;
  uint64_t folderBytes = kMetaFolderBytes;
  size_t maxAttrs = kMetaMaxAttrs;
};

struct MetaAttrEntry {
  RemoteAttr attr;
  bool negative = false;  // the path does not exist; attr is not served
  int64_t expiresMs = 0;
};

struct MetaListing {
  std::shared_ptr<DirListing> entries;  // copied before a change while shared
  int64_t expiresMs = 0;                // served as the folder's listing until then
  int64_t attrsExpireMs = 0;            // its entries' attributes are fresh until then
  // False once the folder changed under it: it is no longer the folder's
  // listing, only the attributes of the entries it still holds.
  bool listed = true;
  uint64_t order = 0;  // when it was stored, for dropping the oldest first
  uint64_t bytes = 0;  // what it counts against the budget
};

// What a metadata cache held of the server: kept across restarts so that
// offline mode serves the folders the user saw online. `unlisted` holds the
// listings kept only for their entries' attributes. The listings are the
// cache's own, shared: readers only.
struct MetaSeen {
  using Listing = std::pair<std::string, std::shared_ptr<DirListing>>;
  std::vector<std::pair<std::string, RemoteAttr>> attrs;
  std::vector<Listing> listings;
  std::vector<Listing> unlisted;
};

class MetaCache {
 public:
  // A question to the server, from just before it is sent until its answer
  // is stored or dropped. Held by the asking thread.
  class Question {
   public:
    Question(Question&& other) noexcept : cache_(other.cache_), since_(other.since_) { other.cache_ = nullptr; }
    Question& operator=(Question&&) = delete;
    Question(const Question&) = delete;
    ~Question();

   private:
    friend class MetaCache;
    Question(MetaCache* cache, uint64_t since) : cache_(cache), since_(since) {}
    MetaCache* cache_;
    uint64_t since_;  // the last change the cache had seen when it was asked
  };

  MetaCache(uint32_t metaTtlMs, uint32_t dirTtlMs, uint32_t negativeTtlMs, bool offline,
            MetaCacheLimits limits = {});

  void setConfig(uint32_t metaTtlMs, uint32_t dirTtlMs, uint32_t negativeTtlMs, bool offline);

  // True for a fresh entry (any entry while offline); *negative tells which
  // kind, and only a positive entry fills *out. Either pointer may be null.
  bool getAttr(const std::string& path, RemoteAttr* out, bool* negative);
  // True when a fresh listing of the path's folder has no entry of its name:
  // the name is missing as surely as a fresh negative answer would say.
  bool listedAsMissing(const std::string& path);
  bool getListing(const std::string& path, std::vector<DirEntry>* out);
  // The listing itself, shared: it never changes.
  bool getListing(const std::string& path, std::shared_ptr<const DirListing>* out);
  // Any entry, expired or not: what the drive last saw, for when the server
  // cannot be reached. Negative entries are not served.
  bool getLastAttr(const std::string& path, RemoteAttr* out);
  bool getLastListing(const std::string& path, std::vector<DirEntry>* out);
  bool getLastListing(const std::string& path, std::shared_ptr<const DirListing>* out);

  Question ask();
  // The server's answers: stored unless a change of the drive touched the
  // path (or, for a listing, a name in the folder) since the question; false
  // when they were not stored, since they may be older than the cache. A
  // listing larger than one folder's budget is taken but not kept.
  bool answerAttr(const Question& q, const std::string& path, const RemoteAttr& attr);
  bool answerNegative(const Question& q, const std::string& path);
  bool answerListing(const Question& q, const std::string& path, const std::vector<DirEntry>& entries);
  bool answerListing(const Question& q, const std::string& path, std::shared_ptr<DirListing> entries);
  // A change of the drive touched the path (with `names`: or a name in it)
  // since the question: what was read of it meanwhile may be older.
  bool changedSince(const Question& q, const std::string& path, bool names);

  // The drive's own changes.
  void putAttr(const std::string& path, const RemoteAttr& attr);
  // putAttr, and the path's entry in a cached listing of its parent.
  void putAttrAndEntry(const std::string& path, const RemoteAttr& attr);
  void putNegative(const std::string& path);
  void putListing(const std::string& path, const std::vector<DirEntry>& entries);
  void updateLocal(const std::string& path, uint64_t size, const Timestamp& mtime);

  // The positive attributes and the listings held, expired or not; the
  // listings are shared, not copied.
  MetaSeen seen();
  // Takes what an earlier run saw, already expired: served only offline,
  // and never over what this run holds.
  void restore(MetaSeen seen);

  void invalidate(const std::string& path);
  void invalidateTree(const std::string& path);
  void renameTree(const std::string& oldPath, const std::string& newPath);
  void clear();

  // What the listings held count against their budget.
  uint64_t listingBytes();

 private:
  using AttrMap = std::unordered_map<std::string, MetaAttrEntry>;
  using ListingMap = std::unordered_map<std::string, MetaListing>;

  // Callers hold mu_.
  bool freshLocked(int64_t expiresMs, int64_t now) const;
  void putAttrLocked(const std::string& path, const RemoteAttr& attr, int64_t now);
  void putNegativeLocked(const std::string& path, int64_t now);
  // Replaces the folder's listing; one over the folder's budget is dropped.
  void putListingLocked(const std::string& path, std::shared_ptr<DirListing> entries, int64_t now);
  // The listing of the path's folder that holds the path's name, and the
  // entry's index; null when none does.
  MetaListing* listedLocked(const std::string& path, size_t* index);
  // The listing ready for a change: a copy when someone else holds it.
  DirListing& changeLocked(MetaListing& listing);
  // Counts a listing's bytes again after a change.
  void recountLocked(MetaListing& listing);
  ListingMap::iterator eraseListingLocked(ListingMap::iterator it);
  void eraseListingLocked(const std::string& path);
  void eraseListingsUnderLocked(const std::string& path);
  // The folder changed: its listing stops being one, and the path's entry
  // in it (the path may be the folder itself's child) goes.
  void unlistLocked(const std::string& folder, const std::string& path);
  // Drops the oldest listings but `keep` while the listings pass the budget.
  void trimListingsLocked(const MetaListing* keep);
  // Drops attribute entries (expired ones first, then the oldest) while
  // there are too many.
  void trimAttrsLocked(int64_t now);
  AttrMap::iterator eraseAttrLocked(AttrMap::iterator it);
  // Notes a change of the drive to one path, or to everything at or under
  // it, for the questions under way.
  void touchLocked(const std::string& path);
  void touchTreeLocked(const std::string& path);
  // A change since `since` touched the path (with `names`: or a name in it).
  bool touchedSinceLocked(const std::string& path, uint64_t since, bool names) const;
  void forget(const Question& q);

  // When the drive last changed a path, for the questions under way.
  struct Touched {
    uint64_t self = 0;   // the path itself
    uint64_t names = 0;  // a name in the folder
    uint64_t tree = 0;   // everything at or under the path
  };

  const MetaCacheLimits limits_;
  std::mutex mu_;
  uint32_t metaTtlMs_;      // guarded by mu_
  uint32_t dirTtlMs_;       // guarded by mu_
  uint32_t negativeTtlMs_;  // guarded by mu_
  bool offline_;            // guarded by mu_
  // An attribute entry wins over a listing's entry of the same path: it is
  // newer, since storing a listing drops the entries of its names.
  AttrMap attrs_;                                     // guarded by mu_
  ListingMap listings_;                               // guarded by mu_; keyed by folder, "/" for the root
  std::map<uint64_t, std::string> listingOrder_;      // guarded by mu_; order -> folder
  uint64_t listingBytes_ = 0;                         // guarded by mu_
  uint64_t nextOrder_ = 0;                            // guarded by mu_
  uint64_t changes_ = 0;                              // guarded by mu_; counts the drive's changes
  std::multiset<uint64_t> asking_;                    // guarded by mu_; questions under way
  std::unordered_map<std::string, Touched> touched_;  // guarded by mu_; kept while questions are
};

}  // namespace tarn
