#include "foundation/env.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "foundation/memory_env.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;

std::string Read(Env& env, const std::string& path) {
  std::string out;
  Status st = env.readFile(path, 1 << 20, &out);
  return st.ok() ? out : "(" + st.toString() + ")";
}

// The POSIX Env in a fresh temporary folder, and a MemoryEnv: callers rely on
// both answering alike.
class EnvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "tarn-env-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }

  struct Subject {
    const char* name;
    Env* env;
    std::string root;
  };
  std::vector<Subject> subjects() { return {{"posix", Env::Default(), dir_}, {"memory", &memory_, "/m"}}; }

  std::string dir_;
  MemoryEnv memory_;
};

TEST_F(EnvTest, StepsAnswerAlikeOnEveryEnv) {
  for (const Subject& s : subjects()) {
    SCOPED_TRACE(s.name);
    Env& env = *s.env;
    const std::string d = s.root + "/a/b";
    ASSERT_TRUE(env.makeDirs(d).ok());
    ASSERT_TRUE(env.makeDirs(d).ok());  // already there
    EXPECT_EQ(env.makeDir(d).code, Status::kExists);
    const std::string f = d + "/f";

    std::unique_ptr<EnvFile> file;
    Status st = env.open(f, Env::OpenMode::kRead, &file);
    EXPECT_EQ(st.code, Status::kNotFound);
    EXPECT_EQ(st.native, ENOENT);
    ASSERT_TRUE(env.open(f, Env::OpenMode::kReadWrite, &file).ok());
    ASSERT_TRUE(file->write(3, "xyz", 3).ok());
    uint64_t size = 0;
    ASSERT_TRUE(file->size(&size).ok());
    EXPECT_EQ(size, 6u);
    char buf[10];
    size_t got = 0;
    ASSERT_TRUE(file->read(1, buf, sizeof buf, &got).ok());
    EXPECT_EQ(std::string(buf, got), std::string("\0\0xyz", 5));  // short at the end, zeros in the hole
    ASSERT_TRUE(file->truncate(4).ok());
    ASSERT_TRUE(file->sync().ok());
    ASSERT_TRUE(file->close().ok());
    EXPECT_EQ(Read(env, f), std::string("\0\0\0x", 4));
    EXPECT_EQ(env.open(f, Env::OpenMode::kCreateNew, &file).code, Status::kExists);

    ASSERT_TRUE(env.writeFileAtomic(f, "new", true).ok());
    EXPECT_EQ(Read(env, f), "new");
    std::string whole;
    EXPECT_EQ(env.readFile(f, 2, &whole).code, Status::kTooLarge);
    ASSERT_TRUE(env.writeFile(d + "/g", "other", true, false).ok());
    EXPECT_EQ(env.writeFile(d + "/g", "again", true, false).code, Status::kExists);
    ASSERT_TRUE(env.rename(d + "/g", f).ok());  // replaces
    EXPECT_EQ(Read(env, f), "other");
    EnvFileInfo info;
    ASSERT_TRUE(env.stat(d, &info).ok());
    EXPECT_TRUE(info.isDir);
    ASSERT_TRUE(env.stat(f, &info).ok());
    EXPECT_FALSE(info.isDir);
    EXPECT_EQ(info.size, 5u);

    // A rename that cannot happen leaves no temporary behind.
    ASSERT_TRUE(env.makeDir(d + "/sub").ok());
    EXPECT_FALSE(env.writeFileAtomic(d + "/sub", "x", false).ok());
    std::vector<std::string> names;
    ASSERT_TRUE(env.list(d, &names).ok());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"f", "sub"}));

    ASSERT_TRUE(env.unlink(f).ok());
    st = env.unlink(f);
    EXPECT_EQ(st.code, Status::kNotFound);
    EXPECT_EQ(st.native, ENOENT);  // the cache's deleter counts it as deleted
    EXPECT_EQ(env.makeDirs(d + "/sub/x").code, Status::kOk);
    ASSERT_TRUE(env.writeFile(d + "/plain", "p", false, false).ok());
    EXPECT_FALSE(env.makeDirs(d + "/plain/x").ok());
    EXPECT_FALSE(env.list(d + "/none", &names).ok());
  }
}

TEST_F(EnvTest, PosixFilesAndFoldersArePrivate) {
  Env& env = *Env::Default();
  ASSERT_TRUE(env.makeDirs(dir_ + "/x/y").ok());
  ASSERT_TRUE(env.writeFileAtomic(dir_ + "/x/y/f", "s", false).ok());
  struct stat st {};
  ASSERT_EQ(::stat((dir_ + "/x/y").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, kEnvFolderMode);
  ASSERT_EQ(::stat((dir_ + "/x/y/f").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, kEnvFileMode);
}

// What each kind of crash keeps: a process crash keeps every step, a power
// loss only what a sync made durable (a file's bytes by its sync, its name
// by its folder's); a torn power loss keeps every name and length but only
// synced bytes, zeros elsewhere. Only a process crash stays in its boot.
TEST(MemoryEnvTest, CrashesKeepWhatWasMadeDurable) {
  const std::string kGone = "(not-found: cannot open /d/f)";
  struct Case {
    const char* what;
    std::function<void(MemoryEnv&)> steps;
    std::string afterProcessCrash;
    std::string afterPowerLoss;
    std::string afterTornLoss;
  } cases[] = {
      {"written, not synced", [](MemoryEnv& e) { ASSERT_TRUE(e.writeFile("/d/f", "newer", false, false).ok()); },
       "newer", "old", std::string("old\0\0", 5)},
      {"synced, name not synced",
       [](MemoryEnv& e) { ASSERT_TRUE(e.writeFile("/d/n", "x", true, false).ok()); }, "old", "old", "old"},
      {"durable whole-file write", [](MemoryEnv& e) { ASSERT_TRUE(e.writeFileAtomic("/d/f", "new", true).ok()); },
       "new", "new", "new"},
      {"replaced, folder not synced",
       [](MemoryEnv& e) { ASSERT_TRUE(e.writeFileAtomic("/d/f", "new", false).ok()); }, "new", "old",
       std::string(3, '\0')},
      {"renamed away, folder not synced", [](MemoryEnv& e) { ASSERT_TRUE(e.rename("/d/f", "/d/g").ok()); },
       kGone, "old", kGone},
      {"deleted, folder synced",
       [](MemoryEnv& e) {
         ASSERT_TRUE(e.unlink("/d/f").ok());
         ASSERT_TRUE(e.syncDir("/d").ok());
       },
       kGone, kGone, kGone},
  };
  for (const Case& c : cases) {
    MemoryEnv env;
    ASSERT_TRUE(env.makeDirs("/d").ok());
    ASSERT_TRUE(env.writeFile("/d/f", "old", true, true).ok());
    c.steps(env);
    auto nothing = [](const std::string&) { return false; };
    EXPECT_EQ(Read(*env.snapshot(MemoryEnv::Crash::kProcess), "/d/f"), c.afterProcessCrash) << c.what;
    EXPECT_EQ(Read(*env.snapshot(MemoryEnv::Crash::kPowerLoss), "/d/f"), c.afterPowerLoss) << c.what;
    EXPECT_EQ(Read(*env.snapshotTorn(nothing), "/d/f"), c.afterTornLoss) << c.what;
    // The files a torn loss lets through keep what was written.
    EXPECT_EQ(Read(*env.snapshotTorn([](const std::string& p) { return p == "/d/f"; }), "/d/f"),
              c.afterProcessCrash)
        << c.what;
    EXPECT_EQ(env.snapshot(MemoryEnv::Crash::kProcess)->bootId(), env.bootId()) << c.what;
    EXPECT_NE(env.snapshot(MemoryEnv::Crash::kPowerLoss)->bootId(), env.bootId()) << c.what;
    EXPECT_NE(env.snapshotTorn(nothing)->bootId(), env.bootId()) << c.what;
  }
}

// The kernel names each boot with a UUID; the cache counts on one being there.
TEST(PosixEnvTest, NamesTheBoot) {
  const std::string id = Env::Default()->bootId();
  EXPECT_EQ(id.size(), 36u) << id;
  EXPECT_EQ(id.find_first_of(" \n"), std::string::npos) << id;
}

TEST(MemoryEnvTest, HookFailsAStepWithoutEffect) {
  MemoryEnv env;
  ASSERT_TRUE(env.writeFile("/f", "old", false, false).ok());
  std::vector<MemoryEnv::Step> seen;
  env.setHook([&](const MemoryEnv::StepInfo& s) {
    seen.push_back(s.step);
    if (s.step == MemoryEnv::Step::kRename) return Status(Status::kIo, "cannot rename " + s.path, EIO);
    return Status();
  });
  Status st = env.writeFileAtomic("/f", "new", true);
  EXPECT_EQ(st.code, Status::kIo);
  EXPECT_EQ(st.native, EIO);
  env.setHook(nullptr);
  EXPECT_EQ(Read(env, "/f"), "old");
  EnvFileInfo info;
  EXPECT_EQ(env.stat("/f.tmp", &info).code, Status::kNotFound);
  using S = MemoryEnv::Step;
  EXPECT_EQ(seen, (std::vector<S>{S::kCreate, S::kWrite, S::kSync, S::kRename, S::kUnlink}));
}


// A disk of the Env's own fills as a real one: by the pages written and a
// node per file or folder, a sparse length taking nothing; a write or a
// create past it fails as "no-space" and changes nothing, and what is cut
// or deleted comes back.
TEST(MemoryEnvTest, ALimitedDiskFillsAndEmptiesAsARealOne) {
  constexpr uint64_t kPage = kMemoryEnvPageBytes;
  MemoryEnv env;
  env.setCapacity(8 * kPage, 4);  // the root, a folder and two files
  ASSERT_TRUE(env.makeDir("/d").ok());
  std::unique_ptr<EnvFile> a;
  ASSERT_TRUE(env.open("/d/a", Env::OpenMode::kReadWrite, &a).ok());
  auto free = [&] {
    EnvSpace s;
    EXPECT_TRUE(env.space("/d", &s).ok());
    EXPECT_EQ(s.totalBytes, 8 * kPage);
    EXPECT_EQ(s.totalInodes, 4u);
    return std::make_pair(s.freeBytes / kPage, s.freeInodes);
  };
  using Free = std::pair<uint64_t, uint64_t>;
  EXPECT_EQ(free(), Free(8, 1));
  ASSERT_TRUE(a->truncate(100 * kPage).ok());  // sparse
  EXPECT_EQ(free(), Free(8, 1));
  const std::string bytes(5 * kPage, 'p');
  struct Write {
    uint64_t at;
    size_t length;
    bool fits;
    uint64_t pagesLeft;
  } writes[] = {
      {0, 1, true, 7},                   // a byte takes its page
      {10, 1, true, 7},                  // the same page
      {kPage - 1, 2, true, 6},           // across into the next
      {50 * kPage, 5 * kPage, true, 1},  // far into the hole
      {70 * kPage, 2 * kPage, false, 1}, // past the disk
      {54 * kPage, kPage, true, 1},      // over written pages
      {90 * kPage, kPage, true, 0},      // the last page
      {91 * kPage, 1, false, 0},
  };
  for (const Write& w : writes) {
    SCOPED_TRACE(w.at);
    Status st = a->write(w.at, bytes.data(), w.length);
    EXPECT_EQ(st.ok(), w.fits) << st.toString();
    if (!w.fits) {
      EXPECT_EQ(st.code, Status::kNoSpace);
      EXPECT_EQ(st.native, ENOSPC);
    }
    EXPECT_EQ(free().first, w.pagesLeft);
  }
  char byte = 0;
  size_t got = 0;
  ASSERT_TRUE(a->read(70 * kPage, &byte, 1, &got).ok());
  EXPECT_EQ(byte, '\0');  // the refused write left nothing
  std::unique_ptr<EnvFile> b;
  ASSERT_TRUE(env.open("/d/b", Env::OpenMode::kReadWrite, &b).ok());
  EXPECT_EQ(free(), Free(0, 0));
  Status st = env.open("/d/c", Env::OpenMode::kReadWrite, &b);
  EXPECT_EQ(st.code, Status::kNoSpace);
  EXPECT_EQ(env.makeDir("/d/e").code, Status::kNoSpace);
  EnvFileInfo info;
  EXPECT_EQ(env.stat("/d/c", &info).code, Status::kNotFound);

  ASSERT_TRUE(a->truncate(50 * kPage + 1).ok());  // keeps the first pages and one of the far run
  EXPECT_EQ(free(), Free(5, 0));
  ASSERT_TRUE(env.unlink("/d/a").ok());
  EXPECT_EQ(free(), Free(8, 1));
  ASSERT_TRUE(env.writeFileAtomic("/d/b", std::string(3 * kPage, 'b'), false).ok());
  EXPECT_EQ(free(), Free(5, 1));
}

}  // namespace
}  // namespace tarn
