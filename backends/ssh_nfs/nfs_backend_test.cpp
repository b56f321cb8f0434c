// NfsBackend against a real NFS version 3 server. The server script sets
// TARN_NFS_HOST, TARN_NFS_EXPORT (the export path to mount) and
// TARN_NFS_EXPORT_DIR (the same folder on the local disk, used to prepare
// and cross-check files). Each test works in a folder of its own.
#include "backends/ssh_nfs/nfs_backend.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>

namespace tarn {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(gen());
  return v;
}

void WriteLocal(const fs::path& p, const std::vector<uint8_t>& data) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

std::vector<uint8_t> ReadLocal(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> Text(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// The upload temporaries in a local folder.
std::vector<std::string> Temporaries(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (NfsBackend::IsUploadTempName(name)) out.push_back(name);
  }
  return out;
}

class NfsBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* host = std::getenv("TARN_NFS_HOST");
    const char* exportPath = std::getenv("TARN_NFS_EXPORT");
    const char* exportDir = std::getenv("TARN_NFS_EXPORT_DIR");
    ASSERT_TRUE(host != nullptr && exportPath != nullptr && exportDir != nullptr)
        << "TARN_NFS_HOST, TARN_NFS_EXPORT and TARN_NFS_EXPORT_DIR must be set (testing/servers/nfs_ganesha.sh)";
    config_.protocol = "nfs";
    config_.host = host;
    config_.root = exportPath;
    config_.connectTimeoutMs = 5000;
    config_.ioTimeoutMs = 10000;
    exportDir_ = exportDir;
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    folder_ = "t-" + test + "-" + std::to_string(::getpid());
    local_ = exportDir_ / folder_;
    fs::remove_all(local_);
    fs::create_directories(local_);
    backend_ = MakeNfsBackend(config_);
    Status s = backend_->connect();
    ASSERT_TRUE(s.ok()) << s.toString();
  }

  void TearDown() override {
    backend_.reset();
    std::error_code ec;
    if (!local_.empty()) fs::remove_all(local_, ec);
  }

  std::string Remote(const std::string& rel) const { return "/" + folder_ + (rel.empty() ? "" : "/" + rel); }

  EndpointConfig config_;
  fs::path exportDir_;
  std::string folder_;
  fs::path local_;
  std::unique_ptr<IBackend> backend_;
};

TEST_F(NfsBackendTest, ConnectReportsCapabilitiesAndReconnectsAfterDisconnect) {
  EXPECT_TRUE(backend_->isConnected());
  const BackendCaps& caps = backend_->caps();
  EXPECT_TRUE(caps.randomWrite && caps.truncate && caps.setMtime && caps.freeSpace && caps.resumableUpload);
  EXPECT_GT(caps.maxFileBytes, 0u) << "maximum file size read from FSINFO";
  EXPECT_EQ(caps.server, "nfs");
  EXPECT_TRUE(backend_->ping().ok());

  backend_->disconnect();
  EXPECT_FALSE(backend_->isConnected());
  EXPECT_EQ(backend_->ping().code, Status::kNetwork);
  Status s = backend_->connect();
  ASSERT_TRUE(s.ok()) << s.toString();
  EXPECT_TRUE(backend_->ping().ok());
  RemoteAttr attr;
  EXPECT_TRUE(backend_->stat("/", attr).ok());
  EXPECT_TRUE(attr.isDir());
  // The test's folder was made beside the server, which may keep an older
  // listing of the export's root; a folder made through the server is seen.
  ASSERT_TRUE(backend_->mkdir(Remote("sub")).ok());
  std::vector<DirEntry> entries;
  ASSERT_TRUE(backend_->list(Remote(""), entries).ok());
  EXPECT_TRUE(std::any_of(entries.begin(), entries.end(),
                          [&](const DirEntry& e) { return e.name == "sub" && e.attr.isDir(); }));
}

TEST_F(NfsBackendTest, ConnectionComesFromReservedPortWhenRoot) {
  if (::geteuid() != 0) {
    GTEST_FAIL() << "the server's export demands a reserved port; run the test as root";
  }
  auto* nfs = dynamic_cast<NfsBackend*>(backend_.get());
  ASSERT_NE(nfs, nullptr);
  EXPECT_GT(nfs->localPort(), 0);
  EXPECT_LT(nfs->localPort(), 1024);
}

TEST_F(NfsBackendTest, StatReportsObjectsAndMapsFailures) {
  const auto content = RandomBytes(1234, 1);
  WriteLocal(local_ / "file.bin", content);
  fs::create_directory(local_ / "dir");
  ::chmod((local_ / "file.bin").c_str(), 0444);
  struct stat st {};
  ASSERT_EQ(::stat((local_ / "file.bin").c_str(), &st), 0);

  RemoteAttr attr;
  ASSERT_TRUE(backend_->stat(Remote("file.bin"), attr).ok());
  EXPECT_EQ(attr.type, RemoteAttr::kFile);
  EXPECT_EQ(attr.size, 1234u);
  EXPECT_EQ(attr.mode, 0100444u);
  EXPECT_TRUE(attr.readOnly);
  EXPECT_EQ(attr.mtime.seconds, st.st_mtim.tv_sec);
  EXPECT_EQ(attr.fileId, static_cast<uint64_t>(st.st_ino));
  EXPECT_FALSE(attr.etag.empty());

  ASSERT_TRUE(backend_->stat(Remote("dir"), attr).ok());
  EXPECT_TRUE(attr.isDir());
  EXPECT_EQ(attr.size, 0u);

  struct Case {
    std::string path;
    int32_t code;
  } cases[] = {
      {Remote("missing"), Status::kNotFound},
      {Remote("missing/child"), Status::kNotFound},
      {Remote("file.bin/child"), Status::kNotDirectory},
      {Remote("dir/../file.bin"), Status::kInvalid},
      {Remote(std::string(300, 'n')), Status::kInvalid},
  };
  for (const Case& c : cases) {
    Status s = backend_->stat(c.path, attr);
    EXPECT_EQ(s.code, c.code) << c.path << ": " << s.toString();
    if (c.code == Status::kNotFound) {
      EXPECT_NE(s.message.find(": nfs status 2"), std::string::npos) << s.message;
    }
  }
}

TEST_F(NfsBackendTest, EtagChangesWhenContentChanges) {
  WriteLocal(local_ / "f", Text("one"));
  RemoteAttr before;
  ASSERT_TRUE(backend_->stat(Remote("f"), before).ok());
  ASSERT_TRUE(backend_->writeAt(Remote("f"), 0, Text("two!").data(), 4).ok());
  RemoteAttr after;
  ASSERT_TRUE(backend_->stat(Remote("f"), after).ok());
  EXPECT_NE(before.etag, after.etag);
}

TEST_F(NfsBackendTest, CreateIsExclusiveAndMkdirCreatesOneLevel) {
  ASSERT_TRUE(backend_->create(Remote("new.txt")).ok());
  EXPECT_TRUE(fs::is_regular_file(local_ / "new.txt"));
  EXPECT_EQ(fs::file_size(local_ / "new.txt"), 0u);

  WriteLocal(local_ / "taken.txt", Text("keep me"));
  Status s = backend_->create(Remote("taken.txt"));
  EXPECT_EQ(s.code, Status::kExists) << s.toString();
  EXPECT_EQ(ReadLocal(local_ / "taken.txt"), Text("keep me"));

  ASSERT_TRUE(backend_->mkdir(Remote("sub")).ok());
  EXPECT_TRUE(fs::is_directory(local_ / "sub"));
  EXPECT_EQ(backend_->mkdir(Remote("sub")).code, Status::kExists);
  EXPECT_EQ(backend_->mkdir(Remote("a/b")).code, Status::kNotFound);
  EXPECT_EQ(backend_->create(Remote("nope/x")).code, Status::kNotFound);
  EXPECT_EQ(backend_->mkdir("/").code, Status::kInvalid);
}

TEST_F(NfsBackendTest, RemoveChecksTypeAndEmptiness) {
  fs::create_directories(local_ / "full" / "inner");
  fs::create_directory(local_ / "empty");
  WriteLocal(local_ / "file", Text("x"));

  struct Case {
    std::string rel;
    bool isDir;
    int32_t code;
  } cases[] = {
      {"full", true, Status::kNotEmpty},   {"file", true, Status::kNotDirectory},
      {"empty", false, Status::kIsDirectory}, {"missing", false, Status::kNotFound},
      {"missing", true, Status::kNotFound}, {"empty", true, Status::kOk},
      {"file", false, Status::kOk},
  };
  for (const Case& c : cases) {
    Status s = backend_->remove(Remote(c.rel), c.isDir);
    EXPECT_EQ(s.code, c.code) << c.rel << " isDir=" << c.isDir << ": " << s.toString();
  }
  EXPECT_FALSE(fs::exists(local_ / "empty"));
  EXPECT_FALSE(fs::exists(local_ / "file"));
  EXPECT_TRUE(fs::exists(local_ / "full" / "inner"));
  EXPECT_EQ(backend_->remove("/", true).code, Status::kInvalid);
}

TEST_F(NfsBackendTest, ReadRangeHonoursOffsetsAndEnd) {
  const auto content = RandomBytes(300 * 1024, 2);
  WriteLocal(local_ / "data", content);
  struct Case {
    uint64_t offset;
    uint64_t length;
    uint64_t expected;
  } cases[] = {
      {0, 1000, 1000},
      {12345, 100000, 100000},
      {content.size() - 10, 100, 10},  // across the end: the rest
      {content.size(), 100, 0},        // at the end
      {content.size() + 5000, 100, 0},  // beyond
      {0, content.size() + 1, content.size()},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> buf(c.length);
    uint64_t got = 99;
    Status s = backend_->readRange(Remote("data"), c.offset, buf.data(), c.length, got);
    ASSERT_TRUE(s.ok()) << s.toString();
    ASSERT_EQ(got, c.expected) << "offset " << c.offset;
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + static_cast<long>(got),
                           content.begin() + static_cast<long>(std::min<uint64_t>(c.offset, content.size()))));
  }
  uint64_t got = 0;
  uint8_t b[4];
  EXPECT_EQ(backend_->readRange(Remote("missing"), 0, b, 4, got).code, Status::kNotFound);
  fs::create_directory(local_ / "d");
  EXPECT_EQ(backend_->readRange(Remote("d"), 0, b, 4, got).code, Status::kIsDirectory);
}

TEST_F(NfsBackendTest, LargeTransfersSpanSeveralCalls) {
  // Larger than the biggest single transfer the back-end makes.
  const auto content = RandomBytes(5 * 1024 * 1024 + 777, 3);
  std::unique_ptr<IWriteStream> w;
  ASSERT_TRUE(backend_->openWrite(Remote("big"), 0, content.size(), w).ok());
  size_t pos = 0;
  for (size_t piece = 1; pos < content.size(); piece = piece * 3 + 1) {
    const size_t n = std::min(piece, content.size() - pos);
    ASSERT_TRUE(w->write(content.data() + pos, n).ok());
    pos += n;
  }
  RemoteAttr attr;
  Status s = w->finish(&attr);
  ASSERT_TRUE(s.ok()) << s.toString();
  EXPECT_EQ(attr.size, content.size());
  EXPECT_EQ(ReadLocal(local_ / "big"), content);

  std::vector<uint8_t> back(content.size());
  uint64_t got = 0;
  ASSERT_TRUE(backend_->readRange(Remote("big"), 0, back.data(), back.size(), got).ok());
  EXPECT_EQ(got, content.size());
  EXPECT_EQ(back, content);

  std::unique_ptr<IReadStream> r;
  ASSERT_TRUE(backend_->openRead(Remote("big"), 1000, r).ok());
  std::vector<uint8_t> streamed;
  std::vector<uint8_t> buf(200000);
  for (;;) {
    ASSERT_TRUE(r->read(buf.data(), buf.size(), got).ok());
    if (got == 0) break;
    streamed.insert(streamed.end(), buf.begin(), buf.begin() + static_cast<long>(got));
  }
  EXPECT_EQ(streamed, std::vector<uint8_t>(content.begin() + 1000, content.end()));

  // A stream closed early delivers nothing more.
  ASSERT_TRUE(backend_->openRead(Remote("big"), 0, r).ok());
  ASSERT_TRUE(r->read(buf.data(), 10, got).ok());
  EXPECT_EQ(got, 10u);
  r->close();
  ASSERT_TRUE(r->read(buf.data(), buf.size(), got).ok());
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(backend_->openRead(Remote("missing"), 0, r).code, Status::kNotFound);
}

TEST_F(NfsBackendTest, OpenWriteReplacesOnFinishAndKeepsOldCopyOnAbort) {
  WriteLocal(local_ / "doc", Text("old content"));
  ::chmod((local_ / "doc").c_str(), 0600);

  std::unique_ptr<IWriteStream> w;
  ASSERT_TRUE(backend_->openWrite(Remote("doc"), 0, 9, w).ok());
  ASSERT_TRUE(w->write(Text("new ").data(), 4).ok());
  const auto temps = Temporaries(local_);
  ASSERT_EQ(temps.size(), 1u);
  EXPECT_EQ(temps[0].rfind(".doc.tarn-part-", 0), 0u) << temps[0];
  EXPECT_EQ(ReadLocal(local_ / "doc"), Text("old content")) << "visible before finish";
  w->abort();
  w.reset();
  EXPECT_EQ(ReadLocal(local_ / "doc"), Text("old content"));
  EXPECT_TRUE(Temporaries(local_).empty());

  ASSERT_TRUE(backend_->openWrite(Remote("doc"), 0, 9, w).ok());
  ASSERT_TRUE(w->write(Text("new ").data(), 4).ok());
  ASSERT_TRUE(w->write(Text("stuff").data(), 5).ok());
  ASSERT_TRUE(w->finish(nullptr).ok());
  EXPECT_EQ(ReadLocal(local_ / "doc"), Text("new stuff"));
  EXPECT_TRUE(Temporaries(local_).empty());
  EXPECT_EQ(fs::status(local_ / "doc").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write)
      << "the replacement keeps the old permissions";

  // A stream dropped without finish leaves the old copy as well.
  ASSERT_TRUE(backend_->openWrite(Remote("doc"), 0, 3, w).ok());
  ASSERT_TRUE(w->write(Text("abc").data(), 3).ok());
  w.reset();
  EXPECT_EQ(ReadLocal(local_ / "doc"), Text("new stuff"));
}

TEST_F(NfsBackendTest, OpenWriteRefusesWrongSizesAndTargets) {
  WriteLocal(local_ / "doc", Text("original"));
  std::unique_ptr<IWriteStream> w;

  ASSERT_TRUE(backend_->openWrite(Remote("doc"), 0, 10, w).ok());
  ASSERT_TRUE(w->write(Text("short").data(), 5).ok());
  EXPECT_EQ(w->finish(nullptr).code, Status::kInvalid);
  EXPECT_EQ(ReadLocal(local_ / "doc"), Text("original"));

  ASSERT_TRUE(backend_->openWrite(Remote("doc"), 0, 3, w).ok());
  EXPECT_EQ(w->write(Text("toolong").data(), 7).code, Status::kInvalid);
  EXPECT_EQ(w->finish(nullptr).code, Status::kInvalid);
  EXPECT_EQ(ReadLocal(local_ / "doc"), Text("original"));

  fs::create_directory(local_ / "folder");
  EXPECT_EQ(backend_->openWrite(Remote("folder"), 0, 1, w).code, Status::kIsDirectory);
  EXPECT_EQ(backend_->openWrite(Remote("none/doc"), 0, 1, w).code, Status::kNotFound);
  EXPECT_EQ(backend_->openWrite(Remote("doc"), 5, 10, w).code, Status::kInvalid) << "continuing is writeAt's job";
  const uint64_t tooBig = backend_->caps().maxFileBytes + 1;
  EXPECT_EQ(backend_->openWrite(Remote("doc"), 0, tooBig, w).code, Status::kTooLarge);

  // Size zero makes an empty object.
  ASSERT_TRUE(backend_->openWrite(Remote("empty"), 0, 0, w).ok());
  ASSERT_TRUE(w->finish(nullptr).ok());
  EXPECT_TRUE(fs::is_regular_file(local_ / "empty"));
  EXPECT_EQ(fs::file_size(local_ / "empty"), 0u);
  EXPECT_EQ(std::distance(fs::directory_iterator(local_), fs::directory_iterator()), 3) << "no temporary left";
}

// Two clients upload one path at the same time: each writes its own
// temporary, neither shows in listings, and the last to finish wins whole.
TEST_F(NfsBackendTest, ConcurrentUploadsOfOnePathKeepApart) {
  const auto first = RandomBytes(300000, 4);
  const auto second = RandomBytes(200000, 5);
  NfsBackend other(config_);
  ASSERT_TRUE(other.connect().ok());
  std::unique_ptr<IWriteStream> a, b;
  ASSERT_TRUE(backend_->openWrite(Remote("doc"), 0, first.size(), a).ok());
  ASSERT_TRUE(other.openWrite(Remote("doc"), 0, second.size(), b).ok());
  for (size_t at = 0; at < first.size(); at += 50000) {
    ASSERT_TRUE(a->write(first.data() + at, std::min<size_t>(50000, first.size() - at)).ok());
    if (at < second.size()) {
      ASSERT_TRUE(b->write(second.data() + at, std::min<size_t>(50000, second.size() - at)).ok());
    }
  }
  EXPECT_EQ(Temporaries(local_).size(), 2u);
  std::vector<DirEntry> entries;
  ASSERT_TRUE(backend_->list(Remote(""), entries).ok());
  EXPECT_TRUE(entries.empty()) << "temporaries are not listed: " << entries.front().name;

  ASSERT_TRUE(b->finish(nullptr).ok());
  EXPECT_EQ(ReadLocal(local_ / "doc"), second);
  ASSERT_TRUE(a->finish(nullptr).ok());
  EXPECT_EQ(ReadLocal(local_ / "doc"), first);
  EXPECT_TRUE(Temporaries(local_).empty());
  ASSERT_TRUE(backend_->list(Remote(""), entries).ok());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].attr.size, first.size());
}

// Temporaries as a killed client leaves them: those nobody wrote for an
// hour go when their folder is listed or first uploaded into; a running
// upload's stays.
TEST_F(NfsBackendTest, AbandonedTemporariesGoWhereTheyAreMet) {
  const std::string hex = "0123456789abcdef";
  auto make = [&](const fs::path& file, int ageSeconds) {
    fs::create_directories(file.parent_path());
    WriteLocal(file, Text("part"));
    const timespec times[2] = {{std::time(nullptr) - ageSeconds, 0}, {std::time(nullptr) - ageSeconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  };
  make(local_ / (".doc.tarn-part-" + hex), 2 * 3600);
  make(local_ / (".run.tarn-part-" + hex), 60);
  make(local_ / "up" / (".x.tarn-part-" + hex), 2 * 3600);

  std::vector<DirEntry> entries;
  ASSERT_TRUE(backend_->list(Remote(""), entries).ok());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "up");
  EXPECT_EQ(Temporaries(local_), std::vector<std::string>{".run.tarn-part-" + hex});

  std::unique_ptr<IWriteStream> w;
  ASSERT_TRUE(backend_->openWrite(Remote("up/x"), 0, 1, w).ok());
  EXPECT_EQ(Temporaries(local_ / "up").size(), 1u) << "only the new upload's own";
  w->abort();
  EXPECT_TRUE(Temporaries(local_ / "up").empty());
}

TEST_F(NfsBackendTest, WriteAtAndTruncateChangeFilesInPlace) {
  WriteLocal(local_ / "f", Text("0123456789"));
  ASSERT_TRUE(backend_->writeAt(Remote("f"), 3, Text("abc").data(), 3).ok());
  EXPECT_EQ(ReadLocal(local_ / "f"), Text("012abc6789"));
  ASSERT_TRUE(backend_->writeAt(Remote("f"), 12, Text("XY").data(), 2).ok());
  EXPECT_EQ(ReadLocal(local_ / "f"), Text(std::string("012abc6789\0\0XY", 14)));

  ASSERT_TRUE(backend_->truncate(Remote("f"), 4).ok());
  EXPECT_EQ(ReadLocal(local_ / "f"), Text("012a"));
  ASSERT_TRUE(backend_->truncate(Remote("f"), 6).ok());
  EXPECT_EQ(ReadLocal(local_ / "f"), Text(std::string("012a\0\0", 6)));

  const auto big = RandomBytes(3 * 1024 * 1024, 5);
  ASSERT_TRUE(backend_->writeAt(Remote("f"), 2, big.data(), big.size()).ok());
  const auto now = ReadLocal(local_ / "f");
  ASSERT_EQ(now.size(), big.size() + 2);
  EXPECT_TRUE(std::equal(big.begin(), big.end(), now.begin() + 2));

  fs::create_directory(local_ / "d");
  struct Case {
    std::string what;
    Status status;
    int32_t code;
  } cases[] = {
      {"writeAt missing", backend_->writeAt(Remote("missing"), 0, big.data(), 1), Status::kNotFound},
      {"writeAt folder", backend_->writeAt(Remote("d"), 0, big.data(), 1), Status::kIsDirectory},
      {"truncate missing", backend_->truncate(Remote("missing"), 0), Status::kNotFound},
      {"truncate folder", backend_->truncate(Remote("d"), 0), Status::kIsDirectory},
      {"truncate too large", backend_->truncate(Remote("f"), backend_->caps().maxFileBytes + 1), Status::kTooLarge},
  };
  for (const Case& c : cases) EXPECT_EQ(c.status.code, c.code) << c.what << ": " << c.status.toString();
}

TEST_F(NfsBackendTest, RenameMovesWithAndWithoutOverwrite) {
  WriteLocal(local_ / "a", Text("A"));
  WriteLocal(local_ / "b", Text("B"));
  fs::create_directories(local_ / "dir" / "sub");
  WriteLocal(local_ / "dir" / "sub" / "x", Text("X"));

  Status s = backend_->rename(Remote("a"), Remote("b"), false);
  EXPECT_EQ(s.code, Status::kExists) << s.toString();
  EXPECT_EQ(ReadLocal(local_ / "a"), Text("A"));
  EXPECT_EQ(ReadLocal(local_ / "b"), Text("B"));

  ASSERT_TRUE(backend_->rename(Remote("a"), Remote("b"), true).ok());
  EXPECT_FALSE(fs::exists(local_ / "a"));
  EXPECT_EQ(ReadLocal(local_ / "b"), Text("A"));

  ASSERT_TRUE(backend_->rename(Remote("b"), Remote("dir/c"), false).ok());
  EXPECT_EQ(ReadLocal(local_ / "dir" / "c"), Text("A"));

  ASSERT_TRUE(backend_->rename(Remote("dir"), Remote("moved"), false).ok());
  EXPECT_EQ(ReadLocal(local_ / "moved" / "sub" / "x"), Text("X"));
  RemoteAttr attr;
  EXPECT_EQ(backend_->stat(Remote("dir/sub/x"), attr).code, Status::kNotFound);
  EXPECT_TRUE(backend_->stat(Remote("moved/sub/x"), attr).ok());

  EXPECT_EQ(backend_->rename(Remote("missing"), Remote("z"), false).code, Status::kNotFound);
  EXPECT_EQ(backend_->rename(Remote("missing"), Remote("z"), true).code, Status::kNotFound);
  EXPECT_TRUE(backend_->rename(Remote("moved/c"), Remote("moved/c"), false).ok()) << "onto itself";
  EXPECT_EQ(backend_->rename("/", Remote("z"), false).code, Status::kInvalid);
}

TEST_F(NfsBackendTest, SetTimesStoresModificationAndAccessTimes) {
  WriteLocal(local_ / "f", Text("t"));
  const Timestamp mtime{1000000000, 123456700};
  const Timestamp atime{1100000000, 0};
  ASSERT_TRUE(backend_->setTimes(Remote("f"), mtime, atime).ok());
  struct stat st {};
  ASSERT_EQ(::stat((local_ / "f").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
  EXPECT_EQ(st.st_mtim.tv_nsec, 123456700);
  EXPECT_EQ(st.st_atim.tv_sec, 1100000000);
  RemoteAttr attr;
  ASSERT_TRUE(backend_->stat(Remote("f"), attr).ok());
  EXPECT_EQ(attr.mtime, mtime);
  EXPECT_EQ(backend_->setTimes(Remote("missing"), mtime, atime).code, Status::kNotFound);
}

TEST_F(NfsBackendTest, StatfsMatchesTheExportedFileSystem) {
  FsStats stats;
  ASSERT_TRUE(backend_->statfs(stats).ok());
  EXPECT_TRUE(stats.known);
  struct statvfs local {};
  ASSERT_EQ(::statvfs(local_.c_str(), &local), 0);
  const uint64_t total = static_cast<uint64_t>(local.f_blocks) * local.f_frsize;
  EXPECT_EQ(stats.total, total);
  EXPECT_LE(stats.available, stats.free);
  EXPECT_LE(stats.free, stats.total);
}

TEST_F(NfsBackendTest, ListReturnsEveryEntryAcrossManyPages) {
  constexpr int kFiles = 1500;
  std::set<std::string> expected;
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = "entry-with-a-fairly-long-name-" + std::to_string(i);
    WriteLocal(local_ / name, std::vector<uint8_t>(static_cast<size_t>(i % 7), 'x'));
    expected.insert(name);
  }
  fs::create_directory(local_ / "folder");
  expected.insert("folder");

  std::vector<DirEntry> entries;
  Status s = backend_->list(Remote(""), entries);
  ASSERT_TRUE(s.ok()) << s.toString();
  std::set<std::string> seen;
  for (const DirEntry& e : entries) {
    EXPECT_TRUE(seen.insert(e.name).second) << "listed twice: " << e.name;
    if (e.name == "folder") {
      EXPECT_TRUE(e.attr.isDir());
    } else {
      const int i = std::stoi(e.name.substr(e.name.rfind('-') + 1));
      EXPECT_EQ(e.attr.size, static_cast<uint64_t>(i % 7)) << e.name;
    }
  }
  EXPECT_EQ(seen, expected);

  ASSERT_TRUE(backend_->list(Remote("folder"), entries).ok());
  EXPECT_TRUE(entries.empty());
  EXPECT_EQ(backend_->list(Remote("missing"), entries).code, Status::kNotFound);
  EXPECT_EQ(backend_->list(Remote("entry-with-a-fairly-long-name-1"), entries).code, Status::kNotDirectory);
}

TEST_F(NfsBackendTest, AuthUnixIdentityOwnsNewObjectsAndIsChecked) {
  EndpointConfig other = config_;
  other.extra = " UID = 4321 ; gid=5432, unknown=1";
  NfsBackend user(other);
  Status s = user.connect();
  ASSERT_TRUE(s.ok()) << s.toString();
  ::chmod(local_.c_str(), 0777);
  ASSERT_TRUE(user.create(Remote("owned")).ok());
  ASSERT_TRUE(user.mkdir(Remote("owned-dir")).ok());
  for (const char* name : {"owned", "owned-dir"}) {
    struct stat st {};
    ASSERT_EQ(::stat((local_ / name).c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4321u) << name;
    EXPECT_EQ(st.st_gid, 5432u) << name;
  }
  // Someone else's read-only folder refuses this identity.
  fs::create_directory(local_ / "locked");
  ::chmod((local_ / "locked").c_str(), 0755);
  s = user.create(Remote("locked/x"));
  EXPECT_EQ(s.code, Status::kAccessDenied) << s.toString();
  EXPECT_NE(s.message.find("nfs status 13"), std::string::npos) << s.message;
}

TEST_F(NfsBackendTest, OptionsOverridePortsAndBadOptionsFail) {
  struct Case {
    std::string extra;
    int32_t code;
  } cases[] = {
      {"nfsport=2049;mountport=20048", Status::kOk},
      {"mountport=1", Status::kNetwork},  // nothing listens there
      {"nfsport=1", Status::kNetwork},
      {"uid=abc", Status::kInvalid},
      {"mountport=70000", Status::kInvalid},
  };
  for (const Case& c : cases) {
    EndpointConfig other = config_;
    other.extra = c.extra;
    NfsBackend b(other);
    Status s = b.connect();
    EXPECT_EQ(s.code, c.code) << c.extra << ": " << s.toString();
    EXPECT_EQ(b.isConnected(), c.code == Status::kOk) << c.extra;
  }
  for (const char* root : {"/export/", "export", "/export//"}) {
    EndpointConfig other = config_;
    other.root = root;
    NfsBackend b(other);
    Status s = b.connect();
    EXPECT_TRUE(s.ok()) << root << ": " << s.toString();
  }
  EndpointConfig missing = config_;
  missing.root = "/no-such-export";
  NfsBackend b(missing);
  Status s = b.connect();
  EXPECT_FALSE(s.ok());
  EXPECT_NE(s.message.find("mount /no-such-export"), std::string::npos) << s.message;
}

TEST_F(NfsBackendTest, DroppedConnectionIsNetworkAndReconnectRecovers) {
  WriteLocal(local_ / "f", Text("still here"));
  auto* nfs = dynamic_cast<NfsBackend*>(backend_.get());
  ASSERT_NE(nfs, nullptr);
  nfs->simulateNetworkFault();
  RemoteAttr attr;
  Status s = backend_->stat(Remote("f"), attr);
  EXPECT_EQ(s.code, Status::kNetwork) << s.toString();
  EXPECT_FALSE(backend_->isConnected());
  EXPECT_EQ(backend_->stat(Remote("f"), attr).code, Status::kNetwork) << "stays down until connect";

  s = backend_->connect();
  ASSERT_TRUE(s.ok()) << s.toString();
  ASSERT_TRUE(backend_->stat(Remote("f"), attr).ok());
  EXPECT_EQ(attr.size, 10u);

  // A stream whose connection breaks fails and leaves the old copy; its
  // temporary goes with the next connect.
  std::unique_ptr<IWriteStream> w;
  ASSERT_TRUE(backend_->openWrite(Remote("f"), 0, 3, w).ok());
  nfs->simulateNetworkFault();
  ASSERT_TRUE(w->write(Text("new").data(), 3).ok());  // buffered
  EXPECT_EQ(w->finish(nullptr).code, Status::kNetwork);
  EXPECT_EQ(ReadLocal(local_ / "f"), Text("still here"));
  EXPECT_EQ(Temporaries(local_).size(), 1u) << "unreachable until the connection is back";
  ASSERT_TRUE(backend_->connect().ok());
  EXPECT_TRUE(Temporaries(local_).empty());

  ASSERT_TRUE(backend_->openWrite(Remote("f"), 0, 3, w).ok());
  ASSERT_TRUE(w->write(Text("new").data(), 3).ok());
  ASSERT_TRUE(w->finish(nullptr).ok());
  EXPECT_EQ(ReadLocal(local_ / "f"), Text("new"));
}

// The temporary of an upload whose process died is no object of the drive,
// but the repository's cleanup must see it to remove it.
TEST_F(NfsBackendTest, TemporariesOfUploadsADeadProcessLeftAreListedApart) {
  WriteLocal(local_ / "doc", Text("doc"));
  WriteLocal(local_ / ".doc.tarn-part-0123456789abcdef", Text("half an upload"));
  std::vector<DirEntry> entries, leftovers;
  ASSERT_TRUE(backend_->list(Remote(""), entries).ok());
  ASSERT_EQ(entries.size(), 1u);
  ASSERT_TRUE(backend_->listWithLeftovers(Remote(""), entries, leftovers).ok());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "doc");
  ASSERT_EQ(leftovers.size(), 1u);
  EXPECT_EQ(leftovers[0].name, ".doc.tarn-part-0123456789abcdef");
  EXPECT_EQ(leftovers[0].attr.size, 14u);
  ASSERT_TRUE(backend_->remove(Remote(leftovers[0].name), false).ok());
  EXPECT_TRUE(Temporaries(local_).empty());
}

}  // namespace
}  // namespace tarn
