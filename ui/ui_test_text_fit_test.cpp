// The check of the screenshots: it finds what a user would see cut, and
// lets pass what fits or elides as it should.
#include "ui/ui_test_text_fit.h"

#include <gtest/gtest.h>

#include <QHBoxLayout>
#include <QVBoxLayout>

#include <string>

#include "ui/ui_test_harness.h"

namespace tarn::app {
namespace {

bool Names(const std::string& report, const char* name) {
  return report.find(std::string(name) + " ") != std::string::npos;
}

TEST(TextFit, TheCheckFindsEveryTextThatIsCutAndNoOther) {
  QWidget window;
  auto* column = new QVBoxLayout(&window);
  const QString longText = QStringLiteral("Laufwerke werden von einem Administrator dieses Computers verwaltet.");
  auto* fits = new QLabel(QStringLiteral("Name"));
  fits->setObjectName("fits");
  auto* narrow = new QLabel(longText);
  narrow->setObjectName("narrowLabel");
  narrow->setFixedWidth(60);
  auto* shortWrap = new QLabel(longText);
  shortWrap->setObjectName("shortWrap");
  shortWrap->setWordWrap(true);
  shortWrap->setFixedSize(120, 20);
  auto* button = new QPushButton(QStringLiteral("Synchronisieren"));
  button->setObjectName("narrowButton");
  button->setFixedWidth(50);
  auto* wide = new QPushButton(QStringLiteral("OK"));
  wide->setObjectName("wideButton");
  auto* list = new QTreeWidget;
  list->setObjectName("list");
  list->setHeaderLabels({QStringLiteral("Laufwerk"), QStringLiteral("Server"), QStringLiteral("State")});
  list->setRootIsDecorated(false);
  list->setTextElideMode(Qt::ElideMiddle);
  auto* row = new QTreeWidgetItem(list);
  row->setText(0, QStringLiteral("D:"));
  // Elided with its whole text at hand: fine. Cut without it: not.
  row->setText(1, QStringLiteral("webdav://cloud.example.com/remote.php/dav/files/ann/documents"));
  row->setToolTip(1, row->text(1));
  row->setText(2, QStringLiteral("error: the server could not be reached at all"));
  list->header()->setStretchLastSection(false);
  list->header()->resizeSection(0, 30);
  list->header()->resizeSection(1, 120);
  list->header()->resizeSection(2, 120);
  for (QWidget* w : {static_cast<QWidget*>(fits), static_cast<QWidget*>(narrow), static_cast<QWidget*>(shortWrap),
                     static_cast<QWidget*>(button), static_cast<QWidget*>(wide), static_cast<QWidget*>(list)})
    column->addWidget(w);
  window.resize(400, 400);
  window.show();
  test::SettleLayouts();

  const std::string report = test::TextsThatDoNotFit(window);
  EXPECT_TRUE(Names(report, "narrowLabel")) << report;
  EXPECT_TRUE(Names(report, "shortWrap")) << report;
  EXPECT_TRUE(Names(report, "narrowButton")) << report;
  EXPECT_NE(report.find("header \"Laufwerk\""), std::string::npos) << report;
  EXPECT_NE(report.find("cell \"error: the server"), std::string::npos) << report;
  EXPECT_EQ(report.find("cell \"webdav:"), std::string::npos) << "an elided cell with its tooltip: " << report;
  EXPECT_FALSE(Names(report, "fits")) << report;
  EXPECT_FALSE(Names(report, "wideButton")) << report;

  // Given room, nothing is cut.
  narrow->setMinimumWidth(0);
  narrow->setMaximumWidth(QWIDGETSIZE_MAX);
  shortWrap->setMinimumSize(0, 0);
  shortWrap->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  shortWrap->setFixedHeight(shortWrap->heightForWidth(360) + 4);
  button->setMinimumWidth(0);
  button->setMaximumWidth(QWIDGETSIZE_MAX);
  list->setTextElideMode(Qt::ElideMiddle);
  row->setToolTip(2, row->text(2));
  list->header()->resizeSection(0, list->header()->sectionSizeHint(0));
  list->header()->resizeSection(1, 100);
  list->header()->resizeSection(2, 100);
  window.resize(700, 400);
  test::SettleLayouts();
  EXPECT_EQ(test::TextsThatDoNotFit(window), "");
}

}  // namespace
}  // namespace tarn::app
