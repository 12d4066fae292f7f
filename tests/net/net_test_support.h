#pragma once

#include "core/configuration.h"
#include "core/debug_log.h"
#include "net/socket_registry.h"
#include "net/usr_socket.h"
#include "platform/file_system.h"
#include "support/event_loop.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <functional>
#include <map>
#include <memory>

namespace nettest {

using orv::net::SocketErrorEventArgs;
using orv::net::SocketEvents;
using orv::net::SocketState;
using orv::net::usrSocket;

// Lets every notification already due reach its socket: readiness becomes a posted
// message in one turn of the loop and is handled in the next.
inline void settle(int rounds = 4) {
  processPendingEvents(rounds);
}

// The events of one socket, in order, as short texts: "CloseSck", "DataArrival(5)",
// "Error(10054)", "SendProgress(8193,11807)".
struct EventTrace {
  QStringList seen;
  std::function<void()> onCloseSck;  // what the owner does then, after the trace

  void attach(SocketEvents& events) {
    events.CloseSck = [this] {
      seen << QStringLiteral("CloseSck");
      if (onCloseSck) {
        onCloseSck();
      }
    };
    events.Connect = [this] { seen << QStringLiteral("Connect"); };
    events.ConnectionRequest = [this](int) { seen << QStringLiteral("ConnectionRequest"); };
    events.DataArrival = [this](int total) { seen << QStringLiteral("DataArrival(%1)").arg(total); };
    events.Error = [this](SocketErrorEventArgs& error) { seen << QStringLiteral("Error(%1)").arg(error.Number); };
    events.SendComplete = [this] { seen << QStringLiteral("SendComplete"); };
    events.SendProgress = [this](int sent, int remaining) {
      seen << QStringLiteral("SendProgress(%1,%2)").arg(sent).arg(remaining);
    };
  }
  int count(const QString& prefix) const {
    int found = 0;
    for (const QString& event : seen) {
      found += event.startsWith(prefix) ? 1 : 0;
    }
    return found;
  }
};

// Every test starts with the default tuning values, the socket log switched on and an
// empty log, and ends with no socket left and no descriptor leaked.
class NetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedTuning_ = orv::core::gConfiguration.AdvancedParameters;
    savedState_ = orv::core::gConfiguration.AppState.blnDebugFormLoaded;
    orv::core::gConfiguration.AdvancedParameters = orv::core::tAdvancedParameters{};
    orv::core::gConfiguration.AdvancedParameters.SKT_DEBUG = true;
    orv::core::gConfiguration.AppState.blnDebugFormLoaded = true;
    orv::core::debugEventLog().clear();
    descriptorsBefore_ = orv::platform::openDescriptorCount();
  }

  void TearDown() override {
    EXPECT_EQ(orv::net::modSocketMaster::InstanceCount(), 0) << "socket objects left";
    EXPECT_TRUE(processEventsUntil([this] { return orv::platform::openDescriptorCount() <= descriptorsBefore_; }))
        << "descriptors leaked: " << orv::platform::openDescriptorCount() - descriptorsBefore_;
    orv::core::gConfiguration.AdvancedParameters = savedTuning_;
    orv::core::gConfiguration.AppState.blnDebugFormLoaded = savedState_;
    orv::core::debugEventLog().clear();
  }

  // The messages of the log, oldest first, without their date.
  static QStringList logMessages() {
    QStringList messages;
    const auto& log = orv::core::debugEventLog();
    for (qsizetype row = log.count() - 1; row >= 0; --row) {
      const QString& text = log.line(row).text;
      messages << text.mid(text.indexOf(QStringLiteral("] ")) + 2);
    }
    return messages;
  }
  static bool logged(const QString& message) { return logMessages().contains(message); }

 private:
  orv::core::tAdvancedParameters savedTuning_;
  bool savedState_ = false;
  int descriptorsBefore_ = 0;
};

// The slots of a server as the engine keeps them: slot 0 listens on 127.0.0.1 (any port),
// a connection request takes the lowest free slot from 1 and accepts into it, and a close
// of a slot destroys it.
class SlotServer {
 public:
  SlotServer() {
    listener.events.ConnectionRequest = [this](int requestID) {
      int index = 1;
      while (slots.count(index) != 0) {
        ++index;
      }
      if (!admit) {
        return;
      }
      auto slot = std::make_unique<usrSocket>();
      usrSocket* socket = slot.get();
      socket->events.CloseSck = [this, index] {
        ++closes;
        slots.erase(index);
      };
      socket->events.DataArrival = [this, index, socket](int) {
        QByteArray data;
        socket->GetData(data);
        socket->setHttpReceiverBuffer(socket->HttpReceiverBuffer() + data);
        if (onData) {
          onData(index, *socket);
        }
      };
      socket->events.Error = [this](SocketErrorEventArgs& error) { errors.push_back(error.Number); };
      slots.emplace(index, std::move(slot));
      socket->CloseSck();
      socket->Accept(requestID);
      ++accepted;
    };
    listener.Bind(0, QStringLiteral("127.0.0.1"));
    listener.Listen();
  }

  int port() const { return listener.LocalPort(); }

  usrSocket listener;
  std::map<int, std::unique_ptr<usrSocket>> slots;
  std::function<void(int index, usrSocket& socket)> onData;
  std::vector<int> errors;
  bool admit = true;
  int accepted = 0;
  int closes = 0;
};

}  // namespace nettest
