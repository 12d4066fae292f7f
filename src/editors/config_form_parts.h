#pragma once

#include <QList>
#include <QString>
#include <QStringView>
#include <QUrl>

#include <functional>
#include <initializer_list>

class QEvent;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QVBoxLayout;
class QWidget;

// What the configuration category forms are built from: their texts, their named
// controls, the error box, and the layouts and drops more than one of them has.
namespace orv::editors {

// A text of the configuration forms, named below "CONFIG_FORM/".
QString configText(QStringView name);

// The widget, with the control's name as its objectName.
template <typename Widget>
Widget* named(Widget* widget, const char* name) {
  widget->setObjectName(QLatin1String(name));
  return widget;
}

// The critical box with OK alone, under the program's title.
void showConfigError(const QString& text);

// The keyboard reaches the widgets in the order given.
void setTabChain(std::initializer_list<QWidget*> widgets);

// The frame's widgets one under the other.
QVBoxLayout* stackInFrame(QWidget* frame, std::initializer_list<QWidget*> widgets);

// The label of a field, "<text> :"; the field it is the buddy of takes the text alone as its
// accessible name.
void setFieldLabel(QLabel* label, QStringView name);

// The width of a number box that shows the widest text whole.
int numberBoxWidth(const QWidget& box, QStringView widest);

// The list across the frame, and under it the text box with Add and Remove.
QGridLayout* layOutListFrame(QWidget* frame, QListWidget* list, QLineEdit* box, QPushButton* add, QPushButton* remove);

// The drag and drop of files on a widget of a form, for its event filter: a drag is taken
// when it carries addresses, and a drop of addresses is handed to dropped. True for the
// drag and drop events, which the filter then keeps; false for every other event.
bool filterUrlDrop(QEvent* event, const std::function<void(const QList<QUrl>& urls)>& dropped);

}  // namespace orv::editors
