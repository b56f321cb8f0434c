#include "cli/backup_set.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <utility>

#include "backup/engine/backup_job.h"
#include "backup/engine/local_path.h"
#include "cli/backup_commands.h"
#include "cli/command_options.h"
#include "cli/console_commands.h"
#include "cli/terminal.h"
#include "client/service_client.h"
#include "foundation/file_util.h"
#include "foundation/remote_path.h"
#include "foundation/share_link.h"
#include "foundation/status.h"
#include "foundation/text.h"

namespace tarn::app {
namespace {

using vx::json::Value;

// An S3 destination: the bucket and folder after the scheme; the store's
// address apart, this one when none is given.
constexpr std::string_view kS3Scheme = "s3://";
constexpr std::string_view kDefaultS3Endpoint = "https://s3.amazonaws.com";

// "mon,wed,fri" or "all" as weekday bits; 0 when a name is unknown.
int32_t ParseDays(const std::string& text) {
  if (text == "all") return backup::kAllWeekdays;
  int32_t bits = 0;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = std::min(text.find(',', start), text.size());
    const std::string day = text.substr(start, end - start);
    int found = -1;
    for (int d = 0; d < 7; ++d) {
      if (day == kDayNames[d]) found = d;
    }
    if (found < 0) return 0;
    bits |= 1 << found;
    start = end + 1;
  }
  return bits;
}

// Applies the options of "set" to the job (all but the key file); empty when
// they fit, else what is wrong with them.
std::string ApplySetOptions(const Options& o, backup::BackupJob& job) {
  if (o.has("--name")) job.name = o.value("--name");
  if (o.has("--source")) {
    job.sources.clear();
    for (const std::string& s : o.values.at("--source")) job.sources.push_back(backup::FullLocalPath(s));
  }
  if (o.has("--exclude")) job.excludes = o.values.at("--exclude");
  if (o.has("--to")) {
    job.destMount.clear();
    job.destPath.clear();
    job.endpoint = EndpointConfig();
    const std::string to = o.value("--to");
    if (to.compare(0, kS3Scheme.size(), kS3Scheme) == 0) {
      // The bucket and the folder in it; the store is named apart.
      const std::string place = NormalizeRemotePath(to.substr(kS3Scheme.size()));
      if (IsRootPath(place)) return "give the bucket after s3://, and a folder in it if you like: s3://BUCKET/FOLDER";
      job.endpoint.protocol = "s3";
      job.endpoint.host = o.has("--endpoint") ? o.value("--endpoint") : std::string(kDefaultS3Endpoint);
      EndpointConfig store;
      store.host = job.endpoint.host;
      if (!(store.host.starts_with("https://") || store.host.starts_with("http://")) || !ParseShareLink(store).empty())
        return "--endpoint takes the store's address as https://HOST[:PORT]: " + job.endpoint.host;
      job.endpoint.root = place;
      if (o.has("--region")) job.endpoint.extra = "region=" + o.value("--region");
    } else {
      // The link's mistakes are the arguments', as for "tarn add".
      job.endpoint.host = to;
      EndpointConfig parsed = job.endpoint;
      if (to.find("://") == std::string::npos)
        return "not a link: " + to + " (give https://, http://, sftp://, nfs:// or s3://)";
      if (std::string wrong = ParseShareLink(parsed); !wrong.empty()) return wrong;
    }
  }
  if ((o.has("--endpoint") || o.has("--region")) && job.endpoint.protocol != "s3")
    return "--endpoint and --region go with --to s3://BUCKET/FOLDER";
  if (o.has("--drive")) {
    job.destMount = o.value("--drive");
    job.destPath = o.value("--path");
  }
  if (o.has("--user")) job.endpoint.user = o.value("--user");
  if (job.endpoint.protocol == "s3" && job.endpoint.user.empty()) return "an S3 store needs --user with its access key";
  if (o.has("--insecure")) {
    // As for a drive: only a TLS server has a certificate to take unchecked.
    EndpointConfig parsed = job.endpoint;
    const bool tls = parsed.protocol == "s3" ? parsed.host.starts_with("https://")
                                             : ParseShareLink(parsed).empty() && parsed.protocol == "webdav" &&
                                                   parsed.tls;
    if (!tls) return "--insecure is for https:// destinations only";
    job.endpoint.verifyTls = false;
  }
  if (o.has("--schedule")) {
    job.schedule.mode = o.value("--schedule");
    if (job.schedule.mode != backup::kModeManual && job.schedule.mode != backup::kModeHourly &&
        job.schedule.mode != backup::kModeDaily)
      return "--schedule takes manual, hourly or daily";
  }
  if (o.has("--every") && !ParseCount(o.value("--every"), backup::kMinEveryHours, backup::kMaxEveryHours,
                                      job.schedule.everyHours))
    return "--every takes hours from 1 to 168";
  if (o.has("--at")) {
    const std::string at = o.value("--at");
    const size_t colon = at.find(':');
    if (colon == std::string::npos || !ParseCount(at.substr(0, colon), 0, backup::kMaxHour, job.schedule.hour) ||
        !ParseCount(at.substr(colon + 1), 0, backup::kMaxMinute, job.schedule.minute))
      return "--at takes a time as HH:MM";
  }
  if (o.has("--days") && (job.schedule.weekdays = ParseDays(o.value("--days"))) == 0)
    return "--days takes all or days as mon,tue,wed,thu,fri,sat,sun";
  const std::pair<const char*, int32_t*> keeps[] = {{"--keep-last", &job.retention.keepLast},
                                                    {"--keep-daily", &job.retention.keepDaily},
                                                    {"--keep-weekly", &job.retention.keepWeekly},
                                                    {"--keep-monthly", &job.retention.keepMonthly}};
  for (const auto& [name, field] : keeps) {
    if (o.has(name) && !ParseCount(o.value(name), 0, backup::kMaxKeep, *field))
      return std::string(name) + " takes a count";
  }
  if (o.has("--compress")) {
    const std::string v = o.value("--compress");
    if (v != "on" && v != "off") return "--compress takes on or off";
    job.compress = v == "on";
  }
  if (o.has("--limit") && !ParseCount(o.value("--limit"), 0, INT32_MAX, job.speedLimitKbps))
    return "--limit takes KiB per second";
  if (o.has("--enable")) job.enabled = true;
  if (o.has("--disable")) job.enabled = false;
  return {};
}

constexpr const char* kSetHelp = "tarn backup set --help";

// The job of `jobs` that `given` names by its id, or else by its name; null
// when none does, and null with `error` when a name fits several.
const Value* NamedJob(const Value& jobs, const std::string& given, std::string& error) {
  const Value* named = nullptr;
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (jobs.at(i)["id"].asString() == given) return &jobs.at(i);
    if (jobs.at(i)["name"].asString() != given) continue;
    if (named != nullptr) {
      error = "more than one backup job is named " + given + "; name it by its id (\"tarn backup list\")";
      return nullptr;
    }
    named = &jobs.at(i);
  }
  return named;
}

// Lays the members of `over` on `base`: objects member by member, other
// values whole.
void LayOver(Value& base, const Value& over) {
  for (size_t i = 0; i < over.keys.size(); ++i) {
    const Value& value = over.items[i];
    if (value.isObject() && base[over.keys[i]].isObject()) {
      Value inner = base[over.keys[i]];
      LayOver(inner, value);
      base.set(over.keys[i], std::move(inner));
    } else {
      base.set(over.keys[i], value);
    }
  }
}

// The name the service gives the job: its own, or its first source's.
std::string NameOf(const backup::BackupJob& job) {
  const std::string name = vx::Trim(job.name);
  return name.empty() && !job.sources.empty() ? backup::LastComponent(job.sources.front()) : name;
}

// False only when the service finds no repository where the job keeps its
// backups, or cannot tell. A refused password (the repository's or the
// server's) is the saving's to report: there is something there to refuse.
bool MayBeRepositoryThere(const Value& job) {
  Value reply;
  std::string error;
  ProgressLine line("looking for a repository there");
  if (RequestBackup("backupTest", "", [&job](Value& r) { r.set("job", job); }, reply, error))
    return reply["exists"].asBool();
  return error.starts_with(std::string(Status::CodeText(Status::kAuthFailed)) + ":");
}

}  // namespace

int RunBackupSet(const std::vector<std::string>& args) {
  Options o;
  std::string problem = ParseOptions(
      args,
      {"--id", "--name", "--source", "--exclude", "--to", "--endpoint", "--region", "--user", "--key", "--drive",
       "--path", "--schedule",
       "--every", "--at", "--days", "--keep-last", "--keep-daily", "--keep-weekly", "--keep-monthly", "--compress",
       "--limit"},
      {"--enable", "--disable", "--insecure"}, o);
  if (!problem.empty()) return ReportUsage(problem, kSetHelp);
  if (o.positional.size() > 1) return ReportUsage("give at most one job file", kSetHelp);
  // A new job starts with the usual excludes.
  backup::BackupJob job = backup::BackupJob::fromJson(Value::object());
  Value file;
  if (!o.positional.empty()) {
    std::string text;
    if (!vx::ReadWholeFile(o.positional[0], text)) {
      std::error_code ec;
      return ReportFailure(std::filesystem::exists(o.positional[0], ec) ? "cannot read " + o.positional[0]
                                                                         : "there is no job file " + o.positional[0]);
    }
    if (!vx::json::Parse(text, file) || !file.isObject()) return ReportUsage(o.positional[0] + " is not a job", kSetHelp);
    // Reading would replace what has the wrong type; the service never sees
    // the file as written.
    if (std::string wrong = backup::CheckJobJson(file); !wrong.empty())
      return ReportUsage(o.positional[0] + ": " + wrong, kSetHelp);
    job = backup::BackupJob::fromJson(file);
  }
  Value list;
  std::string error;
  if (!RequestBackup("backupList", "", nullptr, list, error)) return ReportFailure(error);
  const Value& jobs = list["jobs"];
  // A job is changed by its id or its name; a new one may choose its id.
  if (o.has("--id")) job.id = o.value("--id");
  const Value* stored = job.id.empty() ? nullptr : NamedJob(jobs, job.id, error);
  if (!error.empty()) return ReportFailure(error);
  const bool existing = stored != nullptr;
  if (existing) {
    // A change starts from the job as it is, a job file's members laid over
    // it; its secrets stay with the service unless new ones are given.
    Value changed = *stored;
    if (!o.positional.empty()) LayOver(changed, file);
    job = backup::BackupJob::fromJson(changed);
    job.id = (*stored)["id"].asString();
  }
  problem = ApplySetOptions(o, job);
  if (!problem.empty()) return ReportUsage(problem, kSetHelp);
  if (!existing && (job.sources.empty() || (job.endpoint.host.empty() && job.destMount.empty())))
    return ReportUsage("a new job needs --source and --to (or --drive)", kSetHelp);
  if (o.has("--drive")) {
    ServiceStatus status;
    if (!RequestStatus(status)) return ReportFailure(status.error);
    if (std::none_of(status.mounts.begin(), status.mounts.end(),
                     [&job](const MountStatus& m) { return m.id == job.destMount; }))
      return ReportFailure("no drive has the id " + job.destMount + " (\"tarn status\" lists the drives)");
  }
  if (o.has("--key") && !vx::ReadWholeFile(o.value("--key"), job.endpoint.privateKey))
    return ReportFailure("cannot read the key file " + o.value("--key"));
  // Jobs are named by their names as well: no two may share one, and no
  // name may be another job's id, which would name that job.
  const std::string name = NameOf(job);
  for (size_t i = 0; i < jobs.size(); ++i) {
    const Value& other = jobs.at(i);
    const std::string otherId = other["id"].asString();
    if (otherId == job.id) continue;
    if (otherId == name)
      return ReportFailure("the backup job " + otherId + " has the id " + name + "; give this one another --name");
    if (other["name"].asString() != name) continue;
    return ReportFailure("the backup job " + otherId + " is named " + name + " already; change that one with --id " +
                         otherId + ", or give this one another --name");
  }

  // Command lines are visible to every user of the machine: secrets come
  // from the environment or the terminal. The server's first (an S3 store's
  // secret key, a key's passphrase), as "tarn add" takes it, whoever the
  // link names.
  const bool newLogin = o.has("--to") || o.has("--user") || o.has("--key");
  if (job.destMount.empty() && (newLogin || std::getenv(kPasswordVariable) != nullptr)) {
    EndpointConfig parsed = job.endpoint;
    if (parsed.protocol != "s3") (void)ParseShareLink(parsed);
    problem = ServerSecret(parsed.user, !job.endpoint.privateKey.empty(), parsed.protocol == "s3",
                           job.endpoint.password);
    if (!problem.empty()) return ReportFailure(problem);
  }
  bool typed = false;
  if (const char* password = std::getenv(kBackupPasswordVariable)) {
    job.password = password;
  } else if (!existing && job.password.empty()) {
    typed = ReadSecretFromTerminal("password of the backup repository: ", job.password);
  }
  Value sent = job.toJson(true);
  // A repository is made with the first password typed: one typo would
  // lock every backup away, so a new one's is typed twice.
  if (typed && !MayBeRepositoryThere(sent)) {
    std::string again;
    ReadSecretFromTerminal("the repository is new; its password again: ", again);
    const bool same = again == job.password;
    vx::SecureWipe(again);
    if (!same) {
      vx::SecureWipe(job.password);
      vx::SecureWipe(job.endpoint.password);
      vx::SecureWipe(job.endpoint.privateKey);
      return ReportFailure("the two passwords differ; nothing is saved");
    }
  }
  vx::SecureWipe(job.password);
  vx::SecureWipe(job.endpoint.password);
  vx::SecureWipe(job.endpoint.privateKey);
  Value reply;
  if (!RequestBackup("backupSet", "", [&sent](Value& r) { r.set("job", sent); }, reply, error)) return ReportFailure(error);
  std::printf("%s backup job %s; run it with \"tarn backup run %s\"\n", existing ? "changed" : "added",
              reply["id"].asString().c_str(), reply["id"].asString().c_str());
  if (reply.has("warning")) std::printf("note: %s\n", Printable(reply["warning"].asString()).c_str());
  // A scheduled job without a snapshot is due: "daily at 03:00" runs now.
  const Value& state = reply["job"]["state"];
  const int64_t nextRun = state["nextRun"].asInt64();
  if ((nextRun > 0 && nextRun <= static_cast<int64_t>(std::time(nullptr))) || state["running"].asString() == "backup")
    std::printf("the job is due, so its backup starts now (\"tarn backup show %s\" shows how it goes)\n",
                reply["id"].asString().c_str());
  return kExitOk;
}

}  // namespace tarn::app
