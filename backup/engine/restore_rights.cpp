#include "backup/engine/restore_rights.h"

#include <string>

namespace tarn::backup {

Status RestoreRights::enter() {
  if (isBroken_.load(std::memory_order_acquire)) return broken();
  if (!asCaller_) return Status();
  Status entered = asCaller_(true);
  if (!entered.ok()) return Status(Status::kAccessDenied, std::string(kCannotSwitch), entered.native);
  return Status();
}

void RestoreRights::leave() {
  if (!asCaller_) return;
  Status left = asCaller_(false);
  if (left.ok()) return;
  std::lock_guard<std::mutex> lock(mu_);
  if (broken_.ok())
    broken_ = Status(Status::kAccessDenied, "cannot return to the service's own rights: " + left.message, left.native);
  isBroken_.store(true, std::memory_order_release);
}

Status RestoreRights::broken() const {
  if (!isBroken_.load(std::memory_order_acquire)) return Status();
  std::lock_guard<std::mutex> lock(mu_);
  return broken_;
}

}  // namespace tarn::backup
