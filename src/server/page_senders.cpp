#include "server/page_senders.h"

#include "content/build_xml_page.h"
#include "core/configuration.h"
#include "core/debug_log.h"
#include "core/text_encoding.h"
#include "platform/clock.h"
#include "server/deflate.h"
#include "server/file_reader.h"
#include "server/http_dates.h"
#include "server/response_values.h"
#include "server/server_engine.h"

#include <functional>
#include <optional>

namespace orv::server {
namespace {

using core::gConfiguration;

void logApplication(const QString& message) {
  core::subAddDebugEvent(message, core::DebugEventCategory::Application);
}

enum class PageKind { Message, Identification, SingleItem };

QByteArray contentTypeOf(PageKind kind) {
  if (kind != PageKind::SingleItem && gConfiguration.HtmlDisplay.PAGE_BUILD_METHOD == 2) {
    return QByteArrayLiteral("text/html; charset=UTF-8");
  }
  return QByteArrayLiteral("application/xml; charset=UTF-8");
}

// Builds the page in a page builder of the slot, made for it alone, and returns its UTF-8
// text. The builder is gone before anything is sent: the send may close the slot.
QByteArray buildPage(ConnectionSlots& slots, int Index, const QString& procedure, PageKind kind,
                     const std::function<void(content::usrBuildXmlPage&)>& setUp) {
  slots.unloadPageBuilder(Index, procedure);
  content::usrBuildXmlPage& builder = slots.loadPageBuilder(Index, procedure);
  setUp(builder);
  logApplication(QStringLiteral("Start XML creation"));
  switch (kind) {
    case PageKind::Message:
      builder.BuildDocumentMessage();
      break;
    case PageKind::Identification:
      builder.BuildDocumentIdentification();
      break;
    case PageKind::SingleItem:
      builder.BuildDocumentSingleItem();
      break;
  }
  logApplication(QStringLiteral("XML creation finished"));
  const QByteArray body =
      kind == PageKind::SingleItem ? builder.GetOutputDocument().toBytes() : builder.GetOutputBytes();
  slots.unloadPageBuilder(Index, procedure);
  return body;
}

void sendPage(ServerEngine& server, int Index, const QString& procedure, PageKind kind, int status, bool deflate,
              clsHttpRequest& request, bool passRequestObject,
              const std::function<void(content::usrBuildXmlPage&)>& setUp) {
  ConnectionSlots& slots = server.slots();
  net::usrSocket* socket = slots.usrSocket(Index);
  if (socket == nullptr) {
    return;
  }
  QByteArray body = buildPage(slots, Index, procedure, kind, setUp);

  clsHttpRequest ownHead;
  clsHttpRequest& response = passRequestObject ? request : ownHead;
  // The cookies of a form login leave with whatever answer the request finally gets: a
  // page of its own must not drop them.
  if (!passRequestObject) {
    ownHead.addServerCookieLines(request.getServerCookies());
  }
  if (deflate && gConfiguration.Protocol.ENABLE_COMPRESSION) {
    if (std::optional<QByteArray> compressed = fnctCompressBytes(body)) {
      response.setServerContentEncoding(QByteArrayLiteral("deflate"));
      body = std::move(*compressed);
    }
  }
  response.setServerHttpVersion(QByteArrayLiteral("1.1"));
  response.setServerStatusNb(QByteArray::number(status));
  response.setServerContentLength(QByteArray::number(body.size()));
  response.setServerDate(getGmtDate(platform::currentDateTime()));
  response.setServerAcceptRange(QByteArrayLiteral("bytes"));
  response.setServerServer(fnctServerHeaderValue());
  response.setServerConnection(QByteArrayLiteral("Close"));
  response.setServerContentType(contentTypeOf(kind));

  QString tag = QStringLiteral("terminate");
  if (kind == PageKind::SingleItem) {
    usrFileReader* reader = slots.usrFileReader(Index);
    const int servedBefore = reader == nullptr ? 0 : reader->getNbConnectionRequest() - 1;
    const bool kept = reader != nullptr && isKeepAliveGranted(request, servedBefore);
    if (kept) {
      response.setServerConnection(QByteArrayLiteral("Keep-Alive"));
      response.setServerKeepAlive(fnctKeepAliveValue(servedBefore));
      tag.clear();
    }
    if (reader != nullptr) {
      reader->setIsKeepConnection(kept);
    }
  }
  response.buildServerRequest();

  const bool headOnly = request.getClientMethod().compare("HEAD", Qt::CaseInsensitive) == 0;
  // The mark comes before the one send: its completion, which may come inside the call,
  // is what closes the connection. Sent in two parts, a head that went out at once would
  // find no mark and leave the connection open, waiting for a body that never comes.
  socket->setTag(tag);
  socket->SendDataB(headOnly ? response.getServerFullRequest() : response.getServerFullRequest() + body);
}

}  // namespace

void subSendMessageToClient(ServerEngine& server, int Index, int status, bool deflate, const QString& title,
                            const QString& label, clsHttpRequest& request, bool passRequestObject) {
  sendPage(server, Index, QStringLiteral("subSendMessageToClient"), PageKind::Message, status, deflate, request,
           passRequestObject, [&](content::usrBuildXmlPage& builder) {
             builder.SetMessageTitle(title);
             builder.SetMessageLabel(label);
           });
}

void subSendIdentificationRQToClient(ServerEngine& server, int Index, int status, bool deflate, const QString& title,
                                     clsHttpRequest& request, bool passRequestObject) {
  sendPage(server, Index, QStringLiteral("subSendIdentificationRQToClient"), PageKind::Identification, status, deflate,
           request, passRequestObject,
           [&](content::usrBuildXmlPage& builder) { builder.SetIdentificationTitle(title); });
}

void subSendSingleItemToClient(ServerEngine& server, int Index, bool deflate, const QString& localPath,
                               content::SingleItemType itemType, clsHttpRequest& request) {
  sendPage(server, Index, QStringLiteral("subSendSingleItemToClient"), PageKind::SingleItem, 200, deflate, request,
           true, [&](content::usrBuildXmlPage& builder) {
             builder.SetSingleItemLocalPath(localPath);
             builder.SetSingleItemType(static_cast<int>(itemType));
           });
}

void subSendRoadDecision(ServerEngine& server, RequestContext& context, const RoadDecision& decision) {
  switch (decision.answer) {
    case RoadAnswer::GoOn:
      return;
    case RoadAnswer::MessagePage:
      subSendMessageToClient(server, context.connectionIndex, decision.status, context.deflate, decision.title,
                             decision.message, context.request, decision.passRequestObject);
      return;
    case RoadAnswer::LoginPage:
      subSendIdentificationRQToClient(server, context.connectionIndex, decision.status, context.deflate, decision.title,
                                      context.request, decision.passRequestObject);
      return;
  }
}

}  // namespace orv::server
