#pragma once

#include "core/configuration.h"
#include "core/debug_log.h"
#include "core/history_store.h"
#include "core/uploaded_store.h"
#include "net/send_complete_pump.h"
#include "net/socket_registry.h"
#include "net/usr_socket.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "server/file_reader.h"
#include "server/upload_views.h"
#include "support/event_loop.h"
#include "support/qt_printers.h"
#include "support/tcp_peer.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QStringList>

#include <memory>

// One connection slot served the way the engine serves it, without the request road: a
// listener on 127.0.0.1 at a free port accepts one client into slot 1, whose socket and
// file reader are wired as the engine wires them, with the send-complete pump hooked.
namespace transfertest {

using orv::core::gConfiguration;
using orv::net::SocketState;
using orv::net::usrSocket;
using orv::server::HttpMethodCode;
using orv::server::usrFileReader;

inline constexpr int kSlot = 1;

class TransferHost {
 public:
  TransferHost() {
    orv::net::modSubClsCustWinMsg::HookCustWinMsg();
    orv::net::modSubClsCustWinMsg::setNextBlockHandler([this](int index, qintptr lParam) {
      ++pumpSteps;
      if (index == kSlot && reader) {
        reader->SendDataToSocket(static_cast<quint64>(lParam));
      }
    });
    listener.events.ConnectionRequest = [this](int requestID) {
      socket = std::make_unique<usrSocket>();
      reader = std::make_unique<usrFileReader>(*socket, kSlot);
      reader->events.DataArrival = [this](QByteArray& bytData) {
        ++dataArrivals;
        if (socket->State() == SocketState::sckConnected) {
          socket->SendDataB(bytData);
        }
      };
      reader->events.SendComplete = [this](bool& KeepConnection) {
        ++readerCompletions;
        dataArrivalsAtCompletion = dataArrivals;
        if (!KeepConnection) {
          socket->setTag(QStringLiteral("terminate"));
        }
      };
      socket->events.SendComplete = [this] { socketSendComplete(); };
      socket->events.CloseSck = [this] { cleanUp(); };
      socket->CloseSck();
      socket->Accept(requestID);
    };
    listener.Bind(0, QStringLiteral("127.0.0.1"));
    listener.Listen();
  }

  ~TransferHost() {
    cleanUp();
    orv::net::modSubClsCustWinMsg::setNextBlockHandler({});
    orv::net::modSubClsCustWinMsg::UnhookCustWinMsg();
  }

  TransferHost(const TransferHost&) = delete;
  TransferHost& operator=(const TransferHost&) = delete;

  // Connects a client and waits until its slot exists.
  TcpPeer& connect(int receiveBufferSize = 0) {
    peer = std::make_unique<TcpPeer>(listener.LocalPort(), receiveBufferSize);
    EXPECT_TRUE(processEventsUntil([this] { return socket && socket->State() == SocketState::sckConnected; }));
    return *peer;
  }

  // The hand-off of one file request, with what a plain GET of a whole file would set.
  void handOff(const QString& path, HttpMethodCode method = HttpMethodCode::GET) {
    reader->setClientInfos(QStringLiteral("127.0.0.1"));
    reader->setNbConnectionRequest(1);
    reader->setIsKeepConnection(false);
    reader->setIsDeflateCompression(false);
    reader->setSocketIndex(kSlot);
    reader->setFilePath(path);
    reader->setFileExtension(path.section(QLatin1Char('.'), -1));
    reader->setBitRange(0);
    reader->setIsInvibleTransfer(false);
    reader->setTransferStartDate(orv::platform::currentDateTime());
    reader->setClientAppName(QStringLiteral("curl/8"));
    reader->setClientHttpVersion("1.1");
    reader->setHttpMethod(method);
  }

  // Waits until the server has closed the connection and the client has read everything.
  bool waitForClose(int timeoutMs = 20000) {
    return processEventsUntil([this] { return !socket && peer->endOfStream; }, timeoutMs);
  }

  // The engine's send-complete handler.
  void socketSendComplete() {
    ++socketCompletions;
    if (reader->EndUploadAtSendComplete()) {
      ++uploadEnds;
    }
    if (reader->getIsKeepConnection() && !reader->getIsActiveUpload()) {
      socket->StartConnectionTimeoutTimer();
    }
    if (socket->Tag().compare(QLatin1String("terminate"), Qt::CaseInsensitive) == 0) {
      reader->DestroyFileReader();
      reader.reset();
      socket->CloseSck();
      socket.reset();
    } else if (reader->getIsLargeUpload() && reader->getIsActiveUpload()) {
      const quint64 transfer = reader->getTransferId();
      QCoreApplication::processEvents();
      if (reader) {
        orv::net::modSubClsCustWinMsg::SendCompleteMessage(kSlot, static_cast<qintptr>(transfer));
      }
    }
  }

  // The per-connection clean-up.
  void cleanUp() {
    ++cleanUps;
    if (reader) {
      reader->DestroyFileReaderOnClose();
      reader.reset();
    }
    socket.reset();
  }

  usrSocket listener;
  std::unique_ptr<usrSocket> socket;
  std::unique_ptr<usrFileReader> reader;
  std::unique_ptr<TcpPeer> peer;
  int dataArrivals = 0;
  int dataArrivalsAtCompletion = -1;
  int readerCompletions = 0;
  int socketCompletions = 0;
  int uploadEnds = 0;
  int pumpSteps = 0;
  int cleanUps = 0;
};

// A response as the client read it.
struct Response {
  QByteArray head;  // up to and with the blank line
  QByteArray body;

  static Response of(const QByteArray& received) {
    const qsizetype end = received.indexOf("\r\n\r\n");
    if (end < 0) {
      return {received, {}};
    }
    return {received.first(end + 4), received.sliced(end + 4)};
  }
  QByteArray header(const QByteArray& name) const {
    for (const QByteArray& line : head.split('\n')) {
      if (line.startsWith(name + ": ")) {
        return line.sliced(name.size() + 2).trimmed();
      }
    }
    return {};
  }
  QByteArray statusLine() const { return head.first(head.indexOf("\r\n")); }
};

// Every test starts from default settings, empty stores and the application log on, and ends
// with no socket and no descriptor left.
class FileTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = std::make_unique<orv::core::tConfiguration>(gConfiguration);
    gConfiguration.AdvancedParameters = orv::core::tAdvancedParameters{};
    gConfiguration.History.MAX_ENTRY = -1;
    gConfiguration.AppState.blnDebugFormLoaded = true;
    gConfiguration.AppState.blnUploadsFormLoaded = false;
    orv::core::gHistoryLists = {};
    orv::core::gUploadedLists = {};
    orv::core::debugEventLog().clear();
    descriptorsBefore_ = orv::platform::openDescriptorCount();
  }

  void TearDown() override {
    orv::server::setUploadsWindowView(nullptr);
    orv::server::setTrayIconView(nullptr);
    EXPECT_EQ(orv::net::modSocketMaster::InstanceCount(), 0) << "socket objects left";
    EXPECT_TRUE(processEventsUntil([this] { return orv::platform::openDescriptorCount() <= descriptorsBefore_; }))
        << "descriptors leaked: " << orv::platform::openDescriptorCount() - descriptorsBefore_;
    gConfiguration = *saved_;
    orv::core::gHistoryLists = {};
    orv::core::gUploadedLists = {};
    orv::core::debugEventLog().clear();
  }

  // The history events as "type ip text".
  static QStringList historyEvents() {
    QStringList events;
    for (const orv::core::tHistoryEvent& event : orv::core::gHistoryLists.events) {
      events << QString::number(static_cast<int>(event.type)) + QLatin1Char(' ') + event.ipAddress + QLatin1Char(' ') +
                    event.text;
    }
    return events;
  }

  // Bytes whose value tells their offset apart over any block size.
  static QByteArray patterned(qint64 size) {
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = 2463534242u;
    for (qint64 i = 0; i < size; ++i) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      bytes[i] = static_cast<char>(state);
    }
    return bytes;
  }

  TempFolder folder;

 private:
  std::unique_ptr<orv::core::tConfiguration> saved_;
  int descriptorsBefore_ = 0;
};

}  // namespace transfertest
