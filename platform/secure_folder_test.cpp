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

// The service's own files: mended when they are its own and only their
// mode is too open; refused, and left as they are, when anyone else could
// have made or changed them.
TEST(SecureFolderTest, ServiceFilesAreMendedWhenTheirsAndRefusedElse) {
  struct Case {
    const char* what;
    std::function<void(const std::string& file, const std::string& parent)> prepare;
    const char* refusal;  // nullptr: ok
    bool mended;
    mode_t mode;  // afterwards, of a file that is there
  };
  const Case cases[] = {
      {"nothing there", [](const std::string&, const std::string&) {}, nullptr, false, 0},
      {"its own, open to all",
       [](const std::string& f, const std::string&) {
         ASSERT_TRUE(vx::WriteFileAtomic(f, std::string("{}")));
         ASSERT_EQ(::chmod(f.c_str(), 0666), 0);
       },
       nullptr, true, 0600},
      {"its own, readable by all",
       [](const std::string& f, const std::string&) {
         ASSERT_TRUE(vx::WriteFileAtomic(f, std::string("{}")));
         ASSERT_EQ(::chmod(f.c_str(), 0644), 0);
       },
       nullptr, true, 0600},
      {"its own, private", [](const std::string& f, const std::string&) { ASSERT_TRUE(vx::WritePrivateFileAtomic(f, "{}")); },
       nullptr, false, 0600},
      {"another user's",
       [](const std::string& f, const std::string&) {
         ASSERT_TRUE(vx::WriteFileAtomic(f, std::string("{}")));
         ASSERT_EQ(::chmod(f.c_str(), 0644), 0);
         ASSERT_EQ(::chown(f.c_str(), kNobody, kNobody), 0);
       },
       "belongs to nobody (uid 65534), not to ", false, 0644},
      {"a link to a file of its own",
       [](const std::string& f, const std::string& parent) {
         ASSERT_TRUE(vx::WriteFileAtomic(parent + "/shadow", std::string("secret")));
         ASSERT_EQ(::symlink((parent + "/shadow").c_str(), f.c_str()), 0);
       },
       "is a symbolic link", false, 0},
      {"a second name of a file of its own",
       [](const std::string& f, const std::string& parent) {
         ASSERT_TRUE(vx::WriteFileAtomic(parent + "/shadow", std::string("secret")));
         ASSERT_EQ(::chmod((parent + "/shadow").c_str(), 0644), 0);
         ASSERT_EQ(::link((parent + "/shadow").c_str(), f.c_str()), 0);
       },
       "has other names (hard links)", false, 0644},
      {"a folder", [](const std::string& f, const std::string&) { ASSERT_EQ(::mkdir(f.c_str(), 0755), 0); },
       "is not a plain file", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir parent;
    const std::string file = parent.file("config.json");
    c.prepare(file, parent.path());
    struct stat before {};
    const bool there = ::lstat(file.c_str(), &before) == 0;
    bool mended = !c.mended;
    const Status s = SecureServiceFile(file, &mended);
    if (c.refusal == nullptr) {
      EXPECT_TRUE(s.ok()) << s.toString();
    } else {
      EXPECT_EQ(s.code, Status::kAccessDenied);
      EXPECT_NE(s.message.find(file + " " + c.refusal), std::string::npos) << s.message;
    }
    EXPECT_EQ(mended, c.mended);
    if (!there) continue;
    const struct stat after = Stat(file);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, before.st_uid);
    if (c.mode != 0) {
      EXPECT_EQ(after.st_mode & 07777, c.mode);
    }
  }
}

// The service's own folders: made or mended when nobody else could have
// changed them or what lies above them; refused with the reason else.
TEST(SecureFolderTest, ServiceFoldersAreMadeOrMendedOnlyBelowTrustedFolders) {
  struct Case {
    const char* what;
    // Prepares `above` (the folder the service's folder lies in, made by
    // the test) and the service's folder `dir` in it.
    std::function<void(const std::string& above, const std::string& dir)> prepare;
    const char* refusal;  // nullptr: ok, and `dir` is a folder of root's, mode 0700
  };
  const Case cases[] = {
      {"nothing there", [](const std::string&, const std::string&) {}, nullptr},
      {"its own, open to all",
       [](const std::string&, const std::string& dir) {
         ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
         ASSERT_EQ(::chmod(dir.c_str(), 0777), 0);
       },
       nullptr},
      {"below a folder like /tmp", [](const std::string& above, const std::string&) { ASSERT_EQ(::chmod(above.c_str(), 01777), 0); },
       nullptr},
      {"another user's",
       [](const std::string&, const std::string& dir) {
         ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
         ASSERT_EQ(::chown(dir.c_str(), kNobody, kNobody), 0);
       },
       "belongs to nobody (uid 65534)"},
      {"a link to a folder of its own",
       [](const std::string& above, const std::string& dir) {
         ASSERT_EQ(::mkdir((above + "/real").c_str(), 0700), 0);
         ASSERT_EQ(::symlink((above + "/real").c_str(), dir.c_str()), 0);
       },
       "is a symbolic link"},
      {"a file", [](const std::string&, const std::string& dir) { ASSERT_TRUE(vx::WriteFileAtomic(dir, "x")); },
       "is not a folder"},
      {"below a folder others may write into",
       [](const std::string& above, const std::string&) { ASSERT_EQ(::chmod(above.c_str(), 0777), 0); },
       "which other users may change"},
      {"below a folder of another user",
       [](const std::string& above, const std::string&) { ASSERT_EQ(::chown(above.c_str(), kNobody, kNobody), 0); },
       "which belongs to nobody (uid 65534)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir top;
    const std::string above = top.file("var");
    ASSERT_EQ(::mkdir(above.c_str(), 0755), 0);
    const std::string dir = above + "/tarn";
    c.prepare(above, dir);
    struct stat before {};
    const bool there = ::lstat(dir.c_str(), &before) == 0;
    const Status s = SecureServiceFolder(dir);
    if (c.refusal == nullptr) {
      ASSERT_TRUE(s.ok()) << s.toString();
      const struct stat st = Stat(dir);
      EXPECT_TRUE(S_ISDIR(st.st_mode));
      EXPECT_EQ(st.st_uid, 0u);
      EXPECT_EQ(st.st_mode & 07777, 0700u);
      continue;
    }
    EXPECT_EQ(s.code, Status::kAccessDenied);
    EXPECT_NE(s.message.find(c.refusal), std::string::npos) << s.message;
    // What lies there is left for an administrator to look at.
    struct stat after {};
    EXPECT_EQ(::lstat(dir.c_str(), &after) == 0, there);
    if (there) {
      EXPECT_EQ(after.st_ino, before.st_ino);
      EXPECT_EQ(after.st_mode, before.st_mode);
    }
  }
  // A link further up is refused when another user made it, and followed
  // when it is root's, with the folders along its target checked too.
  test::TempDir top;
  ASSERT_EQ(::mkdir(top.file("real").c_str(), 0755), 0);
  ASSERT_EQ(::symlink(top.file("real").c_str(), top.file("var").c_str()), 0);
  ASSERT_EQ(::lchown(top.file("var").c_str(), kNobody, kNobody), 0);
  Status s = SecureServiceFolder(top.file("var/tarn"));
  EXPECT_NE(s.message.find("lies below " + top.file("var") + ", a symbolic link of"), std::string::npos)
      << s.toString();
  EXPECT_FALSE(fs::exists(top.file("real/tarn")));

  ASSERT_EQ(::lchown(top.file("var").c_str(), 0, 0), 0);
  ASSERT_TRUE(SecureServiceFolder(top.file("var/tarn")).ok());
  EXPECT_EQ(Stat(top.file("real/tarn")).st_mode & 07777, 0700u);

  // Root's relative link whose target climbs into a folder others may change.
  ASSERT_EQ(::mkdir(top.file("open").c_str(), 0777), 0);
  ASSERT_EQ(::chmod(top.file("open").c_str(), 0777), 0);
  ASSERT_EQ(::mkdir(top.file("real/sub").c_str(), 0755), 0);
  ASSERT_EQ(::symlink("../../open", top.file("real/sub/up").c_str()), 0);
  s = SecureServiceFolder(top.file("var/sub/up/tarn"));
  EXPECT_NE(s.message.find("lies in " + top.file("open") + ", which other users may change"), std::string::npos)
      << s.toString();
  EXPECT_FALSE(fs::exists(top.file("open/tarn")));
}

}  // namespace
}  // namespace tarn
