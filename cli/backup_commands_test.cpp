// The console's backup commands against a real service with its backup
// manager: ServiceBody runs in this process on a machine of its own
// (TARN_ROOT), and the commands run the built executable.
#include "cli/backup_commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "backup/manager/backup_manager.h"
#include "cli/console_commands.h"
#include "cli/console_runner.h"
#include "cli/terminal.h"
#include "client/service_client.h"
#include "engine/backend_factory.h"
#include "foundation/file_util.h"
#include "foundation/share_link.h"
#include "service/service_body.h"
#include "testing/eventually.h"
#include "testing/fake_server_process.h"
#include "testing/gate.h"
#include "testing/memory_backend.h"
#include "testing/remote_tree.h"
#include "testing/s3/swift_endpoint.h"
#include "testing/temp_dir.h"

namespace tarn::app {
namespace {

using vx::json::Value;

class BackupCommandsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    machine_ = new test::TempDir("tarn-backup-cli", 0755);
    ::setenv("TARN_ROOT", machine_->path().c_str(), 1);
    exe_ = new std::string(CopyExecutable(TARN_EXE, machine_->path()));
    service_ = new ServiceThread();
    service_->start(MakeServiceBackups);
  }

  static void TearDownTestSuite() {
    delete service_;
    delete machine_;
    delete exe_;
  }

  // The service again, its backups reaching the server `held` for a
  // destination of host kHeldHost (and the usual servers for the others).
  static void RestartService(const std::shared_ptr<test::MemoryServer>& held = nullptr) {
    delete service_;
    service_ = new ServiceThread();
    if (!held) {
      service_->start(MakeServiceBackups);
      return;
    }
    service_->start([held](ServiceState& state) {
      std::unique_ptr<IBackupService> backups = MakeServiceBackups(state);
      static_cast<BackupManager*>(backups.get())->setBackendFactory([held](const EndpointConfig& ep) {
        return ep.host == kHeldHost ? std::unique_ptr<IBackend>(held->connection(ep)) : MakeBackend(ep);
      });
      return backups;
    });
  }
  static constexpr const char* kHeldHost = "held.invalid";

  static RunResult Backup(std::vector<std::string> args, bool asNobody = false,
                          const std::vector<std::pair<std::string, std::string>>& env = {}) {
    args.insert(args.begin(), "backup");
    return RunConsole(*exe_, args, machine_->path(), env, asNobody);
  }

  static test::TempDir* machine_;
  static std::string* exe_;
  static ServiceThread* service_;
};

test::TempDir* BackupCommandsTest::machine_ = nullptr;
std::string* BackupCommandsTest::exe_ = nullptr;
ServiceThread* BackupCommandsTest::service_ = nullptr;

TEST_F(BackupCommandsTest, JobsAreAddedChangedShownAndRemoved) {
  const std::vector<std::pair<std::string, std::string>> password = {{kBackupPasswordVariable, "repo secret"}};
  const std::string source = machine_->file("source");
  ASSERT_TRUE(vx::MakeDirs(source));
  const std::string aFile = machine_->file("a-file.txt");
  ASSERT_TRUE(vx::WriteFileAtomic(aFile, std::string("not a folder")));
  // A job file whose values a reader would silently replace.
  const std::string mistyped = machine_->file("mistyped.json");
  ASSERT_TRUE(vx::WriteFileAtomic(mistyped, R"({"id":"j2","sources":[")" + source +
                                                R"("],"enabled":"no","endpoint":{"host":"sftp://127.0.0.1:1/x"}})"));
  struct Case {
    std::vector<std::string> args;
    bool withPassword;
    bool asNobody;
    int exitCode;
    std::string output;
  };
  const std::string partial = machine_->file("partial.json");
  ASSERT_TRUE(vx::WriteFileAtomic(partial, std::string(R"({"id":"j1","retention":{"keepLast":3}})")));
  const Case cases[] = {
      {{}, false, false, kExitUsage, "usage: tarn backup"},
      {{"run", "--help"}, false, false, kExitOk, "usage: tarn backup run JOB"},
      {{"help"}, false, false, kExitOk, "4 done in part"},
      {{"frobnicate"}, false, false, kExitUsage, "unknown command: frobnicate"},
      {{"list"}, false, false, kExitOk, "no backup jobs"},
      {{"set", "--id", "j1", "--source", source, "--to", "sftp://127.0.0.1:1/srv/backups"}, false, false,
       kExitFailed, "the backup password is empty"},
      {{"set", "--id", "j1", "--source", aFile + ".missing", "--to", "sftp://127.0.0.1:1/srv/backups"}, true, false,
       kExitFailed, "sources must be folders or files that are there: " + aFile + ".missing is not there"},
      {{"set", mistyped}, true, false, kExitUsage, mistyped + ": enabled must be true or false"},
      {{"set"}, true, false, kExitUsage, "a new job needs --source and --to (or --drive)"},
      {{"set", "--id", "docs"}, true, false, kExitUsage, "a new job needs --source and --to (or --drive)"},
      {{"set", "--id", "j3", "--source", source, "--to", "sftp://bob@127.0.0.1:1/x"}, true, false, kExitFailed,
       "no password for bob: give it in TARN_PASSWORD or run the command on a terminal"},
      {{"set", "--id", "j1", "--source", source, "--to", "sftp://127.0.0.1:1/srv/backups"}, true, false, kExitOk,
       "added backup job j1"},
      {{"set", "--id", "j1", "--name", "Daily", "--schedule", "daily", "--at", "04:30", "--days", "mon,fri"}, false,
       false, kExitOk, "changed backup job j1"},
      // Scheduled without a snapshot: due at once.
      {{"set", "--id", "j1", "--schedule", "daily"}, false, false, kExitOk,
       "the job is due, so its backup starts now (\"tarn backup show j1\" shows how it goes)"},
      {{"set", "--id", "j1", "--at", "25:00"}, false, false, kExitUsage, "--at takes a time as HH:MM"},
      {{"set", "--id", "j1", "--schedule", "weekly"}, false, false, kExitUsage,
       "--schedule takes manual, hourly or daily"},
      {{"set", "--id", "j1", "--keep-last", "-1"}, false, false, kExitUsage, "--keep-last takes a count"},
      {{"set", "--id", "j1", "--to", "s3://"}, false, false, kExitUsage, "give the bucket after s3://"},
      {{"set", "--id", "j1", "--to", "sftp://127.0.0.1:1/x", "--region", "eu"}, false, false, kExitUsage,
       "--endpoint and --region go with --to s3://BUCKET/FOLDER"},
      {{"set", "--id", "j1", "--keep"}, false, false, kExitUsage, "unknown option: --keep"},
      // A malformed argument exits 2, as "tarn add" does; a name that is not there exits 1.
      {{"set", "--id", "j1", "--to", "bogus://h/x"}, false, false, kExitUsage, "unsupported link: bogus://"},
      {{"set", "--id", "j1", "--to", "sftp://u@h:99999/p"}, false, false, kExitUsage, "bad port in the link: 99999"},
      {{"set", "--id", "j1", "--to", "https://exa mple.com/x"}, false, false, kExitUsage,
       "bad server address in the link: exa mple.com"},
      {{"set", "--id", "j1", "--to", "backups"}, false, false, kExitUsage, "not a link: backups"},
      {{"set", "--id", "j1", "--to", "s3://bucket/folder"}, false, false, kExitUsage,
       "an S3 store needs --user with its access key"},
      {{"set", "--id", "j1", "--to", "s3://bucket/folder", "--user", "AK", "--endpoint", "notaurl"}, false, false,
       kExitUsage, "--endpoint takes the store's address as https://HOST[:PORT]: notaurl"},
      {{"set", "--id", "j1", "--drive", "ZZZZ", "--path", "/x"}, false, false, kExitFailed,
       "no drive has the id ZZZZ"},
      {{"set", aFile + ".missing.json"}, true, false, kExitFailed, "there is no job file " + aFile + ".missing.json"},
      {{"list"}, false, false, kExitOk, "sftp://127.0.0.1:1/srv/backups"},
      {{"show", "j1"}, false, false, kExitOk, "schedule:    daily at 04:30 on mon,fri\n"},
      // A job is named by its name as well.
      {{"show", "Daily"}, false, false, kExitOk, "id:          j1\n"},
      {{"log", "Daily", "5"}, false, false, kExitOk, ""},
      {{"log", "nosuch"}, false, false, kExitFailed, "no such backup job"},
      {{"restore", "Daily"}, false, false, kExitUsage, "give the job, the snapshot and optionally a path inside it"},
      // No two jobs share a name; a job is changed by its name as well.
      {{"set", "--name", "Daily", "--source", source, "--to", "sftp://127.0.0.1:1/srv/other"}, true, false,
       kExitFailed, "the backup job j1 is named Daily already; change that one with --id j1, or give this one another "
                    "--name"},
      {{"set", "--id", "Daily", "--schedule", "hourly", "--every", "1"}, false, false, kExitOk,
       "changed backup job j1"},
      {{"show", "j1"}, false, false, kExitOk, "schedule:    every 1 hour\n"},
      {{"set", "--id", "j1", "--schedule", "manual", "--disable"}, false, false, kExitOk, "changed backup job j1"},
      {{"show", "j1"}, false, false, kExitOk, "schedule:    by hand (disabled)\n"},
      {{"show", "j1"}, false, false, kExitOk, "keeps:       last 10, daily 7, weekly 4, monthly 12\n"},
      // A job file changes the job it names from the job as it is.
      {{"set", partial}, false, false, kExitOk, "changed backup job j1"},
      {{"show", "j1"}, false, false, kExitOk, "keeps:       last 3, daily 7, weekly 4, monthly 12\n"},
      {{"show", "j1"}, false, false, kExitOk, "sources:     " + source + "\n"},
      {{"set", "--id", "j1", "--keep-last", "0", "--keep-weekly", "0"}, false, false, kExitOk, "changed backup job j1"},
      {{"show", "j1"}, false, false, kExitOk, "keeps:       daily 7, monthly 12\n"},
      {{"set", "--id", "j1", "--keep-daily", "0", "--keep-monthly", "0"}, false, false, kExitOk, "changed"},
      {{"show", "j1"}, false, false, kExitOk, "keeps:       every snapshot (no rule lets one go)\n"},
      // A name that is another job's id would name that job.
      {{"set", "--name", "j1", "--source", source, "--to", "sftp://127.0.0.1:1/srv/third"}, true, false, kExitFailed,
       "the backup job j1 has the id j1; give this one another --name"},
      // A task that failed after the last backup is what the state shows.
      {{"check", "j1"}, false, false, kExitFailed, "check failed: connect 127.0.0.1:1: Connection refused\n"},
      {{"list"}, false, false, kExitOk, "check failed"},
      {{"list"}, false, true, kExitFailed, "managed by an administrator"},
      {{"run", "nope"}, false, false, kExitFailed, "tarn: no such backup job"},
      // A name that would turn the text after it around shows as escaped.
      {{"set", "--id", "j1", "--name", "Daily\u202eyliaD"}, false, false, kExitOk, "changed backup job j1"},
      {{"list"}, false, false, kExitOk, "  Daily\\xe2\\x80\\xaeyliaD  "},
      {{"show", "j1"}, false, false, kExitOk, "name:        Daily\\xe2\\x80\\xaeyliaD\n"},
      {{"remove", "j1"}, false, false, kExitOk, "removed backup job j1"},
      {{"list"}, false, false, kExitOk, "no backup jobs"},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    SCOPED_TRACE(line + (c.asNobody ? "as nobody" : ""));
    const RunResult r = Backup(c.args, c.asNobody, c.withPassword ? password : decltype(password){});
    EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
    EXPECT_NE(r.output.find(c.output), std::string::npos) << r.output;
  }
}

// A user's whole round with the console: a folder backed up to the SFTP
// test server twice, its versions listed and browsed, restored elsewhere,
// checked and pruned.
TEST_F(BackupCommandsTest, BackupToTheSftpServerAndBack) {
  using tarn::testing::RequiredEnv;
  EndpointConfig server;
  server.protocol = "sftp";
  server.host = RequiredEnv("SFTP_HOST");
  server.port = static_cast<uint32_t>(std::stoul(RequiredEnv("SFTP_PORT")));
  server.user = RequiredEnv("SFTP_USER");
  server.password = RequiredEnv("SFTP_PASSWORD");
  server.root = RequiredEnv("SFTP_ROOT");
  const std::string folder = "/console-backup-" + std::to_string(::getpid());
  const std::string link = "sftp://" + server.host + ":" + std::to_string(server.port) + server.root + folder;
  const std::vector<std::pair<std::string, std::string>> secrets = {{kBackupPasswordVariable, "repo secret"},
                                                                    {kPasswordVariable, server.password}};
  test::TempDir source("tarn-backup-source", 0755);
  ASSERT_TRUE(vx::WriteFileAtomic(source.file("notes.txt"), std::string("first notes")));
  ASSERT_TRUE(vx::MakeDirs(source.file("photos")));
  ASSERT_TRUE(vx::WriteFileAtomic(source.file("photos/p1.raw"), std::string(300000, 'p')));

  auto expect = [](const RunResult& r, int code, const std::string& fragment) {
    EXPECT_EQ(r.exitCode, code) << r.output;
    EXPECT_NE(r.output.find(fragment), std::string::npos) << r.output;
  };
  expect(Backup({"set", "--id", "e2e", "--source", source.path(), "--to", link, "--user", server.user,
                 "--keep-last", "1", "--keep-daily", "0", "--keep-weekly", "0", "--keep-monthly", "0"},
                false, secrets),
         kExitOk, "added backup job e2e");
  expect(Backup({"run", "e2e"}), kExitOk, "backup ok: 2 files, ");
  // A new password that does not open the repository is not saved.
  expect(Backup({"set", "--id", "e2e"}, false, {{kBackupPasswordVariable, "another secret"}}), kExitFailed,
         "does not open with this password");
  ASSERT_TRUE(vx::WriteFileAtomic(source.file("notes.txt"), std::string("second notes")));
  // A name that is no UTF-8 cannot be kept: the backup is done in part.
  ASSERT_TRUE(vx::WriteFileAtomic(source.file("bad\xff.txt"), std::string("lost")));
  RunResult partial = Backup({"run", "e2e"});
  expect(partial, kExitPartial, "backup warnings: 2 files, ");
  EXPECT_NE(partial.output.find("done in part: 1 file was left out: its name is not valid UTF-8"),
            std::string::npos)
      << partial.output;
  EXPECT_EQ(partial.output.find("could not be read"), std::string::npos) << partial.output;
  ASSERT_TRUE(std::filesystem::remove(source.file("bad\xff.txt")));
  expect(Backup({"run", "e2e"}), kExitOk, "backup ok: 2 files, ");
  expect(Backup({"snapshots", "e2e", "--refresh"}), kExitOk, "FILES");
  // Times read as the logs write them.
  const RunResult listed = Backup({"snapshots", "e2e"});
  EXPECT_TRUE(std::regex_search(listed.output, std::regex("\n[0-9a-f]{8}  20[0-9]{2}-[01][0-9]-[0-3][0-9] [0-2][0-9]:[0-5][0-9] ")))
      << listed.output;
  expect(Backup({"ls", "e2e", "latest"}), kExitOk, "(from " + source.path() + ")");
  // A source is also named by its own path.
  expect(Backup({"ls", "e2e", "latest", source.path() + "/photos"}), kExitOk, "p1.raw");

  test::TempDir target("tarn-backup-target", 0755);
  const std::string restored = target.file(std::filesystem::path(source.path()).filename().string());
  // A file where the restored folder belongs: nothing can be restored.
  ASSERT_TRUE(vx::WriteFileAtomic(restored, std::string("in the way")));
  expect(Backup({"restore", "e2e", "latest", "--target", target.path()}), kExitFailed,
         "restore failed: nothing could be restored");
  ASSERT_TRUE(std::filesystem::remove(restored));
  expect(Backup({"restore", "e2e", "latest", "--target", target.path()}), kExitOk, "restore ok: restored 2 files");
  std::string text;
  EXPECT_TRUE(vx::ReadWholeFile(restored + "/notes.txt", text));
  EXPECT_EQ(text, "second notes");
  EXPECT_TRUE(vx::ReadWholeFile(restored + "/photos/p1.raw", text));
  EXPECT_TRUE(text == std::string(300000, 'p')) << text.size();

  // The check is named once in its line.
  const RunResult checked = Backup({"check", "e2e", "--read-data"});
  expect(checked, kExitOk, "check ok: ");
  EXPECT_EQ(checked.output.find("check ok: check"), std::string::npos) << checked.output;
  expect(Backup({"prune", "e2e"}), kExitOk, "prune ok: cleanup: 0 old versions removed");
  expect(Backup({"log", "e2e", "3"}), kExitOk, "prune ok");

  // A version record that no longer opens: the check names it whole, and
  // it is forgotten by that name.
  std::unique_ptr<IBackend> backend = MakeBackend(server);
  ASSERT_TRUE(backend && backend->connect().ok());
  const std::string damaged(64, 'd');
  {
    const std::string garbage = "not a sealed record";
    std::unique_ptr<IWriteStream> stream;
    ASSERT_TRUE(backend->openWrite(folder + "/snapshots/" + damaged, 0, garbage.size(), stream).ok());
    ASSERT_TRUE(stream->write(reinterpret_cast<const uint8_t*>(garbage.data()), garbage.size()).ok());
    ASSERT_TRUE(stream->finish(nullptr).ok());
  }
  expect(Backup({"check", "e2e"}), kExitFailed, "snapshot record " + damaged + " cannot be opened");
  expect(Backup({"snapshots", "e2e", "--refresh"}), kExitOk,
         "snapshot record " + damaged + " cannot be opened; forget it by this id");
  expect(Backup({"forget", "e2e", damaged}), kExitOk, "forgot snapshot dddddddd");
  expect(Backup({"check", "e2e"}), kExitOk, "check ok: ");
  expect(Backup({"remove", "e2e"}), kExitOk, "removed backup job e2e");
  test::RemoveRemoteTree(*backend, folder);
}

// On a terminal "set" asks for the password of the user the link names and,
// for a new repository, for the repository's password twice; a job into a
// repository that is there asks for it once. A server that was not given a
// password is not said to have refused it.
TEST_F(BackupCommandsTest, SetAsksForTheServersPasswordAndANewRepositorysTwice) {
  using tarn::testing::RequiredEnv;
  const std::string user = RequiredEnv("SFTP_USER");
  const std::string password = RequiredEnv("SFTP_PASSWORD");
  const std::string folder = RequiredEnv("SFTP_ROOT") + "/console-asked-" + std::to_string(::getpid());
  const std::string link = "sftp://" + user + "@" + RequiredEnv("SFTP_HOST") + ":" + RequiredEnv("SFTP_PORT") + folder;
  test::TempDir source("tarn-backup-asked", 0755);
  ASSERT_TRUE(vx::WriteFileAtomic(source.file("a.txt"), std::string("asked for")));
  auto set = [&](const std::string& name, const std::string& first, const char* second) {
    TerminalSession session(*exe_, {"backup", "set", "--name", name, "--source", source.path(), "--to", link},
                            machine_->path());
    EXPECT_TRUE(session.waitFor("password for " + user + ": "));
    session.type(password + "\r");
    EXPECT_TRUE(session.waitFor("password of the backup repository: "));
    session.type(first + "\r");
    if (second != nullptr) {
      EXPECT_TRUE(session.waitFor("the repository is new; its password again: "));
      session.type(std::string(second) + "\r");
    }
    return session.finish();
  };
  RunResult r = set("asked", "repo secret", "repo secrte");
  EXPECT_EQ(r.exitCode, kExitFailed) << r.output;
  EXPECT_NE(r.output.find("the two passwords differ; nothing is saved"), std::string::npos) << r.output;
  EXPECT_EQ(Backup({"show", "asked"}).exitCode, kExitFailed);
  r = set("asked", "repo secret", "repo secret");
  EXPECT_EQ(r.exitCode, kExitOk) << r.output;
  EXPECT_NE(r.output.find("added backup job "), std::string::npos) << r.output;
  r = Backup({"run", "asked"});
  EXPECT_EQ(r.exitCode, kExitOk) << r.output;
  r = set("asked again", "repo secret", nullptr);
  EXPECT_EQ(r.exitCode, kExitOk) << r.output;
  EXPECT_EQ(r.output.find("again: "), std::string::npos) << r.output;
  // A password that does not open the repository there is refused at once.
  r = set("mistyped", "repo sercet", nullptr);
  EXPECT_EQ(r.exitCode, kExitFailed) << r.output;
  EXPECT_NE(r.output.find("does not open with this password"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("again: "), std::string::npos) << r.output;
  EXPECT_EQ(Backup({"show", "mistyped"}).exitCode, kExitFailed);

  // Sent without a password, as another client might.
  Value job = Value::object();
  job.set("name", "unasked");
  job.set("sources", backup::StringListToJson({source.path()}));
  job.set("password", "repo secret");
  Value endpoint = Value::object();
  endpoint.set("host", link);
  job.set("endpoint", endpoint);
  Value reply;
  std::string error;
  EXPECT_FALSE(RequestBackup("backupSet", "", [&job](Value& request) { request.set("job", job); }, reply, error));
  EXPECT_NE(error.find("no password for " + user + " at sftp://"), std::string::npos) << error;
  EXPECT_EQ(error.find("refused"), std::string::npos) << error;

  for (const char* name : {"asked", "asked again"}) EXPECT_EQ(Backup({"remove", name}).exitCode, kExitOk);
  EndpointConfig server;
  server.protocol = "sftp";
  server.host = RequiredEnv("SFTP_HOST");
  server.port = static_cast<uint32_t>(std::stoul(RequiredEnv("SFTP_PORT")));
  server.user = user;
  server.password = password;
  std::unique_ptr<IBackend> backend = MakeBackend(server);
  ASSERT_TRUE(backend && backend->connect().ok());
  test::RemoveRemoteTree(*backend, folder);
}

// A server whose certificate this computer does not trust takes the job
// only with --insecure, which backup set takes as add does, for https alone.
TEST_F(BackupCommandsTest, SetTakesAnUntrustedCertificateWithInsecure) {
  using tarn::testing::RequiredEnv;
  const std::string folder = "/console-tls-" + std::to_string(::getpid());
  const std::string link = RequiredEnv("TARN_DAV_TLS_URL") + folder;
  const std::vector<std::pair<std::string, std::string>> secrets = {
      {kBackupPasswordVariable, "repo secret"}, {kPasswordVariable, RequiredEnv("TARN_DAV_PASSWORD")}};
  test::TempDir source("tarn-backup-tls", 0755);
  ASSERT_TRUE(vx::WriteFileAtomic(source.file("a.txt"), std::string("over TLS")));
  // A service that does not know the test servers' authority; the
  // environment changes while no service thread reads it.
  struct Untrusting {
    const std::string ca = RequiredEnv("TARN_CA_FILE");
    Untrusting() { Restart(""); }
    ~Untrusting() { Restart(ca); }
    static void Restart(const std::string& caFile) {
      delete service_;
      service_ = nullptr;
      ::setenv("TARN_CA_FILE", caFile.c_str(), 1);
      RestartService();
    }
  } untrusting;
  auto set = [&](const std::string& to, bool insecure) {
    std::vector<std::string> args = {"set", "--id", "tls", "--source", source.path(), "--to", to,
                                     "--user", RequiredEnv("TARN_DAV_USER")};
    if (insecure) args.push_back("--insecure");
    return Backup(args, false, secrets);
  };
  RunResult r = set(RequiredEnv("TARN_DAV_URL") + folder, true);
  EXPECT_EQ(r.exitCode, kExitUsage) << r.output;
  EXPECT_NE(r.output.find("--insecure is for https:// destinations only"), std::string::npos) << r.output;
  r = set(link, false);
  EXPECT_EQ(r.exitCode, kExitOk) << r.output;
  EXPECT_NE(r.output.find("take it unchecked with --insecure"), std::string::npos) << r.output;
  r = set(link, true);
  EXPECT_EQ(r.exitCode, kExitOk) << r.output;
  EXPECT_EQ(r.output.find("note:"), std::string::npos) << r.output;
  // Shown as it was given: https, with the user.
  r = Backup({"show", "tls"});
  EXPECT_NE(r.output.find("destination: https://" + RequiredEnv("TARN_DAV_USER") + "@"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find(folder + "\n"), std::string::npos) << r.output;
  r = Backup({"run", "tls"});
  EXPECT_EQ(r.exitCode, kExitOk) << r.output;
  EXPECT_NE(r.output.find("backup ok: 1 file"), std::string::npos) << r.output;
  EXPECT_EQ(Backup({"remove", "tls"}).exitCode, kExitOk);

  EndpointConfig server;
  server.host = link;
  server.user = RequiredEnv("TARN_DAV_USER");
  server.password = RequiredEnv("TARN_DAV_PASSWORD");
  ASSERT_TRUE(ParseShareLink(server).empty());
  server.verifyTls = false;
  std::unique_ptr<IBackend> backend = MakeBackend(server);
  ASSERT_TRUE(backend && backend->connect().ok());
  test::RemoveRemoteTree(*backend, "/");
}

// A backup the console follows goes on when the user presses Ctrl+C, and
// the console says how to stop it; when the service stops, the console says
// that the backup ended with it.
TEST_F(BackupCommandsTest, FollowedBackupOutlivesCtrlCAndEndsWithTheService) {
  auto held = std::make_shared<test::MemoryServer>();
  held->makeDir("/repo");
  RestartService(held);
  test::TempDir source("tarn-backup-held", 0755);
  ASSERT_TRUE(vx::WriteFileAtomic(source.file("a.txt"), std::string("held")));
  RunResult r = Backup({"set", "--id", "held", "--source", source.path(), "--to",
                        std::string("sftp://") + kHeldHost + "/repo"},
                       false, {{kBackupPasswordVariable, "repo secret"}});
  ASSERT_EQ(r.exitCode, kExitOk) << r.output;
  auto running = [] {
    Value reply;
    std::string error;
    return RequestBackup("backupList", "", nullptr, reply, error) && reply["jobs"].size() == 1 &&
           reply["jobs"].at(0)["state"]["running"].asString() == "backup";
  };

  std::shared_ptr<test::Gate> connect = held->addGate(test::MemOp::kConnect);
  {
    TerminalSession session(*exe_, {"backup", "run", "held"}, machine_->path());
    ASSERT_TRUE(connect->waitArrived());
    ASSERT_TRUE(session.waitFor("backup held"));
    session.type("\x03");
    r = session.finish();
  }
  EXPECT_EQ(r.exitCode, kExitInterrupted) << r.output;
  EXPECT_NE(r.output.find("tarn: the backup of held goes on in the service; \"tarn backup stop held\" stops it"),
            std::string::npos)
      << r.output;
  EXPECT_TRUE(running());
  r = Backup({"stop", "held"});
  EXPECT_EQ(r.exitCode, kExitOk) << r.output;
  connect->release();
  ASSERT_TRUE(test::Eventually([&] { return !running(); }));

  connect = held->addGate(test::MemOp::kConnect);
  {
    TerminalSession session(*exe_, {"backup", "run", "held"}, machine_->path());
    ASSERT_TRUE(connect->waitArrived());
    ASSERT_TRUE(session.waitFor("backup held"));
    // The service stops its tasks after its socket: the console looks in
    // between, or after.
    std::thread stop([] { service_->stop(); });
    r = session.finish();
    connect->release();
    stop.join();
  }
  EXPECT_EQ(r.exitCode, kExitNoService) << r.output;
  EXPECT_NE(r.output.find("tarn: the service stopped while the backup of held ran, and the backup ended with it"),
            std::string::npos)
      << r.output;
  RestartService();
  EXPECT_EQ(Backup({"remove", "held"}).exitCode, kExitOk);
}

// An S3 store as the console sets it up: a bucket and a folder in the link,
// the store's address and region apart, the secret key as a password.
TEST_F(BackupCommandsTest, BackupToAnS3Store) {
  using tarn::testing::RequiredEnv;
  const std::string folder = "console-s3-" + std::to_string(::getpid());
  test::TempDir source("tarn-backup-s3", 0755);
  ASSERT_TRUE(vx::WriteFileAtomic(source.file("a.txt"), std::string("to the store")));
  const std::vector<std::pair<std::string, std::string>> secrets = {
      {kBackupPasswordVariable, "repo secret"}, {kPasswordVariable, RequiredEnv("TARN_S3_SECRET_KEY")}};
  RunResult r = Backup({"set", "--id", "s3job", "--source", source.path(), "--to",
                        "s3://" + RequiredEnv("TARN_S3_BUCKET") + "/" + folder, "--endpoint", RequiredEnv("TARN_S3_URL"),
                        "--region", RequiredEnv("TARN_S3_REGION"), "--user", RequiredEnv("TARN_S3_ACCESS_KEY")},
                       false, secrets);
  ASSERT_EQ(r.exitCode, kExitOk) << r.output;
  r = Backup({"show", "s3job"});
  EXPECT_NE(r.output.find("destination: s3://"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("/" + RequiredEnv("TARN_S3_BUCKET") + "/" + folder), std::string::npos) << r.output;
  r = Backup({"run", "s3job"});
  EXPECT_EQ(r.exitCode, kExitOk) << r.output;
  EXPECT_NE(r.output.find("backup ok: 1 file,"), std::string::npos) << r.output;
  EXPECT_EQ(Backup({"remove", "s3job"}).exitCode, kExitOk);

  EndpointConfig store = tarn::testing::SwiftS3Endpoint(folder);
  std::unique_ptr<IBackend> backend = MakeBackend(store);
  ASSERT_TRUE(backend && backend->connect().ok());
  test::RemoveRemoteTree(*backend, "/");
}

}  // namespace
}  // namespace tarn::app
