// The backup page with jobs in several states, the job editor, the restore
// dialog with its question and a job's log, drawn in every language into
// ui-shots/ of the build folder (CTest runs it at scale 1 and 2), each
// checked for texts that do not fit their widgets. No service answers here: the windows are given replies
// as the service would give them, once their own requests have failed.
#include <stdlib.h>

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QFileInfo>
#include <QTreeWidget>

#include <memory>
#include <string>

#include "testing/temp_dir.h"
#include "ui/backup_page.h"
#include "ui/dialogs.h"
#include "ui/job_editor.h"
#include "ui/restore_dialog.h"
#include "ui/settings_window.h"
#include "ui/string_ids.h"
#include "ui/text_report.h"
#include "ui/ui_test_harness.h"
#include "ui/ui_test_text_fit.h"

namespace tarn::app {
namespace {

using vx::json::Value;

Value Parse(const std::string& text) {
  Value v;
  EXPECT_TRUE(vx::json::Parse(text, v)) << text;
  return v;
}

// A job copying now, one done with its next run, one that failed, one
// never run, one waiting for its turn and one whose file was restored.
Value ShotJobs() {
  return Parse(R"({"ok":true,"now":1760000000,"jobs":[
    {"id":"a1","name":"Documents","sources":["/home/ann/Documents","/home/ann/Notes"],
     "destination":"sftp://nas.local:2222/backups/ann","schedule":{"mode":"daily","hour":2,"minute":30},
     "state":{"running":"backup","phase":"backup","bytes":734003200,"bytesUp":52428800,"lastOk":1759913400,
              "lastSnapshot":{"bytes":1288490188}}},
    {"id":"b2","name":"Photos","sources":["/home/ann/Pictures"],"destination":"https://cloud.example.com/remote.php/dav/files/ann/Backup",
     "schedule":{"mode":"hourly","everyHours":6},
     "state":{"running":"","lastOk":1759990000,"lastResult":"ok","lastSnapshot":{"bytes":53687091200},
              "nextRun":1760011600,"lastNote":"check passed: 412 packs, 50.0 GiB","lastTask":"check",
              "lastTaskResult":"ok","lastTaskCounts":{"packs":412,"bytes":53687091200,"problems":0}}},
    {"id":"c3","name":"Server config","sources":["/etc"],"destination":"s3://s3.example.com/tarn-backups/etc",
     "schedule":{"mode":"manual"},
     "state":{"running":"","lastOk":1759000000,"lastResult":"failed","lastError":"network: the server could not be reached",
              "lastSnapshot":{"bytes":10485760}}},
    {"id":"d4","name":"Projects","sources":["/srv/projects"],"destination":"nfs://filer/export/backups",
     "schedule":{"mode":"daily","hour":3,"minute":0},"state":{"running":"","lastOk":0,"lastResult":"","nextRun":1760065200}},
    {"id":"f6","name":"Letters","sources":["/home/ann/Letters"],"destination":"sftp://nas.local:2222/backups/letters",
     "schedule":{"mode":"daily","hour":3,"minute":0},"state":{"running":"","lastOk":1759990000,"lastResult":"ok",
     "lastSnapshot":{"bytes":402022236},"nextRun":1760065200,"lastTask":"restore","lastTaskResult":"ok",
     "lastNote":"restored 1 file, 28 B","lastTaskCounts":{"files":1,"bytes":28}}},
    {"id":"e5","name":"Music","sources":["/home/ann/Music"],"destination":"sftp://nas.local:2222/backups/music",
     "schedule":{"mode":"manual"},"state":{"running":"restore","phase":"waiting","lastOk":1758000000,"lastResult":"warnings",
     "lastError":"3 files could not be read"}}]})");
}

ServiceStatus ShotStatus() {
  ServiceStatus s;
  s.ok = true;
  MountStatus d;
  d.id = "d";
  d.drive = u'D';
  d.name = u"Documents";
  d.protocol = "webdav";
  d.host = "https://cloud.example.com/remote.php/dav/files/ann";
  MountStatus n = d;
  n.id = "n";
  n.drive = u'N';
  n.name = u"NAS";
  n.protocol = "sftp";
  n.host = "nas.local";
  s.mounts = {d, n};
  return s;
}

// Every text of the widget fits it at the size it is shown at, and its
// picture is written.
void Take(QWidget& widget, const QString& name, const std::string& code) {
  test::SettleLayouts();
  const std::string cut = test::TextsThatDoNotFit(widget);
  EXPECT_TRUE(cut.empty()) << name.toStdString() << " in " << code << ":\n" << cut;
  const QString file = test::SaveScreenshot(widget, name, code);
  EXPECT_GT(QFileInfo(file).size(), 0) << name.toStdString();
}

TEST(BackupScreenshots, PageEditorAndRestoreDialog) {
  // A machine where nothing answers.
  tarn::test::TempDir machine("tarn-ui-shots", 0755);
  ::setenv("TARN_ROOT", machine.path().c_str(), 1);
  for (const std::string& code : test::ShotLanguages()) {
    SCOPED_TRACE(code);
    test::LanguageScope language(code);
    // The page as the settings window shows it, at the window's size.
    SettingsWindow window(nullptr);
    window.setStatus(ShotStatus());
    window.show();
    BackupPage& page = *window.backupPage;
    ShowTab(window, kPageBackup);
    ASSERT_TRUE(test::WaitForNext(&page, &BackupPage::listTaken));
    page.takeJobList({JobListOutcome::kListed, ShotJobs()});
    page.list()->setCurrentItem(page.list()->topLevelItem(0));
    Take(window, "backup-page", code);
    page.takeJobList({JobListOutcome::kRefusedByRights, Value::object()});
    Take(window, "backup-page-refused", code);
    page.takeJobList({JobListOutcome::kListed, ShotJobs()});

    Value job = ShotJobs()["jobs"].at(0);
    job.set("hasPassword", true);
    job.set("endpoint", Parse(R"({"protocol":"sftp","host":"nas.local","port":2222,"root":"/backups/ann",
        "user":"ann","hasPassword":false,"hasPrivateKey":true,"extra":""})"));
    job.set("excludes", Parse(R"(["*.tmp","node_modules",".cache"])"));
    job.set("retention", Parse(R"({"keepLast":10,"keepDaily":7,"keepWeekly":4,"keepMonthly":12})"));
    JobEditor* editor = EditJob(&page, job, false, ShotStatus());
    Take(*editor, "job-editor", code);
    delete editor;
    editor = EditJob(&page, Value::object(), true, ShotStatus());
    Take(*editor, "job-editor-new", code);
    delete editor;

    RestoreDialog* restore = OpenRestore(&page, "a1", QStringLiteral("Documents"));
    ASSERT_TRUE(test::WaitForNext(restore, &RestoreDialog::requestEnded));
    RestoreLoadResult versions;
    versions.generation = restore->context().generation;
    versions.ok = true;
    versions.kind = RestoreLoadKind::kVersions;
    versions.reply = Parse(R"({"ok":true,"snapshots":[
        {"id":"v1","time":1759308000,"files":1204,"bytes":1181116006},
        {"id":"v2","time":1759740000,"files":1219,"bytes":1202590842},
        {"id":"v3","time":1759913400,"files":1230,"bytes":1288490188}]})");
    restore->takeLoad(versions);
    // The folder load it starts fails too; the folder comes in its place.
    ASSERT_TRUE(test::WaitForNext(restore, &RestoreDialog::requestEnded));
    RestoreLoadResult folder;
    folder.generation = restore->context().generation;
    folder.ok = true;
    folder.path = "/Documents";
    folder.reply = Parse(R"({"ok":true,"entries":[
        {"name":"Invoices","dir":true,"size":0,"mtime":1759900000},
        {"name":"Letters","dir":true,"size":0,"mtime":1759800000},
        {"name":"budget 2025.ods","dir":false,"size":48213,"mtime":1759912000},
        {"name":"notes.txt","dir":false,"size":1532,"mtime":1759000000},
        {"name":"passport scan.pdf","dir":false,"size":2411724,"mtime":1751000000}]})");
    restore->takeLoad(folder);
    restore->entryList()->setCurrentItem(restore->entryList()->topLevelItem(2));
    Take(*restore, "restore-dialog", code);

    std::unique_ptr<QDialog> question = MakeChoiceDialog(
        restore, {Tr(kStrTarn), Tr(kStrWhereToQuestion), {Tr(kStrToWhereTheyWere), Tr(kStrToAnotherFolder)}, 1});
    question->show();
    Take(*question, "restore-question", code);
    question.reset();
    delete restore;

    QDialog* log = ShowTextReport(&page, FormatText(Tr(kStrLogTitle), {QStringLiteral("Documents")}),
                                  QStringLiteral("2025-10-09 02:30:00 backup started\n"
                                                 "2025-10-09 02:41:12 backup ok: 1230 files, 1.2 GiB; sent 84.1 MiB\n"
                                                 "2025-10-09 02:41:13 cleanup: 1 old version removed\n"));
    Take(*log, "job-log", code);
    delete log;
  }
}

}  // namespace
}  // namespace tarn::app
