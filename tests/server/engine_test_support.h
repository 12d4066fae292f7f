#pragma once

#include "core/configuration.h"
#include "core/debug_log.h"
#include "core/history_store.h"
#include "core/uploaded_store.h"
#include "net/socket_registry.h"
#include "platform/file_system.h"
#include "server/server_engine.h"
#include "support/event_loop.h"
#include "support/qt_printers.h"
#include "support/tcp_peer.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <memory>
#include <vector>

namespace enginetest {

using orv::core::gConfiguration;
using orv::server::ComponentArray;
using orv::server::ServerEngine;
using orv::server::StartStopResult;

// Every test runs a server listening on 127.0.0.1 at a free port, with the default tuning
// values, no IP filter, an empty history and store of sent files and the application log on.
// It ends with the server gone, every slot, counter and descriptor back where they were.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = std::make_unique<orv::core::tConfiguration>(gConfiguration);
    gConfiguration.AdvancedParameters = orv::core::tAdvancedParameters{};
    gConfiguration.Protocol.LOCAL_PORT = QStringLiteral("0");
    gConfiguration.IpFilters = orv::core::tConfIpFilters{};
    gConfiguration.History.MAX_ENTRY = -1;
    gConfiguration.AppState.blnDebugFormLoaded = true;
    gConfiguration.AppState.blnServerStarted = false;
    gConfiguration.AppState.colIpMiniaturesInCreation.clear();
    orv::core::gHistoryLists = {};
    orv::core::gUploadedLists = {};
    orv::core::debugEventLog().clear();
    descriptorsBefore_ = orv::platform::openDescriptorCount();
    server = std::make_unique<ServerEngine>();
    ASSERT_EQ(server->StartStopServer(), StartStopResult::Started);
    port = server->listeningPort();
    ASSERT_GT(port, 0);
  }

  void TearDown() override {
    peers.clear();
    server.reset();
    const orv::core::LoadedObjectsCount loaded = orv::core::getLoadedObjectsCount();
    EXPECT_EQ(loaded.usrSocket + loaded.usrFileReader + loaded.usrBuildXmlPage + loaded.usrMinature, 0);
    EXPECT_EQ(orv::net::modSocketMaster::InstanceCount(), 0) << "socket objects left";
    EXPECT_TRUE(processEventsUntil([this] { return orv::platform::openDescriptorCount() <= descriptorsBefore_; }))
        << "descriptors leaked: " << orv::platform::openDescriptorCount() - descriptorsBefore_;
    EXPECT_FALSE(gConfiguration.AppState.blnServerStarted);
    gConfiguration = *saved_;
    orv::core::gHistoryLists = {};
    orv::core::gUploadedLists = {};
    orv::core::debugEventLog().clear();
  }

  // A client connecting from the loopback address given, kept until the test ends.
  TcpPeer& connectFrom(const char* source) {
    peers.push_back(std::make_unique<TcpPeer>(port, 0, source));
    return *peers.back();
  }

  // Connects and waits until the server has either taken the connection into a slot or
  // refused it (closed it without a word); true when it was taken.
  bool admitted(const char* source) {
    const int before = server->slots().count();
    TcpPeer& peer = connectFrom(source);
    EXPECT_TRUE(processEventsUntil([&] { return server->slots().count() > before || refused(peer); })) << source;
    return server->slots().count() > before && !refused(peer);
  }

  static bool refused(const TcpPeer& peer) { return peer.endOfStream || peer.readError != 0 || peer.connectError != 0; }

  bool waitForSlots(int count) {
    return processEventsUntil([&] { return server->slots().count() == count; });
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
  static int logCount(const QString& prefix) {
    int found = 0;
    for (const QString& message : logMessages()) {
      found += message.startsWith(prefix) ? 1 : 0;
    }
    return found;
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

  std::unique_ptr<ServerEngine> server;
  int port = 0;
  std::vector<std::unique_ptr<TcpPeer>> peers;

 private:
  std::unique_ptr<orv::core::tConfiguration> saved_;
  int descriptorsBefore_ = 0;
};

}  // namespace enginetest
