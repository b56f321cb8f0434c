// The room a drive's cache may take on the disk that holds it: all of it but
// a reserve of its bytes and of its inodes, kept for the cache's own records
// (block maps and their temporaries, the journal, what the metadata cache
// saw) so that those never fail to save, and for whatever else shares the
// disk. New data asks for room first (written bytes, fetched blocks, new
// cache objects); copies without unsent changes that nobody holds are
// dropped to make it, least recently written first. Records never ask.
//
// Bytes granted and not yet on the disk count as taken, so that fetches
// side by side cannot together pass the reserve that each alone keeps.
//
// Owned by its volume, next to the cache it drops copies of; any thread may
// call it. Its mutex is taken before the cache's and never while an
// object's is held; a hold gives its room back without any lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "engine/data_cache.h"
#include "foundation/env.h"
#include "foundation/status.h"

namespace tarn {

// Of the disk that holds a drive's cache, this much stays free: 5 % of its
// bytes, at most 1 GiB, and 5 % of its inodes, at most 65536.
inline constexpr uint64_t kCacheDiskReservePercent = 5;
inline constexpr uint64_t kCacheDiskReserveMaxBytes = 1ull << 30;
inline constexpr uint64_t kCacheDiskReserveMaxInodes = 65536;
// A cache object takes two inodes: its data file and its map.
inline constexpr uint64_t kInodesPerCacheObject = 2;
// A pass that has to drop copies makes this much more room than was asked
// for (the largest fetch, a thousand objects; no more than the reserve), so
// that the fetches and creates that follow do not each start a pass of
// their own: each reads every map of the cache.
inline constexpr uint64_t kRoomAheadBytes = kMaxFetchRunBytes;
inline constexpr uint64_t kRoomAheadObjects = 1024;
// After a pass at the reserve that dropped nothing, asks meanwhile do not
// start another for this long, so that refusals in a row do not each read
// every map.
inline constexpr uint64_t kFutileEvictPauseMs = 1000;

struct CacheReserve {
  uint64_t bytes = 0;
  uint64_t inodes = 0;  // 0 where the disk counts none
};

CacheReserve CacheReserveOf(const EnvSpace& space);

class CacheRoom {
 public:
  // `cache` must outlive the room; its folder is on the disk measured.
  CacheRoom(Env* env, DataCache* cache);

  // Room above the reserve for `bytes` more and `objects` new cache
  // objects, made by dropping copies when short: ok, or "no-space" saying
  // which reserve new data would reach. Only what is asked for is looked
  // at: an object alone takes inodes, bytes alone take no inode. A disk
  // that cannot be measured has room.
  Status make(uint64_t bytes, uint64_t objects);
  // make for `bytes`, held until the hold is destroyed; null, with `why`
  // (may be null) saying why, when there is no room.
  std::unique_ptr<RoomHold> hold(uint64_t bytes, Status* why = nullptr);

 private:
  class Held;
  Status makeLocked(uint64_t bytes, uint64_t objects);

  Env* const env_;
  DataCache* const cache_;
  std::mutex mu_;  // one look at the disk (and one pass) at a time
  // When a pass at the reserve last dropped nothing; 0: the last one
  // dropped something, or none ran.
  uint64_t futileMs_ = 0;            // guarded by mu_
  std::atomic<uint64_t> held_{0};    // granted bytes not yet given back
};

}  // namespace tarn
