// What no packaged server covers, against our fake WebDAV server: the chunked
// upload of the Nextcloud layout with resume and background assembly, time
// setting, quota, a server that ignores Range, dropped and slow replies, and
// the faults the back-end must not repeat.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "backends/web/webdav_backend.h"
#include "engine/connection_pool.h"
#include "foundation/cancel_token.h"
#include "testing/backend_transfer.h"
#include "testing/fake_dav/fake_dav_process.h"
#include "testing/gate.h"
#include "testing/heap_peak.h"

namespace tarn {
namespace {

using tarn::testing::FakeDavProcess;

using test::Pattern;
using test::ReadStream;
using test::Upload;

constexpr uint64_t kMiB = 1024 * 1024;

EndpointConfig FakeEndpoint(const std::string& url) { return test::TestEndpoint("webdav", url, "alice", "pw"); }

std::unique_ptr<WebDavBackend> Connected(const std::string& url) {
  auto b = std::make_unique<WebDavBackend>(FakeEndpoint(url));
  Status st = b->connect();
  EXPECT_TRUE(st.ok()) << st.message;
  return b;
}

// Sends the first `upTo` bytes of an upload of `data`, then aborts it.
Status Interrupted(WebDavBackend& b, const std::string& path, const std::vector<uint8_t>& data, size_t upTo) {
  std::unique_ptr<IWriteStream> w;
  Status st = b.openWrite(path, 0, data.size(), w);
  if (st.ok()) st = w->write(data.data(), upTo);
  if (st.ok()) w->abort();
  return st;
}

size_t Count(const FakeDavProcess& fake, const std::vector<std::string>& fragments) {
  return fake.requestsWith(fragments).size();
}

TEST(FakeDavUpload, ChunkedUploadStartsAboveTenMiB) {
  FakeDavProcess fake;
  auto b = Connected(fake.filesUrl());
  EXPECT_EQ(b->caps().server, "nextcloud");

  const auto exact = Pattern(kDavChunkBytes, 1);
  fake.clearLog();
  ASSERT_TRUE(Upload(*b, "/exact.bin", exact).ok());
  EXPECT_EQ(Count(fake, {"\"PUT\"", "/remote.php/dav/files/alice/exact.bin"}), 1u);
  EXPECT_EQ(Count(fake, {"/remote.php/dav/uploads/"}), 0u);
  EXPECT_EQ(ReadStream(*b, "/exact.bin"), exact);

  const auto over = Pattern(kDavChunkBytes + 1, 2);
  fake.clearLog();
  RemoteAttr out;
  ASSERT_TRUE(Upload(*b, "/over.bin", over, &out).ok());
  auto chunks = fake.requestsWith({"\"PUT\"", "/remote.php/dav/uploads/alice/tarn-"});
  ASSERT_EQ(chunks.size(), 2u);
  EXPECT_NE(chunks[0].find("/000000000000000-000000010485760-"), std::string::npos) << chunks[0];
  EXPECT_NE(chunks[1].find("/000000010485760-000000010485761-"), std::string::npos) << chunks[1];
  auto moves = fake.requestsWith({"\"MOVE\"", "/.file"});
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_NE(moves[0].find("\"OC-Total-Length\": \"10485761\""), std::string::npos) << moves[0];
  EXPECT_NE(moves[0].find("\"Overwrite\": \"T\""), std::string::npos);
  EXPECT_EQ(out.size, over.size());
  EXPECT_EQ(ReadStream(*b, "/over.bin"), over);
  RemoteAttr attr;
  ASSERT_TRUE(b->stat("/over.bin", attr).ok());
  EXPECT_EQ(attr.size, over.size());
}

TEST(FakeDavUpload, InterruptedUploadResumesWithoutResendingChunks) {
  FakeDavProcess fake;
  auto b = Connected(fake.filesUrl());
  const auto data = Pattern(25 * kMiB, 3);
  ASSERT_TRUE(Interrupted(*b, "/big.bin", data, 12 * kMiB).ok());  // first chunk sent, then aborted
  EXPECT_EQ(Count(fake, {"\"PUT\"", "/tarn-"}), 1u);
  RemoteAttr attr;
  EXPECT_EQ(b->stat("/big.bin", attr).code, Status::kNotFound);

  fake.clearLog();
  ASSERT_TRUE(Upload(*b, "/big.bin", data).ok());
  auto puts = fake.requestsWith({"\"PUT\"", "/tarn-"});
  ASSERT_EQ(puts.size(), 2u);
  EXPECT_NE(puts[0].find("/000000010485760-000000020971520-"), std::string::npos);
  EXPECT_NE(puts[1].find("/000000020971520-000000026214400-"), std::string::npos);
  EXPECT_EQ(Count(fake, {"\"MOVE\"", "/.file"}), 1u);
  EXPECT_EQ(ReadStream(*b, "/big.bin"), data);
}

// A retry of an upload whose file changed meanwhile must not assemble chunks
// of the older content, whether the size stayed or changed.
TEST(FakeDavUpload, ChangedContentNeverReusesStaleChunks) {
  FakeDavProcess fake;
  auto b = Connected(fake.filesUrl());
  struct Case {
    size_t oldSize, newSize;
    uint32_t oldSeed, newSeed;
  };
  const Case cases[] = {
      {25 * kMiB, 25 * kMiB, 10, 11},
      {25 * kMiB, 21 * kMiB, 12, 13},
      {21 * kMiB, 25 * kMiB, 14, 15},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string path = "/changed" + std::to_string(n++) + ".bin";
    SCOPED_TRACE(path);
    auto oldData = Pattern(c.oldSize, c.oldSeed);
    // The old version got all its chunks up but never its MOVE.
    ASSERT_TRUE(Interrupted(*b, path, oldData, oldData.size() - 1).ok());
    auto newData = Pattern(c.newSize, c.newSeed);
    // Same first bytes as the old version: only later chunks differ.
    std::copy(oldData.begin(), oldData.begin() + kDavChunkBytes, newData.begin());
    Status st = Upload(*b, path, newData);
    ASSERT_TRUE(st.ok()) << st.message;
    EXPECT_EQ(ReadStream(*b, path), newData);
  }
}

TEST(FakeDavUpload, ChunkWithWrongLengthIsSentAgain) {
  FakeDavProcess fake;
  auto b = Connected(fake.filesUrl());
  const auto data = Pattern(15 * kMiB, 4);
  ASSERT_TRUE(Interrupted(*b, "/f.bin", data, 11 * kMiB).ok());
  auto puts = fake.requestsWith({"\"PUT\"", "/tarn-"});
  ASSERT_EQ(puts.size(), 1u);
  // Cut the chunk on the server short, as an interrupted PUT might leave it.
  size_t from = puts[0].find("/remote.php/dav/uploads/");
  std::string target = puts[0].substr(from, puts[0].find('"', from) - from);
  DavRequest cut;
  cut.verb = "PUT";
  cut.target = target;
  cut.body = "short";
  DavResponse resp;
  ASSERT_TRUE(b->send(cut, resp).ok());
  ASSERT_EQ(resp.status, 204u);

  fake.clearLog();
  ASSERT_TRUE(Upload(*b, "/f.bin", data).ok());
  EXPECT_EQ(Count(fake, {"\"PUT\"", target}), 1u);
  EXPECT_EQ(Count(fake, {"\"PUT\"", "/tarn-"}), 2u);
  EXPECT_EQ(ReadStream(*b, "/f.bin"), data);
}

TEST(FakeDavUpload, WaitsForBackgroundAssembly) {
  struct Case {
    std::vector<std::string> flags;
    bool existedBefore;
    std::string status;
  };
  const Case cases[] = {
      {{"--move-status", "504", "--assemble-delay-ms", "400"}, true, "ok"},
      {{"--move-status", "423", "--assemble-delay-ms", "100"}, false, "ok"},
      {{"--move-status", "504", "--assemble-drop"}, true, "protocol: the server dropped the assembled upload"},
      {{"--move-status", "502", "--assemble-drop"}, false, "protocol: the server dropped the assembled upload"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags[1] + (c.existedBefore ? " existing" : " new"));
    FakeDavProcess fake(c.flags);
    auto b = Connected(fake.filesUrl());
    b->setAssemblyTiming(DavAssemblyTiming{100, 60000});
    if (c.existedBefore) {
      ASSERT_TRUE(b->create("/t.bin").ok());
    }
    const auto data = Pattern(kDavChunkBytes + 5, 5);
    RemoteAttr out;
    Status st = Upload(*b, "/t.bin", data, &out);
    EXPECT_EQ(st.toString(), c.status);
    if (st.ok()) {
      EXPECT_EQ(out.size, data.size());
      EXPECT_EQ(ReadStream(*b, "/t.bin"), data);
      EXPECT_GE(Count(fake, {"\"PROPFIND\"", "/tarn-", "\"Depth\": \"0\""}), 1u);
    }
  }
}

TEST(FakeDavUpload, AssemblyWaitEndsWhenCancelled) {
  FakeDavProcess fake({"--move-status", "504", "--assemble-delay-ms", "600000"});
  auto b = Connected(fake.filesUrl());
  CancelToken token;
  b->setCancelToken(&token);
  const auto data = Pattern(kDavChunkBytes + 5, 6);
  std::unique_ptr<IWriteStream> w;
  ASSERT_TRUE(b->openWrite("/c.bin", 0, data.size(), w).ok());
  ASSERT_TRUE(w->write(data.data(), data.size()).ok());
  Status st;
  std::thread finisher([&] { st = w->finish(nullptr); });
  // The server has the assembling MOVE: the stream waits on it or polls.
  EXPECT_TRUE(fake.waitForRequest({"\"MOVE\"", "/.file"}));
  token.cancel();
  finisher.join();
  EXPECT_EQ(st.code, Status::kCanceled) << st.message;
}

TEST(FakeDavUpload, StreamedPutCarriesItsLengthAndNothingElse) {
  FakeDavProcess fake;
  auto b = Connected(fake.plainUrl());
  EXPECT_EQ(b->caps().server.rfind("webdav/FakeDav/1.0 ", 0), 0u) << b->caps().server;
  fake.clearLog();
  const auto data = Pattern(3 * kMiB + 3, 7);
  ASSERT_TRUE(Upload(*b, "/p.bin", data).ok());
  // To a hidden name beside it: a server the back-end does not know may
  // write a PUT into its target as it comes.
  auto puts = fake.requestsWith({"\"PUT\"", "/plain/.tarn-create-"});
  ASSERT_EQ(puts.size(), 1u);
  const std::string& put = puts[0];
  EXPECT_NE(put.find("\"Content-Length\": \"3145731\""), std::string::npos) << put;
  EXPECT_NE(put.find("\"User-Agent\": \"Tarn/0.1 (Windows)\""), std::string::npos) << put;
  // Plain http to a server that never asked: the password stays home.
  for (const char* absent : {"Expect", "Accept", "Transfer-Encoding", "Accept-Encoding", "Authorization"})
    EXPECT_EQ(put.find(std::string("\"") + absent + "\""), std::string::npos) << absent << " in " << put;
  // Requests without a body still announce a length of 0.
  ASSERT_TRUE(b->mkdir("/d").ok());
  auto mk = fake.requestsWith({"\"MKCOL\""});
  ASSERT_EQ(mk.size(), 1u);
  EXPECT_NE(mk[0].find("\"Content-Length\": \"0\""), std::string::npos) << mk[0];
  EXPECT_EQ(ReadStream(*b, "/p.bin"), data);
}

// Where the server does not COPY, a small file costs the requests of its
// create (an empty file under a hidden name, moved into place) and one PUT;
// the attributes finish hands back come from that PUT's reply, not from a
// look of its own. Where the server is not known to write a PUT aside
// itself, the PUT goes to a hidden name, and a look that no folder stands
// at the file and a MOVE put it in place.
TEST(FakeDavUpload, SmallFileTakesThreeRequestsFromCreateToUpload) {
  FakeDavProcess fake;
  for (const std::string& url : {fake.plainUrl(), fake.filesUrl()}) {
    SCOPED_TRACE(url);
    const bool aside = url == fake.plainUrl();
    auto b = Connected(url);
    const auto data = Pattern(4000, 9);
    // The first create learns that COPY is refused, and removes what it tried with.
    Status first = b->create("/first.txt");
    ASSERT_TRUE(first.ok()) << first.toString();
    std::vector<DirEntry> entries;
    ASSERT_TRUE(b->propfind("/", 1, entries, nullptr, nullptr).ok());
    for (const DirEntry& e : entries) EXPECT_FALSE(IsHiddenTempName(e.name)) << e.name;
    fake.clearLog();
    ASSERT_TRUE(b->create("/small.txt").ok());
    RemoteAttr out;
    ASSERT_TRUE(Upload(*b, "/small.txt", data, &out).ok());
    std::vector<std::string> verbs;
    for (const std::string& line : fake.requests()) verbs.push_back(line.substr(0, line.find(',')));
    std::vector<std::string> expected{"{\"method\": \"PUT\"", "{\"method\": \"MOVE\"", "{\"method\": \"PUT\""};
    if (aside) expected.insert(expected.end(), {"{\"method\": \"PROPFIND\"", "{\"method\": \"MOVE\""});
    EXPECT_EQ(verbs, expected);
    RemoteAttr attr;
    ASSERT_TRUE(b->stat("/small.txt", attr).ok());
    EXPECT_EQ(out.size, data.size());
    // The reply to a PUT aside names the hidden file's copy: none is told.
    EXPECT_EQ(out.etag, aside ? std::string() : attr.etag);
    EXPECT_EQ(ReadStream(*b, "/small.txt"), data);
  }
}

TEST(FakeDavUpload, UploadsOfFourGibibytesAndMore) {
  FakeDavProcess fake({"--discard-over", "1048576"});
  auto b = Connected(fake.plainUrl());
  const uint64_t size = (4ull << 30) + 3;
  std::unique_ptr<IWriteStream> w;
  ASSERT_TRUE(b->openWrite("/huge.bin", 0, size, w).ok());
  std::vector<uint8_t> piece(8 * kMiB, 0x5A);
  for (uint64_t sent = 0; sent < size;) {
    uint64_t n = std::min<uint64_t>(piece.size(), size - sent);
    ASSERT_TRUE(w->write(piece.data(), n).ok());
    sent += n;
  }
  RemoteAttr out;
  Status st = w->finish(&out);
  ASSERT_TRUE(st.ok()) << st.message;
  EXPECT_EQ(out.size, size);
  auto puts = fake.requestsWith({"\"PUT\""});
  ASSERT_EQ(puts.size(), 1u);
  EXPECT_NE(puts[0].find("\"Content-Length\": \"4294967299\""), std::string::npos) << puts[0];
}

TEST(FakeDavMetadata, SetsTimesOnlyWhenThePropstatSaysSo) {
  {
    FakeDavProcess fake;
    auto b = Connected(fake.filesUrl());
    ASSERT_TRUE(b->create("/m").ok());
    Status st = b->setTimes("/m", Timestamp{1234567890, 999}, Timestamp{});
    ASSERT_TRUE(st.ok()) << st.message;
    RemoteAttr attr;
    ASSERT_TRUE(b->stat("/m", attr).ok());
    EXPECT_EQ(attr.mtime.seconds, 1234567890);
    EXPECT_EQ(attr.ctime.seconds, 1234567890);  // no creationdate: ctime follows mtime
    auto pp = fake.requestsWith({"\"PROPPATCH\""});
    ASSERT_EQ(pp.size(), 1u);
  }
  {
    // The refusal's text holds "200" outside any status line.
    FakeDavProcess fake({"--proppatch-refuse"});
    auto b = Connected(fake.filesUrl());
    ASSERT_TRUE(b->create("/m").ok());
    EXPECT_EQ(b->setTimes("/m", Timestamp{1234567890, 0}, Timestamp{}).toString(), "unsupported: PROPPATCH refused");
    EXPECT_EQ(b->setTimes("/nothing", Timestamp{5, 0}, Timestamp{}).code, Status::kNotFound);
  }
}

// A look at a missing path is as common as any (every new file's name): its
// error page is read, and the next request goes over the same connection.
TEST(FakeDavMetadata, MissingPathsKeepTheConnection) {
  FakeDavProcess fake({"--error-body", "300"});
  auto b = Connected(fake.plainUrl());
  ASSERT_TRUE(b->create("/there.txt").ok());
  fake.clearLog();
  RemoteAttr attr;
  for (const char* path : {"/missing", "/there.txt", "/missing/deeper", "/there.txt"})
    (void)b->stat(path, attr);
  EXPECT_EQ(b->stat("/missing", attr).code, Status::kNotFound);
  std::set<std::string> clients;
  for (const std::string& line : fake.requests()) {
    const size_t at = line.find("\"client\": ");
    ASSERT_NE(at, std::string::npos) << line;
    clients.insert(line.substr(at, line.find(',', at) - at));
  }
  EXPECT_EQ(fake.requests().size(), 5u);
  EXPECT_EQ(clients.size(), 1u);
}

TEST(FakeDavMetadata, ReportsQuotaWhenTheServerHasOne) {
  struct Case {
    std::string quota;
    bool known;
    uint64_t total, free;
  };
  const Case cases[] = {{"1000,24", true, 1024, 1000}, {"-3,24", false, 0, 0}, {"", false, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.quota);
    std::vector<std::string> flags;
    if (!c.quota.empty()) flags = {"--quota=" + c.quota};
    FakeDavProcess fake(flags);
    auto b = Connected(fake.filesUrl());
    FsStats fs;
    fs.total = 5;
    ASSERT_TRUE(b->statfs(fs).ok());
    EXPECT_EQ(fs.known, c.known);
    EXPECT_EQ(fs.total, c.total);
    EXPECT_EQ(fs.free, c.free);
    EXPECT_EQ(fs.available, c.free);
    EXPECT_EQ(b->caps().freeSpace, c.known);
  }
}

TEST(FakeDavMetadata, RepliesAboutOtherPathsFindNothing) {
  FakeDavProcess fake({"--wrong-href", "/plain/d"});
  auto b = Connected(fake.plainUrl());
  ASSERT_TRUE(b->mkdir("/d").ok());
  RemoteAttr attr;
  EXPECT_EQ(b->stat("/d", attr).toString(), "not-found: /d");
  std::vector<DirEntry> entries;
  EXPECT_EQ(b->list("/d", entries).toString(), "not-directory: /d");
}

// A server that writes hrefs without escapes: names with "?" list, open,
// take their content and move under their own names.
TEST(FakeDavMetadata, NamesWithQuestionMarksFromRawHrefsStayWhole) {
  FakeDavProcess fake({"--raw-hrefs"});
  auto b = Connected(fake.plainUrl());
  ASSERT_TRUE(b->mkdir("/d ?#").ok());
  const std::vector<std::string> names = {"q?x.txt", "what?", "a b?c", "#?\xC3\xA9", "dl?id=3.txt"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string path = "/d ?#/" + name;
    ASSERT_TRUE(b->create(path).ok());
    RemoteAttr out;
    ASSERT_TRUE(Upload(*b, path, Pattern(7, 1), &out).ok());
    RemoteAttr attr;
    Status st = b->stat(path, attr);
    ASSERT_TRUE(st.ok()) << st.toString();
    EXPECT_EQ(attr.size, 7u);
  }
  std::vector<DirEntry> entries;
  ASSERT_TRUE(b->list("/d ?#", entries).ok());
  std::vector<std::string> listed;
  for (const DirEntry& e : entries) listed.push_back(e.name);
  std::sort(listed.begin(), listed.end());
  std::vector<std::string> sorted = names;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(listed, sorted);
  ASSERT_TRUE(b->rename("/d ?#/q?x.txt", "/d ?#/r?y.txt", false).ok());
  RemoteAttr attr;
  EXPECT_TRUE(b->stat("/d ?#/r?y.txt", attr).ok());
  EXPECT_EQ(b->stat("/d ?#/q?x.txt", attr).code, Status::kNotFound);
  // Every name removes by the name listed, as `rm -rf` empties a folder.
  entries.clear();
  ASSERT_TRUE(b->list("/d ?#", entries).ok());
  for (const DirEntry& e : entries) EXPECT_TRUE(b->remove("/d ?#/" + e.name, false).ok()) << e.name;
  entries.clear();
  ASSERT_TRUE(b->list("/d ?#", entries).ok());
  EXPECT_TRUE(entries.empty());
}

// The server answers folder URLs without a slash with 301 and file URLs with
// one with 400, as Apache with mod_dir does.
TEST(FakeDavNamespace, FolderUrlsCarryTheirSlashAndRedirectsToItAreFollowedOnce) {
  FakeDavProcess fake({"--dir-redirect"});
  auto b = Connected(fake.plainUrl());
  auto asked = [&](const std::string& verb, const std::string& url) {
    return fake.requestsWith({"\"" + verb + "\"", "\"path\": \"" + url + "\""}).size();
  };
  ASSERT_TRUE(b->mkdir("/d").ok());
  EXPECT_EQ(asked("MKCOL", "/plain/d/"), 1u);
  Status st = b->mkdir("/d");
  EXPECT_EQ(st.code, Status::kExists) << st.message;
  ASSERT_TRUE(b->create("/d/f").ok());

  fake.clearLog();
  std::vector<DirEntry> entries;
  ASSERT_TRUE(b->list("/d", entries).ok());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "f");
  EXPECT_EQ(fake.requests().size(), 1u) << "a listing knows it asks for a folder";
  st = b->list("/d/f", entries);
  EXPECT_EQ(st.code, Status::kNotDirectory) << st.message;
  EXPECT_EQ(asked("PROPFIND", "/plain/d/f"), 1u);

  fake.clearLog();
  RemoteAttr attr;
  ASSERT_TRUE(b->stat("/d", attr).ok());
  EXPECT_TRUE(attr.isDir());
  EXPECT_EQ(asked("PROPFIND", "/plain/d"), 1u);
  EXPECT_EQ(asked("PROPFIND", "/plain/d/"), 1u);
  ASSERT_TRUE(b->rename("/d", "/e", false).ok());
  EXPECT_EQ(asked("MOVE", "/plain/d/"), 1u);
  ASSERT_TRUE(b->stat("/e/f", attr).ok());
  ASSERT_TRUE(b->remove("/e/f", false).ok());
  fake.clearLog();
  ASSERT_TRUE(b->remove("/e", true).ok());
  // The look that finds it empty, then the DELETE.
  EXPECT_EQ(fake.requests().size(), 2u);
  EXPECT_EQ(asked("PROPFIND", "/plain/e/"), 1u);
  EXPECT_EQ(asked("DELETE", "/plain/e/"), 1u);
  EXPECT_EQ(b->stat("/e", attr).code, Status::kNotFound);
}

// A refused MOVE is looked into: what stands at both ends names the reason
// where the answer does not.
TEST(FakeDavNamespace, RefusedMovesReportWhatStandsInTheWay) {
  struct Case {
    int status;
    const char* to;
    bool overwrite;
    const char* result;
  } cases[] = {
      {403, "/new", false, "access-denied: MOVE /f -> HTTP 403"},
      {409, "/other", false, "exists: MOVE /f -> HTTP 409 (target exists)"},
      {409, "/new", false, "not-found: MOVE /f -> HTTP 409 (parent missing)"},
      {500, "/nowhere/new", false, "not-found: MOVE /f -> HTTP 500 (parent missing)"},
      // A folder in the way of a replacing move is found before the MOVE.
      {500, "/d", true, "is-directory: MOVE /f: a folder stands at /d"},
      {500, "/other", true, "protocol: MOVE /f -> HTTP 500"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    FakeDavProcess fake({"--refuse-move", std::to_string(c.status)});
    auto b = Connected(fake.plainUrl());
    ASSERT_TRUE(b->create("/f").ok());
    ASSERT_TRUE(b->create("/other").ok());
    ASSERT_TRUE(b->mkdir("/d").ok());
    EXPECT_EQ(b->rename("/f", c.to, c.overwrite).toString(), c.result);
  }
}

// A server whose COPY fails onto some names (here: outside ASCII) while its
// PUT takes them: such a file is made by a look and a PUT, whatever the
// COPY answered and whether a COPY made a file before, and the creates
// after it still COPY.
TEST(FakeDavNamespace, ACreateWhoseCopyFailsForItsNameIsMadeByPut) {
  struct Case {
    int status;
    bool copiedBefore;
  } cases[] = {{502, false}, {502, true}, {503, true}, {500, true}, {400, true}};
  const std::string name = "/\xD0\xA4\xD0\xB0\xD0\xB9\xD0\xBB \xE2\x80\x94 \xE3\x83\x86.txt";
  // The hidden source of creates, written again as a new second begins, is
  // no cost of a file.
  auto verbs = [](const FakeDavProcess& fake) {
    std::vector<std::string> out;
    for (const std::string& line : fake.requests()) {
      const size_t at = line.find("\"method\": \"") + 11;
      const std::string verb = line.substr(at, line.find('"', at) - at);
      if (verb != "PUT" || line.find(".tarn-create-") == std::string::npos) out.push_back(verb);
    }
    return out;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.status) + (c.copiedBefore ? " after a COPY" : ""));
    FakeDavProcess fake({"--copy-fails-non-ascii", std::to_string(c.status)});
    auto b = Connected(fake.plainUrl());
    if (c.copiedBefore) {
      ASSERT_TRUE(b->create("/latin.txt").ok());
    }
    fake.clearLog();
    Status st = b->create(name);
    ASSERT_TRUE(st.ok()) << st.toString();
    const std::vector<std::string> made = verbs(fake);
    ASSERT_FALSE(made.empty());
    EXPECT_EQ(made.back(), "PUT");
    EXPECT_EQ(std::count(made.begin(), made.end(), "MOVE"), 0);
    RemoteAttr attr;
    ASSERT_TRUE(b->stat(name, attr).ok());
    EXPECT_EQ(attr.size, 0u);
    EXPECT_EQ(b->create(name).code, Status::kExists);
    fake.clearLog();
    ASSERT_TRUE(b->create("/next.txt").ok());
    EXPECT_EQ(verbs(fake), std::vector<std::string>{"COPY"});
  }
}

TEST(FakeDavMetadata, LongRepliesAreStreamedOrCut) {
  // Both far larger than any body the back-end keeps whole.
  const size_t kLong = 64 * kDavMaxBodyBytes;
  FakeDavProcess fake({"--propfind-padding", std::to_string(kLong), "--error-body", std::to_string(kLong)});
  auto b = Connected(fake.plainUrl());
  ASSERT_TRUE(b->create("/x").ok());
  std::vector<DirEntry> entries;
  ASSERT_TRUE(b->list("/", entries).ok());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "x");
  DavRequest del;
  del.verb = "DELETE";
  del.path = "/missing";
  DavResponse resp;
  ASSERT_TRUE(b->send(del, resp).ok());
  EXPECT_EQ(resp.status, 404u);
  EXPECT_EQ(resp.body.size(), kDavMaxBodyBytes);
  RemoteAttr attr;
  EXPECT_TRUE(b->stat("/x", attr).ok());  // the cut reply's connection was dropped, a new one serves
}

// A listing that never ends is cut off by its entries, its bytes or its
// time, which grows with the bytes received; connect's look at the root
// is bounded the same way.
TEST(FakeDavMetadata, EndlessListingsAreCutOff) {
  uint64_t clock = 0;
  struct Case {
    DavReplyLimits limits;
    std::string result;
  } cases[] = {
      {{.maxEntries = 1000}, "protocol: PROPFIND: the reply lists more than 1000 entries"},
      {{.maxBytes = 300000}, "protocol: PROPFIND: the reply is longer than 300000 bytes"},
      // Ten seconds pass at every look at the clock.
      {{.slowTimeMs = 5000, .nowMs = [&clock] { return clock += 10000; }},
       "timeout: PROPFIND: the reply arrives slower than 65536 bytes per second ("},
  };
  FakeDavProcess fake({"--endless-propfind", "/plain/big"});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.result);
    auto b = Connected(fake.plainUrl());
    b->setReplyLimits(c.limits);
    std::vector<DirEntry> entries;
    const std::string got = b->list("/big", entries).toString();
    EXPECT_EQ(got.substr(0, c.result.size()), c.result);
  }
  FakeDavProcess rootless({"--endless-propfind", "/plain"});
  WebDavBackend b(FakeEndpoint(rootless.plainUrl()));
  b.setReplyLimits({.maxEntries = 1000});
  EXPECT_EQ(b.connect().toString(), "protocol: PROPFIND: the reply lists more than 1000 entries");
  EXPECT_FALSE(b.isConnected());
}

// Whatever a listing sends, it holds no more than its bound in memory: the
// entries are packed as they arrive, and the listing fails past the bound.
TEST(FakeDavMetadata, AListingHoldsNoMoreThanItsBound) {
  constexpr uint64_t kBound = 4 << 20;
  FakeDavProcess fake({"--endless-propfind", "/plain/big"});
  auto b = Connected(fake.plainUrl());
  b->setReplyLimits({.maxListingBytes = kBound});
  test::HeapPeak heap;
  DirListing listing;
  EXPECT_EQ(b->listPacked("/big", listing).toString(),
            "protocol: PROPFIND: the listing takes more than 4194304 bytes of memory");
  // The packed entries, with the old and new arrays side by side while
  // they grow past the bound.
  EXPECT_LT(heap.peak(), 3 * kBound);
}

TEST(FakeDavRead, ServerThatIgnoresRange) {
  FakeDavProcess fake({"--ignore-range"});
  auto b = Connected(fake.filesUrl());
  const auto data = Pattern(9 * kMiB, 8);
  ASSERT_TRUE(Upload(*b, "/r.bin", data).ok());
  std::vector<uint8_t> buf(1000);
  uint64_t got = 0;
  ASSERT_TRUE(b->readRange("/r.bin", 0, buf.data(), buf.size(), got).ok());
  EXPECT_EQ(got, buf.size());
  EXPECT_TRUE(std::equal(buf.begin(), buf.end(), data.begin()));
  EXPECT_TRUE(b->caps().rangeRead);

  ASSERT_TRUE(b->readRange("/r.bin", 4 * kMiB, buf.data(), buf.size(), got).ok());
  EXPECT_EQ(got, buf.size());
  EXPECT_TRUE(std::equal(buf.begin(), buf.end(), data.begin() + 4 * kMiB));
  EXPECT_FALSE(b->caps().rangeRead);

  EXPECT_EQ(b->readRange("/r.bin", kDavMaxIgnoredRangeSkip + 1, buf.data(), buf.size(), got).toString(),
            "unsupported: the server ignores Range");
  const auto tail = data.begin() + 8 * kMiB + 7;
  EXPECT_EQ(ReadStream(*b, "/r.bin", 8 * kMiB + 7, 1000), std::vector<uint8_t>(tail, data.end()));
}

TEST(FakeDavRead, StreamResumesAfterADroppedConnection) {
  FakeDavProcess fake({"--drop-get-after", "100000"});
  auto b = Connected(fake.filesUrl());
  const auto data = Pattern(kMiB, 9);
  ASSERT_TRUE(Upload(*b, "/s.bin", data).ok());
  std::unique_ptr<IReadStream> r;
  ASSERT_TRUE(b->openRead("/s.bin", 0, r).ok());
  std::vector<uint8_t> out, buf(65536);
  int failures = 0;
  for (int i = 0; i < 1000; ++i) {
    uint64_t got = 0;
    Status st = r->read(buf.data(), buf.size(), got);
    if (!st.ok()) {
      ++failures;
      EXPECT_EQ(st.code, Status::kNetwork);
      EXPECT_EQ(st.message.rfind("GET read: ", 0), 0u) << st.message;
      continue;
    }
    if (got == 0) break;
    out.insert(out.end(), buf.begin(), buf.begin() + static_cast<long>(got));
  }
  EXPECT_EQ(failures, 1);
  EXPECT_EQ(out, data);
  auto gets = fake.requestsWith({"\"GET\"", "/s.bin"});
  ASSERT_EQ(gets.size(), 2u);
  EXPECT_EQ(gets[0].find("Range"), std::string::npos);
  EXPECT_NE(gets[1].find("\"Range\": \"bytes=100000-\""), std::string::npos) << gets[1];
}

// Reads one whole file through a stream or ranged reads; the first failure ends it.
Status ReadThrough(WebDavBackend& b, const std::string& path, bool stream, uint64_t size) {
  std::vector<uint8_t> buf(size + 1);
  uint64_t got = 0;
  if (!stream) return b.readRange(path, 0, buf.data(), size, got);
  std::unique_ptr<IReadStream> r;
  Status st = b.openRead(path, 0, r);
  for (uint64_t total = 0; st.ok() && total < size; total += got) {
    st = r->read(buf.data(), buf.size(), got);
    if (st.ok() && got == 0) break;
  }
  return st;
}

TEST(FakeDavRead, RepliesWithoutTheAskedBytesAreProtocolFailures) {
  struct Case {
    std::vector<std::string> flags;
    uint64_t offset;
    std::string status;
  };
  const Case cases[] = {
      {{"--get-status", "204"}, 0, "protocol: GET /g.bin -> HTTP 204 (no file data)"},
      {{"--get-status", "202"}, 10, "protocol: GET /g.bin -> HTTP 202 (no file data)"},
      {{"--wrong-range"}, 10, "protocol: GET /g.bin -> HTTP 206 for another range (bytes 11-20/100)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags[0]);
    FakeDavProcess fake(c.flags);
    auto b = Connected(fake.filesUrl());
    ASSERT_TRUE(Upload(*b, "/g.bin", Pattern(100, 1)).ok());
    std::vector<uint8_t> buf(10);
    uint64_t got = 99;
    Status st = b->readRange("/g.bin", c.offset, buf.data(), buf.size(), got);
    EXPECT_EQ(st.toString(), c.status);
    EXPECT_EQ(got, 0u);
    std::unique_ptr<IReadStream> r;
    ASSERT_TRUE(b->openRead("/g.bin", c.offset, r).ok());
    for (int i = 0; i < 2; ++i) {  // a failed open leaves nothing half-made
      st = r->read(buf.data(), buf.size(), got);
      EXPECT_EQ(st.code, Status::kProtocol);
      EXPECT_EQ(got, 0u);
    }
  }
}

TEST(FakeDavRead, TricklingServerFailsTheLowSpeedLimit) {
  FakeDavProcess fake({"--trickle-ms", "20"});
  EndpointConfig ep = FakeEndpoint(fake.filesUrl());
  ep.ioTimeoutMs = 1000;
  WebDavBackend b(ep);
  ASSERT_TRUE(b.connect().ok());
  const uint64_t size = 2 * kDavLowSpeedBytes;  // 40 s at one byte each 20 ms, never silent
  ASSERT_TRUE(Upload(b, "/t.bin", Pattern(size, 2)).ok());
  for (bool stream : {false, true}) {
    SCOPED_TRACE(stream ? "stream" : "readRange");
    Status st = ReadThrough(b, "/t.bin", stream, size);
    EXPECT_EQ(st.code, Status::kTimeout) << st.message;
    EXPECT_EQ(st.native, static_cast<int32_t>(http::kErrTimeout));
  }
}

TEST(FakeDavTransport, PoolHandsTheCallersTokenToARunningCall) {
  FakeDavProcess fake({"--trickle-ms", "100"});
  const EndpointConfig ep = FakeEndpoint(fake.filesUrl());
  {
    auto b = Connected(fake.filesUrl());
    ASSERT_TRUE(Upload(*b, "/t.bin", Pattern(100, 3)).ok());
  }
  ConnectionPool pool([ep] { return MakeWebDavBackend(ep); }, 1);
  CancelToken token;
  test::Gate gate;
  Status st;
  std::thread caller([&] {
    st = pool.run(RetryPolicy{}, &token, "read", [&](IBackend& b) {
      gate.arriveAndWait();
      std::vector<uint8_t> buf(100);
      uint64_t got = 0;
      // Ten seconds of trickle unless the call sees the token.
      return b.readRange("/t.bin", 0, buf.data(), buf.size(), got);
    });
  });
  ASSERT_TRUE(gate.waitArrived());
  token.cancel();
  gate.release();
  caller.join();
  EXPECT_EQ(st.code, Status::kCanceled) << st.message;
  ConnectionPool::Lease lease;
  ASSERT_TRUE(pool.acquire(lease, nullptr, 1000).ok());
  // After the call the back-end holds no token of a caller that may be gone.
  RemoteAttr attr;
  EXPECT_TRUE(lease->stat("/t.bin", attr).ok());
}

// A clock the test moves by hand, for tokens with a deadline.
std::atomic<uint64_t> gNowMs{0};
uint64_t NowMs() { return gNowMs.load(); }

// A body that trickles in never looks silent and, with a long I/O time-out,
// never trips the low-speed limit either: the caller's deadline ends the
// read, as a time-out, and no second GET starts with time the caller no
// longer has.
TEST(FakeDavTransport, ATricklingReadEndsWithItsCallersDeadline) {
  FakeDavProcess fake({"--trickle-ms", "100"});
  EndpointConfig ep = FakeEndpoint(fake.filesUrl());
  ep.ioTimeoutMs = 3600000;
  {
    auto b = Connected(fake.filesUrl());
    ASSERT_TRUE(Upload(*b, "/t.bin", Pattern(4096, 5)).ok());
  }
  ConnectionPool pool([ep] { return MakeWebDavBackend(ep); }, 1);
  gNowMs = 1000;
  const auto token = std::make_shared<CancelToken>(nullptr, gNowMs + 45000, &NowMs);
  fake.clearLog();
  Status st;
  std::thread caller([&] {
    st = pool.run(RetryPolicy{}, token.get(), "read", [&](IBackend& b) {
      std::vector<uint8_t> buf(4096);
      uint64_t got = 0;
      return b.readRange("/t.bin", 0, buf.data(), buf.size(), got);
    });
  });
  const bool asked = fake.waitForRequest({"\"GET\"", "/t.bin"});
  gNowMs += 45000;
  caller.join();
  ASSERT_TRUE(asked);
  EXPECT_EQ(st.toString(), std::string("timeout: ") + kNoAnswerInTime);
  EXPECT_EQ(Count(fake, {"\"GET\""}), 1u);
}

// Where the server refuses MOVE without overwrite, create looks before it
// PUTs; the look misses a file that appears after it (a lagging index
// here), and a server that ignores If-None-Match then replaces it: the
// caller hears of it. A new file is made whatever 2xx the MOVE gets.
TEST(FakeDavUpload, CreateNeverEmptiesAnExistingFile) {
  struct Case {
    std::vector<std::string> flags;
    uint64_t sizeAfter;
    std::string status;
  };
  const Case cases[] = {
      {{"--ignore-if-none-match", "--stale-propfind"}, 7, "exists: MOVE /e -> HTTP 412 (precondition failed)"},
      {{"--refuse-move", "405", "--ignore-if-none-match"}, 7, "exists: PUT /e: already exists"},
      {{"--refuse-move", "405", "--ignore-if-none-match", "--stale-propfind"}, 0,
       "exists: PUT /e -> HTTP 204 (an existing file was replaced)"},
      {{"--refuse-move", "405", "--stale-propfind"}, 7, "exists: PUT /e -> HTTP 412 (precondition failed)"},
      // nginx answers 204 for a name it made: without overwrite that is no
      // replacement.
      {{"--new-name-status", "204"}, 7, "exists: MOVE /e -> HTTP 412 (precondition failed)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    FakeDavProcess fake(c.flags);
    auto b = Connected(fake.filesUrl());
    ASSERT_TRUE(Upload(*b, "/e", Pattern(7, 4)).ok());
    EXPECT_TRUE(b->create("/new").ok());
    EXPECT_EQ(b->create("/e").toString(), c.status);
    EXPECT_EQ(ReadStream(*b, "/e").size(), c.sizeAfter);
    std::vector<DirEntry> entries;
    ASSERT_TRUE(b->propfind("/", 1, entries, nullptr, nullptr).ok());
    EXPECT_EQ(entries.size(), 2u) << "no hidden file stays";
  }
}

TEST(FakeDavTransport, RedirectElsewhereIsNotFollowed) {
  FakeDavProcess fake;
  auto b = Connected("http://127.0.0.1:" + std::to_string(fake.port()));
  fake.clearLog();
  std::vector<uint8_t> buf(10);
  uint64_t got = 0;
  EXPECT_EQ(b->readRange("/moved", 0, buf.data(), buf.size(), got).toString(), "io: GET /moved -> HTTP 301");
  EXPECT_EQ(fake.requests().size(), 1u);
}

TEST(FakeDavTransport, ReachesAnIpv6LiteralWithoutBrackets) {
  FakeDavProcess fake({}, "::1");
  EndpointConfig ep = FakeEndpoint("::1");
  ep.port = fake.port();
  ep.root = "/remote.php/dav/files/alice";
  ep.tls = false;
  WebDavBackend b(ep);
  EXPECT_EQ(b.host(), "::1");
  Status st = b.connect();
  ASSERT_TRUE(st.ok()) << st.message;
  ASSERT_TRUE(b.create("/six").ok());
  RemoteAttr attr;
  EXPECT_TRUE(b.stat("/six", attr).ok());
  ASSERT_TRUE(b.rename("/six", "/seven", false).ok());  // the Destination carries the brackets
  EXPECT_TRUE(b.stat("/seven", attr).ok());
}

TEST(FakeDavTransport, ChallengeChoosesNegotiateOnceAndKeepsIt) {
  FakeDavProcess fake({"--offer-schemes", "NTLM,Negotiate"});
  WebDavBackend b(FakeEndpoint(fake.filesUrl()));
  Status st = b.connect();
  EXPECT_EQ(st.code, Status::kAuthFailed);
  EXPECT_EQ(b.authScheme(), http::kAuthNegotiate);
  auto first = fake.requests();
  ASSERT_GE(first.size(), 2u);
  EXPECT_EQ(first[0].find("\"Authorization\""), std::string::npos) << first[0];
  fake.clearLog();
  (void)b.connect();
  auto later = fake.requests();
  ASSERT_FALSE(later.empty());
  for (const auto& line : later) EXPECT_EQ(line.find("Basic "), std::string::npos) << line;
}

// Over plain http the password goes in clear only to a server that asked
// for Basic, and never once a server asked for another scheme; a new
// back-end of the same location sends what was asked for at once.
TEST(FakeDavTransport, PasswordGoesInClearOnlyWhereBasicWasAskedFor) {
  struct Case {
    const char* what;
    std::vector<std::string> flags;
    uint32_t scheme;      // what the challenge leaves chosen
    size_t basicHeaders;  // requests of the first back-end that carried Basic
    bool connects;
  };
  const Case cases[] = {
      {"Digest only", {"--offer-schemes", "Digest"}, http::kAuthDigest, 0, false},
      {"Digest and Basic", {"--offer-schemes", "Basic,Digest"}, http::kAuthDigest, 0, false},
      {"NTLM only", {"--offer-schemes", "NTLM"}, http::kAuthNtlm, 0, false},
      {"Basic", {"--basic", "alice:pw"}, http::kAuthBasic, 1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeDavProcess fake(c.flags);
    WebDavBackend first(FakeEndpoint(fake.filesUrl()));
    EXPECT_EQ(first.connect().ok(), c.connects);
    EXPECT_EQ(first.authScheme(), c.scheme);
    auto requests = fake.requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[0].find("\"Authorization\""), std::string::npos) << requests[0];
    EXPECT_EQ(fake.requestsWith({"\"Authorization\": \"Basic "}).size(), c.basicHeaders);

    fake.clearLog();
    WebDavBackend second(FakeEndpoint(fake.filesUrl()));
    EXPECT_EQ(second.authScheme(), c.scheme);
    EXPECT_EQ(second.connect().ok(), c.connects);
    if (c.scheme == http::kAuthBasic) {
      EXPECT_EQ(fake.requestsWith({"\"Authorization\": \"Basic YWxpY2U6cHc=\""}).size(), 1u);
      EXPECT_EQ(fake.requests().size(), 1u);
    } else {
      EXPECT_TRUE(fake.requestsWith({"\"Authorization\": \"Basic "}).empty());
    }
  }
}

TEST(FakeDavTransport, ConnectFailuresCarryTheirCodes) {
  using Change = std::function<void(EndpointConfig&, const FakeDavProcess&)>;
  const Change files = [](EndpointConfig& ep, const FakeDavProcess& fake) { ep.host = fake.filesUrl(); };
  struct Case {
    const char* what;
    std::vector<std::string> flags;
    Change change;
    int32_t code;
    int32_t native;
    size_t requests;  // how many reached the server; 0: not counted
  };
  const Case cases[] = {
      {"a PROPFIND answered without multistatus", {"--propfind-status", "200"}, files, Status::kProtocol, 200, 0},
      {"slow replies", {"--slow-ms", "3000"},
       [](EndpointConfig& ep, const FakeDavProcess& fake) {
         ep.host = fake.filesUrl();
         ep.ioTimeoutMs = 300;
       },
       Status::kTimeout, 12002, 0},
      // A server that offers Basic only hears the password once, after it asked.
      {"wrong Basic password", {"--basic", "alice:right"}, files, Status::kAuthFailed, 401, 2},
      {"right Basic password", {"--basic", "alice:right"},
       [](EndpointConfig& ep, const FakeDavProcess& fake) {
         ep.host = fake.filesUrl();
         ep.password = "right";
       },
       Status::kOk, 0, 0},
      {"closed port", {}, [](EndpointConfig& ep, const FakeDavProcess&) { ep.host = "http://127.0.0.1:1/dav"; },
       Status::kNetwork, 12029, 0},
      {"unknown name", {},
       [](EndpointConfig& ep, const FakeDavProcess&) { ep.host = "http://name.that.does.not.exist.invalid/dav"; },
       Status::kNetwork, 12007, 0},
      {"TLS to a plain server", {},
       [](EndpointConfig& ep, const FakeDavProcess& fake) {
         ep.host = "https://127.0.0.1:" + std::to_string(fake.port()) + "/plain";
       },
       Status::kAuthFailed, 12175, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeDavProcess fake(c.flags);
    EndpointConfig ep = FakeEndpoint("");
    c.change(ep, fake);
    WebDavBackend b(ep);
    Status st = b.connect();
    EXPECT_EQ(st.code, c.code) << st.message;
    EXPECT_EQ(st.native, c.native) << st.message;
    EXPECT_EQ(b.isConnected(), st.ok());
    if (c.requests > 0) {
      EXPECT_EQ(fake.requests().size(), c.requests);
    }
  }
}

}  // namespace
}  // namespace tarn
