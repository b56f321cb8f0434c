#include "ui/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "ui/language.h"
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
};

IDialogs* g_dialogs = nullptr;  // UI thread

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
    if (spec.cancelIsDefault) box->setDefaultButton(cancel);
  } else {
    box->setEscapeButton(accept);
  }
  return box;
}

}  // namespace tarn::app
