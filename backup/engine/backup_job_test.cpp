#include "backup/engine/backup_job.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace tarn::backup {
namespace {

BackupJob ValidJob() {
  BackupJob job;
  job.id = "job1";
  job.name = "Documents";
  job.sources = {"/home/alice/Documents"};
  job.endpoint.protocol = "sftp";
  job.endpoint.host = "backup.example.com";
  job.endpoint.root = "/srv/backup";
  job.endpoint.user = "alice";
  job.endpoint.password = "server-secret";
  job.password = "repo-secret";
  return job;
}

std::vector<std::string> Keys(const vx::json::Value& v) { return v.keys; }

TEST(BackupJob, JsonRoundTripKeepsEveryField) {
  BackupJob job = ValidJob();
  job.excludes = {"*.tmp", "/home/alice/Documents/cache"};
  job.destPath = "";
  job.schedule.mode = "daily";
  job.schedule.everyHours = 12;
  job.schedule.hour = 22;
  job.schedule.minute = 45;
  job.schedule.weekdays = 31;
  job.retention = Retention{3, 14, 8, 24};
  job.compress = false;
  job.speedLimitKbps = 512;
  job.enabled = false;

  vx::json::Value stored = job.toJson(true);
  vx::json::Value parsed;
  ASSERT_TRUE(vx::json::Parse(stored.dump(), parsed));
  BackupJob back = BackupJob::fromJson(parsed);
  EXPECT_EQ(back.toJson(true).dump(), stored.dump());
  EXPECT_EQ(back.password, "repo-secret");
  EXPECT_EQ(back.endpoint.password, "server-secret");
  EXPECT_EQ(back.schedule.weekdays, 31);
  EXPECT_EQ(back.retention.keepMonthly, 24);
  EXPECT_EQ(back.speedLimitKbps, 512);
  EXPECT_FALSE(back.compress);
  EXPECT_FALSE(back.enabled);

  EXPECT_EQ(Keys(stored), (std::vector<std::string>{"id", "name", "sources", "excludes", "destMount", "destPath",
                                                    "endpoint", "password", "schedule", "retention", "compress",
                                                    "speedLimitKbps", "enabled"}));
  EXPECT_EQ(Keys(stored["schedule"]),
            (std::vector<std::string>{"mode", "everyHours", "hour", "minute", "weekdays"}));
  EXPECT_EQ(Keys(stored["retention"]),
            (std::vector<std::string>{"keepLast", "keepDaily", "keepWeekly", "keepMonthly"}));
}

TEST(BackupJob, RepliesCarryNoSecrets) {
  vx::json::Value reply = ValidJob().toJson(false);
  EXPECT_FALSE(reply.has("password"));
  EXPECT_TRUE(reply["hasPassword"].asBool());
  EXPECT_EQ(Keys(reply)[7], "hasPassword");
  std::string text = reply.dump();
  EXPECT_EQ(text.find("repo-secret"), std::string::npos);
  EXPECT_EQ(text.find("server-secret"), std::string::npos);
  BackupJob empty = ValidJob();
  empty.password.clear();
  EXPECT_FALSE(empty.toJson(false)["hasPassword"].asBool(true));
}

TEST(BackupJob, ReadingFillsDefaults) {
  struct Case {
    const char* json;
    std::function<void(const BackupJob&)> check;
  } cases[] = {
      {"{}",
       [](const BackupJob& j) {
         EXPECT_EQ(j.excludes, DefaultExcludes());
         EXPECT_EQ(j.schedule.mode, "manual");
         EXPECT_EQ(j.schedule.everyHours, 6);
         EXPECT_EQ(j.schedule.hour, 3);
         EXPECT_EQ(j.schedule.weekdays, 127);
         EXPECT_EQ(j.retention.keepLast, 10);
         EXPECT_EQ(j.retention.keepDaily, 7);
         EXPECT_EQ(j.retention.keepWeekly, 4);
         EXPECT_EQ(j.retention.keepMonthly, 12);
         EXPECT_TRUE(j.compress);
         EXPECT_TRUE(j.enabled);
         EXPECT_EQ(j.speedLimitKbps, 0);
       }},
      {R"({"excludes": []})", [](const BackupJob& j) { EXPECT_TRUE(j.excludes.empty()); }},
      {R"({"sources": ["  /a  ", "", "   ", "/b"]})",
       [](const BackupJob& j) { EXPECT_EQ(j.sources, (std::vector<std::string>{"/a", "/b"})); }},
      {R"({"retention": 5})", [](const BackupJob& j) { EXPECT_EQ(j.retention.keepLast, 10); }},
      {R"({"retention": {"keepLast": 2}})",
       [](const BackupJob& j) {
         EXPECT_EQ(j.retention.keepLast, 2);
         EXPECT_EQ(j.retention.keepDaily, 7);
       }},
      {R"({"schedule": {"hour": 1e300, "minute": 30}})",
       [](const BackupJob& j) {
         EXPECT_EQ(j.schedule.hour, 3);
         EXPECT_EQ(j.schedule.minute, 30);
       }},
  };
  for (const auto& c : cases) {
    vx::json::Value v;
    ASSERT_TRUE(vx::json::Parse(c.json, v)) << c.json;
    SCOPED_TRACE(c.json);
    c.check(BackupJob::fromJson(v));
  }
}

TEST(BackupJob, ValidationMessages) {
  struct Case {
    const char* what;
    std::function<void(BackupJob&)> change;
    std::string message;
  } cases[] = {
      {"valid", [](BackupJob&) {}, ""},
      {"id with a capital", [](BackupJob& j) { j.id = "Job1"; }, "a job id is 1 to 64 lower-case letters and digits"},
      {"id climbing out", [](BackupJob& j) { j.id = "../x"; }, "a job id is 1 to 64 lower-case letters and digits"},
      {"id with a slash", [](BackupJob& j) { j.id = "a/b"; }, "a job id is 1 to 64 lower-case letters and digits"},
      {"id of 65", [](BackupJob& j) { j.id = std::string(65, 'a'); },
       "a job id is 1 to 64 lower-case letters and digits"},
      {"id of 64", [](BackupJob& j) { j.id = std::string(64, '7'); }, ""},
      {"no sources", [](BackupJob& j) { j.sources.clear(); }, "choose at least one folder to back up"},
      {"relative source", [](BackupJob& j) { j.sources = {"/ok", " Data "}; }, "not a full path: Data"},
      {"source with a NUL", [](BackupJob& j) { j.sources = {std::string("/a\0b", 4)}; },
       "not a full path: " + std::string("/a\0b", 4)},
      {"drive without a folder", [](BackupJob& j) { j.destMount = "d1"; j.destPath = "//"; },
       "name a folder for the backup on the drive"},
      {"no host", [](BackupJob& j) { j.endpoint.host = ""; }, "the backup server is not set"},
      {"unknown protocol", [](BackupJob& j) { j.endpoint.protocol = "ftp"; }, "unknown protocol: ftp"},
      {"s3 without bucket", [](BackupJob& j) { j.endpoint.protocol = "s3"; j.endpoint.root = "/"; },
       "name the S3 bucket: /bucket/folder"},
      {"nfs without export", [](BackupJob& j) { j.endpoint.protocol = "nfs"; j.endpoint.root = "."; },
       "name the NFS export: /export/folder"},
      {"no password", [](BackupJob& j) { j.password.clear(); }, "the backup password is empty"},
  };
  for (const auto& c : cases) {
    BackupJob job = ValidJob();
    c.change(job);
    EXPECT_EQ(job.validate(), c.message) << c.what;
  }
}

TEST(BackupJob, ValidationCompletesTheJob) {
  BackupJob fresh = ValidJob();
  fresh.id.clear();
  fresh.name = "   ";
  fresh.sources = {" /data/photos/ "};
  ASSERT_EQ(fresh.validate(), "");
  EXPECT_EQ(fresh.id.size(), 16u);
  EXPECT_TRUE(IsValidJobId(fresh.id));
  EXPECT_EQ(fresh.sources, (std::vector<std::string>{"/data/photos/"}));
  EXPECT_EQ(fresh.name, "photos");

  BackupJob root = ValidJob();
  root.name.clear();
  root.sources = {"/"};
  ASSERT_EQ(root.validate(), "");
  EXPECT_EQ(root.name, "root");

  BackupJob drive = ValidJob();
  drive.destMount = "d1";
  drive.destPath = "backups//laptop/";
  drive.endpoint = EndpointConfig();
  ASSERT_EQ(drive.validate(), "");
  EXPECT_EQ(drive.destPath, "/backups/laptop");

  BackupJob s3 = ValidJob();
  s3.endpoint.protocol = "s3";
  s3.endpoint.host = "https://store.example.com/bucket/folder/";
  s3.endpoint.root.clear();
  s3.destPath = "/left/over";
  ASSERT_EQ(s3.validate(), "");
  EXPECT_EQ(s3.endpoint.protocol, "s3");
  EXPECT_EQ(s3.endpoint.host, "store.example.com");
  EXPECT_EQ(s3.endpoint.root, "/bucket/folder");
  EXPECT_EQ(s3.destPath, "");

  BackupJob dav = ValidJob();
  dav.endpoint.protocol = "webdav";
  dav.endpoint.user.clear();
  dav.endpoint.root = "remote.php/dav/files/bob/backup";
  ASSERT_EQ(dav.validate(), "");
  EXPECT_EQ(dav.endpoint.user, "bob");
}

TEST(BackupJob, ValidationBoundsTheNumbers) {
  struct Case {
    std::function<void(BackupJob&)> change;
    std::function<int32_t(const BackupJob&)> read;
    int32_t expected;
  } cases[] = {
      {[](BackupJob& j) { j.schedule.everyHours = 0; }, [](const BackupJob& j) { return j.schedule.everyHours; }, 1},
      {[](BackupJob& j) { j.schedule.everyHours = 500; }, [](const BackupJob& j) { return j.schedule.everyHours; }, 168},
      {[](BackupJob& j) { j.schedule.hour = -1; }, [](const BackupJob& j) { return j.schedule.hour; }, 0},
      {[](BackupJob& j) { j.schedule.hour = 24; }, [](const BackupJob& j) { return j.schedule.hour; }, 23},
      {[](BackupJob& j) { j.schedule.minute = 60; }, [](const BackupJob& j) { return j.schedule.minute; }, 59},
      {[](BackupJob& j) { j.schedule.weekdays = 0; }, [](const BackupJob& j) { return j.schedule.weekdays; }, 127},
      {[](BackupJob& j) { j.schedule.weekdays = 255; }, [](const BackupJob& j) { return j.schedule.weekdays; }, 127},
      {[](BackupJob& j) { j.schedule.weekdays = 128 + 5; }, [](const BackupJob& j) { return j.schedule.weekdays; }, 5},
      {[](BackupJob& j) { j.retention.keepDaily = -3; }, [](const BackupJob& j) { return j.retention.keepDaily; }, 0},
      {[](BackupJob& j) { j.retention.keepLast = 200000; }, [](const BackupJob& j) { return j.retention.keepLast; },
       100000},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    BackupJob job = ValidJob();
    cases[i].change(job);
    ASSERT_EQ(job.validate(), "") << i;
    EXPECT_EQ(cases[i].read(job), cases[i].expected) << i;
  }
  for (const char* mode : {"weekly", "", "Hourly"}) {
    BackupJob job = ValidJob();
    job.schedule.mode = mode;
    ASSERT_EQ(job.validate(), "");
    EXPECT_EQ(job.schedule.mode, "manual") << mode;
  }
}

}  // namespace
}  // namespace tarn::backup
