#include <gtest/gtest.h>

#include "backup/repo/repo_test_world.h"
#include "foundation/json.h"

namespace tarn::backup {
namespace {

TEST(SnapshotJson, DefaultRecordHasEveryMemberInOrder) {
  EXPECT_EQ(SnapshotToJson(SnapshotInfo()).dump(),
            "{\"time\":0,\"host\":\"\",\"job\":\"\",\"name\":\"\",\"sources\":[],\"tree\":\"" + std::string(64, '0') +
                "\",\"files\":0,\"dirs\":0,\"bytes\":0,\"addedBytes\":0,\"storedBytes\":0,\"errors\":0,"
                "\"durationSec\":0,\"version\":\"\"}");
}

TEST(SnapshotJson, ReadingIsTolerantAndNeverUndefined) {
  struct Case {
    const char* json;
    int64_t time;
    uint64_t files;
    uint32_t errors;
    bool zeroTree;
  } cases[] = {
      {"{\"time\":\"42\",\"files\":\"123\"}", 42, 0, 0, true},  // only numbers count as counters
      {"{\"files\":9007199254740992,\"errors\":3}", 0, 9007199254740992ull, 3, true},
      {"{\"files\":-5,\"errors\":-1}", 0, 0, 0, true},
      {"{\"files\":1e30,\"errors\":1e30}", 0, UINT64_MAX, UINT32_MAX, true},
      {"{\"tree\":\"abc\"}", 0, 0, 0, true},
      {"{\"tree\":\"0101010101010101010101010101010101010101010101010101010101010101\"}", 0, 0, 0, false},
      {"[1,2]", 0, 0, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    vx::json::Value v;
    ASSERT_TRUE(vx::json::Parse(c.json, v));
    SnapshotInfo info = SnapshotFromJson(v);
    EXPECT_EQ(info.time, c.time);
    EXPECT_EQ(info.files, c.files);
    EXPECT_EQ(info.errors, c.errors);
    EXPECT_EQ(info.tree.isZero(), c.zeroTree);
  }
}

TEST(SnapshotRecords, WrittenRecordsListOldestFirstUnderTheirObjectNames) {
  RepoWorld w;
  auto repo = w.create();
  std::vector<SnapshotInfo> listed;
  ASSERT_TRUE(repo->listSnapshots(listed).ok());
  EXPECT_TRUE(listed.empty());

  std::vector<std::string> ids;
  for (int64_t time : {200, 100, 200}) {
    SnapshotInfo info;
    info.time = time;
    info.sources = {"/home/a", "/srv/b"};
    info.files = 1ull << 53;
    ASSERT_TRUE(repo->writeSnapshot(info).ok());
    EXPECT_EQ(info.version, "0.3.1");
    EXPECT_TRUE(w.server->exists("/snapshots/" + info.id));
    ids.push_back(info.id);
  }
  std::vector<std::string> later = {ids[0], ids[2]};
  std::sort(later.begin(), later.end());
  for (bool reverse : {false, true}) {
    w.server->setReverseListing(reverse);
    ASSERT_TRUE(repo->listSnapshots(listed).ok());
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].id, ids[1]);
    EXPECT_EQ(listed[1].id, later[0]);
    EXPECT_EQ(listed[2].id, later[1]);
    EXPECT_EQ(listed[2].sources, (std::vector<std::string>{"/home/a", "/srv/b"}));
    EXPECT_EQ(listed[2].files, 1ull << 53);
  }

  // A stored "id" member does not name the record.
  const std::string text = "{\"id\":\"bogus\",\"time\":300}";
  std::vector<uint8_t> sealed;
  ASSERT_TRUE(RepoTestPeer::cipher(*repo).seal(reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                                               kLabelSnapshot, sealed));
  const std::string name(64, 'e');
  w.server->putFile("/snapshots/" + name, std::string(sealed.begin(), sealed.end()));
  ASSERT_TRUE(repo->listSnapshots(listed).ok());
  ASSERT_EQ(listed.size(), 4u);
  EXPECT_EQ(listed[3].id, name);

  ASSERT_TRUE(repo->deleteSnapshot(name).ok());
  ASSERT_TRUE(repo->deleteSnapshot(ids[1]).ok());
  EXPECT_EQ(repo->deleteSnapshot(ids[1]).code, Status::kNotFound);
  ASSERT_TRUE(repo->listSnapshots(listed).ok());
  EXPECT_EQ(listed.size(), 2u);
}

}  // namespace
}  // namespace tarn::backup
