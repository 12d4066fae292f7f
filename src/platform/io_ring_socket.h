#pragma once

#include "platform/io_ring.h"

#include <QByteArray>
#include <QtGlobal>

#include <functional>
#include <memory>

// The sockets of the stand-in whose kernel calls go through the ring (io_ring.h): their
// input, output, accepts and closes become operations of the loop's pass, and their
// completions become the same notifications that readiness gives on the direct road. The
// stand-in (async_socket.cpp) keeps the registrations and asks these for the data.
namespace orv::platform {

// How the ring's side of a socket reaches the registration of the socket, whichever it is
// when the time comes: deliver runs the window's procedure now (from the loop), post
// queues the notification for the loop's next turn.
struct RingNotify {
  std::function<void(int socket, int event, int error)> deliver;
  std::function<void(int socket, int event, int error)> post;
};

// Whether new listeners and their connections take the ring: when the switch allows it
// (IoRing::setEnabled, ORV_IO_RING) and the kernel gives one.
IoRing* socketRing();

// The kernel operations the ring's sockets have asked for, by kind, as the direct road
// counts its system calls (async_socket.h adds them to its own).
struct RingCallCounts {
  quint64 sends = 0;
  quint64 receives = 0;
  quint64 accepts = 0;
};
RingCallCounts ringCallCounts();

class RingConnection;
void forgetClosingRingConnection(RingConnection* connection);

// A connected socket: one receive waits in the kernel while nothing waits here for the
// caller; what the caller sends is gathered during the pass and leaves in one operation.
class RingConnection : public std::enable_shared_from_this<RingConnection> {
 public:
  // Output taken beyond what the kernel has: past this, a send would block.
  static constexpr qsizetype kOutputLimit = 256 * 1024;
  static constexpr qsizetype kDefaultReadSize = 16384;
  static constexpr int kLingerMs = 2000;

  RingConnection(IoRing& ring, int socket, const RingNotify& notify);
  ~RingConnection();
  RingConnection(const RingConnection&) = delete;
  RingConnection& operator=(const RingConnection&) = delete;

  // Starts the first receive.
  void start();

  // As recv: the count, 0 at the end of the stream, or -1 with the Winsock error.
  qint64 receive(char* buffer, qint64 length, bool peek, int* error);
  // As send: the count taken, or -1 with the Winsock error (10035 when full).
  qint64 send(const char* data, qint64 length, int* error);
  // A new registration: what already waits is announced to it.
  void registered();
  // The caller sized the socket's send buffer: output taken here stays within what the
  // kernel would hold, so that progress follows the peer as closely as on the direct road,
  // and one operation is offered what one direct call would be.
  void setSendBufferSize(int bytes);

  // The caller is done with the socket: what it sent still leaves, then the connection is
  // shut down for sending, its input drained until the peer ends it (or the linger time is
  // up), and the descriptor closed.
  void close();

 private:
  void startReceive();
  void onReceived(int result, QByteArray data);
  void announceEnd(bool later);
  qsizetype inputLeft() const;
  void prepareSend();
  void sendNext();
  void onSent(int result);
  void finishClose();
  void drain();
  void onDrained(int result, QByteArray data);
  void closeDescriptor();
  qsizetype outputWaiting() const;
  friend void forgetClosingRingConnection(RingConnection* connection);

  IoRing& ring_;
  int socket_;
  RingNotify notify_;

  QByteArray input_;
  qsizetype inputOffset_ = 0;
  QByteArray spare_;     // the buffer of the next receive
  bool readDue_ = true;  // the next input is announced with FD_READ
  bool closeAnnounced_ = false;
  IoRing::OperationId receiving_ = 0;
  qsizetype readSize_ = kDefaultReadSize;
  bool ended_ = false;
  int endError_ = 0;  // Winsock error of a broken input, 0 for a peer's end

  qsizetype outputLimit_ = kOutputLimit;
  qsizetype sendLimit_ = kOutputLimit;  // offered to the kernel in one operation
  bool endAfterSend_ = false;           // the peer's end waits for the send in flight, which may fail
  QByteArray queued_;                   // taken in this pass, not yet handed to the kernel
  QByteArray sending_;
  qsizetype sendingOffset_ = 0;
  bool sendInFlight_ = false;
  bool preparing_ = false;
  bool writeWanted_ = false;
  int sendError_ = 0;
  // The connection's failure reached the caller once (a send, a receive or the end's
  // notice): as the kernel's own socket error, it is told to whichever call meets it first,
  // and after that the input just ends.
  bool failureTold_ = false;

  bool closing_ = false;
  bool descriptorClosed_ = false;
  qint64 lingerDeadline_ = 0;
};

// A listener: one accept waits in the kernel; the connection it brings waits here until
// the caller takes it.
class RingListener : public std::enable_shared_from_this<RingListener> {
 public:
  RingListener(IoRing& ring, int socket, const RingNotify& notify);
  ~RingListener();
  RingListener(const RingListener&) = delete;
  RingListener& operator=(const RingListener&) = delete;

  void start();
  IoRing& ring() const { return ring_; }
  // As accept4: the new descriptor, or -1 with the Winsock error.
  int take(quint32* address, int* port, int* error);
  void registered();
  // Stops accepting at once (the listening socket is free when this returns); a
  // connection accepted and not taken is closed.
  void close();

 private:
  void onAccepted(int result, quint32 address, int port);

  IoRing& ring_;
  int socket_;
  RingNotify notify_;
  IoRing::OperationId accepting_ = 0;
  int ready_ = -1;
  int readyError_ = 0;
  quint32 readyAddress_ = 0;
  int readyPort_ = 0;
  bool backOff_ = false;
  bool closed_ = false;
};

// The ring's sockets by descriptor, while the caller holds them. A closed connection stays
// alive by itself until its descriptor is closed. All of them go when the ring ends.
RingConnection* ringConnection(int socket);
// Made and started.
RingConnection* addRingConnection(IoRing& ring, int socket, const RingNotify& notify);
void closeRingConnection(int socket);
RingListener* ringListener(int socket);
RingListener* addRingListener(IoRing& ring, int socket, const RingNotify& notify);
void closeRingListener(int socket);
// Connections closed by the caller whose descriptors are not closed yet.
int closingRingConnections();

}  // namespace orv::platform
