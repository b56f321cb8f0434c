// The settings window's pages: their layouts, and how the drives,
// transfers, log and settings pages are filled from the service. Lists are
// refilled in place (rows overwritten, missing rows added, surplus rows
// removed) with painting held, so that the periodic refresh neither flickers
// nor loses the user's place.
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/backup_page.h"
#include "ui/language.h"
#include "ui/service_text.h"
#include "ui/settings_window.h"
#include "ui/string_ids.h"

namespace tarn::app {
namespace {

using vx::json::Value;

// Sizes in logical pixels.
constexpr int kGap = 6;
constexpr int kButtonWidth = 116;
constexpr int kLanguageListWidth = 280;
constexpr int kGroupMaxWidth = 620;

// The columns of long texts: a drive's name, server and state; a transfer's
// file and state.
enum DriveColumn { kDriveLetter, kDriveName, kDriveServer, kDriveState };
enum TransferColumn { kTransferFile, kTransferDirection, kTransferProgress, kTransferState };

// The drive id a row of the drives list stands for.
constexpr int kIdRole = Qt::UserRole;

constexpr int kPageTitles[kPageCount] = {kStrTabDrives, kStrTabBackup, kStrTabTransfers, kStrTabLog,
                                         kStrTabSettings};

ListColumns* SetUpList(QTreeWidget* list, std::vector<int> eliding) {
  list->setRootIsDecorated(false);
  list->setUniformRowHeights(true);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setAllColumnsShowFocus(true);
  return new ListColumns(list, std::move(eliding));
}

QWidget* ListPage(QWidget* list) {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(kGap, kGap, kGap, kGap);
  layout->addWidget(list);
  return page;
}

QWidget* DrivesPage(SettingsWindow& w) {
  auto* page = new QWidget;
  auto* row = new QHBoxLayout(page);
  row->setContentsMargins(kGap, kGap, kGap, kGap);
  row->setSpacing(kGap);
  row->addWidget(w.drivesList, 1);
  auto* buttons = new QVBoxLayout;
  buttons->setSpacing(kGap);
  for (QPushButton* button : w.actionButtons) {
    button->setMinimumWidth(kButtonWidth);
    buttons->addWidget(button);
  }
  buttons->addStretch(1);
  row->addLayout(buttons);
  return page;
}

QWidget* SettingsPageWidget(SettingsWindow& w) {
  auto* page = new QWidget;
  auto* column = new QVBoxLayout(page);
  column->setContentsMargins(2 * kGap, 2 * kGap, 2 * kGap, 2 * kGap);
  auto* language = new QHBoxLayout;
  w.languageList->setMinimumWidth(kLanguageListWidth);
  w.languageLabel->setBuddy(w.languageList);
  language->addWidget(w.languageLabel);
  language->addWidget(w.languageList);
  language->addStretch(1);
  column->addLayout(language);
  w.languageNote->setObjectName(QStringLiteral("languageNote"));
  w.languageNote->setWordWrap(true);
  w.languageNote->setMaximumWidth(kGroupMaxWidth);
  w.languageNote->setForegroundRole(QPalette::PlaceholderText);
  column->addWidget(w.languageNote);

  w.updatesGroup->setMaximumWidth(kGroupMaxWidth);
  auto* group = new QVBoxLayout(w.updatesGroup);
  w.updatesNote->setWordWrap(true);
  group->addWidget(w.installedVersion);
  group->addWidget(w.updatesNote);
  column->addWidget(w.updatesGroup);
  column->addStretch(1);
  return page;
}

// Sets a row's cells, leaving those that did not change alone.
void SetRowTexts(QTreeWidgetItem* item, const QStringList& texts, const ListColumns* columns) {
  for (int c = 0; c < texts.size(); ++c) SetCellText(item, c, texts[c], columns);
}

QTreeWidgetItem* RowAt(QTreeWidget* list, int i) {
  return i < list->topLevelItemCount() ? list->topLevelItem(i) : new QTreeWidgetItem(list);
}

void DropRowsFrom(QTreeWidget* list, int count) {
  while (list->topLevelItemCount() > count) delete list->takeTopLevelItem(list->topLevelItemCount() - 1);
}

// What a transfers request brings back.
struct TransfersReply {
  bool ok = false;
  Value transfers;
};

// What a log request brings back.
struct LogReply {
  bool ok = false;
  std::string text;
  std::string error;
};

}  // namespace

void Layout(SettingsWindow& w) {
  w.drivesColumns = SetUpList(w.drivesList, {kDriveName, kDriveServer, kDriveState});
  w.transfersColumns = SetUpList(w.transfersList, {kTransferFile, kTransferState});
  w.logView->setObjectName(QStringLiteral("log"));
  w.logView->setReadOnly(true);
  w.logView->setLineWrapMode(QPlainTextEdit::NoWrap);
  w.logView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  // The service writes its log in English, whatever the window's language.
  w.logView->setLayoutDirection(Qt::LeftToRight);

  QWidget* pages[kPageCount] = {DrivesPage(w), w.backupPage, ListPage(w.transfersList), ListPage(w.logView),
                                SettingsPageWidget(w)};
  for (int i = 0; i < kPageCount; ++i) w.tabs->addTab(pages[i], Tr(kPageTitles[i]));
  w.note->setObjectName(QStringLiteral("note"));
  w.note->setWordWrap(true);
  w.note->hide();
  auto* frame = new QVBoxLayout(&w);
  frame->addWidget(w.tabs, 1);
  frame->addWidget(w.note);
}

void RefreshDrives(SettingsWindow& w) {
  if (w.state.drivesRefreshing) return;
  w.state.drivesRefreshing = true;
  QTreeWidget* list = w.drivesList;
  // The selection follows its drive, wherever the new status puts it.
  const QList<QTreeWidgetItem*> selected = list->selectedItems();
  const QString keep = selected.isEmpty() ? QString() : selected.first()->data(0, kIdRole).toString();
  list->setUpdatesEnabled(false);
  const std::vector<MountStatus>& mounts = w.state.status.mounts;
  QTreeWidgetItem* keptRow = nullptr;
  for (size_t i = 0; i < mounts.size(); ++i) {
    QTreeWidgetItem* item = RowAt(list, static_cast<int>(i));
    SetRowTexts(item, DriveRowTexts(mounts[i]), w.drivesColumns);
    const QString id = QString::fromStdString(mounts[i].id);
    item->setData(0, kIdRole, id);
    if (!keep.isEmpty() && id == keep && keptRow == nullptr) keptRow = item;
  }
  DropRowsFrom(list, static_cast<int>(mounts.size()));
  if (keptRow != nullptr) list->setCurrentItem(keptRow);
  else list->clearSelection();
  w.drivesColumns->fit();
  list->setUpdatesEnabled(true);
  w.state.drivesRefreshing = false;
  UpdateButtons(w);
}

void RefreshTransfers(SettingsWindow& w) {
  if (w.transfersInFlight) return;
  w.transfersInFlight = true;
  RunWorker(
      w.results(),
      [request = w.requestTransfers] {
        TransfersReply reply;
        std::string error;
        reply.ok = request(reply.transfers, error);
        return reply;
      },
      [w = &w](TransfersReply reply) {
        w->transfersInFlight = false;
        // Rows of a service that does not answer would be news of the past;
        // the window's note tells why there are none.
        FillTransfers(*w, reply.ok ? reply.transfers : Value::array());
        Q_EMIT w->transfersShown();
      });
}

void FillTransfers(SettingsWindow& w, const Value& transfers) {
  QTreeWidget* list = w.transfersList;
  std::vector<TransferRow>& rows = w.state.transferRows;
  rows.clear();
  list->setUpdatesEnabled(false);
  const int count = transfers.isArray() ? static_cast<int>(transfers.size()) : 0;
  for (int i = 0; i < count; ++i) {
    const Value& t = transfers.at(static_cast<size_t>(i));
    rows.push_back(TransferRowFrom(t));
    SetRowTexts(RowAt(list, i), TransferRowTexts(t), w.transfersColumns);
  }
  DropRowsFrom(list, count);
  w.transfersColumns->fit();
  list->setUpdatesEnabled(true);
}

void RefreshLog(SettingsWindow& w) {
  // The user is selecting text: the view stays as it is.
  if (w.logView->textCursor().hasSelection() || w.logInFlight) return;
  w.logInFlight = true;
  RunWorker(
      w.results(),
      [request = w.requestLog] {
        LogReply reply;
        reply.ok = request(kLogLines, reply.text, reply.error);
        return reply;
      },
      [w = &w](LogReply reply) {
        w->logInFlight = false;
        // The service's log is its own, in English; why there is none is
        // the window's, in the user's language.
        w->logView->setPlaceholderText(reply.ok ? QString() : ServiceErrorText(reply.error));
        ShowLogText(*w, reply.ok ? reply.text : std::string());
        Q_EMIT w->logShown();
      });
}

void ShowLogText(SettingsWindow& w, const std::string& text) {
  QScrollBar* bar = w.logView->verticalScrollBar();
  LogView view;
  view.hasSelection = w.logView->textCursor().hasSelection();
  view.atBottom = bar->value() >= bar->maximum();
  view.firstVisibleLine = bar->value();
  const std::optional<LogUpdate> update = TakeLogText(w.state.lastLogText, text, view);
  if (!update) return;
  w.logView->setPlainText(update->text);
  if (update->followBottom) {
    w.logView->moveCursor(QTextCursor::End);
    bar->setValue(bar->maximum());
  } else {
    w.logView->moveCursor(QTextCursor::Start);
    bar->setValue(update->firstVisibleLine);
  }
}

void RefreshSettingsPage(SettingsWindow& w) {
  const SettingsPageView view = SettingsPageFor(w.state);
  w.languageList->setEnabled(view.languageEnabled);
  SetDlgText(w.languageNote, view.languageNote);
  w.languageNote->setVisible(!view.languageNote.isEmpty());
  SetDlgText(w.installedVersion, view.installedText);
  SetDlgText(w.updatesNote, view.updatesText);
}

void RefreshWindowNote(SettingsWindow& w) {
  const QString text = WindowNoteText(w.state.status, w.state.page);
  SetDlgText(w.note, text);
  w.note->setVisible(!text.isEmpty());
}

QString DlgItemText(const QWidget* control) {
  if (const auto* label = qobject_cast<const QLabel*>(control)) return label->text();
  if (const auto* button = qobject_cast<const QAbstractButton*>(control)) return button->text();
  if (const auto* field = qobject_cast<const QLineEdit*>(control)) return field->text();
  return QString();
}

QString ListText(const QTreeWidget* list, bool selectedOnly) {
  std::vector<QStringList> rows;
  const int columns = list->header()->count();
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = list->topLevelItem(i);
    if (selectedOnly && !item->isSelected()) continue;
    QStringList cells;
    for (int c = 0; c < columns; ++c) cells << item->text(c);
    rows.push_back(std::move(cells));
  }
  return RowsText(rows);
}

}  // namespace tarn::app
