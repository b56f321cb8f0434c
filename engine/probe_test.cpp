#include "engine/probe.h"

#include <gtest/gtest.h>

#include <functional>

#include "testing/memory_backend.h"

namespace tarn {
namespace {

using test::FaultRule;
using test::MemOp;

// Every check id in the order a full probe of a writable server gives them.
const std::vector<std::string> kAllChecks = {"connect", "list",  "space",     "mkdir",     "write",
                                             "stat",    "range", "random-write", "mtime",  "rename",
                                             "case",    "long-name", "unicode", "windows-names", "cleanup"};

BackendCaps FullCaps() {
  BackendCaps caps;
  caps.randomWrite = true;
  caps.setMtime = true;
  caps.freeSpace = true;
  caps.server = "memsrv";
  return caps;
}

std::vector<std::string> Checks(const ProbeReport& report) {
  std::vector<std::string> out;
  for (const ProbeItem& item : report.items) out.push_back(item.check);
  return out;
}

const ProbeItem* Item(const ProbeReport& report, const std::string& check) {
  for (const ProbeItem& item : report.items)
    if (item.check == check) return &item;
  return nullptr;
}

class ProbeTest : public ::testing::Test {
 protected:
  ProbeReport probe(const CompatOptions& compat = {}) {
    ProbeReport report;
    std::unique_ptr<IBackend> backend = server_->connection();
    ProbeServer(report, *backend, compat, nullptr);
    return report;
  }

  // Nothing of the probe is left on the server.
  bool serverIsClean() {
    std::unique_ptr<IBackend> backend = server_->connection();
    std::vector<DirEntry> entries;
    return backend->connect().ok() && backend->list("/", entries).ok() && entries.empty();
  }

  std::shared_ptr<test::MemoryServer> server_ = std::make_shared<test::MemoryServer>();
};

TEST_F(ProbeTest, EachMissingCapabilityShowsInItsItemAndTheCaps) {
  struct Case {
    const char* name;
    std::function<void(test::MemoryServer&, BackendCaps&)> setUp;
    const char* check;
    int32_t level;
    const char* message;
    const char* capsKey;  // the JSON member the finding turns off (or null)
    std::function<bool(const BackendCaps&)> capsOk;
  } cases[] = {
      {"full", [](test::MemoryServer&, BackendCaps&) {}, "random-write", ProbeItem::kOk,
       "writes at an offset work (uploads send only changed blocks)", nullptr,
       [](const BackendCaps& c) { return c.rangeRead && c.randomWrite && c.setMtime && c.caseSensitive && c.freeSpace &&
                                         c.renameOverwrite && c.maxNameBytes == 255 && c.server == "memsrv"; }},
      {"range ignored", [](test::MemoryServer& s, BackendCaps&) { s.setIgnoreRange(true); }, "range",
       ProbeItem::kWarning,
       "the server (or a caching proxy in front of it) ignores Range requests; files are read as one stream from "
       "the start, and opening a big file in the middle waits for everything before it",
       "rangeRead", nullptr},
      {"no random writes", [](test::MemoryServer&, BackendCaps& c) { c.randomWrite = false; }, "random-write",
       ProbeItem::kOk, "not supported by the protocol; any change re-uploads the whole file", "randomWrite", nullptr},
      {"offset write fails",
       [](test::MemoryServer& s, BackendCaps&) {
         FaultRule rule;
         rule.op = MemOp::kWriteAt;
         rule.status = Status(Status::kAccessDenied, "no");
         s.addFault(rule);
       },
       "random-write", ProbeItem::kWarning, "offset writes failed: access-denied: no; falling back to whole-file uploads",
       "randomWrite", nullptr},
      {"own mtime", [](test::MemoryServer&, BackendCaps& c) { c.setMtime = false; }, "mtime", ProbeItem::kWarning,
       "server keeps its own modification time; copied files will show the upload time", "setMtime", nullptr},
      {"case-insensitive", [](test::MemoryServer&, BackendCaps& c) { c.caseSensitive = false; }, "case",
       ProbeItem::kOk, "server is case-insensitive (like Windows)", "caseSensitive", nullptr},
      {"no space figures", [](test::MemoryServer&, BackendCaps& c) { c.freeSpace = false; }, "space",
       ProbeItem::kWarning, "free space unknown; Explorer will show the drive as full-size", "freeSpace", nullptr},
      {"no replacing rename", [](test::MemoryServer&, BackendCaps& c) { c.renameOverwrite = false; }, "rename",
       ProbeItem::kWarning,
       "rename over an existing file failed: exists: rename: server cannot replace /other.bin (Explorer's replace "
       "will delete first)",
       nullptr, [](const BackendCaps& c) { return !c.renameOverwrite; }},
      {"long names refused",
       [](test::MemoryServer& s, BackendCaps&) {
         FaultRule rule;  // the third create is the long name
         rule.op = MemOp::kCreate;
         rule.firstCall = 3;
         rule.status = Status(Status::kInvalid, "name too long");
         s.addFault(rule);
       },
       "long-name", ProbeItem::kWarning, "255-byte names refused; Tarn will limit names to 200 bytes", nullptr,
       [](const BackendCaps& c) { return c.maxNameBytes == 200; }},
  };
  for (const Case& c : cases) {
    server_ = std::make_shared<test::MemoryServer>();
    BackendCaps caps = FullCaps();
    c.setUp(*server_, caps);
    server_->setCaps(caps);
    ProbeReport report = probe();
    EXPECT_EQ(Checks(report), kAllChecks) << c.name;
    EXPECT_TRUE(report.ok) << c.name;
    EXPECT_TRUE(report.writable) << c.name;
    const ProbeItem* item = Item(report, c.check);
    ASSERT_NE(item, nullptr) << c.name;
    EXPECT_EQ(item->level, c.level) << c.name;
    // The scratch folder's random name is the only part left out.
    std::string message = item->message;
    const size_t scratch = message.find("/.tarn-probe-");
    if (scratch != std::string::npos) message.erase(scratch, std::string("/.tarn-probe-12345678").size());
    EXPECT_EQ(message, c.message) << c.name;
    vx::json::Value json = report.toJson();
    if (c.capsKey != nullptr) {
      EXPECT_FALSE(json["caps"][c.capsKey].asBool(true)) << c.name;
      EXPECT_TRUE(json["caps"]["maxNameBytes"].isNumber());
    }
    if (c.capsOk) {
      EXPECT_TRUE(c.capsOk(report.caps)) << c.name;
    }
    EXPECT_TRUE(serverIsClean()) << c.name;
  }
  EXPECT_EQ(server_->countCalls(MemOp::kCreate), 5);
}

TEST_F(ProbeTest, OffsetWritesAreNotTriedWithoutTheCapability) {
  BackendCaps caps = FullCaps();
  caps.randomWrite = false;
  server_->setCaps(caps);
  probe();
  EXPECT_EQ(server_->countCalls(MemOp::kWriteAt), 0);
}

TEST_F(ProbeTest, FailuresThatEndTheProbe) {
  struct Case {
    const char* name;
    std::function<void(test::MemoryServer&)> setUp;
    bool readOnly;
    std::vector<std::string> checks;
    std::string lastMessage;
    bool ok;
  } cases[] = {
      {"server down", [](test::MemoryServer& s) { s.setDown(true); }, false, {"connect"},
       "network: connect: server down", false},
      {"root not listable",
       [](test::MemoryServer& s) {
         FaultRule rule;
         rule.op = MemOp::kList;
         rule.status = Status(Status::kAccessDenied, "no");
         s.addFault(rule);
       },
       false, {"connect", "list"}, "cannot list the root: access-denied: no", false},
      {"no folder on a writable drive",
       [](test::MemoryServer& s) {
         FaultRule rule;
         rule.op = MemOp::kMkdir;
         rule.status = Status(Status::kAccessDenied, "no");
         s.addFault(rule);
       },
       false, {"connect", "list", "space", "write"},
       "cannot create a directory in the root: access-denied: no (the drive will be read-only)", false},
      {"no folder on a read-only drive",
       [](test::MemoryServer& s) {
         FaultRule rule;
         rule.op = MemOp::kMkdir;
         rule.status = Status(Status::kAccessDenied, "no");
         s.addFault(rule);
       },
       true, {"connect", "list", "space", "write"}, "read-only mount; write checks skipped", true},
  };
  for (const Case& c : cases) {
    server_ = std::make_shared<test::MemoryServer>();
    c.setUp(*server_);
    CompatOptions compat;
    compat.readOnly = c.readOnly;
    ProbeReport report = probe(compat);
    EXPECT_EQ(Checks(report), c.checks) << c.name;
    ASSERT_FALSE(report.items.empty());
    EXPECT_EQ(report.items.back().message, c.lastMessage) << c.name;
    EXPECT_EQ(report.ok, c.ok) << c.name;
    EXPECT_FALSE(report.writable) << c.name;
    server_->setDown(false);
    EXPECT_TRUE(serverIsClean()) << c.name;
  }
}

TEST_F(ProbeTest, FailedWriteSkipsTheContentChecksOnly) {
  FaultRule rule;
  rule.op = MemOp::kFinish;
  rule.status = Status(Status::kNoSpace, "full");
  server_->addFault(rule);
  server_->setCaps(FullCaps());
  ProbeReport report = probe();
  EXPECT_EQ(Checks(report), (std::vector<std::string>{"connect", "list", "space", "mkdir", "write", "rename", "case",
                                                      "long-name", "unicode", "windows-names", "cleanup"}));
  EXPECT_EQ(Item(report, "write")->message, "cannot write a file: no-space: full");
  EXPECT_EQ(Item(report, "write")->level, ProbeItem::kFailure);
  EXPECT_FALSE(report.ok);
  EXPECT_TRUE(report.writable);
  EXPECT_TRUE(serverIsClean());
}

TEST_F(ProbeTest, NameWarningsStopAtFortyOneItems) {
  for (int i = 0; i < 100; ++i) server_->putFile("/bad:" + std::to_string(i), "");
  ProbeReport report = probe();
  int names = 0;
  for (const ProbeItem& item : report.items) names += item.check == "names" ? 1 : 0;
  EXPECT_EQ(names, 39);
  EXPECT_EQ(report.items[2].message, "'bad:0': name contains a character the storage cannot hold: bad:0");
  EXPECT_EQ(report.items[41].check, "space");
  EXPECT_EQ(Item(report, "list")->message, "100 entries in the root");
}

TEST(ProbeReport, TextAndJson) {
  ProbeReport report;
  EXPECT_EQ(report.toText(), "");
  report.add(ProbeItem::kOk, "connect", "connected");
  report.add(ProbeItem::kWarning, "space", "free space unknown");
  EXPECT_TRUE(report.ok);
  report.add(ProbeItem::kFailure, "write", "cannot write");
  EXPECT_FALSE(report.ok);
  report.caps.server = "dav";
  EXPECT_EQ(report.toText(), "[ok]   connect: connected\n[warn] space: free space unknown\n[FAIL] write: cannot write\n");
  EXPECT_EQ(report.toJson().dump(),
            "{\"items\":[{\"level\":\"ok\",\"check\":\"connect\",\"message\":\"connected\"},"
            "{\"level\":\"warn\",\"check\":\"space\",\"message\":\"free space unknown\"},"
            "{\"level\":\"fail\",\"check\":\"write\",\"message\":\"cannot write\"}],"
            "\"ok\":false,\"writable\":false,"
            "\"caps\":{\"server\":\"dav\",\"rangeRead\":true,\"randomWrite\":false,\"resumableUpload\":false,"
            "\"setMtime\":false,\"caseSensitive\":true,\"freeSpace\":false,\"maxNameBytes\":255}}");
}

}  // namespace
}  // namespace tarn
