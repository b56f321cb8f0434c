// What the backup page shows and allows, as plain functions over the jobs of
// a "backupList" reply: the texts of a job's row (schedule, last copy, live
// state), the note below the list and which commands are enabled. The page
// (backup_page.h) only wires them to its widgets. Any thread.
#pragma once

#include <QString>

#include <array>
#include <cstdint>

#include "foundation/json.h"
#include "ui/backup_requests.h"

namespace tarn::app {

inline constexpr int kJobColumnCount = 6;
// What a schedule without these members means to the service.
inline constexpr int kDefaultEveryHours = 6;
inline constexpr int kDefaultHour = 3;
inline constexpr int kDefaultMinute = 0;
using JobRowTexts = std::array<QString, kJobColumnCount>;

// An instant (Unix seconds) in local time as the user's locale writes a
// short date and a time without seconds; empty for 0 or less.
QString LocalTimeText(int64_t unixSeconds);

// A byte count of a reply as the user reads it ("1.5 MiB").
QString BytesText(const vx::json::Value& count);

// "Every %d h", "Daily at %s" or "By hand", of a job's "schedule".
QString ScheduleText(const vx::json::Value& schedule);
// When the last good copy was made and how large it is, of a job's "state".
QString LastCopyText(const vx::json::Value& state);
// The phase of a running task, or how the last one ended with the next run
// and the last note; `now` is the reply's time.
QString JobStateText(const vx::json::Value& state, int64_t now);
// The cells of a job's row: name, folders, where it is kept, schedule, last
// copy and state.
JobRowTexts JobRow(const vx::json::Value& job, int64_t now);

// A task of the job runs.
bool JobRunning(const vx::json::Value& job);

// The note below the list.
QString PageNoteText(bool refusedByRights);

// Which commands are enabled, and whether the run command stops instead.
struct PageButtons {
  bool add = false;
  bool edit = false;
  bool remove = false;
  bool run = false;
  bool restore = false;
  bool verify = false;
  bool log = false;
  bool runStops = false;
  friend bool operator==(const PageButtons&, const PageButtons&) = default;
};

// `listed`: how the last list fetch ended (nothing works while the service
// does not answer, or refuses the caller); `selected` is the selected job,
// or null.
PageButtons PageButtonStates(bool commandRunning, JobListOutcome listed, const vx::json::Value* selected);

}  // namespace tarn::app
