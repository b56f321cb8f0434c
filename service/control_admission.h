// What the control socket's clients may hold of the service at once: how
// many connections, and how many request bytes, each user and all of them
// together. Every user gets a share, and part of each whole is kept for root,
// so that no local user can lock root out or drive the service's memory
// past a fixed bound.
//
// One instance per control server, used by its accept thread and its
// connection threads at once; it locks itself.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>

namespace tarn {

struct AdmissionLimits {
  uint32_t connections = 64;        // open connections, everyone's together
  uint32_t rootConnections = 8;     // of them, kept for root
  uint32_t userConnections = 16;    // open connections of one other user
  uint64_t requestBytes = 64ull << 20;      // request bytes held, everyone's together
  uint64_t rootRequestBytes = 16ull << 20;  // of them, kept for root
  uint64_t userRequestBytes = 16ull << 20;  // request bytes one other user may hold
};

// The counters tests and the log look at.
struct AdmissionStats {
  uint32_t connections = 0;
  uint64_t requestBytes = 0;
  uint64_t peakRequestBytes = 0;
  uint64_t refusedConnections = 0;
  uint64_t refusedRequests = 0;
};

// Whose share a refused connection or request would have passed.
enum class Refusal {
  kUserShare,    // the caller's own
  kOthersShare,  // everyone's together, the caller's included
};

class ControlAdmission {
 public:
  explicit ControlAdmission(AdmissionLimits limits) : limits_(limits) {}

  // False when the connection would pass the user's share or what is left
  // for users other than root; root is refused only at the whole.
  bool admitConnection(uint32_t uid, Refusal* why = nullptr);
  void endConnection(uint32_t uid);
  // True when no other connection may come in at all.
  bool full() const;

  // Reserves a request's bytes before they are read.
  bool reserveRequest(uint32_t uid, uint64_t bytes, Refusal* why = nullptr);
  void releaseRequest(uint32_t uid, uint64_t bytes);

  AdmissionStats stats() const;

 private:
  struct Held {
    uint32_t connections = 0;
    uint64_t bytes = 0;
  };

  Held heldLocked(uint32_t uid) const;
  void forgetIfIdleLocked(uint32_t uid);

  const AdmissionLimits limits_;
  mutable std::mutex mu_;
  std::map<uint32_t, Held> users_;  // guarded by mu_; users holding something
  Held all_;                        // guarded by mu_
  AdmissionStats stats_;            // guarded by mu_; the refusal and peak counts
};

}  // namespace tarn
