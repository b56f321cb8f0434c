#include "service/control_admission.h"

namespace tarn {

ControlAdmission::ControlAdmission(AdmissionLimits limits)
    : connections_(ShareLimits{limits.connections, limits.rootConnections, limits.userConnections}),
      bytes_(ShareLimits{limits.requestBytes, limits.rootRequestBytes, limits.userRequestBytes}) {}

bool ControlAdmission::admitConnection(uint32_t uid, Refusal* why) { return connections_.take(uid, 1, why); }

void ControlAdmission::endConnection(uint32_t uid) { connections_.give(uid, 1); }

bool ControlAdmission::full() const { return connections_.full(); }

bool ControlAdmission::reserveRequest(uint32_t uid, uint64_t bytes, Refusal* why) {
  return bytes_.take(uid, bytes, why);
}

void ControlAdmission::releaseRequest(uint32_t uid, uint64_t bytes) { bytes_.give(uid, bytes); }

AdmissionStats ControlAdmission::stats() const {
  AdmissionStats out;
  out.connections = static_cast<uint32_t>(connections_.held());
  out.requestBytes = bytes_.held();
  out.peakRequestBytes = bytes_.peak();
  out.refusedConnections = connections_.refusals();
  out.refusedRequests = bytes_.refusals();
  return out;
}

}  // namespace tarn
