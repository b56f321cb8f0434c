// The tray role of the executable: its arguments, one tray per user (a
// later start reaches the running one, "--quit" ends it), and the console
// roles, which never need a desktop. The trays run as child processes
// drawing offscreen, against the service on a thread of this process.
#include "cli/tray_role.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QLockFile>

#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/console_commands.h"
#include "cli/console_runner.h"
#include "cli/usage.h"
#include "foundation/file_util.h"
#include "testing/eventually.h"
#include "testing/temp_dir.h"
#include "testing/wait_for_file.h"
#include "ui/single_instance.h"

namespace tarn::app {
namespace {

constexpr int kStartWaitMs = 120000;

TEST(TrayRole, ArgumentsOfTheTray) {
  struct Case {
    std::vector<std::string> args;
    bool tray;
    bool show;
    bool quit;
    bool updated;
    std::string tab;
    pid_t relaunchOf;
  };
  const Case cases[] = {
      {{}, true, false, false, false, "", 0},
      {{"--show"}, true, true, false, false, "", 0},
      {{"--quit"}, true, false, true, false, "", 0},
      {{"--show", "--tab=backup"}, true, true, false, false, "backup", 0},
      // A page name as the only argument selects nothing.
      {{"--tab=backup"}, true, false, false, false, "", 0},
      {{"--relaunch", "4242"}, true, false, false, true, "", 4242},
      {{"--relaunch"}, true, false, false, true, "", 0},
      {{"--relaunch", "42x"}, true, false, false, true, "", 0},
      {{"--relaunch", "-3"}, true, false, false, true, "", 0},
      {{"status"}, false, false, false, false, "", 0},
      {{"--help"}, false, false, false, false, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
    EXPECT_EQ(IsTrayRole(c.args), c.tray);
    if (!c.tray) continue;
    const TrayArgs t = ParseTrayArgs(c.args);
    EXPECT_EQ(t.show, c.show);
    EXPECT_EQ(t.quit, c.quit);
    EXPECT_EQ(t.updated, c.updated);
    EXPECT_EQ(t.tab, c.tab);
    EXPECT_EQ(t.relaunchOf, c.relaunchOf);
  }
}

class TrayProcessTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { machine_ = new ConsoleMachine("tarn-tray", TARN_EXE); }
  static void TearDownTestSuite() {
    delete machine_;
    machine_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(vx::MakeDirs(user_.file("run")));
    ASSERT_EQ(::chmod(user_.file("run").c_str(), 0700), 0);
  }

  void TearDown() override {
    if (first_ > 0) {
      ::kill(first_, SIGKILL);
      ::waitpid(first_, nullptr, 0);
    }
  }

  std::vector<std::pair<std::string, std::string>> Env() const {
    return {{"QT_QPA_PLATFORM", "offscreen"},
            {"XDG_RUNTIME_DIR", user_.file("run")},
            {"XDG_STATE_HOME", user_.file("state")}};
  }

  RunResult Tarn(const std::vector<std::string>& args, const std::string& root = machine_->root()) {
    return RunConsole(machine_->exe(), args, root, Env());
  }

  // The tray's folder of the service on `root`.
  std::string TrayFolder(const std::string& root) const {
    return user_.file("run/" + InstanceNameFor(root).toStdString());
  }

  // Starts the first tray for the service on `root` and returns once it
  // listens for later starts.
  void StartFirst(const std::string& root = machine_->root()) {
    // The folder the tray makes its socket in, there to be watched.
    ASSERT_TRUE(vx::MakeDirs(TrayFolder(root)));
    ASSERT_EQ(::chmod(TrayFolder(root).c_str(), 0700), 0);
    first_ = ::fork();
    ASSERT_GE(first_, 0);
    if (first_ == 0) {
      ::setsid();
      ::setenv("TARN_ROOT", root.c_str(), 1);
      for (const auto& [name, value] : Env()) ::setenv(name.c_str(), value.c_str(), 1);
      ::execl(machine_->exe().c_str(), machine_->exe().c_str(), static_cast<char*>(nullptr));
      ::_exit(98);
    }
    ASSERT_TRUE(test::WaitForFile(TrayFolder(root) + "/tray.socket", kStartWaitMs))
        << "the first tray did not start listening";
  }

  // True while the first tray's process runs (a zombie has ended).
  bool FirstRuns() const {
    // Read as a stream: /proc files show no size.
    std::ifstream file("/proc/" + std::to_string(first_) + "/stat");
    std::string stat;
    if (!std::getline(file, stat)) return false;
    const size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
  }

  // A tray that never ends fails the test with its log rather than hanging
  // it; TearDown kills it.
  int WaitFirst() {
    int status = 0;
    const bool ended = test::Eventually([&] { return ::waitpid(first_, &status, WNOHANG) == first_; });
    EXPECT_TRUE(ended) << "the first tray still runs; its log:\n" << TrayLog();
    if (!ended) return -1;
    first_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string TrayLog() const {
    std::string text;
    vx::ReadWholeFile(user_.file("state/tarn/tray.log"), text);
    return text;
  }

  static ConsoleMachine* machine_;
  test::TempDir user_{"tarn-user", 0700};
  pid_t first_ = -1;
};

ConsoleMachine* TrayProcessTest::machine_ = nullptr;

TEST_F(TrayProcessTest, ALaterStartReachesTheRunningTrayAndQuitEndsIt) {
  StartFirst();
  RunResult r = Tarn({"--show", "--tab=backup"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("the running Tarn shows its window"), std::string::npos) << r.output;
  EXPECT_NE(TrayLog().find("tray: a later start asks to show"), std::string::npos) << TrayLog();

  r = Tarn({"--quit"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("the running Tarn has ended"), std::string::npos) << r.output;
  EXPECT_EQ(WaitFirst(), 0) << "the first tray ended by itself, without a leak";
  EXPECT_NE(TrayLog().find("tray: a later start asks to quit"), std::string::npos) << TrayLog();

  // With no tray left, a quit has nothing to wait for.
  r = Tarn({"--quit"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("Tarn does not run for this user"), std::string::npos) << r.output;
}

// A tray follows the service of its machine root: a start for another root
// neither reaches it nor ends it.
TEST_F(TrayProcessTest, TraysOfAnotherMachineRootAreOthers) {
  StartFirst();
  test::TempDir other("tarn-other-root", 0755);
  RunResult r = Tarn({"--quit"}, other.path());
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("Tarn does not run for this user"), std::string::npos) << r.output;
  EXPECT_TRUE(FirstRuns()) << "the tray of the first root was ended";
  EXPECT_EQ(TrayLog().find("tray: a later start asks to quit"), std::string::npos) << TrayLog();
  r = Tarn({"--quit"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(WaitFirst(), 0);
}

// A tray that holds the lock but does not answer: the later start says so
// and fails, rather than ending as if it had been shown.
TEST_F(TrayProcessTest, ALaterStartSaysWhenTheRunningTrayDoesNotAnswer) {
  ASSERT_TRUE(vx::MakeDirs(TrayFolder(machine_->root())));
  ASSERT_EQ(::chmod(TrayFolder(machine_->root()).c_str(), 0700), 0);
  QLockFile held(QString::fromStdString(TrayFolder(machine_->root()) + "/tray.lock"));
  ASSERT_TRUE(held.tryLock(0));
  const RunResult r = Tarn({"--show"});
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("Tarn runs for this user but did not answer"), std::string::npos) << r.output;
}

// A tray that takes "quit" but does not end (here: this test holds its lock
// and answers for it): the later start says so and fails, rather than
// telling that it has ended.
TEST_F(TrayProcessTest, AQuitThatDoesNotEndTheTrayIsToldAsSuch) {
  const std::string folder = TrayFolder(machine_->root());
  ASSERT_TRUE(vx::MakeDirs(folder));
  ASSERT_EQ(::chmod(folder.c_str(), 0700), 0);
  QLockFile held(QString::fromStdString(folder + "/tray.lock"));
  ASSERT_TRUE(held.tryLock(0));
  vx::UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  ASSERT_TRUE(listener.valid());
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = folder + "/tray.socket";
  ASSERT_LT(path.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, path.c_str(), path.size());
  ASSERT_EQ(::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener.get(), 1), 0);
  std::string asked;
  std::thread answer([&] {
    vx::UniqueFd client(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    char c = 0;
    while (client.valid() && ::read(client.get(), &c, 1) == 1 && c != '\n') asked += c;
    if (client.valid()) (void)!::write(client.get(), "ok\n", 3);
  });
  const RunResult r = Tarn({"--quit"});
  // An accept still waiting (the start never came) ends.
  ::shutdown(listener.get(), SHUT_RDWR);
  answer.join();
  EXPECT_EQ(asked, "quit");
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("the running Tarn was asked to end but still runs"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("has ended"), std::string::npos) << r.output;
}

// A tray whose service does not run waits on its start-up question, and
// answers later starts meanwhile: they are not left without an answer.
TEST_F(TrayProcessTest, ATrayAnswersLaterStartsWhileItsStartUpQuestionWaits) {
  test::TempDir noService("tarn-no-service", 0755);
  StartFirst(noService.path());
  RunResult r = Tarn({"--show"}, noService.path());
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("the running Tarn shows its window"), std::string::npos) << r.output;
  r = Tarn({"--quit"}, noService.path());
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(WaitFirst(), 0) << "the question went unanswered and the tray ended";
}

TEST_F(TrayProcessTest, ConsoleRolesNeedNoDesktopAndTheTrayDoes) {
  // A console command that made an application object would fail to load
  // this platform.
  std::vector<std::pair<std::string, std::string>> env = {{"QT_QPA_PLATFORM", "no-such-platform"}};
  RunResult r = RunConsole(machine_->exe(), {"status"}, machine_->root(), env);
  EXPECT_EQ(r.exitCode, kExitOk) << r.output;
  r = RunConsole(machine_->exe(), {"help"}, machine_->root(), env);
  EXPECT_EQ(r.exitCode, kExitOk) << r.output;

  // Without a display or a platform the tray says why it cannot start.
  r = RunConsole(
      machine_->exe(), {}, machine_->root(),
      {{"XDG_RUNTIME_DIR", user_.file("run")}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}});
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("there is no desktop to show the tray on"), std::string::npos) << r.output;
}

}  // namespace
}  // namespace tarn::app
