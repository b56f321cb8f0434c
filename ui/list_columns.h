// The columns of the windows' lists: each column that holds short values (a
// letter, a size, a date, a direction) is as wide as its widest cell and its
// header; the columns of long texts (names, addresses, paths, states) share
// what is left, each at least as wide as its header, and their cells elide
// in the middle with the whole text as a tooltip. The list then never
// scrolls sideways while its window is wide enough for the short columns.
// UI thread.
#pragma once

#include <QObject>
#include <QString>

#include <vector>

class QTreeWidget;
class QTreeWidgetItem;

namespace tarn::app {

class ListColumns : public QObject {
  Q_OBJECT

 public:
  // Set up on `list`, which owns it; `eliding`: the columns of long texts.
  ListColumns(QTreeWidget* list, std::vector<int> eliding);

  // Sizes the columns to the rows as they are now; the list's resizes call
  // it too.
  void fit();
  bool elides(int column) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QTreeWidget* list_;
  QWidget* viewport_;
  std::vector<int> eliding_;
};

// Sets a cell's text, leaving it alone when it holds that text already; a
// cell of an eliding column also gets the whole text as its tooltip.
void SetCellText(QTreeWidgetItem* item, int column, const QString& text, const ListColumns* columns);

}  // namespace tarn::app
