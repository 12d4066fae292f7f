#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPoint>
#include <QString>
#include <QWidget>

// Clicks and keys delivered to a widget as the window system delivers them, for the widget
// tests of the editors.
namespace widget_input {

inline void mouseClick(QWidget* widget, QPoint at = {}, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  if (at.isNull()) {
    at = widget->rect().center();
  }
  const QPointF local(at);
  const QPointF global(widget->mapToGlobal(at));
  QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, modifiers);
  QApplication::sendEvent(widget, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, modifiers);
  QApplication::sendEvent(widget, &release);
}

inline void keyClick(QWidget* widget, int key, const QString& text = {}) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QApplication::sendEvent(widget, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QApplication::sendEvent(widget, &release);
}

// Types the text character by character.
inline void keyClicks(QWidget* widget, const QString& text) {
  for (const QChar character : text) {
    keyClick(widget, character.isLetterOrNumber() ? int{character.toUpper().unicode()} : int{Qt::Key_unknown},
             character);
  }
}

}  // namespace widget_input
