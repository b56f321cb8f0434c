// Running text (a hint, an explanation, a note) and the windows that show
// it. A paragraph wraps at its width and needs more lines in a narrower
// window; layouts size a window from its widgets' unwrapped sizes and never
// ask a window for the height its paragraphs need at its width, so a long
// hint in a narrow dialog is cut at its top and bottom. A ParagraphLabel
// tells its height for a width (that of the tallest of the texts it may
// show), and FollowWidthWithHeight keeps a window at least that tall.
// UI thread.
#pragma once

#include <QLabel>
#include <QStringList>

namespace tarn::app {

class ParagraphLabel : public QLabel {
  Q_OBJECT

 public:
  explicit ParagraphLabel(const QString& text = QString(), QWidget* parent = nullptr);

  // Other texts the label may be given (a hint for each protocol): its
  // height is that of the tallest, so that a change of text moves nothing.
  void setAlternatives(const QStringList& texts);

  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize minimumSizeHint() const override;

 private:
  QStringList alternatives_;
};

// Keeps `window` as tall as its layout needs at its width, from now on and
// whenever its width changes; `width`, when above 0, is the width it starts
// at.
void FollowWidthWithHeight(QWidget* window, int width = 0);

}  // namespace tarn::app
