// The work of each task op, between the open repository and the task's
// bookkeeping. The backup run, restore, check and retention come with the
// backup engine; until then each op ends as not available.
#include "backup/manager/backup_manager.h"
#include "backup/manager/backup_task.h"

namespace tarn {
namespace {

Status NotAvailable(const char* op) { return Status(Status::kUnsupported, std::string(op) + " is not available yet"); }

}  // namespace

void BackupManager::runBackupOp(JobState&, const backup::BackupJob&, backup::Repo&, backup::Progress&,
                                const CancelToken*, TaskOutcome& out) {
  out.status = NotAvailable(kOpBackup);
}

void BackupManager::runRestoreOp(JobState&, backup::Repo&, const TaskArgs&, backup::Progress&, const CancelToken*,
                                 TaskOutcome& out) {
  out.status = NotAvailable(kOpRestore);
}

void BackupManager::runCheckOp(JobState&, backup::Repo&, const TaskArgs&, backup::Progress&, const CancelToken*,
                               TaskOutcome& out) {
  out.status = NotAvailable(kOpCheck);
}

void BackupManager::runPruneOp(JobState&, const backup::BackupJob&, backup::Repo&, const CancelToken*,
                               TaskOutcome& out) {
  out.status = NotAvailable(kOpPrune);
}

}  // namespace tarn
