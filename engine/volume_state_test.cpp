// A drive's state as its status gives it: online while its server can be
// used now, however idle the drive is, and the reason of a state shown
// while the state lasts.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "engine/volume.h"
#include "testing/eventually.h"
#include "testing/test_clock.h"
#include "testing/volume_harness.h"

namespace tarn {
namespace {

using test::MemOp;

constexpr uint64_t kKeepaliveMs = 30000;

MountConfig Drive() {
  MountConfig config = test::MemoryDrive();
  config.net.keepaliveSec = kKeepaliveMs / 1000;
  return config;
}

VolumeStatus StatusOf(test::VolumeHarness& h) {
  VolumeStatus s;
  h.volume->status(s);
  return s;
}

class VolumeStateTest : public ::testing::Test {
 protected:
  // Starts the drive and waits for the first keepalive, so that the clock
  // alone decides when the next one comes.
  void Start(test::VolumeHarness& h) {
    ASSERT_TRUE(h.volume->start(nullptr).ok());
    ASSERT_TRUE(test::Eventually([&] { return h.server->countCalls(MemOp::kPing) == 1; }));
  }

  test::ScopedTestClock clock_;
};

// A server that closes connections standing idle (as HTTP servers do) makes
// every keepalive ping fail: the drive connects again and stays online.
TEST_F(VolumeStateTest, AnIdleDriveStaysOnlineWhileItsServerClosesIdleConnections) {
  test::VolumeHarness h(Drive());
  Start(h);
  constexpr int kRounds = 20;  // ten minutes of keepalives
  for (int round = 1; round <= kRounds; ++round) {
    SCOPED_TRACE(round);
    h.server->closeConnections();
    clock_.advance(kKeepaliveMs + 1);
    // The keepalive's failed ping, then the look's ping on a new connection.
    ASSERT_TRUE(test::Eventually([&] { return h.server->countCalls(MemOp::kPing) == 1 + 2 * round; }));
    ASSERT_EQ(h.server->countCalls(MemOp::kConnect), 1 + round);
    const VolumeStatus s = StatusOf(h);
    EXPECT_TRUE(s.online);
    EXPECT_EQ(s.lastError, "");
  }
}

// An idle drive whose server fails shows it with the reason, the looks
// that follow keep the reason and its time, and once the server is back
// the next look shows the drive online again, without any use of it.
TEST_F(VolumeStateTest, AnIdleDriveShowsItsServersFailureWithTheReasonUntilItsReturn) {
  struct Case {
    const char* what;
    std::function<void(test::MemoryServer&)> fail;
    std::function<void(test::MemoryServer&)> heal;
    std::string reason;
  };
  const Case cases[] = {
      {"server stopped", [](test::MemoryServer& s) { s.setDown(true); },
       [](test::MemoryServer& s) { s.setDown(false); }, "network: connect: server down"},
      {"log-in refused",
       [](test::MemoryServer& s) {
         s.closeConnections();
         s.addFault({MemOp::kConnect, "", 1, 0, test::FaultRule::Kind::kFail,
                     Status(Status::kAuthFailed, "credentials rejected")});
       },
       [](test::MemoryServer& s) { s.clearFaults(); }, "auth-failed: credentials rejected"},
  };
  const uint64_t lookAgainMs = VolumeTimings().lookAgainMs;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::VolumeHarness h(Drive());
    Start(h);
    c.fail(*h.server);
    clock_.advance(kKeepaliveMs + 1);
    ASSERT_TRUE(test::Eventually([&] {
      const VolumeStatus s = StatusOf(h);
      return !s.online && s.lastError == c.reason;
    })) << StatusOf(h).lastError;
    const uint64_t since = StatusOf(h).lastErrorMs;
    EXPECT_NE(since, 0u);

    const int connects = h.server->countCalls(MemOp::kConnect);
    clock_.advance(lookAgainMs);
    ASSERT_TRUE(test::Eventually([&] { return h.server->countCalls(MemOp::kConnect) == connects + 1; }));
    VolumeStatus s = StatusOf(h);
    EXPECT_FALSE(s.online);
    EXPECT_EQ(s.lastError, c.reason);
    EXPECT_EQ(s.lastErrorMs, since) << "the failure goes on since it began";

    c.heal(*h.server);
    clock_.advance(lookAgainMs);
    ASSERT_TRUE(test::Eventually([&] { return StatusOf(h).online; }));
    EXPECT_EQ(StatusOf(h).lastError, "");
  }
}

// The failure of a request that could not reach the server is the reason
// of that state: it goes once the server answers other requests, not only
// when a request of its own kind works again.
TEST_F(VolumeStateTest, AFailureToReachTheServerGoesOnceTheServerAnswersAgain) {
  test::VolumeHarness h(Drive());
  h.server->makeDir("/d");
  Start(h);
  h.server->setDown(true);
  RemoteAttr attr;
  EXPECT_EQ(h.volume->getattr("/missing", attr).code, Status::kNetwork);
  EXPECT_TRUE(StatusOf(h).lastError.starts_with("network: stat: ")) << StatusOf(h).lastError;
  EXPECT_FALSE(StatusOf(h).online);

  h.server->setDown(false);
  std::vector<DirEntry> entries;
  ASSERT_TRUE(h.volume->readdir("/d", entries).ok());
  const VolumeStatus s = StatusOf(h);
  EXPECT_TRUE(s.online);
  EXPECT_EQ(s.lastError, "");
}

// Back from offline mode the drive has no connection: it looks at its
// server at once, rather than showing it unreachable until it is used.
TEST_F(VolumeStateTest, BackFromOfflineModeTheDriveLooksAtItsServer) {
  MountConfig config = Drive();
  config.cache.offlineMode = true;
  test::VolumeHarness h(config);
  ASSERT_TRUE(h.volume->start(nullptr).ok());
  EXPECT_FALSE(StatusOf(h).online);
  h.volume->setOffline(false);
  ASSERT_TRUE(test::Eventually([&] { return StatusOf(h).online; }));
  EXPECT_EQ(h.server->countCalls(MemOp::kConnect), 1);
  EXPECT_EQ(StatusOf(h).lastError, "");
}

}  // namespace
}  // namespace tarn
