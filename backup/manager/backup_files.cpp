// The backup folder's files: "jobs.json" with every job and its sealed
// secrets, and per job "status.json" (the outcome of its last tasks) and
// "log.txt" (its history, cut to its second half past 1 MiB).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "backup/manager/backup_manager.h"
#include "backup/manager/backup_task.h"
#include "foundation/config_file.h"
#include "foundation/file_util.h"
#include "foundation/log.h"

namespace tarn {
namespace {

using vx::json::Value;

constexpr int kJobsFileVersion = 1;
constexpr int kFileIndent = 2;
constexpr const char* kLogStampFormat = "%Y-%m-%d %H:%M:%S";
constexpr mode_t kLogMode = 0600;
// A job's folder: its status names the job's sources.
constexpr uint32_t kJobFolderMode = 0700;

void WipeSecrets(backup::BackupJob& job) {
  vx::SecureWipe(job.password);
  vx::SecureWipe(job.endpoint.password);
  vx::SecureWipe(job.endpoint.privateKey);
}

}  // namespace

Value SnapshotJson(const backup::SnapshotInfo& info) {
  Value v = backup::SnapshotToJson(info);
  v.set("id", info.id);
  return v;
}

std::string BackupManager::jobPath(const std::string& id) const { return vx::JoinPath(backupFolder_, id); }

bool BackupManager::loadJobs(std::string* error) {
  std::string text;
  // Before the first job is saved there is no file: no jobs yet.
  if (!vx::ReadWholeFile(vx::JoinPath(backupFolder_, kJobsFileName), text)) return true;
  Value root;
  if (!vx::json::Parse(text, root)) {
    if (error != nullptr) *error = "backup jobs file is not valid JSON";
    return false;
  }
  const Value& list = root["jobs"];
  std::lock_guard<std::mutex> lock(stateMutex_);
  for (size_t i = 0; i < list.size(); ++i) {
    auto state = std::make_shared<JobState>();
    backup::BackupJob& job = state->job;
    job = backup::BackupJob::fromJson(list.at(i));
    // Each secret is opened, whatever became of the one before.
    const bool passwordOpened = OpenStoredSecret(job.password, state->sealedPassword);
    const bool serverPasswordOpened = OpenStoredSecret(job.endpoint.password, job.endpoint.sealedPassword);
    const bool keyOpened = OpenStoredSecret(job.endpoint.privateKey, job.endpoint.sealedPrivateKey);
    const bool opened = passwordOpened && serverPasswordOpened && keyOpened;
    if (!opened) vx::log::write(vx::log::kWarn, "backup job %s: a stored secret does not open here", job.id.c_str());
    const std::string problem = job.validate();
    if (!problem.empty()) vx::log::write(vx::log::kWarn, "backup job %s: %s", job.id.c_str(), problem.c_str());
    // The id names the job's folder: one that could lead out of the backup
    // folder is never used.
    if (!backup::IsValidJobId(job.id)) continue;
    loadStatus(*state);
    jobs_[job.id] = std::move(state);
  }
  return true;
}

bool BackupManager::saveJobs(std::string* error) {
  Value root = Value::object();
  root.set("version", kJobsFileVersion);
  Value list = Value::array();
  for (const auto& [id, state] : jobs_) {
    backup::BackupJob copy = state->job;
    const bool sealed = SealStoredSecret(copy.password, state->sealedPassword) &&
                        SealStoredSecret(copy.endpoint.password, copy.endpoint.sealedPassword) &&
                        SealStoredSecret(copy.endpoint.privateKey, copy.endpoint.sealedPrivateKey);
    if (!sealed) {
      WipeSecrets(copy);
      if (error != nullptr) *error = "cannot seal the secrets of backup job " + id;
      return false;
    }
    list.append(copy.toJson(true));
  }
  root.set("jobs", std::move(list));
  if (!vx::WritePrivateFileAtomic(vx::JoinPath(backupFolder_, kJobsFileName), root.dump(kFileIndent))) {
    if (error != nullptr) *error = "cannot write the backup jobs file";
    return false;
  }
  return true;
}

void BackupManager::loadStatus(JobState& state) {
  std::string text;
  Value v;
  if (!vx::ReadWholeFile(vx::JoinPath(jobPath(state.job.id), kJobStatusFileName), text) || !vx::json::Parse(text, v))
    return;
  state.lastStart = v["lastStart"].asInt64();
  state.lastEnd = v["lastEnd"].asInt64();
  state.lastOk = v["lastOk"].asInt64();
  state.lastPrune = v["lastPrune"].asInt64();
  state.failStreak = v["failStreak"].asInt();
  state.lastResult = v["lastResult"].asString();
  state.lastError = v["lastError"].asString();
  state.lastNote = v["lastNote"].asString();
  state.lastTask = v["lastTask"].asString();
  state.lastTaskResult = v["lastTaskResult"].asString();
  if (v["lastTaskCounts"].isObject()) state.lastTaskCounts = v["lastTaskCounts"];
  if (v.has("lastSnapshot")) {
    state.lastSnapshot = backup::SnapshotFromJson(v["lastSnapshot"]);
    state.lastSnapshot.id = v["lastSnapshot"]["id"].asString();
  }
  for (const std::string& pack : backup::StringListFromJson(v["damagedPacks"])) {
    backup::BlobId id;
    if (backup::ParseBlobId(pack, id) && state.damagedPacks.size() < kMaxDamagedPacks)
      state.damagedPacks.push_back(pack);
  }
  const std::string unfinished = v["unfinished"].asString();
  if (unfinished.empty()) return;
  // The service ended (killed, the machine lost power) while the task ran:
  // it neither failed nor was it stopped.
  const std::string line = unfinished + " " + kResultInterrupted + ": the service ended while it ran";
  appendLog(state.job.id, line);
  state.lastTask = unfinished;
  state.lastTaskResult = kResultInterrupted;
  state.lastTaskCounts = Value::object();
  if (unfinished == kOpBackup) {
    state.lastResult = kResultInterrupted;
    state.lastError = "the service ended while the backup ran";
  } else {
    state.lastNote = line;
  }
  saveStatus(state);
}

void BackupManager::saveStatus(const JobState& state) {
  Value v = Value::object();
  v.set("lastStart", state.lastStart);
  v.set("lastEnd", state.lastEnd);
  v.set("lastOk", state.lastOk);
  v.set("lastPrune", state.lastPrune);
  v.set("failStreak", state.failStreak);
  v.set("lastResult", state.lastResult);
  v.set("lastError", state.lastError);
  v.set("lastNote", state.lastNote);
  if (!state.lastSnapshot.id.empty()) v.set("lastSnapshot", SnapshotJson(state.lastSnapshot));
  if (!state.lastTask.empty()) {
    v.set("lastTask", state.lastTask);
    v.set("lastTaskResult", state.lastTaskResult);
    if (state.lastTaskCounts.size() != 0) v.set("lastTaskCounts", state.lastTaskCounts);
  }
  if (!state.damagedPacks.empty()) v.set("damagedPacks", backup::StringListToJson(state.damagedPacks));
  if (!state.unfinished.empty()) {
    v.set("unfinished", state.unfinished);
    v.set("unfinishedSince", state.unfinishedSince);
  }
  const std::string dir = jobPath(state.job.id);
  vx::MakeDirs(dir, kJobFolderMode);
  // A status that cannot be written leaves the old one; the task's outcome
  // stands all the same.
  (void)vx::WritePrivateFileAtomic(vx::JoinPath(dir, kJobStatusFileName), v.dump(kFileIndent));
}

void BackupManager::appendLog(const std::string& id, const std::string& text) {
  const std::string dir = jobPath(id);
  vx::MakeDirs(dir, kJobFolderMode);
  const std::string path = vx::JoinPath(dir, kJobLogFileName);
  struct stat st {};
  std::string whole;
  if (::stat(path.c_str(), &st) == 0 && static_cast<uint64_t>(st.st_size) > kJobLogCutBytes &&
      vx::ReadWholeFile(path, whole)) {
    // Keep the second half from a line boundary on, so that the log still
    // begins with a whole entry.
    const size_t lineEnd = whole.find('\n', whole.size() / 2);
    (void)vx::WritePrivateFileAtomic(path, lineEnd == std::string::npos ? std::string() : whole.substr(lineEnd + 1));
  }
  vx::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, kLogMode));
  if (!fd.valid()) return;
  const time_t t = static_cast<time_t>(now());
  struct tm local {};
  char stamp[32] = "";
  if (::localtime_r(&t, &local) != nullptr) std::strftime(stamp, sizeof stamp, kLogStampFormat, &local);
  const std::string line = std::string(stamp) + "  " + text + "\r\n";
  (void)vx::WriteAll(fd.get(), line.data(), line.size());
}

bool BackupManager::anyRunning() {
  std::lock_guard<std::mutex> lock(stateMutex_);
  for (const auto& [id, state] : jobs_) {
    if (!state->running.empty()) return true;
  }
  return false;
}

}  // namespace tarn
