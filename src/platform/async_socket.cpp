#include "platform/async_socket.h"

#include "platform/deadline.h"
#include "platform/io_ring_socket.h"
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
#include <sys/uio.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

namespace orv::platform {
namespace {

int fail(int winsockError) {
  setLastSocketError(winsockError);
  return kSocketFailed;
}

int failFromErrno() {
  return fail(winsockErrorFromErrno(errno));
}

bool wouldBlock(int error) {
  return error == EAGAIN || error == EWOULDBLOCK;
}

SocketCallCounts& callCounts() {
  static SocketCallCounts instance;
  return instance;
}

// The system calls of the data path, each in one place, so that a batching mechanism can
// take them over later.
ssize_t kernelSend(int socket, const iovec* parts, int count) {
  msghdr message{};
  message.msg_iov = const_cast<iovec*>(parts);
  message.msg_iovlen = static_cast<size_t>(count);
  ++callCounts().sends;
  ssize_t sent = 0;
  do {
    sent = ::sendmsg(socket, &message, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return sent;
}

ssize_t kernelReceive(int socket, char* buffer, size_t length, int flags) {
  ++callCounts().receives;
  ssize_t received = 0;
  do {
    received = ::recv(socket, buffer, length, flags);
  } while (received < 0 && errno == EINTR);
  return received;
}

int kernelAccept(int listener, sockaddr_in* peer) {
  socklen_t length = sizeof *peer;
  ++callCounts().accepts;
  int accepted = -1;
  do {
    accepted = ::accept4(listener, reinterpret_cast<sockaddr*>(peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
  } while (accepted < 0 && errno == EINTR);
  return accepted;
}

struct OptionValue {
  int level;
  int name;
  int value;
};

int* findOption(std::vector<OptionValue>& options, int level, int name) {
  for (OptionValue& option : options) {
    if (option.level == level && option.name == name) {
      return &option.value;
    }
  }
  return nullptr;
}

void storeOption(std::vector<OptionValue>& options, int level, int name, int value) {
  if (int* stored = findOption(options, level, name)) {
    *stored = value;
  } else {
    options.push_back({level, name, value});
  }
}

// What the stand-in knows of a socket it made or accepted, so that it need not ask the
// system again: what never changes while the socket lives (its kind, its endpoints once
// connected, the options it holds), the output it took but the system has not had yet,
// and the input the system gave that the caller has not taken yet.
struct SocketRecord {
  quint64 generation = 0;
  bool listening = false;
  bool connected = false;
  int listener = kInvalidSocket;  // the listener it was accepted from
  bool peerKnown = false;
  quint32 peerAddress = 0;
  int peerPort = 0;
  bool localKnown = false;
  quint32 localAddress = 0;
  int localPort = 0;
  bool bound = false;
  // Options set on the socket, or inherited from the listener (the system copies a
  // listener's options to each connection it accepts).
  std::vector<OptionValue> options;
  bool ownOptions = false;  // an option of this accepted socket was changed after the accept
  // A listener's: what its accepted sockets read back while their options are inherited.
  std::vector<OptionValue> acceptedReadBacks;

  // Output taken from the caller and not yet taken by the system: held while a delivery
  // of this socket runs, so that what it sends leaves in one call (a head and its body),
  // or left over when the system could not take it all.
  QByteArray owed;
  qsizetype owedOffset = 0;
  int holding = 0;  // deliveries of this socket on the stack
  // The system took less than it was offered: a send would only fail with "would block"
  // until the socket can be written again.
  bool full = false;

  // Input read from the system but not yet taken by the caller.
  QByteArray input;
  qsizetype inputOffset = 0;
  int readError = 0;        // a failure met while reading, reported as FD_CLOSE
  size_t readSize = 65536;  // what the caller asked for last

  qsizetype owedLeft() const { return owed.size() - owedOffset; }
  qsizetype inputLeft() const { return input.size() - inputOffset; }
};

// Only small sends are held (a head, a short answer): a larger one goes at once with what is
// held before it, in the same call, without being copied.
constexpr qsizetype kHoldLimit = 4096;

struct RecordTable {
  std::unordered_map<int, SocketRecord> records;
  quint64 lastGeneration = 0;
};

RecordTable& recordTable() {
  static RecordTable instance;
  return instance;
}

SocketRecord* findRecord(int socket) {
  auto& records = recordTable().records;
  const auto it = records.find(socket);
  return it == records.end() ? nullptr : &it->second;
}

SocketRecord* findRecord(int socket, quint64 generation) {
  SocketRecord* record = findRecord(socket);
  return record != nullptr && record->generation == generation ? record : nullptr;
}

SocketRecord& newRecord(int socket) {
  SocketRecord& record = recordTable().records[socket];
  record = SocketRecord();
  record.generation = ++recordTable().lastGeneration;
  return record;
}

void dropRecord(int socket) {
  recordTable().records.erase(socket);
}

// The input of one read: the system's bytes stay in this buffer while the read
// notification that announced them is delivered, and move to their socket's record only
// when the caller left some (or a nested turn of the loop needs the buffer).
struct ReadAhead {
  static constexpr size_t kSize = 262144;
  std::unique_ptr<char[]> buffer = std::make_unique<char[]>(kSize);
  int socket = kInvalidSocket;
  quint64 generation = 0;
  size_t length = 0;
  size_t offset = 0;

  size_t left() const { return length - offset; }

  void evacuate() {
    if (socket == kInvalidSocket) {
      return;
    }
    if (SocketRecord* record = findRecord(socket, generation); record != nullptr && left() > 0) {
      record->input.append(buffer.get() + offset, static_cast<qsizetype>(left()));
    }
    socket = kInvalidSocket;
    length = 0;
    offset = 0;
  }
};

ReadAhead& readAhead() {
  static ReadAhead instance;
  return instance;
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
    std::vector<LingeringClose*>& finished = finishedCloses();
    finished.erase(std::remove(finished.begin(), finished.end(), this), finished.end());
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
    // Deleted by the next close or accept, not from inside its own notifier's signal, and
    // without a posted event (which would wake the loop through the system once more).
    finishedCloses().push_back(this);
  }

 public:
  static std::vector<LingeringClose*>& finishedCloses() {
    static std::vector<LingeringClose*> instance;
    return instance;
  }

  static void reapFinished() {
    std::vector<LingeringClose*>& finished = finishedCloses();
    while (!finished.empty()) {
      LingeringClose* close = finished.back();
      finished.pop_back();
      delete close;
    }
  }

 private:
  int socket_;
  QSocketNotifier notifier_;
  Deadline lingerLimit_;
};

// Hands the owed output of a socket to the system; false when some still waits (write
// readiness is then watched for) or the connection broke.
bool flushOwed(int socket, SocketRecord& record);

// How the ring's side of a socket reaches its registration (defined after the watches).
const RingNotify& ringNotify();

// The registration of one socket: turns the platform's readiness into notifications.
// A watch that ends goes back to a pool: the next connection takes it with its notifiers
// made and connected, which a new object would cost again for every connection.
class SocketWatch : public QObject {
 public:
  explicit SocketWatch(QObject* parent)
      : QObject(parent), readNotifier_(QSocketNotifier::Read), writeNotifier_(QSocketNotifier::Write) {
    QObject::connect(&readNotifier_, &QSocketNotifier::activated, this, [this] { onReadable(); });
    QObject::connect(&writeNotifier_, &QSocketNotifier::activated, this, [this] { onWritable(); });
  }
  ~SocketWatch() override;
  SocketWatch(const SocketWatch&) = delete;
  SocketWatch& operator=(const SocketWatch&) = delete;

  // Every field as a new registration has it.
  void begin(int socket, int window, unsigned message, int events, quint64 serial) {
    socket_ = socket;
    window_ = window;
    message_ = message;
    events_ = events;
    serial_ = serial;
    listening_ = false;
    connected_ = false;
    connectPending_ = false;
    acceptArmed_ = true;
    readArmed_ = true;
    writeWanted_ = false;
    closeSent_ = false;
    ring_ = false;
    // Both notifiers are disabled here (made without a socket, or ended): the watch arms them.
    readNotifier_.setSocket(socket);
    writeNotifier_.setSocket(socket);
  }

  void end() {
    readNotifier_.setEnabled(false);
    writeNotifier_.setEnabled(false);
    acceptBackOff_.stop();
    socket_ = -1;
  }

  int window() const { return window_; }
  unsigned message() const { return message_; }
  int events() const { return events_; }
  quint64 serial() const { return serial_; }

  void setListening() {
    listening_ = true;
    acceptArmed_ = true;
    if (RingListener* ringSide = ringListener(socket_)) {
      ring_ = true;
      ringSide->registered();
    } else if (IoRing* ring = socketRing()) {
      ring_ = addRingListener(*ring, socket_, ringNotify()) != nullptr;
    }
    update();
  }

  void setConnected() {
    connected_ = true;
    if (RingConnection* ringSide = ringConnection(socket_)) {
      ring_ = true;
      ringSide->registered();
    }
    update();
  }

  // A notification of the ring's side, from the loop.
  void deliverFromRing(int event, int error) const { deliver(event, error); }

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

  // Input the stand-in holds is announced without waiting for the system, which may have
  // nothing more to say.
  void afterReceive(bool inputHeld) {
    readArmed_ = !inputHeld;
    update();
    if (inputHeld) {
      post(kFdRead, 0);
    }
  }

  void afterSendWouldBlock() {
    writeWanted_ = true;
    update();
  }

  // An accepted connection can be written to at once: the loop's next look at the socket
  // says so, without a posted notice.
  void announceFirstWrite() {
    writeWanted_ = true;
    update();
  }

  // Output the system could not take yet waits for write readiness (or the send broke).
  void owedOutputChanged() { update(); }

  void sendBroke(int error) {
    if (closeSent_) {
      return;
    }
    closeSent_ = true;
    update();
    post(kFdClose, error);
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
    if (ring_) {
      // The ring's completions stand in for the readiness.
      readNotifier_.setEnabled(false);
      writeNotifier_.setEnabled(false);
      return;
    }
    bool readWanted = false;
    if (!closeSent_) {
      if (listening_) {
        readWanted = acceptArmed_ && (events_ & kFdAccept) != 0;
      } else if (connected_ && !connectPending_) {
        readWanted = readArmed_ && (events_ & (kFdRead | kFdClose)) != 0;
      }
    }
    readNotifier_.setEnabled(readWanted);
    bool owed = false;
    if (connected_ && !writeWanted_) {
      const SocketRecord* record = findRecord(socket_);
      owed = record != nullptr && record->owedLeft() > 0;
    }
    writeNotifier_.setEnabled(connectPending_ || (connected_ && (writeWanted_ || owed)));
  }

  // Readiness comes from the event loop itself, outside any handler: its notification goes
  // to the window at once, as a posted one would in the loop's next turn, without the
  // queued event. The state changes first and nothing of this object is touched after the
  // delivery, since the window's procedure may close the socket and so delete this watch.
  // The read itself happens here (no look ahead at the input first): its bytes wait in the
  // read-ahead buffer for the caller's receive.
  void onReadable() {
    if (listening_) {
      acceptArmed_ = false;
      update();
      deliver(kFdAccept, 0);
      return;
    }
    const int socket = socket_;
    ReadAhead& ahead = readAhead();
    // A read of another socket interrupted by this turn of the loop keeps its bytes.
    ahead.evacuate();
    SocketRecord* record = findRecord(socket);
    if (record == nullptr) {
      record = &newRecord(socket);
    }
    ssize_t received = 0;
    int error = 0;
    bool fresh = false;
    if (record->inputLeft() > 0) {
      received = record->inputLeft();
    } else if (record->readError != 0) {
      received = -1;
      error = std::exchange(record->readError, 0);
    } else {
      received = kernelReceive(socket, ahead.buffer.get(), std::min(record->readSize, ReadAhead::kSize), 0);
      error = received < 0 ? errno : 0;
      fresh = true;
    }
    if (received > 0) {
      if (fresh) {
        ahead.socket = socket;
        ahead.generation = record->generation;
        ahead.length = static_cast<size_t>(received);
        ahead.offset = 0;
      }
      readArmed_ = false;
      update();
      ++record->holding;
      const DeliveryEnd end{socket, record->generation};
      deliver(kFdRead, 0);
    } else if (received == 0 && fresh) {
      closeSent_ = true;
      update();
      deliver(kFdClose, 0);
    } else if (received < 0 && !wouldBlock(error)) {
      const int winsockError = fresh ? winsockErrorFromErrno(error) : error;
      closeSent_ = true;
      update();
      deliver(kFdClose, winsockError);
    } else {
      update();
    }
  }

  // After a read notification: bytes the caller left move to the socket's record, and
  // what it sent while holding leaves in one call.
  static void endDelivery(int socket, quint64 generation);
  struct DeliveryEnd {
    int socket;
    quint64 generation;
    ~DeliveryEnd() { endDelivery(socket, generation); }
  };

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
    if (SocketRecord* record = findRecord(socket_)) {
      record->full = false;
      if (record->owedLeft() > 0 && !flushOwed(socket_, *record)) {
        return;
      }
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

  int socket_ = -1;
  int window_ = 0;
  unsigned message_ = 0;
  int events_ = 0;
  quint64 serial_ = 0;
  bool listening_ = false;
  bool connected_ = false;
  bool connectPending_ = false;
  bool acceptArmed_ = true;
  bool readArmed_ = true;
  bool writeWanted_ = false;
  bool closeSent_ = false;
  bool ring_ = false;  // the socket's kernel calls go through the loop's ring
  QSocketNotifier readNotifier_;
  QSocketNotifier writeNotifier_;
  Deadline acceptBackOff_;
};

struct WatchRegistry {
  std::unordered_map<int, SocketWatch*> watches;
  std::vector<SocketWatch*> idle;
  quint64 lastSerial = 0;
};

// Enough for the connections of a busy moment; beyond it, ended watches are deleted.
constexpr std::size_t kMostIdleWatches = 256;

WatchRegistry& watchRegistry() {
  static WatchRegistry instance;
  return instance;
}

SocketWatch* findWatch(int socket) {
  auto& watches = watchRegistry().watches;
  const auto it = watches.find(socket);
  return it == watches.end() ? nullptr : it->second;
}

// The loop owns every watch, so none outlives it; the registry forgets a watch the loop
// deletes.
SocketWatch::~SocketWatch() {
  WatchRegistry& registry = watchRegistry();
  const auto it = registry.watches.find(socket_);
  if (it != registry.watches.end() && it->second == this) {
    registry.watches.erase(it);
  }
  std::erase(registry.idle, this);
}

void removeWatch(int socket) {
  WatchRegistry& registry = watchRegistry();
  const auto it = registry.watches.find(socket);
  if (it == registry.watches.end()) {
    return;
  }
  SocketWatch* watch = it->second;
  registry.watches.erase(it);
  watch->end();
  if (registry.idle.size() < kMostIdleWatches) {
    registry.idle.push_back(watch);
  } else {
    delete watch;
  }
}

SocketWatch* addWatch(int socket, int window, unsigned message, int events) {
  removeWatch(socket);
  QCoreApplication* loop = QCoreApplication::instance();
  if (loop == nullptr) {
    return nullptr;
  }
  WatchRegistry& registry = watchRegistry();
  SocketWatch* watch = nullptr;
  if (registry.idle.empty()) {
    watch = new SocketWatch(loop);
  } else {
    watch = registry.idle.back();
    registry.idle.pop_back();
  }
  watch->begin(socket, window, message, events, ++registry.lastSerial);
  registry.watches.emplace(socket, watch);
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
  auto notify = [socket, serial, window, message, event, error] {
    // A notification outlives neither its socket nor its registration.
    const SocketWatch* watch = findWatch(socket);
    if (watch == nullptr || watch->serial() != serial) {
      return;
    }
    sendMessage(window, message, static_cast<quintptr>(socket), makeSelectLParam(event, error));
  };
  // On the ring, the wake-up for it reaches the kernel with the pass's other operations.
  if (IoRing* ring = ring_ ? socketRing() : nullptr; ring != nullptr && ring->post(notify)) {
    return;
  }
  QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(notify), Qt::QueuedConnection);
}

const RingNotify& ringNotify() {
  static const RingNotify notify{[](int socket, int event, int error) {
                                   if (const SocketWatch* watch = findWatch(socket)) {
                                     watch->deliverFromRing(event, error);
                                   }
                                 },
                                 [](int socket, int event, int error) {
                                   if (SocketWatch* watch = findWatch(socket)) {
                                     watch->post(event, error);
                                   }
                                 }};
  return notify;
}

void SocketWatch::endDelivery(int socket, quint64 generation) {
  readAhead().evacuate();
  SocketRecord* record = findRecord(socket, generation);
  if (record == nullptr) {
    return;
  }
  if (--record->holding == 0 && record->owedLeft() > 0) {
    flushOwed(socket, *record);
  }
}

bool flushOwed(int socket, SocketRecord& record) {
  const iovec part{record.owed.data() + record.owedOffset, static_cast<size_t>(record.owedLeft())};
  const ssize_t sent = kernelSend(socket, &part, 1);
  const int error = sent < 0 ? errno : 0;
  if (sent >= record.owedLeft()) {
    record.owed.clear();
    record.owedOffset = 0;
    if (SocketWatch* watch = findWatch(socket)) {
      watch->owedOutputChanged();
    }
    return true;
  }
  if (sent >= 0 || wouldBlock(error)) {
    record.owedOffset += std::max<ssize_t>(sent, 0);
    record.full = true;
    if (SocketWatch* watch = findWatch(socket)) {
      watch->owedOutputChanged();
    }
    return false;
  }
  // The caller was told these bytes were sent: the broken connection reaches it as a close
  // with the error, as a failed send outside its call would.
  record.owed.clear();
  record.owedOffset = 0;
  if (SocketWatch* watch = findWatch(socket)) {
    watch->sendBroke(winsockErrorFromErrno(error));
  }
  return false;
}

// Output that was owed when its socket closed: sent when the socket can take it, then the
// close goes on as any other.
class OwedClose : public QObject {
 public:
  OwedClose(int socket, QByteArray owed, QObject* parent)
      : QObject(parent), socket_(socket), owed_(std::move(owed)), notifier_(socket, QSocketNotifier::Write) {
    QObject::connect(&notifier_, &QSocketNotifier::activated, this, [this] { onWritable(); });
  }

 private:
  void onWritable();

  int socket_;
  QByteArray owed_;
  qsizetype offset_ = 0;
  QSocketNotifier notifier_;
};

void closeAfterOutput(int socket);

void OwedClose::onWritable() {
  const iovec part{owed_.data() + offset_, static_cast<size_t>(owed_.size() - offset_)};
  const ssize_t sent = kernelSend(socket_, &part, 1);
  if (sent < 0 && wouldBlock(errno)) {
    return;
  }
  if (sent >= 0 && offset_ + sent < owed_.size()) {
    offset_ += sent;
    return;
  }
  notifier_.setEnabled(false);
  if (sent < 0) {
    ::close(socket_);
  } else {
    closeAfterOutput(socket_);
  }
  deleteLater();
}

bool isSocket(int socket) {
  int type = 0;
  socklen_t length = sizeof type;
  ++callCounts().optionCalls;
  return ::getsockopt(socket, SOL_SOCKET, SO_TYPE, &type, &length) == 0;
}

bool isConnected(int socket) {
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  ++callCounts().endpointReads;
  return ::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) == 0;
}

bool isListening(int socket) {
  int listening = 0;
  socklen_t length = sizeof listening;
  ++callCounts().optionCalls;
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
  if (socket < 0) {
    return failFromErrno();
  }
  newRecord(socket);
  return socket;
}

namespace {

// Shut down for sending and drain, or close at once when nothing is left to wait for.
void closeAfterOutput(int socket) {
  QCoreApplication* loop = QCoreApplication::instance();
  if (loop == nullptr || ::shutdown(socket, SHUT_WR) != 0 || LingeringClose::drainSocket(socket)) {
    ::close(socket);
    return;
  }
  new LingeringClose(socket, loop);
}

}  // namespace

int closeSocket(int socket) {
  LingeringClose::reapFinished();
  if (ringConnection(socket) != nullptr) {
    removeWatch(socket);
    dropRecord(socket);
    closeRingConnection(socket);
    return 0;
  }
  if (ringListener(socket) != nullptr) {
    removeWatch(socket);
    dropRecord(socket);
    closeRingListener(socket);
    ::close(socket);
    return 0;
  }
  SocketRecord* record = socket < 0 ? nullptr : findRecord(socket);
  // A socket the stand-in made or accepted is known to be one, and known to listen or not.
  if (record == nullptr && (socket < 0 || !isSocket(socket))) {
    return fail(kWsaEnotsock);
  }
  removeWatch(socket);
  const bool listening = record != nullptr ? record->listening : isListening(socket);
  QByteArray owed;
  if (record != nullptr && record->owedLeft() > 0) {
    const iovec part{record->owed.data() + record->owedOffset, static_cast<size_t>(record->owedLeft())};
    const ssize_t sent = kernelSend(socket, &part, 1);
    if (sent >= 0 && sent < record->owedLeft()) {
      owed = record->owed.mid(record->owedOffset + sent);
    } else if (sent < 0 && wouldBlock(errno)) {
      owed = record->owed.mid(record->owedOffset);
    }
  }
  if (record != nullptr) {
    dropRecord(socket);
  }
  QCoreApplication* loop = QCoreApplication::instance();
  if (listening || loop == nullptr) {
    ::close(socket);
    return 0;
  }
  if (!owed.isEmpty()) {
    // The caller was told these bytes were sent: they go before the end of the connection.
    new OwedClose(socket, std::move(owed), loop);
    return 0;
  }
  closeAfterOutput(socket);
  return 0;
}

int bindSocket(int socket, quint32 address, int port) {
  const int reuse = 1;
  ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  const sockaddr_in endpoint = makeAddress(address, port);
  if (::bind(socket, reinterpret_cast<const sockaddr*>(&endpoint), sizeof endpoint) != 0) {
    return failFromErrno();
  }
  if (SocketRecord* record = findRecord(socket)) {
    record->bound = true;
    record->localKnown = port != 0;
    record->localAddress = address;
    record->localPort = port;
  }
  return 0;
}

int listenSocket(int socket, int backlog) {
  if (::listen(socket, backlog) != 0) {
    return failFromErrno();
  }
  if (SocketRecord* record = findRecord(socket)) {
    record->listening = true;
  }
  if (SocketWatch* watch = findWatch(socket)) {
    watch->setListening();
  }
  return 0;
}

int acceptSocket(int socket, quint32* peerAddress, int* peerPort) {
  LingeringClose::reapFinished();
  sockaddr_in peer{};
  RingListener* ringSide = ringListener(socket);
  SocketWatch* listener = findWatch(socket);
  int accepted = kInvalidSocket;
  if (ringSide != nullptr) {
    // The ring accepted it already; the next accept waits in the kernel.
    int error = 0;
    quint32 address = 0;
    int port = 0;
    accepted = ringSide->take(&address, &port, &error);
    if (accepted < 0) {
      return fail(error);
    }
    peer = makeAddress(address, port);
  } else {
    accepted = kernelAccept(socket, &peer);
    const int acceptError = errno;
    if (listener != nullptr) {
      listener->afterAccept(accepted < 0 && (acceptError == EMFILE || acceptError == ENFILE || acceptError == ENOBUFS ||
                                             acceptError == ENOMEM));
    }
    if (accepted < 0) {
      return fail(winsockErrorFromErrno(acceptError));
    }
  }
  readEndpoint(0, peer, peerAddress, peerPort);
  SocketRecord& record = newRecord(accepted);
  record.connected = true;
  record.listener = socket;
  record.peerKnown = true;
  record.peerAddress = peer.sin_addr.s_addr;
  record.peerPort = ntohs(peer.sin_port);
  if (const SocketRecord* listening = findRecord(socket)) {
    record.options = listening->options;
    // A listener bound to one address gives its connections that address and its port; one
    // bound to every interface leaves the local address to be asked for.
    if (listening->localKnown && listening->localAddress != kInaddrAny) {
      record.localKnown = true;
      record.localAddress = listening->localAddress;
      record.localPort = listening->localPort;
    }
  }
  if (ringSide != nullptr) {
    RingConnection* connection = addRingConnection(ringSide->ring(), accepted, ringNotify());
    if (const int* asked = findOption(record.options, SOL_SOCKET, SO_SNDBUF)) {
      connection->setSendBufferSize(*asked);
    }
  }
  if (listener != nullptr) {
    SocketWatch* watch = addWatch(accepted, listener->window(), listener->message(), listener->events());
    if (watch != nullptr) {
      watch->setConnected();
      if (ringSide != nullptr) {
        watch->post(kFdWrite, 0);
      } else {
        watch->announceFirstWrite();
      }
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
  const int error = errno;
  SocketRecord* record = findRecord(socket);
  if (record != nullptr) {
    // The local address is the system's choice now.
    record->localKnown = false;
  }
  SocketWatch* watch = findWatch(socket);
  if (result == 0) {
    if (record != nullptr) {
      record->connected = true;
    }
    if (watch != nullptr) {
      watch->connectedNow();
    }
    return 0;
  }
  if (error == EINPROGRESS) {
    if (record != nullptr) {
      record->connected = true;
    }
    if (watch != nullptr) {
      watch->connectStarted();
    }
    // Winsock's answer for a connect that goes on in the background.
    return fail(kWsaEwouldblock);
  }
  return fail(winsockErrorFromErrno(error));
}

namespace {

qint64 sendWouldBlock(int socket) {
  if (SocketWatch* watch = findWatch(socket)) {
    watch->afterSendWouldBlock();
  }
  return fail(kWsaEwouldblock);
}

// How much one kernel call is offered when the socket's send buffer was given a fixed size.
// The system reserves twice the size asked for; offered all of it at once over the loopback
// (a segment can be 64 KiB there), it sends one segment that fills the buffer, and a peer
// with a single segment unacknowledged waits out its acknowledgement delay (about 40 ms)
// before the next can go. Three quarters of the reservation leave room for a second
// segment behind the first; less than that costs a third of the speed of a large file.
// With the system's own, growing buffer the segment size is the limit, never the buffer.
qint64 kernelSendLimit(SocketRecord* record) {
  constexpr qint64 kSmallestLimit = 2048;
  if (record == nullptr) {
    return std::numeric_limits<qint64>::max();
  }
  const int* asked = findOption(record->options, SOL_SOCKET, SO_SNDBUF);
  if (asked == nullptr || *asked <= 0) {
    return std::numeric_limits<qint64>::max();
  }
  return std::max<qint64>(qint64{*asked} * 3 / 2, kSmallestLimit);
}

}  // namespace

qint64 sendSocket(int socket, const char* data, qint64 length) {
  if (RingConnection* ringSide = ringConnection(socket)) {
    int error = 0;
    const qint64 taken = ringSide->send(data, length, &error);
    return taken >= 0 ? taken : fail(error);
  }
  SocketRecord* record = findRecord(socket);
  const bool watched = record != nullptr && findWatch(socket) != nullptr;
  if (record != nullptr && record->full && watched) {
    // The system took less than it was offered last time: until the socket can be written
    // again, asking it once more would only fail.
    return sendWouldBlock(socket);
  }
  const qsizetype owedLeft = record != nullptr ? record->owedLeft() : 0;
  if (record != nullptr && record->holding > 0 && watched && owedLeft + length <= kHoldLimit) {
    // A delivery of this socket is running: what it sends leaves together when it ends.
    if (record->owedOffset > 0) {
      record->owed.remove(0, record->owedOffset);
      record->owedOffset = 0;
    }
    record->owed.append(data, static_cast<qsizetype>(length));
    return length;
  }
  iovec parts[2];
  int count = 0;
  if (owedLeft > 0) {
    parts[count++] = {record->owed.data() + record->owedOffset, static_cast<size_t>(owedLeft)};
  }
  // Owed output is never more than a short head, so only the caller's part is limited.
  const qint64 offered = std::min(length, kernelSendLimit(record));
  parts[count++] = {const_cast<char*>(data), static_cast<size_t>(offered)};
  const ssize_t sent = kernelSend(socket, parts, count);
  if (sent < 0) {
    const int error = errno;
    if (wouldBlock(error)) {
      if (record != nullptr) {
        record->full = true;
      }
      return sendWouldBlock(socket);
    }
    if (record != nullptr) {
      record->owed.clear();
      record->owedOffset = 0;
    }
    return fail(winsockErrorFromErrno(error));
  }
  if (owedLeft > 0) {
    if (sent < owedLeft) {
      record->owedOffset += sent;
      record->full = true;
      return sendWouldBlock(socket);
    }
    record->owed.clear();
    record->owedOffset = 0;
  }
  const qint64 taken = sent - owedLeft;
  if (record != nullptr && taken < offered) {
    record->full = true;
  }
  if (taken == 0) {
    return sendWouldBlock(socket);
  }
  return taken;
}

qint64 receiveSocket(int socket, char* buffer, qint64 length, bool peek) {
  if (RingConnection* ringSide = ringConnection(socket)) {
    int error = 0;
    const qint64 received = ringSide->receive(buffer, length, peek, &error);
    return received >= 0 ? received : fail(error);
  }
  SocketRecord* record = findRecord(socket);
  ReadAhead& ahead = readAhead();
  const bool fromAhead =
      record != nullptr && ahead.socket == socket && ahead.generation == record->generation && ahead.left() > 0;
  const bool held = fromAhead || (record != nullptr && record->inputLeft() > 0);
  if (!held) {
    const ssize_t received = kernelReceive(socket, buffer, static_cast<size_t>(length), peek ? MSG_PEEK : 0);
    const int error = errno;
    if (!peek) {
      if (record != nullptr) {
        record->readSize = static_cast<size_t>(std::max<qint64>(length, 1));
      }
      if (SocketWatch* watch = findWatch(socket)) {
        watch->afterReceive(false);
      }
    }
    return received >= 0 ? received : fail(winsockErrorFromErrno(error));
  }
  qint64 copied = 0;
  if (fromAhead) {
    copied = std::min<qint64>(length, static_cast<qint64>(ahead.left()));
    std::memcpy(buffer, ahead.buffer.get() + ahead.offset, static_cast<size_t>(copied));
    if (!peek) {
      ahead.offset += static_cast<size_t>(copied);
    }
  } else {
    copied = std::min<qint64>(length, record->inputLeft());
    std::memcpy(buffer, record->input.constData() + record->inputOffset, static_cast<size_t>(copied));
    if (!peek) {
      record->inputOffset += copied;
      if (record->inputLeft() == 0) {
        record->input.clear();
        record->inputOffset = 0;
        // Bytes left over from an earlier turn: what the system got since then follows them
        // in the same call, as one read of the system would give both.
        if (copied < length && record->readError == 0) {
          const ssize_t more = kernelReceive(socket, buffer + copied, static_cast<size_t>(length - copied), 0);
          if (more > 0) {
            copied += more;
          } else if (more < 0 && !wouldBlock(errno)) {
            record->readError = winsockErrorFromErrno(errno);
          }
        }
      }
    }
  }
  if (!peek) {
    record->readSize = static_cast<size_t>(std::max<qint64>(length, 1));
    const bool stillHeld = (fromAhead && ahead.left() > 0) || record->inputLeft() > 0;
    if (SocketWatch* watch = findWatch(socket)) {
      watch->afterReceive(stillHeld);
    }
  }
  return copied;
}

int setSocketOption(int socket, int level, int name, int value) {
  int nativeLevel = 0;
  int nativeName = 0;
  if (!nativeOption(level, name, &nativeLevel, &nativeName)) {
    return fail(10042);
  }
  SocketRecord* record = findRecord(socket);
  if (record != nullptr) {
    // The socket holds this value already (set before, or inherited from its listener).
    if (const int* held = findOption(record->options, nativeLevel, nativeName); held != nullptr && *held == value) {
      return 0;
    }
  }
  ++callCounts().optionCalls;
  if (::setsockopt(socket, nativeLevel, nativeName, &value, sizeof value) != 0) {
    return failFromErrno();
  }
  if (record != nullptr) {
    storeOption(record->options, nativeLevel, nativeName, value);
    record->ownOptions = record->listener != kInvalidSocket;
    record->acceptedReadBacks.clear();
  }
  if (nativeLevel == SOL_SOCKET && nativeName == SO_SNDBUF) {
    if (RingConnection* ringSide = ringConnection(socket)) {
      ringSide->setSendBufferSize(value);
    }
  }
  return 0;
}

int getSocketOption(int socket, int level, int name, int* value) {
  int nativeLevel = 0;
  int nativeName = 0;
  if (!nativeOption(level, name, &nativeLevel, &nativeName)) {
    return fail(10042);
  }
  // The buffer sizes of connections accepted with their listener's options are the same for
  // each: read once per listener.
  SocketRecord* record = findRecord(socket);
  SocketRecord* listener = nullptr;
  if (record != nullptr && record->listener != kInvalidSocket && !record->ownOptions && nativeLevel == SOL_SOCKET &&
      (nativeName == SO_RCVBUF || nativeName == SO_SNDBUF)) {
    listener = findRecord(record->listener);
    if (listener != nullptr && listener->listening) {
      if (const int* known = findOption(listener->acceptedReadBacks, nativeLevel, nativeName)) {
        *value = *known;
        return 0;
      }
    } else {
      listener = nullptr;
    }
  }
  socklen_t length = sizeof *value;
  ++callCounts().optionCalls;
  if (::getsockopt(socket, nativeLevel, nativeName, value, &length) != 0) {
    return failFromErrno();
  }
  if (listener != nullptr) {
    storeOption(listener->acceptedReadBacks, nativeLevel, nativeName, *value);
  }
  return 0;
}

int socketLocalEndpoint(int socket, quint32* address, int* port) {
  SocketRecord* record = findRecord(socket);
  if (record != nullptr && record->localKnown) {
    return readEndpoint(0, makeAddress(record->localAddress, record->localPort), address, port);
  }
  sockaddr_in endpoint{};
  socklen_t length = sizeof endpoint;
  ++callCounts().endpointReads;
  const int result = ::getsockname(socket, reinterpret_cast<sockaddr*>(&endpoint), &length);
  // Once bound, or connected, the local end of a socket stays what it is.
  if (result == 0 && record != nullptr && (record->bound || record->listening || record->listener != kInvalidSocket)) {
    record->localKnown = true;
    record->localAddress = endpoint.sin_addr.s_addr;
    record->localPort = ntohs(endpoint.sin_port);
  }
  return readEndpoint(result, endpoint, address, port);
}

int socketPeerEndpoint(int socket, quint32* address, int* port) {
  if (const SocketRecord* record = findRecord(socket); record != nullptr && record->peerKnown) {
    return readEndpoint(0, makeAddress(record->peerAddress, record->peerPort), address, port);
  }
  sockaddr_in endpoint{};
  socklen_t length = sizeof endpoint;
  ++callCounts().endpointReads;
  return readEndpoint(::getpeername(socket, reinterpret_cast<sockaddr*>(&endpoint), &length), endpoint, address, port);
}

int asyncSelect(int socket, int window, unsigned message, int events) {
  if (socket < 0 || (findRecord(socket) == nullptr && !isSocket(socket))) {
    return fail(kWsaEnotsock);
  }
  if (events == 0) {
    removeWatch(socket);
    return 0;
  }
  if (findRecord(socket) == nullptr) {
    newRecord(socket);
  }
  SocketWatch* watch = addWatch(socket, window, message, events);
  if (watch == nullptr) {
    return fail(kWsaEinval);
  }
  if (isListening(socket)) {
    findRecord(socket)->listening = true;
    watch->setListening();
  } else if (isConnected(socket)) {
    watch->setConnected();
    watch->post(kFdWrite, 0);
  }
  return 0;
}

SocketCallCounts socketCallCounts() {
  SocketCallCounts counts = callCounts();
  const RingCallCounts ring = ringCallCounts();
  counts.sends += ring.sends;
  counts.receives += ring.receives;
  counts.accepts += ring.accepts;
  return counts;
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
