#include "service/control_admission.h"

#include <gtest/gtest.h>

#include <string>

namespace tarn {
namespace {

constexpr uint32_t kRoot = 0;
constexpr uint32_t kAlice = 1000;
constexpr uint32_t kBob = 1001;
constexpr uint32_t kCarol = 1002;

AdmissionLimits Small() {
  AdmissionLimits l;
  l.connections = 6;
  l.rootConnections = 2;
  l.userConnections = 3;
  l.requestBytes = 600;
  l.rootRequestBytes = 200;
  l.userRequestBytes = 300;
  return l;
}

TEST(ControlAdmissionTest, UsersHaveSharesAndRootItsOwnRoom) {
  ControlAdmission a(Small());
  struct Step {
    uint32_t uid;
    bool admitted;
  };
  const Step steps[] = {
      {kAlice, true}, {kAlice, true}, {kAlice, true},
      {kAlice, false},                 // her share is full
      {kBob, true},                    // his is not
      {kCarol, false},                 // the others' room is full
      {kRoot, true},  {kRoot, true},   // root's room is left
      {kRoot, false},                  // and then the whole is full
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.uid);
    EXPECT_EQ(a.admitConnection(s.uid), s.admitted);
  }
  EXPECT_TRUE(a.full());
  a.endConnection(kAlice);
  EXPECT_FALSE(a.full());
  EXPECT_TRUE(a.admitConnection(kCarol));
  EXPECT_TRUE(a.full());
  EXPECT_EQ(a.stats().refusedConnections, 3u);
  // What was given back is free again, and nothing is left once all ended.
  for (uint32_t uid : {kAlice, kAlice, kBob, kCarol, kRoot, kRoot}) a.endConnection(uid);
  EXPECT_EQ(a.stats().connections, 0u);
  EXPECT_TRUE(a.admitConnection(kAlice));
}

TEST(ControlAdmissionTest, RequestBytesHaveSharesAndRootItsOwnRoom) {
  ControlAdmission a(Small());
  struct Step {
    uint32_t uid;
    uint64_t bytes;
    bool reserved;
  };
  const Step steps[] = {
      {kAlice, 300, true},
      {kAlice, 1, false},    // her share is spent
      {kBob, 101, false},    // the others' 400 bytes would be passed
      {kBob, 100, true},
      {kCarol, 1, false},    // the others' 400 bytes are spent
      {kRoot, 200, true},    // root's 200 are there
      {kRoot, 1, false},     // the whole is spent
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(std::to_string(s.uid) + " " + std::to_string(s.bytes));
    EXPECT_EQ(a.reserveRequest(s.uid, s.bytes), s.reserved);
  }
  EXPECT_EQ(a.stats().peakRequestBytes, 600u);
  a.releaseRequest(kAlice, 300);
  EXPECT_TRUE(a.reserveRequest(kCarol, 300));
  EXPECT_EQ(a.stats().requestBytes, 600u);
  EXPECT_EQ(a.stats().refusedRequests, 4u);
}

}  // namespace
}  // namespace tarn
