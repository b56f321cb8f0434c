#include "service/service_body.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "foundation/file_util.h"
#include "testing/gate.h"
#include "testing/memory_backend.h"
#include "testing/temp_dir.h"

namespace tarn {
namespace {

using vx::json::Value;

constexpr uint32_t kNobody = 65534;
constexpr uint32_t kLongMs = 60000;

bool Answers(const std::string& socketPath) {
  vx::UniqueFd fd;
  return ConnectControlSocket(socketPath, DeadlineAfterMs(kLongMs), fd).ok();
}

// Something is mounted at the folder: it has another device than its parent.
bool IsMountPoint(const std::string& path) {
  struct stat self, parent;
  return ::stat(path.c_str(), &self) == 0 && ::stat((path + "/..").c_str(), &parent) == 0 &&
         self.st_dev != parent.st_dev;
}

Value Ask(const std::string& socketPath, const std::string& request) {
  vx::UniqueFd fd;
  std::string body;
  Value reply;
  if (ConnectControlSocket(socketPath, DeadlineAfterMs(kLongMs), fd).ok() &&
      WriteFrame(fd.get(), request, DeadlineAfterMs(kLongMs)).ok() &&
      ReadFrame(fd.get(), DeadlineAfterMs(kLongMs), body).ok())
    vx::json::Parse(body, reply);
  return reply;
}

// Notes what the service has done by the time each of its calls comes.
class RecordingBackups : public IBackupService {
 public:
  RecordingBackups(ServiceState& state, std::string socketPath, std::vector<std::string>& events, test::Gate& started)
      : state_(state), socketPath_(std::move(socketPath)), events_(events), started_(started) {}

  bool loadJobs(std::string* error) override {
    EndpointConfig ep;
    events_.push_back(std::string("loadJobs: drives ") + (state_.mountEndpoint("d1", ep) ? "loaded" : "missing"));
    *error = "jobs.json is damaged";
    return false;
  }
  void startScheduler() override {
    events_.push_back(std::string("startScheduler: socket ") + (Answers(socketPath_) ? "up" : "down"));
    started_.arriveAndWait();
  }
  void stopAll() override {
    std::string event = std::string("stopAll: socket ") + (Answers(socketPath_) ? "up" : "down");
    if (!mountPoint.empty()) event += std::string(", drive ") + (IsMountPoint(mountPoint) ? "mounted" : "gone");
    events_.push_back(event);
  }
  bool anyRunning() override { return false; }
  Value handle(const Value& request, const IpcCaller* caller) override {
    Value reply = OkReply();
    reply.set("op", request["op"]);
    reply.set("caller", caller != nullptr ? caller->sid : "none");
    return reply;
  }

  std::string mountPoint;  // a drive whose mount stopAll looks at

 private:
  ServiceState& state_;
  const std::string socketPath_;
  std::vector<std::string>& events_;
  test::Gate& started_;
};

class ServiceBodyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    options_.logDir = dir_.file("log");
    options_.configPath = dir_.file("config.json");
    options_.socketPath = dir_.file("run/Tarn");
  }
  void TearDown() override {
    stop_.signal();
    if (body_.joinable()) body_.join();
  }

  // Runs the service on its own thread until it has started its scheduler.
  void Start(const std::string& watchedMount = "") {
    options_.makeBackups = [this, watchedMount](ServiceState& state) {
      auto backups = std::make_unique<RecordingBackups>(state, options_.socketPath, events_, started_);
      backups->mountPoint = watchedMount;
      return backups;
    };
    body_ = std::thread([this] { code_ = ServiceBody(options_, stop_); });
    ASSERT_TRUE(started_.waitArrived());
    started_.release();
  }
  int Stop() {
    stop_.signal();
    body_.join();
    return code_;
  }
  std::string Log() {
    std::string text;
    vx::ReadWholeFile(dir_.file("log/service.log"), text);
    return text;
  }

  test::TempDir dir_{"tarn-body", 0755};
  ServiceOptions options_;
  std::vector<std::string> events_;
  test::Gate started_;
  StopEvent stop_;
  std::thread body_;
  int code_ = -1;
};

TEST_F(ServiceBodyTest, StartsAndStopsInOrder) {
  ASSERT_TRUE(vx::WriteFileAtomic(
      options_.configPath,
      std::string(R"({"mounts":[{"id":"d1","name":"Docs","drive":"P","endpoint":{"host":"dav.example"}}]})")));
  Start();
  EXPECT_EQ(Ask(options_.socketPath, R"({"op":"backupList"})")["caller"].asString(), "S-1-22-1-0");
  const Value status = Ask(options_.socketPath, R"({"op":"status"})");
  ASSERT_EQ(status["mounts"].size(), 1u);
  EXPECT_EQ(status["mounts"].at(0)["id"].asString(), "d1");

  EXPECT_EQ(Stop(), 0);
  EXPECT_EQ(events_, (std::vector<std::string>{"loadJobs: drives loaded", "startScheduler: socket up",
                                               "stopAll: socket down"}));
  EXPECT_FALSE(Answers(options_.socketPath));
  const std::string log = Log();
  const size_t starting = log.find("Tarn service 0.3.1 (");
  const size_t backups = log.find("backups: jobs.json is damaged");
  const size_t stopping = log.find("stopping: flushing uploads");
  const size_t stopped = log.find("] stopped");
  ASSERT_NE(stopped, std::string::npos) << log;
  EXPECT_LT(starting, backups);
  EXPECT_LT(backups, stopping);
  EXPECT_LT(stopping, stopped);
}

TEST_F(ServiceBodyTest, DrivesMountAtStartAndFlushAfterEverythingElseStopped) {
  // This process's machine: the mount point lies below it.
  ::setenv("TARN_ROOT", dir_.path().c_str(), 1);
  const std::string mountPoint = dir_.file("mnt/tarn/Q");
  ASSERT_TRUE(vx::WriteFileAtomic(options_.configPath, R"({"cacheRoot":")" + dir_.file("cache") +
                                                           R"(","mounts":[{"id":"d1","name":"Docs","drive":"Q",)"
                                                           R"("endpoint":{"protocol":"memory","host":"mem"},)"
                                                           R"("cache":{"writebackDelayMs":3600000}}]})"));
  auto server = std::make_shared<test::MemoryServer>();
  options_.backendsFor = [server](const MountConfig&) { return server->factory(); };
  Start(mountPoint);
  ASSERT_TRUE(IsMountPoint(mountPoint));
  {
    vx::UniqueFd fd(::open((mountPoint + "/late.txt").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
    ASSERT_TRUE(fd.valid());
    ASSERT_TRUE(vx::WriteAll(fd.get(), "sent at stop", 12));
  }

  EXPECT_EQ(Stop(), 0);
  EXPECT_EQ(events_.back(), "stopAll: socket down, drive mounted");
  EXPECT_FALSE(IsMountPoint(mountPoint));
  // Its upload was due in an hour: the stop sent it.
  std::string content;
  EXPECT_TRUE(server->readFile("/late.txt", &content));
  EXPECT_EQ(content, "sent at stop");
  const std::string log = Log();
  const size_t mounted = log.find("d1: mounted at " + mountPoint);
  const size_t running = log.find("] running");
  const size_t stopping = log.find("stopping: flushing uploads");
  const size_t unmounted = log.find("d1: unmounted from " + mountPoint);
  const size_t stopped = log.find("] stopped");
  ASSERT_NE(stopped, std::string::npos) << log;
  EXPECT_LT(mounted, running);
  EXPECT_LT(stopping, unmounted);
  EXPECT_LT(unmounted, stopped);
}

TEST_F(ServiceBodyTest, UnreadableConfigIsLoggedAndTheServiceRunsOn) {
  ASSERT_TRUE(vx::WriteFileAtomic(options_.configPath, std::string("{\"mounts\":")));
  Start();
  const Value status = Ask(options_.socketPath, R"({"op":"status"})");
  EXPECT_TRUE(status["ok"].asBool());
  EXPECT_EQ(status["mounts"].size(), 0u);
  EXPECT_EQ(Stop(), 0);
  EXPECT_NE(Log().find("config: config is not valid JSON"), std::string::npos);
}

TEST_F(ServiceBodyTest, SocketThatCannotOpenEndsTheServiceWithAnError) {
  ASSERT_TRUE(vx::MakeDirs(dir_.file("run")));
  ASSERT_EQ(::chown(dir_.file("run").c_str(), kNobody, kNobody), 0);
  EXPECT_EQ(ServiceBody(options_, stop_), kExitIpcFailed);
  EXPECT_NE(Log().find("ipc: " + dir_.file("run") + " belongs to another user"), std::string::npos) << Log();
}

}  // namespace
}  // namespace tarn
