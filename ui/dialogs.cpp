#include "ui/dialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/language.h"
#include "ui/paragraph_label.h"
#include "ui/string_ids.h"

namespace tarn::app {
namespace {

QMessageBox::Icon IconOf(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kWarning:
      return QMessageBox::Warning;
    case MessageIcon::kError:
      return QMessageBox::Critical;
    case MessageIcon::kQuestion:
      return QMessageBox::Question;
    case MessageIcon::kInformation:
      break;
  }
  return QMessageBox::Information;
}

class QtDialogs : public IDialogs {
 public:
  MessageAnswer message(QWidget* owner, const MessageSpec& spec) override {
    std::unique_ptr<QMessageBox> box = MakeMessageBox(owner, spec);
    box->exec();
    QAbstractButton* clicked = box->clickedButton();
    return clicked != nullptr && box->buttonRole(clicked) == QMessageBox::AcceptRole ? MessageAnswer::kAccept
                                                                                     : MessageAnswer::kCancel;
  }

  QString pickFolder(QWidget* owner, const QString& caption, const QString& start) override {
    return QFileDialog::getExistingDirectory(owner, caption, start);
  }

  QString pickFile(QWidget* owner, const QString& caption, const QString& filter, const QString& start) override {
    return QFileDialog::getOpenFileName(owner, caption, start, filter);
  }

  int choose(QWidget* owner, const ChoiceSpec& spec) override {
    std::unique_ptr<QDialog> dialog = MakeChoiceDialog(owner, spec);
    const int result = dialog->exec();
    return result >= kFirstChoice && result < kFirstChoice + spec.choices.size() ? result - kFirstChoice : -1;
  }
};

IDialogs* g_dialogs = nullptr;  // UI thread

// Wide enough that the question and its commands rarely wrap.
constexpr int kChoiceDialogWidth = 420;
constexpr int kChoiceIconSize = 20;
constexpr qreal kTitleScale = 1.1;

// One answer of a choice: an arrow beside a bold title with its
// explanation below. Its parts are laid out, so that in a right-to-left
// language the arrow stands at the right, beside the title it leads to.
class ChoiceButton : public QPushButton {
 public:
  ChoiceButton(const QString& title, const QString& description, QWidget* parent) : QPushButton(parent) {
    setFlat(true);
    setAccessibleName(title);
    auto* row = new QHBoxLayout(this);
    auto* arrow = new QLabel(this);
    arrow->setPixmap(style()->standardIcon(QStyle::SP_CommandLink, nullptr, this).pixmap(kChoiceIconSize));
    arrow->setAlignment(Qt::AlignTop);
    row->addWidget(arrow);
    auto* texts = new QVBoxLayout;
    auto* heading = new ParagraphLabel(title, this);
    QFont bold = heading->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * kTitleScale);
    heading->setFont(bold);
    texts->addWidget(heading);
    if (!description.isEmpty()) texts->addWidget(new ParagraphLabel(description, this));
    row->addLayout(texts, 1);
    for (QLabel* label : findChildren<QLabel*>()) label->setAttribute(Qt::WA_TransparentForMouseEvents);
  }

  QSize sizeHint() const override { return layout()->sizeHint(); }
  QSize minimumSizeHint() const override { return layout()->minimumSize(); }
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override { return layout()->totalHeightForWidth(width); }
};

}  // namespace

IDialogs& Dialogs() {
  static QtDialogs qt;
  return g_dialogs != nullptr ? *g_dialogs : qt;
}

void SetDialogs(IDialogs* dialogs) { g_dialogs = dialogs; }

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, const MessageSpec& spec) {
  auto box = std::make_unique<QMessageBox>(IconOf(spec.icon), spec.caption, spec.text, QMessageBox::NoButton, owner);
  QPushButton* accept =
      box->addButton(spec.acceptText.isEmpty() ? Tr(kStrOk) : spec.acceptText, QMessageBox::AcceptRole);
  box->setDefaultButton(accept);
  if (spec.buttons == MessageButtons::kAcceptCancel) {
    QPushButton* cancel = box->addButton(Tr(kStrCancel), QMessageBox::RejectRole);
    box->setEscapeButton(cancel);
    if (spec.cancelIsDefault) {
      box->setDefaultButton(cancel);
      // A button that takes the default when it gets the focus would make
      // Enter accept once the focus moved onto it.
      accept->setAutoDefault(false);
    }
  } else {
    box->setEscapeButton(accept);
  }
  return box;
}

std::unique_ptr<QDialog> MakeChoiceDialog(QWidget* owner, const ChoiceSpec& spec) {
  auto dialog = std::make_unique<QDialog>(owner);
  dialog->setWindowTitle(spec.caption);
  dialog->setMinimumWidth(kChoiceDialogWidth);
  auto* layout = new QVBoxLayout(dialog.get());
  auto* text = new ParagraphLabel(spec.text, dialog.get());
  QFont larger = text->font();
  larger.setPointSizeF(larger.pointSizeF() * 1.25);
  text->setFont(larger);
  layout->addWidget(text);
  for (qsizetype i = 0; i < spec.choices.size(); ++i) {
    const QString& choice = spec.choices[i];
    const qsizetype cut = choice.indexOf(QLatin1Char('\n'));
    auto* command = new ChoiceButton(choice.left(cut), cut < 0 ? QString() : choice.mid(cut + 1), dialog.get());
    command->setDefault(i == spec.defaultChoice);
    command->setAutoDefault(i == spec.defaultChoice);
    const int result = kFirstChoice + static_cast<int>(i);
    QObject::connect(command, &QPushButton::clicked, dialog.get(), [d = dialog.get(), result] { d->done(result); });
    layout->addWidget(command);
  }
  auto* buttons = new QDialogButtonBox(dialog.get());
  QPushButton* cancel = buttons->addButton(Tr(kStrCancel), QDialogButtonBox::RejectRole);
  cancel->setAutoDefault(false);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog.get(), &QDialog::reject);
  layout->addWidget(buttons);
  FollowWidthWithHeight(dialog.get(), std::max(dialog->sizeHint().width(), kChoiceDialogWidth));
  return dialog;
}

}  // namespace tarn::app
