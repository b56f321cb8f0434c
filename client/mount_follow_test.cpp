#include "client/mount_follow.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace tarn::app {
namespace {

MountStatus Drive(bool mounting, bool mounted, bool online, const std::string& lastError = "",
                  bool offlineMode = false) {
  MountStatus m;
  m.id = "d1";
  m.mountPoint = "/mnt/tarn/P";
  m.mounting = mounting;
  m.mounted = mounted;
  m.online = online;
  m.offlineMode = offlineMode;
  m.lastError = lastError;
  return m;
}

ServiceStatus With(const MountStatus& drive) {
  ServiceStatus s;
  s.ok = true;
  s.mounts = {drive};
  return s;
}

// A service that answers the mount, then the statuses of the script in
// turn (the last one again once the script ran out).
struct Script {
  bool mountOk = true;
  std::string mountError;
  std::deque<ServiceStatus> statuses;
  int looks = 0;
  int pauses = 0;

  MountFollowSteps steps(int maxLooks) {
    MountFollowSteps s;
    s.mount = [this](const std::string& id, std::string& error) {
      EXPECT_EQ(id, "d1");
      error = mountError;
      return mountOk;
    };
    s.status = [this](ServiceStatus& out) {
      ++looks;
      out = statuses.front();
      if (statuses.size() > 1) statuses.pop_front();
      return out.ok;
    };
    s.pause = [this] { ++pauses; };
    s.maxLooks = maxLooks;
    return s;
  }
};

TEST(MountFollow, AMountIsFollowedUntilItIsMountedOrHasFailed) {
  ServiceStatus down;
  down.error = "the service is not running";
  ServiceStatus gone;
  gone.ok = true;
  const MountStatus mounting = Drive(true, false, false);
  struct Case {
    const char* what;
    bool mountOk;
    std::vector<ServiceStatus> statuses;
    MountEnd end;
    std::string reason;
    int looks;
  };
  const Case cases[] = {
      {"refused", false, {}, MountEnd::kFailed, "drives are managed by an administrator", 0},
      {"mounted at once", true, {With(Drive(false, true, true))}, MountEnd::kMounted, "", 1},
      {"offline by choice is a mount", true, {With(Drive(false, true, false, "", true))}, MountEnd::kMounted, "", 1},
      {"slow, then without its server",
       true,
       {With(mounting), With(mounting), With(Drive(false, true, false, "network: the server could not be reached"))},
       MountEnd::kCacheOnly,
       "network: the server could not be reached",
       3},
      {"without its server, no word from it", true, {With(Drive(false, true, false))}, MountEnd::kCacheOnly,
       "its server cannot be reached", 1},
      {"slow, then failed", true, {With(mounting), With(Drive(false, false, false, "no usable fuse 3"))},
       MountEnd::kFailed, "no usable fuse 3", 2},
      {"not mounted without a reason", true, {With(Drive(false, false, false))}, MountEnd::kFailed,
       "the drive is not mounted", 1},
      {"slower than the follow", true, {With(mounting)}, MountEnd::kStillMounting, "", 4},
      {"removed meanwhile", true, {With(mounting), gone}, MountEnd::kFailed, "no such drive", 2},
      {"the service went", true, {With(mounting), down}, MountEnd::kFailed, "the service is not running", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Script script;
    script.mountOk = c.mountOk;
    script.mountError = c.mountOk ? "" : "drives are managed by an administrator";
    script.statuses.assign(c.statuses.begin(), c.statuses.end());
    const MountFollowResult r = FollowMount("d1", script.steps(4));
    EXPECT_EQ(r.end, c.end);
    EXPECT_EQ(r.reason, c.reason);
    EXPECT_EQ(script.looks, c.looks);
    // A pause between two looks, never before the first.
    EXPECT_EQ(script.pauses, std::max(c.looks - 1, 0));
    if (c.end == MountEnd::kCacheOnly) {
      EXPECT_EQ(r.mountPoint, "/mnt/tarn/P");
    }
  }
}

TEST(MountFollow, TheServicesStepsLookForAsLongAsAMountMayTake) {
  const MountFollowSteps steps = ServiceMountSteps(kMountTimeoutMs);
  EXPECT_GE(static_cast<int64_t>(steps.maxLooks - 1) * kMountPollMs, kMountTimeoutMs);
  EXPECT_TRUE(steps.mount && steps.status && steps.pause);
}

}  // namespace
}  // namespace tarn::app
