// The tray: the icon in the notification area with its menu, the service's
// status asked for every 4 seconds, the tooltip, the balloons, and the
// relaunch when the service was updated under it. It never touches drives:
// every command is a request of the service client, sent from a worker
// (RunWorker), whose result comes back to the UI thread through the tray
// window's ResultGate.
//
// One TrayState per process, made by RunTray and reachable by CurrentTray
// between CreateTray and DestroyTray. Everything in it belongs to the UI
// thread; workers get copies of what they need and never touch it.
#pragma once

#include <QMenu>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "client/service_client.h"
#include "ui/tray_model.h"
#include "ui/worker.h"

namespace tarn::app {

inline constexpr int kStatusPollMs = 4000;

class TrayWindow;

struct TrayState {
  std::unique_ptr<TrayWindow> window;
  std::unique_ptr<QMenu> menu;
  std::unique_ptr<QSystemTrayIcon> icon;
  // The icon is in a notification area (a desktop that has none shows
  // no tips and balloons).
  bool iconAdded = false;
  ServiceStatus status;                           // the last one received
  uint32_t driveMask = 0;                         // mounted letters of the last answered status
  std::map<std::string, std::string> seenErrors;  // drive id to last error
  std::set<std::string> mountsFollowed;  // drives whose mount a menu command follows
  std::set<std::string> mountsStopped;   // of those, stopped with Unmount: their end is no news
  bool statusInFlight = false;
  UpdateNotices updates;
  std::string exePath;   // the executable as this process started from it
  std::string exeStamp;  // ExeWriteTime of it then
  bool relaunchStarted = false;
  bool stayingLogged = false;
  // config.json could not be read: the language comes with the first status.
  bool languageFromStatus = false;
  // How a status is asked for (RequestStatus); tests hold it at a gate.
  std::function<ServiceStatus()> requestStatus;
};

// The events of the tray: the icon's clicks, the poll timer, and statuses
// and command results coming back from workers. Owned by the TrayState; the
// receiver of its workers' results.
class TrayWindow : public QObject {
  Q_OBJECT

 public:
  explicit TrayWindow(TrayState& state);
  ~TrayWindow() override;

  const std::shared_ptr<ResultGate>& results() const { return results_; }
  void startPolling() { timer_.start(kStatusPollMs); }

 public Q_SLOTS:
  // A click opens the settings window; the menu opens by itself.
  void iconActivated(QSystemTrayIcon::ActivationReason reason);

 Q_SIGNALS:
  // A status was taken (OnTrayStatus has run).
  void statusTaken();
  // A balloon was shown, or would have been with an icon in a tray.
  void balloonShown(const QString& title, const QString& text, bool warning);

 private:
  TrayState& state_;
  QTimer timer_;
  std::shared_ptr<ResultGate> results_;
};

// The tray of this process between CreateTray and DestroyTray, else null.
TrayState* CurrentTray();

// Makes the tray window, the icon with its menu and the poll timer, and asks
// for the first status. False without a QApplication.
bool CreateTray(TrayState& state);
// Removes the icon and the window; results still on their way are dropped.
void DestroyTray(TrayState& state);

// Takes a new status (UI thread).
void OnTrayStatus(TrayState& state, ServiceStatus status);
// Starts one status request unless one is in flight.
void RefreshStatusAsync(TrayState& state);

// Ends the application's event loop, as Exit and a later start's "--quit"
// ask, whatever window is open.
void QuitTray();

void ShowBalloon(TrayState& state, const QString& title, const QString& text, bool warning);
void ShowUpdatedBalloon(TrayState& state);
void OpenSettings(TrayState& state);
// Builds the menu anew from the current status.
void ShowTrayMenu(TrayState& state);
void UpdateTrayTip(TrayState& state);
// Runs one command of the menu; a drive command acts on the drive it was
// built for and does nothing once that drive is gone.
void RunTrayCommand(TrayState& state, TrayCommand command, const std::string& driveId);

// Drive letters that appeared (added) or went; file managers follow the
// mount table themselves, so this only logs them.
void AnnounceDrives(uint32_t mask, bool added);
// The service runs another version: relaunch when the executable was
// replaced, else stay.
void RelaunchIfServiceChanged(TrayState& state);

}  // namespace tarn::app
