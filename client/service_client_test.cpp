// The service client against a real service: ServiceBody runs in this
// process on a machine of its own (TARN_ROOT), and every request goes over
// its socket.
#include "client/service_client.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "client/drive_link.h"
#include "foundation/file_util.h"
#include "platform/control_socket.h"
#include "service/service_body.h"
#include "testing/service_thread.h"
#include "testing/temp_dir.h"

namespace tarn::app {
namespace {

using vx::json::Value;

constexpr uint32_t kNobody = 65534;
constexpr uint32_t kLongMs = 60000;
constexpr const char* kNotMounted = "the drive is not mounted";

Value Json(const std::string& text) {
  Value v;
  EXPECT_TRUE(vx::json::Parse(text, v)) << text;
  return v;
}

// Answers backup requests; the job "locked" is refused as the backup
// manager refuses other users.
class EchoBackups : public IBackupService {
 public:
  bool loadJobs(std::string*) override { return true; }
  void startScheduler() override {}
  void stopAll() override {}
  bool anyRunning() override { return false; }
  Value handle(const Value& request, const IpcCaller* caller) override {
    if (caller == nullptr || !caller->privileged || request["id"].asString() == "locked")
      return ErrorReplyWithCode("backups are managed by an administrator of this computer", "admin");
    Value reply = OkReply();
    reply.set("id", request["id"]);
    reply.set("job", request["job"]);
    return reply;
  }
};

class ServiceClientTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    machine_ = new test::TempDir("tarn-client", 0755);
    ::setenv("TARN_ROOT", machine_->path().c_str(), 1);
    service_ = new test::ServiceThread();
    service_->start([](ServiceState&) { return std::make_unique<EchoBackups>(); });
  }

  static void TearDownTestSuite() {
    delete service_;
    delete machine_;
  }

  static test::TempDir* machine_;
  static test::ServiceThread* service_;
};

test::TempDir* ServiceClientTest::machine_ = nullptr;
test::ServiceThread* ServiceClientTest::service_ = nullptr;

TEST_F(ServiceClientTest, EveryRequestIsAnsweredOverTheSocket) {
  std::string id;
  std::string error;
  ASSERT_TRUE(RequestSetMount(Json(R"({"name":"Files","drive":"q","endpoint":{"host":
      "https://alice@dav.example:8443/remote.php/dav/files/alice/","password":"pw"}})"),
                              id, error))
      << error;

  ServiceStatus status;
  ASSERT_TRUE(RequestStatus(status)) << status.error;
  EXPECT_EQ(status.version, "0.3.1");
  EXPECT_FALSE(status.autoUpdate) << "there is no update server";
  EXPECT_FALSE(status.update.checking);
  ASSERT_EQ(status.mounts.size(), 1u);
  const MountStatus& m = status.mounts[0];
  EXPECT_EQ(m.id, id);
  EXPECT_EQ(m.name, u"Files");
  EXPECT_EQ(m.drive, u'Q');
  EXPECT_EQ(m.protocol, "webdav");
  EXPECT_EQ(m.host, "dav.example");
  EXPECT_EQ(m.root, "/remote.php/dav/files/alice");
  EXPECT_EQ(m.port, 8443u);
  EXPECT_EQ(m.user, "alice");
  EXPECT_TRUE(m.tls);
  EXPECT_EQ(DriveLink(m), "https://dav.example:8443/remote.php/dav/files/alice");
  EXPECT_EQ(m.mountPoint, machine_->path() + "/mnt/tarn/Q");
  EXPECT_FALSE(m.mounted);
  EXPECT_TRUE(m.config["endpoint"]["hasPassword"].asBool());

  EXPECT_EQ(status.language, "");
  ASSERT_TRUE(RequestSetAppSettings(Json(R"({"op":"ignored","language":"de"})"), error)) << error;
  ASSERT_TRUE(RequestStatus(status)) << status.error;
  EXPECT_EQ(status.language, "de");
  std::string text;
  ASSERT_TRUE(RequestGetLog(20, text, error)) << error;
  EXPECT_NE(text.find("Files: settings saved"), std::string::npos) << text;

  Value transfers;
  struct Case {
    const char* name;
    bool ok;
    std::string error;
  };
  // The drive is not mounted: what needs its volume says so.
  const Case cases[] = {
      {"mount unknown", RequestMount("nope", error), error},
      {"unmount", RequestUnmount(id, error), error},
      {"sync", RequestControl("syncNow", id, true, error), error},
      {"offline", RequestControl("setOffline", id, true, error), error},
      {"clear cache", RequestControl("clearCache", id, true, error), error},
      {"stop upload", RequestStopUpload(id, "/a.txt", error), error},
      {"transfers", RequestTransfers(transfers, error), error},
      {"check update", RequestCheckUpdate(false, error), error},
      {"apply update", RequestApplyUpdate(error), error},
      {"driver", WaitForDriverInstall(error), error},
  };
  const char* want[] = {"no such drive", "", kNotMounted, "", kNotMounted, kNotMounted, "",
                        "there is no update server: updates come with the system's packages",
                        "there is no update server: updates come with the system's packages",
                        "the driver is installed with the system's packages (fuse3)"};
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(cases[i].ok, *want[i] == '\0');
    if (!cases[i].ok) {
      EXPECT_EQ(cases[i].error, want[i]);
    }
  }
  EXPECT_EQ(transfers.size(), 0u);
  ASSERT_TRUE(RequestStatus(status));
  EXPECT_TRUE(status.mounts.at(0).offlineMode);
  EXPECT_EQ(status.driver.name, "fuse");
  EXPECT_FALSE(status.driver.version.empty());

  ASSERT_TRUE(RequestRemoveMount(id, error)) << error;
  ASSERT_TRUE(RequestStatus(status));
  EXPECT_TRUE(status.mounts.empty());
}

TEST_F(ServiceClientTest, BackupRequestsCarryTheirMembersAndTheRefusalCode) {
  Value reply;
  std::string error;
  std::string code = "untouched";
  ASSERT_TRUE(RequestBackup("backupSet", "job1", [](Value& r) { r.set("job", Json(R"({"name":"n"})")); }, reply,
                            error, &code));
  EXPECT_EQ(reply["id"].asString(), "job1");
  EXPECT_EQ(reply["job"]["name"].asString(), "n");
  EXPECT_EQ(code, "untouched");

  EXPECT_FALSE(RequestBackup("backupList", "locked", nullptr, reply, error, &code));
  EXPECT_EQ(error, "backups are managed by an administrator of this computer");
  EXPECT_EQ(code, "admin");
}

// A socket put in place by someone other than root gets no secrets, while
// requests without them still go through.
TEST_F(ServiceClientTest, SecretsGoOnlyToRootsSocket) {
  test::TempDir other("tarn-impostor", 0755);
  const std::string folder = other.path() + "/run/tarn";
  ASSERT_TRUE(vx::MakeDirs(folder));
  ASSERT_EQ(::chown(folder.c_str(), kNobody, kNobody), 0);
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(2);
    ControlListener listener;
    if (!listener.open(folder + "/Tarn").ok()) ::_exit(3);
    [[maybe_unused]] ssize_t n = ::write(ready[1], "r", 1);
    std::string body;
    vx::UniqueFd first;
    // The client with secrets hangs up without sending a byte.
    if (!listener.accept(first).ok() || ReadFrame(first.get(), DeadlineAfterMs(kLongMs), body).code != Status::kNetwork)
      ::_exit(4);
    vx::UniqueFd second;
    if (!listener.accept(second).ok() || !ReadFrame(second.get(), DeadlineAfterMs(kLongMs), body).ok() ||
        !WriteFrame(second.get(), ErrorReply("impostor").dump(), DeadlineAfterMs(kLongMs)).ok())
      ::_exit(5);
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ::setenv("TARN_ROOT", other.path().c_str(), 1);
  std::string id;
  std::string error;
  EXPECT_FALSE(RequestSetMount(Json(R"({"endpoint":{"host":"x","password":"pw"}})"), id, error));
  EXPECT_EQ(error, "the service socket does not belong to root; not sending secrets to it");
  ServiceStatus status;
  EXPECT_FALSE(RequestStatus(status));
  EXPECT_EQ(status.error, "impostor");
  ::setenv("TARN_ROOT", machine_->path().c_str(), 1);
  int exitStatus = 0;
  ASSERT_EQ(::waitpid(pid, &exitStatus, 0), pid);
  EXPECT_TRUE(WIFEXITED(exitStatus));
  EXPECT_EQ(WEXITSTATUS(exitStatus), 0);
  ::close(ready[0]);
  ::close(ready[1]);
}

// A restore carries the umask the caller's own programs make files with.
TEST(CallerUmask, IsTheProcesssOwnAndStaysAsItWas) {
  const mode_t before = ::umask(027);
  EXPECT_EQ(CallerUmask(), 027u);
  ::umask(0);
  EXPECT_EQ(CallerUmask(), 0u);
  EXPECT_EQ(::umask(before), 0u);
}

}  // namespace
}  // namespace tarn::app
