// Retention and space reclamation of a repository: Prune forgets the
// snapshots of one job that its retention lets go and, when asked, lets the
// repository retire every pack that holds nothing the remaining snapshots of
// any job still reach. Runs on the task's worker thread; holds no state
// between calls.
#pragma once

#include <string>
#include <vector>

#include "backup/engine/backup_job.h"
#include "backup/repo/repo.h"
#include "foundation/cancel_token.h"
#include "foundation/status.h"

namespace tarn::backup {

// Applies the retention to the snapshots of `jobId` (all snapshots for an
// empty id) and deletes the records no rule keeps, newest first; `removed`
// gets each id deleted (or already gone). With cleanup, the packs that only
// forgotten snapshots reached are retired and `report` (may be null) counts
// what was freed. Deletions stand when a later step fails. Space is never
// reclaimed while a snapshot record could not be read: the blobs only that
// record reaches would be lost. A folder listing that cannot be read (its
// pack lost or damaged) does not stop it: what lies below it is unknown,
// everything else is kept, and `report` names the versions that need it.
// Forgetting and cleaning up take the
// repository's exclusive lock (kept until the repository is unlocked); code
// 12 names the client that holds it otherwise.
Status Prune(Repo& repo, const Retention& retention, const std::string& jobId, bool cleanup,
             const CancelToken* cancel, std::vector<std::string>& removed, PruneReport* report);

}  // namespace tarn::backup
