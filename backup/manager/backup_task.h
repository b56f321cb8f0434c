// What one task hands from its op to the bookkeeping at its end. Private to
// the task runner's files.
#pragma once

#include <string>
#include <vector>

#include "backup/manager/backup_manager.h"

namespace tarn {

struct BackupManager::TaskOutcome {
  Status status;
  std::string note;                   // the summary of a task that succeeded
  std::vector<std::string> problems;  // per-item problems, at most kMaxProblems
  backup::SnapshotInfo version;       // backup: the version written
  std::vector<std::string> removed;   // ids of versions forgotten
  bool setLastPrune = false;          // space was reclaimed
};

}  // namespace tarn
