// Every window and menu of the tray drawn in every language, written to
// ui-shots/ of the build folder for anyone to look at (CTest runs it at
// scale 1 and 2), each checked for texts that do not fit their widgets; and
// fonts for every text of every language, so that nothing is drawn as boxes.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>

#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/relaunch.h"
#include "ui/app_icon.h"
#include "ui/mount_editor.h"
#include "ui/mount_editor_model.h"
#include "ui/settings_window.h"
#include "ui/startup_checks.h"
#include "ui/string_ids.h"
#include "ui/tray_model.h"
#include "ui/tray.h"
#include "ui/ui_test_harness.h"
#include "ui/ui_test_text_fit.h"

namespace tarn::app {
namespace {

constexpr int kIconShotSize = 32;

MountStatus Drive(const std::string& id, char16_t letter, const std::u16string& name, bool mounted,
                  bool offlineMode = false, const std::string& lastError = "") {
  MountStatus m;
  m.id = id;
  m.drive = letter;
  m.name = name;
  m.mounted = mounted;
  m.offlineMode = offlineMode;
  m.lastError = lastError;
  m.online = mounted;
  m.protocol = "webdav";
  m.host = "cloud.example.com";
  m.root = "/remote.php/dav/files/ann/" + id;
  m.cacheBytes = mounted ? 734003200 : 0;
  m.pendingUploads = offlineMode ? 12 : 0;
  return m;
}

// A drive in each state (one mounted whose server is down, so that it
// serves only its cache, and one still mounting among them), on servers of
// their own ports, and an update to install.
ServiceStatus ShotStatus() {
  ServiceStatus s;
  s.ok = true;
  s.version = kTrayVersion;
  s.update.latest = "0.4.0";
  MountStatus down = Drive("q", u'Q', u"Server down", true, false,
                           "network: connect: Connection refused");
  down.online = false;
  down.host = "127.0.0.1";
  down.port = 8081;
  down.root = "/dav";
  down.tls = false;
  MountStatus slow = Drive("r", u'R', u"Silent server", false);
  slow.mounting = true;
  slow.host = "127.0.0.1";
  slow.port = 8082;
  slow.root = "/dav";
  s.mounts = {Drive("d", u'D', u"Documents", true), Drive("e", u'E', u"Photos", true, true),
              Drive("f", u'F', u"Archive", false, false, "connect: the server could not be reached"),
              Drive("g", u'G', u"Team & projects", false), down, slow};
  return s;
}

// A tray whose status is always the screenshots' one.
bool StartShotTray(TrayState& state) {
  state.requestStatus = [] { return ShotStatus(); };
  if (!CreateTray(state)) return false;
  OnTrayStatus(state, ShotStatus());
  return true;
}

class Shots {
 public:
  explicit Shots(std::string code) : code_(std::move(code)) {}

  // Every text of the widget fits it at the size it is shown at, and its
  // picture is written. A menu sizes itself as it pops up, and lets no
  // event in meanwhile: a status handed to the tray would build it anew.
  void take(QWidget& widget, const QString& name, bool settle = true) {
    if (settle) test::SettleLayouts();
    const std::string cut = test::TextsThatDoNotFit(widget);
    EXPECT_TRUE(cut.empty()) << name.toStdString() << " in " << code_ << ":\n" << cut;
    const QString file = test::SaveScreenshot(widget, name, code_);
    EXPECT_GT(QFileInfo(file).size(), 0) << name.toStdString();
  }

  void takeBoxes(const std::map<QString, MessageSpec>& boxes) {
    for (const auto& [name, spec] : boxes) {
      std::unique_ptr<QMessageBox> box = MakeMessageBox(nullptr, spec);
      box->show();
      take(*box, name);
    }
  }

  void takeMenu(QMenu& menu, const QString& name) {
    menu.popup(QPoint(0, 0));
    take(menu, name, false);
    menu.hide();
  }

 private:
  std::string code_;
};

TEST(Screenshots, EveryWindowAndMenuOfTheTray) {
  for (const std::string& code : test::ShotLanguages()) {
    SCOPED_TRACE(code);
    test::LanguageScope language(code);
    Shots shots(code);
    TrayState state;
    ASSERT_TRUE(StartShotTray(state));

    shots.takeMenu(*state.menu, "tray-menu");
    int submenu = 0;
    for (QAction* a : state.menu->actions()) {
      if (a->menu() != nullptr) shots.takeMenu(*a->menu(), QStringLiteral("tray-menu-drive-%1").arg(++submenu));
    }
    OpenSettings(state);
    shots.take(*CurrentSettingsWindow(), "settings-window");
    DestroySettingsWindow();

    // A user who may not manage drives, and a service that does not run.
    ServiceStatus outsider = ShotStatus();
    outsider.mayManageDrives = false;
    OnTrayStatus(state, outsider);
    shots.takeMenu(*state.menu, "tray-menu-outsider");
    OpenSettings(state);
    CurrentSettingsWindow()->drivesList->setCurrentItem(CurrentSettingsWindow()->drivesList->topLevelItem(2));
    shots.take(*CurrentSettingsWindow(), "settings-window-outsider");
    // Not root: the language is the service's, and the page says why it
    // cannot be chosen here.
    outsider.mayChangeSettings = false;
    OnTrayStatus(state, outsider);
    ShowTab(*CurrentSettingsWindow(), kPageSettings);
    shots.take(*CurrentSettingsWindow(), "settings-settings-outsider");
    ServiceStatus gone;
    gone.error = "the service is not running";
    OnTrayStatus(state, gone);
    shots.takeMenu(*state.menu, "tray-menu-no-service");
    shots.take(*CurrentSettingsWindow(), "settings-settings-no-service");
    ShowTab(*CurrentSettingsWindow(), kPageDrives);
    shots.take(*CurrentSettingsWindow(), "settings-window-no-service");
    DestroySettingsWindow();

    const std::map<QString, MessageSpec> boxes = {
        {"message-service-missing",
         {Tr(kStrServiceCaption), Tr(kStrServiceMissing), MessageIcon::kQuestion, MessageButtons::kAcceptCancel,
          Tr(kStrInstall), false}},
        {"message-driver-missing",
         {Tr(kStrDriverCaption),
          FormatText(Tr(kStrDriverMissing), {LeftToRightText(QString::fromLatin1(kInstallDriverCommand))}),
          MessageIcon::kWarning,
          MessageButtons::kOk,
          {},
          false}},
        {"message-administrator",
         {Tr(kStrServiceCaption),
          FormatText(Tr(kStrNeedsAdministrator), {LeftToRightText(QString::fromStdString(ElevatedCommand({"install"})))}),
          MessageIcon::kWarning,
          MessageButtons::kOk,
          {},
          false}},
        {"message-no-systemd",
         {Tr(kStrServiceCaption), Tr(kStrNoSystemd), MessageIcon::kInformation, MessageButtons::kOk, {}, false}},
    };
    shots.takeBoxes(boxes);

    QLabel icon;
    icon.setPixmap(AppIcon().pixmap(kIconShotSize));
    icon.adjustSize();
    shots.take(icon, "tray-icon");
    DestroyTray(state);
  }
}

// Transfers in each state and a log with a long line, for the pages that
// show them.
bool ShotTransfers(vx::json::Value& transfers, std::string&) {
  const char* text =
      R"([{"mount":"d","drive":"D","path":"/Reports/2024/summary.pdf","state":"active","upload":true,)"
      R"("done":3145728,"total":8388608,"attempt":0,"error":""},)"
      R"({"mount":"d","drive":"D","path":"/Reports/notes.txt","state":"waiting","upload":true,"done":0,"total":0},)"
      R"({"mount":"e","drive":"E","path":"/Holiday/IMG_2041.jpg","state":"retry","upload":true,"done":0,)"
      R"("total":4194304,"attempt":3,"error":"network: the connection was reset"},)"
      R"({"mount":"e","drive":"E","path":"/Holiday/IMG_2040.jpg","state":"done","upload":false,"done":524288,)"
      R"("total":524288}])";
  return vx::json::Parse(text, transfers);
}

bool ShotLog(int, std::string& text, std::string&) {
  text =
      "2026-03-05 09:14:02.118 [INFO ] Tarn service 0.3.1 (office-pc) starting\r\n"
      "2026-03-05 09:14:02.530 [INFO ] Documents: mounted at /mnt/tarn/D\r\n"
      "2026-03-05 09:15:40.004 [WARN ] put: network: the connection was reset (attempt 2)\r\n"
      "2026-03-05 09:15:41.771 [INFO ] d: uploaded /Reports/2024/summary.pdf (8.0 MiB)\r\n";
  return true;
}

// A drive as the status carries it.
vx::json::Value ShotDrive() {
  vx::json::Value drive;
  vx::json::Parse(R"({"id":"d","name":"Documents","drive":"D","endpoint":{"protocol":"webdav",)"
                  R"("host":"cloud.example.com","root":"/remote.php/dav/files/ann","user":"ann","hasPassword":true}})",
                  drive);
  return drive;
}

// A server check as the service reports it: one that can be used, with
// warnings, or one that refused the log-in.
ProbeOutcome ShotProbe(bool usable) {
  ProbeOutcome outcome;
  outcome.ok = true;
  outcome.reportOk = usable;
  const char* items =
      usable ? R"json({"items":[{"level":"ok","check":"connect","message":"connected (Apache/2.4.57)"},
               {"level":"ok","check":"stat","message":"size and attributes read back"},
               {"level":"ok","check":"random-write","message":"writes at an offset work (uploads send only changed blocks)"},
               {"level":"warn","check":"mtime","message":"server keeps its own modification time; copied files will show the upload time"},
               {"level":"warn","check":"range","message":"the server (or a caching proxy in front of it) ignores Range requests; files are read as one stream from the start, and opening a big file in the middle waits for everything before it"}]})json"
             : R"json({"items":[{"level":"fail","check":"connect","message":"auth-failed: credentials rejected (401)"}]})json";
  vx::json::Parse(items, outcome.report);
  return outcome;
}

TEST(Screenshots, EveryPageOfTheSettingsWindowAndTheDriveEditor) {
  constexpr const char* kPageShots[kPageCount] = {"settings-drives", "settings-backup", "settings-transfers",
                                                  "settings-log", "settings-settings"};
  constexpr const char* kEditorShots[kMountPageCount] = {"editor-connection", "editor-network", "editor-cache",
                                                         "editor-compatibility"};
  for (const std::string& code : test::ShotLanguages()) {
    SCOPED_TRACE(code);
    test::LanguageScope language(code);
    Shots shots(code);
    TrayState state;
    ASSERT_TRUE(StartShotTray(state));
    OpenSettings(state);
    SettingsWindow& window = *CurrentSettingsWindow();
    window.requestTransfers = ShotTransfers;
    window.requestLog = ShotLog;
    window.drivesList->setCurrentItem(window.drivesList->topLevelItem(0));
    for (int page = 0; page < kPageCount; ++page) {
      ShowTab(window, page);
      if (page == kPageTransfers) {
        ASSERT_TRUE(test::WaitFor(&window, &SettingsWindow::transfersShown, [&] { return !window.transfersInFlight; }));
      }
      if (page == kPageLog) {
        ASSERT_TRUE(test::WaitFor(&window, &SettingsWindow::logShown, [&] { return !window.logInFlight; }));
      }
      shots.take(window, QString::fromLatin1(kPageShots[page]));
    }

    MountDialog* editor = EditMount(&window, ShotDrive(), false, u"EFQ", [](const vx::json::Value&) {});
    for (int page = 0; page < kMountPageCount; ++page) {
      ShowMountPage(*editor, page);
      shots.take(*editor, QString::fromLatin1(kEditorShots[page]));
    }
    // The letter list open: every letter reads "D:", in use or not.
    ShowMountPage(*editor, kPageConnection);
    auto* letters = editor->findChild<QComboBox*>(QStringLiteral("letter"));
    letters->showPopup();
    shots.take(*letters->view()->window(), QStringLiteral("editor-letter-list"), false);
    letters->hidePopup();
    editor->close();
    MountDialog* added = EditMount(&window, vx::json::Value::object(), true, u"DEFP", [](const vx::json::Value&) {});
    shots.take(*added, QStringLiteral("editor-new-drive"));
    added->close();
    QDialog* report = ShowProbeReport(&window, ShotProbe(true));
    shots.take(*report, QStringLiteral("probe-report"));
    report->close();
    report = ShowProbeReport(&window, ShotProbe(false));
    shots.take(*report, QStringLiteral("probe-report-refused"));
    report->close();

    const MountStatus far = ShotStatus().mounts[2];
    uint64_t ignored = 0;
    QString numberError;
    IntFromDlgItem(QStringLiteral("-1"), kFieldCacheSize, ignored, numberError);
    const std::map<QString, MessageSpec> boxes = {
        {"message-remove-drive",
         {Tr(kStrRemoveCaption), FormatText(Tr(kStrRemoveQuestion), {QStringLiteral("Documents")}),
          MessageIcon::kQuestion, MessageButtons::kAcceptCancel, Tr(kStrRemove), true}},
        {"message-stop-upload",
         {Tr(kStrTarn), FormatText(Tr(kStrStopUploadQuestion), {QStringLiteral("summary.pdf")}), MessageIcon::kQuestion,
          MessageButtons::kAcceptCancel, Tr(kStrStop), true}},
        {"message-number-field", {Tr(kStrTarn), numberError, MessageIcon::kWarning, MessageButtons::kOk, {}, false}},
        {"message-cache-only",
         {Tr(kStrTarn),
          MountReport({MountEnd::kCacheOnly, "network: the server could not be reached", "/mnt/tarn/F"}, far).text,
          MessageIcon::kWarning, MessageButtons::kOk, {}, false}},
        {"message-still-mounting",
         {Tr(kStrTarn), MountReport({MountEnd::kStillMounting, "", ""}, far).text, MessageIcon::kInformation,
          MessageButtons::kOk, {}, false}},
    };
    shots.takeBoxes(boxes);
    DestroySettingsWindow();
    DestroyTray(state);
  }
}

QFontDatabase::WritingSystem ScriptOf(const std::string& code) {
  static const std::map<std::string, QFontDatabase::WritingSystem> kScripts = {
      {"ru", QFontDatabase::Cyrillic},          {"ar", QFontDatabase::Arabic},   {"fa", QFontDatabase::Arabic},
      {"zh", QFontDatabase::SimplifiedChinese}, {"ja", QFontDatabase::Japanese}, {"ko", QFontDatabase::Korean},
      {"vi", QFontDatabase::Vietnamese},
  };
  const auto at = kScripts.find(code);
  return at != kScripts.end() ? at->second : QFontDatabase::Latin;
}

TEST(Screenshots, EveryTextOfEveryLanguageHasAFont) {
  std::map<QString, std::unique_ptr<QFontMetrics>> metrics;
  auto has = [&metrics](const QString& family, char32_t c) {
    std::unique_ptr<QFontMetrics>& m = metrics[family];
    if (!m) m = std::make_unique<QFontMetrics>(QFont(family));
    return m->inFontUcs4(c);
  };
  for (int index = 0; index < kLanguageCount; ++index) {
    const Language& language = LanguageAt(index);
    SCOPED_TRACE(language.code);
    std::set<char32_t> chars;
    for (const auto& [first, last] : kUsedStringIds) {
      for (int id = first; id <= last; ++id) {
        for (char32_t c : language.strings[static_cast<size_t>(id)].toStdU32String()) {
          if (c > U' ') chars.insert(c);
        }
      }
    }
    // The language's own fonts first, then any other font Qt could fall
    // back to.
    QStringList families = QFontDatabase::families(ScriptOf(language.code));
    families << QFontDatabase::families();
    for (char32_t c : chars) {
      const bool found = std::any_of(families.begin(), families.end(), [&](const QString& f) { return has(f, c); });
      EXPECT_TRUE(found) << "no font has U+" << std::hex << static_cast<uint32_t>(c);
    }
  }
}

}  // namespace
}  // namespace tarn::app
