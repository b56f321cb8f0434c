// The backup requests of the backup page, the job editor and the restore
// dialog: each body sends one backup request of the service client and
// returns what its window needs as a value, to be run on a worker
// (RunWorker) and handed back to the window that asked. No body shows
// anything or touches a window. Any thread.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <string>

#include "foundation/json.h"

namespace tarn::app {

inline constexpr uint32_t kJobListTimeoutMs = 5000;
inline constexpr uint32_t kRemoveJobTimeoutMs = 90000;
inline constexpr uint32_t kJobCommandTimeoutMs = 60000;  // run, stop, check, log, restore
inline constexpr uint32_t kEditJobTimeoutMs = 90000;     // test and save
inline constexpr uint32_t kBrowseTimeoutMs = 180000;     // versions, folders, deleting a version

// How a job list fetch ended.
enum class JobListOutcome { kFailed = 0, kListed = 1, kRefusedByRights = 2 };

struct JobListResult {
  JobListOutcome outcome = JobListOutcome::kFailed;
  vx::json::Value reply;  // the whole reply, possibly empty
};

// "backupList".
JobListResult FetchJobList();

// A command of the page: sends one request; false with the error text and
// the reply's code.
using PageTask = std::function<bool(std::string& error, std::string& code)>;

// Runs a command: its error text, empty when it succeeded.
QString RunPageTask(const PageTask& task);
// "backupRemove".
PageTask RemoveJobTask(std::string jobId);
// "backupStop" when the job was running as the command was made, else
// "backupRun".
PageTask RunOrStopTask(std::string jobId, bool running);
// "backupCheck" reading every pack.
PageTask VerifyTask(std::string jobId);

// "backupLog": the log's text, or the error text.
QString FetchJobLog(const std::string& jobId);

// The end of a "backupTest" or a "backupSet".
struct EditorResult {
  bool ok = false;
  std::string errorText;
  std::string errorCode;
  vx::json::Value reply;
};

// "backupTest" and "backupSet" of the edited job object.
EditorResult TestJobRequest(const vx::json::Value& job);
EditorResult SaveJobRequest(const vx::json::Value& job);

enum class RestoreLoadKind { kFolder = 0, kVersions = 1 };

// A folder listing or the version list, with the generation of the request
// so that the restore dialog knows an answer it no longer waits for.
struct RestoreLoadResult {
  uint32_t generation = 0;
  bool ok = false;
  RestoreLoadKind kind = RestoreLoadKind::kFolder;
  std::string path;  // the folder asked for; empty for the versions
  vx::json::Value reply;
  std::string error;
};

// "backupSnapshots", read anew from the repository.
RestoreLoadResult LoadVersionsRequest(const std::string& jobId, uint32_t generation);
// "backupLs" of one folder of a version.
RestoreLoadResult LoadFolderRequest(const std::string& jobId, const std::string& snapshot, const std::string& path,
                                    uint32_t generation);

// The end of a restore start or a version's deletion.
struct RestoreEnd {
  enum Kind { kRestoreFailed = 0, kRestoreStarted = 1, kDeleteEnded = 2 };
  Kind kind = kRestoreFailed;
  std::string error;  // empty on success
};

// "backupRestore": `path` inside the version (empty: all of it) to `target`
// (empty: where the files were).
RestoreEnd RestoreRequest(const std::string& jobId, const std::string& snapshot, const std::string& path,
                          const std::string& target);
// "backupForget" of one version.
RestoreEnd ForgetRequest(const std::string& jobId, const std::string& snapshot);

}  // namespace tarn::app
