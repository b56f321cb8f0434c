#include "backup/engine/prune.h"

#include <algorithm>

#include "backup/engine/retention.h"
#include "backup/engine/snapshot_walk.h"
#include "foundation/log.h"

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
    std::string message = "space is not reclaimed while " + Counted(damaged.size(), "snapshot record is", "snapshot records are") +
                          " damaged; forget each by the id a check gives: " + damaged.front();
    if (damaged.size() > 1) message += " (and " + std::to_string(damaged.size() - 1) + " more)";
    return Status(Status::kProtocol, message);
  }
  // A listing that is lost (its pack gone or damaged) hides what lies below
  // it; everything else its version names is kept, and the version is named
  // so that it can be forgotten, or made whole by a backup that stores the
  // listing again.
  BlobIdSet referenced;
  WalkLoss loss;
  st = CollectReferenced(repo, all, referenced, cancel, &loss);
  if (!st.ok()) return st;
  PruneReport ignored;
  PruneReport& out = report != nullptr ? *report : ignored;
  for (const auto& [tree, why] : loss.trees)
    vx::log::write(vx::log::kWarn, "backup: a folder listing cannot be read: %s", why.toString().c_str());
  for (size_t i = 0; i < all.size(); ++i) {
    if (!loss.incomplete[i]) continue;
    out.incompleteVersions.push_back(all[i].id);
    vx::log::write(vx::log::kWarn, "backup: version %s is incomplete; what it still names is kept", all[i].id.c_str());
  }
  return repo.retirePacks(referenced, out);
}

}  // namespace tarn::backup
