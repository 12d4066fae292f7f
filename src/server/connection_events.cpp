#include "core/configuration.h"
#include "core/debug_log.h"
#include "net/send_complete_pump.h"
#include "platform/message_loop.h"
#include "server/file_reader.h"
#include "server/ip_counters.h"
#include "server/server_engine.h"

#include <QCoreApplication>

#include <exception>

// The events of each connection slot's socket and file reader: the end of an upload, keeping
// or closing the connection after a response, the pump of large transfers, and the clean-up
// that destroys a slot with everything it owns.
namespace orv::server {
namespace {

using core::DebugEventCategory;
using core::gConfiguration;

void logApplication(const QString& message) {
  core::subAddDebugEvent(message, DebugEventCategory::Application);
}

QString slotName(const char* array, int index) {
  return QLatin1String(array) + QLatin1Char('(') + QString::number(index) + QLatin1Char(')');
}

bool isTerminateTag(const QString& tag) {
  return tag.compare(QLatin1String("terminate"), Qt::CaseInsensitive) == 0;
}

}  // namespace

void ServerEngine::wireSocket(ConnectionSlot& slot) {
  const int index = slot.index;
  net::SocketEvents& events = slot.socket->events;
  events.CloseSck = [this, index] { usrSocket_CloseSck(index); };
  events.DataArrival = [this, index](int bytesTotal) {
    const ConnectionRef connection = slots_.ref(index);
    try {
      dataArrival_(*this, index, bytesTotal);
    } catch (const std::exception& failure) {
      // A request that fails half way leaves its connection in no known state: close it.
      logApplication(QStringLiteral("ERROR on ") + slotName("usrSocket", index) + QStringLiteral(": ") +
                     QString::fromLocal8Bit(failure.what()));
      if (slots_.find(connection) != nullptr) {
        cleanUpConnection(index, QStringLiteral("usrSocket_DataArrival"));
      }
    }
  };
  events.Error = [this, index](net::SocketErrorEventArgs& error) { usrSocket_Error(index, error); };
  events.SendComplete = [this, index] { usrSocket_SendComplete(index); };
  events.SendProgress = [this, index](int bytesSent, int bytesRemaining) {
    usrSocket_SendProgress(index, bytesSent, bytesRemaining);
  };
}

void ServerEngine::wireFileReader(ConnectionSlot& slot) {
  const int index = slot.index;
  usrFileReader& reader = *slot.fileReader;
  reader.events.DataArrival = [this, index](QByteArray& bytData) { usrFileReader_DataArrival(index, bytData); };
  reader.events.SendComplete = [this, index](bool& KeepConnection) {
    usrFileReader_SendComplete(index, KeepConnection);
  };
}

void ServerEngine::usrFileReader_DataArrival(int Index, const QByteArray& bytData) {
  net::usrSocket* socket = slots_.usrSocket(Index);
  if (socket == nullptr || socket->State() != net::SocketState::sckConnected) {
    return;
  }
  try {
    socket->SendDataB(bytData);
  } catch (const net::SocketError& failure) {
    logApplication(QStringLiteral("ERROR sending on ") + slotName("usrSocket", Index) + QStringLiteral(": ") +
                   failure.Description());
  }
}

void ServerEngine::usrFileReader_SendComplete(int Index, bool KeepConnection) {
  if (net::usrSocket* socket = slots_.usrSocket(Index); socket != nullptr && !KeepConnection) {
    socket->setTag(QStringLiteral("terminate"));
  }
  if (core::isDebugEventShown(DebugEventCategory::Application)) {
    logApplication(QStringLiteral("Complete file read on ") + slotName("usrFileReader", Index));
  }
}

void ServerEngine::usrSocket_SendComplete(int Index) {
  const ConnectionRef connection = slots_.ref(Index);
  ConnectionSlot* slot = slots_.find(connection);
  if (slot == nullptr) {
    return;
  }
  if (usrFileReader* reader = slot->fileReader.get()) {
    reader->EndUploadAtSendComplete();
    if (reader->getIsKeepConnection() && !reader->getIsActiveUpload()) {
      slot->socket->StartConnectionTimeoutTimer();
      if (!slot->socket->HttpReceiverBuffer().isEmpty() && !isTerminateTag(slot->socket->Tag())) {
        postNextRequest(Index);
      }
    }
  }
  if (isTerminateTag(slot->socket->Tag())) {
    // The whole clean-up, not only the reader and the socket: a builder or a thumbnail maker
    // left behind would go to the next connection of this index.
    cleanUpConnection(Index, QStringLiteral("usrSocket_SendComplete"));
    return;
  }
  const usrFileReader* reader = slot->fileReader.get();
  if (reader == nullptr || !reader->getIsLargeUpload() || !reader->getIsActiveUpload()) {
    return;
  }
  const quint64 transfer = reader->getTransferId();
  // Let the other connections have their turn before the next block; by then this one may
  // have closed, and another may hold its index.
  const std::shared_ptr<bool> alive = alive_;
  platform::yieldToMessageLoop();
  if (!*alive || slots_.find(connection) == nullptr) {
    return;
  }
  net::modSubClsCustWinMsg::SendCompleteMessage(Index, static_cast<qintptr>(transfer));
}

void ServerEngine::postNextRequest(int Index) {
  const ConnectionRef connection = slots_.ref(Index);
  const std::shared_ptr<bool> alive = alive_;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [this, connection, alive] {
        if (!*alive) {
          return;
        }
        const ConnectionSlot* slot = slots_.find(connection);
        if (slot == nullptr || slot->socket->State() != net::SocketState::sckConnected) {
          return;
        }
        slot->socket->events.DataArrival(slot->socket->BytesReceived());
      },
      Qt::QueuedConnection);
}

void ServerEngine::usrSocket_SendProgress(int Index, int BytesSent, int /*bytesRemaining*/) {
  const ConnectionSlot* slot = slots_.find(Index);
  if (slot == nullptr || slot->fileReader == nullptr) {
    return;
  }
  const usrFileReader& reader = *slot->fileReader;
  if (!reader.getIsLargeUpload() || !reader.getIsActiveUpload() ||
      !core::isDebugEventShown(core::DebugEventCategory::Application)) {
    return;
  }
  const double sent = slot->socket->BytesSent();
  logApplication(slotName("usrSocket", Index) + QStringLiteral(" send to client(") + slot->socket->RemoteHostIP() +
                 QStringLiteral(") : [") + QString::number(sent - BytesSent, 'f', 0) + QLatin1Char('-') +
                 QString::number(sent, 'f', 0) + QStringLiteral("]/") +
                 QString::number(reader.getRequiredFileSize(), 'f', 0) + QStringLiteral(" (") +
                 QString::number(reader.getUploadPercent()) + QStringLiteral("%)"));
}

void ServerEngine::usrSocket_Error(int Index, net::SocketErrorEventArgs& error) {
  if (Index == 0) {
    // A listener that cannot be made reports here, and the failed start names this error.
    if (!isServerRunning()) {
      lastStartError_ = error.Description;
    }
    // One connection that could not be taken: the listener goes on listening.
    logApplication(slotName("usrSocket", 0) + QStringLiteral(" error ") + QString::number(error.Number) +
                   QStringLiteral(" : ") + error.Description);
    return;
  }
  // Whatever the error, the connection is of no more use: free its slot now rather than
  // wait for a close that may never come.
  cleanUpConnection(Index, QStringLiteral("usrSocket_Error"));
}

void ServerEngine::usrSocket_CloseSck(int Index) {
  cleanUpConnection(Index, QStringLiteral("usrSocket_CloseSck"));
}

void ServerEngine::cleanUpConnection(int Index, const QString& procedure) {
  ConnectionSlot* slot = slots_.find(Index);
  if (slot == nullptr) {
    return;
  }
  slots_.unloadPageBuilder(Index, procedure);
  if (usrFileReader* reader = slot->fileReader.get()) {
    reader->DestroyFileReaderOnClose();
    slots_.unloadFileReader(Index, procedure);
  }
  if (slot->miniature != nullptr) {
    subUpdateCounter(gConfiguration.AppState.colIpMiniaturesInCreation, slot->clientIP, -1);
    slots_.unloadMiniature(Index, procedure);
  }
  slots_.unloadSocket(Index, procedure);
}

}  // namespace orv::server
