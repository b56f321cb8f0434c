// The server capability probe: a fixed series of small operations in a
// scratch folder that tells what a server can really do, as report lines for
// the user and as the capability record a drive will run with. The probe
// makes its own back-end (RunProbe) or runs on one the caller made
// (ProbeServer); it keeps no state between runs. A report is a plain value,
// owned by its caller; the functions may run on any thread.
//
// RunProbe makes its back-end by protocol, so it is defined above the
// back-ends (engine/factory/run_probe.cpp); its callers link
// tarn_backend_factory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/backend.h"
#include "foundation/cancel_token.h"
#include "foundation/json.h"
#include "foundation/mount_config.h"

namespace tarn {

struct ProbeItem {
  enum Level : int32_t { kOk = 0, kWarning = 1, kFailure = 2 };

  int32_t level = kOk;
  std::string check;
  std::string message;
};

struct ProbeReport {
  std::vector<ProbeItem> items;
  BackendCaps caps;
  bool writable = false;  // the scratch folder was created
  bool ok = true;         // no item of level failure
  // Connected and listed, but the scratch folder was refused on a drive
  // not set read-only: the drive will be read-only.
  bool refusesWrites = false;

  void add(int32_t level, std::string check, std::string message);
  std::string toText() const;
  vx::json::Value toJson() const;
};

// The probe's fixed figures.
inline constexpr uint64_t kProbeFileBytes = 70000;
inline constexpr uint64_t kProbeRangeOffset = 65000;
inline constexpr uint64_t kProbeRangeBytes = 1000;
inline constexpr uint64_t kProbeWriteOffset = 100;
inline constexpr int64_t kProbeMtimeSeconds = 1600000000;
inline constexpr size_t kProbeMaxItemsForNames = 40;
inline constexpr uint32_t kProbeShortNameBytes = 200;

// Probes the server of a drive's settings on a back-end made for the purpose.
// The cancel token is not consulted: a probe is short and cleans up after
// itself, which a stop half-way would prevent.
ProbeReport RunProbe(const MountConfig& config, const CancelToken* cancel);

// Runs the checks on a back-end the caller made (connected or not).
void ProbeServer(ProbeReport& report, IBackend& backend, const CompatOptions& compat, const CancelToken* cancel);

// What a drive never probed takes from a check before it starts: the
// capabilities found, or, from a server that refuses writes, a drive that
// is read-only (writes then fail at once). Logs what it decided.
void TakeProbeReport(MountConfig& config, const ProbeReport& report);

}  // namespace tarn
