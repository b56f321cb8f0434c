#include "ui/tray_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/language.h"
#include "ui/string_ids.h"

namespace tarn::app {
namespace {

MountStatus Drive(const std::string& id, char16_t letter, bool mounted, const std::string& lastError = "",
                  bool offlineMode = false) {
  MountStatus m;
  m.id = id;
  m.name = u"Drive " + std::u16string(id.begin(), id.end());
  m.drive = letter;
  m.mounted = mounted;
  m.online = mounted;
  m.lastError = lastError;
  m.offlineMode = offlineMode;
  return m;
}

ServiceStatus Answered(std::vector<MountStatus> mounts) {
  ServiceStatus s;
  s.ok = true;
  s.version = kTrayVersion;
  s.mounts = std::move(mounts);
  return s;
}

class TrayModelTest : public ::testing::Test {
 protected:
  void SetUp() override { SetLanguageSetting(kEnglish); }
  void TearDown() override { SetLanguageSetting(kAutomaticLanguage); }
};

TEST_F(TrayModelTest, MountedLettersThatCameAndWent) {
  struct Case {
    const char* what;
    ServiceStatus before;
    ServiceStatus after;
    const char* added;
    const char* removed;
  };
  const Case cases[] = {
      {"one mounted, one unmounted", Answered({Drive("a", u'D', true), Drive("b", u'E', false)}),
       Answered({Drive("a", u'D', false), Drive("b", u'E', true)}), "E", "D"},
      {"a letter changed", Answered({Drive("a", u'D', true)}), Answered({Drive("a", u'G', true)}), "G", "D"},
      {"mounted and gone between polls", Answered({Drive("a", u'D', false)}), Answered({Drive("a", u'D', false)}), "",
       ""},
      {"no letter or not one of A to Z", Answered({}), Answered({Drive("a", 0, true), Drive("b", u'd', true)}), "", ""},
      {"first and last letters", Answered({}), Answered({Drive("a", u'A', true), Drive("z", u'Z', true)}), "A Z", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const uint32_t before = MountedDriveMask(c.before);
    const uint32_t after = MountedDriveMask(c.after);
    EXPECT_EQ(DriveLetters(after & ~before), QString::fromLatin1(c.added));
    EXPECT_EQ(DriveLetters(before & ~after), QString::fromLatin1(c.removed));
  }
}

TEST_F(TrayModelTest, AnErrorShowsOnceAndAgainAfterItChangedOrWasCleared) {
  struct Step {
    std::string errorOfA;
    std::string errorOfB;
    std::vector<QString> balloons;
  };
  const Step steps[] = {
      {"server down", "", {"server down"}},
      {"server down", "", {}},
      {"", "", {}},
      {"server down", "timeout", {"server down", "timeout"}},
      {"refused", "timeout", {"refused"}},
  };
  std::map<std::string, std::string> seen;
  int n = 0;
  for (const Step& step : steps) {
    SCOPED_TRACE("poll " + std::to_string(++n));
    const ServiceStatus status =
        Answered({Drive("a", u'D', true, step.errorOfA), Drive("b", u'E', false, step.errorOfB)});
    const std::vector<Balloon> balloons = TakeDriveErrors(seen, status);
    ASSERT_EQ(balloons.size(), step.balloons.size());
    for (size_t i = 0; i < balloons.size(); ++i) {
      EXPECT_EQ(balloons[i].text, step.balloons[i]);
      EXPECT_TRUE(balloons[i].warning);
    }
  }
  const std::vector<Balloon> first = TakeDriveErrors(seen, Answered({Drive("c", u'Q', false, "gone")}));
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].title, QStringLiteral("Drive c (Q:)"));
}

TEST_F(TrayModelTest, TheMenuListsTwentyFourDrivesWithTheirStatesAndCommands) {
  std::vector<MountStatus> drives = {Drive("off", u'D', true, "", true), Drive("on", u'E', true),
                                     Drive("bad", u'F', false, "refused"), Drive("idle", u'G', false)};
  for (int i = 0; drives.size() < 25; ++i) drives.push_back(Drive("x" + std::to_string(i), u'H', false));
  const std::vector<TrayMenuItem> menu = BuildTrayMenu(Answered(drives));

  ASSERT_EQ(menu.size(), 24u + 3u);
  EXPECT_EQ(menu[0].text, QStringLiteral("D:  Drive off  (offline)"));
  EXPECT_EQ(menu[1].text, QStringLiteral("E:  Drive on  (mounted)"));
  EXPECT_EQ(menu[2].text, QStringLiteral("F:  Drive bad  (error)"));
  EXPECT_EQ(menu[3].text, QStringLiteral("G:  Drive idle  (unmounted)"));
  EXPECT_EQ(menu[23].text, QStringLiteral("H:  Drive x19  (unmounted)"));
  EXPECT_TRUE(menu[24].separator);

  const std::vector<TrayMenuItem>& mounted = menu[1].items;
  ASSERT_EQ(mounted.size(), 3u);
  const TrayCommand mountedCommands[] = {TrayCommand::kOpenFolder, TrayCommand::kSyncNow, TrayCommand::kUnmount};
  for (size_t i = 0; i < mounted.size(); ++i) {
    EXPECT_EQ(mounted[i].command, mountedCommands[i]);
    EXPECT_EQ(mounted[i].driveId, "on");
  }
  EXPECT_EQ(mounted[0].text, QStringLiteral("Open folder"));
  ASSERT_EQ(menu[3].items.size(), 1u);
  EXPECT_EQ(menu[3].items[0].command, TrayCommand::kMount);
  EXPECT_EQ(menu[3].items[0].driveId, "idle");

  EXPECT_EQ(menu[25].command, TrayCommand::kOpenSettings);
  EXPECT_TRUE(menu[25].isDefault);
  EXPECT_EQ(menu[26].command, TrayCommand::kExit);
}

// Updates come with the system's packages: the menu offers no update
// command; a drive's commands are grey where the service would refuse them,
// and the menu says why.
TEST_F(TrayModelTest, TheMenuOffersOnlyWhatTheServiceWillDo) {
  const QString admin = QStringLiteral("Drives are managed by an administrator of this computer.");
  MountStatus mounting = Drive("m", u'M', false);
  mounting.mounting = true;
  struct Case {
    const char* what;
    bool ok;
    bool mayManage;
    std::vector<MountStatus> drives;
    bool commandsEnabled;
    bool saysWhy;
  };
  const Case cases[] = {
      {"an administrator", true, true, {Drive("u", u'U', false), Drive("v", u'V', true)}, true, false},
      {"an outsider", true, false, {Drive("u", u'U', false), Drive("v", u'V', true)}, false, true},
      {"no answer", false, true, {Drive("u", u'U', false)}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ServiceStatus s = Answered(c.drives);
    s.ok = c.ok;
    s.mayManageDrives = c.mayManage;
    const std::vector<TrayMenuItem> menu = BuildTrayMenu(s);
    bool said = false;
    for (const TrayMenuItem& item : menu) {
      said = said || item.text == admin;
      for (const TrayMenuItem& command : item.items) {
        // Opening a mounted drive's folder is everyone's.
        const bool expected = command.command == TrayCommand::kOpenFolder || c.commandsEnabled;
        EXPECT_EQ(command.enabled, expected) << command.text.toStdString();
      }
      EXPECT_NE(item.text, QStringLiteral("Auto-update"));
      EXPECT_NE(item.text, QStringLiteral("Check for updates"));
    }
    EXPECT_EQ(said, c.saysWhy);
  }
  const std::vector<TrayMenuItem> slow = BuildTrayMenu(Answered({mounting}));
  EXPECT_EQ(slow[0].text, QStringLiteral("M:  Drive m  (mounting…)"));
  ASSERT_EQ(slow[0].items.size(), 2u);
  EXPECT_EQ(slow[0].items[0].command, TrayCommand::kMount);
  EXPECT_FALSE(slow[0].items[0].enabled) << "a mount that goes on is not asked for twice";
  EXPECT_EQ(slow[0].items[1].command, TrayCommand::kUnmount);
  EXPECT_TRUE(slow[0].items[1].enabled) << "but may be stopped";
}

// The menu says what the window says of each drive: a mount that failed and
// serves only the cache is an error, not "mounted".
TEST_F(TrayModelTest, TheMenuShowsEachDrivesTrueState) {
  struct Case {
    const char* what;
    MountStatus drive;
    const char* text;
  };
  const Case cases[] = {
      {"mounted and online", {.drive = u'D', .mounted = true, .online = true}, "D:  x  (mounted)"},
      {"mounted, its server down", {.drive = u'Q', .mounted = true, .lastError = "network: server down"},
       "Q:  x  (error)"},
      {"mounted, its server silent", {.drive = u'R', .mounted = true}, "R:  x  (error)"},
      {"mounting", {.drive = u'S', .mounting = true}, "S:  x  (mounting…)"},
      {"offline by choice", {.drive = u'T', .mounted = true, .offlineMode = true}, "T:  x  (offline)"},
      {"not mounted", {.drive = u'U'}, "U:  x  (unmounted)"},
      {"not mounted, failed", {.drive = u'V', .lastError = "auth-failed: refused"}, "V:  x  (error)"},
  };
  for (Case c : cases) {
    SCOPED_TRACE(c.what);
    c.drive.id = "x";
    c.drive.name = u"x";
    const std::vector<TrayMenuItem> menu = BuildTrayMenu(Answered({c.drive}));
    EXPECT_EQ(menu[0].text, QString::fromUtf8(c.text));
    EXPECT_EQ(DriveStateWord(c.drive) + QStringLiteral(")"), menu[0].text.mid(menu[0].text.lastIndexOf('(') + 1));
  }
}

// A service that does not answer has no drives to list: the menu says why,
// never "(no drives)".
TEST_F(TrayModelTest, TheMenuSaysWhenTheServiceIsNotRunning) {
  ServiceStatus down;
  down.error = "the service is not running";
  std::vector<TrayMenuItem> menu = BuildTrayMenu(down);
  ASSERT_FALSE(menu.empty());
  EXPECT_EQ(menu[0].text, QStringLiteral("(the service is not running)"));
  EXPECT_FALSE(menu[0].enabled);
  SetLanguageByCode("de");
  menu = BuildTrayMenu(down);
  EXPECT_EQ(menu[0].text, QStringLiteral("(") + Tr(kStrServiceNotRunning) + QStringLiteral(")"));
  // Before the first answer there is nothing to tell yet.
  EXPECT_TRUE(BuildTrayMenu(ServiceStatus())[0].separator);
}

// Each drive's entry carries its link, as the user gave it.
TEST_F(TrayModelTest, ADrivesEntryCarriesItsLink) {
  MountStatus drive = Drive("a", u'D', true);
  drive.protocol = "webdav";
  drive.host = "127.0.0.1";
  drive.port = 8082;
  drive.root = "/dav";
  drive.tls = false;
  EXPECT_EQ(BuildTrayMenu(Answered({drive}))[0].toolTip, QStringLiteral("http://127.0.0.1:8082/dav"));
}

// A sync of a drive offline by choice would send nothing: the menu and the
// window say so.
TEST_F(TrayModelTest, ASyncOfADriveInOfflineModeSaysWhyItSendsNothing) {
  EXPECT_EQ(SyncRefusal(Drive("a", u'D', true, "", true)),
            QStringLiteral("Drive a (D:) is in offline mode: its changes go to the server once it is back online."));
  EXPECT_EQ(SyncRefusal(Drive("b", u'E', true)), QString());
  EXPECT_EQ(SyncRefusal(Drive("c", u'F', false, "", true)), QString()) << "not mounted: Sync is not offered";
}

TEST_F(TrayModelTest, UpdateBalloons) {
  struct Case {
    const char* what;
    UpdateNotices before;
    bool autoUpdate;
    bool checking;
    int64_t lastCheck;
    std::string latest;
    std::string error;
    std::optional<Balloon> balloon;
    UpdateNotices after;
  };
  const QString title = QStringLiteral("Tarn update");
  const Case cases[] = {
      {"automatic, not asked", {}, true, false, 5, "0.4", "", std::nullopt, {}},
      {"by hand, newer",
       {},
       false,
       false,
       5,
       "0.4",
       "",
       Balloon{title, "Version 0.4 is available. Install it from the Tarn menu.", false},
       {false, 0, "0.4"}},
      {"by hand, told already", {false, 0, "0.4"}, false, false, 5, "0.4", "", std::nullopt, {false, 0, "0.4"}},
      {"asked, still checking", {true, 5, ""}, true, true, 9, "0.4", "", std::nullopt, {true, 5, ""}},
      {"asked, not checked yet", {true, 5, ""}, true, false, 5, "0.4", "", std::nullopt, {true, 5, ""}},
      {"asked, failed",
       {true, 5, ""},
       true,
       false,
       9,
       "",
       "no server",
       Balloon{title, "Could not check for updates: no server", true},
       {false, 5, ""}},
      {"asked, newer, automatic",
       {true, 5, ""},
       true,
       false,
       9,
       "0.4",
       "",
       Balloon{title, "Version 0.4 is downloaded and will be installed. The drives go away for a minute.", false},
       {false, 5, "0.4"}},
      {"asked, newer, by hand",
       {true, 5, ""},
       false,
       false,
       9,
       "0.4",
       "",
       Balloon{title, "Version 0.4 is available. Install it from the Tarn menu.", false},
       {false, 5, "0.4"}},
      {"asked, nothing newer",
       {true, 5, ""},
       false,
       false,
       9,
       "0.3.1",
       "",
       Balloon{title, "You have the latest version.", false},
       {false, 5, ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ServiceStatus s = Answered({});
    s.autoUpdate = c.autoUpdate;
    s.update.checking = c.checking;
    s.update.lastCheck = c.lastCheck;
    s.update.latest = c.latest;
    s.update.error = c.error;
    UpdateNotices notices = c.before;
    EXPECT_EQ(TakeUpdateBalloon(notices, s), c.balloon);
    EXPECT_EQ(notices.checkPending, c.after.checkPending);
    EXPECT_EQ(notices.lastAnnounced, c.after.lastAnnounced);
  }
}

TEST_F(TrayModelTest, VersionsAndTheRelaunchDecision) {
  EXPECT_TRUE(IsNewerVersion("0.3.10"));
  EXPECT_TRUE(IsNewerVersion("0.3.1.1"));
  EXPECT_TRUE(IsNewerVersion("1"));
  EXPECT_FALSE(IsNewerVersion("0.3.1"));
  EXPECT_FALSE(IsNewerVersion("0.3.1.0"));
  EXPECT_FALSE(IsNewerVersion("0.2.99"));
  EXPECT_FALSE(IsNewerVersion(""));

  ServiceStatus s = Answered({});
  EXPECT_FALSE(ServiceVersionDiffers(s));
  s.version = "0.3.10";
  EXPECT_TRUE(ServiceVersionDiffers(s));
  s.version = "0.3.0";
  EXPECT_TRUE(ServiceVersionDiffers(s)) << "an older service is another version too";
  s.version = "";
  EXPECT_FALSE(ServiceVersionDiffers(s)) << "a status without a version skips the check";
  s.version = "0.4";
  s.ok = false;
  EXPECT_FALSE(ServiceVersionDiffers(s));

  struct Case {
    bool started;
    std::string atStart;
    std::string now;
    RelaunchStep step;
  };
  const Case cases[] = {
      {false, "5/100", "6/200", RelaunchStep::kRelaunch}, {false, "5/100", "5/101", RelaunchStep::kRelaunch},
      {false, "5/100", "5/100", RelaunchStep::kStay},     {false, "5/100", "", RelaunchStep::kStay},
      {false, "", "5/100", RelaunchStep::kRelaunch},      {true, "5/100", "6/200", RelaunchStep::kNothing},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DecideRelaunch(c.started, c.atStart, c.now), c.step) << c.atStart << " " << c.now;
}

TEST_F(TrayModelTest, TheTipCountsMountedDrivesOrSaysWhyThereIsNoAnswer) {
  EXPECT_EQ(TrayTip(Answered({Drive("a", u'D', true), Drive("b", u'E', false), Drive("c", u'F', true)})),
            QStringLiteral("Tarn — 2 drives"));
  ServiceStatus none;
  none.error = "the service is not running";
  EXPECT_EQ(TrayTip(none), QStringLiteral("Tarn — the service is not running"));
  none.error = std::string(300, 'x');
  EXPECT_EQ(TrayTip(none).size(), kMaxTipChars);
  // In the user's language, not the service client's English.
  SetLanguageByCode("de");
  none.error = "the service is not running";
  EXPECT_EQ(TrayTip(none), QStringLiteral("Tarn — der Dienst läuft nicht"));
}

}  // namespace
}  // namespace tarn::app
