#include "platform/relaunch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "foundation/file_util.h"
#include "testing/temp_dir.h"

namespace tarn {
namespace {

TEST(ExeWriteTime, SizeAndModificationTimeAsAFileTimeCount) {
  test::TempDir dir;
  const std::string file = dir.file("tarn");
  ASSERT_TRUE(vx::WriteFileAtomic(file, std::string("12345")));
  // 2021-01-01 00:00:00.1234567 UTC, of which the stamp keeps 100 ns units.
  const timespec times[2] = {{1609459200, 123456789}, {1609459200, 123456789}};
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  EXPECT_EQ(ExeWriteTime(file), "5/132539328001234567");

  // A replaced file of the same size differs by its time.
  const std::string replacement = dir.file("new");
  ASSERT_TRUE(vx::WriteFileAtomic(replacement, std::string("54321")));
  ASSERT_EQ(::rename(replacement.c_str(), file.c_str()), 0);
  EXPECT_NE(ExeWriteTime(file), "5/132539328001234567");
  EXPECT_EQ(ExeWriteTime(file).substr(0, 2), "5/");

  EXPECT_EQ(ExeWriteTime(dir.file("missing")), "");
  EXPECT_EQ(ExeWriteTime(""), "");
}

TEST(WaitForProcessExit, WaitsForAnEndAndNotForWhatIsGone) {
  int gate[2];
  ASSERT_EQ(::pipe(gate), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(gate[1]);
    char c;
    // Ends when the parent closes its end.
    [[maybe_unused]] ssize_t n = ::read(gate[0], &c, 1);
    ::_exit(0);
  }
  ::close(gate[0]);
  EXPECT_FALSE(WaitForProcessExit(child, 0)) << "the child still runs";
  ::close(gate[1]);
  EXPECT_TRUE(WaitForProcessExit(child, 600000));
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);
  // Reaped: no such process any more.
  EXPECT_TRUE(WaitForProcessExit(child, 600000));
  EXPECT_TRUE(WaitForProcessExit(0, 600000));
}

class RelaunchElevatedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* path = std::getenv("PATH");
    path_ = path != nullptr ? path : "";
  }
  void TearDown() override { ::setenv("PATH", path_.c_str(), 1); }

  test::TempDir bin_;
  std::string path_;
};

TEST_F(RelaunchElevatedTest, RunsThisExecutableThroughPkexec) {
  const std::string record = bin_.file("args");
  const std::string script = bin_.file("pkexec");
  ASSERT_TRUE(vx::WriteFileAtomic(script, "#!/bin/sh\nprintf '%s\\n' \"$@\" > " + record + "\n"));
  ASSERT_EQ(::chmod(script.c_str(), 0755), 0);
  ::setenv("PATH", bin_.path().c_str(), 1);

  ASSERT_TRUE(RelaunchElevated({"install"}));
  std::string args;
  ASSERT_TRUE(vx::ReadWholeFile(record, args));
  EXPECT_EQ(args, vx::ModulePath() + "\ninstall\n");
}

TEST_F(RelaunchElevatedTest, WithoutPkexecTheCallerIsTold) {
  ::setenv("PATH", bin_.path().c_str(), 1);
  EXPECT_FALSE(RelaunchElevated({"start"}));
}

TEST(ElevatedCommand, QuotesWhatTheShellWouldSplit) {
  EXPECT_EQ(ElevatedCommand({"start"}), "sudo " + vx::ModulePath() + " start");
  EXPECT_EQ(ElevatedCommand({"a b", "it's"}).substr(("sudo " + vx::ModulePath()).size()), " 'a b' 'it'\\''s'");
}

}  // namespace
}  // namespace tarn
