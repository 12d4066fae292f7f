#include "server/file_responses.h"

#include "core/configuration.h"
#include "core/debug_log.h"
#include "core/file_utils.h"
#include "core/local_paths.h"
#include "net/usr_socket.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "server/file_reader.h"
#include "server/http_dates.h"
#include "server/response_values.h"
#include "server/server_engine.h"

namespace orv::server {
namespace {

using core::gConfiguration;

// The whole second a date-time falls in, counted from 1970 (rounded down, before 1970 too).
qint64 wholeSeconds(const QDateTime& dateTime) {
  const qint64 msecs = dateTime.toMSecsSinceEpoch();
  return msecs >= 0 ? msecs / 1000 : -((-msecs + 999) / 1000);
}

// The last write as getFileLastWriteDate gives it, to the whole second, in UTC.
QDateTime wholeSecondsUtc(const QDateTime& lastWriteUtc) {
  return QDateTime::fromSecsSinceEpoch(lastWriteUtc.toSecsSinceEpoch(), Qt::UTC);
}

// Resources and thumbnails are the only files whose answer may keep the connection.
bool isInvisibleKind(RequestKind kind) {
  return kind == RequestKind::Resource || kind == RequestKind::Thumbnail;
}

bool asksForKeepAlive(const clsHttpRequest& request) {
  return request.getClientConnection().compare("Keep-Alive", Qt::CaseInsensitive) == 0;
}

// The head of a 304, sent on the request object. The connection stays open only for a
// resource or a thumbnail; otherwise the socket is marked to close when the head is out.
void subSendNotModified(RequestContext& context, net::usrSocket& socket, usrFileReader& reader) {
  clsHttpRequest& request = context.request;
  request.setServerStatusNb(QByteArrayLiteral("304"));
  request.setServerHttpVersion(QByteArrayLiteral("1.1"));
  request.setServerDate(getGmtDate(platform::currentDateTime()));
  request.setServerServer(fnctServerHeaderValue());
  if (isInvisibleKind(context.kind) && isKeepAliveGranted(request, context.servedRequestCount)) {
    request.setServerConnection(QByteArrayLiteral("Keep-Alive"));
    request.setServerKeepAlive(fnctKeepAliveValue(context.servedRequestCount));
    reader.setIsKeepConnection(true);
  } else {
    if (request.getClientHttpVersion().compare("1.1", Qt::CaseInsensitive) == 0) {
      request.setServerConnection(QByteArrayLiteral("Close"));
    }
    socket.setTag(QStringLiteral("terminate"));
    reader.setIsKeepConnection(false);
  }
  request.buildServerRequest();
  core::subAddDebugEvent(QStringLiteral("File already cached by client on usrSocket(") +
                             QString::number(context.connectionIndex) + QLatin1Char(')'),
                         core::DebugEventCategory::Application);
  // The send may complete at once and close the connection: nothing of the slot is used
  // after it.
  socket.SendDataB(request.getServerFullRequest());
}

void subStartFileReader(RequestContext& context, usrFileReader& reader) {
  const clsHttpRequest& request = context.request;
  // The reader itself drops the keep flag once the connection has served
  // HTTP_KEEP_ALIVE_MAX requests.
  reader.setIsKeepConnection(asksForKeepAlive(request) && isInvisibleKind(context.kind));
  reader.setIsDeflateCompression(context.deflate && gConfiguration.Protocol.ENABLE_COMPRESSION);
  reader.setSocketIndex(context.connectionIndex);
  reader.setFilePath(context.localPath);
  reader.setOpenedFile(std::move(context.openedFile));
  reader.setFileExtension(context.responseExtension);
  reader.setBitRange(static_cast<double>(request.getClientRange()));
  reader.setIsInvibleTransfer(isInvisibleKind(context.kind));
  reader.setTransferStartDate(platform::currentDateTime());
  reader.setClientAppName(platform::fromAnsi(request.getClientUserAgent()));
  reader.setClientHttpVersion(request.getClientHttpVersion());
  reader.setHttpMethod(context.methodCode);
  reader.setServerCookies(request.getServerCookies());
  reader.SendData();
}

}  // namespace

QString getResponseExtension(const QString& localPath) {
  const QString name = localPath.mid(localPath.lastIndexOf(QLatin1Char('/')) + 1);
  return name.contains(QLatin1Char('.')) ? core::getFileExtension(name) : QString();
}

bool isNotModifiedSince(const QDateTime& ifModifiedSince, const QDateTime& lastWriteGmt) {
  if (!ifModifiedSince.isValid() || !lastWriteGmt.isValid()) {
    return false;
  }
  return wholeSeconds(lastWriteGmt) - wholeSeconds(ifModifiedSince) <= 0;
}

void subServeFile(ServerEngine& server, RequestContext& context) {
  ConnectionSlot* slot = server.slots().find(context.connectionIndex);
  if (slot == nullptr || slot->socket == nullptr || slot->fileReader == nullptr) {
    return;
  }
  if (context.kind != RequestKind::Thumbnail) {
    context.responseExtension = getResponseExtension(context.localPath);
  }
  // Without a date of the client's copy there is nothing to compare: the file is not opened
  // again for its date.
  // A handle routing opened is of this very path: a thumbnail is served from another file.
  if (context.kind == RequestKind::Thumbnail || (context.openedFile && !context.openedFile->isValid())) {
    context.openedFile.reset();
  }
  const QDateTime ifModifiedSince = context.request.getClientIfModifiedSince();
  if (ifModifiedSince.isValid() &&
      isNotModifiedSince(ifModifiedSince, context.openedFile
                                              ? wholeSecondsUtc(context.openedFile->status().lastWriteUtc)
                                              : getGmtDate(core::getFileLastWriteDate(context.localPath)))) {
    subSendNotModified(context, *slot->socket, *slot->fileReader);
    return;
  }
  subStartFileReader(context, *slot->fileReader);
}

}  // namespace orv::server
