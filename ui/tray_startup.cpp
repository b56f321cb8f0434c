#include "ui/tray_startup.h"

#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>

#include <cstdio>

#include "foundation/config_file.h"
#include "foundation/file_util.h"
#include "foundation/json.h"
#include "foundation/log.h"
#include "ui/app_icon.h"
#include "ui/dialogs.h"
#include "ui/language.h"
#include "ui/settings_window.h"
#include "ui/single_instance.h"
#include "ui/startup_checks.h"
#include "ui/tray.h"

namespace tarn::app {
namespace {

// QApplication keeps a reference to the argument count and list.
int g_argc = 1;
char g_program[] = "tarn";
char* g_argv[] = {g_program, nullptr};

// The settings as the file holds them, without opening its secrets. False
// when it cannot be read (it may belong to root alone).
bool ReadAppSettings(AppConfig& settings) {
  std::string text;
  vx::json::Value v;
  if (!vx::ReadWholeFile(ConfigPath(), text) || !vx::json::Parse(text, v) || !v.isObject()) return false;
  settings = AppConfigFromJson(v);
  return true;
}

// Qt needs a display server, unless a platform was named for it.
bool HasDesktop() {
  return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
         !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

}  // namespace

QString UserDataDir() {
  static const QString dir = [] {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty()) {
      const QString home = qEnvironmentVariable("HOME");
      state = home.isEmpty() ? QDir::tempPath() + QStringLiteral("/tarn-") + QString::number(::getuid())
                             : home + QStringLiteral("/.local/state");
    }
    const QString path = state + QStringLiteral("/tarn");
    QDir().mkpath(path);
    return path;
  }();
  return dir;
}

int RunTray(bool show, bool quit, bool updated, const QString& tab) {
  const QString runtime = RuntimeFolder();
  SingleInstance instance(runtime);
  const SingleInstance::Claim claim = instance.claim();
  if (claim == SingleInstance::Claim::kOtherRuns) {
    // No window is shown here, so no display is needed.
    QCoreApplication app(g_argc, g_argv);
    switch (AskRunningTray(runtime, quit ? QByteArrayLiteral("quit") : QByteArrayLiteral("show"))) {
      case TrayAnswer::kNoAnswer:
        std::fputs("tarn: Tarn runs for this user but did not answer; try again once it has started\n", stderr);
        return 1;
      case TrayAnswer::kStillRuns:
        std::fprintf(stderr, "tarn: the running Tarn was asked to end but still runs after %d s\n",
                     kQuitWaitMs / 1000);
        return 1;
      case TrayAnswer::kDone:
        break;
    }
    std::fputs(quit ? "tarn: the running Tarn has ended\n" : "tarn: the running Tarn shows its window\n", stdout);
    return 0;
  }
  if (quit) {
    std::fputs("tarn: Tarn does not run for this user\n", stdout);
    return 0;
  }
  if (!HasDesktop()) {
    std::fputs(
        "tarn: there is no desktop to show the tray on (DISPLAY is not set); \"tarn help\" lists the "
        "console commands\n",
        stderr);
    return 1;
  }

  vx::log::open(UserDataDir().toStdString(), "tray");
  vx::log::write(vx::log::kInfo, "Tarn tray %s starting", kTrayVersion);
  AppConfig settings;
  const bool settingsRead = ReadAppSettings(settings);
  SetLanguageByCode(settings.language);

  QApplication app(g_argc, g_argv);
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(AppIcon());
  ApplyLayout();

  // Later starts are answered from now on, also while the start-up checks
  // wait for the user; what they ask is done once the tray is up.
  TrayState state;
  bool showAsked = false;
  bool quitAsked = false;
  QObject::connect(&instance, &SingleInstance::showRequested, &app, [&] {
    if (state.window) OpenSettings(state);
    else showAsked = true;
  });
  QObject::connect(&instance, &SingleInstance::quitRequested, &app, [&] {
    quitAsked = true;
    // A start-up question still open goes unanswered; the event loop
    // proper ends by QuitTray, or is not entered.
    if (auto* question = qobject_cast<QDialog*>(QApplication::activeModalWidget())) question->reject();
    QuitTray();
  });
  if (claim == SingleInstance::Claim::kFirst && !instance.listen())
    vx::log::write(vx::log::kWarn, "tray: later starts cannot reach this one");

  CheckService(Dialogs());
  if (!quitAsked) CheckDriver(Dialogs());
  if (quitAsked) {
    vx::log::write(vx::log::kInfo, "tray: ended");
    return 0;
  }

  state.languageFromStatus = !settingsRead;
  if (!CreateTray(state)) return 1;

  if (updated) ShowUpdatedBalloon(state);
  // A desktop without a notification area gets the window, and closing it
  // ends the application rather than leaving an invisible process.
  if (show || showAsked || !state.iconAdded) OpenSettings(state);
  if (!state.iconAdded) CurrentSettingsWindow()->setQuitOnClose(true);
  if (!tab.isEmpty()) SelectTab(tab);

  // A later start's "quit" taken while the tray was still starting (Qt may
  // deliver events inside its own calls) found no loop of the tray to end.
  const int code = quitAsked ? 0 : QApplication::exec();
  DestroySettingsWindow();
  DestroyTray(state);
  vx::log::write(vx::log::kInfo, "tray: ended");
  return code;
}

}  // namespace tarn::app
