#include "net/send_complete_pump.h"

#include "core/debug_log.h"
#include "net/socket_errors.h"
#include "platform/message_loop.h"
#include "platform/message_window.h"

#include <exception>
#include <memory>
#include <utility>

namespace orv::net::modSubClsCustWinMsg {
namespace {

struct PumpState {
  std::unique_ptr<platform::MessageWindow> window;
  unsigned message = 0;
  platform::WindowProcedure previousProcedure;
  NextBlockHandler nextBlock;
  int depth = 0;  // pump steps running on the stack
};

PumpState& state() {
  static PumpState instance;
  return instance;
}

void logApplication(const QString& message) {
  core::subAddDebugEvent(message, core::DebugEventCategory::Application);
}

void RegisterSendCompleteMessage() {
  state().message = platform::registerWindowMessage(QString::fromUtf16(kSendCompleteMessageName));
}

void CreateCustWinMsg() {
  state().window =
      std::make_unique<platform::MessageWindow>(QStringLiteral("STATIC"), QString::fromUtf16(kCustWinMsgWindowName));
  logApplication(QStringLiteral("OK Created custom messages window ") + QString::number(state().window->handle()));
}

void DestroyCustWinMsg() {
  if (!state().window) {
    return;
  }
  const int handle = state().window->handle();
  state().window.reset();
  logApplication(QStringLiteral("OK Destroyed custom messages window ") + QString::number(handle));
}

void askNextBlock(int index, qintptr lParam) {
  // A copy: the handler may replace itself, and the reader it reaches may be gone.
  const NextBlockHandler handler = state().nextBlock;
  if (!handler) {
    return;
  }
  try {
    handler(index, lParam);
  } catch (const std::exception&) {
    // A reader that went away during the yield fails here; nothing is sent.
  }
}

qintptr WindowProc(unsigned uMsg, quintptr wParam, qintptr lParam) {
  PumpState& pump = state();
  const qintptr result = platform::callWindowProcedure(pump.previousProcedure, uMsg, wParam, lParam);
  if (uMsg != pump.message || pump.message == 0 || wParam == 0) {
    return result;
  }
  const int index = static_cast<qint16>(wParam);
  if (pump.depth > 0) {
    // A block that completed inside the step that handed it over: the next step runs
    // from the loop, after this one has unwound.
    if (pump.window) {
      platform::postMessage(pump.window->handle(), uMsg, wParam, lParam);
    }
    return result;
  }
  ++pump.depth;
  struct DepthMark {
    ~DepthMark() { --state().depth; }
  } mark;
  platform::yieldToMessageLoop();
  askNextBlock(index, lParam);
  return result;
}

}  // namespace

void setNextBlockHandler(NextBlockHandler handler) {
  state().nextBlock = std::move(handler);
}

void HookCustWinMsg() {
  PumpState& pump = state();
  if (pump.window) {
    return;
  }
  RegisterSendCompleteMessage();
  CreateCustWinMsg();
  pump.previousProcedure = pump.window->setProcedure(WindowProc);
}

void UnhookCustWinMsg() {
  PumpState& pump = state();
  if (!pump.window) {
    return;
  }
  pump.window->setProcedure(std::exchange(pump.previousProcedure, platform::WindowProcedure()));
  DestroyCustWinMsg();
}

int getCustWinMsgWindow() {
  return state().window ? state().window->handle() : 0;
}

unsigned getSendCompleteMessage() {
  return state().window ? state().message : 0;
}

bool SendCompleteMessage(int index, qintptr lParam) {
  const int window = getCustWinMsgWindow();
  if (window == 0 || index == 0) {
    return false;
  }
  platform::sendMessage(window, state().message, static_cast<quintptr>(index), lParam);
  return true;
}

}  // namespace orv::net::modSubClsCustWinMsg
