#include "service/service_body.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "foundation/file_util.h"
#include "testing/gate.h"
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
    events_.push_back(std::string("stopAll: socket ") + (Answers(socketPath_) ? "up" : "down"));
  }
  bool anyRunning() override { return false; }
  Value handle(const Value& request, const IpcCaller* caller) override {
    Value reply = OkReply();
    reply.set("op", request["op"]);
    reply.set("caller", caller != nullptr ? caller->sid : "none");
    return reply;
  }

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
  void Start() {
    options_.makeBackups = [this](ServiceState& state) {
      return std::make_unique<RecordingBackups>(state, options_.socketPath, events_, started_);
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
