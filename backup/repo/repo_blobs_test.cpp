#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "backup/repo/repo_test_world.h"

namespace tarn::backup {
namespace {

using test::MemOp;

TEST(RepoBlobs, SameContentIsStoredOnce) {
  RepoWorld w;
  auto repo = w.create();
  std::vector<uint8_t> data = RandomBlob(5000, 1);
  BlobId first = w.store(*repo, data);
  EXPECT_TRUE(repo->hasBlob(first)) << "pending blobs count as stored";
  BlobId second = w.store(*repo, data);
  EXPECT_EQ(first, second);
  EXPECT_EQ(repo->blobsAdded.load(), 1u);
  EXPECT_EQ(repo->blobsDeduplicated.load(), 1u);

  Status st = repo->readBlob(first, data);
  EXPECT_EQ(st.code, Status::kNotFound) << "a blob is readable only once its pack is uploaded";
  EXPECT_EQ(st.message, "blob " + BlobIdToHex(first).substr(0, 8) + " is not in the repository");
}

TEST(RepoBlobs, BlobsAreCompressedWhenItPaysAndReadBackExactly) {
  struct Case {
    std::vector<uint8_t> data;
    bool compressed;
  } cases[] = {
      {RandomBlob(100, 2), false},             // below the compression floor
      {std::vector<uint8_t>(1048576, 0), true},  // 1 MiB of zeros
      {RandomBlob(4096, 3), false},            // does not shrink
  };
  RepoWorld w;
  auto repo = w.create();
  std::vector<BlobId> ids;
  for (const Case& c : cases) ids.push_back(w.store(*repo, c.data));
  ASSERT_TRUE(repo->flush().ok());
  for (size_t i = 0; i < ids.size(); ++i) {
    BlobLocation loc;
    ASSERT_TRUE(RepoTestPeer::location(*repo, ids[i], loc));
    EXPECT_EQ(loc.rawLength, cases[i].data.size());
    if (cases[i].compressed)
      EXPECT_LT(loc.storedLength, cases[i].data.size() / 100);
    else
      EXPECT_EQ(loc.storedLength, cases[i].data.size() + kSealOverhead);
    std::vector<uint8_t> back;
    ASSERT_TRUE(repo->readBlob(ids[i], back).ok());
    EXPECT_EQ(back, cases[i].data);
  }
}

TEST(RepoBlobs, BlobsOpenInPlaceFromTheirPackRange) {
  RepoWorld w;
  auto repo = w.create();
  const std::vector<uint8_t> stored = RandomBlob(70000, 30);
  std::vector<uint8_t> textBytes(300000);
  for (size_t i = 0; i < textBytes.size(); ++i) textBytes[i] = uint8_t("restore of packs\n"[i % 17]);
  const std::vector<uint8_t>& text = textBytes;
  const BlobId s = w.store(*repo, stored);
  const BlobId t = w.store(*repo, text);
  ASSERT_TRUE(repo->flush().ok());
  BlobLocation ls, lt;
  PackInfo pack;
  ASSERT_TRUE(repo->locateBlob(s, ls, pack).ok());
  ASSERT_TRUE(repo->locateBlob(t, lt, pack).ok());
  ASSERT_EQ(ls.pack, lt.pack);
  ASSERT_LT(lt.storedLength, text.size() / 10) << "the text is compressed";
  const uint64_t start = std::min(ls.offset, lt.offset);
  const uint64_t end = std::max(ls.offset + ls.storedLength, lt.offset + lt.storedLength);

  struct Case {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> damage;
    std::string forS, forT;  // expected problem texts; empty: opens
  } cases[] = {
      {"intact", [](std::vector<uint8_t>&) {}, "", ""},
      {"a flipped byte of the stored blob",
       [&](std::vector<uint8_t>& r) { r[ls.offset - start + kNonceSize + 5] ^= 1; },
       "blob " + BlobIdToHex(s).substr(0, 8) + " does not decrypt (damaged pack)", ""},
      {"a flipped tag byte of the compressed blob",
       [&](std::vector<uint8_t>& r) { r[lt.offset - start + lt.storedLength - 1] ^= 1; }, "",
       "blob " + BlobIdToHex(t).substr(0, 8) + " does not decrypt (damaged pack)"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> range;
    ASSERT_TRUE(repo->readPackRange(pack, start, end - start, range).ok());
    c.damage(range);
    std::vector<uint8_t> scratch;
    for (const auto& [id, loc, want, problem] :
         {std::tuple{s, ls, &stored, c.forS}, std::tuple{t, lt, &text, c.forT}}) {
      const uint8_t* plain = reinterpret_cast<const uint8_t*>(1);
      Status st = repo->openBlobInPlace(id, loc, range.data() + (loc.offset - start), scratch, plain);
      EXPECT_EQ(st.message, problem);
      if (!problem.empty()) {
        EXPECT_EQ(plain, nullptr);
        continue;
      }
      ASSERT_NE(plain, nullptr);
      EXPECT_TRUE(std::equal(want->begin(), want->end(), plain));
      // A blob stored as it is is used where it lies.
      if (loc.storedLength == loc.rawLength + kSealOverhead) {
        EXPECT_EQ(plain, range.data() + (loc.offset - start) + kNonceSize);
      }
    }
  }

  // The right bytes under another blob's id are refused.
  std::vector<uint8_t> range, scratch;
  ASSERT_TRUE(repo->readPackRange(pack, start, end - start, range).ok());
  const uint8_t* plain = nullptr;
  Status st = repo->openBlobInPlace(t, ls, range.data() + (ls.offset - start), scratch, plain);
  EXPECT_EQ(st.message, "blob " + BlobIdToHex(t).substr(0, 8) + " has the wrong content");
  EXPECT_EQ(plain, nullptr);
}

TEST(RepoBlobs, PackClosesAtTargetSizeHoldingEveryBlobInItsHeader) {
  RepoWorld w;
  w.options.compress = false;
  auto repo = w.create();
  BlobId a = w.store(*repo, RandomBlob(614400, 4));
  EXPECT_TRUE(w.packPaths().empty());
  BlobId b = w.store(*repo, RandomBlob(614400, 5));
  ASSERT_TRUE(repo->waitUploads().ok());
  std::vector<std::string> paths = w.packPaths();
  ASSERT_EQ(paths.size(), 1u) << "the second blob closes the pack";
  std::string pack;
  ASSERT_TRUE(w.server->readFile(paths[0], &pack));
  EXPECT_EQ(pack.size(), 2 * (614400 + kSealOverhead) + 2 * kPackEntrySize + kSealOverhead + kPackTrailerSize);
  EXPECT_EQ(paths[0], PackPath(RepoTestPeer::packs(*repo).at(0).id));

  std::vector<PackEntry> entries;
  ASSERT_TRUE(ReadPackHeader(RepoTestPeer::cipher(*repo), reinterpret_cast<const uint8_t*>(pack.data()), pack.size(),
                             entries)
                  .ok());
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].id, a);
  EXPECT_EQ(entries[1].id, b);
  EXPECT_EQ(entries[1].offset, 614400 + kSealOverhead);
  EXPECT_EQ(entries[1].type, kBlobData);
}

TEST(RepoBlobs, ReadingAPackInEitherOrderDownloadsItOncePerWindow) {
  RepoWorld w;
  w.options.compress = false;
  w.options.packTargetSize = 8 * 1048576;
  auto repo = w.create();
  std::vector<BlobId> ids;
  for (uint32_t i = 0; i < 6; ++i) ids.push_back(w.store(*repo, RandomBlob(1048576, 10 + i)));
  ASSERT_TRUE(repo->flush().ok());
  w.server->clearCalls();
  for (uint32_t i = 0; i < ids.size(); ++i) {
    std::vector<uint8_t> back;
    ASSERT_TRUE(repo->readBlob(ids[i], back).ok());
    EXPECT_EQ(back, RandomBlob(1048576, 10 + i));
  }
  // A 4 MiB window holds three sealed 1 MiB blobs.
  EXPECT_EQ(w.server->countCalls(MemOp::kReadRange), 2);

  // Backwards, each miss takes the aligned window around its blob: [4, 8),
  // then the blob that straddles 4 MiB from its start, then [0, 4).
  repo = w.reopen();
  w.server->clearCalls();
  for (uint32_t i = uint32_t(ids.size()); i-- > 0;) {
    std::vector<uint8_t> back;
    ASSERT_TRUE(repo->readBlob(ids[i], back).ok());
    EXPECT_EQ(back, RandomBlob(1048576, 10 + i));
  }
  EXPECT_EQ(w.server->countCalls(MemOp::kReadRange), 3);
}

TEST(RepoBlobs, ReadsMovingBetweenPacksKeepAWindowOfEach) {
  // Data and tree blobs lie in packs of their own; a walk reads one of each
  // in turn, as a snapshot walk reads the trees of old and new folders.
  RepoWorld w;
  auto repo = w.create();
  std::vector<std::pair<BlobId, std::vector<uint8_t>>> blobs;
  for (uint32_t i = 0; i < 10; ++i) {
    std::vector<uint8_t> data = RandomBlob(2000, 40 + i);
    blobs.emplace_back(w.store(*repo, data, i % 2 == 0 ? kBlobData : kBlobTree), data);
  }
  ASSERT_TRUE(repo->flush().ok());
  ASSERT_EQ(RepoTestPeer::packs(*repo).size(), 2u);
  w.server->clearCalls();
  for (int round = 0; round < 2; ++round) {
    for (const auto& [id, data] : blobs) {
      std::vector<uint8_t> back;
      ASSERT_TRUE(repo->readBlob(id, back).ok());
      EXPECT_EQ(back, data);
    }
  }
  EXPECT_EQ(w.server->countCalls(MemOp::kReadRange), 2);
}

TEST(RepoBlobs, DamagedPacksAndIndexEntriesAreNamedPerBlob) {
  RepoWorld w;
  w.options.compress = false;
  auto repo = w.create();
  BlobId a = w.store(*repo, RandomBlob(1000, 20));
  BlobId b = w.store(*repo, RandomBlob(1000, 21));
  ASSERT_TRUE(repo->flush().ok());
  const std::string packPath = w.packPaths().at(0);
  std::string original;
  ASSERT_TRUE(w.server->readFile(packPath, &original));
  BlobLocation la, lb;
  ASSERT_TRUE(RepoTestPeer::location(*repo, a, la) && RepoTestPeer::location(*repo, b, lb));
  const std::string hb = BlobIdToHex(b).substr(0, 8);
  const std::string hp = BlobIdToHex(RepoTestPeer::packs(*repo)[0].id).substr(0, 8);

  struct Case {
    const char* name;
    std::function<void()> damage;
    Status forA, forB;
  } cases[] = {
      {"a flipped tag byte of b",
       [&] {
         std::string bad = original;
         bad[lb.offset + lb.storedLength - 1] ^= 1;
         w.server->putFile(packPath, bad);
       },
       Status(), Status(18, "blob " + hb + " does not decrypt (damaged pack)")},
      {"a pack cut inside b",
       [&] { w.server->putFile(packPath, original.substr(0, lb.offset + 10)); },
       Status(), Status(18, "pack " + hp + " is shorter than the index says")},
      {"an entry past the end of its pack",
       [&] {
         lb.offset = RepoTestPeer::packs(*repo)[0].length - 10;
         RepoTestPeer::setLocation(*repo, b, lb);
       },
       Status(), Status(18, "index entry points past the end of its pack")},
      // In 32-bit arithmetic this entry would wrap into the cached window and
      // be opened at an address far past it.
      {"an entry whose end wraps 32 bits",
       [&] {
         lb.offset = 0xFFFFFFF0u;
         lb.storedLength = 0x40;
         RepoTestPeer::setLocation(*repo, b, lb);
       },
       Status(), Status(18, "index entry points past the end of its pack")},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    w.server->putFile(packPath, original);
    repo = w.reopen();
    ASSERT_TRUE(RepoTestPeer::location(*repo, b, lb));
    c.damage();
    for (const auto& [id, expected] : {std::pair{a, c.forA}, std::pair{b, c.forB}}) {
      std::vector<uint8_t> out;
      Status st = repo->readBlob(id, out);
      EXPECT_EQ(st.code, expected.code);
      EXPECT_EQ(st.message, expected.message);
    }
  }
}

}  // namespace
}  // namespace tarn::backup
