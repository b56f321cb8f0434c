// The S3 back-end against our fake store, for what the real test store does
// not show: region correction, redirects, error documents in 200 replies,
// throttling, URL-encoded listings, stores that ignore Range, server kinds,
// IPv6 hosts, and the exact requests of uploads.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "backends/web/s3_backend.h"
#include "foundation/cancel_token.h"
#include "foundation/json.h"
#include "testing/fake_s3/fake_s3_process.h"

namespace tarn {
namespace {

using tarn::testing::FakeS3Process;

struct Logged {
  std::string method, path, authorization;
  vx::json::Value headers;
};

std::vector<Logged> Requests(const FakeS3Process& fake) {
  std::vector<Logged> out;
  for (const std::string& line : fake.requests()) {
    vx::json::Value v;
    EXPECT_TRUE(vx::json::Parse(line, v)) << line;
    out.push_back(
        {v["method"].asString(), v["path"].asString(), v["headers"]["authorization"].asString(), v["headers"]});
  }
  return out;
}

std::string RegionOf(const std::string& authorization) {
  size_t at = authorization.find("Credential=");
  if (at == std::string::npos) return "";
  size_t first = authorization.find('/', at);
  size_t second = authorization.find('/', first + 1);
  size_t third = authorization.find('/', second + 1);
  return authorization.substr(second + 1, third - second - 1);
}

// The first query parameter: a part's number whole, others by name only.
std::string FirstParameter(const std::string& path) {
  size_t q = path.find('?');
  if (q == std::string::npos) return "";
  std::string first = path.substr(q + 1, path.find('&', q) - q - 1);
  return first.rfind("partNumber=", 0) == 0 ? first : first.substr(0, first.find('=') + 1);
}

std::unique_ptr<S3Backend> Connected(EndpointConfig ep) {
  auto s3 = std::make_unique<S3Backend>(std::move(ep));
  Status st = s3->connect();
  EXPECT_TRUE(st.ok()) << st.message;
  return s3;
}

Status Upload(S3Backend& s3, const std::string& path, const std::vector<uint8_t>& data, RemoteAttr* out = nullptr) {
  std::unique_ptr<IWriteStream> w;
  if (Status st = s3.openWrite(path, 0, data.size(), w); !st.ok()) return st;
  if (Status st = w->write(data.data(), data.size()); !st.ok()) return st;
  return w->finish(out);
}

TEST(S3Fake, TheRegionIsCorrectedOnceAndKept) {
  FakeS3Process fake({"--region", "eu-west-1"});
  auto s3 = Connected(fake.endpoint());
  EXPECT_EQ(s3->endpoint().region, "eu-west-1");
  ASSERT_TRUE(s3->create("/a").ok());
  std::vector<std::string> regions;
  for (const Logged& r : Requests(fake)) regions.push_back(RegionOf(r.authorization));
  // The listing of connect twice, then HEAD and PUT of create straight away.
  EXPECT_EQ(regions, (std::vector<std::string>{"us-east-1", "eu-west-1", "eu-west-1", "eu-west-1"}));
}

TEST(S3Fake, ASecondWrongRegionInOneCallIsRefused) {
  FakeS3Process fake({"--malformed-always", "ap-south-1,sa-east-1"});
  S3Backend s3(fake.endpoint());
  Status st = s3.connect();
  EXPECT_EQ(st.code, Status::kAuthFailed);
  EXPECT_EQ(st.native, 400);
  EXPECT_EQ(st.message.rfind("AuthorizationHeaderMalformed: ", 0), 0u) << st.message;
  std::vector<std::string> regions;
  for (const Logged& r : Requests(fake)) regions.push_back(RegionOf(r.authorization));
  EXPECT_EQ(regions, (std::vector<std::string>{"us-east-1", "ap-south-1"}));
}

TEST(S3Fake, FailuresOfTheStoreMapToStatuses) {
  struct Case {
    std::vector<std::string> args;
    int32_t code;
    int32_t native;
    std::string message;
  } cases[] = {
      {{"--fault", "*:301:PermanentRedirect"},
       Status::kInvalid,
       301,
       "PermanentRedirect: injected (LIST bucket) - wrong endpoint or region for this bucket"},
      {{"--fault", "*:301:-"},
       Status::kInvalid,
       301,
       "LIST bucket -> HTTP 301 - wrong endpoint or region for this bucket"},
      {{"--fault", "*:503:SlowDown"}, Status::kNetwork, 503, "SlowDown: injected (LIST bucket)"},
      {{"--fault", "*:500:InternalError"}, Status::kNetwork, 500, "InternalError: injected (LIST bucket)"},
      {{"--fault", "*:200:InternalError"}, Status::kNetwork, 200, "InternalError: injected (LIST bucket)"},
      {{"--fault", "*:403:AccessDenied"}, Status::kAccessDenied, 403, "AccessDenied: injected (LIST bucket)"},
      {{"--fault", "*:200:-"}, Status::kProtocol, 0, "LIST: not a ListBucketResult reply"},
      {{"--pad-listing", "17000000"}, Status::kProtocol, 200, "read: the reply is larger than 16 MiB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    FakeS3Process fake(c.args);
    S3Backend s3(fake.endpoint());
    Status st = s3.connect();
    EXPECT_EQ(st.code, c.code);
    EXPECT_EQ(st.native, c.native);
    EXPECT_EQ(st.message, c.message);
    EXPECT_EQ(Requests(fake).size(), 1u);
  }
}

TEST(S3Fake, TheServerHeaderNamesTheKind) {
  struct Case {
    const char* header;
    const char* kind;
  } cases[] = {{"MinIO", "minio"}, {"AmazonS3", "aws"}, {"FakeS3/1.0", "s3"}};
  for (const Case& c : cases) {
    FakeS3Process fake({"--server", c.header});
    auto s3 = Connected(fake.endpoint());
    EXPECT_EQ(s3->caps().server, c.kind) << c.header;
  }
}

TEST(S3Fake, RequestsCarryDateHashAndSignature) {
  FakeS3Process fake;
  EndpointConfig anonymous = fake.endpoint();
  anonymous.user.clear();
  auto s3 = Connected(anonymous);
  ASSERT_TRUE(s3->create("/src").ok());
  auto signed_ = Connected(fake.endpoint());
  ASSERT_TRUE(signed_->rename("/src", "/dst", true).ok());

  std::vector<Logged> log = Requests(fake);
  ASSERT_GE(log.size(), 3u);
  for (const Logged& r : log) {
    EXPECT_EQ(r.headers["x-amz-date"].asString().size(), 16u) << r.method << " " << r.path;
    EXPECT_FALSE(r.headers["x-amz-content-sha256"].asString().empty());
  }
  // Anonymous requests go unsigned; the empty body has the empty input's hash.
  EXPECT_TRUE(log[0].authorization.empty());
  EXPECT_EQ(log[0].headers["x-amz-content-sha256"].asString(),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  // Content-Type goes out unsigned, the copy source signed.
  bool sawCopy = false;
  for (const Logged& r : log) {
    if (!r.headers.has("x-amz-copy-source")) continue;
    sawCopy = true;
    EXPECT_EQ(r.headers["x-amz-copy-source"].asString(), "/bucket/src");
    EXPECT_NE(r.authorization.find("SignedHeaders=host;x-amz-content-sha256;x-amz-copy-source;x-amz-date,"),
              std::string::npos)
        << r.authorization;
  }
  EXPECT_TRUE(sawCopy);
}

TEST(S3Fake, ListingsDecodeKeysAndFollowPages) {
  for (bool plain : {false, true}) {
    SCOPED_TRACE(plain);
    std::vector<std::string> args = {"--page-size", "2"};
    if (plain) args.push_back("--plain-keys");
    FakeS3Process fake(args);
    auto s3 = Connected(fake.endpoint("/bucket/pre"));
    for (const char* name : {"/a b", "/c+d", "/e%2Bf", "/x", "/x/inner", "/y/deep/z"})
      ASSERT_TRUE(s3->create(name).ok());
    std::vector<DirEntry> entries;
    Status st = s3->list("/", entries);
    ASSERT_TRUE(st.ok()) << st.message;
    std::vector<std::string> names;
    for (const DirEntry& e : entries) names.push_back(e.name + (e.attr.isDir() ? "/" : ""));
    // "x" the file comes before the prefix "x/" and wins.
    EXPECT_EQ(names, (std::vector<std::string>{"a b", "c+d", "e%2Bf", "x", "y/"}));
  }
  FakeS3Process noToken({"--page-size", "1", "--no-token"});
  auto s3 = Connected(noToken.endpoint());
  ASSERT_TRUE(s3->create("/a").ok());
  ASSERT_TRUE(s3->create("/b").ok());
  std::vector<DirEntry> entries;
  Status st = s3->list("/", entries);
  EXPECT_EQ(st.code, Status::kProtocol);
  EXPECT_EQ(st.message, "LIST: truncated reply without a continuation token");
}

TEST(S3Fake, SizesNoFileCanHaveAreRefused) {
  for (const char* size : {"18446744073709551615", "-1", "17592186044417"}) {
    SCOPED_TRACE(size);
    FakeS3Process fake({"--claim-size", size});
    auto s3 = Connected(fake.endpoint());
    ASSERT_TRUE(s3->create("/f").ok());
    RemoteAttr attr;
    // Sizes past 2^63 never reach us: the HTTP layer refuses the header.
    EXPECT_EQ(s3->stat("/f", attr).code, Status::kProtocol);
    std::vector<DirEntry> entries;
    Status st;
    st = s3->list("/", entries);
    EXPECT_EQ(st.code, Status::kProtocol);
    EXPECT_NE(st.message.find("size out of range"), std::string::npos) << st.message;
  }
}

TEST(S3Fake, AStoreThatIgnoresRangeIsRefused) {
  FakeS3Process fake({"--ignore-range"});
  auto s3 = Connected(fake.endpoint());
  const std::vector<uint8_t> data(1000, 7);
  ASSERT_TRUE(Upload(*s3, "/f", data).ok());
  std::vector<uint8_t> buf(100);
  uint64_t got = 0;
  ASSERT_TRUE(s3->readRange("/f", 0, buf.data(), buf.size(), got).ok());
  EXPECT_EQ(got, 100u);
  Status st = s3->readRange("/f", 10, buf.data(), buf.size(), got);
  EXPECT_EQ(st.code, Status::kProtocol);
  EXPECT_EQ(st.native, 200);
  EXPECT_EQ(st.message, "GET f: the server ignored Range");
  std::unique_ptr<IReadStream> r;
  ASSERT_TRUE(s3->openRead("/f", 10, r).ok());
  EXPECT_EQ(r->read(buf.data(), buf.size(), got).message, "GET f: the server ignored Range");
}

TEST(S3Fake, UploadsUseOnePutUpToOnePart) {
  FakeS3Process fake;
  auto s3 = Connected(fake.endpoint());
  struct Case {
    uint64_t size;
    std::vector<std::string> requests;  // method, first parameter and length of each request
  } cases[] = {
      {0, {"PUT  0"}},
      {kS3PartBytes, {"PUT  16777216"}},
      {kS3PartBytes + 1, {"POST uploads=", "PUT partNumber=1 16777216", "PUT partNumber=2 1", "POST uploadId="}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    const std::vector<uint8_t> data(c.size, 0x5A);
    fake.clearLog();
    RemoteAttr attr;
    Status st = Upload(*s3, "/obj", data, &attr);
    ASSERT_TRUE(st.ok()) << st.message;
    EXPECT_EQ(attr.size, c.size);
    EXPECT_FALSE(attr.etag.empty());
    // Parts go out in parallel: their order among themselves is free.
    std::vector<std::string> seen;
    for (const Logged& r : Requests(fake)) {
      seen.push_back(r.method + " " + FirstParameter(r.path) +
                     (r.method == "PUT" ? " " + r.headers["content-length"].asString() : ""));
    }
    if (seen.size() > 2) std::sort(seen.begin() + 1, seen.end() - 1);
    EXPECT_EQ(seen, c.requests);
  }
}

TEST(S3Fake, ADroppedUploadDeletesItsPartsAndNothingElse) {
  FakeS3Process fake;
  auto s3 = Connected(fake.endpoint());
  const std::vector<uint8_t> data(2 * kS3PartBytes + 10, 1);
  std::unique_ptr<IWriteStream> w;
  ASSERT_TRUE(s3->openWrite("/obj", 0, data.size(), w).ok());
  ASSERT_TRUE(w->write(data.data(), data.size()).ok());
  fake.clearLog();
  w.reset();
  std::vector<Logged> log = Requests(fake);
  ASSERT_FALSE(log.empty());
  const Logged& last = log.back();
  EXPECT_EQ(last.method, "DELETE");
  EXPECT_NE(last.path.find("/bucket/obj?uploadId="), std::string::npos) << last.path;
  for (const Logged& r : log) EXPECT_NE(r.method, "POST") << r.path;
  RemoteAttr attr;
  EXPECT_EQ(s3->stat("/obj", attr).code, Status::kNotFound);
}

TEST(S3Fake, AnUploadHoldsNoMorePartsThanItHasLanes) {
  const std::string hold =
      (std::filesystem::temp_directory_path() / ("s3-hold-" + std::to_string(::getpid()))).string();
  std::filesystem::remove(hold);
  FakeS3Process fake({"--hold-parts", hold});
  auto s3 = Connected(fake.endpoint());
  const std::vector<uint8_t> data((kS3UploadLanes + 1) * kS3PartBytes + 1, 3);
  std::unique_ptr<IWriteStream> w;
  ASSERT_TRUE(s3->openWrite("/obj", 0, data.size(), w).ok());

  std::atomic<bool> written{false};
  Status st;
  std::thread writer([&] {
    st = w->write(data.data(), data.size());
    written = true;
  });
  // Every lane holds a part; the next part must wait for one of them.
  const bool lanesBusy = fake.waitForRequest({"partNumber="}, kS3UploadLanes);
  EXPECT_TRUE(lanesBusy);
  EXPECT_FALSE(written.load());
  EXPECT_EQ(fake.requestsWith({"partNumber="}).size(), kS3UploadLanes);
  std::ofstream(hold).put('x');
  writer.join();
  ASSERT_TRUE(st.ok()) << st.message;
  st = w->finish(nullptr);
  std::filesystem::remove(hold);
  ASSERT_TRUE(st.ok()) << st.message;
  EXPECT_EQ(fake.requestsWith({"partNumber="}).size(), kS3UploadLanes + 2);
  RemoteAttr attr;
  ASSERT_TRUE(s3->stat("/obj", attr).ok());
  EXPECT_EQ(attr.size, data.size());
}

TEST(S3Fake, TheCallersTokenEndsPartsInFlight) {
  // Parts are held for good: only the token can end the upload.
  FakeS3Process fake({"--hold-parts", "/nonexistent/never"});
  auto s3 = Connected(fake.endpoint());
  CancelToken token;
  s3->setCancelToken(&token);
  const std::vector<uint8_t> data(kS3PartBytes + 1, 4);
  std::unique_ptr<IWriteStream> w;
  ASSERT_TRUE(s3->openWrite("/obj", 0, data.size(), w).ok());
  ASSERT_TRUE(w->write(data.data(), data.size()).ok());
  std::thread canceller([&] {
    EXPECT_TRUE(fake.waitForRequest({"partNumber="}, 2));
    token.cancel();
  });
  Status st = w->finish(nullptr);
  canceller.join();
  EXPECT_EQ(st.code, Status::kCanceled) << st.message;
  w.reset();
  s3->setCancelToken(nullptr);
  RemoteAttr attr;
  EXPECT_EQ(s3->stat("/obj", attr).code, Status::kNotFound);
}

// A part the store never answers ends at the I/O time-out; the store is
// then not asked to delete the upload, which would cost the caller another.
TEST(S3Fake, AnUploadWhosePartGotNoAnswerAsksTheStoreNoMore) {
  FakeS3Process fake({"--hold-parts", "/nonexistent/never"});
  EndpointConfig ep = fake.endpoint();
  ep.ioTimeoutMs = 1000;
  auto s3 = Connected(ep);
  const std::vector<uint8_t> data(kS3PartBytes + 1, 5);
  std::unique_ptr<IWriteStream> w;
  ASSERT_TRUE(s3->openWrite("/obj", 0, data.size(), w).ok());
  ASSERT_TRUE(w->write(data.data(), data.size()).ok());
  const Status st = w->finish(nullptr);
  EXPECT_EQ(st.code, Status::kTimeout) << st.message;
  fake.clearLog();
  w.reset();
  EXPECT_TRUE(Requests(fake).empty());
}

TEST(S3Fake, FailedPartsAndAssembliesLeaveTheUploadAbortable) {
  struct Case {
    std::vector<std::string> args;
    int32_t code;
    std::string message;
  } cases[] = {
      {{"--part-no-etag"}, Status::kProtocol, "S3 upload: a part came back without an ETag"},
      {{"--fault", "POST:200:InternalError:1:uploadId="},
       Status::kNetwork,
       "InternalError: injected (POST(complete) obj)"},
      {{"--fault", "PUT:503:SlowDown:1:partNumber=2"}, Status::kOk, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    FakeS3Process fake(c.args);
    auto s3 = Connected(fake.endpoint());
    const std::vector<uint8_t> data(kS3PartBytes + 3 * 1048576, 2);
    std::unique_ptr<IWriteStream> w;
    ASSERT_TRUE(s3->openWrite("/obj", 0, data.size(), w).ok());
    ASSERT_TRUE(w->write(data.data(), data.size()).ok());
    Status st = w->finish(nullptr);
    if (c.code == Status::kOk) {
      // The part that met throttling fails once; finish again sends it again.
      EXPECT_EQ(st.code, Status::kNetwork) << st.message;
      st = w->finish(nullptr);
      ASSERT_TRUE(st.ok()) << st.message;
      RemoteAttr attr;
      ASSERT_TRUE(s3->stat("/obj", attr).ok());
      EXPECT_EQ(attr.size, data.size());
      continue;
    }
    EXPECT_EQ(st.code, c.code);
    EXPECT_EQ(st.message, c.message);
    fake.clearLog();
    w->abort();
    std::vector<Logged> log = Requests(fake);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].method, "DELETE");
    RemoteAttr attr;
    EXPECT_EQ(s3->stat("/obj", attr).code, Status::kNotFound);
  }
}

TEST(S3Fake, ACopyThatFailsAfterItsStatusKeepsTheSource) {
  FakeS3Process fake({"--fault", "PUT:200:InternalError:1:/bucket/dst"});
  auto s3 = Connected(fake.endpoint());
  ASSERT_TRUE(s3->create("/src").ok());
  Status st = s3->rename("/src", "/dst", true);
  EXPECT_EQ(st.code, Status::kNetwork);
  EXPECT_EQ(st.message, "InternalError: injected (COPY src)");
  RemoteAttr attr;
  EXPECT_TRUE(s3->stat("/src", attr).ok());
}

TEST(S3Fake, IPv6HostsWithoutBracketsStayWhole) {
  for (const char* form : {"::1", "[::1]", "http://[::1]"}) {
    SCOPED_TRACE(form);
    FakeS3Process fake({}, "::1");
    EndpointConfig ep = fake.endpoint();
    ep.host = form;
    ep.tls = false;
    ep.port = fake.port();
    auto s3 = Connected(ep);
    ASSERT_TRUE(s3->isConnected());
    EXPECT_TRUE(s3->create("/v6").ok());
    std::vector<Logged> log = Requests(fake);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().headers["host"].asString(), "[::1]:" + std::to_string(fake.port()));
  }
}

}  // namespace
}  // namespace tarn
