// When a backup job runs by itself: the schedule record of a job and the two
// questions the scheduler and the job-state replies ask of it, whether the
// job is due and when it runs next. A plain value with pure functions of
// seconds since 1970 UTC; any thread. "hourly" counts elapsed seconds;
// "daily" slots are wall-clock times in the computer's local time zone,
// converted by the C library (localtime_r, mktime) with its daylight-saving
// rules.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarn::backup {

inline constexpr std::string_view kModeManual = "manual";
inline constexpr std::string_view kModeHourly = "hourly";
inline constexpr std::string_view kModeDaily = "daily";

constexpr int32_t kDefaultEveryHours = 6;
constexpr int32_t kDefaultHour = 3;
constexpr int32_t kDefaultMinute = 0;
// Bit 0 Monday ... bit 6 Sunday.
constexpr int32_t kAllWeekdays = 127;

struct Schedule {
  std::string mode = std::string(kModeManual);
  int32_t everyHours = kDefaultEveryHours;
  int32_t hour = kDefaultHour;
  int32_t minute = kDefaultMinute;
  int32_t weekdays = kAllWeekdays;

  // lastRun 0 means never.
  bool isDue(int64_t lastRun, int64_t now) const;
  // 0 when the job has no next run.
  int64_t nextRun(int64_t lastRun, int64_t now) const;
};

// True unless the mode is exactly "manual", unknown modes included.
bool IsScheduled(std::string_view mode);

}  // namespace tarn::backup
