#include "net/socket_master.h"

#include "net/socket_log.h"
#include "net/socket_registry.h"
#include "platform/async_socket.h"
#include "platform/host_lookup.h"
#include "platform/winsock_errors.h"

#include <cstring>

namespace orv::net {
namespace {

SocketError invalidOperation(const QString& source) {
  return SocketError(kErrInvalidOperation, QString::fromUtf16(kTextInvalidOperation), source);
}

SocketError badArgument(const QString& source) {
  return SocketError(kErrBadArgument, QString::fromUtf16(kTextBadArgument), source);
}

QString lookupKey(int handle) {
  return QString::number(handle) + QLatin1Char('R');
}

}  // namespace

QString socketStateName(SocketState state) {
  switch (state) {
    case SocketState::sckClosed:
      return QStringLiteral("sckClosed");
    case SocketState::sckOpen:
      return QStringLiteral("sckOpen");
    case SocketState::sckListening:
      return QStringLiteral("sckListening");
    case SocketState::sckResolvingHost:
      return QStringLiteral("sckResolvingHost");
    case SocketState::sckHostResolved:
      return QStringLiteral("sckHostResolved");
    case SocketState::sckConnecting:
      return QStringLiteral("sckConnecting");
    case SocketState::sckConnected:
      return QStringLiteral("sckConnected");
    case SocketState::sckClosing:
      return QStringLiteral("sckClosing");
    case SocketState::sckError:
      return QStringLiteral("sckError");
  }
  return QString::number(static_cast<int>(state));
}

clsSocketMaster::clsSocketMaster() {
  modSocketMaster::InitiateProcesses();
}

clsSocketMaster::~clsSocketMaster() {
  *alive_ = false;
  try {
    CancelPendingResolutions();
    if (!acceptHolder_) {
      DestroySocket();
    }
  } catch (const SocketError& failure) {
    logSocketEvent(QStringLiteral("ERROR while destroying socket: ") + QString::fromLocal8Bit(failure.what()));
  }
  // A socket whose close failed, or a lookup that could not be cancelled, must not bring a
  // late message to an object that is gone.
  if (socketHandle_ != -1 && !acceptHolder_) {
    modSocketMaster::UnregisterSocket(socketHandle_);
  }
  modSocketMaster::ForgetOwner(this);
  try {
    modSocketMaster::FinalizeProcesses();
  } catch (const SocketError& failure) {
    logSocketEvent(QStringLiteral("ERROR while finalizing: ") + QString::fromLocal8Bit(failure.what()));
  }
}

void clsSocketMaster::SetState(SocketState state) {
  state_ = state;
  logSocketEvent([state] { return QStringLiteral("STATE: ") + socketStateName(state); });
}

bool clsSocketMaster::ReportError(int number, const QString& source) {
  SocketErrorEventArgs error;
  error.Number = number;
  error.Description = modSocketMaster::GetWinsockErrorText(number);
  error.Source = source;
  if (!raise(events.Error, error)) {
    return false;
  }
  if (!error.CancelDisplay) {
    showSocketError(error.Description, error.Source);
  }
  if (connectionMade_ && !closeReported_ && socketHandle_ != -1 && state_ == SocketState::sckError) {
    closeReported_ = true;
    return raise(events.CloseSck);
  }
  return true;
}

void clsSocketMaster::setRemotePort(int port) {
  if (state_ != SocketState::sckClosed) {
    throw invalidOperation(QStringLiteral("clsSocketMaster.RemotePort"));
  }
  if (port < 0 || port > 65535) {
    throw badArgument(QStringLiteral("clsSocketMaster.RemotePort"));
  }
  remotePort_ = port;
}

void clsSocketMaster::setRemoteHost(const QString& host) {
  if (state_ != SocketState::sckClosed) {
    throw invalidOperation(QStringLiteral("clsSocketMaster.RemoteHost"));
  }
  remoteHost_ = host;
}

void clsSocketMaster::setLocalPort(int port) {
  if (state_ != SocketState::sckClosed) {
    throw invalidOperation(QStringLiteral("clsSocketMaster.LocalPort"));
  }
  if (port < 0 || port > 65535) {
    throw badArgument(QStringLiteral("clsSocketMaster.LocalPort"));
  }
  localPort_ = port;
}

QString clsSocketMaster::LocalHostName() const {
  return GetLocalHostName();
}

QString clsSocketMaster::LocalIP() const {
  if (state_ != SocketState::sckConnected) {
    return GetLocalIP();
  }
  ReadPendingLocalEndpoint();
  return localIP_;
}

bool clsSocketMaster::SocketExists() {
  if (socketHandle_ != -1) {
    return true;
  }
  const int socket = platform::createSocket(platform::kAfInet, platform::kSockStream, platform::kIpProtoTcp);
  if (socket == platform::kInvalidSocket) {
    const int error = platform::lastSocketError();
    SetState(SocketState::sckError);
    logSocketEvent(QStringLiteral("ERROR trying to create socket"));
    ReportError(error, QStringLiteral("clsSocketMaster.SocketExists"));
    return false;
  }
  logSocketEvent([socket] { return QStringLiteral("OK Created socket: ") + QString::number(socket); });
  socketHandle_ = socket;
  connectionMade_ = false;
  closeReported_ = false;
  ProcessOptions();
  return modSocketMaster::RegisterSocket(socket, this, true);
}

void clsSocketMaster::DestroySocket() {
  if (socketHandle_ == -1) {
    return;
  }
  const int socket = socketHandle_;
  if (platform::closeSocket(socket) != 0) {
    const int error = platform::lastSocketError();
    SetState(SocketState::sckError);
    throw platformError(error, QStringLiteral("clsSocketMaster.DestroySocket"));
  }
  logSocketEvent([socket] { return QStringLiteral("OK Destroyed socket ") + QString::number(socket); });
  modSocketMaster::UnregisterSocket(socket);
  socketHandle_ = -1;
}

void clsSocketMaster::CloseSck() {
  if (socketHandle_ == -1) {
    return;
  }
  SetState(SocketState::sckClosing);
  CancelPendingResolutions();
  DestroySocket();
  boundPort_ = 0;
  localEndpointPending_ = false;
  remoteHostIP_.clear();
  sendBufferSize_ = 0;
  receiveBufferSize_ = 0;
  receiveBuffer_.clear();
  sendBuffer_.clear();
  sendOffset_ = 0;
  connectionMade_ = false;
  SetState(SocketState::sckClosed);
}

void clsSocketMaster::Bind(std::optional<int> localPort, const std::optional<QString>& localIP) {
  if (state_ != SocketState::sckClosed) {
    throw invalidOperation(QStringLiteral("clsSocketMaster.Bind"));
  }
  if (BindInternal(localPort, localIP)) {
    SetState(SocketState::sckOpen);
  }
}

bool clsSocketMaster::BindInternal(std::optional<int> localPort, const std::optional<QString>& localIP) {
  if (state_ == SocketState::sckOpen) {
    return true;
  }
  const int port = localPort.value_or(localPort_);
  if (port < 0 || port > 65535) {
    throw badArgument(QStringLiteral("clsSocketMaster.BindInternal"));
  }
  const QString addressText = localIP.value_or(QString());
  const quint32 address = GetHostAddress(addressText);
  if (!SocketExists()) {
    return false;
  }
  if (platform::bindSocket(socketHandle_, address,
                           modSocketMaster::IntegerToPort(modSocketMaster::PortToInteger(port))) != 0) {
    throw platformError(platform::lastSocketError(), QStringLiteral("clsSocketMaster.BindInternal"));
  }
  if (port != 0) {
    logSocketEvent([&] {
      return QStringLiteral("OK Bind HOST: ") + addressText + QStringLiteral(" PORT: ") + QString::number(port);
    });
    localPort_ = port;
  } else {
    const int bound = GetBoundPort();
    logSocketEvent([&] {
      return QStringLiteral("OK Bind HOST: ") + addressText + QStringLiteral(" PORT: ") + QString::number(bound);
    });
    boundPort_ = bound;
  }
  return true;
}

quint32 clsSocketMaster::GetHostAddress(const QString& host) const {
  // The empty text binds to every interface.
  if (host.isEmpty()) {
    return platform::kInaddrAny;
  }
  const quint32 dotted = platform::inetAddress(host);
  if (dotted != platform::kInaddrNone) {
    return dotted;
  }
  const quint32 found = platform::resolveHostNow(host);
  if (found == platform::kInaddrNone) {
    throw SocketError(kErrBadArgument, QString::fromUtf16(kTextInvalidArgument),
                      QStringLiteral("clsSocketMaster.BindInternal"));
  }
  return found;
}

int clsSocketMaster::GetBoundPort() const {
  int port = 0;
  if (platform::socketLocalEndpoint(socketHandle_, nullptr, &port) != 0) {
    throw platformError(platform::lastSocketError(), QStringLiteral("clsSocketMaster.BindInternal"));
  }
  return port;
}

void clsSocketMaster::Listen() {
  if (state_ != SocketState::sckClosed && state_ != SocketState::sckOpen) {
    throw invalidOperation(QStringLiteral("clsSocketMaster.Listen"));
  }
  if (!SocketExists() || !BindInternal()) {
    return;
  }
  if (platform::listenSocket(socketHandle_, kListenBacklog) != 0) {
    throw platformError(platform::lastSocketError(), QStringLiteral("clsSocketMaster.Listen"));
  }
  SetState(SocketState::sckListening);
}

void clsSocketMaster::Connect(const std::optional<QString>& remoteHost, std::optional<int> remotePort) {
  if (state_ != SocketState::sckClosed) {
    throw invalidOperation(QStringLiteral("clsSocketMaster.Connect"));
  }
  if (remoteHost.has_value()) {
    remoteHost_ = *remoteHost;
  }
  if (remotePort.has_value()) {
    if (*remotePort < 1 || *remotePort > 65535) {
      throw badArgument(QStringLiteral("clsSocketMaster.Connect"));
    }
    remotePort_ = *remotePort;
  }
  if (!SocketExists() || !BindInternal()) {
    return;
  }
  if (const std::optional<quint32> address = ResolveIfHostname(remoteHost_)) {
    ConnectToIP(*address, 0);
  }
}

std::optional<quint32> clsSocketMaster::ResolveIfHostname(const QString& host) {
  const quint32 dotted = platform::inetAddress(host);
  if (dotted != platform::kInaddrNone) {
    return dotted;
  }
  SetState(SocketState::sckResolvingHost);
  AllocateResolutionMemory();
  if (resolution_ == nullptr) {
    SetState(SocketState::sckError);
    logSocketEvent(QStringLiteral("Error trying to allocate memory"));
    throw SocketError(kErrOutOfMemory, QString::fromUtf16(kTextOutOfMemory),
                      QStringLiteral("clsSocketMaster.ResolveIfHostname"));
  }
  const int handle = modSocketMaster::StartAsyncHostLookup(host, resolution_->data(), this);
  if (handle == 0) {
    const int error = platform::lastSocketError();
    FreeResolutionMemory();
    SetState(SocketState::sckError);
    ReportError(error, QStringLiteral("clsSocketMaster.ResolveIfHostname"));
    return std::nullopt;
  }
  pendingLookups_.add(handle, lookupKey(handle));
  logSocketEvent([&] {
    return QStringLiteral("Resolving host ") + host + QStringLiteral(" with handle ") + QString::number(handle);
  });
  return std::nullopt;
}

void clsSocketMaster::PostHostResolution(int lookupHandle, int error) {
  pendingLookups_.remove(lookupKey(lookupHandle));
  modSocketMaster::DropResolutionEntry(lookupHandle);
  if (state_ != SocketState::sckResolvingHost) {
    return;
  }
  if (error != 0) {
    FreeResolutionMemory();
    ConnectToIP(0, error);
    return;
  }
  SetState(SocketState::sckHostResolved);
  quint32 address = 0;
  std::memcpy(&address, resolution_->data(), sizeof address);
  FreeResolutionMemory();
  ConnectToIP(address, 0);
}

void clsSocketMaster::AllocateResolutionMemory() {
  resolution_ = std::make_unique<std::array<char, 1024>>();
}

void clsSocketMaster::FreeResolutionMemory() {
  if (resolution_ == nullptr) {
    return;
  }
  resolution_.reset();
  logSocketEvent(QStringLiteral("OK Freed resolution memory"));
}

void clsSocketMaster::ConnectToIP(quint32 address, int error) {
  if (error != 0) {
    SetState(SocketState::sckError);
    ReportError(error, QStringLiteral("clsSocketMaster.ConnectToIP"));
    return;
  }
  remoteHostIP_ = platform::inetDottedText(address);
  logSocketEvent([&] { return QStringLiteral("OK Connecting to: ") + remoteHost_ + QLatin1Char(' ') + remoteHostIP_; });
  SetState(SocketState::sckConnecting);
  if (platform::connectSocket(socketHandle_, address, remotePort_) == 0) {
    return;
  }
  const int failure = platform::lastSocketError();
  if (failure == platform::kWsaEwouldblock) {
    return;
  }
  if (failure == platform::kWsaEaddrnotavail) {
    throw platformError(failure, QStringLiteral("clsSocketMaster.ConnectToIP"));
  }
  SetState(SocketState::sckError);
  ReportError(failure, QStringLiteral("clsSocketMaster.ConnectToIP"));
}

void clsSocketMaster::CancelPendingResolutions() {
  std::vector<int> handles;
  for (const auto& entry : pendingLookups_) {
    handles.push_back(entry.value);
  }
  for (int handle : handles) {
    if (platform::cancelAsyncRequest(handle) == 0) {
      modSocketMaster::DropResolutionEntry(handle);
      pendingLookups_.clear();
      FreeResolutionMemory();
    }
  }
}

QString clsSocketMaster::GetLocalHostName() const {
  const QString name = platform::localHostName();
  if (name.isEmpty()) {
    throw platformError(platform::lastSocketError(), QStringLiteral("clsSocketMaster.GetLocalHostName"));
  }
  return name;
}

QString clsSocketMaster::GetLocalIP() const {
  const quint32 address = platform::localHostAddress();
  if (address == platform::kInaddrNone) {
    throw platformError(platform::lastSocketError(), QStringLiteral("clsSocketMaster.GetLocalIP"));
  }
  return platform::inetDottedText(address);
}

void clsSocketMaster::ReadLocalEndpoint(int socket) const {
  localEndpointPending_ = false;
  quint32 address = 0;
  int port = 0;
  if (platform::socketLocalEndpoint(socket, &address, &port) == 0) {
    boundPort_ = port;
    localIP_ = platform::inetDottedText(address);
  } else {
    boundPort_ = 0;
    localIP_.clear();
  }
}

void clsSocketMaster::ReadRemoteEndpoint(int socket) {
  quint32 address = 0;
  int port = 0;
  if (platform::socketPeerEndpoint(socket, &address, &port) == 0) {
    remotePort_ = port;
    remoteHostIP_ = platform::inetDottedText(address);
  } else {
    remotePort_ = 0;
    remoteHostIP_.clear();
    remoteHost_.clear();
  }
}

}  // namespace orv::net
