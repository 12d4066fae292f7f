#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QListWidget;
class QListWidgetItem;
class QLineEdit;
class QPushButton;

// The list handling that the local path exclusions and the IP filters categories share: a
// list of texts with a text box, Add and Remove. Enter in the box adds, Delete in the list
// removes every selected item, F2 edits the current item in place; Add is offered while the
// box holds text, Remove while an item is selected. Every change of the list enables Save.
namespace orv::editors {

class ConfigListEditor : public QObject {
  Q_OBJECT

 public:
  // What a typed or edited text becomes in the list; nothing refuses it (the function says
  // why itself, when it should).
  using Acceptor = std::function<std::optional<QString>(const QString& text)>;

  // The editor wires the widgets the form made and lives as long as the list.
  ConfigListEditor(QListWidget* list, QLineEdit* box, QPushButton* add, QPushButton* remove, QPushButton* save,
                   QIcon icon, Acceptor typed, Acceptor edited);

  // Fills the list (at load); Save keeps its state.
  void fill(const QStringList& texts);
  // Appends an item, enables Save.
  void append(const QString& text);
  QStringList texts() const;

  void cmdAdd_Click();
  void cmdRemove_Click();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void addItem(const QString& text);
  void itemChanged(QListWidgetItem* item);
  void refreshRemove();
  void enableSave();

  QListWidget* list_;
  QLineEdit* box_;
  QPushButton* add_;
  QPushButton* remove_;
  QPushButton* save_;
  QIcon icon_;
  Acceptor typed_;
  Acceptor edited_;
};

}  // namespace orv::editors
