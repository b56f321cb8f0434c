// Every back-end operation against real servers: Apache with mod_dav over
// HTTP with Basic and with Digest authentication and over TLS, Apache as
// Debian ships it (mod_dir answers folder URLs without a slash with 301),
// rclone's WebDAV server (which ignores If-None-Match), nginx with its DAV
// modules (204 for a name COPY or MOVE made, no entity tags in listings) and
// lighttpd with mod_webdav (a COPY or MOVE onto a folder goes into it).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>
#include <cstdlib>
#include <mutex>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "backends/web/webdav_backend.h"
#include "foundation/codec.h"
#include "platform/http_client.h"
#include "testing/backend_transfer.h"
#include "testing/fake_dav/fake_dav_process.h"
#include "testing/remote_tree.h"
#include "testing/tcp_relay.h"

namespace tarn {
namespace {

using test::Pattern;
using test::ReadStream;
using test::Upload;
using tarn::testing::RequiredEnv;

struct DavServer {
  std::string name;
  const char* urlVar;
  const char* userVar;
  const char* passwordVar;
  bool tls;
  uint32_t authScheme;       // the scheme a challenge leaves chosen (none over TLS, where Basic goes first)
  std::string serverPrefix;  // how the back-end names the server
  // The server writes a PUT into a file of its own and puts it in place
  // once whole; rclone writes into the target itself and leaves what
  // arrived, so uploads go to a hidden name and a MOVE there.
  bool writesPutAside = true;
  // Listings tag files (nginx's do not).
  bool listsEtags = true;
  // Ranged answers name their copy (rclone's never do, lighttpd's only
  // now and then), with the tag a listing gives (lighttpd's differ).
  bool rangesNameCopy = true;
  bool rangeTagsAsListed = true;
  // How COPY answers for a name it made (nginx: 204, which the back-end
  // looks at once to tell it from a copy into a folder).
  uint32_t createdStatus = 201;
  // Listings show dot names (nginx's skip them).
  bool listsHiddenNames = true;
  // The answer to a PUT names the new copy by its ETag (lighttpd's;
  // Apache's and nginx's need a look after it, and so does an upload that
  // went to a hidden name first).
  bool putAnswersEtag = false;
};

void PrintTo(const DavServer& s, std::ostream* os) { *os << s.name; }

const DavServer kServers[] = {
    {"ApacheBasic", "TARN_DAV_URL", "TARN_DAV_USER", "TARN_DAV_PASSWORD", false, http::kAuthBasic, "webdav/Apache"},
    {"ApacheDigest", "TARN_DAV_DIGEST_URL", "TARN_DAV_USER", "TARN_DAV_PASSWORD", false, http::kAuthDigest,
     "webdav/Apache"},
    {"ApacheTls", "TARN_DAV_TLS_URL", "TARN_DAV_USER", "TARN_DAV_PASSWORD", true, 0, "webdav/Apache"},
    {"StockApache", "TARN_DAV_STOCK_URL", "TARN_DAV_STOCK_USER", "TARN_DAV_STOCK_PASSWORD", false, http::kAuthBasic,
     "webdav/Apache"},
    {.name = "Rclone", .urlVar = "TARN_DAV_RCLONE_URL", .userVar = "TARN_DAV_RCLONE_USER",
     .passwordVar = "TARN_DAV_RCLONE_PASSWORD", .tls = false, .authScheme = http::kAuthBasic, .serverPrefix = "webdav",
     .writesPutAside = false, .rangesNameCopy = false},
    {.name = "Nginx", .urlVar = "TARN_DAV_NGINX_URL", .userVar = "TARN_DAV_NGINX_USER",
     .passwordVar = "TARN_DAV_NGINX_PASSWORD", .tls = false, .authScheme = http::kAuthBasic, .serverPrefix = "webdav/nginx",
     .listsEtags = false, .rangeTagsAsListed = false, .createdStatus = 204, .listsHiddenNames = false},
    {.name = "Lighttpd", .urlVar = "TARN_DAV_LIGHTTPD_URL", .userVar = "TARN_DAV_LIGHTTPD_USER",
     .passwordVar = "TARN_DAV_LIGHTTPD_PASSWORD", .tls = false, .authScheme = http::kAuthBasic, .serverPrefix = "webdav/lighttpd",
     .rangesNameCopy = false, .rangeTagsAsListed = false, .putAnswersEtag = true},
};

EndpointConfig ServerEndpoint(const DavServer& s) {
  if (s.tls) (void)RequiredEnv("TARN_CA_FILE");
  return test::TestEndpoint("webdav", RequiredEnv(s.urlVar), RequiredEnv(s.userVar), RequiredEnv(s.passwordVar));
}

class DavServers : public ::testing::TestWithParam<DavServer> {
 protected:
  void SetUp() override {
    dav_ = std::make_unique<WebDavBackend>(ServerEndpoint(GetParam()));
    ASSERT_TRUE(dav_->connect().ok());
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info->name();
    std::replace(name.begin(), name.end(), '/', '-');
    dir_ = "/" + name + "-" + std::to_string(getpid());
    ASSERT_TRUE(dav_->mkdir(dir_).ok());
  }
  void TearDown() override {
    if (dav_ && dav_->isConnected()) test::RemoveRemoteTree(*dav_, dir_);
  }

  std::unique_ptr<WebDavBackend> dav_;
  std::string dir_;
};

TEST_P(DavServers, ConnectsPingsAndReconnects) {
  EXPECT_TRUE(dav_->isConnected());
  EXPECT_EQ(dav_->caps().server.rfind(GetParam().serverPrefix, 0), 0u) << dav_->caps().server;
  EXPECT_TRUE(dav_->ping().ok());
  EXPECT_EQ(dav_->authScheme(), GetParam().authScheme);
  dav_->disconnect();
  EXPECT_FALSE(dav_->isConnected());
  EXPECT_EQ(dav_->ping().code, Status::kNetwork);
  ASSERT_TRUE(dav_->connect().ok());
  EXPECT_TRUE(dav_->ping().ok());
  FsStats fs;
  ASSERT_TRUE(dav_->statfs(fs).ok());
  EXPECT_FALSE(fs.known);  // none of these servers reports a quota
  EXPECT_FALSE(dav_->caps().freeSpace);
}

TEST_P(DavServers, NamespaceOperations) {
  const std::string sub = dir_ + "/sub";
  ASSERT_TRUE(dav_->mkdir(sub).ok());
  Status st = dav_->mkdir(sub);
  EXPECT_EQ(st.code, Status::kExists);
  st = dav_->mkdir(dir_ + "/missing/child");
  EXPECT_EQ(st.code, Status::kNotFound);
  EXPECT_TRUE(st.message.ends_with(" (parent missing)")) << st.message;

  const std::string a = dir_ + "/a b \xC3\xA9.txt";
  const std::string b = dir_ + "/b.txt";
  ASSERT_TRUE(dav_->create(a).ok());
  ASSERT_TRUE(Upload(*dav_, b, Pattern(10, 1)).ok());
  // Creating over an existing file neither succeeds nor empties it.
  st = dav_->create(b);
  EXPECT_EQ(st.code, Status::kExists) << st.message;
  RemoteAttr kept;
  ASSERT_TRUE(dav_->stat(b, kept).ok());
  EXPECT_EQ(kept.size, 10u);
  EXPECT_EQ(dav_->create(sub).code, Status::kExists);
  ASSERT_TRUE(Upload(*dav_, sub + "/inner", Pattern(5, 2)).ok());

  std::vector<DirEntry> entries;
  ASSERT_TRUE(dav_->list(dir_, entries).ok());
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a b \xC3\xA9.txt", "b.txt", "sub"}));
  for (const auto& e : entries) {
    EXPECT_EQ(e.attr.isDir(), e.name == "sub") << e.name;
    if (e.name == "b.txt") {
      EXPECT_EQ(e.attr.size, 10u);
    }
    EXPECT_GT(e.attr.mtime.seconds, 1600000000);
    if (!e.attr.isDir() && GetParam().listsEtags) {
      EXPECT_FALSE(e.attr.etag.empty()) << e.name;  // rclone tags no folders
    }
  }

  EXPECT_EQ(dav_->list(b, entries).toString(), "not-directory: " + b);
  RemoteAttr attr;
  st = dav_->stat(dir_ + "/nothing", attr);
  EXPECT_EQ(st.code, Status::kNotFound);
  st = dav_->list(dir_ + "/nothing", entries);
  EXPECT_EQ(st.code, Status::kNotFound);

  // Rename without overwrite onto an existing file leaves both.
  st = dav_->rename(a, b, false);
  EXPECT_EQ(st.code, Status::kExists);
  EXPECT_TRUE(st.message.ends_with(" (precondition failed)")) << st.message;
  ASSERT_TRUE(dav_->stat(a, attr).ok());
  ASSERT_TRUE(dav_->stat(b, attr).ok());
  EXPECT_EQ(attr.size, 10u);
  ASSERT_TRUE(dav_->rename(a, b, true).ok());
  ASSERT_TRUE(dav_->stat(b, attr).ok());
  EXPECT_EQ(attr.size, 0u);
  EXPECT_EQ(dav_->stat(a, attr).code, Status::kNotFound);

  ASSERT_TRUE(dav_->rename(sub, dir_ + "/moved", false).ok());
  ASSERT_TRUE(dav_->stat(dir_ + "/moved/inner", attr).ok());
  EXPECT_EQ(attr.size, 5u);

  // A folder goes only once it is empty, as on a disk.
  st = dav_->remove(dir_ + "/moved", true);
  EXPECT_EQ(st.code, Status::kNotEmpty) << st.toString();
  ASSERT_TRUE(dav_->stat(dir_ + "/moved/inner", attr).ok());
  ASSERT_TRUE(dav_->remove(dir_ + "/moved/inner", false).ok());
  ASSERT_TRUE(dav_->remove(dir_ + "/moved", true).ok());
  EXPECT_EQ(dav_->stat(dir_ + "/moved", attr).code, Status::kNotFound);
  EXPECT_EQ(dav_->remove(dir_ + "/moved", true).code, Status::kNotFound);
  ASSERT_TRUE(dav_->remove(b, false).ok());
  EXPECT_EQ(dav_->stat(b, attr).code, Status::kNotFound);
  st = dav_->setTimes(dir_, Timestamp{1000, 0}, Timestamp{});
  EXPECT_EQ(st.code, Status::kUnsupported);
}

// Dot names are made and found by name on every server; the capability
// record tells the drive whether a listing that lacks one means anything.
TEST_P(DavServers, DotNamesAreServedByNameWhereverListingsSkipThem) {
  const std::string folder = dir_ + "/.git";
  const std::string file = dir_ + "/.gitignore";
  ASSERT_TRUE(dav_->mkdir(folder).ok());
  ASSERT_TRUE(dav_->create(file).ok());
  ASSERT_TRUE(dav_->create(dir_ + "/README").ok());
  EXPECT_EQ(dav_->caps().listsHiddenNames, GetParam().listsHiddenNames);
  std::vector<DirEntry> entries;
  ASSERT_TRUE(dav_->list(dir_, entries).ok());
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  const std::vector<std::string> all{".git", ".gitignore", "README"};
  EXPECT_EQ(names, GetParam().listsHiddenNames ? all : std::vector<std::string>{"README"});
  RemoteAttr attr;
  ASSERT_TRUE(dav_->stat(folder, attr).ok());
  EXPECT_TRUE(attr.isDir());
  ASSERT_TRUE(dav_->stat(file, attr).ok());
  EXPECT_FALSE(attr.isDir());
  EXPECT_EQ(dav_->stat(dir_ + "/.missing", attr).code, Status::kNotFound);
}

// Folder moves, replacing moves and moves of what is not there, in order,
// each with what must stand afterwards (Apache with mod_dir refuses a
// folder Destination without its slash; rclone answers a missing source
// with 403).
TEST_P(DavServers, MovesOfFoldersAndMissingSourcesHold) {
  ASSERT_TRUE(dav_->mkdir(dir_ + "/a").ok());
  ASSERT_TRUE(Upload(*dav_, dir_ + "/a/in", Pattern(5, 1)).ok());
  ASSERT_TRUE(dav_->mkdir(dir_ + "/empty").ok());
  ASSERT_TRUE(dav_->mkdir(dir_ + "/full").ok());
  ASSERT_TRUE(Upload(*dav_, dir_ + "/full/x", Pattern(3, 2)).ok());
  ASSERT_TRUE(Upload(*dav_, dir_ + "/file", Pattern(4, 3)).ok());
  struct Case {
    const char* from;
    const char* to;
    bool overwrite;
    int32_t code;
    const char* present;  // afterwards, with its size
    uint64_t size;
  } cases[] = {
      {"/a", "/empty", false, Status::kExists, "/a/in", 5},
      {"/a", "/full", false, Status::kExists, "/full/x", 3},
      {"/file", "/empty", false, Status::kExists, "/file", 4},
      {"/a", "/empty", true, Status::kOk, "/empty/in", 5},
      {"/empty", "/b", false, Status::kOk, "/b/in", 5},
      // A replacing move takes the place of an empty folder only, and of
      // nothing of another kind.
      {"/b", "/full", true, Status::kNotEmpty, "/full/x", 3},
      {"/file", "/full", true, Status::kIsDirectory, "/full/x", 3},
      {"/b", "/file", true, Status::kNotDirectory, "/file", 4},
      {"/b", "/c/d", false, Status::kNotFound, "/b/in", 5},
      {"/gone", "/g", false, Status::kNotFound, "/b", 0},
      {"/gone/", "/g/", true, Status::kNotFound, "/b", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.from) + " -> " + c.to + (c.overwrite ? " replacing" : ""));
    Status st = dav_->rename(dir_ + c.from, dir_ + c.to, c.overwrite);
    EXPECT_EQ(st.code, c.code) << st.toString();
    RemoteAttr attr;
    ASSERT_TRUE(dav_->stat(dir_ + c.present, attr).ok());
    EXPECT_EQ(attr.size, c.size);
  }
  RemoteAttr attr;
  EXPECT_EQ(dav_->stat(dir_ + "/a", attr).code, Status::kNotFound);
}

TEST_P(DavServers, StreamedUploadAndRangedReads) {
  const std::string path = dir_ + "/data.bin";
  const auto data = Pattern(3 * 1024 * 1024 + 517, 7);
  RemoteAttr out;
  ASSERT_TRUE(Upload(*dav_, path, data, &out, 777777).ok());  // pieces that straddle the 1 MiB sends
  EXPECT_EQ(out.size, data.size());
  RemoteAttr attr;
  ASSERT_TRUE(dav_->stat(path, attr).ok());
  EXPECT_EQ(attr.size, data.size());
  // A server that names the new version in the PUT's reply names the one
  // a look finds; Apache names none.
  if (!out.etag.empty()) {
    EXPECT_EQ(out.etag, attr.etag);
  }
  EXPECT_FALSE(attr.isDir());

  struct Case {
    uint64_t offset, length, expect;
  };
  const Case cases[] = {
      {0, 0, 0},
      {100, 50, 50},
      {0, 4096, 4096},
      {data.size() - 10, 100, 10},
      {data.size(), 10, 0},
      {data.size() + 5000, 10, 0},
      {1024 * 1024 - 3, 2 * 1024 * 1024, 2 * 1024 * 1024},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.offset) + "+" + std::to_string(c.length));
    std::vector<uint8_t> buf(static_cast<size_t>(c.length) + 1, 0xEE);
    uint64_t got = 99;
    Status st = dav_->readRange(path, c.offset, buf.data(), c.length, got);
    ASSERT_TRUE(st.ok()) << st.message;
    ASSERT_EQ(got, c.expect);
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + static_cast<long>(got),
                           data.begin() + static_cast<long>(std::min<uint64_t>(c.offset, data.size()))));
    EXPECT_EQ(buf[got], 0xEE);
    // A ranged answer that names its copy names the one a look finds, or a
    // read would skip the look that catches a changed file for nothing.
    RemoteAttr copy;
    if (dav_->lastReadCopy(copy)) {
      EXPECT_NE(got, 0u);
      if (GetParam().rangeTagsAsListed) {
        EXPECT_EQ(copy.etag, attr.etag);
      }
      EXPECT_EQ(copy.size, data.size());
    } else {
      EXPECT_TRUE(got == 0 || !GetParam().rangesNameCopy) << "the server names the copy of a 206";
    }
  }
  EXPECT_TRUE(dav_->caps().rangeRead);

  EXPECT_EQ(ReadStream(*dav_, path), data);
  auto tail = ReadStream(*dav_, path, 1000, 300000);
  EXPECT_TRUE(std::equal(tail.begin(), tail.end(), data.begin() + 1000));
  EXPECT_EQ(tail.size(), data.size() - 1000);
  EXPECT_TRUE(ReadStream(*dav_, path, data.size(), 100).empty());
  // A stream's answer names its copy as a ranged one does, whole or from
  // further on; a copy it names wrongly would pass another file's bytes
  // off as the cached one's.
  for (uint64_t from : {uint64_t{0}, uint64_t{1000}}) {
    SCOPED_TRACE("stream from " + std::to_string(from));
    std::unique_ptr<IReadStream> s;
    ASSERT_TRUE(dav_->openRead(path, from, s).ok());
    uint8_t first = 0;
    uint64_t n = 0;
    ASSERT_TRUE(s->read(&first, 1, n).ok());
    ASSERT_EQ(n, 1u);
    EXPECT_EQ(first, data[from]);
    RemoteAttr copy;
    if (s->copy(copy)) {
      if (GetParam().rangeTagsAsListed) {
        EXPECT_EQ(copy.etag, attr.etag);
      }
      EXPECT_EQ(copy.size, data.size());
    } else {
      EXPECT_FALSE(GetParam().rangesNameCopy) << "the server names the copy of a GET";
    }
  }

  // A stream closed in the middle resumes where it stood.
  std::unique_ptr<IReadStream> r;
  ASSERT_TRUE(dav_->openRead(path, 0, r).ok());
  std::vector<uint8_t> back(data.size() + 1);
  uint64_t got = 0, total = 0;
  for (; total < 200000; total += got) {
    ASSERT_TRUE(r->read(back.data() + total, 200000 - total, got).ok());
    ASSERT_GT(got, 0u);
  }
  r->close();
  do {
    ASSERT_TRUE(r->read(back.data() + total, back.size() - total, got).ok());
    total += got;
  } while (got > 0);
  back.resize(total);
  EXPECT_EQ(back, data);
}

TEST_P(DavServers, EmptyShortAndAbortedUploads) {
  const std::string path = dir_ + "/f";
  std::unique_ptr<IWriteStream> w;
  ASSERT_TRUE(dav_->openWrite(path, 0, 0, w).ok());
  uint8_t byte = 1;
  EXPECT_EQ(w->write(&byte, 1).toString(), "invalid: empty PUT got data");
  RemoteAttr out;
  out.size = 77;
  ASSERT_TRUE(w->finish(&out).ok());
  EXPECT_EQ(out.size, 0u);
  RemoteAttr attr;
  ASSERT_TRUE(dav_->stat(path, attr).ok());
  EXPECT_EQ(attr.size, 0u);

  const auto v1 = Pattern(5000, 3);
  ASSERT_TRUE(Upload(*dav_, path, v1).ok());

  // Too few bytes: nothing is committed.
  ASSERT_TRUE(dav_->openWrite(path, 0, 6000, w).ok());
  ASSERT_TRUE(w->write(Pattern(100, 4).data(), 100).ok());
  EXPECT_EQ(w->finish(nullptr).toString(), "invalid: PUT: body shorter than announced");
  w.reset();
  // Aborted: the previous copy stays, also where the server writes a PUT
  // into its target as it comes.
  ASSERT_TRUE(dav_->openWrite(path, 0, 6000, w).ok());
  ASSERT_TRUE(w->write(Pattern(3000, 5).data(), 3000).ok());
  w->abort();
  w.reset();
  EXPECT_EQ(ReadStream(*dav_, path, 0, 4096), v1);
  // A server that refuses the upload early is heard once the body is out.
  const auto big = Pattern(2 * 1024 * 1024, 7);
  ASSERT_TRUE(dav_->openWrite(dir_ + "/missing/f", 0, big.size(), w).ok());
  Status st = w->write(big.data(), big.size());
  ASSERT_TRUE(st.ok()) << st.message;
  st = w->finish(nullptr);
  EXPECT_EQ(st.code, Status::kNotFound) << st.message;  // 409, or 404 from rclone
  // More than announced is refused before it reaches the server.
  ASSERT_TRUE(dav_->openWrite(path, 0, 10, w).ok());
  EXPECT_EQ(w->write(Pattern(11, 6).data(), 11).code, Status::kInvalid);
  w->abort();
}

// A read that insists on one copy of a file gets its bytes while the file
// is that copy, and a conflict once another was put in its place, though of
// the same size and within the same second.
TEST_P(DavServers, ReadsOfACopyEndWhenTheFileIsReplaced) {
  const std::string path = dir_ + "/f";
  const auto v1 = Pattern(100000, 1);
  ASSERT_TRUE(Upload(*dav_, path, v1).ok());
  RemoteAttr first;
  ASSERT_TRUE(dav_->stat(path, first).ok());
  // nginx lists no ETag: its copies are told apart by size and time alone,
  // and a replacement of the same size within the second is not seen there.
  const bool tagged = GetParam().listsEtags;
  EXPECT_EQ(!first.etag.empty(), tagged);
  const auto v2 = Pattern(tagged ? 100000 : 100001, 2);
  std::vector<uint8_t> got(5000);
  uint64_t n = 0;
  ASSERT_TRUE(dav_->readCopy(path, first, 1000, got.data(), got.size(), n).ok());
  EXPECT_EQ(n, got.size());
  EXPECT_TRUE(std::equal(got.begin(), got.end(), v1.begin() + 1000));

  ASSERT_TRUE(Upload(*dav_, path, v2).ok());
  EXPECT_EQ(dav_->readCopy(path, first, 1000, got.data(), got.size(), n).code, Status::kConflict);
  EXPECT_EQ(n, 0u);
  RemoteAttr second;
  ASSERT_TRUE(dav_->stat(path, second).ok());
  ASSERT_TRUE(dav_->readCopy(path, second, 1000, got.data(), got.size(), n).ok());
  EXPECT_TRUE(std::equal(got.begin(), got.end(), v2.begin() + 1000));
}

TEST_P(DavServers, RefusesWrongCredentialsAndMissingRoot) {
  EndpointConfig ep = ServerEndpoint(GetParam());
  ep.password = "wrong";
  WebDavBackend bad(ep);
  EXPECT_EQ(bad.connect().toString(), "auth-failed: credentials rejected");
  EXPECT_FALSE(bad.isConnected());

  EndpointConfig ep2 = ServerEndpoint(GetParam());
  ep2.root = "/no-such-folder-here";
  WebDavBackend missing(ep2);
  EXPECT_EQ(missing.connect().toString(), "not-found: root path not found on the server: /no-such-folder-here");
  EXPECT_FALSE(missing.isConnected());

  // The root below the server's folder is where every path starts.
  EndpointConfig ep3 = ServerEndpoint(GetParam());
  ep3.root = dir_;
  WebDavBackend rooted(ep3);
  ASSERT_TRUE(rooted.connect().ok());
  ASSERT_TRUE(rooted.create("/inside").ok());
  RemoteAttr attr;
  EXPECT_TRUE(dav_->stat(dir_ + "/inside", attr).ok());
  std::vector<DirEntry> entries;
  ASSERT_TRUE(rooted.list("/", entries).ok());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "inside");
}

// A new file is dated by when it was made, also on servers that give a
// copy its source's times (nginx, lighttpd): the back-end's hidden source
// for creates dates from an earlier second by then.
TEST_P(DavServers, NewFilesAreDatedWhenMade) {
  ASSERT_TRUE(dav_->create(dir_ + "/first").ok());
  const int64_t made = static_cast<int64_t>(std::time(nullptr));
  while (static_cast<int64_t>(std::time(nullptr)) < made + 2) std::this_thread::yield();
  ASSERT_TRUE(dav_->create(dir_ + "/second").ok());
  RemoteAttr attr;
  ASSERT_TRUE(dav_->stat(dir_ + "/second", attr).ok());
  EXPECT_GE(attr.mtime.seconds, made + 1);
}

// What a drive records of its own upload (the ETag of the PUT's answer where
// there is one, and the look right after it) names the copy that listings
// show later, also once the file's time is more than a second old: Apache
// tags a file changed within the last second weak, and strong afterwards.
TEST_P(DavServers, TheCopyAnUploadRecordsIsTheOneLaterListingsShow) {
  const std::string path = dir_ + "/sent.bin";
  const auto data = Pattern(5000, 4);
  RemoteAttr put;
  ASSERT_TRUE(Upload(*dav_, path, data, &put).ok());
  EXPECT_EQ(!put.etag.empty(), GetParam().putAnswersEtag) << put.etag;
  RemoteAttr look;
  ASSERT_TRUE(dav_->stat(path, look).ok());
  // Apache's tag is strong once its look comes more than a second after
  // the file's time.
  const int64_t strongFrom = std::max<int64_t>(look.mtime.seconds, std::time(nullptr)) + 2;
  while (static_cast<int64_t>(std::time(nullptr)) < strongFrom)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::vector<DirEntry> entries;
  ASSERT_TRUE(dav_->list(dir_, entries).ok());
  ASSERT_EQ(entries.size(), 1u);
  const RemoteAttr& listed = entries[0].attr;
  EXPECT_EQ(listed.size, data.size());
  EXPECT_EQ(listed.etag.empty(), !GetParam().listsEtags);
  struct Recorded {
    const char* what;
    RemoteAttr attr;
  };
  std::vector<Recorded> recorded{{"the look after the PUT", look}};
  if (!put.etag.empty()) recorded.push_back({"the PUT's answer", put});
  for (const Recorded& r : recorded) {
    SCOPED_TRACE(r.what);
    EXPECT_EQ(r.attr.etag, listed.etag);
    EXPECT_TRUE(SameServerCopy(r.attr, listed)) << r.attr.etag << " " << r.attr.mtime.seconds << " against "
                                                << listed.etag << " " << listed.mtime.seconds;
  }
}

INSTANTIATE_TEST_SUITE_P(Servers, DavServers, ::testing::ValuesIn(kServers),
                         [](const auto& info) { return info.param.name; });

// Another client writes the file just before the n-th request that create
// sends, one request later each round, until create finishes first. The
// other client's file is never emptied, create says exists whenever that
// file came first (before create's COPY), and nothing hidden stays.
// (Servers in plain HTTP, whose requests the relay can see.)
class DavRaces : public DavServers {
 protected:
  // The server's endpoint reached through a relay that shows each request.
  EndpointConfig ThroughRelay(std::unique_ptr<tarn::testing::TcpRelay>& relay) {
    http::CrackedUrl url;
    EXPECT_TRUE(http::CrackUrl(RequiredEnv(GetParam().urlVar), url));
    relay = std::make_unique<tarn::testing::TcpRelay>(url.port);
    EndpointConfig viaRelay = ServerEndpoint(GetParam());
    viaRelay.host = "http://127.0.0.1:" + std::to_string(relay->port()) + url.path;
    return viaRelay;
  }
  void SourceGoesWithItsBackEnd(bool dropped);
};

TEST_P(DavRaces, CreateRacingAnotherClientNeverEmptiesItsFile) {
  std::unique_ptr<tarn::testing::TcpRelay> relayOwner;
  WebDavBackend racer(ThroughRelay(relayOwner));
  ASSERT_FALSE(HasFailure());
  tarn::testing::TcpRelay& relay = *relayOwner;
  ASSERT_TRUE(racer.connect().ok());
  const std::string path = dir_ + "/f";
  const auto theirs = Pattern(6, 9);
  for (int n = 1;; ++n) {
    SCOPED_TRACE(n);
    ASSERT_LT(n, 10) << "create never finished first";
    (void)dav_->remove(path, false);
    int requests = 0;
    bool wrote = false;
    // The other file came after create's COPY (nginx's 204 gets a look
    // after it): create made the name first.
    bool copied = false, wroteAfterCopy = false;
    relay.onClientSend([&](std::string_view piece) {
      for (const char* verb : {"GET ", "PUT ", "MOVE ", "COPY ", "PROPFIND ", "DELETE ", "MKCOL "}) {
        if (!piece.starts_with(verb)) continue;
        if (++requests == n) {
          WebDavBackend other(ServerEndpoint(GetParam()));
          wrote = other.connect().ok() && Upload(other, path, theirs).ok();
          wroteAfterCopy = copied;
        }
        copied = copied || std::string_view(verb) == "COPY ";
      }
    });
    Status st = racer.create(path);
    relay.onClientSend(nullptr);
    RemoteAttr attr;
    ASSERT_TRUE(dav_->stat(path, attr).ok());
    std::vector<DirEntry> entries;
    ASSERT_TRUE(dav_->propfind(dir_, 1, entries, nullptr, nullptr).ok());
    EXPECT_EQ(entries.size(), 1u) << "nothing hidden stays";
    if (!wrote) {
      EXPECT_TRUE(st.ok()) << st.toString();
      EXPECT_EQ(attr.size, 0u);
      break;
    }
    EXPECT_EQ(st.code, wroteAfterCopy ? Status::kOk : Status::kExists) << st.toString();
    EXPECT_EQ(ReadStream(*dav_, path), theirs);
  }
}

// A create is one COPY once the back-end has made its empty source file
// and tried once that the server keeps what a COPY without overwrite meets
// (a file of its own put, copied onto and removed); a small file then costs
// that COPY and one PUT.
TEST_P(DavRaces, SmallFileCostsACopyAndAPut) {
  std::unique_ptr<tarn::testing::TcpRelay> relayOwner;
  WebDavBackend b(ThroughRelay(relayOwner));
  ASSERT_FALSE(HasFailure());
  tarn::testing::TcpRelay& relay = *relayOwner;
  ASSERT_TRUE(b.connect().ok());
  std::vector<std::string> verbs;
  std::string source;  // the hidden file the back-end PUT, as its request line names it
  int refreshes = 0;
  auto record = [&](std::string_view piece) {
    const size_t space = piece.find(' ');
    if (space == std::string_view::npos || space >= 10 || piece.substr(space + 1, 1) != "/") return;
    const std::string_view verb = piece.substr(0, space);
    const std::string_view target = piece.substr(space + 1, piece.find(' ', space + 1) - space - 1);
    const std::string_view name = target.substr(target.rfind('/') + 1);
    // The source written again as a new second begins is no cost of a file.
    if (verb == "PUT" && !source.empty() && name == source) {
      ++refreshes;
      return;
    }
    verbs.emplace_back(verb);
    // The first hidden file is the source; the back-end's check of the
    // server makes one of its own after it.
    if (verb == "PUT" && IsHiddenTempName(name) && source.empty()) source = name;
  };
  relay.onClientSend(record);
  const auto data = Pattern(3000, 8);
  for (const char* name : {"/a", "/b"}) ASSERT_TRUE(b.create(dir_ + name).ok());
  ASSERT_TRUE(Upload(b, dir_ + "/b", data).ok());
  EXPECT_EQ(b.create(dir_ + "/b").code, Status::kExists);
  relay.onClientSend(nullptr);
  std::vector<std::string> expected{"PUT", "PUT", "COPY", "DELETE", "COPY", "COPY", "PUT", "COPY"};
  // The PUT aside, a look that no folder stands at the file, the MOVE.
  if (!GetParam().writesPutAside) expected.insert(expected.begin() + 7, {"PROPFIND", "MOVE"});
  if (GetParam().createdStatus == 204) expected.insert(expected.begin() + 5, "PROPFIND");
  EXPECT_EQ(verbs, expected);
  EXPECT_EQ(ReadStream(*dav_, dir_ + "/b"), data);
  RemoteAttr attr;
  ASSERT_TRUE(dav_->stat(dir_ + "/a", attr).ok());
  EXPECT_EQ(attr.size, 0u);
  // The empty source stays at the root, not beside what was made.
  std::vector<DirEntry> entries;
  ASSERT_TRUE(dav_->propfind(dir_, 1, entries, nullptr, nullptr).ok());
  EXPECT_EQ(entries.size(), 2u);

  // Removed meanwhile (as listings do an hour later), it is made again.
  ASSERT_FALSE(source.empty());
  ASSERT_TRUE(dav_->remove("/" + source, false).ok());
  verbs.clear();
  refreshes = 0;
  relay.onClientSend(record);
  ASSERT_TRUE(b.create(dir_ + "/c").ok());
  relay.onClientSend(nullptr);
  // Unless a new second wrote it again first.
  const std::vector<std::string> again{"COPY", "PUT", "COPY"}, refreshed{"COPY"};
  EXPECT_EQ(verbs, refreshes == 0 ? again : refreshed);
  ASSERT_TRUE(dav_->stat(dir_ + "/c", attr).ok());
  EXPECT_EQ(attr.size, 0u);
}

// The empty source of creates is the back-end's own: it goes when the
// back-end does, also when the pool had dropped its connection, rather than
// showing to other clients until a listing an hour later removes it.
TEST_P(DavRaces, TheSourceOfCreatesGoesWithItsBackEnd) {
  for (bool dropped : {false, true}) {
    SCOPED_TRACE(dropped ? "connection dropped" : "connected");
    SourceGoesWithItsBackEnd(dropped);
  }
}

void DavRaces::SourceGoesWithItsBackEnd(bool dropped) {
  std::unique_ptr<tarn::testing::TcpRelay> relayOwner;
  auto b = std::make_unique<WebDavBackend>(ThroughRelay(relayOwner));
  ASSERT_FALSE(HasFailure());
  ASSERT_TRUE(b->connect().ok());
  std::mutex mu;
  std::string source;  // guarded by mu
  relayOwner->onClientSend([&](std::string_view piece) {
    if (!piece.starts_with("PUT /")) return;
    const std::string_view target = piece.substr(4, piece.find(' ', 4) - 4);
    const std::string_view name = target.substr(target.rfind('/') + 1);
    std::lock_guard<std::mutex> lock(mu);
    if (IsHiddenTempName(name) && source.empty()) source = name;
  });
  ASSERT_TRUE(b->create(dir_ + "/a").ok());
  relayOwner->onClientSend(nullptr);
  std::string made;
  {
    std::lock_guard<std::mutex> lock(mu);
    made = source;
  }
  ASSERT_FALSE(made.empty());
  RemoteAttr attr;
  ASSERT_TRUE(dav_->stat("/" + made, attr).ok());
  if (dropped) b->disconnect();
  b.reset();
  EXPECT_EQ(dav_->stat("/" + made, attr).code, Status::kNotFound);
  EXPECT_TRUE(dav_->stat(dir_ + "/a", attr).ok());
  ASSERT_TRUE(dav_->remove(dir_ + "/a", false).ok());
}

INSTANTIATE_TEST_SUITE_P(Servers, DavRaces,
                         ::testing::Values(kServers[0], kServers[3], kServers[4], kServers[5], kServers[6]),
                         [](const auto& info) { return info.param.name; });

// What a client sends through a relay, gathered as text.
class SentText {
 public:
  explicit SentText(tarn::testing::TcpRelay& relay) : relay_(relay) {
    relay_.onClientSend([this](std::string_view piece) {
      std::lock_guard<std::mutex> lock(mu_);
      text_.append(piece);
    });
  }
  ~SentText() { relay_.onClientSend(nullptr); }
  std::string take() {
    std::lock_guard<std::mutex> lock(mu_);
    return std::exchange(text_, std::string());
  }

 private:
  tarn::testing::TcpRelay& relay_;
  std::mutex mu_;
  std::string text_;  // guarded by mu_
};

size_t Occurrences(const std::string& text, std::string_view what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// A drive's back-ends on plain http: the first request of a location goes
// without credentials; a Digest location never sees the password or a
// Basic line, first connections and later ones alike; a Basic location gets
// it after it asked, and from then on at once.
TEST(DavAuthentication, PasswordGoesInClearOnlyWhereBasicWasAskedFor) {
  struct Case {
    const char* urlVar;
    const char* header;  // the scheme's line
    bool basic;
  };
  const Case cases[] = {{"TARN_DAV_DIGEST_URL", "Authorization: Digest ", false},
                        {"TARN_DAV_URL", "Authorization: Basic ", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.urlVar);
    http::CrackedUrl url;
    ASSERT_TRUE(http::CrackUrl(RequiredEnv(c.urlVar), url));
    tarn::testing::TcpRelay relay(url.port);
    EndpointConfig ep = test::TestEndpoint("webdav", RequiredEnv(c.urlVar), RequiredEnv("TARN_DAV_USER"),
                                           RequiredEnv("TARN_DAV_PASSWORD"));
    ep.host = "http://127.0.0.1:" + std::to_string(relay.port()) + url.path;
    const std::string credentials = ep.user + ":" + ep.password;
    const std::string clear = vx::Base64Encode(credentials.data(), credentials.size());
    SentText sent(relay);

    WebDavBackend first(ep);
    ASSERT_TRUE(first.connect().ok());
    const std::string dir = "/auth-" + std::to_string(getpid());
    ASSERT_TRUE(first.mkdir(dir).ok());
    ASSERT_TRUE(Upload(first, dir + "/f", Pattern(5000, 3)).ok());
    const std::string firstText = sent.take();
    EXPECT_EQ(firstText.substr(0, firstText.find("\r\n\r\n")).find("Authorization"), std::string::npos)
        << firstText;
    EXPECT_GT(Occurrences(firstText, c.header), 0u);

    WebDavBackend second(ep);
    ASSERT_TRUE(second.connect().ok());
    ASSERT_TRUE(second.remove(dir + "/f", false).ok());
    ASSERT_TRUE(second.remove(dir, true).ok());
    const std::string secondText = sent.take();
    const std::string secondHead = secondText.substr(0, secondText.find("\r\n\r\n"));
    EXPECT_EQ(secondHead.find("Authorization: Basic ") != std::string::npos, c.basic) << secondHead;
    for (const std::string* text : {&firstText, &secondText}) {
      EXPECT_EQ(Occurrences(*text, "Authorization: Basic ") > 0, c.basic);
      EXPECT_EQ(text->find(clear) != std::string::npos, c.basic);
    }
  }
}

TEST(ApacheDavTls, CertificateChecks) {
  const auto tls = std::find_if(std::begin(kServers), std::end(kServers), [](const DavServer& s) { return s.tls; });
  EndpointConfig ep = ServerEndpoint(*tls);
  struct RestoreCaFile {
    std::string path = RequiredEnv("TARN_CA_FILE");
    ~RestoreCaFile() { setenv("TARN_CA_FILE", path.c_str(), 1); }
  } restore;
  {
    WebDavBackend trusted(ep);
    EXPECT_TRUE(trusted.connect().ok());
  }
  unsetenv("TARN_CA_FILE");
  {
    // Not a refused log-in: this side does not trust the server.
    WebDavBackend untrusted(ep);
    Status st = untrusted.connect();
    EXPECT_EQ(st.code, Status::kInvalid);
    // The TLS library's words, and both ways to take the certificate anyway.
    EXPECT_EQ(st.toString(),
              "invalid: TLS: send: SSL certificate problem: self-signed certificate" + std::string(kUncheckedTlsHint));
    EXPECT_EQ(st.native, 12045);
  }
  ep.verifyTls = false;
  {
    WebDavBackend unchecked(ep);
    Status st = unchecked.connect();
    EXPECT_TRUE(st.ok()) << st.message;
  }
}

}  // namespace
}  // namespace tarn
