#include "backup/engine/retention.h"

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <functional>

namespace tarn::backup {
namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kDaysPerWeek = 7;
// 1970-01-01 was a Thursday: three days on, weeks begin on Monday.
constexpr int64_t kWeekShiftDays = 3;
constexpr int64_t kMonthsPerYear = 12;
// Times the calendar conversion rejects share one month, which no walk
// starts from.
constexpr int64_t kUnknownMonth = INT64_MIN + 1;

}  // namespace

int64_t RetentionDayKey(int64_t time) { return time / kSecondsPerDay; }

int64_t RetentionWeekKey(int64_t time) { return (RetentionDayKey(time) + kWeekShiftDays) / kDaysPerWeek; }

int64_t RetentionMonthKey(int64_t time) {
  const time_t t = static_cast<time_t>(time);
  struct tm utc {};
  if (::gmtime_r(&t, &utc) == nullptr) return kUnknownMonth;
  return int64_t(utc.tm_year) * kMonthsPerYear + utc.tm_mon;
}

std::vector<std::string> SelectForRemoval(const std::vector<SnapshotInfo>& snapshots, const Retention& retention) {
  if (retention.keepLast <= 0 && retention.keepDaily <= 0 && retention.keepWeekly <= 0 && retention.keepMonthly <= 0)
    return {};
  if (snapshots.size() < 2) return {};

  std::vector<const SnapshotInfo*> order;
  for (const SnapshotInfo& s : snapshots) order.push_back(&s);
  std::sort(order.begin(), order.end(), [](const SnapshotInfo* a, const SnapshotInfo* b) { return a->time > b->time; });

  std::vector<bool> keep(order.size(), false);
  keep[0] = true;
  for (size_t i = 0; i < order.size() && int64_t(i) < retention.keepLast; ++i) keep[i] = true;

  // The newest snapshot of each of the `count` most recent periods that have
  // snapshots at all.
  auto keepPerPeriod = [&](int32_t count, const std::function<int64_t(int64_t)>& key) {
    int64_t last = INT64_MIN;
    int32_t taken = 0;
    for (size_t i = 0; i < order.size() && taken < count; ++i) {
      const int64_t k = key(order[i]->time);
      if (k == last) continue;
      last = k;
      keep[i] = true;
      ++taken;
    }
  };
  keepPerPeriod(retention.keepDaily, RetentionDayKey);
  keepPerPeriod(retention.keepWeekly, RetentionWeekKey);
  keepPerPeriod(retention.keepMonthly, RetentionMonthKey);

  std::vector<std::string> remove;
  for (size_t i = 0; i < order.size(); ++i)
    if (!keep[i]) remove.push_back(order[i]->id);
  return remove;
}

}  // namespace tarn::backup
