#include "ui/backup_page.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <utility>

#include "ui/backup_page_model.h"
#include "ui/dialogs.h"
#include "ui/job_editor.h"
#include "ui/language.h"
#include "ui/list_columns.h"
#include "ui/restore_dialog.h"
#include "ui/service_text.h"
#include "ui/string_ids.h"
#include "ui/text_report.h"

namespace tarn::app {
namespace {

using vx::json::Value;

constexpr int kButtonTexts[kPageCommandCount] = {kStrAdd,           kStrEdit,       kStrRemove, kStrBackUpNow,
                                                 kStrRestoreCommand, kStrVerifyCopy, kStrLogCommand};
constexpr int kColumnTitles[kJobColumnCount] = {kStrColumnName,     kStrColumnFolders,   kStrColumnKeptOn,
                                                kStrColumnSchedule, kStrColumnLastCopy, kStrColumnState};
// The columns of long texts: name, folders, where the copy is kept, state.
enum JobColumn { kJobName, kJobFolders, kJobKeptOn, kJobSchedule, kJobLastCopy, kJobState };
constexpr int kMargin = 6;
constexpr int kButtonWidth = 150;

void SetTextIfChanged(QPushButton& button, const QString& text) {
  if (button.text() != text) button.setText(text);
}

}  // namespace

BackupPage::BackupPage(QWidget* parent)
    : QWidget(parent),
      list_(new QTreeWidget(this)),
      note_(new QLabel(this)),
      results_(std::make_shared<ResultGate>(this)) {
  list_->setColumnCount(kJobColumnCount);
  QStringList titles;
  for (int id : kColumnTitles) titles << Tr(id);
  list_->setHeaderLabels(titles);
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setAllColumnsShowFocus(true);
  columns_ = new ListColumns(list_, {kJobName, kJobFolders, kJobKeptOn, kJobState});

  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
  layout->setSpacing(kMargin);
  layout->addWidget(list_, 0, 0);
  auto* commands = new QVBoxLayout();
  commands->setSpacing(kMargin);
  for (int i = 0; i < kPageCommandCount; ++i) {
    auto* button = new QPushButton(Tr(kButtonTexts[i]), this);
    button->setMinimumWidth(kButtonWidth);
    connect(button, &QPushButton::clicked, this, [this, i] { pageCommand(i); });
    commands->addWidget(button);
    buttons_[static_cast<size_t>(i)] = button;
  }
  commands->addStretch(1);
  layout->addLayout(commands, 0, 1);
  note_->setWordWrap(true);
  note_->setForegroundRole(QPalette::PlaceholderText);
  note_->setText(PageNoteText(false));
  layout->addWidget(note_, 1, 0, 1, 2);
  layout->setColumnStretch(0, 1);
  layout->setRowStretch(0, 1);

  connect(list_, &QTreeWidget::itemSelectionChanged, this, &BackupPage::updatePageButtons);
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] {
    if (buttons_[kCommandEdit]->isEnabled()) pageCommand(kCommandEdit);
  });
  connect(&timer_, &QTimer::timeout, this, &BackupPage::refreshPageAsync);
  updatePageButtons();
}

BackupPage::~BackupPage() { results_->close(); }

void BackupPage::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  timer_.start(kPageRefreshMs);
  refreshPageAsync();
}

void BackupPage::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  timer_.stop();
}

void BackupPage::refreshPageAsync() {
  if (refreshing_ || !isVisible()) return;
  refreshing_ = true;
  RunWorker(results_, FetchJobList, [this](JobListResult r) { takeJobList(std::move(r)); });
}

void BackupPage::takeJobList(JobListResult result) {
  refreshing_ = false;
  listed_ = result.outcome;
  refusedByRights_ = result.outcome == JobListOutcome::kRefusedByRights;
  // Jobs of a service that no longer answers would show states of the past
  // as if they held (a "next" run that will not come): the page empties,
  // and the window's note tells why.
  const Value& listed = result.reply["jobs"];
  jobs_ = result.outcome == JobListOutcome::kListed && listed.isArray() ? listed : Value::array();
  fillJobList(result.reply["now"].asInt64());
  Q_EMIT listTaken();
}

void BackupPage::fillJobList(int64_t now) {
  const int count = static_cast<int>(jobs_.size());
  for (int row = 0; row < count; ++row) {
    const JobRowTexts cells = JobRow(jobs_.at(static_cast<size_t>(row)), now);
    for (int column = 0; column < kJobColumnCount; ++column)
      SetListCell(*list_, row, column, cells[static_cast<size_t>(column)], columns_);
  }
  while (list_->topLevelItemCount() > count) delete list_->takeTopLevelItem(count);
  columns_->fit();
  const QString note = PageNoteText(refusedByRights_);
  if (note_->text() != note) note_->setText(note);
  updatePageButtons();
}

const Value* BackupPage::selectedJob() const {
  const QList<QTreeWidgetItem*> selected = list_->selectedItems();
  if (selected.isEmpty()) return nullptr;
  const int row = list_->indexOfTopLevelItem(selected.front());
  if (row < 0 || static_cast<size_t>(row) >= jobs_.size()) return nullptr;
  return &jobs_.at(static_cast<size_t>(row));
}

void BackupPage::updatePageButtons() {
  const PageButtons b = PageButtonStates(commandRunning_, listed_, selectedJob());
  const bool enabled[kPageCommandCount] = {b.add, b.edit, b.remove, b.run, b.restore, b.verify, b.log};
  for (int i = 0; i < kPageCommandCount; ++i) buttons_[static_cast<size_t>(i)]->setEnabled(enabled[i]);
  SetTextIfChanged(*buttons_[kCommandRun], Tr(b.runStops ? kStrStop : kStrBackUpNow));
}

void BackupPage::runPageAsync(PageTask task) {
  commandRunning_ = true;
  updatePageButtons();
  RunWorker(
      results_, [task = std::move(task)] { return RunPageTask(task); },
      [this](QString error) { takeCommandEnd(error); });
}

void BackupPage::takeCommandEnd(const QString& error) {
  commandRunning_ = false;
  updatePageButtons();
  if (!error.isEmpty()) Dialogs().message(window(), {Tr(kStrTarn), error, MessageIcon::kError});
  refreshPageAsync();
  Q_EMIT commandEnded();
}

void BackupPage::pageCommand(int command) {
  // Dialogs belong to the settings window.
  QWidget* owner = window();
  if (command == kCommandAdd) {
    JobEditor* editor = EditJob(owner, Value::object(), true, status_);
    connect(editor, &JobEditor::saved, this, &BackupPage::refreshPageAsync);
    return;
  }
  const Value* selected = selectedJob();
  if (selected == nullptr) return;
  const Value job = *selected;
  const std::string id = job["id"].asString();
  const QString name = ShownName(job["name"].asString());
  switch (command) {
    case kCommandEdit: {
      JobEditor* editor = EditJob(owner, job, false, status_);
      connect(editor, &JobEditor::saved, this, &BackupPage::refreshPageAsync);
      break;
    }
    case kCommandRemove: {
      const MessageSpec question{Tr(kStrTarn),        FormatText(Tr(kStrRemoveBackupQuestion), {name}),
                                 MessageIcon::kQuestion, MessageButtons::kAcceptCancel,
                                 Tr(kStrRemove),      true};
      if (Dialogs().message(owner, question) == MessageAnswer::kAccept) runPageAsync(RemoveJobTask(id));
      break;
    }
    case kCommandRun:
      runPageAsync(RunOrStopTask(id, JobRunning(job)));
      break;
    case kCommandRestore:
      OpenRestore(owner, id, name);
      break;
    case kCommandVerify:
      runPageAsync(VerifyTask(id));
      break;
    case kCommandLog:
      // Not one at a time: each click reads the log anew.
      RunWorker(
          results_, [id] { return FetchJobLog(id); },
          [this, name](QString text) {
            Q_EMIT jobLogShown(ShowTextReport(window(), FormatText(Tr(kStrLogTitle), {name}), text));
          });
      break;
    default:
      break;
  }
}

BackupPage* CreateBackupPage(QWidget* parent) { return new BackupPage(parent); }

void ShowBackupPage(BackupPage& page, bool show) { page.setVisible(show); }

void SetPageStatus(BackupPage& page, const ServiceStatus& status) { page.setStatus(status); }

void SetListCell(QTreeWidget& list, int row, int column, const QString& text, const ListColumns* columns) {
  QTreeWidgetItem* item =
      column == 0 && row >= list.topLevelItemCount() ? new QTreeWidgetItem(&list) : list.topLevelItem(row);
  if (item != nullptr) SetCellText(item, column, text, columns);
}

bool BrowseForFolder(QWidget* owner, const QString& caption, QString& path) {
  const QString chosen = Dialogs().pickFolder(owner, caption, QString());
  if (chosen.isEmpty()) return false;
  path = chosen;
  return true;
}

}  // namespace tarn::app
