#include "engine/cache_room.h"

#include <algorithm>

#include "engine/clock.h"

namespace tarn {
namespace {

constexpr uint64_t kPercent = 100;

// What `need` more takes beyond what is free above the reserve; 0 when it fits.
uint64_t Shortfall(uint64_t free, uint64_t reserve, uint64_t need) {
  return reserve + need - std::min(free, reserve + need);
}

}  // namespace

CacheReserve CacheReserveOf(const EnvSpace& space) {
  CacheReserve r;
  r.bytes = std::min(space.totalBytes / kPercent * kCacheDiskReservePercent, kCacheDiskReserveMaxBytes);
  r.inodes = std::min(space.totalInodes / kPercent * kCacheDiskReservePercent, kCacheDiskReserveMaxInodes);
  return r;
}

class CacheRoom::Held : public RoomHold {
 public:
  Held(std::atomic<uint64_t>& held, uint64_t bytes) : held_(held), bytes_(bytes) { held_ += bytes_; }
  ~Held() override { held_ -= bytes_; }

 private:
  std::atomic<uint64_t>& held_;
  const uint64_t bytes_;
};

CacheRoom::CacheRoom(Env* env, DataCache* cache) : env_(env), cache_(cache) {}

Status CacheRoom::make(uint64_t bytes, uint64_t objects) {
  std::lock_guard<std::mutex> lock(mu_);
  return makeLocked(bytes, objects);
}

std::unique_ptr<RoomHold> CacheRoom::hold(uint64_t bytes, Status* why) {
  std::lock_guard<std::mutex> lock(mu_);
  Status st = makeLocked(bytes, 0);
  if (why != nullptr) *why = st;
  return st.ok() ? std::make_unique<Held>(held_, bytes) : nullptr;
}

Status CacheRoom::makeLocked(uint64_t bytes, uint64_t objects) {
  const std::string& dir = cache_->root();
  EnvSpace space;
  if (!env_->space(dir, &space).ok()) return Status();
  const CacheReserve reserve = CacheReserveOf(space);
  const uint64_t inodes = objects * kInodesPerCacheObject;
  auto shortBytes = [&] {
    const uint64_t free = space.freeBytes - std::min(space.freeBytes, held_.load());
    return bytes == 0 ? 0 : Shortfall(free, reserve.bytes, bytes);
  };
  // A disk that counts no inodes never runs short of them.
  auto shortInodes = [&] {
    return objects == 0 || space.totalInodes == 0 ? 0 : Shortfall(space.freeInodes, reserve.inodes, inodes);
  };
  if (shortBytes() == 0 && shortInodes() == 0) return Status();
  const uint64_t now = SteadyNowMs();
  if (futileMs_ == 0 || now - futileMs_ >= kFutileEvictPauseMs) {
    // Room ahead, as much as the reserve at most: a small disk would lose
    // every copy to one short ask.
    const uint64_t wantBytes = shortBytes() == 0 ? 0 : shortBytes() + std::min(kRoomAheadBytes, reserve.bytes);
    const uint64_t missing = shortInodes();
    const uint64_t wantObjects =
        missing == 0 ? 0
                     : (missing + kInodesPerCacheObject - 1) / kInodesPerCacheObject +
                           std::min(kRoomAheadObjects, reserve.inodes / kInodesPerCacheObject);
    const Evicted freed = cache_->makeRoom(wantBytes, wantObjects);
    futileMs_ = freed.objects != 0 ? 0 : std::max<uint64_t>(now, 1);
    if (freed.objects != 0 && env_->space(dir, &space).ok() && shortBytes() == 0 && shortInodes() == 0)
      return Status();
  }
  if (shortBytes() != 0)
    return Status(Status::kNoSpace, "the cache's disk is full: new data would leave less than " +
                                        FormatBytes(reserve.bytes) + " free on it");
  return Status(Status::kNoSpace, "the cache's disk is full: new files would leave fewer than " +
                                      std::to_string(reserve.inodes) + " of its inodes free");
}

}  // namespace tarn
