// Who manages backups: root sees the jobs and may act on them; a user
// outside the administrators is refused every backup request by the
// service, and the page then says so and offers no command. That user is
// this test program run once more as nobody, against the service of the
// first run.
#include "ui/backup_page.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include <filesystem>
#include <string>
#include <vector>

#include "ui/string_ids.h"
#include "ui/ui_test_harness.h"

namespace tarn::app {
namespace {

using test::ChildRun;
using test::kNobody;
using test::RunAsNobody;
using vx::json::Value;

// Set in the run as nobody.
constexpr const char* kOutsiderVariable = "TARN_UI_TEST_OUTSIDER";
constexpr const char* kTestFilter = "--gtest_filter=BackupPageRights.OnlyAdministratorsManageBackups";

// Shows a page and waits for its first list.
void ShowAndList(BackupPage& page) {
  page.show();
  ASSERT_TRUE(test::WaitForNext(&page, &BackupPage::listTaken));
}

TEST(BackupPageRights, OnlyAdministratorsManageBackups) {
  SetLanguageSetting(kEnglish);
  if (qEnvironmentVariableIsSet(kOutsiderVariable)) {
    ASSERT_NE(::getuid(), 0u);
    BackupPage page;
    ShowAndList(page);
    EXPECT_TRUE(page.refusedByRights());
    EXPECT_EQ(page.note()->text(), QStringLiteral("Backups are set up by an administrator of this computer."));
    EXPECT_EQ(page.list()->topLevelItemCount(), 0);
    for (int c = 0; c < kPageCommandCount; ++c) EXPECT_FALSE(page.button(c)->isEnabled()) << c;
    return;
  }

  test::ServiceMachine machine;
  Value reply;
  std::string error;
  ASSERT_TRUE(RequestBackup(
      "backupSet", "",
      [](Value& request) {
        Value job;
        vx::json::Parse(R"({"name":"Home","sources":["/home"],"password":"p","schedule":{"mode":"manual"},
            "endpoint":{"protocol":"sftp","host":"127.0.0.1","port":1,"root":"/backups"}})",
                        job);
        request.set("job", job);
      },
      reply, error))
      << error;

  {
    BackupPage page;
    ShowAndList(page);
    EXPECT_FALSE(page.refusedByRights());
    EXPECT_EQ(page.note()->text(), Tr(kStrBackupNote));
    ASSERT_EQ(page.list()->topLevelItemCount(), 1);
    EXPECT_TRUE(page.button(kCommandAdd)->isEnabled());
    page.list()->setCurrentItem(page.list()->topLevelItem(0));
    EXPECT_TRUE(page.button(kCommandEdit)->isEnabled());
    EXPECT_TRUE(page.button(kCommandRemove)->isEnabled());
  }

  const ChildRun outsider = RunThisTestAsNobody(machine, kTestFilter, kOutsiderVariable);
  EXPECT_EQ(outsider.exitCode, 0) << outsider.output;
  EXPECT_NE(outsider.output.find("[  PASSED  ] 1 test"), std::string::npos) << outsider.output;
  SetLanguageSetting(kAutomaticLanguage);
}

}  // namespace
}  // namespace tarn::app
