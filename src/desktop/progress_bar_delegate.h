#pragma once

#include <QImage>
#include <QStyledItemDelegate>

// The progress bars of the uploads in progress: each row's bar is drawn over its cell of
// the bar column, from the upload's own percentage (the model's PercentRole), so a bar
// always belongs to its upload whatever the rows' order.
namespace orv::desktop {

// The picture of one bar for a cell of that size: a white frame, a light grey background,
// the blue bar and the percentage, white from 49 % on. Null when the cell is 15 pixels wide
// or narrower.
QImage renderProgressBar(QSize cell, int percent, const QFont& font);

class ProgressBarDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  ProgressBarDelegate(int barColumn, QObject* parent) : QStyledItemDelegate(parent), barColumn_(barColumn) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  int barColumn_;
};

}  // namespace orv::desktop
