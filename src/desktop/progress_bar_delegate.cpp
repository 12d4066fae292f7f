#include "desktop/progress_bar_delegate.h"

#include "desktop/uploads_models.h"
#include "desktop/uploads_texts.h"

#include <QPainter>

namespace orv::desktop {

QImage renderProgressBar(QSize cell, int percent, const QFont& font) {
  const ProgressBarGeometry geometry = progressBarGeometry(cell, percent);
  if (!geometry.drawn || geometry.picture.isEmpty()) {
    return {};
  }
  QImage picture(geometry.picture.size(), QImage::Format_RGB32);
  picture.fill(Qt::white);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing, false);
  // The rectangles hold both corners: fillRect of an inclusive QRect covers exactly them,
  // and drawRect of a rectangle one pixel smaller draws its outline on them.
  painter.setPen(kBarFrameColour);
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(geometry.frame.adjusted(0, 0, -1, -1));
  painter.fillRect(geometry.background, kBarBackgroundColour);
  if (!geometry.bar.isEmpty()) {
    painter.fillRect(geometry.bar, kBarColour);
  }
  painter.setFont(font);
  painter.setPen(geometry.textColour);
  painter.drawText(QRect(0, 2, picture.width(), picture.height() - 2), Qt::AlignHCenter | Qt::AlignTop, geometry.text);
  return picture;
}

void ProgressBarDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  QStyledItemDelegate::paint(painter, option, index);
  if (index.column() != barColumn_) {
    return;
  }
  const QImage picture = renderProgressBar(option.rect.size(), index.data(PercentRole).toInt(), option.font);
  if (!picture.isNull()) {
    const ProgressBarGeometry geometry = progressBarGeometry(option.rect.size(), 0);
    painter->drawImage(option.rect.topLeft() + geometry.picture.topLeft(), picture);
  }
}

}  // namespace orv::desktop
