// Every window and menu of the tray drawn in English, German, Arabic and
// Japanese, written to ui-shots/ of the build folder for anyone to look at
// (CTest runs it at scale 1 and 2); and fonts for every text of every
// language, so that nothing is drawn as boxes.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>

#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/relaunch.h"
#include "ui/app_icon.h"
#include "ui/settings_window.h"
#include "ui/string_ids.h"
#include "ui/tray.h"
#include "ui/ui_test_harness.h"

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
  return m;
}

// A drive in each state, and an update to install.
ServiceStatus ShotStatus() {
  ServiceStatus s;
  s.ok = true;
  s.version = kTrayVersion;
  s.update.latest = "0.4.0";
  s.mounts = {Drive("d", u'D', u"Documents", true), Drive("e", u'E', u"Photos", true, true),
              Drive("f", u'F', u"Archive", false, false, "connect: the server could not be reached"),
              Drive("g", u'G', u"Team & projects", false)};
  return s;
}

class Shots {
 public:
  explicit Shots(std::string code) : code_(std::move(code)) {}

  void take(QWidget& widget, const QString& name) {
    const QString file = test::SaveScreenshot(widget, name, code_);
    EXPECT_GT(QFileInfo(file).size(), 0) << name.toStdString();
  }

  void takeMenu(QMenu& menu, const QString& name) {
    menu.popup(QPoint(0, 0));
    take(menu, name);
    menu.hide();
  }

 private:
  std::string code_;
};

TEST(Screenshots, EveryWindowAndMenuOfTheTray) {
  for (const std::string& code : test::kShotLanguages) {
    SCOPED_TRACE(code);
    test::LanguageScope language(code);
    Shots shots(code);
    TrayState state;
    state.requestStatus = [] { return ShotStatus(); };
    ASSERT_TRUE(CreateTray(state));
    OnTrayStatus(state, ShotStatus());

    shots.takeMenu(*state.menu, "tray-menu");
    int submenu = 0;
    for (QAction* a : state.menu->actions()) {
      if (a->menu() != nullptr) shots.takeMenu(*a->menu(), QStringLiteral("tray-menu-drive-%1").arg(++submenu));
    }
    ServiceStatus gone;
    gone.error = "the service is not running";
    OnTrayStatus(state, gone);
    shots.takeMenu(*state.menu, "tray-menu-no-service");

    OpenSettings(state);
    shots.take(*CurrentSettingsWindow(), "settings-window");
    DestroySettingsWindow();

    const std::map<QString, MessageSpec> boxes = {
        {"message-service-missing",
         {Tr(kStrServiceCaption), Tr(kStrServiceMissing), MessageIcon::kQuestion, MessageButtons::kAcceptCancel,
          Tr(kStrInstall), false}},
        {"message-driver-missing",
         {Tr(kStrDriverCaption), Tr(kStrDriverMissing), MessageIcon::kWarning, MessageButtons::kOk, {}, false}},
        {"message-administrator",
         {Tr(kStrServiceCaption),
          FormatText(Tr(kStrNeedsAdministrator), {QString::fromStdString(ElevatedCommand({"install"}))}),
          MessageIcon::kWarning,
          MessageButtons::kOk,
          {},
          false}},
        {"message-no-systemd",
         {Tr(kStrServiceCaption), Tr(kStrNoSystemd), MessageIcon::kInformation, MessageButtons::kOk, {}, false}},
    };
    for (const auto& [name, spec] : boxes) {
      std::unique_ptr<QMessageBox> box = MakeMessageBox(nullptr, spec);
      box->show();
      shots.take(*box, name);
    }

    QLabel icon;
    icon.setPixmap(AppIcon().pixmap(kIconShotSize));
    icon.adjustSize();
    shots.take(icon, "tray-icon");
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
