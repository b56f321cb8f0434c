// The backup page, the job editor and the restore dialog against a real
// service: ServiceBody runs on a thread of this process on a machine of its
// own, backups go to the SFTP test server, and the windows are driven as a
// user drives them, drawing offscreen. The service's backups may hold one
// kind of request at a gate, so that a test can close a window while its
// request runs.
#include "ui/backup_page.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/backend_factory.h"
#include "foundation/file_util.h"
#include "service/service_body.h"
#include "testing/fake_server_process.h"
#include "testing/gate.h"
#include "testing/remote_tree.h"
#include "testing/temp_dir.h"
#include "ui/backup_page_model.h"
#include "ui/job_editor.h"
#include "ui/restore_dialog.h"
#include "ui/string_ids.h"
#include "ui/ui_test_harness.h"

namespace tarn::app {
namespace {

using tarn::testing::RequiredEnv;
using vx::json::Value;

// The one request kind the service holds, the gate it waits at, and every
// request the service was sent.
struct Hold {
  std::mutex mu;
  std::string op;
  std::shared_ptr<tarn::test::Gate> gate;
  std::vector<Value> requests;
};
Hold& TheHold() {
  static Hold hold;
  return hold;
}

// The service's backups, with requests of the held kind stopped at the gate
// until the test releases them.
class HeldBackups : public IBackupService {
 public:
  explicit HeldBackups(std::unique_ptr<IBackupService> inner) : inner_(std::move(inner)) {}
  bool loadJobs(std::string* error) override { return inner_->loadJobs(error); }
  void startScheduler() override { inner_->startScheduler(); }
  void stopAll() override { inner_->stopAll(); }
  bool anyRunning() override { return inner_->anyRunning(); }
  Value handle(const Value& request, const IpcCaller* caller) override {
    std::shared_ptr<tarn::test::Gate> gate;
    {
      std::lock_guard<std::mutex> lock(TheHold().mu);
      if (request["op"].asString() == TheHold().op) gate = TheHold().gate;
      TheHold().requests.push_back(request);
    }
    if (gate) gate->arriveAndWait();
    return inner_->handle(request, caller);
  }

 private:
  std::unique_ptr<IBackupService> inner_;
};

std::unique_ptr<IBackupService> MakeHeldBackups(ServiceState& state) {
  std::unique_ptr<IBackupService> inner = MakeServiceBackups(state);
  return inner ? std::make_unique<HeldBackups>(std::move(inner)) : nullptr;
}

// Holds requests of one kind for the life of the object.
class HoldRequests {
 public:
  explicit HoldRequests(const std::string& op) : gate_(std::make_shared<tarn::test::Gate>()) {
    std::lock_guard<std::mutex> lock(TheHold().mu);
    TheHold().op = op;
    TheHold().gate = gate_;
  }
  ~HoldRequests() {
    {
      std::lock_guard<std::mutex> lock(TheHold().mu);
      TheHold().op.clear();
      TheHold().gate.reset();
    }
    gate_->release();
  }
  tarn::test::Gate& gate() { return *gate_; }

 private:
  std::shared_ptr<tarn::test::Gate> gate_;
};

Value Request(const std::string& op, const std::string& id, const std::function<void(Value&)>& fill = nullptr) {
  Value reply;
  std::string error;
  EXPECT_TRUE(RequestBackup(op, id, fill, reply, error)) << op << ": " << error;
  return reply;
}

// The last request of that op the service was sent.
Value LastRequest(const std::string& op) {
  std::lock_guard<std::mutex> lock(TheHold().mu);
  for (auto r = TheHold().requests.rbegin(); r != TheHold().requests.rend(); ++r) {
    if ((*r)["op"].asString() == op) return *r;
  }
  return Value();
}

size_t RequestCount(const std::string& op) {
  std::lock_guard<std::mutex> lock(TheHold().mu);
  return static_cast<size_t>(std::count_if(TheHold().requests.begin(), TheHold().requests.end(),
                                           [&op](const Value& r) { return r["op"].asString() == op; }));
}

template <typename T>
T* Child(QObject& parent, const char* name) {
  T* child = parent.findChild<T*>(QLatin1String(name));
  EXPECT_NE(child, nullptr) << name;
  return child;
}

// The dialog of that kind that is open over `owner`.
template <typename T>
T* OpenDialog(QWidget& owner) {
  for (T* dialog : owner.findChildren<T*>()) {
    if (dialog->isVisible()) return dialog;
  }
  return nullptr;
}

QString Cell(BackupPage& page, int row, int column) {
  QTreeWidgetItem* item = page.list()->topLevelItem(row);
  return item != nullptr ? item->text(column) : QString();
}

const Value& FirstState(BackupPage& page) { return page.jobs().at(0)["state"]; }

// A folder of the SFTP test server, removed with what a test left in it.
class SftpFolder {
 public:
  SftpFolder() : path_(RequiredEnv("SFTP_ROOT") + "/ui-backup-" + std::to_string(::getpid())) {}
  ~SftpFolder() {
    EndpointConfig server;
    server.protocol = "sftp";
    server.host = RequiredEnv("SFTP_HOST");
    server.port = static_cast<uint32_t>(std::stoul(RequiredEnv("SFTP_PORT")));
    server.user = RequiredEnv("SFTP_USER");
    server.password = RequiredEnv("SFTP_PASSWORD");
    std::unique_ptr<IBackend> backend = MakeBackend(server);
    if (backend && backend->connect().ok()) tarn::test::RemoveRemoteTree(*backend, path_);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

class BackupPageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { machine_ = new test::ServiceMachine(MakeHeldBackups); }
  static void TearDownTestSuite() {
    delete machine_;
    machine_ = nullptr;
  }

  void SetUp() override { SetLanguageSetting(kEnglish); }

  void TearDown() override {
    SetLanguageSetting(kAutomaticLanguage);
    ApplyLayout();
    // Every test leaves the service without jobs, as it found it.
    const Value list = Request("backupList", "");
    for (size_t i = 0; i < list["jobs"].size(); ++i) Request("backupRemove", list["jobs"].at(i)["id"].asString());
  }

  static bool WaitForList(BackupPage& page, const std::function<bool()>& done) {
    return test::WaitFor(&page, &BackupPage::listTaken, done);
  }

  static void Select(BackupPage& page, int row) { page.list()->setCurrentItem(page.list()->topLevelItem(row)); }

  static test::ServiceMachine* machine_;
};

test::ServiceMachine* BackupPageTest::machine_ = nullptr;

// A job whose server is out of reach: enough for what does not copy.
std::string AddUnreachableJob(const std::string& name) {
  const Value reply = Request("backupSet", "", [&name](Value& request) {
    Value job;
    vx::json::Parse(R"({"sources":["/srv"],"password":"p","schedule":{"mode":"manual"},
        "endpoint":{"protocol":"sftp","host":"127.0.0.1","port":1,"root":"/backups","password":"x"}})",
                    job);
    job.set("name", name);
    request.set("job", job);
  });
  return reply["id"].asString();
}

TEST_F(BackupPageTest, RowsAreKeptInPlaceAndCommandsFollowTheSelection) {
  BackupPage page;
  Value reply;
  ASSERT_TRUE(vx::json::Parse(R"({"ok":true,"now":1700000000,"jobs":[
      {"id":"a","name":"A","sources":["/a"],"state":{"running":"","lastOk":1699990000,"lastResult":"ok"}},
      {"id":"b","name":"B","sources":["/b"],"state":{"running":"backup","phase":"waiting"}},
      {"id":"c","name":"C","sources":["/c"],"state":{"running":"","lastOk":0}}]})",
                              reply));
  page.takeJobList({JobListOutcome::kListed, reply});
  ASSERT_EQ(page.list()->topLevelItemCount(), 3);
  EXPECT_EQ(Cell(page, 1, 5), QStringLiteral("Waiting for its turn"));

  Select(page, 1);
  EXPECT_EQ(page.button(kCommandRun)->text(), QStringLiteral("Stop"));
  Q_EMIT page.list()->itemDoubleClicked(page.list()->topLevelItem(1), 0);
  EXPECT_EQ(page.findChild<JobEditor*>(), nullptr) << "a running job is not edited";
  EXPECT_FALSE(page.button(kCommandEdit)->isEnabled());
  EXPECT_FALSE(page.button(kCommandRestore)->isEnabled());
  EXPECT_TRUE(page.button(kCommandRemove)->isEnabled());
  EXPECT_TRUE(page.button(kCommandLog)->isEnabled());

  // The next reply changes rows where they are: the selection stays on its
  // row, and the job there is now idle.
  QTreeWidgetItem* second = page.list()->topLevelItem(1);
  ASSERT_TRUE(vx::json::Parse(R"({"ok":true,"now":1700000002,"jobs":[
      {"id":"a","name":"A","sources":["/a"],"state":{"running":""}},
      {"id":"b","name":"B","sources":["/b"],"state":{"running":"","lastOk":1700000001,"lastResult":"ok"}}]})",
                              reply));
  page.takeJobList({JobListOutcome::kListed, reply});
  EXPECT_EQ(page.list()->topLevelItemCount(), 2);
  EXPECT_EQ(page.list()->topLevelItem(1), second);
  ASSERT_NE(page.selectedJob(), nullptr);
  EXPECT_EQ((*page.selectedJob())["id"].asString(), "b");
  EXPECT_EQ(page.button(kCommandRun)->text(), QStringLiteral("Back up now"));
  EXPECT_TRUE(page.button(kCommandVerify)->isEnabled());

  // A failed fetch (the service went away) leaves no job of the past on
  // show, nor a command; a list without jobs empties the page too, and with
  // nothing selected only Add is left.
  page.takeJobList({JobListOutcome::kFailed, Value::object()});
  EXPECT_EQ(page.list()->topLevelItemCount(), 0);
  EXPECT_EQ(page.selectedJob(), nullptr);
  for (int c = kCommandAdd; c < kPageCommandCount; ++c) EXPECT_FALSE(page.button(c)->isEnabled()) << c;
  page.takeJobList({JobListOutcome::kListed, reply});
  ASSERT_EQ(page.list()->topLevelItemCount(), 2);
  ASSERT_TRUE(vx::json::Parse(R"({"ok":true,"now":1700000004,"jobs":[]})", reply));
  page.takeJobList({JobListOutcome::kListed, reply});
  EXPECT_EQ(page.list()->topLevelItemCount(), 0);
  EXPECT_EQ(page.selectedJob(), nullptr);
  EXPECT_TRUE(page.button(kCommandAdd)->isEnabled());
  for (int c = kCommandEdit; c < kPageCommandCount; ++c) EXPECT_FALSE(page.button(c)->isEnabled()) << c;
  // A hidden page fetches nothing.
  page.refreshPageAsync();
  EXPECT_TRUE(WaitForWorkers(std::chrono::milliseconds(0)));
}

// A user's whole round: a backup added in the editor and checked there,
// backed up, verified, its log read, a file of it restored elsewhere, an
// older version deleted and the backup removed.
TEST_F(BackupPageTest, FromAddingABackupToRestoringAFileAndDeletingAVersion) {
  const SftpFolder remote;
  const std::string& folder = remote.path();
  tarn::test::TempDir source("tarn-ui-source", 0755);
  const std::string sourceName = std::filesystem::path(source.path()).filename().string();
  ASSERT_TRUE(vx::WriteFileAtomic(source.file("notes.txt"), std::string("first notes")));
  ASSERT_TRUE(vx::MakeDirs(source.file("photos")));
  ASSERT_TRUE(vx::WriteFileAtomic(source.file("photos/p1.raw"), std::string(200000, 'p')));
  tarn::test::TempDir target("tarn-ui-target", 0755);
  test::AnsweredDialogs dialogs;

  BackupPage page;
  page.resize(900, 500);
  page.show();
  ASSERT_TRUE(test::WaitForNext(&page, &BackupPage::listTaken));
  EXPECT_EQ(page.list()->topLevelItemCount(), 0);
  EXPECT_EQ(page.note()->text(), Tr(kStrBackupNote));

  // The editor: a new backup to the SFTP server, typed in as a user does.
  page.button(kCommandAdd)->click();
  QPointer<JobEditor> editor = OpenDialog<JobEditor>(page);
  ASSERT_TRUE(editor);
  EXPECT_EQ(editor->windowTitle(), QStringLiteral("New backup"));
  Child<QLineEdit>(*editor, "name")->setText(QStringLiteral("UI round"));
  dialogs.picks.push_back(QString::fromStdString(source.path()));
  Child<QPushButton>(*editor, "addFolder")->click();
  EXPECT_EQ(Child<QListWidget>(*editor, "sources")->count(), 1);
  Child<QComboBox>(*editor, "protocol")->setCurrentIndex(kProtocolSftp);
  EXPECT_TRUE(Child<QLineEdit>(*editor, "keyFile")->isEnabled());
  Child<QLineEdit>(*editor, "address")
      ->setText(QString::fromStdString(RequiredEnv("SFTP_HOST") + ":" + RequiredEnv("SFTP_PORT")));
  Child<QLineEdit>(*editor, "folder")->setText(QString::fromStdString(folder));
  Child<QLineEdit>(*editor, "user")->setText(QString::fromStdString(RequiredEnv("SFTP_USER")));
  QTest::keyClicks(Child<QLineEdit>(*editor, "serverPassword"), QString::fromStdString(RequiredEnv("SFTP_PASSWORD")));
  QTest::keyClicks(Child<QLineEdit>(*editor, "password"), QStringLiteral("repo secret"));
  QTest::keyClicks(Child<QLineEdit>(*editor, "passwordAgain"), QStringLiteral("repo secret"));
  Child<QComboBox>(*editor, "schedule")->setCurrentIndex(kScheduleByHand);

  Child<QPushButton>(*editor, "check")->click();
  EXPECT_EQ(Child<QLabel>(*editor, "status")->text(), Tr(kStrCheckingServer));
  EXPECT_FALSE(Child<QPushButton>(*editor, "ok")->isEnabled());
  ASSERT_TRUE(test::WaitFor(editor.data(), &JobEditor::requestEnded, [&] { return !editor->busy(); }));
  EXPECT_EQ(Child<QLabel>(*editor, "status")->text(), Tr(kStrNoCopyHere));

  Child<QPushButton>(*editor, "ok")->click();
  ASSERT_TRUE(test::WaitFor(editor.data(), &JobEditor::requestEnded, [&] { return !editor->busy(); }));
  EXPECT_EQ(editor->result(), QDialog::Accepted);
  ASSERT_TRUE(WaitForList(page, [&] { return page.jobs().size() == 1; }));
  EXPECT_EQ(Cell(page, 0, 0), QStringLiteral("UI round"));
  EXPECT_EQ(Cell(page, 0, 1), QString::fromStdString(source.path()));
  EXPECT_EQ(Cell(page, 0, 2).toStdString(),
            "sftp://" + RequiredEnv("SFTP_USER") + "@" + RequiredEnv("SFTP_HOST") + ":" + RequiredEnv("SFTP_PORT") +
                folder);
  EXPECT_EQ(Cell(page, 0, 4), Tr(kStrNoCopyYet));

  // Backed up now: the state goes through the task's phases to "Done".
  const QStringList running = {"Waiting for its turn", "Connecting…", "Copying: ", "Removing old versions…"};
  auto backUp = [&](QStringList& seen) {
    const std::string before = FirstState(page)["lastSnapshot"]["id"].asString();
    Select(page, 0);
    page.button(kCommandRun)->click();
    EXPECT_FALSE(page.button(kCommandAdd)->isEnabled()) << "one command at a time";
    EXPECT_TRUE(test::WaitForNext(&page, &BackupPage::commandEnded));
    return WaitForList(page, [&] {
      const QString state = Cell(page, 0, 5);
      if (seen.isEmpty() || seen.back() != state) seen << state;
      const std::string version = FirstState(page)["lastSnapshot"]["id"].asString();
      return !JobRunning(page.jobs().at(0)) && !version.empty() && version != before;
    });
  };
  QStringList seen;
  ASSERT_TRUE(backUp(seen)) << seen.join(" | ").toStdString() << page.jobs().dump();
  EXPECT_EQ(seen.back(), Tr(kStrResultDone)) << seen.join(" | ").toStdString();
  for (qsizetype i = 1; i + 1 < seen.size(); ++i) {
    const bool phase = std::any_of(running.begin(), running.end(), [&](const QString& p) { return seen[i].startsWith(p); });
    EXPECT_TRUE(phase) << seen[i].toStdString();
  }
  EXPECT_NE(Cell(page, 0, 4), Tr(kStrNoCopyYet));
  EXPECT_EQ(page.button(kCommandRun)->text(), Tr(kStrBackUpNow));

  // Verified, reading every pack.
  Select(page, 0);
  ASSERT_TRUE(page.button(kCommandVerify)->isEnabled());
  page.button(kCommandVerify)->click();
  ASSERT_TRUE(WaitForList(page, [&] {
    return !JobRunning(page.jobs().at(0)) && FirstState(page)["lastNote"].asString().rfind("check passed", 0) == 0;
  }));
  EXPECT_TRUE(Cell(page, 0, 5).startsWith(Tr(kStrResultDone) + QStringLiteral("  \u00B7  Check passed: ")))
      << Cell(page, 0, 5).toStdString();

  // Its log, in a report captioned with the job's name.
  QPointer<QDialog> report;
  QObject::connect(&page, &BackupPage::jobLogShown, &page, [&report](QDialog* shown) { report = shown; });
  Select(page, 0);
  page.button(kCommandLog)->click();
  ASSERT_TRUE(test::WaitFor(&page, &BackupPage::jobLogShown, [&] { return !report.isNull(); }));
  EXPECT_EQ(report->windowTitle(), QStringLiteral("UI round — Log"));
  EXPECT_TRUE(report->isVisible());
  const QString log = report->findChild<QPlainTextEdit*>()->toPlainText();
  EXPECT_TRUE(log.contains(QStringLiteral("check ok"))) << log.toStdString();
  report->close();

  // A second version, with a file changed since the first.
  ASSERT_TRUE(vx::WriteFileAtomic(source.file("notes.txt"), std::string("second notes")));
  seen.clear();
  ASSERT_TRUE(backUp(seen));

  // The restore dialog: the versions newest first, the version's root holds
  // the backed-up folder, and in it the file and the folder below.
  Select(page, 0);
  page.button(kCommandRestore)->click();
  QPointer<RestoreDialog> restore = OpenDialog<RestoreDialog>(page);
  ASSERT_TRUE(restore);
  EXPECT_EQ(restore->windowTitle(), QStringLiteral("Restore: UI round"));
  ASSERT_TRUE(test::WaitFor(restore.data(), &RestoreDialog::requestEnded, [&] { return !restore->context().busy; }));
  ASSERT_EQ(restore->versionList()->count(), 2) << restore->statusText().toStdString();
  const std::string newest = restore->selectedSnapshotId();
  QTreeWidget* entries = restore->entryList();
  ASSERT_EQ(entries->topLevelItemCount(), 1);
  EXPECT_EQ(entries->topLevelItem(0)->text(0).toStdString(), sourceName + "/");
  EXPECT_FALSE(Child<QPushButton>(*restore, "up")->isEnabled());
  // A double click, as a mouse makes it: press and release, then the
  // second press.
  const QPoint folderRow = entries->visualItemRect(entries->topLevelItem(0)).center();
  QTest::mouseClick(entries->viewport(), Qt::LeftButton, {}, folderRow);
  QTest::mouseDClick(entries->viewport(), Qt::LeftButton, {}, folderRow);
  ASSERT_TRUE(test::WaitFor(restore.data(), &RestoreDialog::requestEnded, [&] { return !restore->context().busy; }));
  EXPECT_EQ(restore->context().path, "/" + sourceName);
  QStringList names;
  for (int i = 0; i < entries->topLevelItemCount(); ++i) names << entries->topLevelItem(i)->text(0);
  names.sort();
  ASSERT_EQ(names, (QStringList{"notes.txt", "photos/"}));
  EXPECT_TRUE(Child<QPushButton>(*restore, "up")->isEnabled());

  // One file, to another folder; a question or a picker cancelled starts
  // nothing.
  for (int i = 0; i < entries->topLevelItemCount(); ++i) {
    if (entries->topLevelItem(i)->text(0) == QStringLiteral("notes.txt")) entries->setCurrentItem(entries->topLevelItem(i));
  }
  QPushButton* restoreSelected = Child<QPushButton>(*restore, "restoreSelected");
  ASSERT_TRUE(restoreSelected->isEnabled());
  dialogs.choices.push_back(-1);
  restoreSelected->click();
  dialogs.choices.push_back(1);
  restoreSelected->click();
  EXPECT_FALSE(restore->context().busy);
  EXPECT_EQ(RequestCount("backupRestore"), 0u);
  ASSERT_EQ(dialogs.questions.size(), 2u);
  EXPECT_EQ(dialogs.questions.back().text, Tr(kStrWhereToQuestion));
  EXPECT_EQ(dialogs.questions.back().choices, (QStringList{Tr(kStrToWhereTheyWere), Tr(kStrToAnotherFolder)}));
  EXPECT_EQ(dialogs.questions.back().defaultChoice, 1);
  dialogs.choices.push_back(1);
  dialogs.picks.push_back(QString::fromStdString(target.path()));
  restoreSelected->click();
  EXPECT_TRUE(restore->context().busy);
  ASSERT_TRUE(test::WaitFor(restore.data(), &RestoreDialog::requestEnded, [&] { return !restore->isVisible(); }));
  EXPECT_EQ(dialogs.asked.back().text, Tr(kStrRestoreStarted));
  const Value sent = LastRequest("backupRestore");
  EXPECT_EQ(sent["snapshot"].asString(), newest);
  EXPECT_EQ(sent["path"].asString(), "/" + sourceName + "/notes.txt");
  EXPECT_EQ(sent["target"].asString(), target.path());
  ASSERT_TRUE(WaitForList(page, [&] {
    return !JobRunning(page.jobs().at(0)) && FirstState(page)["lastNote"].asString().rfind("restored", 0) == 0;
  }));
  std::string restored;
  EXPECT_TRUE(vx::ReadWholeFile(target.file("notes.txt"), restored));
  EXPECT_EQ(restored, "second notes");

  // Everything, to where it was: the folder's changed file comes back.
  ASSERT_TRUE(vx::WriteFileAtomic(source.file("notes.txt"), std::string("changed since")));
  Select(page, 0);
  page.button(kCommandRestore)->click();
  restore = OpenDialog<RestoreDialog>(page);
  ASSERT_TRUE(restore);
  ASSERT_TRUE(test::WaitFor(restore.data(), &RestoreDialog::requestEnded, [&] { return !restore->context().busy; }));
  dialogs.choices.push_back(0);
  Child<QPushButton>(*restore, "restoreEverything")->click();
  ASSERT_TRUE(test::WaitFor(restore.data(), &RestoreDialog::requestEnded, [&] { return !restore->isVisible(); }));
  EXPECT_EQ(LastRequest("backupRestore")["path"].asString(), "");
  EXPECT_EQ(LastRequest("backupRestore")["target"].asString(), "");
  const int64_t restoreStart = FirstState(page)["lastStart"].asInt64();
  ASSERT_TRUE(WaitForList(page, [&] {
    return !JobRunning(page.jobs().at(0)) &&
           FirstState(page)["lastNote"].asString().rfind("restored 2 files", 0) == 0;
  })) << page.jobs().dump();
  EXPECT_EQ(FirstState(page)["lastStart"].asInt64(), restoreStart) << "a restore is no backup";
  EXPECT_TRUE(vx::ReadWholeFile(source.file("notes.txt"), restored));
  EXPECT_EQ(restored, "second notes");

  // The older version deleted: the versions are read again, and the only
  // one left cannot be deleted.
  Select(page, 0);
  page.button(kCommandRestore)->click();
  restore = OpenDialog<RestoreDialog>(page);
  ASSERT_TRUE(restore);
  ASSERT_TRUE(test::WaitFor(restore.data(), &RestoreDialog::requestEnded, [&] { return !restore->context().busy; }));
  ASSERT_EQ(restore->versionList()->count(), 2);
  EXPECT_TRUE(Child<QPushButton>(*restore, "deleteVersion")->isEnabled());
  restore->versionList()->setCurrentIndex(1);
  ASSERT_TRUE(test::WaitFor(restore.data(), &RestoreDialog::requestEnded, [&] { return !restore->context().busy; }));
  dialogs.answers.push_back(MessageAnswer::kAccept);
  Child<QPushButton>(*restore, "deleteVersion")->click();
  EXPECT_EQ(dialogs.asked.back().text, Tr(kStrDeleteVersionQuestion));
  ASSERT_TRUE(test::WaitFor(restore.data(), &RestoreDialog::requestEnded,
                            [&] { return !restore->context().busy && restore->versionList()->count() == 1; }))
      << restore->statusText().toStdString();
  EXPECT_EQ(restore->selectedSnapshotId(), newest);
  EXPECT_FALSE(Child<QPushButton>(*restore, "deleteVersion")->isEnabled());
  restore->reject();

  // Removed, after the question; the copy on the server stays for the
  // test to clean up.
  Select(page, 0);
  dialogs.answers.push_back(MessageAnswer::kAccept);
  page.button(kCommandRemove)->click();
  EXPECT_TRUE(dialogs.asked.back().text.contains(QStringLiteral("\"UI round\"")));
  ASSERT_TRUE(WaitForList(page, [&] { return page.jobs().size() == 0; }));
  EXPECT_EQ(page.list()->topLevelItemCount(), 0);
  for (const MessageSpec& m : dialogs.asked) EXPECT_NE(m.icon, MessageIcon::kError) << m.text.toStdString();
}

// What the user typed decides which secrets are sent; Check and OK wait for
// the request in flight, and so does Cancel.
TEST_F(BackupPageTest, TheEditorFollowsWhatTheUserTyped) {
  test::AnsweredDialogs dialogs;
  const std::string id = AddUnreachableJob("Typed");
  Value job = Request("backupList", "")["jobs"].at(0);
  ASSERT_TRUE(job["hasPassword"].asBool(false));
  QWidget window;
  window.show();
  JobEditor* editor = EditJob(&window, job, false, ServiceStatus());
  QPointer<JobEditor> alive = editor;
  EXPECT_EQ(editor->windowTitle(), Tr(kStrBackupCaption));
  QLineEdit* password = Child<QLineEdit>(*editor, "password");
  QLineEdit* again = Child<QLineEdit>(*editor, "passwordAgain");
  // A stored password shows as bullets that go when the user types.
  EXPECT_TRUE(again->text().isEmpty());
  EXPECT_EQ(again->placeholderText(), SecretPlaceholder());
  QTest::keyClicks(password, QStringLiteral("x"));
  EXPECT_EQ(password->text(), QStringLiteral("x"));
  EXPECT_TRUE(editor->context().passwordTouched);
  EXPECT_TRUE(again->placeholderText().isEmpty()) << "a stored password is replaced only when typed twice";
  EXPECT_FALSE(editor->context().endpointPasswordEdited);
  Child<QLineEdit>(*editor, "serverPassword")->setText(QStringLiteral("set by the program"));
  EXPECT_FALSE(editor->context().endpointPasswordEdited);
  QTest::keyClicks(Child<QLineEdit>(*editor, "serverPassword"), QStringLiteral("y"));
  EXPECT_TRUE(editor->context().endpointPasswordEdited);
  dialogs.picks.push_back(QStringLiteral("/home/ann/.ssh/id_ed25519"));
  Child<QPushButton>(*editor, "pickKey")->click();
  EXPECT_EQ(Child<QLineEdit>(*editor, "keyFile")->text(), QStringLiteral("/home/ann/.ssh/id_ed25519"));
  EXPECT_TRUE(editor->context().keyEdited);

  // A key file that cannot be read, then passwords that differ: a warning
  // each, and nothing sent.
  const size_t tests = RequestCount("backupTest");
  Child<QPushButton>(*editor, "check")->click();
  ASSERT_EQ(dialogs.asked.size(), 1u);
  EXPECT_EQ(dialogs.asked.back().text,
            QStringLiteral("The file /home/ann/.ssh/id_ed25519 cannot be read: No such file or directory"));
  Child<QLineEdit>(*editor, "keyFile")->clear();
  Child<QPushButton>(*editor, "check")->click();
  ASSERT_EQ(dialogs.asked.size(), 2u);
  EXPECT_EQ(dialogs.asked.back().text, Tr(kStrPasswordsDiffer));
  EXPECT_EQ(dialogs.asked.back().icon, MessageIcon::kWarning);
  EXPECT_EQ(RequestCount("backupTest"), tests);

  QTest::keyClicks(again, QStringLiteral("x"));
  {
    HoldRequests hold("backupTest");
    Child<QPushButton>(*editor, "check")->click();
    ASSERT_TRUE(hold.gate().waitArrived());
    EXPECT_TRUE(editor->busy());
    EXPECT_FALSE(Child<QPushButton>(*editor, "ok")->isEnabled());
    Child<QPushButton>(*editor, "cancel")->click();
    editor->close();
    EXPECT_TRUE(editor->isVisible()) << "no Cancel while a request runs";
    hold.gate().release();
    ASSERT_TRUE(test::WaitFor(editor, &JobEditor::requestEnded, [&] { return !editor->busy(); }));
  }
  const Value sent = LastRequest("backupTest")["job"];
  EXPECT_EQ(sent["id"].asString(), id);
  EXPECT_EQ(sent["password"].asString(), "x");
  EXPECT_EQ(sent["endpoint"]["password"].asString(), "set by the programy");
  // The server is out of reach: the check says so in the status line, in
  // its words, without the code of the error's kind.
  const QString status = Child<QLabel>(*editor, "status")->text();
  EXPECT_TRUE(status.contains(QStringLiteral("Connection refused"))) << status.toStdString();
  EXPECT_FALSE(status.startsWith(QStringLiteral("network"))) << status.toStdString();
  // What was typed goes only when the user says so.
  const size_t asked = dialogs.asked.size();
  dialogs.answers.push_back(MessageAnswer::kAccept);
  Child<QPushButton>(*editor, "cancel")->click();
  ASSERT_EQ(dialogs.asked.size(), asked + 1);
  EXPECT_EQ(dialogs.asked.back().text, Tr(kStrDiscardJobQuestion));
  EXPECT_FALSE(editor->isVisible());
}

// Enter after Check keeps the form: the keyboard goes back where it was
// when the check began (disabling Check and OK had moved it to Cancel), and
// Enter on Cancel asks before it throws away what was typed. A new daily
// job has no copy yet, so its first run is due at once: saved, the editor
// says that it starts now.
TEST_F(BackupPageTest, EnterAfterCheckKeepsTheFormAndASavedJobDueNowSaysSo) {
  const SftpFolder remote;
  tarn::test::TempDir source("tarn-ui-due", 0755);
  ASSERT_TRUE(vx::WriteFileAtomic(source.file("a.txt"), std::string("a")));
  test::AnsweredDialogs dialogs;
  BackupPage page;
  page.resize(900, 500);
  page.show();
  ASSERT_TRUE(test::WaitForNext(&page, &BackupPage::listTaken));
  page.button(kCommandAdd)->click();
  QPointer<JobEditor> editor = OpenDialog<JobEditor>(page);
  ASSERT_TRUE(editor);
  Child<QLineEdit>(*editor, "name")->setText(QStringLiteral("Due now"));
  dialogs.picks.push_back(QString::fromStdString(source.path()));
  Child<QPushButton>(*editor, "addFolder")->click();
  Child<QComboBox>(*editor, "protocol")->setCurrentIndex(kProtocolSftp);
  Child<QLineEdit>(*editor, "address")
      ->setText(QString::fromStdString(RequiredEnv("SFTP_HOST") + ":" + RequiredEnv("SFTP_PORT")));
  Child<QLineEdit>(*editor, "folder")->setText(QString::fromStdString(remote.path()));
  Child<QLineEdit>(*editor, "user")->setText(QString::fromStdString(RequiredEnv("SFTP_USER")));
  QTest::keyClicks(Child<QLineEdit>(*editor, "serverPassword"), QString::fromStdString(RequiredEnv("SFTP_PASSWORD")));
  QTest::keyClicks(Child<QLineEdit>(*editor, "password"), QStringLiteral("due secret"));
  QTest::keyClicks(Child<QLineEdit>(*editor, "passwordAgain"), QStringLiteral("due secret"));
  ASSERT_EQ(Child<QComboBox>(*editor, "schedule")->currentIndex(), kScheduleDaily);

  auto* check = Child<QPushButton>(*editor, "check");
  check->setFocus();
  {
    HoldRequests hold("backupTest");
    check->click();
    ASSERT_TRUE(hold.gate().waitArrived());
    EXPECT_NE(editor->focusWidget(), check) << "a disabled button holds no focus";
    hold.gate().release();
    ASSERT_TRUE(test::WaitFor(editor.data(), &JobEditor::requestEnded, [&] { return !editor->busy(); }));
  }
  EXPECT_EQ(editor->focusWidget(), check) << "the keyboard is back where it was";
  auto* cancel = Child<QPushButton>(*editor, "cancel");
  cancel->setFocus();
  QTest::keyClick(cancel, Qt::Key_Return);
  ASSERT_EQ(dialogs.asked.size(), 1u);
  EXPECT_EQ(dialogs.asked[0].text, Tr(kStrDiscardJobQuestion));
  EXPECT_TRUE(dialogs.asked[0].cancelIsDefault);
  EXPECT_TRUE(editor->isVisible()) << "the form stays, as it was not to be thrown away";
  EXPECT_EQ(Child<QLineEdit>(*editor, "password")->text(), QStringLiteral("due secret"));

  Child<QPushButton>(*editor, "ok")->click();
  ASSERT_TRUE(test::WaitFor(editor.data(), &JobEditor::requestEnded, [&] { return !editor->busy(); }));
  EXPECT_EQ(editor->result(), QDialog::Accepted);
  ASSERT_EQ(dialogs.asked.size(), 2u);
  EXPECT_EQ(dialogs.asked[1].icon, MessageIcon::kInformation);
  EXPECT_EQ(dialogs.asked[1].text, FormatText(Tr(kStrJobStartsNow), {QStringLiteral("Due now")}));
  // Removed (its run stopped) before its folder on the server goes.
  ASSERT_TRUE(WaitForList(page, [&] { return page.jobs().size() == 1; }));
  Request("backupRemove", page.jobs().at(0)["id"].asString());
}

// The log has a report of its own, captioned with the job's name, never
// the server check's caption, in every language.
TEST_F(BackupPageTest, TheLogIsCaptionedWithTheJobsNameInEveryLanguage) {
  AddUnreachableJob("Fotos & more");
  BackupPage page;
  page.show();
  ASSERT_TRUE(WaitForList(page, [&] { return page.jobs().size() == 1; }));
  Select(page, 0);
  for (int index = 0; index < kLanguageCount; ++index) {
    const Language& language = LanguageAt(index);
    SCOPED_TRACE(language.code);
    test::LanguageScope scope(language.code);
    QDialog* report = nullptr;
    QObject::connect(&page, &BackupPage::jobLogShown, &page, [&report](QDialog* shown) { report = shown; });
    page.button(kCommandLog)->click();
    ASSERT_TRUE(test::WaitFor(&page, &BackupPage::jobLogShown, [&] { return report != nullptr; }));
    QObject::disconnect(&page, &BackupPage::jobLogShown, &page, nullptr);
    EXPECT_EQ(report->windowTitle(), FormatText(language.strings[kStrLogTitle], {QStringLiteral("Fotos & more")}));
    EXPECT_FALSE(report->windowTitle().contains(language.strings[kStrServerCheck]));
    EXPECT_EQ(report->layoutDirection(), language.rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    delete report;
  }
}

// Quitting while a request of the editor or the restore dialog runs (the
// longest wait three minutes) takes the windows with it: the worker's
// result, when it comes, has nowhere to go and is dropped.
TEST_F(BackupPageTest, AResultForADialogThatWentIsDropped) {
  // A new job to check or to save, in an editor over `window`.
  auto editNew = [](QWidget& window, bool save) {
    JobEditor* editor = EditJob(&window, Value::object(), true, ServiceStatus());
    JobForm form = editor->form();
    form.sources = {QStringLiteral("/srv")};
    form.address = QStringLiteral("sftp://127.0.0.1:1/backups");
    form.password = form.passwordAgain = QStringLiteral("p");
    editor->showForm(form);
    if (save) editor->save();
    else editor->check();
  };
  const struct {
    const char* op;
    std::function<void(QWidget&)> open;
  } cases[] = {
      {"backupTest", [&](QWidget& window) { editNew(window, false); }},
      {"backupSet", [&](QWidget& window) { editNew(window, true); }},
      {"backupSnapshots", [](QWidget& window) { OpenRestore(&window, "j1", QStringLiteral("J")); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.op);
    HoldRequests hold(c.op);
    auto window = std::make_unique<QWidget>();
    window->show();
    c.open(*window);
    ASSERT_TRUE(hold.gate().waitArrived());
    window.reset();
    hold.gate().release();
    ASSERT_TRUE(WaitForWorkers(std::chrono::milliseconds(test::kEventWaitMs)));
    QCoreApplication::processEvents();
  }
  // The job of the held save was stored all the same.
  EXPECT_EQ(Request("backupList", "")["jobs"].size(), 1u);
}

}  // namespace
}  // namespace tarn::app
