#include "editors/config_number_box.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include <utility>

namespace orv::editors {

NumberBoxKeys::NumberBoxKeys(QLineEdit* box, QPushButton* save, std::function<QString(const QString& text)> checkedText,
                             std::function<QString()> storedText)
    : QObject(box), box_(box), save_(save), checkedText_(std::move(checkedText)), storedText_(std::move(storedText)) {
  box_->installEventFilter(this);
}

void NumberBoxKeys::runCheck() {
  const QString checked = checkedText_(box_->text());
  if (checked != box_->text()) {
    box_->setText(checked);
  }
}

void NumberBoxKeys::focusSaveWhenEnabled() {
  if (save_->isEnabled()) {
    save_->setFocus(Qt::TabFocusReason);
  }
}

bool NumberBoxKeys::eventFilter(QObject* watched, QEvent* event) {
  if (watched != box_) {
    return false;
  }
  if (event->type() == QEvent::FocusOut) {
    runCheck();
    return false;
  }
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      focusSaveWhenEnabled();
      return true;
    }
    if (key == Qt::Key_Escape) {
      const QString stored = storedText_();
      if (stored != box_->text()) {
        box_->setText(stored);
      }
      focusSaveWhenEnabled();
      return true;
    }
  }
  return false;
}

}  // namespace orv::editors
