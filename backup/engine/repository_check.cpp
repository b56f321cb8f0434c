#include "backup/engine/repository_check.h"

#include "backup/engine/snapshot_walk.h"
#include "foundation/text.h"

namespace tarn::backup {

Status CheckRepository(Repo& repo, bool readData, CheckReport& report, const CancelToken* cancel,
                       const std::function<void(uint64_t, uint64_t)>& onProgress, Progress* progress) {
  const size_t before = report.problems.size();
  auto counted = [&](Status st) {
    if (progress != nullptr) progress->errors.fetch_add(report.problems.size() - before, std::memory_order_relaxed);
    return st;
  };

  Status st = repo.checkPack(readData, report, onProgress);
  if (!st.ok()) return counted(st);
  for (std::string& text : repo.indexDamage()) report.problems.push_back(std::move(text));
  std::vector<SnapshotInfo> snapshots;
  std::vector<std::string> damaged;
  st = repo.listSnapshots(snapshots, &damaged);
  if (!st.ok()) return counted(st);
  // A record that does not open hides what its snapshot needs: that is
  // damage like any other, not a clean repository. Its whole name is given,
  // since forgetting it by that name is the way out.
  for (const std::string& name : damaged)
    report.problems.push_back("snapshot record " + name + " cannot be opened; forget it by this id");

  // A version is whole only when storage holds every blob it needs: blobs
  // of lost packs are missing, and those of damaged packs may be; the next
  // backup stores again what its files still hold. Versions are named by
  // their whole id, which forgetting takes: several may share one minute.
  for (const SnapshotInfo& snapshot : snapshots) {
    uint64_t missing = 0;
    uint64_t damaged = 0;
    WalkLoss loss;
    st = WalkSnapshots(
        repo, {snapshot}, cancel,
        [&](const BlobId& id, bool) {
          const BlobState state = repo.blobState(id);
          if (state == BlobState::kMissing) ++missing;
          if (state == BlobState::kDamaged) ++damaged;
        },
        &loss);
    if (st.code == Status::kNetwork || st.code == Status::kTimeout || st.code == Status::kCanceled)
      return counted(st);
    std::string found;
    if (missing > 0) found = Counted(missing, "blob is", "blobs are") + " missing";
    if (damaged > 0) found += (found.empty() ? "" : ", ") + Counted(damaged, "blob lies", "blobs lie") + " in damaged packs";
    if (!loss.trees.empty())
      found += (found.empty() ? "" : "; ") + std::to_string(loss.trees.size()) +
               (loss.trees.size() == 1 ? " folder listing cannot be read (" : " folder listings cannot be read (") +
               loss.trees.front().second.toString() + ")";
    // A read that failed otherwise ended this version's walk.
    if (!st.ok()) found += (found.empty() ? "" : "; ") + st.toString();
    if (found.empty()) continue;
    report.problems.push_back("version " + snapshot.id + " of " + vx::WideToUtf8(vx::FormatLocalTime(snapshot.time)) +
                              ": " + found);
    report.incompleteVersions.push_back(snapshot.id);
  }
  return counted(Status());
}

}  // namespace tarn::backup
