#include "foundation/log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/file_util.h"

namespace vx::log {
namespace {

namespace fs = std::filesystem;

const std::string kBom = "\xEF\xBB\xBF";
const std::regex kLine(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[(DEBUG|INFO |WARN |ERROR)\] [^\r\n]*\r\n)");

// The log is process-wide state whose threshold only ever goes down, so
// every scenario runs in a child process of its own and this process never
// opens the log.
class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "vx-log-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  // Runs `body` in a child with its stderr sent to dir_/stderr.txt.
  void InChild(const std::function<void()>& body) {
    std::string errPath = dir_ + "/stderr.txt";
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int fd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0 || ::dup2(fd, STDERR_FILENO) < 0) ::_exit(2);
      body();
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
  }

  static std::string Read(const std::string& path) {
    std::string out;
    ReadWholeFile(path, out);
    return out;
  }
  static std::vector<std::string> Lines(std::string text) {
    if (text.starts_with(kBom)) text.erase(0, kBom.size());
    std::vector<std::string> lines;
    size_t start = 0, end;
    while ((end = text.find("\r\n", start)) != std::string::npos) {
      lines.push_back(text.substr(start, end + 2 - start));
      start = end + 2;
    }
    EXPECT_EQ(start, text.size()) << "text after the last line end";
    return lines;
  }
  // The message of a line, without time, label and line end.
  static std::string Message(const std::string& line) { return line.substr(32, line.size() - 34); }

  std::string dir_;
};

TEST_F(LogTest, BeforeOpenLinesGoOnlyToTheConsoleUntilItIsSwitchedOff) {
  InChild([this] {
    setConsole(true);
    write(kInfo, "hello %d %s", 5, "w\xC3\xB6rld");
    setConsole(false);
    open(dir_, "service");
    write(kError, "only in the file");
  });
  std::string err = Read(dir_ + "/stderr.txt");
  ASSERT_TRUE(std::regex_match(err, kLine)) << err;
  EXPECT_EQ(err.substr(23), " [INFO ] hello 5 w\xC3\xB6rld\r\n");
  auto lines = Lines(Read(dir_ + "/service.log"));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(Message(lines[0]), "only in the file");
}

TEST_F(LogTest, LinesCarryTimeLabelAndMessageCutToLength) {
  std::string logDir = dir_ + "/data/logs";
  InChild([&] {
    setenv("MOXEL_DEBUG", "1", 1);
    open(logDir, "service");
    write(kDebug, "d");
    write(kInfo, "i");
    write(kWarn, "disk %s", "full");
    write(kError, "e");
    write(7, "seven");
    write(kInfo, "%s", std::string(3000, 'x').c_str());
    write(kInfo, "%s", std::string(2047, 'y').c_str());
  });
  std::string text = Read(logDir + "/service.log");
  ASSERT_TRUE(text.starts_with(kBom));
  auto lines = Lines(text);
  const std::string expected[] = {"[DEBUG] d", "[INFO ] i", "[WARN ] disk full", "[ERROR] e", "[INFO ] seven",
                                  // messages are cut to kMaxMessage - 1 bytes
                                  "[INFO ] " + std::string(2047, 'x'), "[INFO ] " + std::string(2047, 'y')};
  ASSERT_EQ(lines.size(), std::size(expected));
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_TRUE(std::regex_match(lines[i], kLine)) << lines[i];
    EXPECT_EQ(lines[i].substr(24, lines[i].size() - 26), expected[i]);
  }
}

TEST_F(LogTest, ControlCharactersInMessagesCannotForgeLinesOrReachTheTerminal) {
  InChild([this] {
    open(dir_, "service");
    // A name someone gave a file on a drive.
    write(kWarn, "d1: refusing name %s: bad", "/x\n2024-01-01 00:00:00.000 [INFO ] forged\r\x1b[2J\x9b\xff");
    write(kInfo, "%s", std::string(1000, '\x1b').c_str());
  });
  auto lines = Lines(Read(dir_ + "/service.log"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(Message(lines[0]),
            "d1: refusing name /x\\x0a2024-01-01 00:00:00.000 [INFO ] forged\\x0d\\x1b[2J\\x9b\\xff: bad");
  // An escaped message is cut like any other, and the line still ends.
  EXPECT_TRUE(std::regex_match(lines[1], kLine)) << lines[1];
  EXPECT_EQ(Message(lines[1]).size(), kMaxMessage - 1);
}

// The log names every user's files: whatever the umask, a new log and the
// one rotation begins are the owner's alone, and a link in the log's place
// is never written through.
TEST_F(LogTest, LogFilesAreTheOwnersAloneAndNeverWrittenThroughALink) {
  const std::string target = dir_ + "/target";
  InChild([this] {
    ::umask(0);
    open(dir_, "service", 64);
    for (int i = 0; i < 4; ++i) write(kInfo, "line %d of a log that rotates", i);
  });
  for (const std::string& file : {dir_ + "/service.log", dir_ + "/service.log.1"}) {
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0) << file;
    EXPECT_EQ(st.st_mode & 07777, 0600u) << file;
  }
  ASSERT_TRUE(WriteFileAtomic(target, std::string("not the log")));
  fs::remove(dir_ + "/service.log");
  fs::create_symlink(target, dir_ + "/service.log");
  InChild([this] {
    open(dir_, "service");
    write(kWarn, "through a link");
  });
  EXPECT_EQ(Read(target), "not the log");
}

TEST_F(LogTest, DebugSwitchFollowsItsValueRule) {
  struct Case {
    const char* value;  // nullptr: unset
    bool debug;
  } cases[] = {
      {"1", true},         {"1abc", true},  {"1234567", true}, {"12345678", false}, {"10000000000", false},
      {"0", false},        {"", false},     {" 1", false},     {"true", false},     {nullptr, false},
  };
  int n = 0;
  for (const auto& c : cases) {
    std::string name = "case" + std::to_string(n++);
    InChild([&] {
      if (c.value)
        setenv("MOXEL_DEBUG", c.value, 1);
      else
        unsetenv("MOXEL_DEBUG");
      open(dir_, name);
      write(kDebug, "debug line");
      write(kInfo, "info line");
      write(0xFFFFFFFFu, "negative level");
    });
    auto lines = Lines(Read(dir_ + "/" + name + ".log"));
    ASSERT_EQ(lines.size(), c.debug ? 2u : 1u) << (c.value ? c.value : "(unset)");
    EXPECT_EQ(Message(lines.back()), "info line");
  }
}

TEST_F(LogTest, ThresholdNeverGoesBackUp) {
  InChild([this] {
    setenv("MOXEL_DEBUG", "1", 1);
    open(dir_, "a");
    unsetenv("MOXEL_DEBUG");
    open(dir_, "b");
    write(kDebug, "still debug");
  });
  EXPECT_FALSE(fs::exists(dir_ + "/a.log"));
  EXPECT_EQ(Lines(Read(dir_ + "/b.log")).size(), 1u);
}

TEST_F(LogTest, ByteOrderMarkOnlyStartsANewFile) {
  InChild([this] {
    open(dir_, "service");
    write(kInfo, "one");
    open(dir_, "service");
    write(kInfo, "two");
  });
  std::string text = Read(dir_ + "/service.log");
  EXPECT_TRUE(text.starts_with(kBom));
  EXPECT_EQ(text.find(kBom, 1), std::string::npos);
  EXPECT_EQ(Lines(text).size(), 2u);

  std::ofstream(dir_ + "/setup.log", std::ios::binary) << "earlier\r\n";
  InChild([this] {
    open(dir_, "setup");
    write(kInfo, "later");
  });
  EXPECT_TRUE(Read(dir_ + "/setup.log").starts_with("earlier\r\n2"));
}

TEST_F(LogTest, RotatesOnlyPastFourMebibytes) {
  std::string path = dir_ + "/service.log";
  std::string old = path + ".1";
  auto fill = [](const std::string& p, uint64_t size) {
    std::ofstream(p, std::ios::binary) << std::string(size, 'z');
  };
  fill(path, kRotateBytes);
  InChild([this] {
    open(dir_, "service");
    write(kInfo, "appended");
  });
  EXPECT_FALSE(fs::exists(old));
  EXPECT_GT(fs::file_size(path), kRotateBytes);

  fill(path, kRotateBytes + 1);
  std::ofstream(old, std::ios::binary) << "older generation";
  InChild([this] {
    open(dir_, "service");
    write(kInfo, "after rotation");
  });
  EXPECT_EQ(fs::file_size(old), kRotateBytes + 1);
  std::string fresh = Read(path);
  ASSERT_TRUE(fresh.starts_with(kBom));
  auto lines = Lines(fresh);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(Message(lines[0]), "after rotation");
}

TEST_F(LogTest, LinesOfManyThreadsNeverInterleave) {
  constexpr int kThreads = 8, kLinesEach = 300;
  InChild([this] {
    open(dir_, "service");
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([t] {
        for (int i = 0; i < kLinesEach; ++i) write(kInfo, "thread %d line %d %s", t, i, std::string(100, 'p').c_str());
      });
    for (auto& th : threads) th.join();
  });
  auto lines = Lines(Read(dir_ + "/service.log"));
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLinesEach));
  std::vector<int> next(kThreads, 0);
  for (const auto& line : lines) {
    ASSERT_TRUE(std::regex_match(line, kLine)) << line;
    int t = -1, i = -1;
    ASSERT_EQ(std::sscanf(Message(line).c_str(), "thread %d line %d", &t, &i), 2);
    ASSERT_TRUE(t >= 0 && t < kThreads);
    EXPECT_EQ(i, next[t]++);  // each thread's lines stay in order
  }
}

}  // namespace
}  // namespace vx::log
