#pragma once

#include "core/keyed_list.h"
#include "net/socket_errors.h"
#include "net/socket_events.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <type_traits>

namespace orv::net {

class usrSocket;

// One non-blocking IPv4 TCP socket. It never waits: every notification of the platform
// reaches it through the socket window, and it answers with state changes and events.
// Misuse and failures of the library in a call are thrown as SocketError; failures met
// while a notification is handled are reported through the Error event.
class clsSocketMaster {
 public:
  clsSocketMaster();
  ~clsSocketMaster();
  clsSocketMaster(const clsSocketMaster&) = delete;
  clsSocketMaster& operator=(const clsSocketMaster&) = delete;

  SocketEvents events;

  // Entry from the socket window; answers 0.
  qintptr WndProc(int hWnd, unsigned uMsg, quintptr wParam, qintptr lParam);

  int RemotePort() const { return remotePort_; }
  void setRemotePort(int port);
  QString RemoteHost() const { return remoteHost_; }
  void setRemoteHost(const QString& host);
  QString RemoteHostIP() const { return remoteHostIP_; }
  // The bound port when known, else the one asked for.
  int LocalPort() const {
    ReadPendingLocalEndpoint();
    return boundPort_ != 0 ? boundPort_ : localPort_;
  }
  void setLocalPort(int port);
  SocketState State() const { return state_; }
  QString LocalHostName() const;
  QString LocalIP() const;
  int BytesReceived() const { return static_cast<int>(receiveBuffer_.size()); }
  double BytesSent() const { return bytesSent_; }
  void ResetBytesSent() { bytesSent_ = 0; }
  int SocketHandle() const { return socketHandle_; }
  QString Tag() const { return tag_; }
  void setTag(const QString& tag) { tag_ = tag; }

  void CloseSck();
  void Connect(const std::optional<QString>& remoteHost = std::nullopt, std::optional<int> remotePort = std::nullopt);
  void Bind(std::optional<int> localPort = std::nullopt, const std::optional<QString>& localIP = std::nullopt);
  void SendDataB(const QByteArray& data);
  void SendData(const QString& data);  // the text's bytes in the system code page

  // Takes received data out of the buffer (GetData) or copies it (PeekData); returns the
  // count of bytes. Text is read through the system code page; a number takes its size in
  // bytes, little-endian, or nothing while fewer are waiting.
  int GetData(QByteArray& data, std::optional<int> maxLen = std::nullopt);
  int GetData(QString& data, std::optional<int> maxLen = std::nullopt);
  template <typename Number>
  requires std::is_arithmetic_v<Number>
  int GetData(Number& data) {
    checkCanGet(QStringLiteral("clsSocketMaster.GetData"));
    return RecvNumber(data, false);
  }
  int PeekData(QByteArray& data, std::optional<int> maxLen = std::nullopt);
  int PeekData(QString& data, std::optional<int> maxLen = std::nullopt);
  template <typename Number>
  requires std::is_arithmetic_v<Number>
  int PeekData(Number& data) {
    checkCanPeek(QStringLiteral("clsSocketMaster.PeekData"));
    return RecvNumber(data, true);
  }

  void Listen();
  // Takes over a connection accepted by a listener, normally inside its ConnectionRequest.
  void Accept(int requestID);

 private:
  friend class usrSocket;

  // Connections the system completes while the loop has not accepted them yet. A backlog of
  // 5 drops the rest of a burst (a browser alone opens six at once), and each dropped one
  // waits for its retransmission: 1 s, then 3 s, then 7 s.
  static constexpr int kListenBacklog = 511;

  void DestroySocket();
  bool SocketExists();
  void PostHostResolution(int lookupHandle, int error);
  void PostSocket(int event, int error);
  void ConnectToIP(quint32 address, int error);
  bool BindInternal(std::optional<int> localPort = std::nullopt, const std::optional<QString>& localIP = std::nullopt);
  void AllocateResolutionMemory();
  void FreeResolutionMemory();
  QString GetLocalHostName() const;
  QString GetLocalIP() const;
  // The address, or nothing while a lookup is in flight (or could not start).
  std::optional<quint32> ResolveIfHostname(const QString& host);
  quint32 GetHostAddress(const QString& host) const;
  int GetBoundPort() const;
  void SendBufferedData();
  // Tells the bytes the platform took, in one call or several, as the pieces of the send
  // loop, with their progress events; false when a handler destroyed this object or closed it.
  bool ReportSentPieces(qint64 sent);
  int RecvDataToBuffer();
  void ProcessOptions();
  // ProcessOptions for a connection whose accept holder already applied the options: with
  // the same tuning, the holder's results stand, without setting and reading them again.
  void TakeOptionsOf(const clsSocketMaster& holder);
  void LogBufferSizes() const;
  int RecvData(QByteArray& data, bool peek, std::optional<int> maxLen);
  QByteArray TakeFromRecvBuffer(int count, bool peek);
  void CancelPendingResolutions();
  void ReadLocalEndpoint(int socket) const;
  // An accepted connection learns its local end when it is first asked for: few requests
  // need it, and a listener on every interface cannot tell it without asking the system.
  void ReadPendingLocalEndpoint() const {
    if (localEndpointPending_) {
      ReadLocalEndpoint(socketHandle_);
    }
  }
  void ReadRemoteEndpoint(int socket);

  void PostAccept();
  void SetState(SocketState state);
  // Reports a failure through the Error event. A connection that fails is also reported
  // closed (once), so that its owner frees it whatever the error was. False when a handler
  // destroyed this object.
  // The caller sets the state first.
  bool ReportError(int number, const QString& source);
  void checkCanGet(const QString& source) const;
  void checkCanPeek(const QString& source) const;
  void checkMaxLen(std::optional<int>& maxLen, const QString& source) const;
  qsizetype BytesQueued() const { return sendBuffer_.size() - sendOffset_; }

  // Raises an event through a copy of its handler, so that the handler may destroy this
  // object; false when it did.
  template <typename Handler, typename... Args>
  bool raise(const Handler& handler, Args&&... args) {
    if (!handler) {
      return true;
    }
    const std::shared_ptr<bool> alive = alive_;
    const Handler copy = handler;
    copy(std::forward<Args>(args)...);
    return *alive;
  }

  template <typename Number>
  int RecvNumber(Number& data, bool peek) {
    // The sizes of the matching Visual Basic types: a Boolean takes two bytes.
    constexpr int size = std::is_same_v<Number, bool> ? 2 : static_cast<int>(sizeof(Number));
    if (receiveBuffer_.size() < size) {
      return 0;
    }
    const QByteArray bytes = TakeFromRecvBuffer(size, peek);
    if constexpr (std::is_same_v<Number, bool>) {
      data = bytes.at(0) != 0 || bytes.at(1) != 0;
    } else {
      std::array<unsigned char, sizeof(Number)> raw{};
      for (int i = 0; i < size; ++i) {
        raw[static_cast<std::size_t>(i)] = static_cast<unsigned char>(bytes.at(i));
      }
      data = fromLittleEndian<Number>(raw);
    }
    return size;
  }

  template <typename Number>
  static Number fromLittleEndian(const std::array<unsigned char, sizeof(Number)>& raw) {
    using Bits = std::conditional_t<
        sizeof(Number) == 8, quint64,
        std::conditional_t<sizeof(Number) == 4, quint32, std::conditional_t<sizeof(Number) == 2, quint16, quint8>>>;
    Bits bits = 0;
    for (std::size_t i = sizeof(Number); i-- > 0;) {
      bits = static_cast<Bits>((bits << 8) | raw[i]);
    }
    Number value{};
    static_assert(sizeof(Bits) == sizeof(Number));
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

  int socketHandle_ = -1;
  SocketState state_ = SocketState::sckClosed;
  QString remoteHost_;
  int remotePort_ = 0;
  QString remoteHostIP_;
  int localPort_ = 0;                          // asked for
  mutable int boundPort_ = 0;                  // learnt from the platform
  mutable QString localIP_;                    // cached while connected
  mutable bool localEndpointPending_ = false;  // connected, its local end not read yet
  std::unique_ptr<std::array<char, 1024>> resolution_;
  int sendBufferSize_ = 0;     // as the platform reports it
  int receiveBufferSize_ = 0;  // as the platform reports it; also the size of each read
  int maxSend_ = 8192;
  // The tuning values ProcessOptions applied to the socket (see TakeOptionsOf).
  std::optional<std::array<int, 7>> appliedOptions_;
  // The bytes waiting to be sent start at sendOffset_, so that sending a large buffer in
  // pieces does not move the rest each time.
  QByteArray sendBuffer_;
  qsizetype sendOffset_ = 0;
  QByteArray receiveBuffer_;  // one character per received byte
  QByteArray readScratch_;
  double bytesSent_ = 0;
  bool acceptHolder_ = false;
  core::KeyedList<int> pendingLookups_;  // keyed by the handle and "R"
  QString tag_;

  bool connectionMade_ = false;  // connected or accepted since the socket was made
  bool closeReported_ = false;   // CloseSck was raised for the current connection
  bool sending_ = false;         // inside SendBufferedData
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace orv::net
