// Reclaiming space: packs without referenced blobs are deleted, packs that
// are mostly dead have their live blobs copied into new packs first, and
// pack objects that the repository does not know are removed. The steps are
// ordered so that every referenced blob stays reachable whichever one fails:
// new packs are uploaded and a full index naming them is stored before any
// old pack or index object goes.
#include "backup/repo/repo.h"

namespace tarn::backup {
namespace {

Status Canceled() { return Status(Status::kCanceled, ""); }

}  // namespace

Status Repo::retirePacks(const BlobIdSet& referenced, PruneReport& report) {
  // Another client's backup may be storing packs that its snapshot does not
  // name yet: they are safe only while no such client holds a lock.
  if (lockMode() != LockMode::kExclusive)
    return Status(Status::kInvalid, "space is reclaimed only under the repository's exclusive lock");
  // A record that did not open may reference blobs that nothing else does;
  // reclaiming space now could delete them for good.
  if (uint64_t damaged = damagedSnapshots.load(); damaged > 0)
    return Status(Status::kProtocol,
                  "space is not reclaimed while " + Counted(damaged, "snapshot record is", "snapshot records are") + " damaged");
  // Packs younger than this that no index names are left alone: a writer
  // that takes no lock may still be about to name them.
  const int64_t youngSince = clockNow() - kUnnamedPackMinAgeSec;
  Status st = reloadIndexIfStale();
  if (st.ok()) st = flush();
  if (!st.ok()) return st;

  std::vector<PackInfo> known;
  std::vector<uint64_t> live;
  std::vector<uint64_t> deadBlobs;
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    known = packs;
    live.assign(packs.size(), 0);
    deadBlobs.assign(packs.size(), 0);
    for (const auto& [id, loc] : index) {
      if (loc.pack >= live.size()) continue;
      if (referenced.count(id) != 0)
        live[loc.pack] += loc.storedLength;
      else
        ++deadBlobs[loc.pack];
    }
  }

  std::vector<uint32_t> deleteList, repackList;
  for (uint32_t p = 0; p < known.size(); ++p) {
    // A lost pack frees nothing; the full index below no longer names it.
    if (known[p].retired || known[p].missing) continue;
    if (known[p].unnamedSince > youngSince) {
      ++report.youngPacksKept;
      continue;
    }
    ++report.packsExamined;
    if (live[p] == 0)
      deleteList.push_back(p);
    // A pack of small live blobs is mostly header: packed again it would
    // be the same, prune after prune.
    else if (live[p] * 2 < known[p].length && deadBlobs[p] != 0 && !known[p].damaged)
      repackList.push_back(p);
    else  // a damaged pack is kept as long as it may hold a blob nothing else does
      report.bytesKept += known[p].length;
  }

  for (uint32_t p : repackList) {
    std::vector<std::pair<BlobId, uint8_t>> blobs;
    {
      std::lock_guard<std::mutex> lock(queueMutex);
      for (const auto& [id, loc] : index)
        if (loc.pack == p && referenced.count(id) != 0) blobs.emplace_back(id, loc.type);
    }
    for (const auto& [id, type] : blobs) {
      if (IsCancelled(cancel)) return Canceled();
      std::vector<uint8_t> data;
      st = readBlob(id, data);
      if (!st.ok()) return st;
      st = addBlob(type, id, data.data(), data.size());
      if (!st.ok()) return st;
    }
  }
  st = closeOpenPacks();
  if (st.ok()) st = waitUploads();
  if (!st.ok()) return st;

  {
    std::lock_guard<std::mutex> lock(queueMutex);
    // The full index below covers the packs uploaded since the last segment.
    unindexed.clear();
    for (uint32_t p : deleteList) packs[p].retired = true;
    for (uint32_t p : repackList) packs[p].retired = true;
    for (auto it = index.begin(); it != index.end();)
      it = packs[it->second.pack].retired ? index.erase(it) : std::next(it);
  }
  {
    std::lock_guard<std::mutex> lock(readMutex);
    readWindows.clear();
  }
  st = writeIndex();
  if (!st.ok()) return st;

  for (const std::vector<uint32_t>* list : {&deleteList, &repackList}) {
    for (uint32_t p : *list) {
      if (IsCancelled(cancel)) return Canceled();
      st = removeObject(PackPath(known[p].id));
      if (!st.ok() && st.code != Status::kNotFound) return st;
      report.bytesFreed += known[p].length;
    }
  }
  report.packsDeleted = deleteList.size();
  report.packsRepacked = repackList.size();

  StoredData storedData;
  st = listStored(storedData, true);
  if (!st.ok()) return st;
  std::unordered_map<std::string, StoredObject>& stored = storedData.packs;
  std::unordered_set<std::string> retired;
  {
    std::lock_guard<std::mutex> lock(queueMutex);
    for (const PackInfo& p : packs) {
      if (p.retired)
        retired.insert(BlobIdToHex(p.id));
      else
        stored.erase(BlobIdToHex(p.id));
    }
  }
  // Uploads that never ended: the exclusive lock says no client of ours is
  // writing them, their age that no other is either.
  for (const auto& [path, object] : storedData.temporaries) {
    if (object.mtime > youngSince) continue;
    st = removeObject(path);
    if (!st.ok() && st.code != Status::kNotFound) return st;
    ++report.temporariesRemoved;
    report.bytesFreed += object.size;
  }
  for (const auto& [name, object] : stored) {
    BlobId id;
    // Strays are not ours to judge.
    if (!ParseBlobId(name, id)) continue;
    if (object.mtime > youngSince && retired.count(name) == 0) {
      ++report.youngPacksKept;
      continue;
    }
    st = removeObject(PackPath(id));
    if (!st.ok() && st.code != Status::kNotFound) return st;
    ++report.orphansRemoved;
    report.bytesFreed += object.size;
  }
  return Status();
}

}  // namespace tarn::backup
