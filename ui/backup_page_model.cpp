#include "ui/backup_page_model.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

#include "foundation/status.h"
#include "ui/language.h"
#include "ui/service_text.h"
#include "ui/string_ids.h"

namespace tarn::app {
namespace {

using vx::json::Value;

// Between the parts of a state text: two spaces, a middle dot, two spaces.
const QString kStateSeparator = QStringLiteral("  \u00B7  ");

QString Text(const Value& v) { return QString::fromStdString(v.asString()); }

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

}  // namespace

QString BytesText(const Value& count) {
  return QString::fromStdString(FormatBytes(static_cast<uint64_t>(std::max<int64_t>(count.asInt64(), 0))));
}

QString LocalTimeText(int64_t unixSeconds) {
  if (unixSeconds <= 0) return QString();
  const QDateTime local = QDateTime::fromSecsSinceEpoch(unixSeconds).toLocalTime();
  if (!local.isValid()) return QString();
  const QLocale locale = QLocale::system();
  // The locale's short time, without its seconds and what leads to them.
  QString time = locale.timeFormat(QLocale::ShortFormat);
  time.remove(QRegularExpression(QStringLiteral("[^hHmaApt]*s+")));
  return locale.toString(local.date(), QLocale::ShortFormat) + QLatin1Char(' ') + locale.toString(local.time(), time);
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
  QString text = LeftToRightText(LocalTimeText(lastOk));
  if (state.has("lastSnapshot"))
    text += QStringLiteral(", ") + LeftToRightText(BytesText(state["lastSnapshot"]["bytes"]));
  return text;
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
  const std::string note = state["lastNote"].asString();
  if (!note.empty()) text += kStateSeparator + QString::fromStdString(note);
  return text;
}

JobRowTexts JobRow(const Value& job, int64_t now) {
  QStringList sources;
  const Value& list = job["sources"];
  for (size_t i = 0; i < list.size(); ++i) sources << Text(list.at(i));
  const Value& state = job["state"];
  return {Text(job["name"]), LeftToRightText(sources.join(QStringLiteral("; "))), LeftToRightText(Text(job["destination"])),
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
