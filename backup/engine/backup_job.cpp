#include "backup/engine/backup_job.h"

#include <algorithm>

#include "backup/engine/local_path.h"
#include "foundation/config_file.h"
#include "foundation/mount_config.h"
#include "foundation/remote_path.h"
#include "foundation/share_link.h"
#include "foundation/text.h"

namespace tarn::backup {

namespace {

constexpr const char* kProtocols[] = {"webdav", "sftp", "nfs", "s3", "memory"};

int32_t Clamp(int32_t value, int32_t low, int32_t high) { return std::min(std::max(value, low), high); }

bool IsFullPath(std::string_view path) {
  // A NUL would cut the path short at the first system call.
  return !path.empty() && path.front() == '/' && path.find('\0') == std::string_view::npos;
}

Schedule ScheduleFromJson(const vx::json::Value& v) {
  Schedule s;
  s.mode = v["mode"].asString(s.mode);
  s.everyHours = v["everyHours"].asInt(s.everyHours);
  s.hour = v["hour"].asInt(s.hour);
  s.minute = v["minute"].asInt(s.minute);
  s.weekdays = v["weekdays"].asInt(s.weekdays);
  return s;
}

vx::json::Value ScheduleToJson(const Schedule& s) {
  vx::json::Value v = vx::json::Value::object();
  v.set("mode", s.mode);
  v.set("everyHours", s.everyHours);
  v.set("hour", s.hour);
  v.set("minute", s.minute);
  v.set("weekdays", s.weekdays);
  return v;
}

Retention RetentionFromJson(const vx::json::Value& v) {
  Retention r;
  if (!v.isObject()) return r;
  r.keepLast = v["keepLast"].asInt(r.keepLast);
  r.keepDaily = v["keepDaily"].asInt(r.keepDaily);
  r.keepWeekly = v["keepWeekly"].asInt(r.keepWeekly);
  r.keepMonthly = v["keepMonthly"].asInt(r.keepMonthly);
  return r;
}

vx::json::Value RetentionToJson(const Retention& r) {
  vx::json::Value v = vx::json::Value::object();
  v.set("keepLast", r.keepLast);
  v.set("keepDaily", r.keepDaily);
  v.set("keepWeekly", r.keepWeekly);
  v.set("keepMonthly", r.keepMonthly);
  return v;
}

std::string ValidateServer(EndpointConfig& ep) {
  const std::string protocol = ep.protocol;
  std::string error = ParseShareLink(ep);
  if (!error.empty()) return error;
  // An S3 store given by its https link stays S3.
  if (protocol == "s3") ep.protocol = "s3";
  if (ep.host.empty()) return "the backup server is not set";
  if (std::find(std::begin(kProtocols), std::end(kProtocols), ep.protocol) == std::end(kProtocols))
    return "unknown protocol: " + ep.protocol;
  ep.root = NormalizeRemotePath(ep.root);
  if (ep.protocol == "webdav" && ep.user.empty()) ep.user = DavFilesUser(ep.root);
  if (IsRootPath(ep.root)) {
    if (ep.protocol == "s3") return "name the S3 bucket: /bucket/folder";
    if (ep.protocol == "nfs") return "name the NFS export: /export/folder";
  }
  return {};
}

}  // namespace

std::vector<std::string> DefaultExcludes() {
  return {"$RECYCLE.BIN", "System Volume Information", "pagefile.sys", "hiberfil.sys", "swapfile.sys"};
}

bool IsValidJobId(std::string_view id) {
  if (id.empty() || id.size() > kMaxJobIdLength) return false;
  return std::all_of(id.begin(), id.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'); });
}

std::vector<std::string> StringListFromJson(const vx::json::Value& v) {
  std::vector<std::string> out;
  for (size_t i = 0; i < v.size(); ++i) {
    std::string item = vx::Trim(v.at(i).asString());
    if (!item.empty()) out.push_back(std::move(item));
  }
  return out;
}

vx::json::Value StringListToJson(const std::vector<std::string>& list) {
  vx::json::Value v = vx::json::Value::array();
  for (const std::string& item : list) v.append(item);
  return v;
}

BackupJob BackupJob::fromJson(const vx::json::Value& v) {
  BackupJob job;
  job.id = v["id"].asString();
  job.name = v["name"].asString();
  job.sources = StringListFromJson(v["sources"]);
  job.excludes = v.has("excludes") ? StringListFromJson(v["excludes"]) : DefaultExcludes();
  job.destMount = v["destMount"].asString();
  job.destPath = v["destPath"].asString();
  job.endpoint = EndpointConfigFromJson(v["endpoint"]);
  job.password = v["password"].asString();
  job.schedule = ScheduleFromJson(v["schedule"]);
  job.retention = RetentionFromJson(v["retention"]);
  job.compress = v["compress"].asBool(true);
  job.speedLimitKbps = v["speedLimitKbps"].asInt(0);
  job.enabled = v["enabled"].asBool(true);
  return job;
}

vx::json::Value BackupJob::toJson(bool withSecrets) const {
  vx::json::Value v = vx::json::Value::object();
  v.set("id", id);
  v.set("name", name);
  v.set("sources", StringListToJson(sources));
  v.set("excludes", StringListToJson(excludes));
  v.set("destMount", destMount);
  v.set("destPath", destPath);
  v.set("endpoint", EndpointConfigToJson(endpoint, withSecrets));
  if (withSecrets)
    v.set("password", password);
  else
    v.set("hasPassword", !password.empty());
  v.set("schedule", ScheduleToJson(schedule));
  v.set("retention", RetentionToJson(retention));
  v.set("compress", compress);
  v.set("speedLimitKbps", speedLimitKbps);
  v.set("enabled", enabled);
  return v;
}

std::string BackupJob::checkValues() const {
  if (schedule.mode != kModeManual && schedule.mode != kModeHourly && schedule.mode != kModeDaily)
    return "schedule mode must be manual, hourly or daily, not " + schedule.mode;
  const struct {
    const char* field;
    int32_t value;
    int32_t low;
    int32_t high;
  } ranges[] = {
      {"schedule everyHours", schedule.everyHours, kMinEveryHours, kMaxEveryHours},
      {"schedule hour", schedule.hour, 0, kMaxHour},
      {"schedule minute", schedule.minute, 0, kMaxMinute},
      {"schedule weekdays (bit 0 Monday to bit 6 Sunday)", schedule.weekdays, 1, kAllWeekdays},
      {"retention keepLast", retention.keepLast, 0, kMaxKeep},
      {"retention keepDaily", retention.keepDaily, 0, kMaxKeep},
      {"retention keepWeekly", retention.keepWeekly, 0, kMaxKeep},
      {"retention keepMonthly", retention.keepMonthly, 0, kMaxKeep},
      {"speedLimitKbps (0 for none)", speedLimitKbps, 0, INT32_MAX},
  };
  for (const auto& r : ranges) {
    if (r.value < r.low || r.value > r.high)
      return std::string(r.field) + " must be " + std::to_string(r.low) +
             (r.high == INT32_MAX ? " or more" : " to " + std::to_string(r.high)) + ", not " + std::to_string(r.value);
  }
  return {};
}

std::string BackupJob::validate() {
  if (id.empty()) id = RandomId();
  if (!IsValidJobId(id)) return kBadJobIdMessage;
  name = vx::Trim(name);
  if (sources.empty()) return "choose at least one folder to back up";
  for (std::string& source : sources) {
    source = vx::Trim(source);
    if (!IsFullPath(source)) return "not a full path: " + source;
  }
  if (name.empty()) name = LastComponent(sources.front());

  if (!destMount.empty()) {
    destPath = NormalizeRemotePath(destPath);
    if (IsRootPath(destPath)) return "name a folder for the backup on the drive";
  } else {
    std::string error = ValidateServer(endpoint);
    if (!error.empty()) return error;
    destPath.clear();
  }
  if (password.empty()) return "the backup password is empty";

  if (schedule.mode != kModeHourly && schedule.mode != kModeDaily) schedule.mode = std::string(kModeManual);
  schedule.everyHours = Clamp(schedule.everyHours, kMinEveryHours, kMaxEveryHours);
  schedule.hour = Clamp(schedule.hour, 0, kMaxHour);
  schedule.minute = Clamp(schedule.minute, 0, kMaxMinute);
  schedule.weekdays &= kAllWeekdays;
  if (schedule.weekdays == 0) schedule.weekdays = kAllWeekdays;
  for (int32_t* keep : {&retention.keepLast, &retention.keepDaily, &retention.keepWeekly, &retention.keepMonthly})
    *keep = Clamp(*keep, 0, kMaxKeep);
  return {};
}

}  // namespace tarn::backup
