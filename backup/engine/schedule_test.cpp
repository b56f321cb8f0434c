#include "backup/engine/schedule.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <limits>
#include <optional>
#include <string>

namespace tarn::backup {
namespace {

constexpr int32_t kMondays = 1;
constexpr int32_t kSundays = 64;
constexpr int64_t kHour = 3600;
constexpr int64_t kNow = 1700000000;
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();

// Seconds since 1970 of a UTC date and time; independent of the time zone.
int64_t Utc(int year, int month, int day, int hour, int minute, int second = 0) {
  struct tm t {};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return static_cast<int64_t>(timegm(&t));
}

Schedule Daily(int32_t hour, int32_t minute, int32_t weekdays = kAllWeekdays) {
  Schedule s;
  s.mode = "daily";
  s.hour = hour;
  s.minute = minute;
  s.weekdays = weekdays;
  return s;
}

Schedule Hourly(int32_t everyHours) {
  Schedule s;
  s.mode = "hourly";
  s.everyHours = everyHours;
  return s;
}

Schedule Mode(const char* mode) {
  Schedule s;
  s.mode = mode;
  return s;
}

class ScheduleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* tz = std::getenv("TZ")) saved_ = tz;
  }
  void TearDown() override {
    if (saved_)
      setenv("TZ", saved_->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  static void Zone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  }

  std::optional<std::string> saved_;
};

TEST_F(ScheduleTest, DueAndNextRun) {
  // Europe/Berlin: UTC+1, and UTC+2 from 2024-03-31 01:00 UTC to
  // 2024-10-27 01:00 UTC. Expected instants are written in UTC so that they
  // do not come from the conversion under test.
  struct Case {
    const char* what;
    Schedule schedule;
    int64_t lastRun;
    int64_t now;
    bool due;
    int64_t next;
  } cases[] = {
      {"monday slot, asked on wednesday after running on monday", Daily(3, 0, kMondays),
       Utc(2024, 5, 13, 1, 5), Utc(2024, 5, 15, 8, 0), false, Utc(2024, 5, 20, 1, 0)},
      {"slot equal to now counts", Daily(3, 0, kMondays), Utc(2024, 5, 13, 1, 5), Utc(2024, 5, 20, 1, 0), true,
       Utc(2024, 5, 20, 1, 0)},
      {"ran after today's slot", Daily(3, 0), Utc(2024, 5, 15, 1, 5), Utc(2024, 5, 15, 1, 10), false,
       Utc(2024, 5, 16, 1, 0)},
      {"never run, a slot within the week passed", Daily(3, 0, kMondays), 0, Utc(2024, 5, 15, 8, 0), true,
       Utc(2024, 5, 15, 8, 0)},
      {"midnight slot from the first second of the day", Daily(0, 0), Utc(2024, 5, 13, 22, 5),
       Utc(2024, 5, 14, 22, 0, 1), true, Utc(2024, 5, 14, 22, 0, 1)},
      {"sunday slot found across the new year", Daily(3, 0, kSundays), Utc(2023, 12, 24, 2, 0),
       Utc(2024, 1, 1, 0, 0), true, Utc(2024, 1, 1, 0, 0)},
      {"sunday slot across the new year already run", Daily(3, 0, kSundays), Utc(2023, 12, 31, 2, 30),
       Utc(2024, 1, 1, 0, 0), false, Utc(2024, 1, 7, 2, 0)},
      {"no weekday chosen", Daily(3, 0, 0), 0, Utc(2024, 5, 15, 8, 0), false, 0},
      // 03:00 on the 23-hour day is 01:00 UTC, not midnight plus three hours.
      {"spring change: run after the slot", Daily(3, 0), Utc(2024, 3, 31, 1, 30), Utc(2024, 3, 31, 2, 30),
       false, Utc(2024, 4, 1, 1, 0)},
      {"spring change: run before the slot", Daily(3, 0), Utc(2024, 3, 31, 0, 30), Utc(2024, 3, 31, 2, 30),
       true, Utc(2024, 3, 31, 2, 30)},
      // 04:00 on the 25-hour day is 03:00 UTC.
      {"autumn change: slot still ahead", Daily(4, 0), Utc(2024, 10, 26, 2, 0), Utc(2024, 10, 27, 2, 30),
       false, Utc(2024, 10, 27, 3, 0)},
      {"hourly never run", Hourly(6), 0, kNow, true, kNow},
      {"hourly one second early", Hourly(6), kNow - 6 * kHour + 1, kNow, false, kNow + 1},
      {"hourly on the dot", Hourly(6), kNow - 6 * kHour, kNow, true, kNow},
      {"hourly with zero hours runs every hour", Hourly(0), kNow - kHour, kNow, true, kNow},
      {"hourly from the far past", Hourly(6), kMin, kNow, true, kNow},
      {"hourly with a last run at the end of time", Hourly(6), kMax, kNow, false, kMax},
      {"manual", Mode("manual"), 0, kNow, false, 0},
      {"unknown mode", Mode("weekly"), 0, kNow, false, 0},
      {"mode names are exact", Mode("Daily"), 0, kNow, false, 0},
  };
  Zone("Europe/Berlin");
  for (const auto& c : cases) {
    EXPECT_EQ(c.schedule.isDue(c.lastRun, c.now), c.due) << c.what;
    EXPECT_EQ(c.schedule.nextRun(c.lastRun, c.now), c.next) << c.what;
  }
}

TEST_F(ScheduleTest, SlotInTheSpringGapStillRunsThatDay) {
  // New York skips 02:00-03:00 on 2024-03-10; the day's 02:30 slot becomes
  // whatever the conversion makes of it, but the day keeps a run.
  Zone("America/New_York");
  Schedule s = Daily(2, 30);
  int64_t next = s.nextRun(Utc(2024, 3, 9, 7, 30), Utc(2024, 3, 10, 5, 0));
  EXPECT_GE(next, Utc(2024, 3, 10, 6, 30));
  EXPECT_LE(next, Utc(2024, 3, 10, 7, 30));
  EXPECT_FALSE(s.isDue(Utc(2024, 3, 9, 7, 30), Utc(2024, 3, 10, 5, 0)));
  EXPECT_TRUE(s.isDue(Utc(2024, 3, 9, 7, 30), Utc(2024, 3, 10, 8, 0)));
}

TEST(IsScheduled, OnlyManualIsUnscheduled) {
  EXPECT_FALSE(IsScheduled("manual"));
  for (const char* mode : {"hourly", "daily", "weekly", "", "Manual"}) EXPECT_TRUE(IsScheduled(mode)) << mode;
}

}  // namespace
}  // namespace tarn::backup
