#include "net/socket_log.h"
#include "net/socket_master.h"
#include "net/socket_registry.h"
#include "platform/async_socket.h"
#include "platform/winsock_errors.h"

#include <memory>

namespace orv::net {
namespace {

SocketError wrongState(const QString& source) {
  return SocketError(kErrWrongState, QString::fromUtf16(kTextWrongState), source);
}

}  // namespace

qintptr clsSocketMaster::WndProc(int /*hWnd*/, unsigned uMsg, quintptr wParam, qintptr lParam) {
  try {
    if (uMsg == modSocketMaster::kLookupCompleteMessage) {
      PostHostResolution(static_cast<int>(wParam), modSocketMaster::HiWord(lParam));
    } else if (uMsg == modSocketMaster::kSocketMessage) {
      PostSocket(modSocketMaster::LoWord(lParam), modSocketMaster::HiWord(lParam));
    }
  } catch (const SocketError& failure) {
    // A failure raised while a notification is handled ends its handling; the platform
    // gets no error.
    logSocketEvent([&] { return QStringLiteral("ERROR ") + QString::fromLocal8Bit(failure.what()); });
  }
  return 0;
}

void clsSocketMaster::PostSocket(int event, int error) {
  if (error != 0) {
    // A listener's notification error concerns one connection, not the listener.
    if (state_ != SocketState::sckListening) {
      SetState(SocketState::sckError);
    }
    ReportError(error, QStringLiteral("clsSocketMaster.PostSocket"));
    return;
  }
  const int socket = socketHandle_;
  const auto logEvent = [socket](const char* name) {
    logSocketEvent([&] { return QLatin1String(name) + QString::number(socket); });
  };
  switch (event) {
    case platform::kFdRead: {
      logEvent("FD_READ ");
      if (state_ != SocketState::sckConnected) {
        logSocketEvent(QStringLiteral("WARNING: Omitting FD_READ"));
        return;
      }
      int received = 0;
      try {
        received = RecvDataToBuffer();
      } catch (const SocketError& failure) {
        // The connection broke while reading: report it like any other failure, so that
        // its owner frees it.
        ReportError(failure.Number(), failure.Source());
        return;
      }
      if (received > 0) {
        raise(events.DataArrival, BytesReceived());
      }
      return;
    }
    case platform::kFdWrite:
      logEvent("FD_WRITE ");
      if (state_ != SocketState::sckConnected) {
        logSocketEvent(QStringLiteral("WARNING: Omitting FD_WRITE"));
        return;
      }
      if (BytesQueued() > 0) {
        SendBufferedData();
      }
      return;
    case platform::kFdAccept:
      logEvent("FD_ACCEPT ");
      if (state_ != SocketState::sckListening) {
        logSocketEvent(QStringLiteral("WARNING: Omitting FD_ACCEPT"));
        return;
      }
      PostAccept();
      return;
    case platform::kFdConnect:
      logEvent("FD_CONNECT ");
      if (state_ != SocketState::sckConnecting) {
        logSocketEvent(QStringLiteral("WARNING: Omitting FD_CONNECT"));
        return;
      }
      ReadLocalEndpoint(socketHandle_);
      ReadRemoteEndpoint(socketHandle_);
      connectionMade_ = true;
      SetState(SocketState::sckConnected);
      raise(events.Connect);
      return;
    case platform::kFdClose:
      logEvent("FD_CLOSE ");
      if (state_ != SocketState::sckConnected) {
        logSocketEvent(QStringLiteral("WARNING: Omitting FD_CLOSE"));
        return;
      }
      SetState(SocketState::sckClosing);
      closeReported_ = true;
      raise(events.CloseSck);
      return;
    default:
      return;
  }
}

void clsSocketMaster::PostAccept() {
  const int accepted = platform::acceptSocket(socketHandle_, nullptr, nullptr);
  if (accepted == platform::kInvalidSocket) {
    const int error = platform::lastSocketError();
    if (error == platform::kWsaEwouldblock || error == platform::kWsaEconnaborted) {
      // The connection went away before it was taken (a reset while it waited): nothing
      // failed that the listener's owner could act on.
      logSocketEvent(
          [error] { return QStringLiteral("WARNING: Connection gone before accept: ") + QString::number(error); });
      return;
    }
    // One failed accept (out of descriptors, an aborted connection) leaves the listener
    // listening: the next connection may well succeed.
    ReportError(error, QStringLiteral("clsSocketMaster.PostSocket"));
    return;
  }
  try {
    modSocketMaster::AddAcceptedSocket(accepted);
  } catch (const SocketError& failure) {
    // The holder that could not take the connection has closed it.
    ReportError(failure.Number(), QStringLiteral("clsSocketMaster.PostSocket"));
    return;
  }
  const int savedPort = remotePort_;
  const QString savedIP = remoteHostIP_;
  const QString savedHost = remoteHost_;
  remoteHost_.clear();
  ReadRemoteEndpoint(accepted);
  logSocketEvent([accepted] { return QStringLiteral("OK Accepted socket: ") + QString::number(accepted); });
  const bool alive = raise(events.ConnectionRequest, accepted);
  if (alive && state_ == SocketState::sckListening) {
    remotePort_ = savedPort;
    remoteHostIP_ = savedIP;
    remoteHost_ = savedHost;
  }
  if (modSocketMaster::IsAcceptedSocketPending(accepted)) {
    // Nobody took it.
    platform::closeSocket(accepted);
    modSocketMaster::UnregisterSocket(accepted);
    modSocketMaster::RemoveAcceptedSocket(accepted);
    logSocketEvent([accepted] { return QStringLiteral("OK Closed accepted socket: ") + QString::number(accepted); });
  }
}

void clsSocketMaster::Accept(int requestID) {
  if (state_ != SocketState::sckClosed) {
    throw SocketError(kErrInvalidOperation, QString::fromUtf16(kTextInvalidOperation),
                      QStringLiteral("clsSocketMaster.Accept"));
  }
  socketHandle_ = requestID;
  closeReported_ = false;
  // The holder that waits with the connection applied the options to it a moment ago.
  const std::shared_ptr<clsSocketMaster> holder = modSocketMaster::GetAcceptedSocketObject(requestID);
  if (holder != nullptr) {
    TakeOptionsOf(*holder);
  } else {
    ProcessOptions();
  }
  if (!modSocketMaster::IsAcceptedSocketPending(requestID)) {
    if (modSocketMaster::IsSocketInCollection(requestID)) {
      socketHandle_ = -1;
      sendBufferSize_ = 0;
      receiveBufferSize_ = 0;
      throw wrongState(QStringLiteral("clsSocketMaster.Accept"));
    }
    // This object holds the connection until its owner takes it; the listener's
    // notification request already covers the socket.
    acceptHolder_ = true;
    connectionMade_ = true;
    SetState(SocketState::sckConnected);
    localEndpointPending_ = true;
    modSocketMaster::RegisterSocket(requestID, this, false);
    return;
  }
  // The holder is kept until the end: it goes with the last reference.
  modSocketMaster::RemoveAcceptedSocket(requestID);
  if (holder != nullptr && holder->socketHandle_ == requestID) {
    // The local end of a connection never changes: what the holder knows of it stands.
    boundPort_ = holder->boundPort_;
    localIP_ = holder->localIP_;
    localEndpointPending_ = holder->localEndpointPending_;
  } else {
    localEndpointPending_ = true;
  }
  ReadRemoteEndpoint(requestID);
  connectionMade_ = true;
  SetState(SocketState::sckConnected);
  if (holder != nullptr && holder->BytesReceived() > 0) {
    QByteArray waiting;
    holder->GetData(waiting);
    receiveBuffer_.append(waiting);
  }
  modSocketMaster::RepointSocket(requestID, this);
  if (!receiveBuffer_.isEmpty() && !raise(events.DataArrival, BytesReceived())) {
    return;
  }
  if (holder != nullptr && (holder->State() == SocketState::sckClosing || holder->State() == SocketState::sckError) &&
      state_ == SocketState::sckConnected && !closeReported_) {
    SetState(SocketState::sckClosing);
    closeReported_ = true;
    raise(events.CloseSck);
  }
}

}  // namespace orv::net
