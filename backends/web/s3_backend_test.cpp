// What the S3 back-end decides without a server: the endpoint, encodings,
// the mapping of replies, the texts of listings and the part size rule.
#include "backends/web/s3_backend.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

EndpointConfig Endpoint(const std::string& host, const std::string& root = "/b", bool tls = true) {
  EndpointConfig ep;
  ep.protocol = "s3";
  ep.host = host;
  ep.root = root;
  ep.tls = tls;
  ep.user = "key";
  ep.password = "secret";
  return ep;
}

TEST(S3Endpoint, HostPortAndTls) {
  struct Case {
    std::string host;
    uint32_t configPort;
    bool tls;
    std::string wantHost;
    uint16_t wantPort;
    bool wantTls;
    std::string wantHostHeader;
  } cases[] = {
      {"http://Minio.Local:9000/ignored/path", 0, true, "minio.local", 9000, false, "minio.local:9000"},
      {"minio.local", 0, true, "minio.local", 443, true, "minio.local"},
      {"minio.local", 0, false, "minio.local", 80, false, "minio.local"},
      {"https://minio.local:80", 0, false, "minio.local", 80, true, "minio.local:80"},
      {"store:9000", 9443, true, "store", 9443, true, "store:9443"},
      {"HTTPS://store", 0, false, "store", 443, true, "store"},
      {"store:99999", 0, false, "store", 80, false, "store"},
      // IPv6 literals keep every colon, bracketed or not.
      {"[::1]", 9000, false, "[::1]", 9000, false, "[::1]:9000"},
      {"[fe80::1]:8080", 0, false, "[fe80::1]", 8080, false, "[fe80::1]:8080"},
      {"::1", 0, false, "[::1]", 80, false, "[::1]"},
      {"2001:db8::7", 9000, true, "[2001:db8::7]", 9000, true, "[2001:db8::7]:9000"},
      {"http://[::1]:7000/x", 0, true, "[::1]", 7000, false, "[::1]:7000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host);
    EndpointConfig ep = Endpoint(c.host, "/b", c.tls);
    ep.port = c.configPort;
    S3Backend s3(ep);
    EXPECT_EQ(s3.endpoint().host, c.wantHost);
    EXPECT_EQ(s3.endpoint().port, c.wantPort);
    EXPECT_EQ(s3.endpoint().tls, c.wantTls);
    EXPECT_EQ(s3.hostHeader(), c.wantHostHeader);
  }
}

TEST(S3Endpoint, BucketPrefixRegionAndStyle) {
  struct Case {
    std::string host, root, extra;
    bool tls;
    std::string bucket, prefix, region, host_;
    bool virtualHosted;
  } cases[] = {
      {"minio.local", "/", "", true, "", "", "us-east-1", "minio.local", false},
      {"minio.local", "/b", "", true, "b", "", "us-east-1", "minio.local", false},
      {"minio.local", "/b/x/y/", "", true, "b", "x/y", "us-east-1", "minio.local", false},
      {"minio.local", "b//x/./y", "", true, "b", "x/y", "us-east-1", "minio.local", false},
      {"minio.local", "/b", " Region = eu-central-1 ,style=PATH,junk", true, "b", "", "eu-central-1", "minio.local",
       false},
      {"minio.local", "/b", "style=virtual,region=a,region=Z-9", true, "b", "", "Z-9", "b.minio.local", true},
      // The public service: region from the host, virtual-hosted unless a
      // dotted bucket would break its certificate.
      {"s3.eu-west-1.amazonaws.com", "/b", "", true, "b", "", "eu-west-1", "b.s3.eu-west-1.amazonaws.com", true},
      {"s3.amazonaws.com", "/my.bucket", "", true, "my.bucket", "", "us-east-1", "s3.amazonaws.com", false},
      {"s3.amazonaws.com", "/my.bucket", "", false, "my.bucket", "", "us-east-1", "my.bucket.s3.amazonaws.com", true},
      {"s3.cn-north-1.amazonaws.com.cn", "/b", "", true, "b", "", "cn-north-1", "b.s3.cn-north-1.amazonaws.com.cn",
       true},
      {"s3.eu-west-1.amazonaws.com", "/b", "style=path", true, "b", "", "eu-west-1", "s3.eu-west-1.amazonaws.com",
       false},
      {"s3.amazonaws.com", "/b", "region=sa-east-1", true, "b", "", "sa-east-1", "b.s3.amazonaws.com", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host + " " + c.root + " " + c.extra);
    EndpointConfig ep = Endpoint(c.host, c.root, c.tls);
    ep.extra = c.extra;
    S3Endpoint e = S3Backend::parseEndpoint(ep);
    EXPECT_EQ(e.bucket, c.bucket);
    EXPECT_EQ(e.prefix, c.prefix);
    EXPECT_EQ(e.region, c.region);
    EXPECT_EQ(e.host, c.host_);
    EXPECT_EQ(e.virtualHosted, c.virtualHosted);
  }
}

TEST(S3Endpoint, RegionFromPublicHostNames) {
  struct Case {
    const char* host;
    const char* region;
  } cases[] = {
      {"s3.eu-west-1.amazonaws.com", "eu-west-1"},
      {"s3-eu-west-1.amazonaws.com", "eu-west-1"},
      {"bucket.s3.dualstack.eu-west-1.amazonaws.com", "eu-west-1"},
      {"s3-external-1.amazonaws.com", "us-east-1"},
      {"s3.amazonaws.com", ""},
      {"s3-accelerate.amazonaws.com", ""},
      {".amazonaws.com", ""},
      {"minio.local", ""},
      {"s3.eu-west-x.amazonaws.com", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(S3RegionFromHost(c.host), c.region) << c.host;
}

TEST(S3Encoding, PathsAndQueries) {
  EXPECT_EQ(S3UriEncode("a b/c+d~e", false), "a%20b/c%2Bd~e");
  EXPECT_EQ(S3UriEncode("a b/c+d~e", true), "a%20b%2Fc%2Bd~e");
  EXPECT_EQ(S3UriEncode("\xC3\xA9-._", false), "%C3%A9-._");
  EXPECT_EQ(S3CanonicalQuery({{"prefix", "a/b"}, {"list-type", "2"}, {"continuation-token", ""}}),
            "continuation-token=&list-type=2&prefix=a%2Fb");
  EXPECT_EQ(S3CanonicalQuery({{"b", "2"}, {"a b", "x"}, {"b", "1"}}), "a%20b=x&b=1&b=2");
  EXPECT_EQ(S3CanonicalQuery({}), "");
}

TEST(S3Replies, EtagsTimesAndListedKeys) {
  struct Etag {
    const char* in;
    const char* out;
  } etags[] = {{" \"abc\" ", "abc"}, {"W/\"abc\"", "abc"}, {"\"", "\""},
               {"\"\"", ""},         {"abc", "abc"},       {"\"a\"b\"", "a\"b"}};
  for (const Etag& e : etags) EXPECT_EQ(NormalizeEtag(e.in), e.out) << e.in;

  struct Key {
    bool encoded;
    const char* in;
    const char* out;
  } keys[] = {{true, "a+b%2Bc%20d", "a b+c d"}, {false, "a+b%2Bc", "a+b%2Bc"}, {true, "100%", "100%"}};
  for (const Key& k : keys) EXPECT_EQ(DecodeListKey(k.encoded, k.in), k.out) << k.in;

  const Timestamp t{784111777, 0};  // 1994-11-06 08:49:37 UTC
  EXPECT_EQ(IsoTimeToTimestamp("1994-11-06T08:49:37.000Z"), t);
  EXPECT_EQ(IsoTimeToTimestamp("1994-11-06T08:49:37+02:00"), t);
  EXPECT_TRUE(IsoTimeToTimestamp("1994-11-06T08:49").isZero());
  EXPECT_TRUE(IsoTimeToTimestamp("1994-02-30T08:49:37Z").isZero());
  EXPECT_EQ(HttpDateToTimestamp("Sun, 06 Nov 1994 08:49:37 GMT"), t);
  EXPECT_TRUE(HttpDateToTimestamp("").isZero());
  EXPECT_TRUE(HttpDateToTimestamp("1994-11-06T08:49:37Z").isZero());
  EXPECT_EQ(AmzDate(784111777), "19941106T084937Z");
}

TEST(S3Replies, RangeRule) {
  struct Case {
    uint32_t status;
    const char* contentRange;
    uint64_t offset;
    bool honoured;
  } cases[] = {{206, "", 10, true},
               {200, "", 0, true},
               {200, "", 10, false},
               {200, "bytes 10-19/100", 10, true},
               {200, "bytes 1-19/100", 10, false},
               {200, "bytes 100-1/100", 10, false}};
  for (const Case& c : cases) {
    S3Response r;
    r.status = c.status;
    r.contentRange = c.contentRange;
    EXPECT_EQ(RangeHonoured(r, c.offset), c.honoured) << c.status << " " << c.contentRange << " " << c.offset;
  }
}

TEST(S3Replies, ErrorsMapToStatuses) {
  S3Backend s3(Endpoint("minio.local", "/bkt"));
  struct Case {
    uint32_t status;
    const char* code;
    const char* key;
    int32_t want;
    const char* message;
  } cases[] = {
      {200, "", "k", Status::kOk, ""},
      {403, "SignatureDoesNotMatch", "k", Status::kAuthFailed, "SignatureDoesNotMatch: m (GET k)"},
      {200, "NoSuchUpload", "k", Status::kNotFound, "NoSuchUpload: m (GET k)"},
      {404, "NoSuchBucket", "", Status::kNotFound, "NoSuchBucket: m (GET bkt)"},
      {507, "XMinioStorageFull", "k", Status::kNoSpace, "XMinioStorageFull: m (GET k)"},
      {503, "SlowDown", "k", Status::kNetwork, "SlowDown: m (GET k)"},
      {200, "InternalError", "k", Status::kNetwork, "InternalError: m (GET k)"},
      {200, "SomethingNew", "k", Status::kNetwork, "SomethingNew: m (GET k)"},
      {301, "PermanentRedirect", "k", Status::kInvalid,
       "PermanentRedirect: m (GET k) - wrong endpoint or region for this bucket"},
      {307, "", "k", Status::kInvalid, "GET k -> HTTP 307 - wrong endpoint or region for this bucket"},
      {302, "", "k", Status::kIo, "GET k -> HTTP 302"},
      {400, "", "k", Status::kInvalid, "GET k -> HTTP 400"},
      {400, "Unlisted", "k", Status::kInvalid, "Unlisted: m (GET k)"},
      {404, "", "k", Status::kNotFound, "GET k -> HTTP 404"},
      {416, "", "k", Status::kInvalid, "GET k -> HTTP 416 (range)"},
      {418, "", "k", Status::kIo, "GET k -> HTTP 418"},
      {503, "", "k", Status::kNetwork, "GET k -> HTTP 503"},
      {507, "", "k", Status::kNoSpace, "GET k -> HTTP 507"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.status) + " " + c.code);
    S3Response r;
    r.status = c.status;
    r.errorCode = c.code;
    if (*c.code != '\0') r.errorMessage = "m";
    Status st = s3.mapError(r, "GET", c.key);
    EXPECT_EQ(st.code, c.want);
    EXPECT_EQ(st.message, c.message);
    if (!st.ok()) {
      EXPECT_EQ(st.native, static_cast<int32_t>(c.status));
    }
  }
}

TEST(S3Uploads, PartSizeGrowsOnlyPastTenThousandParts) {
  struct Case {
    uint64_t size;
    uint64_t part;
  } cases[] = {
      {0, kS3PartBytes},
      {kS3PartBytes + 1, kS3PartBytes},
      {10000 * kS3PartBytes, kS3PartBytes},
      {10000 * kS3PartBytes + 1, 17 * 1048576},
      {200000000000ull, 20 * 1048576},
      {kS3MaxObjectBytes, 525 * 1048576},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    const uint64_t part = S3PartSize(c.size);
    EXPECT_EQ(part, c.part);
    EXPECT_LE((c.size + part - 1) / part, kS3MaxParts);
  }
  EXPECT_EQ((kS3MaxObjectBytes + S3PartSize(kS3MaxObjectBytes) - 1) / S3PartSize(kS3MaxObjectBytes), 9987u);
}

TEST(S3Backend, RefusalsWithoutTraffic) {
  S3Backend noBucket(Endpoint("127.0.0.1:1", "/"));
  Status st = noBucket.connect();
  EXPECT_EQ(st.code, Status::kInvalid);
  EXPECT_EQ(st.message, "S3: the root must name a bucket: /bucket[/prefix]");

  S3Backend s3(Endpoint("127.0.0.1:1"));
  std::unique_ptr<IWriteStream> w;
  struct Write {
    const char* path;
    uint64_t offset, size;
    int32_t code;
    const char* message;
  } writes[] = {
      {"/f", 1, 10, Status::kUnsupported, "S3 upload must start at 0"},
      {"/", 0, 10, Status::kIsDirectory, "/"},
      {"/f", 0, kS3MaxObjectBytes + 1, Status::kTooLarge, "S3 objects end at 5 TiB"},
      {"/f", 0, kS3MaxObjectBytes, Status::kNetwork, "not connected"},
  };
  for (const Write& c : writes) {
    Status ws = s3.openWrite(c.path, c.offset, c.size, w);
    EXPECT_EQ(ws.code, c.code) << c.path;
    EXPECT_EQ(ws.message, c.message);
  }
  EXPECT_EQ(s3.ping().message, "not connected");
  RemoteAttr attr;
  EXPECT_EQ(s3.stat("/f", attr).message, "not connected");
  EXPECT_EQ(s3.setTimes("/f", Timestamp{}, Timestamp{}).code, Status::kUnsupported);
  EXPECT_EQ(s3.truncate("/f", 0).code, Status::kUnsupported);
  EXPECT_EQ(s3.writeAt("/f", 0, nullptr, 0).code, Status::kUnsupported);
  EXPECT_EQ(s3.rename("/", "/x", true).message, "cannot rename the mount root");
  FsStats stats;
  stats.known = true;
  EXPECT_TRUE(s3.statfs(stats).ok());
  EXPECT_FALSE(stats.known);
}

}  // namespace
}  // namespace tarn
