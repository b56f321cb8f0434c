#include "backup/engine/prune.h"

#include <algorithm>

#include "backup/engine/retention.h"
#include "backup/engine/snapshot_walk.h"

namespace tarn::backup {

Status Prune(Repo& repo, const Retention& retention, const std::string& jobId, bool cleanup,
             const CancelToken* cancel, std::vector<std::string>& removed, PruneReport* report) {
  const bool forgets =
      retention.keepLast > 0 || retention.keepDaily > 0 || retention.keepWeekly > 0 || retention.keepMonthly > 0;
  Status st;
  if (forgets || cleanup) st = repo.lock(LockMode::kExclusive, "prune");
  // What is reclaimed is decided on everything other clients stored before
  // (adoption reads the index again first).
  // Packs that no index names (an index lost, a run killed before its
  // segment) may hold what versions need: the walk below must find them.
  uint64_t adopted = 0;
  if (st.ok() && cleanup) st = repo.adoptUnnamedPacks(adopted);
  if (report != nullptr) report->packsAdopted = adopted;
  if (!st.ok()) return st;
  std::vector<SnapshotInfo> all;
  std::vector<std::string> damaged;
  st = repo.listSnapshots(all, &damaged);
  if (!st.ok()) return st;

  std::vector<SnapshotInfo> mine;
  for (const SnapshotInfo& s : all)
    if (jobId.empty() || s.job == jobId) mine.push_back(s);
  for (const std::string& id : SelectForRemoval(mine, retention)) {
    st = repo.deleteSnapshot(id);
    if (!st.ok() && st.code != Status::kNotFound) return st;
    removed.push_back(id);
    all.erase(std::remove_if(all.begin(), all.end(), [&](const SnapshotInfo& s) { return s.id == id; }), all.end());
  }
  if (!cleanup) return Status();

  if (!damaged.empty()) {
    // The way out is forgetting each record by the whole id a check gives.
    std::string message = "space is not reclaimed while " + std::to_string(damaged.size()) +
                          " snapshot records are damaged; forget each by the id a check gives: " + damaged.front();
    if (damaged.size() > 1) message += " (and " + std::to_string(damaged.size() - 1) + " more)";
    return Status(Status::kProtocol, message);
  }
  BlobIdSet referenced;
  st = CollectReferenced(repo, all, referenced, cancel);
  if (!st.ok()) return st;
  PruneReport ignored;
  return repo.retirePacks(referenced, report != nullptr ? *report : ignored);
}

}  // namespace tarn::backup
