#include "service/service_state.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <atomic>
#include <thread>
#include <vector>

#include "foundation/config_file.h"
#include "foundation/file_util.h"
#include "service/dispatcher.h"
#include "testing/log_capture.h"
#include "testing/memory_backend.h"
#include "testing/temp_dir.h"
#include "testing/volume_harness.h"

namespace tarn {
namespace {

using vx::json::Value;
namespace fs = std::filesystem;

Value Json(const std::string& text) {
  Value v;
  EXPECT_TRUE(vx::json::Parse(text, v)) << text;
  return v;
}

class ServiceStateTest : public ::testing::Test {
 protected:
  // One machine per test process: the data root is fixed at first use.
  static void SetUpTestSuite() {
    machine_ = new test::TempDir("tarn-state");
    ::setenv("TARN_ROOT", machine_->path().c_str(), 1);
  }
  static void TearDownTestSuite() {
    delete machine_;
    machine_ = nullptr;
  }

  std::unique_ptr<ServiceState> Fresh(const std::string& configPath) {
    return std::make_unique<ServiceState>(configPath, dir_.file("service.log"));
  }

  std::string Add(const std::string& mountJson) {
    std::string id;
    Status s = state_->setMount(Json(mountJson), id);
    EXPECT_TRUE(s.ok()) << s.message;
    return id;
  }

  static test::TempDir* machine_;
  test::TempDir dir_{"tarn-state"};
  std::string config_ = dir_.file("config.json");
  std::unique_ptr<ServiceState> state_ = Fresh(config_);
};

test::TempDir* ServiceStateTest::machine_ = nullptr;

TEST_F(ServiceStateTest, EmptySecretsKeepTheStoredOnesWhichNoReplyShows) {
  Add(R"({"id":"d1","drive":"P","endpoint":{"host":"dav.example","password":"s3cret","privateKey":"KEY1"}})");
  struct Case {
    const char* password;
    const char* privateKey;
    const char* wantPassword;
    const char* wantKey;
  };
  const Case cases[] = {
      {"", "", "s3cret", "KEY1"},
      {"n3w", "", "n3w", "KEY1"},
      {"", "KEY2", "n3w", "KEY2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.password) + "/" + c.privateKey);
    Add(std::string(R"({"id":"d1","name":"Docs","drive":"P","endpoint":{"host":"dav.example","password":")") +
        c.password + R"(","privateKey":")" + c.privateKey + R"("}})");
    // What a restarted service reads back from the file.
    auto reloaded = Fresh(config_);
    ASSERT_TRUE(reloaded->loadConfig(nullptr));
    EndpointConfig ep;
    ASSERT_TRUE(reloaded->mountEndpoint("d1", ep));
    EXPECT_EQ(ep.password, c.wantPassword);
    EXPECT_EQ(ep.privateKey, c.wantKey);
  }
  const std::string status = state_->status().dump();
  const std::string file = [&] {
    std::string text;
    vx::ReadWholeFile(config_, text);
    return text;
  }();
  for (const char* secret : {"n3w", "KEY2"}) {
    EXPECT_EQ(status.find(secret), std::string::npos) << status;
    EXPECT_EQ(file.find(secret), std::string::npos);
  }
  const Value drive = state_->status()["mounts"].at(0);
  EXPECT_TRUE(drive["config"]["endpoint"]["hasPassword"].asBool());
  EXPECT_TRUE(drive["config"]["endpoint"]["hasPrivateKey"].asBool());
  EXPECT_EQ(drive["name"].asString(), "Docs");
  EXPECT_EQ(drive["mountPoint"].asString(), machine_->path() + "/mnt/tarn/P");
}

TEST_F(ServiceStateTest, SecretSealedElsewhereSurvivesAChangeThatLeavesItEmpty) {
  const std::string foreign = "dpapi:c2VhbGVkIG9uIGFub3RoZXIgY29tcHV0ZXI=";
  ASSERT_TRUE(vx::WriteFileAtomic(
      config_, R"({"mounts":[{"id":"d1","endpoint":{"host":"dav.example","password":")" + foreign + R"("}}]})"));
  ASSERT_TRUE(state_->loadConfig(nullptr));
  Add(R"({"id":"d1","name":"renamed","endpoint":{"host":"dav.example","password":""}})");
  std::string text;
  ASSERT_TRUE(vx::ReadWholeFile(config_, text));
  EXPECT_NE(text.find(foreign), std::string::npos) << text;
  EXPECT_NE(text.find("renamed"), std::string::npos);
}

TEST_F(ServiceStateTest, InvalidDrivesAreRefusedWithTheValidationText) {
  struct Case {
    const char* json;
    const char* error;
  };
  const Case cases[] = {
      {R"(null)", "mount is missing"},
      {R"({"endpoint":{"host":""}})", "host is empty"},
      {R"({"drive":"B","endpoint":{"host":"dav.example"}})", "drive letter must be D..Z"},
      {R"({"endpoint":{"protocol":"ftp","host":"dav.example"}})", "unknown protocol: ftp"},
      {R"({"id":"../../etc","endpoint":{"host":"dav.example"}})", "drive id must be a plain name"},
      {R"({"id":"..","endpoint":{"host":"dav.example"}})", "drive id must be a plain name"},
      {R"({"name":"Docs\n2024-01-01 [INFO ] forged","endpoint":{"host":"dav.example"}})",
       "the drive's name holds a line feed or another control character"},
      {"{\"name\":\"Docs\xff\",\"endpoint\":{\"host\":\"dav.example\"}}", "the drive's name is not valid UTF-8"},
      {R"({"endpoint":{"host":"https://dav.example/\u001b[2J"}})",
       "the drive's endpoint host holds a line feed or another control character"},
      {"{\"endpoint\":{\"host\":\"dav.example\",\"root\":\"/\xc3\"}}", "the drive's endpoint root is not valid UTF-8"},
      {R"({"endpoint":{"host":"dav.example","user":"bob\r"}})",
       "the drive's endpoint user holds a line feed or another control character"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    std::string id = "untouched";
    Status s = state_->setMount(Json(c.json), id);
    EXPECT_EQ(s.code, Status::kInvalid);
    EXPECT_EQ(s.message, c.error);
    EXPECT_EQ(id, "untouched");
  }
  EXPECT_EQ(state_->status()["mounts"].size(), 0u);
  EXPECT_FALSE(vx::FileExists(config_));
}

TEST_F(ServiceStateTest, ADriveLetterBelongsToOneDrive) {
  Add(R"({"id":"d1","name":"Docs","drive":"P","endpoint":{"host":"a.example"}})");
  std::string id;
  const Status taken = state_->setMount(Json(R"({"id":"d2","drive":"P","endpoint":{"host":"b.example"}})"), id);
  EXPECT_EQ(taken.code, Status::kInvalid);
  EXPECT_EQ(taken.message, "the drive letter P is used by the drive Docs (d1)");
  // The drive that holds it keeps it through a change.
  Add(R"({"id":"d1","name":"Docs 2","drive":"P","endpoint":{"host":"a.example"}})");
  Add(R"({"id":"d2","drive":"Q","endpoint":{"host":"b.example"}})");
  EXPECT_EQ(state_->status()["mounts"].size(), 2u);
}

TEST_F(ServiceStateTest, ProbeResultIsDroppedWhenTheServerChanges) {
  const char* probed = R"("probed":{"valid":true,"randomWrite":true,"server":"Apache"})";
  Add(std::string(R"({"id":"d1","endpoint":{"host":"a.example","root":"/x"},)") + probed + "}");
  Add(std::string(R"({"id":"d1","name":"renamed","endpoint":{"host":"a.example","root":"/x"},)") + probed + "}");
  EXPECT_TRUE(state_->status()["mounts"].at(0)["config"]["probed"]["valid"].asBool());
  Add(std::string(R"({"id":"d1","endpoint":{"host":"b.example","root":"/x"},)") + probed + "}");
  EXPECT_FALSE(state_->status()["mounts"].at(0)["config"]["probed"]["valid"].asBool());
}

TEST_F(ServiceStateTest, FailedSaveChangesNothing) {
  ASSERT_TRUE(vx::WriteFileAtomic(dir_.file("file"), std::string("x")));
  auto state = Fresh(dir_.file("file/config.json"));
  std::string id;
  Status s = state->setMount(Json(R"({"endpoint":{"host":"dav.example"}})"), id);
  EXPECT_EQ(s.code, Status::kIo);
  EXPECT_EQ(state->status()["mounts"].size(), 0u);
  EXPECT_FALSE(state->setAppSettings(Json(R"({"language":"de"})")).ok());
  EXPECT_EQ(state->status()["language"].asString(), "");
}

TEST_F(ServiceStateTest, RemovedDriveTakesOnlyTheEngineFilesOfItsCache) {
  const std::string custom = dir_.file("custom");
  const std::string cacheRoot = dir_.file("caches");
  ASSERT_TRUE(state_->setAppSettings(Json(R"({"cacheRoot":")" + cacheRoot + R"("})")).ok());
  struct Case {
    const char* name;
    std::string cacheDir;  // empty: the drive's folder under the cache root
    bool clearCache;
    bool folderStays;
  };
  const Case cases[] = {
      {"own folder", "", true, false},
      {"own folder kept", "", false, true},
      {"folder the user chose", custom, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string id = Add(R"({"endpoint":{"host":"dav.example"},"cache":{"dir":")" + c.cacheDir + R"("}})");
    const std::string folder = c.cacheDir.empty() ? vx::JoinPath(cacheRoot, id) : c.cacheDir;
    ASSERT_TRUE(vx::MakeDirs(folder + "/data"));
    ASSERT_TRUE(vx::WriteFileAtomic(folder + "/data/0123.bin", std::string("block")));
    ASSERT_TRUE(vx::WriteFileAtomic(folder + "/journal.json", std::string("[]")));
    ASSERT_TRUE(vx::WriteFileAtomic(folder + "/journal.log", std::string("{}\n")));
    ASSERT_TRUE(vx::WriteFileAtomic(folder + "/metadata.json", std::string("{}")));
    ASSERT_TRUE(vx::WriteFileAtomic(folder + "/mine.txt", std::string("user's")));

    ASSERT_TRUE(state_->removeMount(id, c.clearCache).ok());
    EndpointConfig ep;
    EXPECT_FALSE(state_->mountEndpoint(id, ep));
    EXPECT_EQ(fs::exists(folder + "/mine.txt"), c.folderStays);
    EXPECT_EQ(fs::exists(folder + "/data"), !c.clearCache);
    EXPECT_EQ(fs::exists(folder + "/journal.json"), !c.clearCache);
    EXPECT_EQ(fs::exists(folder + "/journal.log"), !c.clearCache);
    EXPECT_EQ(fs::exists(folder + "/metadata.json"), !c.clearCache);
  }
  EXPECT_EQ(state_->removeMount("nope", true).message, "no such drive");
}

// A large cache takes seconds to delete: the removal sets it aside at once
// and deletes it beside the requests; what a stop cut short goes at the next
// start, and nothing else in the cache root is touched.
TEST_F(ServiceStateTest, RemovedCachesAreDeletedAfterTheReplyAndAfterAStop) {
  const std::string cacheRoot = dir_.file("caches");
  ASSERT_TRUE(state_->setAppSettings(Json(R"({"cacheRoot":")" + cacheRoot + R"("})")).ok());
  ASSERT_TRUE(vx::MakeDirs(cacheRoot + "/.removed-cut-short/data"));
  ASSERT_TRUE(vx::WriteFileAtomic(cacheRoot + "/.removed-cut-short/data/0.bin", std::string("old")));
  ASSERT_TRUE(vx::MakeDirs(cacheRoot + "/other"));
  ASSERT_TRUE(vx::WriteFileAtomic(cacheRoot + "/other/keep.txt", std::string("kept")));

  state_ = Fresh(config_);
  ASSERT_TRUE(state_->loadConfig(nullptr));
  state_->deleteSetAsideCaches();
  const std::string id = Add(R"({"endpoint":{"host":"dav.example"}})");
  ASSERT_TRUE(vx::MakeDirs(vx::JoinPath(cacheRoot, id) + "/data"));
  for (int i = 0; i < 100; ++i)
    ASSERT_TRUE(vx::WriteFileAtomic(vx::JoinPath(cacheRoot, id) + "/data/" + std::to_string(i) + ".bin", "x"));
  ASSERT_TRUE(state_->removeMount(id, true).ok());
  // The same id starts afresh at once.
  EXPECT_FALSE(fs::exists(vx::JoinPath(cacheRoot, id)));

  state_.reset();
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(cacheRoot)) left.push_back(e.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"other"});
  EXPECT_TRUE(fs::exists(cacheRoot + "/other/keep.txt"));
}

TEST_F(ServiceStateTest, AppSettingsAreCheckedAndKept) {
  struct Case {
    const char* json;
    const char* error;  // empty: accepted
  };
  const Case cases[] = {
      {R"({"op":"setAppSettings","language":"de","logLevel":"debug"})", ""},
      {R"({"startTrayAtLogon":false,"mountDriver":"fuse","cacheRoot":""})", ""},
      {R"({"startTrayAtLogon":"no"})", "startTrayAtLogon must be true or false"},
      // There is no update server, and so no setting of automatic updates.
      {R"({"autoUpdate":false})", "autoUpdate: there is no update server: updates come with the system's packages"},
      {R"({"language":7})", "language must be a text"},
      {R"({"logLevel":"loud"})", "logLevel must be debug, info, warn or error"},
      {R"({"cacheRoot":"relative/dir"})", "cacheRoot must be an absolute path"},
      {R"({"language":"fr","colour":"blue"})", "unknown setting: colour"},
      {R"([1])", "settings are missing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    EXPECT_EQ(state_->setAppSettings(Json(c.json)).message, c.error);
  }
  // A refused request changes none of its members, even the valid ones.
  AppConfig saved;
  ASSERT_TRUE(LoadConfig(saved, config_));
  EXPECT_EQ(saved.language, "de");
  std::string file;
  ASSERT_TRUE(vx::ReadWholeFile(config_, file));
  EXPECT_EQ(file.find("autoUpdate"), std::string::npos) << "there is no update server: no such setting";
  EXPECT_EQ(saved.logLevel, "debug");
  EXPECT_FALSE(saved.startTrayAtLogon);
  EXPECT_EQ(saved.mountDriver, "fuse");
  EXPECT_FALSE(state_->status()["autoUpdate"].asBool(true));
  EXPECT_EQ(state_->status()["language"].asString(), "de");
}

TEST_F(ServiceStateTest, LogTailHasTheLastLines) {
  struct Case {
    std::string text;
    int lines;
    std::string want;
  };
  const Case cases[] = {
      {"a\nb\nc\n", 2, "b\nc\n"},
      {"a\nb\nc", 1, "c"},
      {"a\nb\nc\n", 9, "a\nb\nc\n"},
      {"a\nb\n", 0, "b\n"},
      {"\xEF\xBB\xBFonly\n", 5, "only\n"},
      {"", 3, ""},
      // Only the log's end is read, and of it whole lines alone.
      {std::string(kMaxLogReplyBytes, 'h') + "\nlast\n", 5, "last\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 40));
    ASSERT_TRUE(vx::WriteFileAtomic(dir_.file("service.log"), c.text));
    EXPECT_EQ(state_->getLog(c.lines), c.want);
  }
  fs::remove(dir_.file("service.log"));
  EXPECT_EQ(state_->getLog(5), "");
}

TEST_F(ServiceStateTest, BusyAsksTheBackupsBeforeTakingTheStateLock) {
  Add(R"({"id":"d1","endpoint":{"host":"dav.example"}})");
  // The backup manager holds its own lock and calls back into the state; were
  // isBusy to hold the state's lock meanwhile, this would never return.
  bool running = true;
  state_->setBackupRunning([&] {
    EndpointConfig ep;
    return state_->mountEndpoint("d1", ep) && running;
  });
  EXPECT_TRUE(state_->isBusy());
  running = false;
  EXPECT_FALSE(state_->isBusy());
}

TEST_F(ServiceStateTest, DrivesAreChangedByAdministratorsAndSettingsByRoot) {
  Dispatcher dispatcher(*state_);
  IpcCaller user;
  user.uid = 1000;
  IpcCaller member = user;
  member.privileged = true;
  IpcCaller root = member;
  root.root = true;
  root.uid = 0;
  enum Needs { kAnyone, kAdmin, kRoot };
  struct Case {
    const char* op;
    Needs needs;
  };
  const Case cases[] = {
      {"status", kAnyone},       {"transfers", kAnyone},  {"getLog", kAnyone},       {"setMount", kAdmin},
      {"removeMount", kAdmin},   {"mount", kAdmin},       {"unmount", kAdmin},       {"syncNow", kAdmin},
      {"setOffline", kAdmin},    {"clearCache", kAdmin},  {"stopUpload", kAdmin},    {"probe", kAdmin},
      {"setAppSettings", kRoot}, {"checkUpdate", kRoot},  {"applyUpdate", kRoot},    {"installDriver", kRoot},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.op);
    Value request = Value::object();
    request.set("op", c.op);
    EXPECT_EQ(dispatcher.dispatch(request, &user)["code"].asString() == "admin", c.needs != kAnyone);
    EXPECT_EQ(dispatcher.dispatch(request, &member)["code"].asString() == "admin", c.needs == kRoot);
    for (const IpcCaller* allowed : {static_cast<const IpcCaller*>(&root), static_cast<const IpcCaller*>(nullptr)}) {
      EXPECT_NE(dispatcher.dispatch(request, allowed)["code"].asString(), "admin");
    }
  }
  // The status tells each caller whether the drives are theirs to manage,
  // so that a window can say so before anything is refused.
  const Value status = Json(R"({"op":"status"})");
  EXPECT_FALSE(dispatcher.dispatch(status, &user)["mayManageDrives"].asBool(true));
  for (const IpcCaller* allowed : {&member, &root}) {
    EXPECT_TRUE(dispatcher.dispatch(status, allowed)["mayManageDrives"].asBool(false));
  }
  EXPECT_TRUE(dispatcher.dispatch(status, nullptr)["mayManageDrives"].asBool(false));
  // And whether the service's own settings (the language) are, which only
  // root changes.
  for (const IpcCaller* refused : {&user, &member}) {
    EXPECT_FALSE(dispatcher.dispatch(status, refused)["mayChangeSettings"].asBool(true));
  }
  for (const IpcCaller* allowed : {static_cast<const IpcCaller*>(&root), static_cast<const IpcCaller*>(nullptr)}) {
    EXPECT_TRUE(dispatcher.dispatch(status, allowed)["mayChangeSettings"].asBool(false));
  }
}

TEST_F(ServiceStateTest, AFloodOfRefusalsCannotRotateTheLogAway) {
  test::LogCapture log;
  Dispatcher dispatcher(*state_);
  // Users of their own: the log's limiter is the process's, and other
  // tests of this process are refused too.
  IpcCaller user;
  user.uid = 4001;
  user.user = "flooder (uid 4001)";
  IpcCaller other = user;
  other.uid = 4002;
  other.user = "other (uid 4002)";
  const Value request = Json(R"({"op":"mount","id":"d1"})");
  for (int i = 0; i < 1000; ++i) EXPECT_EQ(dispatcher.dispatch(request, &user)["code"].asString(), "admin");
  EXPECT_EQ(dispatcher.dispatch(request, &other)["code"].asString(), "admin");
  EXPECT_LE(log.countLines("ipc: mount refused to flooder (uid 4001)"), 20);
  EXPECT_GE(log.countLines("ipc: mount refused to flooder (uid 4001)"), 1);
  EXPECT_EQ(log.countLines("ipc: mount refused to other (uid 4002)"), 1);
}

TEST_F(ServiceStateTest, RepliesOfOpsWithoutAServerHere) {
  Dispatcher dispatcher(*state_);
  struct Case {
    const char* request;
    const char* error;
  };
  const Case cases[] = {
      {R"({"op":"checkUpdate","apply":true})", "there is no update server: updates come with the system's packages"},
      {R"({"op":"applyUpdate"})", "there is no update server: updates come with the system's packages"},
      {R"({"op":"installDriver"})", "the driver is installed with the system's packages (fuse3)"},
      {R"({"op":"backupList"})", "backups are not available"},
      {R"({"op":"format"})", "unknown op: format"},
      {R"({"id":"d1"})", "unknown op: "},
      {R"([])", "request is not a JSON object"},
      {R"({"op":"mount","id":"nope"})", "no such drive"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request);
    const Value reply = dispatcher.dispatch(Json(c.request), nullptr);
    EXPECT_FALSE(reply["ok"].asBool(true));
    EXPECT_EQ(reply["error"].asString(), c.error);
  }
  const IpcCaller* seen = nullptr;
  IpcCaller user;
  dispatcher.setBackupHandler([&](const Value& request, const IpcCaller* caller) {
    seen = caller;
    Value reply = OkReply();
    reply.set("op", request["op"]);
    return reply;
  });
  EXPECT_EQ(dispatcher.dispatch(Json(R"({"op":"backupRun"})"), &user).dump(), R"({"ok":true,"op":"backupRun"})");
  EXPECT_EQ(seen, &user);
}

// Drives of the in-memory server, mounted through FUSE at their mount points
// below the test's machine root.
class MountedStateTest : public ServiceStateTest {
 protected:
  void SetUp() override {
    state_->setBackendsFor([this](const MountConfig&) { return server_->factory(); });
    ASSERT_TRUE(state_->setAppSettings(Json(R"({"cacheRoot":")" + dir_.file("caches") + R"("})")).ok());
  }

  // A drive whose closed files wait an hour before they go up.
  std::string AddDrive(const std::string& id) {
    return Add(R"({"id":")" + id +
               R"(","name":"Docs","drive":"P","endpoint":{"protocol":"memory","host":"mem"},)"
               R"("cache":{"writebackDelayMs":3600000}})");
  }
  Value Drive() { return state_->status()["mounts"].at(0); }
  Value Transfer(const std::string& path) {
    Value list;
    EXPECT_TRUE(state_->transfers(list).ok());
    for (size_t i = 0; i < list.size(); ++i) {
      if (list.at(i)["path"].asString() == path) return list.at(i);
    }
    return Value();
  }
  std::string OnServer(const std::string& path) {
    std::string content = "<missing>";
    server_->readFile(path, &content);
    return content;
  }

  static std::string MountPoint() { return machine_->file("mnt/tarn/P"); }
  static bool IsMountPoint() {
    struct stat self, parent;
    return ::stat(MountPoint().c_str(), &self) == 0 && ::stat((MountPoint() + "/..").c_str(), &parent) == 0 &&
           self.st_dev != parent.st_dev;
  }
  // Writes and closes the file, and returns a second descriptor of it that
  // is still open (-1 on failure).
  static int WriteOnDrive(const std::string& name, const std::string& content) {
    const int fd = ::open((MountPoint() + "/" + name).c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    const bool written = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    const int held = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (::close(fd) != 0 || !written) {
      if (held >= 0) ::close(held);
      return -1;
    }
    return held;
  }

  std::shared_ptr<test::MemoryServer> server_ = std::make_shared<test::MemoryServer>();
};

TEST_F(MountedStateTest, MountedDriveRunsThroughItsVolume) {
  const std::string id = AddDrive("d1");
  ASSERT_TRUE(state_->mount(id).ok());
  EXPECT_TRUE(IsMountPoint());
  Value drive = Drive();
  EXPECT_TRUE(drive["mounted"].asBool());
  EXPECT_TRUE(drive["online"].asBool());
  EXPECT_EQ(drive["mountPoint"].asString(), MountPoint());
  // A drive never probed is probed at its mount, and the file keeps it.
  EXPECT_TRUE(drive["config"]["probed"]["valid"].asBool());
  auto reloaded = Fresh(config_);
  ASSERT_TRUE(reloaded->loadConfig(nullptr));
  EXPECT_TRUE(reloaded->status()["mounts"].at(0)["config"]["probed"]["valid"].asBool());
  EXPECT_TRUE(state_->mount(id).ok()) << "a second mount is no error";

  // A second descriptor keeps the file open, so the kernel's release of it
  // comes after the sync, as it may on a loaded machine.
  const int held = WriteOnDrive("a.txt", "hello");
  ASSERT_GE(held, 0);
  drive = Drive();
  EXPECT_EQ(drive["pendingUploads"].asInt(), 1);
  EXPECT_GT(drive["cacheBytes"].asInt64(), 0);
  EXPECT_TRUE(state_->isBusy());
  Value waiting = Transfer("/a.txt");
  EXPECT_EQ(waiting["mount"].asString(), id);
  EXPECT_EQ(waiting["drive"].asString(), "P");
  EXPECT_EQ(waiting["state"].asString(), "waiting");
  EXPECT_TRUE(waiting["upload"].asBool());
  EXPECT_EQ(OnServer("/a.txt"), "");

  ASSERT_TRUE(state_->syncNow(id).ok());
  ASSERT_EQ(::close(held), 0);
  EXPECT_TRUE(test::Eventually([&] { return !state_->isBusy(); }));
  EXPECT_EQ(OnServer("/a.txt"), "hello");
  EXPECT_EQ(Transfer("/a.txt")["state"].asString(), "done");
  EXPECT_EQ(Transfer("/a.txt")["total"].asInt(), 5);
  // An open file keeps its cache, and the kernel's release may still be on
  // its way.
  EXPECT_TRUE(test::Eventually([&] { return state_->clearCache(id).ok() && Drive()["cacheBytes"].asInt64() == 0; }));

  ASSERT_TRUE(state_->setOffline(id, true).ok());
  EXPECT_TRUE(Drive()["offlineMode"].asBool());

  ASSERT_TRUE(state_->unmount(id).ok());
  EXPECT_FALSE(IsMountPoint());
  EXPECT_FALSE(Drive()["mounted"].asBool());
  Value none;
  ASSERT_TRUE(state_->transfers(none).ok());
  EXPECT_EQ(none.size(), 0u);
}

TEST_F(MountedStateTest, RemovedDriveIsUnmountedAndItsUnsentChangesDropped) {
  const std::string id = AddDrive("d2");
  ASSERT_TRUE(state_->mount(id).ok());
  const int held = WriteOnDrive("unsent.txt", "never sent");
  ASSERT_GE(held, 0);
  ASSERT_EQ(::close(held), 0);
  const std::string cache = vx::JoinPath(state_->cacheRoot(), id);
  ASSERT_TRUE(fs::exists(cache));
  ASSERT_TRUE(state_->removeMount(id, true).ok());
  EXPECT_FALSE(IsMountPoint());
  EXPECT_FALSE(fs::exists(cache));
  EXPECT_EQ(OnServer("/unsent.txt"), "");
  EXPECT_EQ(state_->status()["mounts"].size(), 0u);
}

TEST_F(MountedStateTest, WantedDriveMountsOnceTheNetworkChanges) {
  const std::string id = AddDrive("d3");
  // A file where the mount point belongs fails the mount, and the drive
  // stays wanted.
  fs::remove_all(MountPoint());
  ASSERT_TRUE(vx::MakeDirs(machine_->file("mnt/tarn")));
  ASSERT_TRUE(vx::WriteFileAtomic(MountPoint(), std::string("in the way")));
  const Status failed = state_->mount(id);
  EXPECT_EQ(failed.message, MountPoint() + " is not a folder");
  EXPECT_EQ(Drive()["lastError"].asString(), failed.message);
  ASSERT_TRUE(fs::remove(MountPoint()));
  state_->networkChanged();
  EXPECT_TRUE(test::Eventually([&] { return Drive()["mounted"].asBool(); }));
  EXPECT_EQ(Drive()["lastError"].asString(), "");
  ASSERT_TRUE(state_->unmount(id).ok());
  state_->networkChanged();
  EXPECT_FALSE(Drive()["mounting"].asBool()) << "an unmounted drive is no longer wanted";
  EXPECT_FALSE(Drive()["mounted"].asBool());
}

TEST_F(MountedStateTest, AServerThatDoesNotAnswerHoldsUpNothingButItsOwnMount) {
  const std::string id = AddDrive("d4");
  state_->setMountAnswerMs(0);
  // The server takes the connection and says nothing: the probe of a drive
  // never probed waits there.
  auto silent = server_->addGate(test::MemOp::kConnect);
  bool pending = false;
  ASSERT_TRUE(state_->mount(id, &pending).ok());
  EXPECT_TRUE(pending);
  ASSERT_TRUE(silent->waitArrived());

  // Meanwhile every other request is answered.
  Value drive = Drive();
  EXPECT_TRUE(drive["mounting"].asBool());
  EXPECT_FALSE(drive["mounted"].asBool());
  Value none;
  EXPECT_TRUE(state_->transfers(none).ok());
  EXPECT_EQ(state_->syncNow(id).message, "the drive is not mounted");
  Add(R"({"id":"d5","drive":"Q","endpoint":{"protocol":"memory","host":"mem"}})");
  // A second request for the same mount joins the first.
  ASSERT_TRUE(state_->mount(id, &pending).ok());
  EXPECT_TRUE(pending);

  silent->release();
  EXPECT_TRUE(test::Eventually([&] { return Drive()["mounted"].asBool(); }));
  EXPECT_FALSE(Drive()["mounting"].asBool());
  EXPECT_TRUE(Drive()["config"]["probed"]["valid"].asBool());
  // Asked again once it is there: no error, nothing pending.
  ASSERT_TRUE(state_->mount(id, &pending).ok());
  EXPECT_FALSE(pending);
  ASSERT_TRUE(state_->unmount(id).ok());
}

// A mount that hangs on a server that takes the connection and says
// nothing is stopped by an unmount at once, whether it waits in the probe
// of a drive never probed or in the drive's first connect; the drive then
// shows neither mounting nor an error.
TEST_F(MountedStateTest, AnUnmountStopsAMountStillGoingOn) {
  const std::string id = AddDrive("d10");
  state_->setMountAnswerMs(0);
  for (const char* where : {"in the probe", "in the first connect"}) {
    SCOPED_TRACE(where);
    // Far longer than any test runs: only the unmount ends the wait.
    server_->setSilent(3600000, {test::MemOp::kConnect});
    bool pending = false;
    ASSERT_TRUE(state_->mount(id, &pending).ok());
    EXPECT_TRUE(pending);
    ASSERT_TRUE(test::Eventually([&] { return server_->silentWaiters() > 0; }));
    EXPECT_TRUE(Drive()["mounting"].asBool());

    std::atomic<bool> unmounted{false};
    Status s;
    std::thread unmount([&] {
      s = state_->unmount(id);
      unmounted = true;
    });
    const bool ended = test::Eventually([&] { return unmounted.load(); });
    EXPECT_TRUE(ended) << "the unmount waited for the silent server";
    server_->setSilent(0);
    unmount.join();
    EXPECT_TRUE(s.ok()) << s.message;
    const Value drive = Drive();
    EXPECT_FALSE(drive["mounting"].asBool());
    EXPECT_FALSE(drive["mounted"].asBool());
    EXPECT_EQ(drive["lastError"].asString(), "");
    EXPECT_FALSE(IsMountPoint());
    if (std::string(where) == "in the probe") {
      // Probed once, so that the next mount goes straight to its connect.
      ASSERT_TRUE(state_->mount(id).ok());
      ASSERT_TRUE(test::Eventually([&] { return Drive()["mounted"].asBool(); }));
      ASSERT_TRUE(Drive()["config"]["probed"]["valid"].asBool());
      ASSERT_TRUE(state_->unmount(id).ok());
    }
  }
}

TEST_F(MountedStateTest, TheStopEndsTheProbeOfAMountStillGoingOn) {
  const std::string id = AddDrive("d9");
  // A mount that the stop finds going on probes no further than its next
  // step; one asked for after the stop began is such a mount from its start.
  state_->unmountAll(0);
  const Status mounted = state_->mount(id);
  EXPECT_EQ(mounted.code, Status::kCanceled);
  EXPECT_EQ(mounted.message, "the service is stopping");
  EXPECT_EQ(server_->countCalls(test::MemOp::kMkdir), 0);
  EXPECT_FALSE(IsMountPoint());
}

// A server whose certificate the drive does not trust is no server out of
// reach: the mount fails with the reason, and nothing is mounted.
TEST_F(MountedStateTest, ServerRefusedAsUntrustedFailsTheMountWithTheReason) {
  const std::string id = AddDrive("d10");
  test::FaultRule untrusted;
  untrusted.op = test::MemOp::kConnect;
  untrusted.times = 0;
  untrusted.status = Status(Status::kInvalid, "TLS: send: the server's certificate is not trusted", 12045);
  server_->addFault(untrusted);
  const Status mounted = state_->mount(id);
  EXPECT_EQ(mounted.toString(), "invalid: TLS: send: the server's certificate is not trusted");
  EXPECT_FALSE(IsMountPoint());
  EXPECT_FALSE(Drive()["mounted"].asBool());
  EXPECT_EQ(Drive()["lastError"].asString(), "TLS: send: the server's certificate is not trusted");
}

// A server whose check finds it refusing writes is mounted read-only:
// a write fails at once rather than wait in the cache for an upload the
// server will refuse, and nothing of it is kept as the drive's setting.
TEST_F(MountedStateTest, AServerThatRefusesWritesIsMountedReadOnly) {
  const std::string id = AddDrive("d12");
  test::FaultRule noFolders;
  noFolders.op = test::MemOp::kMkdir;
  noFolders.times = 0;
  noFolders.status = Status(Status::kAccessDenied, "MKCOL -> HTTP 403");
  server_->addFault(noFolders);
  ASSERT_TRUE(state_->mount(id).ok());
  ASSERT_TRUE(IsMountPoint());
  errno = 0;
  EXPECT_EQ(::open((MountPoint() + "/new.txt").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644), -1);
  EXPECT_EQ(errno, EROFS);
  EXPECT_EQ(Drive()["pendingUploads"].asInt(), 0);
  const Value setting = Drive()["config"]["compat"]["readOnly"];
  ASSERT_TRUE(setting.isBool());
  EXPECT_FALSE(setting.asBool());
  ASSERT_TRUE(state_->unmount(id).ok());
}

TEST_F(MountedStateTest, PasswordSealedElsewhereIsAskedForAgainAndNothingIsSent) {
  const std::string foreign = "dpapi:c2VhbGVkIG9uIGFub3RoZXIgY29tcHV0ZXI=";
  ASSERT_TRUE(vx::WriteFileAtomic(config_, R"({"cacheRoot":")" + dir_.file("caches") +
                                               R"(","mounts":[{"id":"d8","drive":"P","endpoint":{"protocol":"memory",)"
                                               R"("host":"mem","user":"bob","password":")" + foreign + R"("}}]})"));
  ASSERT_TRUE(state_->loadConfig(nullptr));
  const std::string expected =
      "the stored password cannot be opened on this computer (it was saved on another one); enter it again";
  const Status mounted = state_->mount("d8");
  EXPECT_EQ(mounted.code, Status::kAuthFailed);
  EXPECT_EQ(mounted.message, expected);
  EXPECT_EQ(Drive()["lastError"].asString(), expected);
  EXPECT_FALSE(IsMountPoint());
  std::string summary;
  Value report;
  EXPECT_EQ(state_->probe(Json(R"({"id":"d8","endpoint":{"protocol":"memory","host":"mem","user":"bob"}})"), summary,
                          report)
                .message,
            expected);
  EXPECT_EQ(server_->countCalls(test::MemOp::kConnect), 0);
  // Entered again, it is used.
  Add(R"({"id":"d8","drive":"P","endpoint":{"protocol":"memory","host":"mem","user":"bob","password":"again"}})");
  ASSERT_TRUE(state_->mount("d8").ok());
  EXPECT_TRUE(IsMountPoint());
  ASSERT_TRUE(state_->unmount("d8").ok());
}

TEST_F(MountedStateTest, StopFlushesEveryDriveAtOnce) {
  // Far longer than the drives need to begin, far shorter than the flush.
  constexpr uint32_t kFlushStartMs = 20000;
  server_->setCaps(test::WritableCaps(false));
  const char* letters[] = {"P", "Q", "R"};
  std::vector<std::shared_ptr<test::Gate>> uploads;
  for (const char* letter : letters) {
    const std::string id = std::string("s") + letter;
    Add(R"({"id":")" + id + R"(","drive":")" + letter + R"(","endpoint":{"protocol":"memory","host":"mem"},)"
        R"("cache":{"writebackDelayMs":3600000}})");
    ASSERT_TRUE(state_->mount(id).ok());
    const std::string path = std::string("/") + letter + ".txt";
    uploads.push_back(server_->addGate(test::MemOp::kOpenWrite, path));
    vx::UniqueFd fd(::open((machine_->file(std::string("mnt/tarn/") + letter) + path).c_str(),
                           O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
    ASSERT_TRUE(fd.valid() && vx::WriteAll(fd.get(), letter, 1));
  }
  // Each drive's upload waits at the server until every drive has begun
  // its flush: one after another, the second would never begin.
  std::thread stop([&] { state_->unmountAll(test::Gate::kDefaultWaitMs); });
  for (auto& upload : uploads) EXPECT_TRUE(upload->waitArrived(kFlushStartMs));
  for (auto& upload : uploads) upload->release();
  stop.join();
  for (const char* letter : letters) EXPECT_EQ(OnServer(std::string("/") + letter + ".txt"), letter);
}

TEST_F(MountedStateTest, UnmountAndRemoveDuringAMountTakeTheDriveAwayWhenItIsThere) {
  for (const bool remove : {false, true}) {
    SCOPED_TRACE(remove ? "remove" : "unmount");
    const std::string id = AddDrive(remove ? "d6" : "d7");
    state_->setMountAnswerMs(0);
    auto silent = server_->addGate(test::MemOp::kConnect);
    bool pending = false;
    ASSERT_TRUE(state_->mount(id, &pending).ok());
    ASSERT_TRUE(silent->waitArrived());
    Status result;
    std::thread taker([&] { result = remove ? state_->removeMount(id, true) : state_->unmount(id); });
    silent->release();
    taker.join();
    EXPECT_TRUE(result.ok()) << result.message;
    EXPECT_FALSE(IsMountPoint());
    if (remove) {
      EXPECT_EQ(state_->status()["mounts"].size(), 0u);
    } else {
      EXPECT_FALSE(Drive()["mounted"].asBool());
      ASSERT_TRUE(state_->removeMount(id, true).ok());
    }
  }
}

// An unmount answers within its wait even while the drive's server holds a
// call of it (here a read that would wait ten minutes), and tells how many
// changes wait for the next mount; the drive lets go once the call ends.
TEST_F(MountedStateTest, UnmountAnswersWithinItsWaitAndCountsTheChangesLeft) {
  constexpr uint32_t kSilenceMs = 600000;
  server_->setCaps(test::WritableCaps(false));
  server_->putFile("/held.txt", "read while the server is silent");
  const std::string id = Add(R"({"id":"u1","drive":"P","endpoint":{"protocol":"memory","host":"mem"},)"
                             R"("net":{"connectTimeoutMs":600000,"ioTimeoutMs":600000},)"
                             R"("cache":{"writebackDelayMs":3600000}})");
  state_->setUnmountFlushMs(100);
  ASSERT_TRUE(state_->mount(id).ok());
  const int held = WriteOnDrive("left.txt", "not sent");
  ASSERT_GE(held, 0);
  ASSERT_EQ(::close(held), 0);
  server_->setSilent(kSilenceMs);
  std::thread reader([] {
    vx::UniqueFd fd(::open((MountPoint() + "/held.txt").c_str(), O_RDONLY | O_CLOEXEC));
    char buffer[64];
    if (fd.valid()) (void)!::read(fd.get(), buffer, sizeof buffer);
  });
  ASSERT_TRUE(test::Eventually([&] { return server_->silentWaiters() >= 1; }));

  uint32_t unsent = 0;
  EXPECT_TRUE(state_->unmount(id, &unsent).ok());
  EXPECT_EQ(unsent, 1u);
  EXPECT_FALSE(Drive()["mounted"].asBool());
  server_->setSilent(0);
  reader.join();
  EXPECT_TRUE(test::Eventually([] { return !IsMountPoint(); }));
  // What was not sent goes up at the next mount.
  ASSERT_TRUE(state_->mount(id).ok());
  EXPECT_TRUE(test::Eventually([&] { return OnServer("/left.txt") == "not sent"; }));
  unsent = 1;
  ASSERT_TRUE(state_->unmount(id, &unsent).ok());
  EXPECT_EQ(unsent, 0u);
}

// What the user did last holds across a restart of the service: a drive
// unmounted stays so, a drive mounted comes back.
TEST_F(MountedStateTest, ADriveIsMountedAtTheNextStartAsTheUserLeftIt) {
  const std::string id = AddDrive("a1");
  auto mountedAfterRestart = [&] {
    auto restarted = Fresh(config_);
    restarted->setBackendsFor([this](const MountConfig&) { return server_->factory(); });
    EXPECT_TRUE(restarted->loadConfig(nullptr));
    restarted->mountWanted();
    const bool mounted = restarted->status()["mounts"].at(0)["mounted"].asBool();
    restarted->unmountAll(0);
    return mounted;
  };
  ASSERT_TRUE(state_->mount(id).ok());
  ASSERT_TRUE(state_->unmount(id).ok());
  EXPECT_FALSE(Drive()["config"]["autoMount"].asBool());
  EXPECT_FALSE(mountedAfterRestart());
  ASSERT_TRUE(state_->mount(id).ok());
  EXPECT_TRUE(Drive()["config"]["autoMount"].asBool());
  // The service's own stop is no choice of the user's.
  state_->unmountAll(0);
  EXPECT_TRUE(mountedAfterRestart());
}

// A drive with changes not yet sent is removed only when the caller says
// so, mounted or not; what the removal threw away is counted and logged.
TEST_F(MountedStateTest, RemovalCountsTheUnsentChangesAndKeepsTheDriveWhenAsked) {
  test::LogCapture log;
  const std::string id = AddDrive("r1");
  // The unmount's wait sends nothing: the server refuses the upload.
  state_->setUnmountFlushMs(100);
  server_->addFault({test::MemOp::kOpenWrite, "/unsent.txt", 1, 0, test::FaultRule::Kind::kFail,
                     Status(Status::kAccessDenied, "refused")});
  ASSERT_TRUE(state_->mount(id).ok());
  const int held = WriteOnDrive("unsent.txt", "never sent");
  ASSERT_GE(held, 0);
  ASSERT_EQ(::close(held), 0);
  for (const bool mounted : {true, false}) {
    SCOPED_TRACE(mounted ? "mounted" : "not mounted");
    if (!mounted) {
      uint32_t left = 0;
      ASSERT_TRUE(state_->unmount(id, &left).ok());
      EXPECT_EQ(left, 1u);
    }
    UnsentChanges unsent;
    const Status kept = state_->removeMount(id, true, true, &unsent);
    EXPECT_EQ(kept.code, Status::kConflict);
    EXPECT_EQ(kept.message, "the drive has changes not yet sent: changes of 1 file (10 B)");
    EXPECT_EQ(unsent.files, 1u);
    EXPECT_EQ(unsent.bytes, 10u);
    EXPECT_EQ(Drive()["mounted"].asBool(), mounted);
  }
  UnsentChanges unsent;
  ASSERT_TRUE(state_->removeMount(id, true, false, &unsent).ok());
  EXPECT_EQ(unsent.files, 1u);
  EXPECT_EQ(state_->status()["mounts"].size(), 0u);
  EXPECT_EQ(log.countLines("Docs: removed with its changes not yet sent, which are lost: changes of 1 file (10 B)"), 1);
  EXPECT_EQ(log.countLines("they go on at the next mount"), 0);
  EXPECT_EQ(log.countLines("Docs: 1 change not sent yet, to be sent at the next mount"), 1);
}

// While a drive is in error its status gives the latest reason, however it
// came, until a request of that kind works again.
TEST_F(MountedStateTest, ADriveInErrorShowsItsLatestReason) {
  const std::string id = Add(R"({"id":"e1","drive":"P","endpoint":{"protocol":"memory","host":"mem"},)"
                             R"("net":{"retries":1,"retryMinMs":1,"retryMaxMs":1}})");
  ASSERT_TRUE(state_->mount(id).ok());
  ASSERT_TRUE(state_->unmount(id).ok());
  server_->setDown(true);
  ASSERT_TRUE(state_->mount(id).ok());
  EXPECT_EQ(Drive()["lastError"].asString(), "network: connect: server down");
  std::error_code ec;
  (void)fs::directory_iterator(MountPoint() + "/folder", ec);
  EXPECT_TRUE(ec);
  EXPECT_EQ(Drive()["lastError"].asString(), "network: stat: connect: server down");
  server_->setDown(false);
  server_->makeDir("/folder");
  EXPECT_TRUE(test::Eventually([&] {
    std::error_code again;
    (void)fs::directory_iterator(MountPoint() + "/folder", again);
    return !again;
  }));
  EXPECT_EQ(Drive()["lastError"].asString(), "");
  ASSERT_TRUE(state_->unmount(id).ok());
}

}  // namespace
}  // namespace tarn
