#include "desktop/toolbar_pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
#include <QtMath>

namespace orv::desktop {
namespace {

constexpr int kSize = 32;

void drawServer(QPainter& painter, bool running) {
  painter.setPen(QPen(QColor(40, 40, 40), 1.5));
  painter.setBrush(running ? QColor(46, 160, 67) : QColor(190, 60, 50));
  painter.drawEllipse(QRectF(2.5, 2.5, 27, 27));
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  if (running) {
    // Playing: the server runs.
    painter.drawPolygon(QPolygonF({QPointF(12, 9), QPointF(23, 16), QPointF(12, 23)}));
  } else {
    painter.drawRect(QRectF(10.5, 10.5, 11, 11));
  }
}

void drawShares(QPainter& painter) {
  painter.setPen(QPen(QColor(120, 90, 20), 1.2));
  painter.setBrush(QColor(240, 196, 80));
  QPainterPath folder;
  folder.moveTo(3, 8);
  folder.lineTo(12, 8);
  folder.lineTo(14, 11);
  folder.lineTo(29, 11);
  folder.lineTo(29, 27);
  folder.lineTo(3, 27);
  folder.closeSubpath();
  painter.drawPath(folder);
  painter.setBrush(QColor(250, 214, 110));
  painter.drawRect(QRectF(3, 14, 26, 13));
}

void drawUploads(QPainter& painter) {
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(50, 110, 200));
  painter.drawPolygon(QPolygonF({QPointF(16, 3), QPointF(27, 15), QPointF(20, 15), QPointF(20, 24), QPointF(12, 24),
                                 QPointF(12, 15), QPointF(5, 15)}));
  painter.setBrush(QColor(90, 90, 90));
  painter.drawRect(QRectF(5, 26, 22, 3));
}

void drawHistory(QPainter& painter) {
  painter.setPen(QPen(QColor(60, 60, 60), 1.5));
  painter.setBrush(QColor(250, 250, 245));
  painter.drawEllipse(QRectF(3, 3, 26, 26));
  painter.setPen(QPen(QColor(30, 30, 30), 2.2, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(16, 16), QPointF(16, 8));
  painter.drawLine(QPointF(16, 16), QPointF(22, 19));
}

void drawConfig(QPainter& painter) {
  // A gear: eight teeth around a wheel with a hole.
  QPainterPath gear;
  constexpr int kTeeth = 8;
  for (int i = 0; i < kTeeth * 2; ++i) {
    const double angle = M_PI * i / kTeeth;
    const double radius = (i % 2 == 0) ? 14.0 : 10.5;
    const QPointF point(16 + radius * qCos(angle), 16 + radius * qSin(angle));
    if (i == 0) {
      gear.moveTo(point);
    } else {
      gear.lineTo(point);
    }
  }
  gear.closeSubpath();
  gear.addEllipse(QPointF(16, 16), 4.5, 4.5);
  gear.setFillRule(Qt::OddEvenFill);
  painter.setPen(QPen(QColor(50, 50, 60), 1.2));
  painter.setBrush(QColor(140, 145, 160));
  painter.drawPath(gear);
}

}  // namespace

QIcon toolbarPicture(ToolbarPicture picture) {
  QPixmap pixmap(kSize, kSize);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  switch (picture) {
    case ToolbarPicture::ServerRunning:
      drawServer(painter, true);
      break;
    case ToolbarPicture::ServerStopped:
      drawServer(painter, false);
      break;
    case ToolbarPicture::Shares:
      drawShares(painter);
      break;
    case ToolbarPicture::Uploads:
      drawUploads(painter);
      break;
    case ToolbarPicture::History:
      drawHistory(painter);
      break;
    case ToolbarPicture::Config:
      drawConfig(painter);
      break;
  }
  painter.end();
  return QIcon(pixmap);
}

}  // namespace orv::desktop
