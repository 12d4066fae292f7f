#include "desktop/uploads_models.h"

#include "core/language.h"
#include "core/uploaded_store.h"
#include "desktop/uploads_texts.h"

#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <numeric>

namespace orv::desktop {
namespace {

using core::gUploadedLists;

QIcon drawUploadPicture(int number) {
  QPixmap picture(16, 16);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  // A sheet of paper, and a mark: green when it was sent to its end, red when cut off; a
  // whole mark for the whole file, half of one for a range.
  painter.setPen(QColor(96, 96, 96));
  painter.setBrush(QColor(255, 255, 255));
  painter.drawRect(2, 0, 10, 15);
  const bool finished = number <= 2;
  const bool whole = number == 1 || number == 3;
  const QColor mark = finished ? QColor(40, 150, 60) : QColor(200, 50, 40);
  painter.setPen(Qt::NoPen);
  painter.setBrush(mark);
  painter.drawRect(whole ? QRect(6, 6, 9, 9) : QRect(6, 11, 9, 4));
  painter.end();
  return QIcon(picture);
}

const core::tUploadedTransfer& storeRow(qsizetype transfer) {
  static const core::tUploadedTransfer kNone;
  const core::tUploadedTransfer* row = gUploadedLists.transfer(transfer);
  return row == nullptr ? kNone : *row;
}

qint64 finishedTotal(const QString& path) {
  const core::tUploadedFile* file = gUploadedLists.filePaths.find(path);
  return file == nullptr ? 0 : file->nbFinishedTotal;
}

}  // namespace

QIcon uploadPicture(int number) {
  static const QIcon pictures[4] = {drawUploadPicture(1), drawUploadPicture(2), drawUploadPicture(3),
                                    drawUploadPicture(4)};
  return pictures[std::clamp(number, 1, 4) - 1];
}

// ---- Sorting ----

void UploadsListModel::setSortState(int key, int order, bool sorted) {
  sortKey_ = key;
  sortOrder_ = order == 1 ? 1 : 0;
  sorted_ = sorted;
}

namespace {

// The old row numbers in sorted order: a stable sort on values read once.
template <typename Value>
std::vector<int> sortedRows(int count, bool descending, Value value) {
  std::vector<int> rows(static_cast<std::size_t>(count));
  std::iota(rows.begin(), rows.end(), 0);
  using Key = decltype(value(0));
  std::vector<Key> keys;
  keys.reserve(rows.size());
  for (int row = 0; row < count; ++row) {
    keys.push_back(value(row));
  }
  std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
    const Key& left = keys[static_cast<std::size_t>(a)];
    const Key& right = keys[static_cast<std::size_t>(b)];
    return descending ? right < left : left < right;
  });
  return rows;
}

struct TextKey {
  QString text;
  bool operator<(const TextKey& other) const { return text.compare(other.text, Qt::CaseInsensitive) < 0; }
};

}  // namespace

void UploadsListModel::sortRows() {
  sorted_ = true;
  const int count = rowCountNow();
  const bool descending = sortOrder_ == 1;
  std::vector<int> order;
  if (isNumericKey(sortKey_)) {
    order = sortedRows(count, descending, [this](int row) { return sortValue(row, sortKey_).number; });
  } else {
    order = sortedRows(count, descending, [this](int row) { return TextKey{sortValue(row, sortKey_).text}; });
  }
  bool moved = false;
  for (int row = 0; row < count && !moved; ++row) {
    moved = order[static_cast<std::size_t>(row)] != row;
  }
  if (!moved) {
    return;
  }
  Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  std::vector<int> newRowOf(order.size());
  for (std::size_t position = 0; position < order.size(); ++position) {
    newRowOf[static_cast<std::size_t>(order[position])] = static_cast<int>(position);
  }
  const QModelIndexList before = persistentIndexList();
  QModelIndexList after;
  after.reserve(before.size());
  for (const QModelIndex& index : before) {
    after.append(this->index(newRowOf[static_cast<std::size_t>(index.row())], index.column()));
  }
  reorder(order);
  changePersistentIndexList(before, after);
  Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

bool UploadsListModel::isInOrder() const {
  const int count = rowCountNow();
  const bool numeric = isNumericKey(sortKey_);
  for (int row = 1; row < count; ++row) {
    SortValue previous = sortValue(row - 1, sortKey_);
    SortValue current = sortValue(row, sortKey_);
    if (sortOrder_ == 1) {
      std::swap(previous, current);
    }
    const bool less =
        numeric ? current.number < previous.number : current.text.compare(previous.text, Qt::CaseInsensitive) < 0;
    if (less) {
      return false;
    }
  }
  return true;
}

// ---- Uploads in progress ----

int UploadsInProgressModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int UploadsInProgressModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 5;
}

QVariant UploadsInProgressModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) {
    return {};
  }
  const Row& row = at(index.row());
  switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
      switch (index.column()) {
        case 0:
          return fnctUploadFileName(row.filePath);
        case 1:
          return role == Qt::AccessibleTextRole ? QVariant(QString::number(row.percent) + QLatin1Char('%'))
                                                : QVariant();
        case 2:
          return transferredOnTotalText(row.bytesSent, row.requiredFileSize);
        case 3:
          return rateText(row.rate);
        default:
          return row.clientInfos;
      }
    case Qt::DecorationRole:
      return index.column() == 0 ? QVariant(uploadPicture(inProgressIconNumber(row.isPartialTransfer))) : QVariant();
    case Qt::ToolTipRole:
      return {};
    case PercentRole:
      return row.percent;
    case ConnectionIndexRole:
      return row.index;
    case SortKeyRole:
      switch (index.column()) {
        case 1:
        case 2:
          return percentSortKey(row.percent);
        case 3:
          return rateSortKey(row.rate);
        default:
          return data(index, Qt::DisplayRole);
      }
    default:
      return {};
  }
}

QVariant UploadsInProgressModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= 5) {
    return {};
  }
  return section == 1 ? QStringLiteral("%") : headers_[section];
}

void UploadsInProgressModel::refreshHeaders() {
  headers_[0] = core::gLanguage.text(u"UPLOADS_FORM/LISTVIEW/FILE_NAME");
  headers_[2] = core::gLanguage.text(u"UPLOADS_FORM/LISTVIEW/TRANSFERRED_ON_TOTAL");
  headers_[3] = core::gLanguage.text(u"UPLOADS_FORM/LISTVIEW/RATE");
  headers_[4] = core::gLanguage.text(u"UPLOADS_FORM/LISTVIEW/CLIENT");
  Q_EMIT headerDataChanged(Qt::Horizontal, 0, 4);
}

int UploadsInProgressModel::rowOf(int connectionIndex) const {
  for (std::size_t row = 0; row < rows_.size(); ++row) {
    if (rows_[row].index == connectionIndex) {
      return static_cast<int>(row);
    }
  }
  return -1;
}

void UploadsInProgressModel::add(const Row& row) {
  const int position = rowCount();
  beginInsertRows({}, position, position);
  rows_.push_back(row);
  rows_.back().percent = boundedPercent(row.percent);
  endInsertRows();
  keepInOrder();
}

bool UploadsInProgressModel::refresh(int connectionIndex, int percent, double bytesSent, double requiredFileSize,
                                     double rate) {
  const int position = rowOf(connectionIndex);
  if (position < 0) {
    return false;
  }
  Row& row = rows_[static_cast<std::size_t>(position)];
  row.percent = boundedPercent(percent);
  row.bytesSent = bytesSent;
  row.requiredFileSize = requiredFileSize;
  row.rate = rate;
  Q_EMIT dataChanged(index(position, 1), index(position, 3));
  keepInOrder();
  return true;
}

bool UploadsInProgressModel::remove(int connectionIndex) {
  const int position = rowOf(connectionIndex);
  if (position < 0) {
    return false;
  }
  beginRemoveRows({}, position, position);
  rows_.erase(rows_.begin() + position);
  endRemoveRows();
  return true;
}

void UploadsInProgressModel::keepInOrder() {
  if (isSorted() && !isInOrder()) {
    sortRows();
  }
}

bool UploadsInProgressModel::isNumericKey(int key) const {
  return key == 1 || key == 2 || key == 3;
}

UploadsListModel::SortValue UploadsInProgressModel::sortValue(int row, int key) const {
  const Row& upload = at(row);
  switch (key) {
    case 0:
      return {0, fnctUploadFileName(upload.filePath)};
    case 1:
    case 2:
      return {static_cast<double>(upload.percent), {}};
    case 3:
      return {upload.rate, {}};
    default:
      return {0, upload.clientInfos};
  }
}

void UploadsInProgressModel::reorder(const std::vector<int>& oldRows) {
  std::vector<Row> sorted;
  sorted.reserve(rows_.size());
  for (const int row : oldRows) {
    sorted.push_back(std::move(rows_[static_cast<std::size_t>(row)]));
  }
  rows_ = std::move(sorted);
}

// ---- Sent files ----

int UploadedFilesModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int UploadedFilesModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 3;
}

QVariant UploadedFilesModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) {
    return {};
  }
  const Row& line = rows_[static_cast<std::size_t>(index.row())];
  const core::tUploadedTransfer& row = storeRow(line.transfer);
  switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
      switch (index.column()) {
        case 0:
          return fnctUploadFileName(row.path);
        case 1:
          return row.date;
        default:
          return QString::number(finishedTotal(row.path));
      }
    case Qt::DecorationRole:
      return index.column() == 0 ? QVariant(uploadPicture(uploadedIconNumber(row.finished, row.completeFile)))
                                 : QVariant();
    case Qt::ForegroundRole:
      return uploadedRowColour(row.isSessionTransfer);
    case TransferRole:
      return static_cast<qlonglong>(line.transfer);
    case SortKeyRole:
      switch (index.column()) {
        case 1:
          return orderSortKey(line.order);
        case 2:
          return finishedSortKey(finishedTotal(row.path));
        default:
          return fnctUploadFileName(row.path);
      }
    default:
      return {};
  }
}

QVariant UploadedFilesModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= 3) {
    return {};
  }
  return headers_[section];
}

void UploadedFilesModel::refreshHeaders() {
  headers_[0] = core::gLanguage.text(u"UPLOADS_FORM/LISTVIEW/FILE_NAME");
  headers_[1] = core::gLanguage.text(u"UPLOADS_FORM/LISTVIEW/DATE");
  headers_[2] = core::gLanguage.text(u"UPLOADS_FORM/LISTVIEW/FINISHED_NB_TOTAL");
  Q_EMIT headerDataChanged(Qt::Horizontal, 0, 2);
}

int UploadedFilesModel::rowOfTransfer(qsizetype transfer) const {
  for (std::size_t row = 0; row < rows_.size(); ++row) {
    if (rows_[row].transfer == transfer) {
      return static_cast<int>(row);
    }
  }
  return -1;
}

void UploadedFilesModel::fill() {
  beginResetModel();
  const qsizetype count = static_cast<qsizetype>(gUploadedLists.transfers.size());
  rows_.clear();
  rows_.reserve(static_cast<std::size_t>(count));
  for (qsizetype transfer = 1; transfer <= count; ++transfer) {
    rows_.push_back({transfer, ++nextOrder_});
  }
  endResetModel();
}

void UploadedFilesModel::addNewest() {
  const qsizetype stored = static_cast<qsizetype>(gUploadedLists.transfers.size());
  if (stored == 0) {
    return;
  }
  // The store keeps its newest rows only: what it let go leaves the list, and every other
  // line takes the number its transfer has now.
  const qsizetype dropped = static_cast<qsizetype>(rows_.size()) - (stored - 1);
  if (dropped == 1) {
    const int row = rowOfTransfer(1);
    if (row >= 0) {
      beginRemoveRows({}, row, row);
      rows_.erase(rows_.begin() + row);
      endRemoveRows();
    }
  } else if (dropped > 1) {
    beginResetModel();
    std::erase_if(rows_, [dropped](const Row& row) { return row.transfer <= dropped; });
    endResetModel();
  }
  if (dropped > 0) {
    for (Row& row : rows_) {
      row.transfer -= dropped;
    }
    if (!rows_.empty()) {
      Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, 2));
    }
  }
  const int position = rowCount();
  beginInsertRows({}, position, position);
  rows_.push_back({stored, ++nextOrder_});
  endInsertRows();
}

void UploadedFilesModel::refreshCounts() {
  if (!rows_.empty()) {
    Q_EMIT dataChanged(index(0, 2), index(rowCount() - 1, 2));
  }
}

void UploadedFilesModel::clear() {
  beginResetModel();
  rows_.clear();
  endResetModel();
}

bool UploadedFilesModel::isNumericKey(int key) const {
  return key == 1 || key == 2;
}

UploadsListModel::SortValue UploadedFilesModel::sortValue(int row, int key) const {
  const Row& line = rows_[static_cast<std::size_t>(row)];
  switch (key) {
    case 1:
      return {static_cast<double>(line.order), {}};
    case 2:
      return {static_cast<double>(finishedTotal(storeRow(line.transfer).path)), {}};
    default:
      return {0, fnctUploadFileName(storeRow(line.transfer).path)};
  }
}

void UploadedFilesModel::reorder(const std::vector<int>& oldRows) {
  std::vector<Row> sorted;
  sorted.reserve(rows_.size());
  for (const int row : oldRows) {
    sorted.push_back(rows_[static_cast<std::size_t>(row)]);
  }
  rows_ = std::move(sorted);
}

}  // namespace orv::desktop
