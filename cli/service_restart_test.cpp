// The service killed as a crash kills it and started again at once, as the
// unit `tarn install` writes restarts it: the built executable's `tarn run`
// in a child process on a machine of its own (TARN_ROOT), with drives on
// the WebDAV test server, looked at from outside.
#include <dirent.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/console_runner.h"
#include "client/service_client.h"
#include "foundation/config_file.h"
#include "platform/control_socket.h"
#include "testing/eventually.h"
#include "testing/fake_server_process.h"
#include "testing/temp_dir.h"

namespace tarn::app {
namespace {

using vx::json::Value;

constexpr uint32_t kAnswerMs = 1000;
constexpr int kRestarts = 3;
const char* const kLetters[] = {"P", "Q", "R"};

// Lists the folder; the errno of the failure, 0 when it could.
int ListError(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return errno;
  errno = 0;
  while (::readdir(dir) != nullptr) {
  }
  const int err = errno;
  ::closedir(dir);
  return err;
}

class ServiceRestartTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    machine_ = new test::TempDir("tarn-restart", 0755);
    // This process asks the service through the same machine's socket.
    ::setenv("TARN_ROOT", machine_->path().c_str(), 1);
  }
  static void TearDownTestSuite() {
    delete machine_;
    machine_ = nullptr;
  }

  void SetUp() override { exe_ = CopyExecutable(TARN_EXE, machine_->path()); }
  void TearDown() override {
    if (service_ <= 0) return;
    const int status = StopService(service_);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    // A failed test may leave dead mounts behind.
    for (const char* letter : kLetters) ::umount2(MountPoint(letter).c_str(), MNT_DETACH);
  }

  void StartService() {
    service_ = SpawnService(exe_, machine_->path());
    ASSERT_GT(service_, 0);
    ASSERT_TRUE(test::Eventually([&] {
      vx::UniqueFd fd;
      return ConnectControlSocket(ControlSocketPath(), DeadlineAfterMs(kAnswerMs), fd).ok();
    }));
  }
  void KillService() {
    ASSERT_EQ(::kill(service_, SIGKILL), 0);
    ASSERT_EQ(::waitpid(service_, nullptr, 0), service_);
    service_ = -1;
  }

  static std::string MountPoint(const std::string& letter) { return machine_->file("mnt/tarn/" + letter); }
  // Every drive mounted, its server usable, and its folder served.
  static bool AllMounted(std::string& seen) {
    ServiceStatus status;
    if (!RequestStatus(status)) {
      seen = status.error;
      return false;
    }
    seen.clear();
    bool all = status.mounts.size() == std::size(kLetters);
    for (const MountStatus& m : status.mounts) {
      seen += m.id + (m.mounted ? " mounted" : " unmounted") + (m.online ? " online" : "") + " [" + m.lastError + "] ";
      all = all && m.mounted && m.online;
    }
    return all;
  }

  static test::TempDir* machine_;
  std::string exe_;
  pid_t service_ = -1;
};

test::TempDir* ServiceRestartTest::machine_ = nullptr;

TEST_F(ServiceRestartTest, EveryDriveIsMountedAgainWhenTheServiceIsKilledAndStartedAtOnce) {
  const std::string url = tarn::testing::RequiredEnv("TARN_DAV_URL");
  const std::string user = tarn::testing::RequiredEnv("TARN_DAV_USER");
  const std::string password = tarn::testing::RequiredEnv("TARN_DAV_PASSWORD");
  StartService();
  for (const char* letter : kLetters) {
    Value drive = Value::object();
    Value endpoint = Value::object();
    endpoint.set("host", url);
    endpoint.set("user", user);
    endpoint.set("password", password);
    drive.set("endpoint", endpoint);
    drive.set("drive", letter);
    // The kernel answers a stat of a dead drive's folder from what it was
    // told for as long as the test runs, as it does for some seconds after
    // a crash with the drive's own settings.
    Value cache = Value::object();
    cache.set("metaTtlMs", 3600000);
    drive.set("cache", cache);
    std::string id;
    std::string error;
    ASSERT_TRUE(RequestSetMount(drive, id, error)) << error;
    ASSERT_TRUE(RequestMount(id, error)) << error;
  }
  std::string seen;
  ASSERT_TRUE(test::Eventually([&] { return AllMounted(seen); })) << seen;

  for (int restart = 1; restart <= kRestarts; ++restart) {
    SCOPED_TRACE(restart);
    for (const char* letter : kLetters) {
      struct stat st;
      ASSERT_EQ(::stat(MountPoint(letter).c_str(), &st), 0) << std::strerror(errno);
      EXPECT_EQ(ListError(MountPoint(letter)), 0) << letter;
    }
    KillService();
    StartService();
    ASSERT_TRUE(test::Eventually([&] { return AllMounted(seen); })) << seen;
    for (const char* letter : kLetters) EXPECT_EQ(ListError(MountPoint(letter)), 0) << letter;
  }
}

}  // namespace
}  // namespace tarn::app
