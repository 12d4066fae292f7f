#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>

#include <functional>
#include <vector>

// The two lists of the uploads window as models: the uploads in progress, one row per
// connection slot that sends a file, and the sent files, one row per transfer row of the
// store of sent files. Each keeps its own sort state (key, order, sorted switch) and sorts
// its rows itself, so that a view only shows them.
namespace orv::desktop {

// The small pictures of both lists, 16 by 16: 1 finished whole file, 2 finished range,
// 3 aborted whole file, 4 aborted range (in progress: 1 whole file, 2 range).
QIcon uploadPicture(int number);

// The roles the window and the bar delegate read beyond the display roles.
enum UploadsRole {
  PercentRole = Qt::UserRole + 1,  // in progress: the upload's percentage
  ConnectionIndexRole,             // in progress: the connection slot
  TransferRole,                    // sent files: the transfer number in the store
  SortKeyRole,                     // the text the list sorts by in that column
};

// Shared by both lists: the sort state and a stable sort of the rows that keeps the
// view's selection and current row on their rows.
class UploadsListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  using QAbstractTableModel::QAbstractTableModel;

  int sortKey() const { return sortKey_; }
  int sortOrder() const { return sortOrder_; }  // 0 ascending, 1 descending
  bool isSorted() const { return sorted_; }
  void setSortState(int key, int order, bool sorted);

  // Sorts by the key and order of the sort state and turns the sorted switch on; rows of
  // equal values keep their order.
  void sortRows();
  // The rows in the order sortRows would give them: nothing moves when they are already.
  bool isInOrder() const;

 protected:
  // What a row sorts by on a key: a number, or a text compared ignoring case.
  struct SortValue {
    double number = 0;
    QString text;
  };
  virtual bool isNumericKey(int key) const = 0;
  virtual SortValue sortValue(int row, int key) const = 0;
  virtual int rowCountNow() const = 0;
  // Puts the rows in the order given as old row numbers.
  virtual void reorder(const std::vector<int>& oldRows) = 0;

 private:
  int sortKey_ = 0;
  int sortOrder_ = 0;
  bool sorted_ = false;
};

class UploadsInProgressModel : public UploadsListModel {
  Q_OBJECT

 public:
  struct Row {
    int index = 0;           // the connection slot
    quint64 transferId = 0;  // which upload of that connection
    QString filePath;
    int percent = 0;  // 0..100
    double bytesSent = 0;
    double requiredFileSize = 0;
    double rate = 0;
    QString clientInfos;
    bool isPartialTransfer = false;
  };

  using UploadsListModel::UploadsListModel;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The row of a connection slot, -1 when it has none.
  int rowOf(int connectionIndex) const;
  const Row& at(int row) const { return rows_[static_cast<std::size_t>(row)]; }

  // A new row at the end (kept in order when the list is sorted).
  void add(const Row& row);
  // New numbers for the row of the connection; false when it has none.
  bool refresh(int connectionIndex, int percent, double bytesSent, double requiredFileSize, double rate);
  bool remove(int connectionIndex);
  // The header texts from the language record.
  void refreshHeaders();

 protected:
  bool isNumericKey(int key) const override;
  SortValue sortValue(int row, int key) const override;
  int rowCountNow() const override { return rowCount(); }
  void reorder(const std::vector<int>& oldRows) override;

 private:
  // Keeps a sorted list in order after a row changed.
  void keepInOrder();

  std::vector<Row> rows_;
  QString headers_[5];
};

// The rows read the store of sent files (core::gUploadedLists) when they are shown, so a
// list of any length costs two numbers a row.
class UploadedFilesModel : public UploadsListModel {
  Q_OBJECT

 public:
  using UploadsListModel::UploadsListModel;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The transfer number of a row.
  qsizetype transferAt(int row) const { return rows_[static_cast<std::size_t>(row)].transfer; }
  // The row of a transfer number, -1 when it has none.
  int rowOfTransfer(qsizetype transfer) const;

  // Every transfer row of the store, in store order, unsorted.
  void fill();
  // The store's newest row at the end; the store has just recorded it. When the store let
  // its oldest row go to make room, that row's line goes too and every other line follows
  // its transfer to its new number.
  void addNewest();
  // The finished totals of every row may have changed.
  void refreshCounts();
  void clear();
  void refreshHeaders();

 protected:
  bool isNumericKey(int key) const override;
  SortValue sortValue(int row, int key) const override;
  int rowCountNow() const override { return rowCount(); }
  void reorder(const std::vector<int>& oldRows) override;

 private:
  struct Row {
    qsizetype transfer = 0;  // 1 = the store's oldest row
    qint64 order = 0;        // order of adding: what the date column sorts by
  };
  std::vector<Row> rows_;
  qint64 nextOrder_ = 0;
  QString headers_[3];
};

}  // namespace orv::desktop
