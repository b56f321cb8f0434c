// Snapshot records: the one object that describes a kept version (when, on
// which computer, by which job, from which sources, its root folder listing
// and the run's counters), stored sealed under "/snapshots/" and named by the
// SHA-256 of its stored bytes. SnapshotInfo is a plain value; the JSON
// functions are reentrant. The repository operations on records are members
// of Repo (repo.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "backup/repo/blob_id.h"
#include "foundation/json.h"

namespace tarn::backup {

// The program version written into every new record.
inline constexpr const char* kProgramVersion = "0.3.1";

struct SnapshotInfo {
  std::string id;  // the record's object name; never stored in its JSON
  int64_t time = 0;
  std::string host;
  std::string job;
  std::string name;
  std::vector<std::string> sources;
  BlobId tree;
  uint64_t files = 0;
  uint64_t dirs = 0;
  uint64_t bytes = 0;
  uint64_t addedBytes = 0;
  uint64_t storedBytes = 0;
  uint32_t errors = 0;
  int64_t durationSec = 0;
  std::string version;
};

// Whether a record is one of the versions of job `jobId`: it names that job.
// Several jobs may keep their versions in one repository; a record that
// names no job (made before records named theirs) counts as every job's.
bool IsVersionOfJob(const SnapshotInfo& info, const std::string& jobId);

// The stored members in their fixed order, "time" first and "version" last.
vx::json::Value SnapshotToJson(const SnapshotInfo& info);
// Tolerant of missing members and of a value that is not an object: every
// field keeps its default. Counters count only when they are JSON numbers.
SnapshotInfo SnapshotFromJson(const vx::json::Value& value);

}  // namespace tarn::backup
