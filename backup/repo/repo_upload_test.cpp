#include <gtest/gtest.h>

#include <thread>

#include "backup/repo/repo_test_world.h"

namespace tarn::backup {
namespace {

using test::MemOp;

// One blob of this size closes a pack of the smallest target on its own.
std::vector<uint8_t> PackSizedBlob(uint32_t seed) { return RandomBlob(kMinPackTargetSize, seed); }

RepoWorld UploadWorld(int32_t connections) {
  RepoWorld w;
  w.options.compress = false;
  w.options.connections = connections;
  return w;
}

TEST(RepoUpload, WorkersAreOneFewerThanConnections) {
  struct Case {
    int32_t connections;
    size_t workers, pool;
  } cases[] = {{3, 2, 3}, {1, 1, 2}, {0, 1, 2}, {5, 4, 5}};
  for (const Case& c : cases) {
    RepoWorld w = UploadWorld(c.connections);
    auto repo = w.create();
    w.server->clearCalls();
    ASSERT_TRUE(repo->flush().ok());
    EXPECT_EQ(w.server->countCalls(MemOp::kOpenWrite), 0) << "nothing stored, nothing written";
    EXPECT_EQ(RepoTestPeer::workerCount(*repo), 0u);
    w.store(*repo, PackSizedBlob(1));
    ASSERT_TRUE(repo->waitUploads().ok());
    EXPECT_EQ(RepoTestPeer::workerCount(*repo), c.workers);
    EXPECT_EQ(RepoTestPeer::poolSize(*repo), c.pool);
  }
}

TEST(RepoUpload, NetworkFailuresOfAnUploadAreRetried) {
  RepoWorld w = UploadWorld(2);
  auto repo = w.create();
  w.server->addFault(Fault(MemOp::kStreamWrite, 2, 2, Status(Status::kNetwork, "reset")));
  std::vector<uint8_t> blob = PackSizedBlob(7);
  BlobId id = w.store(*repo, blob);
  ASSERT_TRUE(repo->flush().ok());
  EXPECT_EQ(w.server->countCalls(MemOp::kOpenWrite, PackPath(RepoTestPeer::packs(*repo).at(0).id)), 3);
  std::vector<uint8_t> back;
  ASSERT_TRUE(w.reopen()->readBlob(id, back).ok());
  EXPECT_EQ(back, blob);
}

TEST(RepoUpload, CancelWhileWaitingForQueueRoomDropsThePackAndItsBlobs) {
  RepoWorld w = UploadWorld(3);
  auto repo = w.create();
  CancelToken token;
  repo->cancel = &token;
  auto g1 = w.server->addGate(MemOp::kOpenWrite);
  auto g2 = w.server->addGate(MemOp::kOpenWrite);

  // Stores only hand blobs on; the fifth pack's wait for queue room happens
  // in the seal stage, and the cancellation surfaces at the flush.
  constexpr int kPacks = 5;
  BlobId ids[kPacks];
  for (int i = 0; i < kPacks; ++i) ids[i] = w.store(*repo, PackSizedBlob(100 + i));
  // Two packs in flight, two queued: the fifth has no room.
  ASSERT_TRUE(g1->waitArrived() && g2->waitArrived());
  ASSERT_TRUE(RepoTestPeer::waitQueued(*repo, 2));
  token.cancel();
  g1->release();
  g2->release();

  EXPECT_EQ(repo->flush().code, Status::kCanceled);
  for (const BlobId& id : ids) EXPECT_FALSE(repo->hasBlob(id)) << "no upload succeeded";
  EXPECT_TRUE(w.packPaths().empty());
  BlobId later;
  std::vector<uint8_t> blob = PackSizedBlob(200);
  EXPECT_EQ(repo->storeBlob(kBlobData, blob.data(), blob.size(), later).code, Status::kCanceled);
}

TEST(RepoUpload, FailedUploadDropsQueuedPacksAndForgetsTheirBlobs) {
  RepoWorld w = UploadWorld(3);
  auto repo = w.create();
  const Status failure(Status::kAccessDenied, "injected refusal");
  w.server->addFault(Fault(MemOp::kOpenWrite, 1, 1, failure));
  auto g1 = w.server->addGate(MemOp::kOpenWrite);
  auto g2 = w.server->addGate(MemOp::kOpenWrite);
  auto g3 = w.server->addGate(MemOp::kOpenWrite);

  BlobId b1 = w.store(*repo, PackSizedBlob(1));
  BlobId b2 = w.store(*repo, PackSizedBlob(2));
  ASSERT_TRUE(g1->waitArrived() && g2->waitArrived());
  BlobId b3 = w.store(*repo, PackSizedBlob(3));
  BlobId b4 = w.store(*repo, PackSizedBlob(4));
  // The first upload fails; its worker takes the third pack and is held, so
  // the fourth is still queued when the flush meets the failure.
  g1->release();
  ASSERT_TRUE(g3->waitArrived());
  Status flushed;
  std::thread flusher([&] { flushed = repo->flush(); });
  ASSERT_TRUE(RepoTestPeer::waitQueued(*repo, 0));
  g2->release();
  g3->release();
  flusher.join();

  EXPECT_EQ(flushed.code, failure.code);
  EXPECT_EQ(flushed.message, failure.message);
  EXPECT_FALSE(repo->hasBlob(b4)) << "a dropped pack's blobs exist nowhere";
  EXPECT_TRUE(repo->hasBlob(b3));
  EXPECT_NE(repo->hasBlob(b1), repo->hasBlob(b2)) << "exactly one of the first two failed";
  BlobId fresh;
  std::vector<uint8_t> blob = PackSizedBlob(5);
  EXPECT_EQ(repo->storeBlob(kBlobData, blob.data(), blob.size(), fresh).message, failure.message)
      << "the first failure is sticky";

  auto reopened = w.reopen();
  std::vector<uint8_t> back;
  EXPECT_TRUE(reopened->readBlob(b3, back).ok()) << "uploaded packs still reach an index segment";
  EXPECT_FALSE(reopened->hasBlob(b4));
}

TEST(RepoUpload, DestroyingWithQueuedPacksUploadsNothingFurther) {
  RepoWorld w = UploadWorld(2);
  auto repo = w.create();
  auto g1 = w.server->addGate(MemOp::kOpenWrite);
  w.store(*repo, PackSizedBlob(1));
  ASSERT_TRUE(g1->waitArrived());
  w.store(*repo, PackSizedBlob(2));
  Repo* raw = repo.get();
  std::thread destroyer([&] { repo.reset(); });
  // The repository lives until its worker is joined, which the gate holds.
  ASSERT_TRUE(RepoTestPeer::waitStopping(*raw));
  g1->release();
  destroyer.join();
  EXPECT_EQ(w.packPaths().size(), 1u) << "only the pack already in flight is finished";
}

}  // namespace
}  // namespace tarn::backup
