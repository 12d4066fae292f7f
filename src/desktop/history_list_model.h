#pragma once

#include "core/history_store.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>

#include <array>
#include <deque>

// The rows of the history window, newest first: the event type's picture in column 0 and
// the line text in column 1, events of earlier runs in grey. Each row keeps its own event,
// so that what a row shows is what it opens, whatever events were left out of the list.
namespace orv::desktop {

struct HistoryRow {
  core::HistoryEventType type = core::HistoryEventType::FILE_START_UPLOAD;
  QString ipAddress;
  QString date;  // as the store holds it; read only when the row is drawn
  QString text;
  bool isNew = false;
};

// The text of a row: the date in the stores' form, " | ", the client, " | ", the type's
// label and the detail the type carries (a quoted path, or a ban length in seconds); ""
// for an unknown type.
QString fnctHistoryLineText(const HistoryRow& row);

class HistoryListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kPictureColumn = 0;
  static constexpr int kLineColumn = 1;
  static inline const QColor kEarlierRunColour{128, 128, 128};

  explicit HistoryListModel(QObject* parent = nullptr);

  // Puts the event at the top, then cuts the rows beyond maxEntry when it is above 0 (the
  // oldest, at the bottom, go). An event of an unknown type adds nothing: false.
  bool addEntry(const HistoryRow& row, int maxEntry);
  // The rows of the stored events, oldest first in, so that the newest ends at the top;
  // the same rows as adding them one by one, built at once.
  void replay(const std::deque<core::tHistoryEvent>& events, int maxEntry);
  // Keeps the count newest rows.
  void trimTo(int count);
  void clear();

  const HistoryRow& rowAt(int row) const { return rows_[static_cast<std::size_t>(row)]; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 private:
  std::deque<HistoryRow> rows_;
  std::array<QIcon, 12> pictures_;  // by type code; 0 unused
};

}  // namespace orv::desktop
