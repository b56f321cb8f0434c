#include "backup/engine/backup_job.h"

#include <algorithm>
#include <iterator>

#include "backup/engine/local_path.h"
#include "foundation/config_file.h"
#include "foundation/mount_config.h"
#include "foundation/remote_path.h"
#include "foundation/share_link.h"
#include "foundation/text.h"
#include "platform/local_dir.h"

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

// What CheckJobJson asks of one member.
enum class Kind { kLine, kSecret, kBool, kWhole, kTexts, kObject };

// A whole number's range as a message names it; only `strict` members are
// held to it here, the others by checkValues, with the value given.
struct Member {
  const char* key;
  const char* label;  // how messages name it
  Kind kind;
  int64_t low = 0;  // kWhole
  int64_t high = 0;
  const char* unit = "";  // kWhole: what the number counts, for the message
  bool strict = false;
};

constexpr int64_t kMaxPort = 65535;

constexpr Member kJobMembers[] = {
    {"id", "id", Kind::kLine},
    {"name", "name", Kind::kLine},
    {"sources", "sources", Kind::kTexts},
    {"excludes", "excludes", Kind::kTexts},
    {"destMount", "destMount", Kind::kLine},
    {"destPath", "destPath", Kind::kLine},
    {"endpoint", "endpoint", Kind::kObject},
    {"password", "password", Kind::kSecret},
    {"schedule", "schedule", Kind::kObject},
    {"retention", "retention", Kind::kObject},
    {"compress", "compress", Kind::kBool},
    {"speedLimitKbps", "speedLimitKbps", Kind::kWhole, 0, INT32_MAX, " (KiB per second, 0 for none)"},
    {"enabled", "enabled", Kind::kBool},
};
constexpr Member kEndpointMembers[] = {
    {"protocol", "endpoint protocol", Kind::kLine},
    {"host", "endpoint host", Kind::kLine},
    {"port", "endpoint port", Kind::kWhole, 0, kMaxPort, " (0 for the protocol's own)", true},
    {"root", "endpoint root", Kind::kLine},
    {"user", "endpoint user", Kind::kLine},
    {"password", "endpoint password", Kind::kSecret},
    {"privateKey", "endpoint privateKey", Kind::kSecret},
    {"tls", "endpoint tls", Kind::kBool},
    {"verifyTls", "endpoint verifyTls", Kind::kBool},
    {"extra", "endpoint extra", Kind::kLine},
};
constexpr Member kScheduleMembers[] = {
    {"mode", "schedule mode", Kind::kLine},
    {"everyHours", "schedule everyHours", Kind::kWhole, kMinEveryHours, kMaxEveryHours},
    {"hour", "schedule hour", Kind::kWhole, 0, kMaxHour},
    {"minute", "schedule minute", Kind::kWhole, 0, kMaxMinute},
    {"weekdays", "schedule weekdays", Kind::kWhole, 1, kAllWeekdays, " (bit 0 Monday to bit 6 Sunday)"},
};
constexpr Member kRetentionMembers[] = {
    {"keepLast", "retention keepLast", Kind::kWhole, 0, kMaxKeep},
    {"keepDaily", "retention keepDaily", Kind::kWhole, 0, kMaxKeep},
    {"keepWeekly", "retention keepWeekly", Kind::kWhole, 0, kMaxKeep},
    {"keepMonthly", "retention keepMonthly", Kind::kWhole, 0, kMaxKeep},
};

bool HasControl(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return uint8_t(c) < 0x20 || c == 0x7F; });
}

size_t CharacterCount(std::string_view utf8) {
  return size_t(std::count_if(utf8.begin(), utf8.end(), [](char c) { return (uint8_t(c) & 0xC0) != 0x80; }));
}

// Empty when the text may stand in a job's line-of-text member.
std::string CheckLine(const std::string& label, const std::string& text) {
  if (!vx::IsValidUtf8(text)) return label + " is not valid UTF-8";
  if (HasControl(text)) return label + " must be one line of text, without control characters";
  if (text.size() > kMaxJobTextBytes) return label + " must be at most " + std::to_string(kMaxJobTextBytes) + " bytes";
  return {};
}

std::string CheckMember(const Member& m, const vx::json::Value& v) {
  const std::string label = m.label;
  switch (m.kind) {
    case Kind::kSecret:
      return v.isString() ? std::string() : label + " must be a text";
    case Kind::kLine:
      if (!v.isString()) return label + " must be a text";
      return CheckLine(label, v.string);
    case Kind::kBool:
      return v.isBool() ? std::string() : label + " must be true or false";
    case Kind::kWhole: {
      int64_t n = 0;
      if (m.strict ? v.asWholeNumber(m.low, m.high, n) : v.asWholeNumber(INT32_MIN, INT32_MAX, n)) return {};
      return label + " must be a whole number from " + std::to_string(m.low) + " to " + std::to_string(m.high) +
             m.unit;
    }
    case Kind::kTexts:
      if (!v.isArray()) return label + " must be a list of texts";
      for (size_t i = 0; i < v.size(); ++i) {
        if (!v.at(i).isString()) return label + " must be a list of texts";
        std::string problem = CheckLine(label, v.at(i).string);
        if (!problem.empty()) return problem;
      }
      return {};
    case Kind::kObject:
      return v.isObject() ? std::string() : label + " must be an object";
  }
  return {};
}

template <size_t N>
std::string CheckMembers(const Member (&members)[N], const vx::json::Value& v) {
  for (const Member& m : members) {
    if (!v.has(m.key)) continue;
    std::string problem = CheckMember(m, v[m.key]);
    if (!problem.empty()) return problem;
  }
  return {};
}

}  // namespace

std::string CheckJobJson(const vx::json::Value& v) {
  if (!v.isObject()) return "the job must be an object";
  if (v["name"].isString() && CharacterCount(v["name"].string) > kMaxJobNameChars)
    return "name must be at most " + std::to_string(kMaxJobNameChars) + " characters";
  std::string problem = CheckMembers(kJobMembers, v);
  if (problem.empty()) problem = CheckMembers(kEndpointMembers, v["endpoint"]);
  if (problem.empty()) problem = CheckMembers(kScheduleMembers, v["schedule"]);
  if (problem.empty()) problem = CheckMembers(kRetentionMembers, v["retention"]);
  return problem;
}

std::vector<std::string> DefaultExcludes() {
  return std::vector<std::string>(std::begin(localfs::kDefaultExcludes), std::end(localfs::kDefaultExcludes));
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
