// The window when the service does not run: it says so, in the user's
// language, and offers only what can work. No service answers on this test's
// machine.
#include <stdlib.h>

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "testing/temp_dir.h"
#include "ui/backup_page.h"
#include "ui/settings_window.h"
#include "ui/string_ids.h"
#include "ui/tray.h"
#include "ui/ui_test_harness.h"

namespace tarn::app {
namespace {

TEST(SettingsWindowWithoutService, TheWindowSaysTheServiceIsNotRunningAndOffersOnlyARefresh) {
  tarn::test::TempDir machine("tarn-ui-no-service", 0755);
  ::setenv("TARN_ROOT", machine.path().c_str(), 1);
  for (const char* code : {"en", "de"}) {
    SCOPED_TRACE(code);
    test::LanguageScope language(code);
    TrayState tray;
    ASSERT_TRUE(CreateTray(tray));
    ASSERT_TRUE(test::WaitForStatus(tray, [](const ServiceStatus& s) { return !s.error.empty(); }));
    EXPECT_EQ(tray.icon->toolTip(), Tr(kStrTarn) + QStringLiteral(" — ") + Tr(kStrServiceNotRunning));

    OpenSettings(tray);
    SettingsWindow& window = *CurrentSettingsWindow();
    for (int a = 0; a < kActionCount; ++a)
      EXPECT_EQ(window.actionButtons[static_cast<size_t>(a)]->isEnabled(), a == kActionRefresh) << "action " << a;
    for (int page = 0; page < kPageCount; ++page) {
      ShowTab(window, page);
      EXPECT_TRUE(window.note->isVisibleTo(&window)) << "page " << page;
      EXPECT_EQ(window.note->text(), Tr(kStrServiceDown));
    }
    // The backup page's list could not be fetched: none of its commands.
    ShowTab(window, kPageBackup);
    ASSERT_TRUE(test::WaitForNext(window.backupPage, &BackupPage::listTaken));
    for (int c = 0; c < kPageCommandCount; ++c) EXPECT_FALSE(window.backupPage->button(c)->isEnabled()) << c;
    // The log is the service's: none, and why, in the user's language.
    ShowTab(window, kPageLog);
    ASSERT_TRUE(test::WaitFor(&window, &SettingsWindow::logShown, [&] { return !window.logInFlight; }));
    EXPECT_EQ(window.logView->toPlainText(), QString());
    EXPECT_EQ(window.logView->placeholderText(), Tr(kStrServiceNotRunning));
    // The language is the service's to keep: the box is grey, and says why.
    ShowTab(window, kPageSettings);
    EXPECT_FALSE(window.languageList->isEnabled());
    EXPECT_TRUE(window.languageNote->isVisibleTo(&window));
    EXPECT_EQ(window.languageNote->text(), Tr(kStrLanguageNoService));
    // The tray's menu lists no drives as if there were none: it says why.
    const std::vector<TrayMenuItem> menu = BuildTrayMenu(tray.status);
    ASSERT_FALSE(menu.empty());
    EXPECT_EQ(menu[0].text, QStringLiteral("(") + Tr(kStrServiceNotRunning) + QStringLiteral(")"));
    EXPECT_FALSE(menu[0].enabled);
    DestroySettingsWindow();
    DestroyTray(tray);
  }
}

}  // namespace
}  // namespace tarn::app
