#include "cli/backup_commands.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <set>
#include <string_view>

#include "backup/engine/backup_job.h"
#include "backup/engine/local_path.h"
#include "cli/backup_set.h"
#include "cli/command_options.h"
#include "cli/console_commands.h"
#include "client/service_client.h"
#include "cli/terminal.h"
#include "foundation/file_util.h"
#include "foundation/status.h"
#include "foundation/text.h"

namespace tarn::app {
namespace {

using vx::json::Value;
using Args = std::vector<std::string>;

// How often a followed task's state is asked for.
constexpr uint32_t kTaskPollMs = 1000;
constexpr int kDefaultBackupLogLines = 50;
// Snapshot ids are shown by this many hex digits, and may be given so.
constexpr size_t kShortIdDigits = 8;
constexpr size_t kSnapshotIdBytes = 32;
// The length of the stamp that begins every job log line, with its blanks.
constexpr size_t kLogStampLength = 21;

// Local time in the form the logs use, so that what the console lists and
// what the logs say read alike.
std::string When(int64_t unixSeconds) {
  const auto t = static_cast<time_t>(unixSeconds);
  struct tm local {};
  if (unixSeconds <= 0 || localtime_r(&t, &local) == nullptr) return "-";
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                local.tm_hour, local.tm_min);
  return text;
}

// The job state object of one job, from the list.
bool FindJob(const std::string& id, Value& job, std::string& error) {
  Value reply;
  if (!RequestBackup("backupList", "", nullptr, reply, error)) return false;
  const Value& jobs = reply["jobs"];
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (jobs.at(i)["id"].asString() == id) {
      job = jobs.at(i);
      return true;
    }
  }
  error = "no such backup job";
  return false;
}

// A version named by its whole id, by a prefix only it has, or "latest".
bool ResolveSnapshot(const std::string& jobId, const std::string& given, std::string& id, std::string& error) {
  Value reply;
  if (!RequestBackup("backupSnapshots", jobId, nullptr, reply, error)) return false;
  const Value& list = reply["snapshots"];
  if (given == "latest" && list.size() > 0) {
    id = list.at(list.size() - 1)["id"].asString();
    return true;
  }
  std::vector<std::string> matches;
  for (size_t i = 0; i < list.size(); ++i) {
    const std::string candidate = list.at(i)["id"].asString();
    if (candidate == given) {
      id = candidate;
      return true;
    }
    if (!given.empty() && candidate.compare(0, given.size(), given) == 0) matches.push_back(candidate);
  }
  if (matches.size() == 1) {
    id = matches.front();
    return true;
  }
  error = matches.empty() ? "no such snapshot: " + given : "more than one snapshot begins with " + given;
  return false;
}

std::string StateText(const Value& state) {
  const std::string running = state["running"].asString();
  if (!running.empty()) return running + " (" + state["phase"].asString() + ")";
  // A restore, check or prune that did not end well since the last backup
  // is what the job's state is now.
  const std::string task = state["lastTask"].asString();
  const std::string taskResult = state["lastTaskResult"].asString();
  if (!task.empty() && task != "backup" && taskResult != "ok") return task + " " + taskResult;
  const std::string result = state["lastResult"].asString();
  return result.empty() ? std::string("never ran") : "last " + result;
}

// The weekdays of a schedule by name: "every day", or "mon,wed,fri".
std::string DaysText(int32_t bits) {
  if ((bits & backup::kAllWeekdays) == backup::kAllWeekdays) return "every day";
  std::string out;
  for (int d = 0; d < 7; ++d)
    if ((bits & (1 << d)) != 0) out += (out.empty() ? "" : ",") + std::string(kDayNames[d]);
  return out.empty() ? std::string("none") : out;
}

// The schedule as it applies: "by hand", "every 6 hours", "daily at 03:00"
// or "daily at 03:00 on mon,fri".
std::string ScheduleText(const Value& sched) {
  const std::string mode = sched["mode"].asString();
  if (mode == backup::kModeHourly)
    return "every " + Counted(static_cast<uint64_t>(std::max(sched["everyHours"].asInt(), 1)), "hour", "hours");
  if (mode != backup::kModeDaily) return "by hand";
  char at[16];
  std::snprintf(at, sizeof at, "%02d:%02d", sched["hour"].asInt(), sched["minute"].asInt());
  const int32_t days = sched["weekdays"].asInt();
  return "daily at " + std::string(at) +
         ((days & backup::kAllWeekdays) == backup::kAllWeekdays ? std::string() : " on " + DaysText(days));
}

std::string ProgressText(const std::string& label, const Value& s) {
  std::string text = label + ": " + s["phase"].asString();
  if (s.has("files")) text += ", " + Counted(static_cast<uint64_t>(s["files"].asInt64()), "file", "files");
  if (s.has("bytesRead") && s["bytesRead"].asInt64() > 0)
    text += ", " + FormatBytes(static_cast<uint64_t>(s["bytesRead"].asInt64())) + " read";
  if (s.has("bytesUp") && s["bytesUp"].asInt64() > 0)
    text += ", " + FormatBytes(static_cast<uint64_t>(s["bytesUp"].asInt64())) + " sent";
  if (s.has("bytesDown") && s["bytesDown"].asInt64() > 0)
    text += ", " + FormatBytes(static_cast<uint64_t>(s["bytesDown"].asInt64())) + " received";
  if (s["errors"].asInt64() > 0)
    text += ", " + Counted(static_cast<uint64_t>(s["errors"].asInt64()), "problem", "problems");
  return text;
}

// True when `error` says that nothing answers on the service's socket.
bool ServiceGone(const std::string& error) {
  return error == kServiceNotRunning || error.starts_with("cannot reach the service") ||
         error.starts_with("the service closed the connection");
}

// Waits for the job's task to end, then reports the result line the task
// wrote last into the job's log. Ctrl+C ends the wait, not the task.
int FollowTask(const std::string& id, const std::string& op) {
  enum class Ended { kTask, kInterrupt, kFailure } ended = Ended::kTask;
  std::string error;
  {
    InterruptWatch interrupt;
    ProgressLine line(op + " " + id);
    for (;;) {
      Value job;
      if (!FindJob(id, job, error)) {
        ended = Ended::kFailure;
        break;
      }
      if (job["state"]["running"].asString().empty()) break;
      line.setLabel(ProgressText(op + " " + id, job["state"]));
      if (interrupt.pause(kTaskPollMs)) {
        ended = Ended::kInterrupt;
        break;
      }
    }
  }
  if (ended == Ended::kInterrupt) {
    std::fprintf(stderr, "tarn: the %s of %s goes on in the service; \"tarn backup stop %s\" stops it\n", op.c_str(),
                 id.c_str(), id.c_str());
    return kExitInterrupted;
  }
  if (ended == Ended::kFailure) {
    // The stop of the service ends its tasks.
    ServiceStatus status;
    if (!ServiceGone(error) || RequestStatus(status) || !ServiceGone(status.error)) return ReportFailure(error);
    std::fprintf(stderr, "tarn: the service stopped while the %s of %s ran, and the %s ended with it\n", op.c_str(),
                 id.c_str(), op.c_str());
    return kExitNoService;
  }
  Value reply;
  if (!RequestBackup("backupLog", id, [](Value& r) { r.set("lines", 0); }, reply, error)) return ReportFailure(error);
  std::string text = Printable(vx::Trim(reply["text"].asString()));
  const size_t lastLine = text.rfind('\n');
  if (lastLine != std::string::npos) text.erase(0, lastLine + 1);
  text = text.size() > kLogStampLength ? text.substr(kLogStampLength) : text;
  if (text.compare(0, op.size() + 1, op + " ") != 0) return ReportFailure("the task left no result: " + text);
  const std::string result = text.substr(op.size() + 1, text.find(':') - op.size() - 1);
  if (result == "ok") {
    std::printf("%s\n", text.c_str());
    return kExitOk;
  }
  std::fprintf(stderr, "tarn: %s\n", text.c_str());
  // A check that finds damage has not passed; a backup or a restore that
  // left something out is done in part.
  if (result != "warnings" || op == "check") return kExitFailed;
  Value job;
  const std::string why =
      FindJob(id, job, error) && op == "backup" ? std::string(StatusTextWords(job["state"]["lastError"].asString())) : "";
  // A backup's files that kept changing were stored all the same.
  std::fprintf(stderr, "tarn: done in part%s; \"tarn backup log %s\" %s\n", why.empty() ? "" : (": " + why).c_str(),
               id.c_str(), op == "backup" ? "names each file" : "lists what was left out");
  return kExitPartial;
}

// ---- commands ------------------------------------------------------------

int RunList(const Args& args) {
  if (!args.empty()) return ReportUsage("backup list takes no arguments");
  Value reply;
  std::string error;
  if (!RequestBackup("backupList", "", nullptr, reply, error)) return ReportFailure(error);
  const Value& jobs = reply["jobs"];
  if (jobs.size() == 0) {
    std::printf("no backup jobs; add one with \"tarn backup set\"\n");
    return kExitOk;
  }
  std::printf("%-16s  %-16s  %-22s  %-16s  %-16s  %s\n", "ID", "NAME", "STATE", "LAST RUN", "NEXT RUN",
              "DESTINATION");
  for (size_t i = 0; i < jobs.size(); ++i) {
    const Value& j = jobs.at(i);
    const Value& s = j["state"];
    const int64_t next = s["nextRun"].asInt64();
    std::printf("%-16s  %-16s  %-22s  %-16s  %-16s  %s\n", j["id"].asString().c_str(),
                Printable(j["name"].asString()).c_str(),
                StateText(s).c_str(), When(s["lastEnd"].asInt64()).c_str(),
                next > 0 ? When(next).c_str() : (j["enabled"].asBool() ? "by hand" : "disabled"),
                Printable(j["destination"].asString()).c_str());
  }
  return kExitOk;
}

std::string Joined(const Value& list) {
  std::string out;
  for (size_t i = 0; i < list.size(); ++i) out += (i ? ", " : "") + list.at(i).asString();
  return out.empty() ? std::string("-") : Printable(out);
}

// The rules that keep snapshots; a rule of 0 keeps none by itself, and
// without any rule a prune lets no snapshot go.
std::string KeepsText(const Value& retention) {
  std::string out;
  for (const auto& [member, word] : {std::pair{"keepLast", "last"}, std::pair{"keepDaily", "daily"},
                                     std::pair{"keepWeekly", "weekly"}, std::pair{"keepMonthly", "monthly"}}) {
    const int count = retention[member].asInt();
    if (count > 0) out += (out.empty() ? "" : ", ") + std::string(word) + " " + std::to_string(count);
  }
  return out.empty() ? "every snapshot (no rule lets one go)" : out;
}

int RunShow(const Args& args) {
  if (args.size() != 1) return ReportUsage("give one backup job id");
  Value j;
  std::string error;
  if (!FindJob(args[0], j, error)) return ReportFailure(error);
  const Value& s = j["state"];
  const Value& sched = j["schedule"];
  const Value& keep = j["retention"];
  std::printf("id:          %s\nname:        %s\nsources:     %s\nexcludes:    %s\n", j["id"].asString().c_str(),
              Printable(j["name"].asString()).c_str(), Joined(j["sources"]).c_str(), Joined(j["excludes"]).c_str());
  std::printf("destination: %s\n", Printable(j["destination"].asString()).c_str());
  std::printf("schedule:    %s%s\n", ScheduleText(sched).c_str(), j["enabled"].asBool() ? "" : " (disabled)");
  std::printf("keeps:       %s\n", KeepsText(keep).c_str());
  std::printf("state:       %s\n", StateText(s).c_str());
  std::printf("last run:    %s to %s\n", When(s["lastStart"].asInt64()).c_str(), When(s["lastEnd"].asInt64()).c_str());
  std::printf("last good:   %s\n", When(s["lastOk"].asInt64()).c_str());
  if (!s["lastError"].asString().empty())
    std::printf("last error:  %s\n", Printable(StatusTextWords(s["lastError"].asString())).c_str());
  if (!s["lastNote"].asString().empty()) std::printf("last note:   %s\n", Printable(s["lastNote"].asString()).c_str());
  if (s.has("lastSnapshot"))
    std::printf("last snapshot: %s of %s\n", s["lastSnapshot"]["id"].asString().substr(0, kShortIdDigits).c_str(),
                When(s["lastSnapshot"]["time"].asInt64()).c_str());
  if (s["nextRun"].asInt64() > 0) std::printf("next run:    %s\n", When(s["nextRun"].asInt64()).c_str());
  return kExitOk;
}

// Commands that send one request about one job and print a line.
int SimpleRequest(const Args& args, const char* op, const char* done) {
  if (args.size() != 1) return ReportUsage("give one backup job id");
  Value reply;
  std::string error;
  if (!RequestBackup(op, args[0], nullptr, reply, error)) return ReportFailure(error);
  std::printf("%s %s\n", done, args[0].c_str());
  return kExitOk;
}

int RunRemove(const Args& args) { return SimpleRequest(args, "backupRemove", "removed backup job"); }
int RunStop(const Args& args) { return SimpleRequest(args, "backupStop", "stopping"); }

// Starts a task and, unless told not to, follows it to its end.
int StartTask(const Args& args, const std::set<std::string>& flags, size_t fewest, size_t most, const char* usage,
              const std::function<bool(const Options&, Value&, std::string&)>& fill, const char* op,
              const char* taskOp) {
  Options o;
  std::set<std::string> switches = flags;
  switches.insert("--no-wait");
  std::string problem = ParseOptions(args, {"--target"}, switches, o);
  if (!problem.empty()) return ReportUsage(problem);
  if (o.positional.size() < fewest || o.positional.size() > most) return ReportUsage(usage);
  Value members = Value::object();
  std::string error;
  if (fill && !fill(o, members, error)) return ReportFailure(error);
  Value reply;
  const auto add = [&members](Value& r) {
    for (size_t i = 0; i < members.keys.size(); ++i) r.set(members.keys[i], members.items[i]);
  };
  if (!RequestBackup(op, o.positional[0], add, reply, error)) return ReportFailure(error);
  if (o.has("--no-wait")) {
    std::printf("%s of %s started\n", taskOp, o.positional[0].c_str());
    return kExitOk;
  }
  return FollowTask(o.positional[0], taskOp);
}

int RunRun(const Args& args) {
  return StartTask(args, {}, 1, 1, "give one backup job id", nullptr, "backupRun", "backup");
}

int RunCheck(const Args& args) {
  return StartTask(
      args, {"--read-data"}, 1, 1, "give one backup job id",
      [](const Options& o, Value& m, std::string&) {
        m.set("readData", o.has("--read-data"));
        return true;
      },
      "backupCheck", "check");
}

int RunPrune(const Args& args) {
  return StartTask(args, {}, 1, 1, "give one backup job id", nullptr, "backupPrune", "prune");
}

int RunRestore(const Args& args) {
  return StartTask(
      args, {}, 2, 3, "give the job, the snapshot and optionally a path inside it",
      [](const Options& o, Value& m, std::string& error) {
        std::string snapshot;
        if (!ResolveSnapshot(o.positional[0], o.positional[1], snapshot, error)) return false;
        m.set("snapshot", snapshot);
        m.set("path", o.positional.size() > 2 ? o.positional[2] : std::string());
        // The service's working folder is not the user's.
        m.set("target", o.has("--target") ? backup::FullLocalPath(o.value("--target")) : std::string());
        m.set("umask", CallerUmask());
        return true;
      },
      "backupRestore", "restore");
}

int RunSnapshots(const Args& args) {
  Options o;
  const std::string problem = ParseOptions(args, {}, {"--refresh"}, o);
  if (!problem.empty()) return ReportUsage(problem);
  if (o.positional.size() != 1) return ReportUsage("give one backup job id");
  Value reply;
  std::string error;
  const bool refresh = o.has("--refresh");
  if (!RequestBackup("backupSnapshots", o.positional[0], [refresh](Value& r) { r.set("refresh", refresh); }, reply, error))
    return ReportFailure(error);
  const Value& list = reply["snapshots"];
  const Value& damaged = reply["damaged"];
  if (list.size() == 0 && damaged.size() == 0) {
    std::printf("no snapshots yet\n");
    return kExitOk;
  }
  if (list.size() > 0) std::printf("%-8s  %-16s  %10s  %10s  %s\n", "ID", "TIME", "FILES", "SIZE", "HOST");
  for (size_t i = 0; i < list.size(); ++i) {
    const Value& s = list.at(i);
    std::printf("%-8s  %-16s  %10lld  %10s  %s\n", s["id"].asString().substr(0, kShortIdDigits).c_str(),
                When(s["time"].asInt64()).c_str(), static_cast<long long>(s["files"].asInt64()),
                FormatBytes(static_cast<uint64_t>(s["bytes"].asInt64())).c_str(), Printable(s["host"].asString()).c_str());
  }
  // A record that does not open belongs to no job it could be shown under,
  // yet keeps every prune from running until it is forgotten.
  for (size_t i = 0; i < damaged.size(); ++i)
    std::fprintf(stderr, "tarn: snapshot record %s cannot be opened; forget it by this id\n",
                 Printable(damaged.at(i).asString()).c_str());
  return kExitOk;
}

int RunLs(const Args& args) {
  if (args.size() < 2 || args.size() > 3) return ReportUsage("give the job, the snapshot and optionally a path");
  std::string snapshot;
  std::string error;
  if (!ResolveSnapshot(args[0], args[1], snapshot, error)) return ReportFailure(error);
  const std::string path = args.size() > 2 ? args[2] : std::string();
  Value reply;
  if (!RequestBackup("backupLs", args[0],
               [&](Value& r) {
                 r.set("snapshot", snapshot);
                 r.set("path", path);
               },
               reply, error))
    return ReportFailure(error);
  const Value& entries = reply["entries"];
  for (size_t i = 0; i < entries.size(); ++i) {
    const Value& e = entries.at(i);
    const bool dir = e["dir"].asBool();
    std::printf("%c  %10s  %-16s  %s%s", dir ? 'd' : '-',
                dir ? "" : FormatBytes(static_cast<uint64_t>(e["size"].asInt64())).c_str(),
                When(e["mtime"].asInt64()).c_str(), Printable(e["name"].asString()).c_str(), dir ? "/" : "");
    if (e.has("source")) std::printf("  (from %s)", Printable(e["source"].asString()).c_str());
    std::printf("\n");
  }
  return kExitOk;
}

int RunForget(const Args& args) {
  if (args.size() != 2) return ReportUsage("give the job and the snapshot");
  std::string snapshot;
  std::string error;
  // A record that does not open is listed nowhere; the check names it by its
  // whole id, which is sent as it is.
  const bool wholeId = args[1].size() == 2 * kSnapshotIdBytes &&
                       args[1].find_first_not_of("0123456789abcdef") == std::string::npos;
  if (wholeId) {
    snapshot = args[1];
  } else if (!ResolveSnapshot(args[0], args[1], snapshot, error)) {
    return ReportFailure(error);
  }
  Value reply;
  if (!RequestBackup("backupForget", args[0], [&](Value& r) { r.set("snapshot", snapshot); }, reply, error))
    return ReportFailure(error);
  std::printf("forgot snapshot %s; \"tarn backup prune %s\" frees its space\n",
              snapshot.substr(0, kShortIdDigits).c_str(), args[0].c_str());
  return kExitOk;
}

int RunLog(const Args& args) {
  if (args.empty() || args.size() > 2) return ReportUsage("give one backup job id and optionally a line count");
  int32_t lines = kDefaultBackupLogLines;
  if (args.size() == 2 && !ParseCount(args[1], 1, INT32_MAX, lines)) return ReportUsage("not a line count: " + args[1]);
  Value reply;
  std::string error;
  // A job that is not there has no log, rather than an empty one.
  if (!FindJob(args[0], reply, error)) return ReportFailure(error);
  // The service gives one line more than it is asked for.
  if (!RequestBackup("backupLog", args[0], [lines](Value& r) { r.set("lines", lines - 1); }, reply, error))
    return ReportFailure(error);
  const std::string text = Printable(reply["text"].asString());
  std::fputs(text.c_str(), stdout);
  if (!text.empty() && text.back() != '\n') std::fputc('\n', stdout);
  return kExitOk;
}

constexpr ConsoleCommand kCommands[] = {
    {"list", "", "Lists the backup jobs with their state, last and next run and destination.", RunList},
    {"show", "JOB", "Shows one job's settings and the outcome of its last tasks.", RunShow},
    {"set", kBackupSetSynopsis, kBackupSetHelp, RunBackupSet},
    {"remove", "JOB", "Removes a job with its status and log; its backups stay where they are.", RunRemove},
    {"run", "JOB [--no-wait]", "Backs a job up now and shows its progress until it ends."
     "\nCtrl+C ends only the console, with exit code 130: the task goes on, and \"tarn backup stop JOB\" stops it.", RunRun},
    {"stop", "JOB", "Stops the job's running task.", RunStop},
    {"snapshots", "JOB [--refresh]", "Lists the kept snapshots, oldest first.", RunSnapshots},
    {"ls", "JOB SNAPSHOT [PATH]",
     "Lists one folder of a snapshot. A snapshot is named by its id, a prefix of it, or \"latest\"; a path is\n"
     "the one \"ls\" shows, or the source's own path on this computer.",
     RunLs},
    {"restore", "JOB SNAPSHOT [PATH] [--target DIR] [--no-wait]",
     "Restores a snapshot, or the folder or file PATH of it, to where it was taken from or into DIR. Without\n"
     "--target it writes back to where the files were and replaces the files there with the snapshot's."
     "\nCtrl+C ends only the console, with exit code 130: the task goes on, and \"tarn backup stop JOB\" stops it.",
     RunRestore},
    {"check", "JOB [--read-data] [--no-wait]",
     "Checks the job's repository; with --read-data every pack is read whole."
     "\nCtrl+C ends only the console, with exit code 130: the task goes on, and \"tarn backup stop JOB\" stops it.", RunCheck},
    {"prune", "JOB [--no-wait]",
     "Forgets the snapshots the job's keep rules let go and frees their space."
     "\nCtrl+C ends only the console, with exit code 130: the task goes on, and \"tarn backup stop JOB\" stops it.", RunPrune},
    {"forget", "JOB SNAPSHOT", "Forgets one snapshot; its space is freed by the next prune.", RunForget},
    {"log", "JOB [N]", "Shows the last N lines of the job's log (50 when not given).", RunLog},
};

// A job is named by its id or by its name: the command's job argument (its
// first one that is no option) becomes the id before the command sees it.
// False, with the reason, only when a name fits more than one job; a
// service that does not answer leaves the argument to the command.
bool NameJobById(Args& args, std::string& error) {
  if (args.empty() || args[0] == "list" || args[0] == "set") return true;
  size_t at = 0;
  for (size_t i = 1; i < args.size() && at == 0; ++i) {
    if (args[i] == "--help" || args[i] == "-h") return true;
    if (args[i] == "--target") {
      ++i;
    } else if (args[i].empty() || args[i][0] != '-') {
      at = i;
    }
  }
  if (at == 0) return true;
  Value reply;
  std::string unanswered;
  if (!RequestBackup("backupList", "", nullptr, reply, unanswered)) return true;
  const Value& jobs = reply["jobs"];
  std::vector<std::string> named;
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (jobs.at(i)["id"].asString() == args[at]) return true;
    if (jobs.at(i)["name"].asString() == args[at]) named.push_back(jobs.at(i)["id"].asString());
  }
  if (named.size() > 1) {
    error = "more than one backup job is named " + args[at] + "; name it by its id (\"tarn backup list\")";
    return false;
  }
  if (named.size() == 1) args[at] = named.front();
  return true;
}

}  // namespace

int RunBackupCli(const std::vector<std::string>& args) {
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    const std::string usage =
        "usage: tarn backup <command> [arguments]\n\ncommands (each with --help):\n" + CommandList(kCommands) +
        "\nA job is named by its id or its name.\n"
        "\nexit codes: 0 done, 1 failed, 2 wrong arguments, 3 the service is not running, 4 done in part (a backup\n"
        "that left files out, a restore that left some out; \"tarn backup log JOB\" lists them),\n"
        "130 Ctrl+C in a followed run, restore, check or prune (the task goes on; \"tarn backup stop JOB\" ends it)\n";
    std::fputs(usage.c_str(), args.empty() ? stderr : stdout);
    return args.empty() ? kExitUsage : kExitOk;
  }
  Args named = args;
  std::string error;
  if (!NameJobById(named, error)) return ReportFailure(error);
  return RunCommandOf(kCommands, "tarn backup", named);
}

}  // namespace tarn::app
