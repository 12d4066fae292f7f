#include "editors/config_form_parts.h"

#include "core/app_info.h"
#include "core/language.h"
#include "desktop/message_box.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QVBoxLayout>

namespace orv::editors {

QString configText(QStringView name) {
  return core::gLanguage.text(QStringLiteral("CONFIG_FORM/") + name.toString());
}

void showConfigError(const QString& text) {
  desktop::showMessageBox(
      {text, core::applicationTitle(), desktop::MessageIcon::Critical, desktop::MessageButtons::Ok});
}

void setTabChain(std::initializer_list<QWidget*> widgets) {
  QWidget* previous = nullptr;
  for (QWidget* next : widgets) {
    if (previous != nullptr) {
      QWidget::setTabOrder(previous, next);
    }
    previous = next;
  }
}

QVBoxLayout* stackInFrame(QWidget* frame, std::initializer_list<QWidget*> widgets) {
  auto* stack = new QVBoxLayout(frame);
  for (QWidget* widget : widgets) {
    stack->addWidget(widget);
  }
  return stack;
}

void setFieldLabel(QLabel* label, QStringView name) {
  label->setText(configText(name) + QStringLiteral(" :"));
  if (label->buddy() != nullptr) {
    label->buddy()->setAccessibleName(configText(name));
  }
}

int numberBoxWidth(const QWidget& box, QStringView widest) {
  return box.fontMetrics().horizontalAdvance(widest.toString()) + 12;
}

QGridLayout* layOutListFrame(QWidget* frame, QListWidget* list, QLineEdit* box, QPushButton* add, QPushButton* remove) {
  auto* grid = new QGridLayout(frame);
  grid->addWidget(list, 0, 0, 1, 3);
  grid->addWidget(box, 1, 0);
  grid->addWidget(add, 1, 1);
  grid->addWidget(remove, 1, 2);
  grid->setColumnStretch(0, 1);
  return grid;
}

bool filterUrlDrop(QEvent* event, const std::function<void(const QList<QUrl>& urls)>& dropped) {
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (drag->mimeData()->hasUrls()) {
        drag->acceptProposedAction();
      } else {
        drag->ignore();
      }
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      if (drop->mimeData()->hasUrls()) {
        drop->acceptProposedAction();
        dropped(drop->mimeData()->urls());
      }
      return true;
    }
    default:
      return false;
  }
}

}  // namespace orv::editors
