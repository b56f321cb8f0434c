#include "ui/text_report.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QTextOption>
#include <QVBoxLayout>

#include "ui/app_icon.h"
#include "ui/language.h"
#include "ui/string_ids.h"

namespace tarn::app {
namespace {

constexpr int kReportWidth = 640;
constexpr int kReportHeight = 420;

}  // namespace

QDialog* ShowTextReport(QWidget* owner, const QString& caption, const QString& text, bool serviceText) {
  auto* dialog = new QDialog(owner);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(caption);
  dialog->setWindowIcon(AppIcon());
  auto* layout = new QVBoxLayout(dialog);
  auto* view = new QPlainTextEdit(dialog);
  view->setReadOnly(true);
  view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  // A long line wraps at the report's edge rather than hiding its end (a
  // warning's reason comes last).
  view->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  if (serviceText) {
    view->setLayoutDirection(Qt::LeftToRight);
  } else {
    // The document lays its lines out from the left unless told otherwise.
    QTextOption option = view->document()->defaultTextOption();
    option.setTextDirection(view->layoutDirection());
    if (view->layoutDirection() == Qt::RightToLeft) option.setAlignment(Qt::AlignRight | Qt::AlignAbsolute);
    view->document()->setDefaultTextOption(option);
  }
  view->setPlainText(text);
  layout->addWidget(view);
  auto* buttons = new QDialogButtonBox(dialog);
  QPushButton* ok = buttons->addButton(Tr(kStrOk), QDialogButtonBox::AcceptRole);
  ok->setDefault(true);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  layout->addWidget(buttons);
  dialog->resize(kReportWidth, kReportHeight);
  dialog->open();
  return dialog;
}

}  // namespace tarn::app
