#include "ui/settings_model.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QLocale>

#include <string>
#include <vector>

#include "testing/json_text.h"
#include "ui/backup_page_model.h"
#include "ui/language.h"
#include "ui/tray_model.h"

namespace tarn::app {
namespace {

using vx::json::Value;

using tarn::test::Json;

class SettingsModelTest : public ::testing::Test {
 protected:
  void SetUp() override { SetLanguageSetting(kEnglish); }
  void TearDown() override { SetLanguageSetting(kAutomaticLanguage); }
};

TEST_F(SettingsModelTest, DriveRowsShowServerStateCacheAndPending) {
  struct Case {
    const char* what;
    MountStatus mount;
    QStringList cells;
  };
  const Case cases[] = {
      {"a plain host gets its protocol",
       {.id = "a", .name = u"Docs", .drive = u'P', .protocol = "sftp", .host = "files.example.com", .root = "/home/x"},
       {"P:", "Docs", "sftp://files.example.com/home/x", "unmounted", "0 B", "0"}},
      {"a whole link keeps its own scheme",
       {.id = "b",
        .name = u"Cloud",
        .drive = u'Q',
        .protocol = "webdav",
        .host = "https://cloud.example.com/dav",
        .root = "/team",
        .mounted = true,
        .online = true,
        .cacheBytes = 1536,
        .pendingUploads = 3},
       {"Q:", "Cloud", "https://cloud.example.com/dav/team", "mounted", "1.5 KiB", "3"}},
      {"offline mode wins over online",
       {.drive = u'R', .protocol = "nfs", .host = "nas", .root = "/", .mounted = true, .online = true,
        .offlineMode = true},
       {"R:", "", "nfs://nas/", "offline", "0 B", "0"}},
      {"a plain-HTTP server on a port of its own",
       {.drive = u'P', .protocol = "webdav", .host = "127.0.0.1", .port = 8081, .root = "/dav", .tls = false},
       {"P:", "", "http://127.0.0.1:8081/dav", "unmounted", "0 B", "0"}},
      {"an SFTP login",
       {.drive = u'O', .protocol = "sftp", .host = "nas", .port = 2222, .root = "/srv", .user = "ann"},
       {"O:", "", "sftp://ann@nas:2222/srv", "unmounted", "0 B", "0"}},
      {"mounted but not reached",
       {.drive = u'S', .protocol = "webdav", .host = "h", .mounted = true, .online = false},
       {"S:", "", "https://h", "error", "0 B", "0"}},
      {"unmounted with an error",
       {.drive = u'T', .protocol = "webdav", .host = "h", .lastError = "connect: refused"},
       {"T:", "", "https://h", "error: connect: refused", "0 B", "0"}},
      {"mounted with an error keeps its word",
       {.drive = u'U', .protocol = "webdav", .host = "h", .mounted = true, .online = true,
        .lastError = "upload: no space"},
       {"U:", "", "https://h", "mounted: upload: no space", "0 B", "0"}},
      {"a mount that goes on",
       {.drive = u'V', .protocol = "webdav", .host = "h", .mounting = true},
       {"V:", "", "https://h", "mounting…", "0 B", "0"}},
      {"an error's words without its code",
       {.drive = u'W', .protocol = "webdav", .host = "h", .mounted = true,
        .lastError = "auth-failed: the server refused the login"},
       {"W:", "", "https://h", "error: the server refused the login", "0 B", "0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(DriveRowTexts(c.mount), c.cells);
  }
}

TEST_F(SettingsModelTest, ButtonsFollowTheSelectedDrive) {
  const ServiceStatus up{.ok = true};
  const DriveButtons none = DriveButtonStates(up, nullptr);
  for (int a = 0; a < kActionCount; ++a)
    EXPECT_EQ(none.enabled[a], a == kActionAdd || a == kActionRefresh) << "action " << a;

  const MountStatus unmounted{.id = "a"};
  const DriveButtons u = DriveButtonStates(up, &unmounted);
  EXPECT_TRUE(u.enabled[kActionMount]);
  EXPECT_FALSE(u.enabled[kActionUnmount] || u.enabled[kActionSync] || u.enabled[kActionClearCache]);
  EXPECT_TRUE(u.enabled[kActionEdit] && u.enabled[kActionRemove] && u.enabled[kActionCheck] &&
              u.enabled[kActionOffline]);
  EXPECT_FALSE(u.offlineSaysOnline);

  const MountStatus offline{.id = "b", .mounted = true, .offlineMode = true};
  const DriveButtons o = DriveButtonStates(up, &offline);
  EXPECT_FALSE(o.enabled[kActionMount]);
  EXPECT_TRUE(o.enabled[kActionUnmount] && o.enabled[kActionSync] && o.enabled[kActionClearCache]);
  EXPECT_TRUE(o.offlineSaysOnline) << "a drive in offline mode is taken back online";

  const MountStatus mounting{.id = "c", .mounting = true};
  EXPECT_FALSE(DriveButtonStates(up, &mounting).enabled[kActionMount]) << "a mount that goes on is not asked again";
  EXPECT_TRUE(DriveButtonStates(up, &mounting).enabled[kActionRemove]);
  EXPECT_TRUE(DriveButtonStates(up, &mounting).enabled[kActionUnmount]) << "a hung mount can be stopped";
  EXPECT_FALSE(DriveButtonStates(up, &mounting).enabled[kActionSync]);

  // Only what can work: nothing without an answer, nothing but a refresh
  // for a user who may not manage drives.
  const ServiceStatus down{.ok = false, .error = "the service is not running"};
  const ServiceStatus outsider{.ok = true, .mayManageDrives = false};
  for (const ServiceStatus* status : {&down, &outsider}) {
    for (const MountStatus* selected : {static_cast<const MountStatus*>(nullptr), &unmounted, &offline}) {
      const DriveButtons b = DriveButtonStates(*status, selected);
      for (int a = 0; a < kActionCount; ++a) EXPECT_EQ(b.enabled[a], a == kActionRefresh) << "action " << a;
    }
  }
}

TEST_F(SettingsModelTest, TheWindowSaysWhatCannotBeDoneAndWhy) {
  struct Case {
    const char* what;
    ServiceStatus status;
    int page;
    QString note;
  };
  const QString down = QStringLiteral("The Tarn service is not running: drives and backups cannot be used until it starts.");
  const QString admin = QStringLiteral("Drives are managed by an administrator of this computer.");
  const Case cases[] = {
      {"no answer yet", {}, kPageDrives, QString()},
      {"not running", {.error = "the service is not running"}, kPageLog, down},
      {"not running, backup page", {.error = "the service is not running"}, kPageBackup, down},
      {"another failure",
       {.error = "cannot reach the service: permission denied"},
       kPageDrives,
       QStringLiteral("Tarn service: cannot reach the service: permission denied")},
      {"an outsider", {.ok = true, .mayManageDrives = false}, kPageTransfers, admin},
      {"an outsider on the backup page, which says it itself", {.ok = true, .mayManageDrives = false}, kPageBackup,
       QString()},
      {"an administrator", {.ok = true}, kPageDrives, QString()},
  };
  for (const Case& c : cases) EXPECT_EQ(WindowNoteText(c.status, c.page), c.note) << c.what;
}

TEST_F(SettingsModelTest, AMountThatDoesNotFinishOrServesOnlyItsCacheIsTold) {
  const MountStatus drive{.id = "d", .name = u"Team", .drive = u'T'};
  struct Case {
    const char* what;
    MountFollowResult result;
    ActionReport report;
  };
  const Case cases[] = {
      {"mounted", {MountEnd::kMounted, "", "/mnt/tarn/T"}, {}},
      {"only the cache",
       {MountEnd::kCacheOnly, "network: the server could not be reached", "/mnt/tarn/T"},
       {ActionReport::kWarning,
        "Team (T:) is mounted at /mnt/tarn/T but serves only its cache: the server could not be reached"}},
      {"slow", {MountEnd::kStillMounting, "", ""},
       {ActionReport::kInformation, "Team (T:) is still being mounted: its server is slow to answer."}},
      {"failed", {MountEnd::kFailed, "io: no usable fuse 3", ""}, {ActionReport::kError, "no usable fuse 3"}},
  };
  for (const Case& c : cases) EXPECT_EQ(MountReport(c.result, drive), c.report) << c.what;
}

TEST_F(SettingsModelTest, TransferRowsShowProgressAndState) {
  struct Case {
    const char* what;
    const char* json;
    QStringList cells;
  };
  const Case cases[] = {
      {"total unknown", R"({"drive":"P","path":"/a.txt","state":"active","upload":true,"done":2048,"total":0})",
       {"P:/a.txt", "↑ upload", "2.0 KiB", "active"}},
      {"percentage truncated",
       R"({"drive":"P","path":"/b","state":"waiting","upload":true,"done":2,"total":3})",
       {"P:/b", "↑ upload", "2 B / 3 B  (66%)", "waiting"}},
      {"retry with its attempt and error",
       R"({"drive":"Q","path":"/c","state":"retry","upload":true,"done":0,"total":10,"attempt":3,"error":"network: reset"})",
       {"Q:/c", "↑ upload", "0 B / 10 B  (0%)", "retry 3: reset"}},
      {"done hides its error",
       R"({"drive":"Q","path":"/d","state":"done","upload":false,"done":10,"total":10,"error":"old"})",
       {"Q:/d", "↓ download", "10 B / 10 B  (100%)", "done"}},
      {"any other word failed",
       R"({"drive":"Q","path":"/e","state":"failed","upload":true,"done":0,"total":0,"error":"stopped"})",
       {"Q:/e", "↑ upload", "0 B", "failed: stopped"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(TransferRowTexts(Json(c.json)), c.cells);
  }
  const TransferRow row = TransferRowFrom(Json(R"({"mount":"m1","path":"/x/y.txt","state":"retry","upload":true})"));
  EXPECT_EQ(row, (TransferRow{"m1", "/x/y.txt", "retry", true}));
  EXPECT_TRUE(CanStopUpload(row));
  EXPECT_FALSE(CanStopUpload({"m1", "/x", "done", true}));
  EXPECT_FALSE(CanStopUpload({"m1", "/x", "active", false})) << "a download is not stopped";
  EXPECT_EQ(TransferFileName("/x/y.txt"), "y.txt");
  EXPECT_EQ(TransferFileName("plain"), "plain");
}

TEST_F(SettingsModelTest, TheLogFollowsTheBottomKeepsAScrolledViewAndLeavesASelectionAlone) {
  std::string last;
  std::optional<LogUpdate> u = TakeLogText(last, "one\r\ntwo\n", LogView{});
  ASSERT_TRUE(u.has_value());
  EXPECT_EQ(u->text, "one\ntwo\n") << "carriage returns dropped";
  EXPECT_TRUE(u->followBottom);

  EXPECT_FALSE(TakeLogText(last, "one\r\ntwo\n", LogView{})) << "an unchanged text is not set again";

  u = TakeLogText(last, "one\ntwo\nthree\n", LogView{.hasSelection = false, .atBottom = false, .firstVisibleLine = 7});
  ASSERT_TRUE(u.has_value());
  EXPECT_FALSE(u->followBottom);
  EXPECT_EQ(u->firstVisibleLine, 7);

  EXPECT_FALSE(TakeLogText(last, "four\n", LogView{.hasSelection = true}));
  EXPECT_EQ(last, "one\ntwo\nthree\n") << "the text held back is shown once the selection ends";
  EXPECT_TRUE(TakeLogText(last, "four\n", LogView{}));
}

TEST_F(SettingsModelTest, CopiedRowsAreTabSeparatedLinesWithCellsCutAt4095) {
  EXPECT_EQ(RowsText({}), QString());
  const QString longCell(5000, QLatin1Char('x'));
  const QString text = RowsText({{"P:", "Docs", ""}, {"Q:", longCell, "end"}});
  EXPECT_EQ(text, "P:\tDocs\t\r\nQ:\t" + QString(4095, QLatin1Char('x')) + "\tend\r\n");
}

TEST_F(SettingsModelTest, TheListMenuOpensAtTheMouseOrTheSelectedRow) {
  EXPECT_EQ(ListMenuPosition(false, QPoint(30, 40), QRect(0, 20, 100, 18)), QPoint(30, 40));
  EXPECT_EQ(ListMenuPosition(true, QPoint(-1, -1), QRect(5, 20, 100, 18)), QPoint(5, 37));
  EXPECT_EQ(ListMenuPosition(true, QPoint(-1, -1), std::nullopt), QPoint(0, 0)) << "no selection: top left";
}

// The language is the service's setting: only root changes it, and only
// while the service runs; the box is grey otherwise, and says why.
TEST_F(SettingsModelTest, TheLanguageIsChosenOnlyWhereTheServiceTakesIt) {
  struct Case {
    const char* what;
    ServiceStatus status;
    bool asked;
    bool enabled;
    QString note;
  };
  const Case cases[] = {
      {"root", {.ok = true}, false, true, QString()},
      {"a change on its way", {.ok = true}, true, false, QString()},
      {"a user who is not root", {.ok = true, .mayChangeSettings = false}, false, false,
       QStringLiteral("Only root changes the language: the service keeps it for every user of this computer.")},
      {"an administrator who is not root", {.ok = true, .mayManageDrives = true, .mayChangeSettings = false}, false,
       false, QStringLiteral("Only root changes the language: the service keeps it for every user of this computer.")},
      {"no service", {.error = "the service is not running"}, false, false,
       QStringLiteral("The language is kept by the service, which is not running.")},
      {"no answer yet", {}, false, false, QString()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Window w;
    w.status = c.status;
    w.languageAsked = c.asked;
    const SettingsPageView v = SettingsPageFor(w);
    EXPECT_EQ(v.languageEnabled, c.enabled);
    EXPECT_EQ(v.languageNote, c.note);
  }
}

// There is no update server: the page says where updates come from, and
// offers nothing to switch on or check.
TEST_F(SettingsModelTest, TheSettingsPageTellsHowUpdatesCome) {
  Window w;
  SettingsPageView v = SettingsPageFor(w);
  EXPECT_EQ(v.installedText, "Installed version " + QString::fromLatin1(kTrayVersion));
  EXPECT_EQ(v.updatesText, "Updates come with the system's packages, through its software updater.");
  SetLanguageByCode("ar");
  v = SettingsPageFor(w);
  EXPECT_TRUE(v.installedText.contains(LeftToRightText(QString::fromLatin1(kTrayVersion))))
      << "the version reads left to right";
}

// One helper words every time of the windows (LocalTimeText): the locale's
// short date and time without seconds, in the Latin digits of the sizes and
// numbers beside it.
TEST_F(SettingsModelTest, FileTimesAreLocalShortDatesWithoutSeconds) {
  EXPECT_EQ(LocalTimeText(0), QString());
  EXPECT_EQ(LocalTimeText(-5), QString());
  const QDateTime at(QDate(2024, 3, 5), QTime(14, 7, 59));
  for (const char* name : {"C", "en_US", "de_DE", "ja_JP", "ar_EG", "fa_IR", "fi_FI"}) {
    SCOPED_TRACE(name);
    QLocale::setDefault(QLocale(QString::fromLatin1(name)));
    const QLocale locale;
    const QString text = LocalTimeText(at.toSecsSinceEpoch());
    EXPECT_TRUE(text.startsWith(LatinDigits(locale.toString(at.date(), QLocale::ShortFormat)))) << text.toStdString();
    EXPECT_TRUE(text.contains(LatinDigits(locale.toString(QTime(14, 7), QStringLiteral("mm"))))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral(":59"))) << text.toStdString();
    for (const QChar c : text) EXPECT_FALSE(c.isDigit() && c.unicode() > u'9') << text.toStdString();
  }
  QLocale::setDefault(QLocale::system());
}

}  // namespace
}  // namespace tarn::app
