#include "foundation/user_shares.h"

#include <algorithm>

namespace tarn {

bool UserShares::take(uint32_t uid, uint64_t amount, ShareRefusal* why) {
  std::lock_guard<std::mutex> lock(mu_);
  const uint64_t others = all_ - heldByLocked(kRootUid);
  const uint64_t usersRoom = limits_.whole - std::min(limits_.whole, limits_.rootReserve);
  const bool userFits = uid == kRootUid || heldByLocked(uid) + amount <= limits_.perUser;
  const bool allFit = uid == kRootUid ? all_ + amount <= limits_.whole : others + amount <= usersRoom;
  if (!userFits || !allFit) {
    ++refusals_;
    if (why != nullptr) *why = userFits ? ShareRefusal::kOthersShare : ShareRefusal::kUserShare;
    return false;
  }
  users_[uid] += amount;
  all_ += amount;
  peak_ = std::max(peak_, all_);
  return true;
}

void UserShares::give(uint32_t uid, uint64_t amount) {
  std::lock_guard<std::mutex> lock(mu_);
  const auto it = users_.find(uid);
  if (it == users_.end()) return;
  const uint64_t given = std::min(amount, it->second);
  it->second -= given;
  all_ -= given;
  if (it->second == 0) users_.erase(it);
}

bool UserShares::full() const {
  std::lock_guard<std::mutex> lock(mu_);
  return all_ >= limits_.whole;
}

uint64_t UserShares::held() const {
  std::lock_guard<std::mutex> lock(mu_);
  return all_;
}

uint64_t UserShares::heldBy(uint32_t uid) const {
  std::lock_guard<std::mutex> lock(mu_);
  return heldByLocked(uid);
}

uint64_t UserShares::peak() const {
  std::lock_guard<std::mutex> lock(mu_);
  return peak_;
}

uint64_t UserShares::refusals() const {
  std::lock_guard<std::mutex> lock(mu_);
  return refusals_;
}

uint64_t UserShares::heldByLocked(uint32_t uid) const {
  const auto it = users_.find(uid);
  return it == users_.end() ? 0 : it->second;
}

}  // namespace tarn
