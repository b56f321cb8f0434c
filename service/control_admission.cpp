#include "service/control_admission.h"

#include <algorithm>

namespace tarn {
namespace {

constexpr uint32_t kRootUid = 0;

}  // namespace

bool ControlAdmission::admitConnection(uint32_t uid, Refusal* why) {
  std::lock_guard<std::mutex> lock(mu_);
  const Held user = heldLocked(uid);
  const uint32_t others = all_.connections - heldLocked(kRootUid).connections;
  const bool userFits = uid == kRootUid || user.connections < limits_.userConnections;
  const bool allFit = uid == kRootUid ? all_.connections < limits_.connections
                                      : others < limits_.connections - limits_.rootConnections;
  if (!userFits || !allFit) {
    ++stats_.refusedConnections;
    if (why != nullptr) *why = userFits ? Refusal::kOthersShare : Refusal::kUserShare;
    return false;
  }
  ++users_[uid].connections;
  ++all_.connections;
  return true;
}

void ControlAdmission::endConnection(uint32_t uid) {
  std::lock_guard<std::mutex> lock(mu_);
  --users_[uid].connections;
  --all_.connections;
  forgetIfIdleLocked(uid);
}

bool ControlAdmission::full() const {
  std::lock_guard<std::mutex> lock(mu_);
  return all_.connections >= limits_.connections;
}

bool ControlAdmission::reserveRequest(uint32_t uid, uint64_t bytes, Refusal* why) {
  std::lock_guard<std::mutex> lock(mu_);
  const Held user = heldLocked(uid);
  const uint64_t others = all_.bytes - heldLocked(kRootUid).bytes;
  const bool userFits = uid == kRootUid || user.bytes + bytes <= limits_.userRequestBytes;
  const bool allFit = uid == kRootUid ? all_.bytes + bytes <= limits_.requestBytes
                                      : others + bytes <= limits_.requestBytes - limits_.rootRequestBytes;
  if (!userFits || !allFit) {
    ++stats_.refusedRequests;
    if (why != nullptr) *why = userFits ? Refusal::kOthersShare : Refusal::kUserShare;
    return false;
  }
  users_[uid].bytes += bytes;
  all_.bytes += bytes;
  stats_.peakRequestBytes = std::max(stats_.peakRequestBytes, all_.bytes);
  return true;
}

void ControlAdmission::releaseRequest(uint32_t uid, uint64_t bytes) {
  std::lock_guard<std::mutex> lock(mu_);
  users_[uid].bytes -= bytes;
  all_.bytes -= bytes;
  forgetIfIdleLocked(uid);
}

ControlAdmission::Held ControlAdmission::heldLocked(uint32_t uid) const {
  const auto it = users_.find(uid);
  return it == users_.end() ? Held() : it->second;
}

void ControlAdmission::forgetIfIdleLocked(uint32_t uid) {
  const auto it = users_.find(uid);
  if (it != users_.end() && it->second.connections == 0 && it->second.bytes == 0) users_.erase(it);
}

AdmissionStats ControlAdmission::stats() const {
  std::lock_guard<std::mutex> lock(mu_);
  AdmissionStats out = stats_;
  out.connections = all_.connections;
  out.requestBytes = all_.bytes;
  return out;
}

}  // namespace tarn
