// The FUSE mount host on the in-memory server: shell work and a build on
// the drive, refused names and operations, listings longer than one
// kernel buffer, changes on the server, a server that stops answering
// while the kernel queues calls behind a rename, unmounting with files
// open, and the states a mount point can be found in.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <future>
#include <set>
#include <string>
#include <thread>

#include "mount/mount_test_world.h"
#include "testing/eventually.h"
#include "testing/log_capture.h"
#include "testing/test_clock.h"
#include "testing/volume_harness.h"

namespace tarn::test {
namespace {

// The errno of a failed call, 0 when it succeeded.
int ErrnoOf(int rc) { return rc < 0 ? errno : 0; }

bool SameDeviceAsParent(const std::string& path) {
  struct stat st, parent;
  return ::stat(path.c_str(), &st) == 0 && ::stat((path + "/..").c_str(), &parent) == 0 &&
         st.st_dev == parent.st_dev;
}

TEST(FuseMountHost, ShellWorkAndABuildOnTheDrive) {
  MountWorld world(MemoryMountDrive());
  ASSERT_TRUE(world.mount());
  EXPECT_TRUE(world.host.isMounted());
  EXPECT_EQ(world.host.mountPoint(), world.mountPoint());
  // The kernel reads ahead as far as one request carries.
  struct stat st;
  ASSERT_EQ(::stat(world.mountPoint().c_str(), &st), 0);
  EXPECT_EQ(ReadFile("/sys/class/bdi/" + std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev)) +
                     "/read_ahead_kb"),
            std::to_string(FuseTuning().readaheadKb) + "\n");
  const std::string drive = world.file("work");
  ASSERT_EQ(::mkdir(drive.c_str(), 0755), 0);
  EXPECT_EQ(RunShell(".", "KEEPS_TIMES=1 testdata/shell_work.sh " + drive + " " + world.scratch()), 0);
  world.unmountAndStop();
  EXPECT_FALSE(world.host.isMounted());
  EXPECT_TRUE(world.server->exists("/work"));
  EXPECT_FALSE(world.server->exists("/work/proj"));
}

// The kernel asks for a file's attributes right after a rename over it,
// while the renamed file's upload ends: every read must see the last write.
TEST(FuseMountHost, LockFileRewritesAlwaysReadTheLastVersion) {
  constexpr int kRounds = 200;
  MountWorld world(MemoryMountDrive());
  ASSERT_TRUE(world.mount());
  const std::string folder = world.file("repo");
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  EXPECT_EQ(LockFileRounds(folder, kRounds), "");
}

TEST(FuseMountHost, RefusedNamesAndOperationsGiveTheirErrno) {
  MountConfig config = MemoryMountDrive();
  config.compat.caseCollision = CompatOptions::kCaseRefuse;
  MountWorld world(config);
  world.server->makeDir("/full");
  world.server->putFile("/full/f", "x");
  world.server->makeDir("/empty");
  world.server->putFile("/a.txt", "a");
  world.server->putFile("/b.txt", "b");
  // A server that cannot keep names past 200 bytes (as a probe finds).
  BackendCaps caps = world.server->caps();
  caps.maxNameBytes = 200;
  world.server->setCaps(caps);
  const std::string longest(200, 'n'), tooLong(201, 'n');
  ASSERT_TRUE(world.mount());
  auto at = [&](const std::string& name) { return world.file(name); };
  auto create = [&](const std::string& name) {
    const int fd = ::open(at(name).c_str(), O_CREAT | O_WRONLY, 0644);
    if (fd >= 0) ::close(fd);
    return fd;
  };
  struct Case {
    const char* what;
    std::function<int()> call;
    int expected;
  } cases[] = {
      {"name with a backslash", [&] { return create("a\\b"); }, EINVAL},
      {"folder with a backslash", [&] { return ::mkdir(at("a\\b").c_str(), 0755); }, EINVAL},
      {"rename to a backslash", [&] { return ::rename(at("a.txt").c_str(), at("x\\y").c_str()); }, EINVAL},
      {"reserved device name", [&] { return create("CON"); }, EINVAL},
      {"trailing dot", [&] { return create("x."); }, EINVAL},
      {"case collision", [&] { return create("A.TXT"); }, EINVAL},
      {"missing file", [&] { return ::open(at("missing").c_str(), O_RDONLY); }, ENOENT},
      {"existing folder", [&] { return ::mkdir(at("full").c_str(), 0755); }, EEXIST},
      {"full folder removed", [&] { return ::rmdir(at("full").c_str()); }, ENOTEMPTY},
      {"folder over a full folder", [&] { return ::rename(at("empty").c_str(), at("full").c_str()); }, ENOTEMPTY},
      {"folder over a file", [&] { return ::rename(at("empty").c_str(), at("a.txt").c_str()); }, ENOTDIR},
      {"no replace", [&] { return ::renameat2(AT_FDCWD, at("a.txt").c_str(), AT_FDCWD, at("b.txt").c_str(),
                                                RENAME_NOREPLACE); }, EEXIST},
      {"exchange", [&] { return ::renameat2(AT_FDCWD, at("a.txt").c_str(), AT_FDCWD, at("b.txt").c_str(),
                                             RENAME_EXCHANGE); }, EINVAL},
      {"hard link", [&] { return ::link(at("a.txt").c_str(), at("l").c_str()); }, EPERM},
      {"symbolic link", [&] { return ::symlink("a.txt", at("s").c_str()); }, EPERM},
      {"fifo", [&] { return ::mkfifo(at("p").c_str(), 0644); }, EPERM},
      {"name past the server's longest", [&] { return create(tooLong); }, ENAMETOOLONG},
      {"folder past the server's longest", [&] { return ::mkdir(at(tooLong).c_str(), 0755); }, ENAMETOOLONG},
      {"rename past the server's longest", [&] { return ::rename(at("a.txt").c_str(), at(tooLong).c_str()); },
       ENAMETOOLONG},
      {"the longest name the server keeps", [&] { return create(longest); }, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrnoOf(c.call()), c.expected) << c.what;
  // Nothing that was refused changed the server.
  EXPECT_TRUE(world.server->exists("/full/f"));
  EXPECT_TRUE(world.server->exists("/empty"));
  std::string content;
  EXPECT_TRUE(world.server->readFile("/a.txt", &content) && content == "a");
  EXPECT_TRUE(world.server->readFile("/b.txt", &content) && content == "b");
}

// A copy of a folder holding index.html and Index.html lands whole on a
// server that tells case apart.
TEST(FuseMountHost, NamesDifferingOnlyInCaseAreTwoFiles) {
  MountWorld world(MemoryMountDrive());
  ASSERT_TRUE(world.mount());
  const std::string source = world.scratch() + "/doc";
  ASSERT_EQ(::mkdir(source.c_str(), 0755), 0);
  for (const char* name : {"index.html", "Index.html", "INDEX.HTML"}) std::ofstream(source + "/" + name) << name;
  ASSERT_EQ(RunShell(".", "cp -r " + source + " " + world.mountPoint() + "/"), 0);
  std::set<std::string> names;
  DIR* dir = ::opendir(world.file("doc").c_str());
  ASSERT_NE(dir, nullptr);
  while (dirent* e = ::readdir(dir)) names.insert(e->d_name);
  ::closedir(dir);
  EXPECT_EQ(names, (std::set<std::string>{".", "..", "INDEX.HTML", "Index.html", "index.html"}));
  world.unmountAndStop();
  for (const char* name : {"index.html", "Index.html", "INDEX.HTML"}) {
    std::string content;
    EXPECT_TRUE(world.server->readFile(std::string("/doc/") + name, &content) && content == name) << name;
  }
}

TEST(FuseMountHost, ListingsLongerThanOneKernelBufferArriveWhole) {
  MountWorld world(MemoryMountDrive());
  constexpr int kEntries = 2500;
  std::set<std::string> names;
  for (int i = 0; i < kEntries; ++i) {
    const std::string name = "entry-with-a-name-long-enough-to-fill-buffers-" + std::to_string(i);
    names.insert(name);
    world.server->putFile("/big/" + name, std::string(static_cast<size_t>(i % 97), 'x'));
  }
  ASSERT_TRUE(world.mount());
  for (int pass = 0; pass < 2; ++pass) {  // fetched, then from the kernel's copy
    DIR* dir = ::opendir(world.file("big").c_str());
    ASSERT_NE(dir, nullptr);
    std::set<std::string> seen;
    int dots = 0;
    while (dirent* e = ::readdir(dir)) {
      const std::string name = e->d_name;
      if (name == "." || name == "..") {
        ++dots;
        continue;
      }
      EXPECT_TRUE(seen.insert(name).second) << "listed twice: " << name;
      EXPECT_EQ(e->d_type, DT_REG);
    }
    ::closedir(dir);
    EXPECT_EQ(dots, 2);
    EXPECT_EQ(seen, names) << "pass " << pass;
  }
  struct stat st;
  ASSERT_EQ(::stat(world.file("big/entry-with-a-name-long-enough-to-fill-buffers-96").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 96);
  // The listing's attributes served the look-up.
  EXPECT_EQ(world.server->countCalls(MemOp::kStat, "/big/entry-with-a-name-long-enough-to-fill-buffers-96"), 0);
}

TEST(FuseMountHost, ChangesOnTheServerShowAtTheNextOpen) {
  MountConfig config = MemoryMountDrive();
  config.cache.metaTtlMs = 0;
  MountWorld world(config);
  world.server->putFile("/f.txt", "first version");
  ASSERT_TRUE(world.mount());
  EXPECT_EQ(ReadFile(world.file("f.txt")), "first version");
  EXPECT_EQ(ReadFile(world.file("f.txt")), "first version");
  world.server->putFile("/f.txt", "other version");  // same size, new time
  EXPECT_EQ(ReadFile(world.file("f.txt")), "other version");
  world.server->putFile("/f.txt", "longer than before");
  EXPECT_EQ(ReadFile(world.file("f.txt")), "longer than before");
}

// The kernel keeps a file's size for the metadata lifetime, and the drive
// may learn of a longer copy on the server meanwhile (here from a listing
// the drive took itself; as well from its own look-up whose lifetime ended
// a moment before the kernel's). An open that finds the new copy makes the
// kernel ask for the size again before it reads: the new copy is read
// whole, never cut at the size of the old one.
TEST(FuseMountHost, AnOpenThatFindsALongerCopyReadsItWhole) {
  MountConfig config = MemoryMountDrive();
  config.cache.metaTtlMs = config.cache.dirTtlMs = 60000;
  MountWorld world(config);
  world.server->putFile("/d/f.txt", "first version");
  ASSERT_TRUE(world.mount());
  struct stat st;
  ASSERT_EQ(::stat(world.file("d/f.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 13);
  world.server->putFile("/d/f.txt", "a longer second version");
  std::vector<DirEntry> listing;
  ASSERT_TRUE(world.volume->readdir("/d", listing).ok());
  EXPECT_EQ(ReadFile(world.file("d/f.txt")), "a longer second version");
  ASSERT_EQ(::stat(world.file("d/f.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 23);
}

// Another client puts a smaller copy in place of a file a program reads,
// and the drive's look-ups find it, at the program's own read (lifetimes of
// zero: every read makes the kernel ask for the attributes) or at another
// process's stat by name: the program reads the whole copy it opened, or
// fails with EIO, never the old copy cut at the new size. A new open reads
// the new copy.
TEST(FuseMountHost, ASmallerCopyPutInPlaceDoesNotCutAReaderShort) {
  for (bool statByName : {false, true}) {
    SCOPED_TRACE(statByName ? "a stat by name first" : "the reader's own look");
    MountConfig config = MemoryMountDrive();
    config.cache.metaTtlMs = statByName ? 1000 : 0;
    config.cache.dirTtlMs = 0;
    MountWorld world(config);
    const std::string old = test::Pattern(300000, 1), smaller = test::Pattern(5000, 2);
    world.server->putFile("/d/f.bin", old);
    ASSERT_TRUE(world.mount());
    const int fd = ::open(world.file("d/f.bin").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    std::string got(old.size(), '\0');
    ASSERT_EQ(::read(fd, got.data(), 4096), 4096);
    size_t done = 4096;
    world.server->putFile("/d/f.bin", smaller);
    // The drive's own lifetime (and with it the kernel's) is over once the
    // drive answers with the new copy.
    ASSERT_TRUE(test::Eventually([&] {
      RemoteAttr seen;
      return world.volume->getattr("/d/f.bin", seen).ok() && seen.size == smaller.size();
    }));
    if (statByName) {
      struct stat st;
      ASSERT_EQ(::stat(world.file("d/f.bin").c_str(), &st), 0);
      EXPECT_EQ(st.st_size, static_cast<off_t>(smaller.size()));
    }
    int error = 0;
    for (ssize_t n; done < old.size(); done += static_cast<size_t>(n)) {
      n = ::read(fd, got.data() + done, old.size() - done);
      if (n <= 0) {
        error = n < 0 ? errno : 0;
        break;
      }
    }
    ::close(fd);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(done), old.begin()))
        << "bytes the copy never had";
    if (done < old.size()) {
      EXPECT_EQ(error, EIO) << "ended after " << done << " bytes";
    }
    EXPECT_EQ(ReadFile(world.file("d/f.bin")), smaller);
  }
}

// A folder opened for listing while a file in it is still empty, the file
// then written and closed, and the listing read after that: the listing's
// entries (READDIRPLUS) carry the attributes the folder had when it was
// opened, older than what the kernel has of the file. The closed file keeps
// its size and content, through a look-up, a stat and a read.
TEST(FuseMountHost, AListingOpenedBeforeAFileWasWrittenDoesNotShrinkIt) {
  MountWorld world(MemoryMountDrive());
  ASSERT_TRUE(world.mount());
  ASSERT_EQ(::mkdir(world.file("d").c_str(), 0755), 0);
  const std::string content = Pattern(5000, 3);
  const int fd = ::open(world.file("d/f").c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  DIR* dir = ::opendir(world.file("d").c_str());
  ASSERT_NE(dir, nullptr);
  ASSERT_EQ(::write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
  ASSERT_EQ(::close(fd), 0);
  int entries = 0;
  while (::readdir(dir) != nullptr) ++entries;
  ::closedir(dir);
  EXPECT_EQ(entries, 3);
  struct stat st;
  ASSERT_EQ(::stat(world.file("d/f").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 5000);
  EXPECT_TRUE(ReadFile(world.file("d/f")) == content);
}

// The names of a folder of the drive, sorted, comma-separated; the error's
// text when it cannot be listed.
std::string ListNames(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return "<" + std::string(std::strerror(errno)) + ">";
  std::set<std::string> names;
  errno = 0;
  while (dirent* e = ::readdir(dir))
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.insert(e->d_name);
  const int err = errno;
  ::closedir(dir);
  if (err != 0) return "<" + std::string(std::strerror(err)) + ">";
  std::string out;
  for (const std::string& name : names) out += (out.empty() ? "" : ",") + name;
  return out;
}

template <typename T>
bool Ready(const std::future<T>& f) {
  return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

// A rename holds its folder in the kernel until the drive answers, so a
// listing of that folder queues behind it though the drive has the
// listing. When the server stops answering, the rename's look-ups and the
// rename itself share one budget of the connect and I/O time-outs: with
// the drive's clock stopped there, the rename has failed as timed out and
// the listing has come, from the cache.
TEST(FuseMountHost, AListingQueuedBehindARenameOnASilentServerEndsWithinTheRenamesBudget) {
  ScopedTestClock clock;
  MountConfig config = MemoryMountDrive();
  config.net.connectTimeoutMs = 1000;
  config.net.ioTimeoutMs = 2000;
  config.net.keepaliveSec = 0;
  // Attributes are past their lifetime once the clock moves; the listing
  // and the name known to be absent are not.
  config.cache.metaTtlMs = 1000;
  config.cache.dirTtlMs = config.cache.negativeTtlMs = 3600000;
  MountWorld world(config);
  world.server->putFile("/F/a", "a");
  ASSERT_TRUE(world.mount());
  struct stat st;
  ASSERT_EQ(ErrnoOf(::stat(world.file("F/b").c_str(), &st)), ENOENT);
  ASSERT_EQ(ListNames(world.file("F")), "a");
  clock.advance(10 * config.cache.metaTtlMs);

  world.server->setSilent(config.net.ioTimeoutMs);
  std::future<int> renamed = std::async(std::launch::async, [&] {
    return ErrnoOf(::rename(world.file("F/a").c_str(), world.file("F/b").c_str()));
  });
  ASSERT_TRUE(Eventually([&] { return world.server->silentWaiters() > 0; }));
  std::future<std::string> listed = std::async(std::launch::async, [&] { return ListNames(world.file("F")); });
  // The listing's look at the folder waits too before the clock moves: one
  // that began after the move would have a whole budget of its own.
  ASSERT_TRUE(Eventually([&] { return world.server->silentWaiters() > 1; }));
  clock.advance(config.net.connectTimeoutMs + config.net.ioTimeoutMs);
  const bool ended = Eventually([&] { return Ready(renamed) && Ready(listed); });
  world.server->setSilent(0);
  EXPECT_TRUE(ended) << "waited past the budget";
  EXPECT_EQ(renamed.get(), ETIMEDOUT);
  EXPECT_EQ(listed.get(), "a");
}

// A change that keeps the size and lands within the second of the last one:
// the kernel's pages of the old copy go whether the server tells it by its
// version text (WebDAV's ETag) or not at all (SFTP's whole-second times).
TEST(FuseMountHost, AChangeWithinTheSecondShowsAtTheNextOpen) {
  for (bool tags : {true, false}) {
    SCOPED_TRACE(tags ? "entity tags" : "times alone");
    MountConfig config = MemoryMountDrive();
    config.cache.metaTtlMs = 0;
    MountWorld world(config);
    world.server->setEntityTags(tags);
    world.server->setChangeTime(Timestamp{Timestamp::now().seconds + 3600, 0});
    world.server->putFile("/f.txt", "first version");
    ASSERT_TRUE(world.mount());
    EXPECT_EQ(ReadFile(world.file("f.txt")), "first version");
    world.server->putFile("/f.txt", "other version");
    EXPECT_EQ(ReadFile(world.file("f.txt")), "other version");
    EXPECT_EQ(ReadFile(world.file("f.txt")), "other version");
  }
}

TEST(FuseMountHost, UnmountWithFilesOpenSavesThemAndFreesTheFolder) {
  MountWorld world(MemoryMountDrive());
  world.server->putFile("/r.txt", "read me");
  world.server->makeDir("/d");
  ASSERT_TRUE(world.mount());
  const std::string written = Pattern(300000, 4);
  const int w = ::open(world.file("w.bin").c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(w, 0);
  ASSERT_EQ(::write(w, written.data(), written.size()), static_cast<ssize_t>(written.size()));
  const int r = ::open(world.file("r.txt").c_str(), O_RDONLY);
  ASSERT_GE(r, 0);
  char c;
  ASSERT_EQ(::read(r, &c, 1), 1);
  DIR* d = ::opendir(world.file("d").c_str());
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(world.host.openHandles(), 3u);

  ASSERT_TRUE(world.host.unmount(MountWorld::kFlushMs).ok());
  EXPECT_FALSE(world.host.isMounted());
  EXPECT_TRUE(SameDeviceAsParent(world.mountPoint()));
  std::string content;
  EXPECT_TRUE(world.server->readFile("/w.bin", &content) && content == written);
  // The application's writes now fail instead of hanging.
  EXPECT_LT(::write(w, "x", 1), 0);
  ::close(w);
  ::close(r);
  ::closedir(d);
  // The folder takes the drive again.
  ASSERT_TRUE(world.host.mount(world.volume, world.mountPoint()).ok());
  EXPECT_EQ(ReadFile(world.file("w.bin")), written);
}

// A writer working in a folder through its descriptor (as a shell in it
// does) while the folder is renamed: the kernel sends the create with the
// folder's node while the rename runs, and the file must be made, and stay,
// under the folder's new name.
TEST(FuseMountHost, ACreateInAFolderBeingRenamedLandsUnderItsNewName) {
  LogCapture log;
  MountWorld world(MemoryMountDrive());
  ASSERT_TRUE(world.mount());
  ASSERT_EQ(::mkdir(world.file("X").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(world.file("X/w").c_str(), 0755), 0);
  const int folder = ::open(world.file("X/w").c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(folder, 0);
  const std::string content = Pattern(5000, 7);
  std::shared_ptr<Gate> serverCreate = world.server->addGate(MemOp::kCreate, "/X/w/f");
  int created = 0;
  std::thread writer([&] {
    const int fd = ::openat(folder, "f", O_CREAT | O_WRONLY | O_TRUNC, 0644);
    created = ErrnoOf(fd);
    if (fd < 0) return;
    if (::write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size())) created = errno;
    ::close(fd);
  });
  ASSERT_TRUE(serverCreate->waitArrived());
  auto renamed = std::async(std::launch::async,
                            [&] { return ErrnoOf(::rename(world.file("X").c_str(), world.file("Y").c_str())); });
  // The rename waits for the create (and says so), or runs into it.
  EXPECT_TRUE(Eventually([&] {
    return log.countLines("waits for what is under way there") > 0 ||
           renamed.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  }));
  serverCreate->release();
  writer.join();
  EXPECT_EQ(renamed.get(), 0);
  EXPECT_EQ(created, 0) << std::strerror(created);
  const std::string shown = ReadFile(world.file("Y/w/f"));
  EXPECT_TRUE(shown == content) << "Y/w/f shows " << shown.substr(0, 40);
  world.unmountAndStop();
  ::close(folder);
  std::string stored;
  EXPECT_TRUE(world.server->readFile("/Y/w/f", &stored) && stored == content) << stored.size() << " bytes";
  EXPECT_FALSE(world.server->exists("/X"));
}

// A FUSE mount whose server is gone, as a killed process leaves it.
bool MakeStaleMount(const std::string& path) {
  const int fd = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  const std::string options = "fd=" + std::to_string(fd) + ",rootmode=40000,user_id=0,group_id=0";
  const bool mounted = ::mount("tarn-stale", path.c_str(), "fuse.tarn", 0, options.c_str()) == 0;
  ::close(fd);
  return mounted;
}

TEST(FuseMountHost, MountPointsAreMadeClearedOrRefused) {
  MountWorld world(MemoryMountDrive());
  world.server->putFile("/f", "f");
  std::string error;
  ASSERT_TRUE(world.volume->start(&error).ok());
  TempDir dir("tarn-points", 0755);
  const std::string stale = dir.file("stale");
  ASSERT_EQ(::mkdir(stale.c_str(), 0755), 0);
  ASSERT_TRUE(MakeStaleMount(stale));
  struct stat st;
  ASSERT_NE(::stat(stale.c_str(), &st), 0);
  ASSERT_EQ(errno, ENOTCONN);
  std::ofstream(dir.file("file")) << "";
  FuseMountHost other;
  ASSERT_TRUE(other.mount(world.volume, dir.file("busy")).ok());

  struct Case {
    std::string path;
    int32_t code;
  } cases[] = {
      {dir.file("missing/deeper"), Status::kOk},
      {stale, Status::kOk},
      {dir.file("busy"), Status::kBusy},
      {dir.file("file"), Status::kNotDirectory},
  };
  for (const Case& c : cases) {
    FuseMountHost host;
    Status st = host.mount(world.volume, c.path);
    EXPECT_EQ(st.code, c.code) << c.path << ": " << st.toString();
    if (st.ok()) {
      EXPECT_EQ(ReadFile(c.path + "/f"), "f") << c.path;
    }
    EXPECT_TRUE(host.unmount(0).ok());
  }
  EXPECT_TRUE(other.unmount(0).ok());
  FuseMountHost host;
  EXPECT_EQ(host.mount(std::make_shared<Volume>(world.config, dir.path(), world.server->factory()), stale).code,
            Status::kInvalid);  // a volume that was never started
}

}  // namespace
}  // namespace tarn::test
