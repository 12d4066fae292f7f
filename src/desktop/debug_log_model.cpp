#include "desktop/debug_log_model.h"

#include "core/debug_log.h"

#include <QColor>

namespace orv::desktop {

DebugLogModel::DebugLogModel(QObject* parent)
    : QAbstractListModel(parent), rows_(static_cast<int>(core::debugEventLog().count())) {
  connect(&core::debugEventLog(), &core::DebugEventLog::changed, this, &DebugLogModel::followLog);
}

int DebugLogModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

QVariant DebugLogModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rows_) {
    return {};
  }
  const core::DebugEventLine& line = core::debugEventLog().line(index.row());
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      return line.text;
    case Qt::ForegroundRole:
      return QColor(line.colour.red, line.colour.green, line.colour.blue);
    default:
      return {};
  }
}

// The log says only that it changed, after the fact, one line or one clear at a time: a line
// on top makes it one longer, or, once it is full, keeps its length and loses the oldest.
// Nothing reads the model between these begin and end calls, so announcing the change
// after it happened is safe. Anything else (a clear) resets the model.
void DebugLogModel::followLog() {
  const int count = static_cast<int>(core::debugEventLog().count());
  if (count > 0 && (count == rows_ || count == rows_ + 1)) {
    if (count == rows_) {
      beginRemoveRows(QModelIndex(), rows_ - 1, rows_ - 1);
      --rows_;
      endRemoveRows();
    }
    beginInsertRows(QModelIndex(), 0, 0);
    ++rows_;
    endInsertRows();
    return;
  }
  beginResetModel();
  rows_ = count;
  endResetModel();
}

}  // namespace orv::desktop
