#include "service/service_body.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "foundation/file_util.h"
#include "mount/open_file_shares.h"
#include "testing/eventually.h"
#include "testing/files_as_user.h"
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

// Asks as another user, with these groups, from a child process.
Value AskAs(uint32_t uid, const std::vector<gid_t>& groups, const std::string& socketPath,
            const std::string& request) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return Value();
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(out[0]);
    if (::setgroups(groups.size(), groups.data()) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0) ::_exit(2);
    const std::string reply = Ask(socketPath, request).dump();
    ::_exit(vx::WriteAll(out[1], reply.data(), reply.size()) ? 0 : 1);
  }
  ::close(out[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  ::close(out[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  Value reply;
  vx::json::Parse(text, reply);
  return reply;
}

// Notes what the service has done by the time each of its calls comes.
class RecordingBackups : public IBackupService {
 public:
  RecordingBackups(ServiceState& state, std::string socketPath, std::string mountPoint,
                   std::vector<std::string>& events, test::Gate& started)
      : state_(state),
        socketPath_(std::move(socketPath)),
        mountPoint_(std::move(mountPoint)),
        events_(events),
        started_(started) {}

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
    events_.push_back(std::string("stopAll: socket ") + (Answers(socketPath_) ? "up" : "down") + ", drive " +
                      (IsMountPoint(mountPoint_) ? "mounted" : "gone"));
  }
  bool anyRunning() override { return false; }
  Value handle(const Value& request, const IpcCaller* caller) override {
    Value reply = OkReply();
    reply.set("op", request["op"]);
    reply.set("caller", caller != nullptr ? caller->sid : "none");
    reply.set("privileged", caller != nullptr && caller->privileged);
    return reply;
  }

 private:
  ServiceState& state_;
  const std::string socketPath_;
  const std::string mountPoint_;
  std::vector<std::string>& events_;
  test::Gate& started_;
};

class ServiceBodyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The drives' mount points and caches lie below this process's machine.
    ::setenv("TARN_ROOT", dir_.path().c_str(), 1);
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
      return std::make_unique<RecordingBackups>(state, options_.socketPath, mountPoint_, events_, started_);
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
  // Both files of the log, the older first.
  std::string WholeLog() {
    std::string older;
    vx::ReadWholeFile(dir_.file("log/service.log.1"), older);
    return older + Log();
  }
  // One drive Q on the in-memory server, its uploads after `writebackMs`.
  std::shared_ptr<test::MemoryServer> MemoryDrive(uint32_t writebackMs) {
    EXPECT_TRUE(vx::WriteFileAtomic(options_.configPath, R"({"cacheRoot":")" + dir_.file("cache") +
                                                             R"(","mounts":[{"id":"d1","name":"Docs","drive":"Q",)"
                                                             R"("endpoint":{"protocol":"memory","host":"mem"},)"
                                                             R"("cache":{"writebackDelayMs":)" +
                                                             std::to_string(writebackMs) + "}}]}"));
    auto server = std::make_shared<test::MemoryServer>();
    options_.backendsFor = [server](const MountConfig&) { return server->factory(); };
    return server;
  }

  test::TempDir dir_{"tarn-body", 0755};
  const std::string mountPoint_ = dir_.file("mnt/tarn/Q");
  ServiceOptions options_;
  std::vector<std::string> events_;
  test::Gate started_;
  StopEvent stop_;
  std::thread body_;
  int code_ = -1;
};

TEST_F(ServiceBodyTest, StartsAndStopsInOrder) {
  // The drive's uploads wait an hour: only the stop's flush sends them.
  ASSERT_TRUE(vx::WriteFileAtomic(options_.configPath, R"({"cacheRoot":")" + dir_.file("cache") +
                                                           R"(","mounts":[{"id":"d1","name":"Docs","drive":"Q",)"
                                                           R"("endpoint":{"protocol":"memory","host":"mem"},)"
                                                           R"("cache":{"writebackDelayMs":3600000}}]})"));
  auto server = std::make_shared<test::MemoryServer>();
  options_.backendsFor = [server](const MountConfig&) { return server->factory(); };
  Start();
  EXPECT_EQ(Ask(options_.socketPath, R"({"op":"backupList"})")["caller"].asString(), "S-1-22-1-0");
  const Value status = Ask(options_.socketPath, R"({"op":"status"})");
  ASSERT_EQ(status["mounts"].size(), 1u);
  EXPECT_TRUE(status["mounts"].at(0)["mounted"].asBool());
  {
    vx::UniqueFd fd(::open((mountPoint_ + "/late.txt").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
    ASSERT_TRUE(fd.valid());
    ASSERT_TRUE(vx::WriteAll(fd.get(), "sent at stop", 12));
  }

  EXPECT_EQ(Stop(), 0);
  EXPECT_EQ(events_, (std::vector<std::string>{"loadJobs: drives loaded", "startScheduler: socket up",
                                               "stopAll: socket down, drive mounted"}));
  EXPECT_FALSE(Answers(options_.socketPath));
  EXPECT_FALSE(IsMountPoint(mountPoint_));
  std::string content;
  EXPECT_TRUE(server->readFile("/late.txt", &content));
  EXPECT_EQ(content, "sent at stop");
  const std::string log = Log();
  const size_t positions[] = {log.find("Tarn service 0.3.1 ("),       log.find("backups: jobs.json is damaged"),
                              log.find("d1: mounted at " + mountPoint_), log.find("] running"),
                              log.find("stopping: flushing uploads"), log.find("d1: unmounted from " + mountPoint_),
                              log.find("] stopped")};
  for (size_t i = 0; i < std::size(positions); ++i) ASSERT_NE(positions[i], std::string::npos) << i << "\n" << log;
  EXPECT_TRUE(std::is_sorted(std::begin(positions), std::end(positions))) << log;
}

TEST_F(ServiceBodyTest, AdministratorsGroupManagesDrivesAndBackupsWithoutRoot) {
  const std::optional<uint32_t> sudo = GroupIdOf(kDefaultAdminGroup);
  ASSERT_TRUE(sudo.has_value()) << "the test needs the group " << kDefaultAdminGroup;
  Start();
  const std::string addDrive =
      R"({"op":"setMount","mount":{"id":"d9","drive":"R","endpoint":{"protocol":"memory","host":"mem"}}})";
  struct Case {
    const char* who;
    std::vector<gid_t> groups;
    bool managesDrives;
  };
  const Case cases[] = {
      {"member", {static_cast<gid_t>(*sudo)}, true},
      {"not a member", {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.who);
    const Value added = AskAs(kNobody, c.groups, options_.socketPath, addDrive);
    EXPECT_EQ(added["ok"].asBool(), c.managesDrives) << added.dump();
    EXPECT_EQ(added["code"].asString() == "admin", !c.managesDrives) << added.dump();
    const Value backups = AskAs(kNobody, c.groups, options_.socketPath, R"({"op":"backupList"})");
    EXPECT_EQ(backups["privileged"].asBool(), c.managesDrives) << backups.dump();
    EXPECT_EQ(backups["caller"].asString(), "S-1-22-1-65534");
    // The status is everyone's; the service's own settings are root's.
    EXPECT_TRUE(AskAs(kNobody, c.groups, options_.socketPath, R"({"op":"status"})")["ok"].asBool());
    EXPECT_EQ(AskAs(kNobody, c.groups, options_.socketPath, R"({"op":"setAppSettings","adminGroup":""})")["code"]
                  .asString(),
              "admin");
  }
  EXPECT_NE(Log().find("ipc: setMount refused to nobody (uid 65534)"), std::string::npos) << Log();

  // Without a group, root alone manages drives.
  EXPECT_TRUE(Ask(options_.socketPath, R"({"op":"setAppSettings","adminGroup":""})")["ok"].asBool());
  EXPECT_EQ(AskAs(kNobody, {static_cast<gid_t>(*sudo)}, options_.socketPath, addDrive)["code"].asString(), "admin");
  EXPECT_EQ(Ask(options_.socketPath, R"({"op":"setAppSettings","adminGroup":"no-such-group-here"})")["error"]
                .asString(),
            "adminGroup: no such group: no-such-group-here");
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

TEST_F(ServiceBodyTest, FirstStartWithoutAConfigurationIsNoProblem) {
  Start();
  EXPECT_TRUE(Ask(options_.socketPath, R"({"op":"status"})")["ok"].asBool());
  EXPECT_EQ(Stop(), 0);
  const std::string log = Log();
  EXPECT_NE(log.find("[INFO ] config: no configuration yet; the first drive or setting writes " + options_.configPath),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("[WARN ] config:"), std::string::npos) << log;
}

// A second start finds the socket answering and ends at once: the caches the
// running service is deleting are its own to delete.
TEST_F(ServiceBodyTest, ASecondStartLeavesTheRunningServicesWorkAlone) {
  const std::string aside = dir_.file("cache/.removed-of-the-first");
  ASSERT_TRUE(vx::MakeDirs(aside + "/data"));
  ASSERT_TRUE(vx::WriteFileAtomic(aside + "/data/0.bin", std::string("being deleted")));
  ASSERT_TRUE(vx::WriteFileAtomic(options_.configPath, R"({"cacheRoot":")" + dir_.file("cache") + R"("})"));
  ASSERT_TRUE(vx::MakeDirs(dir_.file("run")));
  vx::UniqueFd first(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  ASSERT_TRUE(first.valid());
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(options_.socketPath.size(), sizeof addr.sun_path);
  std::copy(options_.socketPath.begin(), options_.socketPath.end(), addr.sun_path);
  ASSERT_EQ(::bind(first.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(first.get(), 4), 0);

  EXPECT_EQ(ServiceBody(options_, stop_), kExitAlreadyRunning);
  EXPECT_TRUE(vx::FileExists(aside + "/data/0.bin")) << Log();
  // Its log is the running service's: not a line of the refused start.
  EXPECT_FALSE(vx::FileExists(dir_.file("log/service.log"))) << Log();
}

TEST_F(ServiceBodyTest, SocketThatCannotOpenEndsTheServiceWithAnError) {
  ASSERT_TRUE(vx::MakeDirs(dir_.file("run")));
  ASSERT_EQ(::chown(dir_.file("run").c_str(), kNobody, kNobody), 0);
  EXPECT_EQ(ServiceBody(options_, stop_), kExitIpcFailed);
  EXPECT_NE(Log().find("ipc: " + dir_.file("run") + " belongs to another user"), std::string::npos) << Log();
}

// What plain users hold open on the drives costs the service descriptors:
// past a user's share their own opens fail, while another user's, root's
// reads and the status go on, and the log names the user once.
TEST_F(ServiceBodyTest, AUserPastTheirShareOfOpenFilesLeavesOthersAndTheStatusWorking) {
  constexpr uint64_t kDescriptors = 64;
  constexpr uint32_t kRefusedOpens = 4;
  const uint64_t share = OpenFileSharesFor(kDescriptors).perUser;
  options_.openFileLimit = kDescriptors;
  std::shared_ptr<test::MemoryServer> server = MemoryDrive(3600000);
  server->putFile("/kept.txt", "root reads this");
  Start();
  std::vector<std::string> paths;
  for (uint64_t i = 0; i < share + kRefusedOpens; ++i) paths.push_back(mountPoint_ + "/held-" + std::to_string(i));
  test::FilesAsUser hog(kNobody, paths, true);
  const test::FilesAsUser::Report held = hog.report();
  EXPECT_EQ(held.opened, share);
  EXPECT_EQ(held.failed, kRefusedOpens);
  EXPECT_EQ(held.firstErrno, EMFILE);

  test::FilesAsUser other(kNobody - 1, {mountPoint_ + "/other"}, true);
  EXPECT_EQ(other.report().opened, 1u);
  std::string kept;
  EXPECT_TRUE(vx::ReadWholeFile(mountPoint_ + "/kept.txt", kept));
  EXPECT_EQ(kept, "root reads this");
  EXPECT_TRUE(vx::WriteFileAtomic(mountPoint_ + "/roots.txt", std::string("root writes this")));
  const Value status = Ask(options_.socketPath, R"({"op":"status"})");
  EXPECT_TRUE(status["ok"].asBool()) << status.dump();

  const std::string line = "mount: nobody (uid 65534) holds " + std::to_string(share) + " open files on the drives";
  const std::string log = Log();
  size_t lines = 0;
  for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++lines;
  EXPECT_EQ(lines, 1u) << log;
}

// Every upload makes a line that names its file, and any user may upload
// at will: a flood of long-named files leaves the start and the refusals
// of requests in the log.
TEST_F(ServiceBodyTest, AFloodOfUploadsLeavesTheStartAndTheRefusalsInTheLog) {
  constexpr uint64_t kRotateBytes = 32 << 10;
  constexpr int kFiles = 200;
  options_.logRotateBytes = kRotateBytes;
  std::shared_ptr<test::MemoryServer> server = MemoryDrive(0);
  Start();
  EXPECT_EQ(AskAs(kNobody, {}, options_.socketPath, R"({"op":"removeMount","id":"d1"})")["code"].asString(), "admin");
  // Each file's path is about 1 KiB long.
  std::string folder;
  for (char part : {'a', 'b', 'c', 'd'}) {
    folder += "/" + std::string(250, part);
    ASSERT_EQ(::mkdir((mountPoint_ + folder).c_str(), 0755), 0) << std::strerror(errno);
  }
  std::vector<std::string> paths;
  for (int i = 0; i < kFiles; ++i) paths.push_back(mountPoint_ + folder + "/file-" + std::to_string(i));
  test::FilesAsUser writer(kNobody, paths, false);
  EXPECT_EQ(writer.report().opened, static_cast<uint32_t>(kFiles));
  ASSERT_TRUE(test::Eventually([&] {
    const Value status = Ask(options_.socketPath, R"({"op":"status"})");
    return server->exists(folder + "/file-" + std::to_string(kFiles - 1)) &&
           status["mounts"].at(0)["pendingUploads"].asInt(-1) == 0;
  }));

  const std::string log = WholeLog();
  EXPECT_NE(log.find("Tarn service 0.3.1 ("), std::string::npos) << log;
  EXPECT_NE(log.find("ipc: removeMount refused to nobody (uid 65534)"), std::string::npos) << log;
  EXPECT_NE(log.find("d1: uploaded " + folder + "/file-"), std::string::npos) << log;
}

// A plain user names files as they like, and every upload logs its name:
// neither a line separator nor a bidi control in a name makes a line of its
// own or turns the text after it, in the file or in what getLog gives the
// Log page.
TEST_F(ServiceBodyTest, FileNamesCannotForgeOrTurnLinesOfTheLog) {
  std::shared_ptr<test::MemoryServer> server = MemoryDrive(0);
  Start();
  struct Case {
    std::string name, logged;
  } cases[] = {
      {"a\u2028" "2024-01-01 00:00:00.000 [ERROR] ipc: setAppSettings by root: adminGroup changed to users",
       "a\\xe2\\x80\\xa8" "2024-01-01 00:00:00.000 [ERROR] ipc: setAppSettings by root: adminGroup changed to users"},
      {"b\u2029[WARN ] c", "b\\xe2\\x80\\xa9[WARN ] c"},
      {"invoice\u202etxt.exe", "invoice\\xe2\\x80\\xaetxt.exe"},
      {"\u2067x\u2069\u202a", "\\xe2\\x81\\xa7x\\xe2\\x81\\xa9\\xe2\\x80\\xaa"},
  };
  std::vector<std::string> paths;
  for (const Case& c : cases) paths.push_back(mountPoint_ + "/" + c.name);
  test::FilesAsUser writer(kNobody, paths, false);
  ASSERT_EQ(writer.report().opened, std::size(cases));
  auto logsEveryName = [&](const std::string& log) {
    return std::all_of(std::begin(cases), std::end(cases), [&](const Case& c) {
      return log.find("] d1: uploaded /" + c.logged + " (1 B)\r\n") != std::string::npos;
    });
  };
  ASSERT_TRUE(test::Eventually([&] { return logsEveryName(Log()); })) << Log();

  const std::string shown = AskAs(kNobody, {}, options_.socketPath, R"({"op":"getLog","lines":1000})")["text"].asString();
  for (const std::string& log : {Log(), shown}) {
    EXPECT_TRUE(logsEveryName(log)) << log;
    for (const char* moving : {"\u2028", "\u2029", "\u202a", "\u202e", "\u2067", "\u2069"})
      EXPECT_EQ(log.find(moving), std::string::npos) << log;
  }
  EXPECT_TRUE(server->exists("/" + cases[0].name));
}

// Left open to everyone by an older start or by hand, what is the
// service's own is mended at the next start, and the log says what was.
TEST_F(ServiceBodyTest, WhatIsTheServicesOwnIsMendedAtStart) {
  const std::string keys = dir_.file("keys");
  options_.ownFolders = {keys};
  options_.ownFiles = {keys + "/machine.key"};
  ASSERT_TRUE(vx::MakeDirs(options_.logDir) && vx::MakeDirs(keys));
  ASSERT_TRUE(vx::WriteFileAtomic(options_.logDir + "/service.log", std::string("an older start\r\n")));
  ASSERT_TRUE(vx::WriteFileAtomic(options_.configPath, std::string("{}")));
  ASSERT_TRUE(vx::WriteFileAtomic(keys + "/machine.key", std::string(32, 'k')));
  const struct {
    std::string path;
    mode_t before, after;
  } cases[] = {
      {options_.logDir, 0777, 0700},       {options_.logDir + "/service.log", 0644, 0600},
      {options_.configPath, 0666, 0600},   {keys, 0755, 0700},
      {keys + "/machine.key", 0644, 0600},
  };
  for (const auto& c : cases) ASSERT_EQ(::chmod(c.path.c_str(), c.before), 0) << c.path;
  Start();
  EXPECT_EQ(Stop(), 0);
  const std::string log = Log();
  for (const auto& c : cases) {
    struct stat st {};
    ASSERT_EQ(::lstat(c.path.c_str(), &st), 0) << c.path;
    EXPECT_EQ(st.st_mode & 07777, c.after) << c.path;
    EXPECT_NE(log.find("[WARN ] files: " + c.path + " was open to other users; now it is the service's alone"),
              std::string::npos)
        << c.path << "\n" << log;
  }
}

// What another user could have made or changed refuses the start, and is
// left as it is: the service neither reads it nor writes through it.
TEST_F(ServiceBodyTest, WhatAnotherUserCouldHaveChangedRefusesTheStart) {
  const std::string elsewhere = dir_.file("elsewhere");
  // A service that starts anyway ends at once, rather than waiting.
  stop_.signal();
  struct Case {
    const char* what;
    std::function<void()> plant;
    std::vector<std::string> ownFolders;
  };
  const Case cases[] = {
      {"a configuration of another user",
       [&] {
         ASSERT_TRUE(vx::WriteFileAtomic(options_.configPath, std::string(R"({"adminGroup":"users"})")));
         ASSERT_EQ(::chown(options_.configPath.c_str(), kNobody, kNobody), 0);
       },
       {}},
      {"a log that is a link",
       [&] {
         ASSERT_TRUE(vx::MakeDirs(options_.logDir));
         ASSERT_EQ(::symlink(elsewhere.c_str(), (options_.logDir + "/service.log").c_str()), 0);
       },
       {}},
      {"a rotated log of another user",
       [&] {
         ASSERT_TRUE(vx::MakeDirs(options_.logDir));
         ASSERT_TRUE(vx::WriteFileAtomic(options_.logDir + "/service.log.1", std::string("theirs")));
         ASSERT_EQ(::chown((options_.logDir + "/service.log.1").c_str(), kNobody, kNobody), 0);
       },
       {}},
      {"a folder of its own below one that anyone may write into",
       [&] {
         ASSERT_TRUE(vx::MakeDirs(dir_.file("public")));
         ASSERT_EQ(::chmod(dir_.file("public").c_str(), 0777), 0);
       },
       {dir_.file("public/keys")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(options_.logDir);
    std::filesystem::remove_all(dir_.file("public"));
    std::filesystem::remove(options_.configPath);
    ASSERT_TRUE(vx::WriteFileAtomic(elsewhere, std::string("not the log")));
    c.plant();
    options_.ownFolders = c.ownFolders;
    EXPECT_EQ(ServiceBody(options_, stop_), kExitUntrusted);
    std::string text;
    EXPECT_TRUE(vx::ReadWholeFile(elsewhere, text));
    EXPECT_EQ(text, "not the log");
    EXPECT_FALSE(std::filesystem::is_regular_file(std::filesystem::symlink_status(options_.logDir + "/service.log")));
    EXPECT_FALSE(std::filesystem::exists(dir_.file("public/keys")));
    EXPECT_FALSE(Answers(options_.socketPath));
  }
}

// A drive's cache is written by root: in a folder that others may change
// the drive is not mounted, and says why.
TEST_F(ServiceBodyTest, ADriveWhoseCacheFolderOthersMayChangeIsNotMounted) {
  const std::string open = dir_.file("open");
  ASSERT_TRUE(vx::MakeDirs(open));
  ASSERT_EQ(::chmod(open.c_str(), 0777), 0);
  ASSERT_TRUE(vx::WriteFileAtomic(options_.configPath, R"({"mounts":[{"id":"d1","name":"Docs","drive":"Q",)"
                                                           R"("endpoint":{"protocol":"memory","host":"mem"},)"
                                                           R"("cache":{"dir":")" + open + R"(/cache"}}]})"));
  auto server = std::make_shared<test::MemoryServer>();
  options_.backendsFor = [server](const MountConfig&) { return server->factory(); };
  Start();
  const Value drive = Ask(options_.socketPath, R"({"op":"status"})")["mounts"].at(0);
  EXPECT_FALSE(drive["mounted"].asBool());
  EXPECT_NE(drive["lastError"].asString().find("cannot use the cache folder " + open + "/cache: " + open +
                                               "/cache lies in " + open + ", which other users may change"),
            std::string::npos)
      << drive.dump();
  EXPECT_FALSE(std::filesystem::exists(open + "/cache"));
}

}  // namespace
}  // namespace tarn
