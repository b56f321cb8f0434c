#include "client/mount_follow.h"

#include <chrono>
#include <thread>

namespace tarn::app {
namespace {

constexpr const char* kNotMounted = "the drive is not mounted";
constexpr const char* kNoServer = "its server cannot be reached";
constexpr const char* kNoSuchDrive = "no such drive";

MountFollowResult Failed(std::string reason) {
  MountFollowResult r;
  r.end = MountEnd::kFailed;
  r.reason = std::move(reason);
  return r;
}

}  // namespace

MountFollowResult MountEndOf(const MountStatus& drive) {
  MountFollowResult r;
  r.drive = drive;
  r.mountPoint = drive.mountPoint;
  if (drive.mounting) {
    r.end = MountEnd::kStillMounting;
  } else if (!drive.mounted) {
    r.end = MountEnd::kFailed;
    r.reason = drive.lastError.empty() ? kNotMounted : drive.lastError;
  } else if (!drive.online && !drive.offlineMode) {
    // Mounted, but every read that misses the cache fails: no success.
    r.end = MountEnd::kCacheOnly;
    r.reason = drive.lastError.empty() ? kNoServer : drive.lastError;
  } else {
    r.end = MountEnd::kMounted;
  }
  return r;
}

MountFollowSteps ServiceMountSteps(uint32_t timeoutMs) {
  MountFollowSteps steps;
  steps.mount = RequestMount;
  steps.status = RequestStatus;
  steps.pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(kMountPollMs)); };
  steps.maxLooks = static_cast<int>(timeoutMs / kMountPollMs) + 1;
  return steps;
}

MountFollowResult FollowMount(const std::string& id, const MountFollowSteps& steps) {
  std::string error;
  if (!steps.mount(id, error)) return Failed(error);
  MountFollowResult last;
  last.end = MountEnd::kStillMounting;
  for (int look = 0; look < steps.maxLooks; ++look) {
    if (look > 0) steps.pause();
    ServiceStatus status;
    if (!steps.status(status)) return Failed(status.error);
    const MountStatus* drive = nullptr;
    for (const MountStatus& m : status.mounts) {
      if (m.id == id) drive = &m;
    }
    // Removed while it was being mounted.
    if (drive == nullptr) return Failed(kNoSuchDrive);
    last = MountEndOf(*drive);
    if (last.end != MountEnd::kStillMounting) return last;
  }
  return last;
}

}  // namespace tarn::app
