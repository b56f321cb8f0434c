#include "backup/engine/restore_filler.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "backup/engine/restore_test_world.h"
#include "backup/repo/repo_test_world.h"
#include "testing/temp_dir.h"

namespace tarn::backup {
namespace {

constexpr size_t kBlobSize = 65536;
constexpr size_t kFileSize = 10 * 1024 * 1024;  // more than one gathering: ranges queue as it is planned

// A file planned while the ranges of another with the same blobs wait in the
// queue joins those ranges: only the range a worker holds already is read
// again for it. The one worker is held on its first read, so what waits and
// what is in flight is known.
TEST(FileFiller, AFileJoinsTheWaitingRangesOfTheBlobsItShares) {
  RepoWorld world;
  world.options.packTargetSize = 2 * kFileSize;  // everything in one pack
  std::shared_ptr<Repo> repo = world.create();
  const std::vector<uint8_t> content = RandomBlob(kFileSize, 7);
  VersionBuilder v(*repo, kBlobSize);
  v.file("a", std::string(content.begin(), content.end()));
  v.write();
  const std::vector<BlobId> blobs = v.blobsOf("a");
  BlobLocation loc;
  ASSERT_TRUE(RepoTestPeer::location(*repo, blobs.front(), loc));
  const std::string pack = PackPath(RepoTestPeer::packs(*repo)[loc.pack].id);

  tarn::test::TempDir dir("tarn-filler", 0755);
  auto folder = std::make_shared<localfs::WriteFolder>();
  ASSERT_TRUE(localfs::WriteFolder::open(dir.path(), *folder).ok());
  const std::function<Status(bool)> noSwitch;
  RestoreRights rights(noSwitch);
  Progress progress;

  // Restores the named files of that content, the later ones planned while
  // the worker holds its first range; gives the reads of the pack.
  auto restore = [&](const std::vector<std::string>& names) {
    world.server->clearCalls();
    FileFiller filler(*repo, rights, progress, nullptr, 1);
    std::shared_ptr<tarn::test::Gate> gate = world.server->addGate(test::MemOp::kReadRange, pack);
    for (size_t i = 0; i < names.size(); ++i) {
      auto job = std::make_unique<FillJob>();
      job->folder = folder;
      job->name = names[i];
      job->tempName = names[i] + ".tmp";
      job->path = dir.file(names[i]);
      job->content = blobs;
      job->blobs = blobs.size();
      filler.add(std::move(job));
      if (i == 0) {
        EXPECT_TRUE(gate->waitArrived());
      }
    }
    gate->release();
    size_t done = 0;
    while (done < names.size()) {
      for (const auto& job : filler.takeFinished(true)) {
        EXPECT_TRUE(job->restored) << job->problem;
        ++done;
      }
    }
    return world.server->countCalls(test::MemOp::kReadRange, pack);
  };

  const int alone = restore({"alone"});
  const int shared = restore({"first", "second"});
  EXPECT_EQ(shared, alone + 1);
  for (const char* name : {"alone", "first", "second"})
    EXPECT_TRUE(ReadText(dir.file(name)) == std::string(content.begin(), content.end())) << name;
}

}  // namespace
}  // namespace tarn::backup
