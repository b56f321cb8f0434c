// The backup requests of the control socket: every op whose name begins
// with "backup", each on the connection thread that received it.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>

#include "backup/engine/restore.h"
#include "backup/engine/schedule.h"
#include "backup/manager/backup_manager.h"
#include "foundation/file_util.h"
#include "foundation/log.h"
#include "foundation/share_link.h"
#include "foundation/text.h"
#include "platform/local_dir.h"

namespace tarn {
namespace {

using vx::json::Value;

constexpr std::string_view kOpList = "backupList";
constexpr std::string_view kOpSet = "backupSet";
constexpr std::string_view kOpTest = "backupTest";
constexpr std::string_view kOpRemove = "backupRemove";
constexpr std::string_view kOpRun = "backupRun";
constexpr std::string_view kOpPruneRequest = "backupPrune";
constexpr std::string_view kOpCheckRequest = "backupCheck";
constexpr std::string_view kOpRestoreRequest = "backupRestore";
constexpr std::string_view kOpStop = "backupStop";
constexpr std::string_view kOpLog = "backupLog";
constexpr std::string_view kOpSnapshots = "backupSnapshots";
constexpr std::string_view kOpLs = "backupLs";
constexpr std::string_view kOpForget = "backupForget";

// The most log lines one backupLog returns.
constexpr int kMaxJobLogLines = 100000;
constexpr int64_t kMaxUmask = 0777;

constexpr const char* kNoSuchJob = "no such backup job";
constexpr const char* kNoSuchSnapshot = "no such snapshot";

Value StatusReply(const Status& s) { return s.ok() ? OkReply() : ErrorReply(s.toString()); }

// protocol://host[:port]/root, the form in which the windows show where a
// job keeps its versions.
// Where a repository lies, whoever logs in and however: a job whose place
// this changes has moved.
std::string PlaceText(const EndpointConfig& ep) {
  std::string text = ep.protocol + "://" + ep.host;
  if (ep.port != 0) text += ":" + std::to_string(ep.port);
  return text + (ep.root.empty() ? std::string("/") : ep.root);
}

// The destination as the user gave it; an S3 store's host is its address,
// so the scheme names the kind of place there.
std::string DestinationText(const EndpointConfig& ep) { return ep.protocol == "s3" ? PlaceText(ep) : EndpointLink(ep); }

// "damaged": the names of records that did not open, which belong to no
// known job and can only be forgotten.
Value SnapshotsReply(const std::vector<backup::SnapshotInfo>& versions, const std::vector<std::string>& damaged) {
  Value list = Value::array();
  for (const backup::SnapshotInfo& v : versions) list.append(SnapshotJson(v));
  Value reply = OkReply();
  reply.set("snapshots", std::move(list));
  if (!damaged.empty()) reply.set("damaged", backup::StringListToJson(damaged));
  return reply;
}

// The entries of one folder of a version, as backupLs replies them.
Status ListVersion(backup::Repo& repo, const backup::SnapshotInfo& version, const std::string& path, Value& entries) {
  std::vector<backup::ListingEntry> listing;
  Status s = backup::BrowseSnapshot(repo, version, path, listing);
  if (!s.ok()) return s;
  for (const backup::ListingEntry& e : listing) {
    Value v = Value::object();
    v.set("name", e.name);
    v.set("dir", e.isDir);
    v.set("size", e.size);
    v.set("mtime", Timestamp::fromFileTime(e.mtime).seconds);
    if (!e.src.empty()) v.set("source", e.src);
    entries.append(std::move(v));
  }
  return Status();
}

// Sources a job does not have yet must be folders or files that are there:
// a mistyped path would otherwise show only when the job runs.
std::string CheckNewSources(const std::vector<std::string>& sources, const std::vector<std::string>* had) {
  for (const std::string& source : sources) {
    if (had != nullptr && std::find(had->begin(), had->end(), source) != had->end()) continue;
    localfs::Entry found;
    const Status st = localfs::StatPath(source, found);
    if (st.code == Status::kNotFound)
      return "sources must be folders or files that are there: " + source + " is not there";
    if (!st.ok())
      return "sources must be folders or files that can be read: " + source + " (" +
             vx::FormatWin32Error(static_cast<uint32_t>(st.native)) + ")";
    if (found.kind != localfs::Kind::kFolder && found.kind != localfs::Kind::kFile)
      return "sources must be folders or files: " + source + " is neither";
  }
  return {};
}

}  // namespace

Value BackupManager::handle(const Value& request, const IpcCaller* caller) {
  const std::string op = request["op"].asString();
  if (caller != nullptr && !caller->privileged) {
    LogRefusal(*caller, op);
    return ErrorReplyWithCode("backups are managed by an administrator of this computer", "admin");
  }
  const std::string id = request["id"].asString();
  const int64_t t = now();

  if (op == kOpList) {
    Value list = Value::array();
    {
      std::lock_guard<std::mutex> lock(stateMutex_);
      for (const auto& [jobId, state] : jobs_) list.append(stateJson(*state, t));
    }
    Value reply = OkReply();
    reply.set("jobs", std::move(list));
    reply.set("now", t);
    return reply;
  }
  if (op == kOpSet) return setJob(request);
  if (op == kOpTest) return testJob(request);
  constexpr std::string_view kJobOps[] = {kOpRemove, kOpRun,  kOpPruneRequest, kOpCheckRequest, kOpRestoreRequest,
                                          kOpStop,   kOpLog,  kOpSnapshots,    kOpLs,           kOpForget};
  if (std::find(std::begin(kJobOps), std::end(kJobOps), op) == std::end(kJobOps)) return ErrorReply("unknown op: " + op);
  // Every other request names a job, and a job's id names its folder.
  if (!backup::IsValidJobId(id)) return ErrorReply(backup::kBadJobIdMessage);
  if (op == kOpRemove) return removeJob(id);
  if (op == kOpRun || op == kOpPruneRequest || op == kOpCheckRequest) {
    TaskArgs args;
    args.readData = request["readData"].asBool(false);
    const char* task = op == kOpRun ? kOpBackup : op == kOpPruneRequest ? kOpPrune : kOpCheck;
    return StatusReply(startTask(id, task, std::move(args)));
  }
  if (op == kOpRestoreRequest) {
    TaskArgs args;
    args.snapshot = request["snapshot"].asString();
    args.path = request["path"].asString();
    args.target = request["target"].asString();
    if (caller != nullptr)
      args.callerToken = caller->token;
    else
      args.inProcess = true;
    int64_t umask = 0;
    if (request["umask"].asWholeNumber(0, kMaxUmask, umask)) args.umask = static_cast<uint32_t>(umask);
    return StatusReply(startTask(id, kOpRestore, std::move(args)));
  }
  if (op == kOpStop) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    std::shared_ptr<JobState> state = findLocked(id);
    if (!state) return ErrorReply(kNoSuchJob);
    if (state->running.empty()) return ErrorReply("the job is not running");
    state->cancel->cancel();
    return OkReply();
  }
  if (op == kOpLog) {
    const int lines = std::clamp(request["lines"].asInt(kDefaultJobLogLines), 1, kMaxJobLogLines);
    std::string text;
    (void)vx::ReadWholeFile(vx::JoinPath(jobPath(id), kJobLogFileName), text);
    Value reply = OkReply();
    // One line more than asked for.
    reply.set("text", vx::LastLines(text, lines + 1));
    return reply;
  }
  return browse(op, id, request);
}

Value BackupManager::stateJson(const JobState& state, int64_t t) {
  const backup::BackupJob& job = state.job;
  Value v = job.toJson(false);
  EndpointConfig destination;
  v.set("destination", resolveDestination(job, destination).ok() ? DestinationText(destination) : std::string());
  Value s = Value::object();
  s.set("running", state.running);
  s.set("phase", state.phase);
  s.set("startedAt", state.taskStartedAt);
  if (!state.running.empty() && state.progress) {
    const backup::Progress& p = *state.progress;
    s.set("files", p.files.load());
    s.set("dirs", p.dirs.load());
    s.set("bytes", p.bytes.load());
    s.set("bytesRead", p.bytesRead.load());
    s.set("errors", p.errors.load());
    s.set("skipped", p.skipped.load());
    s.set("current", p.current());
    s.set("totalHint", state.lastSnapshot.bytes);
  }
  if (!state.running.empty() && state.taskRepo) {
    s.set("bytesUp", state.taskRepo->bytesUploaded.load());
    s.set("bytesDown", state.taskRepo->bytesDownloaded.load());
  }
  s.set("lastStart", state.lastStart);
  s.set("lastEnd", state.lastEnd);
  s.set("lastOk", state.lastOk);
  s.set("lastResult", state.lastResult);
  s.set("lastError", state.lastError);
  s.set("lastNote", state.lastNote);
  s.set("lastTask", state.lastTask);
  s.set("lastTaskResult", state.lastTaskResult);
  s.set("lastTaskCounts", state.lastTaskCounts);
  if (!state.lastSnapshot.id.empty()) s.set("lastSnapshot", SnapshotJson(state.lastSnapshot));
  const bool scheduled = job.enabled && backup::IsScheduled(job.schedule.mode);
  s.set("nextRun", scheduled ? job.schedule.nextRun(state.lastStart, t) : 0);
  v.set("state", std::move(s));
  return v;
}

void BackupManager::keepStoredSecretsLocked(backup::BackupJob& incoming, std::string& sealedPassword) const {
  std::shared_ptr<JobState> stored = incoming.id.empty() ? nullptr : findLocked(incoming.id);
  if (!stored) return;
  if (incoming.password.empty()) {
    incoming.password = stored->job.password;
    sealedPassword = stored->sealedPassword;
  }
  EndpointConfig& ep = incoming.endpoint;
  if (ep.password.empty()) {
    ep.password = stored->job.endpoint.password;
    ep.sealedPassword = stored->job.endpoint.sealedPassword;
  }
  if (ep.privateKey.empty()) {
    ep.privateKey = stored->job.endpoint.privateKey;
    ep.sealedPrivateKey = stored->job.endpoint.sealedPrivateKey;
  }
}

Value BackupManager::checkDestination(const backup::BackupJob& job, const backup::BackupJob* before,
                                      std::string& untried) {
  EndpointConfig destination;
  if (!resolveDestination(job, destination).ok()) return OkReply();
  const std::string where = DestinationText(destination);
  bool moved = true;
  bool newPassword = true;
  bool newLogin = true;
  if (before != nullptr) {
    EndpointConfig old;
    moved = !resolveDestination(*before, old).ok() || PlaceText(old) != PlaceText(destination);
    newPassword = job.password != before->password;
    const EndpointConfig& was = before->endpoint;
    newLogin = job.endpoint.user != was.user || job.endpoint.password != was.password ||
               job.endpoint.privateKey != was.privateKey;
  }
  if (!moved && !newPassword && !newLogin) return OkReply();

  EndpointConfig endpoint;
  std::shared_ptr<backup::Repo> repo;
  Status s = makeRepo(job, true, endpoint, repo);
  if (s.ok()) s = repo->probe();
  // A log-in without a secret is not even tried: no server refused it.
  if (s.code == Status::kAuthFailed && !endpoint.user.empty() && endpoint.password.empty() &&
      endpoint.privateKey.empty())
    return ErrorReply("no password for " + endpoint.user + " at " + where + ", so the log-in was not tried");
  // A host key other than the recorded one is this side's refusal.
  if (s.code == Status::kAuthFailed && s.message.rfind("host key of ", 0) == 0)
    return ErrorReply("the job is not saved: " + s.message);
  // The server's own refusal is no matter of the repository's password.
  if (s.code == Status::kAuthFailed) return ErrorReply("the server at " + where + " refused the log-in: " + s.words());
  if (s.code == Status::kNotFound) {
    // A run would refuse to make a repository over such a folder; so does
    // the job.
    s = repo->checkNoStrayData();
    if (s.code == Status::kExists)
      return ErrorReply("the folder at " + where + " holds " + s.message +
                        "; choose another folder, or put its \"config\" back");
    if (s.code == Status::kNotFound) s = Status();
  } else if (s.ok() && (moved || newPassword)) {
    s = repo->open(job.password);
    if (s.code == Status::kAuthFailed)
      return ErrorReply("the repository at " + where + " does not open with this password");
  }
  // Only the server's answer refuses: one that cannot be reached now does
  // not keep a job from being set up.
  if (!s.ok())
    untried = "the server at " + where + " could not be asked (" + s.words() + "); the job is saved untried";
  return OkReply();
}

Value BackupManager::setJob(const Value& request) {
  const int64_t asked = now();
  const Value& in = request["job"];
  if (!in.isObject()) return ErrorReply("the job is missing");
  // The job's own values are checked before any server is asked.
  if (std::string problem = backup::CheckJobJson(in); !problem.empty()) return ErrorReply(problem);
  backup::BackupJob job = backup::BackupJob::fromJson(in);
  std::string warning;  // the job is saved, but this was not tried
  {
    backup::BackupJob checked = job;
    std::optional<backup::BackupJob> stored;
    {
      std::lock_guard<std::mutex> lock(stateMutex_);
      if (std::shared_ptr<JobState> found = job.id.empty() ? nullptr : findLocked(job.id)) stored = found->job;
      std::string sealedPassword;
      keepStoredSecretsLocked(checked, sealedPassword);
    }
    std::string problem = checked.checkValues();
    if (problem.empty()) problem = checked.validate();
    if (problem.empty()) problem = CheckNewSources(checked.sources, stored ? &stored->sources : nullptr);
    if (!problem.empty()) return ErrorReply(problem);
    EndpointConfig destination;
    if (Status resolved = resolveDestination(checked, destination); !resolved.ok())
      return ErrorReply(resolved.toString());
    // A password that does not open the repository would fail every later
    // run, listing and restore: it is tried first, with no lock held.
    std::string untried;
    if (Value refused = checkDestination(checked, stored ? &*stored : nullptr, untried); !refused["ok"].asBool())
      return refused;
    // Whoever asked may have given up waiting and been told it failed:
    // then nothing is saved.
    if (now() - asked > kSetAnswerSec)
      return ErrorReply("the server at " + DestinationText(destination) +
                        " took too long to answer; the job is not saved");
    if (!untried.empty()) vx::log::write(vx::log::kWarn, "backup job %s: %s", job.id.c_str(), untried.c_str());
    warning = std::move(untried);
  }
  std::shared_ptr<JobState> existing;
  if (!job.id.empty()) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    existing = findLocked(job.id);
  }
  // A browse request of the job must not store a repository of the old
  // destination after the change: its lock comes first.
  std::unique_lock<std::mutex> browse;
  if (existing) browse = std::unique_lock<std::mutex>(existing->browseMutex);
  std::shared_ptr<backup::Repo> dropped;  // released once no lock is held
  std::unique_lock<std::mutex> lock(stateMutex_);
  if (!job.id.empty() && findLocked(job.id) != existing) return ErrorReply("the job was changed meanwhile; try again");
  std::string sealedPassword;
  if (existing) {
    if (!existing->running.empty()) return ErrorReply("the job is running; stop it before changing it");
    keepStoredSecretsLocked(job, sealedPassword);
  }
  std::string problem = job.checkValues();
  if (problem.empty()) problem = job.validate();
  if (!problem.empty()) return ErrorReply(problem);
  EndpointConfig destination;
  const Status resolved = resolveDestination(job, destination);
  if (!resolved.ok()) return ErrorReply(resolved.toString());

  bool moved = false;
  if (existing) {
    EndpointConfig old;
    moved = !resolveDestination(existing->job, old).ok() || PlaceText(old) != PlaceText(destination);
  }
  std::shared_ptr<JobState> state = existing ? existing : std::make_shared<JobState>();
  backup::BackupJob before = state->job;
  const std::string sealedBefore = state->sealedPassword;
  state->job = job;
  state->sealedPassword = sealedPassword;
  if (!existing) jobs_[job.id] = state;
  std::string error;
  if (!saveJobs(&error)) {
    if (existing) {
      state->job = std::move(before);
      state->sealedPassword = sealedBefore;
    } else {
      jobs_.erase(job.id);
    }
    return ErrorReply(error);
  }
  if (moved) {
    // What the file-state cache and the versions describe lies elsewhere now.
    (void)::unlink(vx::JoinPath(jobPath(job.id), kJobStateFileName).c_str());
    state->versions.clear();
    state->versionsValid = false;
    state->lastSnapshot = backup::SnapshotInfo();
    saveStatus(*state);
  }
  dropped = std::move(state->browseRepo);
  Value reply = OkReply();
  reply.set("id", job.id);
  reply.set("job", stateJson(*state, now()));
  if (!warning.empty()) reply.set("warning", warning);
  return reply;
}

Value BackupManager::testJob(const Value& request) {
  const Value& in = request["job"];
  if (!in.isObject()) return ErrorReply("the job is missing");
  if (std::string problem = backup::CheckJobJson(in); !problem.empty()) return ErrorReply(problem);
  backup::BackupJob job = backup::BackupJob::fromJson(in);
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    std::string sealedPassword;
    keepStoredSecretsLocked(job, sealedPassword);
  }
  std::string problem = job.checkValues();
  if (problem.empty()) problem = job.validate();
  if (!problem.empty()) return ErrorReply(problem);
  std::shared_ptr<backup::Repo> repo;
  Status s = openRepo(job, nullptr, false, repo, true);
  Value reply = OkReply();
  if (s.code == Status::kNotFound) {
    reply.set("exists", false);
    return reply;
  }
  if (!s.ok()) return ErrorReply(s.toString());
  std::vector<backup::SnapshotInfo> versions;
  s = repo->listSnapshots(versions);
  if (!s.ok()) return ErrorReply(s.toString());
  reply.set("exists", true);
  reply.set("snapshots", versions.size());
  return reply;
}

Value BackupManager::removeJob(const std::string& id) {
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    std::shared_ptr<JobState> state = findLocked(id);
    if (!state) return ErrorReply(kNoSuchJob);
    if (state->cancel) state->cancel->cancel();
  }
  std::shared_ptr<JobState> removed;
  std::thread worker;
  {
    std::unique_lock<std::mutex> lock(stateMutex_);
    const bool idle = idle_.wait_for(lock, std::chrono::milliseconds(timing_.removeWaitMs), [&] {
      std::shared_ptr<JobState> state = findLocked(id);
      return !state || state->running.empty();
    });
    if (!idle) return ErrorReply("the job is still running");
    removed = findLocked(id);
    if (!removed) return OkReply();
    jobs_.erase(id);
    std::string error;
    // Its files go only once the file no longer names the job.
    if (!saveJobs(&error)) {
      jobs_[id] = removed;
      return ErrorReply(error);
    }
    worker = std::move(removed->worker);
  }
  if (worker.joinable()) worker.join();
  const std::string dir = jobPath(id);
  for (const char* name : {kJobStateFileName, kJobStateNewFileName, kJobStatusFileName, kJobLogFileName})
    (void)::unlink(vx::JoinPath(dir, name).c_str());
  (void)::rmdir(dir.c_str());
  return OkReply();
}

Status BackupManager::cachedRepo(const std::shared_ptr<JobState>& state, std::shared_ptr<backup::Repo>& out) {
  backup::BackupJob job;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (state->running == kOpBackup || state->running == kOpPrune)
      return Status(Status::kBusy, "the backup is running; its snapshots can be opened when it is done");
    if (state->browseRepo) {
      out = state->browseRepo;
      return Status();
    }
    job = state->job;
  }
  std::shared_ptr<backup::Repo> repo;
  Status s = openRepo(job, nullptr, false, repo, false);
  if (!s.ok()) return s;
  std::lock_guard<std::mutex> lock(stateMutex_);
  state->browseRepo = repo;
  out = std::move(repo);
  return Status();
}

Value BackupManager::forgetDamaged(backup::Repo& repo, const std::string& snapshot) {
  // A record that does not open is in no list of versions, yet blocks every
  // reclamation of space: it can be forgotten by its object name.
  std::vector<backup::SnapshotInfo> readable;
  std::vector<std::string> damaged;
  Status s = repo.listSnapshots(readable, &damaged);
  if (!s.ok()) return ErrorReply(s.toString());
  if (std::find(damaged.begin(), damaged.end(), snapshot) == damaged.end()) return ErrorReply(kNoSuchSnapshot);
  s = repo.lock(backup::LockMode::kExclusive, "forget");
  if (s.ok()) s = repo.deleteSnapshot(snapshot);
  repo.unlock();
  return StatusReply(s);
}

Value BackupManager::browse(const std::string& op, const std::string& id, const Value& request) {
  std::shared_ptr<JobState> state;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    state = findLocked(id);
    if (!state) return ErrorReply(kNoSuchJob);
    if (op == kOpSnapshots && state->versionsValid && !request["refresh"].asBool(false))
      return SnapshotsReply(state->versions, state->damagedRecords);
  }

  std::lock_guard<std::mutex> browsing(state->browseMutex);
  std::shared_ptr<backup::Repo> repo;
  Status s = cachedRepo(state, repo);
  if (!s.ok()) return ErrorReply(s.toString());
  std::vector<backup::SnapshotInfo> versions;
  std::vector<std::string> damaged;
  bool cached = false;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (state->versionsValid && op != kOpSnapshots) {
      versions = state->versions;
      cached = true;
    }
  }
  if (!cached) {
    s = repo->listSnapshots(versions, &damaged);
    if (!s.ok()) return ErrorReply(s.toString());
    // Other jobs may keep their versions in the same repository.
    std::erase_if(versions, [&](const backup::SnapshotInfo& v) { return !backup::IsVersionOfJob(v, id); });
    std::lock_guard<std::mutex> lock(stateMutex_);
    state->versions = versions;
    state->damagedRecords = damaged;
    state->versionsValid = true;
  }
  if (op == kOpSnapshots) return SnapshotsReply(versions, damaged);

  const std::string snapshot = request["snapshot"].asString();
  auto version = std::find_if(versions.begin(), versions.end(),
                              [&](const backup::SnapshotInfo& v) { return v.id == snapshot; });
  if (version == versions.end() && op == kOpForget) {
    Value reply = forgetDamaged(*repo, snapshot);
    if (reply["ok"].asBool()) {
      std::lock_guard<std::mutex> lock(stateMutex_);
      std::erase(state->damagedRecords, snapshot);
    }
    return reply;
  }
  if (version == versions.end()) return ErrorReply(kNoSuchSnapshot);
  if (op == kOpLs) {
    Value entries = Value::array();
    s = ListVersion(*repo, *version, request["path"].asString(), entries);
    if (!s.ok()) return ErrorReply(s.toString());
    Value reply = OkReply();
    reply.set("entries", std::move(entries));
    return reply;
  }
  if (versions.size() < 2) return ErrorReply("this is the only version; remove the job to stop keeping it");
  s = repo->lock(backup::LockMode::kExclusive, "forget");
  if (s.ok()) s = repo->deleteSnapshot(snapshot);
  repo->unlock();
  if (!s.ok()) return ErrorReply(s.toString());
  std::lock_guard<std::mutex> lock(stateMutex_);
  std::erase_if(state->versions, [&](const backup::SnapshotInfo& v) { return v.id == snapshot; });
  if (state->lastSnapshot.id == snapshot) {
    state->lastSnapshot = backup::SnapshotInfo();
    saveStatus(*state);
  }
  return OkReply();
}

}  // namespace tarn
