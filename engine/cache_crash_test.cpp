// What a restart finds after the process dies or the power fails between any
// two file steps of the block cache: every recorded disk must serve only
// bytes that the file really held, and list as dirty only files that have
// unsent changes. Steps run on a MemoryEnv, which keeps what was synced
// apart from what was merely written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>

#include "engine/data_cache.h"
#include "engine/map_file.h"
#include "foundation/memory_env.h"

namespace tarn {
namespace {

constexpr uint32_t kBs = 64;
constexpr const char* kRoot = "/var/cache";
constexpr uint64_t kLimit = 1 << 20;

std::string Pattern(uint64_t n, uint8_t seed) {
  std::string s(n, '\0');
  for (uint64_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + seed) % 26);
  return s;
}

std::string ZeroPadded(const std::string& s, uint64_t size) {
  std::string out = s.substr(0, std::min<uint64_t>(s.size(), size));
  out.resize(size, '\0');
  return out;
}

// What a path may legitimately hold: the server's copies by version text
// (for clean blocks) and the contents it had locally (for dirty blocks).
struct Legit {
  std::map<std::string, std::string> server;
  std::vector<std::string> local;
};

// A disk as a restart would find it. A torn one holds every map as written
// and the data files only as synced: its clean blocks may be anything (the
// server's copy is fetched again when a read finds it wrong), its changes not.
struct Disk {
  std::unique_ptr<MemoryEnv> env;
  std::string label;
  bool torn = false;
};

bool IsMap(const std::string& path) { return path.ends_with(".map"); }

// One cache on one MemoryEnv, with the objects a scenario keeps open.
struct World {
  MemoryEnv env;
  DataCache cache{kRoot, kBs, kLimit, false, &env};
  std::map<std::string, std::shared_ptr<CacheFile>> held;
  std::map<std::string, std::string> server;  // path -> content the fetcher serves
  std::vector<Disk> disks;

  Fetcher fetcher() {
    return [this](CacheFile* f, uint64_t off, uint8_t* buf, uint64_t len, uint64_t& got, const CancelToken*) {
      const std::string& content = server[f->path()];
      got = off < content.size() ? std::min<uint64_t>(len, content.size() - off) : 0;
      std::memcpy(buf, content.data() + off, got);
      return Status();
    };
  }

  // A held object whose server copy `etag` is `content`, all of it fetched
  // (or left missing), its map saved.
  std::shared_ptr<CacheFile> clean(const std::string& path, const std::string& etag, const std::string& content,
                                   bool fetched = true) {
    server[path] = content;
    auto f = cache.open(path, true);
    RemoteAttr attr;
    attr.size = content.size();
    attr.etag = etag;
    EXPECT_TRUE(f->applyRemote(attr, nullptr, nullptr).ok());
    if (fetched) {
      EXPECT_TRUE(f->ensureRange(0, content.size(), fetcher(), nullptr).ok());
    }
    EXPECT_TRUE(f->saveMap());
    held[path] = f;
    return f;
  }

  std::shared_ptr<CacheFile> written(const std::string& path, const std::string& content) {
    auto f = cache.open(path, true);
    EXPECT_TRUE(f->write(0, content.data(), content.size()).ok());
    EXPECT_TRUE(f->saveMap());
    held[path] = f;
    return f;
  }

  // From now on, the disk before every step that changes it is recorded.
  void recordCrashes() {
    env.setHook([this](const MemoryEnv::StepInfo& s) {
      if (s.step != MemoryEnv::Step::kRead) {
        const std::string what = " before step " + std::to_string(disks.size() / 2) + " on " + s.path;
        disks.push_back({env.snapshot(MemoryEnv::Crash::kProcess), "process crash" + what});
        disks.push_back({env.snapshot(MemoryEnv::Crash::kPowerLoss), "power loss" + what});
        disks.push_back({env.snapshotTorn(IsMap), "torn power loss" + what, true});
      }
      return Status();
    });
  }

  void recordEnd() {
    env.setHook(nullptr);
    disks.push_back({env.snapshot(MemoryEnv::Crash::kProcess), "process crash at the end"});
    disks.push_back({env.snapshotTorn(IsMap), "torn power loss at the end", true});
    disks.push_back({env.snapshot(MemoryEnv::Crash::kPowerLoss), "power loss at the end"});
  }

  // What the volume's reaper does for a closed file.
  void commit(const std::shared_ptr<CacheFile>& f) {
    for (const std::shared_ptr<CacheFile>& left : CacheFile::commitMaps(env, {f})) EXPECT_TRUE(left->saveMap());
  }
};

// The blocks a restarted cache holds for `path` are bytes the file had.
void ExpectLegitBlocks(DataCache& cache, const std::string& path, const Legit& legit, const std::string& label,
                       bool cleanToo) {
  auto f = cache.open(path, false);
  if (!f) return;
  const uint64_t size = f->size();
  std::vector<bool> dirty((size + kBs - 1) / kBs, false);
  for (const auto& [off, len] : f->dirtyRanges())
    for (uint64_t b = off / kBs; b * kBs < off + len; ++b) dirty[b] = true;
  const auto server = legit.server.find(f->etag());
  for (uint64_t b = 0; b * kBs < size; ++b) {
    const uint64_t start = b * kBs;
    const uint64_t len = std::min<uint64_t>(kBs, size - start);
    std::string got(len, '\0');
    if (!f->readIfCached(start, got.data(), len)) continue;  // missing: fetched again when read
    if (dirty[b]) {
      const bool known = std::any_of(legit.local.begin(), legit.local.end(), [&](const std::string& v) {
        return v.size() == size && v.compare(start, len, got) == 0;
      });
      EXPECT_TRUE(known) << label << ": " << path << " dirty block " << b << " holds bytes it never had";
    } else if (cleanToo) {
      ASSERT_NE(server, legit.server.end()) << label << ": " << path << " has clean blocks of version \""
                                            << f->etag() << "\"";
      EXPECT_EQ(got, ZeroPadded(server->second.substr(std::min<uint64_t>(start, server->second.size())), len))
          << label << ": " << path << " clean block " << b << " differs from the server's";
    }
  }
}

struct Scenario {
  const char* what;
  std::function<void(World&)> setup;  // not recorded
  std::function<void(World&)> run;    // a crash may fall before any of its steps
  std::map<std::string, Legit> legit;
  // Checked on the disk that a power loss right after `run` leaves.
  std::function<void(DataCache&)> afterPowerLoss;
  // Unsent changes that no crash may lose: content and the paths that may hold it.
  std::string kept;
  std::vector<std::string> keptAt;
};

bool Holds(DataCache& cache, const std::string& path, const std::string& content) {
  auto f = cache.open(path, false);
  if (!f || f->size() != content.size()) return false;
  std::string out(content.size(), '\0');
  return f->readIfCached(0, out.data(), out.size()) && out == content;
}

TEST(CacheCrashTest, EveryDiskARestartCanFindServesOnlyBytesTheFileHad) {
  const std::string s = Pattern(4 * kBs, 1);
  const std::string n = Pattern(3 * kBs + 5, 2);
  const std::string d = Pattern(3 * kBs + 9, 3);
  const std::string e = Pattern(kBs + 1, 4);
  const std::string t = Pattern(2 * kBs, 5);
  const std::string cut = s.substr(0, kBs + 10);
  const std::string regrown = ZeroPadded(cut, 4 * kBs);
  std::string local = s;
  local.replace(kBs, kBs, std::string(kBs, 'L'));
  std::string later = local;
  later.replace(3 * kBs, kBs, std::string(kBs, 'M'));
  std::string first = s;
  first.replace(0, kBs, std::string(kBs, 'F'));
  std::string second = first;
  second.replace(2 * kBs, kBs, std::string(kBs, 'S'));

  auto dirtyAt = [](const std::string& path, const std::string& content) {
    return [path, content](DataCache& cache) {
      auto dirty = cache.dirtyFiles();
      EXPECT_EQ(dirty, std::vector<std::string>{path});
      auto f = cache.open(path, false);
      ASSERT_NE(f, nullptr) << path;
      std::string out(f->size(), '\0');
      EXPECT_TRUE(f->readIfCached(0, out.data(), out.size()));
      EXPECT_EQ(out, content) << path;
    };
  };

  const Scenario scenarios[] = {
      {"a shrinking truncate, grown back before the save",
       [&](World& w) { w.clean("/f", "v1", s); },
       [&](World& w) {
         ASSERT_TRUE(w.held["/f"]->truncate(cut.size()).ok());
         ASSERT_TRUE(w.held["/f"]->truncate(regrown.size()).ok());
         ASSERT_TRUE(w.held["/f"]->saveMap());
       },
       {{"/f", {{{"v1", s}}, {cut, regrown}}}},
       dirtyAt("/f", regrown)},
      {"a new server copy replaces the cached one",
       [&](World& w) { w.clean("/f", "v1", s); },
       [&](World& w) {
         w.server["/f"] = n;
         RemoteAttr attr;
         attr.size = n.size();
         attr.etag = "v2";
         bool changed = false;
         ASSERT_TRUE(w.held["/f"]->applyRemote(attr, &changed, nullptr).ok());
         ASSERT_TRUE(changed);
         ASSERT_TRUE(w.held["/f"]->ensureRange(0, n.size(), w.fetcher(), nullptr).ok());
         ASSERT_TRUE(w.held["/f"]->saveMap());
       },
       {{"/f", {{{"v1", s}, {"v2", n}}, {}}}},
       nullptr},
      {"a write saved without flushing its map, committed later",
       [&](World& w) { w.clean("/f", "v1", s); },
       [&](World& w) {
         ASSERT_TRUE(w.held["/f"]->write(kBs, local.data() + kBs, kBs).ok());
         ASSERT_TRUE(w.held["/f"]->saveMapUnflushed());
         ASSERT_TRUE(w.held["/f"]->saveMap());
       },
       {{"/f", {{{"v1", s}}, {local}}}},
       dirtyAt("/f", local)},
      {"a new file closed without a sync, committed later",
       [](World&) {},
       [&](World& w) {
         auto f = w.cache.open("/n", true);
         w.held["/n"] = f;
         ASSERT_TRUE(f->write(0, e.data(), e.size()).ok());
         ASSERT_TRUE(f->saveMapUnflushed());
         w.commit(f);
       },
       {{"/n", {{}, {e}}}},
       dirtyAt("/n", e)},
      {"two closes without a sync on a cached file, committed later",
       [&](World& w) { w.clean("/f", "v1", s); },
       [&](World& w) {
         ASSERT_TRUE(w.held["/f"]->write(kBs, local.data() + kBs, kBs).ok());
         ASSERT_TRUE(w.held["/f"]->saveMapUnflushed());
         ASSERT_TRUE(w.held["/f"]->write(3 * kBs, later.data() + 3 * kBs, kBs).ok());
         ASSERT_TRUE(w.held["/f"]->saveMapUnflushed());
         w.commit(w.held["/f"]);
       },
       {{"/f", {{{"v1", s}}, {local, later}}}},
       dirtyAt("/f", later)},
      {"a close without a sync after committed changes",
       [&](World& w) {
         auto f = w.clean("/f", "v1", s);
         ASSERT_TRUE(f->write(kBs, local.data() + kBs, kBs).ok());
         ASSERT_TRUE(f->saveMap());
       },
       [&](World& w) {
         ASSERT_TRUE(w.held["/f"]->write(3 * kBs, later.data() + 3 * kBs, kBs).ok());
         ASSERT_TRUE(w.held["/f"]->saveMapUnflushed());
         w.commit(w.held["/f"]);
       },
       {{"/f", {{{"v1", s}}, {local, later}}}},
       dirtyAt("/f", later)},
      {"a write over clean cached blocks, before any save",
       [&](World& w) { w.clean("/f", "v1", s); },
       [&](World& w) { ASSERT_TRUE(w.held["/f"]->write(kBs, local.data() + kBs, kBs).ok()); },
       {{"/f", {{{"v1", s}}, {local}}}},
       nullptr},
      {"a write over a clean block of a file whose changes are on disk",
       [&](World& w) {
         auto f = w.clean("/f", "v1", s);
         ASSERT_TRUE(f->write(0, first.data(), kBs).ok());
         ASSERT_TRUE(f->saveMap());
       },
       [&](World& w) {
         ASSERT_TRUE(w.held["/f"]->write(2 * kBs, second.data() + 2 * kBs, kBs).ok());
         ASSERT_TRUE(w.held["/f"]->saveMap());
       },
       {{"/f", {{{"v1", s}}, {first, second}}}},
       dirtyAt("/f", second)},
      {"a reset drops local and cached blocks",
       [&](World& w) {
         auto f = w.clean("/f", "v1", s);
         ASSERT_TRUE(f->write(kBs, local.data() + kBs, kBs).ok());
         ASSERT_TRUE(f->saveMap());
       },
       [&](World& w) {
         w.held["/f"]->reset();
         ASSERT_TRUE(w.held["/f"]->ensureRange(0, s.size(), w.fetcher(), nullptr).ok());
         ASSERT_TRUE(w.held["/f"]->saveMap());
       },
       {{"/f", {{{"v1", s}}, {local}}}},
       nullptr},
      {"a removal, then a new file of the same name",
       [&](World& w) { w.written("/f", d); },
       [&](World& w) {
         w.cache.remove("/f");
         auto f = w.cache.open("/f", true);
         ASSERT_TRUE(f->write(0, e.data(), e.size()).ok());
         ASSERT_TRUE(f->saveMap());
         w.held["/f"] = f;
       },
       {{"/f", {{}, {d, e}}}},
       dirtyAt("/f", e)},
      {"a removal of a file with unsent changes",
       [&](World& w) { w.written("/f", d).reset(); w.held.clear(); },
       [&](World& w) { w.cache.remove("/f"); },
       {{"/f", {{}, {d}}}},
       [](DataCache& cache) { EXPECT_EQ(cache.dirtyFiles(), std::vector<std::string>{}); }},
      {"a rename of an object in use",
       [&](World& w) { w.written("/a", d); },
       [&](World& w) { ASSERT_TRUE(w.cache.renameObject("/a", "/b").ok()); },
       {{"/a", {{}, {d}}}, {"/b", {{}, {d}}}},
       dirtyAt("/b", d),
       d,
       {"/a", "/b"}},
      {"a rename of an object nobody holds, over another",
       [&](World& w) {
         w.written("/a", d);
         w.written("/b", t);
         w.held.clear();
       },
       [&](World& w) { ASSERT_TRUE(w.cache.renameObject("/a", "/b").ok()); },
       {{"/a", {{}, {d}}}, {"/b", {{}, {t, d}}}},
       dirtyAt("/b", d),
       d,
       {"/a", "/b"}},
  };
  for (const Scenario& sc : scenarios) {
    World w;
    ASSERT_TRUE(w.cache.ensureDir());
    sc.setup(w);
    w.recordCrashes();
    sc.run(w);
    w.recordEnd();
    w.held.clear();
    ASSERT_GE(w.disks.size(), 4u) << sc.what;
    for (Disk& disk : w.disks) {
      const std::string label = std::string(sc.what) + ", " + disk.label;
      DataCache restarted(kRoot, kBs, kLimit, false, disk.env.get());
      ASSERT_TRUE(restarted.ensureDir()) << label;
      for (const auto& [path, legit] : sc.legit) ExpectLegitBlocks(restarted, path, legit, label, !disk.torn);
      // A file listed as dirty is uploaded: it must have something to send,
      // under the path it is listed by.
      for (const std::string& path : restarted.dirtyFiles()) {
        EXPECT_EQ(sc.legit.count(path), 1u) << label << ": " << path;
        auto f = restarted.open(path, false);
        ASSERT_NE(f, nullptr) << label << ": " << path;
        EXPECT_TRUE(f->hasDirty() || f->isDirty()) << label << ": " << path;
      }
      if (!sc.kept.empty() && !disk.torn) {
        EXPECT_TRUE(std::any_of(sc.keptAt.begin(), sc.keptAt.end(),
                                [&](const std::string& p) { return Holds(restarted, p, sc.kept); }))
            << label << ": the unsent changes are lost";
      }
    }
    if (sc.afterPowerLoss) {
      SCOPED_TRACE(sc.what);
      DataCache restarted(kRoot, kBs, kLimit, false, w.disks.back().env.get());
      ASSERT_TRUE(restarted.ensureDir());
      sc.afterPowerLoss(restarted);
    }
  }
}

}  // namespace
}  // namespace tarn
