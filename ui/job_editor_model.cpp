#include "ui/job_editor_model.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>
#include <system_error>

#include "client/drive_link.h"
#include "platform/local_dir.h"
#include "ui/backup_page_model.h"
#include "ui/language.h"
#include "ui/service_text.h"
#include "ui/string_ids.h"

namespace tarn::app {
namespace {

using vx::json::Value;

constexpr int kDefaultKeepLast = 10;
constexpr int kDefaultKeepDaily = 7;
constexpr int kDefaultKeepWeekly = 4;
constexpr int kDefaultKeepMonthly = 12;
constexpr int kAllWeekdays = 127;
constexpr int kPlaceholderBullets = 8;

const char* const kProtocolNames[kProtocolCount] = {"webdav", "sftp", "s3", "nfs"};
const char* const kScheduleModes[] = {"manual", "hourly", "daily"};

QString Text(const Value& v) { return QString::fromStdString(v.asString()); }

std::string Utf8(const QString& text) { return text.toStdString(); }

std::string Trimmed(const QString& text) { return text.trimmed().toStdString(); }

int ProtocolIndex(const std::string& protocol) {
  for (int i = 0; i < kProtocolCount; ++i) {
    if (protocol == kProtocolNames[i]) return i;
  }
  return kProtocolWebDav;
}

// An IPv6 address takes brackets before a port.
QString HostWithPort(const QString& host, uint32_t port) {
  if (port == 0) return host;
  const QString shown = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
  return shown + QLatin1Char(':') + QString::number(port);
}

// The address as the editor shows a stored server: web protocols as a link,
// the others as the host, each with a port that is not the default.
QString ServerAddress(const Value& endpoint, int protocol) {
  const int64_t port = endpoint["port"].asInt64();
  QString address =
      HostWithPort(Text(endpoint["host"]), port > 0 && port <= UINT16_MAX ? static_cast<uint32_t>(port) : 0);
  if (protocol == kProtocolWebDav || protocol == kProtocolS3)
    address.prepend(endpoint["tls"].asBool(true) ? QStringLiteral("https://") : QStringLiteral("http://"));
  return address;
}

// Splits "host:port" and "[v6]:port" typed without a scheme; a link is the
// service's to take apart. False when the text names no port.
bool SplitHostPort(const QString& address, QString& host, int& port) {
  if (address.contains(QStringLiteral("://"))) return false;
  const qsizetype colon = address.lastIndexOf(QLatin1Char(':'));
  if (colon <= 0 || colon + 1 >= address.size()) return false;
  QString name = address.left(colon);
  if (name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']'))) {
    name = name.mid(1, name.size() - 2);
  } else if (name.contains(QLatin1Char(':'))) {
    return false;  // a bare IPv6 address
  }
  bool number = false;
  const int value = address.mid(colon + 1).toInt(&number);
  if (!number || value <= 0 || value > UINT16_MAX || name.isEmpty()) return false;
  host = name;
  port = value;
  return true;
}

// A text that IntegerValue reads a number from, as "%d" would.
bool StartsWithNumber(const QString& text) {
  const QString t = text.trimmed();
  const qsizetype digit = !t.isEmpty() && (t[0] == QLatin1Char('-') || t[0] == QLatin1Char('+')) ? 1 : 0;
  return digit < t.size() && t[digit].isDigit();
}

// The hour and minute of "hh:mm"; what cannot be read keeps its default.
void ParseDailyTime(const QString& text, int& hour, int& minute) {
  const qsizetype colon = text.indexOf(QLatin1Char(':'));
  const QString first = colon < 0 ? text : text.left(colon);
  if (!StartsWithNumber(first)) return;
  hour = IntegerValue(first);
  if (colon >= 0 && StartsWithNumber(text.mid(colon + 1))) minute = IntegerValue(text.mid(colon + 1));
}

// The key file's text, read with this user's rights; false with the
// system's reason.
bool ReadKeyFile(const QString& path, std::string& text, std::string& reason) {
  const std::string name = path.toStdString();
  // Not blocking on a FIFO someone named as the key.
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  int error = 0;
  if (fd < 0) {
    error = errno;
  } else {
    struct stat st {};
    if (::fstat(fd, &st) != 0) error = errno;
    else if (S_ISDIR(st.st_mode)) error = EISDIR;
    else if (!S_ISREG(st.st_mode)) error = EINVAL;
    else if (st.st_size > kMaxKeyFileBytes) error = EFBIG;
    char buffer[4096];
    while (error == 0) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) error = errno;
      if (n <= 0) break;
      text.append(buffer, static_cast<size_t>(n));
      if (static_cast<qint64>(text.size()) > kMaxKeyFileBytes) error = EFBIG;
    }
    ::close(fd);
  }
  if (error == 0) return true;
  reason = std::error_code(error, std::generic_category()).message();
  return false;
}

}  // namespace

QString SecretPlaceholder() { return QString(kPlaceholderBullets, QChar(0x2022)); }

JobEditContext MakeJobEditContext(Value job, bool isNew, ServiceStatus status) {
  JobEditContext c;
  c.hasPassword = job["hasPassword"].asBool(false);
  c.endpointHasPassword = job["endpoint"]["hasPassword"].asBool(false);
  c.endpointHasKey = job["endpoint"]["hasPrivateKey"].asBool(false);
  c.job = job.isObject() ? std::move(job) : Value::object();
  c.isNew = isNew;
  c.status = std::move(status);
  return c;
}

QString DriveChoiceText(const MountStatus& drive) {
  return LeftToRightText(QString(QChar(drive.drive)) + QLatin1Char(':')) + QStringLiteral("  ") +
         ShownName(drive.name) + QStringLiteral("  (") +
         LeftToRightText(ShownName(DriveLink(drive))) + QLatin1Char(')');
}

JobForm FillJobDialog(const JobEditContext& context) {
  const Value& job = context.job;
  const Value& endpoint = job["endpoint"];
  JobForm f;
  f.caption = Tr(context.isNew ? kStrNewBackup : kStrBackupCaption);
  f.name = Text(job["name"]);
  for (size_t i = 0; i < job["sources"].size(); ++i) f.sources << Text(job["sources"].at(i));
  if (context.isNew) {
    // The service's own defaults, as the box shows masks.
    QStringList excludes;
    for (const char* mask : localfs::kDefaultExcludes) excludes << QString::fromUtf8(mask);
    f.excludes = excludes.join(QStringLiteral("; "));
  } else {
    QStringList excludes;
    for (size_t i = 0; i < job["excludes"].size(); ++i) excludes << Text(job["excludes"].at(i));
    f.excludes = excludes.join(QStringLiteral("; "));
  }

  const std::vector<MountStatus>& drives = context.status.mounts;
  const std::string destMount = job["destMount"].asString();
  const int another = static_cast<int>(drives.size());
  f.destination = context.isNew ? 0 : another;
  for (int i = 0; i < another; ++i) {
    f.destinations << DriveChoiceText(drives[static_cast<size_t>(i)]);
    if (!destMount.empty() && drives[static_cast<size_t>(i)].id == destMount) f.destination = i;
  }
  f.destinations << Tr(kStrAnotherServer);

  f.protocol = ProtocolIndex(endpoint["protocol"].asString("webdav"));
  if (context.isNew) {
    f.folder = QStringLiteral("/Backup");
  } else if (!destMount.empty()) {
    f.folder = Text(job["destPath"]);
  } else {
    f.address = ServerAddress(endpoint, f.protocol);
    f.folder = Text(endpoint["root"]);
    f.user = Text(endpoint["user"]);
    f.options = Text(endpoint["extra"]);
    if (context.endpointHasPassword) f.serverPassword = SecretPlaceholder();
    if (context.endpointHasKey) f.keyFile = Tr(kStrSavedSecret);
  }
  if (context.hasPassword) f.password = f.passwordAgain = SecretPlaceholder();

  const Value& schedule = job["schedule"];
  const std::string mode = schedule["mode"].asString(context.isNew ? "daily" : "manual");
  f.schedule = mode == "hourly" ? kScheduleHourly : mode == "daily" ? kScheduleDaily : kScheduleByHand;
  f.everyHours = QString::number(schedule["everyHours"].asInt(kDefaultEveryHours));
  f.dailyTime = QStringLiteral("%1:%2")
                    .arg(schedule["hour"].asInt(kDefaultHour), 2, 10, QLatin1Char('0'))
                    .arg(schedule["minute"].asInt(kDefaultMinute), 2, 10, QLatin1Char('0'));
  const Value& retention = job["retention"];
  f.keepLast = QString::number(retention["keepLast"].asInt(kDefaultKeepLast));
  f.keepDaily = QString::number(retention["keepDaily"].asInt(kDefaultKeepDaily));
  f.keepWeekly = QString::number(retention["keepWeekly"].asInt(kDefaultKeepWeekly));
  f.keepMonthly = QString::number(retention["keepMonthly"].asInt(kDefaultKeepMonthly));
  f.compress = job["compress"].asBool(true);
  f.speedLimit = QString::number(job["speedLimitKbps"].asInt(0));
  return f;
}

EditorControls UpdateEditorControls(const JobForm& form) {
  static constexpr int kHints[kProtocolCount] = {kStrHintWebDav, kStrHintSftp, kStrHintS3, kStrHintNfs};
  const bool drive = form.destination >= 0 && form.destination < form.destinations.size() - 1;
  const int protocol = form.protocol >= 0 && form.protocol < kProtocolCount ? form.protocol : kProtocolWebDav;
  EditorControls c;
  c.server = !drive;
  c.login = !drive && protocol != kProtocolNfs;
  c.key = !drive && protocol == kProtocolSftp;
  c.everyHours = form.schedule == kScheduleHourly;
  c.dailyTime = form.schedule == kScheduleDaily;
  c.hintId = drive ? -1 : kHints[protocol];
  return c;
}

bool ReadJobDialog(const JobEditContext& context, const JobForm& form, Value& job, QString& warning) {
  const Value& edited = context.job;
  Value out = Value::object();
  if (!edited["id"].asString().empty()) out.set("id", edited["id"].asString());
  out.set("name", Trimmed(form.name));
  if (form.sources.isEmpty()) {
    warning = Tr(kStrNeedFolder);
    return false;
  }
  Value sources = Value::array();
  for (const QString& s : form.sources) sources.append(Utf8(s));
  out.set("sources", std::move(sources));
  Value excludes = Value::array();
  for (const QString& piece : form.excludes.split(QLatin1Char(';'))) {
    if (!piece.trimmed().isEmpty()) excludes.append(Trimmed(piece));
  }
  out.set("excludes", std::move(excludes));

  const int driveCount = static_cast<int>(context.status.mounts.size());
  if (form.destination >= 0 && form.destination < driveCount) {
    out.set("destMount", context.status.mounts[static_cast<size_t>(form.destination)].id);
    out.set("destPath", Trimmed(form.folder));
  } else {
    const int protocol = form.protocol >= 0 && form.protocol < kProtocolCount ? form.protocol : kProtocolWebDav;
    Value endpoint = Value::object();
    endpoint.set("protocol", kProtocolNames[protocol]);
    QString host = form.address.trimmed();
    int port = 0;
    if (SplitHostPort(host, host, port)) endpoint.set("port", port);
    endpoint.set("host", Utf8(host));
    const std::string root = Trimmed(form.folder);
    endpoint.set("root", root.empty() ? std::string("/") : root);
    endpoint.set("user", Trimmed(form.user));
    endpoint.set("extra", Trimmed(form.options));
    endpoint.set("password", context.endpointPasswordEdited ? Utf8(form.serverPassword) : std::string());
    // A key is its text everywhere: the service is never handed a path to
    // read with its own rights.
    std::string key;
    const QString keyFile = form.keyFile.trimmed();
    if (protocol == kProtocolSftp && context.keyEdited && !keyFile.isEmpty() && keyFile != Tr(kStrSavedSecret)) {
      std::string reason;
      if (!ReadKeyFile(keyFile, key, reason)) {
        warning = FormatText(Tr(kStrFileUnreadable), {keyFile, QString::fromStdString(reason)});
        return false;
      }
    }
    endpoint.set("privateKey", key);
    out.set("endpoint", std::move(endpoint));
    out.set("destMount", std::string());
  }

  if (!context.passwordTouched && context.hasPassword) {
    out.set("password", std::string());
  } else if (form.password.isEmpty()) {
    warning = Tr(kStrNeedPassword);
    return false;
  } else if (form.password != form.passwordAgain) {
    warning = Tr(kStrPasswordsDiffer);
    return false;
  } else {
    out.set("password", Utf8(form.password));
  }

  Value schedule = Value::object();
  const int choice = form.schedule >= kScheduleByHand && form.schedule <= kScheduleDaily ? form.schedule : kScheduleByHand;
  schedule.set("mode", kScheduleModes[choice]);
  schedule.set("everyHours", IntegerValue(form.everyHours));
  int hour = kDefaultHour;
  int minute = kDefaultMinute;
  ParseDailyTime(form.dailyTime, hour, minute);
  schedule.set("hour", hour);
  schedule.set("minute", minute);
  schedule.set("weekdays", edited["schedule"]["weekdays"].asInt(kAllWeekdays));
  out.set("schedule", std::move(schedule));
  Value retention = Value::object();
  retention.set("keepLast", IntegerValue(form.keepLast));
  retention.set("keepDaily", IntegerValue(form.keepDaily));
  retention.set("keepWeekly", IntegerValue(form.keepWeekly));
  retention.set("keepMonthly", IntegerValue(form.keepMonthly));
  out.set("retention", std::move(retention));
  out.set("compress", form.compress);
  out.set("speedLimitKbps", IntegerValue(form.speedLimit));
  out.set("enabled", edited["enabled"].asBool(true));
  job = std::move(out);
  return true;
}

bool AddSourceFolder(QStringList& sources, const QString& folder) {
  // Names that differ only in case are two folders here.
  if (folder.isEmpty() || sources.contains(folder, Qt::CaseSensitive)) return false;
  sources << folder;
  return true;
}

QString CheckResultText(const EditorResult& result) {
  if (!result.ok) return ErrorWords(result.errorText);
  if (result.reply["exists"].asBool(false))
    return FormatText(Tr(kStrCopyHere), {QString::number(result.reply["snapshots"].asInt64())});
  return Tr(kStrNoCopyHere);
}

int IntegerValue(const QString& text) {
  qsizetype i = 0;
  while (i < text.size() && text[i].isSpace()) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) negative = text[i++] == QLatin1Char('-');
  long long value = 0;
  for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
    value = value * 10 + (text[i].unicode() - u'0');
    if (value > INT_MAX) {
      value = INT_MAX;
      break;
    }
  }
  return static_cast<int>(negative ? -value : value);
}

QString SavedJobNotice(const Value& job, int64_t now) {
  const Value& state = job["state"];
  const int64_t nextRun = state["nextRun"].asInt64();
  const bool due = nextRun > 0 && nextRun <= now;
  if (!due && state["running"].asString() != "backup") return QString();
  return FormatText(Tr(kStrJobStartsNow), {ShownName(job["name"].asString())});
}

}  // namespace tarn::app
