// The settings window: the one top-level window of the desktop application,
// with its pages drives, backup, transfers, log and settings. The class is
// the window's frame and wiring: it owns the controls, the window's state
// (`Window`, settings_model.h) and the gate its workers' results come back
// through; what the pages show and decide is in settings_model.h, how they
// are filled in settings_pages.cpp.
//
// At most one per process, reached through CurrentSettingsWindow; it is
// hidden on close and lives until the application ends or a language change
// rebuilds it. UI thread only. Requests to the service run on workers
// (RunWorker) that get copies of what they need (ids, paths, the drive's
// JSON) and never touch the window; their results reach it through
// results() and are dropped when it has gone.
#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "client/service_client.h"
#include "ui/list_columns.h"
#include "ui/settings_model.h"
#include "ui/worker.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QTabWidget;

namespace tarn::app {

class BackupPage;
struct TrayState;

inline constexpr int kWindowRefreshMs = 2000;

// A list of the window: copies its rows with Ctrl+C and asks for its menu
// with the mouse or the keyboard.
class ListView : public QTreeWidget {
  Q_OBJECT

 public:
  explicit ListView(QWidget* parent) : QTreeWidget(parent) {}

 Q_SIGNALS:
  void copyRequested();
  // `at` in the list's viewport coordinates.
  void menuRequested(QPoint at);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
};

class SettingsWindow : public QWidget {
  Q_OBJECT

 public:
  explicit SettingsWindow(TrayState* tray);
  ~SettingsWindow() override;

  // Without a tray to come back to, closing the window ends the application.
  void setQuitOnClose(bool on) { quitOnClose_ = on; }
  bool quitOnClose() const { return quitOnClose_; }
  TrayState* tray() const { return tray_; }
  int currentPage() const { return state.page; }
  const ServiceStatus& status() const { return state.status; }
  // A new status copy, handed to the backup page too.
  void setStatus(const ServiceStatus& status);
  // Where workers of this window post their results.
  const std::shared_ptr<ResultGate>& results() const { return results_; }

  // The window's state, filled by its pages.
  Window state;

  // The controls, created with the window; the pages fill them.
  QTabWidget* tabs = nullptr;
  ListView* drivesList = nullptr;
  ListColumns* drivesColumns = nullptr;
  std::array<QPushButton*, kActionCount> actionButtons{};
  BackupPage* backupPage = nullptr;
  ListView* transfersList = nullptr;
  ListColumns* transfersColumns = nullptr;
  QPlainTextEdit* logView = nullptr;
  QLabel* languageLabel = nullptr;
  QComboBox* languageList = nullptr;
  // Why the language cannot be chosen here, below the list.
  QLabel* languageNote = nullptr;
  QGroupBox* updatesGroup = nullptr;
  QLabel* installedVersion = nullptr;
  QLabel* updatesNote = nullptr;
  // Below the pages: what cannot be done now and why (WindowNoteText).
  QLabel* note = nullptr;

  // How the transfers and log pages ask the service; tests hold them.
  std::function<bool(vx::json::Value&, std::string&)> requestTransfers = RequestTransfers;
  std::function<bool(int, std::string&, std::string&)> requestLog = RequestGetLog;
  bool transfersInFlight = false;
  bool logInFlight = false;

 Q_SIGNALS:
  // A transfers or log refresh came back and was shown (or left as it was).
  void transfersShown();
  void logShown();
  // A drive action's request came back; what it told (its error, or how
  // a mount ended), empty when all went well.
  void actionFinished(const QString& told);
  // The report of a "Check" is shown.
  void probeReportShown(QWidget* report);
  // A language change came back from the service: taken (the window was
  // rebuilt in it) or refused (and told).
  void languageAnswered(bool taken);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void onTimer();
  void onLanguageChosen(int index);

  TrayState* tray_;  // not owned; may be null
  bool quitOnClose_ = false;
  QTimer timer_;
  std::shared_ptr<ResultGate> results_;
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
// Shows one page and refreshes it.
void ShowTab(SettingsWindow& window, int page);

// --- the drives page's actions ---

void DoAction(SettingsWindow& window, int action);
// Runs `action` on a worker with the action buttons disabled; a failure is
// shown in a message box, and the tray's status is refreshed in any case.
// The action takes the error text and returns success.
void RunAsync(SettingsWindow& window, std::function<bool(std::string&)> action);
// The same for an action that says itself what to tell.
void RunReported(SettingsWindow& window, std::function<ActionReport()> action);
// The worker body of RunAsync: the action's error, empty on success.
QString AsyncActionThread(const std::function<bool(std::string&)>& action);
// Mounts a drive and follows the mount until it ends; a mount that serves
// only the cache, fails or goes on is told.
void MountAsync(SettingsWindow& window, const MountStatus& drive);
// Asks the service for a fresh status (through the tray, when there is one).
void RefreshStatus(SettingsWindow& window);
void UpdateButtons(SettingsWindow& window);
// The selected drive of the status copy, by the id its row carries; null
// when no row is selected or the drive is gone.
const MountStatus* SelectedMount(const SettingsWindow& window);

// --- the transfers page's action ---

// Asks, then stops the upload of that row as it was when asked for.
void StopUploadAt(SettingsWindow& window, int row);
void StopUpload(SettingsWindow& window, TransferRow row);

// --- the lists ---

void CopyRows(SettingsWindow& window, QTreeWidget* list, bool selectedOnly);
// Opens the menu of a list at `at` (its viewport's coordinates); returns it
// (it deletes itself when closed).
QMenu* ShowListMenu(SettingsWindow& window, QTreeWidget* list, QPoint at);

// --- tasks on workers; each reports back to the window ---

// Asks the service to keep the language `setting` (kAutomaticLanguage or an
// index); the window changes to it once the service took it, and says why
// when it did not.
void SetLanguageTask(SettingsWindow& window, int setting);
void ProbeTask(SettingsWindow& window, const vx::json::Value& drive);

// Opens a local path or a link with the desktop's handler.
void OpenShell(const QString& pathOrLink);
// Sets a label's or a button's text only when it differs, so that an
// unchanged page does not flicker.
void SetDlgText(QWidget* control, const QString& text);

// --- the pages (settings_pages.cpp) ---

void RefreshDrives(SettingsWindow& window);
void RefreshTransfers(SettingsWindow& window);
// The transfers list and rows from a "transfers" array.
void FillTransfers(SettingsWindow& window, const vx::json::Value& transfers);
void RefreshLog(SettingsWindow& window);
void ShowLogText(SettingsWindow& window, const std::string& text);
void RefreshSettingsPage(SettingsWindow& window);
// The note below the pages, for the page shown and the status copy.
void RefreshWindowNote(SettingsWindow& window);
// The text of a label, button or field.
QString DlgItemText(const QWidget* control);
// Builds the pages' controls into layouts that keep their order and
// grouping at every size.
void Layout(SettingsWindow& window);
// The text of a list's rows (or of its selected rows) for the clipboard.
QString ListText(const QTreeWidget* list, bool selectedOnly);

}  // namespace tarn::app
