#include "backup/engine/folder_walk.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <unordered_map>

#include "foundation/file_util.h"
#include "platform/caller_rights.h"
#include "testing/deep_tree.h"
#include "testing/eventually.h"
#include "testing/temp_dir.h"

namespace tarn::backup {
namespace {

namespace fs = std::filesystem;

constexpr ChunkerParams kSmallChunks{16384, 32768, 65536, 11};
constexpr uint64_t kTicksPerSecond = 10000000;
constexpr uint64_t kSecondsFrom1601To1970 = 11644473600;
const CallerToken kNobody{4242, 4343, {}};

// Keeps the blobs in memory under their real ids, so that the test can read
// back what the walk stored. It can refuse a store and forget a blob (as a
// cleanup of the repository would retire it).
class MemorySink : public BlobSink {
 public:
  Status storeBlob(uint8_t type, const uint8_t* data, size_t size, BlobId& id) override {
    std::lock_guard<std::mutex> lock(mu_);
    if (++stores == failAt) return Status(Status::kNetwork, "upload failed");
    id = ComputeBlobId(key_, data, size);
    blobs[id] = {type, std::string(reinterpret_cast<const char*>(data), size)};
    return Status();
  }
  bool hasBlob(const BlobId& id) const override {
    std::lock_guard<std::mutex> lock(mu_);
    return blobs.count(id) != 0;
  }

  std::vector<ListingEntry> listing(const BlobId& tree) const {
    std::vector<ListingEntry> out;
    auto it = blobs.find(tree);
    EXPECT_NE(it, blobs.end());
    if (it == blobs.end()) return out;
    EXPECT_EQ(it->second.first, kTreeBlob);
    EXPECT_TRUE(ParseFolderListing(it->second.second, out));
    return out;
  }
  std::string content(const ListingEntry& e) const {
    std::string out;
    for (const BlobId& id : e.content) out += blobs.at(id).second;
    return out;
  }

  // Read by the test once the walk is over; written under mu_ during it.
  std::unordered_map<BlobId, std::pair<uint8_t, std::string>, BlobIdHash> blobs;
  int failAt = 0;
  int stores = 0;

 private:
  mutable std::mutex mu_;
  std::vector<uint8_t> key_ = std::vector<uint8_t>(kIdKeySize, 0x5A);
};

std::map<std::string, ListingEntry> ByName(const std::vector<ListingEntry>& entries) {
  std::map<std::string, ListingEntry> out;
  for (const ListingEntry& e : entries) out[e.name] = e;
  return out;
}

std::string RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string out(size, '\0');
  for (char& c : out) c = static_cast<char>(rng());
  return out;
}

std::vector<std::string> Names(const std::vector<ListingEntry>& entries) {
  std::vector<std::string> out;
  for (const ListingEntry& e : entries) out.push_back(e.name);
  return out;
}

class FolderWalkTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directory(src_); }
  void TearDown() override {
    for (auto it = mounted_.rbegin(); it != mounted_.rend(); ++it) ::umount2(it->c_str(), MNT_DETACH);
  }
  // Mounts a file system of `type` on the folder `name` below the source;
  // tests run as root.
  void Mount(const std::string& name, const char* type) {
    const std::string point = src_ + "/" + name;
    ASSERT_EQ(::mount(type, point.c_str(), type, 0, nullptr), 0)
        << "mounting " << type << " needs root: " << std::strerror(errno);
    mounted_.push_back(point);
  }
  std::string Write(const std::string& name, const std::string& data, mode_t mode = 0644) {
    std::string path = src_ + "/" + name;
    std::ofstream(path, std::ios::binary) << data;
    EXPECT_EQ(::chmod(path.c_str(), mode), 0);
    return path;
  }
  void Mkdir(const std::string& name, mode_t mode = 0755) {
    std::string path = src_ + "/" + name;
    ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
  }

  struct Run {
    Status status;
    BlobId tree;
    bool stored = false;
    std::vector<std::string> problems;
    uint64_t files = 0, dirs = 0, bytes = 0;
    uint64_t bytesRead = 0, errors = 0, skipped = 0;
    WalkNotes notes;
  };
  // One walk of src_, with the file-state cache in state_ when asked. With
  // `user` the walk (not the cache) runs with that user's rights, so that
  // permissions count (root reads everything).
  Run Walk(MemorySink& sink, bool withState, const std::vector<std::string>& excludes = {},
           const CancelToken* cancel = nullptr, const CallerToken* user = nullptr,
           int readers = kDefaultFileReaders, FolderWalk::ReadHook hook = nullptr) {
    Run run;
    Progress progress;
    FileStateCache state;
    if (withState) {
      state.open(state_ + "/state.bin");
      state.prepareWriter(state_);
    }
    FolderWalk walk(sink, kSmallChunks, excludes, withState ? &state : nullptr, progress, cancel, run.problems,
                    readers);
    if (hook) walk.setReadHook(std::move(hook));
    {
      ScopedCallerRights rights;
      if (user != nullptr) {
        EXPECT_TRUE(rights.enter(*user).ok());
      }
      run.status = walk.backupFolder(src_, run.tree, run.stored);
    }
    if (run.status.ok() && withState) state.commit();
    run.files = walk.files();
    run.dirs = walk.dirs();
    run.bytes = walk.bytes();
    run.bytesRead = progress.bytesRead;
    run.errors = progress.errors;
    run.skipped = progress.skipped;
    run.notes = walk.notes();
    EXPECT_EQ(progress.files, run.files);
    EXPECT_EQ(progress.dirs, run.dirs);
    return run;
  }

  test::TempDir root_{"tarn-walk", 0755};
  const std::string src_ = root_.file("src");
  const std::string state_ = root_.file("state");
  std::vector<std::string> mounted_;
};

TEST_F(FolderWalkTest, TreeWithEveryKindOfEntry) {
  const std::string large = RandomBytes(300000, 5);
  Write("large.bin", large);
  Write("empty", "");
  Write("small.txt", "hello");
  Write("readonly.txt", "ro", 0444);
  Write("locked", "secret", 0000);
  Write("bad\xFFname", "x");
  Write("Upper", "u");
  ASSERT_EQ(::symlink("small.txt", (src_ + "/link-to-file").c_str()), 0);
  ASSERT_EQ(::symlink("sub", (src_ + "/link-to-folder").c_str()), 0);
  ASSERT_EQ(::symlink("missing", (src_ + "/dangling").c_str()), 0);
  ASSERT_EQ(::symlink("loop", (src_ + "/loop").c_str()), 0);
  ASSERT_EQ(::mkfifo((src_ + "/fifo").c_str(), 0644), 0);
  int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::string sockPath = src_ + "/socket";
  ASSERT_LT(sockPath.size(), sizeof addr.sun_path);
  std::copy(sockPath.begin(), sockPath.end(), addr.sun_path);
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ::close(sock);
  Mkdir("sub");
  Write("sub/nested.txt", "nested");
  Write("sub/skip.TMP", "excluded by name");
  Mkdir("only-here");
  Write("only-here/x.log", "excluded by full path");
  Mkdir("closed", 0000);
  Mkdir("mnt");
  Mount("mnt", "tmpfs");
  std::ofstream(src_ + "/mnt/other-fs.txt") << "not ours";
  const timespec times[2] = {{1614834367, 123456789}, {1614834367, 123456789}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (src_ + "/small.txt").c_str(), times, AT_SYMLINK_NOFOLLOW), 0);

  MemorySink sink;
  Run run = Walk(sink, false, {"*.tmp", src_ + "/only-here/*.log"}, nullptr, &kNobody);

  ASSERT_TRUE(run.status.ok()) << run.status.toString();
  ASSERT_TRUE(run.stored);
  std::vector<ListingEntry> top = sink.listing(run.tree);
  EXPECT_EQ(Names(top), (std::vector<std::string>{"Upper", "empty", "large.bin", "link-to-file", "mnt", "only-here",
                                                  "readonly.txt", "small.txt", "sub"}));
  auto byName = ByName(top);
  EXPECT_EQ(sink.content(byName["large.bin"]), large);
  EXPECT_GT(byName["large.bin"].content.size(), 4u);
  EXPECT_EQ(byName["large.bin"].size, large.size());
  EXPECT_TRUE(byName["empty"].content.empty());
  EXPECT_EQ(byName["empty"].size, 0u);
  EXPECT_EQ(byName["link-to-file"].content, byName["small.txt"].content);
  EXPECT_EQ(byName["small.txt"].mtime, (1614834367 + kSecondsFrom1601To1970) * kTicksPerSecond + 1234567);
  EXPECT_EQ(byName["small.txt"].attributes, kAttributeNormal);
  EXPECT_EQ(byName["readonly.txt"].attributes, kAttributeReadOnly);
  EXPECT_TRUE(byName["sub"].isDir);
  EXPECT_EQ(byName["sub"].attributes, kAttributeDirectory);
  EXPECT_EQ(byName["sub"].mtime, 0u);
  EXPECT_EQ(Names(sink.listing(byName["sub"].tree)), std::vector<std::string>{"nested.txt"});
  EXPECT_TRUE(sink.listing(byName["only-here"].tree).empty());
  // A tmpfs mounted below the source is part of it.
  const std::vector<ListingEntry> other = sink.listing(byName["mnt"].tree);
  ASSERT_EQ(Names(other), std::vector<std::string>{"other-fs.txt"});
  EXPECT_EQ(sink.content(other[0]), "not ours");

  EXPECT_EQ(run.problems, (std::vector<std::string>{
                              src_ + "/bad\\xFFname: the name is not valid UTF-8",
                              src_ + "/closed: cannot list the folder (Permission denied)",
                              src_ + "/locked: cannot open (Permission denied)",
                          }));
  EXPECT_EQ(run.errors, 3u);
  EXPECT_EQ(run.skipped, 5u);  // link to a folder, two links that lead nowhere, FIFO, socket
  EXPECT_EQ(run.notes.specialFiles, 2u);
  EXPECT_EQ(run.notes.danglingLinks, 2u);
  EXPECT_TRUE(run.notes.skippedMounts.empty());
  EXPECT_EQ(run.files, 8u);
  EXPECT_EQ(run.dirs, 4u);
  const uint64_t contentBytes = large.size() + 5 + 2 + 1 + 5 + 6 + 8;
  EXPECT_EQ(run.bytes, contentBytes);
  EXPECT_EQ(run.bytesRead, contentBytes);
}

TEST_F(FolderWalkTest, FileSystemsBelowASourceAreWalkedUnlessVirtualOrRemote) {
  Mkdir("ram");
  Mount("ram", "tmpfs");
  Write("ram/a.txt", "a");
  Mkdir("ram/deeper");
  Mount("ram/deeper", "tmpfs");
  Write("ram/deeper/b.txt", "b");
  Mkdir("ram/proc");
  Mount("ram/proc", "proc");
  Mkdir("proc");
  Mount("proc", "proc");

  MemorySink sink;
  Run run = Walk(sink, false);
  ASSERT_TRUE(run.status.ok()) << run.status.toString();
  std::vector<ListingEntry> top = sink.listing(run.tree);
  EXPECT_EQ(Names(top), std::vector<std::string>{"ram"});
  std::vector<ListingEntry> ram = sink.listing(ByName(top)["ram"].tree);
  EXPECT_EQ(Names(ram), (std::vector<std::string>{"a.txt", "deeper"}));
  std::vector<ListingEntry> deeper = sink.listing(ByName(ram)["deeper"].tree);
  ASSERT_EQ(Names(deeper), std::vector<std::string>{"b.txt"});
  EXPECT_EQ(sink.content(deeper[0]), "b");
  EXPECT_EQ(run.notes.skippedMounts, (std::vector<std::string>{src_ + "/proc (proc)", src_ + "/ram/proc (proc)"}));
  EXPECT_EQ(run.skipped, 2u);
  EXPECT_TRUE(run.problems.empty());
}

TEST(FolderWalkMounts, KernelNetworkAndFuseFileSystemsAreLeftOut) {
  struct Case {
    const char* type;
    bool leftOut;
  } cases[] = {
      {"tmpfs", false},   {"ext4", false},     {"btrfs", false},     {"xfs", false},      {"overlay", false},
      {"vfat", false},    {"proc", true},      {"sysfs", true},      {"devtmpfs", true},  {"cgroup2", true},
      {"nfs4", true},     {"cifs", true},      {"fuse", true},       {"fuseblk", true},   {"fuse.sshfs", true},
      {"fuse.tarn", true}, {"autofs", true},   {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsLeftOutFileSystem(c.type), c.leftOut) << c.type;
}

TEST_F(FolderWalkTest, AFileThatChangesWhileItIsReadIsReadAgain) {
  constexpr size_t kSize = 100000;
  constexpr int64_t kFirstTime = 1600000000;
  // Generations of one file, all of one size: only the times tell them
  // apart, as with a program that rewrites a file in place.
  auto writeGeneration = [&](int g) {
    Write("changing", RandomBytes(kSize, uint32_t(100 + g)));
    const timespec times[2] = {{kFirstTime + g, 0}, {kFirstTime + g, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (src_ + "/changing").c_str(), times, 0), 0);
  };
  struct Case {
    const char* what;
    int changes;  // reads after which the file is rewritten
    int stored;   // the generation stored
    bool warned;
    uint64_t reads;
  } cases[] = {
      {"unchanged", 0, 0, false, 1},
      {"rewritten during the first read", 1, 1, false, 2},
      {"rewritten during two reads", kMaxReadAttempts - 1, kMaxReadAttempts - 1, false, kMaxReadAttempts},
      {"rewritten during every read", 100, kMaxReadAttempts - 1, true, kMaxReadAttempts},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeGeneration(0);
    MemorySink sink;
    Run run = Walk(sink, false, {}, nullptr, nullptr, kDefaultFileReaders, [&](const std::string& path, int attempt) {
      if (path == src_ + "/changing" && attempt <= c.changes) writeGeneration(attempt);
    });
    ASSERT_TRUE(run.status.ok()) << run.status.toString();
    ListingEntry stored = ByName(sink.listing(run.tree))["changing"];
    EXPECT_TRUE(sink.content(stored) == RandomBytes(kSize, uint32_t(100 + c.stored)));
    EXPECT_EQ(stored.mtime, (kFirstTime + c.stored + kSecondsFrom1601To1970) * kTicksPerSecond);
    EXPECT_EQ(run.bytesRead, c.reads * kSize);
    EXPECT_EQ(run.bytes, kSize);
    EXPECT_EQ(run.files, 1u);
    EXPECT_EQ(run.notes.changedFiles, c.warned ? 1u : 0u);
    EXPECT_EQ(run.errors, c.warned ? 1u : 0u);
    EXPECT_EQ(run.problems, c.warned ? std::vector<std::string>{src_ + "/changing: kept changing while it was read; "
                                                                       "the stored copy may mix old and new content"}
                                     : std::vector<std::string>{});
  }
}

TEST_F(FolderWalkTest, UnchangedFilesAreTakenFromTheStateWithoutReading) {
  const std::string a = RandomBytes(40000, 1);
  Write("a.txt", a);
  Mkdir("sub");
  Write("sub/b.txt", RandomBytes(50000, 2));
  Write("sub/c.txt", "c");
  MemorySink sink;
  Run first = Walk(sink, true);
  ASSERT_TRUE(first.status.ok());
  EXPECT_EQ(first.bytesRead, 90001u);
  const BlobId aFirstChunk = ByName(sink.listing(first.tree))["a.txt"].content.at(0);
  const std::string sub = src_ + "/sub";

  struct Case {
    const char* what;
    std::function<void()> change;
    const CallerToken* user;
    uint64_t files;
    uint64_t bytesRead;
  } cases[] = {
      {"nothing changed", [] {}, nullptr, 3, 0},
      {"content and time changed",
       [&] {
         Write("sub/c.txt", "C");
         const timespec later[2] = {{2000000000, 0}, {2000000000, 0}};
         ::utimensat(AT_FDCWD, (sub + "/c.txt").c_str(), later, 0);
       },
       nullptr, 3, 1},
      {"blob retired from the repository", [&] { sink.blobs.erase(aFirstChunk); }, nullptr, 3, 40000},
      // A folder left out takes its records with it: its files are read
      // again by the next run that can list it.
      {"folder the user cannot list", [&] { ::chmod(sub.c_str(), 0000); }, &kNobody, 1, 0},
      {"folder listed again", [&] { ::chmod(sub.c_str(), 0755); }, nullptr, 3, 50001},
  };
  for (const auto& c : cases) {
    c.change();
    Run run = Walk(sink, true, {}, nullptr, c.user);
    ASSERT_TRUE(run.status.ok()) << c.what;
    EXPECT_EQ(run.bytesRead, c.bytesRead) << c.what;
    EXPECT_EQ(run.files, c.files) << c.what;
    EXPECT_EQ(sink.content(ByName(sink.listing(run.tree))["a.txt"]), a) << c.what;
  }
  // Without a cache every file is read on every run.
  EXPECT_EQ(Walk(sink, false).bytesRead, 90001u);
}

// A file whose content another replaced while its size and modification
// time stayed, in each way programs do it, is read again: an edit in place
// moves the change time, every other way brings another inode. A state.bin
// of an earlier version, which holds neither, has each file read once.
TEST_F(FolderWalkTest, AFileReplacedWithTheSameSizeAndTimesIsReadAgain) {
  constexpr size_t kSize = 30000;
  const timespec kTimes[2] = {{1600000000, 0}, {1600000000, 0}};
  const std::string doc = src_ + "/doc";
  const std::string probe = root_.file("probe");
  std::ofstream(probe) << "p";
  auto setTimes = [&](const std::string& path) { ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), kTimes, 0), 0); };
  auto changeTime = [](const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return std::pair(st.st_ctim.tv_sec, st.st_ctim.tv_nsec);
  };
  // The file system's clock moves in ticks: a change made in the tick the
  // file was last changed in would keep its change time.
  auto nextTick = [&] {
    const auto last = changeTime(doc);
    ASSERT_TRUE(test::Eventually([&] {
      ::chmod(probe.c_str(), 0644);
      return changeTime(probe) > last;
    }));
  };
  auto writeFile = [](const std::string& path, const std::string& data, int flags) {
    vx::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | flags, 0644));
    ASSERT_TRUE(fd.valid());
    ASSERT_EQ(::pwrite(fd.get(), data.data(), data.size(), 0), ssize_t(data.size()));
  };
  struct Case {
    const char* what;
    std::function<void(const std::string& data)> replace;
  } cases[] = {
      {"copied over, keeping its times (cp --preserve=timestamps)",
       [&](const std::string& data) {
         writeFile(doc, data, O_TRUNC);
         setTimes(doc);
       }},
      {"a new file renamed over it (rsync -a, mv)",
       [&](const std::string& data) {
         writeFile(src_ + "/.doc.new", data, O_EXCL);
         setTimes(src_ + "/.doc.new");
         ASSERT_EQ(::rename((src_ + "/.doc.new").c_str(), doc.c_str()), 0);
       }},
      {"removed and made anew (tar x)",
       [&](const std::string& data) {
         ASSERT_EQ(::unlink(doc.c_str()), 0);
         writeFile(doc, data, O_EXCL);
         setTimes(doc);
       }},
      {"written in place, its time set back (dd conv=notrunc, touch -d)",
       [&](const std::string& data) {
         writeFile(doc, data, 0);
         setTimes(doc);
       }},
  };
  uint32_t seed = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(state_);
    Write("doc", RandomBytes(kSize, seed));
    setTimes(doc);
    MemorySink sink;
    ASSERT_TRUE(Walk(sink, true).status.ok());
    Run same = Walk(sink, true);
    EXPECT_EQ(same.bytesRead, 0u) << "an unchanged file is read";
    nextTick();
    const std::string replaced = RandomBytes(kSize, ++seed);
    c.replace(replaced);
    Run run = Walk(sink, true);
    ASSERT_TRUE(run.status.ok()) << run.status.toString();
    EXPECT_EQ(run.bytesRead, kSize);
    ListingEntry stored = ByName(sink.listing(run.tree))["doc"];
    EXPECT_TRUE(sink.content(stored) == replaced);
    EXPECT_EQ(Walk(sink, true).bytesRead, 0u) << "the new file is not read again";
  }

  // The records of a run as an earlier version wrote them: no tag, no
  // identity.
  fs::remove_all(state_);
  MemorySink sink;
  ASSERT_TRUE(Walk(sink, true).status.ok());
  std::string earlier;
  {
    FileStateCache cache;
    cache.open(state_ + "/state.bin");
    const FolderRecords records = cache.readFolder(src_);
    ASSERT_EQ(records.size(), 1u);
    std::string block;
    for (const auto& [name, r] : records) {
      block += std::string{char(name.size()), char(name.size() >> 8)} + name;
      for (uint64_t v : {r.size, r.mtime}) block += std::string(reinterpret_cast<const char*>(&v), 8);
      const uint32_t count = uint32_t(r.ids.size());
      block += std::string(reinterpret_cast<const char*>(&count), 4);
      for (const BlobId& id : r.ids) block.append(reinterpret_cast<const char*>(id.bytes.data()), kBlobIdSize);
    }
    for (const std::string& part : {src_, block}) {
      const uint32_t length = uint32_t(part.size());
      earlier += std::string(reinterpret_cast<const char*>(&length), 4) + part;
    }
  }
  ASSERT_TRUE(vx::WriteFileAtomic(state_ + "/state.bin", earlier));
  EXPECT_EQ(Walk(sink, true).bytesRead, kSize) << "a record without identity vouches for the file";
  EXPECT_EQ(Walk(sink, true).bytesRead, 0u);
}

// A user who may write in a source can nest folders deeper than any path
// names: the walk goes down and up again without recursion, and holds a
// descriptor only for the source and the last few folders on its way.
TEST_F(FolderWalkTest, ADeepSourceIsWalkedWithFewDescriptors) {
  constexpr size_t kDepth = 5000;
  Write("top.txt", "top");
  // On a tmpfs, which makes folders fast and takes them all away at its end.
  Mkdir("deep");
  Mount("deep", "tmpfs");
  ASSERT_TRUE(test::MakeDeepChain(src_ + "/deep", kDepth - 1, "d", "end.txt", "the end"));
  size_t open = 0;
  for ([[maybe_unused]] const auto& fd : fs::directory_iterator("/proc/self/fd")) ++open;
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  struct rlimit lowered = saved;
  constexpr size_t kHeadroom = 100;  // the walk's open levels, its readers' files and the state
  lowered.rlim_cur = open + kHeadroom;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
  MemorySink sink;
  const Run run = Walk(sink, true);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);

  ASSERT_TRUE(run.status.ok()) << run.status.toString();
  EXPECT_TRUE(run.problems.empty()) << run.problems.front();
  EXPECT_EQ(run.dirs, kDepth + 1);
  EXPECT_EQ(run.files, 2u);
  std::vector<ListingEntry> listing = sink.listing(run.tree);
  EXPECT_EQ(Names(listing), (std::vector<std::string>{"deep", "top.txt"}));
  size_t depth = 0;
  while (!listing.empty() && listing[0].isDir && depth++ < kDepth) listing = sink.listing(listing[0].tree);
  EXPECT_EQ(depth, kDepth);
  ASSERT_EQ(Names(listing), std::vector<std::string>{"end.txt"});
  EXPECT_EQ(sink.content(listing[0]), "the end");
}

// Folders far above the one being walked are closed and found again on the
// way back up, where a folder moved meanwhile cannot lead the walk astray:
// each is told by its device and inode, and one that is no longer where the
// walk found it is left out and named.
TEST_F(FolderWalkTest, FoldersMovedWhileTheWalkIsDeepBelowThemAreFoundAgainOrLeftOut) {
  constexpr size_t kDepth = 40;  // more than the walk keeps open
  // The path of the chain's folder at `level` (0: the source).
  auto at = [&](size_t level) {
    std::string path = src_;
    for (size_t i = 0; i < level; ++i) path += "/d";
    return path;
  };
  struct Case {
    const char* what;
    std::vector<size_t> moved;  // levels moved out of their folders into the source
    const char* problem;        // empty: none
    size_t stored;              // levels of the chain in the backup
  } cases[] = {
      {"a folder whose folder was closed", {9}, "", kDepth},
      {"and a folder on the way to that one", {9, 3}, "the folder was moved away while it was backed up; it is left out",
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(src_);
    fs::create_directory(src_);
    ASSERT_TRUE(test::MakeDeepChain(src_, kDepth, "d", "end.txt", "the end"));
    for (size_t level = 1; level < kDepth; ++level) std::ofstream(at(level) + "/z.txt") << level;
    MemorySink sink;
    const Run run = Walk(sink, false, {}, nullptr, nullptr, kDefaultFileReaders, [&](const std::string& path, int) {
      if (path != at(kDepth) + "/end.txt") return;
      // Deepest first, so that each path still holds.
      for (size_t level : c.moved)
        ASSERT_EQ(::rename(at(level).c_str(), (src_ + "/moved" + std::to_string(level)).c_str()), 0);
    });
    ASSERT_TRUE(run.status.ok()) << run.status.toString();
    EXPECT_EQ(run.problems, *c.problem == '\0' ? std::vector<std::string>{}
                                                : std::vector<std::string>{at(c.moved.back()) + ": " + c.problem});
    // Each folder kept holds its own z.txt, read through the right folder.
    std::vector<ListingEntry> listing = sink.listing(run.tree);
    size_t level = 0;
    for (; !listing.empty() && listing[0].name == "d"; ++level) {
      if (level > 0) {
        ASSERT_EQ(Names(listing), (std::vector<std::string>{"d", "z.txt"})) << level;
        EXPECT_EQ(sink.content(listing[1]), std::to_string(level)) << level;
      }
      listing = sink.listing(listing[0].tree);
    }
    EXPECT_EQ(level, c.stored);
  }
}

TEST_F(FolderWalkTest, CancellationAndSinkFailuresEndTheWalk) {
  Write("a.txt", RandomBytes(200000, 3));
  Mkdir("sub");
  Write("sub/b.txt", "b");
  MemorySink clean;
  ASSERT_TRUE(Walk(clean, false).status.ok());
  const int lastStore = clean.stores;  // the top folder's listing
  struct Case {
    const char* what;
    bool cancelFirst;
    int failAt;
    int32_t code;
  } cases[] = {
      {"cancelled", true, 0, Status::kCanceled},
      {"first data blob fails", false, 1, Status::kNetwork},
      {"top listing fails", false, lastStore, Status::kNetwork},
  };
  for (const auto& c : cases) {
    MemorySink sink;
    sink.failAt = c.failAt;
    CancelToken cancel;
    if (c.cancelFirst) cancel.cancel();
    Run run = Walk(sink, true, {}, &cancel);
    EXPECT_EQ(run.status.code, c.code) << c.what;
    EXPECT_FALSE(fs::exists(state_ + "/state.bin")) << c.what;
    EXPECT_FALSE(fs::exists(state_ + "/state.new")) << c.what;
  }
}

TEST_F(FolderWalkTest, EveryProblemCountsButOnlyTwoHundredAreKept) {
  for (int i = 0; i < 250; ++i) Write("bad\xFF" + std::to_string(i), "x");
  MemorySink sink;
  Run run = Walk(sink, false);
  ASSERT_TRUE(run.status.ok());
  EXPECT_EQ(run.errors, 250u);
  EXPECT_EQ(run.problems.size(), kMaxProblems);
}

TEST_F(FolderWalkTest, ReadersKeepTheOrderAndTheRightsOfOneThread) {
  // Files that only the walk's user cannot open, names that cannot be
  // stored and a sub-folder with problems of its own, interleaved by name:
  // however the readers finish, the texts come in name order and the files
  // are read with the walk's rights.
  for (int i = 0; i < 12; ++i) {
    const std::string n = std::to_string(10 + i);
    Write("f" + n, RandomBytes(20000 + i * 3000, uint32_t(i)));
    Write("l" + n, "locked", i % 3 == 0 ? 0000 : 0644);
    if (i % 4 == 0) Write("n" + n + "\xFF", "x");
  }
  Mkdir("m");
  Write("m/locked", "x", 0000);
  Write("m/open", "y");

  std::vector<std::string> expected;
  for (int i = 0; i < 12; ++i) {
    const std::string n = std::to_string(10 + i);
    if (i % 3 == 0) expected.push_back(src_ + "/l" + n + ": cannot open (Permission denied)");
  }
  expected.push_back(src_ + "/m/locked: cannot open (Permission denied)");
  for (int i = 0; i < 12; i += 4) expected.push_back(src_ + "/n" + std::to_string(10 + i) + "\\xFF: the name is not valid UTF-8");

  for (int readers : {0, kDefaultFileReaders}) {
    SCOPED_TRACE(readers);
    MemorySink sink;
    Run run = Walk(sink, false, {}, nullptr, &kNobody, readers);
    ASSERT_TRUE(run.status.ok());
    EXPECT_EQ(run.problems, expected);
    EXPECT_EQ(run.files, 12u + 8u + 1u);
    EXPECT_EQ(sink.content(ByName(sink.listing(run.tree))["f15"]), RandomBytes(35000, 5));
  }
}

TEST_F(FolderWalkTest, FileSource) {
  MemorySink sink;
  Progress progress;
  std::vector<std::string> problems, excludes;
  FolderWalk walk(sink, kSmallChunks, excludes, nullptr, progress, nullptr, problems);
  ListingEntry entry;
  bool stored = false;
  ASSERT_TRUE(walk.backupFile(Write("single.txt", "single"), entry, stored).ok());
  EXPECT_TRUE(stored);
  EXPECT_EQ(sink.content(entry), "single");
  EXPECT_EQ(entry.size, 6u);
  // A FIFO named as a source is skipped, never opened for a blocking read.
  ASSERT_EQ(::mkfifo((src_ + "/fifo").c_str(), 0644), 0);
  ASSERT_TRUE(walk.backupFile(src_ + "/fifo", entry, stored).ok());
  EXPECT_FALSE(stored);
  EXPECT_EQ(progress.skipped, 1u);
  EXPECT_TRUE(problems.empty());
}

TEST(IsExcluded, PatternsMatchNamesOrFullPaths) {
  struct Case {
    std::vector<std::string> patterns;
    const char* name;
    const char* full;
    bool excluded;
  } cases[] = {
      {{"*.tmp"}, "a.tmp", "/src/deep/a.tmp", true},
      {{"*.tmp"}, "A.TMP", "/src/A.TMP", true},
      {{"*.tmp"}, "a.tmp.keep", "/src/a.tmp.keep", false},
      {{"cache"}, "cache", "/src/x/cache", true},
      {{"/src/x/*"}, "y", "/src/x/y", true},
      {{"/src/x/*"}, "y", "/src/z/y", false},
      {{"/src/*"}, "deep", "/src/a/b/deep", true},  // "*" crosses "/"
      {{"src"}, "other", "/src/other", false},      // a name pattern never sees the path
      {{""}, "", "/src/", false},
      {{"", "b?"}, "bc", "/bc", true},
      {{}, "a", "/a", false},
      // Plain text and "*" with plain text, as a job's default patterns and
      // the service's own folders are.
      {{"*/.local/share/Trash"}, "Trash", "/home/a/.local/share/Trash", true},
      {{"*/.local/share/Trash"}, "trash", "/home/a/.LOCAL/share/trash", true},
      {{"*/.local/share/Trash"}, "Trash2", "/home/a/.local/share/Trash2", false},
      {{"*/.local/share/Trash"}, "Trash", "/Trash", false},
      {{"/var/lib/tarn"}, "TARN", "/var/lib/TARN", true},
      {{"/var/lib/tarn"}, "x", "/var/lib/tarn/x", false},
      {{"/data/a\\*b"}, "a*b", "/data/a*b", true},  // an escaped "*" is itself
      {{"/data/a\\*b"}, "axb", "/data/axb", false},
      {{"*a*"}, "xay", "/xay", true},
      {{"*[ab]"}, "xb", "/xb", true},
  };
  for (const auto& c : cases) EXPECT_EQ(IsExcluded(c.patterns, c.name, c.full), c.excluded) << c.full;
}

TEST(FolderWalkNames, PrintableNameEscapesWhatATextCannotShow) {
  struct Case {
    std::string name;
    const char* shown;
  } cases[] = {
      {"plain.txt", "plain.txt"},
      {"caf\xC3\xA9", "caf\xC3\xA9"},  // valid UTF-8 stays
      {std::string("bad\xFF") + "byte", "bad\\xFFbyte"},
      {"cut\xE2\x82", "cut\\xE2\\x82"},  // a sequence cut short
      {std::string("nul\0in", 6), "nul\\x00in"},
      {"tab\tdel\x7F", "tab\\x09del\\x7F"},
      {"invoice\u202Etxt.exe", "invoice\\xE2\\x80\\xAEtxt.exe"},  // would show as "invoiceexe.txt"
  };
  for (const Case& c : cases) EXPECT_EQ(PrintableName(c.name), c.shown);
}

}  // namespace
}  // namespace tarn::backup
