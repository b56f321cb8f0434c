// The settings window: the one top-level window of the desktop application,
// with its pages drives, backup, transfers, log and settings. This is its
// frame only (title, icon, the page tabs, hiding on close); the pages are
// filled in by their own classes. At most one per process, reached through
// CurrentSettingsWindow; UI thread only.
#pragma once

#include <QString>
#include <QWidget>

#include "client/service_client.h"

class QTabWidget;

namespace tarn::app {

class BackupPage;
struct TrayState;

// The pages in their order; SelectTab takes their names.
enum SettingsPage : int { kPageDrives, kPageBackup, kPageTransfers, kPageLog, kPageSettings, kPageCount };

class SettingsWindow : public QWidget {
  Q_OBJECT

 public:
  explicit SettingsWindow(TrayState* tray);

  // Without a tray to come back to, closing the window ends the application.
  void setQuitOnClose(bool on) { quitOnClose_ = on; }
  int currentPage() const;
  QTabWidget* tabs() const { return tabs_; }
  const ServiceStatus& status() const { return status_; }
  void setStatus(const ServiceStatus& status);
  BackupPage* backupPage() const { return backupPage_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  TrayState* tray_;  // not owned; may be null
  QTabWidget* tabs_;
  BackupPage* backupPage_ = nullptr;
  ServiceStatus status_;
  bool quitOnClose_ = false;
};

// Creates the window when there is none, brings its status up to date from
// the tray's, and shows it in front.
void CreateSettingsWindow(TrayState* tray);
SettingsWindow* CurrentSettingsWindow();
// Destroys the window (the end of the application).
void DestroySettingsWindow();
// A new status for the window, taken only while it is shown.
void OnWindowStatus(const ServiceStatus& status);
// Selects a page by its name; other names change nothing.
void SelectTab(const QString& name);
void ShowTab(SettingsWindow& window, int page);

}  // namespace tarn::app
