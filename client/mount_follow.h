// Following a mount until it is mounted or has failed. The service answers a
// mount request within its own time-out; a mount that takes longer goes on,
// and the status shows the drive "mounting" until it ends. The console's
// "tarn mount" and the desktop application's Mount commands both follow a
// mount this way. FollowMount blocks for up to kMountTimeoutMs: the desktop
// application runs it on a worker. Any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "client/service_client.h"

namespace tarn::app {

// How often a mount that goes on is looked at.
inline constexpr uint32_t kMountPollMs = 500;

enum class MountEnd {
  kMounted,        // the drive answers from its server (or is offline by choice)
  kCacheOnly,      // mounted, but its server cannot be used: it serves its cache
  kFailed,         // not mounted
  kStillMounting,  // the server is slow: the mount goes on in the service
};

struct MountFollowResult {
  MountEnd end = MountEnd::kFailed;
  std::string reason;      // why it failed or serves only its cache
  std::string mountPoint;  // where the drive is, once mounted
  MountStatus drive;       // the drive as the last status showed it
};

// What a drive's status says of a mount that was asked for.
MountFollowResult MountEndOf(const MountStatus& drive);

// How a follow asks the service and waits between looks; tests give their
// own.
struct MountFollowSteps {
  std::function<bool(const std::string& id, std::string& error)> mount;
  std::function<bool(ServiceStatus& status)> status;
  std::function<void()> pause;
  int maxLooks = 0;  // looks at the status after the mount answered
};

// The steps of the service client, looking every kMountPollMs up to
// `timeoutMs` in all.
MountFollowSteps ServiceMountSteps(uint32_t timeoutMs = kMountTimeoutMs);

// Asks for the mount of drive `id` and follows it while the status shows it
// mounting.
MountFollowResult FollowMount(const std::string& id, const MountFollowSteps& steps = ServiceMountSteps());

}  // namespace tarn::app
