#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "backup/repo/repo_test_world.h"

namespace tarn::backup {
namespace {

using test::MemOp;

// Sizes that seal at very different speeds, so that later blobs finish
// before earlier ones: large compressible runs, small random ones, blobs
// below the compression floor.
std::vector<uint8_t> MixedBlob(uint32_t i) {
  switch (i % 3) {
    case 0:
      return std::vector<uint8_t>(600000 + i, uint8_t(i));
    case 1:
      return RandomBlob(3000 + i, i);
    default:
      return RandomBlob(100, i);
  }
}

TEST(RepoSeal, PacksHoldTheirBlobsInStoreOrderWhicheverThreadSealsFirst) {
  RepoWorld w;
  w.options.sealThreads = 4;
  auto repo = w.create();
  std::vector<BlobId> order;
  for (uint32_t i = 0; i < 60; ++i) order.push_back(w.store(*repo, MixedBlob(i), i % 7 == 0 ? kBlobTree : kBlobData));
  ASSERT_TRUE(repo->flush().ok());

  // Each type's blobs, read back from the packs in upload order, must come
  // in the order they were stored.
  std::vector<BlobId> seen[2];
  std::vector<PackInfo> packs = RepoTestPeer::packs(*repo);
  for (const PackInfo& p : packs) {
    std::string bytes;
    ASSERT_TRUE(w.server->readFile(PackPath(p.id), &bytes));
    std::vector<PackEntry> entries;
    ASSERT_TRUE(ReadPackHeader(RepoTestPeer::cipher(*repo), reinterpret_cast<const uint8_t*>(bytes.data()),
                               bytes.size(), entries)
                    .ok());
    for (const PackEntry& e : entries) seen[e.type == kBlobTree ? 1 : 0].push_back(e.id);
  }
  std::vector<BlobId> expected[2];
  for (uint32_t i = 0; i < order.size(); ++i) expected[i % 7 == 0 ? 1 : 0].push_back(order[i]);
  EXPECT_EQ(seen[0], expected[0]);
  EXPECT_EQ(seen[1], expected[1]);
  for (uint32_t i = 0; i < order.size(); ++i) {
    std::vector<uint8_t> back;
    ASSERT_TRUE(repo->readBlob(order[i], back).ok()) << i;
    EXPECT_EQ(back, MixedBlob(i)) << i;
  }
}

TEST(RepoSeal, StoringWaitsForRoomWhileUploadsAreHeld) {
  struct Case {
    const char* name;
    bool cancel;  // end the wait by cancelling instead of releasing the upload
  } cases[] = {{"released", false}, {"cancelled", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RepoWorld w;
    w.options.compress = false;
    w.options.sealThreads = 1;
    w.options.connections = 2;  // one upload worker
    w.options.pipelineBytes = 4 * kMinPackTargetSize;
    auto repo = w.create();
    CancelToken token;
    repo->cancel = &token;
    auto gate = w.server->addGate(MemOp::kOpenWrite);

    // One pack uploads (held), one waits in the queue, one more waits for
    // queue room in the seal stage; the next store finds the budget full.
    const uint64_t limit = RepoTestPeer::budget(*repo).limit();
    const size_t blobs = limit / kMinPackTargetSize + 2;
    std::atomic<size_t> stored{0};
    Status last;
    std::thread producer([&] {
      for (size_t i = 0; i < blobs; ++i) {
        std::vector<uint8_t> blob = RandomBlob(kMinPackTargetSize, uint32_t(i));
        BlobId id;
        last = repo->storeBlob(kBlobData, blob.data(), blob.size(), id);
        if (!last.ok()) return;
        ++stored;
      }
    });
    ASSERT_TRUE(gate->waitArrived());
    ASSERT_TRUE(RepoTestPeer::waitStoresWaiting(*repo, 1));
    EXPECT_LT(stored.load(), blobs) << "the producer must wait, not buffer everything";
    EXPECT_LE(RepoTestPeer::budget(*repo).held(), limit);
    if (c.cancel) token.cancel();
    gate->release();
    producer.join();
    if (c.cancel) {
      EXPECT_EQ(last.code, Status::kCanceled);
      EXPECT_EQ(repo->flush().code, Status::kCanceled);
      EXPECT_EQ(RepoTestPeer::budget(*repo).held(), 0u) << "what was dropped is no longer counted";
      continue;
    }
    EXPECT_TRUE(last.ok()) << last.toString();
    ASSERT_TRUE(repo->flush().ok());
    EXPECT_EQ(RepoTestPeer::packs(*repo).size(), blobs);
    EXPECT_EQ(RepoTestPeer::budget(*repo).held(), 0u) << "uploaded packs are no longer counted";
  }
}

}  // namespace
}  // namespace tarn::backup
