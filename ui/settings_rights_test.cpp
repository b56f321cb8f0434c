// Who manages drives: root may act on them; a user outside the
// administrators sees why every drive command is grey, in the window and in
// the tray's menu, and is not told that the mount driver is missing only
// because they may not open /dev/fuse themselves (the service mounts, and it
// may). That user is this test program run once more as nobody, against the
// service of the first run.
#include <unistd.h>

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>

#include <string>

#include "mount/mount_driver.h"
#include "ui/startup_checks.h"
#include "ui/settings_window.h"
#include "ui/string_ids.h"
#include "ui/tray.h"
#include "ui/ui_test_harness.h"

namespace tarn::app {
namespace {

using test::ChildRun;
using test::RunThisTestAsNobody;

constexpr const char* kOutsiderVariable = "TARN_UI_TEST_DRIVES_OUTSIDER";
constexpr const char* kTestFilter = "--gtest_filter=SettingsRights.OnlyAdministratorsManageDrives";

// The drive's submenu of the tray's menu, and the menu's other entries.
const TrayMenuItem* DriveItem(const std::vector<TrayMenuItem>& menu) {
  for (const TrayMenuItem& item : menu) {
    if (!item.items.empty()) return &item;
  }
  return nullptr;
}

bool MenuHolds(const std::vector<TrayMenuItem>& menu, const QString& text) {
  for (const TrayMenuItem& item : menu) {
    if (item.text == text) return true;
  }
  return false;
}

// What the outsider sees: run as nobody.
void CheckAsOutsider() {
  ASSERT_NE(::getuid(), 0u);
  // This user cannot open the driver; the service, which mounts, can.
  EXPECT_TRUE(DetectMountDriver("auto").name.empty()) << "the test needs /dev/fuse closed to nobody";
  test::AnsweredDialogs dialogs;
  CheckDriver(dialogs);
  EXPECT_TRUE(dialogs.asked.empty()) << dialogs.asked.front().text.toStdString();

  TrayState tray;
  ASSERT_TRUE(CreateTray(tray));
  ASSERT_TRUE(test::WaitForStatus(tray, [](const ServiceStatus& s) { return s.ok && !s.mounts.empty(); }));
  EXPECT_FALSE(tray.status.mayManageDrives);
  const std::vector<TrayMenuItem> menu = BuildTrayMenu(tray.status);
  const TrayMenuItem* drive = DriveItem(menu);
  ASSERT_NE(drive, nullptr);
  ASSERT_EQ(drive->items.size(), 1u);
  EXPECT_EQ(drive->items[0].command, TrayCommand::kMount);
  EXPECT_FALSE(drive->items[0].enabled);
  EXPECT_TRUE(MenuHolds(menu, Tr(kStrDrivesAdminNote))) << "the menu says why";

  OpenSettings(tray);
  SettingsWindow& window = *CurrentSettingsWindow();
  window.drivesList->setCurrentItem(window.drivesList->topLevelItem(0));
  for (int a = 0; a < kActionCount; ++a)
    EXPECT_EQ(window.actionButtons[static_cast<size_t>(a)]->isEnabled(), a == kActionRefresh) << "action " << a;
  for (int page : {kPageDrives, kPageTransfers, kPageLog, kPageSettings}) {
    ShowTab(window, page);
    EXPECT_TRUE(window.note->isVisibleTo(&window)) << "page " << page;
    EXPECT_EQ(window.note->text(), Tr(kStrDrivesAdminNote));
  }
  // The backup page says it of backups itself.
  ShowTab(window, kPageBackup);
  EXPECT_FALSE(window.note->isVisibleTo(&window));
  // The language is the service's, which only root changes: the box is grey
  // and says why, rather than switching the window until it closes.
  EXPECT_FALSE(tray.status.mayChangeSettings);
  ShowTab(window, kPageSettings);
  EXPECT_FALSE(window.languageList->isEnabled());
  EXPECT_TRUE(window.languageNote->isVisibleTo(&window));
  EXPECT_EQ(window.languageNote->text(), Tr(kStrLanguageRootOnly));
  // A change that reaches the service anyway (a status of before) is
  // refused: the window stays in its language and says why.
  test::AnsweredDialogs told;
  QPointer<SettingsWindow> same(&window);
  SetLanguageTask(window, 2);
  ASSERT_TRUE(test::WaitForNext(&window, &SettingsWindow::languageAnswered));
  QCoreApplication::sendPostedEvents();
  EXPECT_FALSE(same.isNull()) << "the window was not rebuilt in a language the service refused";
  EXPECT_EQ(CurrentLanguageCode(), "en");
  ASSERT_EQ(told.asked.size(), 1u);
  EXPECT_EQ(told.asked[0].icon, MessageIcon::kError);
  EXPECT_EQ(window.languageList->currentIndex(), kEnglish + 1);
  DestroySettingsWindow();
  DestroyTray(tray);
}

TEST(SettingsRights, OnlyAdministratorsManageDrives) {
  SetLanguageSetting(kEnglish);
  if (qEnvironmentVariableIsSet(kOutsiderVariable)) {
    CheckAsOutsider();
    return;
  }
  test::ServiceMachine machine;
  test::AddDrive(test::DavDrive("Team", "T", tarn::testing::RequiredEnv("TARN_DAV_URL")));
  {
    TrayState tray;
    ASSERT_TRUE(CreateTray(tray));
    ASSERT_TRUE(test::WaitForStatus(tray, [](const ServiceStatus& s) { return s.ok && !s.mounts.empty(); }));
    EXPECT_TRUE(tray.status.mayManageDrives);
    OpenSettings(tray);
    SettingsWindow& window = *CurrentSettingsWindow();
    window.drivesList->setCurrentItem(window.drivesList->topLevelItem(0));
    EXPECT_TRUE(window.actionButtons[kActionMount]->isEnabled());
    EXPECT_TRUE(window.actionButtons[kActionAdd]->isEnabled());
    EXPECT_FALSE(window.note->isVisibleTo(&window));
    ShowTab(window, kPageSettings);
    EXPECT_TRUE(window.languageList->isEnabled()) << "root chooses the language";
    EXPECT_FALSE(window.languageNote->isVisibleTo(&window));
    const std::vector<TrayMenuItem> menu = BuildTrayMenu(tray.status);
    const TrayMenuItem* drive = DriveItem(menu);
    ASSERT_NE(drive, nullptr);
    EXPECT_TRUE(drive->items[0].enabled);
    DestroySettingsWindow();
    DestroyTray(tray);
  }
  const ChildRun outsider = RunThisTestAsNobody(machine, kTestFilter, kOutsiderVariable);
  EXPECT_EQ(outsider.exitCode, 0) << outsider.output;
  EXPECT_NE(outsider.output.find("[  PASSED  ] 1 test"), std::string::npos) << outsider.output;
  test::RemoveAllDrives();
  SetLanguageSetting(kAutomaticLanguage);
}

}  // namespace
}  // namespace tarn::app
