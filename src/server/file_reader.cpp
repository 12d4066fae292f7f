#include "server/file_reader.h"

#include "core/configuration.h"
#include "core/debug_log.h"
#include "core/file_utils.h"
#include "core/history_store.h"
#include "core/uploaded_store.h"
#include "net/socket_errors.h"
#include "net/usr_socket.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/message_loop.h"
#include "server/deflate.h"
#include "server/http_dates.h"
#include "server/http_request.h"
#include "server/mime_types.h"
#include "server/response_values.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <utility>

namespace orv::server {
namespace {

quint64 gLastTransferId = 0;

const core::tAdvancedParameters& tuning() {
  return core::gConfiguration.AdvancedParameters;
}

bool isApplicationLogOn() {
  return core::gConfiguration.AppState.blnDebugFormLoaded && tuning().APP_DEBUG;
}

// A number as the log and the head write it: whole numbers without a fraction or an
// exponent, others with their decimals.
QString numberText(double value) {
  if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 9.0e15) {
    return QString::number(static_cast<qint64>(value));
  }
  return QString::number(value, 'g', 15);
}

// An entity tag is ASCII: quoted in one buffer, without a conversion of its own.
QByteArray quotedEtag(const QString& etag) {
  QByteArray quoted(etag.size() + 2, Qt::Uninitialized);
  char* out = quoted.data();
  *out++ = '"';
  for (const QChar c : etag) {
    *out++ = c.toLatin1();
  }
  *out = '"';
  return quoted;
}

// The range start the response can honour: a whole number inside the file. Anything else
// (nothing asked, garbage the request object turned into 0, a negative or fractional
// number, one at or past the end, one too large for 64 bits) means the whole file.
qint64 usableRangeStart(double asked, qint64 fileSize) {
  if (!(asked > 0) || asked != std::floor(asked) || asked >= static_cast<double>(fileSize)) {
    return 0;
  }
  return static_cast<qint64>(asked);
}

// The block of the tuning parameter as a byte count; a fraction is dropped, never below 1.
qint64 blockSizeBytes() {
  const double size = tuning().APP_FILE_READER_BLOCK_SIZE;
  if (!(size >= 1)) {
    return 1;
  }
  if (size >= static_cast<double>(std::numeric_limits<qint64>::max())) {
    return std::numeric_limits<qint64>::max();
  }
  return static_cast<qint64>(size);
}

bool isBodyMethod(HttpMethodCode method) {
  return method == HttpMethodCode::GET || method == HttpMethodCode::POST;
}

}  // namespace

usrFileReader::usrFileReader(net::usrSocket& socket, int index)
    : socket_(&socket), socketIndex_(index), fileHandle_(platform::kInvalidFileHandle) {
  trmUploadInfosRefresh.setInterval(1000);
  trmUploadInfosRefresh.setRepeating(true);
  trmUploadInfosRefresh.setAction([this] { trmUploadInfosRefresh_Timer(); });
}

usrFileReader::~usrFileReader() {
  *alive_ = false;
  closeFile();
}

double usrFileReader::getBodyBytesSent() const {
  return std::max(0.0, socket_->BytesSent() - headUnsent_);
}

tUploadInProgressInfos usrFileReader::getUploadInProgressInfos() const {
  tUploadInProgressInfos infos;
  const double sent = getBodyBytesSent();
  infos.filePath = transferPath_;
  infos.startDate = transferStartDate_;
  infos.remainingBytes = requiredFileSize_ - sent;
  infos.rangeStart = bitRange_;
  infos.fileSize = fileSize_;
  infos.currentRate = uploadRate_;
  const qint64 seconds = transferStartDate_.isValid() ? transferStartDate_.secsTo(platform::currentDateTime()) : 0;
  infos.averageRate = sent == 0 || seconds <= 0 ? -1 : sent / static_cast<double>(seconds);
  infos.clientAppName = clientAppName_;
  infos.clientInfos = transferClient_;
  return infos;
}

void usrFileReader::log(const QString& message) const {
  core::subAddDebugEvent(message, core::DebugEventCategory::Application);
}

void usrFileReader::closeFile() {
  if (fileHandle_ != platform::kInvalidFileHandle) {
    core::fnctCloseFileHandle(fileHandle_);
    fileHandle_ = platform::kInvalidFileHandle;
  }
}

bool usrFileReader::raiseDataArrival(QByteArray& bytes) {
  const std::shared_ptr<bool> alive = alive_;
  const auto handler = events.DataArrival;
  if (handler) {
    handler(bytes);
  }
  return *alive;
}

bool usrFileReader::raiseSendComplete() {
  const std::shared_ptr<bool> alive = alive_;
  const auto handler = events.SendComplete;
  bool keep = isKeepConnection_;
  if (handler) {
    handler(keep);
  }
  return *alive;
}

bool usrFileReader::sendHead(const QByteArray& head) {
  const std::shared_ptr<bool> alive = alive_;
  socket_->ResetBytesSent();
  try {
    socket_->SendDataB(head);
  } catch (const net::SocketError&) {
    if (*alive) {
      failTransfer();
    }
    return false;
  }
  if (!*alive) {
    return false;
  }
  // What the socket could not take at once still counts in its BytesSent later; the
  // progress and the end of the upload count body bytes only.
  headUnsent_ = std::max(0.0, static_cast<double>(head.size()) - socket_->BytesSent());
  socket_->ResetBytesSent();
  return true;
}

bool usrFileReader::readBlock(qint64 offset, qint64 count) {
  if (buffer_.size() != count) {
    buffer_.resize(count);
  }
  char* data = buffer_.data();
  qint64 got = 0;
  while (got < count) {
    const qint64 read = platform::readFileAt(fileHandle_, offset + got, data + got, count - got);
    if (read <= 0) {
      break;
    }
    got += read;
  }
  if (got != count) {
    buffer_.clear();
    return false;
  }
  return true;
}

void usrFileReader::SendData() {
  const std::shared_ptr<bool> alive = alive_;
  // A response still going out when the next one starts is cut off here: its bytes can no
  // longer be told from the new one's.
  if (isActiveUpload_) {
    DestroyFileReaderOnClose();
  }
  closeFile();
  buffer_.clear();
  transferId_ = ++gLastTransferId;
  transferPath_ = filePath_;
  transferClient_ = clientInfos_;
  transferInvisible_ = isInvibleTransfer_;
  isLargeUpload_ = false;
  lastDataHandedOver_ = false;
  preparingBlock_ = false;
  headUnsent_ = 0;
  uploadPercent_ = 0;
  uploadRate_ = 0;
  lastSample_ = 0;
  requiredCompressedFileSize_ = 0;

  std::optional<platform::PathStatus> openedStatus;
  if (const std::shared_ptr<platform::OpenedFile> opened = std::exchange(openedFile_, {});
      opened && opened->isValid()) {
    openedStatus = opened->status();
    fileHandle_ = opened->takeHandle();
  } else {
    fileHandle_ = core::fnctOpenFileForRead(filePath_);
    if (fileHandle_ != platform::kInvalidFileHandle) {
      openedStatus = platform::statusOfHandle(fileHandle_);
    }
  }
  const qint64 size = openedStatus ? openedStatus->size : -1;
  if (fileHandle_ == platform::kInvalidFileHandle || size < 0) {
    log(QStringLiteral("Cannot open ") + filePath_ + QStringLiteral(" on usrFileReader(") +
        QString::number(socketIndex_) + QLatin1Char(')'));
    failTransfer();
    return;
  }
  fileSize_ = static_cast<double>(size);
  rangeStart_ = usableRangeStart(bitRange_, size);
  bitRange_ = static_cast<double>(rangeStart_);
  bytesLeft_ = size - rangeStart_;
  bytesRead_ = 0;
  requiredFileSize_ = static_cast<double>(bytesLeft_);
  if (tuning().HTTP_KEEP_ALIVE_MAX < nbConnectionRequest_) {
    isKeepConnection_ = false;
  }

  clsHttpRequest response;
  response.setServerHttpVersion(QByteArrayLiteral("1.1"));
  response.setServerContentType(getMimeType(fileExtension_));
  // Dates go out in UTC: taken so, they need no look at the time zone.
  const QDateTime now = platform::currentDateTimeUtc();
  const core::OpenFileStamp stamp = core::getOpenFileStamp(filePath_, openedStatus, size);
  response.setServerDate(now);
  response.setServerLastModified(stamp.lastWriteUtc);
  response.setServerAcceptRange(QByteArrayLiteral("bytes"));
  response.setServerServer(fnctServerHeaderValue());
  response.setServerEtag(quotedEtag(stamp.etag));
  if (isInvibleTransfer_) {
    response.setServerExpires(getRFC1123DateFormat(now.addDays(1)));
  }
  response.addServerCookieLines(std::exchange(serverCookies_, {}));
  if (isKeepConnection_) {
    response.setServerConnection(QByteArrayLiteral("Keep-Alive"));
    // The requests counted include this one.
    response.setServerKeepAlive(fnctKeepAliveValue(nbConnectionRequest_ - 1));
  } else if (clientHttpVersion_ == "1.1") {
    response.setServerConnection(QByteArrayLiteral("Close"));
  }
  if (rangeStart_ > 0 && rangeStart_ < size && size > 1) {
    response.setServerStatusNb(QByteArrayLiteral("206"));
    response.setServerContentRange("bytes " + QByteArray::number(rangeStart_) + '-' + QByteArray::number(size - 1) +
                                   '/' + QByteArray::number(size));
  } else {
    response.setServerStatusNb(QByteArrayLiteral("200"));
  }

  try {
    if (static_cast<float>(size) <= static_cast<float>(tuning().APP_FILE_READER_BLOCK_SIZE) || isInvibleTransfer_) {
      sendOnePiece(response);
    } else {
      sendBlockByBlock(response);
    }
  } catch (const std::bad_alloc&) {
    if (*alive) {
      failTransfer();
    }
  }
}

void usrFileReader::sendOnePiece(clsHttpRequest& response) {
  const std::shared_ptr<bool> alive = alive_;
  const bool sendsBody = isBodyMethod(httpMethod_);
  isLargeUpload_ = false;
  if (bytesLeft_ > 0 && !readBlock(rangeStart_, bytesLeft_)) {
    log(QStringLiteral("Short read of ") + filePath_ + QStringLiteral(" on usrFileReader(") +
        QString::number(socketIndex_) + QLatin1Char(')'));
    failTransfer();
    return;
  }
  if (isApplicationLogOn()) {
    log(QStringLiteral("Starting file read on usrFileReader(") + QString::number(socketIndex_) + QLatin1Char(')'));
  }
  // A head alone is no upload: its completion must let a kept connection wait for the next
  // request, and a close must not record it as interrupted.
  isActiveUpload_ = sendsBody;
  socket_->ResetBytesSent();
  if (sendsBody && !isInvibleTransfer_) {
    startUpload(true);
  }

  // A part of a file is sent as it is: its Content-Range counts bytes of the file itself.
  if (isDeflateCompression_ && rangeStart_ == 0) {
    if (std::optional<QByteArray> compressed = fnctCompressBytes(buffer_)) {
      buffer_ = std::move(*compressed);
      response.setServerContentEncoding(QByteArrayLiteral("deflate"));
      response.setServerVary(QByteArrayLiteral("Accept-Encoding"));
    }
  }
  const qsizetype bodyBytes = buffer_.size();
  requiredCompressedFileSize_ = sendsBody ? static_cast<double>(bodyBytes) : 0;
  response.setServerContentLength(QByteArray::number(bodyBytes));
  response.buildServerRequest();

  if (bodyBytes > 0 && sendsBody) {
    if (!sendHead(response.getServerFullRequest())) {
      return;
    }
    lastDataHandedOver_ = true;
    if (!raiseSendComplete()) {
      return;
    }
    if (isApplicationLogOn()) {
      const QString required = numberText(requiredFileSize_);
      log(QStringLiteral("usrFileReader(") + QString::number(socketIndex_) + QStringLiteral(") send to socket : [0-") +
          required + QStringLiteral("]/") + required + QStringLiteral(" (") + required + QStringLiteral(" bytes)"));
    }
    if (!raiseDataArrival(buffer_)) {
      return;
    }
  } else {
    socket_->ResetBytesSent();
    lastDataHandedOver_ = true;
    if (!raiseSendComplete()) {
      return;
    }
    if (!sendHead(response.getServerFullRequest())) {
      return;
    }
  }
  buffer_.clear();
  closeFile();
}

void usrFileReader::sendBlockByBlock(clsHttpRequest& response) {
  response.setServerContentLength(QByteArray::number(bytesLeft_));
  response.buildServerRequest();
  if (!isBodyMethod(httpMethod_)) {
    if (!isKeepConnection_) {
      socket_->setTag(QStringLiteral("terminate"));
    }
    closeFile();
    lastDataHandedOver_ = true;
    sendHead(response.getServerFullRequest());
    return;
  }
  if (isApplicationLogOn()) {
    log(QStringLiteral("Starting file read on usrFileReader(") + QString::number(socketIndex_) + QLatin1Char(')'));
  }
  isLargeUpload_ = true;
  if (!sendHead(response.getServerFullRequest())) {
    return;
  }
  isActiveUpload_ = true;
  startUpload(false);
  requiredCompressedFileSize_ = requiredFileSize_;
  SendDataToSocket();
}

void usrFileReader::startUpload(bool historyFirst) {
  if (transferInvisible_) {
    return;
  }
  if (historyFirst) {
    core::subAddEntryInHistory(core::HistoryEventType::FILE_START_UPLOAD, transferClient_, transferPath_);
  }
  trmUploadInfosRefresh_Timer();
  trmUploadInfosRefresh.start();
  subRefreshSystrayIconWhenShown();
  if (!historyFirst) {
    core::subAddEntryInHistory(core::HistoryEventType::FILE_START_UPLOAD, transferClient_, transferPath_);
  }
}

void usrFileReader::SendDataToSocket(quint64 transferId) {
  if (transferId == transferId_) {
    SendDataToSocket();
  }
}

void usrFileReader::SendDataToSocket() {
  if (!isActiveUpload_ || !isLargeUpload_ || preparingBlock_ || lastDataHandedOver_) {
    return;
  }
  const std::shared_ptr<bool> alive = alive_;
  if (bytesRead_ == 0 && headUnsent_ == 0) {
    socket_->ResetBytesSent();
  }
  const qint64 count = std::min(bytesLeft_, blockSizeBytes());
  preparingBlock_ = true;
  bool read = false;
  try {
    read = readBlock(rangeStart_ + bytesRead_, count);
  } catch (const std::bad_alloc&) {
    read = false;
  }
  if (!read) {
    preparingBlock_ = false;
    log(QStringLiteral("Short read of ") + filePath_ + QStringLiteral(" on usrFileReader(") +
        QString::number(socketIndex_) + QLatin1Char(')'));
    failTransfer();
    return;
  }
  if (isApplicationLogOn()) {
    log(QStringLiteral("usrFileReader(") + QString::number(socketIndex_) + QStringLiteral(") send to socket(") +
        QString::number(socketIndex_) + QStringLiteral(") : [") + QString::number(bytesRead_) + QLatin1Char('-') +
        QString::number(bytesRead_ + count) + QStringLiteral("]/") + numberText(requiredFileSize_) +
        QStringLiteral(" (") + QString::number(bytesLeft_) + QStringLiteral(" bytes)"));
  }
  // Compared as whole numbers: a count taken as a single-precision number can look like the
  // last block while bytes are left.
  if (count == bytesLeft_) {
    lastDataHandedOver_ = true;
    if (!raiseSendComplete()) {
      return;
    }
    closeFile();
  }
  bytesRead_ += count;
  bytesLeft_ -= count;
  platform::yieldToMessageLoop();
  if (!*alive) {
    return;
  }
  preparingBlock_ = false;
  raiseDataArrival(buffer_);
}

void usrFileReader::failTransfer() {
  if (isActiveUpload_ && !transferInvisible_) {
    core::subAddEntryInHistory(core::HistoryEventType::FILE_ABORT_UPLOAD, transferClient_, transferPath_);
  }
  DestroyFileReader();
  lastDataHandedOver_ = true;
  // Nothing more can be sent for this response: the connection ends as if the client had
  // closed it, from the loop, since the caller may still be inside one of its handlers.
  socket_->setTag(QStringLiteral("terminate"));
  const std::shared_ptr<bool> alive = alive_;
  net::usrSocket* socket = socket_;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [alive, socket] {
        if (!*alive) {
          return;
        }
        const auto handler = socket->events.CloseSck;
        if (handler) {
          handler();
        }
      },
      Qt::QueuedConnection);
}

bool usrFileReader::EndUploadAtSendComplete() {
  if (!isActiveUpload_ || !lastDataHandedOver_) {
    return false;
  }
  const double sent = getBodyBytesSent();
  if (requiredCompressedFileSize_ > 0 && sent < requiredCompressedFileSize_) {
    return false;
  }
  isActiveUpload_ = false;
  if (transferInvisible_) {
    return true;
  }
  const bool completeFile = rangeStart_ == 0;
  core::subAddEntryInHistory(core::HistoryEventType::FILE_END_UPLOAD, transferClient_, transferPath_);
  core::subAddUploadInUploadedLists(transferPath_, transferClient_, requiredCompressedFileSize_ > 0 ? sent : 0, true,
                                    completeFile);
  if (UploadsWindowView* window = getUploadsWindow(); window != nullptr && window->IsUploadExistInList(socketIndex_)) {
    window->RemoveUploadInProgressInList(socketIndex_);
    window->addUploadedFileInList(transferPath_, platform::currentDateTime(), true, completeFile, true, true, true);
    if (core::gConfiguration.AppDisplay.SHOW_TRANSFERS_LISTS_INFOS) {
      window->RefreshUploadsInProgressFrameText();
      window->RefreshUploadedFilesFrameText();
    }
  }
  subRefreshSystrayIconWhenShown();
  return true;
}

void usrFileReader::DestroyFileReader() {
  const bool completeFile = rangeStart_ == 0;
  if (!transferInvisible_ && isActiveUpload_) {
    const double sent = getBodyBytesSent();
    core::subAddUploadInUploadedLists(transferPath_, transferClient_, sent, false, completeFile);
    if (UploadsWindowView* window = getUploadsWindow();
        window != nullptr && window->IsUploadExistInList(socketIndex_)) {
      window->RemoveUploadInProgressInList(socketIndex_);
      window->addUploadedFileInList(transferPath_, platform::currentDateTime(), false, completeFile, true, true, true);
    }
  }
  isActiveUpload_ = false;
  closeFile();
  buffer_.clear();
  trmUploadInfosRefresh.stop();
  if (UploadsWindowView* window = getUploadsWindow();
      window != nullptr && core::gConfiguration.AppDisplay.SHOW_TRANSFERS_LISTS_INFOS) {
    window->RefreshUploadsInProgressFrameText();
    window->RefreshUploadedFilesFrameText();
  }
  subRefreshSystrayIconWhenShown();
}

void usrFileReader::DestroyFileReaderOnClose() {
  if (!transferInvisible_ && isActiveUpload_) {
    core::subAddEntryInHistory(core::HistoryEventType::FILE_ABORT_UPLOAD, transferClient_, transferPath_);
  }
  DestroyFileReader();
}

void usrFileReader::trmUploadInfosRefresh_Timer() {
  if (!isActiveUpload_) {
    trmUploadInfosRefresh.stop();
    return;
  }
  const double sent = getBodyBytesSent();
  if (lastSample_ > 0) {
    uploadRate_ = sent - lastSample_;
  }
  lastSample_ = sent;
  const double percent = requiredFileSize_ > 0 ? std::nearbyint(sent / requiredFileSize_ * 100.0) : 100.0;
  if (!(percent >= 0 && percent <= 255)) {
    return;  // more counted than the file holds: this tick is abandoned, the next tries again
  }
  uploadPercent_ = static_cast<int>(percent);
  subRefreshSystrayIconWhenShown();
  UploadsWindowView* window = getUploadsWindow();
  if (window == nullptr) {
    return;
  }
  if (!window->IsUploadExistInList(socketIndex_)) {
    window->addUploadInProgressInList(socketIndex_, transferPath_, 0, sent, requiredFileSize_, uploadRate_,
                                      transferClient_, rangeStart_ != 0);
  } else {
    window->RefreshUploadInProgressList(socketIndex_, uploadPercent_, sent, requiredFileSize_, uploadRate_);
  }
  const core::tConfAppDisplay& display = core::gConfiguration.AppDisplay;
  if (display.SHOW_TRANSFERS_LISTS_INFOS) {
    window->RefreshUploadsInProgressFrameText();
  }
  if (display.blnUploadInProgressTooltipShown && display.intUploadInProgressTooltipIndex == socketIndex_) {
    window->subShowUploadInProgressTooltip(socketIndex_, getUploadInProgressInfos(), 0, 0, true);
  }
}

}  // namespace orv::server
