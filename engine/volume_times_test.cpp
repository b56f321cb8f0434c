// Times set through the drive (touch -d, cp -a, tar x) as its listings and
// looks show them, on a server that keeps the times it is given.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <future>

#include "engine/volume.h"
#include "testing/test_clock.h"
#include "testing/volume_harness.h"

namespace tarn {
namespace {

using test::MemOp;

constexpr uint64_t kBs = 4096;

constexpr int64_t kNotListed = -1;

// The seconds of the time a listing of the folder shows for the name.
int64_t ListedTime(Volume& v, const std::string& folder, const std::string& name) {
  std::vector<DirEntry> listing;
  EXPECT_TRUE(v.readdir(folder, listing).ok());
  for (const DirEntry& e : listing)
    if (e.name == name) return e.attr.mtime.seconds;
  return kNotListed;
}

// A listing taken before the time was set, still within its lifetime, shows
// the time set, as a look does; so does the server, and a listing taken from
// it once the lifetimes are over.
TEST(VolumeTimesTest, AListingShowsTheTimesTheDriveSetWithinItsLifetime) {
  const Timestamp set{978307200, 0};  // 2001-01-01, long before any creation here
  struct Case {
    const char* what;
    const char* name;
    // Makes the path through the drive or on the server; the handle it
    // leaves open (may be null) is closed after the time is set.
    std::function<std::shared_ptr<OpenFile>(test::VolumeHarness&, const std::string&)> make;
    bool onServer = false;  // the server holds it before the drive lists the folder
  } cases[] = {
      {"an empty file made and closed (touch -d)", "empty",
       [](test::VolumeHarness& h, const std::string& path) {
         std::shared_ptr<OpenFile> f;
         EXPECT_TRUE(h.volume->create(path, false, f).ok());
         h.volume->closeNow(f);
         return nullptr;
       }},
      {"an empty file still open (cp -a)", "open",
       [](test::VolumeHarness& h, const std::string& path) {
         std::shared_ptr<OpenFile> f;
         EXPECT_TRUE(h.volume->create(path, false, f).ok());
         return f;
       }},
      {"a folder made (tar x)", "sub",
       [](test::VolumeHarness& h, const std::string& path) {
         std::shared_ptr<OpenFile> f;
         EXPECT_TRUE(h.volume->create(path, true, f).ok());
         return nullptr;
       }},
      {"a file the server holds", "held",
       [](test::VolumeHarness&, const std::string&) { return nullptr; }, true},
      {"a file written and sent", "sent",
       [](test::VolumeHarness& h, const std::string& path) {
         EXPECT_TRUE(h.writeFile(path, "sent"));
         EXPECT_TRUE(h.volume->waitUploadsIdle(test::Gate::kDefaultWaitMs));
         return nullptr;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::ScopedTestClock clock;
    test::VolumeHarness h(test::UploadDrive(kBs));
    h.server->setCaps(test::WritableCaps(false));
    h.server->makeDir("/d");
    const std::string path = std::string("/d/") + c.name;
    if (c.onServer) h.server->putFile(path, "held");
    Volume& v = *h.volume;
    ASSERT_TRUE(v.start(nullptr).ok());
    // The folder listed first, as a shell's completion or a file manager does.
    ASSERT_EQ(ListedTime(v, "/d", c.name) != kNotListed, c.onServer);
    std::shared_ptr<OpenFile> open = c.make(h, path);
    ASSERT_NE(ListedTime(v, "/d", c.name), kNotListed);
    ASSERT_TRUE(v.setTimes(path, set, set).ok());
    if (open) v.closeNow(open);
    EXPECT_EQ(ListedTime(v, "/d", c.name), set.seconds);
    RemoteAttr attr;
    ASSERT_TRUE(v.getattr(path, attr).ok());
    EXPECT_EQ(attr.mtime.seconds, set.seconds);
    ASSERT_TRUE(v.waitUploadsIdle(test::Gate::kDefaultWaitMs));
    ASSERT_TRUE(h.server->statPath(path, &attr));
    EXPECT_EQ(attr.mtime.seconds, set.seconds);
    clock.advance(std::max(h.config.cache.metaTtlMs, h.config.cache.dirTtlMs));
    EXPECT_EQ(ListedTime(v, "/d", c.name), set.seconds);
    v.stop(0);
  }
}

// The folder is listed anew while the time is on its way to the server: that
// listing holds the server's older time, and must not show it once the
// server has the new one.
TEST(VolumeTimesTest, AListingTheServerGaveBeforeItTookTheTimeShowsTheTimeAfterwards) {
  const Timestamp set{978307200, 0};
  test::ScopedTestClock clock;
  test::VolumeHarness h(test::UploadDrive(kBs));
  h.server->setCaps(test::WritableCaps(false));
  h.server->putFile("/d/f", "f");
  Volume& v = *h.volume;
  ASSERT_TRUE(v.start(nullptr).ok());
  ASSERT_NE(ListedTime(v, "/d", "f"), kNotListed);
  std::shared_ptr<test::Gate> sending = h.server->addGate(MemOp::kSetTimes, "/d/f");
  std::future<Status> setting = std::async(std::launch::async, [&] { return v.setTimes("/d/f", set, set); });
  ASSERT_TRUE(sending->waitArrived());
  clock.advance(std::max(h.config.cache.metaTtlMs, h.config.cache.dirTtlMs));
  EXPECT_NE(ListedTime(v, "/d", "f"), set.seconds) << "the server has not taken the time yet";
  sending->release();
  ASSERT_TRUE(setting.get().ok());
  EXPECT_EQ(ListedTime(v, "/d", "f"), set.seconds);
  RemoteAttr attr;
  ASSERT_TRUE(v.getattr("/d/f", attr).ok());
  EXPECT_EQ(attr.mtime.seconds, set.seconds);
  v.stop(0);
}

}  // namespace
}  // namespace tarn
