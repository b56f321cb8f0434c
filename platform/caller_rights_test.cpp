#include "platform/caller_rights.h"

#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "testing/gate.h"
#include "testing/temp_dir.h"

namespace tarn {
namespace {

constexpr uint32_t kCallerUid = 4242;
constexpr uint32_t kCallerGid = 4343;
constexpr uint32_t kCallerGroup = 4444;
constexpr uint32_t kOtherGroup = 4545;
// One more than the kernel accepts in a group list.
constexpr size_t kTooManyGroups = 65537;

// Owner of a new file, or the errno of its creation.
struct Created {
  int error = 0;
  uid_t uid = 0;
  gid_t gid = 0;
};

Created CreateFile(const std::string& path) {
  Created out;
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    out.error = errno;
    return out;
  }
  struct stat st {};
  ::fstat(fd, &st);
  ::close(fd);
  out.uid = st.st_uid;
  out.gid = st.st_gid;
  return out;
}

class CallerRightsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::geteuid(), 0u) << "the caller-rights tests switch users and must run as root";
    serviceGroups_ = ::getgroups(0, nullptr);
  }
  // A folder owned by root:group with the given mode.
  std::string Folder(const std::string& name, mode_t mode, gid_t group = 0) {
    std::string path = dir_.file(name);
    EXPECT_EQ(::mkdir(path.c_str(), 0700), 0);
    EXPECT_EQ(::chown(path.c_str(), 0, group), 0);
    EXPECT_EQ(::chmod(path.c_str(), mode), 0);
    return path;
  }

  static CallerToken Caller(std::vector<uint32_t> groups = {}) {
    return CallerToken{kCallerUid, kCallerGid, std::move(groups)};
  }

  test::TempDir dir_{"tarn-rights", 0755};
  int serviceGroups_ = 0;
};

TEST_F(CallerRightsTest, FilesAreMadeWithTheCallersRights) {
  std::string open = Folder("open", 0777);
  std::string closed = Folder("closed", 0755);
  Created mine, denied;
  {
    ScopedCallerRights rights;
    ASSERT_TRUE(rights.enter(Caller()).ok());
    mine = CreateFile(open + "/mine");
    denied = CreateFile(closed + "/denied");
  }
  // The guard's end switched back.
  Created service = CreateFile(closed + "/service");

  EXPECT_EQ(mine.error, 0);
  EXPECT_EQ(mine.uid, kCallerUid);
  EXPECT_EQ(mine.gid, kCallerGid);
  EXPECT_EQ(denied.error, EACCES);
  EXPECT_EQ(service.error, 0);
  EXPECT_EQ(service.uid, 0u);
  EXPECT_EQ(service.gid, 0u);
}

TEST_F(CallerRightsTest, SupplementaryGroupsDecideGroupAccess) {
  std::string team = Folder("team", 0770, kCallerGroup);
  struct Case {
    std::vector<uint32_t> groups;
    int error;
  } cases[] = {
      {{kCallerGroup}, 0},
      {{kOtherGroup, kCallerGroup}, 0},
      {{kOtherGroup}, EACCES},
      {{}, EACCES},
  };
  int n = 0;
  for (const auto& c : cases) {
    ScopedCallerRights rights;
    ASSERT_TRUE(rights.enter(Caller(c.groups)).ok());
    EXPECT_EQ(CreateFile(team + "/f" + std::to_string(n++)).error, c.error) << n;
  }
}

TEST_F(CallerRightsTest, FailedSwitchKeepsTheServiceRights) {
  std::string open = Folder("open", 0777);
  struct Case {
    const char* what;
    CallerToken caller;
  } cases[] = {
      // setfsuid takes -1 as a question and changes nothing: only reading
      // the value back shows that the switch did not happen.
      {"user -1", CallerToken{static_cast<uint32_t>(-1), kCallerGid, {}}},
      {"group -1", CallerToken{kCallerUid, static_cast<uint32_t>(-1), {}}},
      {"too many groups", CallerToken{kCallerUid, kCallerGid, std::vector<uint32_t>(kTooManyGroups, kCallerGroup)}},
  };
  int n = 0;
  for (const auto& c : cases) {
    ScopedCallerRights rights;
    Status s = rights.enter(c.caller);
    EXPECT_FALSE(s.ok()) << c.what;
    EXPECT_EQ(s.code, Status::kAccessDenied) << c.what;
    EXPECT_FALSE(rights.active()) << c.what;
    Created f = CreateFile(open + "/f" + std::to_string(n++));
    EXPECT_EQ(f.uid, 0u) << c.what;
    EXPECT_EQ(f.gid, 0u) << c.what;
    EXPECT_EQ(::getgroups(0, nullptr), serviceGroups_) << c.what;
  }
}

TEST_F(CallerRightsTest, CurrentRightsFollowTheSwitch) {
  CallerToken before, during, after;
  ASSERT_TRUE(CurrentThreadRights(before));
  EXPECT_EQ(before.uid, 0u);
  {
    ScopedCallerRights rights;
    ASSERT_TRUE(rights.enter(Caller({kCallerGroup})).ok());
    ASSERT_TRUE(CurrentThreadRights(during));
  }
  ASSERT_TRUE(CurrentThreadRights(after));
  EXPECT_EQ(during, Caller({kCallerGroup}));
  EXPECT_EQ(after, before);
}

TEST_F(CallerRightsTest, OtherThreadsKeepTheServiceRights) {
  std::string open = Folder("open", 0777);
  test::Gate switched;
  Created byWorker;
  Status entered;
  std::thread worker([&] {
    ScopedCallerRights rights;
    entered = rights.enter(Caller({kCallerGroup}));
    switched.arriveAndWait();
    byWorker = CreateFile(open + "/worker");
  });
  ASSERT_TRUE(switched.waitArrived());
  Created byMain = CreateFile(open + "/main");
  uint32_t mainFsUid = static_cast<uint32_t>(::setfsuid(static_cast<uid_t>(-1)));
  int mainGroups = ::getgroups(0, nullptr);
  switched.release();
  worker.join();

  ASSERT_TRUE(entered.ok()) << entered.toString();
  EXPECT_EQ(mainFsUid, 0u);
  EXPECT_EQ(mainGroups, serviceGroups_);
  EXPECT_EQ(byMain.uid, 0u);
  EXPECT_EQ(byMain.gid, 0u);
  EXPECT_EQ(byWorker.uid, kCallerUid);
  EXPECT_EQ(byWorker.gid, kCallerGid);
}

}  // namespace
}  // namespace tarn
