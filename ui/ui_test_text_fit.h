// Test support: which texts of a window do not fit the widget that shows
// them, as a user would see them cut. A check that only a picture shows
// (a header cut to "Laufwe", a button's caption clipped, a hint whose first
// and last lines are hidden) is measured here, widget by widget: every
// visible label, button, check box, tab, combo box, group title, header
// section and list cell of a window, and the window against its screen.
// A cell may be shorter than its text only where the list elides in the
// middle and the cell holds its whole text as a tooltip.
//
// Test code only, UI thread. Header-only.
#pragma once

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QToolButton>
#include <QTreeWidget>

#include <string>
#include <vector>

namespace tarn::app::test {

// The height of the box a label measures its text in.
inline constexpr int kTallBox = 2000;

// Edit controls that scroll sideways by design (the service log).
inline const QStringList kScrollingTexts = {QStringLiteral("log")};

// The text without its direction marks and isolates, which draw nothing.
inline QString Unmarked(QString text) {
  for (const char16_t mark : {u'\u200E', u'\u200F', u'\u2066', u'\u2067', u'\u2068', u'\u2069'})
    text.remove(QChar(mark));
  return text;
}

class TextFit {
 public:
  // Checks `window` and every visible widget in it.
  void check(QWidget& window) {
    window_ = &window;
    checkOnScreen(window);
    visit(window);
    for (QWidget* w : window.findChildren<QWidget*>()) {
      if (w->isVisibleTo(&window)) visit(*w);
    }
  }

  // What does not fit, one line each.
  const std::vector<std::string>& cuts() const { return cuts_; }
  std::string report() const {
    std::string text;
    for (const std::string& c : cuts_) text += c + "\n";
    return text;
  }

 private:
  void cut(const QWidget& w, const QString& what, const QString& text, int need, int have) {
    const QString name = w.objectName().isEmpty() ? QString::fromLatin1(w.metaObject()->className()) : w.objectName();
    cuts_.push_back((name + QStringLiteral(" ") + what + QStringLiteral(" \"") + Unmarked(text) +
                     QStringLiteral("\" needs ") + QString::number(need) + QStringLiteral(", has ") +
                     QString::number(have))
                        .toStdString());
  }

  void checkOnScreen(QWidget& window) {
    const QScreen* screen = window.screen();
    if (screen == nullptr || !window.isWindow()) return;
    const QSize room = screen->availableGeometry().size();
    const QSize size = window.frameGeometry().size();
    if (size.width() > room.width()) cut(window, QStringLiteral("window width"), window.windowTitle(), size.width(), room.width());
    if (size.height() > room.height())
      cut(window, QStringLiteral("window height"), window.windowTitle(), size.height(), room.height());
  }

  void visit(QWidget& w) {
    if (auto* label = qobject_cast<QLabel*>(&w)) return checkLabel(*label);
    if (auto* box = qobject_cast<QCheckBox*>(&w)) return checkBySizeHint(*box, box->text());
    if (auto* radio = qobject_cast<QRadioButton*>(&w)) return checkBySizeHint(*radio, radio->text());
    if (auto* tool = qobject_cast<QToolButton*>(&w)) return checkBySizeHint(*tool, tool->text());
    if (auto* button = qobject_cast<QPushButton*>(&w)) return checkPushButton(*button);
    if (auto* tabs = qobject_cast<QTabBar*>(&w)) return checkTabs(*tabs);
    if (auto* header = qobject_cast<QHeaderView*>(&w)) return checkHeader(*header);
    if (auto* tree = qobject_cast<QTreeWidget*>(&w)) return checkCells(*tree);
    if (auto* list = qobject_cast<QListWidget*>(&w)) return checkItems(*list);
    if (auto* combo = qobject_cast<QComboBox*>(&w)) return checkCombo(*combo);
    if (auto* group = qobject_cast<QGroupBox*>(&w)) return checkBySizeHint(*group, group->title(), true);
    if (auto* edit = qobject_cast<QPlainTextEdit*>(&w)) return checkEdit(*edit);
    if (auto* menu = qobject_cast<QMenu*>(&w)) return checkBySizeHint(*menu, menu->title());
  }

  void checkLabel(const QLabel& label) {
    if (label.text().isEmpty() || !label.pixmap().isNull()) return;
    const QRect room = label.contentsRect().adjusted(label.margin(), label.margin(), -label.margin(), -label.margin());
    // Measured as the label measures itself (a tall box, its alignment but
    // for centring), so that rounding agrees.
    int flags = static_cast<int>(QStyle::visualAlignment(label.layoutDirection(), label.alignment())) &
                ~(Qt::AlignVCenter | Qt::AlignHCenter);
    if (label.wordWrap()) flags |= Qt::TextWordWrap;
    const QRect needed = label.fontMetrics().boundingRect(QRect(0, 0, room.width(), kTallBox), flags, label.text());
    // A word longer than the line, or a line that does not wrap.
    if (needed.width() > room.width()) cut(label, QStringLiteral("width"), label.text(), needed.width(), room.width());
    // The lines the label itself lays out at its width.
    const int height = label.wordWrap() ? label.heightForWidth(label.width()) : label.sizeHint().height();
    if (height > label.height()) cut(label, QStringLiteral("height"), label.text(), height, label.height());
  }

  // Widgets whose size hint is exactly what their text needs.
  void checkBySizeHint(const QWidget& w, const QString& text, bool minimum = false) {
    if (text.isEmpty()) return;
    const QSize need = minimum ? w.minimumSizeHint() : w.sizeHint();
    if (need.width() > w.width()) cut(w, QStringLiteral("width"), text, need.width(), w.width());
    if (need.height() > w.height()) cut(w, QStringLiteral("height"), text, need.height(), w.height());
  }

  void checkPushButton(const QPushButton& button) {
    // A button made of parts (a choice's command) is checked by its parts.
    if (button.text().isEmpty()) return;
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    option.icon = button.icon();
    option.iconSize = button.iconSize();
    if (button.isDefault()) option.features |= QStyleOptionButton::DefaultButton;
    const QRect room = button.style()->subElementRect(QStyle::SE_PushButtonContents, &option, &button);
    QString shown = button.text();
    shown.remove(QLatin1Char('&'));
    int need = button.fontMetrics().horizontalAdvance(shown);
    if (!button.icon().isNull()) need += button.iconSize().width() + 4;
    if (need > room.width()) cut(button, QStringLiteral("width"), button.text(), need, room.width());
    const int height = button.fontMetrics().height();
    if (height > room.height()) cut(button, QStringLiteral("height"), button.text(), height, room.height());
  }

  void checkTabs(const QTabBar& tabs) {
    const int space = tabs.style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, &tabs);
    for (int i = 0; i < tabs.count(); ++i) {
      const QRect r = tabs.tabRect(i);
      const int need = tabs.fontMetrics().horizontalAdvance(tabs.tabText(i)) + space;
      if (need > r.width()) cut(tabs, QStringLiteral("tab"), tabs.tabText(i), need, r.width());
      if (r.left() < 0 || r.right() > tabs.rect().right())
        cut(tabs, QStringLiteral("tab out of view"), tabs.tabText(i), r.right(), tabs.rect().right());
    }
  }

  void checkHeader(const QHeaderView& header) {
    const int room = header.viewport()->width();
    for (int c = 0; c < header.count(); ++c) {
      if (header.isSectionHidden(c)) continue;
      const QString text = header.model()->headerData(c, header.orientation()).toString();
      const int need = header.sectionSizeHint(c);
      const int have = header.sectionSize(c);
      if (need > have) cut(header, QStringLiteral("header"), text, need, have);
      const int end = header.sectionViewportPosition(c) + have;
      if (header.sectionViewportPosition(c) < 0 || end > room)
        cut(header, QStringLiteral("header out of view"), text, end, room);
    }
  }

  static int CellMargin(const QWidget& view) {
    return 2 * (view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1);
  }

  void checkCells(const QTreeWidget& tree) {
    // A list that scrolls sideways hides columns.
    const QScrollBar* sideways = tree.horizontalScrollBar();
    if (sideways->isVisibleTo(&tree))
      cut(tree, QStringLiteral("scrolls sideways"), QString(), sideways->maximum() + sideways->pageStep(),
          sideways->pageStep());
    const int margin = CellMargin(tree);
    for (int i = 0; i < tree.topLevelItemCount(); ++i) {
      const QTreeWidgetItem* item = tree.topLevelItem(i);
      for (int c = 0; c < tree.columnCount(); ++c) {
        const QString text = item->text(c);
        if (text.isEmpty()) continue;
        int need = QFontMetrics(item->font(c)).horizontalAdvance(text) + margin;
        if (c == 0 && tree.rootIsDecorated()) need += tree.indentation();
        const int have = tree.header()->sectionSize(c);
        if (need <= have) continue;
        const bool elided = tree.textElideMode() == Qt::ElideMiddle && Unmarked(item->toolTip(c)) == Unmarked(text);
        if (!elided) cut(tree, QStringLiteral("cell"), text, need, have);
      }
    }
  }

  void checkItems(const QListWidget& list) {
    const int margin = CellMargin(list);
    const int have = list.viewport()->width();
    for (int i = 0; i < list.count(); ++i) {
      const QListWidgetItem* item = list.item(i);
      const int need = QFontMetrics(item->font()).horizontalAdvance(item->text()) + margin;
      if (need <= have) continue;
      const bool elided = list.textElideMode() == Qt::ElideMiddle && Unmarked(item->toolTip()) == Unmarked(item->text());
      if (!elided) cut(list, QStringLiteral("item"), item->text(), need, have);
    }
  }

  void checkCombo(const QComboBox& combo) {
    if (combo.currentText().isEmpty()) return;
    QStyleOptionComboBox option;
    option.initFrom(&combo);
    option.editable = combo.isEditable();
    option.currentText = combo.currentText();
    const QRect room =
        combo.style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, &combo);
    const int need = combo.fontMetrics().horizontalAdvance(combo.currentText());
    if (need > room.width()) cut(combo, QStringLiteral("choice"), combo.currentText(), need, room.width());
  }

  void checkEdit(const QPlainTextEdit& edit) {
    if (kScrollingTexts.contains(edit.objectName())) return;
    const QScrollBar* bar = edit.horizontalScrollBar();
    if (bar->maximum() > 0)
      cut(edit, QStringLiteral("lines"), edit.toPlainText().left(40), bar->maximum() + bar->pageStep(), bar->pageStep());
  }

  QWidget* window_ = nullptr;
  std::vector<std::string> cuts_;
};

// The texts of `window` that do not fit, one per line; empty when all do.
inline std::string TextsThatDoNotFit(QWidget& window) {
  TextFit fit;
  fit.check(window);
  return fit.report();
}

}  // namespace tarn::app::test
