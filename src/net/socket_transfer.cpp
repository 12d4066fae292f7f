#include "core/configuration.h"
#include "net/socket_log.h"
#include "net/socket_master.h"
#include "net/socket_registry.h"
#include "platform/async_socket.h"
#include "platform/codepage.h"
#include "platform/winsock_errors.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace orv::net {
namespace {

// The size of each read when the platform cannot tell its receive-buffer size.
constexpr int kFallbackReadSize = 8192;

SocketError wrongState(const QString& source) {
  return SocketError(kErrWrongState, QString::fromUtf16(kTextWrongState), source);
}

}  // namespace

void clsSocketMaster::SendDataB(const QByteArray& data) {
  if (state_ != SocketState::sckConnected) {
    throw wrongState(QStringLiteral("clsSocketMaster.SendData"));
  }
  if (data.isEmpty()) {
    return;
  }
  const bool wasEmpty = BytesQueued() == 0;
  if (sendOffset_ > 0 && sendOffset_ == sendBuffer_.size()) {
    sendBuffer_.clear();
    sendOffset_ = 0;
  }
  modSocketMaster::AppendToSendBuffer(data, sendBuffer_);
  if (wasEmpty) {
    SendBufferedData();
  }
}

void clsSocketMaster::SendData(const QString& data) {
  SendDataB(platform::toAnsi(data));
}

void clsSocketMaster::SendBufferedData() {
  // Events raised below may queue more data (the next block of a file): the loop that is
  // already running sends it, so the stack does not grow with each block.
  if (sending_) {
    return;
  }
  struct SendingMark {
    bool& sending;
    std::shared_ptr<bool> alive;
    ~SendingMark() {
      if (*alive) {
        sending = false;
      }
    }
  };
  sending_ = true;
  const SendingMark mark{sending_, alive_};
  while (BytesQueued() > 0 && state_ == SocketState::sckConnected) {
    // Everything waiting is handed to the platform, which takes it in as few system calls as
    // the socket's buffer allows. What it took is then told piece by piece, each piece as
    // large as one call of at most the maximum send plus one byte would have been, so that
    // the progress events stay what they are.
    const char* waiting = sendBuffer_.constData() + sendOffset_;
    const qint64 queued = BytesQueued();
    qint64 sent = 0;
    qint64 taken = 0;
    while (sent < queued && (taken = platform::sendSocket(socketHandle_, waiting + sent, queued - sent)) > 0) {
      sent += taken;
    }
    const int error = sent == queued ? 0 : taken == 0 ? platform::kWsaEwouldblock : platform::lastSocketError();
    if (sent > 0 && !ReportSentPieces(sent)) {
      return;
    }
    if (error == 0) {
      continue;
    }
    if (error == platform::kWsaEwouldblock) {
      logSocketEvent(QStringLiteral("WARNING: Send buffer full, waiting..."));
      return;
    }
    if (state_ == SocketState::sckConnected) {
      SetState(SocketState::sckError);
      ReportError(error, QStringLiteral("clsSocketMaster.SendBufferedData"));
    }
    return;
  }
}

bool clsSocketMaster::ReportSentPieces(qint64 sent) {
  const qint64 pieceSize = static_cast<qint64>(maxSend_) + 1;
  qint64 left = sent;
  while (left > 0) {
    // A handler that closed the connection ends the telling: the bytes are gone anyway.
    if (state_ != SocketState::sckConnected || BytesQueued() == 0) {
      return false;
    }
    const qsizetype waiting = BytesQueued();
    const qsizetype piece = static_cast<qsizetype>(std::min({left, pieceSize, static_cast<qint64>(waiting)}));
    left -= piece;
    logSocketEvent([piece] { return QStringLiteral("OK Bytes sent: ") + QString::number(piece); });
    bytesSent_ += static_cast<double>(piece);
    if (piece >= waiting) {
      logSocketEvent(QStringLiteral("OK Finished SENDING"));
      sendBuffer_.clear();
      sendOffset_ = 0;
      if (!raise(events.SendProgress, static_cast<int>(piece), 0) || !raise(events.SendComplete)) {
        return false;
      }
      continue;
    }
    sendOffset_ += piece;
    // Keep the buffer from growing without end while a long transfer goes on.
    if (sendOffset_ > (1 << 20) && sendOffset_ * 2 > sendBuffer_.size()) {
      sendBuffer_.remove(0, sendOffset_);
      sendOffset_ = 0;
    }
    if (!raise(events.SendProgress, static_cast<int>(piece), static_cast<int>(BytesQueued()))) {
      return false;
    }
  }
  return true;
}

int clsSocketMaster::RecvDataToBuffer() {
  const int size = receiveBufferSize_ > 0 ? receiveBufferSize_ : kFallbackReadSize;
  if (readScratch_.size() != size) {
    readScratch_.resize(size);
  }
  const qint64 received = platform::receiveSocket(socketHandle_, readScratch_.data(), size);
  if (received < 0) {
    const int error = platform::lastSocketError();
    if (error == platform::kWsaEwouldblock) {
      return 0;
    }
    SetState(SocketState::sckError);
    throw platformError(error, QStringLiteral("clsSocketMaster.RecvDataToBuffer"));
  }
  receiveBuffer_.append(readScratch_.constData(), received);
  return static_cast<int>(received);
}

void clsSocketMaster::checkCanGet(const QString& source) const {
  if (state_ != SocketState::sckConnected && !acceptHolder_) {
    throw wrongState(source);
  }
}

void clsSocketMaster::checkCanPeek(const QString& source) const {
  if (state_ != SocketState::sckConnected) {
    throw wrongState(source);
  }
}

void clsSocketMaster::checkMaxLen(std::optional<int>& maxLen, const QString& source) const {
  if (!maxLen.has_value()) {
    maxLen = BytesReceived();
  } else if (*maxLen < 0) {
    throw SocketError(kErrBadArgument, QString::fromUtf16(kTextBadArgument), source);
  }
}

int clsSocketMaster::GetData(QByteArray& data, std::optional<int> maxLen) {
  const QString source = QStringLiteral("clsSocketMaster.GetData");
  checkCanGet(source);
  checkMaxLen(maxLen, source);
  const int count = RecvData(data, false, maxLen);
  logSocketEvent([count] { return QStringLiteral("OK Bytes obtained from buffer: ") + QString::number(count); });
  return count;
}

int clsSocketMaster::GetData(QString& data, std::optional<int> maxLen) {
  QByteArray bytes;
  const int count = GetData(bytes, maxLen);
  data = platform::fromAnsi(bytes);
  return count;
}

int clsSocketMaster::PeekData(QByteArray& data, std::optional<int> maxLen) {
  const QString source = QStringLiteral("clsSocketMaster.PeekData");
  checkCanPeek(source);
  checkMaxLen(maxLen, source);
  const int count = RecvData(data, true, maxLen);
  logSocketEvent([count] { return QStringLiteral("OK Bytes obtained from buffer: ") + QString::number(count); });
  return count;
}

int clsSocketMaster::PeekData(QString& data, std::optional<int> maxLen) {
  QByteArray bytes;
  const int count = PeekData(bytes, maxLen);
  data = platform::fromAnsi(bytes);
  return count;
}

int clsSocketMaster::RecvData(QByteArray& data, bool peek, std::optional<int> maxLen) {
  if (receiveBuffer_.isEmpty() || maxLen.value_or(0) == 0) {
    data.clear();
    return 0;
  }
  const int count = std::min(*maxLen, BytesReceived());
  data = TakeFromRecvBuffer(count, peek);
  return count;
}

QByteArray clsSocketMaster::TakeFromRecvBuffer(int count, bool peek) {
  if (count >= receiveBuffer_.size()) {
    return peek ? receiveBuffer_ : std::exchange(receiveBuffer_, QByteArray());
  }
  QByteArray taken = receiveBuffer_.left(count);
  if (!peek) {
    receiveBuffer_.remove(0, count);
  }
  return taken;
}

namespace {

std::array<int, 7> socketTuning() {
  const core::tAdvancedParameters& tuning = core::gConfiguration.AdvancedParameters;
  return {tuning.SKT_SNDBUF,    tuning.SKT_RCVBUF,    tuning.SKT_SNDLOWAT,   tuning.SKT_RCVLOWAT,
          tuning.SKT_KEEPALIVE, tuning.SKT_DONTROUTE, tuning.SKT_TCP_NODELAY};
}

}  // namespace

void clsSocketMaster::ProcessOptions() {
  const core::tAdvancedParameters& tuning = core::gConfiguration.AdvancedParameters;
  struct Option {
    int level;
    int name;
    int parameter;
    bool byValue;  // set to the parameter's value when above 0; else set to 1 when it is 1
  };
  const Option options[] = {
      {platform::kSolSocket, platform::kSoSndBuf, tuning.SKT_SNDBUF, true},
      {platform::kSolSocket, platform::kSoRcvBuf, tuning.SKT_RCVBUF, true},
      {platform::kSolSocket, platform::kSoSndLowat, tuning.SKT_SNDLOWAT, true},
      {platform::kSolSocket, platform::kSoRcvLowat, tuning.SKT_RCVLOWAT, true},
      {platform::kSolSocket, platform::kSoKeepAlive, tuning.SKT_KEEPALIVE, false},
      {platform::kSolSocket, platform::kSoDontRoute, tuning.SKT_DONTROUTE, false},
  };
  for (const Option& option : options) {
    if (option.byValue ? option.parameter > 0 : option.parameter == 1) {
      platform::setSocketOption(socketHandle_, option.level, option.name, option.byValue ? option.parameter : 1);
    }
  }
  // Nagle's algorithm holds a small response back until the peer acknowledges the last
  // one, which costs a kept-alive connection about 40 ms a response: the platform
  // default here is without it, and only 0 asks for it.
  platform::setSocketOption(socketHandle_, platform::kIpProtoTcp, platform::kTcpNoDelay,
                            tuning.SKT_TCP_NODELAY == 0 ? 0 : 1);

  int size = 0;
  if (platform::getSocketOption(socketHandle_, platform::kSolSocket, platform::kSoRcvBuf, &size) != 0) {
    throw platformError(platform::lastSocketError(), QStringLiteral("clsSocketMaster.ProcessOptions"));
  }
  receiveBufferSize_ = size;
  if (platform::getSocketOption(socketHandle_, platform::kSolSocket, platform::kSoSndBuf, &size) != 0) {
    throw platformError(platform::lastSocketError(), QStringLiteral("clsSocketMaster.ProcessOptions"));
  }
  sendBufferSize_ = size;
  // A size below one byte would send nothing but the one extra byte of each call.
  maxSend_ = std::max(tuning.APP_MAX_SEND_TO_SOCKET_SIZE, 1);
  appliedOptions_ = socketTuning();
  LogBufferSizes();
}

void clsSocketMaster::TakeOptionsOf(const clsSocketMaster& holder) {
  // The options of a socket stay as they were set: setting them again to the same values
  // changes nothing, and reading them back gives what the holder read.
  if (holder.socketHandle_ != socketHandle_ || holder.appliedOptions_ != socketTuning()) {
    ProcessOptions();
    return;
  }
  receiveBufferSize_ = holder.receiveBufferSize_;
  sendBufferSize_ = holder.sendBufferSize_;
  maxSend_ = std::max(core::gConfiguration.AdvancedParameters.APP_MAX_SEND_TO_SOCKET_SIZE, 1);
  appliedOptions_ = holder.appliedOptions_;
  LogBufferSizes();
}

void clsSocketMaster::LogBufferSizes() const {
  logSocketEvent(
      [this] { return QStringLiteral("Winsock buffer size for sends: ") + QString::number(sendBufferSize_); });
  logSocketEvent(
      [this] { return QStringLiteral("Winsock buffer size for receives: ") + QString::number(receiveBufferSize_); });
}

}  // namespace orv::net
