#include "desktop/history_pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

namespace orv::desktop {
namespace {

using core::HistoryEventType;

constexpr int kSize = 16;

const QColor kGreen(46, 150, 60);
const QColor kRed(200, 50, 45);
const QColor kOrange(225, 130, 20);
const QColor kBlue(50, 105, 200);

void drawDisc(QPainter& painter, const QColor& colour) {
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour);
  painter.drawEllipse(QRectF(1, 1, 14, 14));
}

QPen whiteStroke(double width) {
  return QPen(Qt::white, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A file with a corner folded, sent or being sent.
void drawFile(QPainter& painter) {
  painter.setPen(QPen(QColor(90, 90, 90), 1));
  painter.setBrush(Qt::white);
  painter.drawPolygon(
      QPolygonF({QPointF(2.5, 0.5), QPointF(8.5, 0.5), QPointF(11.5, 3.5), QPointF(11.5, 15.5), QPointF(2.5, 15.5)}));
}

void drawFolder(QPainter& painter, const QColor& fill, Qt::PenStyle outline = Qt::SolidLine) {
  painter.setPen(QPen(QColor(120, 90, 20), 1, outline));
  painter.setBrush(fill);
  QPainterPath folder;
  folder.moveTo(0.5, 3.5);
  folder.lineTo(6, 3.5);
  folder.lineTo(7.5, 5.5);
  folder.lineTo(15.5, 5.5);
  folder.lineTo(15.5, 14.5);
  folder.lineTo(0.5, 14.5);
  folder.closeSubpath();
  painter.drawPath(folder);
}

// A small badge in the lower right corner of a file or folder.
void drawBadge(QPainter& painter, const QColor& colour) {
  painter.setPen(QPen(Qt::white, 1));
  painter.setBrush(colour);
  painter.drawEllipse(QRectF(7.5, 7.5, 8, 8));
}

void drawPicture(QPainter& painter, HistoryEventType type) {
  switch (type) {
    case HistoryEventType::FILE_START_UPLOAD:
      drawFile(painter);
      drawBadge(painter, kBlue);
      painter.setPen(Qt::NoPen);
      painter.setBrush(Qt::white);
      painter.drawPolygon(QPolygonF({QPointF(10.5, 9.5), QPointF(14, 11.5), QPointF(10.5, 13.5)}));
      break;
    case HistoryEventType::FILE_ABORT_UPLOAD:
      drawFile(painter);
      drawBadge(painter, kRed);
      painter.setPen(whiteStroke(1.4));
      painter.drawLine(QPointF(9.8, 9.8), QPointF(13.2, 13.2));
      painter.drawLine(QPointF(13.2, 9.8), QPointF(9.8, 13.2));
      break;
    case HistoryEventType::FILE_END_UPLOAD:
      drawFile(painter);
      drawBadge(painter, kGreen);
      painter.setPen(whiteStroke(1.4));
      painter.drawPolyline(QPolygonF({QPointF(9.5, 11.5), QPointF(11, 13), QPointF(13.8, 9.8)}));
      break;
    case HistoryEventType::PHYSICAL_FOLDER_NAVIGATION:
      drawFolder(painter, QColor(240, 196, 80));
      break;
    case HistoryEventType::VIRTUAL_FOLDER_NAVIGATION:
      drawFolder(painter, QColor(235, 235, 240), Qt::DotLine);
      break;
    case HistoryEventType::AUDIO_FOLDER_NAVIGATION:
      drawFolder(painter, QColor(240, 196, 80));
      painter.setPen(Qt::NoPen);
      painter.setBrush(kBlue);
      painter.drawEllipse(QRectF(5, 10, 3.5, 3));
      painter.drawRect(QRectF(7.3, 6.5, 1.2, 5));
      painter.drawRect(QRectF(7.3, 6.5, 4, 1.2));
      break;
    case HistoryEventType::NOT_FOUND: {
      drawDisc(painter, kOrange);
      painter.setPen(Qt::white);
      QFont font = painter.font();
      font.setPixelSize(12);
      font.setBold(true);
      painter.setFont(font);
      painter.drawText(QRectF(1, 1, 14, 14), Qt::AlignCenter, QStringLiteral("?"));
      break;
    }
    case HistoryEventType::FORBIDDEN:
      drawDisc(painter, kRed);
      painter.setPen(Qt::NoPen);
      painter.setBrush(Qt::white);
      painter.drawRect(QRectF(4, 6.8, 8, 2.4));
      break;
    case HistoryEventType::LOGIN_FAILED:
      // A closed padlock.
      painter.setPen(QPen(QColor(110, 110, 120), 1.8));
      painter.setBrush(Qt::NoBrush);
      painter.drawArc(QRectF(4.5, 1.5, 7, 9), 0, 180 * 16);
      painter.drawLine(QPointF(4.5, 6), QPointF(4.5, 8));
      painter.drawLine(QPointF(11.5, 6), QPointF(11.5, 8));
      painter.setPen(Qt::NoPen);
      painter.setBrush(QColor(205, 150, 30));
      painter.drawRoundedRect(QRectF(2.5, 7.5, 11, 8), 1.5, 1.5);
      painter.setBrush(QColor(90, 60, 10));
      painter.drawEllipse(QRectF(7, 10, 2, 2.5));
      break;
    case HistoryEventType::BANNED:
      painter.setPen(QPen(kRed, 2.2));
      painter.setBrush(Qt::white);
      painter.drawEllipse(QRectF(2, 2, 12, 12));
      painter.drawLine(QPointF(4.2, 11.8), QPointF(11.8, 4.2));
      break;
    case HistoryEventType::FILTERS_REJECT:
      // A funnel: the IP filter.
      painter.setPen(QPen(QColor(60, 60, 70), 1));
      painter.setBrush(QColor(150, 155, 170));
      painter.drawPolygon(QPolygonF({QPointF(1, 2), QPointF(15, 2), QPointF(9.5, 8.5), QPointF(9.5, 14.5),
                                     QPointF(6.5, 12.5), QPointF(6.5, 8.5)}));
      break;
  }
}

}  // namespace

QIcon historyEventPicture(HistoryEventType type) {
  const int code = static_cast<int>(type);
  if (code < 1 || code > 11) {
    return {};
  }
  QPixmap pixmap(kSize, kSize);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  drawPicture(painter, type);
  painter.end();
  return QIcon(pixmap);
}

}  // namespace orv::desktop
