#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include "platform/winsock_errors.h"

// Non-blocking IPv4 TCP sockets whose readiness reaches a message window as the socket
// notification message, with the rules of the Winsock asynchronous selection:
// - FD_ACCEPT once, and again after each accept;
// - FD_READ once, and again after each recv (while the peer keeps the connection);
// - FD_WRITE once when a connection is made or accepted, then only after a send failed
//   with "would block", when the socket can take data again;
// - FD_CONNECT when an outgoing connect ends (its error in the high word);
// - FD_CLOSE once, when the peer ends the connection (0) or it breaks (the error).
// A notification reaches the window as (message, socket, makeSelectLParam(event, error)),
// always from the event loop, never inside a call of the functions below: readiness that
// the loop sees is delivered as the loop sees it; what a call itself brings (FD_WRITE
// after an accept or a registration, FD_CONNECT) is posted and delivered later. Closing or
// re-registering a socket drops the notifications still queued for it. Every failing call returns -1 (or the
// invalid value it names) and leaves its Winsock error number for lastSocketError().
// Names and lookups are in host_lookup.h.
namespace orv::platform {

inline constexpr int kInvalidSocket = -1;
inline constexpr int kSocketFailed = -1;
inline constexpr quint32 kInaddrNone = 0xFFFFFFFFu;
inline constexpr quint32 kInaddrAny = 0;

// Notification codes (the low word of lParam).
inline constexpr int kFdRead = 1;
inline constexpr int kFdWrite = 2;
inline constexpr int kFdOob = 4;
inline constexpr int kFdAccept = 8;
inline constexpr int kFdConnect = 16;
inline constexpr int kFdClose = 32;

// Address family, type and protocol of a TCP socket.
inline constexpr int kAfInet = 2;
inline constexpr int kSockStream = 1;
inline constexpr int kIpProtoTcp = 6;

// Option levels and names, with their Winsock values.
inline constexpr int kSolSocket = 0xFFFF;
inline constexpr int kSoKeepAlive = 0x0008;
inline constexpr int kSoDontRoute = 0x0010;
inline constexpr int kSoSndBuf = 0x1001;
inline constexpr int kSoRcvBuf = 0x1002;
inline constexpr int kSoSndLowat = 0x1003;
inline constexpr int kSoRcvLowat = 0x1004;
inline constexpr int kTcpNoDelay = 0x0001;  // level kIpProtoTcp

inline constexpr qintptr makeSelectLParam(int event, int error) {
  return static_cast<qintptr>((static_cast<quint32>(error & 0xFFFF) << 16) | static_cast<quint32>(event & 0xFFFF));
}

// The library needs no start or stop; both answer 0 and keep their place in the sequence.
int wsaStartup(int version);
int wsaCleanup();

int createSocket(int family, int type, int protocol);

// Ends the socket. A connection is shut down for sending first and its unread input
// drained until the peer ends it too (for at most a few seconds, in the background), so
// that closing never answers the peer with a reset that could destroy the last data sent.
int closeSocket(int socket);

// Binding lets the port be taken again while old connections of it linger in TIME_WAIT,
// as Winsock does; a port another socket listens on still fails (10048).
int bindSocket(int socket, quint32 address, int port);
int listenSocket(int socket, int backlog);

// The accepted socket carries the listener's registration and the listener's options;
// its peer (and, for a listener bound to one address, its local end) is known from the
// accept, without asking the system again. peerAddress and peerPort may be null.
int acceptSocket(int socket, quint32* peerAddress, int* peerPort);

// A connect that goes on in the background fails with 10035 (would block); FD_CONNECT
// then tells how it ended.
int connectSocket(int socket, quint32 address, int port);

// Never raises SIGPIPE; a broken connection fails with 10058 or 10054. Takes as much as
// the socket's buffer allows in one system call. While a notification of the socket is
// being delivered, small sends are held and leave together in one call when the delivery
// ends (a head and its body); a connection that breaks then reports it as FD_CLOSE with the
// error. After a send the system took only in part, the next one fails with "would block"
// without asking the system again, and FD_WRITE follows as usual.
qint64 sendSocket(int socket, const char* data, qint64 length);
// The read notification has read already: the bytes it announced wait in the stand-in and
// are given from there (with what else arrived, when some were left from an earlier turn).
qint64 receiveSocket(int socket, char* buffer, qint64 length, bool peek = false);

int setSocketOption(int socket, int level, int name, int value);
int getSocketOption(int socket, int level, int name, int* value);

// address in network order, port in host order.
int socketLocalEndpoint(int socket, quint32* address, int* port);
int socketPeerEndpoint(int socket, quint32* address, int* port);

// Starts (events not 0) or ends (events 0) the notifications of a socket.
int asyncSelect(int socket, int window, unsigned message, int events);

// The system calls the stand-in has made for sockets, by kind, since the start: for tests
// and measurements. Through the loop's ring (io_ring.h), each operation counts as the call
// it stands for.
struct SocketCallCounts {
  quint64 sends = 0;
  quint64 receives = 0;
  quint64 accepts = 0;
  quint64 endpointReads = 0;  // local or peer address
  quint64 optionCalls = 0;    // setting, reading or probing an option
};
SocketCallCounts socketCallCounts();

// Dotted text <-> address in network order; kInaddrNone for text that is not an address.
quint32 inetAddress(const QString& text);
QString inetDottedText(quint32 address);

}  // namespace orv::platform
