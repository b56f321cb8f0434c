// Names as the drive lists, opens, writes, renames and deletes them: byte for
// byte as the server and the user wrote them, whatever Unicode form they are
// in, so that two names that differ only in form are two files.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "engine/volume.h"
#include "foundation/remote_path.h"
#include "testing/test_clock.h"
#include "testing/volume_harness.h"

namespace tarn {
namespace {

constexpr uint64_t kBs = 4096;

// "café.txt" with the accent as a combining mark (as macOS writes names) and
// precomposed (as Linux keyboards type it); "résumé" in decomposed form only.
const std::string kDecomposed = "/d/cafe\xCC\x81.txt";
const std::string kComposed = "/d/caf\xC3\xA9.txt";
const std::string kOnlyDecomposed = "/d/re\xCC\x81sume\xCC\x81";
const std::string kOnlyDecomposedComposed = "/d/r\xC3\xA9sum\xC3\xA9";

std::set<std::string> Names(Volume& v, const std::string& folder) {
  std::vector<DirEntry> listing;
  std::set<std::string> out;
  EXPECT_TRUE(v.readdir(folder, listing).ok()) << folder;
  for (const DirEntry& e : listing) out.insert(JoinRemotePath(folder, e.name));
  return out;
}

TEST(VolumeNamesTest, NamesInEitherUnicodeFormAreKeptByteForByte) {
  for (uint32_t form : {CompatOptions::kUnicodeNfc, CompatOptions::kUnicodeNfd, CompatOptions::kUnicodeNone}) {
    SCOPED_TRACE("unicode setting " + std::to_string(form));
    test::ScopedTestClock clock;
    MountConfig config = test::UploadDrive(kBs);
    config.compat.unicode = form;
    test::VolumeHarness h(config);
    h.server->setCaps(test::WritableCaps(false));
    h.server->putFile(kDecomposed, "decomposed");
    h.server->putFile(kComposed, "composed");
    h.server->putFile(kOnlyDecomposed, "only decomposed");
    Volume& v = *h.volume;
    ASSERT_TRUE(v.start(nullptr).ok());

    EXPECT_EQ(Names(v, "/d"), (std::set<std::string>{kDecomposed, kComposed, kOnlyDecomposed}));
    for (const auto& [path, content] : {std::pair{kDecomposed, "decomposed"}, std::pair{kComposed, "composed"},
                                        std::pair{kOnlyDecomposed, "only decomposed"}}) {
      std::shared_ptr<OpenFile> file = h.openFile(path);
      ASSERT_TRUE(file) << path;
      EXPECT_EQ(h.readAll(file), content) << path;
      v.closeNow(file);
    }
    RemoteAttr attr;
    EXPECT_EQ(v.getattr(kOnlyDecomposedComposed, attr).code, Status::kNotFound);

    // A write by one form changes that file alone.
    std::shared_ptr<OpenFile> file = h.openFile(kDecomposed);
    ASSERT_TRUE(file);
    ASSERT_TRUE(v.write(file, 0, "DECOMPOSED", 10).ok());
    v.closeNow(file);
    EXPECT_TRUE(h.serverHolds(kDecomposed, "DECOMPOSED"));
    EXPECT_TRUE(h.serverHolds(kComposed, "composed"));

    // A name the drive makes in decomposed form is found again once its
    // folder is listed anew.
    const std::string made = "/d/ne\xCC\x81w";
    ASSERT_TRUE(h.writeFile(made, "made here"));
    ASSERT_TRUE(v.waitUploadsIdle(test::Gate::kDefaultWaitMs));
    EXPECT_TRUE(h.server->exists(made));
    const std::string moved = "/d/moved-e\xCC\x81";
    ASSERT_TRUE(v.rename(kOnlyDecomposed, moved, false).ok());
    EXPECT_TRUE(h.server->exists(moved));
    EXPECT_FALSE(h.server->exists(kOnlyDecomposed));
    ASSERT_TRUE(v.unlink(kDecomposed, false).ok());
    EXPECT_FALSE(h.server->exists(kDecomposed));
    EXPECT_TRUE(h.server->exists(kComposed));

    clock.advance(std::max({config.cache.metaTtlMs, config.cache.dirTtlMs, config.cache.negativeTtlMs}));
    EXPECT_EQ(Names(v, "/d"), (std::set<std::string>{kComposed, made, moved}));
    file = h.openFile(made);
    ASSERT_TRUE(file);
    EXPECT_EQ(h.readAll(file), "made here");
    v.closeNow(file);
    EXPECT_EQ(v.getattr(kDecomposed, attr).code, Status::kNotFound);
    v.stop(0);
  }
}

}  // namespace
}  // namespace tarn
