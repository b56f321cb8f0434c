#include "ui/startup_checks.h"

#include <gtest/gtest.h>

#include "ui/string_ids.h"
#include "ui/ui_test_harness.h"

namespace tarn::app {
namespace {

TEST(StartupChecks, WhatAStartingTrayDoesAboutTheService) {
  struct Case {
    bool answers;
    bool systemd;
    bool installed;
    bool running;
    ServiceCheck check;
  };
  const Case cases[] = {
      {true, false, false, false, ServiceCheck::kNone},
      {true, true, false, false, ServiceCheck::kNone},
      {false, false, true, true, ServiceCheck::kNoSystemd},
      {false, true, false, false, ServiceCheck::kOfferInstall},
      {false, true, true, false, ServiceCheck::kStart},
      // Running, and about to answer.
      {false, true, true, true, ServiceCheck::kNone},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecideServiceCheck(c.answers, c.systemd, c.installed, c.running), c.check)
        << c.answers << c.systemd << c.installed << c.running;
  }
}

class StartupChecksTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { machine_ = new test::ServiceMachine(); }
  static void TearDownTestSuite() {
    delete machine_;
    machine_ = nullptr;
  }
  void SetUp() override { SetLanguageSetting(kEnglish); }
  void TearDown() override { SetLanguageSetting(kAutomaticLanguage); }

  static test::ServiceMachine* machine_;
  test::AnsweredDialogs dialogs_;
};

test::ServiceMachine* StartupChecksTest::machine_ = nullptr;

TEST(StartupChecks, TheServicesWordOnTheDriverCounts) {
  ServiceStatus without;
  without.ok = true;
  ServiceStatus with = without;
  with.driver.name = "fuse";
  ServiceStatus none;
  none.error = "the service is not running";
  EXPECT_TRUE(DriverMissing(without));
  EXPECT_FALSE(DriverMissing(with));
  EXPECT_FALSE(DriverMissing(none)) << "no answer is no word on the driver";
}

TEST_F(StartupChecksTest, AServiceThatAnswersAndADriverThatIsThereAskNothing) {
  CheckService(dialogs_);
  CheckDriver(dialogs_);
  EXPECT_TRUE(dialogs_.asked.empty());
}

TEST_F(StartupChecksTest, AMissingDriverIsToldWithThePackageToInstall) {
  // The service's settings name a driver this machine does not have.
  vx::json::Value settings = vx::json::Value::object();
  settings.set("mountDriver", "dokan-only");
  std::string error;
  ASSERT_TRUE(RequestSetAppSettings(settings, error)) << error;
  CheckDriver(dialogs_);
  settings.set("mountDriver", "auto");
  ASSERT_TRUE(RequestSetAppSettings(settings, error)) << error;
  ASSERT_EQ(dialogs_.asked.size(), 1u);
  const MessageSpec& told = dialogs_.asked[0];
  EXPECT_EQ(told.caption, Tr(kStrDriverCaption));
  EXPECT_EQ(told.text, FormatText(Tr(kStrDriverMissing), {QStringLiteral("sudo apt install fuse3")}));
  EXPECT_EQ(told.icon, MessageIcon::kWarning);
  EXPECT_EQ(told.buttons, MessageButtons::kOk);

  // In Arabic the command on its line reads left to right.
  SetLanguageByCode("ar");
  settings.set("mountDriver", "dokan-only");
  ASSERT_TRUE(RequestSetAppSettings(settings, error)) << error;
  CheckDriver(dialogs_);
  settings.set("mountDriver", "auto");
  ASSERT_TRUE(RequestSetAppSettings(settings, error)) << error;
  ASSERT_EQ(dialogs_.asked.size(), 2u);
  const QString command = dialogs_.asked[1].text.split(QLatin1Char('\n')).last();
  EXPECT_EQ(command, QChar(0x200F) + LeftToRightText(QStringLiteral("sudo apt install fuse3")));
}

}  // namespace
}  // namespace tarn::app
