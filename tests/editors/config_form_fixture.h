#pragma once

// What the tests of the configuration category forms share: the category's form shown and
// active, its controls found by name, typing into a box, the rows of a list, files dropped,
// and a Save into a folder that cannot be written.

#include "editors_fixture.h"
#include "support/event_loop.h"
#include "support/file_permissions.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTest>

#include <memory>

// Shows the widget and waits until it is the active window.
inline void showActive(QWidget& widget) {
  widget.show();
  widget.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&widget));
}

template <typename Widget>
Widget* childNamed(const QWidget& parent, const char* name) {
  auto* found = parent.findChild<Widget*>(QLatin1String(name));
  EXPECT_NE(found, nullptr) << name;
  return found;
}

// Types into a box that has the focus, in place of its text, as a user does.
inline void typeInto(QLineEdit* box, const QString& text) {
  box->setFocus();
  box->selectAll();
  if (text.isEmpty()) {
    QTest::keyClick(box, Qt::Key_Backspace);
  }
  QTest::keyClicks(box, text);
}

// The texts of the list's rows, top to bottom.
inline QStringList listTexts(const QListWidget& list) {
  QStringList texts;
  for (int row = 0; row < list.count(); ++row) {
    texts.append(list.item(row)->text());
  }
  return texts;
}

// A click in the middle of the row.
inline void clickListRow(QListWidget* list, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, list->visualItemRect(list->item(row)).center());
}

// The row clicked and edited in place: F2, its text replaced, Enter.
inline void editListRow(QListWidget* list, int row, const QString& text) {
  clickListRow(list, row);
  QTest::keyClick(list, Qt::Key_F2);
  auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  QTest::keyClick(editor, Qt::Key_Backspace);
  QTest::keyClicks(editor, text);
  QTest::keyClick(editor, Qt::Key_Return);
  processPendingEvents();  // the delegate hands the text over through the event loop
}

// Files dragged over the widget and dropped there; the drag must be taken.
inline void dropUrls(QWidget* target, const QList<QUrl>& urls) {
  QMimeData data;
  data.setUrls(urls);
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &dropped);
}

// The values of a stored list of the record (addresses, exclusions), in order.
template <typename Collection>
QStringList storedValues(const Collection& collection) {
  QStringList texts;
  for (const auto& entry : collection) {
    texts.append(entry.value);
  }
  return texts;
}

// A click on the button while the folder can be read but not written, even by root; the
// folder is writable again afterwards.
inline void clickWithFolderReadOnly(QPushButton* button, const QString& folder) {
  ASSERT_TRUE(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
  {
    const ObeyFilePermissions obey;
    ASSERT_TRUE(obey.binding());
    QTest::mouseClick(button, Qt::LeftButton);
  }
  ASSERT_TRUE(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
}

// A test of one category's form: form_ is made, sized and shown by showForm.
template <typename Form>
class ConfigFormTest : public EditorsTest {
 protected:
  void TearDown() override {
    form_.reset();
    EditorsTest::TearDown();
  }

  // A new form in place of the last, as the panel makes one each time the category is chosen.
  void showForm(int width, int height) {
    form_ = std::make_unique<Form>();
    form_->resize(width, height);
    showActive(*form_);
  }

  template <typename Widget>
  Widget* child(const char* name) const {
    return childNamed<Widget>(*form_, name);
  }

  std::unique_ptr<Form> form_;
};

// A test of a category that edits a list with a text box, Add and Remove.
template <typename Form>
class ConfigListFormTest : public ConfigFormTest<Form> {
 protected:
  void showListForm(int width, int height, const char* list, const char* box, const char* add, const char* remove) {
    ASSERT_NO_FATAL_FAILURE(this->showForm(width, height));
    list_ = this->template child<QListWidget>(list);
    box_ = this->template child<QLineEdit>(box);
    add_ = this->template child<QPushButton>(add);
    remove_ = this->template child<QPushButton>(remove);
    save_ = this->template child<QPushButton>("cmdSaveConfig");
  }

  QStringList shown() const { return listTexts(*list_); }
  void type(const QString& text) { typeInto(box_, text); }
  void clickRow(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) { clickListRow(list_, row, modifiers); }
  void editRow(int row, const QString& text) { editListRow(list_, row, text); }

  QListWidget* list_ = nullptr;
  QLineEdit* box_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* remove_ = nullptr;
  QPushButton* save_ = nullptr;
};
