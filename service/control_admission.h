// What the control socket's clients may hold of the service at once: how
// many connections, and how many bytes of requests and replies in memory,
// each user and all of them together. Every user gets a share, and part of
// each whole is kept for root, so that no local user can lock root out or
// drive the service's memory past a fixed bound.
//
// One instance per control server, used by its accept thread and its
// connection threads at once; it locks itself.
#pragma once

#include <cstdint>

#include "foundation/user_shares.h"

namespace tarn {

struct AdmissionLimits {
  uint32_t connections = 64;        // open connections, everyone's together
  uint32_t rootConnections = 8;     // of them, kept for root
  uint32_t userConnections = 16;    // open connections of one other user
  uint64_t requestBytes = 64ull << 20;      // request and reply bytes held, everyone's together
  uint64_t rootRequestBytes = 16ull << 20;  // of them, kept for root
  uint64_t userRequestBytes = 16ull << 20;  // request and reply bytes one other user may hold
};

// The counters tests and the log look at.
struct AdmissionStats {
  uint32_t connections = 0;
  uint64_t requestBytes = 0;
  uint64_t peakRequestBytes = 0;
  uint64_t refusedConnections = 0;
  uint64_t refusedRequests = 0;
};

// Whose share a refused connection, request or reply would have passed.
using Refusal = ShareRefusal;

class ControlAdmission {
 public:
  explicit ControlAdmission(AdmissionLimits limits);

  // False when the connection would pass the user's share or what is left
  // for users other than root; root is refused only at the whole.
  bool admitConnection(uint32_t uid, Refusal* why = nullptr);
  void endConnection(uint32_t uid);
  // True when no other connection may come in at all.
  bool full() const;

  // Reserves the bytes of a request before they are read, or of a reply
  // before it is held for the client to take.
  bool reserveRequest(uint32_t uid, uint64_t bytes, Refusal* why = nullptr);
  void releaseRequest(uint32_t uid, uint64_t bytes);

  AdmissionStats stats() const;

 private:
  UserShares connections_;
  UserShares bytes_;
};

}  // namespace tarn
