#include "engine/rename_fence.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "testing/eventually.h"
#include "testing/gate.h"
#include "testing/log_capture.h"

namespace tarn {
namespace {

constexpr const char* kWaitsForRename = "waits for the rename of";
constexpr const char* kRenameWaits = "waits for what is under way there";

bool Ready(std::future<void>& done) {
  return done.wait_for(std::chrono::milliseconds(test::Gate::kDefaultWaitMs)) == std::future_status::ready;
}

// While a rename is under way, whatever names a path at or below its source
// or target waits for it; once it took effect, what was below its source is
// below its target. Work beside it goes on at once.
TEST(RenameFenceTest, WorkInsideARenameWaitsAndGoesOnWhereTheRenameMovedIt) {
  struct Case {
    const char* what;
    const char* path;
    const char* second;  // empty: an operation; else the target of a rename
    bool moved;
    bool waits;
    const char* wantPath;
    const char* wantSecond;
  } cases[] = {
      {"a file deep in the source", "/X/w/f", "", true, true, "/Y/w/f", ""},
      {"the source itself", "/X", "", true, true, "/Y", ""},
      {"below the target", "/Y/a", "", true, true, "/Y/a", ""},
      {"the rename failed", "/X/w/f", "", false, true, "/X/w/f", ""},
      {"a rename inside the source", "/X/a", "/X/b", true, true, "/Y/a", "/Y/b"},
      {"a rename into the source", "/other", "/X/in", true, true, "/other", "/Y/in"},
      {"a sibling whose name begins alike", "/Xa/f", "", true, false, "/Xa/f", ""},
      {"the parent", "/", "", true, false, "/", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::LogCapture log;
    RenameFence fence("drive");
    std::string from = "/X", to = "/Y";
    RenameFence::Pass rename = fence.beginRename(from, to);
    std::string path = c.path, second = c.second;
    const bool isRename = !second.empty();
    const bool waits = c.waits;
    auto work = std::async(std::launch::async, [&] {
      if (isRename) {
        RenameFence::Pass inner = fence.beginRename(path, second);
      } else {
        RenameFence::Pass pass = fence.enter({&path});
      }
    });
    if (waits) {
      // Released whatever happens, so that a failure cannot hang the test.
      EXPECT_TRUE(test::Eventually([&] { return log.countLines(kWaitsForRename) == 1; }));
    } else {
      EXPECT_TRUE(Ready(work));
    }
    if (c.moved) rename.moved();
    rename = RenameFence::Pass();
    ASSERT_TRUE(Ready(work));
    EXPECT_EQ(path, c.wantPath);
    EXPECT_EQ(second, c.wantSecond);
    EXPECT_EQ(log.countLines(kWaitsForRename), waits ? 1 : 0);
  }
}

// A rename begins only once the work already under way in its source or its
// target has ended, renames below them included; work elsewhere does not
// hold it up.
TEST(RenameFenceTest, ARenameWaitsForWhatIsUnderWayInItsSourceAndTarget) {
  struct Case {
    const char* what;
    const char* path;
    const char* second;  // empty: an operation; else the target of a rename
    bool holds;
  } cases[] = {
      {"a file in the source", "/X/w/f", "", true},
      {"the source", "/X", "", true},
      {"a file in the target", "/Y/f", "", true},
      {"a rename below the source", "/X/a", "/X/b", true},
      {"a rename out of the source", "/X/a", "/Z", true},
      {"a sibling whose name begins alike", "/Xa/f", "", false},
      {"the parent", "/", "", false},
      {"a rename elsewhere", "/P", "/Q", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::LogCapture log;
    RenameFence fence("drive");
    std::string path = c.path, second = c.second;
    RenameFence::Pass held = second.empty() ? fence.enter({&path}) : fence.beginRename(path, second);
    std::string from = "/X", to = "/Y";
    std::atomic<bool> begun{false};
    auto rename = std::async(std::launch::async, [&] {
      RenameFence::Pass pass = fence.beginRename(from, to);
      begun = true;
    });
    if (c.holds) {
      EXPECT_TRUE(test::Eventually([&] { return log.countLines(kRenameWaits) == 1; }));
      EXPECT_FALSE(begun.load());
      held = RenameFence::Pass();
    }
    ASSERT_TRUE(Ready(rename));
    EXPECT_TRUE(begun.load());
    EXPECT_EQ(log.countLines(kRenameWaits), c.holds ? 1 : 0);
  }
}

}  // namespace
}  // namespace tarn
