// The FUSE mount host on the real test servers (WebDAV on Apache, nginx and
// lighttpd, SFTP on OpenSSH, NFS on Ganesha): shell work and a build on the drive, and a
// process killed while it serves writes, whose closed files all reach the
// server byte-exact once the drive is mounted again. The servers'
// variables come from testing/servers/*.sh; a missing one fails the test.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <cerrno>
#include <chrono>
#include <future>
#include <set>
#include <string>
#include <thread>

#include "engine/backend_factory.h"
#include "foundation/config_file.h"
#include "mount/mount_test_world.h"
#include "testing/eventually.h"
#include "testing/gate.h"
#include "testing/remote_tree.h"
#include "testing/tcp_relay.h"
#include "testing/volume_harness.h"

namespace tarn::test {
namespace {

// Every file of a test lives below this folder of the server's test root.
std::string TestFolder(const std::string& protocol) {
  return "/mount-" + protocol + "-" + std::to_string(::getpid());
}

MountConfig ValidDrive(const std::string& protocol) {
  // SFTP host keys are recorded in the data folder: one of this process's
  // own meets no key of an earlier server.
  static const TempDir dataRoot("tarn-mount-root");
  static const bool rooted = ::setenv("TARN_ROOT", dataRoot.path().c_str(), 1) == 0;
  EXPECT_TRUE(rooted);
  MountConfig config = ServerDrive(protocol);
  const std::string error = ValidateMountConfig(config);
  EXPECT_EQ(error, "");
  return config;
}

// The server's own view, past every cache of the drive.
std::string ServerContent(const MountConfig& config, const std::string& path) {
  std::unique_ptr<IBackend> backend = MakeBackend(config.endpoint);
  if (!backend || !backend->connect().ok()) return "<no connection>";
  RemoteAttr attr;
  Status st = backend->stat(path, attr);
  if (!st.ok()) return "<" + st.toString() + ">";
  std::string content(attr.size, '\0');
  uint64_t done = 0;
  while (done < attr.size) {
    uint64_t got = 0;
    st = backend->readRange(path, done, reinterpret_cast<uint8_t*>(content.data()) + done, attr.size - done, got);
    if (!st.ok() || got == 0) return "<short read>";
    done += got;
  }
  return content;
}

// The version text the server gives for a file (empty where it gives none).
std::string ServerVersion(const MountConfig& config, const std::string& path) {
  std::unique_ptr<IBackend> backend = MakeBackend(config.endpoint);
  RemoteAttr attr;
  if (!backend || !backend->connect().ok() || !backend->stat(path, attr).ok()) return "<no answer>";
  return attr.etag;
}

void RemoveFromServer(const MountConfig& config, const std::string& folder) {
  std::unique_ptr<IBackend> backend = MakeBackend(config.endpoint);
  if (backend && backend->connect().ok()) RemoveRemoteTree(*backend, folder);
}

bool WriteFile(const std::string& path, const std::string& content, int flags = O_CREAT | O_TRUNC | O_WRONLY) {
  const int fd = ::open(path.c_str(), flags, 0644);
  if (fd < 0) return false;
  const bool ok = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
  return ::close(fd) == 0 && ok;
}

class FuseOnServer : public ::testing::TestWithParam<std::string> {
 protected:
  void TearDown() override { RemoveFromServer(ValidDrive(GetParam()), TestFolder(GetParam())); }
};

TEST_P(FuseOnServer, ShellWorkAndABuildOnTheDrive) {
  MountWorld world(ValidDrive(GetParam()));
  ASSERT_FALSE(HasFailure());
  ASSERT_TRUE(world.mount());
  const std::string drive = world.file(TestFolder(GetParam()).substr(1));
  ASSERT_EQ(::mkdir(drive.c_str(), 0755), 0) << std::strerror(errno);
  const bool keepsTimes = world.volume->caps()->setMtime && world.config.compat.setMtime;
  EXPECT_EQ(world.runShellWithUploadWaits(std::string("KEEPS_TIMES=") + (keepsTimes ? "1" : "0") +
                                          " testdata/shell_work.sh " + drive + " " + world.scratch()),
            0);
  // What stays on the drive reaches the server when the drive goes.
  const std::string kept = Pattern(300000, 5);
  ASSERT_TRUE(WriteFile(drive + "/kept.bin", kept));
  world.unmountAndStop();
  EXPECT_EQ(ServerContent(world.config, TestFolder(GetParam()) + "/kept.bin"), kept);
}

// git rewrites its files through lock files; each rename lands while the
// upload of the file renamed before it may still be ending.
TEST_P(FuseOnServer, LockFileRewritesAlwaysReadTheLastVersion) {
  constexpr int kRounds = 100;
  MountWorld world(ValidDrive(GetParam()));
  ASSERT_FALSE(HasFailure());
  ASSERT_TRUE(world.mount());
  const std::string drive = world.file(TestFolder(GetParam()).substr(1));
  ASSERT_EQ(::mkdir(drive.c_str(), 0755), 0) << std::strerror(errno);
  EXPECT_EQ(LockFileRounds(drive, kRounds), "");
  world.unmountAndStop();
}

// A folder's listing taken from the server after the drive made ".git" in
// it (here: once a deletion in the folder made the drive list it again)
// still leaves ".git" and what lies below it reachable, on servers whose
// listings skip dot names too. Attributes expire at once, so that the
// kernel and the drive ask at every step.
TEST_P(FuseOnServer, AFolderListedAgainKeepsTheDotNamesMadeInIt) {
  MountConfig config = ValidDrive(GetParam());
  config.cache.metaTtlMs = config.cache.negativeTtlMs = 0;
  MountWorld world(config);
  ASSERT_FALSE(HasFailure());
  ASSERT_TRUE(world.mount());
  const std::string drive = world.file(TestFolder(GetParam()).substr(1));
  ASSERT_EQ(::mkdir(drive.c_str(), 0755), 0) << std::strerror(errno);
  ASSERT_EQ(::mkdir((drive + "/.git").c_str(), 0755), 0) << std::strerror(errno);
  ASSERT_TRUE(WriteFile(drive + "/.git/HEAD", "ref: refs/heads/main\n"));
  ASSERT_TRUE(WriteFile(drive + "/x", "x"));
  ASSERT_EQ(::unlink((drive + "/x").c_str()), 0) << std::strerror(errno);
  DIR* dir = ::opendir(drive.c_str());
  ASSERT_NE(dir, nullptr) << std::strerror(errno);
  while (dirent* e = ::readdir(dir)) EXPECT_STRNE(e->d_name, "x");
  ::closedir(dir);
  struct stat st {};
  ASSERT_EQ(::stat((drive + "/.git").c_str(), &st), 0) << std::strerror(errno);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(ReadFile(drive + "/.git/HEAD"), "ref: refs/heads/main\n");
  EXPECT_NE(::stat((drive + "/.gitignore").c_str(), &st), 0);
  EXPECT_EQ(errno, ENOENT);
  world.unmountAndStop();
}

// One drive rewrites 4 KiB of a file in place, keeping its size, most often
// within the second it wrote the file in; a second drive that read the file
// shows the change at its next open once its metadata lifetime (none here)
// has passed, though size and whole-second time stayed.
TEST_P(FuseOnServer, ASameSizeChangeShowsOnASecondDrive) {
  MountWorld writer(ValidDrive(GetParam()));
  MountConfig readerConfig = ValidDrive(GetParam());
  readerConfig.id = "reader";
  readerConfig.cache.metaTtlMs = readerConfig.cache.dirTtlMs = readerConfig.cache.negativeTtlMs = 0;
  MountWorld reader(readerConfig);
  ASSERT_FALSE(HasFailure());
  ASSERT_TRUE(writer.mount());
  ASSERT_TRUE(reader.mount());
  const std::string folder = TestFolder(GetParam());
  ASSERT_EQ(::mkdir(writer.file(folder.substr(1)).c_str(), 0755), 0) << std::strerror(errno);
  std::string content = Pattern(300000, 1);
  ASSERT_TRUE(WriteFile(writer.file(folder.substr(1) + "/f"), content));
  ASSERT_TRUE(Eventually([&] { return ServerContent(writer.config, folder + "/f") == content; }));
  const std::string seen = reader.file(folder.substr(1) + "/f");
  ASSERT_TRUE(ReadFile(seen) == content);
  const std::string before = ServerVersion(writer.config, folder + "/f");
  const std::string patch = Pattern(4096, 2);
  content.replace(100000, patch.size(), patch);
  const int fd = ::open(writer.file(folder.substr(1) + "/f").c_str(), O_WRONLY);
  ASSERT_GE(fd, 0) << std::strerror(errno);
  ASSERT_EQ(::pwrite(fd, patch.data(), patch.size(), 100000), static_cast<ssize_t>(patch.size()));
  ASSERT_EQ(::close(fd), 0);
  // NFS-Ganesha may answer with the attributes from before a write for a
  // moment after it: the drive can only see a change the server reports.
  ASSERT_TRUE(Eventually([&] {
    return ServerContent(writer.config, folder + "/f") == content &&
           (before.empty() || ServerVersion(writer.config, folder + "/f") != before);
  }));
  const std::string after = ReadFile(seen);
  EXPECT_TRUE(after == content) << after.size() << " bytes, first difference at "
                                << std::mismatch(after.begin(), after.end(), content.begin(), content.end()).first -
                                       after.begin();
}

// Puts a file on the server past every drive.
Status PutOnServer(IBackend& backend, const std::string& path, const std::string& content) {
  std::unique_ptr<IWriteStream> out;
  Status st = backend.openWrite(path, 0, content.size(), out);
  if (st.ok()) st = out->write(reinterpret_cast<const uint8_t*>(content.data()), content.size());
  return st.ok() ? out->finish(nullptr) : st;
}

std::set<std::string> Listed(const std::string& folder) {
  std::set<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  EXPECT_NE(dir, nullptr) << folder << ": " << std::strerror(errno);
  if (dir == nullptr) return names;
  while (dirent* e = ::readdir(dir))
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.insert(e->d_name);
  ::closedir(dir);
  return names;
}

// Names with the accent as a combining mark (as macOS users' files bring
// them), one made on the server and one through the drive, beside the
// precomposed spelling of the first: each opens, takes a write, renames and
// deletes by the name it is listed under, after every new listing (lifetimes
// of zero), and the other spelling's file is never touched.
TEST_P(FuseOnServer, DecomposedNamesRoundTripBesideTheirComposedTwins) {
  const std::string decomposed = "cafe\xCC\x81.txt", composed = "caf\xC3\xA9.txt";
  const std::string made = "ne\xCC\x81w.txt", moved = "moved-e\xCC\x81.txt", renamedMade = "ne\xCC\x81w-2.txt";
  MountConfig config = ValidDrive(GetParam());
  config.cache.metaTtlMs = config.cache.dirTtlMs = config.cache.negativeTtlMs = 0;
  MountWorld world(config);
  ASSERT_FALSE(HasFailure());
  std::unique_ptr<IBackend> other = MakeBackend(world.config.endpoint);
  ASSERT_TRUE(other && other->connect().ok());
  const std::string folder = TestFolder(GetParam());
  ASSERT_TRUE(other->mkdir(folder).ok());
  ASSERT_TRUE(PutOnServer(*other, folder + "/" + decomposed, "from the server").ok());
  ASSERT_TRUE(PutOnServer(*other, folder + "/" + composed, "the composed twin").ok());
  ASSERT_TRUE(world.mount());
  const std::string drive = world.file(folder.substr(1));
  EXPECT_EQ(Listed(drive), (std::set<std::string>{decomposed, composed}));
  EXPECT_EQ(ReadFile(drive + "/" + decomposed), "from the server");
  EXPECT_EQ(ReadFile(drive + "/" + composed), "the composed twin");

  ASSERT_TRUE(WriteFile(drive + "/" + decomposed, "written through the drive"));
  ASSERT_TRUE(WriteFile(drive + "/" + made, "made through the drive"));
  EXPECT_TRUE(Eventually([&] {
    return ServerContent(world.config, folder + "/" + decomposed) == "written through the drive" &&
           ServerContent(world.config, folder + "/" + made) == "made through the drive";
  }));
  EXPECT_EQ(Listed(drive), (std::set<std::string>{decomposed, composed, made}));
  EXPECT_EQ(ReadFile(drive + "/" + made), "made through the drive");
  EXPECT_EQ(ReadFile(drive + "/" + decomposed), "written through the drive");

  ASSERT_EQ(::rename((drive + "/" + decomposed).c_str(), (drive + "/" + moved).c_str()), 0) << std::strerror(errno);
  ASSERT_EQ(::rename((drive + "/" + made).c_str(), (drive + "/" + renamedMade).c_str()), 0) << std::strerror(errno);
  EXPECT_EQ(Listed(drive), (std::set<std::string>{composed, moved, renamedMade}));
  EXPECT_EQ(ReadFile(drive + "/" + moved), "written through the drive");
  EXPECT_EQ(ReadFile(drive + "/" + renamedMade), "made through the drive");

  ASSERT_EQ(::unlink((drive + "/" + moved).c_str()), 0) << std::strerror(errno);
  ASSERT_EQ(::unlink((drive + "/" + renamedMade).c_str()), 0) << std::strerror(errno);
  EXPECT_EQ(Listed(drive), (std::set<std::string>{composed}));
  world.unmountAndStop();
  std::vector<DirEntry> listing;
  ASSERT_TRUE(other->list(folder, listing).ok());
  std::set<std::string> onServer;
  for (const DirEntry& e : listing) onServer.insert(e.name);
  EXPECT_EQ(onServer, (std::set<std::string>{composed}));
  EXPECT_EQ(ServerContent(world.config, folder + "/" + composed), "the composed twin");
}

// Another client renames a small file over one a program reads through the
// drive, 1 MiB into it: the program gets the whole old file or an I/O
// error, never an early end or bytes the file did not have.
TEST_P(FuseOnServer, AFileReplacedWhileReadGivesTheWholeOldFileOrEIO) {
  constexpr int kRounds = 3;
  MountWorld world(ValidDrive(GetParam()));
  ASSERT_FALSE(HasFailure());
  std::unique_ptr<IBackend> other = MakeBackend(world.config.endpoint);
  ASSERT_TRUE(other && other->connect().ok());
  const std::string folder = TestFolder(GetParam());
  ASSERT_TRUE(other->mkdir(folder).ok());
  ASSERT_TRUE(world.mount());
  const std::string old = Pattern(24u << 20, 3);
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const std::string name = folder + "/big" + std::to_string(round);
    ASSERT_TRUE(PutOnServer(*other, name, old).ok());
    ASSERT_TRUE(PutOnServer(*other, folder + "/small", std::string(1000, 's')).ok());
    const int fd = ::open(world.file(name.substr(1)).c_str(), O_RDONLY);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    std::string got(old.size(), '\0');
    size_t done = 0;
    ssize_t n = 0;
    while (done < (1u << 20) && (n = ::read(fd, got.data() + done, (1u << 20) - done)) > 0) done += n;
    ASSERT_EQ(done, 1u << 20);
    ASSERT_TRUE(other->rename(folder + "/small", name, true).ok());
    int error = 0;
    while (done < old.size()) {
      n = ::read(fd, got.data() + done, old.size() - done);
      if (n <= 0) {
        error = n < 0 ? errno : 0;
        break;
      }
      done += n;
    }
    ::close(fd);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + done, old.begin())) << "bytes the file never had";
    if (done < old.size()) {
      EXPECT_EQ(error, EIO) << "ended after " << done << " bytes";
    }
  }
}

// The drive served by a child process, killed with SIGKILL while the test
// writes through it; the files closed before that are byte-exact on the
// server after the drive is mounted again from the same cache.
TEST_P(FuseOnServer, FilesClosedBeforeAKillReachTheServer) {
  const MountConfig config = ValidDrive(GetParam());
  ASSERT_FALSE(HasFailure());
  TempDir dir("tarn-mount-crash", 0755);
  const std::string mountPoint = dir.file("drive");
  const std::string cacheRoot = dir.file("cache");
  const std::string folder = TestFolder(GetParam());
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Nothing is uploaded before the kill: every closed file must come
    // back from the cache alone.
    MountConfig held = config;
    held.cache.writebackDelayMs = 3600 * 1000;
    auto volume = std::make_shared<Volume>(held, cacheRoot, Volume::BackendFactory());
    FuseMountHost host;
    const bool up = volume->start(nullptr).ok() && host.mount(volume, mountPoint).ok();
    const char byte = up ? 1 : 0;
    if (::write(ready[1], &byte, 1) != 1 || !up) ::_exit(1);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  ::close(ready[0]);
  ASSERT_EQ(byte, 1) << "the child could not mount";

  const std::string small = "closed before the kill\n";
  const std::string big = Pattern(3 * 1024 * 1024 + 123, 9);
  const std::string patched = Pattern(200000, 3);
  std::string patchedExpect = patched;
  patchedExpect.replace(70000, 5, "PATCH");
  const std::string drive = mountPoint + folder;
  ASSERT_EQ(::mkdir(drive.c_str(), 0755), 0) << std::strerror(errno);
  ASSERT_TRUE(WriteFile(drive + "/small.txt", small));
  ASSERT_TRUE(WriteFile(drive + "/big.bin", big));
  ASSERT_TRUE(WriteFile(drive + "/patched.bin", patched));
  {
    const int fd = ::open((drive + "/patched.bin").c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, "PATCH", 5, 70000), 5);
    ASSERT_EQ(::close(fd), 0);
  }
  // A writer still at work when the process dies.
  std::atomic<bool> wrote{false};
  std::thread writer([&] {
    const int fd = ::open((drive + "/open.bin").c_str(), O_CREAT | O_WRONLY, 0644);
    if (fd < 0) return;
    const std::string chunk = Pattern(64 * 1024, 1);
    while (::write(fd, chunk.data(), chunk.size()) > 0) wrote = true;
    ::close(fd);
  });
  while (!wrote.load()) std::this_thread::yield();
  ASSERT_EQ(::kill(child, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  writer.join();

  MountConfig again = config;
  again.cache.writebackDelayMs = MountWorld::kWritebackMs;
  auto volume = std::make_shared<Volume>(again, cacheRoot, Volume::BackendFactory());
  ASSERT_TRUE(volume->start(nullptr).ok());
  FuseMountHost host;
  Status st = host.mount(volume, mountPoint);  // over the dead process's mount
  ASSERT_TRUE(st.ok()) << st.toString();
  ASSERT_TRUE(host.unmount(MountWorld::kFlushMs).ok());
  volume->stop(MountWorld::kFlushMs);
  EXPECT_EQ(ServerContent(config, folder + "/small.txt"), small);
  EXPECT_TRUE(ServerContent(config, folder + "/big.bin") == big) << "big.bin differs on the server";
  EXPECT_TRUE(ServerContent(config, folder + "/patched.bin") == patchedExpect) << "patched.bin differs";
}

// The local folder the test server serves (the servers run on this
// machine): what a reader on the server itself finds there, past every
// answer of the server's protocol.
std::string ServedFolder(const std::string& server) {
  if (server == "webdav") return ServerEnv("TARN_DAV_DIR");
  if (server == "nginx") return ServerEnv("TARN_DAV_NGINX_DIR");
  if (server == "lighttpd") return ServerEnv("TARN_DAV_LIGHTTPD_DIR");
  if (server == "sftp") return ServerEnv("SFTP_ROOT");
  return ServerEnv("TARN_NFS_EXPORT_DIR");
}

// The versions of the document an editor saves, of differing sizes.
std::string EditorVersion(int i) { return Pattern(20000 + 1000 * static_cast<uint64_t>(i), static_cast<uint32_t>(i)); }

// Mounts the drive and makes its folder, whose document (`doc` on the
// server, in `drive` on the drive) then holds version 0 on the server;
// false (with a failure) otherwise.
bool StartEditorFolder(MountWorld& world, const std::string& drive, const std::string& doc) {
  if (!world.mount()) return false;
  const bool made = ::mkdir(drive.c_str(), 0755) == 0;
  EXPECT_TRUE(made) << std::strerror(errno);
  const bool written = made && WriteFile(drive + "/doc.txt", EditorVersion(0));
  EXPECT_TRUE(written);
  const bool sent = written && Eventually([&] { return ServerContent(world.config, doc) == EditorVersion(0); });
  EXPECT_TRUE(sent);
  return sent;
}

// The save of editors and office programs: a temporary written, flushed,
// closed and renamed over the document, again and again, while a reader on
// the server reads the document over and over. Each read finds a whole
// version, never an empty, missing or half-written file: what the servers
// do with a rename over a file and with an upload (Apache's MOVE removes the
// target first; every whole upload replaces its target in one step) is what
// this depends on. No temporary stays on the server.
TEST_P(FuseOnServer, AnEditorsSavesShowTheServersReadersOnlyWholeVersions) {
  constexpr int kSaves = 20;
  MountWorld world(ValidDrive(GetParam()));
  const std::string served = ServedFolder(GetParam());
  ASSERT_FALSE(HasFailure());
  const std::string folder = TestFolder(GetParam());
  const std::string drive = world.file(folder.substr(1)), doc = folder + "/doc.txt";
  ASSERT_TRUE(StartEditorFolder(world, drive, doc));
  const auto version = EditorVersion;
  std::atomic<bool> stop{false};
  std::atomic<int> reads{0};
  std::string seen;  // the reader's alone until it is joined
  std::thread reader([&] {
    const std::string file = served + doc;
    while (!stop.load()) {
      std::string what;
      const int fd = ::open(file.c_str(), O_RDONLY);
      if (fd < 0) {
        what = errno == ENOENT ? "nothing" : std::strerror(errno);
      } else {
        std::string content;
        char buffer[8192];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) content.append(buffer, static_cast<size_t>(n));
        ::close(fd);
        bool whole = false;
        for (int i = 0; i <= kSaves && !whole; ++i) whole = content == version(i);
        if (!whole) what = content.empty() ? "an empty file" : std::to_string(content.size()) + " bytes of no version";
      }
      ++reads;
      if (!what.empty() && seen.size() < 1000) seen += what + "; ";
    }
  });
  const std::string temp = drive + "/.doc.txt.tmp";
  // One save as the editor makes it; false (the test failed) when a step fails.
  auto save = [&](const std::string& content) {
    const int fd = ::open(temp.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    EXPECT_GE(fd, 0) << std::strerror(errno);
    if (fd < 0) return false;
    const bool written = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    const bool synced = ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    const bool renamed = ::rename(temp.c_str(), (drive + "/doc.txt").c_str()) == 0;
    EXPECT_TRUE(written && synced && closed && renamed) << std::strerror(errno);
    return written && synced && closed && renamed;
  };
  for (int i = 1; i <= kSaves && save(version(i)); ++i) {
    // Every other save waits for the server to have it; the rest follow at once.
    if (i % 2 == 0 && !Eventually([&] { return ServerContent(world.config, doc) == version(i); })) {
      ADD_FAILURE() << "save " << i << " never reached the server";
      break;
    }
  }
  EXPECT_TRUE(Eventually([&] { return ServerContent(world.config, doc) == version(kSaves); }));
  stop = true;
  reader.join();
  EXPECT_EQ(seen, "") << "in " << reads.load() << " reads of the server's document";
  EXPECT_GT(reads.load(), kSaves);
  world.unmountAndStop();
  std::unique_ptr<IBackend> backend = MakeBackend(world.config.endpoint);
  std::vector<DirEntry> listing;
  ASSERT_TRUE(backend->connect().ok() && backend->list(folder, listing).ok());
  std::string names;
  for (const DirEntry& e : listing) names += e.name + " ";
  EXPECT_EQ(names, "doc.txt ");
}

// The save of an editor that keeps a backup (vim's): the document renamed
// to the backup, a new document written, synced and closed, the backup
// deleted. A reader of the server's own folder, every 2 ms, finds a whole
// version under one of the two names in every look: the backup leaves the
// server only once the new document has arrived there.
TEST_P(FuseOnServer, AnEditorsSavesWithABackupLeaveTheServerAWholeCopyThroughout) {
  constexpr int kSaves = 20;
  MountWorld world(ValidDrive(GetParam()));
  const std::string served = ServedFolder(GetParam());
  ASSERT_FALSE(HasFailure());
  const std::string folder = TestFolder(GetParam());
  const std::string drive = world.file(folder.substr(1)), doc = folder + "/doc.txt";
  ASSERT_TRUE(StartEditorFolder(world, drive, doc));
  const auto version = EditorVersion;
  std::vector<std::string> versions;
  for (int i = 0; i <= kSaves; ++i) versions.push_back(version(i));
  // What a look finds under a name: "whole", or what else is there and, for
  // a file, which one (every create and upload makes a new file there).
  auto look = [&](const std::string& file) -> std::string {
    const int fd = ::open(file.c_str(), O_RDONLY);
    if (fd < 0) return "missing";
    struct stat st;
    std::string content;
    char buffer[65536];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) content.append(buffer, static_cast<size_t>(n));
    const bool known = ::fstat(fd, &st) == 0;
    ::close(fd);
    if (std::find(versions.begin(), versions.end(), content) != versions.end()) return "whole";
    return std::to_string(content.size()) + " bytes" + (known ? " in file " + std::to_string(st.st_ino) : "");
  };
  std::atomic<bool> stop{false};
  std::atomic<int> looks{0};
  std::string seen;  // the reader's alone until it is joined
  std::thread reader([&] {
    const std::string file = served + doc;
    while (!stop.load()) {
      // The document is looked at again after the backup: when another file
      // stands there, the server went on between the looks (a save ended and
      // the next began) and the look tells nothing.
      const std::string first = look(file);
      if (first != "whole") {
        const std::string backup = look(file + "~");
        if (backup != "whole" && look(file) == first && seen.size() < 1000)
          seen += "the document " + first + ", the backup " + backup + "; ";
      }
      ++looks;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  const std::string current = drive + "/doc.txt", backup = current + "~";
  auto save = [&](const std::string& content) {
    const bool moved = ::rename(current.c_str(), backup.c_str()) == 0;
    const int fd = ::open(current.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    EXPECT_TRUE(moved && fd >= 0) << std::strerror(errno);
    if (!moved || fd < 0) return false;
    const bool written = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    const bool synced = ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    const bool deleted = ::unlink(backup.c_str()) == 0;
    EXPECT_TRUE(written && synced && closed && deleted) << std::strerror(errno);
    return written && synced && closed && deleted;
  };
  for (int i = 1; i <= kSaves && save(version(i)); ++i) {
    // Every other save waits for the server to have it; the rest follow at once.
    if (i % 2 == 0 && !Eventually([&] { return ServerContent(world.config, doc) == version(i); })) {
      ADD_FAILURE() << "save " << i << " never reached the server";
      break;
    }
  }
  EXPECT_TRUE(Eventually([&] {
    return ServerContent(world.config, doc) == version(kSaves) && ::access((served + doc + "~").c_str(), F_OK) != 0;
  }));
  stop = true;
  reader.join();
  EXPECT_EQ(seen, "") << "in " << looks.load() << " looks at the server's folder";
  EXPECT_GT(looks.load(), kSaves);
  EXPECT_EQ(ReadFile(current), version(kSaves));
}

// Another client puts files into folders the drive listed a moment ago.
// Creating such a name opens their file (`echo mine > x.txt` replaces its
// content) rather than failing with ENOENT, and O_EXCL gives EEXIST and
// leaves it. An rmdir of such a folder, or a rename onto it, refuses with
// ENOTEMPTY and their file stays, also on WebDAV, whose server would
// delete or replace the folder whole.
TEST_P(FuseOnServer, NamesAnotherClientMadeSinceTheListingAreNeitherMissingNorLost) {
  MountWorld world(ValidDrive(GetParam()));
  ASSERT_FALSE(HasFailure());
  std::unique_ptr<IBackend> other = MakeBackend(world.config.endpoint);
  ASSERT_TRUE(other && other->connect().ok());
  ASSERT_TRUE(world.mount());
  const std::string folder = TestFolder(GetParam());
  const std::string drive = world.file(folder.substr(1));
  for (const char* sub : {"", "/d", "/e", "/a"})
    ASSERT_EQ(::mkdir((drive + sub).c_str(), 0755), 0) << sub << ": " << std::strerror(errno);
  for (const char* sub : {"", "/d", "/e"}) {
    DIR* dir = ::opendir((drive + sub).c_str());
    ASSERT_NE(dir, nullptr) << std::strerror(errno);
    while (::readdir(dir) != nullptr) {
    }
    ::closedir(dir);
  }
  for (const char* name : {"/x.txt", "/y.txt", "/d/in.txt", "/e/in.txt"})
    ASSERT_TRUE(PutOnServer(*other, folder + name, "theirs").ok()) << name;

  EXPECT_EQ(::open((drive + "/y.txt").c_str(), O_CREAT | O_EXCL | O_WRONLY, 0644), -1);
  EXPECT_EQ(errno, EEXIST) << std::strerror(errno);
  EXPECT_TRUE(WriteFile(drive + "/x.txt", "mine")) << std::strerror(errno);
  EXPECT_EQ(::rmdir((drive + "/d").c_str()), -1);
  EXPECT_EQ(errno, ENOTEMPTY) << std::strerror(errno);
  EXPECT_EQ(::rename((drive + "/a").c_str(), (drive + "/e").c_str()), -1);
  EXPECT_EQ(errno, ENOTEMPTY) << std::strerror(errno);
  struct stat st {};
  EXPECT_EQ(::stat((drive + "/a").c_str(), &st), 0) << std::strerror(errno);
  EXPECT_TRUE(Eventually([&] { return ServerContent(world.config, folder + "/x.txt") == "mine"; }));
  for (const char* name : {"/y.txt", "/d/in.txt", "/e/in.txt"})
    EXPECT_EQ(ServerContent(world.config, folder + name), "theirs") << name;
  world.unmountAndStop();
}

INSTANTIATE_TEST_SUITE_P(Servers, FuseOnServer, ::testing::Values("webdav", "nginx", "lighttpd", "sftp", "nfs"),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

// Servers that keep the times they are given.
class TimesOnServer : public FuseOnServer {};

// tar x and cp -a make files and folders and then set their times; ls -l
// right after (a listing with every entry's attributes) shows those times,
// though the folder was listed before they were made.
TEST_P(TimesOnServer, AListingRightAfterTimesWereSetShowsThem) {
  const struct timespec set[2] = {{978307200, 0}, {978307200, 0}};  // 2001-01-01
  MountWorld world(ValidDrive(GetParam()));
  ASSERT_FALSE(HasFailure());
  ASSERT_TRUE(world.mount());
  ASSERT_TRUE(world.volume->caps()->setMtime && world.config.compat.setMtime);
  const std::string drive = world.file(TestFolder(GetParam()).substr(1));
  ASSERT_EQ(::mkdir(drive.c_str(), 0755), 0) << std::strerror(errno);
  EXPECT_EQ(Listed(drive), std::set<std::string>{});
  ASSERT_TRUE(WriteFile(drive + "/empty", ""));
  ASSERT_EQ(::mkdir((drive + "/sub").c_str(), 0755), 0) << std::strerror(errno);
  for (const char* name : {"empty", "sub"})
    ASSERT_EQ(::utimensat(AT_FDCWD, (drive + "/" + name).c_str(), set, 0), 0) << name << ": " << std::strerror(errno);
  EXPECT_EQ(Listed(drive), (std::set<std::string>{"empty", "sub"}));
  for (const char* name : {"empty", "sub"}) {
    struct stat st {};
    ASSERT_EQ(::stat((drive + "/" + name).c_str(), &st), 0) << std::strerror(errno);
    EXPECT_EQ(st.st_mtim.tv_sec, set[1].tv_sec) << name;
  }
  world.unmountAndStop();
}

INSTANTIATE_TEST_SUITE_P(Servers, TimesOnServer, ::testing::Values("sftp", "nfs"),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

// A drive whose server goes away and refuses connections (a relay before it
// is taken down): the files it cached still open and read, and the folders
// it listed still list, whatever the protocol. Metadata lifetimes of zero
// make every look a question for the server, as once they expire.
class ServerGone : public ::testing::TestWithParam<std::string> {
 protected:
  void TearDown() override { RemoveFromServer(ValidDrive(GetParam()), TestFolder(GetParam())); }
};

TEST_P(ServerGone, CachedFilesStayReadable) {
  MountConfig config = ValidDrive(GetParam());
  auto relay = std::make_unique<tarn::testing::TcpRelay>(config.endpoint.port);
  config.endpoint.port = relay->port();
  config.cache.metaTtlMs = config.cache.dirTtlMs = config.cache.negativeTtlMs = 0;
  config.cache.writebackDelayMs = 0;
  const TempDir cacheRoot("tarn-gone-cache");
  Volume v(config, cacheRoot.path(), Volume::BackendFactory());
  ASSERT_TRUE(v.start(nullptr).ok());
  const std::string folder = TestFolder(GetParam());
  const std::string content = "cached before the server went away";
  std::shared_ptr<OpenFile> file;
  ASSERT_TRUE(v.create(folder, true, file).ok());
  ASSERT_TRUE(v.create(folder + "/f", false, file).ok());
  ASSERT_TRUE(v.write(file, 0, content.data(), content.size()).ok());
  v.closeNow(file);
  ASSERT_TRUE(v.waitUploadsIdle(MountWorld::kFlushMs));
  std::vector<DirEntry> listing;
  ASSERT_TRUE(v.readdir(folder, listing).ok());
  ASSERT_TRUE(v.open(folder + "/f", file).ok());
  v.closeNow(file);

  relay.reset();
  RemoteAttr attr;
  Status st = v.getattr(folder + "/f", attr);
  ASSERT_TRUE(st.ok()) << st.toString();
  EXPECT_EQ(attr.size, content.size());
  st = v.readdir(folder, listing);
  ASSERT_TRUE(st.ok()) << st.toString();
  ASSERT_EQ(listing.size(), 1u);
  EXPECT_EQ(listing[0].name, "f");
  st = v.open(folder + "/f", file);
  ASSERT_TRUE(st.ok()) << st.toString();
  std::string got(content.size(), '\0');
  uint64_t n = 0;
  st = v.read(file, 0, got.data(), got.size(), n);
  EXPECT_TRUE(st.ok()) << st.toString();
  EXPECT_EQ(got.substr(0, n), content);
  v.closeNow(file);
  v.stop(0);
}

INSTANTIATE_TEST_SUITE_P(Servers, ServerGone, ::testing::Values("webdav", "nginx", "lighttpd", "sftp"),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

// A drive whose server stops answering (a relay that stops passing bytes, as
// a stopped server process does). Within the metadata lifetimes what the
// drive cached needs no server: a cached file's attributes, its folder's
// listing, opening it, reading it through a handle opened before and after
// the hang and closing answer at once, with time-outs far longer than the
// test waits. Past the lifetimes every question for the server ends within
// its short time-outs and the cached copy still serves; a cached answer
// waits no longer than the connect time-out, however long the I/O time-out.
// Whatever the protocol (NFS speaks to more than one port and has no relay
// here).
class ServerHung : public ::testing::TestWithParam<std::string> {
 protected:
  void TearDown() override { RemoveFromServer(ValidDrive(GetParam()), TestFolder(GetParam())); }
};

TEST_P(ServerHung, CachedFilesAnswerWithinTheTimeOutsOrAtOnce) {
  constexpr uint32_t kHour = 3600000;
  struct Case {
    const char* what;
    uint32_t lifetimeMs;
    uint32_t connectTimeoutMs;
    uint32_t ioTimeoutMs;
    // Pings of idle connections run into the silence too; without them the
    // first look waits on an open connection rather than for a new one.
    uint32_t keepaliveSec = 1;
  } cases[] = {
      {"seen within the lifetimes", kHour, kHour, kHour},
      {"lifetimes over", 0, 1000, 1000},
      {"lifetimes over, the I/O time-out long", 0, 5000, kHour},
      {"lifetimes over, the I/O time-out long, no pings", 0, 5000, kHour, 0},
  };
  const std::string top = TestFolder(GetParam());
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    MountConfig config = ValidDrive(GetParam());
    tarn::testing::TcpRelay relay(config.endpoint.port);
    config.endpoint.port = relay.port();
    config.net.ioTimeoutMs = c.ioTimeoutMs;
    // An SSH handshake on two busy cores under the sanitizers may take more
    // than a second; the questions of the hang run on the open connection.
    config.net.connectTimeoutMs = std::max(c.connectTimeoutMs, 5000u);
    config.net.keepaliveSec = c.keepaliveSec;
    CopyNetToEndpoint(config);
    config.cache.metaTtlMs = config.cache.dirTtlMs = config.cache.negativeTtlMs = c.lifetimeMs;
    config.cache.writebackDelayMs = 0;
    const TempDir cacheRoot("tarn-hung-cache");
    Volume v(config, cacheRoot.path(), Volume::BackendFactory());
    ASSERT_TRUE(v.start(nullptr).ok());
    const std::string folder = top + "/" + std::to_string(i);
    const std::string path = folder + "/f";
    const std::string content = std::string("cached before the server stopped answering, ") + c.what;
    std::shared_ptr<OpenFile> before;
    if (i == 0) {
      const Status made = v.create(top, true, before);
      ASSERT_TRUE(made.ok()) << made.toString();
    }
    const Status made = v.create(folder, true, before);
    ASSERT_TRUE(made.ok()) << c.what << ": " << made.toString();
    ASSERT_TRUE(v.create(path, false, before).ok());
    ASSERT_TRUE(v.write(before, 0, content.data(), content.size()).ok());
    v.closeNow(before);
    ASSERT_TRUE(v.waitUploadsIdle(MountWorld::kFlushMs));
    std::vector<DirEntry> listing;
    ASSERT_TRUE(v.readdir(folder, listing).ok());
    ASSERT_TRUE(v.open(path, before).ok());

    relay.pause(true);
    std::atomic<const char*> step{"nothing yet"};
    auto calls = std::async(std::launch::async, [&]() -> std::string {
      auto read = [&](const std::shared_ptr<OpenFile>& file) {
        std::string got(content.size(), '\0');
        uint64_t n = 0;
        Status st = v.read(file, 0, got.data(), got.size(), n);
        return st.ok() ? got.substr(0, n) : st.toString();
      };
      step = "reading through the handle opened before";
      if (std::string got = read(before); got != content) return got;
      RemoteAttr attr;
      step = "getattr";
      if (Status st = v.getattr(path, attr); !st.ok() || attr.size != content.size()) return st.toString();
      step = "readdir";
      std::vector<DirEntry> entries;
      if (Status st = v.readdir(folder, entries); !st.ok() || entries.size() != 1) return st.toString();
      std::shared_ptr<OpenFile> after;
      step = "open";
      if (Status st = v.open(path, after); !st.ok()) return st.toString();
      step = "reading through a handle opened during the hang";
      if (std::string got = read(after); got != content) return got;
      step = "close";
      v.closeNow(after);
      v.closeNow(before);
      step = "done";
      return "";
    });
    const bool answered =
        calls.wait_for(std::chrono::milliseconds(Gate::kDefaultWaitMs)) == std::future_status::ready;
    EXPECT_TRUE(answered) << c.what << ": " << step.load() << " waited for the silent server";
    relay.pause(false);
    EXPECT_EQ(calls.get(), "") << c.what << ": " << step.load();
    v.stop(0);
  }
}

INSTANTIATE_TEST_SUITE_P(Servers, ServerHung, ::testing::Values("webdav", "sftp"),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
}  // namespace tarn::test
