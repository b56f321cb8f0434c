#include "ui/tray.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMenu>
#include <QProcess>
#include <QUrl>

#include "client/mount_follow.h"
#include "foundation/file_util.h"
#include "foundation/log.h"
#include "platform/relaunch.h"
#include "ui/app_icon.h"
#include "ui/language.h"
#include "ui/service_text.h"
#include "ui/settings_window.h"
#include "ui/string_ids.h"

namespace tarn::app {
namespace {

TrayState* g_tray = nullptr;  // UI thread

ServiceStatus AskStatus() {
  ServiceStatus status;
  RequestStatus(status);
  return status;
}

// A drive command on a worker: what to tell afterwards, if anything. A
// mount is followed until it is mounted or has failed.
ActionReport RunDriveRequest(TrayCommand command, const MountStatus& drive) {
  std::string error;
  bool ok = false;
  switch (command) {
    case TrayCommand::kMount:
      return MountReport(FollowMount(drive.id), drive);
    case TrayCommand::kUnmount:
      ok = RequestUnmount(drive.id, error);
      break;
    default:
      ok = RequestControl("syncNow", drive.id, true, error);
      break;
  }
  return ok ? ActionReport{} : ActionReport{ActionReport::kError, ErrorWords(error)};
}

constexpr char16_t kRightToLeftMark = u'\u200F';

// Menu texts show "&" as it is, not as a keyboard accelerator. In a
// right-to-left menu a text that begins with a drive letter or a Latin name
// still reads from the right.
QString MenuText(QString text, bool rightToLeft) {
  text.replace(QLatin1Char('&'), QStringLiteral("&&"));
  return rightToLeft ? QChar(kRightToLeftMark) + text : text;
}

void AddItems(TrayState& state, QMenu& menu, const std::vector<TrayMenuItem>& items) {
  const bool rightToLeft = menu.layoutDirection() == Qt::RightToLeft;
  for (const TrayMenuItem& item : items) {
    if (item.separator) {
      menu.addSeparator();
      continue;
    }
    if (!item.items.empty()) {
      QMenu* sub = menu.addMenu(MenuText(item.text, rightToLeft));
      sub->menuAction()->setToolTip(item.toolTip);
      AddItems(state, *sub, item.items);
      continue;
    }
    QAction* action = menu.addAction(MenuText(item.text, rightToLeft));
    action->setEnabled(item.enabled);
    action->setCheckable(item.checkable);
    action->setChecked(item.checked);
    if (item.isDefault) menu.setDefaultAction(action);
    const TrayCommand command = item.command;
    const std::string driveId = item.driveId;
    QObject::connect(action, &QAction::triggered, state.window.get(),
                     [&state, command, driveId] { RunTrayCommand(state, command, driveId); });
  }
}

}  // namespace

TrayWindow::TrayWindow(TrayState& state) : state_(state), results_(std::make_shared<ResultGate>(this)) {
  connect(&timer_, &QTimer::timeout, this, [this] { RefreshStatusAsync(state_); });
}

TrayWindow::~TrayWindow() { results_->close(); }

void TrayWindow::iconActivated(QSystemTrayIcon::ActivationReason reason) {
  if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) OpenSettings(state_);
}

TrayState* CurrentTray() { return g_tray; }

bool CreateTray(TrayState& state) {
  // The icon and its menu are widgets.
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return false;
  g_tray = &state;
  state.exePath = vx::ModulePath();
  state.exeStamp = ExeWriteTime(state.exePath);
  if (!state.requestStatus) state.requestStatus = AskStatus;
  state.window = std::make_unique<TrayWindow>(state);

  state.menu = std::make_unique<QMenu>();
  // Built anew each time it opens, from the status of that moment.
  QObject::connect(state.menu.get(), &QMenu::aboutToShow, state.window.get(), [&state] { ShowTrayMenu(state); });
  state.icon = std::make_unique<QSystemTrayIcon>(AppIcon());
  state.icon->setContextMenu(state.menu.get());
  state.icon->setToolTip(Tr(kStrTarn));
  QObject::connect(state.icon.get(), &QSystemTrayIcon::activated, state.window.get(), &TrayWindow::iconActivated);
  if (QSystemTrayIcon::isSystemTrayAvailable()) {
    state.icon->show();
    state.iconAdded = true;
  }
  ShowTrayMenu(state);
  state.window->startPolling();
  RefreshStatusAsync(state);
  return true;
}

void DestroyTray(TrayState& state) {
  if (state.icon) state.icon->hide();
  state.iconAdded = false;
  state.icon.reset();
  state.menu.reset();
  // Closes the window's gate: results of workers still running are dropped.
  state.window.reset();
  if (g_tray == &state) g_tray = nullptr;
}

void RefreshStatusAsync(TrayState& state) {
  if (!state.window || state.statusInFlight) return;
  state.statusInFlight = true;
  RunWorker(state.window->results(), state.requestStatus,
            [s = &state](ServiceStatus status) { OnTrayStatus(*s, std::move(status)); });
}

void OnTrayStatus(TrayState& state, ServiceStatus status) {
  state.statusInFlight = false;
  state.status = std::move(status);
  const ServiceStatus& st = state.status;
  if (state.languageFromStatus && st.ok) {
    state.languageFromStatus = false;
    SetLanguageByCode(st.language);
    ApplyLayout();
  }
  UpdateTrayTip(state);
  if (st.ok) {
    const uint32_t mask = MountedDriveMask(st);
    AnnounceDrives(mask & ~state.driveMask, true);
    AnnounceDrives(state.driveMask & ~mask, false);
    state.driveMask = mask;
  }
  for (const Balloon& b : TakeDriveErrors(state.seenErrors, st)) ShowBalloon(state, b.title, b.text, b.warning);
  if (st.ok) {
    if (ServiceVersionDiffers(st)) {
      RelaunchIfServiceChanged(state);
      if (state.window) Q_EMIT state.window->statusTaken();
      return;
    }
    if (std::optional<Balloon> b = TakeUpdateBalloon(state.updates, st))
      ShowBalloon(state, b->title, b->text, b->warning);
  }
  OnWindowStatus(st);
  if (state.menu && !state.menu->isVisible()) ShowTrayMenu(state);
  if (state.window) Q_EMIT state.window->statusTaken();
}

void ShowBalloon(TrayState& state, const QString& title, const QString& text, bool warning) {
  if (state.window) Q_EMIT state.window->balloonShown(title, text, warning);
  if (!state.iconAdded) return;
  state.icon->showMessage(title.left(kMaxBalloonTitleChars), text.left(kMaxBalloonTextChars),
                          warning ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information);
}

void ShowUpdatedBalloon(TrayState& state) {
  ShowBalloon(state, Tr(kStrUpdateTitle), FormatText(Tr(kStrUpdatedTo), {QString::fromLatin1(kTrayVersion)}), false);
}

void OpenSettings(TrayState& state) { CreateSettingsWindow(&state); }

void QuitTray() {
  // Not quit(): that asks every window to close first, and a window that
  // keeps itself open (a dialog whose request still runs) would keep the
  // application running.
  QCoreApplication::exit(0);
}

void ShowTrayMenu(TrayState& state) {
  if (!state.menu) return;
  // clear() leaves the drives' submenus alive as children of the menu; they
  // go with it, or they would pile up at every status. None of them is open
  // while the menu is built.
  for (QMenu* sub : state.menu->findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) delete sub;
  state.menu->clear();
  state.menu->setLayoutDirection(LanguageAt(CurrentLanguage()).rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
  state.menu->setToolTipsVisible(true);
  AddItems(state, *state.menu, BuildTrayMenu(state.status));
}

void UpdateTrayTip(TrayState& state) {
  // Kept up to date without a tray too, for a tray that appears later.
  if (state.icon) state.icon->setToolTip(TrayTip(state.status));
}

void RunTrayCommand(TrayState& state, TrayCommand command, const std::string& driveId) {
  switch (command) {
    case TrayCommand::kNone:
      return;
    case TrayCommand::kOpenSettings:
      OpenSettings(state);
      return;
    case TrayCommand::kExit:
      QuitTray();
      return;
    case TrayCommand::kMount:
    case TrayCommand::kUnmount:
    case TrayCommand::kOpenFolder:
    case TrayCommand::kSyncNow:
      break;
  }
  const MountStatus* mount = FindMount(state.status, driveId);
  if (mount == nullptr || !state.window) return;
  if (command == TrayCommand::kOpenFolder) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(mount->mountPoint)));
    RefreshStatusAsync(state);
    return;
  }
  if (const QString refused = command == TrayCommand::kSyncNow ? SyncRefusal(*mount) : QString();
      !refused.isEmpty()) {
    ShowBalloon(state, QString::fromStdU16String(mount->name), refused, false);
    return;
  }
  if (command == TrayCommand::kMount) state.mountsFollowed.insert(driveId);
  if (command == TrayCommand::kUnmount && state.mountsFollowed.count(driveId) != 0) state.mountsStopped.insert(driveId);
  // Mounting waits for the server and the file system: never on this thread.
  RunWorker(
      state.window->results(), [command, drive = *mount] { return RunDriveRequest(command, drive); },
      [s = &state, command, driveId, name = QString::fromStdU16String(mount->name)](ActionReport r) {
        // A mount the user stopped ended as asked.
        if (command == TrayCommand::kMount && s->mountsFollowed.erase(driveId) != 0 &&
            s->mountsStopped.erase(driveId) != 0)
          r = ActionReport{};
        if (r.kind != ActionReport::kNothing) ShowBalloon(*s, name, r.text, r.kind != ActionReport::kInformation);
        RefreshStatusAsync(*s);
      });
}

void AnnounceDrives(uint32_t mask, bool added) {
  if (mask == 0) return;
  vx::log::write(vx::log::kDebug, "drives %s: %s", added ? "added" : "removed",
                 DriveLetters(mask).toUtf8().constData());
}

void RelaunchIfServiceChanged(TrayState& state) {
  const std::string& service = state.status.version;
  switch (DecideRelaunch(state.relaunchStarted, state.exeStamp, ExeWriteTime(state.exePath))) {
    case RelaunchStep::kNothing:
      return;
    case RelaunchStep::kStay:
      if (!state.stayingLogged) {
        state.stayingLogged = true;
        vx::log::write(vx::log::kInfo, "service runs %s, this tray is %s, the exe did not change: staying",
                       service.c_str(), kTrayVersion);
      }
      return;
    case RelaunchStep::kRelaunch:
      break;
  }
  // No second attempt, whatever happens.
  state.relaunchStarted = true;
  QProcess process;
  process.setProgram(QString::fromStdString(state.exePath));
  process.setArguments({QStringLiteral("--relaunch"), QString::number(QCoreApplication::applicationPid())});
  if (!process.startDetached()) {
    vx::log::write(vx::log::kError, "relaunch failed: %s", process.errorString().toUtf8().constData());
    return;
  }
  vx::log::write(vx::log::kInfo, "service runs %s, this tray is %s: relaunching", service.c_str(), kTrayVersion);
  QApplication::quit();
}

}  // namespace tarn::app
