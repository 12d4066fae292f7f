#include "desktop/history_list_model.h"

#include "core/formats.h"
#include "core/language.h"
#include "core/stored_date.h"

#include <QDateTime>
#include "desktop/history_pictures.h"

#include <QColor>

namespace orv::desktop {
namespace {

using core::HistoryEventType;

// The language key of each type's label, by type code; 0 unused.
constexpr std::array<QStringView, 12> kLabelKeys = {
    u"",
    u"HISTORY_FORM/FLEXGRID/FILE_START_UPLOAD",
    u"HISTORY_FORM/FLEXGRID/FILE_ABORT_UPLOAD",
    u"HISTORY_FORM/FLEXGRID/FILE_END_UPLOAD",
    u"HISTORY_FORM/FLEXGRID/PHYSICAL_FOLDER_NAVIGATION",
    u"HISTORY_FORM/FLEXGRID/VIRTUAL_FOLDER_NAVIGATION",
    u"HISTORY_FORM/FLEXGRID/AUDIO_FOLDER_NAVIGATION",
    u"HISTORY_FORM/FLEXGRID/NOT_FOUND",
    u"HISTORY_FORM/FLEXGRID/FORBIDDEN",
    u"HISTORY_FORM/FLEXGRID/LOGIN_FAILED",
    u"HISTORY_FORM/FLEXGRID/BANNED",
    u"HISTORY_FORM/FLEXGRID/FILTERS_REJECT",
};

bool isKnownType(HistoryEventType type) {
  const int code = static_cast<int>(type);
  return code >= 1 && code <= 11;
}

QString labelOf(HistoryEventType type) {
  return core::gLanguage.text(kLabelKeys[static_cast<std::size_t>(type)]);
}

}  // namespace

QString fnctHistoryLineText(const HistoryRow& row) {
  if (!isKnownType(row.type)) {
    return {};
  }
  // A date of another form (an earlier run's regional one) is shown as this run writes dates.
  const QDateTime moment = core::parseStoredDate(row.date);
  const QString date = moment.isValid() ? core::fnctFormatDate(moment) : row.date;
  const QString prefix = date + QStringLiteral(" | ") + row.ipAddress + QStringLiteral(" | ");
  const QString label = labelOf(row.type);
  switch (row.type) {
    case HistoryEventType::LOGIN_FAILED:
    case HistoryEventType::FILTERS_REJECT:
      return prefix + label;
    case HistoryEventType::BANNED:
      return prefix + label + QLatin1Char(' ') + row.text + QLatin1Char('s');
    default:
      return prefix + label + QStringLiteral(" '") + row.text + QLatin1Char('\'');
  }
}

HistoryListModel::HistoryListModel(QObject* parent) : QAbstractTableModel(parent) {
  for (int code = 1; code <= 11; ++code) {
    pictures_[static_cast<std::size_t>(code)] = historyEventPicture(static_cast<HistoryEventType>(code));
  }
}

bool HistoryListModel::addEntry(const HistoryRow& row, int maxEntry) {
  if (!isKnownType(row.type)) {
    return false;
  }
  beginInsertRows({}, 0, 0);
  rows_.push_front(row);
  endInsertRows();
  if (maxEntry > 0) {
    trimTo(maxEntry);
  }
  return true;
}

void HistoryListModel::replay(const std::deque<core::tHistoryEvent>& events, int maxEntry) {
  beginResetModel();
  rows_.clear();
  for (const core::tHistoryEvent& event : events) {
    if (!isKnownType(event.type)) {
      continue;
    }
    rows_.push_front({event.type, event.ipAddress, event.date, event.text, event.isNew});
    if (maxEntry > 0 && rows_.size() > static_cast<std::size_t>(maxEntry)) {
      rows_.pop_back();
    }
  }
  endResetModel();
}

void HistoryListModel::trimTo(int count) {
  const int rows = rowCount();
  if (count < 0 || rows <= count) {
    return;
  }
  beginRemoveRows({}, count, rows - 1);
  rows_.erase(rows_.begin() + count, rows_.end());
  endRemoveRows();
}

void HistoryListModel::clear() {
  beginResetModel();
  rows_.clear();
  endResetModel();
}

int HistoryListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int HistoryListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 2;
}

QVariant HistoryListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) {
    return {};
  }
  const HistoryRow& row = rowAt(index.row());
  const bool line = index.column() == kLineColumn;
  switch (role) {
    case Qt::DisplayRole:
      return line ? QVariant(fnctHistoryLineText(row)) : QVariant();
    case Qt::AccessibleTextRole:
      // A screen reader names the picture by the type it stands for.
      return line ? fnctHistoryLineText(row) : labelOf(row.type);
    case Qt::DecorationRole:
      return line ? QVariant() : QVariant(pictures_[static_cast<std::size_t>(row.type)]);
    case Qt::TextAlignmentRole:
      return QVariant::fromValue((line ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
    case Qt::ForegroundRole:
      return row.isNew ? QVariant() : QVariant(kEarlierRunColour);
    case Qt::ToolTipRole:
      // The event's detail: its path, its ban length, or nothing.
      return row.text.isEmpty() ? QVariant() : QVariant(row.text);
    default:
      return {};
  }
}

}  // namespace orv::desktop
