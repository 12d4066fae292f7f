#include "platform/message_window.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHash>
#include <QMetaObject>

#include <unordered_map>
#include <utility>

namespace orv::platform {
namespace {

struct WindowRegistry {
  std::unordered_map<int, MessageWindow*> windows;
  int lastHandle = 0;
};

WindowRegistry& registry() {
  static WindowRegistry instance;
  return instance;
}

}  // namespace

MessageWindow::MessageWindow(QString className, QString windowName)
    : handle_(++registry().lastHandle),
      className_(std::move(className)),
      windowName_(std::move(windowName)),
      procedure_(defaultWindowProcedure) {
  registry().windows.emplace(handle_, this);
}

MessageWindow::~MessageWindow() {
  registry().windows.erase(handle_);
}

WindowProcedure MessageWindow::setProcedure(WindowProcedure procedure) {
  return std::exchange(procedure_, std::move(procedure));
}

MessageWindow* findMessageWindow(int handle) {
  const auto& windows = registry().windows;
  const auto it = windows.find(handle);
  return it == windows.end() ? nullptr : it->second;
}

qintptr defaultWindowProcedure(unsigned /*message*/, quintptr /*wParam*/, qintptr /*lParam*/) {
  return 0;
}

qintptr callWindowProcedure(const WindowProcedure& procedure, unsigned message, quintptr wParam, qintptr lParam) {
  return procedure ? procedure(message, wParam, lParam) : defaultWindowProcedure(message, wParam, lParam);
}

qintptr sendMessage(int handle, unsigned message, quintptr wParam, qintptr lParam) {
  MessageWindow* window = findMessageWindow(handle);
  if (window == nullptr) {
    return 0;
  }
  // A copy, so that the procedure may destroy the window or replace itself while it runs.
  const WindowProcedure procedure = window->procedure();
  return callWindowProcedure(procedure, message, wParam, lParam);
}

bool postMessage(int handle, unsigned message, quintptr wParam, qintptr lParam) {
  QCoreApplication* loop = QCoreApplication::instance();
  if (loop == nullptr || findMessageWindow(handle) == nullptr) {
    return false;
  }
  return QMetaObject::invokeMethod(
      loop, [handle, message, wParam, lParam] { sendMessage(handle, message, wParam, lParam); }, Qt::QueuedConnection);
}

unsigned registerWindowMessage(const QString& name) {
  static QHash<QString, unsigned> numbers;
  const QString key = name.toCaseFolded();
  if (const auto it = numbers.constFind(key); it != numbers.cend()) {
    return *it;
  }
  const int number = QEvent::registerEventType();
  if (number < 0) {
    return 0;
  }
  numbers.insert(key, static_cast<unsigned>(number));
  return static_cast<unsigned>(number);
}

}  // namespace orv::platform
