// Namespace changes that the server did not answer in time (a frozen
// server): the program is told ETIMEDOUT, yet the server may carry the
// change out once it wakes. The drive then shows what the server holds, not
// what it had seen before, and the empty file of such a create goes.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/volume.h"
#include "testing/eventually.h"
#include "testing/gate.h"
#include "testing/volume_harness.h"

namespace tarn {
namespace {

using test::FaultRule;
using test::MemOp;

// Lifetimes longer than any test: whatever the drive shows after the
// server answers again is what it asked, not what it had seen.
MountConfig LongLifetimes() {
  MountConfig config = test::MemoryDrive();
  config.cache.metaTtlMs = config.cache.dirTtlMs = config.cache.negativeTtlMs = 600 * 1000;
  return config;
}

class TimedOutChangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    h_.server->putFile("/d/a", "content");
    ASSERT_TRUE(h_.volume->start(nullptr).ok());
    std::vector<DirEntry> listing;
    ASSERT_TRUE(h_.volume->readdir("/d", listing).ok());
    RemoteAttr attr;
    ASSERT_TRUE(h_.volume->getattr("/d/a", attr).ok());
  }
  // Every try of `op` on `path` goes unanswered.
  void freeze(MemOp op, const std::string& path) {
    FaultRule rule;
    rule.op = op;
    rule.path = path;
    rule.times = 0;
    rule.status = Status(Status::kTimeout, "injected silence");
    h_.server->addFault(rule);
  }
  // The server wakes and carries out what it was asked.
  std::unique_ptr<test::MemoryBackend> wake() {
    h_.server->clearFaults();
    std::unique_ptr<test::MemoryBackend> server = h_.server->connection();
    EXPECT_TRUE(server->connect().ok());
    return server;
  }
  bool shows(const std::string& path) {
    RemoteAttr attr;
    return h_.volume->getattr(path, attr).ok();
  }
  bool missing(const std::string& path) {
    RemoteAttr attr;
    return h_.volume->getattr(path, attr).code == Status::kNotFound;
  }

  test::VolumeHarness h_{LongLifetimes()};
};

TEST_F(TimedOutChangeTest, ARenameCarriedOutLateShowsAsTheServerHasIt) {
  freeze(MemOp::kRename, "/d/a");
  EXPECT_EQ(h_.volume->rename("/d/a", "/d/b", false).code, Status::kTimeout);
  ASSERT_TRUE(wake()->rename("/d/a", "/d/b", false).ok());
  EXPECT_TRUE(test::Eventually([&] { return shows("/d/b"); }));
  EXPECT_TRUE(missing("/d/a"));
  std::vector<DirEntry> listing;
  ASSERT_TRUE(h_.volume->readdir("/d", listing).ok());
  ASSERT_EQ(listing.size(), 1u);
  EXPECT_EQ(listing[0].name, "b");
}

TEST_F(TimedOutChangeTest, ADeletionCarriedOutLateShowsAsTheServerHasIt) {
  freeze(MemOp::kRemove, "/d/a");
  EXPECT_EQ(h_.volume->unlink("/d/a", false).code, Status::kTimeout);
  ASSERT_TRUE(wake()->remove("/d/a", false).ok());
  EXPECT_TRUE(test::Eventually([&] { return missing("/d/a"); }));
}

// What the create left goes when it is the empty file the create made; a
// file that another client has given content meanwhile stays.
TEST_F(TimedOutChangeTest, TheEmptyFileOfACreateCarriedOutLateGoes) {
  struct Case {
    std::string left;
    bool stays;
  };
  for (const Case& c : {Case{"", false}, Case{"another client's", true}}) {
    SCOPED_TRACE("left: \"" + c.left + "\"");
    const std::string path = "/d/new" + std::to_string(c.stays);
    // Nothing answers until the server has made the file: the drive hears
    // it again only after that.
    for (MemOp op : {MemOp::kCreate, MemOp::kPing, MemOp::kStat}) freeze(op, op == MemOp::kCreate ? path : "");
    std::shared_ptr<OpenFile> file;
    EXPECT_EQ(h_.volume->create(path, false, file).code, Status::kTimeout);
    h_.server->putFile(path, c.left);
    wake();
    EXPECT_TRUE(test::Eventually([&] { return shows("/d/a"); }));
    ASSERT_TRUE(h_.volume->waitUploadsIdle(test::Gate::kDefaultWaitMs));
    std::string there;
    EXPECT_EQ(h_.server->readFile(path, &there), c.stays);
    EXPECT_EQ(there, c.left);
    EXPECT_EQ(shows(path), c.stays);
    // The program may make the file again, which the undoing does not touch.
    if (!c.stays) {
      ASSERT_TRUE(h_.volume->create(path, false, file).ok());
      h_.volume->closeNow(file);
      ASSERT_TRUE(h_.volume->waitUploadsIdle(test::Gate::kDefaultWaitMs));
      EXPECT_TRUE(h_.server->exists(path));
    }
  }
}

}  // namespace
}  // namespace tarn
