#include "ui/job_editor.h"

#include <QCheckBox>
#include <QDateTime>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <algorithm>
#include <type_traits>
#include <utility>

#include "ui/app_icon.h"
#include "ui/backup_page.h"
#include "ui/dialogs.h"
#include "ui/language.h"
#include "ui/paragraph_label.h"
#include "ui/service_text.h"
#include "ui/string_ids.h"

namespace tarn::app {
namespace {

// Protocol names are the same in every language.
const char* const kProtocolTitles[kProtocolCount] = {"WebDAV", "SFTP", "S3", "NFS"};
constexpr int kScheduleTitles[] = {kStrByHand, kStrEveryFewHours, kStrEveryDay};
// Room for this many digits in a number box.
constexpr int kNumberDigits = 6;
constexpr int kSourceRows = 4;
constexpr int kEditorMinWidth = 600;

QLabel* Label(int id, QWidget* parent) { return new QLabel(Tr(id), parent); }

QLineEdit* Edit(const char* name, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QLatin1String(name));
  return edit;
}

QLineEdit* SecretEdit(const char* name, QWidget* parent) {
  QLineEdit* edit = Edit(name, parent);
  edit->setEchoMode(QLineEdit::Password);
  return edit;
}

QLineEdit* NumberEdit(const char* name, QWidget* parent) {
  QLineEdit* edit = Edit(name, parent);
  edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
  edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QLatin1Char('0')) * kNumberDigits + 16);
  return edit;
}

ParagraphLabel* Note(QWidget* parent, const char* name) {
  auto* label = new ParagraphLabel(QString(), parent);
  label->setObjectName(QLatin1String(name));
  label->setForegroundRole(QPalette::PlaceholderText);
  return label;
}

// The folder a row of the folder list stands for; its text is the folder
// as it reads in the window's language.
constexpr int kPathRole = Qt::UserRole;

void AddFolderItem(QListWidget* list, const QString& folder) {
  auto* item = new QListWidgetItem(LeftToRightText(folder), list);
  item->setData(kPathRole, folder);
  item->setToolTip(folder);
}

// A stored secret shows as its placeholder, in grey, and typing starts
// afresh rather than after it.
void ShowSecret(QLineEdit* edit, const QString& value, const QString& placeholder) {
  const bool stored = value == placeholder;
  edit->setText(stored ? QString() : value);
  edit->setPlaceholderText(stored ? placeholder : QString());
}

}  // namespace

JobEditor::JobEditor(QWidget* owner, JobEditContext context)
    : QDialog(owner), context_(std::move(context)), results_(std::make_shared<ResultGate>(this)) {
  setWindowIcon(AppIcon());
  setMinimumWidth(kEditorMinWidth);
  auto* grid = new QGridLayout(this);
  int row = 0;
  auto labelled = [&](int id, QWidget* field, int span = 3) {
    grid->addWidget(Label(id, this), row, 0);
    grid->addWidget(field, row, 1, 1, span);
    ++row;
  };
  // Two labelled fields side by side; a field may be a layout.
  auto pair = [&](QWidget* firstLabel, auto* first, QWidget* secondLabel, QWidget* second) {
    grid->addWidget(firstLabel, row, 0);
    if constexpr (std::is_base_of_v<QLayout, std::remove_pointer_t<decltype(first)>>) grid->addLayout(first, row, 1);
    else grid->addWidget(first, row, 1);
    grid->addWidget(secondLabel, row, 2);
    grid->addWidget(second, row, 3);
    ++row;
  };

  name_ = Edit("name", this);
  labelled(kStrFieldName, name_);

  sources_ = new QListWidget(this);
  sources_->setObjectName(QStringLiteral("sources"));
  sources_->setMaximumHeight(sources_->fontMetrics().height() * (kSourceRows + 1));
  auto* folderButtons = new QVBoxLayout();
  auto* addFolder = new QPushButton(Tr(kStrAddFolder), this);
  addFolder->setObjectName(QStringLiteral("addFolder"));
  auto* removeFolder = new QPushButton(Tr(kStrRemove), this);
  removeFolder->setObjectName(QStringLiteral("removeFolder"));
  folderButtons->addWidget(addFolder);
  folderButtons->addWidget(removeFolder);
  folderButtons->addStretch(1);
  grid->addWidget(Label(kStrFoldersToCopy, this), row, 0, Qt::AlignTop);
  grid->addWidget(sources_, row, 1, 1, 2);
  grid->addLayout(folderButtons, row, 3);
  ++row;

  excludes_ = Edit("excludes", this);
  labelled(kStrSkipMasks, excludes_);
  destination_ = new QComboBox(this);
  destination_->setObjectName(QStringLiteral("destination"));
  labelled(kStrKeepCopyOn, destination_);
  folder_ = Edit("folder", this);
  labelled(kStrFolderThere, folder_);

  protocol_ = new QComboBox(this);
  protocol_->setObjectName(QStringLiteral("protocol"));
  for (const char* title : kProtocolTitles) protocol_->addItem(QLatin1String(title));
  address_ = Edit("address", this);
  protocolLabel_ = Label(kStrProtocol, this);
  addressLabel_ = Label(kStrAddress, this);
  pair(protocolLabel_, protocol_, addressLabel_, address_);

  user_ = Edit("user", this);
  serverPassword_ = SecretEdit("serverPassword", this);
  userLabel_ = Label(kStrLogin, this);
  serverPasswordLabel_ = Label(kStrPassword, this);
  pair(userLabel_, user_, serverPasswordLabel_, serverPassword_);

  keyFile_ = Edit("keyFile", this);
  pickKey_ = new QPushButton(QStringLiteral("..."), this);
  pickKey_->setObjectName(QStringLiteral("pickKey"));
  pickKey_->setMaximumWidth(pickKey_->fontMetrics().horizontalAdvance(pickKey_->text()) * 3);
  auto* key = new QHBoxLayout();
  key->addWidget(keyFile_, 1);
  key->addWidget(pickKey_);
  options_ = Edit("options", this);
  keyLabel_ = Label(kStrSshKey, this);
  optionsLabel_ = Label(kStrOptions, this);
  pair(keyLabel_, key, optionsLabel_, options_);

  hint_ = Note(this, "hint");
  // Room for the longest hint, so that choosing a protocol moves nothing.
  hint_->setAlternatives({Tr(kStrHintWebDav), Tr(kStrHintSftp), Tr(kStrHintS3), Tr(kStrHintNfs)});
  grid->addWidget(hint_, row++, 0, 1, 4);

  password_ = SecretEdit("password", this);
  passwordAgain_ = SecretEdit("passwordAgain", this);
  pair(Label(kStrBackupPassword, this), password_, Label(kStrOnceMore, this), passwordAgain_);
  ParagraphLabel* passwordNote = Note(this, "passwordNote");
  passwordNote->setText(Tr(kStrPasswordNote));
  grid->addWidget(passwordNote, row++, 0, 1, 4);

  schedule_ = new QComboBox(this);
  schedule_->setObjectName(QStringLiteral("schedule"));
  for (int id : kScheduleTitles) schedule_->addItem(Tr(id));
  everyHours_ = NumberEdit("everyHours", this);
  dailyTime_ = Edit("dailyTime", this);
  dailyTime_->setMaximumWidth(everyHours_->maximumWidth());
  everyHoursLabel_ = Label(kStrEveryHoursLabel, this);
  dailyTimeLabel_ = Label(kStrAtTime, this);
  auto* when = new QHBoxLayout();
  when->addWidget(everyHoursLabel_);
  when->addWidget(everyHours_);
  when->addSpacing(12);
  when->addWidget(dailyTimeLabel_);
  when->addWidget(dailyTime_);
  when->addStretch(1);
  grid->addWidget(Label(kStrWhen, this), row, 0);
  grid->addWidget(schedule_, row, 1);
  grid->addLayout(when, row, 2, 1, 2);
  ++row;

  keepLast_ = NumberEdit("keepLast", this);
  keepDaily_ = NumberEdit("keepDaily", this);
  keepWeekly_ = NumberEdit("keepWeekly", this);
  keepMonthly_ = NumberEdit("keepMonthly", this);
  auto* keep = new QHBoxLayout();
  const std::pair<QLineEdit*, int> keeps[] = {
      {keepLast_, kStrKeepLatest}, {keepDaily_, kStrKeepDaily}, {keepWeekly_, kStrKeepWeekly}, {keepMonthly_, kStrKeepMonthly}};
  for (const auto& [edit, id] : keeps) {
    keep->addWidget(edit);
    keep->addWidget(Label(id, this));
    keep->addSpacing(8);
  }
  keep->addStretch(1);
  grid->addWidget(Label(kStrVersionsToKeep, this), row, 0);
  grid->addLayout(keep, row, 1, 1, 3);
  ++row;

  compress_ = new QCheckBox(Tr(kStrCompress), this);
  compress_->setObjectName(QStringLiteral("compress"));
  speedLimit_ = NumberEdit("speedLimit", this);
  auto* speed = new QHBoxLayout();
  speed->addStretch(1);
  speed->addWidget(Label(kStrSpeedLimit, this));
  speed->addWidget(speedLimit_);
  grid->addWidget(compress_, row, 1);
  grid->addLayout(speed, row, 2, 1, 2);
  ++row;

  status_ = Note(this, "status");
  check_ = new QPushButton(Tr(kStrCheck), this);
  check_->setObjectName(QStringLiteral("check"));
  ok_ = new QPushButton(Tr(kStrOk), this);
  ok_->setObjectName(QStringLiteral("ok"));
  ok_->setDefault(true);
  auto* cancel = new QPushButton(Tr(kStrCancel), this);
  cancel->setObjectName(QStringLiteral("cancel"));
  auto* buttons = new QHBoxLayout();
  buttons->addStretch(1);
  buttons->addWidget(check_);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel);
  grid->addWidget(status_, row, 0, 1, 2);
  grid->addLayout(buttons, row, 2, 1, 2);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);

  connect(addFolder, &QPushButton::clicked, this, &JobEditor::addFolder);
  connect(removeFolder, &QPushButton::clicked, this, [this] { delete sources_->currentItem(); });
  connect(pickKey_, &QPushButton::clicked, this, &JobEditor::pickKey);
  for (QComboBox* choice : {destination_, protocol_, schedule_})
    connect(choice, &QComboBox::currentIndexChanged, this, &JobEditor::updateEditorControls);
  // textEdited comes from the user only, never from the program's own setText.
  connect(serverPassword_, &QLineEdit::textEdited, this, [this] { context_.endpointPasswordEdited = true; });
  connect(keyFile_, &QLineEdit::textEdited, this, [this] { context_.keyEdited = true; });
  connect(password_, &QLineEdit::textEdited, this, [this] { passwordTyped(password_); });
  connect(passwordAgain_, &QLineEdit::textEdited, this, [this] { passwordTyped(passwordAgain_); });
  connect(check_, &QPushButton::clicked, this, &JobEditor::check);
  connect(ok_, &QPushButton::clicked, this, &JobEditor::save);
  connect(cancel, &QPushButton::clicked, this, &JobEditor::reject);

  showForm(FillJobDialog(context_));
  shown_ = form();
  FollowWidthWithHeight(this, std::max(sizeHint().width(), kEditorMinWidth));
}

JobEditor::~JobEditor() { results_->close(); }

JobForm JobEditor::form() const {
  JobForm f;
  f.caption = windowTitle();
  f.name = name_->text();
  for (int i = 0; i < sources_->count(); ++i) f.sources << sources_->item(i)->data(kPathRole).toString();
  f.excludes = excludes_->text();
  for (int i = 0; i < destination_->count(); ++i) f.destinations << destination_->itemText(i);
  f.destination = destination_->currentIndex();
  f.folder = folder_->text();
  f.protocol = protocol_->currentIndex();
  f.address = address_->text();
  f.user = user_->text();
  f.serverPassword = serverPassword_->text();
  f.keyFile = keyFile_->text();
  f.options = options_->text();
  f.password = password_->text();
  f.passwordAgain = passwordAgain_->text();
  f.schedule = schedule_->currentIndex();
  f.everyHours = everyHours_->text();
  f.dailyTime = dailyTime_->text();
  f.keepLast = keepLast_->text();
  f.keepDaily = keepDaily_->text();
  f.keepWeekly = keepWeekly_->text();
  f.keepMonthly = keepMonthly_->text();
  f.compress = compress_->isChecked();
  f.speedLimit = speedLimit_->text();
  return f;
}

void JobEditor::showForm(const JobForm& f) {
  setWindowTitle(f.caption);
  name_->setText(f.name);
  sources_->clear();
  for (const QString& folder : f.sources) AddFolderItem(sources_, folder);
  excludes_->setText(f.excludes);
  destination_->clear();
  destination_->addItems(f.destinations);
  destination_->setCurrentIndex(f.destination);
  folder_->setText(f.folder);
  protocol_->setCurrentIndex(f.protocol);
  address_->setText(f.address);
  user_->setText(f.user);
  ShowSecret(serverPassword_, f.serverPassword, SecretPlaceholder());
  ShowSecret(keyFile_, f.keyFile, Tr(kStrSavedSecret));
  options_->setText(f.options);
  ShowSecret(password_, f.password, SecretPlaceholder());
  ShowSecret(passwordAgain_, f.passwordAgain, SecretPlaceholder());
  schedule_->setCurrentIndex(f.schedule);
  everyHours_->setText(f.everyHours);
  dailyTime_->setText(f.dailyTime);
  keepLast_->setText(f.keepLast);
  keepDaily_->setText(f.keepDaily);
  keepWeekly_->setText(f.keepWeekly);
  keepMonthly_->setText(f.keepMonthly);
  compress_->setChecked(f.compress);
  speedLimit_->setText(f.speedLimit);
  updateEditorControls();
}

void JobEditor::updateEditorControls() {
  const EditorControls c = UpdateEditorControls(form());
  for (QWidget* w : {protocolLabel_, static_cast<QWidget*>(protocol_), addressLabel_, static_cast<QWidget*>(address_),
                     optionsLabel_, static_cast<QWidget*>(options_)})
    w->setEnabled(c.server);
  for (QWidget* w : {userLabel_, static_cast<QWidget*>(user_), serverPasswordLabel_,
                     static_cast<QWidget*>(serverPassword_)})
    w->setEnabled(c.login);
  for (QWidget* w : {keyLabel_, static_cast<QWidget*>(keyFile_), static_cast<QWidget*>(pickKey_)}) w->setEnabled(c.key);
  everyHoursLabel_->setEnabled(c.everyHours);
  everyHours_->setEnabled(c.everyHours);
  dailyTimeLabel_->setEnabled(c.dailyTime);
  dailyTime_->setEnabled(c.dailyTime);
  const QString hint = c.hintId < 0 ? QString() : Tr(c.hintId);
  if (hint_->text() != hint) hint_->setText(hint);
}

void JobEditor::setEditorBusy(bool busy) {
  busy_ = busy;
  if (busy) focusBefore_ = focusWidget();
  check_->setEnabled(!busy);
  ok_->setEnabled(!busy);
  status_->setText(busy ? Tr(kStrCheckingServer) : QString());
  // The keyboard goes back where it was, not left on Cancel for the next
  // Enter to throw the form away.
  if (!busy && focusBefore_ && focusBefore_->isEnabled()) focusBefore_->setFocus();
}

void JobEditor::passwordTyped(QLineEdit* typedIn) {
  if (context_.passwordTouched) return;
  context_.passwordTouched = true;
  // A stored password is replaced only by typing the new one twice.
  if (context_.hasPassword) ShowSecret(typedIn == password_ ? passwordAgain_ : password_, QString(), QString());
}

void JobEditor::addFolder() {
  QString folder;
  if (!BrowseForFolder(this, Tr(kStrAddFolder), folder)) return;
  QStringList sources = form().sources;
  if (AddSourceFolder(sources, folder)) AddFolderItem(sources_, folder);
}

void JobEditor::pickKey() {
  const QString filter = Tr(kStrKeyFilter) + QStringLiteral(";;") + Tr(kStrAllFiles);
  const QString file = Dialogs().pickFile(this, Tr(kStrSshKey), filter, QString());
  if (file.isEmpty()) return;
  keyFile_->setText(file);
  context_.keyEdited = true;
}

void JobEditor::check() { start(false); }

void JobEditor::save() { start(true); }

void JobEditor::start(bool saving) {
  if (busy_) return;
  vx::json::Value job;
  QString warning;
  if (!ReadJobDialog(context_, form(), job, warning)) {
    Dialogs().message(this, {Tr(kStrTarn), warning, MessageIcon::kWarning});
    return;
  }
  setEditorBusy(true);
  if (saving) {
    RunWorker(
        results_, [job = std::move(job)] { return SaveJobRequest(job); },
        [this](EditorResult r) { takeSaveEnd(r); });
  } else {
    RunWorker(
        results_, [job = std::move(job)] { return TestJobRequest(job); },
        [this](EditorResult r) { takeTestEnd(r); });
  }
}

void JobEditor::takeTestEnd(const EditorResult& result) {
  setEditorBusy(false);
  status_->setText(CheckResultText(result));
  Q_EMIT requestEnded();
}

void JobEditor::takeSaveEnd(const EditorResult& result) {
  setEditorBusy(false);
  if (result.ok) {
    context_.job = result.reply["job"];
    Q_EMIT saved(context_.job);
    accept();
    // A scheduled job without a copy is due: its first run begins at once,
    // which the user would not expect of "Daily at 03:00".
    const QString notice = SavedJobNotice(context_.job, QDateTime::currentSecsSinceEpoch());
    if (!notice.isEmpty()) Dialogs().message(parentWidget(), {Tr(kStrTarn), notice, MessageIcon::kInformation});
  } else {
    Dialogs().message(this, {Tr(kStrTarn), ErrorWords(result.errorText), MessageIcon::kError});
  }
  Q_EMIT requestEnded();
}

void JobEditor::reject() {
  if (busy_) return;
  if (form() != shown_) {
    MessageSpec ask;
    ask.caption = Tr(kStrTarn);
    ask.text = Tr(kStrDiscardJobQuestion);
    ask.icon = MessageIcon::kQuestion;
    ask.buttons = MessageButtons::kAcceptCancel;
    ask.acceptText = Tr(kStrDiscard);
    // What was typed is kept unless the user says otherwise.
    ask.cancelIsDefault = true;
    if (Dialogs().message(this, ask) != MessageAnswer::kAccept) return;
  }
  QDialog::reject();
}

void JobEditor::done(int result) {
  // A result that arrives after the editor closed has nobody to go to.
  results_->close();
  QDialog::done(result);
}

JobEditor* EditJob(QWidget* owner, const vx::json::Value& job, bool isNew, const ServiceStatus& status) {
  auto* editor = new JobEditor(owner, MakeJobEditContext(job, isNew, status));
  editor->setAttribute(Qt::WA_DeleteOnClose);
  editor->open();
  return editor;
}

}  // namespace tarn::app
