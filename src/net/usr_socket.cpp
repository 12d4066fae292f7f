#include "net/usr_socket.h"

#include "core/configuration.h"

#include <algorithm>
#include <cmath>

namespace orv::net {
namespace {

// Raises an event of the component through a copy of its handler; false when the
// handler destroyed the component.
template <typename Handler, typename... Args>
bool raiseAgain(const std::shared_ptr<bool>& aliveFlag, const Handler& handler, Args&&... args) {
  if (!handler) {
    return true;
  }
  const std::shared_ptr<bool> alive = aliveFlag;
  const Handler copy = handler;
  copy(std::forward<Args>(args)...);
  return *alive;
}

}  // namespace

usrSocket::usrSocket() : cmSocket(std::make_unique<clsSocketMaster>()) {
  tmrConnectionTimeout.setAction([this] { tmrConnectionTimeout_Timer(); });

  SocketEvents& inner = cmSocket->events;
  inner.CloseSck = [this] { raiseAgain(alive_, events.CloseSck); };
  inner.Connect = [this] { raiseAgain(alive_, events.Connect); };
  inner.ConnectionRequest = [this](int requestID) { raiseAgain(alive_, events.ConnectionRequest, requestID); };
  inner.DataArrival = [this](int bytesTotal) { raiseAgain(alive_, events.DataArrival, bytesTotal); };
  // The handler works on the socket's own arguments, so the description and the display
  // choice it leaves go back to the socket.
  inner.Error = [this](SocketErrorEventArgs& error) { raiseAgain(alive_, events.Error, error); };
  inner.SendComplete = [this] { raiseAgain(alive_, events.SendComplete); };
  inner.SendProgress = [this](int bytesSent, int bytesRemaining) {
    raiseAgain(alive_, events.SendProgress, bytesSent, bytesRemaining);
  };
}

usrSocket::~usrSocket() {
  *alive_ = false;
}

void usrSocket::StartConnectionTimeoutTimer() {
  tmrConnectionTimeout.stop();
  // Halves to even, as every whole number the tuning parameters make.
  const double milliseconds = std::nearbyint(core::gConfiguration.AdvancedParameters.HTTP_KEEP_ALIVE_TIMEOUT * 1000.0);
  tmrConnectionTimeout.setInterval(static_cast<int>(std::max(milliseconds, 1.0)));
  bytesSentAtTimerStart_ = cmSocket->BytesSent();
  tmrConnectionTimeout.start();
}

void usrSocket::StopConnectionTimeoutTimer() {
  tmrConnectionTimeout.stop();
}

void usrSocket::tmrConnectionTimeout_Timer() {
  tmrConnectionTimeout.stop();
  // A response still leaving is not idleness: wait another interval as long as each one
  // moves data. That holds between two blocks of a file too, when nothing is queued for
  // the moment because the next block is still on its way. A peer that takes nothing for a
  // whole interval is closed like any silent one. (The total is compared for a change, not
  // a rise: a new response sets it back to 0 when it starts.)
  const double sent = cmSocket->BytesSent();
  if (sent != bytesSentAtTimerStart_) {
    bytesSentAtTimerStart_ = sent;
    tmrConnectionTimeout.start();
    return;
  }
  raiseAgain(alive_, events.CloseSck);
}

}  // namespace orv::net
