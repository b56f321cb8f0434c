// The in-memory cache of one drive's remote attributes, folder listings and
// "does not exist" answers. Owned by its tarn::Volume; any thread may call
// it. Every operation holds the one mutex for its whole run and none talks to
// the server. Keys are remote paths compared byte for byte; lifetimes are
// steady-clock milliseconds (SteadyNowMs), and while offline nothing expires.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/backend_types.h"

namespace tarn {

struct MetaAttrEntry {
  RemoteAttr attr;
  bool negative = false;  // the path does not exist; attr is not served
  int64_t expiresMs = 0;
};

struct MetaListing {
  std::vector<DirEntry> entries;
  int64_t expiresMs = 0;
};

class MetaCache {
 public:
  MetaCache(uint32_t metaTtlMs, uint32_t dirTtlMs, uint32_t negativeTtlMs, bool offline);

  void setConfig(uint32_t metaTtlMs, uint32_t dirTtlMs, uint32_t negativeTtlMs, bool offline);

  // True for a fresh entry (any entry while offline); *negative tells which
  // kind, and only a positive entry fills *out. Either pointer may be null.
  bool getAttr(const std::string& path, RemoteAttr* out, bool* negative);
  bool getListing(const std::string& path, std::vector<DirEntry>* out);

  void putAttr(const std::string& path, const RemoteAttr& attr);
  // putAttr, and the path's entry in a cached listing of its parent.
  void putAttrAndEntry(const std::string& path, const RemoteAttr& attr);
  void putNegative(const std::string& path);
  void putListing(const std::string& path, const std::vector<DirEntry>& entries);
  void updateLocal(const std::string& path, uint64_t size, const Timestamp& mtime);

  void invalidate(const std::string& path);
  void invalidateTree(const std::string& path);
  void renameTree(const std::string& oldPath, const std::string& newPath);
  void clear();

 private:
  // Callers hold mu_.
  bool freshLocked(int64_t expiresMs, int64_t now) const;
  void putAttrLocked(const std::string& path, const RemoteAttr& attr, int64_t now);
  void eraseListingsUnderLocked(const std::string& path);

  std::mutex mu_;
  uint32_t metaTtlMs_;      // guarded by mu_
  uint32_t dirTtlMs_;       // guarded by mu_
  uint32_t negativeTtlMs_;  // guarded by mu_
  bool offline_;            // guarded by mu_
  std::unordered_map<std::string, MetaAttrEntry> attrs_;   // guarded by mu_
  std::unordered_map<std::string, MetaListing> listings_;  // guarded by mu_
};

}  // namespace tarn
