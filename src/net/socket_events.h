#pragma once

#include "net/socket_errors.h"

#include <QString>

#include <functional>

namespace orv::net {

// The states of a socket (the value 3 is never used).
enum class SocketState : int {
  sckClosed = 0,
  sckOpen = 1,  // bound
  sckListening = 2,
  sckResolvingHost = 4,
  sckHostResolved = 5,
  sckConnecting = 6,
  sckConnected = 7,  // also an accepted connection
  sckClosing = 8,    // the peer closed; received data may still wait
  sckError = 9,
};

// "sckListening" and the like.
QString socketStateName(SocketState state);

// The seven events of a socket, in their order. Each is raised synchronously from inside
// the operation or notification that causes it; a handler may call back into the socket,
// close it or destroy it (the socket touches nothing of itself afterwards). A handler must
// not let a SocketError escape: events run inside the event loop.
struct SocketEvents {
  std::function<void()> CloseSck;
  std::function<void()> Connect;
  std::function<void(int requestID)> ConnectionRequest;
  std::function<void(int bytesTotal)> DataArrival;
  std::function<void(SocketErrorEventArgs& error)> Error;
  std::function<void()> SendComplete;
  std::function<void(int bytesSent, int bytesRemaining)> SendProgress;
};

}  // namespace orv::net
