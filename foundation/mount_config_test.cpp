#include "foundation/mount_config.h"

#include <gtest/gtest.h>

#include <ctime>
#include <set>

namespace tarn {
namespace {

TEST(MountConfigTest, RetryPoliciesFromNetSettings) {
  struct Case {
    int32_t retries;
    uint32_t minMs, maxMs;
    bool forever;
    int32_t wantAttempts;
    uint32_t wantMax;
  } cases[] = {
      {5, 500, 30000, true, 5, 30000}, {0, 500, 30000, true, 1, 30000},
      {-7, 500, 30000, false, 1, 30000}, {1, 500, 100, false, 1, 500},
      {2, 800, 800, true, 2, 800},
  };
  for (const Case& c : cases) {
    NetOptions n;
    n.retries = c.retries;
    n.retryMinMs = c.minMs;
    n.retryMaxMs = c.maxMs;
    n.uploadsRetryForever = c.forever;
    const RetryPolicy p = RetryPolicyFor(n);
    const RetryPolicy u = UploadRetryPolicyFor(n);
    for (const RetryPolicy* q : {&p, &u}) {
      EXPECT_EQ(q->maxAttempts, c.wantAttempts) << c.retries;
      EXPECT_EQ(q->baseDelayMs, c.minMs);
      EXPECT_EQ(q->maxDelayMs, c.wantMax);
    }
    EXPECT_FALSE(p.forever);
    EXPECT_EQ(u.forever, c.forever);
  }
}

TEST(ProbedCapsTest, FromReportCopiesFlagsAndStampsTime) {
  BackendCaps caps;
  caps.caseSensitive = false;
  caps.setMtime = false;
  caps.rangeRead = false;
  caps.randomWrite = true;
  caps.renameOverwrite = false;
  caps.freeSpace = false;
  caps.maxNameBytes = 143;
  caps.server = "nginx";
  const int64_t before = static_cast<int64_t>(std::time(nullptr));
  const ProbedCaps p = ProbedCaps::fromReport(caps);
  EXPECT_TRUE(p.valid);
  EXPECT_FALSE(p.caseSensitive);
  EXPECT_FALSE(p.setMtime);
  EXPECT_FALSE(p.rangeRead);
  EXPECT_TRUE(p.randomWrite);
  EXPECT_FALSE(p.renameOverwrite);
  EXPECT_FALSE(p.freeSpace);
  EXPECT_EQ(p.maxNameBytes, 143u);
  EXPECT_EQ(p.server, "nginx");
  EXPECT_GE(p.probedAt, before);
  EXPECT_LE(p.probedAt, before + 60);
}

TEST(ProbedCapsTest, ApplyTo) {
  BackendCaps base;
  base.caseSensitive = true;
  base.setMtime = false;
  base.freeSpace = false;
  base.randomWrite = false;
  base.maxNameBytes = 255;

  ProbedCaps invalid;
  invalid.caseSensitive = false;
  invalid.maxNameBytes = 10;
  BackendCaps c = base;
  invalid.applyTo(c);
  EXPECT_TRUE(c.caseSensitive);
  EXPECT_EQ(c.maxNameBytes, 255u);

  struct Case {
    bool storedRandom;
    bool backendRandom;
    uint32_t storedMax;
    bool wantRandom;
    uint32_t wantMax;
  } cases[] = {
      {true, false, 300, false, 255},  // never switches random writes on
      {false, true, 200, false, 200},
      {true, true, 255, true, 255},
  };
  for (const Case& k : cases) {
    ProbedCaps p;
    p.valid = true;
    p.caseSensitive = false;
    p.setMtime = true;
    p.freeSpace = true;
    p.randomWrite = k.storedRandom;
    p.maxNameBytes = k.storedMax;
    BackendCaps b = base;
    b.randomWrite = k.backendRandom;
    p.applyTo(b);
    EXPECT_EQ(b.randomWrite, k.wantRandom);
    EXPECT_EQ(b.maxNameBytes, k.wantMax);
    EXPECT_FALSE(b.caseSensitive);
    EXPECT_TRUE(b.setMtime);  // raised as well as lowered
    EXPECT_TRUE(b.freeSpace);
  }
}

TEST(AppConfigTest, FindMountIsExactAndFirst) {
  AppConfig a;
  MountConfig m1, m2, m3;
  m1.id = "abc";
  m1.name = "first";
  m2.id = "abc";
  m2.name = "second";
  m3.id = "xyz";
  a.mounts = {m1, m2, m3};
  ASSERT_NE(a.findMount("abc"), nullptr);
  EXPECT_EQ(a.findMount("abc")->name, "first");
  EXPECT_EQ(a.findMount("ABC"), nullptr);
  EXPECT_EQ(a.findMount(""), nullptr);
  const AppConfig& ca = a;
  ASSERT_NE(ca.findMount("xyz"), nullptr);
  EXPECT_EQ(ca.findMount("xyz"), &a.mounts[2]);
}

TEST(AppConfigTest, RandomIdsAreDistinctLowerHex) {
  std::set<std::string> seen;
  for (int i = 0; i < 64; ++i) {
    const std::string id = RandomId();
    ASSERT_EQ(id.size(), 16u);
    for (char c : id) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')) << id;
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 64u);
}

}  // namespace
}  // namespace tarn
