// Many threads over one small block cache: readers, readahead, a sequential
// stream, writers, an uploader and eviction, as a drive runs them. Every
// block says which file and block it belongs to and which version of it it
// is, so any byte served from the wrong place, a stale version or zeros
// posing as data is seen; a restart after a crash or a power loss then
// checks what the maps kept.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <thread>

#include "engine/data_cache.h"
#include "foundation/memory_env.h"

namespace tarn {
namespace {

constexpr uint32_t kBs = 4096;
constexpr const char* kRoot = "/var/cache";
constexpr uint32_t kFiles = 3;
constexpr uint32_t kBlocks = 8;
constexpr uint64_t kFileBytes = uint64_t{kBs} * kBlocks;
constexpr uint64_t kEvictTo = 6 * kBs;  // well below the files' total
constexpr uint64_t kLocal = 1ull << 63;  // stamps of local writes; server stamps are below
constexpr int kWriterRounds = 400;
constexpr int kWritesPerOpen = 3;
// Transfers take time on a real network; these keep the windows between a
// fetch or an upload and its marks open wide enough for the others to hit.
constexpr auto kFetchTime = std::chrono::microseconds(50);
constexpr auto kUploadTime = std::chrono::microseconds(300);

struct BlockHeader {
  uint32_t file;
  uint32_t block;
  uint64_t stamp;
};

std::string MakeBlock(uint32_t file, uint32_t block, uint64_t stamp) {
  std::string out(kBs, '\0');
  const BlockHeader h{file, block, stamp};
  std::memcpy(out.data(), &h, sizeof h);
  uint64_t x = (stamp * 0x9e3779b97f4a7c15ull) ^ (uint64_t{file} << 32 | block);
  for (size_t i = sizeof h; i < out.size(); ++i) {
    x = x * 6364136223846793005ull + 1442695040888963407ull;
    out[i] = static_cast<char>(x >> 56);
  }
  return out;
}

// The block's stamp when it is a whole, genuine block of that file and
// place; nothing otherwise.
std::optional<uint64_t> StampOf(const char* bytes, uint32_t file, uint32_t block) {
  BlockHeader h;
  std::memcpy(&h, bytes, sizeof h);
  if (h.file != file || h.block != block) return std::nullopt;
  if (std::memcmp(bytes, MakeBlock(file, block, h.stamp).data(), kBs) != 0) return std::nullopt;
  return h.stamp;
}

std::string PathOf(uint32_t file) { return "/f" + std::to_string(file); }

// The server: per file, the stamp of every block and a version that every
// upload advances.
class Server {
 public:
  Server() {
    for (uint32_t f = 0; f < kFiles; ++f) stamps_[f].assign(kBlocks, 1);
  }

  RemoteAttr attr(uint32_t file) {
    std::lock_guard<std::mutex> lock(mu_);
    RemoteAttr a;
    a.size = kFileBytes;
    a.etag = "v" + std::to_string(versions_[file]);
    return a;
  }

  std::string content(uint32_t file) {
    std::lock_guard<std::mutex> lock(mu_);
    std::string out;
    for (uint32_t b = 0; b < kBlocks; ++b) out += MakeBlock(file, b, stamps_[file][b]);
    return out;
  }

  Fetcher fetcher(uint32_t file) {
    return [this, file](CacheFile*, uint64_t off, uint8_t* buf, uint64_t len, uint64_t& got, const CancelToken*) {
      const std::string all = content(file);
      std::this_thread::sleep_for(kFetchTime);
      got = std::min<uint64_t>(len, all.size() - std::min<uint64_t>(off, all.size()));
      std::memcpy(buf, all.data() + off, got);
      return Status();
    };
  }

  // Stores uploaded blocks; the new version text.
  std::string upload(uint32_t file, const std::map<uint32_t, uint64_t>& blocks) {
    std::lock_guard<std::mutex> lock(mu_);
    for (const auto& [b, stamp] : blocks) {
      stamps_[file][b] = stamp;
      received_.insert(stamp);
    }
    return "v" + std::to_string(++versions_[file]);
  }

  uint64_t stamp(uint32_t file, uint32_t block) {
    std::lock_guard<std::mutex> lock(mu_);
    return stamps_[file][block];
  }

  // True when a block of this stamp was ever uploaded.
  bool has(uint64_t stamp) {
    std::lock_guard<std::mutex> lock(mu_);
    return received_.count(stamp) != 0;
  }

 private:
  std::mutex mu_;
  std::map<uint32_t, std::vector<uint64_t>> stamps_;  // guarded by mu_
  std::map<uint32_t, uint64_t> versions_;              // guarded by mu_
  std::set<uint64_t> received_;                        // guarded by mu_
};

class CacheStressTest : public ::testing::Test {
 protected:
  // Records a finding from any thread; the test reports the first twenty.
  void fail(const std::string& what) {
    std::lock_guard<std::mutex> lock(mu_);
    if (failures_.size() < 20) failures_.push_back(what);
  }

  // Every block of a read range is genuine.
  void checkRange(uint32_t file, uint64_t off, const std::string& bytes, const char* who) {
    for (uint64_t at = 0; at < bytes.size(); at += kBs) {
      const uint32_t b = static_cast<uint32_t>((off + at) / kBs);
      if (!StampOf(bytes.data() + at, file, b))
        fail(std::string(who) + ": bad bytes in " + PathOf(file) + " block " + std::to_string(b));
    }
  }

  void checkRestart(Env* disk, const std::string& label) {
    DataCache cache(kRoot, kBs, kEvictTo, false, disk);
    ASSERT_TRUE(cache.ensureDir());
    const std::vector<std::string> listed = cache.dirtyFiles();
    for (uint32_t file = 0; file < kFiles; ++file) {
      auto f = cache.open(PathOf(file), false);
      std::set<uint32_t> dirty;
      std::map<uint32_t, uint64_t> held;  // stamps of the blocks present
      if (f) {
        for (const auto& [off, len] : f->dirtyRanges())
          for (uint64_t b = off / kBs; b * kBs < off + len; ++b) dirty.insert(static_cast<uint32_t>(b));
        const bool current = f->etag() == server_.attr(file).etag;
        for (uint32_t b = 0; b < kBlocks && f->size() == kFileBytes; ++b) {
          std::string block(kBs, '\0');
          if (!f->readIfCached(uint64_t{b} * kBs, block.data(), kBs)) continue;
          const std::string where = label + ": " + PathOf(file) + " block " + std::to_string(b);
          auto stamp = StampOf(block.data(), file, b);
          if (!stamp) {
            fail(where + " holds bad bytes");
            continue;
          }
          held[b] = *stamp;
          if (dirty.count(b) == 0 && current && *stamp != server_.stamp(file, b))
            fail(where + " is clean but differs from the server's");
        }
        if (!dirty.empty() && std::find(listed.begin(), listed.end(), PathOf(file)) == listed.end())
          fail(label + ": " + PathOf(file) + " has dirty blocks but is not listed");
      }
      std::lock_guard<std::mutex> lock(mu_);
      for (uint32_t b : dirty) {
        if (held.count(b) != 0 && held[b] != lastWrite_[{file, b}])
          failures_.push_back(label + ": " + PathOf(file) + " block " + std::to_string(b) + " holds an old write");
      }
      for (uint32_t b = 0; b < kBlocks; ++b) {
        // A write the server never got must still be there, marked for upload.
        auto it = lastWrite_.find({file, b});
        if (it == lastWrite_.end() || server_.has(it->second)) continue;
        if (dirty.count(b) == 0 || held.count(b) == 0 || held[b] != it->second)
          failures_.push_back(label + ": lost a write to " + PathOf(file) + " block " + std::to_string(b));
      }
    }
  }

  MemoryEnv env_;
  Server server_;
  std::mutex mu_;
  std::vector<std::string> failures_;          // guarded by mu_
  std::map<std::pair<uint32_t, uint32_t>, uint64_t> lastWrite_;  // guarded by mu_
};

TEST_F(CacheStressTest, ConcurrentUseServesOnlyGenuineBlocksAndRestartKeepsUnsentWrites) {
  auto cache = std::make_unique<DataCache>(kRoot, kBs, kEvictTo, false, &env_);
  ASSERT_TRUE(cache->ensureDir());
  std::atomic<uint64_t> localStamp{kLocal};
  // Everyone else works for as long as the writers do.
  std::atomic<int> writers{2};
  auto writing = [&] { return writers.load() > 0; };
  // Closed files whose maps wait for the committer, as the volume's reaper has them.
  std::mutex dueMu;
  std::vector<std::shared_ptr<CacheFile>> due;

  // As the volume opens a file: with the server's attributes applied.
  auto open = [&](uint32_t file) {
    auto f = cache->open(PathOf(file), true);
    if (!f)
      fail("open failed");
    else if (!f->applyRemote(server_.attr(file), nullptr, nullptr).ok())
      fail("applyRemote refused");
    return f;
  };
  auto reader = [&](unsigned seed) {
    std::mt19937 rng(seed);
    while (writing()) {
      const uint32_t file = rng() % kFiles;
      auto f = open(file);
      if (!f) continue;
      const uint64_t off = (rng() % kBlocks) * kBs;
      const uint64_t len = std::min<uint64_t>(kFileBytes - off, (1 + rng() % 3) * kBs);
      std::string out(len, '\0');
      uint64_t got = 0;
      Status st = f->read(off, out.data(), len, got, server_.fetcher(file), nullptr);
      if (!st.ok() || got != len) fail("read failed: " + st.toString());
      else checkRange(file, off, out, "reader");
    }
  };
  auto readahead = [&](unsigned seed) {
    std::mt19937 rng(seed);
    while (writing()) {
      const uint32_t file = rng() % kFiles;
      if (auto f = open(file)) {
        if (!f->ensureRange((rng() % kBlocks) * kBs, 4 * kBs, server_.fetcher(file), nullptr).ok())
          fail("readahead failed");
      }
    }
  };
  auto streamer = [&](unsigned seed) {
    std::mt19937 rng(seed);
    while (writing()) {
      const uint32_t file = rng() % kFiles;
      auto f = open(file);
      if (!f) continue;
      const uint64_t epoch = f->epoch();
      const std::string all = server_.content(file);
      f->fillFromStream(0, all.data(), all.size(), epoch);
    }
  };
  auto writer = [&](unsigned seed) {
    std::mt19937 rng(seed);
    for (int i = 0; i < kWriterRounds; ++i) {
      const uint32_t file = rng() % kFiles;
      auto f = open(file);
      if (!f) continue;
      for (int w = 0; w < kWritesPerOpen; ++w) {
        const uint32_t block = rng() % kBlocks;
        const uint64_t stamp = ++localStamp;
        const std::string data = MakeBlock(file, block, stamp);
        bool written;
        {
          // Recorded with the write, so that the order of two writers'
          // records is the order of their writes.
          std::lock_guard<std::mutex> lock(mu_);
          written = f->write(uint64_t{block} * kBs, data.data(), kBs).ok();
          if (written) lastWrite_[{file, block}] = stamp;
        }
        if (!written) fail("write failed");
      }
      f->setDirty(true);
      if (i % 2 == 0) {
        if (!f->saveMap()) fail("save failed");
      } else if (!f->saveMapUnflushed()) {
        fail("unflushed save failed");
      } else {
        std::lock_guard<std::mutex> lock(dueMu);
        due.push_back(f);
      }
    }
    --writers;
  };
  auto committer = [&] {
    for (bool last = false; !last;) {
      last = !writing();
      std::vector<std::shared_ptr<CacheFile>> batch;
      {
        std::lock_guard<std::mutex> lock(dueMu);
        batch.swap(due);
      }
      for (const std::shared_ptr<CacheFile>& f : CacheFile::commitMaps(env_, batch))
        if (!f->saveMap()) fail("save failed");
    }
  };
  auto uploader = [&] {
    while (writing()) {
      for (const std::string& path : cache->dirtyFiles()) {
        const uint32_t file = static_cast<uint32_t>(std::stoul(path.substr(2)));
        auto f = cache->open(path, false);
        if (!f) continue;
        f->clearUploadMarks(0, f->size());
        std::map<uint32_t, uint64_t> sent;
        for (const auto& [off, len] : f->dirtyRanges()) {
          std::string out(len, '\0');
          uint64_t got = 0;
          if (!f->read(off, out.data(), len, got, server_.fetcher(file), nullptr).ok()) {
            fail("upload read failed");
            continue;
          }
          checkRange(file, off, out, "uploader");
          for (uint64_t at = 0; at < len; at += kBs) {
            const uint32_t b = static_cast<uint32_t>((off + at) / kBs);
            if (auto stamp = StampOf(out.data() + at, file, b)) sent[b] = *stamp;
          }
        }
        std::this_thread::sleep_for(kUploadTime);
        const std::string version = server_.upload(file, sent);
        for (const auto& sentBlock : sent) f->markRangeClean(uint64_t{sentBlock.first} * kBs, kBs);
        f->markUploaded(version, kFileBytes, Timestamp{});
        if (!f->saveMap()) fail("save failed");
      }
    }
  };
  auto evictor = [&] {
    while (writing()) cache->evictTo(kEvictTo);
  };

  std::vector<std::thread> threads;
  threads.emplace_back(reader, 1);
  threads.emplace_back(reader, 2);
  threads.emplace_back(readahead, 3);
  threads.emplace_back(streamer, 4);
  threads.emplace_back(writer, 5);
  threads.emplace_back(writer, 6);
  threads.emplace_back(uploader);
  threads.emplace_back(evictor);
  threads.emplace_back(committer);
  for (std::thread& t : threads) t.join();

  cache.reset();
  // Restart, after the process died or the power failed: what the maps kept
  // must be genuine, and no write that the server does not have may be lost.
  for (MemoryEnv::Crash crash : {MemoryEnv::Crash::kProcess, MemoryEnv::Crash::kPowerLoss}) {
    auto disk = env_.snapshot(crash);
    checkRestart(disk.get(), crash == MemoryEnv::Crash::kProcess ? "process crash" : "power loss");
  }
  std::lock_guard<std::mutex> lock(mu_);
  for (const std::string& f : failures_) ADD_FAILURE() << f;
}

}  // namespace
}  // namespace tarn
