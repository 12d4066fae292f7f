#include "server/request_intake.h"

#include "core/configuration.h"
#include "core/debug_log.h"
#include "core/lists.h"
#include "platform/codepage.h"
#include "server/exclusions.h"
#include "server/file_reader.h"
#include "server/identification.h"
#include "server/ip_counters.h"
#include "server/matching.h"
#include "server/page_senders.h"
#include "server/request_dispatch.h"
#include "server/request_routing.h"
#include "server/status_texts.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>

namespace orv::server {
namespace {

using core::DebugEventCategory;
using core::gConfiguration;

constexpr QByteArrayView kCrLf("\r\n");
constexpr QByteArrayView kEndOfHead("\r\n\r\n");

void logHttp(const QString& message) {
  core::subAddDebugEvent(message, DebugEventCategory::Http);
}

void logApplication(const QString& message) {
  core::subAddDebugEvent(message, DebugEventCategory::Application);
}

QString statusText(int status) {
  return QString(getRequestStatusMsg(QByteArray::number(status)));
}

// The bytes of the head and its announced body, once the blank line has come; 0 before.
qsizetype announcedRequestSize(QByteArrayView text) {
  qsizetype start = 0;
  while (text.sliced(start).startsWith(kCrLf)) {
    start += kCrLf.size();
  }
  const qsizetype headEnd = text.indexOf(kEndOfHead, start);
  if (headEnd < 0) {
    return 0;
  }
  const qint64 headSize = headEnd + kEndOfHead.size();
  const qint64 body = getContentLengthValue(getRequestValue(text, "Content-Length:", {}));
  return body > std::numeric_limits<qsizetype>::max() - headSize ? std::numeric_limits<qsizetype>::max()
                                                                 : static_cast<qsizetype>(headSize + body);
}

HttpMethodCode methodCodeOf(const QByteArray& method) {
  constexpr std::array<std::pair<const char*, HttpMethodCode>, 7> kMethods{{
      {"CONNECT", HttpMethodCode::CONNECT},
      {"DELETE", HttpMethodCode::DELETE},
      {"GET", HttpMethodCode::GET},
      {"HEAD", HttpMethodCode::HEAD},
      {"POST", HttpMethodCode::POST},
      {"PUT", HttpMethodCode::PUT},
      {"TRACE", HttpMethodCode::TRACE},
  }};
  for (const auto& [name, code] : kMethods) {
    if (method.compare(name, Qt::CaseInsensitive) == 0) {
      return code;
    }
  }
  return HttpMethodCode::OTHER;
}

bool isTerminateTag(const QString& tag) {
  return tag.compare(QLatin1String("terminate"), Qt::CaseInsensitive) == 0;
}

// The request line as the log shows an accepted request.
QString requestLogLine(const RequestContext& context, int Index) {
  const qint64 range = context.request.getClientRange();
  const QString slot = QStringLiteral("usrSocket(") + QString::number(Index) + QLatin1Char(')');
  return QString::fromLatin1(context.request.getClientMethod().toUpper()) + QStringLiteral(" \"") + context.url +
         QLatin1Char('"') +
         (range == 0 ? QStringLiteral(" on ")
                     : QStringLiteral(" (byte range : ") + QString::number(range) + QStringLiteral(") on ")) +
         slot;
}

// The end of every path of the road, the one of a step that threw included.
class CommonExit {
 public:
  CommonExit(ServerEngine& server, ConnectionRef connection, RequestContext& context)
      : server_(server), connection_(connection), context_(context) {}
  ~CommonExit() {
    if (context_.folderCounterRaised) {
      subUpdateCounter(gConfiguration.AppState.colIpFoldersInCreation, context_.clientIp, -1);
    }
    if (ConnectionSlot* slot = server_.slots().find(connection_)) {
      slot->requestOnRoad = false;
      // The answer may still be leaving: a file block by block, or more than the client's
      // buffers take at once. A client that stops reading must not keep the slot and its
      // file for ever: the idle timer watches the transfer and closes the connection once
      // a whole interval moves nothing. An answer that is out restarts it or closes first.
      if (slot->socket != nullptr) {
        slot->socket->StartConnectionTimeoutTimer();
      }
    }
  }
  CommonExit(const CommonExit&) = delete;
  CommonExit& operator=(const CommonExit&) = delete;

 private:
  ServerEngine& server_;
  ConnectionRef connection_;
  RequestContext& context_;
};

// Arms the deadline of a request whose first bytes just came, once per request: however
// often its bytes arrive, each restarting the idle timer, a request not complete
// kRequestDeadlineIdleIntervals idle intervals after its first bytes loses its connection.
void startRequestDeadline(ServerEngine& server, ConnectionSlot& slot) {
  if (slot.requestPending) {
    return;
  }
  slot.requestPending = true;
  ++slot.requestSerial;
  const double timeout = gConfiguration.AdvancedParameters.HTTP_KEEP_ALIVE_TIMEOUT;
  const double milliseconds = std::nearbyint(timeout * 1000.0 * kRequestDeadlineIdleIntervals);
  // The deadline goes with the slot (and so before the server), and is stopped once the
  // request is complete: when it fires, the slot is the one of this request.
  slot.requestDeadline.setAction([&server, &slot] {
    if (!slot.requestPending || slot.requestOnRoad) {
      return;
    }
    logHttp(QStringLiteral("Request not complete in time : usrSocket(") + QString::number(slot.index) +
            QStringLiteral(") closed"));
    server.usrSocket_CloseSck(slot.index);
  });
  slot.requestDeadline.start(static_cast<int>(std::clamp(milliseconds, 1.0, 2147483647.0)));
}

// Sends the answer of a step that ends the request; true when it did.
bool ends(ServerEngine& server, RequestContext& context, const RoadDecision& decision) {
  if (decision.goesOn()) {
    return false;
  }
  subSendRoadDecision(server, context, decision);
  return true;
}

void runRequestRoad(ServerEngine& server, int Index, const RequestDispatcher& dispatch) {
  ConnectionSlots& slots = server.slots();
  ConnectionSlot* slot = slots.find(Index);
  if (slot == nullptr || slot->socket == nullptr || slot->fileReader == nullptr) {
    return;
  }
  net::usrSocket& socket = *slot->socket;
  usrFileReader& reader = *slot->fileReader;
  QByteArray received;
  socket.GetData(received);
  if (isTerminateTag(socket.Tag())) {
    // The connection closes once its last answer is out: what the client sends now is not
    // read, and must not reopen it.
    return;
  }
  if (slot->requestOnRoad || reader.getIsActiveUpload()) {
    // An answer is still being made or sent: the bytes wait, so that answers go out one
    // after the other in the order of their requests. The connection takes them up again
    // when it is kept and its answer is out.
    socket.setHttpReceiverBuffer(fnctHeldBytes(socket.HttpReceiverBuffer() + received));
    return;
  }

  const bool wasCollecting = !socket.HttpReceiverBuffer().isEmpty();
  const QByteArray text = socket.HttpReceiverBuffer() + received;
  RequestAssembly assembly = fnctAssembleRequest(text, gConfiguration.AdvancedParameters.HTTP_MAX_REQUEST_SIZE);
  if (assembly.status != RequestAssemblyStatus::Incomplete) {
    slot->requestPending = false;
    slot->requestDeadline.stop();
  }

  const ConnectionRef connection = slots.ref(Index);
  RequestContext context;
  context.connectionIndex = Index;
  context.clientIp = socket.RemoteHostIP();
  switch (assembly.status) {
    case RequestAssemblyStatus::Incomplete:
      socket.setHttpReceiverBuffer(text);
      socket.StartConnectionTimeoutTimer();
      if (!text.isEmpty()) {
        startRequestDeadline(server, *slot);
      }
      return;
    case RequestAssemblyStatus::TooLarge:
      logHttp(statusText(413) + QStringLiteral(" (") + QString::number(assembly.size) + QStringLiteral(" bytes)"));
      socket.setHttpReceiverBuffer({});
      subSendRoadDecision(server, context, fnctErrorPage(413));
      return;
    case RequestAssemblyStatus::Bad:
      logHttp(statusText(400) + QStringLiteral(" (") + QString::fromLatin1(assembly.error) + QLatin1Char(')'));
      socket.setHttpReceiverBuffer({});
      subSendRoadDecision(server, context, fnctErrorPage(400));
      return;
    case RequestAssemblyStatus::Complete:
      break;
  }
  if (wasCollecting) {
    socket.StopConnectionTimeoutTimer();
  }
  // What follows the request is the start of the next one.
  socket.setHttpReceiverBuffer(text.mid(assembly.bytesUsed));
  context.request = clsHttpRequest(std::move(assembly.request));

  slot->requestOnRoad = true;
  const CommonExit commonExit(server, connection, context);
  context.servedRequestCount = reader.getNbConnectionRequest();
  if (ends(server, context, fnctCheckRequest(context))) {
    return;
  }
  if (core::isDebugEventShown(DebugEventCategory::Application)) {
    logApplication(requestLogLine(context, Index));
  }
  socket.StopConnectionTimeoutTimer();
  reader.setNbConnectionRequest(context.servedRequestCount + 1);

  if (ends(server, context, fnctRouteRequest(context)) || ends(server, context, fnctIdentifyClient(context))) {
    return;
  }
  reader.setClientInfos(context.clientInfos);
  if (ends(server, context, fnctCheckLocalPath(context))) {
    return;
  }
  dispatch(server, context);
}

}  // namespace

RequestAssembly fnctAssembleRequest(QByteArrayView text, double maxRequestSize) {
  RequestParseResult parsed = parseHttpRequest(text);
  RequestAssembly assembly;
  if (parsed.status == RequestParseStatus::Ok && static_cast<double>(parsed.bytesUsed) <= maxRequestSize) {
    assembly.status = RequestAssemblyStatus::Complete;
    assembly.request = std::move(parsed.request);
    assembly.bytesUsed = parsed.bytesUsed;
    return assembly;
  }
  qsizetype size = parsed.status == RequestParseStatus::Ok ? parsed.bytesUsed : text.size();
  if (parsed.status == RequestParseStatus::Incomplete) {
    size = std::max(size, announcedRequestSize(text));
  }
  if (static_cast<double>(size) > maxRequestSize) {
    assembly.status = RequestAssemblyStatus::TooLarge;
    assembly.size = size;
    return assembly;
  }
  if (parsed.status == RequestParseStatus::Bad) {
    assembly.status = RequestAssemblyStatus::Bad;
    assembly.error = parsed.error;
  }
  return assembly;
}

QByteArray fnctHeldBytes(QByteArray waiting) {
  const core::tAdvancedParameters& tuning = gConfiguration.AdvancedParameters;
  const double limit = std::max(tuning.HTTP_MAX_REQUEST_SIZE, 0.0) * (std::max(tuning.HTTP_KEEP_ALIVE_MAX, 0.0) + 1);
  if (static_cast<double>(waiting.size()) > limit) {
    waiting.truncate(static_cast<qsizetype>(limit));
  }
  return waiting;
}

RoadDecision fnctCheckRequest(RequestContext& context) {
  const clsHttpRequest& request = context.request;
  const QString host = platform::fromAnsi(request.getClientHost());
  context.host = host.left(host.indexOf(QLatin1Char(':'))).trimmed();
  context.methodCode = methodCodeOf(request.getClientMethod());
  context.url = platform::fromAnsi(request.getClientUrl());
  context.deflate = false;

  if (!context.url.startsWith(QLatin1Char('/')) || context.methodCode == HttpMethodCode::OTHER) {
    logHttp(statusText(400));
    return fnctErrorPage(400);
  }
  context.deflate = request.getClientAcceptEncoding().toLower().contains("deflate");

  const core::tConfProtocol& protocol = gConfiguration.Protocol;
  // DOMAINS_LIST ends with an empty element: the empty host must not find it.
  if (protocol.ALLOW_ONLY_DOMAINS &&
      (context.host.isEmpty() || !core::isValueInArray(protocol.DOMAINS_LIST, context.host))) {
    const QString message = QStringLiteral("Domain disallowed : ") + context.host;
    logApplication(message);
    return fnctErrorPage(403, message);
  }
  if (static_cast<double>(context.url.size()) > gConfiguration.AdvancedParameters.HTTP_MAX_URL_SIZE) {
    logHttp(statusText(414) + QStringLiteral(" (") + QString::number(context.url.size()) + QLatin1Char(')'));
    return fnctErrorPage(414);
  }
  const QString agent = platform::fromAnsi(request.getClientUserAgent());
  if (isTextContainingListItem(gConfiguration.AppsNameManagement.BANNED_CLIENTS_KEYWORDS, agent)) {
    const QString message = QStringLiteral("Banned client (") + agent + QLatin1Char(')');
    logApplication(message);
    return fnctErrorPage(403, message);
  }
  if (context.methodCode != HttpMethodCode::GET && context.methodCode != HttpMethodCode::POST &&
      context.methodCode != HttpMethodCode::HEAD) {
    logHttp(statusText(405) + QStringLiteral(" (") + QString::fromLatin1(request.getClientMethod()) + QLatin1Char(')'));
    context.request.setServerAllow(QByteArrayLiteral("GET, HEAD, POST"));
    RoadDecision decision = fnctErrorPage(405);
    decision.passRequestObject = true;
    return decision;
  }
  return {};
}

void usrSocket_DataArrival(ServerEngine& server, int Index, int /*bytesTotal*/) {
  runRequestRoad(server, Index, &fnctDispatchRequest);
}

ServerEngine::DataArrivalHandler fnctRequestRoad(RequestDispatcher dispatch) {
  return [dispatch = std::move(dispatch)](ServerEngine& server, int Index, int /*bytesTotal*/) {
    runRequestRoad(server, Index, dispatch);
  };
}

}  // namespace orv::server
