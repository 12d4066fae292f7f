#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

// Hidden message windows: a handle (a number, never reused in a run) with a replaceable
// window procedure. Sent messages call the procedure at once; posted messages are
// delivered later by the event loop, and dropped when the window is gone by then.
namespace orv::platform {

using WindowProcedure = std::function<qintptr(unsigned message, quintptr wParam, qintptr lParam)>;

class MessageWindow {
 public:
  // A window of the given class and name, with the default procedure (which answers 0).
  MessageWindow(QString className, QString windowName);
  ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  int handle() const { return handle_; }
  const QString& className() const { return className_; }
  const QString& windowName() const { return windowName_; }

  // Installs a procedure and returns the one it replaces, which the new procedure may
  // call for the messages it does not handle (see callWindowProcedure).
  WindowProcedure setProcedure(WindowProcedure procedure);
  const WindowProcedure& procedure() const { return procedure_; }

 private:
  int handle_;
  QString className_;
  QString windowName_;
  WindowProcedure procedure_;
};

// The window of that handle, or nullptr.
MessageWindow* findMessageWindow(int handle);

// What a window does with a message nobody handles: nothing, answering 0.
qintptr defaultWindowProcedure(unsigned message, quintptr wParam, qintptr lParam);

// Calls a procedure kept from an earlier setProcedure; an empty one acts as the default.
qintptr callWindowProcedure(const WindowProcedure& procedure, unsigned message, quintptr wParam, qintptr lParam);

// Calls the window's procedure now and returns its answer; 0 when there is no such window.
// The procedure may destroy its own window.
qintptr sendMessage(int handle, unsigned message, quintptr wParam, qintptr lParam);

// Queues the message for the window; the event loop delivers it later, in posting order.
// False when there is no such window.
bool postMessage(int handle, unsigned message, quintptr wParam, qintptr lParam);

// One message number per name for the run (names compared ignoring case); 0 when the
// numbers are exhausted.
unsigned registerWindowMessage(const QString& name);

}  // namespace orv::platform
