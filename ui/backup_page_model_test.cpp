#include "ui/backup_page_model.h"

#include <gtest/gtest.h>

#include <string>

#include "ui/language.h"
#include "ui/string_ids.h"

namespace tarn::app {
namespace {

using vx::json::Value;

constexpr int64_t kNow = 1700000040;  // a whole minute in every time zone
constexpr int64_t kHour = 3600;

Value Parse(const std::string& text) {
  Value v;
  EXPECT_TRUE(vx::json::Parse(text, v)) << text;
  return v;
}

class BackupPageModel : public ::testing::Test {
 protected:
  void SetUp() override { SetLanguageSetting(kEnglish); }
  void TearDown() override { SetLanguageSetting(kAutomaticLanguage); }
};

TEST_F(BackupPageModel, SchedulesInWords) {
  const struct {
    const char* schedule;
    const char* text;
  } cases[] = {
      {R"({"mode":"hourly","everyHours":12})", "Every 12 h"},
      {R"({"mode":"hourly"})", "Every 6 h"},
      {R"({"mode":"daily","hour":4,"minute":5})", "Daily at 04:05"},
      {R"({"mode":"daily"})", "Daily at 03:00"},
      {R"({"mode":"manual","everyHours":2})", "By hand"},
      {R"({"mode":"weekly"})", "By hand"},
      {"null", "By hand"},
  };
  for (const auto& c : cases) EXPECT_EQ(ScheduleText(Parse(c.schedule)).toStdString(), c.text) << c.schedule;
}

TEST_F(BackupPageModel, TheStateOfARunningTaskIsItsPhase) {
  const struct {
    const char* state;
    const char* text;
  } cases[] = {
      {R"({"running":"backup","phase":"waiting"})", "Waiting for its turn"},
      {R"({"running":"backup","phase":"connecting","lastResult":"failed","lastError":"x"})", "Connecting…"},
      {R"({"running":"prune","phase":"cleanup"})", "Removing old versions…"},
      {R"({"running":"restore","phase":"restore","bytes":2048})", "Restoring: 2.0 KiB"},
      {R"({"running":"check","phase":"check","bytes":512})", "Verifying: 512 B"},
      {R"({"running":"backup","phase":"backup","bytes":3145728,"bytesUp":1024})",
       "Copying: 3.0 MiB looked through, 1.0 KiB sent"},
      {R"({"running":"backup","phase":"","nextRun":1800000000})", "Copying: 0 B looked through, 0 B sent"},
  };
  for (const auto& c : cases) EXPECT_EQ(JobStateText(Parse(c.state), kNow).toStdString(), c.text) << c.state;
}

TEST_F(BackupPageModel, TheStateOfAnIdleJobIsHowItsLastRunEndedThenTheNextRunAndTheNote) {
  const std::string sep = "  \u00B7  ";
  const std::string later = LocalTimeText(kNow + kHour).toStdString();
  const std::string now = LocalTimeText(kNow).toStdString();
  ASSERT_NE(later, now);
  const struct {
    std::string state;
    std::string text;
  } cases[] = {
      {R"({"running":"","lastResult":"ok","lastError":"ignored"})", "Done"},
      {R"({"lastResult":"warnings","lastError":"2 files could not be read"})",
       "Done, with warnings: 2 files could not be read"},
      // The error's words, without the code of its kind.
      {R"({"lastResult":"failed","lastError":"network: the server could not be reached"})",
       "Failed: the server could not be reached"},
      {R"({"lastResult":"failed","lastError":"auth-failed: wrong repository password"})",
       "Failed: wrong repository password"},
      {R"({"lastResult":"failed","lastError":"networking: a word that is no code"})",
       "Failed: networking: a word that is no code"},
      {R"({"lastResult":"failed"})", "Failed"},
      {R"({"lastResult":"canceled","lastError":"canceled: "})", "Stopped"},
      {R"({"lastResult":""})", "No copy yet"},
      {R"({"lastResult":"ok","nextRun":)" + std::to_string(kNow + kHour) + "}", "Done" + sep + "next: " + later},
      // A run already due shows the time of the reply.
      {R"({"lastResult":"ok","nextRun":)" + std::to_string(kNow - kHour) + "}", "Done" + sep + "next: " + now},
      {R"({"lastResult":"ok","nextRun":0,"lastNote":"cleanup: 1 old version removed"})",
       "Done" + sep + "cleanup: 1 old version removed"},
      {R"({"lastResult":"failed","lastError":"e","nextRun":)" + std::to_string(kNow + kHour) +
           R"(,"lastNote":"n"})",
       "Failed: e" + sep + "next: " + later + sep + "n"},
  };
  for (const auto& c : cases) EXPECT_EQ(JobStateText(Parse(c.state), kNow).toStdString(), c.text) << c.state;
}

// What the last restore, check or cleanup did is worded in the user's
// language from the service's counts; what else the service's note says
// follows apart, in its words; a task that failed says so, with its reason.
TEST_F(BackupPageModel, TheLastTasksNoteIsWordedFromItsCounts) {
  const std::string sep = "  \u00B7  ";
  const struct {
    const char* state;
    const char* note;
  } cases[] = {
      {R"({"lastResult":"ok","lastTask":"restore","lastTaskResult":"ok","lastNote":"restored 1 file, 28 B",
          "lastTaskCounts":{"files":1,"bytes":28}})",
       "Files restored: 1 (28 B)"},
      {R"({"lastResult":"ok","lastTask":"restore","lastTaskResult":"warnings",
          "lastNote":"restored 3 files, 1.0 KiB; 2 could not be restored","lastTaskCounts":{"files":3,"bytes":1024}})",
       "Files restored: 3 (1.0 KiB): 2 could not be restored"},
      {R"({"lastResult":"ok","lastTask":"check","lastTaskResult":"ok","lastNote":"check passed: 412 packs, 50.0 GiB",
          "lastTaskCounts":{"packs":412,"bytes":53687091200,"problems":0}})",
       "Check passed: 412 packs (50.0 GiB)"},
      {R"({"lastResult":"ok","lastTask":"check","lastTaskResult":"warnings",
          "lastNote":"check found 2 problems: pack 1a2b is missing","lastTaskCounts":{"packs":9,"bytes":9,"problems":2}})",
       "Problems found by the check: 2: pack 1a2b is missing"},
      {R"({"lastResult":"ok","lastTask":"prune","lastTaskResult":"ok","lastNote":"cleanup: 3 old versions removed, 2.0 MiB freed",
          "lastTaskCounts":{"versions":3,"bytes":2097152}})",
       "Old versions removed: 3 (2.0 MiB freed)"},
      {R"({"lastResult":"ok","lastTask":"restore","lastTaskResult":"failed",
          "lastNote":"restore: network: the server could not be reached","lastTaskCounts":{}})",
       "Restore: Failed: the server could not be reached"},
      {R"({"lastResult":"ok","lastTask":"check","lastTaskResult":"interrupted",
          "lastNote":"check interrupted: the service ended while it ran"})",
       "Verification: Interrupted: the service ended while it ran"},
      // A note of an older service, without counts, is its own words.
      {R"({"lastResult":"ok","lastTask":"restore","lastTaskResult":"ok","lastNote":"restored 1 file, 28 B"})",
       "restored 1 file, 28 B"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.state);
    EXPECT_EQ(JobStateText(Parse(c.state), kNow).toStdString(), "Done" + sep + c.note);
  }
  SetLanguageByCode("de");
  const QString german = JobStateText(Parse(cases[0].state), kNow);
  EXPECT_FALSE(german.contains(QStringLiteral("restored"))) << german.toStdString();
  EXPECT_TRUE(german.contains(FormatText(Tr(kStrNoteRestored), {QStringLiteral("1"), QStringLiteral("28 B")})))
      << german.toStdString();
}

TEST_F(BackupPageModel, LastCopyAndLocalTimes) {
  EXPECT_EQ(LocalTimeText(0), QString());
  EXPECT_EQ(LocalTimeText(-5), QString());
  // Minutes, not seconds.
  EXPECT_EQ(LocalTimeText(kNow), LocalTimeText(kNow + 59));
  EXPECT_NE(LocalTimeText(kNow), LocalTimeText(kNow + 60));

  const QString time = LocalTimeText(kNow);
  EXPECT_EQ(LastCopyText(Parse(R"({"lastOk":0,"lastSnapshot":{"bytes":10}})")), QStringLiteral("No copy yet"));
  EXPECT_EQ(LastCopyText(Parse(R"({"lastOk":)" + std::to_string(kNow) + "}")), time);
  EXPECT_EQ(LastCopyText(Parse(R"({"lastOk":)" + std::to_string(kNow) + R"(,"lastSnapshot":{"bytes":1572864}})")),
            time + QStringLiteral(", 1.5 MiB"));
}

TEST_F(BackupPageModel, ARowShowsTheJobsFoldersWhereItIsKeptAndItsState) {
  const Value job = Parse(R"({"name":"Photos","sources":["/home/ann/Photos","/srv/x"],
      "destination":"sftp://nas:2222/backups","schedule":{"mode":"manual"},
      "state":{"running":"","lastResult":"","lastOk":0}})");
  const JobRowTexts row = JobRow(job, kNow);
  EXPECT_EQ(row[0], QStringLiteral("Photos"));
  EXPECT_EQ(row[1], QStringLiteral("/home/ann/Photos; /srv/x"));
  EXPECT_EQ(row[2], QStringLiteral("sftp://nas:2222/backups"));
  EXPECT_EQ(row[3], QStringLiteral("By hand"));
  EXPECT_EQ(row[4], QStringLiteral("No copy yet"));
  EXPECT_EQ(row[5], QStringLiteral("No copy yet"));
}

TEST_F(BackupPageModel, PathsReadLeftToRightInARightToLeftLanguage) {
  const Value job = Parse(R"({"name":"x","sources":["/home/ann"],"destination":"sftp://nas/b","state":{}})");
  const QChar lri(0x2066);
  const QChar pdi(0x2069);
  SetLanguageByCode("ar");
  JobRowTexts row = JobRow(job, kNow);
  EXPECT_EQ(row[1], lri + QStringLiteral("/home/ann") + pdi);
  EXPECT_EQ(row[2], lri + QStringLiteral("sftp://nas/b") + pdi);
  EXPECT_EQ(row[0], QStringLiteral("x"));
  SetLanguageByCode("ja");
  row = JobRow(job, kNow);
  EXPECT_EQ(row[1], QStringLiteral("/home/ann"));
}

TEST_F(BackupPageModel, SizesAndTimesReadLeftToRightInARightToLeftLanguage) {
  const auto ltr = [](const QString& text) { return QChar(0x2066) + text + QChar(0x2069); };
  SetLanguageByCode("ar");
  const QString when = ltr(LocalTimeText(kNow));
  const Value done = Parse(R"({"name":"x","sources":[],"destination":"","state":{"lastOk":)" + std::to_string(kNow) +
                           R"(,"lastSnapshot":{"bytes":2048},"lastResult":"ok","nextRun":)" + std::to_string(kNow) + "}}");
  const JobRowTexts row = JobRow(done, kNow);
  // The time and the size each isolated, the language's own comma between
  // them, and the cell a right-to-left paragraph: "2.0 KiB ،TIME" from the
  // right, never "TIME, 2.0 KiB" run together.
  EXPECT_EQ(row[4], QChar(0x200F) + when + QString::fromUtf8("، ") + ltr(QStringLiteral("2.0 KiB")));
  EXPECT_TRUE(row[5].endsWith(when)) << row[5].toStdString();
  const Value copying = Parse(R"({"running":"backup","phase":"backup","bytes":1024,"bytesUp":2048})");
  const QString state = JobStateText(copying, kNow);
  EXPECT_TRUE(state.contains(ltr(QStringLiteral("1.0 KiB")))) << state.toStdString();
  EXPECT_TRUE(state.contains(ltr(QStringLiteral("2.0 KiB")))) << state.toStdString();
}

TEST_F(BackupPageModel, CommandsByRightsSelectionAndTheJobsState) {
  const Value idle = Parse(R"({"state":{"running":"","lastOk":5}})");
  const Value neverRun = Parse(R"({"state":{"running":"","lastOk":0}})");
  const Value running = Parse(R"({"state":{"running":"backup","lastOk":5}})");
  constexpr JobListOutcome kListed = JobListOutcome::kListed;
  const struct {
    const char* name;
    bool commandRunning;
    JobListOutcome listed;
    const Value* selected;
    PageButtons buttons;
  } cases[] = {
      // add, edit, remove, run, restore, verify, log, runStops
      {"nothing selected", false, kListed, nullptr, {true, false, false, false, false, false, false, false}},
      {"an idle job", false, kListed, &idle, {true, true, true, true, true, true, true, false}},
      {"a job never copied", false, kListed, &neverRun, {true, true, true, true, true, false, true, false}},
      {"a running job", false, kListed, &running, {true, false, true, true, false, false, true, true}},
      {"while a command runs", true, kListed, &idle, {false, false, false, false, false, false, false, false}},
      {"refused by rights", false, JobListOutcome::kRefusedByRights, &idle,
       {false, false, false, false, false, false, false, false}},
      {"no answer from the service", false, JobListOutcome::kFailed, &idle,
       {false, false, false, false, false, false, false, false}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(PageButtonStates(c.commandRunning, c.listed, c.selected), c.buttons) << c.name;
}

TEST_F(BackupPageModel, TheNoteTellsAUserWhoMayNotManageBackups) {
  EXPECT_EQ(PageNoteText(true), QStringLiteral("Backups are set up by an administrator of this computer."));
  EXPECT_TRUE(PageNoteText(false).startsWith(QStringLiteral("Folders are copied to your own server")));
}

}  // namespace
}  // namespace tarn::app
