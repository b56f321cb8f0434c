#include "backup/engine/retention.h"

#include <time.h>

#include <gtest/gtest.h>

namespace tarn::backup {
namespace {

// Seconds since 1970 of a UTC calendar time.
int64_t Utc(int year, int month, int day, int hour = 12, int minute = 0) {
  struct tm t {};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  return int64_t(::timegm(&t));
}

Retention Keep(int32_t last, int32_t daily, int32_t weekly, int32_t monthly) {
  return Retention{last, daily, weekly, monthly};
}

TEST(Retention, SelectsTheSnapshotsNoRuleKeeps) {
  struct Case {
    const char* name;
    std::vector<int64_t> times;  // snapshot i is named "s<i>"
    Retention retention;
    std::vector<std::string> removed;  // newest first
  } cases[] = {
      {"no rule keeps everything",
       {Utc(2024, 1, 1), Utc(2024, 1, 2), Utc(2024, 1, 3)},
       Keep(0, 0, 0, -1),
       {}},
      {"a single snapshot stays", {Utc(2024, 1, 1)}, Keep(0, 0, 0, 1), {}},
      {"keep last 1",
       {Utc(2024, 1, 1), Utc(2024, 1, 3), Utc(2024, 1, 2), Utc(2024, 1, 4)},
       Keep(1, 0, 0, 0),
       {"s1", "s2", "s0"}},
      {"keep daily 7: three today, one on each of six days before",
       {Utc(2024, 5, 10, 8), Utc(2024, 5, 10, 12), Utc(2024, 5, 10, 18), Utc(2024, 5, 9), Utc(2024, 5, 8),
        Utc(2024, 5, 7), Utc(2024, 5, 6), Utc(2024, 5, 5), Utc(2024, 5, 4)},
       Keep(0, 7, 0, 0),
       {"s1", "s0"}},
      {"keep daily 3 counts only days that have snapshots",
       {Utc(2024, 3, 1), Utc(2024, 3, 10), Utc(2024, 3, 20), Utc(2024, 4, 1)},
       Keep(0, 3, 0, 0),
       {"s0"}},
      {"weeks begin on Monday 00:00 UTC",
       {Utc(2024, 6, 15, 10), Utc(2024, 6, 16, 23), Utc(2024, 6, 17, 1)},  // Saturday, Sunday, Monday
       Keep(0, 0, 2, 0),
       {"s0"}},
      {"months follow the UTC calendar",
       {Utc(2024, 1, 31, 23, 59), Utc(2024, 2, 1, 0, 0), Utc(2024, 2, 15)},
       Keep(0, 0, 0, 2),
       {"s1"}},
      {"rules add up",
       {Utc(2023, 11, 5), Utc(2023, 12, 5), Utc(2024, 1, 5), Utc(2024, 1, 6), Utc(2024, 1, 7), Utc(2024, 1, 8)},
       Keep(2, 0, 0, 3),
       {"s3", "s2"}},
  };
  for (const Case& c : cases) {
    std::vector<SnapshotInfo> snapshots;
    for (size_t i = 0; i < c.times.size(); ++i) {
      SnapshotInfo s;
      s.id = "s" + std::to_string(i);
      s.time = c.times[i];
      snapshots.push_back(s);
    }
    EXPECT_EQ(SelectForRemoval(snapshots, c.retention), c.removed) << c.name;
  }
}

}  // namespace
}  // namespace tarn::backup
