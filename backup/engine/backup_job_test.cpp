#include "backup/engine/backup_job.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "backup/engine/folder_walk.h"

namespace tarn::backup {
namespace {

const char* const kIdMessage = "a job id is 1 to 64 lower-case letters and digits";

BackupJob ValidJob() {
  BackupJob job;
  job.id = "job1";
  job.name = "Documents";
  job.sources = {"/home/alice/Documents"};
  job.endpoint.protocol = "sftp";
  job.endpoint.host = "backup.example.com";
  job.endpoint.root = "/srv/backup";
  job.endpoint.password = "server-secret";
  job.password = "repo-secret";
  return job;
}

BackupJob Read(const char* json) {
  vx::json::Value v;
  EXPECT_TRUE(vx::json::Parse(json, v)) << json;
  return BackupJob::fromJson(v);
}

TEST(BackupJob, JsonRoundTripAndSecretFreeReplies) {
  BackupJob job = ValidJob();
  job.excludes = {"*.tmp"};
  job.schedule = Schedule{"daily", 12, 22, 45, 31};
  job.retention = Retention{3, 14, 8, 24};
  job.compress = false;
  job.speedLimitKbps = 512;
  job.enabled = false;

  vx::json::Value stored = job.toJson(true);
  vx::json::Value parsed;
  ASSERT_TRUE(vx::json::Parse(stored.dump(), parsed));
  EXPECT_EQ(BackupJob::fromJson(parsed).toJson(true).dump(), stored.dump());
  EXPECT_EQ(stored.keys, (std::vector<std::string>{"id", "name", "sources", "excludes", "destMount", "destPath",
                                                   "endpoint", "password", "schedule", "retention", "compress",
                                                   "speedLimitKbps", "enabled"}));
  EXPECT_EQ(stored["schedule"].keys, (std::vector<std::string>{"mode", "everyHours", "hour", "minute", "weekdays"}));

  vx::json::Value reply = job.toJson(false);
  EXPECT_EQ(reply.keys[7], "hasPassword");
  EXPECT_TRUE(reply["hasPassword"].asBool());
  EXPECT_EQ(reply.dump().find("secret"), std::string::npos);
}

TEST(BackupJob, ReadingKeepsDefaultsForWhatIsMissing) {
  BackupJob empty = Read("{}");
  EXPECT_EQ(empty.excludes, DefaultExcludes());
  BackupJob defaults;
  defaults.excludes = DefaultExcludes();
  defaults.endpoint = empty.endpoint;  // the endpoint reader's own defaults
  EXPECT_EQ(empty.toJson(true).dump(), defaults.toJson(true).dump());

  EXPECT_TRUE(Read(R"({"excludes": []})").excludes.empty());
  EXPECT_EQ(Read(R"({"sources": ["  /a  ", "", "   ", "/b"]})").sources, (std::vector<std::string>{"/a", "/b"}));
  EXPECT_EQ(Read(R"({"retention": 5})").retention.keepLast, 10);
  BackupJob partial = Read(R"({"retention": {"keepLast": 2}, "schedule": {"hour": 1e300, "minute": 30}})");
  EXPECT_EQ(partial.retention.keepLast, 2);
  EXPECT_EQ(partial.retention.keepDaily, 7);
  EXPECT_EQ(partial.schedule.hour, 3);  // out of range for 32 bits
  EXPECT_EQ(partial.schedule.minute, 30);
}

// A job given no excludes (as the console makes one) skips what a Linux
// user would not back up, and nothing else, as the folder walk reads them.
TEST(BackupJob, AJobWithoutExcludesSkipsTheTrashCachesAndLostAndFound) {
  const std::vector<std::string> masks = Read(R"({"sources": ["/home/ann"]})").excludes;
  const struct {
    const char* path;
    bool skipped;
  } cases[] = {
      {"/home/ann/.cache", true},
      {"/home/ann/.local/share/Trash", true},
      {"/media/usb/.Trash-1000", true},
      {"/lost+found", true},
      {"/home/ann/Documents", false},
      {"/home/ann/.local/share/keyrings", false},
      {"/home/ann/Trash talk.txt", false},
      {"/media/usb/pagefile.sys", false},
      {"/media/usb/System Volume Information", false},
  };
  for (const auto& c : cases) {
    const std::string path = c.path;
    EXPECT_EQ(IsExcluded(masks, path.substr(path.rfind('/') + 1), path), c.skipped) << c.path;
  }
}

TEST(BackupJob, ValidationMessages) {
  struct Case {
    const char* what;
    std::function<void(BackupJob&)> change;
    std::string message;
  } cases[] = {
      {"valid", [](BackupJob&) {}, ""},
      {"id with a capital", [](BackupJob& j) { j.id = "Job1"; }, kIdMessage},
      {"id climbing out", [](BackupJob& j) { j.id = "../x"; }, kIdMessage},
      {"id of 65", [](BackupJob& j) { j.id = std::string(65, 'a'); }, kIdMessage},
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

TEST(BackupJob, ValidationCompletesAndBoundsTheJob) {
  BackupJob job = ValidJob();
  job.id.clear();
  job.name = "   ";
  job.sources = {" /data/photos/ "};
  job.schedule = Schedule{"weekly", 500, -1, 60, 128 + 5};
  job.retention = Retention{200000, -3, 4, 12};
  ASSERT_EQ(job.validate(), "");
  EXPECT_TRUE(IsValidJobId(job.id));
  EXPECT_EQ(job.id.size(), 16u);
  EXPECT_EQ(job.sources, (std::vector<std::string>{"/data/photos/"}));
  EXPECT_EQ(job.name, "photos");
  EXPECT_EQ(job.schedule.mode, "manual");
  EXPECT_EQ(job.schedule.everyHours, 168);
  EXPECT_EQ(job.schedule.hour, 0);
  EXPECT_EQ(job.schedule.minute, 59);
  EXPECT_EQ(job.schedule.weekdays, 5);
  EXPECT_EQ(job.retention.keepLast, 100000);
  EXPECT_EQ(job.retention.keepDaily, 0);

  BackupJob other = ValidJob();
  other.name.clear();
  other.sources = {"/"};
  other.schedule = Schedule{"hourly", 0, 24, 0, 0};
  ASSERT_EQ(other.validate(), "");
  EXPECT_EQ(other.name, "root");
  EXPECT_EQ(other.schedule.everyHours, 1);
  EXPECT_EQ(other.schedule.hour, 23);
  EXPECT_EQ(other.schedule.weekdays, 127);

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
  dav.endpoint.root = "remote.php/dav/files/bob/backup";
  ASSERT_EQ(dav.validate(), "");
  EXPECT_EQ(dav.endpoint.user, "bob");
}

TEST(BackupJob, MembersOfTheWrongTypeAreRefusedByNameWithWhatTheyAllow) {
  const std::string tooLong(200000, 'n');
  const std::string nameOf256 = std::string(255, 'a') + "\xC3\xA9";  // 256 characters, 257 bytes
  struct Case {
    std::string members;
    std::string error;
  } cases[] = {
      {R"("enabled":"no")", "enabled must be true or false"},
      {R"("compress":"yes")", "compress must be true or false"},
      {R"("schedule":{"hour":"3"})", "schedule hour must be a whole number from 0 to 23"},
      {R"("retention":{"keepDaily":"7"})", "retention keepDaily must be a whole number from 0 to 100000"},
      {R"("retention":{"keepLast":1e300})", "retention keepLast must be a whole number from 0 to 100000"},
      {R"("schedule":{"everyHours":1e12})", "schedule everyHours must be a whole number from 1 to 168"},
      {R"("speedLimitKbps":1.5)",
       "speedLimitKbps must be a whole number from 0 to 2147483647 (KiB per second, 0 for none)"},
      {R"("excludes":{"a":"*.tmp"})", "excludes must be a list of texts"},
      {R"("sources":["/a",7])", "sources must be a list of texts"},
      {R"("sources":"/a")", "sources must be a list of texts"},
      {R"("name":{"n":"x"})", "name must be a text"},
      {R"("endpoint":{"port":70000})", "endpoint port must be a whole number from 0 to 65535 (0 for the protocol's own)"},
      {R"("endpoint":{"port":-1})", "endpoint port must be a whole number from 0 to 65535 (0 for the protocol's own)"},
      {R"("endpoint":{"host":"a\nb"})", "endpoint host must be one line of text, without control characters"},
      {R"("endpoint":{"host":"a\u0007"})", "endpoint host must be one line of text, without control characters"},
      {R"("endpoint":{"tls":1})", "endpoint tls must be true or false"},
      {R"("endpoint":"sftp://host/x")", "endpoint must be an object"},
      {R"("name":"two\nlines")", "name must be one line of text, without control characters"},
      {R"("name":")" + tooLong + "\"", "name must be at most 256 characters"},
      {R"("sources":["/a\tb"])", "sources must be one line of text, without control characters"},
      {R"("password":5)", "password must be a text"},
      {R"("schedule":[])", "schedule must be an object"},
      // What a job may hold as it is; out-of-range schedule and retention
      // values are checkValues's to name, with the value given.
      {R"("name":")" + nameOf256 + "\"", ""},
      {R"("schedule":{"mode":"daily","hour":25.0,"weekdays":127},"retention":{"keepLast":1e3})", ""},
      {R"("enabled":false,"compress":true,"speedLimitKbps":0,"excludes":[],"endpoint":{"port":65535,"tls":false})",
       ""},
      {R"("endpoint":{"password":"line\nbreaks are a secret's own"},"password":"\u0007")", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.members.substr(0, 80));
    const std::string text = "{" + c.members + "}";
    vx::json::Value v;
    ASSERT_TRUE(vx::json::Parse(text, v));
    EXPECT_EQ(CheckJobJson(v), c.error);
  }
  EXPECT_EQ(CheckJobJson(vx::json::Value("job")), "the job must be an object");
}

}  // namespace
}  // namespace tarn::backup
