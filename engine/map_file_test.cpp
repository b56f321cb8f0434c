#include "engine/map_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "foundation/memory_env.h"
#include "testing/temp_dir.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;

uint64_t LoadLe(const std::string& b, size_t at, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(static_cast<uint8_t>(b[at + i])) << (8 * i);
  return v;
}

TEST(MapFile, EncodeLaysOutEveryFieldLittleEndianAndDecodeReadsItBack) {
  MapHeader h;
  h.blockSize = 0x00100000;
  h.size = 0x0102030405060708ull;
  h.remoteSize = 0x1112131415161718ull;
  h.remoteMtime = Timestamp{-2, 999999999};
  h.dirty = true;
  h.etag = "\"v1\"";
  h.path = "/docs/a.txt";
  const std::vector<uint8_t> states = {1, 3, 7, 0, 2};
  const std::string b = EncodeMap(h, states);

  ASSERT_EQ(b.size(), 4400u + states.size());
  EXPECT_EQ(b.substr(0, 8), "TARNMAP1");
  EXPECT_EQ(LoadLe(b, 8, 4), 0x00100000u);
  EXPECT_EQ(LoadLe(b, 12, 4), 4400u);
  EXPECT_EQ(LoadLe(b, 16, 8), 0x0102030405060708ull);
  EXPECT_EQ(LoadLe(b, 24, 8), 0x1112131415161718ull);
  EXPECT_EQ(static_cast<int64_t>(LoadLe(b, 32, 8)), -2);
  EXPECT_EQ(LoadLe(b, 40, 4), 999999999u);
  EXPECT_EQ(b[44], 1);
  EXPECT_EQ(b.substr(45, 3), std::string(3, '\0'));
  EXPECT_EQ(b.substr(48, 5), std::string("\"v1\"\0", 5));
  EXPECT_EQ(b.substr(53, 256 - 5), std::string(256 - 5, '\0'));
  EXPECT_EQ(b.substr(304, 12), std::string("/docs/a.txt\0", 12));
  EXPECT_EQ(b.substr(316, 4096 - 12), std::string(4096 - 12, '\0'));
  EXPECT_EQ(MapStates(b), std::string("\1\3\7\0\2", 5));

  MapHeader back;
  ASSERT_TRUE(DecodeMapHeader(b, &back));
  EXPECT_TRUE(HasMapMagic(b));
  EXPECT_EQ(back.blockSize, h.blockSize);
  EXPECT_EQ(back.headerSize, 4400u);
  EXPECT_EQ(back.size, h.size);
  EXPECT_EQ(back.remoteSize, h.remoteSize);
  EXPECT_EQ(back.remoteMtime, h.remoteMtime);
  EXPECT_TRUE(back.dirty);
  EXPECT_EQ(back.etag, h.etag);
  EXPECT_EQ(back.path, h.path);
  EXPECT_FALSE(DecodeMapHeader(b.substr(0, 4399), &back));
  EXPECT_TRUE(MapStates(b.substr(0, 4399)).empty());
  std::string foreign = b;
  foreign[7] = '2';
  EXPECT_FALSE(HasMapMagic(foreign));
}

// A time waiting for an upload rides in a trailer right after the states of
// the size: a reader that stops at the states (and the dirty scan) never
// takes its bytes for block states.
TEST(MapFile, PendingTimeRidesInATrailerAfterTheStates) {
  MapHeader h;
  h.blockSize = 4096;
  h.size = 3 * 4096 + 1;  // four blocks
  h.pendingMtime = Timestamp{0x0202020202020202, 0x02020202};  // every byte has the dirty bit
  struct Case {
    std::vector<uint8_t> states;  // cut or padded to the four of the size
    bool dirty;
    uint64_t present;
  } cases[] = {
      {{1, 1, 1, 1}, false, 3 * 4096 + 1},
      {{1, 1}, false, 2 * 4096},
      {{1, 1, 1, 1, 1, 1}, false, 3 * 4096 + 1},
      {{0, 3, 0, 0}, true, 4096},
  };
  for (const Case& c : cases) {
    const std::string b = EncodeMap(h, c.states);
    ASSERT_EQ(b.size(), 4400u + 4 + 16);
    EXPECT_EQ(b.substr(4404, 4), "MTIM");
    MapHeader back;
    ASSERT_TRUE(DecodeMapHeader(b, &back));
    EXPECT_EQ(back.pendingMtime, h.pendingMtime);
    EXPECT_EQ(MapHasDirty(b), c.dirty);
    EXPECT_EQ(MapPresentBytes(b), c.present);
  }
  // Without a pending time there is no trailer, and none is read.
  h.pendingMtime = Timestamp();
  const std::string plain = EncodeMap(h, {1, 1, 1, 1});
  EXPECT_EQ(plain.size(), 4404u);
  MapHeader back;
  ASSERT_TRUE(DecodeMapHeader(plain, &back));
  EXPECT_TRUE(back.pendingMtime.isZero());
}

// The copy byte sits in the header's spare bytes: a map of an older version
// holds zero there and reads as unknown, and so does a value no version writes.
TEST(MapFile, TheCopyByteRoundTripsAndOlderMapsReadAsUnknown) {
  for (uint8_t copy : {kMapCopyUnknown, kMapCopySettled, kMapCopyUnsettled, uint8_t{7}}) {
    MapHeader h;
    h.blockSize = 4096;
    h.copy = copy;
    const std::string b = EncodeMap(h, {});
    EXPECT_EQ(static_cast<uint8_t>(b[45]), copy);
    EXPECT_EQ(b.substr(46, 2), std::string(2, '\0'));
    MapHeader back;
    ASSERT_TRUE(DecodeUsableMap(b, 4096, &back));
    EXPECT_EQ(back.copy, copy == 7 ? kMapCopyUnknown : copy);
  }
}

// The boot a map was written under rides last; zeroing it in place commits
// the map, and a field torn halfway names no boot.
TEST(MapFile, BootOfAnUnsyncedMapRidesLastAndIsZeroedToCommit) {
  MapHeader h;
  h.blockSize = 4096;
  h.size = 3 * 4096 + 1;  // four blocks
  h.writtenUnder = "0b5e2d6c-1f3a-4c7e-9d21-5a8b7c6d5e4f";
  h.dirty = true;
  struct Case {
    const char* what;
    Timestamp pendingMtime;
    std::vector<uint8_t> states;
    uint64_t bootAt;
  } cases[] = {
      {"boot alone, states padded", Timestamp(), {3, 3}, 4400 + 4 + 4},
      {"boot alone, states cut", Timestamp(), {3, 3, 3, 3, 3, 3}, 4400 + 4 + 4},
      {"after a pending time", Timestamp{77, 5}, {3, 3, 3, 3}, 4400 + 4 + 16 + 4},
  };
  MemoryEnv env;
  for (const Case& c : cases) {
    h.pendingMtime = c.pendingMtime;
    const std::string b = EncodeMap(h, c.states);
    EXPECT_EQ(b.size(), c.bootAt + kMapBootField) << c.what;
    EXPECT_EQ(MapBootAt(b), c.bootAt) << c.what;
    EXPECT_EQ(b.substr(c.bootAt - 4, 4), "BOOT") << c.what;
    MapHeader back;
    ASSERT_TRUE(DecodeMapHeader(b, &back));
    EXPECT_EQ(back.writtenUnder, h.writtenUnder) << c.what;
    EXPECT_EQ(back.pendingMtime, c.pendingMtime) << c.what;
    EXPECT_TRUE(MapHasDirty(b)) << c.what;

    ASSERT_TRUE(env.writeFile("/m", b, false, false).ok());
    ASSERT_TRUE(env.syncDir("/").ok());  // its name, not its bytes
    ASSERT_TRUE(CommitMapInPlace(env, "/m", MapBootAt(b)));
    std::string committed;
    ASSERT_TRUE(ReadSmallFile(env, "/m", &committed));
    ASSERT_TRUE(DecodeMapHeader(committed, &back));
    EXPECT_EQ(back.writtenUnder, "") << c.what;
    EXPECT_EQ(back.pendingMtime, c.pendingMtime) << c.what;
    EXPECT_EQ(committed.substr(0, c.bootAt), b.substr(0, c.bootAt)) << c.what;
    // Synced, so a power loss keeps it committed.
    ASSERT_TRUE(ReadSmallFile(*env.snapshot(MemoryEnv::Crash::kPowerLoss), "/m", &committed));
    EXPECT_EQ(committed.substr(c.bootAt, kMapBootField), std::string(kMapBootField, '\0')) << c.what;

    for (size_t cut : {size_t{1}, size_t{8}, kMapBootField / 2}) {
      std::string torn = b;
      torn.replace(c.bootAt, cut, std::string(cut, '\0'));
      ASSERT_TRUE(DecodeMapHeader(torn, &back));
      EXPECT_FALSE(back.writtenUnder.empty()) << c.what << ", torn at " << cut;
      EXPECT_NE(back.writtenUnder, h.writtenUnder) << c.what << ", torn at " << cut;
    }
  }
  // A name longer than the field is not written, so it can never be taken
  // for another.
  h.pendingMtime = Timestamp();
  h.writtenUnder = std::string(kMapBootField + 1, 'b');
  const std::string tooLong = EncodeMap(h, {3, 3, 3, 3});
  EXPECT_EQ(MapBootAt(tooLong), 0u);
  EXPECT_EQ(tooLong.size(), 4404u);
}

TEST(MapFile, LongTextsAreCutAndStayTerminated) {
  struct Case {
    size_t etagLen;
    size_t pathLen;
    size_t wantEtag;
    size_t wantPath;
  } cases[] = {
      {0, 0, 0, 0}, {255, 4095, 255, 4095}, {256, 4096, 255, 4095}, {300, 5000, 255, 4095},
  };
  for (const Case& c : cases) {
    MapHeader h;
    h.blockSize = 4096;
    h.etag = std::string(c.etagLen, 'e');
    h.path = std::string(c.pathLen, 'p');
    const std::string b = EncodeMap(h, {});
    EXPECT_EQ(b[48 + 255], '\0') << c.etagLen;
    EXPECT_EQ(b[304 + 4095], '\0') << c.pathLen;
    MapHeader back;
    ASSERT_TRUE(DecodeMapHeader(b, &back));
    EXPECT_EQ(back.etag, std::string(c.wantEtag, 'e'));
    EXPECT_EQ(back.path, std::string(c.wantPath, 'p'));
    EXPECT_FALSE(back.dirty);
  }
}

TEST(MapFile, WithMapPathChangesThePathAlone) {
  MapHeader h;
  h.blockSize = 4096;
  h.size = 5000;
  h.etag = "v";
  h.path = "/old/and/longer";
  std::string foreign = EncodeMap(h, {3, 1});
  foreign[0] = 'X';  // every other byte is kept, even a damaged one
  struct Case {
    std::string newPath;
    std::string wantPath;
  } cases[] = {{"/new", "/new"}, {"", ""}, {std::string(5000, 'p'), std::string(kMaxMapPathBytes, 'p')}};
  for (const Case& c : cases) {
    const std::string moved = WithMapPath(foreign, c.newPath);
    ASSERT_EQ(moved.size(), foreign.size());
    MapHeader back;
    ASSERT_TRUE(DecodeMapHeader(moved, &back));
    EXPECT_EQ(back.path, c.wantPath);
    EXPECT_EQ(moved.substr(0, kMapOffPath), foreign.substr(0, kMapOffPath));
    EXPECT_EQ(moved.substr(kMapHeaderSize), foreign.substr(kMapHeaderSize));
  }
  EXPECT_EQ(WithMapPath("short", "/x"), "short");
}

TEST(MapFile, PresentBytesAndDirtyScan) {
  auto map = [](uint32_t blockSize, uint64_t size, std::vector<uint8_t> states, bool dirty = false) {
    MapHeader h;
    h.blockSize = blockSize;
    h.size = size;
    h.dirty = dirty;
    return EncodeMap(h, states);
  };
  struct Case {
    const char* what;
    std::string bytes;
    uint64_t wantBytes;
    bool wantDirty;
  } cases[] = {
      {"empty", map(100, 0, {}), 0, false},
      {"all present, short last block", map(100, 250, {1, 1, 1}), 250, false},
      {"missing blocks are not counted", map(100, 250, {0, 1, 0}), 100, false},
      {"a dirty bit makes it dirty", map(100, 250, {1, 3, 1}), 250, true},
      {"the dirty byte makes it dirty", map(100, 250, {0, 0, 0}, true), 0, true},
      {"a written bit alone is clean", map(100, 250, {5, 0, 0}), 100, false},
      {"present past the size stops the count", map(100, 150, {1, 1, 1, 1}), 150, false},
      {"block size zero", map(0, 150, {1, 1}), 0, false},
      {"a size no file can have", map(100, UINT64_MAX, {1, 1}), 0, false},
      {"short map", std::string(100, '\0'), 0, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MapPresentBytes(c.bytes), c.wantBytes) << c.what;
    EXPECT_EQ(MapHasDirty(c.bytes), c.wantDirty) << c.what;
  }
  std::string foreign = map(100, 100, {1});
  foreign[0] = 'X';
  EXPECT_EQ(MapPresentBytes(foreign), 0u);
}

TEST(MapFile, ReadSmallFileLimits) {
  test::TempDir dir("tarn-map");
  struct Case {
    const char* name;
    uint64_t size;
    bool want;
  } cases[] = {
      {"empty", 0, true},
      {"small", 10, true},
      {"exactly the limit", kMaxSmallFileBytes, true},
      {"one byte over", kMaxSmallFileBytes + 1, false},
  };
  for (const Case& c : cases) {
    const std::string path = dir.file(c.name);
    {
      int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ASSERT_GE(fd, 0);
      ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(c.size)), 0);  // sparse, cheap
      ::close(fd);
    }
    std::string out = "stale";
    EXPECT_EQ(ReadSmallFile(*Env::Default(), path, &out), c.want) << c.name;
    if (c.want) {
      EXPECT_EQ(out.size(), c.size) << c.name;
    }
    ::unlink(path.c_str());
  }
  std::string out;
  EXPECT_FALSE(ReadSmallFile(*Env::Default(), dir.file("missing"), &out));
  EXPECT_FALSE(ReadSmallFile(*Env::Default(), dir.path(), &out));
}

TEST(MapFile, WriteFileAtomicCreatesReplacesAndCleansUp) {
  test::TempDir dir("tarn-map");
  Env& env = *Env::Default();
  const std::string path = dir.file("obj.map");
  for (bool flush : {false, true}) {
    ::unlink(path.c_str());
    ASSERT_TRUE(WriteFileAtomic(env, path, "first", true, flush));
    std::string out;
    ASSERT_TRUE(ReadSmallFile(env, path, &out));
    EXPECT_EQ(out, "first");
    // create-new on an existing file falls back to the replacing write
    ASSERT_TRUE(WriteFileAtomic(env, path, "second, longer", true, flush));
    ASSERT_TRUE(ReadSmallFile(env, path, &out));
    EXPECT_EQ(out, "second, longer");
    ASSERT_TRUE(WriteFileAtomic(env, path, "3", false, flush));
    ASSERT_TRUE(ReadSmallFile(env, path, &out));
    EXPECT_EQ(out, "3");
    EXPECT_FALSE(fs::exists(path + ".tmp"));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
  }
  // The target is a folder: the rename fails and no temporary stays behind.
  const std::string folder = dir.file("folder.map");
  ASSERT_TRUE(fs::create_directory(folder));
  EXPECT_FALSE(WriteFileAtomic(env, folder, "x", false, false));
  EXPECT_FALSE(fs::exists(folder + ".tmp"));
  EXPECT_FALSE(WriteFileAtomic(env, dir.file("no/such/dir/x.map"), "x", true, false));
}

}  // namespace
}  // namespace tarn
