#include "desktop/usr_systray.h"

#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPolygonF>
#include <QSystemTrayIcon>
#include <QTextBoundaryFinder>

#include <utility>

namespace orv::desktop {
namespace {

TrayAvailability& installedAvailability() {
  static TrayAvailability availability;
  return availability;
}

// One picture on a 32-unit grid, scaled to the size asked: a disc, green while the server
// runs and red while it is stopped, with a white arrow going out while files are sent.
QPixmap drawTrayPicture(int number, int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 32.0, size / 32.0);
  const bool running = number != kTrayIconServerStopped;
  painter.setPen(QPen(QColor(30, 30, 30), 2));
  painter.setBrush(running ? QColor(46, 160, 67) : QColor(190, 60, 50));
  painter.drawEllipse(QRectF(2, 2, 28, 28));
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  switch (number) {
    case kTrayIconServerRunning:
      painter.drawPolygon(QPolygonF({QPointF(12, 8), QPointF(24, 16), QPointF(12, 24)}));
      break;
    case kTrayIconServerStopped:
      painter.drawRect(QRectF(10, 10, 12, 12));
      break;
    default:
      // Sending: an arrow that leaves upwards.
      painter.drawPolygon(QPolygonF({QPointF(16, 5), QPointF(26, 16), QPointF(20, 16), QPointF(20, 26), QPointF(12, 26),
                                     QPointF(12, 16), QPointF(6, 16)}));
      break;
  }
  painter.end();
  return pixmap;
}

}  // namespace

QIcon trayIconPicture(int number) {
  if (number != kTrayIconServerRunning && number != kTrayIconServerStopped && number != kTrayIconUploading) {
    return {};
  }
  QIcon icon;
  for (const int size : {16, 22, 24, 32, 48, 64}) {
    icon.addPixmap(drawTrayPicture(number, size));
  }
  return icon;
}

QString fnctCutTrayTip(const QString& tip, int maxLength) {
  if (tip.size() <= maxLength) {
    return tip;
  }
  if (maxLength <= 0) {
    return {};
  }
  // The last boundary between two characters as a reader sees them, at or before the limit.
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, tip);
  finder.setPosition(maxLength);
  if (!finder.isAtBoundary()) {
    finder.toPreviousBoundary();
  }
  const qsizetype end = finder.position() < 0 ? 0 : finder.position();
  return tip.first(end);
}

void setTrayAvailability(TrayAvailability availability) {
  installedAvailability() = std::move(availability);
}

bool isTrayAvailable() {
  if (const TrayAvailability& availability = installedAvailability()) {
    return availability();
  }
  return QSystemTrayIcon::isSystemTrayAvailable();
}

usrSystray::usrSystray(QObject* parent) : QObject(parent), icon_(new QSystemTrayIcon(this)) {
  icon_->setObjectName(QStringLiteral("usrSystray"));
  connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
      case QSystemTrayIcon::Trigger:
        usrSystray_MouseMessage(513);
        break;
      case QSystemTrayIcon::DoubleClick:
        usrSystray_MouseMessage(515);
        break;
      case QSystemTrayIcon::Context:
        // Qt pops the menu up itself, on the press or the release as the desktop does it.
        usrSystray_MouseMessage(517);
        break;
      default:
        break;
    }
  });
}

usrSystray::~usrSystray() {
  Hide();
}

void usrSystray::Show(int iconNumber, const QString& tip) {
  iconNumber_ = iconNumber;
  tip_ = fnctCutTrayTip(tip);
  icon_->setIcon(trayIconPicture(iconNumber));
  icon_->setToolTip(tip_);
  if (!isIconIsVisible_) {
    icon_->show();
    // Whether a tray took it or not: a later Show changes it in place, a Hide removes it.
    isIconIsVisible_ = true;
  }
}

void usrSystray::Hide() {
  if (!isIconIsVisible_) {
    return;
  }
  icon_->hide();
  isIconIsVisible_ = false;
}

void usrSystray::setContextMenu(QMenu* menu) {
  icon_->setContextMenu(menu);
}

void usrSystray::usrSystray_MouseMessage(int message) {
  switch (message) {
    case 513:
      Q_EMIT ClickLeftMouseDown();
      break;
    case 514:
      Q_EMIT ClickLeftMouseUp();
      break;
    case 515:
      Q_EMIT DblClickLeft();
      break;
    case 516:
      Q_EMIT ClickRightMouseDown();
      break;
    case 517:
      Q_EMIT ClickRightMouseUp();
      break;
    case 518:
      Q_EMIT DblClickRight();
      break;
    default:
      break;
  }
}

}  // namespace orv::desktop
