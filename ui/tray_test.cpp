// The tray against a real service: ServiceBody runs on a thread of this
// process on a machine of its own, drives sit on the WebDAV test server (or
// on a fake server the test stops), and the tray is driven through its menu
// as a user would, drawing offscreen.
#include "ui/tray.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "foundation/file_util.h"
#include "platform/relaunch.h"
#include "testing/fake_dav/fake_dav_process.h"
#include "testing/gate.h"
#include "testing/log_capture.h"
#include "testing/tcp_relay.h"
#include "testing/temp_dir.h"
#include "testing/wait_for_file.h"
#include "ui/mount_editor.h"
#include "ui/service_text.h"
#include "ui/settings_window.h"
#include "ui/string_ids.h"
#include "ui/ui_test_harness.h"

namespace tarn::app {
namespace {

using vx::json::Value;

using test::AddDrive;
using test::DavDrive;

const MountStatus* Find(const ServiceStatus& s, const std::string& id) { return FindMount(s, id); }

bool Mounted(const ServiceStatus& s, const std::string& id) {
  const MountStatus* m = Find(s, id);
  return m != nullptr && m->mounted;
}

// The action of a menu, or of the submenu whose title begins with `prefix`.
QAction* MenuAction(QMenu& menu, const QString& prefix, const QString& text) {
  QMenu* in = &menu;
  if (!prefix.isEmpty()) {
    in = nullptr;
    for (QAction* a : menu.actions()) {
      if (a->menu() != nullptr && a->text().startsWith(prefix)) in = a->menu();
    }
    if (in == nullptr) return nullptr;
  }
  for (QAction* a : in->actions()) {
    if (a->text() == text) return a;
  }
  return nullptr;
}

class TrayTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { machine_ = new test::ServiceMachine(); }
  static void TearDownTestSuite() {
    delete machine_;
    machine_ = nullptr;
  }

  void SetUp() override { SetLanguageSetting(kEnglish); }

  void TearDown() override {
    if (state_.window) DestroyTray(state_);
    DestroySettingsWindow();
    SetLanguageSetting(kAutomaticLanguage);
    // Every test leaves the service without drives, as it found it.
    test::RemoveAllDrives();
  }

  // Opens the tray's menu as a click would, built from the status of now.
  QMenu& OpenMenu() {
    state_.menu->popup(QPoint(0, 0));
    EXPECT_TRUE(state_.menu->isVisible());
    return *state_.menu;
  }

  void CloseMenu() { state_.menu->hide(); }

  static test::ServiceMachine* machine_;
  TrayState state_;
};

test::ServiceMachine* TrayTest::machine_ = nullptr;

TEST_F(TrayTest, TheMenuMountsAndUnmountsADriveOfTheService) {
  tarn::test::LogCapture log;
  const std::string id = AddDrive(DavDrive("Team files", "T", tarn::testing::RequiredEnv("TARN_DAV_URL")));
  ASSERT_TRUE(CreateTray(state_));
  ASSERT_TRUE(test::WaitForStatus(state_, [&](const ServiceStatus& s) { return Find(s, id) != nullptr; }));

  QAction* mount = MenuAction(OpenMenu(), "T:  Team files  (unmounted)", "Mount");
  ASSERT_NE(mount, nullptr);
  mount->trigger();
  CloseMenu();
  ASSERT_TRUE(test::WaitForStatus(state_, [&](const ServiceStatus& s) { return Mounted(s, id); }));
  EXPECT_EQ(state_.icon->toolTip(), QStringLiteral("Tarn — 1 drives"));
  EXPECT_EQ(state_.driveMask, 1u << ('T' - 'A'));

  QMenu& menu = OpenMenu();
  EXPECT_NE(MenuAction(menu, "T:  Team files  (mounted)", "Open folder"), nullptr);
  EXPECT_NE(MenuAction(menu, "T:  Team files  (mounted)", "Sync now"), nullptr);
  QAction* unmount = MenuAction(menu, "T:  Team files  (mounted)", "Unmount");
  ASSERT_NE(unmount, nullptr);
  unmount->trigger();
  CloseMenu();
  ASSERT_TRUE(test::WaitForStatus(state_, [&](const ServiceStatus& s) { return !Mounted(s, id); }));
  EXPECT_EQ(state_.icon->toolTip(), QStringLiteral("Tarn — 0 drives"));
  EXPECT_EQ(state_.driveMask, 0u);
  EXPECT_EQ(log.countLines("drives added: T"), 1) << log.text();
  EXPECT_EQ(log.countLines("drives removed: T"), 1) << log.text();
}

TEST_F(TrayTest, AServerOutOfReachIsToldInAWarningBalloon) {
  std::string url;
  {
    tarn::testing::FakeDavProcess server;
    url = server.filesUrl();
  }  // stopped: nothing listens there any more
  const std::string id = AddDrive(DavDrive("Gone", "U", url));
  ASSERT_TRUE(CreateTray(state_));
  QSignalSpy balloons(state_.window.get(), &TrayWindow::balloonShown);
  ASSERT_TRUE(test::WaitForStatus(state_, [&](const ServiceStatus& s) { return Find(s, id) != nullptr; }));

  QAction* mount = MenuAction(OpenMenu(), "U:  Gone  (unmounted)", "Mount");
  ASSERT_NE(mount, nullptr);
  mount->trigger();
  CloseMenu();
  ASSERT_TRUE(test::WaitForStatus(state_, [&](const ServiceStatus& s) {
    const MountStatus* m = Find(s, id);
    return m != nullptr && !m->lastError.empty();
  }));
  const std::string error = Find(state_.status, id)->lastError;
  const auto shown = std::find_if(balloons.begin(), balloons.end(), [&](const QList<QVariant>& b) {
    return b.at(0).toString() == QStringLiteral("Gone (U:)") && b.at(1).toString() == ErrorWords(error);
  });
  ASSERT_NE(shown, balloons.end()) << error;
  EXPECT_TRUE(shown->at(2).toBool()) << "a warning";
  // The mount itself is no success: the drive serves only its cache.
  ASSERT_TRUE(test::WaitFor(state_.window.get(), &TrayWindow::balloonShown, [&] {
    return std::any_of(balloons.begin(), balloons.end(), [](const QList<QVariant>& b) {
      return b.at(0).toString() == QStringLiteral("Gone") && b.at(1).toString().contains("serves only its cache");
    });
  }));
}

// A server that takes the connection and says nothing holds a mount for its
// time-outs: the menu offers Unmount while the drive is mounting, which
// stops the mount at once, and the mount's end, asked for, is no warning.
TEST_F(TrayTest, UnmountInTheMenuStopsAMountThatHangs) {
  uint32_t port = 0;
  const int silent = tarn::testing::ListenOnLoopback(port);
  ASSERT_GE(silent, 0);
  Value drive = DavDrive("Silent", "S", "http://127.0.0.1:" + std::to_string(port) + "/dav");
  Value net = drive["net"];
  // Far longer than any test runs: only the unmount ends the wait.
  net.set("connectTimeoutMs", 3600000);
  net.set("ioTimeoutMs", 3600000);
  drive.set("net", net);
  const std::string id = AddDrive(drive);
  ASSERT_TRUE(CreateTray(state_));
  QSignalSpy balloons(state_.window.get(), &TrayWindow::balloonShown);
  ASSERT_TRUE(test::WaitForStatus(state_, [&](const ServiceStatus& s) { return Find(s, id) != nullptr; }));
  QAction* mount = MenuAction(OpenMenu(), "S:  Silent  (unmounted)", "Mount");
  ASSERT_NE(mount, nullptr);
  mount->trigger();
  CloseMenu();
  ASSERT_TRUE(test::WaitForStatus(state_, [&](const ServiceStatus& s) { return Find(s, id)->mounting; }));

  QAction* unmount = MenuAction(OpenMenu(), "S:  Silent  (mounting…)", "Unmount");
  ASSERT_NE(unmount, nullptr);
  EXPECT_TRUE(unmount->isEnabled());
  unmount->trigger();
  CloseMenu();
  ASSERT_TRUE(test::WaitForStatus(state_, [&](const ServiceStatus& s) {
    const MountStatus* m = Find(s, id);
    return !m->mounting && !m->mounted;
  }));
  EXPECT_EQ(Find(state_.status, id)->lastError, "");
  // The followed mount has ended by the time every worker has.
  ASSERT_TRUE(WaitForWorkers(std::chrono::milliseconds(test::kEventWaitMs)));
  QCoreApplication::sendPostedEvents();
  for (const QList<QVariant>& b : balloons) EXPECT_NE(b.at(0).toString(), QStringLiteral("Silent")) << b.at(1).toString().toStdString();
  ::close(silent);
}

// A status that comes while the menu is open may list the drives in another
// order: each item still acts on the drive it was built for.
TEST_F(TrayTest, MenuCommandsActOnTheDriveTheMenuWasBuiltFor) {
  const std::string url = tarn::testing::RequiredEnv("TARN_DAV_URL");
  const std::string first = AddDrive(DavDrive("First", "V", url));
  const std::string second = AddDrive(DavDrive("Second", "W", url));
  ASSERT_TRUE(CreateTray(state_));
  ASSERT_TRUE(test::WaitForStatus(state_, [&](const ServiceStatus& s) { return s.mounts.size() == 2; }));
  const ServiceStatus inServiceOrder = state_.status;
  ASSERT_EQ(inServiceOrder.mounts[0].id, first);

  ServiceStatus reversed = inServiceOrder;
  std::reverse(reversed.mounts.begin(), reversed.mounts.end());
  OnTrayStatus(state_, reversed);
  QMenu& menu = OpenMenu();
  ASSERT_TRUE(menu.actions().at(0)->text().startsWith("W:"));
  OnTrayStatus(state_, inServiceOrder);
  ASSERT_TRUE(menu.actions().at(0)->text().startsWith("W:")) << "an open menu stays as it was built";
  EXPECT_EQ(menu.findChildren<QMenu*>().size(), 2) << "the submenus of earlier menus are gone";

  QAction* mountSecond = menu.actions().at(0)->menu()->actions().at(0);
  ASSERT_EQ(mountSecond->text(), QStringLiteral("Mount"));
  mountSecond->trigger();
  CloseMenu();
  ASSERT_TRUE(test::WaitForStatus(state_, [&](const ServiceStatus& s) { return Mounted(s, second); }));
  EXPECT_FALSE(Mounted(state_.status, first));
}

// The tray goes while a status is on its way: the status is dropped, and
// neither the tray's state nor its window is touched.
TEST_F(TrayTest, ATrayDestroyedWithAStatusOnItsWayTouchesNothing) {
  tarn::test::Gate held;
  state_.requestStatus = [&held] {
    held.arriveAndWait();
    ServiceStatus s;
    s.ok = true;
    s.mounts.push_back(MountStatus{.id = "x", .name = u"X", .drive = u'X', .lastError = "failed"});
    return s;
  };
  ASSERT_TRUE(CreateTray(state_));
  ASSERT_TRUE(held.waitArrived());
  RefreshStatusAsync(state_);
  RefreshStatusAsync(state_);
  EXPECT_TRUE(state_.statusInFlight) << "one status request at a time";

  DestroyTray(state_);
  held.release();
  ASSERT_TRUE(WaitForWorkers(std::chrono::milliseconds(test::kEventWaitMs)));
  QCoreApplication::processEvents();
  EXPECT_FALSE(state_.status.ok);
  EXPECT_TRUE(state_.seenErrors.empty());
  EXPECT_EQ(CurrentTray(), nullptr);
}

// There is no update server: the menu offers no update command that the
// service would only refuse.
TEST_F(TrayTest, TheMenuOffersNoUpdateCommandsTheServiceRefuses) {
  ASSERT_TRUE(CreateTray(state_));
  ASSERT_TRUE(test::WaitForStatus(state_, [](const ServiceStatus& s) { return s.ok; }));
  QMenu& menu = OpenMenu();
  QStringList texts;
  for (QAction* a : menu.actions()) texts << a->text();
  CloseMenu();
  EXPECT_EQ(texts, (QStringList{"(no drives)", "", "Open Tarn", "Exit"}));
}

// The service was updated but this executable was not replaced: the tray
// stays as it is, tells of no update and hands no status on.
TEST_F(TrayTest, AServiceOfAnotherVersionUnderAnUnchangedExecutableIsStayedWith) {
  tarn::test::LogCapture log;
  ASSERT_TRUE(CreateTray(state_));
  ASSERT_TRUE(test::WaitForStatus(state_, [](const ServiceStatus& s) { return s.ok; }));
  OpenSettings(state_);
  const std::string shown = CurrentSettingsWindow()->status().version;
  QSignalSpy balloons(state_.window.get(), &TrayWindow::balloonShown);

  ServiceStatus other = state_.status;
  other.version = "0.3.10";
  other.autoUpdate = false;
  other.update.latest = "0.4";
  OnTrayStatus(state_, other);
  OnTrayStatus(state_, other);
  EXPECT_TRUE(balloons.isEmpty());
  EXPECT_EQ(CurrentSettingsWindow()->status().version, shown);
  EXPECT_FALSE(state_.relaunchStarted);
  EXPECT_EQ(log.countLines("service runs 0.3.10, this tray is 0.3.1, the exe did not change: staying"), 1)
      << log.text();
}

// The executable file was replaced (a package upgrade): the tray starts it
// to take over once this process has ended, and does so once.
TEST_F(TrayTest, AReplacedExecutableIsStartedToTakeOver) {
  tarn::test::LogCapture log;
  tarn::test::TempDir bin;
  const std::string exe = bin.file("tarn");
  const std::string args = bin.file("args");
  const std::string script = "#!/bin/sh\nprintf '%s\\n' \"$@\" > " + args + ".tmp && mv " + args + ".tmp " + args + "\n";
  ASSERT_TRUE(vx::WriteFileAtomic(exe, script));
  ASSERT_EQ(::chmod(exe.c_str(), 0755), 0);
  ASSERT_TRUE(CreateTray(state_));
  state_.exePath = exe;
  state_.exeStamp = ExeWriteTime(exe);
  ASSERT_TRUE(vx::WriteFileAtomic(exe, script + "# the new version\n"));
  ASSERT_EQ(::chmod(exe.c_str(), 0755), 0);

  ServiceStatus other;
  other.ok = true;
  other.version = "0.4";
  OnTrayStatus(state_, other);
  EXPECT_TRUE(state_.relaunchStarted);
  ASSERT_TRUE(tarn::test::WaitForFile(args, test::kEventWaitMs));
  std::string started;
  ASSERT_TRUE(vx::ReadWholeFile(args, started));
  EXPECT_EQ(started, "--relaunch\n" + std::to_string(::getpid()) + "\n");
  EXPECT_EQ(log.countLines("service runs 0.4, this tray is 0.3.1: relaunching"), 1) << log.text();

  ASSERT_EQ(::unlink(args.c_str()), 0);
  OnTrayStatus(state_, other);
  EXPECT_EQ(log.countLines("relaunching"), 1) << "no second start";
}

// Exit, and a later start's "--quit" (the same call), end the tray whatever
// window is open: a dialog whose request still runs keeps itself open when
// asked to close, and does not hold the application.
TEST_F(TrayTest, ExitEndsTheTrayWhileADialogKeepsItselfOpen) {
  ASSERT_TRUE(CreateTray(state_));
  OpenSettings(state_);
  MountDialog* editor = EditMount(CurrentSettingsWindow(), Value::object(), true, u"", [](const Value&) {});
  auto held = std::make_shared<tarn::test::Gate>();
  editor->probeRequest = [held](const Value&) {
    held->arriveAndWait();
    return ProbeOutcome{};
  };
  editor->findChild<QLineEdit*>("host")->setText(QStringLiteral("https://cloud.example.com/dav"));
  editor->findChild<QPushButton*>("check")->click();
  ASSERT_TRUE(held->waitArrived());

  QAction* exit = MenuAction(OpenMenu(), "", "Exit");
  ASSERT_NE(exit, nullptr);
  QTimer::singleShot(0, exit, &QAction::trigger);
  // The application's own loop, as RunTray runs it; one that Exit did not
  // end is ended here, and the test fails.
  QTimer limit;
  limit.setSingleShot(true);
  QObject::connect(&limit, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  limit.start(test::kEventWaitMs);
  EXPECT_EQ(QApplication::exec(), 0);
  CloseMenu();
  held->release();
}

TEST_F(TrayTest, TheUpdatedBalloonNamesThisVersion) {
  ASSERT_TRUE(CreateTray(state_));
  QSignalSpy balloons(state_.window.get(), &TrayWindow::balloonShown);
  ShowUpdatedBalloon(state_);
  ASSERT_EQ(balloons.count(), 1);
  EXPECT_EQ(balloons.at(0).at(0).toString(), QStringLiteral("Tarn update"));
  EXPECT_EQ(balloons.at(0).at(1).toString(), QStringLiteral("Tarn was updated to version 0.3.1."));
  EXPECT_FALSE(balloons.at(0).at(2).toBool());
}

// Where config.json cannot be read, the language the settings name comes
// with the first status.
TEST_F(TrayTest, TheLanguageOfTheSettingsComesWithTheFirstStatus) {
  std::string error;
  Value german = Value::object();
  german.set("language", "de");
  ASSERT_TRUE(RequestSetAppSettings(german, error)) << error;
  SetLanguageSetting(kAutomaticLanguage);
  state_.languageFromStatus = true;
  ASSERT_TRUE(CreateTray(state_));
  ASSERT_TRUE(test::WaitForStatus(state_, [](const ServiceStatus& s) { return s.ok; }));
  EXPECT_EQ(CurrentLanguageCode(), "de");
  EXPECT_EQ(state_.icon->toolTip(), FormatText(LanguageAt(2).strings[kStrTipDrives], {"0"}));

  Value automatic = Value::object();
  automatic.set("language", "");
  ASSERT_TRUE(RequestSetAppSettings(automatic, error)) << error;
}

TEST_F(TrayTest, RightToLeftLanguagesMirrorTheMenuAndNewWindows) {
  ASSERT_TRUE(CreateTray(state_));
  for (const auto& [code, direction] :
       {std::pair{"ar", Qt::RightToLeft}, std::pair{"fa", Qt::RightToLeft}, std::pair{"de", Qt::LeftToRight}}) {
    SCOPED_TRACE(code);
    test::LanguageScope language(code);
    QMenu& menu = OpenMenu();
    EXPECT_EQ(menu.layoutDirection(), direction);
    CloseMenu();
    OpenSettings(state_);
    EXPECT_EQ(CurrentSettingsWindow()->layoutDirection(), direction);
    DestroySettingsWindow();
  }
}

TEST_F(TrayTest, TheSettingsWindowOpensOnANamedPage) {
  ASSERT_TRUE(CreateTray(state_));
  OpenSettings(state_);
  SettingsWindow* window = CurrentSettingsWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Tarn — network drives"));
  SelectTab("backup");
  EXPECT_EQ(window->currentPage(), kPageBackup);
  SelectTab("nothing");
  EXPECT_EQ(window->currentPage(), kPageBackup);
  // Closing hides it; opening again shows the same window on the same page.
  window->close();
  EXPECT_FALSE(window->isVisible());
  OpenSettings(state_);
  EXPECT_EQ(CurrentSettingsWindow(), window);
  EXPECT_EQ(window->currentPage(), kPageBackup);
}

}  // namespace
}  // namespace tarn::app
