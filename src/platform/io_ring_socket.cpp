#include "platform/io_ring_socket.h"

#include "platform/async_socket.h"
#include "platform/winsock_errors.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_map>

namespace orv::platform {
namespace {

constexpr int kAcceptBackOffMs = 100;
constexpr qsizetype kDrainSize = 16384;
// Each connection holds its receive buffer while the receive waits in the kernel: kept
// small, so that a hundred idle connections cost no more memory than on the direct road.
constexpr qsizetype kLargestRead = 16384;
constexpr qsizetype kSmallestSend = 2048;

int winsockError(int negativeErrno) {
  return winsockErrorFromErrno(-negativeErrno);
}

RingCallCounts& counts() {
  static RingCallCounts instance;
  return instance;
}

struct RingSockets {
  IoRing* ring = nullptr;
  std::unordered_map<int, std::shared_ptr<RingConnection>> connections;
  std::unordered_map<RingConnection*, std::shared_ptr<RingConnection>> closing;
  std::unordered_map<int, std::shared_ptr<RingListener>> listeners;
};

RingSockets& ringSockets() {
  static RingSockets instance;
  return instance;
}

// The sockets hold the ring: they go first when it ends.
void followRing(IoRing& ring) {
  RingSockets& sockets = ringSockets();
  if (sockets.ring == &ring) {
    return;
  }
  sockets.ring = &ring;
  ring.whenEnding([&ring] {
    RingSockets& ending = ringSockets();
    if (ending.ring != &ring) {
      return;
    }
    ending.ring = nullptr;
    auto connections = std::move(ending.connections);
    auto closing = std::move(ending.closing);
    auto listeners = std::move(ending.listeners);
    ending.connections.clear();
    ending.closing.clear();
    ending.listeners.clear();
  });
}

}  // namespace

RingCallCounts ringCallCounts() {
  return counts();
}

RingConnection* ringConnection(int socket) {
  auto& connections = ringSockets().connections;
  const auto it = connections.find(socket);
  return it == connections.end() ? nullptr : it->second.get();
}

RingConnection* addRingConnection(IoRing& ring, int socket, const RingNotify& notify) {
  followRing(ring);
  auto connection = std::make_shared<RingConnection>(ring, socket, notify);
  RingConnection* made = connection.get();
  ringSockets().connections[socket] = std::move(connection);
  made->start();
  return made;
}

void closeRingConnection(int socket) {
  RingSockets& sockets = ringSockets();
  const auto it = sockets.connections.find(socket);
  if (it == sockets.connections.end()) {
    return;
  }
  std::shared_ptr<RingConnection> connection = std::move(it->second);
  sockets.connections.erase(it);
  sockets.closing.emplace(connection.get(), connection);
  connection->close();
}

void forgetClosingRingConnection(RingConnection* connection) {
  ringSockets().closing.erase(connection);
}

int closingRingConnections() {
  return static_cast<int>(ringSockets().closing.size());
}

RingListener* ringListener(int socket) {
  auto& listeners = ringSockets().listeners;
  const auto it = listeners.find(socket);
  return it == listeners.end() ? nullptr : it->second.get();
}

RingListener* addRingListener(IoRing& ring, int socket, const RingNotify& notify) {
  followRing(ring);
  auto listener = std::make_shared<RingListener>(ring, socket, notify);
  RingListener* made = listener.get();
  ringSockets().listeners[socket] = std::move(listener);
  made->start();
  return made;
}

void closeRingListener(int socket) {
  RingSockets& sockets = ringSockets();
  const auto it = sockets.listeners.find(socket);
  if (it == sockets.listeners.end()) {
    return;
  }
  std::shared_ptr<RingListener> listener = std::move(it->second);
  sockets.listeners.erase(it);
  listener->close();
}

IoRing* socketRing() {
  return IoRing::instance();
}

RingConnection::RingConnection(IoRing& ring, int socket, const RingNotify& notify)
    : ring_(ring), socket_(socket), notify_(notify) {}

RingConnection::~RingConnection() {
  // Only when the ring itself ends before the connection does: nothing is pending then.
  if (!descriptorClosed_) {
    ::close(socket_);
  }
}

void RingConnection::start() {
  startReceive();
}

qsizetype RingConnection::inputLeft() const {
  return input_.size() - inputOffset_;
}

void RingConnection::startReceive() {
  // One receive waits in the kernel while less than a read waits here, as the kernel's own
  // buffer would fill while the caller is busy.
  if (ended_ || closing_ || receiving_ != 0 || inputLeft() >= readSize_) {
    return;
  }
  QByteArray buffer = std::move(spare_);
  spare_ = QByteArray();
  buffer.resize(readSize_);
  std::weak_ptr<RingConnection> self = weak_from_this();
  ++counts().receives;
  receiving_ = ring_.receive(socket_, std::move(buffer), [self](int result, QByteArray data) {
    if (auto connection = self.lock()) {
      connection->onReceived(result, std::move(data));
    }
  });
  if (receiving_ == 0) {
    ended_ = true;
    endError_ = kWsaEnobufs;
    announceEnd(true);
  }
}

void RingConnection::onReceived(int result, QByteArray data) {
  receiving_ = 0;
  if (result > 0) {
    if (inputLeft() == 0) {
      spare_ = std::move(input_);
      input_ = std::move(data);
      inputOffset_ = 0;
    } else {
      input_.remove(0, inputOffset_);
      inputOffset_ = 0;
      input_.append(data);
      spare_ = std::move(data);
    }
    startReceive();
    if (readDue_) {
      readDue_ = false;
      notify_.deliver(socket_, kFdRead, 0);
    }
    return;
  }
  spare_ = std::move(data);
  if (result == -EINTR || result == -EAGAIN) {
    startReceive();
    return;
  }
  ended_ = true;
  endError_ = result != 0 ? winsockError(result) : sendError_;
  if (result == 0 && sendInFlight_) {
    endAfterSend_ = true;
    return;
  }
  if (inputLeft() == 0 && readDue_) {
    announceEnd(false);
  }
}

void RingConnection::setSendBufferSize(int bytes) {
  if (bytes > 0) {
    // As on the direct road: one operation is offered three quarters of what the kernel
    // reserves (it doubles what it is asked for), so that one segment filling the buffer
    // does not leave the peer waiting out its delayed acknowledgement; what is taken waiting
    // stays within the reservation.
    sendLimit_ = std::max<qsizetype>(static_cast<qsizetype>(bytes) * 3 / 2, kSmallestSend);
    outputLimit_ = std::max<qsizetype>(2 * static_cast<qsizetype>(bytes), sendLimit_);
  }
}

// FD_CLOSE once, after the input the caller has not taken.
void RingConnection::announceEnd(bool later) {
  if (closeAnnounced_) {
    return;
  }
  closeAnnounced_ = true;
  readDue_ = false;
  const int error = failureTold_ ? 0 : endError_;
  failureTold_ = failureTold_ || error != 0;
  if (later) {
    notify_.post(socket_, kFdClose, error);
  } else {
    notify_.deliver(socket_, kFdClose, error);
  }
}

qint64 RingConnection::receive(char* buffer, qint64 length, bool peek, int* error) {
  if (length > 0) {
    readSize_ = std::min<qsizetype>(length, kLargestRead);
  }
  const qsizetype left = inputLeft();
  if (left > 0) {
    const qsizetype count = std::min<qsizetype>(left, length);
    std::memcpy(buffer, input_.constData() + inputOffset_, static_cast<size_t>(count));
    if (!peek) {
      inputOffset_ += count;
      if (inputLeft() > 0) {
        // Winsock announces what is left with another FD_READ.
        notify_.post(socket_, kFdRead, 0);
      } else if (ended_) {
        announceEnd(true);
      } else {
        readDue_ = true;
      }
      startReceive();
    }
    return count;
  }
  if (!peek && !ended_) {
    readDue_ = true;
    startReceive();
  }
  if (ended_) {
    if (endError_ != 0 && !failureTold_) {
      failureTold_ = !peek;
      *error = endError_;
      return -1;
    }
    return 0;
  }
  *error = kWsaEwouldblock;
  return -1;
}

qsizetype RingConnection::outputWaiting() const {
  return queued_.size() + (sendInFlight_ ? sending_.size() - sendingOffset_ : 0);
}

qint64 RingConnection::send(const char* data, qint64 length, int* error) {
  if (sendError_ != 0 || (ended_ && endError_ != 0)) {
    *error = sendError_ != 0 ? sendError_ : endError_;
    failureTold_ = true;
    return -1;
  }
  const qsizetype room = outputLimit_ - outputWaiting();
  if (room <= 0) {
    writeWanted_ = true;
    *error = kWsaEwouldblock;
    return -1;
  }
  const qsizetype count = std::min<qsizetype>(room, length);
  queued_.append(data, count);
  if (!preparing_ && !sendInFlight_) {
    // What the rest of the pass sends joins this in one operation.
    preparing_ = true;
    std::weak_ptr<RingConnection> self = weak_from_this();
    ring_.beforeSubmit([self] {
      if (auto connection = self.lock()) {
        connection->prepareSend();
      }
    });
  }
  return count;
}

void RingConnection::prepareSend() {
  preparing_ = false;
  if (sendInFlight_ || queued_.isEmpty()) {
    return;
  }
  // What was taken leaves in operations of at most the limit each, from the one buffer.
  sending_ = std::move(queued_);
  queued_ = QByteArray();
  sendingOffset_ = 0;
  sendNext();
}

void RingConnection::sendNext() {
  sendInFlight_ = true;
  ++counts().sends;
  std::weak_ptr<RingConnection> self = weak_from_this();
  const IoRing::OperationId id = ring_.send(
      socket_, sending_, sendingOffset_,
      [self](int result) {
        if (auto connection = self.lock()) {
          connection->onSent(result);
        }
      },
      sendLimit_);
  if (id == 0) {
    onSent(-ENOBUFS);
  }
}

void RingConnection::onSent(int result) {
  sendInFlight_ = false;
  if (result < 0) {
    sendError_ = winsockError(result);
    queued_.clear();
    sending_ = QByteArray();
  } else {
    sendingOffset_ += result;
    if (sendingOffset_ < sending_.size()) {
      // The next part (or the rest of one a signal stopped early) goes on at once.
      sendNext();
      return;
    }
    sending_ = QByteArray();
    sendingOffset_ = 0;
  }
  if (!queued_.isEmpty() && !preparing_) {
    preparing_ = true;
    std::weak_ptr<RingConnection> self = weak_from_this();
    ring_.beforeSubmit([self] {
      if (auto connection = self.lock()) {
        connection->prepareSend();
      }
    });
  }
  if (closing_) {
    if (!preparing_ && !sendInFlight_) {
      finishClose();
    }
    return;
  }
  if (endAfterSend_) {
    // A reset meets whichever call comes first; the peer's end carries it when the send had it.
    endAfterSend_ = false;
    if (result < 0) {
      endError_ = sendError_;
    }
    if (inputLeft() == 0 && readDue_) {
      announceEnd(false);
    }
  }
  if (writeWanted_ && outputWaiting() < outputLimit_) {
    writeWanted_ = false;
    notify_.deliver(socket_, kFdWrite, 0);
  }
}

void RingConnection::registered() {
  // A new registration hears of what already waits, as the direct road's readiness tells it.
  closeAnnounced_ = false;
  if (inputLeft() > 0) {
    readDue_ = false;
    notify_.post(socket_, kFdRead, 0);
  } else if (ended_) {
    announceEnd(true);
  } else {
    readDue_ = true;
  }
}

void RingConnection::close() {
  if (closing_) {
    return;
  }
  closing_ = true;
  writeWanted_ = false;
  if (receiving_ != 0) {
    ring_.cancel(receiving_);
    receiving_ = 0;
  }
  input_ = QByteArray();
  inputOffset_ = 0;
  spare_ = QByteArray();
  if (!preparing_ && !sendInFlight_) {
    finishClose();
  }
}

void RingConnection::finishClose() {
  if (lingerDeadline_ != 0 || descriptorClosed_) {
    return;
  }
  lingerDeadline_ = QDeadlineTimer::current().deadline() + kLingerMs;
  // A close with input still unread would answer the peer with a reset that could destroy
  // the last data sent: shut down for sending, and read until the peer ends too. The
  // shutdown is a direct call: the ring runs it in a kernel worker, which would find the
  // descriptor only then, when it may be another socket's already.
  if (sendError_ != 0 || (ended_ && endError_ != 0) || ::shutdown(socket_, SHUT_WR) != 0 || ended_) {
    closeDescriptor();
    return;
  }
  drain();
}

void RingConnection::drain() {
  const qint64 left = lingerDeadline_ - QDeadlineTimer::current().deadline();
  if (left <= 0) {
    closeDescriptor();
    return;
  }
  input_.resize(kDrainSize);
  std::weak_ptr<RingConnection> self = weak_from_this();
  const IoRing::OperationId id = ring_.receive(
      socket_, std::move(input_),
      [self](int result, QByteArray data) {
        if (auto connection = self.lock()) {
          connection->onDrained(result, std::move(data));
        }
      },
      static_cast<int>(left));
  input_ = QByteArray();
  if (id == 0) {
    closeDescriptor();
  }
}

void RingConnection::onDrained(int result, QByteArray data) {
  input_ = std::move(data);
  if (result > 0 || result == -EINTR || result == -EAGAIN) {
    drain();
    return;
  }
  closeDescriptor();
}

void RingConnection::closeDescriptor() {
  if (descriptorClosed_) {
    return;
  }
  descriptorClosed_ = true;
  input_ = QByteArray();
  if (ring_.close(socket_, {}) == 0) {
    ::close(socket_);
  }
  // The last owner may be the closing set: nothing of this is touched afterwards.
  forgetClosingRingConnection(this);
}

RingListener::RingListener(IoRing& ring, int socket, const RingNotify& notify)
    : ring_(ring), socket_(socket), notify_(notify) {}

RingListener::~RingListener() {
  if (ready_ >= 0) {
    ::close(ready_);
  }
}

void RingListener::start() {
  if (closed_ || accepting_ != 0 || ready_ >= 0 || readyError_ != 0) {
    return;
  }
  std::weak_ptr<RingListener> self = weak_from_this();
  ++counts().accepts;
  accepting_ = ring_.accept(socket_, [self](int result, quint32 address, int port) {
    if (auto listener = self.lock()) {
      listener->onAccepted(result, address, port);
    }
  });
}

void RingListener::onAccepted(int result, quint32 address, int port) {
  accepting_ = 0;
  if (result >= 0) {
    ready_ = result;
    readyAddress_ = address;
    readyPort_ = port;
  } else if (result == -EINTR || result == -EAGAIN) {
    start();
    return;
  } else {
    readyError_ = winsockError(result);
    backOff_ = result == -EMFILE || result == -ENFILE || result == -ENOBUFS || result == -ENOMEM;
  }
  notify_.deliver(socket_, kFdAccept, 0);
}

int RingListener::take(quint32* address, int* port, int* error) {
  if (ready_ >= 0) {
    const int accepted = ready_;
    ready_ = -1;
    if (address != nullptr) {
      *address = readyAddress_;
    }
    if (port != nullptr) {
      *port = readyPort_;
    }
    start();
    return accepted;
  }
  if (readyError_ != 0) {
    *error = readyError_;
    readyError_ = 0;
    if (backOff_) {
      // Out of descriptors or memory: the connection stays queued, and asking again at once
      // would spin. Ask again a little later.
      backOff_ = false;
      std::weak_ptr<RingListener> self = weak_from_this();
      QTimer::singleShot(kAcceptBackOffMs, QCoreApplication::instance(), [self] {
        if (auto listener = self.lock()) {
          listener->start();
        }
      });
    } else {
      start();
    }
    return -1;
  }
  start();
  *error = kWsaEwouldblock;
  return -1;
}

void RingListener::registered() {
  if (ready_ >= 0 || readyError_ != 0) {
    notify_.post(socket_, kFdAccept, 0);
  }
}

void RingListener::close() {
  closed_ = true;
  if (accepting_ != 0) {
    ring_.cancel(accepting_);
    accepting_ = 0;
    // The waiting accept holds the listening socket: let it go now, so that the port is
    // free when the caller closes it.
    ring_.flush();
  }
  if (ready_ >= 0) {
    ::close(ready_);
    ready_ = -1;
  }
}

}  // namespace orv::platform
