#include "ui/backup_page_model.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <string_view>

#include "foundation/status.h"
#include "ui/language.h"
#include "ui/service_text.h"
#include "ui/string_ids.h"

namespace tarn::app {
namespace {

using vx::json::Value;

// Between the parts of a state text: two spaces, a middle dot, two spaces.
const QString kStateSeparator = QStringLiteral("  \u00B7  ");

QString RunningText(const Value& state) {
  const std::string phase = state["phase"].asString();
  if (phase == "waiting") return Tr(kStrPhaseWaiting);
  if (phase == "connecting") return Tr(kStrPhaseConnecting);
  if (phase == "cleanup") return Tr(kStrPhaseCleanup);
  // Sizes and times read left to right in every language (LeftToRightText).
  const QString bytes = LeftToRightText(BytesText(state["bytes"]));
  if (phase == "restore") return FormatText(Tr(kStrPhaseRestore), {bytes});
  if (phase == "check") return FormatText(Tr(kStrPhaseCheck), {bytes});
  return FormatText(Tr(kStrPhaseCopying), {bytes, LeftToRightText(BytesText(state["bytesUp"]))});
}

QString Count(const Value& counts, const char* member) {
  return LeftToRightText(QString::number(std::max<int64_t>(counts[member].asInt64(), 0)));
}

QString CountedBytes(const Value& counts) { return LeftToRightText(BytesText(counts["bytes"])); }

int TaskTextId(const std::string& task) {
  if (task == "restore") return kStrTaskRestore;
  if (task == "check") return kStrTaskCheck;
  return task == "prune" ? kStrTaskCleanup : -1;
}

int EndTextId(const std::string& result) {
  if (result == "failed") return kStrResultFailed;
  if (result == "canceled") return kStrResultStopped;
  return result == "interrupted" ? kStrResultInterrupted : -1;
}

// After the first occurrence of `mark` in the service's note; empty when it
// has none.
std::string After(const std::string& note, std::string_view mark) {
  const size_t at = note.find(mark);
  return at == std::string::npos ? std::string() : note.substr(at + mark.size());
}

// The last task's note: what a restore, a check or a cleanup did in the
// user's words where the service counted it, or how it ended; what else the
// service's note says (the reason of a failure, the folders it could not
// read) follows in its own words, apart.
QString TaskNoteText(const Value& state) {
  const std::string note = state["lastNote"].asString();
  if (note.empty()) return QString();
  const std::string task = state["lastTask"].asString();
  const std::string result = state["lastTaskResult"].asString();
  const Value& counts = state["lastTaskCounts"];
  QString lead;
  std::string rest = note;
  if ((result == "ok" || result == "warnings") && counts.size() != 0) {
    if (task == "restore") {
      lead = FormatText(Tr(kStrNoteRestored), {Count(counts, "files"), CountedBytes(counts)});
      rest = After(note, "; ");
    } else if (task == "check" && counts["problems"].asInt64() > 0) {
      // The first problem comes after the count in the note.
      lead = FormatText(Tr(kStrNoteCheckProblems), {Count(counts, "problems")});
      rest = After(note, ": ");
    } else if (task == "check") {
      lead = FormatText(Tr(kStrNoteCheckPassed), {Count(counts, "packs"), CountedBytes(counts)});
      rest = After(note, "; ");
    } else if (task == "prune") {
      lead = FormatText(Tr(kStrNoteCleanup), {Count(counts, "versions"), CountedBytes(counts)});
      rest = After(note, "; ");
    }
  } else if (TaskTextId(task) >= 0 && EndTextId(result) >= 0) {
    lead = FormatText(Tr(kStrTaskEnded), {Tr(TaskTextId(task)), Tr(EndTextId(result))});
    // "restore: network: ..." or "restore interrupted: the service ended
    // while it ran": the reason follows the first colon.
    rest = After(note, ": ");
  }
  if (lead.isEmpty()) return ErrorWords(note);
  return rest.empty() ? lead : lead + QStringLiteral(": ") + ErrorWords(rest);
}

}  // namespace

QString BytesText(const Value& count) {
  return QString::fromStdString(FormatBytes(static_cast<uint64_t>(std::max<int64_t>(count.asInt64(), 0))));
}

QString LocalTimeText(int64_t unixSeconds) {
  if (unixSeconds <= 0) return QString();
  const QDateTime local = QDateTime::fromSecsSinceEpoch(unixSeconds).toLocalTime();
  if (!local.isValid()) return QString();
  const QLocale locale;  // the user's, unless the application set another
  // The locale's short time, without its seconds and what leads to them.
  QString time = locale.timeFormat(QLocale::ShortFormat);
  time.remove(QRegularExpression(QStringLiteral("[^hHmaApt]*s+")));
  // The locale's order and words, in the digits of the sizes and numbers
  // beside it.
  return LatinDigits(locale.toString(local.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
                     locale.toString(local.time(), time));
}

QString ScheduleText(const Value& schedule) {
  const std::string mode = schedule["mode"].asString();
  if (mode == "hourly")
    return FormatText(Tr(kStrEveryHours), {QString::number(schedule["everyHours"].asInt(kDefaultEveryHours))});
  if (mode == "daily") {
    const QString time = QStringLiteral("%1:%2")
                             .arg(schedule["hour"].asInt(kDefaultHour), 2, 10, QLatin1Char('0'))
                             .arg(schedule["minute"].asInt(kDefaultMinute), 2, 10, QLatin1Char('0'));
    return FormatText(Tr(kStrDailyAt), {time});
  }
  return Tr(kStrByHand);
}

QString LastCopyText(const Value& state) {
  const int64_t lastOk = state["lastOk"].asInt64();
  if (lastOk < 1) return Tr(kStrNoCopyYet);
  const QString time = LeftToRightText(LocalTimeText(lastOk));
  if (!state.has("lastSnapshot")) return time;
  // The separator is the language's own ("،" in Arabic), outside both values.
  return FormatText(Tr(kStrLastCopyLine), {time, LeftToRightText(BytesText(state["lastSnapshot"]["bytes"]))});
}

QString JobStateText(const Value& state, int64_t now) {
  if (!state["running"].asString().empty()) return RunningText(state);
  const std::string result = state["lastResult"].asString();
  QString text;
  if (result == "ok") text = Tr(kStrResultDone);
  else if (result == "warnings") text = Tr(kStrResultWarnings);
  else if (result == "failed") text = Tr(kStrResultFailed);
  else if (result == "canceled") text = Tr(kStrResultStopped);
  else text = Tr(kStrNoCopyYet);
  const std::string error = state["lastError"].asString();
  if (!error.empty() && result != "ok" && result != "canceled") text += QStringLiteral(": ") + ErrorWords(error);
  const int64_t nextRun = state["nextRun"].asInt64();
  // A run that is already due is shown at the time of the reply.
  if (nextRun > 0) text += kStateSeparator + FormatText(Tr(kStrNextRun), {LeftToRightText(LocalTimeText(std::max(nextRun, now)))});
  const QString note = TaskNoteText(state);
  if (!note.isEmpty()) text += kStateSeparator + note;
  return text;
}

JobRowTexts JobRow(const Value& job, int64_t now) {
  QStringList sources;
  const Value& list = job["sources"];
  for (size_t i = 0; i < list.size(); ++i) sources << ShownName(list.at(i).asString());
  const Value& state = job["state"];
  return {ShownName(job["name"].asString()), LeftToRightText(sources.join(QStringLiteral("; "))),
          LeftToRightText(ShownName(job["destination"].asString())),
          ScheduleText(job["schedule"]), LastCopyText(state), JobStateText(state, now)};
}

bool JobRunning(const Value& job) { return !job["state"]["running"].asString().empty(); }

QString PageNoteText(bool refusedByRights) { return Tr(refusedByRights ? kStrBackupAdminNote : kStrBackupNote); }

PageButtons PageButtonStates(bool commandRunning, JobListOutcome listed, const Value* selected) {
  const bool can = !commandRunning && listed == JobListOutcome::kListed;
  const bool sel = can && selected != nullptr;
  const bool run = selected != nullptr && JobRunning(*selected);
  const bool ok = selected != nullptr && (*selected)["state"]["lastOk"].asInt64() > 0;
  PageButtons b;
  b.add = can;
  b.edit = sel && !run;
  b.remove = sel;
  b.run = sel;
  b.restore = sel && !run;
  b.verify = sel && ok && !run;
  b.log = sel;
  b.runStops = run;
  return b;
}

}  // namespace tarn::app
