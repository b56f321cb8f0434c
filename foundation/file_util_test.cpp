#include "foundation/file_util.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// Fault injection for the sync and close calls of the code under test: a
// definition here takes precedence over the C library's.
enum class Fault { kNone, kFileSync, kFolderSync, kFileClose };
std::atomic<Fault> g_fault{Fault::kNone};

bool IsFolder(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsTemporary(int fd) {
  char link[64], target[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  ssize_t n = ::readlink(link, target, sizeof target - 1);
  if (n <= 0) return false;
  std::string path(target, static_cast<size_t>(n));
  return path.size() > 4 && path.compare(path.size() - 4, 4, ".tmp") == 0;
}

}  // namespace

extern "C" int fsync(int fd) {
  static auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
  Fault f = g_fault.load();
  if ((f == Fault::kFileSync && !IsFolder(fd)) || (f == Fault::kFolderSync && IsFolder(fd))) {
    errno = EIO;
    return -1;
  }
  return real(fd);
}

extern "C" int close(int fd) {
  static auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "close"));
  if (g_fault.load() == Fault::kFileClose && IsTemporary(fd)) {
    // The descriptor is gone either way; only the report differs.
    real(fd);
    errno = EIO;
    return -1;
  }
  return real(fd);
}

namespace vx {
namespace {

namespace fs = std::filesystem;

class FileUtilTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "vx-file-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override {
    g_fault = Fault::kNone;
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  std::string Path(const std::string& name) const { return root_ + "/" + name; }
  static void Put(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
  }
  static std::string Get(const std::string& path) {
    std::string out;
    EXPECT_TRUE(ReadWholeFile(path, out)) << path;
    return out;
  }
  static void SizeTo(const std::string& path, off_t size) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
  }

  std::string root_;
};

TEST(JoinPath, PutsExactlyOneSeparatorBetween) {
  struct Case {
    const char* dir;
    const char* name;
    const char* joined;
  } cases[] = {
      {"", "name", "name"},   {"dir", "", "dir"},         {"dir", "name", "dir/name"},
      {"dir/", "name", "dir/name"}, {"dir/", "/name", "dir/name"}, {"dir", "/name", "dir/name"},
      {"dir\\", "name", "dir\\name"}, {"dir", "\\name", "dir/name"}, {"/", "etc", "/etc"},
      {"a//", "//b", "a///b"},  // only one separator of each side is looked at
      {"", "", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(JoinPath(c.dir, c.name), c.joined) << c.dir << " + " << c.name;
}

TEST_F(FileUtilTest, MakeDirsCreatesEveryMissingParent) {
  // The whole chain below the temporary folder is missing, even the first
  // level under the root of the path.
  std::string deep = Path("a/b/c/d");
  EXPECT_TRUE(MakeDirs(deep));
  EXPECT_TRUE(fs::is_directory(deep));
  EXPECT_TRUE(MakeDirs(deep));  // existing folder
  EXPECT_TRUE(MakeDirs(Path("x/y/")));
  EXPECT_TRUE(fs::is_directory(Path("x/y")));
  EXPECT_TRUE(MakeDirs("/"));
  EXPECT_FALSE(MakeDirs(""));

  Put(Path("file"), "data");
  EXPECT_FALSE(MakeDirs(Path("file")));
  EXPECT_FALSE(MakeDirs(Path("file/sub")));
  EXPECT_TRUE(FileExists(Path("file")));
  EXPECT_FALSE(FileExists(root_));
  EXPECT_FALSE(FileExists(Path("missing")));
  EXPECT_FALSE(FileExists(""));
}

TEST_F(FileUtilTest, MakeDirsRecursesEvenForSeparatorsNearTheStart) {
  // Short first components put separators at the very start of the path,
  // where drive-letter logic would stop; every level must still be made.
  std::string previous = fs::current_path().string();
  fs::current_path(root_);
  std::vector<bool> made;
  for (const char* relative : {"r/o/t", "rel/one/two", "s"}) made.push_back(MakeDirs(relative));
  fs::current_path(previous);
  EXPECT_EQ(made, std::vector<bool>(3, true));
  for (const char* relative : {"r/o/t", "rel/one/two", "s"}) EXPECT_TRUE(fs::is_directory(Path(relative))) << relative;
}

// Folders other users must reach (the control socket's, the way to the
// drives) get their mode whatever the umask; folders there keep theirs.
TEST_F(FileUtilTest, MakeDirsWithAModeGivesItToEveryFolderItMakes) {
  ASSERT_TRUE(MakeDirs(Path("kept")));
  ASSERT_EQ(::chmod(Path("kept").c_str(), 0711), 0);
  const mode_t before = ::umask(077);
  const bool made = MakeDirs(Path("kept/a/b"), 0755);
  ::umask(before);
  ASSERT_TRUE(made);
  for (const auto& [name, mode] : {std::pair{"kept", 0711}, {"kept/a", 0755}, {"kept/a/b", 0755}}) {
    struct stat st {};
    ASSERT_EQ(::stat(Path(name).c_str(), &st), 0) << name;
    EXPECT_EQ(st.st_mode & 07777, static_cast<mode_t>(mode)) << name;
  }
}

TEST(ModulePath, NamesTheRunningExecutable) {
  std::string path = ModulePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.front(), '/');
  EXPECT_TRUE(FileExists(path));
  EXPECT_EQ(fs::path(path).filename().string(), "tarn_foundation_file_util_test");
  EXPECT_EQ(ModuleDir(), fs::path(path).parent_path().string());
}

TEST_F(FileUtilTest, ReadWholeFileReadsEverythingUpToTheLimit) {
  Put(Path("empty"), "");
  std::string text = "keep";
  EXPECT_TRUE(ReadWholeFile(Path("empty"), text));
  EXPECT_EQ(text, "");

  std::string binary("a\0b\xff", 4);
  Put(Path("bin"), binary);
  std::vector<uint8_t> bytes = {7};
  EXPECT_TRUE(ReadWholeFile(Path("bin"), bytes));
  EXPECT_EQ(bytes, (std::vector<uint8_t>{'a', 0, 'b', 0xff}));

  SizeTo(Path("limit"), static_cast<off_t>(kMaxReadWholeFile));
  EXPECT_TRUE(ReadWholeFile(Path("limit"), bytes));
  EXPECT_EQ(bytes.size(), kMaxReadWholeFile);
  SizeTo(Path("over"), static_cast<off_t>(kMaxReadWholeFile + 1));
  EXPECT_FALSE(ReadWholeFile(Path("over"), bytes));
  EXPECT_TRUE(bytes.empty());
}

TEST_F(FileUtilTest, ReadWholeFileFailuresLeaveTheStringAlone) {
  for (const std::string& path : {Path("missing"), root_, std::string()}) {
    std::string text = "unchanged";
    EXPECT_FALSE(ReadWholeFile(path, text)) << path;
    EXPECT_EQ(text, "unchanged");
    std::vector<uint8_t> bytes = {1, 2};
    EXPECT_FALSE(ReadWholeFile(path, bytes)) << path;
    EXPECT_TRUE(bytes.empty());
  }
}

TEST_F(FileUtilTest, WriteFileAtomicReplacesTheWholeFileAndKeepsItsMode) {
  std::string path = Path("config.json");
  EXPECT_TRUE(WriteFileAtomic(path, std::string("first version, rather long")));
  EXPECT_EQ(Get(path), "first version, rather long");
  ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
  EXPECT_TRUE(WriteFileAtomic(path, std::vector<uint8_t>{'v', '2'}));
  EXPECT_EQ(Get(path), "v2");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_TRUE(WriteFileAtomic(path, nullptr, 0));
  EXPECT_TRUE(FileExists(path));
  EXPECT_EQ(Get(path), "");
  EXPECT_FALSE(fs::exists(path + ".tmp"));
}

// Whatever was there before and whatever the umask, the file is 0600 once
// written, and so is a file closed afterwards; links are not followed.
TEST_F(FileUtilTest, PrivateFilesEndReadableByTheirOwnerAlone) {
  struct Case {
    const char* name;
    mode_t oldMode;       // 0: no file before
    mode_t staleTmpMode;  // 0: no temporary left over
  };
  const Case cases[] = {{"new", 0, 0}, {"was 0644", 0644, 0}, {"was 0666 with a stale temporary", 0666, 0666}};
  const mode_t umask = ::umask(0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Path(std::string("private-") + std::to_string(c.oldMode));
    if (c.oldMode != 0) {
      Put(path, "old secret text");
      ASSERT_EQ(::chmod(path.c_str(), c.oldMode), 0);
    }
    if (c.staleTmpMode != 0) {
      Put(path + ".tmp", "left over");
      ASSERT_EQ(::chmod((path + ".tmp").c_str(), c.staleTmpMode), 0);
    }
    ASSERT_TRUE(WritePrivateFileAtomic(path, "sealed"));
    EXPECT_EQ(Get(path), "sealed");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_FALSE(fs::exists(path + ".tmp"));
  }
  ::umask(umask);

  const std::string open = Path("readable");
  Put(open, "x");
  ASSERT_EQ(::chmod(open.c_str(), 0644), 0);
  fs::create_symlink(open, Path("link"));
  EXPECT_FALSE(RestrictToOwner(Path("link")));
  EXPECT_FALSE(RestrictToOwner(Path("missing")));
  struct stat st {};
  ASSERT_EQ(::stat(open.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  EXPECT_TRUE(RestrictToOwner(open));
  ASSERT_EQ(::stat(open.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(FileUtilTest, WriteFileAtomicReplacesAStaleTemporaryWithoutFollowingLinks) {
  std::string path = Path("data");
  Put(Path("victim"), "untouched");
  fs::create_symlink(Path("victim"), path + ".tmp");
  ASSERT_TRUE(WriteFileAtomic(path, std::string("fresh")));
  EXPECT_EQ(Get(path), "fresh");
  EXPECT_EQ(Get(Path("victim")), "untouched");
  EXPECT_FALSE(fs::exists(path + ".tmp"));
}

TEST_F(FileUtilTest, WriteFileAtomicFailureKeepsTheOldFileAndNoTemporary) {
  struct Case {
    const char* name;
    Fault fault;
    const char* content;
  } cases[] = {
      {"sync of the file", Fault::kFileSync, "old content"},
      {"close of the file", Fault::kFileClose, "old content"},
      // The rename already happened; only its durability is in doubt.
      {"sync of the folder", Fault::kFolderSync, "new content"},
  };
  std::string path = Path("state.json");
  for (const auto& c : cases) {
    Put(path, "old content");
    g_fault = c.fault;
    EXPECT_FALSE(WriteFileAtomic(path, std::string("new content"))) << c.name;
    g_fault = Fault::kNone;
    EXPECT_EQ(Get(path), c.content) << c.name;
    EXPECT_FALSE(fs::exists(path + ".tmp")) << c.name;
  }
  // The target is a folder: the move fails and the temporary goes away.
  fs::create_directory(Path("folder"));
  EXPECT_FALSE(WriteFileAtomic(Path("folder"), std::string("x")));
  EXPECT_TRUE(fs::is_directory(Path("folder")));
  EXPECT_FALSE(fs::exists(Path("folder.tmp")));
  // A missing folder: the temporary cannot be created.
  EXPECT_FALSE(WriteFileAtomic(Path("nowhere/file"), std::string("x")));
  EXPECT_FALSE(WriteFileAtomic("", std::string("x")));
}

TEST_F(FileUtilTest, ConcurrentWritersNeverPublishAMixedFile) {
  constexpr int kWriters = 6, kRounds = 25;
  constexpr size_t kSize = 256 * 1024;
  std::string path = Path("shared.json");
  ASSERT_TRUE(WriteFileAtomic(path, std::string(kSize, 'a')));
  std::atomic<bool> done{false};
  std::atomic<int> successes{0};
  std::atomic<int> torn{0};
  std::thread reader([&] {
    while (!done.load()) {
      std::string content;
      if (!ReadWholeFile(path, content)) continue;
      if (content.size() != kSize || content.find_first_not_of(content[0]) != std::string::npos) ++torn;
    }
  });
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w)
    writers.emplace_back([&, w] {
      std::string data(kSize, static_cast<char>('b' + w));
      for (int r = 0; r < kRounds; ++r)
        if (WriteFileAtomic(path, data)) ++successes;
    });
  for (auto& t : writers) t.join();
  done = true;
  reader.join();
  EXPECT_GT(successes.load(), 0);
  EXPECT_EQ(torn.load(), 0);
  std::string last = Get(path);
  ASSERT_EQ(last.size(), kSize);
  EXPECT_EQ(last.find_first_not_of(last[0]), std::string::npos);
  EXPECT_GE(last[0], 'b');
}

TEST(SecureWipe, ZeroesAndEmptiesEveryForm) {
  std::string secret = "a password long enough for the heap";
  const char* storage = secret.data();
  size_t length = secret.size();
  SecureWipe(secret);
  EXPECT_TRUE(secret.empty());
  EXPECT_EQ(secret.data(), storage);  // storage kept until destruction
  EXPECT_EQ(std::string(storage, length), std::string(length, '\0'));

  std::vector<uint8_t> key(32, 0xAB);
  const uint8_t* keyStorage = key.data();
  SecureWipe(key);
  EXPECT_TRUE(key.empty());
  EXPECT_EQ(std::vector<uint8_t>(keyStorage, keyStorage + 32), std::vector<uint8_t>(32, 0));

  uint8_t raw[5] = {1, 2, 3, 4, 5};
  SecureWipe(raw, 3);
  EXPECT_EQ(std::vector<uint8_t>(raw, raw + 5), (std::vector<uint8_t>{0, 0, 0, 4, 5}));
  SecureWipe(nullptr, 10);
  SecureWipe(raw, 0);
  EXPECT_EQ(raw[3], 4);
}

}  // namespace
}  // namespace vx
