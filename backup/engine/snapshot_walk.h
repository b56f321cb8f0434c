// Walks over the folder listings that snapshots reach: every tree once per
// walk, however many snapshots or folders share it, and every data blob once
// for each file entry that names it. Pruning collects the referenced set
// with it; the repository check counts what is missing with it. Free
// functions, run on the task's worker thread; they read through the
// repository, which serialises its own reads.
#pragma once

#include <functional>
#include <utility>
#include <vector>

#include "backup/repo/blob_id.h"
#include "backup/repo/repo.h"
#include "backup/repo/snapshot.h"
#include "foundation/cancel_token.h"
#include "foundation/status.h"

namespace tarn::backup {

using BlobVisitor = std::function<void(const BlobId& id, bool isTree)>;

// The folder listings a walk could not read, and the snapshots that need
// them.
struct WalkLoss {
  // Each tree that could not be read or is no listing, with why.
  std::vector<std::pair<BlobId, Status>> trees;
  // One per snapshot walked, in their order: whether it reaches one of them.
  std::vector<bool> incomplete;
};

// Reports every tree (before reading it) and every data blob of the given
// snapshots. A tree that cannot be read ends the walk with the read's
// failure, one that is no listing with code 18 "tree <8 hex> is damaged",
// and a cancellation with code 16. With `loss` given, a tree the
// repository knows to be lost (not stored, in a pack that is missing or
// damaged, or no listing) does not: the walk goes on without what lies
// below it, and `loss` names it and tells which snapshots need it. A read
// that failed for another reason (the storage, a time-out) says nothing of
// the tree and still ends the walk.
Status WalkSnapshots(Repo& repo, const std::vector<SnapshotInfo>& snapshots, const CancelToken* cancel,
                     const BlobVisitor& visit, WalkLoss* loss = nullptr);

// Every tree and data blob the snapshots reach.
Status CollectReferenced(Repo& repo, const std::vector<SnapshotInfo>& snapshots, BlobIdSet& referenced,
                         const CancelToken* cancel, WalkLoss* loss = nullptr);

}  // namespace tarn::backup
