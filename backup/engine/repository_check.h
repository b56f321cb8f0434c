// The repository check: the repository's own pack check (optionally reading
// every pack whole), then a walk of every snapshot's listings for blobs that
// a snapshot needs and the repository no longer holds, and a count of the
// snapshot records that cannot be opened. Damage becomes problem texts in
// the report, and every problem is also counted in the task's error counter,
// so a check that found damage never ends as a clean one. Only failures that
// make the check impossible (listing, network, time-out, cancellation) end
// it with a failed status. Runs on the task's worker thread.
#pragma once

#include <cstdint>
#include <functional>

#include "backup/engine/progress.h"
#include "backup/repo/check_report.h"
#include "backup/repo/repo.h"
#include "foundation/cancel_token.h"
#include "foundation/status.h"

namespace tarn::backup {

// `onProgress` gets (bytes verified, total bytes) after each pack read whole;
// `progress`, when given, counts every problem found in its errors.
Status CheckRepository(Repo& repo, bool readData, CheckReport& report, const CancelToken* cancel,
                       const std::function<void(uint64_t, uint64_t)>& onProgress, Progress* progress = nullptr);

}  // namespace tarn::backup
