// A volume on a WebDAV server, through the back-ends the factory makes:
// what the drive asks of the server for each way of reading a file.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "backends/web/webdav_backend.h"
#include "engine/volume.h"
#include "testing/backend_transfer.h"
#include "testing/fake_dav/fake_dav_process.h"
#include "testing/temp_dir.h"

namespace tarn {
namespace {

constexpr uint64_t kMiB = 1 << 20;
constexpr uint64_t kFileBytes = 24 * kMiB;
// What the kernel asks for at a time.
constexpr uint64_t kReadBytes = 128 * 1024;

class VolumeOnDav : public ::testing::Test {
 protected:
  void SetUp() override {
    const EndpointConfig endpoint = test::TestEndpoint("webdav", fake_.filesUrl(), "alice", "pw");
    data_ = test::Pattern(kFileBytes, 5);
    WebDavBackend b(endpoint);
    ASSERT_TRUE(b.connect().ok());
    for (const char* path : {"/a.bin", "/b.bin"}) ASSERT_TRUE(test::Upload(b, path, data_).ok());
    MountConfig config;
    config.id = "drive";
    config.endpoint = endpoint;
    volume_ = std::make_unique<Volume>(config, dir_.path(), Volume::BackendFactory());
    ASSERT_TRUE(volume_->start(nullptr).ok());
    fake_.clearLog();
  }
  void TearDown() override { volume_->stop(0); }

  // Reads length bytes at offset through a handle, as the mount host does.
  bool readsBack(const std::shared_ptr<OpenFile>& file, uint64_t offset, uint64_t length) {
    std::vector<uint8_t> buffer(length);
    uint64_t got = 0;
    return volume_->read(file, offset, buffer.data(), length, got).ok() && got == length &&
           std::equal(buffer.begin(), buffer.end(), data_.begin() + static_cast<std::ptrdiff_t>(offset));
  }
  std::vector<std::string> gets(const std::string& path) { return fake_.requestsWith({"\"GET\"", path}); }

  testing::FakeDavProcess fake_;
  test::TempDir dir_;
  std::vector<uint8_t> data_;
  std::unique_ptr<Volume> volume_;
};

TEST_F(VolumeOnDav, AFileReadFromItsStartIsOneGet) {
  std::shared_ptr<OpenFile> file;
  ASSERT_TRUE(volume_->open("/a.bin", file).ok());
  fake_.clearLog();
  for (uint64_t at = 0; at < kFileBytes; at += kReadBytes) ASSERT_TRUE(readsBack(file, at, kReadBytes)) << at;
  volume_->closeNow(file);
  const std::vector<std::string> all = gets("a.bin");
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].find("Range"), std::string::npos) << all[0];
  // The GET's answer named the copy the drive had seen: no look besides.
  EXPECT_TRUE(fake_.requestsWith({"\"PROPFIND\"", "a.bin"}).empty());
}

// A file replaced on the server while a reader goes through it, whose
// stream then breaks: the GET that takes it up again answers with the new
// copy, none of which reaches the reader; the server keeps no old copy, so
// the rest fails.
TEST(VolumeOnDavReplaced, AStreamThatResumesOnAnotherCopyFeedsNoReader) {
  constexpr uint64_t kDropAt = 3 * kMiB + 5;
  testing::FakeDavProcess fake({"--drop-get-after", std::to_string(kDropAt)});
  const EndpointConfig endpoint = test::TestEndpoint("webdav", fake.filesUrl(), "alice", "pw");
  const std::vector<uint8_t> old = test::Pattern(8 * kMiB, 5), now = test::Pattern(8 * kMiB, 6);
  WebDavBackend other(endpoint);
  ASSERT_TRUE(other.connect().ok());
  ASSERT_TRUE(test::Upload(other, "/c.bin", old).ok());
  test::TempDir dir;
  MountConfig config;
  config.id = "drive";
  config.endpoint = endpoint;
  // The stream runs only as far as the reader asks, on the drive's only
  // connection: no other is free to ask the server what it holds.
  config.cache.readaheadBlocks = config.cache.readaheadMaxBlocks = 0;
  config.net.connections = 1;
  config.net.keepaliveSec = 0;
  Volume volume(config, dir.path(), Volume::BackendFactory());
  ASSERT_TRUE(volume.start(nullptr).ok());
  std::shared_ptr<OpenFile> file;
  ASSERT_TRUE(volume.open("/c.bin", file).ok());
  std::vector<uint8_t> seen;
  std::vector<uint8_t> buffer(kReadBytes);
  Status st;
  for (uint64_t at = 0; at < old.size(); at += kReadBytes) {
    if (at == kMiB) {
      ASSERT_TRUE(test::Upload(other, "/c.bin", now).ok());
    }
    uint64_t got = 0;
    st = volume.read(file, at, buffer.data(), buffer.size(), got);
    if (!st.ok() || got == 0) break;
    seen.insert(seen.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got));
  }
  volume.closeNow(file);
  volume.stop(0);
  ASSERT_LE(seen.size(), old.size());
  EXPECT_TRUE(std::equal(seen.begin(), seen.end(), old.begin())) << "bytes the file never had";
  EXPECT_EQ(st.toString(), "io: read: /c.bin was replaced on the server while open");
  EXPECT_GE(seen.size(), 3 * kMiB);
  EXPECT_GE(fake.requestsWith({"\"GET\"", "c.bin"}).size(), 2u) << "the stream was taken up again";
}

TEST_F(VolumeOnDav, ReadsElsewhereStayRanged) {
  std::shared_ptr<OpenFile> file;
  ASSERT_TRUE(volume_->open("/b.bin", file).ok());
  for (uint64_t at : {10 * kMiB, 3 * kMiB, 20 * kMiB + 5}) ASSERT_TRUE(readsBack(file, at, 4096)) << at;
  volume_->closeNow(file);
  const std::vector<std::string> all = gets("b.bin");
  EXPECT_FALSE(all.empty());
  for (const std::string& get : all) EXPECT_NE(get.find("\"Range\": \"bytes="), std::string::npos) << get;
}

}  // namespace
}  // namespace tarn
