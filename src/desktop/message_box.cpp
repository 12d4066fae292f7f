#include "desktop/message_box.h"

#include "core/app_info.h"

#include <QApplication>
#include <QMessageBox>

#include <utility>

namespace orv::desktop {
namespace {

MessageBoxAnswerer& installedAnswerer() {
  static MessageBoxAnswerer answerer;
  return answerer;
}

bool hasScreen() {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    return false;
  }
  const QString platform = QGuiApplication::platformName();
  return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

MessageAnswer defaultAnswer(const MessageBoxRequest& request) {
  return request.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
}

QMessageBox::Icon boxIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Critical:
      return QMessageBox::Critical;
    case MessageIcon::Question:
      return QMessageBox::Question;
    case MessageIcon::Exclamation:
      return QMessageBox::Warning;
    case MessageIcon::Information:
      return QMessageBox::Information;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

void setMessageBoxAnswerer(MessageBoxAnswerer answerer) {
  installedAnswerer() = std::move(answerer);
}

MessageAnswer showMessageBox(const MessageBoxRequest& request) {
  if (const MessageBoxAnswerer& answerer = installedAnswerer()) {
    return answerer(request);
  }
  if (!hasScreen()) {
    return defaultAnswer(request);
  }
  const QString title = request.title.isEmpty() ? core::applicationTitle() : request.title;
  const bool question = request.buttons == MessageButtons::YesNo;
  QMessageBox box(boxIcon(request.icon), title, request.text,
                  question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
  box.setDefaultButton(question ? QMessageBox::No : QMessageBox::Ok);
  switch (box.exec()) {
    case QMessageBox::Yes:
      return MessageAnswer::Yes;
    case QMessageBox::No:
      return MessageAnswer::No;
    default:
      return question ? MessageAnswer::No : MessageAnswer::Ok;
  }
}

}  // namespace orv::desktop
