// Serves one file through the file reader over a real listening socket, without the request
// road: every connection's first request (whatever it asks) gets the file as a GET of the
// whole file, then the connection closes. Prints "PORT <n>" once listening; ends after the
// given number of responses.
//
//   file_transfer_bench FILE [--count N] [--block BYTES] [--max-send BYTES] [--sndbuf BYTES]
//
// The three sizes are the tuning parameters APP_FILE_READER_BLOCK_SIZE,
// APP_MAX_SEND_TO_SOCKET_SIZE and SKT_SNDBUF (-1: the system's own); left out, they keep
// their defaults.

#include "core/configuration.h"
#include "net/send_complete_pump.h"
#include "net/usr_socket.h"
#include "platform/clock.h"
#include "platform/message_loop.h"
#include "server/file_reader.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <map>
#include <memory>

namespace {

using orv::net::SocketState;
using orv::net::usrSocket;
using orv::server::usrFileReader;

struct Slot {
  std::unique_ptr<usrSocket> socket;
  std::unique_ptr<usrFileReader> reader;
  QByteArray request;
  bool answered = false;
};

class BenchServer {
 public:
  BenchServer(QString path, int count) : path_(std::move(path)), remaining_(count) {
    orv::net::modSubClsCustWinMsg::HookCustWinMsg();
    orv::net::modSubClsCustWinMsg::setNextBlockHandler([this](int index, qintptr lParam) {
      if (Slot* slot = find(index); slot != nullptr && slot->reader) {
        slot->reader->SendDataToSocket(static_cast<quint64>(lParam));
      }
    });
    listener_.events.ConnectionRequest = [this](int requestID) { accept(requestID); };
    listener_.Bind(0, QStringLiteral("127.0.0.1"));
    listener_.Listen();
    std::printf("PORT %d\n", listener_.LocalPort());
    std::fflush(stdout);
  }

  ~BenchServer() {
    slots_.clear();
    orv::net::modSubClsCustWinMsg::setNextBlockHandler({});
    orv::net::modSubClsCustWinMsg::UnhookCustWinMsg();
  }

 private:
  Slot* find(int index) {
    const auto it = slots_.find(index);
    return it == slots_.end() ? nullptr : &it->second;
  }

  void accept(int requestID) {
    int index = 1;
    while (slots_.contains(index)) {
      ++index;
    }
    Slot& slot = slots_[index];
    slot.socket = std::make_unique<usrSocket>();
    slot.reader = std::make_unique<usrFileReader>(*slot.socket, index);
    usrSocket& socket = *slot.socket;
    usrFileReader& reader = *slot.reader;
    reader.events.DataArrival = [&socket](QByteArray& bytData) {
      if (socket.State() == SocketState::sckConnected) {
        socket.SendDataB(bytData);
      }
    };
    reader.events.SendComplete = [&socket](bool& KeepConnection) {
      if (!KeepConnection) {
        socket.setTag(QStringLiteral("terminate"));
      }
    };
    socket.events.DataArrival = [this, index](int) { dataArrival(index); };
    socket.events.SendComplete = [this, index] { sendComplete(index); };
    socket.events.CloseSck = [this, index] { close(index); };
    socket.CloseSck();
    socket.Accept(requestID);
  }

  void dataArrival(int index) {
    Slot* slot = find(index);
    QByteArray data;
    slot->socket->GetData(data);
    slot->request += data;
    if (slot->answered || !slot->request.contains("\r\n\r\n")) {
      return;
    }
    slot->answered = true;
    usrFileReader& reader = *slot->reader;
    reader.setClientInfos(QStringLiteral("127.0.0.1"));
    reader.setNbConnectionRequest(1);
    reader.setIsKeepConnection(false);
    reader.setIsDeflateCompression(false);
    reader.setSocketIndex(index);
    reader.setFilePath(path_);
    reader.setFileExtension(QStringLiteral("bin"));
    reader.setBitRange(0);
    reader.setIsInvibleTransfer(false);
    reader.setTransferStartDate(orv::platform::currentDateTime());
    reader.setClientAppName(QStringLiteral("bench"));
    reader.setClientHttpVersion("1.1");
    reader.setHttpMethod(orv::server::HttpMethodCode::GET);
    reader.SendData();
  }

  void sendComplete(int index) {
    Slot* slot = find(index);
    usrFileReader& reader = *slot->reader;
    reader.EndUploadAtSendComplete();
    if (slot->socket->Tag() == QLatin1String("terminate")) {
      close(index);
    } else if (reader.getIsLargeUpload() && reader.getIsActiveUpload()) {
      const quint64 transfer = reader.getTransferId();
      orv::platform::yieldToMessageLoop();
      orv::net::modSubClsCustWinMsg::SendCompleteMessage(index, static_cast<qintptr>(transfer));
    }
  }

  void close(int index) {
    Slot* slot = find(index);
    if (slot == nullptr) {
      return;
    }
    const bool answered = slot->answered;
    slot->reader->DestroyFileReaderOnClose();
    slot->reader.reset();
    slot->socket.reset();
    slots_.erase(index);
    if (answered && --remaining_ <= 0) {
      QCoreApplication::quit();
    }
  }

  QString path_;
  int remaining_;
  usrSocket listener_;
  std::map<int, Slot> slots_;
};

}  // namespace

int main(int argc, char** argv) {
  orv::platform::selectMessageLoop();
  QCoreApplication app(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() < 2) {
    std::fprintf(stderr,
                 "usage: file_transfer_bench FILE [--count N] [--block BYTES] [--max-send BYTES] "
                 "[--sndbuf BYTES]\n");
    return 2;
  }
  orv::core::tAdvancedParameters& tuning = orv::core::gConfiguration.AdvancedParameters;
  int count = 1;
  for (int i = 2; i + 1 < arguments.size(); i += 2) {
    const QString& name = arguments.at(i);
    const QString& value = arguments.at(i + 1);
    if (name == QLatin1String("--count")) {
      count = value.toInt();
    } else if (name == QLatin1String("--block")) {
      tuning.APP_FILE_READER_BLOCK_SIZE = value.toDouble();
    } else if (name == QLatin1String("--max-send")) {
      tuning.APP_MAX_SEND_TO_SOCKET_SIZE = value.toInt();
    } else if (name == QLatin1String("--sndbuf")) {
      tuning.SKT_SNDBUF = value.toInt();
    } else {
      std::fprintf(stderr, "unknown option %s\n", qPrintable(name));
      return 2;
    }
  }
  BenchServer server(arguments.at(1), count);
  return QCoreApplication::exec();
}
