#include "service/cache_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "foundation/file_util.h"
#include "platform/secure_folder.h"
#include "testing/temp_dir.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

bool PrivateFolderOfRoot(const std::string& dir) {
  struct stat st {};
  return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == 0 && (st.st_mode & 07777) == 0700;
}

bool SetAsideIn(const std::string& parent) {
  for (const auto& e : fs::directory_iterator(parent))
    if (e.path().filename().string().find(kUntrustedSuffix) != std::string::npos) return true;
  return false;
}

void MakeFolder(const std::string& dir, mode_t mode, uid_t owner = 0) {
  ASSERT_TRUE(vx::MakeDirs(dir));
  ASSERT_EQ(::chmod(dir.c_str(), mode), 0);
  ASSERT_EQ(::chown(dir.c_str(), owner, owner), 0);
}

// The drive engine writes a drive's cache as root: the folder becomes the
// service's own below folders nobody else may change, what a user made at
// its place is set aside, and a folder that could still be swapped, or an
// entry of the engine's that leads elsewhere, refuses the drive.
TEST(CacheFolderTest, ADrivesCacheFolderIsTheServicesOwnOrTheDriveIsRefused) {
  struct Case {
    const char* what;
    const char* chosen;  // the settings' folder below the base; nullptr: the drive's own below "caches"
    std::function<void(const std::string& base)> prepare;
    const char* refusal;  // nullptr: usable
    bool setAside;
  };
  const Case cases[] = {
      {"nothing there yet", nullptr, [](const std::string&) {}, nullptr, false},
      {"a cache root open to all", nullptr, [](const std::string& b) { MakeFolder(b + "/caches", 0777); }, nullptr,
       false},
      {"the drive's folder taken by a user", nullptr,
       [](const std::string& b) {
         MakeFolder(b + "/caches", 0700);
         MakeFolder(b + "/caches/d1", 0777, kNobody);
       },
       nullptr, true},
      {"a chosen folder that is a user's link", "kept/cache",
       [](const std::string& b) {
         MakeFolder(b + "/kept", 0755);
         MakeFolder(b + "/theirs", 0755, kNobody);
         ASSERT_EQ(::symlink((b + "/theirs").c_str(), (b + "/kept/cache").c_str()), 0);
       },
       nullptr, true},
      {"a chosen folder in a folder anyone may write into", "public/cache",
       [](const std::string& b) { MakeFolder(b + "/public", 0777); }, "which other users may change", false},
      {"a chosen folder in a user's folder", "home/cache",
       [](const std::string& b) { MakeFolder(b + "/home", 0755, kNobody); }, "which belongs to nobody (uid 65534)",
       false},
      {"a journal made a link while the folder was open", "open",
       [](const std::string& b) {
         MakeFolder(b + "/open", 0777);
         ASSERT_TRUE(vx::WriteFileAtomic(b + "/target", std::string("root's")));
         ASSERT_EQ(::symlink((b + "/target").c_str(), (b + "/open/journal.json").c_str()), 0);
       },
       "journal.json is a symbolic link", false},
      {"a data folder of a user's", "open",
       [](const std::string& b) {
         MakeFolder(b + "/open", 0777);
         MakeFolder(b + "/open/data", 0700, kNobody);
       },
       "data belongs to nobody (uid 65534)", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir base;
    c.prepare(base.path());
    MountConfig config;
    config.id = "d1";
    if (c.chosen != nullptr) config.cache.dir = base.file(c.chosen);
    const std::string dir = c.chosen != nullptr ? config.cache.dir : base.file("caches/d1");
    const Status st = OpenCacheFolder(config, base.file("caches"));
    if (c.refusal != nullptr) {
      EXPECT_EQ(st.code, Status::kAccessDenied);
      EXPECT_NE(st.message.find("cannot use the cache folder " + dir + ": "), std::string::npos) << st.message;
      EXPECT_NE(st.message.find(c.refusal), std::string::npos) << st.message;
    } else {
      ASSERT_TRUE(st.ok()) << st.toString();
      EXPECT_TRUE(PrivateFolderOfRoot(dir));
      EXPECT_TRUE(PrivateFolderOfRoot(dir + "/data"));
      if (c.chosen == nullptr) {
        EXPECT_TRUE(PrivateFolderOfRoot(base.file("caches")));
      }
    }
    EXPECT_EQ(SetAsideIn(fs::path(dir).parent_path().string()), c.setAside);
    // Nothing was written where a user's link or folder led.
    if (fs::exists(base.file("theirs"))) {
      EXPECT_TRUE(fs::is_empty(base.file("theirs")));
    }
    std::string target;
    if (vx::ReadWholeFile(base.file("target"), target)) {
      EXPECT_EQ(target, "root's");
    }
    EXPECT_FALSE(fs::exists(base.file("public/cache")));
    EXPECT_FALSE(fs::exists(base.file("home/cache")));
  }
}

}  // namespace
}  // namespace tarn
