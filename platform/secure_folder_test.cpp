#include "platform/secure_folder.h"

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "foundation/file_util.h"
#include "testing/temp_dir.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;
constexpr uint32_t kNamedUser = 4242;
constexpr uint32_t kUndefinedId = 0xFFFFFFFF;

// A POSIX access ACL that lets one more user in, as the kernel stores it.
std::vector<uint8_t> AclForNamedUser() {
  struct Entry {
    uint16_t tag;
    uint16_t perm;
    uint32_t id;
  };
  const Entry entries[] = {{0x01, 7, kUndefinedId}, {0x02, 7, kNamedUser}, {0x04, 5, kUndefinedId},
                           {0x10, 7, kUndefinedId}, {0x20, 0, kUndefinedId}};
  std::vector<uint8_t> blob(4 + sizeof(entries));
  const uint32_t version = 2;
  std::memcpy(blob.data(), &version, 4);
  std::memcpy(blob.data() + 4, entries, sizeof(entries));
  return blob;
}

struct stat Stat(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st;
}

std::vector<std::string> AsideNames(const std::string& parent) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(parent)) {
    const std::string name = e.path().filename().string();
    if (name.find(kUntrustedSuffix) != std::string::npos) out.push_back(name);
  }
  return out;
}

TEST(SecureFolderTest, LeavesOnlyARootFolderOfMode0700) {
  struct Case {
    const char* what;
    std::function<void(const std::string& dir, const std::string& parent)> prepare;
    bool setAside;
    const char* keptFile;  // what must still be in the folder afterwards
  };
  const Case cases[] = {
      {"nothing there", [](const std::string&, const std::string&) {}, false, nullptr},
      {"root's folder, open to all, with an ACL",
       [](const std::string& dir, const std::string&) {
         ASSERT_EQ(::mkdir(dir.c_str(), 0777), 0);
         ASSERT_EQ(::chmod(dir.c_str(), 0777), 0);
         ASSERT_TRUE(vx::WriteFileAtomic(dir + "/jobs.json", std::string("{}")));
         const std::vector<uint8_t> acl = AclForNamedUser();
         ASSERT_EQ(::setxattr(dir.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0), 0);
       },
       false, "jobs.json"},
      {"a folder of another user",
       [](const std::string& dir, const std::string&) {
         ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
         ASSERT_EQ(::chown(dir.c_str(), kNobody, kNobody), 0);
       },
       true, nullptr},
      {"a symbolic link to a folder of root's",
       [](const std::string& dir, const std::string& parent) {
         ASSERT_EQ(::mkdir((parent + "/elsewhere").c_str(), 0700), 0);
         ASSERT_EQ(::symlink((parent + "/elsewhere").c_str(), dir.c_str()), 0);
       },
       true, nullptr},
      {"a file", [](const std::string& dir, const std::string&) { ASSERT_TRUE(vx::WriteFileAtomic(dir, "x")); }, true,
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir parent;
    const std::string dir = parent.file("backup");
    c.prepare(dir, parent.path());
    std::string aside;
    const Status s = SecurePrivateFolder(dir, &aside);
    ASSERT_TRUE(s.ok()) << s.toString();
    const struct stat st = Stat(dir);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_LT(::getxattr(dir.c_str(), "system.posix_acl_access", nullptr, 0), 0);
    if (c.keptFile != nullptr) {
      EXPECT_TRUE(vx::FileExists(dir + "/" + c.keptFile));
    }
    EXPECT_EQ(AsideNames(parent.path()).size(), c.setAside ? 1u : 0u);
    EXPECT_EQ(aside.empty(), !c.setAside);
    if (c.setAside) {
      EXPECT_EQ(aside.rfind(dir + kUntrustedSuffix, 0), 0u) << aside;
    }
  }
}

TEST(SecureFolderTest, TrustsOnlyRootFoldersNobodyElseMayWrite) {
  struct Case {
    const char* what;
    mode_t mode;
    uid_t owner;
    bool link;
    bool trusted;
  };
  const Case cases[] = {
      {"root, 0755", 0755, 0, false, true},
      {"root, 0775", 0775, 0, false, false},
      {"root, 0757", 0757, 0, false, false},
      {"another owner, 0700", 0700, kNobody, false, false},
      {"a link to root's folder", 0755, 0, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir parent;
    const std::string real = parent.file("real");
    ASSERT_EQ(::mkdir(real.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(real.c_str(), c.mode), 0);
    ASSERT_EQ(::chown(real.c_str(), c.owner, c.owner), 0);
    std::string dir = real;
    if (c.link) {
      dir = parent.file("link");
      ASSERT_EQ(::symlink(real.c_str(), dir.c_str()), 0);
    }
    EXPECT_EQ(CheckTrustedFolder(dir).ok(), c.trusted) << CheckTrustedFolder(dir).toString();
  }
}

}  // namespace
}  // namespace tarn
