// What the status says of a drive, "state" and its reason, as mounts,
// servers and the drive's folder change; and a mount whose folder is held
// for a while.
#include <sys/mount.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "foundation/file_util.h"
#include "service/service_state.h"
#include "testing/eventually.h"
#include "testing/log_capture.h"
#include "testing/memory_backend.h"
#include "testing/temp_dir.h"

namespace tarn {
namespace {

using vx::json::Value;

class DriveStateTest : public ::testing::Test {
 protected:
  // One machine per test process: the data root is fixed at first use.
  static void SetUpTestSuite() {
    machine_ = new test::TempDir("tarn-drive-state");
    ::setenv("TARN_ROOT", machine_->path().c_str(), 1);
  }
  static void TearDownTestSuite() {
    delete machine_;
    machine_ = nullptr;
  }

  void SetUp() override {
    state_->setBackendsFor([this](const MountConfig&) { return server_->factory(); });
    Value settings;
    ASSERT_TRUE(vx::json::Parse(R"({"cacheRoot":")" + dir_.file("caches") + R"("})", settings));
    ASSERT_TRUE(state_->setAppSettings(settings).ok());
    Value drive;
    ASSERT_TRUE(vx::json::Parse(R"({"id":"s1","name":"Docs","drive":"Q","endpoint":{"protocol":"memory",)"
                                R"("host":"mem"},"net":{"retries":1,"retryMinMs":1,"retryMaxMs":1}})",
                                drive));
    ASSERT_TRUE(state_->setMount(drive, id_).ok());
  }

  Value Drive() { return state_->status()["mounts"].at(0); }
  // "state: reason"
  std::string Shown() { return Drive()["state"].asString() + ": " + Drive()["lastError"].asString(); }
  static std::string MountPoint() { return machine_->file("mnt/tarn/Q"); }

  static test::TempDir* machine_;
  test::TempDir dir_{"tarn-drive-state"};
  std::shared_ptr<test::MemoryServer> server_ = std::make_shared<test::MemoryServer>();
  std::unique_ptr<ServiceState> state_ =
      std::make_unique<ServiceState>(dir_.file("config.json"), dir_.file("service.log"));
  std::string id_;
};

test::TempDir* DriveStateTest::machine_ = nullptr;

// Each step leaves the drive in a state the status names, with the reason
// while it lasts. A mount of a drive that is mounted asks its server again,
// so that it never reports a server it did not try as out of reach.
TEST_F(DriveStateTest, TheStatusNamesTheDrivesStateWithItsReasonWhileItLasts) {
  struct Step {
    const char* what;
    std::function<void()> act;
    std::string shown;
    bool online;
    bool afterALook = false;  // the drive's own look in the background tells
  };
  const Step steps[] = {
      {"never mounted", [] {}, "unmounted: ", false},
      {"a file where its folder should be",
       [&] {
         ASSERT_TRUE(vx::MakeDirs(machine_->file("mnt/tarn")));
         std::ofstream(MountPoint()) << "x";
         EXPECT_FALSE(state_->mount(id_).ok());
       },
       "error: " + MountPoint() + " is not a folder", false},
      {"mounted with its server down",
       [&] {
         ASSERT_EQ(::unlink(MountPoint().c_str()), 0);
         server_->setDown(true);
         ASSERT_TRUE(state_->mount(id_).ok());
       },
       "error: network: connect: server down", false},
      {"offline mode while the server is away", [&] { ASSERT_TRUE(state_->setOffline(id_, true).ok()); },
       "offline: ", false},
      {"back from offline mode, the server still away",
       [&] { ASSERT_TRUE(state_->setOffline(id_, false).ok()); }, "error: network: connect: server down", false,
       true},
      {"mounted again once the server is back",
       [&] {
         server_->setDown(false);
         ASSERT_TRUE(state_->mount(id_).ok());
       },
       "mounted: ", true},
      {"offline mode", [&] { ASSERT_TRUE(state_->setOffline(id_, true).ok()); }, "offline: ", false},
      {"unmounted", [&] { ASSERT_TRUE(state_->unmount(id_).ok()); }, "unmounted: ", false},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.act();
    if (step.afterALook) {
      EXPECT_TRUE(test::Eventually([&] { return Shown() == step.shown; }));
    }
    EXPECT_EQ(Shown(), step.shown);
    EXPECT_EQ(Drive()["online"].asBool(), step.online);
  }
}

// A folder held by another mount for a while (as a service that died and
// is restarted at once may find it) does not leave the drive unmounted:
// the mount is tried again until the folder is free.
TEST_F(DriveStateTest, AMountWhoseFolderIsHeldIsTriedAgain) {
  test::LogCapture log;
  ASSERT_TRUE(vx::MakeDirs(MountPoint()));
  ASSERT_EQ(::mount("tarn-test", MountPoint().c_str(), "tmpfs", 0, "size=1m"), 0) << std::strerror(errno);
  // Whatever a failed test leaves there goes with it.
  struct Detach {
    ~Detach() { ::umount2(MountPoint().c_str(), MNT_DETACH); }
  } detach;
  state_->setMountAnswerMs(0);
  bool pending = false;
  ASSERT_TRUE(state_->mount(id_, &pending).ok());
  EXPECT_TRUE(pending);
  ASSERT_TRUE(test::Eventually([&] {
    return log.countLines("Docs: mount failed: something is already mounted at " + MountPoint() +
                          "; trying again in 2 s") == 1;
  })) << log.text();
  EXPECT_EQ(Drive()["state"].asString(), "mounting");
  ASSERT_EQ(::umount2(MountPoint().c_str(), 0), 0);
  ASSERT_TRUE(test::Eventually([&] { return Drive()["mounted"].asBool(); })) << Shown();
  EXPECT_EQ(Shown(), "mounted: ");
  ASSERT_TRUE(state_->unmount(id_).ok());
}

}  // namespace
}  // namespace tarn
