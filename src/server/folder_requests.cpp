#include "server/folder_requests.h"

#include "core/configuration.h"
#include "platform/codepage.h"
#include "server/folder_pages.h"
#include "server/ip_counters.h"
#include "server/page_senders.h"
#include "server/playlist_requests.h"
#include "server/playlists.h"
#include "server/server_engine.h"

namespace orv::server {
namespace {

using core::gConfiguration;

// The address and port the connection came in on, for a client that sent no Host header.
QByteArray connectionHost(ServerEngine& server, int Index) {
  const net::usrSocket* socket = server.slots().usrSocket(Index);
  if (socket == nullptr) {
    return {};
  }
  return platform::toAnsi(socket->LocalIP()) + ':' + QByteArray::number(socket->LocalPort());
}

bool isOverLimit(const QString& key, double limit) {
  return getCounterValue(gConfiguration.AppState.colIpFoldersInCreation, key) + 1 > limit;
}

}  // namespace

QByteArray fnctFolderRedirectLocation(const RequestContext& context, const QByteArray& fallbackHost) {
  QByteArray host = context.request.getClientHost().trimmed();
  if (host.isEmpty()) {
    host = fallbackHost;
  }
  return "http://" + host + platform::toAnsi(context.url) + '/';
}

RoadDecision fnctCheckFolderRequest(RequestContext& context, const QByteArray& fallbackHost) {
  if (context.folderState != PathState::Usable && context.folderState != PathState::VirtualFolder) {
    // Dispatch sends only folders here; should anything else come, it still gets an answer
    // rather than a connection left waiting.
    return fnctErrorPage(404);
  }
  if (!context.path.endsWith(QLatin1Char('/'))) {
    const QByteArray location = fnctFolderRedirectLocation(context, fallbackHost);
    context.request.setServerLocation(location);
    RoadDecision decision;
    decision.answer = RoadAnswer::MessagePage;
    decision.status = 301;
    decision.title = QStringLiteral("Redirection");
    decision.message = QStringLiteral("Resource location : ") + platform::fromAnsi(location);
    decision.passRequestObject = true;
    return decision;
  }
  const core::tAdvancedParameters& tuning = gConfiguration.AdvancedParameters;
  if (isOverLimit(QString(), tuning.APP_MAX_TOTAL_FOLDER_IN_CREATION)) {
    return fnctErrorPage(503, QStringLiteral("Too many folder requests"));
  }
  if (isOverLimit(context.clientIp, tuning.APP_MAX_CLIENT_FOLDER_IN_CREATION)) {
    return fnctErrorPage(503, QStringLiteral("Too many folder requests from this IP"));
  }
  return {};
}

void subServeFolder(ServerEngine& server, RequestContext& context) {
  const RoadDecision decision = fnctCheckFolderRequest(context, connectionHost(server, context.connectionIndex));
  if (!decision.goesOn()) {
    subSendRoadDecision(server, context, decision);
    return;
  }
  if (isPlaylistRequest(context.decodedQuery, context.audioPlayer)) {
    subServePlaylist(server, context);
    return;
  }
  subServeFolderPage(server, context);
}

}  // namespace orv::server
