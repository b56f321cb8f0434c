// Answers of WebDAV servers that the suite's real servers never give, from
// our fake server: 207 answers to COPY, MOVE and DELETE, locked members,
// COPY and MOVE that ignore "Overwrite: F", a PUT written into its target
// as the body comes, hrefs with a "%" not escaped, a wrong size, 206
// answers without their bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "backends/web/webdav_backend.h"
#include "engine/probe.h"
#include "foundation/remote_path.h"
#include "testing/backend_transfer.h"
#include "testing/eventually.h"
#include "testing/fake_dav/fake_dav_process.h"
#include "testing/log_capture.h"

namespace tarn {
namespace {

using tarn::testing::FakeDavProcess;
using test::Pattern;
using test::ReadStream;
using test::Upload;

std::unique_ptr<WebDavBackend> Connected(const FakeDavProcess& fake) {
  auto b = std::make_unique<WebDavBackend>(test::TestEndpoint("webdav", fake.plainUrl(), "alice", "pw"));
  Status st = b->connect();
  EXPECT_TRUE(st.ok()) << st.toString();
  return b;
}

// A 207 stands for the statuses it holds: a refusal inside fails the call
// with that refusal's meaning, and all successes are a success, whatever
// the call.
TEST(FakeDavQuirks, MultistatusAnswersStandForTheStatusesInside) {
  FakeDavProcess fake({"--multistatus", "--copy", "--locked", "/plain/d/locked"});
  auto b = Connected(fake);
  ASSERT_TRUE(b->mkdir("/d").ok());
  ASSERT_TRUE(b->mkdir("/d/e").ok());
  ASSERT_TRUE(Upload(*b, "/d/locked", Pattern(5, 1)).ok());
  const auto theirs = Pattern(7, 2);
  ASSERT_TRUE(Upload(*b, "/theirs", theirs).ok());
  ASSERT_TRUE(Upload(*b, "/a", Pattern(3, 3)).ok());
  struct Case {
    const char* what;
    std::function<Status()> call;
    int32_t code;
  } cases[] = {
      {"create over another client's file", [&] { return b->create("/theirs"); }, Status::kExists},
      {"create of a new name", [&] { return b->create("/new"); }, Status::kOk},
      {"move onto a file without overwrite", [&] { return b->rename("/a", "/theirs", false); }, Status::kExists},
      {"move onto a new name", [&] { return b->rename("/a", "/b", false); }, Status::kOk},
      {"delete of a locked file", [&] { return b->remove("/d/locked", false); }, Status::kBusy},
      {"delete of a file", [&] { return b->remove("/b", false); }, Status::kOk},
      {"move of a folder holding a locked file", [&] { return b->rename("/d", "/moved", false); }, Status::kBusy},
  };
  for (const Case& c : cases) {
    Status st = c.call();
    EXPECT_EQ(st.code, c.code) << c.what << ": " << st.toString();
  }
  EXPECT_EQ(ReadStream(*b, "/theirs"), theirs);
  RemoteAttr attr;
  EXPECT_TRUE(b->stat("/d/locked", attr).ok());
  EXPECT_TRUE(b->stat("/new", attr).ok());
  EXPECT_EQ(b->stat("/b", attr).code, Status::kNotFound);
}

std::vector<std::string> Names(WebDavBackend& b, const std::string& folder) {
  std::vector<DirEntry> entries;
  EXPECT_TRUE(b.propfind(folder, 1, entries, nullptr, nullptr).ok());
  std::vector<std::string> names;
  for (const DirEntry& e : entries) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  return names;
}

// A server that replaces what stands at the target of a COPY or MOVE
// whatever "Overwrite: F" says is found out before the first create, on a
// file of the back-end's own: creates then look first and never empty a
// file that stands there, and nothing of the check stays. A server that
// keeps the target costs the check once.
TEST(FakeDavQuirks, CreatesOnAServerThatIgnoresOverwriteLookFirst) {
  for (bool copy : {false, true}) {
    SCOPED_TRACE(copy ? "by COPY" : "by MOVE");
    std::vector<std::string> args{"--ignore-overwrite"};
    if (copy) args.push_back("--copy");
    FakeDavProcess fake(args);
    auto b = Connected(fake);
    const auto theirs = Pattern(9, 4);
    ASSERT_TRUE(Upload(*b, "/theirs", theirs).ok());
    EXPECT_TRUE(b->caps().exclusiveCreate);
    Status st = b->create("/theirs");
    EXPECT_EQ(st.code, Status::kExists) << st.toString();
    EXPECT_EQ(ReadStream(*b, "/theirs"), theirs);
    ASSERT_TRUE(b->create("/new").ok());
    EXPECT_EQ(b->create("/new").code, Status::kExists);
    EXPECT_FALSE(b->caps().exclusiveCreate);
    EXPECT_EQ(Names(*b, "/"), (std::vector<std::string>{"new", "theirs"}));
  }
  FakeDavProcess fake({"--copy"});
  auto b = Connected(fake);
  const auto theirs = Pattern(9, 5);
  ASSERT_TRUE(Upload(*b, "/theirs", theirs).ok());
  EXPECT_EQ(b->create("/theirs").code, Status::kExists);
  ASSERT_TRUE(b->create("/new").ok());
  EXPECT_TRUE(b->caps().exclusiveCreate);
  EXPECT_EQ(ReadStream(*b, "/theirs"), theirs);
  EXPECT_EQ(fake.requestsWith({"\"COPY\""}).size(), 3u);
  EXPECT_EQ(fake.requestsWith({"\"DELETE\""}).size(), 1u);
}

// The server check finds it out on files of its own and says so.
TEST(FakeDavQuirks, TheServerCheckSaysWhenCreatesMustLookFirst) {
  for (bool ignores : {false, true}) {
    SCOPED_TRACE(ignores ? "ignores Overwrite: F" : "keeps targets");
    FakeDavProcess fake(ignores ? std::vector<std::string>{"--ignore-overwrite"} : std::vector<std::string>{});
    auto b = Connected(fake);
    ProbeReport report;
    ProbeServer(report, *b, CompatOptions(), nullptr);
    ASSERT_TRUE(report.ok) << report.toText();
    const ProbeItem* create = nullptr;
    for (const ProbeItem& item : report.items)
      if (item.check == "create") create = &item;
    ASSERT_NE(create, nullptr) << report.toText();
    EXPECT_EQ(create->level, ignores ? ProbeItem::kWarning : ProbeItem::kOk) << create->message;
    EXPECT_EQ(report.caps.exclusiveCreate, !ignores);
    EXPECT_EQ(report.items.back().message, "scratch directory removed");
    EXPECT_TRUE(Names(*b, "/").empty());
  }
}

// A server that writes a PUT into its target as the body comes: while an
// upload is on its way, and after one cut short (a drive killed), readers
// find the old file whole; the new one takes its place once it is whole.
TEST(FakeDavQuirks, AnUploadNeverShowsAPartWhereTheServerWritesItInPlace) {
  FakeDavProcess fake({"--put-in-place"});
  auto b = Connected(fake);
  auto reader = Connected(fake);
  const auto v1 = Pattern(100000, 1), v2 = Pattern(120000, 2);
  ASSERT_TRUE(Upload(*b, "/doc", v1).ok());
  for (bool cut : {true, false}) {
    SCOPED_TRACE(cut ? "cut short" : "whole");
    const size_t sent = cut ? 60000 : 70000;
    std::unique_ptr<IWriteStream> w;
    ASSERT_TRUE(b->openWrite("/doc", 0, v2.size(), w).ok());
    ASSERT_TRUE(w->write(v2.data(), sent).ok());
    // Once the server has written what came, wherever it went.
    ASSERT_TRUE(test::Eventually([&] {
      std::vector<DirEntry> entries;
      if (!reader->propfind("/", 1, entries, nullptr, nullptr).ok()) return false;
      return std::any_of(entries.begin(), entries.end(), [&](const DirEntry& e) { return e.attr.size == sent; });
    }));
    std::vector<uint8_t> seen = ReadStream(*reader, "/doc");
    EXPECT_TRUE(seen == v1) << "a reader got " << seen.size() << " bytes of no version";
    if (cut) {
      w->abort();
    } else {
      ASSERT_TRUE(w->write(v2.data() + sent, v2.size() - sent).ok());
      ASSERT_TRUE(w->finish(nullptr).ok());
    }
    w.reset();
    seen = ReadStream(*reader, "/doc");
    EXPECT_TRUE(seen == (cut ? v1 : v2)) << "a reader got " << seen.size() << " bytes";
  }
  // What the cut upload left is hidden, until a listing an hour later
  // removes it.
  std::vector<DirEntry> listed;
  ASSERT_TRUE(b->list("/", listed).ok());
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].name, "doc");
}

// A server that writes hrefs without escapes, "%" included: names holding
// "%" list as they are, at the root too, and open by the name listed. One
// entry whose size is no size is left out of its listing, with one line
// in the log, and takes no other with it.
TEST(FakeDavQuirks, ListingsKeepNamesWithPercentAndLoseOnlyABadEntry) {
  FakeDavProcess fake({"--raw-hrefs", "--bad-size", "/plain/d/bad.txt"});
  auto b = Connected(fake);
  const std::vector<std::string> atRoot = {"%2e", "50%.txt", "x%41y.txt"};
  const std::vector<std::string> inFolder = {"%", "%%", "%2E%2E", "%zz", "100%", "a%2Fb", "plain.txt", "x%41y.txt"};
  ASSERT_TRUE(b->mkdir("/d").ok());
  for (const std::string& name : atRoot) ASSERT_TRUE(Upload(*b, "/" + name, Pattern(7, 1)).ok()) << name;
  for (const std::string& name : inFolder) ASSERT_TRUE(Upload(*b, "/d/" + name, Pattern(7, 2)).ok()) << name;
  ASSERT_TRUE(Upload(*b, "/d/bad.txt", Pattern(7, 3)).ok());
  test::LogCapture log;
  struct Case {
    std::string folder;
    std::vector<std::string> names;
  } cases[] = {{"/", atRoot}, {"/d", inFolder}};
  for (Case& c : cases) {
    SCOPED_TRACE(c.folder);
    std::vector<DirEntry> entries;
    Status st = b->list(c.folder, entries);
    ASSERT_TRUE(st.ok()) << st.toString();
    std::vector<std::string> listed;
    for (const DirEntry& e : entries)
      if (!e.attr.isDir()) listed.push_back(e.name);
    std::sort(listed.begin(), listed.end());
    std::sort(c.names.begin(), c.names.end());
    EXPECT_EQ(listed, c.names);
    for (const DirEntry& e : entries) {
      RemoteAttr attr;
      st = b->stat(JoinRemotePath(c.folder, e.name), attr);
      EXPECT_TRUE(st.ok()) << e.name << ": " << st.toString();
      EXPECT_EQ(attr.size, e.attr.size) << e.name;
    }
  }
  EXPECT_EQ(log.countLines("PROPFIND /d: 1 entry left out, the server describes it wrongly (bad.txt: "), 1)
      << log.text();
}

// A server that answers a range running past the end of a file (a drive's
// read of a small file) with a 206 that carries no bytes: the back-end
// notices at the first such answer, says so once, reads whole files from
// then on and delivers every byte asked for; streams from an offset too.
// The server check finds it out on its own file.
TEST(FakeDavQuirks, RangesAnsweredWithoutTheirBytesAreReadWhole) {
  FakeDavProcess fake({"--empty-partial-past-end"});
  auto b = Connected(fake);
  const auto data = Pattern(5000, 6);
  ASSERT_TRUE(Upload(*b, "/small", data).ok());
  test::LogCapture log;
  struct Case {
    uint64_t offset, length;
    bool rangesAfter;  // the back-end still reads ranges afterwards
  } cases[] = {{100, 50, true}, {0, 1 << 20, false}, {4000, 4096, false}, {4999, 2, false}, {100, 50, false}};
  std::vector<uint8_t> buf(1 << 20);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.offset) + "+" + std::to_string(c.length));
    uint64_t got = 0;
    Status st = b->readRange("/small", c.offset, buf.data(), c.length, got);
    ASSERT_TRUE(st.ok()) << st.toString();
    ASSERT_EQ(got, std::min<uint64_t>(c.length, data.size() - c.offset));
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + static_cast<long>(got), data.begin() + static_cast<long>(c.offset)));
    EXPECT_EQ(b->caps().rangeRead, c.rangesAfter);
  }
  EXPECT_TRUE(ReadStream(*b, "/small", 1000) == std::vector<uint8_t>(data.begin() + 1000, data.end()));
  EXPECT_EQ(log.countLines("answers ranged GETs without their bytes"), 1) << log.text();

  auto fresh = Connected(fake);
  EXPECT_TRUE(ReadStream(*fresh, "/small", 1000) == std::vector<uint8_t>(data.begin() + 1000, data.end()));
  ProbeReport report;
  ProbeServer(report, *Connected(fake), CompatOptions(), nullptr);
  EXPECT_FALSE(report.caps.rangeRead) << report.toText();
}

}  // namespace
}  // namespace tarn
