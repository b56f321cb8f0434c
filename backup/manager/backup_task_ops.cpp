// The work of each task op, between the open repository and the task's
// bookkeeping: a backup with its retention and, at most weekly, its cleanup;
// a restore with the caller's rights; a check; a prune.
#include <unistd.h>

#include <algorithm>

#include "backup/engine/backup_run.h"
#include "backup/engine/prune.h"
#include "backup/engine/repository_check.h"
#include "backup/engine/restore.h"
#include "backup/manager/backup_manager.h"
#include "backup/manager/backup_task.h"
#include "foundation/config_file.h"
#include "platform/caller_rights.h"

namespace tarn {
namespace {

// A folder left out of every backup, as an exclude pattern: the walk matches
// patterns holding "/" against full paths with fnmatch, whose special
// characters a folder's name may hold.
std::string FolderPattern(const std::string& folder) {
  std::string out;
  for (char c : folder) {
    if (c == '*' || c == '?' || c == '[' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

// Versions are named as the console's list of them shows them.
constexpr size_t kShortVersionId = 8;

// "; incomplete versions: 6f1e2d3c, 9a8b7c6d": every version that needs
// what storage does not hold, by the id that forgetting takes.
std::string IncompleteText(const std::vector<std::string>& ids) {
  if (ids.empty()) return {};
  std::string text = ids.size() == 1 ? "; incomplete version: " : "; incomplete versions: ";
  const size_t named = std::min(ids.size(), backup::kMaxProblems);
  for (size_t i = 0; i < named; ++i) text += (i == 0 ? "" : ", ") + ids[i].substr(0, kShortVersionId);
  if (ids.size() > named) text += " and " + std::to_string(ids.size() - named) + " more";
  return text;
}

// The log's lines on the versions a cleanup found incomplete.
void NoteIncomplete(const backup::PruneReport& report, std::vector<std::string>& notes) {
  for (const std::string& id : report.incompleteVersions)
    notes.push_back("version " + id +
                    " is incomplete: a folder listing it needs cannot be read; what it still names is kept");
}

}  // namespace

void BackupManager::runBackupOp(JobState& state, const backup::BackupJob& job, backup::Repo& repo,
                                backup::Progress& progress, const CancelToken* cancel, TaskOutcome& out) {
  setPhase(state, kPhaseBackup);
  backup::BackupRunArgs args;
  args.jobId = job.id;
  args.jobName = job.name;
  args.sources = job.sources;
  args.excludes = job.excludes;
  // The service's own data (backups included) and the drives' caches are
  // never part of a backup.
  args.excludes.push_back(FolderPattern(DataRoot()));
  if (owner_ != nullptr) args.excludes.push_back(FolderPattern(owner_->cacheRoot()));
  args.stateDir = jobPath(job.id);
  backup::WalkNotes notes;
  out.status = backup::RunBackup(repo, args, &progress, cancel, out.version, out.problems, &notes);
  if (!out.status.ok()) return;
  out.note = Counted(out.version.files, "file", "files") + ", " + FormatBytes(out.version.bytes) + "; sent " +
             FormatBytes(out.version.storedBytes) + backup::WalkNotesText(notes);
  out.changedFiles = notes.changedFiles;
  out.unreadFolders = notes.unreadFolders;
  out.badNames = notes.badNames;
  out.badNameFolders = notes.badNameFolders;
  for (const std::string& mount : notes.skippedMounts)
    out.notes.push_back(mount + ": another file system that backups leave out");

  setPhase(state, kPhaseCleanup);
  int64_t lastPrune = 0;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    lastPrune = state.lastPrune;
  }
  // The backup stands whatever its cleanup does.
  Status kept = backup::Prune(repo, job.retention, job.id, false, cancel, out.removed, nullptr);
  if (kept.ok() && !out.removed.empty() && now() - lastPrune >= kCleanupIntervalSec) {
    std::vector<std::string> none;
    backup::PruneReport report;
    kept = backup::Prune(repo, job.retention, job.id, true, cancel, none, &report);
    NoteIncomplete(report, out.notes);
    if (kept.ok()) {
      appendLog(job.id, "cleanup: " + std::to_string(report.packsDeleted + report.packsRepacked) +
                            " packs retired, " + FormatBytes(report.bytesFreed) + " freed" +
                            IncompleteText(report.incompleteVersions));
      out.setLastPrune = true;
    }
  }
  // The backup's own line says so: the console shows that line alone.
  if (!kept.ok()) out.note += "; cleanup did not finish: " + kept.toString();
}

void BackupManager::runRestoreOp(JobState& state, const backup::BackupJob& job, backup::Repo& repo,
                                 const TaskArgs& args, backup::Progress& progress, const CancelToken* cancel,
                                 TaskOutcome& out) {
  setPhase(state, kPhaseRestore);
  std::vector<backup::SnapshotInfo> versions;
  std::vector<std::string> damaged;
  out.status = repo.listSnapshots(versions, &damaged);
  if (!out.status.ok()) return;
  auto version = std::find_if(versions.begin(), versions.end(),
                              [&](const backup::SnapshotInfo& v) { return v.id == args.snapshot; });
  if (version == versions.end()) {
    const bool there = std::find(damaged.begin(), damaged.end(), args.snapshot) != damaged.end();
    out.status = there ? Status(Status::kProtocol, "the snapshot's record is damaged: it does not open")
                       : Status(Status::kNotFound, "the snapshot is no longer there");
    return;
  }
  // Another job's version would go to that job's sources.
  if (!backup::IsVersionOfJob(*version, job.id)) {
    out.status = Status(Status::kNotFound, "the snapshot is a version of another job");
    return;
  }
  backup::RestoreRequest request;
  request.path = args.path;
  request.target = args.target;
  // Written with the rights of whoever asked; only the service itself
  // restores with its own.
  if (args.callerToken) request.asCaller = CallerSwitch(*args.callerToken);
  request.inProcess = args.inProcess;
  // Only root may give files to others; anyone else's restored files are
  // their own.
  request.restoreOwners = args.inProcess || (args.callerToken && args.callerToken->uid == 0);
  request.umask = args.umask;
  // Whose links lead the way to where the restore writes, besides root's.
  request.callerUid = args.callerToken ? args.callerToken->uid : static_cast<uint32_t>(::geteuid());
  std::vector<std::string> unreadable;
  out.status = backup::Restore(repo, *version, request, progress, cancel, out.problems, &unreadable);
  if (!out.status.ok()) return;
  // Not one file is where it was asked for: that is no partial success.
  if (progress.errors.load() != 0 && progress.files.load() == 0) {
    out.status =
        Status(Status::kIo, "nothing could be restored; " + Counted(progress.errors.load(), "problem", "problems"));
    return;
  }
  // Files known to be lost are counted; a folder whose listing could not be
  // read held an unknown number of them, so it is named instead.
  const uint64_t lost = progress.errors.load() - std::min<uint64_t>(progress.errors.load(), unreadable.size());
  out.note = "restored " + Counted(progress.files.load(), "file", "files") + ", " + FormatBytes(progress.bytes.load());
  out.counts.set("files", progress.files.load());
  out.counts.set("bytes", progress.bytes.load());
  if (lost != 0) out.note += "; " + std::to_string(lost) + " could not be restored";
  if (!unreadable.empty()) {
    out.note += "; folder " + unreadable.front() + " could not be read";
    if (unreadable.size() > 1)
      out.note += " (and " + Counted(unreadable.size() - 1, "more folder", "more folders") + ")";
  }
}

void BackupManager::runCheckOp(JobState& state, backup::Repo& repo, const TaskArgs& args, backup::Progress& progress,
                               const CancelToken* cancel, TaskOutcome& out) {
  setPhase(state, kPhaseCheck);
  backup::CheckReport report;
  out.status = backup::CheckRepository(repo, args.readData, report, cancel,
                                       [&progress](uint64_t done, uint64_t) { progress.bytes.store(done); });
  if (!out.status.ok()) return;
  // Every problem counts, also those whose text is not kept, so that damage
  // ends the check with "warnings".
  progress.errors.fetch_add(report.problems.size());
  const size_t kept = std::min(report.problems.size(), backup::kMaxProblems);
  out.problems.assign(report.problems.begin(), report.problems.begin() + static_cast<ptrdiff_t>(kept));
  out.counts.set("packs", report.packs);
  out.counts.set("bytes", report.bytes);
  out.counts.set("problems", report.problems.size());
  if (!report.problems.empty()) {
    out.logNote = "found " + Counted(report.problems.size(), "problem", "problems") + ": " + report.problems.front() +
                  IncompleteText(report.incompleteVersions);
    out.note = "check " + out.logNote;
  } else {
    out.logNote = Counted(report.packs, "pack", "packs") + ", " + FormatBytes(report.bytes) + ", sound";
    out.note = "check passed: " + Counted(report.packs, "pack", "packs") + ", " + FormatBytes(report.bytes);
  }
  // Not damage, but not a clean repository either: space the next prune
  // gives back, or data it indexes again.
  std::string leftovers;
  if (report.unindexedPacks > 0)
    leftovers = Counted(report.unindexedPacks, "pack", "packs") + " that no index names (" +
                FormatBytes(report.unindexedBytes) + ")";
  if (report.temporaries > 0)
    leftovers += (leftovers.empty() ? "" : " and ") + Counted(report.temporaries, "upload leftover", "upload leftovers") + " (" +
                 FormatBytes(report.temporaryBytes) + ")";
  if (!leftovers.empty()) {
    out.note += "; " + leftovers + ", for the next prune";
    out.logNote += "; " + leftovers + ", for the next prune";
  }
}

void BackupManager::runPruneOp(JobState& state, const backup::BackupJob& job, backup::Repo& repo,
                               const CancelToken* cancel, TaskOutcome& out) {
  setPhase(state, kPhaseCleanup);
  backup::PruneReport report;
  out.status = backup::Prune(repo, job.retention, job.id, true, cancel, out.removed, &report);
  NoteIncomplete(report, out.notes);
  if (!out.status.ok()) return;
  out.note = "cleanup: " + std::to_string(out.removed.size()) + " old versions removed, " +
             FormatBytes(report.bytesFreed) + " freed" + IncompleteText(report.incompleteVersions);
  out.counts.set("versions", out.removed.size());
  out.counts.set("bytes", report.bytesFreed);
  if (report.packsAdopted > 0)
    out.note += "; " + std::to_string(report.packsAdopted) + " packs that no index named are indexed";
  out.setLastPrune = true;
}

}  // namespace tarn
