#include "backup/engine/schedule.h"

#include <algorithm>
#include <ctime>
#include <limits>

namespace tarn::backup {

namespace {

constexpr int64_t kSecondsPerHour = 3600;
constexpr int kDaysPerWeek = 7;
// Today and the seven days before (or after): every weekday at least once.
constexpr int kSlotTries = 8;

int64_t Interval(const Schedule& s) { return static_cast<int64_t>(std::max(s.everyHours, 1)) * kSecondsPerHour; }

// The slot hour:minute:00 local time on the local date of `now` moved by
// `days`. The date is moved before the conversion so that mktime normalises
// it (day 0 is the last of the previous month) and decides daylight saving
// for that date itself. False when the conversion fails.
bool SlotOn(const Schedule& s, int64_t now, int days, int64_t& slot, int& weekdayBit) {
  const time_t t = static_cast<time_t>(now);
  struct tm local {};
  if (localtime_r(&t, &local) == nullptr) return false;
  local.tm_mday += days;
  local.tm_hour = s.hour;
  local.tm_min = s.minute;
  local.tm_sec = 0;
  local.tm_isdst = -1;
  const time_t converted = mktime(&local);
  if (converted == static_cast<time_t>(-1)) return false;
  slot = static_cast<int64_t>(converted);
  weekdayBit = (local.tm_wday + kDaysPerWeek - 1) % kDaysPerWeek;  // Monday = 0
  return true;
}

bool OnChosenDay(const Schedule& s, int weekdayBit) { return (static_cast<uint32_t>(s.weekdays) >> weekdayBit) & 1u; }

bool DailyDue(const Schedule& s, int64_t lastRun, int64_t now) {
  if ((s.weekdays & kAllWeekdays) == 0) return false;
  for (int k = 0; k < kSlotTries; ++k) {
    int64_t slot = 0;
    int weekday = 0;
    if (!SlotOn(s, now, -k, slot, weekday) || slot > now || !OnChosenDay(s, weekday)) continue;
    return slot != 0 && lastRun < slot;
  }
  return false;
}

}  // namespace

bool IsScheduled(std::string_view mode) { return mode != kModeManual; }

bool Schedule::isDue(int64_t lastRun, int64_t now) const {
  if (mode == kModeHourly) {
    int64_t elapsed = 0;
    // lastRun comes from a status file: a wild value must not overflow.
    if (__builtin_sub_overflow(now, lastRun, &elapsed)) return lastRun < now;
    return elapsed >= Interval(*this);
  }
  if (mode == kModeDaily) return DailyDue(*this, lastRun, now);
  return false;
}

int64_t Schedule::nextRun(int64_t lastRun, int64_t now) const {
  if (mode == kModeHourly) {
    int64_t next = 0;
    if (__builtin_add_overflow(lastRun, Interval(*this), &next)) next = std::numeric_limits<int64_t>::max();
    return std::max(now, next);
  }
  if (mode != kModeDaily) return 0;
  if (isDue(lastRun, now)) return now;
  for (int k = 0; k < kSlotTries; ++k) {
    int64_t slot = 0;
    int weekday = 0;
    if (SlotOn(*this, now, k, slot, weekday) && slot > now && OnChosenDay(*this, weekday)) return slot;
  }
  return 0;
}

}  // namespace tarn::backup
