#include "backup/repo/pipeline_budget.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace tarn::backup {
namespace {

constexpr uint64_t kLimit = 1000;
constexpr std::chrono::milliseconds kNoWait{0};
constexpr std::chrono::milliseconds kLongWait{60000};

TEST(PipelineBudget, AStoreIsLetInWhileItFitsOrWhileOnlyOpenPacksHoldBytes) {
  // Each case brings the budget to a state through the stages, then asks
  // whether a store of `ask` bytes goes in.
  struct Case {
    const char* name;
    uint64_t sealing, open, closed;  // held in each stage
    uint64_t ask;
    bool fits;
  } cases[] = {
      {"empty", 0, 0, 0, 400, true},
      {"empty, larger than the limit: goes alone", 0, 0, 0, 5000, true},
      {"exactly up to the limit", 300, 300, 300, 100, true},
      {"one byte past the limit", 300, 300, 300, 101, false},
      {"sealing fills it", 900, 0, 0, 200, false},
      {"uploads fill it", 0, 0, 900, 200, false},
      {"only open packs: they fill only by what is let in", 0, 990, 0, 200, true},
      {"open packs and one upload", 0, 500, 400, 200, false},
      {"open packs and a blob being sealed", 1, 950, 0, 200, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PipelineBudget b(kLimit);
    // Bytes reach open packs and closed packs only through the seal stage.
    ASSERT_TRUE(b.admit(c.open + c.closed, kNoWait));
    b.appended(c.open + c.closed, c.open + c.closed);
    b.closed(c.closed, c.closed);
    if (c.sealing != 0) {
      ASSERT_TRUE(b.admit(c.sealing, kNoWait));
    }
    EXPECT_EQ(b.held(), c.sealing + c.open + c.closed);
    EXPECT_EQ(b.fits(c.ask), c.fits);
    EXPECT_EQ(b.admit(c.ask, kNoWait), c.fits) << "a store that does not fit is not let in";
    EXPECT_EQ(b.held(), c.sealing + c.open + c.closed + (c.fits ? c.ask : 0));
    EXPECT_EQ(b.waiting(), 0);
  }
}

TEST(PipelineBudget, BytesAreCountedAsTheyChangeFormUntilTheirUploadEnds) {
  PipelineBudget b(kLimit);
  ASSERT_TRUE(b.admit(600, kNoWait));
  b.appended(600, 450);  // compressed and sealed: what the pack holds counts
  EXPECT_EQ(b.held(), 450u);
  ASSERT_TRUE(b.admit(300, kNoWait));
  b.appended(300, 0);  // dropped
  EXPECT_EQ(b.held(), 450u);
  b.closed(450, 500);  // the header added
  EXPECT_EQ(b.held(), 500u);
  b.uploaded(500);
  EXPECT_EQ(b.held(), 0u);
  ASSERT_TRUE(b.admit(200, kNoWait));
  b.appended(200, 228);
  b.closed(228, 0);  // discarded
  EXPECT_EQ(b.held(), 0u);
}

TEST(PipelineBudget, AWaitingStoreGoesInWhenAnUploadEnds) {
  PipelineBudget b(kLimit);
  ASSERT_TRUE(b.admit(800, kNoWait));
  b.appended(800, 800);
  b.closed(800, 800);
  std::atomic<bool> admitted{false};
  std::thread store([&] {
    while (!b.admit(300, kLongWait)) {
    }
    admitted = true;
  });
  ASSERT_TRUE(b.waitForWaiting(1, kLongWait));
  EXPECT_FALSE(admitted.load());
  b.uploaded(800);
  store.join();
  EXPECT_TRUE(admitted.load());
  EXPECT_EQ(b.held(), 300u);
  EXPECT_EQ(b.waiting(), 0);
}

}  // namespace
}  // namespace tarn::backup
