#include "editors/config_list_editor.h"

#include "desktop/desktop_utils.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <utility>

namespace orv::editors {
namespace {

// The text an item had before an edit in place, to put back when the edit is refused.
constexpr int kAcceptedTextRole = Qt::UserRole;

}  // namespace

ConfigListEditor::ConfigListEditor(QListWidget* list, QLineEdit* box, QPushButton* add, QPushButton* remove,
                                   QPushButton* save, QIcon icon, Acceptor typed, Acceptor edited)
    : QObject(list),
      list_(list),
      box_(box),
      add_(add),
      remove_(remove),
      save_(save),
      icon_(std::move(icon)),
      typed_(std::move(typed)),
      edited_(std::move(edited)) {
  list_->setViewMode(QListView::ListMode);
  list_->setFlow(QListView::TopToBottom);
  list_->setWrapping(true);
  list_->setResizeMode(QListView::Adjust);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setEditTriggers(QAbstractItemView::EditKeyPressed);
  list_->setIconSize(QSize(16, 16));
  list_->installEventFilter(this);

  connect(box_, &QLineEdit::textChanged, this, [this](const QString& text) { add_->setEnabled(!text.isEmpty()); });
  connect(box_, &QLineEdit::returnPressed, this, &ConfigListEditor::cmdAdd_Click);
  connect(add_, &QPushButton::clicked, this, &ConfigListEditor::cmdAdd_Click);
  connect(remove_, &QPushButton::clicked, this, &ConfigListEditor::cmdRemove_Click);
  connect(list_, &QListWidget::itemSelectionChanged, this, &ConfigListEditor::refreshRemove);
  connect(list_, &QListWidget::itemChanged, this, &ConfigListEditor::itemChanged);
  add_->setEnabled(false);
  remove_->setEnabled(false);
}

void ConfigListEditor::addItem(const QString& text) {
  const QSignalBlocker blocker(list_);
  auto* item = new QListWidgetItem(icon_, text, list_);
  item->setFlags(item->flags() | Qt::ItemIsEditable);
  item->setData(kAcceptedTextRole, text);
}

void ConfigListEditor::fill(const QStringList& texts) {
  list_->clear();
  for (const QString& text : texts) {
    addItem(text);
  }
  refreshRemove();
}

void ConfigListEditor::append(const QString& text) {
  addItem(text);
  enableSave();
}

QStringList ConfigListEditor::texts() const {
  QStringList all;
  for (int row = 0; row < list_->count(); ++row) {
    all.append(list_->item(row)->data(kAcceptedTextRole).toString());
  }
  return all;
}

void ConfigListEditor::cmdAdd_Click() {
  if (box_->text().isEmpty()) {
    return;
  }
  const std::optional<QString> accepted = typed_(box_->text());
  if (!accepted) {
    box_->setFocus(Qt::OtherFocusReason);
    return;
  }
  append(*accepted);
  box_->clear();
  save_->setFocus(Qt::OtherFocusReason);
}

void ConfigListEditor::cmdRemove_Click() {
  bool removed = false;
  for (int row = list_->count() - 1; row >= 0; --row) {
    if (list_->item(row)->isSelected()) {
      delete list_->takeItem(row);
      removed = true;
    }
  }
  if (removed) {
    enableSave();
    save_->setFocus(Qt::OtherFocusReason);
  }
  refreshRemove();
}

void ConfigListEditor::itemChanged(QListWidgetItem* item) {
  const QString before = item->data(kAcceptedTextRole).toString();
  if (item->text() == before) {
    return;
  }
  const std::optional<QString> accepted = edited_(item->text());
  const QSignalBlocker blocker(list_);
  if (!accepted) {
    item->setText(before);
    return;
  }
  item->setText(*accepted);
  item->setData(kAcceptedTextRole, *accepted);
  enableSave();
  save_->setFocus(Qt::OtherFocusReason);
}

void ConfigListEditor::refreshRemove() {
  remove_->setEnabled(desktop::isListViewItemSelected(*list_) != 0);
}

void ConfigListEditor::enableSave() {
  save_->setEnabled(true);
}

bool ConfigListEditor::eventFilter(QObject* watched, QEvent* event) {
  // The editor of an item in place takes its own keys: a Delete that reaches the list is
  // meant for the selected items.
  if (watched == list_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
    cmdRemove_Click();
    return true;
  }
  return false;
}

}  // namespace orv::editors
