#include "desktop/frm_debug_values.h"

#include "core/configuration.h"
#include "desktop/debug_values.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QStyledItemDelegate>

namespace orv::desktop {
namespace {

constexpr int kValueColumnWidth = 75;  // pixels

bool isEditableCell(const QModelIndex& index) {
  return index.isValid() && index.column() == 1 && index.row() >= kDebugCounterCount &&
         index.row() < kDebugValuesRowCount;
}

// The in-place editor of a value cell (txtDebugMaskValue). Leaving the editor commits its
// text (the view's own rule: Enter, another cell, the focus elsewhere); Escape closes it
// without committing. The cell takes the typed text only when the setter keeps the value.
class ValueEditDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    editor->setObjectName(QStringLiteral("txtDebugMaskValue"));
    editor->setAccessibleName(index.siblingAtColumn(0).data().toString());
    return editor;
  }

  void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
    const auto* line = qobject_cast<QLineEdit*>(editor);
    if (line == nullptr) {
      return;
    }
    const QString typed = line->text();
    // An edit that changed nothing applies nothing: the cell shows the value rounded to
    // seven digits, and applying that text would replace the value with the rounded one.
    if (typed == index.data().toString()) {
      return;
    }
    if (ApplyDebugValueEdit(index.siblingAtColumn(0).data().toString(), typed)) {
      model->setData(index, typed);
    }
  }
};

}  // namespace

DebugValuesGrid::DebugValuesGrid(QWidget* parent) : QTableWidget(kDebugValuesRowCount, 2, parent) {
  setObjectName(QStringLiteral("flexDebugValues"));
  setAccessibleName(QStringLiteral("Advanced configuration parameters"));
  horizontalHeader()->hide();
  verticalHeader()->hide();
  horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  horizontalHeader()->setSectionResizeMode(1, QHeaderView::Fixed);
  setColumnWidth(1, kValueColumnWidth);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
  setItemDelegateForColumn(1, new ValueEditDelegate(this));
  setWordWrap(false);

  // The counters' values are read-only, and greyed to say so.
  const QColor counterColour = palette().color(QPalette::Disabled, QPalette::Text);
  for (int row = 0; row < kDebugValuesRowCount; ++row) {
    auto* name = new QTableWidgetItem(debugValuesRowCaption(row));
    name->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    setItem(row, 0, name);
    auto* value = new QTableWidgetItem();
    value->setFlags(row < kDebugCounterCount ? Qt::ItemIsEnabled | Qt::ItemIsSelectable
                                             : Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
    if (row < kDebugCounterCount) {
      value->setForeground(counterColour);
    }
    setItem(row, 1, value);
  }
  // Row 0 is current, as a place to start from with the keyboard, but not shown selected.
  setCurrentCell(0, 0, QItemSelectionModel::NoUpdate);

  mnuAdvParamValues_ = new QMenu(this);
  mnuAdvParamValues_->setObjectName(QStringLiteral("mnuAdvParamValues"));
  QAction* restore = mnuAdvParamValues_->addAction(QStringLiteral("Restore default values"));
  restore->setObjectName(QStringLiteral("mnuAdvParamValues_RestoreValues"));
  mnuAdvParamValues_->setDefaultAction(restore);
  connect(restore, &QAction::triggered, this, &DebugValuesGrid::restoreDefaultValues);
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QWidget::customContextMenuRequested, this, &DebugValuesGrid::showRestoreMenu);
}

void DebugValuesGrid::refreshCounters() {
  const auto counters = getDebugCounterValues();
  for (int row = 0; row < kDebugCounterCount; ++row) {
    item(row, 1)->setText(QString::number(counters[static_cast<std::size_t>(row)]));
  }
}

void DebugValuesGrid::RefreshDebugValuesGrid() {
  for (int row = kDebugCounterCount; row < kDebugValuesRowCount; ++row) {
    item(row, 1)->setText(tuningValueText(core::gConfiguration.AdvancedParameters, row));
  }
}

void DebugValuesGrid::restoreDefaultValues() {
  RestoreDebugDefaultValues(core::gConfiguration.AdvancedParameters);
  RefreshDebugValuesGrid();
}

// A left press on a value cell opens its editor at once; the keyboard opens it with F2 or
// by typing.
void DebugValuesGrid::mousePressEvent(QMouseEvent* event) {
  QTableWidget::mousePressEvent(event);
  if (event->button() != Qt::LeftButton) {
    return;
  }
  const QModelIndex index = indexAt(event->position().toPoint());
  if (isEditableCell(index) && index == currentIndex()) {
    edit(index);
  }
}

void DebugValuesGrid::showRestoreMenu(const QPoint& position) {
  mnuAdvParamValues_->popup(viewport()->mapToGlobal(position));
}

}  // namespace orv::desktop
