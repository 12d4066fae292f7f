#pragma once

#include <QByteArray>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <memory>

// The far end of a loopback TCP connection, written with plain system calls so that tests
// of the socket layer do not depend on it. It connects without blocking and reads what
// arrives from the event loop, at most readChunk bytes per turn (a slow reader), or not at
// all while paused (a reader that never reads). With a source address (another loopback
// address such as "127.0.0.2") the connection comes from there, as from another client.
class TcpPeer {
 public:
  explicit TcpPeer(int port, int receiveBufferSize = 0, const char* sourceAddress = nullptr) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (receiveBufferSize > 0) {
      ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBufferSize, sizeof receiveBufferSize);
    }
    if (sourceAddress != nullptr) {
      sockaddr_in source{};
      source.sin_family = AF_INET;
      ::inet_pton(AF_INET, sourceAddress, &source.sin_addr);
      ::bind(fd_, reinterpret_cast<const sockaddr*>(&source), sizeof source);
    }
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<quint16>(port));
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&server), sizeof server) == 0) {
      connected = true;
    } else {
      connector_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Write);
      QObject::connect(connector_.get(), &QSocketNotifier::activated, [this] {
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length);
        connected = error == 0;
        connectError = error;
        connector_->setEnabled(false);
      });
    }
    reader_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(reader_.get(), &QSocketNotifier::activated, [this] { readSome(); });
  }
  ~TcpPeer() { close(); }
  TcpPeer(const TcpPeer&) = delete;
  TcpPeer& operator=(const TcpPeer&) = delete;

  int fd() const { return fd_; }
  int localPort() const {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length);
    return ntohs(local.sin_port);
  }

  // Sends what the socket takes now; returns the count (the loopback takes small data whole).
  qint64 send(const QByteArray& data) {
    const ssize_t sent = ::send(fd_, data.constData(), static_cast<size_t>(data.size()), MSG_NOSIGNAL);
    return sent < 0 ? -1 : sent;
  }

  void pauseReading() { reader_->setEnabled(false); }
  // One read now, whatever the pause.
  void readNow() { readSome(); }
  void resumeReading() { reader_->setEnabled(true); }
  void setReadChunk(int bytes) { readChunk_ = bytes; }

  // Ends the connection with a reset instead of the usual close.
  void reset() {
    const linger abortive{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    close();
  }
  void shutdownWrite() { ::shutdown(fd_, SHUT_WR); }
  void close() {
    reader_.reset();
    connector_.reset();
    if (fd_ >= 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }

  bool connected = false;
  int connectError = 0;  // errno of a failed connect
  QByteArray received;
  bool endOfStream = false;
  int readError = 0;  // errno of a failed read
  int reads = 0;      // turns in which the peer read

 private:
  void readSome() {
    QByteArray chunk(readChunk_, '\0');
    const ssize_t got = ::recv(fd_, chunk.data(), static_cast<size_t>(chunk.size()), 0);
    ++reads;
    if (got > 0) {
      received.append(chunk.constData(), got);
    } else if (got == 0) {
      endOfStream = true;
      reader_->setEnabled(false);
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      readError = errno;
      reader_->setEnabled(false);
    }
  }

  int fd_ = -1;
  int readChunk_ = 65536;
  std::unique_ptr<QSocketNotifier> reader_;
  std::unique_ptr<QSocketNotifier> connector_;
};
