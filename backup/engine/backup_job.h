// A backup job: the user's definition of one backup (which local folders or
// files go to which destination, with which repository password, on which
// schedule, keeping how many versions), its JSON form (one entry of
// "jobs.json" and of the control replies) and the completion and checks every
// job passes before it is stored. Plain values, copied freely; the functions
// keep no state and may run on any thread.
//
// Job ids name folders in the backup folder, so an id is 1 to 64 lower-case
// letters and digits and nothing else: no id can reach outside that folder.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "backup/engine/schedule.h"
#include "foundation/endpoint_config.h"
#include "foundation/json.h"

namespace tarn::backup {

constexpr size_t kMaxJobIdLength = 64;
constexpr int32_t kMinEveryHours = 1;
constexpr int32_t kMaxEveryHours = 168;
constexpr int32_t kMaxHour = 23;
constexpr int32_t kMaxMinute = 59;
constexpr int32_t kMaxKeep = 100000;

struct Retention {
  int32_t keepLast = 10;
  int32_t keepDaily = 7;
  int32_t keepWeekly = 4;
  int32_t keepMonthly = 12;
};

// What a job read from JSON without "excludes" leaves out.
std::vector<std::string> DefaultExcludes();

// True for 1 to 64 characters, each 0-9 or a-z.
bool IsValidJobId(std::string_view id);
// Why an id is refused.
inline constexpr const char* kBadJobIdMessage = "a job id is 1 to 64 lower-case letters and digits";

struct BackupJob {
  std::string id;
  std::string name;
  std::vector<std::string> sources;  // full local paths, in the user's order
  std::vector<std::string> excludes;
  std::string destMount;  // id of a configured drive, or empty for a server
  std::string destPath;   // folder on that drive
  EndpointConfig endpoint;
  std::string password;  // plain text in memory, sealed only in files
  Schedule schedule;
  Retention retention;
  bool compress = true;
  int32_t speedLimitKbps = 0;
  bool enabled = true;

  // Missing or mistyped members keep their defaults; never fails.
  static BackupJob fromJson(const vx::json::Value& v);
  // withSecrets: "password" and the endpoint's secrets as held in memory;
  // otherwise "hasPassword" and the endpoint's has-flags in their place.
  vx::json::Value toJson(bool withSecrets) const;
  // Completes and bounds the job in place; empty when it is acceptable,
  // else the first problem (the job may be partly completed by then).
  std::string validate();
  // For a job that a request sets: empty when every schedule, retention
  // and speed value is one the job can keep as it is, else the first that
  // is not, with the values allowed. (validate bounds such values in place,
  // as a stored job needs; a request must not have them changed silently.)
  std::string checkValues() const;
};

// The longest job name, in characters.
constexpr size_t kMaxJobNameChars = 256;
// The longest text of a job besides its name and secrets (paths, the host,
// patterns), in bytes.
constexpr size_t kMaxJobTextBytes = 4096;

// For a job object that a request or a job file gives: empty when every
// member it holds has the type and the range a job can keep as it is
// (missing members take their defaults), else the first that has not,
// named with what it allows. fromJson would silently replace such values.
std::string CheckJobJson(const vx::json::Value& v);

// A JSON array of texts as a list: items trimmed, empty ones dropped.
std::vector<std::string> StringListFromJson(const vx::json::Value& v);
vx::json::Value StringListToJson(const std::vector<std::string>& list);

}  // namespace tarn::backup
