#include "engine/probe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <future>
#include <thread>

#include "testing/memory_backend.h"
#include "testing/relay_backend.h"

namespace tarn {
namespace {

using test::FaultRule;
using test::MemOp;
using Checks = std::vector<std::string>;

const Checks kAllChecks = {"connect", "list",      "space",   "mkdir",         "write",  "stat",
                           "range",   "random-write", "mtime", "rename",        "case",   "long-name",
                           "unicode", "windows-names", "create", "cleanup"};

FaultRule Fail(MemOp op, int call = 1) {
  FaultRule rule;
  rule.op = op;
  rule.firstCall = call;
  rule.status = Status(Status::kAccessDenied, "refused by the server");
  return rule;
}

Checks ChecksOf(const ProbeReport& report) {
  Checks out;
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
  // A server with every capability, changed by `setUp`.
  ProbeReport probe(const std::function<void(test::MemoryServer&, BackendCaps&)>& setUp, bool readOnly = false,
                    const CancelToken* cancel = nullptr) {
    server_ = std::make_shared<test::MemoryServer>();
    BackendCaps caps;
    caps.randomWrite = caps.setMtime = caps.freeSpace = true;
    caps.server = "memsrv";
    setUp(*server_, caps);
    server_->setCaps(caps);
    ProbeReport report;
    CompatOptions compat;
    compat.readOnly = readOnly;
    ProbeServer(report, *server_->connection(), compat, cancel);
    return report;
  }
  // Nothing of the probe is left on the server.
  bool serverIsClean() {
    server_->setDown(false);
    std::unique_ptr<IBackend> backend = server_->connection();
    std::vector<DirEntry> entries;
    return backend->connect().ok() && backend->list("/", entries).ok() && entries.empty();
  }

  std::shared_ptr<test::MemoryServer> server_;
};

TEST_F(ProbeTest, EachMissingCapabilityShowsInItsItemAndTheCaps) {
  using SetUp = std::function<void(test::MemoryServer&, BackendCaps&)>;
  struct Case {
    SetUp setUp;
    const char* check;
    int32_t level;
    const char* message;
    std::function<bool(const BackendCaps&)> caps;
  } cases[] = {
      {[](auto&, auto&) {}, "random-write", ProbeItem::kOk, "writes at an offset work (uploads send only changed blocks)",
       [](const BackendCaps& c) {
         return c.rangeRead && c.randomWrite && c.setMtime && c.caseSensitive && c.freeSpace && c.renameOverwrite &&
                c.exclusiveCreate && c.maxNameBytes == 255 && c.server == "memsrv";
       }},
      {[](auto& s, auto&) { s.setIgnoreRange(true); }, "range", ProbeItem::kWarning,
       "the server (or a caching proxy in front of it) ignores Range requests; files are read as one stream from "
       "the start, and opening a big file in the middle waits for everything before it",
       [](const BackendCaps& c) { return !c.rangeRead; }},
      {[](auto&, auto& c) { c.randomWrite = false; }, "random-write", ProbeItem::kOk,
       "a changed file is uploaded whole: this protocol cannot write into part of a file",
       [](const BackendCaps& c) { return !c.randomWrite; }},
      {[](auto& s, auto&) { s.addFault(Fail(MemOp::kWriteAt)); }, "random-write", ProbeItem::kWarning,
       "offset writes failed: refused by the server; falling back to whole-file uploads",
       [](const BackendCaps& c) { return !c.randomWrite; }},
      {[](auto&, auto& c) { c.setMtime = false; }, "mtime", ProbeItem::kWarning,
       "server keeps its own modification time; copied files will show the upload time",
       [](const BackendCaps& c) { return !c.setMtime; }},
      {[](auto&, auto& c) { c.caseSensitive = false; }, "case", ProbeItem::kWarning,
       "names are not case-sensitive: 'A.txt' and 'a.txt' are one file on this server, so programs that keep both "
       "lose one",
       [](const BackendCaps& c) { return !c.caseSensitive; }},
      {[](auto&, auto& c) { c.freeSpace = false; }, "space", ProbeItem::kWarning,
       "the server does not tell its free space; the drive shows 1.0 PiB free, and a copy that does not fit fails "
       "only when the server refuses it",
       [](const BackendCaps& c) { return !c.freeSpace; }},
      {[](auto&, auto& c) { c.renameOverwrite = false; }, "rename", ProbeItem::kWarning,
       "rename over an existing file failed: rename: server cannot replace /other.bin (a file manager's replace "
       "will delete first)",
       [](const BackendCaps& c) { return !c.renameOverwrite; }},
      // The third file created is the long name; the third upload its
      // content, which a server may refuse after making the name.
      {[](auto& s, auto&) { s.addFault(Fail(MemOp::kCreate, 3)); }, "long-name", ProbeItem::kWarning,
       "a file with a name of 254 bytes could not be saved (refused by the server); the drive refuses names longer "
       "than 200 bytes",
       [](const BackendCaps& c) { return c.maxNameBytes == 200; }},
      {[](auto& s, auto&) {
         FaultRule refused = Fail(MemOp::kFinish, 3);
         refused.status = Status(Status::kProtocol, "PUT /.tarn-probe-00000000/" + std::string(250, 'n') +
                                                        ".txt -> HTTP 500", 500);
         s.addFault(refused);
       },
       "long-name", ProbeItem::kWarning,
       "a file with a name of 254 bytes could not be saved (PUT /<the 254-byte name> -> HTTP 500); the drive "
       "refuses names longer than 200 bytes",
       [](const BackendCaps& c) { return c.maxNameBytes == 200; }},
      {[](auto& s, auto&) { s.addFault(Fail(MemOp::kCreate, 5)); }, "windows-names", ProbeItem::kWarning,
       "a file named 'a:b' could not be saved (refused by the server); names with ':' fail on this drive",
       [](const BackendCaps&) { return true; }},
      {[](auto&, auto& c) { c.exclusiveCreate = false; }, "create", ProbeItem::kWarning,
       "the server replaces a file at the target of a copy or move even when asked not to; the drive looks before "
       "it makes a file, so a file another client makes in that moment can still be replaced",
       [](const BackendCaps& c) { return !c.exclusiveCreate; }},

  };
  for (const Case& c : cases) {
    ProbeReport report = probe(c.setUp);
    EXPECT_EQ(ChecksOf(report), kAllChecks) << c.check;
    EXPECT_TRUE(report.ok && report.writable) << c.check;
    const ProbeItem* item = Item(report, c.check);
    ASSERT_NE(item, nullptr) << c.check;
    EXPECT_EQ(item->level, c.level) << c.check;
    // The scratch folder's random name is left out.
    std::string message = item->message;
    if (size_t at = message.find("/.tarn-probe-"); at != std::string::npos) message.erase(at, 21);
    EXPECT_EQ(message, c.message);
    EXPECT_TRUE(c.caps(report.caps)) << c.check;
    EXPECT_TRUE(serverIsClean()) << c.check;
  }
}

TEST_F(ProbeTest, FailuresThatEndOrShortenTheProbe) {
  struct Case {
    std::function<void(test::MemoryServer&)> setUp;
    bool readOnly;
    Checks checks;
    std::string message;  // of the last item, or of "write"
    bool ok, writable;
  } cases[] = {
      {[](auto& s) { s.setDown(true); }, false, {"connect"}, "connect: server down", false, false},
      {[](auto& s) { s.addFault(Fail(MemOp::kList)); }, false, {"connect", "list"},
       "cannot list the root: refused by the server", false, false},
      {[](auto& s) { s.addFault(Fail(MemOp::kMkdir)); }, false, {"connect", "list", "space", "write"},
       "cannot create a directory in the root: refused by the server (the drive will be read-only)", false, false},
      {[](auto& s) { s.addFault(Fail(MemOp::kMkdir)); }, true, {"connect", "list", "space", "write"},
       "read-only mount; write checks skipped", true, false},
      // Without its file the content checks go; the name checks still run.
      {[](auto& s) { s.addFault(Fail(MemOp::kFinish)); }, false,
       {"connect", "list", "space", "mkdir", "write", "rename", "case", "long-name", "unicode", "windows-names", "cleanup"},
       "cannot write a file: refused by the server", false, true},
  };
  for (const Case& c : cases) {
    ProbeReport report = probe([&](auto& s, auto&) { c.setUp(s); }, c.readOnly);
    EXPECT_EQ(ChecksOf(report), c.checks);
    const ProbeItem* last = report.writable ? Item(report, "write") : &report.items.back();
    EXPECT_EQ(last->message, c.message);
    EXPECT_EQ(report.ok, c.ok) << c.message;
    EXPECT_EQ(report.writable, c.writable) << c.message;
    EXPECT_TRUE(serverIsClean()) << c.message;
  }
}

// A drive checked before it starts takes what the check found; one whose
// server was listed but refused the scratch folder (the check says the
// drive will be read-only) is read-only, so that writes fail at once
// rather than wait in the cache for uploads the server refuses.
TEST_F(ProbeTest, ADriveTakesTheCheckAndIsReadOnlyWhereTheServerRefusesWrites) {
  struct Case {
    const char* what;
    std::function<void(test::MemoryServer&)> setUp;
    bool readOnlyBefore;
    bool probed, readOnly;
  } cases[] = {
      {"writable", [](auto&) {}, false, true, false},
      {"folders refused", [](auto& s) { s.addFault(Fail(MemOp::kMkdir)); }, false, false, true},
      {"folders refused, set read-only", [](auto& s) { s.addFault(Fail(MemOp::kMkdir)); }, true, true, true},
      {"files refused", [](auto& s) { s.addFault(Fail(MemOp::kFinish)); }, false, false, false},
      {"listing refused", [](auto& s) { s.addFault(Fail(MemOp::kList)); }, false, false, false},
      {"down", [](auto& s) { s.setDown(true); }, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MountConfig config;
    config.id = "d";
    config.compat.readOnly = c.readOnlyBefore;
    TakeProbeReport(config, probe([&](auto& s, auto&) { c.setUp(s); }, c.readOnlyBefore));
    EXPECT_EQ(config.probed.valid, c.probed);
    EXPECT_EQ(config.compat.readOnly, c.readOnly);
  }
}

TEST_F(ProbeTest, CancelledProbeEndsAtItsNextStepAndRemovesWhatItMade) {
  const struct Case {
    MemOp heldAt;
    Checks checks;
  } cases[] = {
      {MemOp::kList, {"connect", "list", "canceled"}},
      {MemOp::kStatfs, {"connect", "list", "space", "canceled"}},
      {MemOp::kOpenWrite,
       {"connect", "list", "space", "mkdir", "write", "stat", "range", "random-write", "mtime", "canceled", "cleanup"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(test::MemOpName(c.heldAt));
    std::promise<std::shared_ptr<test::Gate>> gate;
    CancelToken stop;
    ProbeReport report;
    std::thread prober([&] {
      report = probe([&](test::MemoryServer& s, BackendCaps&) { gate.set_value(s.addGate(c.heldAt)); }, false, &stop);
    });
    // The asker goes while a call of the probe waits at the server.
    const std::shared_ptr<test::Gate> held = gate.get_future().get();
    EXPECT_TRUE(held->waitArrived());
    stop.cancel();
    held->release();
    prober.join();
    EXPECT_EQ(ChecksOf(report), c.checks);
    EXPECT_FALSE(report.ok);
    EXPECT_TRUE(serverIsClean());
  }
}

// Names that Linux shows as they are (':', '?', a trailing dot, case
// twins) get no warning; those holding '\' are not shown, and their
// warnings stop once the report holds 41 items. (Paths split at '\', so
// such names reach the listing past the server.)
TEST_F(ProbeTest, NameWarningsStopAtFortyOneItems) {
  class Listed : public test::RelayBackend {
   public:
    using RelayBackend::RelayBackend;
    Status list(const std::string& path, std::vector<DirEntry>& out) override {
      Status st = RelayBackend::list(path, out);
      if (st.ok() && path == "/") {
        for (const char* fine : {"a:b", "q?", "x.", "File", "file", "CON"}) out.push_back({fine, {}});
        for (int i = 0; i < 100; ++i) out.push_back({"bad\\" + std::to_string(i), {}});
      }
      return st;
    }
  };
  auto server = std::make_shared<test::MemoryServer>();
  BackendCaps caps = server->caps();
  caps.freeSpace = true;
  server->setCaps(caps);
  Listed backend(server->connection(), nullptr);
  ProbeReport report;
  ProbeServer(report, backend, CompatOptions(), nullptr);
  const Checks checks = ChecksOf(report);
  EXPECT_EQ(std::count(checks.begin(), checks.end(), "names"), 39);
  ASSERT_GT(report.items.size(), 41u);
  EXPECT_EQ(report.items[2].message, "'bad\\0': not shown on the drive (names holding '\\' cannot be told from a path)");
  EXPECT_EQ(report.items[41].check, "space");
}

// A create that empties the file standing there, as a WebDAV server that
// ignores "Overwrite: F" makes it, is reported; so is one that says it made
// a file where one stands.
TEST_F(ProbeTest, ACreateOverAFileThatDoesNotFailIsReported) {
  class Replacing : public test::RelayBackend {
   public:
    Replacing(std::unique_ptr<IBackend> inner, bool empties) : RelayBackend(std::move(inner), nullptr), empties_(empties) {}
    Status create(const std::string& path) override {
      Status st = RelayBackend::create(path);
      if (st.code != Status::kExists) return st;
      if (!empties_) return Status();
      (void)RelayBackend::remove(path, false);
      return RelayBackend::create(path);
    }

   private:
    bool empties_;
  };
  for (bool empties : {true, false}) {
    server_ = std::make_shared<test::MemoryServer>();
    Replacing backend(server_->connection(), empties);
    ProbeReport report;
    ProbeServer(report, backend, CompatOptions(), nullptr);
    const ProbeItem* item = Item(report, "create");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->level, ProbeItem::kWarning);
    EXPECT_EQ(item->message, std::string("making a file where one stands ") +
                                 (empties ? "emptied the file there" : "did not fail") +
                                 "; a program that makes a file only where none stands may overwrite another's");
    EXPECT_FALSE(report.caps.exclusiveCreate);
    EXPECT_TRUE(serverIsClean());
  }
}

// A server whose key its users compare (an SSH host key) shows it first,
// also when the log-in is then refused.
TEST_F(ProbeTest, ServerKeyComesBeforeTheConnectOutcome) {
  class Keyed : public test::RelayBackend {
   public:
    using RelayBackend::RelayBackend;
    std::string serverKey() const override { return "SHA256:abc (ED25519)"; }
  };
  for (bool refused : {false, true}) {
    auto server = std::make_shared<test::MemoryServer>();
    if (refused) {
      FaultRule login = Fail(MemOp::kConnect);
      login.status = Status(Status::kAuthFailed, "password authentication failed");
      server->addFault(login);
    }
    Keyed backend(server->connection(), nullptr);
    ProbeReport report;
    ProbeServer(report, backend, CompatOptions(), nullptr);
    ASSERT_GE(report.items.size(), 2u);
    EXPECT_EQ(report.items[0].check, "host-key");
    EXPECT_EQ(report.items[0].message,
              "the server's host key is SHA256:abc (ED25519); compare it with the one its administrator gives");
    EXPECT_EQ(report.items[1].check, "connect");
    EXPECT_EQ(report.ok, !refused);
  }
}

// A host key that differs from the one recorded is the failure, not a key
// to compare: no "ok" line shows it above the refusal.
TEST_F(ProbeTest, AChangedHostKeyIsNotShownAsOk) {
  class Keyed : public test::RelayBackend {
   public:
    using RelayBackend::RelayBackend;
    std::string serverKey() const override { return "SHA256:new (ED25519)"; }
  };
  auto server = std::make_shared<test::MemoryServer>();
  FaultRule changed = Fail(MemOp::kConnect);
  changed.status = Status(Status::kAuthFailed, "host key of h:22 changed: known_hosts has ED25519 SHA256:old, the "
                                               "server offers ED25519 SHA256:new");
  server->addFault(changed);
  Keyed backend(server->connection(), nullptr);
  ProbeReport report;
  ProbeServer(report, backend, CompatOptions(), nullptr);
  EXPECT_FALSE(report.ok);
  EXPECT_EQ(report.toText().find("[ok]"), std::string::npos) << report.toText();
  ASSERT_EQ(report.items.size(), 1u) << report.toText();
  EXPECT_EQ(report.items[0].check, "connect");
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
            "{\"level\":\"fail\",\"check\":\"write\",\"message\":\"cannot write\"}],\"ok\":false,\"writable\":false,"
            "\"caps\":{\"server\":\"dav\",\"rangeRead\":true,\"randomWrite\":false,\"resumableUpload\":false,"
            "\"setMtime\":false,\"caseSensitive\":true,\"freeSpace\":false,\"maxNameBytes\":255}}");
}

}  // namespace
}  // namespace tarn
