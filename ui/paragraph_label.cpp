#include "ui/paragraph_label.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLayout>
#include <QStyle>

#include <algorithm>

namespace tarn::app {
namespace {

// The height of the box text is measured in: taller than any paragraph.
constexpr int kTallBox = 2000;

// The height its layout needs at its width, as its least height.
class HeightFollowsWidth : public QObject {
 public:
  explicit HeightFollowsWidth(QWidget* window) : QObject(window), window_(window) {}

  void fit() {
    QLayout* layout = window_->layout();
    if (layout == nullptr || !layout->hasHeightForWidth()) return;
    const int height = layout->totalHeightForWidth(window_->width());
    if (window_->minimumHeight() != height) window_->setMinimumHeight(height);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == window_ && (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest)) fit();
    return false;
  }

 private:
  QWidget* window_;
};

}  // namespace

ParagraphLabel::ParagraphLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  setWordWrap(true);
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Minimum);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

void ParagraphLabel::setAlternatives(const QStringList& texts) {
  alternatives_ = texts;
  updateGeometry();
}

int ParagraphLabel::heightForWidth(int width) const {
  const QMargins frame = contentsMargins();
  const int inner = std::max(width - frame.left() - frame.right() - 2 * margin(), 1);
  // As QLabel measures itself, so that the heights agree to the pixel.
  const int flags = (static_cast<int>(QStyle::visualAlignment(layoutDirection(), alignment())) &
                     ~(Qt::AlignVCenter | Qt::AlignHCenter)) |
                    Qt::TextWordWrap;
  QStringList texts = alternatives_;
  texts << text();
  int tallest = 0;
  for (const QString& t : texts) {
    if (t.isEmpty()) continue;
    tallest = std::max(tallest, fontMetrics().boundingRect(QRect(0, 0, inner, kTallBox), flags, t).height());
  }
  return tallest + frame.top() + frame.bottom() + 2 * margin();
}

QSize ParagraphLabel::minimumSizeHint() const {
  // No less wide than a word or two; its height follows its width.
  return QSize(QLabel::minimumSizeHint().width(), 0);
}

void FollowWidthWithHeight(QWidget* window, int width) {
  auto* follow = new HeightFollowsWidth(window);
  window->installEventFilter(follow);
  if (width > 0) {
    QLayout* layout = window->layout();
    layout->activate();
    const int height = layout->hasHeightForWidth() ? layout->totalHeightForWidth(width) : window->sizeHint().height();
    window->resize(width, height);
  }
  follow->fit();
}

}  // namespace tarn::app
