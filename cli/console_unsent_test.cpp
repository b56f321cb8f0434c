// What the console says of changes the server does not have yet: data in
// files a program holds open, and changes of drives that are not mounted.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "cli/console_commands_test_world.h"

namespace tarn::app {
namespace {

constexpr auto npos = std::string::npos;

// A program of its own (as a user's editor is) that writes a file of a
// drive and holds it open until told to close it. The kernel sends the
// drive a flush at every close of a descriptor of the file, so the test's
// process, whose children would close copies of it, never opens it.
class HeldOpen {
 public:
  HeldOpen(const std::string& path, const std::string& content) {
    int toChild[2];
    int fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(toChild[1]);
      ::close(fromChild[0]);
      const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
      const char written =
          fd >= 0 && ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size()) ? 'y' : 'n';
      (void)!::write(fromChild[1], &written, 1);
      char c;
      (void)!::read(toChild[0], &c, 1);
      ::_exit(::close(fd) == 0 ? 0 : 1);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    release_ = toChild[1];
    char written = 'n';
    written_ = ::read(fromChild[0], &written, 1) == 1 && written == 'y';
    ::close(fromChild[0]);
  }
  ~HeldOpen() { close(); }
  bool written() const { return written_; }
  void close() {
    if (release_ >= 0) ::close(std::exchange(release_, -1));
    if (pid_ > 0) ::waitpid(std::exchange(pid_, -1), nullptr, 0);
  }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool written_ = false;
};

// A program's writes into a file it holds open reach the server only at
// its close: sync is done in part and says so, and remove counts them and
// asks as for closed files; an unmount closes the file and sends them.
TEST_F(ConsoleCommandsTest, ChangesInOpenFilesAreNotYetOnTheServer) {
  const ServerBack back;
  MountMemoryDrive("W");
  HeldOpen held(OnDrive("W", "held.txt"), "held open");
  ASSERT_TRUE(held.written());

  RunResult r = RunTarn({"sync", "W"});
  EXPECT_EQ(r.exitCode, kExitPartial) << r.output;
  EXPECT_EQ(r.output, "tarn: W: 1 open file holds changes that go up when it is closed\n");
  r = RunTarn({"remove", "W"});
  EXPECT_EQ(r.exitCode, kExitFailed) << r.output;
  EXPECT_NE(r.output.find("W: has changes of 1 file (9 B) not yet sent to its server (1 of them open in a program); "
                          "\"tarn sync W\" sends them once the files are closed, or \"tarn remove W --force\" throws "
                          "them away with the drive"),
            npos)
      << r.output;
  {
    TerminalSession no(*exe_, {"remove", "W"}, machine_->path());
    EXPECT_TRUE(no.waitFor("(1 of them open in a program); remove it and throw them away? [y/N] "));
    no.type("n\r");
    r = no.finish();
    EXPECT_EQ(r.exitCode, kExitFailed) << r.output;
  }
  r = RunTarn({"status"});
  EXPECT_NE(r.output.find("W:"), npos) << r.output;

  r = RunTarn({"unmount", "W"});
  EXPECT_EQ(r.exitCode, kExitOk) << r.output;
  EXPECT_EQ(r.output, "unmounted W:\n");
  std::string content;
  EXPECT_TRUE(Memory()->readFile("/held.txt", &content) && content == "held open") << content;

  // Thrown away only when the user says so.
  ASSERT_EQ(RunTarn({"mount", "W"}).exitCode, kExitOk);
  HeldOpen other(OnDrive("W", "other.txt"), "lost");
  ASSERT_TRUE(other.written());
  r = RunTarn({"remove", "W", "--force"});
  EXPECT_EQ(r.exitCode, kExitOk) << r.output;
  EXPECT_EQ(r.output, "removed the drive W: and its cache, with changes of 1 file (4 B) that were not sent\n");
}

// A drive that is not mounted sends nothing: remove and offline name what
// sends its changes rather than a sync, which needs the drive mounted.
TEST_F(ConsoleCommandsTest, ChangesOfADriveNotMountedWaitForItsMount) {
  const ServerBack back;
  MountMemoryDrive("U", R"(,"cache":{"writebackDelayMs":3600000})");
  ASSERT_TRUE(WriteOnDrive("U", "waits.txt", "waits"));
  ASSERT_EQ(RunTarn({"offline", "U", "on"}).exitCode, kExitOk);
  RunResult r = RunTarn({"unmount", "U"});
  ASSERT_EQ(r.exitCode, kExitOk) << r.output;
  r = RunTarn({"remove", "U"});
  EXPECT_EQ(r.exitCode, kExitFailed) << r.output;
  EXPECT_NE(r.output.find("U: has changes of 1 file (5 B) not yet sent to its server; \"tarn offline U off\" and "
                          "\"tarn mount U\" send them, or \"tarn remove U --force\""),
            npos)
      << r.output;
  r = RunTarn({"offline", "U", "off"});
  EXPECT_EQ(r.exitCode, kExitOk) << r.output;
  EXPECT_EQ(r.output, "U: online: changes are sent once it is mounted (\"tarn mount U\")\n");
  r = RunTarn({"remove", "U"});
  EXPECT_NE(r.output.find("not yet sent to its server; \"tarn mount U\" sends them, or"), npos) << r.output;
  r = RunTarn({"mount", "U"});
  ASSERT_EQ(r.exitCode, kExitOk) << r.output;
  r = RunTarn({"sync", "U"});
  EXPECT_EQ(r.exitCode, kExitOk) << r.output;
  std::string content;
  EXPECT_TRUE(Memory()->readFile("/waits.txt", &content) && content == "waits") << content;
  EXPECT_EQ(RunTarn({"remove", "U"}).exitCode, kExitOk);
}

}  // namespace
}  // namespace tarn::app
