#pragma once

#include "net/socket_master.h"
#include "platform/deadline.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <type_traits>

namespace orv::net {

// The socket of one connection slot of the server (slot 0 is the listener): a socket
// object whose events it raises again, the request text the engine collects between data
// arrivals, and an idle timer that closes a connection that stays silent.
class usrSocket {
 public:
  usrSocket();
  ~usrSocket();
  usrSocket(const usrSocket&) = delete;
  usrSocket& operator=(const usrSocket&) = delete;

  // The seven socket events; the idle timer raises CloseSck too.
  SocketEvents events;

  int RemotePort() const { return cmSocket->RemotePort(); }
  void setRemotePort(int port) { cmSocket->setRemotePort(port); }
  QString RemoteHost() const { return cmSocket->RemoteHost(); }
  void setRemoteHost(const QString& host) { cmSocket->setRemoteHost(host); }
  // On the listener during ConnectionRequest: the address of the connecting peer.
  QString RemoteHostIP() const { return cmSocket->RemoteHostIP(); }
  int LocalPort() const { return cmSocket->LocalPort(); }
  void setLocalPort(int port) { cmSocket->setLocalPort(port); }
  SocketState State() const { return cmSocket->State(); }
  QString LocalHostName() const { return cmSocket->LocalHostName(); }
  QString LocalIP() const { return cmSocket->LocalIP(); }
  int BytesReceived() const { return cmSocket->BytesReceived(); }
  double BytesSent() const { return cmSocket->BytesSent(); }
  void ResetBytesSent() { cmSocket->ResetBytesSent(); }
  int SocketHandle() const { return cmSocket->SocketHandle(); }
  QString Tag() const { return cmSocket->Tag(); }
  void setTag(const QString& tag) { cmSocket->setTag(tag); }

  // The engine's own text; the component never reads or changes it.
  const QByteArray& HttpReceiverBuffer() const { return httpReceiverBuffer_; }
  void setHttpReceiverBuffer(const QByteArray& text) { httpReceiverBuffer_ = text; }

  void Accept(int requestID) { cmSocket->Accept(requestID); }
  void Bind(std::optional<int> localPort = std::nullopt, const std::optional<QString>& localIP = std::nullopt) {
    cmSocket->Bind(localPort, localIP);
  }
  void CloseSck() { cmSocket->CloseSck(); }
  void Connect(const std::optional<QString>& remoteHost = std::nullopt, std::optional<int> remotePort = std::nullopt) {
    cmSocket->Connect(remoteHost, remotePort);
  }
  int GetData(QByteArray& data, std::optional<int> maxLen = std::nullopt) { return cmSocket->GetData(data, maxLen); }
  int GetData(QString& data, std::optional<int> maxLen = std::nullopt) { return cmSocket->GetData(data, maxLen); }
  template <typename Number>
  requires std::is_arithmetic_v<Number>
  int GetData(Number& data) { return cmSocket->GetData(data); }
  void Listen() { cmSocket->Listen(); }
  int PeekData(QByteArray& data, std::optional<int> maxLen = std::nullopt) { return cmSocket->PeekData(data, maxLen); }
  int PeekData(QString& data, std::optional<int> maxLen = std::nullopt) { return cmSocket->PeekData(data, maxLen); }
  template <typename Number>
  requires std::is_arithmetic_v<Number>
  int PeekData(Number& data) { return cmSocket->PeekData(data); }
  void SendData(const QString& data) { cmSocket->SendData(data); }
  void SendDataB(const QByteArray& data) { cmSocket->SendDataB(data); }

  // (Re)starts the idle timer for HTTP_KEEP_ALIVE_TIMEOUT seconds, read now.
  void StartConnectionTimeoutTimer();
  void StopConnectionTimeoutTimer();
  bool isConnectionTimeoutTimerActive() const { return tmrConnectionTimeout.isActive(); }
  int connectionTimeoutInterval() const { return tmrConnectionTimeout.interval(); }

 private:
  void tmrConnectionTimeout_Timer();

  std::unique_ptr<clsSocketMaster> cmSocket;
  QByteArray httpReceiverBuffer_;
  platform::Deadline tmrConnectionTimeout;
  double bytesSentAtTimerStart_ = 0;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace orv::net
