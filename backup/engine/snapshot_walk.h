// Walks over the folder listings that snapshots reach: every tree once per
// walk, however many snapshots or folders share it, and every data blob once
// for each file entry that names it. Pruning collects the referenced set
// with it; the repository check counts what is missing with it. Free
// functions, run on the task's worker thread; they read through the
// repository, which serialises its own reads.
#pragma once

#include <functional>
#include <vector>

#include "backup/repo/blob_id.h"
#include "backup/repo/repo.h"
#include "backup/repo/snapshot.h"
#include "foundation/cancel_token.h"
#include "foundation/status.h"

namespace tarn::backup {

using BlobVisitor = std::function<void(const BlobId& id, bool isTree)>;

// Reports every tree (before reading it) and every data blob of the given
// snapshots. A tree that cannot be read ends the walk with the read's
// failure; one that is not a listing with code 18 "tree <8 hex> is damaged";
// cancellation with code 16.
Status WalkSnapshots(Repo& repo, const std::vector<SnapshotInfo>& snapshots, const CancelToken* cancel,
                     const BlobVisitor& visit);

// Every tree and data blob the snapshots reach.
Status CollectReferenced(Repo& repo, const std::vector<SnapshotInfo>& snapshots, BlobIdSet& referenced,
                         const CancelToken* cancel);

}  // namespace tarn::backup
