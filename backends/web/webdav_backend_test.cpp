// What the back-end makes of its endpoint and of the texts servers send,
// without a server.
#include "backends/web/webdav_backend.h"

#include <gtest/gtest.h>

#include "backends/web/webdav_multistatus.h"

namespace tarn {
namespace {

EndpointConfig Endpoint(const std::string& host, uint32_t port = 0, const std::string& root = "",
                        bool tls = false, const std::string& user = "") {
  EndpointConfig ep;
  ep.protocol = "webdav";
  ep.host = host;
  ep.port = port;
  ep.root = root;
  ep.tls = tls;
  ep.user = user;
  ep.password = "pw";
  return ep;
}

TEST(WebDavConstruction, CracksHostsUrlsAndLayouts) {
  struct Case {
    EndpointConfig ep;
    std::string host;
    uint16_t port;
    bool secure;
    std::string basePath;
    std::string chunkRoot;
    std::string server;
  };
  const Case cases[] = {
      {Endpoint("https://cloud.example/remote.php/dav/files/alice/Docs"), "cloud.example", 443, true,
       "/remote.php/dav/files/alice/Docs", "/remote.php/dav/uploads/alice", "nextcloud"},
      {Endpoint("http://h:8080/owncloud/remote.php/webdav", 0, "", false, "bob"), "h", 8080, false,
       "/owncloud/remote.php/webdav", "/owncloud/remote.php/dav/uploads/bob", "owncloud"},
      {Endpoint("server:8080"), "server", 8080, false, "", "", "webdav"},
      {Endpoint("server:8080", 8443), "server", 8443, false, "", "", "webdav"},
      {Endpoint("server", 0, "/", true), "server", 443, true, "", "", "webdav"},
      {Endpoint("server", 0, "dav/x/../y"), "server", 80, false, "/dav/y", "", "webdav"},
      {Endpoint("server", 0, "/my docs"), "server", 80, false, "/my%20docs", "", "webdav"},
      {Endpoint("[fe80::1]:8080"), "fe80::1", 8080, false, "", "", "webdav"},
      {Endpoint("[::1]"), "::1", 80, false, "", "", "webdav"},
      // An IPv6 literal without brackets (as a share link leaves it) stays whole.
      {Endpoint("fe80::1", 8080), "fe80::1", 8080, false, "", "", "webdav"},
      {Endpoint("2001:db8::7", 0, "/dav", true), "2001:db8::7", 443, true, "/dav", "", "webdav"},
      {Endpoint("https://[::1]:9443/dav"), "::1", 9443, true, "/dav", "", "webdav"},
      {Endpoint("http://h/remote.php/dav/files/carol"), "h", 80, false, "/remote.php/dav/files/carol",
       "/remote.php/dav/uploads/carol", "nextcloud"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ep.host + " port " + std::to_string(c.ep.port) + " root " + c.ep.root);
    WebDavBackend b(c.ep);
    EXPECT_EQ(b.host(), c.host);
    EXPECT_EQ(b.port(), c.port);
    EXPECT_EQ(b.secure(), c.secure);
    EXPECT_EQ(b.basePath(), c.basePath);
    EXPECT_EQ(b.chunkRoot(), c.chunkRoot);
    EXPECT_EQ(b.caps().server, c.server);
    EXPECT_EQ(b.chunkedUploads(), !c.chunkRoot.empty());
    EXPECT_EQ(b.caps().resumableUpload, !c.chunkRoot.empty());
    EXPECT_EQ(b.caps().setMtime, !c.chunkRoot.empty());
  }
}

TEST(WebDavConstruction, BuildsUrlPathsAndAbsoluteUrls) {
  WebDavBackend plain(Endpoint("h"));
  EXPECT_EQ(plain.urlPath(""), "/");
  EXPECT_EQ(plain.urlPath("/"), "/");
  WebDavBackend dav(Endpoint("h", 0, "/dav"));
  EXPECT_EQ(dav.urlPath("/"), "/dav/");
  EXPECT_EQ(dav.urlPath("/a b/\xC3\xBC"), "/dav/a%20b/%C3%BC");
  EXPECT_EQ(dav.urlPath("/a", true), "/dav/a/");
  EXPECT_EQ(dav.urlPath("/", true), "/dav/");

  struct Case {
    EndpointConfig ep;
    std::string url;
  };
  const Case cases[] = {
      {Endpoint("h", 443, "/dav", true), "https://h/dav/x"},
      {Endpoint("h", 80, "/dav", false), "http://h/dav/x"},
      {Endpoint("h", 8443, "/dav", true), "https://h:8443/dav/x"},
      {Endpoint("h", 80, "/dav", true), "https://h:80/dav/x"},
      {Endpoint("h", 443, "/dav", false), "http://h:443/dav/x"},
      {Endpoint("fe80::1", 8080, "/dav"), "http://[fe80::1]:8080/dav/x"},
  };
  for (const auto& c : cases) EXPECT_EQ(WebDavBackend(c.ep).absoluteUrl("/x"), c.url);
}

TEST(WebDavStatus, MapsHttpStatuses) {
  struct Case {
    uint32_t status;
    int32_t code;
    std::string message;
  };
  const Case cases[] = {
      {200, Status::kOk, ""},
      {299, Status::kOk, ""},
      {401, Status::kAuthFailed, "credentials rejected"},
      {403, Status::kAccessDenied, "PROPFIND /a/b -> HTTP 403"},
      {404, Status::kNotFound, "PROPFIND /a/b -> HTTP 404"},
      {410, Status::kNotFound, "PROPFIND /a/b -> HTTP 410"},
      {405, Status::kExists, "PROPFIND /a/b -> HTTP 405"},
      {409, Status::kNotFound, "PROPFIND /a/b -> HTTP 409 (parent missing)"},
      {412, Status::kExists, "PROPFIND /a/b -> HTTP 412 (precondition failed)"},
      {413, Status::kTooLarge, "PROPFIND /a/b -> HTTP 413"},
      {416, Status::kInvalid, "PROPFIND /a/b -> HTTP 416 (range)"},
      {423, Status::kBusy, "PROPFIND /a/b -> HTTP 423 (locked)"},
      {500, Status::kProtocol, "PROPFIND /a/b -> HTTP 500"},
      {502, Status::kNetwork, "PROPFIND /a/b -> HTTP 502"},
      {503, Status::kNetwork, "PROPFIND /a/b -> HTTP 503"},
      {504, Status::kNetwork, "PROPFIND /a/b -> HTTP 504"},
      {507, Status::kNoSpace, "PROPFIND /a/b -> HTTP 507 (insufficient storage)"},
      {100, Status::kIo, "PROPFIND /a/b -> HTTP 100"},
      {301, Status::kIo, "PROPFIND /a/b -> HTTP 301"},
      {400, Status::kIo, "PROPFIND /a/b -> HTTP 400"},
      {499, Status::kIo, "PROPFIND /a/b -> HTTP 499"},
      {501, Status::kNetwork, "PROPFIND /a/b -> HTTP 501"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    Status st = HttpStatusError(c.status, "PROPFIND", "/a/b");
    EXPECT_EQ(st.code, c.code);
    EXPECT_EQ(st.message, c.message);
    EXPECT_EQ(st.native, c.code == Status::kOk ? 0 : static_cast<int32_t>(c.status));
  }
}

// The number is for the engine's decisions; the user reads the system's
// words for it: the HTTP layer's when it has them, else the number's.
TEST(WebDavStatus, MapsTransportErrors) {
  struct Case {
    uint32_t error;
    const char* words;  // what the HTTP layer said, "" for nothing
    int32_t code;
    const char* message;
  };
  const std::string hint(kUncheckedTlsHint);
  const Case cases[] = {
      {12002, "", Status::kTimeout, "send: Connection timed out"},
      {12007, "Could not resolve host: nowhere.invalid", Status::kNetwork, "send: Could not resolve host: nowhere.invalid"},
      {12017, "", Status::kCanceled, "send: Operation canceled"},
      {12029, "Connection refused", Status::kNetwork, "send: Connection refused"},
      {12029, "", Status::kNetwork, "send: the server could not be reached"},
      {12044, "", Status::kAuthFailed, "TLS: send: the server requires a client certificate"},
      {12175, "SSL connect error", Status::kAuthFailed, "TLS: send: SSL connect error"},
      {12045, "SSL certificate problem: self-signed certificate", Status::kInvalid,
       "TLS: send: SSL certificate problem: self-signed certificate"},
      {12152, "", Status::kProtocol, "send: the server response could not be parsed"},
      {12183, "", Status::kProtocol, "send: the server's response headers are too large"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    Status st = WinHttpError(c.error, "send", c.words);
    EXPECT_EQ(st.code, c.code);
    EXPECT_EQ(st.native, static_cast<int32_t>(c.error));
    const bool tls = std::string_view(c.message).starts_with("TLS: ");
    EXPECT_EQ(st.message, c.message + (tls ? hint : std::string())) << st.message;
  }
  EXPECT_NE(hint.find("--insecure"), std::string::npos);
  // https:// sent to a plain http port: no certificate to take unchecked.
  const Status plain = WinHttpError(12175, "send", "OpenSSL/3.0.11: error:0A00010B:SSL routines::wrong version number");
  EXPECT_EQ(plain.message, "TLS: send: OpenSSL/3.0.11: error:0A00010B:SSL routines::wrong version number" +
                               std::string(kPlainPortHint));
  EXPECT_EQ(plain.message.find("--insecure"), std::string::npos);
}

TEST(WebDavStatus, ParsesHttpAndIsoTimes) {
  const int64_t kInstant = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
  struct Case {
    std::string text;
    int64_t seconds;
  };
  const Case cases[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", kInstant},
      {"Sunday, 06-Nov-94 08:49:37 GMT", kInstant},
      {"Sun Nov  6 08:49:37 1994", kInstant},
      {"1994-11-06T08:49:37Z", kInstant},
      {"1994-11-06T08:49:37.250Z", kInstant},
      {"1994-11-06T10:49:37+02:00", kInstant},
      {"1994-11-06T05:19:37-03:30", kInstant},
      {"1994-11-06T08:49", kInstant - 37},
      {"1970-01-01T00:00:00Z", 0},
      {"2024-02-29T12:00:00Z", 1709208000},
      {"", 0},
      {"yesterday", 0},
      {"1994-13-06T08:49:37Z", 0},
      {"2023-02-29T12:00:00Z", 0},
      {"Sun, 06 Foo 1994 08:49:37 GMT", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Timestamp t = ParseHttpTime(c.text);
    EXPECT_EQ(t.seconds, c.seconds);
    EXPECT_EQ(t.nanoseconds, 0u);
  }
}

TEST(WebDavStatus, TurnsHrefsIntoPathsAndTrims) {
  struct Case {
    std::string href, path;
  };
  const Case cases[] = {
      {"/dav/a%20b/", "/dav/a b/"},
      {"https://h:8443/dav/x?y=1", "/dav/x"},
      {"http://h", "/"},
      {"/p%2Fq%zz", "/p/q%zz"},
  };
  for (const auto& c : cases) EXPECT_EQ(HrefToPath(c.href), c.path);
  EXPECT_EQ(TrimSpace(" \t\r\n\v\fx y\f\v\n\r\t "), "x y");
  EXPECT_EQ(TrimSpace(" \n "), "");
}

// A listing's href is decoded unless it shows that its server wrote it
// without escapes; then it stands as written, so that no name turns into
// another, into a deeper path or into the folder itself.
TEST(WebDavStatus, ListedHrefsWrittenWithoutEscapesStandAsWritten) {
  struct Case {
    std::string href, path;
  };
  const Case cases[] = {
      {"/dav/a%20b%3F", "/dav/a b?"},
      {"/dav/%C3%A9t%C3%A9", "/dav/\xC3\xA9t\xC3\xA9"},
      {"/dav/a%7eb", "/dav/a~b"},
      {"http://h:81/dav/q?x=1", "/dav/q?x=1"},
      {"/dav/50%.txt", "/dav/50%.txt"},
      {"/dav/x%41y.txt", "/dav/x%41y.txt"},
      {"/dav/v%31", "/dav/v%31"},
      {"/dav/a%2Fb", "/dav/a%2Fb"},
      {"/dav/a%00", "/dav/a%00"},
      {"/dav/%2e", "/dav/%2e"},
      {"/dav/%2E%2E/x", "/dav/%2E%2E/x"},
      {"/dav/%", "/dav/%"},
      {"/dav/%4", "/dav/%4"},
      {"/dav/%%20", "/dav/%%20"},
      {"/dav/a%20b%zz", "/dav/a%20b%zz"},
      {"/dav/.../", "/dav/.../"},
  };
  for (const auto& c : cases) EXPECT_EQ(HrefToRawPath(c.href), c.path) << c.href;
}

TEST(WebDavStatus, ReadsSizesWithinTheBound) {
  struct Case {
    std::string text;
    bool ok;
    uint64_t value;
  };
  const Case cases[] = {
      {"0", true, 0},
      {"17592186044416", true, kMaxRemoteFileBytes},
      {"17592186044417", false, 0},
      {"18446744073709551615", false, 0},  // what strtoull makes of "-1"
      {"99999999999999999999999", false, 0},
      {"-1", false, 0},
      {"1e3", false, 0},
      {"", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    uint64_t value = 77;
    EXPECT_EQ(ParseRemoteSize(c.text, value), c.ok);
    EXPECT_EQ(value, c.ok ? c.value : 77u);
  }
}

std::string Response(const std::string& href, const std::string& props, const std::string& status = "200 OK") {
  return "<D:response><D:href>" + href + "</D:href><D:propstat><D:prop>" + props +
         "</D:prop><D:status>HTTP/1.1 " + status + "</D:status></D:propstat></D:response>";
}

std::string Multistatus(const std::string& responses) {
  return "<?xml version=\"1.0\"?>\n<D:multistatus xmlns:D=\"DAV:\">" + responses + "</D:multistatus>\n";
}

// What a reader made of a reply: its status, whether it found the object
// and "name size etag type" per entry.
std::string ReadReply(const std::string& reference, int depth, const std::string& body, bool& found) {
  PropfindReader reader(reference, depth, false);
  Status st;
  constexpr size_t kPiece = 509;  // odd, so that pieces end inside tokens
  for (size_t at = 0; at < body.size() && st.ok(); at += kPiece)
    st = reader.feed(std::string_view(body).substr(at, kPiece));
  if (st.ok()) st = reader.finish();
  found = reader.found();
  if (!st.ok()) return st.message;
  std::string out;
  for (const auto& e : reader.entries().entries())
    out += e.name + " " + std::to_string(e.attr.size) + " " + e.attr.etag + " " + std::to_string(e.attr.type) + ";";
  return out;
}

TEST(WebDavMetadata, ReadsOnlyWhatTheReplySaysOfTheObjectAndItsChildren) {
  const std::string file = "<D:resourcetype/><D:getcontentlength>5</D:getcontentlength>";
  const std::string dir = "<D:resourcetype><D:collection/></D:resourcetype>";
  struct Case {
    std::string what;
    int depth;
    std::string body;
    bool found;
    std::string result;
  };
  const Case cases[] = {
      {"children by name", 1,
       Multistatus(Response("/dav/f/", dir) + Response("/dav/f/a%20b", file) +
                   Response("http://h:8080/dav/f/c?x=1", file + "<D:getetag>\"e1\"</D:getetag>") +
                   Response("/dav/f/d/", dir + "<D:getetag>W/\"e2\"</D:getetag>")),
       true, "a b 5  0;c?x=1 5 e1 0;d 0 e2 1;"},
      {"deeper and other entries skipped", 1,
       Multistatus(Response("/dav/f/a/b", file) + Response("/dav/g/x", file) + Response("/dav/", dir) +
                   Response("/dav/f/", dir)),
       true, ""},
      {"a 404 propstat is no answer", 1,
       Multistatus(Response("/dav/f/", dir) + Response("/dav/f/gone", file, "404 Not Found") +
                   "<D:response><D:href>/dav/f/two</D:href><D:propstat><D:prop>"
                   "<D:getcontentlength>9</D:getcontentlength></D:prop><D:status>HTTP/1.1 404 Not Found"
                   "</D:status></D:propstat><D:propstat><D:prop>" + file +
                   "</D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>"),
       true, "two 5  0;"},
      {"the object itself only with 200", 0, Multistatus(Response("/dav/f", file, "403 Forbidden")), false, ""},
      {"a reply about another path", 0, Multistatus(Response("/dav/g", file)), false, ""},
      // One child the server describes wrongly is left out, alone; the
      // object's own attributes wrong fail the look.
      {"a child's size -1", 1,
       Multistatus(Response("/dav/f/n", "<D:getcontentlength>-1</D:getcontentlength>") + Response("/dav/f/ok", file)),
       false, "ok 5  0;"},
      {"the object's own size -1", 0, Multistatus(Response("/dav/f", "<D:getcontentlength>-1</D:getcontentlength>")),
       false, "PROPFIND /dav/f: size out of range (-1)"},
      {"a folder's size is no matter", 1,
       Multistatus(Response("/dav/f/", dir + "<D:getcontentlength>x</D:getcontentlength>")), true, ""},
      {"a bad size of a skipped entry does not count", 1,
       Multistatus(Response("/dav/f/a/deep", "<D:getcontentlength>-1</D:getcontentlength>")), false, ""},
      {"an error page", 1, "<html><body>" + std::string(100000, 'x'), false, "PROPFIND: not a multistatus reply"},
      {"a cut reply", 1, Multistatus(Response("/dav/f/a", file)).substr(0, 80), false,
       "PROPFIND: not a multistatus reply"},
      {"an entry past the limit", 1,
       Multistatus(Response("/dav/f/a", file + std::string(kMaxXmlHeldBytes, ' '))), false,
       "PROPFIND: an entry of the reply is larger than 1048576 bytes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    bool found = false;
    EXPECT_EQ(ReadReply("/dav/f", c.depth, c.body, found), c.result);
    EXPECT_EQ(found, c.found);
  }
}

// Some servers write a name's "?" raw, as they write "#": hrefs are read as
// written, so the path asked is found by the whole href and a child keeps
// its whole name, also where "=" follows the "?" (the back-end sends no
// query that a reply could echo).
TEST(WebDavMetadata, RawQuestionMarksInHrefsKeepTheirNames) {
  const std::string file = "<D:resourcetype/><D:getcontentlength>5</D:getcontentlength>";
  const std::string dir = "<D:resourcetype><D:collection/></D:resourcetype>";
  struct Case {
    std::string what;
    std::string reference;
    int depth;
    std::string body;
    bool found;
    std::string result;
  };
  const Case cases[] = {
      {"a listing", "/dav/f", 1,
       Multistatus(Response("/dav/f/", dir) + Response("/dav/f/q?x.txt", file) + Response("/dav/f/what?", file) +
                   Response("/dav/f/a b?c=d", file) + Response("/dav/f/%C3%A9?", file) +
                   Response("/dav/f/c?x=1", file) + Response("/dav/f/dl?id=3.txt", file) +
                   Response("/dav/f/s?t/", dir)),
       true, "q?x.txt 5  0;what? 5  0;a b?c=d 5  0;\xC3\xA9? 5  0;c?x=1 5  0;dl?id=3.txt 5  0;s?t 0  1;"},
      {"the path asked, written raw", "/dav/f/q?x.txt", 0, Multistatus(Response("/dav/f/q?x.txt", file)), true, ""},
      {"the path asked, escaped", "/dav/f/q?x.txt", 0, Multistatus(Response("/dav/f/q%3Fx.txt", file)), true, ""},
      {"another path that begins alike", "/dav/f/q", 0, Multistatus(Response("/dav/f/q?x.txt", file)), false, ""},
      {"the path asked, with \"=\" after its \"?\"", "/dav/f/dl?id=3.txt", 0,
       Multistatus(Response("/dav/f/dl?id=3.txt", file)), true, ""},
      {"what comes before \"?\" and \"=\"", "/dav/f/dl", 0, Multistatus(Response("/dav/f/dl?id=3.txt", file)),
       false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    bool found = false;
    EXPECT_EQ(ReadReply(c.reference, c.depth, c.body, found), c.result);
    EXPECT_EQ(found, c.found);
  }
}

TEST(WebDavOperations, RefuseWhatWebDavCannotDoWithoutTraffic) {
  WebDavBackend plain(Endpoint("127.0.0.1", 9, "/dav"));
  WebDavBackend nc(Endpoint("http://127.0.0.1:9/remote.php/dav/files/a"));
  uint8_t byte = 0;
  std::unique_ptr<IWriteStream> w;
  RemoteAttr attr;
  EXPECT_EQ(plain.writeAt("/f", 3, &byte, 1).toString(), "unsupported: WebDAV cannot write at an offset");
  EXPECT_EQ(plain.truncate("/f", 0).toString(), "unsupported: WebDAV cannot truncate");
  EXPECT_EQ(plain.setTimes("/f", Timestamp{100, 0}, Timestamp{}).toString(), "unsupported: server keeps its own mtime");
  EXPECT_EQ(nc.setTimes("/f", Timestamp{}, Timestamp{}).toString(), "unsupported: server keeps its own mtime");
  EXPECT_EQ(plain.openWrite("/f", 1, 10, w).toString(), "unsupported: WebDAV upload must start at 0");
  EXPECT_EQ(w, nullptr);
  // Never connected: no request goes out.
  EXPECT_FALSE(plain.isConnected());
  EXPECT_EQ(plain.ping().toString(), "network: not connected");
  EXPECT_EQ(plain.stat("/f", attr).toString(), "network: not connected");

  // A host URL that cannot be cracked leaves no server to reach.
  WebDavBackend broken(Endpoint("https://"));
  EXPECT_EQ(broken.host(), "");
  Status st = broken.connect();
  EXPECT_EQ(st.code, Status::kNetwork);
  EXPECT_EQ(st.message, "connect: the URL is invalid");
  EXPECT_FALSE(broken.isConnected());
}

}  // namespace
}  // namespace tarn
