#include "core/configuration.h"
#include "core/debug_log.h"
#include "core/history_store.h"
#include "net/send_complete_pump.h"
#include "net/socket_errors.h"
#include "platform/winsock_errors.h"
#include "server/file_reader.h"
#include "server/ip_filter.h"
#include "server/request_intake.h"
#include "server/server_engine.h"
#include "server/share_boundary.h"

#include <cmath>
#include <limits>
#include <optional>

// Starting and stopping the listener, and the admission of each new connection.
namespace orv::server {
namespace {

using core::DebugEventCategory;
using core::gConfiguration;

void logApplication(const QString& message) {
  core::subAddDebugEvent(message, DebugEventCategory::Application);
}

// LOCAL_PORT as a 32-bit whole number, halves to even; nothing for a text that is not a
// number or does not fit.
std::optional<int> configuredPort() {
  const std::optional<double> number = core::parseConfigNumber(gConfiguration.Protocol.LOCAL_PORT);
  if (!number) {
    return std::nullopt;
  }
  const double whole = std::nearbyint(*number);
  if (!(whole >= std::numeric_limits<int>::min() && whole <= std::numeric_limits<int>::max())) {
    return std::nullopt;
  }
  return static_cast<int>(whole);
}

}  // namespace

ServerEngine::ServerEngine() : dataArrival_(&usrSocket_DataArrival) {
  listener_.events.ConnectionRequest = [this](int requestID) { usrSocket_ConnectionRequest(0, requestID); };
  listener_.events.Error = [this](net::SocketErrorEventArgs& error) { usrSocket_Error(0, error); };
  core::setLoadedObjectsCounter([this] {
    return core::LoadedObjectsCount{
        slots_.loadedCount(ComponentArray::usrSocket), slots_.loadedCount(ComponentArray::usrFileReader),
        slots_.loadedCount(ComponentArray::usrBuildXmlPage), slots_.loadedCount(ComponentArray::usrMinature)};
  });
  // The pump message names the transfer it moves on: one that outlived its transfer, or
  // whose index another connection has taken meanwhile, reaches no reader.
  net::modSubClsCustWinMsg::setNextBlockHandler([this](int index, qintptr lParam) {
    if (usrFileReader* reader = slots_.usrFileReader(index)) {
      reader->SendDataToSocket(static_cast<quint64>(lParam));
    }
  });
}

ServerEngine::~ServerEngine() {
  *alive_ = false;
  core::setLoadedObjectsCounter({});
  net::modSubClsCustWinMsg::setNextBlockHandler({});
  closeListenerAndConnections();
  gConfiguration.AppState.blnServerStarted = false;
}

bool ServerEngine::isServerRunning() const {
  return listener_.State() == net::SocketState::sckListening;
}

int ServerEngine::listeningPort() const {
  return isServerRunning() ? listener_.LocalPort() : 0;
}

void ServerEngine::setDataArrivalHandler(DataArrivalHandler handler) {
  dataArrival_ = handler ? std::move(handler) : DataArrivalHandler(&usrSocket_DataArrival);
}

StartStopResult ServerEngine::StartStopServer() {
  lastStartError_.clear();
  if (isServerRunning()) {
    closeListenerAndConnections();
    logApplication(QStringLiteral("Closing server (usrSocket(0))"));
    gConfiguration.AppState.blnServerStarted = false;
    return StartStopResult::Stopped;
  }
  try {
    const std::optional<int> port = configuredPort();
    if (!port) {
      lastStartError_ = QString::fromUtf16(net::kTextInvalidArgument);
      return StartStopResult::Failed;
    }
    // The folders of the configuration as it is now are resolved again, once, by the
    // first requests that need them.
    forgetResolvedFolders();
    listener_.setLocalPort(*port);
    listener_.Listen();
    // A socket that could not be made was reported through the Error event.
    if (!isServerRunning()) {
      listener_.CloseSck();
      if (lastStartError_.isEmpty()) {
        lastStartError_ = QString::fromUtf16(net::kTextInvalidOperation);
      }
      return StartStopResult::Failed;
    }
  } catch (const net::SocketError& failure) {
    // A listener that failed half way holds a descriptor, and the next start needs it
    // closed.
    try {
      listener_.CloseSck();
    } catch (const net::SocketError&) {
    }
    lastStartError_ = failure.Description();
    if (failure.Number() == platform::kWsaEaddrinuse) {
      gConfiguration.AppState.blnServerStarted = false;
      return StartStopResult::PortInUse;
    }
    return StartStopResult::Failed;
  }
  logApplication(QStringLiteral("Starting server (usrSocket(0))"));
  gConfiguration.AppState.blnServerStarted = true;
  return StartStopResult::Started;
}

void ServerEngine::closeListenerAndConnections() {
  try {
    listener_.CloseSck();
  } catch (const net::SocketError& failure) {
    logApplication(QStringLiteral("ERROR closing usrSocket(0): ") + failure.Description());
  }
  // The clean-up removes slots from the table: walk a copy of their indexes.
  for (const int index : slots_.indexes()) {
    usrSocket_CloseSck(index);
  }
  forgetResolvedFolders();
}

int ServerEngine::getConnectionsCount(const QString& ip) const {
  int count = 0;
  for (const int index : slots_.indexes()) {
    const net::usrSocket* socket = slots_.usrSocket(index);
    if (socket == nullptr || socket->State() != net::SocketState::sckConnected) {
      continue;
    }
    if (ip.isEmpty() || socket->RemoteHostIP().compare(ip, Qt::CaseInsensitive) == 0) {
      ++count;
    }
  }
  return count;
}

void ServerEngine::usrSocket_ConnectionRequest(int /*Index*/, int requestID) {
  const QString procedure = QStringLiteral("usrSocket_ConnectionRequest");
  const core::tAdvancedParameters& tuning = gConfiguration.AdvancedParameters;
  const QString ip = listener_.RemoteHostIP();
  // The connection asking is not counted yet: the limits allow exactly their number.
  if (getConnectionsCount({}) >= tuning.TCP_MAX_OPEN_CONNECTION_TOTAL ||
      getConnectionsCount(ip) >= tuning.TCP_MAX_OPEN_CONNECTION_CLIENT) {
    return;
  }
  if (!isIpAllowed(ip)) {
    core::subAddEntryInHistory(core::HistoryEventType::FILTERS_REJECT, ip, {});
    return;
  }
  const int index = slots_.lowestFreeIndex();
  ConnectionSlot& slot = slots_.loadSocket(index, procedure);
  slot.clientIP = ip;
  wireSocket(slot);
  // The reader counts the requests the connection has served: none yet.
  slots_.loadFileReader(index, procedure).setNbConnectionRequest(0);
  wireFileReader(slot);
  const ConnectionRef connection = slots_.ref(index);
  try {
    slot.socket->CloseSck();
    // A client that never sends its request must not keep the slot: the idle timer runs
    // from the accept, and the first data arrival takes it over.
    slot.socket->StartConnectionTimeoutTimer();
    // The accept may hand over data already waiting, or a close: the slot can be gone when
    // it returns.
    slot.socket->Accept(requestID);
  } catch (const net::SocketError& failure) {
    logApplication(QStringLiteral("ERROR accepting on usrSocket(") + QString::number(index) + QStringLiteral("): ") +
                   failure.Description());
    if (slots_.find(connection) != nullptr) {
      cleanUpConnection(index, procedure);
    }
  }
}

}  // namespace orv::server
