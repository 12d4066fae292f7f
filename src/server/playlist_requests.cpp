#include "server/playlist_requests.h"

#include "core/configuration.h"
#include "core/history_store.h"
#include "platform/clock.h"
#include "server/file_reader.h"
#include "server/http_dates.h"
#include "server/ip_counters.h"
#include "server/page_senders.h"
#include "server/playlists.h"
#include "server/response_values.h"
#include "server/server_engine.h"

#include <optional>

namespace orv::server {
namespace {

using core::gConfiguration;

// The host text of the playlist's URLs: the Host name the client used, or, without one, the
// address the connection came in on; then the listening port.
QString playlistHost(const RequestContext& context, const net::usrSocket& socket) {
  const QString name = context.host.isEmpty() ? socket.LocalIP() : context.host;
  return name + QLatin1Char(':') + QString::number(socket.LocalPort());
}

void sendPlaylist(ServerEngine& server, RequestContext& context, const QByteArray& text) {
  ConnectionSlots& slots = server.slots();
  net::usrSocket* socket = slots.usrSocket(context.connectionIndex);
  if (socket == nullptr) {
    return;
  }
  clsHttpRequest& response = context.request;
  response.setServerHttpVersion(QByteArrayLiteral("1.1"));
  response.setServerStatusNb(QByteArrayLiteral("200"));
  response.setServerContentLength(QByteArray::number(text.size()));
  response.setServerContentType(QByteArray(kPlaylistContentType));
  response.setServerDate(getGmtDate(platform::currentDateTime()));
  response.setServerAcceptRange(QByteArrayLiteral("bytes"));
  response.setServerServer(fnctServerHeaderValue());
  response.setServerConnection(QByteArrayLiteral("Close"));
  response.buildServerRequest();
  if (usrFileReader* reader = slots.usrFileReader(context.connectionIndex)) {
    reader->setIsKeepConnection(false);
  }
  // One send, marked before it: its completion, which may come inside the call, closes the
  // connection.
  socket->setTag(QStringLiteral("terminate"));
  const bool headOnly = context.methodCode == HttpMethodCode::HEAD;
  socket->SendDataB(headOnly ? response.getServerFullRequest() : response.getServerFullRequest() + text);
}

}  // namespace

void subServePlaylist(ServerEngine& server, RequestContext& context) {
  if (context.folderState == PathState::VirtualFolder) {
    sendPlaylist(server, context, fnctEmptyPlaylist());
    return;
  }
  if (!context.share.shareSound) {
    subSendRoadDecision(server, context, fnctErrorPage(403));
    return;
  }
  ConnectionSlots& slots = server.slots();
  const net::usrSocket* socket = slots.usrSocket(context.connectionIndex);
  if (socket == nullptr) {
    return;
  }
  subUpdateCounter(gConfiguration.AppState.colIpFoldersInCreation, context.clientIp, 1);
  context.folderCounterRaised = true;

  const PlaylistFilter filter = fnctGetPlaylistFilter(context.decodedQuery);
  const ConnectionRef connection = slots.ref(context.connectionIndex);
  const std::optional<QByteArray> text = fnctCreateVirtualPlaylist(
      context.localPath, context.path, playlistHost(context, *socket), filter.tag, filter.value,
      context.share.localFolder, [&slots, connection] { return slots.find(connection) != nullptr; });
  const ConnectionSlot* slot = slots.find(connection);
  if (!text || slot == nullptr) {
    return;  // the connection closed while the folder was read
  }
  const QString client = slot->fileReader != nullptr ? slot->fileReader->getClientInfos() : context.clientInfos;
  core::subAddEntryInHistory(core::HistoryEventType::AUDIO_FOLDER_NAVIGATION, client, context.localPath);
  sendPlaylist(server, context, *text);
}

}  // namespace orv::server
