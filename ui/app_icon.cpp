#include "ui/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tarn::app {
namespace {

// The sizes trays and window managers ask for, up to a large window icon.
constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

// A mountain over its lake on a rounded square.
QPixmap Draw(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x1f, 0x5f, 0x8b));
  p.drawRoundedRect(QRectF(0, 0, s, s), s * 0.18, s * 0.18);

  QPainterPath mountain;
  mountain.moveTo(s * 0.10, s * 0.62);
  mountain.lineTo(s * 0.42, s * 0.18);
  mountain.lineTo(s * 0.58, s * 0.40);
  mountain.lineTo(s * 0.68, s * 0.28);
  mountain.lineTo(s * 0.92, s * 0.62);
  mountain.closeSubpath();
  p.setBrush(QColor(0xf2, 0xf5, 0xf7));
  p.drawPath(mountain);

  p.setBrush(QColor(0x6f, 0xc3, 0xe8));
  p.drawRoundedRect(QRectF(s * 0.10, s * 0.68, s * 0.82, s * 0.20), s * 0.10, s * 0.10);
  return pixmap;
}

}  // namespace

QIcon AppIcon() {
  QIcon icon;
  for (int size : kIconSizes) icon.addPixmap(Draw(size));
  return icon;
}

}  // namespace tarn::app
