// Every operation of the S3 back-end against a real S3-compatible store
// (Swift with s3api), which checks signatures, payload hashes and regions.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "backends/web/s3_backend.h"
#include "backends/web/xml.h"
#include "testing/s3/swift_endpoint.h"

namespace tarn {
namespace {

using tarn::testing::SwiftS3Endpoint;

std::vector<uint8_t> Pattern(size_t size, uint32_t seed) {
  std::vector<uint8_t> v(size);
  std::mt19937 gen(seed);
  for (auto& b : v) b = static_cast<uint8_t>(gen());
  return v;
}

class SwiftS3 : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    folder_ = "t-" + name + "-" + std::to_string(getpid());
    s3_ = std::make_unique<S3Backend>(SwiftS3Endpoint(folder_));
    Status st = s3_->connect();
    ASSERT_TRUE(st.ok()) << st.message;
  }
  void TearDown() override {
    if (!s3_ || !s3_->isConnected()) return;
    S3ListPage page;
    while (s3_->listObjects(folder_ + "/", false, kS3ListPageKeys, "", page).ok() && !page.objects.empty()) {
      for (const S3Object& o : page.objects) {
        S3Request drop;
        drop.method = "DELETE";
        drop.key = o.key;
        S3Response reply;
        (void)s3_->execute(drop, reply);
      }
    }
  }

  Status Upload(const std::string& path, const std::vector<uint8_t>& data, size_t piece, RemoteAttr* out = nullptr) {
    std::unique_ptr<IWriteStream> w;
    if (Status st = s3_->openWrite(path, 0, data.size(), w); !st.ok()) return st;
    for (size_t at = 0; at < data.size(); at += piece)
      if (Status st = w->write(data.data() + at, std::min(piece, data.size() - at)); !st.ok()) return st;
    return w->finish(out);
  }

  std::vector<uint8_t> ReadAll(const std::string& path, uint64_t offset) {
    std::unique_ptr<IReadStream> r;
    EXPECT_TRUE(s3_->openRead(path, offset, r).ok());
    std::vector<uint8_t> out, buf(1 << 20);
    for (;;) {
      uint64_t got = 0;
      Status st = r->read(buf.data(), buf.size(), got);
      EXPECT_TRUE(st.ok()) << st.message;
      if (!st.ok() || got == 0) break;
      out.insert(out.end(), buf.begin(), buf.begin() + static_cast<long>(got));
    }
    return out;
  }

  std::string folder_;
  std::unique_ptr<S3Backend> s3_;
};

TEST_F(SwiftS3, RefusedCredentialsAndMissingBucketsMapToTheirCodes) {
  struct Case {
    const char* what;
    std::string password, root;
    int32_t code;
    int32_t native;
    std::string messageStart;
  } cases[] = {
      {"wrong secret", "not-the-secret", "", Status::kAuthFailed, 403, "SignatureDoesNotMatch: "},
      {"missing bucket", "", "/no-such-bucket-" + std::to_string(getpid()), Status::kNotFound, 404, "NoSuchBucket: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EndpointConfig ep = SwiftS3Endpoint("");
    if (!c.password.empty()) ep.password = c.password;
    if (!c.root.empty()) ep.root = c.root;
    S3Backend s3(ep);
    Status st = s3.connect();
    EXPECT_EQ(st.code, c.code) << st.message;
    EXPECT_EQ(st.native, c.native);
    EXPECT_EQ(st.message.rfind(c.messageStart, 0), 0u) << st.message;
    EXPECT_FALSE(s3.isConnected());
  }
}

TEST_F(SwiftS3, AWrongRegionIsCorrectedOnceAndKept) {
  EndpointConfig ep = SwiftS3Endpoint(folder_);
  ep.extra = "region=eu-west-1";
  S3Backend s3(ep);
  Status st = s3.connect();
  ASSERT_TRUE(st.ok()) << st.message;
  EXPECT_EQ(s3.endpoint().region, testing::RequiredEnv("TARN_S3_REGION"));
  EXPECT_TRUE(s3.create("/after-correction").ok());
}

TEST_F(SwiftS3, ObjectsAreCreatedStatedReadAndRemoved) {
  EXPECT_TRUE(s3_->create("/empty").ok());
  Status again = s3_->create("/empty");
  EXPECT_EQ(again.code, Status::kExists);

  const std::vector<uint8_t> data = Pattern(100000, 1);
  RemoteAttr written;
  Status st = Upload("/data.bin", data, 7000, &written);
  ASSERT_TRUE(st.ok()) << st.message;
  RemoteAttr attr;
  ASSERT_TRUE(s3_->stat("/data.bin", attr).ok());
  EXPECT_EQ(attr.type, RemoteAttr::kFile);
  EXPECT_EQ(attr.size, data.size());
  EXPECT_EQ(attr.etag, written.etag);
  EXPECT_EQ(written.size, data.size());
  EXPECT_FALSE(written.mtime.isZero());
  EXPECT_FALSE(attr.mtime.isZero());

  struct Range {
    uint64_t offset, length, expect;
  } ranges[] = {{0, 10, 10}, {4096, 50000, 50000}, {99990, 100, 10}, {100000, 10, 0}, {200000, 10, 0}, {5, 0, 0}};
  for (const Range& r : ranges) {
    SCOPED_TRACE(r.offset);
    std::vector<uint8_t> buf(r.length + 1, 0xEE);
    uint64_t got = 99;
    Status rs = s3_->readRange("/data.bin", r.offset, buf.data(), r.length, got);
    ASSERT_TRUE(rs.ok()) << rs.message;
    ASSERT_EQ(got, r.expect);
    EXPECT_TRUE(
        std::equal(buf.begin(), buf.begin() + static_cast<long>(got), data.begin() + static_cast<long>(r.offset)));
    EXPECT_EQ(buf[got], 0xEE);
  }
  EXPECT_EQ(ReadAll("/data.bin", 0), data);
  EXPECT_EQ(ReadAll("/data.bin", 99000), std::vector<uint8_t>(data.begin() + 99000, data.end()));
  EXPECT_TRUE(ReadAll("/data.bin", 100000).empty());

  // A stream closed in the middle resumes where it stopped.
  std::unique_ptr<IReadStream> r;
  ASSERT_TRUE(s3_->openRead("/data.bin", 10, r).ok());
  std::vector<uint8_t> head(1000);
  uint64_t got = 0;
  ASSERT_TRUE(r->read(head.data(), head.size(), got).ok());
  ASSERT_GT(got, 0u);
  r->close();
  std::vector<uint8_t> next(10);
  uint64_t got2 = 0;
  ASSERT_TRUE(r->read(next.data(), next.size(), got2).ok());
  ASSERT_EQ(got2, 10u);
  EXPECT_TRUE(std::equal(next.begin(), next.end(), data.begin() + 10 + static_cast<long>(got)));

  uint64_t none = 0;
  uint8_t byte = 0;
  Status missing = s3_->readRange("/nothing", 0, &byte, 1, none);
  EXPECT_EQ(missing.code, Status::kNotFound) << missing.message;
  EXPECT_EQ(s3_->stat("/nothing", attr).code, Status::kNotFound);

  EXPECT_TRUE(s3_->remove("/data.bin", false).ok());
  EXPECT_EQ(s3_->stat("/data.bin", attr).code, Status::kNotFound);
}

TEST_F(SwiftS3, KeysGoOutByteForByte) {
  // Dot segments, doubled slashes and reserved characters stay part of the key.
  const char* names[] = {"/a b+c~d", "/x/./y", "/x/../z", "/p%41q", "/q?r#s&t=u", "/\xC3\xA9t\xC3\xA9", "/d//e"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> data(name, name + std::strlen(name));
    Status st = Upload(name, data, 3);
    ASSERT_TRUE(st.ok()) << st.message;
    std::vector<uint8_t> back(64);
    uint64_t got = 0;
    ASSERT_TRUE(s3_->readRange(name, 0, back.data(), back.size(), got).ok());
    EXPECT_EQ(std::vector<uint8_t>(back.begin(), back.begin() + static_cast<long>(got)), data);
  }
  S3ListPage page;
  ASSERT_TRUE(s3_->listObjects(folder_ + "/", false, kS3ListPageKeys, "", page).ok());
  std::vector<std::string> keys;
  for (const S3Object& o : page.objects) keys.push_back(o.key.substr(folder_.size()));
  for (const char* name : names) EXPECT_NE(std::find(keys.begin(), keys.end(), name), keys.end()) << name;
}

TEST_F(SwiftS3, FoldersAreMarkersOrCommonPrefixes) {
  ASSERT_TRUE(s3_->mkdir("/marked").ok());
  EXPECT_TRUE(s3_->mkdir("/marked").ok());
  ASSERT_TRUE(s3_->create("/implicit/deep/file").ok());
  ASSERT_TRUE(s3_->create("/marked/one").ok());
  ASSERT_TRUE(s3_->create("/top").ok());

  RemoteAttr attr;
  ASSERT_TRUE(s3_->stat("/marked", attr).ok());
  EXPECT_EQ(attr.type, RemoteAttr::kDirectory);
  EXPECT_FALSE(attr.mtime.isZero());
  ASSERT_TRUE(s3_->stat("/implicit", attr).ok());
  EXPECT_EQ(attr.type, RemoteAttr::kDirectory);
  EXPECT_TRUE(attr.mtime.isZero());
  ASSERT_TRUE(s3_->stat("/", attr).ok());
  EXPECT_EQ(attr.type, RemoteAttr::kDirectory);

  std::vector<DirEntry> entries;
  ASSERT_TRUE(s3_->list("/", entries).ok());
  std::vector<std::pair<std::string, uint32_t>> seen;
  for (const auto& e : entries) seen.emplace_back(e.name, e.attr.type);
  std::sort(seen.begin(), seen.end());
  std::vector<std::pair<std::string, uint32_t>> want = {
      {"implicit", RemoteAttr::kDirectory}, {"marked", RemoteAttr::kDirectory}, {"top", RemoteAttr::kFile}};
  EXPECT_EQ(seen, want);
  ASSERT_TRUE(s3_->list("/marked", entries).ok());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "one");

  struct ListCase {
    const char* path;
    int32_t code;
  } lists[] = {{"/top", Status::kNotDirectory}, {"/absent", Status::kNotFound}, {"/implicit/deep", Status::kOk}};
  for (const ListCase& c : lists) {
    Status st = s3_->list(c.path, entries);
    EXPECT_EQ(st.code, c.code) << c.path << ": " << st.message;
    if (!st.ok()) {
      EXPECT_EQ(st.message, c.path);
    }
  }

  struct RemoveCase {
    const char* path;
    int32_t code;
  } removes[] = {{"/marked", Status::kNotEmpty},
                 {"/implicit", Status::kNotEmpty},
                 {"/absent", Status::kNotFound},
                 {"/marked/one", Status::kOk}};
  for (const RemoveCase& c : removes) {
    bool isDir = std::string(c.path) != "/marked/one";
    EXPECT_EQ(s3_->remove(c.path, isDir).code, c.code) << c.path;
  }
  // Only the marker is left, so the folder goes and is not found any more.
  ASSERT_TRUE(s3_->list("/marked", entries).ok());
  EXPECT_TRUE(entries.empty());
  EXPECT_TRUE(s3_->remove("/marked", true).ok());
  EXPECT_EQ(s3_->stat("/marked", attr).code, Status::kNotFound);
  EXPECT_EQ(s3_->remove("/", true).code, Status::kInvalid);
}

TEST_F(SwiftS3, ListingsFollowContinuationTokens) {
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(s3_->create("/k" + std::to_string(i)).ok());
  std::vector<std::string> keys;
  std::string token;
  int pages = 0;
  do {
    S3ListPage page;
    Status st = s3_->listObjects(folder_ + "/", false, 2, token, page);
    ASSERT_TRUE(st.ok()) << st.message;
    for (const S3Object& o : page.objects) keys.push_back(o.key);
    token = page.truncated ? page.nextToken : "";
    ++pages;
  } while (!token.empty() && pages < 10);
  EXPECT_EQ(pages, 3);
  ASSERT_EQ(keys.size(), 5u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(keys[static_cast<size_t>(i)], folder_ + "/k" + std::to_string(i));
}

TEST_F(SwiftS3, RenameCopiesAndDeletes) {
  const std::vector<uint8_t> one = Pattern(3000, 2), two = Pattern(500, 3);
  ASSERT_TRUE(Upload("/one", one, 1000).ok());
  ASSERT_TRUE(Upload("/two", two, 1000).ok());
  ASSERT_TRUE(s3_->mkdir("/dir").ok());

  Status st = s3_->rename("/one", "/two", false);
  EXPECT_EQ(st.code, Status::kExists);
  EXPECT_EQ(st.message, "/two");
  EXPECT_EQ(s3_->rename("/dir", "/dir2", true).code, Status::kUnsupported);
  EXPECT_EQ(s3_->rename("/ghost", "/x", true).code, Status::kNotFound);
  EXPECT_TRUE(s3_->rename("/one", "/one", false).ok());

  ASSERT_TRUE(s3_->rename("/one", "/moved one", false).ok());
  ASSERT_TRUE(s3_->rename("/moved one", "/two", true).ok());
  RemoteAttr attr;
  EXPECT_EQ(s3_->stat("/one", attr).code, Status::kNotFound);
  EXPECT_EQ(s3_->stat("/moved one", attr).code, Status::kNotFound);
  EXPECT_EQ(ReadAll("/two", 0), one);
}

TEST_F(SwiftS3, LargeObjectsGoInParallelParts) {
  // Three parts: two of 16 MiB and a short last one.
  const std::vector<uint8_t> data = Pattern(2 * kS3PartBytes + 12345, 4);
  RemoteAttr written;
  Status st = Upload("/big", data, 3 * 1048576 + 7, &written);
  ASSERT_TRUE(st.ok()) << st.message;
  EXPECT_EQ(written.size, data.size());
  // The store names a multipart object by its part count.
  EXPECT_NE(written.etag.find("-3"), std::string::npos) << written.etag;
  RemoteAttr attr;
  ASSERT_TRUE(s3_->stat("/big", attr).ok());
  EXPECT_EQ(attr.size, data.size());
  EXPECT_EQ(attr.etag, written.etag);
  EXPECT_EQ(ReadAll("/big", 0), data);
  std::vector<uint8_t> across(100);
  uint64_t got = 0;
  ASSERT_TRUE(s3_->readRange("/big", kS3PartBytes - 50, across.data(), across.size(), got).ok());
  ASSERT_EQ(got, across.size());
  EXPECT_TRUE(std::equal(across.begin(), across.end(), data.begin() + static_cast<long>(kS3PartBytes - 50)));
}

// The uploads of a key that the store still holds, by ListMultipartUploads.
std::vector<std::string> OpenUploads(S3Backend& s3, const std::string& key) {
  S3Request request;
  request.bucketLevel = true;
  request.query = {{"uploads", ""}, {"prefix", key}};
  S3Response reply;
  EXPECT_TRUE(s3.execute(request, reply).ok());
  EXPECT_EQ(reply.status, 200u);
  std::vector<std::string> ids;
  if (auto root = ParseXml(reply.body)) {
    for (const XmlNode* upload : root->childrenNamed("upload")) ids.push_back(upload->childText("uploadid"));
  }
  return ids;
}

TEST_F(SwiftS3, AnAbandonedUploadKeepsThePreviousObject) {
  const std::vector<uint8_t> old = Pattern(1000, 5), fresh = Pattern(kS3PartBytes + 2 * 1048576, 6);
  ASSERT_TRUE(Upload("/keep", old, 1000).ok());
  RemoteAttr before;
  ASSERT_TRUE(s3_->stat("/keep", before).ok());

  for (bool explicitAbort : {true, false}) {
    SCOPED_TRACE(explicitAbort);
    std::unique_ptr<IWriteStream> w;
    ASSERT_TRUE(s3_->openWrite("/keep", 0, fresh.size(), w).ok());
    ASSERT_TRUE(w->write(fresh.data(), kS3PartBytes + 1).ok());  // the first part went out
    EXPECT_EQ(OpenUploads(*s3_, s3_->objectKey("/keep")).size(), 1u);
    if (explicitAbort) {
      w->abort();
      EXPECT_EQ(w->write(fresh.data(), 1).code, Status::kInvalid);
    }
    w.reset();
    EXPECT_TRUE(OpenUploads(*s3_, s3_->objectKey("/keep")).empty());
    RemoteAttr after;
    ASSERT_TRUE(s3_->stat("/keep", after).ok());
    EXPECT_EQ(after.etag, before.etag);
    EXPECT_EQ(ReadAll("/keep", 0), old);
  }
}

TEST_F(SwiftS3, UploadsKeepTheirAnnouncedSize) {
  const std::vector<uint8_t> data = Pattern(101, 7);
  struct Case {
    size_t write;
  } cases[] = {{99}, {101}};
  for (const Case& c : cases) {
    std::unique_ptr<IWriteStream> w;
    ASSERT_TRUE(s3_->openWrite("/sized", 0, 100, w).ok());
    ASSERT_TRUE(w->write(data.data(), c.write).ok());
    Status st = w->finish(nullptr);
    EXPECT_EQ(st.code, Status::kInvalid);
    EXPECT_EQ(st.message, "S3 upload: body shorter than announced");
    EXPECT_EQ(w->finish(nullptr).code, Status::kInvalid);
  }
  RemoteAttr attr;
  EXPECT_EQ(s3_->stat("/sized", attr).code, Status::kNotFound);

  std::unique_ptr<IWriteStream> w;
  ASSERT_TRUE(s3_->openWrite("/zero", 0, 0, w).ok());
  ASSERT_TRUE(w->finish(nullptr).ok());
  EXPECT_EQ(w->write(data.data(), 1).message, "S3 upload: write after finish");
  EXPECT_EQ(w->finish(nullptr).message, "S3 upload: already finished");
  ASSERT_TRUE(s3_->stat("/zero", attr).ok());
  EXPECT_EQ(attr.size, 0u);
}

}  // namespace
}  // namespace tarn
