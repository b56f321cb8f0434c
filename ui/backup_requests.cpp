#include "ui/backup_requests.h"

#include <utility>

#include "client/service_client.h"
#include "ui/service_text.h"

namespace tarn::app {
namespace {

using vx::json::Value;

// The code of the refusal the service gives a caller who may not manage
// backups.
constexpr const char* kRightsCode = "admin";

// A request that adds nothing to "op" and "id".
bool Send(const char* op, const std::string& jobId, std::string& error, std::string& code, uint32_t timeoutMs,
          const std::function<void(Value&)>& fill = nullptr) {
  Value reply;
  return RequestBackup(op, jobId, fill, reply, error, &code, timeoutMs);
}

EditorResult SendJob(const char* op, const Value& job) {
  EditorResult r;
  r.ok = RequestBackup(
      op, std::string(), [&job](Value& request) { request.set("job", job); }, r.reply, r.errorText, &r.errorCode,
      kEditJobTimeoutMs);
  return r;
}

}  // namespace

JobListResult FetchJobList() {
  JobListResult r;
  std::string error;
  std::string code;
  if (RequestBackup("backupList", std::string(), nullptr, r.reply, error, &code, kJobListTimeoutMs))
    r.outcome = JobListOutcome::kListed;
  else
    r.outcome = code == kRightsCode ? JobListOutcome::kRefusedByRights : JobListOutcome::kFailed;
  return r;
}

QString RunPageTask(const PageTask& task) {
  std::string error;
  std::string code;
  return task(error, code) ? QString() : QString::fromStdString(error);
}

PageTask RemoveJobTask(std::string jobId) {
  return [id = std::move(jobId)](std::string& error, std::string& code) {
    return Send("backupRemove", id, error, code, kRemoveJobTimeoutMs);
  };
}

PageTask RunOrStopTask(std::string jobId, bool running) {
  return [id = std::move(jobId), running](std::string& error, std::string& code) {
    return Send(running ? "backupStop" : "backupRun", id, error, code, kJobCommandTimeoutMs);
  };
}

PageTask VerifyTask(std::string jobId) {
  return [id = std::move(jobId)](std::string& error, std::string& code) {
    return Send("backupCheck", id, error, code, kJobCommandTimeoutMs,
                [](Value& request) { request.set("readData", true); });
  };
}

QString FetchJobLog(const std::string& jobId) {
  Value reply;
  std::string error;
  if (!RequestBackup("backupLog", jobId, nullptr, reply, error, nullptr, kJobCommandTimeoutMs))
    return QString::fromStdString(error);
  return ShownLines(reply["text"].asString());
}

EditorResult TestJobRequest(const Value& job) { return SendJob("backupTest", job); }

EditorResult SaveJobRequest(const Value& job) { return SendJob("backupSet", job); }

RestoreLoadResult LoadVersionsRequest(const std::string& jobId, uint32_t generation) {
  RestoreLoadResult r;
  r.generation = generation;
  r.kind = RestoreLoadKind::kVersions;
  r.ok = RequestBackup(
      "backupSnapshots", jobId, [](Value& request) { request.set("refresh", true); }, r.reply, r.error, nullptr,
      kBrowseTimeoutMs);
  return r;
}

RestoreLoadResult LoadFolderRequest(const std::string& jobId, const std::string& snapshot, const std::string& path,
                                    uint32_t generation) {
  RestoreLoadResult r;
  r.generation = generation;
  r.kind = RestoreLoadKind::kFolder;
  r.path = path;
  r.ok = RequestBackup(
      "backupLs", jobId,
      [&](Value& request) {
        request.set("snapshot", snapshot);
        request.set("path", path);
      },
      r.reply, r.error, nullptr, kBrowseTimeoutMs);
  return r;
}

RestoreEnd RestoreRequest(const std::string& jobId, const std::string& snapshot, const std::string& path,
                          const std::string& target) {
  RestoreEnd r;
  Value reply;
  const bool ok = RequestBackup(
      "backupRestore", jobId,
      [&](Value& request) {
        request.set("snapshot", snapshot);
        request.set("path", path);
        request.set("target", target);
        request.set("umask", CallerUmask());
      },
      reply, r.error, nullptr, kJobCommandTimeoutMs);
  r.kind = ok ? RestoreEnd::kRestoreStarted : RestoreEnd::kRestoreFailed;
  if (ok) r.error.clear();
  return r;
}

RestoreEnd ForgetRequest(const std::string& jobId, const std::string& snapshot) {
  RestoreEnd r;
  r.kind = RestoreEnd::kDeleteEnded;
  Value reply;
  if (RequestBackup(
          "backupForget", jobId, [&](Value& request) { request.set("snapshot", snapshot); }, reply, r.error, nullptr,
          kBrowseTimeoutMs))
    r.error.clear();
  return r;
}

}  // namespace tarn::app
