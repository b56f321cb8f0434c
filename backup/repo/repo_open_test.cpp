#include <gtest/gtest.h>

#include <functional>

#include "backup/repo/repo_test_world.h"
#include "foundation/json.h"

namespace tarn::backup {
namespace {

using test::MemOp;

TEST(RepoOpen, CreatedRepositoryOpensOnlyWithItsPassword) {
  RepoWorld w;
  auto created = w.create();
  EXPECT_TRUE(w.server->exists("/data") && w.server->exists("/index") && w.server->exists("/snapshots"));
  EXPECT_EQ(created->repoId.size(), 32u);

  auto opened = w.make();
  ASSERT_TRUE(opened->probe().ok());
  ASSERT_TRUE(opened->open(kTestPassword).ok());
  EXPECT_EQ(opened->repoId, created->repoId);
  EXPECT_EQ(opened->chunkerParams.seed, created->chunkerParams.seed);
  EXPECT_EQ(opened->chunkerParams.max, kChunkMaxDefault);

  Status st = w.make()->open("wrong");
  EXPECT_EQ(st.code, Status::kAuthFailed);
  EXPECT_EQ(st.message, "wrong repository password");

  w.server->clearCalls();
  st = w.make()->init(kTestPassword);
  EXPECT_EQ(st.code, Status::kExists);
  EXPECT_EQ(st.message, "the folder already holds a backup repository");
  EXPECT_EQ(w.server->countCalls(MemOp::kOpenWrite) + w.server->countCalls(MemOp::kMkdir), 0);

  st = RepoWorld().make()->init("");
  EXPECT_EQ(st.code, Status::kInvalid);
  EXPECT_EQ(st.message, "the repository password is empty");
  EXPECT_EQ(RepoWorld().make()->probe().code, Status::kNotFound);

  RepoWorld tooSlow;
  tooSlow.options.kdfIterations = uint32_t(kMaxKdfIterations + 1);
  EXPECT_EQ(tooSlow.make()->init(kTestPassword).code, Status::kInvalid) << "no open would accept it";
}

TEST(RepoOpen, NoNewRepositoryIsMadeOverTheDataOfOneWhoseConfigIsGone) {
  struct Case {
    std::vector<std::string> files;
    const char* found;  // empty: a repository is made
  } cases[] = {
      {{"/data/ab/" + std::string(64, 'a')}, "data/"},
      {{"/index/" + std::string(64, 'b'), "/snapshots/" + std::string(64, 'c')}, "index/, snapshots/"},
      {{"/keys"}, "keys"},
      {{"/locks/x"}, "locks/"},
      {{"/notes.txt", "/photos/a.jpg"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.files.front());
    RepoWorld w;
    for (const std::string& f : c.files) w.server->putFile(f, "x");
    w.server->clearCalls();
    Status st = w.make()->init(kTestPassword);
    if (*c.found == '\0') {
      EXPECT_TRUE(st.ok()) << st.toString();
      continue;
    }
    EXPECT_EQ(st.code, Status::kExists);
    EXPECT_EQ(st.message, std::string("the folder holds backup data without its \"/config\" (") + c.found +
                              "); no new repository is made over it");
    EXPECT_EQ(w.server->countCalls(MemOp::kOpenWrite) + w.server->countCalls(MemOp::kMkdir), 0);
    EXPECT_FALSE(w.server->exists("/config"));
  }
}

TEST(RepoOpen, DamagedOrForgedConfigIsRefused) {
  using Edit = std::function<void(vx::json::Value&)>;
  auto set = [](const char* key, vx::json::Value v) { return Edit([=](vx::json::Value& c) { c.set(key, v); }); };
  auto kdf = [](const char* key, vx::json::Value v) {
    return Edit([=](vx::json::Value& c) {
      vx::json::Value k = c["kdf"];
      k.set(key, v);
      c.set("kdf", k);
    });
  };
  auto chunker = [](const char* key, vx::json::Value v) {
    return Edit([=](vx::json::Value& c) {
      vx::json::Value k = c["chunker"];
      k.set(key, v);
      c.set("chunker", k);
    });
  };
  const std::string notRepo = "the folder does not hold a Tarn backup repository";
  const std::string iterations = "the repository config has an iteration count out of range";
  const std::string sizes = "the repository config has chunk sizes out of range";
  struct Case {
    const char* name;
    Edit edit;
    std::string text;  // replaces the whole file when set
    int32_t code;
    std::string message;
  } cases[] = {
      {"version 2", set("version", 2), "", 11, "the repository was made by a newer Tarn (format 2)"},
      {"no version", set("version", vx::json::Value()), "", 11, "the repository was made by a newer Tarn (format 0)"},
      {"array", nullptr, "[]", 18, notRepo},
      {"not JSON", nullptr, "{\"format\":", 18, notRepo},
      {"other format", set("format", "other-backup"), "", 18, notRepo},
      {"salt not base64", kdf("salt", "%%%"), "", 18, "the repository config is damaged"},
      {"keys not base64", set("keys", "%%%"), "", 18, "the repository config is damaged"},
      {"iterations changed", kdf("iterations", 999), "", 4, "wrong repository password"},
      {"iterations past 32 bits", kdf("iterations", 4294968296.0), "", 18, iterations},
      {"iterations above the bound", kdf("iterations", double(kMaxKdfIterations + 1)), "", 18, iterations},
      {"iterations zero", kdf("iterations", 0), "", 18, iterations},
      {"iterations negative", kdf("iterations", -5), "", 18, iterations},
      {"max chunk of 4 GiB", chunker("max", 4294967295.0), "", 18, sizes},
      {"max chunk past 32 bits", chunker("max", 4294967301.0), "", 18, sizes},
      {"negative min chunk", chunker("min", -1), "", 18, sizes},
      {"avg chunk above the bound", chunker("avg", double(kMaxChunkBytes + 1)), "", 18, sizes},
      {"no chunker", set("chunker", vx::json::Value()), "", 0, ""},
  };
  RepoWorld w;
  w.create();
  std::string original;
  ASSERT_TRUE(w.server->readFile("/config", &original));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = c.text;
    if (text.empty()) {
      vx::json::Value config;
      ASSERT_TRUE(vx::json::Parse(original, config));
      c.edit(config);
      text = config.dump(2);
    }
    w.server->putFile("/config", text);
    auto repo = w.make();
    Status st = repo->open(kTestPassword);
    EXPECT_EQ(st.code, c.code);
    EXPECT_EQ(st.message, c.message);
    if (st.ok()) {
      EXPECT_EQ(repo->chunkerParams.min, kChunkMinDefault);
    }
  }
}

TEST(RepoOpen, EveryRepositoryHasItsOwnKeys) {
  RepoWorld a, b;
  auto ra = a.create();
  auto rb = b.create();
  EXPECT_NE(ra->repoId, rb->repoId);
  EXPECT_NE(ra->chunkerParams.seed, rb->chunkerParams.seed);
  std::vector<uint8_t> data(100, 7);
  EXPECT_FALSE(a.store(*ra, data) == b.store(*rb, data)) << "blob ids are keyed per repository";
}

}  // namespace
}  // namespace tarn::backup
