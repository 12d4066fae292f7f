#include "server/interim_request_handler.h"

#include "core/app_info.h"
#include "core/configuration.h"
#include "server/http_dates.h"
#include "server/http_request.h"
#include "server/server_engine.h"
#include "server/status_texts.h"

#include <QDateTime>

namespace orv::server {

void interimRequestHandler(ServerEngine& server, int Index, int /*bytesTotal*/) {
  net::usrSocket* socket = server.slots().usrSocket(Index);
  if (socket == nullptr) {
    return;
  }
  QByteArray data;
  socket->GetData(data);
  const QByteArray text = socket->HttpReceiverBuffer() + data;
  if (!text.contains("\r\n\r\n") && text.size() <= core::gConfiguration.AdvancedParameters.HTTP_MAX_REQUEST_SIZE) {
    socket->setHttpReceiverBuffer(text);
    socket->StartConnectionTimeoutTimer();
    return;
  }
  socket->StopConnectionTimeoutTimer();
  socket->setHttpReceiverBuffer({});

  clsHttpRequest request;
  request.initClientRequestValues(text);
  const QByteArray status = QByteArrayLiteral("503");
  const QByteArray body =
      status + " : " + QByteArray(getRequestStatusMsg(status).data(), getRequestStatusMsg(status).size());
  request.setServerStatusNb(status);
  request.setServerHttpVersion(QByteArrayLiteral("1.1"));
  request.setServerDate(getGmtDate(QDateTime::currentDateTime()));
  request.setServerServer((core::applicationTitle() + QLatin1Char(' ') + core::displayVersion()).toLatin1());
  request.setServerContentType(QByteArrayLiteral("text/plain; charset=UTF-8"));
  request.setServerContentLength(QByteArray::number(body.size()));
  if (request.getClientHttpVersion().compare("1.1", Qt::CaseInsensitive) == 0) {
    request.setServerConnection(QByteArrayLiteral("Close"));
  }
  request.buildServerRequest();
  const bool withBody = request.getClientMethod().compare("HEAD", Qt::CaseInsensitive) != 0;
  socket->setTag(QStringLiteral("terminate"));
  // One send: its completion closes the connection, and may already do so inside the call.
  socket->SendDataB(request.getServerFullRequest() + (withBody ? body : QByteArray()));
}

}  // namespace orv::server
