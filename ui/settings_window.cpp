#include "ui/settings_window.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QUrl>

#include <memory>

#include "client/mount_follow.h"
#include "foundation/log.h"
#include "ui/app_icon.h"
#include "ui/backup_page.h"
#include "ui/dialogs.h"
#include "ui/language.h"
#include "ui/mount_editor.h"
#include "ui/mount_editor_model.h"
#include "ui/service_text.h"
#include "ui/string_ids.h"
#include "ui/tray.h"
#include "ui/tray_model.h"

namespace tarn::app {
namespace {

using vx::json::Value;

// Wide enough that every list's columns show their point in every language.
constexpr int kWindowWidth = 1060;
constexpr int kWindowHeight = 600;
constexpr int kMinWidth = 720;
constexpr int kMinHeight = 480;

constexpr const char* kPageNames[kPageCount] = {"drives", "backup", "transfers", "log", "settings"};

constexpr int kActionTextIds[kActionCount] = {kStrAdd,   kStrEdit, kStrRemove,  kStrMountButton, kStrUnmountButton,
                                              kStrCheckDrive, kStrSync, kStrOffline, kStrClearCache,  kStrRefresh};

std::unique_ptr<SettingsWindow> g_window;  // UI thread

QString Str(const std::string& text) { return QString::fromStdString(text); }

// A control request with a drive id, on the action runner.
void RunDriveRequest(SettingsWindow& window, std::string id, bool (*request)(const std::string&, std::string&)) {
  RunAsync(window, [id = std::move(id), request](std::string& error) { return request(id, error); });
}

void RunControl(SettingsWindow& window, const char* op, std::string id, bool on) {
  RunAsync(window, [op, id = std::move(id), on](std::string& error) { return RequestControl(op, id, on, error); });
}

// A setting the service stores: the service's refusal, empty when it took
// the setting.
std::string StoreAppSetting(const char* key, Value value) {
  Value settings = Value::object();
  settings.set(key, std::move(value));
  std::string error;
  if (RequestSetAppSettings(settings, error)) return std::string();
  vx::log::write(vx::log::kError, "%s: %s", key, error.c_str());
  return error.empty() ? std::string(kRequestFailed) : error;
}

// What an action tells, in a box owned by the window.
void Tell(SettingsWindow& window, const ActionReport& told) {
  if (told.kind == ActionReport::kNothing) return;
  MessageSpec box;
  box.caption = Tr(kStrTarn);
  box.text = told.text;
  box.icon = told.kind == ActionReport::kError     ? MessageIcon::kError
             : told.kind == ActionReport::kWarning ? MessageIcon::kWarning
                                                   : MessageIcon::kInformation;
  Dialogs().message(&window, box);
}

// The settings of a mounted drive apply at its next mount: after they were
// saved, the user may have it mounted again now.
void OfferRemount(SettingsWindow& window, const std::string& id) {
  const MountStatus* drive = FindMount(window.status(), id);
  if (drive == nullptr || !(drive->mounted || drive->mounting)) return;
  MessageSpec ask;
  ask.caption = Tr(kStrTarn);
  ask.text = FormatText(Tr(kStrRemountQuestion), {DriveTitle(*drive)});
  ask.icon = MessageIcon::kQuestion;
  ask.buttons = MessageButtons::kAcceptCancel;
  ask.acceptText = Tr(kStrMountAgain);
  if (Dialogs().message(&window, ask) != MessageAnswer::kAccept) return;
  RunReported(window, [drive = *drive] {
    std::string error;
    if (!RequestUnmount(drive.id, error)) return ActionReport{ActionReport::kError, ErrorWords(error)};
    return MountReport(FollowMount(drive.id), drive);
  });
}

// The language change of the window's own list: the window goes, and a new
// one in the new language and direction takes its place and geometry.
void RebuildSettingsWindow() {
  if (!g_window) return;
  const QByteArray geometry = g_window->saveGeometry();
  const bool maximized = g_window->isMaximized();
  TrayState* tray = g_window->tray();
  const bool quitOnClose = g_window->quitOnClose();
  const ServiceStatus status = g_window->status();
  g_window.reset();
  CreateSettingsWindow(tray);
  if (tray == nullptr) g_window->setStatus(status);
  g_window->setQuitOnClose(quitOnClose);
  g_window->restoreGeometry(geometry);
  if (maximized) g_window->showMaximized();
  else g_window->showNormal();
  ShowTab(*g_window, kPageSettings);
  RefreshDrives(*g_window);
}

}  // namespace

void ListView::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    Q_EMIT copyRequested();
    return;
  }
  QTreeWidget::keyPressEvent(event);
}

void ListView::contextMenuEvent(QContextMenuEvent* event) {
  const bool keyboard = event->reason() == QContextMenuEvent::Keyboard;
  std::optional<QRect> label;
  const QList<QTreeWidgetItem*> selected = selectedItems();
  if (!selected.isEmpty()) label = visualItemRect(selected.first());
  Q_EMIT menuRequested(ListMenuPosition(keyboard, viewport()->mapFromGlobal(event->globalPos()), label));
}

SettingsWindow::SettingsWindow(TrayState* tray)
    : tray_(tray), results_(std::make_shared<ResultGate>(this)) {
  setWindowTitle(Tr(kStrWindowTitle));
  setWindowIcon(AppIcon());

  tabs = new QTabWidget(this);
  drivesList = new ListView(this);
  drivesList->setHeaderLabels({Tr(kStrColumnDrive), Tr(kStrColumnName), Tr(kStrColumnServer), Tr(kStrColumnState),
                               Tr(kStrColumnCache), Tr(kStrColumnPending)});
  for (int i = 0; i < kActionCount; ++i) actionButtons[static_cast<size_t>(i)] = new QPushButton(Tr(kActionTextIds[i]), this);
  backupPage = CreateBackupPage(this);
  transfersList = new ListView(this);
  transfersList->setHeaderLabels(
      {Tr(kStrColumnFile), Tr(kStrColumnDirection), Tr(kStrColumnProgress), Tr(kStrColumnTransferState)});
  logView = new QPlainTextEdit(this);
  languageLabel = new QLabel(Tr(kStrLanguage), this);
  languageList = new QComboBox(this);
  languageList->addItem(FormatText(Tr(kStrAutomaticLanguage), {LanguageAt(DetectLanguage()).nativeName}));
  for (int i = 0; i < kLanguageCount; ++i) languageList->addItem(LanguageAt(i).nativeName);
  languageList->setCurrentIndex(LanguageSetting() + 1);
  languageNote = new QLabel(this);
  updatesGroup = new QGroupBox(Tr(kStrUpdates), this);
  installedVersion = new QLabel(this);
  updatesNote = new QLabel(this);
  note = new QLabel(this);
  Layout(*this);

  connect(tabs, &QTabWidget::currentChanged, this, [this](int page) { ShowTab(*this, page); });
  connect(drivesList, &QTreeWidget::itemSelectionChanged, this, [this] {
    if (!state.drivesRefreshing) UpdateButtons(*this);
  });
  connect(drivesList, &QTreeWidget::itemDoubleClicked, this, [this] { DoAction(*this, kActionEdit); });
  for (ListView* list : {drivesList, transfersList}) {
    connect(list, &ListView::copyRequested, this, [this, list] { CopyRows(*this, list, true); });
    connect(list, &ListView::menuRequested, this, [this, list](QPoint at) { ShowListMenu(*this, list, at); });
  }
  for (int i = 0; i < kActionCount; ++i) {
    connect(actionButtons[static_cast<size_t>(i)], &QPushButton::clicked, this, [this, i] { DoAction(*this, i); });
  }
  connect(languageList, &QComboBox::activated, this, &SettingsWindow::onLanguageChosen);

  setMinimumSize(kMinWidth, kMinHeight);
  resize(kWindowWidth, kWindowHeight);
  ShowTab(*this, kPageDrives);
  RefreshSettingsPage(*this);
  UpdateButtons(*this);
  connect(&timer_, &QTimer::timeout, this, &SettingsWindow::onTimer);
  timer_.start(kWindowRefreshMs);
}

SettingsWindow::~SettingsWindow() { results_->close(); }

void SettingsWindow::setStatus(const ServiceStatus& status) {
  state.status = status;
  SetPageStatus(*backupPage, state.status);
  RefreshWindowNote(*this);
}

void SettingsWindow::closeEvent(QCloseEvent* event) {
  // The window is kept, hidden, so that it opens again as it was.
  event->ignore();
  hide();
  if (quitOnClose_) QApplication::quit();
}

void SettingsWindow::onTimer() {
  if (!isVisible()) return;
  if (state.page == kPageTransfers) RefreshTransfers(*this);
  else if (state.page == kPageLog) RefreshLog(*this);
}

void SettingsWindow::onLanguageChosen(int index) {
  const int setting = index - 1;
  if (index < 0 || setting == LanguageSetting()) return;
  SetLanguageTask(*this, setting);
}

void CreateSettingsWindow(TrayState* tray) {
  if (!g_window) g_window = std::make_unique<SettingsWindow>(tray);
  if (tray != nullptr) g_window->setStatus(tray->status);
  RefreshDrives(*g_window);
  g_window->showNormal();
  g_window->raise();
  g_window->activateWindow();
}

SettingsWindow* CurrentSettingsWindow() { return g_window.get(); }

void DestroySettingsWindow() { g_window.reset(); }

void OnWindowStatus(const ServiceStatus& status) {
  if (!g_window || !g_window->isVisible()) return;
  g_window->setStatus(status);
  RefreshDrives(*g_window);
  if (g_window->currentPage() == kPageSettings) RefreshSettingsPage(*g_window);
}

void SelectTab(const QString& name) {
  if (!g_window) return;
  for (int i = 0; i < kPageCount; ++i) {
    if (name == QLatin1String(kPageNames[i])) ShowTab(*g_window, i);
  }
}

void ShowTab(SettingsWindow& window, int page) {
  if (page < 0 || page >= kPageCount) return;
  {
    const QSignalBlocker quiet(window.tabs);
    window.tabs->setCurrentIndex(page);
  }
  // The tabs show and hide the backup page, which refreshes itself while
  // it is shown.
  window.state.page = page;
  RefreshWindowNote(window);
  if (page == kPageTransfers) RefreshTransfers(window);
  else if (page == kPageLog) RefreshLog(window);
  else if (page == kPageSettings) RefreshSettingsPage(window);
}

void DoAction(SettingsWindow& window, int action) {
  const MountStatus* selected = SelectedMount(window);
  if (selected == nullptr && action != kActionAdd && action != kActionRefresh) return;
  // What an action acts on is taken now: a status arriving while a box is
  // open replaces the status copy.
  const std::string id = selected != nullptr ? selected->id : std::string();
  auto refreshed = [w = &window](const Value&) { RefreshStatus(*w); };
  switch (action) {
    case kActionAdd:
      EditMount(&window, Value::object(), true, LettersInUse(window.status(), std::string()), refreshed);
      return;
    case kActionEdit:
      EditMount(&window, selected->config, false, LettersInUse(window.status(), id), [w = &window, id](const Value&) {
        RefreshStatus(*w);
        OfferRemount(*w, id);
      });
      return;
    case kActionRemove: {
      MessageSpec ask;
      ask.caption = Tr(kStrRemoveCaption);
      ask.text = FormatText(Tr(kStrRemoveQuestion), {QString::fromStdU16String(selected->name)});
      ask.icon = MessageIcon::kQuestion;
      ask.buttons = MessageButtons::kAcceptCancel;
      ask.acceptText = Tr(kStrRemove);
      // The drive's unsent changes go with it: the safe answer is the default.
      ask.cancelIsDefault = true;
      if (Dialogs().message(&window, ask) == MessageAnswer::kAccept) RunDriveRequest(window, id, RequestRemoveMount);
      return;
    }
    case kActionMount:
      MountAsync(window, *selected);
      return;
    case kActionUnmount:
      // A mount being followed ends now, as the user asked: no news.
      if (window.state.mountsFollowed.count(id) != 0) window.state.mountsStopped.insert(id);
      RunDriveRequest(window, id, RequestUnmount);
      return;
    case kActionCheck:
      ProbeTask(window, selected->config);
      return;
    case kActionSync:
      if (const QString refused = SyncRefusal(*selected); !refused.isEmpty()) {
        Tell(window, {ActionReport::kInformation, refused});
        return;
      }
      RunControl(window, "syncNow", id, true);
      return;
    case kActionOffline:
      RunControl(window, "setOffline", id, !selected->offlineMode);
      return;
    case kActionClearCache:
      RunControl(window, "clearCache", id, true);
      return;
    case kActionRefresh:
      RefreshStatus(window);
      return;
    default:
      return;
  }
}

QString AsyncActionThread(const std::function<bool(std::string&)>& action) {
  std::string error;
  return action(error) ? QString() : Str(error);
}

void RunAsync(SettingsWindow& window, std::function<bool(std::string&)> action) {
  RunReported(window, [action = std::move(action)] {
    const QString error = AsyncActionThread(action);
    return error.isEmpty() ? ActionReport{} : ActionReport{ActionReport::kError, ErrorWords(error.toStdString())};
  });
}

void RunReported(SettingsWindow& window, std::function<ActionReport()> action) {
  window.state.actionRunning = true;
  for (QPushButton* button : window.actionButtons) button->setEnabled(false);
  RunWorker(window.results(), std::move(action), [w = &window](ActionReport told) {
    w->state.actionRunning = false;
    UpdateButtons(*w);
    Tell(*w, told);
    RefreshStatus(*w);
    Q_EMIT w->actionFinished(told.text);
  });
}

void MountAsync(SettingsWindow& window, const MountStatus& drive) {
  // A slow server keeps the mount going for up to a minute: only this
  // drive's Mount waits for it, the other commands stay at hand.
  window.state.mountsFollowed.insert(drive.id);
  UpdateButtons(window);
  RunWorker(
      window.results(), [drive] { return MountReport(FollowMount(drive.id), drive); },
      [w = &window, id = drive.id](ActionReport told) {
        w->state.mountsFollowed.erase(id);
        if (w->state.mountsStopped.erase(id) != 0) told = ActionReport{};
        UpdateButtons(*w);
        Tell(*w, told);
        RefreshStatus(*w);
        Q_EMIT w->actionFinished(told.text);
      });
  // The status soon shows the drive mounting.
  RefreshStatus(window);
}

void RefreshStatus(SettingsWindow& window) {
  if (window.tray() != nullptr) {
    RefreshStatusAsync(*window.tray());
    return;
  }
  RunWorker(
      window.results(),
      [] {
        ServiceStatus status;
        RequestStatus(status);
        return status;
      },
      [w = &window](ServiceStatus status) {
        w->setStatus(status);
        RefreshDrives(*w);
        if (w->currentPage() == kPageSettings) RefreshSettingsPage(*w);
      });
}

void UpdateButtons(SettingsWindow& window) {
  const DriveButtons buttons = DriveButtonStates(window.status(), SelectedMount(window));
  const MountStatus* selected = SelectedMount(window);
  const bool followed = selected != nullptr && window.state.mountsFollowed.count(selected->id) != 0;
  for (int i = 0; i < kActionCount; ++i) {
    bool on = buttons.enabled[i] && !window.state.actionRunning;
    if (i == kActionCheck) on = on && !window.state.probing;
    if (i == kActionMount) on = on && !followed;
    window.actionButtons[static_cast<size_t>(i)]->setEnabled(on);
  }
  SetDlgText(window.actionButtons[kActionOffline], Tr(buttons.offlineSaysOnline ? kStrOnline : kStrOffline));
}

const MountStatus* SelectedMount(const SettingsWindow& window) {
  const QList<QTreeWidgetItem*> selected = window.drivesList->selectedItems();
  if (selected.isEmpty()) return nullptr;
  return FindMount(window.status(), selected.first()->data(0, Qt::UserRole).toString().toStdString());
}

void StopUploadAt(SettingsWindow& window, int row) {
  if (row < 0 || static_cast<size_t>(row) >= window.state.transferRows.size()) return;
  StopUpload(window, window.state.transferRows[static_cast<size_t>(row)]);
}

void StopUpload(SettingsWindow& window, TransferRow row) {
  // `row` is a copy: the rows are rebuilt by every refresh, the one that
  // runs while the question is open included.
  MessageSpec ask;
  ask.caption = Tr(kStrTarn);
  ask.text = FormatText(Tr(kStrStopUploadQuestion), {TransferFileName(row.path)});
  ask.icon = MessageIcon::kQuestion;
  ask.buttons = MessageButtons::kAcceptCancel;
  ask.acceptText = Tr(kStrStop);
  // The file's changes here are dropped: the safe answer is the default.
  ask.cancelIsDefault = true;
  if (Dialogs().message(&window, ask) != MessageAnswer::kAccept) return;
  RunAsync(window, [row = std::move(row)](std::string& error) { return RequestStopUpload(row.mount, row.path, error); });
}

void CopyRows(SettingsWindow&, QTreeWidget* list, bool selectedOnly) {
  QString text = ListText(list, selectedOnly);
  if (text.isEmpty() && selectedOnly) text = ListText(list, false);
  if (text.isEmpty()) return;
  QApplication::clipboard()->setText(text);
}

QMenu* ShowListMenu(SettingsWindow& window, QTreeWidget* list, QPoint at) {
  auto* menu = new QMenu(list);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  const QList<QTreeWidgetItem*> selected = list->selectedItems();
  QAction* copy = menu->addAction(Tr(kStrCopy), list, [w = &window, list] { CopyRows(*w, list, true); });
  copy->setEnabled(!selected.isEmpty());
  QAction* all = menu->addAction(Tr(kStrCopyAll), list, [w = &window, list] { CopyRows(*w, list, false); });
  all->setEnabled(list->topLevelItemCount() > 0);
  if (list == window.transfersList) {
    menu->addSeparator();
    const int index = selected.isEmpty() ? -1 : list->indexOfTopLevelItem(selected.first());
    const std::vector<TransferRow>& rows = window.state.transferRows;
    const bool stoppable = index >= 0 && static_cast<size_t>(index) < rows.size() && CanStopUpload(rows[index]) &&
                           window.status().ok && window.status().mayManageDrives;
    // The row the user sees now is the one the command stops.
    const TransferRow row = stoppable ? rows[static_cast<size_t>(index)] : TransferRow();
    QAction* stop = menu->addAction(Tr(kStrStopUpload), list, [w = &window, row] { StopUpload(*w, row); });
    stop->setEnabled(stoppable);
  }
  menu->popup(list->viewport()->mapToGlobal(at));
  return menu;
}

void SetLanguageTask(SettingsWindow& window, int setting) {
  const std::string code = setting == kAutomaticLanguage ? std::string() : LanguageAt(setting).code;
  window.state.languageAsked = true;
  RefreshSettingsPage(window);
  RunWorker(
      window.results(), [code] { return StoreAppSetting("language", code); },
      [w = &window, setting](std::string refusal) {
        w->state.languageAsked = false;
        if (!refusal.empty()) {
          // The service keeps the language for the next start: one it did
          // not take is not shown as chosen.
          const QSignalBlocker quiet(w->languageList);
          w->languageList->setCurrentIndex(LanguageSetting() + 1);
          RefreshSettingsPage(*w);
          Tell(*w, {ActionReport::kError, ErrorWords(refusal)});
          Q_EMIT w->languageAnswered(false);
          return;
        }
        SetLanguageSetting(setting);
        ApplyLayout();
        Q_EMIT w->languageAnswered(true);
        // Not from inside this window's own call: the window goes.
        QMetaObject::invokeMethod(qApp, [] { RebuildSettingsWindow(); }, Qt::QueuedConnection);
      });
}

void ProbeTask(SettingsWindow& window, const Value& drive) {
  window.state.probing = true;
  UpdateButtons(window);
  RunWorker(
      window.results(), [drive] { return ProbeThread(drive); },
      [w = &window](ProbeOutcome outcome) {
        w->state.probing = false;
        UpdateButtons(*w);
        Q_EMIT w->probeReportShown(ShowProbeReport(w, outcome));
      });
}

void OpenShell(const QString& pathOrLink) {
  if (pathOrLink.isEmpty()) return;
  QDesktopServices::openUrl(QUrl::fromUserInput(pathOrLink));
}

void SetDlgText(QWidget* control, const QString& text) {
  if (DlgItemText(control) == text) return;
  if (auto* label = qobject_cast<QLabel*>(control)) label->setText(text);
  else if (auto* button = qobject_cast<QAbstractButton*>(control)) button->setText(text);
  else if (auto* field = qobject_cast<QLineEdit*>(control)) field->setText(text);
}

}  // namespace tarn::app
