// The retention rule: which of a job's snapshots its keep counts let go.
// Keys are taken in UTC, so a snapshot's day, week (Monday to Sunday) and
// month do not move with the computer's time zone. Pure functions; any
// thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "backup/engine/backup_job.h"
#include "backup/repo/snapshot.h"

namespace tarn::backup {

// Day, week and month keys of a snapshot time (seconds since 1970 UTC).
int64_t RetentionDayKey(int64_t time);
int64_t RetentionWeekKey(int64_t time);
int64_t RetentionMonthKey(int64_t time);

// The ids of the snapshots no rule keeps, newest first. The newest snapshot
// is always kept, a single snapshot is never removed, and a retention
// without any count above 0 keeps everything. The rules add up: a snapshot
// stays when any of them keeps it.
std::vector<std::string> SelectForRemoval(const std::vector<SnapshotInfo>& snapshots, const Retention& retention);

}  // namespace tarn::backup
