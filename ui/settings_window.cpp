#include "ui/settings_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include <memory>

#include "ui/app_icon.h"
#include "ui/backup_page.h"
#include "ui/language.h"
#include "ui/string_ids.h"
#include "ui/tray.h"

namespace tarn::app {
namespace {

constexpr int kWindowWidth = 900;
constexpr int kWindowHeight = 560;
constexpr int kMinWidth = 720;
constexpr int kMinHeight = 480;

struct PageInfo {
  const char* name;
  int titleId;
};
constexpr PageInfo kPages[kPageCount] = {
    {"drives", kStrTabDrives}, {"backup", kStrTabBackup},     {"transfers", kStrTabTransfers},
    {"log", kStrTabLog},       {"settings", kStrTabSettings},
};

std::unique_ptr<SettingsWindow> g_window;  // UI thread

}  // namespace

SettingsWindow::SettingsWindow(TrayState* tray) : tray_(tray), tabs_(new QTabWidget(this)) {
  setWindowTitle(Tr(kStrWindowTitle));
  setWindowIcon(AppIcon());
  for (int i = 0; i < kPageCount; ++i) {
    QWidget* page = i == kPageBackup ? (backupPage_ = CreateBackupPage(tabs_)) : new QWidget(tabs_);
    tabs_->addTab(page, Tr(kPages[i].titleId));
  }
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  setMinimumSize(kMinWidth, kMinHeight);
  resize(kWindowWidth, kWindowHeight);
}

void SettingsWindow::setStatus(const ServiceStatus& status) {
  status_ = status;
  SetPageStatus(*backupPage_, status);
}

int SettingsWindow::currentPage() const { return tabs_->currentIndex(); }

void SettingsWindow::closeEvent(QCloseEvent* event) {
  // The window is kept, hidden, so that it opens again as it was.
  event->ignore();
  hide();
  if (quitOnClose_) QApplication::quit();
}

void CreateSettingsWindow(TrayState* tray) {
  if (!g_window) g_window = std::make_unique<SettingsWindow>(tray);
  if (tray != nullptr) g_window->setStatus(tray->status);
  g_window->showNormal();
  g_window->raise();
  g_window->activateWindow();
}

SettingsWindow* CurrentSettingsWindow() { return g_window.get(); }

void DestroySettingsWindow() { g_window.reset(); }

void OnWindowStatus(const ServiceStatus& status) {
  if (g_window && g_window->isVisible()) g_window->setStatus(status);
}

void SelectTab(const QString& name) {
  if (!g_window) return;
  for (int i = 0; i < kPageCount; ++i) {
    if (name == QLatin1String(kPages[i].name)) {
      ShowTab(*g_window, i);
      return;
    }
  }
}

void ShowTab(SettingsWindow& window, int page) { window.tabs()->setCurrentIndex(page); }

}  // namespace tarn::app
