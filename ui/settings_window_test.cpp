// The settings window against a real service: ServiceBody runs on a thread
// of this process on a machine of its own, drives sit on the WebDAV test
// server, or, where an upload must stay in flight until the test lets it
// go, on the in-memory server with a gate. The window is driven through its
// buttons, lists and pages as a user would, drawing offscreen.
#include "ui/settings_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>

#include "engine/backend_factory.h"
#include "foundation/config_file.h"
#include "testing/gate.h"
#include "testing/log_capture.h"
#include "testing/memory_backend.h"
#include "ui/mount_editor.h"
#include "ui/string_ids.h"
#include "ui/tray_model.h"
#include "ui/ui_test_harness.h"

namespace tarn::app {
namespace {

using tarn::test::MemOp;
using tarn::test::MemoryServer;
using test::AddDrive;
using test::DavDrive;
using vx::json::Value;

// The server of the drives whose protocol is "memory".
const std::shared_ptr<MemoryServer>& Memory() {
  static const auto server = std::make_shared<MemoryServer>();
  return server;
}

ServiceState::BackendsFor Backends() {
  return [](const MountConfig& config) -> Volume::BackendFactory {
    if (config.endpoint.protocol == "memory") return Memory()->factory(config.endpoint);
    return [endpoint = config.endpoint] { return MakeBackend(endpoint); };
  };
}

std::string DavUrl() { return tarn::testing::RequiredEnv("TARN_DAV_URL"); }

// A drive on the in-memory server `host`.
Value MemoryDrive(const std::string& name, const std::string& letter, const std::string& host) {
  Value drive = Value::object();
  drive.set("name", name);
  drive.set("drive", letter);
  Value endpoint = Value::object();
  endpoint.set("protocol", "memory");
  endpoint.set("host", host);
  drive.set("endpoint", endpoint);
  return drive;
}

const MountStatus* Find(const ServiceStatus& s, const std::string& id) { return FindMount(s, id); }

// A dialog answer that comes only after `during` ran, as a refresh that
// fires while a question is open would.
class AnswerAfter : public test::AnsweredDialogs {
 public:
  MessageAnswer message(QWidget* owner, const MessageSpec& spec) override {
    if (during) during();
    return AnsweredDialogs::message(owner, spec);
  }
  std::function<void()> during;
};

class SettingsWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { machine_ = new test::ServiceMachine(MakeServiceBackups, Backends()); }
  static void TearDownTestSuite() {
    delete machine_;
    machine_ = nullptr;
  }

  void SetUp() override {
    SetLanguageSetting(kEnglish);
    ASSERT_TRUE(CreateTray(tray_));
    ASSERT_TRUE(test::WaitForStatus(tray_, [](const ServiceStatus& s) { return s.ok; }));
    OpenSettings(tray_);
    window_ = CurrentSettingsWindow();
    ASSERT_NE(window_, nullptr);
  }

  void TearDown() override {
    for (const auto& gate : gates_) gate->release();
    DestroySettingsWindow();
    DestroyTray(tray_);
    SetLanguageSetting(kAutomaticLanguage);
    Memory()->clearFaults();
    test::RemoveAllDrives();
  }

  // Presses a button (or does what `press` does) and waits for the drive
  // action it started; the action's error, empty on success.
  QString Act(const std::function<void()>& press) {
    QSignalSpy finished(window_, &SettingsWindow::actionFinished);
    press();
    EXPECT_TRUE(test::WaitFor(window_, &SettingsWindow::actionFinished, [&] { return !finished.isEmpty(); }));
    return finished.isEmpty() ? QStringLiteral("no answer") : finished.at(0).at(0).toString();
  }

  QString Press(DriveAction action) {
    QPushButton* button = window_->actionButtons[action];
    EXPECT_TRUE(button->isEnabled()) << "action " << action;
    return Act([button] { button->click(); });
  }

  bool WaitForDrive(const std::string& id, const std::function<bool(const MountStatus&)>& done) {
    return test::WaitForStatus(tray_, [&](const ServiceStatus& s) {
      const MountStatus* m = Find(s, id);
      return m != nullptr && done(*m);
    });
  }

  QTreeWidgetItem* RowOf(const std::string& id) {
    QTreeWidget* list = window_->drivesList;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
      if (list->topLevelItem(i)->data(0, Qt::UserRole).toString().toStdString() == id) return list->topLevelItem(i);
    }
    return nullptr;
  }

  void Select(const std::string& id) {
    QTreeWidgetItem* row = RowOf(id);
    ASSERT_NE(row, nullptr);
    window_->drivesList->setCurrentItem(row);
  }

  // Waits for a transfers refresh that satisfies `done`; the window asks
  // again every two seconds while the page is shown.
  bool WaitForTransfers(const std::function<bool(const std::vector<TransferRow>&)>& done) {
    return test::WaitFor(window_, &SettingsWindow::transfersShown,
                         [&] { return done(window_->state.transferRows); });
  }

  static test::ServiceMachine* machine_;
  TrayState tray_;
  SettingsWindow* window_ = nullptr;
  std::vector<std::shared_ptr<tarn::test::Gate>> gates_;
};

test::ServiceMachine* SettingsWindowTest::machine_ = nullptr;

TEST_F(SettingsWindowTest, ADrivePastedAsALinkIsCheckedSavedAndListed) {
  test::AnsweredDialogs dialogs;
  window_->actionButtons[kActionAdd]->click();
  auto* editor = window_->findChild<MountDialog*>();
  ASSERT_NE(editor, nullptr);
  EXPECT_TRUE(editor->isVisible());
  EXPECT_EQ(editor->windowTitle(), QStringLiteral("New drive"));
  EXPECT_EQ(editor->findChild<QComboBox*>("letter")->currentText(), QStringLiteral("P:")) << "the first free from P";

  QTest::keyClicks(editor->findChild<QLineEdit*>("name"), QStringLiteral("Team files"));
  // The link with the login in it, as a server's share page gives it.
  const QString url = QString::fromStdString(DavUrl());
  const QString password = QString::fromStdString(tarn::testing::RequiredEnv("TARN_DAV_PASSWORD"));
  const QString user = QString::fromStdString(tarn::testing::RequiredEnv("TARN_DAV_USER"));
  const qsizetype scheme = url.indexOf(QStringLiteral("://")) + 3;
  const QString link = url.left(scheme) + user + QLatin1Char(':') +
                       QString::fromLatin1(QUrl::toPercentEncoding(password)) + QLatin1Char('@') + url.mid(scheme);
  auto* host = editor->findChild<QLineEdit*>("host");
  QTest::keyClicks(host, link);
  // The field loses the focus.
  Q_EMIT host->editingFinished();
  EXPECT_EQ(editor->findChild<QLineEdit*>("user")->text(), user);
  EXPECT_EQ(editor->findChild<QLineEdit*>("password")->text(), password);
  EXPECT_TRUE(editor->state().passwordEdited);
  EXPECT_FALSE(editor->findChild<QCheckBox*>("tls")->isChecked()) << "an http link";

  QSignalSpy probed(editor, &MountDialog::probeFinished);
  auto* check = editor->findChild<QPushButton*>("check");
  check->click();
  EXPECT_FALSE(check->isEnabled());
  EXPECT_EQ(editor->findChild<QLabel*>("status")->text(), QStringLiteral("Checking the server..."));
  ASSERT_TRUE(test::WaitFor(editor, &MountDialog::probeFinished, [&] { return !probed.isEmpty(); }));
  auto* report = probed.at(0).at(0).value<QDialog*>();
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->windowTitle(), QStringLiteral("Server check"));
  const QString text = report->findChild<QPlainTextEdit*>()->toPlainText();
  EXPECT_TRUE(text.contains(QStringLiteral("Passed   Attributes: size and attributes read back"))) << text.toStdString();
  EXPECT_TRUE(check->isEnabled());
  report->accept();

  QSignalSpy saved(editor, &MountDialog::saveFinished);
  const QPointer<MountDialog> open(editor);
  editor->findChild<QPushButton*>("ok")->click();
  ASSERT_TRUE(test::WaitFor(editor, &MountDialog::saveFinished, [&] { return !saved.isEmpty(); }));
  EXPECT_TRUE(saved.at(0).at(0).toBool()) << (dialogs.asked.empty() ? "" : dialogs.asked.back().text.toStdString());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(open.isNull()) << "the editor closed";

  ASSERT_TRUE(test::WaitForStatus(tray_, [](const ServiceStatus& s) { return s.mounts.size() == 1; }));
  const MountStatus& drive = tray_.status.mounts.front();
  EXPECT_EQ(drive.name, u"Team files");
  EXPECT_EQ(drive.config["endpoint"]["user"].asString(), user.toStdString());
  EXPECT_TRUE(drive.config["endpoint"]["hasPassword"].asBool());
  QTreeWidgetItem* row = RowOf(drive.id);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->text(0), QStringLiteral("P:"));
  EXPECT_EQ(row->text(1), QStringLiteral("Team files"));
  EXPECT_EQ(row->text(2), ServerText(drive));
  EXPECT_EQ(row->text(3), QStringLiteral("unmounted"));
}

TEST_F(SettingsWindowTest, TheButtonsMountSyncTakeOfflineClearUnmountAndRemoveADrive) {
  test::AnsweredDialogs dialogs;
  const std::string id = AddDrive(DavDrive("Buttons", "U", DavUrl()));
  ASSERT_TRUE(WaitForDrive(id, [](const MountStatus&) { return true; }));
  Select(id);
  EXPECT_TRUE(window_->actionButtons[kActionMount]->isEnabled());
  EXPECT_FALSE(window_->actionButtons[kActionUnmount]->isEnabled());

  EXPECT_EQ(Press(kActionMount), QString());
  ASSERT_TRUE(WaitForDrive(id, [](const MountStatus& m) { return m.mounted; }));
  EXPECT_EQ(RowOf(id)->text(3), QStringLiteral("mounted"));
  EXPECT_FALSE(window_->actionButtons[kActionMount]->isEnabled());

  EXPECT_EQ(Press(kActionSync), QString());

  // "Check" probes the drive's server and shows the report.
  QSignalSpy reports(window_, &SettingsWindow::probeReportShown);
  window_->actionButtons[kActionCheck]->click();
  EXPECT_FALSE(window_->actionButtons[kActionCheck]->isEnabled());
  ASSERT_TRUE(test::WaitFor(window_, &SettingsWindow::probeReportShown, [&] { return !reports.isEmpty(); }));
  auto* report = reports.at(0).at(0).value<QWidget*>();
  ASSERT_NE(report, nullptr);
  const QString probed = report->findChild<QPlainTextEdit*>()->toPlainText();
  EXPECT_TRUE(probed.contains(QStringLiteral("Passed   Attributes: size and attributes read back"))) << probed.toStdString();
  EXPECT_TRUE(window_->actionButtons[kActionCheck]->isEnabled());
  report->close();

  EXPECT_EQ(Press(kActionOffline), QString());
  ASSERT_TRUE(WaitForDrive(id, [](const MountStatus& m) { return m.offlineMode; }));
  EXPECT_EQ(window_->actionButtons[kActionOffline]->text(), QStringLiteral("Online"));
  EXPECT_EQ(RowOf(id)->text(3), QStringLiteral("offline"));
  EXPECT_EQ(Press(kActionOffline), QString());
  ASSERT_TRUE(WaitForDrive(id, [](const MountStatus& m) { return !m.offlineMode; }));
  EXPECT_EQ(window_->actionButtons[kActionOffline]->text(), QStringLiteral("Offline"));
  EXPECT_EQ(Press(kActionClearCache), QString());
  EXPECT_TRUE(dialogs.asked.empty()) << dialogs.asked.front().text.toStdString();

  EXPECT_EQ(Press(kActionUnmount), QString());
  ASSERT_TRUE(WaitForDrive(id, [](const MountStatus& m) { return !m.mounted; }));

  // A request the service refuses is told in an error box.
  const QString refused = Act([this] { DoAction(*window_, kActionSync); });
  EXPECT_FALSE(refused.isEmpty());
  ASSERT_EQ(dialogs.asked.size(), 1u);
  EXPECT_EQ(dialogs.asked[0].caption, QStringLiteral("Tarn"));
  EXPECT_EQ(dialogs.asked[0].text, refused);
  EXPECT_EQ(dialogs.asked[0].icon, MessageIcon::kError);

  dialogs.answers.push_back(MessageAnswer::kAccept);
  EXPECT_EQ(Press(kActionRemove), QString());
  EXPECT_EQ(dialogs.asked[1].caption, QStringLiteral("Remove drive"));
  EXPECT_EQ(dialogs.asked[1].text,
            QStringLiteral("Remove drive \"Buttons\"? Its cache, including unsent data, will be deleted."));
  EXPECT_EQ(dialogs.asked[1].acceptText, QStringLiteral("Remove"));
  EXPECT_TRUE(dialogs.asked[1].cancelIsDefault) << "unsent data goes with the drive: Cancel is the default";
  ASSERT_TRUE(test::WaitForStatus(tray_, [](const ServiceStatus& s) { return s.mounts.empty(); }));
  EXPECT_EQ(window_->drivesList->topLevelItemCount(), 0);
  EXPECT_FALSE(window_->actionButtons[kActionRemove]->isEnabled()) << "nothing selected";
}

TEST_F(SettingsWindowTest, DoubleClickingADriveOpensItsEditor) {
  const std::string id = AddDrive(DavDrive("Twice", "V", DavUrl()));
  ASSERT_TRUE(WaitForDrive(id, [](const MountStatus&) { return true; }));
  QTreeWidget* list = window_->drivesList;
  const QPoint onRow = list->visualItemRect(RowOf(id)).center();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, onRow);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, onRow);
  auto* editor = window_->findChild<MountDialog*>();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->windowTitle(), QStringLiteral("Drive"));
  EXPECT_EQ(editor->findChild<QLineEdit*>("name")->text(), QStringLiteral("Twice"));
  EXPECT_EQ(editor->findChild<QLineEdit*>("password")->text(), PasswordPlaceholder());
  EXPECT_EQ(editor->findChild<QComboBox*>("letter")->currentText(), QStringLiteral("V:"));
  editor->reject();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(window_->findChild<MountDialog*>(), nullptr);

  // On empty space of the list a double click opens nothing.
  list->clearSelection();
  const QPoint below(5, list->viewport()->height() - 5);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, below);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, below);
  EXPECT_EQ(window_->findChild<MountDialog*>(), nullptr);
}

// The service may list its drives in another order from one status to the
// next: the selection stays on its drive, and Remove acts on that drive.
TEST_F(SettingsWindowTest, TheSelectionFollowsItsDriveWhenTheServiceReordersThem) {
  test::AnsweredDialogs dialogs;
  const std::string left = AddDrive(DavDrive("Left", "V", DavUrl()));
  const std::string right = AddDrive(DavDrive("Right", "W", DavUrl()));
  ASSERT_TRUE(test::WaitForStatus(tray_, [](const ServiceStatus& s) { return s.mounts.size() == 2; }));
  const ServiceStatus inOrder = tray_.status;
  ASSERT_EQ(inOrder.mounts[1].id, right);
  Select(right);

  ServiceStatus reversed = inOrder;
  std::reverse(reversed.mounts.begin(), reversed.mounts.end());
  OnTrayStatus(tray_, reversed);
  ASSERT_EQ(window_->drivesList->topLevelItem(0)->text(1), QStringLiteral("Right"));
  ASSERT_NE(SelectedMount(*window_), nullptr);
  EXPECT_EQ(SelectedMount(*window_)->id, right);
  EXPECT_TRUE(window_->drivesList->topLevelItem(0)->isSelected());

  // The context menu key opens the list's menu below the selected row.
  QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(), QPoint());
  QApplication::sendEvent(window_->drivesList, &key);
  auto* menu = window_->drivesList->findChild<QMenu*>();
  ASSERT_NE(menu, nullptr);
  EXPECT_TRUE(menu->isVisible());
  ASSERT_EQ(menu->actions().size(), 2) << "no stop command in the drives list";
  EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("Copy"));
  EXPECT_EQ(menu->pos(), window_->drivesList->viewport()->mapToGlobal(
                             window_->drivesList->visualItemRect(window_->drivesList->topLevelItem(0)).bottomLeft()));
  menu->close();

  // Ctrl+C copies the selected row.
  QTest::keyClick(window_->drivesList, Qt::Key_C, Qt::ControlModifier);
  EXPECT_TRUE(QApplication::clipboard()->text().startsWith(QStringLiteral("W:\tRight\t")))
      << QApplication::clipboard()->text().toStdString();

  dialogs.answers.push_back(MessageAnswer::kAccept);
  EXPECT_EQ(Press(kActionRemove), QString());
  EXPECT_TRUE(dialogs.asked.at(0).text.contains(QStringLiteral("\"Right\"")));
  ASSERT_TRUE(test::WaitForStatus(tray_, [](const ServiceStatus& s) { return s.mounts.size() == 1; }));
  EXPECT_EQ(tray_.status.mounts[0].id, left);

  // With nothing selected, Ctrl+C copies every row.
  window_->drivesList->clearSelection();
  QTest::keyClick(window_->drivesList, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), ListText(window_->drivesList, false));
  EXPECT_TRUE(QApplication::clipboard()->text().startsWith(QStringLiteral("V:\tLeft\t")));
}

// Two uploads stay in flight: one the server refuses again and again, one
// held at a gate. "Stop upload" stops the first, although the rows are
// rebuilt in another order while the question is open, and the second
// reaches the server once let go.
TEST_F(SettingsWindowTest, StopUploadStopsThatFileAndNoOther) {
  tarn::test::LogCapture log;
  Value drive = MemoryDrive("Memory", "M", "transfers");
  Value cache = Value::object();
  cache.set("writebackDelayMs", 0);
  drive.set("cache", cache);
  Value net = Value::object();
  net.set("retryMinMs", 100);
  net.set("retryMaxMs", 200);
  drive.set("net", net);
  const std::string id = AddDrive(drive);
  std::string error;
  ASSERT_TRUE(RequestMount(id, error)) << error;

  Memory()->addFault({.op = MemOp::kOpenWrite, .path = "/a.txt", .times = 0});
  gates_.push_back(Memory()->addGate(MemOp::kOpenWrite, "/b.txt"));
  const std::string mounted = MountPointPath(u'M');
  for (const auto& [name, content] : {std::pair{"/a.txt", "alpha"}, std::pair{"/b.txt", "bravo"}}) {
    std::ofstream file(mounted + name);
    file << content;
    file.close();
    ASSERT_TRUE(file.good()) << name;
  }
  ASSERT_TRUE(gates_[0]->waitArrived());

  ShowTab(*window_, kPageTransfers);
  auto inFlight = [](const std::vector<TransferRow>& rows, const std::string& path) {
    return std::any_of(rows.begin(), rows.end(), [&](const TransferRow& r) {
      return r.path == path && r.upload && (r.state == "active" || r.state == "waiting" || r.state == "retry");
    });
  };
  ASSERT_TRUE(WaitForTransfers([&](const auto& rows) { return inFlight(rows, "/a.txt") && inFlight(rows, "/b.txt"); }));
  const std::vector<TransferRow> rows = window_->state.transferRows;
  const auto a = std::find_if(rows.begin(), rows.end(), [](const TransferRow& r) { return r.path == "/a.txt"; });
  const int rowOfA = static_cast<int>(a - rows.begin());
  EXPECT_EQ(a->mount, id);

  // The list menu offers to stop the upload of the selected row.
  window_->transfersList->setCurrentItem(window_->transfersList->topLevelItem(rowOfA));
  QMenu* menu = ShowListMenu(*window_, window_->transfersList, QPoint(0, 0));
  const QList<QAction*> items = menu->actions();
  ASSERT_EQ(items.size(), 4);
  EXPECT_EQ(items[3]->text(), QStringLiteral("Stop upload…"));
  EXPECT_TRUE(items[0]->isEnabled() && items[1]->isEnabled() && items[3]->isEnabled());
  menu->close();

  AnswerAfter dialogs;
  dialogs.answers.push_back(MessageAnswer::kAccept);
  dialogs.during = [&] {
    // A refresh while the question is open lists the transfers the other
    // way round.
    Value now;
    std::string e;
    ASSERT_TRUE(RequestTransfers(now, e)) << e;
    std::reverse(now.items.begin(), now.items.end());
    FillTransfers(*window_, now);
    ASSERT_NE(window_->state.transferRows.at(static_cast<size_t>(rowOfA)).path, "/a.txt");
  };
  EXPECT_EQ(Act([&] { StopUploadAt(*window_, rowOfA); }), QString());
  ASSERT_EQ(dialogs.asked.size(), 1u);
  EXPECT_EQ(dialogs.asked[0].text, QStringLiteral("Stop uploading \"a.txt\"?\n\nThe changes to this file on this "
                                                  "computer are dropped; the copy now on the server stays."));
  EXPECT_TRUE(dialogs.asked[0].cancelIsDefault);
  EXPECT_EQ(dialogs.asked[0].acceptText, QStringLiteral("Stop")) << "the button says what it does";
  EXPECT_EQ(log.countLines("upload of /a.txt stopped by the user"), 1) << log.text();
  EXPECT_EQ(log.countLines("upload of /b.txt stopped"), 0) << log.text();

  gates_[0]->release();
  ASSERT_TRUE(WaitForTransfers([&](const auto& now) {
    return !inFlight(now, "/a.txt") &&
           std::any_of(now.begin(), now.end(), [](const TransferRow& r) { return r.path == "/b.txt" && r.state == "done"; });
  }));
  std::string content;
  EXPECT_TRUE(Memory()->readFile("/b.txt", &content));
  EXPECT_EQ(content, "bravo");
  // The server keeps its copy: the empty file the create left there.
  ASSERT_TRUE(Memory()->readFile("/a.txt", &content));
  EXPECT_EQ(content, "");
}

TEST_F(SettingsWindowTest, TheLogPageShowsTheServiceLog) {
  QSignalSpy shown(window_, &SettingsWindow::logShown);
  ShowTab(*window_, kPageLog);
  ASSERT_TRUE(test::WaitFor(window_, &SettingsWindow::logShown, [&] { return !shown.isEmpty(); }));
  const QString text = window_->logView->toPlainText();
  EXPECT_TRUE(text.contains(QStringLiteral("[INFO ] Tarn service ") + QString::fromLatin1(kTrayVersion)))
      << text.toStdString();
  EXPECT_FALSE(text.contains(QLatin1Char('\r')));
  EXPECT_TRUE(window_->logView->isReadOnly());
  QScrollBar* bar = window_->logView->verticalScrollBar();
  EXPECT_EQ(bar->value(), bar->maximum()) << "the newest lines in view";
}

// New log text follows the end when the reader is there, keeps the first
// line shown when they scrolled up, and waits while they select text.
TEST_F(SettingsWindowTest, TheLogKeepsTheReadersPlace) {
  QSignalSpy shown(window_, &SettingsWindow::logShown);
  ShowTab(*window_, kPageLog);
  ASSERT_TRUE(test::WaitFor(window_, &SettingsWindow::logShown, [&] { return !shown.isEmpty(); }));
  window_->hide();  // no timer refresh in between
  std::string text;
  auto lines = [&text](int from, int to) {
    for (int i = from; i < to; ++i) text += "line " + std::to_string(i) + "\r\n";
    return text;
  };
  QPlainTextEdit* log = window_->logView;
  QScrollBar* bar = log->verticalScrollBar();
  ShowLogText(*window_, lines(0, 300));
  ASSERT_GT(bar->maximum(), 100);
  EXPECT_EQ(bar->value(), bar->maximum());
  ShowLogText(*window_, lines(300, 310));
  EXPECT_EQ(bar->value(), bar->maximum()) << "at the end, it follows";
  EXPECT_TRUE(log->toPlainText().endsWith(QStringLiteral("line 309\n")));

  bar->setValue(40);
  ShowLogText(*window_, lines(310, 320));
  EXPECT_EQ(bar->value(), 40) << "scrolled up, it stays";
  EXPECT_TRUE(log->toPlainText().endsWith(QStringLiteral("line 319\n")));

  QTextCursor selecting = log->textCursor();
  selecting.setPosition(0);
  selecting.setPosition(8, QTextCursor::KeepAnchor);
  log->setTextCursor(selecting);
  ShowLogText(*window_, lines(320, 330));
  EXPECT_FALSE(log->toPlainText().contains(QStringLiteral("line 329"))) << "a selection is left alone";
  EXPECT_EQ(log->textCursor().selectedText(), QStringLiteral("line 0\u2029l"));
  RefreshLog(*window_);
  EXPECT_FALSE(window_->logInFlight) << "nor asked for";
}

// There is no update server: the page tells where updates come from and
// offers no box or button that the service would refuse.
TEST_F(SettingsWindowTest, TheSettingsPageTellsHowUpdatesCome) {
  ShowTab(*window_, kPageSettings);
  EXPECT_EQ(window_->installedVersion->text(), QStringLiteral("Installed version ") + QString::fromLatin1(kTrayVersion));
  EXPECT_EQ(window_->updatesNote->text(),
            QStringLiteral("Updates come with the system's packages, through its software updater."));
  EXPECT_TRUE(window_->updatesNote->isVisibleTo(window_));
  QWidget* page = window_->tabs->widget(kPageSettings);
  EXPECT_TRUE(page->findChildren<QCheckBox*>().isEmpty());
  EXPECT_TRUE(page->findChildren<QPushButton*>().isEmpty());
}

// The server cannot be reached: the drive mounts, serving only its cache,
// and the window says so and why, rather than leaving a cut "error: …" in
// its row as if all were well.
TEST_F(SettingsWindowTest, AMountThatServesOnlyTheCacheSaysWhy) {
  test::AnsweredDialogs dialogs;
  const std::string id = AddDrive(DavDrive("Far", "X", "http://127.0.0.1:1/dav"));
  ASSERT_TRUE(WaitForDrive(id, [](const MountStatus&) { return true; }));
  Select(id);
  const QString told = Press(kActionMount);
  ASSERT_EQ(dialogs.asked.size(), 1u);
  EXPECT_EQ(dialogs.asked[0].icon, MessageIcon::kWarning);
  EXPECT_EQ(dialogs.asked[0].text, told);
  EXPECT_TRUE(told.startsWith(QStringLiteral("Far (X:) is mounted at ") + QString::fromStdString(MountPointPath(u'X')) +
                              QStringLiteral(" but serves only its cache: ")))
      << told.toStdString();
  ASSERT_TRUE(WaitForDrive(id, [](const MountStatus& m) { return m.mounted; }));
  // The state keeps its reason, whole, as the cell's tooltip.
  const QTreeWidgetItem* row = RowOf(id);
  EXPECT_TRUE(row->text(3).startsWith(QStringLiteral("error: "))) << row->text(3).toStdString();
  EXPECT_EQ(row->toolTip(3), row->text(3));
}

// A server slow to let the drive in: the row says "mounting…", Mount is not
// offered twice, and the other commands stay at hand meanwhile.
TEST_F(SettingsWindowTest, AMountThatGoesOnShowsAsMounting) {
  test::AnsweredDialogs dialogs;
  const std::string id = AddDrive(MemoryDrive("Slow", "S", "slow"));
  ASSERT_TRUE(WaitForDrive(id, [](const MountStatus&) { return true; }));
  gates_.push_back(Memory()->addGate(MemOp::kConnect));
  Select(id);
  QSignalSpy finished(window_, &SettingsWindow::actionFinished);
  window_->actionButtons[kActionMount]->click();
  ASSERT_TRUE(gates_[0]->waitArrived());
  ASSERT_TRUE(WaitForDrive(id, [](const MountStatus& m) { return m.mounting; }));
  EXPECT_EQ(RowOf(id)->text(3), QStringLiteral("mounting…"));
  EXPECT_FALSE(window_->actionButtons[kActionMount]->isEnabled());
  EXPECT_TRUE(window_->actionButtons[kActionEdit]->isEnabled());
  EXPECT_TRUE(window_->actionButtons[kActionRemove]->isEnabled());

  gates_[0]->release();
  ASSERT_TRUE(test::WaitFor(window_, &SettingsWindow::actionFinished, [&] { return !finished.isEmpty(); }));
  EXPECT_EQ(finished.at(0).at(0).toString(), QString()) << "a mount that ended well tells nothing";
  EXPECT_TRUE(dialogs.asked.empty());
  ASSERT_TRUE(WaitForDrive(id, [](const MountStatus& m) { return m.mounted; }));
  EXPECT_EQ(RowOf(id)->text(3), QStringLiteral("mounted"));
  EXPECT_FALSE(window_->actionButtons[kActionMount]->isEnabled());
  EXPECT_TRUE(window_->actionButtons[kActionUnmount]->isEnabled());
}

TEST_F(SettingsWindowTest, ALanguageChangeRebuildsTheWindowInItsDirectionOnTheSettingsPage) {
  ShowTab(*window_, kPageSettings);
  window_->resize(1000, 640);
  const QSize size = window_->size();
  QComboBox* list = window_->languageList;
  ASSERT_EQ(list->count(), kLanguageCount + 1);
  EXPECT_EQ(list->currentIndex(), kEnglish + 1);

  // The language in force: nothing happens.
  QPointer<SettingsWindow> before(window_);
  Q_EMIT list->activated(kEnglish + 1);
  QCoreApplication::sendPostedEvents();
  ASSERT_FALSE(before.isNull());

  int arabic = 0;
  while (LanguageAt(arabic).code != "ar") ++arabic;
  list->setCurrentIndex(arabic + 1);
  Q_EMIT list->activated(arabic + 1);
  // The window changes once the service took the language.
  EXPECT_NE(CurrentLanguageCode(), "ar");
  ASSERT_TRUE(test::WaitForNext(before.data(), &SettingsWindow::languageAnswered));
  QCoreApplication::sendPostedEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(before.isNull());
  window_ = CurrentSettingsWindow();
  ASSERT_NE(window_, nullptr);
  EXPECT_TRUE(window_->isVisible());
  EXPECT_EQ(window_->layoutDirection(), Qt::RightToLeft);
  EXPECT_EQ(window_->windowTitle(), LanguageAt(arabic).strings[kStrWindowTitle]);
  EXPECT_EQ(window_->tabs->tabText(kPageDrives), LanguageAt(arabic).strings[kStrTabDrives]);
  EXPECT_EQ(window_->currentPage(), kPageSettings);
  EXPECT_EQ(window_->tabs->currentIndex(), kPageSettings);
  EXPECT_EQ(window_->size(), size);
  EXPECT_EQ(window_->languageList->currentIndex(), arabic + 1);
  ASSERT_TRUE(test::WaitForStatus(tray_, [](const ServiceStatus& s) { return s.language == "ar"; }));

  // Back to automatic.
  Q_EMIT window_->languageList->activated(0);
  ASSERT_TRUE(test::WaitForNext(window_, &SettingsWindow::languageAnswered));
  QCoreApplication::sendPostedEvents();
  window_ = CurrentSettingsWindow();
  EXPECT_EQ(LanguageSetting(), kAutomaticLanguage);
  ASSERT_TRUE(test::WaitForStatus(tray_, [](const ServiceStatus& s) { return s.language.empty(); }));
}

// A mount that hangs on a server that takes the connection and says
// nothing can be stopped: Unmount is offered while the drive is mounting,
// ends the mount at once, and the followed mount's end tells nothing.
TEST_F(SettingsWindowTest, UnmountStopsAMountThatGoesOn) {
  test::AnsweredDialogs dialogs;
  const std::string id = AddDrive(MemoryDrive("Hung", "H", "hung"));
  ASSERT_TRUE(WaitForDrive(id, [](const MountStatus&) { return true; }));
  // Far longer than any test runs: only the unmount ends the wait.
  Memory()->setSilent(3600000, {MemOp::kConnect});
  Select(id);
  QSignalSpy finished(window_, &SettingsWindow::actionFinished);
  window_->actionButtons[kActionMount]->click();
  ASSERT_TRUE(WaitForDrive(id, [](const MountStatus& m) { return m.mounting; }));
  EXPECT_FALSE(window_->actionButtons[kActionMount]->isEnabled());
  ASSERT_TRUE(window_->actionButtons[kActionUnmount]->isEnabled()) << "a hung mount can be stopped";

  window_->actionButtons[kActionUnmount]->click();
  ASSERT_TRUE(test::WaitFor(window_, &SettingsWindow::actionFinished, [&] { return finished.size() == 2; }));
  Memory()->setSilent(0);
  EXPECT_EQ(finished.at(0).at(0).toString(), QString());
  EXPECT_EQ(finished.at(1).at(0).toString(), QString());
  EXPECT_TRUE(dialogs.asked.empty()) << dialogs.asked.front().text.toStdString();
  ASSERT_TRUE(WaitForDrive(id, [](const MountStatus& m) { return !m.mounting; }));
  const MountStatus* drive = Find(tray_.status, id);
  EXPECT_FALSE(drive->mounted);
  EXPECT_EQ(drive->lastError, "");
  EXPECT_EQ(RowOf(id)->text(3), QStringLiteral("unmounted"));
}

// Sync of a drive in offline mode would send nothing: the window says why
// instead of doing nothing without a word.
TEST_F(SettingsWindowTest, SyncOfADriveInOfflineModeSaysWhy) {
  test::AnsweredDialogs dialogs;
  const std::string id = AddDrive(MemoryDrive("Away", "Y", "away"));
  std::string error;
  ASSERT_TRUE(RequestMount(id, error)) << error;
  ASSERT_TRUE(RequestControl("setOffline", id, true, error)) << error;
  ASSERT_TRUE(WaitForDrive(id, [](const MountStatus& m) { return m.mounted && m.offlineMode; }));
  Select(id);
  ASSERT_TRUE(window_->actionButtons[kActionSync]->isEnabled());
  window_->actionButtons[kActionSync]->click();
  ASSERT_EQ(dialogs.asked.size(), 1u);
  EXPECT_EQ(dialogs.asked[0].icon, MessageIcon::kInformation);
  EXPECT_EQ(dialogs.asked[0].text, QStringLiteral("Away (Y:) is in offline mode: its changes go to the server once "
                                                  "it is back online."));
  EXPECT_FALSE(window_->state.actionRunning) << "nothing was sent";
}

// The editor logs in to the server before it saves a drive, as "tarn add"
// does: a password the server refuses is told, and nothing is saved.
TEST_F(SettingsWindowTest, TheEditorSavesNoDriveWhoseServerRefusesTheLogIn) {
  test::AnsweredDialogs dialogs;
  window_->actionButtons[kActionAdd]->click();
  auto* editor = window_->findChild<MountDialog*>();
  ASSERT_NE(editor, nullptr);
  QTest::keyClicks(editor->findChild<QLineEdit*>("host"), QString::fromStdString(DavUrl()));
  Q_EMIT editor->findChild<QLineEdit*>("host")->editingFinished();
  QTest::keyClicks(editor->findChild<QLineEdit*>("user"),
                   QString::fromStdString(tarn::testing::RequiredEnv("TARN_DAV_USER")));
  QTest::keyClicks(editor->findChild<QLineEdit*>("password"), QStringLiteral("not the password"));
  QSignalSpy saved(editor, &MountDialog::saveFinished);
  editor->findChild<QPushButton*>("ok")->click();
  ASSERT_TRUE(test::WaitFor(editor, &MountDialog::saveFinished, [&] { return !saved.isEmpty(); }));
  EXPECT_FALSE(saved.at(0).at(0).toBool());
  ASSERT_EQ(dialogs.asked.size(), 1u);
  EXPECT_EQ(dialogs.asked[0].icon, MessageIcon::kError);
  EXPECT_TRUE(dialogs.asked[0].text.contains(QStringLiteral("refused the log-in"))) << dialogs.asked[0].text.toStdString();
  EXPECT_TRUE(editor->isVisible()) << "everything stays as typed, to be corrected";
  ServiceStatus status;
  ASSERT_TRUE(RequestStatus(status)) << status.error;
  EXPECT_TRUE(status.mounts.empty()) << "no drive was saved";
  editor->findChild<QLineEdit*>("password")->clear();
  editor->reject();
}

// A server out of reach cannot be asked about the log-in: the drive is
// saved untried, and the editor says so and why.
TEST_F(SettingsWindowTest, ADriveWhoseServerIsOutOfReachIsSavedUntriedAndSaysSo) {
  test::AnsweredDialogs dialogs;
  window_->actionButtons[kActionAdd]->click();
  auto* editor = window_->findChild<MountDialog*>();
  ASSERT_NE(editor, nullptr);
  QTest::keyClicks(editor->findChild<QLineEdit*>("name"), QStringLiteral("Far"));
  QTest::keyClicks(editor->findChild<QLineEdit*>("host"), QStringLiteral("http://127.0.0.1:1/dav"));
  Q_EMIT editor->findChild<QLineEdit*>("host")->editingFinished();
  QTest::keyClicks(editor->findChild<QLineEdit*>("user"), QStringLiteral("ann"));
  QTest::keyClicks(editor->findChild<QLineEdit*>("password"), QStringLiteral("secret"));
  QSignalSpy saved(editor, &MountDialog::saveFinished);
  editor->findChild<QPushButton*>("ok")->click();
  ASSERT_TRUE(test::WaitFor(editor, &MountDialog::saveFinished, [&] { return !saved.isEmpty(); }));
  EXPECT_TRUE(saved.at(0).at(0).toBool());
  ASSERT_EQ(dialogs.asked.size(), 1u);
  EXPECT_EQ(dialogs.asked[0].icon, MessageIcon::kWarning);
  EXPECT_TRUE(dialogs.asked[0].text.startsWith(
      QStringLiteral("Far is saved, but its log-in could not be tried, as its server cannot be reached: ")))
      << dialogs.asked[0].text.toStdString();
  ASSERT_TRUE(test::WaitForStatus(tray_, [](const ServiceStatus& s) { return s.mounts.size() == 1; }));
}

// A mounted drive whose password was wrong serves only its cache; once the
// password is corrected in the editor, the window offers to mount it again
// (its settings apply at the next mount) and, asked to, does.
TEST_F(SettingsWindowTest, ACorrectedPasswordOfAMountedDriveIsAppliedByMountingAgain) {
  test::AnsweredDialogs dialogs;
  Value wrong = DavDrive("Corrected", "K", DavUrl());
  Value endpoint = wrong["endpoint"];
  endpoint.set("password", "not the password");
  wrong.set("endpoint", endpoint);
  const std::string id = AddDrive(wrong);
  std::string error;
  RequestMount(id, error);
  ASSERT_TRUE(WaitForDrive(id, [](const MountStatus& m) { return m.mounted && !m.online && !m.lastError.empty(); }));
  EXPECT_TRUE(RowOf(id)->text(3).startsWith(QStringLiteral("error: "))) << RowOf(id)->text(3).toStdString();

  Select(id);
  window_->actionButtons[kActionEdit]->click();
  auto* editor = window_->findChild<MountDialog*>();
  ASSERT_NE(editor, nullptr);
  auto* password = editor->findChild<QLineEdit*>("password");
  password->clear();
  QTest::keyClicks(password, QString::fromStdString(tarn::testing::RequiredEnv("TARN_DAV_PASSWORD")));
  dialogs.answers.push_back(MessageAnswer::kAccept);
  QSignalSpy finished(window_, &SettingsWindow::actionFinished);
  editor->findChild<QPushButton*>("ok")->click();
  ASSERT_TRUE(test::WaitFor(window_, &SettingsWindow::actionFinished, [&] { return !finished.isEmpty(); }));
  ASSERT_GE(dialogs.asked.size(), 1u);
  EXPECT_EQ(dialogs.asked[0].text, QStringLiteral("Corrected (K:) is mounted: the changed settings apply when it is "
                                                  "mounted again. Mount it again now?"));
  EXPECT_EQ(dialogs.asked[0].acceptText, QStringLiteral("Mount again"));
  EXPECT_EQ(finished.at(0).at(0).toString(), QString()) << "mounted again, online";
  ASSERT_TRUE(WaitForDrive(id, [](const MountStatus& m) { return m.mounted && m.online; }));
  EXPECT_EQ(RowOf(id)->text(3), QStringLiteral("mounted"));
}

}  // namespace
}  // namespace tarn::app
