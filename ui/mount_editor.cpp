#include "ui/mount_editor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "client/service_client.h"
#include "foundation/config_file.h"
#include "foundation/file_util.h"
#include "ui/app_icon.h"
#include "ui/dialogs.h"
#include "ui/language.h"
#include "ui/paragraph_label.h"
#include "ui/service_text.h"
#include "ui/string_ids.h"
#include "ui/text_report.h"

namespace tarn::app {
namespace {

using vx::json::Value;

constexpr const char* kNumberNames[kNumberFieldCount] = {
    "port",        "connectTimeout", "ioTimeout", "attempts",  "keepalive",    "retryMin",
    "retryMax",    "connections",    "speedLimit", "uploadChunk", "parallelChunks", "cacheSize",
    "readahead",   "readaheadMax",   "metadataTtl", "writebackDelay", "wholeFileBelow"};
constexpr const char* kProtocolNames[] = {"WebDAV", "SFTP", "NFS"};
constexpr int kEditorWidth = 720;
constexpr int kUnicodeTexts[] = {kStrNfc, kStrNfd, kStrLeaveAsIs};
constexpr int kCaseTexts[] = {kStrRefuse, kStrAllow};
constexpr int kPageTitles[kMountPageCount] = {kStrPageConnection, kStrPageNetwork, kStrPageCache,
                                              kStrPageCompatibility};

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QLatin1String(name));
  return widget;
}

QCheckBox* Check(int textId, const char* name, QWidget* parent) {
  return Named(new QCheckBox(Tr(textId), parent), name);
}

QLabel* Explanation(int textId) { return new ParagraphLabel(Tr(textId)); }

// A label and its field in column pair `pair` of a grid.
void AddPair(QGridLayout* grid, int row, int pair, int labelId, QWidget* field, int fieldSpan = 1) {
  auto* label = new QLabel(Tr(labelId));
  label->setBuddy(field);
  grid->addWidget(label, row, pair * 2);
  grid->addWidget(field, row, pair * 2 + 1, 1, fieldSpan);
}

// A field with the control that serves it ("...", "Show").
QWidget* WithButton(QWidget* field, QWidget* button) {
  auto* box = new QWidget;
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(field, 1);
  row->addWidget(button);
  return box;
}

QWidget* Row(std::initializer_list<QWidget*> widgets) {
  auto* box = new QWidget;
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(0, 0, 0, 0);
  for (QWidget* w : widgets) row->addWidget(w);
  row->addStretch(1);
  return box;
}

void ShowMessage(QWidget* owner, const QString& text, MessageIcon icon) {
  MessageSpec box;
  box.caption = Tr(kStrTarn);
  box.text = text;
  box.icon = icon;
  Dialogs().message(owner, box);
}

}  // namespace

ProbeOutcome ProbeThread(const Value& drive) {
  ProbeOutcome outcome;
  outcome.ok = RequestProbe(drive, outcome.summary, outcome.reportOk, outcome.error, &outcome.report);
  return outcome;
}

SaveOutcome SaveMountThread(const Value& drive) {
  SaveOutcome outcome;
  LoginCheck login;
  outcome.ok = RequestSetMount(drive, outcome.id, outcome.error, &login);
  if (outcome.ok && !login.tried) outcome.loginUntried = login.problem.empty() ? "untried" : login.problem;
  return outcome;
}

MountDialog::MountDialog(QWidget* owner, const Value& drive, bool isNew, std::u16string lettersInUse)
    : QDialog(owner),
      state_(OpenMountEditor(drive, isNew)),
      lettersInUse_(std::move(lettersInUse)),
      results_(std::make_shared<ResultGate>(this)) {
  setWindowTitle(Tr(isNew ? kStrNewDrive : kStrDriveCaption));
  setWindowIcon(AppIcon());
  pages_ = new QTabWidget(this);
  QWidget* built[kMountPageCount] = {connectionPage(), networkPage(), cachePage(), compatibilityPage()};
  for (int i = 0; i < kMountPageCount; ++i) pages_->addTab(built[i], Tr(kPageTitles[i]));

  status_ = Named(new ParagraphLabel(QString(), this), "status");
  static_cast<ParagraphLabel*>(status_)->setAlternatives({Tr(kStrCheckingServer)});
  check_ = Named(new QPushButton(Tr(kStrCheck), this), "check");
  ok_ = Named(new QPushButton(Tr(kStrOk), this), "ok");
  ok_->setDefault(true);
  cancel_ = Named(new QPushButton(Tr(kStrCancel), this), "cancel");
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(status_, 1);
  buttons->addWidget(check_);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* frame = new QVBoxLayout(this);
  frame->addWidget(pages_, 1);
  frame->addLayout(buttons);

  showFields(FillMountFields(state_, lettersInUse_));
  applyProtocolFields();
  ShowMountPage(*this, kPageConnection);
  // Wide enough that the hints and explanations take a few lines, not a
  // screen's height.
  FollowWidthWithHeight(this, std::max(sizeHint().width(), kEditorWidth));

  connect(protocol_, &QComboBox::currentIndexChanged, this, &MountDialog::applyProtocolFields);
  connect(protocol_, &QComboBox::activated, this, [this] {
    MountFields f = fields();
    ProtocolChosen(f);
    root_->setText(f.root);
  });
  connect(password_, &QLineEdit::textEdited, this, [this] { state_.passwordEdited = true; });
  connect(keyFile_, &QLineEdit::textEdited, this, [this] { state_.keyEdited = true; });
  connect(showPassword_, &QCheckBox::toggled, this,
          [this](bool show) { password_->setEchoMode(show ? QLineEdit::Normal : QLineEdit::Password); });
  connect(pickKey_, &QToolButton::clicked, this, [this] {
    const QString file = Dialogs().pickFile(this, Tr(kStrSshKey),
                                            Tr(kStrKeyFilter) + QStringLiteral(";;") + Tr(kStrAllFiles), QString());
    if (file.isEmpty()) return;
    keyFile_->setText(file);
    state_.keyEdited = true;
  });
  connect(host_, &QLineEdit::editingFinished, this, &MountDialog::applyServerLink);
  connect(check_, &QPushButton::clicked, this, &MountDialog::check);
  connect(ok_, &QPushButton::clicked, this, &MountDialog::save);
  connect(cancel_, &QPushButton::clicked, this, &MountDialog::reject);
}

MountDialog::~MountDialog() { results_->close(); }

QLineEdit* MountDialog::numberField(NumberField field, const char* name) {
  QLineEdit* edit = Named(new QLineEdit(this), name);
  edit->setInputMethodHints(Qt::ImhDigitsOnly);
  numbers_[field] = edit;
  return edit;
}

template <size_t N>
int MountDialog::addNumberPairs(QGridLayout* grid, int row, const NumberField (&pairs)[N][2]) {
  for (const auto& pair : pairs) {
    for (int side = 0; side < 2; ++side) {
      const NumberField field = pair[side];
      AddPair(grid, row, side, NumberFieldAt(field).labelId, numberField(field, kNumberNames[field]));
    }
    ++row;
  }
  return row;
}

QWidget* MountDialog::connectionPage() {
  auto* page = new QWidget;
  // Made in the order the keyboard walks them.
  name_ = Named(new QLineEdit(page), "name");
  letter_ = Named(new QComboBox(page), "letter");
  letter_->addItems(LetterItems(lettersInUse_, state_.isNew ? char16_t{0} : state_.config.drive));
  protocol_ = Named(new QComboBox(page), "protocol");
  for (const char* p : kProtocolNames) protocol_->addItem(QLatin1String(p));
  tls_ = Check(kStrHttps, "tls", page);
  verifyTls_ = Check(kStrVerifyCertificate, "verifyTls", page);
  host_ = Named(new QLineEdit(page), "host");
  QLineEdit* port = numberField(kFieldPort, kNumberNames[kFieldPort]);
  root_ = Named(new QLineEdit(page), "root");
  user_ = Named(new QLineEdit(page), "user");
  password_ = Named(new QLineEdit(page), "password");
  password_->setEchoMode(QLineEdit::Password);
  showPassword_ = Check(kStrShowPassword, "showPassword", page);
  keyFile_ = Named(new QLineEdit(page), "keyFile");
  pickKey_ = Named(new QToolButton(page), "pickKey");
  pickKey_->setText(QStringLiteral("..."));
  extra_ = Named(new QLineEdit(page), "extra");
  autoMount_ = Check(kStrMountAtStart, "autoMount", page);
  readOnly_ = Check(kStrReadOnly, "readOnly", page);
  auto* hint = Named(new ParagraphLabel(QString(), page), "hint");
  QStringList hints;
  for (int p = 0; p < static_cast<int>(std::size(kProtocolNames)); ++p) hints << Tr(EnableMountFields(p).hintId);
  hint->setAlternatives(hints);
  hint_ = hint;

  auto* grid = new QGridLayout(page);
  int row = 0;
  AddPair(grid, row++, 0, kStrFieldName, name_, 3);
  AddPair(grid, row, 0, kStrLetter, letter_);
  AddPair(grid, row++, 1, kStrProtocol, protocol_);
  grid->addWidget(Row({tls_, verifyTls_}), row++, 1, 1, 3);
  AddPair(grid, row++, 0, kStrAddress, host_, 3);
  AddPair(grid, row, 0, kStrPort, port);
  AddPair(grid, row++, 1, kStrRemotePath, root_);
  AddPair(grid, row++, 0, kStrLogin, user_, 3);
  AddPair(grid, row++, 0, kStrPassword, WithButton(password_, showPassword_), 3);
  AddPair(grid, row++, 0, kStrSshKey, WithButton(keyFile_, pickKey_), 3);
  AddPair(grid, row++, 0, kStrOptions, extra_, 3);
  grid->addWidget(Row({autoMount_, readOnly_}), row++, 1, 1, 3);
  grid->addWidget(hint_, row++, 0, 1, 4);
  grid->setRowStretch(row, 1);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
  return page;
}

QWidget* MountDialog::networkPage() {
  auto* page = new QWidget;
  auto* grid = new QGridLayout(page);
  constexpr NumberField kPairs[][2] = {{kFieldConnectTimeout, kFieldIoTimeout},
                                       {kFieldAttempts, kFieldKeepalive},
                                       {kFieldRetryMin, kFieldRetryMax},
                                       {kFieldConnections, kFieldSpeedLimit},
                                       {kFieldUploadChunk, kFieldParallelChunks}};
  int row = addNumberPairs(grid, 0, kPairs);
  retryForever_ = Check(kStrRetryForever, "uploadsRetryForever", page);
  resume_ = Check(kStrResume, "resume", page);
  verifyUpload_ = Check(kStrVerifyUpload, "verifyAfterUpload", page);
  for (QCheckBox* box : {retryForever_, resume_, verifyUpload_}) grid->addWidget(box, row++, 0, 1, 4);
  grid->addWidget(Explanation(kStrNetworkExplained), row++, 0, 1, 4);
  grid->setRowStretch(row, 1);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
  return page;
}

QWidget* MountDialog::cachePage() {
  auto* page = new QWidget;
  auto* grid = new QGridLayout(page);
  cacheDir_ = Named(new QLineEdit(page), "cacheDir");
  auto* pickDir = Named(new QToolButton(page), "pickCacheDir");
  pickDir->setText(QStringLiteral("..."));
  connect(pickDir, &QToolButton::clicked, this, [this] {
    const QString dir = Dialogs().pickFolder(this, Tr(kStrCacheFolder), cacheDir_->text());
    if (!dir.isEmpty()) cacheDir_->setText(dir);
  });
  int row = 0;
  AddPair(grid, row++, 0, kStrCacheFolder, WithButton(cacheDir_, pickDir), 3);
  block_ = Named(new QComboBox(page), "block");
  for (uint32_t kib : kBlockKiB) block_->addItem(QString::number(kib));
  AddPair(grid, row, 0, kStrCacheSize, numberField(kFieldCacheSize, kNumberNames[kFieldCacheSize]));
  AddPair(grid, row++, 1, kStrBlock, block_);
  constexpr NumberField kPairs[][2] = {{kFieldReadahead, kFieldReadaheadMax},
                                       {kFieldMetadataTtl, kFieldWritebackDelay}};
  row = addNumberPairs(grid, row, kPairs);
  AddPair(grid, row++, 0, kStrWholeFileBelow, numberField(kFieldWholeFileBelow, kNumberNames[kFieldWholeFileBelow]));
  offline_ = Check(kStrOfflineMode, "offlineMode", page);
  keepDirty_ = Check(kStrKeepDirty, "keepDirtyForever", page);
  for (QCheckBox* box : {offline_, keepDirty_}) grid->addWidget(box, row++, 0, 1, 4);
  grid->addWidget(Explanation(kStrCacheExplained), row++, 0, 1, 4);
  grid->setRowStretch(row, 1);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
  return page;
}

QWidget* MountDialog::compatibilityPage() {
  auto* page = new QWidget;
  auto* grid = new QGridLayout(page);
  unicode_ = Named(new QComboBox(page), "unicode");
  for (int id : kUnicodeTexts) unicode_->addItem(Tr(id));
  caseCollision_ = Named(new QComboBox(page), "caseCollision");
  for (int id : kCaseTexts) caseCollision_->addItem(Tr(id));
  int row = 0;
  AddPair(grid, row++, 0, kStrUnicode, unicode_);
  AddPair(grid, row++, 0, kStrCaseCollision, caseCollision_);
  reservedNames_ = Check(kStrReservedNames, "allowReservedNames", page);
  trailingDotSpace_ = Check(kStrTrailingDotSpace, "allowTrailingDotSpace", page);
  setMtime_ = Check(kStrSetMtime, "setMtime", page);
  hideDotFiles_ = Check(kStrHideDotFiles, "hideDotFiles", page);
  for (QCheckBox* box : {reservedNames_, trailingDotSpace_, setMtime_, hideDotFiles_})
    grid->addWidget(box, row++, 0, 1, 2);
  grid->addWidget(Explanation(kStrCompatExplained), row++, 0, 1, 2);
  grid->setRowStretch(row, 1);
  grid->setColumnStretch(1, 1);
  return page;
}

MountFields MountDialog::fields() const {
  MountFields f;
  f.name = name_->text();
  f.letter = letter_->currentIndex();
  f.protocol = protocol_->currentIndex();
  f.tls = tls_->isChecked();
  f.verifyTls = verifyTls_->isChecked();
  f.host = host_->text();
  f.root = root_->text();
  f.user = user_->text();
  f.password = password_->text();
  f.keyFile = keyFile_->text();
  f.extra = extra_->text();
  f.autoMount = autoMount_->isChecked();
  f.readOnly = readOnly_->isChecked();
  for (size_t i = 0; i < numbers_.size(); ++i) f.numbers[i] = numbers_[i]->text();
  f.uploadsRetryForever = retryForever_->isChecked();
  f.resume = resume_->isChecked();
  f.verifyAfterUpload = verifyUpload_->isChecked();
  f.cacheDir = cacheDir_->text();
  f.block = block_->currentIndex();
  f.offlineMode = offline_->isChecked();
  f.keepDirtyForever = keepDirty_->isChecked();
  f.unicode = unicode_->currentIndex();
  f.caseCollision = caseCollision_->currentIndex();
  f.allowReservedNames = reservedNames_->isChecked();
  f.allowTrailingDotSpace = trailingDotSpace_->isChecked();
  f.setMtime = setMtime_->isChecked();
  f.hideDotFiles = hideDotFiles_->isChecked();
  return f;
}

void MountDialog::showFields(const MountFields& f) {
  // Text set here is not an edit of the user's: setText raises no
  // textEdited.
  name_->setText(f.name);
  letter_->setCurrentIndex(f.letter);
  protocol_->setCurrentIndex(f.protocol);
  tls_->setChecked(f.tls);
  verifyTls_->setChecked(f.verifyTls);
  host_->setText(f.host);
  root_->setText(f.root);
  user_->setText(f.user);
  password_->setText(f.password);
  keyFile_->setText(f.keyFile);
  extra_->setText(f.extra);
  autoMount_->setChecked(f.autoMount);
  readOnly_->setChecked(f.readOnly);
  for (size_t i = 0; i < numbers_.size(); ++i) numbers_[i]->setText(f.numbers[i]);
  retryForever_->setChecked(f.uploadsRetryForever);
  resume_->setChecked(f.resume);
  verifyUpload_->setChecked(f.verifyAfterUpload);
  cacheDir_->setText(f.cacheDir);
  block_->setCurrentIndex(f.block);
  offline_->setChecked(f.offlineMode);
  keepDirty_->setChecked(f.keepDirtyForever);
  unicode_->setCurrentIndex(f.unicode);
  caseCollision_->setCurrentIndex(f.caseCollision);
  reservedNames_->setChecked(f.allowReservedNames);
  trailingDotSpace_->setChecked(f.allowTrailingDotSpace);
  setMtime_->setChecked(f.setMtime);
  hideDotFiles_->setChecked(f.hideDotFiles);
}

void MountDialog::applyProtocolFields() {
  const ProtocolFields on = EnableMountFields(protocol_->currentIndex());
  hint_->setText(Tr(on.hintId));
  for (QWidget* w : {static_cast<QWidget*>(tls_), static_cast<QWidget*>(verifyTls_)}) w->setEnabled(on.tls);
  for (QWidget* w : {static_cast<QWidget*>(keyFile_), static_cast<QWidget*>(pickKey_)}) w->setEnabled(on.key);
  for (QWidget* w : {user_, password_}) w->setEnabled(on.login);
}

void MountDialog::applyServerLink() {
  MountFields f = fields();
  if (ParseServerLink(f, state_)) showFields(f);
}

bool MountDialog::collect() {
  applyServerLink();
  QString error;
  if (!CollectMount(state_, fields(), error)) {
    ShowMessage(this, error, MessageIcon::kWarning);
    return false;
  }
  if (state_.config.endpoint.host.empty()) {
    ShowMessage(this, Tr(kStrEnterServer), MessageIcon::kWarning);
    return false;
  }
  return true;
}

void MountDialog::setBusy(bool busy) {
  check_->setEnabled(!busy);
  ok_->setEnabled(!busy);
  status_->setText(busy ? Tr(kStrCheckingServer) : QString());
}

void MountDialog::check() {
  if (state_.probing || state_.saving || !collect()) return;
  state_.probing = true;
  setBusy(true);
  RunWorker(
      results_, [request = probeRequest, drive = MountConfigToJson(state_.config, true)] { return request(drive); },
      [this](ProbeOutcome outcome) {
        state_.probing = false;
        setBusy(false);
        Q_EMIT probeFinished(ShowProbeReport(this, outcome));
      });
}

void MountDialog::save() {
  if (state_.probing || state_.saving || !collect()) return;
  state_.saving = true;
  setBusy(true);
  Value drive = MountConfigToJson(state_.config, true);
  RunWorker(
      results_, [request = saveRequest, drive] { return request(drive); },
      [this, drive](SaveOutcome outcome) {
        state_.saving = false;
        setBusy(false);
        if (!outcome.ok) {
          // Everything stays as typed, for the user to correct (a password
          // the server refused, among others).
          ShowMessage(this, ErrorWords(outcome.error), MessageIcon::kError);
          Q_EMIT saveFinished(false);
          return;
        }
        if (!outcome.loginUntried.empty()) {
          ShowMessage(this,
                      FormatText(Tr(kStrSavedUntried), {ShownName(state_.config.name),
                                                        ErrorWords(outcome.loginUntried)}),
                      MessageIcon::kWarning);
        }
        saved_ = drive;
        Q_EMIT saveFinished(true);
        accept();
      });
}

void MountDialog::reject() {
  if (state_.probing || state_.saving) return;
  QDialog::reject();
}

MountDialog* EditMount(QWidget* owner, const Value& drive, bool isNew, const std::u16string& lettersInUse,
                       std::function<void(const Value&)> saved) {
  auto* dialog = new MountDialog(owner, drive, isNew, lettersInUse);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  QObject::connect(dialog, &QDialog::accepted, dialog,
                   [dialog, saved = std::move(saved)] { saved(dialog->saved()); });
  dialog->open();
  return dialog;
}

QDialog* ShowProbeReport(QWidget* owner, const ProbeOutcome& outcome) {
  // Composed in the user's language: it reads in its direction.
  return ShowTextReport(owner, Tr(kStrServerCheck), ProbeReportText(outcome), false);
}

void ShowMountPage(MountDialog& dialog, int index) { dialog.pages()->setCurrentIndex(index); }

}  // namespace tarn::app
