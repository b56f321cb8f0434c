// Restores with the rights of the user who asked: run as root, acting for an
// unprivileged user, and with switches that fail.
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>

#include "backup/engine/restore.h"
#include "backup/engine/restore_test_world.h"
#include "backup/repo/repo_test_world.h"
#include "foundation/text.h"
#include "platform/caller_rights.h"
#include "testing/files_as_user.h"
#include "testing/temp_dir.h"

namespace tarn::backup {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kUserUid = 4242;
constexpr uint32_t kUserGid = 4343;
const CallerToken kUser{kUserUid, kUserGid, {}};
const CallerToken kRoot{0, 0, {}};
// setfsuid of an id that maps to no one only reads the current one.
constexpr uid_t kQueryId = static_cast<uid_t>(-1);

// A folder at `path` owned by uid:gid with the mode.
std::string Folder(const std::string& path, uid_t uid, gid_t gid, mode_t mode) {
  EXPECT_EQ(::mkdir(path.c_str(), 0700), 0) << path;
  EXPECT_EQ(::chown(path.c_str(), uid, gid), 0);
  EXPECT_EQ(::chmod(path.c_str(), mode), 0);
  return path;
}

class RestoreRightsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::geteuid(), 0u) << "the restore rights tests switch users and must run as root";
    VersionBuilder v(*repo_);
    v.file("docs/a.txt", "alpha");
    v.file("docs/sub/b.txt", "beta");
    v.file("top.txt", "top");
    version_ = v.write();
  }
  Status restore(const RestoreRequest& request) {
    progress_ = std::make_unique<Progress>();
    problems_.clear();
    return Restore(*repo_, version_, request, *progress_, nullptr, problems_);
  }
  RestoreRequest asUser(const std::string& target) {
    RestoreRequest r;
    r.target = target;
    r.asCaller = CallerSwitch(kUser);
    return r;
  }

  RepoWorld world_;
  std::shared_ptr<Repo> repo_ = world_.create();
  SnapshotInfo version_;
  tarn::test::TempDir dir_{"tarn-restore-rights", 0755};
  std::unique_ptr<Progress> progress_;
  std::vector<std::string> problems_;
};

TEST_F(RestoreRightsTest, TheCallerWritesOnlyWhereTheyMay) {
  const std::string rootOnly = Folder(dir_.file("root-only"), 0, 0, 0755);
  const std::string own = Folder(dir_.file("own"), kUserUid, kUserGid, 0700);
  struct Case {
    std::string target;
    int32_t code;
    std::string message;
  } cases[] = {
      {rootOnly, Status::kAccessDenied, "cannot write to " + rootOnly + ": " + vx::FormatWin32Error(EACCES)},
      {rootOnly + "/new", Status::kAccessDenied,
       "cannot create " + rootOnly + "/new: " + vx::FormatWin32Error(EACCES)},
      {own + "/new/deeper", Status::kOk, ""},
      {own, Status::kOk, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    Status st = restore(asUser(c.target));
    EXPECT_EQ(st.code, c.code);
    EXPECT_EQ(st.message, c.message);
    if (!st.ok()) continue;
    EXPECT_TRUE(problems_.empty()) << problems_.front();
    EXPECT_EQ(ReadText(c.target + "/docs/sub/b.txt"), "beta");
    for (const std::string& made : TreeOf(c.target)) {
      struct stat st = StatOf(c.target + "/" + made);
      EXPECT_EQ(st.st_uid, kUserUid) << made;
      EXPECT_EQ(st.st_gid, kUserGid) << made;
      EXPECT_EQ(made.find(kRestoreTempSuffix), std::string::npos);
    }
  }
  EXPECT_EQ(TreeOf(rootOnly), std::vector<std::string>{});
  EXPECT_EQ(::setfsuid(kQueryId), 0);  // the test thread is itself again
}

// A link on the way to where a restore writes is followed only where
// nobody but root and the caller could have put it: a user's link at the
// target or at a folder above it leads no restore of root's into a folder
// of root's, and neither does one of root's that a user could have moved.
TEST_F(RestoreRightsTest, LinksOthersCouldHavePlantedOnTheWayAreRefused) {
  const std::string rootOnly = Folder(dir_.file("root-only"), 0, 0, 0700);
  const std::string landing = Folder(dir_.file("landing"), 0, 0, 0755);
  const std::string home = Folder(dir_.file("home"), kUserUid, kUserGid, 0755);
  const std::string mine = Folder(home + "/mine", kUserUid, kUserGid, 0755);
  const std::string shared = Folder(dir_.file("shared"), 0, 0, 01777);  // as /tmp
  test::FilesAsUser planted(kUserUid, {{home + "/restored", rootOnly},
                                       {home + "/parent", rootOnly},
                                       {shared + "/users", rootOnly},
                                       {home + "/to-mine", "mine"}});
  ASSERT_EQ(planted.report().opened, 4u);
  for (const auto& [at, target] : {std::pair(dir_.file("roots"), landing), std::pair(home + "/roots", landing),
                                   std::pair(shared + "/roots", landing)})
    ASSERT_EQ(::symlink(target.c_str(), at.c_str()), 0) << at;
  const std::string userMade = ": another user (uid " + std::to_string(kUserUid) + ") made it";
  struct Case {
    const CallerToken* caller;
    std::string target;
    std::string refusal;  // empty: restored into `landed`
    std::string landed;
  } cases[] = {
      {&kRoot, home + "/restored", "refused to follow the link " + home + "/restored" + userMade, ""},
      {&kRoot, home + "/parent/restored", "refused to follow the link " + home + "/parent" + userMade, ""},
      {&kRoot, shared + "/users/restored", "refused to follow the link " + shared + "/users" + userMade, ""},
      {&kRoot, home + "/roots/restored",
       "refused to follow the link " + home + "/roots: others may change the folder it is in", ""},
      {&kRoot, dir_.file("roots") + "/restored", "", landing + "/restored"},
      {&kRoot, shared + "/roots/restored", "", landing + "/restored"},
      {&kUser, home + "/to-mine/restored", "", mine + "/restored"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    RestoreRequest r;
    r.target = c.target;
    r.asCaller = CallerSwitch(*c.caller);
    r.callerUid = c.caller->uid;
    r.restoreOwners = c.caller->uid == 0;
    const Status st = restore(r);
    if (c.refusal.empty()) {
      ASSERT_TRUE(st.ok()) << st.toString();
      EXPECT_EQ(ReadText(c.landed + "/docs/sub/b.txt"), "beta");
      fs::remove_all(c.landed);
    } else {
      EXPECT_EQ(st.code, Status::kAccessDenied);
      EXPECT_EQ(st.message, c.refusal);
    }
    EXPECT_EQ(TreeOf(rootOnly), std::vector<std::string>{});
  }

  // Back to the place the version recorded, which a user has since made a
  // link: the folder is not restored, and says why.
  VersionBuilder v(*repo_);
  v.file("docs/a.txt", "alpha");
  v.source("docs", home + "/docs");
  version_ = v.write();
  test::FilesAsUser replaced(kUserUid, {{home + "/docs", rootOnly}});
  ASSERT_EQ(replaced.report().opened, 1u);
  RestoreRequest r;
  r.asCaller = CallerSwitch(kRoot);
  r.restoreOwners = true;
  ASSERT_TRUE(restore(r).ok());
  EXPECT_EQ(problems_, std::vector<std::string>{home + "/docs: refused to follow the link " + home + "/docs" +
                                                userMade + "; the 1 file in it is not restored"});
  EXPECT_EQ(TreeOf(rootOnly), std::vector<std::string>{});
}

TEST_F(RestoreRightsTest, AFolderTheCallerCannotWriteIsAProblemAndTheRestGoesOn) {
  const std::string own = Folder(dir_.file("own"), kUserUid, kUserGid, 0755);
  Folder(own + "/docs", 0, 0, 0755);  // placed by root in the caller's folder
  ASSERT_TRUE(restore(asUser(own)).ok());
  const std::string denied = " (" + vx::FormatWin32Error(EACCES) + ")";
  std::sort(problems_.begin(), problems_.end());
  EXPECT_EQ(problems_, (std::vector<std::string>{own + "/docs/a.txt: cannot create" + denied,
                                                 own + "/docs/sub: cannot create the folder" + denied +
                                                     "; the 1 file in it is not restored"}));
  EXPECT_EQ(ReadText(own + "/top.txt"), "top");
  EXPECT_EQ(TreeOf(own + "/docs"), std::vector<std::string>{});
  EXPECT_EQ(progress_->errors.load(), 2u);
}

TEST_F(RestoreRightsTest, ACallerWhoIsNotRootGetsTheRecordedBitsOnItemsOfTheirOwn) {
  VersionBuilder v(*repo_);
  v.file("docs/key", "secret");
  v.mode("docs/key", 0600);
  v.file("docs/tool", "#!/bin/sh");
  v.mode("docs/tool", 06755);
  v.file("docs/plain.txt", "plain");
  // A folder the owner may not write: it gets its bits once its files are in.
  v.mode("docs", 0555);
  for (const char* item : {"docs", "docs/key", "docs/tool"}) v.owner(item, 0, 0);
  version_ = v.write();
  const std::string own = Folder(dir_.file("own"), kUserUid, kUserGid, 0700);
  RestoreRequest r = asUser(own);
  r.umask = 027;
  ASSERT_TRUE(restore(r).ok());
  EXPECT_TRUE(problems_.empty()) << problems_.front();
  struct Expect {
    const char* path;
    uint32_t mode;
  } items[] = {{"docs", 0555}, {"docs/key", 0600}, {"docs/tool", 0755}, {"docs/plain.txt", 0600 & ~027u}};
  for (const Expect& e : items) {
    const struct stat st = StatOf(own + "/" + e.path);
    EXPECT_EQ(st.st_mode & 07777, e.mode) << e.path;
    EXPECT_EQ(st.st_uid, kUserUid) << e.path;
    EXPECT_EQ(st.st_gid, kUserGid) << e.path;
  }
  EXPECT_EQ(ReadText(own + "/docs/plain.txt"), "plain");
  ::chmod((own + "/docs").c_str(), 0755);  // so that the folder can be removed
}

TEST_F(RestoreRightsTest, WithoutTheCallersRightsNothingIsWritten) {
  // Writable for anyone: whatever lands here was written with the service's
  // rights when it should not have been.
  const std::string open = Folder(dir_.file("open"), 0, 0, 0777);
  const Status refused(Status::kAccessDenied, "cannot switch the file-system user", EPERM);
  struct Case {
    const char* name;
    int enterSucceeds;  // calls of asCaller(true) that succeed; -1: no asCaller at all
    bool leaveFails;
    bool inProcess;
    int32_t code;
    std::string message;
    size_t problems;
  } cases[] = {
      {"switch refused from the start", 0, false, false, Status::kAccessDenied,
       "cannot take over the caller's rights", 0},
      {"switch refused for every item", 2, false, false, Status::kOk, "", 2},
      {"switch back fails", 1000, true, false, Status::kAccessDenied,
       "cannot return to the service's own rights: cannot switch the file-system user", 0},
      {"no caller from outside the process", -1, false, false, Status::kAccessDenied,
       "a restore needs the rights of the user who asked for it", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::atomic<int> entered{0};
    RestoreRequest r;
    r.target = open;
    r.inProcess = c.inProcess;
    if (c.enterSucceeds >= 0) {
      // Succeeds without switching: anything written is written as root.
      // Workers call it too, each for its own thread.
      r.asCaller = [&](bool enter) {
        if (enter) return entered++ < c.enterSucceeds ? Status() : refused;
        return c.leaveFails ? refused : Status();
      };
    }
    world_.server->clearCalls();
    Status st = restore(r);
    EXPECT_EQ(st.code, c.code);
    EXPECT_EQ(st.message, c.message);
    EXPECT_EQ(problems_.size(), c.problems);
    for (const std::string& p : problems_)
      EXPECT_NE(p.find(": cannot take over the caller's rights ("), std::string::npos) << p;
    EXPECT_EQ(TreeOf(open), std::vector<std::string>{});
    if (c.enterSucceeds < 0) {
      EXPECT_EQ(world_.server->countCalls(test::MemOp::kReadRange), 0);
    }
  }

  // Inside the process, without a caller, the service's own rights write.
  RestoreRequest r;
  r.target = open;
  r.inProcess = true;
  ASSERT_TRUE(restore(r).ok());
  EXPECT_EQ(StatOf(open + "/docs/a.txt").st_uid, 0u);
}

}  // namespace
}  // namespace tarn::backup
