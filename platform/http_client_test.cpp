// The HTTP layer against our fake WebDAV server: bodies pulled and pushed in
// pieces, one reused connection, no redirects, time-outs and cancellation.
#include "platform/http_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "foundation/text.h"
#include "testing/fake_dav/fake_dav_process.h"

namespace tarn::http {
namespace {

using tarn::testing::FakeDavProcess;

std::string Pattern(size_t size, uint32_t seed) {
  std::string v(size, '\0');
  std::mt19937 gen(seed);
  for (auto& b : v) b = static_cast<char>(gen());
  return v;
}

SessionOptions Options(uint32_t ioMs = 20000) {
  SessionOptions o;
  o.userAgent = "Tarn/0.1 (Windows)";
  o.connectTimeoutMs = 5000;
  o.ioTimeoutMs = ioMs;
  return o;
}

uint32_t Put(HttpConnection& c, const std::string& path, const std::string& body) {
  auto r = c.openRequest("PUT", path);
  uint32_t err = r->send(body);
  return err != 0 ? err : r->status();
}

std::set<std::string> ClientPorts(const FakeDavProcess& fake) {
  std::set<std::string> ports;
  std::regex re("\"client\": (\\d+)");
  for (const auto& line : fake.requests()) {
    std::smatch m;
    if (std::regex_search(line, m, re)) ports.insert(m[1]);
  }
  return ports;
}

TEST(HttpClient, CracksUrls) {
  struct Case {
    std::string url;
    bool ok, secure;
    std::string host;
    uint16_t port;
    std::string path;
  };
  const Case cases[] = {
      {"https://h.example/remote.php/dav/files/a", true, true, "h.example", 0, "/remote.php/dav/files/a"},
      {"HTTP://h:8080", true, false, "h", 8080, "/"},
      {"http://[fe80::1]:81/x%20y", true, false, "fe80::1", 81, "/x%20y"},
      {"ftp://h/x", false, false, "", 0, ""},
      {"not a url", false, false, "", 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    CrackedUrl u;
    ASSERT_EQ(CrackUrl(c.url, u), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(u.secure, c.secure);
    EXPECT_EQ(u.host, c.host);
    EXPECT_EQ(u.port, c.port);
    EXPECT_EQ(u.path, c.path);
  }
}

TEST(HttpClient, EveryErrorNumberHasWords) {
  for (uint32_t code : {kErrTimeout, kErrInternal, kErrInvalidUrl, kErrNameNotResolved, kErrCancelled,
                        kErrInvalidState, kErrCannotConnect, kErrConnectionError, kErrResendRequest,
                        kErrClientCertNeeded, kErrInvalidServerResponse, kErrSecureFailure, kErrHeaderSizeOverflow,
                        kErrCertDateInvalid, kErrCertNameInvalid, kErrCertAuthorityInvalid})
    EXPECT_FALSE(vx::FormatWin32Error(code).starts_with("error ")) << code;
}

// A failed transfer carries the system's words for what happened; what
// this layer decided itself (a time-out, a reply too large) has none, as
// its number says it all.
TEST(HttpClient, FailedTransfersCarryTheSystemsWords) {
  FakeDavProcess slow({"--slow-ms", "2000"});
  FakeDavProcess huge({"--raw-reply", "huge-header"});
  struct Case {
    const char* what;
    std::string host;
    uint16_t port;
    uint32_t error;
    std::string words;
  };
  const Case cases[] = {
      {"closed port", "127.0.0.1", 1, kErrCannotConnect, "Connection refused"},
      {"unknown name", "name.that.does.not.exist.invalid", 80, kErrNameNotResolved,
       "Could not resolve host: name.that.does.not.exist.invalid"},
      {"no answer in time", "127.0.0.1", slow.port(), kErrTimeout, ""},
      {"headers past the limit", "127.0.0.1", huge.port(), kErrHeaderSizeOverflow, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HttpConnection conn(Options(300));
    ASSERT_EQ(conn.open(c.host, c.port, false), 0u);
    auto r = conn.openRequest("GET", "/plain/");
    EXPECT_EQ(r->send(""), c.error);
    EXPECT_EQ(r->failureWords(), c.words);
  }
}

// curl's words for a server certificate it refused, as OpenSSL gives them.
TEST(HttpClient, RefusedCertificatesSayWhy) {
  struct Case {
    const char* detail;
    uint32_t code;
  } cases[] = {
      {"SSL certificate problem: self-signed certificate", kErrCertAuthorityInvalid},
      {"SSL certificate problem: self signed certificate in certificate chain", kErrCertAuthorityInvalid},
      {"SSL certificate problem: unable to get local issuer certificate", kErrCertAuthorityInvalid},
      {"SSL: no alternative certificate subject name matches target host name '127.0.0.2'", kErrCertNameInvalid},
      {"SSL: certificate subject name 'a.example' does not match target host name 'b.example'", kErrCertNameInvalid},
      {"SSL certificate problem: certificate has expired", kErrCertDateInvalid},
      {"SSL certificate problem: certificate is not yet valid", kErrCertDateInvalid},
      {"", kErrCertAuthorityInvalid},
  };
  for (const Case& c : cases) EXPECT_EQ(CertificateError(c.detail), c.code) << c.detail;
}

TEST(HttpClient, PullsBodiesInPiecesOverOneConnection) {
  FakeDavProcess fake;
  HttpConnection c(Options());
  ASSERT_EQ(c.open("127.0.0.1", fake.port(), false), 0u);
  const std::string data = Pattern(3 * 1024 * 1024 + 5, 1);
  ASSERT_EQ(Put(c, "/plain/f", data), 201u);
  for (size_t piece : {size_t{1}, size_t{7}, size_t{4096}, size_t{1} << 20, data.size() + 100}) {
    SCOPED_TRACE(piece);
    auto r = c.openRequest("GET", "/plain/f");
    ASSERT_EQ(r->send(""), 0u);
    ASSERT_EQ(r->status(), 200u);
    EXPECT_EQ(r->header("content-length"), std::to_string(data.size()));
    std::string got;
    std::vector<uint8_t> buf(piece);
    // Single bytes through 3 MiB would take long: read a prefix that way, the rest in one go.
    while (got.size() < (piece < 4096 ? size_t{20000} : data.size())) {
      size_t n = 0;
      ASSERT_EQ(r->read(buf.data(), buf.size(), n), 0u);
      if (n == 0) break;
      got.append(reinterpret_cast<const char*>(buf.data()), n);
    }
    std::string rest;
    ASSERT_EQ(r->readAll(rest), 0u);
    EXPECT_EQ(got + rest, data);
  }
  // Every exchange went over the same connection.
  EXPECT_EQ(ClientPorts(fake).size(), 1u);
  c.close();
  ASSERT_EQ(c.open("127.0.0.1", fake.port(), false), 0u);
  auto r = c.openRequest("GET", "/plain/f");
  ASSERT_EQ(r->send(""), 0u);
  EXPECT_EQ(ClientPorts(fake).size(), 2u);
}

TEST(HttpClient, StreamsARequestBodyInPieces) {
  FakeDavProcess fake;
  HttpConnection c(Options());
  ASSERT_EQ(c.open("127.0.0.1", fake.port(), false), 0u);
  const std::string data = Pattern(300001, 2);
  auto r = c.openRequest("PUT", "/plain/s");
  ASSERT_EQ(r->sendStreamed(data.size()), 0u);
  const size_t pieces[] = {1, 1000, 65536, 1 << 20};
  size_t at = 0;
  for (size_t p : pieces) {
    size_t n = std::min(p, data.size() - at);
    ASSERT_EQ(r->write(reinterpret_cast<const uint8_t*>(data.data()) + at, n), 0u);
    at += n;
  }
  ASSERT_EQ(at, data.size());
  ASSERT_EQ(r->receiveResponse(), 0u);
  EXPECT_EQ(r->status(), 201u);
  EXPECT_FALSE(r->header("ETag").empty());
  r.reset();
  auto g = c.openRequest("GET", "/plain/s");
  ASSERT_EQ(g->send(""), 0u);
  std::string back;
  ASSERT_EQ(g->readAll(back), 0u);
  EXPECT_EQ(back, data);
}

TEST(HttpClient, ANewRequestEndsTheOneBefore) {
  FakeDavProcess fake;
  HttpConnection c(Options());
  ASSERT_EQ(c.open("127.0.0.1", fake.port(), false), 0u);
  ASSERT_EQ(Put(c, "/plain/f", Pattern(2 * 1024 * 1024, 3)), 201u);
  auto first = c.openRequest("GET", "/plain/f");
  ASSERT_EQ(first->send(""), 0u);
  uint8_t buf[100];
  size_t n = 0;
  ASSERT_EQ(first->read(buf, sizeof buf, n), 0u);
  ASSERT_GT(n, 0u);
  auto second = c.openRequest("PROPFIND", "/plain/");
  second->addHeader("Depth: 0");
  ASSERT_EQ(second->send(""), 0u);
  EXPECT_EQ(second->status(), 207u);
  std::string rest;
  EXPECT_NE(first->readAll(rest), 0u);

  // A request may outlive its connection.
  auto orphan = std::make_unique<HttpConnection>(Options());
  ASSERT_EQ(orphan->open("127.0.0.1", fake.port(), false), 0u);
  auto late = orphan->openRequest("GET", "/plain/f");
  ASSERT_EQ(late->send(""), 0u);
  orphan.reset();
  EXPECT_NE(late->readAll(rest), 0u);
}

TEST(HttpClient, RedirectsComeBackAsTheyAre) {
  FakeDavProcess fake;
  HttpConnection c(Options());
  ASSERT_EQ(c.open("127.0.0.1", fake.port(), false), 0u);
  auto r = c.openRequest("GET", "/moved");
  ASSERT_EQ(r->send(""), 0u);
  EXPECT_EQ(r->status(), 301u);
  EXPECT_EQ(r->header("Location"), "/plain/");
  EXPECT_EQ(fake.requests().size(), 1u);
}

TEST(HttpClient, TimesOutAndCancels) {
  FakeDavProcess fake({"--slow-ms", "2000"});
  {
    HttpConnection c(Options());
    ASSERT_EQ(c.open("127.0.0.1", fake.port(), false), 0u);
    auto r = c.openRequest("GET", "/plain/");
    r->setReceiveTimeout(200);
    EXPECT_EQ(r->send(""), kErrTimeout);
  }
  {
    HttpConnection c(Options());
    std::atomic<int> asked{0};
    c.setCancelCheck([&asked] { return ++asked > 3; });
    ASSERT_EQ(c.open("127.0.0.1", fake.port(), false), 0u);
    auto r = c.openRequest("GET", "/plain/");
    EXPECT_EQ(r->send(""), kErrCancelled);
  }
  HttpConnection never(Options());
  auto r = never.openRequest("GET", "/");
  EXPECT_EQ(r->send(""), kErrInvalidState);
}

TEST(HttpClient, BrokenRepliesAreInvalidResponses) {
  struct Case {
    std::string kind;
    uint32_t error;
  };
  const Case cases[] = {
      {"no-status-line", kErrInvalidServerResponse},
      {"huge-header", kErrHeaderSizeOverflow},
      {"many-headers", kErrHeaderSizeOverflow},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    FakeDavProcess fake({"--raw-reply", c.kind});
    HttpConnection conn(Options());
    ASSERT_EQ(conn.open("127.0.0.1", fake.port(), false), 0u);
    auto r = conn.openRequest("GET", "/plain/");
    EXPECT_EQ(r->send(""), c.error);
  }
}

TEST(HttpClient, TricklingBodyFailsTheLowSpeedLimitButASlowCallerDoesNot) {
  FakeDavProcess fake({"--trickle-ms", "20"});
  SessionOptions o = Options(500);
  o.lowSpeedBytes = 100;
  HttpConnection c(o);
  ASSERT_EQ(c.open("127.0.0.1", fake.port(), false), 0u);
  ASSERT_EQ(Put(c, "/plain/t", Pattern(1000, 5)), 201u);
  auto r = c.openRequest("GET", "/plain/t");
  ASSERT_EQ(r->send(""), 0u);
  std::string body;
  EXPECT_EQ(r->readAll(body), kErrTimeout);  // 25 bytes a window: 20 s to the end otherwise
  EXPECT_LT(body.size(), 1000u);

  // A fast server, and a caller that takes longer than the window between
  // its reads: only time spent waiting on the server counts.
  FakeDavProcess fast;
  HttpConnection d(o);
  ASSERT_EQ(d.open("127.0.0.1", fast.port(), false), 0u);
  const std::string data = Pattern(8 << 20, 6);
  ASSERT_EQ(Put(d, "/plain/big", data), 201u);
  auto g = d.openRequest("GET", "/plain/big");
  ASSERT_EQ(g->send(""), 0u);
  std::string got(4096, '\0');
  size_t n = 0;
  ASSERT_EQ(g->read(reinterpret_cast<uint8_t*>(got.data()), got.size(), n), 0u);
  got.resize(n);
  std::this_thread::sleep_for(std::chrono::milliseconds(3 * o.ioTimeoutMs));
  std::string rest;
  ASSERT_EQ(g->readAll(rest), 0u);
  EXPECT_EQ(got + rest, data);
}

}  // namespace
}  // namespace tarn::http
