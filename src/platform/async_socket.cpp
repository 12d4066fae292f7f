#include "platform/async_socket.h"

#include "platform/deadline.h"
#include "platform/message_window.h"
#include "platform/winsock_errors.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <memory>
#include <unordered_map>

namespace orv::platform {
namespace {

int fail(int winsockError) {
  setLastSocketError(winsockError);
  return kSocketFailed;
}

int failFromErrno() {
  return fail(winsockErrorFromErrno(errno));
}

// A connection being closed: shut down for sending, its input read and dropped until the
// peer ends it, or the time is up.
class LingeringClose : public QObject {
 public:
  static constexpr int kLingerMs = 2000;

  LingeringClose(int socket, QObject* parent)
      : QObject(parent), socket_(socket), notifier_(socket, QSocketNotifier::Read) {
    QObject::connect(&notifier_, &QSocketNotifier::activated, this, [this] {
      if (drain()) {
        finish();
      }
    });
    // Its own deadline, gone with it: a connection whose peer ends it at once leaves no
    // timer waiting out the two seconds.
    lingerLimit_.setAction([this] { finish(); });
    lingerLimit_.start(kLingerMs);
  }

  ~LingeringClose() override {
    if (socket_ != kInvalidSocket) {
      notifier_.setEnabled(false);
      ::close(socket_);
    }
  }

  // True when the peer has ended the connection (or it broke): nothing more to wait for.
  static bool drainSocket(int socket) {
    char sink[16384];
    for (;;) {
      const ssize_t received = ::recv(socket, sink, sizeof sink, 0);
      if (received > 0) {
        continue;
      }
      if (received < 0 && errno == EINTR) {
        continue;
      }
      return !(received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
    }
  }

 private:
  bool drain() const { return drainSocket(socket_); }

  void finish() {
    if (socket_ == kInvalidSocket) {
      return;
    }
    notifier_.setEnabled(false);
    lingerLimit_.stop();
    ::close(socket_);
    socket_ = kInvalidSocket;
    deleteLater();
  }

  int socket_;
  QSocketNotifier notifier_;
  Deadline lingerLimit_;
};

// The registration of one socket: turns the platform's readiness into notifications.
class SocketWatch : public QObject {
 public:
  SocketWatch(int socket, int window, unsigned message, int events, quint64 serial, QObject* parent)
      : QObject(parent),
        socket_(socket),
        window_(window),
        message_(message),
        events_(events),
        serial_(serial),
        readNotifier_(socket, QSocketNotifier::Read),
        writeNotifier_(socket, QSocketNotifier::Write) {
    readNotifier_.setEnabled(false);
    writeNotifier_.setEnabled(false);
    QObject::connect(&readNotifier_, &QSocketNotifier::activated, this, [this] { onReadable(); });
    QObject::connect(&writeNotifier_, &QSocketNotifier::activated, this, [this] { onWritable(); });
  }

  int window() const { return window_; }
  unsigned message() const { return message_; }
  int events() const { return events_; }
  quint64 serial() const { return serial_; }

  void setListening() {
    listening_ = true;
    acceptArmed_ = true;
    update();
  }

  void setConnected() {
    connected_ = true;
    update();
  }

  void afterAccept(bool backOff) {
    if (!backOff) {
      acceptArmed_ = true;
      update();
      return;
    }
    // Out of descriptors or memory: the connection stays queued, and asking again at once
    // would spin. Ask again a little later.
    acceptBackOff_.setAction([this] {
      acceptArmed_ = true;
      update();
    });
    acceptBackOff_.start(kAcceptBackOffMs);
  }

  void afterReceive() {
    readArmed_ = true;
    update();
  }

  void afterSendWouldBlock() {
    writeWanted_ = true;
    update();
  }

  void connectStarted() {
    connectPending_ = true;
    update();
  }

  void connectedNow() {
    connected_ = true;
    post(kFdConnect, 0);
    post(kFdWrite, 0);
    update();
  }

  void post(int event, int error);

 private:
  static constexpr int kAcceptBackOffMs = 100;

  void update() {
    bool readWanted = false;
    if (!closeSent_) {
      if (listening_) {
        readWanted = acceptArmed_ && (events_ & kFdAccept) != 0;
      } else if (connected_ && !connectPending_) {
        readWanted = readArmed_ && (events_ & (kFdRead | kFdClose)) != 0;
      }
    }
    readNotifier_.setEnabled(readWanted);
    writeNotifier_.setEnabled(connectPending_ || (connected_ && writeWanted_));
  }

  // Readiness comes from the event loop itself, outside any handler: its notification goes
  // to the window at once, as a posted one would in the loop's next turn, without the
  // queued event. The state changes first and nothing of this object is touched after the
  // delivery, since the window's procedure may close the socket and so delete this watch.
  void onReadable() {
    if (listening_) {
      acceptArmed_ = false;
      update();
      deliver(kFdAccept, 0);
      return;
    }
    char probe = 0;
    const ssize_t peeked = ::recv(socket_, &probe, 1, MSG_PEEK);
    if (peeked > 0) {
      readArmed_ = false;
      update();
      deliver(kFdRead, 0);
    } else if (peeked == 0) {
      closeSent_ = true;
      update();
      deliver(kFdClose, 0);
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      const int error = winsockErrorFromErrno(errno);
      closeSent_ = true;
      update();
      deliver(kFdClose, error);
    } else {
      update();
    }
  }

  void onWritable() {
    if (connectPending_) {
      connectPending_ = false;
      int error = 0;
      socklen_t length = sizeof error;
      if (::getsockopt(socket_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        error = errno;
      }
      if (error == 0) {
        connectedNow();
      } else {
        post(kFdConnect, winsockErrorFromErrno(error));
        update();
      }
      return;
    }
    if (writeWanted_) {
      writeWanted_ = false;
      update();
      deliver(kFdWrite, 0);
      return;
    }
    update();
  }

  void deliver(int event, int error) const {
    if ((events_ & event) == 0) {
      return;
    }
    sendMessage(window_, message_, static_cast<quintptr>(socket_), makeSelectLParam(event, error));
  }

  int socket_;
  int window_;
  unsigned message_;
  int events_;
  quint64 serial_;
  bool listening_ = false;
  bool connected_ = false;
  bool connectPending_ = false;
  bool acceptArmed_ = true;
  bool readArmed_ = true;
  bool writeWanted_ = false;
  bool closeSent_ = false;
  QSocketNotifier readNotifier_;
  QSocketNotifier writeNotifier_;
  Deadline acceptBackOff_;
};

struct WatchRegistry {
  std::unordered_map<int, SocketWatch*> watches;
  quint64 lastSerial = 0;
};

WatchRegistry& watchRegistry() {
  static WatchRegistry instance;
  return instance;
}

SocketWatch* findWatch(int socket) {
  auto& watches = watchRegistry().watches;
  const auto it = watches.find(socket);
  return it == watches.end() ? nullptr : it->second;
}

void removeWatch(int socket) {
  auto& watches = watchRegistry().watches;
  const auto it = watches.find(socket);
  if (it != watches.end()) {
    SocketWatch* watch = it->second;
    watches.erase(it);
    delete watch;
  }
}

SocketWatch* addWatch(int socket, int window, unsigned message, int events) {
  removeWatch(socket);
  QCoreApplication* loop = QCoreApplication::instance();
  if (loop == nullptr) {
    return nullptr;
  }
  auto* watch = new SocketWatch(socket, window, message, events, ++watchRegistry().lastSerial, loop);
  // The loop owns the watch, so none outlives it; the registry forgets a watch the loop deletes.
  QObject::connect(watch, &QObject::destroyed, [socket, watch] {
    auto& watches = watchRegistry().watches;
    const auto it = watches.find(socket);
    if (it != watches.end() && it->second == watch) {
      watches.erase(it);
    }
  });
  watchRegistry().watches.emplace(socket, watch);
  return watch;
}

void SocketWatch::post(int event, int error) {
  if ((events_ & event) == 0) {
    return;
  }
  const int socket = socket_;
  const quint64 serial = serial_;
  const int window = window_;
  const unsigned message = message_;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [socket, serial, window, message, event, error] {
        // A notification outlives neither its socket nor its registration.
        const SocketWatch* watch = findWatch(socket);
        if (watch == nullptr || watch->serial() != serial) {
          return;
        }
        sendMessage(window, message, static_cast<quintptr>(socket), makeSelectLParam(event, error));
      },
      Qt::QueuedConnection);
}

bool isSocket(int socket) {
  int type = 0;
  socklen_t length = sizeof type;
  return ::getsockopt(socket, SOL_SOCKET, SO_TYPE, &type, &length) == 0;
}

bool isConnected(int socket) {
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  return ::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) == 0;
}

bool isListening(int socket) {
  int listening = 0;
  socklen_t length = sizeof listening;
  return ::getsockopt(socket, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) == 0 && listening != 0;
}

sockaddr_in makeAddress(quint32 address, int port) {
  sockaddr_in endpoint{};
  endpoint.sin_family = AF_INET;
  endpoint.sin_port = htons(static_cast<quint16>(port));
  endpoint.sin_addr.s_addr = address;
  return endpoint;
}

int readEndpoint(int result, const sockaddr_in& endpoint, quint32* address, int* port) {
  if (result != 0) {
    return failFromErrno();
  }
  if (address != nullptr) {
    *address = endpoint.sin_addr.s_addr;
  }
  if (port != nullptr) {
    *port = ntohs(endpoint.sin_port);
  }
  return 0;
}

// The option of this platform for a Winsock level and name.
bool nativeOption(int level, int name, int* nativeLevel, int* nativeName) {
  if (level == kIpProtoTcp && name == kTcpNoDelay) {
    *nativeLevel = IPPROTO_TCP;
    *nativeName = TCP_NODELAY;
    return true;
  }
  if (level != kSolSocket) {
    return false;
  }
  *nativeLevel = SOL_SOCKET;
  switch (name) {
    case kSoKeepAlive:
      *nativeName = SO_KEEPALIVE;
      return true;
    case kSoDontRoute:
      *nativeName = SO_DONTROUTE;
      return true;
    case kSoSndBuf:
      *nativeName = SO_SNDBUF;
      return true;
    case kSoRcvBuf:
      *nativeName = SO_RCVBUF;
      return true;
    case kSoSndLowat:
      *nativeName = SO_SNDLOWAT;
      return true;
    case kSoRcvLowat:
      *nativeName = SO_RCVLOWAT;
      return true;
    default:
      return false;
  }
}

}  // namespace

int wsaStartup(int /*version*/) {
  return 0;
}

int wsaCleanup() {
  return 0;
}

int createSocket(int family, int type, int protocol) {
  if (family != kAfInet || type != kSockStream || (protocol != kIpProtoTcp && protocol != 0)) {
    return fail(family != kAfInet ? 10047 : 10044);
  }
  const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  return socket < 0 ? failFromErrno() : socket;
}

int closeSocket(int socket) {
  if (socket < 0 || !isSocket(socket)) {
    return fail(kWsaEnotsock);
  }
  removeWatch(socket);
  QCoreApplication* loop = QCoreApplication::instance();
  if (loop == nullptr || isListening(socket) || ::shutdown(socket, SHUT_WR) != 0 ||
      LingeringClose::drainSocket(socket)) {
    ::close(socket);
    return 0;
  }
  new LingeringClose(socket, loop);
  return 0;
}

int bindSocket(int socket, quint32 address, int port) {
  const int reuse = 1;
  ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  const sockaddr_in endpoint = makeAddress(address, port);
  return ::bind(socket, reinterpret_cast<const sockaddr*>(&endpoint), sizeof endpoint) == 0 ? 0 : failFromErrno();
}

int listenSocket(int socket, int backlog) {
  if (::listen(socket, backlog) != 0) {
    return failFromErrno();
  }
  if (SocketWatch* watch = findWatch(socket)) {
    watch->setListening();
  }
  return 0;
}

int acceptSocket(int socket, quint32* peerAddress, int* peerPort) {
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  int accepted = -1;
  do {
    accepted = ::accept4(socket, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
  } while (accepted < 0 && errno == EINTR);
  const int acceptError = errno;
  SocketWatch* listener = findWatch(socket);
  if (listener != nullptr) {
    listener->afterAccept(accepted < 0 && (acceptError == EMFILE || acceptError == ENFILE || acceptError == ENOBUFS ||
                                           acceptError == ENOMEM));
  }
  if (accepted < 0) {
    return fail(winsockErrorFromErrno(acceptError));
  }
  readEndpoint(0, peer, peerAddress, peerPort);
  if (listener != nullptr) {
    SocketWatch* watch = addWatch(accepted, listener->window(), listener->message(), listener->events());
    if (watch != nullptr) {
      watch->setConnected();
      watch->post(kFdWrite, 0);
    }
  }
  return accepted;
}

int connectSocket(int socket, quint32 address, int port) {
  const sockaddr_in endpoint = makeAddress(address, port);
  int result = 0;
  do {
    result = ::connect(socket, reinterpret_cast<const sockaddr*>(&endpoint), sizeof endpoint);
  } while (result != 0 && errno == EINTR);
  SocketWatch* watch = findWatch(socket);
  if (result == 0) {
    if (watch != nullptr) {
      watch->connectedNow();
    }
    return 0;
  }
  if (errno == EINPROGRESS) {
    if (watch != nullptr) {
      watch->connectStarted();
    }
    // Winsock's answer for a connect that goes on in the background.
    return fail(kWsaEwouldblock);
  }
  return failFromErrno();
}

qint64 sendSocket(int socket, const char* data, qint64 length) {
  ssize_t sent = 0;
  do {
    sent = ::send(socket, data, static_cast<size_t>(length), MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  if (sent >= 0) {
    return sent;
  }
  const int error = errno;
  if (error == EAGAIN || error == EWOULDBLOCK) {
    if (SocketWatch* watch = findWatch(socket)) {
      watch->afterSendWouldBlock();
    }
  }
  return fail(winsockErrorFromErrno(error));
}

qint64 receiveSocket(int socket, char* buffer, qint64 length, bool peek) {
  ssize_t received = 0;
  do {
    received = ::recv(socket, buffer, static_cast<size_t>(length), peek ? MSG_PEEK : 0);
  } while (received < 0 && errno == EINTR);
  const int error = errno;
  if (!peek) {
    if (SocketWatch* watch = findWatch(socket)) {
      watch->afterReceive();
    }
  }
  return received >= 0 ? received : fail(winsockErrorFromErrno(error));
}

int setSocketOption(int socket, int level, int name, int value) {
  int nativeLevel = 0;
  int nativeName = 0;
  if (!nativeOption(level, name, &nativeLevel, &nativeName)) {
    return fail(10042);
  }
  return ::setsockopt(socket, nativeLevel, nativeName, &value, sizeof value) == 0 ? 0 : failFromErrno();
}

int getSocketOption(int socket, int level, int name, int* value) {
  int nativeLevel = 0;
  int nativeName = 0;
  if (!nativeOption(level, name, &nativeLevel, &nativeName)) {
    return fail(10042);
  }
  socklen_t length = sizeof *value;
  return ::getsockopt(socket, nativeLevel, nativeName, value, &length) == 0 ? 0 : failFromErrno();
}

int socketLocalEndpoint(int socket, quint32* address, int* port) {
  sockaddr_in endpoint{};
  socklen_t length = sizeof endpoint;
  return readEndpoint(::getsockname(socket, reinterpret_cast<sockaddr*>(&endpoint), &length), endpoint, address, port);
}

int socketPeerEndpoint(int socket, quint32* address, int* port) {
  sockaddr_in endpoint{};
  socklen_t length = sizeof endpoint;
  return readEndpoint(::getpeername(socket, reinterpret_cast<sockaddr*>(&endpoint), &length), endpoint, address, port);
}

int asyncSelect(int socket, int window, unsigned message, int events) {
  if (socket < 0 || !isSocket(socket)) {
    return fail(kWsaEnotsock);
  }
  if (events == 0) {
    removeWatch(socket);
    return 0;
  }
  SocketWatch* watch = addWatch(socket, window, message, events);
  if (watch == nullptr) {
    return fail(kWsaEinval);
  }
  if (isListening(socket)) {
    watch->setListening();
  } else if (isConnected(socket)) {
    watch->setConnected();
    watch->post(kFdWrite, 0);
  }
  return 0;
}

quint32 inetAddress(const QString& text) {
  in_addr address{};
  const QByteArray bytes = text.toLatin1();
  return ::inet_pton(AF_INET, bytes.constData(), &address) == 1 ? address.s_addr : kInaddrNone;
}

QString inetDottedText(quint32 address) {
  // Every accepted connection writes its two endpoints: the C library goes through printf.
  const quint32 host = ntohl(address);
  char16_t text[15];
  char16_t* out = text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const unsigned octet = (host >> shift) & 0xFF;
    if (octet >= 100) {
      *out++ = static_cast<char16_t>(u'0' + octet / 100);
    }
    if (octet >= 10) {
      *out++ = static_cast<char16_t>(u'0' + octet / 10 % 10);
    }
    *out++ = static_cast<char16_t>(u'0' + octet % 10);
    if (shift > 0) {
      *out++ = u'.';
    }
  }
  return QString(reinterpret_cast<const QChar*>(text), out - text);
}

}  // namespace orv::platform
