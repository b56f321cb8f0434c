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
    Refusal why;  // when refused
  };
  constexpr Refusal kOwn = Refusal::kUserShare;
  constexpr Refusal kOthers = Refusal::kOthersShare;
  const Step steps[] = {
      {kAlice, true, kOwn}, {kAlice, true, kOwn}, {kAlice, true, kOwn},
      {kAlice, false, kOwn},                     // her share is full
      {kBob, true, kOwn},                        // his is not
      {kCarol, false, kOthers},                  // the others' room is full
      {kAlice, false, kOwn},                     // hers is full before the room
      {kRoot, true, kOwn},  {kRoot, true, kOwn}, // root's room is left
      {kRoot, false, kOthers},                   // and then the whole is full
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.uid);
    Refusal why = s.why == kOwn ? kOthers : kOwn;  // not what is expected
    EXPECT_EQ(a.admitConnection(s.uid, &why), s.admitted);
    if (!s.admitted) {
      EXPECT_EQ(why, s.why);
    }
  }
  EXPECT_TRUE(a.full());
  a.endConnection(kAlice);
  EXPECT_FALSE(a.full());
  EXPECT_TRUE(a.admitConnection(kCarol));
  EXPECT_TRUE(a.full());
  EXPECT_EQ(a.stats().refusedConnections, 4u);
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
    Refusal why;  // when refused
  };
  constexpr Refusal kOwn = Refusal::kUserShare;
  constexpr Refusal kOthers = Refusal::kOthersShare;
  const Step steps[] = {
      {kAlice, 300, true, kOwn},
      {kAlice, 1, false, kOwn},      // her share is spent
      {kBob, 101, false, kOthers},   // the others' 400 bytes would be passed
      {kBob, 100, true, kOwn},
      {kCarol, 1, false, kOthers},   // the others' 400 bytes are spent
      {kRoot, 200, true, kOwn},      // root's 200 are there
      {kRoot, 1, false, kOthers},    // the whole is spent
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(std::to_string(s.uid) + " " + std::to_string(s.bytes));
    Refusal why = s.why == kOwn ? kOthers : kOwn;  // not what is expected
    EXPECT_EQ(a.reserveRequest(s.uid, s.bytes, &why), s.reserved);
    if (!s.reserved) {
      EXPECT_EQ(why, s.why);
    }
  }
  EXPECT_EQ(a.stats().peakRequestBytes, 600u);
  a.releaseRequest(kAlice, 300);
  EXPECT_TRUE(a.reserveRequest(kCarol, 300));
  EXPECT_EQ(a.stats().requestBytes, 600u);
  EXPECT_EQ(a.stats().refusedRequests, 4u);
}

}  // namespace
}  // namespace tarn
