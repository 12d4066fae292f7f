#pragma once

#include <QAbstractListModel>

// The lines of the debug event log as a list model for the debug window's event grid: the
// text of each line in its category's colour, newest first. It follows the log line by line
// (one row in at the top, one out at the bottom once the log is full), so a view repaints
// only what it shows, however fast lines arrive.
namespace orv::desktop {

class DebugLogModel : public QAbstractListModel {
  Q_OBJECT

 public:
  explicit DebugLogModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 private:
  void followLog();

  int rows_ = 0;  // the rows the views know of
};

}  // namespace orv::desktop
