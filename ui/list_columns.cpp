#include "ui/list_columns.h"

#include <QEvent>
#include <QHeaderView>
#include <QStyle>
#include <QTreeWidget>

#include <algorithm>

namespace tarn::app {
namespace {

// Characters an elided text keeps, its start and end together.
constexpr int kPointChars = 14;

}  // namespace

ListColumns::ListColumns(QTreeWidget* list, std::vector<int> eliding)
    : QObject(list), list_(list), viewport_(list->viewport()), eliding_(std::move(eliding)) {
  list_->setTextElideMode(Qt::ElideMiddle);
  list_->header()->setStretchLastSection(false);
  list_->header()->setSectionResizeMode(QHeaderView::Interactive);
  viewport_->installEventFilter(this);
}

bool ListColumns::elides(int column) const {
  return std::find(eliding_.begin(), eliding_.end(), column) != eliding_.end();
}

bool ListColumns::eventFilter(QObject* watched, QEvent* event) {
  // The list may be half destroyed when its viewport's last events come:
  // only a resize, of the viewport met at the start, is looked at.
  if (event->type() == QEvent::Resize && watched == viewport_) fit();
  return QObject::eventFilter(watched, event);
}

void ListColumns::fit() {
  QHeaderView* heading = list_->header();
  const int count = list_->columnCount();
  const int available = list_->viewport()->width();
  if (count == 0 || available < 1) return;
  const int pointWidth = kPointChars * list_->fontMetrics().averageCharWidth();
  std::vector<int> width(static_cast<size_t>(count));
  std::vector<int> least(static_cast<size_t>(count));
  int fixed = 0;
  int wanted = 0;
  int leastSum = 0;
  for (int c = 0; c < count; ++c) {
    const auto i = static_cast<size_t>(c);
    const int header = heading->sectionSizeHint(c);
    // QTreeView keeps its override protected; the view's own is public.
    width[i] = std::max(header, static_cast<const QAbstractItemView*>(list_)->sizeHintForColumn(c));
    // A long text keeps enough of its start and end that its point shows.
    least[i] = std::min(width[i], std::max(header, pointWidth));
    if (elides(c)) {
      wanted += width[i];
      leastSum += least[i];
    } else {
      fixed += width[i];
    }
  }
  // What the long texts do not get in full is shared by what they would
  // take, above what their headers need.
  const int rest = available - fixed;
  if (wanted > rest && wanted > leastSum) {
    const int share = std::max(rest - leastSum, 0);
    for (int c = 0; c < count; ++c) {
      const auto i = static_cast<size_t>(c);
      if (!elides(c)) continue;
      const int above = width[i] - least[i];
      width[i] = least[i] + static_cast<int>(static_cast<int64_t>(share) * above / (wanted - leastSum));
    }
  }
  // The last column takes what is left over. (The header's own stretch
  // would keep it at least as wide as a default section.)
  int used = 0;
  for (int c = 0; c < count; ++c) used += width[static_cast<size_t>(c)];
  if (used < available) width.back() += available - used;
  for (int c = 0; c < count; ++c) heading->resizeSection(c, width[static_cast<size_t>(c)]);
}

void SetCellText(QTreeWidgetItem* item, int column, const QString& text, const ListColumns* columns) {
  if (item->text(column) == text) return;
  item->setText(column, text);
  if (columns != nullptr && columns->elides(column)) item->setToolTip(column, text);
}

}  // namespace tarn::app
