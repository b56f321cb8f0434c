#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/volume.h"
#include "testing/test_clock.h"
#include "testing/volume_harness.h"

namespace tarn {
namespace {

using test::MemOp;

constexpr uint64_t kBs = 4096;

// A started drive without readahead, on a server whose versions are told
// apart by whole-second times alone, as SFTP's are.
struct TimesOnlyDrive {
  TimesOnlyDrive() : h(test::UploadDrive(kBs), test::QuickTimings()) {
    h.server->setEntityTags(false);
    if (!h.volume->start(nullptr).ok()) std::abort();
  }
  // Every change from now on lands in the same second.
  void changesAt(int64_t secondsFromNow) {
    h.server->setChangeTime(Timestamp{Timestamp::now().seconds + secondsFromNow, 0});
  }
  std::string readWhole(const std::string& path) {
    std::shared_ptr<OpenFile> file = h.openFile(path);
    if (!file) return "<cannot open>";
    std::string out = h.readAll(file);
    h.volume->closeNow(file);
    return out;
  }
  test::VolumeHarness h;
};

// Another client rewrites part of a file, keeping its size, within the
// second the drive read it in: the drive shows the change once its metadata
// lifetime has passed, and after a restart at once. A file read when its
// time was a second past is not read again for an unchanged look.
TEST(VolumeCopiesTest, ASameSizeChangeWithinTheSecondShowsAfterTheMetadataLifetime) {
  test::ScopedTestClock clock;
  TimesOnlyDrive d;
  const std::string v1 = test::Pattern(3 * kBs, 1), v2 = test::Pattern(3 * kBs, 2), v3 = test::Pattern(3 * kBs, 3);
  d.changesAt(3600);  // the drive reads within the second of every change
  d.h.server->putFile("/f", v1);
  ASSERT_EQ(d.readWhole("/f"), v1);
  d.h.server->putFile("/f", v2);
  clock.advance(d.h.config.cache.metaTtlMs);
  EXPECT_TRUE(d.readWhole("/f") == v2);
  d.h.server->putFile("/f", v3);
  clock.advance(d.h.config.cache.metaTtlMs);
  EXPECT_TRUE(d.readWhole("/f") == v3);

  d.h.server->putFile("/f", v1);
  d.h.volume->stop(0);
  ASSERT_TRUE(d.h.volume->start(nullptr).ok());
  EXPECT_TRUE(d.readWhole("/f") == v1) << "after a restart";

  d.changesAt(-3600);
  d.h.server->putFile("/old", v1);
  ASSERT_EQ(d.readWhole("/old"), v1);
  const int reads = d.h.server->countCalls(MemOp::kReadRange, "/old");
  clock.advance(d.h.config.cache.metaTtlMs);
  EXPECT_EQ(d.readWhole("/old"), v1);
  EXPECT_EQ(d.h.server->countCalls(MemOp::kReadRange, "/old"), reads);
}

}  // namespace
}  // namespace tarn
