#include "ui/restore_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <utility>

#include "ui/app_icon.h"
#include "ui/backup_page.h"
#include "ui/backup_page_model.h"
#include "ui/dialogs.h"
#include "ui/language.h"
#include "ui/list_columns.h"
#include "ui/service_text.h"
#include "ui/string_ids.h"

namespace tarn::app {
namespace {

constexpr int kDialogWidth = 660;
constexpr int kDialogHeight = 480;
// Answers of the question where the files go.
constexpr int kToWhereTheyWere = 0;
constexpr int kToAnotherFolder = 1;

}  // namespace

RestoreDialog::RestoreDialog(QWidget* owner, std::string jobId, QString jobName)
    : QDialog(owner), results_(std::make_shared<ResultGate>(this)) {
  context_.jobId = std::move(jobId);
  context_.jobName = std::move(jobName);
  setWindowTitle(FormatText(Tr(kStrRestoreCaption), {context_.jobName}));
  setWindowIcon(AppIcon());

  versions_ = new QComboBox(this);
  versions_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  delete_ = new QPushButton(Tr(kStrDeleteVersion), this);
  delete_->setAutoDefault(false);
  delete_->setObjectName(QStringLiteral("deleteVersion"));
  auto* top = new QHBoxLayout();
  top->addWidget(new QLabel(Tr(kStrVersion), this));
  top->addWidget(versions_, 1);
  top->addWidget(delete_);

  up_ = new QPushButton(Tr(kStrUp), this);
  up_->setAutoDefault(false);
  up_->setObjectName(QStringLiteral("up"));
  path_ = new QLabel(this);
  path_->setTextFormat(Qt::PlainText);
  auto* where = new QHBoxLayout();
  where->addWidget(up_);
  where->addWidget(path_, 1);

  list_ = new QTreeWidget(this);
  list_->setColumnCount(3);
  list_->setHeaderLabels({Tr(kStrColumnName), Tr(kStrColumnSize), Tr(kStrColumnModified)});
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setAllColumnsShowFocus(true);
  // Names are long; sizes and dates are not.
  columns_ = new ListColumns(list_, {0});

  status_ = new QLabel(this);
  status_->setTextFormat(Qt::PlainText);
  status_->setWordWrap(true);

  restoreSelected_ = new QPushButton(Tr(kStrRestoreSelected), this);
  restoreSelected_->setAutoDefault(false);
  restoreSelected_->setObjectName(QStringLiteral("restoreSelected"));
  restoreEverything_ = new QPushButton(Tr(kStrRestoreEverything), this);
  restoreEverything_->setAutoDefault(false);
  restoreEverything_->setObjectName(QStringLiteral("restoreEverything"));
  auto* close = new QPushButton(Tr(kStrClose), this);
  close->setObjectName(QStringLiteral("close"));
  close->setDefault(true);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(restoreSelected_);
  buttons->addWidget(restoreEverything_);
  buttons->addWidget(close);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(where);
  layout->addWidget(list_, 1);
  layout->addWidget(status_);
  layout->addLayout(buttons);
  resize(kDialogWidth, kDialogHeight);

  connect(versions_, &QComboBox::currentIndexChanged, this, &RestoreDialog::versionChosen);
  connect(delete_, &QPushButton::clicked, this, &RestoreDialog::deleteVersion);
  connect(up_, &QPushButton::clicked, this, &RestoreDialog::goUp);
  connect(list_, &QTreeWidget::itemDoubleClicked, this, &RestoreDialog::entryActivated);
  connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
    if (!context_.busy) applyControls();
  });
  connect(restoreSelected_, &QPushButton::clicked, this, &RestoreDialog::restoreSelected);
  connect(restoreEverything_, &QPushButton::clicked, this, &RestoreDialog::restoreEverything);
  connect(close, &QPushButton::clicked, this, &RestoreDialog::reject);

  showPath();
  loadSnapshots();
}

RestoreDialog::~RestoreDialog() { results_->close(); }

QString RestoreDialog::statusText() const { return status_->text(); }

void RestoreDialog::loadSnapshots() {
  setRestoreBusy(true, QString());
  const uint32_t generation = ++context_.generation;
  RunWorker(
      results_, [id = context_.jobId, generation] { return LoadVersionsRequest(id, generation); },
      [this](RestoreLoadResult r) { takeLoad(r); });
}

void RestoreDialog::loadDir(const std::string& path) {
  const std::string snapshot = selectedSnapshotId();
  if (snapshot.empty()) return;
  setRestoreBusy(true, QString());
  const uint32_t generation = ++context_.generation;
  RunWorker(
      results_,
      [id = context_.jobId, snapshot, path, generation] { return LoadFolderRequest(id, snapshot, path, generation); },
      [this](RestoreLoadResult r) { takeLoad(r); });
}

std::string RestoreDialog::selectedSnapshotId() const {
  return SelectedSnapshotId(context_, versions_->currentIndex());
}

void RestoreDialog::takeLoad(const RestoreLoadResult& result) {
  switch (TakeRestoreLoad(context_, result)) {
    case LoadOutcome::kDropped:
      break;
    case LoadOutcome::kFailed:
      setRestoreBusy(false, ErrorWords(result.error));
      break;
    case LoadOutcome::kNoVersions:
    case LoadOutcome::kVersions: {
      fillingVersions_ = true;
      versions_->clear();
      for (size_t i = 0; i < context_.versions.size(); ++i) versions_->addItem(VersionText(context_.versions.at(i)));
      versions_->setCurrentIndex(context_.versions.size() > 0 ? 0 : -1);
      fillingVersions_ = false;
      fillRestoreList();
      if (context_.versions.size() == 0) setRestoreBusy(false, Tr(kStrNoCopyYet));
      else loadDir(std::string());
      break;
    }
    case LoadOutcome::kFolder:
      fillRestoreList();
      setRestoreBusy(false, QString());
      break;
  }
  Q_EMIT requestEnded();
}

void RestoreDialog::fillRestoreList() {
  list_->clear();
  for (size_t i = 0; i < context_.entries.size(); ++i) {
    const EntryRow row = EntryRowTexts(context_.entries.at(i));
    auto* item = new QTreeWidgetItem(list_);
    const QString cells[] = {row.name, row.size, row.modified};
    for (int c = 0; c < 3; ++c) SetCellText(item, c, cells[c], columns_);
  }
  columns_->fit();
  showPath();
}

void RestoreDialog::showPath() {
  const QString path = FolderLabel(context_.path);
  path_->setToolTip(path);
  path_->setText(LeftToRightText(path_->fontMetrics().elidedText(path, Qt::ElideMiddle, std::max(path_->width(), 1))));
}

void RestoreDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  showPath();
}

void RestoreDialog::setRestoreBusy(bool busy, const QString& message) {
  context_.busy = busy;
  applyControls();
  status_->setText(RestoreStatusText(busy, message));
}

void RestoreDialog::applyControls() {
  const RestoreControls c = RestoreControlStates(context_, !list_->selectedItems().isEmpty());
  versions_->setEnabled(c.versions);
  delete_->setEnabled(c.deleteVersion);
  up_->setEnabled(c.up);
  restoreEverything_->setEnabled(c.restoreEverything);
  list_->setEnabled(c.list);
  restoreSelected_->setEnabled(c.restoreSelected);
}

void RestoreDialog::versionChosen() {
  if (fillingVersions_ || context_.busy) return;
  loadDir(std::string());
}

void RestoreDialog::entryActivated(QTreeWidgetItem* item) {
  if (context_.busy || item == nullptr) return;
  const int row = list_->indexOfTopLevelItem(item);
  if (row < 0 || static_cast<size_t>(row) >= context_.entries.size()) return;
  const vx::json::Value& entry = context_.entries.at(static_cast<size_t>(row));
  if (entry["dir"].asBool(false)) loadDir(EnterFolder(context_.path, entry["name"].asString()));
}

void RestoreDialog::goUp() {
  if (context_.busy) return;
  loadDir(UpFolder(context_.path));
}

void RestoreDialog::restoreSelected() {
  if (context_.busy) return;
  const QList<QTreeWidgetItem*> selected = list_->selectedItems();
  if (selected.isEmpty()) return;
  const int row = list_->indexOfTopLevelItem(selected.front());
  if (row < 0 || static_cast<size_t>(row) >= context_.entries.size()) return;
  startRestore(EnterFolder(context_.path, context_.entries.at(static_cast<size_t>(row))["name"].asString()));
}

void RestoreDialog::restoreEverything() {
  if (context_.busy) return;
  startRestore(std::string());
}

void RestoreDialog::startRestore(const std::string& path) {
  const std::string snapshot = selectedSnapshotId();
  if (snapshot.empty()) return;
  const ChoiceSpec question{Tr(kStrTarn), Tr(kStrWhereToQuestion), {Tr(kStrToWhereTheyWere), Tr(kStrToAnotherFolder)},
                            kToAnotherFolder};
  const int answer = Dialogs().choose(this, question);
  QString target;
  if (answer == kToAnotherFolder) {
    if (!BrowseForFolder(this, Tr(kStrToAnotherFolder), target)) return;
  } else if (answer != kToWhereTheyWere) {
    return;
  }
  // A blank status line rather than "Reading the copy…".
  setRestoreBusy(true, QStringLiteral(" "));
  RunWorker(
      results_,
      [id = context_.jobId, snapshot, path, target = target.toStdString()] {
        return RestoreRequest(id, snapshot, path, target);
      },
      [this](RestoreEnd end) { takeEnd(end); });
}

void RestoreDialog::deleteVersion() {
  if (context_.busy) return;
  const std::string snapshot = selectedSnapshotId();
  if (snapshot.empty()) return;
  const MessageSpec question{Tr(kStrTarn),     Tr(kStrDeleteVersionQuestion), MessageIcon::kWarning,
                             MessageButtons::kAcceptCancel, Tr(kStrDeleteVersion), true};
  if (Dialogs().message(this, question) != MessageAnswer::kAccept) return;
  setRestoreBusy(true, QString());
  RunWorker(
      results_, [id = context_.jobId, snapshot] { return ForgetRequest(id, snapshot); },
      [this](RestoreEnd end) { takeEnd(end); });
}

void RestoreDialog::takeEnd(const RestoreEnd& end) {
  const QString error = end.error.empty() ? QString() : ErrorWords(end.error);
  if (end.kind == RestoreEnd::kDeleteEnded) {
    if (error.isEmpty()) loadSnapshots();
    else setRestoreBusy(false, error);
    Q_EMIT requestEnded();
    return;
  }
  setRestoreBusy(false, QString());
  if (end.kind == RestoreEnd::kRestoreStarted) {
    Dialogs().message(this, {Tr(kStrTarn), Tr(kStrRestoreStarted), MessageIcon::kInformation});
    accept();
  } else {
    Dialogs().message(this, {Tr(kStrTarn), error, MessageIcon::kError});
  }
  Q_EMIT requestEnded();
}

void RestoreDialog::reject() {
  // A load still on its way is no longer the newest.
  ++context_.generation;
  QDialog::reject();
}

void RestoreDialog::done(int result) {
  results_->close();
  QDialog::done(result);
}

RestoreDialog* OpenRestore(QWidget* owner, const std::string& jobId, const QString& jobName) {
  auto* dialog = new RestoreDialog(owner, jobId, jobName);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->open();
  return dialog;
}

}  // namespace tarn::app
