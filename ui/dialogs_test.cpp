#include "ui/dialogs.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <memory>

#include "ui/ui_test_harness.h"

namespace tarn::app {
namespace {

QPushButton* ButtonOfRole(QMessageBox& box, QMessageBox::ButtonRole role) {
  for (QAbstractButton* b : box.buttons()) {
    if (box.buttonRole(b) == role) return qobject_cast<QPushButton*>(b);
  }
  return nullptr;
}

// Enter answers a question by its default; a question whose yes throws
// something away (a drive and its unsent data, a file's changes) answers
// Cancel, also when the focus went to the yes before Enter was pressed.
TEST(Dialogs, EnterGivesTheSafeAnswerToAQuestionThatThrowsSomethingAway) {
  struct Case {
    const char* what;
    bool cancelIsDefault;
    bool focusOnAccept;
    QMessageBox::ButtonRole answer;
  };
  const Case cases[] = {
      {"a question that throws away", true, false, QMessageBox::RejectRole},
      {"the same with the focus on its yes", true, true, QMessageBox::RejectRole},
      {"a question that only offers", false, false, QMessageBox::AcceptRole},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MessageSpec spec;
    spec.caption = QStringLiteral("Remove drive");
    spec.text = QStringLiteral("Remove drive \"Documents\"?");
    spec.icon = MessageIcon::kQuestion;
    spec.buttons = MessageButtons::kAcceptCancel;
    spec.acceptText = QStringLiteral("Remove");
    spec.cancelIsDefault = c.cancelIsDefault;
    std::unique_ptr<QMessageBox> box = MakeMessageBox(nullptr, spec);
    box->show();
    QPushButton* accept = ButtonOfRole(*box, QMessageBox::AcceptRole);
    ASSERT_NE(accept, nullptr);
    EXPECT_EQ(accept->text(), QStringLiteral("Remove"));
    // Enter where the focus is: on the yes, or on the box itself.
    QTest::keyClick(c.focusOnAccept ? static_cast<QWidget*>(accept) : box.get(), Qt::Key_Return);
    ASSERT_NE(box->clickedButton(), nullptr);
    EXPECT_EQ(box->buttonRole(box->clickedButton()), c.answer);
  }
}

// In a right-to-left language a choice's arrow stands at the right, beside
// the title it leads to; in a left-to-right one at the left.
TEST(Dialogs, AChoicesArrowStandsBesideItsTitle) {
  for (const char* code : {"en", "ar"}) {
    SCOPED_TRACE(code);
    test::LanguageScope language(code);
    const bool rightToLeft = LanguageAt(CurrentLanguage()).rightToLeft;
    std::unique_ptr<QDialog> dialog =
        MakeChoiceDialog(nullptr, {QStringLiteral("Tarn"), QStringLiteral("Where should the files go?"),
                                   {QStringLiteral("To where they were\nFiles that have changed since are replaced."),
                                    QStringLiteral("To another folder…")},
                                   1});
    dialog->show();
    test::SettleLayouts();
    int choices = 0;
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
      if (!button->text().isEmpty()) continue;  // Cancel
      ++choices;
      const QLabel* arrow = nullptr;
      const QLabel* title = nullptr;
      for (const QLabel* label : button->findChildren<QLabel*>()) {
        if (!label->pixmap().isNull()) arrow = label;
        else if (label->font().bold()) title = label;
      }
      ASSERT_NE(arrow, nullptr);
      ASSERT_NE(title, nullptr);
      if (rightToLeft) {
        EXPECT_GT(arrow->geometry().left(), title->geometry().right());
      } else {
        EXPECT_LT(arrow->geometry().right(), title->geometry().left());
      }
    }
    EXPECT_EQ(choices, 2);
    // A choice answers with its place.
    QPushButton* second = nullptr;
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
      if (button->text().isEmpty() && button->isDefault()) second = button;
    }
    ASSERT_NE(second, nullptr);
    second->click();
    EXPECT_EQ(dialog->result(), kFirstChoice + 1);
  }
}

}  // namespace
}  // namespace tarn::app
